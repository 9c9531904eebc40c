#pragma once

#include "legacyreader.h"

#include <QString>
#include <QVariant>
#include <QVector>

#include <functional>

class Connection;

// Bringing a whole collection in: rows read from elsewhere become a
// collection file, or join the open one, all of them or none.
namespace importer {

struct Rows {
    QVector<QVector<QVariant>> cds;   // in the order of Connection::cdnameFields()
    QVector<QVector<QVariant>> songs; // in the order of Connection::kyokuFields()
};

// Told how many rows are done; answers false to stop.
using Progress = std::function<bool(int done, int total)>;

// Both tables of the old program's database, read whole. Throws DbError.
Rows readLegacy(const QString& mdbPath, const Progress& progress = {});

// Writes a new collection at `target` holding exactly these rows: written to
// a file of its own beside the target, checked, and given the target's name
// only when whole. With `replace` an existing target is replaced in one
// rename (the caller has backed it up); without, an existing target is left
// and the import refused. A failure or a stop leaves the target as it was and
// no file behind. Throws DbError.
void writeCollection(const QString& target, const Rows& rows, bool replace,
                     const Progress& progress = {});

// Adds the rows to the open collection in one transaction. Rows whose CDID
// or 曲ID is already taken are refused, and with them the whole addition:
// the message lists them. Throws DbError.
void addToCollection(Connection& cn, const Rows& rows);

} // namespace importer
