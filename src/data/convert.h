#pragma once
#include <QString>

namespace convert {

// Reads a decimal integer; throws ConvertError with a Chinese message when the text is not one.
int toInt(const QString& text);
// Reads a floating-point number; throws ConvertError when the text is not one.
double toFloat(const QString& text);
// General number format with at most 15 significant digits: 2.5, 3.33333333333333, 2.
QString floatToText(double value);
// Rounds to the nearest integer, an exact half going to the even neighbour.
long long roundHalfEven(double value);
// The code that follows `last` (empty text counts as 0), padded with zeros to `width` digits.
QString nextCode(const QString& last, int width);

}  // namespace convert
