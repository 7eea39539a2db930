#pragma once
#include <QSqlDatabase>
#include <QStringList>

#include "blueprint/blueprint_plan.h"

// Blueprint templates: a plan saved by name per subject (tables blueprints, blueprint_types,
// blueprint_cells). A template keeps codes (knowledge points by id), so renaming a chapter, point
// or type keeps it valid; cells of rows or types deleted since are dropped when it is opened.
namespace blueprint::store {

// Names of the subject's templates, in the order they were first saved.
QStringList names(const QSqlDatabase& db, const QString& kmh);
bool exists(const QSqlDatabase& db, const QString& kmh, const QString& name);
// Saves the plan's types, cells and total under the name, replacing a template of that name, in
// one transaction.
void save(const QSqlDatabase& db, const Plan& plan, const QString& name);
// What a template's rows are (chapters for a template saved before templates said so, and for
// one that does not exist).
RowKind rowKind(const QSqlDatabase& db, const QString& kmh, const QString& name);
// Reads a template into `plan` (its row kind, types with their current names, cells, total); the
// plan's subject and rows (`chapters`, to be of the template's row kind) are left as they are.
// Cells of rows not among them are dropped; the codes of those rows are added to `vanishedRows`
// when given. False when there is no such template.
bool load(const QSqlDatabase& db, const QString& kmh, const QString& name, Plan* plan,
          QStringList* vanishedRows = nullptr);
void remove(const QSqlDatabase& db, const QString& kmh, const QString& name);
// Copies a template under a new name that is not taken yet ("名称（副本）", "名称（副本2）", …) and
// returns that name.
QString copy(const QSqlDatabase& db, const QString& kmh, const QString& name);

}  // namespace blueprint::store
