#pragma once
#include <QString>
#include <QStringList>

class QWidget;

// The program's message boxes. All are QMessageBox instances shown modally over the active window.
namespace MsgBox {

// A plain box: caption "Exavoro", the text, one OK button.
void show(const QString& text, QWidget* parent = nullptr);
// A confirmation: caption "确认框", question icon, OK and Cancel; true when OK was pressed.
bool confirm(const QString& text, QWidget* parent = nullptr);
// An error reported by the general error handler: caption "Exavoro", error icon, OK.
void error(const QString& text, QWidget* parent = nullptr);

// Texts of every box shown so far, oldest first (tests read them).
const QStringList& history();
void clearHistory();

}  // namespace MsgBox
