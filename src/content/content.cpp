#include "content/content.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QImage>
#include <QImageReader>
#include <QSet>
#include <QSqlQuery>
#include <QSvgRenderer>

#include "content/svg_safety.h"
#include "data/errors.h"
#include "data/picture_refs.h"
#include "data/schema.h"
#include "data/sql.h"

namespace content {

namespace {

void appendText(QVector<Segment>& out, QStringView text)
{
    if (text.isEmpty()) return;
    if (!out.isEmpty() && out.last().kind == Segment::Text) {
        out.last().text += text;
    } else {
        out.append({Segment::Text, text.toString(), QString()});
    }
}

}  // namespace

QVector<Segment> parse(const QString& text)
{
    QVector<Segment> out;
    qsizetype plainStart = 0;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        const QChar c = text.at(i);
        if (c == u'\\' && i + 1 < n && (text.at(i + 1) == u'(' || text.at(i + 1) == u'[')) {
            const bool display = text.at(i + 1) == u'[';
            const QString closing = display ? QStringLiteral("\\]") : QStringLiteral("\\)");
            const qsizetype end = text.indexOf(closing, i + 2);
            // An opening delimiter without its closing one, or around nothing but blanks, is plain text.
            if (end >= 0 && !QStringView(text).mid(i + 2, end - i - 2).trimmed().isEmpty()) {
                appendText(out, QStringView(text).mid(plainStart, i - plainStart));
                out.append({display ? Segment::DisplayMath : Segment::InlineMath, text.mid(i + 2, end - i - 2),
                            QString()});
                i = end + 2;
                plainStart = i;
                continue;
            }
        } else if (c == u'[') {
            if (const int length = picture_refs::markerLengthAt(text, i)) {
                appendText(out, QStringView(text).mid(plainStart, i - plainStart));
                out.append({Segment::Picture, text.mid(i + picture_refs::kOpen.size(), picture_refs::kHashLength),
                            picture_refs::optionsAt(text, i)});
                i += length;
                plainStart = i;
                continue;
            }
        }
        ++i;
    }
    appendText(out, QStringView(text).mid(plainStart));
    return out;
}

namespace {

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// Commands a formula may not hold, each with the reason. pandoc's LaTeX reader opens or fetches
// what the first group names; the second would carry over into the formulas converted or shown
// after this one; the third are MathJax's commands that reach into the preview's page or its
// configuration.
const QHash<QString, QString>& refusedCommands()
{
    static const QHash<QString, QString> commands = [] {
        QHash<QString, QString> out;
        const QString reads = QStringLiteral("公式中不能使用读取文件或访问网址的命令 \\%1。");
        for (const char* name : {"input",
                                 "include",
                                 "includegraphics",
                                 "includeonly",
                                 "InputIfFileExists",
                                 "IfFileExists",
                                 "openin",
                                 "openout",
                                 "read",
                                 "readline",
                                 "write",
                                 "immediate",
                                 "url",
                                 "href",
                                 "hyperref",
                                 "hyperlink",
                                 "usepackage",
                                 "RequirePackage",
                                 "documentclass",
                                 "special",
                                 "import",
                                 "subimport",
                                 "inputminted",
                                 "lstinputlisting",
                                 "verbatiminput",
                                 "bibliography",
                                 "addbibresource",
                                 "graphicspath",
                                 "epsfig",
                                 "epsfbox",
                                 "psfig",
                                 "includesvg",
                                 "includepdf",
                                 "externaldocument"}) {
            out.insert(QString::fromLatin1(name), reads);
        }
        const QString defines = QStringLiteral("公式中不能使用定义或改变命令的 \\%1。");
        for (const char* name :
             {"def", "gdef", "edef", "xdef", "let", "futurelet", "newcommand", "renewcommand", "providecommand",
              "DeclareMathOperator", "DeclareRobustCommand", "newenvironment", "renewenvironment", "catcode", "global",
              "csname", "makeatletter", "makeatother", "setOptions"}) {
            out.insert(QString::fromLatin1(name), defines);
        }
        const QString page = QStringLiteral("公式中不能使用 \\%1。");
        for (const char* name : {"style", "class", "cssId", "data", "require", "bbox", "toggle", "mathtip", "texttip",
                                 "actiontype", "unicode"}) {
            out.insert(QString::fromLatin1(name), page);
        }
        out.insert(QStringLiteral("par"), QStringLiteral("公式中不能含有 \\par 或空行。"));
        return out;
    }();
    return commands;
}

// Reads the source token by token as TeX does: a backslash with letters is a command word, a
// backslash with one other character a command symbol ("\\" is a line break, so "\\[2pt]" holds no
// delimiter). `depth` receives the deepest nesting of braces.
QString scanFormula(const QString& latex, int* depth)
{
    int level = 0;
    *depth = 0;
    const qsizetype n = latex.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = latex.at(i);
        if (c == u'\\') {
            if (i + 1 >= n) break;
            const QChar next = latex.at(i + 1);
            if (isAsciiLetter(next)) {
                qsizetype end = i + 1;
                while (end < n && isAsciiLetter(latex.at(end))) ++end;
                const QString name = latex.mid(i + 1, end - i - 1);
                const auto refused = refusedCommands().constFind(name);
                if (refused != refusedCommands().cend()) return refused->contains(u'%') ? refused->arg(name) : *refused;
                i = end;
                continue;
            }
            if (next == u'(' || next == u')' || next == u'[' || next == u']') {
                return QStringLiteral("公式中不能含有 \\( \\) \\[ \\]（公式的起止符号）。");
            }
            i += 2;
            continue;
        }
        if (c == u'{') {
            *depth = qMax(*depth, ++level);
        } else if (c == u'}') {
            level = qMax(0, level - 1);
        }
        ++i;
    }
    // A line holding nothing but blanks between two line ends ends the paragraph in LaTeX.
    QString lines = latex;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(u'\r', u'\n');
    const QStringList parts = lines.split(u'\n');
    for (qsizetype k = 1; k + 1 < parts.size(); ++k) {
        if (parts.at(k).trimmed().isEmpty()) return QStringLiteral("公式中不能含有 \\par 或空行。");
    }
    return QString();
}

}  // namespace

QString formulaRefusal(const QString& latex)
{
    int depth = 0;
    return scanFormula(latex, &depth);
}

QString formulaEntryRefusal(const QString& latex)
{
    if (latex.size() > kMaxFormulaLength) {
        return QStringLiteral("公式太长（%1 个字符），最多允许 %2 个字符。").arg(latex.size()).arg(kMaxFormulaLength);
    }
    int depth = 0;
    const QString refused = scanFormula(latex, &depth);
    if (!refused.isEmpty()) return refused;
    if (depth > kMaxFormulaDepth) {
        return QStringLiteral("公式中的括号 { } 嵌套太深（%1 层），最多允许 %2 层。").arg(depth).arg(kMaxFormulaDepth);
    }
    return QString();
}

QString textEntryRefusal(const QString& text)
{
    if (!text.contains(u'\\') && !text.contains(picture_refs::kOpen)) return QString();
    for (const Segment& s : parse(text)) {
        if (s.kind == Segment::Picture && !s.options.isEmpty()) {
            picture_refs::Placement placement;
            const QString refused = picture_refs::readPlacement(s.options, &placement);
            if (!refused.isEmpty()) return QStringLiteral("图片设置“%1”无法使用：%2").arg(s.options, refused);
            continue;
        }
        if (s.kind != Segment::InlineMath && s.kind != Segment::DisplayMath) continue;
        const QString refused = formulaEntryRefusal(s.text);
        if (refused.isEmpty()) continue;
        QString start = s.text.simplified();
        if (start.size() > 40) start = start.left(40) + QStringLiteral("…");
        return QStringLiteral("公式“%1”无法使用：%2").arg(start, refused);
    }
    return QString();
}

bool hasMarkers(const QString& text)
{
    // Cheap test first: most texts hold none of the opening characters.
    if (!text.contains(u'\\') && !text.contains(picture_refs::kOpen)) return false;
    const QVector<Segment> segments = parse(text);
    return segments.size() > 1 || (segments.size() == 1 && segments.first().kind != Segment::Text);
}

QString shortForm(const QString& text)
{
    if (!hasMarkers(text)) return text;
    QString out;
    for (const Segment& s : parse(text)) {
        switch (s.kind) {
            case Segment::Text:
                out += s.text;
                break;
            case Segment::InlineMath:
            case Segment::DisplayMath:
                out += s.text.simplified();
                break;
            case Segment::Picture:
                out += QStringLiteral("[图]");
                break;
        }
    }
    // One line: the line breaks of a text with formulas become spaces.
    out.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    out.replace(u'\n', u' ');
    out.replace(u'\r', u' ');
    return out;
}

QString pictureMarker(const QString& hash, const QString& options)
{
    return picture_refs::marker(hash, options);
}

QStringList pictureHashes(const QString& text)
{
    QStringList out;
    if (!text.contains(picture_refs::kOpen)) return out;
    for (const Segment& s : parse(text)) {
        if (s.kind == Segment::Picture) out << s.text;
    }
    return out;
}

QString pictureHash(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

StoredPicture examinePicture(const QByteArray& bytes)
{
    if (bytes.isEmpty()) {
        throw AppError(QStringLiteral("图片文件是空的。"));
    }
    if (bytes.size() > kMaxPictureBytes) {
        throw AppError(QStringLiteral("图片文件太大（%1 MB），最多允许 %2 MB。")
                           .arg(QString::number(double(bytes.size()) / (1024 * 1024), 'f', 1))
                           .arg(kMaxPictureBytes / (1024 * 1024)));
    }
    const auto tooManyPixels = [](QSize size) { return qint64(size.width()) * size.height() > kMaxPicturePixels; };
    const QString tooLarge = QStringLiteral("图片尺寸太大（%1×%2 像素），最多允许 %3 百万像素。");

    StoredPicture picture;
    picture.hash = pictureHash(bytes);
    picture.data = bytes;

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(kPictureAllocationMegabytes);
    const QByteArray format = reader.format().toLower();
    static const QHash<QByteArray, QString> raster = {
        {"png", QStringLiteral("image/png")},  {"jpeg", QStringLiteral("image/jpeg")},
        {"jpg", QStringLiteral("image/jpeg")}, {"gif", QStringLiteral("image/gif")},
        {"bmp", QStringLiteral("image/bmp")},
    };
    if (raster.contains(format)) {
        const QSize size = reader.size();
        if (size.isValid() && tooManyPixels(size)) {
            throw AppError(tooLarge.arg(size.width()).arg(size.height()).arg(kMaxPicturePixels / 1000000));
        }
        // Decoding the whole picture proves that it is not cut short or damaged.
        reader.setDecideFormatFromContent(true);
        QImage image;
        if (!reader.read(&image) || image.isNull()) {
            throw AppError(QStringLiteral("图片文件已损坏，无法读取。"));
        }
        if (tooManyPixels(image.size())) {
            throw AppError(tooLarge.arg(image.width()).arg(image.height()).arg(kMaxPicturePixels / 1000000));
        }
        picture.mime = raster.value(format);
        picture.size = image.size();
        return picture;
    }
    // SVG is a text format: recognised by its root element and read by the SVG renderer.
    const QByteArray head = bytes.left(4096);
    if (format == "svg" || format == "svgz" || head.contains("<svg")) {
        // What reaches outside the picture or runs is removed before anything reads it; a picture
        // too costly to draw is refused. A picture that needed no cleaning is stored as it came.
        const CleanSvg clean = cleanSvg(bytes);
        if (clean.changed) {
            picture.data = clean.data;
            picture.hash = pictureHash(clean.data);
        }
        QSvgRenderer renderer(picture.data);
        if (!renderer.isValid()) {
            throw AppError(QStringLiteral("SVG 图片已损坏，无法读取。"));
        }
        QSize size = renderer.defaultSize();
        if (size.isEmpty()) size = renderer.viewBox().size();
        if (size.isEmpty()) {
            throw AppError(QStringLiteral("SVG 图片没有给出尺寸，无法使用。"));
        }
        if (size.width() > kMaxSvgSide || size.height() > kMaxSvgSide || tooManyPixels(size)) {
            throw AppError(tooLarge.arg(size.width()).arg(size.height()).arg(kMaxPicturePixels / 1000000));
        }
        picture.mime = QStringLiteral("image/svg+xml");
        picture.size = size;
        return picture;
    }
    throw AppError(QStringLiteral("无法识别的图片文件。支持的格式：PNG、JPEG、GIF、BMP 和 SVG。"));
}

QString storePicture(const QSqlDatabase& db, const QByteArray& bytes)
{
    const StoredPicture picture = examinePicture(bytes);
    // The same bytes stored twice stay one row: the hash is unique.
    QString existing;
    if (!sql::firstValue(db, QStringLiteral("SELECT hash FROM pictures WHERE hash = ?"), {picture.hash}, &existing)) {
        sql::run(db, QStringLiteral("INSERT INTO pictures (hash, mime, width, height, data) VALUES (?, ?, ?, ?, ?)"),
                 {picture.hash, picture.mime, picture.size.width(), picture.size.height(), picture.data});
    }
    return picture.hash;
}

std::optional<StoredPicture> loadPicture(const QSqlDatabase& db, const QString& hash)
{
    QSqlQuery q = sql::run(db, QStringLiteral("SELECT mime, width, height, data FROM pictures WHERE hash = ?"), {hash});
    if (!q.next()) return std::nullopt;
    StoredPicture picture;
    picture.hash = hash;
    picture.mime = q.value(0).toString();
    picture.size = QSize(q.value(1).toInt(), q.value(2).toInt());
    picture.data = q.value(3).toByteArray();
    return picture;
}

QString firstLine(const QString& text, int length)
{
    QString raw = text;
    // A text cut short (the grid reads the first few hundred characters) may end inside a
    // picture's marker: the part is no picture and no text.
    const qsizetype open = raw.lastIndexOf(picture_refs::kOpen);
    if (open >= 0 && raw.indexOf(picture_refs::kClose, open) < 0) raw.truncate(open);
    QString line;
    for (const QString& part : shortForm(raw).split(QLatin1Char('\n'))) {
        line = part.simplified();
        if (!line.isEmpty()) break;
    }
    if (line.size() > length) line = line.left(length - 1) + QStringLiteral("…");
    return line;
}

}  // namespace content
