#pragma once

#include "legacyreader.h"

#include <QString>
#include <QVariant>
#include <QVector>

#include <functional>

class Connection;
class QIODevice;

// Bringing a whole collection in: rows read from elsewhere become a
// collection file, or join the open one, all of them or none.
namespace importer {

struct Rows {
    QVector<QVector<QVariant>> cds; // in the order of Connection::cdnameFields()
    QVector<QVector<QVariant>> songs; // in the order of Connection::kyokuFields()
};

// Told how many rows are done; answers false to stop.
using Progress = std::function<bool(int done, int total)>;

// Both tables of the old program's database, read whole by the reading
// program (rondella-mdbread) in a process of its own: a damaged file that
// makes libmdb crash, hang or run out of memory ends that process, never
// this one, and comes back as a refusal naming the file. Throws DbError.
Rows readLegacy(const QString& mdbPath, const Progress& progress = {});
// The same read in this process, for the reading program itself.
Rows readLegacyHere(const QString& mdbPath, const Progress& progress = {});
// The reading program's side: reads `mdbPath` and sends the rows, progress
// and any refusal to `out` as readLegacy expects them. Returns the exit code.
int serveLegacyRead(const QString& mdbPath, QIODevice& out);
// Where readLegacy finds the reading program.
QString legacyReaderProgram();

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
