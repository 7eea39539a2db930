// Login, permission levels, logout and exit, driven through the real windows.
#include "app/application.h"
#include "ui/forms.h"
#include "app/login.h"
#include "app/main_window.h"
#include "ui/message_box.h"
#include "ui/platform.h"
#include "data/data_module.h"
#include "data/passwords.h"
#include "test_support.h"
#include "ui/handler.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

using testing::BoxAnswerer;
using testing::Workspace;

class LoginTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void eachLevelEnablesExactlyItsFunctions_data();
    void eachLevelEnablesExactlyItsFunctions();
    void lastMatchingRowDecidesAndNamesAreCaseSensitive();
    void missingDatabaseFailsTheAttemptWithoutCounting();
    void thirdFailureAcrossLogoutShowsDisabledMainWindow();
    void plainTextPasswordIsReplacedByItsHash();
    void enterKeysMoveThroughTheLoginDialog();
    void exitAndLogoutAskFirst();
    void closingLogoutDialogMakesThisWindowCurrentAgain();
    void subjectPanelAndStatusBar();
    void unknownNameCostsAHashVerificationLikeAKnownOne();
    void disabledMainWindowSaysWhy();
    void upgradedPasswordIsWrittenToItsOwnRow();

private:
    TDLF* login(const QString& name, const QString& password);
};

void LoginTest::initTestCase()
{
    app::setup(*qApp);
    TMainF::runModalLoop = false;
}

void LoginTest::init()
{
    app::failedLogins() = 0;
    ui::resetTermination();
}

void LoginTest::cleanup()
{
    ui::resetTermination();
}

TDLF* LoginTest::login(const QString& name, const QString& password)
{
    auto* dlg = new TDLF(nullptr, false);
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    dlg->show();
    dlg->EditYhm->setText(name);
    dlg->EditMm->setText(password);
    QTest::mouseClick(dlg->BtnQd, Qt::LeftButton);
    return dlg;
}

void LoginTest::eachLevelEnablesExactlyItsFunctions_data()
{
    QTest::addColumn<QString>("qx");
    QTest::addColumn<bool>("admitted");
    QTest::addColumn<bool>("bank");
    QTest::addColumn<bool>("paper");
    QTest::addColumn<bool>("users");
    QTest::newRow("level 1") << "1" << true << true << false << false;
    QTest::newRow("level 2") << "2" << true << false << true << false;
    QTest::newRow("level 3") << "3" << true << true << true << true;
    QTest::newRow("level 0") << "0" << false << false << false << false;
    QTest::newRow("level 4") << "4" << false << false << false << false;
    QTest::newRow("level text") << "x" << false << false << false << false;
}

void LoginTest::eachLevelEnablesExactlyItsFunctions()
{
    QFETCH(QString, qx);
    QFETCH(bool, admitted);
    QFETCH(bool, bank);
    QFETCH(bool, paper);
    QFETCH(bool, users);
    Workspace ws({{"u", "pw", 1}});
    ws.exec("UPDATE mmb SET qx=? WHERE yhm='u'", {qx});
    BoxAnswerer boxes;
    TDLF* dlg = login("u", "pw");
    QPointer<TMainF> main = MainF;
    QVERIFY(main);
    if (admitted) {
        QVERIFY(boxes.texts.isEmpty());
        QVERIFY(main->isVisible());
        QVERIFY(!dlg->isVisible());
    } else {
        QCOMPARE(boxes.texts, QStringList{"您输入的用户名与密码不正确！"});
        QCOMPARE(app::failedLogins(), 1);
        QVERIFY(!main->isVisible());
    }
    QCOMPARE(main->TKGL->menuAction()->isEnabled(), bank);
    QCOMPARE(main->KMSZ->isEnabled(), bank);
    QCOMPARE(main->SJGL->menuAction()->isEnabled(), paper);
    QCOMPARE(main->YHGL->menuAction()->isEnabled(), users);
    for (QToolButton* b : {main->SBtnKmsz, main->SBtnKmxz, main->SBtnTxsz, main->SBtnZjsz, main->SBtnLrst})
        QCOMPARE(b->isEnabled(), bank);
    QCOMPARE(main->SBtnZjxd->isEnabled(), paper);
    QCOMPARE(main->SBtnYhgl->isEnabled(), users);
    // Never restricted.
    for (QToolButton* b : {main->SBtnZX, main->SBtnTC, main->SBtnBz, main->SBtnGy, main->SBtnLxwm})
        QVERIFY(b->isEnabled());
    QVERIFY(main->WJ->menuAction()->isEnabled());
    QVERIFY(main->BZ->menuAction()->isEnabled());
    QCOMPARE(main->windowTitle(), QStringLiteral("题库管理、Exavoro"));
    dlg->close();
}

void LoginTest::lastMatchingRowDecidesAndNamesAreCaseSensitive()
{
    Workspace ws({{"Teacher", "pw", 1}, {"Teacher", "pw", 2}});
    BoxAnswerer boxes;
    TDLF* dlg = login("teacher", "pw");
    QCOMPARE(boxes.last(), QStringLiteral("您输入的用户名与密码不正确！"));
    dlg->EditYhm->setText("Teacher");
    dlg->EditMm->setText("pw ");
    QTest::mouseClick(dlg->BtnQd, Qt::LeftButton);
    QCOMPARE(app::failedLogins(), 2);
    dlg->EditMm->setText("pw");
    QTest::mouseClick(dlg->BtnQd, Qt::LeftButton);
    QVERIFY(MainF->isVisible());
    QVERIFY(!MainF->SBtnKmsz->isEnabled());  // the later row's level 2 applies
    QVERIFY(MainF->SBtnZjxd->isEnabled());
    dlg->close();
}

void LoginTest::missingDatabaseFailsTheAttemptWithoutCounting()
{
    Workspace ws;
    QVERIFY(QFile::remove(ws.databasePath()));
    BoxAnswerer boxes;
    TDLF* dlg = login("admin", "pw");
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.texts[0].contains("examdb.db"), qPrintable(boxes.texts[0]));
    QCOMPARE(boxes.captions[0], QStringLiteral("Exavoro"));
    QCOMPARE(app::failedLogins(), 0);
    QVERIFY(dlg->isVisible());
    QVERIFY(!QFile::exists(ws.databasePath()));  // opening never creates the file
    dlg->close();
}

void LoginTest::thirdFailureAcrossLogoutShowsDisabledMainWindow()
{
    Workspace ws;
    BoxAnswerer boxes;
    TDLF* dlg = login("admin", "bad");
    dlg->EditMm->setText("bad2");
    QTest::mouseClick(dlg->BtnQd, Qt::LeftButton);
    QCOMPARE(app::failedLogins(), 2);
    QVERIFY(!MainF->isVisible());
    dlg->EditMm->setText("pw");
    QTest::mouseClick(dlg->BtnQd, Qt::LeftButton);
    QPointer<TMainF> first = MainF;
    QVERIFY(first->isVisible());
    QVERIFY(first->SBtnYhgl->isEnabled());

    // Log out, fail once in the new dialog: the count reaches 3 and the main window opens disabled.
    QPointer<TMainF> third;
    bool typed = false;
    boxes.onOtherModal = [&](QWidget* w) {
        auto* d = qobject_cast<TDLF*>(w);
        if (!d || typed) return false;
        typed = true;
        d->EditYhm->setText("admin");
        d->EditMm->setText("wrong");
        QTest::mouseClick(d->BtnQd, Qt::LeftButton);
        third = MainF;
        ui::terminate();  // leave the dialog's loop
        return true;
    };
    boxes.queue(QMessageBox::Ok);  // "确实要注销吗？"
    first->ZXClick();
    QVERIFY(typed);
    QCOMPARE(boxes.texts.first(), QStringLiteral("您输入的用户名与密码不正确！"));
    QVERIFY(boxes.texts.contains("确实要注销吗？"));
    QCOMPARE(app::failedLogins(), 3);
    QVERIFY(third && third != first);
    QVERIFY(third->isVisible());
    QVERIFY(!third->SBtnKmsz->isEnabled());
    QVERIFY(!third->SBtnZjxd->isEnabled());
    QVERIFY(!third->YHGL->menuAction()->isEnabled());
    QVERIFY(third->SBtnZX->isEnabled());
    dlg->close();
}

void LoginTest::plainTextPasswordIsReplacedByItsHash()
{
    Workspace ws;
    ws.exec("UPDATE mmb SET mm='old' WHERE yhm='admin'");
    DM->AdoMmb->refresh();
    BoxAnswerer boxes;
    TDLF* dlg = login("admin", "old");
    QVERIFY(boxes.texts.isEmpty());
    const QString stored = ws.scalar("SELECT mm FROM mmb WHERE yhm='admin'");
    QVERIFY(passwords::isHash(stored));
    QVERIFY(passwords::matches(stored, "old"));
    dlg->close();
    // The hashed password still logs in.
    TDLF* again = login("admin", "old");
    QVERIFY(boxes.texts.isEmpty());
    QVERIFY(MainF->isVisible());
    again->close();
}

void LoginTest::enterKeysMoveThroughTheLoginDialog()
{
    Workspace ws;
    BoxAnswerer boxes;
    auto* dlg = new TDLF(nullptr, false);
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(dlg));
    QCOMPARE(dlg->EditYhm->maxLength(), 20);
    QCOMPARE(dlg->EditMm->maxLength(), 10);
    QCOMPARE(dlg->EditMm->echoMode(), QLineEdit::Password);
    dlg->EditYhm->setFocus();
    QTest::keyClicks(dlg->EditYhm, "admin");
    QTest::keyClick(dlg->EditYhm, Qt::Key_Return);
    QVERIFY(dlg->EditMm->hasFocus());
    QTest::keyClicks(dlg->EditMm, "pw");
    QTest::keyClick(dlg->EditMm, Qt::Key_Return);  // Enter in the password box logs in
    QVERIFY(boxes.texts.isEmpty());
    QVERIFY(MainF->isVisible());
    QVERIFY(!dlg->isVisible());
    dlg->close();
}

void LoginTest::exitAndLogoutAskFirst()
{
    Workspace ws;
    BoxAnswerer boxes;
    TDLF* dlg = login("admin", "pw");
    TMainF* main = MainF;
    boxes.queue(QMessageBox::Cancel);
    main->TC->trigger();
    QCOMPARE(boxes.last(), QStringLiteral("确实要退出题库管理、Exavoro吗？"));
    QCOMPARE(boxes.captions.last(), QStringLiteral("确认框"));
    QVERIFY(!ui::terminating());
    boxes.queue(QMessageBox::Cancel);
    main->close();  // the close box asks the same question; Cancel keeps the window
    QVERIFY(main->isVisible());
    QVERIFY(!ui::terminating());
    boxes.queue(QMessageBox::Cancel);
    QTest::mouseClick(main->SBtnZX, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("确实要注销吗？"));
    QCOMPARE(MainF.data(), main);
    boxes.queue(QMessageBox::Ok);
    QTest::mouseClick(main->SBtnTC, Qt::LeftButton);
    QVERIFY2(ui::terminating(), qPrintable(boxes.texts.join("|")));
    ui::resetTermination();
    boxes.queue(QMessageBox::Ok);
    main->close();
    QVERIFY(ui::terminating());
    QCOMPARE(boxes.texts.size(), 5);
    dlg->close();
}

void LoginTest::closingLogoutDialogMakesThisWindowCurrentAgain()
{
    Workspace ws;
    BoxAnswerer boxes;
    TDLF* dlg = login("admin", "pw");
    TMainF* main = MainF;
    bool failedInside = false;
    boxes.onOtherModal = [&](QWidget* w) {
        auto* d = qobject_cast<TDLF*>(w);
        if (!d || !d->isVisible()) return false;
        if (!failedInside) {
            failedInside = true;
            d->EditYhm->setText("admin");
            d->EditMm->setText("nope");
            QTest::mouseClick(d->BtnQd, Qt::LeftButton);  // creates a hidden main window
            return true;
        }
        d->close();  // the close box, not "取消"
        return true;
    };
    boxes.queue(QMessageBox::Ok);
    main->ZXClick();
    QVERIFY(failedInside);
    QVERIFY(!ui::terminating());
    QCOMPARE(MainF.data(), main);
    QVERIFY(main->isVisible());
    QVERIFY(main->SBtnYhgl->isEnabled());
    dlg->close();
}

void LoginTest::subjectPanelAndStatusBar()
{
    Workspace ws;
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('01','数学'),('02','语文'),('03','英语')");
    BoxAnswerer boxes;
    TDLF* dlg = login("admin", "pw");
    TMainF* main = MainF;
    QVERIFY(!main->Panel1->isVisible());
    QVERIFY(main->Panel2->isVisible());
    QCOMPARE(main->ComboBoxKmm->count(), 3);
    QCOMPARE(main->LabelKmm->text(), QStringLiteral("数学"));
    main->XZKM->trigger();
    QVERIFY(main->Panel1->isVisible());
    QVERIFY(!main->Panel2->isVisible());
    main->ComboBoxKmm->setCurrentIndex(2);
    emit main->ComboBoxKmm->activated(2);
    QCOMPARE(main->LabelKmm->text(), QStringLiteral("英语"));
    QCOMPARE(main->ComboBoxKmm->currentText(), QStringLiteral("英语"));
    // Typing a name that is no subject leaves no entry selected.
    QTest::keyClicks(main->ComboBoxKmm->lineEdit(), "x");
    QCOMPARE(main->LabelKmm->text(), QString());
    // Choosing the subjects again makes the first one current.
    QTest::mouseClick(main->SBtnKmxz, Qt::LeftButton);
    QCOMPARE(main->ComboBoxKmm->currentText(), QStringLiteral("数学"));
    QCOMPARE(main->LabelKmm->text(), QStringLiteral("数学"));
    // About switches back to the background panel before the box shows.
    bool panelSwitched = false;
    boxes.onOtherModal = nullptr;
    QTimer::singleShot(0, [&] { panelSwitched = main->Panel2->isVisible() && !main->Panel1->isVisible(); });
    QTest::mouseClick(main->SBtnGy, Qt::LeftButton);
    QVERIFY(panelSwitched);
    QVERIFY(boxes.texts.last().contains("Exavoro"));
    // Status bar: the fixed text, and the Insert panel following the Insert key.
    QCOMPARE(main->StatusPanels[0]->text(), QStringLiteral("准备就绪"));
    main->Timer1Timer();
    const bool before = !main->StatusPanels[2]->text().isEmpty();
    main->ComboBoxKmm->setFocus();
    QApplication::setActiveWindow(main);
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : main->ComboBoxKmm, Qt::Key_Insert);
    main->Timer1Timer();
    QCOMPARE(!main->StatusPanels[2]->text().isEmpty(), !before);
    QCOMPARE(main->StatusPanels[1]->text(), QString());  // no X11 display offscreen: Num panel empty
    dlg->close();
}

void LoginTest::unknownNameCostsAHashVerificationLikeAKnownOne()
{
    Workspace ws({{"admin", "pw", 3}, {"li", "a", 1}});
    BoxAnswerer boxes;
    auto attempt = [&](const QString& name, const QString& password) {
        const int before = passwords::verificationCount();
        TDLF* dlg = login(name, password);
        dlg->close();
        return passwords::verificationCount() - before;
    };
    QCOMPARE(attempt("li", "wrong"), 1);      // a known name: its stored hash is verified
    QCOMPARE(attempt("nobody", "wrong"), 1);  // an unknown name: the same work on a stand-in hash
    QCOMPARE(attempt("", ""), 1);
    // A legacy plain-text row is compared as text; the stand-in verification still runs.
    ws.exec("UPDATE mmb SET mm='plain' WHERE yhm='li'");
    DM->AdoMmb->refresh();
    QCOMPARE(attempt("li", "wrong"), 1);
    QCOMPARE(boxes.texts.size(), 4);
    QCOMPARE(app::failedLogins(), 4);
}

void LoginTest::disabledMainWindowSaysWhy()
{
    Workspace ws;
    BoxAnswerer boxes;
    TDLF* ok = login("admin", "pw");
    QCOMPARE(MainF->StatusPanels[0]->text(), QStringLiteral("准备就绪"));
    ok->close();
    TDLF* dlg = login("admin", "x");
    for (const char* typed : {"y", "z"}) {
        dlg->EditMm->setText(typed);
        QTest::mouseClick(dlg->BtnQd, Qt::LeftButton);
    }
    QCOMPARE(app::failedLogins(), 3);
    QVERIFY(MainF->isVisible());
    QVERIFY(!MainF->SBtnKmsz->isEnabled());
    const QString status = MainF->StatusPanels[0]->text();
    QVERIFY2(status.contains("三次") && status.contains("禁用") && status.contains("注销"), qPrintable(status));
    // The panel is wide enough to show the whole reason.
    QVERIFY(MainF->StatusPanels[0]->fontMetrics().horizontalAdvance(status) <= MainF->StatusPanels[0]->width());
    dlg->close();
}

void LoginTest::upgradedPasswordIsWrittenToItsOwnRow()
{
    Workspace ws({{"admin", "pw", 3}, {"li", "x", 1}, {"wu", "b", 2}, {"zhao", "c", 1}});
    ws.exec("UPDATE mmb SET mm='plain' WHERE yhm='li'");
    DM->AdoMmb->refresh();
    const QString wu = ws.scalar("SELECT mm FROM mmb WHERE yhm='wu'");
    const QString zhao = ws.scalar("SELECT mm FROM mmb WHERE yhm='zhao'");
    BoxAnswerer boxes;
    TDLF* dlg = login("li", "plain");
    QVERIFY(boxes.texts.isEmpty());
    QVERIFY(MainF->isVisible());
    const QString stored = ws.scalar("SELECT mm FROM mmb WHERE yhm='li'");
    QVERIFY(passwords::isHash(stored));
    QVERIFY(passwords::matches(stored, "plain"));
    // The rows after it keep their own passwords.
    QCOMPARE(ws.scalar("SELECT mm FROM mmb WHERE yhm='wu'"), wu);
    QCOMPARE(ws.scalar("SELECT mm FROM mmb WHERE yhm='zhao'"), zhao);
    QCOMPARE(ws.count("mmb"), 4);
    QCOMPARE(ws.count("mmb", "mm=?", {stored}), 1);
    dlg->close();
}

QTEST_MAIN(LoginTest)
#include "test_login.moc"
