#include "cdnotes.h"

#include "connection.h"
#include "dberror.h"

#include <QSqlQuery>

namespace cdnotes {

namespace {

constexpr char16_t Table[] = u"cdnote";

QSqlQuery run(Connection& cn, const QString& sql, const QVariantList& params = {})
{
    return cn.query(QStringLiteral("メモ"), sql, params);
}

} // namespace

QString tableName()
{
    return QString::fromUtf16(Table);
}

QString keyField()
{
    return QStringLiteral("CDID");
}

const QStringList& tableStatements()
{
    // a blank note is kept as no row; the check refuses the empty text at least
    static const QStringList statements = {
        QStringLiteral("CREATE TABLE IF NOT EXISTS cdnote (CDID INTEGER PRIMARY KEY, メモ TEXT NOT "
                       "NULL CHECK (メモ <> ''))")};
    return statements;
}

void startFollowing(Connection& cn)
{
    if (cn.hasTable(tableName()) && cn.hasTable(QStringLiteral("cdname")))
        cn.followDeletes(tableName(), keyField(), QStringLiteral("cdname"));
}

void requireTable(Connection& cn)
{
    if (!cn.hasTable(tableName()))
        throw DbError(DbError::NotAllowedNow,
                      QStringLiteral("このコレクションファイルにはメモを記録できません"
                                     "（書き込めないファイルです）。"));
}

bool isBlank(const QString& text)
{
    return text.trimmed().isEmpty();
}

QHash<qint64, QString> read(Connection& cn)
{
    QHash<qint64, QString> notes;
    if (!cn.hasTable(tableName()))
        return notes;
    QSqlQuery q = run(cn, QStringLiteral("SELECT CDID, メモ FROM main.cdnote"));
    while (q.next())
        notes.insert(q.value(0).toLongLong(), q.value(1).toString());
    return notes;
}

QString of(Connection& cn, qint64 cdid)
{
    if (!cn.hasTable(tableName()))
        return QString();
    QSqlQuery q = run(cn, QStringLiteral("SELECT メモ FROM main.cdnote WHERE CDID = ?"), {cdid});
    return q.next() ? q.value(0).toString() : QString();
}

void write(Connection& cn, qint64 cdid, const QString& text)
{
    const bool blank = isBlank(text);
    if (blank && !cn.hasTable(tableName()))
        return; // no note to take away
    requireTable(cn);
    cn.transaction([&] {
        if (blank) {
            run(cn, QStringLiteral("DELETE FROM main.cdnote WHERE CDID = ?"), {cdid});
            return;
        }
        // a note of no CD would be found by no one, and given to the next CD of its number
        if (cn.column(QStringLiteral("SELECT count(*) FROM cdname WHERE CDID = ?"), {cdid})
                .value(0)
                .toLongLong()
            == 0)
            throw DbError(
                DbError::ItemNotFound,
                QStringLiteral("CDID %1 のCDはありません（何も変更していません）").arg(cdid));
        run(cn,
            QStringLiteral("INSERT INTO main.cdnote (CDID, メモ) VALUES (?, ?) ON CONFLICT (CDID) "
                           "DO UPDATE SET メモ = excluded.メモ"),
            {cdid, text});
    });
}

QString merged(const QString& kept, const QString& other)
{
    if (isBlank(other) || other == kept)
        return kept;
    if (isBlank(kept))
        return other;
    return kept + u'\n' + other;
}

} // namespace cdnotes
