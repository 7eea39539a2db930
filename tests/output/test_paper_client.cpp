// A real word processor opens the written paper: LibreOffice converts it to PDF, and the pages
// are read back as text and as a list of the images placed on them.
#include "app/application.h"
#include "output/paper_document.h"
#include "test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using testing::Workspace;

namespace {

using testing::runProgram;

QString pageText(const QString& pdf, int page)
{
    return runProgram(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), QStringLiteral("-f"), QString::number(page),
                                            QStringLiteral("-l"), QString::number(page), pdf, QStringLiteral("-")});
}

// Number of images placed on each page, from pdfimages' listing.
QMap<int, int> imagesPerPage(const QString& pdf)
{
    QMap<int, int> counts;
    const QStringList lines = runProgram(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf}).split(QLatin1Char('\n'));
    for (const QString& line : lines.mid(2)) {
        const QStringList fields = line.simplified().split(QLatin1Char(' '));
        bool ok = false;
        const int page = fields.value(0).toInt(&ok);
        if (ok) ++counts[page];
    }
    return counts;
}

QString withoutSpaces(QString text) { return text.remove(QRegularExpression(QStringLiteral("\\s+"))); }

// Checks that the needles occur in the text in this order. Spaces are left out on both sides,
// since the PDF's text extraction puts spaces between Chinese characters and digits.
bool inOrder(const QString& pageText, const QStringList& needles, QString* missing)
{
    const QString text = withoutSpaces(pageText);
    qsizetype from = 0;
    for (const QString& original : needles) {
        const QString needle = withoutSpaces(original);
        const qsizetype at = text.indexOf(needle, from);
        if (at < 0) {
            *missing = original;
            return false;
        }
        from = at + needle.size();
    }
    return true;
}

}  // namespace

class PaperClientTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void libreOfficeOpensThePaperWithTheAnswerKeyOnPageTwo();
};

void PaperClientTest::initTestCase() { app::setup(*qApp); }

void PaperClientTest::libreOfficeOpensThePaperWithTheAnswerKeyOnPageTwo()
{
    if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty()) QSKIP("soffice is not installed");
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty(), "pdftotext (poppler-utils) is missing");

    Workspace ws;
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('01', '语文')"));
    ws.exec(QStringLiteral("INSERT INTO txb (kmh, txh, txm, bz) VALUES ('01', '01', '选择题', '1'), ('01', '02', '简答题', '1')"));
    const auto chosen = [&](const char* txh, const char* th, const char* fs, const QString& tm, const QString& da) {
        ws.exec(QStringLiteral("INSERT INTO sjb (kmh, txh, th, zjh, nd, fs, tm, da, time, bz) "
                               "VALUES ('01', ?, ?, '01', '中等', ?, ?, ?, '8:00:00', '0')"),
                {QString::fromLatin1(txh), QString::fromLatin1(th), QString::fromLatin1(fs), tm, da});
    };
    chosen("01", "001", "2.5", QStringLiteral("下列词语中读音正确的是"), QStringLiteral("答案甲"));
    chosen("02", "001", "5", QStringLiteral("请简述春天的景色\n（不少于五十字）"), QStringLiteral("答案丙"));
    chosen("01", "002", "2.5", QStringLiteral("下列句子没有语病的是"), QStringLiteral("答案乙"));

    const PaperContent paper = collectPaper(QStringLiteral("01"), {QStringLiteral("选择题"), QStringLiteral("简答题")},
                                            QStringLiteral("期末考试"), QStringLiteral("120"), QStringLiteral("10"));
    const QString docx = writePaperDocument(paper, ws.root() + QStringLiteral("/Papers"));

    QTemporaryDir out;
    QVERIFY(out.isValid());
    QVERIFY2(testing::convertWithLibreOffice({docx}, QStringLiteral("pdf"), out.path()),
             "LibreOffice could not convert the document");
    const QString pdf = QDir(out.path()).filePath(QFileInfo(docx).completeBaseName() + QStringLiteral(".pdf"));
    QVERIFY2(QFileInfo::exists(pdf), qPrintable(pdf));

    const QString page1 = pageText(pdf, 1);
    const QString page2 = pageText(pdf, 2);
    QString missing;
    QVERIFY2(inOrder(page1,
                     {QStringLiteral("期末考试"), QStringLiteral("（时间：120分钟  总分：10分）"),
                      QStringLiteral("一、选择题（本题共2道小题，共5分。）"), QStringLiteral("1. 下列词语中读音正确的是"),
                      QStringLiteral("2. 下列句子没有语病的是"), QStringLiteral("二、简答题（本题共1道小题，共5分。）"),
                      QStringLiteral("1. 请简述春天的景色"), QStringLiteral("（不少于五十字）")},
                     &missing),
             qPrintable(QStringLiteral("page 1 lacks “%1”:\n%2").arg(missing, page1)));
    QVERIFY2(!page1.contains(QStringLiteral("参考答案")) && !page1.contains(QStringLiteral("答案甲")), qPrintable(page1));
    QVERIFY2(withoutSpaces(page2).startsWith(QStringLiteral("期末考试(参考答案)")), qPrintable(page2));
    QVERIFY2(inOrder(page2,
                     {QStringLiteral("一、选择题（本题共2道小题，共5分。）"), QStringLiteral("1. 答案甲"),
                      QStringLiteral("2. 答案乙"), QStringLiteral("二、简答题（本题共1道小题，共5分。）"),
                      QStringLiteral("1. 答案丙")},
                     &missing),
             qPrintable(QStringLiteral("page 2 lacks “%1”:\n%2").arg(missing, page2)));
    QVERIFY2(pageText(pdf, 3).isNull(), "the document has more than two pages");

    // The summary table and one score box per section on page 1; no picture in the answer key.
    if (!QStandardPaths::findExecutable(QStringLiteral("pdfimages")).isEmpty()) {
        const QMap<int, int> images = imagesPerPage(pdf);
        QCOMPARE(images.value(1), 3);
        QCOMPARE(images.value(2), 0);
    }
}

QTEST_MAIN(PaperClientTest)
#include "test_paper_client.moc"
