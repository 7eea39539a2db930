#pragma once
#include <QMessageBox>
#include <QString>
#include <QStringList>

class QWidget;

// The program's message boxes. All are QMessageBox instances shown modally over the active window.
// Every box is at least wide enough for a window manager to show its whole caption.
namespace MsgBox {

// A plain box: caption "Exavoro", the text, one OK button.
void show(const QString& text, QWidget* parent = nullptr);
// A confirmation: caption "确认框", question icon, OK and Cancel; true when OK was pressed.
bool confirm(const QString& text, QWidget* parent = nullptr);
// A confirmation of something that cannot be undone (a deletion): as confirm(), but Cancel is the
// default button, so an Enter pressed by habit changes nothing.
bool confirmDestructive(const QString& text, QWidget* parent = nullptr);
// A question answered 是 or 否: caption "确认框", question icon, 是 the default; true for 是.
bool askYesNo(const QString& text, QWidget* parent = nullptr);
// An error reported by the general error handler: caption "Exavoro", error icon, OK. A non-empty
// `detail` is kept below the text, shown on request (the box's detailed text).
void error(const QString& text, QWidget* parent = nullptr, const QString& detail = QString());

// A question with two answers besides 取消: caption "Exavoro", the Yes and No buttons carry the
// given texts, Yes is the default. Returns Yes, No or Cancel.
QMessageBox::StandardButton choose(const QString& text, const QString& yes, const QString& no,
                                   QWidget* parent = nullptr);

// A question with three answers: caption "确认框", Yes and No carry `yes` and `no`, a third button
// (QMessageBox::Save) carries `third`; Yes is the default and Escape answers No. Returns Yes, No
// or Save.
QMessageBox::StandardButton chooseOfThree(const QString& text, const QString& yes, const QString& no,
                                          const QString& third, QWidget* parent = nullptr);

// The narrowest a box may be: its caption plus the room a window manager's title bar takes for
// its icon and buttons.
int minimumWidth(const QString& caption);

// Texts of every box shown so far, oldest first (tests read them).
const QStringList& history();
void clearHistory();

}  // namespace MsgBox
