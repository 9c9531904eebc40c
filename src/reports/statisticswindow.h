#pragma once

#include "store/statistics.h"

#include <QDialog>
#include <QVector>

class QTabWidget;
class QTableView;

// コレクションの統計: one tab per count, each a chart beside a table of the
// same numbers. The counts are those of what the main window showed when the
// window opened, which its title says.
class frmStatistics : public QDialog {
    Q_OBJECT
public:
    // `shown`: 「すべてのデータ」 or the search's criteria.
    frmStatistics(QVector<stats::Tab> tabs, const QString& shown, QWidget* parent = nullptr);

    int tabCount() const { return int(m_tabs.size()); }
    const stats::Tab& tab(int i) const { return m_tabs.at(i); }
    // The chart of tab `i` as a PNG picture or a PDF page, by the file's
    // ending; its table as CSV, in the order shown. Both throw DbError.
    void saveChart(int i, const QString& path) const;
    void saveTable(int i, const QString& path) const;
    // A table's header and rows as the CSV holds them.
    QVector<FieldDef> tableFields(int i) const;
    QVector<QVector<QVariant>> tableRows(int i) const;

private:
    QWidget* page(int i, const stats::Tab& tab);
    void askAndSaveChart();
    void askAndSaveTable();

    QVector<stats::Tab> m_tabs;
    QTabWidget* m_tabWidget;
    QVector<QWidget*> m_charts;
    QVector<QTableView*> m_tables;
};
