#pragma once
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

#include "content/content.h"
#include "output/docx_package.h"

// The paper as every layout prints it: its sections and questions, the formulas and pictures its
// texts place, and the pieces each layout appends to its document in the same way.

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

// The formulas (as Office Math) and pictures that a paper's texts place, shared by every layout.
struct PaperMedia {
    QHash<QString, QString> omml;
    QHash<QString, content::StoredPicture> pictures;
    QHash<QString, int> placed;  // picture hash → index in the document being built, once placed
};

// Text typed by the user stays inside its paragraph: its line ends become line breaks.
QString inParagraph(QString text);

// Appends a question or answer text after its number and ends its paragraph: plain text as it is,
// formulas as Office Math (inline or displayed), pictures in their place. `media` may be null for
// a paper of plain texts; its `placed` must belong to `doc`.
void appendPaperContent(docx::Document& doc, const QString& number, const QString& text, PaperMedia* media);

// The blueprint table under its own heading on a page of its own; nothing when the paper has none.
// `widthTwips` 0 spreads it over the width of an A4 portrait page.
void appendBlueprint(docx::Document& doc, const PaperContent& paper, int widthTwips = 0);
