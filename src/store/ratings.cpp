#include "ratings.h"

#include "connection.h"
#include "dberror.h"

#include <QSqlError>
#include <QSqlQuery>

namespace ratings {

namespace {

struct Table {
    const char16_t* name;
    const char16_t* key; // the column of the design's table it follows
    const char16_t* followed; // that table
};
constexpr Table Tables[] = {{u"cdrating", u"CDID", u"cdname"}, {u"kyokurating", u"曲ID", u"kyoku"}};

const Table& tableOf(Of which)
{
    return Tables[which == Of::CD ? 0 : 1];
}

QSqlQuery run(Connection& cn, const QString& sql, const QVariantList& params = {})
{
    return cn.query(QStringLiteral("評価"), sql, params);
}

} // namespace

QString keyField(Of which)
{
    return QString::fromUtf16(tableOf(which).key);
}

QString tableName(Of which)
{
    return QString::fromUtf16(tableOf(which).name);
}

const QStringList& tableStatements()
{
    static const QStringList statements = [] {
        QStringList list;
        for (const Table& t : Tables)
            list << QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2 INTEGER PRIMARY KEY, 評価 "
                                   "INTEGER NOT NULL CHECK (評価 BETWEEN 1 AND 5))")
                        .arg(QString::fromUtf16(t.name), QString::fromUtf16(t.key));
        return list;
    }();
    return statements;
}

void startFollowing(Connection& cn)
{
    for (const Table& t : Tables) {
        const QString name = QString::fromUtf16(t.name);
        const QString followed = QString::fromUtf16(t.followed);
        if (cn.hasTable(name) && cn.hasTable(followed))
            cn.followDeletes(name, QString::fromUtf16(t.key), followed);
    }
}

Kept read(Connection& cn)
{
    Kept kept;
    for (const Of which : {Of::CD, Of::Song}) {
        const Table& t = tableOf(which);
        const QString name = QString::fromUtf16(t.name);
        if (!cn.hasTable(name))
            continue;
        QSqlQuery q = run(
            cn,
            QStringLiteral("SELECT %1, 評価 FROM main.%2").arg(QString::fromUtf16(t.key), name));
        QHash<qint64, int>& into = which == Of::CD ? kept.cds : kept.songs;
        while (q.next())
            into.insert(q.value(0).toLongLong(), q.value(1).toInt());
    }
    return kept;
}

void rate(Connection& cn, Of which, qint64 id, int stars)
{
    if (stars < 0 || stars > 5)
        throw DbError(DbError::BadArguments,
                      QStringLiteral("評価は 1 から 5 までの星の数です（0 で評価なし）。"));
    const Table& t = tableOf(which);
    const QString name = QString::fromUtf16(t.name);
    const QString key = QString::fromUtf16(t.key);
    if (!cn.hasTable(name))
        throw DbError(DbError::NotAllowedNow,
                      QStringLiteral("このコレクションファイルには評価を記録できません"
                                     "（書き込めないファイルです）。"));
    cn.transaction([&] {
        // stars of a number nothing bears would pass to the next CD or song given it
        const QString owner = which == Of::CD ? QStringLiteral("cdname") : QStringLiteral("kyoku");
        if (stars > 0
            && cn.column(
                     QStringLiteral("SELECT count(*) FROM main.%1 WHERE %2 = ?").arg(owner, key),
                     {id})
                    .value(0)
                    .toLongLong()
                == 0)
            throw DbError(DbError::ItemNotFound,
                          (which == Of::CD ? QStringLiteral("CDID %1 のCDはありません")
                                           : QStringLiteral("曲ID %1 の曲はありません"))
                              .arg(id));
        if (stars == 0)
            run(cn, QStringLiteral("DELETE FROM main.%1 WHERE %2 = ?").arg(name, key), {id});
        else
            run(cn,
                QStringLiteral("INSERT INTO main.%1 (%2, 評価) VALUES (?, ?) ON CONFLICT (%2) DO "
                               "UPDATE SET 評価 = excluded.評価")
                    .arg(name, key),
                {id, stars});
    });
}

QString starsText(int stars)
{
    return QString(qBound(0, stars, 5), u'★');
}

} // namespace ratings
