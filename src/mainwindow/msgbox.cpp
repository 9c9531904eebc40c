#include "msgbox.h"

#include <QApplication>

QMessageBox::StandardButton MsgBox(const QString& text, QMessageBox::StandardButtons buttons,
                                   QMessageBox::Icon icon, const QString& title)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    QMessageBox box(icon, title.isEmpty() ? applicationTitle() : title, shown, buttons,
                    QApplication::activeWindow());
    box.setObjectName(QStringLiteral("MsgBox"));
    // Questions default to their first button (Yes, or OK).
    for (QMessageBox::StandardButton first : {QMessageBox::Ok, QMessageBox::Yes})
        if (buttons.testFlag(first)) {
            box.setDefaultButton(first);
            break;
        }
    return QMessageBox::StandardButton(box.exec());
}
