// Bringing CDs in from the catalogues other programs and sites keep: a
// Discogs collection export, from the window (ファイル → 他の目録から取り込み)
// and from the command line (rondella --import-discogs).
#include "mainui.h"
#include "store/backup.h"
#include "store/connection.h"
#include "store/discogsimport.h"
#include "testsupport.h"
#include "widgets/msgbox.h"

#include <QMenu>
#include <QProcess>

namespace {

const QString program = QString::fromUtf8(RONDELLA_PROGRAM);

const QByteArray header
    = "Catalog#,Artist,Title,Label,Format,Rating,Released,release_id,CollectionFolder,Date "
      "Added,Collection Media Condition,Collection Sleeve Condition,Collection Notes";

// An export as Discogs writes one, with a column of the collector's own: a
// note over two lines (lines 2 and 3), a record that is no CD, a title
// stored already, a second row of one title.
QByteArray exported()
{
    return header + ",Collection Graded\r\n"
        + "POCG-1234,Herbert von Karajan (2),運命,\"Deutsche Grammophon (2), Polydor\",CD,5,1984,"
          "101,Uncategorized,2020-01-02 03:04:05,Mint (M),Near Mint (NM or M-),"
          "\"帯付き, \"\"初回盤\"\"\r\n2行目\",yes\r\n"
        + "AB-1,Queen,A Night,EMI (2),\"Vinyl, 7\"\", EP\",,0,102,Uncategorized,"
          "2021-05-06 00:00:00,,,,\r\n"
        + "CD-2,Someone,既にあるCD,Label,CD,3,1990,103,Uncategorized,2021-05-06 10:00:00,,,,\r\n"
        + "CD-3,Someone,運命,Label (12),\"2xCD, Album\",0,1999,104,Box,2021-07-08 10:00:00,,,,\r\n";
}

// The CDs stored, each "CDID|CD名|発売元|購入年月日|評価|メモ", and the songs,
// "曲ID|CD名|曲名|演奏団体|原盤番号".
QStringList cdsOf(const QString& file)
{
    return sqlRows(file,
                   {u"SELECT c.CDID, c.CD名, ifnull(c.発売元, '-'), ifnull(c.購入年月日, '-'), "
                    u"ifnull(r.評価, ''), ifnull(n.メモ, '') FROM cdname c LEFT JOIN "
                    u"cdrating r ON r.CDID = c.CDID LEFT JOIN cdnote n ON n.CDID = c.CDID "
                    u"ORDER BY c.CDID"_s});
}

QStringList songsOf(const QString& file)
{
    return sqlRows(file,
                   {u"SELECT 曲ID, CD名, 曲名, ifnull(演奏団体, ''), ifnull(原盤番号, '') "
                    u"FROM kyoku ORDER BY 曲ID"_s});
}

// What the program said and how it ended.
struct Ran {
    int status;
    QString out, err;
};

} // namespace

class TestOtherImport : public MainWindowTest {
    Q_OBJECT
private slots:
    void init();
    void rowsBecomeCDs_data();
    void rowsBecomeCDs();
    void formatsWithACD_data();
    void formatsWithACD();
    void refusalsNameTheirLine_data();
    void refusalsNameTheirLine();
    void windowAsksThenAdds();
    void commandLineAddsAndSays();

private:
    QString collection() const { return m_folder->file(u"cdkaisou.db"_s); }
    QString exportFile() const { return m_folder->file(u"discogs.csv"_s); }
    Ran run(const QStringList& arguments);
    // Works the options dialog once it is up (then looks no more).
    void whenAsked(const std::function<void(QDialog*)>& answer);
};

void TestOtherImport::init()
{
    MainWindowTest::init();
    writeCollection(m_folder->path(), {cd(7, u"既にあるCD"_s)},
                    {song(u"既にあるCD"_s, 20, u"既にある曲"_s)});
    QVERIFY(writeBytes(exportFile(), exported()));
}

void TestOtherImport::rowsBecomeCDs_data()
{
    QTest::addColumn<bool>("allMedia");
    QTest::addColumn<bool>("artistSongs");
    QTest::addColumn<QStringList>("cds");
    QTest::addColumn<QStringList>("songs");
    QTest::addColumn<QStringList>("skipped");
    const QString stored = u"7|既にあるCD|-|-||"_s;
    const QString firstNote
        = u"発売年：1984\nDiscogs のフォルダー：Uncategorized\nDiscogs の"
          u"リリース番号：101\n盤の状態：Mint (M)\nジャケットの状態：Near Mint "
          u"(NM or M-)\nメモ：帯付き, \"初回盤\"\r\n2行目\nCollection Graded：yes"_s;
    const QString secondNote
        = u"発売年：1999\n形態：2xCD, Album\nDiscogs のフォルダー：Box\nDiscogs のリリース番号：104"_s;
    const QString storedSkipped = u"5 行目「既にあるCD」: 同じCD名のCDがすでにあります"_s;
    // the artist and the catalogue number in the note, the record left out
    QTest::newRow("as it comes")
        << false << false
        << QStringList{stored,
                       u"8|運命|Deutsche Grammophon, Polydor|2020-01-02 03:04:05|5|アーティスト："
                       u"Herbert von Karajan\n原盤番号：POCG-1234\n"_s
                           + firstNote,
                       u"9|運命 (2)|Label|2021-07-08 10:00:00||アーティスト：Someone\n原盤番号："
                       u"CD-3\n"_s
                           + secondNote}
        << QStringList{u"20|既にあるCD|既にある曲||"_s}
        << QStringList{u"4 行目「A Night」: CDではありません（Vinyl, 7\", EP）"_s, storedSkipped};
    // the artist and the number on a song of each CD, the record in with its format
    QTest::newRow("every medium, the artist as a song")
        << true << true
        << QStringList{stored,
                       u"8|運命|Deutsche Grammophon, Polydor|2020-01-02 03:04:05|5|"_s + firstNote,
                       u"9|A Night|EMI|2021-05-06||形態：Vinyl, 7\", EP\nDiscogs のフォルダー："
                       u"Uncategorized\nDiscogs のリリース番号：102"_s,
                       u"10|運命 (2)|Label|2021-07-08 10:00:00||"_s + secondNote}
        << QStringList{u"20|既にあるCD|既にある曲||"_s,
                       u"21|運命|運命|Herbert von Karajan|POCG-1234"_s,
                       u"22|A Night|A Night|Queen|AB-1"_s, u"23|運命 (2)|運命 (2)|Someone|CD-3"_s}
        << QStringList{storedSkipped};
}

// Each column where the issue puts it, numbered after the largest stored,
// what has no column in the note, one named line each.
void TestOtherImport::rowsBecomeCDs()
{
    QFETCH(bool, allMedia);
    QFETCH(bool, artistSongs);
    QFETCH(QStringList, cds);
    QFETCH(QStringList, songs);
    QFETCH(QStringList, skipped);
    discogs::Options options;
    options.allMedia = allMedia;
    options.artistSongs = artistSongs;
    discogs::Outcome outcome;
    {
        Connection cn(collection());
        outcome = discogs::add(cn, discogs::readFile(exportFile()), options);
    }
    QCOMPARE(cdsOf(collection()), cds);
    QCOMPARE(songsOf(collection()), songs);
    QCOMPARE(outcome.skipped, skipped);
    QCOMPARE(outcome.renamed.size(), 1);
    QVERIFY2(outcome.renamed.first().startsWith(u"6 行目「運命」"_s)
                 && outcome.renamed.first().contains(u"「運命 (2)」"_s),
             qPrintable(outcome.renamed.first()));
    QVERIFY2(discogs::summary(outcome).startsWith(
                 u"CD %1枚・曲 %2曲"_s.arg(cds.size() - 1).arg(songs.size() - 1)),
             qPrintable(discogs::summary(outcome)));
    // the import is one change of the history
    QCOMPARE(sqlRows(collection(), {u"SELECT 種類 FROM history"_s}),
             QStringList{u"Discogs から取り込み"_s});
}

void TestOtherImport::formatsWithACD_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("cd");
    for (const char* format : {"CD", "CD, Album", "2xCD, Comp", "CDr", "SACD, Hybrid", "HDCD",
                               "CD, Album, SHM-CD", "Blu-spec CD", "Vinyl, LP + CD"})
        QTest::newRow(format) << QString::fromUtf8(format) << true;
    for (const char* format :
         {"Vinyl, 7\", EP", "DVD", "Cassette", "File, FLAC", "VCD", "CDV", "Box Set"})
        QTest::newRow(format) << QString::fromUtf8(format) << false;
}

void TestOtherImport::formatsWithACD()
{
    QFETCH(QString, format);
    QFETCH(bool, cd);
    QCOMPARE(discogs::hasCD(format), cd);
}

void TestOtherImport::refusalsNameTheirLine_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("said");
    const QByteArray good = "1,A,T,L,CD,,0,1,F,,,,\r\n";
    QTest::newRow("a column missing")
        << QByteArray("Catalog#,Artist,Title,Label,Format\r\n") + good
        << u"1 行目: Discogs のコレクションの書き出しの見出しではありません（ない列: Rating"_s;
    QTest::newRow("a column unknown") << header + ",Price\r\n" + good
                                      << u"1 行目: Discogs のコレクションの書き出しの見出しでは"
                                         u"ありません（知らない列: Price）"_s;
    QTest::newRow("a column twice")
        << header + ",Title\r\n" + good << u"1 行目: 見出しに列「Title」が2回あります"_s;
    QTest::newRow("a quote not closed") << header + "\r\n" + good + "2,A,\"T,L,CD,,0,1,F,,,,\r\n"
                                        << u"3 行目: 引用符（\"）が閉じられていません"_s;
    QTest::newRow("a quote inside a value") << header + "\r\n" + good
            + "2,A,T\"x,L,CD,,0,1,F,,,,\r\n" << u"3 行目: 引用符"_s;
    QTest::newRow("not UTF-8") << header + "\r\n" + good
            + "\"two\r\nlines\",A,T,L,CD,,0,1,F,,,,\r\n3,A,\x83\x65,L,CD,,0,1,F,,,,\r\n"
                               << u"5 行目: UTF-8 として読めない文字があります"_s;
    QTest::newRow("UTF-16") << QByteArray("\xFF\xFE") + header << u"UTF-16"_s;
    QTest::newRow("a row of more columns") << header + "\r\n" + good + "2,A,T,L,CD,,0,1,F,,,,,\r\n"
                                           << u"3 行目: 列の数が見出しと違います（14 列）"_s;
    QTest::newRow("six stars") << header + "\r\n\r\n" + "2,A,T,L,CD,6,0,1,F,,,,\r\n"
                               << u"3 行目: Rating「6」は 0 から 5 までの星の数ではありません"_s;
    QTest::newRow("a year that is none") << header + "\r\n" + good + "2,A,T,L,CD,,199x,1,F,,,,\r\n"
                                         << u"3 行目: Released「199x」は年"_s;
    QTest::newRow("a date that is none")
        << header + "\r\n" + good + "2,A,T,L,CD,,0,1,F,2020-02-30,,,\r\n"
        << u"3 行目: Date Added「2020-02-30」は日付"_s;
    QTest::newRow("a release that is no number") << header + "\r\n" + "2,A,T,L,CD,,0,r1,F,,,,\r\n"
                                                 << u"2 行目: release_id「r1」"_s;
    QTest::newRow("no title") << header + "\r\n" + good + "2,A, ,L,CD,,0,1,F,,,,\r\n"
                              << u"3 行目: Title（CD名）がありません"_s;
}

// A file that is not the export it claims to be, or a row that cannot be
// read, is refused whole, the line named; the window's import adds nothing.
void TestOtherImport::refusalsNameTheirLine()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, said);
    const auto [number, description] = thrown([&] { discogs::read(text); });
    QVERIFY2(number != 0 && description.contains(said), qPrintable(description));
    // the window's import of it says so and leaves the file as it was
    if (QByteArrayView(QTest::currentDataTag()) != "a column missing")
        return;
    QVERIFY(writeBytes(exportFile(), text));
    start();
    const QByteArray before = fileHash(collection());
    const QStringList told
        = triggerCommand(m_w, "mnuImportDiscogs", {exportFile()}, {QMessageBox::Ok});
    QVERIFY2(told.size() == 1 && told.first().contains(said), qPrintable(told.join(u'\n')));
    QCOMPARE(fileHash(collection()), before);
}

void TestOtherImport::whenAsked(const std::function<void(QDialog*)>& answer)
{
    whenModalShown(this, u"frmOtherImport"_s, answer);
}

// The item in its submenu; the choices asked after the file is read; a
// cancel adds nothing; the report names the rows passed by and renamed.
void TestOtherImport::windowAsksThenAdds()
{
    start();
    auto* item = named<QAction>(m_w, u"mnuImportDiscogs"_s);
    auto* other = named<QMenu>(m_w, u"mnuImportOther"_s);
    QVERIFY(other->actions().contains(item)
            && named<QMenu>(m_w, u"mnuFile"_s)->actions().contains(other->menuAction()));
    const QByteArray before = fileHash(collection());
    QString asked;
    whenAsked([&](QDialog* dialog) {
        asked = named<QLabel>(dialog, u"lblOtherImport"_s)->text();
        named<QPushButton>(dialog, u"cmdCancel"_s)->click();
    });
    QVERIFY(triggerCommand(m_w, "mnuImportDiscogs", {exportFile()}).isEmpty());
    QVERIFY2(asked.contains(u"4 行（うちCD 3 行）"_s), qPrintable(asked));
    QCOMPARE(fileHash(collection()), before);
    whenAsked([](QDialog* dialog) {
        named<QCheckBox>(dialog, u"chkArtistSong"_s)->setChecked(true);
        named<QPushButton>(dialog, u"cmdImport"_s)->click();
    });
    const QStringList told
        = triggerCommand(m_w, "mnuImportDiscogs", {exportFile()}, {QMessageBox::Ok});
    const QString report = told.value(0);
    for (const QString& part : {u"CD 2枚・曲 2曲（評価 1件・メモ 2件）を追加しました。"_s,
                                u"飛ばした行: CDではない 1 行、同じCD名のCDがすでにある 1 行。"_s,
                                u"4 行目「A Night」: CDではありません"_s, u"として取り込みます"_s})
        QVERIFY2(report.contains(part), qPrintable(report));
    QCOMPARE(songsOf(collection()),
             (QStringList{u"20|既にあるCD|既にある曲||"_s,
                          u"21|運命|運命|Herbert von Karajan|POCG-1234"_s,
                          u"22|運命 (2)|運命 (2)|Someone|CD-3"_s}));
    // the window shows them, and the run's backup was made before
    QCOMPARE(lblRcount(m_w, 3)->text(), u"3 / 3"_s);
    QVERIFY(!backup::list(collection()).isEmpty());
}

Ran TestOtherImport::run(const QStringList& arguments)
{
    QProcess p;
    p.setWorkingDirectory(m_folder->path());
    p.start(program, arguments);
    if (!p.waitForFinished(30000))
        p.kill(), p.waitForFinished();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

void TestOtherImport::commandLineAddsAndSays()
{
    Ran ran = run({u"--import-discogs"_s, exportFile(), u"--all-media"_s});
    for (const QString& line :
         {u"追加しました：CDID 8「運命」"_s, u"追加しました：CDID 9「A Night」"_s,
          u"追加しました：CDID 10「運命 (2)」"_s,
          u"飛ばしました：5 行目「既にあるCD」: 同じCD名のCDがすでにあります"_s,
          u"CD 3枚・曲 0曲（評価 1件・メモ 3件）を追加しました。"_s})
        QVERIFY2(ran.status == 0 && ran.out.contains(line), qPrintable(ran.out + ran.err));
    QVERIFY(!backup::list(collection()).isEmpty());
    // again: every title is stored now, nothing is added twice
    ran = run({u"--import-discogs"_s, exportFile(), u"--all-media"_s, u"--artist-songs"_s,
               u"--collection"_s, m_folder->path()});
    QVERIFY2(ran.status == 0 && ran.out.contains(u"CD 0枚・曲 0曲を追加しました。"_s),
             qPrintable(ran.out + ran.err));
    QCOMPARE(cdsOf(collection()).size(), 4);
    // a refused file: said with its line, nothing written
    QVERIFY(writeBytes(exportFile(), header + "\r\n1,A,T,L,CD,9,0,1,F,,,,\r\n"));
    const QByteArray before = fileHash(collection());
    ran = run({u"--import-discogs"_s, exportFile()});
    QVERIFY2(ran.status == 1 && ran.err.contains(u"2 行目: Rating「9」"_s)
                 && ran.err.contains(u"何も追加していません"_s),
             qPrintable(ran.err));
    QCOMPARE(fileHash(collection()), before);
    // arguments not understood
    for (const QStringList& arguments :
         {QStringList{u"--all-media"_s}, QStringList{u"--import-discogs"_s},
          QStringList{u"--import-discogs"_s, exportFile(), u"--import-audio"_s, m_folder->path()},
          QStringList{u"--import-discogs"_s, m_folder->file(u"none.csv"_s)},
          QStringList{u"--import-discogs"_s, exportFile(), u"--allow-duplicates"_s}}) {
        ran = run(arguments);
        QVERIFY2(ran.status == 2 && ran.err.contains(u"使い方"_s),
                 qPrintable(arguments.join(u' ') + u'\n' + ran.err));
    }
    QCOMPARE(fileHash(collection()), before);
}

RONDELLA_TEST_MAIN(TestOtherImport)
#include "tst_otherimport.moc"
