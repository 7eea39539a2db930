// A generated bank whose first type holds 100,000 questions (made once for the whole test): the
// question entry grid counts them exactly while holding only the keys it has shown, search by
// number finds 99999, storing gives the next number, and the wizard's draw of 200 from the 50,000
// candidates of ten chapters never repeats a question.
#include "app/application.h"
#include "ui/db_grid.h"
#include "ui/forms.h"
#include "app/main_window.h"
#include "windows/bank/question_entry.h"
#include "data/data_module.h"
#include "demo/demo.h"
#include "test_support.h"
#include "windows/wizard/detail_settings.h"
#include "windows/wizard/overall_settings.h"
#include "windows/wizard/wizard_fixture.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using testing::BoxAnswerer;
using testing::Workspace;

namespace {

constexpr int kTypeSize = 100000;

QString shown(DBGrid* grid, int row, int column = 0)
{
    return grid->model()->index(row, column).data().toString();
}

}  // namespace

class LargeTypeTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void entryGridCountsSearchesAndNumbersAHundredThousand();
    void drawOfTwoHundredFromFiftyThousandNeverRepeats();

private:
    QTemporaryDir generated_;
    QString bank_;
    // The workspace's bank replaced by a copy of the generated one, and the program connected to it.
    void useGeneratedBank(Workspace& ws);
};

void LargeTypeTest::initTestCase()
{
    app::setup(*qApp);
    bank_ = generated_.filePath(QStringLiteral("large.db"));
    // 110,000 questions: 100,000 in 题型1 of 科目1 (numbers 001 … 100000, chapters in turn), 2,000
    // in 题型2, the rest spread over the other types; short texts keep the file small.
    demo::createGeneratedDatabase(bank_, demo::GeneratedShape{kTypeSize + 10000, kTypeSize, 12});
}

void LargeTypeTest::useGeneratedBank(Workspace& ws)
{
    DM->disconnectFromBank();
    QFile::remove(ws.databasePath());
    QVERIFY(QFile::copy(bank_, ws.databasePath()));
    ws.connect();
    MainF->fillSubjectBox();
    MainF->ComboBoxKmm->setEditText(QStringLiteral("科目1"));
}

void LargeTypeTest::entryGridCountsSearchesAndNumbersAHundredThousand()
{
    Workspace ws;
    useGeneratedBank(ws);
    BoxAnswerer boxes;
    auto* dlg = new TLrstF(MainF);
    dlg->show();
    QTest::qWait(0);
    DBGrid* grid = dlg->DBGrid1;
    QCOMPARE(dlg->ComboBoxTx->currentText(), QStringLiteral("题型1"));
    // The count is exact, and only the first screen's rows and keys were read to show it.
    QCOMPARE(grid->model()->rowCount(), kTypeSize);
    QCOMPARE(DM->ADOQuerySt->recordCount(), kTypeSize);
    QCOMPARE(shown(grid, 0), QStringLiteral("001"));
    QVERIFY(DM->ADOQuerySt->readsKeysOnDemand());
    // Opening read the rows on screen and a few more: every row drawn shows its number.
    const int lastShown = grid->rowAt(grid->viewport()->height() - 1);
    QVERIFY(lastShown >= 10);
    QCOMPARE(shown(grid, lastShown), QString::number(lastShown + 1).rightJustified(3, QLatin1Char('0')));
    QVERIFY2(DM->ADOQuerySt->keysInMemory() < 64, qPrintable(QString::number(DM->ADOQuerySt->keysInMemory())));
    QVERIFY(DM->ADOQuerySt->rowsInMemory() < 64);
    // The number column shows six digits whole: a cell's text keeps a margin on either side.
    const int margin = grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1;
    QVERIFY(grid->columnWidth(0) >= grid->fontMetrics().horizontalAdvance(QStringLiteral("100000")) + 2 * margin);

    // Search by number far down lands on it, with its question in the editor.
    dlg->EditTh->setText(QStringLiteral("99999"));
    QTest::keyClick(dlg->EditTh, Qt::Key_Return);
    QVERIFY(boxes.texts.isEmpty());
    QCOMPARE(DM->ADOQuerySt->recNo(), kTypeSize - 2);
    QCOMPARE(grid->currentIndex().row(), kTypeSize - 2);
    QCOMPARE(DM->ADOQuerySt->str(QStringLiteral("th")), QStringLiteral("99999"));
    QCOMPARE(dlg->MemoTm->toPlainText(),
             ws.scalar("SELECT tm FROM stb WHERE kmh='01' AND txh='01' AND th='99999'"));
    QVERIFY(!dlg->MemoTm->toPlainText().isEmpty());
    // The last row drawn at the end of the scroll bar is the last question.
    grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum());
    QTest::qWait(0);
    QCOMPARE(shown(grid, kTypeSize - 1), QStringLiteral("100000"));
    QVERIFY(DM->ADOQuerySt->rowsInMemory() < 4096);

    // Storing gives the next number; the count follows without reading every key again.
    dlg->ComboBoxZj->setEditText(QStringLiteral("第3章"));
    dlg->MemoTm->setPlainText(QStringLiteral("新题"));
    dlg->MemoDa->setPlainText(QStringLiteral("新答"));
    dlg->EditFs->setText(QStringLiteral("4"));
    QTest::mouseClick(dlg->BtnXtrk, Qt::LeftButton);
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join(QLatin1Char('\n'))));
    QCOMPARE(ws.scalar("SELECT th FROM stb WHERE tm='新题'"), QStringLiteral("100001"));
    QCOMPARE(grid->model()->rowCount(), kTypeSize + 1);
    QCOMPARE(DM->ADOQuerySt->recNo(), 0);
    QCOMPARE(shown(grid, kTypeSize), QStringLiteral("100001"));
    dlg->EditTh->setText(QStringLiteral("100001"));
    QTest::keyClick(dlg->EditTh, Qt::Key_Return);
    QCOMPARE(DM->ADOQuerySt->recNo(), kTypeSize);
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("新题"));
    QVERIFY(boxes.texts.isEmpty());
    dlg->close();
    delete dlg;
}

void LargeTypeTest::drawOfTwoHundredFromFiftyThousandNeverRepeats()
{
    Workspace ws;
    useGeneratedBank(ws);
    BoxAnswerer boxes;
    TXxszF* step2 = wizardtest::openStepTwo();
    QCOMPARE(ZtszF->ComboBoxKm->currentText(), QStringLiteral("科目1"));
    // Chapters 1 to 10 of the twenty hold half of 题型1.
    for (int i = 0; i < step2->CheckListBoxZj->count(); ++i) {
        QListWidgetItem* item = step2->CheckListBoxZj->item(i);
        const int chapter = item->text().mid(1, item->text().size() - 2).toInt();
        item->setCheckState(chapter >= 1 && chapter <= 10 ? Qt::Checked : Qt::Unchecked);
    }
    const auto types = step2->ListBoxTx->findItems(QStringLiteral("题型1"), Qt::MatchExactly);
    QCOMPARE(types.size(), 1);
    step2->ListBoxTx->setCurrentItem(types.first());
    step2->SelectTm();
    QCOMPARE(step2->EditBxTs->text(), QStringLiteral("50000"));
    step2->EditTs->setText(QStringLiteral("200"));
    step2->EditZf->setText(QStringLiteral("100"));
    QTest::mouseClick(step2->SBtnQbyr, Qt::LeftButton);
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join(QLatin1Char('\n'))));
    QCOMPARE(ws.count("sjb"), 200);
    QCOMPARE(ws.scalar("SELECT COUNT(DISTINCT th) FROM sjb"), QStringLiteral("200"));
    // Every drawn question is a candidate: of 题型1, in one of the ticked chapters.
    QCOMPARE(ws.count("sjb", "kmh='01' AND txh='01' AND zjh BETWEEN '01' AND '10'"), 200);
    QCOMPARE(step2->ListBoxSj->count(), 200);
    QSet<QString> lines;
    for (int i = 0; i < step2->ListBoxSj->count(); ++i) lines.insert(step2->ListBoxSj->item(i)->text().section(')', 1));
    QCOMPARE(lines.size(), 200);
    step2->close();
    ZtszF->close();
}

QTEST_MAIN(LargeTypeTest)
#include "test_large_type.moc"
