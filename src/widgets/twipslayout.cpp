#include "twipslayout.h"

#include <QWidget>

TwipsLayout::TwipsLayout(QWidget* parent, const QSize& design) : QLayout(parent), m_design(design)
{
    setContentsMargins(0, 0, 0, 0);
}

TwipsLayout::~TwipsLayout()
{
    for (Entry& e : m_entries)
        delete e.item;
}

void TwipsLayout::anchor(QWidget* widget, Anchor a)
{
    const QRect base = widget->geometry();
    addChildWidget(widget);
    m_entries.push_back({new QWidgetItem(widget), base, a});
    invalidate();
}

void TwipsLayout::addItem(QLayoutItem* item)
{
    QRect base;
    if (QWidget* w = item->widget())
        base = w->geometry();
    m_entries.push_back({item, base, Anchor{}});
}

QLayoutItem* TwipsLayout::itemAt(int index) const
{
    return index >= 0 && index < count() ? m_entries[size_t(index)].item : nullptr;
}

QLayoutItem* TwipsLayout::takeAt(int index)
{
    if (index < 0 || index >= count())
        return nullptr;
    QLayoutItem* item = m_entries[size_t(index)].item;
    m_entries.erase(m_entries.begin() + index);
    return item;
}

void TwipsLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    const int extraW = std::max(0, rect.width() - m_design.width());
    const int extraH = std::max(0, rect.height() - m_design.height());
    for (const Entry& e : m_entries) {
        const Anchor& a = e.anchor;
        const QRect r(e.base.x() + qRound(a.moveX * extraW), e.base.y() + qRound(a.moveY * extraH),
                      e.base.width() + qRound(a.growW * extraW),
                      e.base.height() + qRound(a.growH * extraH));
        // The designed rectangle exactly, whatever the widget's size policy says.
        if (QWidget* w = e.item->widget())
            w->setGeometry(r.translated(rect.topLeft()));
        else
            e.item->setGeometry(r.translated(rect.topLeft()));
    }
}
