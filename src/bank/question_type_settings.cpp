#include "bank/question_type_settings.h"

TTxszF::TTxszF(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TxszF"));
    setWindowTitle(QStringLiteral("题型设置"));
}
