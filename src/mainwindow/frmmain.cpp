#include "frmmain.h"

#include "entry/frminputcd.h"
#include "entry/frminputkyoku.h"
#include "reports/pagesetup.h"
#include "startup.h"
#include "store/collection.h"
#include "store/dberror.h"
#include "widgets/msgbox.h"
#include "widgets/secondary.h"
#include "widgets/sound.h"
#include "widgets/twips.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPainterPath>
#include <QPrinter>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>

// ---- small controls

LineControl::LineControl(const QString& name, Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent), m_orientation(orientation)
{
    setObjectName(name);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LineControl::setBorderStyle(int style)
{
    m_style = style;
    update();
}

void LineControl::setColor(const QColor& color)
{
    m_color = color;
    update();
}

void LineControl::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setPen(QPen(m_color, 1, m_style == 1 ? Qt::SolidLine : Qt::DotLine));
    if (m_orientation == Qt::Vertical)
        p.drawLine(width() / 2, 0, width() / 2, height());
    else
        p.drawLine(0, height() / 2, width(), height() / 2);
}

ImageButton::ImageButton(const QString& name, const QPixmap& picture, QWidget* parent)
    : QLabel(parent)
{
    setObjectName(name);
    setPixmap(picture);
    setCursor(Qt::PointingHandCursor);
}

void ImageButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (rect().contains(event->position().toPoint()))
        emit clicked();
}

// ---- toolbar pictures

namespace {

enum class Glyph { Preview, Search, Narrow, AddCD, AddSong, Reset };

QIcon toolIcon(Glyph glyph)
{
    QPixmap pm(20, 20);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 60), 1.4));
    switch (glyph) {
    case Glyph::Preview:
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4, 2, 11, 15));
        for (int y = 6; y <= 14; y += 3)
            p.drawLine(6, y, 13, y);
        break;
    case Glyph::Search:
    case Glyph::Narrow:
        p.setBrush(QColor(210, 230, 255));
        p.drawEllipse(QRectF(2, 2, 11, 11));
        p.setPen(QPen(QColor(40, 40, 60), 2.5));
        p.drawLine(11, 11, 17, 17);
        if (glyph == Glyph::Narrow) {
            p.setPen(QPen(QColor(200, 40, 40), 1.6));
            p.drawLine(5, 6, 10, 6);
            p.drawLine(6, 9, 9, 9);
        }
        break;
    case Glyph::AddCD:
    case Glyph::AddSong:
        if (glyph == Glyph::AddCD) {
            p.setBrush(QColor(190, 200, 235));
            p.drawEllipse(QRectF(1, 1, 15, 15));
            p.setBrush(Qt::white);
            p.drawEllipse(QRectF(6.5, 6.5, 4, 4));
        } else {
            p.setBrush(QColor(40, 40, 60));
            p.drawEllipse(QRectF(2, 11, 6, 5));
            p.drawLine(QPointF(8, 13.5), QPointF(8, 2));
            p.drawLine(QPointF(8, 2), QPointF(13, 5));
        }
        p.setPen(QPen(QColor(20, 140, 40), 2.2));
        p.drawLine(15, 12, 15, 19);
        p.drawLine(12, 15.5, 18.5, 15.5);
        break;
    case Glyph::Reset: {
        p.setPen(QPen(QColor(30, 90, 170), 2.2));
        p.drawArc(QRectF(3, 3, 14, 14), 60 * 16, 290 * 16);
        QPainterPath head;
        head.moveTo(14, 1);
        head.lineTo(18, 6);
        head.lineTo(12, 7);
        head.closeSubpath();
        p.setBrush(QColor(30, 90, 170));
        p.drawPath(head);
        break;
    }
    }
    return QIcon(pm);
}

} // namespace

// ---- construction

// The pictures compiled into the program live in a static library: they must
// be registered by hand before the first window uses them.
static void registerPictures()
{
    Q_INIT_RESOURCE(ui);
}

frmMain::frmMain(std::unique_ptr<Collection> collection)
    : m_collection(std::move(collection)), db(*m_collection)
{
    registerPictures();
    setObjectName(QStringLiteral("frmMain"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Rondella"));
    m_client = createClientArea();
    MMCdialog = new MMControl(QStringLiteral("MMCdialog"), this);
    MMCdrop = new MMControl(QStringLiteral("MMCdrop"), this);
    createMenus();
    createToolbar();
    createCDPanel();
    createKyokuPanel();
    createRecordPanel();
    createNavigationButtons();
    createSearchPanel();
    createLayouts();
    connectEvents();
}

frmMain::~frmMain() = default;

QAction* frmMain::menuItem(QMenu* menu, const char* name, const QString& caption)
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

void frmMain::createMenus()
{
    QMenuBar* bar = menuBar();
    auto topMenu = [&](const char* name, const QString& caption) {
        QMenu* menu = bar->addMenu(caption);
        menu->setObjectName(QString::fromLatin1(name));
        menu->menuAction()->setObjectName(QString::fromLatin1(name));
        return menu;
    };
    auto spacer = [&](const char* name) {
        QAction* gap = bar->addAction(QString());
        gap->setObjectName(QString::fromLatin1(name));
        gap->setEnabled(false);
    };
    QMenu* file = topMenu("mnuFile", QStringLiteral("ファイル(&F)"));
    menuItem(file, "mnuPage", QStringLiteral("ページ設定"));
    QMenu* preview = file->addMenu(QStringLiteral("印刷プレビュー"));
    preview->setObjectName(QStringLiteral("mnuprint2"));
    preview->menuAction()->setObjectName(QStringLiteral("mnuprint2"));
    for (auto [name, caption] : {std::pair{"mnuPrv2", u"CD＆曲印刷（リレーション）"},
                                 std::pair{"mnuprv3", u"曲印刷（非検索時は全曲印刷）"},
                                 std::pair{"mnuprv", u"CD印刷（曲検索時のみ）"}})
        menuItem(preview, name, QString::fromUtf16(caption));
    menuItem(file, "mnuImport", QStringLiteral("旧データベースの取り込み..."));
    menuItem(file, "mnuCsvImport", QStringLiteral("CSVから取り込み..."));
    menuItem(file, "mnuCsvExport", QStringLiteral("CSVへ書き出し（全データ）..."));
    menuItem(file, "mnuCsvExportShown", QStringLiteral("CSVへ書き出し（表示中の一覧）..."));
    menuItem(file, "mnuRestore", QStringLiteral("バックアップから復元..."));
    QAction* bar2 = file->addSeparator();
    bar2->setObjectName(QStringLiteral("mnuBar2"));
    menuItem(file, "mnuQuit", QStringLiteral("終了"));
    spacer("mnukara");
    QMenu* edit = topMenu("mnuEdit", QStringLiteral("データ登録(&I)"));
    menuItem(edit, "mnuCDinput", QStringLiteral("ＣＤ登録"));
    menuItem(edit, "mnuInputkyoku", QStringLiteral("曲登録"));
    spacer("mnuKara2");
    QMenu* search = topMenu("mnuSearch", QStringLiteral("検索(&P)"));
    menuItem(search, "mnuTyuu", QStringLiteral("検索"));
    menuItem(search, "mnuSibori", QStringLiteral("絞り込み検索"));
    spacer("mnukara5");
    QMenu* sort = topMenu("mnuSort", QStringLiteral("ソート(&S)"));
    mnuCDs = menuItem(sort, "mnuCDs", QStringLiteral("CD名順"));
    mnuKyokuS = menuItem(sort, "mnuKyokuS", QStringLiteral("曲名順"));
    mnuCDs->setCheckable(true);
    mnuKyokuS->setCheckable(true);
    spacer("mnukara4");
    QAction* resetCommand = bar->addAction(QStringLiteral("リセット(&R)"));
    resetCommand->setObjectName(QStringLiteral("mnuReset"));
    spacer("mnukara3");
    QMenu* help = topMenu("mnuhelp", QStringLiteral("ヘルプ(&H)"));
    menuItem(help, "mnuhelp2", QStringLiteral("ヘルプ"));
    menuItem(help, "mnuVer", QStringLiteral("バージョン情報"));
}

void frmMain::createToolbar()
{
    tbToolBar = new QToolBar(m_client);
    tbToolBar->setObjectName(QStringLiteral("tbToolBar"));
    tbToolBar->setGeometry(0, 0, twips(15400), twips(360));
    tbToolBar->setIconSize(QSize(20, 20));
    tbToolBar->setMovable(false);
    struct Button {
        const char16_t* key;
        const char16_t* tip;
        Glyph glyph;
    };
    // Ten positions; an empty key is a gap.
    const Button buttons[] = {
        {u"印刷プレビュー", u"CD＆曲印刷（リレーション）のみのプレビュー", Glyph::Preview},
        {nullptr, nullptr, Glyph::Preview},
        {u"抽出", u"検索をします", Glyph::Search},
        {u"絞り込み抽出", u"絞り込み検索をします", Glyph::Narrow},
        {nullptr, nullptr, Glyph::Preview},
        {u"追加", u"CDの追加・変更・削除をします", Glyph::AddCD},
        {u"変更", u"曲の追加・変更・削除をします", Glyph::AddSong},
        {nullptr, nullptr, Glyph::Preview},
        {nullptr, nullptr, Glyph::Preview},
        {u"リセット", u"リセットします", Glyph::Reset},
    };
    for (const Button& b : buttons) {
        if (!b.key) {
            tbToolBar->addSeparator();
            continue;
        }
        const QString key = QString::fromUtf16(b.key);
        QAction* action = tbToolBar->addAction(toolIcon(b.glyph), QString());
        action->setObjectName(key);
        action->setToolTip(QString::fromUtf16(b.tip));
        action->setData(key);
        tbToolBar->widgetForAction(action)->setObjectName(key);
        connect(action, &QAction::triggered, this, [this, key] { tbToolBar_ButtonClick(key); });
    }
}

void frmMain::createCDPanel()
{
    picCD = new QWidget(m_client);
    picCD->setObjectName(QStringLiteral("picCD"));
    picCD->setGeometry(twipsRect(60, 360, 6525, 10110));
    lblCDdata = new QLabel(QStringLiteral("CDデータ"), picCD);
    lblCDdata->setObjectName(QStringLiteral("lblCDdata"));
    lblCDdata->setGeometry(twipsRect(1920, 180, 2200, 300));
    Label5 = new QLabel(QStringLiteral("収納場所"), picCD);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label5->setGeometry(twipsRect(120, 3420, 1300, 300));
    picCDphoto = new QLabel(picCD);
    picCDphoto->setObjectName(QStringLiteral("picCDphoto"));
    picCDphoto->setGeometry(twipsRect(4260, 105, 2220, 2220));
    picCDphoto->setAlignment(Qt::AlignCenter);
    picCDphoto->setFrameShape(QFrame::Box);
    DataGrid2 = new DataGrid(QStringLiteral("DataGrid2"), picCD);
    DataGrid2->setGeometry(twipsRect(75, 4395, 6330, 4995));
    DataGrid2->setBackColor(bgrColor(0xC0FFFF));
    txtrsDamie = new DataTextBox(QStringLiteral("txtrsDamie"), picCD);
    txtrsDamie->hide();
}

void frmMain::createKyokuPanel()
{
    picKyoku = new QWidget(m_client);
    picKyoku->setObjectName(QStringLiteral("picKyoku"));
    picKyoku->setGeometry(twipsRect(6645, 360, 8625, 10095));
    lblKyokudata = new QLabel(QStringLiteral("曲データ"), picKyoku);
    lblKyokudata->setObjectName(QStringLiteral("lblKyokudata"));
    lblKyokudata->setGeometry(twipsRect(3975, 180, 2200, 300));
    DataGrid1 = new DataGrid(QStringLiteral("DataGrid1"), picKyoku);
    DataGrid1->setGeometry(twipsRect(255, 4395, 8190, 4995));
    DataGrid1->setBackColor(bgrColor(0xFFFFC0));
    Line3 = new LineControl(QStringLiteral("Line3"), Qt::Vertical, picKyoku);
    Line3->setGeometry(0, 0, 3, picKyoku->height());
    txtrsSubDamie = new DataTextBox(QStringLiteral("txtrsSubDamie"), picKyoku);
    txtrsSubDamie->hide();
    // Counters: red figures with their units.
    struct Counter {
        int index;
        QWidget* panel;
        QRect geometry;
        const char16_t* text;
    };
    const Counter counters[] = {
        {0, picKyoku, twipsRect(7065, 4125, 870, 255), u""},
        {1, picKyoku, twipsRect(7935, 4125, 300, 255), u"曲"},
        {2, picKyoku, twipsRect(7935, 4125, 300, 255), u"曲"},
        {3, picCD, twipsRect(4845, 4110, 1050, 255), u""},
        {4, picCD, twipsRect(5895, 4110, 300, 255), u"枚"},
    };
    for (const Counter& c : counters) {
        auto* label = new QLabel(QString::fromUtf16(c.text), c.panel);
        label->setObjectName(QStringLiteral("lblRcount(%1)").arg(c.index));
        QRect geometry = c.geometry;
        // The figures stand right-aligned against their unit; the box grows to
        // the left so that the largest count is never cut off.
        if (c.text[0] == u'\0') {
            const int needed
                = label->fontMetrics().horizontalAdvance(QStringLiteral("99999 / 99999"))
                + 2 * label->margin() + 4;
            if (geometry.width() < needed)
                geometry.setLeft(geometry.right() + 1 - needed);
        }
        label->setGeometry(geometry);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        setForeColor(label, Qt::red);
        m_lblRcount[size_t(c.index)] = label;
    }
    m_lblRcount[1]->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_lblRcount[4]->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_lblRcount[2]->hide(); // a second unit label that the panel does not show
}

void frmMain::createRecordPanel()
{
    struct Box {
        const char16_t* field;
        int left, top, width, height;
    };
    static const Box boxes[22] = {
        {u"CDID", 1470, 945, 630, 330},          {u"CD名", 1470, 1332, 2625, 450},
        {u"発売元", 1470, 1839, 2625, 330},      {u"購入年月日", 1470, 2226, 2625, 330},
        {u"購入価格", 1470, 2613, 2625, 330},    {u"解説者", 1470, 3000, 2625, 330},
        {u"キャビネット", 2475, 3390, 750, 330}, {u"段", 3690, 3390, 390, 330},
        {u"曲名", 1200, 1332, 3330, 450},        {u"作曲者名", 1200, 1839, 3330, 330},
        {u"編曲者名", 1200, 2226, 3330, 330},    {u"指揮者名", 1200, 2613, 3330, 330},
        {u"演奏団体", 1200, 3000, 3330, 330},    {u"ソリスト", 1200, 3390, 3330, 330},
        {u"録音先", 5850, 945, 2460, 330},       {u"録音先番号", 5850, 1352, 2460, 330},
        {u"録音時間", 5850, 1759, 2460, 330},    {u"録音年月日", 5850, 2166, 2460, 330},
        {u"録音会場", 5850, 2573, 2460, 330},    {u"原盤番号", 5850, 2980, 2460, 330},
        {u"分野", 5850, 3390, 1515, 330},        {u"曲ID", 1200, 945, 630, 330},
    };
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    for (int i = 0; i < 22; ++i) {
        const Box& b = boxes[i];
        QWidget* panel = i < 8 ? picCD : picKyoku;
        auto* box = new DataTextBox(QStringLiteral("txtrs(%1)").arg(i), panel);
        box->setGeometry(twipsRect(b.left, b.top, b.width, b.height));
        box->setReadOnly(true);
        auto* label = new QLabel(QString::fromUtf16(b.field), panel);
        label->setObjectName(QStringLiteral("lblFieldLabel(%1)").arg(i));
        label->setFont(small);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        // Labels stand to the left of their boxes; キャビネット and 段 share the 収納場所 row.
        const int labelWidth = i == 6 ? 1000 : (i == 7 ? 420 : 1140);
        const int labelLeft = i == 7 ? b.left - 450 : b.left - labelWidth - 60;
        label->setGeometry(twipsRect(labelLeft, b.top, labelWidth, 330));
        m_txtrs[size_t(i)] = box;
        m_lblFieldLabel[size_t(i)] = label;
    }
    m_txtrs[4]->setDisplayFormat(DisplayFormat::Yen);
    for (auto [index, bgr] : {std::pair{1, 0xC0FFFFu}, std::pair{8, 0xFFFFC0u}}) {
        QPalette p = m_txtrs[size_t(index)]->palette();
        p.setColor(QPalette::Base, bgrColor(bgr));
        m_txtrs[size_t(index)]->setPalette(p);
    }
}

void frmMain::createNavigationButtons()
{
    QFont gothic(QStringList{QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic")});
    struct Nav {
        QPushButton** button;
        const char* name;
        const char16_t* caption;
        bool cdSide;
        int left;
        View::Step move;
    };
    const Nav navs[] = {
        {&cmdTop, "cmdTop", u"≪", true, 1755, View::Step::First},
        {&cmdPrevious, "cmdPrevious", u"＜", true, 2505, View::Step::Previous},
        {&cmdNext, "cmdNext", u"＞", true, 3255, View::Step::Next},
        {&cmdLast, "cmdLast", u"≫", true, 4005, View::Step::Last},
        {&cmdTopsub, "cmdTopsub", u"≪", false, 3255, View::Step::First},
        {&cmdLeftSub, "cmdLeftSub", u"＜", false, 4005, View::Step::Previous},
        {&cmdRightSub, "cmdRightSub", u"＞", false, 4755, View::Step::Next},
        {&cmdLastsub, "cmdLastsub", u"≫", false, 5505, View::Step::Last},
    };
    for (const Nav& n : navs) {
        auto* button = new QPushButton(QString::fromUtf16(n.caption), n.cdSide ? picCD : picKyoku);
        button->setObjectName(QString::fromLatin1(n.name));
        button->setGeometry(twipsRect(n.left, 9480, 750, 405));
        button->setFont(gothic);
        button->setAutoDefault(false);
        *n.button = button;
        connect(button, &QPushButton::clicked, this,
                [this, side = n.cdSide, move = n.move] { navigate(side, move); });
    }
}

void frmMain::connectEvents()
{
    auto on = [this](const char* name, void (frmMain::*handler)()) {
        auto* action = findChild<QAction*>(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, handler);
    };
    on("mnuPage", &frmMain::mnuPage_Click);
    on("mnuQuit", &frmMain::mnuQuit_Click);
    on("mnuTyuu", &frmMain::mnuTyuu_Click);
    on("mnuSibori", &frmMain::mnuSibori_Click);
    on("mnuCDs", &frmMain::mnuCDs_Click);
    on("mnuKyokuS", &frmMain::mnuKyokuS_Click);
    on("mnuReset", &frmMain::mnuReset_Click);
    on("mnuCDinput", &frmMain::mnuCDinput_Click);
    on("mnuRestore", &frmMain::mnuRestore_Click);
    on("mnuPrv2", &frmMain::mnuPrv2_Click);
    on("mnuprv3", &frmMain::mnuprv3_Click);
    on("mnuprv", &frmMain::mnuprv_Click);
    on("mnuImport", &frmMain::mnuImport_Click);
    on("mnuCsvImport", &frmMain::mnuCsvImport_Click);
    on("mnuCsvExport", &frmMain::mnuCsvExport_Click);
    on("mnuCsvExportShown", &frmMain::mnuCsvExportShown_Click);
    on("mnuInputkyoku", &frmMain::mnuInputkyoku_Click);
    on("mnuhelp2", &frmMain::mnuhelp2_Click);
    on("mnuVer", &frmMain::mnuVer_Click);
    for (const char* name : {"mnuFile", "mnuEdit"})
        connect(findChild<QMenu*>(QString::fromLatin1(name)), &QMenu::aboutToShow, this,
                [this] { MMCdialog->playSound(); });
    connect(findChild<QMenu*>(QStringLiteral("mnuSearch")), &QMenu::aboutToShow, this,
            &frmMain::mnuSearch_Click);
    connect(txtrsDamie, &DataTextBox::Change, this, &frmMain::txtrsDamie_Change);
    connect(txtrs(0), &DataTextBox::Change, this, &frmMain::txtrs0_Change);
    connect(txtrsSubDamie, &DataTextBox::Change, this, &frmMain::txtrsSubDamie_Change);
    for (DataGrid* grid : {DataGrid1, DataGrid2})
        connect(grid, &DataGrid::moveFailed, this, [](const QString& text) { MsgBox(text); });
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

void frmMain::Form_Load()
{
    Steps steps = {
        [this] { picTyuu->hide(); },
        [this] { openCollection(); },
    };
    for (auto& step : allDataSteps())
        steps.push_back(std::move(step));
    steps.push_back([this] {
        MMCdialog->setFileName(QDir(db.strAppPath).filePath(QStringLiteral("dialog.WAV")));
        MMCdialog->command(QStringLiteral("Open"));
        MMCdrop->setFileName(QDir(db.strAppPath).filePath(QStringLiteral("drop.WAV")));
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
    cmdNext->setFocus();
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
    if (db.cn) // without a collection there is nothing to return to all data
        mnuReset_Click();
    MMCdialog->command(QStringLiteral("close"));
    MMCdrop->command(QStringLiteral("close"));
    try {
        db.CloseDataContext();
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
    db.rsCDList.reset();
    releaseCollectionLock();
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
    if (sharedPrinter().outputFormat() != QPrinter::NativeFormat) {
        PageSetupDialog dialog(&sharedPrinter(), this);
        dialog.exec();
        return;
    }
    QPageSetupDialog dialog(&sharedPrinter(), this);
    dialog.setObjectName(QStringLiteral("cmndPage"));
    dialog.exec();
}

void frmMain::mnuQuit_Click()
{
    close();
}

void frmMain::mnuCDinput_Click()
{
    mnuReset_Click();
    if (!db.cn) {
        MsgBox(QStringLiteral("コレクションのデータベースが開かれていません。"));
        return;
    }
    auto* form = new frmInputCD(db, this);
    connect(form, &frmInputCD::closedDataChanged, this, &frmMain::reset);
    form->exec();
}

void frmMain::mnuInputkyoku_Click()
{
    if (!db.cn) {
        MsgBox(QStringLiteral("コレクションのデータベースが開かれていません。"));
        return;
    }
    auto* form = new frmInputKyoku(db, this);
    connect(form, &frmInputKyoku::closedDataChanged, this, &frmMain::reset);
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
    auto* help = new frmHelp(QDir(db.strAppPath).filePath(QStringLiteral("help.html")), this);
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
    if (key == u"抽出")
        mnuTyuu_Click();
    else if (key == u"絞り込み抽出")
        mnuSibori_Click();
    else if (key == u"リセット")
        mnuReset_Click();
    else if (key == u"印刷プレビュー")
        mnuPrv2_Click();
    else if (key == u"追加")
        mnuCDinput_Click();
    else if (key == u"変更")
        mnuInputkyoku_Click();
}
