#include "findindex.h"

#include "findtext.h"
#include "tables.h"

#include <QHash>

#include <unordered_map>

#include <algorithm>
#include <cstring>

FindIndex::FindIndex(const Snapshot& cds, const Snapshot& songs,
                     const QHash<qint64, QString>& notes, const std::atomic<bool>* stop)
{
    const auto& cdColumns = cdnameTable().fields();
    const auto& songColumns = kyokuTable().fields();
    const int titleColumn = kyokuTable().indexOf(QStringLiteral("CD名"));
    const int cdTitle = cdnameTable().indexOf(QStringLiteral("CD名"));
    const int cdidColumn = cdnameTable().indexOf(QStringLiteral("CDID"));
    const View::ChapterIndex songsOf
        = View::chapterIndexOf(songs, titleColumn, songColumns.at(titleColumn).type);
    // Every normalised text is kept once: found again by its hash, the
    // block itself holding the texts to compare.
    std::unordered_map<quint64, quint32> idOfHash;
    auto textAt = [this](quint32 id) {
        const qsizetype from = id == 0 ? 0 : m_textEnds[id - 1];
        return QByteArrayView(m_text.constData() + from, m_textEnds[id] - from - 1);
    };
    auto idOfNormalised = [&](const QByteArray& normalised) {
        for (quint64 h = qHash(normalised, 0x5eed);; ++h) {
            const auto it = idOfHash.find(h);
            if (it == idOfHash.end()) {
                m_text += normalised;
                m_text += '\0';
                m_textEnds.push_back(m_text.size());
                const quint32 id = quint32(m_textEnds.size() - 1);
                idOfHash.emplace(h, id);
                return id;
            }
            if (textAt(it->second) == QByteArrayView(normalised))
                return it->second;
        }
    };
    // Within a CD the same stored text (a composer on every song) is
    // normalised once: the rows share it.
    std::unordered_map<const void*, qint64> idOfStored;
    auto idOf = [&](const Row& row, int c, FieldType type) -> qint64 {
        const void* shared = row.textAt(c);
        if (shared) {
            const auto known = idOfStored.find(shared);
            if (known != idOfStored.end())
                return known->second;
        }
        const QByteArray normalised = findableText(row.text(c, type)).toUtf8();
        const qint64 id = normalised.isEmpty() ? -1 : qint64(idOfNormalised(normalised));
        if (shared)
            idOfStored.emplace(shared, id);
        return id;
    };
    std::vector<quint32> ofThisCD;
    auto add = [&](const Row& row, const QVector<FieldDef>& fields, int skip) {
        for (int c = 0; c < fields.size(); ++c) {
            if (c == skip || row.isNull(c))
                continue;
            const qint64 id = idOf(row, c, fields.at(c).type);
            if (id >= 0)
                ofThisCD.push_back(quint32(id));
        }
    };
    m_rowids.reserve(cds.size());
    m_cdEnds.reserve(cds.size());
    for (const RowPtr& cd : cds) {
        if (stop && stop->load())
            return;
        if (!cd)
            continue;
        ofThisCD.clear();
        idOfStored.clear();
        add(*cd, cdColumns, -1);
        if (!notes.isEmpty() && !cd->isNull(cdidColumn)) {
            const auto note = notes.constFind(cd->value(cdidColumn).toLongLong());
            if (note != notes.constEnd()) {
                const QByteArray normalised = findableText(*note).toUtf8();
                if (!normalised.isEmpty())
                    ofThisCD.push_back(idOfNormalised(normalised));
            }
        }
        if (!cd->isNull(cdTitle)) {
            const auto it = songsOf.constFind(foldKey(cd->text(cdTitle, FieldType::Text)));
            if (it != songsOf.constEnd())
                for (int song : it.value())
                    add(*songs[size_t(song)], songColumns, titleColumn);
        }
        std::sort(ofThisCD.begin(), ofThisCD.end());
        ofThisCD.erase(std::unique(ofThisCD.begin(), ofThisCD.end()), ofThisCD.end());
        m_textsOfCDs.insert(m_textsOfCDs.end(), ofThisCD.begin(), ofThisCD.end());
        m_cdEnds.push_back(quint32(m_textsOfCDs.size()));
        m_rowids.push_back(cd->rowid);
    }
    m_text.squeeze();
    m_textsOfCDs.shrink_to_fit();
}

QSet<qint64> FindIndex::cdsWithAll(const QStringList& words) const
{
    QSet<qint64> found;
    std::vector<int> hits(m_rowids.size(), 0);
    int round = 0;
    std::vector<char> holds(m_textEnds.size());
    for (const QString& word : words) {
        const QByteArray needle = word.toUtf8();
        if (needle.isEmpty())
            continue;
        ++round;
        // the texts the word occurs in: one pass over the block
        std::fill(holds.begin(), holds.end(), 0);
        const char* begin = m_text.constData();
        const char* end = begin + m_text.size();
        const char* at = begin;
        while (at < end) {
            const void* hit
                = memmem(at, size_t(end - at), needle.constData(), size_t(needle.size()));
            if (!hit)
                break;
            const qsizetype offset = static_cast<const char*>(hit) - begin;
            const size_t text
                = size_t(std::upper_bound(m_textEnds.begin(), m_textEnds.end(), offset)
                         - m_textEnds.begin());
            holds[text] = 1;
            at = begin + m_textEnds[text]; // one hit is enough for a text
        }
        // the CDs holding such a text, among those every earlier word found
        quint32 from = 0;
        for (size_t cd = 0; cd < m_cdEnds.size(); ++cd) {
            const quint32 to = m_cdEnds[cd];
            if (hits[cd] == round - 1)
                for (quint32 i = from; i < to; ++i)
                    if (holds[m_textsOfCDs[i]]) {
                        hits[cd] = round;
                        break;
                    }
            from = to;
        }
    }
    for (size_t i = 0; i < hits.size(); ++i)
        if (round > 0 && hits[i] == round)
            found.insert(m_rowids[i]);
    return found;
}
