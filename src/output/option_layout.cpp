#include "output/option_layout.h"

#include <QRegularExpression>
#include <QXmlStreamReader>
#include <algorithm>

#include "content/content.h"
#include "content/formula_edges.h"
#include "data/picture_refs.h"
#include "output/paper_content.h"

namespace {

// Widths at the body size, 10.5 pt, in twips: a full em and the half of Latin letters and digits.
constexpr int kFullWidth = 210;
constexpr int kHalfWidth = 105;
constexpr int kTwipsPerPixel = 15;  // at 96 dpi
// The room left between an option and the column after it, so that the tab never jumps a column.
constexpr int kColumnGap = 2 * kFullWidth;
// Stands in the flattened text for a formula or a picture, so that labels are found in plain text only.
constexpr QChar kObject = QChar(0xFFFC);

// A question text with each formula and picture as one kObject character, and where each
// character of it starts in the text.
struct Flat {
    QString text;
    QVector<qsizetype> rawStart;  // one per character, and the raw length at the end
    QVector<content::Segment> objects;
};

Flat flatten(const QString& raw)
{
    Flat flat;
    qsizetype at = 0;
    for (const content::Segment& s : content::parse(raw)) {
        if (s.kind == content::Segment::Text) {
            for (qsizetype i = 0; i < s.text.size(); ++i) flat.rawStart.append(at + i);
            flat.text += s.text;
            at += s.text.size();
            continue;
        }
        flat.rawStart.append(at);
        flat.text += kObject;
        flat.objects.append(s);
        at += s.kind == content::Segment::Picture ? qMax(1, picture_refs::markerLengthAt(raw, at))
                                                  : s.text.size() + 4;  // \( \) or \[ \] round the source
    }
    flat.rawStart.append(raw.size());
    return flat;
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\u3000';
}

// A label "X." "X．" "X、" "(X)" "（X）" right at `from` (blanks before it allowed); its length
// counted from `from`, or 0.
qsizetype labelAt(const QString& text, qsizetype from, QChar letter)
{
    qsizetype i = from;
    while (i < text.size() && isBlank(text.at(i))) ++i;
    const QString l(letter);
    static QHash<QChar, QRegularExpression> patterns;
    auto found = patterns.find(letter);
    if (found == patterns.end()) {
        found = patterns.insert(
            letter, QRegularExpression(QStringLiteral("\\G(?:[（(][ \\t]*%1[ \\t]*[)）]|%1[ \\t]*[.．、])").arg(l)));
    }
    const QRegularExpressionMatch m = found->match(text, i);
    return m.hasMatch() ? m.capturedEnd() - from : 0;
}

bool isBlankOrLineEnd(QChar c)
{
    return isBlank(c) || c == u'\n' || c == u'\r';
}

QString trimmedBlanks(const QString& text)
{
    qsizetype b = 0, e = text.size();
    while (b < e && isBlankOrLineEnd(text.at(b))) ++b;
    while (e > b && isBlankOrLineEnd(text.at(e - 1))) --e;
    return text.mid(b, e - b);
}

// The options that start with the label at `start` (the letter A) and run to the end of the text:
// flat [begin, end) of each, label included; empty when they do not.
QVector<QPair<qsizetype, qsizetype>> optionsFrom(const Flat& flat, qsizetype start)
{
    const QString& text = flat.text;
    QVector<QPair<qsizetype, qsizetype>> spans;
    qsizetype begin = start;
    QChar letter = u'A';
    while (true) {
        const qsizetype label = labelAt(text, begin, letter);
        if (label == 0) return {};
        // The next label follows a line end or a blank; the nearest one closes this option.
        const QChar next = QChar(letter.unicode() + 1);
        qsizetype end = -1;
        for (qsizetype i = begin + label; i < text.size() && next <= u'H'; ++i) {
            if ((text.at(i) == u'\n' || isBlank(text.at(i))) && labelAt(text, i + 1, next) > 0) {
                end = i + 1;
                break;
            }
        }
        spans.append({begin, end < 0 ? text.size() : end});
        if (end < 0) break;
        begin = end;
        letter = next;
    }
    return spans;
}

}  // namespace

std::optional<ChoiceOptions> findOptions(const QString& raw)
{
    const Flat flat = flatten(raw);
    const QString& text = flat.text;
    for (qsizetype line = text.indexOf(u'\n'); line >= 0; line = text.indexOf(u'\n', line + 1)) {
        const QVector<QPair<qsizetype, qsizetype>> spans = optionsFrom(flat, line + 1);
        if (spans.size() < 2) continue;
        ChoiceOptions found;
        bool plain = true;
        for (const auto& [begin, end] : spans) {
            const QString option = trimmedBlanks(text.mid(begin, end - begin));
            // An option of several lines, or one holding a displayed formula, keeps its own lines.
            if (option.contains(u'\n') || option.contains(u'\r')) plain = false;
            for (qsizetype i = begin; i < end; ++i) {
                if (text.at(i) != kObject) continue;
                const int index = int(std::count(text.cbegin(), text.cbegin() + i, kObject));
                if (flat.objects.at(index).kind == content::Segment::DisplayMath) plain = false;
            }
            // The option as typed, blanks and line ends round it left out.
            qsizetype b = begin, e = end;
            while (b < e && isBlankOrLineEnd(text.at(b))) ++b;
            while (e > b && isBlankOrLineEnd(text.at(e - 1))) --e;
            found.options << raw.mid(flat.rawStart.at(b), flat.rawStart.at(e) - flat.rawStart.at(b));
        }
        if (!plain) return std::nullopt;
        qsizetype stemEnd = line;
        if (stemEnd > 0 && text.at(stemEnd - 1) == u'\r') --stemEnd;
        found.stem = raw.left(flat.rawStart.at(stemEnd));
        return found;
    }
    return std::nullopt;
}

namespace {

int charWidth(QChar c)
{
    const char16_t u = c.unicode();
    if (u == u' ') return kHalfWidth / 2;
    // Chinese, Japanese and Korean characters and full-width forms; SimSun also sets the dashes,
    // quotes and ellipsis of Chinese text a full em wide.
    if (u >= 0x2E80 || (u >= 0x2010 && u <= 0x2027)) return kFullWidth;
    return kHalfWidth;
}

int textWidth(QStringView text)
{
    int width = 0;
    for (const QChar c : text) width += charWidth(c);
    return width;
}

// A formula's width from its Office Math: the text of its runs, a fraction as wide as the wider of
// its numerator and denominator, scripts smaller, relation and operation signs with room round them.
double mathWidth(QXmlStreamReader& r)
{
    const QString name = r.name().toString();
    if (name.endsWith(QLatin1String("Pr"))) {
        r.skipCurrentElement();
        return 0;
    }
    if (name == QLatin1String("t")) {
        double width = 0;
        for (const QChar c : r.readElementText()) {
            const bool sign = formulas::isRelationSign(c) || QStringLiteral("+−-×÷±·").contains(c);
            width += sign ? kFullWidth : charWidth(c);
        }
        return width;
    }
    QList<double> parts;
    while (r.readNextStartElement()) parts << mathWidth(r);
    double width = 0;
    if (name == QLatin1String("f")) {
        for (const double p : parts) width = std::max(width, p);
    } else {
        for (const double p : parts) width += p;
    }
    if (name == QLatin1String("sup") || name == QLatin1String("sub")) width *= 0.7;
    if (name == QLatin1String("rad")) width += kFullWidth;
    if (name == QLatin1String("d")) width += 2 * kHalfWidth;
    return width;
}

int formulaWidth(const QString& source, const PaperMedia* media)
{
    const QString omml = media ? media->omml.value(source) : QString();
    if (omml.isEmpty()) return int(source.size()) * kHalfWidth;
    QXmlStreamReader r(omml);
    if (!r.readNextStartElement()) return int(source.size()) * kHalfWidth;
    const double width = mathWidth(r);
    return r.hasError() ? int(source.size()) * kHalfWidth : int(width);
}

int pictureWidth(const QString& hash, const PaperMedia* media)
{
    const QSize size = media ? media->pictures.value(hash).size : QSize();
    if (size.isEmpty()) return textWidth(u"[图片缺失]");
    return std::min(size.width(), docx::kPrintableWidthPixels) * kTwipsPerPixel;
}

}  // namespace

int printedWidth(const QString& text, const PaperMedia* media)
{
    if (!media) return textWidth(text);
    int width = 0;
    for (const content::Segment& s : content::parse(text)) {
        switch (s.kind) {
            case content::Segment::Text:
                width += textWidth(s.text);
                break;
            case content::Segment::InlineMath:
            case content::Segment::DisplayMath:
                width += formulaWidth(s.text, media);
                break;
            case content::Segment::Picture:
                width += pictureWidth(s.text, media);
                break;
        }
    }
    return width;
}

int optionsPerLine(const QList<int>& widthsTwips, int columnTwips)
{
    const int widest = widthsTwips.isEmpty() ? 0 : *std::max_element(widthsTwips.cbegin(), widthsTwips.cend());
    if (widest + kColumnGap <= columnTwips / 4) return 4;
    if (widest + kColumnGap <= columnTwips / 2) return 2;
    return 1;
}

int textColumnWidth(const docx::PageSetup& page)
{
    const int columns = qMax(1, page.columns);
    const int space = 850 * (columns - 1);  // the space between columns the section sets
    return (page.widthTwips - page.marginLeft - page.marginRight - space) / columns;
}

void appendExamQuestion(docx::Document& doc, const QString& number, const QString& text, PaperMedia* media)
{
    if (media) {
        for (const content::Segment& s : content::parse(text)) {
            if (s.kind != content::Segment::InlineMath && s.kind != content::Segment::DisplayMath) continue;
            const auto found = media->omml.find(s.text);
            if (found != media->omml.end()) *found = formulas::withTextRelationsAtEdges(found.value());
        }
    }
    const std::optional<ChoiceOptions> choice = findOptions(text);
    if (!choice) {
        appendPaperContent(doc, number, text, media);
        return;
    }
    QList<int> widths;
    for (const QString& option : choice->options) widths << printedWidth(option, media);
    const int column = textColumnWidth(doc.pageSetup());
    const int perLine = optionsPerLine(widths, column);

    // The options after the stem, a line for each row, a tab before each later column.
    QString laidOut = choice->stem;
    for (int i = 0; i < choice->options.size(); ++i) {
        laidOut += i % perLine == 0 ? QStringLiteral("\n") : QStringLiteral("\t");
        laidOut += choice->options.at(i);
    }
    appendPaperContent(doc, number, laidOut, media);
    if (perLine > 1) {
        QVector<int> stops;
        for (int k = 1; k < perLine; ++k) stops << column * k / perLine;
        // The paragraph just ended is the one before the new, empty last paragraph.
        doc.setTabStops(int(doc.paragraphs().size()) - 2, stops);
    }
}
