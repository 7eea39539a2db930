// The moment a window is first painted: the hook the program uses to build its stand-in main
// window only after the login window is up, and the start probe the benchmark reads.
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "app/application.h"
#include "app/startup_probe.h"

class StartupProbeTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void runsOnceAfterTheFirstPaintHasBeenHandled();
    void withoutTheVariableNothingWatchesTheWindow();
    void programReportsItsLoginWindowPaintedAndEnds();
};

void StartupProbeTest::initTestCase()
{
    app::setup(*qApp);
    qunsetenv("EXAVORO_STARTUP_PROBE");
}

namespace {
// Counts the paints a widget has been sent.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};
}  // namespace

void StartupProbeTest::runsOnceAfterTheFirstPaintHasBeenHandled()
{
    QDialog dialog;
    new QLabel(QStringLiteral("欢迎使用本软件"), &dialog);
    PaintCounter counter;
    dialog.installEventFilter(&counter);
    int runs = 0;
    int paintsSeen = -1;
    app::afterFirstPaint(&dialog, [&] {
        ++runs;
        paintsSeen = counter.paints;
    });
    QCoreApplication::processEvents();
    QCOMPARE(runs, 0);  // nothing before the window is shown

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTRY_COMPARE(runs, 1);
    QVERIFY(paintsSeen >= 1);

    // Later paints run nothing again.
    dialog.repaint();
    dialog.hide();
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTRY_VERIFY(counter.paints > paintsSeen);
    QCoreApplication::processEvents();
    QCOMPARE(runs, 1);
}

void StartupProbeTest::withoutTheVariableNothingWatchesTheWindow()
{
    QDialog dialog;
    const int before = dialog.children().size();
    app::probeStartup(&dialog);
    QCOMPARE(dialog.children().size(), before);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCoreApplication::processEvents();
    QVERIFY(dialog.isVisible());  // and the process goes on
}

void StartupProbeTest::programReportsItsLoginWindowPaintedAndEnds()
{
    // The real program in an empty folder: it shows the login window (nothing is opened before a
    // login), writes the moment of its first paint and ends.
    QTemporaryDir folder;
    QProcess program;
    program.setWorkingDirectory(folder.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("EXAVORO_STARTUP_PROBE"), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(env);
    const long long before = app::monotonicNanoseconds();
    program.start(QStringLiteral(EXAVORO_PROGRAM), {});
    QVERIFY(program.waitForFinished(60000));
    const long long after = app::monotonicNanoseconds();
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    bool ok = false;
    const long long painted = QString::fromUtf8(program.readAllStandardOutput()).trimmed().toLongLong(&ok);
    QVERIFY(ok);
    QVERIFY(painted > before);
    QVERIFY(painted < after);
    QVERIFY(!QDir(folder.path()).exists(QStringLiteral("Data")));  // no bank was made or opened
}

QTEST_MAIN(StartupProbeTest)
#include "test_startup_probe.moc"
