#pragma once

#include <QLayout>
#include <QRect>
#include <vector>

// Places widgets at their designed rectangles, the design being the smallest
// size of the window. Space beyond it is handed out by anchors: a widget moves
// right or down, or grows wider or taller, by a share of the extra width and
// height. Widgets not added keep their designed place.
class TwipsLayout : public QLayout {
public:
    struct Anchor {
        qreal moveX = 0, growW = 0, moveY = 0, growH = 0;
    };
    // `design` is the smallest size: the rectangle the designed geometry fills.
    TwipsLayout(QWidget* parent, const QSize& design);
    ~TwipsLayout() override;

    // Adds a widget at its current geometry, which becomes its designed place.
    void anchor(QWidget* widget, Anchor anchor);

    void addItem(QLayoutItem* item) override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    int count() const override { return int(m_entries.size()); }
    QSize sizeHint() const override { return m_design; }
    QSize minimumSize() const override { return m_design; }
    void setGeometry(const QRect& rect) override;

private:
    struct Entry {
        QLayoutItem* item;
        QRect base;
        Anchor anchor;
    };
    std::vector<Entry> m_entries;
    QSize m_design;
};
