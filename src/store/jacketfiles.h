#pragma once

#include <QString>

// Where the jacket pictures of a collection live: jacket/<CDID>.jpg in the
// collection folder. A picture replaced or deleted is never lost: it goes to
// jacket/.trash/<CDID>-<date>-<time>.jpg, where the newest ten of each CD
// are kept.
namespace jacket {

constexpr int keptInTrash = 10;

QString pictureOf(const QString& collectionFolder, qint64 cdid);
QString trashFolder(const QString& collectionFolder);

// Moves the CD's picture, if it has one, to the trash and returns where it
// went (empty when there was none). Throws DbError when it cannot be moved:
// the picture then stays where it was.
QString moveToTrash(const QString& collectionFolder, qint64 cdid);

// A picture as the history knows it: a digest of its bytes (empty for no
// picture), so that a change is taken back only over the picture it left.
QString digestOf(const QString& path);

// What a change of the CD's picture did: the picture it found (its digest and
// where in the trash it went) and the one it left.
struct Replaced {
    qint64 cdid = 0;
    QString before, keptAt, after;
    bool changed() const { return before != after || !keptAt.isEmpty(); }
};
// Writes `jpeg` whole beside the CD's picture, moves the old one to the trash
// and puts the new one in its place. Throws DbError in Japanese; the old
// picture is then where it was.
Replaced replace(const QString& collectionFolder, qint64 cdid, const QByteArray& jpeg);
// Moves the picture to the trash, as moveToTrash, and tells what it moved.
Replaced remove(const QString& collectionFolder, qint64 cdid);
// Puts things back as they were before `r`, as far as the files allow: for a
// change whose transaction failed after the picture moved.
void putBack(const QString& collectionFolder, const Replaced& r);

} // namespace jacket
