#include "historywindow.h"

#include "store/collection.h"
#include "store/dberror.h"
#include "widgets/msgbox.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

frmHistory::frmHistory(Collection& collection, QWidget* parent) : QDialog(parent), db(collection)
{
    setObjectName(QStringLiteral("frmHistory"));
    setWindowTitle(QStringLiteral("変更履歴"));
    grdHistory = new QTableWidget(0, 4, this);
    grdHistory->setObjectName(QStringLiteral("grdHistory"));
    grdHistory->setHorizontalHeaderLabels({QStringLiteral("日時"), QStringLiteral("種類"),
                                           QStringLiteral("内容"), QStringLiteral("状態")});
    grdHistory->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdHistory->setSelectionMode(QAbstractItemView::SingleSelection);
    grdHistory->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdHistory->horizontalHeader()->setStretchLastSection(true);
    auto* cmdUndoChange = new QPushButton(QStringLiteral("この変更を元に戻す"), this);
    cmdUndoChange->setObjectName(QStringLiteral("cmdUndoChange"));
    auto* cmdClose = new QPushButton(QStringLiteral("閉じる"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdUndoChange);
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grdHistory);
    layout->addLayout(buttons);
    resize(760, 420);
    connect(cmdUndoChange, &QPushButton::clicked, this, &frmHistory::cmdUndoChange_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);
    connect(&collection, &Collection::changeTakenBack, this, &frmHistory::refill);
    refill();
}

void frmHistory::refill()
{
    QVector<history::Change> changes;
    try {
        changes = db.History();
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
    static const QString states[]
        = {QString(), QStringLiteral("元に戻した"), QStringLiteral("元に戻した"),
           QStringLiteral("元に戻すには復元")};
    grdHistory->setRowCount(int(changes.size()));
    m_ids.clear();
    for (int i = 0; i < changes.size(); ++i) {
        const history::Change& c = changes[i];
        m_ids << c.id;
        const QString texts[] = {c.when.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")), c.kind,
                                 c.touched, states[c.state]};
        for (int column = 0; column < 4; ++column)
            grdHistory->setItem(i, column, new QTableWidgetItem(texts[column]));
    }
    grdHistory->resizeColumnsToContents();
    if (!changes.isEmpty())
        grdHistory->selectRow(0);
}

void frmHistory::cmdUndoChange_Click()
{
    const int row = grdHistory->currentRow();
    if (row < 0 || row >= m_ids.size())
        return;
    try {
        db.Undo(m_ids[row]);
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
    refill();
}
