// Display states of the two grids: the full rebuild, the sort commands and
// the window title that shows the sort mode.
#include "frmmain.h"

#include "startup.h"
#include "store/collection.h"
#include "store/dberror.h"
#include "widgets/msgbox.h"
#include "widgets/sound.h"

#include <QAction>
#include <QLabel>

void frmMain::setCounter(int index, qint64 listed, qint64 total)
{
    lblRcount(index)->setText(QString::number(listed) + QStringLiteral(" / ")
                              + QString::number(total));
}

void frmMain::showAllDataCaptions()
{
    setForeColor(lblCDdata, Qt::blue);
    setForeColor(lblKyokudata, Qt::blue);
    lblCDdata->setText(QStringLiteral("CDデータ"));
    lblKyokudata->setText(QStringLiteral("曲データ"));
    DataGrid2->setCaption(QStringLiteral("ALL"));
    DataGrid1->setCaption(QStringLiteral("左CDに含まれる曲"));
}

bool frmMain::isUnlinked() const
{
    return isUnlinkedState(m_state);
}

frmMain::Steps frmMain::allDataSteps()
{
    return {
        [this] {
            DataGrid1->setDataSource(db.rsKyokuSub);
            DataGrid2->setDataSource(db.rsCD);
        },
        [this] { SetcmbList(); },
        [this] {
            BindRecordPanel();
            FormatKyokuGrid();
            FormatCDGrid();
        },
        [this] {
            m_state = DisplayState::AllData;
            lngCDTotal = db.rsCD->recordCount();
            lngKyokuTotal = db.rsKyoku->recordCount();
        },
        [this] {
            setCounter(0, db.rsKyokuSub->recordCount(), lngKyokuTotal);
            setCounter(3, db.rsCD->recordCount(), lngCDTotal);
        },
        [this] { showAllDataCaptions(); },
        [this] {
            mnuCDs->setChecked(false);
            mnuKyokuS->setChecked(false);
            ShowModeTitle();
        },
    };
}

void frmMain::reset()
{
    Steps steps = {
        [this] { db.CloseDataContext(); },
        [this] { picTyuu->hide(); },
        [this] { openCollection(); },
    };
    for (auto& step : allDataSteps())
        steps.push_back(std::move(step));
    steps.push_back([this] { db.rsCD->moveLast(); });
    steps.push_back([this] {
        if (db.rsKyokuSub->recordCount() > 0)
            db.rsKyokuSub->moveLast();
    });
    runSteps(steps);
}

void frmMain::ShowModeTitle()
{
    MMCdialog->playSound();
    const bool byCD = mnuCDs->isChecked();
    const bool bySong = mnuKyokuS->isChecked();
    if (byCD && bySong)
        setWindowTitle(QStringLiteral("Rondella(CD名順＋曲名順モード)"));
    else if (byCD)
        setWindowTitle(QStringLiteral("Rondella(CD名順モード)"));
    else if (bySong)
        setWindowTitle(QStringLiteral("Rondella(曲名順モード)"));
    else
        setWindowTitle(QStringLiteral("Rondella"));
}

void frmMain::mnuCDs_Click()
{
    sortCommand(isUnlinked() ? db.rsCDList : db.rsCD, QStringLiteral("CD名 asc"), mnuCDs);
}

void frmMain::mnuKyokuS_Click()
{
    sortCommand(isUnlinked() ? db.rsKyoku : db.rsKyokuSub, QStringLiteral("曲名 asc"), mnuKyokuS);
}

// Sorts the list on show; the mark stays on until a reset clears it, so that
// both marks can be on at once.
void frmMain::sortCommand(const ViewPtr& view, const QString& spec, QAction* mark)
{
    ShowWait();
    try {
        need(view).setSort(spec);
        mark->setChecked(true);
        ShowModeTitle();
    } catch (const DbError& e) {
        UnloadWait();
        MsgBox(e.description());
        return;
    }
    UnloadWait();
    MMCdrop->playSound();
}
