#pragma once

#include "store/collection.h"

#include "entryform.h"

#include <QDialog>

#include <array>

class DataCombo;
class DataGrid;
class QComboBox;
class QLabel;

// The song entry form: adds, corrects and deletes songs through the shared
// song view, each song assigned to a stored CD by its title.
class frmInputKyoku : public QDialog {
    Q_OBJECT
Q_SIGNALS:
    // The form has closed; what it stored may change what the main window shows.
    void closedDataChanged();

public:
    frmInputKyoku(Collection& db, QWidget* parent = nullptr);
    // The collection the form enters into.
    Collection& db;
    ~frmInputKyoku() override;

    qint64 lngLastKyokuID = 0;
    ViewPtr rsCDChoice;
    EntryBox* txtrsSub(int i) const { return m_txtrsSub.at(size_t(i - 1)); }
    QLabel* lblFieldLabel(int i) const { return m_lblFieldLabel.at(size_t(i - 7)); }
    DataCombo* DataCombo1(int i) const { return m_dataCombo1.at(size_t(i)); }
    bool inAddMode() const;

    QComboBox* dcoCDName = nullptr; // object name dcoCD名
    DataGrid* dgdSub = nullptr;
    QPushButton* cmdMasterAdd = nullptr;
    QPushButton* cmdTeisei = nullptr;
    QPushButton* cmdMasterUpdate = nullptr;
    QPushButton* cmdMasterCancel = nullptr;
    QPushButton* cmdDelete = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* cmd1copy = nullptr;
    QPushButton* cmdTop = nullptr;
    QPushButton* cmdPrevious = nullptr;
    QPushButton* cmdNext = nullptr;
    QPushButton* cmdLast = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void connectEvents();
    void Form_Load();
    void Form_Unload();
    void cmdMasterAdd_Click();
    void cmdMasterUpdate_Click();
    void cmdTeisei_Click();
    void cmdMasterCancel_Click();
    void cmdDelete_Click();
    void Command1_Click();
    void cmd1copy_Click();
    void navigate(View::Step move);
    void RefreshKyokuLists();
    void SetcmbListKyoku();
    void showChosenCD();
    void setButtons(bool browse);
    bool chosenCDUnknown(const QString& title);
    void saveCurrent();
    std::vector<EntryBox*> boxes() const;

    std::array<EntryBox*, 14> m_txtrsSub{};
    std::array<QLabel*, 14> m_lblFieldLabel{};
    std::array<DataCombo*, 6> m_dataCombo1{};
    QMetaObject::Connection m_follow;
};
