#pragma once
#include "app/forms.h"
#include "app/main_window.h"

#include <QWidget>

namespace users {

// The user dialogs open centred over the program's current main window (or over their owner
// while no main window is shown).
inline void centreOverMainWindow(QWidget* dialog)
{
    QWidget* anchor = MainF && MainF->isVisible() ? static_cast<QWidget*>(MainF.data()) : dialog->parentWidget();
    if (!anchor) return;
    anchor = anchor->window();
    const QPoint centre = anchor->mapToGlobal(anchor->rect().center());
    dialog->move(centre - QPoint(dialog->width() / 2, dialog->height() / 2));
}

}  // namespace users
