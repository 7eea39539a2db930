#include "bank/question_entry.h"

TLrstF::TLrstF(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("LrstF"));
    setWindowTitle(QStringLiteral("录入试题"));
}
