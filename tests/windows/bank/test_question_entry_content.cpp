// Question entry with formulas and pictures: the formula editor inserts and edits formulas at the
// memo's cursor, pictures come from a file or the clipboard and are stored once, and the previews
// show the texts typeset.
#include <QBuffer>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextImageFormat>

#include "app/application.h"
#include "ui/forms.h"
#include "app/main_window.h"
#include "windows/bank/question_entry.h"
#include "content/content.h"
#include "windows/content/content_preview.h"
#include "windows/content/formula_editor.h"
#include "windows/content/picture_size_dialog.h"
#include "data/data_module.h"
#include "test_support.h"

using content::ContentPreview;
using content::FormulaEditor;
using testing::BoxAnswerer;
using testing::Workspace;

namespace {

// The images placed in a preview, in order: their width and height as laid out.
QVector<QSizeF> placedImages(ContentPreview* preview)
{
    QVector<QSizeF> sizes;
    for (QTextBlock block = preview->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isImageFormat()) {
                const QTextImageFormat image = format.toImageFormat();
                sizes.append(QSizeF(image.width(), image.height()));
            }
        }
    }
    return sizes;
}

QString writePicture(const QString& path, const QSize& size, const QColor& colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QPainter painter(&image);
    painter.drawLine(0, 0, size.width() - 1, size.height() - 1);
    painter.end();
    image.save(path, "PNG");
    return path;
}

}  // namespace

class QuestionEntryContentTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void formulaEditorInsertsAtTheCursorAndEditsAFormulaInPlace();
    void picturesFromAFileOrTheClipboardAreStoredOnce();
    void badPicturesAndAnEmptyClipboardAreRefusedWithAMessage();
    void previewTypesetsFormulasAndScalesPictures();
    void formulasThatEndEarlyAreRefusedAtEntry();
    void aPictureInsertedWithAWidthKeepsItAndCanBeResized();

private:
    static TLrstF* open(Workspace& ws);
};

void QuestionEntryContentTest::initTestCase()
{
    app::setup(*qApp);
}

TLrstF* QuestionEntryContentTest::open(Workspace& ws)
{
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('01','数学')");
    ws.exec("INSERT INTO txb (kmh, txh, txm) VALUES ('01','01','解答题')");
    ws.exec("INSERT INTO zjb (kmh, zjh, zjm) VALUES ('01','01','函数')");
    ws.refreshDatasets();
    MainF->fillSubjectBox();
    MainF->ComboBoxKmm->setEditText(QStringLiteral("数学"));
    auto* dlg = new TLrstF(MainF);
    dlg->show();
    // Questions are stored with a score.
    if (dlg->EditFs->text().isEmpty()) dlg->EditFs->setText(QStringLiteral("2"));
    return dlg;
}

void QuestionEntryContentTest::formulaEditorInsertsAtTheCursorAndEditsAFormulaInPlace()
{
    Workspace ws;
    BoxAnswerer boxes;
    TLrstF* dlg = open(ws);
    QCOMPARE(dlg->BtnGsTm->text(), QStringLiteral("插入公式"));
    QCOMPARE(dlg->BtnTpDa->text(), QStringLiteral("插入图片"));
    dlg->MemoTm->setPlainText(QStringLiteral("求根：。"));
    QTextCursor cursor = dlg->MemoTm->textCursor();
    cursor.setPosition(3);  // before "。"
    dlg->MemoTm->setTextCursor(cursor);

    // First opening: build a fraction with the structure button, type into it, preview, OK.
    QString previewedFirst;
    bool previewShown = false;
    int openings = 0;
    QString replacement;
    boxes.onOtherModal = [&](QWidget* w) {
        auto* editor = qobject_cast<FormulaEditor*>(w);
        if (!editor || !editor->isVisible()) return false;
        ++openings;
        if (openings == 1) {
            QTest::mouseClick(editor->findChild<QPushButton*>("BtnFraction"), Qt::LeftButton);
            QTest::keyClicks(editor->EditTex, "-b");
            editor->EditTex->moveCursor(QTextCursor::End);
            editor->EditTex->moveCursor(QTextCursor::Left);
            QTest::keyClicks(editor->EditTex, "2a");
            previewedFirst = editor->tex();
            // The preview follows the typing after a short pause.
            for (int i = 0; i < 100 && editor->LabelPreview->pixmap().isNull(); ++i) QTest::qWait(50);
            previewShown = editor->LabelPreview->pixmap().height() > 10;
        } else {
            // Second opening, cursor inside the formula: the editor holds it; make it displayed.
            previewedFirst = editor->tex();
            editor->EditTex->setPlainText(QStringLiteral("x=\\frac{-b\\pm\\sqrt{b^2-4ac}}{2a}"));
            editor->RadioDisplay->setChecked(true);
            replacement = editor->text();
        }
        QTest::mouseClick(editor->BtnOk, Qt::LeftButton);
        return true;
    };
    QTest::mouseClick(dlg->BtnGsTm, Qt::LeftButton);
    QCOMPARE(openings, 1);
    QCOMPARE(previewedFirst, QStringLiteral("\\frac{-b}{2a}"));
    QVERIFY(previewShown);
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("求根：\\(\\frac{-b}{2a}\\)。"));
    QVERIFY(dlg->BtnYtgg->isEnabled());

    cursor = dlg->MemoTm->textCursor();
    cursor.setPosition(8);  // inside \frac
    dlg->MemoTm->setTextCursor(cursor);
    QTest::mouseClick(dlg->BtnGsTm, Qt::LeftButton);
    QCOMPARE(openings, 2);
    QCOMPARE(previewedFirst, QStringLiteral("\\frac{-b}{2a}"));
    QCOMPARE(replacement, QStringLiteral("\\[x=\\frac{-b\\pm\\sqrt{b^2-4ac}}{2a}\\]"));
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("求根：") + replacement + QStringLiteral("。"));

    // Cancel changes nothing; the stored question holds the formula as typed.
    boxes.onOtherModal = [&](QWidget* w) {
        auto* editor = qobject_cast<FormulaEditor*>(w);
        if (!editor || !editor->isVisible()) return false;
        editor->EditTex->setPlainText(QStringLiteral("y"));
        QTest::mouseClick(editor->BtnCancel, Qt::LeftButton);
        return true;
    };
    QTest::mouseClick(dlg->BtnGsDa, Qt::LeftButton);
    QCOMPARE(dlg->MemoDa->toPlainText(), QString());
    QTest::mouseClick(dlg->BtnXtrk, Qt::LeftButton);
    QCOMPARE(ws.scalar("SELECT tm FROM stb"), QStringLiteral("求根：") + replacement + QStringLiteral("。"));
    QVERIFY(boxes.texts.isEmpty());
}

void QuestionEntryContentTest::picturesFromAFileOrTheClipboardAreStoredOnce()
{
    Workspace ws;
    BoxAnswerer boxes;
    TLrstF* dlg = open(ws);
    const QString file = writePicture(ws.root() + QStringLiteral("/三角形.png"), QSize(120, 80), Qt::white);
    int dialogs = 0;
    QString dialogName;
    int sizeDialogs = 0;
    boxes.onOtherModal = [&](QWidget* w) {
        // The picture's size and place, left as they are: the marker as it always was.
        if (auto* size = qobject_cast<content::PictureSizeDialog*>(w)) {
            ++sizeDialogs;
            QTest::keyClick(size->EditTpKd, Qt::Key_Return);
            return true;
        }
        auto* dialog = qobject_cast<QFileDialog*>(w);
        if (!dialog || !dialog->isVisible()) return false;
        ++dialogs;
        dialogName = dialog->objectName();
        // Typed into the file name line and confirmed with Enter, as a user would.
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        name->setText(file);
        QTest::keyClick(name, Qt::Key_Return);
        return true;
    };
    QAction* fromFile = dlg->BtnTpTm->menu()->findChild<QAction*>("ActionTpWj");
    QAction* fromClipboard = dlg->BtnTpTm->menu()->findChild<QAction*>("ActionTpJtb");
    QVERIFY(fromFile && fromClipboard);
    dlg->MemoTm->setPlainText(QStringLiteral("如图所示："));
    dlg->MemoTm->moveCursor(QTextCursor::End);
    fromFile->trigger();
    fromFile->trigger();  // the same picture twice
    QCOMPARE(dialogs, 2);
    QCOMPARE(dialogName, QStringLiteral("OpenPictureDialog"));
    QCOMPARE(sizeDialogs, 2);
    const QStringList hashes = content::pictureHashes(dlg->MemoTm->toPlainText());
    QCOMPARE(hashes.size(), 2);
    QCOMPARE(hashes[0], hashes[1]);
    QCOMPARE(ws.count("pictures"), 1);

    // An image on the clipboard is stored as PNG, at the answer's cursor.
    QImage copied(40, 30, QImage::Format_RGB32);
    copied.fill(Qt::blue);
    QGuiApplication::clipboard()->setImage(copied);
    dlg->BtnTpDa->menu()->findChild<QAction*>("ActionTpJtb")->trigger();
    const QStringList answerHashes = content::pictureHashes(dlg->MemoDa->toPlainText());
    QCOMPARE(answerHashes.size(), 1);
    QCOMPARE(ws.count("pictures"), 2);
    const auto stored = content::loadPicture(DM->db(), answerHashes[0]);
    QVERIFY(stored.has_value());
    QCOMPARE(stored->mime, QStringLiteral("image/png"));
    QCOMPARE(stored->size, QSize(40, 30));

    QTest::mouseClick(dlg->BtnXtrk, Qt::LeftButton);
    QCOMPARE(ws.scalar("SELECT tm FROM stb"),
             QStringLiteral("如图所示：") + content::pictureMarker(hashes[0]) + content::pictureMarker(hashes[0]));
    QCOMPARE(ws.scalar("SELECT da FROM stb"), content::pictureMarker(answerHashes[0]));
    QVERIFY(boxes.texts.isEmpty());
}

void QuestionEntryContentTest::badPicturesAndAnEmptyClipboardAreRefusedWithAMessage()
{
    Workspace ws;
    BoxAnswerer boxes;
    TLrstF* dlg = open(ws);
    QFile corrupt(ws.root() + QStringLiteral("/坏图.png"));
    QVERIFY(corrupt.open(QIODevice::WriteOnly));
    QImage image(50, 50, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    corrupt.write(png.left(png.size() / 2));  // a PNG cut in the middle
    corrupt.close();
    boxes.onOtherModal = [&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        if (!dialog || !dialog->isVisible()) return false;
        // Typed into the file name line and confirmed with Enter, as a user would.
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        name->setText(corrupt.fileName());
        QTest::keyClick(name, Qt::Key_Return);
        return true;
    };
    dlg->MemoTm->setPlainText(QStringLiteral("题"));
    dlg->BtnTpTm->menu()->findChild<QAction*>("ActionTpWj")->trigger();
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.last().contains(QStringLiteral("图片")), qPrintable(boxes.last()));
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("题"));
    QCOMPARE(ws.count("pictures"), 0);

    QGuiApplication::clipboard()->setText(QStringLiteral("只是文字"));
    dlg->BtnTpTm->menu()->findChild<QAction*>("ActionTpJtb")->trigger();
    QCOMPARE(boxes.last(), QStringLiteral("剪贴板中没有图片！"));
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("题"));
}

void QuestionEntryContentTest::previewTypesetsFormulasAndScalesPictures()
{
    Workspace ws;
    BoxAnswerer boxes;
    TLrstF* dlg = open(ws);
    QImage wide(1000, 500, QImage::Format_RGB32);
    wide.fill(Qt::green);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    wide.save(&buffer, "PNG");
    const QString hash = content::storePicture(DM->db(), png);
    const QString nowhere = QString(64, QLatin1Char('e'));

    // Typing reaches the preview after the pause: two formulas, one picture, one missing picture.
    dlg->MemoTm->insertPlainText(QStringLiteral("设"));
    QTest::keyClicks(dlg->MemoTm, "\\(x^2\\)");
    dlg->MemoTm->insertPlainText(QStringLiteral("满足\n"));
    QTest::keyClicks(dlg->MemoTm, "\\[\\int_0^1 x\\,dx\\]");
    dlg->MemoTm->insertPlainText(QStringLiteral("\n"));
    dlg->MemoTm->insertPlainText(content::pictureMarker(hash) + content::pictureMarker(nowhere));
    QTRY_COMPARE_WITH_TIMEOUT(dlg->PreviewTm->contentText(), dlg->MemoTm->toPlainText(), 3000);
    QTRY_COMPARE_WITH_TIMEOUT(placedImages(dlg->PreviewTm).size(), 3, 5000);
    const QVector<QSizeF> images = placedImages(dlg->PreviewTm);
    // The inline formula is about a line high; the picture fits the pane, proportions kept.
    QVERIFY(images[0].height() > 8 && images[0].height() < 60);
    QVERIFY(images[2].width() <= dlg->PreviewTm->viewport()->width());
    QVERIFY(images[2].width() > 200);
    QVERIFY(qAbs(images[2].width() / images[2].height() - 2.0) < 0.02);
    const QString shown = dlg->PreviewTm->toPlainText();
    QVERIFY(shown.startsWith(QStringLiteral("设")));
    QVERIFY(shown.contains(QStringLiteral("满足")));
    QVERIFY(shown.contains(QStringLiteral("[图片缺失]")));
    QVERIFY(!shown.contains(QStringLiteral("[[图片:")));
    // The displayed formula stands centred on its own line.
    QTextBlock block = dlg->PreviewTm->document()->begin().next();
    QCOMPARE(block.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);

    // A formula that cannot be typeset shows its source in red with the reason.
    dlg->MemoDa->setPlainText(QStringLiteral("答：\\(\\frac{1}{\\)"));
    dlg->PreviewDa->refreshNow();
    QVERIFY(placedImages(dlg->PreviewDa).isEmpty());
    QVERIFY2(dlg->PreviewDa->toPlainText().contains(QStringLiteral("\\(\\frac{1}{\\)（公式有误：")),
             qPrintable(dlg->PreviewDa->toPlainText()));
    // Loading a question from the grid refreshes the preview too.
    QTest::mouseClick(dlg->BtnXtrk, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(dlg->PreviewTm->toPlainText(), QString(), 3000);
    QVERIFY(boxes.texts.isEmpty());
}

void QuestionEntryContentTest::formulasThatEndEarlyAreRefusedAtEntry()
{
    Workspace ws;
    BoxAnswerer boxes;
    TLrstF* dlg = open(ws);

    // 插入公式: a source holding a delimiter of its own cannot be confirmed.
    QString shown;
    bool okEnabled = true;
    bool stayedOpen = false;
    boxes.onOtherModal = [&](QWidget* w) {
        auto* editor = qobject_cast<FormulaEditor*>(w);
        if (!editor || !editor->isVisible()) return false;
        QTest::keyClicks(editor->EditTex, QStringLiteral("1+1 \\[ x"));
        editor->refreshPreview();
        shown = editor->LabelPreview->text();
        okEnabled = editor->BtnOk->isEnabled();
        editor->accept();
        stayedOpen = editor->isVisible();
        QTest::mouseClick(editor->BtnCancel, Qt::LeftButton);
        return true;
    };
    QTest::mouseClick(dlg->BtnGsTm, Qt::LeftButton);
    QVERIFY2(shown.contains(QStringLiteral("\\( \\) \\[ \\]")), qPrintable(shown));
    QVERIFY(!okEnabled);
    QVERIFY(stayedOpen);
    QCOMPARE(dlg->MemoTm->toPlainText(), QString());
    boxes.onOtherModal = nullptr;

    // 录入试题: the poisoned text typed straight into the memo is refused with a message and not stored.
    const QString poisoned = QStringLiteral("计算\\[ 1+1 \\) \\par @0 \\(x=3 \\]");
    dlg->MemoTm->setPlainText(poisoned);
    QTest::mouseClick(dlg->BtnXtrk, Qt::LeftButton);
    QVERIFY2(boxes.last().startsWith(QStringLiteral("题目中的公式“1+1 \\) \\par @0 \\(x=3”无法使用：")),
             qPrintable(boxes.last()));
    QVERIFY(boxes.last().contains(QStringLiteral("请改正后再保存")));
    QCOMPARE(ws.count(QStringLiteral("stb")), 0);
    QCOMPARE(dlg->MemoTm->toPlainText(), poisoned);  // kept for correcting

    // A good question is stored; changing its answer to a file-reading formula is refused.
    dlg->MemoTm->setPlainText(QStringLiteral("计算\\[1+1\\]"));
    dlg->MemoDa->setPlainText(QStringLiteral("\\(2\\)"));
    QTest::mouseClick(dlg->BtnXtrk, Qt::LeftButton);
    QCOMPARE(ws.count(QStringLiteral("stb")), 1);
    dlg->DBGrid1CellClick();
    QCOMPARE(dlg->MemoDa->toPlainText(), QStringLiteral("\\(2\\)"));
    boxes.clear();
    dlg->MemoDa->setPlainText(QStringLiteral("\\(\\input{/etc/passwd}\\)"));
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    QVERIFY2(
        boxes.last().startsWith(QStringLiteral("答案中的公式")) && boxes.last().contains(QStringLiteral("\\input")),
        qPrintable(boxes.last()));
    QCOMPARE(ws.scalar("SELECT da FROM stb"), QStringLiteral("\\(2\\)"));
}

QTEST_MAIN(QuestionEntryContentTest)
void QuestionEntryContentTest::aPictureInsertedWithAWidthKeepsItAndCanBeResized()
{
    Workspace ws;
    BoxAnswerer boxes;
    TLrstF* dlg = open(ws);
    QImage copied(200, 100, QImage::Format_RGB32);
    copied.fill(Qt::darkCyan);
    QGuiApplication::clipboard()->setImage(copied);
    // The size dialog answers: first a width it refuses, then 4.5 cm floating right.
    QStringList widths = {QStringLiteral("0"), QStringLiteral("4.5")};
    QStringList messages;
    QStringList choices;
    int sizeDialogs = 0;
    boxes.onOtherModal = [&](QWidget* w) {
        auto* size = qobject_cast<content::PictureSizeDialog*>(w);
        if (!size || !size->isVisible()) return false;
        ++sizeDialogs;
        choices = {size->ComboTpWz->itemText(0), size->ComboTpWz->itemText(1), size->ComboTpDw->itemText(0),
                   size->ComboTpDw->itemText(1)};
        size->ComboTpDw->setCurrentIndex(0);
        size->ComboTpWz->setCurrentIndex(1);
        for (const QString& width : widths) {
            size->EditTpKd->selectAll();
            QTest::keyClicks(size->EditTpKd, width);
            if (width == widths.first()) {
                // Refused: a message, and the dialog stays open.
                boxes.clear();
                QTest::mouseClick(size->BtnOk, Qt::LeftButton);
                messages = boxes.texts;
                if (!size->isVisible()) return true;
            } else {
                QTest::mouseClick(size->BtnOk, Qt::LeftButton);
            }
        }
        return true;
    };
    dlg->MemoTm->setPlainText(QStringLiteral("如图所示："));
    dlg->MemoTm->moveCursor(QTextCursor::End);
    dlg->BtnTpTm->menu()->findChild<QAction*>("ActionTpJtb")->trigger();
    QCOMPARE(sizeDialogs, 1);
    QCOMPARE(choices, QStringList({QStringLiteral("嵌入文字中/下方"), QStringLiteral("文字右侧"), QStringLiteral("厘米"),
                                   QStringLiteral("% 行宽")}));
    QCOMPARE(messages, QStringList{QStringLiteral("图片宽度 0 厘米超出范围，应在 0.5 到 40 厘米之间。")});
    const QStringList hashes = content::pictureHashes(dlg->MemoTm->toPlainText());
    QCOMPARE(hashes.size(), 1);
    QCOMPARE(dlg->MemoTm->toPlainText(),
             QStringLiteral("如图所示：") + content::pictureMarker(hashes[0], QStringLiteral("4.5cm|右")));

    // The preview shows it at 4.5 cm of the A4 column's 14.65 cm.
    dlg->PreviewTm->refreshNow();
    qreal shownWidth = 0;
    for (QTextBlock b = dlg->PreviewTm->document()->begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (f.isImageFormat() && f.toImageFormat().name().startsWith(QLatin1String("picture:")))
                shownWidth = f.toImageFormat().width();
        }
    }
    // The pane is some 360 pixels wide: 4.5 / 14.65 of it, where the picture's own 200 would be shown.
    const qreal expected = (dlg->PreviewTm->viewport()->width() - 2 * dlg->PreviewTm->document()->documentMargin()) *
                           4.5 / content::ContentPreview::kColumnCm;
    QVERIFY2(qAbs(shownWidth - expected) < 12 && shownWidth < 150, qPrintable(QString::number(shownWidth)));

    // 图片大小… with the cursor just after the marker: 50 % of the line, in line with the text.
    dlg->MemoTm->moveCursor(QTextCursor::End);
    QString opened;
    boxes.onOtherModal = [&](QWidget* w) {
        auto* size = qobject_cast<content::PictureSizeDialog*>(w);
        if (!size || !size->isVisible()) return false;
        // It opens with the marker's own width and place.
        opened = size->EditTpKd->text() + QLatin1Char('/') + size->ComboTpWz->currentText();
        size->EditTpKd->setText(QStringLiteral("50"));
        size->ComboTpDw->setCurrentIndex(1);
        size->ComboTpWz->setCurrentIndex(0);
        QTest::mouseClick(size->BtnOk, Qt::LeftButton);
        return true;
    };
    QAction* resize = dlg->BtnTpTm->menu()->findChild<QAction*>("ActionTpDx");
    QVERIFY(resize);
    resize->trigger();
    QCOMPARE(opened, QStringLiteral("4.5/文字右侧"));
    QCOMPARE(dlg->MemoTm->toPlainText(),
             QStringLiteral("如图所示：") + content::pictureMarker(hashes[0], QStringLiteral("50%")));
    // Nowhere near a picture: a message.
    dlg->MemoTm->moveCursor(QTextCursor::Start);
    boxes.clear();
    resize->trigger();
    QCOMPARE(boxes.last(), QStringLiteral("请先把光标放在要调整大小的图片上！"));

    QTest::mouseClick(dlg->BtnXtrk, Qt::LeftButton);
    QCOMPARE(ws.scalar("SELECT tm FROM stb"),
             QStringLiteral("如图所示：") + content::pictureMarker(hashes[0], QStringLiteral("50%")));
}

#include "test_question_entry_content.moc"
