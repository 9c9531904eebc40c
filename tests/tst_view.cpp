#include "store/collection.h"
#include "testsupport.h"

#include <QCollator>
#include <QRandomGenerator>
#include <QTest>

namespace {

QStringList column(View& v, const QString& field = u"CD名"_s)
{
    QStringList out;
    for (int r = 0; r < v.recordCount(); ++r)
        out << v.valueAt(r, v.fieldIndex(field)).toString();
    return out;
}

// An in-memory list of titles, sorted by title.
void sortedList(View& list, const QStringList& titles)
{
    list.appendField(u"CDID"_s, FieldType::Integer, 5, false);
    list.appendField(u"CD名"_s, FieldType::Text, 100, false);
    list.openInMemory();
    for (int i = 0; i < titles.size(); ++i)
        list.addNew(), list.setValue(0, i), list.setValue(1, titles.at(i)), list.update();
    list.setSort(u"CD名 asc"_s);
}

const QString ninth = u"ベートーヴェン：交響曲第9番「合唱」"_s;

} // namespace

class TestView : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_folder = std::make_unique<StartupFolder>();
        writeCollection(
            m_folder->path(),
            {cd(1, u"さくら"_s, {{u"購入価格"_s, 2800.5}, {u"購入年月日"_s, QDate(1998, 4, 1)}}),
             cd(2, ninth), cd(4, u"あさ"_s, {{u"購入年月日"_s, QDate(1999, 1, 1)}}),
             cd(3, u"Live at the Blue Moon"_s, {{u"購入年月日"_s, QDate(1997, 1, 1)}}),
             cd(5, ninth), cd(6, u"かぜ"_s)},
            {song(u"さくら"_s, 3, u"三"_s, {{u"作曲者名"_s, u"ダンディ (d'Indy)"_s}}),
             song(u"さくら"_s, 1, u"一"_s), song(ninth, 2, u"第1楽章"_s),
             song(u"Live At The Blue Moon"_s, 7, u"'Round Midnight"_s),
             song(u"消えたCD"_s, 8, u"孤児"_s),
             song(ninth, 9, u"第4楽章"_s, {{u"作曲者名"_s, u"ベートーヴェン"_s}})});
        db().OpenDataContext();
    }

    void cleanup() { db().CloseDataContext(), m_folder.reset(); }

    // Rows come in CDID order; a move off either end leaves no current row, and
    // a navigation step stays on the last row instead.
    void movesFiltersAndSorts()
    {
        View& v = *db().cds();
        QCOMPARE(ids(v), u"1 2 3 4 5 6"_s);
        v.movePrevious();
        QCOMPARE(errorOf([&] { v.value(0); }), int(DbError::NoCurrentRow));
        v.moveTo(5);
        QCOMPARE(errorOf([&] { v.moveTo(6); }), int(DbError::NoCurrentRow));
        v.step(View::Step::Next);
        v.step(View::Step::Previous);
        QCOMPARE(id(v), 5); // a refused move stays
        v.setFilter(Criteria().equals(u"CD名"_s, u"ない"_s));
        QVERIFY(v.bof() && v.eof() && db().songsOfCD()->recordCount() == 0);
        // A filter and a sort hold together, whichever is set first; a bad column
        // leaves both as they were.
        v.setFilter(Criteria().like(u"CD名"_s, u"LIVE*"_s).equals(u"CDID"_s, u"3"_s));
        QCOMPARE(errorOf([&] { v.setFilter(Criteria().equals(u"作曲者名"_s, u"x"_s)); }),
                 int(DbError::BadArguments));
        QCOMPARE(v.filter() + QString::number(v.recordCount()),
                 u"CD名 like 'LIVE*' and CDID = '3'1"_s);
        v.setSort(u"CDID desc"_s);
        v.setFilter(Criteria().like(u"CD名"_s, u"*交響曲*"_s));
        QCOMPARE(ids(v), u"5 2"_s);
        v.setFilter(Criteria());
        v.setSort(u"購入年月日, CD名 desc"_s); // no date first, then the oldest
        QCOMPARE(ids(v), u"2 5 6 3 1 4"_s);
        QCOMPARE(errorOf([&] { v.setSort(u"曲名 asc"_s); }), int(DbError::BadArguments));
        v.setSort(QString());
        QCOMPARE(id(v), 1);
        View& songs = *db().songs();
        songs.setSort(u"[作曲者名]"_s); // a name in brackets; a text not entered comes first
        QVERIFY(songs.value(u"作曲者名"_s).isNull());
        writeCollection(m_folder->path(), {cd(10, u"追加"_s)}, {});
        v.requery(); // reads the new rows, filter kept
        QCOMPARE(v.recordCount(), 7);
    }

    // Nothing here sets the default locale (the machine's is C): the order must
    // still be Japanese, with numbers read as numbers, also for a list large
    // enough to have its keys made on two threads.
    void japaneseOrder()
    {
        View list;
        sortedList(list,
                   {u"ヘンデル"_s, u"一"_s, u"第10曲"_s, u"Op.27"_s, u"ｶ"_s, u"キ"_s,
                    u"ベートーヴェン"_s, u"第2曲"_s, u"亜"_s, u"か"_s, u"Op.9"_s, u"カ"_s,
                    u"ガ"_s});
        QCOMPARE(column(list),
                 (QStringList{u"Op.9"_s, u"Op.27"_s, u"ｶ"_s, u"か"_s, u"カ"_s, u"ガ"_s, u"キ"_s,
                              u"ベートーヴェン"_s, u"ヘンデル"_s, u"亜"_s, u"一"_s, u"第2曲"_s,
                              u"第10曲"_s}));
        const QStringList words{u"ヘンデル"_s, u"亜麻色"_s, u"ｶﾉﾝ"_s,   u"かのん"_s, u"Op."_s,
                                u"d'Indy"_s,   u"𠮷野"_s,   u"Suite"_s, u"SUITE"_s};
        QRandomGenerator rng(12);
        QStringList titles;
        for (int i = 0; i < 30000; ++i) // runs of one title, as the songs of one CD have
            titles << (i % 3 ? titles.last()
                             : words.at(rng.bounded(words.size()))
                               + QString::number(rng.bounded(200)));
        View large;
        sortedList(large, titles);
        const QStringList sorted = column(large);
        for (int i = 1; i < sorted.size(); ++i) {
            const int c = japaneseCollator().compare(sorted[i - 1], sorted[i]);
            QVERIFY2(
                c < 0 || (c == 0 && large.valueAt(i - 1, 0).toInt() < large.valueAt(i, 0).toInt()),
                qPrintable(sorted[i - 1] + u" / "_s + sorted[i]));
        }
    }

    // A CD's songs are those of its title, letter case aside, in 曲ID order; they
    // follow the CD view's moves and corrections, a song's CDs the song view's.
    void childViewsFollowTheirParent()
    {
        View& cds = *db().cds();
        View& songs = *db().songsOfCD();
        QCOMPARE(column(songs, u"曲名"_s), (QStringList{u"一"_s, u"三"_s}));
        cds.moveTo(2);
        QCOMPARE(column(songs, u"曲名"_s), QStringList{u"'Round Midnight"_s});
        cds.moveTo(4); // CDID 5 shares the title of CDID 2
        QCOMPARE(column(songs, u"曲ID"_s).join(u' '), u"2 9"_s);
        db().songs()->moveTo(1); // song 2 of the choral symphony
        QCOMPARE(db().cdsOfSong()->recordCount(), 2);
        cds.moveFirst(); // song 1 moved to the ninth takes its 曲ID place there
        songs.setValue(u"CD名"_s, ninth), songs.update();
        cds.moveNext();
        QCOMPARE(column(songs, u"曲ID"_s).join(u' '), u"1 2 9"_s);
        cds.moveTo(3); // あさ corrected to the orphan's title
        cds.setValue(u"CD名"_s, u"消えたCD"_s), cds.update();
        QCOMPARE(column(songs, u"曲名"_s), QStringList{u"孤児"_s});
        db().songs()->moveTo(4); // the song view's own snapshot still has no CD for it
        QCOMPARE(db().cdsOfSong()->recordCount(), 0);
    }

    // Edits, additions and deletions reach the table; a move stores a pending
    // edit; moving on after a delete lands on the row that followed.
    void writesAndPendingEdits()
    {
        View& cds = *db().cds();
        auto stored = [&](const QString& field) {
            return readColumn(m_folder->path(), u"cdname"_s, field);
        };
        cds.moveTo(3);
        cds.setValue(u"解説者"_s, u"O'Brien"_s);
        cds.setValue(u"購入年月日"_s, QDate(2024, 3, 9));
        cds.moveFirst(); // a move stores a pending edit
        QCOMPARE(stored(u"解説者"_s).at(2) + stored(u"購入年月日"_s).at(2), u"O'Brien2024-03-09"_s);
        cds.moveTo(1);
        cds.addNew();
        cds.cancelUpdate();
        QCOMPARE(id(cds), 2); // back where it was
        cds.addNew(), cds.setValue(u"CDID"_s, 7);
        cds.setValue(u"CD名"_s, u"ニューイヤー・コンサート'89"_s), cds.update();
        cds.moveFirst();
        cds.remove();
        QCOMPARE(errorOf([&] { cds.value(0); }), int(DbError::NoCurrentRow)); // the row is gone
        cds.moveNext();
        QCOMPARE(id(cds), 2);
        QCOMPARE(stored(u"CD名"_s).last(), u"ニューイヤー・コンサート'89"_s);
        QCOMPARE(stored(u"CDID"_s).join(u' '), u"2 4 3 5 6 7"_s);
        // A pending edit stops a filter or a requery, before anything is read; a
        // row another program deleted is reported, not passed over.
        db().songsOfCD()->setValue(u"分野"_s, u"交響曲"_s);
        QCOMPARE(errorOf([&] { cds.requery(); }), int(DbError::NotAllowedNow));
        db().songsOfCD()->cancelUpdate();
        cds.setValue(u"段"_s, u"2"_s);
        QCOMPARE(errorOf([&] { cds.setFilter(Criteria()); }), int(DbError::NotAllowedNow));
        cds.cancelUpdate();
        db().connection().column(u"DELETE FROM cdname WHERE CDID = 2"_s); // the current row
        cds.setValue(u"段"_s, u"1"_s);
        QCOMPARE(errorOf([&] { cds.update(); }), int(DbError::RowNotFound));
        QCOMPARE(cds.editMode(), View::EditMode::InProgress);
        cds.cancelUpdate();
    }

    // A row holds each value in one word where it can: whole numbers near the
    // limits of that word, and everything else, must come back as they went in;
    // so must what is read from the file, and a text is shared with the row
    // before only when it is the same whole text.
    void valuesComeBackAsStored()
    {
        const qlonglong edge = qlonglong(1) << 59, least = -edge * 16; // least: the word's least
        const QVector<QVariant> values({QVariant(), QString(), edge, -edge - 1, least, 1234.5,
                                        QDate(1899, 1, 1), QString(300000, u'楽')});
        const RowPtr row = Row::make(42, values);
        for (int i = 0; i < values.size(); ++i)
            QVERIFY2(row->value(i) == values[i] && row->value(i).typeId() == values[i].typeId()
                         && row->isNull(i) == values[i].isNull(),
                     qPrintable(QString::number(i)));
        QCOMPARE(db().cds()->value(u"購入価格"_s), QVariant(2800.5));
        db().CloseDataContext();
        QVERIFY(QFile::remove(db().databasePath()));
        const QStringList names
            = {u"交響曲第5番"_s, u"交響曲"_s, u"交響曲"_s, u"交響曲第5番ハ短"_s, u""_s};
        QVector<QVariantMap> songs;
        for (int i = 0; i < names.size(); ++i)
            songs << song(names[i], 100 + i, names[i]);
        writeCollection(m_folder->path(), {}, songs);
        db().OpenDataContext();
        QCOMPARE(column(*db().songs()), names);
    }

private:
    std::unique_ptr<StartupFolder> m_folder;
    // The CDIDs of the rows, in their order; the current row's.
    static QString ids(View& v) { return column(v, u"CDID"_s).join(u' '); }
    static int id(View& v) { return v.value(0).toInt(); }
};

RONDELLA_TEST_GUILESS_MAIN(TestView)
#include "tst_view.moc"
