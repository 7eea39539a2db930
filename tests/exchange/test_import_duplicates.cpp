// 导入试题 marks suspected duplicates in its preview (查重): questions like one of the bank's subject
// ("与第012题相似 93%") or like an earlier question of the same file ("与本文件第3题相似"); 跳过疑似重复
// leaves them out and the summary counts them. A Word paper imported twice is flagged question by
// question; a preview of 200 questions against a bank of thousands stays quick.
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTest>

#include "app/application.h"
#include "app/main_window.h"
#include "data/data_module.h"
#include "data/sql.h"
#include "demo/demo.h"
#include "exchange/duplicate_marks.h"
#include "test_support.h"
#include "ui/forms.h"
#include "windows/exchange/import_window.h"

using exchange::ImportWindow;
using testing::BoxAnswerer;
using testing::Workspace;

namespace {

void seedSubject(Workspace& ws)
{
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('01', '语文'), ('02', '数学')"));
    ws.exec(
        QStringLiteral("INSERT INTO txb (kmh, txh, txm) VALUES ('02', '01', '单项选择题'), ('02', '02', '填空题'),"
                       " ('02', '03', '解答题'), ('02', '04', '判断题')"));
    ws.exec(QStringLiteral("INSERT INTO zjb (kmh, zjh, zjm) VALUES ('02', '01', '第一章 有理数')"));
    ws.exec(
        QStringLiteral("INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da) VALUES"
                       " ('02', '02', '007', '01', '易', '4', '一个数的相反数是它本身，这个数是多少？', '0'),"
                       " ('01', '01', '001', '01', '易', '4', '比较大小：负三分之二与负四分之三', '>')"));
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

QStringList marks(ImportWindow* window)
{
    QStringList out;
    for (int row = 0; row < window->TableSt->rowCount(); ++row)
        out << window->TableSt->item(row, ImportWindow::ColDuplicate)->text();
    return out;
}

}  // namespace

class ImportDuplicatesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void cleanup() { testing::closeAllWindows(); }
    void marksNameTheBanksQuestionAndTheFilesEarlierOne();
    void skippingLeavesOutOnlyTheMarkedRows();
    void wordPaperImportedTwiceIsFlaggedQuestionByQuestion();
    void previewOfTwoHundredQuestionsStaysQuick();
};

void ImportDuplicatesTest::marksNameTheBanksQuestionAndTheFilesEarlierOne()
{
    Workspace ws;
    seedSubject(ws);
    // 1 new; 2 the bank's 填空题 007 with other punctuation; 3 question 1 in full width; 4 new;
    // 5 the 语文 question (another subject: not a duplicate here); 6 question 1 again (named after
    // the first of the two earlier ones).
    const QString path = ws.writeFile(QStringLiteral("quiz.gift"),
                               "::a::绝对值等于5的数是哪两个？{=正负5 ~5 ~-5}\n\n"
                               "::b::一个数的相反数是它本身 , 这个数是多少 ?{#0}\n\n"
                               "::c::绝对值等于５的数是哪两个?{=正负5 ~5 ~-5}\n\n"
                               "::d::0 是正数。{F}\n\n"
                               "::e::比较大小：负三分之二与负四分之三{=>}\n\n"
                               "::f::绝对值等于5的数是哪两个？{=正负5 ~5 ~-5}\n");
    BoxAnswerer boxes;
    ImportWindow* window = openWindow(path);
    QCOMPARE(window->TableSt->rowCount(), 6);
    QCOMPARE(window->TableSt->horizontalHeaderItem(ImportWindow::ColDuplicate)->text(), QStringLiteral("查重"));
    // Row 2 becomes a 填空题 too: the bank's question is named by number alone.
    QCOMPARE(window->TableSt->item(1, ImportWindow::ColType)->text(), QStringLiteral("填空题"));
    QCOMPARE(marks(window),
             (QStringList{QString(), QStringLiteral("与第007题相似 100%"), QStringLiteral("与本文件第1题相似"),
                          QString(), QString(), QStringLiteral("与本文件第1题相似")}));
    QVERIFY2(window->LabelSummary->text().contains(QStringLiteral("3 道试题疑似重复（见“查重”栏）。")),
             qPrintable(window->LabelSummary->text()));
    // As another type, the number is given with the bank question's type.
    window->TableSt->item(1, ImportWindow::ColType)->setText(QStringLiteral("解答题"));
    QCOMPARE(marks(window).value(1), QStringLiteral("与填空题第007题相似 100%"));
    // Edited into question 1, row 4 is marked; edited away, row 3 no more.
    window->TableSt->item(3, ImportWindow::ColText)->setData(Qt::EditRole, window->paper().questions.at(0).text);
    window->TableSt->item(2, ImportWindow::ColText)
        ->setData(Qt::EditRole, QStringLiteral("绝对值小于3的整数有哪几个？它们的和是多少？"));
    QCOMPARE(marks(window),
             (QStringList{QString(), QStringLiteral("与填空题第007题相似 100%"), QString(),
                          QStringLiteral("与本文件第1题相似"), QString(), QStringLiteral("与本文件第1题相似")}));
    QVERIFY(boxes.texts.isEmpty());
}

void ImportDuplicatesTest::skippingLeavesOutOnlyTheMarkedRows()
{
    Workspace ws;
    seedSubject(ws);
    const QString path = ws.writeFile(QStringLiteral("quiz.gift"),
                               "::a::绝对值等于5的数是哪两个？{=正负5 ~5 ~-5}\n\n"
                               "::b::一个数的相反数是它本身 , 这个数是多少 ?{#0}\n\n"
                               "::c::绝对值等于５的数是哪两个?{=正负5 ~5 ~-5}\n\n"
                               "::d::0 是正数。{F}\n");
    BoxAnswerer boxes;
    ImportWindow* window = openWindow(path);
    QVERIFY(!window->CheckTgcf->isChecked());  // by default every row is imported, as before
    QCOMPARE(window->CheckTgcf->text(), QStringLiteral("跳过疑似重复"));
    window->CheckTgcf->click();
    QTest::mouseClick(window->BtnImport, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), 1);
    QCOMPARE(boxes.last(),
             QStringLiteral("已导入 2 道试题：单项选择题 1 道，判断题 1 道。\n未导入：跳过疑似重复的试题 2 道。"));
    QCOMPARE(ws.count(QStringLiteral("stb"), QStringLiteral("kmh='02'")), 3);
    QCOMPARE(
        ws.count(QStringLiteral("stb"), QStringLiteral("kmh='02' AND tm LIKE ?"), {QStringLiteral("绝对值等于5的数%")}),
        1);
    QCOMPARE(ws.count(QStringLiteral("stb"), QStringLiteral("kmh='02' AND tm=?"), {QStringLiteral("0 是正数。")}), 1);

    // Without the box ticked, the same file again: everything stored, marks or not.
    boxes.clear();
    window = openWindow(path);
    QCOMPARE(marks(window), (QStringList{QStringLiteral("与第001题相似 100%"), QStringLiteral("与第007题相似 100%"),
                                         QStringLiteral("与第001题相似 100%；与本文件第1题相似"),
                                         QStringLiteral("与第001题相似 100%")}));
    QTest::mouseClick(window->BtnImport, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("已导入 4 道试题：单项选择题 2 道，填空题 1 道，判断题 1 道。"));
    QCOMPARE(ws.count(QStringLiteral("stb"), QStringLiteral("kmh='02'")), 7);

    // Every row marked and skipped: nothing to import, said so, nothing stored.
    boxes.clear();
    window = openWindow(path);
    window->CheckTgcf->click();
    QTest::mouseClick(window->BtnImport, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("所有试题都疑似重复，没有可导入的试题！"));
    QCOMPARE(ws.count(QStringLiteral("stb"), QStringLiteral("kmh='02'")), 7);
    QVERIFY(window->isVisible());
}

void ImportDuplicatesTest::wordPaperImportedTwiceIsFlaggedQuestionByQuestion()
{
    if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty()) QSKIP("LibreOffice is not installed");
    if (QStandardPaths::findExecutable(QStringLiteral("pandoc")).isEmpty()) QSKIP("pandoc is not installed");
    Workspace ws;
    seedSubject(ws);
    QVERIFY(testing::convertWithLibreOffice({QStringLiteral(EXCHANGE_TEST_DATA "/paper_layouts.fodt")},
                                            QStringLiteral("docx"), ws.root()));
    const QString docx = ws.root() + QStringLiteral("/paper_layouts.docx");
    BoxAnswerer boxes;  // confirms the new chapters and types
    ImportWindow* window = openWindow(docx);
    const int rows = window->TableSt->rowCount();
    QVERIFY2(rows >= 8,
             qPrintable(QString::number(rows) + window->LabelSummary->text() + boxes.texts.join(QLatin1Char('|'))));
    const QStringList first = marks(window);
    QTest::mouseClick(window->BtnImport, Qt::LeftButton);
    QVERIFY2(boxes.last().startsWith(QStringLiteral("已导入 %1 道试题").arg(rows)), qPrintable(boxes.last()));
    const int stored = ws.count(QStringLiteral("stb"));

    window = openWindow(docx);
    QCOMPARE(window->TableSt->rowCount(), rows);
    const QStringList second = marks(window);
    for (int row = 0; row < rows; ++row) {
        // Each row names a stored question holding its very text, at 100 %.
        const QString text = window->paper().questions.at(row).text;
        const QString mark = second.at(row);
        QVERIFY2(mark.startsWith(QStringLiteral("与")) && mark.contains(QStringLiteral("相似 100%")),
                 qPrintable(QStringLiteral("%1: %2").arg(row).arg(mark)));
        const QStringList numbers =
            sql::column(DM->db(), QStringLiteral("SELECT th FROM stb WHERE kmh='02' AND tm=?"), {text});
        bool named = false;
        for (const QString& th : numbers) named = named || mark.contains(QStringLiteral("第%1题相似").arg(th));
        QVERIFY2(named, qPrintable(QStringLiteral("%1: %2 / %3").arg(row).arg(mark, numbers.join(QLatin1Char(',')))));
        // What was said of the file in the first preview is said again.
        if (first.at(row).contains(QStringLiteral("本文件"))) QVERIFY(mark.endsWith(first.at(row)));
    }
    window->CheckTgcf->click();
    QTest::mouseClick(window->BtnImport, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("所有试题都疑似重复，没有可导入的试题！"));
    QCOMPARE(ws.count(QStringLiteral("stb")), stored);
}

void ImportDuplicatesTest::previewOfTwoHundredQuestionsStaysQuick()
{
    Workspace ws({}, false);
    const QString bank = ws.root() + QStringLiteral("/generated.db");
    demo::createGeneratedDatabase(bank, 20000);
    DM->connectTo(bank);
    const QString subject = sql::scalar(DM->db(), QStringLiteral("SELECT kmm FROM kmb ORDER BY id LIMIT 1"));
    const QString kmh = sql::scalar(DM->db(), QStringLiteral("SELECT kmh FROM kmb ORDER BY id LIMIT 1"));
    // 200 questions: 100 of the bank's own texts, 100 new ones.
    QByteArray gift;
    const QStringList stored =
        sql::column(DM->db(), QStringLiteral("SELECT tm FROM stb WHERE kmh=? ORDER BY id LIMIT 100"), {kmh});
    QCOMPARE(stored.size(), 100);
    for (int i = 0; i < 200; ++i) {
        QString text = i < 100 ? stored.at(i)
                               : QStringLiteral(
                                     "新编第%1题：某商店把一件商品按进价提高%2成后标价，再打%3折出售，"
                                     "结果仍获利%4元，这件商品的进价是多少元？")
                                     .arg(i)
                                     .arg(i * 7 % 90 + 10)
                                     .arg(i % 9 + 1)
                                     .arg(i * 3);
        for (const char c : {'~', '=', '#', '{', '}', ':'}) text.replace(QLatin1Char(c), QLatin1Char(' '));
        gift += QStringLiteral("::q%1::%2{}\n\n").arg(i).arg(text.simplified()).toUtf8();
    }
    const QString path = ws.writeFile(QStringLiteral("two-hundred.gift"), gift);
    BoxAnswerer boxes;
    auto* window = new ImportWindow(MainF);
    window->show();
    window->ComboBoxKm->setCurrentText(subject);
    window->EditFile->setText(path);
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(window->BtnRead, Qt::LeftButton);
    const qint64 ms = clock.elapsed();
    QCOMPARE(window->TableSt->rowCount(), 200);
    const QStringList found = marks(window);
    int bank100 = 0;
    for (int i = 0; i < 200; ++i) {
        if (i < 100 && found.at(i).contains(QStringLiteral("相似 100%"))) ++bank100;
    }
    QCOMPARE(bank100, 100);
    // Reading and marking 200 questions against 20,000: a few seconds at most on a loaded machine.
    QVERIFY2(ms < 8000, qPrintable(QString::number(ms)));
    qInfo("preview of 200 questions against a bank of 20,000: %lld ms", ms);
}

QTEST_MAIN(ImportDuplicatesTest)
#include "test_import_duplicates.moc"
