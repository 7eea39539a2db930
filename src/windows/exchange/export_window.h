#pragma once
#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace exchange {

struct ExportScope;

// 导出试题: writes the questions of a subject, or of one type or chapter of it, as Moodle XML or
// GIFT for a learning platform.
class ExportWindow : public QDialog {
    Q_OBJECT
public:
    explicit ExportWindow(QWidget* parent = nullptr);

    void subjectChanged();
    void scopeChanged();  // the count per Moodle type shown again
    void chooseFile();
    void exportQuestions();  // "导出"

    QComboBox* ComboBoxKm;
    QComboBox* ComboBoxTx;  // first item: every type
    QComboBox* ComboBoxZj;  // first item: every chapter
    QRadioButton* RadioMoodle;
    QRadioButton* RadioGift;
    QLineEdit* EditFile;
    QPushButton* BtnFile;
    QPushButton* BtnExport;
    QPushButton* BtnClose;
    QLabel* LabelTypes;  // how many questions go out as each Moodle type

private:
    // The scope chosen; false (with the message) when the subject does not exist.
    bool chosenScope(ExportScope* scope, QString* message) const;
};

void openExportWindow(QWidget* parent);

}  // namespace exchange
