// Measures the program's main operations on a generated bank of questions, each beside a
// baseline that does the same work directly with SQLite or libzip, in the same run.
// Prints a table of medians, ratios and the peak memory after login.
#include <fcntl.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>
#include <zip.h>

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QUrl>
#include <QWindow>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QStringEncoder>
#include <algorithm>
#include <functional>
#include <memory>
#include <numeric>
#include <optional>
#include <vector>

#include <xlsxwriter.h>

#include <random>

#include "analysis/item_analysis.h"
#include "analysis/score_sheet.h"
#include "app/application.h"
#include "ui/db_grid.h"
#include "ui/forms.h"
#include "app/login.h"
#include "app/main_window.h"
#include "app/navigator.h"
#include "app/startup_probe.h"
#include "windows/bank/question_entry.h"
#include "blueprint/blueprint_plan.h"
#include "windows/blueprint/blueprint_window.h"
#include "content/content.h"
#include "content/pandoc.h"
#include "content/zip_guard.h"
#include "content/formulas.h"
#include "windows/bank/subject_settings.h"
#include "data/backup.h"
#include "data/data_module.h"
#include "data/question_fields.h"
#include "demo/demo.h"
#include "data/engine.h"
#include "data/errors.h"
#include "data/numbering.h"
#include "data/question_search.h"
#include "data/duplicates.h"
#include "data/recycle.h"
#include "data/sql.h"
#include "exchange/moodle.h"
#include "exchange/paper_import.h"
#include "exchange/question_store.h"
#include "windows/library/library_window.h"
#include "library/paper_store.h"
#include "output/paper_document.h"
#include "windows/wizard/detail_settings.h"
#include "windows/wizard/overall_settings.h"
#include "ui/handler.h"

namespace {

QTextStream& out()
{
    static QTextStream s(stdout);
    return s;
}

// A question text of 180 characters drawn from a few hundred by a generator seeded with `n`: texts
// of different n share hardly a run of three characters, so storing one finds no similar question
// (question entry would otherwise stop at its 查重 dialog from the second store on).
QString distinctText(int n)
{
    static const QString pool = QStringLiteral(
        "的一是在不了有和人这中大为上个国我以要他时来用们生到作地于出就分对成会可主发年动同工也能下过子说产种面而方后多定行学法所"
        "民得经十三之进着等部度家电力里如水化高自二理起小物现实加量都两体制机当使点从业本去把性好应开它合还因由其些然前外天政四日"
        "那社义事平形相全表间样与关各重新线内数正心反你明看原又么利比或但质气第向道命此变条只没结解问意建月公无系军很情者最立代想"
        "已通并提直题党程展五果料象员革位入常文总次品式活设及管特件长求老头基资边流路级少图山统接知较将组见计别她手角期根论运农指");
    quint64 state = 0x9E3779B97F4A7C15ULL * quint64(n + 1);
    QString text;
    for (int i = 0; i < 180; ++i) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        text += pool.at(int((state >> 33) % quint64(pool.size())));
    }
    return text;
}

// What storing a question through question entry asks the bank for besides the INSERT: its
// duplicate check's candidate query (the index's MATCH of the text's trigram groups, first 200 by
// rank), made beforehand for `text` and stepped here through SQLite alone.
struct CandidateQuery {
    QByteArray match, kmh;
    void prepare(const QString& text, const QString& subject)
    {
        match = duplicates::indexMatch(duplicates::probeTrigrams(text)).toUtf8();
        kmh = subject.toUtf8();
    }
};
const char* const kCandidateSql =
    "SELECT s.id, s.txh, s.th, s.tm FROM stb_search CROSS JOIN stb AS s ON s.id = stb_search.rowid"
    " WHERE stb_search MATCH ?1 AND s.kmh = ?2 AND s.id <> 0 ORDER BY stb_search.rank LIMIT 200";

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
        // The page cache and mapping the program's own connection works with (sql::tuneForLists),
        // so that a baseline reads the file as fast as the program can.
        exec("PRAGMA cache_size = -32768; PRAGMA mmap_size = 67108864;");
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

// A row's target as the tables show it; a row without one (target 0) stands beside another that has one.
QString targetText(const Row& row)
{
    return row.target > 0 ? QStringLiteral("target ≤ %1").arg(row.target) : QStringLiteral("no target");
}

void printRow(const Row& row)
{
    g_rows.append(row);
    out() << QStringLiteral("  %1: ours %2 ms, baseline %3 ms, ratio %4 (%5)\n")
                 .arg(row.operation)
                 .arg(row.oursMs, 0, 'f', 2)
                 .arg(row.baselineMs, 0, 'f', 2)
                 .arg(row.oursMs / row.baselineMs, 0, 'f', 2)
                 .arg(targetText(row))
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

// A figure as a teacher would paste it: a 480×320 PNG of a triangle with labelled corners.
QByteArray trianglePng()
{
    QImage image(480, 320, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 3));
    painter.drawPolygon(QPolygon({QPoint(60, 280), QPoint(420, 280), QPoint(300, 50)}));
    painter.drawText(QPoint(40, 300), QStringLiteral("A"));
    painter.drawText(QPoint(430, 300), QStringLiteral("B"));
    painter.drawText(QPoint(300, 40), QStringLiteral("C"));
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}


// ---- the table of a bank of 1,000,000 questions -----------------------------------------------
//
// Each row is a function taking the bank it runs on, so that another engine's bank (a server
// connection with its own baseline) can be measured by the same rows.

// The SQLite handle under the program's connection.
sqlite3* handleOf(const QSqlDatabase& db)
{
    const QVariant v = db.driver()->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0) qFatal("the connection is not SQLite");
    return *static_cast<sqlite3* const*>(v.constData());
}

// Medians of two kinds of work measured in alternation, so that a change in the machine's load
// meets both alike.
std::pair<double, double> alternatingMedians(int reps, const std::function<double()>& first,
                                             const std::function<double()>& second)
{
    std::vector<double> a, b;
    for (int i = 0; i < reps; ++i) {
        a.push_back(first());
        b.push_back(second());
    }
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    return {a[a.size() / 2], b[b.size() / 2]};
}

struct Bank {
    QString path;    // the file the program opens
    QString runDir;  // the folder the program runs in (Data/ below it)
    double fileMb = 0;
    QString cachedBank;  // the generated bank, kept from one run to the next; this run works on a copy
    // The largest type of the bank and its subject.
    QString kmh, kmm, txh, txm;
    int typeSize = 0;
    // Chapters of that subject ticked for composing, so that about half the type are candidates.
    QStringList tickedChapters;
    // The subject whose size is nearest to 100,000 questions, for deleting a subject.
    QString deletedKmh;
    // The type nearest to 2,000 questions, for the entry grid on a type of everyday size.
    QString smallKmh, smallKmm, smallTxh, smallTxm;
    int smallTypeSize = 0;
};

// Finds the largest type and the chapters that make about half of it candidates.
void describeLargeBank(Bank& bank)
{
    Lite lite(bank.path);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(lite.db, "SELECT kmh, txh, COUNT(*) AS n FROM stb GROUP BY kmh, txh ORDER BY n DESC LIMIT 1", -1,
                       &st, nullptr);
    if (sqlite3_step(st) != SQLITE_ROW) qFatal("the bank holds no questions");
    bank.kmh = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    bank.txh = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
    bank.typeSize = sqlite3_column_int(st, 2);
    sqlite3_finalize(st);
    QSqlDatabase db = DM->db();
    bank.kmm = sql::scalar(db, QStringLiteral("SELECT kmm FROM kmb WHERE kmh=? ORDER BY id LIMIT 1"), {bank.kmh});
    bank.txm = sql::scalar(db, QStringLiteral("SELECT txm FROM txb WHERE kmh=? AND txh=? ORDER BY id LIMIT 1"),
                           {bank.kmh, bank.txh});
    QHash<QString, int> perChapter;
    {
        sql::Reader q(db, QStringLiteral("SELECT zjh, COUNT(*) FROM stb WHERE kmh=? AND txh=? GROUP BY zjh"),
                      {bank.kmh, bank.txh});
        while (q.next()) perChapter.insert(q.text(0), int(q.int64(1)));
    }
    bank.deletedKmh = sql::scalar(
        db, QStringLiteral("SELECT kmh FROM stb GROUP BY kmh ORDER BY abs(COUNT(*) - 100000), kmh LIMIT 1"));
    {
        sql::Reader small(db, QStringLiteral("SELECT kmh, txh, COUNT(*) AS n FROM stb GROUP BY kmh, txh"
                                             " ORDER BY abs(COUNT(*) - 2000), kmh, txh LIMIT 1"));
        if (!small.next()) qFatal("the bank holds no questions");
        bank.smallKmh = small.text(0);
        bank.smallTxh = small.text(1);
        bank.smallTypeSize = int(small.int64(2));
    }
    bank.smallKmm = sql::scalar(db, QStringLiteral("SELECT kmm FROM kmb WHERE kmh=? ORDER BY id LIMIT 1"), {bank.smallKmh});
    bank.smallTxm = sql::scalar(db, QStringLiteral("SELECT txm FROM txb WHERE kmh=? AND txh=? ORDER BY id LIMIT 1"),
                                {bank.smallKmh, bank.smallTxh});
    int sum = 0;
    sql::Reader q(db, QStringLiteral("SELECT zjh, zjm FROM zjb WHERE kmh=? ORDER BY id"), {bank.kmh});
    while (q.next() && sum < bank.typeSize / 2) {
        sum += perChapter.value(q.text(0));
        bank.tickedChapters << q.text(1);
    }
}

// The login check's read of the users: every row's name, password and level, from AdoMmb.
// A server keeps no password hash (the server checks the password): mm stays empty there.
void readUsersAsTheLoginDoes(bool onServer = false)
{
    Dataset* mmb = DM->AdoMmb;
    int found = 0;
    for (mmb->first(); !mmb->eof(); mmb->next()) {
        if (mmb->str(QStringLiteral("yhm")) == QLatin1String("admin") &&
            (onServer || !mmb->str(QStringLiteral("mm")).isEmpty()))
            found = mmb->str(QStringLiteral("qx")).toInt();
    }
    if (found != 3) qFatal("login check found no super user");
}

// Logging in: every dataset opened, the users read. Three rows: logging in again in a program that
// has the file open (the connection kept), a program's login after its login window has opened the
// file ahead (as main() does while the user types), and opening the file cold at the login with
// nothing open, which also takes the bank's lock (a guard database and a lock file held with
// flock) that keeps a second program off the file.
std::vector<Row> loginRows(const QString& path, int reps)
{
    engine::Location location;
    location.file = path;
    auto login = [&](int before) {
        if (before > 0) DM->disconnectFromBank();
        if (before > 1) DM->openBankAhead(location);
        QElapsedTimer t;
        t.start();
        DM->connectTo(path);
        readUsersAsTheLoginDoes();
        return t.nsecsElapsed() / 1e6;
    };
    auto baseline = [&] {
        QElapsedTimer t;
        t.start();
        Lite lite(path);
        lite.readAll("SELECT yhm, mm, qx FROM mmb ORDER BY id");
        return t.nsecsElapsed() / 1e6;
    };
    const QString opened = QStringLiteral("sqlite3_open_v2 + one read of mmb (yhm, mm, qx)");
    Row again{QStringLiteral("login again: open every dataset, read the users"),
              QStringLiteral("TDM::connectTo on the file kept open (unchanged) + the login check's scan of AdoMmb"),
              opened};
    again.target = 1.5;
    std::tie(again.oursMs, again.baselineMs) = alternatingMedians(reps, [&] { return login(0); }, baseline);
    Row ahead{QStringLiteral("login: 确定 after the login window has opened the bank"),
              QStringLiteral("TDM::connectTo after TDM::openBankAhead (not timed) + the scan of AdoMmb"), opened};
    ahead.target = 1.5;
    std::tie(ahead.oursMs, ahead.baselineMs) = alternatingMedians(reps, [&] { return login(2); }, baseline);
    // Opening the file cold and keeping a second program off it: the file opened, an exclusive
    // flock on a lock file beside it (created each time, not synced), the users read. The lock is
    // released and the file closed after the time, as the program's disconnection is not timed.
    const QByteArray lockPath = QFile::encodeName(path + QStringLiteral(".bench-lock"));
    auto lockedBaseline = [&] {
        QElapsedTimer t;
        t.start();
        auto lite = std::make_unique<Lite>(path);
        const int fd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0) qFatal("cannot lock %s", lockPath.constData());
        lite->readAll("SELECT yhm, mm, qx FROM mmb ORDER BY id");
        const double ms = t.nsecsElapsed() / 1e6;
        ::flock(fd, LOCK_UN);
        ::close(fd);
        ::unlink(lockPath.constData());
        lite.reset();
        return ms;
    };
    Row first{QStringLiteral("opening the bank cold at login: the same, the file opened and its lock taken"),
              QStringLiteral("TDM::connectTo with no bank open (guard database, flock on the lock file)"),
              QStringLiteral("sqlite3_open_v2 + flock(LOCK_EX) on a lock file beside it (created, not synced) + one read of "
                             "mmb (yhm, mm, qx)")};
    first.target = 1.5;
    std::tie(first.oursMs, first.baselineMs) = alternatingMedians(reps, [&] { return login(1); }, lockedBaseline);
    return {again, ahead, first};
}

// The rows on screen of a grid as it is shown.
int screenRows(QTableView* grid)
{
    const int height = grid->verticalHeader()->defaultSectionSize();
    return qMax(1, grid->viewport()->height() / qMax(1, height) + 1);
}

// The rows on screen of the entry grid, as the grid row found them.
int& screenRowsSeen()
{
    static int rows = 13;
    return rows;
}

// Counts the paint events a widget receives, so that a row can check that every repetition painted.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// The grid's statement stepped over the first screen of rows: the reading alone, with no view.
double steppedScreenMs(const QString& kmhText, const QString& txhText, Lite& lite, int rows, int reps)
{
    const QByteArray kmh = kmhText.toUtf8(), txh = txhText.toUtf8();
    return medianMs(reps, [&] {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(lite.db,
                           "SELECT id, kmh, txh, th, zjh, nd, fs, \"time\", bz FROM stb WHERE kmh=? AND txh=? ORDER BY id",
                           -1, &st, nullptr);
        sqlite3_bind_text(st, 1, kmh.constData(), kmh.size(), SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, txh.constData(), txh.size(), SQLITE_TRANSIENT);
        for (int i = 0; i < rows && sqlite3_step(st) == SQLITE_ROW; ++i) {
            for (int c = 0; c < 9; ++c) sqlite3_column_text(st, c);
        }
        sqlite3_finalize(st);
    });
}

// Question entry showing a type: its subject and type chosen, the grid opened and painted.
void showEntryType(TLrstF* entry, const QString& kmm, const QString& txm)
{
    entry->ComboBoxKm->setCurrentText(kmm);
    entry->ComboBoxKmChange();
    entry->ComboBoxTx->setCurrentText(txm);
    entry->ComboBoxTxChange();
    QCoreApplication::processEvents();
}

// Opening question entry's grid on one type (already chosen in `entry`), painted, beside what a
// plain Qt program does to show the same rows: a QTableView over a QSqlQueryModel of the grid's
// statement on its own connection to the file, the view as large as the grid's, its query set
// afresh and the view laid out and painted each repetition.
Row largeEntryGridRow(const Bank& bank, TLrstF* entry, const QString& kmh, const QString& txh, int typeSize, int reps)
{
    screenRowsSeen() = screenRows(entry->DBGrid1);
    const QSize viewport = entry->DBGrid1->viewport()->size();
    Row r{QStringLiteral("open question entry's grid on a type of %1 questions, painted").arg(typeSize),
          QStringLiteral("TLrstF::ComboBoxTxChange: lookups, grid query, grid refresh, painted"),
          QStringLiteral("QTableView over QSqlQueryModel of the grid's statement and shown columns (own QSQLITE "
                         "connection), viewport %1×%2, query set afresh, painted")
              .arg(viewport.width())
              .arg(viewport.height())};
    r.target = 1.0;
    PaintCounter oursPaints;
    entry->DBGrid1->viewport()->installEventFilter(&oursPaints);
    r.oursMs = medianMs(reps, [&] {
        entry->ComboBoxTxChange();
        QCoreApplication::processEvents();  // the grid lays out and paints its rows
    });
    entry->DBGrid1->viewport()->removeEventFilter(&oursPaints);
    if (oursPaints.paints < reps) qFatal("the entry grid painted %d times in %d repetitions", oursPaints.paints, reps);

    const QString connection = QStringLiteral("bench-plain-view");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(bank.path);
        if (!db.open()) qFatal("the plain view cannot open the bank");
        QSqlQueryModel model;
        QTableView view;
        view.setModel(&model);
        // The grid's statement and its columns: 题号, 难度, 分数, 录入时间 and the question's
        // beginning (the grid shows at most 80 characters of it), as wide as the grid has them; the
        // other columns read but hidden.
        QVector<int> widths;
        for (int c = 0; c < 5; ++c) widths << entry->DBGrid1->columnWidth(c);
        auto setQuery = [&] {
            QSqlQuery q(db);
            q.prepare(QStringLiteral("SELECT th, nd, fs, \"time\", substr(tm, 1, 80) AS tmh, id, kmh, txh, zjh, bz"
                                     " FROM stb WHERE kmh=? AND txh=? ORDER BY id"));
            q.addBindValue(kmh);
            q.addBindValue(txh);
            if (!q.exec()) qFatal("the plain view's query failed");
            model.setQuery(std::move(q));
            for (int c = 0; c < model.columnCount(); ++c) {
                view.setColumnHidden(c, c >= widths.size());
                if (c < widths.size()) view.setColumnWidth(c, widths.at(c));
            }
        };
        setQuery();
        view.resize(entry->DBGrid1->size());
        view.show();
        QCoreApplication::processEvents();
        view.resize(view.size() + viewport - view.viewport()->size());  // the same viewport as the grid's
        QCoreApplication::processEvents();
        if (view.viewport()->size() != viewport) qFatal("the plain view's viewport differs from the grid's");
        if (model.rowCount() == 0) qFatal("the plain view shows no rows");
        PaintCounter plainPaints;
        view.viewport()->installEventFilter(&plainPaints);
        r.baselineMs = medianMs(reps, [&] {
            setQuery();
            QCoreApplication::processEvents();  // the view lays out and paints its rows
        });
        view.viewport()->removeEventFilter(&plainPaints);
        if (plainPaints.paints < reps) qFatal("the plain view painted %d times in %d repetitions", plainPaints.paints, reps);
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return r;
}

// The part of opening the grid that reads the bank: the grid's dataset as TLrstF::openGrid sets it
// up (its statement, the kept count, texts deferred), opened on its own, with no view to reset or
// paint. The rest of the row above is the table view's work: its header laid out for every row,
// the rows on screen painted.
Row largeEntryGridDataRow(const Bank& bank, Lite& lite, int reps)
{
    Row r{QStringLiteral("read the entry grid's rows on a type of %1 questions (no view)").arg(bank.typeSize),
          QStringLiteral("the grid's Dataset opened: first rows with the kept count, one statement"),
          QStringLiteral("the same query stepped over the first screen of rows (%1)").arg(screenRowsSeen())};
    r.target = 1.5;
    r.baselineMs = steppedScreenMs(bank.kmh, bank.txh, lite, screenRowsSeen(), reps);
    Dataset grid(QStringLiteral("benchGrid"));
    grid.setConnectionName(TDM::connectionName());
    grid.setKeyedSql(QStringLiteral("SELECT id, kmh, txh, th, zjh, nd, fs, \"time\", bz FROM stb WHERE kmh=? AND txh=?"),
                     QStringLiteral("id"), {bank.kmh, bank.txh},
                     QStringLiteral("SELECT COALESCE((SELECT n FROM question_counts WHERE kmh=? AND txh=?), 0)"));
    grid.setDeferredFields(QStringLiteral("stb"), QStringLiteral("id"), {QStringLiteral("tm"), QStringLiteral("da")});
    grid.setFirstRows(std::max(16, screenRowsSeen() + 2));  // as openGrid tells it
    r.oursMs = medianMs(reps, [&] {
        grid.close();
        grid.open();
    });
    if (grid.recordCount() != bank.typeSize) qFatal("the grid's dataset counted %d rows", grid.recordCount());
    return r;
}

Row largeStoreRow(const Bank& bank, TLrstF* entry, Lite& lite, int reps)
{
    int stored = 0;
    Row r{QStringLiteral("store a numbered question into a type of %1 questions").arg(bank.typeSize),
          QStringLiteral("TLrstF::BtnXtrkClick: lookups, next number, append and post, grid reopened"),
          QStringLiteral("its duplicate check's candidate query stepped through SQLite, then one prepared INSERT of the"
                         " same row (autocommit)")};
    r.target = 2;
    r.oursMs = medianMs(
        reps, [&] { entry->BtnXtrkClick(); },
        [&] {
            const QString text = distinctText(++stored);
            entry->MemoTm->setPlainText(text);
            entry->MemoDa->setPlainText(text);
            entry->EditFs->setText(QStringLiteral("5"));
        });
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(lite.db,
                       "INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, \"time\", bz) VALUES (?,?,?,?,?,?,?,?,?,?)",
                       -1, &insert, nullptr);
    const QByteArray kmh = bank.kmh.toUtf8(), txh = bank.txh.toUtf8();
    int number = 900000;
    QByteArray t;  // made before each store, outside the time measured, as the window's text is
    CandidateQuery candidates;
    r.baselineMs = medianMs(reps, [&] {
        lite.readAll(kCandidateSql, {candidates.match, candidates.kmh});
        const QByteArray th = QByteArray::number(++number);
        const QByteArray values[] = {kmh, txh, th, "01", "易", "5", t, t, "10:00:00", ""};
        for (int i = 0; i < 10; ++i) {
            sqlite3_bind_text(insert, i + 1, values[i].constData(), values[i].size(), SQLITE_TRANSIENT);
        }
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }, [&] {
        t = distinctText(++stored).toUtf8();
        candidates.prepare(QString::fromUtf8(t), bank.kmh);
    });
    sqlite3_finalize(insert);
    return r;
}

// Finding questions by what they say, on the bank open in DM (a file): a 4-character phrase taken
// from the middle of a question halfway through the bank, searched in the whole bank (first 50
// and the count) beside the same FTS5 query alone and beside LIKE reading every text; storing a
// question with the search index kept beside storing it without (its triggers dropped for the
// measurement and made again, the index untouched); and the index's size beside the bank's.
void printSearchRows(Lite& lite, int reps)
{
    QSqlDatabase db = DM->db();
    const qint64 middle = sql::scalar(db, QStringLiteral("SELECT id FROM stb ORDER BY id LIMIT 1 OFFSET "
                                                         "(SELECT COUNT(*) / 2 FROM stb)")).toLongLong();
    const QString text = sql::scalar(db, QStringLiteral("SELECT tm FROM stb WHERE id=?"), {middle});
    QString phrase;
    for (int at = int(text.size()) / 2; at + 4 <= text.size() && phrase.isEmpty(); ++at) {
        const QString part = text.mid(at, 4);
        if (!part.contains(QStringLiteral("，")) && !part.contains(QStringLiteral("。"))) phrase = part;
    }
    if (phrase.isEmpty()) phrase = text.left(4);
    question_search::Result found;
    const double ours = medianMs(reps, [&] { found = question_search::find(db, phrase, {}, 50); });
    out() << "search phrase \"" << phrase << "\": " << found.total << " questions\n" << Qt::flush;
    const QByteArray match = ("\"" + phrase + "\"").toUtf8();
    {
        Row r{QStringLiteral("search a 4-character phrase in the whole bank (%1 found), first 50 with the count").arg(found.total),
              QStringLiteral("question_search::find: marker check, ordered first 50 with the count, their rows"),
              QStringLiteral("the same FTS5 match alone, every rowid stepped")};
        r.target = 1.5;
        r.oursMs = ours;
        r.baselineMs = medianMs(reps, [&] { lite.readAll("SELECT rowid FROM stb_search WHERE stb_search MATCH ?", {match}); });
        printRow(r);
    }
    {
        const QByteArray like = ("%" + phrase + "%").toUtf8();
        Row r{QStringLiteral("the same search beside LIKE '%…%' over every question and answer (target: ours ≤ 1/100)"),
              QStringLiteral("question_search::find, as above"),
              QStringLiteral("SELECT … WHERE tm LIKE ? OR da LIKE ?, ordered, first 50 with the count")};
        r.target = 0.01;
        r.oursMs = ours;
        r.baselineMs = medianMs(std::min(reps, 3), [&] {
            lite.readAll("SELECT id, count(*) OVER () FROM stb WHERE tm LIKE ?1 OR da LIKE ?1"
                         " ORDER BY kmh, txh, length(th), th, id LIMIT 50",
                         {like});
        });
        printRow(r);
    }
    {
        // Stored straight through the program's connection, one transaction each, in a type of
        // its own so that no list is disturbed.
        const QString words = QStringLiteral("下列关于计算机网络的说法中，哪一项是正确的？请说明理由并举例。").repeated(6);
        const QString kmh = sql::scalar(db, QStringLiteral("SELECT kmh FROM kmb ORDER BY id LIMIT 1"));
        const QString txh = sql::scalar(db, QStringLiteral("SELECT txh FROM txb WHERE kmh=? ORDER BY id LIMIT 1"), {kmh});
        int number = 9000000;
        auto store = [&] {
            sql::transaction(db, [&] {
                sql::exec(db, QStringLiteral("INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, \"time\", bz)"
                                             " VALUES (?,?,?,'01','易','5',?,?,'10:00:00','')"),
                          {kmh, txh, QString::number(++number), words, words});
            });
        };
        Row r{QStringLiteral("store a question with the search index kept"),
              QStringLiteral("INSERT into stb in a transaction, the index's triggers following"),
              QStringLiteral("the same INSERT with the index's triggers dropped")};
        r.target = 1.5;
        r.oursMs = medianMs(reps, store);
        const int firstWithout = number + 1;
        const QStringList keep = engine::searchIndexStatements(db);
        for (const char* trigger : {"stb_search_insert", "stb_search_delete", "stb_search_update"}) {
            sql::run(db, QStringLiteral("DROP TRIGGER %1").arg(QLatin1String(trigger)));
        }
        r.baselineMs = medianMs(reps, store);
        // The rows stored without the index go again while it does not follow; then it follows again.
        sql::run(db, QStringLiteral("DELETE FROM stb WHERE kmh=? AND txh=? AND length(th)=7 AND th>=?"),
                 {kmh, txh, QString::number(firstWithout)});
        for (const QString& statement : keep) {
            if (statement.startsWith(QLatin1String("CREATE TRIGGER"))) sql::run(db, statement);
        }
        sql::run(db, QStringLiteral("DELETE FROM stb WHERE kmh=? AND txh=? AND length(th)=7"), {kmh, txh});
        printRow(r);
    }
    // Sizes from SQLite's own page list, where it is built in.
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(lite.db,
                           "SELECT SUM(CASE WHEN name LIKE 'stb\\_search%' ESCAPE '\\' THEN pgsize ELSE 0 END),"
                           " SUM(pgsize) FROM dbstat",
                           -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
        const double index = sqlite3_column_int64(st, 0) / 1048576.0, all = sqlite3_column_int64(st, 1) / 1048576.0;
        out() << "  search index: " << QString::number(index, 'f', 1) << " MiB of a bank of " << QString::number(all, 'f', 1)
              << " MiB (" << QString::number(100 * index / all, 'f', 1) << " %)\n"
              << Qt::flush;
    } else {
        out() << "  search index size: SQLite here has no dbstat table\n" << Qt::flush;
    }
    sqlite3_finalize(st);
    {
        // A phrase teachers write often: put into 5,000 questions spread over this copy of the bank
        // (the index following in the same transaction), then searched as above. The first 50 in
        // the order of subject, type and number need every match's place, read from its question:
        // beside the bare match, and beside the same ordered query through SQLite alone. Last, as
        // the change leaves the index with segments still to merge, which the store above would feel.
        const QString common = QStringLiteral("勾股定理");
        const qint64 all = sql::scalar(db, QStringLiteral("SELECT COUNT(*) FROM stb")).toLongLong();
        QSqlDatabase conn = db;
        sql::transaction(conn, [&] {
            sql::exec(db, QStringLiteral("UPDATE stb SET tm = substr(tm, 1, 40) || ? || substr(tm, 41) WHERE id % ? = 0"),
                      {common, std::max<qint64>(1, all / 5000)});
        });
        question_search::Result many;
        const double oursMany = medianMs(reps, [&] { many = question_search::find(db, common, {}, 50); });
        const QByteArray commonMatch = ("\"" + common + "\"").toUtf8();
        Row bare{QStringLiteral("search a phrase found in %1 questions, first 50 with the count (no target; see the next row)").arg(many.total),
                 QStringLiteral("question_search::find, as above"),
                 QStringLiteral("the same FTS5 match alone, every rowid stepped")};
        bare.oursMs = oursMany;
        bare.baselineMs = medianMs(reps, [&] { lite.readAll("SELECT rowid FROM stb_search WHERE stb_search MATCH ?", {commonMatch}); });
        printRow(bare);
        Row ordered{QStringLiteral("the same search beside its ordered FTS5 query through SQLite alone"),
                    QStringLiteral("question_search::find, as above"),
                    QStringLiteral("the match joined to stb, ordered by subject, type and number, first 50 with the count")};
        ordered.target = 1.5;
        ordered.oursMs = oursMany;
        ordered.baselineMs = medianMs(reps, [&] {
            lite.readAll("SELECT s.id, count(*) OVER () FROM stb_search CROSS JOIN stb AS s ON s.id = stb_search.rowid"
                         " WHERE stb_search MATCH ? ORDER BY s.kmh, s.txh, length(s.th), s.th, s.id LIMIT 50",
                         {commonMatch});
        });
        printRow(ordered);
    }
}

Row largeCandidateRow(const Bank& bank, TXxszF* step2, Lite& lite, int reps)
{
    step2->SelectTm();
    const int candidates = DM->ADOQuerySt->recordCount();
    Row r{QStringLiteral("candidate query for a type with %1 candidates, and its row count").arg(candidates),
          QStringLiteral("TXxszF::SelectTm + row count (grid bound to it)"),
          QStringLiteral("the same join with the same bound values, stepped and counted")};
    r.target = 1.5;
    int counted = 0;
    r.oursMs = medianMs(reps, [&] {
        step2->SelectTm();
        counted = DM->ADOQuerySt->recordCount();
    });
    long long rows = 0;
    const QByteArray kmh = bank.kmh.toUtf8(), txm = bank.txm.toUtf8();
    r.baselineMs = medianMs(reps, [&] {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(lite.db,
                           "SELECT stb.id, stb.kmh, stb.txh, stb.th, stb.zjh, stb.nd, stb.fs, stb.\"time\", stb.bz, zjb.zjm"
                           " FROM stb, zjb, txb WHERE stb.zjh=zjb.zjh AND stb.txh=txb.txh AND stb.kmh=?"
                           " AND zjb.bz='1' AND txb.txm=? AND zjb.kmh=? AND txb.kmh=? ORDER BY stb.id",
                           -1, &st, nullptr);
        sqlite3_bind_text(st, 1, kmh.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, txm.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 3, kmh.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 4, kmh.constData(), -1, SQLITE_TRANSIENT);
        rows = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            for (int c = 0; c < 10; ++c) sqlite3_column_text(st, c);
            ++rows;
        }
        sqlite3_finalize(st);
    });
    if (rows != counted) qFatal("candidate counts differ: %lld and %d", rows, counted);
    return r;
}

Row largeSelectionRow(const Bank& bank, TXxszF* step2, Lite& lite, int reps)
{
    const int candidates = DM->ADOQuerySt->recordCount();
    Row r{QStringLiteral("automatic selection of 200 questions from %1 candidates into sjb").arg(candidates),
          QStringLiteral("TXxszF::SBtnQbyrClick: draws, sjb rows, contents list, flag"),
          QStringLiteral("delete the type's rows, 200 INSERTs into sjb in one transaction")};
    r.target = 2;
    r.oursMs = medianMs(
        reps, [&] { step2->SBtnQbyrClick(); },
        [&] {
            step2->EditTs->setText(QStringLiteral("200"));
            step2->EditZf->setText(QStringLiteral("100"));
        });
    if (sql::scalar(DM->db(), QStringLiteral("SELECT COUNT(*) FROM sjb")).toInt() != 200) {
        qFatal("automatic selection did not write 200 rows");
    }
    // 200 questions of the type spread over the whole type.
    std::vector<qint64> ids;
    {
        sql::Reader q(DM->db(), QStringLiteral("SELECT id FROM stb WHERE kmh=? AND txh=? ORDER BY id"),
                      {bank.kmh, bank.txh});
        const int step = qMax(1, bank.typeSize / 200);
        for (int i = 0; q.next(); ++i) {
            if (i % step == 0 && ids.size() < 200) ids.push_back(q.int64(0));
        }
    }
    const QByteArray kmh = bank.kmh.toUtf8(), txh = bank.txh.toUtf8();
    r.baselineMs = medianMs(reps, [&] {
        lite.exec("BEGIN");
        sqlite3_stmt* del = nullptr;
        sqlite3_prepare_v2(lite.db, "DELETE FROM sjb WHERE kmh=? AND txh=?", -1, &del, nullptr);
        sqlite3_bind_text(del, 1, kmh.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(del, 2, txh.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_step(del);
        sqlite3_finalize(del);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(lite.db,
                           "INSERT INTO sjb (kmh, txh, th, zjh, nd, fs, tm, da, \"time\", bz)"
                           " SELECT kmh, txh, th, zjh, nd, '0.5', tm, da, \"time\", bz FROM stb WHERE id=?",
                           -1, &st, nullptr);
        for (qint64 id : ids) {
            sqlite3_bind_int64(st, 1, id);
            sqlite3_step(st);
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        lite.exec("COMMIT");
    });
    return r;
}

// The statements that change the file, as the program runs them (values in place), recorded
// through SQLite's trace hook while `work` runs.
QVector<QByteArray> recordWrites(const QSqlDatabase& db, const std::function<void()>& work)
{
    QVector<QByteArray> statements;
    sqlite3* handle = handleOf(db);
    auto trace = [](unsigned, void* context, void* p, void*) -> int {
        auto* stmt = static_cast<sqlite3_stmt*>(p);
        if (!sqlite3_stmt_readonly(stmt)) {
            char* text = sqlite3_expanded_sql(stmt);
            if (text) static_cast<QVector<QByteArray>*>(context)->append(QByteArray(text));
            sqlite3_free(text);
        }
        return 0;
    };
    sqlite3_trace_v2(handle, SQLITE_TRACE_STMT, trace, &statements);
    try {
        work();
    } catch (...) {
        sqlite3_trace_v2(handle, 0, nullptr, nullptr);
        throw;
    }
    sqlite3_trace_v2(handle, 0, nullptr, nullptr);
    return statements;
}

// Deleting the subject of about 100,000 questions into the recycle bin as 科目设置 does, beside the same statements
// run directly in one transaction. Each repetition starts from a fresh copy of a bank that holds
// that subject and 10,000 questions of another (the copying is not timed).
Row largeDeleteRow(const Bank& bank, int reps)
{
    // Made once beside the generated bank and kept while that is unchanged.
    QString pristine = bank.cachedBank;
    pristine.replace(QRegularExpression(QStringLiteral("\\.db$")), QStringLiteral("-delete-%1.db").arg(bank.deletedKmh));
    const QString target = bank.runDir + QStringLiteral("/Data/delete.db");
    const QString other =
        sql::scalar(DM->db(), QStringLiteral("SELECT kmh FROM kmb WHERE kmh<>? ORDER BY id LIMIT 1"), {bank.deletedKmh});
    const QFileInfo kept(pristine);
    if (!kept.exists() || kept.lastModified() < QFileInfo(bank.cachedBank).lastModified()) {
        QFile::remove(pristine);
        Lite source(bank.path);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(source.db, "VACUUM INTO ?", -1, &st, nullptr);
        const QByteArray to = pristine.toUtf8();
        sqlite3_bind_text(st, 1, to.constData(), -1, SQLITE_TRANSIENT);
        const int copied = sqlite3_step(st);
        sqlite3_finalize(st);
        if (copied != SQLITE_DONE) {
            // A copy cut short (a full disk) must not be taken for the kept one next time.
            QFile::remove(pristine);
            qFatal("cannot copy the bank for the deletion row: %s", sqlite3_errmsg(source.db));
        }
        Lite prep(pristine);
        prep.exec("PRAGMA journal_mode=OFF");  // a scratch file: no journal for deleting most of it
        prep.exec("BEGIN");
        const QByteArray keep = bank.deletedKmh.toUtf8(), second = other.toUtf8();
        for (const char* statement :
             {"DELETE FROM stb WHERE kmh<>?1 AND (kmh<>?2 OR id NOT IN (SELECT id FROM stb WHERE kmh=?2 ORDER BY id LIMIT 10000))",
              "DELETE FROM kmb WHERE kmh NOT IN (?1, ?2)", "DELETE FROM txb WHERE kmh NOT IN (?1, ?2)",
              "DELETE FROM zjb WHERE kmh NOT IN (?1, ?2)"}) {
            sqlite3_stmt* d = nullptr;
            sqlite3_prepare_v2(prep.db, statement, -1, &d, nullptr);
            sqlite3_bind_text(d, 1, keep.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(d, 2, second.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_step(d);
            sqlite3_finalize(d);
        }
        prep.exec("COMMIT");
        prep.exec("VACUUM");
    }
    const int subjectSize = [&] {
        Lite count(pristine);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(count.db, "SELECT COUNT(*) FROM stb WHERE kmh=?", -1, &st, nullptr);
        const QByteArray kmh = bank.deletedKmh.toUtf8();
        sqlite3_bind_text(st, 1, kmh.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_step(st);
        const int n = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
        return n;
    }();
    auto fresh = [&] {
        DM->disconnectFromBank();
        QFile::remove(target);
        QFile::copy(pristine, target);
        DM->connectTo(target);
        Lite warm(target);
        warm.readAll("SELECT kmh, length(tm), length(da) FROM stb");
    };
    auto programDeletion = [&] {
        DM->transaction({DM->ADOStb, DM->ADOZjb, DM->ADOTxb, DM->ADOKmb}, [&] {
            recycle::keepSubject(DM->db(), bank.deletedKmh, QStringLiteral("admin"));
            TKmszF::DelStb(bank.deletedKmh);
            TKmszF::DelZjb(bank.deletedKmh);
            TKmszF::DelTxb(bank.deletedKmh);
            TKmszF::Delkmb(bank.deletedKmh);
        });
    };
    Row r{QStringLiteral("delete a subject of %1 questions into the recycle bin").arg(subjectSize),
          QStringLiteral("科目设置's deletion: counts, copy into the bin, the four deletions, one transaction, "
                         "datasets re-read"),
          QStringLiteral("the same writing statements (bin copies and deletions) in one transaction")};
    r.target = 1.5;
    fresh();
    const QVector<QByteArray> statements = recordWrites(DM->db(), programDeletion);
    r.oursMs = medianMs(reps, programDeletion, fresh);
    if (sql::scalar(DM->db(), QStringLiteral("SELECT COUNT(*) FROM recycle_stb")).toInt() != subjectSize) {
        qFatal("the recycle bin does not hold the subject's questions");
    }
    r.baselineMs = medianMs(
        reps,
        [&] {
            Lite lite(target);
            lite.exec("BEGIN");
            for (const QByteArray& statement : statements) {
                if (sqlite3_exec(lite.db, statement.constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
                    qFatal("the recorded statement failed: %s", sqlite3_errmsg(lite.db));
                }
            }
            lite.exec("COMMIT");
        },
        [&] {
            fresh();
            DM->disconnectFromBank();  // the baseline has the file to itself
        });
    Lite check(target);
    if (check.readAll("SELECT id FROM stb WHERE kmh=?", {bank.deletedKmh.toUtf8()}) != 0) {
        qFatal("the baseline did not delete the subject");
    }
    DM->disconnectFromBank();
    QFile::remove(target);
    DM->connectTo(bank.path);
    return r;
}

// A 200-question paper (4 sections of 50) written by the program, beside pandoc writing the same
// texts from Markdown into a .docx.
Row largeDocxRow(const Bank& bank, int reps)
{
    PaperContent paper;
    paper.title = QStringLiteral("期末考试试卷");
    paper.duration = QStringLiteral("120");
    paper.total = QStringLiteral("100");
    sql::Reader q(DM->db(), QStringLiteral("SELECT tm, da FROM stb WHERE kmh=? AND txh=? ORDER BY id LIMIT 200"),
                  {bank.kmh, bank.txh});
    QString markdown = QStringLiteral("# %1\n\n考试时间：%2 分钟　满分：%3 分\n\n").arg(paper.title, paper.duration, paper.total);
    QString answers = QStringLiteral("# 参考答案\n\n");
    int n = 0;
    for (int s = 0; s < 4; ++s) {
        PaperSection section;
        section.typeName = QStringLiteral("题型%1").arg(s + 1);
        markdown += QStringLiteral("## %1\n\n").arg(section.typeName);
        answers += QStringLiteral("## %1\n\n").arg(section.typeName);
        for (int i = 0; i < 50 && q.next(); ++i) {
            section.questions.append({q.text(0), q.text(1)});
            ++n;
            markdown += QStringLiteral("%1\\. %2\n\n").arg(n).arg(q.text(0));
            answers += QStringLiteral("%1\\. %2\n\n").arg(n).arg(q.text(1));
        }
        section.count = section.questions.size();
        section.points = 25;
        paper.sections.append(section);
    }
    const QString folder = bank.runDir + QStringLiteral("/Papers");
    const QString input = bank.runDir + QStringLiteral("/paper.md");
    const QString output = bank.runDir + QStringLiteral("/paper-pandoc.docx");
    {
        QFile file(input);
        if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write %s", qPrintable(input));
        file.write((markdown + answers).toUtf8());
    }
    Row r{QStringLiteral("write the .docx of a 200-question paper with 4 sections"),
          QStringLiteral("writePaperDocument: XML, pictures, deflate, temporary file and rename"),
          QStringLiteral("pandoc writing the same texts from Markdown into a .docx")};
    r.target = 0.5;
    auto ours = [&] {
        QDir(folder).removeRecursively();
        QElapsedTimer t;
        t.start();
        writePaperDocument(paper, folder);
        return t.nsecsElapsed() / 1e6;
    };
    auto baseline = [&] {
        QFile::remove(output);
        QElapsedTimer t;
        t.start();
        QProcess pandoc;
        pandoc.start(QStringLiteral("pandoc"),
                     {QStringLiteral("--from=markdown"), QStringLiteral("--to=docx"), QStringLiteral("--output"), output, input});
        if (!pandoc.waitForFinished(120000) || pandoc.exitCode() != 0) qFatal("pandoc failed");
        return t.nsecsElapsed() / 1e6;
    };
    std::tie(r.oursMs, r.baselineMs) = alternatingMedians(reps, ours, baseline);
    QDir(folder).removeRecursively();
    return r;
}

// Starts `program` in `folder` with the start probe set and returns the time from starting it to
// its first window painted.
double launchMs(const QString& program, const QString& folder)
{
    QProcess child;
    child.setWorkingDirectory(folder);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("EXAVORO_STARTUP_PROBE"), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    const long long started = app::monotonicNanoseconds();
    child.start(program, {});
    if (!child.waitForFinished(60000) || child.exitCode() != 0) qFatal("%s did not report its start", qPrintable(program));
    const long long painted = QString::fromUtf8(child.readAllStandardOutput()).trimmed().toLongLong();
    if (painted <= started) qFatal("%s reported no time", qPrintable(program));
    return (painted - started) / 1e6;
}

Row launchRow(const Bank& bank, int reps)
{
    Row r{QStringLiteral("launch to login window shown"),
          QStringLiteral("exavoro started until the login dialog is painted"),
          QStringLiteral("a bare Qt Widgets program showing one dialog, until it is painted")};
    r.target = 1.3;
    launchMs(QStringLiteral(EXAVORO_PROGRAM), bank.runDir);  // both programs' files in the page cache
    launchMs(QStringLiteral(EXAVORO_BARE_DIALOG), bank.runDir);
    std::tie(r.oursMs, r.baselineMs) = alternatingMedians(
        reps, [&] { return launchMs(QStringLiteral(EXAVORO_PROGRAM), bank.runDir); },
        [&] { return launchMs(QStringLiteral(EXAVORO_BARE_DIALOG), bank.runDir); });
    return r;
}

// The child process for the rows of a real login: the program's start as main() makes it, the
// login dialog filled and 确定 clicked; once the main window has been painted it reports the time
// from the click, the peak memory, then opens every window of the menus once (each closed as soon
// as it has been painted) and reports the peak memory again.
int childLoginWindows(const QString& runDir, bool everyWindow)
{
    QDir::setCurrent(runDir);
    auto* login = new TDLF(nullptr, true);
    DLF = login;
    MainF = new TMainF(nullptr);
    DM = new TDM(qApp);
    login->show();
    while (!login->isVisible() || !login->windowHandle() || !login->windowHandle()->isExposed()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    QCoreApplication::processEvents();
    // As main() does once the login window has been painted, while the user types.
    DM->openBankAhead(app::bankLocation());
    login->EditYhm->setText(QStringLiteral("admin"));
    login->EditMm->setText(QStringLiteral("admin123"));

    // Closes whatever modal window is open once it has been shown and painted; the wizard's first
    // step goes on to its second once before it is closed.
    struct Closer : QObject {
        QSet<QWidget*> painted;
        bool wizardStepped = false;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::Paint && watched->isWidgetType()) {
                painted.insert(static_cast<QWidget*>(watched)->window());
            }
            return false;
        }
        void tick()
        {
            QTimer::singleShot(20, this, [this] { tick(); });
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || qobject_cast<TMainF*>(modal) || !painted.contains(modal)) return;
            if (auto* step1 = qobject_cast<TZtszF*>(modal); step1 && !wizardStepped) {
                wizardStepped = true;
                step1->SBtnQbyrClick();
                auto* step2 = new TXxszF(step1);
                XxszF = step2;
                step2->setAttribute(Qt::WA_DeleteOnClose);
                step2->exec();
                return;
            }
            painted.remove(modal);
            if (auto* dialog = qobject_cast<QDialog*>(modal)) {
                dialog->reject();
            } else {
                modal->close();
            }
        }
    };

    long long clicked = 0;
    auto* closer = new Closer;
    QTimer::singleShot(0, closer, [&] { closer->tick(); });
    // The first paint of the main window: time and memory after login, then every window once.
    struct MainPaint : QObject {
        std::function<void()> onPaint;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::Paint && watched->isWidgetType() && onPaint) {
                if (auto* main = qobject_cast<TMainF*>(static_cast<QWidget*>(watched)->window());
                    main && main->isVisible()) {
                    auto done = std::move(onPaint);
                    onPaint = nullptr;
                    QTimer::singleShot(0, main, done);
                }
            }
            return false;
        }
    } mainPaint;
    mainPaint.onPaint = [&] {
        const long long drawn = app::monotonicNanoseconds();
        out() << "login-ms " << (drawn - clicked) / 1e6 << "\n" << "login-kb " << peakKb() << "\n" << Qt::flush;
        if (!everyWindow) std::_Exit(0);
        qApp->installEventFilter(closer);
        TMainF* main = MainF;
        for (const auto& open : std::initializer_list<std::function<void()>>{
                 [main] { main->KMSZClick(); }, [main] { main->TXSZClick(); }, [main] { main->ZJXZClick(); },
                 [main] { main->LRSTClick(); }, [main] { main->HSZClick(); }, [main] { main->DRSTClick(); },
                 [main] { main->DCSTClick(); }, [main] { main->ZjXDClick(); }, [main] { main->XmbZjClick(); },
                 [main] { main->SJKClick(); }, [main] { main->MMSZClick(); }, [main] { main->LxwmClick(); },
                 [main] { main->GYClick(); }}) {
            ui::run(open);
        }
        out() << "windows-kb " << peakKb() << "\n" << Qt::flush;
        std::_Exit(0);
    };
    qApp->installEventFilter(&mainPaint);
    clicked = app::monotonicNanoseconds();
    login->BtnQd->click();
    out() << "no main window was shown\n" << Qt::flush;
    return 1;
}

void printTable()
{
    out() << "\n| Operation | Ours (program code) | Baseline (same work) | Ours median ms | Baseline median ms | Ratio "
             "| Target |\n"
          << "|---|---|---|---|---|---|---|\n";
    for (const Row& r : g_rows) {
        out() << "| " << r.operation << " | " << r.ours << " | " << r.baseline << " | "
              << QString::number(r.oursMs, 'f', 2) << " | " << QString::number(r.baselineMs, 'f', 2) << " | "
              << QString::number(r.oursMs / r.baselineMs, 'f', 2) << " | " << (r.target > 0 ? QStringLiteral("≤ %1").arg(r.target) : QStringLiteral("—")) << " |\n";
    }
    out() << Qt::flush;
}

void printMemoryRow(const QString& operation, long kb, double fileMb, double target)
{
    const double mb = kb / 1024.0;
    out() << "| " << operation << " | | database file size | " << QString::number(mb, 'f', 1) << " MiB | "
          << QString::number(fileMb, 'f', 1) << " MiB | " << QString::number(mb / fileMb, 'f', 3) << " | ≤ " << target
          << " |\n"
          << Qt::flush;
}

// The table of a bank of 1,000,000 questions (or whatever size was asked for with --large).
// `only` names the one row to run (login, grid, store, search, candidates, selection), for profiling it
// alone with many repetitions; empty runs the whole table.
int runLarge(Bank& bank, int reps, const QString& only)
{
    auto wanted = [&](const char* row) { return only.isEmpty() || only == QLatin1String(row); };
    DM = new TDM(qApp);
    auto* main = new TMainF(nullptr);
    MainF = main;
    DM->connectTo(bank.path);
    describeLargeBank(bank);
    out() << "largest type: " << bank.kmm << "/" << bank.txm << " with " << bank.typeSize << " questions; "
          << bank.tickedChapters.size() << " chapters ticked for composing\n"
          << Qt::flush;

    if (wanted("login")) {
        for (const Row& r : loginRows(bank.path, reps)) printRow(r);
    }
    DM->connectTo(bank.path);
    main->fillSubjectBox();
    Lite lite(bank.path);

    auto* entry = new TLrstF(main);
    LrstF = entry;
    entry->show();
    showEntryType(entry, bank.kmm, bank.txm);
    if (wanted("grid")) {
        printRow(largeEntryGridRow(bank, entry, bank.kmh, bank.txh, bank.typeSize, reps));
        showEntryType(entry, bank.smallKmm, bank.smallTxm);
        Row everyday = largeEntryGridRow(bank, entry, bank.smallKmh, bank.smallTxh, bank.smallTypeSize, reps);
        everyday.operation += QStringLiteral(" (the type nearest to 2,000 questions: %1/%2)").arg(bank.smallKmm, bank.smallTxm);
        printRow(everyday);
        showEntryType(entry, bank.kmm, bank.txm);  // the rows below work on the largest type
        printRow(largeEntryGridDataRow(bank, lite, reps));
    }
    if (wanted("store")) printRow(largeStoreRow(bank, entry, lite, reps));
    if (wanted("search")) printSearchRows(lite, reps);
    // Closed and destroyed as the menu's question entry is: its grid no longer follows the query
    // the wizard reopens.
    entry->close();
    delete entry;

    auto* step1 = new TZtszF(main);
    ZtszF = step1;
    step1->show();
    step1->ComboBoxKm->setCurrentText(bank.kmm);
    step1->SBtnQbyrClick();
    auto* step2 = new TXxszF(step1);
    XxszF = step2;
    step2->show();
    for (int i = 0; i < step2->CheckListBoxZj->count(); ++i) {
        QListWidgetItem* item = step2->CheckListBoxZj->item(i);
        item->setCheckState(bank.tickedChapters.contains(item->text()) ? Qt::Checked : Qt::Unchecked);
    }
    const auto types = step2->ListBoxTx->findItems(bank.txm, Qt::MatchExactly);
    if (types.isEmpty()) qFatal("the wizard does not list the largest type");
    step2->ListBoxTx->setCurrentItem(types.first());
    if (wanted("candidates")) printRow(largeCandidateRow(bank, step2, lite, reps));
    else largeCandidateRow(bank, step2, lite, 1);  // the draw works on the candidate list
    if (wanted("selection")) printRow(largeSelectionRow(bank, step2, lite, reps));
    step2->close();
    step1->close();
    if (!only.isEmpty()) {
        printTable();
        return 0;
    }

    printRow(largeDocxRow(bank, reps));
    printRow(largeDeleteRow(bank, reps));
    printRow(launchRow(bank, reps));
    const double launchOurs = g_rows.last().oursMs;

    // A real login in a fresh process (which may open the bank only once this one has let it go).
    // The day's automatic backup is switched off there, as a user can: it would copy the whole bank.
    DM->disconnectFromBank();
    {
        QSettings settings(backup::settingsPath(bank.path), QSettings::IniFormat);
        settings.setValue(QStringLiteral("backup/keep"), 0);
    }
    // Time: the median of the repetitions; memory: the largest of every run.
    std::vector<double> loginTimes;
    QHash<QString, double> measured;
    auto runChild = [&](const QString& mode) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {mode, bank.runDir});
        if (!child.waitForFinished(600000)) qFatal("the login child did not finish");
        for (const QString& line : QString::fromUtf8(child.readAllStandardOutput()).split(QLatin1Char('\n'))) {
            const QStringList parts = line.split(QLatin1Char(' '));
            if (parts.size() != 2) continue;
            const double v = parts[1].toDouble();
            if (parts[0] == QLatin1String("login-ms")) loginTimes.push_back(v);
            else measured[parts[0]] = qMax(measured.value(parts[0]), v);
        }
    };
    for (int i = 0; i < reps; ++i) runChild(QStringLiteral("--login-only"));
    runChild(QStringLiteral("--login-windows"));
    std::sort(loginTimes.begin(), loginTimes.end());
    measured[QStringLiteral("login-ms")] = loginTimes.empty() ? 0 : loginTimes[loginTimes.size() / 2];
    if (!measured.contains(QStringLiteral("windows-kb"))) qFatal("the login child reported nothing");

    printTable();
    printMemoryRow(QStringLiteral("peak memory after login (VmHWM of a fresh process)"), long(measured["login-kb"]),
                   bank.fileMb, 0.05);
    printMemoryRow(QStringLiteral("peak memory after opening every window once"), long(measured["windows-kb"]),
                   bank.fileMb, 0.1);
    out() << "\nfrom pressing 确定 to the main window drawn (median of " << loginTimes.size() << "): "
          << QString::number(measured["login-ms"], 'f', 1) << " ms, "
          << QString::number(measured["login-ms"] / launchOurs, 'f', 2)
          << " × the launch to the login window shown\n"
          << Qt::flush;
    delete main;
    return 0;
}


// ---- the same program operations on a server bank -----------------------------------------------
//
// With --server ADMIN_URI (a throw-away server, scripts/bench.sh --server) the generated bank is
// copied onto the server with exavoro-db copy, and each operation the program can run on either
// engine is measured on the bank file and on the server bank in the same run.

struct Timed {
    QString operation;
    double ms = 0;
    double libpqMs = -1;  // the same statements sent with libpq (server only; -1 when not measured)
    QString sent;         // what those statements were: how many, in how many sessions
    double localMs = 0;   // work of the operation that needs no database (writing a document), added to libpqMs
    bool resentFailed = false;  // the server refused more of them sent again than of the program's
};

// ---- the program's statements, sent again with libpq ----------------------------------------
//
// What the program sends the server for one operation is read from the server's own statement
// log (log_statement=all, turned on for one untimed run of the operation and off after), and the
// same statements are then sent with libpq directly, in the same order, in as many sessions,
// with the same parameter values: the baseline of each server row.

// One thing the program did on the server: a statement (simple protocol: PQexec; extended:
// PQexecParams with its parameters), or a new session opened.
struct SentStatement {
    QByteArray pid;  // the server process of the program's session
    enum Kind { Connect, Simple, Extended } kind = Simple;
    QByteArray text;
    std::vector<std::optional<QByteArray>> params;  // nullopt: NULL
};

struct Capture {
    std::vector<SentStatement> steps;
    int statements = 0, sessions = 0, connects = 0, errors = 0;
};

// The parameters of a logged execution: "$1 = 'a''b', $2 = NULL, ...". False when the text does
// not read as such a list.
bool parseParameters(const QByteArray& list, std::vector<std::optional<QByteArray>>* params)
{
    int i = 0;
    const int n = int(list.size());
    while (i < n) {
        if (list[i] != '$') return false;
        while (i < n && list[i] != '=') ++i;
        if (i + 2 > n || list.mid(i, 2) != "= ") return false;
        i += 2;
        if (list.mid(i, 4) == "NULL") {
            params->push_back(std::nullopt);
            i += 4;
        } else if (i < n && list[i] == '\'') {
            QByteArray value;
            ++i;
            for (;;) {
                if (i >= n) return false;
                if (list[i] == '\'') {
                    if (i + 1 < n && list[i + 1] == '\'') {
                        value += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += list[i++];
            }
            params->push_back(value);
        } else {
            return false;
        }
        if (i < n) {
            if (list.mid(i, 2) != ", ") return false;
            i += 2;
        }
    }
    return true;
}

// Reads the server's log written between the two markers, keeping what the program's sessions
// (every process but `adminPid`) logged. Each entry starts with "PID|LEVEL:  "; a message of
// several lines goes on in lines that start with a tab.
Capture parseServerLog(const QByteArray& log, const QByteArray& adminPid, const QByteArray& beginMarker,
                       const QByteArray& endMarker)
{
    struct Entry {
        QByteArray pid, level, text;
    };
    std::vector<Entry> entries;
    for (const QByteArray& line : log.split('\n')) {
        if (line.startsWith('\t')) {
            if (!entries.empty()) entries.back().text += '\n' + line.mid(1);
            continue;
        }
        const int bar = line.indexOf('|');
        const int colon = line.indexOf(":  ", bar + 1);
        if (bar <= 0 || colon < 0) {
            if (!entries.empty() && !line.isEmpty()) entries.back().text += '\n' + line;  // not ours: kept whole
            continue;
        }
        entries.push_back({line.left(bar), line.mid(bar + 1, colon - bar - 1), line.mid(colon + 3)});
    }
    Capture capture;
    bool inside = false, ended = false;
    QSet<QByteArray> sessions;
    for (size_t k = 0; k < entries.size(); ++k) {
        const Entry& e = entries[k];
        if (e.pid == adminPid) {
            if (e.level == "LOG" && e.text.contains(beginMarker)) inside = true;
            if (e.level == "LOG" && e.text.contains(endMarker)) {
                ended = inside;
                break;
            }
            continue;
        }
        if (!inside) continue;
        if (e.level == "ERROR") ++capture.errors;
        if (e.level != "LOG") continue;
        SentStatement step;
        step.pid = e.pid;
        if (e.text.startsWith("connection received:")) {
            step.kind = SentStatement::Connect;
            ++capture.connects;
        } else if (e.text.startsWith("statement: ")) {
            step.text = e.text.mid(11);
        } else if (e.text.startsWith("execute ")) {
            const int at = e.text.indexOf(": ");
            if (at < 0) qFatal("unreadable log entry: %s", e.text.constData());
            step.kind = SentStatement::Extended;
            step.text = e.text.mid(at + 2);
            // Its parameters, when it has any, follow at once in the same process's DETAIL entry.
            if (k + 1 < entries.size() && entries[k + 1].pid == e.pid && entries[k + 1].level == "DETAIL" &&
                entries[k + 1].text.startsWith("parameters: ")) {
                if (!parseParameters(entries[k + 1].text.mid(12), &step.params)) {
                    qFatal("unreadable parameters in the server log: %s", entries[k + 1].text.constData());
                }
            }
            // As many values as the statement's highest placeholder asks for.
            static const QRegularExpression placeholder(QStringLiteral("\\$(\\d+)"));
            int highest = 0;
            for (const auto& m : placeholder.globalMatch(QString::fromUtf8(step.text))) highest = qMax(highest, m.captured(1).toInt());
            if (highest != int(step.params.size())) {
                qFatal("the server log gives %d values for a statement with %d placeholders: %s", int(step.params.size()),
                       highest, step.text.constData());
            }
        } else {
            continue;
        }
        if (step.kind != SentStatement::Connect) ++capture.statements;
        sessions.insert(step.pid);
        capture.steps.push_back(std::move(step));
    }
    if (!ended) qFatal("the server log holds no complete capture between its markers");
    capture.sessions = int(sessions.size());
    return capture;
}

// Sends captured statements with libpq, and takes the captures: an administrative session of its
// own turns the statement log on and off and writes the markers.
class StatementReplay
{
public:
    StatementReplay(const QString& uri, const QString& logPath) : uri_(uri.toUtf8()), logPath_(logPath)
    {
        admin_ = connect();
        exec(admin_, "ALTER SYSTEM SET log_line_prefix = '%p|'");
        reload();
        pid_ = QByteArray::number(PQbackendPID(admin_));
    }
    ~StatementReplay()
    {
        exec(admin_, "ALTER SYSTEM RESET log_line_prefix");
        exec(admin_, "ALTER SYSTEM RESET log_statement");
        exec(admin_, "ALTER SYSTEM RESET log_connections");
        reload();
        PQfinish(admin_);
    }

    // The statements the program sends for one run of `work` (not timed).
    Capture capture(const std::function<void()>& work)
    {
        static int number = 0;
        const QByteArray begin = "exavoro-capture-begin-" + QByteArray::number(++number);
        const QByteArray end = "exavoro-capture-end-" + QByteArray::number(number);
        exec(admin_, "ALTER SYSTEM SET log_statement = 'all'");
        exec(admin_, "ALTER SYSTEM SET log_connections = on");
        reload();
        const qint64 offset = QFileInfo(logPath_).size();
        exec(admin_, "SELECT '" + begin + "'");
        work();
        exec(admin_, "SELECT '" + end + "'");
        exec(admin_, "ALTER SYSTEM RESET log_statement");
        exec(admin_, "ALTER SYSTEM RESET log_connections");
        reload();
        QFile log(logPath_);
        if (!log.open(QIODevice::ReadOnly) || !log.seek(offset)) qFatal("cannot read the server log %s", qPrintable(logPath_));
        Capture c = parseServerLog(log.readAll(), pid_, begin, end);
        if (c.statements == 0) qFatal("the server log shows no statement of the program");
        return c;
    }

    // The median time of sending the captured statements `reps` times. `before` (not timed) puts
    // the bank back for the next repetition; `param` and `text` may give a parameter or a simple
    // statement's text another value in a repetition (a subject deleted once cannot be deleted
    // again). The program's own session is used as it stands (its temporary tables and settings
    // are part of the work the statements do); another session the program already had is opened
    // beforehand; a session it opened is opened in the time, as it did. Statements the program
    // prepared by name (Qt's driver: PREPARE, EXECUTE, DEALLOCATE) are sent under names of their
    // own, so as not to meet the program's. `errors` counts the statements the server refused.
    double medianMs(const Capture& c, int reps, int* errors, const std::function<void(int)>& before = {},
                    const std::function<QByteArray(int, const QByteArray&)>& param = {},
                    const std::function<QByteArray(int, const QByteArray&)>& text = {})
    {
        PGconn* program = programSession();
        const QByteArray programPid = program ? QByteArray::number(PQbackendPID(program)) : QByteArray();
        QSet<QByteArray> opened;
        QHash<QByteArray, PGconn*> kept;
        std::vector<PGconn*> ownKept;
        for (const SentStatement& s : c.steps) {
            if (s.kind == SentStatement::Connect) {
                opened.insert(s.pid);
            } else if (!opened.contains(s.pid) && !kept.contains(s.pid)) {
                if (s.pid == programPid) {
                    kept.insert(s.pid, program);
                } else {
                    ownKept.push_back(connect());
                    kept.insert(s.pid, ownKept.back());
                }
            }
        }
        // The names prepared in the run, and those left prepared at its end (let go after each
        // repetition, untimed).
        static const QRegularExpression prepare(QStringLiteral("^\\s*PREPARE\\s+(\\w+)"),
                                                QRegularExpression::CaseInsensitiveOption);
        static const QRegularExpression deallocate(QStringLiteral("^\\s*DEALLOCATE\\s+(?:PREPARE\\s+)?(\\w+)"),
                                                   QRegularExpression::CaseInsensitiveOption);
        QStringList names;
        QHash<QString, QByteArray> leftPrepared;  // name -> session
        for (const SentStatement& s : c.steps) {
            if (s.kind != SentStatement::Simple) continue;
            const QString statement = QString::fromUtf8(s.text);
            if (const auto m = prepare.match(statement); m.hasMatch()) {
                names << m.captured(1);
                leftPrepared.insert(m.captured(1), s.pid);
            }
            if (const auto m = deallocate.match(statement); m.hasMatch()) leftPrepared.remove(m.captured(1));
        }
        auto renamed = [&](QByteArray statement) {
            if (names.isEmpty()) return statement;
            QString t = QString::fromUtf8(statement);
            for (const QString& name : names) {
                t.replace(QRegularExpression(QStringLiteral("\\b%1\\b").arg(name)), name + QStringLiteral("_resent"));
            }
            return t.toUtf8();
        };
        std::vector<double> times;
        for (int rep = 0; rep < reps; ++rep) {
            if (before) before(rep);
            QHash<QByteArray, PGconn*> sessions = kept;
            std::vector<PGconn*> made;
            // The texts and values as they will be sent, made before the time.
            std::vector<QByteArray> texts(c.steps.size());
            std::vector<std::vector<QByteArray>> values(c.steps.size());
            std::vector<std::vector<const char*>> pointers(c.steps.size());
            for (size_t k = 0; k < c.steps.size(); ++k) {
                const SentStatement& s = c.steps[k];
                texts[k] = s.kind == SentStatement::Simple ? renamed(text ? text(rep, s.text) : s.text) : s.text;
                for (const auto& v : s.params) values[k].push_back(v ? (param ? param(rep, *v) : *v) : QByteArray());
                for (size_t j = 0; j < s.params.size(); ++j) {
                    pointers[k].push_back(s.params[j] ? values[k][j].constData() : nullptr);
                }
            }
            QElapsedTimer t;
            t.start();
            for (size_t k = 0; k < c.steps.size(); ++k) {
                const SentStatement& s = c.steps[k];
                if (s.kind == SentStatement::Connect) {
                    PGconn* conn = connect();
                    made.push_back(conn);
                    sessions.insert(s.pid, conn);
                    continue;
                }
                PGconn* conn = sessions.value(s.pid);
                PGresult* result = s.kind == SentStatement::Simple
                                       ? PQexec(conn, texts[k].constData())
                                       : PQexecParams(conn, texts[k].constData(), int(s.params.size()), nullptr,
                                                      pointers[k].data(), nullptr, nullptr, 0);
                const ExecStatusType status = PQresultStatus(result);
                if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) ++*errors;
                PQclear(result);
            }
            times.push_back(t.nsecsElapsed() / 1e6);
            for (auto it = leftPrepared.cbegin(); it != leftPrepared.cend(); ++it) {
                if (PGconn* conn = sessions.value(it.value())) {
                    PQclear(PQexec(conn, ("DEALLOCATE " + it.key() + QStringLiteral("_resent")).toUtf8().constData()));
                }
            }
            for (PGconn* conn : made) PQfinish(conn);
        }
        for (PGconn* conn : ownKept) PQfinish(conn);
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    }

    // A statement on the administrative session (not timed), with bound values; the number of
    // rows it changed or read.
    int run(const char* text, const std::vector<QByteArray>& binds = {})
    {
        std::vector<const char*> values;
        for (const QByteArray& b : binds) values.push_back(b.constData());
        PGresult* result = PQexecParams(admin_, text, int(values.size()), nullptr, values.data(), nullptr, nullptr, 0);
        if (PQresultStatus(result) != PGRES_COMMAND_OK && PQresultStatus(result) != PGRES_TUPLES_OK) {
            qFatal("%s: %s", text, PQresultErrorMessage(result));
        }
        const int rows = PQresultStatus(result) == PGRES_TUPLES_OK ? PQntuples(result) : atoi(PQcmdTuples(result));
        PQclear(result);
        return rows;
    }

private:
    // The libpq connection under the program's server session (Qt's driver holds one), if any.
    static PGconn* programSession()
    {
        if (!DM || !DM->isConnected() || DM->location().server.isEmpty()) return nullptr;
        const QVariant handle = DM->db().driver()->handle();
        if (!handle.isValid() ||
            (qstrcmp(handle.typeName(), "pg_conn*") != 0 && qstrcmp(handle.typeName(), "PGconn*") != 0)) {
            return nullptr;
        }
        return *static_cast<PGconn* const*>(handle.constData());
    }
    PGconn* connect()
    {
        // As the program's sessions are: the URI as given. A lock not granted within a minute
        // fails the statement rather than hanging the benchmark.
        const char* keys[] = {"dbname", "options", nullptr};
        const char* values[] = {uri_.constData(), "-c lock_timeout=60000", nullptr};
        PGconn* conn = PQconnectdbParams(keys, values, 1);
        if (PQstatus(conn) != CONNECTION_OK) qFatal("libpq cannot connect: %s", PQerrorMessage(conn));
        return conn;
    }
    void exec(PGconn* conn, const QByteArray& text)
    {
        PGresult* result = PQexec(conn, text.constData());
        if (PQresultStatus(result) != PGRES_COMMAND_OK && PQresultStatus(result) != PGRES_TUPLES_OK) {
            qFatal("%s: %s", text.constData(), PQresultErrorMessage(result));
        }
        PQclear(result);
    }
    // The server's processes read the changed settings at their next statement, once signalled.
    void reload()
    {
        exec(admin_, "SELECT pg_reload_conf()");
        QThread::msleep(300);
    }

    QByteArray uri_;
    QString logPath_;
    PGconn* admin_ = nullptr;
    QByteArray pid_;
};

// The server's log file: the one given, or the file the server process writes its messages to.
QString serverLogPath(const QString& given, const QString& uri)
{
    if (!given.isEmpty()) return given;
    PGconn* conn = PQconnectdb(uri.toUtf8().constData());
    QString path;
    if (PQstatus(conn) == CONNECTION_OK) {
        path = QFileInfo(QStringLiteral("/proc/%1/fd/2").arg(PQbackendPID(conn))).symLinkTarget();
    }
    PQfinish(conn);
    return path;
}

// The subjects deleted, one a repetition (科目2 to 科目4, each about a tenth of the bank): a
// deletion cannot be repeated on the same rows, and a server bank cannot be put back by copying
// a file.
const QStringList kDeletedSubjects = {QStringLiteral("02"), QStringLiteral("03"), QStringLiteral("04")};

// The subjects whose deletion the statement log records (科目5) and the subjects the same
// statements delete when sent again with libpq, one a repetition (科目6 to 科目8).
const QString kCapturedSubject = QStringLiteral("05");
const QStringList kReplayedSubjects = {QStringLiteral("06"), QStringLiteral("07"), QStringLiteral("08")};

// How an operation's statements are sent again: what puts the bank back before each repetition,
// what a parameter becomes in a repetition, and the run whose statements are recorded when it
// differs from the measured work.
struct Resend {
    std::function<void(int)> before;
    std::function<QByteArray(int, const QByteArray&)> param, text;
    std::function<void()> capturedWork;
};

// The program's medians for each operation on the bank that `connect` opens. With `replay` (a
// server bank), each operation's statements are recorded in one more run, not timed, and sent
// again with libpq.
QVector<Timed> programTimes(TMainF* main, const std::function<void()>& connect, const QString& runDir, int reps,
                            StatementReplay* replay = nullptr)
{
    QVector<Timed> times;
    auto measure = [&](const QString& operation, int n, const std::function<void()>& work,
                       const std::function<void()>& before = {}, const Resend& resend = {}) {
        Timed timed;
        timed.operation = operation;
        timed.ms = medianMs(n, work, before);
        out() << "  " << operation << ": " << QString::number(timed.ms, 'f', 2) << " ms" << Qt::flush;
        if (replay) {
            if (before) before();
            const Capture c = replay->capture(resend.capturedWork ? resend.capturedWork : work);
            int errors = 0;
            timed.libpqMs = replay->medianMs(c, n, &errors, resend.before, resend.param, resend.text);
            timed.sent = QStringLiteral("%1 statements in %2 session(s), %3 of them opened")
                             .arg(c.statements)
                             .arg(c.sessions)
                             .arg(c.connects);
            if (errors != c.errors * n) {
                timed.resentFailed = true;
                timed.sent += QStringLiteral("; sent again, the server refused %1 in %2 repetitions (the program's run: %3)")
                                  .arg(errors)
                                  .arg(n)
                                  .arg(c.errors);
            }
            out() << "; the same statements via libpq " << QString::number(timed.libpqMs, 'f', 2) << " ms (" << timed.sent
                  << ")";
        }
        out() << "\n" << Qt::flush;
        times.append(timed);
    };
    auto login = [&] {
        connect();
        readUsersAsTheLoginDoes(replay != nullptr);
    };
    // A program's first login opens the bank: a file, or a new session on the server (a process
    // there). Logging in again keeps the file open (unchanged), or keeps the live server session.
    measure(QStringLiteral("first login: open the bank (a new server session), open every dataset, read the users"), reps,
            login, [] { DM->disconnectFromBank(); });
    measure(QStringLiteral("login again: open every dataset, read the users"), reps, login);
    connect();
    main->fillSubjectBox();

    auto* entry = new TLrstF(main);
    LrstF = entry;
    entry->show();
    entry->ComboBoxTx->setCurrentText(QStringLiteral("题型2"));
    entry->ComboBoxTxChange();
    const int gridRows = DM->ADOQuerySt->recordCount();
    measure(QStringLiteral("open question entry's grid (%1 questions of one type)").arg(gridRows), reps,
            [&] { entry->ComboBoxTxChange(); });
    int textNumber = 200000;
    Resend store;
    // The question the recorded run stored is taken out again before each repetition, so that
    // its number is free for the same INSERT.
    // Each time one question goes: the recorded run's, then the one each repetition stored again.
    store.before = [&](int) {
        if (replay->run("DELETE FROM stb WHERE id = (SELECT MAX(id) FROM stb WHERE kmh=$1 AND txh=$2)", {"01", "02"}) != 1) {
            qFatal("the question stored before was not found");
        }
    };
    measure(
        QStringLiteral("store a new question with automatic numbering (TLrstF::BtnXtrkClick)"), reps,
        [&] { entry->BtnXtrkClick(); },
        [&] {
            const QString text = distinctText(++textNumber);
            entry->MemoTm->setPlainText(text);
            entry->MemoDa->setPlainText(text);
            entry->EditFs->setText(QStringLiteral("5"));
        },
        store);
    entry->close();
    delete entry;

    auto* step1 = new TZtszF(main);
    ZtszF = step1;
    step1->show();
    step1->SBtnQbyrClick();
    auto* step2 = new TXxszF(step1);
    XxszF = step2;
    step2->show();
    for (int i = 0; i < step2->CheckListBoxZj->count(); ++i) step2->CheckListBoxZj->item(i)->setCheckState(Qt::Checked);
    step2->ListBoxTx->setCurrentRow(0);
    const int candidates = DM->ADOQuerySt->recordCount();
    measure(QStringLiteral("candidate query for a type with %1 candidates, and its row count").arg(candidates), reps,
            [&] {
                step2->SelectTm();
                if (DM->ADOQuerySt->recordCount() != candidates) qFatal("the candidates changed");
            });
    measure(
        QStringLiteral("automatic selection of 200 questions into sjb (TXxszF::SBtnQbyrClick)"), reps,
        [&] { step2->SBtnQbyrClick(); },
        [&] {
            step2->EditTs->setText(QStringLiteral("200"));
            step2->EditZf->setText(QStringLiteral("100"));
        });
    if (sql::scalar(DM->db(), QStringLiteral("SELECT COUNT(*) FROM sjb")).toInt() != 200) {
        qFatal("automatic selection did not write 200 rows");
    }
    step2->close();
    step1->close();

    const QString folder = runDir + QStringLiteral("/Papers");
    // 200 questions read from the bank into a paper of 4 sections.
    auto readPaper = [] {
        PaperContent paper;
        paper.title = QStringLiteral("期末考试试卷");
        paper.duration = QStringLiteral("120");
        paper.total = QStringLiteral("100");
        sql::Reader q(DM->db(), QStringLiteral("SELECT tm, da FROM stb WHERE kmh=? AND txh=? ORDER BY id LIMIT 200"),
                      {QStringLiteral("01"), QStringLiteral("03")});
        for (int s = 0; s < 4; ++s) {
            PaperSection section;
            section.typeName = QStringLiteral("题型%1").arg(s + 1);
            for (int i = 0; i < 50 && q.next(); ++i) section.questions.append({q.text(0), q.text(1)});
            section.count = section.questions.size();
            section.points = 25;
            paper.sections.append(section);
        }
        return paper;
    };
    measure(QStringLiteral("read 200 questions and write the .docx of a paper with 4 sections"), reps,
            [&] { writePaperDocument(readPaper(), folder); }, [&] { QDir(folder).removeRecursively(); });
    {
        // The part of that row that needs no database: the same document written from the same
        // texts held in memory. On a server its baseline is the statements sent with libpq and this.
        const PaperContent paper = readPaper();
        times.last().localMs =
            medianMs(reps, [&] { writePaperDocument(paper, folder); }, [&] { QDir(folder).removeRecursively(); });
        out() << "  the same document written from the texts in memory: " << QString::number(times.last().localMs, 'f', 2)
              << " ms\n" << Qt::flush;
    }

    // The paper library with 2,000 stored papers of 10 questions each (stored untimed).
    {
        QVector<library::StoredQuestion> copies;
        {
            sql::Reader q(DM->db(), QStringLiteral("SELECT kmh, txh, th, zjh, nd, fs, tm, da FROM stb WHERE kmh=?"
                                                   " AND txh=? ORDER BY id LIMIT 10"),
                          {QStringLiteral("01"), QStringLiteral("02")});
            while (q.next()) {
                copies.append({q.text(0), q.text(1), q.text(2), q.text(3), q.text(4), q.text(5), q.text(6), q.text(7)});
            }
        }
        QSqlDatabase db = DM->db();
        sql::transaction(db, [&] {
            for (int p = 0; p < 2000; ++p) {
                library::StoredPaper paper;
                paper.title = QStringLiteral("第%1次测验").arg(p + 1);
                paper.kmh = QStringLiteral("01");
                paper.kmm = QStringLiteral("科目1");
                paper.duration = QStringLiteral("90");
                paper.total = QStringLiteral("100");
                library::StoredSection section;
                section.txh = QStringLiteral("02");
                section.typeName = QStringLiteral("题型2");
                section.questions = copies;
                section.count = int(copies.size());
                section.points = 100;
                paper.sections.append(section);
                library::insertPaper(db, paper);
            }
        });
        const int stored = sql::scalar(db, QStringLiteral("SELECT COUNT(*) FROM papers")).toInt();
        auto* window = new TSjkF(main);
        measure(QStringLiteral("list the %1 stored papers of the library (TSjkF::Search)").arg(stored), reps,
                [&] { window->Search(); });
        const qint64 id = sql::scalar(db, QStringLiteral("SELECT MAX(id) FROM papers")).toLongLong() - 1000;
        measure(QStringLiteral("open one stored paper (10 questions) among %1 (library::loadPaper)").arg(stored), reps,
                [&] {
                    if (library::loadPaper(db, id).questionCount() != 10) qFatal("the stored paper was not read");
                });
        delete window;
    }

    const int subjectSize =
        sql::scalar(DM->db(), QStringLiteral("SELECT COUNT(*) FROM stb WHERE kmh=?"), {kDeletedSubjects.first()}).toInt();
    auto deleteSubject = [&](const QString& subject) {
        DM->transaction({DM->ADOStb, DM->ADOZjb, DM->ADOTxb, DM->ADOKmb}, [&] {
            recycle::removeKept(DM->db(), recycle::keepSubject(DM->db(), subject, QStringLiteral("admin")));
        });
    };
    int deleted = 0;
    Resend deletion;
    // A subject is deleted once: the recorded run deletes 科目5, and the statements sent again
    // delete 科目6, 7 and 8 (of the same size), the subject's code being their only difference.
    deletion.capturedWork = [&] { deleteSubject(kCapturedSubject); };
    deletion.param = [&](int rep, const QByteArray& value) {
        return value == kCapturedSubject.toUtf8() ? kReplayedSubjects[rep].toUtf8() : value;
    };
    deletion.text = [&](int rep, QByteArray statement) {  // Qt's driver writes the values into EXECUTE
        return statement.replace("'" + kCapturedSubject.toUtf8() + "'", "'" + kReplayedSubjects[rep].toUtf8() + "'");
    };
    measure(QStringLiteral("delete a subject of about %1 questions into the recycle bin (median of %2)")
                .arg(subjectSize)
                .arg(kDeletedSubjects.size()),
            int(kDeletedSubjects.size()), [&] { deleteSubject(kDeletedSubjects[deleted++]); }, {}, deletion);
    if (replay) {  // the statements sent again deleted the other subjects indeed
        for (const QString& subject : kReplayedSubjects) {
            if (replay->run("SELECT 1 FROM stb WHERE kmh=$1 LIMIT 1", {subject.toUtf8()}) != 0) {
                out() << "the statements sent again left 科目 " << subject << " in place\n" << Qt::flush;
                times.last().resentFailed = true;
            }
        }
    }
    return times;
}

// One program storing `count` questions into type `txh` of 科目1 (题型1 unless told) as "试题入库"
// stores them: the next number, and the one after when another program took it first. Once
// connected it says "ready" and waits for a line on its input, so that all programs store at once
// and their start is not timed.
int storeClient(const QString& uri, int client, int count, const QString& txh = QStringLiteral("01"))
{
    try {
        TDM dm;
        dm.connectToServer(uri);
        const QSqlDatabase db = dm.db();
        out() << "ready\n" << Qt::flush;
        QFile input;
        if (!input.open(stdin, QIODevice::ReadOnly)) return 1;
        input.readLine();
        QElapsedTimer t;
        t.start();
        // A store given up after the program's own attempts ("请稍后再试") is tried again, as the
        // user would; those are counted.
        int refused = 0;
        for (int i = 0; i < count; ++i) {
            try {
                numbering::storeQuestion(db, dm.ADOStb, QStringLiteral("01"), txh,
                                         {{QStringLiteral("zjh"), QStringLiteral("01")},
                                          {QStringLiteral("nd"), QStringLiteral("易")},
                                          {QStringLiteral("fs"), QStringLiteral("5")},
                                          {QStringLiteral("tm"), QStringLiteral("程序%1的第%2题").arg(client).arg(i)},
                                          {QStringLiteral("da"), QStringLiteral("答")},
                                          {QStringLiteral("time"), fields::timeOfDay()}});
            } catch (const DataError&) {
                throw;
            } catch (const AppError&) {
                if (++refused > 100 * count) throw;
                --i;
            }
        }
        out() << "refused " << refused << "\n";
        out() << "stored-ms " << t.nsecsElapsed() / 1e6 << "\n" << Qt::flush;
        return 0;
    } catch (const AppError& e) {
        fprintf(stderr, "%s\n", qPrintable(e.text()));
        return 1;
    }
}

// CPU seconds (user and system) of a process and of the children it has waited for, from
// /proc/PID/stat; `comm` is set to the process's name. -1 when the process is gone.
double processCpuSeconds(qint64 pid, bool withChildren = false, QByteArray* comm = nullptr, qint64* parent = nullptr)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray stat = f.readAll();
    const int open = stat.indexOf('('), close = stat.lastIndexOf(')');
    if (open < 0 || close < open) return -1;
    if (comm) *comm = stat.mid(open + 1, close - open - 1);
    // After the name: state (field 3), ppid (4), ... utime (14), stime (15), cutime (16), cstime (17).
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    if (fields.size() < 15) return -1;
    if (parent) *parent = fields[1].toLongLong();
    double ticks = fields[11].toDouble() + fields[12].toDouble();
    if (withChildren) ticks += fields[13].toDouble() + fields[14].toDouble();
    return ticks / double(sysconf(_SC_CLK_TCK));
}

// CPU seconds used so far by one PostgreSQL server: its postmaster and every process it started,
// those ended already counted in the postmaster's figures for its waited-for children.
double serverCpuSeconds(qint64 postmaster)
{
    double total = 0;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number) continue;
        QByteArray comm;
        qint64 parent = 0;
        const double cpu = processCpuSeconds(pid, true, &comm, &parent);
        if (cpu >= 0 && comm == "postgres" && (pid == postmaster || parent == postmaster)) total += cpu;
    }
    return total;
}

// The CPU seconds this process's waited-for children have used.
double childrenCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct StoreRun {
    double ms = 0;          // from all programs told to store until the last has finished
    int refused = 0;        // stores tried again after the program's own attempts
    double clientCpu = 0;   // CPU seconds of the storing programs while they stored
    double serverCpu = 0;   // CPU seconds of the server meanwhile
};

// Starts `clients` programs, each storing `each` questions (client c into types[c], or all into
// types[0]), lets them store at once when all are connected, and measures the wall time from then
// until the last has finished, with the CPU the programs and the server used meanwhile. Each
// client's questions carry its number (`first` onwards).
StoreRun runStoreClients(const QString& uri, qint64 postmaster, int first, int clients, int each, const QStringList& types)
{
    StoreRun run;
    const double childrenBefore = childrenCpuSeconds();
    std::vector<std::unique_ptr<QProcess>> children;
    for (int c = 0; c < clients; ++c) {
        auto child = std::make_unique<QProcess>();
        child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child->start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--store-client"), uri, QString::number(first + c), QString::number(each),
                      types.size() > 1 ? types[c] : types.first()});
        children.push_back(std::move(child));
    }
    for (auto& child : children) {
        for (bool ready = false; !ready;) {
            while (!child->canReadLine()) {
                if (!child->waitForReadyRead(600000)) qFatal("a storing program did not connect");
            }
            ready = child->readLine().trimmed() == "ready";
        }
    }
    // What the programs used to start and connect is not counted with their storing.
    double started = 0;
    for (auto& child : children) started += qMax(0.0, processCpuSeconds(child->processId()));
    const double serverBefore = serverCpuSeconds(postmaster);
    QElapsedTimer t;
    t.start();
    for (auto& child : children) child->write("go\n");
    for (auto& child : children) child->waitForBytesWritten(60000);
    for (auto& child : children) {
        if (!child->waitForFinished(1800000) || child->exitCode() != 0) qFatal("a storing program failed");
    }
    run.ms = t.nsecsElapsed() / 1e6;
    QThread::msleep(200);  // the sessions' server processes end and are counted with the server
    run.serverCpu = serverCpuSeconds(postmaster) - serverBefore;
    run.clientCpu = childrenCpuSeconds() - childrenBefore - started;
    for (auto& child : children) {
        for (const QByteArray& line : child->readAllStandardOutput().split('\n')) {
            if (line.startsWith("refused ")) run.refused += line.mid(8).toInt();
        }
    }
    return run;
}

int runServer(TMainF* main, const QString& path, const QString& runDir, const QString& adminUri, const QString& logPath,
              int reps, bool reuse)
{
    // A database of its own on the server, filled from the generated bank by exavoro-db copy.
    // With --server-reuse (a server kept from one run to the next) the first copy is kept as a
    // template and each later run starts from a copy of it, made by the server in seconds.
    const QString name = QStringLiteral("exavoro_bench");
    const QString kept = QStringLiteral("exavoro_bench_template");
    bool copied = false;
    {
        QSqlDatabase admin = engine::openServer(QStringLiteral("bench-admin"), adminUri);
        sql::run(admin, QStringLiteral("DROP DATABASE IF EXISTS %1").arg(name));
        copied = reuse && sql::scalar(admin, QStringLiteral("SELECT COUNT(*) FROM pg_database WHERE datname=?"), {kept}).toInt() == 1;
        if (copied) {
            out() << "using the bank copied onto this server by an earlier run\n" << Qt::flush;
            sql::run(admin, QStringLiteral("CREATE DATABASE %1 TEMPLATE %2").arg(name, kept));
        } else {
            sql::run(admin, QStringLiteral("CREATE DATABASE %1").arg(name));
        }
        engine::closeConnection(admin);
    }
    QUrl url(adminUri);
    url.setPath(QLatin1Char('/') + name);
    const QString uri = url.toString();
    // Opened once first, as the program would: a bank kept from an older version is upgraded.
    DM->connectTo(path);
    DM->disconnectFromBank();
    if (!copied) {
        out() << "copying the bank onto the server with exavoro-db copy\n" << Qt::flush;
        QElapsedTimer t;
        t.start();
        QProcess copy;
        copy.setProcessChannelMode(QProcess::ForwardedChannels);
        copy.start(QStringLiteral(EXAVORO_DB_TOOL), {QStringLiteral("copy"), QStringLiteral("--from"), path,
                                                     QStringLiteral("--to"), uri});
        if (!copy.waitForFinished(3600000) || copy.exitCode() != 0) qFatal("exavoro-db copy failed");
        out() << "  done in " << t.elapsed() / 1000.0 << " s\n" << Qt::flush;
        if (reuse) {
            QSqlDatabase admin = engine::openServer(QStringLiteral("bench-admin"), adminUri);
            sql::run(admin, QStringLiteral("CREATE DATABASE %1 TEMPLATE %2").arg(kept, name));
            engine::closeConnection(admin);
        }
    }

    out() << "on the bank file:\n" << Qt::flush;
    const QVector<Timed> onFile = programTimes(main, [&] { DM->connectTo(path); }, runDir, reps);
    DM->disconnectFromBank();
    out() << "on the server bank:\n" << Qt::flush;
    QVector<Timed> onServer;
    {
        const QString log = serverLogPath(logPath, uri);
        if (log.isEmpty() || !QFileInfo(log).isReadable()) qFatal("the server's log file is not known: give --server-log");
        StatementReplay replay(uri, log);
        onServer = programTimes(main, [&] { DM->connectToServer(uri); }, runDir, reps, &replay);
    }
    DM->disconnectFromBank();

    // The server's processes, for the CPU they use: its postmaster is the parent of a session's process.
    qint64 postmaster = 0;
    {
        PGconn* conn = PQconnectdb(uri.toUtf8().constData());
        if (PQstatus(conn) != CONNECTION_OK) qFatal("libpq cannot connect: %s", PQerrorMessage(conn));
        processCpuSeconds(PQbackendPID(conn), false, nullptr, &postmaster);
        PQfinish(conn);
    }

    // Twenty programs storing at once, each into a type of its own and all into one type, against
    // one program storing as many alone.
    const int clients = 20, each = 200;
    QSqlDatabase check = engine::openServer(QStringLiteral("bench-check"), uri);
    QStringList ownTypes;  // 题型21 to 题型40 of 科目1, made here
    for (int c = 0; c < clients; ++c) {
        ownTypes << QString::number(21 + c);
        sql::exec(check, QStringLiteral("INSERT INTO txb (kmh, txh, txm, bz) VALUES (?, ?, ?, ?)"),
                  {QStringLiteral("01"), ownTypes.last(), QStringLiteral("题型%1").arg(21 + c), QStringLiteral("0")});
    }
    const QStringList oneType = {QStringLiteral("01")};
    // A figure of each type added up: the statement gets kmh, txh and `more`.
    auto sumIn = [&](const QStringList& types, const QString& statement, const QVariantList& more = {}) {
        int n = 0;
        for (const QString& txh : types) n += sql::scalar(check, statement, QVariantList{QStringLiteral("01"), txh} + more).toInt();
        return n;
    };
    auto countIn = [&](const QStringList& types) {
        return sumIn(types, QStringLiteral("SELECT COUNT(*) FROM stb WHERE kmh=? AND txh=?"));
    };
    // Numbers given twice in the types, and the distinct texts the storing programs wrote there.
    auto twiceIn = [&](const QStringList& types) {
        return sumIn(types, QStringLiteral("SELECT COUNT(*) FROM (SELECT th FROM stb WHERE kmh=? AND txh=? GROUP BY th"
                                           " HAVING COUNT(*) > 1) AS twice"));
    };
    auto distinctIn = [&](const QStringList& types) {
        return sumIn(types, QStringLiteral("SELECT COUNT(DISTINCT tm) FROM stb WHERE kmh=? AND txh=? AND tm LIKE ?"),
                     {QStringLiteral("程序%的第%题")});
    };
    const int before = countIn(oneType), beforeOwn = countIn(ownTypes);
    out() << "one program storing " << clients * each << " questions into 题型1 of 科目1\n" << Qt::flush;
    const StoreRun alone = runStoreClients(uri, postmaster, 1000, 1, clients * each, oneType);
    out() << clients << " programs storing " << each << " questions each into the same type\n" << Qt::flush;
    const StoreRun many = runStoreClients(uri, postmaster, 0, clients, each, oneType);
    out() << clients << " programs storing " << each << " questions each, each into a type of its own\n" << Qt::flush;
    const StoreRun spread = runStoreClients(uri, postmaster, 2000, clients, each, ownTypes);
    const int added = countIn(oneType) - before, addedOwn = countIn(ownTypes) - beforeOwn;
    const int twice = twiceIn(oneType), twiceOwn = twiceIn(ownTypes);
    const int distinct = distinctIn(oneType), distinctOwn = distinctIn(ownTypes);
    engine::closeConnection(check);

    out() << "\n| Operation (program code, 100,000-question bank) | Server (program) ms | Same statements via libpq ms | Ratio "
             "| Target ≤ 1.5 | Bank file ms (reference) |\n"
          << "|---|---|---|---|---|---|\n";
    for (int i = 0; i < onServer.size(); ++i) {
        const double baseline = onServer[i].libpqMs + onServer[i].localMs;
        out() << "| " << onServer[i].operation << " | " << QString::number(onServer[i].ms, 'f', 2) << " | "
              << QString::number(onServer[i].libpqMs, 'f', 2);
        if (onServer[i].localMs > 0) out() << " + " << QString::number(onServer[i].localMs, 'f', 2) << " (document)";
        out() << " | " << QString::number(onServer[i].ms / baseline, 'f', 2) << " | ≤ 1.5 | "
              << QString::number(onFile[i].ms, 'f', 2) << " |\n";
    }
    out() << "\nthe statements sent again with libpq, as the server's statement log recorded them (the .docx row's "
             "baseline adds the same document written from the texts in memory, work that needs no database):\n";
    for (const Timed& t : onServer) out() << "  " << t.operation << ": " << t.sent << "\n";

    const double aloneRate = clients * each / (alone.ms / 1000);
    auto rate = [&](const StoreRun& run) { return clients * each / (run.ms / 1000); };
    auto cpu = [](const StoreRun& run) {
        return QStringLiteral("%1 s / %2 s").arg(run.clientCpu, 0, 'f', 1).arg(run.serverCpu, 0, 'f', 1);
    };
    out() << "\n| Throughput on the server (numbering::storeQuestion, " << clients * each << " questions) | Questions/s "
          << "| One program alone, questions/s | Ratio | Target | CPU: storing programs / server |\n"
          << "|---|---|---|---|---|---|\n"
          << "| " << clients << " programs, each into a type of its own (" << each << " each) | "
          << QString::number(rate(spread), 'f', 1) << " | " << QString::number(aloneRate, 'f', 1) << " | "
          << QString::number(rate(spread) / aloneRate, 'f', 2) << " | ≥ 1.6 | " << cpu(spread) << " |\n"
          << "| " << clients << " programs into one type (" << each << " each) | " << QString::number(rate(many), 'f', 1)
          << " | " << QString::number(aloneRate, 'f', 1) << " | " << QString::number(rate(many) / aloneRate, 'f', 2)
          << " | ≥ 1.0 | " << cpu(many) << " |\n"
          << "| one program alone into one type | " << QString::number(aloneRate, 'f', 1) << " | | | | " << cpu(alone)
          << " |\n";
    const int expected = 2 * clients * each, expectedOwn = clients * each;
    out() << "\ninto one type: stored " << added << " of " << expected << " questions (" << distinct
          << " distinct texts); numbers given twice: " << twice << "; questions lost: " << expected - qMin(added, distinct)
          << "\ninto a type each: stored " << addedOwn << " of " << expectedOwn << " questions (" << distinctOwn
          << " distinct texts); numbers given twice: " << twiceOwn
          << "; questions lost: " << expectedOwn - qMin(addedOwn, distinctOwn) << "\n"
          << "stores given up after the program's " << numbering::kAttempts << " attempts and tried again: " << many.refused
          << " of the 20 programs into one type, " << spread.refused << " of the 20 into a type each, " << alone.refused
          << " of the one alone\n"
          << "CPU: user + system seconds while storing, of the storing programs (their start and connection left out) "
             "and of every process of the server\n"
          << Qt::flush;
    bool resent = true;
    for (const Timed& t : onServer) {
        if (t.resentFailed) {
            out() << "the statements of \"" << t.operation << "\" sent again did not do the program's work\n";
            resent = false;
        }
    }
    out() << Qt::flush;
    return (resent && twice == 0 && added == expected && distinct == expected && twiceOwn == 0 &&
            addedOwn == expectedOwn && distinctOwn == expectedOwn)
               ? 0
               : 1;
}

}  // namespace

// Exporting the subject nearest to 10,000 questions to Moodle XML (read, typed, written), against
// QXmlStreamWriter writing the same bytes from a list of its calls made beforehand.
// Recognising a 2,000-question .txt saved in GB18030 (what Chinese Windows tools write), against
// the same paper saved in UTF-8, in the same run: the encoding is detected, the text decoded and
// handed to pandoc in UTF-8, the questions recognised.
Row gb18030ImportRow(const QString& runDir, int reps)
{
    QString text = QStringLiteral("一、选择题（每小题2分）\n\n");
    for (int i = 1; i <= 2000; ++i) {
        text += QStringLiteral("%1．第%1题：−3 的相反数与 ¾ 的和是（　）\n\nA. 1　B. 2　C. 3　D. 4\n\n").arg(i);
    }
    text += QStringLiteral("参考答案：1-5 CADBB\n");
    const QString utf8 = runDir + QStringLiteral("/import-2000-utf8.txt");
    const QString gb18030 = runDir + QStringLiteral("/import-2000-gb18030.txt");
    for (const auto& [path, bytes] : {std::pair{utf8, text.toUtf8()}, {gb18030, QStringEncoder("GB18030").encode(text)}}) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) qFatal("cannot write %s", qPrintable(path));
    }
    Row r{QStringLiteral("recognise a 2,000-question GB18030 .txt"),
          QStringLiteral("readDocument: encoding detected, decoded, pandoc, recognising"),
          QStringLiteral("readDocument on the same paper saved in UTF-8, same run")};
    r.target = 1.5;
    qsizetype found = 0;
    r.oursMs = medianMs(reps, [&] {
        const exchange::ImportedPaper paper = exchange::readDocument(gb18030);
        if (paper.encoding != QLatin1String("GB18030")) qFatal("the GB18030 paper was read as %s", qPrintable(paper.encoding));
        found = paper.questions.size();
    });
    if (found != 2000) qFatal("the GB18030 paper gave %d questions", int(found));
    r.baselineMs = medianMs(reps, [&] { found = exchange::readDocument(utf8).questions.size(); });
    if (found != 2000) qFatal("the UTF-8 paper gave %d questions", int(found));
    return r;

}

// 查重 of one new question against a subject of 100,000 (type 1 of subject 1 in a bank generated for
// it, kept in the work folder): duplicates::check (the candidates through the FTS5 index, their texts
// normalised and measured) against the candidate query alone, stepped through SQLite. The new
// question is a stored one written again with other blanks and punctuation, so it is found.
Row duplicateCheckRow(const QString& work, int reps)
{
    const QString bank = QDir(work).absoluteFilePath(QStringLiteral("bank-subject-100000.db"));
    if (!QFileInfo::exists(bank)) {
        out() << "generating a bank with a subject of 100,000 questions: " << bank << "\n" << Qt::flush;
        demo::createGeneratedDatabase(bank, demo::GeneratedShape{110000, 100000, 0});
    }
    // The program's one connection now opens this bank (the rows after this one reconnect or close).
    DM->connectTo(bank);
    const QSqlDatabase db = DM->db();
    const QString kmh = sql::scalar(db, QStringLiteral("SELECT kmh FROM kmb ORDER BY id LIMIT 1"));
    const int size = sql::scalar(db, QStringLiteral("SELECT count(*) FROM stb WHERE kmh=?"), {kmh}).toInt();
    const QString stored = sql::scalar(db, QStringLiteral("SELECT tm FROM stb WHERE kmh=? ORDER BY id LIMIT 1 OFFSET ?"),
                                       {kmh, size / 2});
    QString text = stored;
    text.replace(QStringLiteral("，"), QStringLiteral(", ")).replace(QStringLiteral("。"), QStringLiteral(". "));
    QList<duplicates::Match> found;
    Row r{QStringLiteral("查重 of one new question against a subject of %1 questions").arg(size),
          QStringLiteral("duplicates::check: candidates through the index, normalised and measured"),
          QStringLiteral("the candidate query alone (FTS5 MATCH of the same trigrams, first 200 by rank)")};
    r.target = 2;
    r.oursMs = medianMs(reps, [&] { found = duplicates::check(db, kmh, text); });
    if (found.isEmpty() || found.first().similarity < 1) qFatal("查重 did not find the question written again");
    QStringList phrases;
    for (const QString& t : duplicates::probeTrigrams(text)) phrases << QStringLiteral("tm:\"%1\"").arg(t);
    const QByteArray match = phrases.join(QStringLiteral(" OR ")).toUtf8();
    Lite lite(bank);
    r.baselineMs = medianMs(reps, [&] {
        lite.readAll("SELECT s.id, s.txh, s.th, s.tm FROM stb_search CROSS JOIN stb AS s ON s.id = stb_search.rowid"
                     " WHERE stb_search MATCH ?1 AND s.kmh = ?2 AND s.id <> 0 ORDER BY stb_search.rank LIMIT 200",
                     {match, kmh.toUtf8()});
    });
    return r;
}

Row moodleExportRow(int reps)
{
    const QString kmh = sql::scalar(
        DM->db(), QStringLiteral("SELECT kmh FROM stb GROUP BY kmh ORDER BY abs(COUNT(*) - 10000), kmh LIMIT 1"));
    const exchange::ExportScope scope{kmh, {}, {}};
    int count = 0;
    const QByteArray written = exchange::exportMoodleXml(DM->db(), scope, &count);
    struct Call {
        QXmlStreamReader::TokenType token;
        QString name, text;
        QXmlStreamAttributes attributes;
        bool empty = false;  // an element written with empty text: <text></text>
    };
    std::vector<Call> calls;
    QXmlStreamReader reader(written);
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            calls.push_back({token, reader.name().toString(), {}, reader.attributes()});
        } else if (token == QXmlStreamReader::Characters && !reader.isWhitespace()) {
            calls.push_back({token, {}, reader.text().toString(), {}});
        } else if (token == QXmlStreamReader::EndElement) {
            if (calls.back().token == QXmlStreamReader::StartElement) calls.back().empty = true;
            calls.push_back({token, {}, {}, {}});
        }
    }
    const auto replay = [&] {
        QByteArray bytes;
        bytes.reserve(written.size());
        QXmlStreamWriter xml(&bytes);
        xml.setAutoFormatting(true);
        xml.writeStartDocument();
        for (const Call& c : calls) {
            if (c.token == QXmlStreamReader::StartElement) {
                xml.writeStartElement(c.name);
                xml.writeAttributes(c.attributes);
                if (c.empty) xml.writeCharacters(QString());
            } else if (c.token == QXmlStreamReader::Characters) {
                xml.writeCharacters(c.text);
            } else {
                xml.writeEndElement();
            }
        }
        xml.writeEndDocument();
        return bytes;
    };
    if (replay() != written) qFatal("the baseline does not write the same bytes as the export");
    Row r{QStringLiteral("export %1 questions of a subject to Moodle XML").arg(count),
          QStringLiteral("exportMoodleXml: rows read, each typed, texts to HTML, written"),
          QStringLiteral("the same bytes written with QXmlStreamWriter alone")};
    r.target = 1.5;
    std::tie(r.oursMs, r.baselineMs) = alternatingMedians(
        reps,
        [&] {
            QElapsedTimer t;
            t.start();
            if (exchange::exportMoodleXml(DM->db(), scope).size() != written.size()) qFatal("export differs");
            return t.nsecsElapsed() / 1e6;
        },
        [&] {
            QElapsedTimer t;
            t.start();
            if (replay().size() != written.size()) qFatal("replay differs");
            return t.nsecsElapsed() / 1e6;
        });
    return r;
}

// ---- 成绩分析: item analysis of a sitting and reading its score sheet ---------------------------

// A sitting of 10,000 students and 50 questions: the first 20 choice questions (1 point, keyed
// A–D), the rest 2 to 10 points; scores follow each student's ability, so that groups and
// correlations are those of a real sitting.
analysis::Sitting benchSitting(int students, int questions)
{
    std::mt19937 random(2024);
    std::normal_distribution<double> normal(0, 1);
    std::uniform_real_distribution<double> uniform(0, 1);
    analysis::Sitting s;
    for (int q = 0; q < questions; ++q) {
        s.fullMarks << (q < 20 ? 1.0 : 2.0 * (1 + q % 5));
        s.keys += q < 20 ? QChar(char16_t(u'A' + q % 4)) : QChar(u' ');
    }
    for (int i = 0; i < students; ++i) {
        const double ability = normal(random);
        QVector<double> row;
        QString chosen;
        for (int q = 0; q < questions; ++q) {
            const double chance = 1 / (1 + std::exp(-(1.2 * ability - 1.0 + 2.0 * q / questions)));
            if (q < 20) {
                const bool right = uniform(random) < chance;
                row << (right ? 1.0 : 0.0);
                const int wrong = (s.keys.at(q).unicode() - u'A' + 1 + int(uniform(random) * 3)) % 4;
                chosen += right ? s.keys.at(q) : QChar(char16_t(u'A' + wrong));
            } else {
                row << std::round(s.fullMarks.at(q) * std::clamp(chance + 0.1 * normal(random), 0.0, 1.0));
                chosen += QLatin1Char(' ');
            }
        }
        s.scores << row;
        s.choices << chosen;
    }
    return s;
}

// The same figures as analysis::analyse, written as plain loops over one contiguous score matrix:
// totals, groups by a stable sort, per question mean, P, D, item–rest correlation and variance, the
// choice questions' letter counts per group, and the paper's figures.
double plainAnalysis(const std::vector<double>& m, const std::vector<char>& letters, const std::vector<double>& full,
                     const std::vector<char>& keys, int students, int questions)
{
    std::vector<double> totals(students, 0);
    for (int s = 0; s < students; ++s) {
        for (int q = 0; q < questions; ++q) totals[s] += m[size_t(s) * questions + q];
    }
    std::vector<int> order(students);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return totals[a] > totals[b]; });
    const int group = std::max(1, int(std::llround(0.27 * students)));
    double meanTotal = 0;
    for (const double t : totals) meanTotal += t;
    meanTotal /= students;
    double varTotal = 0;
    for (const double t : totals) varTotal += (t - meanTotal) * (t - meanTotal);
    varTotal /= students - 1;
    double checksum = 0, itemVariances = 0;
    for (int q = 0; q < questions; ++q) {
        double sum = 0, top = 0, bottom = 0;
        for (int s = 0; s < students; ++s) sum += m[size_t(s) * questions + q];
        const double mean = sum / students;
        for (int i = 0; i < group; ++i) {
            top += m[size_t(order[i]) * questions + q];
            bottom += m[size_t(order[students - 1 - i]) * questions + q];
        }
        const double restMean = meanTotal - mean;
        double sxy = 0, sxx = 0, syy = 0;
        for (int s = 0; s < students; ++s) {
            const double x = m[size_t(s) * questions + q] - mean, y = totals[s] - m[size_t(s) * questions + q] - restMean;
            sxy += x * y;
            sxx += x * x;
            syy += y * y;
        }
        itemVariances += sxx / (students - 1);
        checksum += mean / full[q] + (top - bottom) / (group * full[q]) + sxy / std::sqrt(sxx * syy);
        if (keys[q] != ' ') {
            int all[26] = {}, best[26] = {}, worst[26] = {};
            for (int s = 0; s < students; ++s) ++all[letters[size_t(s) * questions + q] - 'A'];
            for (int i = 0; i < group; ++i) {
                ++best[letters[size_t(order[i]) * questions + q] - 'A'];
                ++worst[letters[size_t(order[students - 1 - i]) * questions + q] - 'A'];
            }
            for (int l = 0; l < 4; ++l) checksum += double(best[l] - worst[l]) / group + double(all[l]) / students;
        }
    }
    std::vector<double> sorted = totals;
    std::sort(sorted.begin(), sorted.end());
    const double median = (sorted[students / 2 - 1] + sorted[students / 2]) / 2;
    const double alpha = double(questions) / (questions - 1) * (1 - itemVariances / varTotal);
    return checksum + median + alpha + std::sqrt(varTotal);
}

// The score sheet of the sitting as a spreadsheet program saves it: 学号, 姓名 and 班级 as text,
// the choice questions' letters as text, the points as numbers.
QByteArray benchWorkbook(const analysis::Sitting& s, const QString& dir)
{
    const QString path = dir + QStringLiteral("/scores.xlsx");
    lxw_workbook* book = workbook_new(QFile::encodeName(path).constData());
    lxw_worksheet* sheet = workbook_add_worksheet(book, nullptr);
    const QStringList fixed = {QStringLiteral("学号"), QStringLiteral("姓名"), QStringLiteral("班级")};
    for (int c = 0; c < 3; ++c) worksheet_write_string(sheet, 0, lxw_col_t(c), fixed[c].toUtf8().constData(), nullptr);
    for (int q = 0; q < s.fullMarks.size(); ++q) {
        worksheet_write_string(sheet, 0, lxw_col_t(3 + q),
                               analysis::columnTitle(q + 1, s.fullMarks[q]).toUtf8().constData(), nullptr);
    }
    for (int i = 0; i < s.scores.size(); ++i) {
        const lxw_row_t row = lxw_row_t(i + 1);
        worksheet_write_string(sheet, row, 0, QByteArray::number(2024000000 + i).constData(), nullptr);
        worksheet_write_string(sheet, row, 1, QStringLiteral("学生%1").arg(i).toUtf8().constData(), nullptr);
        worksheet_write_string(sheet, row, 2, QStringLiteral("高一（%1）班").arg(i % 12 + 1).toUtf8().constData(), nullptr);
        for (int q = 0; q < s.fullMarks.size(); ++q) {
            if (s.keys.at(q) != QLatin1Char(' ')) {
                const char letter[2] = {char(s.choices[i].at(q).toLatin1()), 0};
                worksheet_write_string(sheet, row, lxw_col_t(3 + q), letter, nullptr);
            } else {
                worksheet_write_number(sheet, row, lxw_col_t(3 + q), s.scores[i][q], nullptr);
            }
        }
    }
    if (workbook_close(book) != LXW_NO_ERROR) qFatal("cannot write the bench workbook");
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

std::vector<Row> analysisRows(int reps, const QString& work)
{
    const int students = 10000, questions = 50;
    const analysis::Sitting sitting = benchSitting(students, questions);
    std::vector<Row> rows;
    {
        Row r{QStringLiteral("analyse a sitting of 10,000 students × 50 questions (20 of them choice questions)"),
              QStringLiteral("analysis::analyse: checks, totals, groups, per question P, D, item–rest r, letter shares; α"),
              QStringLiteral("the same figures in plain loops over one contiguous score matrix")};
        r.target = 2;
        std::vector<double> matrix;
        std::vector<char> letters;
        for (int s = 0; s < students; ++s) {
            for (int q = 0; q < questions; ++q) {
                matrix.push_back(sitting.scores[s][q]);
                letters.push_back(char(sitting.choices[s].at(q).toLatin1() == ' ' ? 'A' : sitting.choices[s].at(q).toLatin1()));
            }
        }
        std::vector<double> full(sitting.fullMarks.cbegin(), sitting.fullMarks.cend());
        std::vector<char> keys;
        for (const QChar k : sitting.keys) keys.push_back(char(k.toLatin1()));
        double alpha = 0, checksum = 0;
        r.oursMs = medianMs(reps, [&] { alpha = analysis::analyse(sitting).paper.alpha; });
        r.baselineMs = medianMs(reps, [&] { checksum = plainAnalysis(matrix, letters, full, keys, students, questions); });
        if (!(alpha > 0) || !std::isfinite(checksum)) qFatal("the analysis bench computed nothing");
        rows.push_back(r);
    }
    {
        QTemporaryDir dir(work + QStringLiteral("/sheet-XXXXXX"));
        const QByteArray book = benchWorkbook(sitting, dir.path());
        QVector<analysis::SheetQuestion> sheetQuestions;
        for (int q = 0; q < questions; ++q) {
            sheetQuestions.append({sitting.fullMarks[q], sitting.keys.at(q) == QLatin1Char(' ') ? QChar() : sitting.keys.at(q),
                                   sitting.keys.at(q) == QLatin1Char(' ') ? QString() : QStringLiteral("ABCD")});
        }
        const std::optional<QByteArray> sheetXml =
            packed::Archive(packed::Archive::InMemory{}, book, QStringLiteral("scores.xlsx"))
                .read(QStringLiteral("xl/worksheets/sheet1.xml"), 1LL << 30);
        if (!sheetXml) qFatal("the bench workbook has no sheet");
        Row r{QStringLiteral("read its .xlsx (%1 KB packed, sheet XML %2 KB)").arg(book.size() / 1024).arg(sheetXml->size() / 1024),
              QStringLiteral("analysis::readSheetXlsx: unpack, shared strings, every cell checked, students built"),
              QStringLiteral("QXmlStreamReader over the sheet XML unpacked beforehand: each <c>'s <v> converted to a number")};
        r.target = 1.5;
        int read = 0;
        r.oursMs = medianMs(reps, [&] {
            const analysis::ReadSheet sheet = analysis::readSheetXlsx(book, sheetQuestions, QStringLiteral("scores.xlsx"));
            if (!sheet.clean()) qFatal("the bench sheet has problems: %s", qPrintable(sheet.problems.first().message));
            read = int(sheet.students.size());
        });
        double sum = 0;
        r.baselineMs = medianMs(reps, [&] {
            QXmlStreamReader xml(*sheetXml);
            sum = 0;
            while (!xml.atEnd()) {
                if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"v") {
                    sum += xml.readElementText().toDouble();
                }
            }
        });
        if (read != students || !(sum > 0)) qFatal("the sheet bench read %d students", read);
        rows.push_back(r);
    }
    return rows;
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    Application application(argc, argv);
    app::setup(application);
    app::installNavigator();  // the windows find the current subject through it, as in the program
    const QStringList args = application.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--login-memory")) return childLoginMemory(args[2]);
    if (args.size() == 3 && args[1] == QLatin1String("--login-only")) return childLoginWindows(args[2], false);
    if (args.size() == 3 && args[1] == QLatin1String("--login-windows")) return childLoginWindows(args[2], true);
    if (args.size() == 5 && args[1] == QLatin1String("--store-client")) {
        return storeClient(args[2], args[3].toInt(), args[4].toInt());
    }
    if (args.size() == 6 && args[1] == QLatin1String("--store-client")) {
        return storeClient(args[2], args[3].toInt(), args[4].toInt(), args[5]);
    }

    int questions = 100000, reps = 15;
    QString only;    // one row of the large table (see runLarge)
    QString server;  // the administrative URI of a throw-away server: the server table
    QString serverLog;  // the file that server writes its log to (found from its process when not given)
    if (args.contains(QStringLiteral("--large"))) questions = 1000000;
    QString work = QDir::current().absoluteFilePath(QStringLiteral("bench-work"));
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--questions")) questions = args[i + 1].toInt();
        if (args[i] == QLatin1String("--reps")) reps = args[i + 1].toInt();
        if (args[i] == QLatin1String("--work")) work = QDir::current().absoluteFilePath(args[i + 1]);
        if (args[i] == QLatin1String("--server")) server = args[i + 1];
        if (args[i] == QLatin1String("--server-log")) serverLog = args[i + 1];
        if (args[i] == QLatin1String("--only")) only = args[i + 1];
    }
    QDir().mkpath(work);
    if (only == QLatin1String("analysis")) {  // the group of the score analysis: no bank needed
        for (const Row& r : analysisRows(reps, work)) printRow(r);
        printTable();
        return 0;
    }
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
    out() << "bank file: " << QString::number(fileMb, 'f', 1) << " MiB, " << reps << " repetitions each\n" << Qt::flush;
    if (questions >= 1000000) {
        Bank large;
        large.path = path;
        large.runDir = runDir;
        large.fileMb = fileMb;
        large.cachedBank = bank;
        return runLarge(large, reps, only);
    }

    DM = new TDM(&application);
    auto* main = new TMainF(nullptr);
    MainF = main;
    if (!server.isEmpty()) {
        return runServer(main, path, runDir, server, serverLog, reps, args.contains(QStringLiteral("--server-reuse")));
    }

    // 1. Login: connect and open every dataset (again, and a program's first).
    for (const Row& r : loginRows(path, reps)) printRow(r);

    DM->connectTo(path);
    main->fillSubjectBox();  // the first subject, 科目1, is current
    if (only == QLatin1String("moodle-export")) {  // the one row, for profiling it
        printRow(moodleExportRow(reps));
        return 0;
    }
    if (only == QLatin1String("duplicates")) {  // the one row, for profiling it
        printRow(duplicateCheckRow(work, reps));
        return 0;
    }
    if (only == QLatin1String("import-gb18030")) {  // the one row, for profiling it
        if (pandoc::available()) printRow(gb18030ImportRow(runDir, reps));
        return 0;
    }
    Lite lite(path);
    if (only == QLatin1String("search")) {  // the rows of the large table's search, on this bank, for profiling them
        printSearchRows(lite, reps);
        return 0;
    }

    // 2 and 3. Question entry on the type holding 2,000 questions (题型2 of 科目1).
    auto* entry = new TLrstF(main);
    LrstF = entry;
    entry->show();
    entry->ComboBoxTx->setCurrentText(QStringLiteral("题型2"));
    entry->ComboBoxTxChange();
    const int gridRows = DM->ADOQuerySt->recordCount();
    {
        Row r{QStringLiteral("open question entry's grid (%1 questions of one subject and type)").arg(gridRows),
              QStringLiteral("TLrstF::ComboBoxTxChange: lookups, grid query, grid refresh"),
              QStringLiteral("the same query (grid columns and keys) stepped to its end")};
        r.target = 1.5;
        r.oursMs = medianMs(reps, [&] { entry->ComboBoxTxChange(); });
        r.baselineMs = medianMs(reps, [&] {
            lite.readAll(
                "SELECT id, kmh, txh, th, zjh, nd, fs, \"time\", bz FROM stb WHERE kmh=? AND txh=? ORDER BY id",
                {"01", "02"});
        });
        printRow(r);
    }
    {
        int stored = 100000;
        Row r{QStringLiteral("store a new question with automatic numbering (type of %1)").arg(gridRows),
              QStringLiteral("TLrstF::BtnXtrkClick: lookups, next number, append and post, grid reopened"),
              QStringLiteral("its duplicate check's candidate query stepped through SQLite, then one prepared INSERT"
                             " of the same row (autocommit)")};
        r.target = 3;
        r.oursMs = medianMs(
            reps, [&] { entry->BtnXtrkClick(); },
            [&] {
                const QString text = distinctText(++stored);
                entry->MemoTm->setPlainText(text);
                entry->MemoDa->setPlainText(text);
                entry->EditFs->setText(QStringLiteral("5"));
            });
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(
            lite.db, "INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, \"time\", bz) VALUES (?,?,?,?,?,?,?,?,?,?)",
            -1, &insert, nullptr);
        int number = 5000;
        QByteArray t;  // made before each store, outside the time measured, as the window's text is
        CandidateQuery candidates;
        r.baselineMs = medianMs(reps, [&] {
            lite.readAll(kCandidateSql, {candidates.match, candidates.kmh});
            const QByteArray th = QByteArray::number(++number);
            const QByteArray values[] = {"01", "02", th, "01", "易", "5", t, t, "10:00:00", ""};
            for (int i = 0; i < 10; ++i) {
                sqlite3_bind_text(insert, i + 1, values[i].constData(), values[i].size(), SQLITE_TRANSIENT);
            }
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }, [&] {
            t = distinctText(++stored).toUtf8();
            candidates.prepare(QString::fromUtf8(t), QStringLiteral("01"));
        });
        sqlite3_finalize(insert);
        printRow(r);
    }
    printSearchRows(lite, reps);
    // Closed and destroyed as the menu's question entry is: its grid no longer follows the query
    // the wizard reopens.
    entry->close();
    delete entry;

    // 4 and 5. Wizard step 2 on 题型1 of 科目1 (5,000 questions), every chapter ticked.
    auto* step1 = new TZtszF(main);
    ZtszF = step1;
    step1->show();
    step1->SBtnQbyrClick();
    auto* step2 = new TXxszF(step1);
    XxszF = step2;
    step2->show();
    for (int i = 0; i < step2->CheckListBoxZj->count(); ++i) step2->CheckListBoxZj->item(i)->setCheckState(Qt::Checked);
    step2->ListBoxTx->setCurrentRow(0);
    const int candidates = DM->ADOQuerySt->recordCount();
    {
        Row r{QStringLiteral("candidate query for a type with %1 candidates, and its row count").arg(candidates),
              QStringLiteral("TXxszF::SelectTm + row count (grid bound to it)"),
              QStringLiteral("the same join with the same bound values, stepped and counted")};
        r.target = 1.5;
        int counted = 0;
        r.oursMs = medianMs(reps, [&] {
            step2->SelectTm();
            counted = DM->ADOQuerySt->recordCount();
        });
        long long rows = 0;
        r.baselineMs = medianMs(reps, [&] {
            sqlite3_stmt* st = nullptr;
            sqlite3_prepare_v2(
                lite.db,
                "SELECT stb.id, stb.kmh, stb.txh, stb.th, stb.zjh, stb.nd, stb.fs, stb.\"time\", stb.bz, zjb.zjm"
                " FROM stb, zjb, txb WHERE stb.zjh=zjb.zjh AND stb.txh=txb.txh AND stb.kmh=?"
                " AND zjb.bz='1' AND txb.txm=? AND zjb.kmh=? AND txb.kmh=? ORDER BY stb.id",
                -1, &st, nullptr);
            const QByteArray kmh = "01", txm = QStringLiteral("题型1").toUtf8();
            sqlite3_bind_text(st, 1, kmh.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 2, txm.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 3, kmh.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 4, kmh.constData(), -1, SQLITE_TRANSIENT);
            rows = 0;
            while (sqlite3_step(st) == SQLITE_ROW) {
                for (int c = 0; c < 10; ++c) sqlite3_column_text(st, c);
                ++rows;
            }
            sqlite3_finalize(st);
        });
        if (rows != counted) qFatal("candidate counts differ: %lld and %d", rows, counted);
        printRow(r);
    }
    {
        Row r{QStringLiteral("automatic selection of 200 questions from %1 candidates into sjb").arg(candidates),
              QStringLiteral("TXxszF::SBtnQbyrClick: draws, sjb rows, contents list, flag"),
              QStringLiteral("delete the type's rows, 200 INSERTs into sjb in one transaction")};
        r.target = 2;
        r.oursMs = medianMs(
            reps, [&] { step2->SBtnQbyrClick(); },
            [&] {
                step2->EditTs->setText(QStringLiteral("200"));
                step2->EditZf->setText(QStringLiteral("100"));
            });
        if (sql::scalar(DM->db(), QStringLiteral("SELECT COUNT(*) FROM sjb")).toInt() != 200) {
            qFatal("automatic selection did not write 200 rows");
        }
        std::vector<qint64> ids;
        for (qint64 id = 1; id <= 200; ++id) ids.push_back(id * 17);
        r.baselineMs = medianMs(reps, [&] {
            lite.exec("BEGIN");
            lite.exec("DELETE FROM sjb WHERE kmh='01' AND txh='01'");
            sqlite3_stmt* st = nullptr;
            sqlite3_prepare_v2(lite.db,
                               "INSERT INTO sjb (kmh, txh, th, zjh, nd, fs, tm, da, \"time\", bz)"
                               " SELECT kmh, txh, th, zjh, nd, '0.5', tm, da, \"time\", bz FROM stb WHERE id=?",
                               -1, &st, nullptr);
            for (qint64 id : ids) {
                sqlite3_bind_int64(st, 1, id);
                sqlite3_step(st);
                sqlite3_reset(st);
            }
            sqlite3_finalize(st);
            lite.exec("COMMIT");
        });
        printRow(r);
    }
    // 5c. The same draw leaving out the questions of the subject's 5 newest stored papers
    // (5 × 200 of the 5,000 candidates), beside today's draw measured again in this run.
    {
        for (int p = 0; p < 5; ++p) {
            library::StoredPaper paper;
            paper.title = QStringLiteral("往期试卷%1").arg(p + 1);
            paper.kmh = QStringLiteral("01");
            paper.kmm = QStringLiteral("科目1");
            library::StoredSection section;
            section.txh = QStringLiteral("01");
            section.typeName = QStringLiteral("题型1");
            sql::Reader q(DM->db(),
                          QStringLiteral("SELECT kmh, txh, th, zjh, nd, fs, tm, da FROM stb WHERE kmh='01' AND txh='01'"
                                         " ORDER BY id LIMIT 200 OFFSET ?"),
                          {p * 900});
            while (q.next()) {
                section.questions.append(
                    {q.text(0), q.text(1), q.text(2), q.text(3), q.text(4), q.text(5), q.text(6), q.text(7)});
            }
            section.count = int(section.questions.size());
            paper.sections.append(section);
            library::storePaper(DM->db(), paper);
        }
        Row r{QStringLiteral("automatic selection of 200 from %1 leaving out the 5 newest papers' questions")
                  .arg(candidates),
              QStringLiteral("TXxszF::SBtnQbyrClick with 排除最近 5 份 ticked"),
              QStringLiteral("TXxszF::SBtnQbyrClick as today (option off), same run")};
        r.target = 2;
        auto prepare = [&] {
            step2->EditTs->setText(QStringLiteral("200"));
            step2->EditZf->setText(QStringLiteral("100"));
        };
        step2->CheckBoxPcjq->setChecked(false);
        r.baselineMs = medianMs(
            reps, [&] { step2->SBtnQbyrClick(); }, prepare);
        step2->CheckBoxPcjq->setChecked(true);
        step2->SpinBoxPcjq->setValue(5);
        r.oursMs = medianMs(
            reps, [&] { step2->SBtnQbyrClick(); }, prepare);
        if (sql::scalar(DM->db(), QStringLiteral("SELECT COUNT(*) FROM sjb")).toInt() != 200) {
            qFatal("the draw leaving out recent papers did not write 200 rows");
        }
        step2->CheckBoxPcjq->setChecked(false);
        printRow(r);
    }
    // 5b. The blueprint of 科目1: every chapter × 4 types × 5 difficulties.
    {
        auto* window = new BlueprintWindow(main);
        for (int i = 4; i < window->TableTypes->rowCount(); ++i)
            window->TableTypes->item(i, 0)->setCheckState(Qt::Unchecked);
        blueprint::Plan plan;
        QString message;
        window->currentPlan(&plan, &message);
        const int cells = static_cast<int>(plan.chapters.size() * plan.types.size() * blueprint::levels().size());
        Row r{QStringLiteral(
                  "recount a blueprint of %1 chapters × %2 types × 5 difficulties (%3 cells) after a keystroke")
                  .arg(plan.chapters.size())
                  .arg(plan.types.size())
                  .arg(cells),
              QStringLiteral("BlueprintWindow::refreshCounts: grouped count, every cell's label, red cells and totals"),
              QStringLiteral("one grouped COUNT over the subject's questions, stepped to its end")};
        r.target = 2;
        r.oursMs = medianMs(reps, [&] { window->refreshCounts(); });
        r.baselineMs = medianMs(reps, [&] {
            lite.readAll("SELECT zjh, txh, nd, COUNT(*) FROM stb WHERE kmh=? GROUP BY zjh, txh, nd", {"01"});
        });
        printRow(r);

        // A 100-question plan the bank meets: one question per cell until 100 are asked for.
        blueprint::BankCounts counts;
        counts.load(DM->db(), plan.kmh);
        int asked = 0;
        for (const auto& t : plan.types) {
            for (const auto& ch : plan.chapters) {
                for (const QString& nd : blueprint::levels()) {
                    if (asked < 100 && counts.available(ch.zjh, t.txh, nd) > 0) {
                        plan.cells.append({ch.zjh, t.txh, nd, 1, 1});
                        ++asked;
                    }
                }
            }
        }
        Row c{QStringLiteral("compose a %1-question paper from a blueprint into sjb").arg(asked),
              QStringLiteral("blueprint::draw + writePaper: candidates by cell, draws, sjb rows, flags"),
              QStringLiteral("today's automatic selection of the same number (TXxszF::SBtnQbyrClick)")};
        c.target = 2;
        // Today's selection runs first: composing from the blueprint replaces the chapter flags it reads.
        c.baselineMs = medianMs(
            reps, [&] { step2->SBtnQbyrClick(); },
            [&] {
                step2->EditTs->setText(QString::number(asked));
                step2->EditZf->setText(QStringLiteral("100"));
            });
        c.oursMs = medianMs(reps, [&] {
            const blueprint::Draw drawn = blueprint::draw(DM->db(), plan, {});
            blueprint::writePaper(DM->db(), plan, drawn);
        });
        if (sql::scalar(DM->db(), QStringLiteral("SELECT COUNT(*) FROM sjb")).toInt() != asked) {
            qFatal("the blueprint did not write %d rows", asked);
        }
        printRow(c);
        window->close();
    }
    step2->close();
    step1->close();

    // 6. The document of a 200-question paper with 4 sections.
    {
        PaperContent paper;
        paper.title = QStringLiteral("期末考试试卷");
        paper.duration = QStringLiteral("120");
        paper.total = QStringLiteral("100");
        sql::Reader q(DM->db(),
                      QStringLiteral("SELECT tm, da FROM stb WHERE kmh='01' AND txh='03' ORDER BY id LIMIT 200"));
        for (int s = 0; s < 4; ++s) {
            PaperSection section;
            section.typeName = QStringLiteral("题型%1").arg(s + 1);
            for (int i = 0; i < 50 && q.next(); ++i) section.questions.append({q.text(0), q.text(1)});
            section.count = section.questions.size();
            section.points = 25;
            paper.sections.append(section);
        }
        const QString folder = runDir + QStringLiteral("/Papers");
        QDir(folder).removeRecursively();
        const QString written = writePaperDocument(paper, folder);
        // The baseline's parts: exactly the bytes our writer produced, read back from its file.
        QVector<QPair<QByteArray, QByteArray>> parts;
        {
            zip_t* z = zip_open(written.toUtf8().constData(), ZIP_RDONLY, nullptr);
            for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
                zip_stat_t st;
                zip_stat_index(z, zip_uint64_t(i), 0, &st);
                QByteArray bytes(qsizetype(st.size), Qt::Uninitialized);
                zip_file_t* f = zip_fopen_index(z, zip_uint64_t(i), 0);
                zip_fread(f, bytes.data(), st.size);
                zip_fclose(f);
                parts.append({QByteArray(st.name), bytes});
            }
            zip_close(z);
        }
        Row r{QStringLiteral("write the .docx of a 200-question paper with 4 sections"),
              QStringLiteral("writePaperDocument: XML, pictures, deflate, temporary file and rename"),
              QStringLiteral("libzip storing the same parts, already serialised, deflated into a file")};
        r.target = 2;
        r.oursMs = medianMs(
            reps, [&] { writePaperDocument(paper, folder); }, [&] { QDir(folder).removeRecursively(); });
        const QByteArray target = (runDir + QStringLiteral("/baseline.docx")).toUtf8();
        r.baselineMs = medianMs(reps, [&] {
            zip_t* z = zip_open(target.constData(), ZIP_CREATE | ZIP_TRUNCATE, nullptr);
            for (const auto& part : parts) {
                zip_source_t* src = zip_source_buffer(z, part.second.constData(), zip_uint64_t(part.second.size()), 0);
                const zip_int64_t index = zip_file_add(z, part.first.constData(), src, ZIP_FL_ENC_UTF_8);
                zip_set_file_compression(z, zip_uint64_t(index), ZIP_CM_DEFLATE, 6);  // the writer's level
            }
            zip_close(z);
        });
        printRow(r);

        // 7. The same paper with two formulas in every question and a picture in every tenth.
        const QString figure = content::pictureMarker(content::storePicture(DM->db(), trianglePng()));
        PaperContent withFormulas = paper;
        QStringList latex;
        int n = 0;
        for (PaperSection& section : withFormulas.sections) {
            for (PaperQuestion& question : section.questions) {
                ++n;
                const QString first = QStringLiteral("x_{%1}^{2}-\\frac{%1}{x+1}=\\sqrt{%1+y^{2}}").arg(n);
                const QString second =
                    QStringLiteral("\\sum_{k=1}^{%1}\\left(k+\\frac{1}{k}\\right)\\le\\int_{0}^{%1}t^{2}\\,dt").arg(n);
                latex << first << second;
                question.text += QStringLiteral("已知 \\(%1\\)，求证 \\(%2\\)。").arg(first, second);
                if (n % 10 == 0) question.text += QStringLiteral("如图所示：") + figure;
            }
        }
        Row warm{QStringLiteral(
                     "write the .docx of a 200-question paper with 400 formulas and 20 pictures, formulas cached"),
                 QStringLiteral("writePaperDocument: cache reads, Office Math, pictures, XML, deflate, file"),
                 QStringLiteral("writePaperDocument of the plain 200-question paper above")};
        warm.target = 2;
        writePaperDocument(withFormulas, folder);  // fills the formula cache
        if (sql::scalar(DM->db(), QStringLiteral("SELECT COUNT(*) FROM formula_omml")).toInt() != latex.size()) {
            qFatal("the formula cache does not hold the paper's %d formulas", int(latex.size()));
        }
        warm.oursMs = medianMs(
            reps, [&] { writePaperDocument(withFormulas, folder); }, [&] { QDir(folder).removeRecursively(); });
        warm.baselineMs = medianMs(
            reps, [&] { writePaperDocument(paper, folder); }, [&] { QDir(folder).removeRecursively(); });
        printRow(warm);

        // The writer's one pandoc run, on its own: the same input file, the same arguments.
        QTemporaryDir pandocDir;
        const QString input = pandocDir.filePath(QStringLiteral("formulas.tex"));
        const QString output = pandocDir.filePath(QStringLiteral("formulas.docx"));
        {
            QString source;
            for (int i = 0; i < latex.size(); ++i) source += QStringLiteral("@%1 \\(%2\\)\n\n").arg(i).arg(latex.at(i));
            QFile file(input);
            if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write %s", qPrintable(input));
            file.write(source.toUtf8());
        }
        Row cold{QStringLiteral("write the .docx of the same paper, formula cache empty (400 formulas converted)"),
                 QStringLiteral("writePaperDocument: one pandoc run, its result read and cached, then the paper"),
                 QStringLiteral("pandoc converting the same 400 formulas alone (the same single run, same arguments)")};
        cold.target = 1.2;
        cold.oursMs = medianMs(
            reps, [&] { writePaperDocument(withFormulas, folder); },
            [&] {
                QDir(folder).removeRecursively();
                sql::exec(DM->db(), QStringLiteral("DELETE FROM formula_omml"));
            });
        cold.baselineMs = medianMs(reps, [&] {
            QProcess pandoc;
            pandoc.start(QStringLiteral("pandoc"), {QStringLiteral("--from=latex"), QStringLiteral("--to=docx"),
                                                    QStringLiteral("--output"), output, input});
            if (!pandoc.waitForFinished(pandoc::kDefaultTimeoutMs) || pandoc.exitCode() != 0) qFatal("pandoc failed");
        });
        printRow(cold);
    }

    // 7. Deleting a subject of 30,000 questions into the recycle bin, beside deleting it outright
    // with the statements 科目设置 used before the bin existed. Every repetition starts from a
    // fresh copy of a bank that holds that subject and one more (the copying is not timed).
    {
        const QString pristine = runDir + QStringLiteral("/delete-pristine.db");
        const QString target = runDir + QStringLiteral("/Data/delete.db");
        QFile::remove(pristine);
        QFile::copy(path, pristine);
        {
            Lite prep(pristine);
            // Subject 01 takes the first 30,000 questions, subject 02 the rest; then only those two stay.
            prep.exec("BEGIN");
            prep.exec("UPDATE stb SET kmh = CASE WHEN id <= 30000 THEN '01' ELSE '02' END");
            prep.exec("DELETE FROM stb WHERE id > 40000");
            prep.exec("DELETE FROM kmb WHERE kmh NOT IN ('01','02')");
            prep.exec("DELETE FROM txb WHERE kmh NOT IN ('01','02')");
            prep.exec("DELETE FROM zjb WHERE kmh NOT IN ('01','02')");
            prep.exec("COMMIT");
            prep.exec("VACUUM");
        }
        auto fresh = [&] {
            DM->disconnectFromBank();
            QFile::remove(target);
            QFile::copy(pristine, target);
            DM->connectTo(target);
            // Both sides find the file in the page cache.
            Lite warm(target);
            warm.readAll("SELECT kmh, length(tm), length(da) FROM stb");
        };
        const QString subject = QStringLiteral("01");
        auto outright = [&] {
            TKmszF::DelStb(subject);
            TKmszF::DelZjb(subject);
            TKmszF::DelTxb(subject);
            TKmszF::Delkmb(subject);
        };
        Row r{QStringLiteral("delete a subject of 30,000 questions into the recycle bin"),
              QStringLiteral(
                  "科目设置's deletion: copy into the bin, delete the rows copied, one transaction, datasets re-read"),
              QStringLiteral("the four deletions alone in one transaction, datasets re-read (before the bin)")};
        r.target = 2;
        const int binReps = qMax(3, reps / 2);
        r.oursMs = medianMs(
            binReps,
            [&] {
                DM->transaction({DM->ADOStb, DM->ADOZjb, DM->ADOTxb, DM->ADOKmb}, [&] {
                    recycle::removeKept(DM->db(), recycle::keepSubject(DM->db(), subject, QStringLiteral("admin")));
                });
            },
            fresh);
        if (sql::scalar(DM->db(), QStringLiteral("SELECT COUNT(*) FROM recycle_stb")).toInt() != 30000) {
            qFatal("the recycle bin does not hold the 30,000 questions");
        }
        r.baselineMs = medianMs(binReps, [&] {
            DM->transaction({DM->ADOStb, DM->ADOZjb, DM->ADOTxb, DM->ADOKmb}, outright);
        }, fresh);
        if (sql::scalar(DM->db(), QStringLiteral("SELECT COUNT(*) FROM stb WHERE kmh='01'")).toInt() != 0) {
            qFatal("the subject was not deleted");
        }
        printRow(r);
        DM->disconnectFromBank();
        QFile::remove(target);
        QFile::remove(pristine);
        DM->connectTo(path);
    }

    // Backup of the whole bank while the program has it open, beside copying the file with cp and
    // making the copy durable with fsync, as a backup must be to survive a power cut.
    {
        const QString copyDir = runDir + QStringLiteral("/copies");
        auto clear = [&] {
            QDir(copyDir).removeRecursively();
            QDir().mkpath(copyDir);
        };
        Row r{QStringLiteral("backup of the whole bank"),
              QStringLiteral("backup::backupTo: the file's bytes read through SQLite under a read transaction, fsync, link into place"),
              QStringLiteral("cp of the bank file, then fsync of the copy")};
        r.target = 1.5;
        r.oursMs = medianMs(
            reps, [&] { backup::backupTo(path, copyDir + QStringLiteral("/backup.db")); }, clear);
        r.baselineMs = medianMs(
            reps,
            [&] {
                const QString copy = copyDir + QStringLiteral("/copy.db");
                QProcess cp;
                cp.start(QStringLiteral("cp"), {path, copy});
                cp.waitForFinished(-1);
                QFile written(copy);
                if (written.open(QIODevice::ReadOnly)) ::fsync(written.handle());
            },
            clear);
        printRow(r);
        QDir(copyDir).removeRecursively();
    }

    // 8 and 9. The paper library with 10,000 stored papers of 10 questions each.
    {
        QVector<library::StoredQuestion> copies;
        {
            sql::Reader q(DM->db(), QStringLiteral("SELECT kmh, txh, th, zjh, nd, fs, tm, da FROM stb WHERE kmh='01'"
                                                   " AND txh='02' ORDER BY id LIMIT 10"));
            while (q.next()) {
                copies.append({q.text(0), q.text(1), q.text(2), q.text(3), q.text(4), q.text(5), q.text(6), q.text(7)});
            }
        }
        QSqlDatabase db = DM->db();
        sql::transaction(db, [&] {
            for (int p = 0; p < 10000; ++p) {
                library::StoredPaper paper;
                paper.title = QStringLiteral("第%1次测验").arg(p + 1);
                paper.kmh = QStringLiteral("01");
                paper.kmm = QStringLiteral("科目1");
                paper.duration = QStringLiteral("90");
                paper.total = QStringLiteral("100");
                library::StoredSection section;
                section.txh = QStringLiteral("02");
                section.typeName = QStringLiteral("题型2");
                section.questions = copies;
                section.count = int(copies.size());
                section.points = 100;
                paper.sections.append(section);
                library::insertPaper(db, paper);
            }
        });
        const int stored = sql::scalar(db, QStringLiteral("SELECT COUNT(*) FROM papers")).toInt();
        auto* window = new TSjkF(main);
        {
            Row r{QStringLiteral("list the %1 stored papers of the library, newest first").arg(stored),
                  QStringLiteral("TSjkF::Search: listPapers, table model reset, count label"),
                  QStringLiteral("the same SELECT of the list's columns stepped to its end")};
            r.target = 1.5;
            r.oursMs = medianMs(reps, [&] { window->Search(); });
            r.baselineMs = medianMs(reps, [&] {
                lite.readAll(
                    "SELECT id, title, kmm, duration, total, layout, created_at, created_by, question_count"
                    " FROM papers ORDER BY id DESC");
            });
            printRow(r);
        }
        {
            const qint64 id = sql::scalar(db, QStringLiteral("SELECT MAX(id) FROM papers")).toLongLong() - 5000;
            const std::vector<QByteArray> binds = {QByteArray::number(id)};
            Row r{QStringLiteral("open one stored paper (10 questions) among %1").arg(stored),
                  QStringLiteral("library::loadPaper: paper, sections, question copies"),
                  QStringLiteral("the same three SELECTs stepped to their end")};
            r.target = 1.5;
            r.oursMs = medianMs(reps, [&] {
                if (library::loadPaper(db, id).questionCount() != 10) qFatal("the stored paper was not read");
            });
            r.baselineMs = medianMs(reps, [&] {
                lite.readAll(
                    "SELECT title, kmh, kmm, duration, total, layout, created_at, created_by, source_id,"
                    " variant, seed, overlap_percent FROM papers WHERE id=?",
                    binds);
                lite.readAll(
                    "SELECT txh, txm, question_count, points FROM paper_sections WHERE paper_id=?"
                    " ORDER BY position",
                    binds);
                lite.readAll(
                    "SELECT section_position, kmh, txh, th, zjh, nd, fs, tm, da FROM paper_questions"
                    " WHERE paper_id=? ORDER BY section_position, position",
                    binds);
            });
            printRow(r);
        }
        delete window;
    }

    printRow(moodleExportRow(reps));

    // Importing a 2,000-question .docx (written by pandoc from Markdown): read, recognise and store
    // it in one transaction (rolled back after each repetition), against pandoc's own conversion
    // of the same file to JSON.
    if (pandoc::available()) {
        QString markdown = QStringLiteral("一、选择题（每小题2分）\n\n");
        for (int i = 1; i <= 2000; ++i) {
            markdown += QStringLiteral("%1\\. 第%1题：计算 $x + %1$ 的值\n\nA\\. 1　B\\. 2　C\\. 3　D\\. 4\n\n【答案】B\n\n").arg(i);
        }
        const QString docx = runDir + QStringLiteral("/import-2000.docx");
        pandoc::run({QStringLiteral("-f"), QStringLiteral("markdown"), QStringLiteral("-o"), docx}, docx, 120000,
                    markdown.toUtf8());
        const QString kmh = sql::scalar(DM->db(), QStringLiteral("SELECT kmh FROM kmb ORDER BY id LIMIT 1"));
        const QString chapter = sql::scalar(DM->db(), QStringLiteral("SELECT zjm FROM zjb WHERE kmh=? ORDER BY id LIMIT 1"), {kmh});
        Row r{QStringLiteral("import a 2,000-question .docx into a subject"),
              QStringLiteral("readDocument (pandoc JSON, recognising) + storeQuestions in one transaction"),
              QStringLiteral("pandoc -t json (sandboxed) on the same file")};
        r.target = 1.5;
        int stored = 0;
        r.oursMs = medianMs(reps, [&] {
            exchange::ImportedPaper paper = exchange::readDocument(docx);
            for (exchange::ImportedQuestion& q : paper.questions) q.chapterName = chapter;
            QSqlDatabase db = DM->db();
            sql::begin(db);
            exchange::StoreOptions options;
            options.createTypes = true;
            stored = exchange::storeQuestions(db, kmh, paper.questions, paper.pictures, options).stored;
            sql::rollback(db);
        });
        if (stored != 2000) qFatal("the import bench stored %d questions", stored);
        r.baselineMs = medianMs(reps, [&] { pandoc::documentTree(docx); });
        printRow(r);
    }

    if (pandoc::available()) printRow(gb18030ImportRow(runDir, reps));
    printRow(duplicateCheckRow(work, reps));
    for (const Row& r : analysisRows(reps, work)) printRow(r);

    // Peak memory after login, in a fresh process (which may open the bank only once this one
    // has let it go).
    long loginKb = -1;
    DM->disconnectFromBank();
    {
        QProcess child;
        child.start(application.applicationFilePath(), {QStringLiteral("--login-memory"), runDir});
        child.waitForFinished(120000);
        loginKb = QString::fromUtf8(child.readAllStandardOutput()).trimmed().toLong();
    }

    printTable();
    printMemoryRow(QStringLiteral("peak memory after login (VmHWM of a fresh process)"), loginKb, fileMb, 0.25);
    delete main;
    return 0;
}
