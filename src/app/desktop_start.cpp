#include "app/desktop_start.h"

#include <QDir>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>

#include "app/login.h"
#include "ui/message_box.h"
#include "data/data_module.h"
#include "demo/demo.h"
#include "data/errors.h"
#include "data/passwords.h"

namespace desktop {

namespace {

// Asks for a text; false when the user cancelled.
bool ask(const QString& label, QLineEdit::EchoMode echo, int maxLength, QString* value)
{
    QInputDialog dialog;
    dialog.setObjectName(QStringLiteral("FirstStartInput"));
    dialog.setWindowTitle(QStringLiteral("新建题库"));
    dialog.setLabelText(label);
    dialog.setTextEchoMode(echo);
    dialog.setOkButtonText(QStringLiteral("确定"));
    dialog.setCancelButtonText(QStringLiteral("取消"));
    if (auto* edit = dialog.findChild<QLineEdit*>()) edit->setMaxLength(maxLength);
    if (dialog.exec() != QDialog::Accepted) return false;
    *value = dialog.textValue();
    return true;
}

// An empty bank with one super user whose name and password are asked for (password twice).
bool createEmptyBank(const QString& path)
{
    QString name;
    while (name.trimmed().isEmpty()) {
        if (!ask(QStringLiteral("超级用户的用户名："), QLineEdit::Normal, passwords::kMaxUserNameLength, &name)) return false;
    }
    while (true) {
        QString first, second;
        if (!ask(QStringLiteral("%1 的密码：").arg(name), QLineEdit::Password, passwords::kMaxPasswordLength, &first) ||
            !ask(QStringLiteral("请再次输入密码："), QLineEdit::Password, passwords::kMaxPasswordLength, &second)) {
            return false;
        }
        if (first == second) {
            demo::createDatabase(path, {{name, first, 3}});
            return true;
        }
        MsgBox::show(QStringLiteral("两次输入的密码不一致，请重新输入。"));
    }
}

}  // namespace

bool wanted(const QStringList& arguments)
{
    if (arguments.contains(QStringLiteral("--desktop"))) return true;
    const QFileInfo here(QDir::currentPath());
    return !here.isWritable() && !QDir(here.absoluteFilePath()).exists(QStringLiteral("Data"));
}

QString workFolder()
{
    return QDir::home().filePath(QStringLiteral("Exavoro"));
}

void prepare(const QString& folder)
{
    for (const QString& sub : {QStringLiteral("Data"), QStringLiteral("Papers")}) {
        if (!QDir().mkpath(QDir(folder).filePath(sub))) {
            throw AppError(QStringLiteral("无法建立工作文件夹“%1”。请检查主文件夹的写入权限。")
                               .arg(QDir::toNativeSeparators(QDir(folder).filePath(sub))));
        }
    }
    QDir::setCurrent(folder);
    const QString bank = TDM::defaultDatabasePath();
    if (QFileInfo::exists(bank)) return;
    QStringList accounts;
    for (const demo::Account& a : demo::accounts()) {
        accounts << QStringLiteral("%1 / %2（%3）").arg(a.name, a.password, demo::levelDescription(a.level));
    }
    const QString text = QStringLiteral(
                             "工作文件夹“%1”中还没有题库。\n可以新建示例题库（示例账户：%2），"
                             "或新建一个只有一个超级用户的空题库。")
                             .arg(QDir::toNativeSeparators(folder), accounts.join(QStringLiteral("，")));
    switch (MsgBox::choose(text, QStringLiteral("新建示例题库"), QStringLiteral("新建空题库"))) {
        case QMessageBox::Yes:
            demo::createDemoDatabase(bank);
            break;
        case QMessageBox::No:
            createEmptyBank(bank);
            break;
        default:
            break;
    }
}

}  // namespace desktop
