#include "wishes.h"

#include "connection.h"
#include "dberror.h"
#include "fieldtext.h"
#include "findtext.h"
#include "tables.h"

#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

namespace wishes {

namespace {

QSqlQuery run(Connection& cn, const QString& sql, const QVariantList& params = {})
{
    return cn.query(QStringLiteral("欲しいもの"), sql, params);
}

void requireTable(Connection& cn)
{
    if (!cn.hasTable(QStringLiteral("wish")))
        throw DbError(DbError::NotAllowedNow,
                      QStringLiteral("このコレクションファイルには欲しいものを記録できません（書き"
                                     "込めないファイルです）。"));
}

void requireTitle(const Wish& wish)
{
    if (wish.title.trimmed().isEmpty())
        throw DbError(DbError::BadArguments,
                      QStringLiteral("タイトルを入力してください（何も変更していません）"));
}

// A text column's value: never NULL, so that an empty field reads back empty.
QVariant text(const QString& s)
{
    return s.isNull() ? QStringLiteral("") : s;
}

QVariantList valuesOf(const Wish& w)
{
    return {text(w.title.trimmed()),
            text(w.composer),
            text(w.performers),
            text(w.number),
            text(w.seenAt),
            w.price ? QVariant(*w.price) : QVariant(),
            text(w.note),
            w.added.toString(Qt::ISODate)};
}

} // namespace

FieldDef priceField()
{
    FieldDef price = cdPriceField();
    price.name = QStringLiteral("価格");
    return price;
}

const QStringList& fieldNames()
{
    static const QStringList names
        = {QStringLiteral("タイトル"), QStringLiteral("作曲者"),   QStringLiteral("演奏者"),
           QStringLiteral("原盤番号"), QStringLiteral("見た場所"), QStringLiteral("価格"),
           QStringLiteral("メモ"),     QStringLiteral("追加日")};
    return names;
}

QString cdNoteOf(const Wish& wish)
{
    QStringList lines;
    const std::pair<const char16_t*, const QString*> named[] = {
        {u"作曲者", &wish.composer},
        {u"演奏者", &wish.performers},
        {u"原盤番号", &wish.number},
        {u"見た場所", &wish.seenAt},
    };
    for (const auto& [name, text] : named)
        if (!text->trimmed().isEmpty())
            lines << QString::fromUtf16(name) + u'：' + text->trimmed();
    if (!wish.note.trimmed().isEmpty())
        lines << wish.note.trimmed();
    return lines.join(u'\n');
}

QStringList textsOf(const Wish& w)
{
    return {w.title,      w.composer,
            w.performers, w.number,
            w.seenAt,     w.price ? plainText(*w.price) : QString(),
            w.note,       w.added.toString(QStringLiteral("yyyy/MM/dd"))};
}

Wish fromTexts(const QStringList& texts)
{
    Wish w;
    w.title = texts.value(0);
    w.composer = texts.value(1);
    w.performers = texts.value(2);
    w.number = texts.value(3);
    w.seenAt = texts.value(4);
    const QVariant price = valueFromText(priceField(), texts.value(5));
    if (price.isValid())
        w.price = price.toDouble();
    w.note = texts.value(6);
    if (!texts.value(7).trimmed().isEmpty()) {
        w.added = parseTypedDate(texts.value(7));
        if (!w.added.isValid())
            throw DbError(
                DbError::TypeMismatch,
                QStringLiteral("追加日に「%1」は入力できません。\r日付を入力してください。")
                    .arg(texts.value(7)));
    }
    return w;
}

const QStringList& tableStatements()
{
    static const QStringList statements = {QStringLiteral(
        "CREATE TABLE IF NOT EXISTS wish (欲しいID INTEGER PRIMARY KEY, タイトル TEXT NOT NULL, "
        "作曲者 TEXT NOT NULL DEFAULT '', 演奏者 TEXT NOT NULL DEFAULT '', 原盤番号 TEXT NOT NULL "
        "DEFAULT '', 見た場所 TEXT NOT NULL DEFAULT '', 価格 REAL, メモ TEXT NOT NULL DEFAULT '', "
        "追加日 TEXT NOT NULL)")};
    return statements;
}

QVector<Wish> read(Connection& cn)
{
    QVector<Wish> all;
    if (!cn.hasTable(QStringLiteral("wish")))
        return all;
    QSqlQuery q = run(cn,
                      QStringLiteral("SELECT 欲しいID, タイトル, 作曲者, 演奏者, 原盤番号, "
                                     "見た場所, 価格, メモ, 追加日 FROM main.wish ORDER BY "
                                     "追加日 DESC, 欲しいID DESC"));
    while (q.next()) {
        Wish w;
        w.id = q.value(0).toLongLong();
        w.title = q.value(1).toString();
        w.composer = q.value(2).toString();
        w.performers = q.value(3).toString();
        w.number = q.value(4).toString();
        w.seenAt = q.value(5).toString();
        if (!q.value(6).isNull())
            w.price = q.value(6).toDouble();
        w.note = q.value(7).toString();
        w.added = QDate::fromString(q.value(8).toString(), Qt::ISODate);
        all << w;
    }
    return all;
}

qint64 add(Connection& cn, Wish wish)
{
    requireTitle(wish);
    requireTable(cn);
    if (!wish.added.isValid())
        wish.added = QDate::currentDate();
    qint64 id = 0;
    cn.transaction([&] {
        id = run(cn,
                 QStringLiteral("INSERT INTO main.wish (タイトル, 作曲者, 演奏者, 原盤番号, "
                                "見た場所, 価格, メモ, 追加日) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                 valuesOf(wish))
                 .lastInsertId()
                 .toLongLong();
    });
    return id;
}

void save(Connection& cn, const Wish& wish)
{
    requireTitle(wish);
    requireTable(cn);
    QVariantList values = valuesOf(wish);
    if (!wish.added.isValid())
        values.last() = QDate::currentDate().toString(Qt::ISODate);
    values << wish.id;
    cn.transaction([&] {
        run(cn,
            QStringLiteral(
                "UPDATE main.wish SET タイトル = ?, 作曲者 = ?, 演奏者 = ?, 原盤番号 = ?, "
                "見た場所 = ?, 価格 = ?, メモ = ?, 追加日 = ? WHERE 欲しいID = ?"),
            values);
    });
}

void remove(Connection& cn, qint64 id)
{
    requireTable(cn);
    cn.transaction(
        [&] { run(cn, QStringLiteral("DELETE FROM main.wish WHERE 欲しいID = ?"), {id}); });
}

QVector<Wish> matching(const QVector<Wish>& all, const QStringList& words)
{
    QVector<Wish> found;
    for (const Wish& w : all) {
        // each field by itself, as quick find's: a word never spans two
        QStringList fields = textsOf(w);
        fields.removeLast(); // the date added is not looked through
        for (QString& field : fields)
            field = findableText(field);
        const auto inAField = [&fields](const QString& word) {
            return std::any_of(fields.begin(), fields.end(),
                               [&word](const QString& field) { return field.contains(word); });
        };
        if (std::all_of(words.begin(), words.end(), inAField))
            found << w;
    }
    return found;
}

} // namespace wishes
