// Wizard step 1: subject, the two type lists, title fields, the checks of "下一步>>".
#include "app/application.h"
#include "ui/forms.h"
#include "data/data_module.h"
#include "test_support.h"
#include "windows/wizard/detail_settings.h"
#include "windows/wizard/overall_settings.h"
#include "windows/wizard/wizard_fixture.h"

#include <QComboBox>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

using testing::BoxAnswerer;
using testing::Workspace;

namespace {

QStringList items(const QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

// Chinese text arrives through the input method as a committed string.
void typeChinese(QWidget* edit, const QString& text)
{
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(edit, &event);
}

}  // namespace

class OverallSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void showingStartsFromTheFirstSubject();
    void movingTypesBetweenTheLists();
    void reorderingThePaperTypes();
    void pickingOrTypingASubject();
    void goingOnIsRefusedWithoutTitleOrTypes();
    void enterMovesThroughTitleAndTime();
    void goingOnHidesStepOneAndClosingStepTwoClosesBoth();
    void cancelCloses();

private:
    TZtszF* open();
};

TZtszF* OverallSettingsTest::open()
{
    auto* dlg = new TZtszF(nullptr);
    ZtszF = dlg;
    dlg->show();
    QApplication::setActiveWindow(dlg);
    return dlg;
}

void OverallSettingsTest::showingStartsFromTheFirstSubject()
{
    Workspace ws;
    wizardtest::seedSubjects(ws);
    ws.refreshDatasets();
    TZtszF* dlg = open();
    QCOMPARE(dlg->windowTitle(), QStringLiteral("组卷向导--总体设置"));
    QCOMPARE(dlg->size(), QSize(474, 459));
    auto* box = testing::child<QComboBox>(dlg, "ComboBoxKm");
    QVERIFY(box);
    QCOMPARE(box->count(), 3);
    QCOMPARE(box->currentText(), QStringLiteral("数学"));
    auto* tk = testing::child<QListWidget>(dlg, "ListBoxTk");
    QCOMPARE(items(tk), (QStringList{"选择题", "填空题", "解答题"}));
    QCOMPARE(wizard::selectedRow(tk), 0);
    QCOMPARE(testing::child<QListWidget>(dlg, "ListBoxSj")->count(), 0);
    auto* title = testing::child<QLineEdit>(dlg, "EditSjbt");
    QCOMPARE(title->text(), QStringLiteral("数学试卷"));
    QCOMPARE(title->selectedText(), QStringLiteral("数学试卷"));
    QCOMPARE(testing::child<QLineEdit>(dlg, "EditSj")->text(), QStringLiteral("120"));
    QCOMPARE(testing::child<QLineEdit>(dlg, "EditZf")->text(), QStringLiteral("100"));
}

void OverallSettingsTest::movingTypesBetweenTheLists()
{
    Workspace ws;
    wizardtest::seedSubjects(ws);
    ws.refreshDatasets();
    TZtszF* dlg = open();
    auto* tk = dlg->ListBoxTk;
    auto* sj = dlg->ListBoxSj;

    // Repeated ">" takes the available types in list order, the first staying selected.
    QTest::mouseClick(dlg->SBtnYr, Qt::LeftButton);
    QTest::mouseClick(dlg->SBtnYr, Qt::LeftButton);
    QCOMPARE(items(sj), (QStringList{"选择题", "填空题"}));
    QCOMPARE(items(tk), QStringList{"解答题"});
    QCOMPARE(wizard::selectedRow(tk), 0);

    // "<" puts the selected paper type at the end of the available list and selects nothing.
    wizard::selectRow(sj, 0);
    QTest::mouseClick(dlg->SBtnYc, Qt::LeftButton);
    QCOMPARE(items(tk), (QStringList{"解答题", "选择题"}));
    QCOMPARE(items(sj), QStringList{"填空题"});
    QCOMPARE(wizard::selectedRow(sj), -1);
    // With nothing selected "<" does nothing.
    QTest::mouseClick(dlg->SBtnYc, Qt::LeftButton);
    QCOMPARE(items(sj), QStringList{"填空题"});

    // ">>" puts every type of the subject into the paper in table order.
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);
    QCOMPARE(items(sj), (QStringList{"选择题", "填空题", "解答题"}));
    QCOMPARE(tk->count(), 0);
    // ">" with no available type does nothing.
    QTest::mouseClick(dlg->SBtnYr, Qt::LeftButton);
    QCOMPARE(sj->count(), 3);

    // "<<" restores the table order of the available list.
    QTest::mouseClick(dlg->SBtnQbyc, Qt::LeftButton);
    QCOMPARE(items(tk), (QStringList{"选择题", "填空题", "解答题"}));
    QCOMPARE(sj->count(), 0);
}

void OverallSettingsTest::reorderingThePaperTypes()
{
    Workspace ws;
    wizardtest::seedSubjects(ws);
    ws.refreshDatasets();
    TZtszF* dlg = open();
    auto* sj = dlg->ListBoxSj;
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);

    // Nothing selected: neither arrow does anything.
    QTest::mouseClick(dlg->SpeedButton5, Qt::LeftButton);
    QTest::mouseClick(dlg->SpeedButton6, Qt::LeftButton);
    QCOMPARE(items(sj), (QStringList{"选择题", "填空题", "解答题"}));

    wizard::selectRow(sj, 2);
    QTest::mouseClick(dlg->SpeedButton5, Qt::LeftButton);
    QCOMPARE(items(sj), (QStringList{"选择题", "解答题", "填空题"}));
    QCOMPARE(wizard::selectedRow(sj), 1);
    QTest::mouseClick(dlg->SpeedButton5, Qt::LeftButton);
    QCOMPARE(items(sj), (QStringList{"解答题", "选择题", "填空题"}));
    QCOMPARE(wizard::selectedRow(sj), 0);
    // Up on the first does nothing.
    QTest::mouseClick(dlg->SpeedButton5, Qt::LeftButton);
    QCOMPARE(items(sj), (QStringList{"解答题", "选择题", "填空题"}));
    QCOMPARE(wizard::selectedRow(sj), 0);

    QTest::mouseClick(dlg->SpeedButton6, Qt::LeftButton);
    QCOMPARE(items(sj), (QStringList{"选择题", "解答题", "填空题"}));
    QCOMPARE(wizard::selectedRow(sj), 1);
    wizard::selectRow(sj, 2);
    // Down on the last does nothing.
    QTest::mouseClick(dlg->SpeedButton6, Qt::LeftButton);
    QCOMPARE(items(sj), (QStringList{"选择题", "解答题", "填空题"}));
    QCOMPARE(wizard::selectedRow(sj), 2);
}

void OverallSettingsTest::pickingOrTypingASubject()
{
    Workspace ws;
    wizardtest::seedSubjects(ws);
    ws.refreshDatasets();
    TZtszF* dlg = open();
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);
    dlg->EditSjbt->setText(QStringLiteral("期末考试"));

    // Picking another subject replaces the lists and the title the user had typed.
    dlg->ComboBoxKm->setCurrentIndex(1);
    emit dlg->ComboBoxKm->activated(1);
    QCOMPARE(items(dlg->ListBoxTk), QStringList{"选择题"});
    QCOMPARE(dlg->ListBoxSj->count(), 0);
    QCOMPARE(dlg->EditSjbt->text(), QStringLiteral("语文试卷"));
    QCOMPARE(wizard::selectedRow(dlg->ListBoxTk), 0);

    // Typed text is no picked subject: both lists empty, the title is just "试卷".
    dlg->ComboBoxKm->lineEdit()->clear();
    typeChinese(dlg->ComboBoxKm->lineEdit(), QStringLiteral("数学"));
    QCOMPARE(dlg->ComboBoxKm->currentText(), QStringLiteral("数学"));
    QCOMPARE(dlg->ListBoxTk->count(), 0);
    QCOMPARE(dlg->ListBoxSj->count(), 0);
    QCOMPARE(dlg->EditSjbt->text(), QStringLiteral("试卷"));
    // ">>" reads the box's text, which names an existing subject.
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);
    QCOMPARE(items(dlg->ListBoxSj), (QStringList{"选择题", "填空题", "解答题"}));
}

void OverallSettingsTest::goingOnIsRefusedWithoutTitleOrTypes()
{
    Workspace ws;
    wizardtest::seedSubjects(ws);
    ws.refreshDatasets();
    BoxAnswerer boxes;
    TZtszF* dlg = open();
    dlg->EditSjbt->clear();
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);
    QTest::mouseClick(dlg->BtnXyb, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{"试卷标题不能为空！"});
    QVERIFY(dlg->isVisible());

    // A title of blanks is a title; the paper list is checked next.
    dlg->EditSjbt->setText(QStringLiteral("  "));
    QTest::mouseClick(dlg->SBtnQbyc, Qt::LeftButton);
    QTest::mouseClick(dlg->BtnXyb, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("试卷应至少包含一种题型，请选择题型！"));
    QCOMPARE(boxes.captions.last(), QStringLiteral("Exavoro"));

    // A subject without types leaves nothing to move.
    dlg->ComboBoxKm->setCurrentIndex(2);
    emit dlg->ComboBoxKm->activated(2);
    QCOMPARE(dlg->ListBoxTk->count(), 0);
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);
    QTest::mouseClick(dlg->BtnXyb, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), 3);
    QCOMPARE(boxes.last(), QStringLiteral("试卷应至少包含一种题型，请选择题型！"));
    QVERIFY(dlg->isVisible());
    QVERIFY(!XxszF);
}

void OverallSettingsTest::enterMovesThroughTitleAndTime()
{
    Workspace ws;
    wizardtest::seedSubjects(ws);
    ws.refreshDatasets();
    TZtszF* dlg = open();
    QVERIFY(QTest::qWaitForWindowActive(dlg));
    dlg->EditSjbt->setFocus();
    QTest::keyClick(dlg->EditSjbt, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), dlg->EditSj);
    QCOMPARE(dlg->EditSj->selectedText(), QStringLiteral("120"));
    QTest::keyClick(dlg->EditSj, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), dlg->EditZf);
    QCOMPARE(dlg->EditZf->selectedText(), QStringLiteral("100"));
    // Neither Enter pressed a button.
    QVERIFY(dlg->isVisible());
    QVERIFY(!XxszF);
}

void OverallSettingsTest::goingOnHidesStepOneAndClosingStepTwoClosesBoth()
{
    Workspace ws;
    wizardtest::seedSubjects(ws);
    ws.refreshDatasets();
    BoxAnswerer boxes;
    TZtszF* dlg = open();
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);
    wizard::selectRow(dlg->ListBoxSj, 2);
    QTest::mouseClick(dlg->SpeedButton5, Qt::LeftButton);

    QStringList seenTypes;
    bool stepOneVisible = true;
    bool stepTwoKnown = false;
    boxes.onOtherModal = [&](QWidget* w) {
        auto* step2 = qobject_cast<TXxszF*>(w);
        if (!step2) return false;
        stepTwoKnown = XxszF.data() == step2 && step2->parent() == dlg;
        seenTypes = items(step2->ListBoxTx);
        stepOneVisible = dlg->isVisible();
        QTest::mouseClick(step2->Button3, Qt::LeftButton);
        return true;
    };
    QTest::mouseClick(dlg->BtnXyb, Qt::LeftButton);
    QCOMPARE(seenTypes, (QStringList{"选择题", "解答题", "填空题"}));
    QVERIFY(stepTwoKnown);
    QVERIFY(!stepOneVisible);
    QVERIFY(!dlg->isVisible());
    QCOMPARE(dlg->result(), int(QDialog::Rejected));
    QVERIFY(boxes.texts.isEmpty());
}

void OverallSettingsTest::cancelCloses()
{
    Workspace ws;
    wizardtest::seedSubjects(ws);
    ws.refreshDatasets();
    TZtszF* dlg = open();
    QTest::mouseClick(dlg->BtnQx, Qt::LeftButton);
    QVERIFY(!dlg->isVisible());
    QCOMPARE(ws.count("sjb"), 0);
}

QTEST_MAIN(OverallSettingsTest)
#include "test_overall_settings.moc"
