// Formulas and pictures in the paper: Office Math in place of the LaTeX, images in their place,
// the formula cache, and the messages for formulas pandoc cannot convert.
#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QTest>

#include "app/application.h"
#include "ui/forms.h"
#include "content/content.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "docx_reader.h"
#include "output/paper_document.h"
#include "test_support.h"
#include "ui/paper_output.h"

using testing::BoxAnswerer;
using testing::Workspace;

namespace {

void seed(Workspace& ws, const QVector<QPair<QString, QString>>& questions)
{
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('01', '数学')"));
    ws.exec(QStringLiteral("INSERT INTO txb (kmh, txh, txm, bz) VALUES ('01', '01', '解答题', '1')"));
    int th = 0;
    for (const auto& [tm, da] : questions) {
        ws.exec(QStringLiteral("INSERT INTO sjb (kmh, txh, th, zjh, nd, fs, tm, da, time, bz) "
                               "VALUES ('01', '01', ?, '01', '中等', '5', ?, ?, '8:00:00', '0')"),
                {QString::number(++th), tm, da});
    }
}

PaperContent paper()
{
    return collectPaper(QStringLiteral("01"), {QStringLiteral("解答题")}, QStringLiteral("函数测验"),
                        QStringLiteral("90"), QStringLiteral("100"));
}

QByteArray png(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter(&image).drawEllipse(0, 0, w - 1, h - 1);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The paragraphs of the body in order, each as its text with "{math}", "{display}" and
// "{pic:WxH}" (extent in pixels) tokens where formulas and pictures stand.
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
            if (name == u"wp:extent") {
                current += QStringLiteral("{pic:%1x%2}")
                               .arg(r.attributes().value(QLatin1String("cx")).toLongLong() / 9525)
                               .arg(r.attributes().value(QLatin1String("cy")).toLongLong() / 9525);
            }
        } else if (r.isEndElement()) {
            if (name == u"m:oMath") --mathDepth;
            if (name == u"w:p") out << current;
        }
    }
    return out;
}

}  // namespace

class PaperFormulasTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void formulasBecomeOfficeMathAndPicturesStandInPlace();
    void cachedFormulasPrintWithoutPandoc();
    void unconvertibleFormulaStopsThePaperAndNamesTheQuestion();
    void oddInputsPrintSensibly();
};

void PaperFormulasTest::formulasBecomeOfficeMathAndPicturesStandInPlace()
{
    Workspace ws;
    const QString wide = content::storePicture(DM->db(), png(1106, 400));
    const QString small = content::storePicture(DM->db(), png(100, 50));
    const QByteArray svg = R"(<svg xmlns="http://www.w3.org/2000/svg" width="300" height="150">)"
                           R"(<line x1="0" y1="0" x2="300" y2="150" stroke="black"/></svg>)";
    const QString vector = content::storePicture(DM->db(), svg);
    seed(ws, {{QStringLiteral("解方程\\(x^2-5x+6=0\\)，如图%1。").arg(content::pictureMarker(wide)),
               QStringLiteral("由求根公式\\[x=\\frac{-b\\pm\\sqrt{b^2-4ac}}{2a}\\]得\\(x=2\\)或\\(x=3\\)")},
              {QStringLiteral("计算\\[\\int_0^1 x\\,dx\\]"),
               QStringLiteral("%1和%2").arg(content::pictureMarker(small), content::pictureMarker(vector))},
              {QStringLiteral("普通题目"), QStringLiteral("普通答案")}});
    const QString path = writePaperDocument(paper(), ws.root() + QStringLiteral("/Papers"));
    const docxread::Package package = docxread::read(path);
    QVERIFY2(package.error.isEmpty(), qPrintable(package.error));
    const QStringList tokens = bodyTokens(package.parts.value(QStringLiteral("word/document.xml")));
    const qsizetype first = tokens.indexOf(QStringLiteral("1. 解方程{math}，如图{pic:553x200}。"));
    QVERIFY2(first >= 0, qPrintable(tokens.join(QLatin1Char('|'))));
    QCOMPARE(tokens.mid(first, 4),
             QStringList({QStringLiteral("1. 解方程{math}，如图{pic:553x200}。"), QStringLiteral("2. 计算"),
                          QStringLiteral("{display}"), QStringLiteral("3. 普通题目")}));
    const qsizetype answers = tokens.indexOf(QStringLiteral("1. 由求根公式"));
    QVERIFY2(answers > first, qPrintable(tokens.join(QLatin1Char('|'))));
    QCOMPARE(
        tokens.mid(answers, 5),
        QStringList({QStringLiteral("1. 由求根公式"), QStringLiteral("{display}"), QStringLiteral("得{math}或{math}"),
                     QStringLiteral("2. {pic:100x50}和{pic:300x150}"), QStringLiteral("3. 普通答案")}));
    // The displayed formula's paragraph is centred; the quadratic formula keeps its fraction and root.
    const QString xml = QString::fromUtf8(package.parts.value(QStringLiteral("word/document.xml")));
    QVERIFY(xml.contains(QRegularExpression(QStringLiteral("<w:jc w:val=\"center\"/></w:pPr><m:oMathPara>"))));
    QVERIFY(xml.contains(QStringLiteral("<m:f>")) && xml.contains(QStringLiteral("<m:rad>")) &&
            xml.contains(QStringLiteral("<m:nary>")));
    // Three pictures besides the two score tables; the SVG was drawn to PNG.
    QCOMPARE(package.parts.keys().filter(QStringLiteral("word/media/")).size(), 5);
    QCOMPARE(ws.count(QStringLiteral("formula_omml")), 5);
}

void PaperFormulasTest::cachedFormulasPrintWithoutPandoc()
{
    Workspace ws;
    seed(ws, {{QStringLiteral("\\(\\sqrt{2}\\)与\\(\\frac{1}{3}\\)"), QStringLiteral("\\[\\sum_{i=1}^{n} i\\]")}});
    writePaperDocument(paper(), ws.root() + QStringLiteral("/Papers"));
    QCOMPARE(ws.count(QStringLiteral("formula_omml")), 3);

    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(ws.root() + QStringLiteral("/nowhere")));
    const QString second = writePaperDocument(paper(), ws.root() + QStringLiteral("/Papers"));
    QVERIFY(QFileInfo::exists(second));
    QCOMPARE(bodyTokens(docxread::read(second).parts.value(QStringLiteral("word/document.xml")))
                 .filter(QStringLiteral("{math}与{math}"))
                 .size(),
             1);
    // A formula not yet converted needs pandoc, and the message names the package.
    ws.exec(QStringLiteral("UPDATE sjb SET da = ?"), {QStringLiteral("\\(e^{i\\pi}+1=0\\)")});
    QString message;
    try {
        writePaperDocument(paper(), ws.root() + QStringLiteral("/Papers"));
    } catch (const AppError& e) {
        message = e.text();
    }
    qputenv("PATH", path);
    QVERIFY2(message.contains(QStringLiteral("需要安装 pandoc 软件包")), qPrintable(message));
    QCOMPARE(QDir(ws.root() + QStringLiteral("/Papers")).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

void PaperFormulasTest::unconvertibleFormulaStopsThePaperAndNamesTheQuestion()
{
    Workspace ws;
    seed(ws, {{QStringLiteral("好的\\(a+b\\)"), QStringLiteral("答")},
              {QStringLiteral("第二题"), QStringLiteral("坏的\\(\\frac{1}{\\)")},
              {QStringLiteral("坏的\\[x^{2\\]"), QStringLiteral("答")}});
    BoxAnswerer boxes;
    QDir::current().mkpath(QStringLiteral("Papers"));
    const bool printed = printPaper(QStringLiteral("01"), {QStringLiteral("解答题")}, QStringLiteral("函数测验"),
                                    QStringLiteral("90"), QStringLiteral("100"));
    QVERIFY(!printed);
    QVERIFY2(boxes.last().contains(QStringLiteral("试卷没有生成")), qPrintable(boxes.last()));
    QVERIFY2(boxes.last().contains(QStringLiteral("一、第2题（答案）：\\frac{1}{")), qPrintable(boxes.last()));
    QVERIFY2(boxes.last().contains(QStringLiteral("一、第3题（题目）：x^{2")), qPrintable(boxes.last()));
    QVERIFY(!boxes.last().contains(QStringLiteral("a+b")));
    QVERIFY(QDir(QStringLiteral("Papers")).entryList(QDir::Files | QDir::Hidden).isEmpty());
    // The formula that did convert is cached all the same.
    QCOMPARE(ws.count(QStringLiteral("formula_omml")), 1);
}

void PaperFormulasTest::oddInputsPrintSensibly()
{
    Workspace ws;
    QString longFormula;
    for (int i = 0; i < 1300; ++i) longFormula += QStringLiteral("x_%1+").arg(i % 10);
    longFormula += QStringLiteral("y");
    QVERIFY(longFormula.size() >= 5000);
    const QString missing = QString(64, QLatin1Char('a'));
    QImage big(5000, 4000, QImage::Format_RGB32);  // 20 megapixels
    big.fill(Qt::white);
    QByteArray bigPng;
    {
        QBuffer buffer(&bigPng);
        buffer.open(QIODevice::WriteOnly);
        big.save(&buffer, "PNG");
    }
    const QString bigHash = content::storePicture(DM->db(), bigPng);
    seed(ws, {{QStringLiteral("只有开头\\(x+1 和 \\[y"), QStringLiteral("长公式\\(%1\\)").arg(longFormula)},
              {QStringLiteral("见%1").arg(content::pictureMarker(missing)),
               QStringLiteral("大图%1").arg(content::pictureMarker(bigHash))}});
    const QString path = writePaperDocument(paper(), ws.root() + QStringLiteral("/Papers"));
    const docxread::Package package = docxread::read(path);
    QVERIFY2(package.error.isEmpty(), qPrintable(package.error));
    const QStringList tokens = bodyTokens(package.parts.value(QStringLiteral("word/document.xml")));
    QVERIFY(tokens.contains(QStringLiteral("1. 只有开头\\(x+1 和 \\[y")));
    QVERIFY(tokens.contains(QStringLiteral("1. 长公式{math}")));
    QVERIFY(tokens.contains(QStringLiteral("2. 见[图片缺失]")));
    QVERIFY2(tokens.contains(QStringLiteral("2. 大图{pic:553x442}")), qPrintable(tokens.join(QLatin1Char('|'))));
}

QTEST_MAIN(PaperFormulasTest)
#include "test_paper_formulas.moc"
