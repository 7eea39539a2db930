#pragma once
#include <QString>
#include <QStringList>

// Knowledge points (知识点) as files and import options give them: Moodle tags, the whole-import
// field of 导入试题, exavoro-db import --knowledge. What a file holds is hostile, so the names are
// cleaned and bounded before they reach the bank.
namespace exchange {

// Longest name of one point (one part of a path) and deepest path taken from a file.
constexpr int kMaxPointName = 100;
constexpr int kMaxPointDepth = 10;
// Most points one question takes from a file (and the import options together).
constexpr int kMaxPointsPerQuestion = 50;

// Where the names come from, which decides how a warning reads: from a file (or a cell of the
// preview) what is cut is said to be cut; in a field whose text the caller refuses, only what is
// wrong is said.
enum class PointSource { File, Field };

// The paths ("上级/名称") `entries` stand for, as knowledge::resolve() would read them: each entry
// split as knowledge::splitNames() splits what a user types ("，" or ","), each path's parts
// trimmed and empty parts dropped. Control characters are left out; a name longer than
// kMaxPointName is cut, a path deeper than kMaxPointDepth is cut, and after kMaxPointsPerQuestion
// paths the rest are dropped, each with a line in `warnings`. Repeats are left out.
QStringList pointPaths(const QStringList& entries, QStringList* warnings = nullptr,
                       PointSource source = PointSource::File);

}  // namespace exchange
