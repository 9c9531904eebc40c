#include "workswindow.h"

#include "store/findtext.h"
#include "store/view.h"
#include "widgets/databound.h"

#include <QAbstractTableModel>
#include <QCollator>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>
#include <optional>

namespace {

bool containsAll(const QString& text, const QStringList& words)
{
    return std::all_of(words.begin(), words.end(),
                       [&text](const QString& w) { return text.contains(w); });
}

// Who played a recording, as a column heading names it.
QString performers(const works::Shown& r)
{
    QStringList names;
    for (const QString& n : {r.conductor, r.ensemble, r.soloist})
        if (!n.trimmed().isEmpty())
            names << n.trimmed();
    return names.isEmpty() ? r.cd : names.join(QStringLiteral("／"));
}

} // namespace

// A grid's cells, made as the grid draws them: a composer of a thousand
// works or a work of hundreds of recordings would otherwise make tens of
// thousands of items at every keystroke of the filter.
class frmWorks::Cells : public QAbstractTableModel {
public:
    using Text = std::function<QString(int item, int column)>;
    using Key = std::function<int(int item, int column)>;

    Cells(QStringList headings, QVector<int> rightAligned, QObject* parent)
        : QAbstractTableModel(parent), m_headings(std::move(headings)),
          m_right(std::move(rightAligned))
    {
    }
    // Each row one item (a composer, a work, a movement), its cells told by
    // `text`; the headings, when given, name the columns and the rows.
    void show(QVector<int> items, Text text, std::optional<QStringList> headings = {},
              QStringList rowHeadings = {})
    {
        beginResetModel();
        m_items = std::move(items);
        m_text = std::move(text);
        if (headings)
            m_headings = std::move(*headings);
        m_rowHeadings = std::move(rowHeadings);
        endResetModel();
    }
    void clear(std::optional<QStringList> headings = {}) { show({}, {}, std::move(headings)); }
    int item(int row) const { return row >= 0 && row < m_items.size() ? m_items[row] : -1; }
    void setSortKey(Key key) { m_key = std::move(key); }
    void setAllRightAligned() { m_allRight = true; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(m_items.size());
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(m_headings.size());
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || !m_text)
            return {};
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
            return m_text(m_items[index.row()], index.column());
        if (role == Qt::TextAlignmentRole && (m_allRight || m_right.contains(index.column())))
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (role != Qt::DisplayRole)
            return QAbstractTableModel::headerData(section, orientation, role);
        if (orientation == Qt::Horizontal)
            return m_headings.value(section);
        return section < m_rowHeadings.size()
            ? QVariant(m_rowHeadings[section])
            : QAbstractTableModel::headerData(section, orientation, role);
    }
    // A click on a heading orders the rows by the column's key; the row the
    // collector chose stays chosen.
    void sort(int column, Qt::SortOrder order) override
    {
        if (!m_key)
            return;
        Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        const QModelIndexList before = persistentIndexList();
        QVector<int> itemsBefore;
        for (const QModelIndex& i : before)
            itemsBefore << m_items[i.row()];
        std::stable_sort(m_items.begin(), m_items.end(), [&](int a, int b) {
            const int ka = m_key(a, column), kb = m_key(b, column);
            return order == Qt::AscendingOrder ? ka < kb : kb < ka;
        });
        QHash<int, int> rowOf;
        for (int r = 0; r < m_items.size(); ++r)
            rowOf.insert(m_items[r], r);
        QModelIndexList after;
        for (int k = 0; k < before.size(); ++k)
            after << index(rowOf.value(itemsBefore[k]), before[k].column());
        changePersistentIndexList(before, after);
        Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }

private:
    QStringList m_headings;
    QStringList m_rowHeadings;
    QVector<int> m_right;
    bool m_allRight = false;
    QVector<int> m_items;
    Text m_text;
    Key m_key;
};

frmWorks::frmWorks(std::shared_ptr<const works::Catalogue> works, QWidget* parent)
    : QDialog(parent), m_catalogue(std::move(works)), m_composers(m_catalogue->composers)
{
    setObjectName(QStringLiteral("frmWorks"));
    setWindowTitle(QStringLiteral("作品一覧"));
    // a work is found by its composer's name too; the line between them
    // keeps one word from being read across both
    for (const works::Composer& c : m_composers) {
        const QString name = findableText(c.name);
        m_composerText << name;
        QVector<QString> texts;
        for (const works::Work& w : c.works)
            texts << name + u'\n'
                    + findableText(QString(w.title + u' '
                                           + (w.number.isNull() ? QString() : w.number.text())));
        m_workText << texts;
    }
    m_titleRank.resize(m_composers.size());

    txtWorkFilter = new QLineEdit(this);
    txtWorkFilter->setObjectName(QStringLiteral("txtWorkFilter"));
    txtWorkFilter->setPlaceholderText(QStringLiteral("作曲者・作品・作品番号で絞り込み"));
    txtWorkFilter->setClearButtonEnabled(true);
    m_composerCells = new Cells(
        {QStringLiteral("作曲者"), QStringLiteral("作品"), QStringLiteral("録音")}, {1, 2}, this);
    m_workCells = new Cells(
        {QStringLiteral("作品"), QStringLiteral("作品番号"), QStringLiteral("録音")}, {2}, this);
    m_recordingCells
        = new Cells({QStringLiteral("CD名"), QStringLiteral("指揮者名"), QStringLiteral("演奏団体"),
                     QStringLiteral("ソリスト"), QStringLiteral("録音年月日"),
                     QStringLiteral("楽章"), QStringLiteral("録音時間")},
                    {5}, this);
    m_timeCells = new Cells({}, {}, this);
    m_timeCells->setAllRightAligned();
    grdComposers = listGrid(QStringLiteral("grdComposers"), m_composerCells, this);
    grdWorks = listGrid(QStringLiteral("grdWorks"), m_workCells, this);
    // catalogue order first; a click on a heading orders by title or count
    m_workCells->setSortKey([this](int i, int column) {
        const works::Composer* c = chosenComposer();
        if (!c)
            return 0;
        if (column == 0)
            return titleRank(*c)[i];
        return column == 2 ? int(c->works[i].recordings.size()) : i;
    });
    grdWorks->horizontalHeader()->setSortIndicator(1, Qt::AscendingOrder);
    grdWorks->setSortingEnabled(true);
    grdRecordings = listGrid(QStringLiteral("grdRecordings"), m_recordingCells, this);
    grdMovementTimes = listGrid(QStringLiteral("grdMovementTimes"), m_timeCells, this);
    grdMovementTimes->setSelectionMode(QAbstractItemView::NoSelection);
    // widths from the first rows only: a work of hundreds of recordings, a
    // composer of a thousand works, is not measured row by row at each
    // keystroke (a cell cut short shows its whole text as a tip)
    for (QTableView* grid : {grdComposers, grdWorks, grdRecordings})
        grid->horizontalHeader()->setResizeContentsPrecision(30);

    auto* top = new QSplitter(Qt::Horizontal, this);
    top->addWidget(grdComposers);
    top->addWidget(grdWorks);
    top->setStretchFactor(1, 2);
    auto* bottom = new QSplitter(Qt::Horizontal, this);
    bottom->addWidget(grdRecordings);
    bottom->addWidget(grdMovementTimes);
    bottom->setStretchFactor(0, 3);
    bottom->setStretchFactor(1, 2);
    auto* both = new QSplitter(Qt::Vertical, this);
    both->addWidget(top);
    both->addWidget(bottom);
    auto* layout = new QVBoxLayout(this);
    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(new QLabel(QStringLiteral("絞り込み："), this));
    filterRow->addWidget(txtWorkFilter, 1);
    layout->addLayout(filterRow);
    layout->addWidget(both, 1);
    resize(1000, 700);

    connect(txtWorkFilter, &QLineEdit::textChanged, this, [this] { fillComposers(); });
    connect(grdComposers->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { fillWorks(); });
    connect(grdWorks->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { fillRecordings(); });
    connect(grdRecordings, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        const works::Work* w = chosenWork();
        if (!w || index.row() >= m_shown.size())
            return;
        const works::Shown& r = m_shown[index.row()];
        Q_EMIT recordingChosen({r.cd}, r.rowids, QStringLiteral("作品：") + w->title);
    });
    fillComposers();
}

// The grids and their cells go with this window's children, after its own
// members: they are left showing nothing first, so that nothing they draw or
// measure on the way out reads the works or recordings already gone.
frmWorks::~frmWorks()
{
    for (QTableView* grid : {grdComposers, grdWorks, grdRecordings})
        grid->selectionModel()->disconnect(this);
    m_composerCells->clear();
    m_workCells->clear();
    m_recordingCells->clear();
    m_timeCells->clear(QStringList());
}

const works::Composer* frmWorks::chosenComposer() const
{
    const int i = m_composerCells->item(grdComposers->currentIndex().row());
    return i >= 0 && i < m_composers.size() ? &m_composers[i] : nullptr;
}

const works::Work* frmWorks::chosenWork() const
{
    const works::Composer* c = chosenComposer();
    const int i = m_workCells->item(grdWorks->currentIndex().row());
    return c && i >= 0 && i < c->works.size() ? &c->works[i] : nullptr;
}

// The works come in catalogue order; their order by title is Japanese,
// reckoned once per composer, when first asked.
const QVector<int>& frmWorks::titleRank(const works::Composer& c)
{
    QVector<int>& rank = m_titleRank[&c - m_composers.constData()];
    if (rank.size() == c.works.size())
        return rank;
    QVector<int> byTitle(c.works.size());
    std::iota(byTitle.begin(), byTitle.end(), 0);
    const QCollator& collator = japaneseCollator();
    std::stable_sort(byTitle.begin(), byTitle.end(), [&](int a, int b) {
        return collator.compare(c.works[a].title, c.works[b].title) < 0;
    });
    rank.resize(c.works.size());
    for (int r = 0; r < byTitle.size(); ++r)
        rank[byTitle[r]] = r;
    return rank;
}

QVector<int> frmWorks::shownWorks(int composer, const QStringList& words) const
{
    const works::Composer& c = m_composers[composer];
    QVector<int> shown;
    // a composer found by name shows every work, as the works grid does
    const bool everyWork = containsAll(m_composerText[composer], words);
    for (int i = 0; i < c.works.size(); ++i)
        if (everyWork || containsAll(m_workText[composer][i], words))
            shown << i;
    return shown;
}

void frmWorks::fillComposers()
{
    const QStringList words = findWords(txtWorkFilter->text());
    QVector<int> composers;
    m_shownCounts.clear();
    for (int i = 0; i < m_composers.size(); ++i) {
        const QVector<int> shown = shownWorks(i, words);
        if (shown.isEmpty() && !containsAll(m_composerText[i], words))
            continue;
        int recordings = 0;
        for (int w : shown)
            recordings += int(m_composers[i].works[w].recordings.size());
        composers << i;
        m_shownCounts.insert(i, {int(shown.size()), recordings});
    }
    m_composerCells->show(composers, [this](int i, int column) {
        if (column == 0)
            return m_composers[i].name.isEmpty() ? QStringLiteral("（作曲者なし）")
                                                 : m_composers[i].name;
        const QPair<int, int> counts = m_shownCounts.value(i);
        return QString::number(column == 1 ? counts.first : counts.second);
    });
    grdComposers->resizeColumnsToContents();
    if (m_composerCells->rowCount() > 0)
        grdComposers->setCurrentIndex(m_composerCells->index(0, 0));
    else
        fillWorks();
}

void frmWorks::fillWorks()
{
    const works::Composer* c = chosenComposer();
    if (!c) {
        m_workCells->clear();
    } else {
        m_workCells->show(
            shownWorks(int(c - m_composers.constData()), findWords(txtWorkFilter->text())),
            [c](int i, int column) {
                const works::Work& w = c->works[i];
                if (column == 0)
                    return w.title;
                if (column == 1)
                    return w.number.isNull() ? QString() : w.number.text();
                return QString::number(w.recordings.size());
            });
        // in the order the collector chose by the headings
        const QHeaderView* heading = grdWorks->horizontalHeader();
        m_workCells->sort(heading->sortIndicatorSection(), heading->sortIndicatorOrder());
    }
    grdWorks->resizeColumnsToContents();
    if (m_workCells->rowCount() > 0)
        grdWorks->setCurrentIndex(m_workCells->index(0, 0));
    else
        fillRecordings();
}

void frmWorks::fillRecordings()
{
    const works::Work* w = chosenWork();
    m_shown = w ? m_catalogue->show(*w) : QVector<works::Shown>();
    if (!w) {
        m_recordingCells->clear();
        m_timeCells->clear(QStringList());
        return;
    }
    QVector<int> recordings(m_shown.size());
    std::iota(recordings.begin(), recordings.end(), 0);
    m_recordingCells->show(recordings, [this](int i, int column) {
        const works::Shown& r = m_shown[i];
        switch (column) {
        case 0:
            return r.cd;
        case 1:
            return r.conductor;
        case 2:
            return r.ensemble;
        case 3:
            return r.soloist;
        case 4:
            return r.recorded;
        case 5:
            return QString::number(r.movements.size());
        default:
            return works::durationText(r.totalSeconds());
        }
    });
    // the movements as rows, named as the recording with the most of them
    // names them; each recording a column of m:ss
    qsizetype most = 0;
    QStringList headings;
    for (const works::Shown& r : std::as_const(m_shown)) {
        most = std::max(most, r.movements.size());
        headings << performers(r);
    }
    QStringList rowNames;
    QVector<int> movements;
    for (qsizetype m = 0; m < most; ++m) {
        QString name;
        for (const works::Shown& r : std::as_const(m_shown))
            if (r.movements.size() == most) {
                name = r.movements[m];
                break;
            }
        rowNames << name;
        movements << int(m);
    }
    m_timeCells->show(
        movements,
        [this](int m, int recording) {
            const works::Shown& r = m_shown[recording];
            return m < r.seconds.size() ? works::durationText(r.seconds[m]) : QString();
        },
        headings, rowNames);
    grdRecordings->resizeColumnsToContents();
    fitTimeColumns(headings);
}

// Every column of times holds m:ss or h:mm:ss alike, so the columns are as
// wide as the longest time or as their heading, measured by the font alone:
// a work of hundreds of recordings is not measured cell by cell.
void frmWorks::fitTimeColumns(const QStringList& headings)
{
    if (headings.isEmpty())
        return;
    QHeaderView* header = grdMovementTimes->horizontalHeader();
    const QFontMetrics metrics = header->fontMetrics();
    const int margin = header->sectionSizeHint(0) - metrics.horizontalAdvance(headings[0]);
    const int cells
        = grdMovementTimes->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00")) + margin;
    // a header that is not redrawn at each section keeps from finding every
    // section's place again after each
    header->setUpdatesEnabled(false);
    for (int i = 0; i < headings.size(); ++i)
        header->resizeSection(i, std::max(cells, metrics.horizontalAdvance(headings[i]) + margin));
    header->setUpdatesEnabled(true);
}
