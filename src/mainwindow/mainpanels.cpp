#include "mainpanels.h"

#include "store/collection.h"
#include "store/dberror.h"
#include "store/findtext.h"
#include "store/tables.h"
#include "widgets/controls.h"
#include "widgets/databound.h"
#include "widgets/jacketbox.h"
#include "widgets/msgbox.h"
#include "widgets/sound.h"
#include "widgets/twips.h"
#include "widgets/twipslayout.h"

#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>

#include <functional>
#include <optional>

namespace {

// The leading number of a text, rounded to a whole number; 0 when there is none.
qint64 leadingNumber(const QString& text)
{
    static const QRegularExpression number(QStringLiteral("^\\s*([-+]?(\\d+\\.?\\d*|\\.\\d+))"));
    const QRegularExpressionMatch m = number.match(text);
    return m.hasMatch() ? qRound64(m.captured(1).toDouble()) : 0;
}

// A header above a grid: its words and their colour.
struct Header {
    const char16_t* text;
    Qt::GlobalColor colour;
};

// What each display state shows; an empty optional leaves that part as the
// state before left it.
struct Look {
    DisplayState state;
    bool unlinked; // songs beside the CD list, not the songs of the current CD
    std::optional<Header> cdHeader;
    std::optional<Header> kyokuHeader;
    std::optional<int> line3Style; // 1 solid, 3 dotted
    const char16_t* cdCaption; // null: the criteria text
    const char16_t* kyokuCaption; // null: the criteria text
};

const Look looks[] = {
    {DisplayState::AllData, false, Header{u"CDデータ", Qt::blue}, Header{u"曲データ", Qt::blue}, 3,
     u"ALL", u"左CDに含まれる曲"},
    {DisplayState::CDSearch, false, Header{u"ＣＤ検索中", Qt::red}, std::nullopt, std::nullopt,
     nullptr, u"左CDに含まれる曲"},
    {DisplayState::SongSearch, true, std::nullopt, Header{u"曲検索中", Qt::red}, 1,
     u"右の曲を含むCD一覧（非連結）", nullptr},
    {DisplayState::AllSongs, true, std::nullopt, Header{u"曲検索中", Qt::red}, 1, u"ALL（非連結）",
     u"ALL"},
};

const Look& lookOf(DisplayState state)
{
    for (const Look& look : looks)
        if (look.state == state)
            return look;
    return looks[0];
}

// Runs the parts in order; a missing current row lets the next part run.
void runParts(std::initializer_list<std::function<void()>> parts)
{
    for (const auto& part : parts) {
        try {
            part();
        } catch (const DbError& e) {
            if (e.number() != DbError::NoCurrentRow)
                throw;
        }
    }
}

} // namespace

MainPanels::MainPanels(Collection& collection, MMControl* dialogSound, QWidget* client)
    : QObject(client), db(collection), m_dialogSound(dialogSound)
{
    createCDPanel(client);
    createKyokuPanel(client);
    createCounters();
    createRecordPanel();
    createNavigationButtons();
    connect(txtrsDamie, &DataTextBox::Change, this, [this] { showJacket(txtrsDamie->text()); });
    connect(m_txtrs[0], &DataTextBox::Change, this, &MainPanels::txtrs0_Change);
    connect(m_txtrs[0], &DataTextBox::Change, this, &MainPanels::showMemo);
    for (auto changed : {&Collection::noteChanged, &Collection::cdChanged})
        connect(&db, changed, this, &MainPanels::showMemo);
    connect(&db, &Collection::changeTakenBack, this, &MainPanels::showMemo);
    connect(&db, &Collection::rowsChanged, this, &MainPanels::showMemo);
    connect(txtrsSubDamie, &DataTextBox::Change, this, &MainPanels::txtrsSubDamie_Change);
    for (DataGrid* grid : {DataGrid1, DataGrid2})
        connect(grid, &DataGrid::moveFailed, this, [](const QString& text) { MsgBox(text); });
    createRatingColumns();
}

// ---- stars

// Each grid ends in a column 評価 of the row's stars; the keys 0 to 5 give
// the current row as many (0 takes them away), a click on the heading lists
// the most stars first.
void MainPanels::createRatingColumns()
{
    for (DataGrid* grid : {DataGrid2, DataGrid1}) {
        const ratings::Of of = grid == DataGrid2 ? ratings::Of::CD : ratings::Of::Song;
        grid->addOuterColumn(
            QStringLiteral("評価"), ratings::keyField(of), [this, of](const QVariant& key) {
                return key.isNull() ? QString()
                                    : ratings::starsText(db.Ratings().of(of, key.toLongLong()));
            });
        grid->table()->installEventFilter(this);
        QHeaderView* heading = grid->table()->horizontalHeader();
        heading->setSectionsClickable(true);
        connect(heading, &QHeaderView::sectionClicked, this, [this, grid, of](int section) {
            if (section != grid->model()->outerColumn(QStringLiteral("評価")))
                return;
            try {
                db.SortByRating(grid->dataSource(), of);
            } catch (const DbError& e) {
                MsgBox(e.description());
            }
        });
    }
    // a CD out says to whom, and how late it is, in words: not by colour alone
    DataGrid2->addOuterColumn(
        QStringLiteral("貸出"), QStringLiteral("CDID"), [this](const QVariant& key) {
            const auto loan = db.Loans().constFind(key.toLongLong());
            if (key.isNull() || loan == db.Loans().cend())
                return QString();
            const int late = loan->daysOverdue(QDate::currentDate());
            return late > 0 ? QStringLiteral("%1（%2日遅れ）").arg(loan->to).arg(late) : loan->to;
        });
    auto refresh = [this] {
        for (DataGrid* grid : {DataGrid1, DataGrid2})
            grid->model()->outerColumnsChanged();
    };
    connect(&db, &Collection::ratingChanged, this, refresh);
    connect(&db, &Collection::loanChanged, this, refresh);
    connect(&db, &Collection::changeTakenBack, this, refresh);
    // a change taken back may have put another picture in place of the one on show
    connect(&db, &Collection::changeTakenBack, this, &MainPanels::refreshJacket);
}

MainPanels::GridRows MainPanels::songRows() const
{
    return {DataGrid1->dataSource(), DataGrid1->selectedRows()};
}

MainPanels::GridRows MainPanels::cdRows() const
{
    return {DataGrid2->dataSource(), DataGrid2->selectedRows()};
}

std::optional<MainPanels::ShownCD> MainPanels::currentCD() const
{
    const ViewPtr& cds = DataGrid2->dataSource();
    if (!cds || !cds->isOpen() || cds->bof() || cds->eof())
        return std::nullopt;
    const QVariant id = cds->value(QStringLiteral("CDID"));
    if (id.isNull())
        return std::nullopt;
    return ShownCD{id.toLongLong(), cds->value(QStringLiteral("CD名")).toString()};
}

bool MainPanels::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const int stars = key->key() - Qt::Key_0;
    if (stars < 0 || stars > 5 || (key->modifiers() & ~Qt::KeypadModifier))
        return false;
    for (DataGrid* grid : {DataGrid1, DataGrid2})
        if (watched == grid->table()) {
            rateCurrent(grid, stars);
            return true;
        }
    return false;
}

void MainPanels::rateCurrent(DataGrid* grid, int stars)
{
    const ratings::Of of = grid == DataGrid2 ? ratings::Of::CD : ratings::Of::Song;
    try {
        const QVariant id = need(grid->dataSource()).value(ratings::keyField(of));
        if (id.isNull())
            throw DbError::noCurrentRow();
        db.Rate(of, id.toLongLong(), stars);
    } catch (const DbError& e) {
        MsgBox(e.number() == DbError::NoCurrentRow ? QStringLiteral("データがありません")
                                                   : e.description());
    }
}

void MainPanels::createCDPanel(QWidget* client)
{
    picCD = new QWidget(client);
    picCD->setObjectName(QStringLiteral("picCD"));
    picCD->setGeometry(twipsRect(60, 360, 6525, 10110));
    lblCDdata = new QLabel(QStringLiteral("CDデータ"), picCD);
    lblCDdata->setObjectName(QStringLiteral("lblCDdata"));
    lblCDdata->setGeometry(twipsRect(1920, 180, 2200, 300));
    auto* label5 = new QLabel(QStringLiteral("収納場所"), picCD);
    label5->setObjectName(QStringLiteral("Label5"));
    label5->setGeometry(twipsRect(120, 3420, 1300, 300));
    picCDphoto = new JacketBox(QStringLiteral("picCDphoto"), picCD);
    picCDphoto->setGeometry(twipsRect(4260, 105, 2220, 2220));
    picCDphoto->setCollectionFolder(db.strAppPath());
    picCDphoto->setKeeper([collection = &db](qint64 cdid, const QByteArray& jpeg) {
        collection->ChangeJacket(cdid, jpeg);
    });
    DataGrid2 = new DataGrid(QStringLiteral("DataGrid2"), picCD);
    DataGrid2->setGeometry(twipsRect(75, 4395, 6330, 4995));
    DataGrid2->setBackColor(bgrColor(0xC0FFFF));
    DataGrid2->setFillColumn(cdnameTable().indexOf(QStringLiteral("CD名")));
    txtrsDamie = new DataTextBox(QStringLiteral("txtrsDamie"), picCD);
    txtrsDamie->hide();
}

void MainPanels::createKyokuPanel(QWidget* client)
{
    picKyoku = new QWidget(client);
    picKyoku->setObjectName(QStringLiteral("picKyoku"));
    picKyoku->setGeometry(twipsRect(6645, 360, 8625, 10095));
    lblKyokudata = new QLabel(QStringLiteral("曲データ"), picKyoku);
    lblKyokudata->setObjectName(QStringLiteral("lblKyokudata"));
    lblKyokudata->setGeometry(twipsRect(3975, 180, 2200, 300));
    DataGrid1 = new DataGrid(QStringLiteral("DataGrid1"), picKyoku);
    DataGrid1->setGeometry(twipsRect(255, 4395, 8190, 4995));
    DataGrid1->setBackColor(bgrColor(0xFFFFC0));
    DataGrid1->setFillColumn(kyokuTable().indexOf(QStringLiteral("曲名")));
    Line3 = new LineControl(QStringLiteral("Line3"), Qt::Vertical, picKyoku);
    Line3->setGeometry(0, 0, 3, picKyoku->height());
    txtrsSubDamie = new DataTextBox(QStringLiteral("txtrsSubDamie"), picKyoku);
    txtrsSubDamie->hide();
}

// Counters: red figures with their units.
void MainPanels::createCounters()
{
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

void MainPanels::createRecordPanel()
{
    struct Box {
        const char16_t* field;
        int left, top, width, height;
    };
    // Boxes 0 to 7 show the current CD, 8 to 21 the current song.
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
    QFont small = picCD->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    for (int i = 0; i < 22; ++i) {
        const Box& b = boxes[i];
        const bool cdBox = i < 8;
        const ColumnDef& column
            = (cdBox ? cdnameTable() : kyokuTable()).column(QString::fromUtf16(b.field));
        QWidget* panel = cdBox ? picCD : picKyoku;
        auto* box = new DataTextBox(QStringLiteral("txtrs(%1)").arg(i), panel);
        box->setGeometry(twipsRect(b.left, b.top, b.width, b.height));
        box->setReadOnly(true);
        box->setDisplayFormat(displayFormat(column.boxFormat));
        auto* label = new QLabel(column.field.name, panel);
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
    // The CD's note below its fields, on one line: the whole note in its tip.
    auto* memoLabel = new QLabel(QStringLiteral("メモ"), picCD);
    memoLabel->setObjectName(QStringLiteral("Label6"));
    memoLabel->setFont(small);
    memoLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    memoLabel->setGeometry(twipsRect(270, 3765, 1140, 330));
    lblMemo = new QLabel(picCD);
    lblMemo->setObjectName(QStringLiteral("lblMemo"));
    lblMemo->setGeometry(twipsRect(1470, 3765, 2625, 330));
    lblMemo->setFrameShape(QFrame::StyledPanel);
    lblMemo->setTextFormat(Qt::PlainText);
    lblMemo->setTextInteractionFlags(Qt::TextSelectableByMouse);
    for (auto [index, bgr] : {std::pair{1, 0xC0FFFFu}, std::pair{8, 0xFFFFC0u}}) {
        QPalette p = m_txtrs[size_t(index)]->palette();
        p.setColor(QPalette::Base, bgrColor(bgr));
        m_txtrs[size_t(index)]->setPalette(p);
    }
}

void MainPanels::createNavigationButtons()
{
    QFont gothic(QStringList{QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic")});
    struct Nav {
        const char* name;
        const char16_t* caption;
        bool cdSide;
        int left;
        View::Step move;
    };
    const Nav navs[] = {
        {"cmdTop", u"≪", true, 1755, View::Step::First},
        {"cmdPrevious", u"＜", true, 2505, View::Step::Previous},
        {"cmdNext", u"＞", true, 3255, View::Step::Next},
        {"cmdLast", u"≫", true, 4005, View::Step::Last},
        {"cmdTopsub", u"≪", false, 3255, View::Step::First},
        {"cmdLeftSub", u"＜", false, 4005, View::Step::Previous},
        {"cmdRightSub", u"＞", false, 4755, View::Step::Next},
        {"cmdLastsub", u"≫", false, 5505, View::Step::Last},
    };
    for (size_t i = 0; i < std::size(navs); ++i) {
        const Nav& n = navs[i];
        auto* button = new QPushButton(QString::fromUtf16(n.caption), n.cdSide ? picCD : picKyoku);
        button->setObjectName(QString::fromLatin1(n.name));
        button->setGeometry(twipsRect(n.left, 9480, 750, 405));
        button->setFont(gothic);
        button->setAutoDefault(false);
        m_nav[i] = button;
        connect(button, &QPushButton::clicked, this,
                [this, side = n.cdSide, move = n.move] { navigate(side, move); });
    }
}

void MainPanels::createLayouts()
{
    using A = TwipsLayout::Anchor;
    auto* cd = new TwipsLayout(picCD, picCD->size());
    cd->anchor(DataGrid2, A{0, 1, 0, 1});
    cd->anchor(m_txtrs[1], A{0, 1, 0, 0});
    cd->anchor(lblMemo, A{0, 1, 0, 0});
    cd->anchor(picCDphoto, A{1, 0, 0, 0});
    for (int i : {3, 4})
        cd->anchor(m_lblRcount[size_t(i)], A{1, 0, 0, 0});
    for (size_t i = 0; i < 4; ++i)
        cd->anchor(m_nav[i], A{0, 0, 1, 0});

    auto* kyoku = new TwipsLayout(picKyoku, picKyoku->size());
    kyoku->anchor(DataGrid1, A{0, 1, 0, 1});
    kyoku->anchor(m_txtrs[8], A{0, 1, 0, 0});
    kyoku->anchor(Line3, A{0, 0, 0, 1});
    // The right-hand column of the song's fields stays beside the growing title.
    for (size_t i = 14; i <= 20; ++i) {
        kyoku->anchor(m_txtrs[i], A{1, 0, 0, 0});
        kyoku->anchor(m_lblFieldLabel[i], A{1, 0, 0, 0});
    }
    for (size_t i : {0, 1, 2})
        kyoku->anchor(m_lblRcount[i], A{1, 0, 0, 0});
    for (size_t i = 4; i < 8; ++i)
        kyoku->anchor(m_nav[i], A{0, 0, 1, 0});
}

// ---- the display state

void MainPanels::countTotals()
{
    lngCDTotal = need(db.cds()).recordCount();
    lngKyokuTotal = need(db.songs()).recordCount();
}

void MainPanels::showState(DisplayState state)
{
    m_state = state;
    const Look& look = lookOf(state);
    runParts({
        [&] { bindGrids(look.unlinked); },
        [&] {
            if (look.unlinked)
                BindRecordPanelKyoku();
            else
                BindRecordPanel();
        },
        [&] {
            if (look.unlinked)
                FormatKyokuGridAll();
            else
                FormatKyokuGrid();
            FormatCDGrid();
            keepWidths();
        },
        [&] {
            for (auto [label, header] :
                 {std::pair{lblCDdata, look.cdHeader}, std::pair{lblKyokudata, look.kyokuHeader}}) {
                if (!header)
                    continue;
                setForeColor(label, header->colour);
                label->setText(QString::fromUtf16(header->text));
            }
            if (look.line3Style)
                Line3->setBorderStyle(*look.line3Style);
        },
        [&] { showCaptionsAndCounters(); },
    });
}

void MainPanels::showCaptionsAndCounters()
{
    const Look& look = lookOf(m_state);
    auto caption = [this](const char16_t* text) {
        return text ? QString::fromUtf16(text) : db.strCriteria();
    };
    DataGrid2->setCaption(caption(look.cdCaption));
    DataGrid1->setCaption(caption(look.kyokuCaption));
    switch (m_state) {
    case DisplayState::AllData:
    case DisplayState::CDSearch:
        setCounter(0, need(db.songsOfCD()).recordCount(), lngKyokuTotal);
        setCounter(3, need(db.cds()).recordCount(), lngCDTotal);
        break;
    case DisplayState::SongSearch:
        setCounter(0, need(db.songs()).recordCount(), lngKyokuTotal);
        setCounter(3, need(db.cdList()).recordCount(), lngCDTotal);
        break;
    case DisplayState::AllSongs:
        setCounter(0, lngKyokuTotal, lngKyokuTotal);
        // the CDs listed beside all songs, as after a song search
        if (db.cdList() && db.cdList()->isOpen())
            setCounter(3, db.cdList()->recordCount(), lngCDTotal);
        break;
    }
}

void MainPanels::bindGrids(bool unlinked)
{
    DataGrid1->setDataSource(nullptr);
    DataGrid2->setDataSource(nullptr);
    DataGrid1->setDataSource(unlinked ? db.songs() : db.songsOfCD());
    DataGrid2->setDataSource(unlinked ? db.cdList() : db.cds());
}

void MainPanels::rebindAfterPrint(bool unlinked)
{
    DataGrid1->setDataSource(unlinked ? db.songs() : db.songsOfCD());
    DataGrid2->setDataSource(unlinked ? db.cdList() : db.cds());
    FormatKyokuGrid();
    FormatCDGrid();
    keepWidths();
}

// Widths the user dragged come back per grid and display state.
void MainPanels::keepWidths()
{
    const QString names[] = {QStringLiteral("AllData"), QStringLiteral("CDSearch"),
                             QStringLiteral("SongSearch"), QStringLiteral("AllSongs")};
    const QString& name = names[int(m_state)];
    DataGrid1->keepWidthsAs(name);
    DataGrid2->keepWidthsAs(name);
}

void MainPanels::showNoData()
{
    DataGrid1->setDataSource(nullptr);
    DataGrid2->setDataSource(nullptr);
    for (DataTextBox* box : m_txtrs)
        box->bind(nullptr, QString());
    txtrsDamie->bind(nullptr, QString());
    txtrsSubDamie->bind(nullptr, QString());
    setCounter(0, 0, 0);
    setCounter(3, 0, 0);
}

void MainPanels::markSongRows(const QSet<qint64>& rowids)
{
    DataGrid1->setRowMarker([this, rowids](int row) {
        const ViewPtr& songs = DataGrid1->dataSource();
        if (!songs || row >= songs->recordCount())
            return false;
        const Row* r = songs->rowAt(row);
        return r && rowids.contains(r->rowid);
    });
}

void MainPanels::markSongs(const QStringList& words)
{
    if (words.isEmpty()) {
        DataGrid1->setRowMarker(nullptr);
        return;
    }
    DataGrid1->setRowMarker([this, words](int row) {
        const ViewPtr& songs = DataGrid1->dataSource();
        if (!songs || row >= songs->recordCount())
            return false;
        for (int c = 0; c < songs->fieldCount(); ++c) {
            const QVariant v = songs->valueIfRead(row, c);
            if (v.isNull())
                continue;
            const QString text = findableText(v.toString());
            for (const QString& word : words)
                if (text.contains(word))
                    return true;
        }
        return false;
    });
}

void MainPanels::focusNext()
{
    m_nav[2]->setFocus();
}

void MainPanels::setCounter(int index, qint64 listed, qint64 total)
{
    m_lblRcount[size_t(index)]->setText(QString::number(listed) + QStringLiteral(" / ")
                                        + QString::number(total));
}

// ---- record panel bindings and the grids' columns

// Each box shows the field named by the caption of the label beside it.
void MainPanels::bindBoxes(int from, int to, const ViewPtr& view)
{
    for (int i = from; i <= to; ++i) {
        m_txtrs[size_t(i)]->bind(view, m_lblFieldLabel[size_t(i)]->text());
        m_txtrs[size_t(i)]->setReadOnly(true);
    }
}

void MainPanels::BindRecordPanel()
{
    bindBoxes(8, 21, db.songsOfCD());
    txtrsDamie->bind(db.cds(), QStringLiteral("CDID"));
    txtrsSubDamie->bind(db.songsOfCD(), QStringLiteral("曲ID"));
    bindBoxes(0, 7, db.cds());
}

void MainPanels::BindRecordPanelKyoku()
{
    bindBoxes(8, 21, db.songs());
    txtrsSubDamie->bind(db.songs(), QStringLiteral("曲ID"));
    bindBoxes(0, 7, db.cdList());
}

void MainPanels::SetKyokuColWidth(qint16 index)
{
    const auto& columns = kyokuTable().columns();
    if (index >= 0 && index < columns.size() && columns.at(index).gridWidth > 0)
        DataGrid1->setColumnWidthTwips(index, columns.at(index).gridWidth);
}

void MainPanels::SetCDColWidth(qint16 index)
{
    const auto& columns = cdnameTable().columns();
    if (index >= 0 && index < columns.size() && columns.at(index).gridWidth > 0)
        DataGrid2->setColumnWidthTwips(index, columns.at(index).gridWidth);
}

void MainPanels::FormatKyokuGrid()
{
    DataGrid1->setColumnVisible(0, false);
    DataGrid1->setColumnVisible(1, false);
    for (qint16 i = 2; i < kyokuTable().columns().size(); ++i)
        SetKyokuColWidth(i);
}

void MainPanels::FormatKyokuGridAll()
{
    DataGrid1->setColumnVisible(0, true);
    DataGrid1->setColumnVisible(1, false);
    for (qint16 i = 0; i < kyokuTable().columns().size(); ++i)
        SetKyokuColWidth(i);
}

void MainPanels::FormatCDGrid()
{
    const auto& columns = cdnameTable().columns();
    for (qint16 i = 0; i < columns.size(); ++i) {
        SetCDColWidth(i);
        const ColumnDef& c = columns.at(i);
        if (c.gridFormat != ColumnFormat::Plain)
            DataGrid2->setColumnFormat(i, displayFormat(c.gridFormat));
        if (c.centred)
            DataGrid2->setColumnAlignment(i, Qt::AlignHCenter);
    }
}

// ---- navigation and the followers of the current rows

void MainPanels::navigate(bool cdSide, View::Step move)
{
    m_dialogSound->playSound();
    try {
        const bool unlinked = isUnlinked();
        View& view = need(cdSide ? (unlinked ? db.cdList() : db.cds())
                                 : (unlinked ? db.songs() : db.songsOfCD()));
        view.step(move);
    } catch (const DbError& e) {
        MsgBox(e.number() == DbError::NoCurrentRow ? QStringLiteral("データがありません")
                                                   : e.description());
    }
}

// In the unlinked view the record panel shows a CD of the CD list, which the
// follower box (bound to rsCD) does not follow: the picture follows the panel.
void MainPanels::txtrs0_Change()
{
    if (db.cdList() && m_txtrs[0]->dataSource() == db.cdList())
        showJacket(m_txtrs[0]->text());
}

void MainPanels::showJacket(const QString& cdidText)
{
    if (cdidText.trimmed().isEmpty())
        picCDphoto->showCD(std::nullopt);
    else
        picCDphoto->showCD(leadingNumber(cdidText));
}

// The record panel's CD, by the number its box shows, as the jacket is found.
void MainPanels::showMemo()
{
    const QString cdidText = m_txtrs[0]->dataSource() ? m_txtrs[0]->text() : QString();
    QString note;
    if (!cdidText.trimmed().isEmpty() && db.isOpen()) {
        try {
            note = db.Note(leadingNumber(cdidText));
        } catch (const DbError&) {
            // notes that cannot be read now show as none
        }
    }
    QStringList lines = note.split(u'\n');
    for (QString& line : lines)
        line = line.trimmed();
    lines.removeAll(QString());
    lblMemo->setText(lines.join(QStringLiteral(" / ")));
    lblMemo->setToolTip(note);
}

void MainPanels::refreshJacket()
{
    picCDphoto->showCD(picCDphoto->cd());
}

void MainPanels::txtrsSubDamie_Change()
{
    if (!db.isOpen())
        return; // no collection open: nothing to count
    try {
        showCaptionsAndCounters();
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}
