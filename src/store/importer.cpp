#include "importer.h"

#include "history.h"

#include "connection.h"
#include "dberror.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <cerrno>
#include <cstdio>
#include <limits>
#include <sys/resource.h>
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
    throw DbError(
        DbError::ProviderError,
        QStringLiteral("コレクション「%1」に取り込めません。\r原因: %2").arg(target, cause));
}

} // namespace

Rows readLegacyHere(const QString& mdbPath, const Progress& progress)
{
    LegacyReader reader(mdbPath);
    // A damaged definition may declare billions of rows: counted in 64 bits,
    // and the work told as at most what an int holds (the read refuses such
    // a table once its rows have run out).
    const qint64 declared = std::max<qint64>(0, reader.declaredRows(QStringLiteral("cdname")))
        + std::max<qint64>(0, reader.declaredRows(QStringLiteral("kyoku")));
    const int total = int(std::min<qint64>(declared, std::numeric_limits<int>::max()));
    Rows rows;
    rows.cds = reader.read(QStringLiteral("cdname"), Connection::cdnameFields(),
                           [&](int n) { return !progress || progress(n, total); });
    rows.songs = reader.read(QStringLiteral("kyoku"), Connection::kyokuFields(), [&](int n) {
        return !progress || progress(int(rows.cds.size()) + n, total);
    });
    return rows;
}

namespace {

// What the reading program sends, each a tag and its values in a QDataStream.
enum Message : quint8 { Progressed = 'P', TableRows = 'R', Refused = 'E', Finished = 'K' };
constexpr QDataStream::Version streamVersion = QDataStream::Qt_6_4;
// Longest silence of the reading program before it counts as hung.
constexpr int silenceLimitMs = 30000;
// More memory than any old database could need: a damaged length that makes
// libmdb allocate without end ends the reading program instead of the machine.
// A sanitizer's runtime reserves terabytes of address space for its shadow as
// the program starts, which no limit of address space or data lets through:
// the tests of that build give AddressSanitizer a limit of memory in use.
constexpr rlim_t readerMemoryLimit = rlim_t(2) << 30;

[[noreturn]] void readerFailed(const QString& mdbPath, const QString& cause)
{
    throw DbError(
        DbError::ProviderError,
        QStringLiteral("旧データベース「%1」を読み込めません。\r原因: %2").arg(mdbPath, cause));
}

} // namespace

int serveLegacyRead(const QString& mdbPath, QIODevice& out)
{
    // Each message is made whole, then written at once: the reader on the
    // other side waits for whole messages.
    bool written = true;
    auto send = [&](const auto&... values) {
        QByteArray message;
        QDataStream stream(&message, QIODevice::WriteOnly);
        stream.setVersion(streamVersion);
        (stream << ... << values);
        written = written && out.write(message) == message.size();
    };
    QElapsedTimer sinceSent;
    sinceSent.start();
    try {
        const Rows rows = readLegacyHere(mdbPath, [&](int done, int total) {
            if (sinceSent.elapsed() >= 50) {
                send(quint8(Progressed), qint32(done), qint32(total));
                sinceSent.restart();
            }
            return true;
        });
        send(quint8(TableRows), rows.cds);
        send(quint8(TableRows), rows.songs);
        send(quint8(Finished));
    } catch (const DbError& e) {
        send(quint8(Refused), qint32(e.number()), e.description());
    }
    return written ? 0 : 1;
}

QString legacyReaderProgram()
{
    const QString name = QStringLiteral("rondella-mdbread");
    const QDir programs(QCoreApplication::applicationDirPath());
    const QString beside = programs.filePath(name);
    if (QFileInfo(beside).isExecutable())
        return beside;
    // installed: a helper of the program's own, out of the users' PATH
    const QString installed
        = QDir::cleanPath(programs.filePath(QStringLiteral("../libexec/rondella/") + name));
    if (QFileInfo(installed).isExecutable())
        return installed;
#ifdef RONDELLA_MDBREAD
    // a program of the build tree (the tests, the benchmark) finds it where it was built
    if (QFileInfo(QStringLiteral(RONDELLA_MDBREAD)).isExecutable())
        return QStringLiteral(RONDELLA_MDBREAD);
#endif
    return beside;
}

Rows readLegacy(const QString& mdbPath, const Progress& progress)
{
    QProcess reader;
    reader.setProgram(legacyReaderProgram());
    reader.setArguments({mdbPath});
    reader.setStandardErrorFile(QProcess::nullDevice()); // libmdb's own warnings
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    reader.setChildProcessModifier([] {
        const rlimit limit{readerMemoryLimit, readerMemoryLimit};
        setrlimit(RLIMIT_AS, &limit);
    });
#endif
    reader.start(QIODevice::ReadOnly);
    if (!reader.waitForStarted(10000))
        readerFailed(mdbPath,
                     QStringLiteral("読み取り用のプログラム「%1」を起動できません（%2）")
                         .arg(reader.program(), reader.errorString()));
    auto stop = [&reader] {
        reader.kill();
        reader.waitForFinished(5000);
    };
    QDataStream stream(&reader);
    stream.setVersion(streamVersion);
    Rows rows;
    int tables = 0;
    int lastDone = 0, lastTotal = 0;
    bool finished = false;
    QElapsedTimer silence;
    silence.start();
    while (!finished) {
        stream.startTransaction();
        quint8 tag = 0;
        stream >> tag;
        if (tag == Progressed) {
            qint32 done = 0, total = 0;
            stream >> done >> total;
            if (stream.commitTransaction()) {
                lastDone = done;
                lastTotal = total;
            }
            if (stream.status() == QDataStream::Ok && progress && !progress(done, total)) {
                stop();
                throw DbError(stopped, QStringLiteral("取り込みを中止しました。"));
            }
        } else if (tag == TableRows) {
            QVector<QVector<QVariant>> table;
            stream >> table;
            if (stream.commitTransaction())
                (tables++ == 0 ? rows.cds : rows.songs) = std::move(table);
        } else if (tag == Refused) {
            qint32 number = 0;
            QString description;
            stream >> number >> description;
            if (stream.commitTransaction()) {
                stop();
                throw DbError(number, description);
            }
        } else if (tag == Finished) {
            finished = stream.commitTransaction();
        } else if (stream.status() == QDataStream::ReadPastEnd) {
            stream.rollbackTransaction();
        } else {
            stream.abortTransaction();
            stop();
            readerFailed(mdbPath, QStringLiteral("読み取り用のプログラムの応答が正しくありません"));
        }
        if (finished)
            break;
        if (stream.status() == QDataStream::Ok) {
            silence.restart(); // a whole message arrived: look for the next at once
            continue;
        }
        // Gone with no whole message left to read: what remains will never be completed.
        if (reader.state() == QProcess::NotRunning) {
            readerFailed(
                mdbPath,
                reader.exitStatus() == QProcess::CrashExit
                    ? QStringLiteral(
                        "読み取りの途中で異常終了しました（ファイルが壊れている可能性があります）")
                    : QStringLiteral("読み取りが途中で終わりました"));
        }
        if (silence.elapsed() > silenceLimitMs) {
            stop();
            readerFailed(
                mdbPath,
                QStringLiteral(
                    "読み取りが %1 秒以上進みません（ファイルが壊れている可能性があります）")
                    .arg(silenceLimitMs / 1000));
        }
        // between messages too, so that キャンセル answers while the reading is slow
        if (progress && !progress(lastDone, lastTotal)) {
            stop();
            throw DbError(stopped, QStringLiteral("取り込みを中止しました。"));
        }
        reader.waitForReadyRead(100);
    }
    reader.waitForFinished(5000);
    if (tables != 2)
        readerFailed(mdbPath, QStringLiteral("読み取り用のプログラムの応答が正しくありません"));
    // The reading program checked every row; what it sent must fit the two tables.
    for (const auto& [list, fields] : {std::pair{&rows.cds, &Connection::cdnameFields()},
                                       std::pair{&rows.songs, &Connection::kyokuFields()}})
        for (const QVector<QVariant>& row : *list)
            if (row.size() != fields->size())
                readerFailed(mdbPath,
                             QStringLiteral("読み取り用のプログラムの応答が正しくありません"));
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
            error
                = sqliteCause(db.lastError()) + QStringLiteral("（%1）").arg(db.lastError().text());
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
            // COMMIT as a statement of its own: the driver's commit() drops
            // SQLite's error code, which tells a full disk from other failures
            if (ok)
                ok = q.exec(QStringLiteral("COMMIT"));
            // the new file is taken only once every row is in and the file is whole
            QStringList counts;
            if (ok
                && q.exec(QStringLiteral("SELECT (SELECT count(*) FROM cdname), "
                                         "(SELECT count(*) FROM kyoku)"))
                && q.next()) {
                ok = q.value(0).toInt() == rows.cds.size()
                    && q.value(1).toInt() == rows.songs.size();
                if (!ok)
                    error = QStringLiteral("書き込んだ行の数が合いません");
            }
            if (ok
                && !(q.exec(QStringLiteral("PRAGMA quick_check")) && q.next()
                     && q.value(0).toString() == u"ok")) {
                ok = false;
                error = QStringLiteral("書き込んだファイルの検査に通りません");
            }
            if (!ok && error.isEmpty()) {
                const QSqlError why = q.lastError().isValid() ? q.lastError() : db.lastError();
                error = sqliteCause(why)
                    + QStringLiteral("（%1）").arg(
                        why.databaseText().isEmpty() ? why.text() : why.databaseText());
            }
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
        fail(target,
             err == EEXIST ? QStringLiteral("同じ名前のファイルがすでにあります")
                           : QString::fromLocal8Bit(strerror(err)));
    }
    if (!replace)
        QFile::remove(temp);
}

void addToCollection(Connection& cn, const Rows& rows)
{
    QSet<qint64> cdIds, songIds;
    for (const QVariant& v :
         cn.column(QStringLiteral("SELECT CDID FROM cdname WHERE CDID IS NOT NULL")))
        cdIds << v.toLongLong();
    for (const QVariant& v :
         cn.column(QStringLiteral("SELECT 曲ID FROM kyoku WHERE 曲ID IS NOT NULL")))
        songIds << v.toLongLong();
    QStringList taken;
    for (const auto& row : rows.cds)
        if (!row.value(0).isNull() && cdIds.contains(row.value(0).toLongLong()))
            taken << QStringLiteral("CDID %1（%2）")
                         .arg(row.value(0).toString(), row.value(1).toString());
    for (const auto& row : rows.songs)
        if (!row.value(1).isNull() && songIds.contains(row.value(1).toLongLong()))
            taken << QStringLiteral("曲ID %1（%2）")
                         .arg(row.value(1).toString(), row.value(2).toString());
    if (!taken.isEmpty()) {
        QString list = taken.mid(0, 10).join(u'\r');
        if (taken.size() > 10)
            list += QStringLiteral("\r…ほか %1 件").arg(taken.size() - 10);
        throw DbError(DbError::ProviderError,
                      QStringLiteral("次の番号はすでに使われているため、取り込みませんでした（何も"
                                     "追加していません）。\r%1")
                          .arg(list));
    }
    cn.transaction([&] {
        cn.insertRows(QStringLiteral("cdname"), Connection::cdnameFields(), rows.cds);
        cn.insertRows(QStringLiteral("kyoku"), Connection::kyokuFields(), rows.songs);
        history::fileImport(cn, QStringLiteral("取り込み"),
                            history::importNote(rows.cds.size(), rows.songs.size()));
    });
}

} // namespace importer
