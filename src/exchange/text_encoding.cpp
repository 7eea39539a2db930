#include "exchange/text_encoding.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QVector>

#include "data/errors.h"

namespace exchange {

namespace {

const QByteArray kUtf8Mark("\xEF\xBB\xBF");
const QByteArray kUtf16LeMark("\xFF\xFE");
const QByteArray kUtf16BeMark("\xFE\xFF");

// Only the start of a file is looked at for the zero-byte pattern: enough lines of any paper.
constexpr qsizetype kSampleBytes = 64 * 1024;

// The byte where GB18030's structure breaks (a lead byte without its trail, a byte no sequence
// starts with), or -1 when the whole text is well formed. The decoder alone does not report a
// sequence cut off at the very end.
qsizetype gb18030Fault(const QByteArray& bytes)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned char c = b[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        if (c == 0x80 || c == 0xFF || i + 1 >= n) return i;
        const unsigned char second = b[i + 1];
        if ((second >= 0x40 && second <= 0x7E) || (second >= 0x80 && second <= 0xFE)) {
            i += 2;
            continue;
        }
        // Four bytes: lead, digit, lead-range byte, digit.
        if (second >= 0x30 && second <= 0x39 && i + 3 < n && b[i + 2] >= 0x81 && b[i + 2] <= 0xFE && b[i + 3] >= 0x30 &&
            b[i + 3] <= 0x39) {
            i += 4;
            continue;
        }
        return i;
    }
    return -1;
}

// Decodes with Qt's decoder; false when any byte is not valid in the encoding.
bool decodeStrictly(const QByteArray& bytes, QStringConverter::Encoding encoding, QString* text)
{
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    *text = decoder.decode(bytes);
    return !decoder.hasError();
}

bool decodeGb18030(const QByteArray& bytes, QString* text)
{
    if (gb18030Fault(bytes) >= 0) return false;
    QStringDecoder decoder("GB18030");
    if (!decoder.isValid()) return false;
    *text = decoder.decode(bytes);
    return !decoder.hasError();
}

// Which half of the 16-bit units holds the zeros of ASCII characters, if the sample shows it.
TextEncoding utf16ByZeros(const QByteArray& bytes)
{
    const qsizetype n = std::min(bytes.size(), kSampleBytes);
    qsizetype even = 0;
    qsizetype odd = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (bytes.at(i) != 0) continue;
        (i % 2 == 0 ? even : odd) += 1;
    }
    // Text in UTF-16 has a zero in every ASCII character (digits, line ends, option letters), all
    // in the same half of their units; a few Chinese characters ("一" is 4E00) put one in the
    // other half. Text in UTF-8 or GB18030 has no zero bytes at all.
    if (odd >= 2 && even * 4 <= odd) return TextEncoding::Utf16Le;
    if (even >= 2 && odd * 4 <= even) return TextEncoding::Utf16Be;
    return TextEncoding::Automatic;
}

QString fileLabel(const QString& fileName)
{
    return fileName.isEmpty() ? QStringLiteral("文件") : QStringLiteral("文件“%1”").arg(fileName);
}

}  // namespace

QString encodingName(TextEncoding encoding)
{
    switch (encoding) {
        case TextEncoding::Automatic:
            return QStringLiteral("自动识别");
        case TextEncoding::Utf8:
            return QStringLiteral("UTF-8");
        case TextEncoding::Gb18030:
            return QStringLiteral("GB18030");
        case TextEncoding::Utf16Le:
            return QStringLiteral("UTF-16 LE");
        case TextEncoding::Utf16Be:
            return QStringLiteral("UTF-16 BE");
    }
    return QString();
}

QVector<TextEncoding> choosableEncodings()
{
    return {TextEncoding::Automatic, TextEncoding::Utf8, TextEncoding::Gb18030, TextEncoding::Utf16Le,
            TextEncoding::Utf16Be};
}

TextEncoding encodingFromName(const QString& name)
{
    QString key = name.trimmed().toLower();
    key.remove(QLatin1Char('-')).remove(QLatin1Char('_')).remove(QLatin1Char(' '));
    if (key == QLatin1String("auto") || key == QLatin1String("automatic")) return TextEncoding::Automatic;
    if (key == QLatin1String("utf8")) return TextEncoding::Utf8;
    if (key == QLatin1String("gb18030") || key == QLatin1String("gbk") || key == QLatin1String("gb2312") ||
        key == QLatin1String("cp936"))
        return TextEncoding::Gb18030;
    if (key == QLatin1String("utf16le") || key == QLatin1String("utf16")) return TextEncoding::Utf16Le;
    if (key == QLatin1String("utf16be")) return TextEncoding::Utf16Be;
    throw AppError(
        QStringLiteral("不认识的编码“%1”。可用的编码：auto、utf-8、gb18030（也可写 gbk）、utf-16le、utf-16be。")
            .arg(name));
}

TextEncoding detectEncoding(const QByteArray& bytes)
{
    if (bytes.startsWith(kUtf8Mark)) return TextEncoding::Utf8;
    if (bytes.startsWith(kUtf16LeMark)) return TextEncoding::Utf16Le;
    if (bytes.startsWith(kUtf16BeMark)) return TextEncoding::Utf16Be;
    const TextEncoding wide = utf16ByZeros(bytes);
    if (wide != TextEncoding::Automatic) return wide;
    QString ignored;
    if (decodeStrictly(bytes, QStringConverter::Utf8, &ignored)) return TextEncoding::Utf8;
    if (gb18030Fault(bytes) < 0) return TextEncoding::Gb18030;
    return TextEncoding::Automatic;
}

DecodedText decodeText(const QByteArray& bytes, TextEncoding wanted, const QString& fileName)
{
    DecodedText result;
    result.encoding = wanted == TextEncoding::Automatic ? detectEncoding(bytes) : wanted;
    bool ok = false;
    switch (result.encoding) {
        case TextEncoding::Automatic:
            throw AppError(QStringLiteral("%1的编码无法识别：它既不是 UTF-8 或 UTF-16，也不是 GB18030/GBK 编码的文本，"
                                          "没有导入任何内容。请指定文件所用的编码（导入窗口中的“编码”，命令行的 "
                                          "--encoding），或先用记事本把它另存为 UTF-8 编码的文本。")
                               .arg(fileLabel(fileName)));
        case TextEncoding::Utf8:
            ok = decodeStrictly(bytes.startsWith(kUtf8Mark) ? bytes.mid(kUtf8Mark.size()) : bytes,
                                QStringConverter::Utf8, &result.text);
            break;
        case TextEncoding::Utf16Le:
        case TextEncoding::Utf16Be: {
            const bool little = result.encoding == TextEncoding::Utf16Le;
            const QByteArray& mark = little ? kUtf16LeMark : kUtf16BeMark;
            const QByteArray body = bytes.startsWith(mark) ? bytes.mid(mark.size()) : bytes;
            // An odd number of bytes cannot be UTF-16; the decoder would keep the last one waiting.
            ok = body.size() % 2 == 0 &&
                 decodeStrictly(body, little ? QStringConverter::Utf16LE : QStringConverter::Utf16BE, &result.text);
            break;
        }
        case TextEncoding::Gb18030:
            ok = decodeGb18030(bytes, &result.text);
            break;
    }
    if (!ok) {
        throw AppError(QStringLiteral("%1不能按 %2 编码读取：其中有不属于这种编码的字节，没有导入任何内容。"
                                      "请指定文件所用的编码（中文 Windows 的记事本多为 GB18030/GBK，"
                                      "“Unicode”为 UTF-16 LE）。")
                           .arg(fileLabel(fileName), encodingName(result.encoding)));
    }
    return result;
}

bool isPlainTextFile(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("txt") || suffix == QLatin1String("md") || suffix == QLatin1String("gift") ||
           suffix == QLatin1String("xml");
}

bool hasXmlEncodingDeclaration(const QByteArray& bytes)
{
    if (bytes.startsWith(kUtf16LeMark) || bytes.startsWith(kUtf16BeMark)) return true;
    QByteArray head = bytes.left(256);
    if (head.startsWith(kUtf8Mark)) head = head.mid(kUtf8Mark.size());
    static const QRegularExpression declaration(
        QStringLiteral("^\\s*<\\?xml[^>]*\\bencoding\\s*=\\s*[\"'][A-Za-z0-9._-]+[\"']"));
    return declaration.match(QString::fromLatin1(head)).hasMatch();
}

}  // namespace exchange
