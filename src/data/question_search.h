#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QList>
#include <QVector>

// Finding questions by what they say: a phrase in the question or answer text (stb.tm, stb.da),
// letter case ignored. Formulas are found by their LaTeX text; a picture is not text, so its marker
// never matches. Phrases of three characters or more go through the bank's search index (kept by
// the bank itself, see engine::searchIndexStatements); shorter ones read the questions, up to
// kShortScanLimit matches.
namespace question_search {

// Which questions may match; empty fields do not restrict.
struct Filter {
    QString kmh{};  // subject code
    QString zjh{};  // chapter code
    QString nd{};   // difficulty (易 … 难)
    QString txh{};  // question type code (within the subject)
    // Knowledge points (zsdb ids): only questions linked to one of them or to a point below one.
    QList<qint64> points{};
};

// One question found, with the names of its subject and type.
struct Hit {
    qint64 id = 0;
    QString kmh, kmm, txh, txm, th, zjh, nd, fs, tm, da;
};

struct Result {
    QVector<Hit> hits;   // the first matches, ordered by subject, type and number
    qint64 total = 0;    // how many questions match
    bool exact = true;   // false when a short phrase's reading stopped at kShortScanLimit matches
};

// Matches a phrase of one or two characters is looked for up to; `total` then says at least this.
constexpr int kShortScanLimit = 1000;

// The first `limit` questions matching `phrase` (trimmed; an empty one matches nothing) and how
// many match. Throws DataError.
Result find(const QSqlDatabase& db, const QString& phrase, const Filter& filter, int limit);

// The text a search looks through: `text` with every picture marker replaced by a line break (a
// phrase never runs across a picture).
QString searchableText(const QString& text);

// True when the question or answer text holds `phrase` as the search finds it.
bool holds(const QString& text, const QString& phrase);

}  // namespace question_search
