#include "works.h"

#include "findtext.h"
#include "row.h"
#include "tables.h"
#include "view.h"

#include <QCollator>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <array>
#include <deque>
#include <functional>
#include <optional>
#include <span>

using namespace Qt::StringLiterals;

namespace works {

namespace {

using RE = QRegularExpression;

// 一 to 九十九 (the numbers movements and works carry), or -1.
int kanjiNumber(QStringView s)
{
    static const QString digits = QStringLiteral("〇一二三四五六七八九");
    int value = 0, tens = 0;
    for (QChar c : s) {
        if (c == u'十') {
            tens = (value == 0 ? 1 : value) * 10;
            value = 0;
        } else if (const qsizetype d = digits.indexOf(c); d >= 0) {
            value = value * 10 + int(d);
        } else {
            return -1;
        }
    }
    return tens + value;
}

int numberOf(QStringView s)
{
    bool ok = false;
    const int n = s.toInt(&ok);
    return ok ? n : kanjiNumber(s);
}

int romanNumber(QStringView s)
{
    int total = 0, last = 0;
    for (qsizetype i = s.size() - 1; i >= 0; --i) {
        const int v = s[i] == u'I' ? 1
            : s[i] == u'V'         ? 5
            : s[i] == u'X'         ? 10
            : s[i] == u'L'         ? 50
                                   : 0;
        if (v == 0)
            return -1;
        total += v < last ? -v : v;
        last = std::max(last, v);
    }
    return total;
}

QString romanText(int n)
{
    static const std::pair<int, const char16_t*> parts[]
        = {{50, u"L"}, {40, u"XL"}, {10, u"X"}, {9, u"IX"}, {5, u"V"}, {4, u"IV"}, {1, u"I"}};
    QString out;
    for (const auto& [value, text] : parts)
        for (; n >= value; n -= value)
            out += QString::fromUtf16(text);
    return out;
}

// The catalogues, each with the spellings collectors write before its number.
struct CatalogueKind {
    const char16_t* kind;
    const char16_t* separator; // between the kind and the number, as shown
};
const CatalogueKind catalogues[] = {
    {u"BWV", u" "}, {u"K", u"."},   {u"Op", u"."}, {u"D", u" "},  {u"Hob", u"."}, {u"RV", u" "},
    {u"HWV", u" "}, {u"S", u"."},   {u"LW", u" "}, {u"Sz", u"."}, {u"BB", u" "},  {u"WoO", u" "},
    {u"TrV", u" "}, {u"WAB", u" "}, {u"L", u"."},  {u"M", u"."},
};

QString kindOf(QStringView written)
{
    if (written.compare(u"KV", Qt::CaseInsensitive) == 0)
        return QStringLiteral("K");
    if (written == u"作品" || written.compare(u"Opus", Qt::CaseInsensitive) == 0)
        return QStringLiteral("Op");
    for (const CatalogueKind& c : catalogues)
        if (written.compare(QStringView(c.kind), Qt::CaseInsensitive) == 0)
            return QString::fromUtf16(c.kind);
    return QString();
}

// A catalogue's name, not part of a longer word, then its number. The
// single letters D, S, L and M stand for a catalogue only in capitals (a
// lower-case d or s is a word's end); K also as k, as k550 is typed. Hob
// numbers carry their group as a Roman number; Op numbers a sub-number
// after -, /, No., Nr. or の.
const RE& catalogueExpression()
{
    static const RE re(
        uR"((?<![A-Za-z])(?:(?i:(Hob))\.?\s*([IVXL]+|\d+)\s*[:/]\s*(\d+)))"
        uR"(|(?<![A-Za-z])((?i:BWV|KV|WoO|TrV|WAB|HWV|RV|LW|Sz|BB|Opus|Op|K)|S|D|L|M)(?![A-Za-z])\.?\s*(\d+))"
        uR"(|(作品)\s*(\d+))"
        uR"(|(?<![A-Za-z])(?i:(LW))\.?\s*([A-Z])\s*(\d+))"_s); // LW A103
    return re;
}

const RE& subNumberExpression()
{
    static const RE re(
        uR"((?:[-/](\d+)|,?\s*(?i:No|Nr)\.?\s*(\d+)|\s*の\s*(\d+)|\s*第\s*(\d+)\s*番))"_s);
    return re;
}

// A key, in Japanese (ハ短調, 嬰ヘ長調), English (in D major, in B-flat minor)
// or German (D-Dur, fis-Moll).
const RE& keyExpression()
{
    static const RE re(
        uR"((?:嬰|変)?[イロハニホヘト](?:長|短)調)"
        uR"(|(?<![A-Za-z])(?i:in\s+[A-G](?:[- ]?(?:flat|sharp)|[b#♭♯])?\s+(?:major|minor))(?![A-Za-z]))"
        uR"(|(?<![A-Za-z])[A-Ha-h](?:is|es|s)?-(?:Dur|Moll|dur|moll)(?![A-Za-z]))"_s);
    return re;
}

// A nickname in brackets or quotes, and separators, at the start of a text.
const RE& nicknameExpression()
{
    static const RE re(
        uR"([\s,、.\-–—]*(?:「[^」]*」|『[^』]*』|"[^"]*"|“[^”]*”|'[^']*'|\([^)]*\))?[\s,、.\-–—]*)"_s);
    return re;
}

// The genres a work is numbered in, each in the spellings the collection's
// titles use (as quick find writes them: no spaces or middle dots, ヴァ as バ,
// small letters). Longer spellings first, so that ピアノ協奏曲 is not 協奏曲.
struct Genre {
    const char16_t* id;
    std::initializer_list<const char16_t*> spellings;
};
const Genre genres[] = {
    {u"symphony", {u"交響曲", u"symphony", u"sinfonie", u"symphonie"}},
    {u"piano concerto", {u"ピアノ協奏曲", u"pianoconcerto", u"klavierkonzert"}},
    {u"violin concerto", {u"ヴァイオリン協奏曲", u"violinconcerto", u"violinkonzert"}},
    {u"cello concerto", {u"チェロ協奏曲", u"celloconcerto", u"cellokonzert"}},
    {u"concerto", {u"協奏曲", u"concerto", u"konzert"}},
    {u"piano sonata", {u"ピアノソナタ", u"pianosonata", u"klaviersonate"}},
    {u"violin sonata", {u"ヴァイオリンソナタ", u"violinsonata", u"violinsonate"}},
    {u"cello sonata", {u"チェロソナタ", u"cellosonata", u"cellosonate"}},
    {u"sonata", {u"ソナタ", u"sonata", u"sonate"}},
    {u"string quartet", {u"弦楽四重奏曲", u"stringquartet", u"streichquartett"}},
    {u"string quintet", {u"弦楽五重奏曲", u"stringquintet", u"streichquintett"}},
    {u"piano trio", {u"ピアノ三重奏曲", u"pianotrio", u"klaviertrio"}},
    {u"piano quartet", {u"ピアノ四重奏曲", u"pianoquartet", u"klavierquartett"}},
    {u"piano quintet", {u"ピアノ五重奏曲", u"pianoquintet", u"klavierquintett"}},
    {u"cello suite", {u"無伴奏チェロ組曲", u"cellosuite"}},
    {u"suite", {u"組曲", u"suite"}},
    {u"partita", {u"パルティータ", u"partita"}},
    {u"serenade", {u"セレナード", u"セレナーデ", u"serenade"}},
    {u"mass", {u"ミサ曲", u"mass", u"messe"}},
    {u"cantata", {u"カンタータ", u"cantata", u"kantate"}},
    {u"hungarian rhapsody", {u"ハンガリー狂詩曲", u"hungarianrhapsody", u"ungarischerhapsodie"}},
    {u"nocturne", {u"夜想曲", u"ノクターン", u"nocturne"}},
    {u"ballade", {u"バラード", u"ballade"}},
    {u"waltz", {u"ワルツ", u"waltz", u"walzer", u"valse"}},
    {u"etude", {u"練習曲", u"etude", u"étude"}},
    {u"impromptu", {u"即興曲", u"impromptu"}},
};

struct GenreMatcher {
    RE expression;
    QHash<QString, QString> idOf; // spelling as matched -> genre
};

const GenreMatcher& genreMatcher()
{
    static const GenreMatcher matcher = [] {
        GenreMatcher m;
        QStringList spellings;
        for (const Genre& g : genres)
            for (const char16_t* s : g.spellings) {
                const QString written = normalizedForFind(QStringView(s));
                m.idOf.insert(written, QString::fromUtf16(g.id));
                spellings << written;
            }
        std::stable_sort(spellings.begin(), spellings.end(),
                         [](const QString& a, const QString& b) { return a.size() > b.size(); });
        QStringList escaped;
        for (const QString& s : spellings)
            escaped << RE::escape(s);
        m.expression
            = RE(QStringLiteral("(%1)(?:第(\\d+|[一二三四五六七八九十]+)番|(?:no|nr)\\.?(\\d+))")
                     .arg(escaped.join(u'|')));
        return m;
    }();
    return matcher;
}

// The movement parts that end a title, tried in this order.
const RE& colonExpression()
{
    static const RE re(uR"(\s*:(?!\d)\s*)"_s); // not Hob.I:104's
    return re;
}
const RE& movementNumberExpression()
{
    // 第2楽章; and 第3曲, 第1部 of a work in numbered pieces or parts
    static const RE re(uR"(第\s*(?:\d+|[一二三四五六七八九十]+)\s*(?:楽章|曲|部))"_s);
    return re;
}
const RE& numberedPartExpression()
{
    static const RE re(uR"((?:^|(?<=[\s\-–—]))(?:[IVX]{1,6}|\d{1,2})\.\s+\S)"_s);
    return re;
}

QString trimmedWork(QString work)
{
    static const RE end(uR"([\s,、:\-–—]+$)"_s);
    return work.remove(end).trimmed();
}

// A text compared as quick find compares it, and Latin letters without their
// accents (Dvořák as dvorak).
QString folded(QStringView text)
{
    const QString plain = normalizedForFind(text).normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(plain.size());
    for (QChar c : plain)
        if (c.category() != QChar::Mark_NonSpacing || c.unicode() > 0x036F)
            out += c;
    return out.normalized(QString::NormalizationForm_C);
}

} // namespace

QString CatalogueNumber::key() const
{
    QStringList parts;
    for (int n : numbers)
        parts << QString::number(n);
    return kind + u' ' + parts.join(u'.');
}

QString CatalogueNumber::text() const
{
    QString separator = QStringLiteral(" ");
    for (const CatalogueKind& c : catalogues)
        if (kind == QStringView(c.kind))
            separator = QString::fromUtf16(c.separator);
    QString out = kind + separator;
    for (int i = 0; i < numbers.size(); ++i) {
        if (kind == u"LW" && i == 0 && numbers.size() > 1)
            out += QChar(u'A' + numbers[0] - 1);
        else if (kind == u"Hob" && i == 0)
            out += romanText(numbers[0]) + u':';
        else
            out += (i > 0 && kind != u"Hob" && kind != u"LW" ? QStringLiteral("-") : QString())
                + QString::number(numbers[i]);
    }
    return out;
}

bool lessThan(const CatalogueNumber& a, const CatalogueNumber& b)
{
    if (a.kind != b.kind)
        return a.kind < b.kind;
    return std::lexicographical_compare(a.numbers.begin(), a.numbers.end(), b.numbers.begin(),
                                        b.numbers.end());
}

QVector<Found> catalogueNumbers(QStringView text)
{
    QVector<Found> found;
    const QString t = text.toString().normalized(QString::NormalizationForm_KC);
    auto it = catalogueExpression().globalMatch(t);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        Found f;
        f.from = m.capturedStart();
        f.to = m.capturedEnd();
        if (m.capturedLength(1) > 0) { // Hob.XVI:52
            const QString group = m.captured(2);
            const int g = group.front().isDigit() ? group.toInt() : romanNumber(group);
            if (g < 0)
                continue;
            f.number.kind = QStringLiteral("Hob");
            f.number.numbers = {g, m.captured(3).toInt()};
        } else if (m.capturedLength(8) > 0) { // LW A103: the letter counts first
            f.number.kind = QStringLiteral("LW");
            f.number.numbers = {m.captured(9).front().unicode() - u'A' + 1, m.captured(10).toInt()};
        } else {
            const bool japanese = m.capturedLength(6) > 0;
            f.number.kind = kindOf(m.captured(japanese ? 6 : 4));
            f.number.numbers = {m.captured(japanese ? 7 : 5).toInt()};
            if (f.number.kind == u"Op") {
                auto subAt = [&t](qsizetype at) {
                    return subNumberExpression().match(t, at, RE::NormalMatch,
                                                       RE::AnchorAtOffsetMatchOption);
                };
                for (auto sub = subAt(f.to); sub.hasMatch(); sub = subAt(f.to)) {
                    for (int c = 1; c <= 4; ++c)
                        if (sub.capturedLength(c) > 0)
                            f.number.numbers << sub.captured(c).toInt();
                    f.to = sub.capturedEnd();
                }
            }
        }
        found << f;
    }
    return found;
}

Title recognise(const QString& title, const QString& composer)
{
    QString t = title.normalized(QString::NormalizationForm_KC).simplified();
    const QString name = composer.normalized(QString::NormalizationForm_KC).simplified();
    if (!name.isEmpty() && t.startsWith(name, Qt::CaseInsensitive)) {
        qsizetype at = name.size();
        while (at < t.size() && t.at(at).isSpace())
            ++at;
        if (at < t.size() - 1 && t.at(at) == u':')
            t = t.mid(at + 1).trimmed();
    }
    Title out;
    qsizetype cut = -1, movementFrom = -1;
    // WORK: MOVEMENT, as ripped-music titles carry them
    const auto colon = colonExpression().match(t);
    const auto movementNumber = movementNumberExpression().match(t);
    const auto numberedPart = numberedPartExpression().match(t);
    if (colon.hasMatch() && colon.capturedStart() > 0 && colon.capturedEnd() < t.size()) {
        cut = colon.capturedStart();
        movementFrom = colon.capturedEnd();
    } else if (movementNumber.hasMatch()) {
        cut = movementFrom = movementNumber.capturedStart();
    } else if (numberedPart.hasMatch()) {
        cut = movementFrom = numberedPart.capturedStart();
    } else {
        // a dance or section named after the catalogue number or the key,
        // whichever is written last
        qsizetype end = -1;
        for (const Found& f : catalogueNumbers(t))
            end = std::max(end, f.to);
        for (auto it = keyExpression().globalMatch(t); it.hasNext();)
            end = std::max(end, it.next().capturedEnd());
        if (end > 0) {
            // past the separators and a nickname (「運命」)
            const auto nickname = nicknameExpression().match(t, end, RE::NormalMatch,
                                                             RE::AnchorAtOffsetMatchOption);
            const qsizetype rest = nickname.hasMatch() ? nickname.capturedEnd() : end;
            if (rest < t.size())
                cut = movementFrom = rest;
        }
    }
    if (cut >= 0) {
        out.work = trimmedWork(t.left(cut));
        out.movement = t.mid(movementFrom).trimmed();
    } else {
        out.work = t;
    }
    const QVector<Found> numbers = catalogueNumbers(out.work);
    if (!numbers.isEmpty())
        out.number = numbers.front().number;
    const GenreMatcher& genre = genreMatcher();
    if (const auto m = genre.expression.match(normalizedForFind(out.work)); m.hasMatch()) {
        const int n = numberOf(m.capturedLength(2) > 0 ? m.capturedView(2) : m.capturedView(3));
        if (n > 0)
            out.genre = genre.idOf.value(m.captured(1)) + u' ' + QString::number(n);
    }
    return out;
}

int Shown::totalSeconds() const
{
    int total = -1;
    for (int s : seconds)
        if (s >= 0)
            total = std::max(total, 0) + s;
    return total;
}

int Composer::recordings() const
{
    int n = 0;
    for (const Work& w : works)
        n += int(w.recordings.size());
    return n;
}

int durationSeconds(QStringView typed)
{
    static const RE clock(uR"(^\s*(?:(\d+):)?(\d+):(\d{1,2})\s*$)"_s);
    static const RE words(uR"(^\s*(?:(\d+)\s*時間)?\s*(?:(\d+)\s*分)?\s*(?:(\d+)\s*秒)?\s*$)"_s);
    static const RE marks(uR"(^\s*(\d+)\s*['′]\s*(\d{1,2})\s*(?:["″]|'')?\s*$)"_s);
    const QString t = typed.toString().normalized(QString::NormalizationForm_KC);
    if (const auto m = clock.match(t); m.hasMatch()) {
        if (m.captured(3).toInt() > 59 || (m.capturedLength(1) > 0 && m.captured(2).toInt() > 59))
            return -1;
        return m.captured(1).toInt() * 3600 + m.captured(2).toInt() * 60 + m.captured(3).toInt();
    }
    if (const auto m = marks.match(t); m.hasMatch() && m.captured(2).toInt() < 60)
        return m.captured(1).toInt() * 60 + m.captured(2).toInt();
    if (const auto m = words.match(t); m.hasMatch() && m.capturedLength(0) > 0
        && (m.capturedLength(1) + m.capturedLength(2) + m.capturedLength(3)) > 0)
        return m.captured(1).toInt() * 3600 + m.captured(2).toInt() * 60 + m.captured(3).toInt();
    return -1;
}

QString durationText(int seconds)
{
    if (seconds < 0)
        return QString();
    const int h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    const QChar zero = u'0';
    return h > 0 ? QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, zero).arg(s, 2, 10, zero)
                 : QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, zero);
}

namespace {

// The few keys of one work (its spellings, its recordings), each numbered in
// the order first given: searched in order while they are few, through an
// index beside them beyond. A hash of Qt's own takes some 1.7 KB at its first
// key, and two for each of 37,799 works at 50,000 CDs held 130 MiB while the
// works were gathered.
template <typename K> class FewKeys {
public:
    // The key's number; a new key gets the next.
    int idOf(const K& key)
    {
        if (m_index.isEmpty()) {
            const auto at = std::find(m_keys.begin(), m_keys.end(), key);
            if (at != m_keys.end())
                return int(at - m_keys.begin());
        } else if (const auto at = m_index.constFind(key); at != m_index.constEnd()) {
            return *at;
        }
        m_keys.push_back(key);
        const int id = int(m_keys.size()) - 1;
        if (!m_index.isEmpty())
            m_index.insert(key, id);
        else if (m_keys.size() > Few)
            for (int k = 0; k <= id; ++k)
                m_index.insert(m_keys[size_t(k)], k);
        return id;
    }
    const std::vector<K>& keys() const { return m_keys; }

private:
    static constexpr size_t Few = 16;
    std::vector<K> m_keys;
    QHash<K, int> m_index;
};

// The commonest of the spellings counted, the first written among equals.
struct Spellings {
    FewKeys<QString> texts;
    std::vector<int> count;
    void add(const QString& s)
    {
        const size_t i = size_t(texts.idOf(s));
        if (i == count.size())
            count.push_back(0);
        ++count[i];
    }
    bool isEmpty() const { return count.empty(); }
    QString commonest() const
    {
        QString best;
        int most = 0;
        for (size_t i = 0; i < count.size(); ++i)
            if (count[i] > most) {
                most = count[i];
                best = texts.keys()[i];
            }
        return best;
    }
};

// Each distinct text once: a collection repeats its titles, names and times
// song after song, and each is recognised, folded or read once. A text lent
// by a row is kept as it lies, since the rows outlive the gathering; any
// other (made for the asking) is kept as a copy of its own.
template <typename T> class Memo {
public:
    template <typename Make> int idOf(const QString& text, Make make)
    {
        // The songs of one CD lend the same stored text one after another. Only
        // a lent text is known by where it lies: a text made for the asking may
        // be made again where a different one lay.
        const bool lent = !text.isEmpty() && text.capacity() == 0;
        if (lent && m_lastId >= 0 && text.constData() == m_lastData && text.size() == m_lastSize)
            return m_lastId;
        auto it = m_ids.constFind(QStringView(text));
        if (it == m_ids.constEnd()) {
            m_values.push_back(make(text));
            QStringView key(text);
            if (!lent) {
                m_owned.push_back(text);
                key = m_owned.back();
            }
            it = m_ids.insert(key, int(m_values.size()) - 1);
        }
        m_lastData = lent ? text.constData() : nullptr;
        m_lastSize = text.size();
        m_lastId = lent ? *it : -1;
        return *it;
    }
    const T& operator[](int id) const { return m_values[size_t(id)]; }
    int size() const { return int(m_values.size()); }

private:
    QHash<QStringView, int> m_ids;
    std::vector<T> m_values;
    std::deque<QString> m_owned; // the keys not lent, where they stay put
    const QChar* m_lastData = nullptr;
    qsizetype m_lastSize = 0;
    int m_lastId = -1;
};

struct ComposerName {
    QString shown; // as typed, or its group's name
    QString key; // as compared
};

// A recording's CD名 and performers, each as the number of its folded text.
struct Performers {
    std::array<int, 4> ids;
    bool operator==(const Performers& o) const { return ids == o.ids; }
};

// A recording: a work with its CD名 and performers.
struct RecordingKey {
    int work;
    Performers performers;
    bool operator==(const RecordingKey& o) const
    {
        return work == o.work && performers == o.performers;
    }
};
size_t qHash(const RecordingKey& k, size_t seed = 0)
{
    return qHashMulti(seed, k.work, k.performers.ids[0], k.performers.ids[1], k.performers.ids[2],
                      k.performers.ids[3]);
}

// What the gathering keeps of a title: its work. The movement is read again
// for the work chosen, and at 50,000 CDs every distinct movement part would
// be held once more while the works are gathered.
Title workPart(Title t)
{
    t.movement = QString();
    return t;
}

// A copy with data of its own of a text perhaps lent by a row.
QString owned(const QString& text)
{
    return text.isNull() ? QString() : QString(text.unicode(), text.size());
}

// One song as the works are gathered from it, its texts lent by its row.
struct Song {
    QString cd; // CD名
    QString title; // 曲名
    QString composer; // 作曲者名
    QString conductor;
    QString ensemble;
    QString soloist;
};

// The columns of a song the works are read from.
struct SongColumns {
    int cd, title, composer, conductor, ensemble, soloist, duration, recorded;
    const QVector<FieldDef>& fields;
    SongColumns() : fields(kyokuTable().fields())
    {
        const TableDef& table = kyokuTable();
        auto column
            = [&table](const char16_t* name) { return table.indexOf(QString::fromUtf16(name)); };
        cd = column(u"CD名");
        title = column(u"曲名");
        composer = column(u"作曲者名");
        conductor = column(u"指揮者名");
        ensemble = column(u"演奏団体");
        soloist = column(u"ソリスト");
        duration = column(u"録音時間");
        recorded = column(u"録音年月日");
    }
    QString text(const Row& row, int c) const
    {
        return row.isNull(c) ? QString() : row.text(c, fields.at(c).type);
    }
    // The song's texts, lent by its row.
    void read(const Row& row, Song& s) const
    {
        s.cd = text(row, cd);
        s.title = text(row, title);
        s.composer = text(row, composer);
        s.conductor = text(row, conductor);
        s.ensemble = text(row, ensemble);
        s.soloist = text(row, soloist);
    }
};

// Asked every so many songs whether to give up.
constexpr qsizetype StopEvery = 4096;

bool stopped(const std::atomic<bool>* stop, qsizetype place)
{
    return stop && place % StopEvery == 0 && stop->load(std::memory_order_relaxed);
}

// The works of the rows at places 0 .. count-1 (a null row is passed over).
// Empty when stopped.
QVector<Composer> gatherFrom(qsizetype count, const std::function<const Row*(qsizetype)>& rowAt,
                             const names::Joins* joins, const std::atomic<bool>* stop)
{
    const SongColumns columns;
    Song s;
    Memo<Title> titles;
    Memo<ComposerName> composers;
    Memo<QString> foldedTexts;
    struct Seen {
        int title = -1; // none for a row passed over
        int composer = -1;
    };
    std::vector<Seen> seen(static_cast<size_t>(count));
    // A genre and number written beside a catalogue number (交響曲第5番 作品67)
    // stands for that number wherever the composer's songs write only the
    // genre; a genre seen beside two numbers stands for neither.
    QHash<QString, QSet<QString>> numbersOfGenre;
    for (qsizetype place = 0; place < count; ++place) {
        if (stopped(stop, place))
            return {};
        const Row* row = rowAt(place);
        if (!row)
            continue;
        columns.read(*row, s);
        Seen& at = seen[size_t(place)];
        // a title led by its composer's name is its own under that composer
        const QString composer = s.composer.trimmed();
        at.title = !composer.isEmpty() && s.title.startsWith(composer, Qt::CaseInsensitive)
            ? titles.idOf(composer + u'\x1f' + s.title,
                          [&](const QString&) { return workPart(recognise(s.title, composer)); })
            : titles.idOf(s.title, [](const QString& t) { return workPart(recognise(t)); });
        at.composer = composers.idOf(s.composer, [joins](const QString& typed) {
            const QString shown = joins ? names::groupName(*joins, typed) : typed.trimmed();
            return ComposerName{shown, folded(shown)};
        });
        const Title& t = titles[at.title];
        if (!t.number.isNull() && !t.genre.isEmpty())
            numbersOfGenre[composers[at.composer].key + u'\x1f' + t.genre].insert(t.number.key());
    }

    // The composers and their works, each numbered as first met.
    struct WorkBuild {
        Spellings titles;
        CatalogueNumber number;
        std::vector<int> recordings; // as first met
    };
    struct ComposerBuild {
        Spellings names;
        std::vector<int> works; // as first met
    };
    std::vector<ComposerBuild> composerBuilds;
    std::vector<WorkBuild> workBuilds;
    QHash<QString, int> composerOf; // by the folded name
    std::vector<int> buildOfName(size_t(composers.size()), -1); // by the name as typed
    QHash<QString, int> workOf; // by the folded name and the work's key
    // Each song's recording, numbered as first met.
    QHash<RecordingKey, int> recordingOf;
    std::vector<int> recordingOfSong(size_t(count), -1);
    std::vector<int> songsOfRecording;
    auto foldedId = [&foldedTexts](const QString& text) {
        return foldedTexts.idOf(text, [](const QString& t) { return folded(t); });
    };
    std::optional<RecordingKey> lastKey; // the songs of one recording follow one another
    int lastRecording = -1;
    for (qsizetype place = 0; place < count; ++place) {
        if (stopped(stop, place))
            return {};
        const Seen& at = seen[size_t(place)];
        if (at.title < 0)
            continue;
        columns.read(*rowAt(place), s);
        const Title& t = titles[at.title];
        const ComposerName& composer = composers[at.composer];
        QString work;
        if (!t.number.isNull()) {
            work = u'#' + t.number.key();
        } else if (!t.genre.isEmpty()) {
            const QSet<QString> numbers = numbersOfGenre.value(composer.key + u'\x1f' + t.genre);
            work = numbers.size() == 1 ? u'#' + *numbers.begin() : u'g' + t.genre;
        } else if (!t.work.isEmpty()) {
            work = u't' + folded(t.work);
        } else {
            work = u'c' + foldedTexts[foldedId(s.cd)]; // movements alone: the CD's own work
        }
        int& c = buildOfName[size_t(at.composer)];
        if (c < 0) {
            auto known = composerOf.constFind(composer.key);
            if (known == composerOf.constEnd()) {
                known = composerOf.insert(composer.key, int(composerBuilds.size()));
                composerBuilds.emplace_back();
            }
            c = *known;
        }
        composerBuilds[size_t(c)].names.add(composer.shown);
        const QString workKey = composer.key + u'\x1f' + work;
        auto w = workOf.constFind(workKey);
        if (w == workOf.constEnd()) {
            w = workOf.insert(workKey, int(workBuilds.size()));
            workBuilds.emplace_back();
            composerBuilds[size_t(c)].works.push_back(*w);
        }
        WorkBuild& wb = workBuilds[size_t(*w)];
        // the number of a work whose first song named only its genre
        if (wb.number.isNull() && !t.number.isNull())
            wb.number = t.number;
        wb.titles.add(t.work.isEmpty() ? s.cd : t.work);
        const RecordingKey key{
            *w,
            {{foldedId(s.cd), foldedId(s.conductor), foldedId(s.ensemble), foldedId(s.soloist)}}};
        if (!lastKey || !(*lastKey == key)) {
            auto known = recordingOf.constFind(key);
            if (known == recordingOf.constEnd()) {
                known = recordingOf.insert(key, int(songsOfRecording.size()));
                songsOfRecording.push_back(0);
                wb.recordings.push_back(*known);
            }
            lastKey = key;
            lastRecording = *known;
        }
        recordingOfSong[size_t(place)] = lastRecording;
        ++songsOfRecording[size_t(lastRecording)];
    }
    seen = {};
    recordingOf = {};

    // Each work's songs, recording after recording: where each recording
    // begins, then its songs put there in stored order.
    std::vector<int> workOfRecording(songsOfRecording.size());
    std::vector<int> nextOfRecording(songsOfRecording.size()); // where its next song goes
    std::vector<Work> builtWorks(workBuilds.size());
    for (size_t id = 0; id < workBuilds.size(); ++id) {
        Work& w = builtWorks[id];
        w.recordings.reserve(qsizetype(workBuilds[id].recordings.size()));
        int from = 0;
        for (int r : workBuilds[id].recordings) {
            w.recordings << Recording{from, songsOfRecording[size_t(r)]};
            workOfRecording[size_t(r)] = int(id);
            nextOfRecording[size_t(r)] = from;
            from += songsOfRecording[size_t(r)];
        }
        w.songs.resize(from);
        workBuilds[id].recordings = {};
    }
    songsOfRecording = {};
    for (qsizetype place = 0; place < count; ++place)
        if (const int r = recordingOfSong[size_t(place)]; r >= 0)
            builtWorks[size_t(workOfRecording[size_t(r)])].songs[nextOfRecording[size_t(r)]++]
                = int(place);

    QCollator collator = japaneseCollator(); // a copy of its own: this may run beside the window
    QVector<Composer> out;
    out.reserve(qsizetype(composerBuilds.size()));
    for (ComposerBuild& c : composerBuilds) {
        Composer composer;
        // names of their own: the statistics keep them after the rows may be gone
        composer.name = owned(c.names.commonest());
        composer.works.reserve(qsizetype(c.works.size()));
        for (int id : c.works) {
            const WorkBuild& wb = workBuilds[size_t(id)];
            Work& w = builtWorks[size_t(id)];
            w.title = owned(wb.titles.commonest());
            w.number = wb.number;
            composer.works << std::move(w);
        }
        std::stable_sort(composer.works.begin(), composer.works.end(),
                         [&collator](const Work& a, const Work& b) {
                             if (a.number.isNull() != b.number.isNull())
                                 return !a.number.isNull();
                             if (!a.number.isNull() && !(a.number == b.number))
                                 return lessThan(a.number, b.number);
                             return collator.compare(a.title, b.title) < 0;
                         });
        out << std::move(composer);
    }
    std::stable_sort(out.begin(), out.end(), [&collator](const Composer& a, const Composer& b) {
        return collator.compare(a.name, b.name) < 0;
    });
    return out;
}

} // namespace

Catalogue gather(std::vector<const Row*> rows, const names::Joins* joins)
{
    Catalogue out;
    out.rows = std::move(rows);
    out.composers = gatherFrom(
        qsizetype(out.rows.size()), [&out](qsizetype i) { return out.rows[size_t(i)]; }, joins,
        nullptr);
    return out;
}

Catalogue gather(const Snapshot& rows, const names::Joins* joins, const std::atomic<bool>* stop)
{
    Catalogue out;
    out.kept = rows;
    out.composers = gatherFrom(
        qsizetype(rows.size()), [&rows](qsizetype i) { return rows[size_t(i)].get(); }, joins,
        stop);
    return out;
}

QVector<Shown> Catalogue::show(const Work& w) const
{
    const SongColumns columns;
    QHash<QString, QString> movementOf; // by composer and title
    QHash<QString, int> secondsOf;
    QVector<Shown> out;
    for (const Recording& r : w.recordings) {
        Shown shown;
        for (int place : std::span(w.songs.constData() + r.from, size_t(r.count))) {
            const Row& song = *row(place);
            if (shown.rowids.isEmpty()) {
                shown.cd = columns.text(song, columns.cd);
                shown.conductor = columns.text(song, columns.conductor);
                shown.ensemble = columns.text(song, columns.ensemble);
                shown.soloist = columns.text(song, columns.soloist);
                shown.recorded = columns.text(song, columns.recorded);
                // texts of their own: what is shown may outlive the rows
                for (QString* text : {&shown.cd, &shown.conductor, &shown.ensemble, &shown.soloist,
                                      &shown.recorded})
                    *text = owned(*text);
            }
            shown.rowids << song.rowid;
            const QString composer = columns.text(song, columns.composer).trimmed();
            const QString title = columns.text(song, columns.title);
            const QString key = composer + u'\x1f' + title;
            auto m = movementOf.constFind(key);
            if (m == movementOf.constEnd()) {
                const Title t = recognise(title, composer);
                m = movementOf.insert(key, t.movement.isEmpty() ? t.work : t.movement);
            }
            shown.movements << *m;
            const QString typed = columns.text(song, columns.duration);
            auto d = secondsOf.constFind(typed);
            if (d == secondsOf.constEnd())
                d = secondsOf.insert(typed, durationSeconds(typed));
            shown.seconds << *d;
        }
        out << shown;
    }
    return out;
}

} // namespace works
