#include "collectionfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

namespace collectionfolder {

const QStringList& shippedFiles()
{
    static const QStringList files{QStringLiteral("help.html"), QStringLiteral("dialog.WAV"),
                                   QStringLiteral("drop.WAV"), QStringLiteral("jacket/damie.jpg")};
    return files;
}

QString shippedFolder()
{
    const QString installed = QDir(QCoreApplication::applicationDirPath())
                                  .absoluteFilePath(QStringLiteral("../share/rondella"));
    if (QFileInfo(installed).isDir())
        return QDir::cleanPath(installed);
    return QStringLiteral(RONDELLA_RESOURCES);
}

QString firstFolder()
{
    return QDir::home().filePath(QStringLiteral("Rondella"));
}

QString prepare(const QString& folder, const QString& shipped)
{
    const QString path = QDir::cleanPath(QDir::current().absoluteFilePath(folder));
    const QString refused
        = QStringLiteral("コレクションのフォルダー「%1」を作れないか、書き込めません。").arg(path);
    if (!QDir().mkpath(path) || !QFileInfo(path).isDir())
        return refused;
    {
        // written to, not only marked writable: a read-only mount says otherwise only here
        QTemporaryFile probe(QDir(path).filePath(QStringLiteral(".rondella-XXXXXX")));
        if (!probe.open())
            return refused;
    }
    for (const QString& name : shippedFiles()) {
        const QString target = QDir(path).filePath(name);
        const QString source = QDir(shipped).filePath(name);
        if (QFileInfo::exists(target) || !QFileInfo::exists(source))
            continue;
        if (!QDir().mkpath(QFileInfo(target).path()) || !QFile::copy(source, target))
            return refused;
        // a copy of a read-only installed file would stay read-only
        QFile::setPermissions(target, QFile::permissions(target) | QFile::WriteOwner);
    }
    return QString();
}

} // namespace collectionfolder
