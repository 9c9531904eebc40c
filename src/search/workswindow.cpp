#include "workswindow.h"

#include "store/findtext.h"
#include "store/view.h"
#include "widgets/databound.h"

#include <QCollator>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>

namespace {

constexpr int IndexRole = Qt::UserRole; // the row's composer or work
constexpr int OrderRole = Qt::UserRole + 1; // its place in the column's order

QStandardItem* cell(const QString& text, int index = -1, int order = 0)
{
    auto* item = new QStandardItem(text);
    item->setToolTip(text);
    item->setData(index, IndexRole);
    item->setData(order, OrderRole);
    return item;
}

QStandardItem* count(int n, int index = -1)
{
    QStandardItem* item = cell(QString::number(n), index, n);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

bool containsAll(const QString& text, const QStringList& words)
{
    return std::all_of(words.begin(), words.end(),
                       [&text](const QString& w) { return text.contains(w); });
}

// Who played a recording, as a column heading names it.
QString performers(const works::Recording& r)
{
    QStringList names;
    for (const QString& n : {r.conductor, r.ensemble, r.soloist})
        if (!n.trimmed().isEmpty())
            names << n.trimmed();
    return names.isEmpty() ? r.cd : names.join(QStringLiteral("／"));
}

} // namespace

frmWorks::frmWorks(QVector<works::Composer> composers, QWidget* parent)
    : QDialog(parent), m_composers(std::move(composers))
{
    setObjectName(QStringLiteral("frmWorks"));
    setWindowTitle(QStringLiteral("作品一覧"));
    for (const works::Composer& c : m_composers) {
        m_composerText << findableText(c.name);
        QVector<QString> texts;
        for (const works::Work& w : c.works)
            texts << findableText(
                QString(w.title + u' ' + (w.number.isNull() ? QString() : w.number.text())));
        m_workText << texts;
    }

    txtWorkFilter = new QLineEdit(this);
    txtWorkFilter->setObjectName(QStringLiteral("txtWorkFilter"));
    txtWorkFilter->setPlaceholderText(QStringLiteral("作曲者・作品・作品番号で絞り込み"));
    txtWorkFilter->setClearButtonEnabled(true);
    m_composerModel = new QStandardItemModel(this);
    m_workModel = new QStandardItemModel(this);
    m_workOrder = new QSortFilterProxyModel(this);
    m_workOrder->setSourceModel(m_workModel);
    m_workOrder->setSortRole(OrderRole);
    m_recordingModel = new QStandardItemModel(this);
    m_timeModel = new QStandardItemModel(this);
    grdComposers = listGrid(QStringLiteral("grdComposers"), m_composerModel, this);
    grdWorks = listGrid(QStringLiteral("grdWorks"), m_workOrder, this);
    // catalogue order first; a click on a heading orders by title or count
    m_workModel->setHorizontalHeaderLabels(
        {QStringLiteral("作品"), QStringLiteral("作品番号"), QStringLiteral("録音")});
    grdWorks->horizontalHeader()->setSortIndicator(1, Qt::AscendingOrder);
    grdWorks->setSortingEnabled(true);
    grdRecordings = listGrid(QStringLiteral("grdRecordings"), m_recordingModel, this);
    grdMovementTimes = listGrid(QStringLiteral("grdMovementTimes"), m_timeModel, this);
    grdMovementTimes->setSelectionMode(QAbstractItemView::NoSelection);

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
        if (!w || index.row() >= w->recordings.size())
            return;
        const works::Recording& r = w->recordings[index.row()];
        Q_EMIT recordingChosen({r.cd}, r.rowids, QStringLiteral("作品：") + w->title);
    });
    fillComposers();
}

const works::Composer* frmWorks::chosenComposer() const
{
    const QModelIndex current = grdComposers->currentIndex();
    if (!current.isValid())
        return nullptr;
    const int i = m_composerModel->index(current.row(), 0).data(IndexRole).toInt();
    return i >= 0 && i < m_composers.size() ? &m_composers[i] : nullptr;
}

const works::Work* frmWorks::chosenWork() const
{
    const works::Composer* c = chosenComposer();
    const QModelIndex current = grdWorks->currentIndex();
    if (!c || !current.isValid())
        return nullptr;
    const int i = m_workOrder->index(current.row(), 0).data(IndexRole).toInt();
    return i >= 0 && i < c->works.size() ? &c->works[i] : nullptr;
}

bool frmWorks::workShown(const works::Composer& c, const works::Work& w,
                         const QStringList& words) const
{
    const qsizetype ci = &c - m_composers.constData();
    const qsizetype wi = &w - c.works.constData();
    return containsAll(m_composerText[ci] + m_workText[ci][wi], words);
}

bool frmWorks::composerShown(const works::Composer& c, const QStringList& words) const
{
    if (containsAll(m_composerText[&c - m_composers.constData()], words))
        return true;
    return std::any_of(c.works.begin(), c.works.end(),
                       [&](const works::Work& w) { return workShown(c, w, words); });
}

void frmWorks::fillComposers()
{
    const QStringList words = findWords(txtWorkFilter->text());
    m_composerModel->clear();
    m_composerModel->setHorizontalHeaderLabels(
        {QStringLiteral("作曲者"), QStringLiteral("作品"), QStringLiteral("録音")});
    for (int i = 0; i < m_composers.size(); ++i) {
        const works::Composer& c = m_composers[i];
        if (!composerShown(c, words))
            continue;
        // a composer found by name shows every work, as the works grid does
        const bool everyWork = containsAll(m_composerText[i], words);
        int shownWorks = 0, recordings = 0;
        for (const works::Work& w : c.works)
            if (everyWork || workShown(c, w, words)) {
                ++shownWorks;
                recordings += int(w.recordings.size());
            }
        m_composerModel->appendRow(
            {cell(c.name.isEmpty() ? QStringLiteral("（作曲者なし）") : c.name, i),
             count(shownWorks), count(recordings)});
    }
    grdComposers->resizeColumnsToContents();
    if (m_composerModel->rowCount() > 0)
        grdComposers->setCurrentIndex(m_composerModel->index(0, 0));
    else
        fillWorks();
}

void frmWorks::fillWorks()
{
    // the rows go, the headings stay with the order the collector chose
    m_workModel->removeRows(0, m_workModel->rowCount());
    const works::Composer* c = chosenComposer();
    if (c) {
        const QStringList words = findWords(txtWorkFilter->text());
        const bool everyWork = containsAll(m_composerText[c - m_composers.constData()], words);
        // the works come in catalogue order; their order by title is Japanese
        QVector<int> byTitle(c->works.size());
        std::iota(byTitle.begin(), byTitle.end(), 0);
        const QCollator& collator = japaneseCollator();
        std::stable_sort(byTitle.begin(), byTitle.end(), [&](int a, int b) {
            return collator.compare(c->works[a].title, c->works[b].title) < 0;
        });
        QVector<int> titleRank(c->works.size());
        for (int r = 0; r < byTitle.size(); ++r)
            titleRank[byTitle[r]] = r;
        for (int i = 0; i < c->works.size(); ++i) {
            const works::Work& w = c->works[i];
            if (!everyWork && !workShown(*c, w, words))
                continue;
            m_workModel->appendRow({cell(w.title, i, titleRank[i]),
                                    cell(w.number.isNull() ? QString() : w.number.text(), i, i),
                                    count(int(w.recordings.size()), i)});
        }
    }
    const QHeaderView* heading = grdWorks->horizontalHeader();
    m_workOrder->sort(heading->sortIndicatorSection(), heading->sortIndicatorOrder());
    grdWorks->resizeColumnsToContents();
    if (m_workOrder->rowCount() > 0)
        grdWorks->setCurrentIndex(m_workOrder->index(0, 0));
    else
        fillRecordings();
}

void frmWorks::fillRecordings()
{
    m_recordingModel->clear();
    m_timeModel->clear();
    m_recordingModel->setHorizontalHeaderLabels(
        {QStringLiteral("CD名"), QStringLiteral("指揮者名"), QStringLiteral("演奏団体"),
         QStringLiteral("ソリスト"), QStringLiteral("録音年月日"), QStringLiteral("楽章"),
         QStringLiteral("録音時間")});
    const works::Work* w = chosenWork();
    if (!w)
        return;
    qsizetype most = 0;
    QStringList headings;
    for (const works::Recording& r : w->recordings) {
        m_recordingModel->appendRow(
            {cell(r.cd), cell(r.conductor), cell(r.ensemble), cell(r.soloist), cell(r.recorded),
             count(int(r.movements.size())), cell(works::durationText(r.totalSeconds()))});
        most = std::max(most, r.movements.size());
        headings << performers(r);
    }
    // the movements as rows, named as the recording with the most of them
    // names them; each recording a column of m:ss
    m_timeModel->setHorizontalHeaderLabels(headings);
    QStringList rowNames;
    for (qsizetype m = 0; m < most; ++m) {
        QString name;
        for (const works::Recording& r : w->recordings)
            if (r.movements.size() == most) {
                name = w->movementNames.value(r.movements[m]);
                break;
            }
        rowNames << name;
        QList<QStandardItem*> row;
        for (const works::Recording& r : w->recordings) {
            QStandardItem* item
                = cell(m < r.seconds.size() ? works::durationText(r.seconds[m]) : QString());
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            row << item;
        }
        m_timeModel->appendRow(row);
    }
    m_timeModel->setVerticalHeaderLabels(rowNames);
    grdRecordings->resizeColumnsToContents();
    grdMovementTimes->resizeColumnsToContents();
}
