// How large pictures print: the exam layout's default size (half a column, 5 cm high at most,
// never enlarged), a width in centimetres or in percent of the column, the "|右" float, and the
// "标准" document that keeps its pictures' own sizes. Checked in the document's XML and in the PDF
// LibreOffice makes of it.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include "app/application.h"
#include "content/content.h"
#include "data/data_module.h"
#include "exchange/moodle.h"
#include "docx_reader.h"
#include "output/paper_content.h"
#include "output/paper_document.h"
#include "output/print_layout.h"
#include "test_support.h"

namespace {

content::StoredPicture picture(int w, int h, Qt::GlobalColor colour)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return content::examinePicture(bytes);
}

PaperContent paperWith(const QStringList& texts)
{
    PaperContent paper;
    paper.title = QStringLiteral("图片大小");
    paper.duration = QStringLiteral("90");
    paper.total = QStringLiteral("100");
    PaperSection section;
    section.typeName = QStringLiteral("解答题");
    for (const QString& text : texts) section.questions.append({text, QStringLiteral("略"), 10});
    section.count = int(texts.size());
    section.points = 10 * section.count;
    paper.sections.append(section);
    return paper;
}

QVector<docxread::Picture> picturesOf(const QByteArray& bytes, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) return {};
    file.close();
    QVector<docxread::Picture> out;
    for (const docxread::Paragraph& p : docxread::read(path).paragraphs) {
        for (const docxread::Picture& pic : p.pictures) {
            if (pic.name.startsWith(QLatin1String("Picture"))) out << pic;
        }
    }
    return out;
}

constexpr qint64 kCm = 360000;
// The text column of the exam layout's A4 page: 11906 − 2 × 1800 twips.
constexpr qint64 kA4Column = (11906 - 1800 - 1800) * 635;

}  // namespace

class PictureSizesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void examPicturesGetADefaultSizeAWidthOrAFloat();
    void examFiguresStandOnALineOfTheirOwn();
    void twoColumnPagesMeasureAgainstTheirColumn();
    void standardDocumentKeepsItsPicturesSizes();
    void libreOfficePrintsThePicturesAtTheirSizes();
    void sizesAndPlacesTravelThroughMoodleXmlAndGift();
};

// The document's text in reading order with "|" for a line break and "#" for a picture.
QString flowOf(const QByteArray& documentXml)
{
    QString flow;
    QXmlStreamReader r(documentXml);
    while (!r.atEnd()) {
        r.readNext();
        if (!r.isStartElement()) continue;
        if (r.name() == QLatin1String("br")) flow += QLatin1Char('|');
        if (r.name() == QLatin1String("drawing")) flow += QLatin1Char('#');
        if (r.name() == QLatin1String("t")) flow += r.readElementText();
        if (r.name() == QLatin1String("p")) flow += QLatin1Char('/');
    }
    return flow;
}

void PictureSizesTest::examFiguresStandOnALineOfTheirOwn()
{
    QTemporaryDir dir;
    PaperMedia media;
    const content::StoredPicture wide = picture(1200, 400, Qt::green);
    const content::StoredPicture small = picture(60, 30, Qt::red);
    for (const auto& p : {wide, small}) media.pictures.insert(p.hash, p);
    const PaperContent paper = paperWith({
        QStringLiteral("如图%1求证").arg(content::pictureMarker(wide.hash)),
        QStringLiteral("已知\n%1\n求证").arg(content::pictureMarker(wide.hash)),
        QStringLiteral("小图%1在行内").arg(content::pictureMarker(small.hash)),
        QStringLiteral("右图%1在旁边").arg(content::pictureMarker(wide.hash, QStringLiteral("4cm|右"))),
    });
    PrintLayout layout;
    layout.kind = PrintLayout::Exam;
    layout.answerKey = PrintLayout::KeySeparateFile;
    const QString path = dir.filePath(QStringLiteral("exam.docx"));
    picturesOf(buildExamPaper(paper, layout, &media).package(), path);
    const QString flow = flowOf(docxread::read(path).parts.value(QStringLiteral("word/document.xml")));
    // A figure gets a line of its own, without doubling the line ends typed round it.
    QVERIFY2(flow.contains(QStringLiteral("如图|#|求证")), qPrintable(flow));
    QVERIFY2(flow.contains(QStringLiteral("已知|#|求证")), qPrintable(flow));
    // A small picture stays inside its line; a floating one beside the text.
    QVERIFY2(flow.contains(QStringLiteral("小图#在行内")), qPrintable(flow));
    QVERIFY2(flow.contains(QStringLiteral("右图#在旁边")), qPrintable(flow));
}

void PictureSizesTest::examPicturesGetADefaultSizeAWidthOrAFloat()
{
    QTemporaryDir dir;
    PaperMedia media;
    const content::StoredPicture wide = picture(1200, 400, Qt::green);   // 12.6 × 4.2 in at 96 dpi
    const content::StoredPicture tall = picture(300, 900, Qt::blue);     // taller than 5 cm
    const content::StoredPicture small = picture(60, 30, Qt::red);       // smaller than any limit
    for (const auto& p : {wide, tall, small}) media.pictures.insert(p.hash, p);
    const QString broken = content::pictureMarker(small.hash, QStringLiteral("900cm"));
    const PaperContent paper = paperWith({
        QStringLiteral("默认%1").arg(content::pictureMarker(wide.hash)),
        QStringLiteral("高图%1").arg(content::pictureMarker(tall.hash)),
        QStringLiteral("小图%1").arg(content::pictureMarker(small.hash)),
        QStringLiteral("四厘米%1").arg(content::pictureMarker(wide.hash, QStringLiteral("4cm"))),
        QStringLiteral("一半%1").arg(content::pictureMarker(wide.hash, QStringLiteral("50%"))),
        QStringLiteral("放大%1").arg(content::pictureMarker(small.hash, QStringLiteral("6cm|右"))),
        QStringLiteral("坏的%1").arg(broken),
    });
    PrintLayout layout;
    layout.kind = PrintLayout::Exam;
    layout.answerKey = PrintLayout::KeySeparateFile;
    const QVector<docxread::Picture> pics =
        picturesOf(buildExamPaper(paper, layout, &media).package(), dir.filePath(QStringLiteral("exam.docx")));
    QCOMPARE(pics.size(), 7);

    // Default: half the column wide at most, aspect kept.
    QCOMPARE(pics[0].cx, kA4Column / 2);
    QCOMPARE(pics[0].cy, qRound64(double(kA4Column / 2) / 3));
    QVERIFY(!pics[0].floating);
    // A tall picture: 5 cm high at most.
    QCOMPARE(pics[1].cy, 5 * kCm);
    QCOMPARE(pics[1].cx, qRound64(5.0 * kCm / 3));
    // A small picture keeps its size.
    QCOMPARE(pics[2].cx, 60 * 9525);
    QCOMPARE(pics[2].cy, 30 * 9525);
    // 4 cm wide, whatever the column; 50 % of the column.
    QCOMPARE(pics[3].cx, 4 * kCm);
    QCOMPARE(pics[3].cy, qRound64(4.0 * kCm / 3));
    QCOMPARE(pics[4].cx, kA4Column / 2);
    // A given width may enlarge; "右" floats at the right of the column with the text round it.
    QCOMPARE(pics[5].cx, 6 * kCm);
    QCOMPARE(pics[5].cy, 3 * kCm);
    QVERIFY(pics[5].floating);
    QCOMPARE(pics[5].horizontalAlign, QStringLiteral("right"));
    QCOMPARE(pics[5].wrap, QStringLiteral("wp:wrapSquare"));
    // A width that cannot be read prints at the default size.
    QCOMPARE(pics[6].cx, 60 * 9525);
    QVERIFY(!pics[6].floating);
    // One file for every place a picture stands in.
    const docxread::Package package = docxread::read(dir.filePath(QStringLiteral("exam.docx")));
    QCOMPARE(package.parts.keys().filter(QStringLiteral("word/media/")).size(), 3);
}

void PictureSizesTest::twoColumnPagesMeasureAgainstTheirColumn()
{
    QTemporaryDir dir;
    PaperMedia media;
    const content::StoredPicture wide = picture(2000, 500, Qt::green);
    media.pictures.insert(wide.hash, wide);
    PrintLayout layout;
    layout.kind = PrintLayout::Exam;
    layout.size = PrintLayout::A3TwoColumns;
    layout.answerKey = PrintLayout::KeySeparateFile;
    const PaperContent paper = paperWith({content::pictureMarker(wide.hash),
                                          content::pictureMarker(wide.hash, QStringLiteral("100%")),
                                          content::pictureMarker(wide.hash, QStringLiteral("40cm"))});
    const QVector<docxread::Picture> pics =
        picturesOf(buildExamPaper(paper, layout, &media).package(), dir.filePath(QStringLiteral("a3.docx")));
    QCOMPARE(pics.size(), 3);
    const qint64 column = (23811 - 1440 - 1440 - 850) / 2 * 635;
    QCOMPARE(pics[0].cx, column / 2);
    QCOMPARE(pics[1].cx, column);
    // Wider than the column: the column's width.
    QCOMPARE(pics[2].cx, column);
    QCOMPARE(pics[2].cy, column / 4);
}

void PictureSizesTest::standardDocumentKeepsItsPicturesSizes()
{
    testing::Workspace ws;
    const content::StoredPicture wide = picture(400, 200, Qt::green);
    const content::StoredPicture huge = picture(1106, 400, Qt::blue);
    content::storePicture(DM->db(), wide.data);
    content::storePicture(DM->db(), huge.data);
    const PaperContent paper = paperWith({content::pictureMarker(wide.hash), content::pictureMarker(huge.hash),
                                          content::pictureMarker(wide.hash, QStringLiteral("3cm"))});
    const QString path = writePaperDocument(paper, ws.root());
    QVector<docxread::Picture> pics;
    for (const docxread::Paragraph& p : docxread::read(path).paragraphs) {
        for (const docxread::Picture& pic : p.pictures) {
            if (pic.name.startsWith(QLatin1String("Picture"))) pics << pic;
        }
    }
    QCOMPARE(pics.size(), 3);
    // Its own size, as always (400 px: wider than half the column), or scaled to the printable width.
    QCOMPARE(pics[0].cx, 400 * 9525);
    QCOMPARE(pics[0].cy, 200 * 9525);
    QCOMPARE(pics[1].cx, 553 * 9525);
    QCOMPARE(pics[1].cy, 200 * 9525);
    // A width given in the marker holds here too.
    QCOMPARE(pics[2].cx, 3 * kCm);
}

void PictureSizesTest::libreOfficePrintsThePicturesAtTheirSizes()
{
    QTemporaryDir dir;
    PaperMedia media;
    const content::StoredPicture wide = picture(1200, 400, Qt::green);
    media.pictures.insert(wide.hash, wide);
    const PaperContent paper =
        paperWith({QStringLiteral("如图%1").arg(content::pictureMarker(wide.hash)),
                   QStringLiteral("如图%1所示的长方形，求它的面积。这一行文字在图片左侧。")
                       .arg(content::pictureMarker(wide.hash, QStringLiteral("4cm|右")))});
    PrintLayout layout;
    layout.kind = PrintLayout::Exam;
    layout.answerKey = PrintLayout::KeySeparateFile;
    const QString docx = dir.filePath(QStringLiteral("sizes.docx"));
    QCOMPARE(picturesOf(buildExamPaper(paper, layout, &media).package(), docx).size(), 2);
    QVERIFY(testing::convertWithLibreOffice({docx}, QStringLiteral("pdf"), dir.path()));
    const QString pdf = dir.filePath(QStringLiteral("sizes.pdf"));
    // pdfimages -list: page num type width height color comp bpc enc interp object ID x-ppi y-ppi ...
    const QString listing = testing::runProgram(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf});
    const QStringList lines = listing.split(u'\n').mid(2);
    QList<double> widthsCm;
    for (const QString& line : lines) {
        const QStringList f = line.simplified().split(u' ');
        // LibreOffice may resample a picture (to 300 dpi): its shown width is pixels over ppi.
        if (f.size() < 14 || f.value(2) != QLatin1String("image")) continue;
        widthsCm << f.value(3).toDouble() / f.value(12).toDouble() * 2.54;
    }
    QVERIFY2(widthsCm.size() == 2, qPrintable(listing));
    std::sort(widthsCm.begin(), widthsCm.end());
    QVERIFY2(qAbs(widthsCm[0] - 4.0) < 0.1, qPrintable(QString::number(widthsCm[0])));
    QVERIFY2(qAbs(widthsCm[1] - double(kA4Column / 2) / kCm) < 0.1, qPrintable(QString::number(widthsCm[1])));
}

// A picture's width and place go out with it to Moodle XML and GIFT (as the <img>'s style) and
// come back as the same marker; a marker without either comes back without either.
void PictureSizesTest::sizesAndPlacesTravelThroughMoodleXmlAndGift()
{
    testing::Workspace ws;
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('01', '数学')"));
    ws.exec(QStringLiteral("INSERT INTO txb (kmh, txh, txm) VALUES ('01', '01', '解答题')"));
    ws.exec(QStringLiteral("INSERT INTO zjb (kmh, zjh, zjm) VALUES ('01', '01', '几何')"));
    const QString hash = content::storePicture(DM->db(), picture(40, 30, Qt::darkBlue).data);
    const QStringList texts{
        QStringLiteral("如图 ") + content::pictureMarker(hash, QStringLiteral("4cm|右")) + QStringLiteral(" 求面积。"),
        QStringLiteral("如图 ") + content::pictureMarker(hash, QStringLiteral("50%")) + QStringLiteral(" 求周长。"),
        QStringLiteral("如图 ") + content::pictureMarker(hash, QStringLiteral("2.5cm")) + QStringLiteral(" 求高。"),
        QStringLiteral("如图 ") + content::pictureMarker(hash) + QStringLiteral(" 求角。")};
    for (int i = 0; i < texts.size(); ++i) {
        ws.exec(QStringLiteral("INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da) "
                               "VALUES ('01', '01', ?, '01', '中等', '10', ?, '解：略。')"),
                {QStringLiteral("%1").arg(i + 1, 3, 10, QLatin1Char('0')), texts.at(i)});
    }
    const exchange::ExportScope scope{QStringLiteral("01"), {}, {}};
    const QByteArray xml = exchange::exportMoodleXml(DM->db(), scope);
    QVERIFY(xml.contains("width: 4cm; float: right"));
    QVERIFY(xml.contains("width: 50%"));
    const QByteArray gift = exchange::exportGift(DM->db(), scope);
    for (const exchange::ImportedPaper& paper :
         {exchange::readMoodleXml(xml), exchange::readGift(QString::fromUtf8(gift))}) {
        QStringList back;
        for (const exchange::ImportedQuestion& q : paper.questions) back << q.text;
        QCOMPARE(back, texts);
        QCOMPARE(paper.pictures.size(), 1);
    }
}

QTEST_MAIN(PictureSizesTest)
#include "test_picture_sizes.moc"
