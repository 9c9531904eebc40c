#pragma once

#include <QString>
#include <QStringList>

// Whether the arguments ask for something done without a window: the help,
// the version, or the import of ripped music files.
bool isCommandLine(const QStringList& arguments);
// Does it and returns the exit status (0 done; 1 could not; 2 arguments not
// understood).
int RunCommandLine(const QStringList& arguments);

// The collection folder the arguments ask the window to open, or an empty
// text for the folder the program is started in:
//   rondella FOLDER        that folder (a folder argument wins over --open-last)
//   rondella --open-last   the folder used last, or ~/Rondella the first time
// `lastFolder` is the folder used last, empty before the first start. A last
// folder that is gone is not made again (it may be a disk not plugged in):
// `refusal` says so.
struct StartFolder {
    QString folder;
    QString refusal;
};
StartFolder startFolderOf(const QStringList& arguments, const QString& lastFolder);
