#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// On a server the database itself enforces the three levels. Each user of a server bank is a
// PostgreSQL login role of its own, a member of one of three group roles (NOLOGIN) that hold the
// rights of 题库管理用户, 试卷管理用户 and 超级用户; PostgreSQL checks the password, and mmb keeps
// only the name, level and description. The roles of one bank carry its prefix (made from the
// database's name), so that two banks on one server keep their users apart.
namespace server_roles {

// The prefix of the roles of the bank in database `database`: the name itself when it is short
// and plain (lower-case letters, digits, _), else "bank_" and part of its MD5.
QString prefixFor(const QString& database);
// The login role of user `name` in the bank with `prefix`: prefix/name, or prefix%MD5 of the
// name where that would pass PostgreSQL's 63 bytes. The functions on the server name it alike.
QString userRole(const QString& prefix, const QString& name);
// The group role of a level (1 题库管理用户, 2 试卷管理用户, 3 超级用户).
QString groupRole(const QString& prefix, int level);

// Inside a transaction of the bank's owner (a role that may create roles): the three group
// roles, their rights on every table of the bank, and the functions through which users are
// added, removed and given passwords. Run again by an upgrade; changes nothing twice. Throws
// AppError when roles of the prefix exist on the server while the bank has none recorded.
void setUp(QSqlDatabase& db);
// True when the bank on this connection has its roles set up.
bool isSetUp(const QSqlDatabase& db);
// Inside the owner's transaction: every user in mmb that has no role yet gets one (a member of
// its level's group, without a password) and any password hash left in mmb is removed. Returns
// the names that got a role and so still need a password.
QStringList adoptUsers(QSqlDatabase& db);

// Adds a user with its password and level, as the connection's user (a 超级用户 or the owner).
// Throws DataError (code 23505 when the name exists already) with the server's Chinese message.
void addUser(const QSqlDatabase& db, const QString& name, const QString& password, int level);
// Removes a user and its role (not the last 超级用户, not the one logged in).
void removeUser(const QSqlDatabase& db, const QString& name);
// Gives a user a new password: a 超级用户 any user's, anyone else only their own.
void setPassword(const QSqlDatabase& db, const QString& name, const QString& password);
// The level the connection's own role holds (0 for none), from its group memberships.
int levelOfSession(const QSqlDatabase& db);

// Removes every role of the bank with `prefix` from the server (after its database was dropped),
// through an administrator's connection.
void dropRoles(const QSqlDatabase& admin, const QString& prefix);

}  // namespace server_roles
