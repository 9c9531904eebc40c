#pragma once

#include "row.h"
#include "works.h"

#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

class Connection;

// CDs that are likely one CD entered twice (重複の候補): two copies bought
// years apart, or one typed again under another spelling. The collector
// either keeps both, which is remembered so that the pair is not proposed
// again, or merges one into the other.
namespace duplicates {

// Why a pair is proposed; a pair may have several reasons.
enum Rule : int {
    SameNumber = 1, // a song of each carries the same 原盤番号
    SameTitle = 2, // the titles are one under quick find's normalisation
    SameWorks = 4, // the same works recorded by the same performers
};
// The reasons as the window lists them: 「原盤番号・題名」.
QString rulesText(int rules);

// A 原盤番号, a title or a set of works that more CDs than this share is no
// sign of a copy (a box's number on each of its discs, a title such as
// 「ベスト」): its CDs are not proposed.
inline constexpr int MostSharing = 6;

struct Pair {
    qint64 first = 0; // CDIDs, the smaller first
    qint64 second = 0;
    QString firstTitle, secondTitle;
    int firstSongs = 0, secondSongs = 0; // how many songs each holds
    int rules = 0;
    QString number; // the 原盤番号 they share, for SameNumber
};
using Apart = QSet<QPair<qint64, qint64>>; // pairs kept, the smaller CDID first

// The tables that keep the pairs the collector keeps both of.
const QStringList& tableStatements();
// A CD deleted takes the pairs naming it along, as its stars and loans go.
void startFollowing(Connection& cn);
Apart keptApart(Connection& cn);

// The pairs among these rows (every CD and every song of the collection, in
// the order of the design's tables), with the works gathered from those
// songs; pairs kept apart are left out. Ordered by the first CDID, then the
// second.
QVector<Pair> find(const Snapshot& cds, const Snapshot& songs, const works::Catalogue& works,
                   const Apart& apart);

// Both kept: the pair is not proposed again. One transaction.
void keepApart(Connection& cn, qint64 a, qint64 b);

struct Merged {
    int moved = 0; // songs that only the CD merged held, now the kept CD's
    int same = 0; // songs both held, kept once
};
// Merges CD `from` into CD `into`, in one transaction: the kept CD's empty
// fields take the other's values; the songs only `from` holds move across and
// those both hold are kept once (the kept song's empty fields filled); the
// stars and a loan go to the kept CD and songs where they have none; the
// jacket stays, the other's picture going to the jacket trash (or becoming
// the kept CD's when it had none); then `from` is deleted. `cds` and `songs`
// are the rows as stored now. Refused with DbError, nothing written, when
// the two are one CD, either is not stored once, both are lent out, or
// another CD shares `from`'s title (its songs are that CD's too).
Merged merge(Connection& cn, const Snapshot& cds, const Snapshot& songs, qint64 into, qint64 from);

} // namespace duplicates
