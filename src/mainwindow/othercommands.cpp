#include "othercommands.h"

#include "audiocommands.h"
#include "store/backup.h"
#include "store/collection.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/discogsimport.h"
#include "store/folderlock.h"

#include <QDir>
#include <QFileInfo>

#include <new>

int RunImportDiscogs(const QString& file, const QString& folder, const discogs::Options& options)
{
    if (!QFileInfo(file).isFile() || !QFileInfo(folder).isDir()) {
        complain(QStringLiteral("使い方: rondella --import-discogs CSVファイル [--all-media] "
                                "[--artist-songs] [--collection コレクションのフォルダー]"));
        return 2;
    }
    const FolderLock held = lockCollectionFolder(folder);
    if (!held.refusal.isEmpty()) {
        complain(held.refusal);
        return 1;
    }
    const QString collection = QDir(folder).filePath(QString::fromUtf16(kDatabaseFile));
    backup::removeLeftovers(collection);
    try {
        // read and checked whole before the collection is opened: a refused
        // file makes not even the run's backup
        const QVector<discogs::Release> releases = discogs::readFile(file);
        Connection cn(collection);
        const discogs::Outcome outcome = discogs::add(cn, releases, options);
        for (const QString& line : outcome.added)
            say(QStringLiteral("追加しました：%1").arg(line));
        for (const QString& line : outcome.renamed)
            say(QStringLiteral("注意：%1").arg(line));
        for (const QString& line : outcome.skipped)
            say(QStringLiteral("飛ばしました：%1").arg(line));
        say(discogs::summary(outcome));
        return 0;
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
