#include "legacyreader.h"

#include "dberror.h"

#include <QDateTime>
#include <QFile>

#include <cmath>
#include <QFileInfo>
#include <QtEndian>

#include <cstring>
#include <mdbtools.h>

struct LegacyReader::Impl {
    MdbHandle* mdb = nullptr;
};

namespace {

[[noreturn]] void refuse(const QString& path, const QString& cause)
{
    throw DbError(DbError::ProviderError,
                  QStringLiteral("旧データベース「%1」を読み込めません。\r原因: %2").arg(path, cause));
}

// A table, its columns read, or null.
MdbTableDef* openTable(MdbHandle* mdb, const QString& name)
{
    QByteArray utf8 = name.toUtf8();
    MdbTableDef* table = mdb_read_table_by_name(mdb, utf8.data(), MDB_TABLE);
    if (table)
        mdb_read_columns(table);
    return table;
}

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
}

LegacyReader::~LegacyReader()
{
    mdb_close(d->mdb);
    delete d;
}

int LegacyReader::declaredRows(const QString& name) const
{
    MdbTableDef* table = openTable(d->mdb, name);
    if (!table)
        return -1;
    const int rows = int(table->num_rows);
    mdb_free_tabledef(table);
    return rows;
}

QVector<QVector<QVariant>> LegacyReader::read(const QString& name, const QVector<FieldDef>& fields,
                                               const Progress& progress)
{
    MdbTableDef* table = openTable(d->mdb, name);
    if (!table)
        refuse(m_path, QStringLiteral("テーブル「%1」がありません").arg(name));
    const int columns = int(table->num_cols);
    // Where each wanted field is among the table's columns, and its type.
    QVector<int> columnOf(fields.size(), -1);
    QVector<int> typeOf(fields.size(), 0);
    for (int i = 0; i < columns; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
        const QString colName = QString::fromUtf8(col->name);
        for (int f = 0; f < fields.size(); ++f)
            if (fields.at(f).name.compare(colName, Qt::CaseInsensitive) == 0) {
                columnOf[f] = i;
                typeOf[f] = col->col_type;
            }
    }
    for (int f = 0; f < fields.size(); ++f)
        if (columnOf[f] < 0) {
            mdb_free_tabledef(table);
            refuse(m_path, QStringLiteral("テーブル「%1」に列「%2」がありません").arg(name, fields.at(f).name));
        }
    std::vector<MdbField> cracked(size_t(columns) + 1);
    QVector<QVector<QVariant>> rows;
    rows.reserve(int(table->num_rows));
    mdb_rewind_table(table);
    while (mdb_fetch_row(table)) {
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(d->mdb, int(table->cur_row) - 1, &start, &size) != 0) {
            mdb_free_tabledef(table);
            refuse(m_path, QStringLiteral("テーブル「%1」の行を読めません").arg(name));
        }
        std::memset(cracked.data(), 0, sizeof(MdbField) * cracked.size());
        if (!mdb_crack_row(table, start, size, cracked.data())) {
            mdb_free_tabledef(table);
            refuse(m_path, QStringLiteral("テーブル「%1」の行を読めません").arg(name));
        }
        QVector<QVariant> values(fields.size());
        for (int f = 0; f < fields.size(); ++f) {
            // cracked fields come in the row's own column order
            const MdbField* field = nullptr;
            for (int c = 0; c < columns; ++c)
                if (cracked[size_t(c)].colnum == columnOf[f])
                    field = &cracked[size_t(c)];
            if (!field || field->is_null)
                continue; // NULL stays NULL
            const QByteArray raw(static_cast<const char*>(field->value), field->siz);
            switch (typeOf[f]) {
            case MDB_TEXT:
                values[f] = jetText(raw); // the empty text stays empty
                break;
            case MDB_LONGINT:
                if (raw.size() >= 4)
                    values[f] = qint64(qFromLittleEndian<qint32>(raw.constData()));
                break;
            case MDB_INT:
                if (raw.size() >= 2)
                    values[f] = qint64(qFromLittleEndian<qint16>(raw.constData()));
                break;
            case MDB_MONEY:
                if (raw.size() >= 8) {
                    // ten-thousandths of a yen: whole yen stay whole numbers
                    const qint64 units = qFromLittleEndian<qint64>(raw.constData());
                    if (units % 10000 == 0)
                        values[f] = units / 10000;
                    else
                        values[f] = double(units) / 10000.0;
                }
                break;
            case MDB_DATETIME:
                if (raw.size() >= 8) {
                    double days = 0;
                    const quint64 bits = qFromLittleEndian<quint64>(raw.constData());
                    std::memcpy(&days, &bits, sizeof days);
                    values[f] = jetDateTime(days);
                }
                break;
            default:
                values[f] = QString::fromUtf8(raw.toHex());
            }
        }
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
        refuse(m_path, QStringLiteral("テーブル「%1」を読み切れません（定義では %2 行、読めたのは %3 行）")
                           .arg(name)
                           .arg(declared)
                           .arg(rows.size()));
    return rows;
}
