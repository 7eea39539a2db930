#include "cli/db_tool.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    return runDbTool(application.arguments());
}
