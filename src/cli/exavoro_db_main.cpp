#include "cli/db_tool.h"
#include "data/sql.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    sql::keepFreedMemory();
    QCoreApplication application(argc, argv);
    return runDbTool(application.arguments());
}
