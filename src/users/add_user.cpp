#include "users/add_user.h"

TTjyhF::TTjyhF(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TjyhF"));
    setWindowTitle(QStringLiteral("添加用户"));
}
