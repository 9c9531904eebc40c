#pragma once

#include "bandedreport.h"

#include <QDialog>

#include <functional>

class QLabel;
class QPrinter;
class QScrollArea;
class QSpinBox;

// The preview of a report on the shared printer's page. The first page is
// laid out and drawn at once; the rest are laid out while the preview is on
// show (every row's texts decide how tall its band is), and a page is drawn
// only when shown, so a report of thousands of pages appears without a wait.
// It zooms, turns pages, prints where a printer exists and writes the pages
// shown to PDF.
class ReportPreview : public QDialog {
    Q_OBJECT
public:
    ReportPreview(const BandedReport& report, QPrinter* printer, QWidget* parent = nullptr);

    // Every page: lays out the rest first.
    int pageCount();
    // Whether every page is laid out yet.
    bool allLaidOut() const { return m_pagination->finished(); }
    int wholePagesLaidOut() const { return m_pagination->wholePages(); }
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
    void layOutMore();
    void showCount();
    const BandedReport& m_report;
    QPrinter* m_printer;
    std::unique_ptr<BandedReport::Pagination> m_pagination;
    int m_pageWidth = 0; // twips: the printable width the pages were laid out for
    int m_page = 0;
    double m_zoom = 1.0;
    QScrollArea* m_scroll;
    QLabel* m_sheet;
    QSpinBox* m_pageBox;
    QLabel* m_pageTotal;
};
