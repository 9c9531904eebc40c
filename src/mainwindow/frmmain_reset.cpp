// Back to all data: filters and sorts dropped, both views read again, the
// grids and the record panel in the linked view, the search state cleared.
#include "mainwindow/frmmain.h"
#include "mainwindow/startup.h"
#include "store/collection.h"
#include "widgets/msgbox.h"
#include "widgets/sound.h"

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

void frmMain::mnuReset_Click()
{
    // No collection open (a refused start), or the file replaced by another
    // program: open what is at the path now. A file that has gone is said so.
    if (!db.cn || db.cn->fileReplaced()) {
        if (db.cn && !QFileInfo::exists(db.databasePath())) {
            MsgBox(QStringLiteral("コレクションのファイル「%1」が見つかりません。\r"
                                  "他のプログラムが移動または削除した可能性があります。")
                       .arg(db.databasePath()));
            showNoData();
            return;
        }
        reset();
        return;
    }
    runSteps({
        // The sorts go first: dropping the filters and reading the rows again
        // with a sort still set would sort every song on the way.
        [this] {
            need(db.rsCD).setSort(QString());
            need(db.rsKyokuSub).setSort(QString());
            need(db.rsKyoku).setSort(QString());
        },
        [this] {
            db.rsCD->setFilter(QString());
            db.rsKyoku->setFilter(QString());
        },
        [this] {
            db.rsCD->requery();
            db.rsKyoku->requery();
        },
        [this] {
            mnuCDs->setChecked(false);
            mnuKyokuS->setChecked(false);
            ShowModeTitle();
        },
        [this] {
            db.rsKyokuSub = db.rsCD->childView(QStringLiteral("kyokusub"));
            db.rsCDSub = db.rsKyoku->childView(QStringLiteral("cdnamesub"));
        },
        [this] {
            DataGrid1->setDataSource(nullptr);
            DataGrid2->setDataSource(nullptr);
            DataGrid1->setDataSource(db.rsKyokuSub);
            DataGrid2->setDataSource(db.rsCD);
        },
        [this] {
            BindRecordPanel();
            FormatKyokuGrid();
            FormatCDGrid();
        },
        [this] {
            lngCDTotal = db.rsCD->recordCount();
            lngKyokuTotal = db.rsKyoku->recordCount();
        },
        [this] {
            if (m_state == DisplayState::SongSearch && db.rsCDList) {
                db.rsCDList->close();
                db.rsCDList.reset();
            }
        },
        [this] {
            setCounter(0, db.rsKyokuSub->recordCount(), lngKyokuTotal);
            setCounter(3, db.rsCD->recordCount(), lngCDTotal);
        },
        [this] { Line3->setBorderStyle(3); },
        [this] { showAllDataCaptions(); },
        [this] {
            db.strCriteria.clear();
            m_state = DisplayState::AllData;
        },
        [this] { Check1(10)->setChecked(false); },
        [] { UnloadWait(); },
        [this] { cmdNext->setFocus(); },
    });
}
