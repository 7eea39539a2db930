#include "windows/users/user_admin.h"

#include "ui/db_grid.h"
#include "ui/forms.h"
#include "ui/message_box.h"
#include "data/data_module.h"
#include "data/server_roles.h"
#include "data/sql.h"
#include "windows/users/add_user.h"
#include "windows/users/change_password.h"
#include "windows/users/limits.h"
#include "windows/users/placement.h"
#include "windows/users/reset_password.h"
#include "ui/handler.h"
#include "content/fonts.h"
#include "data/current_user.h"

#include <QPushButton>
#include <QShowEvent>

TMmszF::TMmszF(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("MmszF"));
    setWindowTitle(QStringLiteral("密码设置"));
    // System menu only: a close box, no minimise, maximise or help button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFont(fonts::song(15));
    setFixedSize(422, 250);

    DBGrid1 = new DBGrid(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setDataset(DM->AdoMmb, {{QStringLiteral("YHM"), QStringLiteral("用户名"), 113},
                                     {QStringLiteral("BZ"), QStringLiteral("权限描述"), 129}});
    // Names and descriptions are typed over in place; the password column is never part of the grid.
    DBGrid1->datasetModel()->editable = true;
    DBGrid1->datasetModel()->validate = [this](int row, const QString& field, const QString& text) {
        return acceptGridEdit(row, field, text);
    };
    DBGrid1->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                             QAbstractItemView::AnyKeyPressed);

    auto button = [this](const char* name, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        b->setDefault(false);
        return b;
    };
    BtnTjyh = button("BtnTjyh", QStringLiteral("添加用户"));
    BtnScyh = button("BtnScyh", QStringLiteral("删除用户"));
    BtnXgmm = button("BtnXgmm", QStringLiteral("修改密码"));
    BtnGbck = button("BtnGbck", QStringLiteral("关闭窗口"));
    // A super user may set a forgotten password without the old one.
    BtnCzmm = button("BtnCzmm", QStringLiteral("重置密码"));
    BtnCzmm->setVisible(current_user::level() == 3);

    connect(BtnTjyh, &QPushButton::clicked, this, ui::guard([this] { BtnTjyhClick(); }));
    connect(BtnScyh, &QPushButton::clicked, this, ui::guard([this] { BtnScyhClick(); }));
    connect(BtnXgmm, &QPushButton::clicked, this, ui::guard([this] { BtnXgmmClick(); }));
    connect(BtnCzmm, &QPushButton::clicked, this, ui::guard([this] { BtnCzmmClick(); }));
    connect(BtnGbck, &QPushButton::clicked, this, ui::guard([this] { BtnGbckClick(); }));
    FormCreate();
}

void TMmszF::FormCreate()
{
    DBGrid1->setGeometry(28, 32, 277, 137);
    BtnTjyh->setGeometry(319, 64, 75, 25);
    BtnScyh->setGeometry(323, 128, 75, 25);
    BtnXgmm->setGeometry(79, 200, 75, 25);
    BtnGbck->setGeometry(232, 200, 75, 25);
    BtnCzmm->setGeometry(321, 96, 75, 25);
}

void TMmszF::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) users::centreOverMainWindow(this);
}

bool TMmszF::acceptGridEdit(int row, const QString& field, const QString& text)
{
    if (field.compare(QLatin1String("yhm"), Qt::CaseInsensitive) != 0) return true;
    if (text.isEmpty()) {
        MsgBox::show(QStringLiteral("用户名不能为空！"), this);
        return false;
    }
    if (!users::fitsLoginWindow(&text, QString(), this)) return false;
    // Two users with one name would make the login check ambiguous.
    const qint64 id = DM->AdoMmb->idAt(row);
    const int others =
        sql::scalar(DM->db(), QStringLiteral("SELECT COUNT(*) FROM mmb WHERE yhm=? AND id<>?"), {text, id}).toInt();
    if (others > 0) {
        MsgBox::show(QStringLiteral("此用户名已存在，请重新输入用户名！"), this);
        return false;
    }
    // On a server the name is the user's login role: it is given when the user is added.
    if (DM->isServer() &&
        text != sql::scalar(DM->db(), QStringLiteral("SELECT yhm FROM mmb WHERE id=?"), {id})) {
        MsgBox::show(QStringLiteral("服务器上的用户名不能修改，请添加新用户后删除原用户！"), this);
        return false;
    }
    return true;
}

bool TMmszF::currentIsLastSuperUser()
{
    Dataset* mmb = DM->AdoMmb;
    bool ok = false;
    if (mmb->str(QStringLiteral("qx")).trimmed().toInt(&ok) != 3 || !ok) return false;
    const int others = sql::scalar(DM->db(), QStringLiteral("SELECT COUNT(*) FROM mmb WHERE TRIM(qx)=? AND id<>?"),
                                   {QStringLiteral("3"), mmb->currentId()})
                           .toInt();
    return others == 0;
}

void TMmszF::BtnTjyhClick()
{
    auto* dialog = new TTjyhF(this);
    TjyhF = dialog;
    dialog->exec();
    if (!ui::terminating()) dialog->deleteLater();
}

void TMmszF::BtnScyhClick()
{
    Dataset* mmb = DM->AdoMmb;
    if (mmb->isEmpty()) {
        MsgBox::show(QStringLiteral("密码表为空！"), this);
        return;
    }
    // Without a super user nobody could reach user administration again.
    if (currentIsLastSuperUser()) {
        MsgBox::show(QStringLiteral("不能删除最后一个超级用户！"), this);
        return;
    }
    const QString name = mmb->str(QStringLiteral("yhm"));
    if (!MsgBox::confirmDestructive(QStringLiteral("请确认是否删除用户名为“") + name + QStringLiteral("”的用户！"),
                                    this))
        return;
    if (DM->isServer()) {
        // The server removes the row and the user's role together.
        const int at = mmb->recNo();
        server_roles::removeUser(DM->db(), name);
        mmb->refresh();
        // As after a deletion in a file: the following row, or the one before the last.
        if (!mmb->isEmpty()) {
            mmb->last();
            if (at < mmb->recNo()) mmb->setRecNo(at);
        }
        return;
    }
    mmb->remove();
}

void TMmszF::BtnXgmmClick()
{
    // With no user there is nobody whose password could be changed.
    if (DM->AdoMmb->isEmpty()) {
        MsgBox::show(QStringLiteral("密码表为空！"), this);
        return;
    }
    auto* dialog = new TXgmmF(this);
    XgmmF = dialog;
    dialog->exec();
    if (!ui::terminating()) dialog->deleteLater();
}

void TMmszF::BtnCzmmClick()
{
    if (current_user::level() != 3) return;
    if (DM->AdoMmb->isEmpty()) {
        MsgBox::show(QStringLiteral("密码表为空！"), this);
        return;
    }
    auto* dialog = new TCzmmF(this);
    dialog->exec();
    if (!ui::terminating()) dialog->deleteLater();
}

void TMmszF::BtnGbckClick()
{
    close();
}
