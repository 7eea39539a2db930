#pragma once
#include <QDialog>
#include <QTimer>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;

namespace content {

class MathRenderer;

// 插入公式: a LaTeX source field with a typeset preview that follows the typing, the choice of an
// inline or a displayed formula, and buttons that insert common structures at the cursor.
// text() is the formula with its delimiters, ready to go into a question or answer text.
class FormulaEditor : public QDialog {
    Q_OBJECT
public:
    explicit FormulaEditor(QWidget* parent = nullptr, MathRenderer* renderer = nullptr);

    void setFormula(const QString& tex, bool display);
    QString tex() const;
    bool isDisplay() const;
    // \(tex\) or \[tex\].
    QString text() const;

    // Inserts a structure at the cursor; "{}" in it marks where the cursor goes afterwards.
    void insertStructure(const QString& pattern);

    // Typesets the source at once (the preview otherwise follows a short pause after typing).
    void refreshPreview();

    static constexpr int kPauseMs = 300;

    // Closes the dialog only when the formula may be inserted (see refusal()).
    void accept() override;

    QPlainTextEdit* EditTex;
    QRadioButton* RadioInline;
    QRadioButton* RadioDisplay;
    QScrollArea* PreviewArea;
    QLabel* LabelPreview;  // the typeset formula, or the reason it cannot be typeset
    QPushButton* BtnOk;
    QPushButton* BtnCancel;

private:
    QPushButton* structureButton(const QString& caption, const QString& pattern, const QString& name);
    QPushButton* symbolMenuButton(const QString& caption, const QVector<QPair<QString, QString>>& symbols,
                                  const QString& name);
    // Empty when the source can stand between its delimiters; else why not.
    QString refusal() const;

    MathRenderer* renderer_;
    QTimer pause_;
};

}  // namespace content
