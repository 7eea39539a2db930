#pragma once
#include <QByteArray>
#include <QHash>
#include <QPair>
#include <QSqlDatabase>
#include <QString>
#include <QVector>

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
// Moodle does not trim). Default mark from the score, the difficulty as a tag "难度:…", and each
// knowledge point as a tag holding its path "上级/名称" (sorted, after the difficulty).
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

// Reads Moodle XML: essay, short answer, numerical, multiple choice and true/false questions, their
// texts and answers in the content model (HTML turned into lines, <sup>/<sub> into formulas, plain
// and Markdown texts kept as written), pictures (embedded files and the old <image_base64>) held by
// hash, general feedback and information for graders kept in the answer. The chapter is the last
// element of the category path; a path of three levels (科目/题型/章节, as exportMoodleXml writes)
// also names a type (categoryType). Each question carries its kind (sourceKind) and the type of
// that kind (defaultTypeOfKind) as its type; typeForSubject decides the type in a subject.
// Multiple choice keeps its options in the text ("A. …"); in a single-answer question only the
// answer worth 100% is right. Questions of other kinds are listed as loose paragraphs and counted
// in `unsupported`. A tag other than "难度:…" names a knowledge point (knowledge_tags.h: cleaned
// and bounded, with a warning for what was cut). Throws AppError when the text is not Moodle XML, declares a document type or
// entities (never expanded), or passes the bounds of size and nesting.
ImportedPaper readMoodleXml(const QByteArray& xml);

// Reads GIFT text with the same rules, and Moodle's GIFT besides: numerical answers with tolerance
// or range, true/false feedback, matching (kept as 解答题 with the pairs as lines "a → b"),
// missing-word questions (a blank "______" where the answers stood), the formats [html], [moodle],
// [plain] and [markdown], and the comment lines this program writes before a question ("// 分数:3
// 难度:中等", taken only when both pass the checks of 录入试题; "// 答案：…"). A block it cannot read
// is listed as a loose paragraph, never dropped.
ImportedPaper readGift(const QString& text);

// The bank type a kind of question goes to unless the user chooses another: multichoice 选择题,
// truefalse 判断题, shortanswer and numerical 填空题, essay and match 解答题.
QString defaultTypeOfKind(const QString& kind);

// The type a question read from Moodle XML or GIFT takes in a subject with `subjectTypes`: the type
// chosen for its kind in `kindTypes` when there is one, else the type its category named when the
// subject has it, else the subject's type named like the default of its kind (matchTypeName).
// A question without a kind (from a document) gets matchTypeName of `sourceType`, the type the
// file gave it.
QString typeForSubject(const ImportedQuestion& q, const QString& sourceType, const QStringList& subjectTypes,
                       const QHash<QString, QString>& kindTypes = {});

// The kinds of the questions with their counts, in order of first appearance (documents: none).
QVector<QPair<QString, int>> kindsOf(const QVector<ImportedQuestion>& questions);

// "cloze 2 道，matching 1 道"
QString countsText(const QVector<QPair<QString, int>>& counts);

// What a file holds, judged by its content whatever its name: XML whose root is <quiz> is Moodle
// XML; text whose blocks are mostly GIFT questions (a "::title::", an answer block such as
// "{=…}", "{~…}", "{#…}", "{T}" or "{}", or a "$CATEGORY:" line) is GIFT.
enum class ExchangeFormat { Other, MoodleXml, Gift };
ExchangeFormat sniffExchangeFormat(const QByteArray& head);
// The same for the first bytes of a file; Other when it is no regular file or cannot be read.
ExchangeFormat exchangeFormatOfFile(const QString& path);

}  // namespace exchange
