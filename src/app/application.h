#pragma once
#include <QApplication>

// The application object: its notify() is the general error handler of last resort.
class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

#include "data/engine.h"

namespace app {

// Title, fonts and the Chinese translation of Qt's standard buttons.
void setup(QApplication& application);

// Failed login attempts of this run, in any login dialog; never reset by a login or logout.
int& failedLogins();

// The bank this program works on, as chosen at start (--server, the settings file exavoro.ini beside
// Data/, else the file Data/examdb.db under the working folder). Until a choice was made it is the
// default file under the current working folder.
engine::Location bankLocation();
void setBankLocation(const engine::Location& location);

}  // namespace app
