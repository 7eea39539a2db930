#pragma once
#include "ui/navigator.h"

#include <QWidget>

namespace users {

// The user dialogs open centred over the program's current main window (or over their owner
// while no main window is shown).
inline void centreOverMainWindow(QWidget* dialog)
{
    QWidget* anchor = ui::navigator().mainWindow();
    if (!anchor) anchor = dialog->parentWidget();
    if (!anchor) return;
    anchor = anchor->window();
    const QPoint centre = anchor->mapToGlobal(anchor->rect().center());
    dialog->move(centre - QPoint(dialog->width() / 2, dialog->height() / 2));
}

}  // namespace users
