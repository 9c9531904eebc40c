// Record panel bindings and the column layouts of the two grids.
#include "frmmain.h"
#include "startup.h"
#include "store/collection.h"
#include "store/dberror.h"

#include <QLabel>

namespace {

frmMain& window()
{
    if (!mainWindow)
        throw DbError(91, QStringLiteral("メインウィンドウがありません。"));
    return *mainWindow;
}

// Each box shows the field named by the caption of the label beside it.
void bindBoxes(frmMain& w, int from, int to, const ViewPtr& view)
{
    for (int i = from; i <= to; ++i) {
        w.txtrs(i)->bind(view, w.lblFieldLabel(i)->text());
        w.txtrs(i)->setReadOnly(true);
    }
}

constexpr int kyokuWidths[15]
    = {1740, 915, 3240, 1620, 1620, 1620, 2500, 1620, 730, 980, 930, 980, 1490, 1000, 1140};
constexpr int cdWidths[6] = {600, 2000, 1500, 1000, 1100, 1400};

} // namespace

void BindRecordPanel()
{
    frmMain& w = window();
    bindBoxes(w, 8, 21, w.db.rsKyokuSub);
    w.txtrsDamie->bind(w.db.rsCD, QStringLiteral("CDID"));
    w.txtrsSubDamie->bind(w.db.rsKyokuSub, QStringLiteral("曲ID"));
    bindBoxes(w, 0, 7, w.db.rsCD);
}

void BindRecordPanelKyoku()
{
    frmMain& w = window();
    bindBoxes(w, 8, 21, w.db.rsKyoku);
    w.txtrsSubDamie->bind(w.db.rsKyoku, QStringLiteral("曲ID"));
    bindBoxes(w, 0, 7, w.db.rsCDList);
}

void SetKyokuColWidth(qint16 index)
{
    if (index >= 0 && index < 15)
        window().DataGrid1->setColumnWidthTwips(index, kyokuWidths[index]);
}

void SetCDColWidth(qint16 index)
{
    if (index >= 0 && index < 6)
        window().DataGrid2->setColumnWidthTwips(index, cdWidths[index]);
}

void FormatKyokuGrid()
{
    DataGrid* grid = window().DataGrid1;
    grid->setColumnVisible(0, false);
    grid->setColumnVisible(1, false);
    for (qint16 i = 2; i <= 14; ++i)
        SetKyokuColWidth(i);
}

void FormatKyokuGridAll()
{
    DataGrid* grid = window().DataGrid1;
    grid->setColumnVisible(0, true);
    grid->setColumnVisible(1, false);
    for (qint16 i = 0; i <= 14; ++i)
        SetKyokuColWidth(i);
}

void FormatCDGrid()
{
    DataGrid* grid = window().DataGrid2;
    for (qint16 i = 0; i <= 5; ++i)
        SetCDColWidth(i);
    grid->setColumnFormat(3, DisplayFormat::Grouped);
    for (int centred : {0, 3, 4})
        grid->setColumnAlignment(centred, Qt::AlignHCenter);
}
