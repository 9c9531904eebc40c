#pragma once

#include <QColor>
#include <QLabel>
#include <QWidget>

// A line drawn solid (border style 1) or dotted (border style 3).
class LineControl : public QWidget {
    Q_OBJECT
public:
    LineControl(const QString& name, Qt::Orientation orientation, QWidget* parent);
    int borderStyle() const { return m_style; }
    void setBorderStyle(int style);
    void setColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Qt::Orientation m_orientation;
    int m_style = 3;
    QColor m_color = Qt::black;
};

// A picture that acts as a button.
class ImageButton : public QLabel {
    Q_OBJECT
public:
    ImageButton(const QString& name, const QPixmap& picture, QWidget* parent);
Q_SIGNALS:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};
