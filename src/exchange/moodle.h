#pragma once
#include <QByteArray>
#include <QHash>
#include <QPair>
#include <QSqlDatabase>
#include <QString>
#include <QVector>

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

// Reads Moodle XML: essay, short answer, numerical, multiple choice and true/false questions, their
// texts and answers in the content model (HTML turned into lines, <sup>/<sub> into formulas, plain
// and Markdown texts kept as written), pictures (embedded files and the old <image_base64>) held by
// hash, general feedback and information for graders kept in the answer. The chapter is the last
// element of the category path; a path of three levels (科目/题型/章节, as exportMoodleXml writes)
// also names a type (categoryType). Each question carries its kind (sourceKind) and the type of
// that kind (defaultTypeOfKind) as its type; typeForSubject decides the type in a subject.
// Multiple choice keeps its options in the text ("A. …"); in a single-answer question only the
// answer worth 100% is right. Questions of other kinds are listed as loose paragraphs and counted
// in `unsupported`. Throws AppError when the text is not Moodle XML, declares a document type or
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
