// Display states of the two grids: the full rebuild, the sort commands and
// the window title that shows the sort mode.
#include "frmmain.h"

#include "startup.h"
#include "store/dberror.h"
#include "store/modrecord.h"
#include "widgets/msgbox.h"
#include "widgets/sound.h"

#include <QAction>
#include <QLabel>

using namespace modRecord;

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
            DataGrid1->setDataSource(rsKyokuSub);
            DataGrid2->setDataSource(rsCD);
        },
        [this] { SetcmbList(); },
        [] {
            BindRecordPanel();
            FormatKyokuGrid();
            FormatCDGrid();
        },
        [this] {
            m_state = DisplayState::AllData;
            lngCDTotal = rsCD->recordCount();
            lngKyokuTotal = rsKyoku->recordCount();
        },
        [this] {
            setCounter(0, rsKyokuSub->recordCount(), lngKyokuTotal);
            setCounter(3, rsCD->recordCount(), lngCDTotal);
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
        [] { CloseDataContext(); },
        [this] { picTyuu->hide(); },
        [this] { openCollection(); },
    };
    for (auto& step : allDataSteps())
        steps.push_back(std::move(step));
    steps.push_back([] { rsCD->moveLast(); });
    steps.push_back([] {
        if (rsKyokuSub->recordCount() > 0)
            rsKyokuSub->moveLast();
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
    sortCommand(isUnlinked() ? rsCDList : rsCD, QStringLiteral("CD名 asc"), mnuCDs);
}

void frmMain::mnuKyokuS_Click()
{
    sortCommand(isUnlinked() ? rsKyoku : rsKyokuSub, QStringLiteral("曲名 asc"), mnuKyokuS);
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
