// Wizard step 2 shows a question holding formulas and pictures in its short form.
#include <QBuffer>
#include <QImage>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include "app/application.h"
#include "ui/db_grid.h"
#include "content/content.h"
#include "windows/content/content_preview.h"
#include "data/data_module.h"
#include "windows/wizard/wizard_fixture.h"

using namespace wizardtest;
using testing::Workspace;

namespace {

// The widths of the pictures a preview placed (typeset formulas and drawn pictures), in order.
QVector<qreal> placedWidths(content::ContentPreview* preview)
{
    QVector<qreal> widths;
    for (QTextBlock block = preview->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isImageFormat()) widths.append(format.toImageFormat().width());
        }
    }
    return widths;
}

}  // namespace

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
    QImage image(300, 100, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    const QString marker = content::pictureMarker(content::storePicture(DM->db(), png));
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
    // The box the user sees shows it rendered: the formula typeset and the picture drawn, neither
    // as its source.
    QVERIFY(dlg->MemoTm->isHidden());
    QVERIFY(dlg->PreviewTm->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(placedWidths(dlg->PreviewTm).size(), 2, 10000);
    QVERIFY(placedWidths(dlg->PreviewTm).at(1) > 50);  // the picture, scaled to the narrow box
    QVERIFY(!dlg->PreviewTm->toPlainText().contains(QStringLiteral("frac")));
    QVERIFY(!dlg->PreviewTm->toPlainText().contains(QStringLiteral("[[图片")));
    QVERIFY(dlg->PreviewTm->toPlainText().startsWith(QStringLiteral("求")));
    // A text without markers shows exactly as stored, line breaks and look-alike brackets kept.
    QCOMPARE(show(1), QStringLiteral("普通题\n第二行 [[图片:x]]"));
    QTRY_COMPARE_WITH_TIMEOUT(dlg->PreviewTm->toPlainText(), QStringLiteral("普通题\n第二行 [[图片:x]]"), 5000);
    QCOMPARE(placedWidths(dlg->PreviewTm).size(), 0);
}

QTEST_MAIN(DetailContentTest)
#include "test_detail_content.moc"
