// Importing questions from documents a word processor wrote: the flat ODF sources beside this
// file (real LibreOffice Math objects and a picture) are converted to .docx by LibreOffice during
// the test, then read through pandoc and stored through the import window.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTest>

#include "app/application.h"
#include "ui/forms.h"
#include "app/main_window.h"
#include "content/content.h"
#include "data/errors.h"
#include "windows/exchange/import_window.h"
#include "exchange/paper_import.h"
#include "test_support.h"

using exchange::ImportWindow;
using testing::BoxAnswerer;
using testing::Workspace;

namespace {

// A flat ODF text of `count` numbered questions in one section, each with a formula.
QByteArray largePaper(int count)
{
    QByteArray body = "<text:p>一、选择题（每小题2分）</text:p>\n";
    for (int i = 1; i <= count; ++i) {
        body += QStringLiteral(
                    "<text:p>%1. 第%1题：计算 <draw:frame text:anchor-type=\"as-char\" svg:width=\"1.5cm\" "
                    "svg:height=\"0.8cm\"><draw:object><math:math><math:semantics><math:mrow><math:mi>x</math:mi>"
                    "<math:mo>+</math:mo><math:mn>%1</math:mn></math:mrow><math:annotation "
                    "encoding=\"StarMath 5.0\">x + %1</math:annotation></math:semantics></math:math></draw:object>"
                    "</draw:frame></text:p>\n<text:p>A. 1　B. 2　C. 3　D. 4</text:p>\n"
                    "<text:p>【答案】B</text:p>\n")
                    .arg(i)
                    .toUtf8();
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document "
           "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
           "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
           "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\" "
           "xmlns:svg=\"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0\" "
           "xmlns:math=\"http://www.w3.org/1998/Math/MathML\" office:version=\"1.3\" "
           "office:mimetype=\"application/vnd.oasis.opendocument.text\"><office:body><office:text>\n" +
           body + "</office:text></office:body></office:document>\n";
}

void seedSubject(Workspace& ws)
{
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('01', '语文'), ('02', '数学')"));
    ws.exec(
        QStringLiteral("INSERT INTO txb (kmh, txh, txm) VALUES ('02', '01', '单项选择题'), ('02', '02', '填空题'),"
                       " ('02', '03', '解答题')"));
    ws.exec(QStringLiteral(
        "INSERT INTO zjb (kmh, zjh, zjm) VALUES ('02', '01', '第一章 有理数'), ('02', '02', '第二章 方程')"));
    // An existing question: imported ones are numbered after it.
    ws.exec(
        QStringLiteral("INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da) "
                       "VALUES ('02', '02', '001', '01', '易', '4', '旧题', '旧答案')"));
    ws.refreshDatasets();
}

ImportWindow* openWindow(const QString& file)
{
    auto* window = new ImportWindow(MainF);
    window->show();
    window->ComboBoxKm->setCurrentText(QStringLiteral("数学"));
    window->EditFile->setText(file);
    QTest::mouseClick(window->BtnRead, Qt::LeftButton);
    return window;
}

}  // namespace

class WordImportTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup() { testing::closeAllWindows(); }
    void paperLayoutsAreRecognisedFromTheConvertedDocument();
    void answerKeyLinesAndPartsWithoutPandoc();
    void markdownListsAndDollarMathAreQuestionsToo();
    void keysOfRestartedNumbersLateOptionsAndAnEarlyKeyHeading();
    void importWindowStoresEditedRowsNumberedAfterTheBank();
    void importWindowMarksUngivenChaptersCreatesNamedOnesAndKeepsEditsWhenDeclined();
    void fileWithoutQuestionsAndCorruptDocumentsStoreNothing();
    void cancellingALargeImportHalfwayLeavesTheBankUnchanged();

private:
    bool office_ = false;  // LibreOffice converted the test documents
    bool pandoc_ = false;
    QTemporaryDir converted_;
    QString layouts_;  // paper_layouts.docx
    QString large_;    // a 2,000-question .docx
};

void WordImportTest::initTestCase()
{
    app::setup(*qApp);
    // Only the cases that read the converted documents are skipped without LibreOffice, and only
    // those that read documents fail without pandoc; the others run either way.
    pandoc_ = !QStandardPaths::findExecutable(QStringLiteral("pandoc")).isEmpty();
    if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty()) return;
    QVERIFY(converted_.isValid());
    const QString large = converted_.filePath(QStringLiteral("large_paper.fodt"));
    QFile file(large);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(largePaper(2000)) > 0);
    file.close();
    // One LibreOffice run converts both documents.
    QVERIFY2(testing::convertWithLibreOffice({QStringLiteral(EXCHANGE_TEST_DATA "/paper_layouts.fodt"), large},
                                             QStringLiteral("docx"), converted_.path()),
             "LibreOffice could not convert the test documents");
    layouts_ = converted_.filePath(QStringLiteral("paper_layouts.docx"));
    large_ = converted_.filePath(QStringLiteral("large_paper.docx"));
    QVERIFY(QFile::exists(layouts_) && QFile::exists(large_));
    office_ = true;
}

void WordImportTest::paperLayoutsAreRecognisedFromTheConvertedDocument()
{
    if (!office_) QSKIP("soffice is not installed");
    QVERIFY2(pandoc_, "pandoc is missing");
    const exchange::ImportedPaper paper = exchange::readDocument(layouts_);
    QCOMPARE(paper.sections.size(), 4);
    QCOMPARE(paper.sections.at(0).typeName, QStringLiteral("选择题"));
    QCOMPARE(paper.sections.at(0).score, QStringLiteral("3"));
    QCOMPARE(paper.sections.at(3).typeName, QStringLiteral("应用题"));
    QCOMPARE(paper.sections.at(3).score, QStringLiteral("6"));
    QCOMPARE(paper.questions.size(), 8);

    const auto& q = paper.questions;
    // Options on one line, a formula from a LibreOffice Math object, the answer from the key.
    QVERIFY2(q[0].text.startsWith(QStringLiteral("计算 \\(\\frac{1}{2}")), qPrintable(q[0].text));
    QVERIFY(q[0].text.endsWith(QStringLiteral("D. 4")));
    QCOMPARE(q[0].options, 4);
    QCOMPARE(q[0].answer, QStringLiteral("B"));
    QCOMPARE(q[0].score, QStringLiteral("3"));
    // Options on several lines and a picture, stored once as bytes until the import.
    QCOMPARE(content::pictureHashes(q[1].text).size(), 1);
    QVERIFY(paper.pictures.contains(content::pictureHashes(q[1].text).first()));
    QCOMPARE(q[1].options, 4);
    QCOMPARE(q[1].answer, QStringLiteral("C"));
    // An inline 【答案】 at the end of the question line, "(A)" options after it.
    QCOMPARE(q[2].text, QStringLiteral("下列说法正确的是（ ）\n(A) 甲　(B) 乙\n(C) 丙　(D) 丁"));
    QCOMPARE(q[2].answer, QStringLiteral("C"));
    // 答案：/解析： and 【答案】/【解析】 lines; numbers restart in the second section.
    QCOMPARE(q[3].number, QStringLiteral("1"));
    QCOMPARE(q[3].typeName, QStringLiteral("填空题"));
    QVERIFY(q[3].text.contains(QStringLiteral("\\(x^{2} = 4\\)")));
    QCOMPARE(q[3].answer, QStringLiteral("x=±2\n解析：由平方根的定义得到。"));
    QCOMPARE(q[4].answer, QStringLiteral("6\n解析：直接代入即可。"));
    // "（1）" numbering, answered from the key's own section.
    QCOMPARE(q[5].typeName, QStringLiteral("解答题"));
    QVERIFY(q[5].text.contains(QStringLiteral("\\sqrt{16}")));
    QCOMPARE(q[5].answer, QStringLiteral("原式=7"));
    QCOMPARE(q[6].answer, QStringLiteral("x=1"));
    // "(1)" under a "1." question is one of its parts, not a question.
    QCOMPARE(q[7].text, QStringLiteral("某商店进了一批货。\n(1) 求进价；\n(2) 求利润。"));
    QCOMPARE(q[7].answer, QStringLiteral("进价100元；利润20元。"));
    for (const auto& question : q) QVERIFY2(question.warnings.isEmpty(), qPrintable(question.warnings.join(';')));
    // The title lines belong to no question and are listed.
    QCOMPARE(paper.loose.size(), 2);
    QCOMPARE(paper.loose.at(0).text, QStringLiteral("七年级数学期末试卷"));
}

void WordImportTest::answerKeyLinesAndPartsWithoutPandoc()
{
    // No headings, "1、" numbering, a key one answer per line, a long answer over two lines.
    const exchange::ImportedPaper paper =
        exchange::recognise({QStringLiteral("1、第一题"), QStringLiteral("2、第二题"), QStringLiteral("4、第四题"),
                             QStringLiteral("答案："), QStringLiteral("1、A"), QStringLiteral("2、解：先化简，"),
                             QStringLiteral("再代入。"), QStringLiteral("9、D")});
    QCOMPARE(paper.questions.size(), 3);
    QCOMPARE(paper.questions[0].answer, QStringLiteral("A"));
    QCOMPARE(paper.questions[1].answer, QStringLiteral("解：先化简，\n再代入。"));
    QVERIFY(paper.questions[2].answer.isEmpty());
    QVERIFY(paper.questions[2].warnings.contains(QStringLiteral("未找到答案")));
    QVERIFY(paper.questions[2].warnings.contains(QStringLiteral("题号不连续（上一题为 2）")));
    QCOMPARE(paper.loose.size(), 0);
    QCOMPARE(paper.unmatchedKeys.size(), 1);  // the key's "9、D" answers no question
    QCOMPARE(paper.unmatchedKeys.at(0).text, QStringLiteral("9、D"));
    QCOMPARE(paper.unmatchedKeys.at(0).paragraph, 8);

    // A choice section whose question has no options is flagged; "3.14" starts no question.
    const exchange::ImportedPaper flagged = exchange::recognise(
        {QStringLiteral("一、选择题"), QStringLiteral("1. 圆周率约等于"), QStringLiteral("3.14 是近似值")});
    QCOMPARE(flagged.questions.size(), 1);
    QCOMPARE(flagged.questions[0].text, QStringLiteral("圆周率约等于\n3.14 是近似值"));
    QVERIFY(flagged.questions[0].warnings.contains(QStringLiteral("未找到选项")));
    QCOMPARE(
        exchange::matchTypeName(QStringLiteral("选择题"), {QStringLiteral("单项选择题"), QStringLiteral("填空题")}),
        QStringLiteral("单项选择题"));
    QCOMPARE(
        exchange::matchTypeName(QStringLiteral("选择题"), {QStringLiteral("单项选择题"), QStringLiteral("多项选择题")}),
        QStringLiteral("选择题"));
}

void WordImportTest::markdownListsAndDollarMathAreQuestionsToo()
{
    QVERIFY2(pandoc_, "pandoc is missing");
    // pandoc reads "1." lines as a numbered list and "(A)" lines as a lettered one: both keep
    // their numbers; $…$ and \(…\) become formulas.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("练习.md"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        "二、填空题（每小题2.5分）\n\n1. 若 $a^2=9$，则 a=____。\n2. 计算 \\(\\sqrt{4}\\)。\n\n"
        "   (A) 1\n   (B) 2\n\n答案：\n\n1. ±3\n2. B\n");
    file.close();
    const exchange::ImportedPaper paper = exchange::readDocument(path);
    QCOMPARE(paper.questions.size(), 2);
    QCOMPARE(paper.questions[0].text, QStringLiteral("若 \\(a^2=9\\)，则 a=____。"));
    QCOMPARE(paper.questions[0].score, QStringLiteral("2.5"));
    QCOMPARE(paper.questions[0].answer, QStringLiteral("±3"));
    QCOMPARE(paper.questions[1].text, QStringLiteral("计算 \\(\\sqrt{4}\\)。\n(A) 1\n(B) 2"));
    QCOMPARE(paper.questions[1].options, 2);
    QCOMPARE(paper.questions[1].answer, QStringLiteral("B"));
    QVERIFY(paper.loose.isEmpty());
}

void WordImportTest::keysOfRestartedNumbersLateOptionsAndAnEarlyKeyHeading()
{
    // Numbers restart in the second section and the key has no section headings: each answer goes
    // to the first question of its number still unanswered, in order.
    const exchange::ImportedPaper restarted = exchange::recognise(
        {QStringLiteral("一、选择题（每小题3分）"), QStringLiteral("1. 甲（ ）"), QStringLiteral("A. 1 B. 2"),
         QStringLiteral("2. 乙（ ）"), QStringLiteral("A. 3 B. 4"), QStringLiteral("二、填空题（每小题4分）"),
         QStringLiteral("1. 丙____"), QStringLiteral("2. 丁____"), QStringLiteral("参考答案"),
         QStringLiteral("1. A 2. B"), QStringLiteral("1. 三"), QStringLiteral("2. 四")});
    QCOMPARE(restarted.questions.size(), 4);
    QCOMPARE(restarted.questions[0].answer, QStringLiteral("A"));
    QCOMPARE(restarted.questions[1].answer, QStringLiteral("B"));
    QCOMPARE(restarted.questions[2].answer, QStringLiteral("三"));
    QCOMPARE(restarted.questions[3].answer, QStringLiteral("四"));
    QCOMPARE(restarted.questions[2].score, QStringLiteral("4"));
    QVERIFY(restarted.loose.isEmpty());

    // Options E to H on lines after an inline 【答案】 stay options of the question, not answer lines.
    const exchange::ImportedPaper many = exchange::recognise(
        {QStringLiteral("一、多项选择题"), QStringLiteral("1. 下列各数中是质数的有（ ）【答案】BCEG"),
         QStringLiteral("A. 1　B. 2　C. 3　D. 4"), QStringLiteral("E. 5　F. 6"), QStringLiteral("(G) 7　(H) 8"),
         QStringLiteral("【解析】逐个检验。")});
    QCOMPARE(many.questions.size(), 1);
    QCOMPARE(many.questions[0].text,
             QStringLiteral("下列各数中是质数的有（ ）\nA. 1　B. 2　C. 3　D. 4\nE. 5　F. 6\n(G) 7　(H) 8"));
    QCOMPARE(many.questions[0].options, 8);
    QCOMPARE(many.questions[0].answer, QStringLiteral("BCEG\n解析：逐个检验。"));

    // A 参考答案 heading before the first question (a title page that announces the key) is a loose
    // paragraph: the questions after it are still found, and a key at the end still answers them.
    const exchange::ImportedPaper early = exchange::recognise(
        {QStringLiteral("七年级数学（附参考答案）"), QStringLiteral("参考答案："), QStringLiteral("1. 第一题"),
         QStringLiteral("2. 第二题"), QStringLiteral("答案："), QStringLiteral("1. 甲 2. 乙")});
    QCOMPARE(early.questions.size(), 2);
    QCOMPARE(early.questions[0].text, QStringLiteral("第一题"));
    QCOMPARE(early.questions[1].answer, QStringLiteral("乙"));
    QCOMPARE(early.loose.size(), 2);
    QCOMPARE(early.loose.at(1).text, QStringLiteral("参考答案："));
}

void WordImportTest::importWindowStoresEditedRowsNumberedAfterTheBank()
{
    if (!office_) QSKIP("soffice is not installed");
    QVERIFY2(pandoc_, "pandoc is missing");
    Workspace ws;
    seedSubject(ws);
    QVERIFY(MainF->DRST && MainF->TKGL->actions().contains(MainF->DRST));
    QCOMPARE(MainF->DRST->text(), QStringLiteral("导入试题(&I)"));
    BoxAnswerer boxes;
    bool driven = false;
    int loose = -1;
    boxes.onOtherModal = [&](QWidget* w) {
        auto* window = qobject_cast<ImportWindow*>(w);
        if (!window || !window->isVisible() || driven) return false;
        driven = true;
        window->ComboBoxKm->setCurrentText(QStringLiteral("数学"));
        window->EditFile->setText(layouts_);
        QTest::mouseClick(window->BtnRead, Qt::LeftButton);
        loose = static_cast<int>(window->paper().loose.size());
        QTableWidget* table = window->TableSt;
        if (table->rowCount() != 8) return true;
        // "选择题" in the heading finds the subject's "单项选择题"; the first chapter is preset.
        if (table->item(0, ImportWindow::ColType)->text() != QStringLiteral("单项选择题")) return true;
        // One row edited in place: its score.
        table->item(1, ImportWindow::ColScore)->setText(QStringLiteral("5"));
        // A whole section set at once: the 解答题 rows go to chapter two, difficulty 较难.
        table->setCurrentCell(5, ImportWindow::ColText);
        QTest::mouseClick(window->BtnSection, Qt::LeftButton);
        window->ComboBoxZj->setCurrentText(QStringLiteral("第二章 方程"));
        window->ComboBoxNd->setCurrentText(QStringLiteral("较难"));
        QTest::mouseClick(window->BtnApply, Qt::LeftButton);
        boxes.queue(QMessageBox::Ok);  // create 应用题
        QTest::mouseClick(window->BtnImport, Qt::LeftButton);
        return true;
    };
    MainF->DRST->trigger();
    QVERIFY(driven);
    QCOMPARE(boxes.texts.size(), 2);
    QCOMPARE(boxes.texts.at(0), QStringLiteral("科目“数学”中还没有题型：应用题。是否新建这些题型并导入？"));
    QCOMPARE(
        boxes.texts.at(1),
        QStringLiteral("已导入 8 道试题：单项选择题 3 道，填空题 2 道，解答题 2 道，应用题 1 道。\n新建题型：应用题") +
            // The paragraphs that belong to no question are counted as not imported.
            QStringLiteral("\n未导入：%1 个段落未归入试题。").arg(loose));
    QVERIFY(loose > 0);

    QCOMPARE(ws.count(QStringLiteral("stb"), QStringLiteral("kmh='02'")), 9);
    QCOMPARE(ws.scalar(QStringLiteral("SELECT txh FROM txb WHERE kmh='02' AND txm='应用题'")), QStringLiteral("04"));
    // Numbering continues after the bank's own 填空题 001.
    QCOMPARE(ws.scalar(QStringLiteral("SELECT group_concat(th, ',') FROM stb WHERE kmh='02' AND txh='02'")),
             QStringLiteral("001,002,003"));
    QCOMPARE(ws.scalar(QStringLiteral("SELECT fs || '|' || zjh || '|' || nd FROM stb WHERE txh='01' AND th='002'")),
             QStringLiteral("5|01|中等"));
    QCOMPARE(ws.scalar(QStringLiteral("SELECT group_concat(zjh || nd, ',') FROM stb WHERE txh='03'")),
             QStringLiteral("02较难,02较难"));
    const QString picturedText = ws.scalar(QStringLiteral("SELECT tm FROM stb WHERE txh='01' AND th='002'"));
    QCOMPARE(ws.count(QStringLiteral("pictures")), 1);
    QCOMPARE(ws.scalar(QStringLiteral("SELECT hash FROM pictures")), content::pictureHashes(picturedText).value(0));
    QVERIFY(ws.scalar(QStringLiteral("SELECT tm FROM stb WHERE txh='01' AND th='001'"))
                .contains(QStringLiteral("\\frac{1}{2}")));
}

void WordImportTest::importWindowMarksUngivenChaptersCreatesNamedOnesAndKeepsEditsWhenDeclined()
{
    // A GIFT file (read without pandoc): one question before any category, one in a chapter the
    // subject lacks, one in a chapter it has.
    Workspace ws;
    seedSubject(ws);
    BoxAnswerer boxes;
    const QString path = ws.root() + QStringLiteral("/练习.gift");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        "1+1=? {=2 ~3}\n\n$CATEGORY: $course$/top/数学/填空题/第三章 函数\n\n// 分数:4 难度:易\n"
        "函数 y=2x 的斜率是____。 {=2}\n\n$CATEGORY: $course$/top/数学/填空题/第二章 方程\n\n"
        "方程 x+1=3 的解是____。 {=x\\=2}\n");
    file.close();
    ImportWindow* window = openWindow(path);
    QCOMPARE(boxes.texts, QStringList());
    QTableWidget* table = window->TableSt;
    QCOMPARE(table->rowCount(), 3);

    // Only the row whose chapter the file did not give is put in the first chapter, and marked so.
    const auto chapter = [&](int row) { return table->item(row, ImportWindow::ColChapter); };
    QCOMPARE(chapter(0)->text(), QStringLiteral("第一章 有理数"));
    QCOMPARE(chapter(0)->toolTip(), QStringLiteral("章节未在文件中给出"));
    QVERIFY(chapter(0)->background().style() != Qt::NoBrush);
    QVERIFY(table->item(0, ImportWindow::ColWarnings)->text().contains(QStringLiteral("章节未在文件中给出")));
    QCOMPARE(chapter(1)->text(), QStringLiteral("第三章 函数"));
    QVERIFY(chapter(1)->toolTip().isEmpty());
    QVERIFY(table->item(1, ImportWindow::ColWarnings)->text().contains(QStringLiteral("新章节（导入时新建）")));
    QCOMPARE(chapter(2)->text(), QStringLiteral("第二章 方程"));
    QCOMPARE(chapter(2)->background().style(), Qt::NoBrush);
    QVERIFY2(window->LabelSummary->text().contains(
                 QStringLiteral("注意：1 道试题的章节未在文件中给出，暂定为“第一章 有理数”")),
             qPrintable(window->LabelSummary->text()));

    // The question text is corrected in its cell's editor, over several lines; the cell holds the
    // whole text and shows one line of it.
    QTableWidgetItem* text = table->item(0, ImportWindow::ColText);
    QCOMPARE(text->data(Qt::EditRole).toString(), QStringLiteral("1+1=?\nA. 2\nB. 3"));
    table->setCurrentItem(text);
    table->editItem(text);
    auto* editor = table->findChild<QPlainTextEdit*>(QStringLiteral("MemoCell"));
    QVERIFY(editor);
    QCOMPARE(editor->toPlainText(), QStringLiteral("1+1=?\nA. 2\nB. 3"));
    editor->setPlainText(QStringLiteral("计算 \\(1+1\\) 的值。\nA. 2\nB. 3"));
    QStyledItemDelegate* delegate =
        qobject_cast<QStyledItemDelegate*>(table->itemDelegateForColumn(ImportWindow::ColText));
    QVERIFY(delegate);
    emit delegate->commitData(editor);
    emit delegate->closeEditor(editor);
    QCOMPARE(window->paper().questions[0].text, QStringLiteral("计算 \\(1+1\\) 的值。\nA. 2\nB. 3"));
    QCOMPARE(text->text(), QStringLiteral("计算 1+1 的值。 A. 2 B. 3"));
    // A formula 录入试题 would refuse is refused in the cell too, and the cell keeps its text.
    table->item(2, ImportWindow::ColAnswer)->setData(Qt::EditRole, QStringLiteral("\\(\\input{/etc/passwd}\\)"));
    QVERIFY2(boxes.last().startsWith(QStringLiteral("公式“\\input{/etc/passwd}”无法使用")), qPrintable(boxes.last()));
    QCOMPARE(table->item(2, ImportWindow::ColAnswer)->data(Qt::EditRole).toString(), QStringLiteral("x=2"));
    table->item(2, ImportWindow::ColAnswer)->setData(Qt::EditRole, QStringLiteral("\\(x=2\\)"));
    QCOMPARE(window->paper().questions[2].answer, QStringLiteral("\\(x=2\\)"));

    // Declining the new chapter stores nothing and keeps the file and every edit.
    boxes.clear();
    boxes.queue(QMessageBox::Cancel);
    QTest::mouseClick(window->BtnImport, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.last().startsWith(QStringLiteral("科目“数学”中还没有章节：第三章 函数。是否新建这些章节并导入？")),
             qPrintable(boxes.last()));
    QVERIFY(window->isVisible());
    QCOMPARE(ws.count(QStringLiteral("stb")), 1);
    QCOMPARE(ws.count(QStringLiteral("zjb")), 2);
    QCOMPARE(table->rowCount(), 3);
    QCOMPARE(table->item(0, ImportWindow::ColText)->data(Qt::EditRole).toString(),
             QStringLiteral("计算 \\(1+1\\) 的值。\nA. 2\nB. 3"));
    // Choosing the first row's chapter removes its mark and the summary's note.
    chapter(0)->setText(QStringLiteral("第二章 方程"));
    QVERIFY(chapter(0)->toolTip().isEmpty());
    QVERIFY(!window->LabelSummary->text().contains(QStringLiteral("注意")));

    // Accepting creates the chapter in the same import, after the subject's chapters.
    boxes.clear();
    QTest::mouseClick(window->BtnImport, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), 2);
    QCOMPARE(boxes.texts.at(1),
             QStringLiteral("已导入 3 道试题：单项选择题 1 道，填空题 2 道。\n新建章节：第三章 函数"));
    QCOMPARE(ws.scalar(QStringLiteral("SELECT zjh FROM zjb WHERE kmh='02' AND zjm='第三章 函数'")),
             QStringLiteral("03"));
    QCOMPARE(ws.scalar(QStringLiteral("SELECT zjh || '|' || tm FROM stb WHERE txh='01'")),
             QStringLiteral("02|计算 \\(1+1\\) 的值。\nA. 2\nB. 3"));
    QCOMPARE(ws.scalar(QStringLiteral("SELECT zjh || '|' || fs || '|' || nd FROM stb WHERE txh='02' AND th='002'")),
             QStringLiteral("03|4|易"));
    QCOMPARE(ws.scalar(QStringLiteral("SELECT zjh || '|' || da FROM stb WHERE txh='02' AND th='003'")),
             QStringLiteral("02|\\(x=2\\)"));
}

void WordImportTest::fileWithoutQuestionsAndCorruptDocumentsStoreNothing()
{
    QVERIFY2(pandoc_, "pandoc is missing");
    Workspace ws;
    seedSubject(ws);
    BoxAnswerer boxes;
    const QString prose = ws.root() + QStringLiteral("/notes.txt");
    QFile text(prose);
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("本学期教学总结\n\n学生整体表现良好。\n");
    text.close();
    ImportWindow* window = openWindow(prose);
    QCOMPARE(boxes.last(),
             QStringLiteral("文件“notes.txt”中没有找到可识别的试题。试题要以题号开头，如“1.”“1、”或“（1）”；"
                            "大题标题如“一、选择题（每小题3分，共30分）”。"));
    QVERIFY(!window->BtnImport->isEnabled());
    QCOMPARE(window->ListLoose->count(), 2);

    // A .docx that is not a zip at all, and one that is a zip without a document.
    const QString corrupt = ws.root() + QStringLiteral("/broken.docx");
    QFile bad(corrupt);
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write(QByteArray(4096, '\x07'));
    bad.close();
    boxes.clear();
    window->EditFile->setText(corrupt);
    QTest::mouseClick(window->BtnRead, Qt::LeftButton);
    QVERIFY2(
        boxes.last().startsWith(QStringLiteral("无法读取“broken.docx”：文件已损坏、受密码保护或不是所选格式的文档。")),
        qPrintable(boxes.last()));
    boxes.clear();
    window->EditFile->setText(ws.root() + QStringLiteral("/paper.pdf"));
    QTest::mouseClick(window->BtnRead, Qt::LeftButton);
    QVERIFY2(boxes.last().startsWith(QStringLiteral("不支持文件“paper.pdf”的格式")), qPrintable(boxes.last()));
    // Without pandoc the reader says which package to install.
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", ws.root().toUtf8());
    boxes.clear();
    window->EditFile->setText(prose);  // a text file: only pandoc reads it
    QTest::mouseClick(window->BtnRead, Qt::LeftButton);
    qputenv("PATH", path);
    QVERIFY2(boxes.last().startsWith(QStringLiteral("需要安装 pandoc 软件包")), qPrintable(boxes.last()));
    QCOMPARE(ws.count(QStringLiteral("stb")), 1);
    QCOMPARE(ws.count(QStringLiteral("txb")), 3);
}

void WordImportTest::cancellingALargeImportHalfwayLeavesTheBankUnchanged()
{
    if (!office_) QSKIP("soffice is not installed");
    QVERIFY2(pandoc_, "pandoc is missing");
    Workspace ws;
    seedSubject(ws);
    BoxAnswerer boxes;
    ImportWindow* window = openWindow(large_);
    QCOMPARE(window->TableSt->rowCount(), 2000);
    QCOMPARE(window->paper().questions.last().text,
             QStringLiteral("第2000题：计算 \\(x + 2000\\)\nA. 1　B. 2　C. 3　D. 4"));

    // Cancel as soon as half the rows are stored.
    QTimer watcher;
    int cancelledAt = -1;
    connect(&watcher, &QTimer::timeout, [&] {
        if (cancelledAt < 0 && window->ProgressBar1->value() >= 1000) {
            cancelledAt = window->ProgressBar1->value();
            QTest::mouseClick(window->BtnCancel, Qt::LeftButton);
        }
    });
    watcher.start(0);
    QTest::mouseClick(window->BtnImport, Qt::LeftButton);
    watcher.stop();
    QVERIFY(cancelledAt >= 1000 && cancelledAt < 2000);
    QCOMPARE(boxes.last(), QStringLiteral("导入已取消，题库没有改变。"));
    QCOMPARE(ws.count(QStringLiteral("stb")), 1);
    QVERIFY(window->isVisible());

    // The same window then stores all of them; numbers run on past 999 unpadded.
    boxes.clear();
    QTest::mouseClick(window->BtnImport, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("已导入 2000 道试题：单项选择题 2000 道。"));
    QCOMPARE(ws.count(QStringLiteral("stb"), QStringLiteral("txh='01'")), 2000);
    QCOMPARE(ws.scalar(QStringLiteral("SELECT th FROM stb WHERE txh='01' ORDER BY id DESC LIMIT 1")),
             QStringLiteral("2000"));
    QCOMPARE(ws.scalar(QStringLiteral("SELECT th FROM stb WHERE txh='01' ORDER BY id LIMIT 1 OFFSET 998")),
             QStringLiteral("999"));
}

QTEST_MAIN(WordImportTest)
#include "test_word_import.moc"
