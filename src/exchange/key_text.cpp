#include "exchange/key_text.h"

#include <QStringList>

namespace exchange::key_text {

namespace {

// Labels an answer may open with, longest first so "参考答案：" is not read as "答案：".
const QStringList& labels()
{
    static const QStringList list{QStringLiteral("参考答案："), QStringLiteral("参考答案:"), QStringLiteral("【答案】"),
                                  QStringLiteral("答案："),     QStringLiteral("答案:")};
    return list;
}

// Judgement words, longest first so "正确" wins over a shorter word that starts the same way.
struct Word {
    QString text;
    bool value;
};
const QVector<Word>& judgementWords()
{
    static const QVector<Word> words{
        {QStringLiteral("TRUE"), true}, {QStringLiteral("FALSE"), false}, {QStringLiteral("正确"), true},
        {QStringLiteral("错误"), false}, {QStringLiteral("对"), true},     {QStringLiteral("错"), false},
        {QStringLiteral("√"), true},     {QStringLiteral("×"), false},     {QStringLiteral("✓"), true},
        {QStringLiteral("✗"), false},    {QStringLiteral("T"), true},      {QStringLiteral("F"), false}};
    return words;
}

bool endsKey(const QString& text, qsizetype at)
{
    if (at >= text.size()) return true;
    const QChar c = text.at(at);
    return c.isSpace() || c.isPunct() || c == QChar(0x3000);
}

bool isOptionLetter(QChar c)
{
    return c >= QLatin1Char('A') && c <= QLatin1Char('H');
}

bool isLetterSeparator(QChar c)
{
    return c == QChar(u'、') || c == QLatin1Char(',') || c == QChar(u'，') || c == QLatin1Char(' ');
}

}  // namespace

LeadingKey leadingKey(const QString& answer)
{
    LeadingKey key;
    qsizetype at = 0;
    while (at < answer.size() && answer.at(at).isSpace()) ++at;
    for (const QString& label : labels()) {
        if (answer.mid(at, label.size()) == label) {
            at += label.size();
            while (at < answer.size() && answer.at(at) == QLatin1Char(' ')) ++at;
            break;
        }
    }
    // Judgement words first: "F" and "T" are not option letters (A–H would take "F" otherwise).
    for (const Word& w : judgementWords()) {
        if (answer.mid(at, w.text.size()).compare(w.text, Qt::CaseInsensitive) == 0 &&
            endsKey(answer, at + w.text.size())) {
            // "F" alone could be option F; a run of letters below decides for longer runs.
            if (w.text == QLatin1String("F") && at + 1 < answer.size() && isLetterSeparator(answer.at(at + 1)))
                break;
            key.kind = LeadingKey::Judgement;
            key.value = w.value;
            key.length = at + w.text.size();
            return key;
        }
    }
    QString letters;
    qsizetype end = at;
    for (qsizetype i = at; i < answer.size(); ++i) {
        const QChar c = answer.at(i);
        if (isOptionLetter(c)) {
            letters += c;
            end = i + 1;
        } else if (!(isLetterSeparator(c) && !letters.isEmpty() && i + 1 < answer.size() &&
                     isOptionLetter(answer.at(i + 1)))) {
            break;
        }
    }
    if (letters.isEmpty() || !endsKey(answer, end)) return key;
    key.kind = LeadingKey::Letters;
    key.letters = letters;
    key.length = end;
    return key;
}

}  // namespace exchange::key_text
