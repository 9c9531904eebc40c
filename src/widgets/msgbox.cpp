#include "msgbox.h"

#include <QApplication>

namespace {
QList<QMessageBox::StandardButton> nextAnswers;
QList<MsgBoxRecord> answered;
} // namespace

void MsgBoxSetNextAnswers(const QList<QMessageBox::StandardButton>& answers)
{
    nextAnswers = answers;
}

QList<MsgBoxRecord> MsgBoxTakeAnswered()
{
    return std::exchange(answered, {});
}

int MsgBoxPendingAnswers()
{
    return int(nextAnswers.size());
}

QMessageBox::StandardButton MsgBox(const QString& text, QMessageBox::StandardButtons buttons,
                                   QMessageBox::Icon icon, const QString& title)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    const QString caption = title.isEmpty() ? applicationTitle() : title;
    if (!nextAnswers.isEmpty()) {
        answered.append({shown, caption, icon, buttons});
        return nextAnswers.takeFirst();
    }
    QMessageBox box(icon, caption, shown, buttons, QApplication::activeWindow());
    box.setObjectName(QStringLiteral("MsgBox"));
    // Questions default to their first button (Yes, or OK).
    for (QMessageBox::StandardButton first : {QMessageBox::Ok, QMessageBox::Yes})
        if (buttons.testFlag(first)) {
            box.setDefaultButton(first);
            break;
        }
    return QMessageBox::StandardButton(box.exec());
}
