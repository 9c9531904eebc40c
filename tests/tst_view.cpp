#include "store/collection.h"
#include "store/criteria.h"
#include "store/dberror.h"
#include "testsupport.h"

#include <QCollator>
#include <QDate>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <limits>

namespace {

// Raises the given error number, or fails the test.
template <typename F> void expectError(int number, F&& f)
{
    try {
        f();
    } catch (const DbError& e) {
        QCOMPARE(e.number(), number);
        return;
    }
    QFAIL("no error raised");
}

QStringList titles(View& v, const QString& field = QStringLiteral("CD名"))
{
    QStringList out;
    const int column = v.fieldIndex(field);
    for (int r = 0; r < v.recordCount(); ++r)
        out << v.valueAt(r, column).toString();
    return out;
}

} // namespace

class TestView : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void movesOffBothEnds();
    void emptyViewHasNoCurrentRow();
    void filtersAndErrors();
    void sortInJapaneseOrder();
    void childFollowsParent();
    void childUsesIdentifierOrderAndIgnoresCase();
    void writesReachTheTable();
    void addCancelAndDelete();
    void editPendingBlocksFilter();
    void vanishedRowIsReported();
    void snapshotsAreSeparate();
    void requeryReadsNewRows();
    void inMemoryView();
    void japaneseOrderWithoutDefaultLocale();
    void largeSortInJapaneseOrder();
    void valueListsAreDistinctAndOrdered();
    void compactRowsKeepEveryValue();
    void boundsOfMovesAndSteps();
    void filterAndSortTogether();
    void valueListsInJapaneseOrder();
    void songMovedToACdLandsInIdentifierOrder();
    void neighbouringTextsSharedOnlyWhenWhole();

private:
    std::unique_ptr<StartupFolder> m_folder;
};

void TestView::init()
{
    m_folder = std::make_unique<StartupFolder>();
    const QString ninth = QStringLiteral("ベートーヴェン：交響曲第9番「合唱」");
    writeCollection(
        m_folder->path(),
        {cd(1, QStringLiteral("さくら"),
            {{QStringLiteral("購入価格"), 2800},
             {QStringLiteral("購入年月日"), QDate(1998, 4, 1)}}),
         cd(2, ninth), cd(4, QStringLiteral("あさ")),
         cd(3, QStringLiteral("Live at the Blue Moon")), cd(5, ninth),
         cd(6, QStringLiteral("かぜ"))},
        {song(QStringLiteral("さくら"), 3, QStringLiteral("三"),
              {{QStringLiteral("作曲者名"), QStringLiteral("ダンディ (d'Indy)")}}),
         song(QStringLiteral("さくら"), 1, QStringLiteral("一")),
         song(ninth, 2, QStringLiteral("第1楽章")),
         song(QStringLiteral("Live At The Blue Moon"), 7, QStringLiteral("'Round Midnight")),
         song(QStringLiteral("消えたCD"), 8, QStringLiteral("孤児")),
         song(ninth, 9, QStringLiteral("第4楽章"),
              {{QStringLiteral("作曲者名"), QStringLiteral("ベートーヴェン")}})});
    db().OpenDataContext();
}

void TestView::cleanup()
{
    db().CloseDataContext();
    m_folder.reset();
}

void TestView::movesOffBothEnds()
{
    View& v = *db().cds();
    QCOMPARE(v.recordCount(), 6);
    QCOMPARE(v.value(QStringLiteral("CDID")).toInt(), 1);
    v.movePrevious();
    QVERIFY(v.bof());
    QVERIFY(!v.eof());
    expectError(DbError::NoCurrentRow, [&] { v.value(QStringLiteral("CDID")); });
    expectError(DbError::NoCurrentRow, [&] { v.movePrevious(); });
    v.moveLast();
    QCOMPARE(v.value(QStringLiteral("CDID")).toInt(), 6);
    v.moveNext();
    QVERIFY(v.eof());
    expectError(DbError::NoCurrentRow, [&] { v.moveNext(); });
    v.movePrevious();
    QCOMPARE(v.value(QStringLiteral("CDID")).toInt(), 6);
    v.moveTo(2);
    QCOMPARE(v.value(QStringLiteral("CDID")).toInt(), 3); // rows come in CDID order
}

void TestView::emptyViewHasNoCurrentRow()
{
    View& v = *db().cds();
    v.setFilter(Criteria().equals("CD名", "ない"));
    QCOMPARE(v.recordCount(), 0);
    QVERIFY(v.bof());
    QVERIFY(v.eof());
    expectError(DbError::NoCurrentRow, [&] { v.moveFirst(); });
    expectError(DbError::NoCurrentRow, [&] { v.moveLast(); });
    expectError(DbError::NoCurrentRow, [&] { v.value(0); });
    QCOMPARE(db().songsOfCD()->recordCount(), 0); // no current CD, no songs
}

void TestView::filtersAndErrors()
{
    View& v = *db().cds();
    v.setFilter(Criteria().like("CD名", "*交響曲*"));
    QCOMPARE(v.recordCount(), 2);
    QCOMPARE(v.value(QStringLiteral("CDID")).toInt(), 2);
    v.setFilter(Criteria().like("CD名", "LIVE*").equals("CDID", "3"));
    QCOMPARE(v.recordCount(), 1);
    // an unknown column leaves the filter as it was
    expectError(DbError::BadArguments, [&] { v.setFilter(Criteria().equals("作曲者名", "x")); });
    QCOMPARE(v.filter(), QStringLiteral("CD名 like 'LIVE*' and CDID = '3'"));
    QCOMPARE(v.recordCount(), 1);
    v.setFilter(Criteria());
    QCOMPARE(v.recordCount(), 6);
    db().songs()->setFilter(Criteria().equals("作曲者名", "ダンディ (d'Indy)"));
    QCOMPARE(titles(*db().songs(), QStringLiteral("曲名")), QStringList{QStringLiteral("三")});
}

void TestView::sortInJapaneseOrder()
{
    View& v = *db().cds();
    v.setFilter(Criteria().equals("CDID", "1").like("CD名", "*")); // filter and sort combine
    v.setFilter(Criteria());
    v.setSort(QStringLiteral("CD名 asc"));
    const QStringList sorted = titles(v);
    QCOMPARE(
        sorted.mid(1, 3),
        (QStringList{QStringLiteral("あさ"), QStringLiteral("かぜ"), QStringLiteral("さくら")}));
    QCOMPARE(sorted.first(), QStringLiteral("Live at the Blue Moon"));
    QCOMPARE(v.position(), 0);
    v.setSort(QStringLiteral("CDID desc"));
    QCOMPARE(v.value(QStringLiteral("CDID")).toInt(), 6);
    v.setSort(QString());
    QCOMPARE(v.value(QStringLiteral("CDID")).toInt(), 1);
    expectError(DbError::BadArguments, [&] { v.setSort(QStringLiteral("曲名 asc")); });
    // a name in brackets; a text not entered comes first
    db().songs()->setSort(QStringLiteral("[作曲者名]"));
    QVERIFY(db().songs()->value(QStringLiteral("作曲者名")).isNull());
}

void TestView::childFollowsParent()
{
    View& cds = *db().cds();
    QSignalSpy reset(db().songsOfCD().get(), &View::didReset);
    QCOMPARE(titles(*db().songsOfCD(), QStringLiteral("曲名")),
             (QStringList{QStringLiteral("一"), QStringLiteral("三")}));
    cds.moveNext(); // the choral symphony: songs 2 and 9
    QCOMPARE(titles(*db().songsOfCD(), QStringLiteral("曲名")),
             (QStringList{QStringLiteral("第1楽章"), QStringLiteral("第4楽章")}));
    QCOMPARE(db().songsOfCD()->position(), 0);
    QVERIFY(reset.count() >= 1);
    cds.moveTo(3); // CDID 4 "あさ" has no songs
    QCOMPARE(db().songsOfCD()->recordCount(), 0);
    QVERIFY(db().songsOfCD()->bof() && db().songsOfCD()->eof());
    cds.moveTo(4); // CDID 5 shares the title of CDID 2: it shows the same songs
    QCOMPARE(db().songsOfCD()->recordCount(), 2);
    // the song view's child holds every CD of the song's title
    db().songs()->moveTo(1); // song 2 of the choral symphony
    QCOMPARE(db().cdsOfSong()->recordCount(), 2);
    db().songs()->moveTo(4); // the orphan song
    QCOMPARE(db().songs()->value(QStringLiteral("曲名")).toString(), QStringLiteral("孤児"));
    QCOMPARE(db().cdsOfSong()->recordCount(), 0);
    // a child sort lasts across parent moves
    cds.moveFirst();
    db().songsOfCD()->setSort(QStringLiteral("曲ID desc"));
    cds.moveNext();
    QCOMPARE(db().songsOfCD()->value(QStringLiteral("曲ID")).toInt(), 9);
}

void TestView::childUsesIdentifierOrderAndIgnoresCase()
{
    db().cds()->moveFirst();
    QCOMPARE(db().songsOfCD()->value(QStringLiteral("曲ID")).toInt(), 1); // stored after song 3
    db().cds()->moveTo(2);
    QCOMPARE(db().cds()->value(QStringLiteral("CD名")).toString(),
             QStringLiteral("Live at the Blue Moon"));
    QCOMPARE(titles(*db().songsOfCD(), QStringLiteral("曲名")),
             QStringList{QStringLiteral("'Round Midnight")});
}

void TestView::writesReachTheTable()
{
    View& cds = *db().cds();
    cds.moveTo(3);
    cds.setValue(QStringLiteral("解説者"), QStringLiteral("O'Brien"));
    QCOMPARE(cds.editMode(), View::EditMode::InProgress);
    QCOMPARE(cds.value(QStringLiteral("解説者")).toString(), QStringLiteral("O'Brien"));
    cds.update();
    QCOMPARE(readColumn(m_folder->path(), QStringLiteral("cdname"), QStringLiteral("解説者")).at(2),
             QStringLiteral("O'Brien"));
    // a move saves a pending edit, as the user expects of a catalogue
    cds.setValue(QStringLiteral("段"), QStringLiteral("3"));
    cds.moveFirst();
    QCOMPARE(readColumn(m_folder->path(), QStringLiteral("cdname"), QStringLiteral("段")).at(2),
             QStringLiteral("3"));
    // dates are stored as ISO text and read back as dates
    cds.setValue(QStringLiteral("購入年月日"), QDate(2024, 3, 9));
    cds.update();
    QCOMPARE(
        readColumn(m_folder->path(), QStringLiteral("cdname"), QStringLiteral("購入年月日")).at(0),
        QStringLiteral("2024-03-09"));
    // child views write through to their table too
    db().songsOfCD()->setValue(QStringLiteral("ソリスト"), QStringLiteral("Jean-Pierre l'Aîné"));
    db().songsOfCD()->update();
    QCOMPARE(
        readColumn(m_folder->path(), QStringLiteral("kyoku"), QStringLiteral("ソリスト")).at(1),
        QStringLiteral("Jean-Pierre l'Aîné"));
}

void TestView::addCancelAndDelete()
{
    View& cds = *db().cds();
    cds.moveTo(1);
    cds.addNew();
    QCOMPARE(cds.recordCount(), 7);
    cds.setValue(QStringLiteral("CDID"), 7);
    cds.cancelUpdate();
    QCOMPARE(cds.recordCount(), 6);
    QCOMPARE(cds.value(QStringLiteral("CDID")).toInt(), 2); // back where it was
    QCOMPARE(readColumn(m_folder->path(), QStringLiteral("cdname"), QStringLiteral("CDID")).size(),
             6);

    cds.addNew();
    cds.setValue(QStringLiteral("CDID"), 7);
    cds.setValue(QStringLiteral("CD名"), QStringLiteral("ニューイヤー・コンサート'89"));
    cds.update();
    QCOMPARE(cds.recordCount(), 7);
    QCOMPARE(readColumn(m_folder->path(), QStringLiteral("cdname"), QStringLiteral("CD名")).last(),
             QStringLiteral("ニューイヤー・コンサート'89"));

    cds.moveFirst();
    cds.remove();
    QCOMPARE(cds.recordCount(), 6);
    expectError(DbError::NoCurrentRow, [&] { cds.value(0); }); // the deleted row is gone
    cds.moveNext();
    QCOMPARE(cds.value(QStringLiteral("CDID")).toInt(), 2); // the row that followed it
    QCOMPARE(readColumn(m_folder->path(), QStringLiteral("cdname"), QStringLiteral("CDID")),
             (QStringList{"2", "4", "3", "5", "6", "7"}));
    // deleting the last row leaves neither end reached until the view moves
    cds.moveLast();
    cds.remove();
    QVERIFY(!cds.eof() && !cds.bof());
    cds.moveNext();
    QVERIFY(cds.eof());
    cds.moveLast();
    QCOMPARE(cds.value(QStringLiteral("CDID")).toInt(), 6);
    // deleting the songs of a CD through its child view
    cds.moveFirst();
    while (db().songsOfCD()->recordCount() > 0) {
        db().songsOfCD()->moveFirst();
        db().songsOfCD()->remove();
    }
    QCOMPARE(readColumn(m_folder->path(), QStringLiteral("kyoku"), QStringLiteral("曲ID")),
             (QStringList{"3", "1", "7", "8"}));
}

void TestView::editPendingBlocksFilter()
{
    db().cds()->setValue(QStringLiteral("段"), QStringLiteral("2"));
    expectError(DbError::NotAllowedNow,
                [] { db().cds()->setFilter(Criteria().equals("CDID", "1")); });
    expectError(DbError::NotAllowedNow, [] { db().cds()->requery(); });
    db().cds()->cancelUpdate();
    QVERIFY(db().cds()->value(QStringLiteral("段")).isNull());
    db().cds()->setFilter(Criteria().equals("CDID", "1"));
    QCOMPARE(db().cds()->recordCount(), 1);
    // a pending song edit stops a requery of its CD view before anything is read
    db().songsOfCD()->setValue(QStringLiteral("分野"), QStringLiteral("交響曲"));
    expectError(DbError::NotAllowedNow, [] { db().cds()->requery(); });
    QCOMPARE(db().cds()->recordCount(), 1);
    QCOMPARE(db().songsOfCD()->editMode(), View::EditMode::InProgress);
    db().songsOfCD()->cancelUpdate();
}

void TestView::vanishedRowIsReported()
{
    // another program deletes the row under the view: storing the edit must fail, not pass silently
    db().connection().column(QStringLiteral("DELETE FROM cdname WHERE CDID = 1"));
    db().cds()->setValue(QStringLiteral("段"), QStringLiteral("1"));
    expectError(DbError::RowNotFound, [] { db().cds()->update(); });
    QCOMPARE(db().cds()->editMode(), View::EditMode::InProgress);
    db().cds()->cancelUpdate();
}

void TestView::snapshotsAreSeparate()
{
    db().cds()->addNew();
    db().cds()->setValue(QStringLiteral("CDID"), 9);
    db().cds()->setValue(QStringLiteral("CD名"), QStringLiteral("消えたCD"));
    db().cds()->update();
    db().songs()->moveTo(4); // the orphan song still has no CD in the song view's snapshot
    QCOMPARE(db().cdsOfSong()->recordCount(), 0);
    // but the CD view's own child sees the songs of the new CD at once
    QCOMPARE(db().songsOfCD()->recordCount(), 1);
    db().songs()->setValue(QStringLiteral("曲名"), QStringLiteral("改名"));
    db().songs()->update();
    QCOMPARE(db().songsOfCD()->value(QStringLiteral("曲名")).toString(), QStringLiteral("孤児"));
    db().CloseDataContext();
    db().OpenDataContext();
    db().songs()->moveTo(4);
    QCOMPARE(db().cdsOfSong()->recordCount(), 1);
    QCOMPARE(db().songs()->value(QStringLiteral("曲名")).toString(), QStringLiteral("改名"));
}

void TestView::requeryReadsNewRows()
{
    writeCollection(m_folder->path(), {cd(10, QStringLiteral("追加"))}, {});
    QCOMPARE(db().cds()->recordCount(), 6);
    db().cds()->setFilter(Criteria().like("CD名", "*"));
    db().cds()->requery();
    QCOMPARE(db().cds()->recordCount(), 7);
    QCOMPARE(db().cds()->filter(), QStringLiteral("CD名 like '*'"));
}

void TestView::inMemoryView()
{
    View list;
    list.appendField(QStringLiteral("CDID"), FieldType::Integer, 5, false);
    list.appendField(QStringLiteral("CD名"), FieldType::Text, 100, false);
    list.openInMemory();
    QVERIFY(list.bof() && list.eof());
    for (int i = 1; i <= 3; ++i) {
        list.addNew();
        list.setValue(0, i);
        list.setValue(1, QStringLiteral("CD %1").arg(4 - i));
        list.update();
    }
    QCOMPARE(list.recordCount(), 3);
    list.setSort(QStringLiteral("CD名 asc"));
    QCOMPARE(list.value(0).toInt(), 3);
    expectError(3704, [] {
        View closed;
        closed.recordCount();
    });
}

// Nothing here sets the default locale (the machine's is C): the order must
// still be Japanese, with numbers read as numbers.
void TestView::japaneseOrderWithoutDefaultLocale()
{
    QCOMPARE(QLocale().language(), QLocale::C);
    View list;
    list.appendField(QStringLiteral("CDID"), FieldType::Integer, 5, false);
    list.appendField(QStringLiteral("CD名"), FieldType::Text, 100, false);
    list.openInMemory();
    const QStringList given{"ヘンデル", "一", "第10曲", "Op.27", "ｶ",  "キ", "ベートーヴェン",
                            "第2曲",    "亜", "か",     "Op.9",  "カ", "ガ"};
    for (int i = 0; i < given.size(); ++i) {
        list.addNew();
        list.setValue(0, i);
        list.setValue(1, given.at(i));
        list.update();
    }
    list.setSort(QStringLiteral("CD名 asc"));
    const QStringList sorted = titles(list);
    auto at = [&](const char* t) { return int(sorted.indexOf(QString::fromUtf8(t))); };
    QVERIFY2(at("ベートーヴェン") < at("ヘンデル"), qPrintable(sorted.join(u' ')));
    QVERIFY2(at("亜") < at("一"), qPrintable(sorted.join(u' ')));
    QVERIFY2(at("第2曲") < at("第10曲"), qPrintable(sorted.join(u' ')));
    QVERIFY2(at("Op.9") < at("Op.27"), qPrintable(sorted.join(u' ')));
    // カ, か and ｶ are one letter written three ways: nothing comes between them
    QList<int> ka{at("カ"), at("か"), at("ｶ")};
    std::sort(ka.begin(), ka.end());
    QCOMPARE(ka.last() - ka.first(), 2);
    QVERIFY(at("ガ") > ka.last() && at("キ") > at("ガ"));
}

// A list large enough to have its keys made on two threads, with runs of a
// repeated title as the songs of one CD have: every neighbour in order.
void TestView::largeSortInJapaneseOrder()
{
    View list;
    list.appendField(QStringLiteral("CDID"), FieldType::Integer, 5, false);
    list.appendField(QStringLiteral("CD名"), FieldType::Text, 100, false);
    list.openInMemory();
    const QStringList words{"ヘンデル", "ベートーヴェン", "亜麻色", "一番",  "ｶﾉﾝ",
                            "かのん",   "カノン",         "Op.",    "第",    "ドビュッシー",
                            "d'Indy",   "𠮷野",           "Suite",  "SUITE", "suite"};
    QRandomGenerator rng(12);
    QString title;
    for (int i = 0; i < 30000; ++i) {
        if (i % 3 == 0) // runs of one title
            title = words.at(rng.bounded(words.size())) + QString::number(rng.bounded(200))
                + words.at(rng.bounded(words.size()));
        list.addNew();
        list.setValue(0, i);
        list.setValue(1, title);
        list.update();
    }
    list.setSort(QStringLiteral("CD名 asc"));
    const QStringList sorted = titles(list);
    QCOMPARE(sorted.size(), 30000);
    for (int i = 1; i < sorted.size(); ++i)
        QVERIFY2(japaneseCollator().compare(sorted[i - 1], sorted[i]) <= 0,
                 qPrintable(sorted[i - 1] + " > " + sorted[i]));
    // ties keep their order: the identifiers of one title rise, letter case
    // being no difference
    for (int i = 1; i < sorted.size(); ++i)
        if (japaneseCollator().compare(sorted[i - 1], sorted[i]) == 0)
            QVERIFY2(list.valueAt(i - 1, 0).toInt() < list.valueAt(i, 0).toInt(),
                     qPrintable(sorted[i - 1] + " / " + sorted[i]));
}

void TestView::valueListsAreDistinctAndOrdered()
{
    QCOMPARE(titles(*db().valueList(Collection::ValueList::Sakkyoku), QStringLiteral("作曲者名")),
             (QStringList{QStringLiteral("ダンディ (d'Indy)"), QStringLiteral("ベートーヴェン")}));
    QCOMPARE(db().valueList(Collection::ValueList::Henkyoku)->recordCount(),
             0); // only empty values: no entries
    expectError(3251, [] {
        db().valueList(Collection::ValueList::Sakkyoku)->setValue(0, QStringLiteral("x"));
    });
    db().songs()->moveFirst();
    db().songs()->setValue(QStringLiteral("作曲者名"), QStringLiteral("アイヴズ"));
    db().songs()->update();
    QCOMPARE(db().valueList(Collection::ValueList::Sakkyoku)->recordCount(),
             2); // lists keep what they read
    // a list first looked at after a change still shows the values present at opening
    db().connection().column(
        QStringLiteral("UPDATE kyoku SET ソリスト = 'ソリストA' WHERE 曲ID = 1"));
    QCOMPARE(db().valueList(Collection::ValueList::Sorisuto)->recordCount(), 0);
    db().ReopenValueList(Collection::ValueList::Sakkyoku);
    QCOMPARE(titles(*db().valueList(Collection::ValueList::Sakkyoku), QStringLiteral("作曲者名"))
                 .first(),
             QStringLiteral("アイヴズ"));
}

// A row holds each value in one word where it can: whole numbers near the
// limits of that word, and everything else, must come back as they went in.
void TestView::compactRowsKeepEveryValue()
{
    const qint64 edge = qint64(1) << 59;
    const QString big(300000, QChar(u'楽')); // longer than one block of the pool
    const QVector<QVariant> values = {
        QVariant(),
        QVariant(QString()), // an empty text is not NULL
        QVariant(QStringLiteral("𠮷野家 d'Indy")),
        QVariant(qlonglong(edge - 1)),
        QVariant(qlonglong(edge)),
        QVariant(qlonglong(-edge)),
        QVariant(qlonglong(-edge - 1)),
        QVariant(qlonglong(edge * 2)),
        QVariant(qlonglong(edge * 4 + 3)),
        QVariant(qlonglong(-edge * 4)),
        QVariant(qlonglong(std::numeric_limits<qint64>::min())),
        QVariant(qlonglong(std::numeric_limits<qint64>::max())),
        QVariant(qlonglong(-1)),
        QVariant(1234.5),
        QVariant(QDate(1899, 1, 1)),
        QVariant(QDate(2029, 12, 31)),
        QVariant(QByteArray("\x00\x01", 2)),
        QVariant(big),
        QVariant(QStringLiteral("後")),
    };
    const RowPtr row = Row::make(42, values);
    QCOMPARE(row->rowid, qint64(42));
    QCOMPARE(row->size(), int(values.size()));
    for (int i = 0; i < values.size(); ++i) {
        QCOMPARE(row->isNull(i), values.at(i).isNull());
        QCOMPARE(row->value(i), values.at(i));
        QCOMPARE(row->value(i).typeId(), values.at(i).typeId());
    }
    QCOMPARE(row->text(14, FieldType::Date), QStringLiteral("1899-01-01"));
    QCOMPARE(row->text(10, FieldType::Integer), QStringLiteral("-9223372036854775808"));
    QVERIFY(row->value(99).isNull());
}

// The last row and one past it, by index and by the navigation steps, which
// stay on the first or last row instead of leaving the rows.
void TestView::boundsOfMovesAndSteps()
{
    View& v = *db().cds();
    v.moveTo(5);
    QCOMPARE(v.value(QStringLiteral("CDID")).toInt(), 6);
    QVERIFY(!v.eof());
    expectError(DbError::NoCurrentRow, [&] { v.moveTo(6); });
    expectError(DbError::NoCurrentRow, [&] { v.moveTo(-1); });
    QCOMPARE(v.value(QStringLiteral("CDID")).toInt(), 6); // a refused move stays
    v.step(View::Step::Next);
    QCOMPARE(v.value(QStringLiteral("CDID")).toInt(), 6);
    QVERIFY(!v.eof());
    v.step(View::Step::Previous);
    QCOMPARE(v.value(QStringLiteral("CDID")).toInt(), 5);
    v.step(View::Step::First);
    v.step(View::Step::Previous);
    QCOMPARE(v.value(QStringLiteral("CDID")).toInt(), 1);
    QVERIFY(!v.bof());
    v.step(View::Step::Last);
    QCOMPARE(v.position(), 5);
}

// A filter and a sort hold together, whichever is set first, on the CDs and
// on the songs.
void TestView::filterAndSortTogether()
{
    db().cds()->setFilter(Criteria().like("CD名", "*さ*"));
    db().cds()->setSort(QStringLiteral("CD名 asc"));
    QCOMPARE(titles(*db().cds()), (QStringList{QStringLiteral("あさ"), QStringLiteral("さくら")}));
    db().cds()->setSort(QStringLiteral("CDID desc"));
    db().cds()->setFilter(Criteria().like("CD名", "*交響曲*"));
    QCOMPARE(titles(*db().cds(), QStringLiteral("CDID")), (QStringList{"5", "2"}));
    db().songs()->setSort(QStringLiteral("曲名 desc"));
    db().songs()->setFilter(Criteria().like("CD名", "*合唱*"));
    QCOMPARE(titles(*db().songs(), QStringLiteral("曲名")),
             (QStringList{QStringLiteral("第4楽章"), QStringLiteral("第1楽章")}));
    db().songs()->setFilter(Criteria().like("曲名", "*"));
    QCOMPARE(db().songs()->recordCount(), 6);
    QCOMPARE(titles(*db().songs(), QStringLiteral("曲名")).first(), QStringLiteral("第4楽章"));
}

// Lists of names in Japanese order, which is not the order of the codes:
// katakana ア before hiragana か, and Latin letters first.
void TestView::valueListsInJapaneseOrder()
{
    db().connection().column(QStringLiteral("UPDATE kyoku SET 作曲者名 = 'かとう' WHERE 曲ID = 1"));
    db().connection().column(
        QStringLiteral("UPDATE kyoku SET 作曲者名 = 'アイヴズ' WHERE 曲ID = 2"));
    db().connection().column(QStringLiteral("UPDATE kyoku SET 作曲者名 = 'Bach' WHERE 曲ID = 7"));
    db().ReopenValueList(Collection::ValueList::Sakkyoku);
    QCOMPARE(
        titles(*db().valueList(Collection::ValueList::Sakkyoku), QStringLiteral("作曲者名")),
        (QStringList{QStringLiteral("Bach"), QStringLiteral("アイヴズ"), QStringLiteral("かとう"),
                     QStringLiteral("ダンディ (d'Indy)"), QStringLiteral("ベートーヴェン")}));
}

// A song moved to another CD by a correction joins that CD's songs in 曲ID
// order, wherever it stood among all the songs.
void TestView::songMovedToACdLandsInIdentifierOrder()
{
    db().cds()->moveFirst(); // さくら: songs 1 and 3
    QCOMPARE(db().songsOfCD()->value(QStringLiteral("曲ID")).toInt(), 1);
    const QString ninth = QStringLiteral("ベートーヴェン：交響曲第9番「合唱」");
    db().songsOfCD()->setValue(QStringLiteral("CD名"), ninth);
    db().songsOfCD()->update();
    db().cds()->moveNext(); // the ninth: songs 2 and 9, and now 1 before them
    QCOMPARE(
        titles(*db().songsOfCD(), QStringLiteral("曲名")),
        (QStringList{QStringLiteral("一"), QStringLiteral("第1楽章"), QStringLiteral("第4楽章")}));
}

// Songs read one after another share a text with the song before only when
// it is the same whole text, not when one begins the other.
void TestView::neighbouringTextsSharedOnlyWhenWhole()
{
    db().CloseDataContext();
    QVERIFY(QFile::remove(db().databasePath()));
    const QStringList names
        = {QStringLiteral("交響曲第5番"),     QStringLiteral("交響曲"),
           QStringLiteral("交響曲"),          QStringLiteral("交響曲第5番ハ短調"),
           QStringLiteral("交響曲第5番ハ短"), QStringLiteral("")};
    QVector<QVariantMap> songs;
    for (int i = 0; i < names.size(); ++i)
        songs << song(names[i], 100 + i, names[i]);
    writeCollection(m_folder->path(), {}, songs);
    db().OpenDataContext();
    QCOMPARE(titles(*db().songs(), QStringLiteral("CD名")), names.mid(0, 6));
    QCOMPARE(titles(*db().songs(), QStringLiteral("曲名")).mid(0, 6), names.mid(0, 6));
}

RONDELLA_TEST_GUILESS_MAIN(TestView)
#include "tst_view.moc"
