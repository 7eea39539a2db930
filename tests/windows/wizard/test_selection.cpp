// Filling a type automatically and by hand, the paper contents list, moving questions, and the
// composition check before the document is written.
#include "app/application.h"
#include "ui/db_grid.h"
#include "ui/forms.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "test_support.h"
#include "windows/wizard/detail_settings.h"
#include "windows/wizard/overall_settings.h"
#include "data/random_draw.h"
#include "windows/wizard/wizard_fixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

using testing::BoxAnswerer;
using testing::Workspace;
using namespace wizardtest;

namespace {

// The generator's state before anything in this process draws.
const quint32 stateAtStart = randomdraw::state();

// Step 2 with a document writer that only records whether it was asked to write.
class RecordingStep : public TXxszF {
public:
    using TXxszF::TXxszF;
    bool Print() override
    {
        ++prints;
        return writes;
    }
    int prints = 0;
    bool writes = true;
};

QStringList paperNumbers(Workspace& ws, const QString& txh)
{
    QStringList out;
    const int n = ws.count("sjb", "txh=?", {txh});
    for (int i = 0; i < n; ++i)
        out << ws.scalar("SELECT th FROM sjb WHERE txh=? ORDER BY id LIMIT 1 OFFSET ?", {txh, i});
    return out;
}

QString dump(Workspace& ws)
{
    QStringList rows;
    const int n = ws.count("sjb");
    for (int i = 0; i < n; ++i)
        rows << ws.scalar("SELECT id||'|'||kmh||'|'||txh||'|'||th||'|'||nd||'|'||fs||'|'||tm||'|'||da||'|'||time||'|'||"
                          "zjh||'|'||bz FROM sjb ORDER BY id LIMIT 1 OFFSET ?",
                          {i});
    return rows.join('\n');
}

}  // namespace

class SelectionTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void generatorIsSeededAndDrawsTheKnownSequence();
    void automaticSelectionDrawsFromAFixedState();
    void automaticSelectionLowersTheCountToTheCandidates();
    void automaticSelectionWithoutCandidatesChangesNothing();
    void automaticSelectionStopsOnDuplicateCandidates();
    void automaticSelectionOf200From5000Candidates();
    void manualAdditionRefusesAndCompletes();
    void removingAndClearing();
    void movingQuestionsUpAndDown();
    void longListsKeepEveryLineOnItsRow();
    void compositionCheck();
    void failedWriteKeepsTheWizardOpen();

private:
    void seedBank(Workspace& ws, int questions);
};

void SelectionTest::seedBank(Workspace& ws, int questions)
{
    seedSubjects(ws);
    addQuestions(ws, "01", "01", "01", 1, questions);
    addQuestion(ws, "02", "01", "001", "01", "易");  // another subject with the same codes
    ws.refreshDatasets();
}

void SelectionTest::generatorIsSeededAndDrawsTheKnownSequence()
{
    // A fixed start would repeat the same paper in every run.
    QVERIFY(stateAtStart != 0);
    randomdraw::setState(12345);
    QVector<int> draws;
    for (int i = 0; i < 6; ++i) draws << randomdraw::below(1000);
    QCOMPARE(draws, (QVector<int>{385, 289, 79, 553, 633, 341}));
    QCOMPARE(randomdraw::state(), quint32(1467157059));
    randomdraw::setState(0xFFFFFFFFu);
    QCOMPARE(randomdraw::below(1), 0);
    QCOMPARE(randomdraw::state(), quint32(0xFFFFFFFFu * 134775813u + 1u));
}

void SelectionTest::automaticSelectionDrawsFromAFixedState()
{
    Workspace ws;
    seedBank(ws, 10);
    BoxAnswerer boxes;
    TXxszF* dlg = openStepTwo();
    tick(dlg, "第一章");
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("10"));
    dlg->EditTs->setText("3");
    dlg->EditZf->setText("10");
    // From state 0 the draws below 10 are 0, 0, 8, 2: the repeated 0 is drawn again.
    randomdraw::setState(0);
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);
    QVERIFY(boxes.texts.isEmpty());
    QCOMPARE(paperNumbers(ws, "01"), (QStringList{"001", "009", "003"}));
    QCOMPARE(ws.count("sjb", "fs='3.33333333333333' AND kmh='01' AND bz=''"), 3);
    QCOMPARE(ws.scalar("SELECT tm||da||nd||time||zjh FROM sjb WHERE th='009'"), QStringLiteral("题9答9易8:00:0001"));
    QCOMPARE(typeFlag(ws, "01", "01"), QStringLiteral("1"));
    QCOMPARE(typeFlag(ws, "02", "01"), QStringLiteral("0"));
    QCOMPARE(lines(dlg->ListBoxSj), (QStringList{" 1) 001----3.3分", " 2) 009----3.3分", " 3) 003----3.3分"}));
    QCOMPARE(wizard::selectedRow(dlg->ListBoxSj), 2);
    QCOMPARE(dlg->LabelTH->text(), QStringLiteral("003"));
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("题3"));

    // A second run replaces the type's questions and continues the sequence.
    dlg->EditTs->setText("2");
    dlg->EditZf->setText("5");
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);  // next draws: 2, 6
    QCOMPARE(paperNumbers(ws, "01"), (QStringList{"003", "007"}));
    QCOMPARE(ws.count("sjb", "fs='2.5'"), 2);
}

void SelectionTest::automaticSelectionLowersTheCountToTheCandidates()
{
    Workspace ws;
    seedBank(ws, 5);
    BoxAnswerer boxes;
    TXxszF* dlg = openStepTwo();
    tick(dlg, "第一章");
    dlg->EditTs->setText("8");
    dlg->EditZf->setText("10");
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{"满足条件的题目数量不足，已修改当前小题数！"});
    QCOMPARE(dlg->EditTs->text(), QStringLiteral("5"));
    QVERIFY(dlg->Timer1->isActive());
    QStringList numbers = paperNumbers(ws, "01");
    numbers.sort();
    QCOMPARE(numbers, (QStringList{"001", "002", "003", "004", "005"}));
    QCOMPARE(ws.count("sjb", "fs='2'"), 5);
}

void SelectionTest::automaticSelectionWithoutCandidatesChangesNothing()
{
    Workspace ws;
    seedBank(ws, 5);
    BoxAnswerer boxes;
    TXxszF* dlg = openStepTwo();
    dlg->EditTs->setText("3");
    dlg->EditZf->setText("10");
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);  // no chapter ticked
    QCOMPARE(boxes.texts, QStringList{"满足条件的题目数量不足，已修改当前小题数！"});
    QCOMPARE(dlg->EditTs->text(), QStringLiteral("0"));
    QCOMPARE(ws.count("sjb"), 0);
    QCOMPARE(typeFlag(ws, "01", "01"), QStringLiteral("0"));
    // An empty total is a conversion error before anything changes.
    tick(dlg, "第一章");
    dlg->EditTs->setText("2");
    dlg->EditZf->clear();
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("“”不是有效的整数值。"));
    QCOMPARE(ws.count("sjb"), 0);
}

void SelectionTest::automaticSelectionStopsOnDuplicateCandidates()
{
    Workspace ws;
    seedSubjects(ws);
    addQuestion(ws, "01", "01", "001", "01", "易");
    if (testing::onServer()) {
        // A server bank refuses the same number twice in a type (a unique index), so the case of
        // a question listed twice only arises in a bank file.
        QVERIFY_THROWS_EXCEPTION(DataError, addQuestion(ws, "01", "01", "001", "01", "易"));
        QCOMPARE(ws.count("stb"), 1);
        QSKIP("a bank on a server cannot hold the same question number twice in a type");
    }
    addQuestion(ws, "01", "01", "001", "01", "易");  // the same question listed twice
    ws.refreshDatasets();
    BoxAnswerer boxes;
    TXxszF* dlg = openStepTwo();
    tick(dlg, "第一章");
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("2"));
    dlg->EditTs->setText("2");
    dlg->EditZf->setText("6");
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{"满足条件的题目数量不足，已修改当前小题数！"});
    QCOMPARE(dlg->EditTs->text(), QStringLiteral("1"));
    QCOMPARE(ws.count("sjb", "th='001' AND fs='6'"), 1);
    QCOMPARE(ws.count("sjb"), 1);
}

void SelectionTest::automaticSelectionOf200From5000Candidates()
{
    Workspace ws;
    seedBank(ws, 5000);
    BoxAnswerer boxes;
    TXxszF* dlg = openStepTwo();
    tick(dlg, "第一章");
    dlg->EditTs->setText("200");
    dlg->EditZf->setText("100");
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);
    QCOMPARE(ws.count("sjb", "fs='0.5'"), 200);
    QCOMPARE(dlg->ListBoxSj->count(), 200);
    QCOMPARE(ws.scalar("SELECT COUNT(DISTINCT th) FROM sjb"), QStringLiteral("200"));
    selectType(dlg, 1);
    selectType(dlg, 0);
    QCOMPARE(dlg->EditTs->text(), QStringLiteral("200"));
    QVERIFY(boxes.texts.isEmpty());
}

void SelectionTest::manualAdditionRefusesAndCompletes()
{
    Workspace ws;
    seedBank(ws, 3);
    BoxAnswerer boxes;
    TXxszF* dlg = openStepTwo();
    tick(dlg, "第一章");
    QTest::mouseClick(dlg->RadioGroup1Manual, Qt::LeftButton);
    DBGrid* grid = dlg->DBGridTm;
    auto clickRow = [grid](int row) {
        const QRect cell = grid->visualRect(grid->model()->index(row, 0));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    };

    clickRow(0);
    QTest::mouseClick(dlg->SBtnYr, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{"请设置当前小题数！"});
    QCOMPARE(ws.count("sjb"), 0);

    dlg->EditTs->setText("2");
    dlg->EditZf->setText("5");
    QTest::mouseClick(dlg->SBtnYr, Qt::LeftButton);
    QCOMPARE(ws.count("sjb", "th='001' AND fs='2.5'"), 1);
    QCOMPARE(typeFlag(ws, "01", "01"), QStringLiteral("0"));
    QCOMPARE(lines(dlg->ListBoxSj), QStringList{" 1) 001----2.5分"});

    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(0, 0)).center());
    QCOMPARE(boxes.last(), QStringLiteral("该题已选入，请选择其它题目！"));
    QCOMPARE(ws.count("sjb"), 1);

    clickRow(2);
    const int boxesBefore = boxes.texts.size();
    QTest::mouseClick(dlg->SBtnYr, Qt::LeftButton);
    // The last question completes the type: said beside the list, not in a box like a refusal.
    QCOMPARE(boxes.texts.size(), boxesBefore);
    QCOMPARE(dlg->LabelZt->text(), QStringLiteral("小题已设置完毕！"));
    QCOMPARE(paperNumbers(ws, "01"), (QStringList{"001", "003"}));
    QCOMPARE(typeFlag(ws, "01", "01"), QStringLiteral("1"));

    // Full already: refused, the flag stays.
    clickRow(1);
    const int shown = boxes.texts.size();
    QTest::mouseClick(dlg->SBtnYr, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), shown + 1);
    QCOMPARE(boxes.last(), QStringLiteral("小题已设置完毕！"));
    QCOMPARE(ws.count("sjb"), 2);

    // Another type is filled on its own count; a question chosen automatically is refused too.
    ws.exec("INSERT INTO stb (kmh, txh, th, zjh, nd, tm) VALUES ('01','02','001','01','易','填空一')");
    selectType(dlg, 1);
    QCOMPARE(dlg->ListBoxSj->count(), 0);
    dlg->EditTs->setText("1");
    dlg->EditZf->setText("4");
    QVERIFY(dlg->LabelZt->text().isEmpty());  // another type: nothing said of it yet
    clickRow(0);
    QTest::mouseClick(dlg->SBtnYr, Qt::LeftButton);
    QCOMPARE(dlg->LabelZt->text(), QStringLiteral("小题已设置完毕！"));
    QCOMPARE(ws.count("sjb", "txh='02' AND fs='4'"), 1);
}

void SelectionTest::removingAndClearing()
{
    Workspace ws;
    seedBank(ws, 4);
    BoxAnswerer boxes;
    TXxszF* dlg = openStepTwo();
    tick(dlg, "第一章");
    dlg->EditTs->setText("4");
    dlg->EditZf->setText("10");
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);
    const QStringList before = paperNumbers(ws, "01");

    dlg->ListBoxSj->clearSelection();
    QTest::mouseClick(dlg->SBtnYc, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{"请从右边的列表框中选择要删除的题目！"});
    QCOMPARE(ws.count("sjb"), 4);

    wizard::selectRow(dlg->ListBoxSj, 1);
    QTest::mouseClick(dlg->SBtnYc, Qt::LeftButton);
    QCOMPARE(paperNumbers(ws, "01"), (QStringList{before[0], before[2], before[3]}));
    QCOMPARE(dlg->ListBoxSj->count(), 3);
    QCOMPARE(dlg->ListBoxSj->item(2)->text(), QStringLiteral(" 3) %1----2.5分").arg(before[3]));
    // The type stays complete; selecting it again shows the lower count and total (7.5 → 8).
    QCOMPARE(typeFlag(ws, "01", "01"), QStringLiteral("1"));
    selectType(dlg, 1);
    selectType(dlg, 0);
    QCOMPARE(dlg->EditTs->text(), QStringLiteral("3"));
    QCOMPARE(dlg->EditZf->text(), QStringLiteral("8"));

    QTest::mouseClick(dlg->SBtnQbyc, Qt::LeftButton);
    QCOMPARE(ws.count("sjb"), 0);
    QCOMPARE(dlg->ListBoxSj->count(), 0);
    QCOMPARE(typeFlag(ws, "01", "01"), QStringLiteral("0"));
    QCOMPARE(dlg->EditTs->text(), QStringLiteral("3"));
    QCOMPARE(dlg->EditZf->text(), QStringLiteral("8"));
    // An automatic selection can follow at once.
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);
    QCOMPARE(ws.count("sjb"), 3);
}

void SelectionTest::movingQuestionsUpAndDown()
{
    Workspace ws;
    seedBank(ws, 3);
    BoxAnswerer boxes;
    TXxszF* dlg = openStepTwo();
    tick(dlg, "第一章");
    // Another type's row must never change.
    ws.exec("INSERT INTO sjb (kmh, txh, th, fs, tm) VALUES ('01','02','001','1','其他')");
    ws.refreshDatasets();
    QTest::mouseClick(dlg->RadioGroup1Manual, Qt::LeftButton);
    dlg->EditTs->setText("3");
    dlg->EditZf->setText("6");
    for (int row : {0, 1, 2}) {
        DM->ADOQuerySt->setRecNo(row);
        QTest::mouseClick(dlg->SBtnYr, Qt::LeftButton);
    }
    QCOMPARE(paperNumbers(ws, "01"), (QStringList{"001", "002", "003"}));
    const QString other = ws.scalar("SELECT id||th||fs||tm FROM sjb WHERE txh='02'");

    dlg->ListBoxSj->clearSelection();
    QTest::mouseClick(dlg->SBtnTmsy, Qt::LeftButton);
    QTest::mouseClick(dlg->SBtnTmxy, Qt::LeftButton);
    QCOMPARE(boxes.texts, (QStringList{"请选择要移动的题目！", "请选择要移动的题目！"}));

    // The last one up: exchanged with the one before, selection and display follow it.
    wizard::selectRow(dlg->ListBoxSj, 2);
    QTest::mouseClick(dlg->SBtnTmsy, Qt::LeftButton);
    QCOMPARE(paperNumbers(ws, "01"), (QStringList{"001", "003", "002"}));
    QCOMPARE(wizard::selectedRow(dlg->ListBoxSj), 1);
    QCOMPARE(dlg->LabelTH->text(), QStringLiteral("003"));
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("题3"));
    QCOMPARE(ws.scalar("SELECT tm||da FROM sjb WHERE th='003'"), QStringLiteral("题3答3"));
    QCOMPARE(lines(dlg->ListBoxSj), (QStringList{" 1) 001----2.0分", " 2) 003----2.0分", " 3) 002----2.0分"}));

    // The first one down: exchanged with the second.
    wizard::selectRow(dlg->ListBoxSj, 0);
    QTest::mouseClick(dlg->SBtnTmxy, Qt::LeftButton);
    QCOMPARE(paperNumbers(ws, "01"), (QStringList{"003", "001", "002"}));
    QCOMPARE(wizard::selectedRow(dlg->ListBoxSj), 1);
    QCOMPARE(dlg->LabelTH->text(), QStringLiteral("001"));

    // Up on the first and down on the last do nothing.
    const QString unchanged = dump(ws);
    wizard::selectRow(dlg->ListBoxSj, 0);
    QTest::mouseClick(dlg->SBtnTmsy, Qt::LeftButton);
    wizard::selectRow(dlg->ListBoxSj, 2);
    QTest::mouseClick(dlg->SBtnTmxy, Qt::LeftButton);
    QCOMPARE(dump(ws), unchanged);
    QCOMPARE(boxes.texts.size(), 2);  // the two above; completing the type is said beside the list

    QCOMPARE(ws.scalar("SELECT id||th||fs||tm FROM sjb WHERE txh='02'"), other);
    QCOMPARE(ws.count("sjb", "th IN ('t1','t2')"), 0);
}

void SelectionTest::longListsKeepEveryLineOnItsRow()
{
    Workspace ws;
    seedSubjects(ws);
    addQuestions(ws, "01", "01", "01", 995, 105);  // numbers 995 … 1099
    ws.refreshDatasets();
    BoxAnswerer boxes;
    TXxszF* dlg = openStepTwo();
    tick(dlg, "第一章");
    QTest::mouseClick(dlg->RadioGroup1Manual, Qt::LeftButton);
    dlg->EditTs->setText("105");
    dlg->EditZf->setText("105");
    for (int row = 0; row < 105; ++row) {
        DM->ADOQuerySt->setRecNo(row);
        dlg->SBtnYrClick();
    }
    QCOMPARE(ws.count("sjb"), 105);
    QCOMPARE(dlg->ListBoxSj->item(0)->text(), QStringLiteral(" 1) 995----1.0分"));
    QCOMPARE(dlg->ListBoxSj->item(9)->text(), QStringLiteral("10) 1004----1.0分"));
    QCOMPARE(dlg->ListBoxSj->item(99)->text(), QStringLiteral("100) 1094----1.0分"));
    QCOMPARE(dlg->ListBoxSj->item(104)->text(), QStringLiteral("105) 1099----1.0分"));

    // Selecting line 101 shows that question; moving it up exchanges exactly lines 100 and 101.
    const QString before = dump(ws);
    dlg->ListBoxSj->setCurrentRow(100);
    QCOMPARE(dlg->LabelTH->text(), QStringLiteral("1095"));
    QTest::mouseClick(dlg->SBtnTmsy, Qt::LeftButton);
    QCOMPARE(dlg->ListBoxSj->item(99)->text(), QStringLiteral("100) 1095----1.0分"));
    QCOMPARE(dlg->ListBoxSj->item(100)->text(), QStringLiteral("101) 1094----1.0分"));
    QStringList a = before.split('\n'), b = dump(ws).split('\n');
    int differing = 0;
    for (int i = 0; i < a.size(); ++i) differing += a[i] != b[i];
    QCOMPARE(differing, 2);

    // Removing line 103 removes number 1097 only.
    wizard::selectRow(dlg->ListBoxSj, 102);
    QTest::mouseClick(dlg->SBtnYc, Qt::LeftButton);
    QCOMPARE(ws.count("sjb"), 104);
    QCOMPARE(ws.count("sjb", "th='1097'"), 0);
    QCOMPARE(dlg->ListBoxSj->item(102)->text(), QStringLiteral("103) 1098----1.0分"));
}

void SelectionTest::compositionCheck()
{
    Workspace ws;
    seedSubjects(ws);
    ws.refreshDatasets();
    BoxAnswerer boxes;
    auto* dlg = openStepTwo<RecordingStep>();
    auto setPaper = [&](const QStringList& scores, const QString& flags) {
        ws.exec("DELETE FROM sjb");
        for (const QString& fs : scores) ws.exec("INSERT INTO sjb (kmh, txh, th, fs) VALUES ('01','01','001',?)", {fs});
        setSubjectTypeFlags(ws, "01", flags == "1");
        ws.refreshDatasets();
    };

    // A type of the paper still open.
    setPaper({"50", "50"}, "1");
    setTypeFlag(ws, "01", "03", false);
    QTest::mouseClick(dlg->Button2, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{"某些题型尚未设置题目，请检查后重新设置！"});
    // A type of the subject that is not in the paper is not looked at.
    delete dlg->ListBoxTx->takeItem(2);
    setSubjectTypeFlags(ws, "02", false);

    // Sums: 10/3 three times is 10; 99.5 and 100.5 both count as 100.
    setPaper({"3.33333333333333", "3.33333333333333", "3.33333333333333"}, "1");
    setTypeFlag(ws, "01", "03", false);
    QTest::mouseClick(dlg->Button2, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("各题型分数之和为10,与前面设置的试卷总分100不一致，请检查后重试！"));
    QCOMPARE(dlg->prints, 0);
    ZtszF->EditZf->setText("abc");
    QTest::mouseClick(dlg->Button2, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("“abc”不是有效的整数值。"));
    QCOMPARE(dlg->prints, 0);
    QVERIFY(dlg->isVisible());

    setPaper({"98.5"}, "1");
    ZtszF->EditZf->setText("99");
    QTest::mouseClick(dlg->Button2, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("各题型分数之和为98,与前面设置的试卷总分99不一致，请检查后重试！"));

    ZtszF->EditZf->setText("100");
    setPaper({"100.5"}, "1");
    const int shown = boxes.texts.size();
    dlg->writes = false;
    QTest::mouseClick(dlg->Button2, Qt::LeftButton);
    QCOMPARE(dlg->prints, 1);
    setPaper({"49.5", "50"}, "1");
    QTest::mouseClick(dlg->Button2, Qt::LeftButton);
    QCOMPARE(dlg->prints, 2);
    QCOMPARE(boxes.texts.size(), shown);
    QVERIFY(dlg->isVisible());

    // Written: both steps close, the composed state stays in the file.
    dlg->writes = true;
    QPointer<TZtszF> step1 = ZtszF.data();
    QTest::mouseClick(dlg->Button2, Qt::LeftButton);
    QCOMPARE(dlg->prints, 3);
    QVERIFY(!dlg->isVisible());
    QVERIFY(!step1->isVisible());
    QCOMPARE(ws.count("sjb"), 2);
}

void SelectionTest::failedWriteKeepsTheWizardOpen()
{
    Workspace ws;
    seedBank(ws, 3);
    BoxAnswerer boxes;
    auto* dlg = openStepTwo<RecordingStep>();
    dlg->writes = false;
    tick(dlg, "第一章");
    for (int type = 0; type < 3; ++type) {
        selectType(dlg, type);
        dlg->EditTs->setText(type == 0 ? "3" : "0");
        dlg->EditZf->setText(type == 0 ? "100" : "0");
        if (type == 0) QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);
    }
    setSubjectTypeFlags(ws, "01", true);
    const QString paper = dump(ws);
    QTest::mouseClick(dlg->Button2, Qt::LeftButton);
    QCOMPARE(dlg->prints, 1);
    QVERIFY(dlg->isVisible());
    QVERIFY(ZtszF->isVisible());
    QCOMPARE(dump(ws), paper);
    // The user can try again at once.
    dlg->writes = true;
    QTest::mouseClick(dlg->Button2, Qt::LeftButton);
    QCOMPARE(dlg->prints, 2);
    QVERIFY(!dlg->isVisible());
}

QTEST_MAIN(SelectionTest)
#include "test_selection.moc"
