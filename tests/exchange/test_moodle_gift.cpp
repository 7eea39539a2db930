// Moodle XML and GIFT out of and into the bank, and the import/export commands of exavoro-db.
#include <QBuffer>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QXmlStreamReader>

#include "app/application.h"
#include "ui/forms.h"
#include "app/main_window.h"
#include "content/content.h"
#include "data/data_module.h"
#include "data/sql.h"
#include "windows/exchange/export_window.h"
#include "exchange/moodle.h"
#include "exchange/question_store.h"
#include "test_support.h"

using testing::Workspace;

namespace {

QByteArray png()
{
    QImage image(12, 9, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A subject with two types, two chapters and three questions holding formulas and a picture.
QString seed(Workspace& ws)
{
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('01', '数学')"));
    ws.exec(
        QStringLiteral("INSERT INTO txb (kmh, txh, txm) VALUES ('01', '01', '选择题'), ('01', '02', '解答/计算题')"));
    ws.exec(QStringLiteral("INSERT INTO zjb (kmh, zjh, zjm) VALUES ('01', '01', '函数'), ('01', '02', '几何')"));
    const QString hash = content::storePicture(DM->db(), png());
    const QString marker = content::pictureMarker(hash);
    const auto add = [&](const char* txh, const char* th, const char* zjh, const char* nd, const char* fs,
                         const QString& tm, const QString& da) {
        ws.exec(
            QStringLiteral("INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da) VALUES ('01', ?, ?, ?, ?, ?, ?, ?)"),
            {QString::fromLatin1(txh), QString::fromLatin1(th), QString::fromLatin1(zjh), QString::fromUtf8(nd),
             QString::fromLatin1(fs), tm, da});
    };
    add("01", "001", "01", "易", "3", QStringLiteral("若 \\(f(x)=x^{2}\\)，则 f(2) = ?\nA. 2\nB. 4 <C> & D"),
        QStringLiteral("B"));
    add("02", "001", "02", "较难", "12",
        QStringLiteral("如图 ") + marker + QStringLiteral(" 求面积：\\[S=\\frac{1}{2}ab\\] {a:b} ~=#"),
        QStringLiteral("解：见图 ") + marker);
    add("02", "002", "01", "中等", "25", QStringLiteral("化简 \\(\\sqrt{8}\\)"), QStringLiteral("\\(2\\sqrt{2}\\)"));
    return hash;
}

struct Stored {
    QString type, chapter, nd, fs, tm, da;
    bool operator==(const Stored&) const = default;
};

QVector<Stored> bank(Workspace& ws)
{
    QVector<Stored> rows;
    for (sql::Reader r(
             DM->db(),
             QStringLiteral("SELECT t.txm, z.zjm, s.nd, s.fs, s.tm, s.da FROM stb s JOIN txb t ON t.kmh=s.kmh AND "
                            "t.txh=s.txh JOIN zjb z ON z.kmh=s.kmh AND z.zjh=s.zjh ORDER BY t.txm, s.tm"));
         r.next();)
        rows.append({r.text(0), r.text(1), r.text(2), r.text(3), r.text(4), r.text(5)});
    Q_UNUSED(ws);
    return rows;
}

// Empties the questions and pictures, stores `paper` again into subject 01 and returns the summary.
exchange::StoreSummary reimport(Workspace& ws, const exchange::ImportedPaper& paper)
{
    ws.exec(QStringLiteral("DELETE FROM stb"));
    ws.exec(QStringLiteral("DELETE FROM pictures"));
    exchange::StoreSummary summary;
    sql::transaction(DM->db(), [&] {
        summary = exchange::storeQuestions(DM->db(), QStringLiteral("01"), paper.questions, paper.pictures, {});
    });
    return summary;
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
    if (!p.waitForFinished(120000)) qFatal("exavoro-db did not finish");
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

}  // namespace

class MoodleGiftTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void cleanup() { testing::closeAllWindows(); }
    void moodleXmlIsWellFormedWithCategoriesAndEmbeddedPictures();
    void moodleRoundTripKeepsTextsFormulasPicturesScoresDifficultiesAndChapters();
    void moodleQuestionKindsFromOtherPlatforms();
    void giftRoundTripAndGiftChoices();
    void literalEntitiesSurviveBothRoundTripsAndGiftRightAnswerLast();
    void commandLineImportAndExport();
    void exportWindowWritesTheChosenScopeAndAsksBeforeOverwriting();
};

void MoodleGiftTest::moodleXmlIsWellFormedWithCategoriesAndEmbeddedPictures()
{
    Workspace ws;
    const QString hash = seed(ws);
    int count = 0;
    const QByteArray xml = exchange::exportMoodleXml(DM->db(), {QStringLiteral("01"), {}, {}}, &count);
    QCOMPARE(count, 3);
    QXmlStreamReader reader(xml);
    QStringList categories;
    QString category;
    int questions = 0;
    QStringList elements;  // child elements of the current question
    QByteArray embedded;
    QString questionType;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == QLatin1String("question")) {
            questionType = reader.attributes().value(QStringLiteral("type")).toString();
            elements.clear();
        } else if (reader.isStartElement() && reader.name() == QLatin1String("file")) {
            QCOMPARE(reader.attributes().value(QStringLiteral("encoding")).toString(), QStringLiteral("base64"));
            embedded = QByteArray::fromBase64(reader.readElementText().toLatin1());
        } else if (reader.isStartElement()) {
            elements << reader.name().toString();
            if (reader.name() == QLatin1String("text") &&
                elements.value(elements.size() - 2) == QLatin1String("category"))
                categories << (category = reader.readElementText());
        } else if (reader.isEndElement() && reader.name() == QLatin1String("question") && questionType != "category") {
            ++questions;
            // The choice question whose answer names an option goes out as multiple choice.
            QCOMPARE(questionType, questions == 1 ? QStringLiteral("multichoice") : QStringLiteral("essay"));
            for (const char* required : {"name", "questiontext", "defaultgrade"})
                QVERIFY2(elements.contains(QLatin1String(required)), required);
            QCOMPARE(elements.contains(QLatin1String("graderinfo")), questionType == QLatin1String("essay"));
            QCOMPARE(elements.count(QLatin1String("answer")), questionType == QLatin1String("essay") ? 0 : 2);
            QVERIFY(!category.isEmpty());  // every question follows a category
        }
    }
    QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
    QCOMPARE(questions, 3);
    QCOMPARE(categories, (QStringList{QStringLiteral("$course$/top/数学/选择题/函数"),
                                      QStringLiteral("$course$/top/数学/解答//计算题/函数"),
                                      QStringLiteral("$course$/top/数学/解答//计算题/几何")}));
    QCOMPARE(embedded, content::loadPicture(DM->db(), hash)->data);
    QVERIFY(xml.contains(QStringLiteral("@@PLUGINFILE@@/%1.png").arg(hash).toUtf8()));
    QVERIFY(xml.contains("\\(f(x)=x^{2}\\)"));
    QVERIFY(xml.contains("<defaultgrade>25</defaultgrade>"));
    QVERIFY(xml.contains(QStringLiteral("<text>难度:较难</text>").toUtf8()));

    // Export of one type and one chapter only.
    exchange::exportMoodleXml(DM->db(), {QStringLiteral("01"), QStringLiteral("02"), QStringLiteral("01")}, &count);
    QCOMPARE(count, 1);
}

void MoodleGiftTest::moodleRoundTripKeepsTextsFormulasPicturesScoresDifficultiesAndChapters()
{
    Workspace ws;
    seed(ws);
    const QVector<Stored> before = bank(ws);
    const QByteArray xml = exchange::exportMoodleXml(DM->db(), {QStringLiteral("01"), {}, {}});
    const exchange::ImportedPaper paper = exchange::readMoodleXml(xml);
    QCOMPARE(paper.questions.size(), 3);
    QCOMPARE(paper.pictures.size(), 1);
    const exchange::StoreSummary summary = reimport(ws, paper);
    QCOMPARE(summary.stored, 3);
    QVERIFY(summary.createdTypes.isEmpty() && summary.createdChapters.isEmpty());
    QCOMPARE(bank(ws), before);
    QCOMPARE(ws.count(QStringLiteral("pictures")), 1);

    QVERIFY_THROWS_EXCEPTION(AppError, exchange::readMoodleXml("<quiz><question>"));
    QVERIFY_THROWS_EXCEPTION(AppError, exchange::readMoodleXml("<html></html>"));
}

void MoodleGiftTest::moodleQuestionKindsFromOtherPlatforms()
{
    const QByteArray xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<quiz>
 <question type="category"><category><text>$course$/top/Default for 7A</text></category></question>
 <question type="multichoice"><name><text>q1</text></name>
  <questiontext format="html"><text><![CDATA[<p>Which is prime?</p>]]></text></questiontext>
  <defaultgrade>2.0000000</defaultgrade>
  <answer fraction="0"><text>4</text></answer><answer fraction="100"><text>5</text></answer>
  <answer fraction="0"><text>6</text></answer></question>
 <question type="truefalse"><name><text>q2</text></name>
  <questiontext format="html"><text>0 &lt; 1</text></questiontext>
  <answer fraction="100"><text>true</text></answer><answer fraction="0"><text>false</text></answer></question>
 <question type="shortanswer"><name><text>q3</text></name>
  <questiontext format="html"><text>$$x^2$$ at x=3?</text></questiontext>
  <answer fraction="100"><text>9</text></answer><answer fraction="100"><text>nine</text></answer>
  <answer fraction="50"><text>8</text></answer></question>
 <question type="matching"><name><text>q4</text></name><questiontext><text>Match</text></questiontext></question>
</quiz>)";
    const exchange::ImportedPaper paper = exchange::readMoodleXml(xml);
    QCOMPARE(paper.questions.size(), 3);
    QCOMPARE(paper.questions[0].typeName, QStringLiteral("选择题"));
    QCOMPARE(paper.questions[0].text, QStringLiteral("Which is prime?\nA. 4\nB. 5\nC. 6"));
    QCOMPARE(paper.questions[0].answer, QStringLiteral("B"));
    QCOMPARE(paper.questions[0].score, QStringLiteral("2"));
    QCOMPARE(paper.questions[1].typeName, QStringLiteral("判断题"));
    QCOMPARE(paper.questions[1].text, QStringLiteral("0 < 1"));
    QCOMPARE(paper.questions[1].answer, QStringLiteral("对"));
    QCOMPARE(paper.questions[2].text, QStringLiteral("\\[x^2\\] at x=3?"));
    QCOMPARE(paper.questions[2].answer, QStringLiteral("9；nine"));
    QCOMPARE(paper.loose.size(), 1);  // the matching question is listed, not dropped
}

void MoodleGiftTest::giftRoundTripAndGiftChoices()
{
    Workspace ws;
    seed(ws);
    const QVector<Stored> before = bank(ws);
    int count = 0;
    const QByteArray gift = exchange::exportGift(DM->db(), {QStringLiteral("01"), {}, {}}, &count);
    QCOMPARE(count, 3);
    QVERIFY(gift.contains("$CATEGORY: $course$/top/"));
    QVERIFY(gift.contains("\\{a\\:b\\} \\~\\=\\#"));  // GIFT's special characters escaped
    // GIFT has no field for graders: an essay's answer stands in a comment line before it, never in
    // the general feedback students see.
    QVERIFY(gift.contains(QStringLiteral("// 答案:解：见图 <img src\\=\"data\\:image/png;base64,").toUtf8()));
    QVERIFY(gift.contains("// 答案:\\\\(2\\\\sqrt\\{2\\}\\\\)\n"));
    QVERIFY(!gift.contains("####"));
    const exchange::ImportedPaper paper = exchange::readGift(QString::fromUtf8(gift));
    QCOMPARE(paper.questions.size(), 3);
    reimport(ws, paper);
    QCOMPARE(bank(ws), before);

    const exchange::ImportedPaper foreign =
        exchange::readGift(QStringLiteral("// a comment\n::Q1:: 2+2 \\= ? {=4 ~3 ~%-50%5 # wrong}\n\n::Q2:: The sun is "
                                          "a star. {T}\n\nCapital of France? {=Paris =paris}\n\nbroken {"));
    QCOMPARE(foreign.questions.size(), 3);
    QCOMPARE(foreign.questions[0].text, QStringLiteral("2+2 = ?\nA. 4\nB. 3\nC. 5"));
    QCOMPARE(foreign.questions[0].answer, QStringLiteral("A"));
    QCOMPARE(foreign.questions[1].answer, QStringLiteral("对"));
    QCOMPARE(foreign.questions[2].typeName, QStringLiteral("填空题"));
    QCOMPARE(foreign.questions[2].answer, QStringLiteral("Paris；paris"));
    QCOMPARE(foreign.loose.size(), 1);
}

void MoodleGiftTest::literalEntitiesSurviveBothRoundTripsAndGiftRightAnswerLast()
{
    // A text that holds entity names as plain text (an HTML lesson, or a typed "&lt;") must come
    // back as typed, not decoded once more into "<".
    Workspace ws;
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('01', '信息技术')"));
    ws.exec(QStringLiteral("INSERT INTO txb (kmh, txh, txm) VALUES ('01', '01', '填空题')"));
    ws.exec(QStringLiteral("INSERT INTO zjb (kmh, zjh, zjm) VALUES ('01', '01', '网页')"));
    ws.exec(QStringLiteral("INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da) VALUES ('01', '01', '001', '01', "
                           "'中等', '2', ?, ?)"),
            {QStringLiteral("网页中写 &lt; 显示为 <，写 &amp;amp; 显示为 &amp;，&#60; 与 &nbsp; 呢？"),
             QStringLiteral("&lt; 即 <；&#39; 即 '")});
    const QVector<Stored> before = bank(ws);
    reimport(ws, exchange::readMoodleXml(exchange::exportMoodleXml(DM->db(), {QStringLiteral("01"), {}, {}})));
    QCOMPARE(bank(ws), before);
    const QByteArray giftText = exchange::exportGift(DM->db(), {QStringLiteral("01"), {}, {}});
    QVERIFY(giftText.contains("// 答案:&amp;lt; 即 &lt;；&amp;\\#39; 即 '\n"));
    reimport(ws, exchange::readGift(QString::fromUtf8(giftText)));
    QCOMPARE(bank(ws), before);

    // GIFT choices with the right answer last, or in the middle, and without spaces between them.
    const exchange::ImportedPaper gift = exchange::readGift(
        QStringLiteral("1+1=? {~3 =2}\n\n2+2=? {~3 =4 ~5}\n\n3+3=? {~5~7=6}\n\n真分数是? {~3/2 ~5/4 =1/2 =2/3}"));
    QCOMPARE(gift.questions.size(), 4);
    QCOMPARE(gift.questions[0].text, QStringLiteral("1+1=?\nA. 3\nB. 2"));
    QCOMPARE(gift.questions[0].answer, QStringLiteral("B"));
    QCOMPARE(gift.questions[0].typeName, QStringLiteral("选择题"));
    QCOMPARE(gift.questions[1].answer, QStringLiteral("B"));
    QCOMPARE(gift.questions[1].options, 3);
    QCOMPARE(gift.questions[2].text, QStringLiteral("3+3=?\nA. 5\nB. 7\nC. 6"));
    QCOMPARE(gift.questions[2].answer, QStringLiteral("C"));
    QCOMPARE(gift.questions[3].answer, QStringLiteral("CD"));

    // A formula that 录入试题 refuses is refused by the import too, naming the row; nothing is stored.
    exchange::ImportedPaper hostile =
        exchange::readGift(QStringLiteral("求值 {=1}\n\n见 \\(\\input\\{/etc/passwd\\}\\) {=1}"));
    QCOMPARE(hostile.questions.size(), 2);
    QCOMPARE(hostile.questions[1].text, QStringLiteral("见 \\(\\input{/etc/passwd}\\)"));
    for (auto& q : hostile.questions) q.chapterName = QStringLiteral("网页");
    QString refused;
    try {
        reimport(ws, hostile);
    } catch (const AppError& e) {
        refused = e.text();
    }
    QVERIFY2(refused.startsWith(
                 QStringLiteral("第 2 行（文件中的第 2 题）的题目无法导入：公式“\\input{/etc/passwd}”无法使用")),
             qPrintable(refused));
    QCOMPARE(ws.count(QStringLiteral("stb")), 0);
}

void MoodleGiftTest::commandLineImportAndExport()
{
    Workspace ws;
    seed(ws);
    const QString db = ws.databasePath();
    const QString xmlPath = ws.root() + QStringLiteral("/out.xml");
    DM->disconnectFromBank();  // the command takes the bank's lock

    Run r =
        tool({QStringLiteral("export"), QStringLiteral("--subject"), QStringLiteral("数学"), QStringLiteral("--format"),
              QStringLiteral("moodle"), QStringLiteral("-o"), xmlPath, QStringLiteral("--file"), db});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains(QStringLiteral("已导出 3 道试题")), qPrintable(r.out + r.err));
    r = tool({QStringLiteral("export"), QStringLiteral("--subject"), QStringLiteral("数学"), QStringLiteral("--format"),
              QStringLiteral("moodle"), QStringLiteral("-o"), xmlPath, QStringLiteral("--file"), db});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains(QStringLiteral("已存在，不会覆盖")), qPrintable(r.err));
    r = tool({QStringLiteral("export"), QStringLiteral("--subject"), QStringLiteral("数学"), QStringLiteral("--format"),
              QStringLiteral("pdf"), QStringLiteral("-o"), ws.root() + "/x", QStringLiteral("--file"), db});
    QCOMPARE(r.code, 1);
    QVERIFY(r.err.contains(QStringLiteral("--format moodle 或 --format gift")));

    // A GIFT file whose question has a type the subject lacks.
    const QString giftPath = ws.root() + QStringLiteral("/new.gift");
    QFile gift(giftPath);
    QVERIFY(gift.open(QIODevice::WriteOnly));
    gift.write("Is 7 prime? {T}\n\n1+1 = ? {=2 ~3}\n");
    gift.close();
    const QStringList import{QStringLiteral("import"),    giftPath,
                             QStringLiteral("--subject"), QStringLiteral("数学"),
                             QStringLiteral("--chapter"), QStringLiteral("几何"),
                             QStringLiteral("--score"),   QStringLiteral("2"),
                             QStringLiteral("--file"),    db};
    r = tool(import + QStringList{QStringLiteral("--dry-run")});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains(QStringLiteral("试运行：识别出 2 道试题，题库未改变。")), qPrintable(r.out + r.err));
    QVERIFY(r.out.contains(QStringLiteral("判断题\t几何\t中等\t2")));
    r = tool(import);
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains(QStringLiteral("科目中没有题型：判断题。")), qPrintable(r.err));
    r = tool(import + QStringList{QStringLiteral("--create")});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains(QStringLiteral("已导入 2 道试题：判断题 1 道，选择题 1 道。")), qPrintable(r.out + r.err));
    r = tool({QStringLiteral("import"), xmlPath, QStringLiteral("--file"), db});
    QCOMPARE(r.code, 1);
    QVERIFY(r.err.contains(QStringLiteral("请用 --subject 指定")));

    DM->connectTo(db);
    QCOMPARE(ws.count(QStringLiteral("stb")), 5);
    QCOMPARE(ws.scalar(QStringLiteral("SELECT th || zjh || fs || da FROM stb WHERE txh='01' ORDER BY id DESC LIMIT 1")),
             QStringLiteral("00202"
                            "2"
                            "A"));
}

void MoodleGiftTest::exportWindowWritesTheChosenScopeAndAsksBeforeOverwriting()
{
    Workspace ws;
    seed(ws);
    QVERIFY(MainF->DCST && MainF->TKGL->actions().contains(MainF->DCST));
    testing::BoxAnswerer boxes;
    exchange::ExportWindow window(MainF);
    window.show();
    window.ComboBoxKm->setCurrentText(QStringLiteral("数学"));
    window.ComboBoxTx->setCurrentText(QStringLiteral("解答/计算题"));
    window.RadioGift->setChecked(true);
    const QString path = ws.root() + QStringLiteral("/数学.gift");
    window.EditFile->setText(path);
    QTest::mouseClick(window.BtnExport, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("已导出 2 道试题到“%1”。").arg(QDir::toNativeSeparators(path)));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray gift = file.readAll();
    file.close();
    const exchange::ImportedPaper paper = exchange::readGift(QString::fromUtf8(gift));
    QCOMPARE(paper.questions.size(), 2);
    QCOMPARE(paper.questions[0].typeName, QStringLiteral("解答/计算题"));

    // An existing file is overwritten only when the user agrees.
    window.RadioMoodle->setChecked(true);
    window.ComboBoxTx->setCurrentIndex(0);  // every type
    boxes.clear();
    boxes.queue(QMessageBox::Cancel);
    QTest::mouseClick(window.BtnExport, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{QStringLiteral("文件“数学.gift”已存在，是否覆盖？")});
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), gift);
    file.close();
    boxes.queue(QMessageBox::Ok);
    QTest::mouseClick(window.BtnExport, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("已导出 3 道试题到“%1”。").arg(QDir::toNativeSeparators(path)));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(exchange::readMoodleXml(file.readAll()).questions.size(), 3);
    file.close();

    // A scope without questions writes nothing.
    window.ComboBoxTx->setCurrentText(QStringLiteral("选择题"));
    window.ComboBoxZj->setCurrentText(QStringLiteral("几何"));
    window.EditFile->setText(ws.root() + QStringLiteral("/empty.xml"));
    QTest::mouseClick(window.BtnExport, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("没有可导出的试题！"));
    QVERIFY(!QFile::exists(ws.root() + QStringLiteral("/empty.xml")));
}

QTEST_MAIN(MoodleGiftTest)
#include "test_moodle_gift.moc"
