#pragma once
#include <QDialog>
#include <QHash>
#include <QVector>

#include "blueprint/blueprint_plan.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class TZtszF;

// 按细目表组卷: the blueprint window. For the chosen subject it shows one row per chapter (or, with
// 按知识点, one per knowledge point, by its path in tree order) and, per
// chosen question type, one column per difficulty (or one "全部" column); each cell takes a count
// and the points per question and shows how many questions the bank holds for it. Totals follow
// every keystroke. Composing writes the paper into sjb and hands over to wizard step 2.
class BlueprintWindow : public QDialog {
    Q_OBJECT
public:
    // With `step1`, the window starts from the wizard's subject, types, title, time and total.
    explicit BlueprintWindow(QWidget* parent = nullptr, TZtszF* step1 = nullptr);

    // The grid's column of a type and difficulty (empty nd: the merged column), -1 when absent.
    int columnOf(const QString& txh, const QString& nd) const;
    // The grid's row of a chapter name (or knowledge point path), -1 when absent.
    int rowOf(const QString& zjm) const;
    blueprint::RowKind rowKind() const { return rowKind_; }
    // The title above the row names, shown in the grid's corner: "章节" or "知识点".
    QString rowHeader() const;
    QLineEdit* countEdit(int row, int column) const;
    QLineEdit* pointsEdit(int row, int column) const;
    QLabel* availableLabel(int row, int column) const;
    // True when the cell asks for more questions than the bank holds (it is shown in red).
    bool isShort(int row, int column) const;
    // The plan as the grid holds it; false with a Chinese message naming the first bad cell.
    bool currentPlan(blueprint::Plan* plan, QString* message) const;
    const blueprint::BankCounts& counts() const { return counts_; }

    // Re-reads the bank's counts (one grouped query) and shows them in every cell.
    void refreshCounts();
    // Recomputes the red cells and every total from what is typed (no database access).
    void recount();
    // Checks the plan, settles shortages with the user, draws and writes the paper. True when the
    // paper is in sjb; the window is then accepted.
    bool compose();
    // Puts the composed paper's settings into a wizard step 1 (which may never have been shown),
    // so that step 2 reads them from there as usual; with 在答案后打印细目表 ticked, also the
    // composed plan as the table printed after the answer key.
    void handOver(TZtszF* step1) const;

    // Templates.
    void saveTemplate();
    void openTemplate();
    void copyTemplate();
    void deleteTemplate();

    QComboBox* ComboBoxKm;
    QComboBox* ComboBoxRows;  // 按章节 (the rows are chapters) or 按知识点 (knowledge points)
    QLineEdit* EditSjbt;
    QLineEdit* EditSj;
    QLineEdit* EditZf;
    QTableWidget* TableTypes;
    QComboBox* ComboBoxTemplate;
    QLineEdit* EditTemplateName;
    QPushButton* BtnOpen;
    QPushButton* BtnSave;
    QPushButton* BtnCopy;
    QPushButton* BtnDelete;
    QTableWidget* TableBlueprint;
    QLabel* LabelTotal;
    QLabel* LabelStatus;
    QPushButton* BtnRefresh;
    QCheckBox* CheckPrintBlueprint;  // 在答案后打印细目表: the paper ends with the blueprint as a table
    QPushButton* BtnCompose;
    QPushButton* BtnCancel;

private:
    struct Column {
        QString txh;
        QString nd;
    };
    struct CellWidgets {
        QLineEdit* count = nullptr;
        QLineEdit* points = nullptr;
        QLabel* available = nullptr;
    };

    void subjectChanged();
    void rowKindChosen();
    // Lays the grid out by the given rows, dropping what was typed (row keys differ between kinds).
    void setRowKind(blueprint::RowKind kind);
    void fillTypes(const QStringList& chosen);
    void rebuildGrid();
    void fillTemplates(const QString& current = QString());
    // Puts a plan's types, cells and total into the window.
    void showPlan(const blueprint::Plan& plan);
    QVector<blueprint::TypeColumn> chosenTypes() const;
    QString subjectCode() const;
    // Applies "take fewer" from the shortage report to the grid.
    void setCount(const blueprint::Cell& cell, int count);

    TZtszF* step1_;
    QString kmh_;
    blueprint::RowKind rowKind_ = blueprint::RowKind::Chapters;
    QVector<blueprint::Chapter> chapters_;  // the rows: chapters or knowledge points
    QVector<Column> columns_;
    QVector<QVector<CellWidgets>> cells_;  // [row][column]
    QVector<QLabel*> rowTotals_;
    QVector<QLabel*> columnTotals_;
    blueprint::BankCounts counts_;
    blueprint::Plan composed_;  // the plan of the paper last composed
    bool rebuilding_ = false;
    bool dirty_ = false;  // the grid differs from the template last opened or saved
};

namespace blueprint {
// The menu command 按细目表组卷: the blueprint window, then wizard step 2 over the composed paper.
void openFromMenu(QWidget* parent);
}  // namespace blueprint
