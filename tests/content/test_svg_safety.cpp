// SVG pictures that reach outside themselves, run scripts or cost too much to draw: stored
// cleaned or refused, and drawn (from the cleaned copy, also when an older bank holds the
// original) into a bounded image, in the preview and on the paper.
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QUrl>

#include "app/application.h"
#include "ui/forms.h"
#include "content/content.h"
#include "windows/content/content_preview.h"
#include "content/svg_safety.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "test_support.h"

namespace {

QByteArray png(const QColor& color)
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A 100 × 100 picture: a white ground and, over all of it, an image from `href`.
QByteArray imageSvg(const QString& href, const QByteArray& extra = QByteArray())
{
    return QStringLiteral(
               "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
               "width=\"100\" height=\"100\"%2><rect width=\"100\" height=\"100\" fill=\"white\"/>"
               "<image x=\"0\" y=\"0\" width=\"100\" height=\"100\" xlink:href=\"%1\"/></svg>")
        .arg(href, QString::fromUtf8(extra))
        .toUtf8();
}

// Counts the pixels of a drawing that are mostly red.
int redPixels(const QImage& image)
{
    int red = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 80 && c.blue() < 80) ++red;
        }
    return red;
}

QString refusal(const QByteArray& bytes)
{
    try {
        content::examinePicture(bytes);
    } catch (const AppError& e) {
        return e.text();
    }
    return QString();
}

// The billion laughs of SVG: each level draws the one below ten times.
QByteArray laughingSvg(int levels)
{
    QByteArray defs = "<g id=\"l0\"><rect width=\"1\" height=\"1\"/></g>";
    for (int i = 1; i <= levels; ++i) {
        defs += QStringLiteral("<g id=\"l%1\">").arg(i).toUtf8();
        for (int k = 0; k < 10; ++k) defs += QStringLiteral("<use xlink:href=\"#l%1\"/>").arg(i - 1).toUtf8();
        defs += "</g>";
    }
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"50\" "
           "height=\"50\"><defs>" +
           defs + QStringLiteral("</defs><use xlink:href=\"#l%1\"/></svg>").arg(levels).toUtf8();
}

}  // namespace

class SvgSafetyTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void cleanup() { testing::closeAllWindows(); }
    void localImagesAndScriptsAreCleanedBeforeStoringAndDrawing();
    void costlyOrMalformedSvgsAreRefusedWithAMessage();
    void drawingIsBoundedAndOldBanksDrawTheCleanedCopy();
};

void SvgSafetyTest::localImagesAndScriptsAreCleanedBeforeStoringAndDrawing()
{
    QTemporaryDir dir;
    const QString secret = dir.filePath(QStringLiteral("secret.png"));
    QFile file(secret);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(png(Qt::red)) > 0);
    file.close();
    const QByteArray hostile = imageSvg(secret);
    // The SVG renderer itself would draw the file from disk: the danger is real.
    {
        QImage raw(100, 100, QImage::Format_ARGB32);
        raw.fill(Qt::white);
        QPainter painter(&raw);
        QSvgRenderer(hostile).render(&painter);
        painter.end();
        QVERIFY(redPixels(raw) > 5000);
    }

    testing::Workspace ws;
    const QString hash = content::storePicture(DM->db(), hostile);
    const auto stored = content::loadPicture(DM->db(), hash);
    QVERIFY(stored.has_value());
    QVERIFY(!stored->data.contains("secret.png"));
    QCOMPARE(hash, content::pictureHash(stored->data));
    QCOMPARE(stored->size, QSize(100, 100));
    QCOMPARE(redPixels(content::drawPicture(stored->data, stored->mime, stored->size)), 0);
    // Storing the cleaned copy again is the same picture.
    QCOMPARE(content::storePicture(DM->db(), stored->data), hash);

    // A picture embedded in the SVG stays: it reaches nowhere.
    const QByteArray embedded =
        imageSvg(QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png(Qt::red).toBase64()));
    const content::StoredPicture kept = content::examinePicture(embedded);
    QCOMPARE(kept.data, embedded);
    QVERIFY(redPixels(content::drawPicture(kept.data, kept.mime)) > 5000);

    // Scripts, event attributes, foreign objects, outside style sheets and links go; the drawing stays.
    const QByteArray scripted =
        "<?xml version=\"1.0\"?><?xml-stylesheet href=\"http://127.0.0.1:1/x.css\"?>"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
        "xmlns:e=\"http://www.w3.org/1999/xlink\" "
        "width=\"40\" height=\"20\" onload=\"alert(1)\"><script>alert(2)</script>"
        "<style>@import url(http://127.0.0.1:1/y.css);</style>"
        "<foreignObject><div xmlns=\"http://www.w3.org/1999/xhtml\">html</div></foreignObject>"
        "<a e:href=\"javascript:alert(3)\"><rect id=\"r\" width=\"40\" height=\"20\" fill=\"red\" "
        "onclick=\"alert(4)\" style=\"fill:url(http://127.0.0.1:1/p.svg#p)\"/></a>"
        "<use xlink:href=\"#r\"/><use xlink:href=\"other.svg#r\"/></svg>";
    const content::StoredPicture cleaned = content::examinePicture(scripted);
    for (const char* gone :
         {"script", "alert", "onload", "onclick", "foreignObject", "@import", "127.0.0.1", "javascript", "other.svg"})
        QVERIFY2(!cleaned.data.contains(gone), gone);
    QVERIFY(cleaned.data.contains("<use xlink:href=\"#r\"/>"));
    QCOMPARE(cleaned.size, QSize(40, 20));
    QVERIFY(redPixels(content::drawPicture(cleaned.data, cleaned.mime)) > 600);
}

void SvgSafetyTest::costlyOrMalformedSvgsAreRefusedWithAMessage()
{
    // Ten to the ninth copies of a rectangle from a few hundred bytes: refused at once.
    QElapsedTimer clock;
    clock.start();
    QString message = refusal(laughingSvg(9));
    QVERIFY2(message.contains(QStringLiteral("绘制时要展开的元素太多")), qPrintable(message));
    QVERIFY(clock.elapsed() < 2000);
    // A few levels of the same are an ordinary drawing.
    QVERIFY2(refusal(laughingSvg(3)).isEmpty(), qPrintable(refusal(laughingSvg(3))));
    // A use that refers to itself neither loops nor is refused.
    QVERIFY(refusal("<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
                    "width=\"5\" height=\"5\"><g id=\"a\"><use xlink:href=\"#a\"/></g></svg>")
                .isEmpty());

    const QVector<QPair<QByteArray, QString>> bad = {
        {"<?xml version=\"1.0\"?><!DOCTYPE svg [<!ENTITY a \"aaaaaaaaaa\">]><svg "
         "xmlns=\"http://www.w3.org/2000/svg\" width=\"5\" height=\"5\"><text>&a;</text></svg>",
         QStringLiteral("DOCTYPE")},
        {"<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"100000\" height=\"10\"/>", QStringLiteral("尺寸太大")},
        {"<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"8000\" height=\"8000\"/>", QStringLiteral("百万像素")},
        {"<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"5\" height=\"5\">" +
             QByteArray("<rect/>").repeated(content::kMaxSvgElements) + "</svg>",
         QStringLiteral("元素太多")},
        {"<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"5\" height=\"5\">" + QByteArray("<g>").repeated(300) +
             QByteArray("</g>").repeated(300) + "</svg>",
         QStringLiteral("嵌套太深")},
        {"<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"5\" height=\"5\"><rect></svg>", QStringLiteral("损坏")},
    };
    for (const auto& [bytes, expected] : bad) {
        message = refusal(bytes);
        QVERIFY2(message.contains(expected), qPrintable(expected + QStringLiteral(" / ") + message));
    }
    // The largest number of elements allowed still passes.
    QVERIFY(refusal("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"5\" height=\"5\">" +
                    QByteArray("<rect/>").repeated(content::kMaxSvgElements - 1) + "</svg>")
                .isEmpty());
}

void SvgSafetyTest::drawingIsBoundedAndOldBanksDrawTheCleanedCopy()
{
    testing::Workspace ws;
    QTemporaryDir dir;
    const QString secret = dir.filePath(QStringLiteral("secret.png"));
    QFile file(secret);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(png(Qt::red)) > 0);
    file.close();
    // An older bank stored these as they came: a local image, and a 30,000-pixel-square picture.
    const QByteArray hostile = imageSvg(secret);
    const QByteArray huge =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"30000\" height=\"30000\">"
        "<rect width=\"30000\" height=\"30000\" fill=\"blue\"/></svg>";
    const auto insert = [&](const QByteArray& bytes, QSize size) {
        const QString hash = content::pictureHash(bytes);
        ws.exec(QStringLiteral("INSERT INTO pictures (hash, mime, width, height, data) VALUES (?, ?, ?, ?, ?)"),
                {hash, QStringLiteral("image/svg+xml"), size.width(), size.height(), bytes});
        return hash;
    };
    const QString hostileHash = insert(hostile, QSize(100, 100));
    const QString hugeHash = insert(huge, QSize(30000, 30000));

    const QImage drawn = content::drawPicture(huge, QStringLiteral("image/svg+xml"), QSize(30000, 30000));
    QCOMPARE(drawn.size(), QSize(content::kMaxDrawnSide, content::kMaxDrawnSide));
    QCOMPARE(drawn.pixelColor(10, 10), QColor(Qt::blue));
    const QImage wide = content::drawPicture(png(Qt::red), QStringLiteral("image/png"), QSize(9000, 3000));
    QCOMPARE(wide.size(), QSize(content::kMaxDrawnSide, content::kMaxDrawnSide / 3));

    // The preview draws both within bounds and without the file from disk.
    content::ContentPreview preview;
    preview.setDatabase(DM->db());
    preview.resize(400, 300);
    preview.show();
    preview.setContentText(QStringLiteral("图一") + content::pictureMarker(hostileHash) + QStringLiteral("图二") +
                           content::pictureMarker(hugeHash));
    preview.refreshNow();
    const auto resource = [&](const QString& hash) {
        return preview.document()
            ->resource(QTextDocument::ImageResource, QUrl(QStringLiteral("picture:") + hash))
            .value<QImage>();
    };
    const QImage shown = resource(hostileHash);
    QCOMPARE(shown.size(), QSize(100, 100));
    QCOMPARE(redPixels(shown), 0);
    const QImage big = resource(hugeHash);
    QVERIFY(!big.isNull());
    QVERIFY(big.width() <= content::kMaxDrawnSide && big.height() <= content::kMaxDrawnSide);
    QVERIFY(!preview.toPlainText().contains(QStringLiteral("[图片")));
}

QTEST_MAIN(SvgSafetyTest)
#include "test_svg_safety.moc"
