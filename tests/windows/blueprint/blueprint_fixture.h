#pragma once
// Typing into the blueprint window's cells as a user does, shared by the blueprint tests.
#include "windows/blueprint/blueprint_window.h"

#include <QLineEdit>
#include <QTest>

namespace blueprinttest {

// Replaces a field's text by typing (an empty text deletes what was there).
inline void type(QLineEdit* edit, const QString& text)
{
    QVERIFY(edit);
    edit->selectAll();
    if (text.isEmpty()) {
        QTest::keyClick(edit, Qt::Key_Delete);
    } else {
        QTest::keyClicks(edit, text);
    }
}

// Types a cell's count and points; `row` is the row's name as shown (a chapter, or a point's path).
inline void setCell(BlueprintWindow* w, const QString& row, const QString& txh, const QString& nd,
                    const QString& count, const QString& points)
{
    const int r = w->rowOf(row);
    const int c = w->columnOf(txh, nd);
    QVERIFY2(r >= 0 && c >= 0, qPrintable(row + txh + nd));
    type(w->countEdit(r, c), count);
    type(w->pointsEdit(r, c), points);
}

}  // namespace blueprinttest
