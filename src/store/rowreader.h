#pragma once

#include "row.h"

#include <QSqlError>
#include <QVariantList>

struct sqlite3;
struct FieldDef;
class QSqlDatabase;

// Reads rows straight from SQLite into the compact row store, without a
// value object per cell: the first result column is the rowid, the others
// are `fields` in order, each converted as the field's type asks.
namespace rowreader {

// Why a statement failed, in the form the rest of the store reports.
struct Failure {
    QSqlError error;
};

// The SQLite handle under a QtSql connection of this process.
sqlite3* handleOf(const QSqlDatabase& db);

// Throws Failure. `limit` stops after that many rows (-1: all of them).
Snapshot read(sqlite3* db, const QString& sql, const QVector<FieldDef>& fields,
              const QVariantList& binds = {}, qint64 limit = -1);

// The first column of every row; throws Failure.
QVariantList column(sqlite3* db, const QString& sql, const QVariantList& binds = {});

// The first column of the first row (NULL when there is none); throws Failure.
QVariant scalar(sqlite3* db, const QString& sql, const QVariantList& binds = {});

} // namespace rowreader
