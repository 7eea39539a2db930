#pragma once
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

#include "content/content.h"
#include "output/print_layout.h"

class QWidget;

// One question of the paper: its text in the paper half, its answer in the answer-key half.
struct PaperQuestion {
    QString text;
    QString answer;
    double score = 0;  // the question's score in the paper
};

// One section (question type) of the paper, in paper order.
struct PaperSection {
    QString typeName;
    int count = 0;         // number of questions of the type in sjb
    long long points = 0;  // sum of their scores, rounded half to even
    QVector<PaperQuestion> questions;
};

struct PaperContent {
    QString title;     // paper title as typed in the wizard
    QString duration;  // minutes, as typed
    QString total;     // total score, as typed
    QVector<PaperSection> sections;
    // The blueprint (双向细目表) the paper was composed from, printed as a table on a page of its
    // own after the answer key: rows of cell texts, the first row its header. Empty: not printed.
    QVector<QStringList> blueprint;
};

// The Chinese numeral of a section number: 1 "一" … 10 "十", 11 "十一" …; empty for 0 and below.
QString NumConvert(int n);

// Reads the composed paper of subject `kmh` from sjb through the data module, one section per
// type name in the given order, questions in the order of the sjb rows.
PaperContent collectPaper(const QString& kmh, const QStringList& typeNames, const QString& title,
                          const QString& duration, const QString& total);

// Writes the paper and its answer key as one .docx into `folder` (created when missing), named after
// the title; an existing file is never overwritten ("标题 (2).docx", …). The file is written to a
// temporary name first and renamed, so a failure leaves nothing behind. Returns the file's path;
// throws AppError with the failure's text.
QString writePaperDocument(const PaperContent& paper, const QString& folder);

// The formulas (as Office Math) and pictures that a paper's texts place, shared by every layout.
struct PaperMedia {
    QHash<QString, QString> omml;
    QHash<QString, content::StoredPicture> pictures;
    QHash<QString, int> placed;  // picture hash → index in the document being built, once placed
};

// Converts every formula of the paper (from the cache, the rest in one pandoc run) and loads its
// pictures from the bank; nothing for a paper of plain texts. Throws AppError naming each question
// whose formula cannot be converted.
std::optional<PaperMedia> preparePaperMedia(const PaperContent& paper);

// Appends a question or answer text after its number and ends its paragraph: plain text as it is,
// formulas as Office Math (inline or displayed), pictures in their place. `media` may be null for
// a paper of plain texts; its `placed` must belong to `doc`.
void appendPaperContent(docx::Document& doc, const QString& number, const QString& text, PaperMedia* media);

// The blueprint table under its own heading on a page of its own; nothing when the paper has none.
// `widthTwips` 0 spreads it over the width of an A4 portrait page.
void appendBlueprint(docx::Document& doc, const PaperContent& paper, int widthTwips = 0);

// The wizard's document writer: collects the paper, writes it into Papers/ below the working folder
// and asks the desktop to open it (a plain box says where it was saved when nothing can open it).
// On failure the failure's text is shown and false is returned, so that the wizard can stay open.
// Writes the paper in `layout`: in "标准" the one document above; in "考试用卷" the exam paper and,
// when the layout asks for it, its answer key as "标题（参考答案）.docx". Returns the paths, the paper
// first; when any write fails nothing is left behind and AppError is thrown.
QStringList writePaperDocuments(const PaperContent& paper, const QString& folder, const PrintLayout& layout);

// Opens the written paper in the desktop's word processor, or says where it was saved; a separate
// answer key is named in a message.
void announceDocuments(const QStringList& paths, QWidget* parent = nullptr);

// A non-empty `blueprint` is printed after the answer key (see PaperContent::blueprint), in either layout.
bool printPaper(const QString& kmh, const QStringList& typeNames, const QString& title, const QString& duration,
                const QString& total, const PrintLayout& layout = PrintLayout(),
                const QVector<QStringList>& blueprint = {});
