#pragma once

#include <QByteArray>
#include <QStringList>
#include <QVector>

#include <functional>

// A line of a command's report, on standard output; a refusal, on standard
// error (its carriage returns as line breaks).
void say(const QString& line);
void complain(const QString& line);

namespace audio {
struct Album;
}

// Runs a command without a window on the collection in `folder`, under the
// collection's lock, what an ended run left removed first. `work` is given
// the collection file and returns the exit status; a DbError it throws is
// said with 「何も追加していません」 and ends in 1, as does running out of memory.
int RunOnCollection(const QString& folder, const std::function<int(const QString& file)>& work);

// rondella --import-audio DIR [--allow-duplicates] [--collection FOLDER]:
// adds every album found under DIR (source) to the collection in FOLDER, without a window, under
// the same lock, backup and transaction as the program. Prints one line per CD added and a summary
// in Japanese. Returns the exit status: 0 when done, 1 when nothing could
// be added, 2 when either folder is none.
int RunImportAudio(const QString& source, const QString& folder, bool allowDuplicates);

// A picture brought in for a CD: its CD名, as the report names it, and the
// picture as the file held it.
struct BroughtPicture {
    QString title;
    QByteArray bytes;
};
// Stores the pictures as the jackets of the CDs given to them, read as a
// picture chosen for the jacket is; says which could not be stored, one
// line each.
QStringList storePictures(const QString& collectionFolder, const QVector<BroughtPicture>& pictures,
                          const QVector<qint64>& cdids);

// Stores the albums' covers as the jackets of the CDs given to them; says
// which could not be stored, one line each.
QStringList storeCovers(const QString& collectionFolder, const QVector<audio::Album>& albums,
                        const QVector<qint64>& cdids);
