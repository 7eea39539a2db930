// A long action from a window shows its name in the main window's status bar, reached through the
// shell's navigator, and puts the old text back when it ends; without a main window it still works.
#include <QLabel>
#include <QProgressDialog>
#include <QTest>

#include "app/main_window.h"
#include "data/errors.h"
#include "test_support.h"
#include "ui/busy_progress.h"
#include "ui/forms.h"
#include "ui/navigator.h"

using namespace testing;

class BusyProgressTest : public QObject {
    Q_OBJECT
private slots:
    void actionStandsInTheMainWindowStatusBarUntilItEnds();
    void withoutTheShellTheActionStillRuns();
};

void BusyProgressTest::actionStandsInTheMainWindowStatusBarUntilItEnds()
{
    Workspace ws;
    QVERIFY(MainF);
    QLabel* panel = MainF->StatusPanels[0];
    panel->setText(QStringLiteral("就绪"));
    QCOMPARE(ui::navigator().statusPanel(), panel);
    {
        BusyProgress busy(MainF, QStringLiteral("正在删除科目“语文”"));
        QCOMPARE(panel->text(), QStringLiteral("正在删除科目“语文”……"));
        auto* dialog = MainF->findChild<QProgressDialog*>(QStringLiteral("BusyProgress"));
        QVERIFY(dialog);
        busy.update(1, 4);
        QCOMPARE(dialog->value(), 250);
    }
    QCOMPARE(panel->text(), QStringLiteral("就绪"));
    QVERIFY(!MainF->findChild<QProgressDialog*>(QStringLiteral("BusyProgress")));
}

void BusyProgressTest::withoutTheShellTheActionStillRuns()
{
    ui::setNavigator(nullptr);
    QCOMPARE(ui::navigator().statusPanel(), nullptr);
    QCOMPARE(ui::navigator().mainWindow(), nullptr);
    QWidget owner;
    {
        BusyProgress busy(&owner, QStringLiteral("正在备份题库"));
        busy.update(5, 5);
        auto* dialog = owner.findChild<QProgressDialog*>(QStringLiteral("BusyProgress"));
        QVERIFY(dialog);
        QCOMPARE(dialog->value(), 1000);
    }
    // Going on to a window of the shell's is refused with a message rather than done halfway.
    bool refused = false;
    try {
        ui::navigator().openStepTwo(nullptr, false);
    } catch (const AppError& e) {
        refused = e.text().contains(QStringLiteral("主窗口"));
    }
    QVERIFY(refused);
}

QTEST_MAIN(BusyProgressTest)
#include "test_busy_progress.moc"
