#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

// The one place that runs pandoc (Debian's package "pandoc"), for every caller: reading documents
// to import, converting formulas. Every run is sandboxed (pandoc reads nothing but its inputs and
// fetches nothing), bounded in time, memory, input and output, and every failure becomes an
// AppError with our own Chinese message.
namespace pandoc {

// Longest a conversion may take by default: a long paper with many pictures reads in seconds.
constexpr int kDefaultTimeoutMs = 120000;

// What one run of pandoc may use. The defaults hold a 2,000-question paper with room to spare.
struct Limits {
    qint64 heapMegabytes = 1024;            // Haskell heap (+RTS -M): past it pandoc stops cleanly
    qint64 addressSpaceBytes = 2LL << 30;   // the whole process (RLIMIT_AS): heap, runtime, stacks
    qint64 writtenFileBytes = 256LL << 20;  // any file it writes (RLIMIT_FSIZE)
    qint64 inputBytes = 100LL << 20;        // each input file and the standard input
    qint64 outputBytes = 256LL << 20;       // its standard output
};

// True when the pandoc program can be found.
bool available();

// Runs pandoc with these arguments and returns its standard output. `subject` names the file in
// messages. Throws AppError when pandoc is missing ("需要安装 pandoc 软件包"), does not finish
// within the timeout, runs out of memory, writes more than its limits, or reports an error;
// `failure`, when given, is the message of that last kind of error (pandoc's own words follow
// it), otherwise it says the file could not be read. A conversion to .docx runs in two steps
// (see pandoc.cpp): the docx writer needs data files the sandbox does not let it read.
QByteArray run(const QStringList& arguments, const QString& subject, int timeoutMs = kDefaultTimeoutMs,
               const QByteArray& input = QByteArray(), const QString& failure = QString(),
               const Limits& limits = Limits());

// The input format pandoc should read a file as, from its extension: docx, odt, markdown (.md and
// .txt); empty for a file it is not offered for.
QString inputFormat(const QString& path);

// The document tree of a file as pandoc's JSON. Pictures are not extracted: those of a .docx or
// .odt stay in the file and are read from it by their path in the tree (see zip_guard.h); a .docx
// or .odt is first checked against the limits of a packed document.
QByteArray documentTree(const QString& path, int timeoutMs = kDefaultTimeoutMs);

}  // namespace pandoc
