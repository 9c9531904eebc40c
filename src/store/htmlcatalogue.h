#pragma once

#include "loans.h"
#include "namegroups.h"
#include "ratings.h"
#include "row.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QString>
#include <QVector>

class Connection;

// The collection as a catalogue that a browser shows without the program:
// the data file its page reads, gathered here from the collection file. The
// page itself, the jackets' thumbnails and the folder are written above the
// store, where pictures can be read.
namespace htmlcatalogue {

// The data file's name in the catalogue's folder. A page opened from the
// disk may not fetch a file beside it, so the data is a script that hands
// the catalogue to the page as a global (rondellaCatalogue).
inline constexpr char16_t kDataFile[] = u"data.js";
// Where a CD's thumbnail goes in the folder.
QString thumbnailName(qint64 cdid);

// Everything the page shows, as the file holds it at one moment.
struct Contents {
    Snapshot cds; // in the table's order, which the page keeps
    Snapshot songs;
    QHash<qint64, QString> notes; // by CDID
    QHash<qint64, loans::Loan> loans; // the CDs out, by CDID
    ratings::Kept ratings;
    names::Joins joins;
};
// Throws DbError.
Contents read(Connection& cn);

// The CDIDs of the CDs listed, each once, for their jackets.
QVector<qint64> cdids(const Contents& contents);

// The data file: every CD in the table's order with its fields, songs (as
// songs relate to their CD), note, loan, stars and, where `withJacket`
// holds its CDID, its thumbnail; the works by composer as the works window
// gathers them; and what quick find looks through, in quick find's own
// normalised form, with the name groups, so that the page finds the same
// CDs as the program.
QByteArray dataScript(const Contents& contents, const QSet<qint64>& withJacket,
                      const QDateTime& written);

} // namespace htmlcatalogue
