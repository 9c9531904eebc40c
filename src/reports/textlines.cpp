#include "textlines.h"

#include <QImage>
#include <QTextBoundaryFinder>

namespace {

// Texts are measured at one twip to the pixel, whatever they are drawn on,
// so that the preview, the printer and a PDF break lines in the same places.
QPaintDevice* measuringDevice()
{
    static QImage device = [] {
        QImage image(1, 1, QImage::Format_Mono);
        const int perMetre = qRound(1440 / 0.0254);
        image.setDotsPerMeterX(perMetre);
        image.setDotsPerMeterY(perMetre);
        return image;
    }();
    return &device;
}

QString trimmedRight(QStringView text)
{
    while (!text.isEmpty() && text.back().isSpace())
        text.chop(1);
    return text.toString();
}

} // namespace

CharacterWidths::CharacterWidths(const QFont& font)
    : m_metrics(font, measuringDevice()), m_basic(0x10000, -1.0f)
{
}

double CharacterWidths::ofCodePoint(char32_t c) const
{
    if (c < 0x10000) {
        float& w = m_basic[c];
        if (w < 0)
            w = float(m_metrics.horizontalAdvance(QChar(char16_t(c))));
        return w;
    }
    auto it = m_other.constFind(c);
    if (it == m_other.constEnd())
        it = m_other.insert(c, m_metrics.horizontalAdvance(QString::fromUcs4(&c, 1)));
    return *it;
}

double CharacterWidths::of(QStringView text) const
{
    double sum = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            sum += ofCodePoint(QChar::surrogateToUcs4(c, text[i + 1]));
            ++i;
        } else {
            sum += ofCodePoint(c.unicode());
        }
    }
    return sum;
}

QStringList textLines(const QString& text, const CharacterWidths& widths, double width,
                      int maxLines)
{
    const bool feeds = text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
    if (!feeds && widths.of(text) <= width)
        return text.isEmpty() ? QStringList() : QStringList{text};
    QString whole = text;
    whole.remove(QLatin1Char('\r'));
    while (whole.endsWith(QLatin1Char('\n')))
        whole.chop(1);
    if (whole.isEmpty())
        return {};
    if (!whole.contains(QLatin1Char('\n')) && widths.of(whole) <= width)
        return {whole};
    const QString ellipsis(QChar(0x2026));
    const double ellipsisWidth = widths.of(ellipsis);
    const QStringList paragraphs = whole.split(QLatin1Char('\n'));
    QStringList lines;
    for (qsizetype p = 0; p < paragraphs.size(); ++p) {
        const QString& para = paragraphs[p];
        if (para.isEmpty()) {
            if (lines.size() == maxLines - 1) {
                lines << ellipsis;
                return lines;
            }
            lines << QString();
            continue;
        }
        // the width from the paragraph's start to each position; a character
        // of two halves is counted at its second
        std::vector<double> upTo(size_t(para.size()) + 1, 0.0);
        for (qsizetype i = 0; i < para.size(); ++i) {
            double w = 0;
            if (para[i].isLowSurrogate() && i > 0 && para[i - 1].isHighSurrogate())
                w = widths.of(QStringView(para).mid(i - 1, 2));
            else if (!(para[i].isHighSurrogate() && i + 1 < para.size()
                       && para[i + 1].isLowSurrogate()))
                w = widths.of(QStringView(para).mid(i, 1));
            upTo[size_t(i) + 1] = upTo[size_t(i)] + w;
        }
        auto span
            = [&](qsizetype from, qsizetype to) { return upTo[size_t(to)] - upTo[size_t(from)]; };
        // The furthest character boundary after `from` whose text fits with
        // `extra` beside it; with `atLeastOne`, one character even when it does not fit.
        auto fittingCharacters = [&](qsizetype from, double extra, bool atLeastOne) {
            QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, para);
            graphemes.setPosition(from);
            qsizetype end = from;
            for (qsizetype b = graphemes.toNextBoundary(); b > 0; b = graphemes.toNextBoundary()) {
                if (span(from, b) + extra > width) {
                    if (end == from && atLeastOne)
                        end = b;
                    break;
                }
                end = b;
            }
            return end;
        };
        std::vector<qsizetype> breaks;
        QTextBoundaryFinder finder(QTextBoundaryFinder::Line, para);
        for (qsizetype b = finder.toNextBoundary(); b > 0; b = finder.toNextBoundary())
            breaks.push_back(b);
        size_t next = 0;
        qsizetype start = 0;
        while (start < para.size()) {
            const bool lastParagraph = p + 1 == paragraphs.size();
            if (lines.size() == maxLines - 1) {
                // the last line allowed: the rest, or as much of it as fits beside 「…」
                if (lastParagraph && span(start, para.size()) <= width) {
                    lines << para.mid(start);
                    return lines;
                }
                const qsizetype end = fittingCharacters(start, ellipsisWidth, false);
                lines << trimmedRight(QStringView(para).mid(start, end - start)) + ellipsis;
                return lines;
            }
            qsizetype end = -1;
            while (next < breaks.size() && breaks[next] <= start)
                ++next;
            for (size_t k = next; k < breaks.size(); ++k) {
                qsizetype shown = breaks[k]; // the spaces a line ends in take no room
                while (shown > start && para[shown - 1].isSpace())
                    --shown;
                if (span(start, shown) > width)
                    break;
                end = breaks[k];
            }
            if (end < 0) // a word wider than the box: broken between two characters
                end = fittingCharacters(start, 0, true);
            lines << trimmedRight(QStringView(para).mid(start, end - start));
            start = end;
        }
    }
    return lines;
}
