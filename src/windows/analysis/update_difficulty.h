#pragma once
#include <QDialog>
#include <QSqlDatabase>
#include <QVector>

#include "analysis/difficulty_review.h"

class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QTableWidget;

// 更新难度: the questions of a paper with their difficulty as entered beside the one their stored
// sittings measured, and the difficulty (易, 中等 or 难) that measurement proposes by two editable
// lines of P. A row is ticked where the two differ; 应用 writes the ticked rows' proposals into the
// bank in one transaction. Questions without a measurement are listed greyed, without a box;
// questions no longer in the bank are left out (and said so), and those deleted while the dialog
// is open are skipped when applying, with a message.
class UpdateDifficultyDialog : public QDialog {
    Q_OBJECT
public:
    // The questions by their ids in stb, in the order listed (a paper's order).
    UpdateDifficultyDialog(const QSqlDatabase& db, const QVector<qint64>& questionIds, QWidget* parent = nullptr);
    // The dialog for the questions of a stored paper that are known in the bank.
    static UpdateDifficultyDialog* forPaper(const QSqlDatabase& db, qint64 paperId, QWidget* parent = nullptr);

    // Columns of the table.
    enum Column { ColumnTh = 0, ColumnType, ColumnMeasured, ColumnChange, ColumnCount };

    // What a row shows and proposes (rows in the order of the table).
    const QVector<analysis::QuestionDifficulty>& questions() const { return questions_; }
    QString proposedAt(int row) const;  // empty for a question without a measurement
    bool isTicked(int row) const;
    // Ticks or unticks every row that has a box.
    void tickAll(bool on);
    // Checks the lines and applies the ticked rows; true when the bank was written.
    bool apply();

    QLabel* LabelSm;  // what the dialog does, and the questions left out
    QLabel* LabelYi;  // 易（P ≥）
    QDoubleSpinBox* SpinYi;
    QLabel* LabelNan;  // 难（P <）
    QDoubleSpinBox* SpinNan;
    QLabel* LabelJx;  // why the lines cannot be used (empty while they can)
    QTableWidget* GridGxnd;
    QPushButton* BtnQx;     // 全选
    QPushButton* BtnQbx;    // 全不选
    QPushButton* BtnYy;     // 应用
    QPushButton* BtnQxiao;  // 取消

signals:
    // The bank was written: how many questions changed their difficulty.
    void difficultiesApplied(int changed);

private:
    void fillTable();
    // Proposes afresh by the lines and ticks the rows whose proposal differs from the stored difficulty.
    void propose();
    bool linesValid() const;

    QSqlDatabase db_;
    QVector<analysis::QuestionDifficulty> questions_;
    QStringList proposed_;
    int leftOut_ = 0;  // ids given that the bank no longer holds
};
