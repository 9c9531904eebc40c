#pragma once

#include "audiotags.h"
#include "importer.h"

#include <QVector>

class Connection;

// Bringing CDs in from ripped music files: the files of one folder that
// share ALBUM (and DISCNUMBER) are one CD, their tags mapped onto its songs.
namespace audio {

struct Album {
    QString folder;
    QString album; // ALBUM, or the folder's name
    int disc = 0; // DISCNUMBER, 0 when none: each disc of a set is an album of its own
    QString title; // CD名: the album, 「album (Disc n)」 for a disc of a set
    QString label; // 発売元
    QVector<Track> tracks; // in TRACKNUMBER, then file-name order
    QByteArray cover; // the first embedded front cover, or cover.jpg / folder.jpg beside the files
};

struct Found {
    QVector<Album> albums; // in folder, album, then disc order
    // One line per file that could not be read, and per folder that could
    // not be listed, saying why.
    QStringList unreadable;
    // One line per thing read otherwise than it stands: a tag left out or
    // only partly taken, an album given a CD名 of its own.
    QStringList warnings;
};

// Every album under the folder, its subfolders included (not those reached
// by a link, nor hidden ones). Two albums of one CD名 are never made: the
// later ones take 「CD名 (2)」 and so on. `progress` is told of every file
// read and answers false to stop (a DbError Cancelled).
Found findAlbums(const QString& root, const importer::Progress& progress = {});

// The CD row and the song rows of an album, in the tables' column order,
// numbered from the identifiers given.
QVector<QVariant> cdRow(const Album& album, qint64 cdid);
QVector<QVariant> songRow(const Track& track, const QString& cdTitle, qint64 songId);

// The song field each tag (or tags) fills, in the order the table holds them.
struct SongField {
    const char16_t* column;
    QString (*value)(const Track&);
};
const QVector<SongField>& songMapping();

// The albums, added in one transaction with the next free CDIDs and 曲IDs;
// the CDIDs given, in the albums' order. `progress` is told of every album
// and answers false to stop: nothing is added then (a DbError Cancelled).
QVector<qint64> addAlbums(Connection& cn, const QVector<Album>& albums,
                          const importer::Progress& progress = {});

} // namespace audio
