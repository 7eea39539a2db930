#pragma once
#include <QString>
#include <QStringList>
#include <functional>

// Copies a whole bank between any two of a SQLite file and a PostgreSQL server.
namespace bank_copy {

struct Report {
    QStringList tables;   // "stb: 100000" lines, one per table
    QString checksum;     // SHA-256 over every row of every table, the same on both sides
    qint64 rows = 0;
};

// Copies the bank at `from` (a file path or a postgresql:// URI) into `to`, which must not hold a
// bank yet (a file that does not exist, or an empty server database). Rows keep their ids, so the
// read order stays as it was. The copy is written in one transaction (a file appears only when
// complete) and is compared with the source, row counts and a checksum of every value, before it
// is kept. Throws AppError with a Chinese message.
Report copy(const QString& from, const QString& to, const std::function<void(qint64, qint64)>& progress = {});

}  // namespace bank_copy
