// The collection's safety net in the window: restoring a backup on request
// or in place of a damaged file, and noticing a file replaced or removed.
#include "frmmain.h"

#include "startup.h"
#include "store/backup.h"
#include "store/collection.h"
#include "store/dberror.h"
#include "widgets/longwork.h"
#include "widgets/msgbox.h"

#include <QFileInfo>
#include <QInputDialog>
#include <QLocale>

namespace {

QString describe(const backup::Copy& c)
{
    const QString when = c.made.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
    if (!c.damage.isEmpty())
        return when + QStringLiteral("　（%1：復元できません）").arg(c.damage);
    return QStringLiteral("%1　CD %2枚・曲 %3曲").arg(when).arg(c.cds).arg(c.songs);
}

// The newest copy that can be restored, or null.
const backup::Copy* newestWhole(const QList<backup::Copy>& copies)
{
    for (const backup::Copy& c : copies)
        if (c.damage.isEmpty())
            return &c;
    return nullptr;
}

QString restored(const backup::Copy& copy, const QString& replaced)
{
    QString text
        = QStringLiteral("復元しました（CD %1枚・曲 %2曲）。").arg(copy.cds).arg(copy.songs);
    if (!replaced.isEmpty())
        text += QStringLiteral("\rいままでのファイルは「%1」として残しています。").arg(replaced);
    return text;
}

} // namespace

void frmMain::openCollection()
{
    // An import that failed leaves no collection file, and no empty one is
    // made in its place: the window shows no data and the offer comes again.
    if (offerLegacyImport(db) == LegacyOffer::Failed)
        throw DbError(DbError::ProviderError, QString()); // the user has read why
    try {
        db.OpenDataContext();
    } catch (const DbError& e) {
        if (e.number() != DbError::Damaged)
            throw;
        const QList<backup::Copy> copies = backup::list(db.databasePath());
        const backup::Copy* copy = newestWhole(copies);
        if (!copy)
            throw;
        const QString question = e.description()
            + QStringLiteral("\r\r最新のバックアップ（%1）から復元しますか？\r"
                             "壊れたファイルは別の名前で残します。")
                  .arg(describe(*copy));
        if (MsgBox(question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Question)
            != QMessageBox::Yes)
            throw DbError(e.number(), QString()); // the user has read why: nothing more to show
        const QString aside = backup::setAside(db.databasePath());
        backup::restore(copy->path, db.databasePath());
        db.OpenDataContext();
        MsgBox(QStringLiteral("バックアップから復元しました（CD %1枚・曲 "
                              "%2曲）。\r壊れたファイルは「%3」として残しています。")
                   .arg(copy->cds)
                   .arg(copy->songs)
                   .arg(aside));
    }
}

// The window drops what it shows. A damaged file is opened again, which
// offers the newest backup where there is one; any other failure is told.
void frmMain::collectionUnreadable(const DbError& error)
{
    showNoData();
    if (error.number() == DbError::Damaged) {
        reset();
        return;
    }
    if (!error.description().isEmpty())
        MsgBox(error.description());
}

void frmMain::showNoData()
{
    db.CloseDataContext();
    db.rsCDList.reset();
    DataGrid1->setDataSource(nullptr);
    DataGrid2->setDataSource(nullptr);
    for (int i = 0; i < 22; ++i)
        txtrs(i)->bind(nullptr, QString());
    txtrsDamie->bind(nullptr, QString());
    txtrsSubDamie->bind(nullptr, QString());
    setCounter(0, 0, 0);
    setCounter(3, 0, 0);
}

void frmMain::mnuRestore_Click()
{
    const QList<backup::Copy> copies = backup::list(db.databasePath());
    if (copies.isEmpty()) {
        MsgBox(
            QStringLiteral("バックアップがありません。\rバックアップは、データを初めて保存する前に"
                           "「backup」フォルダーへ自動で作られます。"));
        return;
    }
    QStringList items;
    for (const backup::Copy& c : copies)
        items << describe(c);
    bool chosen = false;
    const QString item = QInputDialog::getItem(
        this, QStringLiteral("バックアップから復元"),
        QStringLiteral("復元するバックアップを選んでください："), items, 0, false, &chosen);
    if (!chosen)
        return;
    const backup::Copy& copy = copies.at(items.indexOf(item));
    if (MsgBox(QStringLiteral("コレクションを %1 の状態に戻します。\r"
                              "いまのコレクションは、その前にバックアップします。よろしいですか。")
                   .arg(describe(copy)),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::Question)
        != QMessageBox::Yes)
        return;
    if (!copy.damage.isEmpty()) {
        MsgBox(QStringLiteral("このバックアップは%1。復元できません。\r%2")
                   .arg(copy.damage, copy.path));
        return;
    }
    QString done;
    try {
        if (db.cn)
            db.cn->backupNow();
        showNoData();
        // The file replaced is kept beside it, whether it opened or not.
        const QString target = db.databasePath();
        QString replaced;
        runLongWork(
            this, QStringLiteral("バックアップから復元しています..."),
            [&](const LongWorkProgress&) { replaced = backup::restore(copy.path, target); });
        done = restored(copy, replaced);
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
    reset();
    if (!done.isEmpty())
        MsgBox(done);
}
