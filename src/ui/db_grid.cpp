#include "ui/db_grid.h"

#include "data/dataset.h"
#include "ui/handler.h"

#include <QHeaderView>
#include <QKeyEvent>

DatasetModel::DatasetModel(Dataset* dataset, const QVector<GridColumn>& columns, QObject* parent)
    : QAbstractTableModel(parent), dataset_(dataset), columns_(columns)
{
    connect(dataset_, &Dataset::reset, this, [this] {
        beginResetModel();
        endResetModel();
    });
    connect(dataset_, &Dataset::rowsChanged, this, [this] {
        beginResetModel();
        endResetModel();
    });
    connect(dataset_, &Dataset::rowUpdated, this, [this](int row) {
        if (row >= 0) emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    });
}

int DatasetModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !dataset_->isActive() ? 0 : dataset_->recordCount();
}

int DatasetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : columns_.size();
}

QVariant DatasetModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid()) return {};
    if (role == Qt::BackgroundRole) return rowBackground ? rowBackground(index.row()) : QVariant();
    if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
    const GridColumn& shown = columns_[index.column()];
    const int column = dataset_->fieldIndex(shown.field);
    if (column < 0) return {};
    const QVariant value = dataset_->valueAt(index.row(), column);
    if (role == Qt::DisplayRole && shown.display) return shown.display(value.toString());
    return value;
}

void DatasetModel::refreshRows()
{
    const int rows = rowCount();
    if (rows > 0) emit dataChanged(index(0, 0), index(rows - 1, columnCount() - 1), {Qt::BackgroundRole});
}

QVariant DatasetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) return columns_.value(section).title;
    return {};
}

Qt::ItemFlags DatasetModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (editable) f |= Qt::ItemIsEditable;
    return f;
}

bool DatasetModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!editable || role != Qt::EditRole || !index.isValid()) return false;
    const QString field = columns_[index.column()].field;
    const QString text = value.toString();
    bool stored = false;
    ui::run([&] {
        if (dataset_->valueAt(index.row(), dataset_->fieldIndex(field)) == text) return;
        if (validate && !validate(index.row(), field, text)) return;
        dataset_->setRecNo(index.row());
        dataset_->edit();
        dataset_->fieldByName(field).setAsString(text);
        dataset_->post();
        stored = true;
    });
    return stored;
}

DBGrid::DBGrid(QWidget* parent) : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    verticalHeader()->setDefaultSectionSize(20);
    verticalHeader()->setFixedWidth(12);
    horizontalHeader()->setHighlightSections(false);
}

void DBGrid::setDataset(Dataset* dataset, const QVector<GridColumn>& columns)
{
    dataset_ = dataset;
    model_ = new DatasetModel(dataset, columns, this);
    setModel(model_);
    for (int i = 0; i < columns.size(); ++i) {
        if (columns[i].width > 0) setColumnWidth(i, columns[i].width);
    }
    connect(dataset_, &Dataset::currentChanged, this, [this] { followDataset(); });
    connect(dataset_, &Dataset::reset, this, [this] { followDataset(); });
    connect(dataset_, &Dataset::rowsChanged, this, [this] { followDataset(); });
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& current) {
        if (syncing_ || !current.isValid() || !dataset_->isActive()) return;
        if (current.row() != dataset_->recNo()) ui::run([&] { dataset_->setRecNo(current.row()); });
    });
    followDataset();
}

void DBGrid::followDataset()
{
    if (!dataset_ || !selectionModel()) return;
    syncing_ = true;
    const int row = dataset_->isActive() ? dataset_->recNo() : -1;
    if (row >= 0 && row < model_->rowCount()) {
        const QModelIndex index = model_->index(row, std::max(0, currentIndex().column()));
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        scrollTo(index);
    } else {
        selectionModel()->clearSelection();
    }
    syncing_ = false;
}

void DBGrid::mousePressEvent(QMouseEvent* event)
{
    QTableView::mousePressEvent(event);
}

void DBGrid::mouseReleaseEvent(QMouseEvent* event)
{
    QTableView::mouseReleaseEvent(event);
    if (indexAt(event->position().toPoint()).isValid()) emit cellClicked();
}

void DBGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTableView::mouseDoubleClickEvent(event);
    if (indexAt(event->position().toPoint()).isValid()) emit doubleClicked2();
}

void DBGrid::keyPressEvent(QKeyEvent* event)
{
    QTableView::keyPressEvent(event);
    emit keyDown(event->key());
}

void DBGrid::keyReleaseEvent(QKeyEvent* event)
{
    QTableView::keyReleaseEvent(event);
    emit keyUp(event->key());
}
