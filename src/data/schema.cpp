#include "data/schema.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSqlError>

#include "data/bank_file.h"
#include "data/engine.h"
#include "data/errors.h"
#include "data/sql.h"

namespace schema {

// Every table has a hidden auto-increment id that orders its rows; all other columns are text.
static const char* const kTables[] = {
    "CREATE TABLE IF NOT EXISTS kmb (id INTEGER PRIMARY KEY AUTOINCREMENT, kmh TEXT, kmm TEXT)",
    "CREATE TABLE IF NOT EXISTS txb (id INTEGER PRIMARY KEY AUTOINCREMENT, kmh TEXT, txh TEXT, txm TEXT, bz TEXT)",
    "CREATE TABLE IF NOT EXISTS zjb (id INTEGER PRIMARY KEY AUTOINCREMENT, kmh TEXT, zjh TEXT, zjm TEXT, bz TEXT)",
    "CREATE TABLE IF NOT EXISTS stb (id INTEGER PRIMARY KEY AUTOINCREMENT, kmh TEXT, txh TEXT, th TEXT, zjh TEXT,"
    " nd TEXT, fs TEXT, tm TEXT, da TEXT, time TEXT, bz TEXT)",
    "CREATE TABLE IF NOT EXISTS sjb (id INTEGER PRIMARY KEY AUTOINCREMENT, kmh TEXT, txh TEXT, th TEXT, zjh TEXT,"
    " nd TEXT, fs TEXT, tm TEXT, da TEXT, time TEXT, bz TEXT)",
    "CREATE TABLE IF NOT EXISTS mmb (id INTEGER PRIMARY KEY AUTOINCREMENT, yhm TEXT, mm TEXT, qx TEXT, bz TEXT)",
    // Lookups filter by these columns; the id stays the only order.
    "CREATE INDEX IF NOT EXISTS kmb_kmm ON kmb (kmm)",
    "CREATE INDEX IF NOT EXISTS txb_kmh_txm ON txb (kmh, txm)",
    "CREATE INDEX IF NOT EXISTS zjb_kmh_zjm ON zjb (kmh, zjm)",
    "CREATE INDEX IF NOT EXISTS zjb_kmh_zjh ON zjb (kmh, zjh)",
    // Lists of one subject and type (question entry, candidates) read only this index, in id order.
    "CREATE INDEX IF NOT EXISTS stb_list ON stb (kmh, txh, id, th, zjh, nd, fs, \"time\", bz)",
    "CREATE INDEX IF NOT EXISTS stb_kmh_zjh ON stb (kmh, zjh)",
    "CREATE INDEX IF NOT EXISTS sjb_kmh_txh ON sjb (kmh, txh)",
    "CREATE INDEX IF NOT EXISTS mmb_yhm ON mmb (yhm)",
    // Blueprint templates (双向细目表): a named plan per subject, its question types in paper order
    // (merged: one column for all difficulties) and its cells (nd empty for a merged column).
    // title and duration: the paper's title and 考试时间 the template was saved with (version 4).
    // row_kind: what its rows are, "zj" (or empty, before version 6) chapters, "zsd" knowledge points;
    // for knowledge points a cell's zjh holds the point's id as text.
    "CREATE TABLE IF NOT EXISTS blueprints (id INTEGER PRIMARY KEY AUTOINCREMENT, kmh TEXT, name TEXT, zf TEXT,"
    " title TEXT, duration TEXT, row_kind TEXT)",
    "CREATE TABLE IF NOT EXISTS blueprint_types (id INTEGER PRIMARY KEY AUTOINCREMENT, blueprint_id INTEGER,"
    " txh TEXT, merged TEXT)",
    "CREATE TABLE IF NOT EXISTS blueprint_cells (id INTEGER PRIMARY KEY AUTOINCREMENT, blueprint_id INTEGER,"
    " zjh TEXT, txh TEXT, nd TEXT, ts TEXT, fs TEXT)",
    "CREATE INDEX IF NOT EXISTS blueprints_kmh ON blueprints (kmh, name)",
    "CREATE INDEX IF NOT EXISTS blueprint_types_owner ON blueprint_types (blueprint_id)",
    "CREATE INDEX IF NOT EXISTS blueprint_cells_owner ON blueprint_cells (blueprint_id)",
    // Knowledge points (知识点, version 5): a tree per subject (zsdm the name, sjid the parent's id, 0 at the top)
    // and the links of questions (stid: stb.id) to them, read from either side.
    "CREATE TABLE IF NOT EXISTS zsdb (id INTEGER PRIMARY KEY AUTOINCREMENT, kmh TEXT, zsdm TEXT, sjid INTEGER)",
    "CREATE TABLE IF NOT EXISTS stzsd (id INTEGER PRIMARY KEY AUTOINCREMENT, stid INTEGER, zsdid INTEGER)",
    "CREATE INDEX IF NOT EXISTS zsdb_kmh_sjid ON zsdb (kmh, sjid, zsdm)",
    "CREATE INDEX IF NOT EXISTS zsdb_sjid ON zsdb (sjid)",
    "CREATE INDEX IF NOT EXISTS stzsd_stid ON stzsd (stid, zsdid)",
    "CREATE INDEX IF NOT EXISTS stzsd_zsdid ON stzsd (zsdid, stid)",
};

// The recycle bin: one row per deletion in recycle_items (what it was, when and by whom), and the
// deleted rows themselves, each with the item it belongs to and its id in the table it came from.
// Plain SQL both engines read, apart from the auto-increment id spelled as everywhere in this file.
static const char* const kRecycleTables[] = {
    "CREATE TABLE IF NOT EXISTS recycle_items (id INTEGER PRIMARY KEY AUTOINCREMENT, kind TEXT NOT NULL,"
    " summary TEXT, deleted_at TEXT NOT NULL, deleted_by TEXT, kmh TEXT, kmm TEXT, txh TEXT, txm TEXT, zjh TEXT,"
    " zjm TEXT, th TEXT)",
    "CREATE TABLE IF NOT EXISTS recycle_kmb (id INTEGER PRIMARY KEY AUTOINCREMENT, item_id INTEGER NOT NULL,"
    " orig_id INTEGER, kmh TEXT, kmm TEXT)",
    "CREATE TABLE IF NOT EXISTS recycle_txb (id INTEGER PRIMARY KEY AUTOINCREMENT, item_id INTEGER NOT NULL,"
    " orig_id INTEGER, kmh TEXT, txh TEXT, txm TEXT, bz TEXT)",
    "CREATE TABLE IF NOT EXISTS recycle_zjb (id INTEGER PRIMARY KEY AUTOINCREMENT, item_id INTEGER NOT NULL,"
    " orig_id INTEGER, kmh TEXT, zjh TEXT, zjm TEXT, bz TEXT)",
    "CREATE TABLE IF NOT EXISTS recycle_stb (id INTEGER PRIMARY KEY AUTOINCREMENT, item_id INTEGER NOT NULL,"
    " orig_id INTEGER, kmh TEXT, txh TEXT, th TEXT, zjh TEXT, nd TEXT, fs TEXT, tm TEXT, da TEXT, time TEXT, bz TEXT)",
    "CREATE INDEX IF NOT EXISTS recycle_items_deleted_at ON recycle_items (deleted_at)",
    "CREATE INDEX IF NOT EXISTS recycle_kmb_item ON recycle_kmb (item_id)",
    "CREATE INDEX IF NOT EXISTS recycle_txb_item ON recycle_txb (item_id)",
    "CREATE INDEX IF NOT EXISTS recycle_zjb_item ON recycle_zjb (item_id)",
    "CREATE INDEX IF NOT EXISTS recycle_stb_item ON recycle_stb (item_id)",
    // A deleted subject's knowledge points, and the links of the deleted questions (stid: the
    // question's stb.id, as recycle_stb.orig_id keeps it).
    "CREATE TABLE IF NOT EXISTS recycle_zsdb (id INTEGER PRIMARY KEY AUTOINCREMENT, item_id INTEGER NOT NULL,"
    " orig_id INTEGER, kmh TEXT, zsdm TEXT, sjid INTEGER)",
    "CREATE TABLE IF NOT EXISTS recycle_stzsd (id INTEGER PRIMARY KEY AUTOINCREMENT, item_id INTEGER NOT NULL,"
    " orig_id INTEGER, stid INTEGER, zsdid INTEGER)",
    "CREATE INDEX IF NOT EXISTS recycle_zsdb_item ON recycle_zsdb (item_id)",
    "CREATE INDEX IF NOT EXISTS recycle_stzsd_item ON recycle_stzsd (item_id)",
};

// The tables of question content (version 2). This is the one place where the SQL differs
// between engines: SQLite's INTEGER PRIMARY KEY AUTOINCREMENT and BLOB become
// BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY and BYTEA on PostgreSQL; the rest is shared.
// Pictures are stored once, keyed by the SHA-256 of their bytes. Converted formulas are keyed by
// the SHA-256 of their LaTeX source (a long formula would overflow an index on the text itself).
static const char* const kContentTables[] = {
    "CREATE TABLE IF NOT EXISTS pictures (id INTEGER PRIMARY KEY AUTOINCREMENT, hash TEXT NOT NULL UNIQUE,"
    " mime TEXT NOT NULL, width INTEGER NOT NULL, height INTEGER NOT NULL, data BLOB NOT NULL)",
    "CREATE TABLE IF NOT EXISTS formula_omml (id INTEGER PRIMARY KEY AUTOINCREMENT, latex_hash TEXT NOT NULL UNIQUE,"
    " latex TEXT NOT NULL, omml TEXT NOT NULL)",
};

static const char* const kLibraryTables[] = {
    // The paper library: every composed paper as it was printed, its sections in paper order and
    // a copy of each question, so that later changes to the bank leave a given paper as it was.
    "CREATE TABLE IF NOT EXISTS papers (id INTEGER PRIMARY KEY AUTOINCREMENT, title TEXT, kmh TEXT, kmm TEXT,"
    " duration TEXT, total TEXT, layout TEXT, created_at TEXT, created_by TEXT, question_count INTEGER,"
    " source_id INTEGER, variant TEXT, seed TEXT, overlap_percent INTEGER)",
    "CREATE TABLE IF NOT EXISTS paper_sections (id INTEGER PRIMARY KEY AUTOINCREMENT, paper_id INTEGER,"
    " position INTEGER, txh TEXT, txm TEXT, question_count INTEGER, points INTEGER)",
    "CREATE TABLE IF NOT EXISTS paper_questions (id INTEGER PRIMARY KEY AUTOINCREMENT, paper_id INTEGER,"
    " section_position INTEGER, position INTEGER, kmh TEXT, txh TEXT, th TEXT, zjh TEXT, nd TEXT, fs TEXT,"
    " tm TEXT, da TEXT, question_id INTEGER, zsd TEXT)",
    "CREATE INDEX IF NOT EXISTS papers_kmh ON papers (kmh, id)",
    "CREATE INDEX IF NOT EXISTS paper_sections_paper ON paper_sections (paper_id, position)",
    "CREATE INDEX IF NOT EXISTS paper_questions_paper ON paper_questions (paper_id, section_position, position)",
    // Papers by the number a question had when printed (kept from version 2; lookups use the next one).
    "CREATE INDEX IF NOT EXISTS paper_questions_question ON paper_questions (kmh, txh, th, paper_id)",
    // Usage history of one question: which papers used it, by the question's own id in stb.
    "CREATE INDEX IF NOT EXISTS paper_questions_question_id ON paper_questions (question_id, paper_id)",
    // Sittings of stored papers (version 8): the scores of each student in one row (one number per
    // question, in paper order, joined by ";"; choices the letters chosen, " " where none), and each
    // question's statistics per sitting by its id in stb, so that renumbering or restoring it keeps them.
    "CREATE TABLE IF NOT EXISTS sittings (id INTEGER PRIMARY KEY AUTOINCREMENT, paper_id INTEGER, held_on TEXT,"
    " class_name TEXT, students INTEGER, created_at TEXT, created_by TEXT)",
    "CREATE TABLE IF NOT EXISTS sitting_students (id INTEGER PRIMARY KEY AUTOINCREMENT, sitting_id INTEGER,"
    " xh TEXT, xm TEXT, bj TEXT, scores TEXT, choices TEXT)",
    "CREATE TABLE IF NOT EXISTS question_stats (id INTEGER PRIMARY KEY AUTOINCREMENT, sitting_id INTEGER,"
    " question_id INTEGER, position INTEGER, full_marks DOUBLE PRECISION, mean DOUBLE PRECISION,"
    " difficulty DOUBLE PRECISION, discrimination DOUBLE PRECISION, item_rest DOUBLE PRECISION, students INTEGER)",
    "CREATE INDEX IF NOT EXISTS sittings_paper ON sittings (paper_id, id)",
    "CREATE INDEX IF NOT EXISTS sitting_students_owner ON sitting_students (sitting_id, id)",
    "CREATE INDEX IF NOT EXISTS question_stats_owner ON question_stats (sitting_id, position)",
    "CREATE INDEX IF NOT EXISTS question_stats_question ON question_stats (question_id, sitting_id)",
};

// Columns added to a table after it was first created, each with the version that added it: an older
// bank gets them by "ALTER TABLE t ADD COLUMN <definition>", which SQLite records as if the table had
// been created with the column at its end, as kLibraryTables creates it now.
struct AddedColumn {
    const char* table;
    const char* name;
    const char* definition;
    int version;
};
static const AddedColumn kAddedColumns[] = {
    // The question a printed copy came from, by stb.id: its number may be given to another question
    // once it is deleted, its id never.
    {"paper_questions", "question_id", "question_id INTEGER", 3},
    // A template brings back the paper's title and 考试时间 it was saved with.
    {"blueprints", "title", "title TEXT", 4},
    {"blueprints", "duration", "duration TEXT", 4},
    // A template laid out by knowledge points says so; older ones are laid out by chapters.
    {"blueprints", "row_kind", "row_kind TEXT", 6},
    // A stored paper keeps its questions' knowledge points as they were when it was composed.
    {"paper_questions", "zsd", "zsd TEXT", 7},
};

// The table statements older versions made before a column was added, as SQLite records them: such a
// bank is still the program's own until it is upgraded. Each is today's statement without the columns a
// later version added (they stand at its end).
QStringList earlierTableStatements()
{
    QStringList statements;
    for (const AddedColumn& added : kAddedColumns) {
        const QString table = QString::fromLatin1(added.table);
        QString statement = createStatement(table);
        for (const AddedColumn& c : kAddedColumns) {
            if (table == QLatin1String(c.table) && c.version >= added.version) {
                statement.remove(QStringLiteral(", ") + QString::fromLatin1(c.definition));
            }
        }
        if (!statements.contains(statement)) statements << statement;
    }
    return statements;
}

QStringList columnsAddedAfter(const QString& table, int version)
{
    QStringList names;
    for (const AddedColumn& c : kAddedColumns) {
        if (table == QLatin1String(c.table) && c.version > version) names << QString::fromLatin1(c.name);
    }
    return names;
}

// Uniqueness rules that only a server bank gets: there many programs number new rows at the same
// moment, and the rule makes the second of two equal numbers fail (and its store retry) instead of
// both landing. A file admits one program at a time, and files of older versions may already hold
// repeated numbers that must still open.
static const char* const kServerIndexes[] = {
    "CREATE UNIQUE INDEX IF NOT EXISTS stb_unique_th ON stb (kmh, txh, th)",
    "CREATE UNIQUE INDEX IF NOT EXISTS kmb_unique_kmh ON kmb (kmh)",
    "CREATE UNIQUE INDEX IF NOT EXISTS txb_unique_txh ON txb (kmh, txh)",
    "CREATE UNIQUE INDEX IF NOT EXISTS zjb_unique_zjh ON zjb (kmh, zjh)",
    "CREATE UNIQUE INDEX IF NOT EXISTS mmb_unique_yhm ON mmb (yhm)",
};

QStringList serverOnlyStatements()
{
    QStringList statements;
    for (const char* statement : kServerIndexes) statements << QString::fromLatin1(statement);
    return statements;
}

// Tables added after the first version, with their indexes: a bank written by an older version
// gets the missing ones when it is opened. A table added by a later feature joins this list.
static const char* const kAddedTables[] = {
    "pictures",    "formula_omml", "blueprints",  "blueprint_types", "blueprint_cells", "recycle_items",  "recycle_kmb",
    "recycle_txb", "recycle_zjb",  "recycle_stb", "papers",          "paper_sections",  "paper_questions",
    "zsdb",        "stzsd",        "recycle_zsdb", "recycle_stzsd", "sittings",    "sitting_students",
    "question_stats"};

QStringList columns(const QString& table)
{
    static const QHash<QString, QStringList> known = {
        {QStringLiteral("kmb"), {QStringLiteral("kmh"), QStringLiteral("kmm")}},
        {QStringLiteral("txb"),
         {QStringLiteral("kmh"), QStringLiteral("txh"), QStringLiteral("txm"), QStringLiteral("bz")}},
        {QStringLiteral("zjb"),
         {QStringLiteral("kmh"), QStringLiteral("zjh"), QStringLiteral("zjm"), QStringLiteral("bz")}},
        {QStringLiteral("stb"),
         {QStringLiteral("kmh"), QStringLiteral("txh"), QStringLiteral("th"), QStringLiteral("zjh"),
          QStringLiteral("nd"), QStringLiteral("fs"), QStringLiteral("tm"), QStringLiteral("da"),
          QStringLiteral("time"), QStringLiteral("bz")}},
        {QStringLiteral("sjb"),
         {QStringLiteral("kmh"), QStringLiteral("txh"), QStringLiteral("th"), QStringLiteral("zjh"),
          QStringLiteral("nd"), QStringLiteral("fs"), QStringLiteral("tm"), QStringLiteral("da"),
          QStringLiteral("time"), QStringLiteral("bz")}},
        {QStringLiteral("mmb"),
         {QStringLiteral("yhm"), QStringLiteral("mm"), QStringLiteral("qx"), QStringLiteral("bz")}},
        {QStringLiteral("blueprints"),
         {QStringLiteral("kmh"), QStringLiteral("name"), QStringLiteral("zf"), QStringLiteral("title"),
          QStringLiteral("duration"), QStringLiteral("row_kind")}},
        {QStringLiteral("blueprint_types"),
         {QStringLiteral("blueprint_id"), QStringLiteral("txh"), QStringLiteral("merged")}},
        {QStringLiteral("blueprint_cells"),
         {QStringLiteral("blueprint_id"), QStringLiteral("zjh"), QStringLiteral("txh"), QStringLiteral("nd"),
          QStringLiteral("ts"), QStringLiteral("fs")}},
        {QStringLiteral("recycle_items"),
         {QStringLiteral("kind"), QStringLiteral("summary"), QStringLiteral("deleted_at"), QStringLiteral("deleted_by"),
          QStringLiteral("kmh"), QStringLiteral("kmm"), QStringLiteral("txh"), QStringLiteral("txm"),
          QStringLiteral("zjh"), QStringLiteral("zjm"), QStringLiteral("th")}},
        {QStringLiteral("recycle_kmb"),
         {QStringLiteral("item_id"), QStringLiteral("orig_id"), QStringLiteral("kmh"), QStringLiteral("kmm")}},
        {QStringLiteral("recycle_txb"),
         {QStringLiteral("item_id"), QStringLiteral("orig_id"), QStringLiteral("kmh"), QStringLiteral("txh"),
          QStringLiteral("txm"), QStringLiteral("bz")}},
        {QStringLiteral("recycle_zjb"),
         {QStringLiteral("item_id"), QStringLiteral("orig_id"), QStringLiteral("kmh"), QStringLiteral("zjh"),
          QStringLiteral("zjm"), QStringLiteral("bz")}},
        {QStringLiteral("recycle_stb"),
         {QStringLiteral("item_id"), QStringLiteral("orig_id"), QStringLiteral("kmh"), QStringLiteral("txh"),
          QStringLiteral("th"), QStringLiteral("zjh"), QStringLiteral("nd"), QStringLiteral("fs"), QStringLiteral("tm"),
          QStringLiteral("da"), QStringLiteral("time"), QStringLiteral("bz")}},
        {QStringLiteral("zsdb"), {QStringLiteral("kmh"), QStringLiteral("zsdm"), QStringLiteral("sjid")}},
        {QStringLiteral("stzsd"), {QStringLiteral("stid"), QStringLiteral("zsdid")}},
        {QStringLiteral("recycle_zsdb"),
         {QStringLiteral("item_id"), QStringLiteral("orig_id"), QStringLiteral("kmh"), QStringLiteral("zsdm"),
          QStringLiteral("sjid")}},
        {QStringLiteral("recycle_stzsd"),
         {QStringLiteral("item_id"), QStringLiteral("orig_id"), QStringLiteral("stid"), QStringLiteral("zsdid")}},
        {QStringLiteral("pictures"),
         {QStringLiteral("hash"), QStringLiteral("mime"), QStringLiteral("width"), QStringLiteral("height"),
          QStringLiteral("data")}},
        {QStringLiteral("formula_omml"),
         {QStringLiteral("latex_hash"), QStringLiteral("latex"), QStringLiteral("omml")}},
        {QStringLiteral("papers"),
         {QStringLiteral("title"), QStringLiteral("kmh"), QStringLiteral("kmm"), QStringLiteral("duration"),
          QStringLiteral("total"), QStringLiteral("layout"), QStringLiteral("created_at"), QStringLiteral("created_by"),
          QStringLiteral("question_count"), QStringLiteral("source_id"), QStringLiteral("variant"),
          QStringLiteral("seed"), QStringLiteral("overlap_percent")}},
        {QStringLiteral("paper_sections"),
         {QStringLiteral("paper_id"), QStringLiteral("position"), QStringLiteral("txh"), QStringLiteral("txm"),
          QStringLiteral("question_count"), QStringLiteral("points")}},
        {QStringLiteral("paper_questions"),
         {QStringLiteral("paper_id"), QStringLiteral("section_position"), QStringLiteral("position"),
          QStringLiteral("kmh"), QStringLiteral("txh"), QStringLiteral("th"), QStringLiteral("zjh"),
          QStringLiteral("nd"), QStringLiteral("fs"), QStringLiteral("tm"), QStringLiteral("da"),
          QStringLiteral("question_id"), QStringLiteral("zsd")}},
        {QStringLiteral("sittings"),
         {QStringLiteral("paper_id"), QStringLiteral("held_on"), QStringLiteral("class_name"),
          QStringLiteral("students"), QStringLiteral("created_at"), QStringLiteral("created_by")}},
        {QStringLiteral("sitting_students"),
         {QStringLiteral("sitting_id"), QStringLiteral("xh"), QStringLiteral("xm"), QStringLiteral("bj"),
          QStringLiteral("scores"), QStringLiteral("choices")}},
        {QStringLiteral("question_stats"),
         {QStringLiteral("sitting_id"), QStringLiteral("question_id"), QStringLiteral("position"),
          QStringLiteral("full_marks"), QStringLiteral("mean"), QStringLiteral("difficulty"),
          QStringLiteral("discrimination"), QStringLiteral("item_rest"), QStringLiteral("students")}},
    };
    return known.value(table);
}

QStringList tableNames()
{
    QStringList names;
    const QString prefix = QStringLiteral("CREATE TABLE IF NOT EXISTS ");
    auto add = [&](const char* statement) {
        const QString text = QString::fromLatin1(statement);
        if (text.startsWith(prefix)) names << text.mid(prefix.size()).section(QLatin1Char(' '), 0, 0);
    };
    for (const char* statement : kTables) add(statement);
    for (const char* statement : kRecycleTables) add(statement);
    for (const char* statement : kContentTables) add(statement);
    for (const char* statement : kLibraryTables) add(statement);
    return names;
}

QString createStatement(const QString& table)
{
    static const QHash<QString, QString> recorded = [] {
        QHash<QString, QString> texts;
        const QString prefix = QStringLiteral("CREATE TABLE IF NOT EXISTS ");
        auto record = [&](const char* statement) {
            const QString text = QString::fromLatin1(statement);
            if (!text.startsWith(prefix)) return;
            const QString rest = text.mid(prefix.size());
            texts.insert(rest.section(QLatin1Char(' '), 0, 0), QStringLiteral("CREATE TABLE ") + rest);
        };
        for (const char* statement : kTables) record(statement);
        for (const char* statement : kRecycleTables) record(statement);
        for (const char* statement : kContentTables) record(statement);
        for (const char* statement : kLibraryTables) record(statement);
        return texts;
    }();
    return recorded.value(table);
}

// The count of questions of each subject and type, kept by triggers (engine::questionCountStatements).
// It is derived from stb: it is not one of tableNames(), so copies of a bank do not copy it but
// count the questions they store.
const QString kQuestionCounts = QStringLiteral("question_counts");

const QString kPictureSweep = QStringLiteral("picture_sweep");

// Derived from stb like the counts: copies of a bank index the questions they store.
const QString kSearchIndex = QStringLiteral("stb_search");

// The tables kept by triggers that a bank lacks (those of its engine), created and filled.
static void createKeptTables(const QSqlDatabase& db, const QStringList& present)
{
    QStringList statements;
    if (!present.contains(kQuestionCounts)) statements << engine::questionCountStatements(db);
    if (!present.contains(kPictureSweep)) statements << engine::pictureSweepStatements(db, pictureColumns());
    if (present.isEmpty() || !engine::hasSearchIndex(db, present)) statements << engine::searchIndexStatements(db);
    for (const QString& statement : statements) sql::run(db, statement);
}

static bool lacksKeptTables(const QSqlDatabase& db, const QStringList& present)
{
    return !present.contains(kQuestionCounts) || (!engine::isServer(db) && !present.contains(kPictureSweep)) ||
           !engine::hasSearchIndex(db, present);
}

// The server's functions the program calls (none on a file), made or replaced: an upgrade brings
// an older bank's up to date.
static void createFunctions(const QSqlDatabase& db)
{
    for (const QString& statement : engine::numberedStoreStatements(db)) sql::run(db, statement);
}

void create(QSqlDatabase& db)
{
    auto make = [&](const char* statement) { sql::run(db, engine::dialect(db, QString::fromLatin1(statement))); };
    for (const char* statement : kTables) make(statement);
    for (const char* statement : kRecycleTables) make(statement);
    for (const char* statement : kContentTables) make(statement);
    for (const char* statement : kLibraryTables) make(statement);
    if (engine::isServer(db)) {
        for (const char* statement : kServerIndexes) make(statement);
    }
    createKeptTables(db, {});
    createFunctions(db);
    engine::setSchemaVersion(db, kVersion);
}

void ensure(QSqlDatabase& db)
{
    const int version = engine::schemaVersion(db);
    if (version > kVersion) {
        throw DataError(QStringLiteral("数据库文件的版本（%1）比本程序新，请使用新版程序打开。").arg(version));
    }
    if (version == kVersion) return;
    sql::transaction(db, [&] { create(db); });
}

bool hasTable(const QSqlDatabase& db, const QString& table)
{
    return engine::tables(db).contains(table);
}

QVector<QPair<QString, QString>> pictureColumns()
{
    // Every table whose texts may place pictures: a picture stays stored while any of them
    // names it.
    return {{QStringLiteral("stb"), QStringLiteral("tm")},
            {QStringLiteral("stb"), QStringLiteral("da")},
            {QStringLiteral("sjb"), QStringLiteral("tm")},
            {QStringLiteral("sjb"), QStringLiteral("da")},
            {QStringLiteral("recycle_stb"), QStringLiteral("tm")},
            {QStringLiteral("recycle_stb"), QStringLiteral("da")},
            {QStringLiteral("paper_questions"), QStringLiteral("tm")},
            {QStringLiteral("paper_questions"), QStringLiteral("da")}};
}

static void createAddedTablesOnly(const QSqlDatabase& db, bool tables);

// Gives the printed copies of questions the id of the question they came from, where a question
// still tells: the same number with the same text, in the bank or in the recycle bin (whose restore
// gives the id back or passes it on), then the same text under another number. The rest keep no
// id: they stay in their papers but count for no question.
static void fillQuestionIds(const QSqlDatabase& db)
{
    const char* const matches[] = {
        "SELECT s.id FROM stb s WHERE s.kmh=paper_questions.kmh AND s.txh=paper_questions.txh"
        " AND s.th=paper_questions.th AND s.tm=paper_questions.tm ORDER BY s.id LIMIT 1",
        "SELECT r.orig_id FROM recycle_stb r WHERE r.kmh=paper_questions.kmh AND r.txh=paper_questions.txh"
        " AND r.th=paper_questions.th AND r.tm=paper_questions.tm ORDER BY r.id DESC LIMIT 1",
        "SELECT s.id FROM stb s WHERE s.kmh=paper_questions.kmh AND s.txh=paper_questions.txh"
        " AND s.tm=paper_questions.tm ORDER BY s.id LIMIT 1",
        "SELECT s.id FROM stb s WHERE s.kmh=paper_questions.kmh AND s.tm=paper_questions.tm ORDER BY s.id LIMIT 1",
        "SELECT r.orig_id FROM recycle_stb r WHERE r.kmh=paper_questions.kmh AND r.tm=paper_questions.tm"
        " ORDER BY r.id DESC LIMIT 1",
    };
    for (const char* match : matches) {
        sql::run(db, QStringLiteral("UPDATE paper_questions SET question_id=(%1) WHERE question_id IS NULL")
                         .arg(QString::fromLatin1(match)));
    }
}

// Adds the columns an older bank's tables lack (see kAddedColumns), inside the caller's transaction.
static void addMissingColumns(const QSqlDatabase& db)
{
    // Two programs upgrading one server bank at once: the second waits, then finds the column there.
    engine::takeTurnUntilCommit(db, QStringLiteral("exavoro-schema-upgrade"));
    for (const AddedColumn& c : kAddedColumns) {
        const QString table = QString::fromLatin1(c.table);
        const QStringList present = engine::tableColumns(db, table);
        if (present.isEmpty() || present.contains(QString::fromLatin1(c.name), Qt::CaseInsensitive)) continue;
        sql::run(db, QStringLiteral("ALTER TABLE %1 ADD COLUMN %2").arg(table, QString::fromLatin1(c.definition)));
        if (table == QLatin1String("paper_questions")) fillQuestionIds(db);
    }
}

// Creates every added table and index (IF NOT EXISTS) and the added columns, inside the caller's
// transaction: tables first, then their columns, then the indexes that may name those columns.
static void createAddedTables(const QSqlDatabase& db)
{
    createAddedTablesOnly(db, true);
    addMissingColumns(db);
    createAddedTablesOnly(db, false);
}

static void createAddedTablesOnly(const QSqlDatabase& db, bool tables)
{
    auto createIfAdded = [&](const char* statement) {
        const QString text = QString::fromLatin1(statement);
        if (text.startsWith(QLatin1String("CREATE TABLE")) != tables) return;
        for (const char* table : kAddedTables) {
            const QString name = QString::fromLatin1(table);
            if (text.contains(QStringLiteral(" EXISTS ") + name + QLatin1Char(' ')) ||
                text.contains(QStringLiteral(" ON ") + name + QStringLiteral(" ("))) {
                sql::run(db, engine::dialect(db, text));
                return;
            }
        }
    };
    for (const char* statement : kTables) createIfAdded(statement);
    for (const char* statement : kRecycleTables) createIfAdded(statement);
    for (const char* statement : kContentTables) createIfAdded(statement);
    for (const char* statement : kLibraryTables) createIfAdded(statement);
}

static bool lacksAddedTables(const QStringList& present)
{
    for (const char* table : kAddedTables) {
        if (!present.contains(QString::fromLatin1(table))) return true;
    }
    return false;
}

void addMissingTables(QSqlDatabase& db, const QStringList& present)
{
    // A read-only bank that has them stays untouched.
    if (!lacksAddedTables(present) && !lacksKeptTables(db, present)) return;
    sql::transaction(db, [&] {
        createAddedTables(db);
        createKeptTables(db, present);
    });
}

bool isCurrent(const QSqlDatabase& db, int version, const QStringList& present)
{
    return version == kVersion && !lacksAddedTables(present) && !lacksKeptTables(db, present);
}

bool upgrade(QSqlDatabase& db, int version, const QStringList& present)
{
    if (version < 1 || version >= kVersion) {
        if (version == kVersion) addMissingTables(db, present);
        return false;
    }
    sql::transaction(db, [&] {
        createAddedTables(db);
        createKeptTables(db, present);
        createFunctions(db);
        engine::setSchemaVersion(db, kVersion);
    });
    return true;
}

QSqlDatabase createFile(const QString& path, const QString& connectionName)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    // A bank holds the users' password hashes: only its owner reads it. SQLite gives its journal
    // the same permissions.
    bank_file::createPrivate(path);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(path);
    if (!db.open()) {
        throw DataError(QStringLiteral("无法创建数据库文件“%1”：%2").arg(path, db.lastError().text()));
    }
    bank_file::harden(db);
    ensure(db);
    // A file this tool just created, or one holding only the program's own schema, keeps its
    // search index through its triggers.
    if (bank_file::foreignObjects(db).isEmpty()) bank_file::trustCheckedSchema(db);
    return db;
}

}  // namespace schema
