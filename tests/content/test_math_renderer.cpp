#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "content/math_renderer.h"

using content::MathImage;
using content::MathRenderer;

namespace {

// Pixels that are clearly drawn (not transparent).
int inkedPixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 128) ++count;
        }
    }
    return count;
}

}  // namespace

class TestMathRenderer : public QObject {
    Q_OBJECT
private slots:
    void helperIsInstalledBesideTheProgramSources();
    void typesetsAFractionAsAPictureOfPlausibleSize();
    void displayedFormulasAreLargerThanInlineOnes();
    void badTexGivesAReasonAndTheHelperGoesOn();
    void missingNodeOrMathJaxGivesAReason();
    void aHelperThatHangsOrDiesGivesAReason();
};

void TestMathRenderer::helperIsInstalledBesideTheProgramSources()
{
    // scripts/install-deps.sh puts MathJax where the program looks for it.
    const QString folder = MathRenderer::mathjaxFolder();
    QVERIFY2(!folder.isEmpty(), "MathJax not found: run scripts/install-deps.sh");
    QVERIFY(QFile::exists(folder + QStringLiteral("/render.js")));
}

void TestMathRenderer::typesetsAFractionAsAPictureOfPlausibleSize()
{
    MathRenderer renderer;
    const MathImage fraction = renderer.render(QStringLiteral("\\frac{a+b}{2}"), false, 16);
    QVERIFY2(fraction.ok(), qPrintable(fraction.error));
    QVERIFY(!fraction.image.isNull());
    // Three symbols wide, two lines high at 16-pixel text: tens of pixels, not a dot nor a page.
    QVERIFY(fraction.image.width() > 20 && fraction.image.width() < 120);
    QVERIFY(fraction.image.height() > 20 && fraction.image.height() < 80);
    QVERIFY(fraction.baseline > fraction.image.height() * 0.3 && fraction.baseline < fraction.image.height());
    QVERIFY(inkedPixels(fraction.image) > 30);

    // Twice the text size gives twice the picture; the SVG itself is what MathJax wrote.
    const MathImage large = renderer.render(QStringLiteral("\\frac{a+b}{2}"), false, 32);
    QVERIFY(qAbs(large.image.width() - 2 * fraction.image.width()) <= 2);
    QString error;
    QVERIFY(renderer.svg(QStringLiteral("\\frac{a+b}{2}"), false, &error).startsWith("<svg"));
    QVERIFY(error.isEmpty());
}

void TestMathRenderer::displayedFormulasAreLargerThanInlineOnes()
{
    MathRenderer renderer;
    const QString sum = QStringLiteral("\\sum_{i=1}^{n} \\frac{1}{i^2}");
    const MathImage inlined = renderer.render(sum, false, 16);
    const MathImage displayed = renderer.render(sum, true, 16);
    QVERIFY(inlined.ok() && displayed.ok());
    QVERIFY(displayed.image.height() > inlined.image.height());
}

void TestMathRenderer::badTexGivesAReasonAndTheHelperGoesOn()
{
    MathRenderer renderer;
    const MathImage unclosed = renderer.render(QStringLiteral("\\frac{1}{"), false, 16);
    QVERIFY(!unclosed.ok());
    QVERIFY(unclosed.image.isNull());
    QVERIFY2(unclosed.error.startsWith(QStringLiteral("公式有误：")), qPrintable(unclosed.error));
    const MathImage unknown = renderer.render(QStringLiteral("x \\notacommand y"), false, 16);
    QVERIFY(!unknown.ok());
    QVERIFY2(unknown.error.contains(QStringLiteral("notacommand")), qPrintable(unknown.error));
    QCOMPARE(renderer.render(QStringLiteral("  "), false, 16).error, QStringLiteral("公式为空"));
    // A 5,000-character formula is typeset or refused, never a hang.
    const MathImage longOne = renderer.render(QStringLiteral("x+").repeated(2500) + QStringLiteral("y"), false, 16);
    QVERIFY(longOne.ok() || !longOne.error.isEmpty());
    QVERIFY(renderer.render(QStringLiteral("\\sqrt{2}"), false, 16).ok());
}

void TestMathRenderer::missingNodeOrMathJaxGivesAReason()
{
    MathRenderer noNode(QStringLiteral("/nonexistent/bin/node"));
    const MathImage a = noNode.render(QStringLiteral("x^2"), false, 16);
    QVERIFY(a.image.isNull());
    QVERIFY2(a.error.contains(QStringLiteral("Node.js")), qPrintable(a.error));

    QTemporaryDir empty;
    MathRenderer noMathJax(QString(), empty.path());
    const MathImage b = noMathJax.render(QStringLiteral("x^2"), false, 16);
    QVERIFY(b.image.isNull());
    QVERIFY2(b.error.contains(QStringLiteral("MathJax")), qPrintable(b.error));
}

void TestMathRenderer::aHelperThatHangsOrDiesGivesAReason()
{
    // A stand-in for node that never answers, then one that quits at once.
    QTemporaryDir dir;
    const auto script = [&dir](const QString& name, const QByteArray& body) {
        QFile file(dir.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write("#!/bin/sh\n" + body + "\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return file.fileName();
    };
    MathRenderer hanging(script(QStringLiteral("hang"), "exec sleep 30"), MathRenderer::mathjaxFolder());
    hanging.setTimeouts(300, 300);
    QCOMPARE(hanging.render(QStringLiteral("x"), false, 16).error, QStringLiteral("公式排版超时"));

    MathRenderer dying(script(QStringLiteral("die"), "echo broken >&2; exit 3"), MathRenderer::mathjaxFolder());
    const QString error = dying.render(QStringLiteral("x"), false, 16).error;
    QVERIFY2(error.startsWith(QStringLiteral("公式排版程序意外退出")), qPrintable(error));
}

QTEST_MAIN(TestMathRenderer)
#include "test_math_renderer.moc"
