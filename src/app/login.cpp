#include "app/login.h"

#include <QCloseEvent>
#include <QDir>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "app/application.h"
#include "app/backup_actions.h"
#include "ui/busy.h"
#include "ui/forms.h"
#include "app/main_window.h"
#include "ui/message_box.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "data/passwords.h"
#include "data/server_roles.h"
#include "data/sql.h"
#include "ui/handler.h"
#include "content/fonts.h"
#include "data/current_user.h"

TDLF::TDLF(QWidget* parent, bool startup) : QDialog(parent), startup_(startup)
{
    setObjectName(QStringLiteral("DLF"));
    setWindowTitle(QStringLiteral("登录"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFont(fonts::song(12));
    setFixedSize(327, 186);

    Label1 = new QLabel(QStringLiteral("欢迎使用本软件   "), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::StyledPanel);
    Panel1->setFrameShadow(QFrame::Raised);
    Label2 = new QLabel(QStringLiteral("用户名  "), Panel1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label3 = new QLabel(QStringLiteral("密码  "), Panel1);
    Label3->setObjectName(QStringLiteral("Label3"));
    EditYhm = new QLineEdit(Panel1);
    EditYhm->setObjectName(QStringLiteral("EditYhm"));
    EditYhm->setMaxLength(passwords::kMaxUserNameLength);
    EditMm = new QLineEdit(Panel1);
    EditMm->setObjectName(QStringLiteral("EditMm"));
    EditMm->setMaxLength(passwords::kMaxPasswordLength);
    EditMm->setEchoMode(QLineEdit::Password);
    BtnQx = new QPushButton(QStringLiteral("取消"), Panel1);
    BtnQx->setObjectName(QStringLiteral("BtnQx"));
    BtnQd = new QPushButton(QStringLiteral("确定"), Panel1);
    BtnQd->setObjectName(QStringLiteral("BtnQd"));
    for (QPushButton* b : {BtnQx, BtnQd}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    // Which bank a login opens: the file, or the exam office's server.
    LabelBank = new QLabel(this);
    LabelBank->setObjectName(QStringLiteral("LabelBank"));
    LabelBank->setFont(fonts::song(11));
    setTabOrder(EditYhm, EditMm);
    setTabOrder(EditMm, BtnQx);
    setTabOrder(BtnQx, BtnQd);
    EditYhm->installEventFilter(this);
    EditMm->installEventFilter(this);

    connect(BtnQd, &QPushButton::clicked, this, ui::guard([this] { BtnQdClick(); }));
    connect(BtnQx, &QPushButton::clicked, this, ui::guard([this] { BtnQxClick(); }));
    FormCreate();

    ui::centreOnScreen(this);
}

void TDLF::FormCreate()
{
    Label1->setGeometry(31, 16, 129, 15);
    Panel1->setGeometry(31, 40, 265, 121);
    Label2->setGeometry(32, 16, 61, 15);
    Label3->setGeometry(47, 48, 46, 15);
    EditYhm->setGeometry(96, 12, 121, 23);
    EditMm->setGeometry(96, 44, 121, 23);
    BtnQd->setGeometry(40, 80, 75, 25);
    BtnQx->setGeometry(150, 80, 75, 25);
    LabelBank->setGeometry(31, 166, 265, 16);
    showBank();
}

void TDLF::showBank()
{
    const engine::Location bank = app::bankLocation();
    const QString where = bank.isServer() ? QStringLiteral("服务器 ") + bank.describe()
                                          : QDir::current().relativeFilePath(bank.file);
    const QString text = QStringLiteral("题库：") + where;
    LabelBank->setText(LabelBank->fontMetrics().elidedText(text, Qt::ElideMiddle, LabelBank->width()));
    LabelBank->setToolTip(QStringLiteral("题库：") + bank.describe());
}

bool TDLF::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == EditYhm) {
                EditMm->setFocus();
                return true;
            }
            if (watched == EditMm) {
                BtnQd->setFocus();
                ui::run([this] { BtnQdClick(); });
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TDLF::keyPressEvent(QKeyEvent* event)
{
    // Escape would reject the dialog silently; the window closes only by its buttons or close box.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TDLF::closeEvent(QCloseEvent* event)
{
    if (startup_ && !ui::terminating()) ui::terminate();
    QDialog::closeEvent(event);
}

void TDLF::ConnectDB()
{
    // Opening is at once, except for an upgrade or the search for unused pictures of a large bank.
    ui::Busy busy(QStringLiteral("正在打开题库……"), this, false);
    DM->connectToBank(app::bankLocation());
}

int TDLF::serverLogin(const QString& name, const QString& password)
{
    const engine::Location bank = app::bankLocation();
    // PostgreSQL takes no empty password; nothing is looked up in ~/.pgpass for a user either.
    if (name.isEmpty() || password.isEmpty()) return 0;
    const engine::Credentials who{
        server_roles::userRole(server_roles::prefixFor(engine::serverDatabase(bank.server)), name), password};
    try {
        ui::Busy busy(QStringLiteral("正在打开题库……"), this, false);
        DM->connectToBank(bank, &who);
    } catch (const DataError& e) {
        if (e.code() == QLatin1String("28P01")) return 0;  // the server refused the name or password
        throw;
    }
    // The server's groups give the level; mmb must still name the user.
    const int rows = sql::scalar(DM->db(), QStringLiteral("SELECT count(*) FROM mmb WHERE yhm=?"), {name}).toInt();
    return rows > 0 ? server_roles::levelOfSession(DM->db()) : 0;
}

void TDLF::BtnQdClick()
{
    auto* main = new TMainF(this);
    MainF = main;
    const QString name = EditYhm->text();
    const QString password = EditMm->text();

    if (app::bankLocation().isServer()) {
        // On a server the user logs in as their own database role: the server checks the password
        // and its groups hold the level.
        const int level = serverLogin(name, password);
        main->applyPermissions(level);
        if (level >= 1 && level <= 3) {
            current_user::level() = level;
            current_user::name() = name;
            enterMainWindow(main);
            return;
        }
        refuse(main);
        return;
    }

    ConnectDB();  // a failure ends the attempt here, before any check or count

    // Every row is looked at; with several matches the last one decides.
    int level = 0;
    int decidingRow = -1;
    bool decidingPlain = false;
    bool verified = false;
    Dataset* mmb = DM->AdoMmb;
    mmb->first();
    while (!mmb->eof()) {
        const QString stored = mmb->str(QStringLiteral("mm"));
        if (mmb->str(QStringLiteral("yhm")) == name) {
            verified = verified || passwords::isHash(stored);
            if (passwords::matches(stored, password)) {
                bool ok = false;
                level = mmb->str(QStringLiteral("qx")).trimmed().toInt(&ok);
                if (!ok) level = -1;
                decidingRow = mmb->recNo();
                decidingPlain = !passwords::isHash(stored);
            }
        }
        mmb->next();
    }
    // An unknown name costs one hash verification too, so the time taken does not tell which
    // names exist.
    if (!verified) passwords::verifyAgainstDummy(password);
    // Only the three known levels admit a user; anything else fails like a wrong password.
    if (level < 1 || level > 3) level = 0;

    main->applyPermissions(level);
    if (level != 0) {
        current_user::level() = level;
        current_user::name() = name;
        if (decidingPlain) {
            // An older file's plain-text password is replaced by its hash once it has been proven.
            mmb->setRecNo(decidingRow);
            mmb->edit();
            mmb->fieldByName(QStringLiteral("mm")).setAsString(passwords::hash(password));
            mmb->post();
        }
        enterMainWindow(main);
        return;
    }
    refuse(main);
}

void TDLF::enterMainWindow(TMainF* main)
{
    hide();
    // The day's first automatic backup runs once the main window is up.
    QTimer::singleShot(0, main, [main] { ui::run([main] { backupui::automaticBackupAfterLogin(main); }); });
    main->showModal();
}

void TDLF::refuse(TMainF* main)
{
    MsgBox::show(QStringLiteral("您输入的用户名与密码不正确！"), this);
    ++app::failedLogins();
    if (app::failedLogins() >= 3) {
        // The main window opens with every function disabled; its status bar says why.
        main->StatusPanels[0]->setText(
            QStringLiteral("登录已失败三次，所有管理功能均已禁用。请点击“注销”以正确的用户名与密码重新登录。"));
        hide();
        main->showModal();
    }
}

void TDLF::BtnQxClick()
{
    ui::terminate();
    close();
}
