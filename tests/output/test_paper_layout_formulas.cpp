// Formulas and pictures in the exam layout (考试用卷): the questions and answers go through the same
// path as the standard document, so Word equations and pictures stand in place, in the paper and
// in an answer key of its own, and the blueprint follows the key.
#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include "app/application.h"
#include "ui/forms.h"
#include "content/content.h"
#include "data/data_module.h"
#include "docx_reader.h"
#include "output/paper_document.h"
#include "output/print_layout.h"
#include "test_support.h"

using testing::Workspace;

namespace {

QByteArray png(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter(&image).drawRect(0, 0, w - 1, h - 1);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// One 解答题 whose question holds an inline formula and a picture and whose answer holds a
// displayed formula and another picture.
PaperContent seededPaper(Workspace& ws)
{
    const QString figure = content::storePicture(DM->db(), png(200, 100));
    const QString sketch = content::storePicture(DM->db(), png(120, 60));
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('01', '数学')"));
    ws.exec(QStringLiteral("INSERT INTO txb (kmh, txh, txm, bz) VALUES ('01', '01', '解答题', '1')"));
    ws.exec(QStringLiteral("INSERT INTO sjb (kmh, txh, th, zjh, nd, fs, tm, da, time, bz) "
                           "VALUES ('01', '01', '1', '01', '中等', '10', ?, ?, '8:00:00', '0')"),
            {QStringLiteral("解方程\\(x^2-5x+6=0\\)，如图%1。").arg(content::pictureMarker(figure)),
             QStringLiteral("由\\[x=\\frac{5\\pm 1}{2}\\]得解，示意图%1").arg(content::pictureMarker(sketch))});
    return collectPaper(QStringLiteral("01"), {QStringLiteral("解答题")}, QStringLiteral("方程测验"),
                        QStringLiteral("90"), QStringLiteral("100"));
}

// The body's paragraphs as text with "{math}", "{display}" and "{pic}" where formulas and pictures stand.
QStringList bodyTokens(const QByteArray& documentXml)
{
    QStringList out;
    QXmlStreamReader r(documentXml);
    QString current;
    int mathDepth = 0;
    while (!r.atEnd()) {
        r.readNext();
        const auto name = r.qualifiedName();
        if (r.isStartElement()) {
            if (name == u"w:p") current.clear();
            if (name == u"m:oMathPara") current += QStringLiteral("{display}");
            if (name == u"m:oMath") {
                if (!current.endsWith(QStringLiteral("{display}"))) current += QStringLiteral("{math}");
                ++mathDepth;
            }
            if (name == u"w:t" && mathDepth == 0) current += r.readElementText();
            if (name == u"w:drawing") current += QStringLiteral("{pic}");
        } else if (r.isEndElement()) {
            if (name == u"m:oMath") --mathDepth;
            if (name == u"w:p") out << current;
        }
    }
    return out;
}

// Every picture the document places has its relationship and its file in the package.
void verifyPicturesPacked(const docxread::Package& package)
{
    const QString xml = QString::fromUtf8(package.parts.value(QStringLiteral("word/document.xml")));
    const QString rels = QString::fromUtf8(package.parts.value(QStringLiteral("word/_rels/document.xml.rels")));
    QRegularExpressionMatchIterator it = QRegularExpression(QStringLiteral("r:embed=\"([^\"]+)\"")).globalMatch(xml);
    int placed = 0;
    while (it.hasNext()) {
        const QString id = it.next().captured(1);
        const QRegularExpressionMatch target =
            QRegularExpression(QStringLiteral("Id=\"%1\"[^>]*Target=\"([^\"]+)\"").arg(id)).match(rels);
        QVERIFY2(target.hasMatch(), qPrintable(id));
        QVERIFY2(package.parts.contains(QStringLiteral("word/") + target.captured(1)), qPrintable(target.captured(1)));
        ++placed;
    }
    QVERIFY(placed > 0);
}

}  // namespace

class PaperLayoutFormulasTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void examPaperHoldsWordEquationsAndPictures();
    void separateAnswerKeyHoldsItsOwnFormulasPicturesAndBlueprint();
};

void PaperLayoutFormulasTest::examPaperHoldsWordEquationsAndPictures()
{
    Workspace ws;
    const PaperContent paper = seededPaper(ws);
    PrintLayout layout;
    layout.kind = PrintLayout::Exam;
    layout.candidate = PrintLayout::SealLine;
    const QStringList paths = writePaperDocuments(paper, ws.root() + QStringLiteral("/Papers"), layout);
    QCOMPARE(paths.size(), 1);
    const docxread::Package package = docxread::read(paths.first());
    QVERIFY2(package.error.isEmpty(), qPrintable(package.error));
    const QByteArray xml = package.parts.value(QStringLiteral("word/document.xml"));
    QVERIFY(xml.contains("<m:oMath>") || xml.contains("<m:oMath "));
    QVERIFY(xml.contains("<m:oMathPara>"));
    QVERIFY(xml.contains("<m:f>"));
    QVERIFY(!xml.contains("\\frac") && !xml.contains("\\("));
    const QStringList tokens = bodyTokens(xml);
    // The question under its bold heading, the answer in the key at the end.
    QVERIFY2(tokens.contains(QStringLiteral("1. 解方程{math}，如图{pic}。")),
             qPrintable(tokens.join(QLatin1Char('|'))));
    const qsizetype answer = tokens.indexOf(QStringLiteral("1. 由"));
    QVERIFY2(answer >= 0, qPrintable(tokens.join(QLatin1Char('|'))));
    QCOMPARE(tokens.mid(answer, 3),
             QStringList({QStringLiteral("1. 由"), QStringLiteral("{display}"), QStringLiteral("得解，示意图{pic}")}));
    QCOMPARE(package.parts.keys().filter(QStringLiteral("word/media/")).size(), 2);
    verifyPicturesPacked(package);
}

void PaperLayoutFormulasTest::separateAnswerKeyHoldsItsOwnFormulasPicturesAndBlueprint()
{
    Workspace ws;
    PaperContent paper = seededPaper(ws);
    paper.blueprint = {{QStringLiteral("章节"), QStringLiteral("分值")},
                       {QStringLiteral("方程"), QStringLiteral("10")}};
    PrintLayout layout;
    layout.kind = PrintLayout::Exam;
    layout.size = PrintLayout::A3TwoColumns;
    layout.answerKey = PrintLayout::KeySeparateFile;
    const QStringList paths = writePaperDocuments(paper, ws.root() + QStringLiteral("/Papers"), layout);
    QCOMPARE(paths.size(), 2);

    const docxread::Package exam = docxread::read(paths.at(0));
    QVERIFY2(exam.error.isEmpty(), qPrintable(exam.error));
    const QStringList examTokens = bodyTokens(exam.parts.value(QStringLiteral("word/document.xml")));
    QVERIFY2(examTokens.contains(QStringLiteral("1. 解方程{math}，如图{pic}。")),
             qPrintable(examTokens.join(QLatin1Char('|'))));
    QVERIFY(!examTokens.contains(QStringLiteral("得解，示意图{pic}")));
    QCOMPARE(exam.parts.keys().filter(QStringLiteral("word/media/")).size(), 1);
    verifyPicturesPacked(exam);

    // The key is a document of its own: its picture is packed in it, not left in the paper's.
    const docxread::Package key = docxread::read(paths.at(1));
    QVERIFY2(key.error.isEmpty(), qPrintable(key.error));
    const QByteArray keyXml = key.parts.value(QStringLiteral("word/document.xml"));
    const QStringList keyTokens = bodyTokens(keyXml);
    const qsizetype answer = keyTokens.indexOf(QStringLiteral("1. 由"));
    QVERIFY2(answer >= 0, qPrintable(keyTokens.join(QLatin1Char('|'))));
    QCOMPARE(keyTokens.mid(answer, 3),
             QStringList({QStringLiteral("1. 由"), QStringLiteral("{display}"), QStringLiteral("得解，示意图{pic}")}));
    QCOMPARE(key.parts.keys().filter(QStringLiteral("word/media/")).size(), 1);
    verifyPicturesPacked(key);

    // The blueprint follows the answers in the key, as wide as one of the page's two columns.
    const qsizetype table = keyXml.indexOf("<w:tbl>");
    QVERIFY(table > keyXml.indexOf("<m:oMathPara>"));
    QVERIFY(keyXml.indexOf("章节", table) > table);
    const QRegularExpressionMatch width =
        QRegularExpression(QStringLiteral("<w:tblW w:w=\"(\\d+)\"")).match(QString::fromUtf8(keyXml.mid(table)));
    QVERIFY(width.hasMatch());
    // An A3 column is wider than A4's printable width (8306 twips), the blueprint's width elsewhere.
    QVERIFY2(width.captured(1).toInt() > 8306 && width.captured(1).toInt() < 11906, qPrintable(width.captured(1)));
    QVERIFY(!exam.parts.value(QStringLiteral("word/document.xml")).contains("章节"));
}

QTEST_MAIN(PaperLayoutFormulasTest)
#include "test_paper_layout_formulas.moc"
