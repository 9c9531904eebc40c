#include "statistics.h"

#include "collection.h"
#include "dberror.h"
#include "tables.h"

#include <QCollator>
#include <QDate>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <deque>
#include <functional>
#include <numeric>

namespace stats {

QString notEntered()
{
    return QStringLiteral("（未入力）");
}

QString unknownDate()
{
    return QStringLiteral("（日付不明）");
}

QString others()
{
    return QStringLiteral("その他");
}

const QVector<TabDef>& tabs()
{
    static const QVector<TabDef> all{
        {QStringLiteral("作曲者"), Kind::SongNames, QStringLiteral("作曲者名"), true},
        {QStringLiteral("分野"), Kind::SongNames, QStringLiteral("分野")},
        {QStringLiteral("発売元"), Kind::CDNames, QStringLiteral("発売元")},
        {QStringLiteral("指揮者"), Kind::SongNames, QStringLiteral("指揮者名"), true},
        {QStringLiteral("演奏団体"), Kind::SongNames, QStringLiteral("演奏団体"), true},
        {QStringLiteral("購入年"), Kind::Purchases, QStringLiteral("購入年月日")},
        {QStringLiteral("保管場所"), Kind::Storage, QStringLiteral("キャビネット")},
        {QStringLiteral("評価"), Kind::Ratings, QStringLiteral("評価")},
        {QStringLiteral("作品"), Kind::Works, QStringLiteral("曲名")}};
    return all;
}

namespace {

int columnOf(const QVector<FieldDef>& fields, const QString& name)
{
    for (int i = 0; i < fields.size(); ++i)
        if (fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    throw DbError(DbError::ItemNotFound, QStringLiteral("項目「%1」が見つかりません。").arg(name));
}

// Names numbered in the order they are first met, a value not entered (NULL
// or blank) under 「（未入力）」. Texts are looked up where the rows keep
// them; a name is copied once, when first met.
class Names {
public:
    int idOf(const Row* row, int column)
    {
        QStringView text;
        QString made;
        const TextPool::Text* t = row->textAt(column);
        // the songs of one CD share their repeated texts: one lookup for them all
        if (t && t == m_lastText)
            return m_lastId;
        if (t)
            text = QStringView(t->units, t->length);
        else if (!row->isNull(column))
            text = made = row->text(column, FieldType::Text);
        if (text.trimmed().isEmpty())
            text = m_notEntered;
        auto it = m_ids.constFind(text);
        if (it == m_ids.constEnd()) {
            m_names.push_back(text.toString()); // a deque: earlier names stay where they are
            it = m_ids.insert(QStringView(m_names.back()), int(m_names.size()) - 1);
        }
        m_lastText = t;
        m_lastId = *it;
        return *it;
    }
    // A name of its own, numbered next.
    void add(const QString& name) { m_names.push_back(name); }
    const QString& name(int id) const { return m_names[size_t(id)]; }
    int count() const { return int(m_names.size()); }

private:
    QString m_notEntered = notEntered();
    const TextPool::Text* m_lastText = nullptr;
    int m_lastId = -1;
    std::deque<QString> m_names;
    QHash<QStringView, int> m_ids;
};

// Japanese order; names it holds equal (A and a) in a fixed order all the same.
bool japaneseBefore(const QString& a, const QString& b)
{
    const int order = japaneseCollator().compare(a, b);
    return order != 0 ? order < 0 : a < b;
}

// The year a purchase date falls in; 「（日付不明）」 for a stored text the
// collection does not read as a date, 「（未入力）」 for none.
QString yearOf(const Row* row, int column)
{
    if (row->isNull(column))
        return notEntered();
    const QVariant v = row->value(column);
    if (v.typeId() == QMetaType::QDate && v.toDate().isValid())
        return QString::number(v.toDate().year());
    return v.toString().trimmed().isEmpty() ? notEntered() : unknownDate();
}

// Largest first, ties in Japanese order; beyond the largest, one その他 line.
// `restCDs` counts the CDs among the rest (a CD may hold songs of several names).
void rankAndCut(QVector<Line>& lines, bool bySongs,
                const std::function<qint64(const QSet<QString>&)>& restCDs)
{
    std::sort(lines.begin(), lines.end(), [bySongs](const Line& a, const Line& b) {
        const qint64 x = bySongs ? a.songs : a.cds;
        const qint64 y = bySongs ? b.songs : b.cds;
        if (x != y)
            return x > y;
        return japaneseBefore(a.name, b.name);
    });
    if (lines.size() <= Largest)
        return;
    Line rest;
    rest.name = others();
    rest.rest = true;
    QSet<QString> restNames;
    for (qsizetype i = Largest; i < lines.size(); ++i) {
        rest.songs += lines[i].songs;
        rest.cds += lines[i].cds;
        restNames.insert(lines[i].name);
    }
    if (restCDs)
        rest.cds = restCDs(restNames);
    lines.resize(Largest);
    lines << rest;
}

// Each name's lines, numbered as the names are.
QVector<Line> linesOf(const Names& names)
{
    QVector<Line> lines(names.count());
    for (int id = 0; id < names.count(); ++id)
        lines[id].name = names.name(id);
    return lines;
}

// The number of the name each row is counted under.
std::vector<int> nameIds(const std::vector<const Row*>& rows, int column, Names& names)
{
    std::vector<int> ids(rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
        ids[i] = names.idOf(rows[i], column);
    return ids;
}

// The spellings of one name group as one name: each spelling's number
// becomes its group's, and `names` then holds one name per group, its
// joined name or its most used spelling, with the spellings it counted.
std::vector<QStringList> groupSpellings(Names& names, std::vector<int>& ids,
                                        const names::Joins& joins)
{
    std::vector<qint64> uses(size_t(names.count()));
    for (int id : ids)
        ++uses[size_t(id)];
    QHash<QString, int> groupOf;
    std::vector<int> newId(size_t(names.count()));
    std::vector<std::vector<int>> members;
    for (int id = 0; id < names.count(); ++id) {
        const QString& name = names.name(id);
        const QString key = name == notEntered() ? QString() : names::groupKey(joins, name);
        auto it = groupOf.constFind(key);
        if (it == groupOf.constEnd()) {
            it = groupOf.insert(key, int(members.size()));
            members.emplace_back();
        }
        newId[size_t(id)] = *it;
        members[size_t(*it)].push_back(id);
    }
    Names grouped;
    std::vector<QStringList> spellings;
    for (std::vector<int>& m : members) {
        std::stable_sort(m.begin(), m.end(),
                         [&uses](int a, int b) { return uses[size_t(a)] > uses[size_t(b)]; });
        QStringList list;
        for (int id : m)
            list << names.name(id);
        const QString& first = names.name(m.front());
        const QString joined = first == notEntered() ? first : names::groupName(joins, first);
        grouped.add(joined);
        spellings.push_back(list);
    }
    for (int& id : ids)
        id = newId[size_t(id)];
    names = std::move(grouped);
    return spellings;
}

Tab songNames(const TabDef& def, const Shown& shown, int column, const names::Joins& joins)
{
    Names names;
    std::vector<int> nameOfSong = nameIds(shown.songs, column, names);
    std::vector<QStringList> spellings;
    if (def.byGroup)
        spellings = groupSpellings(names, nameOfSong, joins);
    QVector<Line> lines = linesOf(names);
    for (size_t id = 0; id < spellings.size(); ++id)
        if (spellings[id].size() > 1)
            lines[qsizetype(id)].spellings = spellings[id];
    for (int id : nameOfSong)
        ++lines[id].songs;
    // a CD counts once under each name its songs have
    std::vector<int> ids;
    for (const std::vector<int>& songs : shown.songsOfCD) {
        ids.clear();
        for (int s : songs)
            ids.push_back(nameOfSong[size_t(s)]);
        std::sort(ids.begin(), ids.end());
        ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
        for (int id : ids)
            ++lines[id].cds;
    }
    rankAndCut(lines, true, [&](const QSet<QString>& rest) {
        std::vector<bool> isRest(size_t(names.count()));
        for (int id = 0; id < names.count(); ++id)
            isRest[size_t(id)] = rest.contains(names.name(id));
        qint64 cds = 0;
        for (const std::vector<int>& songs : shown.songsOfCD)
            cds += std::any_of(songs.begin(), songs.end(),
                               [&](int s) { return isRest[size_t(nameOfSong[size_t(s)])]; });
        return cds;
    });
    return {def, lines};
}

Tab cdNames(const TabDef& def, const Shown& shown, int column)
{
    Names names;
    const std::vector<int> nameOfCD = nameIds(shown.cds, column, names);
    QVector<Line> lines = linesOf(names);
    for (int id : nameOfCD)
        ++lines[id].cds;
    rankAndCut(lines, false, nullptr);
    return {def, lines};
}

// Lines from five stars down to one, then the unrated, each shown though empty:
// the tab says how much of the collection is rated.
Tab ratingsTab(const TabDef& def, const Shown& shown, int cdidColumn, int songIdColumn,
               const ratings::Kept& rated)
{
    QVector<Line> lines(6);
    for (int stars = 5; stars >= 1; --stars)
        lines[5 - stars].name = ratings::starsText(stars);
    lines[5].name = QStringLiteral("（評価なし）");
    auto lineOf = [&lines](int stars) -> Line& { return lines[stars >= 1 ? 5 - stars : 5]; };
    for (const Row* cd : shown.cds)
        ++lineOf(cd->isNull(cdidColumn)
                     ? 0
                     : rated.of(ratings::Of::CD, cd->value(cdidColumn).toLongLong()))
              .cds;
    for (const Row* song : shown.songs)
        ++lineOf(song->isNull(songIdColumn)
                     ? 0
                     : rated.of(ratings::Of::Song, song->value(songIdColumn).toLongLong()))
              .songs;
    return {def, lines};
}

Tab purchases(const TabDef& def, const Shown& shown, int dateColumn, int priceColumn)
{
    QHash<QString, Line> years;
    for (const Row* cd : shown.cds) {
        const QString year = yearOf(cd, dateColumn);
        Line& line = years[year];
        line.name = year;
        ++line.cds;
        if (!cd->isNull(priceColumn)) {
            bool ok = false;
            const double price = cd->value(priceColumn).toDouble(&ok);
            if (ok)
                line.spent += price;
        }
    }
    QVector<Line> lines = years.values();
    auto rank = [](const QString& name) {
        return name == notEntered() ? 2 : name == unknownDate() ? 1 : 0;
    };
    std::sort(lines.begin(), lines.end(), [&](const Line& a, const Line& b) {
        if (rank(a.name) != rank(b.name))
            return rank(a.name) < rank(b.name);
        return a.name.toInt() < b.name.toInt();
    });
    double total = 0;
    for (Line& line : lines) {
        total += line.spent;
        line.runningTotal = total;
    }
    return {def, lines};
}

// A value as the name it is counted under: 「（未入力）」 for NULL and blank.
QString nameOf(const Row* row, int column)
{
    const QString text = row->isNull(column) ? QString() : row->text(column, FieldType::Text);
    return text.trimmed().isEmpty() ? notEntered() : QString(text.constData(), text.size());
}

Tab storage(const TabDef& def, const Shown& shown, int cabinetColumn, int shelfColumn)
{
    QHash<QPair<QString, QString>, Line> places;
    for (const Row* cd : shown.cds) {
        const QString cabinet = nameOf(cd, cabinetColumn);
        const QString shelf = nameOf(cd, shelfColumn);
        Line& line = places[{cabinet, shelf}];
        line.name = cabinet;
        line.shelf = shelf;
        ++line.cds;
    }
    QVector<Line> lines = places.values();
    // in Japanese order, numbers as numbers; what was not entered last
    auto before = [](const QString& a, const QString& b) {
        if ((a == notEntered()) != (b == notEntered()))
            return b == notEntered();
        return japaneseBefore(a, b);
    };
    std::sort(lines.begin(), lines.end(), [&](const Line& a, const Line& b) {
        if (a.name != b.name)
            return before(a.name, b.name);
        return before(a.shelf, b.shelf);
    });
    return {def, lines};
}

// The works most recorded first (ties by songs, then in Japanese order of
// their titles), the 20 largest and then その他.
Tab worksTab(const TabDef& def, const works::Catalogue& works)
{
    QVector<Line> lines;
    std::vector<QSet<QString>> cdsOf; // each line's CDs, by their titles folded
    const int title = kyokuTable().indexOf(QStringLiteral("CD名"));
    const FieldType type = kyokuTable().fields().at(title).type;
    for (const works::Composer& c : works.composers)
        for (const works::Work& w : c.works) {
            Line line;
            line.name = w.title;
            line.composer = c.name.isEmpty() ? notEntered() : c.name;
            line.recordings = w.recordings.size();
            QSet<QString> cds;
            for (const works::Recording& r : w.recordings) {
                line.songs += r.count;
                const Row* first = works.row(w.firstSong(r));
                cds.insert(foldKey(first->isNull(title) ? QString() : first->text(title, type)));
            }
            line.cds = cds.size();
            lines << line;
            cdsOf.push_back(std::move(cds));
        }
    std::vector<int> order(size_t(lines.size()));
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&lines](int x, int y) {
        const Line& a = lines[x];
        const Line& b = lines[y];
        if (a.recordings != b.recordings)
            return a.recordings > b.recordings;
        if (a.songs != b.songs)
            return a.songs > b.songs;
        return japaneseBefore(a.name, b.name);
    });
    QVector<Line> ranked;
    Line rest;
    rest.name = others();
    rest.rest = true;
    QSet<QString> restCDs; // a CD holding several of the rest counts once
    for (size_t i = 0; i < order.size(); ++i) {
        const Line& line = lines[order[i]];
        if (i < size_t(Largest)) {
            ranked << line;
            continue;
        }
        rest.recordings += line.recordings;
        rest.songs += line.songs;
        restCDs.unite(cdsOf[size_t(order[i])]);
    }
    if (order.size() > size_t(Largest)) {
        rest.cds = restCDs.size();
        ranked << rest;
    }
    return {def, ranked};
}

} // namespace

Shown cdsWithTheirSongs(const View& cds, bool everySong)
{
    Shown shown;
    const std::shared_ptr<View>& child = cds.relatedChild();
    if (!child)
        return shown;
    // Songs are numbered by where the song view keeps them: two CDs of one
    // title hold the same songs, which are counted once.
    const Snapshot& base = child->baseRows();
    std::vector<int> number(base.size(), -1);
    auto take = [&](size_t index) {
        if (number[index] < 0) {
            number[index] = int(shown.songs.size());
            shown.songs.push_back(base[index].get());
        }
        return number[index];
    };
    if (everySong) // all data: the songs on no CD as well
        for (size_t i = 0; i < base.size(); ++i)
            if (base[i])
                take(i);
    const int rows = cds.recordCount();
    shown.cds.reserve(size_t(rows));
    shown.songsOfCD.reserve(size_t(rows));
    for (int r = 0; r < rows; ++r) {
        const Row* cd = cds.rowAt(r);
        if (!cd)
            continue;
        std::vector<int> held;
        for (int index : cds.childIndexesAt(r))
            held.push_back(take(size_t(index)));
        shown.cds.push_back(cd);
        shown.songsOfCD.push_back(std::move(held));
    }
    return shown;
}

Shown songsWithTheirCDs(const View& songs)
{
    Shown shown;
    QHash<const Row*, int> cdIndex;
    const int titleColumn = songs.fieldIndex(QStringLiteral("CD名"));
    // the songs of one CD share the text of its title: its CDs are looked up once
    const TextPool::Text* lastTitle = nullptr;
    std::vector<int> lastCDs;
    const int rows = songs.recordCount();
    for (int r = 0; r < rows; ++r) {
        const Row* song = songs.rowAt(r);
        if (!song)
            continue;
        const TextPool::Text* title = song->textAt(titleColumn);
        if (!title || title != lastTitle) {
            lastCDs.clear();
            for (const Row* cd : songs.childRowsAt(r)) {
                auto it = cdIndex.constFind(cd);
                if (it == cdIndex.constEnd()) {
                    it = cdIndex.insert(cd, int(shown.cds.size()));
                    shown.cds.push_back(cd);
                    shown.songsOfCD.emplace_back();
                }
                lastCDs.push_back(*it);
            }
            lastTitle = title;
        }
        for (int cd : lastCDs)
            shown.songsOfCD[size_t(cd)].push_back(int(shown.songs.size()));
        shown.songs.push_back(song);
    }
    return shown;
}

Shown shownIn(Collection& db, bool allData, bool songsShown)
{
    db.WaitForAllRows();
    if (songsShown)
        return songsWithTheirCDs(*db.songs());
    return cdsWithTheirSongs(*db.cds(), allData);
}

QVector<Tab> count(const Shown& shown, const QVector<FieldDef>& cdFields,
                   const QVector<FieldDef>& songFields, const names::Joins& joins,
                   const works::Catalogue& works, const ratings::Kept& rated)
{
    QVector<Tab> out;
    for (const TabDef& def : tabs()) {
        switch (def.kind) {
        case Kind::SongNames:
            out << songNames(def, shown, columnOf(songFields, def.field), joins);
            break;
        case Kind::CDNames:
            out << cdNames(def, shown, columnOf(cdFields, def.field));
            break;
        case Kind::Purchases:
            out << purchases(def, shown, columnOf(cdFields, def.field),
                             columnOf(cdFields, cdPriceField().name));
            break;
        case Kind::Storage:
            out << storage(def, shown, columnOf(cdFields, def.field),
                           columnOf(cdFields, QStringLiteral("段")));
            break;
        case Kind::Works:
            out << worksTab(def, works);
            break;
        case Kind::Ratings:
            out << ratingsTab(def, shown, columnOf(cdFields, QStringLiteral("CDID")),
                              columnOf(songFields, QStringLiteral("曲ID")), rated);
            break;
        }
    }
    return out;
}

QVector<Tab> countShown(Collection& db, bool allData, bool songsShown)
{
    const Shown shown = shownIn(db, allData, songsShown);
    const names::Joins& joins = db.NameJoins();
    // every song shown (all data, 全曲表示 of all songs): the collection's
    // works, gathered once
    size_t stored = 0;
    for (const RowPtr& row : need(db.songs()).baseRows())
        stored += row ? 1 : 0;
    const std::shared_ptr<const works::Catalogue> works = allData || shown.songs.size() == stored
        ? db.Works()
        : std::make_shared<const works::Catalogue>(works::gather(shown.songs, &joins));
    return count(shown, need(db.cds()).fields(), need(db.songs()).fields(), joins, *works,
                 db.Ratings());
}

} // namespace stats
