#pragma once

#include <QString>

namespace discogs {
struct Options;
}

// rondella --import-discogs FILE [--all-media] [--artist-songs] [--collection FOLDER]:
// adds the CDs of a Discogs collection export to the collection in FOLDER,
// without a window, under the same lock, backup and transaction as the
// program. Prints one line per CD added, per row passed by and per CD
// renamed, and a summary in Japanese. Returns the exit status: 0 when done,
// 1 when nothing could be added (the file refused, the collection held or
// not writable), 2 when the file or the folder is none.
int RunImportDiscogs(const QString& file, const QString& folder, const discogs::Options& options);
