#include "databound.h"

#include "store/fieldtext.h"

#include <QScopedValueRollback>

#include <algorithm>
#include <cmath>

#include "settings.h"
#include "store/dberror.h"
#include "twips.h"

#include <QAction>
#include <QDate>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QTableView>
#include <QVBoxLayout>

QString formatValue(const QVariant& v, DisplayFormat format)
{
    if (format == DisplayFormat::None || v.isNull() || !v.isValid()
        || v.typeId() == QMetaType::QDate)
        return plainText(v);
    if (v.typeId() == QMetaType::Double && std::fmod(v.toDouble(), 1.0) != 0.0) {
        // a price with yen decimals, from the old database: shown with them
        const QString grouped
            = QLocale(QLocale::English).toString(v.toDouble(), 'f', QLocale::FloatingPointShortest);
        return format == DisplayFormat::Yen ? QStringLiteral("\u00A5") + grouped : grouped;
    }
    bool ok = false;
    const qlonglong amount = v.toLongLong(&ok);
    if (!ok)
        return v.toString();
    // Digits grouped by thousands whatever the machine's locale.
    const QString grouped = QLocale(QLocale::English).toString(amount);
    return format == DisplayFormat::Yen ? QStringLiteral("\u00A5") + grouped : grouped;
}

DisplayFormat displayFormat(ColumnFormat format)
{
    switch (format) {
    case ColumnFormat::Grouped:
        return DisplayFormat::Grouped;
    case ColumnFormat::Yen:
        return DisplayFormat::Yen;
    case ColumnFormat::Plain:
        break;
    }
    return DisplayFormat::None;
}

void setForeColor(QWidget* widget, const QColor& color)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, color);
    widget->setPalette(p);
}

// ---- ViewModel

ViewModel::ViewModel(QObject* parent) : QAbstractTableModel(parent) { }

void ViewModel::setView(const ViewPtr& view)
{
    beginResetModel();
    for (auto& c : m_connections)
        disconnect(c);
    m_view = view;
    if (m_view) {
        m_connections[0]
            = connect(m_view.get(), &View::aboutToReset, this, [this] { beginResetModel(); });
        m_connections[1]
            = connect(m_view.get(), &View::didReset, this, [this] { endResetModel(); });
        m_connections[2] = connect(m_view.get(), &View::rowChanged, this, [this](int row) {
            if (row >= 0 && row < rowCount())
                Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1));
        });
    }
    endResetModel();
}

void ViewModel::setColumnAlignment(int column, Qt::Alignment alignment)
{
    m_alignment[column] = alignment;
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, column), index(rowCount() - 1, column));
}

void ViewModel::setColumnFormat(int column, DisplayFormat format)
{
    m_format[column] = format;
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, column), index(rowCount() - 1, column));
}

void ViewModel::clearColumnLayout()
{
    m_alignment.clear();
    m_format.clear();
}

int ViewModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !m_view || !m_view->isOpen())
        return 0;
    return m_view->recordCount();
}

int ViewModel::columnCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !m_view)
        return 0;
    return m_view->fieldCount() + int(m_outer.size());
}

QVariant ViewModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !m_view)
        return QVariant();
    if (const Outer* outer = outerAt(index.column())) {
        const int key = m_view->fieldIndex(outer->keyField);
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
            return outer->text(key >= 0 ? m_view->valueIfRead(index.row(), key) : QVariant());
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    }
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return formatValue(m_view->valueIfRead(index.row(), index.column()),
                           m_format.value(index.column(), DisplayFormat::None));
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(m_alignment.value(index.column(), Qt::AlignLeft)
                                   | Qt::AlignVCenter);
    if (m_marked && (role == Qt::FontRole || role == Qt::BackgroundRole) && m_marked(index.row())) {
        if (role == Qt::BackgroundRole)
            return QColor(255, 240, 170);
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    return QVariant();
}

void ViewModel::addOuterColumn(const QString& caption, const QString& keyField,
                               std::function<QString(const QVariant& key)> text)
{
    beginResetModel();
    m_outer.append(Outer{caption, keyField, std::move(text)});
    endResetModel();
}

const ViewModel::Outer* ViewModel::outerAt(int section) const
{
    const int i = m_view ? section - m_view->fieldCount() : -1;
    return i >= 0 && i < m_outer.size() ? &m_outer[i] : nullptr;
}

int ViewModel::outerColumn(const QString& caption) const
{
    for (int i = 0; i < m_outer.size(); ++i)
        if (m_outer[i].caption == caption)
            return m_view ? m_view->fieldCount() + i : -1;
    return -1;
}

void ViewModel::outerColumnsChanged()
{
    if (m_view && !m_outer.isEmpty() && rowCount() > 0)
        Q_EMIT dataChanged(index(0, m_view->fieldCount()),
                           index(rowCount() - 1, columnCount() - 1));
}

void ViewModel::setRowMarker(std::function<bool(int row)> marked)
{
    m_marked = std::move(marked);
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    Q_EMIT headerDataChanged(Qt::Vertical, 0, std::max(0, rowCount() - 1));
}

QVariant ViewModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    // a marked row says so in its header too: the mark does not rest on colour alone
    if (orientation == Qt::Vertical && role == Qt::DisplayRole && m_marked && m_view)
        return m_marked(section) ? QStringLiteral("●") : QString();
    if (role != Qt::DisplayRole || !m_view)
        return QVariant();
    if (orientation == Qt::Horizontal)
        return section < m_view->fieldCount() ? m_view->field(section).name
            : outerAt(section)                ? outerAt(section)->caption
                                              : QString();
    return QVariant();
}

// ---- DataGrid

DataGrid::DataGrid(const QString& name, QWidget* parent)
    : QWidget(parent), m_caption(new QLabel(this)), m_table(new QTableView(this)),
      m_model(new ViewModel(this))
{
    setObjectName(name);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_caption->setObjectName(name + QStringLiteral("_Caption"));
    m_caption->setAlignment(Qt::AlignCenter);
    m_caption->setAutoFillBackground(true);
    m_caption->setFrameShape(QFrame::Panel);
    m_caption->setFrameShadow(QFrame::Raised);
    layout->addWidget(m_caption);
    layout->addWidget(m_table, 1);
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Shift, Ctrl and Ctrl+A choose several rows for a change of many at once;
    // the current row is still the view's.
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A long title is cut in its middle: the movement at its end stays in
    // view, and the tooltip gives the whole text.
    m_table->setTextElideMode(Qt::ElideMiddle);
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 4);
    m_table->verticalHeader()->setFixedWidth(twips(240));
    m_table->horizontalHeader()->setHighlightSections(false);
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { m_layingOut = true; });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        applyLayout();
        m_layingOut = false;
        followView();
    });
    // A width the user drags stays as dragged when other rows come in, until
    // the grid is bound anew.
    connect(m_table->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int newSize) {
                if (m_layingOut || newSize <= 0)
                    return;
                m_userWidths[column] = newSize;
                if (!m_widthsName.isEmpty())
                    userSettings()->setValue(widthsKey() + QString::number(column), newSize);
                fill();
            });
    m_table->viewport()->installEventFilter(this);
    auto* resetWidths = new QAction(QStringLiteral("列幅を元に戻す"), m_table->horizontalHeader());
    resetWidths->setObjectName(QStringLiteral("mnuColumnWidthReset"));
    connect(resetWidths, &QAction::triggered, this, &DataGrid::resetWidths);
    m_table->horizontalHeader()->addAction(resetWidths);
    m_table->horizontalHeader()->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(m_table, &QTableView::pressed, this, &DataGrid::rowClicked);
    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { rowClicked(current); });
}

void DataGrid::setDataSource(const ViewPtr& view)
{
    disconnect(m_follow);
    const QScopedValueRollback<bool> layingOut(m_layingOut, true);
    m_widths.clear();
    m_userWidths.clear();
    m_visible.clear();
    m_model->clearColumnLayout();
    m_model->setView(view);
    if (view)
        m_follow = connect(view.get(), &View::currentChanged, this, &DataGrid::followView);
    m_table->horizontalHeader()->reset();
    for (int c = 0; c < m_model->columnCount(); ++c) {
        m_table->setColumnHidden(c, false);
        m_table->setColumnWidth(c, m_table->horizontalHeader()->defaultSectionSize());
    }
    followView();
}

QString DataGrid::caption() const
{
    return m_caption->text();
}

void DataGrid::setCaption(const QString& caption)
{
    m_caption->setText(caption);
}

void DataGrid::setBackColor(const QColor& color)
{
    QPalette p = m_table->palette();
    p.setColor(QPalette::Base, color);
    p.setColor(QPalette::AlternateBase, color);
    m_table->setPalette(p);
}

void DataGrid::setColumnWidthTwips(int column, int twipsWidth)
{
    const QScopedValueRollback<bool> layingOut(m_layingOut, true);
    m_widths[column] = twipsWidth;
    m_userWidths.remove(column);
    m_table->setColumnWidth(column, twips(twipsWidth));
    if (column != m_fillColumn)
        fill();
}

void DataGrid::setColumnVisible(int column, bool visible)
{
    const QScopedValueRollback<bool> layingOut(m_layingOut, true);
    m_visible[column] = visible;
    m_table->setColumnHidden(column, !visible);
}

void DataGrid::setColumnAlignment(int column, Qt::Alignment alignment)
{
    m_model->setColumnAlignment(column, alignment);
}

void DataGrid::setColumnFormat(int column, DisplayFormat format)
{
    m_model->setColumnFormat(column, format);
}

bool DataGrid::isColumnVisible(int column) const
{
    return !m_table->isColumnHidden(column);
}

QString DataGrid::text(int row, int column) const
{
    return m_model->data(m_model->index(row, column)).toString();
}

void DataGrid::applyLayout()
{
    // A reset of the rows (another CD's songs, a filter) keeps the layout.
    const QScopedValueRollback<bool> layingOut(m_layingOut, true);
    for (auto it = m_widths.cbegin(); it != m_widths.cend(); ++it)
        m_table->setColumnWidth(it.key(), twips(it.value()));
    for (auto it = m_userWidths.cbegin(); it != m_userWidths.cend(); ++it)
        m_table->setColumnWidth(it.key(), it.value());
    for (auto it = m_visible.cbegin(); it != m_visible.cend(); ++it)
        m_table->setColumnHidden(it.key(), !it.value());
    fill();
}

void DataGrid::setFillColumn(int column)
{
    m_fillColumn = column;
    fill();
}

// The fill column takes what the other visible columns leave of the grid's
// width, and never less than its designed width.
void DataGrid::fill()
{
    if (m_fillColumn < 0 || m_fillColumn >= m_model->columnCount()
        || m_userWidths.contains(m_fillColumn) || m_table->isColumnHidden(m_fillColumn))
        return;
    int others = 0;
    for (int c = 0; c < m_model->columnCount(); ++c)
        if (c != m_fillColumn && !m_table->isColumnHidden(c))
            others += m_table->columnWidth(c);
    const int designed = m_widths.contains(m_fillColumn) ? twips(m_widths.value(m_fillColumn))
                                                         : m_table->columnWidth(m_fillColumn);
    const QScopedValueRollback<bool> layingOut(m_layingOut, true);
    m_table->setColumnWidth(m_fillColumn,
                            std::max(designed, m_table->viewport()->width() - others));
}

QString DataGrid::widthsKey() const
{
    return QStringLiteral("widths/%1/%2/").arg(objectName(), m_widthsName);
}

void DataGrid::keepWidthsAs(const QString& name)
{
    m_widthsName = name;
    const auto settings = userSettings();
    for (int c = 0; c < m_model->columnCount(); ++c) {
        const int width = settings->value(widthsKey() + QString::number(c)).toInt();
        if (width > 0)
            m_userWidths[c] = width;
    }
    applyLayout();
}

void DataGrid::resetWidths()
{
    if (!m_widthsName.isEmpty()) {
        const auto settings = userSettings();
        for (int c = 0; c < m_model->columnCount(); ++c)
            settings->remove(widthsKey() + QString::number(c));
    }
    m_userWidths.clear();
    applyLayout();
}

bool DataGrid::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_table->viewport() && event->type() == QEvent::Resize)
        fill();
    return QWidget::eventFilter(watched, event);
}

QVector<int> DataGrid::selectedRows() const
{
    QVector<int> rows;
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void DataGrid::followView()
{
    const ViewPtr& view = m_model->view();
    const int row = view ? view->position() : -1;
    QItemSelectionModel* selection = m_table->selectionModel();
    const QSignalBlocker blocker(selection);
    if (row < 0) {
        selection->clear();
    } else if (selection->currentIndex().row() == row) {
        // the move came from this grid (a click, Shift or Ctrl with it): the
        // rows chosen here stay as the click leaves them
    } else {
        const QModelIndex index = m_model->index(row, 0);
        selection->setCurrentIndex(index,
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_table->scrollTo(index);
    }
    m_table->viewport()->update();
}

void DataGrid::rowClicked(const QModelIndex& index)
{
    const ViewPtr& view = m_model->view();
    if (!index.isValid() || !view || index.row() == view->position())
        return;
    try {
        view->moveTo(index.row());
    } catch (const DbError& e) {
        followView();
        Q_EMIT moveFailed(e.description());
    }
}

// ---- DataTextBox

DataTextBox::DataTextBox(const QString& name, QWidget* parent) : QLineEdit(parent)
{
    setObjectName(name);
}

void DataTextBox::bind(const ViewPtr& view, const QString& field)
{
    for (auto& c : m_connections)
        disconnect(c);
    m_view = view;
    m_field = field;
    if (m_view) {
        auto update = [this] { refresh(); };
        m_connections[0] = connect(m_view.get(), &View::currentChanged, this, update);
        m_connections[1] = connect(m_view.get(), &View::didReset, this, update);
        m_connections[2] = connect(m_view.get(), &View::rowChanged, this, update);
    }
    refresh(true);
}

void DataTextBox::refresh(bool force)
{
    if (m_view && !m_view->isOpen()) {
        // The data context is closing: the box is blank until it is bound again,
        // and there is no current row whose change anyone should hear of.
        clear();
        return;
    }
    QString shown;
    if (m_view && m_view->hasCurrent()) {
        const int column = m_view->fieldIndex(m_field);
        if (column >= 0)
            shown = formatValue(m_view->value(column), m_format);
    }
    if (!force && m_hasShown && shown == text())
        return;
    m_hasShown = true;
    setText(shown);
    setCursorPosition(0);
    Q_EMIT Change();
}

// ---- DataCombo

DataCombo::DataCombo(const QString& name, QWidget* parent) : QComboBox(parent)
{
    setObjectName(name);
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(20);
}

void DataCombo::setRowSource(const ViewPtr& list, const QString& listField)
{
    if (list && list->isOpen() && list->fieldIndex(listField) < 0)
        throw DbError(DbError::BadArguments,
                      QStringLiteral("項目「%1」は一覧にありません。").arg(listField));
    m_list = list;
    m_listField = listField;
    m_filled = false;
    if (isVisible())
        fill();
}

void DataCombo::showEvent(QShowEvent* event)
{
    fill();
    QComboBox::showEvent(event);
}

void DataCombo::showPopup()
{
    fill();
    QComboBox::showPopup();
}

void DataCombo::fill()
{
    if (m_filled)
        return;
    m_filled = true;
    QStringList items;
    if (m_list && m_list->isOpen()) {
        const int column = m_list->fieldIndex(m_listField);
        const int n = m_list->recordCount();
        items.reserve(n);
        for (int r = 0; r < n; ++r)
            items.append(m_list->valueAt(r, column).toString());
    }
    const QString kept = currentText();
    const QSignalBlocker blocker(this);
    clear();
    addItems(items);
    setEditText(kept); // the typed text is free and survives a new list
}

QTableView* listGrid(const QString& name, QAbstractItemModel* model, QWidget* parent)
{
    auto* view = new QTableView(parent);
    view->setObjectName(name);
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setTextElideMode(Qt::ElideMiddle);
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->horizontalHeader()->setStretchLastSection(true);
    return view;
}
