#include "windows/content/picture_size_dialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/message_box.h"

namespace content {

PictureSizeDialog::PictureSizeDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PictureSizeDialog"));
    setWindowTitle(QStringLiteral("图片大小"));
    setModal(true);

    EditTpKd = new QLineEdit(this);
    EditTpKd->setObjectName(QStringLiteral("EditTpKd"));
    EditTpKd->setPlaceholderText(QStringLiteral("空白：按版式自动"));
    EditTpKd->setMaximumWidth(140);
    ComboTpDw = new QComboBox(this);
    ComboTpDw->setObjectName(QStringLiteral("ComboTpDw"));
    ComboTpDw->addItems({QStringLiteral("厘米"), QStringLiteral("% 行宽")});
    ComboTpWz = new QComboBox(this);
    ComboTpWz->setObjectName(QStringLiteral("ComboTpWz"));
    ComboTpWz->addItems({QStringLiteral("嵌入文字中/下方"), QStringLiteral("文字右侧")});

    auto* widthRow = new QHBoxLayout;
    widthRow->addWidget(EditTpKd);
    widthRow->addWidget(ComboTpDw);
    widthRow->addStretch();
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("宽度："), widthRow);
    form->addRow(QStringLiteral("位置："), ComboTpWz);
    auto* hint = new QLabel(QStringLiteral("不填宽度时，图片按版式自动缩放（考试用卷：不超过半栏宽、5 厘米高）。"), this);
    hint->setWordWrap(true);

    BtnOk = new QPushButton(QStringLiteral("确定"), this);
    BtnOk->setObjectName(QStringLiteral("BtnOk"));
    BtnCancel = new QPushButton(QStringLiteral("取消"), this);
    BtnCancel->setObjectName(QStringLiteral("BtnCancel"));
    BtnOk->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BtnOk);
    buttons->addWidget(BtnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(hint);
    layout->addLayout(buttons);
    connect(BtnOk, &QPushButton::clicked, this, &PictureSizeDialog::accept);
    connect(BtnCancel, &QPushButton::clicked, this, &PictureSizeDialog::reject);
    resize(360, sizeHint().height());
}

void PictureSizeDialog::setPlacement(const picture_refs::Placement& placement)
{
    EditTpKd->setText(placement.width == picture_refs::Placement::Natural ? QString()
                                                                          : QString::number(placement.amount, 'g', 4));
    ComboTpDw->setCurrentIndex(placement.width == picture_refs::Placement::Percent ? 1 : 0);
    ComboTpWz->setCurrentIndex(placement.right ? 1 : 0);
}

QString PictureSizeDialog::placementText() const
{
    QStringList parts;
    const QString width = EditTpKd->text().trimmed();
    if (!width.isEmpty()) parts << width + (ComboTpDw->currentIndex() == 1 ? QStringLiteral("%") : QStringLiteral("cm"));
    if (ComboTpWz->currentIndex() == 1) parts << picture_refs::kRight;
    return parts.join(u'|');
}

picture_refs::Placement PictureSizeDialog::placement() const
{
    return picture_refs::placementOf(placementText());
}

QString PictureSizeDialog::refusal() const
{
    picture_refs::Placement placement;
    return picture_refs::readPlacement(placementText(), &placement);
}

void PictureSizeDialog::accept()
{
    const QString refused = refusal();
    if (!refused.isEmpty()) {
        MsgBox::show(refused, this);
        EditTpKd->setFocus();
        EditTpKd->selectAll();
        return;
    }
    QDialog::accept();
}

}  // namespace content
