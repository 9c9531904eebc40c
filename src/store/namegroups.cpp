#include "namegroups.h"

#include "connection.h"
#include "findtext.h"
#include "row.h"
#include "tables.h"
#include "view.h"

#include <QCollator>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace names {

namespace {

// The person fields of a song, by their names in the table.
const char16_t* const songFields[]
    = {u"作曲者名", u"編曲者名", u"指揮者名", u"演奏団体", u"ソリスト"};

bool tableExists(Connection& cn)
{
    return !cn.column(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND "
                                     "name = 'namegroup'"))
                .isEmpty();
}

// "?, ?, ?" for a statement's IN list: the values themselves are bound.
QString placeholders(qsizetype n)
{
    QStringList marks;
    for (qsizetype i = 0; i < n; ++i)
        marks << QStringLiteral("?");
    return marks.join(QStringLiteral(", "));
}

// Where a name splits into a given name or initials and the rest.
const QRegularExpression& separators()
{
    static const QRegularExpression re(QStringLiteral("[\\s・･.．=＝·]+"));
    return re;
}

} // namespace

Joins readJoins(Connection& cn)
{
    Joins joins;
    if (!tableExists(cn))
        return joins;
    const QVariantList rows
        = cn.column(QStringLiteral("SELECT 表記 || char(9) || 名前 FROM namegroup ORDER BY rowid"));
    for (const QVariant& row : rows) {
        const QString text = row.toString();
        const qsizetype tab = text.indexOf(u'\t');
        if (tab > 0)
            joins.insert(normalizedForFind(text.left(tab)), text.mid(tab + 1));
    }
    return joins;
}

QVector<QVector<QVariant>> joinRows(Connection& cn)
{
    QVector<QVector<QVariant>> rows;
    if (!tableExists(cn))
        return rows;
    for (const QVariant& row : cn.column(
             QStringLiteral("SELECT 表記 || char(9) || 名前 FROM namegroup ORDER BY 名前, 表記")))
        rows << QVector<QVariant>{row.toString().section(u'\t', 0, 0),
                                  row.toString().section(u'\t', 1)};
    return rows;
}

QString groupKey(const Joins& joins, const QString& spelling)
{
    const QString key = normalizedForFind(spelling);
    const auto joined = joins.constFind(key);
    return joined == joins.constEnd() ? key : u'\x1f' + normalizedForFind(*joined);
}

QString groupName(const Joins& joins, const QString& spelling)
{
    return joins.value(normalizedForFind(spelling), spelling.trimmed());
}

QVector<Group> gather(const std::vector<const Row*>& songs, const std::vector<const Row*>& cds,
                      const Joins& joins)
{
    const TableDef& kyoku = kyokuTable();
    const TableDef& cdname = cdnameTable();
    QVector<int> columns;
    for (const char16_t* f : songFields)
        columns << kyoku.indexOf(QString::fromUtf16(f));
    const int songCD = kyoku.indexOf(QStringLiteral("CD名"));
    const int writer = cdname.indexOf(QStringLiteral("解説者"));
    struct Count {
        int songs = 0;
        QSet<QString> cds;
    };
    QHash<QString, Count> ofSpelling;
    QStringList order;
    // a copy: the row's text is lent only while the row lives
    auto text = [](const Row* row, int c, const TableDef& t) {
        if (row->isNull(c))
            return QString();
        const QString lent = row->text(c, t.fields().at(c).type).trimmed();
        return QString(lent.unicode(), lent.size());
    };
    for (const Row* row : songs) {
        if (!row)
            continue;
        const QString cd = u'c' + foldKey(text(row, songCD, kyoku));
        QSet<QString> named; // a conductor who also composed counts once
        for (int c : columns) {
            const QString name = text(row, c, kyoku);
            if (name.isEmpty() || named.contains(name))
                continue;
            named.insert(name);
            if (!ofSpelling.contains(name))
                order << name;
            Count& count = ofSpelling[name];
            ++count.songs;
            count.cds.insert(cd);
        }
    }
    for (const Row* row : cds) {
        if (!row)
            continue;
        const QString name = text(row, writer, cdname);
        if (name.isEmpty())
            continue;
        if (!ofSpelling.contains(name))
            order << name;
        ofSpelling[name].cds.insert(u'#' + QString::number(row->rowid));
    }

    QHash<QString, int> groupOf;
    QVector<Group> groups;
    QVector<Count> totals;
    for (const QString& spelling : order) {
        const QString key = groupKey(joins, spelling);
        auto it = groupOf.constFind(key);
        if (it == groupOf.constEnd()) {
            it = groupOf.insert(key, int(groups.size()));
            Group g;
            g.joined = joins.contains(normalizedForFind(spelling));
            if (g.joined)
                g.name = joins.value(normalizedForFind(spelling));
            groups << g;
            totals << Count();
        }
        const Count& count = ofSpelling[spelling];
        groups[*it].spellings << Spelling{spelling, count.songs, int(count.cds.size())};
        totals[*it].songs += count.songs;
        totals[*it].cds.unite(count.cds);
    }
    for (int i = 0; i < groups.size(); ++i) {
        Group& g = groups[i];
        std::stable_sort(
            g.spellings.begin(), g.spellings.end(),
            [](const Spelling& a, const Spelling& b) { return a.songs + a.cds > b.songs + b.cds; });
        if (g.name.isEmpty())
            g.name = g.spellings.front().text;
        g.songs = totals[i].songs;
        g.cds = int(totals[i].cds.size());
    }
    const QCollator& collator = japaneseCollator();
    std::stable_sort(groups.begin(), groups.end(), [&collator](const Group& a, const Group& b) {
        return collator.compare(a.name, b.name) < 0;
    });
    return groups;
}

QVector<Suggestion> suggest(const QVector<Group>& groups)
{
    QHash<QString, int> bySpelling; // every spelling as quick find writes it
    QHash<QString, QVector<int>> byWords; // the words of a name, in one order
    for (int i = 0; i < groups.size(); ++i)
        for (const Spelling& s : groups[i].spellings) {
            bySpelling.insert(normalizedForFind(s.text), i);
            QStringList words = s.text.split(separators(), Qt::SkipEmptyParts);
            if (words.size() < 2)
                continue;
            for (QString& w : words)
                w = normalizedForFind(w);
            words.sort();
            QVector<int>& same = byWords[words.join(u'\x1f')];
            if (!same.contains(i))
                same << i;
        }
    QVector<Suggestion> out;
    QSet<QPair<int, int>> made;
    auto add = [&](int a, int b, const QString& why) {
        const QPair<int, int> pair(std::min(a, b), std::max(a, b));
        if (a == b || made.contains(pair))
            return;
        made.insert(pair);
        out << Suggestion{a, b, why};
    };
    for (int i = 0; i < groups.size(); ++i)
        for (const Spelling& s : groups[i].spellings) {
            // each tail after a given name or initials: J.S.バッハ → S.バッハ, バッハ
            for (auto it = separators().globalMatch(s.text); it.hasNext();) {
                const QString tail = s.text.mid(it.next().capturedEnd()).trimmed();
                const auto other = bySpelling.constFind(normalizedForFind(tail));
                if (!tail.isEmpty() && other != bySpelling.constEnd())
                    add(i, *other,
                        QStringLiteral("「%1」は「%2」に名や頭文字を付けた表記です")
                            .arg(s.text, tail));
            }
        }
    for (auto it = byWords.constBegin(); it != byWords.constEnd(); ++it)
        for (int k = 1; k < it->size(); ++k)
            add(it->at(0), it->at(k), QStringLiteral("同じ語が順序を変えて書かれています"));
    return out;
}

void join(Connection& cn, const QStringList& spellings, const QString& name)
{
    cn.transaction([&] {
        // a collection that could not be written when it was opened
        for (const QString& statement : Connection::ownTableStatements())
            cn.column(statement);
        for (const QString& s : spellings)
            cn.column(QStringLiteral("INSERT OR REPLACE INTO namegroup (表記, 名前) VALUES (?, ?)"),
                      {s.trimmed(), name.trimmed()});
    });
}

void split(Connection& cn, const QString& spelling)
{
    if (!tableExists(cn))
        return;
    const QString key = normalizedForFind(spelling);
    cn.transaction([&] {
        for (const QVariant& stored : cn.column(QStringLiteral("SELECT 表記 FROM namegroup")))
            if (normalizedForFind(stored.toString()) == key)
                cn.column(QStringLiteral("DELETE FROM namegroup WHERE 表記 = ?"), {stored});
    });
}

Rewritten unify(Connection& cn, const QStringList& spellings, const QString& chosen)
{
    QVariantList others;
    for (const QString& s : spellings)
        if (s != chosen)
            others << s;
    Rewritten done;
    if (others.isEmpty())
        return done;
    const QString in = placeholders(others.size());
    QStringList anyField;
    QVariantList anyValues;
    for (const char16_t* f : songFields) {
        anyField << QStringLiteral("%1 IN (%2)").arg(QString::fromUtf16(f), in);
        anyValues << others;
    }
    cn.transaction([&] {
        done.songs = cn.column(QStringLiteral("SELECT COUNT(*) FROM kyoku WHERE ")
                                   + anyField.join(QStringLiteral(" OR ")),
                               anyValues)
                         .value(0)
                         .toInt();
        done.cds
            = cn.column(QStringLiteral("SELECT COUNT(*) FROM cdname WHERE 解説者 IN (%1)").arg(in),
                        others)
                  .value(0)
                  .toInt();
        for (const char16_t* f : songFields)
            cn.column(QStringLiteral("UPDATE kyoku SET %1 = ? WHERE %1 IN (%2)")
                          .arg(QString::fromUtf16(f), in),
                      QVariantList{chosen} + others);
        cn.column(QStringLiteral("UPDATE cdname SET 解説者 = ? WHERE 解説者 IN (%1)").arg(in),
                  QVariantList{chosen} + others);
    });
    return done;
}

} // namespace names
