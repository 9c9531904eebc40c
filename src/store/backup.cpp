#include "backup.h"

#include "dberror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

#include <cstdio>

namespace backup {

QString folderFor(const QString& collection);

namespace {

const QString stampFormat = QStringLiteral("yyyyMMdd-HHmmss");

QString prefixFor(const QString& collection)
{
    return QFileInfo(collection).completeBaseName() + u'-';
}

// The copies' names, newest first: by the moment in the name, then by the
// number added to a second copy made in the same second.
QStringList namesNewestFirst(const QString& collection)
{
    const QString prefix = prefixFor(collection);
    QStringList names = QDir(folderFor(collection))
                            .entryList({prefix + QStringLiteral("*.db")}, QDir::Files);
    auto key = [&prefix](const QString& name) -> QString {
        const QString rest = name.mid(prefix.size()).chopped(3); // without ".db"
        const int dash = int(rest.indexOf(u'-', 9));
        const int n = dash < 0 ? 1 : rest.mid(dash + 1).toInt();
        return rest.left(15) + QStringLiteral("-%1").arg(n, 6, 10, QLatin1Char('0'));
    };
    std::sort(names.begin(), names.end(),
              [&](const QString& a, const QString& b) { return key(a) > key(b); });
    return names;
}

[[noreturn]] void failed(const QString& cause)
{
    throw DbError(DbError::BackupFailed,
                  QStringLiteral("コレクションのバックアップを作成できません。\r原因: %1").arg(cause));
}

QString causeOf(const QSqlError& error)
{
    switch (error.nativeErrorCode().toInt() & 0xff) {
    case 13:
        return QStringLiteral("ディスクがいっぱいです");
    case 14:
    case 8:
    case 23:
        return QStringLiteral("バックアップのフォルダーに書き込めません");
    default:
        return error.databaseText().isEmpty() ? error.text() : error.databaseText();
    }
}

} // namespace

QString folderFor(const QString& collection)
{
    return QFileInfo(collection).absoluteDir().filePath(QStringLiteral("backup"));
}

QString make(const QSqlDatabase& db, const QString& collection)
{
    QDir folder(folderFor(collection));
    if (!folder.exists() && !QDir().mkpath(folder.path()))
        failed(QStringLiteral("フォルダー「%1」を作れません").arg(folder.path()));
    const QString stamp = QDateTime::currentDateTime().toString(stampFormat);
    QString path = folder.filePath(prefixFor(collection) + stamp + QStringLiteral(".db"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = folder.filePath(prefixFor(collection) + stamp + QStringLiteral("-%1.db").arg(n));
    // Written under a working name and renamed once whole, so that a copy cut
    // short (a full disk, a crash) never stands among the backups.
    const QString part = path + QStringLiteral(".part");
    QFile::remove(part);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("VACUUM INTO ?"));
    q.addBindValue(part);
    if (!q.exec()) {
        const QSqlError error = q.lastError();
        QFile::remove(part);
        failed(causeOf(error));
    }
    if (!QFile::rename(part, path)) {
        QFile::remove(part);
        failed(QStringLiteral("ファイル「%1」を作れません").arg(path));
    }
    prune(collection);
    return path;
}

QList<Copy> list(const QString& collection)
{
    QList<Copy> out;
    const QDir folder(folderFor(collection));
    const QString prefix = prefixFor(collection);
    const QStringList names = namesNewestFirst(collection);
    for (const QString& name : names) {
        Copy c;
        c.path = folder.filePath(name);
        c.made = QDateTime::fromString(name.mid(prefix.size(), 15), stampFormat);
        if (!c.made.isValid())
            continue;
        const QString connection = QStringLiteral("rondella-backup-list");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
            db.setDatabaseName(c.path);
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
            if (db.open()) {
                QSqlQuery q(db);
                if (q.exec(QStringLiteral("SELECT (SELECT count(*) FROM cdname), (SELECT count(*) FROM kyoku)"))
                    && q.next()) {
                    c.cds = q.value(0).toInt();
                    c.songs = q.value(1).toInt();
                }
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(connection);
        out << c;
    }
    return out;
}

void prune(const QString& collection, int keep)
{
    const QDir folder(folderFor(collection));
    const QStringList names = namesNewestFirst(collection);
    for (qsizetype i = keep; i < names.size(); ++i)
        QFile::remove(folder.filePath(names.at(i)));
}

void restore(const QString& copy, const QString& collection)
{
    const QString temp = collection + QStringLiteral(".restore-%1").arg(QCoreApplication::applicationPid());
    QFile::remove(temp);
    if (!QFile::copy(copy, temp))
        throw DbError(DbError::ProviderError,
                      QStringLiteral("バックアップ「%1」を復元できません（コピーできません）。").arg(copy));
    // One rename: the collection is the old file or the copy, never half of each.
    if (std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(collection).constData()) != 0) {
        QFile::remove(temp);
        throw DbError(DbError::ProviderError,
                      QStringLiteral("バックアップ「%1」を復元できません（置き換えられません）。").arg(copy));
    }
}

QString setAside(const QString& collection)
{
    QString aside = collection + QStringLiteral(".damaged-")
        + QDateTime::currentDateTime().toString(stampFormat);
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = collection + QStringLiteral(".damaged-%1-%2")
                                 .arg(QDateTime::currentDateTime().toString(stampFormat))
                                 .arg(n);
    if (!QFile::rename(collection, aside))
        throw DbError(DbError::ProviderError,
                      QStringLiteral("壊れたファイル「%1」を別の名前にできません。").arg(collection));
    for (const QString& suffix : {QStringLiteral("-journal"), QStringLiteral("-wal")})
        if (QFileInfo::exists(collection + suffix))
            QFile::rename(collection + suffix, aside + suffix);
    return aside;
}

} // namespace backup
