#include "data/dataset.h"

#include "data/engine.h"

#include "data/convert.h"
#include "data/errors.h"
#include "data/sql.h"

#include <QSqlRecord>

#include <algorithm>
#include <limits>

namespace {
constexpr int kWindow = 256;       // rows fetched at once in table mode and keyed query mode
constexpr int kCacheLimit = 4096;  // rows kept before the cache is dropped
constexpr int kLoneWindow = 16;    // keyed rows fetched for a row far from the rows read before
constexpr int kKeyBlock = 4096;    // keys read at once when keys are read on demand
// Keys read on demand stand for rows counted but gone by the time their keys were read (another
// user deleted them): such rows show empty, as a row deleted after its key was read does. They are
// larger than any row id and keep the list's keys in order.
constexpr qint64 kPaddingKeys = std::numeric_limits<qint64>::max() - std::numeric_limits<int>::max();
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
    keyField_.clear();
    countSql_.clear();
    table_.clear();
    sql_ = statement;
    binds_ = binds;
}

void Dataset::setKeyedSql(const QString& select, const QString& keyField, const QVariantList& binds,
                          const QString& count)
{
    setSql(select, binds);
    keyField_ = keyField;
    countSql_ = count;
    firstRows_ = 64;
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
    keys_.clear();
    windowRows_.clear();
    lastWindow_ = {-1, -1};
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
        deferCache_.clear();
        deferStart_ = -1;
        if (isKeyed()) {
            openKeyed();
        } else {
            sql::Reader q(db(), sql_, binds_);
            fields_ = q.columnNames();
            queryColumns_ = q.columnCount();
            readRows(q);
        }
        if (!deferFields_.isEmpty()) {
            deferIdColumn_ = fields_.indexOf(deferIdField_);
            if (deferIdColumn_ < 0) {
                throw DataError(QStringLiteral("查询“%1”的结果中没有字段“%2”。").arg(objectName(), deferIdField_));
            }
            deferStart_ = queryColumns_;
            fields_ += deferFields_;
        }
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

QString Dataset::keyedSelect(const QString& columns, const QString& condition) const
{
    // The caller's statement stays whole inside; both SQLite and PostgreSQL merge it into the
    // outer statement, so a key range reaches the index of the table.
    return QStringLiteral("SELECT %1 FROM (%2) AS w %3 ORDER BY \"%4\"").arg(columns, sql_, condition, keyField_);
}

void Dataset::readKeys(const QString& condition, const QVariantList& extraBinds)
{
    sql::Reader q(db(), keyedSelect(QStringLiteral("\"%1\"").arg(keyField_), condition), binds_ + extraBinds);
    while (q.next()) keys_.append(q.int64(0));
    rowCount_ = keys_.size();
}

namespace {
const QString kKeyRange = QStringLiteral("WHERE \"%1\" BETWEEN ? AND ?");
}  // namespace

void Dataset::openKeyed()
{
    if (readsKeysOnDemand()) {
        openKeyedOnDemand();
        return;
    }
    readKeys(QString(), {});
    // The first window is read at once, whole: its statement also names the result's columns.
    lastWindow_ = {0, 0};
    const auto [start, end] = keyedWindow(0);
    sql::Reader q(db(), keyedSelect(QStringLiteral("*"), kKeyRange.arg(keyField_)), binds_ + keyRange(start, end));
    fields_ = q.columnNames();
    queryColumns_ = q.columnCount();
    keyColumn_ = -1;
    for (int i = 0; i < fields_.size() && keyColumn_ < 0; ++i) {
        if (fields_[i].compare(keyField_, Qt::CaseInsensitive) == 0) keyColumn_ = i;
    }
    if (keyColumn_ < 0) {
        throw DataError(QStringLiteral("查询“%1”的结果中没有字段“%2”。").arg(objectName(), keyField_));
    }
    fillWindow(q, start, end);
}

int Dataset::keyedRowCount() const
{
    return sql::scalar(db(), countSql_, binds_).toInt();
}

void Dataset::openKeyedOnDemand()
{
    // The first screenful of rows comes with its keys, in list order, from one statement that also
    // names the result's columns and gives the count in a last column of its own (one round trip to
    // a server). Both engines work out the count once for the statement.
    sql::Reader q(db(),
                  keyedSelect(QStringLiteral("w.*, (%1) AS exavoro_row_count").arg(countSql_), QString()) +
                      QStringLiteral(" LIMIT ?"),
                  binds_ + binds_ + QVariantList{firstRows_});
    fields_ = q.columnNames();
    fields_.removeLast();
    queryColumns_ = q.columnCount() - 1;
    rowCount_ = 0;
    keyColumn_ = -1;
    for (int i = 0; i < fields_.size() && keyColumn_ < 0; ++i) {
        if (fields_[i].compare(keyField_, Qt::CaseInsensitive) == 0) keyColumn_ = i;
    }
    if (keyColumn_ < 0) {
        throw DataError(QStringLiteral("查询“%1”的结果中没有字段“%2”。").arg(objectName(), keyField_));
    }
    while (q.next()) {
        QVector<QString> values(queryColumns_);
        for (int i = 0; i < queryColumns_; ++i) values[i] = q.text(i);
        windowRows_.insert(int(keys_.size()), std::move(values));
        keys_.append(q.int64(keyColumn_));
        rowCount_ = int(q.int64(queryColumns_));
    }
    // A count kept apart from the rows (by triggers, in the same snapshot) never says fewer rows
    // than the statement gave; the list holds at least those.
    rowCount_ = std::max<int>(rowCount_, keys_.size());
    if (keys_.size() < std::min(rowCount_, firstRows_)) padMissingKeys();
    lastWindow_ = {0, int(keys_.size()) - 1};
}

void Dataset::ensureKeys(int row) const
{
    if (!readsKeysOnDemand() || row < keys_.size() || keys_.size() >= rowCount_) return;
    const int have = int(keys_.size());
    const int wanted = std::min(rowCount_, std::max(row + 1, have + kKeyBlock)) - have;
    QString condition;
    QVariantList binds = binds_;
    if (have > 0) {
        condition = QStringLiteral("WHERE \"%1\" > ?").arg(keyField_);
        binds << keys_.last();
    }
    binds << wanted;
    sql::Reader q(db(), keyedSelect(QStringLiteral("\"%1\"").arg(keyField_), condition) + QStringLiteral(" LIMIT ?"),
                  binds);
    while (q.next()) keys_.append(q.int64(0));
    if (keys_.size() < have + wanted) padMissingKeys();
}

void Dataset::padMissingKeys() const
{
    for (qsizetype i = keys_.size(); i < rowCount_; ++i) keys_.append(kPaddingKeys + i);
}

void Dataset::dropPadding() const
{
    while (!keys_.isEmpty() && keys_.last() >= kPaddingKeys) {
        windowRows_.remove(int(keys_.size()) - 1);
        keys_.removeLast();
    }
}

// The rows of the window holding `row`: aligned to the window size and widened to whole groups of
// rows sharing a key, as a key range gives every row of its keys. A row next to the rows read last
// (a grid scrolling on) brings a whole window; a lone row far from them (a random draw, a jump of
// the scroll bar) brings a small one, so that scattered reads do not read many rows each.
std::pair<int, int> Dataset::keyedWindow(int row) const
{
    const bool near =
        lastWindow_.first >= 0 && row >= lastWindow_.first - kWindow && row <= lastWindow_.second + kWindow;
    const int total = readsKeysOnDemand() ? rowCount_ : int(keys_.size());
    const int size = near || total <= kWindow ? kWindow : kLoneWindow;
    int start = row / size * size;
    int end = std::min<int>(total, start + size) - 1;
    ensureKeys(std::min(total - 1, end + 1));  // the key after the window too, for the widening below
    while (start > 0 && start < keys_.size() && keys_[start - 1] == keys_[start]) --start;
    while (end >= 0 && end + 1 < keys_.size() && keys_[end + 1] == keys_[end]) ++end;
    lastWindow_ = {start, end};
    return {start, end};
}

QVariantList Dataset::keyRange(int start, int end) const
{
    // An empty list reads an empty range (for the names of the columns).
    return end >= start ? QVariantList{keys_[start], keys_[end]} : QVariantList{1, 0};
}

void Dataset::loadKeyedWindow(int row) const
{
    if (windowRows_.size() > kCacheLimit) windowRows_.clear();
    const auto [start, end] = keyedWindow(row);
    sql::Reader q(db(), keyedSelect(QStringLiteral("*"), kKeyRange.arg(keyField_)), binds_ + keyRange(start, end));
    fillWindow(q, start, end);
}

// Rows are matched to the list by key: a row deleted since the keys were read shows empty, a row
// added since is not part of the list.
void Dataset::fillWindow(sql::Reader& q, int start, int end) const
{
    int at = start;
    while (at <= end && q.next()) {
        const qint64 key = q.int64(keyColumn_);
        while (at <= end && keys_[at] < key) ++at;
        if (at > end || keys_[at] != key) continue;
        QVector<QString> values(queryColumns_);
        for (int i = 0; i < queryColumns_; ++i) values[i] = q.text(i);
        windowRows_.insert(at++, std::move(values));
    }
    for (int r = start; r <= end; ++r) {
        if (!windowRows_.contains(r)) windowRows_.insert(r, QVector<QString>(queryColumns_));
    }
}

int Dataset::rowsInMemory() const
{
    if (!isQuery()) return cache_.size();
    return isKeyed() ? windowRows_.size() : rowCount_;
}

void Dataset::prefetchRows(const QVector<int>& rows) const
{
    if (!isKeyed() || queryColumns_ <= 0) return;
    if (readsKeysOnDemand() && !rows.isEmpty()) ensureKeys(std::min(rowCount_ - 1, *std::max_element(rows.begin(), rows.end())));
    QVector<qint64> wanted;
    auto collect = [&] {
        wanted.clear();
        for (const int row : rows) {
            if (row >= 0 && row < keys_.size() && !windowRows_.contains(row)) wanted.append(keys_[row]);
        }
        std::sort(wanted.begin(), wanted.end());
        wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    };
    collect();
    if (wanted.isEmpty()) return;
    if (windowRows_.size() + wanted.size() > kCacheLimit) {
        windowRows_.clear();
        collect();
    }
    QHash<qint64, int> seen;  // result rows read so far of each key
    // A few hundred values per statement keep within every engine's limit on bound values.
    constexpr int kPerStatement = 500;
    for (qsizetype first = 0; first < wanted.size(); first += kPerStatement) {
        const qsizetype n = std::min<qsizetype>(kPerStatement, wanted.size() - first);
        QVariantList keys;
        for (qsizetype i = 0; i < n; ++i) keys << wanted[first + i];
        const engine::KeyedRows byKeys = engine::rowsOfKeys(db(), sql_, keyField_, n);
        sql::Reader q(db(), byKeys.statement, byKeys.keysFirst ? keys + binds_ : binds_ + keys);
        while (q.next()) {
            const qint64 key = q.int64(keyColumn_);
            QVector<QString> values(queryColumns_);
            for (int i = 0; i < queryColumns_; ++i) values[i] = q.text(i);
            // Rows sharing a key take the result's rows of that key in turn, as in a window.
            const auto firstOfKey = std::lower_bound(keys_.cbegin(), keys_.cend(), key);
            if (firstOfKey == keys_.cend() || *firstOfKey != key) continue;
            const int row = int(firstOfKey - keys_.cbegin()) + seen[key]++;
            if (row < keys_.size() && keys_[row] == key && !windowRows_.contains(row)) {
                windowRows_.insert(row, std::move(values));
            }
        }
    }
    // A row deleted since the keys were read shows empty, as in a window.
    for (const int row : rows) {
        if (row >= 0 && row < keys_.size() && !windowRows_.contains(row)) {
            windowRows_.insert(row, QVector<QString>(queryColumns_));
        }
    }
}

int Dataset::rowOfKey(qint64 key) const
{
    if (!isKeyed()) return -1;
    if (readsKeysOnDemand() && keys_.size() < rowCount_ && (keys_.isEmpty() || key > keys_.last())) {
        // Every key up to this one, so that its row's place in the list is known.
        QString condition = QStringLiteral("WHERE \"%1\" <= ?").arg(keyField_);
        QVariantList binds = binds_;
        if (!keys_.isEmpty()) {
            condition += QStringLiteral(" AND \"%1\" > ?").arg(keyField_);
            binds << key << keys_.last();
        } else {
            binds << key;
        }
        sql::Reader q(db(), keyedSelect(QStringLiteral("\"%1\"").arg(keyField_), condition), binds);
        while (q.next() && keys_.size() < rowCount_) keys_.append(q.int64(0));
    }
    const auto it = std::lower_bound(keys_.cbegin(), keys_.cend(), key);
    return it != keys_.cend() && *it == key ? int(it - keys_.cbegin()) : -1;
}

int Dataset::findRow(const QStringList& fields, const std::function<bool(const QStringList&)>& match) const
{
    if (!isActive()) return -1;  // a closed dataset lists no rows
    QVector<int> columns;
    for (const QString& name : fields) {
        const int column = fieldIndex(name);
        if (column < 0 || (isQuery() && column >= queryColumns_)) {
            throw DataError(QStringLiteral("数据集“%1”中没有字段“%2”。").arg(objectName(), name));
        }
        columns << column;
    }
    QStringList values;
    if (!isKeyed()) {
        for (int row = 0; row < recordCount(); ++row) {
            values.clear();
            for (int column : columns) values << valueAt(row, column);
            if (match(values)) return row;
        }
        return -1;
    }
    QStringList names{QStringLiteral("\"%1\"").arg(keyField_)};
    for (int column : columns) names << QStringLiteral("\"%1\"").arg(fields_[column]);
    sql::Reader q(db(), keyedSelect(names.join(QLatin1Char(',')), QString()), binds_);
    while (q.next()) {
        values.clear();
        for (int i = 1; i < names.size(); ++i) values << q.text(i);
        if (!match(values)) continue;
        const int row = rowOfKey(q.int64(0));
        if (row >= 0) return row;  // a row added since the keys were read is not part of the list
    }
    return -1;
}

void Dataset::reopenWithNewRows(const QString& idField)
{
    if (readsKeysOnDemand() && isActive() && idField.compare(keyField_, Qt::CaseInsensitive) == 0) {
        // New rows come after every key held: the count takes them in, and their keys are read
        // when they come into view. Rows that were missing stand for rows to be read again.
        const int before = rowCount_;
        dropPadding();
        rowCount_ = std::max<int>(keyedRowCount(), keys_.size());
        if (rowCount_ != before) emit rowsChanged();
        eof_ = rowCount_ == 0;
        current_ = -2;  // the first row becomes current and says so, as after open()
        setCurrent(rowCount_ == 0 ? -1 : 0);
        return;
    }
    if (isKeyed() && isActive() && idField.compare(keyField_, Qt::CaseInsensitive) == 0) {
        const int before = rowCount_;
        readKeys(QStringLiteral("WHERE \"%1\" > ?").arg(keyField_), {keys_.isEmpty() ? qint64(-1) : keys_.last()});
        if (rowCount_ != before) emit rowsChanged();
        eof_ = rowCount_ == 0;
        current_ = -2;  // the first row becomes current and says so, as after open()
        setCurrent(rowCount_ == 0 ? -1 : 0);
        return;
    }
    const int idColumn = fieldIndex(idField);
    if (!isActive() || !isQuery() || isKeyed() || idColumn < 0 || idColumn >= queryColumns_) {
        close();
        open();
        return;
    }
    const qint64 lastId = rowCount_ > 0 ? cell(rowCount_ - 1, idColumn).toLongLong() : -1;
    QVariantList binds = binds_;
    binds << lastId;
    const int before = rowCount_;
    {
        // PostgreSQL wants a name for a subquery in FROM.
        sql::Reader q(db(),
                      QStringLiteral("SELECT * FROM (%1) AS w WHERE \"%2\" > ? ORDER BY \"%2\"").arg(sql_, fields_[idColumn]),
                      binds);
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
    keys_.clear();
    windowRows_.clear();
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
    if (isKeyed()) {
        auto it = windowRows_.constFind(row);
        if (it == windowRows_.constEnd()) {
            loadKeyedWindow(row);
            it = windowRows_.constFind(row);
        }
        return it->value(column);
    }
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

void Dataset::appendStored(qint64 id, const QVector<QPair<QString, QString>>& values)
{
    if (!isActive() || isQuery() || !idsLoaded_) return;
    postIfEditing();
    QVector<QString> row(fields_.size());
    for (const auto& [column, value] : values) {
        const int at = fieldIndex(column);
        if (at >= 0 && at < row.size()) row[at] = value;
    }
    ids_.append(id);
    cache_.insert(id, std::move(row));
    eof_ = false;
    emit rowsChanged();
    setCurrent(ids_.size() - 1);
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
