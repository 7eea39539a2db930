#pragma once
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVector>

// Finding questions that say the same thing as another (查重): imports bring the same question
// again and again, with other blanks, full-width letters, other option labels.
//
// Two texts are compared by what they say: normalise() keeps the letters, digits and symbols of
// the plain text (NFKC, so full-width letters and digits become half-width; case folded; blanks,
// whitespace, punctuation, option labels such as "A." "（B）" "C、" and picture markers dropped) and
// each formula's LaTeX without spaces. Their similarity is the Jaccard index of the two SETS of
// character trigrams (shared trigrams / all trigrams of either): 1 for the same text, 0 for texts
// sharing no three characters in a row. A normalised text shorter than three characters has no
// trigram: it is similar (1) to the same text only. An empty one (a question that is only a
// picture) is similar to nothing.
namespace duplicates {

constexpr double kDefaultThreshold = 0.85;

// A question found similar: its id, type, number and how similar (0 … 1).
struct Match {
    qint64 id = 0;
    QString txh, th;
    double similarity = 0;
};

// Questions of one subject similar to each other, ordered by type and number; each member's
// similarity is the highest it has to another member.
struct Group {
    QList<Match> questions;
};

QString normalise(const QString& text);

// The similarity of two texts as described above.
double similarity(const QString& a, const QString& b);

// A text made ready for many comparisons (its normalised form and trigram set).
class Fingerprint {
public:
    Fingerprint() = default;
    explicit Fingerprint(const QString& text);
    double similarity(const Fingerprint& other) const;
    bool empty() const { return normal_.isEmpty(); }
    const QVector<quint64>& trigrams() const { return trigrams_; }  // sorted, distinct
    const QString& normal() const { return normal_; }

private:
    QString normal_;
    QVector<quint64> trigrams_;
};

// The questions of subject `kmh` whose text is at least `threshold` similar to `text`, best first
// (then by type and number), at most `limit`; the question `excludeId` (the one being changed) is
// never among them. Candidates come through the bank's text index, never by reading the whole
// subject. Throws DataError.
QList<Match> check(const QSqlDatabase& db, const QString& kmh, const QString& text,
                   double threshold = kDefaultThreshold, qint64 excludeId = 0, int limit = 10);

// The trigrams of `text` that check() asks the index for (at most 32, spread over the text):
// runs of three letters or digits, Chinese ones and others NFKC leaves as they are (not Latin ones,
// which another file may write full-width); runs of any characters but blanks when the text has
// fewer than three such. Empty for a text too short to be looked up that way.
QStringList probeTrigrams(const QString& text);

// The FTS5 MATCH expression check() asks a bank file's text index with for these probe trigrams:
// every question similar at `threshold` holds all trigrams of at least one of its groups.
QString indexMatch(const QStringList& probes, double threshold = kDefaultThreshold);

// Every group of two or more questions of subject `kmh` similar at `threshold` (a question similar
// to one member joins the group), ordered by their first member's type and number. Throws DataError.
QList<Group> groups(const QSqlDatabase& db, const QString& kmh, double threshold = kDefaultThreshold);

// Among texts already in memory (an import file's questions): for each text, the index of the
// first earlier text at least `threshold` similar to it and that similarity, or -1 and 0.
struct Earlier {
    int index = -1;
    double similarity = 0;
};
QVector<Earlier> earlierSimilar(const QVector<Fingerprint>& texts, double threshold = kDefaultThreshold);

}  // namespace duplicates
