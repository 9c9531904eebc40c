#include "entry/frminputcd.h"
#include "mainui.h"
#include "mainwindow/startup.h"
#include "store/backup.h"
#include "store/connection.h"
#include "testsupport.h"
#include "widgets/msgbox.h"

#include <QLockFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSqlQuery>
#include <QSysInfo>

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString probe = QStringLiteral(STOREPROBE);
QByteArray lockOf(qint64 pid, const QByteArray& host = QSysInfo::machineHostName().toUtf8())
{
    return QByteArray::number(pid) + "\nrondella\n"_ba + host + '\n';
}

// A collection of 300 CDs of long titles, the first titled as given.
void bigCollection(const QString& folder, const QString& first)
{
    QVector<QVariantMap> cds{cd(1, first)};
    for (int i = 2; i <= 300; ++i)
        cds << cd(i, u"長い題名"_s.repeated(20) + QString::number(i));
    writeCollection(folder, cds, {});
}

// The file cut short, with junk where its last pages were.
QByteArray cutShort(QByteArray bytes)
{
    bytes.truncate(bytes.size() / 2 + 100);
    return bytes + QByteArray(3000, 'x');
}

} // namespace

class TestSafety : public MainWindowTest {
    Q_OBJECT
    void start() { QVERIFY(MainWindowTest::start()); }
    QString at(QStringView name) const { return m_folder->file(name.toString()); }
    QString shownCount() const { return lblRcount(m_w, 3)->text(); }
    QStringList entries(const QString& pattern) const
    {
        return QDir(m_folder->path())
            .entryList({pattern}, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    QStringList menu(const char* name, const QList<QMessageBox::StandardButton>& answers = {})
    {
        return triggerCommand(m_w, name, {}, answers);
    }

private slots:
    // Two programs creating the collection in one empty folder at the same
    // moment, and a collection copied in while they do: one file, never removed.
    void creationRaceLosesNothing()
    {
        for (int trial = 0; trial < 10; ++trial) {
            StartupFolder folder;
            QProcess a, b;
            a.start(probe, {u"open"_s, folder.path()});
            b.start(probe, {u"open"_s, folder.path()});
            QVERIFY(a.waitForFinished(10000) && b.waitForFinished(10000));
            QCOMPARE(a.readAllStandardOutput() + b.readAllStandardOutput(), "ok\nok\n"_ba);
            QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                     QStringList{u"cdkaisou.db"_s});
        }
        StartupFolder folder;
        const QString file = folder.file(u"cdkaisou.db"_s);
        writeCollection(m_folder->path(), {cd(1, u"先に来たCD"_s)}, {});
        QProcess a;
        a.start(probe, {u"open"_s, folder.path()});
        QFile::copy(at(u"cdkaisou.db"), file + u".copying");
        QFile::rename(file + u".copying", file);
        QVERIFY(a.waitForFinished(10000) && QFile::exists(file));
        // the copy won the name, or was refused it: nothing deleted it
        const QStringList titles = sqlRows(file, {u"SELECT CD名 FROM cdname"_s});
        QVERIFY(titles == QStringList{u"先に来たCD"_s} || titles.isEmpty());
    }

    // A collection written before a table of the program's own existed gets it
    // when opened; one its user may not write opens as it is, unchanged.
    void olderFileGetsOwnTablesWhereWritable()
    {
        writeCollection(m_folder->path(), {cd(1, u"古いCD"_s)}, {});
        const QString file = at(u"cdkaisou.db");
        sqlRows(file, {u"DROP TABLE namegroup"_s});
        const QByteArray before = bytesOf(file);
        auto open = [this](bool asNobody) {
            QStringList args{probe, u"open"_s, m_folder->path()};
            if (asNobody)
                args = QStringList{u"setpriv"_s, u"--reuid=65534"_s, u"--regid=65534"_s,
                                   u"--clear-groups"_s}
                    + args;
            QProcess p;
            p.start(args.takeFirst(), args);
            return p.waitForFinished(10000) ? p.readAllStandardOutput() : "hung"_ba;
        };
        const QByteArray folder = QFile::encodeName(m_folder->path());
        QVERIFY(::chmod(folder.constData(), 0755) == 0);
        const QByteArray refused = open(true);
        ::chmod(folder.constData(), 0700);
        QCOMPARE(refused, "ok\n"_ba);
        QVERIFY(bytesOf(file) == before);
        QCOMPARE(open(false), "ok\n"_ba);
        QCOMPARE(sqlRows(file, {u"SELECT name FROM sqlite_master WHERE name = 'namegroup'"_s}),
                 QStringList{u"namegroup"_s});
    }

    void longDamageReportIsCutShort()
    {
        QVector<QVariantMap> songs;
        for (int i = 0; i < 3000; ++i)
            songs << song(u"CD"_s, i, u"曲%1 "_s.arg(i) + QString(60, u'z'));
        writeCollection(m_folder->path(), {cd(1, u"CD"_s)}, songs);
        QFile f(db().databasePath());
        QVERIFY(f.open(QIODevice::ReadWrite));
        QRandomGenerator rng(7);
        // junk inside many pages, the first page left whole
        for (qint64 at = 8192; at < f.size() - 64; at += 4096 * 3) {
            QByteArray junk(64, '\0');
            for (char& c : junk)
                c = char(rng.bounded(256));
            QVERIFY(f.seek(at + 100) && f.write(junk) == 64);
        }
        f.close();
        const auto [number, said] = thrown([] { db().OpenDataContext(); });
        QCOMPARE(number, int(DbError::Damaged));
        QVERIFY2(said.count(u'\n') <= 3 && said.size() < 1200, qPrintable(said));
        QVERIFY(!db().isOpen());
    }

    // Refused while another program holds the file; once it lets go, リセット
    // opens it; a file put in its place is read, one removed is said to be
    // missing and nothing is made in its place.
    void resetAfterARefusedStartOrAChangedFile()
    {
        writeCollection(m_folder->path(), {cd(1, u"CD"_s), cd(2, u"CD2"_s)}, {});
        {
            QSqlDatabase other = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"holder"_s);
            other.setDatabaseName(db().databasePath());
            QSqlQuery hold(other);
            QVERIFY(other.open() && hold.exec(u"BEGIN EXCLUSIVE"_s));
            MsgBoxSetNextAnswers({QMessageBox::Ok});
            start();
            QVERIFY(answeredTexts().value(0).contains(u"使用中"));
            QVERIFY(!db().isOpen() && hold.exec(u"ROLLBACK"_s));
        }
        QSqlDatabase::removeDatabase(u"holder"_s);
        QCOMPARE(menu("mnuReset"), QStringList());
        QCOMPARE(shownCount(), u"2 / 2"_s);
        StartupFolder other;
        writeCollection(other.path(), {cd(1, u"新"_s), cd(2, u"二"_s), cd(3, u"三"_s)}, {});
        QVERIFY(QFile::remove(db().databasePath())
                && QFile::rename(other.file(u"cdkaisou.db"_s), db().databasePath()));
        QCOMPARE(menu("mnuReset"), QStringList());
        QCOMPARE(shownCount(), u"3 / 3"_s);
        QVERIFY(QFile::remove(db().databasePath()));
        QVERIFY(menu("mnuReset", {QMessageBox::Ok}).value(0).contains(u"見つかりません"));
        QCOMPARE(DataGrid2(m_w)->table()->model()->rowCount(), 0);
        QVERIFY(!QFile::exists(db().databasePath()));
    }

    // The first write of a run backs up the collection as it was; only the
    // newest ten of the program's own copies are kept, and only those are ever
    // removed; a restore backs up what it replaces too.
    void backupBeforeTheFirstWriteAndRestore()
    {
        writeCollection(m_folder->path(), {cd(1, u"最初のCD"_s)}, {});
        // a table of the program's own comes back with the copy
        QCOMPARE(sqlRows(db().databasePath(), {u"INSERT INTO cdnote VALUES (1, '帯付き')"_s}),
                 QStringList());
        QVERIFY(QDir().mkpath(at(u"backup")));
        QStringList own;
        for (int day = 1; day <= 12; ++day)
            own << u"cdkaisou-202501%1-120000.db"_s.arg(day, 2, 10, QChar(u'0'));
        own << u"cdkaisou-20250112-120000-2.db"_s; // a second copy in the same second: newer
        const QStringList foreign = {u"cdkaisou-1.db"_s, u"cdkaisou-99999999-999999.db"_s,
                                     u"cdkaisou-20991231-235959.db.bak"_s,
                                     u"cdkaisou-20991231-235959x.db"_s, u"notes.txt"_s};
        for (const QString& name : own + foreign)
            QVERIFY(QFile::copy(db().databasePath(), m_folder->file(u"backup/" + name)));
        start();
        QCOMPARE(backup::list(db().databasePath()).size(), 13); // no write yet, no copy
        for (const QString& title : {u"二枚目"_s, u"三枚目"_s}) {
            frmInputCD form(m_w->db, m_w);
            form.cmdAdd->click();
            form.txtInput(1)->setText(title);
            form.cmdUpdate->click();
        }
        const QList<backup::Copy> copies = backup::list(db().databasePath());
        // the newest as it was before the first write
        QVERIFY(copies.size() == 10 && copies.first().cds == 1
                && copies.first().made.secsTo(QDateTime::currentDateTime()) < 600);
        QVERIFY(copies.at(1).path.endsWith(own.last()) && copies.last().path.endsWith(own.at(4)));
        const QStringList left = QDir(at(u"backup")).entryList(QDir::Files);
        for (const QString& name : foreign + own.mid(4))
            QVERIFY2(left.contains(name), qPrintable(name));
        QCOMPARE(left.size(), foreign.size() + own.size() - 4 + 1);
        m_w->db.SetNote(1, QString()); // taken away after the copy
        m_w->reset();
        QString offered;
        pickFirstItem(&offered);
        const QStringList said = menu("mnuRestore", {QMessageBox::Yes, QMessageBox::Ok});
        QVERIFY2(offered.contains(u"CD 1枚") && said.size() == 2
                     && said[1].contains(u"復元しました（CD 1枚・曲 0曲）")
                     && said[1].contains(u".replaced-"),
                 qPrintable(offered + said.join(u'|')));
        QVERIFY(shownCount() == u"1 / 1" && backup::list(db().databasePath()).first().cds == 3);
        QCOMPARE(db().Note(1), u"帯付き"_s);
    }

    // A copy cut short by a full disk leaves nothing under its working name.
    void backupOnAFullDiskLeavesNothing()
    {
        bigCollection(m_folder->path(), u"CD"_s);
        if (!QDir().mkpath(at(u"backup"))
            || QProcess::execute(
                   u"mount"_s,
                   {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=64k"_s, u"tmpfs"_s, at(u"backup")})
                != 0)
            QSKIP("a small disk cannot be mounted here (needs root)");
        const auto unmount = qScopeGuard([this] {
            QProcess::execute(u"umount"_s, {u"-l"_s, at(u"backup")});
        });
        const auto [number, description]
            = thrown([] { Connection(db().databasePath()).backupNow(); });
        QCOMPARE(number, int(DbError::BackupFailed));
        QVERIFY2(description.endsWith(u"原因: ディスクがいっぱいです"_s), qPrintable(description));
        QCOMPARE(QDir(at(u"backup")).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // A damaged collection is set aside as it is, with its log, and the newest
    // backup offered in its place.
    void damagedFileOffersTheNewestBackup()
    {
        writeCollection(m_folder->path(), {cd(1, u"守りたいCD"_s)}, {});
        Connection(db().databasePath()).backupNow();
        const QByteArray damaged = cutShort(bytesOf(db().databasePath()));
        QVERIFY(writeBytes(db().databasePath(), damaged));
        QVERIFY(writeBytes(db().databasePath() + u"-wal", "log"_ba));
        MsgBoxSetNextAnswers({QMessageBox::Yes, QMessageBox::Ok});
        start();
        const QStringList said = answeredTexts();
        QVERIFY2(said.size() == 2 && said[0].contains(u"復元しますか"),
                 qPrintable(said.join(u'|')));
        QCOMPARE(txtrs(m_w, 1)->text(), u"守りたいCD"_s);
        const QStringList aside = entries(u"cdkaisou.db.damaged-*"_s);
        QVERIFY2(aside.size() == 2 && aside[1] == aside[0] + u"-wal", qPrintable(aside.join(u'|')));
        QCOMPARE(bytesOf(at(aside[0])) + bytesOf(at(aside[1])), damaged + "log"_ba);
        QVERIFY(!QFile::exists(db().databasePath() + u"-wal"));
    }

    // A save refused, with the form kept as the user filled it in: a backup
    // that cannot be made stops the first write once (the user has seen it: the
    // save then goes ahead), a full disk and a read-only file every time.
    void refusedSavesKeepTheForm()
    {
        writeCollection(m_folder->path(), {cd(1, u"最初のCD"_s)}, {});
        QVERIFY(writeBytes(at(u"backup"), {})); // a file where the folder should be
        start();
        frmInputCD form(m_w->db, m_w);
        auto save = [&form](const QString& refusal) {
            MsgBoxSetNextAnswers({QMessageBox::Ok});
            form.cmdUpdate->click();
            const bool asked = MsgBoxPendingAnswers() == 0;
            MsgBoxSetNextAnswers({});
            const QString said = asked ? answeredTexts().value(0) : QString();
            return refusal.isEmpty() ? said.isEmpty() : said.contains(refusal) && form.inAddMode();
        };
        const QString check
            = u"SELECT (SELECT * FROM pragma_integrity_check) || count(*) FROM cdname"_s;
        auto stored = [&check] { return sqlRows(db().databasePath(), {check}).value(0); };
        form.cmdAdd->click();
        form.txtInput(1)->setText(u"保存したいCD"_s);
        QVERIFY(save(u"バックアップを作成できません"_s) && stored() == u"ok1");
        QCOMPARE(form.txtInput(1)->text(), u"保存したいCD"_s);
        QVERIFY(save({}) && stored() == u"ok2");
        Connection& cn = db().connection();
        cn.column(u"PRAGMA max_page_count = "_s
                  + cn.column(u"PRAGMA page_count"_s).value(0).toString());
        form.cmdAdd->click();
        form.txtInput(1)->setText(u"大きなCD"_s);
        form.txtInput(5)->setText(QString(30000, u'解'));
        QVERIFY(save(u"ディスクがいっぱい"_s) && stored() == u"ok2");
        QCOMPARE(form.txtInput(5)->text().size(), 30000);
        cn.column(u"PRAGMA max_page_count = 1073741823"_s);
        cn.column(u"PRAGMA query_only = 1"_s); // as a read-only file or folder answers
        QVERIFY(save(u"読み取り専用"_s));
        cn.column(u"PRAGMA query_only = 0"_s);
        QVERIFY(save({}) && stored() == u"ok3");
    }

    void damagedCopies_data()
    {
        QTest::addColumn<bool>("cut"); // cut short, else one page garbled
        QTest::newRow("cut short") << true;
        // cells that overlap: counts still answer, only SQLite's check finds it
        QTest::newRow("a garbled page") << false;
    }

    // A damaged copy is marked in the list, not counted, and never installed.
    void damagedCopies()
    {
        QFETCH(bool, cut);
        bigCollection(m_folder->path(), u"いまのCD"_s);
        const QString copy = Connection(db().databasePath()).backupNow();
        QByteArray damaged = bytesOf(copy);
        if (cut) {
            damaged = cutShort(damaged);
        } else { // a table's leaf: its second cell made the first
            auto word
                = [&](qsizetype at) { return (uchar(damaged[at]) << 8) | uchar(damaged[at + 1]); };
            qsizetype at = word(16);
            while (at + word(16) <= damaged.size() && (damaged[at] != 0x0d || word(at + 3) < 2))
                at += word(16);
            QVERIFY(at + word(16) <= damaged.size());
            damaged[at + 10] = damaged[at + 8];
            damaged[at + 11] = damaged[at + 9];
        }
        QVERIFY(writeBytes(copy, damaged));
        const QList<backup::Copy> copies = backup::list(db().databasePath());
        QVERIFY(copies.size() == 1 && !copies.first().damage.isEmpty() && copies.first().cds == -1);
        const QByteArray before = bytesOf(db().databasePath());
        QVERIFY_THROWS_EXCEPTION(DbError, backup::restore(copy, db().databasePath()));
        QCOMPARE(bytesOf(db().databasePath()), before);
        QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{u"cdkaisou.db"_s});
        start();
        QString shown;
        pickFirstItem(&shown);
        QVERIFY(menu("mnuRestore", {QMessageBox::Ok}).value(0).contains(u"復元できません"));
        QVERIFY2(shown.contains(u"復元できません") && !shown.contains(u"CD "), qPrintable(shown));
        QCOMPARE(txtrs(m_w, 1)->text() + shownCount(), u"いまのCD300 / 300"_s);
        QCOMPARE(entries(u"cdkaisou.db.replaced-*"_s), QStringList());
    }

    // A restore over a collection that did not open (a column missing): the
    // file it replaces stays beside it, byte for byte, with its journal.
    void restoreKeepsTheFileItReplaces()
    {
        writeCollection(m_folder->path(), {cd(1, u"バックアップのCD"_s)}, {});
        Connection(db().databasePath()).backupNow();
        QVERIFY(QFile::remove(db().databasePath()));
        QCOMPARE(sqlRows(db().databasePath(),
                         {u"CREATE TABLE cdname (CDID INTEGER, CD名 TEXT)"_s,
                          u"CREATE TABLE kyoku (CD名 TEXT, 曲ID INTEGER, 曲名 TEXT)"_s}),
                 QStringList());
        const QByteArray mine = bytesOf(db().databasePath());
        MsgBoxSetNextAnswers({QMessageBox::Ok});
        start();
        QVERIFY(!db().isOpen() && answeredTexts().size() == 1);
        QString shown;
        pickFirstItem(&shown);
        QVERIFY(writeBytes(db().databasePath() + u"-journal", "x"_ba));
        const QStringList said = menu("mnuRestore", {QMessageBox::Yes, QMessageBox::Ok});
        QCOMPARE(txtrs(m_w, 1)->text(), u"バックアップのCD"_s);
        const QStringList kept = entries(u"cdkaisou.db.replaced-*"_s);
        QVERIFY2(kept.size() == 2 && said.value(1).contains(kept[0])
                     && kept[1] == kept[0] + u"-journal",
                 qPrintable(said.join(u'|')));
        QCOMPARE(bytesOf(at(kept[0])), mine);
        QCOMPARE(entries(u"*.restore-*"_s) + entries(u"*.db-journal"_s), QStringList());
    }

    // A lock an ended run left is taken over; a process that starts the program
    // and ends without running the event loop leaves no lock and no open file
    // behind; a window holds its lock until it closes.
    void locksOfEndedRunsAndOfTheWindow()
    {
        writeCollection(m_folder->path(), {cd(1, u"CD"_s), cd(2, u"もう一枚"_s)}, {});
        QVERIFY(writeBytes(at(u"cdkaisou.db.lock"), lockOf(endedProcessId())));
        QProcess once;
        once.setWorkingDirectory(m_folder->path());
        once.start(QStringLiteral(STARTONCE), {});
        QVERIFY(once.waitForFinished(30000));
        QCOMPARE(once.exitStatus() == QProcess::NormalExit ? once.exitCode() : -1, 0);
        QCOMPARE(entries(u"cdkaisou.db*"_s), QStringList{u"cdkaisou.db"_s});
        start();
        QCOMPARE(shownCount(), u"2 / 2"_s);
        MsgBoxSetNextAnswers({QMessageBox::Ok});
        QVERIFY(!Main() && answeredTexts().value(0).contains(u"別の Rondella"));
        QCOMPARE(db().cds()->recordCount(), 2); // the first is not disturbed
        closeMain(m_w);
        start(); // the first has ended: the next opens
        QCOMPARE(MsgBoxTakeAnswered().size(), 0);
    }

    void folderLock_data()
    {
        QTest::addColumn<QByteArray>("content"); // "live": held by a QLockFile of this process
        QTest::addColumn<int>("mode"); // -1: a folder in the lock's place
        QTest::addColumn<bool>("folderWritable");
        QTest::addColumn<bool>("held"); // its lock held by this process, as a running holder does
        QTest::addColumn<bool>("user"); // tried by a user who cannot write the root's lock
        QTest::addColumn<QString>("said"); // its parts joined by "|", "!": not said
        const QByteArray ended = lockOf(endedProcessId()), live = "live"_ba;
        const QString busy = u"別の Rondella"_s, locked = u"locked"_s,
                      stale = u"古いもの|ユーザー「root」"_s;
        auto row = [](const char* name, const QByteArray& content, int mode, bool writable,
                      bool held, bool user, const QString& said) {
            QTest::newRow(name) << content << mode << writable << held << user << said;
        };
        row("empty, as a power cut leaves it", QByteArray(), 0644, true, false, false, locked);
        row("garbage", "\x01\xff\xfe garbage\n\n\n\n"_ba, 0644, true, false, false, locked);
        row("a live holder, named", live, 0644, true, false, false, busy + u"|%folder|%pid|%host");
        row("a folder in its place", QByteArray(), -1, true, false, false, u"フォルダー|%lock"_s);
        row("644, taken over", ended, 0644, true, false, true, locked);
        row("000, taken over", ended, 0000, true, false, true, locked);
        row("644, folder not writable", ended, 0644, false, false, true,
            stale + u"|（プロセス |%ended");
        row("000, folder not writable", ended, 0000, false, false, true,
            stale + u"|Rondella が残した|!%ended");
        row("644, its process runs", lockOf(QCoreApplication::applicationPid()), 0644, true, false,
            true, busy);
        row("644, another machine's", lockOf(endedProcessId(), "elsewhere"_ba), 0644, true, false,
            true, busy);
        row("644, held though its process ended", ended, 0644, true, true, true, busy);
        row("000, held", ended, 0000, true, true, true, busy);
    }

    // A lock file nobody holds never locks the user out, whatever it says; a
    // live holder is named with its folder, machine and process. A lock the
    // program left as root: taken over by a user the folder lets remove it,
    // named as stale with its owner where not, never taken while held.
    void folderLock()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, mode);
        QFETCH(bool, folderWritable);
        QFETCH(bool, held);
        QFETCH(bool, user);
        QFETCH(QString, said);
        if (user && ::geteuid() != 0)
            QSKIP("another user's lock needs the tests run as root");
        const QString path = at(u"cdkaisou.db.lock");
        QFile lock(path);
        QLockFile holder(path);
        if (mode < 0)
            QVERIFY(QDir(m_folder->path()).mkdir(u"cdkaisou.db.lock"_s));
        else if (content == "live")
            QVERIFY(holder.tryLock(0));
        else {
            QVERIFY(lock.open(QIODevice::WriteOnly) && lock.write(content) == content.size());
            QVERIFY(lock.flush()
                    && lock.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                        QFileDevice::FileModificationTime));
            QVERIFY(!held || ::flock(lock.handle(), LOCK_EX | LOCK_NB) == 0);
            QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
        }
        const QByteArray folder = QFile::encodeName(m_folder->path());
        QVERIFY(::chmod(folder.constData(), folderWritable ? 0777 : 0555) == 0);
        QStringList args{probe, u"lock"_s, m_folder->path()};
        if (user)
            args = QStringList{u"setpriv"_s, u"--reuid=65534"_s, u"--regid=65534"_s,
                               u"--clear-groups"_s}
                + args;
        QProcess p;
        p.start(args.takeFirst(), args);
        const bool finished = p.waitForFinished(30000);
        ::chmod(folder.constData(), 0700);
        QVERIFY(finished);
        const QString out = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
        for (QString part : said.split(u'|')) {
            const bool absent = part.startsWith(u'!');
            part = part.mid(absent)
                       .replace(u"%folder"_s, m_folder->path())
                       .replace(u"%lock"_s, path)
                       .replace(u"%pid"_s, QString::number(QCoreApplication::applicationPid()))
                       .replace(u"%host"_s, QSysInfo::machineHostName())
                       .replace(u"%ended"_s, QString::fromLatin1(content.split('\n').first()));
            QVERIFY2(part == u"locked" ? out == part : out.contains(part) != absent,
                     qPrintable(out + u" / " + part));
        }
        QCOMPARE(QFileInfo::exists(path), held || said != u"locked");
        QCOMPARE(QFileInfo(path).isDir(), mode < 0); // a folder is left as it was
    }

    // What an abruptly ended run left is removed at the next start; nothing else.
    // An identifier past 2^32 another program wrote counts on unwrapped.
    void leftoversOfEndedRunsAndLargeIdentifiers()
    {
        writeCollection(m_folder->path(), {cd(1, u"CD"_s)}, {song(u"CD"_s, 1, u"曲"_s)});
        sqlRows(
            db().databasePath(),
            {u"UPDATE cdname SET CDID = 4294967296"_s, u"UPDATE kyoku SET 曲ID = 4294967297"_s});
        QVERIFY(QDir(m_folder->path()).mkdir(u"backup"_s));
        // "-": what an ended run left (D its process, T a time); .cdkaisou.db.import-1 is of a
        // process that runs (init)
        const QStringList names
            = QString(
                  u"-.cdkaisou.db.import-D -.cdkaisou.db.import-D-journal -cdkaisou.db.restore-D "
                  u"-backup/cdkaisou-T.db.part -backup/cdkaisou-T-2.db.part .cdkaisou.db.import-1 "
                  u"-backup/cdkaisou-T.db.part-journal cdkaisou.db.restore-x backup/notes.part "
                  u"backup/notes.part-journal backup/cdkaisou-T.db cdkaisou.db.damaged-T "
                  u"other.db.restore-D"_s)
                  .replace(u'D', QString::number(endedProcessId()))
                  .replace(u'T', u"20250101-120000"_s)
                  .split(u' ');
        for (const QString& name : names)
            QVERIFY(writeBytes(at(name.mid(name.startsWith(u'-'))), "x"_ba));
        start();
        for (const QString& name : names)
            QVERIFY2(QFile::exists(at(name.mid(name.startsWith(u'-')))) != name.startsWith(u'-'),
                     qPrintable(name));
        QCOMPARE(db().GetMaxCDID() + db().GetMaxKyokuID(), Q_INT64_C(8589934593));
    }
};

RONDELLA_TEST_MAIN(TestSafety)
#include "tst_safety.moc"
