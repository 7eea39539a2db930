#pragma once
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <optional>

#include "content/formulas.h"
#include "output/paper_content.h"
#include "output/print_layout.h"

// Converts the formulas the bank's cache does not know (LaTeX sources in, Office Math out). Empty:
// pandoc converts them right here, one run per formula; a window passes one that shows progress.
using FormulaConverter = std::function<formulas::Conversion(const QStringList& latex)>;

// Reads the composed paper of subject `kmh` from sjb through the data module, one section per
// type name in the given order, questions in the order of the sjb rows.
PaperContent collectPaper(const QString& kmh, const QStringList& typeNames, const QString& title,
                          const QString& duration, const QString& total);

// Writes the paper and its answer key as one .docx into `folder` (created when missing), named after
// the title; an existing file is never overwritten ("标题 (2).docx", …). The file is written to a
// temporary name first and renamed, so a failure leaves nothing behind. Returns the file's path;
// throws AppError with the failure's text.
// A title as a file name: characters no file name may hold become "_", a leading dot would hide the
// file, and the name is kept short enough for any file system ("试卷" when nothing is left).
QString fileBaseName(const QString& title);

QString writePaperDocument(const PaperContent& paper, const QString& folder, const FormulaConverter& convert = {});

// Converts every formula of the paper (from the cache, the rest in one pandoc run) and loads its
// pictures from the bank; nothing for a paper of plain texts. Throws AppError naming each question
// whose formula cannot be converted.
std::optional<PaperMedia> preparePaperMedia(const PaperContent& paper, const FormulaConverter& convert = {});

// The wizard's document writer: collects the paper, writes it into Papers/ below the working folder
// and asks the desktop to open it (a plain box says where it was saved when nothing can open it).
// On failure the failure's text is shown and false is returned, so that the wizard can stay open.
// Writes the paper in `layout`: in "标准" the one document above; in "考试用卷" the exam paper and,
// when the layout asks for it, its answer key as "标题（参考答案）.docx". Returns the paths, the paper
// first; when any write fails nothing is left behind and AppError is thrown.
QStringList writePaperDocuments(const PaperContent& paper, const QString& folder, const PrintLayout& layout,
                                const FormulaConverter& convert = {});
