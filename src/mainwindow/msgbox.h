#pragma once

#include <QMessageBox>
#include <QString>

// Every message box of the program. The title is the application title unless
// a window names its own; a carriage return in the text is a line break.
QMessageBox::StandardButton MsgBox(const QString& text,
                                   QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                   QMessageBox::Icon icon = QMessageBox::NoIcon,
                                   const QString& title = QString());

inline const QString& applicationTitle()
{
    static const QString title = QStringLiteral("Rondella");
    return title;
}
