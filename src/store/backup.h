#pragma once

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>

// Whole copies of the collection in the folder "backup" beside it, made by
// SQLite itself (never by copying a file that may be being written), named by
// the moment they were made; the newest ten are kept.
namespace backup {

inline constexpr int kept = 10;

struct Copy {
    QString path;
    QDateTime made;
    int cds = -1; // -1 where the copy cannot be read
    int songs = -1;
};

QString folderFor(const QString& collection);
// Writes a consistent copy of the open collection; throws DbError
// (BackupFailed) with the cause in Japanese. Returns the copy's path.
QString make(const QSqlDatabase& db, const QString& collection);
// The copies, newest first, with their counts.
QList<Copy> list(const QString& collection);
void prune(const QString& collection, int keep = kept);
// Puts a copy of `copy` in the collection's place as one rename. The
// collection must be closed. Throws DbError.
void restore(const QString& copy, const QString& collection);
// Moves a damaged collection aside under a name of its own and returns it;
// nothing is deleted. Throws DbError.
QString setAside(const QString& collection);

} // namespace backup
