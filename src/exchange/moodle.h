#pragma once
#include <QByteArray>
#include <QSqlDatabase>
#include <QString>

#include "exchange/moodle_types.h"
#include "exchange/paper_import.h"

// Exchange with learning platforms: Moodle XML and GIFT, out of and into the bank.
namespace exchange {

// Which questions to export: a subject, optionally one type and/or one chapter of it (codes).
struct ExportScope {
    QString kmh;
    QString txh;  // empty: every type
    QString zjh;  // empty: every chapter
};

// What an export wrote: the number of questions, how many of each bank type went out as each
// Moodle type, and what could not be written as it stands in the bank (a character XML 1.0
// cannot hold), one line per finding.
struct ExportReport {
    int count = 0;
    moodle_types::TypeCounter types;
    QStringList warnings;
};

// The questions of the scope as Moodle XML: a category per subject/type/chapter
// ($course$/top/科目/题型/章节), each question typed from its text and answer (moodle_types.h):
// multiple choice with the options as answers and the key as fractions, true/false, short answer,
// or an essay with the answer as information for graders. Texts are HTML with \(...\) math and
// pictures as embedded base64 files (@@PLUGINFILE@@); every character of the bank's text is kept
// (line breaks as <br>, a CR, a vertical tab and blanks at either end as character references
// Moodle does not trim). Default mark from the score, the difficulty as a tag "难度:…".
QByteArray exportMoodleXml(const QSqlDatabase& db, const ExportScope& scope, int* count = nullptr);
QByteArray exportMoodleXml(const QSqlDatabase& db, const ExportScope& scope, ExportReport* report);

// The same questions as GIFT text, typed the same way: a $CATEGORY line per subject/type/chapter,
// a comment line with score and difficulty, for an essay a comment line "// 答案:" with its answer
// (written like the question's text; GIFT has no field for graders), pictures as data URIs.
// Texts are escaped as Moodle's GIFT writer does (\\ \~ \= \# \{ \} \:).
QByteArray exportGift(const QSqlDatabase& db, const ExportScope& scope, int* count = nullptr);
QByteArray exportGift(const QSqlDatabase& db, const ExportScope& scope, ExportReport* report);

// How many questions of the scope go out as each Moodle type, without writing them.
moodle_types::TypeCounter exportTypeCounts(const QSqlDatabase& db, const ExportScope& scope);

// Largest Moodle XML or GIFT file read, in bytes: many questions with their pictures.
constexpr qsizetype kMaxMoodleBytes = 200 * 1024 * 1024;

// Reads Moodle XML (essay, short answer, multiple choice, true/false): texts and answers in the
// content model, pictures held by hash, chapter and type from a category of three levels below
// the subject, score from the default mark, difficulty from a "难度:" tag. Multiple choice keeps
// its options in the text ("A. …") and the right options as the answer. Questions of other kinds
// are listed as loose paragraphs. Throws AppError when the text is not Moodle XML, declares a
// document type or entities (never expanded), or passes the bounds of size and nesting.
ImportedPaper readMoodleXml(const QByteArray& xml);

// Reads GIFT text with the same rules.
ImportedPaper readGift(const QString& text);

}  // namespace exchange
