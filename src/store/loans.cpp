#include "loans.h"

#include "connection.h"
#include "dberror.h"

#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

namespace loans {

namespace {

constexpr char16_t Columns[]
    = u"貸出ID, CDID, 相手, 貸出日, 返却予定日, 返却日, メモ, (SELECT CD名 "
      u"FROM main.cdname c WHERE c.CDID = loan.CDID LIMIT 1)";

QSqlQuery run(Connection& cn, const QString& sql, const QVariantList& params = {})
{
    return cn.query(QStringLiteral("貸出"), sql, params);
}

QVariant stored(const QDate& date)
{
    return date.isValid() ? QVariant(date.toString(Qt::ISODate)) : QVariant();
}

QDate dateOf(const QVariant& v)
{
    return v.isNull() ? QDate() : QDate::fromString(v.toString(), Qt::ISODate);
}

Loan loanOf(const QSqlQuery& q)
{
    Loan loan = lending(q.value(1).toLongLong(), q.value(2).toString(), dateOf(q.value(3)),
                        dateOf(q.value(4)), q.value(6).toString());
    loan.id = q.value(0).toLongLong();
    loan.returned = dateOf(q.value(5));
    loan.title = q.value(7).toString();
    return loan;
}

[[noreturn]] void refuse(const QString& why, int number = DbError::BadArguments)
{
    throw DbError(number, why + QStringLiteral("（何も変更していません）"));
}

void requireTable(Connection& cn)
{
    if (!cn.hasTable(QStringLiteral("loan")))
        refuse(QStringLiteral("このコレクションファイルには貸出を記録できません（書き込めないファイ"
                              "ルです）。"),
               DbError::NotAllowedNow);
}

} // namespace

int Loan::daysOverdue(const QDate& today) const
{
    return due.isValid() ? int(std::max<qint64>(0, due.daysTo(today))) : 0;
}

Loan lending(qint64 cdid, const QString& to, const QDate& lent, const QDate& due,
             const QString& note)
{
    Loan loan;
    loan.cdid = cdid;
    loan.to = to;
    loan.lent = lent;
    loan.due = due;
    loan.note = note;
    return loan;
}

const QStringList& tableStatements()
{
    static const QStringList statements = {QStringLiteral(
        "CREATE TABLE IF NOT EXISTS loan (貸出ID INTEGER PRIMARY KEY, CDID INTEGER NOT NULL, 相手 "
        "TEXT NOT NULL, 貸出日 TEXT NOT NULL, 返却予定日 TEXT, 返却日 TEXT, メモ TEXT NOT NULL "
        "DEFAULT '')")};
    return statements;
}

void startFollowing(Connection& cn)
{
    if (cn.hasTable(QStringLiteral("loan")))
        cn.followDeletes(QStringLiteral("loan"), QStringLiteral("CDID"), QStringLiteral("cdname"));
}

QHash<qint64, Loan> out(Connection& cn)
{
    QHash<qint64, Loan> out;
    if (!cn.hasTable(QStringLiteral("loan")))
        return out;
    QSqlQuery q = run(cn,
                      QStringLiteral("SELECT %1 FROM main.loan WHERE 返却日 IS NULL")
                          .arg(QString::fromUtf16(Columns)));
    while (q.next()) {
        const Loan loan = loanOf(q);
        out.insert(loan.cdid, loan);
    }
    return out;
}

QVector<Loan> inListOrder(const QHash<qint64, Loan>& out, const QDate& today)
{
    QVector<Loan> list(out.begin(), out.end());
    std::sort(list.begin(), list.end(), [&today](const Loan& a, const Loan& b) {
        const int lateA = a.daysOverdue(today), lateB = b.daysOverdue(today);
        if (lateA != lateB)
            return lateA > lateB;
        if (a.due.isValid() != b.due.isValid()) // no date due goes last
            return a.due.isValid();
        if (a.due != b.due)
            return a.due < b.due;
        if (a.lent != b.lent)
            return a.lent < b.lent;
        return a.id < b.id;
    });
    return list;
}

QVector<Loan> historyOf(Connection& cn, qint64 cdid)
{
    QVector<Loan> loans;
    if (!cn.hasTable(QStringLiteral("loan")))
        return loans;
    QSqlQuery q
        = run(cn,
              QStringLiteral("SELECT %1 FROM main.loan WHERE CDID = ? ORDER BY 貸出日 DESC, "
                             "貸出ID DESC")
                  .arg(QString::fromUtf16(Columns)),
              {cdid});
    while (q.next())
        loans << loanOf(q);
    return loans;
}

QString problem(const Loan& loan)
{
    if (loan.to.trimmed().isEmpty())
        return QStringLiteral("貸す相手を入力してください");
    if (!loan.lent.isValid())
        return QStringLiteral("貸出日を入力してください");
    if (loan.due.isValid() && loan.due < loan.lent)
        return QStringLiteral("返却予定日が貸出日より前です");
    if (loan.returned.isValid() && loan.returned < loan.lent)
        return QStringLiteral("返却日が貸出日より前です");
    return QString();
}

void lend(Connection& cn, const Loan& loan)
{
    const QString to = loan.to.trimmed();
    if (const QString why = problem(loan); !why.isEmpty())
        refuse(why);
    requireTable(cn);
    cn.transaction([&] {
        // a loan of no CD would be listed as out for ever, with no CD to give back
        if (cn.column(QStringLiteral("SELECT count(*) FROM cdname WHERE CDID = ?"), {loan.cdid})
                .value(0)
                .toLongLong()
            == 0)
            refuse(QStringLiteral("CDID %1 のCDはありません").arg(loan.cdid),
                   DbError::ItemNotFound);
        const QHash<qint64, Loan> now = out(cn);
        if (now.contains(loan.cdid))
            refuse(QStringLiteral("このCDは %1 さんに貸出中です").arg(now.value(loan.cdid).to),
                   DbError::NotAllowedNow);
        run(cn,
            QStringLiteral("INSERT INTO main.loan (CDID, 相手, 貸出日, 返却予定日, メモ) VALUES "
                           "(?, ?, ?, ?, ?)"),
            {loan.cdid, to, stored(loan.lent), stored(loan.due),
             loan.note.isNull() ? QStringLiteral("") : loan.note}); // a NULL QString binds NULL
    });
}

void giveBack(Connection& cn, qint64 cdid, const QDate& on)
{
    requireTable(cn);
    cn.transaction([&] {
        const QHash<qint64, Loan> now = out(cn);
        if (!now.contains(cdid))
            refuse(QStringLiteral("このCDは貸出中ではありません"), DbError::NotAllowedNow);
        if (!on.isValid() || on < now.value(cdid).lent)
            refuse(QStringLiteral("返却日が貸出日より前です"));
        run(cn, QStringLiteral("UPDATE main.loan SET 返却日 = ? WHERE 貸出ID = ?"),
            {stored(on), now.value(cdid).id});
    });
}

} // namespace loans
