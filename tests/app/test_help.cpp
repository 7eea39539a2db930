// The help: the program itself carries its help page, and both help buttons (the main window's
// "帮助" and the wizard's "使用帮助") open it with its text.
#include "app/application.h"
#include "app/forms.h"
#include "app/main_window.h"
#include "test_support.h"
#include "wizard/detail_settings.h"
#include "../wizard/wizard_fixture.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>

using testing::Workspace;

namespace {

QTextBrowser* openHelpBrowser()
{
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->objectName() == QLatin1String("HelpWindow") && top->isVisible()) {
            return top->findChild<QTextBrowser*>(QStringLiteral("HelpBrowser"));
        }
    }
    return nullptr;
}

void closeHelp()
{
    if (QTextBrowser* browser = openHelpBrowser()) browser->window()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

class HelpTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void cleanup() { testing::closeAllWindows(); }
    void programCarriesItsHelpPage();
    void helpButtonsShowTheHelpText();
};

void HelpTest::programCarriesItsHelpPage()
{
    // The installed program, not this test: its own start-up must make the help page available.
    QTemporaryDir folder;
    QProcess program;
    program.setWorkingDirectory(folder.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(EXAVORO_PROGRAM), {QStringLiteral("--self-check")});
    QVERIFY2(program.waitForFinished(60000), "the program did not finish its check");
    const QString out = QString::fromUtf8(program.readAllStandardOutput()).trimmed();
    QVERIFY2(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0,
             qPrintable(out + QString::fromUtf8(program.readAllStandardError())));

    const QStringList fields = out.split(QStringLiteral(" | "));
    QCOMPARE(fields.size(), 3);
    QCOMPARE(fields.at(0), QStringLiteral("help: Exavoro 帮助"));
    QVERIFY2(fields.at(1).toInt() > 1000, qPrintable(out));
    QCOMPARE(fields.at(2), QStringLiteral("题库管理、Exavoro 使用帮助"));
    // The check opens no database and leaves nothing in the working folder.
    QVERIFY(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
}

void HelpTest::helpButtonsShowTheHelpText()
{
    Workspace ws;
    wizardtest::seedSubjects(ws);
    ws.refreshDatasets();

    MainF->show();
    auto* help = testing::child<QToolButton>(MainF, QStringLiteral("SBtnBz"));
    QVERIFY(help);
    help->click();
    QTextBrowser* browser = openHelpBrowser();
    QVERIFY2(browser, "帮助 opened no help window");
    QVERIFY(browser->toPlainText().contains(QStringLiteral("组卷向导")));
    closeHelp();

    TXxszF* step2 = wizardtest::openStepTwo();
    auto* wizardHelp = testing::child<QPushButton>(step2, QStringLiteral("BtnSyb"));
    QVERIFY(wizardHelp);
    QCOMPARE(wizardHelp->text(), QStringLiteral("使用帮助"));
    wizardHelp->click();
    browser = openHelpBrowser();
    QVERIFY2(browser, "使用帮助 opened no help window");
    QCOMPARE(browser->documentTitle(), QStringLiteral("Exavoro 帮助"));
    QVERIFY(browser->toPlainText().contains(QStringLiteral("组卷向导")));
}

QTEST_MAIN(HelpTest)
#include "test_help.moc"
