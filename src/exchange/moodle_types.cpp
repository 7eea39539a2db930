#include "exchange/moodle_types.h"

#include "content/content.h"
#include "exchange/key_text.h"

namespace exchange::moodle_types {

namespace {

using key_text::LeadingKey;

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QChar(0x3000);
}

// The length of the closed formula or picture marker that starts at `at`, or 0.
qsizetype markerLength(const QString& text, qsizetype at)
{
    const QChar first = text.at(at);
    if (first != QLatin1Char('\\') && first != QLatin1Char('[')) return 0;  // most characters: at once
    static const struct {
        QString open, close;
    } pairs[] = {{QStringLiteral("\\("), QStringLiteral("\\)")},
                 {QStringLiteral("\\["), QStringLiteral("\\]")},
                 {QStringLiteral("[[图片:"), QStringLiteral("]]")}};
    for (const auto& p : pairs) {
        if (QStringView(text).mid(at).startsWith(p.open)) {
            const qsizetype end = text.indexOf(p.close, at + p.open.size());
            return end < 0 ? 0 : end + p.close.size() - at;
        }
    }
    return 0;
}

// The length of an option label for `letter` at `at` ("A." "A．" "A、" "(A)" "（A）"), or 0.
qsizetype labelLength(const QString& text, qsizetype at, QChar letter)
{
    const auto charAt = [&](qsizetype i) { return i < text.size() ? text.at(i) : QChar(); };
    const QChar c = charAt(at);
    if (c == letter) {
        const QChar after = charAt(at + 1);
        if (after == QLatin1Char('.') || after == QChar(u'．') || after == QChar(u'、')) return 2;
        return 0;
    }
    if ((c == QLatin1Char('(') && charAt(at + 2) == QLatin1Char(')')) ||
        (c == QChar(u'（') && charAt(at + 2) == QChar(u'）')))
        return charAt(at + 1) == letter ? 3 : 0;
    return 0;
}

// True when only blanks stand between the start of the line and `at`.
bool opensLine(const QString& text, qsizetype at)
{
    for (qsizetype i = at - 1; i >= 0; --i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\v')) return true;
        if (!isBlank(c)) return false;
    }
    return true;
}

// The options found from the label A at `first`: label positions and lengths, in order.
struct Label {
    qsizetype at, length;
};
QVector<Label> labelsFrom(const QString& text, qsizetype first)
{
    QVector<Label> labels{{first, labelLength(text, first, QLatin1Char('A'))}};
    for (qsizetype i = first + labels.first().length; i < text.size() && labels.size() < 8;) {
        if (const qsizetype skip = markerLength(text, i)) {
            i += skip;
            continue;
        }
        const QChar next(char16_t(u'A' + labels.size()));
        const qsizetype length = labelLength(text, i, next);
        if (length > 0 && i > 0 && (isBlank(text.at(i - 1)) || opensLine(text, i))) {
            labels.append({i, length});
            i += length;
        } else {
            ++i;
        }
    }
    return labels;
}

bool isLatinJudgement(const QString& answer, const LeadingKey& key)
{
    const QChar last = answer.at(key.length - 1);
    return last.toLatin1() != 0 && last.isLetter();
}

// True when the answer's judgement is the bare letter F (option F of a long choice question).
bool isLetterF(const QString& answer, const LeadingKey& key)
{
    return answer.at(key.length - 1) == QLatin1Char('F') &&
           (key.length < 2 || !answer.at(key.length - 2).isLetter());
}

// Blanks for the student to fill ("____", "＿＿"): Moodle's short answer has one box.
int blankCount(const QString& text)
{
    int count = 0;
    qsizetype run = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const QChar c = i < text.size() ? text.at(i) : QChar();
        if (c == QLatin1Char('_') || c == QChar(u'＿')) {
            ++run;
        } else {
            if (run >= 2) ++count;
            run = 0;
        }
    }
    return count;
}

// The accepted answers of a short answer, or none when the answer is not one: a word, number or
// phrase on one line that reads the same as plain text and as HTML, without Moodle's wildcard "*",
// formulas, pictures or sentences, and without blanks the import would trim away.
QStringList shortAnswers(const QString& text, const QString& answer)
{
    if (answer.isEmpty() || answer.size() > kMaxShortAnswer || answer != answer.trimmed()) return {};
    if (blankCount(text) > 1 || content::hasMarkers(answer)) return {};
    for (const QChar c : answer) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Surrogate ||
            c == QChar::LineSeparator || c == QChar::ParagraphSeparator ||
            QStringLiteral("*&<>\\$。").contains(c))
            return {};
    }
    const QStringList accepted = answer.split(QChar(u'；'));
    for (const QString& a : accepted)
        if (a.isEmpty() || a != a.trimmed()) return {};
    return accepted;
}

}  // namespace

QString qtypeName(Kind kind)
{
    switch (kind) {
        case Kind::MultiChoice:
            return QStringLiteral("multichoice");
        case Kind::TrueFalse:
            return QStringLiteral("truefalse");
        case Kind::ShortAnswer:
            return QStringLiteral("shortanswer");
        case Kind::Essay:
            break;
    }
    return QStringLiteral("essay");
}

bool splitOptions(const QString& text, QString* stem, QStringList* options)
{
    // Most texts of other types hold no "A" that could open an option: those are done at once.
    if (!text.contains(QLatin1Char('A'))) return false;
    for (qsizetype i = 0; i < text.size();) {
        if (const qsizetype skip = markerLength(text, i)) {
            i += skip;
            continue;
        }
        if (labelLength(text, i, QLatin1Char('A')) == 0 || !opensLine(text, i)) {
            ++i;
            continue;
        }
        const QVector<Label> labels = labelsFrom(text, i);
        QString head = text.left(i);
        while (!head.isEmpty() && head.back().isSpace()) head.chop(1);
        QStringList found;
        for (int n = 0; n < labels.size(); ++n) {
            const qsizetype from = labels[n].at + labels[n].length;
            const qsizetype to = n + 1 < labels.size() ? labels[n + 1].at : text.size();
            found << text.mid(from, to - from).trimmed();
        }
        if (labels.size() >= 2 && !head.isEmpty() && !found.contains(QString())) {
            *stem = head;
            *options = found;
            return true;
        }
        ++i;
    }
    return false;
}

QString shareOfHundred(int right)
{
    if (right <= 1) return QStringLiteral("100");
    QString share = QString::number(100.0 / right, 'f', 5);
    while (share.endsWith(QLatin1Char('0'))) share.chop(1);
    if (share.endsWith(QLatin1Char('.'))) share.chop(1);
    return share;
}

Classified classify(const QString& text, const QString& answer)
{
    Classified c;
    const LeadingKey key = key_text::leadingKey(answer);
    QString stem;
    QStringList options;
    const bool choice = splitOptions(text, &stem, &options);

    QString letters;
    if (choice && key.kind == LeadingKey::Letters) {
        letters = key.letters;
    } else if (choice && key.kind == LeadingKey::Judgement && options.size() >= 6 && isLetterF(answer, key)) {
        letters = QStringLiteral("F");
    }
    if (!letters.isEmpty() &&
        std::all_of(letters.begin(), letters.end(), [&](QChar l) { return l.unicode() - u'A' < options.size(); })) {
        c.kind = Kind::MultiChoice;
        c.stem = stem;
        c.options = options;
        int right = 0;
        for (int i = 0; i < options.size(); ++i) {
            if (letters.contains(QChar(u'A' + i))) {
                c.rightLetters += QChar(u'A' + i);
                ++right;
            }
        }
        c.single = right == 1;
        for (int i = 0; i < options.size(); ++i)
            c.fractions << (c.rightLetters.contains(QChar(u'A' + i)) ? shareOfHundred(right) : QStringLiteral("0"));
        // The reader takes the key from the fractions (in option order) when the feedback is empty.
        if (answer != c.rightLetters) c.feedback = answer;
        return c;
    }
    if (key.kind == LeadingKey::Judgement) {
        // "F = ma" opens with the letter F, not with a judgement.
        const bool latinThenBlank =
            isLatinJudgement(answer, key) && key.length < answer.size() && isBlank(answer.at(key.length));
        if (!latinThenBlank) {
            c.kind = Kind::TrueFalse;
            c.judgement = key.value;
            if (answer != (key.value ? QStringLiteral("对") : QStringLiteral("错"))) c.feedback = answer;
            return c;
        }
    }
    if (!choice) {
        c.accepted = shortAnswers(text, answer);
        if (!c.accepted.isEmpty()) c.kind = Kind::ShortAnswer;
    }
    return c;
}

void TypeCounter::add(const QString& bankType, Kind kind)
{
    for (TypeCount& t : counts_) {
        if (t.bankType == bankType && t.kind == kind) {
            ++t.count;
            return;
        }
    }
    counts_.append({bankType, kind, 1});
}

int TypeCounter::total() const
{
    int total = 0;
    for (const TypeCount& t : counts_) total += t.count;
    return total;
}

QString TypeCounter::summary() const
{
    QStringList types;
    QStringList parts;
    for (const TypeCount& t : counts_)
        if (!types.contains(t.bankType)) types << t.bankType;
    for (const QString& type : types) {
        QStringList kinds;
        for (const TypeCount& t : counts_)
            if (t.bankType == type) kinds << QStringLiteral("%1 %2 道").arg(qtypeName(t.kind)).arg(t.count);
        parts << type + QStringLiteral("→") + kinds.join(QStringLiteral("、"));
    }
    return parts.join(QStringLiteral("，"));
}

}  // namespace exchange::moodle_types
