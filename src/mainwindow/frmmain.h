#pragma once

#include "displaystate.h"
#include "search/extract.h"

#include <QMainWindow>
#include <QPointer>
#include <QPrinter>

#include <functional>
#include <memory>
#include <vector>

class Collection;
class DbError;
class FileCommands;
class MainPanels;
class MMControl;
class PrintCommands;
class QAction;
class SearchPanel;
class frmWait;

// The main window: the CD and song panels, the criteria panel, the menus and
// the toolbar. It owns the collection it shows and hands it to the forms,
// the search and the reports; its controls are reached by their object names.
class frmMain : public QMainWindow {
    Q_OBJECT
public:
    // The window owns the collection it shows. `lock` keeps a second Rondella
    // off its folder until deleted (null where the folder cannot be locked);
    // the window deletes it as it unloads, the application as it ends.
    frmMain(std::unique_ptr<Collection> collection, QObject* lock);
    ~frmMain() override;

private:
    std::unique_ptr<Collection> m_collection;

public:
    // The collection shown, handed to the forms, the search and the reports.
    Collection& db;

    // Runs the load sequence: opens the data context and shows all data.
    void Form_Load();

    // Display state, read by the grids' formatting, navigation, sorting and search.
    DisplayState displayState() const;
    bool blnCDSearch() const { return displayState() == DisplayState::CDSearch; }
    bool blnKyokuSearch() const { return displayState() == DisplayState::SongSearch; }
    qint32 lngCDTotal() const;
    qint32 lngKyokuTotal() const;

    // The window's size at its designed layout, menus and toolbar included.
    QSize designedSize() const;
    // Shows the window where the user last left it (size, place, maximised),
    // or, the first time and when that place is on no screen now, at its
    // designed size, maximised.
    void showInItsPlace();
    // The printer every page set-up and report of this window shares.
    QPrinter& printer() { return m_printer; }

    // Closes and reopens the data context and shows all data again.
    void reset();
    // An entry form has closed: all data again, as reset() shows it.
    void entryFormClosed();
    // Many rows rewritten at once (a batch change, a merge, an undo): as after
    // an entry form, but on the CD and song that were on show where they remain.
    // A change taken back shows the CD and song it touched, where they remain.
    void rowsRewritten(const QVariant& cdid = {}, const QVariant& songId = {});
    // The whole tables could not be read after the first screen, or the file
    // proved damaged meanwhile.
    void collectionUnreadable(const DbError& error);

    void mnuReset_Click();
    // Quick find: applies the text of txtQuickFind now, as a CD search over
    // every field (typing applies it once the keys pause).
    void quickFind();
    void cmdFilter_Click();
    void ShowModeTitle();
    void SetcmbList();

    // The wait window: shown and painted before long work, unloaded after it.
    void ShowWait();
    void UnloadWait();
    void LoadWait();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QWidget* createClientArea();
    void createLayouts();
    void connectEvents();
    void listenToReading();

    void Form_Unload();
    void Form_Activate();
    void mnuPage_Click();
    void mnuCDinput_Click();
    void mnuInputkyoku_Click();
    void mnuhelp2_Click();
    void mnuVer_Click();
    void tbToolBar_ButtonClick(const QString& key);
    void showNoData();
    void clearQuickFind();

    void sortCommand(const ViewPtr& view, const QString& spec, const char* mark);
    QAction* sortMark(const char* name) const;
    void mnuTyuu_Click();
    void mnuSibori_Click();
    void mnuStatistics_Click();
    void mnuWorks_Click();
    void mnuNames_Click();
    void mnuUndo_Click();
    void mnuRedo_Click();
    void mnuHistory_Click();
    void mnuLend_Click();
    void mnuReturn_Click();
    void mnuLoans_Click();
    void mnuBatch_Click();
    void mnuDuplicates_Click();
    void mnuWishes_Click(const QString& find = {});
    // 買った: the wish entered in the CD form, filled in, and removed once stored.
    void buyWish(const wishes::Wish& wish);
    // The window of this name raised when it is open, made by `make` and shown
    // otherwise: one of each at a time.
    void showOnce(const QString& name, const std::function<QWidget*()>& make);
    void showRecording(const QStringList& cdTitles, const QVector<qint64>& songRowids,
                       const QString& caption);
    void showSongsWithCDs(DisplayState state);
    void endExtraction();
    // A stop with a message: the wait window closes, then the words are shown.
    void refuse(const QString& words);

    // Runs steps in order: a missing current row lets the next step run, any
    // other error is shown and ends the sequence. Returns whether all ran.
    using Steps = std::vector<std::function<void()>>;
    bool runSteps(const Steps& steps);
    // The steps that show all data once the data context has been opened:
    // value lists, totals, the display state, the sort marks and the title.
    Steps allDataSteps();
    void showAllDataAfter(Steps steps);

    QPointer<QObject> m_lock;
    QPrinter m_printer{QPrinter::HighResolution};
    QWidget* m_client = nullptr; // the designed area, inside a scroll area
    MMControl* MMCdialog = nullptr;
    MMControl* MMCdrop = nullptr;
    MainPanels* m_panels = nullptr;
    SearchPanel* picTyuu = nullptr;
    FileCommands* m_files = nullptr;
    PrintCommands* m_print = nullptr;
    QPointer<frmWait> m_wait;
    class QuickFindField* m_quickFind = nullptr;
    class QToolButton* cmdWishesFound = nullptr;
    void showWishesFound(const QStringList& words);
    // again for the words still typed, the wish list having changed
    void recountWishesFound();
    QPointer<class frmStatistics> m_statistics;
    QPointer<class frmWorks> m_works;
    bool m_unloading = false;
    bool m_changedByForm = false; // a CD or a song changed since the last entry form closed
};
