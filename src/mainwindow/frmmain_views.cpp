// What the grids show: all data after a reset, the result of a search, the
// sort orders and the window title that names them.
#include "frmmain.h"

#include "entry/batchwindow.h"
#include "entry/duplicatewindow.h"
#include "entry/frminputcd.h"
#include "entry/historywindow.h"
#include "entry/loanwindow.h"
#include "entry/wishwindow.h"
#include "filecommands.h"
#include "mainpanels.h"
#include "reports/statisticswindow.h"
#include "search/nameswindow.h"
#include "search/searchpanel.h"
#include "search/workswindow.h"
#include "store/collection.h"
#include "store/dberror.h"
#include "store/findtext.h"
#include "store/statistics.h"
#include "store/works.h"
#include "widgets/msgbox.h"
#include "widgets/quickfindfield.h"
#include "widgets/sound.h"

#include <QAction>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QToolButton>

#include <utility>

DisplayState frmMain::displayState() const
{
    return m_panels->state();
}

qint32 frmMain::lngCDTotal() const
{
    return m_panels->lngCDTotal;
}

qint32 frmMain::lngKyokuTotal() const
{
    return m_panels->lngKyokuTotal;
}

// Runs the steps, then shows all data on the last CD and its last song, as a
// reopening shows it.
void frmMain::showAllDataAfter(Steps steps)
{
    for (auto& step : allDataSteps())
        steps.push_back(std::move(step));
    steps.push_back([this] { need(db.cds()).moveLast(); });
    steps.push_back([this] {
        if (need(db.songsOfCD()).recordCount() > 0)
            db.songsOfCD()->moveLast();
    });
    runSteps(steps);
}

void frmMain::reset()
{
    Steps steps = {
        [this] { db.CloseDataContext(); },
        [this] { picTyuu->hide(); },
        [this] { m_files->openCollection(); },
    };
    showAllDataAfter(std::move(steps));
}

// What a reopening would show, without closing the file: the forms change the
// views themselves, so the rows are read again only as far as the file
// changed, and the value lists once a CD or song did. A file that another
// program replaced meanwhile, or none open, is opened again.
void frmMain::entryFormClosed()
{
    const bool changed = std::exchange(m_changedByForm, false);
    if (!db.isOpen() || db.connection().fileReplaced()) {
        reset();
        return;
    }
    Steps steps = {
        [this] { picTyuu->hide(); },
        [this] { db.ClearSorts(); },
        [this] { db.ClearFilters(); },
        [this] { db.RequeryAll(); },
        [this, changed] {
            if (changed)
                for (const Collection::ValueListDef& list : Collection::valueLists())
                    db.ReopenValueList(list.which);
        },
        [this] { db.RelinkChildViews(); },
    };
    showAllDataAfter(std::move(steps));
}

void frmMain::rowsRewritten(const QVariant& cdid, const QVariant& songId)
{
    const auto keyOf = [](const ViewPtr& view, const QString& field) {
        return view && view->hasCurrent() ? view->value(field) : QVariant();
    };
    const QVariant cd = cdid.isNull() ? keyOf(db.cds(), QStringLiteral("CDID")) : cdid;
    const QVariant song = cdid.isNull() ? keyOf(db.songsOfCD(), QStringLiteral("曲ID")) : songId;
    m_changedByForm = true;
    entryFormClosed();
    const auto moveTo = [](const ViewPtr& view, const QString& field, const QVariant& key) {
        const int row = view ? view->rowOf(view->fieldIndex(field), key) : -1;
        if (row >= 0)
            view->moveTo(row);
    };
    runSteps({
        [&] { moveTo(db.cds(), QStringLiteral("CDID"), cd); },
        [&] { moveTo(db.songsOfCD(), QStringLiteral("曲ID"), song); },
    });
}

// Back to all data: filters and sorts dropped, both views read again, the
// grids and the record panel in the linked view, the search state cleared.
void frmMain::mnuReset_Click()
{
    // No collection open (a refused start), or the file replaced by another
    // program: open what is at the path now. A file that has gone is said so.
    if (!db.isOpen() || db.connection().fileReplaced()) {
        if (db.isOpen() && !QFileInfo::exists(db.databasePath())) {
            MsgBox(QStringLiteral("コレクションのファイル「%1」が見つかりません。\r"
                                  "他のプログラムが移動または削除した可能性があります。")
                       .arg(db.databasePath()));
            showNoData();
            return;
        }
        reset();
        return;
    }
    const bool songSearch = blnKyokuSearch();
    clearQuickFind();
    runSteps({
        [this] { db.ClearSorts(); },
        [this] { db.ClearFilters(); },
        [this] { db.RequeryAll(); },
        [this] {
            sortMark("mnuCDs")->setChecked(false);
            sortMark("mnuKyokuS")->setChecked(false);
            ShowModeTitle();
        },
        [this] { db.RelinkChildViews(); },
        [this] { m_panels->countTotals(); },
        [this] {
            db.ClearCriteria();
            m_panels->showState(DisplayState::AllData);
        },
        [this, songSearch] {
            if (songSearch)
                db.DropCDList();
        },
        [this] { picTyuu->untickAllSongs(); },
        [this] { UnloadWait(); },
        [this] { m_panels->focusNext(); },
    });
}

void frmMain::ShowModeTitle()
{
    MMCdialog->playSound();
    const bool byCD = sortMark("mnuCDs")->isChecked();
    const bool bySong = sortMark("mnuKyokuS")->isChecked();
    if (byCD && bySong)
        setWindowTitle(QStringLiteral("Rondella(CD名順＋曲名順モード)"));
    else if (byCD)
        setWindowTitle(QStringLiteral("Rondella(CD名順モード)"));
    else if (bySong)
        setWindowTitle(QStringLiteral("Rondella(曲名順モード)"));
    else
        setWindowTitle(QStringLiteral("Rondella"));
}

QAction* frmMain::sortMark(const char* name) const
{
    return findChild<QAction*>(QString::fromLatin1(name));
}

// Sorts the list on show; the mark stays on until a reset clears it, so that
// both marks can be on at once.
void frmMain::sortCommand(const ViewPtr& view, const QString& spec, const char* mark)
{
    ShowWait();
    try {
        need(view).setSort(spec);
        sortMark(mark)->setChecked(true);
        ShowModeTitle();
    } catch (const DbError& e) {
        UnloadWait();
        MsgBox(e.description());
        return;
    }
    UnloadWait();
    MMCdrop->playSound();
}

// ---- the search

void frmMain::SetcmbList()
{
    picTyuu->SetcmbList(db);
}

void frmMain::mnuTyuu_Click()
{
    picTyuu->openFresh();
}

void frmMain::mnuSibori_Click()
{
    picTyuu->reopen();
}

// Counts what the window shows now, in a window of its own; a second opening
// replaces the first, whose counts may be of another search.
void frmMain::mnuStatistics_Click()
{
    try {
        const bool allData = displayState() == DisplayState::AllData;
        QVector<stats::Tab> tabs = stats::countShown(db, allData, m_panels->isUnlinked());
        const QString shown = allData    ? QStringLiteral("すべてのデータ")
            : db.strCriteria().isEmpty() ? QStringLiteral("全曲表示")
                                         : db.strCriteria();
        if (m_statistics)
            m_statistics->close();
        m_statistics = new frmStatistics(std::move(tabs), shown, this);
        m_statistics->setAttribute(Qt::WA_DeleteOnClose);
        m_statistics->show();
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}

// Every work recorded in the collection, gathered from all its songs; a
// second opening replaces the first, which may list what has since changed.
void frmMain::mnuWorks_Click()
{
    try {
        ShowWait();
        std::shared_ptr<const works::Catalogue> works = db.Works(); // shared, not copied
        UnloadWait();
        if (m_works)
            m_works->close();
        m_works = new frmWorks(std::move(works), this);
        m_works->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_works, &frmWorks::recordingChosen, this, &frmMain::showRecording);
        m_works->show();
    } catch (const DbError& e) {
        UnloadWait();
        MsgBox(e.description());
    }
}

// The name groups, in a window of their own; one at a time.
void frmMain::mnuNames_Click()
{
    showOnce(QStringLiteral("frmNames"), [this] { return new frmNames(db, this); });
}

void frmMain::showOnce(const QString& name, const std::function<QWidget*()>& make)
{
    if (auto* open = findChild<QWidget*>(name)) {
        open->raise();
        open->activateWindow();
        return;
    }
    QWidget* window = make();
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
}

// 元に戻す and やり直し: the newest change, or the one last taken back; a
// refusal says which row stands in the way.
void frmMain::mnuUndo_Click()
{
    try {
        db.Undo();
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}

void frmMain::mnuRedo_Click()
{
    try {
        db.Redo();
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}

void frmMain::mnuHistory_Click()
{
    showOnce(QStringLiteral("frmHistory"), [this] { return new frmHistory(db, this); });
}

// 貸す and 返却 act on the CD the CD grid stands on; 返却 takes it back today.
void frmMain::mnuLend_Click()
{
    const std::optional<MainPanels::ShownCD> cd = m_panels->currentCD();
    if (!cd) {
        MsgBox(QStringLiteral("データがありません"));
        return;
    }
    auto* window = new frmLoan(db, cd->cdid, cd->title, this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->open();
}

void frmMain::mnuReturn_Click()
{
    const std::optional<MainPanels::ShownCD> cd = m_panels->currentCD();
    if (!cd) {
        MsgBox(QStringLiteral("データがありません"));
        return;
    }
    try {
        db.GiveBack(cd->cdid, QDate::currentDate());
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}

void frmMain::mnuLoans_Click()
{
    showOnce(QStringLiteral("frmLoans"), [this] { return new frmLoans(db, this); });
}

// 一括変更 on what the grids list: the songs first, the CDs after them.
void frmMain::mnuBatch_Click()
{
    if (!db.isOpen()) {
        MsgBox(QStringLiteral("コレクションのデータベースが開かれていません。"));
        return;
    }
    const MainPanels::GridRows songs = m_panels->songRows();
    const MainPanels::GridRows cds = m_panels->cdRows();
    frmBatch window(db,
                    {{QStringLiteral("曲"), songs.view, songs.chosen},
                     {QStringLiteral("CD"), cds.view, cds.chosen}},
                    this);
    window.exec();
}

void frmMain::mnuDuplicates_Click()
{
    if (!db.isOpen()) {
        MsgBox(QStringLiteral("コレクションのデータベースが開かれていません。"));
        return;
    }
    showOnce(QStringLiteral("frmDuplicates"), [this] { return new frmDuplicates(db, this); });
}

// The wish list; opened from beside quick find, it finds what quick find does.
void frmMain::mnuWishes_Click(const QString& find)
{
    showOnce(QStringLiteral("frmWishes"), [this] {
        auto* window = new frmWishes(db, this);
        connect(window, &frmWishes::bought, this, &frmMain::buyWish);
        return window;
    });
    if (!find.isEmpty())
        findChild<frmWishes*>(QStringLiteral("frmWishes"))->findText(find);
}

void frmMain::buyWish(const wishes::Wish& wish)
{
    mnuReset_Click();
    if (!db.isOpen())
        return;
    const qint64 largest = db.GetMaxCDID();
    auto* form = new frmInputCD(db, this);
    connect(form, &frmInputCD::closedDataChanged, this, &frmMain::entryFormClosed);
    // the first CD stored from here is the one bought
    connect(&db, &Collection::cdChanged, form, [this, form, largest, id = wish.id](qint64 cdid) {
        if (cdid <= largest || form->property("wishRemoved").toBool())
            return;
        form->setProperty("wishRemoved", true);
        try {
            db.RemoveWish(id);
        } catch (const DbError& e) {
            MsgBox(e.description());
        }
    });
    form->addFilledIn({{QStringLiteral("CD名"), wish.title},
                       {QStringLiteral("購入価格"), wishes::textsOf(wish).value(5)},
                       {QStringLiteral("購入年月日"),
                        QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd"))}});
    // what the CD's fields have no place for goes to its note, not lost
    if (form->inAddMode())
        form->txtMemo->setPlainText(wishes::cdNoteOf(wish));
    form->exec();
    m_panels->refreshJacket();
}

// A recording chosen in the works window: its CDs as a CD search named by
// the work, its songs marked.
void frmMain::showRecording(const QStringList& cdTitles, const QVector<qint64>& songRowids,
                            const QString& caption)
{
    clearQuickFind();
    try {
        db.FindCDsTitled(cdTitles, caption);
        m_panels->markSongRows(QSet<qint64>(songRowids.begin(), songRowids.end()));
        m_panels->showState(DisplayState::CDSearch);
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}

void frmMain::refuse(const QString& words)
{
    UnloadWait();
    MsgBox(words);
}

// The display state changes only once a search has succeeded: a refused or
// failed search leaves the grids, the flags and the navigation as they were.
void frmMain::cmdFilter_Click()
{
    clearQuickFind();
    try {
        SearchPanel::Request request = picTyuu->takeRequest();
        ShowWait();
        if (request.allSongs)
            return showSongsWithCDs(DisplayState::AllSongs);
        search::CriteriaResult built = search::buildCriteria(request.ticked);
        if (built.refused())
            return refuse(built.refusal);
        if (request.songSearch) {
            db.SearchSongs(std::move(built.criteria), built.text);
            return showSongsWithCDs(DisplayState::SongSearch);
        }
        if (db.SearchCDs(std::move(built.criteria), built.text) == 0) {
            refuse(QStringLiteral("該当するレコードはありません"));
            mnuReset_Click();
            return;
        }
        m_panels->showState(DisplayState::CDSearch);
        endExtraction();
    } catch (const DbError& e) {
        UnloadWait();
        MsgBox(e.number() == DbError::NotAllowedNow
                   ? QStringLiteral("データの更新を解除してください！")
                   : e.description());
    }
}

// The songs rsKyoku shows, beside the CDs that hold them: a song search, or
// all songs. No song at all ends in a message and all data.
void frmMain::showSongsWithCDs(DisplayState state)
{
    View& songs = need(db.songs());
    if (songs.recordCount() == 0) {
        refuse(QStringLiteral("該当するレコードはありません"));
        mnuReset_Click();
        return;
    }
    db.ListCDsOfSongs();
    // The song on show is the first one found.
    songs.moveFirst();
    m_panels->showState(state);
    endExtraction();
}

void frmMain::endExtraction()
{
    UnloadWait();
    picTyuu->hide();
    MMCdrop->playSound();
    LoadWait();
    m_panels->focusNext();
}

// ---- a collection that goes

// The window drops what it shows. A damaged file is opened again, which
// offers the newest backup where there is one; any other failure is told.
void frmMain::collectionUnreadable(const DbError& error)
{
    showNoData();
    if (error.number() == DbError::Damaged) {
        reset();
        return;
    }
    if (!error.description().isEmpty())
        MsgBox(error.description());
}

void frmMain::showNoData()
{
    db.CloseDataContext();
    db.DropCDList();
    m_panels->showNoData();
}

// ---- quick find

void frmMain::clearQuickFind()
{
    m_quickFind->clearQuietly();
    m_panels->markSongs({});
    showWishesFound({});
}

// Beside quick find: how many wishes its words find (0 too, so that the
// answer is there either way); nothing while it is empty.
void frmMain::showWishesFound(const QStringList& words)
{
    QAction* shown = findChild<QAction*>(QStringLiteral("cmdWishesFoundAction"));
    int found = 0;
    try {
        found = words.isEmpty() ? 0 : int(wishes::matching(db.Wishes(), words).size());
    } catch (const DbError&) {
        shown->setVisible(false); // the CDs found say what went wrong
        return;
    }
    cmdWishesFound->setText(QStringLiteral("欲しいもの %1件").arg(found));
    shown->setVisible(!words.isEmpty());
}

void frmMain::recountWishesFound()
{
    showWishesFound(findWords(m_quickFind->text().simplified()));
}

// Every CD where each typed word occurs in a field of the CD or of one of its
// songs, shown as a CD search; the current CD's songs that hold a word are
// marked. An empty text is the reset command.
void frmMain::quickFind()
{
    const QString typed = m_quickFind->text().simplified();
    const QStringList words = findWords(typed);
    if (words.isEmpty()) {
        mnuReset_Click();
        return;
    }
    // counted first: the wishes matter most when no CD is found
    showWishesFound(words);
    try {
        const QString label = QStringLiteral("すべての項目：") + typed;
        db.FindCDs(words, label);
        QStringList marked; // every spelling of a name group typed
        for (const QString& word : words)
            marked << db.SpellingsOf(word);
        m_panels->markSongs(marked);
        m_panels->showState(DisplayState::CDSearch);
    } catch (const DbError& e) {
        MsgBox(e.number() == DbError::NotAllowedNow
                   ? QStringLiteral("データの更新を解除してください！")
                   : e.description());
    }
}
