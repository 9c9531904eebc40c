#include "controls.h"

#include <QMouseEvent>
#include <QPainter>

LineControl::LineControl(const QString& name, Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent), m_orientation(orientation)
{
    setObjectName(name);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LineControl::setBorderStyle(int style)
{
    m_style = style;
    update();
}

void LineControl::setColor(const QColor& color)
{
    m_color = color;
    update();
}

void LineControl::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setPen(QPen(m_color, 1, m_style == 1 ? Qt::SolidLine : Qt::DotLine));
    if (m_orientation == Qt::Vertical)
        p.drawLine(width() / 2, 0, width() / 2, height());
    else
        p.drawLine(0, height() / 2, width(), height() / 2);
}

ImageButton::ImageButton(const QString& name, const QPixmap& picture, QWidget* parent)
    : QLabel(parent)
{
    setObjectName(name);
    setPixmap(picture);
    setCursor(Qt::PointingHandCursor);
}

void ImageButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
}
