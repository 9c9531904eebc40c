#pragma once

#include "store/view.h"
#include "widgets/databound.h"

#include <QColor>
#include <QString>
#include <QVector>

#include <memory>

class QPainter;
class QPagedPaintDevice;

// A banded page layout: report header, page header, group header, detail,
// group footer, page footer and report footer, positioned in twips. One
// renderer draws it on the preview, the printer and PDF alike.
struct ReportItem {
    enum Kind { Label, Box, Rule, Count }; // Count: the number of rows printed
    Kind kind = Label;
    QString name;
    int left = 0, top = 0, width = 0, height = 240;
    QString text; // a label's caption; "%D" the date, "%p" the page number
    QString field; // a box's field, assigned at run time
    QString member; // a box of child rows: the child view's name
    DisplayFormat format = DisplayFormat::None; // a box's values, as the window shows them
    bool wide = false; // a column of long texts: takes its share of a wider page
    Qt::Alignment align = Qt::AlignLeft;
    double pointSize = 9;
    bool bold = false;
    QColor color = Qt::black;
};

struct ReportBand {
    enum Kind {
        ReportHeader,
        PageHeader,
        GroupHeader,
        Detail,
        GroupFooter,
        PageFooter,
        ReportFooter
    };
    Kind kind = Detail;
    QString name;
    int height = 0;
    QVector<ReportItem> items;
};

class BandedReport {
public:
    BandedReport(QString name, QVector<ReportBand> bands);

    const QString& name() const { return m_name; }
    // Bands and their controls are found by name without regard to letter
    // case; a name not there raises DbError.
    ReportBand& band(const QString& name);
    ReportItem& control(const QString& bandName, const QString& name);
    const ReportBand& bandAt(int index) const { return m_bands.at(index); }

    void setDataSource(const std::shared_ptr<View>& view) { m_source = view; }
    const std::shared_ptr<View>& dataSource() const { return m_source; }

    // Where each band stands on which page, for a page of the given
    // printable height and width. On a page wider than the layout's design,
    // the wide columns of the detail band share the extra width in
    // proportion to their designed widths; the other columns keep theirs.
    struct Placed {
        int band;
        int top; // twips from the top of the page's printable area
        int row = -1; // the data source's row
        int childRow = -1;
        int height = 0; // the band's height here: grown for texts of more than one line
    };
    using Page = QVector<Placed>;
    QVector<Page> layout(int pageHeightTwips, int pageWidthTwips = 0) const;

    // The same layout made as far as it is asked: a preview shows its first
    // page at once and lays out the rest while it is on show.
    struct Context;
    class Pagination {
    public:
        Pagination(const BandedReport& report, int pageHeightTwips, int pageWidthTwips);
        ~Pagination();
        Pagination(const Pagination&) = delete;
        Pagination& operator=(const Pagination&) = delete;

        // Lays out until page `page` (from 0) is whole, or the report ends.
        void layOutTo(int page);
        // Lays out that many more rows of the data source (each with its
        // child rows); returns whether more is left.
        bool layOutRows(int rows);
        bool finished() const { return m_finished; }
        // The pages laid out; the last is still being filled until finished.
        const QVector<Page>& pages() const { return m_pages; }
        int wholePages() const;

    private:
        int heightOf(int band, int row, int childRow, const Row* child) const;
        void place(int band, int row, int childRow, const Row* child);
        void finishPage();
        void step();

        const BandedReport& m_report;
        std::unique_ptr<Context> m_context;
        int m_pageHeader, m_pageFooter, m_groupHeader, m_detail, m_groupFooter;
        int m_headerHeight = 0, m_footerHeight = 0, m_bodyLimit = 0;
        int m_rows;
        int m_row = 0;
        int m_y = 0;
        bool m_finished = false;
        QVector<Page> m_pages;
    };

    // Draws every page on the device (a printer, a PDF writer).
    void print(QPagedPaintDevice* device) const;
    // Draws one page of a layout made for the same page width, `perTwip`
    // device pixels to the twip.
    void drawPage(QPainter& painter, const QVector<Page>& pages, int page, double perTwip,
                  int pageWidthTwips = 0) const;
    int rowCount() const;
    // The right edge of the widest control: the page width the layout was designed for.
    int designedWidth() const;

    // Where an item lies on a page of the given width, before texts grow it.
    struct Span {
        int left, width;
    };
    Span spanOn(const ReportItem& item, int pageWidthTwips) const;

    // Texts longer than their box wrap between characters (or at spaces)
    // onto at most this many lines; a longer text ends its last line with 「…」.
    static constexpr int MaxLines = 4;

private:
    struct Stretch;
    struct Shaped;
    int bandOf(ReportBand::Kind kind) const;
    Stretch stretchFor(int pageWidthTwips) const;
    Context contextFor(int pageWidthTwips) const;
    QVector<Shaped> shape(const Placed& at, const Row* child, int page, const Context& context,
                          int* height) const;
    QString itemText(const ReportItem& item, int column, const Placed& at, const Row* child,
                     int page) const;
    QVector<ReportBand> m_bands;
    QString m_name;
    std::shared_ptr<View> m_source;
};

// The three layouts of the program, made on first use and reused.
BandedReport& DataReport1();
BandedReport& DataReport2();
BandedReport& DataReport3();
