#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

// The tags of ripped music files, read with TagLib: FLAC, Ogg Vorbis, Opus,
// MP3 (ID3v2.3 and 2.4), M4A/AAC and WAV with ID3.
namespace audio {

struct Track {
    QString path;
    // Tag names in upper case as TagLib's property map names them (ALBUM,
    // TITLE, COMPOSER, CONDUCTOR, PERFORMER, ...); a performer's role after a
    // colon is dropped, so that every performer stands under PERFORMER.
    QMap<QString, QStringList> tags;
    int seconds = -1; // the length; -1 when unknown
    int disc = 0; // DISCNUMBER, 0 when none
    int track = 0; // TRACKNUMBER, 0 when none
    QByteArray cover; // the embedded front cover as stored, empty when none
    // What was read otherwise than the file holds it (a tag whose text is
    // not in the encoding it says, a number that is none, a picture too
    // large), one line each naming the file.
    QStringList warnings;

    QString first(const char* name) const { return tags.value(QLatin1String(name)).value(0); }
};

// The largest music file read: as large as a WAV file can be, longer than
// any recording in the other kinds.
constexpr qint64 trackLimit = qint64(4) * 1024 * 1024 * 1024;

// The largest disc or track number taken: a larger one is no number.
constexpr int numberLimit = 9999;

// Whether the file's name ends as the audio files this import reads do.
bool isAudioFile(const QString& path);

// Reads one file. Throws DbError naming the file and saying why when it is
// no ordinary file of at most trackLimit bytes that the user may read (a
// FIFO, a device, a link to one) or TagLib cannot read it as audio.
Track readTrack(const QString& path);

// A text that TagLib read as Latin-1 (an ID3v2 frame that says so) but whose
// bytes are Shift_JIS, as older Japanese Windows rippers wrote them, decoded;
// any other text as it is. Only a text whose bytes include one that Latin-1
// text never holds (0x80 to 0x9F) and that decodes as Shift_JIS whole is
// taken for Shift_JIS.
QString repairShiftJis(const QString& readAsLatin1);

} // namespace audio
