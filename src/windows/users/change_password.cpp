#include "windows/users/change_password.h"

#include "ui/key_filters.h"
#include "ui/message_box.h"
#include "data/data_module.h"
#include "data/engine.h"
#include "data/errors.h"
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

TXgmmF::TXgmmF(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("XgmmF"));
    setWindowTitle(QStringLiteral("修改密码"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFont(fonts::song(15));
    setFixedSize(340, 215);

    Label1 = users::label(this, "Label1", QStringLiteral("用户名  "));
    LabelYhm = users::label(this, "LabelYhm", QString());
    Label2 = users::label(this, "Label2", QStringLiteral("输入旧密码  "));
    Label3 = users::label(this, "Label3", QStringLiteral("输入新密码  "));
    Label4 = users::label(this, "Label4", QStringLiteral("确认新密码  "));

    EditJmm = users::edit(this, "EditJmm", true);
    EditXmm1 = users::edit(this, "EditXmm1", true);
    EditXmm2 = users::edit(this, "EditXmm2", true);

    users::confirmButtons(this, BtnQr, BtnQx);
    setTabOrder(EditJmm, EditXmm1);
    setTabOrder(EditXmm1, EditXmm2);
    setTabOrder(EditXmm2, BtnQr);
    setTabOrder(BtnQr, BtnQx);
    keys::moveFocusOnEnter({EditJmm, EditXmm1, EditXmm2, BtnQr});
    users::limitLikeLoginWindow(nullptr, {EditXmm1, EditXmm2});

    connect(BtnQr, &QPushButton::clicked, this, ui::guard([this] { BtnQrClick(); }));
    connect(BtnQx, &QPushButton::clicked, this, ui::guard([this] { BtnQxClick(); }));
    FormCreate();
}

void TXgmmF::FormCreate()
{
    LabelYhm->setGeometry(146, 30, 61, 15);
    Label2->setGeometry(50, 63, 91, 15);
    Label3->setGeometry(50, 95, 91, 15);
    Label4->setGeometry(50, 127, 91, 15);
    Label1->setGeometry(80, 30, 61, 15);
    EditJmm->setGeometry(146, 59, 121, 23);
    EditXmm1->setGeometry(146, 91, 121, 23);
    EditXmm2->setGeometry(146, 123, 121, 23);
    BtnQr->setGeometry(68, 168, 75, 25);
    BtnQx->setGeometry(188, 168, 75, 25);
}

void TXgmmF::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    users::centreOverMainWindow(this);
    ui::load(this, [this] { FormShow(); });
}

void TXgmmF::FormShow()
{
    Dataset* mmb = DM->AdoMmb;
    LabelYhm->setText(mmb->recNo() >= 0 ? mmb->str(QStringLiteral("yhm")) : QString());
    // A long name widens the label to the right instead of being cut off.
    LabelYhm->resize(std::max(61, LabelYhm->sizeHint().width()), LabelYhm->height());
}

void TXgmmF::BtnQrClick()
{
    Dataset* mmb = DM->AdoMmb;
    if (mmb->recNo() < 0) {
        MsgBox::show(QStringLiteral("密码表为空！"), this);
        return;
    }
    const QString old = EditJmm->text();
    const QString password = EditXmm1->text();
    const QString repeated = EditXmm2->text();

    const bool server = DM->isServer();
    const QString name = mmb->str(QStringLiteral("yhm"));
    // A stored hash is verified; an empty or not yet upgraded plain-text password compares exactly.
    // On a server the server alone knows the password.
    if (!(server ? serverAccepts(name, old) : passwords::matches(mmb->str(QStringLiteral("mm")), old))) {
        MsgBox::show(QStringLiteral("输入的旧密码不正确！"), this);
        return;
    }
    if (!users::fitsLoginWindow(nullptr, password, this)) return;
    if (password != repeated) {
        MsgBox::show(QStringLiteral("两次输入的新密码不一致！"), this);
        return;
    }
    if (server) {
        changeOnServer(name, password);
        return;
    }
    const QString stored = passwords::hash(password);
    mmb->edit();
    mmb->fieldByName(QStringLiteral("mm")).setAsString(stored);
    mmb->post();
    close();
}

bool TXgmmF::serverAccepts(const QString& name, const QString& password)
{
    // The server alone knows the password: a connection of the user's own role proves it.
    if (password.isEmpty()) return false;
    const QString uri = DM->location().server;
    const engine::Credentials who{server_roles::userRole(server_roles::prefixFor(engine::serverDatabase(uri)), name),
                                  password};
    const QString connection = QStringLiteral("exavoro-password-check");
    bool accepted = true;
    try {
        engine::openServer(connection, uri, who);
    } catch (const DataError& e) {
        if (e.code() != QLatin1String("28P01")) {
            QSqlDatabase::removeDatabase(connection);
            throw;
        }
        accepted = false;
    }
    {
        QSqlDatabase db = QSqlDatabase::database(connection, false);
        engine::closeConnection(db);
    }
    QSqlDatabase::removeDatabase(connection);
    return accepted;
}

void TXgmmF::changeOnServer(const QString& name, const QString& password)
{
    if (password.isEmpty()) {
        MsgBox::show(QStringLiteral("服务器上的用户必须设置密码，请输入新密码！"), this);
        return;
    }
    server_roles::setPassword(DM->db(), name, password);
    close();
}

void TXgmmF::BtnQxClick()
{
    close();
}
