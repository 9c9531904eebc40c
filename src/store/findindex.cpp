#include "findindex.h"

#include "findtext.h"
#include "tables.h"
#include "view.h"

#include <QHash>

#include <algorithm>
#include <cstring>

namespace {

// The normalised text of one cell; repeated texts (a composer on every
// song) are normalised once.
class Normaliser {
public:
    const QByteArray& operator()(const QString& text)
    {
        auto it = m_done.constFind(text);
        if (it == m_done.constEnd())
            it = m_done.insert(text, normalizedForFind(text).toUtf8());
        return it.value();
    }

private:
    QHash<QString, QByteArray> m_done;
};

} // namespace

FindIndex::FindIndex(const Snapshot& cds, const Snapshot& songs)
{
    const auto& cdColumns = cdnameTable().fields();
    const auto& songColumns = kyokuTable().fields();
    const int titleColumn = kyokuTable().indexOf(QStringLiteral("CD名"));
    const View::ChapterIndex songsOf
        = View::chapterIndexOf(songs, titleColumn, songColumns.at(titleColumn).type);
    Normaliser normalised;
    QSet<QByteArray> seen;
    m_rowids.reserve(cds.size());
    m_ends.reserve(cds.size());
    auto add = [&](const Row& row, const QVector<FieldDef>& fields, int skip) {
        for (int c = 0; c < fields.size(); ++c) {
            if (c == skip || row.isNull(c))
                continue;
            const QByteArray& text = normalised(row.text(c, fields.at(c).type));
            if (text.isEmpty() || seen.contains(text))
                continue;
            seen.insert(text);
            m_text += text;
            m_text += '\x1f';
        }
    };
    for (const RowPtr& cd : cds) {
        if (!cd)
            continue;
        seen.clear();
        add(*cd, cdColumns, -1);
        const int cdTitle = cdnameTable().indexOf(QStringLiteral("CD名"));
        if (!cd->isNull(cdTitle)) {
            const auto it = songsOf.constFind(foldKey(cd->text(cdTitle, FieldType::Text)));
            if (it != songsOf.constEnd())
                for (int song : it.value())
                    add(*songs[size_t(song)], songColumns, titleColumn);
        }
        m_text += '\0';
        m_ends.push_back(m_text.size());
        m_rowids.push_back(cd->rowid);
    }
    m_text.squeeze();
}

QSet<qint64> FindIndex::cdsWithAll(const QStringList& words) const
{
    QSet<qint64> found;
    if (words.isEmpty())
        return found;
    std::vector<int> hits(m_rowids.size(), 0);
    int round = 0;
    for (const QString& word : words) {
        const QByteArray needle = word.toUtf8();
        if (needle.isEmpty())
            continue;
        ++round;
        const char* begin = m_text.constData();
        const char* end = begin + m_text.size();
        const char* at = begin;
        while (at < end) {
            const void* hit
                = memmem(at, size_t(end - at), needle.constData(), size_t(needle.size()));
            if (!hit)
                break;
            const qsizetype offset = static_cast<const char*>(hit) - begin;
            const size_t cd
                = size_t(std::upper_bound(m_ends.begin(), m_ends.end(), offset) - m_ends.begin());
            // one hit is enough for a CD: go on after it, counting only CDs
            // that every earlier word found
            if (hits[cd] == round - 1)
                hits[cd] = round;
            at = begin + m_ends[cd];
        }
    }
    for (size_t i = 0; i < hits.size(); ++i)
        if (round > 0 && hits[i] == round)
            found.insert(m_rowids[i]);
    return found;
}
