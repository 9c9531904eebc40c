#include "legacyreader.h"

#include "dberror.h"

#include <QDateTime>
#include <QFile>

#include <QFileInfo>

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
        return field.size == 8 ? MDB_MONEY : MDB_LONGINT; // 購入価格 is Currency
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

int LegacyReader::declaredRows(const QString& name) const
{
    MdbTableDef* table = openTable(d->mdb, m_path, name);
    if (!table)
        return -1;
    const int rows = int(table->num_rows);
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
    // The row's identifier: a row without one cannot be told apart from the others.
    int identifier = -1;
    for (int f = 0; f < fields.size() && identifier < 0; ++f)
        if (jetTypeOf(fields.at(f)) == MDB_LONGINT)
            identifier = f;
    std::vector<MdbField> cracked(size_t(columns) + 1);
    QVector<QVector<QVariant>> rows;
    rows.reserve(std::clamp(int(table->num_rows), 0, 1 << 20));
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
        rows.push_back(std::move(values));
        if (progress && !progress(int(rows.size()))) {
            mdb_free_tabledef(table);
            throw DbError(Cancelled, QStringLiteral("取り込みを中止しました。"));
        }
    }
    const int declared = int(table->num_rows);
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
