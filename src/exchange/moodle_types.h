#pragma once
#include <QString>
#include <QStringList>
#include <QVector>

// Which Moodle question type a bank question goes out as, decided from its text and answer: a
// choice question whose answer names its options becomes a multiple choice question Moodle can
// mark, a judgement a true/false question, a short answer of a word or number a short-answer
// question, and everything else an essay with the answer for the graders.
namespace exchange::moodle_types {

enum class Kind { MultiChoice, TrueFalse, ShortAnswer, Essay };

// Moodle's name of the type: "multichoice", "truefalse", "shortanswer", "essay".
QString qtypeName(Kind kind);

// Longest answer, in characters, that goes out as a short-answer question.
constexpr int kMaxShortAnswer = 40;

struct Classified {
    Kind kind = Kind::Essay;
    // MultiChoice: the text before the first option label (trailing line breaks and blanks
    // removed), each option without its label (trimmed), the right letters in option order and
    // one fraction per option ("100", "50", "33.33333", "0"); single when one letter is right.
    QString stem;
    QStringList options;
    QString rightLetters;
    QStringList fractions;
    bool single = true;
    // TrueFalse: the judgement.
    bool judgement = false;
    // MultiChoice and TrueFalse: the whole answer text when it is more than the bare key ("答案：C。
    // 移项得……"), else empty. Shown to students after the attempt, as the answer is on the key.
    QString feedback;
    // ShortAnswer: the accepted answers, each worth 100% (alternatives were separated by "；").
    QStringList accepted;
};

// The type and parts of a question with this text and answer (content-model texts).
Classified classify(const QString& text, const QString& answer);

// A question text split at its option labels (A–H written "A." "A．" "A、" "(A)" "（A）", one or
// several options per line, the first one opening a line, the rest in order A, B, C, …): the stem
// and the options. Fewer than two options: false.
bool splitOptions(const QString& text, QString* stem, QStringList* options);

// The fraction of each of `right` right answers out of several, as Moodle writes it: 100/k with
// Moodle's grade values ("50", "33.33333", "25", "20", "16.66667", "14.28571", "12.5").
QString shareOfHundred(int right);

// How many questions of each bank type go out as each Moodle type, in the order met.
struct TypeCount {
    QString bankType;
    Kind kind;
    int count = 0;
};
class TypeCounter {
public:
    void add(const QString& bankType, Kind kind);
    const QVector<TypeCount>& counts() const { return counts_; }
    int total() const;
    // "选择题→multichoice 15 道，判断题→truefalse 16 道，填空题→shortanswer 3 道、essay 20 道"
    QString summary() const;

private:
    QVector<TypeCount> counts_;
};

}  // namespace exchange::moodle_types
