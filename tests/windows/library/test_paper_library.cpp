// The paper library: papers stored by 组卷, their copies kept when the bank changes, usage
// history in 录入试题, leaving out questions of recent papers, B papers, and the library window.
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolButton>

#include "output/docx_reader.h"
#include "windows/wizard/wizard_fixture.h"
#include "app/application.h"
#include "ui/db_grid.h"
#include "ui/forms.h"
#include "app/main_window.h"
#include "windows/bank/question_entry.h"
#include "content/content.h"
#include "windows/content/content_preview.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "data/sql.h"
#include "data/schema.h"
#include "windows/library/library_window.h"
#include "library/paper_store.h"
#include "library/parallel_paper.h"
#include "test_support.h"
#include "windows/wizard/detail_settings.h"
#include "windows/wizard/overall_settings.h"
#include "data/random_draw.h"
#include "data/current_user.h"
#include "data/knowledge_points.h"

using testing::BoxAnswerer;
using testing::Workspace;

namespace {

// One subject 数学 with one type 选择题 and two chapters, so that step 1 puts one section on the
// paper. Questions 001…count, chapter 01 for odd numbers and 02 for even ones, difficulty 易 for
// numbers up to half the count and 难 above.
void seedBank(Workspace& ws, int count)
{
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('01','数学')");
    ws.exec("INSERT INTO txb (kmh, txh, txm, bz) VALUES ('01','01','选择题','0')");
    ws.exec("INSERT INTO zjb (kmh, zjh, zjm, bz) VALUES ('01','01','第一章','0'), ('01','02','第二章','0')");
    for (int i = 1; i <= count; ++i) {
        const QString th = QString::number(i).rightJustified(3, QLatin1Char('0'));
        ws.exec(
            "INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, time, bz) VALUES ('01','01',?,?,?,'5',?,?,"
            "'8:00:00','')",
            {th, i % 2 ? "01" : "02", i <= count / 2 ? "易" : "难", "原题" + th, "原答" + th});
    }
    ws.refreshDatasets();
    MainF->fillSubjectBox();
}

// Step 1 owns step 2: both go (the main window stays).
void closeWizard()
{
    delete ZtszF.data();
}

// Composes a paper in the wizard: `count` questions for `total` points from both chapters, then
// 组卷 with the real document writer. `exclude` > 0 ticks "排除最近 N 份".
QStringList compose(const QString& title, int count, int total, int exclude = 0)
{
    TXxszF* dlg = wizardtest::openStepTwo();
    ZtszF->EditSjbt->setText(title);
    ZtszF->EditSj->setText("90");
    ZtszF->EditZf->setText(QString::number(total));
    wizardtest::tick(dlg, "第一章");
    wizardtest::tick(dlg, "第二章");
    if (exclude > 0) {
        dlg->CheckBoxPcjq->setChecked(true);
        dlg->SpinBoxPcjq->setValue(exclude);
    }
    dlg->EditTs->setText(QString::number(count));
    dlg->EditZf->setText(QString::number(total));
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);
    const QStringList numbers = sql::column(DM->db(), "SELECT th FROM sjb ORDER BY id");
    QTest::mouseClick(dlg->Button2, Qt::LeftButton);
    closeWizard();
    return numbers;
}

QStringList numbersOf(const library::StoredPaper& paper)
{
    QStringList out;
    for (const auto& s : paper.sections)
        for (const auto& q : s.questions) out << q.th;
    return out;
}

// A paper of the bank's questions with the given numbers, stored without the wizard. Its slots
// are worth 4 and 6 points in turn, not the bank's 5: a paper keeps the points it was given.
library::StoredPaper storeByHand(const QString& title, const QStringList& numbers)
{
    library::StoredPaper paper;
    paper.title = title;
    paper.kmh = "01";
    paper.kmm = "数学";
    paper.duration = "90";
    library::StoredSection section;
    section.txh = "01";
    section.typeName = "选择题";
    int points = 0;
    for (const QString& th : numbers) {
        sql::Reader q(DM->db(), "SELECT kmh, txh, th, zjh, nd, fs, tm, da, id FROM stb WHERE th=?", {th});
        if (q.next()) {
            const QString fs = section.questions.size() % 2 ? "6" : "4";
            points += fs.toInt();
            library::StoredQuestion question{q.text(0), q.text(1), q.text(2), q.text(3),
                                             q.text(4), fs,        q.text(6), q.text(7)};
            question.questionId = q.int64(8);
            section.questions.append(question);
        }
    }
    paper.total = QString::number(points);
    section.count = int(section.questions.size());
    section.points = points;
    paper.sections.append(section);
    library::storePaper(DM->db(), paper);
    return paper;
}

}  // namespace

class PaperLibraryTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void cleanup() { testing::closeAllWindows(); }
    void openingAnOlderBankAddsTheLibraryTables();
    void composingStoresTheSnapshotThatSurvivesBankChanges();
    void usageCountsAfterThreePapersShowInQuestionEntry();
    void excludingRecentPapersLeavesTheirQuestionsOut();
    void bPaperStaysWithinTheOverlapAndMatchesSlots();
    void bPaperShortageNamesTheSectionAndStoresNothing();
    void bPaperWidensWithinTheChapterBeforeItsNeighbours();
    void bPaperOfABPaperIsTitledOnce();
    void libraryWindowSearchesShowsDeletesAndExports();
    void libraryWindowMakesABPaperAndWritesDocuments();
    void aPaperReadsBackWithEmptySectionsAndNoneAtAll();
    void viewingAPaperShowsItsFormulasTypesetAndPicturesDrawn();
};

void PaperLibraryTest::openingAnOlderBankAddsTheLibraryTables()
{
    if (testing::onServer()) QSKIP("a bank file of an older version (a server bank is refused: data/test_server)");
    Workspace ws;
    ws.exec("DROP TABLE paper_questions");
    ws.exec("DROP TABLE papers");
    DM->disconnectFromBank();
    DM->connectTo(ws.databasePath());
    QCOMPARE(ws.scalar("SELECT COUNT(*) FROM sqlite_master WHERE type='table' AND name IN"
                       " ('papers','paper_sections','paper_questions')"),
             QStringLiteral("3"));
    // The tables are usable at once and opening again changes nothing.
    seedBank(ws, 4);
    storeByHand("旧题库试卷", {"001", "002"});
    DM->disconnectFromBank();
    DM->connectTo(ws.databasePath());
    QCOMPARE(ws.count("papers"), 1);
    QCOMPARE(ws.count("paper_questions"), 2);

    // A bank of version 6 kept its papers without their questions' knowledge points: it gains the
    // column, its papers read back without points, and new papers keep theirs.
    ws.exec("ALTER TABLE paper_questions DROP COLUMN zsd");
    ws.exec("PRAGMA user_version = 6");
    DM->disconnectFromBank();
    DM->connectTo(ws.databasePath());
    QCOMPARE(ws.scalar("PRAGMA user_version").toInt(), schema::kVersion);
    const library::StoredPaper old = library::loadPaper(DM->db(), library::listPapers(DM->db()).first().id);
    QCOMPARE(numbersOf(old), (QStringList{"001", "002"}));
    QCOMPARE(old.sections.first().questions.first().points, QString());
    QSqlDatabase db = DM->db();
    knowledge::setForQuestion(db, sql::scalar(db, "SELECT id FROM stb WHERE th='001'").toLongLong(),
                              {knowledge::add(db, "01", "集合", 0)});
    library::StoredPaper fresh = library::snapshotComposition(db, "01", "数学", {}, "新卷", "90", "0");
    fresh.sections.append(old.sections.first());
    library::notePoints(db, fresh);
    const library::StoredPaper back = library::loadPaper(db, library::storePaper(db, fresh));
    QCOMPARE(back.sections.first().questions.first().points, QString("集合"));
}

void PaperLibraryTest::composingStoresTheSnapshotThatSurvivesBankChanges()
{
    Workspace ws;
    seedBank(ws, 6);
    // Every question stands under 代数/方程; the first one under 几何 too.
    QSqlDatabase db = DM->db();
    const qint64 algebra = knowledge::add(db, "01", "代数", 0);
    const qint64 equations = knowledge::add(db, "01", "方程", algebra);
    const qint64 geometry = knowledge::add(db, "01", "几何", 0);
    const QList<qint64> ids = [&] {
        QList<qint64> out;
        for (const QString& id : sql::column(db, "SELECT id FROM stb ORDER BY id")) out << id.toLongLong();
        return out;
    }();
    for (const qint64 id : ids) knowledge::setForQuestion(db, id, {equations});
    knowledge::setForQuestion(db, ids.first(), {geometry, equations});
    const QString firstNumber = sql::scalar(db, "SELECT th FROM stb WHERE id=?", {ids.first()});
    current_user::name() = "teacher";
    BoxAnswerer boxes;
    randomdraw::setState(7);
    const QStringList drawn = compose("期中考试", 3, 30);
    QCOMPARE(drawn.size(), 3);
    QCOMPARE(ws.count("papers"), 1);

    const auto rows = library::listPapers(DM->db());
    QCOMPARE(rows.size(), 1);
    const library::StoredPaper before = library::loadPaper(DM->db(), rows.first().id);
    QCOMPARE(before.title, QStringLiteral("期中考试"));
    QCOMPARE(before.kmm, QStringLiteral("数学"));
    QCOMPARE(before.total, QStringLiteral("30"));
    QCOMPARE(before.duration, QStringLiteral("90"));
    QCOMPARE(before.layout, QStringLiteral("标准"));
    QCOMPARE(before.createdBy, QStringLiteral("teacher"));
    QCOMPARE(before.sections.size(), 1);
    QCOMPARE(before.sections.first().points, 30LL);
    QCOMPARE(numbersOf(before), drawn);
    for (const auto& q : before.sections.first().questions) {
        QCOMPARE(q.tm, "原题" + q.th);
        QCOMPARE(q.fs, QStringLiteral("10"));
        QCOMPARE(q.points, q.th == firstNumber ? QStringLiteral("代数/方程；几何") : QStringLiteral("代数/方程"));
    }
    // What 查看 shows of a paper names each question's points.
    QVERIFY2(library::describe(before).contains("难度 " + before.sections.first().questions.at(0).nd +
                                                "  10分  知识点 " + before.sections.first().questions.at(0).points + "] "),
             qPrintable(library::describe(before)));

    // The bank changes: one question edited, one deleted, the paper in progress cleared.
    ws.exec("UPDATE stb SET tm='改过的题', da='改过的答案', nd='难' WHERE th=?", {drawn.at(0)});
    ws.exec("DELETE FROM stb WHERE th=?", {drawn.at(1)});
    ws.exec("DELETE FROM sjb");
    // The points are renamed and relinked: the paper keeps those it was composed with.
    knowledge::rename(db, equations, "一元方程");
    for (const qint64 id : ids) knowledge::setForQuestion(db, id, {geometry});
    const library::StoredPaper after = library::loadPaper(DM->db(), before.id);
    QCOMPARE(numbersOf(after), drawn);
    for (int i = 0; i < drawn.size(); ++i)
        QCOMPARE(after.sections.first().questions.at(i).points, before.sections.first().questions.at(i).points);
    QCOMPARE(after.sections.first().questions.at(0).tm, "原题" + drawn.at(0));
    QCOMPARE(after.sections.first().questions.at(0).da, "原答" + drawn.at(0));
    QCOMPARE(after.sections.first().questions.at(1).tm, "原题" + drawn.at(1));

    // A paper whose document cannot be written is not kept: Papers is a file, not a folder.
    QFile::remove(ws.root() + "/Papers");
    QDir(ws.root() + "/Papers").removeRecursively();
    QFile blocker(ws.root() + "/Papers");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    boxes.clear();
    compose("写不出的试卷", 2, 20);
    QCOMPARE(ws.count("papers"), 1);
    QVERIFY(!boxes.texts.isEmpty());
}

void PaperLibraryTest::usageCountsAfterThreePapersShowInQuestionEntry()
{
    Workspace ws;
    seedBank(ws, 5);
    BoxAnswerer boxes;
    // Each paper takes every question of the bank.
    for (const char* title : {"第一份", "第二份", "第三份"})
        QCOMPARE(compose(QString::fromUtf8(title), 5, 50).size(), 5);
    ws.exec(
        "INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, time, bz)"
        " VALUES ('01','01','006','01','易','5','新题','新答','8:00:00','')");
    ws.exec("UPDATE papers SET created_at='2026-11-02 10:00:00' WHERE title='第三份'");
    ws.exec("UPDATE papers SET created_at='2025-03-01 10:00:00' WHERE title<>'第三份'");

    auto idOf = [](const char* txh, const char* th) {
        return sql::scalar(DM->db(), "SELECT id FROM stb WHERE kmh='01' AND txh=? AND th=?", {txh, th}).toLongLong();
    };
    const library::Usage used = library::usage(DM->db(), idOf("01", "003"));
    QCOMPARE(used.papers, 3);
    QCOMPARE(used.lastDate, QStringLiteral("2026-11-02"));
    QCOMPARE(library::usage(DM->db(), idOf("01", "006")).papers, 0);
    // Same number in another type is another question.
    ws.exec(
        "INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, time, bz)"
        " VALUES ('01','02','003','01','易','5','原题003','原答003','8:00:00','')");
    QCOMPARE(library::usage(DM->db(), idOf("02", "003")).papers, 0);

    MainF->ComboBoxKmm->setEditText("数学");
    auto* entry = new TLrstF(MainF);
    entry->show();
    auto clickRow = [entry](int row) {
        const QRect r = entry->DBGrid1->visualRect(entry->DBGrid1->model()->index(row, 0));
        QTest::mouseClick(entry->DBGrid1->viewport(), Qt::LeftButton, {}, r.center());
    };
    auto* label = entry->findChild<QLabel*>("LabelSyqk");
    QVERIFY(label);
    clickRow(2);
    QCOMPARE(entry->MemoTm->toPlainText(), QStringLiteral("原题003"));
    QCOMPARE(label->text(), QStringLiteral("已用于 3 份试卷，最近 2026-11-02"));
    clickRow(5);
    QCOMPARE(entry->MemoTm->toPlainText(), QStringLiteral("新题"));
    QCOMPARE(label->text(), QStringLiteral("尚未用于试卷"));

    // Deleting the newest paper from the library lowers the count and the date.
    library::deletePaper(DM->db(), library::listPapers(DM->db(), "第三份").first().id);
    clickRow(2);
    QCOMPARE(label->text(), QStringLiteral("已用于 2 份试卷，最近 2025-03-01"));
}

void PaperLibraryTest::excludingRecentPapersLeavesTheirQuestionsOut()
{
    Workspace ws;
    seedBank(ws, 10);
    BoxAnswerer boxes;
    {
        TXxszF* dlg = wizardtest::openStepTwo();
        QVERIFY(!dlg->CheckBoxPcjq->isChecked());  // today's selection unless asked
        QVERIFY(dlg->CheckBoxPcjq->isVisible());
        dlg->RadioGroup1Manual->click();
        QVERIFY(!dlg->CheckBoxPcjq->isVisible());
        closeWizard();
    }
    const QStringList first = compose("第一份", 4, 20);
    const QStringList second = compose("第二份", 3, 15, 1);
    QCOMPARE(second.size(), 3);
    for (const QString& th : second) QVERIFY2(!first.contains(th), qPrintable(th));

    // Leaving out both papers leaves 3 questions: asking for 5 lowers the count and says why.
    boxes.clear();
    const QStringList third = compose("第三份", 5, 15, 2);
    QCOMPARE(third.size(), 3);
    for (const QString& th : third) QVERIFY(!first.contains(th) && !second.contains(th));
    QVERIFY(boxes.texts.contains(
        QStringLiteral("满足条件的题目数量不足，已修改当前小题数！（已排除最近2份试卷用过的题目7道）")));

    // Only the newest paper counts with N = 1: the first paper's questions are drawn again.
    const QStringList fourth = compose("第四份", 7, 14, 1);
    QCOMPARE(fourth.size(), 7);
    for (const QString& th : fourth) QVERIFY(!third.contains(th));

    // Off, every question is a candidate: all ten are drawn, with the usual message-free run.
    boxes.clear();
    QCOMPARE(compose("第五份", 10, 20).size(), 10);
    QVERIFY(!boxes.texts.join('\n').contains("满足条件的题目数量不足"));
}

void PaperLibraryTest::bPaperStaysWithinTheOverlapAndMatchesSlots()
{
    Workspace ws;
    seedBank(ws, 24);  // 6 of each chapter and difficulty
    const library::StoredPaper a = storeByHand("月考", {"001", "002", "013", "014", "003", "016"});
    for (int overlap : {0, 20, 50, 100}) {
        const int allowed = 6 * overlap / 100;
        for (quint32 seed = 1; seed <= 25; ++seed) {
            const library::ParallelPaper b = library::composeParallel(DM->db(), a, overlap, seed, false);
            QVERIFY(b.complete());
            QCOMPARE(b.paper.sections.size(), 1);
            const auto& wanted = a.sections.first().questions;
            const auto& drawn = b.paper.sections.first().questions;
            QCOMPARE(drawn.size(), wanted.size());
            QCOMPARE(b.paper.sections.first().points, a.sections.first().points);
            int shared = 0;
            QSet<QString> distinct;
            for (int i = 0; i < drawn.size(); ++i) {
                if (numbersOf(a).contains(drawn.at(i).th)) ++shared;
                distinct.insert(drawn.at(i).th);
                // The bank has enough of every chapter and difficulty: each slot keeps both.
                QCOMPARE(drawn.at(i).zjh, wanted.at(i).zjh);
                QCOMPARE(drawn.at(i).nd, wanted.at(i).nd);
                QCOMPARE(drawn.at(i).fs, wanted.at(i).fs);
            }
            QVERIFY2(shared <= allowed,
                     qPrintable(QString("overlap %1 seed %2 shared %3").arg(overlap).arg(seed).arg(shared)));
            QCOMPARE(shared, b.shared);
            QCOMPARE(distinct.size(), drawn.size());
            QCOMPARE(b.mismatched, 0);
        }
    }
    // The same seed over the same bank gives the same paper; the seed is stored with it, and each
    // question's own knowledge points (question 009 has one, the others none).
    QSqlDatabase db = DM->db();
    const qint64 point = knowledge::add(db, "01", "函数", 0);
    knowledge::setForQuestion(db, sql::scalar(db, "SELECT id FROM stb WHERE th='009'").toLongLong(), {point});
    library::ParallelPaper one = library::composeParallel(DM->db(), a, 0, 99, true);
    const library::ParallelPaper two = library::composeParallel(DM->db(), a, 0, 99, true);
    QCOMPARE(numbersOf(one.paper), numbersOf(two.paper));
    QCOMPARE(one.paper.title, QStringLiteral("月考（B卷）"));
    const qint64 id = library::storeParallel(DM->db(), one, a, true);
    const library::StoredPaper stored = library::loadPaper(DM->db(), id);
    QCOMPARE(stored.seed, QStringLiteral("99"));
    QVERIFY2(numbersOf(stored).contains("009"), qPrintable(numbersOf(stored).join(',')));
    for (const auto& q : stored.sections.first().questions) QCOMPARE(q.points, q.th == "009" ? QString("函数") : QString());
    QCOMPARE(stored.sourceId, a.id);
    QCOMPARE(numbersOf(stored), numbersOf(one.paper));
    QCOMPARE(library::loadPaper(DM->db(), a.id).title, QStringLiteral("月考（A卷）"));
}

void PaperLibraryTest::bPaperShortageNamesTheSectionAndStoresNothing()
{
    Workspace ws;
    seedBank(ws, 8);
    const library::StoredPaper a = storeByHand("小测", {"001", "002", "003", "004", "005", "006"});
    const library::ParallelPaper b = library::composeParallel(DM->db(), a, 0, 5, false);
    QVERIFY(!b.complete());
    QCOMPARE(b.shortages, QStringList{"一、选择题：缺少 4 道题"});
    // Allowing 70 % (4 of 6) in common, the bank is enough; the two new questions come first.
    const library::ParallelPaper most = library::composeParallel(DM->db(), a, 70, 5, false);
    QVERIFY(most.complete());
    QCOMPARE(most.shared, 4);
    QVERIFY(numbersOf(most.paper).contains("007") && numbersOf(most.paper).contains("008"));
    QVERIFY(!library::composeParallel(DM->db(), a, 60, 5, false).complete());  // 3 of 6: one short

    // Through the window: the message names the section, and nothing is stored.
    BoxAnswerer boxes;
    auto* window = new TSjkF(MainF);
    window->show();
    QStringList seen;  // what the dialog showed, checked once it is closed
    boxes.onOtherModal = [&](QWidget* w) -> bool {
        if (auto* dialog = qobject_cast<TBjF*>(w)) {
            seen << QString::number(dialog->SpinOverlap->value()) << QString::number(dialog->CheckBoxAb->isChecked());
            QTest::mouseClick(dialog->BtnOk, Qt::LeftButton);
            seen << QString::number(dialog->isVisible());
            dialog->reject();
        }
        return true;
    };
    QTest::mouseClick(window->BtnScbj, Qt::LeftButton);
    QCOMPARE(seen, (QStringList{"0", "0", "1"}));  // defaults 0 % and unmarked; stays open
    QVERIFY(boxes.texts.contains(library::shortageMessage(b)));
    QVERIFY(boxes.last().contains("一、选择题：缺少 4 道题"));
    QCOMPARE(ws.count("papers"), 1);
    QCOMPARE(ws.count("paper_questions"), 6);
}

// Three slots of 第二章, 易. The bank's 第二章 holds them, one more 易 and one 难; 第一章 and 第三章
// (next to it in chapter order) two 易 each; 第四章 (further off) many. With no question in common
// the slots take the other 易, then the 难 of the same chapter, then a neighbour's 易; with one in
// common the third slot stays in 第二章 with a question of the original.
void PaperLibraryTest::bPaperWidensWithinTheChapterBeforeItsNeighbours()
{
    Workspace ws;
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('01','数学')");
    ws.exec("INSERT INTO txb (kmh, txh, txm, bz) VALUES ('01','01','选择题','0')");
    // Chapter order is the list's order, not the codes': 第四章 (04) is listed last.
    ws.exec(
        "INSERT INTO zjb (kmh, zjh, zjm, bz) VALUES ('01','01','第一章','0'), ('01','02','第二章','0'),"
        " ('01','03','第三章','0'), ('01','04','第四章','0')");
    int n = 0;
    auto add = [&](const char* zjh, const char* nd, int count) {
        for (int i = 0; i < count; ++i) {
            const QString th = QString::number(++n).rightJustified(3, QLatin1Char('0'));
            ws.exec(
                "INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, time, bz) VALUES ('01','01',?,?,?,'5',?,"
                "'答','8:00:00','')",
                {th, zjh, nd, "题" + th});
        }
    };
    add("02", "易", 3);  // 001–003: the original
    add("04", "易", 6);  // 004–009
    add("02", "易", 1);  // 010
    add("02", "难", 1);  // 011
    add("01", "易", 2);  // 012–013
    add("03", "易", 2);  // 014–015
    const library::StoredPaper a = storeByHand("单元测验", {"001", "002", "003"});
    for (quint32 seed = 1; seed <= 20; ++seed) {
        const library::ParallelPaper b = library::composeParallel(DM->db(), a, 0, seed, false);
        QVERIFY(b.complete());
        const auto& drawn = b.paper.sections.first().questions;
        QCOMPARE(drawn.size(), 3);
        QStringList numbers = numbersOf(b.paper);
        QVERIFY2(numbers.contains("010") && numbers.contains("011"), qPrintable(numbers.join(',')));
        int neighbours = 0;
        for (int i = 0; i < 3; ++i) {
            QVERIFY2(drawn.at(i).zjh != "04", qPrintable(numbers.join(',')));
            if (drawn.at(i).zjh == "01" || drawn.at(i).zjh == "03") {
                ++neighbours;
                QCOMPARE(drawn.at(i).nd, QStringLiteral("易"));
            }
            QCOMPARE(drawn.at(i).fs, a.sections.first().questions.at(i).fs);  // 4, 6, 4
        }
        QCOMPARE(neighbours, 1);
        QCOMPARE(b.shared, 0);
        QCOMPARE(b.mismatched, 2);
        QCOMPARE(b.widenings.size(), 2);
        const QString told = b.widenings.join('\n');
        QVERIFY2(told.contains("章节“第二章”难度“易”中没有可用的题目，改用难度“难”的题目"), qPrintable(told));
        QVERIFY2(told.contains("改用相邻章节“第一章”的题目") || told.contains("改用相邻章节“第三章”的题目"),
                 qPrintable(told));
        QCOMPARE(b.paper.sections.first().points, 14LL);

        // One question in common is allowed (34 % of 3): it keeps the third slot in its chapter.
        const library::ParallelPaper c = library::composeParallel(DM->db(), a, 34, seed, false);
        QVERIFY(c.complete());
        QCOMPARE(c.shared, 1);
        QCOMPARE(c.mismatched, 1);
        for (const auto& q : c.paper.sections.first().questions) QCOMPARE(q.zjh, QStringLiteral("02"));
    }
}

// A B paper made from a paper titled "月考（B卷）" is titled "月考（B卷）", not "月考（B卷）（B卷）".
void PaperLibraryTest::bPaperOfABPaperIsTitledOnce()
{
    Workspace ws;
    seedBank(ws, 12);
    const library::StoredPaper a = storeByHand("月考（B卷）", {"001", "002"});
    library::ParallelPaper b = library::composeParallel(DM->db(), a, 0, 3, true);
    QCOMPARE(b.paper.title, QStringLiteral("月考（B卷）"));
    library::storeParallel(DM->db(), b, a, true);
    QVERIFY(!testing::joined("SELECT title FROM papers ORDER BY id").contains("（B卷）（B卷）"));
    const library::StoredPaper plain = storeByHand("周测", {"003"});
    QCOMPARE(library::composeParallel(DM->db(), plain, 0, 3, true).paper.title, QStringLiteral("周测（B卷）"));
    QCOMPARE(library::composeParallel(DM->db(), plain, 0, 3, false).paper.title, QStringLiteral("周测"));
}

void PaperLibraryTest::libraryWindowSearchesShowsDeletesAndExports()
{
    Workspace ws;
    seedBank(ws, 6);
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('02','语文')");
    storeByHand("数学期中", {"001", "002"});
    storeByHand("数学期末", {"003"});
    library::StoredPaper other = storeByHand("语文期末, \"甲\"", {"004"});
    ws.exec("UPDATE papers SET kmh='02', kmm='语文' WHERE id=?", {other.id});

    QVERIFY(MainF->SJK && MainF->SJK->parent() == static_cast<QObject*>(MainF->SJGL));
    BoxAnswerer boxes;
    auto* window = new TSjkF(MainF);
    window->show();
    auto titles = [window] {
        QStringList out;
        for (int r = 0; r < window->TablePapers->model()->rowCount(); ++r)
            out << window->TablePapers->model()->index(r, 0).data().toString();
        return out;
    };
    // Newest first.
    QCOMPARE(titles(), (QStringList{"语文期末, \"甲\"", "数学期末", "数学期中"}));
    QCOMPARE(window->LabelCount->text(), QStringLiteral("共 3 份试卷"));
    window->EditBt->insert("期末");  // as an input method enters it
    QCOMPARE(titles(), (QStringList{"语文期末, \"甲\"", "数学期末"}));
    window->EditKm->insert("数");
    QCOMPARE(titles(), QStringList{"数学期末"});
    window->EditBt->clear();
    window->EditKm->setText("%");  // taken literally
    QCOMPARE(titles(), QStringList());
    window->EditKm->clear();
    // Letter case does not matter, on a file as on a server.
    const library::StoredPaper latin = storeByHand("Unit 3 数学测验", {"005"});
    window->EditBt->setText("unit");
    QCOMPARE(titles(), QStringList{"Unit 3 数学测验"});
    window->EditBt->setText("UNIT 3");
    QCOMPARE(titles(), QStringList{"Unit 3 数学测验"});
    window->EditBt->clear();
    ws.exec("DELETE FROM paper_questions WHERE paper_id=?", {latin.id});
    ws.exec("DELETE FROM paper_sections WHERE paper_id=?", {latin.id});
    ws.exec("DELETE FROM papers WHERE id=?", {latin.id});
    window->EditBt->setText(" ");
    window->EditBt->clear();
    QCOMPARE(titles(), (QStringList{"语文期末, \"甲\"", "数学期末", "数学期中"}));

    // Contents of the selected paper.
    window->TablePapers->selectRow(2);
    QString shown;
    boxes.onOtherModal = [&](QWidget* w) -> bool {
        if (w->objectName() == "NrF") {
            shown = w->findChild<QPlainTextEdit*>("MemoNr")->toPlainText();
            static_cast<QDialog*>(w)->accept();
        }
        return true;
    };
    QTest::mouseClick(window->BtnCknr, Qt::LeftButton);
    QVERIFY2(shown.startsWith("数学期中\n科目：数学"), qPrintable(shown));
    QVERIFY(shown.contains("一、选择题（本题共2道小题，共10分。）"));
    QVERIFY(shown.contains("1. [题号 001  章节 第一章  难度 易  4分] 原题001"));
    QVERIFY(shown.contains("2. [题号 002  章节 第二章  难度 易  6分] 原题002"));

    // Deleting asks first; Cancel keeps the paper.
    boxes.queue(QMessageBox::Cancel);
    QTest::mouseClick(window->BtnSc, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("确实要从试卷库中删除试卷“数学期中”吗？"));
    QCOMPARE(ws.count("papers"), 3);
    // A paper with sittings says that their scores go with it.
    const QString paperId = ws.scalar("SELECT id FROM papers WHERE title='数学期中'");
    ws.exec("INSERT INTO sittings (paper_id, held_on, class_name, students) VALUES (?, '2026-11-20', '一班', 30),"
            " (?, '2026-11-21', '二班', 12)",
            {paperId, paperId});
    boxes.queue(QMessageBox::Cancel);
    QTest::mouseClick(window->BtnSc, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("确实要从试卷库中删除试卷“数学期中”吗？\n这份试卷已导入 2 次考试的成绩（共 42 人），"
                                          "将一并删除，各题由这些考试得到的实测难度也随之删除。"));
    QCOMPARE(ws.count("sittings"), 2);
    boxes.queue(QMessageBox::Ok);
    QTest::mouseClick(window->BtnSc, Qt::LeftButton);
    QCOMPARE(ws.count("sittings"), 0);
    QCOMPARE(ws.count("papers"), 2);
    QCOMPARE(ws.count("paper_questions"), 2);
    QCOMPARE(ws.count("paper_sections"), 2);
    QCOMPARE(titles(), (QStringList{"语文期末, \"甲\"", "数学期末"}));

    // Export: a CSV with a byte-order mark, the list as shown.
    const QString path = ws.root() + "/列表.csv";
    boxes.onOtherModal = [&](QWidget* w) -> bool {
        if (auto* files = qobject_cast<QFileDialog*>(w)) {
            // Typed into the dialog's name field, as a user does.
            if (auto* name = files->findChild<QLineEdit*>("fileNameEdit")) name->setText(path);
            QMetaObject::invokeMethod(files, "accept");
        }
        return true;
    };
    QTest::mouseClick(window->BtnDc, Qt::LeftButton);
    QFile csv(path);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QByteArray bytes = csv.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split("\r\n", Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(0), QStringLiteral("标题,科目,时间(分钟),总分,题数,版式,组卷时间,组卷人"));
    QVERIFY2(lines.at(1).startsWith("\"语文期末, \"\"甲\"\"\",语文,90,4,1,标准,"), qPrintable(lines.at(1)));
    QVERIFY(lines.at(2).startsWith("数学期末,数学,90,4,1,标准,"));
    QCOMPARE(boxes.last(), QStringLiteral("已导出 2 份试卷到：") + QDir::toNativeSeparators(path));
}

void PaperLibraryTest::libraryWindowMakesABPaperAndWritesDocuments()
{
    Workspace ws;
    seedBank(ws, 12);
    BoxAnswerer boxes;
    randomdraw::setState(3);
    const QStringList drawn = compose("期末考试", 4, 40);
    const qint64 aId = library::listPapers(DM->db()).first().id;
    // The bank's texts change; the document written again is the paper as given.
    ws.exec("UPDATE stb SET tm='改过的题'");
    QDir(ws.root() + "/Papers").removeRecursively();

    auto* window = new TSjkF(MainF);
    window->show();
    QCOMPARE(window->currentPaperId(), aId);
    QTest::mouseClick(window->BtnScwd, Qt::LeftButton);
    const QString path = ws.root() + "/Papers/期末考试.docx";
    QVERIFY2(QFileInfo::exists(path), qPrintable(boxes.texts.join('\n')));
    const QStringList tokens = docxread::read(path).tokens();
    QVERIFY(tokens.contains("1. 原题" + drawn.at(0)));
    QVERIFY(tokens.contains("4. 原题" + drawn.at(3)));
    QVERIFY(!tokens.join('\n').contains("改过的题"));

    // 生成B卷 with no common question, titles marked, a given seed.
    boxes.onOtherModal = [&](QWidget* w) -> bool {
        if (auto* dialog = qobject_cast<TBjF*>(w)) {
            dialog->CheckBoxAb->setChecked(true);
            dialog->EditSeed->setText("4242");
            QTest::mouseClick(dialog->BtnOk, Qt::LeftButton);
        }
        return true;
    };
    QTest::mouseClick(window->BtnScbj, Qt::LeftButton);
    QCOMPARE(ws.count("papers"), 2);
    const library::StoredPaper a = library::loadPaper(DM->db(), aId);
    QCOMPARE(a.title, QStringLiteral("期末考试（A卷）"));
    const qint64 bId = window->currentPaperId();
    QVERIFY(bId != aId);
    const library::StoredPaper b = library::loadPaper(DM->db(), bId);
    QCOMPARE(b.title, QStringLiteral("期末考试（B卷）"));
    QCOMPARE(b.seed, QStringLiteral("4242"));
    QCOMPARE(b.variant, QStringLiteral("B"));
    QCOMPARE(b.questionCount(), 4);
    for (const QString& th : numbersOf(b)) QVERIFY(!drawn.contains(th));
    QVERIFY(boxes.texts.join('\n').contains("B卷已存入试卷库（随机种子 4242），与原卷相同的题目 0 道"));
    QVERIFY(QFileInfo::exists(ws.root() + "/Papers/期末考试（B卷）.docx"));
    // The stored seed composes the same B paper again.
    QCOMPARE(numbersOf(library::composeParallel(DM->db(), a, 0, 4242, true).paper), numbersOf(b));
}

void PaperLibraryTest::viewingAPaperShowsItsFormulasTypesetAndPicturesDrawn()
{
    Workspace ws;
    seedBank(ws, 2);
    QImage image(240, 80, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    const QString marker = content::pictureMarker(content::storePicture(DM->db(), png));
    ws.exec("UPDATE stb SET tm=?, da=? WHERE th='001'",
            {QStringLiteral("已知\\(x^2=4\\)，求x。\n") + marker, QStringLiteral("\\(x=\\pm 2\\)")});
    storeByHand("公式测验", {"001", "002"});
    BoxAnswerer boxes;
    auto* window = new TSjkF(MainF);
    window->show();
    window->TablePapers->selectRow(0);
    QString plain;
    QString shown;
    int images = -1;
    boxes.onOtherModal = [&](QWidget* w) -> bool {
        if (w->objectName() == "NrF") {
            plain = w->findChild<QPlainTextEdit*>("MemoNr")->toPlainText();
            auto* preview = w->findChild<content::ContentPreview*>("PreviewNr");
            if (preview && preview->isVisible()) {
                shown = preview->toPlainText();
                images = 0;
                for (QTextBlock b = preview->document()->begin(); b.isValid(); b = b.next()) {
                    for (auto it = b.begin(); !it.atEnd(); ++it) images += it.fragment().charFormat().isImageFormat();
                }
            }
            static_cast<QDialog*>(w)->accept();
        }
        return true;
    };
    QTest::mouseClick(window->BtnCknr, Qt::LeftButton);
    // The plain reading keeps the sources; what the user sees has two formulas and the picture.
    QVERIFY2(plain.contains("1. [题号 001  章节 第一章  难度 易  4分] 已知\\(x^2=4\\)，求x。"), qPrintable(plain));
    QCOMPARE(images, 3);
    QVERIFY2(shown.startsWith("公式测验\n科目：数学"), qPrintable(shown));
    QVERIFY2(shown.contains("2. [题号 002  章节 第二章  难度 难  6分] 原题002"), qPrintable(shown));
    QVERIFY2(!shown.contains("x^2") && !shown.contains("[[图片") && !shown.contains("\\pm"), qPrintable(shown));
}

QTEST_MAIN(PaperLibraryTest)
// A stored paper reads back whole, in its order: sections without questions (in the middle and at
// the end) stay as empty sections, and a paper without sections reads back with none.
void PaperLibraryTest::aPaperReadsBackWithEmptySectionsAndNoneAtAll()
{
    Workspace ws;
    library::StoredPaper paper;
    paper.title = QStringLiteral("期中考试");
    paper.kmh = QStringLiteral("01");
    paper.kmm = QStringLiteral("数学");
    paper.duration = QStringLiteral("90");
    paper.total = QStringLiteral("100");
    paper.seed = QStringLiteral("7");
    const QStringList types = {QStringLiteral("选择题"), QStringLiteral("填空题"), QStringLiteral("计算题"),
                               QStringLiteral("证明题")};
    const QVector<int> sizes = {3, 0, 2, 0};
    for (int s = 0; s < types.size(); ++s) {
        library::StoredSection section;
        section.txh = QStringLiteral("0%1").arg(s + 1);
        section.typeName = types[s];
        section.points = 10 * (s + 1);
        for (int i = 0; i < sizes[s]; ++i) {
            section.questions.append({QStringLiteral("01"), section.txh, QStringLiteral("00%1").arg(i + 1),
                                      QStringLiteral("01"), QStringLiteral("易"), QStringLiteral("5"),
                                      QStringLiteral("第%1大题第%2题").arg(s + 1).arg(i + 1), QStringLiteral("答")});
        }
        section.count = int(section.questions.size());
        paper.sections.append(section);
    }
    const qint64 id = library::insertPaper(DM->db(), paper);
    const library::StoredPaper back = library::loadPaper(DM->db(), id);
    QCOMPARE(back.title, paper.title);
    QCOMPARE(back.kmm, paper.kmm);
    QCOMPARE(back.seed, paper.seed);
    QCOMPARE(back.sourceId, qint64(-1));
    QCOMPARE(back.sections.size(), types.size());
    for (int s = 0; s < types.size(); ++s) {
        QCOMPARE(back.sections[s].typeName, types[s]);
        QCOMPARE(back.sections[s].points, paper.sections[s].points);
        QCOMPARE(back.sections[s].count, sizes[s]);
        QCOMPARE(back.sections[s].questions.size(), sizes[s]);
        for (int i = 0; i < sizes[s]; ++i) {
            QCOMPARE(back.sections[s].questions[i].tm, paper.sections[s].questions[i].tm);
            QCOMPARE(back.sections[s].questions[i].th, paper.sections[s].questions[i].th);
        }
    }
    library::StoredPaper bare;
    bare.title = QStringLiteral("空白试卷");
    const library::StoredPaper bareBack = library::loadPaper(DM->db(), library::insertPaper(DM->db(), bare));
    QCOMPARE(bareBack.title, bare.title);
    QVERIFY(bareBack.sections.isEmpty());
    QVERIFY_THROWS_EXCEPTION(DataError, library::loadPaper(DM->db(), id + 1000));
}

#include "test_paper_library.moc"
