// LibreOffice (with its Math component) opens a paper holding formulas and pictures: as ODT the
// formulas are math objects and the pictures images, in the order of the text; as PDF the
// formulas' content is on the page.
#include <zip.h>

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "app/application.h"
#include "ui/forms.h"
#include "content/content.h"
#include "data/data_module.h"
#include "output/paper_document.h"
#include "test_support.h"

using testing::Workspace;

namespace {

bool convert(const QString& docx, const QString& format, const QString& outDir)
{
    QTemporaryDir profile(QStringLiteral("/tmp/lo-XXXXXX"));
    QProcess process;
    process.start(QStringLiteral("soffice"),
                  {QStringLiteral("-env:UserInstallation=file://") + profile.path(), QStringLiteral("--headless"),
                   QStringLiteral("--convert-to"), format, QStringLiteral("--outdir"), outDir, docx});
    const bool ok =
        process.waitForFinished(180000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!ok) {
        process.kill();
        process.waitForFinished();
    }
    return ok;
}

QByteArray zipEntry(const QString& path, const QString& name)
{
    int code = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &code);
    if (!archive) return {};
    QByteArray data;
    zip_stat_t st;
    if (zip_stat(archive, name.toUtf8().constData(), 0, &st) == 0) {
        if (zip_file_t* file = zip_fopen(archive, name.toUtf8().constData(), 0)) {
            data.resize(qsizetype(st.size));
            if (zip_fread(file, data.data(), st.size) != zip_int64_t(st.size)) data.clear();
            zip_fclose(file);
        }
    }
    zip_close(archive);
    return data;
}

QByteArray png(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.drawPolygon(QPolygon({QPoint(10, h - 10), QPoint(w - 10, h - 10), QPoint(w / 2, 10)}));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

}  // namespace

class PaperFormulasClientTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void libreOfficeReadsFormulasAsMathObjectsAndPicturesInPlace();
};

void PaperFormulasClientTest::libreOfficeReadsFormulasAsMathObjectsAndPicturesInPlace()
{
    if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty()) QSKIP("soffice is not installed");
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("pandoc")).isEmpty(), "pandoc is missing");

    Workspace ws;
    const QString triangle = content::storePicture(DM->db(), png(300, 200));
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('01', '数学')"));
    ws.exec(QStringLiteral("INSERT INTO txb (kmh, txh, txm, bz) VALUES ('01', '01', '解答题', '1')"));
    ws.exec(QStringLiteral("INSERT INTO sjb (kmh, txh, th, zjh, nd, fs, tm, da, time, bz) "
                           "VALUES ('01', '01', '1', '01', '中等', '10', ?, ?, '8:00:00', '0')"),
            {QStringLiteral("已知三角形甲乙丙如图%1，解方程\\(x^2-5x+6=0\\)。").arg(content::pictureMarker(triangle)),
             QStringLiteral("求根公式\\[x=\\frac{-b\\pm\\sqrt{b^2-4ac}}{2a}\\]所以\\(x_1=2\\)。")});
    const PaperContent paper = collectPaper(QStringLiteral("01"), {QStringLiteral("解答题")},
                                            QStringLiteral("公式测验"), QStringLiteral("60"), QStringLiteral("10"));
    const QString docx = writePaperDocument(paper, ws.root() + QStringLiteral("/Papers"));

    QTemporaryDir out;
    QVERIFY(convert(docx, QStringLiteral("odt"), out.path()));
    const QString odt = QDir(out.path()).filePath(QFileInfo(docx).completeBaseName() + QStringLiteral(".odt"));
    const QString content = QString::fromUtf8(zipEntry(odt, QStringLiteral("content.xml")));
    QVERIFY2(!content.isEmpty(), qPrintable(odt));
    // In document order: the score tables, the triangle, the equation, then in the answer key
    // the displayed formula and the inline one.
    QStringList order;
    QStringList objects;
    const QRegularExpression element(QStringLiteral("<draw:(image|object) [^>]*xlink:href=\"([^\"]+)\""));
    for (auto it = element.globalMatch(content); it.hasNext();) {
        const auto m = it.next();
        // A math object carries a picture of itself for programs without a formula editor.
        if (m.captured(2).contains(QLatin1String("ObjectReplacements"))) continue;
        order << m.captured(1);
        if (m.captured(1) == QLatin1String("object")) objects << m.captured(2);
    }
    QCOMPARE(order, QStringList({QStringLiteral("image"), QStringLiteral("image"), QStringLiteral("image"),
                                 QStringLiteral("object"), QStringLiteral("object"), QStringLiteral("object")}));
    // Each object is a formula of LibreOffice Math, its annotation the formula's source.
    QStringList annotations;
    for (QString object : objects) {
        object.remove(QRegularExpression(QStringLiteral("^\\./")));
        const QString math = QString::fromUtf8(zipEntry(odt, object + QStringLiteral("/content.xml")));
        QVERIFY2(math.contains(QStringLiteral("<math")), qPrintable(object));
        const auto a = QRegularExpression(QStringLiteral("<annotation[^>]*>([^<]*)</annotation>")).match(math);
        annotations << a.captured(1).simplified().remove(QLatin1Char(' '));
    }
    QVERIFY2(annotations.value(0).contains(QStringLiteral("5x")), qPrintable(annotations.join(QLatin1Char('|'))));
    QVERIFY2(annotations.value(1).contains(QStringLiteral("over{2a}")), qPrintable(annotations.join(QLatin1Char('|'))));
    QVERIFY2(annotations.value(2).contains(QStringLiteral("rsub{1}=2")),
             qPrintable(annotations.join(QLatin1Char('|'))));
    // The triangle stands in the question's paragraph, between its text and the equation.
    const qsizetype question = content.indexOf(QStringLiteral("已知三角形甲乙丙如图"));
    const qsizetype picture = content.indexOf(QStringLiteral("<draw:image xlink:href=\"Pictures/"), question);
    const qsizetype equation = content.indexOf(QStringLiteral("<draw:object"), question);
    QVERIFY(question > 0 && picture > question && equation > picture);

    QVERIFY(convert(docx, QStringLiteral("pdf"), out.path()));
    const QString pdf = QDir(out.path()).filePath(QFileInfo(docx).completeBaseName() + QStringLiteral(".pdf"));
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    QVERIFY(text.waitForFinished(60000));
    const QString pages =
        QString::fromUtf8(text.readAllStandardOutput()).remove(QRegularExpression(QStringLiteral("\\s+")));
    for (const QString& needle : {QStringLiteral("解方程"), QStringLiteral("5x"), QStringLiteral("4ac"),
                                  QStringLiteral("2a"), QStringLiteral("所以")}) {
        QVERIFY2(pages.contains(needle), qPrintable(needle + QStringLiteral(" not in: ") + pages));
    }
}

QTEST_MAIN(PaperFormulasClientTest)
#include "test_paper_formulas_client.moc"
