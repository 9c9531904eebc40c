#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

namespace tellico {
struct Cd;
struct Found;
} // namespace tellico
namespace discogs {
struct Options;
}

// Collections kept in other catalogues, brought into this one.

// Reads every jacket of the CDs as the jacket box will: a picture that is
// none refuses the whole file before anything is written. Throws DbError.
void requirePictures(const QString& file, const QVector<tellico::Cd>& cds);

// Stores the CDs' pictures as the jackets of the CDIDs given to them; says
// which could not be stored, one line each.
QStringList storeJackets(const QString& collectionFolder, const QVector<tellico::Cd>& cds,
                         const QVector<qint64>& cdids);

// What a Tellico import did, for the collector: the counts, then the
// entries skipped or refused and why, the fields with no place, the rest.
QString tellicoReport(const tellico::Found& found, const QStringList& jacketFailures);

// rondella --import-tellico FILE [--all-media] [--collection FOLDER]: adds the
// file's CDs to the collection in FOLDER without a window, under the same
// lock, backup and transaction as the program, and prints the report.
// Returns the exit status: 0 when done, 1 when refused, 2 when the file or
// folder is none.
int RunImportTellico(const QString& file, const QString& folder, bool allMedia);

// rondella --import-discogs FILE [--all-media] [--artist-songs] [--collection FOLDER]:
// adds the CDs of a Discogs collection export to the collection in FOLDER,
// without a window, under the same lock, backup and transaction as the
// program. Prints one line per CD added, per row passed by and per CD
// renamed, and a summary in Japanese. Returns the exit status: 0 when done,
// 1 when nothing could be added (the file refused, the collection held or
// not writable), 2 when the file or the folder is none.
int RunImportDiscogs(const QString& file, const QString& folder, const discogs::Options& options);
