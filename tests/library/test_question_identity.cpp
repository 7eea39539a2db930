// Stored papers name their questions by identity, not by number: a number given again after a
// deletion carries no history, a question back from the recycle bin keeps its own, 排除最近 N 份
// leaves out the right questions, older banks are matched up when opened, and 组卷 refuses a paper
// whose subject, type or chapter another user deleted meanwhile.
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

#include "windows/wizard/wizard_fixture.h"
#include "app/application.h"
#include "ui/db_grid.h"
#include "ui/forms.h"
#include "app/main_window.h"
#include "windows/bank/chapter_settings.h"
#include "windows/bank/question_entry.h"
#include "windows/bank/recycle_bin.h"
#include "data/bank_file.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "data/recycle.h"
#include "data/schema.h"
#include "data/sql.h"
#include "library/paper_store.h"
#include "test_support.h"
#include "windows/wizard/detail_settings.h"
#include "windows/wizard/overall_settings.h"
#include "data/random_draw.h"

using testing::BoxAnswerer;
using testing::Workspace;

namespace {

// 数学 (01) with one type 填空题 (01) and the chapters 一元一次方程 (01) and 一元二次方程 (02):
// questions 001–004 in the first, 005–006 in the second, texts "题001" and so on.
void seed(Workspace& ws)
{
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('01','数学')");
    ws.exec("INSERT INTO txb (kmh, txh, txm, bz) VALUES ('01','01','填空题','0')");
    ws.exec(
        "INSERT INTO zjb (kmh, zjh, zjm, bz) VALUES ('01','01','一元一次方程','0'), ('01','02','一元二次方程','0')");
    for (int i = 1; i <= 6; ++i) {
        const QString th = QString::number(i).rightJustified(3, QLatin1Char('0'));
        ws.exec(
            "INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, time, bz) VALUES ('01','01',?,?,'易','5',?,?,"
            "'8:00:00','')",
            {th, i <= 4 ? "01" : "02", "题" + th, "答" + th});
    }
    ws.refreshDatasets();
    MainF->fillSubjectBox();
    MainF->ComboBoxKmm->setEditText("数学");
}

// Opens the wizard on 数学 with both chapters ticked and draws `count` questions for `total` points
// (`exclude` > 0 ticks 排除最近 N 份). Returns step 2, still open, with the texts drawn.
TXxszF* draw(int count, int total, QStringList* texts, int exclude = 0)
{
    TXxszF* dlg = wizardtest::openStepTwo();
    ZtszF->EditSjbt->setText("单元测验");
    ZtszF->EditSj->setText("45");
    ZtszF->EditZf->setText(QString::number(total));
    wizardtest::tick(dlg, "一元一次方程");
    wizardtest::tick(dlg, "一元二次方程");
    if (exclude > 0) {
        dlg->CheckBoxPcjq->setChecked(true);
        dlg->SpinBoxPcjq->setValue(exclude);
    }
    dlg->EditTs->setText(QString::number(count));
    dlg->EditZf->setText(QString::number(total));
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);
    if (texts) *texts = sql::column(DM->db(), "SELECT tm FROM sjb ORDER BY id");
    return dlg;
}

// Draws and clicks 组卷; the wizard goes away.
QStringList compose(const QString& title, int count, int total, int exclude = 0)
{
    QStringList texts;
    TXxszF* dlg = draw(count, total, &texts, exclude);
    ZtszF->EditSjbt->setText(title);
    QTest::mouseClick(dlg->Button2, Qt::LeftButton);
    delete ZtszF.data();
    return texts;
}

// The row of the entry grid whose question text is `text`, -1 when none is.
int rowOfText(const QString& text)
{
    Dataset* q = DM->ADOQuerySt;
    for (int row = 0; row < q->recordCount(); ++row) {
        if (q->valueAt(row, q->fieldIndex(QStringLiteral("tm"))) == text) return row;
    }
    return -1;
}

// What 录入试题 says of the question with this text, clicked in its grid.
QString usageShown(TLrstF* entry, const QString& text)
{
    const int row = rowOfText(text);
    if (row < 0) return QStringLiteral("<没有题目“%1”>").arg(text);
    const QRect r = entry->DBGrid1->visualRect(entry->DBGrid1->model()->index(row, 0));
    QTest::mouseClick(entry->DBGrid1->viewport(), Qt::LeftButton, {}, r.center());
    if (entry->MemoTm->toPlainText() != text) return QStringLiteral("<选中的不是“%1”>").arg(text);
    return entry->findChild<QLabel*>("LabelSyqk")->text();
}

TLrstF* openEntry()
{
    MainF->fillSubjectBox();
    MainF->ComboBoxKmm->setEditText("数学");
    auto* entry = new TLrstF(MainF);
    entry->show();
    entry->ComboBoxTx->setCurrentText("填空题");
    entry->ComboBoxTxChange();
    return entry;
}

void deleteChapterInWindow(const QString& name)
{
    auto* dlg = new TZjxzF(MainF);
    dlg->show();
    const auto found = dlg->TreeViewZj->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    QVERIFY(!found.isEmpty());
    const QRect r = dlg->TreeViewZj->visualItemRect(found.first());
    QTest::mouseClick(dlg->TreeViewZj->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseClick(dlg->BtnSczj, Qt::LeftButton);
    dlg->close();
}

bool restoreInBin(const QString& summaryStart)
{
    auto* bin = new THszF(MainF);
    bin->show();
    for (int row = 0; row < bin->GridHsz->rowCount(); ++row) {
        if (bin->GridHsz->item(row, 0)->text().startsWith(summaryStart)) {
            bin->GridHsz->selectRow(row);
            QTest::mouseClick(bin->BtnHy, Qt::LeftButton);
            bin->close();
            return true;
        }
    }
    bin->close();
    return false;
}

qint64 idOfText(const QString& text)
{
    return sql::scalar(DM->db(), "SELECT id FROM stb WHERE tm=?", {text}).toLongLong();
}

int filesIn(const QString& folder)
{
    return int(QDir(folder).entryList(QDir::Files).size());
}

}  // namespace

class QuestionIdentityTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void cleanup() { testing::closeAllWindows(); }
    void usageFollowsTheQuestionNotItsNumber();
    void anOlderBankIsUpgradedAndItsPapersMatchedToTheirQuestions();
    void composingRefusesWhenAnotherUserDeletedTheSubjectOrAChapter();
};

void QuestionIdentityTest::usageFollowsTheQuestionNotItsNumber()
{
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    randomdraw::setState(11);
    // Two papers of every question; the chapter 一元二次方程 (005, 006) goes to the recycle bin.
    QCOMPARE(compose("第一次测验", 6, 30).size(), 6);
    QCOMPARE(compose("第二次测验", 6, 30).size(), 6);
    QCOMPARE(ws.count("papers"), 2);
    QCOMPARE(ws.count("paper_questions", "question_id IS NULL"), 0);
    deleteChapterInWindow("一元二次方程");
    QCOMPARE(ws.count("stb"), 4);

    // A new question takes the freed number 005 and has no history.
    TLrstF* entry = openEntry();
    entry->ComboBoxZj->setCurrentText("一元一次方程");
    entry->EditFs->setText("5");
    entry->MemoTm->setPlainText("新题");
    QTest::mouseClick(entry->BtnXtrk, Qt::LeftButton);
    QCOMPARE(ws.scalar("SELECT th FROM stb WHERE tm='新题'"), QStringLiteral("005"));
    QCOMPARE(usageShown(entry, "新题"), QStringLiteral("尚未用于试卷"));
    entry->close();

    // The chapter comes back from 回收站: its 005 gets another number and keeps its two papers.
    QVERIFY(restoreInBin("章节 数学/一元二次方程"));
    QVERIFY(ws.scalar("SELECT th FROM stb WHERE tm='题005'") != QStringLiteral("005"));
    entry = openEntry();
    const QString today = QDate::currentDate().toString("yyyy-MM-dd");
    QCOMPARE(usageShown(entry, "题005"), "已用于 2 份试卷，最近 " + today);
    QCOMPARE(usageShown(entry, "题006"), "已用于 2 份试卷，最近 " + today);
    QCOMPARE(usageShown(entry, "新题"), QStringLiteral("尚未用于试卷"));
    QCOMPARE(usageShown(entry, "题001"), "已用于 2 份试卷，最近 " + today);
    entry->close();
    QCOMPARE(library::usage(DM->db(), idOfText("题005")).papers, 2);

    // 排除最近 1 份: every question of the last paper is left out, the new one is not.
    boxes.clear();
    QCOMPARE(compose("第三次测验", 1, 5, 1), QStringList{"新题"});
    boxes.clear();
    QCOMPARE(compose("第四次测验", 3, 15, 2), QStringList());  // the last two hold all seven
    QVERIFY(boxes.texts.join('\n').contains("已排除最近2份试卷用过的题目7道"));
    QCOMPARE(ws.count("papers"), 3);
}

void QuestionIdentityTest::anOlderBankIsUpgradedAndItsPapersMatchedToTheirQuestions()
{
    if (testing::onServer()) QSKIP("a bank file of version 2 (the server's upgrade: data/test_server)");
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    // The library of a version 2 file: paper_questions without question_id.
    ws.exec("DROP TABLE paper_questions");
    ws.exec(schema::earlierTableStatements().first());
    ws.exec("CREATE INDEX paper_questions_paper ON paper_questions (paper_id, section_position, position)");
    ws.exec("CREATE INDEX paper_questions_question ON paper_questions (kmh, txh, th, paper_id)");
    ws.exec("INSERT INTO papers (title, kmh, kmm, question_count) VALUES ('旧试卷','01','数学',6)");
    const qint64 paper = ws.scalar("SELECT MAX(id) FROM papers").toLongLong();
    // (number printed, text printed): the same; another number with 题003's text (renumbered
    // since); 题004 now in the recycle bin; the freed number 006 now held by another question; a
    // text no question has; 题002 printed as 002.
    const QList<QPair<QString, QString>> printed = {{"001", "题001"},     {"009", "题003"},    {"004", "题004"},
                                                    {"006", "旧的第6题"}, {"007", "没有的题"}, {"002", "题002"}};
    for (int i = 0; i < printed.size(); ++i) {
        ws.exec(
            "INSERT INTO paper_questions (paper_id, section_position, position, kmh, txh, th, zjh, nd, fs, tm, da)"
            " VALUES (?,0,?,'01','01',?,'01','易','5',?,'答')",
            {paper, i, printed.at(i).first, printed.at(i).second});
    }
    const qint64 id004 = idOfText("题004");
    sql::transaction(
        DM->db(), [&] { recycle::removeKept(DM->db(), recycle::keepQuestion(DM->db(), "01", "01", "004", "admin")); });
    ws.exec("UPDATE stb SET tm='新的第6题' WHERE th='006'");
    ws.exec("PRAGMA user_version = 2");
    DM->disconnectFromBank();
    {
        // The older file is still the program's own, for `check` as for opening.
        QProcess tool;
        tool.setWorkingDirectory(ws.root());
        tool.start(QStringLiteral(EXAVORO_DB_TOOL), {"check", "--file", ws.databasePath()});
        QVERIFY(tool.waitForFinished(120000));
        QVERIFY2(tool.exitCode() == 0, tool.readAllStandardOutput() + tool.readAllStandardError());
    }
    DM->connectTo(ws.databasePath());
    QCOMPARE(ws.scalar("PRAGMA user_version").toInt(), schema::kVersion);
    QCOMPARE(bank_file::foreignObjects(DM->db()), QStringList());
    QCOMPARE(testing::joined("SELECT COALESCE(question_id, -1) FROM paper_questions ORDER BY position"),
             QStringList({QString::number(idOfText("题001")), QString::number(idOfText("题003")),
                          QString::number(id004), "-1", "-1", QString::number(idOfText("题002"))})
                 .join(','));
    // 题004 comes back from the bin with its paper.
    QVERIFY(restoreInBin("试题 数学/填空题 第004题"));
    QCOMPARE(library::usage(DM->db(), idOfText("题004")).papers, 1);
    QCOMPARE(library::usage(DM->db(), idOfText("新的第6题")).papers, 0);
    DM->disconnectFromBank();
    QProcess tool;
    tool.setWorkingDirectory(ws.root());
    tool.start(QStringLiteral(EXAVORO_DB_TOOL), {"check", "--file", ws.databasePath()});
    QVERIFY(tool.waitForFinished(120000));
    QVERIFY2(tool.exitCode() == 0, tool.readAllStandardOutput() + tool.readAllStandardError());
    DM->connectTo(ws.databasePath());
}

void QuestionIdentityTest::composingRefusesWhenAnotherUserDeletedTheSubjectOrAChapter()
{
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    const QString papers = ws.root() + "/Papers";
    QSqlDatabase other = testing::openOtherConnection(ws, "other");

    // Another user deletes one of the questions drawn while the paper is being composed.
    TXxszF* one = draw(6, 30, nullptr);
    sql::transaction(other,
                     [&] { recycle::removeKept(other, recycle::keepQuestion(other, "01", "01", "003", "office")); });
    boxes.clear();
    QTest::mouseClick(one->Button2, Qt::LeftButton);
    QVERIFY2(boxes.last().startsWith("题型“填空题”的第003题已被其他用户删除，试卷没有生成"),
             qPrintable(boxes.texts.join('\n')));
    QCOMPARE(ws.count("papers"), 0);
    QCOMPARE(filesIn(papers), 0);
    delete ZtszF.data();
    sql::transaction(DM->db(),
                     [&] { recycle::restore(DM->db(), ws.scalar("SELECT MAX(id) FROM recycle_items").toLongLong()); });
    ws.refreshDatasets();

    // Another user deletes the chapter 一元二次方程 while the paper is being composed.
    TXxszF* dlg = draw(6, 30, nullptr);
    QCOMPARE(ws.count("sjb"), 6);
    sql::transaction(other, [&] { recycle::removeKept(other, recycle::keepChapter(other, "01", "02", "office")); });
    boxes.clear();
    QTest::mouseClick(dlg->Button2, Qt::LeftButton);
    QVERIFY2(boxes.last().startsWith("科目“数学”的章节“一元二次方程”已被其他用户删除，试卷没有生成"),
             qPrintable(boxes.texts.join('\n')));
    QCOMPARE(ws.count("papers"), 0);
    QCOMPARE(ws.count("paper_questions"), 0);
    QCOMPARE(filesIn(papers), 0);
    QVERIFY(dlg->isVisible());  // the wizard stays open
    delete ZtszF.data();

    // Drawn again from what is left; then the whole subject goes.
    dlg = draw(4, 20, nullptr);
    QCOMPARE(ws.count("sjb"), 4);
    sql::transaction(other, [&] { recycle::removeKept(other, recycle::keepSubject(other, "01", "office")); });
    boxes.clear();
    QTest::mouseClick(dlg->Button2, Qt::LeftButton);
    QVERIFY2(boxes.last().startsWith("科目“数学”已被其他用户删除，试卷没有生成，也没有记入试卷库"),
             qPrintable(boxes.texts.join('\n')));
    QCOMPARE(ws.count("papers"), 0);
    QCOMPARE(filesIn(papers), 0);
    delete ZtszF.data();
    other = QSqlDatabase();
    testing::closeOtherConnection("other");

    // Nothing deleted: the paper is written and recorded with every question.
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('01','数学')");
    ws.exec("INSERT INTO txb (kmh, txh, txm, bz) VALUES ('01','01','填空题','0')");
    ws.exec(
        "INSERT INTO zjb (kmh, zjh, zjm, bz) VALUES ('01','01','一元一次方程','0'), ('01','02','一元二次方程','0')");
    ws.exec(
        "INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, time, bz) VALUES"
        " ('01','01','001','01','易','5','题甲','答','8:00:00',''), "
        "('01','01','002','02','易','5','题乙','答','8:00:00','')");
    ws.refreshDatasets();
    MainF->fillSubjectBox();
    QCOMPARE(compose("完整的试卷", 2, 10).size(), 2);
    QCOMPARE(ws.count("papers"), 1);
    QCOMPARE(ws.count("paper_questions", "question_id IS NOT NULL"), 2);
    QCOMPARE(filesIn(papers), 1);
}

QTEST_MAIN(QuestionIdentityTest)
#include "test_question_identity.moc"
