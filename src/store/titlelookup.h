#pragma once

#include "row.h"

#include <QString>
#include <QVector>

struct sqlite3;
struct FieldDef;

// Finds the rows of a table whose CD名 equals a title as CDs and songs are
// related (letter case ignored in every script), without reading the whole
// table where the collection has an index on CD名 with SQLite's NOCASE.
// NOCASE ignores letter case in ASCII only, so the lookup runs over every
// stored spelling the title could have: letters with other case forms
// outside ASCII (É and é, Ｓ and ｓ, and the Kelvin sign beside k) widen it to
// ranges of titles sharing a prefix. Throws rowreader::Failure.
namespace titlelookup {

// `columns` are the result columns after the rowid, `order` the ORDER BY of
// the whole table's view: the rows come in that order.
Snapshot rowsTitled(sqlite3* db, const QString& table, const QString& columns, const QString& order,
                    const QVector<FieldDef>& fields, const QString& title);

} // namespace titlelookup
