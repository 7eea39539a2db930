#pragma once
// Sittings for the tests of measured difficulty: a stored paper of bank questions and the scores of
// a sitting of it, chosen so that each question's P is known.
#include <QString>
#include <QVector>

#include "analysis/sitting_store.h"
#include "data/convert.h"
#include "data/data_module.h"
#include "data/sql.h"
#include "library/paper_store.h"

namespace measuredtest {

// A paper of these questions (ids in stb, one section per run of the same type) stored in the
// library with their bank texts and scores.
inline library::StoredPaper storePaperOf(const QVector<qint64>& ids, const QString& title = QStringLiteral("单元测验"))
{
    library::StoredPaper paper;
    paper.title = title;
    paper.duration = QStringLiteral("45");
    double total = 0;
    for (const qint64 id : ids) {
        QSqlQuery q =
            sql::run(DM->db(), QStringLiteral("SELECT kmh, txh, th, zjh, nd, fs, tm, da FROM stb WHERE id=?"), {id});
        if (!q.next()) continue;
        library::StoredQuestion question{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                                         q.value(3).toString(), q.value(4).toString(), q.value(5).toString(),
                                         q.value(6).toString(), q.value(7).toString()};
        question.questionId = id;
        if (paper.kmh.isEmpty()) {
            paper.kmh = question.kmh;
            paper.kmm = sql::scalar(DM->db(), QStringLiteral("SELECT kmm FROM kmb WHERE kmh=?"), {paper.kmh});
        }
        if (paper.sections.isEmpty() || paper.sections.last().txh != question.txh) {
            library::StoredSection section;
            section.txh = question.txh;
            section.typeName = sql::scalar(DM->db(), QStringLiteral("SELECT txm FROM txb WHERE kmh=? AND txh=?"),
                                           {question.kmh, question.txh});
            paper.sections.append(section);
        }
        library::StoredSection& section = paper.sections.last();
        section.questions.append(question);
        section.count = int(section.questions.size());
        section.points += convert::toInt(question.fs);
        total += convert::toFloat(question.fs);
    }
    paper.total = QString::number(total);
    library::storePaper(DM->db(), paper);
    return paper;
}

// A sitting of `paper` by `students` students who each score shares[i] of question i's full marks
// (in paper order), so that question i's P in this sitting is shares[i].
inline qint64 storeSittingOf(const library::StoredPaper& paper, const QVector<double>& shares, int students = 10,
                             const QString& group = QStringLiteral("一班"))
{
    QVector<double> full;
    for (const library::StoredSection& section : paper.sections) {
        for (const library::StoredQuestion& q : section.questions) full << convert::toFloat(q.fs);
    }
    analysis::StoredSitting sitting;
    sitting.info.heldOn = QStringLiteral("2026-11-20");
    sitting.info.group = group;
    for (int s = 0; s < students; ++s) {
        analysis::Student student;
        student.id = QStringLiteral("%1%2").arg(group).arg(s + 1, 2, 10, QLatin1Char('0'));
        student.name = QStringLiteral("学生%1").arg(s + 1);
        student.group = group;
        for (int i = 0; i < full.size(); ++i) student.scores << shares.value(i) * full.at(i);
        student.choices = QString(full.size(), QLatin1Char(' '));
        sitting.students << student;
    }
    return analysis::storeSitting(DM->db(), paper, sitting);
}

// The id of the question of this subject, type and number.
inline qint64 idOf(const QString& kmh, const QString& txh, const QString& th)
{
    return sql::scalar(DM->db(), QStringLiteral("SELECT id FROM stb WHERE kmh=? AND txh=? AND th=?"), {kmh, txh, th})
        .toLongLong();
}

}  // namespace measuredtest
