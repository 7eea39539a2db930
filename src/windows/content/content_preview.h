#pragma once
#include <QHash>
#include <QImage>
#include <QSqlDatabase>
#include <QTextEdit>
#include <QTimer>

class QTextCursor;

namespace content {

class MathRenderer;

// Shows a question or answer text as it will print: plain text, formulas typeset in their line
// (displayed ones centred on a line of their own), pictures in their place, scaled down to the
// pane's width without distortion. A picture given a width is shown at that share of the pane:
// the pane stands for a text column of an A4 page (kColumnCm wide). A picture marker that points at no stored picture shows
// "[图片缺失]"; a formula that cannot be typeset shows its TeX source in red with the reason.
// setContentText() refreshes after a short pause, so typing stays smooth.
class ContentPreview : public QTextEdit {
    Q_OBJECT
public:
    explicit ContentPreview(QWidget* parent = nullptr);

    // Where pictures are read from (the bank being edited).
    void setDatabase(const QSqlDatabase& db);
    // The formula renderer (the program's shared one unless set).
    void setRenderer(MathRenderer* renderer);

    // Shows this text after the pause (a new text within the pause restarts it).
    void setContentText(const QString& text);
    const QString& contentText() const { return text_; }
    // Shows the current text at once.
    void refreshNow();
    // Forgets the pictures read so far (after the stored pictures changed).
    void forgetPictures() { pictures_.clear(); }

    static constexpr int kPauseMs = 300;
    static constexpr double kColumnCm = 14.65;  // the text width of an A4 portrait page

signals:
    void refreshed();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void insertFormula(QTextCursor& cursor, const QString& tex, bool display);
    void insertPicture(QTextCursor& cursor, const QString& hash, const QString& options);
    QImage picture(const QString& hash, bool* missing);
    qreal availableWidth() const;

    QSqlDatabase db_;
    MathRenderer* renderer_ = nullptr;
    QString text_;
    QTimer pause_;
    QHash<QString, QImage> pictures_;  // decoded stored pictures by hash
    int generation_ = 0;               // makes resource names of one refresh unique
    int shownWidth_ = -1;              // the width the pictures were last scaled for
};

}  // namespace content
