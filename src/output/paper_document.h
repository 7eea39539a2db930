#pragma once
#include <QString>
#include <QStringList>
#include <QVector>

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

bool printPaper(const QString& kmh, const QStringList& typeNames, const QString& title, const QString& duration,
                const QString& total, const PrintLayout& layout = PrintLayout());
