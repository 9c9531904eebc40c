#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>

// Every message box of the program. The title is the application title unless
// a window names its own; a carriage return in the text is a line break.
QMessageBox::StandardButton MsgBox(const QString& text,
                                   QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                   QMessageBox::Icon icon = QMessageBox::NoIcon,
                                   const QString& title = QString());

// What a box said, for whoever decided its answer in advance.
struct MsgBoxRecord {
    QString text;
    QString title;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
};

// Answers decided before the boxes are asked: each of the next boxes takes the
// next answer instead of waiting for a click, and is recorded. A scripted run
// (a test, an automation) thus never waits on a box nobody will see.
void MsgBoxSetNextAnswers(const QList<QMessageBox::StandardButton>& answers);
// The boxes answered in advance since the last call, oldest first; clears the record.
QList<MsgBoxRecord> MsgBoxTakeAnswered();
// Answers still waiting for a box.
int MsgBoxPendingAnswers();

inline const QString& applicationTitle()
{
    static const QString title = QStringLiteral("Rondella");
    return title;
}
