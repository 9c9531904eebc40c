#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

// A row filter: clauses "column = 'value'" and "column like 'pattern'" joined
// by "and", built from what the collector ticked and typed. In a pattern "*"
// matches any run of characters. Comparison ignores letter case, as the
// collection's users expect from searching by name.
class Criteria {
public:
    struct Clause {
        QString column;
        bool like = false;
        QString value; // the value with doubled quotes undone
        QStringList parts; // for like: the literal pieces between the asterisks
        bool anchoredStart = true;
        bool anchoredEnd = true;
        int fieldIndex = -1; // filled in by the view that applies the criteria
        // Set for a clause that passes the rows of these rowids whatever their
        // values; `value` then holds the words the clause is shown as.
        std::shared_ptr<const QSet<qint64>> rowids;
    };

    // Adds a clause: the column equal to the value, or like the pattern
    // ("*" any run of characters). The value is taken as typed, quotes and all.
    Criteria& equals(const QString& column, const QString& value);
    Criteria& like(const QString& column, const QString& pattern);
    // Adds a clause that passes the rows of these rowids, shown as `label`.
    Criteria& rowsAmong(std::shared_ptr<const QSet<qint64>> rowids, const QString& label);

    // The criteria as captions and reports show them: "column = 'value'"
    // clauses joined by " and ", every quote inside a value doubled.
    QString text() const;

    bool isEmpty() const { return m_clauses.isEmpty(); }
    QVector<Clause>& clauses() { return m_clauses; }
    const QVector<Clause>& clauses() const { return m_clauses; }

    // Whether one value (as text; null when the field is null) passes a clause.
    static bool matches(const Clause& clause, const QString& value, bool isNull);

private:
    QVector<Clause> m_clauses;
};

// Writes a value as the body of a quoted criteria literal: every quote doubled.
QString quoteCriteriaValue(const QString& value);
