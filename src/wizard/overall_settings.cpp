#include "wizard/overall_settings.h"

TZtszF::TZtszF(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ZtszF"));
    setWindowTitle(QStringLiteral("组卷向导--总体设置"));
}
