#pragma once
#include <QAbstractTableModel>
#include <QTableView>
#include <functional>

class Dataset;

struct GridColumn {
    QString field;  // dataset field, matched without regard to case
    QString title;
    int width = -1;
    // What the cell shows of the field's text, when not the text itself.
    std::function<QString(const QString&)> display{};
};

// A table model over a dataset: one row per dataset row, the given columns.
class DatasetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    DatasetModel(Dataset* dataset, const QVector<GridColumn>& columns, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // Editing in place: when set, a cell edit is offered to `validate` (row, field, new text);
    // true stores it in the dataset at once, false keeps the old value.
    std::function<bool(int, const QString&, const QString&)> validate;
    bool editable = false;
    // A row's background, when it is to stand out (found by a search, say); an invalid value
    // for the usual one.
    std::function<QVariant(int row)> rowBackground;
    // Repaints every row (after what rowBackground answers has changed).
    void refreshRows();

private:
    Dataset* dataset_;
    QVector<GridColumn> columns_;
};

// A grid bound to a dataset: the grid's current row is the dataset's current row, both ways.
class DBGrid : public QTableView {
    Q_OBJECT
public:
    explicit DBGrid(QWidget* parent = nullptr);
    void setDataset(Dataset* dataset, const QVector<GridColumn>& columns);
    Dataset* dataset() const { return dataset_; }
    DatasetModel* datasetModel() const { return model_; }

signals:
    void cellClicked();          // a cell was clicked (after the dataset moved to its row)
    void keyDown(int key);       // a key went down in the grid (after the cursor moved)
    void keyUp(int key);         // a key went up in the grid
    void doubleClicked2();       // a double click on a row

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void followDataset();
    Dataset* dataset_ = nullptr;
    DatasetModel* model_ = nullptr;
    bool syncing_ = false;
};
