#include "bank/subject_settings.h"

TKmszF::TKmszF(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("KmszF"));
    setWindowTitle(QStringLiteral("科目设置"));
}
