// User administration driven through the real dialogs: the user list with its
// in-place edits, adding and deleting users, changing a password and logging in
// with it.
#include "app/application.h"
#include "ui/db_grid.h"
#include "ui/forms.h"
#include "app/login.h"
#include "app/main_window.h"
#include "data/data_module.h"
#include "data/engine.h"
#include "data/errors.h"
#include "data/passwords.h"
#include "data/server_roles.h"
#include "data/sql.h"
#include "test_support.h"
#include "windows/users/add_user.h"
#include "windows/users/change_password.h"
#include "windows/users/reset_password.h"
#include "windows/users/user_admin.h"
#include "ui/handler.h"
#include "data/current_user.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

using testing::BoxAnswerer;
using testing::Workspace;

namespace {
const QString kExists = QStringLiteral("此用户名已存在，请重新输入用户名！");

// True when `password` is the user's password: the hash in mmb on a file, the server's own check
// of a connection as the user's role on a server (where mmb keeps no hash).
bool passwordIs(const Workspace& ws, const QString& name, const QString& password)
{
    if (!testing::onServer()) {
        return passwords::matches(sql::scalar(DM->db(), QStringLiteral("SELECT mm FROM mmb WHERE yhm=?"), {name}),
                                  password);
    }
    const QString uri = ws.serverUri();
    const engine::Credentials who{server_roles::userRole(server_roles::prefixFor(engine::serverDatabase(uri)), name),
                                  password};
    bool accepted = true;
    try {
        engine::openServer(QStringLiteral("users-test-check"), uri, who);
    } catch (const DataError& e) {
        if (e.code() != QLatin1String("28P01")) throw;
        accepted = false;
    }
    testing::closeOtherConnection(QStringLiteral("users-test-check"));
    return accepted;
}

// What mmb keeps of a password: a hash on a file, nothing on a server.
bool keptAsItShouldBe(const QString& stored)
{
    return testing::onServer() ? stored.isEmpty() : passwords::isHash(stored);
}

QString cell(DBGrid* grid, int row, int column)
{
    return grid->model()->index(row, column).data().toString();
}

// Clicks a row of the grid as the user would.
void clickRow(DBGrid* grid, int row)
{
    const QModelIndex index = grid->model()->index(row, 0);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(index).center());
}

// Types over a cell in place: F2 opens the editor, Enter commits it.
void typeOver(DBGrid* grid, int row, int column, const QString& text)
{
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(row, column));
    QTest::keyClick(grid, Qt::Key_F2);
    // The delegate deletes its editor after the commit: hold it weakly.
    QPointer<QLineEdit> editor = grid->viewport()->findChild<QLineEdit*>();
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClick(editor, Qt::Key_Delete);
    // Chinese text arrives as key events that carry it, as from an input method.
    if (!text.isEmpty()) {
        QTest::sendKeyEvent(QTest::Press, editor, Qt::Key_unknown, text, Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, editor, Qt::Key_unknown, text, Qt::NoModifier);
    }
    QTest::keyClick(editor, Qt::Key_Return);
    // The delegate commits the edit from the event loop.
    QTRY_VERIFY(!editor || !editor->isVisible() || !grid->viewport()->findChild<QLineEdit*>());
    QCoreApplication::processEvents();
}
}  // namespace

class UsersTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void listShowsNamesAndDescriptionsButNeverPasswords();
    void addingThroughTheListMakesTheNewUserCurrent();
    void addedUserGetsLevelAndDescription_data();
    void addedUserGetsLevelAndDescription();
    void addRefusalsAndAcceptedEdgeCases();
    void deletingAsksAndCancelKeepsTheUser();
    void deletingOnAnEmptyTable();
    void lastSuperUserCannotBeDeleted();
    void gridRenamesAreCheckedAndDescriptionsStored();
    void changedPasswordLogsIn();
    void changeAcceptsEmptyAndPlainStoredPasswords();
    void enterMovesThroughBothDialogsWithoutConfirming();
    void enterOnTheFocusedConfirmButtonConfirms();
    void namesAndPasswordsStayWithinWhatTheLoginWindowTakes();
    void superUserResetsAForgottenPassword();
    void tenPasswordCharactersFitTheirBoxes();

private:
    TMmszF* openAdmin();
};

void UsersTest::initTestCase()
{
    app::setup(*qApp);
    TMainF::runModalLoop = false;
}

void UsersTest::init()
{
    app::failedLogins() = 0;
    current_user::level() = 3;
    ui::resetTermination();
}

TMmszF* UsersTest::openAdmin()
{
    auto* dlg = new TMmszF(MainF);
    MmszF = dlg;
    dlg->show();
    return dlg;
}

void UsersTest::listShowsNamesAndDescriptionsButNeverPasswords()
{
    Workspace ws({{"admin", "pw", 3}, {"li", "secret", 1}});
    TMmszF* dlg = openAdmin();
    DBGrid* grid = testing::child<DBGrid>(dlg, "DBGrid1");
    QVERIFY(grid);
    QCOMPARE(grid->model()->columnCount(), 2);
    QCOMPARE(grid->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("用户名"));
    QCOMPARE(grid->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("权限描述"));
    QCOMPARE(grid->model()->rowCount(), 2);
    QCOMPARE(cell(grid, 1, 0), QStringLiteral("li"));
    QCOMPARE(cell(grid, 1, 1), QStringLiteral("题库管理用户"));
    const QString hash = ws.scalar("SELECT mm FROM mmb WHERE yhm='li'");
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 2; ++c) QVERIFY(cell(grid, r, c) != hash);
    QTest::mouseClick(testing::child<QPushButton>(dlg, "BtnGbck"), Qt::LeftButton);
    QVERIFY(!dlg->isVisible());
}

void UsersTest::addingThroughTheListMakesTheNewUserCurrent()
{
    Workspace ws;
    BoxAnswerer boxes;
    TMmszF* dlg = openAdmin();
    bool driven = false;
    boxes.onOtherModal = [&](QWidget* w) {
        auto* add = qobject_cast<TTjyhF*>(w);
        if (!add || driven) return false;
        driven = true;
        [&] {
            QCOMPARE(TjyhF.data(), add);
            QVERIFY(add->RGQXItems[0]->isChecked());  // first level preselected
            QTest::keyClicks(add->EditYhm, "wang");
            QTest::keyClicks(add->EditXmm1, "s3cret");
            QTest::keyClicks(add->EditXmm2, "s3cret");
            QTest::mouseClick(add->RGQXItems[1], Qt::LeftButton);
            QTest::mouseClick(add->BtnQr, Qt::LeftButton);
        }();
        return true;
    };
    QTest::mouseClick(dlg->BtnTjyh, Qt::LeftButton);
    QVERIFY(driven);
    QVERIFY(boxes.texts.isEmpty());
    QCOMPARE(ws.count("mmb"), 2);
    const QString stored = ws.scalar("SELECT mm FROM mmb WHERE yhm='wang'");
    QVERIFY(stored != "s3cret");
    QVERIFY(keptAsItShouldBe(stored));
    QVERIFY(passwordIs(ws, "wang", "s3cret"));
    QVERIFY(!passwordIs(ws, "wang", "s3cre"));
    QCOMPARE(ws.scalar("SELECT qx FROM mmb WHERE yhm='wang'"), QStringLiteral("2"));
    // The grid shows the new user as its current row.
    QCOMPARE(dlg->DBGrid1->currentIndex().row(), 1);
    QCOMPARE(cell(dlg->DBGrid1, 1, 0), QStringLiteral("wang"));
    QCOMPARE(cell(dlg->DBGrid1, 1, 1), QStringLiteral("试卷管理用户"));
}

void UsersTest::addedUserGetsLevelAndDescription_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("qx");
    QTest::addColumn<QString>("bz");
    QTest::newRow("bank") << 0 << "1"
                          << "题库管理用户";
    QTest::newRow("paper") << 1 << "2"
                           << "试卷管理用户";
    QTest::newRow("super") << 2 << "3"
                           << "超级用户";
}

void UsersTest::addedUserGetsLevelAndDescription()
{
    QFETCH(int, item);
    QFETCH(QString, qx);
    QFETCH(QString, bz);
    Workspace ws;
    BoxAnswerer boxes;
    auto* add = new TTjyhF(openAdmin());
    add->show();
    QCOMPARE(add->RGQX->title(), QStringLiteral("权限设置"));
    QCOMPARE(add->RGQXItems[item]->text(), bz);
    add->EditYhm->setText("zhao");
    add->EditXmm1->setText("p");
    add->EditXmm2->setText("p");
    QTest::mouseClick(add->RGQXItems[item], Qt::LeftButton);
    QTest::mouseClick(add->BtnQr, Qt::LeftButton);
    QVERIFY(!add->isVisible());
    QCOMPARE(ws.scalar("SELECT qx FROM mmb WHERE yhm='zhao'"), qx);
    QCOMPARE(ws.scalar("SELECT bz FROM mmb WHERE yhm='zhao'"), bz);
}

void UsersTest::addRefusalsAndAcceptedEdgeCases()
{
    Workspace ws({{"admin", "pw", 3}});
    BoxAnswerer boxes;
    TMmszF* admin = openAdmin();
    auto* add = new TTjyhF(admin);
    add->show();
    // An existing name is refused even with matching passwords.
    add->EditYhm->setText("admin");
    add->EditXmm1->setText("a");
    add->EditXmm2->setText("b");
    QTest::mouseClick(add->BtnQr, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{kExists});
    QCOMPARE(boxes.captions.last(), QStringLiteral("Exavoro"));
    QVERIFY(add->isVisible());
    // Another name, passwords differing.
    add->EditYhm->setText("Admin");
    QTest::mouseClick(add->BtnQr, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("两次输入的新密码不一致，请重试！"));
    QVERIFY(add->isVisible());
    QCOMPARE(ws.count("mmb"), 1);
    // A name differing only in case is another user.
    add->EditXmm2->setText("a");
    QTest::mouseClick(add->BtnQr, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), 2);
    QVERIFY(!add->isVisible());
    QCOMPARE(ws.count("mmb", "yhm=?", {"Admin"}), 1);

    // Empty name and passwords are accepted as they stand in a file; a server takes no user
    // without a password.
    auto* empty = new TTjyhF(admin);
    empty->show();
    QTest::mouseClick(empty->BtnQr, Qt::LeftButton);
    if (testing::onServer()) {
        QCOMPARE(boxes.last(), QStringLiteral("服务器上的用户必须设置密码，请输入新密码！"));
        QCOMPARE(ws.count("mmb", "yhm=''"), 0);
        empty->close();
        boxes.texts.removeLast();
    } else {
        QCOMPARE(boxes.texts.size(), 2);
        QCOMPARE(ws.count("mmb", "yhm=''"), 1);
        QVERIFY(passwords::matches(ws.scalar("SELECT mm FROM mmb WHERE yhm=''"), ""));
        QCOMPARE(ws.scalar("SELECT bz FROM mmb WHERE yhm=''"), QStringLiteral("题库管理用户"));
    }

    // Cancel writes nothing.
    auto* cancelled = new TTjyhF(admin);
    cancelled->show();
    cancelled->EditYhm->setText("nobody");
    QTest::mouseClick(cancelled->BtnQx, Qt::LeftButton);
    QVERIFY(!cancelled->isVisible());
    QCOMPARE(ws.count("mmb"), testing::onServer() ? 2 : 3);
}

void UsersTest::deletingAsksAndCancelKeepsTheUser()
{
    Workspace ws({{"admin", "pw", 3}, {"li", "a", 1}, {"wu", "b", 2}});
    BoxAnswerer boxes;
    TMmszF* dlg = openAdmin();
    clickRow(dlg->DBGrid1, 1);
    QCOMPARE(DM->AdoMmb->str("yhm"), QStringLiteral("li"));
    boxes.queue(QMessageBox::Cancel);
    QTest::mouseClick(dlg->BtnScyh, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{"请确认是否删除用户名为“li”的用户！"});
    QCOMPARE(boxes.captions, QStringList{"确认框"});
    QCOMPARE(ws.count("mmb"), 3);
    QTest::mouseClick(dlg->BtnScyh, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), 2);
    QCOMPARE(ws.count("mmb", "yhm='li'"), 0);
    QCOMPARE(ws.count("mmb"), 2);
    // The following row is the selected user now.
    QCOMPARE(dlg->DBGrid1->model()->rowCount(), 2);
    QCOMPARE(cell(dlg->DBGrid1, dlg->DBGrid1->currentIndex().row(), 0), QStringLiteral("wu"));
    // Deleting the last row makes the one before it current.
    QTest::mouseClick(dlg->BtnScyh, Qt::LeftButton);
    QCOMPARE(ws.count("mmb"), 1);
    QCOMPARE(DM->AdoMmb->str("yhm"), QStringLiteral("admin"));
}

void UsersTest::deletingOnAnEmptyTable()
{
    Workspace ws;
    ws.exec("DELETE FROM mmb");
    ws.refreshDatasets();
    BoxAnswerer boxes;
    TMmszF* dlg = openAdmin();
    QTest::mouseClick(dlg->BtnScyh, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{"密码表为空！"});
    // Nobody to change a password for either: refused the same way, no dialog
    // opens.
    QTest::mouseClick(dlg->BtnXgmm, Qt::LeftButton);
    QCOMPARE(boxes.texts, (QStringList{"密码表为空！", "密码表为空！"}));
    QVERIFY(!XgmmF);
}

void UsersTest::lastSuperUserCannotBeDeleted()
{
    Workspace ws({{"admin", "pw", 3}, {"li", "a", 1}});
    BoxAnswerer boxes;
    TMmszF* dlg = openAdmin();
    clickRow(dlg->DBGrid1, 0);
    QTest::mouseClick(dlg->BtnScyh, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{"不能删除最后一个超级用户！"});
    QCOMPARE(ws.count("mmb"), 2);
    // Renaming the description does not make anyone a super user.
    ws.exec("UPDATE mmb SET bz='超级用户' WHERE yhm='li'");
    ws.refreshDatasets();
    clickRow(dlg->DBGrid1, 0);
    QTest::mouseClick(dlg->BtnScyh, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("不能删除最后一个超级用户！"));
    QCOMPARE(ws.count("mmb"), 2);
    // With a second super user either one can go.
    ws.exec("UPDATE mmb SET qx='3' WHERE yhm='li'");
    ws.refreshDatasets();
    clickRow(dlg->DBGrid1, 0);
    QTest::mouseClick(dlg->BtnScyh, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("请确认是否删除用户名为“admin”的用户！"));
    QCOMPARE(ws.count("mmb"), 1);
    QTest::mouseClick(dlg->BtnScyh, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("不能删除最后一个超级用户！"));
    QCOMPARE(ws.count("mmb", "yhm='li'"), 1);
}

void UsersTest::gridRenamesAreCheckedAndDescriptionsStored()
{
    Workspace ws({{"admin", "pw", 3}, {"li", "a", 1}});
    BoxAnswerer boxes;
    TMmszF* dlg = openAdmin();
    DBGrid* grid = dlg->DBGrid1;
    typeOver(grid, 1, 0, "admin");
    QCOMPARE(boxes.texts, QStringList{kExists});
    QCOMPARE(ws.count("mmb", "yhm='li'"), 1);
    QCOMPARE(cell(grid, 1, 0), QStringLiteral("li"));
    typeOver(grid, 1, 0, "");
    QCOMPARE(boxes.last(), QStringLiteral("用户名不能为空！"));
    QCOMPARE(ws.count("mmb", "yhm='li'"), 1);
    QCOMPARE(cell(grid, 1, 0), QStringLiteral("li"));
    if (testing::onServer()) {
        // On a server the name is the user's role: it stays as it was added.
        typeOver(grid, 1, 0, "Admin");
        QCOMPARE(boxes.last(), QStringLiteral("服务器上的用户名不能修改，请添加新用户后删除原用户！"));
        QCOMPARE(ws.count("mmb", "yhm='li'"), 1);
        QVERIFY(passwordIs(ws, "li", "a"));
        typeOver(grid, 1, 1, "教务处");
        QCOMPARE(ws.scalar("SELECT bz FROM mmb WHERE yhm='li'"), QStringLiteral("教务处"));
        return;
    }
    // A name differing in case is a new name; the password stays with the row.
    typeOver(grid, 1, 0, "Admin");
    QCOMPARE(boxes.texts.size(), 2);
    QCOMPARE(ws.count("mmb", "yhm='Admin'"), 1);
    QVERIFY(passwordIs(ws, "Admin", "a"));
    // Keeping one's own name is no conflict.
    typeOver(grid, 0, 0, "admin");
    QCOMPARE(boxes.texts.size(), 2);
    // The description is free text and leaves the level alone.
    typeOver(grid, 1, 1, "超级用户");
    QCOMPARE(ws.scalar("SELECT bz FROM mmb WHERE yhm='Admin'"), QStringLiteral("超级用户"));
    QCOMPARE(ws.scalar("SELECT qx FROM mmb WHERE yhm='Admin'"), QStringLiteral("1"));
}

void UsersTest::changedPasswordLogsIn()
{
    Workspace ws({{"admin", "pw", 3}, {"li", "old", 1}});
    BoxAnswerer boxes;
    // After a login the last user row is current: that is whose password changes.
    TMmszF* dlg = openAdmin();
    DM->AdoMmb->last();
    int step = 0;
    boxes.onOtherModal = [&](QWidget* w) {
        auto* change = qobject_cast<TXgmmF*>(w);
        if (!change || step > 0) return false;
        step = 1;
        [&] {
            QCOMPARE(change->LabelYhm->text(), QStringLiteral("li"));
            change->EditJmm->setText("pw");  // admin's password is not li's
            change->EditXmm1->setText("new");
            change->EditXmm2->setText("new");
            QTest::mouseClick(change->BtnQr, Qt::LeftButton);
            QCOMPARE(boxes.last(), QStringLiteral("输入的旧密码不正确！"));
            QVERIFY(change->isVisible());
            change->EditJmm->setText("old");
            change->EditXmm2->setText("New");
            QTest::mouseClick(change->BtnQr, Qt::LeftButton);
            QCOMPARE(boxes.last(), QStringLiteral("两次输入的新密码不一致！"));
            QVERIFY(change->isVisible());
            QVERIFY(passwordIs(ws, "li", "old"));
            change->EditXmm2->setText("new");
            QTest::mouseClick(change->BtnQr, Qt::LeftButton);
            step = 2;
        }();
        return true;
    };
    QTest::mouseClick(dlg->BtnXgmm, Qt::LeftButton);
    QCOMPARE(step, 2);
    QCOMPARE(boxes.texts.size(), 2);
    const QString stored = ws.scalar("SELECT mm FROM mmb WHERE yhm='li'");
    QVERIFY(stored != "new");
    QVERIFY(keptAsItShouldBe(stored));
    QVERIFY(passwordIs(ws, "li", "new"));
    QVERIFY(passwordIs(ws, "admin", "pw"));

    // The login dialog admits li with the new password only.
    auto* login = new TDLF(nullptr, false);
    login->setAttribute(Qt::WA_DeleteOnClose);
    login->show();
    login->EditYhm->setText("li");
    login->EditMm->setText("old");
    QTest::mouseClick(login->BtnQd, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("您输入的用户名与密码不正确！"));
    login->EditMm->setText("new");
    QTest::mouseClick(login->BtnQd, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), 3);
    QVERIFY(MainF->isVisible());
    QVERIFY(MainF->SBtnKmsz->isEnabled());
    QVERIFY(!MainF->SBtnYhgl->isEnabled());
    login->close();
}

void UsersTest::changeAcceptsEmptyAndPlainStoredPasswords()
{
    if (testing::onServer()) QSKIP("a server keeps no empty or plain-text password in mmb");
    Workspace ws({{"admin", "pw", 3}, {"li", "x", 1}});
    ws.exec("UPDATE mmb SET mm='' WHERE yhm='admin'");
    ws.exec("UPDATE mmb SET mm='plain' WHERE yhm='li'");
    ws.refreshDatasets();
    BoxAnswerer boxes;
    TMmszF* admin = openAdmin();

    // An empty stored password is matched by an empty old-password edit.
    clickRow(admin->DBGrid1, 0);
    auto* change = new TXgmmF(admin);
    change->show();
    QCOMPARE(change->LabelYhm->text(), QStringLiteral("admin"));
    change->EditXmm1->setText("pw2");
    change->EditXmm2->setText("pw2");
    QTest::mouseClick(change->BtnQr, Qt::LeftButton);
    QVERIFY(boxes.texts.isEmpty());
    QVERIFY(passwordIs(ws, "admin", "pw2"));

    // A plain-text password from an older file is checked as text, then replaced
    // by a hash.
    clickRow(admin->DBGrid1, 1);
    change = new TXgmmF(admin);
    change->show();
    QCOMPARE(change->LabelYhm->text(), QStringLiteral("li"));
    change->EditJmm->setText("plai");
    QTest::mouseClick(change->BtnQr, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("输入的旧密码不正确！"));
    change->EditJmm->setText("plain");
    change->EditXmm1->setText("plain");  // the new password may equal the old one
    change->EditXmm2->setText("plain");
    QTest::mouseClick(change->BtnQr, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), 1);
    const QString stored = ws.scalar("SELECT mm FROM mmb WHERE yhm='li'");
    QVERIFY(passwords::isHash(stored));
    QVERIFY(passwords::matches(stored, "plain"));

    // Cancel writes nothing.
    change = new TXgmmF(admin);
    change->show();
    change->EditJmm->setText("plain");
    change->EditXmm1->setText("z");
    change->EditXmm2->setText("z");
    QTest::mouseClick(change->BtnQx, Qt::LeftButton);
    QVERIFY(!change->isVisible());
    QCOMPARE(ws.scalar("SELECT mm FROM mmb WHERE yhm='li'"), stored);
}

void UsersTest::enterMovesThroughBothDialogsWithoutConfirming()
{
    Workspace ws;
    BoxAnswerer boxes;
    TMmszF* admin = openAdmin();
    auto* add = new TTjyhF(admin);
    add->show();
    QVERIFY(QTest::qWaitForWindowExposed(add));
    QCOMPARE(add->EditXmm1->echoMode(), QLineEdit::Password);
    QCOMPARE(add->EditXmm2->echoMode(), QLineEdit::Password);
    add->EditYhm->setFocus();
    QTest::keyClicks(add->EditYhm, "admin");
    QTest::keyClick(add->EditYhm, Qt::Key_Return);
    QVERIFY(add->EditXmm1->hasFocus());
    QTest::keyClick(add->EditXmm1, Qt::Key_Return);
    QVERIFY(add->EditXmm2->hasFocus());
    QTest::keyClick(add->EditXmm2, Qt::Key_Return);
    QVERIFY(add->BtnQr->hasFocus());
    QVERIFY(boxes.texts.isEmpty());  // the duplicate name was not checked: nothing
                                     // was confirmed
    QVERIFY(add->isVisible());
    add->close();

    auto* change = new TXgmmF(admin);
    change->show();
    QVERIFY(QTest::qWaitForWindowExposed(change));
    QCOMPARE(change->EditJmm->echoMode(), QLineEdit::Password);
    change->EditJmm->setFocus();
    QTest::keyClicks(change->EditJmm, "wrong");
    QTest::keyClick(change->EditJmm, Qt::Key_Return);
    QVERIFY(change->EditXmm1->hasFocus());
    QTest::keyClick(change->EditXmm1, Qt::Key_Return);
    QVERIFY(change->EditXmm2->hasFocus());
    QTest::keyClick(change->EditXmm2, Qt::Key_Return);
    QVERIFY(change->BtnQr->hasFocus());
    QVERIFY(boxes.texts.isEmpty());
    QVERIFY(change->isVisible());
}

void UsersTest::enterOnTheFocusedConfirmButtonConfirms()
{
    Workspace ws({{"admin", "pw", 3}, {"li", "old", 1}});
    BoxAnswerer boxes;
    TMmszF* admin = openAdmin();
    auto* add = new TTjyhF(admin);
    add->show();
    QVERIFY(QTest::qWaitForWindowExposed(add));
    add->EditYhm->setFocus();
    QTest::keyClicks(add->EditYhm, "wang");
    QTest::keyClick(add->EditYhm, Qt::Key_Return);
    QTest::keyClicks(add->EditXmm1, "s3");
    QTest::keyClick(add->EditXmm1, Qt::Key_Return);
    QTest::keyClicks(add->EditXmm2, "s3");
    QTest::keyClick(add->EditXmm2, Qt::Key_Return);
    QVERIFY(add->BtnQr->hasFocus());
    QCOMPARE(ws.count("mmb"), 2);  // reaching the button confirms nothing
    QTest::keyClick(add->BtnQr, Qt::Key_Return);
    QVERIFY(boxes.texts.isEmpty());
    QVERIFY(!add->isVisible());
    QVERIFY(passwordIs(ws, "wang", "s3"));

    // Enter on a focused 取消 closes without a change.
    auto* cancelled = new TTjyhF(admin);
    cancelled->show();
    QVERIFY(QTest::qWaitForWindowExposed(cancelled));
    cancelled->EditYhm->setText("zhao");
    cancelled->BtnQx->setFocus();
    QTest::keyClick(cancelled->BtnQx, Qt::Key_Enter);
    QVERIFY(!cancelled->isVisible());
    QCOMPARE(ws.count("mmb"), 3);

    clickRow(admin->DBGrid1, 1);
    auto* change = new TXgmmF(admin);
    change->show();
    QVERIFY(QTest::qWaitForWindowExposed(change));
    change->EditJmm->setText("old");
    change->EditXmm1->setText("new");
    change->EditXmm2->setFocus();
    QTest::keyClicks(change->EditXmm2, "new");
    QTest::keyClick(change->EditXmm2, Qt::Key_Return);
    QVERIFY(change->BtnQr->hasFocus());
    QTest::keyClick(change->BtnQr, Qt::Key_Return);
    QVERIFY(boxes.texts.isEmpty());
    QVERIFY(!change->isVisible());
    QVERIFY(passwordIs(ws, "li", "new"));
}

void UsersTest::namesAndPasswordsStayWithinWhatTheLoginWindowTakes()
{
    Workspace ws({{"admin", "pw", 3}});
    BoxAnswerer boxes;
    TMmszF* admin = openAdmin();
    const QString tooLongName = QStringLiteral("abcdefghijklmnopqrstu");  // 21 characters
    auto* add = new TTjyhF(admin);
    add->show();
    QCOMPARE(add->EditYhm->maxLength(), 20);
    QCOMPARE(add->EditXmm1->maxLength(), 10);
    QCOMPARE(add->EditXmm2->maxLength(), 10);
    // Typing stops where the login window stops, so what is stored can be typed there.
    QTest::keyClicks(add->EditYhm, tooLongName);
    QTest::keyClicks(add->EditXmm1, "0123456789AB");
    QTest::keyClicks(add->EditXmm2, "0123456789AB");
    QCOMPARE(add->EditYhm->text().size(), 20);
    QTest::mouseClick(add->RGQXItems[2], Qt::LeftButton);
    QTest::mouseClick(add->BtnQr, Qt::LeftButton);
    QVERIFY(boxes.texts.isEmpty());
    QVERIFY(passwordIs(ws, tooLongName.left(20), "0123456789"));

    // Text that reaches the edits longer than that (an input method, a widened edit) is refused.
    auto* longer = new TTjyhF(admin);
    longer->show();
    longer->EditYhm->setMaxLength(100);
    longer->EditYhm->setText(tooLongName);
    QTest::mouseClick(longer->BtnQr, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("用户名最多 20 个字符（登录窗口只接受 20 个字符），请重新输入！"));
    longer->EditYhm->setText("zhao");
    for (QLineEdit* e : {longer->EditXmm1, longer->EditXmm2}) {
        e->setMaxLength(100);
        e->setText("0123456789A");
    }
    QTest::mouseClick(longer->BtnQr, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("密码最多 10 个字符（登录窗口只接受 10 个字符），请重新输入！"));
    QVERIFY(longer->isVisible());
    QCOMPARE(ws.count("mmb"), 2);
    longer->close();

    // 修改密码 limits the new password the same way.
    clickRow(admin->DBGrid1, 0);
    auto* change = new TXgmmF(admin);
    change->show();
    QCOMPARE(change->EditXmm1->maxLength(), 10);
    QCOMPARE(change->EditXmm2->maxLength(), 10);
    change->EditJmm->setText("pw");
    for (QLineEdit* e : {change->EditXmm1, change->EditXmm2}) {
        e->setMaxLength(100);
        e->setText("0123456789A");
    }
    QTest::mouseClick(change->BtnQr, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("密码最多 10 个字符（登录窗口只接受 10 个字符），请重新输入！"));
    QVERIFY(passwordIs(ws, "admin", "pw"));
    change->close();

    // Renaming in the list is held to the same limit.
    typeOver(admin->DBGrid1, 0, 0, tooLongName);
    QCOMPARE(boxes.last(), QStringLiteral("用户名最多 20 个字符（登录窗口只接受 20 个字符），请重新输入！"));
    QCOMPARE(ws.count("mmb", "yhm='admin'"), 1);

    // The user added above logs in with what the login window takes.
    auto* login = new TDLF(nullptr, false);
    login->setAttribute(Qt::WA_DeleteOnClose);
    login->show();
    QTest::keyClicks(login->EditYhm, tooLongName);
    QTest::keyClicks(login->EditMm, "0123456789AB");
    const int shown = boxes.texts.size();
    QTest::mouseClick(login->BtnQd, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), shown);
    QVERIFY(MainF->isVisible());
    QVERIFY(MainF->SBtnYhgl->isEnabled());
    login->close();
}

void UsersTest::superUserResetsAForgottenPassword()
{
    Workspace ws({{"admin", "pw", 3}, {"li", "forgotten", 1}, {"wu", "b", 2}});
    BoxAnswerer boxes;
    // Only a super user's list offers the reset.
    current_user::level() = 1;
    auto* plain = new TMmszF(MainF);
    plain->show();
    QVERIFY(!plain->BtnCzmm->isVisible());
    plain->close();
    current_user::level() = 3;
    TMmszF* admin = openAdmin();
    QVERIFY(admin->BtnCzmm->isVisible());
    QCOMPARE(admin->BtnCzmm->text(), QStringLiteral("重置密码"));
    clickRow(admin->DBGrid1, 1);
    const QString wuBefore = ws.scalar("SELECT mm FROM mmb WHERE yhm='wu'");
    int step = 0;
    boxes.onOtherModal = [&](QWidget* w) {
        auto* reset = qobject_cast<TCzmmF*>(w);
        if (!reset || step > 0) return false;
        step = 1;
        [&] {
            QCOMPARE(reset->windowTitle(), QStringLiteral("重置密码"));
            QCOMPARE(reset->LabelYhm->text(), QStringLiteral("li"));
            QCOMPARE(reset->EditXmm1->echoMode(), QLineEdit::Password);
            QCOMPARE(reset->EditXmm1->maxLength(), 10);
            QCOMPARE(reset->EditXmm2->maxLength(), 10);
            reset->EditXmm1->setText("fresh");
            reset->EditXmm2->setText("Fresh");
            QTest::mouseClick(reset->BtnQr, Qt::LeftButton);
            QCOMPARE(boxes.last(), QStringLiteral("两次输入的新密码不一致！"));
            QVERIFY(reset->isVisible());
            reset->EditXmm2->setText("fresh");
            QTest::mouseClick(reset->BtnQr, Qt::LeftButton);
            step = 2;
        }();
        return true;
    };
    QTest::mouseClick(admin->BtnCzmm, Qt::LeftButton);
    QCOMPARE(step, 2);
    QCOMPARE(boxes.texts.size(), 1);
    const QString stored = ws.scalar("SELECT mm FROM mmb WHERE yhm='li'");
    QVERIFY(keptAsItShouldBe(stored));
    QVERIFY(passwordIs(ws, "li", "fresh"));
    QVERIFY(passwordIs(ws, "admin", "pw"));
    QCOMPARE(ws.scalar("SELECT mm FROM mmb WHERE yhm='wu'"), wuBefore);

    // Cancel leaves the password as it is.
    boxes.onOtherModal = [&](QWidget* w) {
        auto* reset = qobject_cast<TCzmmF*>(w);
        if (!reset) return false;
        reset->EditXmm1->setText("x");
        reset->EditXmm2->setText("x");
        QTest::mouseClick(reset->BtnQx, Qt::LeftButton);
        return true;
    };
    QTest::mouseClick(admin->BtnCzmm, Qt::LeftButton);
    QCOMPARE(ws.scalar("SELECT mm FROM mmb WHERE yhm='li'"), stored);
}

void UsersTest::tenPasswordCharactersFitTheirBoxes()
{
    Workspace ws;
    TMmszF* admin = openAdmin();
    auto* add = new TTjyhF(admin);
    auto* change = new TXgmmF(admin);
    auto* reset = new TCzmmF(admin);
    const QVector<QLineEdit*> edits{add->EditXmm1,    add->EditXmm2,   change->EditJmm, change->EditXmm1,
                                    change->EditXmm2, reset->EditXmm1, reset->EditXmm2};
    for (QLineEdit* edit : edits) {
        edit->setText("0123456789");
        QCOMPARE(edit->echoMode(), QLineEdit::Password);
        QCOMPARE(edit->displayText(), QStringLiteral("**********"));
        // The masked text, with the frame's margins, fits in the box.
        QVERIFY2(edit->fontMetrics().horizontalAdvance(edit->displayText()) + 8 <= edit->width(),
                 qPrintable(edit->objectName()));
    }
}

QTEST_MAIN(UsersTest)
#include "test_users.moc"
