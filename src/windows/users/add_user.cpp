#include "windows/users/add_user.h"

#include "ui/key_filters.h"
#include "ui/message_box.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "data/numbering.h"
#include "data/passwords.h"
#include "data/server_roles.h"
#include "data/sql.h"
#include "windows/users/limits.h"
#include "windows/users/placement.h"
#include "ui/handler.h"
#include "content/fonts.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>

namespace {
// Item texts of the permission group; item i stores level i + 1 and its text as the description.
const char* const kLevelTexts[] = {"题库管理用户", "试卷管理用户", "超级用户"};
}  // namespace

TTjyhF::TTjyhF(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TjyhF"));
    setWindowTitle(QStringLiteral("添加用户"));
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFont(fonts::song(14));
    setFixedSize(466, 199);

    Label1 = users::label(this, "Label1", QStringLiteral("输入用户名  "));
    Label2 = users::label(this, "Label2", QStringLiteral("输入新密码  "));
    Label3 = users::label(this, "Label3", QStringLiteral("确认新密码  "));

    EditYhm = users::edit(this, "EditYhm", false);
    EditXmm1 = users::edit(this, "EditXmm1", true);
    EditXmm2 = users::edit(this, "EditXmm2", true);

    RGQX = new QGroupBox(QStringLiteral("权限设置"), this);
    RGQX->setObjectName(QStringLiteral("RGQX"));
    levels_ = new QButtonGroup(this);
    for (int i = 0; i < 3; ++i) {
        auto* item = new QRadioButton(QString::fromUtf8(kLevelTexts[i]), RGQX);
        item->setObjectName(QStringLiteral("RGQXItem%1").arg(i));
        item->setGeometry(12, 30 + i * 23, 130, 20);
        levels_->addButton(item, i);
        RGQXItems.append(item);
    }
    RGQXItems[0]->setChecked(true);

    users::confirmButtons(this, BtnQr, BtnQx);
    setTabOrder(EditYhm, EditXmm1);
    setTabOrder(EditXmm1, EditXmm2);
    setTabOrder(EditXmm2, RGQXItems[0]);
    setTabOrder(RGQXItems[0], BtnQr);
    setTabOrder(BtnQr, BtnQx);
    keys::moveFocusOnEnter({EditYhm, EditXmm1, EditXmm2, BtnQr});
    users::limitLikeLoginWindow(EditYhm, {EditXmm1, EditXmm2});

    connect(BtnQr, &QPushButton::clicked, this, ui::guard([this] { BtnQrClick(); }));
    connect(BtnQx, &QPushButton::clicked, this, ui::guard([this] { BtnQxClick(); }));
    FormCreate();
}

void TTjyhF::FormCreate()
{
    Label1->setGeometry(33, 40, 84, 14);
    Label2->setGeometry(33, 72, 84, 14);
    Label3->setGeometry(33, 104, 84, 14);
    EditYhm->setGeometry(117, 36, 121, 22);
    EditXmm1->setGeometry(117, 68, 121, 22);
    EditXmm2->setGeometry(117, 100, 121, 22);
    RGQX->setGeometry(281, 24, 153, 105);
    BtnQr->setGeometry(280, 152, 75, 25);
    BtnQx->setGeometry(369, 152, 75, 25);
}

void TTjyhF::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) users::centreOverMainWindow(this);
}

int TTjyhF::RGQXItemIndex() const
{
    return levels_->checkedId();
}

void TTjyhF::setRGQXItemIndex(int index)
{
    if (index >= 0 && index < RGQXItems.size()) RGQXItems[index]->setChecked(true);
}

void TTjyhF::BtnQrClick()
{
    const QString name = EditYhm->text();
    const QString password = EditXmm1->text();
    const QString repeated = EditXmm2->text();

    // Names compare exactly: a name differing only in letter case is another user.
    const int existing = sql::scalar(DM->db(), QStringLiteral("SELECT COUNT(*) FROM mmb WHERE yhm=?"), {name}).toInt();
    if (existing > 0) {
        MsgBox::show(QStringLiteral("此用户名已存在，请重新输入用户名！"), this);
        return;
    }
    if (!users::fitsLoginWindow(&name, password, this)) return;
    if (password != repeated) {
        MsgBox::show(QStringLiteral("两次输入的新密码不一致，请重试！"), this);
        return;
    }
    const int index = std::max(0, RGQXItemIndex());
    if (DM->isServer()) {
        // The server makes the user a login role of the chosen level; it keeps the password.
        if (password.isEmpty()) {
            MsgBox::show(QStringLiteral("服务器上的用户必须设置密码，请输入新密码！"), this);
            return;
        }
        try {
            server_roles::addUser(DM->db(), name, password, index + 1);
        } catch (const DataError& error) {
            DM->AdoMmb->refresh();
            if (!error.uniqueViolation()) throw;
            MsgBox::show(QStringLiteral("此用户名已存在，请重新输入用户名！"), this);
            return;
        }
        DM->AdoMmb->refresh();
        DM->AdoMmb->last();
        close();
        return;
    }
    const QString stored = passwords::hash(password);  // before the row is opened: hashing may fail

    try {
        numbering::appendRow(DM->AdoMmb, {{QStringLiteral("yhm"), name},
                                          {QStringLiteral("mm"), stored},
                                          {QStringLiteral("qx"), QString::number(index + 1)},
                                          {QStringLiteral("bz"), QString::fromUtf8(kLevelTexts[index])}});
    } catch (const DataError& error) {
        // On a server another administrator may have added the same name a moment ago.
        if (!error.uniqueViolation()) throw;
        MsgBox::show(QStringLiteral("此用户名已存在，请重新输入用户名！"), this);
        return;
    }
    close();
}

void TTjyhF::BtnQxClick()
{
    close();
}
