#include "reportpreview.h"

#include "store/dberror.h"
#include "widgets/msgbox.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <limits>

namespace {
constexpr int Stopped = 3059; // the user stopped the work

QPushButton* tool(QWidget* parent, const char* name, const QString& caption)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}
} // namespace

ReportPreview::ReportPreview(const BandedReport& report, QPrinter* printer, QWidget* parent)
    : QDialog(parent), m_report(report), m_printer(printer)
{
    setObjectName(report.name());
    auto* bar = new QHBoxLayout;
    QPushButton* first = tool(this, "cmdFirst", QStringLiteral("≪"));
    QPushButton* previous = tool(this, "cmdPrevious", QStringLiteral("＜"));
    m_pageBox = new QSpinBox(this);
    m_pageBox->setObjectName(QStringLiteral("page"));
    m_pageTotal = new QLabel(this);
    m_pageTotal->setObjectName(QStringLiteral("lblPageTotal"));
    QPushButton* next = tool(this, "cmdNext", QStringLiteral("＞"));
    QPushButton* last = tool(this, "cmdLast", QStringLiteral("≫"));
    QPushButton* zoomIn = tool(this, "cmdZoomIn", QStringLiteral("拡大"));
    QPushButton* zoomOut = tool(this, "cmdZoomOut", QStringLiteral("縮小"));
    QPushButton* print = tool(this, "cmdPrint", QStringLiteral("印刷..."));
    QPushButton* pdf = tool(this, "cmdPdf", QStringLiteral("PDFに書き出す..."));
    QPushButton* close = tool(this, "cmdClose", QStringLiteral("閉じる"));
    for (QWidget* w : {static_cast<QWidget*>(first), static_cast<QWidget*>(previous),
                       static_cast<QWidget*>(m_pageBox), static_cast<QWidget*>(m_pageTotal),
                       static_cast<QWidget*>(next), static_cast<QWidget*>(last),
                       static_cast<QWidget*>(zoomIn), static_cast<QWidget*>(zoomOut)})
        bar->addWidget(w);
    bar->addStretch();
    // The printer choice only where a printer exists; PDF always.
    print->setVisible(!QPrinterInfo::availablePrinters().isEmpty());
    for (QWidget* w : {print, pdf, close})
        bar->addWidget(w);
    m_sheet = new QLabel;
    m_sheet->setObjectName(QStringLiteral("sheet"));
    m_scroll = new QScrollArea(this);
    m_scroll->setWidget(m_sheet);
    m_scroll->setAlignment(Qt::AlignHCenter);
    m_scroll->setBackgroundRole(QPalette::Dark);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_scroll, 1);

    const double perTwip = m_printer->resolution() / 1440.0;
    const QRect paint = m_printer->pageLayout().paintRectPixels(m_printer->resolution());
    m_pageWidth = int(paint.width() / perTwip);
    m_pagination = std::make_unique<BandedReport::Pagination>(
        m_report, int(paint.height() / perTwip), m_pageWidth);
    m_pagination->layOutTo(0);
    showCount();
    connect(first, &QPushButton::clicked, this, [this] { showPage(0); });
    connect(previous, &QPushButton::clicked, this, [this] { showPage(m_page - 1); });
    connect(next, &QPushButton::clicked, this, [this] { showPage(m_page + 1); });
    connect(last, &QPushButton::clicked, this, [this] { showPage(pageCount() - 1); });
    connect(m_pageBox, &QSpinBox::valueChanged, this, [this](int n) { showPage(n - 1); });
    connect(zoomIn, &QPushButton::clicked, this, [this] { setZoom(m_zoom * 1.25); });
    connect(zoomOut, &QPushButton::clicked, this, [this] { setZoom(m_zoom / 1.25); });
    connect(print, &QPushButton::clicked, this, &ReportPreview::printAll);
    connect(pdf, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("PDFに書き出す"),
                                                          QString(), QStringLiteral("PDF (*.pdf)"));
        if (path.isEmpty())
            return;
        QProgressDialog progress(QStringLiteral("PDFに書き出しています..."),
                                 QStringLiteral("キャンセル"), 0, pageCount(), this);
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(400);
        try {
            exportPdf(path, [&progress](int done, int) {
                progress.setValue(done);
                QCoreApplication::processEvents();
                return !progress.wasCanceled();
            });
        } catch (const DbError& e) {
            if (!e.description().isEmpty())
                MsgBox(e.description());
        }
    });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    render();
    QTimer::singleShot(0, this, &ReportPreview::layOutMore);
}

// A slice of the layout at a time, between the user's clicks: 500 rows (CDs
// with their songs, or songs) take some tens of milliseconds.
void ReportPreview::layOutMore()
{
    const bool more = m_pagination->layOutRows(500);
    showCount();
    if (more)
        QTimer::singleShot(0, this, &ReportPreview::layOutMore);
}

void ReportPreview::showCount()
{
    const int whole = std::max(1, m_pagination->wholePages());
    const QSignalBlocker blocker(m_pageBox);
    m_pageBox->setRange(1, m_pagination->finished() ? int(m_pagination->pages().size()) : whole);
    m_pageTotal->setText(m_pagination->finished()
                             ? QStringLiteral("/ %1 ページ").arg(m_pagination->pages().size())
                             : QStringLiteral("/ %1 ページ以上（数えています）").arg(whole));
}

int ReportPreview::pageCount()
{
    if (!m_pagination->finished()) {
        m_pagination->layOutTo(std::numeric_limits<int>::max());
        showCount();
    }
    return int(m_pagination->pages().size());
}

void ReportPreview::showPage(int page)
{
    m_pagination->layOutTo(std::max(page, 0));
    showCount();
    page = std::clamp(page, 0, std::max(1, m_pagination->wholePages()) - 1);
    if (page == m_page && !m_sheet->pixmap().isNull())
        return;
    m_page = page;
    render();
}

void ReportPreview::setZoom(double zoom)
{
    m_zoom = std::clamp(zoom, 0.25, 4.0);
    render();
}

// Only the page on show is drawn, at the screen's resolution and the zoom.
void ReportPreview::render()
{
    const QPageLayout page = m_printer->pageLayout();
    const double dpi = logicalDpiY() * m_zoom;
    const QRect full = page.fullRectPixels(int(dpi));
    const QRect paint = page.paintRectPixels(int(dpi));
    QImage sheet(full.size(), QImage::Format_RGB32);
    sheet.fill(Qt::white);
    sheet.setDotsPerMeterX(int(dpi / 0.0254));
    sheet.setDotsPerMeterY(int(dpi / 0.0254));
    {
        QPainter p(&sheet);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.translate(paint.topLeft());
        m_report.drawPage(p, m_pagination->pages(), m_page, dpi / 1440.0, m_pageWidth);
    }
    m_sheet->setPixmap(QPixmap::fromImage(sheet));
    m_sheet->resize(sheet.size());
    const QSignalBlocker blocker(m_pageBox);
    m_pageBox->setValue(m_page + 1);
}

void ReportPreview::exportPdf(const QString& path, const std::function<bool(int, int)>& progress)
{
    // Written beside the target and renamed when whole: a stopped or failed
    // export leaves neither a half file nor a damaged older one.
    const QString part = path + QStringLiteral(".part");
    bool whole = true;
    {
        QPdfWriter pdf(part);
        pdf.setPageLayout(m_printer->pageLayout());
        pdf.setResolution(m_printer->resolution());
        pdf.setCreator(QStringLiteral("Rondella"));
        pdf.setTitle(windowTitle());
        QPainter p;
        if (!p.begin(&pdf))
            throw DbError(DbError::ProviderError,
                          QStringLiteral("ファイル「%1」に書き出せません。").arg(path));
        const double perTwip = pdf.resolution() / 1440.0;
        for (int n = 0; n < pageCount() && whole; ++n) {
            if (n > 0)
                pdf.newPage();
            m_report.drawPage(p, m_pagination->pages(), n, perTwip, m_pageWidth);
            whole = !progress || progress(n + 1, pageCount());
        }
    }
    if (!whole) {
        QFile::remove(part);
        throw DbError(Stopped, QString()); // stopped by the user: nothing more to say
    }
    QFile::remove(path);
    if (!QFile::rename(part, path)) {
        QFile::remove(part);
        throw DbError(DbError::ProviderError,
                      QStringLiteral("ファイル「%1」に書き出せません。").arg(path));
    }
}

void ReportPreview::printAll()
{
    QPrintDialog dialog(m_printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_report.print(m_printer);
}
