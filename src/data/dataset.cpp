#include "data/dataset.h"

#include "data/engine.h"

#include "data/convert.h"
#include "data/errors.h"
#include "data/sql.h"

#include <QSqlRecord>

namespace {
constexpr int kWindow = 256;       // rows fetched at once in table mode
constexpr int kCacheLimit = 4096;  // rows kept before the cache is dropped
}  // namespace

QString Field::asString() const { return ds_->currentValue(column_); }
int Field::asInteger() const { return convert::toInt(asString()); }
double Field::asFloat() const { return convert::toFloat(asString()); }
void Field::setAsString(const QString& value) { ds_->setCurrentValue(column_, value); }

Dataset::Dataset(const QString& name, QObject* parent) : QObject(parent)
{
    setObjectName(name);
}

QSqlDatabase Dataset::db() const
{
    return QSqlDatabase::database(connection_, false);
}

void Dataset::setTableName(const QString& table)
{
    close();
    if (table != table_) knownColumns_.clear();
    table_ = table;
    sql_.clear();
    binds_.clear();
}

void Dataset::setSql(const QString& statement, const QVariantList& binds)
{
    close();
    knownColumns_.clear();
    deferTable_.clear();
    deferIdField_.clear();
    deferFields_.clear();
    table_.clear();
    sql_ = statement;
    binds_ = binds;
}

void Dataset::setDeferredFields(const QString& table, const QString& idField, const QStringList& fields)
{
    close();
    deferTable_ = table;
    deferIdField_ = idField;
    deferFields_ = fields;
}

QString Dataset::deferredValue(int row, int column) const
{
    const qint64 id = cell(row, deferIdColumn_).toLongLong();
    auto it = deferCache_.constFind(id);
    if (it == deferCache_.constEnd()) {
        if (deferCache_.size() > kCacheLimit) deferCache_.clear();
        QStringList columns;
        for (const QString& f : deferFields_) columns << QStringLiteral("\"%1\"").arg(f);
        sql::Reader q(db(), QStringLiteral("SELECT %1 FROM \"%2\" WHERE id=?").arg(columns.join(QLatin1Char(',')), deferTable_),
                      {id});
        QVector<QString> values(deferFields_.size());
        if (q.next()) {
            for (int i = 0; i < deferFields_.size(); ++i) values[i] = q.text(i);
        }
        it = deferCache_.insert(id, values);
    }
    return it->value(column - deferStart_);
}

void Dataset::readColumns()
{
    fieldLookup_.clear();
    for (int i = 0; i < fields_.size(); ++i) {
        const QString key = fields_[i].toLower();
        if (!fieldLookup_.contains(key)) fieldLookup_.insert(key, i);
    }
}

void Dataset::open()
{
    if (isActive()) return;
    ids_.clear();
    cache_.clear();
    data_.clear();
    cells_.clear();
    rowCount_ = 0;
    fields_.clear();
    if (!table_.isEmpty()) {
        QStringList columns = knownColumns_;
        if (columns.isEmpty()) {
            // Table names come from the program itself, never from user input.
            columns = engine::tableColumns(db(), table_);
        }
        for (const QString& name : columns) {
            if (name.compare(QLatin1String("id"), Qt::CaseInsensitive) != 0) fields_ << name;
        }
        if (fields_.isEmpty()) {
            throw DataError(QStringLiteral("数据库中没有数据表“%1”。").arg(table_));
        }
        idsLoaded_ = false;
    } else {
        if (sql_.isEmpty()) throw DataError(QStringLiteral("数据集“%1”没有查询语句。").arg(objectName()));
        sql::tuneForLists(db());
        sql::Reader q(db(), sql_, binds_);
        fields_ = q.columnNames();
        const int n = q.columnCount();
        deferCache_.clear();
        deferStart_ = -1;
        if (!deferFields_.isEmpty()) {
            deferIdColumn_ = fields_.indexOf(deferIdField_);
            if (deferIdColumn_ < 0) {
                throw DataError(QStringLiteral("查询“%1”的结果中没有字段“%2”。").arg(objectName(), deferIdField_));
            }
            deferStart_ = n;
            fields_ += deferFields_;
        }
        queryColumns_ = n;
        readRows(q);
    }
    readColumns();
    state_ = State::Browse;
    if (isQuery()) {
        current_ = rowCount_ == 0 ? -1 : 0;
        eof_ = current_ < 0;
        emit reset();
        emit currentChanged(current_);
    } else {
        current_ = -1;  // the first row, once the ids are read
        emit reset();
    }
}

void Dataset::readRows(sql::Reader& q)
{
    if (!cells_.isEmpty()) cells_.removeLast();  // the end mark of the rows read before
    while (q.next()) {
        for (int i = 0; i < queryColumns_; ++i) {
            cells_.append(data_.size());
            int size = 0;
            if (const char* raw = q.rawText(i, &size)) {
                data_.append(raw, size);
            } else {
                data_.append(q.text(i).toUtf8());
            }
        }
        ++rowCount_;
    }
    cells_.append(data_.size());
}

void Dataset::reopenWithNewRows(const QString& idField)
{
    const int idColumn = fieldIndex(idField);
    if (!isActive() || !isQuery() || idColumn < 0 || idColumn >= queryColumns_) {
        close();
        open();
        return;
    }
    const qint64 lastId = rowCount_ > 0 ? cell(rowCount_ - 1, idColumn).toLongLong() : -1;
    QVariantList binds = binds_;
    binds << lastId;
    const int before = rowCount_;
    {
        sql::Reader q(db(), QStringLiteral("SELECT * FROM (%1) AS rows_read WHERE \"%2\" > ? ORDER BY \"%2\"").arg(sql_, fields_[idColumn]), binds);
        readRows(q);
    }
    if (rowCount_ != before) emit rowsChanged();
    eof_ = rowCount_ == 0;
    current_ = -2;  // the first row becomes current and says so, as after open()
    setCurrent(rowCount_ == 0 ? -1 : 0);
}

void Dataset::ensureIds() const
{
    if (idsLoaded_ || isQuery() || state_ == State::Inactive) return;
    idsLoaded_ = true;
    ids_.clear();
    // A small table comes whole in one read; a large one gives its ids only.
    {
        QStringList columns;
        for (const QString& f : fields_) columns << QStringLiteral("\"%1\"").arg(f);
        sql::Reader q(db(), QStringLiteral("SELECT id, %1 FROM \"%2\" ORDER BY id LIMIT %3")
                                .arg(columns.join(QLatin1Char(',')), table_)
                                .arg(kWindow + 1));
        while (q.next()) {
            QVector<QString> values(fields_.size());
            for (int i = 0; i < fields_.size(); ++i) values[i] = q.text(i + 1);
            const qint64 id = q.int64(0);
            ids_.append(id);
            cache_.insert(id, std::move(values));
        }
    }
    if (ids_.size() > kWindow) ids_ = sql::ids(db(), table_);
    current_ = ids_.isEmpty() ? -1 : 0;
    eof_ = ids_.isEmpty();
}

void Dataset::close()
{
    if (!isActive()) return;
    state_ = State::Inactive;
    ids_.clear();
    idsLoaded_ = false;
    cache_.clear();
    data_.clear();
    cells_.clear();
    rowCount_ = 0;
    current_ = -1;
    eof_ = true;
    emit reset();
}

void Dataset::refresh()
{
    requireActive();
    postIfEditing();
    const bool hadIds = idsLoaded_;
    const qint64 keep = isQuery() || !hadIds ? -1 : currentId();
    const int keepIndex = current_;
    state_ = State::Inactive;
    open();
    if (!isQuery() && !hadIds) return;
    if (!isQuery() && keep >= 0) {
        ensureIds();
        const int at = ids_.indexOf(keep);
        if (at >= 0) setCurrent(at);
    } else if (keepIndex >= 0 && keepIndex < recordCount()) {
        setCurrent(keepIndex);
    }
}

void Dataset::requireActive() const
{
    if (!isActive()) throw DataError(QStringLiteral("数据集“%1”未打开。").arg(objectName()));
}

void Dataset::requireEditing() const
{
    if (state_ != State::Insert && state_ != State::Edit) {
        throw DataError(QStringLiteral("数据集“%1”不在编辑或插入状态。").arg(objectName()));
    }
}

void Dataset::postIfEditing()
{
    if (state_ == State::Insert || state_ == State::Edit) post();
}

int Dataset::recordCount() const
{
    ensureIds();
    return isQuery() ? rowCount_ : ids_.size();
}

void Dataset::setCurrent(int index)
{
    ensureIds();
    if (index != current_) {
        current_ = index;
        emit currentChanged(current_);
    }
}

void Dataset::first()
{
    requireActive();
    postIfEditing();
    ensureIds();
    if (recordCount() == 0) {
        eof_ = true;
        setCurrent(-1);
        return;
    }
    eof_ = false;
    setCurrent(0);
}

void Dataset::next()
{
    requireActive();
    postIfEditing();
    ensureIds();
    if (current_ + 1 < recordCount()) {
        eof_ = false;
        setCurrent(current_ + 1);
    } else {
        eof_ = true;  // the last row stays current
    }
}

void Dataset::prior()
{
    requireActive();
    postIfEditing();
    ensureIds();
    if (current_ > 0) setCurrent(current_ - 1);
    eof_ = recordCount() == 0;
}

void Dataset::last()
{
    requireActive();
    postIfEditing();
    ensureIds();
    eof_ = recordCount() == 0;
    setCurrent(recordCount() - 1);
}

void Dataset::moveBy(int n)
{
    requireActive();
    postIfEditing();
    ensureIds();
    if (recordCount() == 0) return;
    int target = current_ + n;
    eof_ = false;
    if (target >= recordCount()) {
        target = recordCount() - 1;
        eof_ = true;
    }
    if (target < 0) target = 0;
    setCurrent(target);
}

void Dataset::setRecNo(int index)
{
    requireActive();
    postIfEditing();
    ensureIds();
    if (index < 0 || index >= recordCount()) return;
    eof_ = false;
    setCurrent(index);
}

int Dataset::fieldIndex(const QString& name) const
{
    return fieldLookup_.value(name.toLower(), -1);
}

Field Dataset::fieldByName(const QString& name)
{
    requireActive();
    const int column = fieldIndex(name);
    if (column < 0) {
        throw DataError(QStringLiteral("数据集“%1”中没有字段“%2”。").arg(objectName(), name));
    }
    return Field(this, column);
}

qint64 Dataset::idAt(int row) const
{
    ensureIds();
    return isQuery() ? -1 : ids_.value(row, -1);
}

void Dataset::loadWindow(int row) const
{
    if (cache_.size() > kCacheLimit) cache_.clear();
    const int end = std::min<int>(ids_.size(), row + kWindow) - 1;
    QStringList columns;
    for (const QString& f : fields_) columns << QStringLiteral("\"%1\"").arg(f);
    sql::Reader q(db(),
                  QStringLiteral("SELECT id, %1 FROM \"%2\" WHERE id BETWEEN ? AND ? ORDER BY id")
                      .arg(columns.join(QLatin1Char(',')), table_),
                  {ids_[row], ids_[end]});
    while (q.next()) {
        QVector<QString> values(fields_.size());
        for (int i = 0; i < fields_.size(); ++i) values[i] = q.text(i + 1);
        cache_.insert(q.int64(0), std::move(values));
    }
}

const QVector<QString>& Dataset::rowValues(int row) const
{
    static const QVector<QString> none;
    if (row < 0 || row >= recordCount() || isQuery()) return none;  // recordCount() reads the ids
    const qint64 id = ids_[row];
    auto it = cache_.constFind(id);
    if (it == cache_.constEnd()) {
        loadWindow(row);
        it = cache_.constFind(id);
        if (it == cache_.constEnd()) {
            // The row vanished behind the dataset's back; show it empty rather than fail.
            cache_.insert(id, QVector<QString>(fields_.size()));
            it = cache_.constFind(id);
        }
    }
    return *it;
}

QString Dataset::valueAt(int row, int column) const
{
    if ((state_ == State::Insert || state_ == State::Edit) && row == current_) return buffer_.value(column);
    if (isQuery()) {
        if (row < 0 || row >= rowCount_ || column < 0) return QString();
        if (deferStart_ >= 0 && column >= deferStart_) return deferredValue(row, column);
        return cell(row, column);
    }
    return rowValues(row).value(column);
}

QString Dataset::cell(int row, int column) const
{
    if (column >= queryColumns_) return QString();
    const qsizetype k = qsizetype(row) * queryColumns_ + column;
    const qsizetype start = cells_[k];
    return QString::fromUtf8(data_.constData() + start, cells_[k + 1] - start);
}

QString Dataset::currentValue(int column) const
{
    requireActive();
    ensureIds();
    if (state_ == State::Insert || state_ == State::Edit) return buffer_.value(column);
    if (current_ < 0) {
        throw DataError(QStringLiteral("数据集“%1”没有当前记录。").arg(objectName()));
    }
    return valueAt(current_, column);
}

void Dataset::setCurrentValue(int column, const QString& value)
{
    requireEditing();
    buffer_[column] = value;
}

void Dataset::append()
{
    requireActive();
    ensureIds();
    if (isQuery()) throw DataError(QStringLiteral("查询“%1”是只读的。").arg(objectName()));
    postIfEditing();
    buffer_ = QVector<QString>(fields_.size());
    state_ = State::Insert;
}

void Dataset::edit()
{
    requireActive();
    ensureIds();
    if (state_ == State::Insert || state_ == State::Edit) return;
    if (isQuery()) throw DataError(QStringLiteral("查询“%1”是只读的。").arg(objectName()));
    if (current_ < 0) throw DataError(QStringLiteral("数据集“%1”没有当前记录。").arg(objectName()));
    buffer_ = rowValues(current_);
    state_ = State::Edit;
}

void Dataset::post()
{
    requireActive();
    if (state_ == State::Insert) {
        QStringList columns, marks;
        QVariantList values;
        for (int i = 0; i < fields_.size(); ++i) {
            columns << QStringLiteral("\"%1\"").arg(fields_[i]);
            marks << QStringLiteral("?");
            values << buffer_[i];
        }
        const qint64 id = sql::exec(db(),
                                    QStringLiteral("INSERT INTO \"%1\" (%2) VALUES (%3)")
                                        .arg(table_, columns.join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
                                    values);
        ids_.append(id);
        cache_.insert(id, buffer_);
        state_ = State::Browse;
        eof_ = false;
        emit rowsChanged();
        setCurrent(ids_.size() - 1);
    } else if (state_ == State::Edit) {
        QStringList sets;
        QVariantList values;
        for (int i = 0; i < fields_.size(); ++i) {
            sets << QStringLiteral("\"%1\"=?").arg(fields_[i]);
            values << buffer_[i];
        }
        values << ids_[current_];
        sql::exec(db(), QStringLiteral("UPDATE \"%1\" SET %2 WHERE id=?").arg(table_, sets.join(QLatin1Char(','))),
                  values);
        cache_.insert(ids_[current_], buffer_);
        state_ = State::Browse;
        emit rowUpdated(current_);
    }
}

void Dataset::cancel()
{
    if (state_ == State::Insert || state_ == State::Edit) {
        state_ = State::Browse;
        buffer_.clear();
        emit rowUpdated(current_);
    }
}

void Dataset::remove()
{
    requireActive();
    ensureIds();
    if (isQuery()) throw DataError(QStringLiteral("查询“%1”是只读的。").arg(objectName()));
    if (state_ == State::Insert) {
        cancel();
        return;
    }
    state_ = State::Browse;
    if (current_ < 0) throw DataError(QStringLiteral("数据集“%1”没有当前记录。").arg(objectName()));
    const qint64 id = ids_[current_];
    sql::exec(db(), QStringLiteral("DELETE FROM \"%1\" WHERE id=?").arg(table_), {id});
    ids_.removeAt(current_);
    cache_.remove(id);
    int index = current_;
    eof_ = ids_.isEmpty();
    if (ids_.isEmpty()) {
        index = -1;
    } else if (index >= ids_.size()) {
        index = ids_.size() - 1;
    }
    current_ = -2;  // force the signal even when the index is unchanged
    emit rowsChanged();
    setCurrent(index);
}
