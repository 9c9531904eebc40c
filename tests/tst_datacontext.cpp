#include "store/collection.h"
#include "store/fieldtext.h"
#include "store/importer.h"
#include "testsupport.h"

#include <QDate>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSqlQuery>
#include <QTest>

namespace {
// Every row of a view, every field, as text.
QStringList viewRows(View& v)
{
    QStringList out;
    for (int r = 0; r < v.recordCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < v.fieldCount(); ++c)
            cells << (v.valueAt(r, c).isNull() ? u"<null>"_s : plainText(v.valueAt(r, c)));
        out << cells.join(u'|');
    }
    return out;
}
} // namespace

class TestDataContext : public QObject {
    Q_OBJECT
private slots:
    void init() { m_folder = std::make_unique<StartupFolder>(); }
    void cleanup()
    {
        db().CloseDataContext();
        m_folder.reset();
    }

    // What is typed into an entry box, read by the field's type; 1930-2029 is
    // shown again as typed, with two digits.
    void typedValuesByFieldType()
    {
        // field, typed, read: "!" refused, "~" empty
        const QStringList rows
            = u"購入価格;12,345,678;12345678;購入価格;５，０００;5000;購入価格;50,00;!;"
              u"購入価格;1,2345;!;購入価格;五千;!;購入価格;1234.5;!;購入価格;  ;~;"
              u"CDID;2147483647;2147483647;CDID;2147483648;!;CDID;-2147483648;!;"
              u"購入年月日;02/1/31;2002-01-31;購入年月日;29/12/31;2029-12-31;"
              u"購入年月日;30/1/1;1930-01-01;購入年月日;2002-01-31;2002-01-31;"
              u"購入年月日;2002/13/1;!;購入年月日;02/2/30;!"_s.split(u';');
        for (qsizetype i = 0; i < rows.size(); i += 3) {
            const QString &field = rows[i], &typed = rows[i + 1];
            const FieldDef& def = *std::find_if(Connection::cdnameFields().begin(),
                                                Connection::cdnameFields().end(),
                                                [&](const FieldDef& f) { return f.name == field; });
            QString read;
            try {
                const QVariant got = valueFromText(def, typed);
                read = got.isNull() ? u"~"_s : got.toString();
                if (typed.count(u'/') == 2 && typed.size() <= 8
                    && entryText(got, def.type) != typed)
                    read += u" shown as " + entryText(got, def.type);
            } catch (const DbError& e) {
                read = e.number() == DbError::TypeMismatch && e.description().contains(field)
                        && e.description().contains(typed)
                    ? u"!"_s
                    : e.description();
            }
            QCOMPARE(field + u' ' + typed + u' ' + read, field + u' ' + typed + u' ' + rows[i + 2]);
        }
    }

    void refusedFilesAreLeftAsTheyAre_data()
    {
        QTest::addColumn<QString>("kind"); // what stands under the collection's name
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("cause");
        const QByteArray cdname
            = "CREATE TABLE cdname (CDID INTEGER, CD名 TEXT, 解説者 TEXT, 購入価格 "
              "INTEGER, 購入年月日 TEXT, 発売元 TEXT, キャビネット TEXT, 段 TEXT)";
        QTest::newRow("not a database")
            << u"file"_s << QByteArray(8192, 'Z') << u"データベースのファイルではありません"_s;
        QTest::newRow("empty") << u"file"_s << QByteArray() << u"テーブル「cdname」がありません"_s;
        QTest::newRow("cut in half") << u"cut"_s << QByteArray() << u"壊れています"_s;
        QTest::newRow("locked") << u"locked"_s << "BEGIN EXCLUSIVE;UPDATE cdname SET 段 = '1'"_ba
                                << u"使用中"_s;
        QTest::newRow("a folder") << u"dir"_s << QByteArray() << QString();
        QTest::newRow("no kyoku") << u"sql"_s << cdname << u"テーブル「kyoku」がありません"_s;
        QTest::newRow("a column missing")
            << u"sql"_s << cdname + ";CREATE TABLE kyoku (CD名 TEXT, 曲ID INTEGER, 曲名 TEXT)"
            << u"テーブル「kyoku」に列「作曲者名」がありません"_s;
    }

    // Opening fails with a description naming the file and the cause, leaves no
    // connection behind, and leaves the file exactly as it was: a file of that
    // name that holds nothing is not this program's to fill.
    void refusedFilesAreLeftAsTheyAre()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        QFETCH(QString, cause);
        const QString path = db().databasePath();
        QFile f(path);
        QSqlDatabase other = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"raw"_s);
        const auto release
            = [&] { other = QSqlDatabase(), QSqlDatabase::removeDatabase(u"raw"_s); };
        const auto guard = qScopeGuard(release);
        if (kind == u"dir")
            QVERIFY(QDir(m_folder->path()).mkdir(u"cdkaisou.db"_s));
        else if (kind == u"file")
            QVERIFY(writeBytes(path, content));
        else {
            if (kind != u"sql")
                writeCollection(m_folder->path(), {cd(1, u"a"_s)},
                                {song(u"a"_s, 1, QString(3000, u'x'))});
            QVERIFY(kind != u"cut"
                    || (f.open(QIODevice::ReadWrite) && f.resize(f.size() / 2 + 100)));
            f.close();
            other.setDatabaseName(path);
            for (const QByteArray& statement : content.split(';'))
                QVERIFY(statement.isEmpty()
                        || ((other.isOpen() || other.open())
                            && QSqlQuery(other).exec(QString::fromUtf8(statement))));
        }
        const QByteArray before = fileHash(path);
        const QString said = thrown([] { db().OpenDataContext(); }).second;
        QVERIFY2(said.contains(path) && said.contains(cause), qPrintable(said));
        QVERIFY(!db().isOpen() && fileHash(path) == before);
        QCOMPARE(QFileInfo(path).isDir(), kind == u"dir");
        release();
        if (kind == u"locked") { // once the other program lets go, the file opens
            db().OpenDataContext();
            QCOMPARE(db().cds()->recordCount(), 1);
        }
    }

    // A missing file is made empty; the largest identifiers are handed out next,
    // a deleted largest one again; titles compare letter case aside.
    void identifiersAndTitles()
    {
        db().OpenDataContext();
        QCOMPARE(db().GetMaxCDID() + db().GetMaxKyokuID(), 0);
        db().CloseDataContext();
        const QString title
            = u"ドビュッシー：牧神の午後への前奏曲 (Prélude à l'après-midi d'un faune)"_s;
        writeCollection(m_folder->path(), {cd(1, title), cd(45, u"b"_s), cd(40, u"c"_s)},
                        {song(title, 403, u"x"_s), song(title, 196, u"y"_s)});
        db().OpenDataContext();
        QCOMPARE(QList({db().GetMaxCDID(), db().GetMaxKyokuID()}), QList<qint64>({45, 403}));
        db().cds()->moveLast();
        db().cds()->remove();
        QCOMPARE(db().GetMaxCDID(), 40);
        QVERIFY(db().CDNameExists(title.toUpper()) && !db().CDNameExists(u"x' OR '1'='1"_s)
                && !db().CDNameExists(QString()));
    }

    // A new collection written while another program puts a file under the same
    // name keeps its hands off that file: refused, the other file untouched.
    void newCollectionNeverTakesANameTakenMeanwhile()
    {
        importer::Rows rows;
        for (int i = 1; i <= 50; ++i)
            rows.cds << QVector<QVariant>{i, u"CD%1"_s.arg(i), {}, {}, {}, {}, {}, {}};
        const QByteArray theirs("another program's file");
        const QString said
            = thrown([&] {
                  importer::writeCollection(db().databasePath(), rows, false, [&](int done, int) {
                      return done != 20 || writeBytes(db().databasePath(), theirs);
                  });
              }).second;
        QVERIFY2(said.contains(u"同じ名前のファイルがすでにあります"_s), qPrintable(said));
        QCOMPARE(bytesOf(db().databasePath()), theirs);
        QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{u"cdkaisou.db"_s});
    }

    // Rows kept from before a reopening follow this program's own writes; they
    // must be exactly what reading the file afresh gives, in the same order.
    void reopenedRowsMatchTheFileAfterOwnWrites()
    {
        writeCollection(
            m_folder->path(),
            {cd(3, u"C"_s), cd(1, u"A"_s, {{u"購入年月日"_s, QDate(1998, 4, 1)}}), cd(2, u"B"_s)},
            {song(u"A"_s, 10, u"x"_s), song(u"B"_s, 5, u"y"_s), song(u"A"_s, 7, u"z"_s)});
        db().OpenDataContext();
        View &cds = *db().cds(), &songs = *db().songs();
        cds.addNew();
        cds.setValue(u"CDID"_s, 0); // sorts first
        cds.setValue(u"CD名"_s, u"新"_s);
        cds.update();
        db().connection().transaction([&] {
            songs.moveFirst(); // 曲ID 5 becomes 20: it moves to the end
            songs.setValue(u"曲ID"_s, 20);
            songs.update();
            songs.moveLast(); // 曲ID 10 goes
            songs.remove();
            // a statement of its own, which the rows read cannot follow
            db().connection().column(u"UPDATE cdname SET 段 = '9' WHERE CDID = 2"_s);
        });
        QVERIFY_THROWS_EXCEPTION(DbError, db().connection().transaction([&] {
            cds.moveFirst();
            cds.remove();
            throw DbError(DbError::ProviderError, u"止める"_s); // rolled back: nothing changes
        }));
        db().CloseDataContext();
        db().OpenDataContext();
        // many writes in one transaction: added out of order, one moved among
        // them by its 曲ID, one changed in place, one added and taken away
        db().connection().transaction([&] {
            for (int id = 40; id > 28; --id) {
                db().songs()->addNew();
                db().songs()->setValue(u"曲ID"_s, id);
                db().songs()->setValue(u"CD名"_s, u"B"_s);
                db().songs()->setValue(u"曲名"_s, u"m%1"_s.arg(id));
                db().songs()->update();
            }
            for (const auto& [id, field, value] :
                 {std::tuple{7, u"曲ID"_s, QVariant(35)}, {20, u"曲名"_s, QVariant(u"w"_s)}}) {
                db().songs()->moveFirst();
                while (db().songs()->value(u"曲ID"_s).toInt() != id)
                    db().songs()->moveNext();
                db().songs()->setValue(field, value);
                db().songs()->update();
            }
            db().songs()->moveLast(); // the last added: 曲ID 29
            db().songs()->remove();
        });
        // the rows kept, and the same file read by a program that never saw it before
        const auto keptAndRead = [this] {
            db().CloseDataContext();
            db().OpenDataContext();
            const QStringList kept = viewRows(*db().cds()) + viewRows(*db().songs());
            db().CloseDataContext();
            const QString path = db().databasePath();
            if (!QFile::copy(path, path + u".copy"_s) || !QFile::remove(path)
                || !QFile::rename(path + u".copy"_s, path))
                return std::pair{kept, QStringList{u"not copied"_s}};
            db().OpenDataContext();
            return std::pair{kept, viewRows(*db().cds()) + viewRows(*db().songs())};
        };
        const auto [rows, read] = keptAndRead();
        QCOMPARE(rows, read);
        const QStringList cdRows = rows.mid(0, 4), songRows = rows.mid(4);
        // the rolled-back delete did not reach the file
        QVERIFY(rows.size() == 4 + 13 && songRows.at(0).contains(u"|20|w|"_s)
                && songRows.at(6).contains(u"|35|z|"_s) && cdRows.first().startsWith(u"0|新"_s)
                && cdRows.at(2).endsWith(u"|9"_s));
        // undone, the rows it deletes and those it puts back are followed too
        db().Undo();
        db().Undo();
        const auto [undone, readUndone] = keptAndRead();
        QCOMPARE(undone, readUndone);
        QCOMPARE(undone.size(), 4 + 3);
    }

private:
    std::unique_ptr<StartupFolder> m_folder;
};

RONDELLA_TEST_GUILESS_MAIN(TestDataContext)
#include "tst_datacontext.moc"
