#pragma once

#include "store/collection.h"

#include "entryform.h"

#include <QDialog>

#include <array>

class DataCombo;
class JacketBox;
class QLabel;
class QPlainTextEdit;

// The CD entry form: adds, corrects and deletes CDs through the shared CD view.
class frmInputCD : public QDialog {
    Q_OBJECT
Q_SIGNALS:
    // The form has closed; what it stored may change what the main window shows.
    void closedDataChanged();

public:
    frmInputCD(Collection& db, QWidget* parent = nullptr);
    // The collection the form enters into.
    Collection& db;

    qint64 lngLastCDID = 0;
    EntryBox* txtInput(int i) const { return m_txtInput.at(size_t(i)); }
    QLabel* lblFieldLabel(int i) const { return m_lblFieldLabel.at(size_t(i)); }
    bool inAddMode() const;
    // Begins adding a CD with these texts typed in, by field (CD名, 購入価格…):
    // what a wish bought brings along.
    void addFilledIn(const QHash<QString, QString>& texts);

    // The CD's note (メモ), of any length and lines, saved with the CD.
    QPlainTextEdit* txtMemo = nullptr;
    JacketBox* picJacket = nullptr;
    DataCombo* dcoHatubai = nullptr;
    DataCombo* dcoKaisetu = nullptr;
    QPushButton* cmdAdd = nullptr;
    QPushButton* cmdTeisei = nullptr;
    QPushButton* cmdUpdate = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdDelete = nullptr;
    QPushButton* cmdQuit = nullptr;
    QPushButton* cmdFirst = nullptr;
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
    void cmdAdd_Click();
    void cmdUpdate_Click();
    void cmdTeisei_Click();
    void cmdCancel_Click();
    void cmdDelete_Click();
    void cmdQuit_Click();
    void navigate(View::Step move);
    void RefreshCDLists();
    void setButtons(int add, int update, int cancel, int teisei, int del, int nav);
    bool titleMissing();
    void saveCurrent(bool correction);
    std::vector<EntryBox*> boxes() const;
    void refreshMemo();

    std::array<EntryBox*, 8> m_txtInput{};
    std::array<QLabel*, 8> m_lblFieldLabel{};
    QString m_memoShown; // the stored note the memo shows
    QMetaObject::Connection m_memoFollows[3];
    bool m_unloaded = false;
};
