#include "app/key_filters.h"

#include "app/platform.h"

#include <QKeyEvent>

namespace keys {

bool refuseNonDigit(const QKeyEvent* event)
{
    const QString text = event->text();
    if (text.isEmpty()) return false;
    switch (event->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        return false;
    default:
        break;
    }
    if (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) return false;
    if (text.size() == 1 && text.at(0) >= QLatin1Char('0') && text.at(0) <= QLatin1Char('9')) return false;
    platform::beep();
    return true;
}

}  // namespace keys
