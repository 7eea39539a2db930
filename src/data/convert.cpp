#include "data/convert.h"

#include "data/errors.h"

#include <cmath>

namespace convert {

int toInt(const QString& text)
{
    bool ok = false;
    const QString t = text.trimmed();
    // A sign followed by digits only; Qt would also accept things like "0x10" with base 0, we do not.
    int value = 0;
    if (!t.isEmpty()) {
        value = t.toInt(&ok, 10);
    }
    if (!ok) {
        throw ConvertError(QStringLiteral("“%1”不是有效的整数值。").arg(text));
    }
    return value;
}

double toFloat(const QString& text)
{
    bool ok = false;
    const QString t = text.trimmed();
    double value = 0;
    if (!t.isEmpty()) {
        value = t.toDouble(&ok);
    }
    if (!ok || !std::isfinite(value)) {
        throw ConvertError(QStringLiteral("“%1”不是有效的浮点数值。").arg(text));
    }
    return value;
}

QString floatToText(double value)
{
    if (value == 0) {
        return QStringLiteral("0");
    }
    // 'g' with 15 significant digits drops trailing zeros, as the general number format does.
    QString s = QString::number(value, 'g', 15);
    if (s.contains(QLatin1Char('e'))) {
        // Keep a plain decimal where it fits in 15 digits; very large or small values keep the exponent.
        const int exponent = static_cast<int>(std::floor(std::log10(std::fabs(value))));
        if (exponent >= -5 && exponent < 15) {
            s = QString::number(value, 'f', std::max(0, 14 - exponent));
            if (s.contains(QLatin1Char('.'))) {
                while (s.endsWith(QLatin1Char('0'))) s.chop(1);
                if (s.endsWith(QLatin1Char('.'))) s.chop(1);
            }
        }
    }
    return s;
}

long long roundHalfEven(double value)
{
    return static_cast<long long>(std::nearbyint(value));  // default rounding mode is to nearest, ties to even
}

QString nextCode(const QString& last, int width)
{
    const int a = last.isEmpty() ? 0 : toInt(last);
    return QString::number(a + 1).rightJustified(width, QLatin1Char('0'));
}

}  // namespace convert
