#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

class Connection;

// The collector's note (メモ) on a CD: a free text of any length and lines,
// kept in a table of its own keyed by CDID, so that the design's tables stay
// as they are. A CD without a note has no row: an empty note, or one of
// blanks and line breaks only, is no note. A CD deleted takes its note with
// it, in the same change.
namespace cdnotes {

const QStringList& tableStatements();
// The table, and the column of the design's table it is keyed by.
QString tableName();
QString keyField();
// From now on a CD this connection deletes (leaving no other row of its
// number) takes its note along.
void startFollowing(Connection& cn);

// Refuses with DbError where the file has no table for them (one that
// could not be written when it was opened).
void requireTable(Connection& cn);
// Whether the text says nothing: empty, or blanks and line breaks only.
bool isBlank(const QString& text);
// Every note stored, by CDID; none where the file has no table for them.
QHash<qint64, QString> read(Connection& cn);
// The CD's note; empty when it has none.
QString of(Connection& cn, qint64 cdid);
// Gives the CD this note, or takes its note away with a blank text, in one
// transaction (or inside the one running). A note for a CDID no CD bears is
// refused with DbError, nothing written.
void write(Connection& cn, qint64 cdid, const QString& text);
// What the kept CD's note becomes when another CD is merged into it: the
// other's note on a line of its own after it, where both have one.
QString merged(const QString& kept, const QString& other);

} // namespace cdnotes
