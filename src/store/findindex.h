#pragma once

#include "row.h"
#include "view.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QStringList>

#include <atomic>
#include <span>
#include <vector>

// What quick find looks through: every distinct text of the CDs' fields, of
// their notes and of their songs' fields, once each, in the form normalizedForFind gives
// them, as UTF-8 in one block; and for each CD, which of those texts are its
// own or its songs'. A word is looked for once in the block, and the CDs
// holding a text it occurs in are found.
class FindIndex {
public:
    FindIndex() = default;
    // CDs and songs in the tables' column order, as the whole tables are
    // read. A song belongs to the CD whose title it bears, letter case aside;
    // a note (by CDID) to each CD of its number.
    // A `stop` that turns true ends the making early (the index is then
    // incomplete and must not be used).
    FindIndex(const Snapshot& cds, const Snapshot& songs, const QHash<qint64, QString>& notes = {},
              const std::atomic<bool>* stop = nullptr);

    int cdCount() const { return int(m_rowids.size()); }
    qsizetype bytes() const { return m_text.size(); }
    // The rowids of the CDs where every word (normalised) occurs somewhere.
    QSet<qint64> cdsWithAll(const QStringList& words) const;
    // The block itself, for measuring a bare search over the same text, and
    // for writing the same search out: each text ends in 0x00, in the order
    // of their numbers; a CD's texts by their numbers, CD after CD in the
    // order they were given.
    const QByteArray& text() const { return m_text; }
    std::span<const quint32> textsOf(int cd) const
    {
        const quint32 from = cd == 0 ? 0 : m_cdEnds[size_t(cd) - 1];
        return std::span<const quint32>(m_textsOfCDs).subspan(from, m_cdEnds[size_t(cd)] - from);
    }
    qint64 rowidOf(int cd) const { return m_rowids[size_t(cd)]; }

private:
    QByteArray m_text; // the distinct texts, each ended by 0x00
    std::vector<qsizetype> m_textEnds; // where each text ends in the block
    std::vector<quint32> m_textsOfCDs; // each CD's texts, CD after CD
    std::vector<quint32> m_cdEnds; // where each CD's texts end in m_textsOfCDs
    std::vector<qint64> m_rowids;
};
