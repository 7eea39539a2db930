#pragma once
#include <QString>
#include <functional>

class QWidget;

// How windows run their handlers: an error ends the action and is shown, never the program.
namespace ui {

// Places a window in the middle of the primary screen's free area.
void centreOnScreen(QWidget* window);

// Shows an error that ended the current action (data-layer and conversion errors). A database
// failure is explained in Chinese first; the database's own words and the statement stay
// available below it.
void reportError(const QString& text);

// What the user is told of an error text: `text` for the box, `detail` for below it (empty when
// there is nothing more). A data-layer text of the form "<database message>\n语句：<statement>",
// or one carrying a known SQLite message, gets a Chinese explanation as `text` and the original
// as `detail`; a message of the program's own comes back as it is.
struct ErrorReport {
    QString text;
    QString detail;
};
ErrorReport explainError(const QString& text);

// Runs an event handler; an AppError or other exception it raises ends the handler and is shown
// by the general error handler instead of ending the program.
// True when the handler ran to its end.
bool run(const std::function<void()>& handler);

// Runs a window's loading (its FormShow); when it fails, the error is shown and the window closes
// once the event that showed it has been handled, rather than staying half-filled.
void load(QWidget* window, const std::function<void()>& loading);

// Wraps a handler for connect(): the signal's arguments are ignored.
template <typename F>
auto guard(F handler)
{
    return [handler](auto&&...) { run(handler); };
}

// Ends the program: every running event loop, nested ones included, is left.
void terminate();
bool terminating();
void resetTermination();  // for tests that run several programs in one process
// Replaces the way terminate() leaves the running loops (tests close their dialogs instead,
// since telling the application to exit would also end every later loop of the test process).
void setTerminateHook(std::function<void()> hook);

}  // namespace ui
