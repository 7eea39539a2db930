// Wizard step 2 shows a question holding formulas and pictures in its short form.
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>

#include "app/application.h"
#include "app/db_grid.h"
#include "content/content.h"
#include "wizard_fixture.h"

using namespace wizardtest;
using testing::Workspace;

class DetailContentTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void candidatesWithFormulasAndPicturesShowTheirShortForm();
};

void DetailContentTest::candidatesWithFormulasAndPicturesShowTheirShortForm()
{
    Workspace ws;
    seedSubjects(ws);
    const QString marker = content::pictureMarker(QString(64, QLatin1Char('a')));
    addQuestion(ws, "01", "01", "001", "01", "易", QStringLiteral("求\\(\\frac{1}{2}\\)的值\n") + marker);
    addQuestion(ws, "01", "01", "002", "01", "易", QStringLiteral("普通题\n第二行 [[图片:x]]"));
    TXxszF* dlg = openStepTwo();
    tick(dlg, "第一章");
    QTest::mouseClick(dlg->RadioGroup1Manual, Qt::LeftButton);
    const auto show = [dlg](int row) {
        const QRect cell = dlg->DBGridTm->visualRect(dlg->DBGridTm->model()->index(row, 0));
        QTest::mouseClick(dlg->DBGridTm->viewport(), Qt::LeftButton, {}, cell.center());
        return dlg->MemoTm->toPlainText();
    };
    QCOMPARE(show(0), QStringLiteral("求\\frac{1}{2}的值 [图]"));
    // A text without markers shows exactly as stored, line breaks and look-alike brackets kept.
    QCOMPARE(show(1), QStringLiteral("普通题\n第二行 [[图片:x]]"));
}

QTEST_MAIN(DetailContentTest)
#include "test_detail_content.moc"
