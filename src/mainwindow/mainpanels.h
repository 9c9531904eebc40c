#pragma once

#include <QSet>

#include "displaystate.h"
#include "search/extract.h"
#include "store/view.h"

#include <QObject>

#include <array>
#include <optional>

class Collection;
class DataGrid;
class DataTextBox;
class JacketBox;
class LineControl;
class MMControl;
class QLabel;
class QPushButton;
class QWidget;

// The two panels of the main window, CDs on the left and songs on the right:
// grids, record boxes, counters, navigation buttons and the jacket picture,
// and the display state they show.
class MainPanels : public QObject {
    Q_OBJECT
public:
    MainPanels(Collection& db, MMControl* dialogSound, QWidget* client);

    QWidget* cdPanel() const { return picCD; }
    QWidget* kyokuPanel() const { return picKyoku; }
    // Lets the grids, the long boxes and the right-hand parts grow with the panels.
    void createLayouts();

    DisplayState state() const { return m_state; }
    bool isUnlinked() const { return isUnlinkedState(m_state); }
    qint32 lngCDTotal = 0;
    qint32 lngKyokuTotal = 0;
    // Counts every CD and every song, for the counters' second figures.
    void countTotals();

    // Makes the window show a display state: views bound to the grids and the
    // record panel, the grids' columns, the headers, the rule, the captions
    // and the counters. A missing current row lets the rest be shown.
    void showState(DisplayState state);
    // The grids' captions and the counters, as the state and the current rows have them.
    void showCaptionsAndCounters();
    // Binds the grids again after printing: songs beside the CD list where
    // `unlinked`, otherwise the linked pair; the song grid as in the linked view.
    void rebindAfterPrint(bool unlinked);
    // Nothing bound, counters at nought.
    void showNoData();
    void focusNext();
    // Shows the jacket of the CD on show again (a form may have changed it).
    void refreshJacket();
    // Marks the songs of the song grid that hold one of the words (as
    // normalizedForFind gives them); none when there are no words.
    void markSongs(const QStringList& words);
    // Marks these songs (by rowid) wherever the song grid shows them.
    void markSongRows(const QSet<qint64>& rowids);
    // The CD the CD grid stands on: what 貸す and 返却 act on.
    struct ShownCD {
        qint64 cdid;
        QString title;
    };
    std::optional<ShownCD> currentCD() const;
    // What a grid lists and the rows chosen in it (Shift, Ctrl, Ctrl+A).
    struct GridRows {
        ViewPtr view;
        QVector<int> chosen;
    };
    GridRows songRows() const;
    GridRows cdRows() const;

    void BindRecordPanel();
    void BindRecordPanelKyoku();
    void SetKyokuColWidth(qint16 index);
    void SetCDColWidth(qint16 index);
    void FormatKyokuGrid();
    void FormatKyokuGridAll();
    void FormatCDGrid();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createRatingColumns();
    void rateCurrent(DataGrid* grid, int stars);
    void createCDPanel(QWidget* client);
    void createKyokuPanel(QWidget* client);
    void createCounters();
    void createRecordPanel();
    void createNavigationButtons();
    void bindGrids(bool unlinked);
    void keepWidths();
    void bindBoxes(int from, int to, const ViewPtr& view);
    void setCounter(int index, qint64 listed, qint64 total);
    void navigate(bool cdSide, View::Step move);
    void txtrs0_Change();
    void txtrsSubDamie_Change();
    void showJacket(const QString& cdidText);
    void showMemo();

    Collection& db;
    MMControl* m_dialogSound;
    DisplayState m_state = DisplayState::AllData;
    QWidget* picCD = nullptr;
    QWidget* picKyoku = nullptr;
    DataGrid* DataGrid1 = nullptr; // songs
    DataGrid* DataGrid2 = nullptr; // CDs
    QLabel* lblCDdata = nullptr;
    QLabel* lblKyokudata = nullptr;
    JacketBox* picCDphoto = nullptr;
    QLabel* lblMemo = nullptr; // the note of the CD the record panel shows
    LineControl* Line3 = nullptr;
    DataTextBox* txtrsDamie = nullptr;
    DataTextBox* txtrsSubDamie = nullptr;
    std::array<DataTextBox*, 22> m_txtrs{};
    std::array<QLabel*, 22> m_lblFieldLabel{};
    std::array<QLabel*, 5> m_lblRcount{};
    std::array<QPushButton*, 8> m_nav{}; // ≪ ＜ ＞ ≫ of the CDs, then of the songs
};
