#pragma once
#include <QString>

// Who is logged in to this program: the login window sets it; permissions, the recycle bin and the
// paper library read it.
namespace current_user {

// Permission level of the user who logged in last (0 before any successful login).
int& level();
// Name of the user who logged in last (empty before any successful login): the recycle bin
// records it as the one who deleted, stored papers as the one who composed them.
QString& name();

}  // namespace current_user
