#pragma once
#include <QHash>
#include <QString>
#include <QStringList>

class QSqlDatabase;

// Formulas as Word equations: LaTeX converted to Office Math (OMML) by pandoc, each converted
// formula kept in the table formula_omml so that it never needs pandoc again.
namespace formulas {

// The XML namespace of Office Math.
inline const char* const kMathNamespace = "http://schemas.openxmlformats.org/officeDocument/2006/math";

// The result of converting a list of formulas: the OMML of each formula that converted (one
// m:oMath element with its namespaces declared, keyed by the LaTeX source) and the sources that
// pandoc could not convert.
struct Conversion {
    QHash<QString, QString> omml;
    QStringList failed;
};

// Converts LaTeX sources to OMML in ONE pandoc run (with a timeout). Throws AppError with a
// Chinese message when pandoc is missing, does not finish or fails as a whole.
Conversion convertWithPandoc(const QStringList& latex);

// The OMML of every given formula: read from the cache, the rest converted by one pandoc run and
// stored in the cache. pandoc is not started when every formula is cached.
Conversion toOmml(const QSqlDatabase& db, const QStringList& latex);

// How long one pandoc run may take, in milliseconds.
constexpr int kPandocTimeoutMs = 120000;

}  // namespace formulas
