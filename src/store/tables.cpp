#include "tables.h"

#include "dberror.h"

TableDef::TableDef(QString name, QVector<ColumnDef> columns, QString order)
    : m_name(std::move(name)), m_columns(std::move(columns)), m_order(std::move(order))
{
    for (const ColumnDef& c : m_columns)
        m_fields.append(c.field);
}

int TableDef::indexOf(const QString& name) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns.at(i).field.name == name)
            return i;
    return -1;
}

const ColumnDef& TableDef::column(const QString& name) const
{
    const int i = indexOf(name);
    if (i < 0)
        throw DbError(DbError::ItemNotFound,
                      QStringLiteral("テーブル %1 に列「%2」はありません。").arg(m_name, name));
    return m_columns.at(i);
}

QString TableDef::columnList() const
{
    QStringList names;
    for (const ColumnDef& c : m_columns)
        names << c.field.name;
    return names.join(QStringLiteral(", "));
}

QString TableDef::createStatement() const
{
    QStringList columns;
    for (const ColumnDef& c : m_columns)
        columns << c.field.name + u' ' + QString::fromLatin1(c.storedType);
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(m_name, columns.join(QStringLiteral(", ")));
}

QString TableDef::selectAll() const
{
    return QStringLiteral("SELECT rowid, %1 FROM %2 ORDER BY %3")
        .arg(columnList(), m_name, m_order);
}

namespace {

ColumnDef text(const char16_t* name, int size, int gridWidth = 0)
{
    return {{QString::fromUtf16(name), FieldType::Text, size, true},
            "TEXT",
            gridWidth,
            ColumnFormat::Plain,
            false};
}

ColumnDef number(const char16_t* name, FieldType type, int size, int gridWidth, bool centred)
{
    return {{QString::fromUtf16(name), type, size, true},
            type == FieldType::Integer ? "INTEGER" : "TEXT",
            gridWidth,
            ColumnFormat::Plain,
            centred};
}

ColumnDef price(const char16_t* name, int gridWidth)
{
    ColumnDef c = number(name, FieldType::Integer, 8, gridWidth, true);
    c.gridFormat = ColumnFormat::Grouped;
    c.boxFormat = ColumnFormat::Yen;
    c.money = true;
    return c;
}

} // namespace

const TableDef& cdnameTable()
{
    // Integers for the identifier and the price; the purchase date is kept as
    // ISO text (yyyy-MM-dd, with the time where there is one).
    static const TableDef table(QStringLiteral("cdname"),
                                {
                                    number(u"CDID", FieldType::Integer, 4, 600, true),
                                    text(u"CD名", 100, 2000),
                                    text(u"解説者", 50, 1500),
                                    price(u"購入価格", 1000),
                                    number(u"購入年月日", FieldType::Date, 8, 1100, true),
                                    text(u"発売元", 50, 1400),
                                    text(u"キャビネット", 20),
                                    text(u"段", 10),
                                },
                                QStringLiteral("CDID ASC, rowid ASC"));
    return table;
}

const TableDef& kyokuTable()
{
    static const TableDef table(QStringLiteral("kyoku"),
                                {
                                    text(u"CD名", 100, 1740),
                                    number(u"曲ID", FieldType::Integer, 4, 915, false),
                                    text(u"曲名", 255, 3240),
                                    text(u"作曲者名", 50, 1620),
                                    text(u"編曲者名", 50, 1620),
                                    text(u"指揮者名", 50, 1620),
                                    text(u"演奏団体", 50, 2500),
                                    text(u"ソリスト", 50, 1620),
                                    text(u"録音先", 50, 730),
                                    text(u"録音先番号", 50, 980),
                                    text(u"録音時間", 50, 930),
                                    text(u"録音年月日", 50, 980),
                                    text(u"録音会場", 50, 1490),
                                    text(u"原盤番号", 50, 1000),
                                    text(u"分野", 50, 1140),
                                },
                                QStringLiteral("曲ID ASC, rowid ASC"));
    return table;
}

bool isMoney(const FieldDef& field)
{
    for (const TableDef* table : {&cdnameTable(), &kyokuTable()})
        for (const ColumnDef& c : table->columns())
            if (c.field.name == field.name && c.money)
                return true;
    return false;
}

const FieldDef& cdPriceField()
{
    for (const ColumnDef& c : cdnameTable().columns())
        if (c.money)
            return c.field;
    throw DbError(DbError::ItemNotFound, QStringLiteral("CDの価格の列がありません。"));
}
