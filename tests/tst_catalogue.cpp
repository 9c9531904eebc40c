// The catalogue's rules on the data alone, without a window: deleting and
// correcting CDs with the songs that belong to them by title.
#include "store/catalogue.h"
#include "store/collection.h"
#include "store/dberror.h"
#include "testsupport.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

namespace {

const QString fifth = QStringLiteral("ベートーヴェン：交響曲第5番");
const QString ninth = QStringLiteral("ベートーヴェン：交響曲第9番「合唱」");

QStringList songsIn(const QString& folder, const QString& column = QStringLiteral("CD名"))
{
    return readColumn(folder, QStringLiteral("kyoku"), column);
}

// A trigger that refuses to delete or change the row of this identifier, as
// a full disk or a lock would refuse part-way.
void refuseRow(const QString& file, const QString& table, const QString& idColumn, int id)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("t"));
        db.setDatabaseName(file);
        QVERIFY(db.open());
        QSqlQuery q(db);
        for (const char* when : {"DELETE", "UPDATE"})
            QVERIFY(q.exec(
                QStringLiteral("CREATE TRIGGER refuse_%1_%3 BEFORE %1 ON %3 WHEN old.%4 = %2 "
                               "BEGIN SELECT RAISE(ABORT, 'refused'); END")
                    .arg(QString::fromLatin1(when))
                    .arg(id)
                    .arg(table, idColumn)));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("t"));
}

std::vector<catalogue::FieldChange> title(const QString& text)
{
    return {{1, text}};
}

} // namespace

class TestCatalogue : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void deletingACdTakesItsSongs();
    void aNamesakeKeepsTheSongs();
    void aRefusedDeleteLeavesEverything();
    void correctingTheTitleCarriesTheSongs();
    void letterCaseOrANamesakeKeepsTheSongsWhereTheyAre();
    void aRefusedCorrectionLeavesEverything();
    void aNewCdIsStored();
    void cdChoicesNewestFirst();
    void aSongIsStoredUnderAStoredTitleOnly();
    void aRefusedSongLeavesNoHalfMadeEdit();
    void deletingASongMovesOn();
    void theCopyTakesTheSongBefore();
    void nothingToCopyBeforeTheFirstSong();

private:
    void open(const QVector<QVariantMap>& cds, const QVector<QVariantMap>& songs);
    std::unique_ptr<StartupFolder> m_folder;
};

void TestCatalogue::init()
{
    m_folder = std::make_unique<StartupFolder>();
}

void TestCatalogue::cleanup()
{
    db().CloseDataContext();
    m_folder.reset();
}

void TestCatalogue::open(const QVector<QVariantMap>& cds, const QVector<QVariantMap>& songs)
{
    writeCollection(m_folder->path(), cds, songs);
    db().OpenDataContext();
}

void TestCatalogue::deletingACdTakesItsSongs()
{
    open({cd(1, fifth), cd(2, ninth), cd(3, QStringLiteral("ほか"))},
         {song(fifth, 1, QStringLiteral("第1楽章")), song(ninth, 2, QStringLiteral("第1楽章")),
          song(fifth.toUpper(), 3, QStringLiteral("第2楽章")),
          song(ninth, 4, QStringLiteral("第4楽章"))});
    db().cds()->moveFirst();
    QCOMPARE(catalogue::songsGoingWithCurrentCD(db().connection(), *db().cds(), *db().songsOfCD()),
             2);
    catalogue::deleteCurrentCD(db().connection(), *db().cds(), *db().songsOfCD());
    QCOMPARE(readColumn(m_folder->path(), QStringLiteral("cdname"), QStringLiteral("CDID")),
             (QStringList{"2", "3"}));
    QCOMPARE(songsIn(m_folder->path(), QStringLiteral("曲ID")), (QStringList{"2", "4"}));
    QCOMPARE(db().cds()->value(QStringLiteral("CDID")).toInt(), 3); // on the last CD
}

// Songs belong to every CD of their title: while another CD bears it, they stay.
void TestCatalogue::aNamesakeKeepsTheSongs()
{
    open({cd(5, ninth), cd(23, ninth), cd(24, QStringLiteral("ほか"))},
         {song(ninth, 59, QStringLiteral("第1楽章")), song(ninth, 220, QStringLiteral("第1楽章"))});
    db().cds()->moveFirst();
    QCOMPARE(db().songsOfCD()->recordCount(), 2);
    QCOMPARE(catalogue::songsGoingWithCurrentCD(db().connection(), *db().cds(), *db().songsOfCD()),
             0);
    catalogue::deleteCurrentCD(db().connection(), *db().cds(), *db().songsOfCD());
    QCOMPARE(songsIn(m_folder->path(), QStringLiteral("曲ID")), (QStringList{"59", "220"}));
    // the last of the title takes them
    db().cds()->moveFirst();
    QCOMPARE(catalogue::songsGoingWithCurrentCD(db().connection(), *db().cds(), *db().songsOfCD()),
             2);
    catalogue::deleteCurrentCD(db().connection(), *db().cds(), *db().songsOfCD());
    QCOMPARE(songsIn(m_folder->path()), QStringList());
}

void TestCatalogue::aRefusedDeleteLeavesEverything()
{
    open({cd(1, fifth), cd(2, ninth)},
         {song(fifth, 1, QStringLiteral("一")), song(fifth, 2, QStringLiteral("二")),
          song(fifth, 3, QStringLiteral("三"))});
    db().CloseDataContext();
    refuseRow(db().databasePath(), QStringLiteral("kyoku"), QStringLiteral("曲ID"), 3);
    db().OpenDataContext();
    db().cds()->moveFirst();
    QVERIFY_THROWS_EXCEPTION(
        DbError, catalogue::deleteCurrentCD(db().connection(), *db().cds(), *db().songsOfCD()));
    QCOMPARE(songsIn(m_folder->path(), QStringLiteral("曲ID")), (QStringList{"1", "2", "3"}));
    QCOMPARE(readColumn(m_folder->path(), QStringLiteral("cdname"), QStringLiteral("CDID")),
             (QStringList{"1", "2"}));
    QCOMPARE(db().cds()->recordCount(), 2);
    QCOMPARE(db().cds()->value(QStringLiteral("CDID")).toInt(), 1); // still on the CD asked for
    QCOMPARE(db().songsOfCD()->recordCount(), 3);
    // and the next save stores only its own
    catalogue::saveCD(db().connection(), *db().cds(), *db().songsOfCD(),
                      {{2, QStringLiteral("解説")}}, true);
    QCOMPARE(songsIn(m_folder->path(), QStringLiteral("曲ID")), (QStringList{"1", "2", "3"}));
}

void TestCatalogue::correctingTheTitleCarriesTheSongs()
{
    open({cd(1, fifth), cd(2, ninth)},
         {song(fifth, 1, QStringLiteral("一")), song(ninth, 2, QStringLiteral("二")),
          song(fifth, 3, QStringLiteral("三"))});
    db().cds()->moveFirst();
    catalogue::saveCD(db().connection(), *db().cds(), *db().songsOfCD(),
                      title(QStringLiteral("運命")), true);
    QCOMPARE(songsIn(m_folder->path()), (QStringList{"運命", ninth, "運命"}));
    QCOMPARE(readColumn(m_folder->path(), QStringLiteral("cdname"), QStringLiteral("CD名")),
             (QStringList{"運命", ninth}));
    QCOMPARE(db().songsOfCD()->recordCount(), 2);
}

void TestCatalogue::letterCaseOrANamesakeKeepsTheSongsWhereTheyAre()
{
    const QString live = QStringLiteral("Live at the Blue Moon");
    open({cd(1, live), cd(2, ninth), cd(3, ninth)},
         {song(live, 1, QStringLiteral("一")), song(ninth, 2, QStringLiteral("二"))});
    db().cds()->moveFirst();
    // letter case alone: the songs still belong to it as they are
    catalogue::saveCD(db().connection(), *db().cds(), *db().songsOfCD(), title(live.toUpper()),
                      true);
    QCOMPARE(songsIn(m_folder->path()), (QStringList{live, ninth}));
    // a namesake keeps the songs under the old title
    db().cds()->moveNext();
    catalogue::saveCD(db().connection(), *db().cds(), *db().songsOfCD(),
                      title(QStringLiteral("第九")), true);
    QCOMPARE(songsIn(m_folder->path()), (QStringList{live, ninth}));
    QCOMPARE(readColumn(m_folder->path(), QStringLiteral("cdname"), QStringLiteral("CD名")),
             (QStringList{live.toUpper(), "第九", ninth}));
}

void TestCatalogue::aRefusedCorrectionLeavesEverything()
{
    open({cd(1, fifth), cd(2, ninth)},
         {song(fifth, 1, QStringLiteral("一")), song(fifth, 2, QStringLiteral("二"))});
    db().CloseDataContext();
    refuseRow(db().databasePath(), QStringLiteral("kyoku"), QStringLiteral("曲ID"), 2);
    refuseRow(db().databasePath(), QStringLiteral("cdname"), QStringLiteral("CDID"), 2);
    db().OpenDataContext();
    db().cds()->moveFirst();
    QVERIFY_THROWS_EXCEPTION(DbError,
                             catalogue::saveCD(db().connection(), *db().cds(), *db().songsOfCD(),
                                               title(QStringLiteral("運命")), true));
    QCOMPARE(songsIn(m_folder->path()), (QStringList{fifth, fifth}));
    QCOMPARE(readColumn(m_folder->path(), QStringLiteral("cdname"), QStringLiteral("CD名")),
             (QStringList{fifth, ninth}));
    QCOMPARE(db().cds()->value(QStringLiteral("CD名")).toString(), fifth);
    QCOMPARE(db().cds()->editMode(), View::EditMode::None);
    QCOMPARE(db().songsOfCD()->recordCount(), 2);
    // refused at the CD itself: the view holds no half-made edit
    db().cds()->moveNext();
    QVERIFY_THROWS_EXCEPTION(DbError,
                             catalogue::saveCD(db().connection(), *db().cds(), *db().songsOfCD(),
                                               {{2, QStringLiteral("解説者")}}, true));
    QCOMPARE(db().cds()->editMode(), View::EditMode::None);
    QVERIFY(db().cds()->value(QStringLiteral("解説者")).isNull());
    db().cds()->moveFirst(); // a move does not store what was refused
    QCOMPARE(readColumn(m_folder->path(), QStringLiteral("cdname"), QStringLiteral("解説者")),
             (QStringList{"<null>", "<null>"}));
}

void TestCatalogue::aNewCdIsStored()
{
    open({cd(1, fifth)}, {});
    db().cds()->addNew();
    db().cds()->setValue(QStringLiteral("CDID"), 2);
    catalogue::saveCD(db().connection(), *db().cds(), *db().songsOfCD(),
                      {{1, ninth}, {3, qlonglong(2800)}}, false);
    QCOMPARE(readColumn(m_folder->path(), QStringLiteral("cdname"), QStringLiteral("CD名")),
             (QStringList{fifth, ninth}));
    QCOMPARE(readColumn(m_folder->path(), QStringLiteral("cdname"), QStringLiteral("購入価格")),
             (QStringList{"<null>", "2800"}));
}

void TestCatalogue::cdChoicesNewestFirst()
{
    open({cd(3, QStringLiteral("c")), cd(10, QStringLiteral("a")), cd(7, QStringLiteral("b"))}, {});
    const Snapshot rows = catalogue::readCDChoices(db().connection());
    QStringList ids;
    for (const RowPtr& row : rows)
        ids << row->value(0).toString();
    QCOMPARE(ids, (QStringList{"10", "7", "3"}));
}

void TestCatalogue::aSongIsStoredUnderAStoredTitleOnly()
{
    open({cd(1, fifth), cd(2, ninth)}, {song(fifth, 1, QStringLiteral("一"))});
    db().songs()->addNew();
    db().songs()->setValue(QStringLiteral("曲ID"), 2);
    try {
        catalogue::saveSong(db().connection(), *db().songs(), QStringLiteral("ないCD"),
                            {{2, QStringLiteral("二")}});
        QFAIL("a song was stored under a title no CD bears");
    } catch (const DbError& e) {
        QCOMPARE(e.number(), catalogue::RefusedTitle);
        QVERIFY(e.description().contains(QStringLiteral("ないCD")));
    }
    QCOMPARE(songsIn(m_folder->path(), QStringLiteral("曲ID")), QStringList{"1"});
    QCOMPARE(db().songs()->editMode(), View::EditMode::Add); // the typing waits
    // the title as the CDs compare it: letter case aside
    catalogue::saveSong(db().connection(), *db().songs(), ninth, {{2, QStringLiteral("二")}});
    QCOMPARE(songsIn(m_folder->path()), (QStringList{fifth, ninth}));
    QCOMPARE(songsIn(m_folder->path(), QStringLiteral("曲名")), (QStringList{"一", "二"}));
    // a correction moves the song to another CD
    db().songs()->moveFirst();
    catalogue::saveSong(db().connection(), *db().songs(), ninth, {});
    QCOMPARE(songsIn(m_folder->path()), (QStringList{ninth, ninth}));
}

void TestCatalogue::aRefusedSongLeavesNoHalfMadeEdit()
{
    open({cd(1, fifth)},
         {song(fifth, 1, QStringLiteral("一")), song(fifth, 2, QStringLiteral("二"))});
    db().CloseDataContext();
    refuseRow(db().databasePath(), QStringLiteral("kyoku"), QStringLiteral("曲ID"), 2);
    db().OpenDataContext();
    db().songs()->moveLast();
    QVERIFY_THROWS_EXCEPTION(
        DbError,
        catalogue::saveSong(db().connection(), *db().songs(), fifth, {{2, QStringLiteral("新")}}));
    QCOMPARE(db().songs()->editMode(), View::EditMode::None);
    QCOMPARE(db().songs()->value(QStringLiteral("曲名")).toString(), QStringLiteral("二"));
    db().songs()->moveFirst();
    QCOMPARE(songsIn(m_folder->path(), QStringLiteral("曲名")), (QStringList{"一", "二"}));
}

void TestCatalogue::deletingASongMovesOn()
{
    open({cd(1, fifth)},
         {song(fifth, 1, QStringLiteral("一")), song(fifth, 2, QStringLiteral("二")),
          song(fifth, 3, QStringLiteral("三"))});
    db().songs()->moveTo(1);
    catalogue::deleteCurrentSong(db().connection(), *db().songs());
    QCOMPARE(db().songs()->value(QStringLiteral("曲名")).toString(), QStringLiteral("三"));
    catalogue::deleteCurrentSong(db().connection(),
                                 *db().songs()); // the last: back on the one before
    QCOMPARE(db().songs()->value(QStringLiteral("曲名")).toString(), QStringLiteral("一"));
    QCOMPARE(songsIn(m_folder->path(), QStringLiteral("曲名")), QStringList{"一"});
    // the last song, and then the last CD, are corrected, never deleted
    try {
        catalogue::deleteCurrentSong(db().connection(), *db().songs());
        QFAIL("the last song was deleted");
    } catch (const DbError& e) {
        QCOMPARE(e.number(), catalogue::RefusedByRule);
    }
    QVERIFY_THROWS_EXCEPTION(
        DbError, catalogue::deleteCurrentCD(db().connection(), *db().cds(), *db().songsOfCD()));
    QCOMPARE(songsIn(m_folder->path(), QStringLiteral("曲名")), QStringList{"一"});
    QCOMPARE(readColumn(m_folder->path(), QStringLiteral("cdname"), QStringLiteral("CD名")),
             QStringList{fifth});
}

// Every field of the song before, the last (分野) included; the 曲ID stays.
void TestCatalogue::theCopyTakesTheSongBefore()
{
    QVariantMap full;
    const QVector<FieldDef>& fields = Connection::kyokuFields();
    for (int c = 3; c < fields.size(); ++c)
        full.insert(fields[c].name, QString(fields[c].name + QStringLiteral("の値")));
    open({cd(1, fifth)}, {song(fifth, 1, QStringLiteral("一"), full)});
    db().songs()->moveLast();
    db().songs()->addNew();
    db().songs()->setValue(QStringLiteral("曲ID"), 2);
    QCOMPARE(catalogue::copySongBefore(*db().songs()), fifth);
    catalogue::saveSong(db().connection(), *db().songs(), fifth, {});
    for (int c = 0; c < fields.size(); ++c) {
        const QStringList values = songsIn(m_folder->path(), fields[c].name);
        if (fields[c].name == QStringLiteral("曲ID"))
            QCOMPARE(values, (QStringList{"1", "2"}));
        else
            QVERIFY2(values.size() == 2 && values[1] == values[0], qPrintable(fields[c].name));
    }
}

void TestCatalogue::nothingToCopyBeforeTheFirstSong()
{
    open({cd(1, fifth)}, {});
    db().songs()->addNew();
    try {
        catalogue::copySongBefore(*db().songs());
        QFAIL("copied from nowhere");
    } catch (const DbError& e) {
        QCOMPARE(e.number(), int(DbError::NoCurrentRow));
    }
}

RONDELLA_TEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
