#pragma once

#include "connection.h"
#include "view.h"

#include <QVariant>

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

// How many stored CDs bear this title, compared as songs are related to CDs.
int titleCount(Connection& cn, const QString& title);

// The songs that go when the current CD is deleted: those of the child view,
// or none while another CD bears the same title.
int songsGoingWithCurrentCD(Connection& cn, const View& cds, const View& songsOfCD);

// Deletes the current CD, and the songs that go with it, as one transaction.
// The CD view then stands on its last row. A refusal leaves the file as it was
// and the CD view read again, on the same CD; throws DbError.
void deleteCurrentCD(Connection& cn, View& cds, View& songsOfCD);

// Stores the changes into the current CD (one being added, or one stored) as
// one transaction. A correction that changes the title (not only its letter
// case) carries the CD's songs to the new title, unless another CD still bears
// the old one. A refusal leaves the file as it was and the views matching it;
// throws DbError.
void saveCD(Connection& cn, View& cds, View& songsOfCD, const std::vector<FieldChange>& changes,
            bool correction);

// The fields of the song form's CD chooser, and its rows: every CD, the
// largest number first.
const QVector<FieldDef>& cdChoiceFields();
Snapshot readCDChoices(Connection& cn);

} // namespace catalogue
