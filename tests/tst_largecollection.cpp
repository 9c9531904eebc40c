// A collection large enough to be read in two steps: the first screen at
// once, the whole tables after it on a thread of their own.
#include "mainui.h"
#include "mainwindow/frmmain.h"
#include "store/collection.h"
#include "store/criteria.h"
#include "store/dberror.h"
#include "store/findtext.h"
#include "store/rowreader.h"
#include "store/titlelookup.h"
#include "testsupport.h"
#include "widgets/databound.h"
#include "widgets/msgbox.h"

#include <QDate>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

namespace {

constexpr int CDs = 1500;
constexpr int SongsPerCD = 13; // 1,500 CDs and about 19,500 songs: read in two steps

QString titleOf(int id)
{
    // Japanese titles whose Japanese order differs from the order of CDID
    return QStringLiteral("%1：交響曲第%2番 / 演奏者%3")
        .arg(id % 2 ? QStringLiteral("ベートーヴェン") : QStringLiteral("ブラームス"))
        .arg(id % 9 + 1)
        .arg(id);
}

// CDs are written from the highest CDID down and songs in shuffled 曲ID
// order, so that file order and view order differ. CD 1 is "Dvořák: Suite";
// among its songs one names it in other ASCII letter case and one in other
// case of ř and á as well, which SQLite's NOCASE does not see as the same. CDs 7 and 8 share a
// title, which the song with the smallest 曲ID bears.
void writeLarge(const QString& folder)
{
    QVector<QVariantMap> cds, songs;
    for (int id = CDs; id >= 1; --id) {
        QString title = id == 1 ? QStringLiteral("Dvořák: Suite") : titleOf(id);
        if (id == 8)
            title = titleOf(7);
        cds << cd(id, title,
                  {{"発売元", id % 3 ? "ポリドール" : "Decca"}, {"購入価格", 1000 + id}});
    }
    int songId = 0;
    QVector<QVariantMap> ordered;
    for (int id = 1; id <= CDs; ++id) {
        if (id == 8)
            continue;
        const QString title = id == 1 ? QStringLiteral("Dvořák: Suite") : titleOf(id);
        for (int s = 0; s < SongsPerCD; ++s)
            ordered << song(id == 1 && s == 2       ? QStringLiteral("dvořák: SUITE")
                                : id == 1 && s == 3 ? QStringLiteral("DVOŘÁK: suite")
                                                    : title,
                            100 + ++songId, QStringLiteral("第%1楽章 %2").arg(s + 1).arg(id),
                            {{"作曲者名", id == CDs ? "ダンディ (d'Indy)" : "作曲者"}});
    }
    // the smallest 曲ID belongs to a song of CDs 7 and 8
    ordered << song(titleOf(7), 1, "最初の曲", {{"作曲者名", "作曲者"}});
    for (int i = 0; i < ordered.size(); ++i)
        songs << ordered.at((i * 7919) % ordered.size());
    writeCollection(folder, cds, songs);
}

// Every row of a view, its values joined, in view order.
QStringList rowsOf(View& v)
{
    QStringList out;
    for (int r = 0; r < v.recordCount(); ++r) {
        QStringList values;
        for (int c = 0; c < v.fieldCount(); ++c)
            values << v.valueAt(r, c).toString();
        out << values.join(u'|');
    }
    return out;
}

// The same rows read by a plain query.
QStringList rowsOfQuery(const QString& sql)
{
    QStringList out;
    {
        QSqlDatabase db
            = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("plain"));
        db.setDatabaseName(::db().databasePath());
        db.open();
        QSqlQuery q(db);
        q.exec(sql);
        while (q.next()) {
            QStringList values;
            for (int c = 0; c < q.record().count(); ++c) {
                const QVariant v = q.value(c);
                const QDate date = QDate::fromString(v.toString(), Qt::ISODate);
                values << (date.isValid() ? date.toString(Qt::ISODate) : v.toString());
            }
            out << values.join(u'|');
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("plain"));
    return out;
}

void execute(const QString& sql)
{
    {
        QSqlDatabase db
            = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        db.setDatabaseName(::db().databasePath());
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY2(q.exec(sql), qPrintable(q.lastError().text()));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
}

} // namespace

class TestLargeCollection : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void firstScreenThenEveryRow();
    void commandsWaitForEveryRow();
    void snapshotOfTheOpeningMoment();
    void keptRowsWhileTheCheckRuns();
    void damageFoundAfterTheFirstScreen();
    void damageFoundByTheFirstScreen();
    void windowFillsInAfterTheFirstScreen();
    void titleLookupFindsEverySpelling();
    void windowToldOfDamageFoundAfterTheFirstScreen();

private:
    std::unique_ptr<StartupFolder> m_folder;
    QPointer<frmMain> m_window;
};

void TestLargeCollection::init()
{
    m_folder = std::make_unique<StartupFolder>();
    writeLarge(m_folder->path());
    db().forgetReadRows();
}

void TestLargeCollection::cleanup()
{
    endTest(m_window, m_folder);
}

void TestLargeCollection::firstScreenThenEveryRow()
{
    db().OpenDataContext();
    // Nothing is handed over before the event loop runs or a command asks.
    QVERIFY(db().cds()->isProvisional());
    QVERIFY(db().songs()->isProvisional());
    QCOMPARE(db().cds()->recordCount(), CDs);
    QCOMPARE(db().songs()->recordCount(), (CDs - 1) * SongsPerCD + 1);
    QCOMPARE(db().cds()->value("CDID").toInt(), 1);
    QCOMPARE(db().cds()->valueAt(99, 0).toInt(), 100);
    QVERIFY(db().cds()->valueIfRead(CDs - 1, 0).isNull()); // not read yet, and nobody waits
    // the songs of CD 1, in 曲ID order, those in other letter case among them
    QCOMPARE(db().songsOfCD()->recordCount(), SongsPerCD);
    QCOMPARE(db().songsOfCD()->value("曲ID").toInt(), 101);
    QCOMPARE(db().songsOfCD()->valueAt(2, 0).toString(), QStringLiteral("dvořák: SUITE"));
    QCOMPARE(db().songsOfCD()->valueAt(3, 0).toString(), QStringLiteral("DVOŘÁK: suite"));
    // the first song by 曲ID and both CDs of its title
    QCOMPARE(db().songs()->value("曲名").toString(), QStringLiteral("最初の曲"));
    QCOMPARE(db().cdsOfSong()->recordCount(), 2);
    QCOMPARE(db().cdsOfSong()->valueAt(1, 0).toInt(), 8);

    db().WaitForAllRows();
    QVERIFY(db().AllRowsRead());
    QVERIFY(!db().cds()->isProvisional() && !db().songs()->isProvisional());
    QCOMPARE(
        rowsOf(*db().cds()),
        rowsOfQuery("SELECT CDID, CD名, 解説者, 購入価格, 購入年月日, 発売元, キャビネット, 段 "
                    "FROM cdname ORDER BY CDID"));
    QCOMPARE(
        rowsOf(*db().songs()),
        rowsOfQuery("SELECT CD名, 曲ID, 曲名, 作曲者名, 編曲者名, 指揮者名, 演奏団体, ソリスト, "
                    "録音先, 録音先番号, 録音時間, 録音年月日, 録音会場, 原盤番号, 分野 "
                    "FROM kyoku ORDER BY 曲ID"));
    // the views still stand where they stood, and follow their parents
    QCOMPARE(db().cds()->value("CDID").toInt(), 1);
    QCOMPARE(db().songsOfCD()->recordCount(), SongsPerCD);
    QCOMPARE(db().songsOfCD()->valueAt(3, 0).toString(), QStringLiteral("DVOŘÁK: suite"));
    QCOMPARE(db().cdsOfSong()->recordCount(), 2);
    db().cds()->moveLast();
    QCOMPARE(db().songsOfCD()->recordCount(), SongsPerCD);
    QCOMPARE(db().songsOfCD()->value("作曲者名").toString(), QStringLiteral("ダンディ (d'Indy)"));
    // the value lists are made from every row, not from the first screen's
    QCOMPARE(db().valueList(Collection::ValueList::Hatubai)->recordCount(), 2);
    QCOMPARE(db().valueList(Collection::ValueList::Sakkyoku)->recordCount(), 2);
    // and the file proved whole: a write goes through
    QVERIFY(!db().connection().integrityPending());
}

void TestLargeCollection::commandsWaitForEveryRow()
{
    db().OpenDataContext();
    QVERIFY(db().cds()->isProvisional());
    db().cds()->moveLast(); // needs every row: waits for them
    QVERIFY(db().AllRowsRead());
    QCOMPARE(db().cds()->value("CDID").toInt(), CDs);
    db().CloseDataContext();

    db().forgetReadRows();
    db().OpenDataContext();
    QVERIFY(db().songs()->isProvisional());
    db().songs()->setFilter(Criteria().equals("作曲者名", "ダンディ (d'Indy)"));
    QCOMPARE(db().songs()->recordCount(),
             SongsPerCD); // the last CD's songs, never in the first rows
    db().CloseDataContext();

    db().forgetReadRows();
    db().OpenDataContext();
    db().cds()->setSort("CD名 desc");
    QCOMPARE(db().cds()->recordCount(), CDs);
    // ベ after ブ, 第9番 last, and 演奏者1493 after 演奏者999: read as a number
    QCOMPARE(db().cds()->value("CD名").toString(), titleOf(1493));
    db().CloseDataContext();

    // quick find too: the last CD's composer is in no row of the first screen
    db().forgetReadRows();
    db().OpenDataContext();
    QVERIFY(db().songs()->isProvisional());
    const auto found = db().cdsMatching(findWords(QStringLiteral("だんでぃ d'indy")));
    QVERIFY(db().AllRowsRead());
    QCOMPARE(found->size(), 1);
    db().cds()->setFilter(Criteria().rowsAmong(found, QStringLiteral("すべての項目：ダンディ")));
    QCOMPARE(db().cds()->recordCount(), 1);
    QCOMPARE(db().cds()->value("CDID").toInt(), CDs);
    db().CloseDataContext();

    // a write first waits for the check of the file, then goes through
    db().forgetReadRows();
    db().OpenDataContext();
    QVERIFY(db().connection().integrityPending());
    db().cds()->addNew();
    db().cds()->setValue("CDID", CDs + 1);
    db().cds()->setValue("CD名", "新しいCD");
    db().cds()->update();
    QVERIFY(!db().connection().integrityPending());
    QCOMPARE(db().cds()->recordCount(), CDs + 1);
    QCOMPARE(readColumn(m_folder->path(), "cdname", "CD名").last(), QStringLiteral("新しいCD"));
}

void TestLargeCollection::snapshotOfTheOpeningMoment()
{
    db().OpenDataContext();
    QVERIFY(db().cds()->isProvisional());
    // another program writes while the rest is still being read: it waits for
    // the reading, and the views keep the rows of the opening moment
    execute("INSERT INTO cdname (CDID, CD名) VALUES (0, '割り込み')");
    execute("DELETE FROM kyoku WHERE 曲ID = 1");
    db().WaitForAllRows();
    QCOMPARE(db().cds()->recordCount(), CDs);
    QCOMPARE(db().cds()->value("CDID").toInt(), 1);
    QCOMPARE(db().songs()->recordCount(), (CDs - 1) * SongsPerCD + 1);
    db().cds()->requery();
    db().songs()->requery();
    QCOMPARE(db().cds()->recordCount(), CDs + 1);
    QCOMPARE(db().cds()->value("CD名").toString(), QStringLiteral("割り込み"));
    QCOMPARE(db().songs()->recordCount(), (CDs - 1) * SongsPerCD);
}

// Rows read again after another program wrote are kept, but that file state
// was never checked: the reopening shows every row at once and checks on the
// thread, and a write waits for the check.
void TestLargeCollection::keptRowsWhileTheCheckRuns()
{
    db().OpenDataContext();
    db().WaitForAllRows();
    execute("UPDATE cdname SET 段 = '3' WHERE CDID = 2");
    db().cds()->requery();
    db().songs()->requery();
    db().CloseDataContext();
    db().OpenDataContext();
    QVERIFY(!db().cds()->isProvisional());
    QVERIFY(!db().songs()->isProvisional());
    QCOMPARE(db().cds()->recordCount(), CDs);
    QVERIFY(db().connection().integrityPending());
    QVERIFY(!db().AllRowsRead());
    db().cds()->moveNext();
    QCOMPARE(db().cds()->value("段").toString(), QStringLiteral("3"));
    db().cds()->setValue("段", "4");
    db().cds()->update(); // waits for the check
    QVERIFY(!db().connection().integrityPending());
    QVERIFY(db().AllRowsRead());
    QCOMPARE(readColumn(m_folder->path(), "cdname", "段").at(CDs - 2), QStringLiteral("4"));
}

// Garbles a leaf page in the middle of a table or index (its page type and
// the cell pointers after it), so that any read of that page fails.
void garbleLeafPage(const QString& name)
{
    int page = 0;
    {
        QSqlDatabase db
            = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("stat"));
        db.setDatabaseName(::db().databasePath());
        db.open();
        QSqlQuery q(db);
        q.prepare("SELECT pageno FROM dbstat WHERE name = ? AND pagetype = 'leaf' ORDER BY pageno");
        q.addBindValue(name);
        QVERIFY(q.exec());
        QList<int> pages;
        while (q.next())
            pages << q.value(0).toInt();
        QVERIFY(pages.size() > 10);
        page = pages.at(pages.size() / 2);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("stat"));
    {
        QFile f(db().databasePath());
        QVERIFY(f.open(QIODevice::ReadWrite));
        f.seek(qint64(page - 1) * 4096);
        f.write(QByteArray(2000, '\x7f'));
    }
}

void TestLargeCollection::damageFoundAfterTheFirstScreen()
{
    // songs' titles of the Japanese CDs: the first screen looks up "Dvořák" only
    garbleLeafPage("kyoku_title");
    QList<int> failures;
    const QMetaObject::Connection told
        = QObject::connect(&db(), &Collection::readingFailed,
                           [&failures](const DbError& e) { failures << e.number(); });
    db().OpenDataContext(); // the first screen reads nothing of the garbled page
    QCOMPARE(db().cds()->value("CDID").toInt(), 1);
    // no write reaches the damaged file
    try {
        db().connection().transaction(
            [] { db().connection().column("UPDATE cdname SET 段 = 'x' WHERE CDID = 1"); });
        QFAIL("a write went through");
    } catch (const DbError& e) {
        QCOMPARE(e.number(), int(DbError::Damaged));
        QVERIFY2(e.description().contains(QStringLiteral("壊れています")),
                 qPrintable(e.description()));
    }
    QCOMPARE(db().cds()->recordCount(), 0); // nothing half-read is shown
    QTRY_COMPARE(failures, QList<int>{DbError::Damaged});
    QObject::disconnect(told);
    db().CloseDataContext();
    // opening the same file again says so at once
    try {
        db().OpenDataContext();
        QFAIL("the damaged file was opened");
    } catch (const DbError& e) {
        QCOMPARE(e.number(), int(DbError::Damaged));
    }
}

// A collection without the indexes of this version (made by an earlier one)
// reads the whole song table to find the first CD's songs: a damaged page
// found then is told as damage, so that a backup can be offered.
void TestLargeCollection::damageFoundByTheFirstScreen()
{
    execute("DROP INDEX kyoku_title");
    garbleLeafPage("kyoku");
    try {
        db().OpenDataContext();
        QFAIL("the damaged file was opened");
    } catch (const DbError& e) {
        QCOMPARE(e.number(), int(DbError::Damaged));
    }
    QVERIFY(!db().isOpen());
}

void TestLargeCollection::windowFillsInAfterTheFirstScreen()
{
    m_window = startMain();
    QVERIFY(m_window);
    // the first screen: the first CD, its songs, both counters right
    QVERIFY(db().cds()->isProvisional());
    QCOMPARE(lblRcount(m_window, 3)->text(), QStringLiteral("%1 / %1").arg(CDs));
    QCOMPARE(lblRcount(m_window, 0)->text(),
             QStringLiteral("%1 / %2").arg(SongsPerCD).arg((CDs - 1) * SongsPerCD + 1));
    QCOMPARE(DataGrid2(m_window)->model()->rowCount(), CDs);
    QCOMPARE(DataGrid2(m_window)->text(0, 1), QStringLiteral("Dvořák: Suite"));
    QCOMPARE(DataGrid2(m_window)->text(1200, 1), QString()); // shown once read
    QCOMPARE(DataGrid1(m_window)->model()->rowCount(), SongsPerCD);
    // the rest arrives by itself
    QTRY_VERIFY(db().AllRowsRead());
    QCOMPARE(DataGrid2(m_window)->text(1200, 1), titleOf(1201));
    QCOMPARE(lblRcount(m_window, 3)->text(), QStringLiteral("%1 / %1").arg(CDs));
    QCOMPARE(DataGrid2(m_window)->model()->rowCount(), CDs);
    QCOMPARE(DataGrid1(m_window)->model()->rowCount(), SongsPerCD);
    QCOMPARE(lblRcount(m_window, 0)->text(),
             QStringLiteral("%1 / %2").arg(SongsPerCD).arg((CDs - 1) * SongsPerCD + 1));
    QCOMPARE(db().cds()->value("CDID").toInt(), 1);
    cmdLast(m_window)->click();
    QCOMPARE(db().cds()->value("CDID").toInt(), CDs);
    QCOMPARE(lblRcount(m_window, 0)->text(),
             QStringLiteral("%1 / %2").arg(SongsPerCD).arg((CDs - 1) * SongsPerCD + 1));
}

// The window shows the first screen of a file whose check then fails: it
// drops what it shows and says why, once.
void TestLargeCollection::windowToldOfDamageFoundAfterTheFirstScreen()
{
    garbleLeafPage("kyoku_title");
    m_window = startMain();
    QVERIFY(m_window);
    QCOMPARE(lblRcount(m_window, 3)->text(), QStringLiteral("%1 / %1").arg(CDs));
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    QTRY_COMPARE(MsgBoxPendingAnswers(), 0);
    const QList<MsgBoxRecord> said = MsgBoxTakeAnswered();
    QCOMPARE(said.size(), 1);
    QVERIFY2(said[0].text.contains(QStringLiteral("壊れています")), qPrintable(said[0].text));
    QCOMPARE(lblRcount(m_window, 3)->text(), QStringLiteral("0 / 0"));
    QCOMPARE(DataGrid2(m_window)->model()->rowCount(), 0);
}

// The first screen finds the songs of a CD through SQLite's NOCASE, which
// ignores letter case in ASCII only: every other spelling must be found too,
// with the title index and without it, and nothing else.
void TestLargeCollection::titleLookupFindsEverySpelling()
{
    m_folder.reset(); // the folder of init() gives way to one of its own
    m_folder = std::make_unique<StartupFolder>();
    const QStringList titles = {
        "Fauré: Élégie", "FAURÉ: ÉLÉGIE",  "fauré: élégie",  "Faure: Elegie", "Fauré: Élégie II",
        "Kreisler",      "\u212Areisler",  "KREISLER",       "Kreislers",     "Suite",
        "\u017Fuite",    "SUITE",          "ſuiteſ",         "ΟΔΥΣΣΕΥΣ",      "οδυσσευς",
        "Οδυσσεύς",      "Ｂａｃｈ：組曲", "ｂＡｃｈ：組曲", "Bach：組曲",    "交響曲第1番",
        "交響曲第１番",  "𐐀𐐁 Deseret",     "𐐨𐐩 deseret",
    };
    QVector<QVariantMap> songs;
    for (int i = 0; i < titles.size(); ++i)
        for (int copy = 0; copy < 2; ++copy)
            songs << song(titles.at(i), 100 - i * 2 - copy, QStringLiteral("曲%1").arg(i));
    writeCollection(m_folder->path(), {cd(1, "x")}, songs);
    for (bool indexed : {true, false}) {
        if (!indexed)
            execute("DROP INDEX kyoku_title");
        db().OpenDataContext();
        sqlite3* h = rowreader::handleOf(db().connection().database());
        for (const QString& title : titles) {
            const Snapshot found
                = titlelookup::rowsTitled(h, "kyoku", "CD名, 曲ID", "曲ID ASC, rowid ASC",
                                          {FieldDef{"CD名", FieldType::Text, 0, true},
                                           FieldDef{"曲ID", FieldType::Integer, 0, true}},
                                          title);
            QStringList got;
            int previousId = -1;
            for (const RowPtr& row : found) {
                got << row->value(0).toString();
                QVERIFY(row->value(1).toInt() > previousId); // in 曲ID order
                previousId = row->value(1).toInt();
            }
            QStringList expected;
            for (const QString& other : titles)
                if (foldKey(other) == foldKey(title))
                    expected << other << other;
            got.sort();
            expected.sort();
            QCOMPARE(got, expected);
        }
        db().CloseDataContext();
    }
}

RONDELLA_TEST_MAIN(TestLargeCollection)
#include "tst_largecollection.moc"
