#pragma once
#include <QImage>
#include <QSize>
#include <QVector>

#include "analysis/analysis_report.h"
#include "analysis/item_analysis.h"

class QChart;
class QChartView;

// The charts of 成绩分析, built with Qt Charts from an analysis: the distribution of the totals with
// the normal curve of the same mean and spread, the questions placed by difficulty and
// discrimination, and a choice question's letters chosen by the top and the bottom group.
namespace scorecharts {

// How many ranges of the full marks the distribution chart counts the totals in.
constexpr int kBins = 10;

// The totals counted in kBins ranges (bars, one per range) and, when the totals spread, the normal
// curve of their mean and standard deviation scaled to the counts (a line over the bars).
QChart* distributionChart(const analysis::Sitting& sitting, const analysis::PaperStats& paper);
// One point per question at (P, D), with the lines P = 0.2, P = 0.9 and D = 0.2; question numbers
// stand beside the points (see ChartLabels).
QChart* scatterChart(const analysis::Analysis& analysis, const QVector<analysis::AnalysedQuestion>& questions);
// The shares of the top and the bottom group (and of all students) choosing each letter of the
// question; a chart with no series and a title saying why when the question has no letters.
QChart* optionsChart(const analysis::ItemStats& item, const analysis::AnalysedQuestion& question);

// Keeps a text beside each point of a chart's scatter series: the numbers of the questions, placed
// again whenever the plot area moves. Installed on the chart it labels (and deleted with it).
void labelPoints(QChart* chart, const QStringList& labels);
// The texts placed by labelPoints (for tests).
QStringList pointLabels(const QChart* chart);

// A view of a chart that shows the question under the mouse for the scatter chart.
QChartView* makeView(QChart* chart, QWidget* parent);

// Draws a chart offscreen at a fixed size, for a document. Takes ownership of the chart.
QImage render(QChart* chart, const QSize& size = QSize(1600, 900));

}  // namespace scorecharts
