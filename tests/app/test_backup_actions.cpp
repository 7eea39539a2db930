// Backups inside the program: the automatic backup after the day's first login, and the super
// user's backup and restore from the menu 文件, driven through the real windows.
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include "app/application.h"
#include "ui/forms.h"
#include "app/login.h"
#include "app/main_window.h"
#include "data/backup.h"
#include "data/data_module.h"
#include "test_support.h"
#include "ui/handler.h"
#include "data/current_user.h"

using testing::BoxAnswerer;
using testing::Workspace;

class BackupActionsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void menuItemsAreEnabledForSuperUsersOnly();
    void firstLoginOfTheDayBacksUpAndKeepsTheNewest();
    void failedAutomaticBackupNeverBlocksTheLogin();
    void backupFromTheMenuWritesTheChosenFileAndNeverOverwrites();
    void restoreFromTheMenuReplacesTheBankAndAsksForALogin();
    void restoreOfADamagedFileChangesNothing();

private:
    TDLF* login(const QString& name, const QString& password);
    static QStringList autoBackups(const Workspace& ws, const QString& pattern = QStringLiteral("examdb-auto-*.db"));
    // Answers the next file dialog of that name with `path`.
    static void answerFileDialog(BoxAnswerer& boxes, const QString& name, const QString& path);
};

void BackupActionsTest::initTestCase()
{
    app::setup(*qApp);
    TMainF::runModalLoop = false;
}

void BackupActionsTest::init()
{
    app::failedLogins() = 0;
    ui::resetTermination();
}

TDLF* BackupActionsTest::login(const QString& name, const QString& password)
{
    auto* dlg = new TDLF(nullptr, false);
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    dlg->show();
    dlg->EditYhm->setText(name);
    dlg->EditMm->setText(password);
    QTest::mouseClick(dlg->BtnQd, Qt::LeftButton);
    return dlg;
}

QStringList BackupActionsTest::autoBackups(const Workspace& ws, const QString& pattern)
{
    return QDir(ws.root() + "/Data/backup").entryList({pattern}, QDir::Files, QDir::Name);
}

void BackupActionsTest::answerFileDialog(BoxAnswerer& boxes, const QString& name, const QString& path)
{
    boxes.onOtherModal = [name, path](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        if (!dialog || dialog->objectName() != name) return false;
        // Typed into the name box, as a user would.
        auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
        if (!edit) return false;
        edit->setText(path);
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog's own accept() reads the chosen name
        return true;
    };
}

void BackupActionsTest::menuItemsAreEnabledForSuperUsersOnly()
{
    Workspace ws({{"bank", "pw", 1}, {"paper", "pw", 2}, {"super", "pw", 3}});
    BoxAnswerer boxes;
    auto* fresh = new TMainF(nullptr);
    QAction* backupItem = fresh->findChild<QAction*>("BFTK");
    QAction* restoreItem = fresh->findChild<QAction*>("HFTK");
    QVERIFY(backupItem && restoreItem);
    QCOMPARE(backupItem->text(), QStringLiteral("备份题库(&B)…"));
    QCOMPARE(restoreItem->text(), QStringLiteral("恢复题库(&R)…"));
    QVERIFY(fresh->WJ->actions().contains(backupItem) && fresh->WJ->actions().contains(restoreItem));
    QVERIFY(!backupItem->isEnabled() && !restoreItem->isEnabled());  // nobody logged in yet
    delete fresh;
    for (const auto& [name, enabled] : {std::pair{"bank", false}, {"paper", false}, {"super", true}}) {
        TDLF* dlg = login(name, "pw");
        QCOMPARE(MainF->findChild<QAction*>("BFTK")->isEnabled(), enabled);
        QCOMPARE(MainF->findChild<QAction*>("HFTK")->isEnabled(), enabled);
        QVERIFY(MainF->ZX->isEnabled());
        dlg->close();
    }
}

void BackupActionsTest::firstLoginOfTheDayBacksUpAndKeepsTheNewest()
{
    Workspace ws({{"li", "pw", 1}});
    QSettings(backup::settingsPath(ws.databasePath()), QSettings::IniFormat).setValue("backup/keep", 3);
    // Five automatic backups of earlier days and one made by hand.
    QDir().mkpath(ws.root() + "/Data/backup");
    const QStringList old = {"examdb-auto-20240101-080000.db", "examdb-auto-20240102-080000.db",
                             "examdb-auto-20240103-080000.db", "examdb-auto-20240104-080000.db",
                             "examdb-auto-20240105-080000.db", "examdb-20240101-120000.db"};
    for (const QString& name : old) QVERIFY(QFile::copy(ws.databasePath(), ws.root() + "/Data/backup/" + name));

    BoxAnswerer boxes;
    TDLF* dlg = login("li", "pw");
    QVERIFY(MainF->isVisible());
    const QString today = "examdb-auto-" + QDate::currentDate().toString("yyyyMMdd") + "-*.db";
    QTRY_COMPARE(autoBackups(ws, today).size(), 1);
    QCOMPARE(autoBackups(ws), (QStringList{"examdb-auto-20240104-080000.db", "examdb-auto-20240105-080000.db",
                                           autoBackups(ws, today).first()}));
    QVERIFY(QFile::exists(ws.root() + "/Data/backup/examdb-20240101-120000.db"));  // never removed
    QCOMPARE(backup::check(ws.root() + "/Data/backup/" + autoBackups(ws, today).first()).clean(), true);
    QVERIFY(boxes.texts.isEmpty());
    QCOMPARE(MainF->StatusPanels[0]->text(), QStringLiteral("准备就绪"));
    dlg->close();

    // A second login on the same day makes none.
    dlg = login("li", "pw");
    QTest::qWait(50);
    QCOMPARE(autoBackups(ws).size(), 3);
    dlg->close();

    // keep = 0 turns them off.
    for (const QString& name : autoBackups(ws)) QFile::remove(ws.root() + "/Data/backup/" + name);
    QSettings(backup::settingsPath(ws.databasePath()), QSettings::IniFormat).setValue("backup/keep", 0);
    dlg = login("li", "pw");
    QTest::qWait(50);
    QCOMPARE(autoBackups(ws).size(), 0);
    dlg->close();
}

void BackupActionsTest::failedAutomaticBackupNeverBlocksTheLogin()
{
    Workspace ws({{"li", "pw", 1}});
    // A file where the backup folder should be.
    QFile blocker(ws.root() + "/Data/backup");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    BoxAnswerer boxes;
    TDLF* dlg = login("li", "pw");
    QVERIFY(MainF->isVisible());
    QVERIFY(MainF->KMSZ->isEnabled());
    QTRY_COMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.last().startsWith(QStringLiteral("今天的自动备份没有完成")), qPrintable(boxes.last()));
    QVERIFY(MainF->isVisible());
    QVERIFY(DM->isConnected());
    dlg->close();
}

void BackupActionsTest::backupFromTheMenuWritesTheChosenFileAndNeverOverwrites()
{
    Workspace ws({{"super", "pw", 3}});
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('01', '语文')");
    BoxAnswerer boxes;
    TDLF* dlg = login("super", "pw");
    QTRY_COMPARE(autoBackups(ws).size(), 1);
    QAction* item = MainF->findChild<QAction*>("BFTK");
    QVERIFY(item->isEnabled());

    const QString target = ws.root() + "/copy.db";
    answerFileDialog(boxes, "BackupFileDialog", target);
    item->trigger();
    QCOMPARE(boxes.last(), QStringLiteral("题库已备份到“%1”。").arg(target));
    QVERIFY(backup::check(target).clean());

    // The same name again: refused, the file stays as it was.
    QFile existing(target);
    const qint64 size = existing.size();
    boxes.clear();
    item->trigger();
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY(boxes.last().contains(QStringLiteral("已存在，不会覆盖")));
    QCOMPARE(existing.size(), size);
    dlg->close();
}

void BackupActionsTest::restoreFromTheMenuReplacesTheBankAndAsksForALogin()
{
    Workspace ws({{"super", "pw", 3}});
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('01', '语文')");
    const QString saved = ws.root() + "/saved.db";
    backup::backupTo(ws.databasePath(), saved);
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('02', '数学')");
    ws.refreshDatasets();

    BoxAnswerer boxes;
    TDLF* dlg = login("super", "pw");
    QPointer<TMainF> before = MainF;
    answerFileDialog(boxes, "RestoreFileDialog", saved);
    // Confirm, then take note of the result; the login window that follows gets the user again.
    boxes.queue(QMessageBox::Ok);
    boxes.queue(QMessageBox::Ok);
    bool loginAsked = false;
    bool disabledMeanwhile = false;
    QStringList subjectsMeanwhile;
    QString statusMeanwhile;
    QPointer<TMainF> afterLogin;
    auto answerFile = boxes.onOtherModal;
    boxes.onOtherModal = [&, answerFile](QWidget* w) {
        if (auto* again = qobject_cast<TDLF*>(w)) {
            loginAsked = true;
            // Every function is off while the login is asked for again.
            disabledMeanwhile = !before->KMSZ->isEnabled() && !before->findChild<QAction*>("HFTK")->isEnabled();
            // The main window behind it already lists the restored bank's subjects and says why.
            for (int i = 0; i < before->ComboBoxKmm->count(); ++i) subjectsMeanwhile << before->ComboBoxKmm->itemText(i);
            statusMeanwhile = before->StatusPanels[0]->text();
            again->EditYhm->setText("super");
            again->EditMm->setText("pw");
            QTest::mouseClick(again->BtnQd, Qt::LeftButton);
            afterLogin = MainF;
            return true;
        }
        return answerFile(w);
    };
    before->findChild<QAction*>("HFTK")->trigger();
    QVERIFY(loginAsked);
    QVERIFY(disabledMeanwhile);
    QCOMPARE(subjectsMeanwhile, QStringList{QStringLiteral("语文")});
    QCOMPARE(statusMeanwhile, QStringLiteral("题库已恢复，请注销后重新登录。"));
    QVERIFY2(boxes.texts.size() == 2, qPrintable(boxes.texts.join(" | ")));
    QVERIFY(boxes.texts.at(0).startsWith(QStringLiteral("确实要用“%1”替换当前的题库吗？").arg(saved)));
    QVERIFY(boxes.texts.at(1).startsWith(QStringLiteral("题库已恢复。原来的题库保留为")));

    // The bank is the saved one, the data module reads it, and the previous bank is kept.
    QVERIFY(DM->isConnected());
    QCOMPARE(ws.scalar("SELECT group_concat(kmm) FROM kmb"), QStringLiteral("语文"));
    QCOMPARE(DM->ADOKmb->recordCount(), 1);
    const QStringList kept = QDir(ws.root() + "/Data").entryList({"examdb.db.before-restore-*"}, QDir::Files);
    QCOMPARE(kept.size(), 1);
    QVERIFY(boxes.texts.at(1).contains(kept.first()));
    // The new login made a main window with the super user's functions.
    QVERIFY(afterLogin && afterLogin != before);
    QVERIFY(afterLogin->findChild<QAction*>("HFTK")->isEnabled());
    QCOMPARE(current_user::level(), 3);
    dlg->close();
}

void BackupActionsTest::restoreOfADamagedFileChangesNothing()
{
    Workspace ws({{"super", "pw", 3}});
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('01', '语文')");
    const QString broken = ws.root() + "/broken.db";
    backup::backupTo(ws.databasePath(), broken);
    QFile f(broken);
    QVERIFY(f.resize(f.size() / 2 + 100));

    BoxAnswerer boxes;
    TDLF* dlg = login("super", "pw");
    QTRY_COMPARE(autoBackups(ws).size(), 1);
    answerFileDialog(boxes, "RestoreFileDialog", broken);
    MainF->findChild<QAction*>("HFTK")->trigger();
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.last().startsWith(QStringLiteral("文件“%1”不能用来恢复题库，题库没有改变").arg(broken)),
             qPrintable(boxes.last()));
    QCOMPARE(ws.scalar("SELECT group_concat(kmm) FROM kmb"), QStringLiteral("语文"));
    QVERIFY(QDir(ws.root() + "/Data").entryList({"examdb.db.before-restore-*"}, QDir::Files).isEmpty());
    QVERIFY(MainF->findChild<QAction*>("HFTK")->isEnabled());
    QVERIFY(DM->isConnected());
    dlg->close();
}

QTEST_MAIN(BackupActionsTest)
#include "test_backup_actions.moc"
