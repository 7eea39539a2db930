// The levels of a server bank as the server enforces them: each user a login role of its own with
// its level group's rights, passwords checked by PostgreSQL and never kept in mmb, and users
// managed only through the bank's functions. Needs the test server (skipped without one).
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>
#include <QUrl>

#include "ui/forms.h"
#include "data/data_module.h"
#include "demo/demo.h"
#include "data/engine.h"
#include "data/errors.h"
#include "data/server_roles.h"
#include "data/session.h"
#include "data/numbering.h"
#include "data/sql.h"
#include "test_support.h"

class ServerRolesTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void eachLevelWritesOnlyItsOwnTables();
    void onlyASuperUserManagesUsersAndNobodyRaisesALevel();
    void psqlAsAQuestionBankUserCannotChangeMmbOrALevel();
    void passwordsAreTheServersAndRemovedUsersCannotConnect();
    void rolesOfTwoBanksOnOneServerStayApart();
    void settingUpABankWithoutTheStoreFunctionMakesIt();

private:
    QSqlDatabase as(const QString& user, const QString& password);
    QString role(const QString& user) const;
    // The DataError code a statement fails with, empty when it succeeds.
    static QString refusal(const QSqlDatabase& db, const QString& statement, const QVariantList& binds = {});

    std::unique_ptr<testing::Workspace> ws_;
    QStringList opened_;
    const QString longName_ = QStringLiteral("数学组第一备课组的张老师老师老师");  // past 63 bytes as a role
};

void ServerRolesTest::init()
{
    if (!testing::onServer()) QSKIP("没有测试用的数据库服务器");
    ws_ = std::make_unique<testing::Workspace>(
        QVector<testing::Workspace::User>{{QStringLiteral("admin"), QStringLiteral("adminpw"), 3},
                                          {QStringLiteral("teacher"), QStringLiteral("teachpw"), 1},
                                          {QStringLiteral("office"), QStringLiteral("officepw"), 2},
                                          {longName_, QStringLiteral("长名密码"), 1}});
}

void ServerRolesTest::cleanup()
{
    for (const QString& name : opened_) testing::closeOtherConnection(name);
    opened_.clear();
    ws_.reset();
}

QString ServerRolesTest::role(const QString& user) const
{
    return server_roles::userRole(server_roles::prefixFor(engine::serverDatabase(ws_->serverUri())), user);
}

QSqlDatabase ServerRolesTest::as(const QString& user, const QString& password)
{
    const QString name = QStringLiteral("roles-test-%1").arg(opened_.size());
    opened_ << name;
    return engine::openServer(name, ws_->serverUri(), engine::Credentials{role(user), password});
}

QString ServerRolesTest::refusal(const QSqlDatabase& db, const QString& statement, const QVariantList& binds)
{
    try {
        sql::run(db, statement, binds);
    } catch (const DataError& e) {
        return e.code().isEmpty() ? QStringLiteral("?") : e.code();
    }
    return QString();
}

void ServerRolesTest::eachLevelWritesOnlyItsOwnTables()
{
    QSqlDatabase teacher = as(QStringLiteral("teacher"), QStringLiteral("teachpw"));
    QSqlDatabase office = as(QStringLiteral("office"), QStringLiteral("officepw"));
    QCOMPARE(server_roles::levelOfSession(teacher), 1);
    QCOMPARE(server_roles::levelOfSession(office), 2);

    // 题库管理用户 stores a question; the kept count follows through the owner's trigger function,
    // while the count itself stays closed to the role.
    sql::run(teacher, QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('9', '物理')"));
    sql::run(teacher, QStringLiteral("INSERT INTO stb (kmh, txh, th, tm) VALUES ('9', '1', '1', '题')"));
    QCOMPARE(sql::scalar(teacher, QStringLiteral("SELECT n FROM question_counts WHERE kmh='9' AND txh='1'")),
             QStringLiteral("1"));
    QCOMPARE(refusal(teacher, QStringLiteral("UPDATE question_counts SET n = 100")), QStringLiteral("42501"));
    QCOMPARE(refusal(teacher, QStringLiteral("INSERT INTO papers (title) VALUES ('卷')")), QStringLiteral("42501"));
    QCOMPARE(refusal(teacher, QStringLiteral("INSERT INTO blueprints (kmh, name) VALUES ('9', '表')")),
             QStringLiteral("42501"));
    QCOMPARE(refusal(teacher, QStringLiteral("CREATE TABLE stolen (x TEXT)")), QStringLiteral("42501"));
    // ... and stores numbered questions through the bank's store function, as question entry does.
    sql::run(teacher, QStringLiteral("INSERT INTO txb (kmh, txh, txm) VALUES ('9', '1', '选择题')"));
    QCOMPARE(numbering::storeQuestion(teacher, nullptr, QStringLiteral("9"), QStringLiteral("1"),
                                      {{QStringLiteral("tm"), QStringLiteral("编号题")}}),
             QStringLiteral("002"));

    // 试卷管理用户 reads the questions but cannot write them nor their subjects, types and chapters.
    QCOMPARE(sql::scalar(office, QStringLiteral("SELECT count(*) FROM stb WHERE kmh='9'")), QStringLiteral("2"));
    QCOMPARE(refusal(office, QStringLiteral("INSERT INTO stb (kmh, txh, th) VALUES ('9', '1', '2')")),
             QStringLiteral("42501"));
    QCOMPARE(refusal(office, QStringLiteral("UPDATE stb SET tm='改' WHERE kmh='9'")), QStringLiteral("42501"));
    QCOMPARE(refusal(office, QStringLiteral("DELETE FROM stb")), QStringLiteral("42501"));
    QString refused;
    try {
        numbering::storeQuestion(office, nullptr, QStringLiteral("9"), QStringLiteral("1"),
                                 {{QStringLiteral("tm"), QStringLiteral("越权题")}});
    } catch (const DataError& e) {
        refused = e.code();
    }
    QCOMPARE(refused, QStringLiteral("42501"));
    for (const char* table : {"kmb", "txb", "zjb", "recycle_items"}) {
        QCOMPARE(refusal(office, QStringLiteral("DELETE FROM %1").arg(QLatin1String(table))), QStringLiteral("42501"));
    }
    // ... and keeps papers and blueprints, and composes in its session's own sjb.
    QVERIFY(refusal(office, QStringLiteral("INSERT INTO papers (title, kmh) VALUES ('期中', '9')")).isEmpty());
    QVERIFY(refusal(office, QStringLiteral("INSERT INTO blueprints (kmh, name) VALUES ('9', '细目表')")).isEmpty());
    QVERIFY(refusal(office, QStringLiteral("INSERT INTO formula_omml (latex_hash, latex, omml) VALUES ('h', 'x', 'o')"))
                .isEmpty());
    QCOMPARE(refusal(office, QStringLiteral("INSERT INTO sjb (kmh, txh, th) VALUES ('9', '1', '1')")),
             QStringLiteral("42501"));
    session::prepare(office);  // what the login does for every server session
    QVERIFY(refusal(office, QStringLiteral("INSERT INTO sjb (kmh, txh, th) VALUES ('9', '1', '1')")).isEmpty());
    QCOMPARE(ws_->count(QStringLiteral("sjb")), 0);  // the shared table stays untouched
}

void ServerRolesTest::onlyASuperUserManagesUsersAndNobodyRaisesALevel()
{
    QSqlDatabase teacher = as(QStringLiteral("teacher"), QStringLiteral("teachpw"));
    const QString prefix = server_roles::prefixFor(engine::serverDatabase(ws_->serverUri()));
    QCOMPARE(refusal(teacher, QStringLiteral("UPDATE mmb SET qx='3' WHERE yhm='teacher'")), QStringLiteral("42501"));
    QCOMPARE(refusal(teacher, QStringLiteral("INSERT INTO mmb (yhm, qx) VALUES ('me', '3')")), QStringLiteral("42501"));
    QCOMPARE(refusal(teacher, QStringLiteral("DELETE FROM mmb")), QStringLiteral("42501"));
    // Joining a stronger group, directly or through the functions, is refused.
    const QString grant = sql::scalar(teacher, QStringLiteral("SELECT format('GRANT %I TO CURRENT_USER', ?::text)"),
                                      {server_roles::groupRole(prefix, 3)});
    QVERIFY(!refusal(teacher, grant).isEmpty());
    QCOMPARE(server_roles::levelOfSession(teacher), 1);
    try {
        server_roles::addUser(teacher, QStringLiteral("mole"), QStringLiteral("x"), 3);
        QFAIL("a 题库管理用户 added a user");
    } catch (const DataError& e) {
        QCOMPARE(e.text(), QStringLiteral("只有超级用户可以添加用户。"));
    }
    try {
        server_roles::setPassword(teacher, QStringLiteral("admin"), QStringLiteral("taken"));
        QFAIL("a 题库管理用户 set another user's password");
    } catch (const DataError& e) {
        QCOMPARE(e.text(), QStringLiteral("只能修改自己的密码。"));
    }
    QCOMPARE(refusal(teacher, QStringLiteral("SELECT exavoro_adopt_user('mole', 3)")), QStringLiteral("42501"));
    // A plain-text password is no verifier: the function takes none.
    QVERIFY(!refusal(teacher, QStringLiteral("SELECT exavoro_set_password('teacher', 'plain')")).isEmpty());
    QCOMPARE(ws_->scalar(QStringLiteral("SELECT qx FROM mmb WHERE yhm='teacher'")), QStringLiteral("1"));
    QCOMPARE(ws_->count(QStringLiteral("mmb")), 4);

    // A super user adds a user of any level but cannot rewrite a level behind the groups' back.
    QSqlDatabase admin = as(QStringLiteral("admin"), QStringLiteral("adminpw"));
    QCOMPARE(server_roles::levelOfSession(admin), 3);
    server_roles::addUser(admin, QStringLiteral("新同事"), QStringLiteral("newpw"), 2);
    QCOMPARE(ws_->scalar(QStringLiteral("SELECT qx || bz FROM mmb WHERE yhm='新同事'")),
             QStringLiteral("2试卷管理用户"));
    QCOMPARE(refusal(admin, QStringLiteral("UPDATE mmb SET qx='3' WHERE yhm='新同事'")), QStringLiteral("42501"));
    QVERIFY(refusal(admin, QStringLiteral("UPDATE mmb SET bz='教务处' WHERE yhm='新同事'")).isEmpty());
    QCOMPARE(server_roles::levelOfSession(as(QStringLiteral("新同事"), QStringLiteral("newpw"))), 2);
    try {
        server_roles::addUser(admin, QStringLiteral("teacher"), QStringLiteral("again"), 1);
        QFAIL("a name was added twice");
    } catch (const DataError& e) {
        QVERIFY(e.uniqueViolation());
    }
    try {
        server_roles::removeUser(admin, QStringLiteral("admin"));
        QFAIL("the user logged in was removed");
    } catch (const DataError& e) {
        QCOMPARE(e.text(), QStringLiteral("不能删除正在使用的用户。"));
    }
    try {
        server_roles::removeUser(DM->db(), QStringLiteral("admin"));  // the server's administrator
        QFAIL("the last super user was removed");
    } catch (const DataError& e) {
        QCOMPARE(e.text(), QStringLiteral("不能删除最后一个超级用户！"));
    }
    // No hash of any password is kept in mmb.
    QCOMPARE(ws_->count(QStringLiteral("mmb"), QStringLiteral("mm IS NOT NULL")), 0);
}

void ServerRolesTest::psqlAsAQuestionBankUserCannotChangeMmbOrALevel()
{
    const QUrl url(ws_->serverUri());
    auto psql = [&](const QString& user, const QString& password, const QString& statement, QString* errors) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PGPASSWORD"), password);
        env.insert(QStringLiteral("PGCONNECT_TIMEOUT"), QStringLiteral("10"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("psql"),
                {QStringLiteral("-X"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-h"),
                 url.host(), QStringLiteral("-p"), QString::number(url.port()), QStringLiteral("-U"), role(user),
                 QStringLiteral("-d"), url.path().mid(1), QStringLiteral("-c"), statement});
        if (!p.waitForFinished(30000)) return -1;
        *errors = QString::fromUtf8(p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    };
    QString errors;
    if (psql(QStringLiteral("teacher"), QStringLiteral("teachpw"), QStringLiteral("SELECT 1"), &errors) != 0) {
        QSKIP("psql is not installed or cannot reach the test server");
    }
    QVERIFY(psql(QStringLiteral("teacher"), QStringLiteral("teachpw"),
                 QStringLiteral("UPDATE mmb SET qx='3' WHERE yhm='teacher'"), &errors) != 0);
    QVERIFY2(errors.contains(QLatin1String("permission denied")), qPrintable(errors));
    QVERIFY(psql(QStringLiteral("teacher"), QStringLiteral("teachpw"),
                 QStringLiteral("UPDATE mmb SET yhm='admin2' WHERE yhm='admin'"), &errors) != 0);
    const QString prefix = server_roles::prefixFor(url.path().mid(1));
    QVERIFY(psql(QStringLiteral("teacher"), QStringLiteral("teachpw"),
                 QStringLiteral("GRANT \"%1\" TO CURRENT_USER").arg(server_roles::groupRole(prefix, 3)), &errors) != 0);
    QVERIFY(psql(QStringLiteral("teacher"), QStringLiteral("teachpw"),
                 QStringLiteral("ALTER ROLE \"%1\" PASSWORD 'stolen'").arg(role(QStringLiteral("admin"))),
                 &errors) != 0);
    // The 试卷管理用户's role cannot write the questions either; the wrong password gets nowhere.
    QVERIFY(psql(QStringLiteral("office"), QStringLiteral("officepw"), QStringLiteral("DELETE FROM stb"), &errors) !=
            0);
    QVERIFY(psql(QStringLiteral("teacher"), QStringLiteral("wrong"), QStringLiteral("SELECT 1"), &errors) != 0);
    QCOMPARE(ws_->scalar(QStringLiteral("SELECT qx FROM mmb WHERE yhm='teacher'")), QStringLiteral("1"));
    QCOMPARE(ws_->count(QStringLiteral("mmb"), QStringLiteral("yhm='admin'")), 1);
    // ... while the right password and a statement of the user's own level pass.
    QCOMPARE(psql(QStringLiteral("teacher"), QStringLiteral("teachpw"),
                  QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('8', '化学')"), &errors),
             0);
    QCOMPARE(ws_->count(QStringLiteral("kmb"), QStringLiteral("kmh='8'")), 1);
}

void ServerRolesTest::passwordsAreTheServersAndRemovedUsersCannotConnect()
{
    try {
        as(QStringLiteral("teacher"), QStringLiteral("wrong"));
        QFAIL("a wrong password connected");
    } catch (const DataError& e) {
        QCOMPARE(e.code(), QStringLiteral("28P01"));
    }
    // A name too long for a role of its own connects under its hashed role.
    QVERIFY(role(longName_).contains(QLatin1Char('%')));
    QCOMPARE(server_roles::levelOfSession(as(longName_, QStringLiteral("长名密码"))), 1);

    // Names whose role is just within and just past PostgreSQL's 63 bytes: the program and the
    // server's functions name the role alike either way.
    const QString prefix = server_roles::prefixFor(engine::serverDatabase(ws_->serverUri()));
    for (const int extra : {0, 1}) {
        const QString name = QString(int(63 - prefix.toUtf8().size() - 1 + extra), QLatin1Char('n'));
        server_roles::addUser(DM->db(), name, QStringLiteral("edge"), 2);
        QCOMPARE(role(name).contains(QLatin1Char('%')), extra == 1);
        QCOMPARE(server_roles::levelOfSession(as(name, QStringLiteral("edge"))), 2);
    }

    // A user changes their own password; the old one stops working.
    QSqlDatabase teacher = as(QStringLiteral("teacher"), QStringLiteral("teachpw"));
    server_roles::setPassword(teacher, QStringLiteral("teacher"), QStringLiteral("newteach"));
    QCOMPARE(server_roles::levelOfSession(as(QStringLiteral("teacher"), QStringLiteral("newteach"))), 1);
    QVERIFY_THROWS_EXCEPTION(DataError, as(QStringLiteral("teacher"), QStringLiteral("teachpw")));

    // A super user resets it and removes the user: the role is gone and cannot connect.
    QSqlDatabase admin = as(QStringLiteral("admin"), QStringLiteral("adminpw"));
    server_roles::setPassword(admin, QStringLiteral("teacher"), QStringLiteral("reset1"));
    as(QStringLiteral("teacher"), QStringLiteral("reset1"));
    server_roles::removeUser(admin, QStringLiteral("teacher"));
    QCOMPARE(ws_->count(QStringLiteral("mmb"), QStringLiteral("yhm='teacher'")), 0);
    QCOMPARE(ws_->count(QStringLiteral("pg_roles"), QStringLiteral("rolname=?"), {role(QStringLiteral("teacher"))}), 0);
    try {
        as(QStringLiteral("teacher"), QStringLiteral("reset1"));
        QFAIL("a removed user connected");
    } catch (const DataError& e) {
        QCOMPARE(e.code(), QStringLiteral("28P01"));
    }
    QCOMPARE(ws_->count(QStringLiteral("mmb"), QStringLiteral("mm IS NOT NULL")), 0);
}

void ServerRolesTest::rolesOfTwoBanksOnOneServerStayApart()
{
    // A second bank with a user of the same name: its role is another, and neither user reaches
    // the other bank's database.
    const QString other = testing::createServerDatabase();
    demo::createDatabase(other, {{QStringLiteral("teacher"), QStringLiteral("otherpw"), 3}});
    const QString otherRole =
        server_roles::userRole(server_roles::prefixFor(engine::serverDatabase(other)), QStringLiteral("teacher"));
    QVERIFY(otherRole != role(QStringLiteral("teacher")));
    opened_ << QStringLiteral("roles-test-other");
    bool refused = false;
    try {
        engine::openServer(QStringLiteral("roles-test-other"), ws_->serverUri(),
                           engine::Credentials{otherRole, QStringLiteral("otherpw")});
    } catch (const DataError&) {
        refused = true;
    }
    QVERIFY(refused);
    // Connecting to the wrong database with the right password is refused by the database's rights.
    opened_ << QStringLiteral("roles-test-cross");
    refused = false;
    try {
        engine::openServer(QStringLiteral("roles-test-cross"), other,
                           engine::Credentials{role(QStringLiteral("teacher")), QStringLiteral("teachpw")});
    } catch (const DataError&) {
        refused = true;
    }
    QVERIFY(refused);
    testing::dropServerDatabase(other);
    QCOMPARE(ws_->count(QStringLiteral("pg_roles"), QStringLiteral("rolname=?"), {otherRole}), 0);
}

void ServerRolesTest::settingUpABankWithoutTheStoreFunctionMakesIt()
{
    // A bank set up before the store function existed (an older version's), set up again.
    const QString function = QStringLiteral(
        "exavoro_store_question(text,text,text,text,text,text,text,text,text,text,boolean,integer)");
    ws_->exec(QStringLiteral("DROP FUNCTION %1").arg(function));
    QSqlDatabase db = DM->db();
    server_roles::setUp(db);
    QCOMPARE(ws_->scalar(QStringLiteral("SELECT count(*) FROM pg_proc WHERE oid = to_regprocedure(?)"), {function}),
             QStringLiteral("1"));
    // Its users store through it.
    QSqlDatabase teacher = as(QStringLiteral("teacher"), QStringLiteral("teachpw"));
    sql::run(teacher, QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('8', '化学')"));
    sql::run(teacher, QStringLiteral("INSERT INTO txb (kmh, txh, txm) VALUES ('8', '1', '选择题')"));
    QCOMPARE(numbering::storeQuestion(teacher, nullptr, QStringLiteral("8"), QStringLiteral("1"),
                                      {{QStringLiteral("tm"), QStringLiteral("化学题")}}),
             QStringLiteral("001"));
}

QTEST_MAIN(ServerRolesTest)
#include "test_server_roles.moc"
