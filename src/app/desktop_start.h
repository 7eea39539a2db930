#pragma once
#include <QString>
#include <QStringList>

// Starting from the desktop menu: the program works in ~/Exavoro instead of the folder it was
// started in, so that Data/ and Papers/ keep their meaning for an installed program.
namespace desktop {

// True for `exavoro --desktop`, and when the current folder can hold no data (not writable and
// without a Data folder), as for a program started by a launcher from /.
bool wanted(const QStringList& arguments);

// The working folder of a desktop start: Exavoro in the home folder.
QString workFolder();

// Creates ~/Exavoro with Data/ and Papers/ and makes it the current folder. When it holds no bank
// yet, offers to create the demo bank or an empty bank with one super user. Throws AppError when
// the folder cannot be created; a declined offer leaves the folder without a bank (the login
// window then says that the bank is missing).
void prepare(const QString& folder = workFolder());

}  // namespace desktop
