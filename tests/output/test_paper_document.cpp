// The paper document: the paper and its answer key written as a .docx from the composed paper in
// sjb, read back from the package as a word processor would see it.
#include "app/application.h"
#include "data/errors.h"
#include "docx_reader.h"
#include "output/paper_document.h"
#include "test_support.h"
#include "ui/paper_output.h"

#include <QBuffer>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTest>
#include <QUrl>

using testing::BoxAnswerer;
using testing::Workspace;

namespace {

// Receives the desktop's "open this document" requests instead of a word processor.
class OpenRecorder : public QObject {
    Q_OBJECT
public:
    QStringList opened;
public slots:
    void open(const QUrl& url) { opened << url.toLocalFile(); }
};

void addType(Workspace& ws, const QString& kmh, const QString& txh, const QString& txm)
{
    ws.exec(QStringLiteral("INSERT INTO txb (kmh, txh, txm, bz) VALUES (?, ?, ?, '1')"), {kmh, txh, txm});
}

void addChosen(Workspace& ws, const QString& kmh, const QString& txh, const QString& th, const QString& fs,
               const QString& tm, const QString& da)
{
    ws.exec(QStringLiteral("INSERT INTO sjb (kmh, txh, th, zjh, nd, fs, tm, da, time, bz) "
                           "VALUES (?, ?, ?, '01', '中等', ?, ?, ?, '8:00:00', '0')"),
            {kmh, txh, th, fs, tm, da});
}

// Two types of subject 01 with their questions interleaved in sjb, and rows of another subject
// that share the type codes and names and must stay out of the paper.
void seedPaper(Workspace& ws)
{
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('01', '语文'), ('02', '数学')"));
    addType(ws, QStringLiteral("01"), QStringLiteral("01"), QStringLiteral("选择题"));
    addType(ws, QStringLiteral("01"), QStringLiteral("02"), QStringLiteral("填空题"));
    addType(ws, QStringLiteral("02"), QStringLiteral("01"), QStringLiteral("选择题"));
    addChosen(ws, "01", "01", "001", "2.5", "选择一", "答案A");
    addChosen(ws, "01", "02", "001", "5", "填空一", "答案X");
    addChosen(ws, "02", "01", "001", "50", "数学题", "数学答案");
    addChosen(ws, "01", "01", "002", "2.5", "选择二", "答案B");
    addChosen(ws, "01", "02", "002", "5", "填空二", "答案Y");
    addChosen(ws, "01", "01", "003", "2.5", "选择三", "答案C");
}

QString writeAndLocate(const PaperContent& paper, const QString& folder)
{
    const QString path = writePaperDocument(paper, folder);
    [&] { QVERIFY2(QFileInfo::exists(path), qPrintable(path)); }();
    return path;
}

QStringList folderEntries(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

}  // namespace

class PaperDocumentTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void numeralsOfSectionNumbers_data();
    void numeralsOfSectionNumbers();
    void paperThenAnswerKeyParagraphByParagraph();
    void onlyTitleAndDurationLineAreFormatted();
    void picturesAreEmbeddedAtTheirPixelSize();
    void numberingFollowsSjbRowsAfterAnExchange();
    void sectionPointsRoundHalfToEven();
    void multiLineTextsKeepTheirLinesInOneParagraph();
    void fileNamesAreSafeAndNeverOverwrite();
    void failedWriteLeavesNoFileAndReportsTheCause();
    void printPaperWritesIntoPapersAndOpensTheDocument();
    void printPaperShowsFailuresAndReturnsFalse();
};

void PaperDocumentTest::initTestCase() { app::setup(*qApp); }

void PaperDocumentTest::numeralsOfSectionNumbers_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("numeral");
    const QList<QPair<int, const char*>> table = {
        {1, "一"},      {2, "二"},      {3, "三"},     {4, "四"},         {5, "五"},      {6, "六"},
        {7, "七"},      {8, "八"},      {9, "九"},     {10, "十"},        {11, "十一"},   {12, "十二"},
        {13, "十三"},   {14, "十四"},   {15, "十五"},  {16, "十六"},      {17, "十七"},   {18, "十八"},
        {19, "十九"},   {20, "二十"},   {21, "二十一"}, {30, "三十"},     {99, "九十九"}, {100, "一百"},
        {105, "一百零五"}, {110, "一百一十"}, {0, ""}, {-1, ""},          {-18, ""}};
    for (const auto& row : table) {
        QTest::addRow("%d", row.first) << row.first << QString::fromUtf8(row.second);
    }
}

void PaperDocumentTest::numeralsOfSectionNumbers()
{
    QFETCH(int, n);
    QFETCH(QString, numeral);
    QCOMPARE(NumConvert(n), numeral);
}

void PaperDocumentTest::paperThenAnswerKeyParagraphByParagraph()
{
    Workspace ws;
    seedPaper(ws);
    const PaperContent paper = collectPaper(QStringLiteral("01"), {QStringLiteral("选择题"), QStringLiteral("填空题")},
                                            QStringLiteral("期末考试"), QStringLiteral("120"), QStringLiteral("100"));
    const QString path = writeAndLocate(paper, ws.root() + QStringLiteral("/out"));
    const docxread::Package doc = docxread::read(path);
    QVERIFY2(doc.error.isEmpty(), qPrintable(doc.error));

    const QStringList expected = {
        QStringLiteral("期末考试"),
        QStringLiteral("（时间：120分钟  总分：100分）"),
        QString(),
        QStringLiteral("[ImageBiao1]"),
        QString(),
        QStringLiteral("  "),
        QStringLiteral("[ImageBiao2]"),
        QStringLiteral("一、选择题（本题共3道小题，共8分。）"),
        QStringLiteral("1. 选择一"),
        QStringLiteral("2. 选择二"),
        QStringLiteral("3. 选择三"),
        QString(),
        QStringLiteral(" "),
        QStringLiteral("[ImageBiao2]"),
        QStringLiteral("二、填空题（本题共2道小题，共10分。）"),
        QStringLiteral("1. 填空一"),
        QStringLiteral("2. 填空二"),
        QString(),
        QStringLiteral("[page]期末考试(参考答案)"),
        QString(),
        QStringLiteral("一、选择题（本题共3道小题，共8分。）"),
        QStringLiteral("1. 答案A"),
        QStringLiteral("2. 答案B"),
        QStringLiteral("3. 答案C"),
        QString(),
        QStringLiteral("二、填空题（本题共2道小题，共10分。）"),
        QStringLiteral("1. 答案X"),
        QStringLiteral("2. 答案Y"),
        QString(),
        QString(),
    };
    QCOMPARE(doc.tokens(), expected);

    // The order of the types given (the wizard's list) decides the sections and their numerals.
    const PaperContent reversed = collectPaper(QStringLiteral("01"), {QStringLiteral("填空题"), QStringLiteral("选择题")},
                                               QStringLiteral("期末考试"), QStringLiteral("90"), QStringLiteral("18"));
    const QStringList tokens = docxread::read(writeAndLocate(reversed, ws.root() + QStringLiteral("/out"))).tokens();
    QCOMPARE(tokens.at(1), QStringLiteral("（时间：90分钟  总分：18分）"));
    QCOMPARE(tokens.at(7), QStringLiteral("一、填空题（本题共2道小题，共10分。）"));
    QCOMPARE(tokens.at(12), QStringLiteral("[ImageBiao2]"));
    QCOMPARE(tokens.at(13), QStringLiteral("二、选择题（本题共3道小题，共8分。）"));
}

void PaperDocumentTest::onlyTitleAndDurationLineAreFormatted()
{
    Workspace ws;
    seedPaper(ws);
    const PaperContent paper = collectPaper(QStringLiteral("01"), {QStringLiteral("选择题")}, QStringLiteral("单元测验"),
                                            QStringLiteral("45"), QStringLiteral("8"));
    const docxread::Package doc = docxread::read(writeAndLocate(paper, ws.root()));
    QVERIFY2(doc.error.isEmpty(), qPrintable(doc.error));
    QVERIFY(doc.paragraphs.size() > 10);

    const docxread::Paragraph& title = doc.paragraphs.at(0);
    QCOMPARE(title.text, QStringLiteral("单元测验"));
    QCOMPARE(title.halfPoints, 32);  // 16 pt
    QVERIFY(title.bold);
    QCOMPARE(title.alignment, QStringLiteral("center"));

    const docxread::Paragraph& duration = doc.paragraphs.at(1);
    QCOMPARE(duration.text, QStringLiteral("（时间：45分钟  总分：8分）"));
    QCOMPARE(duration.halfPoints, 22);  // 11 pt
    QVERIFY(duration.bold);
    QCOMPARE(duration.alignment, QStringLiteral("center"));

    // Everything else, the answer key's title included, keeps the default style.
    for (int i = 2; i < doc.paragraphs.size(); ++i) {
        const docxread::Paragraph& p = doc.paragraphs.at(i);
        QVERIFY2(!p.bold && p.halfPoints == 0 && p.alignment.isEmpty(), qPrintable(p.token()));
    }

    // Song type for Chinese text by default.
    const QByteArray styles = doc.parts.value(QStringLiteral("word/styles.xml"));
    QVERIFY(styles.contains("w:eastAsia=\"SimSun\""));
    QVERIFY(doc.parts.value(QStringLiteral("[Content_Types].xml"))
                .contains("application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"));
    QVERIFY(doc.parts.value(QStringLiteral("_rels/.rels")).contains("Target=\"word/document.xml\""));
}

void PaperDocumentTest::picturesAreEmbeddedAtTheirPixelSize()
{
    Workspace ws;
    seedPaper(ws);
    const PaperContent paper = collectPaper(QStringLiteral("01"), {QStringLiteral("选择题"), QStringLiteral("填空题")},
                                            QStringLiteral("图"), QStringLiteral("120"), QStringLiteral("18"));
    const docxread::Package doc = docxread::read(writeAndLocate(paper, ws.root()));
    QVERIFY2(doc.error.isEmpty(), qPrintable(doc.error));

    QMap<QString, QSize> expectedSize = {{QStringLiteral("ImageBiao1"), QSize(438, 66)},
                                         {QStringLiteral("ImageBiao2"), QSize(115, 60)}};
    int placed = 0;
    QSet<QString> targets;
    for (const docxread::Paragraph& p : doc.paragraphs) {
        for (const docxread::Picture& picture : p.pictures) {
            ++placed;
            QVERIFY2(expectedSize.contains(picture.name), qPrintable(picture.name));
            const QSize size = expectedSize.value(picture.name);
            QCOMPARE(picture.cx, qint64(size.width()) * 9525);
            QCOMPARE(picture.cy, qint64(size.height()) * 9525);
            QVERIFY2(doc.parts.contains(picture.target), qPrintable(picture.target));
            QImage image;
            QVERIFY(image.loadFromData(doc.parts.value(picture.target), "PNG"));
            QCOMPARE(image.size(), size);
            targets.insert(picture.target);
            QVERIFY(p.text.isEmpty());  // a picture stands in a paragraph of its own
        }
    }
    QCOMPARE(placed, 3);          // the summary and one score box per section
    QCOMPARE(targets.size(), 2);  // each picture stored once

    // The tables are drawn: black rules on white, the header row not blank.
    const QString summaryTarget = doc.paragraphs.at(3).pictures.value(0).target;
    QImage summary;
    QVERIFY(summary.loadFromData(doc.parts.value(summaryTarget), "PNG"));
    QCOMPARE(summary.pixelColor(0, 40), QColor(Qt::black));  // left rule
    QCOMPARE(summary.pixelColor(200, 65), QColor(Qt::black));  // bottom rule
    QCOMPARE(summary.pixelColor(200, 50), QColor(Qt::white));  // the empty second row
    int inkInFirstCell = 0;
    for (int x = 2; x < 32; ++x) {
        for (int y = 2; y < 31; ++y) inkInFirstCell += summary.pixelColor(x, y).lightness() < 128 ? 1 : 0;
    }
    QVERIFY2(inkInFirstCell > 20, "the header \"总分\" is missing");
}

void PaperDocumentTest::numberingFollowsSjbRowsAfterAnExchange()
{
    Workspace ws;
    seedPaper(ws);
    // Moving a question exchanges the contents of two sjb rows: swap 选择一 and 选择三.
    const QString first = ws.scalar(QStringLiteral("SELECT id FROM sjb WHERE tm='选择一'"));
    const QString third = ws.scalar(QStringLiteral("SELECT id FROM sjb WHERE tm='选择三'"));
    ws.exec(QStringLiteral("UPDATE sjb SET th='003', tm='选择三', da='答案C' WHERE id=?"), {first});
    ws.exec(QStringLiteral("UPDATE sjb SET th='001', tm='选择一', da='答案A' WHERE id=?"), {third});

    const PaperContent paper = collectPaper(QStringLiteral("01"), {QStringLiteral("选择题"), QStringLiteral("填空题")},
                                            QStringLiteral("期中"), QStringLiteral("120"), QStringLiteral("18"));
    const QStringList tokens = docxread::read(writeAndLocate(paper, ws.root())).tokens();
    QCOMPARE(tokens.mid(8, 3), QStringList({QStringLiteral("1. 选择三"), QStringLiteral("2. 选择二"),
                                            QStringLiteral("3. 选择一")}));
    QCOMPARE(tokens.mid(21, 3), QStringList({QStringLiteral("1. 答案C"), QStringLiteral("2. 答案B"),
                                             QStringLiteral("3. 答案A")}));
    // The numbering starts again in the second section of both halves.
    QCOMPARE(tokens.at(15), QStringLiteral("1. 填空一"));
    QCOMPARE(tokens.at(26), QStringLiteral("1. 答案X"));
}

void PaperDocumentTest::sectionPointsRoundHalfToEven()
{
    Workspace ws;
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('01', '物理')"));
    addType(ws, "01", "01", "甲");
    addType(ws, "01", "02", "乙");
    addType(ws, "01", "03", "丙");
    addType(ws, "01", "04", "丁");
    for (const char* th : {"001", "002", "003"}) addChosen(ws, "01", "01", th, "2.5", "q", "a");  // 7.5
    addChosen(ws, "01", "02", "001", "3.25", "q", "a");                                          // 6.5
    addChosen(ws, "01", "02", "002", "3.25", "q", "a");
    for (const char* th : {"001", "002", "003"}) addChosen(ws, "01", "03", th, "3.33333333333333", "q", "a");

    const PaperContent paper = collectPaper(
        QStringLiteral("01"), {QStringLiteral("甲"), QStringLiteral("乙"), QStringLiteral("丙"), QStringLiteral("丁")},
        QStringLiteral("测验"), QStringLiteral("60"), QStringLiteral("24"));
    QCOMPARE(paper.sections.size(), 4);
    QCOMPARE(paper.sections.at(0).points, 8LL);
    QCOMPARE(paper.sections.at(1).points, 6LL);
    QCOMPARE(paper.sections.at(2).points, 10LL);
    QCOMPARE(paper.sections.at(3).count, 0);

    QStringList headings;
    for (const QString& token : docxread::read(writeAndLocate(paper, ws.root())).tokens()) {
        if (token.contains(QStringLiteral("（本题共"))) headings << token;
    }
    const QStringList once = {QStringLiteral("一、甲（本题共3道小题，共8分。）"), QStringLiteral("二、乙（本题共2道小题，共6分。）"),
                              QStringLiteral("三、丙（本题共3道小题，共10分。）"), QStringLiteral("四、丁（本题共0道小题，共0分。）")};
    QCOMPARE(headings, once + once);
}

void PaperDocumentTest::multiLineTextsKeepTheirLinesInOneParagraph()
{
    Workspace ws;
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('01', '英语')"));
    addType(ws, "01", "01", "阅读");
    addChosen(ws, "01", "01", "001", "10", QStringLiteral("第一行\r\n第二行\n第三行\r第四行"),
              QStringLiteral("A\tB\x01<&>\"C\"\nD"));

    const PaperContent paper =
        collectPaper(QStringLiteral("01"), {QStringLiteral("阅读")}, QStringLiteral("A&B <测验>"), QStringLiteral("30"),
                     QStringLiteral("10"));
    const docxread::Package doc = docxread::read(writeAndLocate(paper, ws.root()));
    QVERIFY2(doc.error.isEmpty(), qPrintable(doc.error));
    const QStringList tokens = doc.tokens();
    QCOMPARE(tokens.at(0), QStringLiteral("A&B <测验>"));
    QCOMPARE(tokens.at(8), QStringLiteral("1. 第一行\n第二行\n第三行\n第四行"));
    QCOMPARE(tokens.at(9), QString());
    // A tab stays a tab; a control character a document cannot hold is left out.
    QVERIFY(tokens.contains(QStringLiteral("1. A\tB<&>\"C\"\nD")));
    QCOMPARE(tokens.size(), 16);
}

void PaperDocumentTest::fileNamesAreSafeAndNeverOverwrite()
{
    Workspace ws;
    seedPaper(ws);
    const QString folder = ws.root() + QStringLiteral("/new/nested");
    PaperContent paper = collectPaper(QStringLiteral("01"), {QStringLiteral("选择题")}, QStringLiteral("a/b\\c:d*e?f\"g<h>i|j\tk"),
                                      QStringLiteral("120"), QStringLiteral("8"));
    const QString first = writeAndLocate(paper, folder);
    QCOMPARE(QFileInfo(first).fileName(), QStringLiteral("a_b_c_d_e_f_g_h_i_j_k.docx"));
    QCOMPARE(QFileInfo(first).absolutePath(), QFileInfo(folder).absoluteFilePath());

    QFile original(first);
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QByteArray firstBytes = original.readAll();
    original.close();

    paper.duration = QStringLiteral("90");  // a different paper under the same title
    const QString second = writeAndLocate(paper, folder);
    const QString third = writeAndLocate(paper, folder);
    QCOMPARE(QFileInfo(second).fileName(), QStringLiteral("a_b_c_d_e_f_g_h_i_j_k (2).docx"));
    QCOMPARE(QFileInfo(third).fileName(), QStringLiteral("a_b_c_d_e_f_g_h_i_j_k (3).docx"));
    QVERIFY(original.open(QIODevice::ReadOnly));
    QCOMPARE(original.readAll(), firstBytes);
    QCOMPARE(docxread::read(second).tokens().at(1), QStringLiteral("（时间：90分钟  总分：8分）"));

    paper.title = QStringLiteral("  ");
    QCOMPARE(QFileInfo(writeAndLocate(paper, folder)).fileName(), QStringLiteral("试卷.docx"));
    paper.title = QStringLiteral("../上一层");
    QCOMPARE(QFileInfo(writeAndLocate(paper, folder)).fileName(), QStringLiteral("_._上一层.docx"));

    // No temporary file is left behind.
    QCOMPARE(folderEntries(folder),
             QStringList({QStringLiteral("_._上一层.docx"), QStringLiteral("a_b_c_d_e_f_g_h_i_j_k (2).docx"),
                          QStringLiteral("a_b_c_d_e_f_g_h_i_j_k (3).docx"), QStringLiteral("a_b_c_d_e_f_g_h_i_j_k.docx"),
                          QStringLiteral("试卷.docx")}));
}

void PaperDocumentTest::failedWriteLeavesNoFileAndReportsTheCause()
{
    Workspace ws;
    seedPaper(ws);
    const PaperContent paper = collectPaper(QStringLiteral("01"), {QStringLiteral("选择题")}, QStringLiteral("期末"),
                                            QStringLiteral("120"), QStringLiteral("8"));
    // A folder below a regular file can never be made, whoever runs the test.
    QFile blocker(ws.root() + QStringLiteral("/blocker"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QStringList before = folderEntries(ws.root());
    try {
        writePaperDocument(paper, ws.root() + QStringLiteral("/blocker/Papers"));
        QFAIL("writing below a file succeeded");
    } catch (const AppError& e) {
        QVERIFY2(e.text().startsWith(QStringLiteral("无法创建文件夹")), qPrintable(e.text()));
        QVERIFY2(e.text().contains(QStringLiteral("blocker")), qPrintable(e.text()));
    }
    QCOMPARE(folderEntries(ws.root()), before);
    QCOMPARE(QFileInfo(blocker.fileName()).size(), 0);
}

void PaperDocumentTest::printPaperWritesIntoPapersAndOpensTheDocument()
{
    Workspace ws;
    seedPaper(ws);
    BoxAnswerer boxes;
    OpenRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
    const bool ok = printPaper(QStringLiteral("01"), {QStringLiteral("选择题"), QStringLiteral("填空题")},
                               QStringLiteral("期末考试"), QStringLiteral("120"), QStringLiteral("18"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QVERIFY(ok);
    const QString expected = QDir(ws.root()).filePath(QStringLiteral("Papers/期末考试.docx"));
    QVERIFY(QFileInfo::exists(expected));
    QCOMPARE(recorder.opened, QStringList({QFileInfo(expected).absoluteFilePath()}));
    QCOMPARE(boxes.texts, QStringList());
    QCOMPARE(docxread::read(expected).tokens().at(7), QStringLiteral("一、选择题（本题共3道小题，共8分。）"));
    // The composed paper stays in sjb.
    QCOMPARE(ws.count(QStringLiteral("sjb")), 6);
}

void PaperDocumentTest::printPaperShowsFailuresAndReturnsFalse()
{
    Workspace ws;
    seedPaper(ws);
    BoxAnswerer boxes;
    OpenRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");

    // Papers cannot be made: a file of that name is in the way.
    QFile blocker(QDir(ws.root()).filePath(QStringLiteral("Papers")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY(!printPaper(QStringLiteral("01"), {QStringLiteral("选择题")}, QStringLiteral("期末"), QStringLiteral("120"),
                        QStringLiteral("8")));
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.texts.at(0).startsWith(QStringLiteral("无法创建文件夹")), qPrintable(boxes.texts.at(0)));
    QCOMPARE(boxes.captions.at(0), QStringLiteral("Exavoro"));
    QVERIFY(recorder.opened.isEmpty());

    // A score that is not a number ends the run with the conversion's text; nothing is written.
    QVERIFY(blocker.remove());
    ws.exec(QStringLiteral("UPDATE sjb SET fs='abc' WHERE tm='选择二'"));
    boxes.clear();
    QVERIFY(!printPaper(QStringLiteral("01"), {QStringLiteral("选择题")}, QStringLiteral("期末"), QStringLiteral("120"),
                        QStringLiteral("8")));
    QCOMPARE(boxes.texts, QStringList({QStringLiteral("“abc”不是有效的浮点数值。")}));
    QVERIFY(!QFileInfo::exists(QDir(ws.root()).filePath(QStringLiteral("Papers/期末.docx"))));
    QVERIFY(recorder.opened.isEmpty());
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

QTEST_MAIN(PaperDocumentTest)
#include "test_paper_document.moc"
