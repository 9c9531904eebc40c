#pragma once

#include <QString>

#include <functional>

class QWidget;

// Long work (bringing a collection in, putting a backup back) runs on a thread
// of its own, so that the window stays drawn and キャンセル answers. The work
// is handed a progress callback: told how many of how many are done, it
// answers false once the user has pressed キャンセル. The progress window shows
// only when the work lasts; until then, and while it shows, the user's input
// reaches nothing else. Whatever the work throws is thrown again here. The
// work must not touch widgets, nor a database connection of another thread.
using LongWorkProgress = std::function<bool(int done, int total)>;
void runLongWork(QWidget* parent, const QString& label,
                 const std::function<void(const LongWorkProgress&)>& work);
