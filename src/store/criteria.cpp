#include "criteria.h"

#include "dberror.h"

namespace {

void compilePattern(Criteria::Clause& c)
{
    c.anchoredStart = !c.value.startsWith(u'*');
    c.anchoredEnd = !c.value.endsWith(u'*');
    c.parts = c.value.split(u'*', Qt::SkipEmptyParts);
}

bool likeMatches(const Criteria::Clause& c, QStringView value)
{
    if (c.parts.isEmpty())
        return !c.anchoredStart || value.isEmpty(); // "" or "*"/"**"
    qsizetype from = 0;
    qsizetype limit = value.size();
    qsizetype first = 0;
    qsizetype last = c.parts.size();
    if (c.anchoredStart) {
        if (!value.startsWith(c.parts.front(), Qt::CaseInsensitive))
            return false;
        from = c.parts.front().size();
        first = 1;
    }
    if (c.anchoredEnd && last > first) {
        const QString& tail = c.parts.back();
        if (limit - from < tail.size() || !value.endsWith(tail, Qt::CaseInsensitive))
            return false;
        limit -= tail.size();
        --last;
    } else if (c.anchoredEnd && from != limit) {
        return false; // the pattern had one piece, anchored at both ends: exact match
    }
    for (qsizetype i = first; i < last; ++i) {
        const qsizetype at = value.first(limit).indexOf(c.parts.at(i), from, Qt::CaseInsensitive);
        if (at < 0)
            return false;
        from = at + c.parts.at(i).size();
    }
    return true;
}

} // namespace

Criteria& Criteria::equals(const QString& column, const QString& value)
{
    Clause c;
    c.column = column;
    c.value = value;
    m_clauses.append(c);
    return *this;
}

Criteria& Criteria::like(const QString& column, const QString& pattern)
{
    Clause c;
    c.column = column;
    c.like = true;
    c.value = pattern;
    compilePattern(c);
    m_clauses.append(c);
    return *this;
}

Criteria& Criteria::rowsAmong(std::shared_ptr<const QSet<qint64>> rowids, const QString& label)
{
    Clause c;
    c.rowids = std::move(rowids);
    c.value = label;
    m_clauses.append(c);
    return *this;
}

QString Criteria::text() const
{
    QStringList clauses;
    for (const Clause& c : m_clauses)
        if (c.rowids)
            clauses << c.value;
        else
            clauses << c.column + (c.like ? QStringLiteral(" like '") : QStringLiteral(" = '"))
                    + quoteCriteriaValue(c.value) + u'\'';
    return clauses.join(QStringLiteral(" and "));
}

bool Criteria::matches(const Clause& clause, const QString& value, bool isNull)
{
    if (isNull)
        return false;
    if (!clause.like)
        return value.compare(clause.value, Qt::CaseInsensitive) == 0;
    return likeMatches(clause, value);
}

QString quoteCriteriaValue(const QString& value)
{
    QString quoted = value;
    quoted.replace(u'\'', QStringLiteral("''"));
    return quoted;
}
