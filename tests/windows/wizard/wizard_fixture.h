#pragma once
// Shared bank for the wizard tests: two subjects whose types and chapters carry the same codes.
#include "test_support.h"

#include <QString>

namespace wizardtest {

// 数学 (01): types 选择题 01, 填空题 02, 解答题 03; chapters 第一章 01, 第二章 02.
// 语文 (02): type 选择题 01; chapter 第一章 01. 物理 (03): no types.
inline void seedSubjects(testing::Workspace& ws)
{
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('01','数学'), ('02','语文'), ('03','物理')");
    ws.exec("INSERT INTO txb (kmh, txh, txm, bz) VALUES ('01','01','选择题','0'), ('01','02','填空题','0'),"
            " ('01','03','解答题','0'), ('02','01','选择题','0')");
    ws.exec("INSERT INTO zjb (kmh, zjh, zjm, bz) VALUES ('01','01','第一章','0'), ('01','02','第二章','0'),"
            " ('02','01','第一章','0')");
}

inline void addQuestion(testing::Workspace& ws, const QString& kmh, const QString& txh, const QString& th,
                        const QString& zjh, const QString& nd, const QString& tm = QString())
{
    ws.exec("INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, time, bz) VALUES (?,?,?,?,?,?,?,?,?,?)",
            {kmh, txh, th, zjh, nd, "5", tm.isEmpty() ? "题" + kmh + txh + th : tm, "答" + kmh + txh + th, "8:00:00",
             "x"});
}

// `count` questions of one subject, type and chapter, numbered from `firstNumber` (three digits,
// longer from 1000 on), all of difficulty 易, written in one transaction.
inline void addQuestions(testing::Workspace& ws, const QString& kmh, const QString& txh, const QString& zjh,
                         int firstNumber, int count)
{
    QVector<QVariantList> rows;
    rows.reserve(count);
    for (int i = firstNumber; i < firstNumber + count; ++i) {
        const QString n = QString::number(i);
        rows.append({kmh, txh, QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0')), zjh, QStringLiteral("易"),
                     QStringLiteral("5"), QStringLiteral("题") + n, QStringLiteral("答") + n, QStringLiteral("8:00:00"),
                     QStringLiteral("")});
    }
    testing::insertRows(ws, QStringLiteral("stb"), {"kmh", "txh", "th", "zjh", "nd", "fs", "tm", "da", "time", "bz"},
                        rows);
}

}  // namespace wizardtest

#include "ui/forms.h"
#include "data/composition_state.h"
#include "data/data_module.h"
#include "data/sql.h"
#include "windows/wizard/detail_settings.h"
#include "windows/wizard/overall_settings.h"

#include <QApplication>
#include <QListWidget>
#include <QToolButton>

namespace wizardtest {

// Opens step 1 on the first subject with every type in the paper, then step 2 over it (shown,
// not run modally, so the test drives it). `Step2` lets a test replace the document writer.
template <typename Step2 = TXxszF>
Step2* openStepTwo()
{
    auto* step1 = new TZtszF(nullptr);
    ZtszF = step1;
    step1->show();
    step1->SBtnQbyrClick();
    auto* step2 = new Step2(step1);
    XxszF = step2;
    step2->show();
    QApplication::setActiveWindow(step2);
    return step2;
}

inline QStringList lines(const QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

// Ticks or unticks a chapter in the check list as a click on its box does.
inline void tick(TXxszF* dlg, const QString& chapter, bool on = true)
{
    const auto found = dlg->CheckListBoxZj->findItems(chapter, Qt::MatchExactly);
    if (!found.isEmpty()) found.first()->setCheckState(on ? Qt::Checked : Qt::Unchecked);
}

inline void selectType(TXxszF* dlg, int row)
{
    dlg->ListBoxTx->setCurrentRow(row);
}

// The flags of the paper being composed, set and read by code through the composition state as
// the wizard does: txb.bz and zjb.bz in a bank file ("1" chosen, "0" not), the session's own on a
// server. Type and chapter names are unique within a subject in these banks.
inline QString typeFlag(testing::Workspace& ws, const QString& kmh, const QString& txh)
{
    const QString txm = ws.scalar("SELECT txm FROM txb WHERE kmh=? AND txh=?", {kmh, txh});
    return composition::isTypeChosen(DM->db(), kmh, txm) ? QStringLiteral("1") : QStringLiteral("0");
}

inline void setTypeFlag(testing::Workspace& ws, const QString& kmh, const QString& txh, bool chosen)
{
    const QString txm = ws.scalar("SELECT txm FROM txb WHERE kmh=? AND txh=?", {kmh, txh});
    composition::setTypeChosen(DM->db(), kmh, txm, chosen);
}

// Every type of the subject.
inline void setSubjectTypeFlags(testing::Workspace& ws, const QString& kmh, bool chosen)
{
    for (const QString& txh : sql::column(DM->db(), "SELECT txh FROM txb WHERE kmh=? ORDER BY id", {kmh}))
        setTypeFlag(ws, kmh, txh, chosen);
}

inline QString chapterFlag(testing::Workspace& ws, const QString& kmh, const QString& zjh)
{
    const QString zjm = ws.scalar("SELECT zjm FROM zjb WHERE kmh=? AND zjh=?", {kmh, zjh});
    for (const composition::ChapterFlag& chapter : composition::chapterFlags(DM->db(), kmh)) {
        if (chapter.zjm == zjm) return chapter.chosen ? QStringLiteral("1") : QStringLiteral("0");
    }
    return QString();
}

// Every type and chapter of every subject chosen.
inline void setEveryFlag()
{
    QSqlQuery types = sql::run(DM->db(), "SELECT kmh, txh FROM txb ORDER BY id");
    while (types.next()) composition::chooseTypeByCode(DM->db(), types.value(0).toString(), types.value(1).toString());
    QSqlQuery chapters = sql::run(DM->db(), "SELECT kmh, zjh FROM zjb ORDER BY id");
    while (chapters.next()) {
        composition::chooseChapterByCode(DM->db(), chapters.value(0).toString(), chapters.value(1).toString());
    }
}

// How many types and how many chapters of all subjects are chosen.
inline int chosenTypeCount()
{
    int chosen = 0;
    for (const QString& kmh : sql::column(DM->db(), "SELECT DISTINCT kmh FROM txb")) {
        chosen += sql::scalar(DM->db(), "SELECT COUNT(*) FROM txb WHERE kmh=?", {kmh}).toInt() -
                  int(composition::openTypeNames(DM->db(), kmh).size());
    }
    return chosen;
}

inline int chosenChapterCount()
{
    int chosen = 0;
    for (const QString& kmh : sql::column(DM->db(), "SELECT DISTINCT kmh FROM zjb")) {
        for (const composition::ChapterFlag& chapter : composition::chapterFlags(DM->db(), kmh))
            chosen += chapter.chosen;
    }
    return chosen;
}

}  // namespace wizardtest
