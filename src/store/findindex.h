#pragma once

#include "row.h"
#include "view.h"

#include <QByteArray>
#include <QSet>
#include <QStringList>

#include <vector>

// What quick find looks through: for each CD, the texts of its fields and of
// its songs' fields in the form normalizedForFind gives them, each distinct
// text once, all of them as UTF-8 in one block, so that a word is found in
// every CD with one pass over the block.
class FindIndex {
public:
    FindIndex() = default;
    // CDs and songs in the tables' column order, as the whole tables are
    // read. A song belongs to the CD whose title it bears, letter case aside.
    FindIndex(const Snapshot& cds, const Snapshot& songs);

    int cdCount() const { return int(m_rowids.size()); }
    qsizetype bytes() const { return m_text.size(); }
    // The rowids of the CDs where every word (normalised) occurs somewhere.
    QSet<qint64> cdsWithAll(const QStringList& words) const;
    // The block itself, for measuring a bare search over the same text.
    const QByteArray& text() const { return m_text; }

private:
    QByteArray m_text; // the CDs' texts in order, each text ended by 0x1F, each CD by 0x00
    std::vector<qsizetype> m_ends; // where each CD's texts end
    std::vector<qint64> m_rowids;
};
