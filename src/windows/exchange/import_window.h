#pragma once
#include <QDialog>

#include "exchange/duplicate_marks.h"
#include "exchange/paper_import.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace exchange {

// 导入试题: reads a document, previews every recognised question in a table where type, chapter,
// difficulty, score, question text, answer and knowledge points can be changed per row (the first
// four also for a whole section), lists the paragraphs that belong to no question, and stores all
// rows in one transaction, creating the types and chapters the rows name after asking, and the
// knowledge points the rows and the 知识点 field name.
class ImportWindow : public QDialog {
    Q_OBJECT
public:
    explicit ImportWindow(QWidget* parent = nullptr);
    ~ImportWindow() override;

    // Reads the file named in EditFile (also run by "读取" and after choosing a file).
    void readFile();
    void chooseFile();
    void subjectChanged();
    void applyToSelection();  // "应用到所选行": the non-empty boxes below the table
    void selectSection();     // "选中本节": every row of the current row's section
    void importAll();         // "导入"
    void cancel();            // "取消": stops a running import, else closes

    const ImportedPaper& paper() const { return paper_; }

    // Table columns
    // ColKnowledge: the knowledge points of the row ("上级/名称", separated by "，"), editable.
    enum Column {
        ColNumber,
        ColType,
        ColChapter,
        ColDifficulty,
        ColScore,
        ColText,
        ColAnswer,
        ColWarnings,
        ColDuplicate,
        ColKnowledge,
        ColCount
    };

    QLineEdit* EditFile;
    QPushButton* BtnFile;
    QPushButton* BtnRead;
    QComboBox* ComboBoxBm;  // 编码: automatic or the encoding to read plain text in
    QLabel* LabelBm;        // the encoding the file was read in
    QComboBox* ComboBoxKm;
    QLabel* LabelSummary;
    // Moodle XML and GIFT: one row per kind of question in the file, with the subject's type its
    // questions are imported as (a combo box named "ComboKind_<kind>" in the last column).
    QLabel* LabelKinds;
    QTableWidget* TableKinds;
    QTableWidget* TableSt;
    QComboBox* ComboBoxTx;
    QComboBox* ComboBoxZj;
    QComboBox* ComboBoxNd;
    QLineEdit* EditFs;
    QPushButton* BtnApply;
    QPushButton* BtnSection;
    QListWidget* ListLoose;
    QProgressBar* ProgressBar1;
    // 知识点: points (names or paths, separated by "，") added to every imported question besides
    // its own; completed from the subject's point paths. Empty: the rows keep only their own.
    QLineEdit* EditZsdDr;
    QCheckBox* CheckTgcf;  // 跳过疑似重复: leaves the rows marked in 查重 out of the import
    QPushButton* BtnImport;
    QPushButton* BtnCancel;

    // Escape and the close box stop a running import instead of leaving it.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void fillTable();
    void fillKinds();
    void kindTypeChosen(const QString& kind, const QString& type);
    void matchTypes();
    void refreshRow(int row);
    void updateSummary();
    void cellEdited(int row, int column);
    void setBusy(bool busy);
    void checkDuplicates();           // marks every row against the bank and the file
    void checkDuplicatesOf(int row);  // after the row's text changed
    void showDuplicateMark(int row);
    void fillPointPaths();  // the completer's paths, of the target subject
    void attachCompleter();

    ImportedPaper paper_;
    QString readPath_;         // the file paper_ was read from
    QStringList sourceTypes_;  // type names as the file gave them, per row (before matching)
    // Per row: the chapter name the file gave (empty when none), whether the user chose the row's
    // chapter in the window, and whether the row's chapter is only the subject's first one put in
    // because neither did.
    QStringList sourceChapters_;
    QVector<bool> chapterChosen_;
    QVector<bool> chapterGuessed_;
    QHash<QString, QString> kindTypes_;  // the types the user chose per kind in TableKinds
    QStringList types_;  // the target subject's types and chapters
    QStringList chapters_;
    QString kmh_;
    QVector<DuplicateMark> marks_;  // per row, what 查重 found
    QStringList pointPaths_;        // the target subject's knowledge points, for the completer
    bool filling_ = false;
    bool importing_ = false;
    bool cancelRequested_ = false;
};

// Opens the window modally over the main window.
void openImportWindow(QWidget* parent);

}  // namespace exchange
