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

#include "app/application.h"
#include "docx_reader.h"
#include "output/layout_dialog.h"
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

}  // namespace

class PaperLayoutTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void layoutChoiceIsRememberedPerUserAndDefaultsToStandard();
    void examHeadingsNameTheScoreOfEachQuestionOnlyWhenTheyAgree();
    void a4WithSealLineNumbersEveryPageAndSealsOddPagesWithTheKeyInItsOwnFile();
    void a3PaperRunsInTwoColumnsWithTheKeyAtTheEnd();

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
    QVERIFY(first.contains(QStringLiteral("第1页共%1页").arg(pages)));
    QVERIFY(first.contains(QStringLiteral("姓名：")));
    QVERIFY(!first.contains(QStringLiteral("密封线内不要答题")));
    QVERIFY(withoutSpaces(pageText(pdf, pages)).contains(QStringLiteral("期末考试（参考答案）")));
}

QTEST_MAIN(PaperLayoutTest)
#include "test_paper_layout.moc"
