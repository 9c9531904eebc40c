#include "store/dberror.h"
#include "store/modrecord.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QDate>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

using namespace modRecord;

namespace {

// Opening must fail with a description naming the file and the cause, leave
// no connection behind, and leave the file exactly as it was.
void expectRefusal(const QString& folder, const QString& cause)
{
    const QString path = databasePath();
    const QByteArray before = fileHash(path);
    try {
        OpenDataContext();
        QFAIL("the file was accepted");
    } catch (const DbError& e) {
        QVERIFY2(e.description().contains(path), qPrintable(e.description()));
        QVERIFY2(e.description().contains(cause), qPrintable(e.description()));
    }
    QVERIFY(!cn);
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
    strAppPath = m_folder->path();
}

void TestDataContext::cleanup()
{
    CloseDataContext();
    m_folder.reset();
}

void TestDataContext::missingFileIsCreatedEmpty()
{
    QVERIFY(!QFile::exists(databasePath()));
    OpenDataContext();
    QVERIFY(QFile::exists(databasePath()));
    const QVariantList cdColumns
        = cn->column(QStringLiteral("SELECT name FROM pragma_table_info('cdname')"));
    QStringList names;
    for (const QVariant& v : cdColumns)
        names << v.toString();
    QCOMPARE(names,
             (QStringList{"CDID", "CD名", "解説者", "購入価格", "購入年月日", "発売元",
                          "キャビネット", "段"}));
    const QVariantList kyokuColumns
        = cn->column(QStringLiteral("SELECT name FROM pragma_table_info('kyoku')"));
    QCOMPARE(kyokuColumns.size(), 15);
    QCOMPARE(kyokuColumns.at(1).toString(), QStringLiteral("曲ID"));
}

void TestDataContext::emptyCollection()
{
    OpenDataContext();
    QCOMPARE(rsCD->recordCount(), 0);
    QCOMPARE(rsKyoku->recordCount(), 0);
    QVERIFY(rsKyokuSub);
    QCOMPARE(rsKyokuSub->recordCount(), 0);
    QCOMPARE(rsSakkyoku->recordCount(), 0);
    QCOMPARE(GetMaxCDID(), 0);
    QCOMPARE(GetMaxKyokuID(), 0);
}

void TestDataContext::largestIdentifiers()
{
    writeCollection(
        m_folder->path(),
        {cd(1, QStringLiteral("a")), cd(45, QStringLiteral("b")), cd(40, QStringLiteral("c"))},
        {song(QStringLiteral("a"), 403, QStringLiteral("x")),
         song(QStringLiteral("a"), 196, QStringLiteral("y"))});
    OpenDataContext();
    QCOMPARE(GetMaxCDID(), 45);
    QCOMPARE(GetMaxKyokuID(), 403);
    rsCD->moveLast();
    QCOMPARE(rsCD->value(QStringLiteral("CDID")).toInt(), 45);
    rsCD->remove();
    QCOMPARE(GetMaxCDID(), 40); // the deleted largest number is handed out again
}

void TestDataContext::duplicateTitleCheck()
{
    writeCollection(
        m_folder->path(),
        {cd(1,
            QStringLiteral(
                "ドビュッシー：牧神の午後への前奏曲 (Prélude à l'après-midi d'un faune)"))},
        {});
    OpenDataContext();
    QVERIFY(CDNameExists(
        QStringLiteral("ドビュッシー：牧神の午後への前奏曲 (Prélude à l'après-midi d'un faune)")));
    QVERIFY(!CDNameExists(QStringLiteral("ドビュッシー")));
    // letter case is ignored beyond ASCII, as when songs are related to their CD
    QVERIFY(CDNameExists(
        QStringLiteral("ドビュッシー：牧神の午後への前奏曲 (PRÉLUDE À L'APRÈS-MIDI D'UN FAUNE)")));
    QVERIFY(!CDNameExists(QStringLiteral("x' OR '1'='1")));
    QVERIFY(!CDNameExists(QString()));
}

void TestDataContext::notADatabase()
{
    QFile f(databasePath());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(8192, '\x5a'));
    f.close();
    expectRefusal(m_folder->path(), QStringLiteral("データベースのファイルではありません"));
}

void TestDataContext::truncatedFile()
{
    writeCollection(m_folder->path(), {cd(1, QStringLiteral("a"))},
                    {song(QStringLiteral("a"), 1, QString(3000, u'x'))});
    QFile f(databasePath());
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.size() > 8192);
    f.resize(f.size() / 2 + 100);
    f.close();
    expectRefusal(m_folder->path(), QStringLiteral("壊れています"));
}

void TestDataContext::emptyFileIsNotFilledIn()
{
    QFile f(databasePath());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    expectRefusal(m_folder->path(), QStringLiteral("テーブル「cdname」がありません"));
    QCOMPARE(QFileInfo(databasePath()).size(), 0);
}

void TestDataContext::missingTableOrColumn()
{
    execute(databasePath(),
            {QStringLiteral(
                "CREATE TABLE cdname (CDID INTEGER, CD名 TEXT, 解説者 TEXT, 購入価格 INTEGER, "
                "購入年月日 TEXT, 発売元 TEXT, キャビネット TEXT, 段 TEXT)")});
    expectRefusal(m_folder->path(), QStringLiteral("テーブル「kyoku」がありません"));
    execute(databasePath(),
            {QStringLiteral("CREATE TABLE kyoku (CD名 TEXT, 曲ID INTEGER, 曲名 TEXT)")});
    expectRefusal(m_folder->path(),
                  QStringLiteral("テーブル「kyoku」に列「作曲者名」がありません"));
}

void TestDataContext::lockedByAnotherProgram()
{
    writeCollection(m_folder->path(), {cd(1, QStringLiteral("a"))}, {});
    QSqlDatabase other
        = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
    other.setDatabaseName(databasePath());
    QVERIFY(other.open());
    QSqlQuery q(other);
    QVERIFY(q.exec(QStringLiteral("BEGIN EXCLUSIVE")));
    QVERIFY(q.exec(QStringLiteral("UPDATE cdname SET 段 = '1'")));
    try {
        OpenDataContext();
        QFAIL("a locked file was accepted");
    } catch (const DbError& e) {
        QVERIFY2(e.description().contains(QStringLiteral("使用中")), qPrintable(e.description()));
    }
    QVERIFY(q.exec(QStringLiteral("ROLLBACK")));
    q.finish();
    other.close();
    other = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
    OpenDataContext(); // once the other program lets go, the file opens
    QCOMPARE(rsCD->recordCount(), 1);
}

void TestDataContext::unreadablePath()
{
    QVERIFY(QDir(m_folder->path()).mkdir(QStringLiteral("cdkaisou.db")));
    try {
        OpenDataContext();
        QFAIL("a folder was accepted");
    } catch (const DbError& e) {
        QVERIFY(e.description().contains(databasePath()));
    }
    QVERIFY(QFileInfo(databasePath()).isDir());
}

void TestDataContext::closeAndReopen()
{
    writeCollection(m_folder->path(), {cd(1, QStringLiteral("a")), cd(2, QStringLiteral("b"))}, {});
    OpenDataContext();
    const ViewPtr first = rsCD;
    CloseDataContext();
    QVERIFY(!rsCD && !cn && !rsKyokuSub && !rsSakkyoku);
    QVERIFY(!first->isOpen());
    OpenDataContext();
    QVERIFY(rsCD != first); // every opening makes new views
    QCOMPARE(rsCD->recordCount(), 2);
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
            cells << (x.isNull() ? QStringLiteral("<null>") : valueText(x, v.field(c).type));
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
    OpenDataContext();
    rsCD->addNew();
    rsCD->setValue("CDID", 0); // sorts first
    rsCD->setValue("CD名", "新");
    rsCD->setValue("購入年月日", QDate(2002, 1, 31));
    rsCD->update();
    cn->transaction([] {
        rsKyoku->moveFirst(); // 曲ID 5 becomes 20: it moves to the end
        rsKyoku->setValue("曲ID", 20);
        rsKyoku->setValue("作曲者名", "ダンディ (d'Indy)");
        rsKyoku->update();
        rsKyoku->moveLast(); // 曲ID 10 goes
        rsKyoku->remove();
        // a statement of its own, which the rows read cannot follow
        cn->column("UPDATE cdname SET 段 = '9' WHERE CDID = 2");
    });
    try {
        cn->transaction([] {
            rsCD->moveFirst();
            rsCD->remove();
            throw DbError(DbError::ProviderError, "止める"); // rolled back: nothing changes
        });
    } catch (const DbError&) {
    }
    CloseDataContext();
    OpenDataContext();
    const QStringList cds = viewRows(*rsCD);
    const QStringList songs = viewRows(*rsKyoku);
    QCOMPARE(cds.size(), 4); // the rolled-back delete did not reach the file
    CloseDataContext();
    // the same file read by a program that never saw it before
    QFile::copy(databasePath(), databasePath() + ".copy");
    QFile::remove(databasePath());
    QFile::rename(databasePath() + ".copy", databasePath());
    OpenDataContext();
    QCOMPARE(viewRows(*rsCD), cds);
    QCOMPARE(viewRows(*rsKyoku), songs);
    QCOMPARE(songs.size(), 2);
    QVERIFY(songs.last().contains("|20|"));
    QVERIFY(cds.first().startsWith("0|新"));
    QVERIFY(cds.filter("|B|").first().endsWith("|9"));
}

RONDELLA_TEST_GUILESS_MAIN(TestDataContext)
#include "tst_datacontext.moc"
