#pragma once
#include <QByteArray>
#include <QSqlDatabase>
#include <QString>

#include "exchange/paper_import.h"

// Exchange with learning platforms: Moodle XML and GIFT, out of and into the bank.
namespace exchange {

// Which questions to export: a subject, optionally one type and/or one chapter of it (codes).
struct ExportScope {
    QString kmh;
    QString txh;  // empty: every type
    QString zjh;  // empty: every chapter
};

// The questions of the scope as Moodle XML: a category per subject/type/chapter
// ($course$/top/科目/题型/章节), each question an essay whose text is HTML with \(...\) math and
// pictures as embedded base64 files (@@PLUGINFILE@@), its answer as information for graders,
// default mark from the score and the difficulty as a tag "难度:…". Returns the number exported
// in `count`.
QByteArray exportMoodleXml(const QSqlDatabase& db, const ExportScope& scope, int* count = nullptr);

// The same questions as GIFT text: a $CATEGORY line per subject/type/chapter, a comment line with
// score and difficulty, pictures as data URIs, the answer as general feedback.
QByteArray exportGift(const QSqlDatabase& db, const ExportScope& scope, int* count = nullptr);

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
