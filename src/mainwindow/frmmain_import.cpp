// Bringing the old program's collection in: at start-up when only the old
// file is there, and from the ファイル menu into any collection.
#include "frmmain.h"

#include "startup.h"
#include "store/collection.h"
#include "store/csvtransfer.h"
#include "store/dberror.h"
#include "store/importer.h"
#include "widgets/longwork.h"
#include "widgets/msgbox.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace {

const QString reading = QStringLiteral("旧データベースを読み込んでいます...");
const QString writing = QStringLiteral("コレクションを作っています...");

} // namespace

LegacyOffer offerLegacyImport(Collection& db)
{
    const QDir folder(db.strAppPath);
    const QString mdb = folder.filePath(QStringLiteral("cdkaisou.mdb"));
    if (QFileInfo::exists(db.databasePath()) || !QFileInfo::exists(mdb))
        return LegacyOffer::None;
    // Read whole before asking, so that the question gives the rows that
    // will arrive and a damaged file is refused before anything is asked.
    importer::Rows rows;
    try {
        runLongWork(nullptr, reading, [&](const LongWorkProgress& progress) {
            rows = importer::readLegacy(mdb, progress);
        });
    } catch (const DbError& e) {
        if (e.number() != LegacyReader::Cancelled)
            MsgBox(e.description());
        return LegacyOffer::Failed;
    }
    if (MsgBox(
            QStringLiteral("旧データベース「%1」があります（CD %2枚・曲 %3曲）。\r"
                           "このコレクションに取り込みますか？\r（旧データベースは変更しません）")
                .arg(mdb)
                .arg(rows.cds.size())
                .arg(rows.songs.size()),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Question)
        != QMessageBox::Yes)
        return LegacyOffer::Declined;
    try {
        const QString target = db.databasePath();
        runLongWork(nullptr, writing, [&](const LongWorkProgress& progress) {
            importer::writeCollection(target, rows, false, progress);
        });
    } catch (const DbError& e) {
        if (e.number() != LegacyReader::Cancelled)
            MsgBox(e.description());
        return LegacyOffer::Failed;
    }
    return LegacyOffer::Imported;
}

void frmMain::mnuImport_Click()
{
    const QString mdb = QFileDialog::getOpenFileName(
        this, QStringLiteral("旧データベースの取り込み"), db.strAppPath,
        QStringLiteral("旧データベース (*.mdb);;すべてのファイル (*)"));
    if (mdb.isEmpty())
        return;
    try {
        importer::Rows rows;
        runLongWork(this, reading, [&](const LongWorkProgress& progress) {
            rows = importer::readLegacy(mdb, progress);
        });
        bringIn(rows, mdb, true);
    } catch (const DbError& e) {
        if (e.number() != LegacyReader::Cancelled || !e.description().isEmpty())
            MsgBox(e.description());
    }
    reset();
}

// Rows read from elsewhere join the collection or replace it: a collection
// that holds rows is asked which (replacing backs it up first). The counts are
// shown before anything is written. Returns whether the rows were brought in;
// throws DbError.
bool frmMain::bringIn(const importer::Rows& rows, const QString& source, bool confirmIntoEmpty)
{
    const bool hasRows = db.cn
        && ((db.rsCD && db.rsCD->isOpen() && db.rsCD->recordCount() > 0)
            || (db.rsKyoku && db.rsKyoku->isOpen() && db.rsKyoku->recordCount() > 0));
    bool replace = true;
    if (hasRows) {
        const auto answer = MsgBox(
            QStringLiteral("このコレクションにはすでにデータがあります。\r"
                           "取り込む %1 枚のCDと %2 曲で、いまのデータを置き換えますか？\r\r"
                           "はい：置き換える（いまのデータはバックアップします）\r"
                           "いいえ：いまのデータに追加する")
                .arg(rows.cds.size())
                .arg(rows.songs.size()),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Question);
        if (answer == QMessageBox::Cancel)
            return false;
        replace = answer == QMessageBox::Yes;
    } else if (confirmIntoEmpty
               && MsgBox(
                      QStringLiteral("「%1」から CD %2枚・曲 %3曲を取り込みます。よろしいですか？")
                          .arg(source)
                          .arg(rows.cds.size())
                          .arg(rows.songs.size()),
                      QMessageBox::Yes | QMessageBox::No, QMessageBox::Question)
                   != QMessageBox::Yes) {
        return false;
    }
    if (replace) {
        if (db.cn)
            db.cn->backupNow();
        showNoData();
        const QString target = db.databasePath();
        runLongWork(this, writing, [&](const LongWorkProgress& progress) {
            importer::writeCollection(target, rows, true, progress);
        });
    } else {
        if (!db.cn)
            throw DbError(3709, QStringLiteral("コレクションのデータベースが開かれていません。"));
        importer::addToCollection(*db.cn, rows);
    }
    return true;
}

// The whole collection as two files, cdname.csv and kyoku.csv, in a folder the
// user picks; files of those names already there are replaced only if asked.
void frmMain::mnuCsvExport_Click()
{
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("CSVの書き出し先のフォルダー"), db.strAppPath);
    if (folder.isEmpty())
        return;
    const QDir dir(folder);
    const QString cdFile = dir.filePath(QStringLiteral("cdname.csv"));
    const QString songFile = dir.filePath(QStringLiteral("kyoku.csv"));
    if ((QFileInfo::exists(cdFile) || QFileInfo::exists(songFile))
        && MsgBox(
               QStringLiteral("「%1」に cdname.csv か kyoku.csv がすでにあります。置き換えますか？")
                   .arg(folder),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::Question)
            != QMessageBox::Yes)
        return;
    try {
        if (!db.cn)
            throw DbError(3709, QStringLiteral("コレクションのデータベースが開かれていません。"));
        csv::exportCollection(*db.cn, cdFile, songFile);
        MsgBox(QStringLiteral("書き出しました。\r%1\r%2").arg(cdFile, songFile));
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}

// What the window lists now, in its order, as one file: the found songs in a
// song search or the all-songs display, otherwise the CDs on the left.
void frmMain::mnuCsvExportShown_Click()
{
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("表示中の一覧をCSVに書き出す"),
        QDir(db.strAppPath).filePath(QStringLiteral("一覧.csv")), QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    try {
        const View& shown = need(isUnlinked() ? db.rsKyoku : db.rsCD);
        csv::save(path, csv::writeView(shown));
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}

// The two files of an export (CDs, then songs) join the collection: every
// line checked first, then all rows in one transaction, or none.
void frmMain::mnuCsvImport_Click()
{
    const QString cdFile = QFileDialog::getOpenFileName(
        this, QStringLiteral("CDのCSV（cdname.csv）を選んでください"), db.strAppPath,
        QStringLiteral("CSV (*.csv);;すべてのファイル (*)"));
    if (cdFile.isEmpty())
        return;
    const QString songFile = QFileDialog::getOpenFileName(
        this, QStringLiteral("曲のCSV（kyoku.csv）を選んでください"),
        QFileInfo(cdFile).absolutePath(), QStringLiteral("CSV (*.csv);;すべてのファイル (*)"));
    if (songFile.isEmpty())
        return;
    try {
        if (!db.cn)
            throw DbError(3709, QStringLiteral("コレクションのデータベースが開かれていません。"));
        importer::Rows rows;
        runLongWork(this, QStringLiteral("CSVを読み込んでいます..."),
                    [&](const LongWorkProgress&) { rows = csv::readFiles(cdFile, songFile); });
        if (bringIn(rows, cdFile, false))
            MsgBox(QStringLiteral("CD %1枚・曲 %2曲を取り込みました。")
                       .arg(rows.cds.size())
                       .arg(rows.songs.size()));
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
    reset();
}
