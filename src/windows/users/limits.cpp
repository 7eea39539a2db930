#include "windows/users/limits.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/message_box.h"
#include "data/passwords.h"

namespace users {

void limitLikeLoginWindow(QLineEdit* name, std::initializer_list<QLineEdit*> passwords)
{
    if (name) name->setMaxLength(passwords::kMaxUserNameLength);
    for (QLineEdit* edit : passwords) edit->setMaxLength(passwords::kMaxPasswordLength);
}

void showPasswordAsStars(std::initializer_list<QLineEdit*> passwords)
{
    for (QLineEdit* edit : passwords) {
        edit->setEchoMode(QLineEdit::Password);
        edit->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    }
}

bool fitsLoginWindow(const QString* name, const QString& password, QWidget* parent)
{
    // The edits stop at these lengths already; text can still arrive longer from an input method
    // or from code, and a stored overlong value would lock the user out for good.
    if (name && name->size() > passwords::kMaxUserNameLength) {
        MsgBox::show(QStringLiteral("用户名最多 %1 个字符（登录窗口只接受 %1 个字符），请重新输入！")
                         .arg(passwords::kMaxUserNameLength),
                     parent);
        return false;
    }
    if (password.size() > passwords::kMaxPasswordLength) {
        MsgBox::show(
            QStringLiteral("密码最多 %1 个字符（登录窗口只接受 %1 个字符），请重新输入！").arg(passwords::kMaxPasswordLength),
            parent);
        return false;
    }
    return true;
}

QLabel* label(QWidget* dialog, const char* name, const QString& text)
{
    auto* l = new QLabel(text, dialog);
    l->setObjectName(QLatin1String(name));
    return l;
}

QLineEdit* edit(QWidget* dialog, const char* name, bool password)
{
    auto* e = new QLineEdit(dialog);
    e->setObjectName(QLatin1String(name));
    if (password) showPasswordAsStars({e});
    return e;
}

void confirmButtons(QWidget* dialog, QPushButton*& confirm, QPushButton*& cancel)
{
    confirm = new QPushButton(QStringLiteral("确认"), dialog);
    confirm->setObjectName(QStringLiteral("BtnQr"));
    cancel = new QPushButton(QStringLiteral("取消"), dialog);
    cancel->setObjectName(QStringLiteral("BtnQx"));
    for (QPushButton* b : {confirm, cancel}) {
        b->setAutoDefault(true);
        b->setDefault(false);
    }
}

}  // namespace users
