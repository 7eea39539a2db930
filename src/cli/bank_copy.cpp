#include "cli/bank_copy.h"

#include "data/bank_file.h"
#include "demo/demo.h"
#include "data/engine.h"
#include "data/errors.h"
#include "data/schema.h"
#include "data/sql.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>

namespace bank_copy {

namespace {

const QString kSource = QStringLiteral("exavoro-copy-source");

// Rows per INSERT: a few hundred rows per statement instead of one saves a round trip per row on
// a server, and stays well below both engines' limits on bound values.
constexpr int kBatch = 200;

QSqlDatabase openSource(const QString& from, QStringList* foreignFound = nullptr)
{
    if (engine::isServerUri(from)) return engine::openServer(kSource, from);
    if (!QFileInfo::exists(from)) throw AppError(QStringLiteral("数据库文件“%1”不存在。").arg(from));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kSource);
    db.setDatabaseName(from);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=10000"));
    if (!db.open()) {
        throw AppError(QStringLiteral("无法打开数据库文件“%1”：%2").arg(from, db.lastError().text()));
    }
    bank_file::harden(db);
    // Copying a file's rows reads its tables: a view or trigger in their place is never run.
    const QStringList foreign = bank_file::foreignObjects(db);
    if (foreignFound) {
        *foreignFound = foreign;
    } else if (!foreign.isEmpty()) {
        throw AppError(QStringLiteral("数据库文件“%1”含有不是本程序建立的内容，不能复制：\n%2")
                           .arg(from, foreign.mid(0, 10).join(QLatin1Char('\n'))));
    }
    return db;
}

// Feeds one row's values into the checksum: each value's text (bytes for pictures) with its
// length, a null marked apart from an empty text, so that no two different tables sum alike.
void addRow(QCryptographicHash& hash, const QSqlRecord& record, const QStringList& columns)
{
    for (int i = 0; i < columns.size(); ++i) {
        const QVariant value = record.value(i);
        QByteArray bytes;
        if (value.isNull()) {
            hash.addData(QByteArrayView("N", 1));
            continue;
        }
        bytes = value.typeId() == QMetaType::QByteArray ? value.toByteArray() : value.toString().toUtf8();
        const QByteArray length = QByteArray::number(bytes.size()) + ':';
        hash.addData(length);
        hash.addData(bytes);
    }
}

QString columnList(const QStringList& columns)
{
    QStringList quoted;
    for (const QString& c : columns) quoted << QLatin1Char('"') + c + QLatin1Char('"');
    return quoted.join(QStringLiteral(", "));
}

struct TableSum {
    qint64 rows = 0;
    QByteArray hash;
};

TableSum sumTable(const QSqlDatabase& db, const QString& table, const QStringList& columns)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QSqlQuery q = sql::run(db, QStringLiteral("SELECT %1 FROM %2 ORDER BY id").arg(columnList(columns), table));
    TableSum sum;
    while (q.next()) {
        addRow(hash, q.record(), columns);
        ++sum.rows;
    }
    sum.hash = hash.result();
    return sum;
}

}  // namespace

QStringList foreignObjectsOf(const QString& file)
{
    QStringList foreign;
    try {
        openSource(file, &foreign);
    } catch (...) {
        QSqlDatabase::removeDatabase(kSource);
        throw;
    }
    {
        QSqlDatabase db = QSqlDatabase::database(kSource, false);
        sql::releaseStatements(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(kSource);
    return foreign;
}

Report copy(const QString& from, const QString& to, const std::function<void(qint64, qint64)>& progress, bool repair)
{
    if (from == to) throw AppError(QStringLiteral("复制的来源与目标相同。"));
    if (repair && engine::isServerUri(from)) throw AppError(QStringLiteral("只能修复题库文件。"));
    Report report;
    auto closeSource = [] {
        {
            QSqlDatabase db = QSqlDatabase::database(kSource, false);
            sql::releaseStatements(db);
            engine::closeConnection(db);
        }
        QSqlDatabase::removeDatabase(kSource);
    };
    try {
        QSqlDatabase source = openSource(from, repair ? &report.dropped : nullptr);
        const int version = engine::schemaVersion(source);
        if (repair ? (version < 1 || version > schema::kVersion) : version != schema::kVersion) {
            throw AppError(version == 0
                               ? QStringLiteral("“%1”中没有题库。").arg(engine::isServerUri(from) ? engine::describeServer(from) : from)
                               : QStringLiteral("“%1”中题库的版本（%2）与本程序（%3）不同：请先用本程序打开它一次以升级，"
                                                "或使用相应版本的程序。")
                                     .arg(engine::isServerUri(from) ? engine::describeServer(from) : from)
                                     .arg(version)
                                     .arg(schema::kVersion));
        }
        // One consistent view of the source while it is read (others may go on writing to it).
        sql::begin(source);
        if (engine::isServer(source)) sql::run(source, QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ"));
        QStringList tables = schema::tableNames();
        if (repair) {
            // A table the source lacks (an older version's, or one put aside as a view) stays empty.
            const QStringList present = engine::tables(source);
            tables.erase(std::remove_if(tables.begin(), tables.end(),
                                        [&](const QString& t) { return !present.contains(t); }),
                         tables.end());
        }
        qint64 total = 0;
        for (const QString& table : tables) {
            total += sql::scalar(source, QStringLiteral("SELECT count(*) FROM %1").arg(table)).toLongLong();
        }
        qint64 done = 0;
        demo::buildBank(to, [&](QSqlDatabase& target) {
            QCryptographicHash all(QCryptographicHash::Sha256);
            for (const QString& table : tables) {
                const QStringList columns = QStringList{QStringLiteral("id")} + schema::columns(table);
                const QString names = columnList(columns);
                QCryptographicHash hash(QCryptographicHash::Sha256);
                QSqlQuery read = sql::run(source, QStringLiteral("SELECT %1 FROM %2 ORDER BY id").arg(names, table));
                QVariantList batch;
                int batchRows = 0;
                qint64 rows = 0;
                const QString oneRow =
                    QLatin1Char('(') + QStringList(columns.size(), QStringLiteral("?")).join(QLatin1Char(',')) +
                    QLatin1Char(')');
                auto flush = [&] {
                    if (batchRows == 0) return;
                    QStringList values(batchRows, oneRow);
                    try {
                        sql::run(target,
                                 QStringLiteral("INSERT INTO %1 (%2) VALUES %3").arg(table, names, values.join(QLatin1Char(','))),
                                 batch);
                    } catch (const DataError& e) {
                        if (!e.uniqueViolation()) throw;
                        throw AppError(QStringLiteral("来源题库的数据表“%1”中有重复的编号（同一科目同一题型的题号、科目/题型/章节代码或用户名），"
                                                      "服务器上的题库不允许重复，已放弃复制。\n%2")
                                           .arg(table, e.text()));
                    }
                    batch.clear();
                    batchRows = 0;
                };
                while (read.next()) {
                    const QSqlRecord record = read.record();
                    addRow(hash, record, columns);
                    for (int i = 0; i < columns.size(); ++i) batch << record.value(i);
                    ++rows;
                    if (++batchRows == kBatch) flush();
                    if (progress && (++done % 1000) == 0) progress(done, total);
                }
                flush();
                if (engine::isServer(target)) {
                    // Rows came with their ids; new rows continue after the largest.
                    sql::run(target, QStringLiteral("SELECT setval(pg_get_serial_sequence(?, 'id'),"
                                                    " COALESCE((SELECT max(id) FROM %1), 0) + 1, false)")
                                         .arg(table),
                             {table});
                }
                // The copy read back inside its own transaction must equal what was read.
                const TableSum written = sumTable(target, table, columns);
                const QByteArray expected = hash.result();
                if (written.rows != rows || written.hash != expected) {
                    throw AppError(QStringLiteral("复制后数据表“%1”与来源不一致（来源 %2 行，复制 %3 行），已放弃复制。")
                                       .arg(table)
                                       .arg(rows)
                                       .arg(written.rows));
                }
                all.addData(table.toUtf8());
                all.addData(expected);
                report.tables << QStringLiteral("%1: %2").arg(table).arg(rows);
                report.rows += rows;
            }
            report.checksum = QString::fromLatin1(all.result().toHex());
        });
        sql::rollback(source);
    } catch (...) {
        closeSource();
        throw;
    }
    closeSource();
    if (progress) progress(report.rows, report.rows);
    return report;
}

}  // namespace bank_copy
