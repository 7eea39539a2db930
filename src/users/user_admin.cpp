#include "users/user_admin.h"

TMmszF::TMmszF(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("MmszF"));
    setWindowTitle(QStringLiteral("密码设置"));
}
