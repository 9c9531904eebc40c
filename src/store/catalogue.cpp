#include "catalogue.h"

#include "dberror.h"
#include "history.h"
#include "jacketfiles.h"

#include <QFileInfo>

#include <algorithm>

namespace catalogue {

namespace {

// Back on the CD of this number after the view was read again.
void returnTo(View& cds, const QVariant& cdid)
{
    for (int r = 0; r < cds.recordCount(); ++r)
        if (cds.valueAt(r, 0) == cdid)
            cds.moveTo(r);
}

// A save whose transaction failed after the view took the row in (the
// history could not be filed, the commit was refused): the view reads the
// file again and stands where it stood; a row being added is added again
// with what was typed, so that the form can try once more.
void forgetTakenRow(View& view, bool adding, const QString& keyField, const QVariant& key,
                    const std::vector<FieldChange>& changes)
{
    const int keyColumn = view.fieldIndex(keyField);
    view.requery();
    if (!adding) {
        const int row = view.rowOf(keyColumn, key);
        if (row >= 0)
            view.moveTo(row);
        return;
    }
    view.addNew();
    view.setValue(keyColumn, key);
    for (const FieldChange& c : changes)
        view.setValue(c.column, c.value);
}

} // namespace

int titleCount(Connection& cn, const QString& title)
{
    // Nothing the user typed becomes part of the query text: every title is
    // read and folded here, as the songs are related to their CDs.
    const QString key = foldKey(title);
    const QVariantList titles = cn.column(QStringLiteral("SELECT CD名 FROM cdname"));
    return int(std::count_if(titles.cbegin(), titles.cend(), [&key](const QVariant& v) {
        return !v.isNull() && foldKey(v.toString()) == key;
    }));
}

int songsGoingWithCurrentCD(Connection& cn, const View& cds, const View& songsOfCD)
{
    const bool namesake = titleCount(cn, cds.value(QStringLiteral("CD名")).toString()) > 1;
    return namesake ? 0 : songsOfCD.recordCount();
}

namespace {

void requireNoRefusal(const QString& refusal)
{
    if (!refusal.isEmpty())
        throw DbError(RefusedByRule, refusal);
}

} // namespace

QString deleteCDRefusal(const View& cds)
{
    return cds.recordCount() == 1 ? QStringLiteral("このCDは削除できません。訂正してください！")
                                  : QString();
}

QString deleteSongRefusal(const View& songs)
{
    return songs.recordCount() == 1 ? QStringLiteral("この曲は削除できません。訂正してください！")
                                    : QString();
}

QString cdTitleRefusal(const QString& title)
{
    return title.isEmpty() ? QStringLiteral("CD名が入力されていません！") : QString();
}

QString songTitleRefusal(const QString& title)
{
    return title.isEmpty() ? QStringLiteral("曲名が入力されていません！") : QString();
}

QString chosenCDRefusal(const QString& cdTitle)
{
    return cdTitle.isEmpty() ? QStringLiteral("CD名が選択されていません！") : QString();
}

void deleteCurrentCD(Connection& cn, View& cds, View& songsOfCD)
{
    requireNoRefusal(deleteCDRefusal(cds));
    const int songs = songsGoingWithCurrentCD(cn, cds, songsOfCD);
    const QVariant cdid = cds.value(QStringLiteral("CDID"));
    const QString folder = QFileInfo(cn.path()).absolutePath();
    jacket::Replaced trashed;
    try {
        cn.transaction([&] {
            for (int left = songs; left > 0; --left) {
                songsOfCD.moveFirst();
                songsOfCD.remove();
            }
            cds.remove();
            // The deleted CD's picture goes to the jacket trash, unless another
            // CD of the same number (an old database may hold such) still
            // shows it; undoing the deletion brings it back.
            if (!cdid.isNull()
                && cn.column(QStringLiteral("SELECT COUNT(*) FROM cdname WHERE CDID = ?"), {cdid})
                        .value(0)
                        .toLongLong()
                    == 0) {
                try {
                    trashed = jacket::remove(folder, cdid.toLongLong());
                } catch (const DbError&) {
                    // the picture stays where it was: nothing is lost
                }
                history::noteJacket(cn, trashed);
            }
        });
    } catch (const DbError&) {
        jacket::putBack(folder, trashed);
        // nothing was deleted: the views read the file again
        cds.requery();
        returnTo(cds, cdid);
        throw;
    }
    if (cds.recordCount() > 0)
        cds.moveLast();
}

void saveCD(Connection& cn, View& cds, View& songsOfCD, const std::vector<FieldChange>& changes,
            bool correction, const std::function<void()>& alongside)
{
    const int titleColumn = cds.fieldIndex(QStringLiteral("CD名"));
    const auto newTitle = std::find_if(changes.begin(), changes.end(), [&](const FieldChange& c) {
        return c.column == titleColumn;
    });
    bool takeSongs = false;
    if (correction && newTitle != changes.end()) {
        const QString oldTitle = cds.value(titleColumn).toString();
        takeSongs = foldKey(newTitle->value.toString()) != foldKey(oldTitle)
            && titleCount(cn, oldTitle) == 1;
    }
    const QVariant cdid = cds.value(QStringLiteral("CDID"));
    const bool adding = cds.editMode() == View::EditMode::Add;
    try {
        cn.transaction([&] {
            if (takeSongs) {
                for (int r = 0; r < songsOfCD.recordCount(); ++r) {
                    songsOfCD.moveTo(r);
                    songsOfCD.setValue(QStringLiteral("CD名"), newTitle->value);
                    songsOfCD.update();
                }
            }
            for (const FieldChange& c : changes)
                cds.setValue(c.column, c.value);
            cds.update();
            if (alongside)
                alongside();
        });
    } catch (const DbError&) {
        // The file is as it was; the views are made to match it again.
        const bool taken = cds.editMode() == View::EditMode::None;
        if (cds.editMode() == View::EditMode::InProgress)
            cds.cancelUpdate();
        if (takeSongs) {
            songsOfCD.cancelUpdate();
            cds.requery();
            returnTo(cds, cdid);
        } else if (taken) {
            forgetTakenRow(cds, adding, QStringLiteral("CDID"), cdid, changes);
        }
        throw;
    }
}

void requireStoredTitle(Connection& cn, const QString& cdTitle)
{
    if (titleCount(cn, cdTitle) == 0)
        throw DbError(RefusedTitle,
                      QStringLiteral("「%1」という名前のCDは登録されていません。\rCD名は一覧から"
                                     "選んでください。")
                          .arg(cdTitle));
}

void saveSong(Connection& cn, View& songs, const QString& cdTitle,
              const std::vector<FieldChange>& changes)
{
    requireStoredTitle(cn, cdTitle);
    const bool adding = songs.editMode() == View::EditMode::Add;
    const QVariant songId = songs.value(QStringLiteral("曲ID"));
    try {
        cn.transaction([&] {
            if (songs.value(QStringLiteral("CD名")).toString() != cdTitle)
                songs.setValue(QStringLiteral("CD名"), cdTitle);
            for (const FieldChange& c : changes)
                songs.setValue(c.column, c.value);
            songs.update();
        });
    } catch (const DbError&) {
        const bool taken = songs.editMode() == View::EditMode::None;
        if (songs.editMode() == View::EditMode::InProgress)
            songs.cancelUpdate();
        if (taken) {
            std::vector<FieldChange> typed = changes;
            typed.push_back({songs.fieldIndex(QStringLiteral("CD名")), cdTitle});
            forgetTakenRow(songs, adding, QStringLiteral("曲ID"), songId, typed);
        }
        throw;
    }
}

void deleteCurrentSong(Connection& cn, View& songs)
{
    requireNoRefusal(deleteSongRefusal(songs));
    cn.transaction([&] { songs.remove(); });
    songs.moveNext();
    if (songs.eof())
        songs.moveLast();
}

QString copySongBefore(View& songs)
{
    const int before = songs.position() - 1;
    if (before < 0)
        throw DbError::noCurrentRow();
    // every field after 曲ID, from 曲名 to the last (分野)
    const int titleColumn = songs.fieldIndex(QStringLiteral("CD名"));
    const int idColumn = songs.fieldIndex(QStringLiteral("曲ID"));
    songs.setValue(titleColumn, songs.valueAt(before, titleColumn));
    for (int c = idColumn + 1; c < songs.fieldCount(); ++c)
        songs.setValue(c, songs.valueAt(before, c));
    return songs.valueAt(before, titleColumn).toString();
}

const QVector<FieldDef>& cdChoiceFields()
{
    static const QVector<FieldDef> fields{{QStringLiteral("CDID"), FieldType::Integer, 4, true},
                                          {QStringLiteral("CD名"), FieldType::Text, 100, true}};
    return fields;
}

Snapshot readCDChoices(Connection& cn)
{
    return cn.read(QStringLiteral("SELECT rowid, CDID, CD名 FROM cdname ORDER BY CDID desc"),
                   cdChoiceFields());
}

} // namespace catalogue
