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
    qint64 cds = -1; // -1 where the copy cannot be read
    qint64 songs = -1;
    QString damage; // why the copy cannot be restored; empty when it is whole
};

QString folderFor(const QString& collection);
// Writes a consistent copy of the open collection; throws DbError
// (BackupFailed) with the cause in Japanese. Returns the copy's path.
QString make(const QSqlDatabase& db, const QString& collection);
// The copies, newest first, each checked: its counts, or why it is damaged.
// Only files named as make() names them count as copies.
QList<Copy> list(const QString& collection);
// Checks a collection file without writing to it: SQLite's quick check, both
// tables with every column. Returns it with its counts, or with the damage.
Copy inspect(const QString& path);
void prune(const QString& collection, int keep = kept);
// Puts a checked copy of `copy` in the collection's place as one rename. The
// collection must be closed. The file it replaces, if any, is kept beside it
// as "<collection>.replaced-<date>-<time>" (with its journal, if it has one),
// and that name is returned. A damaged copy is refused before anything
// changes. Throws DbError.
QString restore(const QString& copy, const QString& collection);
// Removes what a Rondella that ended abruptly left beside the collection:
// half-made imports and restores of processes that are gone, and backups cut
// short. Call only while holding the collection's lock. Nothing else is touched.
void removeLeftovers(const QString& collection);
// Moves a damaged collection aside under a name of its own and returns it;
// nothing is deleted. Throws DbError.
QString setAside(const QString& collection);

} // namespace backup
