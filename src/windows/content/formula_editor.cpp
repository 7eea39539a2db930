#include "windows/content/formula_editor.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTextCursor>
#include <QVBoxLayout>

#include "content/content.h"
#include "content/math_renderer.h"

namespace content {

FormulaEditor::FormulaEditor(QWidget* parent, MathRenderer* renderer)
    : QDialog(parent), renderer_(renderer ? renderer : MathRenderer::shared())
{
    setObjectName(QStringLiteral("FormulaEditorF"));
    setWindowTitle(QStringLiteral("插入公式"));
    setModal(true);
    resize(620, 460);

    auto* structures = new QGridLayout;
    const struct {
        const char* caption;
        const char* pattern;
        const char* name;
    } items[] = {
        {"分数", "\\frac{}{}", "BtnFraction"},
        {"根号", "\\sqrt{}", "BtnRoot"},
        {"n次根", "\\sqrt[n]{}", "BtnNthRoot"},
        {"上标", "^{}", "BtnPower"},
        {"下标", "_{}", "BtnSubscript"},
        {"求和", "\\sum_{i=1}^{n}{}", "BtnSum"},
        {"积分", "\\int_{a}^{b}{} \\,dx", "BtnIntegral"},
        {"向量", "\\vec{}", "BtnVector"},
        {"矩阵", "\\begin{pmatrix} {} & b \\\\ c & d \\end{pmatrix}", "BtnMatrix"},
        {"括号", "\\left( {} \\right)", "BtnBrackets"},
    };
    int index = 0;
    for (const auto& item : items) {
        structures->addWidget(structureButton(QString::fromUtf8(item.caption), QString::fromUtf8(item.pattern),
                                              QString::fromLatin1(item.name)),
                              index / 6, index % 6);
        ++index;
    }
    const QVector<QPair<QString, QString>> greek = {
        {QStringLiteral("α"), QStringLiteral("\\alpha")},      {QStringLiteral("β"), QStringLiteral("\\beta")},
        {QStringLiteral("γ"), QStringLiteral("\\gamma")},      {QStringLiteral("δ"), QStringLiteral("\\delta")},
        {QStringLiteral("ε"), QStringLiteral("\\varepsilon")}, {QStringLiteral("θ"), QStringLiteral("\\theta")},
        {QStringLiteral("λ"), QStringLiteral("\\lambda")},     {QStringLiteral("μ"), QStringLiteral("\\mu")},
        {QStringLiteral("π"), QStringLiteral("\\pi")},         {QStringLiteral("ρ"), QStringLiteral("\\rho")},
        {QStringLiteral("σ"), QStringLiteral("\\sigma")},      {QStringLiteral("φ"), QStringLiteral("\\varphi")},
        {QStringLiteral("ω"), QStringLiteral("\\omega")},      {QStringLiteral("Δ"), QStringLiteral("\\Delta")},
        {QStringLiteral("Σ"), QStringLiteral("\\Sigma")},      {QStringLiteral("Ω"), QStringLiteral("\\Omega")},
    };
    const QVector<QPair<QString, QString>> symbols = {
        {QStringLiteral("±"), QStringLiteral("\\pm")},       {QStringLiteral("×"), QStringLiteral("\\times")},
        {QStringLiteral("÷"), QStringLiteral("\\div")},      {QStringLiteral("·"), QStringLiteral("\\cdot")},
        {QStringLiteral("≤"), QStringLiteral("\\leq")},      {QStringLiteral("≥"), QStringLiteral("\\geq")},
        {QStringLiteral("≠"), QStringLiteral("\\neq")},      {QStringLiteral("≈"), QStringLiteral("\\approx")},
        {QStringLiteral("∞"), QStringLiteral("\\infty")},    {QStringLiteral("∠"), QStringLiteral("\\angle")},
        {QStringLiteral("△"), QStringLiteral("\\triangle")}, {QStringLiteral("⊥"), QStringLiteral("\\perp")},
        {QStringLiteral("∥"), QStringLiteral("\\parallel")}, {QStringLiteral("°"), QStringLiteral("^{\\circ}")},
        {QStringLiteral("∈"), QStringLiteral("\\in")},       {QStringLiteral("→"), QStringLiteral("\\to")},
    };
    structures->addWidget(symbolMenuButton(QStringLiteral("希腊字母"), greek, QStringLiteral("BtnGreek")), 1, 4);
    structures->addWidget(symbolMenuButton(QStringLiteral("符号"), symbols, QStringLiteral("BtnSymbols")), 1, 5);

    auto* sourceLabel = new QLabel(QStringLiteral("LaTeX 公式："), this);
    EditTex = new QPlainTextEdit(this);
    EditTex->setObjectName(QStringLiteral("EditTex"));
    EditTex->setTabChangesFocus(true);
    QFont mono(QStringLiteral("monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    mono.setPointSize(font().pointSize() > 0 ? font().pointSize() : 11);
    EditTex->setFont(mono);
    sourceLabel->setBuddy(EditTex);

    RadioInline = new QRadioButton(QStringLiteral("行内公式"), this);
    RadioInline->setObjectName(QStringLiteral("RadioInline"));
    RadioDisplay = new QRadioButton(QStringLiteral("独立公式（单独成行，居中）"), this);
    RadioDisplay->setObjectName(QStringLiteral("RadioDisplay"));
    auto* kinds = new QButtonGroup(this);
    kinds->addButton(RadioInline);
    kinds->addButton(RadioDisplay);
    RadioInline->setChecked(true);

    auto* previewLabel = new QLabel(QStringLiteral("预览："), this);
    LabelPreview = new QLabel(this);
    LabelPreview->setObjectName(QStringLiteral("LabelPreview"));
    LabelPreview->setAlignment(Qt::AlignCenter);
    LabelPreview->setWordWrap(true);
    LabelPreview->setTextFormat(Qt::PlainText);
    LabelPreview->setTextInteractionFlags(Qt::TextSelectableByMouse);
    PreviewArea = new QScrollArea(this);
    PreviewArea->setObjectName(QStringLiteral("PreviewArea"));
    PreviewArea->setWidget(LabelPreview);
    PreviewArea->setWidgetResizable(true);
    PreviewArea->setBackgroundRole(QPalette::Base);
    PreviewArea->setMinimumHeight(120);

    BtnOk = new QPushButton(QStringLiteral("确定"), this);
    BtnOk->setObjectName(QStringLiteral("BtnOk"));
    BtnCancel = new QPushButton(QStringLiteral("取消"), this);
    BtnCancel->setObjectName(QStringLiteral("BtnCancel"));
    BtnOk->setDefault(true);

    auto* kindRow = new QHBoxLayout;
    kindRow->addWidget(RadioInline);
    kindRow->addWidget(RadioDisplay);
    kindRow->addStretch();
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(BtnOk);
    buttonRow->addWidget(BtnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(structures);
    layout->addWidget(sourceLabel);
    layout->addWidget(EditTex, 2);
    layout->addLayout(kindRow);
    layout->addWidget(previewLabel);
    layout->addWidget(PreviewArea, 3);
    layout->addLayout(buttonRow);

    pause_.setSingleShot(true);
    pause_.setInterval(kPauseMs);
    connect(&pause_, &QTimer::timeout, this, &FormulaEditor::refreshPreview);
    connect(EditTex, &QPlainTextEdit::textChanged, &pause_, qOverload<>(&QTimer::start));
    connect(RadioDisplay, &QRadioButton::toggled, &pause_, qOverload<>(&QTimer::start));
    connect(BtnOk, &QPushButton::clicked, this, &FormulaEditor::accept);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    refreshPreview();
    EditTex->setFocus();
}

QPushButton* FormulaEditor::structureButton(const QString& caption, const QString& pattern, const QString& name)
{
    auto* button = new QPushButton(caption, this);
    button->setObjectName(name);
    button->setAutoDefault(false);
    button->setToolTip(pattern);
    button->setFocusPolicy(Qt::NoFocus);
    connect(button, &QPushButton::clicked, this, [this, pattern] { insertStructure(pattern); });
    return button;
}

QPushButton* FormulaEditor::symbolMenuButton(const QString& caption, const QVector<QPair<QString, QString>>& symbols,
                                             const QString& name)
{
    auto* button = new QPushButton(caption, this);
    button->setObjectName(name);
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::NoFocus);
    auto* menu = new QMenu(button);
    for (const auto& [shown, tex] : symbols) {
        QAction* action = menu->addAction(shown + QStringLiteral("  ") + tex);
        action->setObjectName(tex);
        const QString inserted = tex + QStringLiteral(" ");
        connect(action, &QAction::triggered, this, [this, inserted] { insertStructure(inserted); });
    }
    button->setMenu(menu);
    return button;
}

void FormulaEditor::insertStructure(const QString& pattern)
{
    QTextCursor cursor = EditTex->textCursor();
    const QString selected = cursor.selectedText();
    const int start = cursor.selectionStart();
    const int hole = pattern.indexOf(QStringLiteral("{}"));
    QString text = pattern;
    int caret = start + pattern.size();
    if (hole >= 0) {
        // A selection goes into the first hole; the cursor stands after it.
        text = pattern.left(hole + 1) + selected + pattern.mid(hole + 1);
        caret = start + hole + 1 + selected.size();
    }
    cursor.insertText(text);
    cursor.setPosition(caret);
    EditTex->setTextCursor(cursor);
    EditTex->setFocus();
}

void FormulaEditor::setFormula(const QString& tex, bool display)
{
    EditTex->setPlainText(tex);
    (display ? RadioDisplay : RadioInline)->setChecked(true);
    EditTex->moveCursor(QTextCursor::End);
    refreshPreview();
}

QString FormulaEditor::tex() const
{
    return EditTex->toPlainText().trimmed();
}

bool FormulaEditor::isDisplay() const
{
    return RadioDisplay->isChecked();
}

QString FormulaEditor::text() const
{
    return isDisplay() ? QStringLiteral("\\[") + tex() + QStringLiteral("\\]")
                       : QStringLiteral("\\(") + tex() + QStringLiteral("\\)");
}

void FormulaEditor::accept()
{
    // The button may still be enabled from before the last keystrokes: the source is checked now,
    // also by MathJax (answered from its cache when the preview already asked).
    if (!refusal().isEmpty() ||
        renderer_->render(tex(), isDisplay(), QFontInfo(font()).pixelSize() * 1.5, devicePixelRatioF()).texError()) {
        refreshPreview();
        return;
    }
    QDialog::accept();
}

QString FormulaEditor::refusal() const
{
    if (tex().isEmpty()) return QStringLiteral("请输入公式。");
    // The formula must come back whole when the text is read: no delimiter of its own inside.
    const QVector<Segment> segments = parse(text());
    const Segment::Kind kind = isDisplay() ? Segment::DisplayMath : Segment::InlineMath;
    if (segments.size() != 1 || segments.first().kind != kind || segments.first().text.trimmed() != tex()) {
        return QStringLiteral("公式中不能含有 \\( \\) \\[ \\] 或图片标记。");
    }
    // Also what no formula may hold, and limits of length and nesting: checked before the
    // preview, so that a pasted monster is refused at once instead of typeset.
    return formulaEntryRefusal(tex());
}

void FormulaEditor::refreshPreview()
{
    pause_.stop();
    const QString refused = refusal();
    BtnOk->setEnabled(refused.isEmpty());
    QPalette palette = LabelPreview->palette();
    if (!refused.isEmpty()) {
        LabelPreview->setPixmap(QPixmap());
        LabelPreview->setText(refused);
        palette.setColor(QPalette::WindowText, tex().isEmpty() ? QColor(Qt::gray) : QColor(Qt::red));
        LabelPreview->setPalette(palette);
        return;
    }
    const qreal pixelSize = QFontInfo(font()).pixelSize() * 1.5;
    const MathImage math = renderer_->render(tex(), isDisplay(), pixelSize, devicePixelRatioF());
    if (math.ok()) {
        LabelPreview->setText(QString());
        LabelPreview->setPixmap(QPixmap::fromImage(math.image));
    } else {
        // The source in red with the reason. A formula MathJax cannot read is not inserted (a
        // paper could not print it either); one that could not be typeset for another reason
        // (no Node.js, a slow helper) still can be.
        if (math.texError()) BtnOk->setEnabled(false);
        LabelPreview->setPixmap(QPixmap());
        LabelPreview->setText(tex() + QStringLiteral("\n（") + math.error + QStringLiteral("）"));
        palette.setColor(QPalette::WindowText, Qt::red);
        LabelPreview->setPalette(palette);
    }
}

}  // namespace content
