#include "users/change_password.h"

TXgmmF::TXgmmF(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("XgmmF"));
    setWindowTitle(QStringLiteral("修改密码"));
}
