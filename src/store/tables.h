#pragma once

#include "view.h"

#include <QString>
#include <QStringList>
#include <QVector>

// How a column's values are shown in the grids: as stored, with thousands
// separators, or as yen.
enum class ColumnFormat { Plain, Grouped, Yen };

// One column of a table: everything the program knows of it, once.
struct ColumnDef {
    FieldDef field; // name (also the caption everywhere), type, size, nullable
    const char* storedType; // the SQLite column type
    int gridWidth; // twips in the grids; 0 leaves the grid's own width
    ColumnFormat gridFormat;
    bool centred; // in the grids
    ColumnFormat boxFormat = ColumnFormat::Plain; // in the record panel's box
    bool money = false; // a price in yen: Currency in the old database, decimals kept
};

// A table of the collection file: its columns in stored order, and the order
// its views read it in.
class TableDef {
public:
    TableDef(QString name, QVector<ColumnDef> columns, QString order);

    const QString& name() const { return m_name; }
    const QVector<ColumnDef>& columns() const { return m_columns; }
    const QVector<FieldDef>& fields() const { return m_fields; }
    // The ORDER BY of the whole table's view.
    const QString& order() const { return m_order; }
    // The column named so; throws DbError (ItemNotFound) for a name the table
    // does not have, so that a layout naming a wrong field fails at once.
    const ColumnDef& column(const QString& name) const;
    int indexOf(const QString& name) const;

    // "a, b, c": the columns in stored order.
    QString columnList() const;
    // The statement that makes the table.
    QString createStatement() const;
    // The whole table in view order, rowid first.
    QString selectAll() const;

private:
    QString m_name;
    QVector<ColumnDef> m_columns;
    QVector<FieldDef> m_fields;
    QString m_order;
};

// The CDs.
const TableDef& cdnameTable();
// The songs.
const TableDef& kyokuTable();

// Whether the field holds money: a price in yen, with the decimals an old
// database may carry. Told by the table definitions, so that every reader and
// writer of prices follows them.
bool isMoney(const FieldDef& field);
// The CDs' price column.
const FieldDef& cdPriceField();
