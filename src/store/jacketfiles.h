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

} // namespace jacket
