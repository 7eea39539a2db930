#pragma once
#include <QDialog>
#include <QHash>
#include <QVector>

#include "blueprint/blueprint_plan.h"

class QComboBox;
class QPushButton;

// 题量不足: lists every cell the bank cannot fill and lets the user decide, per cell, to take
// fewer questions, to widen the difficulty by one level or to take the missing questions from
// another chapter (another knowledge point when the rows are points). Offers that cannot supply
// the missing questions are shown but cannot be picked.
class ShortageReport : public QDialog {
    Q_OBJECT
public:
    ShortageReport(const blueprint::Plan& plan, const blueprint::BankCounts& counts,
                   const QVector<blueprint::Shortage>& shortages, QWidget* parent = nullptr);

    // The choice per cell (by blueprint::cellKey), valid after the dialog was accepted.
    QHash<QString, blueprint::Fix> fixes() const;
    // One drop-down per short cell, in the order listed ("ComboFix_0", "ComboFix_1", …).
    QVector<QComboBox*> choices;
    QPushButton* BtnFixOk;
    QPushButton* BtnFixCancel;

private:
    void accept() override;
    QVector<blueprint::Shortage> shortages_;
};
