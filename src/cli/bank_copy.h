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
    QStringList dropped;  // with repair: what the source held that this program did not create
};

// What a repair leaves out of its copy of a bank file: the objects this program did not create
// (bank_file::foreignObjects). Empty for a sound file; AppError when it cannot be read.
QStringList foreignObjectsOf(const QString& file);

// Copies the bank at `from` (a file path or a postgresql:// URI) into `to`, which must not hold a
// bank yet (a file that does not exist, or an empty server database). Rows keep their ids, so the
// read order stays as it was. The copy is written in one transaction (a file appears only when
// complete) and is compared with the source, row counts and a checksum of every value, before it
// is kept. Throws AppError with a Chinese message.
// With `repair`, the source may hold triggers, views, indexes and rebuilt tables of others (they
// are never run: the source is only read, with views off) and a version this program upgrades;
// the copy holds the program's own schema with every row of the program's columns, and a table
// the source lacks stays empty.
Report copy(const QString& from, const QString& to, const std::function<void(qint64, qint64)>& progress = {},
            bool repair = false);

}  // namespace bank_copy
