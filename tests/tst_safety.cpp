#include "entry/frminputcd.h"
#include "mainui.h"
#include "mainwindow/frmmain.h"
#include "mainwindow/startup.h"
#include "store/backup.h"
#include "store/collection.h"
#include "store/connection.h"
#include "store/criteria.h"
#include "store/dberror.h"
#include "testsupport.h"
#include "widgets/msgbox.h"

#include <QAction>
#include <QApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QLockFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSysInfo>
#include <QTableView>
#include <QTest>

#include <csignal>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Runs a query on its own connection to a file and returns the first column.
QStringList query(const QString& file, const QString& sql)
{
    QStringList out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "probe");
        db.setDatabaseName(file);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(sql))
                while (q.next())
                    out << q.value(0).toString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase("probe");
    return out;
}

void addCD(frmMain* w, const QString& title)
{
    frmInputCD form(w->db, w);
    form.cmdAdd->click();
    form.txtInput(1)->setText(title);
    form.cmdUpdate->click();
}

} // namespace

class TestSafety : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void creationRaceLosesNothing();
    void otherTablesWithALogStayUntouched();
    void interruptedSaveIsRecovered();
    void longDamageReportIsCutShort();
    void oneProgramPerCollection();
    void staleLockIsTakenOver();
    void resetRetriesAfterARefusedStart();
    void replacedOrRemovedFileIsNoticed();
    void backupBeforeTheFirstWrite();
    void backupThatCannotBeMadeStopsTheWriteOnce();
    void restoreFromABackup();
    void damagedFileOffersTheNewestBackup();
    void fullDiskAndReadOnlyRefuseTheSave();
    void oddDataIsShownAndKept();
    void killedWhileWritingLosesNoAcknowledgedSave();
    void restoreKeepsTheFileItReplaces();
    void damagedBackupIsMarkedAndRefused_data();
    void damagedBackupIsMarkedAndRefused();
    void startWithoutEventLoopLeavesNothingBehind();
    void lockNobodyHoldsIsTakenOver_data();
    void lockNobodyHoldsIsTakenOver();
    void liveHolderAndLockFolderAreNamed();
    void lockOfAnotherUser_data();
    void lockOfAnotherUser();
    void leftoversOfEndedRunsAreRemoved();
    void pruningKeepsOnlyItsOwnCopies();
    void largestIdentifiersPast32Bits();

private:
    void start();
    std::unique_ptr<StartupFolder> m_folder;
    QPointer<frmMain> m_w;
};

void TestSafety::init()
{
    m_folder = std::make_unique<StartupFolder>();
}

void TestSafety::start()
{
    m_w = startMain();
    QVERIFY(m_w);
}

void TestSafety::cleanup()
{
    endTest(m_w, m_folder);
}

// Two programs creating the collection in one empty folder at the same
// moment, and a collection copied in while they do: one file, never removed.
void TestSafety::creationRaceLosesNothing()
{
    for (int trial = 0; trial < 10; ++trial) {
        StartupFolder folder;
        QProcess a, b;
        a.start(STOREPROBE, {"open", folder.path()});
        b.start(STOREPROBE, {"open", folder.path()});
        QVERIFY(a.waitForFinished(10000) && b.waitForFinished(10000));
        QCOMPARE(a.readAllStandardOutput().trimmed(), QByteArray("ok"));
        QCOMPARE(b.readAllStandardOutput().trimmed(), QByteArray("ok"));
        QCOMPARE(query(folder.file("cdkaisou.db"), "SELECT count(*) FROM cdname"),
                 QStringList{"0"});
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"cdkaisou.db"});
    }
    // a collection that arrives while another program is creating one is kept
    StartupFolder folder;
    writeCollection(m_folder->path(), {cd(1, "先に来たCD")}, {});
    QProcess a;
    a.start(STOREPROBE, {"open", folder.path()});
    QFile::copy(m_folder->file("cdkaisou.db"), folder.file("cdkaisou.db.copying"));
    QFile::rename(folder.file("cdkaisou.db.copying"), folder.file("cdkaisou.db"));
    QVERIFY(a.waitForFinished(10000));
    QVERIFY(QFile::exists(folder.file("cdkaisou.db")));
    // either the copy won the name, or it was refused the name: nothing deleted it
    const QStringList titles = query(folder.file("cdkaisou.db"), "SELECT CD名 FROM cdname");
    QVERIFY(titles == QStringList{"先に来たCD"} || titles.isEmpty());
}

// A file that is not a collection, with a write-ahead log beside it, is
// refused as it is: neither it nor its log is written or removed.
void TestSafety::otherTablesWithALogStayUntouched()
{
    const QString source = m_folder->file("source.db");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "wal");
        db.setDatabaseName(source);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec("PRAGMA journal_mode=WAL"));
        QVERIFY(q.exec("PRAGMA wal_autocheckpoint=0"));
        QVERIFY(q.exec("CREATE TABLE notes (t TEXT)"));
        for (int i = 0; i < 200; ++i)
            QVERIFY(q.exec(QString("INSERT INTO notes VALUES ('%1')").arg(QString(100, u'x'))));
        // copied while the log holds the rows: a file and its log, as a crash leaves them
        QVERIFY(QFile::copy(source, ::db().databasePath()));
        QVERIFY(QFile::copy(source + "-wal", ::db().databasePath() + "-wal"));
        db.close();
    }
    QSqlDatabase::removeDatabase("wal");
    const QByteArray file = fileHash(db().databasePath());
    const QByteArray log = fileHash(db().databasePath() + "-wal");
    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { warnings << text; });
    try {
        db().OpenDataContext();
        qInstallMessageHandler(previous);
        QFAIL("accepted");
    } catch (const DbError& e) {
        qInstallMessageHandler(previous);
        QVERIFY2(e.description().contains("cdname"), qPrintable(e.description()));
    }
    QCOMPARE(warnings, QStringList()); // a refusal leaves no connection behind to warn of
    QCOMPARE(fileHash(db().databasePath()), file);
    QCOMPARE(fileHash(db().databasePath() + "-wal"), log);
}

// A save cut short leaves a journal beside the collection: the collection
// still opens, with the save undone and every earlier row there.
void TestSafety::interruptedSaveIsRecovered()
{
    writeCollection(m_folder->path(), {cd(1, "残るCD")}, {song("残るCD", 1, "残る曲")});
    const QString source = m_folder->file("cdkaisou.db");
    StartupFolder other;
    QVERIFY(QFile::copy(source, other.file("cdkaisou.db")));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "writer");
        db.setDatabaseName(other.file("cdkaisou.db"));
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec("PRAGMA cache_size=1")); // pages reach the file before the commit
        QVERIFY(q.exec("BEGIN"));
        for (int i = 0; i < 300; ++i)
            QVERIFY(q.exec(QString("INSERT INTO kyoku (CD名, 曲名) VALUES ('消えるCD', '%1')")
                               .arg(QString(200, u'y'))));
        QVERIFY(q.exec("DELETE FROM cdname"));
        // the state a crash at this moment leaves: the file and its hot journal
        QVERIFY(QFile::remove(source));
        QVERIFY(QFile::copy(other.file("cdkaisou.db"), source));
        QVERIFY(QFile::copy(other.file("cdkaisou.db-journal"), source + "-journal"));
        QVERIFY(q.exec("ROLLBACK"));
        db.close();
    }
    QSqlDatabase::removeDatabase("writer");
    db().OpenDataContext();
    QCOMPARE(db().cds()->recordCount(), 1);
    QCOMPARE(db().songs()->recordCount(), 1);
    QCOMPARE(query(source, "PRAGMA integrity_check"), QStringList{"ok"});
}

void TestSafety::longDamageReportIsCutShort()
{
    QVector<QVariantMap> songs;
    for (int i = 0; i < 3000; ++i)
        songs << song("CD", i, QString("曲%1 ").arg(i) + QString(60, u'z'));
    writeCollection(m_folder->path(), {cd(1, "CD")}, songs);
    {
        QFile f(db().databasePath());
        QVERIFY(f.open(QIODevice::ReadWrite));
        const qint64 size = f.size();
        QRandomGenerator rng(7);
        // scribble inside many pages, leaving the first page whole
        for (qint64 at = 8192; at < size - 64; at += 4096 * 3) {
            f.seek(at + 100);
            QByteArray junk(64, '\0');
            for (char& c : junk)
                c = char(rng.bounded(256));
            f.write(junk);
        }
    }
    try {
        db().OpenDataContext();
        QFAIL("accepted");
    } catch (const DbError& e) {
        QCOMPARE(e.number(), int(DbError::Damaged));
        QVERIFY2(e.description().count(u'\n') <= 3, qPrintable(e.description()));
        QVERIFY2(e.description().size() < 1200, qPrintable(e.description()));
    }
    QVERIFY(!db().isOpen()); // nothing is left open on the refused file
}

void TestSafety::oneProgramPerCollection()
{
    writeCollection(m_folder->path(), {cd(1, "CD")}, {});
    start();
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    QVERIFY(!Main());
    const QList<MsgBoxRecord> said = MsgBoxTakeAnswered();
    QCOMPARE(said.size(), 1);
    QVERIFY2(said[0].text.contains("別の Rondella"), qPrintable(said[0].text));
    QCOMPARE(db().cds()->recordCount(), 1); // the first is not disturbed
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("1 / 1"));
    closeMain(m_w);
    start(); // the first has ended: the next opens
    QCOMPARE(db().cds()->recordCount(), 1);
}

void TestSafety::staleLockIsTakenOver()
{
    QProcess gone;
    gone.start("true");
    QVERIFY(gone.waitForFinished());
    const qint64 deadPid = gone.processId() ? gone.processId() : 999999;
    QFile lock(m_folder->file("cdkaisou.db.lock"));
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write(QByteArray::number(deadPid) + '\n' + QCoreApplication::applicationName().toUtf8()
               + '\n' + QSysInfo::machineHostName().toUtf8() + '\n');
    lock.close();
    start();
    QVERIFY(m_w->isVisible());
    QCOMPARE(MsgBoxTakeAnswered().size(), 0);
}

// Refused because another program held the file; once it lets go, リセット
// opens the collection; closing the window asks nothing more.
void TestSafety::resetRetriesAfterARefusedStart()
{
    writeCollection(m_folder->path(), {cd(1, "CD"), cd(2, "CD2")}, {});
    QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "holder");
    other.setDatabaseName(db().databasePath());
    QVERIFY(other.open());
    QSqlQuery hold(other);
    QVERIFY(hold.exec("BEGIN EXCLUSIVE"));
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    start();
    QVERIFY(answeredTexts().value(0).contains("使用中"));
    QVERIFY(!db().isOpen());
    QVERIFY(hold.exec("ROLLBACK"));
    hold = QSqlQuery();
    other.close();
    other = QSqlDatabase();
    QSqlDatabase::removeDatabase("holder");
    m_w->findChild<QAction*>("mnuReset")->trigger();
    QVERIFY(db().isOpen());
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("2 / 2"));
    closeMain(m_w);
    QCOMPARE(MsgBoxTakeAnswered().size(), 0);
}

void TestSafety::replacedOrRemovedFileIsNoticed()
{
    writeCollection(m_folder->path(), {cd(1, "古いCD")}, {});
    start();
    StartupFolder other;
    writeCollection(other.path(), {cd(1, "新しいCD"), cd(2, "もう一枚")}, {});
    QVERIFY(QFile::rename(other.file("cdkaisou.db"), db().databasePath() + ".new"));
    QVERIFY(std::rename(QFile::encodeName(db().databasePath() + ".new").constData(),
                        QFile::encodeName(db().databasePath()).constData())
            == 0);
    m_w->findChild<QAction*>("mnuReset")->trigger();
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("2 / 2"));
    QVERIFY(QFile::remove(db().databasePath()));
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    m_w->findChild<QAction*>("mnuReset")->trigger();
    QVERIFY(answeredTexts().value(0).contains("見つかりません"));
    QCOMPARE(DataGrid2(m_w)->table()->model()->rowCount(), 0);
    QVERIFY(!QFile::exists(db().databasePath())); // nothing was made in its place
}

void TestSafety::backupBeforeTheFirstWrite()
{
    writeCollection(m_folder->path(), {cd(1, "最初のCD")}, {});
    // twelve older copies: only the newest ten are kept
    QDir().mkpath(m_folder->file("backup"));
    for (int i = 0; i < 12; ++i)
        QFile::copy(
            db().databasePath(),
            m_folder->file(
                QString("backup/cdkaisou-200001%1-120000.db").arg(i + 10, 2, 10, QChar('0'))));
    start();
    QCOMPARE(QDir(m_folder->file("backup")).count() - 2, 12u); // no write yet, no copy
    addCD(m_w, "二枚目");
    addCD(m_w, "三枚目");
    const QList<backup::Copy> copies = backup::list(db().databasePath());
    QCOMPARE(copies.size(), 10);
    QVERIFY(copies.first().made.date().year() > 2000);
    QCOMPARE(copies.first().cds, 1); // the collection as it was before the first write
    QVERIFY(!QFile::exists(m_folder->file("backup/cdkaisou-20000110-120000.db")));
    QVERIFY(QFile::exists(m_folder->file("backup/cdkaisou-20000121-120000.db")));
    QCOMPARE(query(copies.first().path, "PRAGMA integrity_check"), QStringList{"ok"});
}

void TestSafety::backupThatCannotBeMadeStopsTheWriteOnce()
{
    writeCollection(m_folder->path(), {cd(1, "最初のCD")}, {});
    QFile blocker(m_folder->file("backup")); // a file where the folder should be
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    start();
    frmInputCD form(m_w->db, m_w);
    form.cmdAdd->click();
    form.txtInput(1)->setText("保存したいCD");
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    form.cmdUpdate->click();
    QVERIFY(answeredTexts().value(0).contains("バックアップを作成できません"));
    QCOMPARE(query(db().databasePath(), "SELECT count(*) FROM cdname"), QStringList{"1"});
    QVERIFY(form.inAddMode());
    QCOMPARE(form.txtInput(1)->text(), QString("保存したいCD"));
    form.cmdUpdate->click(); // the user has seen it: the save goes ahead
    QCOMPARE(MsgBoxTakeAnswered().size(), 0);
    QCOMPARE(query(db().databasePath(), "SELECT count(*) FROM cdname"), QStringList{"2"});
}

void TestSafety::restoreFromABackup()
{
    writeCollection(m_folder->path(), {cd(1, "最初のCD")}, {});
    start();
    addCD(m_w, "後から足したCD"); // backs up the one-CD collection first
    m_w->reset();
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("2 / 2"));
    QString offered;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        offered = dialog->comboBoxItems().value(0);
        dialog->setTextValue(dialog->comboBoxItems().value(0));
        dialog->accept();
    });
    MsgBoxSetNextAnswers({QMessageBox::Yes, QMessageBox::Ok});
    m_w->findChild<QAction*>("mnuRestore")->trigger();
    QVERIFY2(offered.contains("CD 1枚"), qPrintable(offered));
    const QList<MsgBoxRecord> said = MsgBoxTakeAnswered();
    QCOMPARE(said.size(), 2);
    QVERIFY2(said[1].text.contains("復元しました（CD 1枚・曲 0曲）")
                 && said[1].text.contains(".replaced-"),
             qPrintable(said[1].text));
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("1 / 1"));
    QCOMPARE(query(db().databasePath(), "SELECT CD名 FROM cdname"), QStringList{"最初のCD"});
    // the collection as it was before the restore is kept as the newest copy
    QCOMPARE(backup::list(db().databasePath()).first().cds, 2);
}

void TestSafety::damagedFileOffersTheNewestBackup()
{
    writeCollection(m_folder->path(), {cd(1, "守りたいCD")}, {});
    {
        Connection c(db().databasePath());
        c.backupNow();
    }
    QByteArray damaged;
    {
        QFile f(db().databasePath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        damaged = f.readAll();
    }
    damaged.truncate(damaged.size() / 2 + 100); // pages missing at the end
    damaged.append(QByteArray(3000, 'x'));
    {
        QFile f(db().databasePath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(damaged);
    }
    MsgBoxSetNextAnswers({QMessageBox::Yes, QMessageBox::Ok});
    start();
    const QList<MsgBoxRecord> said = MsgBoxTakeAnswered();
    QCOMPARE(said.size(), 2);
    QVERIFY2(said[0].text.contains("復元しますか"), qPrintable(said[0].text));
    QCOMPARE(txtrs(m_w, 1)->text(), QString("守りたいCD"));
    const QStringList aside = QDir(m_folder->path()).entryList({"cdkaisou.db.damaged-*"});
    QCOMPARE(aside.size(), 1);
    QFile kept(m_folder->file(aside.first()));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), damaged); // the damaged file is kept as it was
}

void TestSafety::fullDiskAndReadOnlyRefuseTheSave()
{
    writeCollection(m_folder->path(), {cd(1, "CD")}, {});
    start();
    addCD(m_w, "二枚目"); // the backup is made; what follows is about the save alone
    frmInputCD form(m_w->db, m_w);
    const QStringList pages = db().connection().column("PRAGMA page_count").isEmpty()
        ? QStringList()
        : QStringList{db().connection().column("PRAGMA page_count").first().toString()};
    db().connection().column("PRAGMA max_page_count = " + pages.value(0));
    form.cmdAdd->click();
    form.txtInput(1)->setText("大きなCD");
    form.txtInput(5)->setText(QString(30000, u'解'));
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    form.cmdUpdate->click();
    QVERIFY(answeredTexts().value(0).contains("ディスクがいっぱい"));
    QVERIFY(form.inAddMode());
    QCOMPARE(form.txtInput(5)->text().size(), 30000);
    QCOMPARE(query(db().databasePath(), "PRAGMA integrity_check"), QStringList{"ok"});
    QCOMPARE(query(db().databasePath(), "SELECT count(*) FROM cdname"), QStringList{"2"});
    db().connection().column("PRAGMA max_page_count = 1073741823");
    db().connection().column("PRAGMA query_only = 1"); // as a read-only file or folder answers
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    form.cmdUpdate->click();
    QVERIFY(answeredTexts().value(0).contains("読み取り専用"));
    db().connection().column("PRAGMA query_only = 0");
    form.cmdUpdate->click();
    QCOMPARE(query(db().databasePath(), "SELECT count(*) FROM cdname"), QStringList{"3"});
}

// What another program may have left in the file: shown, searched, sorted
// and kept as it is when another row is corrected.
void TestSafety::oddDataIsShownAndKept()
{
    writeCollection(m_folder->path(), {cd(1, "普通のCD"), cd(2, "奇妙なCD")},
                    {song("普通のCD", 1, "普通の曲")});
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "odd");
        db.setDatabaseName(::db().databasePath());
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(
            q.exec("UPDATE cdname SET 購入価格 = '五千円', 購入年月日 = 'いつか' WHERE CDID = 2"));
        QVERIFY(q.exec("INSERT INTO cdname DEFAULT VALUES"));
        q.prepare("INSERT INTO kyoku (CD名, 曲ID, 曲名, 作曲者名) VALUES ('奇妙なCD', 2, ?, ?)");
        q.addBindValue(QString(QString("𠮷野の春\tタブ\x01制御") + QChar(0) + QString("NUL後")));
        q.addBindValue(QString(100000, u'長'));
        QVERIFY(q.exec());
        db.close();
    }
    QSqlDatabase::removeDatabase("odd");
    auto snapshot = [&] {
        return query(db().databasePath(),
                     "SELECT quote(購入価格) || quote(購入年月日) || quote(CDID) FROM cdname")
            + query(db().databasePath(), "SELECT hex(曲名) || length(作曲者名) FROM kyoku");
    };
    const QStringList before = snapshot();
    start();
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("3 / 3"));
    cmdLast(m_w)->click();
    QCOMPARE(txtrs(m_w, 4)->text(), QString("五千円"));
    QCOMPARE(txtrs(m_w, 3)->text(), QString("いつか"));
    cmdTop(m_w)->click(); // a row of nothing but NULL: it sorts first
    m_w->findChild<QAction*>("mnuCDs")->trigger();
    m_w->findChild<QAction*>("mnuReset")->trigger();
    db().songs()->setFilter(Criteria().like("曲名", "*𠮷野*"));
    QCOMPARE(db().songs()->recordCount(), 1);
    QCOMPARE(db().songs()->value("曲名").toString().size(),
             QString("𠮷野の春\tタブ\x01制御").size() + 5); // NUL kept
    db().songs()->setFilter(Criteria());
    {
        frmInputCD form(m_w->db, m_w);
        form.cmdFirst->click(); // the row of NULLs, then the ordinary CD
        form.cmdNext->click();
        form.txtInput(2)->setText("訂正した発売元");
        MsgBoxSetNextAnswers({QMessageBox::Ok});
        form.cmdTeisei->click();
        QCOMPARE(answeredTexts(), QStringList{"訂正されました"});
        form.cmdLast->click(); // the odd CD: shown, not rewritten by moving to it
        QCOMPARE(form.txtInput(4)->text(), QString("五千円"));
        form.cmdFirst->click();
    }
    QCOMPARE(snapshot(), before);
}

// A program killed at any moment while it writes: the file is whole, every
// save it acknowledged is there, and no save is there in part.
void TestSafety::killedWhileWritingLosesNoAcknowledgedSave()
{
    QRandomGenerator rng(2026);
    for (int trial = 0; trial < 200; ++trial) {
        StartupFolder folder;
        QProcess writer;
        writer.start(STOREPROBE, {"write", folder.path()});
        QVERIFY(writer.waitForStarted());
        QTest::qWait(int(rng.bounded(5, 120)));
        ::kill(pid_t(writer.processId()), SIGKILL);
        QVERIFY(writer.waitForFinished());
        QSet<int> added, deleted;
        for (const QByteArray& line : writer.readAllStandardOutput().split('\n')) {
            if (line.startsWith("added "))
                added << line.mid(6).toInt();
            else if (line.startsWith("deleted "))
                deleted << line.mid(8).toInt();
        }
        const QString file = folder.file("cdkaisou.db");
        if (!QFile::exists(file))
            continue; // killed before the collection existed
        // the next start of the program opens it; here, a plain connection does
        QCOMPARE(query(file, "PRAGMA integrity_check"), QStringList{"ok"});
        QSet<int> cds;
        for (const QString& id : query(file, "SELECT CDID FROM cdname"))
            cds << id.toInt();
        // a CD is deleted three rounds after it was added, in rounds of five;
        // that delete may have been committed without being acknowledged
        for (int id : added) {
            const bool mayBeDeleted = (id + 3) % 5 == 0 && added.contains(id + 3);
            QVERIFY2(cds.contains(id) || deleted.contains(id) || mayBeDeleted,
                     qPrintable(QString::number(id)));
        }
        for (int id : deleted)
            QVERIFY(!cds.contains(id));
        // every CD has its three songs; no song is left without its CD
        for (const QString& row : query(
                 file, "SELECT (SELECT count(*) FROM kyoku k WHERE k.CD名 = c.CD名) FROM cdname c"))
            QCOMPARE(row, QString("3"));
        QCOMPARE(
            query(file, "SELECT count(*) FROM kyoku WHERE CD名 NOT IN (SELECT CD名 FROM cdname)"),
            QStringList{"0"});
    }
}

namespace {

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Picks the first item of the restore list, noting what it showed.
void pickFirstBackup(QString* shown)
{
    QTimer::singleShot(0, [shown] {
        auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        *shown = dialog->comboBoxItems().value(0);
        dialog->setTextValue(dialog->comboBoxItems().value(0));
        dialog->accept();
    });
}

qint64 endedProcessId()
{
    QProcess gone;
    gone.start("true");
    gone.waitForFinished();
    return gone.processId() ? gone.processId() : 999999;
}

} // namespace

// A restore over a collection that did not open (a column missing): the file
// it replaces stays beside it, byte for byte.
void TestSafety::restoreKeepsTheFileItReplaces()
{
    writeCollection(m_folder->path(), {cd(1, "バックアップのCD")}, {});
    {
        Connection c(db().databasePath());
        c.backupNow();
    }
    QVERIFY(QFile::remove(db().databasePath()));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "broken");
        db.setDatabaseName(::db().databasePath());
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec("CREATE TABLE cdname (CDID INTEGER, CD名 TEXT)")); // columns missing
        QVERIFY(q.exec("CREATE TABLE kyoku (CD名 TEXT, 曲ID INTEGER, 曲名 TEXT)"));
        QVERIFY(q.exec("INSERT INTO cdname VALUES (7, '手で直したCD')"));
        db.close();
    }
    QSqlDatabase::removeDatabase("broken");
    const QByteArray mine = bytesOf(db().databasePath());
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    start();
    QVERIFY(!db().isOpen()); // refused: it lacks columns
    answeredTexts();
    QString shown;
    pickFirstBackup(&shown);
    QFile journal(db().databasePath() + "-journal"); // part of the file replaced: it goes along
    QVERIFY(journal.open(QIODevice::WriteOnly) && journal.write("x") == 1);
    journal.close();
    MsgBoxSetNextAnswers({QMessageBox::Yes, QMessageBox::Ok});
    m_w->findChild<QAction*>("mnuRestore")->trigger();
    const QStringList said = answeredTexts();
    QCOMPARE(said.size(), 2);
    QVERIFY2(said[1].contains("復元しました（CD 1枚・曲 0曲）"), qPrintable(said[1]));
    const QStringList journals = QDir(m_folder->path()).entryList({"*.replaced-*-journal"});
    QCOMPARE(journals.size(), 1); // the journal went along with the file it is part of
    QVERIFY(QFile::remove(m_folder->file(journals.first())));
    QCOMPARE(txtrs(m_w, 1)->text(), QString("バックアップのCD"));
    const QStringList kept = QDir(m_folder->path()).entryList({"cdkaisou.db.replaced-*"});
    QCOMPARE(kept.size(), 1);
    QVERIFY2(said[1].contains(kept.first()), qPrintable(said[1]));
    QCOMPARE(bytesOf(m_folder->file(kept.first())), mine);
    QCOMPARE(QDir(m_folder->path()).entryList({"*.restore-*"}), QStringList());
}

void TestSafety::damagedBackupIsMarkedAndRefused_data()
{
    QTest::addColumn<bool>("cutShort");
    QTest::newRow("cut short") << true;
    // a page whose cells overlap: plain counts still answer, only SQLite's check finds it
    QTest::newRow("one garbled page") << false;
}

// A damaged copy is marked in the list, not counted, and never installed.
void TestSafety::damagedBackupIsMarkedAndRefused()
{
    QFETCH(bool, cutShort);
    QVector<QVariantMap> cds{cd(1, "いまのCD")};
    for (int i = 2; i <= 300; ++i)
        cds << cd(i, QString("長い題名").repeated(20) + QString::number(i));
    writeCollection(m_folder->path(), cds, {});
    QString copy;
    {
        Connection c(db().databasePath());
        copy = c.backupNow();
    }
    QByteArray damaged = bytesOf(copy);
    QVERIFY(damaged.size() > 4096);
    if (cutShort) {
        damaged.truncate(damaged.size() / 2 + 100);
        damaged.append(QByteArray(3000, 'x'));
    } else {
        const int pageSize = (uchar(damaged[16]) << 8) | uchar(damaged[17]);
        bool garbled = false;
        for (qsizetype at = pageSize; at + pageSize <= damaged.size() && !garbled; at += pageSize) {
            const int cells = (uchar(damaged[at + 3]) << 8) | uchar(damaged[at + 4]);
            if (damaged[at] == 0x0d
                && cells >= 2) { // a table's leaf: its second cell made the first
                damaged[at + 10] = damaged[at + 8];
                damaged[at + 11] = damaged[at + 9];
                garbled = true;
            }
        }
        QVERIFY(garbled);
    }
    {
        QFile f(copy);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(damaged);
    }
    const QList<backup::Copy> copies = backup::list(db().databasePath());
    QCOMPARE(copies.size(), 1);
    QVERIFY(!copies.first().damage.isEmpty());
    QCOMPARE(copies.first().cds, -1);
    const QByteArray before = bytesOf(db().databasePath());
    QVERIFY_THROWS_EXCEPTION(DbError, backup::restore(copy, db().databasePath()));
    QCOMPARE(bytesOf(db().databasePath()), before);
    QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{"cdkaisou.db"});
    // in the window: the item says so, and choosing it changes nothing
    start();
    QString shown;
    pickFirstBackup(&shown);
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    m_w->findChild<QAction*>("mnuRestore")->trigger();
    QVERIFY2(shown.contains("復元できません") && !shown.contains("CD "), qPrintable(shown));
    QVERIFY(answeredTexts().value(0).contains("復元できません"));
    QCOMPARE(txtrs(m_w, 1)->text(), QString("いまのCD"));
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("300 / 300"));
    QCOMPARE(QDir(m_folder->path()).entryList({"cdkaisou.db.replaced-*"}), QStringList());
}

// A process that starts the program and ends without running the event loop
// (a test, a script) leaves no lock and no open file behind: the next start
// opens the collection without a word.
void TestSafety::startWithoutEventLoopLeavesNothingBehind()
{
    writeCollection(m_folder->path(), {cd(1, "CD"), cd(2, "もう一枚")}, {});
    QProcess once;
    once.setWorkingDirectory(m_folder->path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    once.setProcessEnvironment(env);
    once.start(STARTONCE, {});
    QVERIFY(once.waitForFinished(30000));
    QCOMPARE(once.exitStatus(), QProcess::NormalExit);
    QCOMPARE(once.exitCode(), 0);
    QCOMPARE(QDir(m_folder->path()).entryList({"cdkaisou.db*"}, QDir::AllEntries | QDir::Hidden),
             QStringList{"cdkaisou.db"});
    start();
    QCOMPARE(MsgBoxTakeAnswered().size(), 0);
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("2 / 2"));
}

void TestSafety::lockNobodyHoldsIsTakenOver_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("empty, as a power cut leaves it") << QByteArray();
    QTest::newRow("garbage") << QByteArray("\x01\xff\xfe garbage\n\n\n\n");
    QTest::newRow("a process that has ended") << QByteArray::number(endedProcessId()) + '\n'
            + QCoreApplication::applicationName().toUtf8() + '\n'
            + QSysInfo::machineHostName().toUtf8() + '\n';
}

// A lock file nobody holds never locks the user out, whatever it says.
void TestSafety::lockNobodyHoldsIsTakenOver()
{
    QFETCH(QByteArray, content);
    writeCollection(m_folder->path(), {cd(1, "CD")}, {});
    QFile lock(m_folder->file("cdkaisou.db.lock"));
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write(content);
    lock.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                     QFileDevice::FileModificationTime);
    lock.close();
    start();
    QCOMPARE(MsgBoxTakeAnswered().size(), 0);
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("1 / 1"));
    // and the lock is now this program's: a second start is refused
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    QVERIFY(!Main());
    QVERIFY(answeredTexts().value(0).contains("別の Rondella"));
}

// A live holder is named with its folder, machine and process; a folder in
// the lock's place is refused by name.
void TestSafety::liveHolderAndLockFolderAreNamed()
{
    writeCollection(m_folder->path(), {cd(1, "CD")}, {});
    {
        QLockFile holder(m_folder->file("cdkaisou.db.lock"));
        QVERIFY(holder.tryLock(0));
        MsgBoxSetNextAnswers({QMessageBox::Ok});
        QVERIFY(!Main());
        const QString said = answeredTexts().value(0);
        QVERIFY2(said.contains("別の Rondella") && said.contains(m_folder->path())
                     && said.contains(QString::number(QCoreApplication::applicationPid()))
                     && said.contains(QSysInfo::machineHostName()),
                 qPrintable(said));
    }
    QVERIFY(QDir(m_folder->path()).mkdir("cdkaisou.db.lock"));
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    QVERIFY(!Main());
    const QString said = answeredTexts().value(0);
    QVERIFY2(said.contains(m_folder->file("cdkaisou.db.lock")) && said.contains("フォルダー"),
             qPrintable(said));
    QVERIFY(QFileInfo(m_folder->file("cdkaisou.db.lock")).isDir()); // left as it was
}

void TestSafety::lockOfAnotherUser_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("folderWritable");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("held"); // its lock held by this process, as a running holder does
    QTest::addColumn<QString>("said");
    const QByteArray host = QSysInfo::machineHostName().toUtf8() + '\n';
    const QByteArray dead = QByteArray::number(endedProcessId()) + "\nrondella\n";
    const QByteArray ended = dead + host;
    const QByteArray running
        = QByteArray::number(QCoreApplication::applicationPid()) + "\nrondella\n" + host;
    QTest::newRow("644, taken over") << 0644 << true << ended << false << "locked";
    QTest::newRow("000, taken over") << 0000 << true << ended << false << "locked";
    QTest::newRow("644, folder not writable") << 0644 << false << ended << false << "（プロセス ";
    QTest::newRow("000, folder not writable")
        << 0000 << false << ended << false << "Rondella が残した";
    QTest::newRow("644, its process runs") << 0644 << true << running << false << "別の Rondella";
    QTest::newRow("644, another machine's") << 0644 << true << dead + "elsewhere\n"
                                            << false << "別の Rondella";
    QTest::newRow("644, held though its process ended")
        << 0644 << true << ended << true << "別の Rondella";
    QTest::newRow("000, held") << 0000 << true << ended << true << "別の Rondella";
}

// A lock left by the program run as root, which the user cannot write: taken
// over by the user where the folder lets the user remove it, named as stale
// with its owner where not, and never taken while anything holds it.
void TestSafety::lockOfAnotherUser()
{
    QFETCH(int, mode);
    QFETCH(bool, folderWritable);
    QFETCH(QByteArray, content);
    QFETCH(bool, held);
    QFETCH(QString, said);
    if (::geteuid() != 0)
        QSKIP("another user's lock needs the tests run as root");
    const QString path = m_folder->file("cdkaisou.db.lock");
    QFile lock(path);
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write(content);
    lock.flush();
    QVERIFY(!held || ::flock(lock.handle(), LOCK_EX | LOCK_NB) == 0);
    QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
    const QByteArray folder = QFile::encodeName(m_folder->path());
    QVERIFY(::chmod(folder.constData(), folderWritable ? 0777 : 0555) == 0);
    QProcess user;
    user.start(
        "setpriv",
        {"--reuid=65534", "--regid=65534", "--clear-groups", STOREPROBE, "lock", m_folder->path()});
    const bool finished = user.waitForFinished(30000);
    ::chmod(folder.constData(), 0700);
    QVERIFY(finished);
    const QString out = QString::fromUtf8(user.readAllStandardOutput()).trimmed();
    QVERIFY2(said == "locked" ? out == said : out.contains(said), qPrintable(out));
    if (!folderWritable) // stale, with its owner, and its process where it says one
        QVERIFY2(out.contains("古いもの") && out.contains("ユーザー「root」")
                     && out.contains(QString(content.split('\n').first())) == (mode != 0),
                 qPrintable(out));
    QCOMPARE(QFile::exists(path), held || said != "locked");
}

// What an abruptly ended run left is removed at the next start; nothing else.
void TestSafety::leftoversOfEndedRunsAreRemoved()
{
    writeCollection(m_folder->path(), {cd(1, "CD")}, {});
    const QString dead = QString::number(endedProcessId());
    QVERIFY(QDir(m_folder->path()).mkdir("backup"));
    const QStringList gone = {"."
                              "cdkaisou.db.import-"
                                  + dead,
                              ".cdkaisou.db.import-" + dead + "-journal",
                              "cdkaisou.db.restore-" + dead,
                              "backup/cdkaisou-20250101-120000.db.part",
                              "backup/cdkaisou-20250101-120000-2.db.part",
                              "backup/cdkaisou-20250101-120000.db.part-journal"};
    const QStringList stay = {".cdkaisou.db.import-1", // a process that runs (init)
                              "cdkaisou.db.restore-x",
                              "backup/notes.part",
                              "backup/notes.part-journal",
                              "backup/cdkaisou-20250101-120000.db",
                              "cdkaisou.db.damaged-20250101-120000",
                              "other.db.restore-" + dead};
    for (const QString& name : gone + stay) {
        QFile f(m_folder->file(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    start();
    for (const QString& name : gone)
        QVERIFY2(!QFile::exists(m_folder->file(name)), qPrintable(name));
    for (const QString& name : stay)
        QVERIFY2(QFile::exists(m_folder->file(name)), qPrintable(name));
}

// Only files named as the program names its copies count among the ten kept,
// and only those are ever removed.
void TestSafety::pruningKeepsOnlyItsOwnCopies()
{
    writeCollection(m_folder->path(), {cd(1, "CD")}, {});
    QVERIFY(QDir(m_folder->path()).mkdir("backup"));
    QStringList own;
    for (int day = 1; day <= 12; ++day)
        own << QString("cdkaisou-202501%1-120000.db").arg(day, 2, 10, QChar('0'));
    own << "cdkaisou-20250112-120000-2.db"; // a second copy in the same second: the newest
    const QStringList foreign
        = {"cdkaisou-1.db", "cdkaisou-99999999-999999.db", "cdkaisou-20991231-235959.db.bak",
           "cdkaisou-20991231-235959x.db", "notes.txt"};
    for (const QString& name : own + foreign)
        QVERIFY(QFile::copy(db().databasePath(), m_folder->file("backup/" + name)));
    backup::prune(db().databasePath());
    const QStringList left = QDir(m_folder->file("backup")).entryList(QDir::Files);
    for (const QString& name : foreign)
        QVERIFY2(left.contains(name), qPrintable(name));
    QVERIFY(!left.contains("cdkaisou-20250101-120000.db"));
    QVERIFY(!left.contains("cdkaisou-20250102-120000.db"));
    QVERIFY(!left.contains("cdkaisou-20250103-120000.db"));
    QVERIFY(left.contains("cdkaisou-20250104-120000.db"));
    const QList<backup::Copy> copies = backup::list(db().databasePath());
    QCOMPARE(copies.size(), 10);
    QVERIFY(copies.first().path.endsWith("cdkaisou-20250112-120000-2.db"));
    QVERIFY(copies.last().path.endsWith("cdkaisou-20250104-120000.db"));
}

// An identifier past 2^32 written by another program: the next one counted
// from it, not from a number that wrapped round.
void TestSafety::largestIdentifiersPast32Bits()
{
    writeCollection(m_folder->path(), {cd(1, "CD")}, {song("CD", 1, "曲")});
    {
        Connection c(db().databasePath());
        c.transaction([&] {
            c.column("UPDATE cdname SET CDID = 4294967296");
            c.column("UPDATE kyoku SET 曲ID = 4294967297");
        });
    }
    db().OpenDataContext();
    QCOMPARE(db().GetMaxCDID(), Q_INT64_C(4294967296));
    QCOMPARE(db().GetMaxKyokuID(), Q_INT64_C(4294967297));
    db().CloseDataContext();
}

RONDELLA_TEST_MAIN(TestSafety)
#include "tst_safety.moc"
