#include "statisticswindow.h"

#include "store/csvtransfer.h"
#include "store/dberror.h"
#include "store/regularfile.h"
#include "widgets/databound.h"
#include "widgets/msgbox.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QCollator>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHorizontalBarSeries>
#include <QLineSeries>
#include <QPainter>
#include <QPdfWriter>
#include <QPieSeries>
#include <QPieSlice>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <QValueAxis>

namespace {

using stats::Kind;

// Names sort in Japanese order; counts and years as numbers; what was not
// entered, a date that is none and その他 after every name.
class StatisticsOrder : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool lessThan(const QModelIndex& a, const QModelIndex& b) const override
    {
        const QVariant x = a.data(Qt::UserRole);
        const QVariant y = b.data(Qt::UserRole);
        if (x.typeId() == QMetaType::QString && y.typeId() == QMetaType::QString) {
            const int rx = a.data(Qt::UserRole + 1).toInt();
            const int ry = b.data(Qt::UserRole + 1).toInt();
            if (rx != ry)
                return rx < ry;
            return japaneseCollator().compare(x.toString(), y.toString()) < 0;
        }
        return x.toDouble() < y.toDouble();
    }
};

// Where a name stands among names: after them, what is no name of its own.
int nameRank(const QString& name)
{
    if (name == stats::others())
        return 3;
    if (name == stats::notEntered())
        return 2;
    if (name == stats::unknownDate())
        return 1;
    return 0;
}

QStandardItem* nameItem(const QString& name, bool yearLike)
{
    auto* item = new QStandardItem(name);
    if (yearLike && nameRank(name) == 0)
        item->setData(name.toInt(), Qt::UserRole); // a year: in order of time
    else
        item->setData(name, Qt::UserRole);
    item->setData(nameRank(name), Qt::UserRole + 1);
    return item;
}

QStandardItem* numberItem(double n, DisplayFormat format)
{
    auto* item = new QStandardItem(
        formatValue(n == qint64(n) ? QVariant(qint64(n)) : QVariant(n), format));
    item->setData(n, Qt::UserRole);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

QString placeOf(const stats::Line& line)
{
    return line.name + QStringLiteral("／") + line.shelf;
}

QChartView* chartView(QChart* chart, const QString& name)
{
    chart->setAnimationOptions(QChart::NoAnimation);
    auto* view = new QChartView(chart);
    view->setObjectName(name);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(360, 280);
    return view;
}

// Bars across, one per name, for each measure given.
QChart* barChart(const QString& title, const QStringList& names,
                 const QVector<std::pair<QString, QVector<double>>>& measures)
{
    auto* chart = new QChart;
    chart->setTitle(title);
    chart->legend()->setAlignment(Qt::AlignBottom);
    auto* series = new QHorizontalBarSeries;
    for (const auto& [label, values] : measures) {
        auto* set = new QBarSet(label);
        for (double v : values)
            *set << v;
        series->append(set);
    }
    chart->addSeries(series);
    auto* names_ = new QBarCategoryAxis;
    // the largest at the top, as the table lists them
    QStringList reversed(names.rbegin(), names.rend());
    names_->append(reversed);
    // twenty-one names in a chart's height: smaller than the text, and whole
    QFont small = names_->labelsFont();
    small.setPointSizeF(std::max(6.0, small.pointSizeF() * 0.8));
    names_->setLabelsFont(small);
    names_->setTruncateLabels(false);
    chart->addAxis(names_, Qt::AlignLeft);
    series->attachAxis(names_);
    auto* counts = new QValueAxis;
    counts->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(counts, Qt::AlignBottom);
    series->attachAxis(counts);
    // bars were given top to bottom; the axis counts from the bottom
    for (QBarSet* set : series->barSets()) {
        QList<qreal> values;
        for (int i = 0; i < set->count(); ++i)
            values.prepend(set->at(i));
        set->remove(0, set->count());
        set->append(values);
    }
    counts->applyNiceNumbers();
    return chart;
}

QChart* pieChart(const QString& title, const QStringList& names, const QVector<double>& values)
{
    auto* chart = new QChart;
    chart->setTitle(title);
    auto* series = new QPieSeries;
    double whole = 0;
    for (double v : values)
        whole += v;
    for (int i = 0; i < names.size(); ++i)
        if (values[i] > 0) {
            QPieSlice* slice = series->append(names[i], values[i]);
            // the larger parts named on the pie; every part is in the table beside it
            if (values[i] >= whole / 25) {
                slice->setLabel(
                    QStringLiteral("%1 %2%").arg(names[i]).arg(qRound(100 * values[i] / whole)));
                slice->setLabelVisible(true);
            }
        }
    series->setPieSize(0.6);
    chart->addSeries(series);
    chart->legend()->hide();
    return chart;
}

QChart* purchaseChart(const stats::Tab& tab)
{
    auto* chart = new QChart;
    chart->setTitle(QStringLiteral("年ごとの購入金額と累計"));
    chart->legend()->setAlignment(Qt::AlignBottom);
    QStringList years;
    auto* spent = new QBarSet(QStringLiteral("購入金額"));
    auto* running = new QLineSeries;
    running->setName(QStringLiteral("累計"));
    for (const stats::Line& line : tab.lines) {
        running->append(double(years.size()), line.runningTotal);
        years << line.name;
        *spent << line.spent;
    }
    auto* bars = new QBarSeries;
    bars->append(spent);
    chart->addSeries(bars);
    chart->addSeries(running);
    auto* axisYears = new QBarCategoryAxis;
    axisYears->append(years);
    chart->addAxis(axisYears, Qt::AlignBottom);
    bars->attachAxis(axisYears);
    running->attachAxis(axisYears);
    auto* yen = new QValueAxis;
    yen->setLabelFormat(QStringLiteral("¥%.0f"));
    chart->addAxis(yen, Qt::AlignLeft);
    bars->attachAxis(yen);
    running->attachAxis(yen);
    yen->setMin(0);
    yen->applyNiceNumbers();
    return chart;
}

} // namespace

frmStatistics::frmStatistics(QVector<stats::Tab> tabs, const QString& shown, QWidget* parent)
    : QDialog(parent), m_tabs(std::move(tabs))
{
    setObjectName(QStringLiteral("frmStatistics"));
    setWindowTitle(QStringLiteral("コレクションの統計（%1）").arg(shown));
    m_tabWidget = new QTabWidget(this);
    m_tabWidget->setObjectName(QStringLiteral("tabStatistics"));
    for (int i = 0; i < m_tabs.size(); ++i)
        m_tabWidget->addTab(page(i, m_tabs[i]), m_tabs[i].def.title);
    auto* saveChart = new QPushButton(QStringLiteral("図を保存..."), this);
    saveChart->setObjectName(QStringLiteral("cmdSaveChart"));
    auto* saveTable = new QPushButton(QStringLiteral("表をCSVで保存..."), this);
    saveTable->setObjectName(QStringLiteral("cmdSaveTable"));
    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    close->setObjectName(QStringLiteral("cmdClose"));
    for (QPushButton* b : {saveChart, saveTable, close})
        b->setAutoDefault(false);
    connect(saveChart, &QPushButton::clicked, this, &frmStatistics::askAndSaveChart);
    connect(saveTable, &QPushButton::clicked, this, &frmStatistics::askAndSaveTable);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(saveChart);
    buttons->addWidget(saveTable);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabWidget, 1);
    layout->addLayout(buttons);
    resize(1200, 820);
}

QVector<FieldDef> frmStatistics::tableFields(int i) const
{
    const stats::Tab& t = m_tabs.at(i);
    auto text = [](const QString& name) { return FieldDef{name, FieldType::Text, 255, true}; };
    auto number = [](const QString& name) { return FieldDef{name, FieldType::Integer, 0, true}; };
    switch (t.def.kind) {
    case Kind::SongNames:
        if (t.def.byGroup) // a name group's line names the spellings it counts
            return {text(t.def.field), number(QStringLiteral("CD数")),
                    number(QStringLiteral("曲数")), text(QStringLiteral("表記"))};
        return {text(t.def.field), number(QStringLiteral("CD数")), number(QStringLiteral("曲数"))};
    case Kind::Ratings:
        return {text(QStringLiteral("評価")), number(QStringLiteral("CD数")),
                number(QStringLiteral("曲数"))};
    case Kind::CDNames:
        return {text(t.def.field), number(QStringLiteral("CD数"))};
    case Kind::Purchases:
        // amounts may carry the old database's yen decimals: kept as text
        return {text(QStringLiteral("購入年")), number(QStringLiteral("CD数")),
                text(QStringLiteral("購入金額")), text(QStringLiteral("累計"))};
    case Kind::Storage:
        return {text(QStringLiteral("キャビネット")), text(QStringLiteral("段")),
                number(QStringLiteral("CD数"))};
    case Kind::Works:
        return {text(QStringLiteral("作品")), text(QStringLiteral("作曲者名")),
                number(QStringLiteral("録音数")), number(QStringLiteral("CD数")),
                number(QStringLiteral("曲数"))};
    }
    return {};
}

QVector<QVector<QVariant>> frmStatistics::tableRows(int i) const
{
    // in the order the table shows them
    QVector<QVector<QVariant>> rows;
    const QAbstractItemModel* model = m_tables.at(i)->model();
    const QVector<FieldDef> fields = tableFields(i);
    for (int r = 0; r < model->rowCount(); ++r) {
        QVector<QVariant> row;
        for (int c = 0; c < fields.size(); ++c) {
            const QModelIndex index = model->index(r, c);
            if (fields[c].type == FieldType::Integer)
                row << QVariant(qint64(index.data(Qt::UserRole).toDouble()));
            else if (m_tabs.at(i).def.kind == Kind::Purchases && c > 0) // amounts
                row << QString::number(index.data(Qt::UserRole).toDouble(), 'f',
                                       QLocale::FloatingPointShortest);
            else
                row << index.data(Qt::DisplayRole);
        }
        rows << row;
    }
    return rows;
}

QWidget* frmStatistics::page(int i, const stats::Tab& tab)
{
    const QVector<FieldDef> fields = tableFields(i);
    auto* model = new QStandardItemModel(0, int(fields.size()), this);
    QStringList headers;
    for (const FieldDef& f : fields)
        headers << f.name;
    model->setHorizontalHeaderLabels(headers);
    QStringList names, barNames;
    QVector<double> cds, songs, barCds, barSongs;
    for (const stats::Line& line : tab.lines) {
        QList<QStandardItem*> items;
        switch (tab.def.kind) {
        case Kind::SongNames:
            items << nameItem(line.name, false) << numberItem(line.cds, DisplayFormat::Grouped)
                  << numberItem(line.songs, DisplayFormat::Grouped);
            if (tab.def.byGroup)
                items << nameItem(line.spellings.join(QStringLiteral("、")), false);
            break;
        case Kind::CDNames:
            items << nameItem(line.name, false) << numberItem(line.cds, DisplayFormat::Grouped);
            break;
        case Kind::Ratings:
            items << nameItem(line.name, false) << numberItem(line.cds, DisplayFormat::Grouped)
                  << numberItem(line.songs, DisplayFormat::Grouped);
            break;
        case Kind::Purchases:
            items << nameItem(line.name, true) << numberItem(line.cds, DisplayFormat::Grouped)
                  << numberItem(line.spent, DisplayFormat::Yen)
                  << numberItem(line.runningTotal, DisplayFormat::Yen);
            break;
        case Kind::Storage:
            items << nameItem(line.name, false) << nameItem(line.shelf, false)
                  << numberItem(line.cds, DisplayFormat::Grouped);
            break;
        case Kind::Works:
            items << nameItem(line.name, false) << nameItem(line.composer, false)
                  << numberItem(line.recordings, DisplayFormat::Grouped)
                  << numberItem(line.cds, DisplayFormat::Grouped)
                  << numberItem(line.songs, DisplayFormat::Grouped);
            break;
        }
        model->appendRow(items);
        // two composers' works of one title apart in the charts
        names << (tab.def.kind == Kind::Storage ? placeOf(line)
                      : tab.def.kind == Kind::Works && !line.rest
                      ? line.name + QStringLiteral("（%1）").arg(line.composer)
                      : line.name);
        cds << double(line.cds);
        // a work's measure is its recordings
        songs << double(tab.def.kind == Kind::Works ? line.recordings : line.songs);
        if (!line.rest) { // その他 in the bars would dwarf every name beside it
            barNames << names.last();
            barCds << cds.last();
            barSongs << songs.last();
        }
    }
    auto* proxy = new StatisticsOrder(this);
    proxy->setSourceModel(model);
    auto* table = new QTableView;
    table->setObjectName(QStringLiteral("grdStatistics(%1)").arg(i));
    table->setModel(proxy);
    table->setSortingEnabled(true);
    table->sortByColumn(-1, Qt::AscendingOrder); // as counted until a header is clicked
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    table->verticalHeader()->hide();
    m_tables << table;

    auto* charts = new QWidget;
    charts->setObjectName(QStringLiteral("chtStatistics(%1)").arg(i));
    charts->setAutoFillBackground(true);
    charts->setPalette(QPalette(Qt::white));
    auto* chartLayout = new QVBoxLayout(charts);
    chartLayout->setContentsMargins(0, 0, 0, 0);
    const QString& title = tab.def.title;
    const QString largest = barNames.size() < names.size()
        ? QStringLiteral("（多い順に%1まで）").arg(stats::Largest)
        : QString();
    switch (tab.def.kind) {
    case Kind::SongNames:
        chartLayout->addWidget(chartView(
            barChart(title + QStringLiteral("ごとのCD数と曲数") + largest, barNames,
                     {{QStringLiteral("CD数"), barCds}, {QStringLiteral("曲数"), barSongs}}),
            QStringLiteral("bars")));
        // each song has one name: the songs make a whole
        chartLayout->addWidget(chartView(
            pieChart(title + QStringLiteral("ごとの曲数"), names, songs), QStringLiteral("pie")));
        break;
    case Kind::CDNames:
        chartLayout->addWidget(chartView(barChart(title + QStringLiteral("ごとのCD数") + largest,
                                                  barNames, {{QStringLiteral("CD数"), barCds}}),
                                         QStringLiteral("bars")));
        chartLayout->addWidget(chartView(pieChart(title + QStringLiteral("ごとのCD数"), names, cds),
                                         QStringLiteral("pie")));
        break;
    case Kind::Purchases:
        chartLayout->addWidget(chartView(purchaseChart(tab), QStringLiteral("bars")));
        chartLayout->addWidget(chartView(
            barChart(QStringLiteral("年ごとの購入CD数"), names, {{QStringLiteral("CD数"), cds}}),
            QStringLiteral("counts")));
        break;
    case Kind::Storage: {
        chartLayout->addWidget(chartView(barChart(QStringLiteral("キャビネット／段ごとのCD数"),
                                                  names, {{QStringLiteral("CD数"), cds}}),
                                         QStringLiteral("bars")));
        QStringList cabinets;
        QVector<double> perCabinet;
        for (const stats::Line& line : tab.lines) {
            if (cabinets.isEmpty() || cabinets.last() != line.name) {
                cabinets << line.name;
                perCabinet << 0;
            }
            perCabinet.last() += double(line.cds);
        }
        chartLayout->addWidget(
            chartView(pieChart(QStringLiteral("キャビネットごとのCD数"), cabinets, perCabinet),
                      QStringLiteral("pie")));
        break;
    }
    case Kind::Works:
        chartLayout->addWidget(chartView(
            barChart(QStringLiteral("作品ごとの録音数") + largest, barNames,
                     {{QStringLiteral("録音数"), barSongs}, {QStringLiteral("CD数"), barCds}}),
            QStringLiteral("bars")));
        chartLayout->addWidget(chartView(pieChart(QStringLiteral("作品ごとの録音数"), names, songs),
                                         QStringLiteral("pie")));
        break;
    case Kind::Ratings:
        chartLayout->addWidget(
            chartView(barChart(QStringLiteral("評価ごとのCD数と曲数"), names,
                               {{QStringLiteral("CD数"), cds}, {QStringLiteral("曲数"), songs}}),
                      QStringLiteral("bars")));
        chartLayout->addWidget(chartView(pieChart(QStringLiteral("評価ごとのCD数"), names, cds),
                                         QStringLiteral("pie")));
        break;
    }
    chartLayout->setStretch(0, 2); // the bars need the height of every name
    chartLayout->setStretch(1, 1);
    m_charts << charts;

    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->addWidget(charts);
    splitter->addWidget(table);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    splitter->setSizes({720, 460}); // room for the names beside the charts
    return splitter;
}

void frmStatistics::saveChart(int i, const QString& path) const
{
    QWidget* charts = m_charts.at(i);
    // drawn at a size of its own, whether or not the tab is on show
    const QSize size(1000, 1200);
    const QSize shown = charts->size();
    charts->resize(size);
    const bool pdf
        = QFileInfo(path).suffix().compare(QStringLiteral("pdf"), Qt::CaseInsensitive) == 0;
    // drawn in memory, then written whole by the one writer that says why it cannot
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    bool drawn = false;
    if (pdf) {
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setCreator(QStringLiteral("Rondella"));
        writer.setTitle(windowTitle() + QStringLiteral(" ") + m_tabs.at(i).def.title);
        QPainter p;
        if (p.begin(&writer)) {
            const double scale = std::min(p.viewport().width() / double(size.width()),
                                          p.viewport().height() / double(size.height()));
            p.scale(scale, scale);
            charts->render(&p, QPoint(), QRegion(), QWidget::DrawChildren);
            drawn = p.end();
        }
    } else {
        QImage image(size, QImage::Format_ARGB32);
        image.fill(Qt::white);
        {
            QPainter p(&image);
            charts->render(&p, QPoint(), QRegion(), QWidget::DrawChildren);
        }
        drawn = image.save(&buffer, "PNG");
    }
    charts->resize(shown);
    QString why = QStringLiteral("図を描けません");
    if (!drawn || !regularfile::write(path, bytes, &why))
        throw DbError(DbError::ProviderError,
                      QStringLiteral("ファイル「%1」に書き出せません。\r原因: %2").arg(path, why));
}

void frmStatistics::saveTable(int i, const QString& path) const
{
    csv::save(path, csv::write(tableFields(i), tableRows(i)));
}

void frmStatistics::askAndSaveChart()
{
    const int i = m_tabWidget->currentIndex();
    QString filter;
    QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("図を保存"), m_tabs.at(i).def.title + QStringLiteral(".png"),
        QStringLiteral("PNG 画像 (*.png);;PDF (*.pdf)"), &filter);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += filter.startsWith(QStringLiteral("PDF")) ? QStringLiteral(".pdf")
                                                         : QStringLiteral(".png");
    try {
        saveChart(i, path);
    } catch (const DbError& e) {
        MsgBox(e.description(), QMessageBox::Ok, QMessageBox::Warning);
    }
}

void frmStatistics::askAndSaveTable()
{
    const int i = m_tabWidget->currentIndex();
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("表をCSVで保存"),
                                                m_tabs.at(i).def.title + QStringLiteral(".csv"),
                                                QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".csv");
    try {
        saveTable(i, path);
    } catch (const DbError& e) {
        MsgBox(e.description(), QMessageBox::Ok, QMessageBox::Warning);
    }
}
