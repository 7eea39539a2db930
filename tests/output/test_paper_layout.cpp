// The exam layout (考试用卷) as LibreOffice prints it: page numbers, the sealing column on odd
// pages, headings never alone at a page's foot, two columns on A3, the score table sized to the
// sections, and the answer key in a file of its own; the layout choice remembered per user.
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include "app/application.h"
#include "docx_reader.h"
#include "windows/output/layout_dialog.h"
#include "output/paper_document.h"
#include "output/print_layout.h"
#include "test_support.h"

namespace {

QString withoutSpaces(QString text)
{
    return text.remove(QRegularExpression(QStringLiteral("\\s+")));
}

QString pageText(const QString& pdf, int page)
{
    return testing::runProgram(QStringLiteral("pdftotext"),
                               {QStringLiteral("-layout"), QStringLiteral("-f"), QString::number(page),
                                QStringLiteral("-l"), QString::number(page), pdf, QStringLiteral("-")});
}

// "Pages:" and "Page size:" of pdfinfo.
int pageCount(const QString& pdf)
{
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)"))
                                          .match(testing::runProgram(QStringLiteral("pdfinfo"), {pdf}));
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

QSizeF pageSize(const QString& pdf)
{
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+)"))
                                          .match(testing::runProgram(QStringLiteral("pdfinfo"), {pdf}));
    return m.hasMatch() ? QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()) : QSizeF();
}

QString toPdf(const QString& docx, const QString& outDir)
{
    if (!testing::convertWithLibreOffice({docx}, QStringLiteral("pdf"), outDir)) return QString();
    const QString pdf = QDir(outDir).filePath(QFileInfo(docx).completeBaseName() + QStringLiteral(".pdf"));
    return QFileInfo::exists(pdf) ? pdf : QString();
}

const QRegularExpression kHeading(QStringLiteral("^\\s*[一二三四五六七八九十]+、"));

// A paper long enough for several pages: three sections, the last with answer space.
PaperContent longPaper()
{
    PaperContent paper;
    paper.title = QStringLiteral("期末考试");
    paper.duration = QStringLiteral("90");
    paper.total = QStringLiteral("100");
    const auto section = [](const QString& type, const QList<double>& scores, const QString& stem) {
        PaperSection s;
        s.typeName = type;
        double sum = 0;
        for (int i = 0; i < scores.size(); ++i) {
            s.questions.append(
                PaperQuestion{stem.arg(i + 1), QStringLiteral("%1答案%2").arg(type).arg(i + 1), scores.at(i)});
            sum += scores.at(i);
        }
        s.count = int(scores.size());
        s.points = qRound64(sum);
        return s;
    };
    const QString longStem = QStringLiteral(
        "第%1题：阅读下面的文字，完成题目。春天来了，万物复苏，草长莺飞，"
        "孩子们在田野里奔跑，老人们在树荫下闲谈，请概括这段文字的主要内容。");
    paper.sections = {section(QStringLiteral("选择题"), QList<double>(12, 3), longStem),
                      section(QStringLiteral("填空题"), {2, 2, 3, 3, 2, 2, 3, 3, 2, 2}, longStem),
                      section(QStringLiteral("解答题"), QList<double>(6, 8), longStem)};
    return paper;
}

// The page of a written document as its body's section properties give it: "pgSz/w:w" → value,
// "pgMar/w:left", "cols/w:num", …
QMap<QString, QString> sectionOf(const QByteArray& documentXml)
{
    QMap<QString, QString> out;
    QXmlStreamReader r(documentXml);
    int depth = 0;  // inside w:sectPr
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement()) {
            if (r.qualifiedName() == QLatin1String("w:sectPr")) ++depth;
            if (depth == 0) continue;
            for (const QXmlStreamAttribute& a : r.attributes())
                out.insert(r.name().toString() + QLatin1Char('/') + a.qualifiedName().toString(), a.value().toString());
        } else if (r.isEndElement() && r.qualifiedName() == QLatin1String("w:sectPr")) {
            --depth;
        }
    }
    return out;
}

// The width of one text column of that page in twips, as a word processor lays it out.
int textColumnWidth(const QMap<QString, QString>& page)
{
    const int columns = qMax(1, page.value(QStringLiteral("cols/w:num"), QStringLiteral("1")).toInt());
    const int space = columns > 1 ? page.value(QStringLiteral("cols/w:space")).toInt() * (columns - 1) : 0;
    return (page.value(QStringLiteral("pgSz/w:w")).toInt() - page.value(QStringLiteral("pgMar/w:left")).toInt() -
            page.value(QStringLiteral("pgMar/w:right")).toInt() - space) /
           columns;
}

// The first table of a document: its width, its grid columns and the texts of its first row.
struct TableShape {
    int width = 0;
    QList<int> columns;
    QStringList header;
};

TableShape firstTable(const QByteArray& documentXml)
{
    TableShape shape;
    QXmlStreamReader r(documentXml);
    bool inTable = false;
    int row = 0;
    QString cell;
    while (!r.atEnd()) {
        r.readNext();
        const QStringView name = r.qualifiedName();
        if (r.isStartElement()) {
            if (name == QLatin1String("w:tbl")) {
                if (inTable || shape.width > 0) break;
                inTable = true;
            } else if (!inTable) {
                continue;
            } else if (name == QLatin1String("w:tblW")) {
                shape.width = r.attributes().value(QLatin1String("w:w")).toInt();
            } else if (name == QLatin1String("w:gridCol")) {
                shape.columns << r.attributes().value(QLatin1String("w:w")).toInt();
            } else if (name == QLatin1String("w:tr")) {
                ++row;
            } else if (name == QLatin1String("w:tc")) {
                cell.clear();
            } else if (name == QLatin1String("w:t") && row == 1) {
                cell += r.readElementText();
            }
        } else if (r.isEndElement() && inTable) {
            if (name == QLatin1String("w:tc") && row == 1) shape.header << cell;
            if (name == QLatin1String("w:tbl")) break;
        }
    }
    return shape;
}

// A paper of `sections` short sections, two questions each.
PaperContent manySections(int sections)
{
    PaperContent paper;
    paper.title = QStringLiteral("单元测验%1").arg(sections);
    paper.duration = QStringLiteral("60");
    paper.total = QString::number(sections * 4);
    for (int i = 0; i < sections; ++i) {
        PaperSection s;
        s.typeName = QStringLiteral("题型%1").arg(i + 1);
        s.questions = {PaperQuestion{QStringLiteral("问题%1甲").arg(i + 1), QStringLiteral("答案%1甲").arg(i + 1), 2},
                       PaperQuestion{QStringLiteral("问题%1乙").arg(i + 1), QStringLiteral("答案%1乙").arg(i + 1), 2}};
        s.count = 2;
        s.points = 4;
        paper.sections.append(s);
    }
    return paper;
}

// The layout as a teacher sets it in the 版式 dialog (考试用卷), read back as the program does.
PrintLayout chosenInDialog(int paper, bool seal, bool separateKey, const QMap<QString, int>& lines = {})
{
    static int users = 0;
    const QString user = QStringLiteral("版式%1/%2").arg(++users).arg(QCoreApplication::applicationPid());
    TBsszF dialog(user, {QStringLiteral("选择题"), QStringLiteral("填空题"), QStringLiteral("解答题")});
    dialog.RadioKs->setChecked(true);
    (seal ? dialog.RadioMfx : dialog.RadioJt)->setChecked(true);
    dialog.ComboZz->setCurrentIndex(paper);
    dialog.ComboDa->setCurrentIndex(separateKey ? 1 : 0);
    for (int row = 0; row < dialog.TableDtkj->rowCount(); ++row) {
        auto* spin = qobject_cast<QSpinBox*>(dialog.TableDtkj->cellWidget(row, 1));
        const QString type = dialog.TableDtkj->item(row, 0) ? dialog.TableDtkj->item(row, 0)->text() : QString();
        if (spin) spin->setValue(lines.value(type));
    }
    QTest::mouseClick(dialog.BtnQd, Qt::LeftButton);
    return PrintLayout::load(user);
}

}  // namespace

class PaperLayoutTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void layoutChoiceIsRememberedPerUserAndDefaultsToStandard();
    void examHeadingsNameTheScoreOfEachQuestionOnlyWhenTheyAgree();
    void a4WithSealLineNumbersEveryPageAndSealsOddPagesWithTheKeyInItsOwnFile();
    void a3PaperRunsInTwoColumnsWithTheKeyAtTheEnd();
    void b4PaperLiesOnItsLongSideInTwoColumns();
    void theScoreTableFitsItsColumnWithACellForEverySectionAndTheTotal();
    void answerSpaceFollowsOnlyTheTypesThatAskForIt();
    void aSeparateKeyHasTheUsualMarginsWithoutTheSealingColumn();

private:
    bool haveClients_ = false;
};

void PaperLayoutTest::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    app::setup(*qApp);
    haveClients_ = !QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty() &&
                   !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty() &&
                   !QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty();
}

void PaperLayoutTest::layoutChoiceIsRememberedPerUserAndDefaultsToStandard()
{
    const QString teacher = QStringLiteral("王老师/%1").arg(QCoreApplication::applicationPid());
    const QString other = QStringLiteral("李老师/%1").arg(QCoreApplication::applicationPid());
    QCOMPARE(PrintLayout::load(teacher).kind, PrintLayout::Standard);
    QCOMPARE(PrintLayout::load(teacher).name(), QStringLiteral("标准"));
    QCOMPARE(PrintLayout::load(teacher).notes, PrintLayout::defaultNotes());

    TBsszF dialog(teacher, {QStringLiteral("选择题"), QStringLiteral("解答题")});
    QVERIFY(!dialog.GroupKs->isEnabled());
    dialog.RadioKs->setChecked(true);
    QVERIFY(dialog.GroupKs->isEnabled());
    dialog.RadioMfx->setChecked(true);
    dialog.ComboZz->setCurrentIndex(1);
    dialog.ComboDa->setCurrentIndex(1);
    auto* lines = qobject_cast<QSpinBox*>(dialog.TableDtkj->cellWidget(1, 1));
    QVERIFY(lines);
    lines->setValue(6);
    QTest::mouseClick(dialog.BtnQd, Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));

    const PrintLayout saved = PrintLayout::load(teacher);
    QCOMPARE(saved.name(), QStringLiteral("考试用卷"));
    QCOMPARE(saved.candidate, PrintLayout::SealLine);
    QCOMPARE(saved.size, PrintLayout::A3TwoColumns);
    QCOMPARE(saved.answerKey, PrintLayout::KeySeparateFile);
    QCOMPARE(saved.answerLines.value(QStringLiteral("解答题")), 6);
    QVERIFY(!saved.answerLines.contains(QStringLiteral("选择题")));
    // Another user still gets today's document.
    QCOMPARE(PrintLayout::load(other).kind, PrintLayout::Standard);

    // Cancelling keeps the saved choice.
    TBsszF again(teacher, {QStringLiteral("解答题")});
    QVERIFY(again.RadioKs->isChecked() && again.RadioMfx->isChecked());
    again.RadioBz->setChecked(true);
    QTest::mouseClick(again.BtnQx, Qt::LeftButton);
    QCOMPARE(PrintLayout::load(teacher).kind, PrintLayout::Exam);
}

void PaperLayoutTest::examHeadingsNameTheScoreOfEachQuestionOnlyWhenTheyAgree()
{
    QCOMPARE(examHeading(0, QStringLiteral("选择题"), 5, 15, {3, 3, 3, 3, 3}),
             QStringLiteral("一、选择题（本大题共5小题，每小题3分，共15分）"));
    QCOMPARE(examHeading(1, QStringLiteral("填空题"), 3, 8, {2, 3, 3}),
             QStringLiteral("二、填空题（本大题共3小题，共8分）"));
    QCOMPARE(examHeading(2, QStringLiteral("判断题"), 2, 3, {1.5, 1.5}),
             QStringLiteral("三、判断题（本大题共2小题，每小题1.5分，共3分）"));

    // The score table has a column per section and one for the total, beside its row labels.
    QTemporaryDir dir;
    PrintLayout layout;
    layout.kind = PrintLayout::Exam;
    const QStringList paths = writePaperDocuments(longPaper(), dir.path(), layout);
    QCOMPARE(paths.size(), 1);
    const QByteArray xml = docxread::read(paths.first()).parts.value(QStringLiteral("word/document.xml"));
    const qsizetype table = xml.indexOf("<w:tbl>");
    QVERIFY(table >= 0);
    const QByteArray grid = xml.mid(table, xml.indexOf("</w:tblGrid>", table) - table);
    QCOMPARE(int(grid.count("<w:gridCol ")) - 1, int(longPaper().sections.size()) + 1);
    QVERIFY(xml.contains("<w:keepNext/>"));
}

void PaperLayoutTest::a4WithSealLineNumbersEveryPageAndSealsOddPagesWithTheKeyInItsOwnFile()
{
    if (!haveClients_) QSKIP("soffice or poppler-utils are not installed");
    QTemporaryDir dir;
    PrintLayout layout;
    layout.kind = PrintLayout::Exam;
    layout.candidate = PrintLayout::SealLine;
    layout.answerKey = PrintLayout::KeySeparateFile;
    layout.notes = PrintLayout::defaultNotes();
    layout.answerLines.insert(QStringLiteral("解答题"), 8);
    const QStringList paths = writePaperDocuments(longPaper(), dir.path(), layout);
    QCOMPARE(paths.size(), 2);
    QCOMPARE(QFileInfo(paths.at(0)).fileName(), QStringLiteral("期末考试.docx"));
    QCOMPARE(QFileInfo(paths.at(1)).fileName(), QStringLiteral("期末考试（参考答案）.docx"));

    const QString pdf = toPdf(paths.at(0), dir.path());
    QVERIFY2(!pdf.isEmpty(), "LibreOffice could not convert the paper");
    const int pages = pageCount(pdf);
    QVERIFY2(pages >= 3, qPrintable(QString::number(pages)));
    QString all;
    for (int p = 1; p <= pages; ++p) {
        const QString text = pageText(pdf, p);
        all += text;
        const QString flat = withoutSpaces(text);
        QVERIFY2(flat.contains(QStringLiteral("第%1页共%2页").arg(p).arg(pages)), qPrintable(text));
        QCOMPARE(flat.contains(QStringLiteral("密封线内不要答题")), p % 2 == 1);
        QCOMPARE(flat.contains(QStringLiteral("考号")), p % 2 == 1);
        // The last line of body text on the page (before the footer) is never a heading.
        QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        while (!lines.isEmpty() &&
               (withoutSpaces(lines.last()).isEmpty() || lines.last().contains(QStringLiteral("页")))) {
            lines.removeLast();
        }
        QVERIFY(!lines.isEmpty());
        QVERIFY2(!kHeading.match(lines.last()).hasMatch(),
                 qPrintable(QStringLiteral("page %1 ends with: %2").arg(p).arg(lines.last())));
    }
    const QString flat = withoutSpaces(all);
    QVERIFY(flat.contains(QStringLiteral("一、选择题（本大题共12小题，每小题3分，共36分）")));
    QVERIFY(flat.contains(QStringLiteral("二、填空题（本大题共10小题，共24分）")));
    QVERIFY(flat.contains(QStringLiteral("注意事项")));
    QVERIFY(!flat.contains(QStringLiteral("参考答案")));
    QVERIFY(!flat.contains(QStringLiteral("选择题答案1")));

    const QString key = toPdf(paths.at(1), dir.path());
    QVERIFY(!key.isEmpty());
    const QString keyText = withoutSpaces(pageText(key, 1));
    QVERIFY2(keyText.startsWith(QStringLiteral("期末考试（参考答案）")), qPrintable(keyText));
    QVERIFY(keyText.contains(QStringLiteral("1.选择题答案1")));
    QVERIFY(!keyText.contains(QStringLiteral("密封线")));
}

void PaperLayoutTest::a3PaperRunsInTwoColumnsWithTheKeyAtTheEnd()
{
    if (!haveClients_) QSKIP("soffice or poppler-utils are not installed");
    QTemporaryDir dir;
    PrintLayout layout;
    layout.kind = PrintLayout::Exam;
    layout.size = PrintLayout::A3TwoColumns;
    layout.answerLines.insert(QStringLiteral("解答题"), 10);
    const QStringList paths = writePaperDocuments(longPaper(), dir.path(), layout);
    QCOMPARE(paths.size(), 1);
    const QString pdf = toPdf(paths.first(), dir.path());
    QVERIFY(!pdf.isEmpty());
    const QSizeF size = pageSize(pdf);
    QVERIFY2(qAbs(size.width() - 1190.55) < 2 && qAbs(size.height() - 841.89) < 2,
             qPrintable(QString::number(size.width())));

    // Words of the questions stand on both halves of the first page.
    const QString bbox = testing::runProgram(QStringLiteral("pdftotext"),
                                             {QStringLiteral("-bbox"), QStringLiteral("-f"), QStringLiteral("1"),
                                              QStringLiteral("-l"), QStringLiteral("1"), pdf, QStringLiteral("-")});
    const QRegularExpression word(QStringLiteral("<word xMin=\"([\\d.]+)\"[^>]*>([^<]*)</word>"));
    int left = 0;
    int right = 0;
    for (auto it = word.globalMatch(bbox); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (!m.captured(2).contains(QStringLiteral("题"))) continue;
        (m.captured(1).toDouble() < size.width() / 2 ? left : right) += 1;
    }
    QVERIFY2(left > 0 && right > 0, qPrintable(QStringLiteral("%1 left, %2 right").arg(left).arg(right)));

    const int pages = pageCount(pdf);
    const QString first = withoutSpaces(pageText(pdf, 1));
    // A page label under each column; the key at the end has none.
    const QRegularExpression label(QStringLiteral("第\\d+页共\\d+页"));
    QCOMPARE(int(first.count(label)), 2);
    QCOMPARE(int(withoutSpaces(pageText(pdf, pages)).count(label)), 0);
    QVERIFY(first.contains(QStringLiteral("姓名：")));
    QVERIFY(!first.contains(QStringLiteral("密封线内不要答题")));
    QVERIFY(withoutSpaces(pageText(pdf, pages)).contains(QStringLiteral("期末考试（参考答案）")));
}

void PaperLayoutTest::b4PaperLiesOnItsLongSideInTwoColumns()
{
    const PrintLayout layout = chosenInDialog(2, false, false, {{QStringLiteral("解答题"), 10}});
    QCOMPARE(layout.size, PrintLayout::B4TwoColumns);
    QTemporaryDir dir;
    const QStringList paths = writePaperDocuments(longPaper(), dir.path(), layout);
    QCOMPARE(paths.size(), 1);
    const QMap<QString, QString> page =
        sectionOf(docxread::read(paths.first()).parts.value(QStringLiteral("word/document.xml")));
    // B4 is 250 × 353 mm: 14173 × 20013 twips, lying on its long side.
    QCOMPARE(page.value(QStringLiteral("pgSz/w:w")), QStringLiteral("20013"));
    QCOMPARE(page.value(QStringLiteral("pgSz/w:h")), QStringLiteral("14173"));
    QCOMPARE(page.value(QStringLiteral("pgSz/w:orient")), QStringLiteral("landscape"));
    QCOMPARE(page.value(QStringLiteral("cols/w:num")), QStringLiteral("2"));

    if (!haveClients_) QSKIP("soffice or poppler-utils are not installed");
    const QString pdf = toPdf(paths.first(), dir.path());
    QVERIFY(!pdf.isEmpty());
    const QSizeF size = pageSize(pdf);
    QVERIFY2(qAbs(size.width() - 1000.63) < 2 && qAbs(size.height() - 708.66) < 2,
             qPrintable(QStringLiteral("%1 x %2").arg(size.width()).arg(size.height())));
    const QString bbox = testing::runProgram(QStringLiteral("pdftotext"),
                                             {QStringLiteral("-bbox"), QStringLiteral("-f"), QStringLiteral("1"),
                                              QStringLiteral("-l"), QStringLiteral("1"), pdf, QStringLiteral("-")});
    const QRegularExpression word(
        QStringLiteral("<word xMin=\"([\\d.]+)\"[^>]*xMax=\"([\\d.]+)\"[^>]*>([^<]*)</word>"));
    int left = 0;
    int right = 0;
    double totalRight = -1;
    for (auto it = word.globalMatch(bbox); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (m.captured(3).contains(QStringLiteral("总分")) && totalRight < 0) totalRight = m.captured(2).toDouble();
        if (!m.captured(3).contains(QStringLiteral("题"))) continue;
        (m.captured(1).toDouble() < size.width() / 2 ? left : right) += 1;
    }
    QVERIFY2(left > 0 && right > 0, qPrintable(QStringLiteral("%1 left, %2 right").arg(left).arg(right)));
    // The score table's last cell stands in the first column.
    QVERIFY2(totalRight > 0 && totalRight < size.width() / 2, qPrintable(QString::number(totalRight)));
}

void PaperLayoutTest::theScoreTableFitsItsColumnWithACellForEverySectionAndTheTotal()
{
    // Two characters of 10.5 points and the cell's margins: "题号" and "总分" on one line.
    constexpr int kNarrowestCell = 2 * 210 + 2 * 108;
    struct Case {
        int paper;
        bool seal;
        int sections;
    };
    const Case cases[] = {{0, false, 3},  {0, true, 3},  {0, true, 8}, {0, true, 14}, {1, true, 3},
                          {1, false, 14}, {2, false, 3}, {2, true, 8}, {2, false, 14}};
    for (const Case& c : cases) {
        const QString name = QStringLiteral("paper %1, seal %2, %3 sections").arg(c.paper).arg(c.seal).arg(c.sections);
        QTemporaryDir dir;
        const PaperContent paper = manySections(c.sections);
        const QStringList paths = writePaperDocuments(paper, dir.path(), chosenInDialog(c.paper, c.seal, true));
        QCOMPARE(paths.size(), 2);
        const QByteArray xml = docxread::read(paths.first()).parts.value(QStringLiteral("word/document.xml"));
        const TableShape table = firstTable(xml);
        QStringList header{QStringLiteral("题号")};
        for (int i = 1; i <= c.sections; ++i) header << NumConvert(i);
        header << QStringLiteral("总分");
        QVERIFY2(table.header == header, qPrintable(name + ": " + table.header.join(' ')));
        QCOMPARE(table.columns.size(), header.size());
        int sum = 0;
        for (int w : table.columns) sum += w;
        const int column = textColumnWidth(sectionOf(xml));
        QVERIFY2(table.width <= column && sum <= table.width,
                 qPrintable(QStringLiteral("%1: table %2 (cells %3) in a column of %4")
                                .arg(name)
                                .arg(table.width)
                                .arg(sum)
                                .arg(column)));
        // Where the column has room, no cell is too narrow for its two characters.
        if (kNarrowestCell * header.size() <= column) {
            for (int w : table.columns)
                QVERIFY2(w >= kNarrowestCell, qPrintable(QStringLiteral("%1: a cell of %2").arg(name).arg(w)));
        }
    }
}

void PaperLayoutTest::answerSpaceFollowsOnlyTheTypesThatAskForIt()
{
    QTemporaryDir dir;
    const PaperContent paper = longPaper();
    const PrintLayout layout = chosenInDialog(0, true, false, {{QStringLiteral("解答题"), 3}});
    const QStringList paths = writePaperDocuments(paper, dir.path(), layout);
    QCOMPARE(paths.size(), 1);
    const QStringList tokens = docxread::read(paths.first()).tokens();
    int number = 0;  // the numbers run on through the sections
    for (int i = 0; i < paper.sections.size(); ++i) {
        const PaperSection& section = paper.sections.at(i);
        const int lines = section.typeName == QStringLiteral("解答题") ? 3 : 0;
        const QString heading = examHeading(i, section.typeName, section.count, section.points, {});
        int at = -1;
        for (int t = 0; t < tokens.size() && at < 0; ++t) {
            if (tokens.at(t).startsWith(heading.left(heading.indexOf(QStringLiteral("（"))))) at = t;
        }
        QVERIFY2(at >= 0, qPrintable(heading));
        // After the heading: each question, then exactly its answer space, then the next one.
        for (int k = 0; k < section.questions.size(); ++k) {
            ++at;
            QCOMPARE(tokens.value(at), QStringLiteral("%1. ").arg(++number) + section.questions.at(k).text);
            for (int n = 0; n < lines; ++n) QVERIFY2(tokens.value(++at).isEmpty(), qPrintable(tokens.value(at)));
        }
        // The next section's 得分/评卷人 box (its four cells) stands before its heading.
        if (tokens.value(at + 1) == QStringLiteral("得分")) at += 4;
        const QString next = tokens.value(at + 1);
        QVERIFY2(i + 1 < paper.sections.size()
                     ? kHeading.match(next).hasMatch()
                     // the paper's section ends with an empty paragraph, the key starts a new one
                     : next.isEmpty() && tokens.value(at + 2).contains(QStringLiteral("参考答案")),
                 qPrintable(section.typeName + " is followed by: [" + next + "]"));
    }
}

void PaperLayoutTest::aSeparateKeyHasTheUsualMarginsWithoutTheSealingColumn()
{
    for (int size = 0; size < 3; ++size) {
        QTemporaryDir dir;
        PaperContent paper = longPaper();
        paper.blueprint = {{QStringLiteral("章节"), QStringLiteral("选择题·易"), QStringLiteral("合计")},
                           {QStringLiteral("第一章"), QStringLiteral("12题 36分"), QStringLiteral("12题 36分")},
                           {QStringLiteral("合计"), QStringLiteral("12题 36分"), QStringLiteral("12题 36分")}};
        const PrintLayout layout = chosenInDialog(size, true, true);
        const QStringList paths = writePaperDocuments(paper, dir.path(), layout);
        QCOMPARE(paths.size(), 2);
        const docxread::Package sealed = docxread::read(paths.at(0));
        const docxread::Package key = docxread::read(paths.at(1));
        const QMap<QString, QString> paperPage = sectionOf(sealed.parts.value(QStringLiteral("word/document.xml")));
        const QMap<QString, QString> keyPage = sectionOf(key.parts.value(QStringLiteral("word/document.xml")));
        // The paper leaves room for its sealing column; the key has the margins of an unsealed page.
        QVERIFY(paperPage.value(QStringLiteral("pgMar/w:left")).toInt() >
                paperPage.value(QStringLiteral("pgMar/w:right")).toInt());
        const int usual = size == 0 ? 1800 : 1440;
        QCOMPARE(keyPage.value(QStringLiteral("pgMar/w:left")).toInt(), usual);
        QCOMPARE(keyPage.value(QStringLiteral("pgMar/w:right")).toInt(), usual);
        for (const QString& part :
             {QStringLiteral("pgSz/w:w"), QStringLiteral("pgSz/w:h"), QStringLiteral("cols/w:num")})
            QCOMPARE(keyPage.value(part), paperPage.value(part));
        bool sealText = false;
        for (auto it = key.parts.cbegin(); it != key.parts.cend(); ++it)
            sealText = sealText || QString::fromUtf8(it.value()).contains(QStringLiteral("密 封 线"));
        QVERIFY(!sealText);
        // The blueprint after the key spans the key's own text column.
        const TableShape table = firstTable(key.parts.value(QStringLiteral("word/document.xml")));
        QCOMPARE(table.header.first(), QStringLiteral("章节"));
        QCOMPARE(table.width, textColumnWidth(keyPage));
    }
}

QTEST_MAIN(PaperLayoutTest)
#include "test_paper_layout.moc"
