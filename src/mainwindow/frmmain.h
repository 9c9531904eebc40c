#pragma once

#include "search/extract.h"
#include "store/collection.h"
#include "widgets/databound.h"

#include <QLabel>
#include <QMainWindow>
#include <QPointer>

#include <array>
#include <functional>
#include <initializer_list>
#include <vector>

class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QToolBar;
class MMControl;

// A line drawn solid (border style 1) or dotted (border style 3).
class LineControl : public QWidget {
    Q_OBJECT
public:
    LineControl(const QString& name, Qt::Orientation orientation, QWidget* parent);
    int borderStyle() const { return m_style; }
    void setBorderStyle(int style);
    void setColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Qt::Orientation m_orientation;
    int m_style = 3;
    QColor m_color = Qt::black;
};

// A picture that acts as a button.
class ImageButton : public QLabel {
    Q_OBJECT
public:
    ImageButton(const QString& name, const QPixmap& picture, QWidget* parent);
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

class DbError;
namespace importer {
struct Rows;
}

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    // The window owns the collection it shows.
    explicit frmMain(std::unique_ptr<Collection> collection);
    ~frmMain() override;

private:
    std::unique_ptr<Collection> m_collection;

public:
    // The collection shown, handed to the forms, the search and the reports.
    Collection& db;

    // Runs the load sequence: opens the data context and shows all data.
    void Form_Load();

    // Display state, read by the grids' formatting, navigation, sorting and search.
    DisplayState displayState() const { return m_state; }
    bool blnCDSearch() const { return m_state == DisplayState::CDSearch; }
    bool blnKyokuSearch() const { return m_state == DisplayState::SongSearch; }
    qint32 lngCDTotal = 0;
    qint32 lngKyokuTotal = 0;

    DataGrid* DataGrid1 = nullptr; // songs
    DataGrid* DataGrid2 = nullptr; // CDs
    DataTextBox* txtrs(int i) const { return m_txtrs.at(size_t(i)); }
    QLabel* lblFieldLabel(int i) const { return m_lblFieldLabel.at(size_t(i)); }
    DataTextBox* txtrsDamie = nullptr;
    DataTextBox* txtrsSubDamie = nullptr;
    QLabel* lblRcount(int i) const { return m_lblRcount.at(size_t(i)); }
    QCheckBox* Check1(int i) const { return m_check1.at(size_t(i)); }
    DataCombo* DataCombo1(int i) const { return m_dataCombo1.at(size_t(i)); }

    MMControl* MMCdialog = nullptr;
    MMControl* MMCdrop = nullptr;

    // The window's size at its designed layout, menus and toolbar included.
    QSize designedSize() const;

    // Closes and reopens the data context and shows all data again.
    void reset();
    // The whole tables could not be read after the first screen, or the file
    // proved damaged meanwhile.
    void collectionUnreadable(const DbError& error);

    void mnuReset_Click();
    void cmdFilter_Click();
    void ShowModeTitle();
    void SetcmbList();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // construction
    QWidget* createClientArea();
    void createLayouts();
    void createMenus();
    void createToolbar();
    void createCDPanel();
    void createKyokuPanel();
    void createRecordPanel();
    void createNavigationButtons();
    void createSearchPanel();
    void createSearchInputs();
    void connectEvents();
    QAction* menuItem(QMenu* menu, const char* name, const QString& caption);

    // start-up and shell
    void Form_Unload();
    void Form_Activate();
    void mnuPage_Click();
    void mnuQuit_Click();
    void mnuhelp2_Click();
    void mnuCDinput_Click();
    void mnuRestore_Click();
    void mnuprv_Click();
    void mnuPrv2_Click();
    void mnuprv3_Click();
    void mnuImport_Click();
    void mnuCsvImport_Click();
    bool bringIn(const importer::Rows& rows, const QString& source, bool confirmIntoEmpty);
    void mnuCsvExport_Click();
    void mnuCsvExportShown_Click();
    // Opens the data context; a damaged collection with a backup beside it
    // may be replaced by the newest backup, the damaged file kept aside.
    void openCollection();
    void previewReport(class BandedReport& report, const QString& criteriaLabel,
                       const QString& caption);
    void rebindAfterPrint();
    void showNoData();
    void mnuInputkyoku_Click();
    void mnuVer_Click();
    void tbToolBar_ButtonClick(const QString& key);

    // display states and sorting
    void mnuCDs_Click();
    void mnuKyokuS_Click();
    void sortCommand(const ViewPtr& view, const QString& spec, QAction* mark);
    bool isUnlinked() const;
    void showAllDataCaptions();
    void setCounter(int index, qint64 listed, qint64 total);

    // navigation and the record panel
    void navigate(bool cdSide, View::Step move);
    void txtrsDamie_Change();
    void txtrs0_Change();
    void showJacket(const QString& cdidText);
    void txtrsSubDamie_Change();

    // search panel
    void mnuSearch_Click();
    void mnuTyuu_Click();
    void mnuSibori_Click();
    void imgTyu_Click();
    void imgSibori_Click();
    void imgReset_Click();
    void imgClose_Click();
    void Check1_Click(int Index);
    void setCmdFilterDefault(bool isDefault);
    bool anyTicked(std::initializer_list<int> boxes) const;
    void untick(std::initializer_list<int> boxes);
    QString criterionValue(int index) const;
    void showSongsWithCDs(DisplayState state);
    void endExtraction();

    // Runs steps in order: a missing current row lets the next step run, any
    // other error is shown and ends the sequence. Returns whether all ran.
    using Steps = std::vector<std::function<void()>>;
    bool runSteps(const Steps& steps);
    // The steps that show all data once the data context has been opened:
    // grids, value lists, record panel, layouts, totals, counters, captions, title.
    Steps allDataSteps();

    std::array<DataTextBox*, 22> m_txtrs{};
    std::array<QLabel*, 22> m_lblFieldLabel{};
    std::array<QLabel*, 5> m_lblRcount{};
    std::array<QCheckBox*, 13> m_check1{};
    std::array<DataCombo*, 9> m_dataCombo1{}; // no DataCombo1(7): 曲名 is typed

public:
    QToolBar* tbToolBar = nullptr;
    QWidget* picCD = nullptr;
    QWidget* picKyoku = nullptr;
    QLabel* lblCDdata = nullptr;
    QLabel* lblKyokudata = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* picCDphoto = nullptr;
    LineControl* Line3 = nullptr;
    QPushButton* cmdTop = nullptr;
    QPushButton* cmdPrevious = nullptr;
    QPushButton* cmdNext = nullptr;
    QPushButton* cmdLast = nullptr;
    QPushButton* cmdTopsub = nullptr;
    QPushButton* cmdLeftSub = nullptr;
    QPushButton* cmdRightSub = nullptr;
    QPushButton* cmdLastsub = nullptr;

    QFrame* picTyuu = nullptr;
    QGroupBox* FraKyoku = nullptr;
    QGroupBox* FraCD = nullptr;
    QLineEdit* txtKyoku = nullptr;
    QLineEdit* txtCDmei = nullptr;
    QLineEdit* txtKyabinet = nullptr;
    QLineEdit* txtDan = nullptr;
    QPushButton* cmdFilter = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    ImageButton* imgTyu = nullptr;
    ImageButton* imgSibori = nullptr;
    ImageButton* imgReset = nullptr;
    ImageButton* imgClose = nullptr;

    QAction* mnuCDs = nullptr;
    QAction* mnuKyokuS = nullptr;

private:
    QWidget* m_client = nullptr; // the designed area, inside a scroll area
    DisplayState m_state = DisplayState::AllData;
    bool m_cmdFilterDefault = false;
    bool m_unloading = false;
};
