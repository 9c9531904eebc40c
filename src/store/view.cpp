#include "view.h"

#include "connection.h"
#include "dberror.h"
#include "sortkeys.h"

#include <QCollator>

#include <QDate>
#include <QLocale>
#include <thread>

#include <algorithm>
#include <cstring>

namespace {

constexpr int ObjectClosed = 3704;
constexpr int ReadOnlyView = 3251;

// Emits aboutToReset on entry and didReset on exit, so that grids showing the
// view can drop their rows before they change.
class ResetNotice {
public:
    explicit ResetNotice(View* v) : m_view(v) { Q_EMIT m_view->aboutToReset(); }
    ~ResetNotice() { Q_EMIT m_view->didReset(); }
    ResetNotice(const ResetNotice&) = delete;
    ResetNotice& operator=(const ResetNotice&) = delete;

private:
    View* m_view;
};

} // namespace

const QCollator& japaneseCollator()
{
    static const QCollator collator = [] {
        QCollator c(QLocale(QLocale::Japanese, QLocale::Japan));
        c.setCaseSensitivity(Qt::CaseInsensitive);
        // "第2曲" before "第10曲", "Op.9" before "Op.27": numbers read as numbers.
        c.setNumericMode(true);
        return c;
    }();
    return collator;
}

QString foldKey(const QString& text)
{
    return text.toCaseFolded();
}

View::View() = default;
View::~View() = default;

void View::open(QVector<FieldDef> fields, Loader loader, Connection* cn, QString table)
{
    m_fields = std::move(fields);
    m_loader = std::move(loader);
    m_cn = cn;
    m_table = std::move(table);
    m_inMemory = false;
    m_provisional = false;
    m_finishReading = nullptr;
    ResetNotice notice(this);
    m_rows = m_loader ? m_loader() : Snapshot();
    m_open = true;
    m_editMode = EditMode::None;
    if (m_parent)
        rebuildChapterIndex();
    rebuildVisible();
    m_pos = m_visible.empty() ? -1 : 0;
    m_currentDeleted = false;
}

void View::openDeferred(QVector<FieldDef> fields, Loader loader)
{
    {
        ResetNotice notice(this);
        m_fields = std::move(fields);
        m_loader = std::move(loader);
        m_cn = nullptr;
        m_table.clear();
        m_inMemory = false;
        m_rows.clear();
        m_visible.clear();
        m_pos = -1;
        m_editMode = EditMode::None;
        m_open = true;
        m_deferred = true;
    }
    Q_EMIT currentChanged();
}

void View::openProvisional(QVector<FieldDef> fields, Loader loader, Connection* cn, QString table,
                           Snapshot first, int total, std::function<void()> finishReading)
{
    open(std::move(fields), Loader(), cn, std::move(table));
    m_loader = std::move(loader);
    {
        ResetNotice notice(this);
        m_rows = std::move(first);
        m_provisional = true;
        m_provisionalTotal = total;
        m_finishReading = std::move(finishReading);
        if (m_parent)
            rebuildChapterIndex();
        rebuildVisible();
        m_pos = m_visible.empty() ? -1 : 0;
    }
}

// The first rows answer for the current row and the count as long as the
// view stands on its first row, unless they are none while there are rows.
// A child view's first rows are all the rows of its parent's current row.
bool View::answersNow() const
{
    return !m_provisional || m_provisionalTotal <= 0 || !m_rows.empty();
}

void View::completeReading() const
{
    if (m_provisional && m_finishReading) {
        const auto finish = m_finishReading; // the call replaces this view's rows
        finish();
    }
}

void View::beginAllRows()
{
    Q_EMIT aboutToReset();
}

void View::setAllRows(Snapshot rows, ChapterIndex* chapters)
{
    m_rows = std::move(rows);
    m_provisional = false;
    m_provisionalTotal = -1;
    m_finishReading = nullptr;
    if (m_parent && chapters)
        m_chapterIndex = std::move(*chapters);
    else if (m_parent)
        rebuildChapterIndex();
    rebuildVisible();
    m_pos = m_visible.empty() ? -1 : 0;
}

void View::endAllRows()
{
    Q_EMIT didReset();
    setPosition(m_pos);
}

QVariant View::valueIfRead(int visibleRow, int column) const
{
    if (m_provisional && visibleRow >= int(m_visible.size()))
        return QVariant();
    return valueAt(visibleRow, column);
}

void View::completeDeferredRead() const noexcept
{
    if (!m_deferred)
        return;
    // Nobody has seen rows yet, so filling them in needs no notice; the rows
    // are what the view would have read when it opened.
    auto* self = const_cast<View*>(this);
    self->m_deferred = false;
    try {
        self->m_rows = m_loader ? m_loader() : Snapshot();
    } catch (const DbError&) {
        self->m_rows.clear(); // a list that cannot be read stays empty
    }
    self->rebuildVisible();
    self->m_pos = m_visible.empty() ? -1 : 0;
}

void View::appendField(const QString& name, FieldType type, int size, bool nullable)
{
    if (m_open)
        throw DbError::notAllowedNow();
    m_fields.append(FieldDef{name, type, size, nullable});
}

void View::openInMemory()
{
    open(m_fields, Loader());
    m_inMemory = true;
}

void View::close()
{
    m_deferred = false;
    if (!m_open)
        return;
    {
        ResetNotice notice(this);
        m_open = false;
        m_provisional = false;
        m_finishReading = nullptr;
        m_rows.clear();
        m_visible.clear();
        m_chapterIndex.clear();
        m_pos = -1;
        m_editMode = EditMode::None;
    }
    Q_EMIT currentChanged();
}

void View::relateChild(const std::shared_ptr<View>& child, const QString& childName,
                       const QString& parentColumn, const QString& childColumn)
{
    m_child = child;
    m_childName = childName;
    m_relateColumn = columnOf(parentColumn);
    child->m_parent = this;
    child->m_chapterColumn = child->columnOf(childColumn);
    child->rebuildChapterIndex();
    syncChild();
}

std::shared_ptr<View> View::childView(const QString& name) const
{
    requireOpenNow();
    if (!m_child || name.compare(m_childName, Qt::CaseInsensitive) != 0)
        throw DbError(DbError::BadArguments,
                      QStringLiteral("項目「%1」はこのビューにありません。").arg(name));
    return m_child;
}

std::vector<const Row*> View::childRowsAt(int visibleRow) const
{
    std::vector<const Row*> out;
    for (int index : childIndexesAt(visibleRow))
        out.push_back(m_child->m_rows[size_t(index)].get());
    return out;
}

std::vector<int> View::childIndexesAt(int visibleRow) const
{
    std::vector<int> out;
    if (!m_child || !m_child->m_open)
        return out;
    const QVariant key = valueAt(visibleRow, m_relateColumn);
    if (key.isNull() || !key.isValid())
        return out;
    const auto it = m_child->m_chapterIndex.constFind(foldKey(key.toString()));
    if (it == m_child->m_chapterIndex.constEnd())
        return out;
    for (int index : it.value()) {
        const RowPtr& row = m_child->m_rows[size_t(index)];
        if (row && m_child->passesFilter(*row))
            out.push_back(index);
    }
    return out;
}

bool View::passesFilter(const Row& row) const
{
    for (const Criteria::Clause& c : m_criteria.clauses())
        if (c.rowids ? !c.rowids->contains(row.rowid)
                     : !Criteria::matches(c, row.text(c.fieldIndex, m_fields.at(c.fieldIndex).type),
                                          row.isNull(c.fieldIndex)))
            return false;
    return true;
}

int View::fieldIndex(const QString& name) const
{
    for (int i = 0; i < m_fields.size(); ++i)
        if (m_fields.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

int View::columnOf(const QString& name) const
{
    const int i = fieldIndex(name);
    if (i < 0)
        throw DbError(DbError::BadArguments,
                      QStringLiteral("項目「%1」はこのビューにありません。").arg(name));
    return i;
}

int View::recordCount() const
{
    requireOpenNow();
    if (m_provisional && m_provisionalTotal >= 0)
        return m_provisionalTotal;
    return int(m_visible.size());
}

// Right after a delete the view still stands on the deleted row: neither end
// is reached until it moves, even when the last row is gone.
bool View::bof() const
{
    requireOpenNow();
    if (m_currentDeleted)
        return false;
    return m_visible.empty() || m_pos < 0;
}

bool View::eof() const
{
    requireOpenNow();
    if (m_currentDeleted)
        return false;
    return m_visible.empty() || m_pos >= int(m_visible.size());
}

bool View::hasCurrent() const
{
    completeDeferredRead();
    if (m_open && !answersNow())
        completeReading();
    return m_open && m_pos >= 0 && m_pos < int(m_visible.size()) && !m_currentDeleted;
}

int View::position() const
{
    return hasCurrent() ? m_pos : -1;
}

void View::requireOpen() const
{
    requireOpenNow();
    completeReading();
}

void View::requireOpenNow() const
{
    if (!m_open)
        throw DbError(ObjectClosed,
                      QStringLiteral("オブジェクトが閉じている場合は、操作は許可されません。"));
    completeDeferredRead();
    if (!answersNow())
        completeReading();
}

void View::requireCurrent() const
{
    requireOpen();
    if (!hasCurrent())
        throw DbError::noCurrentRow();
}

void View::requireNoEdit() const
{
    if (m_editMode != EditMode::None)
        throw DbError::notAllowedNow();
}

void View::requireWritable() const
{
    if (!m_inMemory && m_table.isEmpty())
        throw DbError(ReadOnlyView,
                      QStringLiteral("このビューは読み取り専用のため、変更できません。"));
}

void View::saveIfPending()
{
    if (m_editMode != EditMode::None)
        update();
}

void View::setPosition(int pos, bool deletedHere)
{
    m_pos = pos;
    m_currentDeleted = deletedHere;
    syncChild();
    Q_EMIT currentChanged();
}

void View::moveFirst()
{
    requireOpen();
    saveIfPending();
    if (m_visible.empty())
        throw DbError::noCurrentRow();
    setPosition(0);
}

void View::moveLast()
{
    requireOpen();
    saveIfPending();
    if (m_visible.empty())
        throw DbError::noCurrentRow();
    setPosition(int(m_visible.size()) - 1);
}

void View::moveNext()
{
    requireOpen();
    if (eof())
        throw DbError::noCurrentRow();
    saveIfPending();
    // after a delete the following row has slid into the current place
    setPosition(m_currentDeleted ? m_pos : m_pos + 1);
}

void View::movePrevious()
{
    requireOpen();
    if (bof())
        throw DbError::noCurrentRow();
    saveIfPending();
    setPosition(m_pos - 1);
}

void View::step(Step s)
{
    switch (s) {
    case Step::First:
        moveFirst();
        break;
    case Step::Previous:
        movePrevious();
        if (bof())
            moveFirst();
        break;
    case Step::Next:
        moveNext();
        if (eof())
            moveLast();
        break;
    case Step::Last:
        moveLast();
        break;
    }
}

void View::moveTo(int visibleRow)
{
    requireOpen();
    if (visibleRow < 0 || visibleRow >= int(m_visible.size()))
        throw DbError::noCurrentRow();
    if (visibleRow == m_pos && !m_currentDeleted)
        return;
    saveIfPending();
    setPosition(visibleRow);
}

QVariant View::currentValue(int column) const
{
    requireOpenNow();
    if (!hasCurrent())
        throw DbError::noCurrentRow();
    if (m_editMode != EditMode::None)
        return m_pending.value(column);
    return m_rows[size_t(m_visible[size_t(m_pos)])]->value(column);
}

QVariant View::value(const QString& name) const
{
    requireOpenNow();
    return value(columnOf(name));
}

QVariant View::value(int column) const
{
    return currentValue(column);
}

QVariant View::valueAt(int visibleRow, int column) const
{
    completeDeferredRead();
    if (m_provisional && (visibleRow >= int(m_visible.size()) || !answersNow()))
        completeReading();
    if (!m_open || visibleRow < 0 || visibleRow >= int(m_visible.size()))
        return QVariant();
    if (m_editMode != EditMode::None && visibleRow == m_pos)
        return m_pending.value(column);
    const int index = m_visible[size_t(visibleRow)];
    return index >= 0 ? m_rows[size_t(index)]->value(column) : QVariant();
}

int View::rowOf(int column, const QVariant& value) const
{
    if (column < 0 || value.isNull())
        return -1;
    for (int i = 0, n = recordCount(); i < n; ++i)
        if (const Row* row = rowAt(i); row && row->value(column) == value)
            return i;
    return -1;
}

const Row* View::rowAt(int visibleRow) const
{
    completeDeferredRead();
    if (m_provisional && (visibleRow >= int(m_visible.size()) || !answersNow()))
        completeReading();
    if (!m_open || visibleRow < 0 || visibleRow >= int(m_visible.size()))
        return nullptr;
    const int index = m_visible[size_t(visibleRow)];
    return index >= 0 ? m_rows[size_t(index)].get() : nullptr;
}

void View::setValue(const QString& name, const QVariant& v)
{
    requireOpen();
    setValue(columnOf(name), v);
}

void View::setValue(int column, const QVariant& v)
{
    requireCurrent();
    requireWritable();
    if (column < 0 || column >= m_fields.size())
        throw DbError(DbError::BadArguments, QStringLiteral("項目の番号が範囲外です。"));
    if (m_editMode == EditMode::None) {
        m_pending = m_rows[size_t(m_visible[size_t(m_pos)])]->values();
        m_pendingChanged = QVector<bool>(m_fields.size(), false);
        m_editMode = EditMode::InProgress;
    }
    m_pending[column] = v.isNull() ? QVariant() : v;
    m_pendingChanged[column] = true;
    Q_EMIT rowChanged(m_pos);
}

void View::addNew()
{
    requireOpen();
    requireWritable();
    saveIfPending();
    m_posBeforeAdd = hasCurrent() ? m_pos : -1;
    {
        ResetNotice notice(this);
        m_pending = QVector<QVariant>(m_fields.size());
        m_pendingChanged = QVector<bool>(m_fields.size(), false);
        m_editMode = EditMode::Add;
        m_visible.push_back(PendingRow);
    }
    setPosition(int(m_visible.size()) - 1);
}

void View::update()
{
    requireOpen();
    if (m_editMode == EditMode::Add)
        storeAdded();
    else if (m_editMode == EditMode::InProgress)
        storeEdited();
}

void View::storeAdded()
{
    const qint64 rowid = m_inMemory ? -1 : m_cn->insertRow(m_table, m_fields, m_pending);
    const int index = int(m_rows.size());
    m_rows.edit().push_back(Row::make(rowid, m_pending));
    m_visible[size_t(m_pos)] = index;
    m_editMode = EditMode::None;
    if (m_parent)
        indexChapterRow(index);
    syncChild();
    Q_EMIT rowChanged(m_pos);
}

void View::storeEdited()
{
    const int index = m_visible[size_t(m_pos)];
    const RowPtr old = m_rows[size_t(index)];
    if (!m_inMemory)
        m_cn->updateRow(m_table, m_fields, m_pending, m_pendingChanged, old->rowid);
    m_rows.edit()[size_t(index)] = Row::make(old->rowid, m_pending);
    m_editMode = EditMode::None;
    if (m_parent && m_pendingChanged.value(m_chapterColumn)) {
        unindexChapterRow(index, old->value(m_chapterColumn));
        indexChapterRow(index);
    }
    if (m_child && m_pendingChanged.value(m_relateColumn))
        syncChild();
    Q_EMIT rowChanged(m_pos);
}

void View::cancelUpdate()
{
    requireOpen();
    if (m_editMode == EditMode::InProgress) {
        m_editMode = EditMode::None;
        Q_EMIT rowChanged(m_pos);
    } else if (m_editMode == EditMode::Add) {
        {
            ResetNotice notice(this);
            m_editMode = EditMode::None;
            m_visible.pop_back();
        }
        setPosition(m_posBeforeAdd >= 0 ? m_posBeforeAdd : (m_visible.empty() ? -1 : 0));
    }
}

void View::remove()
{
    requireCurrent();
    requireWritable();
    if (m_editMode == EditMode::Add) {
        cancelUpdate();
        return;
    }
    m_editMode = EditMode::None;
    const int index = m_visible[size_t(m_pos)];
    const RowPtr old = m_rows[size_t(index)];
    if (!m_inMemory)
        m_cn->deleteRow(m_table, old->rowid);
    {
        ResetNotice notice(this);
        m_rows.edit()[size_t(index)] = nullptr;
        m_visible.erase(m_visible.begin() + m_pos);
        if (m_parent)
            unindexChapterRow(index, old->value(m_chapterColumn));
    }
    setPosition(m_pos, true);
}

void View::setFilter(Criteria criteria)
{
    requireOpen();
    requireNoEdit();
    const QString text = criteria.text();
    applyFilter(std::move(criteria), text);
}

void View::applyFilter(Criteria parsed, const QString& text)
{
    for (Criteria::Clause& c : parsed.clauses()) {
        if (c.rowids)
            continue;
        c.fieldIndex = fieldIndex(c.column);
        if (c.fieldIndex < 0)
            throw DbError(
                DbError::BadArguments,
                QStringLiteral("抽出条件の列名「%1」はこのビューにありません。").arg(c.column));
    }
    {
        ResetNotice notice(this);
        m_filterText = text;
        m_criteria = std::move(parsed);
        rebuildVisible();
        m_pos = m_visible.empty() ? -1 : 0;
    }
    setPosition(m_pos);
}

void View::setSort(const QString& spec)
{
    requireOpen();
    requireNoEdit();
    QVector<SortKey> keys = parseSort(spec);
    {
        ResetNotice notice(this);
        m_sortText = spec;
        m_sortKeys = std::move(keys);
        rebuildVisible();
        m_pos = m_visible.empty() ? -1 : 0;
    }
    setPosition(m_pos);
}

void View::setOuterKey(const QString& name, OuterKey key)
{
    m_outerName = name;
    m_outerKey = std::move(key);
}

QVector<View::SortKey> View::parseSort(const QString& spec) const
{
    QVector<SortKey> keys;
    const QStringList items = spec.split(u',', Qt::SkipEmptyParts);
    for (const QString& item : items) {
        QStringList words = item.simplified().split(u' ', Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        bool descending = false;
        if (words.size() == 2 && words.last().compare(u"desc", Qt::CaseInsensitive) == 0)
            descending = true;
        else if (words.size() != 1
                 && !(words.size() == 2 && words.last().compare(u"asc", Qt::CaseInsensitive) == 0))
            throw DbError(DbError::BadArguments,
                          QStringLiteral("並べ替えの指定を解釈できません: %1").arg(spec));
        QString name = words.first();
        if (name.startsWith(u'[') && name.endsWith(u']'))
            name = name.mid(1, name.size() - 2);
        const int column = m_outerKey && name == m_outerName ? OuterColumn : fieldIndex(name);
        if (column == -1)
            throw DbError(
                DbError::BadArguments,
                QStringLiteral("並べ替えの列名「%1」はこのビューにありません。").arg(name));
        keys.append(SortKey{column, descending});
    }
    return keys;
}

void View::requery()
{
    requireOpen();
    requireNoEdit();
    if (m_child && m_child->m_open)
        m_child->requireNoEdit(); // refuse before anything is read again
    {
        ResetNotice notice(this);
        Snapshot fresh = m_loader ? m_loader() : Snapshot();
        // The same rows as before (nothing changed in the file or through
        // this view): the chapter index still holds.
        const bool unchanged = fresh == m_rows;
        m_rows = std::move(fresh);
        if (m_parent && !unchanged)
            rebuildChapterIndex();
        rebuildVisible();
        m_pos = m_visible.empty() ? -1 : 0;
    }
    if (m_child && m_child->m_open)
        m_child->requery();
    setPosition(m_pos);
}

std::vector<int> View::candidateRows() const
{
    std::vector<int> rows;
    if (m_parent) {
        if (m_chapterKey) {
            const auto it = m_chapterIndex.constFind(*m_chapterKey);
            if (it != m_chapterIndex.constEnd())
                rows = it.value();
        }
        return rows;
    }
    rows.reserve(m_rows.size());
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i])
            rows.push_back(int(i));
    return rows;
}

void View::rebuildVisible()
{
    std::vector<int> rows = candidateRows();
    if (!m_criteria.isEmpty()) {
        std::erase_if(rows, [&](int index) { return !passesFilter(*m_rows[size_t(index)]); });
    }
    if (!m_sortKeys.isEmpty())
        applySort(rows);
    m_visible = std::move(rows);
}

void View::applySort(std::vector<int>& rows) const
{
    // Keys are made once per row, not once per comparison: Japanese keys as
    // bytes in blocks of their own (two threads for a large list, each with
    // its own collator), numbers and dates as numbers.
    const size_t n = rows.size();
    struct Keys {
        std::vector<const char*> text; // nullptr for NULL
        std::vector<double> number;
        std::vector<bool> null;
    };
    std::vector<Keys> keys(size_t(m_sortKeys.size()));
    std::vector<std::unique_ptr<SortKeyMaker>> makers;
    for (int k = 0; k < m_sortKeys.size(); ++k) {
        const int column = m_sortKeys.at(k).column;
        Keys& key = keys[size_t(k)];
        if (column == OuterColumn) {
            key.number.resize(n);
            key.null.resize(n);
            for (size_t i = 0; i < n; ++i) {
                const std::optional<double> v = m_outerKey(*m_rows[size_t(rows[i])]);
                key.null[i] = !v;
                key.number[i] = v.value_or(0);
            }
            continue;
        }
        const FieldType type = m_fields.at(column).type;
        if (type != FieldType::Text) {
            key.number.resize(n);
            key.null.resize(n);
            for (size_t i = 0; i < n; ++i) {
                const Row& row = *m_rows[size_t(rows[i])];
                key.null[i] = row.isNull(column);
                if (!key.null[i])
                    key.number[i] = type == FieldType::Integer
                        ? row.value(column).toDouble()
                        : double(row.value(column).toDate().toJulianDay());
            }
            continue;
        }
        key.text.resize(n);
        auto fill = [&, column, type](size_t from, size_t to, SortKeyMaker& maker) {
            const TextPool::Text* previousText = nullptr;
            for (size_t i = from; i < to; ++i) {
                const Row& row = *m_rows[size_t(rows[i])];
                if (row.isNull(column)) {
                    previousText = nullptr;
                    continue;
                }
                const TextPool::Text* text = row.textAt(column);
                if (text && text == previousText && i > from) // the songs of one CD share a text
                    key.text[i] = key.text[i - 1];
                else if (text)
                    key.text[i] = maker.key(row.text(column, type));
                else
                    key.text[i] = maker.key(row.value(column).toString());
                previousText = text;
            }
        };
        makers.push_back(std::make_unique<SortKeyMaker>());
        if (n > 20000) {
            makers.push_back(std::make_unique<SortKeyMaker>());
            SortKeyMaker& second = *makers.back();
            std::thread half([&] { fill(n / 2, n, second); });
            fill(0, n / 2, *makers[makers.size() - 2]);
            half.join();
        } else {
            fill(0, n, *makers.back());
        }
    }
    std::vector<int> order(n);
    for (size_t i = 0; i < n; ++i)
        order[i] = int(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        for (int k = 0; k < m_sortKeys.size(); ++k) {
            const Keys& key = keys[size_t(k)];
            int c = 0;
            if (!key.text.empty()) {
                const char* x = key.text[size_t(a)];
                const char* y = key.text[size_t(b)];
                if (!x || !y)
                    c = int(!y) - int(!x); // nulls first
                else if (x != y)
                    c = std::strcmp(x, y);
            } else {
                const bool xNull = key.null[size_t(a)];
                const bool yNull = key.null[size_t(b)];
                const double x = key.number[size_t(a)];
                const double y = key.number[size_t(b)];
                if (xNull || yNull)
                    c = int(yNull) - int(xNull);
                else
                    c = x < y ? -1 : (x > y ? 1 : 0);
            }
            if (m_sortKeys.at(k).descending)
                c = -c;
            if (c != 0)
                return c < 0;
        }
        return false;
    });
    std::vector<int> sorted(n);
    for (size_t i = 0; i < n; ++i)
        sorted[i] = rows[size_t(order[i])];
    rows = std::move(sorted);
}

void View::syncChild()
{
    if (!m_child || !m_child->m_open)
        return;
    std::optional<QString> key;
    if (hasCurrent()) {
        const QVariant v = currentValue(m_relateColumn);
        if (!v.isNull())
            key = foldKey(v.toString());
    }
    m_child->setChapter(std::move(key));
}

void View::setChapter(std::optional<QString> key)
{
    saveIfPending();
    {
        ResetNotice notice(this);
        m_chapterKey = std::move(key);
        rebuildVisible();
        m_pos = m_visible.empty() ? -1 : 0;
    }
    setPosition(m_pos);
}

void View::rebuildChapterIndex()
{
    m_chapterIndex.clear();
    if (m_chapterColumn >= 0)
        m_chapterIndex = chapterIndexOf(m_rows, m_chapterColumn, m_fields.at(m_chapterColumn).type);
}

View::ChapterIndex View::chapterIndexOf(const Snapshot& rows, int column, FieldType type)
{
    ChapterIndex index;
    // The songs of one CD follow each other and share their title's text:
    // it is folded and looked up once for all of them.
    const TextPool::Text* previous = nullptr;
    std::vector<int>* list = nullptr;
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row* row = rows[i].get();
        if (!row || row->isNull(column))
            continue;
        const TextPool::Text* text = row->textAt(column);
        if (!text || text != previous) {
            // the key is copied out of the row's pool: it may outlive the row
            const QString folded = foldKey(row->text(column, type));
            auto it = index.find(folded);
            if (it == index.end())
                it = index.insert(QString(folded.constData(), folded.size()), {});
            list = &it.value();
            previous = text;
        }
        list->push_back(int(i));
    }
    return index;
}

void View::indexChapterRow(int rowIndex)
{
    const Row& row = *m_rows[size_t(rowIndex)];
    if (row.isNull(m_chapterColumn))
        return;
    // the key is copied out of the row's pool: it may outlive the row
    const QString folded = foldKey(row.text(m_chapterColumn, m_fields.at(m_chapterColumn).type));
    auto it = m_chapterIndex.find(folded);
    if (it == m_chapterIndex.end())
        it = m_chapterIndex.insert(QString(folded.constData(), folded.size()), {});
    std::vector<int>& list = it.value();
    // keep the base (identifier) order inside a chapter
    list.insert(std::upper_bound(list.begin(), list.end(), rowIndex), rowIndex);
}

void View::unindexChapterRow(int rowIndex, const QVariant& oldKey)
{
    if (oldKey.isNull())
        return;
    const auto it = m_chapterIndex.find(foldKey(oldKey.toString()));
    if (it == m_chapterIndex.end())
        return;
    std::erase(it.value(), rowIndex);
}
