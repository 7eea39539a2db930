#include "data/current_user.h"

namespace current_user {

int& level()
{
    static int level = 0;
    return level;
}

QString& name()
{
    static QString name;
    return name;
}

}  // namespace current_user
