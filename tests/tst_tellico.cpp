// Collections kept in Tellico, brought in by the program itself
// (rondella --import-tellico) and read back from the file.
#include "mainui.h"
#include "store/dberror.h"
#include "store/tables.h"
#include "store/tellico.h"
#include "testsupport.h"

#include <QBuffer>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <zip.h>

using namespace Qt::StringLiterals;

namespace {

const QString program = QString::fromUtf8(RONDELLA_PROGRAM);

QString fixture(const QString& name)
{
    return QString::fromUtf8(TELLICO_FIXTURES "/") + name;
}

QByteArray png()
{
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::darkRed);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A collection as Tellico writes it: its DTD named, its namespace, the
// pictures named in <images> and held beside the XML (or inside it).
QByteArray tellicoXml(const QString& entries, const QString& images = {},
                      const QString& type = u"4"_s)
{
    return QString::fromUtf8(bytesOf(fixture(u"collection.xml"_s)))
        .replace(u"@TYPE@"_s, type)
        .replace(u"@ENTRIES@"_s, entries)
        .replace(u"@IMAGES@"_s, images)
        .toUtf8();
}

// Three entries: a set of two discs on CD with everything a CD can carry,
// a record, and an entry whose price is no number.
const QString boxSet = QString::fromUtf8(bytesOf(fixture(u"boxset.xml"_s)));

const QString pictureNamed = QString::fromUtf8(bytesOf(fixture(u"images.xml"_s)));

// A ZIP holding these files, written by libzip.
QByteArray zipOf(const QList<std::pair<QString, QByteArray>>& files)
{
    const QString path = QDir::temp().filePath(u"tellico-test.zip"_s);
    QFile::remove(path);
    int error = 0;
    zip_t* z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    std::vector<QByteArray> kept; // libzip reads the buffers when it closes
    for (const auto& [name, bytes] : files) {
        kept.push_back(bytes);
        zip_source_t* s
            = zip_source_buffer(z, kept.back().constData(), zip_uint64_t(kept.back().size()), 0);
        zip_file_add(z, name.toUtf8().constData(), s, ZIP_FL_ENC_UTF_8);
    }
    zip_close(z);
    const QByteArray bytes = bytesOf(path);
    QFile::remove(path);
    return bytes;
}

struct Ran {
    int exit = -1;
    QString out, err;
};

// What the read made of the entries, a line each: a CD (its title, stars,
// loans), its note and its songs; an entry skipped.
QStringList described(const tellico::Found& found)
{
    QStringList lines;
    const auto text = [](const QVector<QVariant>& song, const char16_t* column) {
        return song.at(kyokuTable().indexOf(QString::fromUtf16(column))).toString();
    };
    for (const tellico::Cd& cd : found.cds) {
        lines << u"%1 ★%2 貸出%3"_s.arg(cd.title).arg(cd.stars).arg(cd.loans.size());
        if (!cd.note.isEmpty())
            lines << u"メモ："_s + QString(cd.note).replace(u'\n', u" / "_s);
        for (const QVector<QVariant>& song : cd.songs)
            lines << u"曲："_s
                    + QStringList{text(song, u"CD名"), text(song, u"曲名"), text(song, u"演奏団体"),
                                  text(song, u"作曲者名"), text(song, u"録音年月日")}
                          .join(u'|');
    }
    for (const QString& line : found.skipped)
        lines << u"飛ばした："_s + line;
    return lines;
}

} // namespace

class TestTellico : public MainWindowTest {
    Q_OBJECT

    QString db() const { return m_folder->path() + u"/cdkaisou.db"_s; }

    Ran import(const QByteArray& bytes, const QString& name = u"music.tc"_s,
               const QStringList& more = {})
    {
        const QString file = QDir(m_folder->path()).filePath(name);
        writeBytes(file, bytes);
        QProcess p;
        p.setWorkingDirectory(m_folder->path());
        p.start(program, QStringList{u"--import-tellico"_s, file} + more);
        if (!p.waitForFinished(30000))
            p.kill(), p.waitForFinished();
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromLocal8Bit(p.readAllStandardOutput()),
                QString::fromLocal8Bit(p.readAllStandardError())};
    }

    // Everything an import could have written: the rows of every table, the
    // history, the jackets and the backups.
    QStringList written() const
    {
        QStringList all{QString::fromLatin1(fileHash(db()).toHex())};
        all << QDir(m_folder->path() + u"/jacket"_s).entryList(QDir::Files);
        all << QDir(m_folder->path() + u"/backup"_s).entryList(QDir::Files);
        return all;
    }

private slots:
    void init()
    {
        MainWindowTest::init();
        // numbering goes on after what is stored, gaps and all
        writeCollection(m_folder->path(), {cd(40, u"交響曲全集"_s), cd(7, u"KIND OF BLUE"_s)},
                        {song(u"交響曲全集"_s, 900, u"既存"_s)});
    }
    void cleanup() { MainWindowTest::cleanup(); }

    // The item in its submenu; the choice asked after the file is read, the
    // tick for the artist's song not offered; a cancel adds nothing.
    void windowAsksThenAdds()
    {
        start();
        const QString file = m_folder->path() + u"/music.xml"_s;
        writeBytes(file,
                   tellicoXml(boxSet,
                              u"<images><image format=\"PNG\" id=\"0123abcd.png\">"_s
                                  + QString::fromLatin1(png().toBase64())
                                  + u"</image></images>"_s));
        QVERIFY(named<QMenu>(m_w, u"mnuImportOther"_s)
                    ->actions()
                    .contains(named<QAction>(m_w, u"mnuImportTellico"_s)));
        const QByteArray before = fileHash(db());
        const auto whenAsked = [this](const std::function<void(QDialog*)>& answer) {
            whenModalShown(this, u"frmOtherImport"_s, answer);
        };
        QString asked;
        bool artistOffered = true;
        whenAsked([&](QDialog* dialog) {
            asked = named<QLabel>(dialog, u"lblOtherImport"_s)->text();
            artistOffered = named<QCheckBox>(dialog, u"chkArtistSong"_s)->isVisible();
            named<QPushButton>(dialog, u"cmdCancel"_s)->click();
        });
        QVERIFY(triggerCommand(m_w, "mnuImportTellico", {file}).isEmpty());
        QVERIFY2(asked.contains(u"項目 3件（うちCD以外 1件）"_s), qPrintable(asked));
        QVERIFY(!artistOffered);
        QCOMPARE(fileHash(db()), before);
        whenAsked([](QDialog* dialog) {
            named<QCheckBox>(dialog, u"chkAllMedia"_s)->setChecked(true);
            named<QPushButton>(dialog, u"cmdImport"_s)->click();
        });
        const QString report
            = triggerCommand(m_w, "mnuImportTellico", {file}, {QMessageBox::Ok}).value(0);
        QVERIFY2(report.contains(u"CD 3枚・曲 3曲・ジャケット写真 2枚"_s), qPrintable(report));
        QCOMPARE(readColumn(m_folder->path(), u"cdname"_s, u"CD名"_s),
                 QStringList({u"交響曲全集"_s, u"KIND OF BLUE"_s, u"交響曲全集 (Disc 1)"_s,
                              u"交響曲全集 (Disc 2)"_s, u"Kind of Blue (2)"_s}));
        QVERIFY(QFile::exists(m_folder->path() + u"/jacket/41.jpg"_s));
        QCOMPARE(lblRcount(m_w, 3)->text(), u"5 / 5"_s);
    }

    void arrivesValueForValue_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("name");
        QTest::newRow("tc") << zipOf({{u"tellico.xml"_s, tellicoXml(boxSet, pictureNamed)},
                                      {u"images/0123abcd.png"_s, png()}})
                            << u"music.tc"_s;
        QTest::newRow("bookcase.xml in an older file")
            << zipOf({{u"bookcase.xml"_s, tellicoXml(boxSet, pictureNamed)},
                      {u"images/0123abcd.png"_s, png()}})
            << u"music.bc"_s;
        QTest::newRow("xml, its pictures inside")
            << tellicoXml(boxSet,
                          u"<images><image format=\"PNG\" id=\"0123abcd.png\">"_s
                              + QString::fromLatin1(png().toBase64()) + u"</image></images>"_s)
            << u"music.xml"_s;
    }
    void arrivesValueForValue()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, name);
        const Ran ran = import(file, name);
        QCOMPARE(ran.err, QString());
        QCOMPARE(ran.exit, 0);
        // the stored 交響曲全集 keeps its songs: a set's discs are named, each a CD
        QCOMPARE(sqlRows(db(),
                         {u"SELECT CDID, CD名, 解説者, 購入価格, 購入年月日, 発売元, "
                          u"キャビネット FROM cdname ORDER BY CDID"_s}),
                 QStringList({u"7|KIND OF BLUE|||||"_s, u"40|交響曲全集|||||"_s,
                              u"41|交響曲全集 (Disc 1)||3000|2003-04-05|Decca、ユニバーサル|"_s,
                              u"42|交響曲全集 (Disc 2)|||2003-04-05|Decca、ユニバーサル|"_s}));
        QCOMPARE(sqlRows(db(),
                         {u"SELECT 曲ID, CD名, 曲名, 作曲者名, 演奏団体, 録音時間, "
                          u"録音年月日, 分野 FROM kyoku WHERE 曲ID > 900 ORDER BY 曲ID"_s}),
                 QStringList({u"901|交響曲全集 (Disc 1)|交響曲第1番 第1楽章||サイトウ・キネン・"
                              u"オーケストラ|12:34|1998|Classical"_s,
                              u"902|交響曲全集 (Disc 1)|交響曲第1番 第2楽章||小澤征爾|8:05|1998|"
                              u"Classical"_s,
                              u"903|交響曲全集 (Disc 2)|交響曲第2番||ボストン交響楽団|40:00|1998|"
                              u"Classical"_s}));
        QCOMPARE(sqlRows(db(), {u"SELECT CDID, 評価 FROM cdrating ORDER BY CDID"_s}),
                 QStringList({u"41|4"_s, u"42|4"_s}));
        QCOMPARE(sqlRows(db(),
                         {u"SELECT CDID, 相手, 貸出日, 返却予定日, 返却日, メモ FROM loan "
                          u"ORDER BY CDID"_s}),
                 QStringList({u"41|田中|2024-05-01|2024-06-01||返してね"_s,
                              u"42|田中|2024-05-01|2024-06-01||返してね"_s}));
        const QStringList notes = sqlRows(db(), {u"SELECT メモ FROM cdnote ORDER BY CDID"_s});
        QCOMPARE(notes.size(), 2);
        QCOMPARE(notes.at(0), u"Keywords：名盤\n初回盤\n帯付き"_s);
        QVERIFY2(notes.at(1).contains(u"交響曲全集 (Disc 1)"_s), qPrintable(notes.at(1)));
        QCOMPARE(QDir(m_folder->path() + u"/jacket"_s).entryList({u"4?.jpg"_s}),
                 QStringList({u"41.jpg"_s, u"42.jpg"_s}));
        // the report: the counts, the record skipped, the entry refused with
        // its title, each field with no place once with its count
        for (const QString& said :
             {u"CD 2枚・曲 3曲・ジャケット写真 2枚"_s,
              u"「Kind of Blue」（項目 2）：CDではありません（Vinyl）"_s,
              u"「値段の読めないCD」（項目 3）：購入価格「セール品」は数ではありません"_s,
              u"Keywords（keyword）：1件"_s, u"cdate：1件"_s})
            QVERIFY2(ran.out.contains(said), qPrintable(said + u"\n---\n"_s + ran.out));
        QCOMPARE(sqlRows(db(), {u"SELECT 種類 FROM history ORDER BY rowid DESC LIMIT 1"_s}),
                 QStringList{u"Tellico から取り込み"_s});
    }

    // With every medium taken, the record keeps its medium and its price
    // as written; a price in whatever currency is a number.
    void allMediaKeepsTheMedium()
    {
        const Ran ran = import(tellicoXml(boxSet), u"music.xml"_s, {u"--all-media"_s});
        QCOMPARE(ran.exit, 0);
        QCOMPARE(sqlRows(db(),
                         {u"SELECT c.購入価格, c.購入年月日, n.メモ FROM cdname c JOIN cdnote n "
                          u"USING (CDID) "
                          u"WHERE c.CD名 = 'Kind of Blue (2)'"_s}),
                 QStringList{u"13|2010-11-12|媒体：Vinyl\n購入価格（元の書き方）：$12.99"_s});
        // a title stored already, in other letters, is a title of its own
        QVERIFY(ran.out.contains(u"「Kind of Blue (2)」として"_s));
        QVERIFY(ran.out.contains(u"CD 3枚"_s));
    }

    void pricesInAnyCurrency_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("yen"); // -1: no number
        QTest::newRow("yen sign, thousands") << u"¥3,000"_s << qint64(3000);
        QTest::newRow("full-width") << u"￥２，５００"_s << qint64(2500);
        QTest::newRow("円 after") << u"3000円"_s << qint64(3000);
        QTest::newRow("dollars, cents rounded up") << u"$12.99"_s << qint64(13);
        QTest::newRow("cents rounded down") << u"$12.49"_s << qint64(12);
        QTest::newRow("decimal comma") << u"12,50 €"_s << qint64(13);
        QTest::newRow("dot thousands, comma decimal") << u"1.234,56 €"_s << qint64(1235);
        QTest::newRow("comma thousands, dot decimal") << u"1,234.56"_s << qint64(1235);
        QTest::newRow("thousands twice") << u"1,234,567"_s << qint64(1234567);
        QTest::newRow("words") << u"セール品"_s << qint64(-1);
        QTest::newRow("two numbers") << u"12 - 15"_s << qint64(-1);
        QTest::newRow("beyond a price") << u"99999999999"_s << qint64(-1);
    }
    void pricesInAnyCurrency()
    {
        QFETCH(QString, text);
        QFETCH(qint64, yen);
        QCOMPARE(tellico::priceOf(text).value_or(-1), yen);
    }

    // One entry each, read as the store gets it. Entry 1 is lent twice: a CD
    // is out to one borrower at a time, the second loan goes to its note. A
    // CD名 stored already ("taken") moves its songs along to the new title.
    void entriesRead_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QStringList>("read");
        QTest::newRow("full-width medium, five stars")
            << u"<entry id=\"9\"><title>A</title><medium>ＣＤ</medium><rating>5</rating></entry>"_s
            << QStringList{u"A ★5 貸出0"_s};
        QTest::newRow("rating beyond five, a span of years")
            << u"<entry id=\"9\"><title>B</title><rating>6</rating><year>1985-1990</year>"
               u"<tracks><track><column>s</column></track></tracks></entry>"_s
            << QStringList{u"B ★0 貸出0"_s, u"メモ：年：1985-1990 / 評価：6"_s, u"曲：B|s|||"_s};
        QTest::newRow("the composer performing, in other letters")
            << u"<entry id=\"9\"><title>C</title><artists><artist>Ozawa</artist></artists>"
               u"<composers><composer>OZAWA</composer></composers><year>1990</year>"
               u"<tracks><track><column>s</column></track></tracks></entry>"_s
            << QStringList{u"C ★0 貸出0"_s, u"曲：C|s||OZAWA|1990"_s};
        QTest::newRow("lent twice")
            << u"<entry id=\"1\"><title>D</title></entry>"_s
            << QStringList{u"D ★0 貸出1"_s, u"メモ：貸出：田中（2024/07/01）また"_s};
        QTest::newRow("title taken")
            << u"<entry id=\"9\"><title>TAKEN</title>"
               u"<tracks><track><column>s</column></track></tracks></entry>"_s
            << QStringList{u"TAKEN (2) ★0 貸出0"_s, u"曲：TAKEN (2)|s|||"_s};
    }
    void entriesRead()
    {
        QFETCH(QString, entry);
        QFETCH(QStringList, read);
        const QString file = QDir(m_folder->path()).filePath(u"music.xml"_s);
        writeBytes(file,
                   tellicoXml(entry).replace(
                       "</borrower>",
                       "<loan uid=\"l2\" entryRef=\"1\" loanDate=\"2024-07-01\">また</loan>"
                       "</borrower>"));
        tellico::Found found = tellico::read(file, {});
        tellico::takeOwnTitles(found, {u"taken"_s});
        QCOMPARE(described(found), read);
    }

    // A jacket in a .tc file may weigh up to the limit, not a byte more.
    void pictureLimit_data()
    {
        constexpr qsizetype limit = 64LL << 20;
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<bool>("taken");
        QTest::newRow("at the limit") << limit << true;
        QTest::newRow("a byte over") << limit + 1 << false;
    }
    void pictureLimit()
    {
        QFETCH(qsizetype, size);
        QFETCH(bool, taken);
        QByteArray picture = png();
        picture.resize(size, '\0');
        const QString file = QDir(m_folder->path()).filePath(u"music.tc"_s);
        writeBytes(file,
                   zipOf({{u"tellico.xml"_s, tellicoXml(boxSet, pictureNamed)},
                          {u"images/0123abcd.png"_s, picture}}));
        picture.clear();
        try {
            QCOMPARE(tellico::read(file, {}).cds.first().cover.size(), size);
            QVERIFY(taken);
        } catch (const DbError& e) {
            QVERIFY2(!taken && e.description().contains(u"大きすぎます"_s),
                     qPrintable(e.description()));
        }
    }

    // A file that is not what it claims is refused whole: nothing written,
    // not even the run's backup.
    void hostileFilesRefused_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("said");
        const QByteArray xml = tellicoXml(boxSet, pictureNamed);
        QTest::newRow("not a zip")
            << QByteArray("PK\x03\x04 not really a zip") << u"ZIP として開けません"_s;
        QTest::newRow("neither zip nor xml")
            << QByteArray("just text") << u"ZIP でも XML でもありません"_s;
        QTest::newRow("zip without xml")
            << zipOf({{u"images/0123abcd.png"_s, png()}}) << u"tellico.xml がありません"_s;
        QTest::newRow("xml not well formed")
            << zipOf({{u"tellico.xml"_s, xml.left(xml.size() - 40)}})
            << u"XML として正しくありません"_s;
        QTest::newRow("a DTD outside the file") << QByteArray(xml).replace(
            "http://periapsis.org/tellico/dtd/v11/tellico.dtd", "file:///etc/passwd")
                                                << u"文書型定義がファイルの外"_s;
        QTest::newRow("a DTD on another site") << QByteArray(xml).replace(
            "http://periapsis.org/tellico/dtd/v11/tellico.dtd", "http://example.com/tellico.dtd")
                                               << u"文書型定義がファイルの外"_s;
        QTest::newRow("a parameter entity reaching outside") << QByteArray(xml).replace(
            "tellico.dtd'>",
            "tellico.dtd' [<!ENTITY % p SYSTEM \"http://example.com/p.dtd\"> %p;]>")
                                                             << u"実体の宣言"_s;
        // defaults given inside would add attributes the file does not hold
        QTest::newRow("an internal subset of attribute defaults") << QByteArray(xml).replace(
            "tellico.dtd'>", "tellico.dtd' [<!ATTLIST collection type CDATA \"4\">]>")
                                                                  << u"ファイルの中の宣言"_s;
        QTest::newRow("an entity reaching outside")
            << QByteArray(xml)
                   .replace("tellico.dtd'>",
                            "tellico.dtd' [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>")
                   .replace("<title>交響曲全集</title>", "<title>&x;</title>")
            << u"実体"_s;
        // entities expanding into entities grow without end: none is declared
        QTest::newRow("an entity declared inside")
            << QByteArray(xml)
                   .replace("tellico.dtd'>",
                            "tellico.dtd' [<!ENTITY a \"ああああ\"><!ENTITY b "
                            "\"&a;&a;&a;&a;\">]>")
                   .replace("<title>交響曲全集</title>", "<title>&b;</title>")
            << u"実体の宣言"_s;
        QTest::newRow("an entity never declared")
            << QByteArray(xml).replace("<title>交響曲全集</title>", "<title>&x;</title>")
            << u"実体「x」"_s;
        QTest::newRow("zip entry above its folder")
            << zipOf({{u"tellico.xml"_s, xml}, {u"images/../../evil.png"_s, png()}})
            << u"外を指しています"_s;
        QTest::newRow("zip entry from the root")
            << zipOf({{u"tellico.xml"_s, xml}, {u"/tmp/evil.png"_s, png()}})
            << u"外を指しています"_s;
        QTest::newRow("zip entry stepping up with backslashes")
            << zipOf({{u"tellico.xml"_s, xml}, {u"images\\..\\..\\evil.png"_s, png()}})
            << u"外を指しています"_s;
        QTest::newRow("cover named above the folder") << zipOf(
            {{u"tellico.xml"_s,
              QByteArray(xml).replace("0123abcd.png</cover>", "../../0123abcd.png</cover>")}})
                                                      << u"外を指しています"_s;
        QTest::newRow("picture that is no picture")
            << zipOf({{u"tellico.xml"_s, xml}, {u"images/0123abcd.png"_s, "#!/bin/sh\nrm -rf /\n"}})
            << u"画像ではありません"_s;
        QTest::newRow("nested deeper than a column")
            << QByteArray(xml).replace("<column>12:34</column>", "<column><b>12:34</b></column>")
            << u"入れ子が深すぎます"_s;
        QTest::newRow("a sound that is no picture")
            << zipOf({{u"tellico.xml"_s, xml},
                      {u"images/0123abcd.png"_s, QByteArray("RIFF\x24\0\0\0WAVEfmt ", 16)}})
            << u"画像ではありません"_s;
        QByteArray cut = png();
        cut.truncate(30);
        QTest::newRow("picture cut off")
            << zipOf({{u"tellico.xml"_s, xml}, {u"images/0123abcd.png"_s, cut}})
            << u"画像として読めません"_s;
        QTest::newRow("base64 that is none")
            << tellicoXml(boxSet, u"<images><image id=\"0123abcd.png\">@@@@</image></images>"_s)
            << u"base64"_s;
        QTest::newRow("a book collection")
            << tellicoXml(boxSet, {}, u"2"_s) << u"本のコレクション"_s;
        QTest::newRow("a collection of no type")
            << tellicoXml(boxSet, {}, QString()) << u"種類 0"_s;
    }
    void hostileFilesRefused()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, said);
        const QStringList before = written();
        const Ran ran = import(file);
        QCOMPARE(ran.exit, 1);
        QVERIFY2(ran.err.contains(said), qPrintable(ran.err));
        QCOMPARE(ran.out, QString());
        QCOMPARE(written(), before);
    }
};

RONDELLA_TEST_MAIN(TestTellico)
#include "tst_tellico.moc"
