#pragma once
#include <QSqlDatabase>

namespace demo {

// Puts two composed papers of the demo bank's 数学 into the paper library, an A paper and its B
// paper, and one sitting of 48 students' scores for the A paper, so that the library, B papers and
// 成绩分析 can be tried at once. Runs inside the caller's transaction, after the questions are in.
void addDemoPapers(const QSqlDatabase& db);

}  // namespace demo
