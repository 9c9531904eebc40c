#pragma once

#include <QString>
#include <QStringList>

// A collection folder made ready to open: the help page, the click sounds
// and the placeholder jacket the program ships are copied in where they are
// missing, never over a file already there.
namespace collectionfolder {

// The files shipped for every collection folder, relative to it.
const QStringList& shippedFiles();
// Where they are: share/rondella beside the program's bin folder once
// installed, otherwise the program's own resources (a build run in place).
QString shippedFolder();
// The folder of a first start from the desktop's menu: ~/Rondella.
QString firstFolder();
// Makes `folder` (and the folders above it) where missing, checks that it
// can be written, and copies the shipped files it lacks. Returns a refusal
// naming the folder when it cannot be made or written; empty when ready.
QString prepare(const QString& folder, const QString& shipped = shippedFolder());

} // namespace collectionfolder
