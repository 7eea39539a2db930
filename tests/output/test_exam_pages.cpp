// The pages of the exam layout (考试用卷) as LibreOffice prints them: question numbers running on
// through the sections, page labels counting the students' pages only (a column each on A3), no
// page without text, a 得分/评卷人 box before every section and a place for the seat number.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

#include "app/application.h"
#include "docx_reader.h"
#include "output/paper_document.h"
#include "output/print_layout.h"
#include "test_support.h"
#include "windows/output/layout_dialog.h"

namespace {

QString withoutSpaces(QString text)
{
    return text.remove(QRegularExpression(QStringLiteral("\\s+")));
}

QString pdfText(const QString& pdf, int page, const QStringList& extra = {})
{
    return testing::runProgram(
        QStringLiteral("pdftotext"),
        extra + QStringList{QStringLiteral("-layout"), QStringLiteral("-f"), QString::number(page),
                            QStringLiteral("-l"), QString::number(page), pdf, QStringLiteral("-")});
}

int pageCount(const QString& pdf)
{
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)"))
                                          .match(testing::runProgram(QStringLiteral("pdfinfo"), {pdf}));
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

QString toPdf(const QString& docx, const QString& outDir)
{
    if (!testing::convertWithLibreOffice({docx}, QStringLiteral("pdf"), outDir)) return QString();
    const QString pdf = QDir(outDir).filePath(QFileInfo(docx).completeBaseName() + QStringLiteral(".pdf"));
    if (!QFileInfo::exists(pdf)) return QString();
    // EXAVORO_KEEP_PDFS=folder keeps a copy of every paper printed here, to look at its pages.
    const QString keep = qEnvironmentVariable("EXAVORO_KEEP_PDFS");
    if (!keep.isEmpty()) {
        static int copies = 0;
        QFile::copy(pdf, QDir(keep).filePath(QStringLiteral("%1-%2").arg(++copies).arg(QFileInfo(pdf).fileName())));
    }
    return pdf;
}

// Three sections of 6, 4 and 2 questions; the last one asks for answer space.
PaperContent examPaper()
{
    PaperContent paper;
    paper.title = QStringLiteral("期中考试");
    paper.duration = QStringLiteral("120");
    paper.total = QStringLiteral("100");
    const QString stem = QStringLiteral(
        "题干%1：阅读下面的材料，回答问题。春天来了，万物复苏，草长莺飞，孩子们在田野里奔跑，"
        "老人们在树荫下闲谈，请概括这段文字的主要内容并说明理由。");
    const auto section = [&](const QString& type, int count, double score, int from) {
        PaperSection s;
        s.typeName = type;
        for (int i = 0; i < count; ++i)
            s.questions.append(PaperQuestion{stem.arg(from + i), QStringLiteral("答案%1。").arg(from + i), score});
        s.count = count;
        s.points = qRound64(score * count);
        return s;
    };
    paper.sections = {section(QStringLiteral("选择题"), 6, 4, 1), section(QStringLiteral("填空题"), 4, 4, 7),
                      section(QStringLiteral("解答题"), 2, 30, 11)};
    paper.blueprint = {{QStringLiteral("章节"), QStringLiteral("选择题·易"), QStringLiteral("合计")},
                       {QStringLiteral("第一章"), QStringLiteral("6题 24分"), QStringLiteral("6题 24分")}};
    return paper;
}

PrintLayout examLayout(PrintLayout::PaperSize size, PrintLayout::Candidate candidate, PrintLayout::AnswerKey key)
{
    PrintLayout layout;
    layout.kind = PrintLayout::Exam;
    layout.size = size;
    layout.candidate = candidate;
    layout.answerKey = key;
    layout.notes = PrintLayout::defaultNotes();
    layout.answerLines.insert(QStringLiteral("解答题"), 12);
    return layout;
}

// The numbers in front of questions ("7. 题干7…") or answers ("7. 答案7") in reading order.
QList<int> numbersBefore(const QString& text, const QString& word)
{
    QList<int> numbers;
    const QRegularExpression number(QStringLiteral("(\\d+)\\.\\s*") + word + QStringLiteral("(\\d+)"));
    for (auto it = number.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        numbers << m.captured(1).toInt();
        // Each question says which it is: the number printed before it must be that one.
        if (m.captured(1) != m.captured(2)) numbers << -m.captured(2).toInt();
    }
    return numbers;
}

QList<int> oneTo(int n)
{
    QList<int> list;
    for (int i = 1; i <= n; ++i) list << i;
    return list;
}

const QRegularExpression kLabel(QStringLiteral("第(\\d+)页共(\\d+)页"));

// The "第x页共y页" labels of one PDF page, left to right.
QList<QPair<int, int>> labels(const QString& flatText)
{
    QList<QPair<int, int>> found;
    for (auto it = kLabel.globalMatch(flatText); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        found.append({m.captured(1).toInt(), m.captured(2).toInt()});
    }
    return found;
}

// The layout chosen in the 版式 dialog with its two check boxes set as given.
PrintLayout chosenInDialog(bool continuous, bool scoreBoxes, int size = 0)
{
    static int users = 0;
    const QString user = QStringLiteral("试卷页%1/%2").arg(++users).arg(QCoreApplication::applicationPid());
    TBsszF dialog(user, {QStringLiteral("选择题"), QStringLiteral("填空题"), QStringLiteral("解答题")});
    QTest::mouseClick(dialog.findChild<QRadioButton*>(QStringLiteral("RadioKs")), Qt::LeftButton);
    auto* numbers = dialog.findChild<QCheckBox*>(QStringLiteral("CheckThlx"));
    auto* boxes = dialog.findChild<QCheckBox*>(QStringLiteral("CheckDfpj"));
    if (!numbers || !boxes) return PrintLayout();
    // Both are on for a teacher who never chose.
    if (!numbers->isChecked() || !boxes->isChecked() || !numbers->isEnabled()) return PrintLayout();
    if (!continuous) QTest::mouseClick(numbers, Qt::LeftButton);
    if (!scoreBoxes) QTest::mouseClick(boxes, Qt::LeftButton);
    dialog.findChild<QComboBox*>(QStringLiteral("ComboZz"))->setCurrentIndex(size);
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("BtnQd")), Qt::LeftButton);
    return PrintLayout::load(user);
}

}  // namespace

class ExamPagesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void a4PaperNumbersItsOwnPagesAndItsQuestionsOnThroughTheKey();
    void a4WithSealLineCountsOnlyThePaperPagesAndLeavesNoPageEmpty();
    void separateKeyNumbersQuestionsAsThePaperDoes();
    void a3SheetsCarryAPageLabelUnderEachColumn();
    void answerSpaceNeverFillsAPageOfItsOwn();
    void answerSpaceStaysOnItsQuestionsPage();
    void everySectionHasItsScoreBoxAndTheCandidateASeatNumber();
    void dialogCheckBoxesTurnNumberingAndScoreBoxesOff();

private:
    bool haveClients_ = false;
};

void ExamPagesTest::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    app::setup(*qApp);
    haveClients_ = !QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty() &&
                   !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty() &&
                   !QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty();
}

void ExamPagesTest::a4PaperNumbersItsOwnPagesAndItsQuestionsOnThroughTheKey()
{
    if (!haveClients_) QSKIP("soffice or poppler-utils are not installed");
    QTemporaryDir dir;
    const PaperContent paper = examPaper();
    const QStringList paths = writePaperDocuments(
        paper, dir.path(), examLayout(PrintLayout::A4Portrait, PrintLayout::HeaderBlock, PrintLayout::KeyAtEnd));
    QCOMPARE(paths.size(), 1);
    const QString pdf = toPdf(paths.first(), dir.path());
    QVERIFY2(!pdf.isEmpty(), "LibreOffice could not convert the paper");
    const int pages = pageCount(pdf);
    int keyStarts = 0;
    QString paperText;
    QString keyText;
    for (int p = 1; p <= pages; ++p) {
        const QString flat = withoutSpaces(pdfText(pdf, p));
        if (keyStarts == 0 && flat.startsWith(QStringLiteral("期中考试（参考答案）"))) keyStarts = p;
        (keyStarts > 0 ? keyText : paperText) += flat;
    }
    QVERIFY2(keyStarts >= 3, qPrintable(QString::number(keyStarts)));
    const int paperPages = keyStarts - 1;
    // "第p页共n页" on the students' pages, n being the paper's pages; none on the key's.
    for (int p = 1; p <= pages; ++p) {
        const QList<QPair<int, int>> found = labels(withoutSpaces(pdfText(pdf, p)));
        if (p <= paperPages) {
            QCOMPARE(found.size(), 1);
            QCOMPARE(found.first(), qMakePair(p, paperPages));
        } else {
            QVERIFY2(found.isEmpty(), qPrintable(QString::number(p)));
        }
    }
    QCOMPARE(numbersBefore(paperText, QStringLiteral("题干")), oneTo(12));
    QCOMPARE(numbersBefore(keyText, QStringLiteral("答案")), oneTo(12));
    QVERIFY(keyText.contains(QStringLiteral("(双向细目表)")));
}

void ExamPagesTest::a4WithSealLineCountsOnlyThePaperPagesAndLeavesNoPageEmpty()
{
    if (!haveClients_) QSKIP("soffice or poppler-utils are not installed");
    QTemporaryDir dir;
    const QStringList paths = writePaperDocuments(
        examPaper(), dir.path(), examLayout(PrintLayout::A4Portrait, PrintLayout::SealLine, PrintLayout::KeyAtEnd));
    const QString pdf = toPdf(paths.first(), dir.path());
    QVERIFY(!pdf.isEmpty());
    const int pages = pageCount(pdf);
    int paperPages = 0;
    for (int p = 1; p <= pages; ++p) {
        const QString flat = withoutSpaces(pdfText(pdf, p));
        if (flat.contains(QStringLiteral("（参考答案）"))) break;
        paperPages = p;
    }
    QVERIFY(paperPages >= 2 && paperPages < pages);
    for (int p = 1; p <= pages; ++p) {
        const QString flat = withoutSpaces(pdfText(pdf, p));
        // Every page has text of its own besides the page label and the sealing column.
        QString body = flat;
        body.remove(kLabel)
            .remove(QRegularExpression(QStringLiteral("学校：.*座位号：_*")))
            .remove(QStringLiteral("-"));
        body.remove(QStringLiteral("密封线内不要答题"));
        QVERIFY2(!body.isEmpty(), qPrintable(QStringLiteral("page %1 has no text").arg(p)));
        const QList<QPair<int, int>> found = labels(flat);
        if (p <= paperPages) {
            QCOMPARE(found, (QList<QPair<int, int>>{{p, paperPages}}));
            QCOMPARE(flat.contains(QStringLiteral("座位号")), p % 2 == 1);
        } else {
            // The key is for the teachers: no page label, no sealing column.
            QVERIFY(found.isEmpty());
            QVERIFY(!flat.contains(QStringLiteral("密封线内不要答题")));
        }
    }
}

void ExamPagesTest::separateKeyNumbersQuestionsAsThePaperDoes()
{
    if (!haveClients_) QSKIP("soffice or poppler-utils are not installed");
    QTemporaryDir dir;
    const QStringList paths = writePaperDocuments(
        examPaper(), dir.path(),
        examLayout(PrintLayout::A4Portrait, PrintLayout::HeaderBlock, PrintLayout::KeySeparateFile));
    QCOMPARE(paths.size(), 2);
    const QString paper = toPdf(paths.at(0), dir.path());
    const QString key = toPdf(paths.at(1), dir.path());
    QVERIFY(!paper.isEmpty() && !key.isEmpty());
    QString paperText;
    const int pages = pageCount(paper);
    for (int p = 1; p <= pages; ++p) {
        const QString flat = withoutSpaces(pdfText(paper, p));
        QCOMPARE(labels(flat), (QList<QPair<int, int>>{{p, pages}}));
        paperText += flat;
    }
    QCOMPARE(numbersBefore(paperText, QStringLiteral("题干")), oneTo(12));
    QString keyText;
    const int keyPages = pageCount(key);
    for (int p = 1; p <= keyPages; ++p) {
        const QString flat = withoutSpaces(pdfText(key, p));
        // A key of its own counts its own pages.
        QCOMPARE(labels(flat), (QList<QPair<int, int>>{{p, keyPages}}));
        keyText += flat;
    }
    QCOMPARE(numbersBefore(keyText, QStringLiteral("答案")), oneTo(12));
}

void ExamPagesTest::a3SheetsCarryAPageLabelUnderEachColumn()
{
    QTemporaryDir dir;
    const QStringList paths =
        writePaperDocuments(examPaper(), dir.path(),
                            examLayout(PrintLayout::A3TwoColumns, PrintLayout::HeaderBlock, PrintLayout::KeyAtEnd));
    QCOMPARE(paths.size(), 1);
    const docxread::Package package = docxread::read(paths.first());
    // The paper's footer numbers its columns: 2×PAGE−1 on the left, 2×PAGE on the right, the total
    // twice the page the paper ends on.
    const QString footer = QString::fromUtf8(package.parts.value(QStringLiteral("word/footer1.xml")));
    const QStringList instructions = [&] {
        QStringList list;
        const QRegularExpression instr(QStringLiteral("<w:instrText[^>]*>([^<]*)</w:instrText>"));
        for (auto it = instr.globalMatch(footer); it.hasNext();) list << it.next().captured(1).simplified();
        return list;
    }();
    QCOMPARE(instructions, (QStringList{"= 2 *", "PAGE", "- 1", "= 2 *", "PAGEREF PaperEnd", "= 2 *", "PAGE", "= 2 *",
                                        "PAGEREF PaperEnd"}));
    const QString document = QString::fromUtf8(package.parts.value(QStringLiteral("word/document.xml")));
    QCOMPARE(document.count(QStringLiteral("w:name=\"PaperEnd\"")), 1);
    QCOMPARE(document.count(QStringLiteral("<w:sectPr")), 2);
    // The key's section has a footer without numbers.
    const QString keyFooter = QString::fromUtf8(package.parts.value(QStringLiteral("word/footer3.xml")));
    QVERIFY(keyFooter.contains(QStringLiteral("<w:ftr")));
    QVERIFY(!keyFooter.contains(QStringLiteral("PAGE")));

    if (!haveClients_) QSKIP("soffice or poppler-utils are not installed");
    const QString pdf = toPdf(paths.first(), dir.path());
    QVERIFY(!pdf.isEmpty());
    const int pages = pageCount(pdf);
    const double width = 1190.55;
    int paperSheets = 0;
    bool key = false;
    for (int p = 1; p <= pages; ++p) {
        const QString flat = withoutSpaces(pdfText(pdf, p));
        key = key || flat.contains(QStringLiteral("（参考答案）"));
        if (key) {
            QVERIFY2(labels(flat).isEmpty(), qPrintable(flat.right(80)));
            continue;
        }
        ++paperSheets;
        // Two labels on the sheet, one under each column.
        const QString bbox = testing::runProgram(QStringLiteral("pdftotext"),
                                                 {QStringLiteral("-bbox"), QStringLiteral("-f"), QString::number(p),
                                                  QStringLiteral("-l"), QString::number(p), pdf, QStringLiteral("-")});
        const QRegularExpression word(QStringLiteral("<word xMin=\"([\\d.]+)\"[^>]*>([^<]*)</word>"));
        int left = 0;
        int right = 0;
        for (auto it = word.globalMatch(bbox); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            if (!m.captured(2).startsWith(QStringLiteral("第"))) continue;
            if (m.captured(2).contains(QStringLiteral("题"))) continue;
            (m.captured(1).toDouble() < width / 2 ? left : right) += 1;
        }
        QVERIFY2(left == 1 && right == 1,
                 qPrintable(QStringLiteral("sheet %1: %2 left, %3 right").arg(p).arg(left).arg(right)));
        QCOMPARE(labels(flat).size(), 2);
    }
    QVERIFY(paperSheets >= 1 && paperSheets < pages);
}

void ExamPagesTest::answerSpaceNeverFillsAPageOfItsOwn()
{
    if (!haveClients_) QSKIP("soffice or poppler-utils are not installed");
    // Far more lines than a page holds, after every question of two sections.
    PaperContent paper = examPaper();
    for (const int size : {0, 1}) {
        QTemporaryDir dir;
        PrintLayout layout = examLayout(PrintLayout::PaperSize(size), PrintLayout::HeaderBlock, PrintLayout::KeyAtEnd);
        layout.answerLines.insert(QStringLiteral("填空题"), 7);
        layout.answerLines.insert(QStringLiteral("解答题"), 60);
        const QStringList paths = writePaperDocuments(paper, dir.path(), layout);
        const QString pdf = toPdf(paths.first(), dir.path());
        QVERIFY(!pdf.isEmpty());
        const int pages = pageCount(pdf);
        QVERIFY(pages >= 3);
        QString all;
        for (int p = 1; p <= pages; ++p) {
            QString body = withoutSpaces(pdfText(pdf, p));
            all += body;
            body.remove(kLabel);
            QVERIFY2(!body.isEmpty(),
                     qPrintable(QStringLiteral("size %1: page %2 of %3 has no text").arg(size).arg(p).arg(pages)));
        }
        // Nothing is lost for it: every question and answer is there (in the order of the text's
        // lines, which on A3 runs across both columns).
        QList<int> questions = numbersBefore(all, QStringLiteral("题干"));
        QList<int> answers = numbersBefore(all, QStringLiteral("答案"));
        std::sort(questions.begin(), questions.end());
        std::sort(answers.begin(), answers.end());
        QCOMPARE(questions, oneTo(12));
        QCOMPARE(answers, oneTo(12));
    }
}

void ExamPagesTest::answerSpaceStaysOnItsQuestionsPage()
{
    if (!haveClients_) QSKIP("soffice or poppler-utils are not installed");
    QTemporaryDir dir;
    PrintLayout layout = examLayout(PrintLayout::A4Portrait, PrintLayout::HeaderBlock, PrintLayout::KeyAtEnd);
    layout.answerLines.insert(QStringLiteral("填空题"), 7);
    const QString pdf = toPdf(writePaperDocuments(examPaper(), dir.path(), layout).first(), dir.path());
    QVERIFY(!pdf.isEmpty());
    // A blank line of 10.5 pt takes at least 12 pt; the question's own text at least one line more.
    constexpr double kLine = 12;
    const double bottom = 841.89 - 72;  // the foot of A4's text area
    const QRegularExpression word(QStringLiteral("<word xMin=\"[\\d.]+\" yMin=\"([\\d.]+)\"[^>]*>([^<]*)</word>"));
    int seen = 0;
    for (int p = 1; p <= pageCount(pdf); ++p) {
        const QString bbox = testing::runProgram(QStringLiteral("pdftotext"),
                                                 {QStringLiteral("-bbox"), QStringLiteral("-f"), QString::number(p),
                                                  QStringLiteral("-l"), QString::number(p), pdf, QStringLiteral("-")});
        if (bbox.contains(QStringLiteral("参考答案"))) break;
        // Where each question with answer space (7 to 12) starts on the page.
        QList<QPair<int, double>> starts;
        QString previous;
        for (auto it = word.globalMatch(bbox); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            if (previous == QStringLiteral("题干")) {
                const int number = m.captured(2).left(m.captured(2).indexOf(QStringLiteral("："))).toInt();
                if (number >= 7) starts.append({number, m.captured(1).toDouble()});
            }
            previous = m.captured(2);
        }
        for (int i = 0; i < starts.size(); ++i) {
            const int lines = starts.at(i).first >= 11 ? 12 : 7;
            const double end = i + 1 < starts.size() ? starts.at(i + 1).second : bottom;
            QVERIFY2(end - starts.at(i).second >= (lines + 1) * kLine,
                     qPrintable(QStringLiteral("page %1: question %2 at %3 has %4 pt below it")
                                    .arg(p)
                                    .arg(starts.at(i).first)
                                    .arg(starts.at(i).second)
                                    .arg(end - starts.at(i).second)));
            ++seen;
        }
    }
    QCOMPARE(seen, 6);
}

void ExamPagesTest::everySectionHasItsScoreBoxAndTheCandidateASeatNumber()
{
    QTemporaryDir dir;
    const PaperContent paper = examPaper();
    const QStringList paths = writePaperDocuments(
        paper, dir.path(), examLayout(PrintLayout::A4Portrait, PrintLayout::HeaderBlock, PrintLayout::KeySeparateFile));
    const QStringList tokens = docxread::read(paths.first()).tokens();
    // Before each heading: 得分, 评卷人 and their two blank cells.
    int boxes = 0;
    for (int t = 0; t < tokens.size(); ++t) {
        if (tokens.at(t) != QStringLiteral("评卷人")) continue;
        ++boxes;
        QCOMPARE(tokens.value(t - 1), QStringLiteral("得分"));
        QVERIFY(tokens.value(t + 1).isEmpty() && tokens.value(t + 2).isEmpty());
        QVERIFY2(tokens.value(t + 3).startsWith(NumConvert(boxes) + QStringLiteral("、")),
                 qPrintable(tokens.value(t + 3)));
    }
    QCOMPARE(boxes, int(paper.sections.size()));
    const QString header = tokens.filter(QStringLiteral("学校：")).value(0);
    QVERIFY2(header.contains(QStringLiteral("考号：")) && header.contains(QStringLiteral("座位号：")),
             qPrintable(header));
    QVERIFY(sealLineTexts(docx::PageSetup()).first().contains(QStringLiteral("座位号：")));

    if (!haveClients_) QSKIP("soffice or poppler-utils are not installed");
    const QString pdf = toPdf(paths.first(), dir.path());
    QVERIFY(!pdf.isEmpty());
    QString all;
    for (int p = 1; p <= pageCount(pdf); ++p) all += withoutSpaces(pdfText(pdf, p));
    QCOMPARE(int(all.count(QStringLiteral("评卷人"))), int(paper.sections.size()));
    QCOMPARE(int(all.count(QStringLiteral("得分评卷人"))), int(paper.sections.size()));
    QVERIFY(all.contains(QStringLiteral("座位号：")));
    // The header block's five places stand on one line.
    const QString firstPage = pdfText(pdf, 1);
    QVERIFY2(firstPage.contains(QRegularExpression(QStringLiteral("学校：[^\\n]*座位号："))), qPrintable(firstPage));
}

void ExamPagesTest::dialogCheckBoxesTurnNumberingAndScoreBoxesOff()
{
    const PaperContent paper = examPaper();
    {
        const PrintLayout layout = chosenInDialog(true, true);
        QCOMPARE(layout.kind, PrintLayout::Exam);
        QVERIFY(layout.continuousNumbers && layout.scoreBoxes);
        QTemporaryDir dir;
        const QStringList tokens = docxread::read(writePaperDocuments(paper, dir.path(), layout).first()).tokens();
        QVERIFY(tokens.contains(QStringLiteral("评卷人")));
        QVERIFY(tokens.contains(QStringLiteral("12. ") + paper.sections.at(2).questions.at(1).text));
    }
    {
        const PrintLayout layout = chosenInDialog(false, false);
        QVERIFY(!layout.continuousNumbers && !layout.scoreBoxes);
        QTemporaryDir dir;
        const QStringList tokens = docxread::read(writePaperDocuments(paper, dir.path(), layout).first()).tokens();
        QVERIFY(!tokens.contains(QStringLiteral("评卷人")));
        // Each section numbers from 1: the last question is its section's second.
        QVERIFY(tokens.contains(QStringLiteral("2. ") + paper.sections.at(2).questions.at(1).text));
        QVERIFY(!tokens.contains(QStringLiteral("12. ") + paper.sections.at(2).questions.at(1).text));
        // The key follows the paper's numbers.
        QVERIFY(tokens.contains(QStringLiteral("1. ") + paper.sections.at(1).questions.at(0).answer));
        QVERIFY(!tokens.contains(QStringLiteral("7. ") + paper.sections.at(1).questions.at(0).answer));
    }
    {
        // Reopened, the dialog shows what was chosen.
        const QString user = QStringLiteral("试卷页%1/%2").arg(2).arg(QCoreApplication::applicationPid());
        TBsszF dialog(user, {QStringLiteral("解答题")});
        QVERIFY(!dialog.findChild<QCheckBox*>(QStringLiteral("CheckThlx"))->isChecked());
        QVERIFY(!dialog.findChild<QCheckBox*>(QStringLiteral("CheckDfpj"))->isChecked());
    }
}

QTEST_MAIN(ExamPagesTest)
#include "test_exam_pages.moc"
