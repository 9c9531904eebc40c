#pragma once

#include <QDate>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

class Connection;

// CDs lent to friends (貸出), in a table of their own beside the design's:
// each loan is a row, kept after the CD comes back, so that a CD's loans
// stay on record. A CD is out while one of its loans has no return date.
namespace loans {

struct Loan {
    qint64 id = 0; // 貸出ID, once stored
    qint64 cdid = 0;
    QString to; // 相手
    QDate lent; // 貸出日
    QDate due; // 返却予定日; none when not agreed
    QDate returned; // 返却日; none while out
    QString note; // メモ
    QString title; // the CD's CD名, as read (not stored with the loan)
    // Days past the date due on `today`; 0 when not yet due or none agreed.
    int daysOverdue(const QDate& today) const;
};

// A loan to be made.
Loan lending(qint64 cdid, const QString& to, const QDate& lent, const QDate& due = {},
             const QString& note = {});

const QStringList& tableStatements();
// From now on a CD this connection deletes (leaving no other row of its
// number) takes its loans along.
void startFollowing(Connection& cn);

// The loans still out, by CDID; none where the file has no table for them.
QHash<qint64, Loan> out(Connection& cn);
// What is out, in the order the list shows it: the most overdue first, then
// the nearest date due, the loans without one last, each by lending date.
QVector<Loan> inListOrder(const QHash<qint64, Loan>& out, const QDate& today);
// A CD's loans, the newest first.
QVector<Loan> historyOf(Connection& cn, qint64 cdid);
// Why a loan cannot be kept as it is, or an empty text: no name, no lending
// date, a date due or a return before the lending.
QString problem(const Loan& loan);
// Lends the CD (one transaction); refused with DbError, nothing written,
// when problem() names one, or while it is out.
void lend(Connection& cn, const Loan& loan);
// The CD back on this day; refused while it is not out or before its lending.
void giveBack(Connection& cn, qint64 cdid, const QDate& on);

} // namespace loans
