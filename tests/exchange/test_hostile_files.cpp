// Files built to hurt: packed documents that unpack to gigabytes, Moodle XML that expands entities,
// Markdown naming local files and web addresses, inputs that exhaust pandoc's memory, and texts
// with HTML in them exported to learning platforms. Each is refused with its own message or made
// harmless, and the bank is left as it was.
#include <sys/stat.h>
#include <zip.h>

#include <QBuffer>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QXmlStreamReader>
#include <atomic>

#include "app/application.h"
#include "ui/forms.h"
#include "app/main_window.h"
#include "content/content.h"
#include "content/pandoc.h"
#include "content/zip_guard.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "data/sql.h"
#include "windows/exchange/import_window.h"
#include "exchange/moodle.h"
#include "exchange/paper_import.h"
#include "exchange/question_store.h"
#include "test_support.h"

using testing::Workspace;

namespace {

QByteArray redPng()
{
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// A zip archive holding these entries, deflated.
void writeZip(const QString& path, const QVector<QPair<QByteArray, QByteArray>>& entries)
{
    int error = 0;
    zip_t* zip = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    QVERIFY(zip);
    for (const auto& [name, data] : entries) {
        // libzip reads the buffer when the archive is closed: it must outlive this loop.
        zip_source_t* source = zip_source_buffer(zip, data.constData(), zip_uint64_t(data.size()), 0);
        QVERIFY(source);
        const zip_int64_t index = zip_file_add(zip, name.constData(), source, ZIP_FL_OVERWRITE);
        QVERIFY(index >= 0);
        zip_set_file_compression(zip, zip_uint64_t(index), ZIP_CM_DEFLATE, 9);
    }
    QCOMPARE(zip_close(zip), 0);
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

// A web server on the loopback interface, in its own thread so that it answers while the test's
// thread waits for pandoc; it counts the connections it is asked for.
class Listener : public QThread {
public:
    ~Listener() override
    {
        quit();
        wait();
    }
    std::atomic<int> connections{0};
    quint16 port = 0;
    QSemaphore ready;

protected:
    void run() override
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost);
        port = server.serverPort();
        QObject::connect(&server, &QTcpServer::newConnection, [&] {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                ++connections;
                socket->write("HTTP/1.0 200 OK\r\nContent-Type: image/png\r\n\r\n" + redPng());
                socket->disconnectFromHost();
            }
        });
        ready.release();
        exec();
    }
};

struct Run {
    int code;
    QString out;
    QString err;
};

Run tool(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(EXAVORO_DB_TOOL), args);
    if (!p.waitForFinished(120000)) qFatal("exavoro-db did not finish");
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

const char* const kDocumentStart =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><w:document "
    "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body><w:p><w:r><w:t>";

}  // namespace

class HostileFilesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void cleanup() { testing::closeAllWindows(); }
    void packedDocumentsThatUnpackTooFarAreRefusedBeforePandoc();
    void moodleXmlWithEntitiesIsRefusedAtOnce();
    void markdownPicturesOnThisComputerOrTheWebAreNeitherReadNorFetched();
    void pandocRunsOutOfItsLimitsWithItsOwnMessages();
    void scriptsInTextsLeaveExportsAsTextAndComeBackExact();
};

void HostileFilesTest::packedDocumentsThatUnpackTooFarAreRefusedBeforePandoc()
{
    QTemporaryDir dir;
    // 51 MB of one letter packs to some 50 KB: word/document.xml past its 50 MB.
    const QByteArray body = QByteArray(kDocumentStart) + QByteArray(51 * 1024 * 1024, 'a') +
                            QByteArray("</w:t></w:r></w:p></w:body></w:document>");
    const QString bomb = dir.filePath(QStringLiteral("炸弹.docx"));
    writeZip(bomb, {{"[Content_Types].xml", "<Types/>"}, {"word/document.xml", body}});
    QVERIFY(QFileInfo(bomb).size() < 1024 * 1024);
    QElapsedTimer clock;
    clock.start();
    QString message = refusal([&] { exchange::readDocument(bomb); });
    QVERIFY2(message.contains(QStringLiteral("“炸弹.docx”解压后太大：其中的“word/document.xml”，超过上限 50 MB")),
             qPrintable(message));
    QVERIFY2(clock.elapsed() < 5000, "the directory's figures refuse it without unpacking");

    // The same checks through smaller limits: the sum of entries, their number, the packing ratio.
    const QByteArray megabyte(1024 * 1024, 'b');
    const QString many = dir.filePath(QStringLiteral("many.odt"));
    writeZip(many, {{"a.xml", megabyte}, {"b.xml", megabyte}, {"c.png", megabyte}});
    packed::Limits limits;
    limits.totalBytes = 2 * 1024 * 1024 + 10;
    message = refusal([&] { packed::check(many, QStringLiteral("many.odt"), limits); });
    QVERIFY2(message.contains(QStringLiteral("解压后太大：全部内容，超过上限 2 MB")), qPrintable(message));
    limits = packed::Limits();
    limits.entries = 2;
    message = refusal([&] { packed::check(many, QStringLiteral("many.odt"), limits); });
    QVERIFY2(message.contains(QStringLiteral("包含 3 个文件，超过上限 2 个")), qPrintable(message));
    limits = packed::Limits();
    limits.ratioFloorBytes = 1024 * 1024;
    message = refusal([&] { packed::check(many, QStringLiteral("many.odt"), limits); });
    QVERIFY2(message.contains(QStringLiteral("压缩比异常")), qPrintable(message));
    // Within every limit it passes, and its entries read back whole.
    limits = packed::Limits();
    limits.totalBytes = 3 * 1024 * 1024;
    QVERIFY(refusal([&] { packed::check(many, QStringLiteral("many.odt"), limits); }).isEmpty());
    packed::Archive archive(many, QStringLiteral("many.odt"));
    QCOMPARE(archive.read(QStringLiteral("c.png"), 2 * 1024 * 1024).value_or(QByteArray()), megabyte);
    QVERIFY(!archive.read(QStringLiteral("c.png"), 1024 * 1024 - 1).has_value());
    QVERIFY(!archive.read(QStringLiteral("../c.png"), 2 * 1024 * 1024).has_value());

    // Through the command line as well, the bank untouched.
    Workspace ws;
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('01', '数学')"));
    DM->disconnectFromBank();
    const Run r = tool({QStringLiteral("import"), bomb, QStringLiteral("--subject"), QStringLiteral("数学"),
                        QStringLiteral("--dry-run"), QStringLiteral("--file"), ws.databasePath()});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains(QStringLiteral("解压后太大")), qPrintable(r.err));
    QVERIFY(!r.err.contains(QStringLiteral("文件已损坏")));
}

void HostileFilesTest::moodleXmlWithEntitiesIsRefusedAtOnce()
{
    QTemporaryDir dir;
    // A thousand-fold expansion ten levels deep: 10^10 copies of "lol" if anything expanded it.
    QByteArray laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE quiz [\n<!ENTITY l0 \"lol\">\n";
    for (int i = 1; i <= 10; ++i) {
        laughs += QStringLiteral("<!ENTITY l%1 \"").arg(i).toUtf8();
        for (int k = 0; k < 10; ++k) laughs += QStringLiteral("&l%1;").arg(i - 1).toUtf8();
        laughs += "\">\n";
    }
    laughs +=
        "]>\n<quiz><question type=\"essay\"><questiontext format=\"html\"><text>&l10;</text></questiontext>"
        "</question></quiz>\n";
    const QString path = dir.filePath(QStringLiteral("laughs.xml"));
    writeFile(path, laughs);
    QElapsedTimer clock;
    clock.start();
    QString message = refusal([&] { exchange::readDocument(path); });
    QVERIFY2(message.contains(QStringLiteral("文档类型（DOCTYPE）或实体（ENTITY）声明")), qPrintable(message));
    QVERIFY(clock.elapsed() < 2000);

    // An external entity naming a local file is refused the same way, before it is read.
    const QByteArray external =
        "<?xml version=\"1.0\"?><!DOCTYPE quiz [<!ENTITY secret SYSTEM "
        "\"file:///etc/passwd\">]><quiz><question type=\"essay\"><questiontext><text>"
        "&secret;</text></questiontext></question></quiz>";
    message = refusal([&] { exchange::readMoodleXml(external); });
    QVERIFY2(message.contains(QStringLiteral("DOCTYPE")), qPrintable(message));

    // Nesting deeper than any Moodle file is refused rather than followed down the stack.
    QByteArray deep = "<quiz>";
    for (int i = 0; i < 100000; ++i) deep += "<a>";
    message = refusal([&] { exchange::readMoodleXml(deep); });
    QVERIFY2(message.contains(QStringLiteral("嵌套超过 32 层")), qPrintable(message));

    // A named pipe given as the file is refused at once instead of waiting for a writer.
    const QString pipe = dir.filePath(QStringLiteral("pipe.xml"));
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    message = refusal([&] { exchange::readDocument(pipe); });
    QVERIFY2(message.contains(QStringLiteral("不是普通文件")), qPrintable(message));

    // An ordinary Moodle question with character references still reads.
    const exchange::ImportedPaper paper = exchange::readMoodleXml(
        "<?xml version=\"1.0\"?><quiz><question type=\"essay\"><questiontext format=\"html\"><text>"
        "1 &lt; 2 &amp;&#x4E00;</text></questiontext><graderinfo><text>对</text></graderinfo></question></quiz>");
    QCOMPARE(paper.questions.size(), 1);
    QCOMPARE(paper.questions.first().text, QStringLiteral("1 < 2 &一"));
}

void HostileFilesTest::markdownPicturesOnThisComputerOrTheWebAreNeitherReadNorFetched()
{
    Listener listener;
    listener.start();
    listener.ready.acquire();
    QVERIFY(listener.port != 0);
    Workspace ws;
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('01', '数学')"));
    ws.exec(QStringLiteral("INSERT INTO txb (kmh, txh, txm) VALUES ('01', '01', '选择题')"));
    ws.exec(QStringLiteral("INSERT INTO zjb (kmh, zjh, zjm) VALUES ('01', '01', '函数')"));
    const QString secret = ws.root() + QStringLiteral("/secret.png");
    writeFile(secret, redPng());
    const QString path = ws.root() + QStringLiteral("/练习.md");
    const QString url = QStringLiteral("http://127.0.0.1:%1/x.png").arg(listener.port);
    writeFile(path, QStringLiteral(
                        "一、选择题\n\n1. 看图 ![](%1) 选择\n\n2. 再看 ![](%2) 与 ![](/dev/zero) 和 ![](secret.png)\n\n"
                        "3. 嵌入的图 ![](data:image/png;base64,%3)\n\n答案：\n\n1. A\n2. B\n3. C\n")
                        .arg(url, secret, QString::fromLatin1(redPng().toBase64()))
                        .toUtf8());

    exchange::ImportedPaper paper = exchange::readDocument(path);
    QCOMPARE(paper.questions.size(), 3);
    QCOMPARE(paper.questions[0].text, QStringLiteral("看图 [图片未导入] 选择"));
    QVERIFY(paper.questions[0].warnings.contains(QStringLiteral("有图片未导入（文件只引用了本机文件或网址）")));
    QCOMPARE(paper.questions[1].text, QStringLiteral("再看 [图片未导入] 与 [图片未导入] 和 [图片未导入]"));
    QCOMPARE(paper.skippedPictures,
             (QStringList{url, secret, QStringLiteral("/dev/zero"), QStringLiteral("secret.png")}));
    // A picture written into the file itself is still imported.
    QCOMPARE(paper.pictures.size(), 1);
    QCOMPARE(content::pictureHashes(paper.questions[2].text), QStringList{content::pictureHash(redPng())});
    QVERIFY(!paper.pictures.contains(QString()));

    // The import window says so in its summary and lists each beside the loose paragraphs.
    {
        auto* window = new exchange::ImportWindow(MainF);
        window->show();
        window->ComboBoxKm->setCurrentText(QStringLiteral("数学"));
        window->EditFile->setText(path);
        QTest::mouseClick(window->BtnRead, Qt::LeftButton);
        QVERIFY2(
            window->LabelSummary->text().endsWith(QStringLiteral("4 张图片未导入（文件只引用了本机文件或网址）。")),
            qPrintable(window->LabelSummary->text()));
        QStringList listed;
        for (int i = 0; i < window->ListLoose->count(); ++i) listed << window->ListLoose->item(i)->text();
        QVERIFY2(listed.contains(QStringLiteral("图片未导入：") + secret), qPrintable(listed.join('\n')));
        window->close();
    }

    // Stored: only the embedded picture, never the local one the file names.
    for (exchange::ImportedQuestion& q : paper.questions) q.chapterName = QStringLiteral("函数");
    sql::transaction(DM->db(), [&] {
        exchange::storeQuestions(DM->db(), QStringLiteral("01"), paper.questions, paper.pictures, {});
    });
    QCOMPARE(ws.count(QStringLiteral("pictures")), 1);
    QCOMPARE(ws.scalar(QStringLiteral("SELECT hash FROM pictures")), content::pictureHash(redPng()));

    // The command line's trial run lists them too.
    DM->disconnectFromBank();  // the command takes the bank's lock
    const Run r = tool({QStringLiteral("import"), path, QStringLiteral("--subject"), QStringLiteral("数学"),
                        QStringLiteral("--dry-run"), QStringLiteral("--file"), ws.databasePath()});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains(QStringLiteral("图片未导入（只引用了本机文件或网址，不会读取）：") + url),
             qPrintable(r.out + r.err));
    QVERIFY(r.out.contains(QStringLiteral("试运行：识别出 3 道试题，题库未改变。")));
    QTest::qWait(200);  // a fetch in flight would have reached the listener by now
    QCOMPARE(listener.connections.load(), 0);
    listener.quit();
    listener.wait();
}

void HostileFilesTest::pandocRunsOutOfItsLimitsWithItsOwnMessages()
{
    QTemporaryDir dir;
    // A long table costs pandoc far more memory than its size on disk.
    QByteArray table;
    for (int i = 0; i < 20000; ++i) table += QStringLiteral("| a%1 | b%1 |\n").arg(i).toUtf8();
    const QString path = dir.filePath(QStringLiteral("table.md"));
    writeFile(path, table);
    const QStringList arguments{QStringLiteral("-f"), QStringLiteral("markdown"), QStringLiteral("-t"),
                                QStringLiteral("json"), path};
    pandoc::Limits limits;
    limits.heapMegabytes = 30;
    QString message = refusal([&] { pandoc::run(arguments, QStringLiteral("table.md"), 60000, {}, {}, limits); });
    QVERIFY2(message.startsWith(QStringLiteral("“table.md”太复杂：pandoc 处理它所需的内存超过上限（30 MB）")),
             qPrintable(message));
    QVERIFY(!message.contains(QStringLiteral("文件已损坏")));

    limits = pandoc::Limits();
    limits.outputBytes = 100000;
    message = refusal([&] { pandoc::run(arguments, QStringLiteral("table.md"), 60000, {}, {}, limits); });
    QVERIFY2(message.contains(QStringLiteral("转换出的内容超过")), qPrintable(message));

    limits = pandoc::Limits();
    limits.inputBytes = table.size() - 1;
    message = refusal([&] { pandoc::run(arguments, QStringLiteral("table.md"), 60000, {}, {}, limits); });
    QVERIFY2(message.startsWith(QStringLiteral("“table.md”太大")), qPrintable(message));
    message = refusal([&] {
        pandoc::run({QStringLiteral("-f"), QStringLiteral("markdown"), QStringLiteral("/dev/zero")},
                    QStringLiteral("zero"));
    });
    QVERIFY2(message.contains(QStringLiteral("不是普通文件")), qPrintable(message));

    // With the ordinary limits the same table reads.
    limits = pandoc::Limits();
    limits.inputBytes = table.size();
    QVERIFY(pandoc::run(arguments, QStringLiteral("table.md"), 60000, {}, {}, limits).startsWith("{\"pandoc-api"));

    // A formula conversion to .docx fetches and embeds no picture its LaTeX names.
    Listener listener;
    listener.start();
    listener.ready.acquire();
    const QString latex = dir.filePath(QStringLiteral("formula.tex"));
    writeFile(dir.filePath(QStringLiteral("secret.tex")), "SECRETWORDS");
    writeFile(latex, QStringLiteral("\\(x^2\\) \\includegraphics{http://127.0.0.1:%1/x.png} "
                                    "\\includegraphics{%2} \\input{%3}\n")
                         .arg(listener.port)
                         .arg(dir.filePath(QStringLiteral("table.md")), dir.filePath(QStringLiteral("secret")))
                         .toUtf8());
    const QString docx = dir.filePath(QStringLiteral("formula.docx"));
    pandoc::run({QStringLiteral("--from=latex"), QStringLiteral("--to=docx"), QStringLiteral("--output"), docx, latex},
                QStringLiteral("公式"));
    packed::Archive archive(docx, QStringLiteral("formula.docx"));
    const QByteArray document = archive.read(QStringLiteral("word/document.xml"), 1 << 20).value_or(QByteArray());
    QVERIFY(document.contains("m:oMath"));
    QVERIFY(!document.contains("a:blip"));
    QVERIFY(!document.contains("SECRETWORDS"));  // nor the text of a local file it names
    // A .docx named only by the output file's extension goes the same way, from standard input.
    const QString named = dir.filePath(QStringLiteral("named.docx"));
    pandoc::run({QStringLiteral("-f"), QStringLiteral("markdown"), QStringLiteral("-o"), named},
                QStringLiteral("named"), 60000,
                QStringLiteral("题目 ![](http://127.0.0.1:%1/y.png) 完").arg(listener.port).toUtf8());
    const QByteArray namedXml = packed::Archive(named, QStringLiteral("named.docx"))
                                    .read(QStringLiteral("word/document.xml"), 1 << 20)
                                    .value_or(QByteArray());
    QVERIFY(namedXml.contains("题目"));
    QVERIFY(!namedXml.contains("a:blip"));
    QTest::qWait(200);
    QCOMPARE(listener.connections.load(), 0);
    listener.quit();
    listener.wait();
}

void HostileFilesTest::scriptsInTextsLeaveExportsAsTextAndComeBackExact()
{
    Workspace ws;
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('01', '数学')"));
    ws.exec(QStringLiteral("INSERT INTO txb (kmh, txh, txm) VALUES ('01', '01', '解答题')"));
    ws.exec(QStringLiteral("INSERT INTO zjb (kmh, zjh, zjm) VALUES ('01', '01', '函数')"));
    const QString text = QStringLiteral(
        "<script>alert('x')</script> <img src=x onload=\"alert(1)\"> &lt; &amp;amp; "
        "\\(a<b\\) a{b}~c=d#e:f");
    const QString answer = QStringLiteral("<b onmouseover=steal()>粗</b>\n第二行 &#60;");
    ws.exec(QStringLiteral(
                "INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da) VALUES ('01','01','001','01','易','5',?,?)"),
            {text, answer});

    const QByteArray xml = exchange::exportMoodleXml(DM->db(), {QStringLiteral("01"), {}, {}});
    // What Moodle renders as HTML holds no element of the text: every "<" of it is escaped.
    QXmlStreamReader reader(xml);
    QStringList htmls;
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QLatin1String("text"))
            htmls << reader.readElementText();
    }
    QVERIFY(!reader.hasError());
    const QString all = htmls.join(QLatin1Char('\n'));
    QVERIFY2(all.contains(QStringLiteral("&lt;script&gt;")), qPrintable(all));
    QVERIFY(!all.contains(QStringLiteral("<script")));
    QVERIFY(!all.contains(QStringLiteral("<img src=x")));
    QVERIFY(!all.contains(QStringLiteral("<b ")));
    exchange::ImportedPaper back = exchange::readMoodleXml(xml);
    QCOMPARE(back.questions.size(), 1);
    QCOMPARE(back.questions.first().text, text);
    QCOMPARE(back.questions.first().answer, answer);

    const QByteArray gift = exchange::exportGift(DM->db(), {QStringLiteral("01"), {}, {}});
    QVERIFY2(!gift.contains("<script") && !gift.contains("<img src=x") && !gift.contains("<b "), gift.constData());
    // The essay's answer stands escaped in the comment line "// 答案:" before the question (GIFT has
    // no field for graders), never in the general feedback students see.
    QVERIFY2(gift.contains(QStringLiteral("// 答案:&lt;b onmouseover\\=steal()&gt;粗&lt;/b&gt;<br>第二行 &amp;\\#60;\n")
                               .toUtf8()),
             gift.constData());
    QVERIFY(!gift.contains("####"));
    back = exchange::readGift(QString::fromUtf8(gift));
    QCOMPARE(back.questions.size(), 1);
    QCOMPARE(back.questions.first().text, text);
    QCOMPARE(back.questions.first().answer, answer);
}

QTEST_MAIN(HostileFilesTest)
#include "test_hostile_files.moc"
