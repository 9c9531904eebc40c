#include "importer.h"

#include "connection.h"
#include "dberror.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace importer {

namespace {

constexpr int stopped = LegacyReader::Cancelled;

QString insertSql(const QString& table, const QVector<FieldDef>& fields)
{
    QStringList names, marks;
    for (const FieldDef& f : fields) {
        names << u'"' + f.name + u'"';
        marks << QStringLiteral("?");
    }
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(table, names.join(u", "), marks.join(u", "));
}

[[noreturn]] void fail(const QString& target, const QString& cause)
{
    throw DbError(DbError::ProviderError,
                  QStringLiteral("コレクション「%1」に取り込めません。\r原因: %2").arg(target, cause));
}

} // namespace

Rows readLegacy(const QString& mdbPath, const Progress& progress)
{
    LegacyReader reader(mdbPath);
    const int cds = reader.declaredRows(QStringLiteral("cdname"));
    const int songs = reader.declaredRows(QStringLiteral("kyoku"));
    const int total = std::max(0, cds) + std::max(0, songs);
    Rows rows;
    rows.cds = reader.read(QStringLiteral("cdname"), Connection::cdnameFields(), [&](int n) {
        return !progress || progress(n, total);
    });
    rows.songs = reader.read(QStringLiteral("kyoku"), Connection::kyokuFields(), [&](int n) {
        return !progress || progress(int(rows.cds.size()) + n, total);
    });
    return rows;
}

void writeCollection(const QString& target, const Rows& rows, bool replace,
                     const Progress& progress)
{
    const QFileInfo info(target);
    if (!replace && info.exists())
        fail(target, QStringLiteral("同じ名前のファイルがすでにあります"));
    const QString temp = QStringLiteral("%1/.%2.import-%3")
                             .arg(info.absolutePath(), info.fileName())
                             .arg(QCoreApplication::applicationPid());
    QFile::remove(temp);
    const QString name = QStringLiteral("rondella-import");
    auto cleanUp = [&] {
        QSqlDatabase::removeDatabase(name);
        QFile::remove(temp);
        QFile::remove(temp + QStringLiteral("-journal"));
    };
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(temp);
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            QSqlQuery q(db);
            bool ok = q.exec(QStringLiteral("PRAGMA synchronous = FULL")) && db.transaction();
            for (const QString& sql : Connection::schemaStatements())
                ok = ok && q.exec(sql);
            const int total = int(rows.cds.size() + rows.songs.size());
            int done = 0;
            for (const auto& [table, fields, list] :
                 {std::tuple{QStringLiteral("cdname"), &Connection::cdnameFields(), &rows.cds},
                  std::tuple{QStringLiteral("kyoku"), &Connection::kyokuFields(), &rows.songs}}) {
                if (!ok)
                    break;
                ok = q.prepare(insertSql(table, *fields));
                for (const QVector<QVariant>& row : *list) {
                    for (int i = 0; i < fields->size() && ok; ++i)
                        q.addBindValue(toStored(row.value(i), fields->at(i).type));
                    ok = ok && q.exec();
                    if (!ok)
                        break;
                    if (progress && !progress(++done, total)) {
                        q = QSqlQuery();
                        db.rollback();
                        db.close();
                        db = QSqlDatabase();
                        cleanUp();
                        throw DbError(stopped, QStringLiteral("取り込みを中止しました。"));
                    }
                }
            }
            if (ok)
                ok = db.commit();
            // the new file is taken only once every row is in and the file is whole
            QStringList counts;
            if (ok && q.exec(QStringLiteral("SELECT (SELECT count(*) FROM cdname), "
                                             "(SELECT count(*) FROM kyoku)"))
                && q.next()) {
                ok = q.value(0).toInt() == rows.cds.size() && q.value(1).toInt() == rows.songs.size();
                if (!ok)
                    error = QStringLiteral("書き込んだ行の数が合いません");
            }
            if (ok && !(q.exec(QStringLiteral("PRAGMA quick_check")) && q.next()
                        && q.value(0).toString() == u"ok")) {
                ok = false;
                error = QStringLiteral("書き込んだファイルの検査に通りません");
            }
            if (!ok && error.isEmpty())
                error = q.lastError().isValid() ? q.lastError().databaseText() : db.lastError().text();
            q = QSqlQuery();
            if (!ok)
                db.rollback();
            db.close();
        }
    }
    if (!error.isEmpty()) {
        cleanUp();
        fail(target, error);
    }
    QSqlDatabase::removeDatabase(name);
    const QByteArray from = QFile::encodeName(temp);
    const QByteArray to = QFile::encodeName(target);
    // Without replace, link() takes the name only while it is free.
    const int done = replace ? std::rename(from.constData(), to.constData())
                             : ::link(from.constData(), to.constData());
    const int err = errno;
    if (done != 0) {
        QFile::remove(temp);
        fail(target, err == EEXIST ? QStringLiteral("同じ名前のファイルがすでにあります")
                                   : QString::fromLocal8Bit(strerror(err)));
    }
    if (!replace)
        QFile::remove(temp);
}

void addToCollection(Connection& cn, const Rows& rows)
{
    QSet<qint64> cdIds, songIds;
    for (const QVariant& v : cn.column(QStringLiteral("SELECT CDID FROM cdname WHERE CDID IS NOT NULL")))
        cdIds << v.toLongLong();
    for (const QVariant& v : cn.column(QStringLiteral("SELECT 曲ID FROM kyoku WHERE 曲ID IS NOT NULL")))
        songIds << v.toLongLong();
    QStringList taken;
    for (const auto& row : rows.cds)
        if (!row.value(0).isNull() && cdIds.contains(row.value(0).toLongLong()))
            taken << QStringLiteral("CDID %1（%2）").arg(row.value(0).toString(), row.value(1).toString());
    for (const auto& row : rows.songs)
        if (!row.value(1).isNull() && songIds.contains(row.value(1).toLongLong()))
            taken << QStringLiteral("曲ID %1（%2）").arg(row.value(1).toString(), row.value(2).toString());
    if (!taken.isEmpty()) {
        QString list = taken.mid(0, 10).join(u'\r');
        if (taken.size() > 10)
            list += QStringLiteral("\r…ほか %1 件").arg(taken.size() - 10);
        throw DbError(DbError::ProviderError,
                      QStringLiteral("次の番号はすでに使われているため、取り込みませんでした（何も追加していません）。\r%1")
                          .arg(list));
    }
    cn.transaction([&] {
        cn.insertRows(QStringLiteral("cdname"), Connection::cdnameFields(), rows.cds);
        cn.insertRows(QStringLiteral("kyoku"), Connection::kyokuFields(), rows.songs);
    });
}

} // namespace importer
