#include "data/numbering.h"

#include "data/convert.h"
#include "data/dataset.h"
#include "data/engine.h"
#include "data/errors.h"
#include "data/lookups.h"
#include "data/sql.h"

#include <QRandomGenerator>

namespace numbering {

// Every attempt found its number taken by another user meanwhile.
static AppError numbersTaken()
{
    return AppError(
        QStringLiteral("其他用户正在同时添加，编号已被占用，重试 %1 次仍未成功，请稍后再试！").arg(kAttempts));
}

void retryOnConflict(const QSqlDatabase& db, const std::function<void(int attempt)>& work, const QString& scope)
{
    auto attempts = [&] {
        for (int attempt = 0; attempt < kAttempts; ++attempt) {
            try {
                sql::savepoint(db, [&] { work(attempt); });
                return;
            } catch (const DataError& error) {
                if (!error.uniqueViolation()) throw;
            }
        }
        throw numbersTaken();
    };
    if (sql::inTransaction(db)) {
        attempts();
    } else {
        sql::transaction(db, [&] {
            if (!scope.isEmpty()) engine::takeTurnUntilCommit(db, scope);
            attempts();
        });
    }
}

QString codeFor(const Sequence& sequence, int attempt)
{
    QString code = sequence.next();
    if (attempt > 0) {
        // Bounded: a scope never holds this many codes in a row after its last one.
        for (int step = 0; step < 10000 && sequence.taken(code); ++step) code = convert::nextCode(code, sequence.width);
        // Programs that lost the same race would all try the same free code again; after a few
        // lost attempts each one takes one of the next few free codes instead (the codes it
        // passes over are taken by the others, or stay a gap as a deleted question leaves one).
        if (attempt >= 2) {
            const int skip = QRandomGenerator::global()->bounded(attempt);
            for (int passed = 0; passed < skip; ++passed) {
                code = convert::nextCode(code, sequence.width);
                for (int step = 0; step < 10000 && sequence.taken(code); ++step) {
                    code = convert::nextCode(code, sequence.width);
                }
            }
        }
    }
    return code;
}

QString insertWithFreshCode(const QSqlDatabase& db, const Sequence& sequence,
                            const std::function<void(const QString& code)>& insert)
{
    QString stored;
    retryOnConflict(
        db,
        [&](int attempt) {
            const QString code = codeFor(sequence, attempt);
            insert(code);
            stored = code;
        },
        sequence.scope);
    return stored;
}

namespace {

bool exists(const QSqlDatabase& db, const QString& statement, const QVariantList& binds)
{
    QString ignored;
    return sql::firstValue(db, statement, binds, &ignored);
}

QString last(const QSqlDatabase& db, const QString& statement, const QVariantList& binds)
{
    QString value;
    sql::firstValue(db, statement, binds, &value);
    return value;
}

}  // namespace

bool insertNewName(const QSqlDatabase& db, const Sequence& sequence, const QString& taken,
                   const QVariantList& binds, const std::function<void(const QString& code)>& insert)
{
    bool free = true;
    insertWithFreshCode(db, sequence, [&](const QString& code) {
        free = !exists(db, taken, binds);
        if (free) insert(code);
    });
    return free;
}

Sequence questionNumbers(const QSqlDatabase& db, const QString& kmh, const QString& txh)
{
    return {[=] { return nextQuestionNumber(db, kmh, txh); },
            [=](const QString& th) {
                return exists(db, QStringLiteral("SELECT 1 FROM stb WHERE kmh=? AND txh=? AND th=?"), {kmh, txh, th});
            },
            3,
            QStringLiteral("stb/%1/%2").arg(kmh, txh)};
}

Sequence subjectCodes(const QSqlDatabase& db)
{
    return {[=] {
                // The next code follows the last row's code, not the largest one; a last code that
                // is not a number (even an empty one) is refused with the conversion's message.
                QString code;
                if (!sql::firstValue(db, QStringLiteral("SELECT kmh FROM kmb ORDER BY id DESC LIMIT 1"), {}, &code)) {
                    return QStringLiteral("01");
                }
                return convert::nextCode(QString::number(convert::toInt(code)), 2);
            },
            [=](const QString& kmh) { return exists(db, QStringLiteral("SELECT 1 FROM kmb WHERE kmh=?"), {kmh}); }, 2,
            QStringLiteral("kmb")};
}

Sequence typeCodes(const QSqlDatabase& db, const QString& kmh)
{
    return {[=] { return nextTypeCode(db, kmh); },
            [=](const QString& txh) {
                return exists(db, QStringLiteral("SELECT 1 FROM txb WHERE kmh=? AND txh=?"), {kmh, txh});
            },
            2,
            QStringLiteral("txb/%1").arg(kmh)};
}

Sequence chapterCodes(const QSqlDatabase& db, const QString& kmh)
{
    return {[=] {
                return convert::nextCode(
                    last(db, QStringLiteral("SELECT zjh FROM zjb WHERE kmh=? ORDER BY id DESC LIMIT 1"), {kmh}), 2);
            },
            [=](const QString& zjh) {
                return exists(db, QStringLiteral("SELECT 1 FROM zjb WHERE kmh=? AND zjh=?"), {kmh, zjh});
            },
            2,
            QStringLiteral("zjb/%1").arg(kmh)};
}

void appendRow(Dataset* table, const QVector<QPair<QString, QString>>& values)
{
    table->append();
    try {
        for (const auto& [column, value] : values) table->fieldByName(column).setAsString(value);
        table->post();
    } catch (...) {
        if (table->state() == Dataset::State::Insert) table->cancel();
        throw;
    }
}

void keepWhereStored(const QSqlDatabase& db, const QString& kmh, const QString& txh, const QString& zjh)
{
    // One statement keeps all of them (one round trip to a server); which one is gone is asked
    // only when one is.
    const QString subjectAndType =
        QStringLiteral("SELECT k.id FROM kmb k JOIN txb t ON t.kmh = k.kmh WHERE k.kmh=? AND t.txh=?");
    if (zjh.isEmpty() ? engine::keepRowsUntilCommit(db, subjectAndType, {kmh, txh})
                      : engine::keepRowsUntilCommit(
                            db,
                            QStringLiteral("SELECT k.id FROM kmb k JOIN txb t ON t.kmh = k.kmh JOIN zjb z ON z.kmh = k.kmh"
                                           " WHERE k.kmh=? AND t.txh=? AND z.zjh=?"),
                            {kmh, txh, zjh})) {
        return;
    }
    if (!engine::keepRowsUntilCommit(db, subjectAndType, {kmh, txh})) {
        throw AppError(QStringLiteral("该科目或题型已被其他用户删除，试题没有存入。"));
    }
    throw AppError(QStringLiteral("该章节已被其他用户删除，试题没有存入。"));
}

// On a server the whole store is one call of the bank's store function: one round trip instead of
// one per statement, and the type's turn is held only for that call. The outcomes it reports are
// the errors the statement-by-statement store raises.
static QString storeQuestionOnServer(const QSqlDatabase& db, Dataset* stb, const QString& kmh, const QString& txh,
                                     const QVector<QPair<QString, QString>>& columns)
{
    const QStringList names = engine::numberedStoreColumns();
    QStringList values(names.size());
    for (const auto& [column, value] : columns) {
        const qsizetype at = names.indexOf(column);
        if (at < 0) throw DataError(QStringLiteral("试题表中没有“%1”这一列。").arg(column));
        values[at] = value;
    }
    const engine::NumberedStore stored = engine::storeNumbered(db, kmh, txh, questionNumbers(db, kmh, txh).scope, values,
                                                               !sql::inTransaction(db), kAttempts);
    switch (stored.outcome) {
        case engine::NumberedStore::Outcome::Stored:
            break;
        case engine::NumberedStore::Outcome::PlaceGone:
            throw AppError(QStringLiteral("该科目或题型已被其他用户删除，试题没有存入。"));
        case engine::NumberedStore::Outcome::ChapterGone:
            throw AppError(QStringLiteral("该章节已被其他用户删除，试题没有存入。"));
        case engine::NumberedStore::Outcome::LastNumberNotInteger:
            // The conversion's own message, as the forms give it for the same number.
            convert::nextCode(stored.th, 3);
            throw DataError(QStringLiteral("数据库服务器无法从最后一道题的题号“%1”算出下一个题号。").arg(stored.th));
        case engine::NumberedStore::Outcome::NumbersTaken:
            throw numbersTaken();
    }
    QVector<QPair<QString, QString>> row = {{QStringLiteral("kmh"), kmh}, {QStringLiteral("txh"), txh},
                                            {QStringLiteral("th"), stored.th}};
    row += columns;
    if (stb) stb->appendStored(stored.id, row);
    return stored.th;
}

QString storeQuestion(const QSqlDatabase& db, Dataset* stb, const QString& kmh, const QString& txh,
                      const QVector<QPair<QString, QString>>& columns)
{
    if (engine::isServer(db)) return storeQuestionOnServer(db, stb, kmh, txh, columns);
    QString zjh;
    for (const auto& [column, value] : columns) {
        if (column == QLatin1String("zjh")) zjh = value;
    }
    return insertWithFreshCode(db, questionNumbers(db, kmh, txh), [&](const QString& th) {
        keepWhereStored(db, kmh, txh, zjh);
        QVector<QPair<QString, QString>> row = {
            {QStringLiteral("kmh"), kmh}, {QStringLiteral("txh"), txh}, {QStringLiteral("th"), th}};
        row += columns;
        appendRow(stb, row);
    });
}

}  // namespace numbering
