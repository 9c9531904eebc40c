#pragma once

#include <QColor>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>

// Window geometry is designed in twips (1440 to the inch); the screen's logical
// DPI turns it into pixels.
inline double logicalDpi()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInch() : 96.0;
}

inline int twips(int value)
{
    return qRound(value * logicalDpi() / 1440.0);
}

inline QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

// Colours are written &HBBGGRR: red in the low byte.
inline QColor bgrColor(quint32 bgr)
{
    return QColor(int(bgr & 0xff), int((bgr >> 8) & 0xff), int((bgr >> 16) & 0xff));
}
