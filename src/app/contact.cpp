#include "app/contact.h"

#include "ui/artwork.h"
#include "content/fonts.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TLxwmF::TLxwmF(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("LxwmF"));
    setWindowTitle(QStringLiteral("联系我们"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFont(fonts::song(14));
    setFixedSize(420, 400);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(166, 202, 240));
    setPalette(pal);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 12);
    auto* banner = new QLabel(this);
    banner->setObjectName(QStringLiteral("Image1"));
    banner->setPixmap(artwork::banner(420));
    layout->addWidget(banner);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(28, 8, 28, 0);
    body->setSpacing(6);
    auto* heading = new QLabel(QStringLiteral("联系我们：  "), this);
    heading->setFont(fonts::song(16, true));
    body->addWidget(heading);
    const QString lines[] = {
        QStringLiteral("地　　址：江苏省南京市鼓楼区汉中路 108 号 Exavoro 工作室"),
        QStringLiteral("邮　　编：210029"),
        QStringLiteral("电子邮件：support@exavoro.example"),
        QStringLiteral("手　　机：139 0000 0000"),
        QStringLiteral("联 系 人：陈老师"),
    };
    for (const QString& line : lines) {
        // A line wider than the window (the address) wraps onto the next line instead of being cut.
        auto* label = new QLabel(line, this);
        label->setWordWrap(true);
        body->addWidget(label);
    }
    body->addSpacing(8);
    auto* note = new QLabel(QStringLiteral("本工作室承接各类管理软件的定制开发，\n"
                                           "可根据学校与考试机构的需要修改本软件，\n"
                                           "欢迎来电来函洽谈。"),
                            this);
    note->setObjectName(QStringLiteral("LabelNote"));
    body->addWidget(note);
    layout->addLayout(body);
    layout->addStretch();

    BtnQr = new QPushButton(QStringLiteral("确认"), this);
    BtnQr->setObjectName(QStringLiteral("BtnQr"));
    BtnQr->setDefault(true);
    BtnQr->setFixedWidth(90);
    connect(BtnQr, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(BtnQr, 0, Qt::AlignHCenter);
}
