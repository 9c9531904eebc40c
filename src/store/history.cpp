#include "history.h"

#include "connection.h"
#include "dberror.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QIODevice>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariantMap>

#include <optional>

namespace history {

namespace {

// The collection's tables whose rows are noted.
const QStringList& loggedTables()
{
    static const QStringList tables
        = {QStringLiteral("cdname"),   QStringLiteral("kyoku"),       QStringLiteral("namegroup"),
           QStringLiteral("cdrating"), QStringLiteral("kyokurating"), QStringLiteral("loan"),
           QStringLiteral("wish"),     QStringLiteral("cdapart"),     QStringLiteral("cdnote")};
    return tables;
}

constexpr int Kept = 2000;

QString quotedName(const QString& name)
{
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

QSqlQuery run(Connection& cn, const QString& sql, const QVariantList& params = {})
{
    return cn.query(QStringLiteral("変更履歴"), sql, params);
}

// The statements of one change's many rows, each prepared once: a batch of
// 10,000 songs would otherwise spend most of its time reading the same SQL
// again. They end with the change, so that none holds the file afterwards.
class Prepared {
public:
    explicit Prepared(Connection& cn) : m_cn(cn) { }
    QSqlQuery& run(const QString& sql, const QVariantList& params)
    {
        auto found = m_queries.find(sql);
        if (found == m_queries.end()) {
            found = m_queries.insert(sql, QSqlQuery(m_cn.database()));
            found->setForwardOnly(true);
            if (!found->prepare(sql))
                fail(*found);
        }
        for (int i = 0; i < params.size(); ++i)
            found->bindValue(i, params[i]);
        if (!found->exec())
            fail(*found);
        return *found;
    }

private:
    [[noreturn]] static void fail(const QSqlQuery& q)
    {
        throw DbError(DbError::ProviderError,
                      QStringLiteral("変更履歴を扱えません。\n原因: %1").arg(q.lastError().text()));
    }
    Connection& m_cn;
    QHash<QString, QSqlQuery> m_queries;
};

// The table's columns as the file has them.
QStringList columnsOf(Connection& cn, const QString& table)
{
    QStringList columns;
    QSqlQuery q = run(cn, QStringLiteral("SELECT name FROM pragma_table_info(?)"), {table});
    while (q.next())
        columns << q.value(0).toString();
    return columns;
}

// A row's values by column; absent for no row. A NULL is an invalid value,
// whatever type the driver gives it.
using Values = std::optional<QVariantMap>;

QVariantMap valuesOf(const QSqlQuery& q, const QStringList& columns, int from)
{
    QVariantMap values;
    for (int i = 0; i < columns.size(); ++i) {
        const QVariant v = q.value(from + i);
        values.insert(columns[i], v.isNull() ? QVariant() : v);
    }
    return values;
}

Values currentRow(Prepared& st, const QString& table, const QStringList& columns, qint64 rowid)
{
    QStringList names;
    for (const QString& c : columns)
        names << quotedName(c);
    QSqlQuery& q = st.run(QStringLiteral("SELECT %1 FROM main.%2 WHERE rowid = ?")
                              .arg(names.join(u", "), quotedName(table)),
                          {rowid});
    Values row;
    if (q.next())
        row = valuesOf(q, columns, 0);
    q.finish();
    return row;
}

QByteArray stored(const Values& v)
{
    if (!v)
        return QByteArray();
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << *v;
    return bytes;
}

// A row's values as history_row keeps them: NULL for no row.
QVariant blob(const Values& v)
{
    return v ? QVariant(stored(v)) : QVariant();
}

Values read(const QVariant& blob)
{
    if (blob.isNull())
        return std::nullopt;
    QVariantMap v;
    QDataStream in(blob.toByteArray());
    in >> v;
    return v;
}

struct RowChange {
    QString table;
    qint64 rowid;
    Values before, after;
    qint64 kept = -1; // its row in history_row
};

// A CD's picture stands in a change as a row of a table of its own name, the
// CD's number its row: the picture's digest, and while it is not the CD's,
// the name it bears in the trash.
const QString jacketRows = QStringLiteral("jacket");
const QString digestKey = QStringLiteral("画像");
const QString placeKey = QStringLiteral("場所");

QString folderOf(Connection& cn)
{
    return QFileInfo(cn.path()).absolutePath();
}

Values currentJacket(Connection& cn, qint64 cdid)
{
    const QString digest = jacket::digestOf(jacket::pictureOf(folderOf(cn), cdid));
    if (digest.isEmpty())
        return std::nullopt;
    return QVariantMap{{digestKey, digest}};
}

QString digestIn(const Values& v)
{
    return v ? v->value(digestKey).toString() : QString();
}

QVector<RowChange> rowsOf(Connection& cn, qint64 id)
{
    QVector<RowChange> rows;
    QSqlQuery q = run(cn,
                      QStringLiteral("SELECT 表, 行, 前, 後, rowid FROM history_row WHERE 変更 = ? "
                                     "ORDER BY rowid"),
                      {id});
    while (q.next())
        rows << RowChange{q.value(0).toString(), q.value(1).toLongLong(), read(q.value(2)),
                          read(q.value(3)), q.value(4).toLongLong()};
    return rows;
}

// How the collector knows a row: its CD, its song, its name.
QString rowName(const RowChange& r)
{
    if (r.table == jacketRows)
        return QStringLiteral("CD %1 のジャケット写真").arg(r.rowid);
    const QVariantMap& v = r.after ? *r.after : *r.before;
    if (r.table == u"cdname")
        return QStringLiteral("CD「%1」").arg(v.value(QStringLiteral("CD名")).toString());
    if (r.table == u"kyoku")
        return QStringLiteral("曲「%1」（CD「%2」）")
            .arg(v.value(QStringLiteral("曲名")).toString(),
                 v.value(QStringLiteral("CD名")).toString());
    if (r.table == u"cdrating")
        return QStringLiteral("CD %1 の評価").arg(v.value(QStringLiteral("CDID")).toString());
    if (r.table == u"kyokurating")
        return QStringLiteral("曲 %1 の評価").arg(v.value(QStringLiteral("曲ID")).toString());
    if (r.table == u"cdnote")
        return QStringLiteral("CD %1 のメモ").arg(v.value(QStringLiteral("CDID")).toString());
    if (r.table == u"loan")
        return QStringLiteral("CD %1 の貸出（%2）")
            .arg(v.value(QStringLiteral("CDID")).toString(),
                 v.value(QStringLiteral("相手")).toString());
    if (r.table == u"cdapart")
        return QStringLiteral("CD %1 と CD %2 の組")
            .arg(v.value(QStringLiteral("CDID1")).toString(),
                 v.value(QStringLiteral("CDID2")).toString());
    if (r.table == u"wish")
        return QStringLiteral("欲しいもの「%1」")
            .arg(v.value(QStringLiteral("タイトル")).toString());
    return QStringLiteral("名前「%1」").arg(v.value(QStringLiteral("表記")).toString());
}

QString touchedBy(const QVector<RowChange>& rows)
{
    QStringList names;
    for (const RowChange& r : rows)
        if (r.table == u"cdname" || r.table == u"kyoku" || names.isEmpty())
            names << rowName(r);
    names.removeDuplicates();
    if (names.size() > 3)
        return QStringLiteral("%1 ほか %2 件")
            .arg(names.mid(0, 3).join(u"、"))
            .arg(names.size() - 3);
    return names.join(u"、");
}

QString kindOf(const QVector<RowChange>& rows)
{
    for (const char16_t* table : {u"cdname", u"kyoku"}) {
        const QString what
            = QString::fromUtf16(table) == u"cdname" ? QStringLiteral("CD") : QStringLiteral("曲");
        for (const RowChange& r : rows)
            if (r.table == table)
                return what
                    + (!r.before      ? QStringLiteral("の追加")
                           : !r.after ? QStringLiteral("の削除")
                                      : QStringLiteral("の修正"));
    }
    for (const RowChange& r : rows) {
        if (r.table == u"namegroup")
            return QStringLiteral("名前の整理");
        if (r.table == u"loan")
            return r.before ? QStringLiteral("返却") : QStringLiteral("貸出");
        if (r.table == u"wish")
            return QStringLiteral("欲しいもの");
        if (r.table == jacketRows)
            return r.after ? QStringLiteral("ジャケットの設定")
                           : QStringLiteral("ジャケットの削除");
        if (r.table == u"cdnote")
            return QStringLiteral("メモ");
    }
    return QStringLiteral("評価");
}

void fileRows(Connection& cn, const QString& kind, const QVector<RowChange>& rows,
              Change::State state, const QString& note)
{
    const QVariantList when = {QDateTime::currentDateTime().toString(Qt::ISODateWithMs)};
    const qint64 change
        = run(cn,
              QStringLiteral("INSERT INTO history (日時, 種類, 内容, 状態) VALUES (?, ?, ?, ?)"),
              when + QVariantList{kind, note.isEmpty() ? touchedBy(rows) : note, int(state)})
              .lastInsertId()
              .toLongLong();
    Prepared st(cn);
    for (const RowChange& r : rows)
        st.run(
            QStringLiteral("INSERT INTO history_row (変更, 表, 行, 前, 後) VALUES (?, ?, ?, ?, ?)"),
            {change, r.table, r.rowid, blob(r.before), blob(r.after)});
    // what was taken back can no longer be done again once something else is done
    run(cn, QStringLiteral("UPDATE history SET 状態 = 2 WHERE 状態 = 1"));
    run(cn, QStringLiteral("DELETE FROM history_row WHERE 変更 <= ?"), {change - Kept});
    run(cn, QStringLiteral("DELETE FROM history WHERE id <= ?"), {change - Kept});
}

// Rows noted since the last change was filed, with what they hold now.
QVector<RowChange> noted(Connection& cn)
{
    QVector<RowChange> rows;
    for (const QString& table : loggedTables()) {
        const QString log = QStringLiteral("temp.%1").arg(quotedName(u"log_" + table));
        if (!run(cn, QStringLiteral("SELECT 1 FROM temp.sqlite_master WHERE name = ?"),
                 {QString(u"log_" + table)})
                 .next())
            continue;
        const QStringList columns = columnsOf(cn, table);
        QStringList noted, now;
        for (const QString& c : columns) {
            noted << u"l." + quotedName(c);
            now << u"t." + quotedName(c);
        }
        // each row noted beside what it holds now, in one reading
        QSqlQuery q = run(cn,
                          QStringLiteral("SELECT l._rid, l._absent, t.rowid IS NOT NULL, %1, %2 "
                                         "FROM %3 AS l LEFT JOIN main.%4 AS t ON t.rowid = l._rid "
                                         "ORDER BY l.rowid")
                              .arg(noted.join(u", "), now.join(u", "), log, quotedName(table)));
        while (q.next()) {
            RowChange r{table, q.value(0).toLongLong(), std::nullopt, std::nullopt};
            if (q.value(1).toInt() == 0)
                r.before = valuesOf(q, columns, 3);
            if (q.value(2).toBool())
                r.after = valuesOf(q, columns, 3 + int(columns.size()));
            if (r.before != r.after)
                rows << r;
        }
        run(cn, QStringLiteral("DELETE FROM %1").arg(log));
    }
    if (run(cn, QStringLiteral("SELECT 1 FROM temp.sqlite_master WHERE name = 'log_jacket'"))
            .next()) {
        QSqlQuery q
            = run(cn, QStringLiteral("SELECT _rid, 前, 後 FROM temp.log_jacket ORDER BY rowid"));
        while (q.next()) {
            RowChange r{jacketRows, q.value(0).toLongLong(), read(q.value(1)), read(q.value(2))};
            if (r.before != r.after)
                rows << r;
        }
        run(cn, QStringLiteral("DELETE FROM temp.log_jacket"));
    }
    return rows;
}

// A picture moved while a change is taken back or done again, to be moved
// back if the change fails.
struct Moved {
    QString from, to;
};

// Puts the CD's picture as `to` has it, the one there now (as `from` has it)
// going to the trash; returns what the row then says of both.
std::pair<Values, Values> moveJacket(Connection& cn, const RowChange& r, const Values& from,
                                     const Values& to, QVector<Moved>& moved)
{
    const QString folder = folderOf(cn);
    const QString picture = jacket::pictureOf(folder, r.rowid);
    Values left = from, put = to;
    if (from) {
        const QString trashed = jacket::moveToTrash(folder, r.rowid);
        moved << Moved{picture, trashed};
        left->insert(placeKey, QFileInfo(trashed).fileName());
    }
    if (to) {
        const QString kept
            = QDir(jacket::trashFolder(folder)).filePath(to->value(placeKey).toString());
        if (!QFile::rename(kept, picture))
            throw DbError(
                DbError::ProviderError,
                QStringLiteral("ジャケット写真「%1」を戻せません（何も変更していません）。")
                    .arg(QDir::toNativeSeparators(kept)));
        moved << Moved{kept, picture};
        put->remove(placeKey);
    }
    return {left, put};
}

// Puts the rows as `to` has them, after checking that they are as `from` has
// them; in one transaction, nothing written when one differs.
void apply(Connection& cn, qint64 id, bool back)
{
    QSqlQuery state = run(cn, QStringLiteral("SELECT 状態, 内容 FROM history WHERE id = ?"), {id});
    if (!state.next())
        throw DbError(DbError::ItemNotFound, QStringLiteral("その変更は履歴にありません。"));
    if (state.value(0).toInt() == Change::NotUndoable)
        throw DbError(
            DbError::NotAllowedNow,
            QStringLiteral("取り込みは一件ずつ元に戻せません。%1").arg(state.value(1).toString()));
    if (state.value(0).toInt() != (back ? Change::Done : Change::Undone))
        throw DbError(DbError::NotAllowedNow,
                      back ? QStringLiteral("その変更はすでに元に戻してあります。")
                           : QStringLiteral("その変更はやり直せません。"));
    const QVector<RowChange> rows = rowsOf(cn, id);
    QHash<QString, QStringList> columnsByTable;
    for (const RowChange& r : rows)
        if (!columnsByTable.contains(r.table))
            columnsByTable.insert(r.table, columnsOf(cn, r.table));
    const auto refused = [back](const RowChange& r, const QString& why) {
        return DbError(
            DbError::ProviderError,
            why.arg(rowName(r),
                    back ? QStringLiteral("元に戻せません") : QStringLiteral("やり直せません")));
    };
    for (const RowChange& r : rows) {
        const Values& expected = back ? r.after : r.before;
        const Values& to = back ? r.before : r.after;
        if (r.table != jacketRows)
            continue;
        if (digestIn(currentJacket(cn, r.rowid)) != digestIn(expected))
            throw refused(r,
                          QStringLiteral("この変更のあとで%1が変わっているため、%2"
                                         "（何も変更していません）。"));
        if (to
            && jacket::digestOf(
                   QDir(jacket::trashFolder(folderOf(cn))).filePath(to->value(placeKey).toString()))
                != digestIn(to))
            throw refused(r,
                          QStringLiteral("%1の前の画像が保管用フォルダーに残っていないため、%2"
                                         "（何も変更していません）。"));
    }
    QVector<Moved> moved;
    Prepared st(cn);
    try {
        cn.transaction([&] {
            for (const RowChange& r : rows) {
                const Values& expected = back ? r.after : r.before;
                if (r.table == jacketRows)
                    continue;
                if (currentRow(st, r.table, columnsByTable.value(r.table), r.rowid) != expected)
                    throw DbError(DbError::ProviderError,
                                  QStringLiteral("この変更のあとで%1が変わっているため、%2"
                                                 "（何も変更していません）。")
                                      .arg(rowName(r),
                                           back ? QStringLiteral("元に戻せません")
                                                : QStringLiteral("やり直せません")));
            }
            // rows taken away first, so that a row put back never meets a key
            // still held by the row that replaced it
            for (int pass = 0; pass < 3; ++pass)
                for (const RowChange& r : rows) {
                    const Values& from = back ? r.after : r.before;
                    const Values& to = back ? r.before : r.after;
                    if (r.table == jacketRows)
                        continue;
                    const QString table = QStringLiteral("main.%1").arg(quotedName(r.table));
                    const QStringList& columns = columnsByTable[r.table];
                    if (pass == 0 && !to) {
                        st.run(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(table),
                               {r.rowid});
                        cn.rowWrittenHere(r.table, r.rowid, std::nullopt, false);
                    } else if (pass == 1 && from && to) {
                        QStringList sets;
                        QVariantList values;
                        for (const QString& c : columns) {
                            sets << quotedName(c) + QStringLiteral(" = ?");
                            values << to->value(c);
                        }
                        st.run(QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?")
                                   .arg(table, sets.join(u", ")),
                               values << r.rowid);
                        cn.rowWrittenHere(r.table, r.rowid, to, false);
                    } else if (pass == 2 && !from) {
                        QStringList names{QStringLiteral("rowid")}, marks{QStringLiteral("?")};
                        QVariantList values{r.rowid};
                        for (const QString& c : columns) {
                            names << quotedName(c);
                            marks << QStringLiteral("?");
                            values << to->value(c);
                        }
                        st.run(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                   .arg(table, names.join(u", "), marks.join(u", ")),
                               values);
                        cn.rowWrittenHere(r.table, r.rowid, to, true);
                    }
                }
            // the pictures last, so that a row refused leaves them where they are
            for (const RowChange& r : rows) {
                if (r.table != jacketRows)
                    continue;
                const auto [left, put] = moveJacket(cn, r, back ? r.after : r.before,
                                                    back ? r.before : r.after, moved);
                run(cn, QStringLiteral("UPDATE history_row SET 前 = ?, 後 = ? WHERE rowid = ?"),
                    {blob(back ? put : left), blob(back ? left : put), r.kept});
            }
            noted(cn); // what this wrote is the change itself, not a new one
            run(cn,
                back ? QStringLiteral(
                    "UPDATE history SET 状態 = 1, 取消順 = (SELECT ifnull(max(取消順), "
                    "0) + 1 FROM history) WHERE id = ?")
                     : QStringLiteral("UPDATE history SET 状態 = 0, 取消順 = NULL WHERE id = ?"),
                {id});
        });
    } catch (...) {
        for (auto m = moved.crbegin(); m != moved.crend(); ++m)
            QFile::rename(m->to, m->from);
        throw;
    }
}

} // namespace

const QStringList& tableStatements()
{
    static const QStringList statements = {
        QStringLiteral("CREATE TABLE IF NOT EXISTS history (id INTEGER PRIMARY KEY, 日時 TEXT NOT "
                       "NULL, 種類 TEXT NOT NULL, 内容 TEXT NOT NULL, 状態 INTEGER NOT NULL, "
                       "取消順 INTEGER)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS history_row (変更 INTEGER NOT NULL, 表 TEXT NOT "
                       "NULL, 行 INTEGER NOT NULL, 前 BLOB, 後 BLOB)"),
    };
    return statements;
}

void startLogging(Connection& cn)
{
    // a row put in place of another (INSERT OR REPLACE) tells of the one it removes
    run(cn, QStringLiteral("PRAGMA recursive_triggers = ON"));
    run(cn,
        QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS log_jacket (_rid INTEGER UNIQUE, 前 "
                       "BLOB, 後 BLOB)"));
    for (const QString& table : loggedTables()) {
        if (!cn.hasTable(table))
            continue;
        const QStringList columns = columnsOf(cn, table);
        QStringList names, olds;
        for (const QString& c : columns) {
            names << quotedName(c);
            olds << u"OLD." + quotedName(c);
        }
        const QString log = quotedName(u"log_" + table);
        const QString on = QStringLiteral("main.%1").arg(quotedName(table));
        // the first state of each row in the transaction: absent, or its values
        run(cn,
            QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS %1 (_rid INTEGER UNIQUE, _absent "
                           "INTEGER, %2)")
                .arg(log, names.join(u", ")));
        const QString keep = QStringLiteral("INSERT OR IGNORE INTO %1 VALUES (OLD.rowid, 0, %2)")
                                 .arg(log, olds.join(u", "));
        run(cn,
            QStringLiteral("CREATE TEMP TRIGGER IF NOT EXISTS %1 AFTER INSERT ON %2 BEGIN "
                           "INSERT OR IGNORE INTO %3 (_rid, _absent) VALUES (NEW.rowid, "
                           "1); END")
                .arg(quotedName(u"log_" + table + u"_insert"), on, log));
        run(cn,
            QStringLiteral("CREATE TEMP TRIGGER IF NOT EXISTS %1 AFTER UPDATE ON %2 BEGIN %3; "
                           "END")
                .arg(quotedName(u"log_" + table + u"_update"), on, keep));
        run(cn,
            QStringLiteral("CREATE TEMP TRIGGER IF NOT EXISTS %1 AFTER DELETE ON %2 BEGIN %3; "
                           "END")
                .arg(quotedName(u"log_" + table + u"_delete"), on, keep));
    }
}

void fileChange(Connection& cn, const QString& kind)
{
    if (!cn.hasTable(QStringLiteral("history")))
        return;
    const QVector<RowChange> rows = noted(cn);
    if (!rows.isEmpty())
        fileRows(cn, kind.isEmpty() ? kindOf(rows) : kind, rows, Change::Done, QString());
}

void noteJacket(Connection& cn, const jacket::Replaced& r)
{
    if (!r.changed()
        || !run(cn, QStringLiteral("SELECT 1 FROM temp.sqlite_master WHERE name = 'log_jacket'"))
                .next())
        return;
    Values before, after;
    if (!r.before.isEmpty())
        before = QVariantMap{{digestKey, r.before}, {placeKey, QFileInfo(r.keptAt).fileName()}};
    if (!r.after.isEmpty())
        after = QVariantMap{{digestKey, r.after}};
    // the first picture of the transaction is the one taken back to
    run(cn,
        QStringLiteral("INSERT INTO temp.log_jacket (_rid, 前, 後) VALUES (?, ?, ?) ON "
                       "CONFLICT (_rid) DO UPDATE SET 後 = excluded.後"),
        {r.cdid, blob(before), blob(after)});
}

void fileImport(Connection& cn, const QString& kind, const QString& note)
{
    if (!cn.hasTable(QStringLiteral("history")))
        return;
    noted(cn); // its rows are not taken back one by one
    fileRows(cn, kind, {}, Change::NotUndoable, note);
}

QString importNote(qsizetype cds, qsizetype songs, const QString& more)
{
    return QStringLiteral("CD %1枚・曲 %2曲%3を追加。取り込む前に戻すには、ファイル → "
                          "バックアップから復元... で取り込みの前のバックアップを選びます。")
        .arg(cds)
        .arg(songs)
        .arg(more.isEmpty() ? QString() : QStringLiteral("（%1）").arg(more));
}

QString stateText(Change::State state)
{
    switch (state) {
    case Change::Done:
        return QStringLiteral("済み");
    case Change::Undone:
        return QStringLiteral("元に戻した");
    case Change::NoRedo:
        return QStringLiteral("元に戻した（やり直せない）");
    case Change::NotUndoable:
        return QStringLiteral("元に戻すには復元");
    }
    return QString();
}

QVector<Change> list(Connection& cn)
{
    QVector<Change> out;
    if (!cn.hasTable(QStringLiteral("history")))
        return out;
    QSqlQuery q = run(
        cn, QStringLiteral("SELECT id, 日時, 種類, 内容, 状態 FROM history ORDER BY id DESC"));
    while (q.next())
        out << Change{q.value(0).toLongLong(),
                      QDateTime::fromString(q.value(1).toString(), Qt::ISODateWithMs),
                      q.value(2).toString(), q.value(3).toString(),
                      Change::State(q.value(4).toInt())};
    return out;
}

qint64 toUndo(Connection& cn)
{
    if (!cn.hasTable(QStringLiteral("history")))
        return -1;
    // an import stands in the way until it is taken back by a restore
    QSqlQuery q = run(cn, QStringLiteral("SELECT max(id) FROM history WHERE 状態 IN (0, 3)"));
    return q.next() && !q.value(0).isNull() ? q.value(0).toLongLong() : -1;
}

qint64 toRedo(Connection& cn)
{
    if (!cn.hasTable(QStringLiteral("history")))
        return -1;
    QSqlQuery q = run(cn,
                      QStringLiteral("SELECT id FROM history WHERE 状態 = 1 ORDER BY 取消順 "
                                     "DESC LIMIT 1"));
    return q.next() ? q.value(0).toLongLong() : -1;
}

void undo(Connection& cn, qint64 id)
{
    apply(cn, id, true);
}

void redo(Connection& cn, qint64 id)
{
    apply(cn, id, false);
}

Touched touched(Connection& cn, qint64 id)
{
    const auto cdOfSong = [&cn](const QVariant& songId) {
        return cn
            .column(QStringLiteral("SELECT c.CDID FROM main.kyoku AS k JOIN main.cdname AS c "
                                   "ON c.CD名 = k.CD名 WHERE k.曲ID = ?"),
                    {songId})
            .value(0);
    };
    for (const RowChange& r : rowsOf(cn, id)) {
        if (r.table == jacketRows)
            return {r.rowid, {}};
        const QVariantMap& v = r.after ? *r.after : *r.before;
        if (r.table == u"kyoku" || r.table == u"kyokurating") {
            const QVariant song = v.value(QStringLiteral("曲ID"));
            return {cdOfSong(song), song};
        }
        if (v.contains(QStringLiteral("CDID")))
            return {v.value(QStringLiteral("CDID")), {}};
    }
    return {};
}

} // namespace history
