// Choice questions in the exam layout (考试用卷) as LibreOffice prints them: options four, two or one
// to a line by their width, in columns that line up, on A4 and in a column of A3; questions without
// options as before; and formulas beside a blank ("\(a^2-4=\)______", "\(=3\)") printed without
// LibreOffice's "¿" for a missing operand, from freshly converted and from cached Office Math alike.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "app/application.h"
#include "content/formula_edges.h"
#include "content/formulas.h"
#include "data/data_module.h"
#include "output/option_layout.h"
#include "output/paper_content.h"
#include "output/paper_document.h"
#include "output/print_layout.h"
#include "test_support.h"

namespace {

struct Word {
    double x = 0;
    double y = 0;
    QString text;
};

QString toPdf(const QString& docx, const QString& outDir)
{
    if (!testing::convertWithLibreOffice({docx}, QStringLiteral("pdf"), outDir)) return QString();
    const QString pdf = QDir(outDir).filePath(QFileInfo(docx).completeBaseName() + QStringLiteral(".pdf"));
    return QFileInfo::exists(pdf) ? pdf : QString();
}

QString writeDocx(const docx::Document& doc, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(doc.package()) < 0) return QString();
    return path;
}

// The words of the PDF's first page with where they start, in the order pdftotext reads them.
QVector<Word> wordsOf(const QString& pdf)
{
    const QString bbox = testing::runProgram(QStringLiteral("pdftotext"),
                                             {QStringLiteral("-bbox"), QStringLiteral("-f"), QStringLiteral("1"),
                                              QStringLiteral("-l"), QStringLiteral("1"), pdf, QStringLiteral("-")});
    static const QRegularExpression word(
        QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\"[^>]*>([^<]*)</word>"));
    QVector<Word> words;
    for (auto it = word.globalMatch(bbox); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        words.append({m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3)});
    }
    return words;
}

// Where the labels A. B. C. D. of the question whose stem holds `stem` stand: below the stem and
// above the next question's stem (`next`, empty for the last), on the first page.
QVector<Word> labelsOf(const QVector<Word>& words, const QString& stem, const QString& next)
{
    const auto top = [&](const QString& text) {
        for (const Word& w : words) {
            if (w.text.contains(text)) return w.y;
        }
        return 1e9;
    };
    const double from = top(stem);
    const double to = next.isEmpty() ? 1e9 : top(next);
    QVector<Word> labels;
    for (const char* label : {"A.", "B.", "C.", "D."}) {
        for (const Word& w : words) {
            if (w.text == QLatin1String(label) && w.y > from + 1 && w.y < to - 1) {
                labels.append(w);
                break;
            }
        }
    }
    return labels;
}

bool sameLine(const Word& a, const Word& b)
{
    return qAbs(a.y - b.y) < 2;
}

QString describe(const QVector<Word>& labels)
{
    QStringList out;
    for (const Word& w : labels) out << QStringLiteral("%1@(%2,%3)").arg(w.text).arg(w.x).arg(w.y);
    return out.join(QLatin1Char(' '));
}

PaperQuestion choice(const QString& stem, const QStringList& options)
{
    QString text = stem;
    const QString letters = QStringLiteral("ABCD");
    for (int i = 0; i < options.size(); ++i) text += QStringLiteral("\n%1. %2").arg(letters.at(i)).arg(options.at(i));
    return PaperQuestion{text, QStringLiteral("A"), 3};
}

PaperContent paperOf(const QString& typeName, const QVector<PaperQuestion>& questions)
{
    PaperContent paper;
    paper.title = QStringLiteral("选项排版");
    paper.duration = QStringLiteral("60");
    paper.total = QStringLiteral("100");
    PaperSection section;
    section.typeName = typeName;
    section.questions = questions;
    section.count = int(questions.size());
    section.points = 3 * section.count;
    paper.sections.append(section);
    return paper;
}

// Short options (two characters), medium ones (seven: a quarter of an A3 column, not of A4's),
// long ones (over half a column), formulas, and a question without options.
PaperContent choicePaper()
{
    return paperOf(
        QStringLiteral("选择题"),
        {choice(QStringLiteral("短选项甲（　）"),
                {QStringLiteral("春风"), QStringLiteral("夏雨"), QStringLiteral("秋霜"), QStringLiteral("冬雪")}),
         choice(QStringLiteral("中选项乙（　）"), {QStringLiteral("春风又绿江南岸"), QStringLiteral("明月何时照我还"),
                                                   QStringLiteral("停车坐爱枫林晚"), QStringLiteral("霜叶红于二月花")}),
         choice(QStringLiteral("长选项丙（　）"), {QStringLiteral("接天莲叶无穷碧，映日荷花别样红，出自宋代诗人杨万里"),
                                                   QStringLiteral("停车坐爱枫林晚，霜叶红于二月花，出自唐代诗人杜牧"),
                                                   QStringLiteral("竹外桃花三两枝，春江水暖鸭先知，出自宋代诗人苏轼"),
                                                   QStringLiteral("春眠不觉晓，处处闻啼鸟，出自唐代诗人孟浩然之作")}),
         choice(QStringLiteral("公式选项丁（　）"), {QStringLiteral("\\(x^2\\)"), QStringLiteral("\\(\\frac{1}{2}\\)"),
                                                     QStringLiteral("\\(\\sqrt{2}\\)"), QStringLiteral("\\(a+b\\)")}),
         PaperQuestion{QStringLiteral("甲、乙两人从 A、B 两地出发，计算戊：1+1=______。"), QStringLiteral("2"), 3}});
}

PaperMedia mediaFor(const PaperContent& paper)
{
    QStringList latex;
    for (const PaperSection& s : paper.sections) {
        for (const PaperQuestion& q : s.questions) {
            for (const content::Segment& seg : content::parse(q.text)) {
                if (seg.kind == content::Segment::InlineMath || seg.kind == content::Segment::DisplayMath)
                    latex << seg.text;
            }
        }
    }
    PaperMedia media;
    media.omml = formulas::convertWithPandoc(latex).omml;
    return media;
}

QString examPdf(const PaperContent& paper, PrintLayout::PaperSize size, const PaperMedia* media, const QString& dir,
                const QString& name)
{
    PrintLayout layout;
    layout.kind = PrintLayout::Exam;
    layout.size = size;
    layout.answerKey = PrintLayout::KeySeparateFile;
    const QString docx = writeDocx(buildExamPaper(paper, layout, media), QDir(dir).filePath(name + ".docx"));
    return docx.isEmpty() ? QString() : toPdf(docx, dir);
}

}  // namespace

class OptionLayoutTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void optionsAreFoundInEveryLabelStyleOutsideFormulas();
    void optionsGoFourTwoOrOneToALineByTheirWidth();
    void edgeRelationSignsOfAFormulaBecomeTextOnly();
    void optionsLineUpInColumnsOnA4AndInAnA3Column();
    void questionsWithoutOptionsAreWrittenAsBefore();
    void formulasBesideABlankPrintWithoutAPlaceholder();
    void cachedFormulasBesideABlankPrintWithoutAPlaceholderToo();

private:
    bool haveClients_ = false;
};

void OptionLayoutTest::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    app::setup(*qApp);
    haveClients_ = !QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty() &&
                   !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty() &&
                   !QStandardPaths::findExecutable(QStringLiteral("pandoc")).isEmpty();
}

void OptionLayoutTest::optionsAreFoundInEveryLabelStyleOutsideFormulas()
{
    // One a line, in each style of label.
    for (const QString& format : {QStringLiteral("%1. "), QStringLiteral("%1．"), QStringLiteral("%1、"),
                                  QStringLiteral("(%1) "), QStringLiteral("（%1）")}) {
        const QString text = QStringLiteral("下列说法正确的是（　）\n%1甲\n%2乙\n%3丙\n%4丁")
                                 .arg(format.arg(QStringLiteral("A")), format.arg(QStringLiteral("B")),
                                      format.arg(QStringLiteral("C")), format.arg(QStringLiteral("D")));
        const std::optional<ChoiceOptions> found = findOptions(text);
        QVERIFY2(found, qPrintable(text));
        QCOMPARE(found->stem, QStringLiteral("下列说法正确的是（　）"));
        QCOMPARE(found->options, QStringList({format.arg(QStringLiteral("A")) + QStringLiteral("甲"),
                                              format.arg(QStringLiteral("B")) + QStringLiteral("乙"),
                                              format.arg(QStringLiteral("C")) + QStringLiteral("丙"),
                                              format.arg(QStringLiteral("D")) + QStringLiteral("丁")}));
    }
    // Runs of options on one line, Windows line ends, formulas holding what looks like a label.
    std::optional<ChoiceOptions> found =
        findOptions(QStringLiteral("求值\\(A. B\\)（　）\r\nA. \\(B. 1\\)  B. 2\r\nC. 3\u3000D. 4\r\n"));
    QVERIFY(found);
    QCOMPARE(found->stem, QStringLiteral("求值\\(A. B\\)（　）"));
    QCOMPARE(found->options, QStringList({QStringLiteral("A. \\(B. 1\\)"), QStringLiteral("B. 2"),
                                          QStringLiteral("C. 3"), QStringLiteral("D. 4")}));
    // Not options: letters out of order, an option of two lines, a displayed formula, a stem alone,
    // "A、B" inside the stem, a text starting with its options.
    for (const QString& text : {QStringLiteral("题\nA. 1\nC. 2\nD. 3"), QStringLiteral("题\nA. 1\n第二行\nB. 2"),
                                QStringLiteral("题\nA. \\[x\\]\nB. 2"), QStringLiteral("甲、乙两人从 A、B 两地出发"),
                                QStringLiteral("A. 1\nB. 2"), QStringLiteral("题\nA. 1")}) {
        QVERIFY2(!findOptions(text), qPrintable(text));
    }
}

void OptionLayoutTest::optionsGoFourTwoOrOneToALineByTheirWidth()
{
    // Widths: a Chinese character a full em of 10.5 pt (210 twips), a Latin one half.
    QCOMPARE(printedWidth(QStringLiteral("春风"), nullptr), 420);
    QCOMPARE(printedWidth(QStringLiteral("ab12"), nullptr), 420);
    PaperMedia media;
    media.omml.insert(QStringLiteral("\\frac{1}{2}"),
                      QStringLiteral("<m:oMath xmlns:m=\"%1\"><m:f><m:num><m:r><m:t>1</m:t></m:r></m:num>"
                                     "<m:den><m:r><m:t>2</m:t></m:r></m:den></m:f></m:oMath>")
                          .arg(QLatin1String(formulas::kMathNamespace)));
    // A fraction is as wide as its wider part, not as its source.
    QCOMPARE(printedWidth(QStringLiteral("\\(\\frac{1}{2}\\)"), &media), 105);
    QCOMPARE(printedWidth(QStringLiteral("\\(\\alpha\\)"), &media), 6 * 105);
    // A picture by the width it is printed at.
    content::StoredPicture picture;
    picture.size = QSize(100, 40);
    const QString hash(64, u'a');
    media.pictures.insert(hash, picture);
    QCOMPARE(printedWidth(content::pictureMarker(hash), &media), 100 * 15);

    const int a4 = textColumnWidth(docx::PageSetup());
    QCOMPARE(a4, 11906 - 1800 - 1800);
    docx::PageSetup a3;
    a3.widthTwips = 23811;
    a3.columns = 2;
    a3.marginLeft = a3.marginRight = 1440;
    QCOMPARE(textColumnWidth(a3), (23811 - 2 * 1440 - 850) / 2);
    // Each must leave room of two characters before the next column.
    QCOMPARE(optionsPerLine({a4 / 4 - 420, 100, 100, 100}, a4), 4);
    QCOMPARE(optionsPerLine({a4 / 4 - 419, 100, 100, 100}, a4), 2);
    QCOMPARE(optionsPerLine({100, a4 / 2 - 420}, a4), 2);
    QCOMPARE(optionsPerLine({100, 100, a4 / 2 - 419}, a4), 1);
}

void OptionLayoutTest::edgeRelationSignsOfAFormulaBecomeTextOnly()
{
    const QString m = QLatin1String(formulas::kMathNamespace);
    const auto omml = [&](const QString& body) {
        return QStringLiteral("<m:oMath xmlns:m=\"%1\">%2</m:oMath>").arg(m, body);
    };
    const QString sign = QStringLiteral("<m:r><m:rPr><m:sty m:val=\"p\"/></m:rPr><m:t>%1</m:t></m:r>");
    const QString text = QStringLiteral("<m:r><m:rPr><m:nor/><m:sty m:val=\"p\"/></m:rPr><m:t>%1</m:t></m:r>");
    const QString x = QStringLiteral("<m:r><m:t>x</m:t></m:r>");
    // Trailing, leading, both, and a run holding a digit and the sign.
    QCOMPARE(formulas::withTextRelationsAtEdges(omml(x + sign.arg(QStringLiteral("=")))),
             omml(x + text.arg(QStringLiteral("="))));
    QCOMPARE(formulas::withTextRelationsAtEdges(omml(sign.arg(QStringLiteral("≤")) + x)),
             omml(text.arg(QStringLiteral("≤")) + x));
    QCOMPARE(
        formulas::withTextRelationsAtEdges(omml(sign.arg(QStringLiteral("=")) + x + sign.arg(QStringLiteral("≥")))),
        omml(text.arg(QStringLiteral("=")) + x + text.arg(QStringLiteral("≥"))));
    QCOMPARE(formulas::withTextRelationsAtEdges(omml(QStringLiteral("<m:r><m:t>4=</m:t></m:r>"))),
             omml(QStringLiteral("<m:r><m:t>4</m:t></m:r>") + text.arg(QStringLiteral("="))));
    QCOMPARE(formulas::withTextRelationsAtEdges(omml(sign.arg(QStringLiteral("&lt;")))),
             omml(text.arg(QStringLiteral("&lt;"))));
    // Signs inside stay; a formula rewritten once is not rewritten again; broken XML stays as it is.
    const QString inside = omml(x + sign.arg(QStringLiteral("=")) + x);
    QCOMPARE(formulas::withTextRelationsAtEdges(inside), inside);
    const QString once = formulas::withTextRelationsAtEdges(omml(x + sign.arg(QStringLiteral("≠"))));
    QCOMPARE(formulas::withTextRelationsAtEdges(once), once);
    QCOMPARE(formulas::withTextRelationsAtEdges(QStringLiteral("<m:oMath")), QStringLiteral("<m:oMath"));
}

void OptionLayoutTest::optionsLineUpInColumnsOnA4AndInAnA3Column()
{
    if (!haveClients_) QSKIP("soffice, pandoc or poppler-utils are not installed");
    QTemporaryDir dir;
    const PaperContent paper = choicePaper();
    const PaperMedia media = mediaFor(paper);
    QCOMPARE(media.omml.size(), 4);

    const QVector<Word> a4 = wordsOf(examPdf(paper, PrintLayout::A4Portrait, &media, dir.path(), "a4"));
    const QVector<Word> shortA4 = labelsOf(a4, QStringLiteral("短选项甲"), QStringLiteral("中选项乙"));
    const QVector<Word> mediumA4 = labelsOf(a4, QStringLiteral("中选项乙"), QStringLiteral("长选项丙"));
    const QVector<Word> longA4 = labelsOf(a4, QStringLiteral("长选项丙"), QStringLiteral("公式选项丁"));
    const QVector<Word> formulaA4 = labelsOf(a4, QStringLiteral("公式选项丁"), QStringLiteral("戊"));
    for (const auto* labels : {&shortA4, &mediumA4, &longA4, &formulaA4}) QCOMPARE(labels->size(), 4);
    // Short options and formulas: one line, in the columns of a quarter of the width.
    for (const auto* labels : {&shortA4, &formulaA4}) {
        const QVector<Word>& l = *labels;
        QVERIFY2(sameLine(l[0], l[1]) && sameLine(l[0], l[2]) && sameLine(l[0], l[3]), qPrintable(describe(l)));
        QVERIFY2(l[0].x < l[1].x && l[1].x < l[2].x && l[2].x < l[3].x, qPrintable(describe(l)));
    }
    for (int i = 0; i < 4; ++i) QVERIFY2(qAbs(shortA4[i].x - formulaA4[i].x) < 1, qPrintable(describe(formulaA4)));
    // A column a quarter of the text width (415.3 pt) apart.
    QVERIFY2(qAbs((shortA4[1].x - shortA4[0].x) - 415.3 / 4) < 3, qPrintable(describe(shortA4)));
    // Medium: two lines of two, C under A and D under B at the middle of the width.
    QVERIFY2(
        sameLine(mediumA4[0], mediumA4[1]) && sameLine(mediumA4[2], mediumA4[3]) && mediumA4[2].y > mediumA4[0].y + 5,
        qPrintable(describe(mediumA4)));
    QVERIFY2(qAbs(mediumA4[0].x - mediumA4[2].x) < 1 && qAbs(mediumA4[1].x - mediumA4[3].x) < 1 &&
                 qAbs(mediumA4[1].x - shortA4[2].x) < 1,
             qPrintable(describe(mediumA4)));
    // Long: a line each, all starting where the question's text starts.
    for (int i = 1; i < 4; ++i) {
        QVERIFY2(longA4[i].y > longA4[i - 1].y + 5 && qAbs(longA4[i].x - longA4[0].x) < 1,
                 qPrintable(describe(longA4)));
    }

    // In a column of A3, wider than A4's text, the medium options go four to a line.
    const QVector<Word> a3 = wordsOf(examPdf(paper, PrintLayout::A3TwoColumns, &media, dir.path(), "a3"));
    const QVector<Word> mediumA3 = labelsOf(a3, QStringLiteral("中选项乙"), QStringLiteral("长选项丙"));
    const QVector<Word> longA3 = labelsOf(a3, QStringLiteral("长选项丙"), QStringLiteral("公式选项丁"));
    QCOMPARE(mediumA3.size(), 4);
    QCOMPARE(longA3.size(), 4);
    QVERIFY2(sameLine(mediumA3[0], mediumA3[3]) && mediumA3[0].x < mediumA3[1].x, qPrintable(describe(mediumA3)));
    const double a3Column = (23811 - 2 * 1440 - 850) / 2 / 20.0;
    QVERIFY2(qAbs((mediumA3[1].x - mediumA3[0].x) - a3Column / 4) < 3, qPrintable(describe(mediumA3)));
    QVERIFY2(!sameLine(longA3[0], longA3[1]) && !sameLine(longA3[2], longA3[3]), qPrintable(describe(longA3)));

    // The question without options prints as typed, on one line.
    const QString text = testing::runProgram(QStringLiteral("pdftotext"),
                                             {QStringLiteral("-layout"), dir.filePath("a4.pdf"), QStringLiteral("-")});
    QVERIFY2(text.contains(QStringLiteral("5. 甲、乙两人从 A、B 两地出发，计算戊：1+1=______。")), qPrintable(text));
}

void OptionLayoutTest::questionsWithoutOptionsAreWrittenAsBefore()
{
    // With and without formulas, with "A、B" in the text, and with labels out of order.
    const QStringList texts = {
        QStringLiteral("计算：1+1=______。"), QStringLiteral("甲、乙两人分别从 A、B 两地出发\n相向而行"),
        QStringLiteral("解方程\\(x^2-1=0\\)。\n(1) 求根\n(2) 作图"), QStringLiteral("题\nA. 1\nC. 2")};
    PaperMedia media;
    media.omml.insert(QStringLiteral("x^2-1=0"),
                      QStringLiteral("<m:oMath xmlns:m=\"%1\"><m:r><m:t>x</m:t></m:r></m:oMath>")
                          .arg(QLatin1String(formulas::kMathNamespace)));
    for (PaperMedia* m : {static_cast<PaperMedia*>(nullptr), &media}) {
        docx::Document before;
        docx::Document now;
        for (const QString& text : texts) {
            appendPaperContent(before, QStringLiteral("1. "), text, m);
            appendExamQuestion(now, QStringLiteral("1. "), text, m);
        }
        QCOMPARE(now.documentXml(), before.documentXml());
    }

    // A whole exam paper of such questions is the same document as one built question by question.
    const PaperContent paper = paperOf(QStringLiteral("解答题"), {PaperQuestion{texts.at(0), QStringLiteral("2"), 3},
                                                                  PaperQuestion{texts.at(1), QStringLiteral("略"), 3}});
    PrintLayout layout;
    layout.kind = PrintLayout::Exam;
    const QByteArray xml = buildExamPaper(paper, layout).documentXml();
    QVERIFY(!xml.contains("w:tabs"));
    QVERIFY(xml.contains(QStringLiteral("1. 计算：1+1=______。").toUtf8()));
}

void OptionLayoutTest::formulasBesideABlankPrintWithoutAPlaceholder()
{
    if (!haveClients_) QSKIP("soffice, pandoc or poppler-utils are not installed");
    QTemporaryDir dir;
    const QVector<PaperQuestion> questions = {
        {QStringLiteral("若\\(a^2-4=\\)______，则"), QString(), 3},
        {QStringLiteral("甲乙______\\(=3\\)"), QString(), 3},
        {QStringLiteral("比较\\(x<\\)______与______\\(>2\\)"), QString(), 3},
        {QStringLiteral("填空\\(x\\le\\)______，______\\(\\ne y\\)"), QString(), 3},
        {QStringLiteral("一行\\[s=\\]"), QString(), 3},
        {QStringLiteral("选出（　）\nA. \\(x=\\)1\nB. \\(=2\\)\nC. 3\nD. 4"), QString(), 3}};
    const PaperContent paper = paperOf(QStringLiteral("填空题"), questions);
    const PaperMedia media = mediaFor(paper);
    QCOMPARE(media.omml.size(), 9);

    // What pandoc writes, placed as it is, is what LibreOffice prints with "¿".
    docx::Document raw;
    raw.append(QStringLiteral("原样"));
    raw.appendMath(media.omml.value(QStringLiteral("a^2-4=")));
    raw.append(QStringLiteral("\r"));
    const QString rawPdf = toPdf(writeDocx(raw, dir.filePath("raw.docx")), dir.path());
    QVERIFY(testing::runProgram(QStringLiteral("pdftotext"), {rawPdf, QStringLiteral("-")}).contains(u'¿'));

    const QString pdf = examPdf(paper, PrintLayout::A4Portrait, &media, dir.path(), "edges");
    const QString text = testing::runProgram(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    QVERIFY2(!text.isEmpty() && !text.contains(u'¿'), qPrintable(text));
    const QString flat = QString(text).remove(QRegularExpression(QStringLiteral("\\s+")));
    for (const QString& expected :
         {QStringLiteral("4=______"), QStringLiteral("______=3"), QStringLiteral("x<______"),
          QStringLiteral("______>2"), QStringLiteral("x≤______"), QStringLiteral("______≠y"), QStringLiteral("s=")}) {
        QVERIFY2(flat.contains(expected), qPrintable(expected + QStringLiteral(" in ") + flat));
    }
}

void OptionLayoutTest::cachedFormulasBesideABlankPrintWithoutAPlaceholderToo()
{
    if (!haveClients_) QSKIP("soffice, pandoc or poppler-utils are not installed");
    testing::Workspace ws;
    // The cache holds the formula as pandoc wrote it, as every earlier version stored it.
    const QString source = QStringLiteral("b^2-4ac=");
    formulas::remember(DM->db(), formulas::convertWithPandoc({source}));
    const QString cached = ws.scalar(QStringLiteral("SELECT omml FROM formula_omml WHERE latex = ?"), {source});
    QVERIFY(cached.contains(QStringLiteral("=")) && !cached.contains(QStringLiteral("nor")));

    const PaperContent paper =
        paperOf(QStringLiteral("填空题"), {PaperQuestion{QStringLiteral("判别式\\(b^2-4ac=\\)______"), QString(), 3}});
    PrintLayout layout;
    layout.kind = PrintLayout::Exam;
    layout.answerKey = PrintLayout::KeySeparateFile;
    const QStringList paths =
        writePaperDocuments(paper, ws.root() + QStringLiteral("/Papers"), layout, [](const QStringList& latex) {
            formulas::Conversion none;
            none.failed = latex;
            return none;
        });
    QCOMPARE(paths.size(), 2);
    const QString pdf = toPdf(paths.first(), ws.root());
    const QString text = testing::runProgram(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    QVERIFY2(!text.isEmpty() && !text.contains(u'¿'), qPrintable(text));
    QVERIFY2(QString(text).remove(QRegularExpression(QStringLiteral("\\s+"))).contains(QStringLiteral("ac=______")),
             qPrintable(text));
    // The cache keeps what pandoc wrote.
    QCOMPARE(ws.scalar(QStringLiteral("SELECT omml FROM formula_omml WHERE latex = ?"), {source}), cached);
}

QTEST_MAIN(OptionLayoutTest)
#include "test_option_layout.moc"
