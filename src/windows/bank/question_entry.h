#pragma once
#include <QDialog>
#include <QSet>
#include <QVector>

#include "data/question_search.h"

class DBGrid;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;
namespace content {
class ContentPreview;
}

// 录入试题: the questions of one subject and type in a grid, an editor for one question, and
// the buttons that store a new question, change or delete the grid's current one.
class TLrstF : public QDialog {
    Q_OBJECT
public:
    explicit TLrstF(QWidget* parent = nullptr);
    ~TLrstF() override;

    void FormShow();
    void ComboBoxKmChange();
    void ComboBoxTxChange();
    void DBGrid1CellClick();
    void DBGrid1KeyUp();
    void BtnSsClick();
    void BtnXtrkClick();
    void BtnYtggClick();
    void BtnStscClick();
    void EditorChange();  // MemoTm, MemoDa, ComboBoxZj, EditFs and ComboBoxNd changed
    void Timer1Timer();
    void BtnGbClick();
    // Enter in the search box: the questions of the subject whose question or answer text holds
    // what it says (within the chosen chapter and difficulty) are found, counted and marked in the
    // grid, and the editor goes to the first of them; Enter again goes to the next.
    void EditSsReturn();

    // The next question number of a subject and type: one more than the number of the pair's
    // last question in read order ("001" for the first).
    static QString Zdbh(const QString& kmh, const QString& txh);

    // Hint-flash ticks since the window was last shown (program-wide).
    static int& flashCount();

    QFrame* Panel1;  // subject, type, search
    QFrame* Panel2;  // hints
    QFrame* Panel3;  // chapter, score, difficulty
    QLabel* LabelKm;
    QLabel* LabelTx;
    QLabel* LabelSs1;
    QLabel* LabelSs2;
    QLabel* LabelZj;
    QLabel* LabelFs;
    QLabel* LabelNd;
    QLabel* LabelSyqk;  // how many stored papers used the loaded question, and when last
    QLabel* LabelSdNd;  // its difficulty as measured in stored sittings, empty when it has none
    QLabel* LabelTm;
    QLabel* LabelDa;
    QLabel* LabelZjxt;
    QLabel* LabelGgyt;
    QLabel* LabelScst;
    QLabel* LabelZjxt1;
    QLabel* LabelZjxt2;
    QLabel* LabelGgyt1;
    QLabel* LabelScst1;
    QComboBox* ComboBoxKm;
    QComboBox* ComboBoxTx;
    QLineEdit* EditTh;
    QPushButton* BtnSs;
    QLineEdit* EditSs;        // 搜索题目和答案…
    QComboBox* ComboBoxSsZj;  // 全部章节, or the chapter searched in
    QComboBox* ComboBoxSsNd;  // 全部难度, or the difficulty searched for
    QLabel* LabelSsjg;        // 找到 N 道
    QLabel* LabelSsZsd;
    QComboBox* ComboBoxSsZsd;  // 全部知识点, or the point (with those below it) the grid and search keep to
    DBGrid* DBGrid1;
    QComboBox* ComboBoxZj;
    QLineEdit* EditFs;
    QComboBox* ComboBoxNd;
    QLabel* LabelZsd;
    QLineEdit* EditZsd;   // the question's knowledge points, "上级/名称" paths separated by "，"
    QLabel* LabelZsdts;   // which typed points are new (made when the question is stored)
    QPlainTextEdit* MemoTm;
    QPlainTextEdit* MemoDa;
    QPushButton* BtnXtrk;
    QPushButton* BtnYtgg;
    QPushButton* BtnStsc;
    QPushButton* BtnGb;
    QTimer* Timer1;

    // Formulas and pictures: beside each memo a formula button, a picture button (from a file or
    // the clipboard) and a preview of the text as it will print.
    void insertFormula(QPlainTextEdit* memo);
    void insertPictureFromFile(QPlainTextEdit* memo);
    void insertPictureFromClipboard(QPlainTextEdit* memo);
    void insertPictureBytes(QPlainTextEdit* memo, const QByteArray& bytes);
    // 图片大小…: the width and place of the picture marker at (or just before) the memo's cursor;
    // a message when the cursor is at no picture.
    void resizePictureAtCursor(QPlainTextEdit* memo);
    QPushButton* BtnGsTm;  // 插入公式 (question)
    QPushButton* BtnTpTm;  // 插入图片 (question)
    QPushButton* BtnGsDa;  // 插入公式 (answer)
    QPushButton* BtnTpDa;  // 插入图片 (answer)
    QLabel* LabelYlTm;
    QLabel* LabelYlDa;
    content::ContentPreview* PreviewTm;
    content::ContentPreview* PreviewDa;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void createContentTools();  // the formula and picture buttons and the previews
    void loadSubject();      // types, chapters and the grid of the subject box's subject
    void openGrid();         // the grid query for kmh_ and txh_
    void reopenGridAfterAppend();
    void loadQuestion(const QString& kmh);  // the grid's current row into the editor
    bool refuseMissingCodes(const QString& kmh, const QString& txh, const QString& zjh);
    bool refuseBadFormulas();
    // Asks, when the subject holds questions like the one in the editor, whether to store it all
    // the same; true when it is to be stored.
    bool storeDespiteDuplicates(const QString& kmh, const QString& txh, qint64 excludeId);  // says why a formula of the memos may not be stored
    static void fillBox(QComboBox* box, const QStringList& items);
    static void setBoxText(QComboBox* box, const QString& text);

    // The question the editor was loaded from (its hidden id and its identifying triple); a change
    // is written there only, and only while the grid still stands on it. -1: nothing loaded.
    qint64 loadedId_ = -1;
    QString loadedKmh_;
    QString loadedTxh_;
    QString loadedTh_;
    // The loaded question's other stored columns as read (kLoadedColumns): a change is written
    // only while the bank still holds them, so that another user's change is never overwritten.
    QStringList loadedValues_;
    void forgetLoadedQuestion();
    void reloadLoadedQuestion();  // the loaded question afresh from the bank into the editor
    bool gridStandsOnLoadedQuestion();

    // The last search: what was asked (text, subject, chapter, difficulty), what it found, and the
    // match the editor stands on. Storing, changing or deleting a question asks afresh.
    QString searched_;
    QVector<question_search::Hit> matches_;
    QSet<qint64> matchIds_;
    int matchAt_ = -1;
    void runSearch();
    void showMatch(int index);
    void forgetSearch();
    void fillSearchChapters();

    // Knowledge points: the subject's paths offered while typing, the chosen filter point, and
    // the links stored with a question in the transaction that stores it.
    void fillPoints();
    QList<qint64> chosenPoints() const;  // the filter point, empty for 全部知识点
    void showNewPoints();                // names EditZsd holds that the subject has no point for
    void storePoints(qint64 questionId, const QString& kmh);
    // The field's completer lives while the window shows: its popup is a window of its own, and a
    // completer must never outlive it.
    void attachCompleter();
    QStringList knownPaths_;
    QString pointsSubject_;  // the subject code knownPaths_ belong to
    QStringList madePoints_; // points the last store created

    QString kmh_;  // subject code of the subject box
    QString txh_;  // type code of the type box
    bool loading_ = false;  // the window itself is filling boxes: not an edit by the user
};
