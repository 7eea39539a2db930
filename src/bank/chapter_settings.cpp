#include "bank/chapter_settings.h"

TZjxzF::TZjxzF(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ZjxzF"));
    setWindowTitle(QStringLiteral("章节设置"));
}
