#include "audioimport.h"

#include "history.h"

#include "connection.h"
#include "dberror.h"
#include "identifiers.h"
#include "legacyreader.h"
#include "regularfile.h"
#include "tables.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <dirent.h>

namespace audio {

namespace {

QString joined(const Track& t, const char* name)
{
    return t.tags.value(QLatin1String(name)).join(QStringLiteral("、"));
}

QString firstOf(const Track& t, std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        const QString v = t.first(name);
        if (!v.isEmpty())
            return v;
    }
    return QString();
}

QString title(const Track& t)
{
    const QString work = t.first("WORK");
    const QString movement = firstOf(t, {"MOVEMENTNAME", "MOVEMENT"});
    if (!work.isEmpty() && !movement.isEmpty())
        return work + QStringLiteral(": ") + movement;
    const QString title = t.first("TITLE");
    if (!title.isEmpty())
        return title;
    return QFileInfo(t.path).completeBaseName(); // a file without tags: its name
}

// The ensemble: ENSEMBLE or ORCHESTRA, else the album's artist where it is
// none of the performers (then it names the group, not a soloist).
QString ensemble(const Track& t)
{
    const QString named = firstOf(t, {"ENSEMBLE", "ORCHESTRA"});
    if (!named.isEmpty())
        return named;
    const QString albumArtist = t.first("ALBUMARTIST");
    if (albumArtist.isEmpty() || t.tags.value(QStringLiteral("PERFORMER")).contains(albumArtist))
        return QString();
    return albumArtist;
}

QString length(const Track& t)
{
    if (t.seconds < 0)
        return QString();
    return QStringLiteral("%1:%2").arg(t.seconds / 60).arg(t.seconds % 60, 2, 10, QLatin1Char('0'));
}

const QString coverNames[] = {QStringLiteral("cover.jpg"), QStringLiteral("folder.jpg"),
                              QStringLiteral("Cover.jpg"), QStringLiteral("Folder.jpg")};

// The first picture file beside the music that can be read; each one there
// that cannot (a FIFO, a link to a device, too large) is named in `unreadable`.
QByteArray coverBeside(const QString& folder, QStringList* unreadable)
{
    for (const QString& name : coverNames) {
        const QString path = QDir(folder).filePath(name);
        const QFileInfo info(path);
        if (!info.exists() && !info.isSymLink())
            continue;
        QString why;
        const QByteArray bytes = regularfile::read(path, regularfile::pictureLimit, &why);
        if (!bytes.isNull())
            return bytes;
        *unreadable << QStringLiteral("「%1」（ジャケット写真）は読めません：%2。")
                           .arg(QDir::toNativeSeparators(path), why);
    }
    return QByteArray();
}

// The music files under the folder; each folder that cannot be listed, and
// each link to a folder (not followed, so that no loop is), is named in
// `unreadable`.
void listMusic(const QString& folder, QStringList* files, QStringList* unreadable)
{
    // QDir lists an unreadable folder as an empty one: asked first
    if (DIR* dir = ::opendir(QFile::encodeName(folder).constData())) {
        ::closedir(dir);
    } else {
        *unreadable << QStringLiteral("フォルダー「%1」の中を読めません：%2。")
                           .arg(QDir::toNativeSeparators(folder), regularfile::cause(errno));
        return;
    }
    // System: a FIFO, a device or a broken link named as music is listed,
    // to be named as unreadable
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::Dirs | QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir() && entry.isSymLink())
            *unreadable << QStringLiteral("フォルダー「%1」はリンクなので開きませんでした。")
                               .arg(QDir::toNativeSeparators(entry.filePath()));
        else if (entry.isDir())
            listMusic(entry.filePath(), files, unreadable);
        else if (isAudioFile(entry.fileName()))
            *files << entry.filePath();
    }
}

// The tags a song or a CD takes one value of: the values after the first (a
// text after a NUL, a second TITLE field) are said, not lost without a word.
const char* const singleTags[]
    = {"ALBUM",        "TITLE",     "WORK",       "MOVEMENTNAME", "MOVEMENT",      "ALBUMARTIST",
       "ENSEMBLE",     "ORCHESTRA", "DATE",       "ORIGINALDATE", "CATALOGNUMBER", "LABEL",
       "ORGANIZATION", "PUBLISHER", "DISCNUMBER", "TRACKNUMBER"};

void sayDroppedValues(const Track& track, QStringList* warnings)
{
    for (const char* name : singleTags) {
        const QStringList values = track.tags.value(QLatin1String(name));
        if (values.size() > 1)
            *warnings
                << QStringLiteral(
                       "「%1」のタグ「%2」には値が %3 個あります。最初の「%4」だけを使いました。")
                       .arg(QDir::toNativeSeparators(track.path), QLatin1String(name))
                       .arg(values.size())
                       .arg(values.first());
    }
}

bool trackLess(const Track& a, const Track& b)
{
    if (a.track != b.track)
        return a.track < b.track;
    return QFileInfo(a.path).fileName() < QFileInfo(b.path).fileName();
}

} // namespace

const QVector<SongField>& songMapping()
{
    static const QVector<SongField> mapping = {
        {u"曲名", [](const Track& t) { return title(t); }},
        {u"作曲者名", [](const Track& t) { return joined(t, "COMPOSER"); }},
        {u"編曲者名", [](const Track& t) { return joined(t, "ARRANGER"); }},
        {u"指揮者名", [](const Track& t) { return joined(t, "CONDUCTOR"); }},
        {u"演奏団体", [](const Track& t) { return ensemble(t); }},
        {u"ソリスト", [](const Track& t) { return joined(t, "PERFORMER"); }},
        {u"録音時間", [](const Track& t) { return length(t); }},
        {u"録音年月日",
         [](const Track& t) {
             return firstOf(t, {"DATE", "ORIGINALDATE"});
         }},
        {u"原盤番号", [](const Track& t) { return t.first("CATALOGNUMBER"); }},
        {u"分野", [](const Track& t) { return joined(t, "GENRE"); }},
    };
    return mapping;
}

QVector<QVariant> songRow(const Track& track, const QString& cdTitle, qint64 songId)
{
    const TableDef& table = kyokuTable();
    QVector<QVariant> row(table.columns().size());
    row[table.indexOf(QStringLiteral("CD名"))] = cdTitle;
    row[table.indexOf(QStringLiteral("曲ID"))] = songId;
    for (const SongField& f : songMapping()) {
        const QString value = f.value(track);
        if (!value.isEmpty())
            row[table.indexOf(QString::fromUtf16(f.column))] = value;
    }
    return row;
}

QVector<QVariant> cdRow(const Album& album, qint64 cdid)
{
    const TableDef& table = cdnameTable();
    QVector<QVariant> row(table.columns().size());
    row[table.indexOf(QStringLiteral("CDID"))] = cdid;
    row[table.indexOf(QStringLiteral("CD名"))] = album.title;
    if (!album.label.isEmpty())
        row[table.indexOf(QStringLiteral("発売元"))] = album.label;
    return row;
}

Found findAlbums(const QString& root, const importer::Progress& progress)
{
    Found found;
    QStringList files;
    listMusic(root, &files, &found.unreadable);
    files.sort();
    // One album per folder, ALBUM and disc.
    struct Key {
        QString folder, album;
        int disc;
        bool operator==(const Key&) const = default;
    };
    QVector<std::pair<Key, Album>> groups;
    QHash<QString, QSet<int>> discsOfTitle; // which discs each album title has, anywhere
    for (int i = 0; i < files.size(); ++i) {
        if (progress && !progress(i, files.size()))
            throw DbError(LegacyReader::Cancelled, QString());
        Track track;
        try {
            track = readTrack(files.at(i));
        } catch (const DbError& e) {
            found.unreadable << e.description();
            continue;
        }
        found.warnings << track.warnings;
        sayDroppedValues(track, &found.warnings);
        const QString folder = QFileInfo(files.at(i)).absolutePath();
        const QString album = track.first("ALBUM");
        const Key key{folder, album.isEmpty() ? QFileInfo(folder).fileName() : album, track.disc};
        auto g = std::find_if(groups.begin(), groups.end(),
                              [&](const auto& group) { return group.first == key; });
        if (g == groups.end()) {
            groups.append({key, Album{folder, key.album, key.disc, key.album, QString(), {}, {}}});
            g = groups.end() - 1;
        }
        if (g->second.label.isEmpty())
            g->second.label = firstOf(track, {"LABEL", "ORGANIZATION", "PUBLISHER"});
        if (g->second.cover.isEmpty())
            g->second.cover = track.cover;
        g->second.tracks.append(std::move(track));
        discsOfTitle[key.album].insert(key.disc);
    }
    for (auto& [key, album] : groups) {
        std::sort(album.tracks.begin(), album.tracks.end(), trackLess);
        // a disc of a set says which; one disc alone keeps the album's name
        const QString total = album.tracks.front().first("DISCNUMBER").section(u'/', 1, 1);
        if (key.disc > 0 && (discsOfTitle.value(key.album).size() > 1 || total.toInt() > 1))
            album.title = QStringLiteral("%1 (Disc %2)").arg(key.album).arg(key.disc);
        if (album.cover.isEmpty())
            album.cover = coverBeside(album.folder, &found.unreadable);
        found.albums.append(std::move(album));
    }
    // the discs of a set in their order: Disc 2 before Disc 10
    std::stable_sort(found.albums.begin(), found.albums.end(), [](const Album& a, const Album& b) {
        if (a.folder != b.folder)
            return a.folder < b.folder;
        if (a.album != b.album)
            return a.album < b.album;
        return a.disc < b.disc;
    });
    // Songs belong to CDs by CD名: two CDs of one name from one import would
    // each show the songs of both. A later album of a name takes its own.
    QSet<QString> titles, taken;
    for (const Album& album : found.albums)
        titles.insert(album.title);
    for (Album& album : found.albums) {
        if (taken.contains(album.title)) {
            QString own;
            for (int n = 2; own.isEmpty() || titles.contains(own) || taken.contains(own); ++n)
                own = QStringLiteral("%1 (%2)").arg(album.title).arg(n);
            found.warnings << QStringLiteral(
                                  "フォルダー「%1」のアルバムは、同じ名前「%"
                                  "2」のアルバムがほかにもあるため「%3」として取り込みます。")
                                  .arg(QDir::toNativeSeparators(album.folder), album.title, own);
            album.title = own;
        }
        taken.insert(album.title);
    }
    found.unreadable.removeDuplicates(); // a picture beside two albums of one folder
    if (progress)
        progress(files.size(), files.size());
    return found;
}

QVector<qint64> addAlbums(Connection& cn, const QVector<Album>& albums,
                          const importer::Progress& progress)
{
    QVector<qint64> given;
    cn.transaction([&] {
        // numbered as the entry forms number their rows
        IdentifierCounter cdid(identifiers::largestCDID(cn));
        IdentifierCounter songId(identifiers::largestKyokuID(cn));
        importer::Rows rows;
        for (int i = 0; i < albums.size(); ++i) {
            if (progress && !progress(i, albums.size()))
                throw DbError(LegacyReader::Cancelled, QString());
            const Album& album = albums.at(i);
            given.append(cdid.take());
            rows.cds.append(cdRow(album, given.last()));
            for (const Track& track : album.tracks)
                rows.songs.append(songRow(track, album.title, songId.take()));
        }
        cn.insertRows(cdnameTable().name(), cdnameTable().fields(), rows.cds);
        cn.insertRows(kyokuTable().name(), kyokuTable().fields(), rows.songs);
        history::fileImport(cn, QStringLiteral("音楽ファイルから取り込み"),
                            history::importNote(rows.cds.size(), rows.songs.size()));
        if (progress && !progress(albums.size(), albums.size()))
            throw DbError(LegacyReader::Cancelled, QString());
    });
    return given;
}

} // namespace audio
