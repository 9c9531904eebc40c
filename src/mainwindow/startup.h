#pragma once

#include <QStringList>

// Start-up: sets the locale, Qt's Japanese texts and the fonts, makes the
// collection folder the arguments name (FOLDER, --open-last) ready and the
// current folder (without them the current folder is the collection
// folder), remembers it for --open-last, locks it, shows the splash while the
// main window loads, and returns once the main window is shown. Returns
// false when the program is to end at once (a folder that cannot be made or
// written, another Rondella has the collection open, or its folder cannot be
// locked).
bool Main(const QStringList& arguments = {});
