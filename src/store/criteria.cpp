#include "criteria.h"

#include "dberror.h"

namespace {

void compilePattern(Criteria::Clause& c)
{
    c.anchoredStart = !c.value.startsWith(u'*');
    c.anchoredEnd = !c.value.endsWith(u'*');
    c.parts = c.value.split(u'*', Qt::SkipEmptyParts);
}

class Parser {
public:
    explicit Parser(const QString& text) : m_text(text) { }

    Criteria::Clause clause()
    {
        Criteria::Clause c;
        skipSpace();
        c.column = identifier();
        skipSpace();
        if (peek() == u'=') {
            ++m_pos;
        } else if (keyword(u"like")) {
            c.like = true;
        } else {
            fail(QStringLiteral("列名「%1」の後に = または like がありません").arg(c.column));
        }
        skipSpace();
        c.value = literal();
        if (c.like)
            compilePattern(c);
        return c;
    }

    // After a clause: true if " and " follows, false at the end of the text.
    bool andFollows()
    {
        skipSpace();
        if (atEnd())
            return false;
        if (!keyword(u"and"))
            fail(QStringLiteral("条件の間には and が必要です"));
        return true;
    }

    [[noreturn]] void fail(const QString& what) const
    {
        throw DbError(DbError::BadArguments,
                      QStringLiteral("抽出条件を解釈できません（%1）: %2").arg(what, m_text));
    }

private:
    bool atEnd() const { return m_pos >= m_text.size(); }
    QChar peek() const { return atEnd() ? QChar() : m_text.at(m_pos); }
    void skipSpace()
    {
        while (!atEnd() && peek().isSpace())
            ++m_pos;
    }

    bool keyword(QStringView word)
    {
        const qsizetype end = m_pos + word.size();
        if (end > m_text.size()
            || QStringView(m_text).mid(m_pos, word.size()).compare(word, Qt::CaseInsensitive) != 0)
            return false;
        // the keyword must stand alone: "likely" is no "like"
        if (end < m_text.size() && !m_text.at(end).isSpace() && m_text.at(end) != u'\'')
            return false;
        m_pos = end;
        return true;
    }

    QString identifier()
    {
        if (peek() == u'[') {
            const qsizetype close = m_text.indexOf(u']', m_pos + 1);
            if (close < 0)
                fail(QStringLiteral("[ に対応する ] がありません"));
            QString name = m_text.mid(m_pos + 1, close - m_pos - 1);
            m_pos = close + 1;
            return name;
        }
        const qsizetype start = m_pos;
        while (!atEnd() && !peek().isSpace() && peek() != u'=' && peek() != u'\'')
            ++m_pos;
        if (m_pos == start)
            fail(QStringLiteral("列名がありません"));
        return m_text.mid(start, m_pos - start);
    }

    QString literal()
    {
        if (peek() != u'\'') {
            // a bare number, as in CDID = 12
            const qsizetype start = m_pos;
            while (!atEnd() && (peek().isDigit() || peek() == u'-' || peek() == u'.'))
                ++m_pos;
            if (m_pos == start)
                fail(QStringLiteral("値は ' で囲んでください"));
            return m_text.mid(start, m_pos - start);
        }
        ++m_pos;
        QString value;
        for (;;) {
            if (atEnd())
                fail(QStringLiteral("値の終わりの ' がありません"));
            const QChar ch = m_text.at(m_pos++);
            if (ch != u'\'') {
                value += ch;
            } else if (peek() == u'\'') {
                value += ch;
                ++m_pos;
            } else {
                return value;
            }
        }
    }

    const QString& m_text;
    qsizetype m_pos = 0;
};

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

Criteria Criteria::parse(const QString& text)
{
    Criteria criteria;
    if (text.trimmed().isEmpty())
        return criteria;
    Parser parser(text);
    do {
        criteria.m_clauses.append(parser.clause());
    } while (parser.andFollows());
    return criteria;
}

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
