#pragma once
#include <QFont>

namespace fonts {

// The song-style font the forms and the pictures of text use, at the given pixel size.
QFont song(int pixelSize, bool bold = false);

}  // namespace fonts
