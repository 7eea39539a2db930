// The 版式 dialog's preview of the first page: drawn for the layout chosen, redrawn as the choices
// change.
#include <QComboBox>
#include <QImage>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>

#include "app/application.h"
#include "test_support.h"
#include "windows/output/layout_dialog.h"
#include "windows/output/layout_preview.h"

namespace {

// The bounding box of the white sheet in a drawing of the preview.
QRect sheetIn(const QImage& image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == qRgb(255, 255, 255)) box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

// Columns of the sheet holding any grey or dark ink (question lines, headings), as a share of the
// sheet's width.
QVector<bool> inkedColumns(const QImage& image, const QRect& sheet)
{
    QVector<bool> inked(sheet.width(), false);
    for (int x = sheet.left(); x <= sheet.right(); ++x) {
        for (int y = sheet.top() + sheet.height() / 2; y <= sheet.bottom() - 4; ++y) {
            if (qGray(image.pixel(x, y)) < 200) {
                inked[x - sheet.left()] = true;
                break;
            }
        }
    }
    return inked;
}

}  // namespace

class LayoutPreviewTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void previewFollowsThePaperSizeAndTheCandidateChoice();
};

void LayoutPreviewTest::previewFollowsThePaperSizeAndTheCandidateChoice()
{
    testing::Workspace ws;
    TBsszF dialog(QStringLiteral("admin"), {QStringLiteral("选择题")});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* preview = dialog.findChild<LayoutPreview*>(QStringLiteral("LayoutPreview"));
    QVERIFY(preview);
    dialog.RadioBz->setChecked(true);
    const QImage standard = preview->grab().toImage();
    const QRect a4 = sheetIn(standard);
    QVERIFY2(a4.height() > a4.width(), "an upright A4 sheet");
    QVERIFY(qAbs(double(a4.height()) / a4.width() - 297.0 / 210) < 0.05);

    dialog.RadioKs->setChecked(true);
    dialog.ComboZz->setCurrentIndex(0);
    const QImage examA4 = preview->grab().toImage();
    QVERIFY(examA4 != standard);  // the score table and the header block
    QCOMPARE(preview->printLayout().kind, PrintLayout::Exam);

    dialog.ComboZz->setCurrentIndex(1);  // A3 横向两栏
    const QImage a3Image = preview->grab().toImage();
    QVERIFY(a3Image != examA4);
    const QRect a3 = sheetIn(a3Image);
    QVERIFY2(a3.width() > a3.height(), "a lying A3 sheet");
    QVERIFY(qAbs(double(a3.width()) / a3.height() - 420.0 / 297) < 0.05);
    // Two columns: a blank strip down the middle of the sheet between inked columns.
    const QVector<bool> inked = inkedColumns(a3Image, a3);
    const int middle = a3.width() / 2;
    QVERIFY(!inked[middle]);
    QVERIFY(inked[middle - a3.width() / 8]);
    QVERIFY(inked[middle + a3.width() / 8]);
    const QVector<bool> inkedA4 = inkedColumns(examA4, sheetIn(examA4));
    QVERIFY(inkedA4[inkedA4.size() / 2]);

    // The sealing column: ink in the left margin that the header block does not have.
    const auto leftMarginInk = [](const QImage& image) {
        const QRect sheet = sheetIn(image);
        int ink = 0;
        for (int x = sheet.left() + 2; x < sheet.left() + sheet.width() / 20; ++x) {
            for (int y = sheet.top() + 2; y < sheet.bottom() - 2; ++y) ink += qGray(image.pixel(x, y)) < 200;
        }
        return ink;
    };
    QCOMPARE(leftMarginInk(a3Image), 0);
    dialog.RadioMfx->setChecked(true);
    const QImage sealed = preview->grab().toImage();
    QVERIFY(leftMarginInk(sealed) > 0);
    QCOMPARE(preview->printLayout().candidate, PrintLayout::SealLine);

    // Notes change the drawing too; 取消 leaves the stored layout as it was.
    dialog.MemoZysx->setPlainText(QStringLiteral("一\n二\n三"));
    QVERIFY(preview->grab().toImage() != sealed);
    dialog.reject();
}

QTEST_MAIN(LayoutPreviewTest)
#include "test_layout_preview.moc"
