#pragma once

// The main window's controls, found by their object names as a user's view of
// the program has them. A control that is not there throws, which fails the
// test function that asked for it.

#include "mainwindow/frmmain.h"
#include "store/collection.h"
#include "widgets/controls.h"
#include "widgets/databound.h"
#include "widgets/sound.h"

#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <stdexcept>

template <typename T> T* named(const QObject* window, const QString& name)
{
    T* found = window ? window->findChild<T*>(name) : nullptr;
    if (!found)
        throw std::runtime_error("no control named " + name.toStdString());
    return found;
}

// Runs a command of the window (a menu item, a toolbar button) as choosing it does.
inline void trigger(const QObject* window, const QString& name)
{
    named<QAction>(window, name)->trigger();
}

#define RONDELLA_CONTROL(Type, Name)                                                               \
    inline Type* Name(const QObject* window)                                                       \
    {                                                                                              \
        return named<Type>(window, QStringLiteral(#Name));                                         \
    }
#define RONDELLA_CONTROL_ARRAY(Type, Name)                                                         \
    inline Type* Name(const QObject* window, int index)                                            \
    {                                                                                              \
        return named<Type>(window, QStringLiteral(#Name "(%1)").arg(index));                       \
    }

RONDELLA_CONTROL(DataGrid, DataGrid1)
RONDELLA_CONTROL(DataGrid, DataGrid2)
RONDELLA_CONTROL_ARRAY(DataTextBox, txtrs)
RONDELLA_CONTROL_ARRAY(QLabel, lblFieldLabel)
RONDELLA_CONTROL_ARRAY(QLabel, lblRcount)
RONDELLA_CONTROL_ARRAY(QCheckBox, Check1)
RONDELLA_CONTROL_ARRAY(DataCombo, DataCombo1)
RONDELLA_CONTROL(MMControl, MMCdialog)
RONDELLA_CONTROL(QLabel, lblCDdata)
RONDELLA_CONTROL(QLabel, lblKyokudata)
RONDELLA_CONTROL(QLabel, picCDphoto)
RONDELLA_CONTROL(QPushButton, cmdTop)
RONDELLA_CONTROL(QPushButton, cmdNext)
RONDELLA_CONTROL(QPushButton, cmdLast)
RONDELLA_CONTROL(QPushButton, cmdLeftSub)
RONDELLA_CONTROL(QPushButton, cmdRightSub)
RONDELLA_CONTROL(QPushButton, cmdLastsub)
RONDELLA_CONTROL(QFrame, picTyuu)
RONDELLA_CONTROL(QGroupBox, FraKyoku)
RONDELLA_CONTROL(QGroupBox, FraCD)
RONDELLA_CONTROL(QLineEdit, txtKyoku)
RONDELLA_CONTROL(QLineEdit, txtCDmei)
RONDELLA_CONTROL(QPushButton, cmdFilter)
RONDELLA_CONTROL(QLabel, Label1)
RONDELLA_CONTROL(ImageButton, imgTyu)
RONDELLA_CONTROL(ImageButton, imgSibori)
RONDELLA_CONTROL(ImageButton, imgReset)
RONDELLA_CONTROL(ImageButton, imgClose)
RONDELLA_CONTROL(QAction, mnuCDs)
RONDELLA_CONTROL(QAction, mnuKyokuS)

#undef RONDELLA_CONTROL
#undef RONDELLA_CONTROL_ARRAY

// The texts of a column of the grid, joined by |.
inline QString column(const DataGrid* grid, int col)
{
    QStringList out;
    for (int r = 0; r < grid->table()->model()->rowCount(); ++r)
        out << grid->text(r, col);
    return out.join(u'|');
}

// The wait window is on the screen.
bool isWaitShown();

// What the window says of the data it shows, in one line: both headers, both
// grid captions, then the CD and the song counters.
inline QString shows(const QObject* w)
{
    return QStringList{lblCDdata(w)->text(),    lblKyokudata(w)->text(), DataGrid2(w)->caption(),
                       DataGrid1(w)->caption(), lblRcount(w, 3)->text(), lblRcount(w, 0)->text()}
        .join(QStringLiteral(" | "));
}
