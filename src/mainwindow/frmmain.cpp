#include "frmmain.h"

#include "entry/frminputcd.h"
#include "entry/frminputkyoku.h"
#include "filecommands.h"
#include "mainpanels.h"
#include "menus.h"
#include "reports/pagesetup.h"
#include "reports/printcommands.h"
#include "search/searchpanel.h"
#include "store/collection.h"
#include "store/dberror.h"
#include "widgets/msgbox.h"
#include "widgets/quickfindfield.h"
#include "widgets/secondary.h"
#include "widgets/sound.h"
#include "widgets/twips.h"
#include "widgets/twipslayout.h"
#include "widgets/windowplace.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPageSetupDialog>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace {
constexpr int designWidth = 15400;
constexpr int designHeight = 10560;
constexpr int cdPanelWidth = 6525;
constexpr int kyokuPanelWidth = 8625;
} // namespace

// ---- construction

// The pictures compiled into the program live in a static library: they must
// be registered by hand before the first window uses them.
static void registerPictures()
{
    Q_INIT_RESOURCE(ui);
}

frmMain::frmMain(std::unique_ptr<Collection> collection, QObject* lock)
    : m_collection(std::move(collection)), db(*m_collection), m_lock(lock)
{
    registerPictures();
    setObjectName(QStringLiteral("frmMain"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Rondella"));
    m_client = createClientArea();
    MMCdialog = new MMControl(QStringLiteral("MMCdialog"), this);
    MMCdrop = new MMControl(QStringLiteral("MMCdrop"), this);
    buildMenus(menuBar());
    auto* toolbar
        = buildToolbar(m_client, [this](const QString& key) { tbToolBar_ButtonClick(key); });
    toolbar->setGeometry(0, 0, twips(15400), twips(360));
    m_quickFind = new QuickFindField(QStringLiteral("txtQuickFind"),
                                     QStringLiteral("すべての項目から探す"), this, toolbar);
    toolbar->addWidget(m_quickFind)->setObjectName(QStringLiteral("txtQuickFindAction"));
    connect(m_quickFind, &QuickFindField::typingPaused, this, &frmMain::quickFind);
    connect(m_quickFind, &QuickFindField::escaped, this, &frmMain::mnuReset_Click);
    // how many wishes quick find's text finds: owned or wished for, one look
    cmdWishesFound = new QToolButton(toolbar);
    cmdWishesFound->setObjectName(QStringLiteral("cmdWishesFound"));
    QAction* wishesFound = toolbar->addWidget(cmdWishesFound);
    wishesFound->setObjectName(QStringLiteral("cmdWishesFoundAction"));
    wishesFound->setVisible(false);
    connect(cmdWishesFound, &QToolButton::clicked, this,
            [this] { mnuWishes_Click(m_quickFind->text()); });
    m_panels = new MainPanels(db, MMCdialog, m_client);
    picTyuu = new SearchPanel(MMCdialog, m_client);
    m_files = new FileCommands(
        db, this, [this] { reset(); }, [this] { showNoData(); });
    m_print = new PrintCommands(db, m_printer, MMCdialog, this, [this] {
        m_panels->rebindAfterPrint(picTyuu->allSongsTicked() || blnKyokuSearch());
    });
    createLayouts();
    connectEvents();
    listenToReading();
}

frmMain::~frmMain() = default;

QWidget* frmMain::createClientArea()
{
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("clientScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    auto* client = new QWidget;
    client->setObjectName(QStringLiteral("clientArea"));
    scroll->setWidget(client);
    setCentralWidget(scroll);
    return client;
}

// The designed layout is the window's smallest size; wider and taller windows
// give the extra room to the grids and the long boxes, and a screen smaller
// than the design scrolls the content.
void frmMain::createLayouts()
{
    using A = TwipsLayout::Anchor;
    // The extra width is shared by the two panels in proportion to their widths.
    const qreal cdShare = qreal(cdPanelWidth) / (cdPanelWidth + kyokuPanelWidth);
    auto* client = new TwipsLayout(m_client, QSize(twips(designWidth), twips(designHeight)));
    client->anchor(m_client->findChild<QToolBar*>(QStringLiteral("tbToolBar")), A{0, 1, 0, 0});
    client->anchor(m_panels->cdPanel(), A{0, cdShare, 0, 1});
    client->anchor(m_panels->kyokuPanel(), A{cdShare, 1 - cdShare, 0, 1});
    m_panels->createLayouts();
}

void frmMain::showInItsPlace()
{
    if (windowplace::showAsKept(this))
        return;
    // The designed size where the screen allows, for a desktop that does not
    // maximise windows; maximised wherever it does.
    // Room is left for a window frame, which is not known before the window shows.
    if (const QScreen* screen = this->screen())
        resize(sizeHint()
                   .expandedTo(designedSize())
                   .boundedTo(screen->availableGeometry().size() - QSize(16, 48)));
    showMaximized();
}

QSize frmMain::designedSize() const
{
    return QSize(twips(designWidth), twips(designHeight) + menuBar()->sizeHint().height());
}

void frmMain::connectEvents()
{
    auto on = [this](const char* name, std::function<void()> handler) {
        auto* action = findChild<QAction*>(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, std::move(handler));
    };
    on("mnuPage", [this] { mnuPage_Click(); });
    on("mnuQuit", [this] { close(); });
    on("mnuTyuu", [this] { mnuTyuu_Click(); });
    on("mnuSibori", [this] { mnuSibori_Click(); });
    on("mnuStatistics", [this] { mnuStatistics_Click(); });
    on("mnuWorks", [this] { mnuWorks_Click(); });
    on("mnuNames", [this] { mnuNames_Click(); });
    on("mnuUndo", [this] { mnuUndo_Click(); });
    // their keys work wherever the focus is in the window; a text box takes
    // Ctrl+Z for its own typing first
    for (const char* name : {"mnuUndo", "mnuRedo"})
        addAction(findChild<QAction*>(QString::fromLatin1(name)));
    on("mnuRedo", [this] { mnuRedo_Click(); });
    on("mnuHistory", [this] { mnuHistory_Click(); });
    on("mnuLend", [this] { mnuLend_Click(); });
    on("mnuReturn", [this] { mnuReturn_Click(); });
    on("mnuLoans", [this] { mnuLoans_Click(); });
    on("mnuWishes", [this] { mnuWishes_Click(); });
    on("mnuBatch", [this] { mnuBatch_Click(); });
    on("mnuDuplicates", [this] { mnuDuplicates_Click(); });
    on("mnuCDs", [this] {
        sortCommand(m_panels->isUnlinked() ? db.cdList() : db.cds(), QStringLiteral("CD名 asc"),
                    "mnuCDs");
    });
    on("mnuKyokuS", [this] {
        sortCommand(m_panels->isUnlinked() ? db.songs() : db.songsOfCD(),
                    QStringLiteral("曲名 asc"), "mnuKyokuS");
    });
    on("mnuReset", [this] { mnuReset_Click(); });
    on("mnuCDinput", [this] { mnuCDinput_Click(); });
    on("mnuInputkyoku", [this] { mnuInputkyoku_Click(); });
    on("mnuRestore", [this] { m_files->mnuRestore_Click(); });
    on("mnuImport", [this] { m_files->mnuImport_Click(); });
    on("mnuCsvImport", [this] { m_files->mnuCsvImport_Click(); });
    on("mnuAudioImport", [this] { m_files->mnuAudioImport_Click(); });
    on("mnuImportTellico", [this] { m_files->mnuImportTellico_Click(); });
    on("mnuImportDiscogs", [this] { m_files->mnuImportDiscogs_Click(); });
    on("mnuCsvExport", [this] { m_files->mnuCsvExport_Click(); });
    on("mnuCsvExportShown", [this] { m_files->mnuCsvExportShown_Click(m_panels->isUnlinked()); });
    on("mnuExportHtml", [this] { m_files->mnuExportHtml_Click(); });
    on("mnuPrv2", [this] { m_print->mnuPrv2_Click(blnKyokuSearch() && !blnCDSearch()); });
    on("mnuprv3", [this] { m_print->mnuprv3_Click(); });
    on("mnuprv", [this] { m_print->mnuprv_Click(picTyuu->allSongsTicked() || blnKyokuSearch()); });
    on("mnuhelp2", [this] { mnuhelp2_Click(); });
    on("mnuVer", [this] { mnuVer_Click(); });
    for (const char* name : {"mnuFile", "mnuEdit", "mnuSearch"})
        connect(findChild<QMenu*>(QString::fromLatin1(name)), &QMenu::aboutToShow, this,
                [this] { MMCdialog->playSound(); });
    connect(picTyuu, &SearchPanel::filterClicked, this, &frmMain::cmdFilter_Click);
    connect(picTyuu, &SearchPanel::closeClicked, this, &frmMain::LoadWait);
}

// A command that needs every row of a large collection before they are all
// in waits behind the wait window; a collection that proves unreadable
// meanwhile is let go of.
void frmMain::listenToReading()
{
    connect(&db, &Collection::waitingForRows, this,
            [this, shownHere = false](bool waiting) mutable {
                if (waiting && !(m_wait && m_wait->isVisible())) {
                    ShowWait();
                    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
                    shownHere = true;
                } else if (!waiting && shownHere) {
                    QGuiApplication::restoreOverrideCursor();
                    UnloadWait();
                    shownHere = false;
                }
            });
    connect(&db, &Collection::readingFailed, this, &frmMain::collectionUnreadable);
    connect(&db, &Collection::cdChanged, this, [this] { m_changedByForm = true; });
    connect(&db, &Collection::songsChanged, this, [this] { m_changedByForm = true; });
    // a change taken back shows what a closed entry form shows
    connect(&db, &Collection::changeTakenBack, this, &frmMain::rowsRewritten);
    // the count beside quick find follows the wish list while its words stay
    for (auto wishes : {&Collection::wishesChanged, &Collection::rowsChanged})
        connect(&db, wishes, this, &frmMain::recountWishesFound);
    connect(&db, &Collection::changeTakenBack, this, &frmMain::recountWishesFound);
    connect(&db, &Collection::rowsChanged, this, [this] { rowsRewritten(); });
}

// ---- load, activation, unload

bool frmMain::runSteps(const Steps& steps)
{
    for (const auto& step : steps) {
        try {
            step();
        } catch (const DbError& e) {
            if (e.number() == DbError::NoCurrentRow)
                continue;
            if (!e.description().isEmpty())
                MsgBox(e.description());
            return false;
        }
    }
    return true;
}

frmMain::Steps frmMain::allDataSteps()
{
    return {
        [this] { SetcmbList(); },
        [this] { m_panels->countTotals(); },
        [this] { m_panels->showState(DisplayState::AllData); },
        [this] {
            sortMark("mnuCDs")->setChecked(false);
            sortMark("mnuKyokuS")->setChecked(false);
            ShowModeTitle();
        },
    };
}

void frmMain::Form_Load()
{
    Steps steps = {
        [this] { picTyuu->hide(); },
        [this] { m_files->openCollection(); },
    };
    for (auto& step : allDataSteps())
        steps.push_back(std::move(step));
    steps.push_back([this] {
        MMCdialog->setFileName(QDir(db.strAppPath()).filePath(QStringLiteral("dialog.WAV")));
        MMCdialog->command(QStringLiteral("Open"));
        MMCdrop->setFileName(QDir(db.strAppPath()).filePath(QStringLiteral("drop.WAV")));
        MMCdrop->command(QStringLiteral("Open"));
    });
    runSteps(steps);
}

void frmMain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Form_Activate();
}

void frmMain::Form_Activate()
{
    m_panels->focusNext();
}

void frmMain::closeEvent(QCloseEvent* event)
{
    if (!m_unloading) {
        m_unloading = true;
        Form_Unload();
    }
    event->accept();
}

void frmMain::Form_Unload()
{
    windowplace::keep(this);
    if (db.isOpen()) // without a collection there is nothing to return to all data
        mnuReset_Click();
    MMCdialog->command(QStringLiteral("close"));
    MMCdrop->command(QStringLiteral("close"));
    try {
        db.CloseDataContext();
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
    db.DropCDList();
    delete m_lock; // the next Rondella may open this folder
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows)
        if (w != this
            && (w->inherits("frmWait") || w->inherits("SplashRecord") || w->inherits("frmAbout")))
            w->close();
    QCoreApplication::quit();
}

// ---- commands of the shell

void frmMain::mnuPage_Click()
{
    // The system's page set-up works only with a real printer; printing to
    // PDF alone gets a set-up of our own for the same settings.
    if (m_printer.outputFormat() != QPrinter::NativeFormat) {
        PageSetupDialog dialog(&m_printer, this);
        dialog.exec();
        return;
    }
    QPageSetupDialog dialog(&m_printer, this);
    dialog.setObjectName(QStringLiteral("cmndPage"));
    dialog.exec();
}

void frmMain::mnuCDinput_Click()
{
    mnuReset_Click();
    if (!db.isOpen()) {
        MsgBox(QStringLiteral("コレクションのデータベースが開かれていません。"));
        return;
    }
    auto* form = new frmInputCD(db, this);
    connect(form, &frmInputCD::closedDataChanged, this, &frmMain::entryFormClosed);
    form->exec();
    m_panels->refreshJacket();
}

void frmMain::mnuInputkyoku_Click()
{
    if (!db.isOpen()) {
        MsgBox(QStringLiteral("コレクションのデータベースが開かれていません。"));
        return;
    }
    auto* form = new frmInputKyoku(db, this);
    connect(form, &frmInputKyoku::closedDataChanged, this, &frmMain::entryFormClosed);
    form->exec();
}

void frmMain::mnuhelp2_Click()
{
    // Shown inside the program: it works where the desktop has no launcher.
    // One help window at a time; asking again brings it forward.
    if (auto* open = findChild<frmHelp*>(QStringLiteral("frmHelp"))) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto* help = new frmHelp(QDir(db.strAppPath()).filePath(QStringLiteral("help.html")), this);
    help->show();
}

void frmMain::mnuVer_Click()
{
    MMCdrop->playSound();
    auto* about = new frmAbout(this);
    about->exec();
}

void frmMain::tbToolBar_ButtonClick(const QString& key)
{
    const std::pair<const char16_t*, std::function<void()>> buttons[] = {
        {u"抽出", [this] { mnuTyuu_Click(); }},
        {u"絞り込み抽出", [this] { mnuSibori_Click(); }},
        {u"リセット", [this] { mnuReset_Click(); }},
        {u"印刷プレビュー", [this] { m_print->mnuPrv2_Click(blnKyokuSearch()); }},
        {u"追加", [this] { mnuCDinput_Click(); }},
        {u"変更", [this] { mnuInputkyoku_Click(); }},
    };
    for (const auto& [name, command] : buttons)
        if (key == name)
            command();
}

// ---- the wait window

void frmMain::LoadWait()
{
    if (!m_wait)
        m_wait = new frmWait();
}

void frmMain::ShowWait()
{
    LoadWait();
    m_wait->show();
    m_wait->repaint();
}

void frmMain::UnloadWait()
{
    if (m_wait)
        m_wait->close(); // deletes itself
}
