#pragma once

#include "criteria.h"
#include "row.h"

#include <QHash>
#include <QObject>
#include <QVariant>
#include <QVector>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class Connection;

struct FieldDef {
    QString name;
    FieldType type = FieldType::Text;
    int size = 0;
    bool nullable = true;
    bool operator==(const FieldDef&) const = default;
};

// A recordset: a static snapshot of rows with a current row, a row filter, a
// sort, pending edits written through to one table, and optionally a child
// view that always holds the rows related to this view's current row.
class View : public QObject {
    Q_OBJECT
public:
    enum class EditMode { None, InProgress, Add };
    using Loader = std::function<Snapshot()>;
    // The rows of each chapter (the folded text of a column), in base order.
    using ChapterIndex = QHash<QString, std::vector<int>>;

    View();
    ~View() override;

    // Opens over rows read by `loader` (run again by requery). With a table
    // name, edits are written through `cn` to that table by rowid; without
    // one the view is read-only unless it was opened as an in-memory view.
    void open(QVector<FieldDef> fields, Loader loader, Connection* cn = nullptr,
              QString table = QString());
    // Opens now but reads the rows only when they are first looked at: the
    // value lists cost nothing until a combo box shows them.
    void openDeferred(QVector<FieldDef> fields, Loader loader);
    // Opens over the first rows of the view (`first`, in view order) while the
    // rest is still being read elsewhere; `total` is the count of all rows,
    // or -1 for a child view, whose `first` holds every row of its parent's
    // current row. What the first rows cannot answer waits for
    // `finishReading`, which hands every view its whole rows (beginAllRows,
    // setAllRows, endAllRows). Until then the view has no filter or sort.
    void openProvisional(QVector<FieldDef> fields, Loader loader, Connection* cn, QString table,
                         Snapshot first, int total, std::function<void()> finishReading);
    bool isProvisional() const { return m_provisional; }
    // The whole rows arrive in three steps, so that every view of the data
    // context holds its rows before any grid showing one of them hears of it.
    void beginAllRows();
    // `chapters`: the rows already indexed for this child view, if they are.
    void setAllRows(Snapshot rows, ChapterIndex* chapters = nullptr);
    void endAllRows();
    // Every row read, in base order; a deleted row is a null pointer.
    const Snapshot& baseRows() const { return m_rows; }
    static ChapterIndex chapterIndexOf(const Snapshot& rows, int column, FieldType type);
    // For grids: a value whose row is read already, otherwise an empty one.
    // Never waits for rows still being read.
    QVariant valueIfRead(int visibleRow, int column) const;
    // The in-memory view: declare fields, then open without a source.
    void appendField(const QString& name, FieldType type, int size, bool nullable);
    void openInMemory();
    void close();
    bool isOpen() const { return m_open; }

    // The related child view: filled from `childRows`, keyed by equal text of
    // parentColumn and childColumn (ignoring letter case).
    void relateChild(const std::shared_ptr<View>& child, const QString& childName,
                     const QString& parentColumn, const QString& childColumn);
    std::shared_ptr<View> childView(const QString& name) const;

    // Every related child row of one visible row, in the child's base order,
    // without moving the current row.
    std::vector<const Row*> childRowsAt(int visibleRow) const;
    // The same rows as indexes into the child view's baseRows().
    std::vector<int> childIndexesAt(int visibleRow) const;
    const std::shared_ptr<View>& relatedChild() const { return m_child; }

    int fieldCount() const { return int(m_fields.size()); }
    const FieldDef& field(int i) const { return m_fields.at(i); }
    int fieldIndex(const QString& name) const;
    const QVector<FieldDef>& fields() const { return m_fields; }
    // The table its edits are written to.
    const QString& table() const { return m_table; }

    int recordCount() const;
    bool bof() const;
    bool eof() const;
    bool hasCurrent() const;
    int position() const; // index among the visible rows, -1 when none is current

    void moveFirst();
    void moveLast();
    void moveNext();
    void movePrevious();
    void moveTo(int visibleRow);
    // The navigation buttons' moves: off either end the view stays on the
    // first or the last row. Throws DbError (3021) when there is no row.
    enum class Step { First, Previous, Next, Last };
    void step(Step step);

    QVariant value(const QString& name) const;
    QVariant value(int column) const;
    QVariant valueAt(int visibleRow, int column) const; // for grids; no current row needed
    // The stored row on show at `visibleRow` (not an edit in progress), or null.
    const Row* rowAt(int visibleRow) const;
    // The first visible row whose `column` holds `value` (numbers compared as
    // numbers), or -1.
    int rowOf(int column, const QVariant& value) const;
    void setValue(const QString& name, const QVariant& v);
    void setValue(int column, const QVariant& v);

    EditMode editMode() const { return m_editMode; }
    void addNew();
    void update();
    void cancelUpdate();
    void remove(); // deletes the current row from the table at once

    // Shows the rows the criteria pass (empty criteria: every row); filter()
    // then reads as their text.
    void setFilter(Criteria criteria);
    const QString& filter() const { return m_filterText; }
    void setSort(const QString& spec);
    const QString& sort() const { return m_sortText; }
    // A number the rows do not hold but a sort may name (a rating kept in a
    // table of its own): absent sorts as NULL does, first.
    using OuterKey = std::function<std::optional<double>(const Row&)>;
    void setOuterKey(const QString& name, OuterKey key);
    void requery();

Q_SIGNALS:
    void aboutToReset(); // the visible rows are about to be replaced
    void didReset();
    void currentChanged();
    void rowChanged(int visibleRow);

private:
    struct SortKey {
        int column;
        bool descending;
    };
    static constexpr int PendingRow = -2; // stands in m_visible for a row being added
    static constexpr int OuterColumn = -3; // the outer key's place in a sort

    void requireOpen() const;
    void requireOpenNow() const;
    void completeDeferredRead() const noexcept;
    void completeReading() const;
    bool answersNow() const;
    void requireCurrent() const;
    void requireNoEdit() const;
    void requireWritable() const;
    QVariant currentValue(int column) const;
    bool passesFilter(const Row& row) const;
    int columnOf(const QString& name) const;
    void saveIfPending();
    void setPosition(int pos, bool deletedHere = false);
    void rebuildVisible();
    void applyFilter(Criteria parsed, const QString& text);
    std::vector<int> candidateRows() const;
    void applySort(std::vector<int>& rows) const;
    QVector<SortKey> parseSort(const QString& spec) const;
    void syncChild();
    void setChapter(std::optional<QString> key);
    void rebuildChapterIndex();
    void indexChapterRow(int rowIndex);
    void unindexChapterRow(int rowIndex, const QVariant& oldKey);
    void storeAdded();
    void storeEdited();

    bool m_open = false;
    bool m_inMemory = false;
    mutable bool m_deferred = false;
    bool m_provisional = false;
    int m_provisionalTotal = -1;
    std::function<void()> m_finishReading;
    QVector<FieldDef> m_fields;
    Loader m_loader;
    Connection* m_cn = nullptr;
    QString m_table;

    Snapshot m_rows; // base order; a deleted row leaves a null pointer
    std::vector<int> m_visible;
    int m_pos = -1;
    bool m_currentDeleted = false;

    QString m_filterText;
    Criteria m_criteria;
    QString m_sortText;
    QVector<SortKey> m_sortKeys;
    QString m_outerName;
    OuterKey m_outerKey;

    EditMode m_editMode = EditMode::None;
    QVector<QVariant> m_pending; // the row being edited or added
    QVector<bool> m_pendingChanged;
    int m_posBeforeAdd = -1;

    // parent side
    std::shared_ptr<View> m_child;
    QString m_childName;
    int m_relateColumn = -1;
    // child side
    View* m_parent = nullptr;
    int m_chapterColumn = -1;
    std::optional<QString> m_chapterKey;
    ChapterIndex m_chapterIndex;
};

QString foldKey(const QString& text);
// Japanese order, ignoring letter case: for sorts and value lists alike.
const class QCollator& japaneseCollator();
