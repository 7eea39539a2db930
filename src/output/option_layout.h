#pragma once
#include <QString>
#include <QStringList>
#include <optional>

#include "output/docx_package.h"

struct PaperMedia;

// The options of a choice question (选择题) in the exam layout, laid out by their width: four to a
// line when each fits in a quarter of the text column, two when each fits in half, else one to a
// line, each line's options starting at the same tab stops so that they stand in columns.

// A question text split into its stem and its options. Options are labelled "A." "A．" "A、" "(A)"
// or "（A）", the letters in order from A; the first starts a line, each later one starts a line or
// follows a blank. Labels inside formulas do not count.
struct ChoiceOptions {
    QString stem;         // the text before the first option, without the line end before it
    QStringList options;  // each option with its label, as typed (formula and picture markers kept)
};

// The question's options; none when the text has no such run of options to its end, when an
// option runs over more than one line or holds a displayed formula.
std::optional<ChoiceOptions> findOptions(const QString& text);

// The approximate printed width of a text at the body size (10.5 pt), in twips: Chinese and other
// full-width characters a full em, Latin characters half, formulas by their Office Math text from
// `media` (or their source length when unconverted), pictures by the width they are printed at.
int printedWidth(const QString& text, const PaperMedia* media);

// How many options go on a line in a column `columnTwips` wide: 4, 2 or 1.
int optionsPerLine(const QList<int>& widthsTwips, int columnTwips);

// The width of one text column of the page, in twips.
int textColumnWidth(const docx::PageSetup& page);

// Appends a question of the exam layout after its number and ends its paragraph: its options laid
// out by their width, formulas with relation signs at their edges set so that every word processor
// prints them without a placeholder. A question without options is appended as appendPaperContent
// appends it. `media` may be null for a paper of plain texts.
void appendExamQuestion(docx::Document& doc, const QString& number, const QString& text, PaperMedia* media);
