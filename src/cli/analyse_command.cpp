#include "cli/analyse_command.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>

#include "analysis/item_analysis.h"
#include "analysis/score_sheet.h"
#include "analysis/sitting_store.h"
#include "data/errors.h"
#include "library/paper_store.h"

namespace {

QString fixed(double v, int decimals)
{
    return std::isfinite(v) ? QString::number(v, 'f', decimals) : QStringLiteral("—");
}

QString percent(double share)
{
    return QString::number(share * 100, 'f', 1) + QLatin1Char('%');
}

// Why a question deserves a look, in a few words.
QString flagText(const analysis::Flags& f)
{
    QStringList why;
    if (f.tooHard) why << QStringLiteral("过难");
    if (f.tooEasy) why << QStringLiteral("过易");
    if (f.weak) why << QStringLiteral("区分度低");
    if (f.negative) why << QStringLiteral("与总分负相关");
    if (f.distractor) why << QStringLiteral("干扰项异常");
    return why.join(QStringLiteral("、"));
}

void printAnalysis(const analysis::Analysis& a, const QVector<analysis::SheetQuestion>& questions, QTextStream& out)
{
    out << QStringLiteral("题号\t满分\t平均分\t难度P\t区分度D\t题总相关\t提示\n");
    for (int q = 0; q < a.items.size(); ++q) {
        const analysis::ItemStats& item = a.items.at(q);
        out << QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\t%7\n")
                   .arg(q + 1)
                   .arg(questions.at(q).fullMarks)
                   .arg(fixed(item.mean, 2), fixed(item.difficulty, 2), fixed(item.discrimination, 2),
                        fixed(item.itemRest, 2), flagText(analysis::flagsOf(item)));
        // Letters are shown where students' letters were given; a sheet with points only has none.
        double chosen = 0;
        for (const analysis::OptionShare& o : item.options) chosen += o.all;
        if (chosen > 0) {
            QStringList shares;
            for (const analysis::OptionShare& o : item.options) {
                shares << QStringLiteral("%1%2 %3/%4")
                              .arg(o.letter)
                              .arg(o.letter == questions.at(q).key ? QStringLiteral("*") : QString())
                              .arg(percent(o.top), percent(o.bottom));
            }
            out << QStringLiteral("\t选项（高分组/低分组）：") << shares.join(QStringLiteral("  ")) << '\n';
        }
    }
    const analysis::PaperStats& p = a.paper;
    out << QStringLiteral("人数 %1，满分 %2，平均分 %3，标准差 %4，中位数 %5，最高分 %6，最低分 %7\n")
               .arg(p.students)
               .arg(p.total)
               .arg(fixed(p.mean, 2), fixed(p.sd, 2), fixed(p.median, 2))
               .arg(p.highest)
               .arg(p.lowest);
    out << QStringLiteral("及格率 %1，优秀率 %2\n").arg(percent(p.passRate), percent(p.excellentRate));
    out << QStringLiteral("Cronbach α = %1\n").arg(fixed(p.alpha, 3));
    out << QStringLiteral("测量标准误 %1\n").arg(fixed(p.sem, 2));
}

}  // namespace

int analyseCommand(const QSqlDatabase& db, const AnalyseRequest& request, QTextStream& out, QTextStream& err)
{
    if (request.paperId < 0) throw AppError(QStringLiteral("请用 --paper 指定试卷库中试卷的编号。"));
    if (request.sheet.isEmpty() == request.scores.isEmpty()) {
        throw AppError(QStringLiteral("请用 --sheet 文件 写出成绩表，或用 --scores 文件 读入填好的成绩表（二者选一）。"));
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
        err << QStringLiteral("成绩表 %1 有 %2 处错误，未作分析：\n").arg(path).arg(sheet.problems.size());
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
    if (request.store) {
        analysis::storeSitting(db, paper, sitting);
        out << QStringLiteral("已保存这次考试的成绩（%1，%2 人）。\n").arg(sitting.info.heldOn).arg(sitting.info.students);
    }
    out << Qt::flush;
    return 0;
}
