#pragma once
#include <QSqlDatabase>

// A server bank is shared by many programs at once; what one program's paper composition works on
// (the draft paper in sjb, the chosen types and chapters) belongs to its own connection.
namespace session {

// Sets up a new (or reopened) server connection: the session's own temporary tables, which hide
// the shared tables of the same name for this connection only and vanish with it. Nothing to do
// on a file, where one program works at a time.
void prepare(QSqlDatabase& db);

}  // namespace session
