#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

// The encodings of the plain-text files teachers bring: UTF-8 (with or without the mark Windows
// Notepad puts first), UTF-16 as Word and Notepad save "Unicode" text, and GB18030/GBK, what most
// Chinese Windows tools still save by default.
namespace exchange {

enum class TextEncoding { Automatic, Utf8, Gb18030, Utf16Le, Utf16Be };

// The name shown to the user: "UTF-8", "GB18030", "UTF-16 LE", "UTF-16 BE" ("自动识别" for Automatic).
QString encodingName(TextEncoding encoding);

// The encodings a user can choose, Automatic first, in the order the window offers them.
QVector<TextEncoding> choosableEncodings();

// The encoding a command-line value names ("utf-8", "gb18030", "gbk", "utf-16le", "auto", …,
// case and hyphens ignored); throws AppError listing the accepted names otherwise.
TextEncoding encodingFromName(const QString& name);

// What the bytes of a text file are written in: a byte-order mark decides first; then the
// pattern of zero bytes that UTF-16 gives to ASCII characters; then valid UTF-8; then valid
// GB18030 (which includes GBK and GB2312). Returns Automatic when none of these decodes it.
TextEncoding detectEncoding(const QByteArray& bytes);

struct DecodedText {
    QString text;
    TextEncoding encoding = TextEncoding::Automatic;  // the encoding used (never Automatic)
};

// Decodes a whole text file. `wanted` Automatic detects the encoding; any other is used as told
// (a byte-order mark of that encoding is left out). Nothing is ever replaced: bytes that are not
// valid in the encoding raise AppError with a Chinese message naming `fileName`.
DecodedText decodeText(const QByteArray& bytes, TextEncoding wanted, const QString& fileName);

// True for the files read as plain text, whose encoding matters: .txt, .md, .gift (and .xml
// without an encoding declaration, see hasXmlEncodingDeclaration).
bool isPlainTextFile(const QString& path);

// True when an XML document declares its own encoding (<?xml … encoding="…"?>), or starts with
// a UTF-16 byte-order mark: the XML reader then decodes it itself.
bool hasXmlEncodingDeclaration(const QByteArray& bytes);

}  // namespace exchange
