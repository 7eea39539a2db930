#pragma once
#include <QAbstractTableModel>
#include <QDialog>

#include "library/paper_store.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableView;

namespace library {

// The list of stored papers behind the library window's table; holds plain rows so that a list
// of many thousand papers is shown without one widget item per cell.
class PaperListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setRows(PaperList rows);
    const PaperList& rows() const { return rows_; }
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    PaperList rows_;
};

}  // namespace library

// 试卷库: the stored papers, newest first, searched by title and subject. A paper's contents can
// be read, its document written again from its stored copy, a B paper made from it, and it can
// be deleted; the list can be exported for a spreadsheet.
class TSjkF : public QDialog {
    Q_OBJECT
public:
    explicit TSjkF(QWidget* parent = nullptr);

    void Search();
    void BtnCknrClick();  // 查看内容
    void BtnScwdClick();  // 生成文档
    void BtnScbjClick();  // 生成B卷
    void BtnScClick();    // 删除
    void BtnDcClick();    // 导出列表

    // The id of the paper on the table's current line, -1 when none.
    qint64 currentPaperId() const;
    // Writes a stored paper's document into Papers/ and opens it; returns its path.
    static QString writeStoredPaper(const library::StoredPaper& paper, QWidget* parent);

    QLabel* LabelBt;
    QLineEdit* EditBt;
    QLabel* LabelKm;
    QLineEdit* EditKm;
    QTableView* TablePapers;
    QLabel* LabelCount;
    QPushButton* BtnCknr;
    QPushButton* BtnScwd;
    QPushButton* BtnScbj;
    QPushButton* BtnSc;
    QPushButton* BtnDc;
    QPushButton* BtnGb;
    QPushButton* BtnBs;  // 版式…

private:
    void selectPaper(qint64 id);
    library::PaperListModel* model_;
};

// 生成B卷: the share of questions the B paper may have in common with its original, whether
// the titles carry A卷/B卷, and the seed (empty: a new one) of the draw.
class TBjF : public QDialog {
    Q_OBJECT
public:
    explicit TBjF(const library::StoredPaper& original, QWidget* parent = nullptr);
    void BtnOkClick();
    // The id of the B paper stored, -1 while none.
    qint64 storedId() const { return storedId_; }

    QLabel* LabelYj;
    QSpinBox* SpinOverlap;
    QCheckBox* CheckBoxAb;
    QLineEdit* EditSeed;
    QPushButton* BtnOk;
    QPushButton* BtnCancel;

private:
    library::StoredPaper original_;
    qint64 storedId_ = -1;
};
