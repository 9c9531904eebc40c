// Back to all data: filters and sorts dropped, both views read again, the
// grids and the record panel in the linked view, the search state cleared.
#include "mainwindow/frmmain.h"
#include "mainwindow/startup.h"
#include "store/modrecord.h"
#include "widgets/msgbox.h"
#include "widgets/sound.h"

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

using namespace modRecord;

void frmMain::mnuReset_Click()
{
    // No collection open (a refused start), or the file replaced by another
    // program: open what is at the path now. A file that has gone is said so.
    if (!cn || cn->fileReplaced()) {
        if (cn && !QFileInfo::exists(databasePath())) {
            MsgBox(QStringLiteral("コレクションのファイル「%1」が見つかりません。\r"
                                  "他のプログラムが移動または削除した可能性があります。")
                       .arg(databasePath()));
            showNoData();
            return;
        }
        reset();
        return;
    }
    runSteps({
        // The sorts go first: dropping the filters and reading the rows again
        // with a sort still set would sort every song on the way.
        [] {
            need(rsCD).setSort(QString());
            need(rsKyokuSub).setSort(QString());
            need(rsKyoku).setSort(QString());
        },
        [] {
            rsCD->setFilter(QString());
            rsKyoku->setFilter(QString());
        },
        [] {
            rsCD->requery();
            rsKyoku->requery();
        },
        [this] {
            mnuCDs->setChecked(false);
            mnuKyokuS->setChecked(false);
            ShowModeTitle();
        },
        [] {
            rsKyokuSub = rsCD->childView(QStringLiteral("kyokusub"));
            rsCDSub = rsKyoku->childView(QStringLiteral("cdnamesub"));
        },
        [this] {
            DataGrid1->setDataSource(nullptr);
            DataGrid2->setDataSource(nullptr);
            DataGrid1->setDataSource(rsKyokuSub);
            DataGrid2->setDataSource(rsCD);
        },
        [] {
            BindRecordPanel();
            FormatKyokuGrid();
            FormatCDGrid();
        },
        [this] {
            lngCDTotal = rsCD->recordCount();
            lngKyokuTotal = rsKyoku->recordCount();
        },
        [this] {
            if (m_state == DisplayState::SongSearch && rsCDList) {
                rsCDList->close();
                rsCDList.reset();
            }
        },
        [this] {
            setCounter(0, rsKyokuSub->recordCount(), lngKyokuTotal);
            setCounter(3, rsCD->recordCount(), lngCDTotal);
        },
        [this] { Line3->setBorderStyle(3); },
        [this] { showAllDataCaptions(); },
        [this] {
            strCriteria.clear();
            m_state = DisplayState::AllData;
        },
        [this] { Check1(10)->setChecked(false); },
        [] { UnloadWait(); },
        [this] { cmdNext->setFocus(); },
    });
}
