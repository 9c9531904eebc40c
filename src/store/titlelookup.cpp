#include "titlelookup.h"

#include "rowreader.h"
#include "view.h"

#include <QChar>
#include <QHash>
#include <QList>
#include <QStringList>

namespace titlelookup {

namespace {

// For each folded character, the characters besides it that fold to it,
// leaving out the ASCII letter case that NOCASE already ignores.
const QHash<char32_t, QList<char32_t>>& otherSpellings()
{
    static const QHash<char32_t, QList<char32_t>> spellings = [] {
        QHash<char32_t, QList<char32_t>> map;
        for (char32_t c = 0; c <= 0x10FFFF; ++c) {
            if (c >= 0xD800 && c <= 0xDFFF)
                continue;
            const char32_t folded = QChar::toCaseFolded(c);
            if (folded != c && !(c < 0x80 && folded < 0x80))
                map[folded].append(c);
        }
        return map;
    }();
    return spellings;
}

QString fromCodePoints(const QList<char32_t>& points)
{
    return QString::fromUcs4(points.constData(), points.size());
}

} // namespace

Snapshot rowsTitled(sqlite3* db, const QString& table, const QString& columns, const QString& order,
                    const QVector<FieldDef>& fields, const QString& title)
{
    const QString key = foldKey(title);
    const QList<uint> ucs4 = key.toUcs4();
    const QList<char32_t> folded(ucs4.cbegin(), ucs4.cend());
    // The first character with spellings NOCASE does not see, and the next.
    qsizetype first = -1, next = folded.size();
    for (qsizetype i = 0; i < folded.size(); ++i) {
        if (!otherSpellings().contains(folded.at(i)))
            continue;
        if (first < 0) {
            first = i;
        } else {
            next = i;
            break;
        }
    }
    // One statement: with the title index SQLite looks up each range, without
    // it the table is read once.
    QString where;
    QVariantList binds;
    if (first < 0) {
        where = QStringLiteral("CD名 = ?1 COLLATE NOCASE");
        binds << QVariant(title);
    } else {
        // one range of titles per spelling of that character, each as long
        // as the characters NOCASE sees through allow
        QList<char32_t> spellings = otherSpellings().value(folded.at(first));
        if (!spellings.contains(folded.at(first)))
            spellings.prepend(folded.at(first));
        QStringList ranges;
        for (char32_t spelling : std::as_const(spellings)) {
            QList<char32_t> prefix = folded.mid(0, first);
            prefix << spelling << folded.mid(first + 1, next - first - 1);
            const QString from = fromCodePoints(prefix);
            const QString past = from + QString::fromUcs4(U"\U0010FFFF", 1);
            ranges << QStringLiteral("(CD名 >= ?%1 COLLATE NOCASE AND CD名 < ?%2 COLLATE NOCASE)")
                          .arg(binds.size() + 1)
                          .arg(binds.size() + 2);
            binds << QVariant(from) << QVariant(past);
        }
        where = ranges.join(QStringLiteral(" OR "));
    }
    QStringList rowids;
    const Snapshot found = rowreader::read(
        db, QStringLiteral("SELECT rowid, CD名 FROM %1 WHERE %2").arg(table, where),
        {FieldDef{QStringLiteral("CD名"), FieldType::Text, 0, true}}, binds);
    for (const RowPtr& row : found)
        if (!row->isNull(0) && foldKey(row->text(0, FieldType::Text)) == key)
            rowids << QString::number(row->rowid);
    if (rowids.isEmpty())
        return {};
    // The rows themselves, in the view's order, as SQLite orders them.
    return rowreader::read(
        db,
        QStringLiteral("SELECT rowid, %1 FROM %2 WHERE rowid IN (SELECT value FROM json_each(?1)) "
                       "ORDER BY %3")
            .arg(columns, table, order),
        fields, QVariantList{QVariant(QStringLiteral("[") + rowids.join(u',') + u']')});
}

} // namespace titlelookup
