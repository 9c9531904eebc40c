#include "windowplace.h"

#include "settings.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace windowplace {

bool showAsKept(QWidget* window)
{
    const auto settings = userSettings();
    const QRect kept = settings->value(QStringLiteral("window/geometry")).toRect();
    bool onAScreen = false;
    for (const QScreen* screen : QGuiApplication::screens()) {
        // enough of the window's top to grab it by
        const QRect seen = screen->availableGeometry().intersected(kept);
        onAScreen = onAScreen || (seen.width() >= 100 && seen.height() >= 40);
    }
    if (!kept.isValid() || !onAScreen)
        return false;
    window->setGeometry(kept);
    if (settings->value(QStringLiteral("window/maximized")).toBool())
        window->showMaximized();
    else
        window->show();
    return true;
}

void keep(const QWidget* window)
{
    const auto settings = userSettings();
    settings->setValue(QStringLiteral("window/geometry"), window->normalGeometry());
    settings->setValue(QStringLiteral("window/maximized"), window->isMaximized());
}

} // namespace windowplace
