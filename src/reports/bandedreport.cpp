#include "bandedreport.h"

#include "store/dberror.h"
#include "widgets/databound.h"
#include "widgets/twips.h"

#include <QDate>
#include <QHash>
#include <QLocale>
#include <QPagedPaintDevice>
#include <QPainter>

namespace {

// Fonts are made once per size and weight: a report of thousands of pages
// draws tens of thousands of texts.
const QFont& reportFont(double pointSize, bool bold)
{
    static QHash<QPair<double, bool>, QFont> fonts;
    auto it = fonts.find({pointSize, bold});
    if (it == fonts.end()) {
        QFont f(QStringList{QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"),
                            QStringLiteral("Noto Sans CJK JP")});
        f.setPointSizeF(pointSize);
        f.setBold(bold);
        it = fonts.insert({pointSize, bold}, f);
    }
    return *it;
}

} // namespace

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

QVector<BandedReport::Page> BandedReport::layout(int pageHeight) const
{
    auto find = [this](ReportBand::Kind kind) {
        for (int i = 0; i < m_bands.size(); ++i)
            if (m_bands[i].kind == kind)
                return i;
        return -1;
    };
    const int pageHeader = find(ReportBand::PageHeader);
    const int pageFooter = find(ReportBand::PageFooter);
    const int footerHeight = pageFooter >= 0 ? m_bands[pageFooter].height : 0;
    const int bodyLimit = pageHeight - footerHeight;
    QVector<Page> pages(1);
    int y = 0;
    auto finishPage = [&] {
        if (pageFooter >= 0)
            pages.last().push_back({pageFooter, bodyLimit});
    };
    auto startPage = [&] {
        y = 0;
        if (pageHeader >= 0) {
            pages.last().push_back({pageHeader, 0});
            y = m_bands[pageHeader].height;
        }
    };
    // A band never splits: one that does not fit goes whole to a new page.
    auto place = [&](int band, int row, int childRow) {
        if (band < 0)
            return;
        if (y + m_bands[band].height > bodyLimit
            && y > (pageHeader >= 0 ? m_bands[pageHeader].height : 0)) {
            finishPage();
            pages.push_back({});
            startPage();
        }
        pages.last().push_back({band, y, row, childRow});
        y += m_bands[band].height;
    };
    const int reportHeader = find(ReportBand::ReportHeader);
    if (reportHeader >= 0) {
        pages.last().push_back({reportHeader, 0});
        y = m_bands[reportHeader].height;
    }
    if (pageHeader >= 0) {
        pages.last().push_back({pageHeader, y});
        y += m_bands[pageHeader].height;
    }
    const int groupHeader = find(ReportBand::GroupHeader);
    const int detail = find(ReportBand::Detail);
    const int groupFooter = find(ReportBand::GroupFooter);
    const int rows = rowCount();
    for (int row = 0; row < rows; ++row) {
        if (groupHeader < 0) {
            place(detail, row, -1);
            continue;
        }
        place(groupHeader, row, -1);
        const int children = int(m_source->childRowsAt(row).size());
        for (int c = 0; c < children; ++c)
            place(detail, row, c);
        place(groupFooter, row, -1);
    }
    place(find(ReportBand::ReportFooter), -1, -1);
    finishPage();
    return pages;
}

QString BandedReport::itemText(const ReportItem& item, const Placed& at, int page) const
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
    if (item.field.isEmpty() || at.row < 0 || !m_source)
        return QString();
    if (!item.member.isEmpty()) {
        const auto children = m_source->childRowsAt(at.row);
        const auto child = m_source->childView(item.member);
        const int column = child->fieldIndex(item.field);
        if (at.childRow < 0 || at.childRow >= int(children.size()) || column < 0)
            return QString();
        return formatValue(children[size_t(at.childRow)]->value(column), DisplayFormat::None);
    }
    const int column = m_source->fieldIndex(item.field);
    return column < 0 ? QString()
                      : formatValue(m_source->valueAt(at.row, column), DisplayFormat::None);
}

void BandedReport::print(QPagedPaintDevice* device) const
{
    QPainter p(device);
    const double perTwip = device->logicalDpiY() / 1440.0;
    const QVector<Page> pages = layout(int(p.viewport().height() / perTwip));
    for (int n = 0; n < pages.size(); ++n) {
        if (n > 0)
            device->newPage();
        drawPage(p, pages, n, perTwip);
    }
}

void BandedReport::drawPage(QPainter& p, const QVector<Page>& pages, int n, double perTwip) const
{
    auto px = [perTwip](int twips) { return twips * perTwip; };
    {
        for (const Placed& at : pages[n]) {
            const ReportBand& band = m_bands[at.band];
            for (const ReportItem& item : band.items) {
                const QRectF rect(px(item.left), px(at.top + item.top), px(item.width),
                                  px(item.height));
                if (item.kind == ReportItem::Rule) {
                    p.setPen(QPen(Qt::black, 0));
                    p.drawLine(QPointF(px(item.left), px(at.top + item.top)),
                               QPointF(px(item.left + item.width), px(at.top + item.top)));
                    continue;
                }
                if (item.kind == ReportItem::Box && at.row < 0)
                    continue; // a report footer's count is a label of its own
                const QString text = itemText(item, at, n + 1);
                if (text.isEmpty())
                    continue;
                p.setFont(reportFont(item.pointSize, item.bold));
                p.setPen(item.color);
                // Text longer than its box is cut at the box, never drawn over a neighbour.
                const bool fits = p.fontMetrics().horizontalAdvance(text) <= rect.width();
                if (!fits)
                    p.setClipRect(rect);
                p.drawText(rect, int(item.align | Qt::AlignVCenter | Qt::TextSingleLine), text);
                if (!fits)
                    p.setClipping(false);
            }
        }
    }
}
