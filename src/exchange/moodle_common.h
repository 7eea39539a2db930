#pragma once
#include <QString>

// What the Moodle XML and GIFT writers and readers agree on.
namespace exchange::moodle_common {

// The tag (XML) or comment field (GIFT) that carries a question's difficulty.
inline const QString kDifficultyTag = QStringLiteral("难度:");

// Characters GIFT gives a meaning to, written with a backslash before them inside texts (the
// backslash itself too, as Moodle's GIFT writer does, so a text ending in "\\" cannot escape the "}").
inline const QString kGiftSpecial = QStringLiteral("\\~=#{}:");

// The letter of the i-th option: A, B, C …
inline QString optionLetter(int i)
{
    return QString(QChar(u'A' + i));
}

}  // namespace exchange::moodle_common
