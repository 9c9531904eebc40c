// The catalogue's rules on the data alone, without a window: deleting and
// correcting CDs with the songs that belong to them by title.
#include "store/catalogue.h"
#include "store/collection.h"
#include "store/jacketfiles.h"
#include "testsupport.h"

#include <QTest>

namespace {

const QString fifth = u"ベートーヴェン：交響曲第5番"_s;
const QString ninth = u"ベートーヴェン：交響曲第9番「合唱」"_s;
const QString live = u"Live at the Blue Moon"_s;

// A column of the file's songs or CDs, joined by "|".
QString songs(const QString& column = u"CD名"_s, const QString& table = u"kyoku"_s)
{
    return readColumn(QDir::currentPath(), table, column).join(u'|');
}

int going()
{
    return catalogue::songsGoingWithCurrentCD(db().connection(), *db().cds(), *db().songsOfCD());
}

void deleteCD()
{
    catalogue::deleteCurrentCD(db().connection(), *db().cds(), *db().songsOfCD());
}

void saveCD(const std::vector<catalogue::FieldChange>& changes, bool correction = true)
{
    catalogue::saveCD(db().connection(), *db().cds(), *db().songsOfCD(), changes, correction);
}

void saveSong(const QString& cdTitle, const std::vector<catalogue::FieldChange>& changes)
{
    catalogue::saveSong(db().connection(), *db().songs(), cdTitle, changes);
}

// Triggers that refuse to delete or change the row of this identifier, as a
// full disk or a lock would refuse part-way.
QStringList refusing(const QString& table, const QString& idColumn, int id)
{
    QStringList sql;
    for (const QString& when : {u"DELETE"_s, u"UPDATE"_s})
        sql << u"CREATE TRIGGER refuse_%1_%2 BEFORE %1 ON %2 WHEN old.%3 = %4 "
               u"BEGIN SELECT RAISE(ABORT, 'refused'); END"_s.arg(when, table, idColumn)
                   .arg(id);
    return sql;
}

} // namespace

class TestCatalogue : public QObject {
    Q_OBJECT
private slots:
    void init() { m_folder = std::make_unique<StartupFolder>(); }
    void cleanup()
    {
        db().CloseDataContext();
        m_folder.reset();
    }

    // Songs belong to every CD of their title, letter case aside: while another
    // CD bears it they stay. The jacket goes to the trash with the last CD of
    // its number (an old database may hold two).
    void deletingACdTakesItsSongsAndJacket()
    {
        open({cd(1, live), cd(2, live.toUpper()), cd(3, fifth), cd(4, u"ほか"_s), cd(4, u"旧"_s)},
             {song(live, 1, u"一"_s), song(fifth, 2, u"二"_s), song(fifth, 3, u"三"_s),
              song(live, 4, u"四"_s)});
        QVERIFY(QDir(m_folder->path()).mkdir(u"jacket"_s));
        const QString jacket = jacket::pictureOf(m_folder->path(), 4);
        QVERIFY(writeBytes(jacket, {}));
        db().cds()->moveFirst();
        QCOMPARE(going(), 0);
        deleteCD();
        // on the last CD
        QCOMPARE(songs(u"曲ID"_s) + db().cds()->value(u"CD名"_s).toString(), u"1|2|3|4旧"_s);
        db().cds()->moveFirst(); // the last of the title takes them
        QCOMPARE(going(), 2);
        deleteCD();
        deleteCD(); // the last CD: the other CD 4 still shows the jacket
        QVERIFY(QFile::exists(jacket));
        deleteCD();
        QVERIFY(!QFile::exists(jacket) && cds() == fifth);
        // the last CD of the collection is corrected, never deleted
        QCOMPARE(errorOf(deleteCD), catalogue::RefusedByRule);
        QCOMPARE(songs(u"曲ID"_s), u"2|3"_s);
    }

    // A correction of the title carries the songs, unless another CD bears the
    // old title or only the letter case changed.
    void correctingTheTitleCarriesTheSongs()
    {
        open({cd(1, fifth), cd(2, ninth), cd(3, ninth), cd(4, live)},
             {song(fifth, 1, u"一"_s), song(ninth, 2, u"二"_s), song(fifth, 3, u"三"_s),
              song(live, 4, u"四"_s)});
        db().cds()->moveFirst();
        saveCD({{1, u"運命"_s}});
        QCOMPARE(songs() + QString::number(db().songsOfCD()->recordCount()),
                 u"運命|%1|運命|%2"_s.arg(ninth, live) + u'2');
        db().cds()->moveNext();
        saveCD({{1, u"第九"_s}});
        db().cds()->moveLast();
        saveCD({{1, live.toUpper()}});
        QCOMPARE(songs() + u'/' + cds(),
                 u"運命|%1|運命|%2/運命|第九|%1|%3"_s.arg(ninth, live, live.toUpper()));
    }

    // A refusal part-way (here a trigger) leaves the file as it was, the views
    // matching it and holding no half-made edit; the next save stores only its own.
    void aRefusalLeavesFileAndViewsAsTheyWere()
    {
        open({cd(1, fifth), cd(2, ninth)},
             {song(fifth, 1, u"一"_s), song(fifth, 2, u"二"_s), song(fifth, 3, u"三"_s)},
             refusing(u"kyoku"_s, u"曲ID"_s, 3) + refusing(u"cdname"_s, u"CDID"_s, 2));
        View& v = *db().cds();
        // the file, the view's CD and edit, the count of its songs
        auto state = [&v](const QString& column) -> QString {
            return songs(u"曲ID"_s) + u'/' + cds(column) + u'/' + v.value(column).toString()
                + QString::number(int(v.editMode())) + u'/'
                + QString::number(db().songsOfCD()->recordCount());
        };
        v.moveFirst();
        QVERIFY(errorOf(deleteCD) != 0);
        QCOMPARE(state(u"CDID"_s), u"1|2|3/1|2/10/3"_s); // still on the CD asked for
        saveCD({{2, u"解説"_s}}); // the next save stores only its own
        QVERIFY(errorOf([] { saveCD({{1, u"運命"_s}}); }) != 0);
        QCOMPARE(songs() + u'/' + state(u"CD名"_s),
                 u"%1|%1|%1/1|2|3/%1|%2/%1"_s.arg(fifth, ninth) + u"0/3");
        v.moveNext(); // refused at the CD itself
        QVERIFY(errorOf([] { saveCD({{2, u"解説者"_s}}); }) != 0);
        QCOMPARE(state(u"解説者"_s), u"1|2|3/解説|<null>/0/0"_s);
        v.moveFirst(); // a move does not store what was refused; the songs read again, not moved
        QCOMPARE(state(u"解説者"_s), u"1|2|3/解説|<null>/解説0/3"_s);
        db().songs()->moveLast();
        QVERIFY(errorOf([] { saveSong(fifth, {{2, u"新"_s}}); }) != 0);
        QCOMPARE(db().songs()->editMode(), View::EditMode::None);
        QCOMPARE(db().songs()->value(u"曲名"_s).toString(), u"三"_s);
        db().songs()->moveFirst();
        QCOMPARE(songs(u"曲名"_s), u"一|二|三"_s);
    }

    // A song is stored under a title some CD bears, letter case aside.
    void songsAreStoredUnderAStoredTitle()
    {
        open({cd(1, fifth), cd(2, live)},
             {song(fifth, 1, u"一"_s), song(fifth, 2, u"二"_s), song(fifth, 3, u"三"_s)});
        View& v = *db().songs();
        v.addNew();
        v.setValue(u"曲ID"_s, 4);
        const auto [number, said] = thrown([] { saveSong(u"ないCD"_s, {{2, u"四"_s}}); });
        QVERIFY2(number == catalogue::RefusedTitle && said.contains(u"ないCD"_s), qPrintable(said));
        QVERIFY(songs(u"曲ID"_s) == u"1|2|3"
                && v.editMode() == View::EditMode::Add); // typing waits
        saveSong(live.toUpper(), {{2, u"四"_s}});
        v.moveFirst();
        saveSong(live, {}); // a correction moves the song to another CD
        QCOMPARE(songs(), u"%1|%2|%2|%3"_s.arg(live, fifth, live.toUpper()));
    }

    // Every field of the song before, the last (分野) included; the 曲ID stays.
    void theCopyTakesTheSongBefore()
    {
        QVariantMap full;
        const QVector<FieldDef>& fields = Connection::kyokuFields();
        for (int c = 2; c < fields.size(); ++c)
            full.insert(fields[c].name, QString(fields[c].name + u"の値"_s));
        open({cd(1, fifth)}, {song(fifth, 1, u"一"_s, full)});
        db().songs()->moveLast();
        db().songs()->addNew();
        db().songs()->setValue(u"曲ID"_s, 2);
        QCOMPARE(catalogue::copySongBefore(*db().songs()), fifth);
        saveSong(fifth, {});
        for (const FieldDef& f : fields) {
            const QStringList values = songs(f.name).split(u'|');
            QVERIFY2(values.size() == 2 && (values[1] == values[0]) == (f.name != u"曲ID"),
                     qPrintable(f.name));
        }
    }

    void cdChoicesNewestFirst()
    {
        open({cd(3, u"c"_s), cd(10, u"a"_s), cd(7, u"b"_s)}, {});
        QStringList ids;
        for (const RowPtr& row : catalogue::readCDChoices(db().connection()))
            ids << row->value(0).toString();
        QCOMPARE(ids, (QStringList{u"10"_s, u"7"_s, u"3"_s}));
    }

private:
    static QString cds(const QString& column = u"CD名"_s) { return songs(column, u"cdname"_s); }
    void open(const QVector<QVariantMap>& cds, const QVector<QVariantMap>& songs,
              const QStringList& sql = {})
    {
        writeCollection(m_folder->path(), cds, songs);
        sqlRows(db().databasePath(), sql);
        db().OpenDataContext();
    }
    std::unique_ptr<StartupFolder> m_folder;
};

RONDELLA_TEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
