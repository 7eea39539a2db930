// 录入试题 asks before it stores a question like one the subject already holds (查重): the dialog
// lists them, shows one on 查看 and keeps the choice; 仍然存入 stores, 不存入 stores nothing and
// keeps the editor's text; 原题更改 never finds the question itself and asks only when the question
// text changed.
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "app/application.h"
#include "app/main_window.h"
#include "data/data_module.h"
#include "test_support.h"
#include "ui/db_grid.h"
#include "ui/forms.h"
#include "windows/bank/duplicate_dialog.h"
#include "windows/bank/question_entry.h"
#include "windows/content/content_preview.h"

using testing::BoxAnswerer;
using testing::Workspace;

namespace {

const QString kTriangle =
    QStringLiteral("在直角三角形ABC中，∠C=90°，AC=3，BC=4，则斜边AB的长是（　）\nA. 5 B. 6 C. 7 D. 8");
const QString kTriangleFill = QStringLiteral("在直角三角形ABC中，∠C=90°，AC=3，BC=4，则斜边AB的长是____。");
const QString kTriangleTyped =
    QStringLiteral("在直角三角形ＡＢＣ中, ∠C = 90°, AC = 3, BC = 4, 则斜边AB的长是(  )\n(A) 5 (B) 6 (C) 7 (D) 8");
const QString kCircle = QStringLiteral("一个圆的半径是3厘米，它的周长是多少厘米？面积是多少平方厘米？");

}  // namespace

class DuplicateDialogTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void cleanup() { testing::closeAllWindows(); }
    void storingALikeQuestionAsksAndStoresOnlyWhenTold();
    void changingAQuestionNeverFindsItself();

private:
    testing::ModalGuard guard_;
};

namespace {

void seed(Workspace& ws)
{
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('01','数学'),('02','物理')"));
    ws.exec(
        QStringLiteral("INSERT INTO txb (kmh, txh, txm) VALUES ('01','01','选择题'),('01','02','填空题'),"
                       "('02','01','选择题')"));
    ws.exec(QStringLiteral("INSERT INTO zjb (kmh, zjh, zjm) VALUES ('01','01','三角形'),('02','01','运动')"));
    ws.exec(QStringLiteral("INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, time) VALUES"
                           " ('01','01','001','01','易','3',?,'A','8:00:00'),"
                           " ('01','02','001','01','易','3',?,'5','8:00:00'),"
                           " ('01','01','002','01','易','3',?,'周长 6π 厘米','8:00:00'),"
                           " ('02','01','001','01','易','3',?,'A','8:00:00')"),
            {kTriangle, kTriangleFill, kCircle, kTriangle});
    ws.refreshDatasets();
    MainF->fillSubjectBox();
}

TLrstF* open()
{
    MainF->ComboBoxKmm->setEditText(QStringLiteral("数学"));
    auto* dlg = new TLrstF(MainF);
    dlg->show();
    return dlg;
}

void clickRow(TLrstF* dlg, int row)
{
    const QRect r = dlg->DBGrid1->visualRect(dlg->DBGrid1->model()->index(row, 0));
    QTest::mouseClick(dlg->DBGrid1->viewport(), Qt::LeftButton, {}, r.center());
}

QStringList lines(TCfF* dialog)
{
    QStringList out;
    for (int i = 0; i < dialog->ListYs->count(); ++i) out << dialog->ListYs->item(i)->text();
    return out;
}

}  // namespace

void DuplicateDialogTest::storingALikeQuestionAsksAndStoresOnlyWhenTold()
{
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    TLrstF* dlg = open();
    const int before = ws.count(QStringLiteral("stb"));

    // 不存入, after looking at the 填空题: nothing stored, the text stays in the editor.
    QStringList shown;
    QString previewed, previewedAnswer;
    bool stillOpenAfterLooking = false;
    QString name;
    int asked = 0;
    boxes.onOtherModal = [&](QWidget* w) {
        auto* dialog = qobject_cast<TCfF*>(w);
        if (!dialog || !dialog->isVisible()) return false;
        ++asked;
        shown = lines(dialog);
        name = dialog->objectName();
        dialog->ListYs->setCurrentRow(1);
        QTest::mouseClick(dialog->BtnCk, Qt::LeftButton);
        previewed = dialog->PreviewTm->contentText();
        previewedAnswer = dialog->PreviewDa->contentText();
        stillOpenAfterLooking = dialog->isVisible();
        QTest::mouseClick(dialog->BtnBcr, Qt::LeftButton);
        return true;
    };
    dlg->MemoTm->setPlainText(kTriangleTyped);
    dlg->MemoDa->setPlainText(QStringLiteral("A"));
    dlg->EditFs->setText(QStringLiteral("3"));
    QTest::mouseClick(dlg->BtnXtrk, Qt::LeftButton);
    QCOMPARE(asked, 1);
    QCOMPARE(name, QStringLiteral("TCfF"));
    // The 选择题 being entered is named by its number alone; the 填空题 with its type; the copy in
    // 物理 belongs to another subject.
    QCOMPARE(shown, (QStringList{QStringLiteral("疑似重复：第001题（相似度 100%）"),
                                 QStringLiteral("疑似重复：填空题第001题（相似度 88%）")}));
    QCOMPARE(previewed, kTriangleFill);
    QCOMPARE(previewedAnswer, QStringLiteral("5"));
    QVERIFY(stillOpenAfterLooking);
    QCOMPARE(ws.count(QStringLiteral("stb")), before);
    QCOMPARE(dlg->MemoTm->toPlainText(), kTriangleTyped);
    QCOMPARE(dlg->MemoDa->toPlainText(), QStringLiteral("A"));
    QVERIFY(boxes.texts.isEmpty());

    // 仍然存入: stored as the next 选择题.
    boxes.onOtherModal = [&](QWidget* w) {
        auto* dialog = qobject_cast<TCfF*>(w);
        if (!dialog || !dialog->isVisible()) return false;
        ++asked;
        QTest::mouseClick(dialog->BtnRrcr, Qt::LeftButton);
        return true;
    };
    QTest::mouseClick(dlg->BtnXtrk, Qt::LeftButton);
    QCOMPARE(asked, 2);
    QCOMPARE(ws.count(QStringLiteral("stb")), before + 1);
    QCOMPARE(ws.scalar(QStringLiteral("SELECT tm FROM stb WHERE kmh='01' AND txh='01' AND th='003'")), kTriangleTyped);
    QVERIFY(dlg->MemoTm->toPlainText().isEmpty());

    // A question like none of the subject is stored without a question.
    dlg->MemoTm->setPlainText(QStringLiteral("等腰三角形的一个底角是40°，它的顶角是多少度？"));
    QTest::mouseClick(dlg->BtnXtrk, Qt::LeftButton);
    QCOMPARE(asked, 2);
    QCOMPARE(ws.count(QStringLiteral("stb")), before + 2);

    // Escape (closing the dialog) is 不存入 too.
    boxes.onOtherModal = [&](QWidget* w) {
        auto* dialog = qobject_cast<TCfF*>(w);
        if (!dialog || !dialog->isVisible()) return false;
        ++asked;
        QTest::keyClick(dialog, Qt::Key_Escape);
        return true;
    };
    dlg->MemoTm->setPlainText(kCircle);
    QTest::mouseClick(dlg->BtnXtrk, Qt::LeftButton);
    QCOMPARE(asked, 3);
    QCOMPARE(ws.count(QStringLiteral("stb")), before + 2);
    QCOMPARE(dlg->MemoTm->toPlainText(), kCircle);
}

void DuplicateDialogTest::changingAQuestionNeverFindsItself()
{
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    TLrstF* dlg = open();
    QStringList shown;
    int asked = 0;
    bool store = false;
    boxes.onOtherModal = [&](QWidget* w) {
        auto* dialog = qobject_cast<TCfF*>(w);
        if (!dialog || !dialog->isVisible()) return false;
        ++asked;
        shown = lines(dialog);
        QTest::mouseClick(store ? dialog->BtnRrcr : dialog->BtnBcr, Qt::LeftButton);
        return true;
    };
    // Row 0 is 选择题 001, the triangle; only the 填空题 is like it (88 %). A new answer: no question.
    clickRow(dlg, 0);
    QCOMPARE(dlg->MemoTm->toPlainText(), kTriangle);
    dlg->MemoDa->setPlainText(QStringLiteral("A（勾股定理）"));
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    QCOMPARE(asked, 0);
    QCOMPARE(ws.scalar(QStringLiteral("SELECT da FROM stb WHERE kmh='01' AND txh='01' AND th='001'")),
             QStringLiteral("A（勾股定理）"));

    // Its text changed a little: like itself, which does not count, and like the 填空题.
    clickRow(dlg, 0);
    const QString retouched = kTriangle + QStringLiteral(" ");
    dlg->MemoTm->setPlainText(retouched);
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    QCOMPARE(asked, 1);
    QCOMPARE(shown, QStringList{QStringLiteral("疑似重复：填空题第001题（相似度 88%）")});
    QCOMPARE(ws.scalar(QStringLiteral("SELECT tm FROM stb WHERE kmh='01' AND txh='01' AND th='001'")), kTriangle);
    QCOMPARE(dlg->MemoTm->toPlainText(), retouched);

    // The circle (row 1) rewritten as the triangle: 不存入 keeps it, 仍然存入 writes it.
    clickRow(dlg, 1);
    QCOMPARE(dlg->MemoTm->toPlainText(), kCircle);
    dlg->MemoTm->setPlainText(kTriangleTyped);
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    QCOMPARE(asked, 2);
    QCOMPARE(shown, (QStringList{QStringLiteral("疑似重复：第001题（相似度 100%）"),
                                 QStringLiteral("疑似重复：填空题第001题（相似度 88%）")}));
    QCOMPARE(ws.scalar(QStringLiteral("SELECT tm FROM stb WHERE kmh='01' AND txh='01' AND th='002'")), kCircle);
    store = true;
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    QCOMPARE(asked, 3);
    QCOMPARE(ws.scalar(QStringLiteral("SELECT tm FROM stb WHERE kmh='01' AND txh='01' AND th='002'")), kTriangleTyped);
    QVERIFY(boxes.texts.isEmpty());
}

QTEST_MAIN(DuplicateDialogTest)
#include "test_duplicate_dialog.moc"
