#include "rowreader.h"

#include "connection.h"

#include <QSqlDatabase>
#include <QSqlDriver>

#include <sqlite3.h>

#include <cstring>

namespace rowreader {

namespace {

[[noreturn]] void fail(sqlite3* db, int code)
{
    const QString text = QString::fromUtf8(sqlite3_errmsg(db));
    throw Failure{QSqlError(QString(), text, QSqlError::StatementError, QString::number(code))};
}

// A prepared statement that finalizes itself.
class Statement {
public:
    Statement(sqlite3* db, const QString& sql, const QVariantList& binds) : m_db(db)
    {
        const int rc = sqlite3_prepare16_v2(db, sql.utf16(), int(sql.size() * 2), &m_stmt, nullptr);
        if (rc != SQLITE_OK)
            fail(db, rc);
        for (int i = 0; i < binds.size(); ++i) {
            const QVariant& v = binds.at(i);
            int bound = SQLITE_OK;
            if (v.isNull() || !v.isValid())
                bound = sqlite3_bind_null(m_stmt, i + 1);
            else if (v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int)
                bound = sqlite3_bind_int64(m_stmt, i + 1, v.toLongLong());
            else if (v.typeId() == QMetaType::Double)
                bound = sqlite3_bind_double(m_stmt, i + 1, v.toDouble());
            else {
                const QString text = v.toString();
                bound = sqlite3_bind_text16(m_stmt, i + 1, text.utf16(), int(text.size() * 2),
                                            SQLITE_TRANSIENT);
            }
            if (bound != SQLITE_OK)
                fail(db, bound);
        }
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool step()
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            fail(m_db, rc);
        return false;
    }
    sqlite3_stmt* get() const { return m_stmt; }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

// The value as the SQL driver hands it over, before the field's conversion.
QVariant stored(sqlite3_stmt* stmt, int column)
{
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(stmt, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt, column));
    case SQLITE_BLOB: {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt, column));
        return QVariant(QByteArray(data, sqlite3_column_bytes(stmt, column)));
    }
    case SQLITE_TEXT: {
        const auto* units = static_cast<const QChar*>(sqlite3_column_text16(stmt, column));
        return QVariant(QString(units, sqlite3_column_bytes16(stmt, column) / 2));
    }
    default:
        return QVariant();
    }
}

} // namespace

sqlite3* handleOf(const QSqlDatabase& db)
{
    const QVariant v = db.driver()->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(v.constData());
}

Snapshot read(sqlite3* db, const QString& sql, const QVector<FieldDef>& fields,
              const QVariantList& binds, qint64 limit)
{
    Statement q(db, sql, binds);
    sqlite3_stmt* stmt = q.get();
    auto pool = std::make_shared<TextPool>();
    const int n = int(fields.size());
    std::vector<RowPtr> rows;
    std::shared_ptr<Row> previous;
    while (limit != 0 && q.step()) {
        auto row = std::make_shared<Row>(sqlite3_column_int64(stmt, 0), pool, n);
        for (int i = 0; i < n; ++i) {
            const int column = i + 1;
            const int type = sqlite3_column_type(stmt, column);
            if (type == SQLITE_NULL)
                continue;
            const FieldType fieldType = fields.at(i).type;
            if (type == SQLITE_TEXT && fieldType == FieldType::Text) {
                const auto* units
                    = static_cast<const char16_t*>(sqlite3_column_text16(stmt, column));
                const qsizetype length = sqlite3_column_bytes16(stmt, column) / 2;
                // The songs of one CD follow each other and repeat its title,
                // composer, performers and genre: such a text is kept once.
                const TextPool::Text* before = previous ? previous->textAt(i) : nullptr;
                if (before && before->length == length
                    && std::memcmp(before->units, units, size_t(length) * 2) == 0)
                    row->setText(i, before);
                else
                    row->setText(i, pool->add(units, length));
            } else if (type == SQLITE_INTEGER && fieldType == FieldType::Integer) {
                row->setInteger(i, sqlite3_column_int64(stmt, column));
            } else {
                row->setCell(i, fromStored(stored(stmt, column), fieldType));
            }
        }
        rows.push_back(row);
        previous = std::move(row);
        if (limit > 0)
            --limit;
    }
    return Snapshot(std::move(rows));
}

QVariantList column(sqlite3* db, const QString& sql, const QVariantList& binds)
{
    Statement q(db, sql, binds);
    QVariantList out;
    while (q.step())
        out.append(stored(q.get(), 0));
    return out;
}

QVariant scalar(sqlite3* db, const QString& sql, const QVariantList& binds)
{
    Statement q(db, sql, binds);
    return q.step() ? stored(q.get(), 0) : QVariant();
}

} // namespace rowreader
