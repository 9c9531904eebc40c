#pragma once

#include <QString>

#include <functional>

class QMenuBar;
class QToolBar;
class QWidget;

// The menus in their order, each item named as the commands know it.
void buildMenus(QMenuBar* bar);
// The toolbar's buttons; `pressed` is told the key of the one pressed.
QToolBar* buildToolbar(QWidget* parent, const std::function<void(const QString&)>& pressed);
