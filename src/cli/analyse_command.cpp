#include "cli/analyse_command.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <cmath>

#include "analysis/analysis_report.h"
#include "analysis/item_analysis.h"
#include "analysis/score_sheet.h"
#include "analysis/sitting_store.h"
#include "data/errors.h"
#include "library/paper_store.h"

namespace {

void printAnalysis(const analysis::Analysis& a, const QVector<analysis::SheetQuestion>& questions, QTextStream& out)
{
    using analysis::figureText;
    out << QStringLiteral("题号\t满分\t平均分\t难度P\t区分度D\t题总相关\t提示\n");
    for (int q = 0; q < a.items.size(); ++q) {
        const analysis::ItemStats& item = a.items.at(q);
        const QChar key = questions.at(q).key;
        out << QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\t%7\n")
                   .arg(q + 1)
                   .arg(questions.at(q).fullMarks)
                   .arg(figureText(item.mean), figureText(item.difficulty), figureText(item.discrimination),
                        figureText(item.itemRest), analysis::flagSummary(item, key));
        if (!item.options.isEmpty())
            out << QStringLiteral("\t选项（高分组/低分组）：") << analysis::optionSharesText(item, key) << '\n';
    }
    QStringList figures;
    for (const auto& [label, value] : analysis::paperFigures(a.paper)) {
        // Its own line, which scripts look for.
        if (label.startsWith(QLatin1String("Cronbach"))) continue;
        figures << label + QLatin1Char(' ') + value;
    }
    out << figures.join(QStringLiteral("，")) << '\n';
    out << QStringLiteral("Cronbach α = %1\n").arg(figureText(a.paper.alpha, 3));
}

}  // namespace

int analyseCommand(const QSqlDatabase& db, const AnalyseRequest& request, QTextStream& out, QTextStream& err)
{
    if (request.paperId < 0) throw AppError(QStringLiteral("请用 --paper 指定试卷库中试卷的编号。"));
    if (request.sheet.isEmpty() == request.scores.isEmpty()) {
        throw AppError(
            QStringLiteral("请用 --sheet 文件 写出成绩表，或用 --scores 文件 读入填好的成绩表（二者选一）。"));
    }
    const library::StoredPaper paper = library::loadPaper(db, request.paperId);
    const QVector<analysis::SheetQuestion> questions = analysis::sheetQuestions(paper);
    if (!request.sheet.isEmpty()) {
        const QString path = QDir::current().absoluteFilePath(request.sheet);
        if (QFileInfo::exists(path) && !request.force) {
            throw AppError(QStringLiteral("文件“%1”已存在，不会覆盖（要覆盖请加 --force）。").arg(path));
        }
        analysis::writeEmptySheet(path, questions);
        out << QStringLiteral("已写出试卷“%1”的成绩表 %2（%3 道题）。\n").arg(paper.title, path).arg(questions.size())
            << Qt::flush;
        return 0;
    }
    const QString path = QDir::current().absoluteFilePath(request.scores);
    const analysis::ReadSheet sheet = analysis::readSheetFile(path, questions);
    if (!sheet.clean()) {
        err << QStringLiteral("成绩表 %1 有 %2 处错误，未作分析%3：\n")
                   .arg(path)
                   .arg(sheet.problemCount)
                   .arg(sheet.problemCount > sheet.problems.size()
                            ? QStringLiteral("（以下是前 %1 处）").arg(sheet.problems.size())
                            : QString());
        for (const analysis::Problem& p : sheet.problems) {
            err << QStringLiteral("  第%1行第%2列：%3\n").arg(p.row).arg(p.column).arg(p.message);
        }
        err << Qt::flush;
        return 1;
    }
    if (sheet.students.isEmpty()) throw AppError(QStringLiteral("成绩表 %1 中没有学生。").arg(path));
    analysis::StoredSitting sitting;
    sitting.students = sheet.students;
    sitting.info.heldOn = request.heldOn;
    sitting.info.group = request.group;
    const analysis::Analysis result =
        analysis::analyse(analysis::combine(paper, {sitting}), request.passShare, request.excellentShare);
    out << QStringLiteral("试卷“%1”（%2）\n").arg(paper.title, paper.kmm);
    printAnalysis(result, questions, out);
    if (!request.report.isEmpty()) {
        const QString reportPath = QDir::current().absoluteFilePath(request.report);
        if (QFileInfo::exists(reportPath) && !request.force) {
            throw AppError(QStringLiteral("文件“%1”已存在，不会覆盖（要覆盖请加 --force）。").arg(reportPath));
        }
        analysis::ReportData report;
        report.paperTitle = paper.title;
        sitting.info.students = int(sitting.students.size());
        if (sitting.info.heldOn.isEmpty())
            sitting.info.heldOn = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
        report.sittings = {sitting.info};
        report.passShare = request.passShare;
        report.excellentShare = request.excellentShare;
        int number = 0;
        for (const library::StoredSection& section : paper.sections) {
            for (int i = 0; i < section.questions.size(); ++i, ++number) {
                report.questions << analysis::AnalysedQuestion{
                    number + 1, section.typeName, questions.at(number).fullMarks, questions.at(number).key};
            }
        }
        report.analysis = result;
        analysis::writeReport(reportPath, report);
        out << QStringLiteral("已写出分析报告 %1（图表见程序的“成绩分析”窗口）。\n").arg(reportPath);
    }
    if (request.store) {
        analysis::storeSitting(db, paper, sitting);
        out << QStringLiteral("已保存这次考试的成绩（%1，%2 人）。\n")
                   .arg(sitting.info.heldOn)
                   .arg(sitting.info.students);
    }
    out << Qt::flush;
    return 0;
}
