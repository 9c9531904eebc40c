#include "audiocommands.h"

#include "store/audioimport.h"
#include "store/backup.h"
#include "store/catalogue.h"
#include "store/collection.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/folderlock.h"
#include "widgets/jacketbox.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <cstdio>
#include <new>

void say(const QString& line)
{
    // a report's lines are parted as a message box parts them
    std::fputs(QString(line).replace(u'\r', u'\n').toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void complain(const QString& line)
{
    std::fputs(QString(line).replace(u'\r', u'\n').toLocal8Bit().constData(), stderr);
    std::fputc('\n', stderr);
}

QStringList storePictures(const QString& collectionFolder, const QVector<BroughtPicture>& pictures,
                          const QVector<qint64>& cdids)
{
    QStringList failed;
    for (qsizetype i = 0; i < pictures.size() && i < cdids.size(); ++i) {
        if (pictures.at(i).bytes.isEmpty())
            continue;
        // read as a picture chosen for the jacket is: whole, upright, scaled while read
        QString why;
        const QImage picture = jacket::decodePicture(pictures.at(i).bytes, &why);
        try {
            if (picture.isNull())
                throw DbError(DbError::TypeMismatch,
                              QStringLiteral("画像として読めません（%1）").arg(why));
            jacket::storePicture(collectionFolder, cdids.at(i), picture);
        } catch (const DbError& e) {
            failed << QStringLiteral("「%1」のジャケット写真：%2")
                          .arg(pictures.at(i).title, e.description());
        }
    }
    return failed;
}

QStringList storeCovers(const QString& collectionFolder, const QVector<audio::Album>& albums,
                        const QVector<qint64>& cdids)
{
    QVector<BroughtPicture> pictures;
    for (const audio::Album& album : albums)
        pictures.append({album.title, album.cover});
    return storePictures(collectionFolder, pictures, cdids);
}

int RunOnCollection(const QString& folder, const std::function<int(const QString& file)>& work)
{
    const FolderLock held = lockCollectionFolder(folder);
    if (!held.refusal.isEmpty()) {
        complain(held.refusal);
        return 1;
    }
    const QString file = QDir(folder).filePath(QString::fromUtf16(kDatabaseFile));
    backup::removeLeftovers(file);
    try {
        return work(file);
    } catch (const DbError& e) {
        complain(e.description());
        complain(QStringLiteral("何も追加していません。"));
        return 1;
    } catch (const std::bad_alloc&) {
        // said and ended in order, so that the collection's lock goes too
        complain(QStringLiteral("メモリが足りません。何も追加していません。"));
        return 1;
    }
}

int RunImportAudio(const QString& source, const QString& folder, bool allowDuplicates)
{
    if (!QFileInfo(source).isDir() || !QFileInfo(folder).isDir()) {
        complain(QStringLiteral("使い方: rondella --import-audio 音楽のフォルダー "
                                "[--allow-duplicates] [--collection コレクションのフォルダー]"));
        return 2;
    }
    return RunOnCollection(folder, [&](const QString& file) {
        const audio::Found found = audio::findAlbums(source);
        Connection cn(file);
        QVector<audio::Album> adding;
        int skipped = 0;
        for (const audio::Album& album : found.albums) {
            if (!allowDuplicates && catalogue::titleCount(cn, album.title) > 0) {
                say(QStringLiteral("飛ばしました（同じCD名がすでにあります）：「%1」")
                        .arg(album.title));
                ++skipped;
                continue;
            }
            adding << album;
        }
        const QVector<qint64> cdids = audio::addAlbums(cn, adding);
        int songs = 0;
        for (int i = 0; i < adding.size(); ++i) {
            songs += adding.at(i).tracks.size();
            say(QStringLiteral("追加しました：CDID %1「%2」（%3曲）")
                    .arg(cdids.at(i))
                    .arg(adding.at(i).title)
                    .arg(adding.at(i).tracks.size()));
        }
        const QStringList covers = storeCovers(folder, adding, cdids);
        for (const QString& line : found.unreadable + covers)
            say(QStringLiteral("読めませんでした：%1").arg(line));
        for (const QString& line : found.warnings)
            say(QStringLiteral("注意：%1").arg(line));
        QString summary
            = QStringLiteral("CD %1枚・曲 %2曲を追加しました。同じCD名のため飛ばしたCD %3枚、"
                             "読めなかったファイル %4件。")
                  .arg(adding.size())
                  .arg(songs)
                  .arg(skipped)
                  .arg(found.unreadable.size());
        if (!found.warnings.isEmpty())
            summary += QStringLiteral("注意 %1件。").arg(found.warnings.size());
        say(summary);
        return 0;
    });
}
