#pragma once
#include <QStringList>

// The command-line companion exavoro-db: init, demo, generate, backup, restore and check.
// Returns the process exit status; messages go to standard output and standard error.
int runDbTool(const QStringList& arguments);
