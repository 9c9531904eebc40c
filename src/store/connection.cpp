#include "connection.h"
#include "tables.h"

#include "backup.h"
#include "cdnotes.h"
#include "dberror.h"
#include "duplicates.h"
#include "history.h"
#include "loans.h"
#include "ratings.h"
#include "rowreader.h"
#include "wishes.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>

#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString quoted(const QString& identifier)
{
    return u'"' + identifier + u'"';
}

} // namespace

QString sqliteCause(const QSqlError& error)
{
    switch (error.nativeErrorCode().toInt() & 0xff) {
    case 5:
    case 6:
        return QStringLiteral("他のプログラムがこのファイルを使用中です（ロックされています）");
    case 8:
        return QStringLiteral("ファイルが読み取り専用のため書き込めません");
    case 10:
        return QStringLiteral("ファイルの読み書き中にエラーが発生しました");
    case 11:
        return QStringLiteral("ファイルが壊れています");
    case 13:
        return QStringLiteral("ディスクがいっぱいです");
    case 14:
        return QStringLiteral("ファイルを開けません（読み取れません）");
    case 23:
        return QStringLiteral("ファイルへのアクセスが拒否されました");
    case 26:
        return QStringLiteral("データベースのファイルではありません");
    default:
        return QStringLiteral("データベースのエラーです");
    }
}

namespace {

// Connections are opened by the reading threads too: each takes a number of its own.
std::atomic<int> connectionCounter{0};

// SQLite's ascending order: NULL, then numbers, then text.
bool storedLess(const QVariant& a, const QVariant& b)
{
    auto rank = [](const QVariant& v) {
        if (v.isNull() || !v.isValid())
            return 0;
        const int t = v.typeId();
        return (t == QMetaType::LongLong || t == QMetaType::Int || t == QMetaType::Double) ? 1 : 2;
    };
    const int ra = rank(a), rb = rank(b);
    if (ra != rb)
        return ra < rb;
    if (ra == 1)
        return a.toDouble() < b.toDouble();
    if (ra == 2)
        return a.toString().toUtf8() < b.toString().toUtf8();
    return false;
}

} // namespace

const QVector<FieldDef>& Connection::cdnameFields()
{
    return cdnameTable().fields();
}

const QVector<FieldDef>& Connection::kyokuFields()
{
    return kyokuTable().fields();
}

QVariant fromStored(const QVariant& v, FieldType type)
{
    if (v.isNull() || !v.isValid())
        return QVariant();
    switch (type) {
    case FieldType::Integer: {
        // a price with yen decimals (brought in from the old database) stays as it is
        if (v.typeId() == QMetaType::Double && std::fmod(v.toDouble(), 1.0) != 0.0)
            return v;
        bool ok = false;
        const qlonglong n = v.toLongLong(&ok);
        return ok ? QVariant(n) : v; // never lose a stored value we cannot read as a number
    }
    case FieldType::Date: {
        const QString text = v.toString();
        const QDate date = QDate::fromString(text.left(10), Qt::ISODate);
        return date.isValid() ? QVariant(date) : QVariant(text);
    }
    case FieldType::Text:
        return v.typeId() == QMetaType::QString ? v : QVariant(v.toString());
    }
    return v;
}

QString dateTimeText(const QDateTime& at)
{
    return at.time() == QTime(0, 0) ? at.date().toString(Qt::ISODate)
                                    : at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QVariant toStored(const QVariant& v, FieldType type)
{
    if (v.isNull() || !v.isValid())
        return QVariant();
    switch (type) {
    case FieldType::Integer: {
        if (v.typeId() == QMetaType::Double && std::fmod(v.toDouble(), 1.0) != 0.0)
            return v;
        bool ok = false;
        const qlonglong n = v.toLongLong(&ok);
        return ok ? QVariant(n) : QVariant(v.toString());
    }
    case FieldType::Date:
        if (v.typeId() == QMetaType::QDate)
            return v.toDate().toString(Qt::ISODate);
        if (v.typeId() == QMetaType::QDateTime)
            return dateTimeText(v.toDateTime()); // a time of day, where there is one, is kept
        return v.toString();
    case FieldType::Text:
        return v.toString();
    }
    return v;
}

namespace {

void dropConnection(const QString& name)
{
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

// The first lines of a long report, and how many more there were: a damaged
// file can report a hundred lines, and the message must still fit the screen.
QString firstLines(const QStringList& report, int keep)
{
    QStringList lines;
    for (const QString& row : report)
        lines << row.split(u'\n', Qt::SkipEmptyParts);
    QString shown = lines.mid(0, keep).join(u"; ");
    if (lines.size() > keep)
        shown += QStringLiteral(" …ほか %1 件").arg(lines.size() - keep);
    return shown;
}

// SQLite's extended codes for a file that cannot be read without first being
// written: a hot journal or a write-ahead log to recover.
QString damageCause(const QStringList& problems)
{
    return QStringLiteral("ファイルが壊れています（%1）").arg(firstLines(problems, 3));
}

bool needsRecovery(const QSqlError& error)
{
    const int code = error.nativeErrorCode().toInt();
    return code == 776 /* READONLY_ROLLBACK */ || code == 264 /* READONLY_RECOVERY */
        || code == 520 /* READONLY_CANTLOCK */ || code == 1288 /* READONLY_CANTINIT */;
}

} // namespace

Connection::Connection(const QString& path, Check check, Memory* memory)
    : m_path(path), m_name(QStringLiteral("rondella-%1").arg(++connectionCounter)),
      m_checkLater(check == Check::Later), m_memory(memory ? memory : &m_ownMemory)
{
    const QFileInfo info(path);
    if (info.exists()) {
        if (info.isDir())
            fail(QStringLiteral("同じ名前のフォルダーがあります"));
        if (!info.isReadable())
            fail(QStringLiteral("ファイルを読み取れません"));
        openExisting();
    } else if (!createNew()) {
        openExisting(); // another program created it a moment before us
    }
    m_identity = fileIdentity();
    m_ready = true;
}

Connection::~Connection()
{
    dropConnection(m_name);
}

QSqlDatabase Connection::database() const
{
    return QSqlDatabase::database(m_name, false);
}

QString Connection::fileIdentity() const
{
    struct stat st;
    if (::stat(QFile::encodeName(m_path).constData(), &st) != 0)
        return QString();
    return QStringLiteral("%1:%2").arg(st.st_dev).arg(st.st_ino);
}

bool Connection::fileReplaced() const
{
    return fileIdentity() != m_identity;
}

void Connection::openExisting()
{
    // Everything is checked over a connection that cannot write, so a file
    // that is refused stays exactly as it was.
    checkReadOnly();
    openReadWrite();
    addOwnTables();
}

void Connection::openReadWrite()
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(m_path);
        // A file locked by another program should be reported, not waited on for long.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=1500"));
    }
    if (!database().open())
        failSql(QStringLiteral("開けません"), database().lastError());
    // Every acknowledged save reaches the disk before the program goes on.
    QSqlQuery(database()).exec(QStringLiteral("PRAGMA synchronous = FULL"));
}

void Connection::checkReadOnly()
{
    const QString name = m_name + QStringLiteral("-check");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(m_path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=1500"));
    }
    try {
        if (!QSqlDatabase::database(name, false).open())
            failSql(QStringLiteral("開けません"), QSqlDatabase::database(name, false).lastError());
        validate(name);
    } catch (const RecoveryNeeded&) {
        dropConnection(name);
        checkRecoveredCopy();
        return;
    } catch (...) {
        dropConnection(name);
        throw;
    }
    dropConnection(name);
}

// A file left with a journal or log to recover (a program stopped in the
// middle of a save) is checked as it will be once recovered: on a copy of the
// file and its journal, recovered there, so the file itself is not touched
// unless it proves to be a usable collection.
void Connection::checkRecoveredCopy()
{
    QTemporaryDir dir;
    if (!dir.isValid())
        fail(QStringLiteral("確認用の一時フォルダーを作れません"));
    const QString copy = dir.filePath(QStringLiteral("check.db"));
    for (const QString& suffix : {QString(), QStringLiteral("-journal"), QStringLiteral("-wal")})
        if (QFileInfo::exists(m_path + suffix) && !QFile::copy(m_path + suffix, copy + suffix))
            fail(QStringLiteral("ファイルを読み取れません"));
    const QString name = m_name + QStringLiteral("-copy");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(copy);
    }
    try {
        if (!QSqlDatabase::database(name, false).open())
            failSql(QStringLiteral("開けません"), QSqlDatabase::database(name, false).lastError());
        validate(name, false);
    } catch (...) {
        dropConnection(name);
        throw;
    }
    dropConnection(name);
}

void Connection::validate(const QString& name, bool remember)
{
    // A file this process has checked, and changed since only through SQLite,
    // is not checked again on every reopening.
    const QString mark = fileMark();
    // A damage found by a check left for later is not forgotten while the
    // file stays as it was.
    const auto damaged = m_memory->damaged.constFind(m_path);
    if (!mark.isEmpty() && damaged != m_memory->damaged.constEnd() && damaged->first == mark)
        fail(damaged->second, DbError::Damaged);
    bool checked = !mark.isEmpty() && m_memory->checked.value(m_path) == mark;
    // The check can wait where the file needs no recovery: a journal beside
    // it (perhaps left by a crash) is looked at now.
    if (!checked && m_checkLater && !mark.isEmpty()
        && !QFileInfo::exists(m_path + QStringLiteral("-journal"))) {
        m_checkPending = true;
    } else if (!checked) {
        checkIntegrity(name);
        checked = true;
    }
    requireColumns(name, QStringLiteral("cdname"), cdnameFields());
    requireColumns(name, QStringLiteral("kyoku"), kyokuFields());
    if (remember && checked && !mark.isEmpty())
        m_memory->checked.insert(m_path, mark);
}

void Connection::checkIntegrity(const QString& name)
{
    QSqlQuery check(QSqlDatabase::database(name, false));
    if (!check.exec(QStringLiteral("PRAGMA quick_check"))) {
        if (needsRecovery(check.lastError()))
            throw RecoveryNeeded();
        failSql(QStringLiteral("開けません"), check.lastError());
    }
    QStringList problems;
    while (check.next())
        problems.append(check.value(0).toString());
    if (problems != QStringList{QStringLiteral("ok")})
        fail(damageCause(problems), DbError::Damaged);
}

void Connection::requireColumns(const QString& name, const QString& table,
                                const QVector<FieldDef>& fields)
{
    QSqlQuery info(QSqlDatabase::database(name, false));
    if (!info.exec(QStringLiteral("PRAGMA table_info(%1)").arg(quoted(table)))) {
        if (needsRecovery(info.lastError()))
            throw RecoveryNeeded();
        failSql(QStringLiteral("開けません"), info.lastError());
    }
    QStringList present;
    while (info.next())
        present.append(info.value(1).toString());
    if (present.isEmpty())
        fail(QStringLiteral("テーブル「%1」がありません").arg(table));
    for (const FieldDef& f : fields)
        if (!present.contains(f.name, Qt::CaseInsensitive))
            fail(QStringLiteral("テーブル「%1」に列「%2」がありません").arg(table, f.name));
}

// The new collection is made whole in a file of its own beside the target and
// takes the target's name only while that name is free: a file someone else
// put there meanwhile is never replaced, and a crash leaves no half-made
// collection under the real name. Returns false when the name was taken.
bool Connection::createNew()
{
    const QFileInfo target(m_path);
    const QString folder = target.absolutePath();
    if (!QFileInfo(folder).isDir())
        fail(QStringLiteral("フォルダー「%1」がありません").arg(folder));
    const QString temp = QStringLiteral("%1/.%2.new-%3-%4")
                             .arg(folder, target.fileName())
                             .arg(QCoreApplication::applicationPid())
                             .arg(m_name.section(u'-', -1)); // this connection's own number
    const QString name = m_name + QStringLiteral("-new");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(temp);
    }
    auto giveUp = [&](const QString& cause) {
        dropConnection(name);
        QFile::remove(temp);
        QFile::remove(temp + QStringLiteral("-journal"));
        throw DbError(DbError::ProviderError,
                      QStringLiteral("データベースファイル「%1」を作成できません。\n原因: %2")
                          .arg(m_path, cause));
    };
    QSqlDatabase db = QSqlDatabase::database(name, false);
    if (!db.open() || !QFileInfo(folder).isWritable()) {
        const QSqlError error = db.lastError();
        db = QSqlDatabase();
        giveUp(QFileInfo(folder).isWritable() ? sqliteCause(error)
                                              : QStringLiteral("フォルダーに書き込めません"));
    }
    const QStringList statements
        = QStringList{QStringLiteral("PRAGMA synchronous = FULL"), QStringLiteral("BEGIN")}
        + schemaStatements() + QStringList{QStringLiteral("COMMIT")};
    {
        QSqlQuery q(db);
        for (const QString& sql : statements)
            if (!q.exec(sql)) {
                const QSqlError error = q.lastError();
                q = QSqlQuery();
                db = QSqlDatabase();
                giveUp(sqliteCause(error));
            }
    }
    db.close();
    db = QSqlDatabase();
    dropConnection(name);
    // link() gives the file its name only if nobody has taken it meanwhile.
    const int linked
        = ::link(QFile::encodeName(temp).constData(), QFile::encodeName(m_path).constData());
    const int error = errno;
    QFile::remove(temp);
    if (linked != 0 && error == EEXIST)
        return false;
    if (linked != 0)
        throw DbError(DbError::ProviderError,
                      QStringLiteral("データベースファイル「%1」を作成できません。\n原因: %2")
                          .arg(m_path, QString::fromLocal8Bit(strerror(error))));
    openReadWrite(); // the file just made is known good: no checks
    return true;
}

const QStringList& Connection::schemaStatements()
{
    static const QStringList statements = QStringList{
        cdnameTable().createStatement(),
        kyokuTable().createStatement(),
        // Indexes SQLite alone understands, for the orders the program reads in.
        QStringLiteral("CREATE INDEX cdname_cdid ON cdname (CDID)"),
        QStringLiteral("CREATE INDEX kyoku_id ON kyoku (曲ID)"),
        // The first screen finds the songs of the first CD (and the CDs of the
        // first song) by title without reading the whole tables.
        QStringLiteral("CREATE INDEX kyoku_title ON kyoku (CD名 COLLATE NOCASE)"),
        QStringLiteral("CREATE INDEX cdname_title ON cdname (CD名 COLLATE NOCASE)"),
    } + ownTableStatements();
    return statements;
}

// The tables this program keeps beside the two of the design, each made
// only where it is missing.
const QStringList& Connection::ownTableStatements()
{
    static const QStringList statements = QStringList{
        // the name groups the collector joins
        QStringLiteral("CREATE TABLE IF NOT EXISTS namegroup (表記 TEXT NOT NULL PRIMARY KEY, "
                       "名前 TEXT NOT NULL)"),
    } + history::tableStatements()
        + ratings::tableStatements() + cdnotes::tableStatements() + loans::tableStatements()
        + wishes::tableStatements() + duplicates::tableStatements();
    return statements;
}

// A collection written before a table of this program's own existed gets it
// when it is opened, as an empty table. A file that cannot be written now
// does without it: what would be kept there reads as nothing, and the first
// change that needs it says why it cannot be made.
void Connection::addOwnTables()
{
    QSqlQuery tables(database());
    if (!tables.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'")))
        return;
    QSet<QString> present;
    while (tables.next())
        present << tables.value(0).toString();
    const bool missing = std::any_of(ownTableStatements().begin(), ownTableStatements().end(),
                                     [&present](const QString& statement) {
                                         // CREATE TABLE IF NOT EXISTS name (...
                                         return !present.contains(statement.section(u' ', 5, 5));
                                     });
    if (!missing)
        return;
    QSqlQuery make(database());
    if (!make.exec(QStringLiteral("BEGIN")))
        return;
    for (const QString& statement : ownTableStatements())
        if (!make.exec(statement)) {
            make.exec(QStringLiteral("ROLLBACK"));
            return;
        }
    make.exec(QStringLiteral("COMMIT"));
}

void Connection::fail(const QString& cause, int number) const
{
    if (!m_ready)
        dropConnection(m_name);
    throw DbError(
        number,
        QStringLiteral("データベースファイル「%1」を開けません。\n原因: %2").arg(m_path, cause));
}

DbError Connection::failure(const QString& path, const QString& doing, const QSqlError& error,
                            bool writing)
{
    // Unable to open a file while writing means the journal beside the file
    // could not be made: the folder, not the file, refuses.
    const int code = error.nativeErrorCode().toInt() & 0xff;
    const bool journalRefused = writing && code == 14;
    const QString description
        = QStringLiteral("データベースファイル「%1」を%2。\n原因: %3（%4）")
              .arg(path, doing,
                   journalRefused ? QStringLiteral(
                       "フォルダーに書き込めません（作業用のファイルを作れません）")
                                  : sqliteCause(error),
                   error.databaseText().isEmpty() ? error.text() : error.databaseText());
    return DbError(code == 11 || code == 26 ? DbError::Damaged : DbError::ProviderError,
                   description);
}

void Connection::failSql(const QString& doing, const QSqlError& error) const
{
    if (!m_ready) // a failed opening leaves nothing open behind it
        dropConnection(m_name);
    throw failure(m_path, doing, error, m_ready);
}

// What identifies the file's contents without reading them: SQLite's change
// counter (moved by every committed write), the size and the modification
// time. Empty where that cannot be trusted (a write-ahead log beside the file).
QString Connection::fileMark() const
{
    if (QFileInfo::exists(m_path + QStringLiteral("-wal")))
        return QString();
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray header = file.read(100);
    if (header.size() < 100)
        return QString();
    const QFileInfo info(m_path);
    return QString::fromLatin1(header.mid(24, 4).toHex() + header.mid(92, 4).toHex()) + u'/'
        + QString::number(info.size()) + u'/'
        + QString::number(info.lastModified().toMSecsSinceEpoch());
}

Snapshot Connection::read(const QString& sql, const QVector<FieldDef>& fields)
{
    return read(sql, fields, Patchable());
}

Snapshot Connection::read(const QString& sql, const QVector<FieldDef>& fields,
                          const Patchable& patchable)
{
    // Inside a transaction the file does not yet say what this connection sees.
    const QString mark = m_depth > 0 ? QString() : fileMark();
    const QString key = m_path + u'\n' + sql;
    const auto hit = m_memory->rows.constFind(key);
    if (hit != m_memory->rows.constEnd() && hit->mark == mark && !mark.isEmpty())
        return hit->rows;
    Snapshot rows;
    try {
        rows = rowreader::read(rowreader::handleOf(database()), sql, fields);
    } catch (const rowreader::Failure& f) {
        failSql(QStringLiteral("読み込めません"), f.error);
    }
    if (!mark.isEmpty())
        m_memory->rows.insert(
            key, Memory::Cached{rows, mark, patchable.table, patchable.orderColumn, fields});
    return rows;
}

void Connection::integrityChecked(const QString& mark, const QStringList& problems)
{
    m_checkPending = false;
    if (problems.isEmpty()) {
        if (!mark.isEmpty())
            m_memory->checked.insert(m_path, mark);
        return;
    }
    const QString cause = damageCause(problems);
    m_memory->damaged.insert(m_path, {mark, cause});
    m_damage = DbError(
        DbError::Damaged,
        QStringLiteral("データベースファイル「%1」を開けません。\n原因: %2").arg(m_path, cause));
}

bool Connection::isKept(const QString& sql) const
{
    const QString mark = m_depth > 0 ? QString() : fileMark();
    const auto hit = m_memory->rows.constFind(m_path + u'\n' + sql);
    return !mark.isEmpty() && hit != m_memory->rows.constEnd() && hit->mark == mark;
}

void Connection::keepRead(const QString& sql, const QVector<FieldDef>& fields,
                          const Patchable& patchable, const Snapshot& rows, const QString& mark)
{
    if (!mark.isEmpty() && mark == fileMark())
        m_memory->rows.insert(
            m_path + u'\n' + sql,
            Memory::Cached{rows, mark, patchable.table, patchable.orderColumn, fields});
}

void Connection::transaction(const std::function<void()>& work)
{
    if (m_depth > 0) {
        work();
        return;
    }
    // Nothing is written to a file whose check has not yet come out whole.
    if (m_checkPending && m_waitForCheck)
        m_waitForCheck();
    if (m_damage)
        throw *m_damage;
    if (m_checkPending)
        throw DbError(
            DbError::ProviderError,
            QStringLiteral("データベースファイル「%1」の検査が終わっていないため、書き込めません。")
                .arg(m_path));
    backupBeforeFirstWrite();
    QSqlQuery q(database());
    // IMMEDIATE takes the write lock before the first statement, so a lock
    // held elsewhere refuses the whole save before anything is written.
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        failSql(QStringLiteral("書き込めません"), q.lastError());
    // With the write lock held nobody else can change the file: rows read at
    // this mark can follow this transaction's writes exactly.
    const QString markBefore = fileMark();
    m_writes.clear();
    m_unrecordedWrite = false;
    ++m_depth;
    try {
        work();
        if (m_beforeCommit)
            m_beforeCommit();
    } catch (...) {
        --m_depth;
        m_writes.clear();
        QSqlQuery rollback(database());
        rollback.exec(QStringLiteral("ROLLBACK"));
        throw;
    }
    --m_depth;
    if (!q.exec(QStringLiteral("COMMIT"))) {
        const QSqlError error = q.lastError();
        m_writes.clear();
        QSqlQuery rollback(database());
        rollback.exec(QStringLiteral("ROLLBACK"));
        failSql(QStringLiteral("書き込めません"), error);
    }
    afterCommit(markBefore);
}

QString Connection::backupNow()
{
    return backup::make(database(), m_path);
}

// The first write of each run is preceded by a whole copy of the collection.
// A copy that cannot be made stops that write, once, so that the user hears
// of it before anything changes; later writes go on without a copy.
void Connection::backupBeforeFirstWrite()
{
    if (m_memory->backedUp.contains(m_path))
        return;
    m_memory->backedUp.insert(m_path);
    backupNow();
}

// Brings the rows read before up to date with what this transaction wrote,
// or forgets them where that cannot be done exactly.
// The rows of `cached` as the writes left them, in its order. A row written
// in place keeps its place; rows added, or moved by a change of the order
// column, are merged in once all are known, so that a batch of many writes
// costs one pass over the rows rather than one for each.
Snapshot Connection::patched(const Memory::Cached& cached) const
{
    const std::vector<Write>& writes = m_writes;
    const auto less = [&cached](const RowPtr& a, const RowPtr& b) {
        const QVariant x = a->value(cached.orderColumn);
        const QVariant y = b->value(cached.orderColumn);
        if (storedLess(x, y))
            return true;
        if (storedLess(y, x))
            return false;
        return a->rowid < b->rowid;
    };
    const qsizetype ours = std::count_if(writes.begin(), writes.end(),
                                         [&](const Write& w) { return w.table == cached.table; });
    if (ours == 0)
        return cached.rows;
    std::vector<RowPtr> rows(cached.rows.begin(), cached.rows.end());
    std::vector<RowPtr> placed;
    // where a row stands: its index among rows, or ~its index among placed
    QHash<qint64, qint64> where;
    const bool indexed = ours > 8; // a few writes find their rows faster without
    if (indexed)
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i])
                where.insert(rows[i]->rowid, qint64(i));
    const auto locate = [&](qint64 rowid) -> RowPtr* {
        if (indexed) {
            const auto at = where.constFind(rowid);
            if (at == where.cend())
                return nullptr;
            RowPtr& r = *at >= 0 ? rows[size_t(*at)] : placed[size_t(~*at)];
            return r ? &r : nullptr;
        }
        for (std::vector<RowPtr>* among : {&rows, &placed})
            for (RowPtr& r : *among)
                if (r && r->rowid == rowid)
                    return &r;
        return nullptr;
    };
    const auto place = [&](RowPtr row) {
        if (indexed)
            where.insert(row->rowid, ~qint64(placed.size()));
        placed.push_back(std::move(row));
    };
    bool removed = false;
    for (const Write& w : writes) {
        if (w.table != cached.table)
            continue;
        QVector<QVariant> values(cached.fields.size());
        RowPtr* at = nullptr;
        if (w.kind != Write::Insert) {
            at = locate(w.rowid);
            if (!at)
                continue;
            if (w.kind == Write::Delete) {
                at->reset();
                removed = true;
                continue;
            }
            values = (*at)->values();
        }
        for (int i = 0; i < cached.fields.size(); ++i)
            if (w.kind == Write::Insert || w.changed.value(i))
                values[i] = fromStored(toStored(w.values.value(i), cached.fields.at(i).type),
                                       cached.fields.at(i).type);
        RowPtr row = Row::make(w.rowid, values);
        if (at && !w.changed.value(cached.orderColumn)) {
            *at = std::move(row); // its place is the same
            continue;
        }
        if (at) {
            at->reset();
            removed = true;
        }
        place(std::move(row));
    }
    if (removed)
        rows.erase(std::remove(rows.begin(), rows.end(), nullptr), rows.end());
    placed.erase(std::remove(placed.begin(), placed.end(), nullptr), placed.end());
    if (placed.empty())
        return Snapshot(std::move(rows));
    std::stable_sort(placed.begin(), placed.end(), less);
    std::vector<RowPtr> merged;
    merged.reserve(rows.size() + placed.size());
    // equal rows already there come first, as each row placed after its equals
    std::merge(rows.begin(), rows.end(), placed.begin(), placed.end(), std::back_inserter(merged),
               less);
    return Snapshot(std::move(merged));
}

void Connection::afterCommit(const QString& markBefore)
{
    const QString markAfter = fileMark();
    const QString prefix = m_path + u'\n';
    auto& cache = m_memory->rows;
    for (auto it = cache.begin(); it != cache.end();) {
        Memory::Cached& c = it.value();
        if (!it.key().startsWith(prefix)) {
            ++it;
            continue;
        }
        // Rows of another shape than the writes' cannot be patched field by field.
        const bool otherShape = std::any_of(m_writes.begin(), m_writes.end(), [&](const Write& w) {
            return w.table == c.table && w.kind != Write::Delete && w.fields != c.fields;
        });
        // Writes made without telling the rows (a bulk insert, a statement of
        // the caller's own): reading again is the only sure way.
        if (markBefore.isEmpty() || markAfter.isEmpty() || c.mark != markBefore
            || (c.table.isEmpty() && !m_writes.empty()) || otherShape || m_unrecordedWrite) {
            it = cache.erase(it);
            continue;
        }
        c.rows = patched(c);
        c.mark = markAfter;
        ++it;
    }
    if (!markBefore.isEmpty() && m_memory->checked.value(m_path) == markBefore)
        m_memory->checked.insert(m_path, markAfter);
    m_writes.clear();
    m_unrecordedWrite = false;
}

qint64 Connection::insertRow(const QString& table, const QVector<FieldDef>& fields,
                             const QVector<QVariant>& values)
{
    if (m_depth == 0) { // every write is a transaction of its own at least
        qint64 rowid = -1;
        transaction([&] { rowid = insertRow(table, fields, values); });
        return rowid;
    }
    QStringList names;
    QStringList marks;
    for (const FieldDef& f : fields) {
        names.append(quoted(f.name));
        marks.append(QStringLiteral("?"));
    }
    QSqlQuery q(database());
    q.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                  .arg(quoted(table), names.join(u", "), marks.join(u", ")));
    for (int i = 0; i < fields.size(); ++i)
        q.addBindValue(toStored(values.value(i), fields.at(i).type));
    if (!q.exec())
        failSql(QStringLiteral("書き込めません"), q.lastError());
    const qint64 rowid = q.lastInsertId().toLongLong();
    m_writes.push_back({table, Write::Insert, rowid, values, {}, fields});
    return rowid;
}

void Connection::updateRow(const QString& table, const QVector<FieldDef>& fields,
                           const QVector<QVariant>& values, const QVector<bool>& changed,
                           qint64 rowid)
{
    if (m_depth == 0) {
        transaction([&] { updateRow(table, fields, values, changed, rowid); });
        return;
    }
    QStringList sets;
    QVariantList binds;
    for (int i = 0; i < fields.size(); ++i) {
        if (!changed.value(i))
            continue;
        sets.append(quoted(fields.at(i).name) + QStringLiteral(" = ?"));
        binds.append(toStored(values.value(i), fields.at(i).type));
    }
    if (sets.isEmpty())
        return;
    QSqlQuery q(database());
    q.prepare(
        QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?").arg(quoted(table), sets.join(u", ")));
    for (const QVariant& v : binds)
        q.addBindValue(v);
    q.addBindValue(rowid);
    if (!q.exec())
        failSql(QStringLiteral("書き込めません"), q.lastError());
    if (q.numRowsAffected() != 1)
        throw DbError(DbError::RowNotFound,
                      QStringLiteral("更新する行がデータベースファイル「%1」に見つかりません。"
                                     "他のプログラムが変更または削除した可能性があります。")
                          .arg(m_path));
    m_writes.push_back({table, Write::Update, rowid, values, changed, fields});
}

void Connection::rowWrittenHere(const QString& table, qint64 rowid,
                                const std::optional<QVariantMap>& stored, bool added)
{
    const QVector<FieldDef>* fields = table == cdnameTable().name() ? &cdnameFields()
        : table == kyokuTable().name()                              ? &kyokuFields()
                                                                    : nullptr;
    if (!fields)
        return; // no rows of it are read to follow
    if (!stored) {
        m_writes.push_back({table, Write::Delete, rowid, {}, {}, {}});
        return;
    }
    QVector<QVariant> values;
    for (const FieldDef& f : *fields) {
        const auto v = stored->constFind(f.name);
        if (v == stored->cend()) { // a file of another shape: read again
            m_unrecordedWrite = true;
            return;
        }
        values << fromStored(*v, f.type);
    }
    m_writes.push_back({table, added ? Write::Insert : Write::Update, rowid, values,
                        QVector<bool>(fields->size(), true), *fields});
}

void Connection::deleteRow(const QString& table, qint64 rowid)
{
    if (m_depth == 0) {
        transaction([&] { deleteRow(table, rowid); });
        return;
    }
    QSqlQuery q(database());
    q.prepare(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(quoted(table)));
    q.addBindValue(rowid);
    if (!q.exec())
        failSql(QStringLiteral("書き込めません"), q.lastError());
    if (q.numRowsAffected() != 1)
        throw DbError(DbError::RowNotFound,
                      QStringLiteral("削除する行がデータベースファイル「%1」に見つかりません。"
                                     "他のプログラムが変更または削除した可能性があります。")
                          .arg(m_path));
    m_writes.push_back({table, Write::Delete, rowid, {}, {}, {}});
}

void Connection::insertRows(const QString& table, const QVector<FieldDef>& fields,
                            const QVector<QVector<QVariant>>& rows)
{
    transaction([&] {
        QStringList names, marks;
        for (const FieldDef& f : fields) {
            names.append(quoted(f.name));
            marks.append(QStringLiteral("?"));
        }
        QSqlQuery q(database());
        if (!q.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                           .arg(quoted(table), names.join(u", "), marks.join(u", "))))
            failSql(QStringLiteral("書き込めません"), q.lastError());
        m_unrecordedWrite = true;
        for (const QVector<QVariant>& row : rows) {
            for (int i = 0; i < fields.size(); ++i)
                q.addBindValue(toStored(row.value(i), fields.at(i).type));
            if (!q.exec())
                failSql(QStringLiteral("書き込めません"), q.lastError());
        }
    });
}

QSqlQuery Connection::query(const QString& what, const QString& sql, const QVariantList& params)
{
    QSqlQuery q(database());
    q.setForwardOnly(true);
    bool done = q.prepare(sql);
    for (const QVariant& p : params)
        q.addBindValue(p);
    if (done)
        done = q.exec();
    if (!done)
        throw DbError(DbError::ProviderError,
                      QStringLiteral("%1を扱えません。\n原因: %2").arg(what, q.lastError().text()));
    return q;
}

bool Connection::hasTable(const QString& name)
{
    return query(QStringLiteral("データベース"),
                 QStringLiteral("SELECT 1 FROM main.sqlite_master WHERE type = 'table' AND "
                                "name = ?"),
                 {name})
        .next();
}

void Connection::followDeletes(const QString& table, const QString& key, const QString& followed,
                               const QStringList& columns)
{
    // an old database may hold two CDs of one number: what follows the number
    // stays while one of them does. (A trigger's own statements may not name
    // the schema; the TEMP trigger's table is found in main.)
    QStringList matches;
    for (const QString& c : columns.isEmpty() ? QStringList{key} : columns)
        matches << QStringLiteral("%1 = OLD.%2").arg(c, key);
    QSqlQuery q(database());
    if (!q.exec(QStringLiteral("CREATE TEMP TRIGGER IF NOT EXISTS %1_follows AFTER DELETE ON "
                               "main.%2 WHEN NOT EXISTS (SELECT 1 FROM main.%2 WHERE %3 = OLD.%3) "
                               "BEGIN DELETE FROM %1 WHERE %4; END")
                    .arg(table, followed, key, matches.join(QStringLiteral(" OR ")))))
        failSql(QStringLiteral("準備できません"), q.lastError());
}

QVariantList Connection::column(const QString& sql, const QVariantList& params)
{
    if (m_depth > 0 && !sql.trimmed().startsWith(QStringLiteral("SELECT"), Qt::CaseInsensitive))
        m_unrecordedWrite = true;
    QSqlQuery q(database());
    q.setForwardOnly(true);
    q.prepare(sql);
    for (const QVariant& p : params)
        q.addBindValue(p);
    if (!q.exec())
        failSql(QStringLiteral("読み込めません"), q.lastError());
    QVariantList out;
    while (q.next())
        out.append(q.value(0));
    return out;
}
