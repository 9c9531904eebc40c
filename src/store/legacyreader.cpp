#include "legacyreader.h"

#include "dberror.h"
#include "tables.h"

#include <QDateTime>
#include <QFile>

#include <QFileInfo>
#include <QHash>

#include <QtEndian>
#include <algorithm>
#include <cmath>

#include <cstring>
#include <mdbtools.h>

struct LegacyReader::Impl {
    MdbHandle* mdb = nullptr;
};

namespace {

[[noreturn]] void refuse(const QString& path, const QString& cause)
{
    throw DbError(
        DbError::ProviderError,
        QStringLiteral("旧データベース「%1」を読み込めません。\r原因: %2").arg(path, cause));
}

// A table with its columns read, or null when there is no such table. A
// definition libmdb cannot read whole (its column list missing, or not as
// long as the column count says) refuses the file.
MdbTableDef* openTable(MdbHandle* mdb, const QString& path, const QString& name)
{
    QByteArray utf8 = name.toUtf8();
    MdbTableDef* table = mdb_read_table_by_name(mdb, utf8.data(), MDB_TABLE);
    if (!table)
        return nullptr;
    const GPtrArray* columns = mdb_read_columns(table);
    if (!columns || !table->columns || table->columns->len != table->num_cols
        || table->num_cols == 0) {
        mdb_free_tabledef(table);
        refuse(path, QStringLiteral("テーブル「%1」の定義が壊れています").arg(name));
    }
    return table;
}

// The Jet type a field of this collection must have in the old database.
int jetTypeOf(const FieldDef& field)
{
    switch (field.type) {
    case FieldType::Date:
        return MDB_DATETIME;
    case FieldType::Integer:
        return isMoney(field) ? MDB_MONEY : MDB_LONGINT; // Currency in Jet
    case FieldType::Text:
        break;
    }
    return MDB_TEXT;
}

QString jetTypeName(int type)
{
    switch (type) {
    case MDB_DATETIME:
        return QStringLiteral("日付/時刻型");
    case MDB_MONEY:
        return QStringLiteral("通貨型");
    case MDB_LONGINT:
        return QStringLiteral("長整数型");
    case MDB_TEXT:
        return QStringLiteral("テキスト型");
    default:
        return QStringLiteral("型番号 %1").arg(type);
    }
}

QString nameOf(const MdbColumn* col)
{
    return QString::fromUtf8(col->name);
}

// The columns of a definition must agree with each other before a row is read
// through them: libmdb takes a column whose number lies past a row's columns
// for NULL in every row, and reads a fixed column wherever its offset points,
// into its neighbour's bytes or past the row. `refuse` throws.
void checkColumns(const MdbTableDef* table, const QString& name,
                  const std::function<void(const QString&)>& refuse)
{
    const int count = int(table->num_cols);
    auto broken = [&](const QString& what) {
        refuse(QStringLiteral("テーブル「%1」の定義が壊れています（%2）").arg(name, what));
    };
    QVector<const MdbColumn*> byNumber(count, nullptr), byVarNumber(count, nullptr);
    int varColumns = 0;
    for (int i = 0; i < count; ++i)
        varColumns += static_cast<const MdbColumn*>(g_ptr_array_index(table->columns, i))->is_fixed
            ? 0
            : 1;
    for (int i = 0; i < count; ++i) {
        const auto* col = static_cast<const MdbColumn*>(g_ptr_array_index(table->columns, i));
        // the number names the column's bit in every row's null mask
        if (col->col_num < 0 || col->col_num >= count)
            broken(QStringLiteral("列「%1」の番号 %2 が列の数 %3 を超えています")
                       .arg(nameOf(col))
                       .arg(col->col_num)
                       .arg(count));
        if (const MdbColumn* other = byNumber[col->col_num])
            broken(QStringLiteral("列「%1」と列「%2」の番号が同じです")
                       .arg(nameOf(other), nameOf(col)));
        byNumber[col->col_num] = col;
        if (col->is_fixed) {
            for (int j = 0; j < i; ++j) {
                const auto* other
                    = static_cast<const MdbColumn*>(g_ptr_array_index(table->columns, j));
                if (other->is_fixed && col->col_size > 0 && other->col_size > 0
                    && col->fixed_offset < other->fixed_offset + other->col_size
                    && other->fixed_offset < col->fixed_offset + col->col_size)
                    broken(QStringLiteral("列「%1」と列「%2」の位置が重なっています")
                               .arg(nameOf(other), nameOf(col)));
            }
            continue;
        }
        // the variable columns' numbers index each row's table of offsets: 0, 1, 2, ...
        if (col->var_col_num >= unsigned(varColumns))
            broken(QStringLiteral("列「%1」の可変長の番号 %2 が飛んでいます（可変長の列は %3 個）")
                       .arg(nameOf(col))
                       .arg(col->var_col_num)
                       .arg(varColumns));
        if (const MdbColumn* other = byVarNumber[int(col->var_col_num)])
            broken(QStringLiteral("列「%1」と列「%2」の可変長の番号が同じです")
                       .arg(nameOf(other), nameOf(col)));
        byVarNumber[int(col->var_col_num)] = col;
    }
}

// Where a Jet 4 row keeps its parts: its column count first, the fixed
// columns after it, the variable ones after those, then their offsets (last
// first) with the end of the last value, their count, and the null mask of
// (count + 7) / 8 bytes at the very end.
struct RowLayout {
    int columns = 0; // the row's own column count: the null-mask bits it has
    int fixedColumns = 0; // the fixed columns it holds
    int varColumns = 0; // the variable columns it holds
    int fixedEnd = 0; // where its fixed part ends, counted from the row's start
};

// The layout of the row of `size` bytes at `start` of the page, read as
// mdb_crack_row reads it; false when its parts do not fit inside the row.
bool rowLayout(const unsigned char* page, qint64 pageSize, int start, size_t size,
               bool hasVarColumns, RowLayout* out)
{
    if (start < 0 || size < 3 || qint64(start) + qint64(size) > pageSize)
        return false;
    const unsigned char* row = page + start;
    const int n = int(size);
    auto int16 = [row](int at) { return int(qFromLittleEndian<quint16>(row + at)); };
    out->columns = int16(0);
    const int mask = (out->columns + 7) / 8;
    if (2 + mask > n)
        return false;
    out->varColumns = 0;
    out->fixedEnd = n - mask;
    if (hasVarColumns) {
        if (4 + mask > n)
            return false;
        out->varColumns = int16(n - mask - 2);
        const int offsets = n - mask - 2 - 2 * (out->varColumns + 1);
        if (offsets < 2)
            return false;
        // each value begins where the one before it ends, and the last ends
        // before the table of offsets
        int previous = 2;
        for (int i = 0; i <= out->varColumns; ++i) {
            const int at = int16(n - mask - 4 - 2 * i);
            if (at < previous || at > offsets)
                return false;
            previous = at;
        }
        out->fixedEnd = int16(n - mask - 4);
    }
    out->fixedColumns = out->columns - out->varColumns;
    return out->fixedColumns >= 0;
}

// The earliest and latest moments Jet can hold: 100-01-01 and 9999-12-31.
constexpr double jetFirstDay = -657434.0;
constexpr double jetLastDay = 2958466.0;

} // namespace

QDateTime jetDateTime(double days)
{
    // The whole part counts days from 1899-12-30 (negative before it); the
    // fraction is the time of day, counted forward even for negative dates.
    const double whole = days < 0 ? std::ceil(days) : std::floor(days);
    const double fraction = std::fabs(days - whole);
    const QDate date = QDate(1899, 12, 30).addDays(qint64(whole));
    qint64 seconds = qRound64(fraction * 86400.0);
    if (seconds >= 86400)
        seconds = 86399;
    return QDateTime(date, QTime(0, 0).addSecs(int(seconds)));
}

QString jetText(const QByteArray& raw)
{
    if (raw.size() >= 2 && uchar(raw[0]) == 0xFF && uchar(raw[1]) == 0xFE) {
        // Compressed: one byte a character (U+0001-U+00FF) until a zero byte,
        // which switches to two bytes a character, and back at the next zero.
        QString out;
        bool compressed = true;
        for (qsizetype i = 2; i < raw.size();) {
            if (raw[i] == '\0') {
                compressed = !compressed;
                ++i;
                continue;
            }
            if (compressed) {
                out += QChar(ushort(uchar(raw[i])));
                ++i;
            } else if (i + 1 < raw.size()) {
                out += QChar(ushort(uchar(raw[i]) | (uchar(raw[i + 1]) << 8)));
                i += 2;
            } else {
                break;
            }
        }
        return out;
    }
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(raw.constData()), raw.size() / 2);
}

LegacyReader::LegacyReader(const QString& path) : d(new Impl), m_path(path)
{
    if (!QFileInfo(path).isFile() || !QFileInfo(path).isReadable()) {
        delete d;
        refuse(path, QStringLiteral("ファイルを読み取れません"));
    }
    d->mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS); // read only
    if (!d->mdb || !mdb_read_catalog(d->mdb, MDB_TABLE)) {
        if (d->mdb)
            mdb_close(d->mdb);
        delete d;
        refuse(path, QStringLiteral("Access（Jet）のデータベースとして読めません"));
    }
    // A file cut short (a copy broken off, a full disk) ends inside a page;
    // libmdb reads such a page's missing part as zeros without a word.
    const qint64 page = d->mdb->fmt ? qint64(d->mdb->fmt->pg_size) : 0;
    if (page <= 0 || QFileInfo(path).size() % page != 0) {
        const qint64 size = QFileInfo(path).size();
        mdb_close(d->mdb);
        delete d;
        refuse(path,
               QStringLiteral("ファイルが途中で切れています（%1 バイトはページの大きさ %2 "
                              "バイトの倍数ではありません）")
                   .arg(size)
                   .arg(page));
    }
}

LegacyReader::~LegacyReader()
{
    mdb_close(d->mdb);
    delete d;
}

qint64 LegacyReader::declaredRows(const QString& name) const
{
    MdbTableDef* table = openTable(d->mdb, m_path, name);
    if (!table)
        return -1;
    const qint64 rows = table->num_rows;
    mdb_free_tabledef(table);
    return rows;
}

QVector<QVector<QVariant>> LegacyReader::read(const QString& name, const QVector<FieldDef>& fields,
                                              const Progress& progress)
{
    MdbTableDef* table = openTable(d->mdb, m_path, name);
    if (!table)
        refuse(m_path, QStringLiteral("テーブル「%1」がありません").arg(name));
    auto refuseTable = [&](const QString& cause) {
        mdb_free_tabledef(table);
        refuse(m_path, cause);
    };
    const int columns = int(table->num_cols);
    // Where each wanted field is among the table's columns, and its size.
    QVector<int> columnOf(fields.size(), -1);
    QVector<int> sizeOf(fields.size(), 0);
    for (int i = 0; i < columns; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
        if (!col)
            refuseTable(QStringLiteral("テーブル「%1」の定義が壊れています").arg(name));
        const QString colName = QString::fromUtf8(col->name);
        for (int f = 0; f < fields.size(); ++f) {
            if (fields.at(f).name.compare(colName, Qt::CaseInsensitive) != 0)
                continue;
            // A damaged definition can give a column another type; its values
            // would then be read as something they are not.
            if (col->col_type != jetTypeOf(fields.at(f)))
                refuseTable(QStringLiteral("テーブル「%1」の列「%2」が%3ではありません（%4）")
                                .arg(name, fields.at(f).name, jetTypeName(jetTypeOf(fields.at(f))),
                                     jetTypeName(col->col_type)));
            columnOf[f] = i;
            sizeOf[f] = col->col_size;
        }
    }
    for (int f = 0; f < fields.size(); ++f)
        if (columnOf[f] < 0)
            refuseTable(QStringLiteral("テーブル「%1」に列「%2」がありません")
                            .arg(name, fields.at(f).name));
    checkColumns(table, name, refuseTable);
    // The row's identifier: a row without one cannot be told apart from the
    // others, nor can two rows that share it.
    int identifier = -1;
    for (int f = 0; f < fields.size() && identifier < 0; ++f)
        if (jetTypeOf(fields.at(f)) == MDB_LONGINT)
            identifier = f;
    QHash<qint64, int> rowOfIdentifier;
    // For each column, the rows that do not hold it and the first of them.
    QVector<int> rowsWithout(columns, 0), firstWithout(columns, 0);
    std::vector<MdbField> cracked(size_t(columns) + 1);
    QVector<QVector<QVariant>> rows;
    rows.reserve(int(std::min<qint64>(table->num_rows, 1 << 20)));
    mdb_rewind_table(table);
    while (mdb_fetch_row(table)) {
        const int rowNumber = int(rows.size()) + 1;
        auto refuseRow = [&](const QString& what) {
            refuseTable(
                QStringLiteral("テーブル「%1」の %2 行目%3").arg(name).arg(rowNumber).arg(what));
        };
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(d->mdb, int(table->cur_row) - 1, &start, &size) != 0)
            refuseRow(QStringLiteral("を読めません"));
        RowLayout layout;
        if (!rowLayout(d->mdb->pg_buf, std::min<qint64>(d->mdb->fmt->pg_size, MDB_PGSIZE), start,
                       size, table->num_var_cols > 0, &layout))
            refuseRow(QStringLiteral("を読めません"));
        // Which columns the row holds, counted as mdb_crack_row counts them:
        // the first so many fixed ones, the variable ones its offsets reach.
        // Holding them all, it has a null-mask bit for every column number
        // too, since those run 0, 1, 2, ... up to the column count. A fixed
        // column it holds lies inside its fixed part.
        for (int c = 0, fixedSeen = 0; c < columns; ++c) {
            const auto* col = static_cast<const MdbColumn*>(g_ptr_array_index(table->columns, c));
            bool held = false;
            if (col->is_fixed) {
                held = fixedSeen++ < layout.fixedColumns;
                if (held && 2 + col->fixed_offset + col->col_size > layout.fixedEnd)
                    refuseTable(QStringLiteral("テーブル「%1」の定義が壊れています（列「%2」が %3 "
                                               "行目の固定長の部分に収まりません）")
                                    .arg(name, nameOf(col))
                                    .arg(rowNumber));
            } else {
                held = col->var_col_num < unsigned(layout.varColumns);
            }
            if (!held && rowsWithout[c]++ == 0)
                firstWithout[c] = rowNumber;
        }
        std::memset(cracked.data(), 0, sizeof(MdbField) * cracked.size());
        if (!mdb_crack_row(table, start, size, cracked.data()))
            refuseRow(QStringLiteral("を読めません"));
        QVector<QVariant> values(fields.size());
        for (int f = 0; f < fields.size(); ++f) {
            // cracked fields come in the row's own column order
            const MdbField* field = nullptr;
            for (int c = 0; c < columns; ++c)
                if (cracked[size_t(c)].colnum == columnOf[f])
                    field = &cracked[size_t(c)];
            if (!field || field->is_null)
                continue; // NULL stays NULL
            if (field->siz < 0 || (field->siz > 0 && !field->value))
                refuseRow(QStringLiteral("の「%1」を読めません").arg(fields.at(f).name));
            const QByteArray raw(static_cast<const char*>(field->value), field->siz);
            const int type = jetTypeOf(fields.at(f));
            const int wantSize = type == MDB_LONGINT ? 4 : type == MDB_TEXT ? -1 : 8;
            if (wantSize > 0 && raw.size() != wantSize)
                refuseRow(
                    QStringLiteral("の「%1」の長さが正しくありません").arg(fields.at(f).name));
            switch (type) {
            case MDB_TEXT: {
                const QString text = jetText(raw); // the empty text stays empty
                // the definition's size is in bytes, two a character
                if (text.size() > sizeOf[f] / 2)
                    refuseRow(QStringLiteral("の「%1」が列の長さ（%2 文字）を超えています")
                                  .arg(fields.at(f).name)
                                  .arg(sizeOf[f] / 2));
                values[f] = text;
                break;
            }
            case MDB_LONGINT:
                values[f] = qint64(qFromLittleEndian<qint32>(raw.constData()));
                break;
            case MDB_MONEY: {
                // ten-thousandths of a yen: whole yen stay whole numbers
                const qint64 units = qFromLittleEndian<qint64>(raw.constData());
                if (units % 10000 == 0)
                    values[f] = units / 10000;
                else
                    values[f] = double(units) / 10000.0;
                break;
            }
            case MDB_DATETIME: {
                double days = 0;
                const quint64 bits = qFromLittleEndian<quint64>(raw.constData());
                std::memcpy(&days, &bits, sizeof days);
                if (!std::isfinite(days) || days < jetFirstDay || days >= jetLastDay)
                    refuseRow(
                        QStringLiteral("の「%1」は日付ではありません").arg(fields.at(f).name));
                values[f] = jetDateTime(days);
                break;
            }
            }
        }
        if (identifier >= 0 && values.at(identifier).isNull())
            refuseRow(QStringLiteral("に「%1」がありません").arg(fields.at(identifier).name));
        if (identifier >= 0) {
            const qint64 id = values.at(identifier).toLongLong();
            if (const int first = rowOfIdentifier.value(id))
                refuseTable(
                    QStringLiteral("テーブル「%1」の「%2」%3 が %4 行目と %5 行目にあります")
                        .arg(name, fields.at(identifier).name)
                        .arg(id)
                        .arg(first)
                        .arg(rowNumber));
            rowOfIdentifier.insert(id, rowNumber);
        }
        rows.push_back(std::move(values));
        if (progress && !progress(int(rows.size()))) {
            mdb_free_tabledef(table);
            throw DbError(Cancelled, QStringLiteral("取り込みを中止しました。"));
        }
    }
    // A column no row holds is a damaged definition, not a column of NULLs;
    // one that some rows lack, a damaged row.
    for (int c = 0; c < columns; ++c) {
        const QString column
            = nameOf(static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c)));
        if (rowsWithout[c] > 0 && rowsWithout[c] == rows.size())
            refuseTable(QStringLiteral(
                            "テーブル「%1」の定義が壊れています（列「%2」がどの行にもありません）")
                            .arg(name, column));
        if (rowsWithout[c] > 0)
            refuseTable(QStringLiteral("テーブル「%1」の %2 行目に列「%3」がありません")
                            .arg(name)
                            .arg(firstWithout[c])
                            .arg(column));
    }
    const qint64 declared = table->num_rows;
    mdb_free_tabledef(table);
    // libmdb passes over rows it cannot read without a word: a table is
    // taken only when every row its definition counts has arrived.
    if (rows.size() != declared)
        refuse(m_path,
               QStringLiteral("テーブル「%1」を読み切れません（定義では %2 行、読めたのは %3 行）")
                   .arg(name)
                   .arg(declared)
                   .arg(rows.size()));
    return rows;
}
