// Times the start of a fresh program, the collection store and the main window
// on generated collections of realistic shape, each beside like work done bare.
//   rondella_bench                       2,000 and 10,000 CDs in full, 50,000 the start
//   rondella_bench --cds N --songs M     one size in full
//   rondella_bench --start-only          the start alone at the three sizes
//   rondella_bench --generate DIR --cds N --songs M   write a collection and keep it
//   rondella_bench --audio               2,000 ripped albums of 15 files read and added
//   rondella_bench --html [--cds N --songs M]   the HTML catalogue of 10,000 CDs written, then
//                                        searched in a headless Chromium 360 px wide
#include "entry/frminputcd.h"
#include "entry/frminputkyoku.h"
#include "mainui.h"
#include "mainwindow/frmmain.h"
#include "mainwindow/startup.h"
#include "reports/bandedreport.h"
#include "reports/htmlexport.h"
#include "reports/printcommands.h"
#include "reports/reportpreview.h"
#include "store/audioimport.h"
#include "store/collection.h"
#include "store/connection.h"
#include "store/criteria.h"
#include "store/csvtransfer.h"
#include "store/findindex.h"
#include "store/findtext.h"
#include "store/importer.h"
#include "store/jacketfiles.h"
#include "store/statistics.h"
#include "webdriver.h"
#include "widgets/msgbox.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCollator>
#include <QCollatorSortKey>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDate>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QMainWindow>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSet>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>
#include <numeric>

#include <sys/resource.h>

#include <cstdio>

#include <functional>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/tpropertymap.h>

namespace {
// The collection measured without a window; with one shown, the window's.
std::unique_ptr<Collection> benchCollection;

// The main window that Main showed, if any.
frmMain* mainWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* main = qobject_cast<frmMain*>(w); main && main->isVisible())
            return main;
    return nullptr;
}

Collection& db()
{
    if (frmMain* w = mainWindow())
        return w->db;
    if (!benchCollection)
        benchCollection = std::make_unique<Collection>(QDir::currentPath());
    return *benchCollection;
}

void useFolder(const QString& folder)
{
    benchCollection = std::make_unique<Collection>(folder);
}
} // namespace

namespace {

// Name parts: a classical collection holds thousands of distinct performers
// and a few hundred composers, written in katakana or in Latin letters.
const char16_t* const familyJa[]
    = {u"ブラント",   u"ロッシ",     u"ノヴァーク",   u"ルフェーヴル", u"リンドクヴィスト",
       u"シュミット", u"ベルナール", u"コヴァルスキ", u"ヤノフスキ",   u"モレッティ",
       u"ハーゼ",     u"デュポン",   u"ホルヴァート", u"クライン",     u"ヴァイス",
       u"佐藤",       u"鈴木",       u"高橋",         u"田中",         u"渡辺",
       u"伊藤",       u"山本",       u"中村",         u"小林",         u"加藤",
       u"吉田",       u"山田",       u"佐々木",       u"山口",         u"松本",
       u"井上",       u"木村",       u"林",           u"清水",         u"山崎",
       u"森",         u"池田",       u"橋本",         u"阿部",         u"石川"};
const char16_t* const givenJa[]
    = {u"ハインリヒ", u"マリア",   u"アンナ",   u"ピエール", u"エリク", u"クララ",
       u"ヨハン",     u"イレーネ", u"ミハイル", u"ソフィア", u"ルカ",   u"エレーナ",
       u"健一",       u"一郎",     u"由美",     u"直子",     u"誠",     u"恵子",
       u"隆",         u"美穂",     u"徹",       u"裕子",     u"聡",     u"真理子",
       u"大輔",       u"香織",     u"修",       u"千尋",     u"亮",     u"綾"};
const char16_t* const familyLat[]
    = {u"Whitfield", u"Marlowe",     u"Hargreaves", u"Lindqvist", u"Dvořáček",   u"Müller",
       u"O'Connor",  u"d'Arcy",      u"Fontaine",   u"Szabó",     u"Kowalski",   u"Andersen",
       u"Bianchi",   u"Castillo",    u"Eriksson",   u"Fischer",   u"Grünewald",  u"Haas",
       u"Ibáñez",    u"Janáček",     u"Karlsson",   u"Laurent",   u"Morales",    u"Nielsen",
       u"Okonkwo",   u"Petrenko",    u"Quint",      u"Rasmussen", u"Sørensen",   u"Tamura",
       u"Ueda",      u"Varga",       u"Wagner",     u"Young",     u"Zimmermann", u"Abbado",
       u"Bernstein", u"Celibidache", u"Dorati",     u"Ehrling"};
const char16_t* const givenLat[] = {
    u"John",     u"Pierre",   u"Erik",  u"Anne-Sophie", u"Hélène", u"Jürgen", u"Kenny", u"Maria",
    u"Nikolaus", u"Olli",     u"Paavo", u"Riccardo",    u"Simon",  u"Tamás",  u"Ute",   u"Václav",
    u"Wilhelm",  u"Yannick",  u"Zubin", u"Claudio",     u"Daniel", u"Emma",   u"Frans", u"Gustavo",
    u"Herbert",  u"Isabelle", u"Jordi", u"Kirill",      u"Leif",   u"Mitsuko"};
const char16_t* const composers[] = {u"ベートーヴェン",
                                     u"モーツァルト",
                                     u"J.S.バッハ",
                                     u"ブラームス",
                                     u"チャイコフスキー",
                                     u"ドビュッシー",
                                     u"ダンディ (d'Indy)",
                                     u"マーラー",
                                     u"ブルックナー",
                                     u"シューベルト",
                                     u"ショパン",
                                     u"ラヴェル",
                                     u"ヴェルディ",
                                     u"プッチーニ",
                                     u"ワーグナー",
                                     u"ハイドン",
                                     u"ヘンデル",
                                     u"ヴィヴァルディ",
                                     u"ドヴォルザーク",
                                     u"シベリウス",
                                     u"シューマン",
                                     u"メンデルスゾーン",
                                     u"リスト",
                                     u"ベルリオーズ",
                                     u"フランク",
                                     u"サン＝サーンス",
                                     u"フォーレ",
                                     u"プーランク",
                                     u"ストラヴィンスキー",
                                     u"プロコフィエフ",
                                     u"ショスタコーヴィチ",
                                     u"ラフマニノフ",
                                     u"バルトーク",
                                     u"ヤナーチェク",
                                     u"スメタナ",
                                     u"グリーグ",
                                     u"ニールセン",
                                     u"エルガー",
                                     u"ヴォーン・ウィリアムズ",
                                     u"ブリテン",
                                     u"テレマン",
                                     u"ラモー",
                                     u"クープラン",
                                     u"パーセル",
                                     u"モンテヴェルディ",
                                     u"パレストリーナ",
                                     u"武満徹",
                                     u"伊福部昭",
                                     u"坂本龍一",
                                     u"Arvo Pärt",
                                     u"Olivier Messiaen",
                                     u"Claude Debussy",
                                     u"Johannes Brahms",
                                     u"Gabriel Fauré",
                                     u"Vincent d'Indy",
                                     u"Ernest Chausson",
                                     u"Henri Duparc",
                                     u"Duke Ellington",
                                     u"Lennon/McCartney",
                                     u"Antonín Dvořák"};
const char16_t* const labels[] = {u"ポリドール",
                                  u"ﾎﾟﾘﾄﾞｰﾙ",
                                  u"東芝EMI",
                                  u"日本フォノグラム",
                                  u"BMGビクター",
                                  u"ソニー・クラシカル",
                                  u"キングレコード",
                                  u"Deutsche Grammophon",
                                  u"Decca",
                                  u"Philips",
                                  u"Harmonia Mundi",
                                  u"Hyperion",
                                  u"Chandos",
                                  u"BIS",
                                  u"Naxos",
                                  u"ECM New Series",
                                  u"Alia Vox",
                                  u"Erato",
                                  u"Archiv Produktion",
                                  u"Denon"};
const char16_t* const genres[]
    = {u"交響曲", u"協奏曲",   u"室内楽", u"器楽曲",     u"オペラ", u"声楽曲",
       u"宗教曲", u"管弦楽曲", u"歌曲",   u"バレエ音楽", u"ジャズ", u"ポップス"};
const char16_t* const forms[] = {
    u"交響曲",         u"ピアノ協奏曲",   u"ヴァイオリン協奏曲",   u"チェロ協奏曲", u"弦楽四重奏曲",
    u"ピアノ三重奏曲", u"ピアノ・ソナタ", u"ヴァイオリン・ソナタ", u"序曲",         u"組曲",
    u"ミサ曲",         u"カンタータ",     u"前奏曲とフーガ",       u"夜想曲",       u"Symphony",
    u"Sonata",         u"String Quartet", u"Concerto grosso",      u"Suite",        u"Mass"};
const char16_t* const keys[]
    = {u"ハ長調",          u"ハ短調",           u"ニ長調",    u"ニ短調",     u"変ホ長調",
       u"ホ短調",          u"ヘ長調",           u"ト長調",    u"ト短調",     u"イ長調",
       u"イ短調",          u"変ロ長調",         u"ロ短調",    u"in C major", u"in D minor",
       u"in E flat major", u"in F sharp minor", u"in A major"};
const char16_t* const movements[] = {u"アレグロ・コン・ブリオ",
                                     u"アンダンテ",
                                     u"スケルツォ：アレグロ・ヴィヴァーチェ",
                                     u"アダージョ・モルト・エ・カンタービレ",
                                     u"フィナーレ：プレスト",
                                     u"ラルゴ",
                                     u"メヌエット",
                                     u"ロンド",
                                     u"Allegro ma non troppo",
                                     u"Andante con moto",
                                     u"Scherzo. Molto vivace",
                                     u"Adagio sostenuto",
                                     u"Finale. Allegro energico",
                                     u"Allemande",
                                     u"Courante",
                                     u"Sarabande",
                                     u"Gigue",
                                     u"Kyrie",
                                     u"Gloria",
                                     u"Credo",
                                     u"Sanctus",
                                     u"Agnus Dei",
                                     u"Passacaglia",
                                     u"Intermezzo"};
const char16_t* const halls[]
    = {u"ベルリン、イエス・キリスト教会", u"ウィーン、ムジークフェラインザール",
       u"東京、サントリーホール",         u"London, Abbey Road Studio 1",
       u"Amsterdam, Concertgebouw",       u"Paris, Salle Pleyel",
       u"大阪、ザ・シンフォニーホール",   u"Leipzig, Gewandhaus",
       u"New York, Carnegie Hall",        u"Snape Maltings",
       u"Lugano, Auditorio RSI",          u"京都コンサートホール"};

template <size_t N> QString pick(const char16_t* const (&list)[N], quint32 n)
{
    return QString::fromUtf16(list[n % N]);
}

// A performer: about 2,400 distinct names, katakana and Latin alike.
QString performer(quint32 n)
{
    if (n & 1)
        return pick(givenJa, n >> 1) + (n & 2 ? QStringLiteral("・") : QString())
            + pick(familyJa, n >> 6);
    return pick(givenLat, n >> 1) + u' ' + pick(familyLat, n >> 6);
}

// A collection shaped like a real classical one: every title its own but for
// about one CD in a hundred (a second copy of a CD), about one CD in a
// hundred without songs, from 1 to 2 x `songsPerCD` - 1 songs on the others
// (`songsPerCD` on average), and a few songs whose CD is gone.
void generate(const QString& folder, int cds, int songsPerCD)
{
    QDir().mkpath(folder); // a folder named anew is made, not refused
    Connection c(QDir(folder).filePath(QStringLiteral("cdkaisou.db")));
    QSqlDatabase db = c.database();
    QRandomGenerator rng(20261207);
    db.transaction();
    QSqlQuery cd(db), song(db);
    cd.prepare(QStringLiteral("INSERT INTO cdname VALUES (?,?,?,?,?,?,?,?)"));
    song.prepare(QStringLiteral("INSERT INTO kyoku VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"));
    int songId = 0;
    QSet<QString> titles;
    QString lastTitle;
    for (int id = 1; id <= cds; ++id) {
        const quint32 r = rng.generate();
        const quint32 r2 = rng.generate();
        // composers are not equally loved: a few fill most of the shelves
        const QString composer = pick(composers, (r % 61) * (r2 % 61) / 60);
        const QString soloist = performer(r2 >> 7);
        const QString conductor = performer(r >> 9);
        const bool copy = id > 1 && r % 100 == 0;
        QString title = copy ? lastTitle
                             : composer + QStringLiteral("：") + pick(forms, r >> 4)
                + QStringLiteral("第%1番 ").arg(r2 % 41 + 1) + pick(keys, r2 >> 11)
                + QStringLiteral(" 作品%1 / ").arg(r2 % 130 + 1) + soloist;
        for (int again = 2; !copy && titles.contains(title); ++again)
            title += QStringLiteral(" (%1)").arg(again);
        titles.insert(title);
        lastTitle = title;
        cd.addBindValue(id);
        cd.addBindValue(title);
        cd.addBindValue(performer(r >> 13));
        cd.addBindValue(1000 + int(r2 % 4500));
        cd.addBindValue(QDate(1983, 1, 1).addDays(r % 15000).toString(Qt::ISODate));
        cd.addBindValue(pick(labels, r2 >> 17));
        cd.addBindValue(QString(QChar(u'A' + int(r % 12))));
        cd.addBindValue(QString::number(r2 % 8 + 1));
        cd.exec();
        if (copy || r % 97 == 1)
            continue; // a second copy holds the first copy's songs; some CDs wait for theirs
        const int count = 1 + int(rng.bounded(2 * songsPerCD - 1));
        const bool orphan = r % 89 == 3;
        const QString work = pick(forms, r >> 4);
        for (int s = 0; s < count; ++s) {
            const quint32 q = rng.generate();
            song.addBindValue(orphan ? QStringLiteral("手放したCD %1").arg(id) : title);
            song.addBindValue(++songId);
            song.addBindValue(
                s % 4 == 0 && q % 3 == 0
                    ? QString(pick(composers, q) + QStringLiteral("：") + pick(forms, q >> 5)
                              + QStringLiteral(" ") + pick(keys, q >> 9))
                    : QString(work + QStringLiteral(" 第%1楽章 ").arg(s + 1) + pick(movements, q)));
            song.addBindValue(s % 4 == 0 && q % 3 == 0 ? pick(composers, q) : composer);
            song.addBindValue(q % 7 == 0 ? QVariant(performer(q >> 3)) : QVariant());
            song.addBindValue(conductor);
            song.addBindValue(QString(performer(r >> 5) + QStringLiteral(" 管弦楽団")));
            song.addBindValue(q % 3 == 0 ? QVariant(s % 2 ? soloist : performer(q >> 4))
                                         : QVariant());
            song.addBindValue(q % 11 == 0 ? QVariant(QStringLiteral("NHK-FM")) : QVariant());
            song.addBindValue(q % 11 == 0 ? QVariant(QString::number(q % 900 + 100)) : QVariant());
            song.addBindValue(
                QStringLiteral("%1:%2").arg(q % 20 + 2).arg(q % 60, 2, 10, QLatin1Char('0')));
            song.addBindValue(QStringLiteral("%1年%2月").arg(1950 + r % 75).arg(r % 12 + 1));
            song.addBindValue(pick(halls, r >> 3));
            song.addBindValue(
                QStringLiteral("%1-%2").arg(pick(labels, r2 >> 17).left(3)).arg(r2 % 99999));
            song.addBindValue(pick(genres, r >> 6));
            song.exec();
        }
    }
    db.commit();
}

double msOf(const std::function<void()>& work)
{
    QElapsedTimer t;
    t.start();
    work();
    return t.nsecsElapsed() / 1e6;
}

// The floor every view operation is compared with: reading rows with a bare query.
double bareRead(const QStringList& queries)
{
    return msOf([&] {
        QSqlDatabase base = db().connection().database();
        qint64 cells = 0;
        for (const QString& sql : queries) {
            QSqlQuery q(base);
            q.setForwardOnly(true);
            q.exec(sql);
            const int n = q.record().count();
            while (q.next())
                for (int i = 0; i < n; ++i)
                    cells += q.value(i).isNull() ? 0 : 1;
        }
        if (cells < 0)
            std::puts("");
    });
}

// `base` is a bare read of the same rows, or (for window work) the time of
// opening the data context alone, as `baseName` says.
void report(const char* what, double ms, double base, const char* baseName = "bare")
{
    if (base > 0)
        std::printf("  %-52s %9.1f ms   %-4s %8.1f ms   ratio %5.2f\n", what, ms, baseName, base,
                    ms / base);
    else
        std::printf("  %-52s %9.1f ms\n", what, ms);
}

const QString allCDs = QStringLiteral("SELECT rowid, * FROM cdname ORDER BY CDID");
const QString allSongs = QStringLiteral("SELECT rowid, * FROM kyoku ORDER BY 曲ID");

void benchStore()
{
    db().forgetReadRows();
    const double open = msOf([] { db().OpenDataContext(); });
    const double bareFirst = bareRead(
        {QStringLiteral("SELECT COUNT(*) FROM cdname"),
         QStringLiteral("SELECT COUNT(*) FROM kyoku"), allCDs + QStringLiteral(" LIMIT 200"),
         allSongs + QStringLiteral(" LIMIT 200"),
         QStringLiteral("SELECT rowid, * FROM kyoku WHERE CD名 = (SELECT CD名 FROM cdname ORDER BY "
                        "CDID LIMIT 1) COLLATE NOCASE ORDER BY 曲ID"),
         QStringLiteral("SELECT rowid, * FROM cdname WHERE CD名 = (SELECT CD名 FROM kyoku ORDER BY "
                        "曲ID LIMIT 1) COLLATE NOCASE ORDER BY CDID")});
    report("OpenDataContext (the first screen)", open, bareFirst);
    const double all = msOf([] { db().WaitForAllRows(); });
    const double bareBoth = bareRead({allCDs, allSongs});
    // the whole reading checks the file too: the baseline reads and checks
    const double bareCheck = msOf(
        [] { QSqlQuery(db().connection().database()).exec(QStringLiteral("PRAGMA quick_check")); });
    report("then every row (check and read; waits for the thread)", open + all,
           bareBoth + bareCheck);
    std::printf("    (%d CDs, %d songs)\n", db().cds()->recordCount(), db().songs()->recordCount());

    // another program writes, so the requery must really read again
    QSqlQuery(db().connection().database())
        .exec(QStringLiteral("UPDATE cdname SET 段 = 'x' WHERE CDID = 1"));
    report("requery rsCD and rsKyoku (after a change)", msOf([] {
               db().cds()->requery();
               db().songs()->requery();
           }),
           bareRead({allCDs, allSongs, allCDs, allSongs}));
    // nothing changed: the work is telling so, which a look at the file's header also does
    report("requery rsCD and rsKyoku (nothing changed)", msOf([] {
               db().cds()->requery();
               db().songs()->requery();
           }),
           msOf([] {
               QFile f(db().databasePath());
               f.open(QIODevice::ReadOnly);
               f.read(100);
               QFileInfo(db().databasePath()).lastModified();
           }),
           "look");

    int n = 0;
    report(
        "filter rsKyoku (= and like) and count", msOf([&] {
            db().songs()->setFilter(
                Criteria()
                    .equals(QStringLiteral("作曲者名"), QStringLiteral("ダンディ (d'Indy)"))
                    .like(QStringLiteral("曲名"), QStringLiteral("*アダージョ*")));
            n = db().songs()->recordCount();
        }),
        bareRead({QStringLiteral("SELECT rowid, * FROM kyoku WHERE 作曲者名 = 'ダンディ (d''Indy)' "
                                 "AND 曲名 LIKE '%アダージョ%' ORDER BY 曲ID")}));
    std::printf("    (%d songs pass)\n", n);
    db().songs()->setFilter(Criteria());
    // the baseline sorts the same titles in memory with the same collation, on one thread
    QStringList songTitles;
    for (int r = 0; r < db().songs()->recordCount(); ++r)
        songTitles << db().songs()->valueAt(r, 2).toString();
    const double plainSort = msOf([&] {
        std::vector<std::pair<QCollatorSortKey, int>> keyed;
        keyed.reserve(size_t(songTitles.size()));
        for (int i = 0; i < songTitles.size(); ++i)
            keyed.emplace_back(japaneseCollator().sortKey(songTitles[i]), i);
        std::stable_sort(keyed.begin(), keyed.end(),
                         [](const auto& a, const auto& b) { return a.first.compare(b.first) < 0; });
    });
    report("sort rsKyoku by 曲名 (Japanese order)",
           msOf([] { db().songs()->setSort(QStringLiteral("曲名 asc")); }), plainSort, "keys");
    report("sort rsCD by CD名", msOf([] { db().cds()->setSort(QStringLiteral("CD名 asc")); }),
           bareRead({QStringLiteral("SELECT rowid, * FROM cdname ORDER BY CD名")}));
    db().songs()->setSort(QString());
    db().cds()->setSort(QString());
    qint64 songs = 0;
    // the baseline walks the same rows in memory, counting songs by a hash of titles
    QHash<QString, int> perTitle;
    for (int r = 0; r < db().songs()->recordCount(); ++r)
        ++perTitle[db().songs()->valueAt(r, 0).toString().toCaseFolded()];
    qint64 counted = 0;
    const double hashWalk = msOf([&] {
        for (int r = 0; r < db().cds()->recordCount(); ++r)
            counted += perTitle.value(db().cds()->valueAt(r, 1).toString().toCaseFolded());
    });
    report("walk rsCD first to last, child following", msOf([&] {
               for (db().cds()->moveFirst(); !db().cds()->eof(); db().cds()->moveNext())
                   songs += db().songsOfCD()->recordCount();
           }),
           hashWalk, "hash");
    std::printf("    (%lld songs seen through kyokusub)\n", songs);
    report("CloseDataContext", msOf([] { db().CloseDataContext(); }), 0);
}

// The bare statements write to a copy of the collection, so that the forms'
// own writes find the file exactly as the views read it.
QSqlDatabase bareCopy()
{
    const QString copy = db().databasePath() + QStringLiteral(".bare");
    if (!QSqlDatabase::contains(QStringLiteral("bare"))) {
        QFile::remove(copy);
        QFile::copy(db().databasePath(), copy);
        QSqlDatabase db
            = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bare"));
        db.setDatabaseName(copy);
        db.open();
    }
    return QSqlDatabase::database(QStringLiteral("bare"));
}

// A bare statement doing the same write as the form, for comparison.
double bareWrite(const QString& sql, const QVariantList& binds)
{
    return msOf([&] {
        QSqlQuery q(bareCopy());
        q.exec(QStringLiteral("BEGIN IMMEDIATE"));
        q.prepare(sql);
        for (const QVariant& b : binds)
            q.addBindValue(b);
        q.exec();
        QSqlQuery(bareCopy()).exec(QStringLiteral("COMMIT"));
    });
}

void benchBackup()
{
    const QString copy = db().databasePath() + QStringLiteral(".plain");
    const double plain = msOf([&] { QFile::copy(db().databasePath(), copy); });
    QFile::remove(copy);
    QString made;
    const double vacuum = msOf([&] { made = db().connection().backupNow(); });
    QFile::remove(made);
    report("backup by SQLite (VACUUM INTO)", vacuum, plain, "copy");
}

void benchTransfer()
{
    QTemporaryDir out;
    QVector<QVector<QVariant>> cds, songs;
    const double bare = bareRead({allCDs, allSongs});
    const double exported = msOf([&] {
        for (const RowPtr& r : db().connection().read(allCDs, Connection::cdnameFields()))
            cds << r->values();
        for (const RowPtr& r : db().connection().read(allSongs, Connection::kyokuFields()))
            songs << r->values();
        csv::save(out.filePath(QStringLiteral("cdname.csv")),
                  csv::write(Connection::cdnameFields(), cds));
        csv::save(out.filePath(QStringLiteral("kyoku.csv")),
                  csv::write(Connection::kyokuFields(), songs));
    });
    report("CSV export of both tables", exported, bare);
    importer::Rows rows;
    const double read = msOf([&] {
        rows = csv::readFiles(out.filePath(QStringLiteral("cdname.csv")),
                              out.filePath(QStringLiteral("kyoku.csv")));
    });
    report("CSV read and check of both files", read, bare);
    const double written = msOf(
        [&] { importer::writeCollection(out.filePath(QStringLiteral("new.db")), rows, false); });
    report("CSV rows written as a new collection", written, bare);
    std::printf("    (%lld CDs, %lld songs)\n", qint64(rows.cds.size()), qint64(rows.songs.size()));
    const QString legacy = QStringLiteral(LEGACY_FIXTURES "/cdkaisou.mdb");
    if (QFileInfo::exists(legacy)) {
        importer::Rows old;
        // the best of five: the reading program's start is what is measured
        double readHere = 1e9, readApart = 1e9;
        for (int i = 0; i < 5; ++i) {
            readHere = std::min(readHere, msOf([&] { old = importer::readLegacyHere(legacy); }));
            readApart = std::min(readApart, msOf([&] { old = importer::readLegacy(legacy); }));
        }
        const double wroteOld = msOf(
            [&] { importer::writeCollection(out.filePath(QStringLiteral("old.db")), old, false); });
        report("old database (40 CDs, 400 songs): read by its own process", readApart, readHere,
               "here");
        report("old database: written as a new collection", wroteOld, 0);
    }
}

// The CDs-with-songs report over the whole collection: laying out every
// page, and drawing them to PDF, beside drawing the same rows as plain lines.
void benchReports(const QString& pdfFolder)
{
    BandedReport& layout = DataReport2();
    layout.setDataSource(db().cds());
    assignCDFields(layout, QStringLiteral("rsrptkyoku_Header"));
    assignSongFields(layout, QStringLiteral("rptkyokusub_Detail"), QStringLiteral("kyokusub"));
    layout.control(QStringLiteral("section4"), QStringLiteral("lblcriteria")).text
        = QStringLiteral("すべてのデータ表示");
    const double laid = msOf([&] { layout.layout(15500, 10771); });
    std::printf("    (%lld pages of CDs with songs)\n", qint64(layout.layout(15500).size()));
    report("lay out the CD-with-songs report (all pages)", laid, 0);
    // The preview lays out every page and draws the first; the baseline draws
    // the same page's rows as plain text lines.
    QPrinter printer(QPrinter::HighResolution);
    const double shown = msOf([&] { ReportPreview preview(layout, &printer); });
    const double plain = msOf([&] {
        QImage page(800, 1130, QImage::Format_RGB32);
        QPainter p(&page);
        int y = 20;
        for (int r = 0; r < 2 && r < db().cds()->recordCount(); ++r)
            for (const auto* song : db().cds()->childRowsAt(r)) {
                p.drawText(0, y, song->value(2).toString());
                y += 16;
            }
    });
    report("open the preview of the CD-with-songs report", shown, plain, "text");
    // Writing every page to PDF (the preview's export) takes its time per page.
    const int sample = 200;
    const double pdfPages = msOf([&] {
        QPdfWriter writer(QDir(pdfFolder).filePath(QStringLiteral("cds-with-songs.pdf")));
        writer.setPageSize(QPageSize(QPageSize::A4));
        QPainter p(&writer);
        const double perTwip = writer.logicalDpiY() / 1440.0;
        const int width = int(p.viewport().width() / perTwip);
        const auto pages = layout.layout(int(p.viewport().height() / perTwip), width);
        for (int n = 0; n < sample && n < pages.size(); ++n) {
            if (n > 0)
                writer.newPage();
            layout.drawPage(p, pages, n, perTwip, width);
        }
    });
    report("write 200 report pages to PDF", pdfPages, 0);
}

void benchEntry(frmMain* w)
{
    benchTransfer();
    benchBackup();
    frmInputCD* cdForm = nullptr;
    report("open the CD entry form", msOf([&] { cdForm = new frmInputCD(w->db, w); }), 0);
    // as the main window opens it: its closing shows all data again
    QObject::connect(cdForm, &frmInputCD::closedDataChanged, w, &frmMain::entryFormClosed);
    // delete the last CD that has songs; the one before it, by bare statements
    db().cds()->moveLast();
    while (db().songsOfCD()->recordCount() == 0)
        db().cds()->movePrevious();
    db().cds()->movePrevious();
    const QString other = db().cds()->value(QStringLiteral("CD名")).toString();
    db().cds()->moveNext();
    const QString title = db().cds()->value(QStringLiteral("CD名")).toString();
    const int songs = db().songsOfCD()->recordCount();
    MsgBoxSetNextAnswers({QMessageBox::Yes, QMessageBox::Ok});
    const double deleted
        = msOf([&] { cdForm->findChild<QPushButton*>(QStringLiteral("cmdDelete"))->click(); });
    MsgBoxTakeAnswered();
    const double bareDelete = msOf([&] {
        QSqlQuery q(bareCopy());
        q.exec(QStringLiteral("BEGIN IMMEDIATE"));
        q.prepare(QStringLiteral("DELETE FROM kyoku WHERE CD名 = ?"));
        q.addBindValue(other);
        q.exec();
        q.prepare(QStringLiteral("DELETE FROM cdname WHERE CD名 = ?"));
        q.addBindValue(other);
        q.exec();
        QSqlQuery(bareCopy()).exec(QStringLiteral("COMMIT"));
    });
    std::printf("    (%s: %d songs)\n", qPrintable(title.left(20)), songs);
    report("delete a CD with its songs (削除, first write: backup first)", deleted, bareDelete);
    report("close the CD form (the main window back to all data)", msOf([&] {
               cdForm->close();
               QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
           }),
           0);
    frmInputKyoku* songForm = nullptr;
    report("open the song entry form", msOf([&] { songForm = new frmInputKyoku(w->db, w); }), 0);
    QObject::connect(songForm, &frmInputKyoku::closedDataChanged, w, &frmMain::entryFormClosed);
    const QString cdTitle = songForm->dcoCDName->itemText(0);
    const double added = msOf([&] {
        songForm->cmdMasterAdd->click();
        songForm->dcoCDName->setEditText(cdTitle);
        songForm->txtrsSub(2)->setText(QStringLiteral("新しく入力した曲"));
        songForm->txtrsSub(3)->setText(QStringLiteral("新しい作曲者"));
        songForm->cmdMasterUpdate->click();
    });
    report("確定 of a new song", added,
           bareWrite(
               QStringLiteral("INSERT INTO kyoku (CD名, 曲ID, 曲名, 作曲者名) VALUES (?, ?, ?, ?)"),
               {cdTitle, 99999999, QStringLiteral("比較用"), QStringLiteral("比較用")}));
    report("close the song form (the main window back to all data)", msOf([&] {
               songForm->close();
               QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
           }),
           0);
    // What an entry form's close runs once the form has gone, beside the
    // close and reopening of everything it ran before: after a change, and
    // after a form that only browsed.
    auto afterForm = [&](const char* what, bool change) {
        auto changeOne = [&] {
            if (!change)
                return;
            db().cds()->moveLast();
            db().SaveCD({{db().cds()->fieldIndex(QStringLiteral("段")), 3}}, true);
        };
        changeOne();
        const double refreshed = msOf([&] { w->entryFormClosed(); });
        changeOne();
        const double reopened = msOf([&] { w->reset(); });
        report(what, refreshed, reopened, "reopen");
    };
    afterForm("all data again after an entry form that changed a CD", true);
    afterForm("all data again after an entry form that only browsed", false);
    {
        QSqlDatabase db = QSqlDatabase::database(QStringLiteral("bare"));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bare"));
    QFile::remove(db().databasePath() + QStringLiteral(".bare"));
}

void benchWindow(const QString& folder)
{
    const double open = msOf([] { db().OpenDataContext(); });
    db().CloseDataContext();
    QDir::setCurrent(folder);
    // the whole start, as a fresh program makes it: check, read, build the window, show it
    db().forgetReadRows();
    const double start = msOf([] {
        Main();
        QCoreApplication::processEvents();
    });
    report("start: Main to the window shown with data", start, 0);
    report("  then every row in (waiting for the thread)", msOf([] { db().WaitForAllRows(); }), 0);
    frmMain* w = mainWindow();
    const double reset = msOf([w] { w->reset(); });
    report("reset (full rebuild of the window)", reset, open, "open");
    const int moves = 300;
    cmdTop(w)->click();
    const double buttons = msOf([w] {
        for (int i = 0; i < moves; ++i) {
            cmdNext(w)->click();
            QCoreApplication::processEvents();
        }
    });
    report("one CD move by button (grid, panel, counters, jacket)", buttons / moves, 0);
    QTableView* grid = DataGrid2(w)->table();
    const double clicks = msOf([grid] {
        for (int i = 0; i < moves; ++i) {
            grid->setCurrentIndex(grid->model()->index(i * 7 % grid->model()->rowCount(), 1));
            QCoreApplication::processEvents();
        }
    });
    report("one CD move by grid click", clicks / moves, 0);

    auto search = [w](int box, const QString& value) {
        w->findChild<QAction*>(QStringLiteral("mnuTyuu"))->trigger();
        Check1(w, box)->setChecked(true);
        if (box == 7)
            w->findChild<QLineEdit*>(QStringLiteral("txtKyoku"))->setText(value);
        else if (box != 10)
            DataCombo1(w, box)->setText(value);
        w->cmdFilter_Click();
    };
    report("song search matching every song (曲名 like '*楽章*')",
           msOf([&] { search(7, QStringLiteral("*楽章*")); }), open, "open");
    std::printf("    (%d songs, %d CDs listed)\n", db().songs()->recordCount(),
                db().cdList()->recordCount());
    const double plainReset = msOf([w] { w->mnuReset_Click(); });
    report("reset to all data (mnuReset)", plainReset, open, "open");
    search(7, QStringLiteral("*楽章*"));
    w->findChild<QAction*>(QStringLiteral("mnuKyokuS"))->trigger();
    report("reset after a song search and a song sort", msOf([w] { w->mnuReset_Click(); }),
           plainReset, "rset");
    report("all-songs display (全曲表示)", msOf([&] { search(10, QString()); }), open, "open");
    std::printf("    (%d songs, %d CDs listed)\n", db().songs()->recordCount(),
                db().cdList()->recordCount());
    w->mnuReset_Click();
    report("CD search (発売元 = 'ポリドール')",
           msOf([&] { search(4, QStringLiteral("ポリドール")); }), open, "open");
    std::printf("    (%d CDs)\n", db().cds()->recordCount());
    report("reset to all data after a CD search", msOf([w] { w->mnuReset_Click(); }), open, "open");
    // another program changes a row: the reset must read both tables again
    {
        QSqlDatabase other
            = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        other.setDatabaseName(db().databasePath());
        other.open();
        QSqlQuery(other).exec(QStringLiteral("UPDATE kyoku SET 録音先 = 'FM' WHERE 曲ID = 1"));
        other.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
    report("reset to all data after another program wrote", msOf([w] { w->mnuReset_Click(); }),
           open, "open");
    benchReports(qEnvironmentVariable("RONDELLA_BENCH_PDF", QDir::tempPath()));
    benchEntry(w);
    w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void benchStart(const QString& folder);

// `startOnly`: the start of a fresh program alone, for the largest sizes.
void run(int cds, int songsPerCD, bool startOnly)
{
    QTemporaryDir dir;
    useFolder(dir.path());
    std::printf("\n== %d CDs x %d songs ==\n", cds, songsPerCD);
    const double made = msOf([&] { generate(dir.path(), cds, songsPerCD); });
    std::printf("  (collection generated in %.0f ms)\n", made);
    benchStart(dir.path());
    if (startOnly)
        return;
    benchStore();
    benchWindow(dir.path());
    struct rusage usage { };
    getrusage(RUSAGE_SELF, &usage);
    std::printf("  peak memory of the benchmark process (CSV rows and copies included): %.1f MiB\n",
                usage.ru_maxrss / 1024.0);
}

// A keystroke of quick find, as the child prints it for the benchmark to
// report: what the typing runs (find, filter, grids) and the finding alone,
// beside a bare memmem over the same text counting the CDs it occurs in.
void benchQuickFind(frmMain* w)
{
    const FindIndex& index = db().findIndex();
    std::printf("note quick find looks through %.1f MiB of text, %d CDs\n",
                index.bytes() / 1048576.0, index.cdCount());
    for (const QString& typed :
         {QString::fromUtf16(composers[3]), QStringLiteral("楽章"),
          QStringLiteral("ベートーベン 交響曲"), QStringLiteral("ない言葉")}) {
        const QStringList words = findWords(typed);
        const QByteArray needle = words.first().toUtf8();
        int bareCount = 0;
        const double bare = msOf([&] {
            const char* at = index.text().constData();
            const char* end = at + index.text().size();
            while (const void* hit
                   = memmem(at, size_t(end - at), needle.constData(), size_t(needle.size()))) {
                ++bareCount;
                at = static_cast<const char*>(hit) + needle.size();
            }
        });
        qsizetype found = 0;
        const double matching = msOf([&] { found = db().cdsMatching(words)->size(); });
        auto* field = named<QLineEdit>(w, QStringLiteral("txtQuickFind"));
        field->setText(typed);
        const double keystroke = msOf([&] {
            w->quickFind();
            QCoreApplication::processEvents();
        });
        std::printf("report quick find 「%s」: keystroke (%lld CDs)\t%.2f\t%.2f\n",
                    qPrintable(typed), qint64(found), keystroke, bare);
        std::printf("report quick find 「%s」: finding alone\t%.2f\t%.2f\n", qPrintable(typed),
                    matching, bare);
        w->mnuReset_Click();
    }
    std::fflush(stdout);
}

// コレクションの統計 on all data, from the menu item to the window on show,
// beside a bare SQL GROUP BY of the same counts.
void benchStatistics(frmMain* w)
{
    const double bare = msOf([] {
        QSqlDatabase base = db().connection().database();
        QStringList queries;
        for (const char* field : {"作曲者名", "分野", "指揮者名", "演奏団体"})
            queries << QStringLiteral("SELECT k.%1, COUNT(DISTINCT c.rowid), COUNT(*) FROM kyoku k "
                                      "LEFT JOIN cdname c ON c.CD名 = k.CD名 GROUP BY k.%1")
                           .arg(QString::fromUtf8(field));
        queries << QStringLiteral("SELECT 発売元, COUNT(*) FROM cdname GROUP BY 発売元")
                << QStringLiteral("SELECT substr(購入年月日, 1, 4), COUNT(*), TOTAL(購入価格) "
                                  "FROM cdname GROUP BY 1")
                << QStringLiteral("SELECT キャビネット, 段, COUNT(*) FROM cdname GROUP BY 1, 2");
        for (const QString& sql : queries) {
            QSqlQuery q(base);
            q.setForwardOnly(true);
            q.exec(sql);
            while (q.next()) { }
        }
    });
    const double counted = msOf([] { stats::countShown(db(), true, false); });
    const double opened = msOf([&] {
        w->findChild<QAction*>(QStringLiteral("mnuStatistics"))->trigger();
        QCoreApplication::processEvents();
    });
    if (auto* window = w->findChild<QDialog*>(QStringLiteral("frmStatistics")))
        window->close();
    QCoreApplication::processEvents();
    std::printf("report statistics window opened on all data\t%.2f\t%.2f\tGROUP BY\n", opened,
                bare);
    std::printf("report statistics: counting alone\t%.2f\t%.2f\tGROUP BY\n", counted, bare);
    // every song listed (全曲表示): the songs with the CDs that hold them
    const double everySong = msOf([] { stats::countShown(db(), false, true); });
    std::printf("report statistics: counting every song listed\t%.2f\t%.2f\tGROUP BY\n", everySong,
                bare);
    std::fflush(stdout);
}

double residentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

// The works: gathered beside the window once every row is in (the wait
// here is what is left of it), the window opened on them, and each
// keystroke of its filter; beside a bare loop that only splits the titles
// at their first space.
void benchWorks(frmMain* w)
{
    const double before = residentMiB();
    const double waited = msOf([] { db().Works(); });
    const double gathered
        = msOf([] { works::gather(db().songs()->baseRows(), &db().NameJoins()); });
    qsizetype split = 0;
    const double bare = msOf([&split] {
        const int title = kyokuTable().indexOf(QStringLiteral("曲名"));
        for (const RowPtr& row : db().songs()->baseRows())
            split += row->text(title, FieldType::Text).indexOf(u' ');
    });
    const double opened = msOf([&] {
        w->findChild<QAction*>(QStringLiteral("mnuWorks"))->trigger();
        QCoreApplication::processEvents();
    });
    auto* window = w->findChild<QWidget*>(QStringLiteral("frmWorks"));
    auto* filter
        = window ? window->findChild<QLineEdit*>(QStringLiteral("txtWorkFilter")) : nullptr;
    double slowest = 0;
    if (filter) {
        QString typed;
        for (QChar c : QStringLiteral("ベートーヴェン 交響曲")) {
            typed += c;
            slowest = std::max(slowest, msOf([&] {
                                   filter->setText(typed);
                                   QCoreApplication::processEvents();
                               }));
        }
        window->close();
    }
    QCoreApplication::processEvents();
    qsizetype works = 0;
    for (const works::Composer& c : db().Works()->composers)
        works += c.works.size();
    std::printf(
        "report works gathered (left to wait for after every row; %lld works, %.1f MiB more)"
        "\t%.2f\t%.2f\tsplit\n",
        qint64(works), residentMiB() - before, waited, bare);
    std::printf("report works gathered again from every song\t%.2f\t%.2f\tsplit\n", gathered, bare);
    std::printf("report works window opened\t%.2f\t%.2f\tsplit\n", opened, bare);
    std::printf("report works filter, slowest keystroke\t%.2f\t%.2f\tsplit\n", slowest, bare);
    std::fflush(stdout);
    Q_UNUSED(split);
}

// Keeping a big collection, as the window does it: a batch change of 10,000
// songs with the grids rebuilt after it, its undo, and a rating and a loan
// until the grid has drawn them; beside a bare read of every song.
void benchKeeping(frmMain* w)
{
    const double bare = bareRead({allSongs});
    // the duplicates window on the works gathered beside the window at the start
    const double shown = msOf([w] {
        w->findChild<QAction*>(QStringLiteral("mnuDuplicates"))->trigger();
        QCoreApplication::processEvents();
        if (auto* window = w->findChild<QWidget*>(QStringLiteral("frmDuplicates")))
            window->repaint();
    });
    if (auto* window = w->findChild<QWidget*>(QStringLiteral("frmDuplicates")))
        window->close();
    QVector<int> rows(std::min(10000, db().songs()->recordCount()));
    std::iota(rows.begin(), rows.end(), 0);
    const batch::Order order{
        QStringLiteral("録音会場"), false, {}, QStringLiteral("ムジークフェラインザール")};
    const double changed = msOf([&] {
        db().ApplyBatch(db().songs(), order.field, db().PlanBatch(db().songs(), rows, order));
        QCoreApplication::processEvents();
    });
    const double undone = msOf([] {
        db().Undo();
        QCoreApplication::processEvents();
    });
    const qint64 cdid = db().cds()->value(QStringLiteral("CDID")).toLongLong();
    const double rated = msOf([&] {
        db().Rate(ratings::Of::CD, cdid, 4);
        w->repaint();
    });
    const double lent = msOf([&] {
        db().Lend(loans::lending(cdid, QStringLiteral("山田"), QDate::currentDate()));
        w->repaint();
    });
    // and after those changes, when the works are gathered again first
    qsizetype pairs = 0;
    const double found = msOf([&pairs] { pairs = db().Duplicates().size(); });
    std::printf("report batch change of %lld songs, grids rebuilt\t%.2f\t%.2f\tread\n",
                qint64(rows.size()), changed, bare);
    std::printf("report its undo, grids rebuilt\t%.2f\t%.2f\tread\n", undone, bare);
    std::printf("report a rating shown\t%.2f\t%.2f\tread\n", rated, bare);
    std::printf("report a loan shown\t%.2f\t%.2f\tread\n", lent, bare);
    std::printf("report duplicates window shown\t%.2f\t%.2f\tread\n", shown, bare);
    std::printf("report duplicates found after a change, works gathered again (%lld pairs)"
                "\t%.2f\t%.2f\tread\n",
                qint64(pairs), found, bare);
    std::fflush(stdout);
}

// The child's side of the start measurement: a fresh program in the
// collection folder, as a user starts it. It says when the window is drawn
// with data (and what the counters say), then when every row is in, then its
// peak memory.
int startChild(const QString& folder)
{
    QDir::setCurrent(folder);
    if (!Main())
        return 1;
    QCoreApplication::processEvents();
    mainWindow()->repaint();
    std::printf("drawn %s | %s | %s\n", qPrintable(lblRcount(mainWindow(), 3)->text()),
                qPrintable(lblRcount(mainWindow(), 0)->text()),
                qPrintable(txtrs(mainWindow(), 1)->text().left(30)));
    std::fflush(stdout);
    db().WaitForAllRows();
    std::printf("loaded %d %d\n", db().cds()->recordCount(), db().songs()->recordCount());
    std::fflush(stdout);
    benchQuickFind(mainWindow());
    benchStatistics(mainWindow());
    benchWorks(mainWindow());
    benchKeeping(mainWindow());
    // the most a user then asks of memory: every song sorted by title, the
    // songs of the CD on show sorted likewise, and back to all data
    db().songs()->setSort(QStringLiteral("曲名 asc"));
    mainWindow()->findChild<QAction*>(QStringLiteral("mnuKyokuS"))->trigger();
    mainWindow()->mnuReset_Click();
    // The peak of this program's own memory: ru_maxrss would also count the
    // benchmark that started it, whose pages the child held before exec.
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    double peakKiB = 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            peakKiB = line.mid(6).trimmed().split(' ').value(0).toDouble();
    std::printf("peak %.1f\n", peakKiB / 1024.0);
    std::fflush(stdout);
    mainWindow()->close();
    return 0;
}

// The floor of the start: a fresh process that shows a plain Qt window with a
// grid of the first screen's rows, read bare, and nothing else.
int bareStartChild(const QString& folder)
{
    QMainWindow window;
    auto* grid = new QTableWidget(&window);
    window.setCentralWidget(grid);
    {
        QSqlDatabase db
            = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("first"));
        db.setDatabaseName(QDir(folder).filePath(QStringLiteral("cdkaisou.db")));
        db.open();
        QSqlQuery q(db);
        q.exec(QStringLiteral("SELECT COUNT(*) FROM cdname"));
        q.exec(QStringLiteral("SELECT COUNT(*) FROM kyoku"));
        q.exec(QStringLiteral("SELECT * FROM cdname ORDER BY CDID LIMIT 200"));
        grid->setColumnCount(8);
        QString title;
        for (int r = 0; q.next(); ++r) {
            grid->setRowCount(r + 1);
            for (int c = 0; c < 8; ++c)
                grid->setItem(r, c, new QTableWidgetItem(q.value(c).toString()));
            if (r == 0)
                title = q.value(1).toString();
        }
        q.prepare(
            QStringLiteral("SELECT * FROM kyoku WHERE CD名 = ? COLLATE NOCASE ORDER BY 曲ID"));
        q.addBindValue(title);
        q.exec();
        while (q.next()) { }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("first"));
    window.showMaximized();
    QCoreApplication::processEvents();
    window.repaint();
    std::printf("drawn (a plain window)\n");
    std::fflush(stdout);
    return 0;
}

// Starts the program as a fresh process in `folder`: the time from the start
// of the process to the window drawn with data, then to every row in, and the
// peak memory; beside them a bare read of the same first screen.
struct StartFigures {
    double drawn = 0, loaded = 0;
    QString screen, counts, peak;
};

StartFigures startChildIn(const QString& folder,
                          const QString& mode = QStringLiteral("--start-child"))
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    QElapsedTimer t;
    t.start();
    child.start(QCoreApplication::applicationFilePath(), {mode, folder});
    double drawn = 0, loaded = 0;
    QString screen, counts, peak;
    while (child.state() != QProcess::NotRunning || child.canReadLine()) {
        if (!child.canReadLine() && !child.waitForReadyRead(60000))
            break;
        while (child.canReadLine()) {
            const QString line = QString::fromUtf8(child.readLine()).trimmed();
            if (line.startsWith(QStringLiteral("drawn "))) {
                drawn = t.nsecsElapsed() / 1e6;
                screen = line.mid(6);
            } else if (line.startsWith(QStringLiteral("loaded "))) {
                loaded = t.nsecsElapsed() / 1e6;
                counts = line.mid(7);
            } else if (line.startsWith(QStringLiteral("peak "))) {
                peak = line.mid(5);
            } else if (line.startsWith(QStringLiteral("note "))) {
                std::printf("    (%s)\n", qPrintable(line.mid(5)));
            } else if (line.startsWith(QStringLiteral("report "))) {
                const QStringList parts = line.mid(7).split(u'\t');
                report(parts.value(0).toUtf8().constData(), parts.value(1).toDouble(),
                       parts.value(2).toDouble(),
                       parts.size() > 3 ? parts.value(3).toUtf8().constData() : "memmem");
            }
        }
    }
    child.waitForFinished(60000);
    return StartFigures{drawn, loaded, screen, counts, peak};
}

void benchStart(const QString& folder)
{
    const StartFigures f = startChildIn(folder);
    const double drawn = f.drawn, loaded = f.loaded;
    const QString &screen = f.screen, &counts = f.counts, &peak = f.peak;
    // the floor: a fresh process showing a plain window with the first screen's rows read bare
    const double bare = startChildIn(folder, QStringLiteral("--bare-child")).drawn;
    report("start: process start to the window drawn with data", drawn, bare);
    std::printf("    (CDs %s; songs of the first CD %s)\n",
                qPrintable(screen.section(u'|', 0, 0).trimmed()),
                qPrintable(screen.section(u'|', 1, 1).trimmed()));
    report("start: process start to every row read", loaded, 0);
    std::printf(
        "    (%s CDs and songs; peak memory, all songs sorted by title and reset: %s MiB)\n",
        qPrintable(counts), qPrintable(peak));
    // A collection made by an earlier version has no title indexes: the first
    // CD's songs are found by reading the whole song table.
    QTemporaryDir old;
    QFile::copy(QDir(folder).filePath(QStringLiteral("cdkaisou.db")),
                old.filePath(QStringLiteral("cdkaisou.db")));
    {
        QSqlDatabase db
            = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("old"));
        db.setDatabaseName(old.filePath(QStringLiteral("cdkaisou.db")));
        db.open();
        QSqlQuery(db).exec(QStringLiteral("DROP INDEX kyoku_title"));
        QSqlQuery(db).exec(QStringLiteral("DROP INDEX cdname_title"));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("old"));
    const StartFigures unindexed = startChildIn(old.path());
    report("start without the title indexes (an older file)", unindexed.drawn, drawn, "idx");
}

// A library of ripped albums: one short FLAC file made by sox, copied and
// tagged with TagLib, `albums` folders of `tracks` files each.
void makeLibrary(const QString& root, int albums, int tracks)
{
    const QString model = QDir(root).filePath(QStringLiteral("model.flac"));
    QDir().mkpath(root);
    QProcess::execute(QStringLiteral("sox"),
                      {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("8000"),
                       QStringLiteral("-c"), QStringLiteral("1"), model, QStringLiteral("trim"),
                       QStringLiteral("0"), QStringLiteral("1")});
    for (int a = 0; a < albums; ++a) {
        const QString folder = QDir(root).filePath(QStringLiteral("album%1").arg(a));
        QDir().mkpath(folder);
        const QString composer = QString::fromUtf16(composers[a % std::size(composers)]);
        for (int t = 0; t < tracks; ++t) {
            const QString path = QDir(folder).filePath(
                QStringLiteral("%1.flac").arg(t + 1, 2, 10, QLatin1Char('0')));
            QFile::copy(model, path);
            const QByteArray name = QFile::encodeName(path);
            TagLib::FLAC::File file(name.constData());
            TagLib::PropertyMap map;
            auto put = [&](const char* key, const QString& value) {
                map.insert(key, TagLib::String(value.toStdString(), TagLib::String::UTF8));
            };
            put("ALBUM", QStringLiteral("%1：作品集 %2").arg(composer).arg(a));
            put("TITLE", QStringLiteral("第%1楽章").arg(t + 1));
            put("TRACKNUMBER", QString::number(t + 1));
            put("COMPOSER", composer);
            put("CONDUCTOR", performer(quint32(a) * 7919u));
            put("ORCHESTRA", performer(quint32(a) * 104729u) + QStringLiteral(" 管弦楽団"));
            put("GENRE", QStringLiteral("交響曲"));
            file.setProperties(map);
            file.save();
        }
    }
    QFile::remove(model);
}

// Reading the tags of a library and adding it, beside a bare TagLib loop over
// the same files.
void benchAudio(int albums, int tracks)
{
    std::printf("\n== ripped music: %d albums x %d files ==\n", albums, tracks);
    QTemporaryDir dir;
    const QString library = dir.filePath(QStringLiteral("music"));
    const double made = msOf([&] { makeLibrary(library, albums, tracks); });
    std::printf("  (library made in %.0f ms)\n", made);
    const double bare = msOf([&] {
        QDirIterator it(library, QDir::Files, QDirIterator::Subdirectories);
        int titles = 0;
        while (it.hasNext()) {
            const QByteArray name = QFile::encodeName(it.next());
            TagLib::FileRef ref(name.constData());
            titles += ref.tag() && !ref.tag()->title().isEmpty();
        }
    });
    audio::Found found;
    const double read = msOf([&] { found = audio::findAlbums(library); });
    report("read the tags of every file into albums", read, bare, "bare");
    const QString collection = dir.filePath(QStringLiteral("cdkaisou.db"));
    const double added = msOf([&] {
        Connection cn(collection);
        audio::addAlbums(cn, found.albums);
    });
    report("add them in one transaction", added, 0);
    report("the whole import (read and add)", read + added, bare, "bare");
    std::printf("    (%lld albums, %lld files unreadable)\n", qint64(found.albums.size()),
                qint64(found.unreadable.size()));
}

} // namespace

// The HTML catalogue: the export of a generated collection (every 20th CD
// with a jacket to make a thumbnail of), the page opened in a headless
// Chromium 360 px wide as a phone shows it, and searches typed into it key
// by key. Each keystroke is timed in the page, from the input event to the
// frame after the list is drawn (the search, the list and its layout),
// beside the same words found by quick find in the program.
void benchHtml(int cds, int songsPerCD)
{
    QTemporaryDir dir;
    std::printf("\n== the HTML catalogue of %d CDs x %d songs ==\n", cds, songsPerCD);
    generate(dir.path(), cds, songsPerCD);
    QImage picture(600, 600, QImage::Format_RGB32);
    picture.fill(QColor(40, 80, 160));
    QDir().mkpath(dir.filePath(QStringLiteral("jacket")));
    const QString first = jacket::pictureOf(dir.path(), 1);
    picture.save(first, "JPEG", 90);
    for (int id = 21; id <= cds; id += 20)
        QFile::copy(first, jacket::pictureOf(dir.path(), id));
    const QString out = dir.filePath(QStringLiteral("catalogue"));
    htmlexport::Written written;
    const double exportMs = msOf([&] {
        Connection cn(QDir(dir.path()).filePath(QStringLiteral("cdkaisou.db")));
        written = htmlexport::write(cn, dir.path(), out);
    });
    report(qPrintable(QStringLiteral("HTML export (%1 CDs, %2 thumbnails)")
                          .arg(written.cds)
                          .arg(written.jackets)),
           exportMs, 0);
    std::printf("  (data.js is %.1f MiB)\n",
                QFileInfo(QDir(out).filePath(QStringLiteral("data.js"))).size() / 1048576.0);
    std::fflush(stdout);

    WebDriver browser(360, 740);
    if (!browser.failure().isEmpty()) {
        std::printf("  no browser: %s\n", qPrintable(browser.failure()));
        return;
    }
    QElapsedTimer opening;
    opening.start();
    browser.open(QUrl::fromLocalFile(QDir(out).filePath(QStringLiteral("index.html"))));
    while (!browser
                .run(QStringLiteral("return document.getElementById('catalogue')"
                                    ".getAttribute('data-ready') === 'true'"))
                .toBool()
           && opening.elapsed() < 120000)
        QThread::msleep(20);
    report("HTML page opened, its first list drawn (360 px)", double(opening.elapsed()), 0);
    // each input event timed from its start to the frame after the list is drawn
    browser.run(QStringLiteral(
        "window.benchTimes = []; var field = document.getElementById('q');"
        "window.addEventListener('input', function () { window.benchStart = performance.now(); },"
        " true);"
        "window.addEventListener('input', function () { var started = window.benchStart;"
        "  var searched = performance.now(); document.body.offsetHeight;"
        "  var laidOut = performance.now();"
        "  requestAnimationFrame(function () { setTimeout(function () {"
        "    window.benchTimes.push([searched - started, laidOut - started,"
        "      performance.now() - started]); }, 0); });"
        "});"));
    Collection reference(dir.path());
    reference.OpenDataContext();
    reference.WaitForAllRows();
    reference.findIndex(); // made once, as the window makes it beside the typing
    const QString field = browser.element(QStringLiteral("#q"));
    for (const QString& typed : {QString::fromUtf16(composers[3]), QStringLiteral("楽章"),
                                 QStringLiteral("ベートーベン 交響曲"), QStringLiteral("作品67"),
                                 QStringLiteral("ない言葉")}) {
        browser.type(field, QString());
        browser.run(QStringLiteral("window.benchTimes = [];"));
        browser.type(field, typed);
        const int keys = int(typed.size());
        QJsonArray times;
        for (int tries = 0; tries < 500 && times.size() < keys; ++tries) {
            QThread::msleep(10);
            times = browser.run(QStringLiteral("return window.benchTimes")).toArray();
        }
        double worstSearch = 0, worstLayout = 0, worstFrame = 0;
        for (const QJsonValue& t : times) {
            worstSearch = std::max(worstSearch, t.toArray().at(0).toDouble());
            worstLayout = std::max(worstLayout, t.toArray().at(1).toDouble());
            worstFrame = std::max(worstFrame, t.toArray().at(2).toDouble());
        }
        const QString count
            = browser.run(QStringLiteral("return document.getElementById('count').textContent"))
                  .toString();
        const double quick = msOf([&] { reference.cdsMatching(findWords(typed)); });
        std::printf("  「%s」: %s, %lld keystrokes timed\n", qPrintable(typed), qPrintable(count),
                    qint64(times.size()));
        report("  worst keystroke, search and list built", worstSearch, quick, "quick find");
        report("  worst keystroke, list laid out for the screen", worstLayout, quick, "quick find");
        report("  worst keystroke, to the frame after it", worstFrame, quick, "quick find");
        // the keys before come faster than frames: the last one's frame is its own
        report("  last keystroke, to the frame after it",
               times.isEmpty() ? 0.0 : times.last().toArray().at(2).toDouble(), quick,
               "quick find");
        std::fflush(stdout);
    }
}

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // the benchmark's windows remember nothing in the user's configuration
    QTemporaryDir settings;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Rondella のベンチマーク"));
    parser.addHelpOption();
    const QCommandLineOption startChildOption(QStringLiteral("start-child"), QString(),
                                              QStringLiteral("フォルダー"));
    const QCommandLineOption bareChildOption(QStringLiteral("bare-child"), QString(),
                                             QStringLiteral("フォルダー"));
    const QCommandLineOption cdsOption(QStringLiteral("cds"), QStringLiteral("CD の数"),
                                       QStringLiteral("数"));
    const QCommandLineOption songsOption(QStringLiteral("songs"), QStringLiteral("CD 一枚の曲の数"),
                                         QStringLiteral("数"));
    const QCommandLineOption generateOption(QStringLiteral("generate"),
                                            QStringLiteral("コレクションを作るだけのフォルダー"),
                                            QStringLiteral("フォルダー"));
    const QCommandLineOption audioOption(QStringLiteral("audio"),
                                         QStringLiteral("音楽ファイルの取り込みを測ります"));
    const QCommandLineOption startOnlyOption(QStringLiteral("start-only"),
                                             QStringLiteral("起動だけを測ります"));
    const QCommandLineOption htmlOption(
        QStringLiteral("html"), QStringLiteral("HTML目録の書き出しとブラウザーでの検索を測ります"));
    parser.addOptions({startChildOption, bareChildOption, cdsOption, songsOption, generateOption,
                       audioOption, startOnlyOption, htmlOption});
    auto refuse = [](const QString& why) {
        std::fprintf(stderr, "%s\n", why.toLocal8Bit().constData());
        return 2;
    };
    if (!parser.parse(app.arguments()))
        return refuse(
            parser.unknownOptionNames().isEmpty()
                ? QStringLiteral("オプションの値がありません: %1").arg(app.arguments().last())
                : QStringLiteral("知らないオプションです: %1")
                      .arg(parser.unknownOptionNames().join(u' ')));
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (!parser.positionalArguments().isEmpty())
        return refuse(
            QStringLiteral("余分な引数です: %1").arg(parser.positionalArguments().join(u' ')));
    if (parser.isSet(startChildOption))
        return startChild(parser.value(startChildOption));
    if (parser.isSet(bareChildOption))
        return bareStartChild(parser.value(bareChildOption));
    auto number = [&parser](const QCommandLineOption& option, int& to) {
        bool ok = false;
        to = parser.value(option).toInt(&ok);
        return ok && to > 0;
    };
    int cds = 0, songs = 0;
    const bool sized = parser.isSet(cdsOption) || parser.isSet(songsOption);
    if (sized && !(number(cdsOption, cds) && number(songsOption, songs)))
        return refuse(
            QStringLiteral("--cds と --songs には、どちらも 1 以上の数を指定してください。"));
    if (parser.isSet(generateOption)) {
        if (!sized)
            return refuse(QStringLiteral("--generate には --cds と --songs も指定してください。"));
        generate(parser.value(generateOption), cds, songs);
        return 0;
    }
    if (parser.isSet(audioOption)) {
        benchAudio(2000, 15);
        return 0;
    }
    if (parser.isSet(htmlOption)) {
        benchHtml(sized ? cds : 10000, sized ? songs : 15);
        return 0;
    }
    if (parser.isSet(startOnlyOption)) {
        for (int n : {2000, 10000, 50000})
            run(n, 15, true);
        return 0;
    }
    if (sized) {
        run(cds, songs, false);
    } else {
        for (int n : {2000, 10000})
            run(n, 15, false);
        run(50000, 15, true);
    }
    return 0;
}
