// CDs from ripped music files: the tags read from files the test makes
// itself (silent audio from sox, tags written with TagLib), mapped onto a
// CD and its songs, numbered as the entry forms number them.
#include "store/audioimport.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/legacyreader.h"
#include "store/tables.h"
#include "testsupport.h"

#include <QDir>
#include <QProcess>
#include <QTest>

#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>

namespace {

TagLib::String str(const QString& s)
{
    return TagLib::String(s.toStdString(), TagLib::String::UTF8);
}

// Silent audio of the length given, made by sox.
void silence(const QString& path, double seconds)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    const int status = QProcess::execute(
        "sox", {"-n", "-r", "8000", "-c", "1", path, "trim", "0", QString::number(seconds)});
    QVERIFY2(status == 0, qPrintable("sox could not make " + path));
}

void flac(const QString& path, const QMap<QString, QStringList>& tags, double seconds = 1.5,
          const QByteArray& cover = {})
{
    silence(path, seconds);
    const QByteArray name = QFile::encodeName(path);
    TagLib::FLAC::File file(name.constData());
    TagLib::PropertyMap map;
    for (auto it = tags.begin(); it != tags.end(); ++it) {
        TagLib::StringList values;
        for (const QString& v : it.value())
            values.append(str(v));
        map.insert(str(it.key()), values);
    }
    file.setProperties(map);
    if (!cover.isEmpty()) {
        auto* picture = new TagLib::FLAC::Picture;
        picture->setType(TagLib::FLAC::Picture::FrontCover);
        picture->setMimeType("image/png");
        picture->setData(TagLib::ByteVector(cover.constData(), uint(cover.size())));
        file.addPicture(picture);
    }
    QVERIFY(file.save());
}

// An MP3 whose ID3v2.3 frames say Latin-1 and hold these bytes, as an old
// Windows ripper wrote Shift_JIS.
void mp3WithRawFrames(const QString& path, const QMap<QByteArray, QByteArray>& frames)
{
    silence(path, 1.5);
    const QByteArray name = QFile::encodeName(path);
    TagLib::MPEG::File file(name.constData());
    TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
    for (auto it = frames.begin(); it != frames.end(); ++it) {
        auto* frame = new TagLib::ID3v2::TextIdentificationFrame(
            TagLib::ByteVector(it.key().constData(), 4), TagLib::String::Latin1);
        frame->setText(
            TagLib::String(TagLib::ByteVector(it.value().constData(), uint(it.value().size())),
                           TagLib::String::Latin1));
        tag->addFrame(frame);
    }
    QVERIFY(file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers, TagLib::ID3v2::v3));
}

QByteArray png()
{
    return QByteArray::fromHex("89504e470d0a1a0a0000000d4948445200000001000000010806000000"
                               "1f15c4890000000d49444154789c6360f8cfc0000003010100c9fe92ef"
                               "0000000049454e44ae426082");
}

QString column(const QVector<QVariant>& row, const TableDef& table, const char* name)
{
    return row.value(table.indexOf(QString::fromUtf8(name))).toString();
}

} // namespace

class TestAudio : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void classicalTagsMapOntoEveryField();
    void shiftJisInLatin1FramesIsDecoded();
    void discsFoldersAndFilesWithoutTags();
    void addedWithTheNextNumbersOrNotAtAll();
    void oggAndWavTagsAreRead();
    void opusAndM4aTagsAreRead();
    void doubtfulTagsAreSaid_data();
    void doubtfulTagsAreSaid();

private:
    std::unique_ptr<StartupFolder> m_folder;
    QString music() { return m_folder->file("music"); }
};

void TestAudio::init()
{
    m_folder = std::make_unique<StartupFolder>();
}

void TestAudio::cleanup()
{
    dropOwnCollection();
    m_folder.reset();
}

void TestAudio::classicalTagsMapOntoEveryField()
{
    const QString album = "ベートーヴェン：交響曲第5番";
    const QMap<QString, QStringList> common = {
        {"ALBUM", {album}},
        {"LABEL", {"ドイツ・グラモフォン"}},
        {"COMPOSER", {"ベートーヴェン"}},
        {"CONDUCTOR", {"カルロス・クライバー"}},
        {"ORCHESTRA", {"ウィーン・フィルハーモニー管弦楽団"}},
        {"ALBUMARTIST", {"カルロス・クライバー"}},
        {"GENRE", {"交響曲"}},
        {"DATE", {"1974-03"}},
        {"CATALOGNUMBER", {"POCG-3001"}},
        {"WORK", {"交響曲第5番 ハ短調 作品67"}},
    };
    auto with = [&](QMap<QString, QStringList> more) {
        for (auto it = common.begin(); it != common.end(); ++it)
            more.insert(it.key(), it.value());
        return more;
    };
    // the file names run against the track numbers: the tags decide
    flac(music() + "/b/01.flac",
         with({{"TRACKNUMBER", {"2"}},
               {"TITLE", {"II"}},
               {"MOVEMENTNAME", {"Andante con moto"}},
               {"PERFORMER:VIOLIN", {"独奏者C"}}}),
         65.2, png());
    flac(music() + "/b/02.flac",
         with({{"TRACKNUMBER", {"1"}},
               {"TITLE", {"第1楽章"}},
               {"ARRANGER", {"編曲者"}},
               {"PERFORMER", {"独奏者A", "独奏者B"}}}),
         1.5);
    const audio::Found found = audio::findAlbums(music());
    QCOMPARE(found.unreadable, QStringList());
    QCOMPARE(found.albums.size(), 1);
    const audio::Album& a = found.albums.first();
    QCOMPARE(a.title, album);
    QCOMPARE(a.label, QString("ドイツ・グラモフォン"));
    QCOMPARE(a.cover, png());
    QCOMPARE(a.tracks.size(), 2);
    const TableDef& k = kyokuTable();
    const QVector<QVariant> first = audio::songRow(a.tracks[0], a.title, 31);
    const QVector<QVariant> second = audio::songRow(a.tracks[1], a.title, 32);
    QCOMPARE(column(first, k, "CD名"), album);
    QCOMPARE(column(first, k, "曲ID"), QString("31"));
    QCOMPARE(column(first, k, "曲名"), QString("第1楽章")); // no movement name: the title
    QCOMPARE(column(second, k, "曲名"), QString("交響曲第5番 ハ短調 作品67: Andante con moto"));
    QCOMPARE(column(first, k, "作曲者名"), QString("ベートーヴェン"));
    QCOMPARE(column(first, k, "編曲者名"), QString("編曲者"));
    QCOMPARE(column(second, k, "編曲者名"), QString());
    QCOMPARE(column(first, k, "指揮者名"), QString("カルロス・クライバー"));
    QCOMPARE(column(first, k, "演奏団体"), QString("ウィーン・フィルハーモニー管弦楽団"));
    QCOMPARE(column(first, k, "ソリスト"), QString("独奏者A、独奏者B"));
    QCOMPARE(column(second, k, "ソリスト"), QString("独奏者C")); // PERFORMER:VIOLIN
    QCOMPARE(column(first, k, "分野"), QString("交響曲"));
    QCOMPARE(column(first, k, "録音時間"), QString("0:01"));
    QCOMPARE(column(second, k, "録音時間"), QString("1:05"));
    QCOMPARE(column(first, k, "録音年月日"), QString("1974-03"));
    QCOMPARE(column(first, k, "原盤番号"), QString("POCG-3001"));
    QVERIFY(first.value(k.indexOf("録音会場")).isNull());
    const QVector<QVariant> cd = audio::cdRow(a, 8);
    QCOMPARE(column(cd, cdnameTable(), "CDID"), QString("8"));
    QCOMPARE(column(cd, cdnameTable(), "CD名"), album);
    QCOMPARE(column(cd, cdnameTable(), "発売元"), QString("ドイツ・グラモフォン"));
    // the album's artist names the ensemble only where no ensemble is named
    // and it is none of the performers
    audio::Track t;
    t.tags = {{"ALBUMARTIST", {"ベルリン・フィル"}}, {"PERFORMER", {"独奏者A"}}};
    QCOMPARE(column(audio::songRow(t, "x", 1), k, "演奏団体"), QString("ベルリン・フィル"));
    t.tags = {{"ALBUMARTIST", {"独奏者A"}}, {"PERFORMER", {"独奏者A"}}};
    QCOMPARE(column(audio::songRow(t, "x", 1), k, "演奏団体"), QString());
    t.tags = {{"ENSEMBLE", {"アンサンブル"}}, {"ORCHESTRA", {"管弦楽団"}}};
    QCOMPARE(column(audio::songRow(t, "x", 1), k, "演奏団体"), QString("アンサンブル"));
    t.tags = {{"ORIGINALDATE", {"1960"}}};
    QCOMPARE(column(audio::songRow(t, "x", 1), k, "録音年月日"), QString("1960"));
    t.tags.insert("DATE", {"1974"});
    QCOMPARE(column(audio::songRow(t, "x", 1), k, "録音年月日"), QString("1974"));
}

void TestAudio::shiftJisInLatin1FramesIsDecoded()
{
    mp3WithRawFrames(music() + "/sjis/01.mp3",
                     {{"TALB", QByteArray::fromHex("8cf08bbf8bc891e63594d4")},
                      {"TIT2", QByteArray::fromHex("895e96bd")},
                      {"TCOM", QByteArray::fromHex("8378815b8367815b839483468393")},
                      {"TPE3", "Caf\xe9"}});
    const audio::Found found = audio::findAlbums(music());
    QCOMPARE(found.albums.size(), 1);
    const audio::Track& t = found.albums.first().tracks.first();
    QCOMPARE(found.albums.first().title, QString("交響曲第5番"));
    QCOMPARE(t.first("TITLE"), QString("運命"));
    QCOMPARE(t.first("COMPOSER"), QString("ベートーヴェン"));
    QCOMPARE(t.first("CONDUCTOR"), QString("Café")); // real Latin-1 stays as it is
    QCOMPARE(audio::repairShiftJis("Séverac"), QString("Séverac")); // é then v: no Shift_JIS
    // bytes that are no whole Shift_JIS stay as read
    QCOMPARE(audio::repairShiftJis(QString::fromLatin1("\x89\x5e\x96")),
             QString::fromLatin1("\x89\x5e\x96"));
}

void TestAudio::discsFoldersAndFilesWithoutTags()
{
    // a set of two discs in one folder; a folder holding two albums; a file
    // that is no audio; an album without tags and its cover beside it
    for (int disc : {10, 2, 1})
        for (int track : {2, 1})
            flac(QString("%1/set/d%2t%3.flac").arg(music()).arg(disc).arg(track),
                 {{"ALBUM", {"マタイ受難曲"}},
                  {"DISCNUMBER", {QString("%1/10").arg(disc)}},
                  {"TRACKNUMBER", {QString::number(track)}},
                  {"TITLE", {QString("第%1部 %2").arg(disc).arg(track)}}});
    flac(music() + "/two/a.flac", {{"ALBUM", {"前奏曲集"}}, {"TITLE", {"前奏曲"}}});
    flac(music() + "/two/b.flac", {{"ALBUM", {"練習曲集"}}, {"TITLE", {"練習曲"}}});
    QFile text(music() + "/two/notes.mp3");
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("これは音楽ではありません");
    text.close();
    silence(music() + "/無題のCD/トラック2.flac", 1);
    silence(music() + "/無題のCD/トラック1.flac", 1);
    QFile cover(music() + "/無題のCD/folder.jpg");
    QVERIFY(cover.open(QIODevice::WriteOnly));
    cover.write("JPEGBYTES");
    cover.close();
    int told = 0;
    const audio::Found found = audio::findAlbums(music(), [&](int, int) { return ++told > 0; });
    QVERIFY(told >= 10);
    QCOMPARE(found.unreadable.size(), 1);
    QVERIFY2(found.unreadable.first().contains("notes.mp3"), qPrintable(found.unreadable.first()));
    QStringList titles;
    for (const audio::Album& a : found.albums) {
        QStringList songs;
        for (const audio::Track& t : a.tracks)
            songs << audio::songRow(t, a.title, 1).value(kyokuTable().indexOf("曲名")).toString();
        titles << a.title + " = " + songs.join(" / ");
    }
    QCOMPARE(titles,
             (QStringList{"マタイ受難曲 (Disc 1) = 第1部 1 / 第1部 2",
                          "マタイ受難曲 (Disc 2) = 第2部 1 / 第2部 2",
                          "マタイ受難曲 (Disc 10) = 第10部 1 / 第10部 2", "前奏曲集 = 前奏曲",
                          "練習曲集 = 練習曲", "無題のCD = トラック1 / トラック2"}));
    QCOMPARE(found.albums.last().cover, QByteArray("JPEGBYTES"));
}

void TestAudio::addedWithTheNextNumbersOrNotAtAll()
{
    writeCollection(m_folder->path(), {cd(7, "前からのCD")},
                    {song("前からのCD", 30, "前からの曲")});
    flac(music() + "/a/1.flac", {{"ALBUM", {"一枚目"}}, {"TRACKNUMBER", {"1"}}, {"TITLE", {"一"}}});
    flac(music() + "/a/2.flac", {{"ALBUM", {"一枚目"}}, {"TRACKNUMBER", {"2"}}, {"TITLE", {"二"}}});
    flac(music() + "/b/1.flac", {{"ALBUM", {"二枚目"}}, {"TITLE", {"三"}}});
    const audio::Found found = audio::findAlbums(music());
    QCOMPARE(found.albums.size(), 2);
    const QString file = m_folder->file("cdkaisou.db");
    {
        // stopped at the second album: nothing at all is added
        Connection cn(file);
        try {
            audio::addAlbums(cn, found.albums, [](int done, int) { return done < 1; });
            QFAIL("not stopped");
        } catch (const DbError& e) {
            QCOMPARE(e.number(), int(LegacyReader::Cancelled));
        }
    }
    QCOMPARE(readColumn(m_folder->path(), "cdname", "CDID"), QStringList{"7"});
    QCOMPARE(readColumn(m_folder->path(), "kyoku", "曲ID"), QStringList{"30"});
    {
        Connection cn(file);
        QCOMPARE(audio::addAlbums(cn, found.albums), (QVector<qint64>{8, 9}));
    }
    QCOMPARE(readColumn(m_folder->path(), "cdname", "CD名"),
             (QStringList{"前からのCD", "一枚目", "二枚目"}));
    QCOMPARE(readColumn(m_folder->path(), "kyoku", "曲ID"), (QStringList{"30", "31", "32", "33"}));
    QCOMPARE(readColumn(m_folder->path(), "kyoku", "曲名"),
             (QStringList{"前からの曲", "一", "二", "三"}));
    QCOMPARE(readColumn(m_folder->path(), "kyoku", "CD名").last(), QString("二枚目"));
}

// Ogg Vorbis (Xiph comments) and WAV with an ID3 tag and its picture.
void TestAudio::oggAndWavTagsAreRead()
{
    silence(music() + "/ogg/1.ogg", 1);
    {
        const QByteArray name = QFile::encodeName(music() + "/ogg/1.ogg");
        TagLib::Ogg::Vorbis::File file(name.constData());
        TagLib::PropertyMap map;
        map.insert("ALBUM", str("ブラームス：交響曲第4番"));
        map.insert("COMPOSER", str("ブラームス"));
        map.insert("TITLE", str("第1楽章"));
        file.setProperties(map);
        QVERIFY(file.save());
    }
    silence(music() + "/wav/1.wav", 1);
    {
        const QByteArray name = QFile::encodeName(music() + "/wav/1.wav");
        TagLib::RIFF::WAV::File file(name.constData());
        TagLib::PropertyMap map;
        map.insert("ALBUM", str("シューベルト：冬の旅"));
        map.insert("PERFORMER", str("歌手"));
        file.ID3v2Tag()->setProperties(map);
        auto* picture = new TagLib::ID3v2::AttachedPictureFrame;
        picture->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
        picture->setPicture(TagLib::ByteVector(png().constData(), uint(png().size())));
        file.ID3v2Tag()->addFrame(picture);
        QVERIFY(file.save());
    }
    const audio::Found found = audio::findAlbums(music());
    QCOMPARE(found.unreadable, QStringList());
    QCOMPARE(found.albums.size(), 2);
    const audio::Album& ogg = found.albums[0];
    QCOMPARE(ogg.title, QString("ブラームス：交響曲第4番"));
    QCOMPARE(ogg.tracks.first().first("COMPOSER"), QString("ブラームス"));
    QCOMPARE(ogg.tracks.first().seconds, 1);
    const audio::Album& wav = found.albums[1];
    QCOMPARE(wav.title, QString("シューベルト：冬の旅"));
    QCOMPARE(wav.tracks.first().first("PERFORMER"), QString("歌手"));
    QCOMPARE(wav.cover, png());
}

// Opus (Xiph comments with a picture) and M4A (MP4 atoms with its cover),
// made by ffmpeg.
void TestAudio::opusAndM4aTagsAreRead()
{
    auto make = [](const QString& path, const QStringList& codec) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        const int status
            = QProcess::execute("ffmpeg",
                                QStringList{"-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                            "anullsrc=r=48000:cl=mono", "-t", "1"}
                                    + codec + QStringList{path});
        QVERIFY2(status == 0, qPrintable("ffmpeg could not make " + path));
    };
    make(music() + "/opus/1.opus", {"-c:a", "libopus"});
    {
        const QByteArray name = QFile::encodeName(music() + "/opus/1.opus");
        TagLib::Ogg::Opus::File file(name.constData());
        TagLib::PropertyMap map;
        map.insert("ALBUM", str("ドビュッシー：前奏曲集"));
        map.insert("CONDUCTOR", str("指揮者"));
        file.setProperties(map);
        auto* picture = new TagLib::FLAC::Picture;
        picture->setType(TagLib::FLAC::Picture::FrontCover);
        picture->setData(TagLib::ByteVector(png().constData(), uint(png().size())));
        file.tag()->addPicture(picture);
        QVERIFY(file.save());
    }
    make(music() + "/m4a/1.m4a", {"-c:a", "aac"});
    {
        const QByteArray name = QFile::encodeName(music() + "/m4a/1.m4a");
        TagLib::MP4::File file(name.constData());
        TagLib::PropertyMap map;
        map.insert("ALBUM", str("ラヴェル：ボレロ"));
        map.insert("COMPOSER", str("ラヴェル"));
        file.setProperties(map);
        TagLib::MP4::CoverArtList covers;
        covers.append(TagLib::MP4::CoverArt(
            TagLib::MP4::CoverArt::PNG, TagLib::ByteVector(png().constData(), uint(png().size()))));
        file.tag()->setItem("covr", covers);
        QVERIFY(file.save());
    }
    const audio::Found found = audio::findAlbums(music());
    QCOMPARE(found.unreadable, QStringList());
    QCOMPARE(found.albums.size(), 2);
    const audio::Album& m4a = found.albums[0];
    QCOMPARE(m4a.title, QString("ラヴェル：ボレロ"));
    QCOMPARE(m4a.tracks.first().first("COMPOSER"), QString("ラヴェル"));
    QCOMPARE(m4a.cover, png());
    const audio::Album& opus = found.albums[1];
    QCOMPARE(opus.title, QString("ドビュッシー：前奏曲集"));
    QCOMPARE(opus.tracks.first().first("CONDUCTOR"), QString("指揮者"));
    QCOMPARE(opus.tracks.first().seconds, 1);
    QCOMPARE(opus.cover, png());
}

void TestAudio::doubtfulTagsAreSaid_data()
{
    QTest::addColumn<QString>("file");
    // TITLE, or "from=to": the bytes no tagger writes, written as `from`, then
    // patched to `to` (\xNN a byte)
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("disc");
    QTest::addColumn<QString>("cd"); // the CD名 found
    QTest::addColumn<QString>("song"); // the 曲名 found
    QTest::addColumn<QString>("said");
    auto row = [](const char* name, const char* file, const char* value, const char* disc,
                  const char* cd, const char* song, const char* said) {
        QTest::newRow(name) << file << value << disc << cd << song << said;
    };
    const char* const badEncoding = "「TITLE」は文字コードが正しくありません";
    const char* const parted = "「TITLE」には値が 2 個あります。最初の「前半」";
    row("a 30-digit DISCNUMBER", "1.flac", "曲", "100000000000000000001610612739/2", "big", "曲",
        "「DISCNUMBER」の「100000000000000000001610612739/2」は番号として読めません");
    row("a DISCNUMBER at the limit", "1.flac", "曲", "9999/9999", "big (Disc 9999)", "曲", "");
    row("a DISCNUMBER of no number", "1.flac", "曲", "A", "big", "曲",
        "「DISCNUMBER」の「A」は番号として読めません");
    row("a NUL in a Vorbis comment", "1.flac", "前半X後半=前半\\x00後半", "", "big", "前半",
        parted);
    row("no UTF-8 in a FLAC's comment", "1.flac", "XXXX=\\xff\\xfeXX", "", "big", "1", badEncoding);
    row("no UTF-8 in an Ogg's comment", "1.ogg", "XXXX=\\xff\\xfeXX", "", "big", "1", badEncoding);
    row("an ID3 frame of no encoding", "1.mp3", "\\x00XXXX=\\x07XXXX", "", "big", "1", badEncoding);
    // Latin-1 frames, Japanese as Shift_JIS bytes
    row("a NUL in an ID3 frame", "1.mp3",
        "\\x91\\x4f\\x94\\xbcX\\x8c\\xe3=\\x91\\x4f\\x94\\xbc\\x00\\x8c\\xe3", "", "big", "前半",
        parted);
}

// A tag that is not what it says is named, never read into nonsense.
void TestAudio::doubtfulTagsAreSaid()
{
    QFETCH(QString, file);
    QFETCH(QString, value);
    QFETCH(QString, disc);
    QFETCH(QString, cd);
    QFETCH(QString, song);
    QFETCH(QString, said);
    const QString path = music() + "/x/" + file;
    auto bytes = [](QString text) {
        return QByteArray::fromPercentEncoding(text.replace("\\x", "%").toUtf8());
    };
    const QStringList patch = value.split('=');
    const QByteArray from = bytes(patch[0]);
    QMap<QString, QStringList> tags{{"ALBUM", {"big"}}, {"TITLE", {QString::fromUtf8(from)}}};
    if (!disc.isEmpty())
        tags["DISCNUMBER"] = {disc};
    if (file.endsWith(".flac")) {
        flac(path, tags);
    } else if (file.endsWith(".mp3")) {
        mp3WithRawFrames(path,
                         {{"TALB", "big"}, {"TIT2", from.startsWith('\0') ? from.mid(1) : from}});
    } else {
        silence(path, 1);
        const QByteArray name = QFile::encodeName(path);
        TagLib::Ogg::Vorbis::File ogg(name.constData());
        TagLib::PropertyMap map;
        for (auto it = tags.begin(); it != tags.end(); ++it)
            map.insert(str(it.key()), str(it.value().first()));
        ogg.setProperties(map);
        QVERIFY(ogg.save());
    }
    if (patch.size() == 2) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QByteArray all = f.readAll();
        const qsizetype at = all.indexOf(from);
        QVERIFY(at >= 0);
        f.seek(0);
        f.write(all.replace(at, from.size(), bytes(patch[1])));
    }
    const audio::Found found = audio::findAlbums(music());
    QCOMPARE(found.unreadable, QStringList());
    QCOMPARE(found.albums.size(), 1);
    QCOMPARE(found.albums.first().title, cd);
    const audio::Track& t = found.albums.first().tracks.first();
    QCOMPARE(audio::songRow(t, cd, 1).value(kyokuTable().indexOf("曲名")).toString(), song);
    QCOMPARE(found.warnings.size(), said.isEmpty() ? 0 : 1);
    QVERIFY2(found.warnings.join('\n').contains(said), qPrintable(found.warnings.join('\n')));
}

RONDELLA_TEST_GUILESS_MAIN(TestAudio)
#include "tst_audio.moc"
