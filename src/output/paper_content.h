#pragma once
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

#include "content/content.h"
#include "data/picture_refs.h"
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
    // How a picture whose marker gives no width is shown: Sensible (the exam layout) keeps it within
    // half the text column's width and 5 cm of height; Natural (the "标准" document, as it always
    // was) shows it at its own size, only scaled down to the printable area of an A4 page.
    enum DefaultSize { Sensible, Natural };
    DefaultSize defaultSize = Sensible;
};

// The tallest a picture without a width of its own prints in the exam layout, in EMU (5 cm).
constexpr qint64 kSensiblePictureHeightEmu = 5 * docx::kEmuPerCm;

// The size (EMU) a picture of `pixels` (at 96 dpi) prints at on `page` when its marker asks for
// `placement`: a width in centimetres or in percent of the column, or with none the default size
// `defaultSize` says. Never wider than the column nor taller than the printable area, aspect kept;
// a default size never enlarges the picture.
QSize pictureExtentEmu(QSize pixels, const picture_refs::Placement& placement, const docx::PageSetup& page,
                       PaperMedia::DefaultSize defaultSize);

// Text typed by the user stays inside its paragraph: its line ends become line breaks.
QString inParagraph(QString text);

// Appends a question or answer text after its number and ends its paragraph: plain text as it is,
// formulas as Office Math (inline or displayed), pictures in their place. `media` may be null for
// a paper of plain texts; its `placed` must belong to `doc`.
void appendPaperContent(docx::Document& doc, const QString& number, const QString& text, PaperMedia* media);

// The blueprint table under its own heading on a page of its own; nothing when the paper has none.
// `widthTwips` 0 spreads it over the width of an A4 portrait page.
void appendBlueprint(docx::Document& doc, const PaperContent& paper, int widthTwips = 0);
