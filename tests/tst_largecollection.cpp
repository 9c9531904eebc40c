// A collection large enough to be read in two steps: the first screen at
// once, the whole tables after it on a thread of their own.
#include "mainwindow/frmmain.h"
#include "store/collection.h"
#include "store/findtext.h"
#include "testsupport.h"

#include <QTest>

namespace {

constexpr int CDs = 1500, SongsPerCD = 13; // about 19,500 songs: read in two steps
constexpr int Songs = (CDs - 1) * SongsPerCD + 1;

QString titleOf(int id)
{
    // Japanese titles whose Japanese order differs from the order of CDID
    return u"%1：交響曲第%2番 / 演奏者%3"_s.arg(id % 2 ? u"ベートーヴェン"_s : u"ブラームス"_s)
        .arg(id % 9 + 1)
        .arg(id);
}

// CDs are written from the highest CDID down and songs in shuffled 曲ID
// order, so that file order and view order differ. CD 1 is "Dvořák: Suite";
// among its songs one names it in other ASCII letter case and one in other
// case of ř and á as well, which SQLite's NOCASE does not see as the same. CDs
// 7 and 8 share a title, which the song with the smallest 曲ID bears.
void writeLarge(const QString& folder)
{
    QVector<QVariantMap> cds, ordered, songs;
    for (int id = CDs; id >= 1; --id)
        cds << cd(
            id, id == 1 ? u"Dvořák: Suite"_s : titleOf(id == 8 ? 7 : id),
            {{u"発売元"_s, id % 3 ? u"ポリドール"_s : u"Decca"_s}, {u"購入価格"_s, 1000 + id}});
    const QStringList dvorak
        = {u"Dvořák: Suite"_s, u"Dvořák: Suite"_s, u"dvořák: SUITE"_s, u"DVOŘÁK: suite"_s};
    for (int id = 1, songId = 100; id <= CDs; ++id)
        for (int s = 0; s < SongsPerCD && id != 8; ++s)
            ordered << song(id == 1 ? dvorak.value(s, dvorak[0]) : titleOf(id), ++songId,
                            u"第%1楽章 %2"_s.arg(s + 1).arg(id),
                            {{u"作曲者名"_s, id == CDs ? u"ダンディ (d'Indy)"_s : u"作曲者"_s}});
    ordered << song(titleOf(7), 1, u"最初の曲"_s, {{u"作曲者名"_s, u"作曲者"_s}});
    for (int i = 0; i < ordered.size(); ++i)
        songs << ordered.at((i * 7919) % ordered.size());
    writeCollection(folder, cds, songs);
}

// Every row of a view, its values joined, in view order.
QStringList sql(const QStringList& statements)
{
    return sqlRows(db().databasePath(), statements);
}

QStringList rowsOf(View& v)
{
    QStringList out(v.recordCount());
    for (int r = 0; r < v.recordCount(); ++r)
        for (int c = 0; c < v.fieldCount(); ++c)
            out[r] += (c ? u"|"_s : QString()) + v.valueAt(r, c).toString();
    return out;
}

// Garbles a leaf page in the middle of a table or index (its page type and
// the cell pointers after it), so that any read of that page fails.
void garbleLeafPage(const QString& name)
{
    const QStringList pages = sql({u"SELECT pageno FROM dbstat WHERE name = '%1' AND pagetype = "
                                   "'leaf' ORDER BY pageno"_s.arg(name)});
    QVERIFY(pages.size() > 10);
    QFile f(db().databasePath());
    QVERIFY(f.open(QIODevice::ReadWrite)
            && f.seek((pages.at(pages.size() / 2).toInt() - 1) * 4096));
    QVERIFY(f.write(QByteArray(2000, '\x7f')) == 2000);
}

} // namespace

class TestLargeCollection : public QObject {
    Q_OBJECT
    std::unique_ptr<StartupFolder> m_folder;
    QPointer<frmMain> m_window;
    void reopen() { db().CloseDataContext(), db().forgetReadRows(), db().OpenDataContext(); }

private slots:
    void init()
    {
        m_folder = std::make_unique<StartupFolder>();
        writeLarge(m_folder->path());
        db().forgetReadRows();
    }
    void cleanup() { endTest(m_window, m_folder); }

    void firstScreenThenEveryRow()
    {
        db().OpenDataContext();
        // Nothing is handed over before the event loop runs or a command asks.
        QVERIFY(db().cds()->isProvisional() && db().songs()->isProvisional());
        QCOMPARE(db().cds()->recordCount() * 100000 + db().songs()->recordCount(),
                 CDs * 100000 + Songs);
        QCOMPARE(db().cds()->valueAt(0, 0).toInt() * 1000 + db().cds()->valueAt(99, 0).toInt(),
                 1100);
        QVERIFY(db().cds()->valueIfRead(CDs - 1, 0).isNull()); // not read yet, and nobody waits
        // the songs of CD 1 in 曲ID order, those in other letter case among them;
        // the first song by 曲ID and both CDs of its title
        auto firstRows = [] {
            const auto s = db().songsOfCD();
            return u"%1 %2 %3 %4 %5 %6 %7"_s.arg(s->recordCount())
                .arg(s->value(u"曲ID"_s).toString(), s->valueAt(2, 0).toString(),
                     s->valueAt(3, 0).toString(), db().songs()->value(u"曲名"_s).toString())
                .arg(db().cdsOfSong()->recordCount())
                .arg(db().cdsOfSong()->valueAt(1, 0).toString());
        };
        const QString first = u"13 101 dvořák: SUITE DVOŘÁK: suite 最初の曲 2 8"_s;
        QCOMPARE(firstRows(), first);
        db().WaitForAllRows();
        QVERIFY(db().AllRowsRead() && !db().cds()->isProvisional()
                && !db().songs()->isProvisional());
        // every row as the file holds it, in the file's column order
        QCOMPARE(rowsOf(*db().cds()), sql({u"SELECT * FROM cdname ORDER BY CDID"_s}));
        QCOMPARE(rowsOf(*db().songs()), sql({u"SELECT * FROM kyoku ORDER BY 曲ID"_s}));
        QCOMPARE(firstRows(), first); // the views stand where they stood, and follow their parents
        db().cds()->moveLast();
        QCOMPARE(db().songsOfCD()->value(u"作曲者名"_s).toString()
                     + QString::number(db().songsOfCD()->recordCount()),
                 u"ダンディ (d'Indy)13"_s);
        // the value lists are made from every row, not from the first screen's
        QCOMPARE(db().valueList(Collection::ValueList::Hatubai)->recordCount()
                     + db().valueList(Collection::ValueList::Sakkyoku)->recordCount(),
                 4);
        QVERIFY(!db().connection().integrityPending()); // the file proved whole
        // Each command that needs every row waits for them; a write first waits
        // for the check of the file.
        reopen();
        db().cds()->moveLast();
        QVERIFY(db().AllRowsRead());
        QCOMPARE(db().cds()->value(u"CDID"_s).toInt(), CDs);
        reopen();
        db().songs()->setFilter(Criteria().equals(u"作曲者名"_s, u"ダンディ (d'Indy)"_s));
        QCOMPARE(db().songs()->recordCount(), SongsPerCD); // the last CD's, never in the first rows
        reopen();
        db().cds()->setSort(u"CD名 desc"_s);
        // ベ after ブ, 第9番 last, and 演奏者1493 after 演奏者999: read as a number
        QCOMPARE(db().cds()->value(u"CD名"_s).toString(), titleOf(1493));
        // quick find too: the last CD's composer is in no row of the first screen,
        // nor its note, and every word must be found in a CD
        sql({u"INSERT INTO cdnote VALUES (%1, 'ﾗｲｳﾞ録音')"_s.arg(CDs)});
        reopen();
        const auto found = db().cdsMatching(findWords(u"第1楽章 だんでぃ d'indy らいぶ"_s));
        QVERIFY(db().AllRowsRead());
        db().cds()->setFilter(Criteria().rowsAmong(found, u"すべての項目：ダンディ"_s));
        QCOMPARE(db().cds()->recordCount() * 10000 + db().cds()->value(u"CDID"_s).toInt(),
                 10000 + CDs);
        reopen();
        QVERIFY(db().connection().integrityPending());
        View& cds = *db().cds();
        cds.addNew(), cds.setValue(u"CDID"_s, CDs + 1), cds.setValue(u"CD名"_s, u"新しいCD"_s);
        cds.update();
        QVERIFY(!db().connection().integrityPending() && db().cds()->recordCount() == CDs + 1);
        QCOMPARE(readColumn(m_folder->path(), u"cdname"_s, u"CD名"_s).last(), u"新しいCD"_s);
    }

    // A damaged page the first screen does not read: no write reaches the file,
    // and opening it again says so at once. A collection without the indexes of
    // this version reads the whole song table to find the first CD's songs: a
    // damaged page found then is told as damage, so that a backup is offered.
    void damageFoundAfterTheFirstScreen()
    {
        for (bool indexed : {true, false}) {
            if (!indexed) {
                m_folder.reset(), m_folder = std::make_unique<StartupFolder>();
                writeLarge(m_folder->path());
                sql({u"DROP INDEX kyoku_title"_s});
            }
            garbleLeafPage(indexed ? u"kyoku_title"_s : u"kyoku"_s);
            QList<int> failures;
            QObject told; // the connection ends with it
            QObject::connect(&db(), &Collection::readingFailed, &told,
                             [&failures](const DbError& e) { failures << e.number(); });
            const auto [number, said] = thrown([] {
                db().OpenDataContext();
                db().connection().transaction([] {
                    db().connection().column(u"UPDATE cdname SET 段 = 'x' WHERE CDID = 1"_s);
                });
            });
            QVERIFY2(number == DbError::Damaged && said.contains(u"壊れています"),
                     qPrintable(said));
            QTRY_COMPARE(failures, indexed ? QList<int>{DbError::Damaged} : QList<int>());
            db().CloseDataContext();
            QVERIFY_THROWS_EXCEPTION(DbError, db().OpenDataContext());
            QVERIFY(!db().isOpen());
        }
    }
};

RONDELLA_TEST_MAIN(TestLargeCollection)
#include "tst_largecollection.moc"
