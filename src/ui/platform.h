#pragma once
#include <QString>

class QApplication;
class QWidget;

// The few places where the program meets the desktop: the beep, the keyboard's lock keys,
// opening a document in the user's word processor, the help window and the About box.
namespace platform {

void beep();
int beepCount();  // beeps sounded so far (tests read it)

struct LockKeys {
    bool num = false;
    bool insert = false;
    bool caps = false;
    bool scroll = false;
};
// Num, Caps and Scroll Lock from the X11 keyboard indicators (all off where there is no X11
// display); Insert from the program's own toggle, flipped by every Insert key press.
LockKeys lockKeys();
void installKeyTracking(QApplication& application);

// Asks the desktop to open a file with its default program; false when nothing could.
bool openDocument(const QString& path);

// The help window with the program's own help contents.
void showHelp(QWidget* parent);
// Builds the help window as the help buttons do, closes it again and prints one line to standard output: "help: "
// followed by the help's title, its length in characters and its first line. Returns 0 when the help has text. Lets an
// installation (and the tests) confirm that the program carries its help.
int selfCheck();
// The About box: icon, "Exavoro", version and the team.
void showAbout(QWidget* parent);

}  // namespace platform
