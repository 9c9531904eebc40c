#pragma once

#include "store/tables.h"
#include "store/view.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QLineEdit>
#include <QMap>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QTableView;

using ViewPtr = std::shared_ptr<View>;

// Display formats of bound controls.
enum class DisplayFormat { None, Grouped, Yen };
QString formatValue(const QVariant& v, DisplayFormat format);
// A column's format in a grid or box, as the table definition gives it.
DisplayFormat displayFormat(ColumnFormat format);
void setForeColor(QWidget* widget, const QColor& color);
// A grid of rows a window lists from a model of its own (not a view): whole
// rows chosen, nothing edited, long texts cut in their middle.
QTableView* listGrid(const QString& name, QAbstractItemModel* model, QWidget* parent);

// Shows a view's visible rows, its fields as columns.
class ViewModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ViewModel(QObject* parent = nullptr);

    void setView(const ViewPtr& view);
    const ViewPtr& view() const { return m_view; }
    void setColumnAlignment(int column, Qt::Alignment alignment);
    void setColumnFormat(int column, DisplayFormat format);
    void clearColumnLayout();
    // Rows the test picks are drawn bold on a pale ground, with a marker
    // before the first column's text; none when the test is empty.
    void setRowMarker(std::function<bool(int row)> marked);
    // Columns after the view's fields, kept elsewhere (the stars, the loans):
    // each one's text from the row's value of `keyField`, in the order added.
    // They stay across bindings.
    void addOuterColumn(const QString& caption, const QString& keyField,
                        std::function<QString(const QVariant& key)> text);
    // The section of the outer column of this caption; -1 for none.
    int outerColumn(const QString& caption) const;
    // Their texts may have changed.
    void outerColumnsChanged();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    ViewPtr m_view;
    QMetaObject::Connection m_connections[3];
    QMap<int, Qt::Alignment> m_alignment;
    QMap<int, DisplayFormat> m_format;
    std::function<bool(int row)> m_marked;
    struct Outer {
        QString caption, keyField;
        std::function<QString(const QVariant&)> text;
    };
    QVector<Outer> m_outer;
    const Outer* outerAt(int section) const;
};

// A grid with a caption bar above its rows. The selected row is the view's
// current row both ways: a click moves the view, a move of the view selects.
class DataGrid : public QWidget {
    Q_OBJECT
public:
    explicit DataGrid(const QString& name, QWidget* parent = nullptr);

    // Binding anew (or to nothing) drops the previous column layout.
    void setDataSource(const ViewPtr& view);
    const ViewPtr& dataSource() const { return m_model->view(); }
    QString caption() const;
    void setCaption(const QString& caption);
    void setRowMarker(std::function<bool(int row)> marked)
    {
        m_model->setRowMarker(std::move(marked));
    }
    void setBackColor(const QColor& color);

    void setColumnWidthTwips(int column, int twipsWidth);
    void setColumnVisible(int column, bool visible);
    void setColumnAlignment(int column, Qt::Alignment alignment);
    void setColumnFormat(int column, DisplayFormat format);
    bool isColumnVisible(int column) const;
    QString text(int row, int column) const; // what the grid shows in a cell
    // The rows chosen (Shift, Ctrl, Ctrl+A), in the grid's order.
    QVector<int> selectedRows() const;

    void addOuterColumn(const QString& caption, const QString& keyField,
                        std::function<QString(const QVariant& key)> text)
    {
        m_model->addOuterColumn(caption, keyField, std::move(text));
    }
    QTableView* table() const { return m_table; }
    ViewModel* model() const { return m_model; }

    // The column that takes the width the others leave (never less than its
    // designed width), unless the user has dragged it; -1 for none.
    void setFillColumn(int column);
    // Widths the user drags are kept under this name (a grid and what it
    // shows) across bindings and restarts, and put back by keepWidthsAs with
    // the same name; the header's 列幅を元に戻す drops them.
    void keepWidthsAs(const QString& name);
    void resetWidths();

Q_SIGNALS:
    // A click could not move the view; the text says why.
    void moveFailed(const QString& description);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyLayout();
    void fill();
    QString widthsKey() const;
    void followView();
    void rowClicked(const QModelIndex& index);

    QLabel* m_caption;
    QTableView* m_table;
    ViewModel* m_model;
    QMap<int, int> m_widths; // designed widths, in twips
    QMap<int, int> m_userWidths; // widths the user dragged, in pixels
    bool m_layingOut = false;
    int m_fillColumn = -1;
    QString m_widthsName;
    QMap<int, bool> m_visible;
    QMetaObject::Connection m_follow;
};

// A read-only text box showing one field of a view's current row. Change()
// fires whenever the shown text changes, and whenever the box is bound again.
class DataTextBox : public QLineEdit {
    Q_OBJECT
public:
    explicit DataTextBox(const QString& name, QWidget* parent = nullptr);

    void bind(const ViewPtr& view, const QString& field);
    const ViewPtr& dataSource() const { return m_view; }
    const QString& dataField() const { return m_field; }
    void setDisplayFormat(DisplayFormat format) { m_format = format; }
    void refresh(bool force = false);

Q_SIGNALS:
    void Change();

private:
    ViewPtr m_view;
    QString m_field;
    DisplayFormat m_format = DisplayFormat::None;
    QMetaObject::Connection m_connections[3];
    bool m_hasShown = false;
};

// An editable combo box offering one column of a value list; its text is free.
class DataCombo : public QComboBox {
    Q_OBJECT
public:
    explicit DataCombo(const QString& name, QWidget* parent = nullptr);

    // The list is read into the box when the box is first shown, so value
    // lists that are never looked at are never read.
    void setRowSource(const ViewPtr& list, const QString& listField);
    QString text() const { return currentText(); }
    void setText(const QString& text) { setEditText(text); }
    void showPopup() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void fill();
    ViewPtr m_list;
    QString m_listField;
    bool m_filled = true;
};
