#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

// The one place that runs pandoc (Debian's package "pandoc"), for every caller: reading documents
// to import, converting formulas. Every call has a timeout, and every failure becomes an AppError
// with our own Chinese message.
namespace pandoc {

// Longest a conversion may take by default: a long paper with many pictures reads in seconds.
constexpr int kDefaultTimeoutMs = 120000;

// True when the pandoc program can be found.
bool available();

// Runs pandoc with these arguments and returns its standard output. `subject` names the file in
// messages. Throws AppError when pandoc is missing ("需要安装 pandoc 软件包"), does not finish
// within the timeout or reports an error; `failure`, when given, is the message of that error
// (pandoc's own words follow it), otherwise it says the file could not be read.
QByteArray run(const QStringList& arguments, const QString& subject, int timeoutMs = kDefaultTimeoutMs,
               const QByteArray& input = QByteArray(), const QString& failure = QString());

// The input format pandoc should read a file as, from its extension: docx, odt, markdown (.md and
// .txt); empty for a file it is not offered for.
QString inputFormat(const QString& path);

// The document tree of a file as pandoc's JSON, with its pictures written below `mediaDir`.
QByteArray documentTree(const QString& path, const QString& mediaDir, int timeoutMs = kDefaultTimeoutMs);

}  // namespace pandoc
