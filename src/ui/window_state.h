#pragma once
#include <QString>

class QSplitter;

// What a window keeps of its arrangement between openings (where a splitter's handle was left),
// per account of the computer, in the program's settings file "windows" beside the layouts file.
namespace ui {

// Gives the splitter the sizes it was last left with under `key`, when they fit it (as many
// parts as it has, none negative, not all empty); otherwise its sizes stay as they are. From then
// on every move of its handle is kept under `key`.
void keepSplitterSizes(QSplitter* splitter, const QString& key);

// The sizes kept under `key` ("" when none), as "150,70": for checking what was kept.
QString keptSplitterSizes(const QString& key);

}  // namespace ui
