#pragma once
#include <algorithm>
#include <QHash>
#include <QObject>
#include <QSqlDatabase>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>
#include <utility>

namespace sql {
class Reader;
}

class Dataset;

// A field of a dataset's current row, looked up by name without regard to letter case.
class Field {
public:
    Field(Dataset* ds, int column) : ds_(ds), column_(column) {}
    QString asString() const;
    int asInteger() const;   // throws ConvertError when the text is not an integer
    double asFloat() const;  // throws ConvertError when the text is not a number
    void setAsString(const QString& value);
    void setAsInteger(int value) { setAsString(QString::number(value)); }

private:
    Dataset* ds_;
    int column_;
};

// A cursor over a whole table or over the result of a query, read in insertion order.
//
// Table mode keeps only the hidden ids of the rows in memory and fetches row contents on demand,
// a window at a time, so that opening a large table is cheap. Query mode reads the whole result;
// keyed query mode (setKeyedSql) reads only the keys of the whole result and fetches row contents
// a window of keys at a time, so that a list of 100,000 rows opens as fast as a short one.
// Every post and delete is written to the database at once.
class Dataset : public QObject {
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Insert, Edit };

    Dataset(const QString& name, QObject* parent = nullptr);

    void setConnectionName(const QString& name) { connection_ = name; }
    // Column names of the table, when the caller already read them (saves a query per open).
    void setKnownColumns(const QStringList& columns) { knownColumns_ = columns; }
    QString connectionName() const { return connection_; }

    // Re-targeting: close, then set a table name or an SQL text with its bound values, then open.
    void setTableName(const QString& table);
    QString tableName() const { return table_; }
    void setSql(const QString& sql, const QVariantList& binds = {});
    // Keyed query mode: `select` (a SELECT without ORDER BY) gives rows identified by its integer
    // column `keyField`; the dataset lists them as `select` ordered by that column would. open()
    // reads the keys only; the rows' contents are read a window of keys at a time when they are
    // looked at. Rows sharing a key (a join listing a row twice) stay next to each other.
    // With `count`, a statement giving the number of rows of `select` from the same bound values,
    // and keys that are unique, open() reads the count and the first window only, and keys further
    // on are read a block at a time as rows come into view: a list of any size opens at the cost
    // of its first screen.
    void setKeyedSql(const QString& select, const QString& keyField, const QVariantList& binds = {},
                     const QString& count = {});
    // How many rows opening reads when keys are read on demand: the rows a view shows at first
    // (64 unless told after setKeyedSql).
    void setFirstRows(int rows) { firstRows_ = std::max(1, rows); }
    QString sql() const { return sql_; }
    bool isKeyed() const { return isQuery() && !keyField_.isEmpty(); }
    // Keyed query mode with a count: the keys held are the first rows' only.
    bool readsKeysOnDemand() const { return isKeyed() && !countSql_.isEmpty(); }
    // How many keys the dataset holds at the moment (every row's, unless read on demand).
    int keysInMemory() const { return int(keys_.size()); }
    // Query mode: `fields` are not part of the query's result but read on demand, one row at a
    // time, from `table` by the row id found in the query's column `idField`. Long texts that a
    // list does not show are so read only for the rows that are looked at. Set after setSql().
    void setDeferredFields(const QString& table, const QString& idField, const QStringList& fields);
    bool isQuery() const { return table_.isEmpty(); }

    void open();
    void close();
    // Query mode, for a result ordered by the row id in `idField`: reads only the rows with a
    // larger id than the last row's and adds them, then makes the first row current, as open()
    // does. Gives the same rows as reopening when rows were only added to the table since.
    void reopenWithNewRows(const QString& idField);
    const QVariantList& binds() const { return binds_; }
    // Re-reads the rows (for example after statements that bypassed the dataset), staying on the
    // row with the same id where it still exists.
    void refresh();
    bool isActive() const { return state_ != State::Inactive; }
    State state() const { return state_; }

    void first();
    void next();
    void prior();
    void last();
    void moveBy(int n);
    bool eof() const
    {
        ensureIds();
        return eof_;
    }
    bool isEmpty() const { return recordCount() == 0; }
    int recordCount() const;
    int recNo() const  // index of the current row, -1 when there is none
    {
        ensureIds();
        return current_;
    }
    void setRecNo(int index);                // makes the row at index current

    const QStringList& fieldNames() const { return fields_; }
    int fieldIndex(const QString& name) const;  // -1 when there is no such field
    Field fieldByName(const QString& name);
    QString str(const QString& name) { return fieldByName(name).asString(); }

    void append();
    void edit();
    void post();
    // A row another statement has just inserted into this dataset's table (with this id and
    // these column values): the dataset holds it as if it had been appended and posted here, and
    // makes it current. A dataset that has not read its rows yet reads it with the others.
    void appendStored(qint64 id, const QVector<QPair<QString, QString>>& values);
    void cancel();
    void remove();  // the row after it becomes current, or the one before when it was the last

    // Reading a cell of any row without moving the cursor (used by grids).
    QString valueAt(int row, int column) const;
    qint64 idAt(int row) const;  // table mode: the hidden id of a row
    qint64 currentId() const { return recNo() >= 0 ? idAt(current_) : -1; }
    // Table mode: a row changed by a statement that bypassed the dataset is read afresh when next
    // looked at.
    void forgetCachedRow(qint64 id) { cache_.remove(id); }
    // Keyed query mode: the first row with the key, -1 when the list has none.
    int rowOfKey(qint64 key) const;
    // Keyed query mode: reads the given rows that are not in memory yet with one statement for
    // many of them, so that scattered rows (a random draw) do not cost a statement each. Other
    // modes hold their rows already.
    void prefetchRows(const QVector<int>& rows) const;
    // The first row whose values of `fields` (query columns) satisfy `match`, -1 when none (also
    // when the dataset is closed). Rows are offered in list order. In keyed query mode one
    // statement reads just those columns of the whole result, so that no window of rows is
    // fetched for the search.
    int findRow(const QStringList& fields, const std::function<bool(const QStringList&)>& match) const;
    // How many rows' contents the dataset holds at the moment (the whole result in query mode,
    // the windows read so far otherwise).
    int rowsInMemory() const;

    // Used by Field.
    QString currentValue(int column) const;
    void setCurrentValue(int column, const QString& value);

signals:
    void reset();                       // reopened, refreshed or closed: every row may differ
    void rowsChanged();                 // rows were added or removed
    void rowUpdated(int row);           // a row's contents changed in place
    void currentChanged(int row);       // the cursor moved

private:
    QSqlDatabase db() const;
    void requireActive() const;
    void requireEditing() const;
    void postIfEditing();
    void setCurrent(int index);
    const QVector<QString>& rowValues(int row) const;
    void loadWindow(int row) const;
    void readColumns();
    // Table mode reads the ids of its rows only when a row is first needed, so that opening every
    // table at login does not read the whole question bank.
    void ensureIds() const;

    QString connection_;
    QString table_;
    QString sql_;
    QVariantList binds_;
    State state_ = State::Inactive;
    QStringList fields_;
    QStringList knownColumns_;
    QHash<QString, int> fieldLookup_;  // lower-case name to column

    // Table mode.
    mutable bool idsLoaded_ = false;
    mutable QVector<qint64> ids_;
    mutable QHash<qint64, QVector<QString>> cache_;
    // Query mode.
    // The result's cells as UTF-8 in one buffer; cell k of the flat row-major order spans
    // cells_[k] to cells_[k + 1]. Texts are made only for the cells that are read.
    QByteArray data_;
    QVector<qsizetype> cells_;
    int rowCount_ = 0;
    int queryColumns_ = 0;
    QString cell(int row, int column) const;
    // Keyed query mode.
    QString keyField_;                                // the key column as the caller named it
    int keyColumn_ = -1;                              // its column in the result
    QString countSql_;                                // the count of rows, when keys are read on demand
    int firstRows_ = 64;                              // rows read on opening, with their keys
    mutable QVector<qint64> keys_;                    // the rows' keys in list order (the first ones only
                                                      // when read on demand)
    mutable QHash<int, QVector<QString>> windowRows_;  // rows read so far, by row index
    mutable std::pair<int, int> lastWindow_{-1, -1};  // the rows read last
    void openKeyed();
    void openKeyedOnDemand();
    int keyedRowCount() const;
    // Keys read on demand: reads the keys up to `row` (and a block more).
    void ensureKeys(int row) const;
    void padMissingKeys() const;
    void dropPadding() const;
    void readKeys(const QString& condition, const QVariantList& extraBinds);
    QString keyedSelect(const QString& columns, const QString& condition) const;
    std::pair<int, int> keyedWindow(int row) const;
    QVariantList keyRange(int start, int end) const;
    void loadKeyedWindow(int row) const;
    void fillWindow(sql::Reader& q, int start, int end) const;
    void readRows(sql::Reader& reader);
    QString deferTable_;
    QString deferIdField_;
    QStringList deferFields_;
    int deferStart_ = -1;     // first deferred column, -1 when none
    int deferIdColumn_ = -1;  // query column holding the row id
    mutable QHash<qint64, QVector<QString>> deferCache_;
    QString deferredValue(int row, int column) const;

    mutable int current_ = -1;
    mutable bool eof_ = true;
    QVector<QString> buffer_;  // the row being inserted or edited
};
