#include "duplicates.h"

#include "cdnotes.h"
#include "connection.h"
#include "dberror.h"
#include "findtext.h"
#include "history.h"
#include "jacketfiles.h"
#include "loans.h"
#include "ratings.h"
#include "tables.h"
#include "view.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlQuery>

#include <algorithm>
#include <future>
#include <map>
#include <optional>

namespace duplicates {

namespace {

QSqlQuery run(Connection& cn, const QString& sql, const QVariantList& params = {})
{
    return cn.query(QStringLiteral("重複の候補"), sql, params);
}

[[noreturn]] void refuse(const QString& why)
{
    throw DbError(DbError::BadArguments, why + QStringLiteral("（何も変更していません）"));
}

int cdColumn(const char16_t* name)
{
    return cdnameTable().indexOf(QString::fromUtf16(name));
}

int songColumn(const char16_t* name)
{
    return kyokuTable().indexOf(QString::fromUtf16(name));
}

QString textOf(const Row& row, int column)
{
    return row.isNull(column) ? QString() : row.value(column).toString();
}

// A song's text lent from its row, for use while the rows are held.
QString lentText(const Row& row, int column)
{
    return row.text(column, FieldType::Text);
}

// Quick find's normalisation of texts that repeat (performers, composers),
// each distinct text normalised once.
class Normalised {
public:
    const QString& of(const QString& text)
    {
        auto at = m_done.find(text);
        if (at == m_done.end())
            at = m_done.insert(text, normalizedForFind(text));
        return *at;
    }

private:
    QHash<QString, QString> m_done;
};

// The CD's folded title, as its songs are related to it. Songs are stored CD
// after CD, so the last title folded is mostly the next one asked for.
class TitleKeys {
public:
    const QString& of(const QString& title)
    {
        if (title != m_last || !m_ready) {
            m_last = title;
            m_key = foldKey(title);
            m_ready = true;
        }
        return m_key;
    }

private:
    QString m_last, m_key;
    bool m_ready = false;
};

// A 原盤番号 in one spelling: width, case and the spaces and hyphens people
// type or leave out (POCG-1234 is pocg 1234). A text without a digit (「なし」,
// 「-」) is no number.
QString numberKey(const QString& typed)
{
    // most are ASCII, which needs no more than its case and its marks dropped
    const bool ascii = std::all_of(typed.cbegin(), typed.cend(), [](QChar c) {
        return c.unicode() > u' ' && c.unicode() < 0x7f;
    });
    QString key = ascii ? typed.toLower() : normalizedForFind(typed);
    key.removeIf([](QChar c) { return c == u'-' || c == u'‐' || c == u'−' || c == u'_'; });
    return std::any_of(key.cbegin(), key.cend(), [](QChar c) { return c.isDigit(); }) ? key
                                                                                      : QString();
}

QString performersKey(const Row& song, Normalised& normalised)
{
    QString key;
    for (const char16_t* name : {u"指揮者名", u"演奏団体", u"ソリスト"})
        key += normalised.of(lentText(song, songColumn(name))) + u'\x1f';
    return key;
}

struct Cd {
    qint64 cdid;
    QString title;
    int songs = 0;
};

// The CDs of each key (a title group's CDs, gathered under the keys their
// songs or titles give), proposed pairwise with their reason.
class Proposals {
public:
    Proposals(const QVector<Cd>& cds, const Apart& apart) : m_cds(cds), m_apart(apart) { }

    // Every pair among these CDs (indexes into cds), unless too many share the key.
    void propose(QVector<int> cds, Rule rule, const QString& number = QString())
    {
        std::sort(cds.begin(), cds.end());
        cds.erase(std::unique(cds.begin(), cds.end()), cds.end());
        if (cds.size() < 2 || cds.size() > MostSharing)
            return;
        for (int i = 0; i < cds.size(); ++i)
            for (int j = i + 1; j < cds.size(); ++j)
                add(cds[i], cds[j], rule, number);
    }

    QVector<Pair> pairs() const
    {
        QVector<Pair> list;
        list.reserve(qsizetype(m_pairs.size()));
        for (const auto& [key, pair] : m_pairs)
            list << pair;
        return list;
    }

private:
    void add(int a, int b, Rule rule, const QString& number)
    {
        const Cd& x = m_cds[a];
        const Cd& y = m_cds[b];
        if (x.cdid == y.cdid)
            return; // one CD stored twice under one number is no pair to merge
        const bool xFirst = x.cdid < y.cdid;
        const Cd& first = xFirst ? x : y;
        const Cd& second = xFirst ? y : x;
        const QPair<qint64, qint64> key{first.cdid, second.cdid};
        if (m_apart.contains(key))
            return;
        Pair& p = m_pairs[{first.cdid, second.cdid}];
        p.first = first.cdid;
        p.second = second.cdid;
        p.firstTitle = first.title;
        p.secondTitle = second.title;
        p.firstSongs = first.songs;
        p.secondSongs = second.songs;
        p.rules |= rule;
        if (rule == SameNumber && p.number.isEmpty())
            p.number = number;
    }

    const QVector<Cd>& m_cds;
    const Apart& m_apart;
    std::map<std::pair<qint64, qint64>, Pair> m_pairs;
};

} // namespace

QString rulesText(int rules)
{
    QStringList reasons;
    if (rules & SameNumber)
        reasons << QStringLiteral("原盤番号");
    if (rules & SameTitle)
        reasons << QStringLiteral("題名");
    if (rules & SameWorks)
        reasons << QStringLiteral("曲と演奏者");
    return reasons.join(u'・');
}

const QStringList& tableStatements()
{
    static const QStringList statements = {QStringLiteral(
        "CREATE TABLE IF NOT EXISTS cdapart (CDID1 INTEGER NOT NULL, CDID2 INTEGER NOT NULL, "
        "PRIMARY KEY (CDID1, CDID2))")};
    return statements;
}

void startFollowing(Connection& cn)
{
    if (cn.hasTable(QStringLiteral("cdapart")))
        cn.followDeletes(QStringLiteral("cdapart"), QStringLiteral("CDID"),
                         QStringLiteral("cdname"),
                         {QStringLiteral("CDID1"), QStringLiteral("CDID2")});
}

Apart keptApart(Connection& cn)
{
    Apart apart;
    if (!cn.hasTable(QStringLiteral("cdapart")))
        return apart;
    QSqlQuery q = run(cn, QStringLiteral("SELECT CDID1, CDID2 FROM main.cdapart"));
    while (q.next()) {
        const qint64 a = q.value(0).toLongLong(), b = q.value(1).toLongLong();
        apart.insert({std::min(a, b), std::max(a, b)});
    }
    return apart;
}

QVector<Pair> find(const Snapshot& cdRows, const Snapshot& songRows, const works::Catalogue& works,
                   const Apart& apart)
{
    const int cdidAt = cdColumn(u"CDID"), titleAt = cdColumn(u"CD名");
    const int songTitleAt = songColumn(u"CD名"), numberAt = songColumn(u"原盤番号");

    // The CDs, and their title groups: the CDs of one folded title, which
    // hold the same songs. Songs name their group by its number.
    QVector<Cd> cds;
    QHash<QString, int> groupOf; // folded title → its group
    std::vector<QVector<int>> groups; // each group's CDs
    for (const auto& row : cdRows) {
        if (!row || row->isNull(cdidAt))
            continue;
        const QString title = textOf(*row, titleAt);
        auto at = groupOf.find(foldKey(title));
        if (at == groupOf.end()) {
            at = groupOf.insert(foldKey(title), int(groups.size()));
            groups.emplace_back();
        }
        groups[size_t(*at)] << int(cds.size());
        cds.append({row->value(cdidAt).toLongLong(), title});
    }
    // the titles normalised beside the rest, which is the other half of the work
    auto names = std::async(std::launch::async, [&cds] {
        QHash<QString, QVector<int>> byName;
        for (int at = 0; at < cds.size(); ++at)
            if (const QString name = normalizedForFind(cds[at].title); !name.isEmpty())
                byName[name] << at;
        return byName;
    });
    // A song's group, from its title as stored: songs of one CD follow each
    // other. One for each thread.
    const auto songGroups = [&groupOf, songTitleAt] {
        return [&groupOf, songTitleAt, lastTitle = QString(),
                lastGroup = -1](const Row& song) mutable {
            const QString title = lentText(song, songTitleAt);
            if (lastGroup == -1 || title != lastTitle) {
                lastTitle = title;
                lastGroup = groupOf.value(foldKey(title), -2); // -2: no CD bears it
            }
            return lastGroup;
        };
    };

    // The groups holding each 原盤番号, and how many songs each group holds,
    // beside the works below.
    QHash<QString, QVector<int>> byNumber;
    QHash<QString, QString> numberShown;
    std::vector<int> songCount(groups.size());
    auto numbers = std::async(std::launch::async, [&] {
        auto groupOfSong = songGroups();
        QString lastTyped; // the songs of a CD mostly carry its one number
        int lastTypedGroup = -1;
        for (const auto& song : songRows) {
            if (!song)
                continue;
            const int group = groupOfSong(*song);
            if (group < 0)
                continue;
            ++songCount[size_t(group)];
            if (song->isNull(numberAt))
                continue;
            const QString typed = lentText(*song, numberAt);
            if (group == lastTypedGroup && typed == lastTyped)
                continue;
            lastTyped = typed;
            lastTypedGroup = group;
            const QString number = numberKey(typed);
            if (number.isEmpty())
                continue;
            QVector<int>& holders = byNumber[number];
            if (!holders.contains(group)) {
                holders << group;
                if (holders.size() == 1) // as the first song holding it has it
                    numberShown.insert(number, QString(typed.constData(), typed.size()).trimmed());
            }
        }
    });

    // Each group's recordings: which work (by its place in the catalogue) by
    // which performers (by number), as one number each.
    const size_t places = works.kept.empty() ? works.rows.size() : works.kept.size();
    std::vector<int> groupOfPlace(places, -1);
    std::vector<qint64> performersOfPlace(places, -1);
    auto groupOfSong = songGroups();
    Normalised normalised;
    QHash<QString, qint64> performers;
    QString lastWho[3]; // the songs of a CD mostly have the same performers
    qint64 lastPerformers = -1;
    const int whoAt[3]
        = {songColumn(u"指揮者名"), songColumn(u"演奏団体"), songColumn(u"ソリスト")};
    for (size_t place = 0; place < places; ++place) {
        const Row* song = works.row(int(place));
        if (!song)
            continue;
        groupOfPlace[place] = groupOfSong(*song);
        bool same = lastPerformers >= 0;
        for (int i = 0; i < 3; ++i) {
            const QString who = lentText(*song, whoAt[i]);
            if (who != lastWho[i]) {
                lastWho[i] = who;
                same = false;
            }
        }
        if (!same) {
            const QString key = performersKey(*song, normalised);
            auto known = performers.find(key);
            if (known == performers.end())
                known = performers.insert(key, qint64(performers.size()));
            lastPerformers = *known;
        }
        performersOfPlace[place] = lastPerformers;
    }
    std::vector<std::vector<qint64>> recorded(groups.size());
    qint64 work = 0;
    for (const works::Composer& composer : works.composers)
        for (const works::Work& w : composer.works) {
            ++work;
            for (const works::Recording& r : w.recordings) {
                const size_t place = size_t(w.firstSong(r));
                if (groupOfPlace[place] >= 0)
                    recorded[size_t(groupOfPlace[place])].push_back((work << 32)
                                                                    | performersOfPlace[place]);
            }
        }
    QHash<QVector<qint64>, QVector<int>> bySet;
    for (size_t g = 0; g < groups.size(); ++g) {
        std::vector<qint64>& set = recorded[g];
        if (set.empty())
            continue;
        std::sort(set.begin(), set.end());
        set.erase(std::unique(set.begin(), set.end()), set.end());
        bySet[QVector<qint64>(set.begin(), set.end())] += groups[g];
    }

    const QHash<QString, QVector<int>> byName = names.get();
    numbers.get();
    for (size_t g = 0; g < groups.size(); ++g)
        for (const int cd : groups[g])
            cds[cd].songs = songCount[g];
    Proposals proposals(cds, apart);
    for (const QVector<int>& same : byName)
        proposals.propose(same, SameTitle);
    for (auto it = byNumber.cbegin(); it != byNumber.cend(); ++it) {
        if (it->size() < 2 || it->size() > MostSharing)
            continue;
        QVector<int> holders;
        for (const int group : *it)
            holders += groups[size_t(group)];
        proposals.propose(holders, SameNumber, numberShown.value(it.key()));
    }
    for (const QVector<int>& same : std::as_const(bySet))
        proposals.propose(same, SameWorks);
    return proposals.pairs();
}

void keepApart(Connection& cn, qint64 a, qint64 b)
{
    if (a == b)
        refuse(QStringLiteral("同じCDどうしは組にできません"));
    if (!cn.hasTable(QStringLiteral("cdapart")))
        throw DbError(DbError::NotAllowedNow,
                      QStringLiteral("このコレクションファイルには記録できません"
                                     "（書き込めないファイルです）。"));
    cn.transaction([&] {
        run(cn, QStringLiteral("INSERT OR IGNORE INTO main.cdapart (CDID1, CDID2) VALUES (?, ?)"),
            {std::min(a, b), std::max(a, b)});
    });
}

namespace {

// The row of the CD with this number, refused unless exactly one is stored.
const Row& storedCD(const Snapshot& cds, qint64 cdid)
{
    const int cdidAt = cdColumn(u"CDID");
    const Row* found = nullptr;
    for (const auto& row : cds) {
        if (!row || row->isNull(cdidAt) || row->value(cdidAt).toLongLong() != cdid)
            continue;
        if (found)
            refuse(QStringLiteral("CDID %1 のCDが2枚以上あるため統合できません").arg(cdid));
        found = row.get();
    }
    if (!found)
        refuse(QStringLiteral("CDID %1 のCDはありません").arg(cdid));
    return *found;
}

bool isEmpty(const Row& row, int column)
{
    return row.isNull(column) || row.value(column).toString().trimmed().isEmpty();
}

// Writes into `into` the fields it lacks and `from` has, leaving `skipped`.
void fillIn(Connection& cn, const QString& table, const QVector<FieldDef>& fields, const Row& into,
            const Row& from, const QVector<int>& skipped)
{
    QVector<QVariant> values(fields.size());
    QVector<bool> changed(fields.size(), false);
    bool any = false;
    for (int c = 0; c < fields.size(); ++c) {
        if (skipped.contains(c) || !isEmpty(into, c) || isEmpty(from, c))
            continue;
        values[c] = from.value(c);
        changed[c] = true;
        any = true;
    }
    if (any)
        cn.updateRow(table, fields, values, changed, into.rowid);
}

// A song as both copies of a CD would hold it.
QString songKey(const Row& song, Normalised& normalised)
{
    return normalised.of(lentText(song, songColumn(u"曲名"))) + u'\x1f'
        + normalised.of(lentText(song, songColumn(u"作曲者名"))) + u'\x1e'
        + performersKey(song, normalised);
}

std::optional<qint64> idOf(const Row& row, int column)
{
    return row.isNull(column) ? std::nullopt
                              : std::optional<qint64>(row.value(column).toLongLong());
}

} // namespace

Merged merge(Connection& cn, const Snapshot& cds, const Snapshot& songs, qint64 into, qint64 from)
{
    if (into == from)
        refuse(QStringLiteral("同じCDどうしは統合できません"));
    const Row& kept = storedCD(cds, into);
    const Row& gone = storedCD(cds, from);
    const int titleAt = cdColumn(u"CD名");
    const QString keptTitle = textOf(kept, titleAt), goneTitle = textOf(gone, titleAt);
    const QString keptKey = foldKey(keptTitle), goneKey = foldKey(goneTitle);
    const bool sameTitle = keptKey == goneKey; // the songs are both CDs' already
    if (!sameTitle) {
        const int namesakes = int(std::count_if(cds.begin(), cds.end(), [&](const auto& row) {
            return row && foldKey(textOf(*row, titleAt)) == goneKey;
        }));
        if (namesakes > 1)
            refuse(
                QStringLiteral("「%1」という題名のCDがほかにもあり、その曲はそのCDの曲でもあるため"
                               "統合できません")
                    .arg(goneTitle));
    }
    const QHash<qint64, loans::Loan> out = loans::out(cn);
    if (out.contains(into) && out.contains(from))
        refuse(QStringLiteral("2枚とも貸出中です。返却してから統合してください"));

    // The songs of each, by their folded title.
    const int songTitleAt = songColumn(u"CD名"), songIdAt = songColumn(u"曲ID");
    std::vector<const Row*> keptSongs, goneSongs;
    if (!sameTitle) {
        TitleKeys keys;
        for (const auto& song : songs) {
            if (!song)
                continue;
            const QString& key = keys.of(lentText(*song, songTitleAt));
            if (key == keptKey)
                keptSongs.push_back(song.get());
            else if (key == goneKey)
                goneSongs.push_back(song.get());
        }
    }
    Normalised normalised;
    QMultiHash<QString, const Row*> keptByKey;
    for (auto it = keptSongs.rbegin(); it != keptSongs.rend(); ++it)
        keptByKey.insert(songKey(**it, normalised),
                         *it); // values() of a key: the first stored first

    const ratings::Kept stars = ratings::read(cn);
    const QString folder = QFileInfo(cn.path()).absolutePath();
    const QString goneJacket = jacket::pictureOf(folder, from);
    const QString keptJacket = jacket::pictureOf(folder, into);
    // what became of the pictures, to be put back if the change fails
    jacket::Replaced gonePicture, keptPicture;
    Merged merged;
    try {
        cn.transaction([&] {
            fillIn(cn, cdnameTable().name(), Connection::cdnameFields(), kept, gone,
                   {cdColumn(u"CDID"), titleAt});
            QVector<bool> retitle(Connection::kyokuFields().size(), false);
            retitle[songTitleAt] = true;
            QVector<QVariant> values(Connection::kyokuFields().size());
            values[songTitleAt] = keptTitle;
            for (const Row* song : goneSongs) {
                const auto match = keptByKey.find(songKey(*song, normalised));
                if (match == keptByKey.end()) {
                    cn.updateRow(kyokuTable().name(), Connection::kyokuFields(), values, retitle,
                                 song->rowid);
                    ++merged.moved;
                    continue;
                }
                const Row* twin = match.value();
                keptByKey.erase(match); // each kept song stands for one song only
                fillIn(cn, kyokuTable().name(), Connection::kyokuFields(), *twin, *song,
                       {songTitleAt, songIdAt});
                const std::optional<qint64> twinId = idOf(*twin, songIdAt);
                const std::optional<qint64> songId = idOf(*song, songIdAt);
                if (twinId && songId && !stars.songs.contains(*twinId)
                    && stars.songs.contains(*songId))
                    ratings::rate(cn, ratings::Of::Song, *twinId, stars.songs.value(*songId));
                cn.deleteRow(kyokuTable().name(), song->rowid);
                ++merged.same;
            }
            if (!stars.cds.contains(into) && stars.cds.contains(from))
                ratings::rate(cn, ratings::Of::CD, into, stars.cds.value(from));
            if (cn.hasTable(QStringLiteral("loan")))
                cn.query(QStringLiteral("貸出"),
                         QStringLiteral("UPDATE main.loan SET CDID = ? WHERE CDID = ?"),
                         {into, from});
            if (cn.hasTable(QStringLiteral("cdapart")))
                run(cn, QStringLiteral("DELETE FROM main.cdapart WHERE CDID1 = ? OR CDID2 = ?"),
                    {from, from});
            // the other's note joins the kept one's before its CD takes it away
            const QString note = cdnotes::merged(cdnotes::of(cn, into), cdnotes::of(cn, from));
            if (note != cdnotes::of(cn, into))
                cdnotes::write(cn, into, note);
            cn.deleteRow(cdnameTable().name(), gone.rowid);
            // Last, so that a picture that cannot be moved takes the change back.
            // The other's picture goes to the trash; it becomes the kept CD's
            // when that has none, as a copy, so that undoing the merge finds
            // both where they were.
            if (QFileInfo::exists(goneJacket)) {
                gonePicture = jacket::remove(folder, from);
                history::noteJacket(cn, gonePicture);
                if (!QFileInfo::exists(keptJacket)) {
                    if (!QFile::copy(gonePicture.keptAt, keptJacket))
                        throw DbError(DbError::ProviderError,
                                      QStringLiteral("ジャケット写真「%1」を移せません。")
                                          .arg(QDir::toNativeSeparators(goneJacket)));
                    keptPicture = {into, {}, {}, gonePicture.before};
                    history::noteJacket(cn, keptPicture);
                }
            }
        });
    } catch (const DbError&) {
        jacket::putBack(folder, keptPicture);
        jacket::putBack(folder, gonePicture);
        throw;
    }
    return merged;
}

} // namespace duplicates
