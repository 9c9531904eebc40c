// The file commands: bringing the old program's collection, CSV files or ripped music in,
// writing CSV files, restoring a backup, and opening the collection (with
// the newest backup offered in place of a damaged file).
#include "filecommands.h"

#include "audiochoice.h"
#include "audiocommands.h"
#include "othercatalogues.h"
#include "otherimportchoice.h"
#include "reports/htmlexport.h"
#include "store/audioimport.h"
#include "store/backup.h"
#include "store/collection.h"
#include "store/connection.h"
#include "store/csvtransfer.h"
#include "store/dberror.h"
#include "store/discogsimport.h"
#include "store/importer.h"
#include "store/tellico.h"
#include "widgets/longwork.h"
#include "widgets/msgbox.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLocale>

FileCommands::FileCommands(Collection& collection, QWidget* window, std::function<void()> reset,
                           std::function<void()> showNoData)
    : QObject(window), db(collection), m_window(window), m_reset(std::move(reset)),
      m_showNoData(std::move(showNoData))
{
}

// The work runs on a thread of its own, on a connection of its own to the
// collection's file: the window's connection belongs to the window's thread.
void FileCommands::onOwnConnection(
    const QString& label, const std::function<void(Connection&, const LongWorkProgress&)>& work)
{
    Collection::OwnConnection own = db.ownConnection();
    try {
        runLongWork(m_window, label, [&](const LongWorkProgress& progress) {
            Connection cn(own.path, Connection::Check::Now, &own.memory);
            work(cn, progress);
        });
    } catch (...) {
        db.learnFrom(own);
        throw;
    }
    db.learnFrom(own);
}

namespace {

// What could not be read, for the end of a report: the first ten lines.
QString unreadableLines(const QStringList& lines)
{
    if (lines.isEmpty())
        return QString();
    QString text = QStringLiteral("\r\r読めなかったもの：\r") + lines.mid(0, 10).join(u'\r');
    if (lines.size() > 10)
        text += QStringLiteral("\r…ほか %1 件").arg(lines.size() - 10);
    return text;
}

// What was read otherwise than it stands, for the end of a report.
QString warningLines(const QStringList& lines)
{
    if (lines.isEmpty())
        return QString();
    QString text = QStringLiteral("\r\r注意：\r") + lines.mid(0, 10).join(u'\r');
    if (lines.size() > 10)
        text += QStringLiteral("\r…ほか %1 件").arg(lines.size() - 10);
    return text;
}

// The rows an import passed by, each with why, for the end of a report.
QString skippedLines(const QStringList& lines)
{
    if (lines.isEmpty())
        return QString();
    QString text = QStringLiteral("\r\r飛ばした行：\r") + lines.mid(0, 10).join(u'\r');
    if (lines.size() > 10)
        text += QStringLiteral("\r…ほか %1 行").arg(lines.size() - 10);
    return text;
}

const QString reading = QStringLiteral("旧データベースを読み込んでいます...");
const QString writing = QStringLiteral("コレクションを作っています...");

} // namespace

LegacyOffer offerLegacyImport(Collection& db)
{
    const QDir folder(db.strAppPath());
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

void FileCommands::mnuImport_Click()
{
    const QString mdb = QFileDialog::getOpenFileName(
        m_window, QStringLiteral("旧データベースの取り込み"), db.strAppPath(),
        QStringLiteral("旧データベース (*.mdb);;すべてのファイル (*)"));
    if (mdb.isEmpty())
        return;
    try {
        importer::Rows rows;
        runLongWork(m_window, reading, [&](const LongWorkProgress& progress) {
            rows = importer::readLegacy(mdb, progress);
        });
        bringIn(rows, mdb, true);
    } catch (const DbError& e) {
        if (e.number() != LegacyReader::Cancelled || !e.description().isEmpty())
            MsgBox(e.description());
    }
    m_reset();
}

// Rows read from elsewhere join the collection or replace it: a collection
// that holds rows is asked which (replacing backs it up first). The counts are
// shown before anything is written. Returns whether the rows were brought in;
// throws DbError.
bool FileCommands::bringIn(const importer::Rows& rows, const QString& source, bool confirmIntoEmpty)
{
    const bool hasRows = db.isOpen()
        && ((db.cds() && db.cds()->isOpen() && db.cds()->recordCount() > 0)
            || (db.songs() && db.songs()->isOpen() && db.songs()->recordCount() > 0));
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
        if (db.isOpen())
            db.connection().backupNow();
        m_showNoData();
        const QString target = db.databasePath();
        runLongWork(m_window, writing, [&](const LongWorkProgress& progress) {
            importer::writeCollection(target, rows, true, progress);
        });
    } else {
        db.connection(); // refuses when no collection is open
        onOwnConnection(
            QStringLiteral("コレクションに追加しています..."),
            [&](Connection& cn, const LongWorkProgress&) { importer::addToCollection(cn, rows); });
    }
    return true;
}

// The whole collection as files of its tables (cdname.csv, kyoku.csv, the
// name groups, stars, loans, wishes and the history) in a folder the user
// picks; files of those names already there are replaced only if asked.
void FileCommands::mnuCsvExport_Click()
{
    const QString folder = QFileDialog::getExistingDirectory(
        m_window, QStringLiteral("CSVの書き出し先のフォルダー"), db.strAppPath());
    if (folder.isEmpty())
        return;
    QStringList there;
    for (const QString& name : csv::exportFileNames())
        if (QFileInfo::exists(QDir(folder).filePath(name)))
            there << name;
    if (!there.isEmpty()
        && MsgBox(QStringLiteral("「%1」に %2 がすでにあります。置き換えますか？")
                      .arg(folder, there.join(QStringLiteral("、"))),
                  QMessageBox::Yes | QMessageBox::No, QMessageBox::Question)
            != QMessageBox::Yes)
        return;
    try {
        db.connection(); // refuses when no collection is open
        QStringList written;
        onOwnConnection(QStringLiteral("CSVを書き出しています..."),
                        [&](Connection& cn, const LongWorkProgress&) {
                            written = csv::exportCollection(cn, folder);
                        });
        MsgBox(QStringLiteral("書き出しました。\r%1").arg(written.join(u'\r')));
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}

// The whole collection as an HTML catalogue for a browser, in a folder the
// user picks: an empty one, or a catalogue written before, which is
// replaced only once the new one is whole.
void FileCommands::mnuExportHtml_Click()
{
    const QString folder = QFileDialog::getExistingDirectory(
        m_window, QStringLiteral("HTML目録の書き出し先（空のフォルダーか、前に書き出した目録）"),
        db.strAppPath());
    if (folder.isEmpty())
        return;
    try {
        db.connection(); // refuses when no collection is open
        htmlexport::Written written;
        onOwnConnection(QStringLiteral("HTML目録を書き出しています..."),
                        [&](Connection& cn, const LongWorkProgress& progress) {
                            written = htmlexport::write(cn, db.strAppPath(), folder, progress);
                        });
        MsgBox(QStringLiteral("HTML目録を書き出しました（CD %1枚、ジャケット写真 %2枚）。\r"
                              "「%3」の index.html をブラウザーで開いてください。%4")
                   .arg(written.cds)
                   .arg(written.jackets)
                   .arg(QDir::toNativeSeparators(folder), unreadableLines(written.unreadable)));
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}

// What the window lists now, in its order, as one file: the found songs in a
// song search or the all-songs display, otherwise the CDs on the left.
void FileCommands::mnuCsvExportShown_Click(bool songsShown)
{
    const QString path = QFileDialog::getSaveFileName(
        m_window, QStringLiteral("表示中の一覧をCSVに書き出す"),
        QDir(db.strAppPath()).filePath(QStringLiteral("一覧.csv")), QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    try {
        // The list is read here, where its view lives; the file is written beside the window.
        const QByteArray text = csv::writeView(need(songsShown ? db.songs() : db.cds()));
        runLongWork(m_window, QStringLiteral("CSVを書き出しています..."),
                    [&](const LongWorkProgress&) { csv::save(path, text); });
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}

// The two files of an export (CDs, then songs) join the collection, and the
// files of its extra tables found beside the CDs' (name groups, stars, loans,
// wishes): every line checked first, then all rows in one transaction, or none.
void FileCommands::mnuCsvImport_Click()
{
    const QString cdFile = QFileDialog::getOpenFileName(
        m_window, QStringLiteral("CDのCSV（cdname.csv）を選んでください"), db.strAppPath(),
        QStringLiteral("CSV (*.csv);;すべてのファイル (*)"));
    if (cdFile.isEmpty())
        return;
    const QString songFile = QFileDialog::getOpenFileName(
        m_window, QStringLiteral("曲のCSV（kyoku.csv）を選んでください"),
        QFileInfo(cdFile).absolutePath(), QStringLiteral("CSV (*.csv);;すべてのファイル (*)"));
    if (songFile.isEmpty())
        return;
    try {
        db.connection(); // refuses when no collection is open
        importer::Rows rows;
        runLongWork(m_window, QStringLiteral("CSVを読み込んでいます..."),
                    [&](const LongWorkProgress&) { rows = csv::readFiles(cdFile, songFile); });
        const QString extras = importer::extrasText(rows);
        if (bringIn(rows, cdFile, false))
            MsgBox(QStringLiteral("CD %1枚・曲 %2曲%3を取り込みました。")
                       .arg(rows.cds.size())
                       .arg(rows.songs.size())
                       .arg(extras.isEmpty() ? QString() : u"・" + extras));
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
    m_reset();
}

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

void FileCommands::openCollection()
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

void FileCommands::mnuRestore_Click()
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
        m_window, QStringLiteral("バックアップから復元"),
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
        if (db.isOpen())
            db.connection().backupNow();
        m_showNoData();
        // The file replaced is kept beside it, whether it opened or not.
        const QString target = db.databasePath();
        QString replaced;
        runLongWork(
            m_window, QStringLiteral("バックアップから復元しています..."),
            [&](const LongWorkProgress&) { replaced = backup::restore(copy.path, target); });
        done = restored(copy, replaced);
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
    m_reset();
    if (!done.isEmpty())
        MsgBox(done);
}

// Albums of ripped music files under a folder the user picks: every album is
// listed to tick, those of a CD名 already stored marked; the ticked ones are
// added in one transaction, or none when stopped; then what could not be read.
void FileCommands::mnuAudioImport_Click()
{
    const QString folder = QFileDialog::getExistingDirectory(
        m_window, QStringLiteral("音楽ファイルのフォルダーを選んでください"), db.strAppPath());
    if (folder.isEmpty())
        return;
    try {
        db.connection(); // refuses when no collection is open
        audio::Found found;
        runLongWork(
            m_window, QStringLiteral("音楽ファイルを読んでいます..."),
            [&](const LongWorkProgress& progress) { found = audio::findAlbums(folder, progress); });
        if (found.albums.isEmpty()) {
            MsgBox(QStringLiteral("「%1」に取り込める音楽ファイルはありませんでした。%2")
                       .arg(QDir::toNativeSeparators(folder),
                            unreadableLines(found.unreadable) + warningLines(found.warnings)));
            return;
        }
        AudioChoiceDialog choice(
            found.albums, [this](const QString& title) { return db.CDNameExists(title); },
            m_window);
        if (choice.exec() != QDialog::Accepted)
            return;
        QVector<audio::Album> adding;
        for (int i : choice.chosen())
            adding << found.albums.at(i);
        if (adding.isEmpty())
            return;
        QVector<qint64> cdids;
        onOwnConnection(QStringLiteral("コレクションに追加しています..."),
                        [&](Connection& cn, const LongWorkProgress& progress) {
                            cdids = audio::addAlbums(cn, adding, progress);
                        });
        const QStringList covers = storeCovers(db.strAppPath(), adding, cdids);
        int songs = 0;
        for (const audio::Album& a : adding)
            songs += a.tracks.size();
        m_reset();
        MsgBox(QStringLiteral("CD %1枚・曲 %2曲を取り込みました。%3")
                   .arg(adding.size())
                   .arg(songs)
                   .arg(unreadableLines(found.unreadable + covers) + warningLines(found.warnings)));
    } catch (const DbError& e) {
        if (e.number() == LegacyReader::Cancelled)
            MsgBox(QStringLiteral("取り込みをやめました。何も追加していません。"));
        else
            MsgBox(e.description());
    }
}

// A collection exported by Discogs as CSV: the file read and checked whole
// first (a refusal names its lines, nothing added), the choices asked, then
// every CD added in one transaction after the run's backup, or none when
// stopped; the report names the rows passed by and the CDs renamed.
void FileCommands::mnuImportDiscogs_Click()
{
    const QString file = QFileDialog::getOpenFileName(
        m_window, QStringLiteral("Discogs のコレクションのCSVを選んでください"), db.strAppPath(),
        QStringLiteral("CSV (*.csv);;すべてのファイル (*)"));
    if (file.isEmpty())
        return;
    try {
        db.connection(); // refuses when no collection is open
        QVector<discogs::Release> releases;
        runLongWork(m_window, QStringLiteral("CSVを読み込んでいます..."),
                    [&](const LongWorkProgress&) { releases = discogs::readFile(file); });
        int cds = 0;
        for (const discogs::Release& r : releases)
            cds += discogs::hasCD(r.format) ? 1 : 0;
        OtherImportDialog asked(QStringLiteral("Discogs から取り込み"),
                                QStringLiteral("「%1」には %2 行（うちCD %3 行）があります。")
                                    .arg(QDir::toNativeSeparators(file))
                                    .arg(releases.size())
                                    .arg(cds),
                                m_window);
        if (asked.exec() != QDialog::Accepted)
            return;
        discogs::Options options;
        options.allMedia = asked.allMedia();
        options.artistSongs = asked.artistSongs();
        discogs::Outcome outcome;
        onOwnConnection(QStringLiteral("コレクションに追加しています..."),
                        [&](Connection& cn, const LongWorkProgress& progress) {
                            outcome = discogs::add(cn, releases, options, progress);
                        });
        m_reset();
        MsgBox(discogs::summary(outcome) + warningLines(outcome.renamed)
               + skippedLines(outcome.skipped));
    } catch (const DbError& e) {
        if (e.number() == LegacyReader::Cancelled)
            MsgBox(QStringLiteral("取り込みをやめました。何も追加していません。"));
        else
            MsgBox(e.description());
    }
}

// A collection kept in Tellico: the file read whole and its pictures checked
// first (a refusal writes nothing), the choice asked, then every CD added in
// one transaction after the run's backup and the jackets stored; the report
// names the entries passed by and the fields with no place.
void FileCommands::mnuImportTellico_Click()
{
    const QString file = QFileDialog::getOpenFileName(
        m_window, QStringLiteral("Tellico のファイルを選んでください"), db.strAppPath(),
        QStringLiteral("Tellico (*.tc *.bc *.xml);;すべてのファイル (*)"));
    if (file.isEmpty())
        return;
    try {
        db.connection(); // refuses when no collection is open
        tellico::Found found;
        const auto read = [&](bool allMedia) {
            runLongWork(m_window, QStringLiteral("Tellico のファイルを読んでいます..."),
                        [&](const LongWorkProgress&) {
                            found = tellico::read(file, tellico::Options{allMedia});
                            requirePictures(file, found.cds);
                        });
        };
        read(false);
        OtherImportDialog asked(QStringLiteral("Tellico から取り込み"),
                                QStringLiteral("「%1」には項目 %2件（うちCD以外 %3件）があります。")
                                    .arg(QDir::toNativeSeparators(file))
                                    .arg(found.entries)
                                    .arg(found.skipped.size()),
                                m_window);
        asked.offerArtistSongs(false);
        if (asked.exec() != QDialog::Accepted)
            return;
        if (asked.allMedia() && !found.skipped.isEmpty())
            read(true);
        QVector<qint64> cdids;
        onOwnConnection(QStringLiteral("コレクションに追加しています..."),
                        [&](Connection& cn, const LongWorkProgress&) {
                            tellico::takeOwnTitles(found, tellico::storedTitles(cn));
                            cdids = tellico::add(cn, found.cds);
                        });
        const QStringList jackets = storeJackets(db.strAppPath(), found.cds, cdids);
        m_reset();
        MsgBox(tellicoReport(found, jackets));
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}
