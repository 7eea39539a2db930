#pragma once

namespace app {

// Installs the shell's navigator (ui/navigator.h): the main window, the login and the wizard's
// windows as the windows reach them. Done once at start, before the first window opens.
void installNavigator();

}  // namespace app
