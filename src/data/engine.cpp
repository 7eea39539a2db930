#include "data/engine.h"

#include <QSqlDriver>

namespace engine {

bool isServer(const QSqlDatabase& db)
{
    return db.driverName() == QLatin1String("QPSQL");
}

}  // namespace engine
