#include "output/paper_content.h"

namespace {

QString digit(int d)
{
    static const char16_t* const kDigits[] = {u"", u"一", u"二", u"三", u"四", u"五", u"六", u"七", u"八", u"九"};
    return QString::fromUtf16(kDigits[d]);
}

// 1 … 99: "十" alone for ten, no leading "一" before "十" in the teens ("十二"), "二十一" above.
QString belowHundred(int n, bool leadingOne)
{
    if (n < 10) return digit(n);
    const int tens = n / 10;
    const QString prefix = (tens == 1 && !leadingOne) ? QString() : digit(tens);
    return prefix + QStringLiteral("十") + digit(n % 10);
}

}  // namespace

QString NumConvert(int n)
{
    if (n <= 0) return QString();
    if (n < 100) return belowHundred(n, false);
    if (n < 1000) {
        // 100 "一百", 105 "一百零五", 110 "一百一十", 123 "一百二十三"
        const int rest = n % 100;
        QString text = digit(n / 100) + QStringLiteral("百");
        if (rest == 0) return text;
        if (rest < 10) return text + QStringLiteral("零") + digit(rest);
        return text + belowHundred(rest, true);
    }
    // No paper has a thousand sections; keep the heading readable all the same.
    return QString::number(n);
}
