#pragma once

#include <QPointer>

class Collection;
class frmMain;
class QPrinter;

// The main window that Main created; the shared procedures reach its controls.
extern QPointer<frmMain> mainWindow;

// Start-up: records the start-up folder, shows the splash while the main
// window loads, and returns once the main window is shown.
// Returns false when the program is to end at once (another Rondella has the
// collection open).
bool Main();

// In a folder with only the old program's database (at start-up, and at
// リセット while no collection file is there): offers to bring it in.
enum class LegacyOffer {
    None, // nothing to offer
    Declined, // the user answered いいえ: a new empty collection is made
    Imported, // the collection was made from it
    Failed, // refused or stopped: no collection file, offered again next time
};
LegacyOffer offerLegacyImport(Collection& db);

// Lets the next Rondella open this collection folder.
void releaseCollectionLock();

// The printer every page set-up and report of the program shares.
QPrinter& sharedPrinter();

// The wait window: shown and painted before long work, unloaded after it.
void ShowWait();
void UnloadWait();
void LoadWait();
bool isWaitShown();

// Record panel bindings and grid layouts of the main window.
void BindRecordPanel();
void BindRecordPanelKyoku();
void SetKyokuColWidth(qint16 index);
void SetCDColWidth(qint16 index);
void FormatKyokuGrid();
void FormatKyokuGridAll();
void FormatCDGrid();
