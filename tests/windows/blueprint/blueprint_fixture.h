#pragma once
// Working the blueprint window as a user does, shared by the blueprint tests.
#include "windows/blueprint/blueprint_window.h"

#include <QComboBox>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QTableWidget>
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

// Leaves only the named types ticked in the window.
inline void keepTypes(BlueprintWindow* w, const QStringList& names)
{
    for (int i = 0; i < w->TableTypes->rowCount(); ++i) {
        const bool keep = names.contains(w->TableTypes->item(i, 0)->text());
        w->TableTypes->item(i, 0)->setCheckState(keep ? Qt::Checked : Qt::Unchecked);
    }
}

// The offers of a report's drop-down as shown, each with "（不可选）" when it cannot be picked.
inline QStringList offers(QComboBox* box)
{
    QStringList out;
    auto* model = qobject_cast<QStandardItemModel*>(box ? box->model() : nullptr);
    if (!model) return out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i) + (model->item(i)->isEnabled() ? QString() : QStringLiteral("（不可选）"));
    return out;
}

}  // namespace blueprinttest
