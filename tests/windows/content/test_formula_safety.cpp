// Hostile formulas: what the formula check refuses (and lets through), and previews of formulas
// that ask for enormous sizes staying bounded.
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>

#include "app/application.h"
#include "content/content.h"
#include "windows/content/content_preview.h"
#include "windows/content/formula_editor.h"
#include "content/math_renderer.h"

using content::MathRenderer;

namespace {

QString nested(int depth)
{
    QString formula = QStringLiteral("x");
    for (int i = 0; i < depth; ++i) formula = QStringLiteral("x^{%1}").arg(formula);
    return formula;
}

bool haveMathJax()
{
    return !MathRenderer::mathjaxFolder().isEmpty();
}

}  // namespace

class FormulaSafetyTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void formulasThatEndEarlyReadFilesOrRedefineAreRefused();
    void ordinaryFormulasPass();
    void entryLimitsLengthAndNesting();
    void hugeFormulasGiveABoundedPictureOrAReason();
    void previewPaneShowsTheReasonForAHostileFormula();
    void formulaEditorRefusesAMonsterAtOnce();
    void formulaEditorRefusesWhatMathJaxCannotReadInChinese();
};

void FormulaSafetyTest::formulasThatEndEarlyReadFilesOrRedefineAreRefused()
{
    const struct {
        const char* latex;
        const char* reason;
    } cases[] = {
        {R"( 1+1 \) \par @0 \(x=3 )", "\\( \\) \\[ \\]"},
        {R"(a \] b)", "\\( \\) \\[ \\]"},
        {R"(a \[ b)", "\\( \\) \\[ \\]"},
        {R"(a \\\( b)", "\\( \\) \\[ \\]"},  // "\\" then "\(": still an opening delimiter
        {"a \\par b", "\\par"},
        {"a\n\nb", "\\par"},
        {"a\r\n  \r\nb", "\\par"},
        {R"(\includegraphics{http://127.0.0.1/x})", "\\includegraphics"},
        {R"(\input{/etc/passwd})", "\\input"},
        {R"(\include{x})", "\\include"},
        {R"(\url{http://x})", "\\url"},
        {R"(\href{http://x}{y})", "\\href"},
        {R"(\def\x{3}\x)", "\\def"},
        {R"(\renewcommand{\frac}{3})", "\\renewcommand"},
        {R"(\style{font-size:100000px}{x})", "\\style"},
        {R"(\class{a}{x})", "\\class"},
        {R"(\cssId{a}{x})", "\\cssId"},
        {R"(\require{html})", "\\require"},
    };
    for (const auto& c : cases) {
        const QString latex = QString::fromUtf8(c.latex);
        const QString refused = content::formulaRefusal(latex);
        QVERIFY2(refused.contains(QString::fromUtf8(c.reason)), qPrintable(latex + QStringLiteral(" → ") + refused));
        QCOMPARE(content::formulaEntryRefusal(latex), refused);
    }
    // The poisoned text of a question: the displayed formula holds a closing delimiter.
    const QString refused = content::textEntryRefusal(QStringLiteral("题目\\[ 1+1 \\) \\par @0 \\(x=3 \\]"));
    QVERIFY2(refused.startsWith(QStringLiteral("公式“1+1 \\) \\par @0 \\(x=3”无法使用：")), qPrintable(refused));
}

void FormulaSafetyTest::ordinaryFormulasPass()
{
    for (const char* latex :
         {"x=\\frac{-b\\pm\\sqrt{b^2-4ac}}{2a}", "\\begin{pmatrix} a & b \\\\[2pt] c & d \\end{pmatrix}",
          "\\int_0^1 x\\,dx", "a\nb", "50\\%", "\\underline{\\hspace{2cm}}", "\\intop", "\\inputfoo",
          "\\left( x \\right)", "\\text{(\\,)}", "\\\\(", "\\{x\\}"}) {
        QCOMPARE(content::formulaEntryRefusal(QString::fromUtf8(latex)), QString());
    }
    QCOMPARE(content::textEntryRefusal(QStringLiteral("普通的文字 \\ 与 ( ) [ ]")), QString());
    QCOMPARE(content::textEntryRefusal(QStringLiteral("解\\(x=2\\)且\\[y=3\\]")), QString());
}

void FormulaSafetyTest::entryLimitsLengthAndNesting()
{
    const QString longest(content::kMaxFormulaLength, QLatin1Char('x'));
    QCOMPARE(content::formulaEntryRefusal(longest), QString());
    const QString tooLong = longest + QLatin1Char('x');
    QVERIFY(content::formulaEntryRefusal(tooLong).contains(QStringLiteral("公式太长")));
    // Printing a formula stored earlier is not held to the length limit.
    QCOMPARE(content::formulaRefusal(tooLong), QString());

    QCOMPARE(content::formulaEntryRefusal(nested(content::kMaxFormulaDepth)), QString());
    const QString deep = nested(content::kMaxFormulaDepth + 1);
    QVERIFY2(content::formulaEntryRefusal(deep).contains(QStringLiteral("嵌套太深")),
             qPrintable(content::formulaEntryRefusal(deep)));
    QVERIFY(content::textEntryRefusal(QStringLiteral("\\(%1\\)").arg(nested(25))).contains(QStringLiteral("25 层")));
    // Escaped braces are characters, not nesting.
    QCOMPARE(
        content::formulaEntryRefusal(QString(30, QLatin1Char('x')).replace(QLatin1Char('x'), QStringLiteral("\\{"))),
        QString());
}

void FormulaSafetyTest::hugeFormulasGiveABoundedPictureOrAReason()
{
    if (!haveMathJax()) QSKIP("MathJax is not installed");
    MathRenderer renderer;
    // Far beyond any page: refused with a reason, no picture built.
    for (const char* latex : {"\\rule{3000em}{3000em}", "\\hspace{5000em}x", "\\raise{3000em}{x}"}) {
        const content::MathImage math = renderer.render(QString::fromUtf8(latex), false, 16, 2.0);
        QVERIFY2(math.error.contains(QStringLiteral("公式太大")), qPrintable(QString::fromUtf8(latex) + math.error));
        QVERIFY(math.image.isNull());
    }
    // The preview's page commands are not there at all.
    const content::MathImage styled = renderer.render(QStringLiteral("\\style{font-size:100000px}{x}"), false, 16);
    QVERIFY2(styled.error.contains(QStringLiteral("\\style")), qPrintable(styled.error));
    QVERIFY(styled.image.isNull());
    // A definition in one formula does not carry over into the next.
    QVERIFY(!renderer.render(QStringLiteral("\\def\\x{3}"), false, 16).ok());
    QVERIFY(!renderer.render(QStringLiteral("\\newcommand{\\y}{3}"), false, 16).ok());
    QVERIFY(!renderer.render(QStringLiteral("\\y"), false, 16).ok());
    // Larger than the cap but within reach: drawn scaled down to fit, keeping its proportions.
    const content::MathImage wide = renderer.render(QStringLiteral("\\rule{400em}{20em}"), false, 16, 2.0);
    QVERIFY2(wide.ok(), qPrintable(wide.error));
    QCOMPARE(wide.image.width(), MathRenderer::kMaxPreviewPixels);
    QVERIFY(qAbs(wide.image.height() - MathRenderer::kMaxPreviewPixels / 20) <= 2);
    QVERIFY(wide.baseline >= 0 && wide.baseline <= wide.image.height() / wide.image.devicePixelRatio());
    // An ordinary formula keeps its natural size.
    const content::MathImage plain = renderer.render(QStringLiteral("\\frac{1}{2}"), false, 16, 1.0);
    QVERIFY(plain.ok() && plain.image.width() < 40 && plain.image.height() < 40);
}

void FormulaSafetyTest::previewPaneShowsTheReasonForAHostileFormula()
{
    if (!haveMathJax()) QSKIP("MathJax is not installed");
    // The helper starts before the clock runs: only the refusals are timed.
    QVERIFY(MathRenderer::shared()->render(QStringLiteral("x"), false, 16).ok());
    content::ContentPreview preview;
    preview.resize(400, 300);
    preview.show();
    QString monster;
    for (int i = 0; i < 20000; ++i) monster += QStringLiteral("x+");
    const struct {
        QString text;
        QString reason;
    } cases[] = {
        {QStringLiteral("甲\\(\\rule{3000em}{3000em}\\)乙"), QStringLiteral("公式太大")},
        {QStringLiteral("甲\\(\\style{font-size:100000px}{x}\\)乙"), QStringLiteral("\\style")},
        {QStringLiteral("甲\\[ 1+1 \\) \\par @0 \\(x=3 \\]"), QStringLiteral("\\( \\) \\[ \\]")},
        {QStringLiteral("甲\\(%1\\)乙").arg(monster), QStringLiteral("公式太长")},
    };
    for (const auto& c : cases) {
        QElapsedTimer clock;
        clock.start();
        preview.setContentText(c.text);
        preview.refreshNow();
        const QString shown = preview.document()->toPlainText();
        QVERIFY2(shown.contains(c.reason), qPrintable(shown.left(300)));
        QVERIFY2(shown.size() < 600, qPrintable(QString::number(shown.size())));
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    }
}

void FormulaSafetyTest::formulaEditorRefusesAMonsterAtOnce()
{
    content::FormulaEditor editor;
    editor.show();
    QString monster;
    for (int i = 0; i < 50000; ++i) monster += QStringLiteral("x+");
    QElapsedTimer clock;
    clock.start();
    editor.EditTex->setPlainText(monster);
    editor.refreshPreview();
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(editor.LabelPreview->text().contains(QStringLiteral("公式太长")));
    QVERIFY(!editor.BtnOk->isEnabled());

    editor.EditTex->setPlainText(QStringLiteral("a \\[ b"));
    editor.refreshPreview();
    QVERIFY(editor.LabelPreview->text().contains(QStringLiteral("\\[")));
    QVERIFY(!editor.BtnOk->isEnabled());
    // Typed after the last check and confirmed at once: still refused, the dialog stays.
    editor.EditTex->setPlainText(QStringLiteral("x"));
    editor.refreshPreview();
    QVERIFY(editor.BtnOk->isEnabled());
    editor.EditTex->setPlainText(QStringLiteral("\\includegraphics{/etc/x.png}"));
    editor.accept();
    QCOMPARE(editor.result(), int(QDialog::Rejected));
    QVERIFY(editor.isVisible());
    QVERIFY(editor.LabelPreview->text().contains(QStringLiteral("\\includegraphics")));
}

void FormulaSafetyTest::formulaEditorRefusesWhatMathJaxCannotReadInChinese()
{
    if (content::MathRenderer::mathjaxFolder().isEmpty()) QSKIP("MathJax is not installed");
    content::FormulaEditor editor;
    editor.show();
    const struct {
        const char* tex;
        const char* says;
    } cases[] = {{"\\frac{1}{", "缺少右花括号"}, {"x}", "多了右花括号"}, {"x \\notacommand y", "无法识别的命令 \\notacommand"},
                 {"x^2^3", "上标重复"}};
    for (const auto& c : cases) {
        editor.EditTex->setPlainText(QString::fromUtf8(c.tex));
        editor.refreshPreview();
        const QString shown = editor.LabelPreview->text();
        QVERIFY2(shown.contains(QString::fromUtf8(c.says)), qPrintable(shown));
        QVERIFY2(!shown.contains(QStringLiteral("Missing")) && !shown.contains(QStringLiteral("Undefined")) &&
                     !shown.contains(QStringLiteral("Extra")) && !shown.contains(QStringLiteral("Double")),
                 qPrintable(shown));
        QVERIFY2(!editor.BtnOk->isEnabled(), c.tex);
        // Confirmed anyway (typed after the last check): still refused, the dialog stays.
        editor.accept();
        QVERIFY(editor.isVisible());
        QCOMPARE(editor.result(), int(QDialog::Rejected));
    }
    editor.EditTex->setPlainText(QStringLiteral("\\frac{1}{2}"));
    editor.refreshPreview();
    QVERIFY(editor.BtnOk->isEnabled());
    editor.accept();
    QCOMPARE(editor.result(), int(QDialog::Accepted));
}

QTEST_MAIN(FormulaSafetyTest)
#include "test_formula_safety.moc"
