#include "backup.h"

#include "connection.h"
#include "dberror.h"
#include "rowreader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

#include <sqlite3.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace backup {

QString folderFor(const QString& collection);

namespace {

const QString stampFormat = QStringLiteral("yyyyMMdd-HHmmss");

QString prefixFor(const QString& collection)
{
    return QFileInfo(collection).completeBaseName() + u'-';
}

// The name make() gives a copy: the moment it was made, and a number after it
// for a second copy made in the same second. Nothing else in the folder is one.
QRegularExpression copyName(const QString& collection, const QString& suffix = QString())
{
    return QRegularExpression(u'^' + QRegularExpression::escape(prefixFor(collection))
                              + QStringLiteral("(\\d{8}-\\d{6})(?:-([1-9]\\d{0,5}))?\\.db")
                              + QRegularExpression::escape(suffix) + u'$');
}

// The copies' names, newest first: by the moment in the name, then by the
// number added to a second copy made in the same second.
QStringList namesNewestFirst(const QString& collection)
{
    const QRegularExpression pattern = copyName(collection);
    QList<std::pair<QString, QString>> keyed; // sort key, name
    const QStringList all = QDir(folderFor(collection)).entryList(QDir::Files);
    for (const QString& name : all) {
        const QRegularExpressionMatch m = pattern.match(name);
        if (!m.hasMatch() || !QDateTime::fromString(m.captured(1), stampFormat).isValid())
            continue;
        const int n = m.captured(2).isEmpty() ? 1 : m.captured(2).toInt();
        keyed.append({m.captured(1) + QStringLiteral("-%1").arg(n, 6, 10, QLatin1Char('0')), name});
    }
    std::sort(keyed.begin(), keyed.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    QStringList names;
    for (const auto& k : keyed)
        names << k.second;
    return names;
}

bool processGone(qint64 pid)
{
    return pid > 0 && pid != QCoreApplication::applicationPid() && ::kill(pid_t(pid), 0) != 0
        && errno == ESRCH;
}

QString stampNow()
{
    return QDateTime::currentDateTime().toString(stampFormat);
}

// A name beside `path` that no file has yet: path + tag + the moment (+ a number).
QString freeName(const QString& path, const QString& tag)
{
    const QString stamp = stampNow();
    QString name = path + tag + stamp;
    for (int n = 2; QFileInfo::exists(name) || QFileInfo::exists(name + QStringLiteral("-journal"));
         ++n)
        name = path + tag + stamp + QStringLiteral("-%1").arg(n);
    return name;
}

[[noreturn]] void failed(const QString& cause)
{
    throw DbError(
        DbError::BackupFailed,
        QStringLiteral("コレクションのバックアップを作成できません。\r原因: %1").arg(cause));
}

QString causeOf(int code, const QString& text)
{
    switch (code & 0xff) {
    case SQLITE_FULL:
        return QStringLiteral("ディスクがいっぱいです");
    case SQLITE_CANTOPEN:
    case SQLITE_READONLY:
    case SQLITE_AUTH:
        return QStringLiteral("バックアップのフォルダーに書き込めません");
    default:
        return text;
    }
}

// The file's pages copied as they stand, by SQLite's backup: the whole file in
// about the time its bytes take to write, where rebuilding it (VACUUM INTO)
// took twice that before the first save of a run could begin. The working
// copy needs no journal of its own: cut short, it is thrown away.
void copyPages(const QSqlDatabase& db, const QString& part)
{
    sqlite3* source = rowreader::handleOf(db);
    if (!source)
        failed(QStringLiteral("コレクションが開かれていません"));
    sqlite3* copy = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(part).constData(), &copy,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(copy, "PRAGMA journal_mode = OFF", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_backup* b = sqlite3_backup_init(copy, "main", source, "main");
        if (!b) {
            rc = sqlite3_extended_errcode(copy);
        } else {
            const int step = sqlite3_backup_step(b, -1);
            rc = sqlite3_backup_finish(b);
            if (step != SQLITE_DONE && rc == SQLITE_OK)
                rc = step;
        }
    }
    const QString text
        = copy ? QString::fromUtf8(sqlite3_errmsg(copy)) : QString::fromUtf8(sqlite3_errstr(rc));
    if (rc == SQLITE_OK)
        rc = sqlite3_close(copy);
    else
        sqlite3_close(copy);
    if (rc != SQLITE_OK) {
        QFile::remove(part);
        failed(causeOf(rc, text));
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
    copyPages(db, part);
    if (!QFile::rename(part, path)) {
        QFile::remove(part);
        failed(QStringLiteral("ファイル「%1」を作れません").arg(path));
    }
    prune(collection);
    return path;
}

Copy inspect(const QString& path)
{
    Copy c;
    c.path = path;
    const QString connection = QStringLiteral("rondella-backup-check");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (!QFileInfo(path).isFile() || !db.open()) {
            c.damage = QStringLiteral("開けません");
        } else {
            QSqlQuery q(db);
            QStringList problems;
            if (!q.exec(QStringLiteral("PRAGMA quick_check")))
                problems << sqliteCause(q.lastError());
            while (q.isActive() && q.next())
                problems << q.value(0).toString();
            if (problems != QStringList{QStringLiteral("ok")}) {
                c.damage = QStringLiteral("壊れています");
            } else {
                for (const auto& [table, fields] :
                     {std::pair{QStringLiteral("cdname"), &Connection::cdnameFields()},
                      std::pair{QStringLiteral("kyoku"), &Connection::kyokuFields()}}) {
                    QStringList columns;
                    q.prepare(QStringLiteral("SELECT name FROM pragma_table_info(?)"));
                    q.addBindValue(table);
                    if (q.exec())
                        while (q.next())
                            columns << q.value(0).toString();
                    if (columns.isEmpty()) {
                        c.damage = QStringLiteral("テーブル「%1」がありません").arg(table);
                        break;
                    }
                    for (const FieldDef& f : *fields)
                        if (!columns.contains(f.name, Qt::CaseInsensitive) && c.damage.isEmpty())
                            c.damage = QStringLiteral("テーブル「%1」に列「%2」がありません")
                                           .arg(table, f.name);
                }
                if (c.damage.isEmpty()
                    && q.exec(QStringLiteral(
                        "SELECT (SELECT count(*) FROM cdname), (SELECT count(*) FROM kyoku)"))
                    && q.next()) {
                    c.cds = q.value(0).toLongLong();
                    c.songs = q.value(1).toLongLong();
                } else if (c.damage.isEmpty()) {
                    c.damage = QStringLiteral("読み取れません");
                }
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return c;
}

QList<Copy> list(const QString& collection)
{
    QList<Copy> out;
    const QDir folder(folderFor(collection));
    const QString prefix = prefixFor(collection);
    const QStringList names = namesNewestFirst(collection);
    for (const QString& name : names) {
        Copy c = inspect(folder.filePath(name));
        c.made = QDateTime::fromString(name.mid(prefix.size(), 15), stampFormat);
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

QString restore(const QString& copy, const QString& collection)
{
    auto refuse = [&copy](const QString& cause) {
        throw DbError(
            DbError::ProviderError,
            QStringLiteral("バックアップ「%1」を復元できません（%2）。").arg(copy, cause));
    };
    const Copy checked = inspect(copy);
    if (!checked.damage.isEmpty())
        refuse(QStringLiteral("バックアップが%1").arg(checked.damage));
    const QString temp
        = collection + QStringLiteral(".restore-%1").arg(QCoreApplication::applicationPid());
    QFile::remove(temp);
    if (!QFile::copy(copy, temp))
        refuse(QStringLiteral("コピーできません"));
    // What is installed is the copy just made, checked again.
    const Copy copied = inspect(temp);
    if (!copied.damage.isEmpty()) {
        QFile::remove(temp);
        refuse(QStringLiteral("コピーが%1").arg(copied.damage));
    }
    // The file replaced stays under a name of its own: a second name for the
    // same file where the disk allows, a whole copy where not. A journal beside
    // it holds part of it, and goes with it.
    QString replaced;
    const QByteArray current = QFile::encodeName(collection);
    const QString journal = collection + QStringLiteral("-journal");
    if (QFileInfo::exists(collection)) {
        replaced = freeName(collection, QStringLiteral(".replaced-"));
        if (::link(current.constData(), QFile::encodeName(replaced).constData()) != 0
            && !QFile::copy(collection, replaced)) {
            QFile::remove(temp);
            refuse(QStringLiteral("いまのファイルを「%1」として残せません").arg(replaced));
        }
        if (QFileInfo::exists(journal)
            && !QFile::rename(journal, replaced + QStringLiteral("-journal"))) {
            QFile::remove(temp);
            QFile::remove(replaced);
            refuse(QStringLiteral("いまのファイルの作業用ファイルを動かせません"));
        }
    }
    // One rename: the collection is the old file or the copy, never half of each.
    if (std::rename(QFile::encodeName(temp).constData(), current.constData()) != 0) {
        QFile::remove(temp);
        if (!replaced.isEmpty() && QFileInfo::exists(replaced + QStringLiteral("-journal")))
            QFile::rename(replaced + QStringLiteral("-journal"), journal);
        if (!replaced.isEmpty())
            QFile::remove(replaced);
        refuse(QStringLiteral("置き換えられません"));
    }
    return replaced;
}

void removeLeftovers(const QString& collection)
{
    const QFileInfo info(collection);
    const QDir folder = info.absoluteDir();
    const QString file = QRegularExpression::escape(info.fileName());
    const QRegularExpression ofProcess(QStringLiteral("^(?:\\.") + file
                                       + QStringLiteral("\\.import-(\\d+)(?:-journal)?|") + file
                                       + QStringLiteral("\\.restore-(\\d+))$"));
    const QStringList here = folder.entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : here) {
        const QRegularExpressionMatch m = ofProcess.match(name);
        if (!m.hasMatch())
            continue;
        const qint64 pid = (m.captured(1).isEmpty() ? m.captured(2) : m.captured(1)).toLongLong();
        if (processGone(pid))
            QFile::remove(folder.filePath(name));
    }
    // A copy still under its working name was cut short, and so was the
    // journal SQLite keeps beside it while writing it: the lock says no other
    // Rondella is writing one now.
    const QDir backups(folderFor(collection));
    const QRegularExpression part = copyName(collection, QStringLiteral(".part"));
    const QRegularExpression partJournal = copyName(collection, QStringLiteral(".part-journal"));
    const QStringList inBackup = backups.entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : inBackup)
        if (part.match(name).hasMatch() || partJournal.match(name).hasMatch())
            QFile::remove(backups.filePath(name));
}

QString setAside(const QString& collection)
{
    QString aside = collection + QStringLiteral(".damaged-")
        + QDateTime::currentDateTime().toString(stampFormat);
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = collection
            + QStringLiteral(".damaged-%1-%2")
                  .arg(QDateTime::currentDateTime().toString(stampFormat))
                  .arg(n);
    if (!QFile::rename(collection, aside))
        throw DbError(
            DbError::ProviderError,
            QStringLiteral("壊れたファイル「%1」を別の名前にできません。").arg(collection));
    for (const QString& suffix : {QStringLiteral("-journal"), QStringLiteral("-wal")})
        if (QFileInfo::exists(collection + suffix))
            QFile::rename(collection + suffix, aside + suffix);
    return aside;
}

} // namespace backup
