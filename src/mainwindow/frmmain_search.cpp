// The extraction: turns the ticked fields of the criteria panel into one
// criteria text, filters the CD view or the song view with it and shows the
// result; the all-songs display lists the CDs of the songs on show.
#include "mainwindow/frmmain.h"
#include "mainwindow/startup.h"
#include "search/extract.h"
#include "store/collection.h"
#include "store/dberror.h"
#include "widgets/msgbox.h"
#include "widgets/sound.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace {

// A stop with a message: the wait window closes, then the words are shown.
void refuse(const QString& words)
{
    UnloadWait();
    MsgBox(words);
}

} // namespace

QString frmMain::criterionValue(int index) const
{
    switch (index) {
    case 7:
        return txtKyoku->text();
    case 9:
        return txtCDmei->text();
    case 11:
        return txtKyabinet->text();
    case 12:
        return txtDan->text();
    default:
        return DataCombo1(index)->text();
    }
}

// The display state changes only once a search has succeeded: a refused or
// failed search leaves the grids, the flags and the navigation as they were.
void frmMain::cmdFilter_Click()
{
    try {
        if (Check1(10)->isChecked()) {
            ShowWait();
            showSongsWithCDs(DisplayState::AllSongs);
            return;
        }
        DisplayState target = DisplayState::CDSearch;
        if (!FraCD->isHidden()) {
            untick({0, 1, 2, 3, 5, 7, 8});
            target = DisplayState::CDSearch;
        } else if (!FraKyoku->isHidden()) {
            untick({4, 6, 9, 11, 12});
            target = DisplayState::SongSearch;
        }
        ShowWait();
        QVector<search::Ticked> ticked;
        for (int i = 0; i <= 12; ++i)
            if (Check1(i)->isChecked() && search::criterionField(i))
                ticked.push_back({i, criterionValue(i)});
        const search::CriteriaResult built = search::buildCriteria(ticked);
        if (built.refused())
            return refuse(built.refusal);
        if (target == DisplayState::SongSearch) {
            need(db.rsKyoku).setFilter(built.criteria);
            db.strCriteria = built.criteria;
            showSongsWithCDs(DisplayState::SongSearch);
            return;
        }
        View& cds = need(db.rsCD);
        cds.setFilter(built.criteria);
        db.strCriteria = built.criteria;
        const int n = cds.recordCount();
        if (n == 0) {
            refuse(QStringLiteral("該当するレコードはありません"));
            mnuReset_Click();
            return;
        }
        m_state = DisplayState::CDSearch;
        setCounter(3, n, lngCDTotal);
        setCounter(0, need(db.rsKyokuSub).recordCount(), lngKyokuTotal);
        BindRecordPanel();
        DataGrid1->setDataSource(nullptr);
        DataGrid2->setDataSource(nullptr);
        DataGrid1->setDataSource(db.rsKyokuSub);
        DataGrid2->setDataSource(db.rsCD);
        setForeColor(lblCDdata, Qt::red);
        lblCDdata->setText(QStringLiteral("ＣＤ検索中"));
        FormatKyokuGrid();
        FormatCDGrid();
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
    View& songs = need(db.rsKyoku);
    if (songs.recordCount() == 0) {
        refuse(QStringLiteral("該当するレコードはありません"));
        mnuReset_Click();
        return;
    }
    db.rsCDList = search::buildCDList(songs);
    m_state = state;
    // The song on show is the first one found.
    songs.moveFirst();
    BindRecordPanelKyoku();
    DataGrid1->setDataSource(nullptr);
    DataGrid2->setDataSource(nullptr);
    DataGrid1->setDataSource(db.rsKyoku);
    DataGrid2->setDataSource(db.rsCDList);
    setForeColor(lblKyokudata, Qt::red);
    lblKyokudata->setText(QStringLiteral("曲検索中"));
    FormatCDGrid();
    FormatKyokuGridAll();
    Line3->setBorderStyle(1);
    endExtraction();
}

void frmMain::endExtraction()
{
    UnloadWait();
    picTyuu->hide();
    MMCdrop->playSound();
    LoadWait();
    cmdNext->setFocus();
}
