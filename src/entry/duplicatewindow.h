#pragma once

#include "store/duplicates.h"

#include <QDialog>

class Collection;
class QLabel;
class QTableWidget;

// 重複の候補: the pairs of CDs likely one, each with why; for the chosen pair
// the collector keeps both (not proposed again) or merges one into the other.
class frmDuplicates : public QDialog {
    Q_OBJECT
public:
    explicit frmDuplicates(Collection& db, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Refills now when shown, otherwise once shown again: finding the pairs
    // reads every song, which a hidden window need not do after each change.
    void changed();
    void refill();
    bool m_stale = false;
    const duplicates::Pair* chosen() const;
    void cmdKeepBoth_Click();
    // Merges the other CD of the chosen pair into its first (or its second) CD.
    void merge(bool intoFirst);

    Collection& db;
    QTableWidget* grdDuplicates;
    QLabel* lblDuplicateCount;
    QVector<duplicates::Pair> m_pairs;
};
