#pragma once

#include "store/loans.h"

#include <QDialog>

class Collection;
class QCheckBox;
class QDateEdit;
class QLineEdit;
class QTableWidget;

// 貸す: lends one CD (to whom, from when, until when, a note), with the CD's
// earlier loans below for reference. It closes once the loan is stored; a
// refusal keeps it open with what was typed.
class frmLoan : public QDialog {
    Q_OBJECT
public:
    frmLoan(Collection& db, qint64 cdid, const QString& title, QWidget* parent = nullptr);

private:
    void cmdLend_Click();

    Collection& db;
    qint64 m_cdid;
    QLineEdit* txtLoanTo;
    QDateEdit* dtpLent;
    QCheckBox* chkDue;
    QDateEdit* dtpDue;
    QLineEdit* txtLoanNote;
};

// 貸出中の一覧: every CD out, the most overdue first, with the days; a chosen
// one can be marked as back.
class frmLoans : public QDialog {
    Q_OBJECT
public:
    explicit frmLoans(Collection& db, QWidget* parent = nullptr);

private:
    void refill();
    void cmdReturn_Click();

    Collection& db;
    QTableWidget* grdLoans;
    QVector<qint64> m_cdids; // each line's CD
};
