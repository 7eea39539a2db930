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
// longer from 1000 on), all of difficulty 易, written in one statement.
inline void addQuestions(testing::Workspace& ws, const QString& kmh, const QString& txh, const QString& zjh,
                         int firstNumber, int count)
{
    ws.exec("WITH RECURSIVE c(i) AS (SELECT ? UNION ALL SELECT i + 1 FROM c WHERE i < ?)"
            " INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, time, bz)"
            " SELECT ?, ?, printf('%03d', i), ?, '易', '5', '题' || i, '答' || i, '8:00:00', '' FROM c",
            {firstNumber, firstNumber + count - 1, kmh, txh, zjh});
}

}  // namespace wizardtest
