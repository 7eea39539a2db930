#include "output/docx_package.h"

#include <zip.h>

#include <QBuffer>
#include <QHash>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <algorithm>

#include "data/errors.h"

namespace docx {

namespace {

const char* const kW = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
const char* const kR = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const char* const kWp = "http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing";
const char* const kA = "http://schemas.openxmlformats.org/drawingml/2006/main";
const char* const kPic = "http://schemas.openxmlformats.org/drawingml/2006/picture";
const char* const kM = "http://schemas.openxmlformats.org/officeDocument/2006/math";
const char* const kRelTypes = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

constexpr zip_uint32_t kDeflateLevel = 6;

// One EMU is 1/914400 inch, so a pixel at 96 dpi is 9525 EMU.
constexpr qint64 kEmuPerPixel = 9525;

// Characters that XML 1.0 cannot carry (other controls, non-characters, lone surrogates).
bool storable(QChar c, QChar next, QChar previous)
{
    const char16_t u = c.unicode();
    if (u < 0x20) return false;
    if (u == 0xFFFE || u == 0xFFFF) return false;
    if (c.isHighSurrogate()) return next.isLowSurrogate();
    if (c.isLowSurrogate()) return previous.isHighSurrogate();
    return true;
}

class Xml {
public:
    Xml() : buffer_(&bytes_), w_(&buffer_)
    {
        buffer_.open(QIODevice::WriteOnly);
        w_.writeStartDocument(QStringLiteral("1.0"), true);
    }
    QXmlStreamWriter& operator*() { return w_; }
    QXmlStreamWriter* operator->() { return &w_; }
    QByteArray finish()
    {
        w_.writeEndDocument();
        if (w_.hasError()) throw AppError(QStringLiteral("无法生成文档内容。"));
        return bytes_;
    }

private:
    QByteArray bytes_;
    QBuffer buffer_;
    QXmlStreamWriter w_;
};

void empty(QXmlStreamWriter& w, const QString& name, const QString& attribute = QString(),
           const QString& value = QString())
{
    w.writeEmptyElement(name);
    if (!attribute.isEmpty()) w.writeAttribute(attribute, value);
}

QString pictureTarget(int index, const QString& extension = QStringLiteral("png"))
{
    return QStringLiteral("media/image%1.%2").arg(index + 1).arg(extension);
}
QString pictureRelationship(int index)
{
    return QStringLiteral("rIdImage%1").arg(index + 1);
}

void writeRunProperties(QXmlStreamWriter& w, const Paragraph& p)
{
    if (!p.bold && p.halfPoints == 0) return;
    w.writeStartElement(QStringLiteral("w:rPr"));
    if (p.bold) {
        empty(w, QStringLiteral("w:b"));
        empty(w, QStringLiteral("w:bCs"));
    }
    if (p.halfPoints > 0) {
        empty(w, QStringLiteral("w:sz"), QStringLiteral("w:val"), QString::number(p.halfPoints));
        empty(w, QStringLiteral("w:szCs"), QStringLiteral("w:val"), QString::number(p.halfPoints));
    }
    w.writeEndElement();
}

void writeDrawing(QXmlStreamWriter& w, const Picture& picture, int index, int drawingId)
{
    const QString cx = QString::number(picture.size.width() * kEmuPerPixel);
    const QString cy = QString::number(picture.size.height() * kEmuPerPixel);
    w.writeStartElement(QStringLiteral("w:drawing"));
    w.writeStartElement(QStringLiteral("wp:inline"));
    for (const char* side : {"distT", "distB", "distL", "distR"})
        w.writeAttribute(QLatin1String(side), QStringLiteral("0"));
    w.writeEmptyElement(QStringLiteral("wp:extent"));
    w.writeAttribute(QStringLiteral("cx"), cx);
    w.writeAttribute(QStringLiteral("cy"), cy);
    w.writeEmptyElement(QStringLiteral("wp:effectExtent"));
    for (const char* side : {"l", "t", "r", "b"}) w.writeAttribute(QLatin1String(side), QStringLiteral("0"));
    w.writeEmptyElement(QStringLiteral("wp:docPr"));
    w.writeAttribute(QStringLiteral("id"), QString::number(drawingId));
    w.writeAttribute(QStringLiteral("name"), picture.name);
    w.writeStartElement(QStringLiteral("wp:cNvGraphicFramePr"));
    w.writeEmptyElement(QStringLiteral("a:graphicFrameLocks"));
    w.writeAttribute(QStringLiteral("noChangeAspect"), QStringLiteral("1"));
    w.writeEndElement();
    w.writeStartElement(QStringLiteral("a:graphic"));
    w.writeStartElement(QStringLiteral("a:graphicData"));
    w.writeAttribute(QStringLiteral("uri"), QString::fromLatin1(kPic));
    w.writeStartElement(QStringLiteral("pic:pic"));
    w.writeStartElement(QStringLiteral("pic:nvPicPr"));
    w.writeEmptyElement(QStringLiteral("pic:cNvPr"));
    w.writeAttribute(QStringLiteral("id"), QString::number(drawingId));
    w.writeAttribute(QStringLiteral("name"), picture.name + QLatin1Char('.') + picture.extension);
    w.writeEmptyElement(QStringLiteral("pic:cNvPicPr"));
    w.writeEndElement();  // nvPicPr
    w.writeStartElement(QStringLiteral("pic:blipFill"));
    w.writeEmptyElement(QStringLiteral("a:blip"));
    w.writeAttribute(QStringLiteral("r:embed"), pictureRelationship(index));
    w.writeStartElement(QStringLiteral("a:stretch"));
    empty(w, QStringLiteral("a:fillRect"));
    w.writeEndElement();
    w.writeEndElement();  // blipFill
    w.writeStartElement(QStringLiteral("pic:spPr"));
    w.writeStartElement(QStringLiteral("a:xfrm"));
    w.writeEmptyElement(QStringLiteral("a:off"));
    w.writeAttribute(QStringLiteral("x"), QStringLiteral("0"));
    w.writeAttribute(QStringLiteral("y"), QStringLiteral("0"));
    w.writeEmptyElement(QStringLiteral("a:ext"));
    w.writeAttribute(QStringLiteral("cx"), cx);
    w.writeAttribute(QStringLiteral("cy"), cy);
    w.writeEndElement();  // xfrm
    w.writeStartElement(QStringLiteral("a:prstGeom"));
    w.writeAttribute(QStringLiteral("prst"), QStringLiteral("rect"));
    empty(w, QStringLiteral("a:avLst"));
    w.writeEndElement();
    w.writeEndElement();  // spPr
    w.writeEndElement();  // pic
    w.writeEndElement();  // graphicData
    w.writeEndElement();  // graphic
    w.writeEndElement();  // inline
    w.writeEndElement();  // drawing
}

// Copies a formula's OMML into the document; the document's root declares its namespaces.
void writeMath(QXmlStreamWriter& w, const QString& omml)
{
    QXmlStreamReader r(omml);
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement()) {
            w.writeStartElement(r.namespaceUri().toString(), r.name().toString());
            for (const QXmlStreamAttribute& a : r.attributes()) w.writeAttribute(a);
        } else if (r.isEndElement()) {
            w.writeEndElement();
        } else if (r.isCharacters() && !r.isWhitespace()) {
            w.writeCharacters(r.text().toString());
        }
    }
    if (r.hasError()) throw AppError(QStringLiteral("公式的 Word 格式已损坏，无法写入文档。"));
}

// The width of the printable area in twentieths of a point (A4 less the left and right margins).
constexpr int kPrintableWidthTwips = 11906 - 1800 - 1800;

void writeTable(QXmlStreamWriter& w, const Table& table)
{
    qsizetype columns = 1;
    for (const QStringList& row : table.rows) columns = std::max(columns, row.size());
    const QString cellWidth = QString::number(kPrintableWidthTwips / columns);
    w.writeStartElement(QStringLiteral("w:tbl"));
    w.writeStartElement(QStringLiteral("w:tblPr"));
    w.writeEmptyElement(QStringLiteral("w:tblW"));
    w.writeAttribute(QStringLiteral("w:w"), QString::number(kPrintableWidthTwips));
    w.writeAttribute(QStringLiteral("w:type"), QStringLiteral("dxa"));
    w.writeStartElement(QStringLiteral("w:tblBorders"));
    for (const char* side : {"top", "left", "bottom", "right", "insideH", "insideV"}) {
        w.writeEmptyElement(QStringLiteral("w:") + QLatin1String(side));
        w.writeAttribute(QStringLiteral("w:val"), QStringLiteral("single"));
        w.writeAttribute(QStringLiteral("w:sz"), QStringLiteral("4"));
        w.writeAttribute(QStringLiteral("w:space"), QStringLiteral("0"));
        w.writeAttribute(QStringLiteral("w:color"), QStringLiteral("000000"));
    }
    w.writeEndElement();  // tblBorders
    empty(w, QStringLiteral("w:tblLayout"), QStringLiteral("w:type"), QStringLiteral("fixed"));
    w.writeEndElement();  // tblPr
    w.writeStartElement(QStringLiteral("w:tblGrid"));
    for (qsizetype c = 0; c < columns; ++c) empty(w, QStringLiteral("w:gridCol"), QStringLiteral("w:w"), cellWidth);
    w.writeEndElement();
    for (qsizetype r = 0; r < table.rows.size(); ++r) {
        const QStringList& row = table.rows.at(r);
        const bool header = r == 0;
        w.writeStartElement(QStringLiteral("w:tr"));
        if (header) {
            w.writeStartElement(QStringLiteral("w:trPr"));
            empty(w, QStringLiteral("w:tblHeader"));
            w.writeEndElement();
        }
        for (qsizetype c = 0; c < columns; ++c) {
            w.writeStartElement(QStringLiteral("w:tc"));
            w.writeStartElement(QStringLiteral("w:tcPr"));
            w.writeEmptyElement(QStringLiteral("w:tcW"));
            w.writeAttribute(QStringLiteral("w:w"), cellWidth);
            w.writeAttribute(QStringLiteral("w:type"), QStringLiteral("dxa"));
            empty(w, QStringLiteral("w:vAlign"), QStringLiteral("w:val"), QStringLiteral("center"));
            w.writeEndElement();  // tcPr
            w.writeStartElement(QStringLiteral("w:p"));
            w.writeStartElement(QStringLiteral("w:pPr"));
            empty(w, QStringLiteral("w:jc"), QStringLiteral("w:val"), QStringLiteral("center"));
            w.writeEndElement();
            QString text;
            const QString raw = c < row.size() ? row.at(c) : QString();
            for (qsizetype i = 0; i < raw.size(); ++i) {
                const QChar ch = raw.at(i);
                const QChar next = i + 1 < raw.size() ? raw.at(i + 1) : QChar();
                const QChar previous = i > 0 ? raw.at(i - 1) : QChar();
                if (ch == QLatin1Char('\n') || ch == QLatin1Char('\r') || ch == QLatin1Char('\t')) {
                    text.append(QLatin1Char(' '));
                } else if (storable(ch, next, previous)) {
                    text.append(ch);
                }
            }
            if (!text.isEmpty()) {
                w.writeStartElement(QStringLiteral("w:r"));
                if (header) {
                    w.writeStartElement(QStringLiteral("w:rPr"));
                    empty(w, QStringLiteral("w:b"));
                    empty(w, QStringLiteral("w:bCs"));
                    w.writeEndElement();
                }
                w.writeStartElement(QStringLiteral("w:t"));
                w.writeAttribute(QStringLiteral("xml:space"), QStringLiteral("preserve"));
                w.writeCharacters(text);
                w.writeEndElement();  // t
                w.writeEndElement();  // r
            }
            w.writeEndElement();  // p
            w.writeEndElement();  // tc
        }
        w.writeEndElement();  // tr
    }
    w.writeEndElement();  // tbl
}

// True when `s` from `i` on starts a name of the form prefix:local (or xml:local for attributes)
// with one of the prefixes the document's root declares; moves `i` past the name.
bool readName(QStringView s, qsizetype& i, bool attribute)
{
    const qsizetype start = i;
    while (i < s.size()) {
        const char16_t c = s.at(i).unicode();
        const bool nameChar = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                              c == u':' || c == u'_' || c == u'-' || c == u'.';
        if (!nameChar) break;
        ++i;
    }
    const QStringView name = s.mid(start, i - start);
    const qsizetype colon = name.indexOf(u':');
    if (colon <= 0 || colon == name.size() - 1 || name.indexOf(u':', colon + 1) >= 0) return false;
    const QStringView prefix = name.left(colon);
    return prefix == u"m" || prefix == u"w" || (attribute && prefix == u"xml");
}

// True when the text from `i` up to `end` is character data a writer could have produced: no
// markup characters, only the predefined or numeric entities, no control characters.
bool plainText(QStringView s, qsizetype i, qsizetype end)
{
    while (i < end) {
        const char16_t c = s.at(i).unicode();
        if (c == u'<') return false;
        if (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') return false;
        if (c == u'&') {
            const qsizetype semi = s.indexOf(u';', i);
            if (semi < 0 || semi >= end) return false;
            const QStringView entity = s.mid(i + 1, semi - i - 1);
            if (entity != u"amp" && entity != u"lt" && entity != u"gt" && entity != u"quot" && entity != u"apos") {
                if (!entity.startsWith(u'#') || entity.size() < 2) return false;
                bool ok = false;
                const uint code = entity.at(1) == u'x' ? entity.mid(2).toUInt(&ok, 16) : entity.mid(1).toUInt(&ok, 10);
                const bool character = code == 0x9 || code == 0xA || code == 0xD ||
                                       (code >= 0x20 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF) &&
                                        code != 0xFFFE && code != 0xFFFF);
                if (!ok || !character) return false;
            }
            i = semi + 1;
            continue;
        }
        ++i;
    }
    return true;
}

// The body of a formula's OMML that can go into the document as it is: the m:oMath element without
// its namespace declarations, when it has the plain form this program writes (elements and
// attributes named with the prefixes m, w or xml only, double-quoted attribute values, no
// comments, no declarations below the root) and is well formed; blank text between tags is left
// out, as the element-by-element copy does. Empty when the
// formula must be copied element by element instead, which also reports a broken one. A scan of
// this restricted form is many times faster than a general XML parser.
QString plainMathBody(const QString& omml)
{
    static const QString kOpen =
        QStringLiteral("<m:oMath xmlns:m=\"%1\" xmlns:w=\"%2\"").arg(QLatin1String(kM), QLatin1String(kW));
    if (!omml.startsWith(kOpen)) return {};
    const QString body = QStringLiteral("<m:oMath") + omml.mid(kOpen.size());
    const QStringView s(body);
    QVector<QStringView> open;
    QVector<QPair<qsizetype, qsizetype>> blanks;  // blank text between tags, [from, to)
    bool afterStartTag = false;                   // the last tag read opened an element
    qsizetype i = 0;
    while (i < s.size()) {
        if (s.at(i) != u'<') {
            const qsizetype next = s.indexOf(u'<', i);
            if (open.isEmpty() || next < 0) return {};
            bool blank = true;
            for (qsizetype k = i; k < next && blank; ++k) {
                const QChar c = s.at(k);
                if (c == u'&' || c == u'\r') return {};  // whether it is blank is the parser's call
                blank = c == u' ' || c == u'\t' || c == u'\n';
            }
            if (blank) {
                // The element-by-element copy leaves blank text out, and an element left empty
                // by that is closed at once ("<m:t/>").
                const bool alone = afterStartTag && s.mid(next).startsWith(u"</");
                const qsizetype to = alone ? s.indexOf(u'>', next) + 1 : next;
                blanks.append({alone ? i - 1 : i, to});
                if (alone) {
                    if (open.isEmpty() || to <= 0 || s.mid(next + 2, to - next - 3) != open.last()) return {};
                    open.removeLast();
                    afterStartTag = false;
                    i = to;
                    continue;
                }
            } else if (!plainText(s, i, next)) {
                return {};
            }
            i = next;
            continue;
        }
        if (!open.isEmpty() || i == 0) {
            // fine: the root, or an element inside it
        } else {
            return {};  // something after the root
        }
        if (i + 1 < s.size() && s.at(i + 1) == u'/') {
            qsizetype k = i + 2;
            const qsizetype nameStart = k;
            if (!readName(s, k, false) || k >= s.size() || s.at(k) != u'>') return {};
            if (open.isEmpty() || open.last() != s.mid(nameStart, k - nameStart)) return {};
            open.removeLast();
            afterStartTag = false;
            i = k + 1;
            continue;
        }
        qsizetype k = i + 1;
        const qsizetype nameStart = k;
        if (!readName(s, k, false)) return {};
        const QStringView name = s.mid(nameStart, k - nameStart);
        if (i == 0 && name != u"m:oMath") return {};
        bool closed = false;
        for (;;) {
            if (k >= s.size()) return {};
            if (s.at(k) == u'>') {
                open.append(name);
                ++k;
                break;
            }
            if (s.at(k) == u'/') {
                if (k + 1 >= s.size() || s.at(k + 1) != u'>') return {};
                k += 2;
                closed = true;
                break;
            }
            if (s.at(k) != u' ') return {};
            ++k;
            if (!readName(s, k, true)) return {};
            if (k + 1 >= s.size() || s.at(k) != u'=' || s.at(k + 1) != u'"') return {};
            const qsizetype valueStart = k + 2;
            const qsizetype quote = s.indexOf(u'"', valueStart);
            if (quote < 0 || !plainText(s, valueStart, quote)) return {};
            k = quote + 1;
        }
        if (closed && i == 0) return {};  // an empty formula is copied the long way
        afterStartTag = !closed;
        i = k;
    }
    if (!open.isEmpty()) return {};
    if (blanks.isEmpty()) return body;
    QString kept;
    kept.reserve(body.size());
    qsizetype from = 0;
    for (const auto& [blankFrom, blankTo] : blanks) {
        kept += s.mid(from, blankFrom - from);
        if (s.at(blankFrom) == u'>') kept += u"/>";
        from = blankTo;
    }
    kept += s.mid(from);
    return kept;
}

// Puts the formula bodies in place of the comments that stand for them.
QByteArray insertMath(const QByteArray& xml, const QStringList& bodies)
{
    QByteArray out;
    out.reserve(xml.size() + bodies.size() * 1024);
    qsizetype from = 0;
    static const QByteArray kMark = "<!--omml ";
    for (qsizetype at = xml.indexOf(kMark); at >= 0; at = xml.indexOf(kMark, from)) {
        const qsizetype end = xml.indexOf("-->", at);
        out.append(xml.constData() + from, at - from);
        out.append(bodies.at(xml.mid(at + kMark.size(), end - at - kMark.size()).toInt()).toUtf8());
        from = end + 3;
    }
    out.append(xml.constData() + from, xml.size() - from);
    return out;
}

[[noreturn]] void fail(zip_error_t* error)
{
    const QString text = QString::fromLocal8Bit(zip_error_strerror(error));
    zip_error_fini(error);
    throw AppError(QStringLiteral("无法生成文档压缩包：%1").arg(text));
}

}  // namespace

Document::Document() : paragraphs_(1) {}

void Document::append(const QString& text)
{
    QString pending;
    qsizetype start = 0;
    // The paragraph after a displayed formula is already open: its own end adds no empty one.
    if (afterDisplayMath_ && text.startsWith(QLatin1Char('\r'))) start = 1;
    afterDisplayMath_ = false;
    for (qsizetype i = start; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const QChar next = i + 1 < text.size() ? text.at(i + 1) : QChar();
        const QChar previous = i > 0 ? text.at(i - 1) : QChar();
        Run::Kind kind = Run::Text;
        if (c == QLatin1Char('\r')) {
            appendText(pending);
            pending.clear();
            paragraphs_.append(Paragraph());
            continue;
        }
        if (c == QLatin1Char('\v') || c == QLatin1Char('\n')) {
            kind = Run::LineBreak;
        } else if (c == QLatin1Char('\t')) {
            kind = Run::Tab;
        } else {
            if (storable(c, next, previous)) pending.append(c);
            continue;
        }
        appendText(pending);
        pending.clear();
        Run run;
        run.kind = kind;
        paragraphs_.last().runs.append(run);
    }
    appendText(pending);
}

void Document::appendText(const QString& text)
{
    if (text.isEmpty()) return;
    QVector<Run>& runs = paragraphs_.last().runs;
    if (!runs.isEmpty() && runs.last().kind == Run::Text) {
        runs.last().text += text;
        return;
    }
    Run run;
    run.text = text;
    runs.append(run);
}

int Document::addPicture(const QString& name, const QImage& image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) throw AppError(QStringLiteral("无法生成图片“%1”。").arg(name));
    pictures_.append(Picture{name, png, image.size()});
    return int(pictures_.size()) - 1;
}

int Document::addPictureFile(const QString& name, const QByteArray& bytes, const QString& extension, QSize size)
{
    pictures_.append(Picture{name, bytes, size, extension});
    return int(pictures_.size()) - 1;
}

void Document::appendPicture(int picture)
{
    afterDisplayMath_ = false;
    Run run;
    run.kind = Run::Picture;
    run.picture = picture;
    paragraphs_.last().runs.append(run);
}

void Document::appendMath(const QString& omml)
{
    afterDisplayMath_ = false;
    Run run;
    run.kind = Run::Math;
    run.text = omml;
    paragraphs_.last().runs.append(run);
}

void Document::appendDisplayMath(const QString& omml)
{
    if (!paragraphs_.last().runs.isEmpty()) paragraphs_.append(Paragraph());
    Paragraph& p = paragraphs_.last();
    p.centred = true;
    p.displayMath = true;
    Run run;
    run.kind = Run::Math;
    run.text = omml;
    p.runs.append(run);
    paragraphs_.append(Paragraph());
    afterDisplayMath_ = true;
}

void Document::appendTable(const Table& table)
{
    afterDisplayMath_ = false;
    if (!paragraphs_.last().runs.isEmpty()) paragraphs_.append(Paragraph());
    tables_.append(table);
    paragraphs_.last().table = int(tables_.size()) - 1;
    paragraphs_.append(Paragraph());
}

void Document::replaceLastParagraphWithPicture(int picture)
{
    Run run;
    run.kind = Run::Picture;
    run.picture = picture;
    paragraphs_.last().runs = {run};
}

void Document::insertPageBreak()
{
    Run run;
    run.kind = Run::PageBreak;
    paragraphs_.last().runs.append(run);
}

void Document::format(int paragraph, double points, bool bold, bool centred)
{
    if (paragraph < 0 || paragraph >= paragraphs_.size()) return;
    Paragraph& p = paragraphs_[paragraph];
    p.halfPoints = qRound(points * 2);
    p.bold = bold;
    p.centred = centred;
}

QByteArray Document::contentTypesXml() const
{
    Xml xml;
    auto& w = *xml;
    w.writeStartElement(QStringLiteral("Types"));
    w.writeDefaultNamespace(QStringLiteral("http://schemas.openxmlformats.org/package/2006/content-types"));
    const auto def = [&](const char* extension, const char* type) {
        w.writeEmptyElement(QStringLiteral("Default"));
        w.writeAttribute(QStringLiteral("Extension"), QLatin1String(extension));
        w.writeAttribute(QStringLiteral("ContentType"), QLatin1String(type));
    };
    const auto part = [&](const char* name, const char* type) {
        w.writeEmptyElement(QStringLiteral("Override"));
        w.writeAttribute(QStringLiteral("PartName"), QLatin1String(name));
        w.writeAttribute(QStringLiteral("ContentType"), QLatin1String(type));
    };
    def("rels", "application/vnd.openxmlformats-package.relationships+xml");
    def("xml", "application/xml");
    def("png", "image/png");
    for (const Picture& p : pictures_) {
        if (p.extension == QLatin1String("jpeg")) {
            def("jpeg", "image/jpeg");
            break;
        }
    }
    part("/word/document.xml", "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml");
    part("/word/styles.xml", "application/vnd.openxmlformats-officedocument.wordprocessingml.styles+xml");
    w.writeEndElement();
    return xml.finish();
}

static void relationship(QXmlStreamWriter& w, const QString& id, const QString& type, const QString& target)
{
    w.writeEmptyElement(QStringLiteral("Relationship"));
    w.writeAttribute(QStringLiteral("Id"), id);
    w.writeAttribute(QStringLiteral("Type"), QLatin1String(kRelTypes) + type);
    w.writeAttribute(QStringLiteral("Target"), target);
}

QByteArray Document::packageRelationshipsXml() const
{
    Xml xml;
    auto& w = *xml;
    w.writeStartElement(QStringLiteral("Relationships"));
    w.writeDefaultNamespace(QStringLiteral("http://schemas.openxmlformats.org/package/2006/relationships"));
    relationship(w, QStringLiteral("rId1"), QStringLiteral("officeDocument"), QStringLiteral("word/document.xml"));
    w.writeEndElement();
    return xml.finish();
}

QByteArray Document::documentRelationshipsXml() const
{
    Xml xml;
    auto& w = *xml;
    w.writeStartElement(QStringLiteral("Relationships"));
    w.writeDefaultNamespace(QStringLiteral("http://schemas.openxmlformats.org/package/2006/relationships"));
    relationship(w, QStringLiteral("rIdStyles"), QStringLiteral("styles"), QStringLiteral("styles.xml"));
    for (int i = 0; i < pictures_.size(); ++i) {
        relationship(w, pictureRelationship(i), QStringLiteral("image"), pictureTarget(i, pictures_.at(i).extension));
    }
    w.writeEndElement();
    return xml.finish();
}

QByteArray Document::stylesXml() const
{
    Xml xml;
    auto& w = *xml;
    w.writeStartElement(QStringLiteral("w:styles"));
    w.writeNamespace(QLatin1String(kW), QStringLiteral("w"));
    w.writeStartElement(QStringLiteral("w:docDefaults"));
    w.writeStartElement(QStringLiteral("w:rPrDefault"));
    w.writeStartElement(QStringLiteral("w:rPr"));
    // Chinese text in Song type (宋体), Latin text in Times New Roman, 10.5 pt.
    w.writeEmptyElement(QStringLiteral("w:rFonts"));
    w.writeAttribute(QStringLiteral("w:ascii"), QStringLiteral("Times New Roman"));
    w.writeAttribute(QStringLiteral("w:hAnsi"), QStringLiteral("Times New Roman"));
    w.writeAttribute(QStringLiteral("w:eastAsia"), QStringLiteral("SimSun"));
    w.writeAttribute(QStringLiteral("w:cs"), QStringLiteral("Times New Roman"));
    empty(w, QStringLiteral("w:sz"), QStringLiteral("w:val"), QStringLiteral("21"));
    empty(w, QStringLiteral("w:szCs"), QStringLiteral("w:val"), QStringLiteral("21"));
    w.writeEmptyElement(QStringLiteral("w:lang"));
    w.writeAttribute(QStringLiteral("w:val"), QStringLiteral("en-US"));
    w.writeAttribute(QStringLiteral("w:eastAsia"), QStringLiteral("zh-CN"));
    w.writeEndElement();  // rPr
    w.writeEndElement();  // rPrDefault
    empty(w, QStringLiteral("w:pPrDefault"));
    w.writeEndElement();  // docDefaults
    w.writeStartElement(QStringLiteral("w:style"));
    w.writeAttribute(QStringLiteral("w:type"), QStringLiteral("paragraph"));
    w.writeAttribute(QStringLiteral("w:default"), QStringLiteral("1"));
    w.writeAttribute(QStringLiteral("w:styleId"), QStringLiteral("Normal"));
    empty(w, QStringLiteral("w:name"), QStringLiteral("w:val"), QStringLiteral("Normal"));
    empty(w, QStringLiteral("w:qFormat"));
    w.writeEndElement();
    w.writeEndElement();  // styles
    return xml.finish();
}

QByteArray Document::documentXml() const
{
    Xml xml;
    auto& w = *xml;
    w.writeStartElement(QStringLiteral("w:document"));
    w.writeNamespace(QLatin1String(kW), QStringLiteral("w"));
    w.writeNamespace(QLatin1String(kR), QStringLiteral("r"));
    w.writeNamespace(QLatin1String(kWp), QStringLiteral("wp"));
    w.writeNamespace(QLatin1String(kA), QStringLiteral("a"));
    w.writeNamespace(QLatin1String(kPic), QStringLiteral("pic"));
    // Office Math is declared only by documents that hold formulas.
    const bool hasMath = std::any_of(paragraphs_.cbegin(), paragraphs_.cend(), [](const Paragraph& p) {
        return std::any_of(p.runs.cbegin(), p.runs.cend(), [](const Run& r) { return r.kind == Run::Math; });
    });
    if (hasMath) w.writeNamespace(QLatin1String(kM), QStringLiteral("m"));
    w.writeStartElement(QStringLiteral("w:body"));
    int drawingId = 0;
    // Formulas that can go in as they are get a numbered comment here and their text afterwards,
    // which spares parsing and rewriting each of them.
    QStringList bodies;
    QHash<QString, int> bodyIndex;
    for (const Paragraph& p : paragraphs_) {
        if (p.table >= 0) {
            writeTable(w, tables_.at(p.table));
            continue;
        }
        w.writeStartElement(QStringLiteral("w:p"));
        if (p.centred || p.bold || p.halfPoints > 0) {
            w.writeStartElement(QStringLiteral("w:pPr"));
            if (p.centred) empty(w, QStringLiteral("w:jc"), QStringLiteral("w:val"), QStringLiteral("center"));
            writeRunProperties(w, p);  // the paragraph mark takes the paragraph's font too
            w.writeEndElement();
        }
        for (const Run& run : p.runs) {
            if (run.kind == Run::Math) {
                // Formulas stand beside the runs of the paragraph, not inside one.
                if (p.displayMath) w.writeStartElement(QStringLiteral("m:oMathPara"));
                auto known = bodyIndex.constFind(run.text);
                if (known == bodyIndex.constEnd()) {
                    const QString body = plainMathBody(run.text);
                    known = bodyIndex.insert(run.text, body.isEmpty() ? -1 : int(bodies.size()));
                    if (!body.isEmpty()) bodies << body;
                }
                if (known.value() >= 0) {
                    w.writeComment(QStringLiteral("omml %1").arg(known.value()));
                } else {
                    writeMath(w, run.text);
                }
                if (p.displayMath) w.writeEndElement();
                continue;
            }
            w.writeStartElement(QStringLiteral("w:r"));
            writeRunProperties(w, p);
            switch (run.kind) {
                case Run::Text:
                    w.writeStartElement(QStringLiteral("w:t"));
                    w.writeAttribute(QStringLiteral("xml:space"), QStringLiteral("preserve"));
                    w.writeCharacters(run.text);
                    w.writeEndElement();
                    break;
                case Run::LineBreak:
                    empty(w, QStringLiteral("w:br"));
                    break;
                case Run::Tab:
                    empty(w, QStringLiteral("w:tab"));
                    break;
                case Run::PageBreak:
                    empty(w, QStringLiteral("w:br"), QStringLiteral("w:type"), QStringLiteral("page"));
                    break;
                case Run::Picture:
                    writeDrawing(w, pictures_.at(run.picture), run.picture, ++drawingId);
                    break;
                case Run::Math:
                    break;
            }
            w.writeEndElement();  // r
        }
        w.writeEndElement();  // p
    }
    // A4 portrait with the usual margins of a Chinese word processor.
    w.writeStartElement(QStringLiteral("w:sectPr"));
    w.writeEmptyElement(QStringLiteral("w:pgSz"));
    w.writeAttribute(QStringLiteral("w:w"), QStringLiteral("11906"));
    w.writeAttribute(QStringLiteral("w:h"), QStringLiteral("16838"));
    w.writeEmptyElement(QStringLiteral("w:pgMar"));
    w.writeAttribute(QStringLiteral("w:top"), QStringLiteral("1440"));
    w.writeAttribute(QStringLiteral("w:right"), QStringLiteral("1800"));
    w.writeAttribute(QStringLiteral("w:bottom"), QStringLiteral("1440"));
    w.writeAttribute(QStringLiteral("w:left"), QStringLiteral("1800"));
    w.writeAttribute(QStringLiteral("w:header"), QStringLiteral("851"));
    w.writeAttribute(QStringLiteral("w:footer"), QStringLiteral("992"));
    w.writeAttribute(QStringLiteral("w:gutter"), QStringLiteral("0"));
    w.writeEndElement();  // sectPr
    w.writeEndElement();  // body
    w.writeEndElement();  // document
    const QByteArray bytes = xml.finish();
    return bodies.isEmpty() ? bytes : insertMath(bytes, bodies);
}

QByteArray Document::package() const
{
    QVector<QPair<QString, QByteArray>> parts;
    parts.append({QStringLiteral("[Content_Types].xml"), contentTypesXml()});
    parts.append({QStringLiteral("_rels/.rels"), packageRelationshipsXml()});
    parts.append({QStringLiteral("word/document.xml"), documentXml()});
    parts.append({QStringLiteral("word/_rels/document.xml.rels"), documentRelationshipsXml()});
    parts.append({QStringLiteral("word/styles.xml"), stylesXml()});
    for (int i = 0; i < pictures_.size(); ++i) {
        parts.append({QStringLiteral("word/") + pictureTarget(i, pictures_.at(i).extension), pictures_.at(i).png});
    }
    return zipParts(parts);
}

QByteArray zipParts(const QVector<QPair<QString, QByteArray>>& parts)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* memory = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (!memory) fail(&error);
    zip_t* archive = zip_open_from_source(memory, ZIP_TRUNCATE, &error);
    if (!archive) {
        zip_source_free(memory);
        fail(&error);
    }
    zip_source_keep(memory);  // the archive's bytes are read back from it after closing
    const auto abandon = [&]() {
        const QString text = QString::fromLocal8Bit(zip_strerror(archive));
        zip_discard(archive);
        zip_source_free(memory);
        throw AppError(QStringLiteral("无法生成文档压缩包：%1").arg(text));
    };
    for (const auto& part : parts) {
        // The bytes stay alive in `parts` until the archive is closed below.
        zip_source_t* source = zip_source_buffer(archive, part.second.constData(), zip_uint64_t(part.second.size()), 0);
        if (!source) abandon();
        const zip_int64_t index = zip_file_add(archive, part.first.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            abandon();
        }
        // zlib's usual level 6 rather than libzip's default 9: deflating a paper takes a quarter
        // less time for a file a fraction of a percent larger.
        if (zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_DEFLATE, kDeflateLevel) < 0) abandon();
    }
    if (zip_close(archive) < 0) abandon();

    QByteArray bytes;
    if (zip_source_open(memory) < 0) {
        zip_source_free(memory);
        throw AppError(QStringLiteral("无法读取生成的文档压缩包。"));
    }
    char chunk[65536];
    zip_int64_t n = 0;
    while ((n = zip_source_read(memory, chunk, sizeof chunk)) > 0) bytes.append(chunk, qsizetype(n));
    zip_source_close(memory);
    zip_source_free(memory);
    if (n < 0) throw AppError(QStringLiteral("无法读取生成的文档压缩包。"));
    zip_error_fini(&error);
    return bytes;
}

}  // namespace docx
