#pragma once
#include <QString>

// Name-to-code lookups. Each gives the value of the last matching row in read order (exact,
// case-sensitive comparison) and an empty text when no row matches. They run as indexed queries
// on the data module's connection, with the same answer as a scan of the whole table.
QString KmmToKmh(const QString& kmm);
QString TxmToTxh(const QString& kmh, const QString& txm);
QString ZjmToZjh(const QString& kmh, const QString& zjm);
QString ZjhToZjm(const QString& kmh, const QString& zjh);
