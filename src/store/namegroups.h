#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <vector>

class Connection;
class Row;

// One name for every spelling of a person or an ensemble, across 作曲者名,
// 編曲者名, 指揮者名, 演奏団体, ソリスト and 解説者. Spellings quick find makes
// equal (ベートーベン, ベートーヴェン, half and full width) are one group from the
// start; the collector joins others (J.S.バッハ and バッハ), and only the
// collector: the joins are kept in a table of their own, namegroup, made
// with the first join, beside the design's two tables, which they never
// change. Rewriting the stored spellings to one is a command of its own.
namespace names {

// The joins the collector made: each joined spelling, as quick find writes
// it, with its group's name.
using Joins = QHash<QString, QString>;
Joins readJoins(Connection& cn);
// The stored joins as rows of 表記 and 名前, by group, for the CSV export.
QVector<QVector<QVariant>> joinRows(Connection& cn);

// The key a spelling is grouped by: its group's name once joined, otherwise
// the spelling itself, both as quick find writes them.
QString groupKey(const Joins& joins, const QString& spelling);
// The name shown for a spelling: its group's once joined, else the spelling.
QString groupName(const Joins& joins, const QString& spelling);

struct Spelling {
    QString text;
    int songs = 0; // songs naming it in any of the five fields
    int cds = 0; // CDs of those songs, and CDs naming it as 解説者
};

struct Group {
    QString name; // the joined group's name, or its commonest spelling
    bool joined = false;
    QVector<Spelling> spellings; // most used first
    int songs = 0; // songs naming any of its spellings
    int cds = 0;
};

// Every spelling stored in the person fields of these rows, in groups, in
// Japanese order of their names.
QVector<Group> gather(const std::vector<const Row*>& songs, const std::vector<const Row*>& cds,
                      const Joins& joins);

// Groups that may be one person: one name ends with the other after initials
// or a given name (J.S.バッハ and バッハ), or both are the same words in
// another order (カラヤン・ヘルベルト and ヘルベルト・カラヤン).
struct Suggestion {
    int first; // indexes into the groups
    int second;
    QString why;
};
QVector<Suggestion> suggest(const QVector<Group>& groups);

// Each a transaction of its own, after the run's backup; throw DbError.
// Joins the spellings into one group of this name (renaming a group is
// joining its spellings anew).
void join(Connection& cn, const QStringList& spellings, const QString& name);
// Takes a spelling out of its group: it is grouped by itself again.
void split(Connection& cn, const QString& spelling);

// Rewrites every stored occurrence of the spellings as the one chosen, in
// the five song fields and 解説者; returns how many songs and CDs changed.
struct Rewritten {
    int songs = 0;
    int cds = 0;
};
Rewritten unify(Connection& cn, const QStringList& spellings, const QString& chosen);

} // namespace names
