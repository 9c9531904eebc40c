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

// The tables this program keeps beside the design's two that come along
// with the CDs and songs: the name groups, the stars, the loans, the wish
// list, the pairs of CDs kept apart as no copies of each other and the
// notes on CDs. (The history stays: an import is a change of its own there.)
enum Extra { NameGroups, CdRatings, SongRatings, Loans, Wishes, KeptApart, CdNotes };
constexpr int ExtraCount = 7;
struct ExtraTable {
    QString name; // the table's, and its CSV file's without ".csv"
    QString what; // how the counts call its rows: 評価, 貸出, ...
    QVector<FieldDef> fields; // its columns as exported, in the table's order
    // The first column is a number of the table's own (貸出ID, 欲しいID): a row
    // brought in gets a new one, so that it never meets a row stored.
    bool renumbered = false;
};
const ExtraTable& extraTable(Extra which);

// Rows of one of them as read, each with the line it was read from.
struct ExtraRows {
    QString file; // the file's name, as refusals name it
    QVector<QVector<QVariant>> rows; // in the order of its table's fields
    QVector<int> lines;
};

struct Rows {
    QVector<QVector<QVariant>> cds; // in the order of Connection::cdnameFields()
    QVector<QVector<QVariant>> songs; // in the order of Connection::kyokuFields()
    ExtraRows extra[ExtraCount]; // by Extra
};

// What the rows of the extra tables say by themselves and across the files:
// a star count from 1 to 5, a loan as loans::lend takes one (its return not
// before its lending either), one open loan of a CD, one group a spelling,
// a note that says something.
// Each refusal reads "loan.csv の 3 行目: why". Adding and writing check the
// rows again against the collection they go into.
QStringList refusedLines(const Rows& rows);
// Refuses the whole import with the refused lines (up to a screenful). Throws DbError.
[[noreturn]] void refuseLines(const QStringList& refused);
// What came beside the CDs and songs, for the collector: 評価 2件・貸出 1件
// (empty when nothing did).
QString extrasText(const Rows& rows);

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
// no file behind. The rows of the extra tables are checked as for an empty
// collection. Throws DbError.
void writeCollection(const QString& target, const Rows& rows, bool replace,
                     const Progress& progress = {});

// Adds the rows to the open collection in one transaction. Rows whose CDID
// or 曲ID is already taken are refused, and with them the whole addition:
// the message lists them. So are the refused lines of the extra tables, as
// refusedLines() says and against what is stored: a star or a loan of a
// CDID or 曲ID neither brought nor stored, a second rating of one, a loan of
// a CD out now, a spelling grouped already, a note of a CD that has one.
// `kind` names the change in the history. Throws DbError.
void addToCollection(Connection& cn, const Rows& rows,
                     const QString& kind = QStringLiteral("取り込み"));

} // namespace importer
