#pragma once

#include <QtGlobal>

class Connection;

// The numbers of new rows, counted alike by the entry forms and by every
// import that adds rows: one past the largest stored when counting starts,
// then one past the last handed out. The last number handed out, given back
// because its row was given up, is handed out again; a number whose row was
// stored and deleted meanwhile is not.
class IdentifierCounter {
public:
    explicit IdentifierCounter(qint64 largestStored = 0) : m_last(largestStored) { }
    qint64 take() { return ++m_last; }
    // Returns the last number handed out now.
    qint64 giveBack(qint64 id)
    {
        if (id == m_last)
            --m_last;
        return m_last;
    }
    qint64 last() const { return m_last; }

private:
    qint64 m_last;
};

namespace identifiers {

// The largest CDID and 曲ID stored, 0 in an empty table. Read as 64 bits: an
// identifier past 2^31 written by another program must not wrap round to a
// small number that is already taken.
qint64 largestCDID(Connection& cn);
qint64 largestKyokuID(Connection& cn);

} // namespace identifiers
