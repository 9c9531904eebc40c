#include "folderlock.h"

#include "collection.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QThread>

// One Rondella per collection folder: a second one on the same folder would
// write the same file behind the first one's back. A lock left by a program
// that crashed or was killed is stale and is taken over.
FolderLock lockCollectionFolder(const QString& folder)
{
    FolderLock result;
    const QString path
        = QDir(folder).filePath(QString::fromUtf16(kDatabaseFile) + QStringLiteral(".lock"));
    if (QFileInfo(path).isDir()) {
        result.refusal
            = QStringLiteral(
                  "コレクションを開けません。\rロック用のファイル「%"
                  "1」の名前でフォルダーがあります。\r"
                  "そのフォルダーを移動するか名前を変えてから、もう一度起動してください。")
                  .arg(QDir::toNativeSeparators(path));
        result.inUse = false;
        return result;
    }
    auto lock = std::make_unique<QLockFile>(path);
    lock->setStaleLockTime(0);
    bool locked = lock->tryLock(0);
    qint64 pid = 0;
    QString host, program;
    if (!locked && lock->error() == QLockFile::LockFailedError
        && !lock->getLockInfo(&pid, &host, &program)) {
        // A lock file that says nothing readable (a power cut right after it
        // was made leaves it empty) is held only while its maker keeps it
        // open; a Rondella writing it this very moment gets a second to finish.
        if (QFileInfo(path).size() == 0
            && QFileInfo(path).lastModified().msecsTo(QDateTime::currentDateTime()) < 1000)
            QThread::sleep(1);
        locked = lock->tryLock(0)
            || (!lock->getLockInfo(&pid, &host, &program) && lock->removeStaleLockFile()
                && lock->tryLock(0));
    }
    if (!locked) {
        if (lock->error() == QLockFile::LockFailedError) {
            QString holder;
            if (pid > 0)
                holder = QStringLiteral("\r（コンピューター「%1」のプロセス %2%3）")
                             .arg(host)
                             .arg(pid)
                             .arg(program.isEmpty() ? QString() : QStringLiteral("・") + program);
            result.refusal
                = QStringLiteral(
                      "このフォルダーのコレクションは、別の Rondella で開かれています。\r"
                      "（%1）%2\r開いている Rondella をお使いください。")
                      .arg(QDir::toNativeSeparators(folder), holder);
            result.inUse = true;
            return result;
        }
        // A folder where no lock can be written (read-only): nothing can be
        // written there either, so there is nothing to guard.
        return result;
    }
    result.lock = std::move(lock);
    return result;
}
