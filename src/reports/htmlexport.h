#pragma once

#include "widgets/longwork.h"

#include <QString>
#include <QStringList>

class Connection;

// ファイル → HTML目録を書き出し and rondella --export-html: the collection as
// a folder that any browser opens offline, from a phone's files or a web
// server: index.html with its script and style, the data file, and each
// jacket as a thumbnail.
namespace htmlexport {

// A thumbnail's longest side, in pixels.
inline constexpr int thumbnailSide = 300;

struct Written {
    int cds = 0;
    int jackets = 0;
    QStringList unreadable; // the jackets that could not be read, one line each
};

// Writes the catalogue of the collection over `cn` (the jackets read from
// `collectionFolder`) as the folder `target`. The folder is made whole
// beside the target under a name of its own and only then given the
// target's name, so that an export cut short, refused or stopped leaves the
// catalogue that was there. A target already there must be empty or a
// catalogue written before: any other folder is refused, never replaced.
// Throws DbError; `progress` answering false stops the export, nothing
// changed.
Written write(Connection& cn, const QString& collectionFolder, const QString& target,
              const LongWorkProgress& progress = {});

} // namespace htmlexport
