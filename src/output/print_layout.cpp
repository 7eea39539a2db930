#include "output/print_layout.h"

#include <QSettings>

#include "output/option_layout.h"
#include "output/paper_content.h"

namespace {

constexpr int kTwipsPerPoint = 20;

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

void appendAnswers(docx::Document& doc, const PaperContent& paper, PaperMedia* media)
{
    for (int i = 0; i < paper.sections.size(); ++i) {
        const PaperSection& section = paper.sections.at(i);
        appendHeading(doc, examHeading(i, section.typeName, section.count, section.points, scoresOf(section)));
        int k = 0;
        for (const PaperQuestion& q : section.questions) {
            appendPaperContent(doc, QString::number(++k) + QStringLiteral(". "), q.answer, media);
        }
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
    const QString candidate = QStringLiteral("学校：%1    班级：%1    姓名：%1    考号：%1").arg(blank);
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

// The media as a new document uses them: the same formulas and pictures, none placed yet.
std::optional<PaperMedia> mediaFor(const PaperMedia* media)
{
    if (!media) return std::nullopt;
    PaperMedia fresh = *media;
    fresh.placed.clear();
    return fresh;
}

}  // namespace

docx::Document buildExamPaper(const PaperContent& paper, const PrintLayout& layout, const PaperMedia* shared)
{
    std::optional<PaperMedia> media = mediaFor(shared);
    PaperMedia* const m = media ? &*media : nullptr;
    docx::Document doc;
    const docx::PageSetup page = pageSetup(layout);
    doc.setPageSetup(page);
    appendTitle(doc, paper.title,
                QStringLiteral("（时间：") + inParagraph(paper.duration) + QStringLiteral("分钟  总分：") +
                    inParagraph(paper.total) + QStringLiteral("分）"));

    if (layout.candidate == PrintLayout::HeaderBlock) {
        const QString blank(10, QLatin1Char('_'));
        const int index = int(doc.paragraphs().size()) - 1;
        doc.append(QStringLiteral("学校：%1  班级：%1  姓名：%1  考号：%1\r").arg(blank));
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

    for (int i = 0; i < paper.sections.size(); ++i) {
        const PaperSection& section = paper.sections.at(i);
        appendHeading(doc, examHeading(i, section.typeName, section.count, section.points, scoresOf(section)));
        const int lines = layout.answerLines.value(section.typeName);
        int k = 0;
        for (const PaperQuestion& q : section.questions) {
            appendExamQuestion(doc, QString::number(++k) + QStringLiteral(". "), q.text, m);
            for (int n = 0; n < lines; ++n) doc.append(QStringLiteral("\r"));
        }
    }

    if (layout.answerKey == PrintLayout::KeyAtEnd) {
        doc.insertPageBreak();
        appendTitle(doc, paper.title + QStringLiteral("（参考答案）"), QString());
        appendAnswers(doc, paper, m);
        appendBlueprint(doc, paper, columnWidth(page));
    }
    return doc;
}

docx::Document buildExamAnswerKey(const PaperContent& paper, const PrintLayout& layout, const PaperMedia* shared)
{
    std::optional<PaperMedia> media = mediaFor(shared);
    PaperMedia* const m = media ? &*media : nullptr;
    docx::Document doc;
    docx::PageSetup page = pageSetup(layout);
    // The key is for the teachers: no sealing column, the usual margin.
    page.sealLines.clear();
    page.marginLeft = page.marginRight;
    doc.setPageSetup(page);
    appendTitle(doc, paper.title + QStringLiteral("（参考答案）"), QString());
    appendAnswers(doc, paper, m);
    appendBlueprint(doc, paper, columnWidth(page));
    return doc;
}
