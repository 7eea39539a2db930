#include "windows/analysis/analysis_charts.h"

#include <QAbstractSeries>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QGraphicsSimpleTextItem>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QScatterSeries>
#include <QToolTip>
#include <QValueAxis>

#include <cmath>
#include <numbers>

#include "content/fonts.h"

using namespace analysis;

namespace scorecharts {

namespace {

const char* const kLabelsProperty = "exavoroPointLabels";

QFont chartFont(int points)
{
    QFont font = fonts::song(points);
    return font;
}

QChart* newChart(const QString& title)
{
    auto* chart = new QChart;
    chart->setTitle(title);
    chart->setTitleFont(chartFont(13));
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setFont(chartFont(10));
    chart->legend()->setAlignment(Qt::AlignBottom);
    return chart;
}

QValueAxis* valueAxis(const QString& title, double low, double high)
{
    auto* axis = new QValueAxis;
    axis->setTitleText(title);
    axis->setTitleFont(chartFont(10));
    axis->setRange(low, high);
    return axis;
}

QString marksText(double marks)
{
    return QString::number(marks, 'g', 6);
}

// A dashed line from (x1, y1) to (x2, y2), not listed in the legend.
QLineSeries* guideLine(QChart* chart, double x1, double y1, double x2, double y2, const QColor& colour)
{
    auto* line = new QLineSeries;
    line->append(x1, y1);
    line->append(x2, y2);
    QPen pen(colour);
    pen.setStyle(Qt::DashLine);
    pen.setWidthF(1.5);
    line->setPen(pen);
    chart->addSeries(line);
    chart->legend()->markers(line).value(0)->setVisible(false);
    return line;
}

}  // namespace

QChart* distributionChart(const Sitting& sitting, const PaperStats& paper)
{
    QChart* chart = newChart(QStringLiteral("总分分布（%1 人）").arg(paper.students));
    const QVector<int> counts = distribution(sitting, kBins);
    const double width = paper.total / kBins;

    auto* bars = new QBarSet(QStringLiteral("人数"));
    bars->setColor(QColor(0x6A, 0x9F, 0xD8));
    QStringList categories;
    int most = 0;
    for (int i = 0; i < counts.size(); ++i) {
        *bars << counts.at(i);
        most = std::max(most, counts.at(i));
        categories << QStringLiteral("%1–%2").arg(marksText(std::round(i * width * 10) / 10),
                                                 marksText(std::round((i + 1) * width * 10) / 10));
    }
    auto* histogram = new QBarSeries;
    histogram->setBarWidth(0.95);
    histogram->append(bars);
    chart->addSeries(histogram);

    auto* x = new QBarCategoryAxis;
    x->append(categories);
    x->setTitleText(QStringLiteral("总分"));
    x->setTitleFont(chartFont(10));
    x->setLabelsFont(chartFont(9));
    chart->addAxis(x, Qt::AlignBottom);
    histogram->attachAxis(x);

    double peak = most;
    QLineSeries* curve = nullptr;
    if (paper.students >= 2 && std::isfinite(paper.sd) && paper.sd > 0 && width > 0) {
        // The normal density of the totals, times students × range width, is the count a range
        // would hold; the bars stand at 0 … kBins − 1, so a total t lies at t / width − 0.5.
        curve = new QLineSeries;
        curve->setName(QStringLiteral("正态曲线（平均分 %1，标准差 %2）").arg(figureText(paper.mean), figureText(paper.sd)));
        QPen pen(QColor(0xC0, 0x39, 0x2B));
        pen.setWidthF(2.5);
        curve->setPen(pen);
        constexpr int kSteps = 80;
        const double scale = paper.students * width / (paper.sd * std::sqrt(2 * std::numbers::pi));
        for (int i = 0; i <= kSteps; ++i) {
            const double t = paper.total * i / kSteps;
            const double z = (t - paper.mean) / paper.sd;
            const double count = scale * std::exp(-0.5 * z * z);
            peak = std::max(peak, count);
            curve->append(t / width - 0.5, count);
        }
        chart->addSeries(curve);
        auto* along = valueAxis(QString(), -0.5, kBins - 0.5);
        along->setVisible(false);
        chart->addAxis(along, Qt::AlignTop);
        curve->attachAxis(along);
    }
    // Whole students on the ticks: a step of 1, 2, 5, 10 … that gives at most ten of them.
    const double top = std::max(1.0, std::ceil(peak * 1.05));
    double step = 1;
    for (int i = 0; top / step > 10; ++i) step = (i % 3 == 1 ? 2.5 : 2) * step;  // 1, 2, 5, 10, 20, 50 …
    const int ticks = int(std::ceil(top / step));
    auto* y = valueAxis(QStringLiteral("人数"), 0, ticks * step);
    y->setTickCount(ticks + 1);
    y->setLabelFormat(QStringLiteral("%d"));
    y->setLabelsFont(chartFont(9));
    chart->addAxis(y, Qt::AlignLeft);
    histogram->attachAxis(y);
    if (curve) curve->attachAxis(y);
    return chart;
}

QChart* scatterChart(const Analysis& analysis, const QVector<AnalysedQuestion>& questions)
{
    QChart* chart = newChart(QStringLiteral("各题难度与区分度"));
    auto* points = new QScatterSeries;
    points->setName(QStringLiteral("题目（难度P, 区分度D）"));
    points->setMarkerSize(11);
    points->setColor(QColor(0x2E, 0x6D, 0xB4));
    QStringList labels;
    double lowest = -0.2;
    for (int i = 0; i < analysis.items.size(); ++i) {
        const ItemStats& item = analysis.items.at(i);
        const double d = std::isfinite(item.discrimination) ? item.discrimination : 0;
        points->append(item.difficulty, d);
        lowest = std::min(lowest, d);
        labels << QString::number(i < questions.size() ? questions.at(i).number : i + 1);
    }
    chart->addSeries(points);
    // D from 1 down to a multiple of 0.2 below the lowest question, ticks every 0.2, so that the line
    // D = 0.2 falls on a tick.
    const double bottom = std::min(-0.2, std::floor((lowest - 0.05) / 0.2) * 0.2);
    auto* x = valueAxis(QStringLiteral("难度 P（得分率）"), 0, 1);
    x->setTickCount(11);
    x->setLabelFormat(QStringLiteral("%.1f"));
    auto* y = valueAxis(QStringLiteral("区分度 D"), bottom, 1);
    y->setTickCount(int(std::lround((1 - bottom) / 0.2)) + 1);
    y->setLabelFormat(QStringLiteral("%.1f"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    points->attachAxis(x);
    points->attachAxis(y);
    // The lines of the flags: too hard left of P = 0.2, too easy right of P = 0.9, weak below D = 0.2.
    for (QLineSeries* line : {guideLine(chart, 0.2, bottom, 0.2, 1, QColor(0xC0, 0x39, 0x2B)),
                              guideLine(chart, 0.9, bottom, 0.9, 1, QColor(0xC0, 0x39, 0x2B)),
                              guideLine(chart, 0, 0.2, 1, 0.2, QColor(0xD6, 0x8A, 0x00))}) {
        line->attachAxis(x);
        line->attachAxis(y);
    }
    labelPoints(chart, labels);
    return chart;
}

QChart* optionsChart(const ItemStats& item, const AnalysedQuestion& question)
{
    if (question.key.isNull()) {
        return newChart(QStringLiteral("第 %1 题不是选择题，没有选项分析（请在表格中选择一道选择题）").arg(question.number));
    }
    if (item.options.isEmpty()) {
        return newChart(QStringLiteral("第 %1 题的成绩表填的是分数，没有学生所选的字母，没有选项分析").arg(question.number));
    }
    QChart* chart = newChart(QStringLiteral("第 %1 题各选项的选择比例（答案 %2）").arg(question.number).arg(question.key));
    auto* top = new QBarSet(QStringLiteral("高分组"));
    auto* bottom = new QBarSet(QStringLiteral("低分组"));
    auto* all = new QBarSet(QStringLiteral("全体"));
    top->setColor(QColor(0x2E, 0x86, 0x4B));
    bottom->setColor(QColor(0xC0, 0x39, 0x2B));
    all->setColor(QColor(0x9E, 0x9E, 0x9E));
    QStringList letters;
    for (const OptionShare& option : item.options) {
        *top << option.top * 100;
        *bottom << option.bottom * 100;
        *all << option.all * 100;
        letters << (option.letter == question.key ? QStringLiteral("%1（答案）").arg(option.letter) : QString(option.letter));
    }
    auto* series = new QBarSeries;
    series->append(top);
    series->append(bottom);
    series->append(all);
    // The shares stand above their bars, in the bars' own colours, so that a thin bar keeps its figure.
    series->setLabelsVisible(true);
    series->setLabelsPosition(QAbstractBarSeries::LabelsOutsideEnd);
    series->setLabelsFormat(QStringLiteral("@value%"));
    series->setLabelsPrecision(3);
    for (QBarSet* set : {top, bottom, all}) {
        set->setLabelColor(set->color().darker(130));
        set->setLabelFont(chartFont(9));
    }
    chart->addSeries(series);
    auto* x = new QBarCategoryAxis;
    x->append(letters);
    x->setLabelsFont(chartFont(10));
    chart->addAxis(x, Qt::AlignBottom);
    series->attachAxis(x);
    // Room above 100 % for the figure of a bar that reaches it; ticks every 20 %.
    auto* y = valueAxis(QStringLiteral("选择该项的比例（%）"), 0, 112);
    y->setTickType(QValueAxis::TicksDynamic);
    y->setTickAnchor(0);
    y->setTickInterval(20);
    y->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(y);
    return chart;
}

void labelPoints(QChart* chart, const QStringList& labels)
{
    QScatterSeries* points = nullptr;
    for (QAbstractSeries* s : chart->series()) {
        if ((points = qobject_cast<QScatterSeries*>(s))) break;
    }
    if (!points) return;
    chart->setProperty(kLabelsProperty, labels);
    QVector<QGraphicsSimpleTextItem*> items;
    for (const QString& text : labels) {
        auto* item = new QGraphicsSimpleTextItem(text, chart);
        item->setFont(chartFont(9));
        item->setZValue(10);
        items << item;
    }
    const auto place = [chart, points, items] {
        const QVector<QPointF> at = points->points();
        for (int i = 0; i < items.size() && i < at.size(); ++i) {
            const QPointF p = chart->mapToPosition(at.at(i), points);
            items.at(i)->setPos(p + QPointF(6, -items.at(i)->boundingRect().height() - 2));
            items.at(i)->setVisible(chart->plotArea().contains(p));
        }
    };
    QObject::connect(chart, &QChart::plotAreaChanged, chart, place);
    place();
}

QStringList pointLabels(const QChart* chart)
{
    return chart ? chart->property(kLabelsProperty).toStringList() : QStringList();
}

QChartView* makeView(QChart* chart, QWidget* parent)
{
    auto* view = new QChartView(chart, parent);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(360, 260);
    const QStringList labels = pointLabels(chart);
    for (QAbstractSeries* s : chart->series()) {
        if (auto* points = qobject_cast<QScatterSeries*>(s)) {
            QObject::connect(points, &QScatterSeries::hovered, view, [points, labels](const QPointF& p, bool state) {
                if (!state) {
                    QToolTip::hideText();
                    return;
                }
                const int i = int(points->points().indexOf(p));
                const QString number = labels.value(i, QStringLiteral("?"));
                QToolTip::showText(QCursor::pos(), QStringLiteral("第 %1 题：难度 %2，区分度 %3")
                                                       .arg(number, figureText(p.x()), figureText(p.y())));
            });
        }
    }
    return view;
}

QImage render(QChart* chart, const QSize& size)
{
    // Laid out at a smaller size and drawn enlarged: the texts keep the proportions they have on
    // screen, readable when the picture is shrunk to the page's width, and sharp.
    constexpr double kScale = 2.5;
    const QSizeF logical(size.width() / kScale, size.height() / kScale);
    QChartView view(chart);
    view.setRenderHint(QPainter::Antialiasing);
    view.resize(logical.toSize());
    chart->resize(logical);
    view.scene()->setSceneRect(QRectF(QPointF(0, 0), logical));
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    view.scene()->render(&painter, QRectF(QPointF(0, 0), QSizeF(size)), QRectF(QPointF(0, 0), logical));
    painter.end();
    return image.convertToFormat(QImage::Format_RGB32);
}

}  // namespace scorecharts
