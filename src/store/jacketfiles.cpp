#include "jacketfiles.h"

#include "dberror.h"
#include "regularfile.h"

#include <QCryptographicHash>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace jacket {

QString pictureOf(const QString& collectionFolder, qint64 cdid)
{
    return QDir(collectionFolder).filePath(QStringLiteral("jacket/%1.jpg").arg(cdid));
}

QString trashFolder(const QString& collectionFolder)
{
    return QDir(collectionFolder).filePath(QStringLiteral("jacket/.trash"));
}

QString moveToTrash(const QString& collectionFolder, qint64 cdid)
{
    const QString picture = pictureOf(collectionFolder, cdid);
    if (!QFileInfo::exists(picture))
        return QString();
    const QDir trash(trashFolder(collectionFolder));
    if (!trash.exists() && !QDir().mkpath(trash.path()))
        throw DbError(DbError::ProviderError,
                      QStringLiteral("ジャケット写真の保管用フォルダー「%1」を作れません。")
                          .arg(QDir::toNativeSeparators(trash.path())));
    const QString stamp
        = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmsszzz"));
    QString target = trash.filePath(QStringLiteral("%1-%2.jpg").arg(cdid).arg(stamp));
    // two changes within one second keep both pictures
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = trash.filePath(QStringLiteral("%1-%2-%3.jpg").arg(cdid).arg(stamp).arg(n));
    if (!QFile::rename(picture, target))
        throw DbError(DbError::ProviderError,
                      QStringLiteral("ジャケット写真「%1」を保管用フォルダーへ移せません。")
                          .arg(QDir::toNativeSeparators(picture)));
    // The newest ten of this CD stay. The names tell the order: the time is
    // written with fixed width, and a second picture of the same moment has
    // the longer name.
    const QString prefix = QStringLiteral("%1-").arg(cdid);
    QStringList kept;
    for (const QString& name : trash.entryList({prefix + QStringLiteral("*.jpg")}, QDir::Files))
        if (name.size() > prefix.size() && name.at(prefix.size()).isDigit())
            kept << name.chopped(4); // 12-… must not take 123-…
    std::sort(kept.begin(), kept.end()); // a name that begins another sorts first

    while (kept.size() > keptInTrash)
        QFile::remove(trash.filePath(kept.takeFirst() + QStringLiteral(".jpg")));
    return target;
}

QString digestOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(&file);
    return QString::fromLatin1(hash.result().toHex());
}

Replaced replace(const QString& collectionFolder, qint64 cdid, const QByteArray& jpeg)
{
    const QString path = pictureOf(collectionFolder, cdid);
    QDir().mkpath(QFileInfo(path).absolutePath());
    // The new picture is written whole beside the old one before anything moves.
    const QString fresh = path + QStringLiteral(".new");
    QString why;
    if (!regularfile::write(fresh, jpeg, &why))
        throw DbError(DbError::ProviderError,
                      QStringLiteral("ジャケット写真「%1」を書き込めません。\r原因: %2")
                          .arg(QDir::toNativeSeparators(path), why));
    Replaced r{cdid, digestOf(path), {}, {}};
    try {
        r.keptAt = moveToTrash(collectionFolder, cdid);
    } catch (const DbError&) {
        QFile::remove(fresh);
        throw;
    }
    if (!QFile::rename(fresh, path)) {
        QFile::remove(fresh);
        throw DbError(
            DbError::ProviderError,
            QStringLiteral("ジャケット写真「%1」を置けません。前の写真は「%2」にあります。")
                .arg(QDir::toNativeSeparators(path),
                     QDir::toNativeSeparators(trashFolder(collectionFolder))));
    }
    r.after = QString::fromLatin1(QCryptographicHash::hash(jpeg, QCryptographicHash::Sha1).toHex());
    return r;
}

Replaced remove(const QString& collectionFolder, qint64 cdid)
{
    Replaced r{cdid, digestOf(pictureOf(collectionFolder, cdid)), {}, {}};
    r.keptAt = moveToTrash(collectionFolder, cdid);
    if (r.keptAt.isEmpty())
        r.before.clear();
    return r;
}

void putBack(const QString& collectionFolder, const Replaced& r)
{
    const QString path = pictureOf(collectionFolder, r.cdid);
    if (!r.after.isEmpty())
        QFile::remove(path);
    if (!r.keptAt.isEmpty())
        QFile::rename(r.keptAt, path);
}

} // namespace jacket
