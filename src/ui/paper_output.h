#pragma once
#include <QString>
#include <QStringList>
#include <QVector>

#include "content/formulas.h"
#include "output/print_layout.h"

class QWidget;

// Writing a paper from a window: the formulas converted under a progress window, the document
// opened, failures shown.

// Converts the formulas the cache does not know. In the program (a widget application, on its
// window thread) pandoc runs on a thread of its own while a progress window with 取消 keeps the
// windows painted; elsewhere (a worker thread) it runs right here. A FormulaConverter for
// writePaperDocuments.
formulas::Conversion convertFormulasShowingProgress(const QStringList& missing);

// Opens the written paper in the desktop's word processor, or says where it was saved; a separate
// answer key is named in a message.
void announceDocuments(const QStringList& paths, QWidget* parent = nullptr);

// A non-empty `blueprint` is printed after the answer key (see PaperContent::blueprint), in either layout.
bool printPaper(const QString& kmh, const QStringList& typeNames, const QString& title, const QString& duration,
                const QString& total, const PrintLayout& layout = PrintLayout(),
                const QVector<QStringList>& blueprint = {});
