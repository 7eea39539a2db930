#pragma once
#include <QAbstractTableModel>
#include <QDialog>
#include <QHash>
#include <optional>

#include "analysis/analysis_report.h"
#include "analysis/item_analysis.h"
#include "analysis/sitting_store.h"
#include "library/paper_store.h"

class QChartView;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSortFilterProxyModel;
class QSpinBox;
class QTableView;
class QTableWidget;
class QTabWidget;

namespace scoreanalysis {

// The columns of the per-question table.
enum Column { Number, Type, FullMarks, Mean, Difficulty, Discrimination, ItemRest, Options, ColumnCount };

// The per-question table of an analysis: texts as shown, numbers for sorting (Qt::UserRole), and
// for a flagged figure a background colour and a tooltip saying why.
class ItemTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setAnalysis(const QVector<analysis::AnalysedQuestion>& questions, const analysis::Analysis* result);
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The background of a flagged figure.
    static QColor flagColour();

private:
    QVector<analysis::AnalysedQuestion> questions_;
    QVector<analysis::ItemStats> items_;
    QVector<analysis::FlagReasons> reasons_;
};

}  // namespace scoreanalysis

// 成绩分析: a stored paper's score sheet written for the teachers to fill in, the filled sheets
// read back as sittings, and the sittings ticked analysed together: each question's difficulty,
// discrimination and item–rest correlation (flagged when they deserve a look), the paper's
// figures, three charts and a report for the 教研组.
class TCjfxF : public QDialog {
    Q_OBJECT
public:
    explicit TCjfxF(QWidget* parent = nullptr);

    void Search();        // the papers matching 标题 and 科目, newest first
    void BtnDcClick();    // 导出成绩表…
    void BtnDrClick();    // 导入成绩…
    void BtnSckClick();   // 删除考试
    void BtnBgClick();    // 生成报告…
    void BtnGxndClick();  // 更新难度…: the paper's questions' 难度 from their measured difficulty
    // Analyses the ticked sittings of the chosen paper again and shows the result.
    void Analyse();

    // The id of the chosen paper, -1 when none.
    qint64 currentPaperId() const;
    void selectPaper(qint64 id);
    // The chosen paper (id -1 when none).
    const library::StoredPaper& paper() const { return paper_; }
    // The sittings of the paper as listed, oldest first, and the ids of those ticked.
    const QVector<analysis::SittingInfo>& sittings() const { return sittings_; }
    QVector<qint64> tickedSittings() const;
    void setTicked(qint64 sittingId, bool ticked);
    // The current analysis, when ticked sittings gave one.
    bool analysed() const { return result_.has_value(); }
    const analysis::Analysis& result() const { return *result_; }
    const analysis::Sitting& sitting() const { return sitting_; }
    const QVector<analysis::AnalysedQuestion>& questions() const { return questions_; }
    // The question whose letters the options chart shows (index into questions()), -1 when none.
    int optionsQuestion() const { return optionsQuestion_; }
    void showOptionsOf(int question);

    QLineEdit* EditBt;
    QLineEdit* EditKm;
    QComboBox* ComboSj;
    QLabel* LabelCount;
    QPushButton* BtnDc;
    QPushButton* BtnDr;
    QPushButton* BtnSck;
    QPushButton* BtnBg;
    QPushButton* BtnGxnd;
    QPushButton* BtnGb;
    QSpinBox* SpinJgx;      // 及格线, percent of the full marks
    QSpinBox* SpinYxx;      // 优秀线
    QTableWidget* TableKs;  // sittings: 日期, 班级, 人数, the first column ticked
    QLabel* LabelTj;        // the paper's figures
    QTableView* TableTm;    // per question
    QTabWidget* TabsTb;     // the charts
    QChartView* ChartFb;    // 分数分布
    QChartView* ChartNd;    // 难度—区分度
    QChartView* ChartXx;    // 选项分析

private:
    void loadPaper();
    void fillSittings(qint64 tick = -1);
    void clearAnalysis(const QString& why);
    void showCharts();
    analysis::ReportData reportData() const;
    QString defaultFileName(const QString& suffix) const;

    QVector<qint64> paperIds_;
    library::StoredPaper paper_;
    QVector<analysis::SheetQuestion> sheet_;
    QVector<analysis::AnalysedQuestion> questions_;
    QVector<analysis::SittingInfo> sittings_;
    QHash<qint64, analysis::StoredSitting> loaded_;  // sittings read so far, by id
    analysis::Sitting sitting_;
    std::optional<analysis::Analysis> result_;
    int optionsQuestion_ = -1;
    bool filling_ = false;
    scoreanalysis::ItemTableModel* model_;
    QSortFilterProxyModel* sorted_;
};

// The bad cells of a score sheet, each "第3行第5列：…", with 取消 (store nothing) and, when some rows
// are clean, 跳过这些行 (store the clean rows only).
class TCjwtF : public QDialog {
    Q_OBJECT
public:
    TCjwtF(const analysis::ReadSheet& sheet, const QString& fileName, QWidget* parent = nullptr);
    QLabel* LabelWt;
    QPlainTextEdit* MemoWt;
    QPushButton* BtnTg;  // 跳过这些行, absent when no row is clean
    QPushButton* BtnQx;  // 取消
};

// The date and the 班级 of a sitting being imported.
class TKsxxF : public QDialog {
    Q_OBJECT
public:
    TKsxxF(const analysis::ReadSheet& sheet, QWidget* parent = nullptr);
    QDate heldOn() const;
    QString group() const;
    QLabel* LabelRs;
    QDateEdit* DateKs;
    QLineEdit* EditBj;
    QPushButton* BtnOk;
    QPushButton* BtnCancel;
};
