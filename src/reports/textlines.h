#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QStringList>

#include <vector>

// The widths of a report font's characters in twips, each measured once: a
// report of every song measures hundreds of thousands of texts, too many to
// shape one by one. The layout and the drawing both break lines by these
// widths, so a band is always as tall as the lines drawn in it.
class CharacterWidths {
public:
    explicit CharacterWidths(const QFont& font);

    double of(QStringView text) const;
    double lineSpacing() const { return m_metrics.lineSpacing(); }

private:
    double ofCodePoint(char32_t c) const;
    QFontMetricsF m_metrics;
    mutable std::vector<float> m_basic; // the first plane; negative until measured
    mutable QHash<char32_t, double> m_other;
};

// The lines a text takes in a box `width` twips wide: broken where a line may
// break (after a space, between Japanese characters, never before 」 or 。),
// a word wider than the box between two characters, never inside one; a line
// feed starts a new line. At most `maxLines` lines: a text that goes on
// beyond them ends the last with 「…」.
QStringList textLines(const QString& text, const CharacterWidths& widths, double width,
                      int maxLines);
