#include "windows/users/reset_password.h"

#include "ui/key_filters.h"
#include "ui/message_box.h"
#include "data/data_module.h"
#include "data/passwords.h"
#include "data/server_roles.h"
#include "windows/users/limits.h"
#include "windows/users/placement.h"
#include "ui/handler.h"
#include "content/fonts.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

TCzmmF::TCzmmF(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("CzmmF"));
    setWindowTitle(QStringLiteral("重置密码"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFont(fonts::song(15));
    setFixedSize(340, 183);

    Label1 = users::label(this, "Label1", QStringLiteral("用户名  "));
    LabelYhm = users::label(this, "LabelYhm", QString());
    Label3 = users::label(this, "Label3", QStringLiteral("输入新密码  "));
    Label4 = users::label(this, "Label4", QStringLiteral("确认新密码  "));

    EditXmm1 = users::edit(this, "EditXmm1", true);
    EditXmm2 = users::edit(this, "EditXmm2", true);
    users::limitLikeLoginWindow(nullptr, {EditXmm1, EditXmm2});

    users::confirmButtons(this, BtnQr, BtnQx);
    setTabOrder(EditXmm1, EditXmm2);
    setTabOrder(EditXmm2, BtnQr);
    setTabOrder(BtnQr, BtnQx);
    keys::moveFocusOnEnter({EditXmm1, EditXmm2, BtnQr});

    connect(BtnQr, &QPushButton::clicked, this, ui::guard([this] { BtnQrClick(); }));
    connect(BtnQx, &QPushButton::clicked, this, ui::guard([this] { BtnQxClick(); }));
    FormCreate();
}

void TCzmmF::FormCreate()
{
    Label1->setGeometry(80, 30, 61, 17);
    LabelYhm->setGeometry(146, 30, 61, 17);
    Label3->setGeometry(50, 63, 91, 17);
    Label4->setGeometry(50, 95, 91, 17);
    EditXmm1->setGeometry(146, 59, 121, 25);
    EditXmm2->setGeometry(146, 91, 121, 25);
    BtnQr->setGeometry(68, 136, 75, 25);
    BtnQx->setGeometry(188, 136, 75, 25);
}

void TCzmmF::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    users::centreOverMainWindow(this);
    ui::load(this, [this] { FormShow(); });
}

void TCzmmF::FormShow()
{
    Dataset* mmb = DM->AdoMmb;
    LabelYhm->setText(mmb->recNo() >= 0 ? mmb->str(QStringLiteral("yhm")) : QString());
    LabelYhm->resize(std::max(61, LabelYhm->sizeHint().width()), LabelYhm->height());
    EditXmm1->setFocus();
}

void TCzmmF::BtnQrClick()
{
    Dataset* mmb = DM->AdoMmb;
    if (mmb->recNo() < 0) {
        MsgBox::show(QStringLiteral("密码表为空！"), this);
        return;
    }
    const QString password = EditXmm1->text();
    if (!users::fitsLoginWindow(nullptr, password, this)) return;
    if (password != EditXmm2->text()) {
        MsgBox::show(QStringLiteral("两次输入的新密码不一致！"), this);
        return;
    }
    if (DM->isServer()) {
        // The server keeps the password of the user's role; mmb holds none.
        if (password.isEmpty()) {
            MsgBox::show(QStringLiteral("服务器上的用户必须设置密码，请输入新密码！"), this);
            return;
        }
        server_roles::setPassword(DM->db(), mmb->str(QStringLiteral("yhm")), password);
        close();
        return;
    }
    const QString stored = passwords::hash(password);  // before the row is opened: hashing may fail
    mmb->edit();
    mmb->fieldByName(QStringLiteral("mm")).setAsString(stored);
    mmb->post();
    close();
}

void TCzmmF::BtnQxClick()
{
    close();
}
