#pragma once
#include <QString>

// The key an answer text opens with: "答案：C。移项得……" opens with the letter C, "正确。把 x = 2 代入……"
// with a judgement. The writers of Moodle XML and GIFT take it for the right options or the
// true/false answer; the readers use it to tell an explanation that repeats the key from one that
// does not.
namespace exchange::key_text {

struct LeadingKey {
    enum Kind { None, Letters, Judgement };
    Kind kind = None;
    QString letters;     // "C", "BCD": the options named, in the order given, without separators
    bool value = false;  // for a judgement: true for 对/√/正确/T/TRUE, false for 错/×/错误/F/FALSE
    qsizetype length = 0;  // characters of the text the key (with its "答案：" label) takes
    bool operator==(const LeadingKey& o) const
    {
        return kind == o.kind && letters == o.letters && (kind != Judgement || value == o.value);
    }
};

// The key at the start of `answer`: an optional label ("答案：", "答案:", "【答案】", "参考答案："),
// then option letters A–H (may be separated by "、", ",", "，" or blanks) or a judgement word,
// followed by the end of the text, a blank, a line break or a punctuation mark. Kind None when
// the text opens otherwise ("ABC是……" is no key: a letter run must not run into other letters).
LeadingKey leadingKey(const QString& answer);


}  // namespace exchange::key_text
