#include "folderlock.h"

#include "collection.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSysInfo>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool processGone(qint64 pid)
{
    return pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

// Whether a process holds a lock on the file: a running Rondella holds one on
// its lock file from the moment it makes it. Where the file cannot be opened
// (another user's, mode 000), the kernel's list of locks answers; where that
// cannot be read either, it is taken as held.
bool heldByAnyone(const struct stat& file)
{
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return true;
    // by the inode alone: a device a stacked file system numbers otherwise
    // then errs on the side of a lock held
    const QByteArray entry = ':' + QByteArray::number(qulonglong(file.st_ino)) + ' ';
    return locks.readAll().contains(entry);
}

// Removes a lock file no process holds where QLockFile could not: it removes
// only a lock it can open for writing, and one the program run as another user
// (root) left is not ours to write, while the folder may still let us remove
// it. Returns errno: 0 once removed, EBUSY while it is held.
int removeUnheld(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat before { };
    if (::lstat(name.constData(), &before) != 0)
        return errno;
    if (!S_ISREG(before.st_mode))
        return EBUSY;
    // Holding the file's lock while removing it, as QLockFile does, keeps a
    // second Rondella doing the same from removing the lock the first then makes.
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    bool free = false;
    if (fd >= 0) {
        struct stat opened { };
        free = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0
            && opened.st_ino == before.st_ino && opened.st_dev == before.st_dev;
    } else {
        free = errno == EACCES && !heldByAnyone(before);
    }
    struct stat now { };
    int cause = EBUSY;
    if (free && ::lstat(name.constData(), &now) == 0 && now.st_ino == before.st_ino
        && now.st_dev == before.st_dev)
        cause = ::unlink(name.constData()) == 0 ? 0 : errno;
    if (fd >= 0)
        ::close(fd);
    return cause;
}

} // namespace

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
    // A lock that says nothing readable, or names a process of this machine
    // that has ended, and that no process holds, is stale even where QLockFile
    // cannot remove it.
    int stuck = 0; // why a stale lock stays; 0 when there is none
    if (!locked && lock->error() == QLockFile::LockFailedError
        && (!lock->getLockInfo(&pid, &host, &program)
            || (host == QSysInfo::machineHostName() && processGone(pid)))) {
        stuck = removeUnheld(path);
        if (stuck == 0 || stuck == ENOENT)
            locked = lock->tryLock(0);
        if (stuck == EBUSY || stuck == ENOENT)
            stuck = 0; // held after all, or taken by another: as any lock in use
    }
    if (!locked && stuck != 0) {
        const QFileInfo info(path);
        const QString owner
            = info.owner().isEmpty() ? QString::number(info.ownerId()) : info.owner();
        result.refusal
            = QStringLiteral(
                  "コレクションを開けません。\r（%1）\r"
                  "ロック用のファイル「%2」は、前に動いていた Rondella%3が残した"
                  "古いもので、いまはどの Rondella も使っていません"
                  "（持ち主: ユーザー「%4」）。\r"
                  "このフォルダーに書き込めないため、取り除けません。\r"
                  "ユーザー「%4」でこのファイルを削除するか、フォルダーに書き込めるように"
                  "してから、もう一度起動してください。")
                  .arg(QDir::toNativeSeparators(folder), QDir::toNativeSeparators(path),
                       pid > 0 ? QStringLiteral("（プロセス %1）").arg(pid) : QStringLiteral(" "),
                       owner);
        return result;
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
