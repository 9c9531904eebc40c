#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

class Connection;

// The collector's stars (1 to 5) for a CD and for a song, kept in tables of
// their own keyed by CDID and by 曲ID, so that the design's tables stay as
// they are. A CD or song deleted takes its stars with it, in the same change.
namespace ratings {

enum class Of { CD, Song };

// The column of the design's tables they are filed under: CDID or 曲ID.
QString keyField(Of which);
// The tables that keep them, and the name of each.
const QStringList& tableStatements();
QString tableName(Of which);
// From now on a CD or song this connection deletes (leaving no other row of
// its number) takes its stars along.
void startFollowing(Connection& cn);

struct Kept {
    QHash<qint64, int> cds; // CDID → stars
    QHash<qint64, int> songs; // 曲ID → stars
    int of(Of which, qint64 id) const { return (which == Of::CD ? cds : songs).value(id); }
};
// Every rating stored; none where the file has no tables for them.
Kept read(Connection& cn);
// Gives the CD or song 1 to 5 stars, or takes them away with 0, in one
// transaction; another number is refused with DbError.
void rate(Connection& cn, Of which, qint64 id, int stars);
// What the grids show: a star for each, nothing for none.
QString starsText(int stars);

} // namespace ratings
