#pragma once

#include <QString>

// rondella --export-html DIR [--collection FOLDER]: writes the collection in
// FOLDER (the folder the program is started in when none is given) as the
// HTML catalogue DIR, without a window, under the collection's lock. Prints
// what was written in Japanese. Returns the exit status: 0 when written,
// 1 when it could not be, 2 when the collection folder is none.
int RunExportHtml(const QString& target, const QString& folder);
