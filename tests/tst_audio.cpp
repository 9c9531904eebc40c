// CDs from ripped music files: the tags read from files the test makes
// itself (silent audio from sox or ffmpeg, tags written with TagLib), mapped
// onto a CD and its songs, numbered as the entry forms number them.
#include "store/audioimport.h"
#include "store/connection.h"
#include "store/tables.h"
#include "testsupport.h"

#include <QProcess>
#include <QTest>

#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tpropertymap.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

namespace {

TagLib::ByteVector vector(const QByteArray& b)
{
    return TagLib::ByteVector(b.constData(), uint(b.size()));
}

const QByteArray png = QByteArray::fromHex(
    "89504e470d0a1a0a0000000d4948445200000001000000010806000000"
    "1f15c4890000000d49444154789c6360f8cfc0000003010100c9fe92ef0000000049454e44"
    "ae426082");

// Tags written as "KEY=value|KEY=value", a key's second value after a tab.
QMap<QString, QStringList> tags(const QString& text)
{
    QMap<QString, QStringList> out;
    for (const QString& pair : text.split(u'|', Qt::SkipEmptyParts))
        out[pair.section(u'=', 0, 0)] = pair.section(u'=', 1).split(u'\t');
    return out;
}

// Silent audio of the kind its name ends in, with the tags and the pictures
// (type 3 a front cover, 4 a back one) embedded in the order given.
void make(const QString& path, const QString& tagged, double seconds = 1.5,
          const QList<std::pair<int, QByteArray>>& pictures = {})
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QString length = QString::number(seconds);
    const bool ffmpeg = path.endsWith(u".opus"_s) || path.endsWith(u".m4a"_s);
    const int status = ffmpeg
        ? QProcess::execute(u"ffmpeg"_s,
                            u"-loglevel error -f lavfi -i anullsrc=r=48000 -t"_s.split(u' ')
                                << length << path)
        : QProcess::execute(u"sox"_s,
                            {u"-n"_s, u"-r"_s, u"8000"_s, path, u"trim"_s, u"0"_s, length});
    QVERIFY2(status == 0, qPrintable(u"could not make "_s + path));
    if (tagged.isEmpty())
        return;
    TagLib::FileRef ref(QFile::encodeName(path).constData());
    TagLib::PropertyMap map;
    for (const auto& [key, values] : tags(tagged).asKeyValueRange()) {
        TagLib::StringList list;
        for (const QString& v : values)
            list.append(TagLib::String(v.toStdString(), TagLib::String::UTF8));
        map.insert(TagLib::String(key.toStdString(), TagLib::String::UTF8), list);
    }
    ref.file()->setProperties(map);
    for (const auto& [type, data] : pictures) {
        auto* flac = dynamic_cast<TagLib::FLAC::File*>(ref.file());
        auto* xiph = dynamic_cast<TagLib::Ogg::XiphComment*>(ref.tag());
        if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(ref.file())) {
            auto* p = new TagLib::ID3v2::AttachedPictureFrame;
            p->setType(TagLib::ID3v2::AttachedPictureFrame::Type(type));
            p->setPicture(vector(data));
            wav->ID3v2Tag()->addFrame(p);
        } else if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(ref.file())) {
            TagLib::MP4::CoverArtList covers;
            covers.append(TagLib::MP4::CoverArt(TagLib::MP4::CoverArt::PNG, vector(data)));
            mp4->tag()->setItem("covr", covers);
        } else {
            auto* p = new TagLib::FLAC::Picture;
            p->setType(TagLib::FLAC::Picture::Type(type));
            p->setData(vector(data));
            flac ? flac->addPicture(p) : xiph->addPicture(p);
        }
    }
    QVERIFY(ref.save());
}

// An MP3 of the album "big" whose ID3v2.3 title frame says Latin-1 and
// holds these bytes, as old Windows rippers wrote Shift_JIS.
void mp3(const QString& path, const QByteArray& title)
{
    make(path, {});
    TagLib::MPEG::File file(QFile::encodeName(path).constData());
    for (const auto& [id, text] : {std::pair("TALB"_ba, "big"_ba), std::pair("TIT2"_ba, title)}) {
        auto* frame
            = new TagLib::ID3v2::TextIdentificationFrame(vector(id), TagLib::String::Latin1);
        frame->setText(TagLib::String(vector(text), TagLib::String::Latin1));
        file.ID3v2Tag(true)->addFrame(frame);
    }
    QVERIFY(file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers, TagLib::ID3v2::v3));
}

// A row's values that are not NULL, as "column=value|column=value".
QString filled(const QVector<QVariant>& row, const TableDef& table = kyokuTable())
{
    QStringList out;
    for (int i = 0; i < row.size(); ++i)
        if (!row[i].isNull())
            out << table.fields()[i].name + u'=' + row[i].toString();
    return out.join(u'|');
}

QString songTitle(const audio::Track& t)
{
    return audio::songRow(t, QString(), 1).value(kyokuTable().indexOf(u"曲名"_s)).toString();
}

} // namespace

class TestAudio : public QObject {
    Q_OBJECT
private slots:
    void init() { m_folder = std::make_unique<StartupFolder>(); }
    void cleanup() { dropOwnCollection(), m_folder.reset(); }
    void classicalTagsMapOntoEveryField();
    void discsFoldersAndFilesWithoutTags();
    void doubtfulTagsAreSaid();

private:
    std::unique_ptr<StartupFolder> m_folder;
    QString music() { return m_folder->file(u"music"_s); }
};

void TestAudio::classicalTagsMapOntoEveryField()
{
    const QString common
        = u"ALBUM=交響曲集|LABEL=グラモフォン|COMPOSER=ベートーヴェン|"
          u"CONDUCTOR=クライバー|ORCHESTRA=ウィーン・フィル|ALBUMARTIST=クライバー|"
          u"GENRE=交響曲|DATE=1974-03|CATALOGNUMBER=POCG-3001|WORK=第5番|"_s;
    // the file names run against the track numbers: the tags decide; the
    // front cover is taken, not the back one before it
    make(music() + u"/b/01.flac"_s,
         common + u"TRACKNUMBER=2|TITLE=II|MOVEMENTNAME=Andante|PERFORMER:VIOLIN=独奏者C"_s, 65.2,
         {{4, "BACK"_ba}, {3, png}});
    make(music() + u"/b/02.flac"_s,
         common + u"TRACKNUMBER=1|TITLE=第1楽章|ARRANGER=編曲者|PERFORMER=独奏者A\t独奏者B"_s);
    const audio::Found found = audio::findAlbums(music());
    QVERIFY(found.albums.size() == 1 && found.albums[0].tracks.size() == 2);
    const audio::Album& a = found.albums.first();
    QCOMPARE(a.cover, png);
    QCOMPARE(filled(audio::cdRow(a, 8), cdnameTable()),
             u"CDID=8|CD名=交響曲集|発売元=グラモフォン"_s);
    const QString same = u"指揮者名=クライバー|演奏団体=ウィーン・フィル|"_s;
    const QString after = u"録音年月日=1974-03|原盤番号=POCG-3001|分野=交響曲"_s;
    QCOMPARE(filled(audio::songRow(a.tracks[0], a.title, 31)),
             u"CD名=交響曲集|曲ID=31|曲名=第1楽章|作曲者名=ベートーヴェン|編曲者名=編曲者|"_s + same
                 + u"ソリスト=独奏者A、独奏者B|録音時間=0:01|"_s + after);
    QCOMPARE(filled(audio::songRow(a.tracks[1], a.title, 32)),
             u"CD名=交響曲集|曲ID=32|曲名=第5番: Andante|作曲者名=ベートーヴェン|"_s + same
                 + u"ソリスト=独奏者C|録音時間=1:05|"_s + after);
    // the album's artist names the ensemble where none is named and it is
    // none of the performers; DATE before ORIGINALDATE
    const QString rules[][3] = {
        {u"ALBUMARTIST=楽団|PERFORMER=独奏者"_s, u"演奏団体"_s, u"楽団"_s},
        {u"ALBUMARTIST=独奏者|PERFORMER=独奏者"_s, u"演奏団体"_s, {}},
        {u"ENSEMBLE=合奏団|ORCHESTRA=楽団"_s, u"演奏団体"_s, u"合奏団"_s},
        {u"ORIGINALDATE=1960"_s, u"録音年月日"_s, u"1960"_s},
        {u"ORIGINALDATE=1960|DATE=1974"_s, u"録音年月日"_s, u"1974"_s},
    };
    for (const auto& [given, column, value] : rules) {
        audio::Track t;
        t.tags = tags(given);
        QCOMPARE(audio::songRow(t, {}, 1).value(kyokuTable().indexOf(column)).toString(), value);
    }
}

// Albums found and added with the next free numbers, or not at all when stopped.
void TestAudio::discsFoldersAndFilesWithoutTags()
{
    writeCollection(m_folder->path(), {cd(7, u"前からのCD"_s)},
                    {song(u"前からのCD"_s, 30, u"前からの曲"_s)});
    // a set of discs in one folder; a folder holding three albums, one a disc
    // of a set of two; a file that is no audio; an album without tags and its
    // cover beside it
    for (int disc : {10, 2, 1})
        for (int track : {2, 1})
            make(u"%1/set/d%2t%3.flac"_s.arg(music()).arg(disc).arg(track),
                 u"ALBUM=受難曲|DISCNUMBER=%1/10|TRACKNUMBER=%2|TITLE=第%1部 %2"_s.arg(disc).arg(
                     track));
    make(music() + u"/two/a.flac"_s, u"ALBUM=前奏曲集|TITLE=前奏曲"_s);
    make(music() + u"/two/b.flac"_s, u"ALBUM=練習曲集|TITLE=練習曲"_s);
    make(music() + u"/two/c.flac"_s, u"ALBUM=組曲|DISCNUMBER=1/2"_s);
    make(music() + u"/無題のCD/トラック2.flac"_s, {}, 1);
    make(music() + u"/無題のCD/トラック1.flac"_s, {}, 1);
    for (const auto& [name, bytes] : {std::pair(u"/two/notes.mp3"_s, "これは音楽ではありません"_ba),
                                      std::pair(u"/無題のCD/folder.jpg"_s, "JPEGBYTES"_ba)})
        QVERIFY(writeBytes(music() + name, bytes));
    int told = 0;
    const audio::Found found = audio::findAlbums(music(), [&](int, int) { return ++told > 0; });
    QVERIFY2(told >= 12 && found.unreadable.size() == 1
                 && found.unreadable.first().contains(u"notes.mp3"_s),
             qPrintable(found.unreadable.join(u'\n')));
    QStringList titles;
    for (const audio::Album& a : found.albums) {
        QStringList songs;
        for (const audio::Track& t : a.tracks)
            songs << songTitle(t);
        titles << a.title + u" = "_s + songs.join(u" / "_s);
    }
    QCOMPARE(titles.join(u'|'),
             u"受難曲 (Disc 1) = 第1部 1 / 第1部 2|受難曲 (Disc 2) = 第2部 1 / 第2部 2|"
             u"受難曲 (Disc 10) = 第10部 1 / 第10部 2|前奏曲集 = 前奏曲|組曲 (Disc 1) = c|"
             u"練習曲集 = 練習曲|無題のCD = トラック1 / トラック2"_s);
    QCOMPARE(found.albums.last().cover, "JPEGBYTES"_ba);
    Connection cn(m_folder->file(u"cdkaisou.db"_s));
    // stopped at the second album: nothing at all is added
    QVERIFY_THROWS_EXCEPTION(
        DbError, audio::addAlbums(cn, found.albums, [](int done, int) { return done < 1; }));
    QCOMPARE(readColumn(m_folder->path(), u"kyoku"_s, u"曲ID"_s), QStringList{u"30"_s});
    QCOMPARE(audio::addAlbums(cn, found.albums), (QVector<qint64>{8, 9, 10, 11, 12, 13, 14}));
    QCOMPARE(readColumn(m_folder->path(), u"cdname"_s, u"CD名"_s).join(u'|'),
             u"前からのCD|受難曲 (Disc 1)|受難曲 (Disc 2)|受難曲 (Disc 10)|前奏曲集|組曲 (Disc 1)|"
             u"練習曲集|無題のCD"_s);
    QCOMPARE(readColumn(m_folder->path(), u"kyoku"_s, u"曲ID"_s).join(u' '),
             u"30 31 32 33 34 35 36 37 38 39 40 41"_s);
}

// A tag that is not what it says is named, never read into nonsense.
void TestAudio::doubtfulTagsAreSaid()
{
    // Each row's file holds TITLE, or "from=to": the bytes no tagger writes,
    // written as `from`, then patched to `to` (\xNN a byte); an MP3's in a
    // Latin-1 frame. It is found as the CD名 / 曲名 given, the warning said.
    auto row = [this](const char* name, const char* file, const QString& value, const QString& disc,
                      const QString& song, const QString& said = {}, const QString& cd = u"big"_s) {
        if (QTest::currentTestFailed())
            return;
        QVERIFY(QDir(music()).removeRecursively());
        const QString path = music() + u"/x/"_s + QLatin1String(file);
        auto bytes = [](QString text) {
            return QByteArray::fromPercentEncoding(text.replace(u"\\x"_s, u"%"_s).toUtf8());
        };
        const QStringList patch = value.split(u'=');
        const QByteArray from = bytes(patch[0]);
        if (path.endsWith(u".mp3"_s))
            mp3(path, from.startsWith('\0') ? from.mid(1) : from);
        else
            make(path, u"ALBUM=big|DISCNUMBER="_s + disc + u"|TITLE="_s + QString::fromUtf8(from),
                 1, {{3, png}});
        if (QByteArray all = bytesOf(path); patch.size() == 2)
            QVERIFY(
                all.contains(from)
                && writeBytes(path, all.replace(all.indexOf(from), from.size(), bytes(patch[1]))));
        const audio::Found read = audio::findAlbums(music());
        QVERIFY2(read.unreadable.isEmpty() && read.albums.size() == 1, name);
        const QString warnings = read.warnings.join(u'\n'), label = QLatin1String(name) + u": "_s;
        QCOMPARE(label + read.albums[0].title + u" / "_s + songTitle(read.albums[0].tracks[0]),
                 label + cd + u" / "_s + song);
        QVERIFY2(read.albums[0].cover == (path.endsWith(u".mp3"_s) ? QByteArray() : png)
                     && read.warnings.size() == (said.isEmpty() ? 0 : 1) && warnings.contains(said),
                 qPrintable(label + warnings));
    };
    const QString bad = u"「TITLE」は文字コードが正しくありません"_s;
    const QString parted = u"「TITLE」には値が 2 個あります。最初の「前半」"_s;
    const QString noNumber = u"「DISCNUMBER」の「%1」は番号として読めません"_s;
    const QString huge = u"100000000000000000001610612739/2"_s;
    for (const char* kind : {"1.ogg", "1.opus", "1.wav", "1.m4a"})
        row(kind, kind, u"曲"_s, {}, u"曲"_s);
    row("a 30-digit DISCNUMBER", "1.flac", u"曲"_s, huge, u"曲"_s, noNumber.arg(huge));
    row("a DISCNUMBER at the limit", "1.flac", u"曲"_s, u"9999/9999"_s, u"曲"_s, {},
        u"big (Disc 9999)"_s);
    row("a DISCNUMBER of no number", "1.flac", u"曲"_s, u"A"_s, u"曲"_s, noNumber.arg(u"A"_s));
    row("a NUL in a Vorbis comment", "1.flac", u"前半X後半=前半\\x00後半"_s, {}, u"前半"_s, parted);
    row("no UTF-8 in a FLAC's comment", "1.flac", u"XXXX=\\xff\\xfeXX"_s, {}, u"1"_s, bad);
    row("no UTF-8 in an Ogg's comment", "1.ogg", u"XXXX=\\xff\\xfeXX"_s, {}, u"1"_s, bad);
    row("an ID3 frame of no encoding", "1.mp3", u"\\x00XXXX=\\x07XXXX"_s, {}, u"1"_s, bad);
    row("an ID3 frame in UTF-8", "1.mp3", u"\\x00XXXX=\\x03XXXX"_s, {}, u"XXXX"_s);
    // Shift_JIS as old Windows rippers wrote it, in frames that say Latin-1
    row("Shift_JIS", "1.mp3", u"\\x89\\x5e\\x96\\xbd"_s, {}, u"運命"_s);
    row("real Latin-1", "1.mp3", u"S\\xe9verac"_s, {}, u"Séverac"_s);
    row("no whole Shift_JIS", "1.mp3", u"\\x89\\x5e\\x96"_s, {},
        QString::fromLatin1("\x89\x5e\x96"));
    row("a NUL in an ID3 frame", "1.mp3",
        u"\\x91\\x4f\\x94\\xbcX\\x8c\\xe3=\\x91\\x4f\\x94\\xbc\\x00\\x8c\\xe3"_s, {}, u"前半"_s,
        parted);
}

RONDELLA_TEST_GUILESS_MAIN(TestAudio)
#include "tst_audio.moc"
