#pragma once
#include <QString>

namespace formulas {

// A formula that ends or begins with a relation sign, as a blank to fill in beside it asks for
// ("\(a^2-4=\)______", "\(=3\)"): LibreOffice reads the sign as missing an operand and prints "¿"
// in its place, and drops a leading "=" altogether. The sign at either edge becomes normal text
// inside the formula (m:nor), which LibreOffice prints as it is and Word as an upright sign. The
// rest of the formula is kept as it is; OMML without such a sign, or that cannot be read, comes
// back unchanged, and OMML already rewritten comes back the same, so cached formulas of any age
// can go through it.
QString withTextRelationsAtEdges(const QString& omml);

// True for the relation signs (=, <, >, ≤, ≠, ...) that the rewrite above sets as text.
bool isRelationSign(QChar c);

}  // namespace formulas
