#pragma once

#include "store/batch.h"

#include <QDialog>

#include <memory>
#include <optional>

class Collection;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTableWidget;
using ViewPtr = std::shared_ptr<View>;

// 一括変更: one field of many songs (or CDs) set to one value, or a text
// replaced inside it, on the rows chosen in the main window's grid or on all
// it lists. 確認 shows how many rows change and the first of them; 変更 asks,
// then changes them all as one change.
class frmBatch : public QDialog {
    Q_OBJECT
public:
    // What a grid of the main window lists: its view and the rows chosen there.
    struct Listed {
        QString caption; // 曲 or CD
        ViewPtr view;
        QVector<int> chosen;
    };
    frmBatch(Collection& db, const QVector<Listed>& grids, QWidget* parent = nullptr);

private:
    void showFields();
    std::optional<QVector<batch::Change>> planned(); // none when refused (said)
    void cmdBatchPreview_Click();
    void showPreview(const std::optional<QVector<batch::Change>>& changes);
    void cmdBatchApply_Click();
    const Listed& target() const;
    QVector<int> rows() const;
    batch::Order order() const;

    Collection& db;
    QVector<Listed> m_grids;
    QComboBox* cboBatchTarget;
    QRadioButton* optBatchChosen;
    QRadioButton* optBatchAll;
    QComboBox* cboBatchField;
    QRadioButton* optBatchSet;
    QRadioButton* optBatchReplace;
    QLineEdit* txtBatchFind;
    QLineEdit* txtBatchValue;
    QLabel* lblBatchCount;
    QTableWidget* grdBatchPreview;
};
