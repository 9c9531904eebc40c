#pragma once

#include "jacketfiles.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

class Connection;

// The changes made to the collection, kept in the file beside its tables (the
// newest 2,000), each of which can be taken back and done again: a save or a
// delete with what it carried along, a name unification, an import.
namespace history {

// The tables that keep them.
const QStringList& tableStatements();

// Notes, from now on, every row this connection changes in the collection's
// tables, so that each transaction it commits becomes one change.
void startLogging(Connection& cn);
// Files what the running transaction changed as one change of `kind` (named
// from its rows when empty); nothing when it changed no row.
void fileChange(Connection& cn, const QString& kind);
// A CD's picture changed in the running transaction, a row of its change:
// taken back, the picture it found comes back from the trash.
void noteJacket(Connection& cn, const jacket::Replaced& r);
// An import, as one change that says how to take it back.
void fileImport(Connection& cn, const QString& kind, const QString& note);
// What an import of so many CDs and songs says of itself; `more` names what
// else came with them (評価 2件・貸出 1件), if anything did.
QString importNote(qsizetype cds, qsizetype songs, const QString& more = {});

struct Change {
    enum State { Done = 0, Undone = 1, NoRedo = 2, NotUndoable = 3 };
    qint64 id = -1;
    QDateTime when;
    QString kind;
    QString touched; // the CDs and songs it touched, or how to take an import back
    State state = Done;
};
// Newest first.
QVector<Change> list(Connection& cn);
// A change's state in words, each state its own (済み, 元に戻した, ...).
QString stateText(Change::State state);
// The change 元に戻す takes back (an import refuses), and the one やり直し
// does again; -1 for none.
qint64 toUndo(Connection& cn);
qint64 toRedo(Connection& cn);
// Takes the change back, or does it again, in one transaction. Refused with
// DbError naming the row when a row it touched was changed since; nothing is
// then written.
void undo(Connection& cn, qint64 id);
void redo(Connection& cn, qint64 id);
// The CD and song a change touched first, as the collector looks for them
// after taking it back or doing it again: their CDID and 曲ID, null for none.
struct Touched {
    QVariant cdid, songId;
};
Touched touched(Connection& cn, qint64 id);

} // namespace history
