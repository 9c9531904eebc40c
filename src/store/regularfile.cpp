#include "regularfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace regularfile {

namespace {

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 1);
}

// The refusal for what fstat or stat found, or empty for an ordinary file
// within the limit.
QString refusalOf(const struct stat& st, qint64 maxBytes)
{
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("フォルダです");
    if (S_ISFIFO(st.st_mode))
        return QStringLiteral("通常のファイルではありません（名前付きパイプ）");
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return QStringLiteral("通常のファイルではありません（デバイス）");
    if (S_ISSOCK(st.st_mode))
        return QStringLiteral("通常のファイルではありません（ソケット）");
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("通常のファイルではありません");
    if (maxBytes >= 0 && qint64(st.st_size) > maxBytes)
        return QStringLiteral("ファイルが大きすぎます（%1 MB、上限は %2 MB）")
            .arg(megabytes(st.st_size), megabytes(maxBytes));
    return QString();
}

// Why a file could not be written, for an error number of a write: some
// read as cause() says, others differ for writing.
QString writeCause(int error)
{
    switch (error) {
    case 0:
        return QStringLiteral("原因が分かりません");
    case EACCES:
    case EPERM:
        return QStringLiteral("書き込む権限がありません");
    case ENOENT:
        return QStringLiteral("フォルダがありません");
    case ENOTDIR:
        return QStringLiteral("途中にフォルダでないものがあります");
    case ENOSPC:
    case EDQUOT:
    case EROFS:
    case EIO:
    case ENAMETOOLONG:
    case ELOOP:
    case ENOMEM:
    case EMFILE:
    case ENFILE:
        return cause(error);
    default:
        return QStringLiteral("書き込めません（エラー番号 %1）").arg(error);
    }
}

// Why opening `path` for writing failed: what the folder and the file say
// now (as the user the program runs as sees them), else the error number
// the opening left.
QString openCause(const QString& path, int error)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const QByteArray file = QFile::encodeName(path);
    struct stat st;
    if (::stat(folder.constData(), &st) != 0)
        return writeCause(errno);
    if (!S_ISDIR(st.st_mode))
        return writeCause(ENOTDIR);
    if (::faccessat(AT_FDCWD, folder.constData(), W_OK | X_OK, AT_EACCESS) != 0)
        return writeCause(errno);
    if (::stat(file.constData(), &st) == 0
        && ::faccessat(AT_FDCWD, file.constData(), W_OK, AT_EACCESS) != 0)
        return writeCause(errno);
    return writeCause(error);
}

} // namespace

QString cause(int error)
{
    switch (error) {
    case 0:
        return QString();
    case ENOENT:
        return QStringLiteral("ファイルがありません");
    case EACCES:
    case EPERM:
        return QStringLiteral("読み取る権限がありません");
    case ELOOP:
        return QStringLiteral("リンクが循環しています");
    case ENAMETOOLONG:
        return QStringLiteral("名前が長すぎます");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("ディスクに空きがありません");
    case EROFS:
        return QStringLiteral("読み取り専用のディスクです");
    case EIO:
        return QStringLiteral("ディスクの読み書きに失敗しました");
    case ENOMEM:
        return QStringLiteral("メモリが足りません");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("開いているファイルが多すぎます");
    default:
        return QStringLiteral("読み取れません（エラー番号 %1）").arg(error);
    }
}

QString refusal(const QString& path, qint64 maxBytes)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return cause(errno);
    if (const QString why = refusalOf(st, maxBytes); !why.isEmpty())
        return why;
    if (::access(QFile::encodeName(path).constData(), R_OK) != 0)
        return cause(errno);
    return QString();
}

QByteArray read(const QString& path, qint64 maxBytes, QString* why)
{
    auto fail = [why](const QString& text) {
        if (why)
            *why = text;
        return QByteArray();
    };
    // O_NONBLOCK: opening a FIFO must not wait for a writer. What was opened
    // is then checked itself, so a file swapped after a check is no way round it.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(cause(errno));
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return fail(cause(error));
    }
    if (const QString refused = refusalOf(st, maxBytes); !refused.isEmpty()) {
        ::close(fd);
        return fail(refused);
    }
    // An ordinary file: reading it blocks no longer than the disk takes. It
    // is read no further than the limit, even if it grows meanwhile.
    QByteArray bytes;
    bytes.reserve(qsizetype(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(fd);
            return fail(cause(error));
        }
        if (got == 0)
            break;
        bytes.append(buffer, qsizetype(got));
        if (maxBytes >= 0 && bytes.size() > maxBytes) {
            ::close(fd);
            return fail(
                QStringLiteral("ファイルが大きすぎます（上限は %1 MB）").arg(megabytes(maxBytes)));
        }
    }
    ::close(fd);
    if (why)
        why->clear();
    // an empty file is read as empty, not as null
    return bytes.isNull() ? QByteArray("") : bytes;
}

namespace {

// Writes `bytes` to a temporary file beside the file's place, which takes
// its name on commit(); an empty text when it is whole, else why not (the
// temporary file then goes with the QSaveFile).
QString writeAside(QSaveFile& file, const QByteArray& bytes)
{
    const QString path = file.fileName();
    // A temporary file renamed over a device or a FIFO would replace it.
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode))
        return refusalOf(st, -1);
    // Unbuffered: each write reaches the disk at once, so its error is the
    // one errno and error() tell, not one found later in a flush.
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return openCause(path, errno);
    for (qsizetype done = 0; done < bytes.size();) {
        // a short write is followed by one that says why
        errno = 0;
        const qint64 wrote = file.write(bytes.constData() + done, bytes.size() - done);
        if (wrote <= 0) {
            const int error = errno;
            file.cancelWriting();
            return writeCause(error);
        }
        done += qsizetype(wrote);
    }
    return QString();
}

} // namespace

bool write(const QString& path, const QByteArray& bytes, QString* why)
{
    return writeAll({{path, bytes}}, why);
}

bool writeAll(const QList<std::pair<QString, QByteArray>>& files, QString* why, QString* failed)
{
    auto fail = [&](const QString& path, const QString& text) {
        if (why)
            *why = text;
        if (failed)
            *failed = path;
        return false;
    };
    std::vector<std::unique_ptr<QSaveFile>> written;
    for (const auto& [path, bytes] : files) {
        written.push_back(std::make_unique<QSaveFile>(path));
        if (const QString refused = writeAside(*written.back(), bytes); !refused.isEmpty())
            return fail(path, refused); // the files written aside go with `written`
    }
    for (const auto& file : written) {
        errno = 0;
        if (!file->commit())
            return fail(file->fileName(), openCause(file->fileName(), errno));
    }
    if (why)
        why->clear();
    return true;
}

} // namespace regularfile
