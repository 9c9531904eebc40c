#pragma once

#include "namegroups.h"
#include "row.h"

#include <QString>
#include <QStringView>
#include <QVector>

#include <atomic>

#include <vector>

// Works: which songs of the collection are movements of one work, and which
// of them one recording. A song says so only in its 曲名 and 作曲者名, as the
// collector typed them, so the work is recognised from those texts.
namespace works {

// A catalogue number however it is written (BWV 1007, K.550 = KV 550 = K550,
// Op.18-4 = 作品18の4 = Op. 18 No. 4, Hob.XVI:52): the catalogue and its whole
// numbers, so that K.55 is never K.550.
struct CatalogueNumber {
    QString kind; // one spelling per catalogue: BWV, K, Op, D, Hob, RV, HWV, S, LW, Sz, BB, WoO,
                  // TrV, WAB, L, M
    QVector<int> numbers; // the number, then its sub-numbers

    bool isNull() const { return kind.isEmpty(); }
    // The same number always gives the same key: "Op 18.4".
    QString key() const;
    // As the works window shows it: "Op.18-4", "Hob.XVI:52", "BWV 1007".
    QString text() const;
    bool operator==(const CatalogueNumber& o) const
    {
        return kind == o.kind && numbers == o.numbers;
    }
};

// Catalogue order: by catalogue, then numerically (K.9 before K.550).
bool lessThan(const CatalogueNumber& a, const CatalogueNumber& b);

struct Found {
    CatalogueNumber number;
    qsizetype from = 0; // where the number is written in the text (in NFKC: ｋ５５０ as k550)
    qsizetype to = 0; // one past its end
};
// Every catalogue number written in a text, in order.
QVector<Found> catalogueNumbers(QStringView text);

// What a song's title says of its work.
struct Title {
    QString work; // the title without its movement part, as written
    QString movement; // the movement part; empty for a work in one piece
    CatalogueNumber number; // the work's catalogue number, if the title carries one
    QString genre; // genre and number ("symphony 5"), if the title names them
};
// A title that begins with its composer's name and a colon (「ブラームス：交響曲
// 第1番」) is read from after the colon: the name is no work of its own.
Title recognise(const QString& title, const QString& composer = QString());

// The songs of one CD that belong to one work and have the same performers:
// a stretch of its work's songs. Only places among the rows gathered from
// are kept: at 50,000 CDs the texts of every recording would take some
// 150 MiB more, and a list of songs of its own for each of 275,000
// recordings some 25 MiB; the texts are read again when a work is chosen
// (see Catalogue::show).
struct Recording {
    int from = 0; // among its work's songs
    int count = 0;
};

struct Work {
    QString title; // the commonest spelling among its songs
    CatalogueNumber number;
    QVector<Recording> recordings; // in the order first met
    QVector<int> songs; // recording after recording, each in stored order

    int firstSong(const Recording& r) const { return songs[r.from]; }
};

struct Composer {
    QString name; // the commonest spelling
    QVector<Work> works; // in catalogue order, then by title
    int recordings() const;
};

// A recording as the grids show it, read from its songs' rows.
struct Shown {
    QString cd; // CD名, and the performers, as its first song has them
    QString conductor;
    QString ensemble;
    QString soloist;
    QString recorded; // 録音年月日
    QVector<qint64> rowids; // the songs', in stored order
    QStringList movements; // each song's movement part, or its title where it has none
    QVector<int> seconds; // each song's 録音時間 in seconds, -1 where none is readable
    int totalSeconds() const; // -1 when no song's time is readable
};

// The works of some songs, with the rows they were gathered from.
struct Catalogue {
    QVector<Composer> composers; // in Japanese order of names
    // A recording's songs are places among the rows gathered from: a view's
    // (kept here, as the view may move on) or others the caller holds.
    Snapshot kept;
    std::vector<const Row*> rows; // when gathered from rows of no view

    const Row* row(int place) const
    {
        return kept.empty() ? rows[size_t(place)] : kept[size_t(place)].get();
    }
    // The recordings of one work, read from their rows: each distinct title
    // is recognised once, as a work of hundreds of recordings repeats them.
    QVector<Shown> show(const Work& w) const;
};

// Every composer with the works recorded in these songs (null rows are
// passed over), a composer under the name of his name group when `joins`
// are given. Songs without a composer are gathered under an empty name.
Catalogue gather(std::vector<const Row*> rows, const names::Joins* joins = nullptr);
// The same from a view's rows, which the catalogue then holds; given up
// (no composer) once `stop` is set.
Catalogue gather(const Snapshot& rows, const names::Joins* joins = nullptr,
                 const std::atomic<bool>* stop = nullptr);

// 録音時間 in seconds: "7:32", "07:32", "1:02:03", "7分32秒", "7'32\"";
// -1 when it is none of these.
int durationSeconds(QStringView typed);
// Seconds as m:ss (h:mm:ss from an hour on); empty for -1.
QString durationText(int seconds);

} // namespace works
