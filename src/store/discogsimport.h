#pragma once

#include "importer.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <utility>

class Connection;

// Bringing CDs in from a collection exported by Discogs as CSV: each row is
// a CD. What the two tables have no column for goes to the CD's note, one
// named line each, so that nothing of the row is lost.
namespace discogs {

// What the collector chose before the import.
struct Options {
    bool allMedia = false; // the rows whose format holds no CD come in too
    bool artistSongs = false; // each CD gets one song standing for it, its artist as 演奏団体
};

// A row of the export as read, with the line it starts on.
struct Release {
    int line = 0;
    QString catalog; // Catalog#
    QString artist;
    QString title;
    QString label; // as written, Discogs's numbers of namesakes still on
    QString format;
    int rating = 0; // 1 to 5; 0 for none
    int year = 0; // Released; 0 when unknown
    QString releaseId;
    QString folder; // CollectionFolder
    QVariant added; // Date Added: a QDateTime, a QDate, or null
    QString mediaCondition, sleeveCondition, notes;
    QVector<std::pair<QString, QString>> more; // further Collection columns: name, value
};

// The columns every export has, as its header names them.
const QStringList& columns();

// Every row of an export. A text that is not one (a column missing or
// unknown, quotes that do not close, bytes that are not UTF-8, a row with
// another number of columns than the header) or a row whose value cannot be
// read (a rating other than 0 to 5, a year, a date or a release number that
// is none, no title) refuses the whole file: DbError naming every such line
// with its number (the header is line 1).
QVector<Release> read(const QByteArray& data);
// read() on a file's bytes; the refusal names the file.
QVector<Release> readFile(const QString& path);

// Whether a Format names a CD among its media (CD, CDr, SACD, HDCD, SHM-CD...).
bool hasCD(const QString& format);
// A name without the number Discogs gives a namesake (「EMI (2)」 is EMI);
// each name of a list joined by ", " loses its own.
QString withoutNumber(const QString& name);
// What the row says that the CD's and its song's columns do not hold, as
// the CD's note: one named line each, the empty ones left out.
QString noteOf(const Release& release, const Options& options);

// What an addition did.
struct Outcome {
    int cds = 0;
    int songs = 0;
    QString extras; // what came beside them: 評価 2件・メモ 3件
    QStringList added; // "CDID 6「title」", in the rows' order
    // Rows left out, each "3 行目「title」: why"; counted by why.
    QStringList skipped;
    int notCD = 0;
    int stored = 0;
    // CDs given a CD名 other than their title: another row of the file has it.
    QStringList renamed;
};

// Adds the rows as CDs in one transaction, numbered after the largest CDID
// and 曲ID stored: their stars, notes and (with artistSongs) one song each
// along. A row without a CD in its format is skipped unless allMedia; a
// later row of a title another row has takes 「title (2)」; a row whose CD名
// is stored already is skipped, so that songs never join another CD. A
// refusal of the file or a stop (`progress` answers false: DbError
// Cancelled) adds nothing.
Outcome add(Connection& cn, const QVector<Release>& releases, const Options& options,
            const importer::Progress& progress = {});

// The outcome in a sentence: CD 3枚・曲 3曲を追加しました。...
QString summary(const Outcome& outcome);

} // namespace discogs
