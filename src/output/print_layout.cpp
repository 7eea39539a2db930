#include "output/print_layout.h"

#include <QSettings>

#include "output/option_layout.h"
#include "content/formula_edges.h"
#include "output/paper_content.h"

namespace {

constexpr int kTwipsPerPoint = 20;
// The bookmark on the paper's last page: its page is the paper's page count when the key follows.
const QString kPaperEnd = QStringLiteral("PaperEnd");
// A blank answer line as LibreOffice and Word set it in 10.5 pt Song type, with room to spare.
constexpr int kAnswerLinePoints = 16;

QString scoreText(double score)
{
    return QString::number(score, 'g', 6);
}

// Settings are kept per user; the user's name becomes a group name whatever characters it holds.
QString settingsGroup(const QString& user)
{
    return QStringLiteral("layout_") + QString::fromLatin1(user.toUtf8().toHex());
}

QSettings settingsFile()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Exavoro"), QStringLiteral("layouts"));
}

docx::PageSetup pageSetup(const PrintLayout& layout)
{
    docx::PageSetup page;
    page.pageNumbers = true;
    if (layout.size == PrintLayout::A3TwoColumns || layout.size == PrintLayout::B4TwoColumns) {
        // A3 is 420 × 297 mm, B4 250 × 353 mm (the 8开 sheet), both lying on their long side.
        const bool a3 = layout.size == PrintLayout::A3TwoColumns;
        page.widthTwips = a3 ? 23811 : 20013;
        page.heightTwips = a3 ? 16838 : 14173;
        page.landscape = true;
        page.columns = 2;
        // Each column is a page for the students: two page numbers a sheet.
        page.columnPageNumbers = true;
        page.marginTop = 1134;
        page.marginBottom = 1134;
        page.marginLeft = 1440;
        page.marginRight = 1440;
    }
    if (layout.candidate == PrintLayout::SealLine) {
        // Room on the left for the sealing column beside the text.
        page.marginLeft = 2800;
        page.sealLines = sealLineTexts(page);
    }
    return page;
}

// The answer key's page: the paper's, for the teachers: no sealing column, the usual margin, no
// page numbers.
docx::PageSetup answerKeyPage(const PrintLayout& layout)
{
    docx::PageSetup page = pageSetup(layout);
    page.sealLines.clear();
    page.marginLeft = page.marginRight;
    page.pageNumbers = false;
    return page;
}

// The width of one text column in twips.
int columnWidth(const docx::PageSetup& page)
{
    const int space = page.columns > 1 ? 850 * (page.columns - 1) : 0;
    return (page.widthTwips - page.marginLeft - page.marginRight - space) / qMax(1, page.columns);
}

void appendTitle(docx::Document& doc, const QString& title, const QString& subtitle)
{
    const int first = int(doc.paragraphs().size()) - 1;
    doc.append(inParagraph(title) + QStringLiteral("\r"));
    doc.format(first, 16, true, true);
    if (!subtitle.isEmpty()) {
        doc.append(subtitle + QStringLiteral("\r"));
        doc.format(first + 1, 11, false, true);
    }
}

// Appends a heading kept on the page of what follows it.
void appendHeading(docx::Document& doc, const QString& text)
{
    const int index = int(doc.paragraphs().size()) - 1;
    doc.append(text + QStringLiteral("\r"));
    doc.format(index, 10.5, true, false);
    doc.keepWithNext(index);
}

QList<double> scoresOf(const PaperSection& section)
{
    QList<double> scores;
    for (const PaperQuestion& q : section.questions) scores.append(q.score);
    return scores;
}

// The number the first question of each section gets: 1 in each, or the count of the questions
// before it when the numbers run on through the paper.
QList<int> firstNumbers(const PaperContent& paper, const PrintLayout& layout)
{
    QList<int> first;
    int before = 0;
    for (const PaperSection& section : paper.sections) {
        first.append(layout.continuousNumbers ? before : 0);
        before += int(section.questions.size());
    }
    return first;
}

void appendAnswers(docx::Document& doc, const PaperContent& paper, const PrintLayout& layout, PaperMedia* media)
{
    const QList<int> first = firstNumbers(paper, layout);
    for (int i = 0; i < paper.sections.size(); ++i) {
        const PaperSection& section = paper.sections.at(i);
        appendHeading(doc, examHeading(i, section.typeName, section.count, section.points, scoresOf(section)));
        int k = first.at(i);
        for (const PaperQuestion& q : section.questions) {
            appendPaperContent(doc, QString::number(++k) + QStringLiteral(". "), q.answer, media);
        }
    }
}

// The small 得分/评卷人 table a marker fills in before a section, kept with the section's heading.
void appendScoreBox(docx::Document& doc)
{
    docx::Table box;
    box.rows = {{QStringLiteral("得分"), QStringLiteral("评卷人")}, {QString(), QString()}};
    box.widthTwips = 2000;
    box.rowHeightTwips = 400;
    box.repeatHeader = false;
    box.leftAligned = true;
    box.keepWithNext = true;
    doc.appendTable(box);
}

// The most blank lines a question can have and still stand with them in one column.
int answerLinesThatFit(const docx::PageSetup& page, int lines)
{
    const int column = (page.heightTwips - page.marginTop - page.marginBottom) / kTwipsPerPoint;
    return qMin(lines, qMax(1, column / kAnswerLinePoints - 6));
}

// Blank lines for the answer after the question just appended, kept on the question's page: the
// question's last paragraph and every line but the last keep with what follows them, so that
// the space never runs onto a page of its own.
void appendAnswerSpace(docx::Document& doc, int lines)
{
    if (lines <= 0) return;
    doc.keepWithNext(int(doc.paragraphs().size()) - 2);
    for (int n = 0; n < lines; ++n) {
        const int line = int(doc.paragraphs().size()) - 1;
        doc.append(QStringLiteral("\r"));
        if (n + 1 < lines) doc.keepWithNext(line);
    }
}

}  // namespace

QString PrintLayout::name() const
{
    return kind == Exam ? QStringLiteral("考试用卷") : QStringLiteral("标准");
}

QString PrintLayout::defaultNotes()
{
    return QStringLiteral(
        "1．答题前，考生务必将自己的学校、班级、姓名、考号填写清楚。\n"
        "2．请用黑色字迹的钢笔或签字笔在试卷上作答，字迹工整，卷面整洁。\n"
        "3．计算题、解答题应写出必要的文字说明、演算步骤，只写出最后答案的不能得分。\n"
        "4．考试结束后，将本试卷交回。");
}

PrintLayout PrintLayout::load(const QString& user)
{
    PrintLayout layout;
    QSettings settings = settingsFile();
    settings.beginGroup(settingsGroup(user));
    layout.kind = settings.value(QStringLiteral("kind")).toString() == QLatin1String("exam") ? Exam : Standard;
    layout.candidate =
        settings.value(QStringLiteral("candidate")).toString() == QLatin1String("seal") ? SealLine : HeaderBlock;
    const QString size = settings.value(QStringLiteral("size")).toString();
    layout.size = size == QLatin1String("A3") ? A3TwoColumns : size == QLatin1String("B4") ? B4TwoColumns : A4Portrait;
    layout.answerKey = settings.value(QStringLiteral("answerKey")).toString() == QLatin1String("separate")
                           ? KeySeparateFile
                           : KeyAtEnd;
    layout.notes = settings.value(QStringLiteral("notes"), defaultNotes()).toString();
    layout.continuousNumbers = settings.value(QStringLiteral("continuousNumbers"), true).toBool();
    layout.scoreBoxes = settings.value(QStringLiteral("scoreBoxes"), true).toBool();
    const QVariantMap lines = settings.value(QStringLiteral("answerLines")).toMap();
    for (auto it = lines.cbegin(); it != lines.cend(); ++it) {
        const int n = it.value().toInt();
        if (n > 0) layout.answerLines.insert(it.key(), qMin(n, 60));
    }
    return layout;
}

void PrintLayout::save(const QString& user) const
{
    QSettings settings = settingsFile();
    settings.beginGroup(settingsGroup(user));
    settings.setValue(QStringLiteral("kind"), kind == Exam ? QStringLiteral("exam") : QStringLiteral("standard"));
    settings.setValue(QStringLiteral("candidate"),
                      candidate == SealLine ? QStringLiteral("seal") : QStringLiteral("header"));
    settings.setValue(QStringLiteral("size"), size == A3TwoColumns   ? QStringLiteral("A3")
                                              : size == B4TwoColumns ? QStringLiteral("B4")
                                                                     : QStringLiteral("A4"));
    settings.setValue(QStringLiteral("answerKey"),
                      answerKey == KeySeparateFile ? QStringLiteral("separate") : QStringLiteral("end"));
    settings.setValue(QStringLiteral("notes"), notes);
    settings.setValue(QStringLiteral("continuousNumbers"), continuousNumbers);
    settings.setValue(QStringLiteral("scoreBoxes"), scoreBoxes);
    QVariantMap lines;
    for (auto it = answerLines.cbegin(); it != answerLines.cend(); ++it) {
        if (it.value() > 0) lines.insert(it.key(), it.value());
    }
    settings.setValue(QStringLiteral("answerLines"), lines);
    settings.endGroup();
    settings.sync();
}

QStringList sealLineTexts(const docx::PageSetup& page)
{
    const QString blank(10, QLatin1Char('_'));
    const QString candidate = QStringLiteral("学校：%1    班级：%1    姓名：%1    考号：%1    座位号：%1").arg(blank);
    // The seal line runs the height of the text area: dashes either side of its words.
    const double length = double(page.heightTwips - page.marginTop - page.marginBottom) / kTwipsPerPoint;
    const int pairs = qMax(4, int((length - 130) / 2 / 6.2 * 0.85));
    QString dashes;
    for (int i = 0; i < pairs; ++i) dashes += QStringLiteral("- ");
    return {candidate, dashes + QStringLiteral(" 密 封 线 内 不 要 答 题  ") + dashes.trimmed()};
}

QString examHeading(int index, const QString& typeName, int count, long long points, const QList<double>& scores)
{
    bool same = !scores.isEmpty();
    for (const double s : scores) same = same && qFuzzyCompare(1.0 + s, 1.0 + scores.first());
    const QString each = same ? QStringLiteral("每小题%1分，").arg(scoreText(scores.first())) : QString();
    return NumConvert(index + 1) + QStringLiteral("、") + inParagraph(typeName) +
           QStringLiteral("（本大题共%1小题，%2共%3分）").arg(count).arg(each).arg(points);
}

namespace {

// The media as a new document uses them: the same formulas and pictures, none placed yet. A relation
// sign at a formula's edge (beside a blank, in a question or an answer) is set as text, so that
// LibreOffice prints no placeholder beside it.
std::optional<PaperMedia> mediaFor(const PaperMedia* media)
{
    if (!media) return std::nullopt;
    PaperMedia fresh = *media;
    fresh.placed.clear();
    for (QString& omml : fresh.omml) omml = formulas::withTextRelationsAtEdges(omml);
    return fresh;
}

}  // namespace

docx::Document buildExamPaper(const PaperContent& paper, const PrintLayout& layout, const PaperMedia* shared)
{
    std::optional<PaperMedia> media = mediaFor(shared);
    PaperMedia* const m = media ? &*media : nullptr;
    docx::Document doc;
    docx::PageSetup page = pageSetup(layout);
    // With the key behind it, the paper counts its own pages only.
    if (layout.answerKey == PrintLayout::KeyAtEnd) page.lastPageBookmark = kPaperEnd;
    doc.setPageSetup(page);
    appendTitle(doc, paper.title,
                QStringLiteral("（时间：") + inParagraph(paper.duration) + QStringLiteral("分钟  总分：") +
                    inParagraph(paper.total) + QStringLiteral("分）"));

    if (layout.candidate == PrintLayout::HeaderBlock) {
        // Seven places to write on so that the five fit one line of A4.
        const QString blank(7, QLatin1Char('_'));
        const int index = int(doc.paragraphs().size()) - 1;
        doc.append(QStringLiteral("学校：%1  班级：%1  姓名：%1  考号：%1  座位号：%1\r").arg(blank));
        doc.format(index, 10.5, false, true);
    }

    const QStringList notes = layout.notes.split(QLatin1Char('\n'));
    if (!layout.notes.trimmed().isEmpty()) {
        appendHeading(doc, QStringLiteral("注意事项："));
        for (const QString& line : notes) {
            if (!line.trimmed().isEmpty()) doc.append(inParagraph(line) + QStringLiteral("\r"));
        }
    }

    // The score table: 题号 一 … n 总分 over 得分 and blank cells for the markers.
    docx::Table scores;
    QStringList numbers{QStringLiteral("题号")};
    QStringList blanks{QStringLiteral("得分")};
    for (int i = 0; i < paper.sections.size(); ++i) {
        numbers << NumConvert(i + 1);
        blanks << QString();
    }
    numbers << QStringLiteral("总分");
    blanks << QString();
    scores.rows = {numbers, blanks};
    scores.widthTwips = qMin(columnWidth(page), 700 * int(numbers.size()));
    scores.rowHeightTwips = 454;
    doc.appendTable(scores);
    doc.append(QStringLiteral("\r"));

    const QList<int> first = firstNumbers(paper, layout);
    for (int i = 0; i < paper.sections.size(); ++i) {
        const PaperSection& section = paper.sections.at(i);
        if (layout.scoreBoxes) appendScoreBox(doc);
        appendHeading(doc, examHeading(i, section.typeName, section.count, section.points, scoresOf(section)));
        const int lines = answerLinesThatFit(page, layout.answerLines.value(section.typeName));
        int k = first.at(i);
        for (const PaperQuestion& q : section.questions) {
            appendExamQuestion(doc, QString::number(++k) + QStringLiteral(". "), q.text, m);
            appendAnswerSpace(doc, lines);
        }
    }

    if (layout.answerKey == PrintLayout::KeyAtEnd) {
        // The paper's last, empty paragraph ends its section: it keeps with the text before it, so
        // that it never stands alone on a page, and takes no room.
        const int last = int(doc.paragraphs().size()) - 1;
        doc.keepWithNext(last - 1);
        doc.format(last, 1, false, false);
        doc.bookmarkLastParagraph(kPaperEnd);
        // The key and the blueprint are for the teachers: a section of their own, without the
        // paper's page numbers and sealing column.
        doc.startSection(answerKeyPage(layout));
        appendTitle(doc, paper.title + QStringLiteral("（参考答案）"), QString());
        appendAnswers(doc, paper, layout, m);
        appendBlueprint(doc, paper, columnWidth(answerKeyPage(layout)));
    }
    return doc;
}

docx::Document buildExamAnswerKey(const PaperContent& paper, const PrintLayout& layout, const PaperMedia* shared)
{
    std::optional<PaperMedia> media = mediaFor(shared);
    PaperMedia* const m = media ? &*media : nullptr;
    docx::Document doc;
    docx::PageSetup page = answerKeyPage(layout);
    // A key of its own counts its own pages.
    page.pageNumbers = true;
    doc.setPageSetup(page);
    appendTitle(doc, paper.title + QStringLiteral("（参考答案）"), QString());
    appendAnswers(doc, paper, layout, m);
    appendBlueprint(doc, paper, columnWidth(page));
    return doc;
}
