#pragma once

#include <QString>
#include <QVarLengthArray>
#include <QVariant>
#include <QVector>

#include <algorithm>
#include <deque>
#include <memory>
#include <vector>

enum class FieldType { Integer, Text, Date };

// Where the texts of rows live: in large blocks that never move, so that a
// cell is one machine word pointing at its text. A pool is shared by all rows
// read together and lives as long as any of them.
class TextPool {
public:
    // `blockWords`: the size of each block, in 8-byte words (1 MiB for the
    // rows of a whole table; just enough for a row made on its own).
    explicit TextPool(qsizetype blockWords = qsizetype(1) << 17) : m_blockWords(blockWords) { }
    TextPool(const TextPool&) = delete;
    TextPool& operator=(const TextPool&) = delete;

    struct Text {
        qint64 length;
        char16_t units[1]; // `length` units follow
    };
    const Text* add(const char16_t* units, qsizetype length);
    const QVariant* keep(const QVariant& v); // values no cell can hold itself

private:
    static qsizetype wordsFor(qsizetype length) { return 1 + (length * 2 + 7) / 8; }
    friend class Row;
    qsizetype m_blockWords;
    std::vector<std::unique_ptr<qint64[]>> m_blocks;
    qsizetype m_free = 0; // words left in the last block
    qint64* m_next = nullptr;
    std::deque<QVariant> m_others;
};

// One stored row, immutable once made, so that views opened at the same
// moment share it. A cell is a tagged word: NULL, a whole number, a date, or
// a pointer into the pool (a text, or any other value).
class Row {
public:
    enum Tag : quintptr { Null = 0, Integer = 1, Text = 2, Date = 3, Other = 4 };

    // A row of its own: the values are copied into a pool of its own.
    static std::shared_ptr<const Row> make(qint64 rowid, const QVector<QVariant>& values);

    Row(qint64 rowid, std::shared_ptr<TextPool> pool, int columns);
    // For filling a row being read; `v` as the stored value was converted.
    void setCell(int column, const QVariant& v);
    void setText(int column, const TextPool::Text* text)
    {
        m_cells[column] = quintptr(text) | Text;
    }
    void setInteger(int column, qint64 n);
    void setDate(int column, qint64 julianDay)
    {
        m_cells[column] = (quintptr(julianDay) << 3) | Date;
    }
    const TextPool::Text* textAt(int column) const;

    qint64 rowid = -1; // SQLite rowid: the tables have no key of their own
    int size() const { return int(m_cells.size()); }
    bool isNull(int column) const;
    QVariant value(int column) const; // QVariant() past the last column
    QVector<QVariant> values() const;
    // The cell as the filters and sorts compare it (dates as yyyy-MM-dd).
    // A text is lent from the pool without copying: use it while the row lives.
    QString text(int column, FieldType type) const;

private:
    Tag tag(int column) const { return Tag(m_cells[column] & 7); }
    std::shared_ptr<TextPool> m_pool;
    QVarLengthArray<quintptr, 15> m_cells;
};
using RowPtr = std::shared_ptr<const Row>;

// The rows of one reading, in order. Every view and the kept rows of the
// connection hold the same list: a copy costs one pointer, and a holder that
// changes its rows (a view storing an edit) first gets a list of its own.
class Snapshot {
public:
    using const_iterator = std::vector<RowPtr>::const_iterator;

    Snapshot() = default;
    Snapshot(std::vector<RowPtr> rows)
        : m_rows(std::make_shared<std::vector<RowPtr>>(std::move(rows)))
    {
    }

    size_t size() const { return m_rows ? m_rows->size() : 0; }
    bool empty() const { return size() == 0; }
    const RowPtr& operator[](size_t i) const { return (*m_rows)[i]; }
    const RowPtr& front() const { return m_rows->front(); }
    const_iterator begin() const { return m_rows ? m_rows->cbegin() : const_iterator(); }
    const_iterator end() const { return m_rows ? m_rows->cend() : const_iterator(); }
    bool operator==(const Snapshot& other) const
    {
        return m_rows == other.m_rows
            || (size() == other.size() && std::equal(begin(), end(), other.begin()));
    }

    // The list to change: this holder's own from now on.
    std::vector<RowPtr>& edit()
    {
        if (!m_rows)
            m_rows = std::make_shared<std::vector<RowPtr>>();
        else if (m_rows.use_count() > 1)
            m_rows = std::make_shared<std::vector<RowPtr>>(*m_rows);
        return *m_rows;
    }
    void clear() { m_rows.reset(); }

private:
    std::shared_ptr<std::vector<RowPtr>> m_rows;
};
