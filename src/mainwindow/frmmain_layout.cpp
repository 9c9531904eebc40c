// How the main window grows: the designed layout is its smallest size; wider
// and taller windows give the extra room to the grids and the long boxes, and
// a screen smaller than the design scrolls the content.
#include "frmmain.h"

#include "widgets/twips.h"
#include "widgets/twipslayout.h"

#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QToolBar>

namespace {
constexpr int designWidth = 15400;
constexpr int designHeight = 10560;
constexpr int cdPanelWidth = 6525;
constexpr int kyokuPanelWidth = 8625;
} // namespace

QSize frmMain::designedSize() const
{
    return QSize(twips(designWidth), twips(designHeight) + menuBar()->sizeHint().height());
}

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

void frmMain::createLayouts()
{
    using A = TwipsLayout::Anchor;
    // The extra width is shared by the two panels in proportion to their widths.
    const qreal cdShare = qreal(cdPanelWidth) / (cdPanelWidth + kyokuPanelWidth);
    auto* client = new TwipsLayout(m_client, QSize(twips(designWidth), twips(designHeight)));
    client->anchor(tbToolBar, A{0, 1, 0, 0});
    client->anchor(picCD, A{0, cdShare, 0, 1});
    client->anchor(picKyoku, A{cdShare, 1 - cdShare, 0, 1});

    auto* cd = new TwipsLayout(picCD, picCD->size());
    cd->anchor(DataGrid2, A{0, 1, 0, 1});
    cd->anchor(txtrs(1), A{0, 1, 0, 0});
    cd->anchor(picCDphoto, A{1, 0, 0, 0});
    for (int i : {3, 4})
        cd->anchor(lblRcount(i), A{1, 0, 0, 0});
    for (QPushButton* b : {cmdTop, cmdPrevious, cmdNext, cmdLast})
        cd->anchor(b, A{0, 0, 1, 0});

    auto* kyoku = new TwipsLayout(picKyoku, picKyoku->size());
    kyoku->anchor(DataGrid1, A{0, 1, 0, 1});
    kyoku->anchor(txtrs(8), A{0, 1, 0, 0});
    kyoku->anchor(Line3, A{0, 0, 0, 1});
    // The right-hand column of the song's fields stays beside the growing title.
    for (int i = 14; i <= 20; ++i) {
        kyoku->anchor(txtrs(i), A{1, 0, 0, 0});
        kyoku->anchor(lblFieldLabel(i), A{1, 0, 0, 0});
    }
    for (int i : {0, 1, 2})
        kyoku->anchor(lblRcount(i), A{1, 0, 0, 0});
    for (QPushButton* b : {cmdTopsub, cmdLeftSub, cmdRightSub, cmdLastsub})
        kyoku->anchor(b, A{0, 0, 1, 0});
}
