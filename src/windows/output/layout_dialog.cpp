#include "windows/output/layout_dialog.h"

#include "windows/output/layout_preview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

template <typename T>
T* named(T* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

}  // namespace

TBsszF::TBsszF(const QString& user, const QStringList& typeNames, QWidget* parent)
    : QDialog(parent), user_(user), initial_(PrintLayout::load(user))
{
    setObjectName(QStringLiteral("TBsszF"));
    setWindowTitle(QStringLiteral("版式"));
    RadioBz = named(new QRadioButton(QStringLiteral("标准"), this), "RadioBz");
    RadioKs = named(new QRadioButton(QStringLiteral("考试用卷"), this), "RadioKs");
    GroupKs = named(new QGroupBox(QStringLiteral("考试用卷"), this), "GroupKs");
    RadioJt = named(new QRadioButton(QStringLiteral("卷头填写栏（学校、班级、姓名、考号）"), GroupKs), "RadioJt");
    RadioMfx = named(new QRadioButton(QStringLiteral("密封线（奇数页左侧）"), GroupKs), "RadioMfx");
    ComboZz = named(new QComboBox(GroupKs), "ComboZz");
    ComboZz->addItems({QStringLiteral("A4 纵向"), QStringLiteral("A3 横向两栏"), QStringLiteral("B4 横向两栏")});
    ComboDa = named(new QComboBox(GroupKs), "ComboDa");
    ComboDa->addItems({QStringLiteral("附在试卷末尾"), QStringLiteral("另存为“标题（参考答案）.docx”")});
    MemoZysx = named(new QPlainTextEdit(GroupKs), "MemoZysx");
    TableDtkj = named(new QTableWidget(int(typeNames.size()), 2, GroupKs), "TableDtkj");
    TableDtkj->setHorizontalHeaderLabels({QStringLiteral("题型"), QStringLiteral("每题后空行数")});
    TableDtkj->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    TableDtkj->verticalHeader()->hide();
    for (int row = 0; row < typeNames.size(); ++row) {
        auto* name = new QTableWidgetItem(typeNames.at(row));
        name->setFlags(Qt::ItemIsEnabled);
        TableDtkj->setItem(row, 0, name);
        auto* lines = new QSpinBox(TableDtkj);
        lines->setRange(0, 60);
        lines->setValue(initial_.answerLines.value(typeNames.at(row)));
        TableDtkj->setCellWidget(row, 1, lines);
    }
    CheckThlx = named(new QCheckBox(QStringLiteral("题号连续编排"), GroupKs), "CheckThlx");
    CheckDfpj = named(new QCheckBox(QStringLiteral("每大题前加得分评卷人栏"), GroupKs), "CheckDfpj");
    BtnQd = named(new QPushButton(QStringLiteral("确定"), this), "BtnQd");
    BtnQx = named(new QPushButton(QStringLiteral("取消"), this), "BtnQx");

    (initial_.kind == PrintLayout::Exam ? RadioKs : RadioBz)->setChecked(true);
    (initial_.candidate == PrintLayout::SealLine ? RadioMfx : RadioJt)->setChecked(true);
    ComboZz->setCurrentIndex(int(initial_.size));
    ComboDa->setCurrentIndex(int(initial_.answerKey));
    MemoZysx->setPlainText(initial_.notes);
    CheckThlx->setChecked(initial_.continuousNumbers);
    CheckDfpj->setChecked(initial_.scoreBoxes);
    GroupKs->setEnabled(initial_.kind == PrintLayout::Exam);
    connect(RadioKs, &QRadioButton::toggled, GroupKs, &QWidget::setEnabled);
    connect(BtnQd, &QPushButton::clicked, this, [this] { BtnQdClick(); });
    connect(BtnQx, &QPushButton::clicked, this, &QDialog::reject);

    auto* kinds = new QHBoxLayout;
    kinds->addWidget(new QLabel(QStringLiteral("版式："), this));
    kinds->addWidget(RadioBz);
    kinds->addWidget(RadioKs);
    kinds->addStretch();
    auto* candidate = new QHBoxLayout;
    candidate->addWidget(RadioJt);
    candidate->addWidget(RadioMfx);
    auto* form = new QFormLayout(GroupKs);
    form->addRow(QStringLiteral("考生信息："), candidate);
    form->addRow(QStringLiteral("纸张："), ComboZz);
    form->addRow(QStringLiteral("参考答案："), ComboDa);
    auto* numbering = new QHBoxLayout;
    numbering->addWidget(CheckThlx);
    numbering->addWidget(CheckDfpj);
    numbering->addStretch();
    form->addRow(QStringLiteral("题号与评分："), numbering);
    form->addRow(QStringLiteral("注意事项："), MemoZysx);
    form->addRow(QStringLiteral("答题空白："), TableDtkj);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BtnQd);
    buttons->addWidget(BtnQx);
    auto* body = new QHBoxLayout;
    body->addWidget(GroupKs, 1);
    body->addWidget(createPreview());
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(kinds);
    layout->addLayout(body, 1);
    layout->addLayout(buttons);
    resize(780, 560);
}

QWidget* TBsszF::createPreview()
{
    Preview = new LayoutPreview(this);
    Preview->setFixedWidth(240);
    Preview->setPrintLayout(layout());
    const auto redraw = [this] { Preview->setPrintLayout(layout()); };
    connect(RadioKs, &QRadioButton::toggled, Preview, redraw);
    connect(RadioMfx, &QRadioButton::toggled, Preview, redraw);
    connect(ComboZz, &QComboBox::currentIndexChanged, Preview, redraw);
    connect(MemoZysx, &QPlainTextEdit::textChanged, Preview, redraw);
    return Preview;
}

PrintLayout TBsszF::layout() const
{
    PrintLayout result = initial_;
    result.kind = RadioKs->isChecked() ? PrintLayout::Exam : PrintLayout::Standard;
    result.candidate = RadioMfx->isChecked() ? PrintLayout::SealLine : PrintLayout::HeaderBlock;
    result.size = PrintLayout::PaperSize(qBound(0, ComboZz->currentIndex(), 2));
    result.answerKey = ComboDa->currentIndex() == 1 ? PrintLayout::KeySeparateFile : PrintLayout::KeyAtEnd;
    result.notes = MemoZysx->toPlainText();
    result.continuousNumbers = CheckThlx->isChecked();
    result.scoreBoxes = CheckDfpj->isChecked();
    // Types not shown here keep the lines set for them before.
    for (int row = 0; row < TableDtkj->rowCount(); ++row) {
        const QString type = TableDtkj->item(row, 0)->text();
        const int lines = static_cast<QSpinBox*>(TableDtkj->cellWidget(row, 1))->value();
        if (lines > 0) {
            result.answerLines.insert(type, lines);
        } else {
            result.answerLines.remove(type);
        }
    }
    return result;
}

void TBsszF::BtnQdClick()
{
    layout().save(user_);
    accept();
}
