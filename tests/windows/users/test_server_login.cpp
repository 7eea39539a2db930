// Users of a server bank through the real windows: 添加用户 makes a database role that logs in
// through the login window with its password and works with its level's rights only; 删除用户
// takes the login away. Needs the test server (skipped without one).
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include "ui/forms.h"
#include "app/login.h"
#include "app/main_window.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "data/server_roles.h"
#include "data/sql.h"
#include "test_support.h"
#include "windows/users/add_user.h"
#include "windows/users/user_admin.h"

class ServerLoginTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TMainF::runModalLoop = false; }  // the main window returns at once
    void addedUserLogsInWithItsLevelAndRemovedUserCannot();

private:
    // Logs in through a new login window; true when the main window opened for the user.
    bool logIn(testing::BoxAnswerer& boxes, const QString& name, const QString& password);
};

bool ServerLoginTest::logIn(testing::BoxAnswerer& boxes, const QString& name, const QString& password)
{
    const int before = int(boxes.texts.size());
    auto* login = new TDLF(nullptr, false);
    login->setAttribute(Qt::WA_DeleteOnClose);
    login->show();
    login->EditYhm->setText(name);
    login->EditMm->setText(password);
    QTest::mouseClick(login->BtnQd, Qt::LeftButton);
    const bool refused = boxes.texts.size() > before && boxes.last() == QStringLiteral("您输入的用户名与密码不正确！");
    login->close();
    return !refused;
}

void ServerLoginTest::addedUserLogsInWithItsLevelAndRemovedUserCannot()
{
    if (!testing::onServer()) QSKIP("没有测试用的数据库服务器");
    testing::Workspace ws({{QStringLiteral("admin"), QStringLiteral("adminpw"), 3}});
    testing::BoxAnswerer boxes;
    // The super user logs in as their own role and adds a 试卷管理用户 through the real window.
    QVERIFY(logIn(boxes, QStringLiteral("admin"), QStringLiteral("adminpw")));
    QCOMPARE(sql::scalar(DM->db(), QStringLiteral("SELECT session_user")),
             server_roles::userRole(server_roles::prefixFor(engine::serverDatabase(ws.serverUri())),
                                    QStringLiteral("admin")));
    auto* admin = new TMmszF(MainF);
    admin->show();
    bool added = false;
    boxes.onOtherModal = [&](QWidget* w) {
        auto* add = qobject_cast<TTjyhF*>(w);
        if (!add || added) return false;
        added = true;
        add->EditYhm->setText(QStringLiteral("王老师"));
        add->EditXmm1->setText(QStringLiteral("wang2"));
        add->EditXmm2->setText(QStringLiteral("wang2"));
        QTest::mouseClick(add->RGQXItems[1], Qt::LeftButton);
        QTest::mouseClick(add->BtnQr, Qt::LeftButton);
        return true;
    };
    QTest::mouseClick(admin->BtnTjyh, Qt::LeftButton);
    QVERIFY(added);
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join(QLatin1Char('\n'))));
    QCOMPARE(ws.scalar(QStringLiteral("SELECT qx FROM mmb WHERE yhm='王老师'")), QStringLiteral("2"));
    QCOMPARE(ws.count(QStringLiteral("mmb"), QStringLiteral("mm IS NOT NULL")), 0);
    admin->close();

    // A wrong password is refused by the server; the right one opens the main window with the
    // level's functions, and the session has that level's rights and no others.
    QVERIFY(!logIn(boxes, QStringLiteral("王老师"), QStringLiteral("wang")));
    QVERIFY(!logIn(boxes, QStringLiteral("王老师"), QString()));
    QVERIFY(logIn(boxes, QStringLiteral("王老师"), QStringLiteral("wang2")));
    QVERIFY(MainF->SBtnZjxd->isEnabled());
    QVERIFY(!MainF->SBtnKmsz->isEnabled());
    QVERIFY(!MainF->SBtnYhgl->isEnabled());
    QCOMPARE(server_roles::levelOfSession(DM->db()), 2);
    try {
        sql::run(DM->db(), QStringLiteral("INSERT INTO stb (kmh, txh, th) VALUES ('1', '1', '999')"));
        QFAIL("a 试卷管理用户 wrote stb");
    } catch (const DataError& e) {
        QCOMPARE(e.code(), QStringLiteral("42501"));
    }
    sql::run(DM->db(), QStringLiteral("INSERT INTO papers (title) VALUES ('期中试卷')"));
    QCOMPARE(ws.count(QStringLiteral("papers"), QStringLiteral("title='期中试卷'")), 1);

    // The super user removes the user; the login is refused from then on.
    QVERIFY(logIn(boxes, QStringLiteral("admin"), QStringLiteral("adminpw")));
    admin = new TMmszF(MainF);
    admin->show();
    DM->AdoMmb->last();
    QCOMPARE(DM->AdoMmb->str(QStringLiteral("yhm")), QStringLiteral("王老师"));
    boxes.queue(QMessageBox::Ok);
    QTest::mouseClick(admin->BtnScyh, Qt::LeftButton);
    QCOMPARE(ws.count(QStringLiteral("mmb"), QStringLiteral("yhm='王老师'")), 0);
    admin->close();
    QVERIFY(!logIn(boxes, QStringLiteral("王老师"), QStringLiteral("wang2")));

    // A role of the bank that mmb does not name (its row removed behind the program's back) is no
    // user of the program.
    QSqlDatabase other = testing::openOtherConnection(ws, QStringLiteral("server-login-admin"));
    server_roles::addUser(other, QStringLiteral("stray"), QStringLiteral("stray1"), 1);
    sql::run(other, QStringLiteral("DELETE FROM mmb WHERE yhm=?"), {QStringLiteral("stray")});
    testing::closeOtherConnection(QStringLiteral("server-login-admin"));
    QVERIFY(!logIn(boxes, QStringLiteral("stray"), QStringLiteral("stray1")));
}

QTEST_MAIN(ServerLoginTest)
#include "test_server_login.moc"
