#pragma once
#include <QString>
#include <QStringList>
#include <QVector>

// One question of the paper: its text in the paper half, its answer in the answer-key half.
struct PaperQuestion {
    QString text;
    QString answer;
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

// The wizard's document writer: collects the paper, writes it into Papers/ below the working folder
// and asks the desktop to open it (a plain box says where it was saved when nothing can open it).
// On failure the failure's text is shown and false is returned, so that the wizard can stay open.
// A non-empty `blueprint` is printed after the answer key (see PaperContent::blueprint).
bool printPaper(const QString& kmh, const QStringList& typeNames, const QString& title, const QString& duration,
                const QString& total, const QVector<QStringList>& blueprint = {});
