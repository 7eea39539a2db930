// 录入试题's search box: typed words and Enter find the subject's questions whose question or
// answer text holds them, count them, mark them in the grid and load the first into the editor
// (switching to its type); Enter again goes on to the next; chapter and difficulty narrow the
// search; the grid shows each question's first line.
#include "app/application.h"
#include "app/main_window.h"
#include "data/data_module.h"
#include "ui/db_grid.h"
#include "ui/forms.h"
#include "windows/bank/question_entry.h"
#include "test_support.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

using testing::BoxAnswerer;
using testing::Workspace;

namespace {

const QString kPicture =
    QStringLiteral("[[图片:0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef]]");

void seed(Workspace& ws)
{
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('01','数学'),('02','物理')");
    ws.exec("INSERT INTO txb (kmh, txh, txm) VALUES ('01','01','选择题'),('01','02','解答题'),('02','01','选择题')");
    ws.exec("INSERT INTO zjb (kmh, zjh, zjm) VALUES ('01','01','三角形'),('01','02','方程'),('02','01','运动')");
    testing::insertRows(
        ws, QStringLiteral("stb"),
        {QStringLiteral("kmh"), QStringLiteral("txh"), QStringLiteral("th"), QStringLiteral("zjh"), QStringLiteral("nd"),
         QStringLiteral("fs"), QStringLiteral("tm"), QStringLiteral("da")},
        {{"01", "01", "001", "02", "易", "3", "解方程 \\(x^2=4\\)\n（两个根）", "x=±2"},
         {"01", "01", "002", "01", "易", "3", "在直角三角形中，由勾股定理求斜边。", "5"},
         {"01", "01", "003", "01", "难", "3", "看图" + kPicture + "回答", "由勾股定理得 13"},
         {"01", "02", "001", "01", "难", "8", "证明勾股定理。", "略"},
         {"02", "01", "001", "01", "易", "3", "物理中的勾股定理：合成速度。", "略"}});
    ws.refreshDatasets();
    MainF->fillSubjectBox();
}

TLrstF* open(const QString& subject)
{
    MainF->ComboBoxKmm->setEditText(subject);
    auto* dlg = new TLrstF(MainF);
    dlg->show();
    return dlg;
}

QLineEdit* searchBox(TLrstF* dlg)
{
    return dlg->findChild<QLineEdit*>(QStringLiteral("EditSs"));
}

void search(TLrstF* dlg, const QString& words)
{
    QLineEdit* box = searchBox(dlg);
    box->clear();
    box->setFocus();
    // Typed as text: QTest has no key for every character (^, Chinese).
    box->insert(words);
    QTest::keyClick(box, Qt::Key_Return);
}

// The numbers of the grid's rows that stand out.
QStringList marked(TLrstF* dlg)
{
    QStringList out;
    QAbstractItemModel* m = dlg->DBGrid1->model();
    for (int row = 0; row < m->rowCount(); ++row) {
        if (m->index(row, 0).data(Qt::BackgroundRole).isValid()) out << m->index(row, 0).data().toString();
    }
    return out;
}

QString currentNumber(TLrstF* dlg)
{
    const QModelIndex current = dlg->DBGrid1->currentIndex();
    return dlg->DBGrid1->model()->index(current.row(), 0).data().toString();
}

}  // namespace

class QuestionSearchBoxTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void theGridShowsTheFirstLineOfEachQuestion();
    void enterFindsCountsMarksAndGoesFromMatchToMatch();
    void chapterAndDifficultyNarrowTheSearchAndANewQuestionIsFound();

private:
    testing::ModalGuard guard_;
};

void QuestionSearchBoxTest::theGridShowsTheFirstLineOfEachQuestion()
{
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    TLrstF* dlg = open(QStringLiteral("数学"));
    QAbstractItemModel* m = dlg->DBGrid1->model();
    QCOMPARE(m->headerData(0, Qt::Horizontal).toString(), QStringLiteral("题号"));
    QCOMPARE(m->headerData(3, Qt::Horizontal).toString(), QStringLiteral("录入时间"));
    QCOMPARE(m->headerData(4, Qt::Horizontal).toString(), QStringLiteral("题目"));
    // Formulas as their text, pictures as [图]; a plain text's first line only.
    QCOMPARE(m->index(0, 4).data().toString(), QStringLiteral("解方程 x^2=4 （两个根）"));
    QCOMPARE(m->index(1, 4).data().toString(), QStringLiteral("在直角三角形中，由勾股定理求斜边。"));
    QCOMPARE(m->index(2, 4).data().toString(), QStringLiteral("看图[图]回答"));
    QCOMPARE(searchBox(dlg)->placeholderText(), QStringLiteral("搜索题目和答案…"));
    auto* chapters = dlg->findChild<QComboBox*>(QStringLiteral("ComboBoxSsZj"));
    auto* difficulties = dlg->findChild<QComboBox*>(QStringLiteral("ComboBoxSsNd"));
    QVERIFY(chapters && difficulties);
    QCOMPARE(chapters->currentText(), QStringLiteral("全部章节"));
    QCOMPARE(chapters->count(), 3);
    QCOMPARE(difficulties->currentText(), QStringLiteral("全部难度"));
    QCOMPARE(difficulties->count(), 6);
    QVERIFY(marked(dlg).isEmpty());
    QVERIFY(boxes.texts.isEmpty());
}

void QuestionSearchBoxTest::enterFindsCountsMarksAndGoesFromMatchToMatch()
{
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    TLrstF* dlg = open(QStringLiteral("数学"));
    auto* found = dlg->findChild<QLabel*>(QStringLiteral("LabelSsjg"));
    QVERIFY(found);
    QVERIFY(found->text().isEmpty());
    // Three questions of 数学 (one by its answer, one in another type); 物理's is not counted.
    search(dlg, QStringLiteral("勾股定理"));
    QCOMPARE(found->text(), QStringLiteral("找到 3 道"));
    QCOMPARE(dlg->ComboBoxTx->currentText(), QStringLiteral("选择题"));
    QCOMPARE(currentNumber(dlg), QStringLiteral("002"));
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("在直角三角形中，由勾股定理求斜边。"));
    QCOMPARE(marked(dlg), (QStringList{"002", "003"}));
    QVERIFY(!dlg->BtnYtgg->isEnabled());
    // Enter again: the next match, found by its answer.
    QTest::keyClick(searchBox(dlg), Qt::Key_Enter);
    QCOMPARE(currentNumber(dlg), QStringLiteral("003"));
    QCOMPARE(dlg->MemoDa->toPlainText(), QStringLiteral("由勾股定理得 13"));
    // And the next, in the other type: its list opens.
    QTest::keyClick(searchBox(dlg), Qt::Key_Return);
    QCOMPARE(dlg->ComboBoxTx->currentText(), QStringLiteral("解答题"));
    QCOMPARE(currentNumber(dlg), QStringLiteral("001"));
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("证明勾股定理。"));
    QCOMPARE(marked(dlg), QStringList{"001"});
    QCOMPARE(found->text(), QStringLiteral("找到 3 道"));
    // After the last, the first again.
    QTest::keyClick(searchBox(dlg), Qt::Key_Return);
    QCOMPARE(dlg->ComboBoxTx->currentText(), QStringLiteral("选择题"));
    QCOMPARE(currentNumber(dlg), QStringLiteral("002"));
    // A formula by its text; a picture's marker is no text.
    search(dlg, QStringLiteral("x^2"));
    QCOMPARE(found->text(), QStringLiteral("找到 1 道"));
    QCOMPARE(currentNumber(dlg), QStringLiteral("001"));
    search(dlg, QStringLiteral("abcdef"));
    QCOMPARE(found->text(), QStringLiteral("找到 0 道"));
    QVERIFY(marked(dlg).isEmpty());
    QCOMPARE(currentNumber(dlg), QStringLiteral("001"));  // nothing found moves nothing
    // Emptied, the box marks nothing and says nothing.
    search(dlg, QStringLiteral("勾股"));
    QCOMPARE(found->text(), QStringLiteral("找到 3 道"));
    QVERIFY(!marked(dlg).isEmpty());
    searchBox(dlg)->clear();
    QVERIFY(found->text().isEmpty());
    QVERIFY(marked(dlg).isEmpty());
    // Another subject searches its own questions.
    dlg->ComboBoxKm->setEditText(QStringLiteral("物理"));
    search(dlg, QStringLiteral("勾股定理"));
    QCOMPARE(found->text(), QStringLiteral("找到 1 道"));
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("物理中的勾股定理：合成速度。"));
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
}

void QuestionSearchBoxTest::chapterAndDifficultyNarrowTheSearchAndANewQuestionIsFound()
{
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    TLrstF* dlg = open(QStringLiteral("数学"));
    auto* found = dlg->findChild<QLabel*>(QStringLiteral("LabelSsjg"));
    auto* chapters = dlg->findChild<QComboBox*>(QStringLiteral("ComboBoxSsZj"));
    auto* difficulties = dlg->findChild<QComboBox*>(QStringLiteral("ComboBoxSsNd"));
    search(dlg, QStringLiteral("勾股定理"));
    QCOMPARE(found->text(), QStringLiteral("找到 3 道"));
    // Choosing a difficulty searches again at once.
    difficulties->setCurrentIndex(difficulties->findText(QStringLiteral("难")));
    emit difficulties->activated(difficulties->currentIndex());
    QCOMPARE(found->text(), QStringLiteral("找到 2 道"));
    QCOMPARE(currentNumber(dlg), QStringLiteral("003"));
    chapters->setCurrentIndex(chapters->findText(QStringLiteral("方程")));
    emit chapters->activated(chapters->currentIndex());
    QCOMPARE(found->text(), QStringLiteral("找到 0 道"));
    chapters->setCurrentIndex(0);
    difficulties->setCurrentIndex(0);
    emit chapters->activated(0);
    QCOMPARE(found->text(), QStringLiteral("找到 3 道"));
    // A question stored now is found by the next Enter.
    dlg->ComboBoxTx->setEditText(QStringLiteral("选择题"));
    dlg->MemoTm->setPlainText(QStringLiteral("新录入：用勾股定理求高。"));
    dlg->EditFs->setText(QStringLiteral("3"));
    QTest::mouseClick(dlg->BtnXtrk, Qt::LeftButton);
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
    QTest::keyClick(searchBox(dlg), Qt::Key_Return);
    QCOMPARE(found->text(), QStringLiteral("找到 4 道"));
    QCOMPARE(marked(dlg), (QStringList{"002", "003", "004"}));
}

QTEST_MAIN(QuestionSearchBoxTest)
#include "test_question_search_box.moc"
