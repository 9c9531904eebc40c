#pragma once

#include <QSqlQuery>

#include "dberror.h"
#include "view.h"

#include <QHash>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

#include <functional>
#include <optional>

// The open collection file. Opening checks that an existing file really is a
// usable collection before anything reads or writes it, and creates the two
// empty tables only in a file it has just made itself.
class Connection {
public:
    // When an existing file's integrity is checked: before the opening
    // returns, or later by the caller (who reads the file in the background
    // anyway), who reports the outcome through integrityChecked. Until then
    // every write first waits for the check.
    enum class Check { Now, Later };
    // What a program remembers of the files it opened, across the openings of
    // one collection: the rows read, by file and query, with the file mark
    // they were read at, so that reopening a file as this program left it (the
    // rebuild after an entry form closes) reads nothing; and the marks at
    // which files were checked whole, or found damaged with the cause; and
    // the files already backed up in this run.
    struct Memory {
        struct Cached {
            Snapshot rows;
            QString mark;
            QString table; // set where the rows can follow this program's writes
            int orderColumn = -1;
            QVector<FieldDef> fields;
        };
        QHash<QString, Cached> rows;
        QHash<QString, QString> checked;
        QHash<QString, std::pair<QString, QString>> damaged;
        // Files backed up (or refused a backup, said once) before their first write.
        QSet<QString> backedUp;
        // Forgets what was read and checked, so that the next opening reads and checks as a
        // fresh program does.
        void clear()
        {
            rows.clear();
            checked.clear();
            damaged.clear();
        }
    };
    // Without a memory of its owner's, a connection keeps one of its own.
    // Throws DbError with a Japanese description naming the file and the cause.
    explicit Connection(const QString& path, Check check = Check::Now, Memory* memory = nullptr);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const QString& path() const { return m_path; }
    bool integrityPending() const { return m_checkPending; }
    void setCheckWaiter(std::function<void()> wait) { m_waitForCheck = std::move(wait); }
    // Run inside each transaction just before it commits (the history files
    // the change there); what it throws rolls the transaction back.
    void setBeforeCommit(std::function<void()> work) { m_beforeCommit = std::move(work); }
    // A write of the running transaction made past this connection's own
    // statements: the rows read before are read again.
    void rowsChangedElsewhere() { m_unrecordedWrite = true; }
    // A row of the design's tables written by a statement of the caller's
    // own in the running transaction, told with its stored values by column
    // (none for a row deleted), so that the rows already read follow it
    // rather than being read again.
    void rowWrittenHere(const QString& table, qint64 rowid,
                        const std::optional<QVariantMap>& stored, bool added);
    // The outcome of the check left for later: `problems` empty when the file
    // at `mark` is whole. A damaged file refuses every write from now on.
    void integrityChecked(const QString& mark, const QStringList& problems);
    // Why writes are refused after a damaging check (a DbError without a text if none was).
    DbError damage() const { return m_damage.value_or(DbError(DbError::Damaged, QString())); }
    // What identifies the file's contents (see fileMark).
    QString currentMark() const { return fileMark(); }
    // Whether the file at the path is no longer the one opened (replaced or
    // deleted by another program).
    bool fileReplaced() const;
    QSqlDatabase database() const;

    // Reads all rows of a query whose result columns are `fields` preceded by
    // the rowid. While nothing in the file has changed, a query read before is
    // served from the rows already read: views opened together share them.
    // A query that reads a whole table in the order of one of its columns can
    // be kept up to date with this program's own writes instead of being read
    // again: `table` and the `orderColumn` (an index into fields) say so.
    struct Patchable {
        QString table;
        int orderColumn = -1;
    };
    Snapshot read(const QString& sql, const QVector<FieldDef>& fields, const Patchable& patchable);
    Snapshot read(const QString& sql, const QVector<FieldDef>& fields);
    // Whether read() would answer `sql` from the rows already read.
    bool isKept(const QString& sql) const;
    // Rows of a query read elsewhere at `mark`, kept as if read here.
    void keepRead(const QString& sql, const QVector<FieldDef>& fields, const Patchable& patchable,
                  const Snapshot& rows, const QString& mark);

    // Runs `work` as one transaction: every statement it writes is stored, or
    // none is. A transaction already running takes the work in as its own.
    // Refusals (a lock held by another program, a read-only file, a full disk)
    // come back as DbError with the cause in Japanese, after the rollback.
    void transaction(const std::function<void()>& work);
    bool inTransaction() const { return m_depth > 0; }
    // A whole copy of the collection into the backup folder now; throws DbError.
    QString backupNow();

    qint64 insertRow(const QString& table, const QVector<FieldDef>& fields,
                     const QVector<QVariant>& values);
    void updateRow(const QString& table, const QVector<FieldDef>& fields,
                   const QVector<QVariant>& values, const QVector<bool>& changed, qint64 rowid);
    void deleteRow(const QString& table, qint64 rowid);
    // Many rows at once, inside the running transaction (or one of their own).
    void insertRows(const QString& table, const QVector<FieldDef>& fields,
                    const QVector<QVector<QVariant>>& rows);

    // From now on a row of `followed` this connection deletes, leaving no
    // other row with its `key`, takes the rows of `table` with that key along,
    // in the same transaction (a TEMP trigger: the file's schema is untouched).
    // A table naming the key in several columns (a pair of CDs) names them in
    // `columns`: a row goes when any of them bears the deleted key.
    void followDeletes(const QString& table, const QString& key, const QString& followed,
                       const QStringList& columns = {});
    // A statement on this program's own tables, its values bound; a refusal
    // throws DbError (ProviderError) "<what>を扱えません" with SQLite's cause.
    // It leaves the rows read of the design's tables as they are.
    QSqlQuery query(const QString& what, const QString& sql, const QVariantList& params = {});
    // Whether the file has a table of this name.
    bool hasTable(const QString& name);
    // Runs a query with bound values and returns the first column of every row.
    QVariantList column(const QString& sql, const QVariantList& params = {});

    // The error for a statement on the file at `path` that failed while
    // `doing` (Japanese, as in "読み込めません"): a damaged file says so.
    static DbError failure(const QString& path, const QString& doing, const QSqlError& error,
                           bool writing = false);

    static const QVector<FieldDef>& cdnameFields();
    // The statements that make the two empty tables of a new collection.
    static const QStringList& schemaStatements();
    static const QStringList& ownTableStatements();
    static const QVector<FieldDef>& kyokuFields();

private:
    struct Write {
        QString table;
        enum Kind { Insert, Update, Delete } kind;
        qint64 rowid;
        QVector<QVariant> values;
        QVector<bool> changed;
        QVector<FieldDef> fields;
    };
    void afterCommit(const QString& markBefore);
    Snapshot patched(const Memory::Cached& cached) const;
    void backupBeforeFirstWrite();
    struct RecoveryNeeded { };
    void openExisting();
    void openReadWrite();
    void addOwnTables();
    bool createNew();
    void checkReadOnly();
    void checkRecoveredCopy();
    void validate(const QString& name, bool remember = true);
    void checkIntegrity(const QString& name);
    void requireColumns(const QString& name, const QString& table, const QVector<FieldDef>& fields);
    QString fileIdentity() const;
    QString fileMark() const;
    [[noreturn]] void fail(const QString& cause, int number = DbError::ProviderError) const;
    [[noreturn]] void failSql(const QString& doing, const class QSqlError& error) const;

    QString m_path;
    QString m_name;
    bool m_checkLater = false;
    Memory m_ownMemory;
    Memory* m_memory;
    bool m_checkPending = false;
    std::function<void()> m_waitForCheck;
    std::function<void()> m_beforeCommit;
    std::optional<DbError> m_damage;
    bool m_ready = false;
    int m_depth = 0;
    QString m_identity;
    QString m_markAtBegin;
    std::vector<Write> m_writes; // this transaction's, for the rows already read
    bool m_unrecordedWrite = false; // a write the rows already read cannot follow
};

// Why SQLite refused, in Japanese ("ディスクがいっぱいです"), from its error code.
QString sqliteCause(const QSqlError& error);

QVariant fromStored(const QVariant& v, FieldType type);
QVariant toStored(const QVariant& v, FieldType type);
// A date with its time of day as stored and exported: YYYY-MM-DD, and
// " HH:MM:SS" after it unless the time is midnight.
QString dateTimeText(const QDateTime& at);
