#include "content/fonts.h"

#include <QStringList>

namespace fonts {

QFont song(int pixelSize, bool bold)
{
    QFont font;
    // 宋体 where it is installed, else a Song-style CJK font.
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("Noto Serif CJK SC"),
                      QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans CJK")});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

}  // namespace fonts
