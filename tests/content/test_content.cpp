#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QSet>
#include <QStandardPaths>
#include <QTest>

#include "ui/forms.h"
#include "content/content.h"
#include "content/formulas.h"
#include "demo/demo.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "data/schema.h"
#include "app/application.h"
#include "data/sql.h"
#include "test_support.h"
#include "data/picture_refs.h"

using content::Segment;

namespace {

QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QImage drawing(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.drawLine(0, 0, w - 1, h - 1);
    return image;
}

const QString kHash = QStringLiteral("0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef");

}  // namespace

class ContentTest : public QObject {
    Q_OBJECT
private slots:
    void parseSplitsTextFormulasAndPicturesInOrder();
    void unbalancedOrMalformedMarkersStayPlainText();
    void shortFormShowsFormulaSourceAndPictureTag();
    void storingAPictureKeepsOneRowPerContentWithItsTypeAndSize();
    void badPictureFilesAreRefusedWithAChineseMessage();
    void versionOneBankIsUpgradedWhenOpenedAndKeepsItsQuestions();
    void picturesNoTextPlacesAreRemovedAtConnect();
    void pictureMarkersCarryAWidthAndAPlace();
    void badPictureWidthsAreRefusedAtEntryAndPrintAtTheDefaultSize();
    void aSizedPictureIsKeptByTheSweep();
    void picturesAreLookedThroughOnlyAfterTheyMayHaveLostTheirTexts();
    void demoMathematicsBankHoldsFormulasPandocConvertsAndPictures();
};

void ContentTest::parseSplitsTextFormulasAndPicturesInOrder()
{
    const QString text =
        QStringLiteral("求解\\(x^2-1=0\\)，其中\\[\\int_0^1 f(x)\\,dx\\]如图[[图片:%1]]所示。").arg(kHash);
    const QVector<Segment> s = content::parse(text);
    QCOMPARE(s.size(), 7);
    QCOMPARE(s[0].kind, Segment::Text);
    QCOMPARE(s[0].text, QStringLiteral("求解"));
    QCOMPARE(s[1].kind, Segment::InlineMath);
    QCOMPARE(s[1].text, QStringLiteral("x^2-1=0"));
    QCOMPARE(s[2].text, QStringLiteral("，其中"));
    QCOMPARE(s[3].kind, Segment::DisplayMath);
    QCOMPARE(s[3].text, QStringLiteral("\\int_0^1 f(x)\\,dx"));
    QCOMPARE(s[4].text, QStringLiteral("如图"));
    QCOMPARE(s[5].kind, Segment::Picture);
    QCOMPARE(s[5].text, kHash);
    QCOMPARE(s[6].text, QStringLiteral("所示。"));
    QVERIFY(content::hasMarkers(text));
    QCOMPARE(content::pictureHashes(text + content::pictureMarker(kHash)), QStringList({kHash, kHash}));
    // A formula may span lines; the first closing delimiter ends it.
    const QVector<Segment> multi = content::parse(QStringLiteral("\\(a\nb\\)\\)"));
    QCOMPARE(multi.size(), 2);
    QCOMPARE(multi[0].text, QStringLiteral("a\nb"));
    QCOMPARE(multi[1].text, QStringLiteral("\\)"));
}

void ContentTest::unbalancedOrMalformedMarkersStayPlainText()
{
    const QStringList plain = {
        QStringLiteral("普通的题目，没有公式。"),
        QStringLiteral("只有开头\\(x+1"),
        QStringLiteral("只有开头\\[x+1\\)"),
        QStringLiteral("空公式\\(  \\)"),
        QStringLiteral("C:\\路径\\文件"),
        QStringLiteral("[[图片:%1]]").arg(kHash.toUpper()),
        QStringLiteral("[[图片:%1]]").arg(kHash.left(63)),
        QStringLiteral("[[图片:%1]").arg(kHash),
        QStringLiteral("[[图片:]] 与 [[图]]"),
        QString(),
    };
    for (const QString& text : plain) {
        QVERIFY2(!content::hasMarkers(text), qPrintable(text));
        const QVector<Segment> s = content::parse(text);
        if (text.isEmpty()) {
            QVERIFY(s.isEmpty());
        } else {
            QCOMPARE(s.size(), 1);
            QCOMPARE(s[0].kind, Segment::Text);
            QCOMPARE(s[0].text, text);
        }
        QCOMPARE(content::shortForm(text), text);
        QVERIFY(content::pictureHashes(text).isEmpty());
    }
    // A closed formula after an unclosed display opener still counts.
    const QVector<Segment> s = content::parse(QStringLiteral("\\[a \\(b\\)"));
    QCOMPARE(s.size(), 2);
    QCOMPARE(s[0].text, QStringLiteral("\\[a "));
    QCOMPARE(s[1].kind, Segment::InlineMath);
}

void ContentTest::shortFormShowsFormulaSourceAndPictureTag()
{
    QCOMPARE(content::shortForm(QStringLiteral("已知\\(\\frac{1}{2}\\)，\n见[[图片:%1]]。").arg(kHash)),
             QStringLiteral("已知\\frac{1}{2}， 见[图]。"));
    QCOMPARE(content::shortForm(QStringLiteral("\\[ a\n  +b \\]")), QStringLiteral("a +b"));
    // Without markers a text keeps its lines.
    QCOMPARE(content::shortForm(QStringLiteral("第一行\n第二行")), QStringLiteral("第一行\n第二行"));
}

void ContentTest::storingAPictureKeepsOneRowPerContentWithItsTypeAndSize()
{
    testing::Workspace ws;
    const QSqlDatabase db = DM->db();
    const QByteArray png = encoded(drawing(120, 80), "PNG");
    const QByteArray jpeg = encoded(drawing(30, 20), "JPEG");
    const QByteArray bmp = encoded(drawing(7, 5), "BMP");
    // Smallest GIF: one white pixel.
    const QByteArray gif = QByteArray::fromBase64("R0lGODlhAQABAIAAAP///wAAACwAAAAAAQABAAACAkQBADs=");
    const QByteArray svg = R"(<?xml version="1.0"?><svg xmlns="http://www.w3.org/2000/svg" width="200" height="100">
<polygon points="10,90 190,90 100,10" fill="none" stroke="black"/></svg>)";

    const QString pngHash = content::storePicture(db, png);
    QCOMPARE(pngHash, content::pictureHash(png));
    QCOMPARE(pngHash.size(), 64);
    QCOMPARE(content::storePicture(db, png), pngHash);
    QCOMPARE(ws.count(QStringLiteral("pictures")), 1);

    struct Case {
        QByteArray bytes;
        QString mime;
        QSize size;
    };
    const QVector<Case> cases = {{png, QStringLiteral("image/png"), QSize(120, 80)},
                                 {jpeg, QStringLiteral("image/jpeg"), QSize(30, 20)},
                                 {bmp, QStringLiteral("image/bmp"), QSize(7, 5)},
                                 {gif, QStringLiteral("image/gif"), QSize(1, 1)},
                                 {svg, QStringLiteral("image/svg+xml"), QSize(200, 100)}};
    for (const Case& c : cases) {
        const QString hash = content::storePicture(db, c.bytes);
        const auto stored = content::loadPicture(db, hash);
        QVERIFY(stored.has_value());
        QCOMPARE(stored->mime, c.mime);
        QCOMPARE(stored->size, c.size);
        QCOMPARE(stored->data, c.bytes);
        QCOMPARE(stored->hash, hash);
    }
    QCOMPARE(ws.count(QStringLiteral("pictures")), 5);
    QVERIFY(!content::loadPicture(db, kHash).has_value());
}

void ContentTest::badPictureFilesAreRefusedWithAChineseMessage()
{
    testing::Workspace ws;
    const QSqlDatabase db = DM->db();
    const QByteArray png = encoded(drawing(400, 300), "PNG");
    // A PNG header claiming 10000 × 5000 pixels (50 megapixels) is refused before decoding.
    QImage huge(1, 1, QImage::Format_RGB32);
    huge.fill(Qt::white);
    QByteArray claimsHuge = encoded(huge, "PNG");
    const auto putBigEndian = [&](int at, quint32 v) {
        for (int i = 0; i < 4; ++i) claimsHuge[at + i] = char((v >> (24 - 8 * i)) & 0xff);
    };
    putBigEndian(16, 10000);
    putBigEndian(20, 5000);
    // The header chunk's CRC-32 over its type and data (bytes 12..28) must stay right.
    quint32 crc = 0xffffffffu;
    for (int i = 12; i < 29; ++i) {
        crc ^= quint8(claimsHuge[i]);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    putBigEndian(29, ~crc);

    const QVector<QPair<QByteArray, QString>> bad = {
        {QByteArray(), QStringLiteral("空")},
        {png.left(png.size() / 2), QStringLiteral("损坏")},
        {QByteArray("这不是图片，只是一段文字。"), QStringLiteral("无法识别")},
        {QByteArray("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\""), QStringLiteral("损坏")},
        {QByteArray(content::kMaxPictureBytes + 1, 'x'), QStringLiteral("太大")},
        {claimsHuge, QStringLiteral("百万像素")},
    };
    for (const auto& [bytes, expected] : bad) {
        try {
            content::storePicture(db, bytes);
            QFAIL(qPrintable(QStringLiteral("accepted: ") + expected));
        } catch (const AppError& e) {
            QVERIFY2(e.text().contains(expected), qPrintable(e.text()));
        }
    }
    QCOMPARE(ws.count(QStringLiteral("pictures")), 0);
}

void ContentTest::versionOneBankIsUpgradedWhenOpenedAndKeepsItsQuestions()
{
    testing::Workspace ws({{QStringLiteral("admin"), QStringLiteral("pw"), 3}}, false);
    {
        QSqlDatabase db = schema::createFile(ws.databasePath(), QStringLiteral("v1"));
        sql::run(db, QStringLiteral("DROP TABLE pictures"));
        sql::run(db, QStringLiteral("DROP TABLE formula_omml"));
        sql::run(db, QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('9', '物理')"));
        sql::run(db, QStringLiteral("PRAGMA user_version = 1"));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("v1"));
    DM->connectTo(ws.databasePath());
    QCOMPARE(ws.scalar(QStringLiteral("PRAGMA user_version")), QString::number(schema::kVersion));
    QCOMPARE(ws.count(QStringLiteral("kmb"), QStringLiteral("kmm = ?"), {QStringLiteral("物理")}), 1);
    const QString hash = content::storePicture(DM->db(), encoded(drawing(10, 10), "PNG"));
    QVERIFY(content::loadPicture(DM->db(), hash).has_value());
    QCOMPARE(ws.count(QStringLiteral("formula_omml")), 0);

    // A file a newer program has written to since is still refused, untouched.
    {
        QSqlDatabase other = testing::openOtherConnection(ws, QStringLiteral("newer"));
        sql::run(other, QStringLiteral("PRAGMA user_version = 99"));
    }
    testing::closeOtherConnection(QStringLiteral("newer"));
    try {
        DM->connectTo(ws.databasePath());
        QFAIL("a newer file was opened");
    } catch (const DataError& e) {
        QVERIFY(e.text().contains(QStringLiteral("比本程序新")));
    }
}

void ContentTest::picturesNoTextPlacesAreRemovedAtConnect()
{
    testing::Workspace ws;
    const QSqlDatabase db = DM->db();
    const QString inQuestion = content::storePicture(db, encoded(drawing(10, 10), "PNG"));
    const QString inAnswer = content::storePicture(db, encoded(drawing(11, 10), "PNG"));
    const QString inPaper = content::storePicture(db, encoded(drawing(12, 10), "PNG"));
    const QString orphan = content::storePicture(db, encoded(drawing(13, 10), "PNG"));
    ws.exec(QStringLiteral("INSERT INTO stb (kmh, txh, th, tm, da) VALUES ('1', '1', '1', ?, ?)"),
            {QStringLiteral("如图%1").arg(content::pictureMarker(inQuestion)),
             QStringLiteral("答：%1").arg(content::pictureMarker(inAnswer))});
    ws.exec(QStringLiteral("INSERT INTO sjb (kmh, txh, th, tm, da) VALUES ('1', '1', '1', ?, '')"),
            {content::pictureMarker(inPaper)});
    DM->connectTo(ws.databasePath());
    QCOMPARE(ws.count(QStringLiteral("pictures")), 3);
    QVERIFY(!content::loadPicture(DM->db(), orphan).has_value());
    QVERIFY(content::loadPicture(DM->db(), inAnswer).has_value());

    ws.exec(QStringLiteral("DELETE FROM stb"));
    QCOMPARE(picture_refs::removeOrphanPictures(DM->db()), 2);
    QCOMPARE(ws.count(QStringLiteral("pictures")), 1);
    QVERIFY(content::loadPicture(DM->db(), inPaper).has_value());
}

void ContentTest::pictureMarkersCarryAWidthAndAPlace()
{
    using picture_refs::Placement;
    const QString old = QStringLiteral("[[图片:") + kHash + QStringLiteral("]]");
    const QString text = QStringLiteral("甲") + old + QStringLiteral("乙[[图片:") + kHash +
                         QStringLiteral("|4cm]]丙[[图片:") + kHash + QStringLiteral("|50%|右]]丁[[图片:") + kHash +
                         QStringLiteral("|2.5cm|右]]");
    const QVector<Segment> segments = content::parse(text);
    QCOMPARE(segments.size(), 8);
    QCOMPARE(segments[1].kind, Segment::Picture);
    QCOMPARE(segments[1].text, kHash);
    QCOMPARE(segments[1].options, QString());
    QCOMPARE(segments[3].options, QStringLiteral("4cm"));
    QCOMPARE(segments[5].options, QStringLiteral("50%|右"));
    QCOMPARE(segments[7].options, QStringLiteral("2.5cm|右"));
    QCOMPARE(content::pictureHashes(text), QStringList({kHash, kHash, kHash, kHash}));
    QCOMPARE(content::shortForm(text), QStringLiteral("甲[图]乙[图]丙[图]丁[图]"));
    QCOMPARE(picture_refs::markerLengthAt(old, 0), int(old.size()));
    QCOMPARE(picture_refs::markerLengthAt(text, 1 + old.size() + 1), int(old.size() + 4));

    QCOMPARE(picture_refs::placementOf(QString()), Placement());
    QCOMPARE(picture_refs::placementOf(QStringLiteral("4cm")), (Placement{Placement::Centimetres, 4, false}));
    QCOMPARE(picture_refs::placementOf(QStringLiteral("50%|右")), (Placement{Placement::Percent, 50, true}));
    QCOMPARE(picture_refs::placementOf(QStringLiteral("右|2.5CM")), (Placement{Placement::Centimetres, 2.5, true}));
    QCOMPARE(picture_refs::placementOf(QStringLiteral("右")), (Placement{Placement::Natural, 0, true}));
    // Written back the same way, so a marker reads back as it was written.
    QCOMPARE(picture_refs::placementText(Placement{Placement::Centimetres, 2.5, true}), QStringLiteral("2.5cm|右"));
    QCOMPARE(picture_refs::placementText(Placement{Placement::Percent, 50, false}), QStringLiteral("50%"));
    QCOMPARE(picture_refs::placementText(Placement()), QString());
    QCOMPARE(content::pictureMarker(kHash, QStringLiteral("4cm")), QStringLiteral("[[图片:") + kHash + QStringLiteral("|4cm]]"));
    QCOMPARE(content::pictureMarker(kHash), old);

    // Not markers: an empty placement, one running over a line end, or one too long to be one.
    for (const QString& plain : {QStringLiteral("[[图片:") + kHash + QStringLiteral("|]]"),
                                 QStringLiteral("[[图片:") + kHash + QStringLiteral("|4c\nm]]"),
                                 QStringLiteral("[[图片:") + kHash + QStringLiteral("|") + QString(30, u'1') +
                                     QStringLiteral("cm]]"),
                                 QStringLiteral("[[图片:") + kHash + QStringLiteral("|4cm]")}) {
        const QVector<Segment> parts = content::parse(plain);
        QCOMPARE(parts.size(), 1);
        QCOMPARE(parts[0].kind, Segment::Text);
    }
}

void ContentTest::badPictureWidthsAreRefusedAtEntryAndPrintAtTheDefaultSize()
{
    const QStringList bad = {QStringLiteral("0cm"), QStringLiteral("900cm"), QStringLiteral("abc"),
                             QStringLiteral("4"), QStringLiteral("0%"), QStringLiteral("150%"),
                             QStringLiteral("厘米cm"), QStringLiteral("4cm|5cm"), QStringLiteral("左")};
    for (const QString& options : bad) {
        picture_refs::Placement placement;
        const QString reason = picture_refs::readPlacement(options, &placement);
        QVERIFY2(!reason.isEmpty(), qPrintable(options));
        QVERIFY2(reason.contains(QStringLiteral("图片")), qPrintable(reason));
        // Stored earlier (or typed by hand), it still is a picture, printed at the default size.
        const QString text = QStringLiteral("如图") + content::pictureMarker(kHash, options);
        const QVector<Segment> segments = content::parse(text);
        QCOMPARE(segments.size(), 2);
        QCOMPARE(segments[1].kind, Segment::Picture);
        QCOMPARE(picture_refs::placementOf(segments[1].options), picture_refs::Placement());
        const QString refused = content::textEntryRefusal(text);
        QVERIFY2(refused.startsWith(QStringLiteral("图片设置“") + options), qPrintable(refused));
    }
    picture_refs::Placement unchanged;
    QCOMPARE(picture_refs::readPlacement(QStringLiteral("900cm"), &unchanged),
             QStringLiteral("图片宽度 900 厘米超出范围，应在 0.5 到 40 厘米之间。"));
    QCOMPARE(content::textEntryRefusal(QStringLiteral("如图") + content::pictureMarker(kHash, QStringLiteral("40cm|右"))),
             QString());
    QCOMPARE(content::textEntryRefusal(QStringLiteral("如图") + content::pictureMarker(kHash, QStringLiteral("5%"))),
             QString());
}

void ContentTest::aSizedPictureIsKeptByTheSweep()
{
    testing::Workspace ws;
    const QSqlDatabase db = DM->db();
    const QString sized = content::storePicture(db, encoded(drawing(20, 10), "PNG"));
    const QString floating = content::storePicture(db, encoded(drawing(21, 10), "PNG"));
    const QString orphan = content::storePicture(db, encoded(drawing(22, 10), "PNG"));
    ws.exec(QStringLiteral("INSERT INTO stb (kmh, txh, th, tm, da) VALUES ('1', '1', '1', ?, ?)"),
            {QStringLiteral("如图%1").arg(content::pictureMarker(sized, QStringLiteral("3.5cm"))),
             QStringLiteral("答：%1").arg(content::pictureMarker(floating, QStringLiteral("40%|右")))});
    QCOMPARE(picture_refs::removeOrphanPictures(DM->db()), 1);
    QVERIFY(content::loadPicture(DM->db(), sized).has_value());
    QVERIFY(content::loadPicture(DM->db(), floating).has_value());
    QVERIFY(!content::loadPicture(DM->db(), orphan).has_value());
}

void ContentTest::picturesAreLookedThroughOnlyAfterTheyMayHaveLostTheirTexts()
{
    testing::Workspace ws;
    const QSqlDatabase db = DM->db();
    const QString kept = content::storePicture(db, encoded(drawing(10, 10), "PNG"));
    const QString edited = content::storePicture(db, encoded(drawing(11, 10), "PNG"));
    ws.exec(QStringLiteral("INSERT INTO stb (kmh, txh, th, tm, da) VALUES ('1', '1', '1', ?, '答'),"
                           " ('1', '1', '2', ?, '答')"),
            {QStringLiteral("如图%1").arg(content::pictureMarker(kept)),
             QStringLiteral("如图%1").arg(content::pictureMarker(edited))});
    const auto marked = [&] { return ws.count(QStringLiteral("picture_sweep")) > 0; };
    QVERIFY(marked());  // pictures were stored
    DM->disconnectFromBank();
    DM->connectTo(ws.databasePath());
    QVERIFY(!marked());
    QCOMPARE(ws.count(QStringLiteral("pictures")), 2);

    // Questions without pictures, stored, changed and deleted, leave the mark alone.
    ws.exec(QStringLiteral("INSERT INTO stb (kmh, txh, th, tm, da) VALUES ('1', '1', '3', '无图', '答')"));
    ws.exec(QStringLiteral("UPDATE stb SET tm = '仍无图' WHERE th = '3'"));
    ws.exec(QStringLiteral("DELETE FROM stb WHERE th = '3'"));
    QVERIFY(!marked());
    // An unused picture that no mark asks about stays: opening the file does not read every text.
    const QString unmarked = content::storePicture(db, encoded(drawing(12, 10), "PNG"));
    ws.exec(QStringLiteral("DELETE FROM picture_sweep"));
    DM->connectTo(ws.databasePath());
    QVERIFY(content::loadPicture(DM->db(), unmarked).has_value());

    // A text that no longer places its picture marks the file; logging in again (the file kept
    // open) looks through every picture, the unmarked one too.
    ws.exec(QStringLiteral("UPDATE stb SET tm = '改过的题' WHERE th = '2'"));
    QVERIFY(marked());
    DM->connectTo(ws.databasePath());
    QVERIFY(!marked());
    QVERIFY(!content::loadPicture(DM->db(), edited).has_value());
    QVERIFY(!content::loadPicture(DM->db(), unmarked).has_value());
    QVERIFY(content::loadPicture(DM->db(), kept).has_value());

    // So does a deleted question that placed one. Opening the file ahead of the login leaves the
    // search to the login (it may read a million texts); the login removes the picture.
    ws.exec(QStringLiteral("DELETE FROM stb WHERE th = '1'"));
    QVERIFY(marked());
    DM->disconnectFromBank();
    QVERIFY(DM->openBankAhead(app::bankLocation()));
    QVERIFY(marked());
    QCOMPARE(ws.count(QStringLiteral("pictures")), 1);
    DM->connectTo(ws.databasePath());
    QCOMPARE(ws.count(QStringLiteral("pictures")), 0);
    QVERIFY(!marked());
}

void ContentTest::demoMathematicsBankHoldsFormulasPandocConvertsAndPictures()
{
    testing::Workspace ws({}, false);
    const QString path = ws.root() + QStringLiteral("/demo.db");
    demo::createDemoDatabase(path);
    DM->connectTo(path);
    const QStringList texts =
        sql::column(DM->db(), QStringLiteral("SELECT tm || ' ' || da FROM stb WHERE kmh = (SELECT kmh FROM kmb WHERE "
                                             "kmm = ?)"),
                    {QStringLiteral("数学")});
    QStringList latex;
    QStringList hashes;
    bool display = false;
    for (const QString& text : texts) {
        for (const Segment& s : content::parse(text)) {
            if (s.kind == Segment::InlineMath || s.kind == Segment::DisplayMath) latex << s.text;
            if (s.kind == Segment::DisplayMath) display = true;
        }
        hashes << content::pictureHashes(text);
    }
    QVERIFY(latex.size() >= 10);
    QVERIFY(display);
    QVERIFY(latex.filter(QStringLiteral("\\sqrt{b^2-4ac}")).size() == 1);
    QVERIFY(latex.filter(QStringLiteral("\\int")).size() >= 1);
    QCOMPARE(hashes.size(), 2);
    QCOMPARE(ws.count(QStringLiteral("pictures")), 2);  // kept at connect: questions place them
    for (const QString& hash : hashes) QVERIFY(content::loadPicture(DM->db(), hash)->size.width() >= 300);
    if (QStandardPaths::findExecutable(QStringLiteral("pandoc")).isEmpty()) QSKIP("pandoc is not installed");
    const formulas::Conversion conversion = formulas::convertWithPandoc(latex);
    QVERIFY2(conversion.failed.isEmpty(), qPrintable(conversion.failed.join(QLatin1Char('\n'))));
    QCOMPARE(conversion.omml.size(), QSet<QString>(latex.cbegin(), latex.cend()).size());
}

QTEST_MAIN(ContentTest)
#include "test_content.moc"
