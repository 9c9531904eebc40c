#include "audioimport.h"

#include "connection.h"
#include "dberror.h"
#include "legacyreader.h"
#include "tables.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>

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

QByteArray coverBeside(const QString& folder)
{
    for (const QString& name : coverNames) {
        QFile file(QDir(folder).filePath(name));
        if (file.open(QIODevice::ReadOnly))
            return file.readAll();
    }
    return QByteArray();
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
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Readable, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (isAudioFile(path))
            files << path;
    }
    files.sort();
    Found found;
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
            album.cover = coverBeside(album.folder);
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
    if (progress)
        progress(files.size(), files.size());
    return found;
}

QVector<qint64> addAlbums(Connection& cn, const QVector<Album>& albums,
                          const importer::Progress& progress)
{
    QVector<qint64> given;
    cn.transaction([&] {
        // as the entry forms count: one past the largest number stored
        qint64 cdid = cn.column(QStringLiteral("SELECT COALESCE(MAX(CDID), 0) FROM cdname"))
                          .value(0)
                          .toLongLong();
        qint64 songId = cn.column(QStringLiteral("SELECT COALESCE(MAX(曲ID), 0) FROM kyoku"))
                            .value(0)
                            .toLongLong();
        importer::Rows rows;
        for (int i = 0; i < albums.size(); ++i) {
            if (progress && !progress(i, albums.size()))
                throw DbError(LegacyReader::Cancelled, QString());
            const Album& album = albums.at(i);
            rows.cds.append(cdRow(album, ++cdid));
            given.append(cdid);
            for (const Track& track : album.tracks)
                rows.songs.append(songRow(track, album.title, ++songId));
        }
        cn.insertRows(cdnameTable().name(), cdnameTable().fields(), rows.cds);
        cn.insertRows(kyokuTable().name(), kyokuTable().fields(), rows.songs);
        if (progress && !progress(albums.size(), albums.size()))
            throw DbError(LegacyReader::Cancelled, QString());
    });
    return given;
}

} // namespace audio
