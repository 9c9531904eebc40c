#pragma once

#include "connection.h"
#include "view.h"

#include <QVariant>

#include <functional>
#include <vector>

// The rules of the catalogue that hold whichever window asks: a song belongs
// to every CD of its title (letter case ignored in every script), so deleting
// or renaming a CD takes its songs along only while no other CD bears the
// title; every change is one transaction, and a refusal leaves the file and
// the views as they were.
namespace catalogue {

// One field's new value.
struct FieldChange {
    int column;
    QVariant value;
};

// The rules a form asks before it goes on. Each gives the words the
// collector is shown when the step is refused, or an empty text when it may
// go on.
// The last CD and the last song of a collection are corrected, never
// deleted: the grids and forms always have a row to stand on.
QString deleteCDRefusal(const View& cds);
QString deleteSongRefusal(const View& songs);
// A CD is stored with a title, a song with a 曲名 and the CD it belongs to.
QString cdTitleRefusal(const QString& title);
QString songTitleRefusal(const QString& title);
QString chosenCDRefusal(const QString& cdTitle);
// A refusal of these rules, raised when a caller goes on regardless.
inline constexpr int RefusedByRule = 3023;

// How many stored CDs bear this title, compared as songs are related to CDs.
int titleCount(Connection& cn, const QString& title);

// The songs that go when the current CD is deleted: those of the child view,
// or none while another CD bears the same title.
int songsGoingWithCurrentCD(Connection& cn, const View& cds, const View& songsOfCD);

// Deletes the current CD, and the songs that go with it, as one transaction,
// under deleteCDRefusal.
// The CD view then stands on its last row. A refusal leaves the file as it was
// and the CD view read again, on the same CD; throws DbError.
void deleteCurrentCD(Connection& cn, View& cds, View& songsOfCD);

// Stores the changes into the current CD (one being added, or one stored) as
// one transaction. A correction that changes the title (not only its letter
// case) carries the CD's songs to the new title, unless another CD still bears
// the old one. `alongside` runs in the same transaction once the CD is
// written (the view standing on it): what it writes is part of the save, and
// what it throws refuses the whole. A refusal leaves the file as it was and
// the views matching it; throws DbError.
void saveCD(Connection& cn, View& cds, View& songsOfCD, const std::vector<FieldChange>& changes,
            bool correction, const std::function<void()>& alongside = {});

// A song belongs to a CD by its title: a title no stored CD bears would leave
// the song with no CD, and is refused (RefusedTitle).
inline constexpr int RefusedTitle = 3022;
void requireStoredTitle(Connection& cn, const QString& cdTitle);

// Stores the changes into the current song (one being added, or one stored),
// under the CD of title `cdTitle`, as one transaction, after
// requireStoredTitle. A
// refusal leaves the file as it was and the view with no half-made edit;
// throws DbError.
void saveSong(Connection& cn, View& songs, const QString& cdTitle,
              const std::vector<FieldChange>& changes);

// Deletes the current song, under deleteSongRefusal; the view then stands on
// the song after it, or on the last. Throws DbError.
void deleteCurrentSong(Connection& cn, View& songs);

// Fills the song being added with the song before it in the view: its CD and
// every field from 曲名 to 分野 (its 曲ID stays its own). Returns the CD's
// title; throws DbError (NoCurrentRow) when there is no song before it.
QString copySongBefore(View& songs);

// The fields of the song form's CD chooser, and its rows: every CD, the
// largest number first.
const QVector<FieldDef>& cdChoiceFields();
Snapshot readCDChoices(Connection& cn);

} // namespace catalogue
