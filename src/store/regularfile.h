#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

// Files the collector points the program at (covers beside ripped music, a
// picture dropped on the jacket, ...) are read only when they are ordinary
// files of a bounded size: a FIFO would block the window forever and a link
// to a device would be read without end.
namespace regularfile {

// The largest picture file read: any photo a camera makes is smaller.
constexpr qint64 pictureLimit = 50 * 1024 * 1024;

// The file's whole contents, or a null array with *why saying in Japanese
// why it was not read (not an ordinary file, too large, no permission, a
// read error). Never blocks on a FIFO or a device.
QByteArray read(const QString& path, qint64 maxBytes, QString* why);

// Why the path is no ordinary readable file, or an empty text when it is.
// Checked without opening anything that could block.
QString refusal(const QString& path, qint64 maxBytes);

// A system error number as the collector reads it.
QString cause(int error);

// Writes `bytes` to `path` whole or not at all, through a temporary file
// beside it: the old file stays until the new one is complete. A folder, a
// FIFO or a device at `path` is refused rather than replaced. Returns false
// with *why saying in Japanese why it was not written (no such folder, no
// permission, the disk full, ...).
bool write(const QString& path, const QByteArray& bytes, QString* why);

// Writes several files as write() writes one, all of them or none: each is
// written whole beside its place first, and only once every one is whole do
// they take their names, so that a file that cannot be written (a full disk,
// a folder in its place) leaves every one of them as it was. Returns false
// with *why as write() says it and *failed the path that was not written.
bool writeAll(const QList<std::pair<QString, QByteArray>>& files, QString* why,
              QString* failed = nullptr);

} // namespace regularfile
