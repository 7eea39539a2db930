#pragma once
#include <QImage>
#include <QString>
#include <QStringList>
#include <QVector>

#include "analysis/item_analysis.h"
#include "analysis/sitting_store.h"

namespace docx {
class Document;
}

// How an item analysis reads to a teacher (成绩分析): the figures as text, why a question is flagged,
// and the report for the 教研组 as a Word document. The window and the report say the same things in
// the same words, so both take them from here.
namespace analysis {

// A figure with two decimals ("0.62", "-0.10"); "—" when it cannot be computed (NaN).
QString figureText(double value, int decimals = 2);
// A share as a percentage with one decimal: "65.0%"; "—" for NaN.
QString percentText(double share);

// A question of the analysed paper as the table lists it.
struct AnalysedQuestion {
    int number = 0;       // 1 … n in paper order, as on the score sheet
    QString typeName;     // 题型
    double fullMarks = 0;
    QChar key{};          // a choice question's key letter, null otherwise
};

// Why a question deserves a look, one sentence per flag, each naming the figure and its line:
// "难度 0.15 低于 0.2：题目过难". `key` tells the wrong letters of a choice question (null: none).
struct FlagReasons {
    QString difficulty;      // too hard or too easy
    QString discrimination;  // D below 0.2
    QString itemRest;        // against the rest of the paper
    QString options;         // a wrong letter drawing the top group more than the bottom group
    bool any() const
    {
        return !difficulty.isEmpty() || !discrimination.isEmpty() || !itemRest.isEmpty() || !options.isEmpty();
    }
    QStringList all() const;
};
FlagReasons flagReasons(const ItemStats& item, QChar key);

// The flags in a word each, for a narrow column: "过难、区分弱"; empty when none.
QString flagSummary(const ItemStats& item, QChar key);

// The wrong letters that drew more of the top group than of the bottom group.
QString misleadingLetters(const ItemStats& item, QChar key);

// A choice question's letters with their shares of the top and the bottom group, the key marked
// with "*": "A 10%/40%  B* 80%/35%  C 5%/15%  D 5%/10%". Empty when the question has no letters.
QString optionSharesText(const ItemStats& item, QChar key);

// The paper's figures, label and value, in the order the window and the report show them:
// 人数, 平均分, 标准差, 中位数, 最高分, 最低分, 及格率, 优秀率, Cronbach α, 测量标准误.
QVector<QPair<QString, QString>> paperFigures(const PaperStats& paper);

// A sitting as a line: "2026-12-01  高一（1）班  40 人".
QString sittingText(const SittingInfo& sitting);

// Everything the report shows.
struct ReportData {
    QString paperTitle;
    QVector<SittingInfo> sittings;  // the sittings analysed together
    double passShare = 0.6;
    double excellentShare = 0.85;
    QVector<AnalysedQuestion> questions;
    Analysis analysis;
    // The charts, each with its caption, drawn by the caller (the report has no widgets).
    QVector<QPair<QString, QImage>> charts;
};

// The report: the title ("<paper> 成绩分析"), the sittings, the paper's figures, the per-question
// table with its flags in a word and below it the reasons in full ("第 3 题：难度 0.15 低于 0.2：
// 题目过难"), the choice questions' letters, and the charts.
docx::Document buildReport(const ReportData& data);

// Writes the report into `path` through a temporary file, so that a failure leaves any older file
// whole; throws AppError.
void writeReport(const QString& path, const ReportData& data);

}  // namespace analysis
