#include "htmlexport.h"

#include "store/dberror.h"
#include "store/htmlcatalogue.h"
#include "store/jacketfiles.h"
#include "widgets/jacketbox.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

// The page's files are compiled into the program rather than installed
// beside it: the page must read the data file exactly as this program writes
// it, and a page left from another version could not.
static void initPageFiles()
{
    Q_INIT_RESOURCE(htmlcatalogue);
}

namespace htmlexport {

namespace {

const QStringList pageFiles
    = {QStringLiteral("index.html"), QStringLiteral("rondella.js"), QStringLiteral("style.css")};

[[noreturn]] void fail(const QString& what, const QString& why)
{
    throw DbError(DbError::ProviderError,
                  QStringLiteral("HTML目録を書き出せません。%1\r原因: %2（書き出し先は"
                                 "元のままです）")
                      .arg(what, why));
}

// A file of the folder being made, on the disk before the folder is named.
void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()
        || ::fsync(file.handle()) != 0)
        fail(QStringLiteral("「%1」を書けません。").arg(path), file.errorString());
}

// Whether the folder holds a catalogue this program wrote (its page names
// the program), or nothing at all: the only folders an export replaces.
bool replaceable(const QString& folder)
{
    const QDir dir(folder);
    if (dir.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
        return true;
    QFile page(dir.filePath(QStringLiteral("index.html")));
    if (!dir.exists(QString::fromUtf16(htmlcatalogue::kDataFile))
        || !page.open(QIODevice::ReadOnly))
        return false;
    return page.read(4096).contains("<meta name=\"generator\" content=\"Rondella\">");
}

// Folders an export cut short left beside the target, by their names.
void removeLeftovers(const QDir& parent, const QString& name)
{
    const QRegularExpression ours(QStringLiteral("^\\.%1\\.part-[A-Za-z0-9]{6}(\\.old)?$")
                                      .arg(QRegularExpression::escape(name)));
    for (const QString& entry :
         parent.entryList({QStringLiteral(".*")}, QDir::Dirs | QDir::Hidden | QDir::NoSymLinks))
        if (ours.match(entry).hasMatch())
            QDir(parent.filePath(entry)).removeRecursively();
}

// The made folder in the target's place: swapped with the old catalogue in
// one step where the file system can, else the old moved aside first.
void putInPlace(const QString& made, const QString& target)
{
    const QByteArray from = QFile::encodeName(made), to = QFile::encodeName(target);
    if (!QFileInfo::exists(target)) {
        if (std::rename(from.constData(), to.constData()) != 0)
            fail(QStringLiteral("「%1」を作れません。").arg(target),
                 QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_EXCHANGE) == 0)
        return; // the old catalogue now has the made folder's name, and goes with it
    if (errno != EINVAL && errno != ENOSYS)
        fail(QStringLiteral("「%1」を置き換えられません。").arg(target),
             QString::fromLocal8Bit(std::strerror(errno)));
    const QByteArray aside = from + ".old";
    if (std::rename(to.constData(), aside.constData()) != 0)
        fail(QStringLiteral("「%1」を置き換えられません。").arg(target),
             QString::fromLocal8Bit(std::strerror(errno)));
    if (std::rename(from.constData(), to.constData()) != 0) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        std::rename(aside.constData(), to.constData());
        fail(QStringLiteral("「%1」を置き換えられません。").arg(target), why);
    }
    QDir(QFile::decodeName(aside)).removeRecursively();
}

} // namespace

Written write(Connection& cn, const QString& collectionFolder, const QString& target,
              const LongWorkProgress& progress)
{
    initPageFiles();
    const QFileInfo where(QDir::cleanPath(QDir::current().absoluteFilePath(target)));
    const QString targetPath = where.absoluteFilePath();
    if (where.isSymLink())
        fail(QStringLiteral("「%1」はリンクです。").arg(targetPath),
             QStringLiteral("リンクの先のフォルダーを指定してください"));
    if (where.exists() && !where.isDir())
        fail(QStringLiteral("「%1」はフォルダーではありません。").arg(targetPath),
             QStringLiteral("同じ名前のファイルがあります"));
    if (where.isDir() && !replaceable(targetPath))
        fail(QStringLiteral("「%1」はHTML目録のフォルダーではありません。").arg(targetPath),
             QStringLiteral("空のフォルダーか、前に書き出した目録のフォルダーを指定してください"));
    QDir parent = where.absoluteDir();
    if (!parent.exists() && !QDir().mkpath(parent.absolutePath()))
        fail(QStringLiteral("フォルダー「%1」を作れません。").arg(parent.absolutePath()),
             QStringLiteral("書き込みの権限を確かめてください"));
    removeLeftovers(parent, where.fileName());
    QTemporaryDir made(parent.filePath(u'.' + where.fileName() + QStringLiteral(".part-XXXXXX")));
    if (!made.isValid())
        fail(QStringLiteral("「%1」に書けません。").arg(parent.absolutePath()), made.errorString());
    const QDir out(made.path());
    // the folder readable as any folder made here is (a temporary one is the
    // owner's alone), so that a web server can hand it out
    if (!out.mkdir(QStringLiteral("jackets"))
        || !QFile::setPermissions(made.path(),
                                  QFileInfo(out.filePath(QStringLiteral("jackets"))).permissions()))
        fail(QStringLiteral("「%1」に書けません。").arg(made.path()),
             QStringLiteral("フォルダーを作れません"));

    const htmlcatalogue::Contents contents = htmlcatalogue::read(cn);
    const QVector<qint64> cdids = htmlcatalogue::cdids(contents);
    Written written;
    QSet<qint64> withJacket;
    const int steps = int(cdids.size()) + 1;
    for (int i = 0; i < cdids.size(); ++i) {
        if (progress && !progress(i, steps))
            throw DbError(DbError::NotAllowedNow,
                          QStringLiteral("HTML目録の書き出しを取りやめました（書き出し先は"
                                         "元のままです）。"));
        const QString picture = jacket::pictureOf(collectionFolder, cdids[i]);
        if (!QFileInfo::exists(picture))
            continue;
        QImage image;
        try {
            image = jacket::readImage(picture);
        } catch (const DbError& e) {
            written.unreadable << e.description();
            continue;
        }
        if (image.width() > thumbnailSide || image.height() > thumbnailSide)
            image = image.scaled(thumbnailSide, thumbnailSide, Qt::KeepAspectRatio,
                                 Qt::SmoothTransformation);
        const QString name = htmlcatalogue::thumbnailName(cdids[i]);
        if (!image.convertToFormat(QImage::Format_RGB32).save(out.filePath(name), "JPEG", 85))
            fail(QStringLiteral("「%1」を書けません。").arg(out.filePath(name)),
                 QStringLiteral("縮小したジャケット写真を保存できません"));
        withJacket.insert(cdids[i]);
    }
    written.jackets = int(withJacket.size());
    written.cds = int(contents.cds.size());
    writeFile(out.filePath(QString::fromUtf16(htmlcatalogue::kDataFile)),
              htmlcatalogue::dataScript(contents, withJacket, QDateTime::currentDateTime()));
    for (const QString& name : pageFiles) {
        QFile page(QStringLiteral(":/htmlcatalogue/") + name);
        if (!page.open(QIODevice::ReadOnly))
            fail(QStringLiteral("目録のページ「%1」がありません。").arg(name), page.errorString());
        writeFile(out.filePath(name), page.readAll());
    }
    if (progress && !progress(steps - 1, steps))
        throw DbError(
            DbError::NotAllowedNow,
            QStringLiteral("HTML目録の書き出しを取りやめました（書き出し先は元のままです）。"));
    putInPlace(made.path(), targetPath);
    return written;
}

} // namespace htmlexport
