// The files teachers really bring: plain text saved by Chinese Windows tools (GB18030/GBK, UTF-16,
// UTF-8 with its mark), old Word and WPS documents, exercise collections past 9,999 questions,
// answer keys set at the end of the paper in their usual forms, large photographs and pictures a
// document only links to.
#include <zip.h>

#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTableWidget>
#include <QTest>

#include "app/application.h"
#include "app/main_window.h"
#include "content/content.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "data/question_fields.h"
#include "exchange/paper_import.h"
#include "exchange/question_store.h"
#include "exchange/text_encoding.h"
#include "test_support.h"
#include "ui/forms.h"
#include "windows/exchange/import_window.h"

using exchange::ImportedPaper;
using exchange::ImportWindow;
using exchange::TextEncoding;
using testing::BoxAnswerer;
using testing::Workspace;

namespace {

// A short paper with characters GB18030 writes in four bytes ("¾", "−").
const QString kPaper = QStringLiteral(
    "一、选择题（每小题3分，共6分）\n\n"
    "1．方程 2x + 3 = 11 的解是（　）\n\n"
    "A. x = −4　B. x = 5　C. x = 4　D. x = 3\n\n"
    "2．¾ 的倒数是（　）\n\n"
    "A. 4/3　B. 3/4　C. 1　D. 0\n\n"
    "参考答案：1．C　2．A\n");

// The same kind of paper in characters GBK has (no four-byte ones).
const QString kGbkPaper = QStringLiteral(
    "一、填空题（每小题2分）\n\n"
    "1．三角形的内角和是____度。\n\n"
    "2．正方形有____条对称轴。\n\n"
    "参考答案：1．180　2．4\n");

QByteArray encoded(const QString& text, const char* encoding)
{
    QStringEncoder encoder(encoding);
    const QByteArray bytes = encoder.encode(text);
    if (!encoder.isValid() || encoder.hasError()) qFatal("cannot encode the test text in %s", encoding);
    return bytes;
}

QString writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QString refusal(const std::function<void()>& action)
{
    try {
        action();
    } catch (const AppError& e) {
        return e.text();
    }
    return QString();
}

struct Run {
    int code;
    QString out;
    QString err;
};

Run tool(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(EXAVORO_DB_TOOL), args);
    if (!p.waitForFinished(180000)) qFatal("exavoro-db did not finish");
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

void seedSubject(Workspace& ws)
{
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('02', '数学')"));
    ws.exec(QStringLiteral("INSERT INTO txb (kmh, txh, txm) VALUES ('02', '01', '选择题'), ('02', '02', '填空题')"));
    ws.exec(QStringLiteral("INSERT INTO zjb (kmh, zjh, zjm) VALUES ('02', '01', '第一章 有理数')"));
    ws.refreshDatasets();
}

// What a paper holds, for comparing two readings of it.
QStringList contents(const ImportedPaper& paper)
{
    QStringList out;
    for (const auto& q : paper.questions) out << q.number + QLatin1Char('|') + q.text + QLatin1Char('|') + q.answer;
    return out;
}

// The same, each formula replaced by "\(…\)": a formula that went through Word 97's format comes
// back written a little differently ("\text{+x}" for "+ x").
QStringList contentsWithoutFormulas(const ImportedPaper& paper)
{
    static const QRegularExpression formula(QStringLiteral("\\\\\\(.*?\\\\\\)"));
    QStringList out = contents(paper);
    for (QString& line : out) line.replace(formula, QStringLiteral("\\(…\\)"));
    return out;
}

// A zip archive holding these entries.
void writeZip(const QString& path, const QVector<QPair<QByteArray, QByteArray>>& entries)
{
    int error = 0;
    zip_t* zip = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    QVERIFY(zip);
    for (const auto& [name, data] : entries) {
        zip_source_t* source = zip_source_buffer(zip, data.constData(), zip_uint64_t(data.size()), 0);
        QVERIFY(source);
        QVERIFY(zip_file_add(zip, name.constData(), source, ZIP_FL_OVERWRITE) >= 0);
    }
    QCOMPARE(zip_close(zip), 0);
}

// A .docx whose one picture is only linked (a:blip r:link) to a file on the author's computer,
// and a second, embedded one that also keeps its link (Word's "link and embed").
void writeLinkedPictureDocx(const QString& path, const QByteArray& png)
{
    const QByteArray blipLinked = "<a:blip r:link=\"rId5\"/>";
    const QByteArray blipBoth = "<a:blip r:embed=\"rId6\" r:link=\"rId7\"/>";
    const auto drawing = [](const QByteArray& blip) {
        return "<w:r><w:drawing><wp:inline><wp:extent cx=\"914400\" cy=\"914400\"/><wp:docPr id=\"1\" name=\"P\"/>"
               "<a:graphic><a:graphicData uri=\"http://schemas.openxmlformats.org/drawingml/2006/picture\"><pic:pic>"
               "<pic:nvPicPr><pic:cNvPr id=\"0\" name=\"p.png\"/><pic:cNvPicPr/></pic:nvPicPr><pic:blipFill>" +
               blip +
               "<a:stretch><a:fillRect/></a:stretch></pic:blipFill><pic:spPr><a:xfrm><a:off x=\"0\" y=\"0\"/>"
               "<a:ext cx=\"914400\" cy=\"914400\"/></a:xfrm><a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom>"
               "</pic:spPr></pic:pic></a:graphicData></a:graphic></wp:inline></w:drawing></w:r>";
    };
    const QByteArray document =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><w:document "
        "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
        "xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\" "
        "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
        "xmlns:pic=\"http://schemas.openxmlformats.org/drawingml/2006/picture\"><w:body>"
        "<w:p><w:r><w:t>1．如图，求三角形的面积。</w:t></w:r>" +
        drawing(blipLinked) +
        "</w:p><w:p><w:r><w:t>【答案】6</w:t></w:r></w:p>"
        "<w:p><w:r><w:t>2．如图，求正方形的面积。</w:t></w:r>" +
        drawing(blipBoth) + "</w:p><w:p><w:r><w:t>【答案】4</w:t></w:r></w:p></w:body></w:document>";
    const QByteArray rels =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><Relationships "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId5\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/image\" "
        "Target=\"file:///C:/Users/teacher/Pictures/triangle.png\" TargetMode=\"External\"/>"
        "<Relationship Id=\"rId6\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/image\" "
        "Target=\"media/square.png\"/>"
        "<Relationship Id=\"rId7\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/image\" "
        "Target=\"file:///C:/Users/teacher/Pictures/square.png\" TargetMode=\"External\"/></Relationships>";
    writeZip(path,
             {{"[Content_Types].xml",
               "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><Types "
               "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"><Default Extension=\"rels\" "
               "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/><Default Extension=\"xml\" "
               "ContentType=\"application/xml\"/><Default Extension=\"png\" ContentType=\"image/png\"/><Override "
               "PartName=\"/word/document.xml\" "
               "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
               "</Types>"},
              {"_rels/.rels",
               "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><Relationships "
               "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship Id=\"rId1\" "
               "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
               "Target=\"word/document.xml\"/></Relationships>"},
              {"word/_rels/document.xml.rels", rels},
              {"word/document.xml", document},
              {"word/media/square.png", png}});
}

QByteArray smallPng()
{
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return buffer.data();
}

}  // namespace

class TeacherFilesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup() { testing::closeAllWindows(); }
    void textInEveryEncodingWindowsToolsSaveReadsTheSame();
    void undecodableTextIsRefusedAndNothingIsStored();
    void importWindowShowsTheEncodingAndReadsAgainInTheOneChosen();
    void docAndWpsAreReadThroughLibreOffice();
    void tenThousandNumberedQuestionsAreAllRecognisedAndCounted();
    void answerKeysAtTheEndAreMatchedByNumber();
    void scoresAndDifficultiesAreCheckedAsQuestionEntryChecksThem();
    void largePhotosImportAndLinkedPicturesAreListed();
    void foldersNamedLikeDocumentsAreRefusedInChinese();

private:
    bool pandoc_ = false;
    bool office_ = false;
};

void TeacherFilesTest::initTestCase()
{
    app::setup(*qApp);
    pandoc_ = !QStandardPaths::findExecutable(QStringLiteral("pandoc")).isEmpty();
    office_ = !QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty();
}

void TeacherFilesTest::textInEveryEncodingWindowsToolsSaveReadsTheSame()
{
    QVERIFY2(pandoc_, "pandoc is missing");
    QTemporaryDir dir;
    const QByteArray utf8 = kPaper.toUtf8();
    const QByteArray utf16le = encoded(kPaper, "UTF-16LE");
    const QByteArray utf16be = encoded(kPaper, "UTF-16BE");
    const struct {
        const char* file;
        QByteArray bytes;
        const char* encoding;  // as the window and the command line name it
    } files[] = {
        {"utf8.txt", utf8, "UTF-8"},
        {"utf8bom.txt", "\xEF\xBB\xBF" + utf8, "UTF-8"},
        {"gb18030.txt", encoded(kPaper, "GB18030"), "GB18030"},
        {"utf16le.txt", "\xFF\xFE" + utf16le, "UTF-16 LE"},
        {"utf16be.txt", "\xFE\xFF" + utf16be, "UTF-16 BE"},
        {"utf16le-nomark.txt", utf16le, "UTF-16 LE"},  // found by where the zero bytes are
        {"utf16be-nomark.txt", utf16be, "UTF-16 BE"},
        {"gb18030.md", encoded(kPaper, "GB18030"), "GB18030"},
    };
    const ImportedPaper reference = exchange::readDocument(writeFile(dir.filePath("ref.txt"), utf8));
    QCOMPARE(reference.questions.size(), 2);
    QVERIFY2(reference.questions[1].text.startsWith(QStringLiteral("¾ 的倒数是")),
             qPrintable(reference.questions[1].text));
    QVERIFY(reference.questions[0].text.contains(QStringLiteral("x = −4")));
    QCOMPARE(reference.questions[0].answer, QStringLiteral("C"));
    QCOMPARE(reference.questions[1].answer, QStringLiteral("A"));
    for (const auto& f : files) {
        const ImportedPaper paper = exchange::readDocument(writeFile(dir.filePath(f.file), f.bytes));
        QCOMPARE(contents(paper), contents(reference));
        QCOMPARE(paper.encoding, QString::fromLatin1(f.encoding));
    }
    // GBK, what older tools write: a subset of GB18030, read the same way.
    const ImportedPaper gbk = exchange::readDocument(writeFile(dir.filePath("gbk.txt"), encoded(kGbkPaper, "GBK")));
    QCOMPARE(gbk.encoding, QStringLiteral("GB18030"));
    QCOMPARE(gbk.questions.size(), 2);
    QVERIFY2(gbk.questions[0].text.startsWith(QStringLiteral("三角形的内角和是")), qPrintable(gbk.questions[0].text));
    QCOMPARE(gbk.questions[1].answer, QStringLiteral("4"));

    // GIFT and a Moodle XML file without a declaration are decoded the same way; a declared
    // encoding is the XML reader's.
    const QString gift = QStringLiteral("// 分数:3 难度:中等\n::q1:: −3 的相反数是 3。{T}\n");
    const ImportedPaper fromGift = exchange::readDocument(writeFile(dir.filePath("q.gift"), encoded(gift, "GB18030")));
    QCOMPARE(fromGift.encoding, QStringLiteral("GB18030"));
    QCOMPARE(fromGift.questions.size(), 1);
    QVERIFY2(fromGift.questions[0].text.contains(QStringLiteral("−3 的相反数是 3。")),
             qPrintable(fromGift.questions[0].text));
    const QString xml = QStringLiteral(
        "<quiz><question type=\"essay\"><name><text>q</text></name><questiontext format=\"html\"><text>¾ 的倒数"
        "</text></questiontext></question></quiz>");
    const ImportedPaper fromXml = exchange::readDocument(writeFile(dir.filePath("q.xml"), encoded(xml, "GB18030")));
    QCOMPARE(fromXml.encoding, QStringLiteral("GB18030"));
    QCOMPARE(fromXml.questions.size(), 1);
    QVERIFY2(fromXml.questions[0].text.contains(QStringLiteral("¾ 的倒数")), qPrintable(fromXml.questions[0].text));
    const ImportedPaper declared = exchange::readDocument(
        writeFile(dir.filePath("declared.xml"),
                  encoded(QStringLiteral("<?xml version=\"1.0\" encoding=\"GB18030\"?>") + xml, "GB18030")));
    QVERIFY(declared.encoding.isEmpty());
    QVERIFY(declared.questions.value(0).text.contains(QStringLiteral("¾ 的倒数")));

    // The detection itself, on the cases that decide it.
    QCOMPARE(exchange::detectEncoding(QByteArray("plain ascii")), TextEncoding::Utf8);
    QCOMPARE(exchange::detectEncoding(encoded(QStringLiteral("一二三"), "GB18030")), TextEncoding::Gb18030);
    QCOMPARE(exchange::detectEncoding(QByteArray("\x81\x30\x86", 3)), TextEncoding::Automatic);  // cut short
    QCOMPARE(exchange::encodingFromName(QStringLiteral("GBK")), TextEncoding::Gb18030);
    QCOMPARE(exchange::encodingFromName(QStringLiteral("utf-16be")), TextEncoding::Utf16Be);
    QVERIFY(
        refusal([] { exchange::encodingFromName(QStringLiteral("big5")); }).contains(QStringLiteral("不认识的编码")));
}

void TeacherFilesTest::undecodableTextIsRefusedAndNothingIsStored()
{
    Workspace ws;
    seedSubject(ws);
    const QString db = ws.databasePath();
    DM->disconnectFromBank();  // the command takes the bank's lock
    // Bytes no encoding on offer reads: a GB18030 lead byte followed by one that ends no character.
    const QString broken =
        writeFile(ws.root() + QStringLiteral("/broken.txt"), QByteArray("1\xA3\xAE \x81\x7F\xFF 题\n", 11));
    const QStringList import{QStringLiteral("import"),
                             broken,
                             QStringLiteral("--subject"),
                             QStringLiteral("数学"),
                             QStringLiteral("--create"),
                             QStringLiteral("--file"),
                             db};
    Run r = tool(import);
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains(QStringLiteral("文件“broken.txt”的编码无法识别")), qPrintable(r.err));
    QVERIFY(r.err.contains(QStringLiteral("没有导入任何内容")));
    // A GB18030 file read as UTF-8 because the user said so: refused, not stored with "�".
    const QString gb = writeFile(ws.root() + QStringLiteral("/gb.txt"), encoded(kPaper, "GB18030"));
    r = tool({QStringLiteral("import"), gb, QStringLiteral("--subject"), QStringLiteral("数学"),
              QStringLiteral("--encoding"), QStringLiteral("utf-8"), QStringLiteral("--file"), db});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains(QStringLiteral("文件“gb.txt”不能按 UTF-8 编码读取")), qPrintable(r.err));
    r = tool({QStringLiteral("import"), gb, QStringLiteral("--subject"), QStringLiteral("数学"),
              QStringLiteral("--encoding"), QStringLiteral("big5"), QStringLiteral("--file"), db});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains(QStringLiteral("不认识的编码“big5”")), qPrintable(r.err));
    ws.connect();
    QCOMPARE(ws.count(QStringLiteral("stb")), 0);
    QCOMPARE(ws.count(QStringLiteral("txb")), 2);

    // Told the right encoding, the same command stores it, and says which one it read.
    DM->disconnectFromBank();
    r = tool({QStringLiteral("import"), gb, QStringLiteral("--subject"), QStringLiteral("数学"),
              QStringLiteral("--encoding"), QStringLiteral("gbk"), QStringLiteral("--dry-run"),
              QStringLiteral("--file"), db});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains(QStringLiteral("文件编码：GB18030")), qPrintable(r.out));
    QVERIFY(r.out.contains(QStringLiteral("¾ 的倒数是")));
}

void TeacherFilesTest::importWindowShowsTheEncodingAndReadsAgainInTheOneChosen()
{
    QVERIFY2(pandoc_, "pandoc is missing");
    Workspace ws;
    seedSubject(ws);
    const QString gb = writeFile(ws.root() + QStringLiteral("/试卷.txt"), encoded(kPaper, "GB18030"));
    BoxAnswerer boxes;
    auto* window = new ImportWindow(MainF);
    window->show();
    auto* encoding = testing::child<QComboBox>(window, QStringLiteral("ComboBoxBm"));
    auto* used = testing::child<QLabel>(window, QStringLiteral("LabelBm"));
    QVERIFY(encoding && used);
    QCOMPARE(encoding->currentText(), QStringLiteral("自动识别"));
    QCOMPARE(encoding->count(), 5);
    window->ComboBoxKm->setCurrentText(QStringLiteral("数学"));
    window->EditFile->setText(gb);
    QTest::mouseClick(window->BtnRead, Qt::LeftButton);
    QCOMPARE(used->text(), QStringLiteral("已按 GB18030 读取"));
    QCOMPARE(window->TableSt->rowCount(), 2);
    QVERIFY(window->TableSt->item(1, ImportWindow::ColText)
                ->data(Qt::EditRole)
                .toString()
                .startsWith(QStringLiteral("¾ 的倒数是")));

    // The user picks UTF-8: the file does not decode so; the rows read before stay.
    encoding->setFocus();
    QTest::keyClick(encoding, Qt::Key_Down);
    QCOMPARE(encoding->currentText(), QStringLiteral("UTF-8"));
    QVERIFY2(boxes.last().startsWith(QStringLiteral("文件“试卷.txt”不能按 UTF-8 编码读取")), qPrintable(boxes.last()));
    QCOMPARE(window->TableSt->rowCount(), 2);
    QCOMPARE(used->text(), QStringLiteral("已按 GB18030 读取"));
    // GB18030 chosen: read again in it, and stored as read.
    QTest::keyClick(encoding, Qt::Key_Down);
    QCOMPARE(encoding->currentText(), QStringLiteral("GB18030"));
    QCOMPARE(used->text(), QStringLiteral("已按 GB18030 读取"));
    QCOMPARE(window->TableSt->rowCount(), 2);
    // UTF-16 LE on a GB18030 file (an odd number of bytes here) is refused as well.
    QTest::keyClick(encoding, Qt::Key_Down);
    QCOMPARE(encoding->currentText(), QStringLiteral("UTF-16 LE"));
    QVERIFY2(boxes.last().contains(QStringLiteral("不能按 UTF-16 LE 编码读取")), qPrintable(boxes.last()));
    QTest::keyClick(encoding, Qt::Key_Up);
    boxes.clear();
    QTest::mouseClick(window->BtnImport, Qt::LeftButton);
    QVERIFY2(boxes.last().startsWith(QStringLiteral("已导入 2 道试题：选择题 2 道。")), qPrintable(boxes.last()));
    QCOMPARE(ws.scalar(QStringLiteral("SELECT da FROM stb WHERE th='002'")), QStringLiteral("A"));
    QVERIFY(ws.scalar(QStringLiteral("SELECT tm FROM stb WHERE th='002'")).startsWith(QStringLiteral("¾ 的倒数是")));
    QCOMPARE(ws.count(QStringLiteral("stb"), QStringLiteral("tm LIKE ?"), {QStringLiteral("%\uFFFD%")}), 0);
}

void TeacherFilesTest::docAndWpsAreReadThroughLibreOffice()
{
    if (!office_) QSKIP("soffice is not installed");
    QVERIFY2(pandoc_, "pandoc is missing");
    QTemporaryDir dir;
    // LibreOffice writes the Word 97-2003 and the .docx forms of the same paper.
    QVERIFY(testing::convertWithLibreOffice({QStringLiteral(EXCHANGE_TEST_DATA "/paper_layouts.fodt")},
                                            QStringLiteral("doc:MS Word 97"), dir.path()));
    QVERIFY(testing::convertWithLibreOffice({QStringLiteral(EXCHANGE_TEST_DATA "/paper_layouts.fodt")},
                                            QStringLiteral("docx"), dir.path()));
    const QString doc = dir.filePath(QStringLiteral("paper_layouts.doc"));
    QVERIFY(QFile::exists(doc));
    const ImportedPaper fromDocx = exchange::readDocument(dir.filePath(QStringLiteral("paper_layouts.docx")));
    const ImportedPaper fromDoc = exchange::readDocument(doc);
    QCOMPARE(fromDoc.questions.size(), 8);
    QCOMPARE(contentsWithoutFormulas(fromDoc), contentsWithoutFormulas(fromDocx));
    QVERIFY(fromDoc.questions[0].text.contains(QStringLiteral("\\(\\frac{1}{2}")));
    QVERIFY(fromDoc.encoding.isEmpty());
    // WPS saves its documents in the same binary form; LibreOffice tells them by their content.
    const QString wps = dir.filePath(QStringLiteral("期末试卷.wps"));
    QVERIFY(QFile::copy(doc, wps));
    QCOMPARE(contents(exchange::readDocument(wps)), contents(fromDoc));
    // A damaged one gets our message, not LibreOffice's silence.
    const QString damaged = writeFile(dir.filePath(QStringLiteral("damaged.doc")), QByteArray(4096, '\x07'));
    try {
        // LibreOffice may take unknown bytes for plain text: then nothing is recognised in it.
        QVERIFY(exchange::readDocument(damaged).questions.isEmpty());
    } catch (const AppError& e) {
        QVERIFY2(e.text().startsWith(QStringLiteral("LibreOffice 无法转换“damaged.doc”")), qPrintable(e.text()));
    }

    // Without LibreOffice the message says what to install.
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(dir.path()));
    const QString missing = refusal([&] { exchange::readDocument(doc); });
    qputenv("PATH", path);
    QVERIFY2(missing.contains(QStringLiteral("libreoffice-writer")), qPrintable(missing));
}

void TeacherFilesTest::tenThousandNumberedQuestionsAreAllRecognisedAndCounted()
{
    QStringList lines;
    QStringList key;
    for (int i = 1; i <= 10001; ++i) {
        lines << QStringLiteral("%1．第%1题的题目").arg(i);
        key << QStringLiteral("%1．%2").arg(i).arg(QChar('A' + i % 4));
    }
    lines << QStringLiteral("参考答案") << key.join(QStringLiteral("　")) << QStringLiteral("10002．D");
    const ImportedPaper paper = exchange::recognise(lines);
    QCOMPARE(paper.questions.size(), 10001);
    QCOMPARE(paper.questions[9998].number, QStringLiteral("9999"));
    QCOMPARE(paper.questions[9999].number, QStringLiteral("10000"));
    QCOMPARE(paper.questions[9999].text, QStringLiteral("第10000题的题目"));
    QCOMPARE(paper.questions[9998].answer, QStringLiteral("D"));  // 9999 % 4 == 3
    QCOMPARE(paper.questions[9999].answer, QStringLiteral("A"));
    QCOMPARE(paper.questions[10000].answer, QStringLiteral("B"));
    QCOMPARE(paper.unmatchedKeys.size(), 1);
    QCOMPARE(paper.unmatchedKeys.at(0).text, QStringLiteral("10002．D"));
    for (const auto& q : paper.questions) QVERIFY2(q.warnings.isEmpty(), qPrintable(q.number + q.warnings.join(';')));

    // The summary says what was not stored, besides what was.
    exchange::StoreSummary summary;
    summary.stored = 10001;
    summary.perType = {{QStringLiteral("选择题"), 10001}};
    ImportedPaper withLeftovers = paper;
    withLeftovers.loose.append({1, QStringLiteral("七年级数学")});
    withLeftovers.skippedPictures << QStringLiteral("http://example.org/a.png");
    withLeftovers.keyLinesJoined = 2;
    summary.countUnstored(withLeftovers);
    QCOMPARE(summary.text(), QStringLiteral("已导入 10001 道试题：选择题 10001 道。\n"
                                            "未导入：1 个段落未归入试题，1 条答案没有对应的试题，1 张图片未导入。\n"
                                            "答案中有 2 行没有题号，已并入它前面的答案。"));
}

void TeacherFilesTest::answerKeysAtTheEndAreMatchedByNumber()
{
    const QStringList questions = {QStringLiteral("一、选择题"), QStringLiteral("1．甲"), QStringLiteral("2．乙"),
                                   QStringLiteral("3．丙"),      QStringLiteral("4．丁"), QStringLiteral("5．戊")};
    const auto answers = [](const ImportedPaper& paper) {
        QStringList out;
        for (const auto& q : paper.questions) out << q.answer;
        return out.join(QLatin1Char('|'));
    };
    // One line under its heading, with wide blanks; the fourth a fraction.
    ImportedPaper paper =
        exchange::recognise(questions + QStringList{QStringLiteral("参考答案：1．C　2．A　3．3　4．¾")});
    QCOMPARE(answers(paper), QStringLiteral("C|A|3|¾|"));
    QCOMPARE(paper.questions[4].text, QStringLiteral("戊"));  // nothing appended to the last question
    QVERIFY(paper.loose.isEmpty());
    // Several lines, any separators, a number that names no question.
    paper = exchange::recognise(questions + QStringList{QStringLiteral("参考答案"), QStringLiteral("1.C，2.A；3、B"),
                                                        QStringLiteral("4: D,5．x = 3,  6．A")});
    QCOMPARE(answers(paper), QStringLiteral("C|A|B|D|x = 3"));
    QCOMPARE(paper.unmatchedKeys.size(), 1);
    QCOMPARE(paper.unmatchedKeys.at(0).text, QStringLiteral("6．A"));
    QCOMPARE(paper.unmatchedKeys.at(0).paragraph, 9);
    // Runs of choices, with or without a colon, after a section heading too.
    paper = exchange::recognise(questions + QStringList{QStringLiteral("参考答案：1-5 CADBB")});
    QCOMPARE(answers(paper), QStringLiteral("C|A|D|B|B"));
    paper =
        exchange::recognise(questions + QStringList{QStringLiteral("答案："), QStringLiteral("一、选择题 1～3：CAD"),
                                                    QStringLiteral("4—5．bb")});
    QCOMPARE(answers(paper), QStringLiteral("C|A|D|B|B"));
    // A run whose letters do not fit its numbers is not taken for one.
    paper = exchange::recognise(questions + QStringList{QStringLiteral("参考答案"), QStringLiteral("1-5 CAD")});
    QCOMPARE(answers(paper), QStringLiteral("||||"));
    // A question's own "答案：" with part numbers stays its answer.
    paper = exchange::recognise({QStringLiteral("1．求值"), QStringLiteral("答案：1. 5")});
    QCOMPARE(paper.questions.size(), 1);
    QCOMPARE(paper.questions[0].answer, QStringLiteral("1. 5"));

    // A 题号/答案 table, as pandoc reads it from a document: across and down.
    QVERIFY2(pandoc_, "pandoc is missing");
    QTemporaryDir dir;
    const QString across =
        writeFile(dir.filePath(QStringLiteral("across.md")),
                  (questions.join(QStringLiteral("\n\n")) +
                   QStringLiteral("\n\n参考答案\n\n| 题号 | 1 | 2 | 3 | 4 | 5 | 6 |\n"
                                  "|---|---|---|---|---|---|---|\n| 答案 | B | C | A | D | A | C |\n"))
                      .toUtf8());
    paper = exchange::readDocument(across);
    QCOMPARE(answers(paper), QStringLiteral("B|C|A|D|A"));
    QCOMPARE(paper.unmatchedKeys.size(), 1);
    QCOMPARE(paper.unmatchedKeys.at(0).text, QStringLiteral("6．C"));
    QCOMPARE(paper.questions[4].text, QStringLiteral("戊"));
    const QString down = writeFile(dir.filePath(QStringLiteral("down.md")),
                                   (questions.join(QStringLiteral("\n\n")) +
                                    QStringLiteral("\n\n| 题号 | 答案 |\n|---|---|\n| 1 | D |\n| 2 | C |\n| 3 | B |\n"
                                                   "| 4 | A |\n| 5 | 3/4 |\n"))
                                       .toUtf8());
    paper = exchange::readDocument(down);
    QCOMPARE(answers(paper), QStringLiteral("D|C|B|A|3/4"));
    // Any other table is read cell by cell, as before.
    const QString other = writeFile(dir.filePath(QStringLiteral("other.md")),
                                    QStringLiteral("1．下表中 x 的值是\n\n| x | y |\n|---|---|\n| 1 | 2 |\n").toUtf8());
    paper = exchange::readDocument(other);
    QCOMPARE(paper.questions.size(), 1);
    QCOMPARE(paper.questions[0].text, QStringLiteral("下表中 x 的值是\nx\ny\n1\n2"));
}

void TeacherFilesTest::scoresAndDifficultiesAreCheckedAsQuestionEntryChecksThem()
{
    QCOMPARE(fields::scoreProblem(QStringLiteral("5")), QString());
    QCOMPARE(fields::scoreProblem(QStringLiteral("12")), QString());
    QCOMPARE(fields::scoreProblem(QStringLiteral("100")), QStringLiteral("分数“100”不是 1 至 2 位的整数"));
    QCOMPARE(fields::scoreProblem(QStringLiteral("1.5")), QStringLiteral("分数“1.5”不是 1 至 2 位的整数"));
    QCOMPARE(fields::scoreProblem(QStringLiteral("-3")), QStringLiteral("分数“-3”不是 1 至 2 位的整数"));
    QCOMPARE(fields::difficultyProblem(QStringLiteral("较难")), QString());
    QCOMPARE(fields::difficultyProblem(QStringLiteral("很难")),
             QStringLiteral("难度“很难”不是易、较易、中等、较难、难之一"));

    // A heading giving half points: every row of the section is warned and none is stored as is.
    Workspace ws;
    seedSubject(ws);
    ImportedPaper paper =
        exchange::recognise({QStringLiteral("一、选择题（每小题1.5分，共3分）"), QStringLiteral("1．甲（　）"),
                             QStringLiteral("A. 1　B. 2"), QStringLiteral("2．乙（　）"), QStringLiteral("A. 1　B. 2"),
                             QStringLiteral("参考答案：1．A　2．B")});
    QCOMPARE(paper.questions.size(), 2);
    for (auto& q : paper.questions) q.chapterName = QStringLiteral("第一章 有理数");
    const QStringList types{QStringLiteral("选择题")};
    QVERIFY(exchange::rowWarnings(paper.questions[0], types, {QStringLiteral("第一章 有理数")})
                .contains(QStringLiteral("分数“1.5”不是 1 至 2 位的整数")));
    QCOMPARE(refusal([&] { exchange::checkStorable(paper.questions); }),
             QStringLiteral("第 1 行（文件中的第 1 题）的分数“1.5”不是 1 至 2 位的整数，请改正后再导入。"));
    paper.questions[0].score = QStringLiteral("2");
    paper.questions[1].score = QStringLiteral("2");
    paper.questions[1].difficulty = QStringLiteral("超难");
    QCOMPARE(
        refusal([&] {
            DM->transaction({DM->ADOStb},
                            [&] { exchange::storeQuestions(DM->db(), QStringLiteral("02"), paper.questions, {}, {}); });
        }),
        QStringLiteral("第 2 行（文件中的第 2 题）的难度“超难”不是易、较易、中等、较难、难之一，请改正后再导入。"));
    QCOMPARE(ws.count(QStringLiteral("stb")), 0);

    // The import window: the row says why, the import is refused, the row fixed in place stores.
    BoxAnswerer boxes;
    QTemporaryDir dir;
    const QString file = writeFile(dir.filePath(QStringLiteral("half.txt")),
                                   QStringLiteral("一、选择题（每小题1.5分）\n\n1．甲（　）\n\nA. 1　B. 2\n\n"
                                                  "参考答案：1．A\n")
                                       .toUtf8());
    auto* window = new ImportWindow(MainF);
    window->show();
    window->ComboBoxKm->setCurrentText(QStringLiteral("数学"));
    window->EditFile->setText(file);
    QTest::mouseClick(window->BtnRead, Qt::LeftButton);
    QCOMPARE(window->TableSt->rowCount(), 1);
    QVERIFY2(window->TableSt->item(0, ImportWindow::ColWarnings)->text().contains(QStringLiteral("分数“1.5”不是")),
             qPrintable(window->TableSt->item(0, ImportWindow::ColWarnings)->text()));
    QTest::mouseClick(window->BtnImport, Qt::LeftButton);
    QVERIFY2(boxes.last().contains(QStringLiteral("的分数“1.5”不是 1 至 2 位的整数")), qPrintable(boxes.last()));
    QCOMPARE(ws.count(QStringLiteral("stb")), 0);
    window->TableSt->item(0, ImportWindow::ColScore)->setText(QStringLiteral("3"));
    QVERIFY(!window->TableSt->item(0, ImportWindow::ColWarnings)->text().contains(QStringLiteral("分数")));
    QTest::mouseClick(window->BtnImport, Qt::LeftButton);
    QCOMPARE(ws.scalar(QStringLiteral("SELECT fs || nd || da FROM stb")), QStringLiteral("3中等A"));

    // The command line refuses such values before it reads anything.
    const QString db = ws.databasePath();
    DM->disconnectFromBank();
    Run r = tool({QStringLiteral("import"), file, QStringLiteral("--subject"), QStringLiteral("数学"),
                  QStringLiteral("--score"), QStringLiteral("2.5"), QStringLiteral("--file"), db});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains(QStringLiteral("分数“2.5”不是 1 至 2 位的整数")), qPrintable(r.err));
    r = tool({QStringLiteral("import"), file, QStringLiteral("--subject"), QStringLiteral("数学"),
              QStringLiteral("--difficulty"), QStringLiteral("很难"), QStringLiteral("--file"), db});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains(QStringLiteral("难度“很难”不是")), qPrintable(r.err));
    r = tool({QStringLiteral("import"), file, QStringLiteral("--subject"), QStringLiteral("数学"),
              QStringLiteral("--file"), db});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains(QStringLiteral("第 1 行（文件中的第 1 题）的分数“1.5”不是")), qPrintable(r.err));
    ws.connect();
    QCOMPARE(ws.count(QStringLiteral("stb")), 1);
}

void TeacherFilesTest::largePhotosImportAndLinkedPicturesAreListed()
{
    QVERIFY2(pandoc_, "pandoc is missing");
    // A 36-megapixel photograph (6000 × 6000), within the stated 40.
    QImage photo(6000, 6000, QImage::Format_RGB32);
    photo.fill(QColor(200, 220, 240));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(photo.save(&buffer, "JPEG", 40));
    photo = QImage();
    const QByteArray jpeg = buffer.data();
    const content::StoredPicture examined = content::examinePicture(jpeg);
    QCOMPARE(examined.size, QSize(6000, 6000));
    QCOMPARE(examined.mime, QStringLiteral("image/jpeg"));
    // Through an import: the picture comes with the question and is stored.
    QTemporaryDir dir;
    const QString md =
        writeFile(dir.filePath(QStringLiteral("photo.md")),
                  "1．如图所示的建筑物 ![](data:image/jpeg;base64," + jpeg.toBase64() + ")\n\n【答案】略\n");
    const ImportedPaper paper = exchange::readDocument(md);
    QCOMPARE(paper.questions.size(), 1);
    QCOMPARE(paper.questions[0].text, QStringLiteral("如图所示的建筑物 ") + content::pictureMarker(examined.hash));
    QCOMPARE(paper.pictures.size(), 1);

    // A .docx whose picture is only linked: listed, and the row says so; the embedded one is read.
    const QString docx = dir.filePath(QStringLiteral("linked.docx"));
    writeLinkedPictureDocx(docx, smallPng());
    const ImportedPaper linked = exchange::readDocument(docx);
    QCOMPARE(linked.questions.size(), 2);
    QCOMPARE(linked.skippedPictures, QStringList{QStringLiteral("file:///C:/Users/teacher/Pictures/triangle.png")});
    QVERIFY(linked.questions[0].warnings.contains(QStringLiteral("文件中有 1 张图片只是链接（未嵌入文档），未导入")));
    QCOMPARE(linked.pictures.size(), 1);
    QVERIFY(linked.questions[1].text.contains(QStringLiteral("[[图片:")));
    QCOMPARE(linked.questions[0].answer, QStringLiteral("6"));
}

void TeacherFilesTest::foldersNamedLikeDocumentsAreRefusedInChinese()
{
    QTemporaryDir dir;
    for (const char* name : {"题库.xml", "试卷.docx", "练习.txt", "旧卷.doc", "q.gift"}) {
        const QString folder = dir.filePath(QString::fromUtf8(name));
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(refusal([&] { exchange::readDocument(folder); }),
                 QStringLiteral("“%1”是一个文件夹，不是文件。请选择要导入的文件。").arg(QString::fromUtf8(name)));
    }
}

QTEST_MAIN(TeacherFilesTest)
#include "test_teacher_files.moc"
