#include "store/collection.h"
#include "store/dberror.h"
#include "store/fieldtext.h"
#include "store/importer.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

namespace {

// Opening must fail with a description naming the file and the cause, leave
// no connection behind, and leave the file exactly as it was.
void expectRefusal(const QString& folder, const QString& cause)
{
    const QString path = db().databasePath();
    const QByteArray before = fileHash(path);
    try {
        db().OpenDataContext();
        QFAIL("the file was accepted");
    } catch (const DbError& e) {
        QVERIFY2(e.description().contains(path), qPrintable(e.description()));
        QVERIFY2(e.description().contains(cause), qPrintable(e.description()));
    }
    QVERIFY(!db().isOpen());
    QCOMPARE(fileHash(path), before);
    Q_UNUSED(folder);
}

void execute(const QString& path, const QStringList& statements)
{
    {
        QSqlDatabase db
            = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        for (const QString& s : statements)
            QVERIFY2(q.exec(s), qPrintable(s));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
}

} // namespace

class TestDataContext : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void typedValuesByFieldType_data();
    void typedValuesByFieldType();
    void transactionThatThrowsLeavesNothing();
    void newCollectionNeverTakesANameTakenMeanwhile();
    void missingFileIsCreatedEmpty();
    void emptyCollection();
    void largestIdentifiers();
    void duplicateTitleCheck();
    void notADatabase();
    void truncatedFile();
    void emptyFileIsNotFilledIn();
    void missingTableOrColumn();
    void lockedByAnotherProgram();
    void unreadablePath();
    void closeAndReopen();
    void reopenedRowsMatchTheFileAfterOwnWrites();

private:
    std::unique_ptr<StartupFolder> m_folder;
};

void TestDataContext::init()
{
    m_folder = std::make_unique<StartupFolder>();
}

void TestDataContext::cleanup()
{
    db().CloseDataContext();
    m_folder.reset();
}

void TestDataContext::missingFileIsCreatedEmpty()
{
    QVERIFY(!QFile::exists(db().databasePath()));
    db().OpenDataContext();
    QVERIFY(QFile::exists(db().databasePath()));
    const QVariantList cdColumns
        = db().connection().column(QStringLiteral("SELECT name FROM pragma_table_info('cdname')"));
    QStringList names;
    for (const QVariant& v : cdColumns)
        names << v.toString();
    QCOMPARE(names,
             (QStringList{"CDID", "CD名", "解説者", "購入価格", "購入年月日", "発売元",
                          "キャビネット", "段"}));
    const QVariantList kyokuColumns
        = db().connection().column(QStringLiteral("SELECT name FROM pragma_table_info('kyoku')"));
    QCOMPARE(kyokuColumns.size(), 15);
    QCOMPARE(kyokuColumns.at(1).toString(), QStringLiteral("曲ID"));
}

void TestDataContext::emptyCollection()
{
    db().OpenDataContext();
    QCOMPARE(db().cds()->recordCount(), 0);
    QCOMPARE(db().songs()->recordCount(), 0);
    QVERIFY(db().songsOfCD());
    QCOMPARE(db().songsOfCD()->recordCount(), 0);
    QCOMPARE(db().valueList(Collection::ValueList::Sakkyoku)->recordCount(), 0);
    QCOMPARE(db().GetMaxCDID(), 0);
    QCOMPARE(db().GetMaxKyokuID(), 0);
}

void TestDataContext::largestIdentifiers()
{
    writeCollection(
        m_folder->path(),
        {cd(1, QStringLiteral("a")), cd(45, QStringLiteral("b")), cd(40, QStringLiteral("c"))},
        {song(QStringLiteral("a"), 403, QStringLiteral("x")),
         song(QStringLiteral("a"), 196, QStringLiteral("y"))});
    db().OpenDataContext();
    QCOMPARE(db().GetMaxCDID(), 45);
    QCOMPARE(db().GetMaxKyokuID(), 403);
    db().cds()->moveLast();
    QCOMPARE(db().cds()->value(QStringLiteral("CDID")).toInt(), 45);
    db().cds()->remove();
    QCOMPARE(db().GetMaxCDID(), 40); // the deleted largest number is handed out again
}

void TestDataContext::duplicateTitleCheck()
{
    writeCollection(
        m_folder->path(),
        {cd(1,
            QStringLiteral(
                "ドビュッシー：牧神の午後への前奏曲 (Prélude à l'après-midi d'un faune)"))},
        {});
    db().OpenDataContext();
    QVERIFY(db().CDNameExists(
        QStringLiteral("ドビュッシー：牧神の午後への前奏曲 (Prélude à l'après-midi d'un faune)")));
    QVERIFY(!db().CDNameExists(QStringLiteral("ドビュッシー")));
    // letter case is ignored beyond ASCII, as when songs are related to their CD
    QVERIFY(db().CDNameExists(
        QStringLiteral("ドビュッシー：牧神の午後への前奏曲 (PRÉLUDE À L'APRÈS-MIDI D'UN FAUNE)")));
    QVERIFY(!db().CDNameExists(QStringLiteral("x' OR '1'='1")));
    QVERIFY(!db().CDNameExists(QString()));
}

void TestDataContext::notADatabase()
{
    QFile f(db().databasePath());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(8192, '\x5a'));
    f.close();
    expectRefusal(m_folder->path(), QStringLiteral("データベースのファイルではありません"));
}

void TestDataContext::truncatedFile()
{
    writeCollection(m_folder->path(), {cd(1, QStringLiteral("a"))},
                    {song(QStringLiteral("a"), 1, QString(3000, u'x'))});
    QFile f(db().databasePath());
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.size() > 8192);
    f.resize(f.size() / 2 + 100);
    f.close();
    expectRefusal(m_folder->path(), QStringLiteral("壊れています"));
}

void TestDataContext::emptyFileIsNotFilledIn()
{
    QFile f(db().databasePath());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    expectRefusal(m_folder->path(), QStringLiteral("テーブル「cdname」がありません"));
    QCOMPARE(QFileInfo(db().databasePath()).size(), 0);
}

void TestDataContext::missingTableOrColumn()
{
    execute(db().databasePath(),
            {QStringLiteral(
                "CREATE TABLE cdname (CDID INTEGER, CD名 TEXT, 解説者 TEXT, 購入価格 INTEGER, "
                "購入年月日 TEXT, 発売元 TEXT, キャビネット TEXT, 段 TEXT)")});
    expectRefusal(m_folder->path(), QStringLiteral("テーブル「kyoku」がありません"));
    execute(db().databasePath(),
            {QStringLiteral("CREATE TABLE kyoku (CD名 TEXT, 曲ID INTEGER, 曲名 TEXT)")});
    expectRefusal(m_folder->path(),
                  QStringLiteral("テーブル「kyoku」に列「作曲者名」がありません"));
}

void TestDataContext::lockedByAnotherProgram()
{
    writeCollection(m_folder->path(), {cd(1, QStringLiteral("a"))}, {});
    QSqlDatabase other
        = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
    other.setDatabaseName(db().databasePath());
    QVERIFY(other.open());
    QSqlQuery q(other);
    QVERIFY(q.exec(QStringLiteral("BEGIN EXCLUSIVE")));
    QVERIFY(q.exec(QStringLiteral("UPDATE cdname SET 段 = '1'")));
    try {
        db().OpenDataContext();
        QFAIL("a locked file was accepted");
    } catch (const DbError& e) {
        QVERIFY2(e.description().contains(QStringLiteral("使用中")), qPrintable(e.description()));
    }
    QVERIFY(q.exec(QStringLiteral("ROLLBACK")));
    q.finish();
    other.close();
    other = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
    db().OpenDataContext(); // once the other program lets go, the file opens
    QCOMPARE(db().cds()->recordCount(), 1);
}

void TestDataContext::unreadablePath()
{
    QVERIFY(QDir(m_folder->path()).mkdir(QStringLiteral("cdkaisou.db")));
    try {
        db().OpenDataContext();
        QFAIL("a folder was accepted");
    } catch (const DbError& e) {
        QVERIFY(e.description().contains(db().databasePath()));
    }
    QVERIFY(QFileInfo(db().databasePath()).isDir());
}

void TestDataContext::closeAndReopen()
{
    writeCollection(m_folder->path(), {cd(1, QStringLiteral("a")), cd(2, QStringLiteral("b"))}, {});
    db().OpenDataContext();
    const ViewPtr first = db().cds();
    db().CloseDataContext();
    QVERIFY(!db().cds() && !db().isOpen() && !db().songsOfCD()
            && !db().valueList(Collection::ValueList::Sakkyoku));
    QVERIFY(!first->isOpen());
    db().OpenDataContext();
    QVERIFY(db().cds() != first); // every opening makes new views
    QCOMPARE(db().cds()->recordCount(), 2);
}

namespace {
// Every row of a view, every field, as text.
QStringList viewRows(View& v)
{
    QStringList out;
    for (int r = 0; r < v.recordCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < v.fieldCount(); ++c) {
            const QVariant x = v.valueAt(r, c);
            cells << (x.isNull() ? QStringLiteral("<null>") : plainText(x));
        }
        out << cells.join(u'|');
    }
    return out;
}
} // namespace

// Rows kept from before a reopening follow this program's own writes; they
// must be exactly what reading the file afresh gives, in the same order.
void TestDataContext::reopenedRowsMatchTheFileAfterOwnWrites()
{
    writeCollection(m_folder->path(),
                    {cd(3, "C"), cd(1, "A", {{"購入年月日", QDate(1998, 4, 1)}}), cd(2, "B")},
                    {song("A", 10, "x"), song("B", 5, "y"), song("A", 7, "z")});
    db().OpenDataContext();
    db().cds()->addNew();
    db().cds()->setValue("CDID", 0); // sorts first
    db().cds()->setValue("CD名", "新");
    db().cds()->setValue("購入年月日", QDate(2002, 1, 31));
    db().cds()->update();
    db().connection().transaction([] {
        db().songs()->moveFirst(); // 曲ID 5 becomes 20: it moves to the end
        db().songs()->setValue("曲ID", 20);
        db().songs()->setValue("作曲者名", "ダンディ (d'Indy)");
        db().songs()->update();
        db().songs()->moveLast(); // 曲ID 10 goes
        db().songs()->remove();
        // a statement of its own, which the rows read cannot follow
        db().connection().column("UPDATE cdname SET 段 = '9' WHERE CDID = 2");
    });
    try {
        db().connection().transaction([] {
            db().cds()->moveFirst();
            db().cds()->remove();
            throw DbError(DbError::ProviderError, "止める"); // rolled back: nothing changes
        });
    } catch (const DbError&) {
    }
    db().CloseDataContext();
    db().OpenDataContext();
    const QStringList cds = viewRows(*db().cds());
    const QStringList songs = viewRows(*db().songs());
    QCOMPARE(cds.size(), 4); // the rolled-back delete did not reach the file
    db().CloseDataContext();
    // the same file read by a program that never saw it before
    QFile::copy(db().databasePath(), db().databasePath() + ".copy");
    QFile::remove(db().databasePath());
    QFile::rename(db().databasePath() + ".copy", db().databasePath());
    db().OpenDataContext();
    QCOMPARE(viewRows(*db().cds()), cds);
    QCOMPARE(viewRows(*db().songs()), songs);
    QCOMPARE(songs.size(), 2);
    QVERIFY(songs.last().contains("|20|"));
    QVERIFY(cds.first().startsWith("0|新"));
    QVERIFY(cds.filter("|B|").first().endsWith("|9"));
}

// A file of that name that holds nothing (made by another program, or cut to
// nothing) is not this program's to fill: refused, and left as it is.
void TestDataContext::typedValuesByFieldType_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QVariant>("value"); // invalid: refused
    const QVariant refused;
    QTest::newRow("price") << "購入価格"
                           << "5000" << QVariant(qlonglong(5000));
    QTest::newRow("price with separators") << "購入価格"
                                           << "5,000" << QVariant(qlonglong(5000));
    QTest::newRow("price, millions") << "購入価格"
                                     << "12,345,678" << QVariant(qlonglong(12345678));
    QTest::newRow("price in full-width digits") << "購入価格"
                                                << "５，０００" << QVariant(qlonglong(5000));
    QTest::newRow("price, separator misplaced") << "購入価格"
                                                << "50,00" << refused;
    QTest::newRow("price, four after the separator") << "購入価格"
                                                     << "1,2345" << refused;
    QTest::newRow("price in words") << "購入価格"
                                    << "五千" << refused;
    QTest::newRow("price with decimals") << "購入価格"
                                         << "1234.5" << refused;
    QTest::newRow("CDID at its limit") << "CDID"
                                       << "2147483647" << QVariant(qlonglong(2147483647));
    QTest::newRow("CDID past its limit") << "CDID"
                                         << "2147483648" << refused;
    QTest::newRow("CDID past its negative limit") << "CDID"
                                                  << "-2147483648" << refused;
    QTest::newRow("blank is no value") << "購入価格"
                                       << "  " << QVariant(QMetaType(QMetaType::UnknownType));
    QTest::newRow("date yy/M/d") << "購入年月日"
                                 << "02/1/31" << QVariant(QDate(2002, 1, 31));
    QTest::newRow("date, 29 is 2029") << "購入年月日"
                                      << "29/12/31" << QVariant(QDate(2029, 12, 31));
    QTest::newRow("date, 30 is 1930") << "購入年月日"
                                      << "30/1/1" << QVariant(QDate(1930, 1, 1));
    QTest::newRow("date ISO") << "購入年月日"
                              << "2002-01-31" << QVariant(QDate(2002, 1, 31));
    QTest::newRow("date, no 13th month") << "購入年月日"
                                         << "2002/13/1" << refused;
    QTest::newRow("date, 30 February") << "購入年月日"
                                       << "02/2/30" << refused;
}

// What is typed into an entry box, read by the field's type.
void TestDataContext::typedValuesByFieldType()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QVariant, value);
    const QVector<FieldDef>& fields = Connection::cdnameFields();
    const auto def = std::find_if(fields.begin(), fields.end(),
                                  [&](const FieldDef& f) { return f.name == field; });
    QVERIFY(def != fields.end());
    const bool isBlank = QTest::currentDataTag() == QString("blank is no value");
    try {
        const QVariant got = valueFromText(*def, typed);
        QVERIFY2(value.isValid() || isBlank, qPrintable("accepted: " + got.toString()));
        if (isBlank)
            QVERIFY(got.isNull());
        else
            QCOMPARE(got, value);
        // 1930-2029 is shown as typed, with two digits
        if (typed.count(u'/') == 2 && typed.size() <= 8)
            QCOMPARE(entryText(got, def->type), typed);
    } catch (const DbError& e) {
        QVERIFY2(!value.isValid() && !isBlank, qPrintable(e.description()));
        QCOMPARE(e.number(), int(DbError::TypeMismatch));
        QVERIFY2(e.description().contains(field) && e.description().contains(typed),
                 qPrintable(e.description()));
    }
}

// Work that throws part-way stores nothing, and the next save stores only its own.
void TestDataContext::transactionThatThrowsLeavesNothing()
{
    db().OpenDataContext();
    const QVector<FieldDef>& fields = Connection::cdnameFields();
    auto row = [](int id, const QString& title) {
        return QVector<QVariant>{id, title, {}, {}, {}, {}, {}, {}};
    };
    QVERIFY_THROWS_EXCEPTION(DbError, db().connection().transaction([&] {
        db().connection().insertRow(QStringLiteral("cdname"), fields,
                                    row(1, QStringLiteral("途中のCD")));
        db().connection().insertRow(QStringLiteral("cdname"), fields,
                                    row(2, QStringLiteral("途中のCD2")));
        throw DbError(DbError::ProviderError, QStringLiteral("途中で失敗"));
    }));
    QVERIFY(!db().connection().inTransaction());
    db().connection().transaction([&] {
        db().connection().insertRow(QStringLiteral("cdname"), fields,
                                    row(3, QStringLiteral("次のCD")));
    });
    db().CloseDataContext();
    QCOMPARE(readColumn(m_folder->path(), QStringLiteral("cdname"), QStringLiteral("CD名")),
             QStringList{QStringLiteral("次のCD")});
}

// A new collection written while another program puts a file under the same
// name keeps its hands off that file: refused, the other file untouched.
void TestDataContext::newCollectionNeverTakesANameTakenMeanwhile()
{
    importer::Rows rows;
    for (int i = 1; i <= 50; ++i)
        rows.cds << QVector<QVariant>{i, QStringLiteral("CD%1").arg(i), {}, {}, {}, {}, {}, {}};
    const QByteArray theirs("another program's file");
    try {
        importer::writeCollection(db().databasePath(), rows, false, [&](int done, int) {
            if (done == 20) {
                QFile f(db().databasePath());
                if (f.open(QIODevice::WriteOnly))
                    f.write(theirs);
            }
            return true;
        });
        QFAIL("the name was taken meanwhile, and the collection was written over it");
    } catch (const DbError& e) {
        QVERIFY2(e.description().contains(QStringLiteral("同じ名前のファイルがすでにあります")),
                 qPrintable(e.description()));
    }
    QFile f(db().databasePath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), theirs);
    QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{"cdkaisou.db"});
}

RONDELLA_TEST_GUILESS_MAIN(TestDataContext)
#include "tst_datacontext.moc"
