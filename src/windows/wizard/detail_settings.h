#pragma once
#include <QDialog>
#include <QPalette>
#include <QSet>
#include <QVector>

class DBGrid;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QSplitter;
class QTimer;
class QToolButton;
namespace content {
class ContentPreview;
}

// 组卷向导--详细设置: the second wizard step. For each question type of the paper it sets the
// number of questions and their total score, picks the questions (drawn at random from the
// ticked chapters, or by hand from the candidate grid) into sjb, lets the user reorder them, and
// finally checks the paper and hands it to the document writer.
//
// Picking by hand, a search box above the candidates narrows them to the questions holding a
// phrase (the bank's full-text search, within the same subject, type, chapters and difficulty);
// the current candidate is shown rendered below them, across a splitter the window remembers.
//
// Either way a type may be restricted to knowledge points ticked in ListZsd (beside the chapters or
// candidates): its draw, its candidates and 备选题数 then count only the questions linked to a
// ticked point or one below it.
//
// The paper in progress lives in the database: sjb holds the chosen questions (row order is the
// order on the paper), and the composition state marks complete types and ticked chapters
// (txb.bz and zjb.bz in a bank file, the connection's own tables on a server).
class TXxszF : public QDialog {
    Q_OBJECT
public:
    explicit TXxszF(QWidget* parent = nullptr);

    // The subject chosen in step 1 and its code, fixed when the dialog is shown.
    QString wizardKmm() const { return kmm_; }
    QString wizardKmh() const { return kmh_; }
    // The type selected in ListBoxTx (empty when none).
    QString currentTypeName() const;
    // Hidden ids of the sjb rows shown in ListBoxSj, line by line.
    const QVector<qint64>& paperRowIds() const { return sjIds_; }

    // Lookups and flags.
    QString KmmToKmh(const QString& name) const;
    QString TxmToTxh(const QString& kmh, const QString& txm) const;
    void TxIsChosen(const QString& kmh, const QString& txm);
    void TxNotChosen(const QString& kmh, const QString& txm);
    void ZjIsChosen(const QString& kmh, const QString& zjm);
    void ZjNotChosen(const QString& kmh, const QString& zjm);
    // Resets the paper in progress: empty sjb, every type and chapter flag "0".
    void InitPaper();
    // Shown with keepPaper, the dialog continues the paper already in sjb (composed from a
    // blueprint): nothing is reset, the chapters flagged as chosen are ticked and the first type
    // shows its questions.
    void setKeepPaper(bool keep) { keepPaper_ = keep; }

    void InitListBoxTx();
    void InitMemoTxms();
    void InitCheckListBoxZj();
    // Lists the subject's knowledge points by path below "全部知识点" and ticks those the selected
    // type is restricted to ("全部知识点" alone when it is not). Shown only when the subject has points.
    void InitListZsd();
    void SelectTm();
    void InitDBGridST();
    void InitListBoxSj();

    // Event handlers.
    void FormShow();
    void ListBoxTxClick();
    void CheckListBoxZjClickCheck(int row, bool checked);
    // A point ticked restricts the selected type to the questions of the ticked points and their
    // descendants; "全部知识点" ticked, or the last point unticked, lifts the restriction.
    void ListZsdClickCheck(int row, bool checked);
    // The points the selected type is restricted to (empty: every point).
    QList<qint64> chosenPoints() const;
    void RadioGroup1Click();
    void DBGridTmCellClick();
    void DBGridTmKeyUp(int key);
    void DBGridTmDblClick();
    // Narrows the candidates to those holding the phrase in EditSsHx (all of them when it is
    // empty) and shows the first; run by Enter or a pause in typing.
    void EditSsHxSearch();
    // Ends a search: the full candidate list again, the box emptied.
    void clearCandidateSearch();
    // The phrase the candidate list is narrowed by ("" when it is not).
    QString candidateSearch() const { return searchPhrase_; }
    // How many questions meet the type, chapter and difficulty conditions, whatever the search.
    int candidateCount() const { return candidateCount_; }
    // True when the question of this type code and number is on the paper.
    bool isOnPaper(const QString& txh, const QString& th) const;
    void Timer1Timer();
    void BtnSybClick();
    void Button3Click();

    // Selection.
    void SBtnQbyrClick();
    void SBtnYrClick();
    void SBtnYcClick();
    void SBtnQbycClick();

    // Paper contents list.
    void ListBoxSjClick();
    void Swap(int a, int b);
    void SBtnTmsyClick();
    void SBtnTmxyClick();

    // Composition check and output.
    void Button2Click();
    // Writes the composed paper; true when the document was written. Virtual so that the check
    // can be exercised without producing documents.
    virtual bool Print();

    // Starts the count-field blink: ten steps of 200 ms, yellow on the odd ones.
    void BlinkEditTs();
    int blinkCounter() const { return blink_; }
    int RadioGroup1ItemIndex() const;

    QLabel* Label1;  // 试卷包含的题型
    QListWidget* ListBoxTx;
    QLabel* Label2;  // 当前题型描述
    QPlainTextEdit* MemoTxms;
    QGroupBox* GroupBox1;
    QLabel* Label3;  // 当前小题数
    QLineEdit* EditTs;
    QLabel* Label4;  // 本大题总分
    QLineEdit* EditZf;
    QGroupBox* RadioGroup1;
    QRadioButton* RadioGroup1Auto;
    QRadioButton* RadioGroup1Manual;
    QLabel* Label5;
    QComboBox* ComboBoxNd;
    QLabel* Label8;
    QLineEdit* EditBxTs;
    QListWidget* CheckListBoxZj;
    // The knowledge points the selected type draws from: "全部知识点" first (ticked: no restriction),
    // then each point's path "上级/名称", its id under Qt::UserRole.
    QListWidget* ListZsd;
    DBGrid* DBGridTm;
    QLabel* Label6;
    QLabel* LabelTH;
    // The mean score the paper may expect from its questions' measured difficulty (below the current
    // question; hidden while no question of the paper has been measured).
    QLabel* LabelYqpjf;
    QPlainTextEdit* MemoTm;  // the question's short form (hidden; PreviewTm shows it rendered)
    content::ContentPreview* PreviewTm;
    QToolButton* SBtnQbyr;
    QToolButton* SBtnQbyc;
    QToolButton* SBtnYr;
    QToolButton* SBtnYc;
    QLabel* Label7;  // 试卷内容
    QLabel* LabelZt;  // a note on the current type (its questions are complete), not a refusal
    QListWidget* ListBoxSj;
    QToolButton* SBtnTmsy;
    QToolButton* SBtnTmxy;
    // Automatic selection leaves out the questions of the subject's newest N stored papers when
    // ticked (unticked when the dialog opens: the selection is then the usual one).
    QCheckBox* CheckBoxPcjq;
    QSpinBox* SpinBoxPcjq;
    QLabel* LabelPcjq;
    QPushButton* BtnSyb;
    QPushButton* Button2;
    QPushButton* Button3;
    QPushButton* BtnBs;  // 版式…
    QTimer* Timer1;
    // Hand-picking: the search over the candidates, what it found, and the splitter between the
    // candidates (or, choosing automatically, the chapters) and the current question.
    QLineEdit* EditSsHx;
    QLabel* LabelSsHx;
    QTimer* TimerSsHx;  // the pause in typing after which the search runs
    QSplitter* SplitterHx;
    QWidget* PanelHx;  // the splitter's upper part: search, chapters or candidates
    QWidget* PanelYl;  // its lower part: the current question's number and text

    // The dialog's size as first shown (taller than the 475 pixels it had before the search box, so
    // that the candidates keep as many lines); it may be made larger, the lists taking the room.
    static constexpr int kBaseWidth = 716;
    static constexpr int kBaseHeight = 515;
    // Most questions a search narrows the candidates to.
    static constexpr int kSearchLimit = 1000;
    // The width the knowledge points take beside the chapters or candidates.
    static constexpr int kPointListWidth = 150;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    // Places what grows or moves with the dialog's size.
    void placeForSize();
    // Reads which questions of the subject are on the paper, so that the grid marks them.
    void readPaperMarks();
    // Says what mean score the paper's questions measured so far add up to.
    void showExpectedMean();
    // Says beside the search box what the search found.
    void showSearchResult(bool more);
    bool digitKeyFilter(QKeyEvent* event);
    void showQuestion(const QString& th, const QString& tm);
    void clearPaperList();
    void closeWizard();
    // Checks the count field against the candidate count; returns the count to work with.
    int checkedCount(int count);
    void appendPaperRow(int candidateRow, const QString& fs);
    void appendPaperRows(const QVector<int>& candidateRows, const QString& fs);

    QString kmm_;
    QString kmh_;
    int blink_ = 0;
    QVector<qint64> sjIds_;
    QPalette editTsPalette_;
    int typeRowAtPress_ = -1;
    bool closing_ = false;
    bool keepPaper_ = false;
    QString searchPhrase_;
    int candidateCount_ = 0;
    QSet<QString> onPaper_;  // type code and number, joined by a line break
    // The server session the paper is being composed in (a file: always 0); see draftLost().
    int session_ = 0;
    // True, after saying so and starting the paper afresh, when the server session that held the
    // paper being composed ended (its draft went with it).
    bool draftLost();
};
