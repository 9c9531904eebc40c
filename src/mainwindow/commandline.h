#pragma once

#include <QString>
#include <QStringList>

// What the arguments ask for, read by Qt's command-line parser. An option
// not known, a value missing or an argument in the wrong place is a refusal
// (exit status 2): a mistyped option must never open, and make a collection
// in, another folder than the one meant.
struct CommandLine {
    enum class Action {
        Window,
        Help,
        Version,
        ImportAudio,
        ImportTellico,
        ImportDiscogs,
        ExportHtml
    };
    Action action = Action::Window;
    QString refusal; // in Japanese, with the usage behind it; empty when understood
    QString folder; // rondella FOLDER
    bool openLast = false;
    QString importAudio; // the folder of ripped music
    QString importTellico; // the Tellico file (.tc or .xml)
    QString exportHtml; // the folder the HTML catalogue is written as
    QString collection; // --collection: the collection an import goes into, or an export is of
    bool allowDuplicates = false;
    QString importDiscogs; // the CSV file of a Discogs collection
    bool allMedia = false; // --all-media: records on Vinyl, Cassette... too
    bool artistSongs = false; // --artist-songs: each Discogs CD gets a song of its artist
};
CommandLine parseCommandLine(const QStringList& arguments);

// Whether the arguments ask for something done without a window: the help,
// the version, an import (ripped music files, Tellico, a Discogs export) or
// the HTML catalogue. Read before any
// application object exists, so that no screen is needed for them.
bool isCommandLine(const QStringList& arguments);
// Does it and returns the exit status (0 done; 1 could not; 2 arguments not
// understood).
int RunCommandLine(const QStringList& arguments);
// The refusal of arguments not understood, said on the terminal; empty when
// they are understood. Qt's own options (-platform, -style...) are known.
QString refuseArguments(const QStringList& arguments);

// The collection folder the arguments ask the window to open, or an empty
// text for the folder the program is started in:
//   rondella FOLDER        that folder (a folder argument wins over --open-last)
//   rondella --open-last   the folder used last, or ~/Rondella the first time
// `lastFolder` is the folder used last, empty before the first start. A last
// folder that is gone is not made again (it may be a disk not plugged in):
// `refusal` says so, as it says arguments not understood.
struct StartFolder {
    QString folder;
    QString refusal;
};
StartFolder startFolderOf(const QStringList& arguments, const QString& lastFolder);
