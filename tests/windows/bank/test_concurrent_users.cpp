// Several users on one bank: a second connection to the same bank plays "another user" (on a file
// the bank lock belongs to the program; a raw connection of the test bypasses it). Covers numbers and codes
// another user took first (with the uniqueness rules a server bank has), a question changed by
// another user since it was loaded, a chapter renamed meanwhile, and deletions, restores and purges
// that stand or fall as a whole when a statement fails midway.
#include <QAction>
#include <QComboBox>
#include <QHash>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

#include "app/application.h"
#include "ui/db_grid.h"
#include "ui/forms.h"
#include "app/main_window.h"
#include "windows/bank/chapter_settings.h"
#include "windows/bank/question_entry.h"
#include "windows/bank/question_type_settings.h"
#include "windows/bank/recycle_bin.h"
#include "windows/bank/subject_settings.h"
#include "data/data_module.h"
#include "data/engine.h"
#include "data/errors.h"
#include "data/numbering.h"
#include "data/recycle.h"
#include "data/schema.h"
#include "data/sql.h"
#include "exchange/question_store.h"
#include "test_support.h"
#include "windows/users/add_user.h"
#include "windows/users/user_admin.h"

using testing::BoxAnswerer;
using testing::Workspace;

namespace {

// Another user's program: its own connection to the workspace's bank (file or server).
class OtherUser {
public:
    explicit OtherUser(const Workspace& ws)
    {
        if (testing::onServer()) {
            engine::openServer(kName, ws.serverUri());
            return;
        }
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kName);
        db.setDatabaseName(ws.databasePath());
        db.open();
    }
    ~OtherUser()
    {
        QSqlDatabase::database(kName, false).close();
        QSqlDatabase::removeDatabase(kName);
    }
    // Runs a statement; the error text when it failed, else an empty text.
    QString exec(const QString& statement)
    {
        QSqlQuery q(QSqlDatabase::database(kName, false));
        return q.exec(statement) ? QString() : q.lastError().text() + QStringLiteral(": ") + statement;
    }
    // The uniqueness rules a server bank has (a server bank has them already).
    QString addServerRules()
    {
        for (const QString& statement : schema::serverOnlyStatements()) {
            const QString error = exec(statement);
            if (!error.isEmpty()) return error;
        }
        return QString();
    }
    // A row trigger `timing` ("BEFORE DELETE") on `table` doing `action` for the rows matching
    // `condition`; `action` empty: the statement fails with "磁盘故障", as a failing disk would.
    QString addTrigger(const QString& name, const QString& timing, const QString& table, const QString& condition,
                       const QString& action = QString())
    {
        triggers_.insert(name, table);
        if (!testing::onServer()) {
            const QString body = action.isEmpty() ? QStringLiteral("SELECT RAISE(ABORT, '磁盘故障')") : action;
            return exec(QStringLiteral("CREATE TRIGGER %1 %2 ON %3 WHEN %4 BEGIN %5; END")
                            .arg(name, timing, table, condition, body));
        }
        const QString body = action.isEmpty() ? QStringLiteral("RAISE EXCEPTION '磁盘故障'") : action;
        const QString error = exec(QStringLiteral("CREATE FUNCTION %1_f() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN"
                                                  " IF %2 THEN %3; END IF;"
                                                  " IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; RETURN NEW; END $$")
                                       .arg(name, condition, body));
        if (!error.isEmpty()) return error;
        return exec(QStringLiteral("CREATE TRIGGER %1 %2 ON %3 FOR EACH ROW EXECUTE FUNCTION %1_f()")
                        .arg(name, timing, table));
    }
    QString dropTrigger(const QString& name)
    {
        if (!testing::onServer()) return exec(QStringLiteral("DROP TRIGGER %1").arg(name));
        const QString error = exec(QStringLiteral("DROP TRIGGER %1 ON %2").arg(name, triggers_.value(name)));
        return error.isEmpty() ? exec(QStringLiteral("DROP FUNCTION %1_f()").arg(name)) : error;
    }

private:
    static inline const QString kName = QStringLiteral("other-user");
    QHash<QString, QString> triggers_;  // trigger name to table
};

const QString kChangedBox = QStringLiteral("第001题已被其他用户更改，是否重新载入该题？（选“否”保留编辑框中的内容）");

}  // namespace

class ConcurrentUsersTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void fileBanksGetNoUniquenessRules();
    void questionChangedByAnotherUserAsksBeforeOverwriting();
    void storedQuestionTakesTheNextFreeNumber();
    void importedQuestionsTypesAndChaptersTakeFreeCodes();
    void newSubjectTypeAndChapterTakeFreeCodes();
    void refusedAttemptsAreBoundedAndUndoOnlyThemselves();
    void chapterRenamedByAnotherUserAsksBeforeOverwriting();
    void deletionsStandOrFallAsAWhole();
    void restoreAndPurgeStandOrFallAsAWhole();
    void userNameTakenAtTheSameMomentIsRefused();
    void aStoreAndASubjectDeletionAtOnceLeaveNoQuestionBehind();
    void oneNameAddedByTwoUsersAtOnceIsStoredOnce();
    void anImportCreatingANameAnotherUserAddsAtOnceUsesTheirs();

private:
    static void seed(Workspace& ws);
    static TLrstF* openEntry();
    // Another user's transaction on a server, run by psql statement by statement: started, then
    // waited for until it sleeps (holding what it has locked) before the transaction's end.
    static bool startSleepingTransaction(QProcess& psql, Workspace& ws, const QStringList& statements);
    static void clickRow(TLrstF* dlg, int row);
    static QLineEdit* treeEditor(TZjxzF* dlg);
    static QTreeWidgetItem* chapterNode(TZjxzF* dlg, const QString& name);
};

void ConcurrentUsersTest::initTestCase()
{
    app::setup(*qApp);
}

void ConcurrentUsersTest::init()
{
    TZjxzF::state() = {};
    TTxszF::subject() = {};
}

void ConcurrentUsersTest::seed(Workspace& ws)
{
    // Explicit ids leave room below them for rows another user stores out of read order.
    ws.exec("INSERT INTO kmb (id, kmh, kmm) VALUES (10,'01','数学'),(11,'02','语文')");
    ws.exec("INSERT INTO txb (id, kmh, txh, txm) VALUES (10,'01','01','选择题'),(11,'01','02','填空题')");
    ws.exec("INSERT INTO zjb (id, kmh, zjh, zjm) VALUES (10,'01','01','函数'),(11,'01','02','数列')");
    ws.exec(
        "INSERT INTO stb (id, kmh, txh, th, zjh, nd, fs, tm, da, \"time\") VALUES"
        " (10,'01','01','001','01','易','5','原题','原答','8:00:00'),"
        " (11,'01','01','002','02','难','3','第二题','','8:01:00'),"
        " (12,'01','02','001','01','易','2','填空','','8:02:00')");
    if (testing::onServer()) {
        // New rows of the server's own numbering come after the rows given their ids here.
        for (const char* table : {"kmb", "txb", "zjb", "stb"}) {
            ws.scalar(QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', 'id'), 100)").arg(table));
        }
    }
    ws.refreshDatasets();
    MainF->fillSubjectBox();
    MainF->ComboBoxKmm->setEditText(QStringLiteral("数学"));
}

bool ConcurrentUsersTest::startSleepingTransaction(QProcess& psql, Workspace& ws, const QStringList& statements)
{
    const QString program =
        QStandardPaths::findExecutable("psql", {"/usr/lib/postgresql/15/bin", "/usr/bin", "/usr/local/bin"});
    if (program.isEmpty()) return false;
    psql.start(program, {"-X", "-q", "-v", "ON_ERROR_STOP=1", ws.serverUri()});
    if (!psql.waitForStarted(10000)) return false;
    psql.write(("BEGIN;\n" + statements.join(";\n") + ";\nSELECT pg_sleep(1.5);\nCOMMIT;\n").toUtf8());
    psql.closeWriteChannel();
    for (int i = 0; i < 200; ++i) {
        if (ws.scalar("SELECT COUNT(*) FROM pg_stat_activity WHERE datname = current_database()"
                      " AND state = 'active' AND query LIKE 'SELECT pg_sleep(1.5)%'")
                .toInt() > 0)
            return true;
        QTest::qWait(25);
    }
    return false;
}

TLrstF* ConcurrentUsersTest::openEntry()
{
    auto* dlg = new TLrstF(MainF);
    dlg->show();
    // Questions are stored with a score.
    if (dlg->EditFs->text().isEmpty()) dlg->EditFs->setText(QStringLiteral("3"));
    return dlg;
}

void ConcurrentUsersTest::clickRow(TLrstF* dlg, int row)
{
    const QRect r = dlg->DBGrid1->visualRect(dlg->DBGrid1->model()->index(row, 0));
    QTest::mouseClick(dlg->DBGrid1->viewport(), Qt::LeftButton, {}, r.center());
}

QLineEdit* ConcurrentUsersTest::treeEditor(TZjxzF* dlg)
{
    for (QLineEdit* edit : dlg->TreeViewZj->findChildren<QLineEdit*>("TreeViewZjEditor")) {
        if (edit->isVisible()) return edit;
    }
    return nullptr;
}

QTreeWidgetItem* ConcurrentUsersTest::chapterNode(TZjxzF* dlg, const QString& name)
{
    const auto found = dlg->TreeViewZj->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

void ConcurrentUsersTest::fileBanksGetNoUniquenessRules()
{
    Workspace ws;
    seed(ws);
    // The rules a server gets are five unique indexes both engines read.
    const QStringList rules = schema::serverOnlyStatements();
    QCOMPARE(rules.size(), 5);
    for (const QString& rule : rules) QVERIFY(rule.startsWith(QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS ")));
    OtherUser other(ws);
    if (!testing::onServer()) {
        // A file keeps today's rules: older files may hold duplicate numbers and must still open.
        QCOMPARE(ws.count("sqlite_master", "type='index' AND sql LIKE 'CREATE UNIQUE INDEX%'"), 0);
        ws.exec("INSERT INTO stb (kmh, txh, th, tm) VALUES ('01','01','001','旧版本留下的重号')");
        QCOMPARE(ws.count("stb", "kmh='01' AND txh='01' AND th='001'"), 2);
        ws.exec("DELETE FROM stb WHERE tm='旧版本留下的重号'");
        // On a file without such duplicates they can be created as they are.
        QCOMPARE(other.addServerRules(), QString());
        QCOMPARE(ws.count("sqlite_master", "type='index' AND sql LIKE 'CREATE UNIQUE INDEX%'"), 5);
    }
    QCOMPARE(other.addServerRules(), QString());
    QCOMPARE(other.exec("INSERT INTO stb (kmh, txh, th) VALUES ('01','01','001')").isEmpty(), false);
    QCOMPARE(other.exec("INSERT INTO mmb (yhm) VALUES ('admin')").isEmpty(), false);
}

void ConcurrentUsersTest::questionChangedByAnotherUserAsksBeforeOverwriting()
{
    Workspace ws;
    seed(ws);
    OtherUser other(ws);
    BoxAnswerer boxes;
    TLrstF* dlg = openEntry();
    clickRow(dlg, 0);
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("原题"));

    // Changed by the other user after it was loaded: 否 keeps the editor and changes nothing.
    QCOMPARE(other.exec("UPDATE stb SET tm='别人的修改' WHERE id=10"), QString());
    dlg->MemoTm->setPlainText(QStringLiteral("我的修改"));
    boxes.queue(QMessageBox::No);
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.texts[0].startsWith(kChangedBox), qPrintable(boxes.texts[0]));
    // The box shows what the other user made of the question.
    QVERIFY2(boxes.texts[0].contains(QStringLiteral("题目：别人的修改")), qPrintable(boxes.texts[0]));
    QCOMPARE(boxes.captions.last(), QStringLiteral("确认框"));
    QCOMPARE(ws.scalar("SELECT tm FROM stb WHERE id=10"), QStringLiteral("别人的修改"));
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("我的修改"));

    // 是 reloads the question as the bank holds it, and changes nothing either.
    boxes.queue(QMessageBox::Yes);
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), 2);
    QVERIFY(boxes.last().startsWith(kChangedBox));
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("别人的修改"));
    QCOMPARE(dlg->MemoDa->toPlainText(), QStringLiteral("原答"));
    QCOMPARE(ws.scalar("SELECT tm FROM stb WHERE id=10"), QStringLiteral("别人的修改"));
    QVERIFY(!dlg->BtnYtgg->isEnabled());

    // Reloaded, the change goes through; and a second change after it compares with the first.
    dlg->MemoTm->setPlainText(QStringLiteral("第三版"));
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), 2);
    QCOMPARE(ws.scalar("SELECT tm FROM stb WHERE id=10"), QStringLiteral("第三版"));
    dlg->MemoDa->setPlainText(QStringLiteral("新答案"));
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), 2);
    QCOMPARE(ws.scalar("SELECT da FROM stb WHERE id=10"), QStringLiteral("新答案"));
    QCOMPARE(ws.scalar("SELECT tm FROM stb WHERE id=10"), QStringLiteral("第三版"));

    // Any stored column counts: a score changed by the other user is not overwritten either.
    QCOMPARE(other.exec("UPDATE stb SET fs='9' WHERE id=10"), QString());
    dlg->MemoTm->setPlainText(QStringLiteral("第四版"));
    boxes.queue(QMessageBox::No);
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    QVERIFY(boxes.last().startsWith(kChangedBox));
    QCOMPARE(ws.scalar("SELECT tm FROM stb WHERE id=10"), QStringLiteral("第三版"));
    QCOMPARE(ws.scalar("SELECT fs FROM stb WHERE id=10"), QStringLiteral("9"));

    // 覆盖 writes the editor's content over the other user's version, which the box showed.
    const QString myScore = dlg->EditFs->text();
    QVERIFY(!myScore.isEmpty() && myScore != QLatin1String("9"));
    boxes.queue(QMessageBox::Save);
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    QVERIFY(boxes.last().startsWith(kChangedBox));
    QVERIFY2(boxes.last().contains(QStringLiteral("分数：9")), qPrintable(boxes.last()));
    QCOMPARE(ws.scalar("SELECT tm FROM stb WHERE id=10"), QStringLiteral("第四版"));
    QCOMPARE(ws.scalar("SELECT fs FROM stb WHERE id=10"), myScore);
    // A later change compares with what was written: no question asked.
    const int asked = boxes.texts.size();
    dlg->MemoTm->setPlainText(QStringLiteral("第五版"));
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), asked);
    QCOMPARE(ws.scalar("SELECT tm FROM stb WHERE id=10"), QStringLiteral("第五版"));

    // Deleted by the other user: the message stays what it was.
    QCOMPARE(other.exec("DELETE FROM stb WHERE id=10"), QString());
    dlg->MemoTm->setPlainText(QStringLiteral("第六版"));
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("第001题已不在题库中，无法更改！"));
    QCOMPARE(ws.count("stb", "tm='第六版'"), 0);
    dlg->close();
}

void ConcurrentUsersTest::storedQuestionTakesTheNextFreeNumber()
{
    Workspace ws;
    seed(ws);
    OtherUser other(ws);
    QCOMPARE(other.addServerRules(), QString());
    BoxAnswerer boxes;
    TLrstF* dlg = openEntry();
    // The other user stores the number the window will compute (one after 002, the last in read
    // order) just before 新题入库 is pressed; its row comes first in read order.
    QCOMPARE(other.exec("INSERT INTO stb (id, kmh, txh, th, zjh, tm) VALUES (5,'01','01','003','01','别人的题')"),
             QString());
    dlg->MemoTm->setPlainText(QStringLiteral("我的新题"));
    QTest::mouseClick(dlg->BtnXtrk, Qt::LeftButton);
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
    QCOMPARE(ws.scalar("SELECT th FROM stb WHERE tm='我的新题'"), QStringLiteral("004"));
    QCOMPARE(ws.count("stb", "kmh='01' AND txh='01' AND th='003'"), 1);
    QCOMPARE(dlg->MemoTm->toPlainText(), QString());
    // The next one follows in read order as always.
    dlg->MemoTm->setPlainText(QStringLiteral("再一题"));
    QTest::mouseClick(dlg->BtnXtrk, Qt::LeftButton);
    QCOMPARE(ws.scalar("SELECT th FROM stb WHERE tm='再一题'"), QStringLiteral("005"));
    QCOMPARE(DM->ADOStb->recordCount(), ws.count("stb"));
    dlg->close();
}

void ConcurrentUsersTest::importedQuestionsTypesAndChaptersTakeFreeCodes()
{
    Workspace ws;
    seed(ws);
    OtherUser other(ws);
    QCOMPARE(other.addServerRules(), QString());
    QCOMPARE(other.exec("INSERT INTO stb (id, kmh, txh, th, tm) VALUES (5,'01','01','003','别人的题')"), QString());
    QCOMPARE(other.exec("INSERT INTO txb (id, kmh, txh, txm) VALUES (5,'01','03','别人的题型')"), QString());
    QCOMPARE(other.exec("INSERT INTO zjb (id, kmh, zjh, zjm) VALUES (5,'01','03','别人的章节')"), QString());
    QVector<exchange::ImportedQuestion> questions(3);
    for (int i = 0; i < questions.size(); ++i) {
        questions[i].number = QString::number(i + 1);
        questions[i].text = QStringLiteral("导入的题%1").arg(i + 1);
    }
    questions[0].typeName = questions[1].typeName = QStringLiteral("选择题");
    questions[0].chapterName = questions[1].chapterName = QStringLiteral("函数");
    questions[2].typeName = QStringLiteral("判断题");
    questions[2].chapterName = QStringLiteral("概率");
    exchange::StoreOptions options;
    options.createTypes = options.createChapters = true;
    QSqlDatabase db = DM->db();
    exchange::StoreSummary summary;
    sql::transaction(db, [&] { summary = exchange::storeQuestions(db, QStringLiteral("01"), questions, {}, options); });
    QCOMPARE(summary.stored, 3);
    QCOMPARE(ws.scalar("SELECT txh FROM txb WHERE txm='判断题'"), QStringLiteral("04"));
    QCOMPARE(ws.scalar("SELECT zjh FROM zjb WHERE zjm='概率'"), QStringLiteral("04"));
    QCOMPARE(ws.scalar("SELECT th FROM stb WHERE tm='导入的题1'"), QStringLiteral("004"));
    QCOMPARE(ws.scalar("SELECT th FROM stb WHERE tm='导入的题2'"), QStringLiteral("005"));
    QCOMPARE(ws.scalar("SELECT th FROM stb WHERE tm='导入的题3'"), QStringLiteral("001"));
}

void ConcurrentUsersTest::newSubjectTypeAndChapterTakeFreeCodes()
{
    Workspace ws;
    seed(ws);
    OtherUser other(ws);
    QCOMPARE(other.addServerRules(), QString());
    BoxAnswerer boxes;

    // A subject: the code after the last row's (02) was taken by the other user meanwhile.
    auto* subjects = new TKmszF(MainF);
    subjects->show();
    QCOMPARE(other.exec("INSERT INTO kmb (id, kmh, kmm) VALUES (5,'03','物理')"), QString());
    subjects->EditKm->setText(QStringLiteral("化学"));
    QTest::mouseClick(subjects->BtnZJKM, Qt::LeftButton);
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
    QCOMPARE(ws.scalar("SELECT kmh FROM kmb WHERE kmm='化学'"), QStringLiteral("04"));
    // The list shows the other user's subject too, and its name is refused as taken.
    QVERIFY(!subjects->ListBoxKm->findItems(QStringLiteral("物理"), Qt::MatchExactly).isEmpty());
    QCOMPARE(other.exec("INSERT INTO kmb (id, kmh, kmm) VALUES (6,'09','生物')"), QString());
    subjects->EditKm->setText(QStringLiteral("生物"));
    QTest::mouseClick(subjects->BtnZJKM, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("此科目名称已存在，请重新输入科目名称！"));
    QCOMPARE(ws.count("kmb", "kmm='生物'"), 1);
    subjects->close();
    boxes.clear();
    // Closing the dialog makes the first subject current; the type and chapter go to 数学.
    MainF->ComboBoxKmm->setCurrentIndex(MainF->ComboBoxKmm->findText(QStringLiteral("数学")));
    QCOMPARE(MainF->ComboBoxKmm->currentText(), QStringLiteral("数学"));

    // A type.
    QCOMPARE(other.exec("INSERT INTO txb (id, kmh, txh, txm) VALUES (5,'01','03','别人的题型')"), QString());
    auto* types = new TTxszF(MainF);
    types->show();
    types->EditTxm->setText(QStringLiteral("判断题"));
    QTest::mouseClick(types->BtnZjtx, Qt::LeftButton);
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
    QCOMPARE(ws.scalar("SELECT txh FROM txb WHERE txm='判断题'"), QStringLiteral("04"));
    types->close();

    // A chapter, added with the two presses of 增加章节.
    QCOMPARE(other.exec("INSERT INTO zjb (id, kmh, zjh, zjm) VALUES (5,'01','03','别人的章节')"), QString());
    auto* chapters = new TZjxzF(MainF);
    chapters->show();
    QTest::mouseClick(chapters->BtnZjzj, Qt::LeftButton);
    QVERIFY(treeEditor(chapters));
    treeEditor(chapters)->setText(QStringLiteral("概率"));
    QTest::mouseClick(chapters->BtnZjzj, Qt::LeftButton);
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
    QCOMPARE(ws.scalar("SELECT zjh FROM zjb WHERE zjm='概率'"), QStringLiteral("04"));
    chapters->close();
    QCOMPARE(DM->ADOZjb->recordCount(), ws.count("zjb"));
}

void ConcurrentUsersTest::refusedAttemptsAreBoundedAndUndoOnlyThemselves()
{
    Workspace ws;
    seed(ws);
    OtherUser other(ws);
    QCOMPARE(other.addServerRules(), QString());
    QSqlDatabase db = DM->db();
    // A scope whose every code is refused: after the bounded attempts a clear message, and the
    // work done before in the same transaction stays.
    numbering::Sequence alwaysTaken{[] { return QStringLiteral("001"); }, [](const QString&) { return false; }, 3};
    int attempts = 0;
    QString message;
    sql::transaction(db, [&] {
        sql::exec(db, QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('07','之前写入的')"));
        try {
            numbering::insertWithFreshCode(db, alwaysTaken, [&](const QString& th) {
                ++attempts;
                // Whatever code an attempt takes, the row it writes is refused.
                QVERIFY(!th.isEmpty());
                sql::exec(db, QStringLiteral("INSERT INTO stb (kmh, txh, th, tm) VALUES ('01','01','001','重号')"));
            });
        } catch (const AppError& error) {
            message = error.text();
        }
    });
    QCOMPARE(attempts, numbering::kAttempts);
    QCOMPARE(message, QStringLiteral("其他用户正在同时添加，编号已被占用，重试 20 次仍未成功，请稍后再试！"));
    QCOMPARE(ws.count("kmb", "kmm='之前写入的'"), 1);
    QCOMPARE(ws.count("stb", "tm='重号'"), 0);

    // Outside a transaction it makes its own; a refused row is told by its code, other errors pass.
    try {
        sql::exec(db, QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('01','重复的科目号')"));
        QFAIL("the uniqueness rule did not refuse the row");
    } catch (const DataError& error) {
        QVERIFY(error.uniqueViolation());
        QCOMPARE(error.code(), testing::onServer() ? QStringLiteral("23505") : QStringLiteral("2067"));
    }
    attempts = 0;
    QVERIFY_THROWS_EXCEPTION(DataError, numbering::insertWithFreshCode(db, alwaysTaken, [&](const QString&) {
                                 ++attempts;
                                 sql::exec(db, QStringLiteral("INSERT INTO no_such_table VALUES (1)"));
                             }));
    QCOMPARE(attempts, 1);
    QVERIFY(!sql::inTransaction(db));
    const QString stored =
        numbering::insertWithFreshCode(db, numbering::questionNumbers(db, "01", "02"), [&](const QString& th) {
            sql::exec(db, QStringLiteral("INSERT INTO stb (kmh, txh, th, tm) VALUES ('01','02',?,'x')"), {th});
        });
    QCOMPARE(stored, QStringLiteral("002"));
    QVERIFY(!sql::inTransaction(db));
    QCOMPARE(ws.count("stb", "txh='02' AND th='002'"), 1);
}

void ConcurrentUsersTest::chapterRenamedByAnotherUserAsksBeforeOverwriting()
{
    Workspace ws;
    seed(ws);
    OtherUser other(ws);
    BoxAnswerer boxes;
    auto* dlg = new TZjxzF(MainF);
    dlg->show();
    auto rename = [&](const QString& from, const QString& to) {
        QTreeWidgetItem* item = chapterNode(dlg, from);
        QVERIFY(item);
        QTest::mouseClick(dlg->TreeViewZj->viewport(), Qt::LeftButton, {},
                          dlg->TreeViewZj->visualItemRect(item).center());
        QTest::mouseClick(dlg->BtnCmm, Qt::LeftButton);
        QVERIFY(treeEditor(dlg));
        // The other user renames the chapter while this one types.
        QCOMPARE(other.exec("UPDATE zjb SET zjm=zjm || '（改）' WHERE id=10"), QString());
        treeEditor(dlg)->setText(to);
        QTest::mouseClick(dlg->BtnCmm, Qt::LeftButton);
    };
    const QString box =
        QStringLiteral("章节“函数”已被其他用户更改，是否重新载入章节列表？（选“否”保留树中输入的名称）");
    boxes.queue(QMessageBox::No);
    rename(QStringLiteral("函数"), QStringLiteral("函数与方程"));
    QCOMPARE(boxes.texts, QStringList{box});
    QCOMPARE(ws.scalar("SELECT zjm FROM zjb WHERE id=10"), QStringLiteral("函数（改）"));
    QVERIFY(chapterNode(dlg, QStringLiteral("函数与方程")));  // the typed name stays in the tree

    dlg->FormShow();
    QVERIFY(chapterNode(dlg, QStringLiteral("函数（改）")));
    boxes.queue(QMessageBox::Yes);
    rename(QStringLiteral("函数（改）"), QStringLiteral("函数与方程"));
    QCOMPARE(boxes.texts.size(), 2);
    QCOMPARE(ws.scalar("SELECT zjm FROM zjb WHERE id=10"), QStringLiteral("函数（改）（改）"));
    QVERIFY(chapterNode(dlg, QStringLiteral("函数（改）（改）")));  // reloaded
    QVERIFY(!chapterNode(dlg, QStringLiteral("函数与方程")));

    // Unchanged meanwhile: the rename goes through without a question.
    QTreeWidgetItem* item = chapterNode(dlg, QStringLiteral("数列"));
    QTest::mouseClick(dlg->TreeViewZj->viewport(), Qt::LeftButton, {}, dlg->TreeViewZj->visualItemRect(item).center());
    QTest::mouseClick(dlg->BtnCmm, Qt::LeftButton);
    treeEditor(dlg)->setText(QStringLiteral("数列与极限"));
    QTest::mouseClick(dlg->BtnCmm, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), 2);
    QCOMPARE(ws.scalar("SELECT zjm FROM zjb WHERE id=11"), QStringLiteral("数列与极限"));
    dlg->close();
}

void ConcurrentUsersTest::deletionsStandOrFallAsAWhole()
{
    Workspace ws;
    seed(ws);
    OtherUser other(ws);
    BoxAnswerer boxes;
    auto unchanged = [&] {
        QCOMPARE(ws.count("kmb"), 2);
        QCOMPARE(ws.count("txb"), 2);
        QCOMPARE(ws.count("zjb"), 2);
        QCOMPARE(ws.count("stb"), 3);
        QCOMPARE(ws.count("recycle_items"), 0);
        QCOMPARE(ws.count("recycle_stb"), 0);
        QCOMPARE(DM->ADOStb->recordCount(), 3);
    };
    // A statement fails midway: the second question of the subject cannot be deleted.
    QCOMPARE(other.addTrigger("fail_midway", "BEFORE DELETE", "stb", "OLD.th='002'"), QString());

    auto* subjects = new TKmszF(MainF);
    subjects->show();
    subjects->EditKm->setText(QStringLiteral("数学"));
    QTest::mouseClick(subjects->BtnSCKM, Qt::LeftButton);
    QVERIFY(boxes.last().contains(QStringLiteral("磁盘故障")));
    unchanged();
    subjects->close();

    MainF->ComboBoxKmm->setEditText(QStringLiteral("数学"));
    auto* types = new TTxszF(MainF);
    types->show();
    types->EditTxm->setText(QStringLiteral("选择题"));
    boxes.clear();
    QTest::mouseClick(types->BtnSctx, Qt::LeftButton);
    QVERIFY(boxes.last().contains(QStringLiteral("磁盘故障")));
    unchanged();
    types->close();

    auto* chapters = new TZjxzF(MainF);
    chapters->show();
    QTreeWidgetItem* item = chapterNode(chapters, QStringLiteral("数列"));
    QVERIFY(item);
    QTest::mouseClick(chapters->TreeViewZj->viewport(), Qt::LeftButton, {},
                      chapters->TreeViewZj->visualItemRect(item).center());
    boxes.clear();
    QTest::mouseClick(chapters->BtnSczj, Qt::LeftButton);
    QVERIFY(boxes.last().contains(QStringLiteral("磁盘故障")));
    unchanged();
    chapters->close();

    TLrstF* entry = openEntry();
    clickRow(entry, 1);
    boxes.clear();
    QTest::mouseClick(entry->BtnStsc, Qt::LeftButton);
    QCOMPARE(boxes.texts.first(), QStringLiteral("是否删除第002题？"));
    QVERIFY(boxes.last().contains(QStringLiteral("磁盘故障")));
    unchanged();

    // Another user deletes a question right after it was copied into the bin: the deletion is
    // refused as a whole rather than keeping that question twice.
    QCOMPARE(other.dropTrigger("fail_midway"), QString());
    QCOMPARE(other.addTrigger("deleted_meanwhile", "AFTER INSERT", "recycle_stb", "NEW.th='002'",
                              "DELETE FROM stb WHERE id=NEW.orig_id"),
             QString());
    subjects = new TKmszF(MainF);
    subjects->show();
    subjects->EditKm->setText(QStringLiteral("数学"));
    boxes.clear();
    QTest::mouseClick(subjects->BtnSCKM, Qt::LeftButton);
    QVERIFY(
        boxes.last().contains(QStringLiteral("其他用户刚刚删除了其中的部分内容，本次删除没有执行，请刷新后重试！")));
    unchanged();

    // Without interference the same deletion goes through, bin copy included.
    QCOMPARE(other.dropTrigger("deleted_meanwhile"), QString());
    subjects->EditKm->setText(QStringLiteral("数学"));
    boxes.clear();
    QTest::mouseClick(subjects->BtnSCKM, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), 1);  // the confirmation only
    QCOMPARE(ws.count("stb"), 0);
    QCOMPARE(ws.count("recycle_stb"), 3);
    subjects->close();
    entry->close();
}

void ConcurrentUsersTest::restoreAndPurgeStandOrFallAsAWhole()
{
    Workspace ws;
    seed(ws);
    OtherUser other(ws);
    BoxAnswerer boxes;
    auto* subjects = new TKmszF(MainF);
    subjects->show();
    subjects->EditKm->setText(QStringLiteral("数学"));
    QTest::mouseClick(subjects->BtnSCKM, Qt::LeftButton);
    subjects->close();
    QCOMPARE(ws.count("recycle_stb"), 3);

    // The restore fails at its third question: nothing comes back and the item stays in the bin.
    QCOMPARE(other.addTrigger("fail_restore", "BEFORE INSERT", "stb", "NEW.tm='填空'"), QString());
    auto* bin = new THszF(MainF);
    bin->show();
    QCOMPARE(bin->GridHsz->rowCount(), 1);
    bin->GridHsz->selectRow(0);
    boxes.clear();
    QTest::mouseClick(bin->BtnHy, Qt::LeftButton);
    QVERIFY(boxes.last().contains(QStringLiteral("磁盘故障")));
    QCOMPARE(ws.count("kmb", "kmm='数学'"), 0);
    QCOMPARE(ws.count("txb"), 0);
    QCOMPARE(ws.count("stb"), 0);
    QCOMPARE(ws.count("recycle_items"), 1);
    QCOMPARE(ws.count("recycle_stb"), 3);

    // Restored by another user meanwhile (the item is gone): refused, nothing put back twice.
    QCOMPARE(other.dropTrigger("fail_restore"), QString());
    QSqlDatabase db = DM->db();
    const qint64 item = ws.scalar("SELECT id FROM recycle_items").toLongLong();
    QCOMPARE(other.exec("UPDATE recycle_items SET id=id+100"), QString());
    QVERIFY_THROWS_EXCEPTION(DataError, sql::transaction(db, [&] { recycle::restore(db, item); }));
    QCOMPARE(ws.count("kmb", "kmm='数学'"), 0);
    QCOMPARE(other.exec("UPDATE recycle_items SET id=id-100"), QString());

    // Purging fails at its last statement: every item and row stays.
    QCOMPARE(other.addTrigger("fail_purge", "BEFORE DELETE", "recycle_items", "TRUE"), QString());
    boxes.clear();
    boxes.queue(QMessageBox::Ok);
    QTest::mouseClick(bin->BtnQk, Qt::LeftButton);
    QVERIFY(boxes.last().contains(QStringLiteral("磁盘故障")));
    QCOMPARE(ws.count("recycle_items"), 1);
    QCOMPARE(ws.count("recycle_stb"), 3);
    QCOMPARE(ws.count("recycle_kmb"), 1);

    // Without the failures the restore brings everything back at once.
    QCOMPARE(other.dropTrigger("fail_purge"), QString());
    bin->FormShow();
    bin->GridHsz->selectRow(0);
    boxes.clear();
    QTest::mouseClick(bin->BtnHy, Qt::LeftButton);
    QVERIFY(boxes.last().startsWith(QStringLiteral("已恢复：")));
    QCOMPARE(ws.count("stb"), 3);
    QCOMPARE(ws.count("recycle_items"), 0);
    bin->close();
}

void ConcurrentUsersTest::userNameTakenAtTheSameMomentIsRefused()
{
    Workspace ws;
    OtherUser other(ws);
    QCOMPARE(other.addServerRules(), QString());
    // The other administrator's row arrives between the check of the name and the insert: the
    // trigger stores it just before the dialog's row (whose mm is empty on a server, which keeps
    // no password in mmb).
    QCOMPARE(other.addTrigger("same_moment", "BEFORE INSERT", "mmb", "NEW.yhm='zhao' AND coalesce(NEW.mm, '')<>'x'",
                              "INSERT INTO mmb (yhm, mm, qx, bz) VALUES ('zhao', 'x', '1', '')"),
             QString());
    BoxAnswerer boxes;
    auto* admin = new TMmszF(MainF);
    MmszF = admin;
    admin->show();
    auto* add = new TTjyhF(admin);
    add->show();
    add->EditYhm->setText(QStringLiteral("zhao"));
    add->EditXmm1->setText(QStringLiteral("p"));
    add->EditXmm2->setText(QStringLiteral("p"));
    QTest::mouseClick(add->BtnQr, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{QStringLiteral("此用户名已存在，请重新输入用户名！")});
    QVERIFY(add->isVisible());
    QCOMPARE(DM->AdoMmb->state(), Dataset::State::Browse);
    QCOMPARE(ws.count("mmb", "yhm='zhao'"), 0);  // the refused statement took the trigger's row along
    // Another name goes through as always.
    add->EditYhm->setText(QStringLiteral("qian"));
    QTest::mouseClick(add->BtnQr, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY(!add->isVisible());
    QCOMPARE(ws.count("mmb", "yhm='qian'"), 1);
    admin->close();
}

QTEST_MAIN(ConcurrentUsersTest)

// Another user deletes a subject while 新题入库 stores into it, in either order: the store waits for
// the deletion and then says the subject is gone, or the deletion waits for the store and keeps
// its question in the recycle bin with the rest. No question is ever left without its subject.
void ConcurrentUsersTest::aStoreAndASubjectDeletionAtOnceLeaveNoQuestionBehind()
{
    if (!testing::onServer()) QSKIP("one program at a time writes a bank file");
    {
        Workspace ws;
        seed(ws);
        BoxAnswerer boxes;
        TLrstF* dlg = openEntry();
        dlg->MemoTm->setPlainText(QStringLiteral("删除时存入的题"));
        QProcess deletion;
        QVERIFY(startSleepingTransaction(deletion, ws,
                                         {"SELECT id FROM kmb WHERE kmh='01' FOR UPDATE", "DELETE FROM stb WHERE kmh='01'",
                                          "DELETE FROM txb WHERE kmh='01'", "DELETE FROM zjb WHERE kmh='01'",
                                          "DELETE FROM kmb WHERE kmh='01'"}));
        QTest::mouseClick(dlg->BtnXtrk, Qt::LeftButton);  // waits for the deletion's commit
        QVERIFY(deletion.state() == QProcess::NotRunning || deletion.waitForFinished(20000));
        QCOMPARE(deletion.exitCode(), 0);
        QCOMPARE(boxes.last(), QStringLiteral("该科目或题型已被其他用户删除，试题没有存入。"));
        QCOMPARE(ws.count("stb", "kmh='01'"), 0);
        QCOMPARE(ws.count("stb"), 0);
        QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("删除时存入的题"));  // nothing typed is lost
        dlg->close();
    }
    {
        // A chapter deleted while a question is stored into it, the same way.
        Workspace ws;
        seed(ws);
        BoxAnswerer boxes;
        TLrstF* dlg = openEntry();
        dlg->ComboBoxZj->setCurrentText(QStringLiteral("函数"));
        dlg->MemoTm->setPlainText(QStringLiteral("删章节时存入的题"));
        QProcess deletion;
        QVERIFY(startSleepingTransaction(deletion, ws,
                                         {"SELECT id FROM zjb WHERE kmh='01' AND zjh='01' FOR UPDATE",
                                          "DELETE FROM stb WHERE kmh='01' AND zjh='01'",
                                          "DELETE FROM zjb WHERE kmh='01' AND zjh='01'"}));
        QTest::mouseClick(dlg->BtnXtrk, Qt::LeftButton);
        QVERIFY(deletion.state() == QProcess::NotRunning || deletion.waitForFinished(20000));
        QCOMPARE(deletion.exitCode(), 0);
        QCOMPARE(boxes.last(), QStringLiteral("该章节已被其他用户删除，试题没有存入。"));
        QCOMPARE(ws.count("stb", "zjh='01'"), 0);
        QCOMPARE(ws.count("stb"), 1);  // 第二题, of the other chapter
        dlg->close();
    }
    {
        Workspace ws;
        seed(ws);
        QProcess store;
        QVERIFY(startSleepingTransaction(
            store, ws,
            {"SELECT k.id FROM kmb k JOIN txb t ON t.kmh = k.kmh WHERE k.kmh='01' AND t.txh='01' FOR SHARE",
             "INSERT INTO stb (kmh, txh, th, zjh, tm) VALUES ('01','01','003','01','别人正在存的题')"}));
        QSqlDatabase db = DM->db();
        sql::transaction(db, [&] { recycle::removeKept(db, recycle::keepSubject(db, "01", "admin")); });
        QVERIFY(store.state() == QProcess::NotRunning || store.waitForFinished(20000));
        QCOMPARE(store.exitCode(), 0);
        QCOMPARE(ws.count("stb"), 0);
        QCOMPARE(ws.count("kmb", "kmh='01'"), 0);
        QCOMPARE(ws.count("recycle_stb"), 4);
        QCOMPARE(ws.count("recycle_stb", "tm='别人正在存的题'"), 1);
    }
}

// Two users add a subject, a type or a chapter of the same name at the same moment: the second to
// store it waits for the first and is told the name is taken; the name is in the bank once.
void ConcurrentUsersTest::oneNameAddedByTwoUsersAtOnceIsStoredOnce()
{
    if (!testing::onServer()) QSKIP("one program at a time writes a bank file");
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    auto* subjects = new TKmszF(MainF);
    subjects->show();
    subjects->EditKm->setText(QStringLiteral("物理"));
    QProcess other;
    QVERIFY(startSleepingTransaction(other, ws,
                                     {"SELECT pg_advisory_xact_lock(hashtext('kmb'))",
                                      "INSERT INTO kmb (kmh, kmm) VALUES ('03','物理')"}));
    QTest::mouseClick(subjects->BtnZJKM, Qt::LeftButton);  // waits for the other user's commit
    QVERIFY(other.state() == QProcess::NotRunning || other.waitForFinished(20000));
    QCOMPARE(other.exitCode(), 0);
    QCOMPARE(boxes.last(), QStringLiteral("此科目名称已存在，请重新输入科目名称！"));
    QCOMPARE(ws.count("kmb", "kmm='物理'"), 1);
    QVERIFY(!subjects->ListBoxKm->findItems(QStringLiteral("物理"), Qt::MatchExactly).isEmpty());
    subjects->close();

    // A type of 数学, the same way.
    MainF->ComboBoxKmm->setCurrentIndex(MainF->ComboBoxKmm->findText(QStringLiteral("数学")));
    auto* types = new TTxszF(MainF);
    types->show();
    types->EditTxm->setText(QStringLiteral("判断题"));
    QProcess another;
    QVERIFY(startSleepingTransaction(another, ws,
                                     {"SELECT pg_advisory_xact_lock(hashtext('txb/01'))",
                                      "INSERT INTO txb (kmh, txh, txm) VALUES ('01','03','判断题')"}));
    QTest::mouseClick(types->BtnZjtx, Qt::LeftButton);
    QVERIFY(another.state() == QProcess::NotRunning || another.waitForFinished(20000));
    QCOMPARE(another.exitCode(), 0);
    QCOMPARE(boxes.last(), QStringLiteral("此题型名已存在，请重新输入题型名！"));
    QCOMPARE(ws.count("txb", "kmh='01' AND txm='判断题'"), 1);
    types->close();
}

// An import that creates a type and a chapter while another user adds the same names: it waits
// for the other user's commit and files its questions under their type and chapter.
void ConcurrentUsersTest::anImportCreatingANameAnotherUserAddsAtOnceUsesTheirs()
{
    if (!testing::onServer()) QSKIP("one program at a time writes a bank file");
    Workspace ws;
    seed(ws);
    QProcess other;
    QVERIFY(startSleepingTransaction(other, ws,
                                     {"SELECT pg_advisory_xact_lock(hashtext('txb/01'))",
                                      "SELECT pg_advisory_xact_lock(hashtext('zjb/01'))",
                                      "INSERT INTO txb (kmh, txh, txm) VALUES ('01','07','判断题')",
                                      "INSERT INTO zjb (kmh, zjh, zjm) VALUES ('01','07','概率')"}));
    QVector<exchange::ImportedQuestion> questions(2);
    for (int i = 0; i < questions.size(); ++i) {
        questions[i].number = QString::number(i + 1);
        questions[i].text = QStringLiteral("导入的判断题%1").arg(i + 1);
        questions[i].typeName = QStringLiteral("判断题");
        questions[i].chapterName = QStringLiteral("概率");
        questions[i].score = QStringLiteral("2");
    }
    exchange::StoreOptions options;
    options.createTypes = options.createChapters = true;
    QSqlDatabase db = DM->db();
    exchange::StoreSummary summary;
    sql::transaction(db, [&] { summary = exchange::storeQuestions(db, QStringLiteral("01"), questions, {}, options); });
    QVERIFY(other.state() == QProcess::NotRunning || other.waitForFinished(20000));
    QCOMPARE(other.exitCode(), 0);
    QCOMPARE(summary.stored, 2);
    QCOMPARE(summary.createdTypes, QStringList());
    QCOMPARE(summary.createdChapters, QStringList());
    QCOMPARE(ws.count("txb", "kmh='01' AND txm='判断题'"), 1);
    QCOMPARE(ws.count("zjb", "kmh='01' AND zjm='概率'"), 1);
    QCOMPARE(ws.count("stb", "kmh='01' AND txh='07' AND zjh='07'"), 2);
}

#include "test_concurrent_users.moc"
