#include "htmlcommand.h"

#include "reports/htmlexport.h"
#include "store/backup.h"
#include "store/collection.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/folderlock.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <new>

namespace {

void say(FILE* to, const QString& line)
{
    std::fputs(QString(line).replace(u'\r', u'\n').toLocal8Bit().constData(), to);
    std::fputc('\n', to);
    std::fflush(to);
}

} // namespace

int RunExportHtml(const QString& target, const QString& folder)
{
    const QString file = QDir(folder).filePath(QString::fromUtf16(kDatabaseFile));
    if (!QFileInfo(folder).isDir()) {
        say(stderr,
            QStringLiteral("使い方: rondella --export-html 書き出し先のフォルダー "
                           "[--collection コレクションのフォルダー]"));
        return 2;
    }
    // an export is of a collection that is there: none is made for it
    if (!QFileInfo(file).isFile()) {
        say(stderr,
            QStringLiteral("「%1」にコレクション（%2）がありません。")
                .arg(folder, QString::fromUtf16(kDatabaseFile)));
        return 1;
    }
    const FolderLock held = lockCollectionFolder(folder);
    if (!held.refusal.isEmpty()) {
        say(stderr, held.refusal);
        return 1;
    }
    backup::removeLeftovers(file);
    try {
        Connection cn(file);
        const htmlexport::Written written = htmlexport::write(cn, folder, target);
        for (const QString& line : written.unreadable)
            say(stdout, QStringLiteral("読めなかったジャケット写真：%1").arg(line));
        say(stdout,
            QStringLiteral("HTML目録を書き出しました：%1（CD %2枚、ジャケット写真 %3枚）")
                .arg(QDir::cleanPath(QDir::current().absoluteFilePath(target)))
                .arg(written.cds)
                .arg(written.jackets));
        return 0;
    } catch (const DbError& e) {
        say(stderr, e.description());
        return 1;
    } catch (const std::bad_alloc&) {
        say(stderr, QStringLiteral("メモリが足りません。HTML目録は書き出していません。"));
        return 1;
    }
}
