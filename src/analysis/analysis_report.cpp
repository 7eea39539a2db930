#include "analysis/analysis_report.h"

#include <QDateTime>
#include <QDir>
#include <QSaveFile>

#include <cmath>

#include "data/errors.h"
#include "output/docx_package.h"

namespace analysis {

namespace {

// The lines of flagsOf(), repeated in the reasons' texts.
constexpr double kHardLine = 0.2;
constexpr double kEasyLine = 0.9;
constexpr double kWeakLine = 0.2;

// A text the document keeps on one line of its paragraph.
QString oneLine(QString text)
{
    for (QChar& c : text) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QLatin1Char('\v') || c == QLatin1Char('\t')) {
            c = QLatin1Char(' ');
        }
    }
    return text;
}

QString marksText(double marks)
{
    return QString::number(marks, 'g', 6);
}

}  // namespace

QString figureText(double value, int decimals)
{
    if (!std::isfinite(value)) return QStringLiteral("—");
    // -0.00 reads as a negative figure that is none.
    if (std::fabs(value) < 0.5 * std::pow(10.0, -decimals)) value = 0;
    return QString::number(value, 'f', decimals);
}

QString percentText(double share)
{
    if (!std::isfinite(share)) return QStringLiteral("—");
    return QString::number(share * 100, 'f', 1) + QLatin1Char('%');
}

QStringList FlagReasons::all() const
{
    QStringList out;
    for (const QString* text : {&difficulty, &discrimination, &itemRest, &options}) {
        if (!text->isEmpty()) out << *text;
    }
    return out;
}

QString misleadingLetters(const ItemStats& item, QChar key)
{
    QString letters;
    if (key.isNull()) return letters;
    for (const OptionShare& option : item.options) {
        if (option.letter != key && option.top > option.bottom) letters += option.letter;
    }
    return letters;
}

FlagReasons flagReasons(const ItemStats& item, QChar key)
{
    const Flags flags = flagsOf(item);
    FlagReasons reasons;
    if (flags.tooHard) {
        reasons.difficulty = QStringLiteral("难度 %1 低于 %2：题目过难").arg(figureText(item.difficulty)).arg(kHardLine);
    } else if (flags.tooEasy) {
        reasons.difficulty = QStringLiteral("难度 %1 高于 %2：题目过易").arg(figureText(item.difficulty)).arg(kEasyLine);
    }
    if (flags.weak) {
        reasons.discrimination =
            QStringLiteral("区分度 %1 低于 %2：区分能力弱").arg(figureText(item.discrimination)).arg(kWeakLine);
    }
    if (flags.negative) {
        reasons.itemRest =
            QStringLiteral("题总相关 %1 低于 0：与其余题目的得分方向相反").arg(figureText(item.itemRest));
    }
    QStringList misleading;
    for (const OptionShare& option : item.options) {
        if (key.isNull() || option.letter == key || option.top <= option.bottom) continue;
        misleading << QStringLiteral("选项 %1 吸引高分组 %2，多于低分组 %3")
                          .arg(option.letter)
                          .arg(percentText(option.top), percentText(option.bottom));
    }
    if (!misleading.isEmpty()) {
        reasons.options = misleading.join(QStringLiteral("；")) + QStringLiteral("：干扰项或答案可能有误");
    } else if (flags.distractor) {
        reasons.options = QStringLiteral("有错误选项吸引高分组多于低分组：干扰项或答案可能有误");
    }
    return reasons;
}

QString flagSummary(const ItemStats& item, QChar key)
{
    const Flags flags = flagsOf(item);
    QStringList words;
    if (flags.tooHard) words << QStringLiteral("过难");
    if (flags.tooEasy) words << QStringLiteral("过易");
    if (flags.weak) words << QStringLiteral("区分弱");
    if (flags.negative) words << QStringLiteral("负相关");
    if (flags.distractor || !misleadingLetters(item, key).isEmpty()) words << QStringLiteral("干扰项");
    return words.join(QStringLiteral("、"));
}

QString optionSharesText(const ItemStats& item, QChar key)
{
    QStringList parts;
    for (const OptionShare& option : item.options) {
        const QString letter = option.letter == key ? QString(option.letter) + QLatin1Char('*') : QString(option.letter);
        parts << QStringLiteral("%1 %2%/%3%")
                     .arg(letter)
                     .arg(std::lround(option.top * 100))
                     .arg(std::lround(option.bottom * 100));
    }
    return parts.join(QStringLiteral("  "));
}

QVector<QPair<QString, QString>> paperFigures(const PaperStats& paper)
{
    return {
        {QStringLiteral("人数"), QString::number(paper.students)},
        {QStringLiteral("平均分"), figureText(paper.mean)},
        {QStringLiteral("标准差"), figureText(paper.sd)},
        {QStringLiteral("中位数"), figureText(paper.median, 1)},
        {QStringLiteral("最高分"), figureText(paper.highest, 1)},
        {QStringLiteral("最低分"), figureText(paper.lowest, 1)},
        {QStringLiteral("及格率"), percentText(paper.passRate)},
        {QStringLiteral("优秀率"), percentText(paper.excellentRate)},
        {QStringLiteral("Cronbach α"), figureText(paper.alpha, 3)},
        {QStringLiteral("测量标准误"), figureText(paper.sem)},
    };
}

QString sittingText(const SittingInfo& sitting)
{
    QStringList parts{sitting.heldOn};
    if (!sitting.group.trimmed().isEmpty()) parts << oneLine(sitting.group.trimmed());
    parts << QStringLiteral("%1 人").arg(sitting.students);
    return parts.join(QStringLiteral("  "));
}

docx::Document buildReport(const ReportData& data)
{
    if (data.questions.size() != data.analysis.items.size()) {
        throw AppError(QStringLiteral("成绩分析的题目数与试卷不符，报告没有生成。"));
    }
    docx::Document doc;
    int paragraph = 0;
    doc.append(oneLine(data.paperTitle) + QStringLiteral(" 成绩分析\r"));
    doc.format(paragraph++, 16, true, true);
    doc.append(QStringLiteral("生成时间：%1\r").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
    doc.format(paragraph++, 10.5, false, true);

    doc.append(QStringLiteral("一、考试\r"));
    doc.keepWithNext(paragraph);
    doc.format(paragraph++, 12, true, false);
    for (const SittingInfo& sitting : data.sittings) {
        doc.append(sittingText(sitting) + QStringLiteral("\r"));
        ++paragraph;
    }
    doc.append(QStringLiteral("及格线为总分的 %1%，优秀线为总分的 %2%。\r")
                   .arg(std::lround(data.passShare * 100))
                   .arg(std::lround(data.excellentShare * 100)));
    ++paragraph;

    doc.append(QStringLiteral("二、全卷统计（总分 %1 分）\r").arg(marksText(data.analysis.paper.total)));
    doc.format(paragraph, 12, true, false);
    doc.keepWithNext(paragraph);
    docx::Table figures;
    figures.rows.append({QStringLiteral("项目"), QStringLiteral("数值"), QStringLiteral("项目"), QStringLiteral("数值")});
    const auto pairs = paperFigures(data.analysis.paper);
    for (int i = 0; i < pairs.size(); i += 2) {
        QStringList row{pairs.at(i).first, pairs.at(i).second};
        if (i + 1 < pairs.size()) row << pairs.at(i + 1).first << pairs.at(i + 1).second;
        figures.rows.append(row);
    }
    doc.appendTable(figures);

    doc.append(QStringLiteral("三、各题指标\r"));
    paragraph = int(doc.paragraphs().size()) - 2;
    doc.format(paragraph, 12, true, false);
    doc.keepWithNext(paragraph);
    docx::Table items;
    items.rows.append({QStringLiteral("题号"), QStringLiteral("题型"), QStringLiteral("满分"), QStringLiteral("平均分"),
                       QStringLiteral("难度P"), QStringLiteral("区分度D"), QStringLiteral("题总相关"),
                       QStringLiteral("提示")});
    bool anyChoice = false;
    QStringList reasonLines;
    for (int i = 0; i < data.questions.size(); ++i) {
        const AnalysedQuestion& q = data.questions.at(i);
        const ItemStats& item = data.analysis.items.at(i);
        const FlagReasons reasons = flagReasons(item, q.key);
        if (reasons.any()) {
            reasonLines << QStringLiteral("第 %1 题：%2").arg(q.number).arg(reasons.all().join(QStringLiteral("；")));
        }
        anyChoice = anyChoice || (!q.key.isNull() && !item.options.isEmpty());
        items.rows.append({QString::number(q.number), oneLine(q.typeName), marksText(q.fullMarks), figureText(item.mean),
                           figureText(item.difficulty), figureText(item.discrimination), figureText(item.itemRest),
                           flagSummary(item, q.key)});
    }
    doc.appendTable(items);
    if (reasonLines.isEmpty()) {
        doc.append(QStringLiteral("没有需要注意的题目。\r"));
    } else {
        doc.append(QStringLiteral("共 %1 道题需要注意：\r").arg(reasonLines.size()));
        for (const QString& line : reasonLines) doc.append(line + QStringLiteral("\r"));
    }

    if (anyChoice) {
        doc.append(QStringLiteral("四、选择题选项分析（高分组/低分组选择各选项的比例，*为答案）\r"));
        doc.format(int(doc.paragraphs().size()) - 2, 12, true, false);
        doc.keepWithNext(int(doc.paragraphs().size()) - 2);
        docx::Table options;
        options.rows.append({QStringLiteral("题号"), QStringLiteral("答案"), QStringLiteral("各选项 高分组/低分组")});
        for (int i = 0; i < data.questions.size(); ++i) {
            const AnalysedQuestion& q = data.questions.at(i);
            const ItemStats& item = data.analysis.items.at(i);
            if (q.key.isNull() || item.options.isEmpty()) continue;
            options.rows.append({QString::number(q.number), QString(q.key), optionSharesText(item, q.key)});
        }
        doc.appendTable(options);
    }

    if (!data.charts.isEmpty()) {
        doc.append(QStringLiteral("%1、图表\r").arg(anyChoice ? QStringLiteral("五") : QStringLiteral("四")));
        doc.format(int(doc.paragraphs().size()) - 2, 12, true, false);
        doc.keepWithNext(int(doc.paragraphs().size()) - 2);
        for (int i = 0; i < data.charts.size(); ++i) {
            const QImage& image = data.charts.at(i).second;
            if (image.isNull() || image.width() <= 0) continue;
            const int picture = doc.addPicture(QStringLiteral("图%1").arg(i + 1), image);
            // As wide as the printable area, the picture's own proportions kept.
            docx::PicturePlacement placement;
            placement.cx = qint64(docx::kPrintableWidthPixels) * docx::kEmuPerPixel;
            placement.cy = placement.cx * image.height() / image.width();
            doc.appendPicture(picture, placement);
            doc.append(QStringLiteral("\r"));
            doc.keepWithNext(int(doc.paragraphs().size()) - 2);  // the picture stays above its caption
            doc.append(QStringLiteral("图%1  %2\r").arg(i + 1).arg(oneLine(data.charts.at(i).first)));
            doc.format(int(doc.paragraphs().size()) - 2, 10.5, false, true);
        }
    }
    return doc;
}

void writeReport(const QString& path, const ReportData& data)
{
    const QByteArray bytes = buildReport(data).package();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        throw AppError(QStringLiteral("无法写入文件“%1”：%2，报告没有生成。")
                           .arg(QDir::toNativeSeparators(path), file.errorString()));
    }
}

}  // namespace analysis
