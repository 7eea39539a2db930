// Reading Moodle's own Moodle XML and GIFT files: kinds of questions and their types, categories as
// chapters, partial credit, HTML, pictures, feedback, files known by their content, the import
// window's type per kind and the command line's --type.
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "app/application.h"
#include "app/main_window.h"
#include "content/content.h"
#include "data/data_module.h"
#include "exchange/moodle.h"
#include "exchange/question_store.h"
#include "test_support.h"
#include "ui/forms.h"
#include "windows/exchange/import_window.h"

using exchange::ImportedPaper;
using exchange::ImportedQuestion;
using testing::BoxAnswerer;
using testing::Workspace;

namespace {

QByteArray fixture(const QString& name)
{
    QFile file(QStringLiteral(EXCHANGE_TEST_DATA "/moodle/") + name);
    if (!file.open(QIODevice::ReadOnly)) qFatal("missing fixture %s", qPrintable(name));
    return file.readAll();
}

QString write(const Workspace& ws, const QString& name, const QByteArray& bytes)
{
    const QString path = ws.root() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write %s", qPrintable(path));
    file.write(bytes);
    return path;
}

// The first question whose text starts with `start`, or a null question.
const ImportedQuestion* find(const ImportedPaper& paper, const QString& start, int skip = 0)
{
    for (const ImportedQuestion& q : paper.questions)
        if (q.text.startsWith(start) && skip-- == 0) return &q;
    return nullptr;
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

// A subject whose types are named a little differently from the defaults of the kinds.
void seedSubject(Workspace& ws)
{
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('01', '数学')"));
    ws.exec(
        QStringLiteral("INSERT INTO txb (kmh, txh, txm) VALUES ('01', '01', '单项选择题'), ('01', '02', '判断题'), "
                       "('01', '03', '解答题')"));
    ws.exec(QStringLiteral("INSERT INTO zjb (kmh, zjh, zjm) VALUES ('01', '01', '函数')"));
}

}  // namespace

class MoodleReadingTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void cleanup() { testing::closeAllWindows(); }
    void moodleXmlFixturesGiveKindsChaptersPicturesAndListUnsupported();
    void moodleXmlPartialCreditNumericalFeedbackAndHtml();
    void giftExamplesOfMoodlesDocumentation();
    void giftFixtureOfMoodlesTests();
    void giftCommentsAreCheckedAndNoBlockIsLost();
    void filesAreKnownByTheirContent();
    void importWindowMapsKindsToTypesAndListsUnsupported();
    void commandLineTypeOverridesAndUnsupportedListed();
};

void MoodleReadingTest::moodleXmlFixturesGiveKindsChaptersPicturesAndListUnsupported()
{
    const ImportedPaper nested =
        exchange::readMoodleXml(fixture(QStringLiteral("nested_categories_with_questions.xml")));
    QCOMPARE(nested.questions.size(), 5);
    QStringList chapters;
    QStringList kinds;
    for (const ImportedQuestion& q : nested.questions) {
        chapters << q.chapterName;
        kinds << q.sourceKind;
    }
    // Categories are chapters (the last element of the path), never types.
    QCOMPARE(chapters, (QStringList{QStringLiteral("Iota"), QStringLiteral("Kappa"), QStringLiteral("Kappa"),
                                    QStringLiteral("Lambda"), QStringLiteral("Mu")}));
    QCOMPARE(kinds, (QStringList{QStringLiteral("truefalse"), QStringLiteral("essay"), QStringLiteral("truefalse"),
                                 QStringLiteral("truefalse"), QStringLiteral("truefalse")}));
    QCOMPARE(nested.questions[0].text, QStringLiteral("Testing Iota Question"));
    QCOMPARE(nested.questions[0].answer, QStringLiteral("对"));
    QCOMPARE(nested.questions[0].typeName, QStringLiteral("判断题"));
    QCOMPARE(nested.questions[0].score, QStringLiteral("1"));
    QCOMPARE(nested.questions[1].text, QStringLiteral("Testing Kappa Essay Question"));
    QCOMPARE(nested.questions[1].typeName, QStringLiteral("解答题"));
    // $course$/Iota/Kappa/Lambda names a type "Kappa" only for a subject that has one.
    const QStringList subject{QStringLiteral("单项选择题"), QStringLiteral("判断题")};
    QCOMPARE(exchange::typeForSubject(nested.questions[3], {}, subject), QStringLiteral("判断题"));
    QCOMPARE(exchange::typeForSubject(nested.questions[3], {}, subject + QStringList{QStringLiteral("Kappa")}),
             QStringLiteral("Kappa"));
    QCOMPARE(exchange::typeForSubject(nested.questions[1], {}, subject), QStringLiteral("解答题"));
    QVERIFY(nested.unsupported.isEmpty());

    const ImportedPaper old =
        exchange::readMoodleXml(fixture(QStringLiteral("sample_questions_with_old_image_tag.xml")));
    QCOMPARE(old.questions.size(), 1);
    const ImportedQuestion& mcq = old.questions[0];
    QCOMPARE(mcq.chapterName, QStringLiteral("Default for Test images in backup"));
    QCOMPARE(mcq.typeName, QStringLiteral("选择题"));
    QCOMPARE(old.pictures.size(), 1);
    const QString marker = content::pictureMarker(old.pictures.keys().first());
    QCOMPARE(mcq.text,
             QStringLiteral("This is a multichoice question with an image in the old \"image\" field that was "
                            "used in Moodle 1.9\n") +
                 marker + QStringLiteral("\nA. wrong answer\nB. another wrong answer\nC. right answer"));
    QCOMPARE(mcq.answer, QStringLiteral("C"));
    QCOMPARE(mcq.options, 3);
    // The cloze question is listed by its kind and as a paragraph, not dropped in silence.
    QCOMPARE(old.unsupported, (QVector<QPair<QString, int>>{{QStringLiteral("cloze"), 1}}));
    QCOMPARE(old.loose.size(), 1);
    QVERIFY(old.loose[0].text.startsWith(QStringLiteral("不支持的题目类型“cloze”")));
}

void MoodleReadingTest::moodleXmlPartialCreditNumericalFeedbackAndHtml()
{
    const QByteArray xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<quiz>
 <question type="category"><category><text>$course$/top/Default for 7A</text></category></question>
 <question type="multichoice"><questiontext format="html"><text>Where was he from?</text></questiontext>
  <single>true</single>
  <answer fraction="0"><text>Jerusalem</text><feedback><text>Not the city of his birth.</text></feedback></answer><answer fraction="25"><text>Bethlehem</text><feedback><text></text></feedback></answer>
  <answer fraction="50"><text>Galilee</text></answer><answer fraction="100"><text>Nazareth</text></answer></question>
 <question type="multichoice"><questiontext format="html"><text>Two right</text></questiontext>
  <single>false</single>
  <generalfeedback format="html"><text>&lt;p&gt;答案：A、C。两者都对。&lt;/p&gt;</text></generalfeedback>
  <answer fraction="50"><text>&lt;p&gt;one&lt;/p&gt;</text></answer><answer fraction="-50"><text>two</text></answer>
  <answer fraction="50"><text>three</text></answer></question>
 <question type="truefalse"><questiontext format="plain_text"><text>If a&lt;b and b&gt;c then a&lt;c.</text></questiontext>
  <generalfeedback format="html"><text>Take a=1, b=3, c=2.</text></generalfeedback>
  <answer fraction="0"><text>true</text></answer><answer fraction="100"><text>false</text></answer></question>
 <question type="numerical"><questiontext format="html"><text><![CDATA[<p>Area of x<sup>2</sup> = 9, x<sub>1</sub><sup>2</sup> &gt; 0?</p><ul><li>one</li><li>two &amp;lt; three</li></ul>]]></text></questiontext>
  <answer fraction="100"><text>3</text><tolerance>0.5</tolerance></answer>
  <answer fraction="100"><text>-3</text><tolerance>0</tolerance></answer>
  <answer fraction="50"><text>4</text><tolerance>0</tolerance></answer></question>
 <question type="essay"><questiontext format="markdown"><text>Prove **this** &lt;b&gt;now&lt;/b&gt;</text></questiontext>
  <generalfeedback format="html"><text>Seen by students</text></generalfeedback>
  <graderinfo format="html"><text><![CDATA[<p>Line one</p><p>(a+b)<sup>2</sup></p>]]></text></graderinfo></question>
 <question type="description"><questiontext><text>Just words</text></questiontext></question>
 <question type="ordering"><questiontext><text>Order them</text></questiontext></question>
 <question type="description"><questiontext><text>More words</text></questiontext></question>
</quiz>)";
    const ImportedPaper paper = exchange::readMoodleXml(xml);
    QCOMPARE(paper.questions.size(), 5);
    // One right answer: only the answer worth 100% is right (Moodle gives the others part of the mark).
    // Feedback of one answer stays with the answer, named by its option.
    QCOMPARE(paper.questions[0].answer, QStringLiteral("D\n各答案的反馈：\nA：Not the city of his birth."));
    QCOMPARE(paper.questions[0].chapterName, QStringLiteral("Default for 7A"));
    // Several right answers: those worth more than nothing; the feedback naming the same key is the answer.
    QCOMPARE(paper.questions[1].text, QStringLiteral("Two right\nA. one\nB. two\nC. three"));
    QCOMPARE(paper.questions[1].answer, QStringLiteral("答案：A、C。两者都对。"));
    // A plain text keeps what looks like a tag; the feedback follows the judgement.
    QCOMPARE(paper.questions[2].text, QStringLiteral("If a<b and b>c then a<c."));
    QCOMPARE(paper.questions[2].answer, QStringLiteral("错\nTake a=1, b=3, c=2."));
    QCOMPARE(paper.questions[2].typeName, QStringLiteral("判断题"));
    // Superscripts and subscripts become formulas, list items lines, references decoded once.
    QCOMPARE(paper.questions[3].text,
             QStringLiteral("Area of \\(x^{2}\\) = 9, \\(x_{1}^{2}\\) > 0?\none\ntwo &lt; three"));
    QCOMPARE(paper.questions[3].answer, QStringLiteral("3±0.5；-3"));
    QCOMPARE(paper.questions[3].typeName, QStringLiteral("填空题"));
    QCOMPARE(paper.questions[3].sourceKind, QStringLiteral("numerical"));
    // Markdown as written; the graders' information and the general feedback both kept.
    QCOMPARE(paper.questions[4].text, QStringLiteral("Prove **this** <b>now</b>"));
    QCOMPARE(paper.questions[4].answer, QStringLiteral("Line one\n\\((a+b)^{2}\\)\nSeen by students"));
    QCOMPARE(paper.unsupported,
             (QVector<QPair<QString, int>>{{QStringLiteral("description"), 2}, {QStringLiteral("ordering"), 1}}));
    QCOMPARE(paper.loose.size(), 3);
    QCOMPARE(exchange::countsText(paper.unsupported), QStringLiteral("description 2 道，ordering 1 道"));
}

void MoodleReadingTest::giftExamplesOfMoodlesDocumentation()
{
    const ImportedPaper paper = exchange::readGift(QString::fromUtf8(fixture(QStringLiteral("examples.txt"))));
    QCOMPARE(paper.questions.size(), 43);
    QVERIFY(paper.loose.isEmpty());
    const ImportedQuestion& first = paper.questions[0];
    QCOMPARE(first.text, QStringLiteral("Who's buried in Grant's tomb?\nA. Grant\nB. Jefferson\nC. no one"));
    QCOMPARE(first.answer, QStringLiteral("C"));
    // Missing word: the blank stands where the answers stood.
    QCOMPARE(paper.questions[1].text,
             QStringLiteral("Grant is ______ in Grant's tomb.\nA. buried\nB. entombed\nC. living"));
    QCOMPARE(paper.questions[1].answer, QStringLiteral("B"));
    QCOMPARE(paper.questions[2].answer, QStringLiteral("错"));
    QCOMPARE(paper.questions[2].sourceKind, QStringLiteral("truefalse"));
    QCOMPARE(paper.questions[3].answer, QStringLiteral("no one；nobody"));
    QCOMPARE(paper.questions[3].typeName, QStringLiteral("填空题"));
    QCOMPARE(paper.questions[4].answer, QStringLiteral("1822±1"));
    QCOMPARE(paper.questions[4].sourceKind, QStringLiteral("numerical"));
    const ImportedQuestion* thanksgiving =
        find(paper, QStringLiteral("The American holiday of Thanksgiving is celebrated"));
    QVERIFY(thanksgiving);
    QCOMPARE(thanksgiving->text, QStringLiteral("The American holiday of Thanksgiving is celebrated on the ______ "
                                                "Thursday of November.\nA. second\nB. third\nC. fourth"));
    QCOMPARE(thanksgiving->answer, QStringLiteral("C"));
    const ImportedQuestion* two = find(paper, QStringLiteral("Two plus two"));
    QVERIFY(two);
    QCOMPARE(two->text, QStringLiteral("Two plus two equals ______."));
    QCOMPARE(two->answer, QStringLiteral("four；4"));
    const ImportedQuestion* capitals =
        find(paper, QStringLiteral("Match the following countries with their corresponding capitals."));
    QVERIFY(capitals);
    QCOMPARE(capitals->sourceKind, QStringLiteral("match"));
    QCOMPARE(capitals->typeName, QStringLiteral("解答题"));
    QCOMPARE(capitals->answer, QStringLiteral("Canada → Ottawa\nItaly → Rome\nJapan → Tokyo\nIndia → New Delhi"));
    QVERIFY(capitals->text.endsWith(
        QStringLiteral("capitals.\nCanada → Ottawa\nItaly → Rome\nJapan → Tokyo\nIndia → New Delhi")));
    // Numerical: a number, a tolerance, a range; a half-credit answer is not the answer.
    const ImportedQuestion* pi = find(paper, QStringLiteral("What is the value of pi"));
    QVERIFY(pi);
    QCOMPARE(pi->text, QStringLiteral("What is the value of pi (to 3 decimal places)? ______."));
    QCOMPARE(pi->answer, QStringLiteral("3.1415±0.0005"));
    QCOMPARE(find(paper, QStringLiteral("What is the value of pi"), 1)->answer, QStringLiteral("3.141～3.142"));
    QCOMPARE(find(paper, QStringLiteral("When was Ulysses S. Grant born?"), 2)->answer, QStringLiteral("1822"));
    QCOMPARE(find(paper, QStringLiteral("What's 2 plus 2?"))->answer, QStringLiteral("4"));
    // A question over two lines keeps its line break; markdown as written.
    QCOMPARE(find(paper, QStringLiteral("Japanese characters originally\n"))->text,
             QStringLiteral("Japanese characters originally\ncame from what country?"));
    QCOMPARE(find(paper, QStringLiteral("Who's buried in **Grant's tomb**?"))->answer,
             QStringLiteral("no one；nobody"));
    QCOMPARE(find(paper, QStringLiteral("Grant is buried in Grant's tomb."), 2)->answer,
             QStringLiteral("错\nNo one is buried in Grant's tomb."));
    // Partial credit in a question with one right answer: Moodle's right answer alone.
    QCOMPARE(find(paper, QStringLiteral("Difficult question."))->answer, QStringLiteral("C"));
    const ImportedQuestion* hometown = find(paper, QStringLiteral("Jesus Christ was from ______."));
    QVERIFY(hometown);
    QCOMPARE(hometown->answer, QStringLiteral("D"));
    QCOMPARE(find(paper, QStringLiteral("Jesus Christ was from"), 1)->answer, QStringLiteral("Nazareth"));
    // No answer marked "=": several right answers, those worth more than nothing.
    QCOMPARE(find(paper, QStringLiteral("What two people are entombed"))->answer, QStringLiteral("BC"));
    QCOMPARE(find(paper, QStringLiteral("What two people are entombed"), 1)->answer, QStringLiteral("BC"));
    // Escaped control characters are plain characters of the options.
    const ImportedQuestion* five = find(paper, QStringLiteral("Which answer equals 5?"));
    QCOMPARE(five->text, QStringLiteral("Which answer equals 5?\nA. = 2 + 2\nB. = 2 + 3\nC. = 2 + 4"));
    QCOMPARE(five->answer, QStringLiteral("B"));
    const ImportedQuestion* control = find(paper, QStringLiteral("Which of the following is NOT a control character"));
    QVERIFY(control);
    QVERIFY2(control->text.endsWith(QStringLiteral("\nA. ~\nB. =\nC. #\nD. {\nE. }\nF. \\")),
             qPrintable(control->text));
    QCOMPARE(control->answer, QStringLiteral("F"));
    QCOMPARE(paper.questions.last().text, QStringLiteral("When was Ulysses S. Grant born?"));
    QCOMPARE(paper.questions.last().answer, QStringLiteral("1822"));
}

void MoodleReadingTest::giftFixtureOfMoodlesTests()
{
    const ImportedPaper paper = exchange::readGift(QString::fromUtf8(fixture(QStringLiteral("questions.gift.txt"))));
    QCOMPARE(paper.questions.size(), 9);
    QCOMPARE(paper.questions[0].text, QStringLiteral("How are you?"));
    QCOMPARE(paper.questions[0].sourceKind, QStringLiteral("essay"));
    // Matching from [html]: the pairs as lines, each side in its own format.
    QCOMPARE(paper.questions[1].text,
             QStringLiteral("Match the activity to the description.\n"
                            "An activity supporting asynchronous discussions. → Forum\n"
                            "A teacher asks a question and specifies a choice of multiple responses. → Choice\n"
                            "A bank of record entries which participants can add to. → Database\n"
                            "A collection of web pages that anyone can add to or edit. → Wiki\n"
                            "→ Chat"));
    QCOMPARE(paper.questions[2].text,
             QStringLiteral("What's between orange and green in the spectrum?\nA. yellow\nB. red\nC. blue"));
    QCOMPARE(paper.questions[2].answer, QStringLiteral("A"));
    QCOMPARE(paper.questions[3].answer, QStringLiteral("AC"));
    QCOMPARE(paper.questions[4].answer, QStringLiteral("3±2"));
    QCOMPARE(paper.questions[5].answer, QStringLiteral("Frog"));
    // {FALSE#feedback when true is chosen#feedback when false is chosen ####general feedback}
    QCOMPARE(paper.questions[6].text, QStringLiteral("42 is the Absolute Answer to everything.______\";"));
    QCOMPARE(paper.questions[6].answer,
             QStringLiteral("错\n42 is the Ultimate Answer.\nYou gave the right answer.\nThis is, of course, a "
                            "Hitchiker's Guide to the Galaxy reference."));
    QCOMPARE(paper.questions[7].answer, QStringLiteral("对"));
    QCOMPARE(paper.questions[8].answer, QStringLiteral("对"));
}

void MoodleReadingTest::giftCommentsAreCheckedAndNoBlockIsLost()
{
    const ImportedPaper paper = exchange::readGift(QStringLiteral(
        "// 分数:abc 难度:<script>\n::q1::1 + 2 \\= {3}\n\n"
        "// 分数:3 难度:较难\n// 答案：两直线平行，同位角相等。\\n所以 ∠1 = ∠2。\n::q2::证明 ∠1 = ∠2。{}\n\n"
        "// 分数:0 难度:中等\n0 分? {=0}\n\n"
        "// 分数:2.5 难度:易\nx \\\\ y {=1}\n\n"
        "以反斜杠结尾的题\\{####答案}\n\n"
        "缺右括号 {=1\n\n"
        "最后一题 {T}"));
    QCOMPARE(paper.questions.size(), 5);
    const ImportedQuestion& q1 = paper.questions[0];
    QCOMPARE(q1.text, QStringLiteral("1 + 2 ="));
    QCOMPARE(q1.answer, QStringLiteral("3"));
    QVERIFY(q1.score.isEmpty());
    QCOMPARE(q1.difficulty, QStringLiteral("中等"));
    QCOMPARE(q1.warnings.size(), 2);
    QVERIFY2(q1.warnings[0].startsWith(QStringLiteral("注释中的分数“abc”")), qPrintable(q1.warnings.join(u'|')));
    QVERIFY2(q1.warnings[1].startsWith(QStringLiteral("注释中的难度“<script>”")), qPrintable(q1.warnings.join(u'|')));
    const ImportedQuestion& q2 = paper.questions[1];
    QCOMPARE(q2.score, QStringLiteral("3"));
    QCOMPARE(q2.difficulty, QStringLiteral("较难"));
    QCOMPARE(q2.answer, QStringLiteral("两直线平行，同位角相等。\n所以 ∠1 = ∠2。"));
    QVERIFY(q2.warnings.isEmpty());
    // 录入试题 takes one or two digits: 0 is taken, 2.5 is not.
    QCOMPARE(paper.questions[2].score, QStringLiteral("0"));
    QVERIFY(paper.questions[3].score.isEmpty());
    QVERIFY2(paper.questions[3].warnings.value(0).contains(QStringLiteral("2.5")),
             qPrintable(paper.questions[3].warnings.join(u'|')));
    QCOMPARE(paper.questions[3].difficulty, QStringLiteral("易"));
    QCOMPARE(paper.questions[3].text, QStringLiteral("x \\ y"));
    QCOMPARE(paper.questions[4].answer, QStringLiteral("对"));
    // The two blocks that cannot be read are listed with their paragraph, the others read on.
    QCOMPARE(paper.loose.size(), 2);
    QVERIFY(paper.loose[0].text.contains(QStringLiteral("以反斜杠结尾的题")));
    QVERIFY(paper.loose[1].text.contains(QStringLiteral("缺右括号")));
    QCOMPARE(paper.loose[1].paragraph, 16);
}

void MoodleReadingTest::filesAreKnownByTheirContent()
{
    Workspace ws;
    using exchange::ExchangeFormat;
    QCOMPARE(exchange::sniffExchangeFormat(fixture(QStringLiteral("examples.txt"))), ExchangeFormat::Gift);
    QCOMPARE(exchange::sniffExchangeFormat(fixture(QStringLiteral("questions.gift.txt"))), ExchangeFormat::Gift);
    QCOMPARE(exchange::sniffExchangeFormat(fixture(QStringLiteral("nested_categories_with_questions.xml"))),
             ExchangeFormat::MoodleXml);
    QCOMPARE(exchange::sniffExchangeFormat("<?xml version=\"1.0\"?><html><body>x</body></html>"),
             ExchangeFormat::Other);
    // A teacher's paper with formulas in braces is no GIFT.
    QCOMPARE(exchange::sniffExchangeFormat(QStringLiteral("一、选择题\n\n1. 若 x^{2} = 4，则 x = {±2}\nA. 2 B. −2\n\n"
                                                          "2. 计算 \\frac{1}{2} + {1}\n")
                                               .toUtf8()),
             ExchangeFormat::Other);
    QCOMPARE(exchange::sniffExchangeFormat(QByteArray("PK\x03\x04\0\0", 6)), ExchangeFormat::Other);
    // Moodle names its GIFT export .txt; a Moodle XML file may be named anything.
    const ImportedPaper gift =
        exchange::readDocument(write(ws, QStringLiteral("quiz-export.txt"), fixture(QStringLiteral("examples.txt"))));
    QCOMPARE(gift.questions.size(), 43);
    const ImportedPaper xml = exchange::readDocument(
        write(ws, QStringLiteral("export.txt"), fixture(QStringLiteral("nested_categories_with_questions.xml"))));
    QCOMPARE(xml.questions.size(), 5);
    QCOMPARE(xml.questions[0].sourceKind, QStringLiteral("truefalse"));
}

void MoodleReadingTest::importWindowMapsKindsToTypesAndListsUnsupported()
{
    Workspace ws;
    seedSubject(ws);
    QByteArray gift =
        "$CATEGORY: $course$/top/函数\n\n"
        "// 分数:4 难度:较易\n::a::2 + 2 \\= ? {=4 ~3 ~5}\n\n"
        "::b::1 是质数。{F}\n\n"
        "::c::3 的平方 {#9}\n\n"
        "::d::说明理由。{}\n\n"
        "Just a description without answers.\n";
    const QString path = write(ws, QStringLiteral("moodle-export.txt"), gift);
    BoxAnswerer boxes;
    exchange::ImportWindow window(MainF);
    window.show();
    window.ComboBoxKm->setCurrentText(QStringLiteral("数学"));
    window.EditFile->setText(path);
    QTest::mouseClick(window.BtnRead, Qt::LeftButton);
    QCOMPARE(window.TableSt->rowCount(), 4);
    QVERIFY(window.TableKinds->isVisible());
    QCOMPARE(window.TableKinds->rowCount(), 4);
    auto kindBox = [&](const char* kind) {
        return window.TableKinds->findChild<QComboBox*>(QStringLiteral("ComboKind_") + QLatin1String(kind));
    };
    QVERIFY(kindBox("multichoice") && kindBox("truefalse") && kindBox("numerical") && kindBox("essay"));
    // The defaults: the subject's type named like 选择题, 判断题, 填空题 (to be created), 解答题.
    QCOMPARE(kindBox("multichoice")->currentText(), QStringLiteral("单项选择题"));
    QCOMPARE(kindBox("truefalse")->currentText(), QStringLiteral("判断题"));
    QCOMPARE(kindBox("numerical")->currentText(), QStringLiteral("填空题"));
    QCOMPARE(window.TableSt->item(0, exchange::ImportWindow::ColType)->text(), QStringLiteral("单项选择题"));
    QCOMPARE(window.TableSt->item(0, exchange::ImportWindow::ColScore)->text(), QStringLiteral("4"));
    QCOMPARE(window.TableSt->item(0, exchange::ImportWindow::ColChapter)->text(), QStringLiteral("函数"));
    QVERIFY2(window.LabelSummary->text().contains(QStringLiteral("不会导入（本程序不支持的题型）：description 1 道。")),
             qPrintable(window.LabelSummary->text()));
    // The numerical questions go to 解答题 instead of a new 填空题: chosen once for the kind.
    kindBox("numerical")->setCurrentText(QStringLiteral("解答题"));
    QCOMPARE(window.TableSt->item(2, exchange::ImportWindow::ColType)->text(), QStringLiteral("解答题"));
    QCOMPARE(window.TableSt->item(1, exchange::ImportWindow::ColType)->text(), QStringLiteral("判断题"));

    QTest::mouseClick(window.BtnImport, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), 1);  // nothing to create: no question asked
    QCOMPARE(boxes.last(), QStringLiteral("已导入 4 道试题：单项选择题 1 道，判断题 1 道，解答题 2 道。\n"
                                          "未导入（本程序不支持的题型）：description 1 道。"));
    QCOMPARE(ws.scalar(QStringLiteral("SELECT tm || '|' || da || '|' || fs || '|' || nd FROM stb WHERE txh='01'")),
             QStringLiteral("2 + 2 = ?\nA. 4\nB. 3\nC. 5|A|4|较易"));
    QCOMPARE(ws.scalar(QStringLiteral("SELECT da FROM stb WHERE txh='02'")), QStringLiteral("错"));
    QCOMPARE(ws.count(QStringLiteral("stb"), QStringLiteral("txh='03'")), 2);
    QCOMPARE(ws.count(QStringLiteral("txb")), 3);
}

void MoodleReadingTest::commandLineTypeOverridesAndUnsupportedListed()
{
    Workspace ws;
    seedSubject(ws);
    const QString db = ws.databasePath();
    const QString xml =
        write(ws, QStringLiteral("images.xml"), fixture(QStringLiteral("sample_questions_with_old_image_tag.xml")));
    DM->disconnectFromBank();  // the command takes the bank's lock
    const QStringList import{QStringLiteral("import"), xml, QStringLiteral("--subject"), QStringLiteral("数学"),
                             QStringLiteral("--file"), db};
    Run r = tool(import + QStringList{QStringLiteral("--dry-run")});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains(QStringLiteral("单项选择题\tDefault for Test images in backup")),
             qPrintable(r.out + r.err));
    QVERIFY2(r.out.contains(QStringLiteral("不会导入（本程序不支持的题型）：cloze 1 道")), qPrintable(r.out));
    // The category is a chapter the subject lacks: created only when asked for.
    r = tool(import);
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains(QStringLiteral("科目中没有章节：Default for Test images in backup。")), qPrintable(r.err));
    r = tool(import + QStringList{QStringLiteral("--type"), QStringLiteral("解答题"), QStringLiteral("--create")});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains(QStringLiteral("已导入 1 道试题：解答题 1 道。")), qPrintable(r.out + r.err));
    QVERIFY2(r.out.contains(QStringLiteral("新建章节：Default for Test images in backup")), qPrintable(r.out));
    QVERIFY2(r.out.contains(QStringLiteral("未导入（本程序不支持的题型）：cloze 1 道。")), qPrintable(r.out));
    DM->connectTo(db);
    QCOMPARE(ws.scalar(QStringLiteral("SELECT txh || '|' || da FROM stb")), QStringLiteral("03|C"));
    QCOMPARE(ws.count(QStringLiteral("pictures")), 1);
    QCOMPARE(ws.count(QStringLiteral("txb")), 3);
}

QTEST_MAIN(MoodleReadingTest)
#include "test_moodle_reading.moc"
