#include "bandedreport.h"
#include "textlines.h"

#include "store/dberror.h"
#include "widgets/databound.h"
#include "widgets/twips.h"

#include <QDate>
#include <QHash>
#include <QLocale>
#include <QPagedPaintDevice>
#include <QPainter>

#include <algorithm>
#include <limits>
#include <map>
#include <numeric>

namespace {

struct ReportFont {
    QFont font;
    CharacterWidths widths;
};

// Fonts are made once per size and weight: a report of thousands of pages
// draws tens of thousands of texts.
const ReportFont& reportFont(double pointSize, bool bold)
{
    static std::map<std::pair<double, bool>, ReportFont> fonts;
    auto it = fonts.find({pointSize, bold});
    if (it == fonts.end()) {
        QFont f(QStringList{QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"),
                            QStringLiteral("Noto Sans CJK JP")});
        f.setPointSizeF(pointSize);
        f.setBold(bold);
        it = fonts.emplace(std::make_pair(pointSize, bold), ReportFont{f, CharacterWidths(f)})
                 .first;
    }
    return it->second;
}

} // namespace

// Designed x positions mapped onto a wider page: each wide column of the
// detail band grows by its share of the extra width, and everything to its
// right moves along.
struct BandedReport::Stretch {
    struct Grow {
        int left, width;
        double extra;
    };
    QVector<Grow> grows;

    double map(int x) const
    {
        double out = x;
        for (const Grow& g : grows)
            out += g.extra * std::clamp(double(x - g.left) / g.width, 0.0, 1.0);
        return out;
    }
};

// An item as drawn for one row: its box in twips from the band's top, and
// its text's lines.
// What a layout or a page's drawing works out once, not for every row.
struct BandedReport::Context {
    Stretch stretch;
    QVector<QVector<int>> columns; // per band, per item: the column its field is read from, or -1
};

struct BandedReport::Shaped {
    QRectF rect;
    QStringList lines;
    double lineSpacing = 0;
};

BandedReport::BandedReport(QString name, QVector<ReportBand> bands)
    : m_bands(std::move(bands)), m_name(std::move(name))
{
}

ReportBand& BandedReport::band(const QString& name)
{
    for (ReportBand& b : m_bands)
        if (b.name.compare(name, Qt::CaseInsensitive) == 0)
            return b;
    throw DbError(DbError::BadArguments,
                  QStringLiteral("レポート %1 にセクション「%2」がありません。").arg(m_name, name));
}

ReportItem& BandedReport::control(const QString& bandName, const QString& name)
{
    ReportBand& b = band(bandName);
    for (ReportItem& item : b.items)
        if (item.name.compare(name, Qt::CaseInsensitive) == 0)
            return item;
    throw DbError(
        DbError::BadArguments,
        QStringLiteral("セクション「%1」にコントロール「%2」がありません。").arg(bandName, name));
}

int BandedReport::rowCount() const
{
    return m_source && m_source->isOpen() ? m_source->recordCount() : 0;
}

int BandedReport::designedWidth() const
{
    int right = 0;
    for (const ReportBand& b : m_bands)
        for (const ReportItem& item : b.items)
            right = std::max(right, item.left + item.width);
    return right;
}

BandedReport::Stretch BandedReport::stretchFor(int pageWidth) const
{
    Stretch stretch;
    const int extra = pageWidth - designedWidth();
    if (extra <= 0)
        return stretch;
    int wideWidth = 0;
    for (const ReportBand& b : m_bands)
        if (b.kind == ReportBand::Detail)
            for (const ReportItem& item : b.items)
                if (item.wide && item.width > 0) {
                    stretch.grows.push_back({item.left, item.width, 0});
                    wideWidth += item.width;
                }
    for (Stretch::Grow& g : stretch.grows)
        g.extra = double(extra) * g.width / wideWidth;
    return stretch;
}

BandedReport::Span BandedReport::spanOn(const ReportItem& item, int pageWidth) const
{
    const Stretch stretch = stretchFor(pageWidth);
    const int left = qRound(stretch.map(item.left));
    return {left, qRound(stretch.map(item.left + item.width)) - left};
}

// Each item of a band as drawn for one row. A text of more than one line
// grows its box downwards, and the items below it move down as far; the
// band grows by the most any of its texts needed.
QVector<BandedReport::Shaped> BandedReport::shape(const Placed& at, const Row* child, int page,
                                                  const Context& context, int* height) const
{
    const ReportBand& band = m_bands[at.band];
    const Stretch& stretch = context.stretch;
    QVector<Shaped> shaped(band.items.size());
    QVector<double> growth(band.items.size(), 0.0);
    for (int i = 0; i < band.items.size(); ++i) {
        const ReportItem& item = band.items[i];
        Shaped& s = shaped[i];
        const double left = stretch.map(item.left);
        s.rect = QRectF(left, item.top, stretch.map(item.left + item.width) - left, item.height);
        if (item.kind == ReportItem::Rule)
            continue;
        if (item.kind == ReportItem::Box && at.row < 0)
            continue; // a report footer's count is a label of its own
        const int column = context.columns[at.band][i];
        const ReportFont& f = reportFont(item.pointSize, item.bold);
        if (height && item.kind == ReportItem::Box && column >= 0) {
            // Laying out every page reads every text: a stored text that fits
            // on one line is measured where the row keeps it, without a copy.
            const Row* row = item.member.isEmpty() ? m_source->rowAt(at.row) : child;
            if (const TextPool::Text* t = row ? row->textAt(column) : nullptr) {
                const QStringView kept(t->units, t->length);
                if (!kept.contains(u'\n') && !kept.contains(u'\r')
                    && f.widths.of(kept) <= s.rect.width())
                    continue;
            }
        }
        const QString text = itemText(item, column, at, child, page);
        if (text.isEmpty())
            continue;
        s.lines = textLines(text, f.widths, s.rect.width(), MaxLines);
        s.lineSpacing = f.widths.lineSpacing();
        growth[i] = (s.lines.size() - 1) * s.lineSpacing;
    }
    if (std::all_of(growth.begin(), growth.end(), [](double g) { return g == 0; })) {
        if (height) // every text on one line, as most are: the band as designed
            *height = band.height;
        return shaped;
    }
    // From the top down: an item moves as far as the lowest bottom of the
    // items above it, themselves moved and grown, has gone down.
    QVector<int> order(band.items.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return band.items[a].top < band.items[b].top; });
    QVector<double> down(band.items.size(), 0.0);
    double grown = 0;
    for (int i : order) {
        for (int k : order) {
            if (band.items[k].top >= band.items[i].top)
                break;
            if (band.items[k].top + band.items[k].height <= band.items[i].top)
                down[i] = std::max(down[i], down[k] + growth[k]);
        }
        shaped[i].rect.translate(0, down[i]);
        grown = std::max(grown, down[i] + growth[i]);
    }
    if (height)
        *height = band.height + int(std::ceil(grown));
    return shaped;
}

int BandedReport::bandOf(ReportBand::Kind kind) const
{
    for (int i = 0; i < m_bands.size(); ++i)
        if (m_bands[i].kind == kind)
            return i;
    return -1;
}

BandedReport::Pagination::Pagination(const BandedReport& report, int pageHeight, int pageWidth)
    : m_report(report), m_context(std::make_unique<Context>(report.contextFor(pageWidth))),
      m_pageHeader(report.bandOf(ReportBand::PageHeader)),
      m_pageFooter(report.bandOf(ReportBand::PageFooter)),
      m_groupHeader(report.bandOf(ReportBand::GroupHeader)),
      m_detail(report.bandOf(ReportBand::Detail)),
      m_groupFooter(report.bandOf(ReportBand::GroupFooter)), m_rows(report.rowCount()), m_pages(1)
{
    m_headerHeight = m_pageHeader >= 0 ? heightOf(m_pageHeader, -1, -1, nullptr) : 0;
    m_footerHeight = m_pageFooter >= 0 ? heightOf(m_pageFooter, -1, -1, nullptr) : 0;
    m_bodyLimit = pageHeight - m_footerHeight;
    const int reportHeader = report.bandOf(ReportBand::ReportHeader);
    if (reportHeader >= 0) {
        const int height = heightOf(reportHeader, -1, -1, nullptr);
        m_pages.last().push_back({reportHeader, 0, -1, -1, height});
        m_y = height;
    }
    if (m_pageHeader >= 0) {
        m_pages.last().push_back({m_pageHeader, m_y, -1, -1, m_headerHeight});
        m_y += m_headerHeight;
    }
}

BandedReport::Pagination::~Pagination() = default;

int BandedReport::Pagination::heightOf(int band, int row, int childRow, const Row* child) const
{
    int height = 0;
    m_report.shape({band, 0, row, childRow}, child, 1, *m_context, &height);
    return height;
}

void BandedReport::Pagination::finishPage()
{
    if (m_pageFooter >= 0)
        m_pages.last().push_back({m_pageFooter, m_bodyLimit, -1, -1, m_footerHeight});
}

// A band never splits: one that does not fit goes whole to a new page.
void BandedReport::Pagination::place(int band, int row, int childRow, const Row* child)
{
    if (band < 0)
        return;
    const int height = heightOf(band, row, childRow, child);
    if (m_y + height > m_bodyLimit && m_y > m_headerHeight) {
        finishPage();
        m_pages.push_back({});
        m_y = 0;
        if (m_pageHeader >= 0) {
            m_pages.last().push_back({m_pageHeader, 0, -1, -1, m_headerHeight});
            m_y = m_headerHeight;
        }
    }
    m_pages.last().push_back({band, m_y, row, childRow, height});
    m_y += height;
}

// One row of the data source with its child rows, or once they are all
// placed, the report's end.
void BandedReport::Pagination::step()
{
    if (m_row >= m_rows) {
        place(m_report.bandOf(ReportBand::ReportFooter), -1, -1, nullptr);
        finishPage();
        m_finished = true;
        return;
    }
    const int row = m_row++;
    if (m_groupHeader < 0) {
        place(m_detail, row, -1, nullptr);
        return;
    }
    place(m_groupHeader, row, -1, nullptr);
    const auto children = m_report.m_source->childRowsAt(row);
    for (int c = 0; c < int(children.size()); ++c)
        place(m_detail, row, c, children[size_t(c)]);
    place(m_groupFooter, row, -1, nullptr);
}

int BandedReport::Pagination::wholePages() const
{
    return int(m_pages.size()) - (m_finished ? 0 : 1);
}

void BandedReport::Pagination::layOutTo(int page)
{
    while (!m_finished && wholePages() <= page)
        step();
}

bool BandedReport::Pagination::layOutRows(int rows)
{
    for (int n = 0; n < rows && !m_finished; ++n)
        step();
    return !m_finished;
}

QVector<BandedReport::Page> BandedReport::layout(int pageHeight, int pageWidth) const
{
    Pagination pages(*this, pageHeight, pageWidth);
    pages.layOutTo(std::numeric_limits<int>::max());
    return pages.pages();
}

QString BandedReport::itemText(const ReportItem& item, int column, const Placed& at,
                               const Row* child, int page) const
{
    if (item.kind == ReportItem::Count)
        return QString::number(rowCount());
    if (item.kind == ReportItem::Label) {
        QString text = item.text;
        // today, as a Japanese reader writes it: 2026年12月6日
        text.replace(QStringLiteral("%D"),
                     QDate::currentDate().toString(QStringLiteral("yyyy年M月d日")));
        text.replace(QStringLiteral("%p"), QString::number(page));
        return text;
    }
    if (column < 0 || at.row < 0)
        return QString();
    if (!item.member.isEmpty())
        return child ? formatValue(child->value(column), item.format) : QString();
    return formatValue(m_source->valueAt(at.row, column), item.format);
}

BandedReport::Context BandedReport::contextFor(int pageWidth) const
{
    Context context{stretchFor(pageWidth), {}};
    const bool open = m_source && m_source->isOpen();
    for (const ReportBand& b : m_bands) {
        QVector<int> columns;
        for (const ReportItem& item : b.items) {
            int column = -1;
            if (open && item.kind == ReportItem::Box && !item.field.isEmpty())
                column = item.member.isEmpty()
                    ? m_source->fieldIndex(item.field)
                    : m_source->childView(item.member)->fieldIndex(item.field);
            columns << column;
        }
        context.columns << columns;
    }
    return context;
}

void BandedReport::print(QPagedPaintDevice* device) const
{
    QPainter p(device);
    const double perTwip = device->logicalDpiY() / 1440.0;
    const int width = int(p.viewport().width() / (device->logicalDpiX() / 1440.0));
    const QVector<Page> pages = layout(int(p.viewport().height() / perTwip), width);
    for (int n = 0; n < pages.size(); ++n) {
        if (n > 0)
            device->newPage();
        drawPage(p, pages, n, perTwip, width);
    }
}

void BandedReport::drawPage(QPainter& p, const QVector<Page>& pages, int n, double perTwip,
                            int pageWidth) const
{
    auto px = [perTwip](double twips) { return twips * perTwip; };
    const Context context = contextFor(pageWidth);
    int childrenOf = -1;
    std::vector<const Row*> children;
    for (const Placed& at : pages[n]) {
        const ReportBand& band = m_bands[at.band];
        if (at.childRow >= 0 && at.row != childrenOf) {
            children = m_source->childRowsAt(at.row);
            childrenOf = at.row;
        }
        const Row* child = at.childRow >= 0 && at.childRow < int(children.size())
            ? children[size_t(at.childRow)]
            : nullptr;
        const QVector<Shaped> shaped = shape(at, child, n + 1, context, nullptr);
        for (int i = 0; i < band.items.size(); ++i) {
            const ReportItem& item = band.items[i];
            const Shaped& s = shaped[i];
            const QRectF rect(px(s.rect.left()), px(at.top + s.rect.top()), px(s.rect.width()),
                              px(s.rect.height()));
            if (item.kind == ReportItem::Rule) {
                p.setPen(QPen(Qt::black, 0));
                p.drawLine(rect.topLeft(), rect.topRight());
                continue;
            }
            if (s.lines.isEmpty())
                continue;
            p.setFont(reportFont(item.pointSize, item.bold).font);
            p.setPen(item.color);
            for (int line = 0; line < s.lines.size(); ++line) {
                const QRectF lineRect = rect.translated(0, px(line * s.lineSpacing));
                // Lines are broken to fit; a line the device draws a hair
                // wider is still cut at the box, never drawn over a neighbour.
                const bool fits
                    = p.fontMetrics().horizontalAdvance(s.lines[line]) <= lineRect.width();
                if (!fits)
                    p.setClipRect(lineRect);
                p.drawText(lineRect, int(item.align | Qt::AlignVCenter | Qt::TextSingleLine),
                           s.lines[line]);
                if (!fits)
                    p.setClipping(false);
            }
        }
    }
}
