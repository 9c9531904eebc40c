#pragma once

#include "bandedreport.h"

#include <QDialog>

#include <functional>

class QLabel;
class QPrinter;
class QScrollArea;
class QSpinBox;

// The preview of a report on the shared printer's page. Pages are laid out
// at once (that is quick) but drawn only when shown, so the first page of a
// report of thousands of pages appears without a wait. It zooms, turns pages,
// prints where a printer exists and writes the pages shown to PDF.
class ReportPreview : public QDialog {
    Q_OBJECT
public:
    ReportPreview(const BandedReport& report, QPrinter* printer, QWidget* parent = nullptr);

    int pageCount() const { return int(m_pages.size()); }
    int currentPage() const { return m_page; }
    void showPage(int page);
    void setZoom(double zoom);
    // Writes every page, as shown, to a PDF file, telling `progress` of each
    // page; a stop (false) leaves no file. Throws DbError.
    void exportPdf(const QString& path,
                   const std::function<bool(int done, int total)>& progress = {});
    void printAll();

private:
    void render();
    const BandedReport& m_report;
    QPrinter* m_printer;
    QVector<BandedReport::Page> m_pages;
    int m_pageWidth = 0; // twips: the printable width the pages were laid out for
    int m_page = 0;
    double m_zoom = 1.0;
    QScrollArea* m_scroll;
    QLabel* m_sheet;
    QSpinBox* m_pageBox;
    QLabel* m_pageTotal;
};
