// Knowledge points (知识点) through the exchange: Moodle XML carries them as tags ("上级/名称"),
// imports link the stored questions to them (creating the missing ones) in the question's own
// transaction, 导入试题 shows them per row and adds those of its 知识点 field (EditZsdDr) to every
// question, also of a Word document, and exavoro-db import keeps them and takes --knowledge.
// Runs on a bank file and, as server/exchange/..., on a PostgreSQL server.
#include <QComboBox>
#include <QCompleter>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTest>

#include "app/application.h"
#include "app/main_window.h"
#include "content/content.h"
#include "data/data_module.h"
#include "data/knowledge_points.h"
#include "data/sql.h"
#include "exchange/knowledge_tags.h"
#include "exchange/moodle.h"
#include "exchange/question_store.h"
#include "test_support.h"
#include "ui/forms.h"
#include "windows/exchange/import_window.h"

using exchange::ImportWindow;
using testing::BoxAnswerer;
using testing::Workspace;

namespace {

// 数学 (02) with two types and a chapter, and an empty 物理 (03) with the same types and chapter.
void seedSubjects(Workspace& ws)
{
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('02', '数学'), ('03', '物理')"));
    ws.exec(
        QStringLiteral("INSERT INTO txb (kmh, txh, txm) VALUES ('02', '01', '选择题'), ('02', '02', '解答题'),"
                       " ('03', '01', '选择题'), ('03', '02', '解答题')"));
    ws.exec(QStringLiteral("INSERT INTO zjb (kmh, zjh, zjm) VALUES ('02', '01', '第一章'), ('03', '01', '第一章')"));
    ws.refreshDatasets();
}

qint64 addQuestion(Workspace& ws, const QString& txh, const QString& th, const QString& text, const QString& answer,
                   const QString& difficulty = QStringLiteral("易"))
{
    ws.exec(
        QStringLiteral("INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da) VALUES ('02', ?, ?, '01', ?, '3', ?, ?)"),
        {txh, th, difficulty, text, answer});
    return ws.scalar(QStringLiteral("SELECT id FROM stb WHERE kmh='02' AND txh=? AND th=?"), {txh, th}).toLongLong();
}

// The points of every question of a subject, by question text.
QMap<QString, QStringList> pointsByText(const QString& kmh)
{
    QSqlDatabase db = DM->db();
    QMap<QString, QStringList> result;
    for (sql::Reader r(db, QStringLiteral("SELECT id, tm FROM stb WHERE kmh=? ORDER BY id"), {kmh}); r.next();)
        result.insert(r.text(1), knowledge::namesOfQuestion(db, r.int64(0)));
    return result;
}

QStringList allPaths(const QString& kmh)
{
    QSqlDatabase db = DM->db();
    QStringList paths = knowledge::paths(db, kmh).values();
    paths.sort();
    return paths;
}

QByteArray quiz(const QByteArray& questions)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quiz>\n" + questions + "</quiz>\n";
}

QByteArray essay(const QByteArray& text, const QByteArray& tags)
{
    return "<question type=\"essay\"><name><text>q</text></name>"
           "<questiontext format=\"html\"><text>" +
           text + "</text></questiontext><defaultgrade>2</defaultgrade><tags>" + tags + "</tags></question>\n";
}

QByteArray tag(const QByteArray& text)
{
    return "<tag><text>" + text + "</text></tag>";
}

// Types Chinese text key by key, as an input method delivers it (QTest::keyClicks knows only ASCII).
void typeText(QWidget* widget, const QString& text)
{
    for (const QChar c : text) QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

ImportWindow* openWindow(const QString& file, const QString& subject = QStringLiteral("数学"))
{
    auto* window = new ImportWindow(MainF);
    window->show();
    window->ComboBoxKm->setCurrentText(subject);
    window->EditFile->setText(file);
    QTest::mouseClick(window->BtnRead, Qt::LeftButton);
    return window;
}

}  // namespace

class KnowledgeExchangeTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void cleanup() { testing::closeAllWindows(); }
    void exportWritesEachPointsPathAsASortedEscapedTag();
    void roundTripIntoAnEmptySubjectKeepsEveryQuestionsPoints();
    void pointPathsAreCleanedAndBounded();
    void hostileTagsAreCutWithWarningsAndStoredWithoutHarm();
    void importWindowShowsTheRowsPointsAndAddsTheFieldsToEveryQuestion();
    void importWindowWithAnEmptyFieldImportsAsBefore();
    void wordDocumentTakesThePointsOfTheField();
    void commandLineImportKeepsTagsAndTakesKnowledgeOption();
};

void KnowledgeExchangeTest::exportWritesEachPointsPathAsASortedEscapedTag()
{
    Workspace ws;
    seedSubjects(ws);
    QSqlDatabase db = DM->db();
    const qint64 choice = addQuestion(ws, QStringLiteral("01"), QStringLiteral("001"),
                                      QStringLiteral("1+1=？\nA. 1\nB. 2"), QStringLiteral("B"));
    const qint64 bare = addQuestion(ws, QStringLiteral("02"), QStringLiteral("001"), QStringLiteral("证明勾股定理。"),
                                    QStringLiteral("略"));
    const qint64 plain = addQuestion(ws, QStringLiteral("02"), QStringLiteral("002"), QStringLiteral("解方程 x+1=2。"),
                                     QStringLiteral("x=1"), QString());
    knowledge::setNamesForQuestion(db, choice, QStringLiteral("02"),
                                   {QStringLiteral("代数/整数加法"), QStringLiteral("A&B<C>"), QStringLiteral("代数")});
    knowledge::setNamesForQuestion(db, plain, QStringLiteral("02"), {QStringLiteral("代数/方程")});

    const QString xml = QString::fromUtf8(exchange::exportMoodleXml(DM->db(), {QStringLiteral("02"), {}, {}}));
    // The difficulty first, then the paths sorted, escaped as every other text.
    QVERIFY2(xml.contains(
                 QStringLiteral("        <tags>\n"
                                "            <tag>\n                <text>难度:易</text>\n            </tag>\n"
                                "            <tag>\n                <text>A&amp;B&lt;C&gt;</text>\n            </tag>\n"
                                "            <tag>\n                <text>代数</text>\n            </tag>\n"
                                "            <tag>\n                <text>代数/整数加法</text>\n            </tag>\n"
                                "        </tags>")),
             qPrintable(xml));
    // A question without points has its difficulty tag alone, as before; one without either no tags.
    QVERIFY(
        xml.contains(QStringLiteral("<tags>\n            <tag>\n                <text>难度:易</text>\n"
                                    "            </tag>\n        </tags>")));
    QCOMPARE(xml.count(QStringLiteral("<tags>")), 3);
    QVERIFY(xml.contains(QStringLiteral("<text>代数/方程</text>")));
    Q_UNUSED(bare);

    // Our reader takes them back: the points, the difficulty still as the difficulty.
    const exchange::ImportedPaper paper = exchange::readMoodleXml(xml.toUtf8());
    QCOMPARE(paper.questions.size(), 3);
    QCOMPARE(paper.questions.at(0).knowledge,
             (QStringList{QStringLiteral("A&B<C>"), QStringLiteral("代数"), QStringLiteral("代数/整数加法")}));
    QCOMPARE(paper.questions.at(0).difficulty, QStringLiteral("易"));
    QVERIFY(paper.questions.at(1).knowledge.isEmpty());
    QCOMPARE(paper.questions.at(2).knowledge, QStringList{QStringLiteral("代数/方程")});
    for (const exchange::ImportedQuestion& q : paper.questions)
        QVERIFY2(q.warnings.isEmpty(), qPrintable(q.warnings.join(u'；')));
}

void KnowledgeExchangeTest::roundTripIntoAnEmptySubjectKeepsEveryQuestionsPoints()
{
    Workspace ws;
    seedSubjects(ws);
    QSqlDatabase db = DM->db();
    // Three points named 函数 at three depths, made as the tree window makes them.
    const QString kmh = QStringLiteral("02");
    knowledge::add(db, kmh, QStringLiteral("函数"), 0);
    knowledge::add(db, kmh, QStringLiteral("函数"), knowledge::add(db, kmh, QStringLiteral("代数"), 0));
    const qint64 senior = knowledge::add(db, kmh, QStringLiteral("高中"), 0);
    knowledge::add(db, kmh, QStringLiteral("函数"), knowledge::add(db, kmh, QStringLiteral("代数"), senior));
    QMap<QString, QStringList> expected;
    const QVector<QPair<QString, QStringList>> questions = {
        // "高中/代数/函数" comes before "代数/函数" and ends with it: each must come back as itself.
        {QStringLiteral("函数 y=2x 的图像经过哪个象限？"), {QStringLiteral("高中/代数/函数")}},
        {QStringLiteral("一次函数的定义是什么？"), {QStringLiteral("代数/函数"), QStringLiteral("概念")}},
        {QStringLiteral("三角形内角和是多少度？"), {QStringLiteral("几何/三角形"), QStringLiteral("几何")}},
        {QStringLiteral("化简 (a+b)^2。"), {}},
        {QStringLiteral("同名的点：函数"), {QStringLiteral("函数")}},
    };
    int n = 0;
    for (const auto& [text, names] : questions) {
        const qint64 id = addQuestion(ws, QStringLiteral("02"), QStringLiteral("%1").arg(++n, 3, 10, QLatin1Char('0')),
                                      text, QStringLiteral("略"));
        knowledge::setNamesForQuestion(db, id, QStringLiteral("02"), names);
        expected.insert(text, knowledge::namesOfQuestion(db, id));
    }
    QCOMPARE(expected.value(QStringLiteral("三角形内角和是多少度？")),
             (QStringList{QStringLiteral("几何"), QStringLiteral("几何/三角形")}));
    QCOMPARE(expected.value(QStringLiteral("一次函数的定义是什么？")),
             (QStringList{QStringLiteral("代数/函数"), QStringLiteral("概念")}));
    QCOMPARE(expected.value(QStringLiteral("同名的点：函数")), QStringList{QStringLiteral("函数")});
    const QByteArray xml = exchange::exportMoodleXml(DM->db(), {QStringLiteral("02"), {}, {}});

    // Into 物理, which has no points at all: the same links, the same tree.
    exchange::ImportedPaper paper = exchange::readMoodleXml(xml);
    for (exchange::ImportedQuestion& q : paper.questions) q.typeName = QStringLiteral("解答题");
    exchange::StoreSummary summary;
    sql::transaction(DM->db(), [&] {
        summary = exchange::storeQuestions(DM->db(), QStringLiteral("03"), paper.questions, paper.pictures, {});
    });
    QCOMPARE(summary.stored, 5);
    QCOMPARE(pointsByText(QStringLiteral("03")), expected);
    QCOMPARE(allPaths(QStringLiteral("03")), allPaths(QStringLiteral("02")));
    QVERIFY2(summary.text().contains(QStringLiteral("\n新建知识点：")), qPrintable(summary.text()));

    // Imported again into 物理: the existing points are used, none is added.
    const int points = ws.count(QStringLiteral("zsdb"), QStringLiteral("kmh='03'"));
    sql::transaction(DM->db(), [&] {
        summary = exchange::storeQuestions(DM->db(), QStringLiteral("03"), paper.questions, paper.pictures, {});
    });
    QCOMPARE(ws.count(QStringLiteral("zsdb"), QStringLiteral("kmh='03'")), points);
    QVERIFY(summary.createdPoints.isEmpty());
    QVERIFY(!summary.text().contains(QStringLiteral("知识点")));
    QCOMPARE(ws.count(QStringLiteral("stzsd")), 3 * 6);  // 6 links in 02, twice 6 in 03

    // A question that cannot be stored (its picture is missing) rolls back the points made for
    // the questions before it, and their links.
    paper.questions.last().text += QStringLiteral("\n") + content::pictureMarker(QString(64, QLatin1Char('a')));
    const int links = ws.count(QStringLiteral("stzsd"));
    paper.questions.first().knowledge = {QStringLiteral("全新的点")};
    QVERIFY_THROWS_EXCEPTION(AppError, sql::transaction(DM->db(), [&] {
                                 exchange::storeQuestions(DM->db(), QStringLiteral("03"), paper.questions,
                                                          paper.pictures, {});
                             }));
    QCOMPARE(ws.count(QStringLiteral("stzsd")), links);
    QCOMPARE(ws.count(QStringLiteral("zsdb"), QStringLiteral("kmh='03'")), points);
}

void KnowledgeExchangeTest::pointPathsAreCleanedAndBounded()
{
    QStringList warnings;
    // Separators as the entry field reads them; parts trimmed, empty parts and entries dropped.
    QCOMPARE(exchange::pointPaths({QStringLiteral(" 代数 / 方程 ，几何,"), QString(), QStringLiteral("  "),
                                   QStringLiteral("//x///y/"), QStringLiteral("代数/方程")},
                                  &warnings),
             (QStringList{QStringLiteral("代数/方程"), QStringLiteral("几何"), QStringLiteral("x/y")}));
    QVERIFY(warnings.isEmpty());

    // Control characters left out, said once.
    QCOMPARE(exchange::pointPaths({QStringLiteral("函\u0001数\u0085"), QStringLiteral("方\t程\n")}, &warnings),
             (QStringList{QStringLiteral("函数"), QStringLiteral("方程")}));
    QCOMPARE(warnings, QStringList{QStringLiteral("知识点中的控制字符已略去")});

    // A name of exactly 100 characters stays; one of 101 is cut to 100.
    warnings.clear();
    const QString hundred(100, QChar(u'长'));
    QCOMPARE(exchange::pointPaths({hundred}, &warnings), QStringList{hundred});
    QVERIFY(warnings.isEmpty());
    QCOMPARE(exchange::pointPaths({QStringLiteral("上级/") + hundred + QStringLiteral("多")}, &warnings),
             QStringList{QStringLiteral("上级/") + hundred});
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.at(0).contains(QStringLiteral("超过 100 个字，已截短")), qPrintable(warnings.at(0)));
    // Never between the halves of a character beyond the basic plane.
    const QString emoji = QString(99, QChar(u'a')) + QStringLiteral("😀");
    QCOMPARE(exchange::pointPaths({emoji}).value(0), QString(99, QChar(u'a')));

    // Ten levels stay; the eleventh goes.
    warnings.clear();
    QStringList levels;
    for (int i = 1; i <= 11; ++i) levels << QString::number(i);
    QCOMPARE(exchange::pointPaths({levels.mid(0, 10).join(u'/')}, &warnings),
             QStringList{levels.mid(0, 10).join(u'/')});
    QVERIFY(warnings.isEmpty());
    QCOMPARE(exchange::pointPaths({levels.join(u'/')}, &warnings), QStringList{levels.mid(0, 10).join(u'/')});
    QCOMPARE(warnings.size(), 1);

    // Fifty points stay, the fifty-first goes; repeats do not count.
    warnings.clear();
    QStringList many;
    for (int i = 1; i <= 50; ++i) many << QStringLiteral("点%1").arg(i);
    QCOMPARE(exchange::pointPaths(many + many, &warnings), many);
    QVERIFY(warnings.isEmpty());
    QCOMPARE(exchange::pointPaths(many + QStringList{QStringLiteral("点51")}, &warnings), many);
    QCOMPARE(warnings, QStringList{QStringLiteral("知识点超过 50 个，只导入前 50 个")});
}

void KnowledgeExchangeTest::hostileTagsAreCutWithWarningsAndStoredWithoutHarm()
{
    Workspace ws;
    seedSubjects(ws);
    QByteArray many;
    for (int i = 0; i < 5000; ++i) many += tag("标签" + QByteArray::number(i));
    const QByteArray huge(200000, 'x');
    const QByteArray xml =
        quiz(essay("多标签", many) +
             essay("奇怪的标签", tag("") + tag("   ") + tag("a，b,c") + tag("/x//y/") + tag("\xC2\x85控制\tX") +
                                     tag(huge) + tag("难度:难") + "<tag/><other><text>不是标签</text></other>") +
             essay("没有标签", ""));
    const exchange::ImportedPaper paper = exchange::readMoodleXml(xml);
    QCOMPARE(paper.questions.size(), 3);
    const exchange::ImportedQuestion& first = paper.questions.at(0);
    QCOMPARE(first.knowledge.size(), 50);
    QCOMPARE(first.knowledge.first(), QStringLiteral("标签0"));
    QCOMPARE(first.knowledge.last(), QStringLiteral("标签49"));
    QVERIFY(first.warnings.contains(QStringLiteral("知识点超过 50 个，只导入前 50 个")));
    const exchange::ImportedQuestion& second = paper.questions.at(1);
    QCOMPARE(second.knowledge,
             (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("x/y"),
                          QStringLiteral("控制X"), QString(100, QChar(u'x'))}));
    QCOMPARE(second.difficulty, QStringLiteral("难"));
    QVERIFY(second.warnings.contains(QStringLiteral("知识点中的控制字符已略去")));
    QVERIFY(std::any_of(second.warnings.cbegin(), second.warnings.cend(),
                        [](const QString& w) { return w.contains(QStringLiteral("已截短")); }));
    QVERIFY(paper.questions.at(2).knowledge.isEmpty());
    for (const QString& w : paper.questions.at(2).warnings)
        QVERIFY2(!w.contains(QStringLiteral("知识点")), qPrintable(w));

    // Stored: the points made once each, nothing longer than a name may be.
    QVector<exchange::ImportedQuestion> questions = paper.questions;
    for (exchange::ImportedQuestion& q : questions) {
        q.typeName = QStringLiteral("解答题");
        q.chapterName = QStringLiteral("第一章");
    }
    sql::transaction(DM->db(),
                     [&] { exchange::storeQuestions(DM->db(), QStringLiteral("02"), questions, paper.pictures, {}); });
    const QMap<QString, QStringList> stored = pointsByText(QStringLiteral("02"));
    QCOMPARE(stored.value(QStringLiteral("多标签")).size(), 50);
    QCOMPARE(stored.value(QStringLiteral("奇怪的标签")),
             (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("x/y"),
                          QString(100, QChar(u'x')), QStringLiteral("控制X")}));
    QVERIFY(stored.value(QStringLiteral("没有标签")).isEmpty());
    QCOMPARE(ws.count(QStringLiteral("zsdb"), QStringLiteral("kmh='02'")), 57);  // 50 + a b c x y 控制X xx…
    QCOMPARE(ws.scalar(QStringLiteral("SELECT MAX(LENGTH(zsdm)) FROM zsdb")).toInt(), 100);
}

void KnowledgeExchangeTest::importWindowShowsTheRowsPointsAndAddsTheFieldsToEveryQuestion()
{
    Workspace ws;
    seedSubjects(ws);
    QSqlDatabase db = DM->db();
    const qint64 algebra = knowledge::add(db, QStringLiteral("02"), QStringLiteral("代数"), 0);
    knowledge::add(db, QStringLiteral("02"), QStringLiteral("方程"), algebra);
    const QString path = ws.writeFile(QStringLiteral("quiz.xml"),
                               quiz(essay("第一题", tag("难度:中等") + tag("代数/方程") + tag("几何")) +
                                    essay("第二题", "") + essay("第三题", tag("函数"))));
    BoxAnswerer boxes;
    ImportWindow* window = openWindow(path);
    QCOMPARE(window->TableSt->rowCount(), 3);
    QCOMPARE(window->TableSt->horizontalHeaderItem(ImportWindow::ColKnowledge)->text(), QStringLiteral("知识点"));
    auto cell = [&](int row) { return window->TableSt->item(row, ImportWindow::ColKnowledge)->text(); };
    QCOMPARE(cell(0), QStringLiteral("代数/方程，几何"));
    QCOMPARE(cell(1), QString());
    QCOMPARE(cell(2), QStringLiteral("函数"));
    QVERIFY(window->TableSt->item(0, ImportWindow::ColKnowledge)->flags() & Qt::ItemIsEditable);

    // The row's points edited in the grid.
    window->TableSt->item(2, ImportWindow::ColKnowledge)->setText(QStringLiteral(" 函数 / 一次函数 , 图像 "));
    QCOMPARE(window->paper().questions.at(2).knowledge,
             (QStringList{QStringLiteral("函数/一次函数"), QStringLiteral("图像")}));
    QCOMPARE(cell(2), QStringLiteral("函数/一次函数，图像"));
    QVERIFY(boxes.texts.isEmpty());
    // A name too long is cut, and said so.
    window->TableSt->item(1, ImportWindow::ColKnowledge)->setText(QString(120, QChar(u'长')));
    QCOMPARE(cell(1), QString(100, QChar(u'长')));
    QVERIFY2(boxes.last().contains(QStringLiteral("超过 100 个字，已截短")), qPrintable(boxes.last()));
    window->TableSt->item(1, ImportWindow::ColKnowledge)->setText(QString());
    QCOMPARE(cell(1), QString());

    // The whole-import field, completed from the subject's paths.
    QLineEdit* field = testing::child<QLineEdit>(window, QStringLiteral("EditZsdDr"));
    QVERIFY(field);
    QCOMPARE(testing::child<QLabel>(window, QStringLiteral("LabelZsdDr"))->text(), QStringLiteral("知识点："));
    QVERIFY(field->text().isEmpty());
    QVERIFY(field->completer());
    field->setFocus();
    typeText(field, QStringLiteral("课标，方"));
    QCOMPARE(field->text(), QStringLiteral("课标，方"));
    QCompleter* completer = field->completer();
    completer->setCompletionPrefix(completer->splitPath(field->text()).value(0));
    QCOMPARE(completer->completionCount(), 1);
    QVERIFY(completer->setCurrentRow(0));
    // Taking it replaces only the name being typed.
    QCOMPARE(completer->currentCompletion(), QStringLiteral("课标，代数/方程"));
    field->setText(completer->currentCompletion());

    QTest::mouseClick(window->BtnImport, Qt::LeftButton);
    QVERIFY2(boxes.last().startsWith(QStringLiteral("已导入 3 道试题")), qPrintable(boxes.texts.join(u'|')));
    QVERIFY2(boxes.last().contains(QStringLiteral("\n新建知识点：课标、几何、图像、函数/一次函数")),
             qPrintable(boxes.last()));
    const QMap<QString, QStringList> stored = pointsByText(QStringLiteral("02"));
    QCOMPARE(stored.value(QStringLiteral("第一题")),
             (QStringList{QStringLiteral("代数/方程"), QStringLiteral("几何"), QStringLiteral("课标")}));
    QCOMPARE(stored.value(QStringLiteral("第二题")),
             (QStringList{QStringLiteral("代数/方程"), QStringLiteral("课标")}));
    QCOMPARE(stored.value(QStringLiteral("第三题")),
             (QStringList{QStringLiteral("代数/方程"), QStringLiteral("函数/一次函数"), QStringLiteral("图像"),
                          QStringLiteral("课标")}));
    QCOMPARE(ws.scalar(QStringLiteral("SELECT nd FROM stb WHERE tm=?"), {QStringLiteral("第一题")}),
             QStringLiteral("中等"));

    // A field whose names are too long is refused before anything is stored.
    boxes.clear();
    const int questions = ws.count(QStringLiteral("stb"));
    window = openWindow(path);
    window->EditZsdDr->setText(QString(101, QChar(u'长')));
    QTest::mouseClick(window->BtnImport, Qt::LeftButton);
    QCOMPARE(boxes.last(),
             QStringLiteral("“知识点”一栏：知识点“%1…”超过 100 个字。请改正后再导入。").arg(QString(20, QChar(u'长'))));
    QCOMPARE(ws.count(QStringLiteral("stb")), questions);
    QVERIFY(window->isVisible());
}

void KnowledgeExchangeTest::importWindowWithAnEmptyFieldImportsAsBefore()
{
    Workspace ws;
    seedSubjects(ws);
    const QString path = ws.writeFile(QStringLiteral("quiz.gift"), "::a::0 是正数。{F}\n\n::b::1 是奇数。{T}\n");
    BoxAnswerer boxes;
    ImportWindow* window = openWindow(path);
    QCOMPARE(window->TableSt->rowCount(), 2);
    QCOMPARE(window->TableSt->item(0, ImportWindow::ColKnowledge)->text(), QString());
    QTest::mouseClick(window->BtnImport, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), 2);  // the new type, then the summary
    QCOMPARE(boxes.last(), QStringLiteral("已导入 2 道试题：判断题 2 道。\n新建题型：判断题"));
    QCOMPARE(ws.count(QStringLiteral("stzsd")), 0);
    QCOMPARE(ws.count(QStringLiteral("zsdb")), 0);
}

void KnowledgeExchangeTest::wordDocumentTakesThePointsOfTheField()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pandoc")).isEmpty()) QSKIP("pandoc is not installed");
    Workspace ws;
    seedSubjects(ws);
    const QString markdown = ws.writeFile(QStringLiteral("paper.md"),
                                   "一、解答题（每小题5分）\n\n"
                                   "1\\. 求函数 y=x+1 与 x 轴的交点。\n\n"
                                   "2\\. 解方程 2x=6。\n\n"
                                   "3\\. 画出 y=-x 的图像。\n");
    const QString docx = ws.root() + QStringLiteral("/paper.docx");
    QCOMPARE(QProcess::execute(QStringLiteral("pandoc"), {markdown, QStringLiteral("-o"), docx}), 0);
    BoxAnswerer boxes;
    ImportWindow* window = openWindow(docx);
    QCOMPARE(window->TableSt->rowCount(), 3);
    for (int row = 0; row < 3; ++row)
        QCOMPARE(window->TableSt->item(row, ImportWindow::ColKnowledge)->text(), QString());
    window->EditZsdDr->setFocus();
    typeText(window->EditZsdDr, QStringLiteral("代数/一次函数，期中"));
    QTest::mouseClick(window->BtnImport, Qt::LeftButton);
    QVERIFY2(boxes.last().startsWith(QStringLiteral("已导入 3 道试题：解答题 3 道。")),
             qPrintable(boxes.texts.join(u'|')));
    QVERIFY(boxes.last().contains(QStringLiteral("\n新建知识点：期中、代数/一次函数")));
    const QMap<QString, QStringList> stored = pointsByText(QStringLiteral("02"));
    QCOMPARE(stored.size(), 3);
    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        QCOMPARE(it.value(), (QStringList{QStringLiteral("代数/一次函数"), QStringLiteral("期中")}));
    QCOMPARE(allPaths(QStringLiteral("02")),
             (QStringList{QStringLiteral("代数"), QStringLiteral("代数/一次函数"), QStringLiteral("期中")}));
}

void KnowledgeExchangeTest::commandLineImportKeepsTagsAndTakesKnowledgeOption()
{
    if (testing::onServer()) QSKIP("exavoro-db import works on the bank file");
    Workspace ws;
    seedSubjects(ws);
    const QString path =
        ws.writeFile(QStringLiteral("quiz.xml"), quiz(essay("第一题", tag("代数/方程")) + essay("第二题", "")));
    const QString db = ws.databasePath();
    DM->disconnectFromBank();  // the command takes the bank's lock
    auto run = [&](const QStringList& extra, QString* output) {
        QProcess p;
        p.start(QStringLiteral(EXAVORO_DB_TOOL),
                QStringList{QStringLiteral("import"), path, QStringLiteral("--subject"), QStringLiteral("数学"),
                            QStringLiteral("--type"), QStringLiteral("解答题"), QStringLiteral("--file"), db} +
                    extra);
        if (!p.waitForFinished(120000)) return -1;
        *output = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
        return p.exitCode();
    };
    QString out;
    QCOMPARE(run({QStringLiteral("--dry-run"), QStringLiteral("--knowledge"), QStringLiteral("期中")}, &out), 0);
    QVERIFY2(out.contains(QStringLiteral("\t知识点：代数/方程，期中\n")), qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("\t知识点：期中\n")), qPrintable(out));
    QCOMPARE(run({QStringLiteral("--knowledge"), QString(101, QChar(u'长'))}, &out), 1);
    QVERIFY2(out.contains(QStringLiteral("--knowledge：知识点“%1…”超过 100 个字。").arg(QString(20, QChar(u'长')))),
             qPrintable(out));
    QCOMPARE(run({QStringLiteral("--knowledge"), QStringLiteral("期中，代数/方程")}, &out), 0);
    QVERIFY2(out.contains(QStringLiteral("已导入 2 道试题：解答题 2 道。\n新建知识点：期中、代数/方程")),
             qPrintable(out));
    DM->connectTo(db);
    const QMap<QString, QStringList> stored = pointsByText(QStringLiteral("02"));
    QCOMPARE(stored.value(QStringLiteral("第一题")),
             (QStringList{QStringLiteral("代数/方程"), QStringLiteral("期中")}));
    QCOMPARE(stored.value(QStringLiteral("第二题")),
             (QStringList{QStringLiteral("代数/方程"), QStringLiteral("期中")}));
}

QTEST_MAIN(KnowledgeExchangeTest)
#include "test_knowledge_exchange.moc"
