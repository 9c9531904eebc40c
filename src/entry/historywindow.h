#pragma once

#include <QDialog>

class Collection;
class QTableWidget;

// 変更履歴: the changes made to the collection, newest first, with the CDs
// and songs each touched; a chosen one can be taken back.
class frmHistory : public QDialog {
    Q_OBJECT
public:
    explicit frmHistory(Collection& db, QWidget* parent = nullptr);

private:
    void refill();
    void cmdUndoChange_Click();

    Collection& db;
    QTableWidget* grdHistory;
    QVector<qint64> m_ids; // each line's change
};
