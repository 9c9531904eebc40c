#pragma once

#include "namegroups.h"
#include "ratings.h"
#include "view.h"
#include "works.h"

#include <QString>
#include <QVector>

#include <vector>

// Counts of what the collection holds, for the statistics window: CDs and
// songs per composer, genre, label, conductor and ensemble, purchases per
// year, and CDs per place of storage. Nothing is dropped: a value not
// entered is counted under 「（未入力）」, a date that is no date under
// 「（日付不明）」.
class Collection;

namespace stats {

// The names a tab of names shows before the rest are put together.
inline constexpr int Largest = 20;
QString notEntered(); // （未入力）
QString unknownDate(); // （日付不明）
QString others(); // その他

enum class Kind {
    SongNames, // a field of the songs: per name, the songs and the CDs holding them
    CDNames, // a field of the CDs: CDs per name
    Purchases, // CDs and money per year of purchase, with the running total
    Storage, // CDs per cabinet and shelf
    Works, // the most recorded works: recordings, songs and CDs per work
    Ratings // CDs and songs per number of stars, most first, then the unrated
};

struct TabDef {
    QString title; // the tab's caption
    Kind kind;
    QString field; // the field counted; Storage: the cabinet's (the shelf is 段)
    bool byGroup = false; // a person's field: one line per name group
};
// The tabs, in the window's order.
const QVector<TabDef>& tabs();

struct Line {
    QString name; // a name, a year, a cabinet
    QString shelf; // Storage: the shelf
    qint64 cds = 0;
    qint64 songs = 0;
    double spent = 0; // Purchases: the prices of the year's CDs added
    double runningTotal = 0; // Purchases: spent up to and with this line
    QStringList spellings; // a name group's spellings counted, the most used first
    QString composer; // Works: the work's composer
    qint64 recordings = 0; // Works
    bool rest = false; // the その他 line
};

struct Tab {
    TabDef def;
    QVector<Line> lines;
};

// What is counted: CDs and songs, each once, and which songs each CD holds.
struct Shown {
    std::vector<const Row*> cds;
    std::vector<const Row*> songs;
    std::vector<std::vector<int>> songsOfCD; // indexes into `songs`, per CD
};
// The CDs on show in a CD view related to its songs, with their songs; with
// `everySong` (all data), every song of the song view, on a CD or not.
Shown cdsWithTheirSongs(const View& cds, bool everySong);
// The songs on show in a song view related to its CDs, with those CDs (the
// CD list of a song search).
Shown songsWithTheirCDs(const View& songs);
// What the main window shows: all data, a CD search's CDs with their songs,
// or (`songsShown`: a song search, 全曲表示) the songs on show with their CDs.
Shown shownIn(Collection& db, bool allData, bool songsShown);

// Every tab, counted: the persons by the name groups of `joins`, the works
// of `works` (gathered from the songs shown). Lines of names come largest
// first (ties in Japanese order), the 20 largest and then その他; years in
// order, then （日付不明） and （未入力）; places in Japanese order; works by
// their recordings.
QVector<Tab> count(const Shown& shown, const QVector<FieldDef>& cdFields,
                   const QVector<FieldDef>& songFields, const names::Joins& joins,
                   const works::Catalogue& works, const ratings::Kept& rated = {});
// Every tab of what the main window shows (as `shownIn`), counted with the
// collection's name groups and the works of the songs shown.
QVector<Tab> countShown(Collection& db, bool allData, bool songsShown);

} // namespace stats
