#pragma once
#include <QMap>
#include <QString>
#include <QStringList>

#include "output/docx_package.h"

struct PaperContent;
struct PaperMedia;

// The print layouts (版式) a paper can be written in. "标准" is the document the wizard has always
// written; "考试用卷" is the paper as an exam office prints it.
struct PrintLayout {
    enum Kind { Standard, Exam };
    enum Candidate { HeaderBlock, SealLine };  // where candidates write school, class, name, number
    enum PaperSize { A4Portrait, A3TwoColumns, B4TwoColumns };
    enum AnswerKey { KeyAtEnd, KeySeparateFile };

    Kind kind = Standard;
    Candidate candidate = HeaderBlock;
    PaperSize size = A4Portrait;
    AnswerKey answerKey = KeyAtEnd;
    QString notes;                   // the 注意事项 lines, one a line
    QMap<QString, int> answerLines;  // question type name → blank lines after each of its questions
    bool continuousNumbers = true;   // questions numbered 1…N across the sections rather than from 1 in each
    bool scoreBoxes = true;          // a small 得分/评卷人 table before each section heading

    // The name stored with a paper: "标准" or "考试用卷".
    QString name() const;
    static QString defaultNotes();
    // The layout the user chose last time; "标准" for a user who never chose one.
    static PrintLayout load(const QString& user);
    void save(const QString& user) const;
};

// The two text lines of the sealing column: the candidate's lines and the dashed seal line.
QStringList sealLineTexts(const docx::PageSetup& page);

// The section heading of the exam layout: "一、选择题（本大题共5小题，每小题3分，共15分）", or
// without "每小题" when the scores in the section differ.
QString examHeading(int index, const QString& typeName, int count, long long points, const QList<double>& scores);

// The paper in the exam layout, and its answer key (which is also appended to the paper when the
// layout keeps the key at the end); the blueprint, when the paper has one, follows the key.
// Question and answer texts place their formulas and pictures from `media` (see
// preparePaperMedia); null for a paper of plain texts.
docx::Document buildExamPaper(const PaperContent& paper, const PrintLayout& layout, const PaperMedia* media = nullptr);
docx::Document buildExamAnswerKey(const PaperContent& paper, const PrintLayout& layout,
                                  const PaperMedia* media = nullptr);
