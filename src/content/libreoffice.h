#pragma once
#include <QString>

// The one place that runs LibreOffice (Debian's package "libreoffice-writer"): turning the old
// Word (.doc) and WPS (.wps) documents teachers keep into .docx, which the import then reads like
// any other. Every run has its own throw-away profile (it neither sees nor changes the user's
// LibreOffice settings, nor waits for a LibreOffice the user has open), no network where the
// system allows one to be taken away, and a timeout; every failure becomes an AppError with our
// own Chinese message.
namespace libreoffice {

// Longest a conversion may take: LibreOffice starts in a few seconds, a long document converts in
// well under a minute.
constexpr int kDefaultTimeoutMs = 120000;

// Largest document handed to LibreOffice, as for the documents pandoc reads.
constexpr qint64 kMaxInputBytes = 100LL << 20;

// True when the LibreOffice program (soffice) can be found.
bool available();

// Converts `path` into a .docx inside `outputDirectory` and returns the path of the file written.
// Throws AppError when LibreOffice is missing ("libreoffice-writer"), the file is not a regular
// file or too large, the conversion does not finish in time or writes nothing.
QString convertToDocx(const QString& path, const QString& outputDirectory, int timeoutMs = kDefaultTimeoutMs);

}  // namespace libreoffice
