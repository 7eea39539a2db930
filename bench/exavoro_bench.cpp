// Measures the program's main operations on a generated bank of questions, each beside a
// baseline that does the same work directly with SQLite or libzip, in the same run.
// Prints a table of medians, ratios and the peak memory after login.
#include "app/application.h"
#include "app/forms.h"
#include "app/main_window.h"
#include "data/data_module.h"
#include "data/demo.h"
#include "data/sql.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTextStream>

#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

QTextStream& out()
{
    static QTextStream s(stdout);
    return s;
}

double medianMs(int reps, const std::function<void()>& work, const std::function<void()>& before = {})
{
    std::vector<double> times;
    for (int i = 0; i < reps; ++i) {
        if (before) before();
        QElapsedTimer t;
        t.start();
        work();
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

long peakKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// A thin RAII wrapper for the baselines.
struct Lite {
    sqlite3* db = nullptr;
    explicit Lite(const QString& path)
    {
        if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            qFatal("cannot open %s", qPrintable(path));
        }
    }
    ~Lite() { sqlite3_close(db); }
    void exec(const char* sqlText) { sqlite3_exec(db, sqlText, nullptr, nullptr, nullptr); }
    // Steps a statement to its end, touching every column as the program would read it.
    long long readAll(const char* sqlText, const std::vector<QByteArray>& binds = {})
    {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sqlText, -1, &st, nullptr);
        for (size_t i = 0; i < binds.size(); ++i) {
            sqlite3_bind_text(st, static_cast<int>(i + 1), binds[i].constData(), binds[i].size(), SQLITE_TRANSIENT);
        }
        long long bytes = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            const int n = sqlite3_column_count(st);
            for (int c = 0; c < n; ++c) {
                sqlite3_column_text(st, c);
                bytes += sqlite3_column_bytes(st, c);
            }
        }
        sqlite3_finalize(st);
        return bytes;
    }
};

struct Row {
    QString operation, ours, baseline;
    double oursMs = 0, baselineMs = 0, target = 0;
};

QVector<Row> g_rows;

void report(const Row& row)
{
    g_rows.append(row);
    out() << QStringLiteral("  %1: ours %2 ms, baseline %3 ms, ratio %4 (target ≤ %5)\n")
                 .arg(row.operation)
                 .arg(row.oursMs, 0, 'f', 2)
                 .arg(row.baselineMs, 0, 'f', 2)
                 .arg(row.oursMs / row.baselineMs, 0, 'f', 2)
                 .arg(row.target)
          << Qt::flush;
}

int childLoginMemory(const QString& dataDir)
{
    QDir::setCurrent(dataDir);
    DM = new TDM(qApp);
    auto* main = new TMainF(nullptr);
    MainF = main;
    DM->connectTo(TDM::defaultDatabasePath());
    main->fillSubjectBox();
    out() << peakKb() << "\n" << Qt::flush;
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    Application application(argc, argv);
    app::setup(application);
    const QStringList args = application.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--login-memory")) return childLoginMemory(args[2]);

    int questions = 100000, reps = 9;
    QString work = QDir::current().absoluteFilePath(QStringLiteral("bench-work"));
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--questions")) questions = args[i + 1].toInt();
        if (args[i] == QLatin1String("--reps")) reps = args[i + 1].toInt();
        if (args[i] == QLatin1String("--work")) work = QDir::current().absoluteFilePath(args[i + 1]);
    }
    QDir().mkpath(work);
    const QString bank = QDir(work).absoluteFilePath(QStringLiteral("bank-%1.db").arg(questions));
    if (!QFileInfo::exists(bank)) {
        out() << "generating a bank of " << questions << " questions: " << bank << "\n" << Qt::flush;
        QElapsedTimer t;
        t.start();
        demo::createGeneratedDatabase(bank, questions);
        out() << "  done in " << t.elapsed() / 1000.0 << " s\n" << Qt::flush;
    }
    // Every run works on a fresh copy in Data/examdb.db, where the program looks for it.
    const QString runDir = QDir(work).absoluteFilePath(QStringLiteral("run"));
    QDir(runDir).removeRecursively();
    QDir().mkpath(runDir + QStringLiteral("/Data"));
    const QString path = runDir + QStringLiteral("/Data/examdb.db");
    QFile::copy(bank, path);
    QDir::setCurrent(runDir);
    const double fileMb = QFileInfo(path).size() / 1048576.0;
    out() << "bank file: " << QString::number(fileMb, 'f', 1) << " MiB, " << reps << " repetitions each\n"
          << Qt::flush;

    DM = new TDM(&application);
    auto* main = new TMainF(nullptr);
    MainF = main;

    // 1. Login: connect and open every dataset, fill the subject box.
    {
        Row r{QStringLiteral("login: connect, open every dataset, read the users"),
              QStringLiteral("TDM::connectTo (six datasets) + the login check's scan of AdoMmb"),
              QStringLiteral("sqlite3_open_v2 + one read of mmb (yhm, mm, qx)")};
        r.target = 1.5;
        r.oursMs = medianMs(reps, [&] {
            DM->connectTo(path);
            // The login check reads every user's name, password and level.
            Dataset* mmb = DM->AdoMmb;
            int found = 0;
            for (mmb->first(); !mmb->eof(); mmb->next()) {
                if (mmb->str(QStringLiteral("yhm")) == QLatin1String("admin") && !mmb->str(QStringLiteral("mm")).isEmpty())
                    found = mmb->str(QStringLiteral("qx")).toInt();
            }
            if (found != 3) qFatal("login check found no super user");
        });
        r.baselineMs = medianMs(reps, [&] {
            Lite lite(path);
            lite.readAll("SELECT yhm, mm, qx FROM mmb ORDER BY id");
        });
        report(r);
    }

    // Peak memory after login, in a fresh process.
    long loginKb = -1;
    {
        QProcess child;
        child.start(application.applicationFilePath(), {QStringLiteral("--login-memory"), runDir});
        child.waitForFinished(120000);
        loginKb = QString::fromUtf8(child.readAllStandardOutput()).trimmed().toLong();
    }

    out() << "\n| Operation | Ours (program code) | Baseline (same work) | Ours median ms | Baseline median ms | Ratio | Target |\n"
          << "|---|---|---|---|---|---|---|\n";
    for (const Row& r : g_rows) {
        out() << "| " << r.operation << " | " << r.ours << " | " << r.baseline << " | "
              << QString::number(r.oursMs, 'f', 2) << " | " << QString::number(r.baselineMs, 'f', 2) << " | "
              << QString::number(r.oursMs / r.baselineMs, 'f', 2) << " | ≤ " << r.target << " |\n";
    }
    const double loginMb = loginKb / 1024.0;
    out() << "| peak memory after login (VmHWM of a fresh process) | | database file size | "
          << QString::number(loginMb, 'f', 1) << " MiB | " << QString::number(fileMb, 'f', 1) << " MiB | "
          << QString::number(loginMb / fileMb, 'f', 3) << " | ≤ 0.25 |\n"
          << Qt::flush;
    delete main;
    return 0;
}
