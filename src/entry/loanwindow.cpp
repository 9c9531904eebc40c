#include "loanwindow.h"

#include "store/collection.h"
#include "store/dberror.h"
#include "widgets/msgbox.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

constexpr int DaysLentAsUsual = 14; // the date due offered at first

QString dateText(const QDate& date)
{
    return date.isValid() ? date.toString(QStringLiteral("yyyy/MM/dd")) : QString();
}

QDateEdit* dateEdit(const char* name, const QDate& date, QWidget* parent)
{
    auto* edit = new QDateEdit(date, parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    edit->setCalendarPopup(true);
    return edit;
}

// What a list of loans shows of each: its CD, to whom, the dates, and the
// days late (or when it came back).
QStringList loanHeading()
{
    return {QStringLiteral("CD名"),       QStringLiteral("相手"),       QStringLiteral("貸出日"),
            QStringLiteral("返却予定日"), QStringLiteral("遅れ・返却"), QStringLiteral("メモ")};
}

QStringList loanTexts(const loans::Loan& loan, const QDate& today)
{
    const int late = loan.daysOverdue(today);
    const QString state = loan.returned.isValid()
        ? QStringLiteral("%1 返却").arg(dateText(loan.returned))
        : late > 0 ? QStringLiteral("%1日遅れ").arg(late)
                   : QString();
    return {loan.title, loan.to, dateText(loan.lent), dateText(loan.due), state, loan.note};
}

QTableWidget* loanGrid(const char* name, QWidget* parent)
{
    auto* grid = new QTableWidget(0, int(loanHeading().size()), parent);
    grid->setObjectName(QString::fromLatin1(name));
    grid->setHorizontalHeaderLabels(loanHeading());
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->horizontalHeader()->setStretchLastSection(true);
    return grid;
}

void fill(QTableWidget* grid, const QVector<loans::Loan>& list)
{
    const QDate today = QDate::currentDate();
    grid->setRowCount(int(list.size()));
    for (int i = 0; i < list.size(); ++i) {
        const QStringList texts = loanTexts(list[i], today);
        for (int column = 0; column < texts.size(); ++column)
            grid->setItem(i, column, new QTableWidgetItem(texts[column]));
    }
    grid->resizeColumnsToContents();
}

} // namespace

// ---- frmLoan

frmLoan::frmLoan(Collection& collection, qint64 cdid, const QString& title, QWidget* parent)
    : QDialog(parent), db(collection), m_cdid(cdid)
{
    setObjectName(QStringLiteral("frmLoan"));
    setWindowTitle(QStringLiteral("貸す"));
    const QDate today = QDate::currentDate();
    txtLoanTo = new QLineEdit(this);
    txtLoanTo->setObjectName(QStringLiteral("txtLoanTo"));
    dtpLent = dateEdit("dtpLent", today, this);
    chkDue = new QCheckBox(QStringLiteral("返却予定日"), this);
    chkDue->setObjectName(QStringLiteral("chkDue"));
    chkDue->setChecked(true);
    dtpDue = dateEdit("dtpDue", today.addDays(DaysLentAsUsual), this);
    txtLoanNote = new QLineEdit(this);
    txtLoanNote->setObjectName(QStringLiteral("txtLoanNote"));
    connect(chkDue, &QCheckBox::toggled, dtpDue, &QWidget::setEnabled);

    auto* form = new QFormLayout;
    auto* cdTitle = new QLabel(title, this);
    cdTitle->setObjectName(QStringLiteral("lblLoanCD"));
    form->addRow(QStringLiteral("CD"), cdTitle);
    form->addRow(QStringLiteral("相手"), txtLoanTo);
    form->addRow(QStringLiteral("貸出日"), dtpLent);
    form->addRow(chkDue, dtpDue);
    form->addRow(QStringLiteral("メモ"), txtLoanNote);

    QTableWidget* grdLoanHistory = loanGrid("grdLoanHistory", this);
    try {
        fill(grdLoanHistory, db.LoanHistory(cdid));
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
    auto* cmdLend = new QPushButton(QStringLiteral("貸す"), this);
    cmdLend->setObjectName(QStringLiteral("cmdLend"));
    cmdLend->setDefault(true);
    auto* cmdCancel = new QPushButton(QStringLiteral("キャンセル"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdLend);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(new QLabel(QStringLiteral("このCDの貸出の記録"), this));
    layout->addWidget(grdLoanHistory);
    layout->addLayout(buttons);
    resize(560, 420);
    connect(cmdLend, &QPushButton::clicked, this, &frmLoan::cmdLend_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmLoan::cmdLend_Click()
{
    try {
        db.Lend(loans::lending(m_cdid, txtLoanTo->text(), dtpLent->date(),
                               chkDue->isChecked() ? dtpDue->date() : QDate(),
                               txtLoanNote->text()));
        accept();
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}

// ---- frmLoans

frmLoans::frmLoans(Collection& collection, QWidget* parent) : QDialog(parent), db(collection)
{
    setObjectName(QStringLiteral("frmLoans"));
    setWindowTitle(QStringLiteral("貸出中の一覧"));
    grdLoans = loanGrid("grdLoans", this);
    auto* cmdReturn = new QPushButton(QStringLiteral("返却"), this);
    cmdReturn->setObjectName(QStringLiteral("cmdReturn"));
    auto* cmdClose = new QPushButton(QStringLiteral("閉じる"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdReturn);
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grdLoans);
    layout->addLayout(buttons);
    resize(720, 400);
    connect(cmdReturn, &QPushButton::clicked, this, &frmLoans::cmdReturn_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);
    connect(&collection, &Collection::loanChanged, this, &frmLoans::refill);
    connect(&collection, &Collection::changeTakenBack, this, &frmLoans::refill);
    connect(&collection, &Collection::cdChanged, this, &frmLoans::refill);
    refill();
}

void frmLoans::refill()
{
    QVector<loans::Loan> list;
    try {
        list = loans::inListOrder(db.Loans(), QDate::currentDate());
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
    m_cdids.clear();
    for (const loans::Loan& loan : list)
        m_cdids << loan.cdid;
    fill(grdLoans, list);
    if (!list.isEmpty())
        grdLoans->selectRow(0);
}

void frmLoans::cmdReturn_Click()
{
    const int row = grdLoans->currentRow();
    if (row < 0 || row >= m_cdids.size())
        return;
    try {
        db.GiveBack(m_cdids[row], QDate::currentDate());
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}
