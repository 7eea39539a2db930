#include "wizard/detail_settings.h"

TXxszF::TXxszF(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("XxszF"));
    setWindowTitle(QStringLiteral("组卷向导--详细设置"));
}
