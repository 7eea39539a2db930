#pragma once
#include <QString>

class QLabel;
class QPushButton;
class QWidget;

// Controls made the way every window makes them: named by their objectName, which the tests and
// the help pictures find them by.
namespace ui {

QLabel* makeLabel(const QString& text, QWidget* parent, const QString& name);

// A push button that never becomes a dialog's default button: Enter in a field of the window does
// not press it.
QPushButton* makeButton(const QString& text, QWidget* parent, const QString& name);

}  // namespace ui
