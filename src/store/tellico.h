#pragma once

#include "importer.h"
#include "loans.h"

#include <QByteArray>
#include <QDate>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

class Connection;

// Bringing in a music collection kept in Tellico: a .tc file (a ZIP holding
// tellico.xml, or bookcase.xml in older files, and the pictures under
// images/) or the same XML uncompressed, its pictures then inside it. Each
// entry on a Compact Disc becomes a CD, each row of its track lists a song;
// what the CD's own fields have no place for goes to the CD's note.
namespace tellico {

struct Options {
    bool allMedia = false; // take Vinyl, Cassette, DVD... too, their medium kept in the note
};

struct Cd {
    QString entry; // how the report names it: 「title」（項目 id）
    QString title; // CD名, 「… (Disc 2)」 for a later disc, 「… (2)」 when taken
    QVector<QVariant> row; // cdname's columns, CDID left empty
    QVector<QVector<QVariant>> songs; // kyoku's columns, 曲ID left empty
    int stars = 0; // 1 to 5, 0 for none
    QVector<loans::Loan> loans; // cdid left 0
    QString note; // the CD's note (メモ)
    QByteArray cover; // the jacket's picture as the file holds it
    QString coverName; // its name there, as refusals name it
};

struct Found {
    QVector<Cd> cds; // in the file's order, the discs of an entry in theirs
    int entries = 0; // entries read
    // One line each: an entry left out because it is no CD, and why.
    QStringList skipped;
    // One line each: an entry refused (no title, a price that is no number).
    QStringList refused;
    // The fields the entries carried that have no place here, each once with
    // how many entries carried it.
    QStringList unplaced;
    // Things read otherwise than they stand: a CD名 taken already.
    QStringList warnings;
    int songCount() const;
    int coverCount() const;
};

// Reads the file whole. A file that is not what it claims (not a ZIP, no
// XML in it, XML not well formed, a DTD or entity reaching outside the file,
// a ZIP entry named outside its folder, a picture that is no picture, a
// collection of books or films) is refused with a DbError naming it. Read
// before the collection is opened, so that a refused file writes nothing.
Found read(const QString& path, const Options& options);

// Two CDs of one CD名 would share their songs: a CD whose title is stored
// already (`storedTitles`, as foldKey gives them) or brought twice takes
// 「title (2)」, and the warnings say so.
void takeOwnTitles(Found& found, const QSet<QString>& storedTitles);

// The foldKey of every CD名 the collection holds.
QSet<QString> storedTitles(Connection& cn);

// The rows of the CDs, numbered after the CDID and 曲ID given.
importer::Rows rowsOf(const QVector<Cd>& cds, qint64 lastCdid, qint64 lastSongId);

// Adds the CDs in one transaction, numbered after the largest CDID and 曲ID
// stored, with their ratings, loans and notes; the CDIDs given, in order.
// Throws DbError, nothing added.
QVector<qint64> add(Connection& cn, const QVector<Cd>& cds);

// A price as Tellico keeps it, in whatever currency and separators it was
// typed ($12.99, ¥3,000, 12,50 €, 3000円), in whole units rounded; none when
// it is no number.
std::optional<qint64> priceOf(const QString& text);

// Whether the bytes begin as a picture file does (JPEG, PNG, GIF, BMP, WebP).
bool looksLikePicture(const QByteArray& bytes);

} // namespace tellico
