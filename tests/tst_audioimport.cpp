// Bringing ripped albums in from the window (ファイル →
// 音楽ファイルから取り込み...) and from the command line (rondella
// --import-audio).
#include "mainui.h"
#include "store/jacketfiles.h"
#include "testsupport.h"
#include "widgets/msgbox.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLockFile>
#include <QProcess>
#include <QTreeWidget>

#include <sys/resource.h>
#include <unistd.h>

namespace {

const QString program = QString::fromUtf8(RONDELLA_PROGRAM);

// One second of silence as FLAC, its tags written by sox.
void flac(const QString& path, const QString& album, const QString& title, int track)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QCOMPARE(QProcess::execute(u"sox"_s,
                               {u"-n"_s, u"-r"_s, u"8000"_s, u"--comment"_s, u"ALBUM="_s + album,
                                u"--add-comment"_s, u"TITLE="_s + title, u"--add-comment"_s,
                                u"TRACKNUMBER="_s + QString::number(track), path, u"trim"_s, u"0"_s,
                                u"1"_s}),
             0);
}

// A red picture saved as that kind of file.
bool red(const QString& path, const char* format)
{
    QImage image(300, 300, QImage::Format_RGB32);
    image.fill(Qt::red);
    return image.save(path, format);
}

// What the program said and how it ended; `ended` false when it was still
// running after 30 seconds.
struct Ran {
    bool ended;
    int status;
    QString out, err;
};

} // namespace

class TestAudioImport : public MainWindowTest {
    Q_OBJECT
private slots:
    void init();
    void windowListsTicksAndAddsTheChosen();
    void commandLineAddsAndSays();
    void commandLineNamesWhatItCannotRead_data();
    void commandLineNamesWhatItCannotRead();

private:
    // Picks the folder in the folder dialog, then lets `choose` work the list.
    void pick(std::function<void(QDialog*)> choose);
    // The program importing the music, with these arguments, run by a user of
    // no rights when `nobody`; the memory it may take bounded, so that reading
    // a device without end fails the test, not the machine.
    Ran run(const QStringList& more, bool nobody = false);
    QString music() { return m_folder->file(u"music"_s); }
    QStringList cdsStored() { return readColumn(m_folder->path(), u"cdname"_s, u"CD名"_s); }
};

void TestAudioImport::init()
{
    MainWindowTest::init();
    writeCollection(m_folder->path(), {cd(5, u"既にあるCD"_s)},
                    {song(u"既にあるCD"_s, 9, u"既にある曲"_s)});
    flac(music() + u"/new/1.flac"_s, u"新しいCD"_s, u"一曲目"_s, 1);
    QVERIFY(red(music() + u"/new/folder.jpg"_s, "PNG"));
    flac(music() + u"/new/2.flac"_s, u"新しいCD"_s, u"二曲目"_s, 2);
    flac(music() + u"/dup/1.flac"_s, u"既にあるCD"_s, u"別の曲"_s, 1);
    flac(music() + u"/other/1.flac"_s, u"もう一枚"_s, u"三曲目"_s, 1);
    QVERIFY(writeBytes(music() + u"/other/broken.flac"_s, "not audio"_ba));
}

void TestAudioImport::pick(std::function<void(QDialog*)> choose)
{
    QTimer::singleShot(0, [this, choose] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->setDirectory(music());
        dialog->selectFile(music());
        // the list comes up once the files are read
        QTimer::singleShot(0, [choose] {
            QTRY_VERIFY(QApplication::activeModalWidget()
                        && QApplication::activeModalWidget()->objectName() == u"frmAudioImport");
            choose(static_cast<QDialog*>(QApplication::activeModalWidget()));
        });
        QMetaObject::invokeMethod(dialog, "accept");
    });
    trigger(m_w, u"mnuAudioImport"_s);
}

Ran TestAudioImport::run(const QStringList& more, bool nobody)
{
    QProcess p;
    p.setWorkingDirectory(m_folder->path());
    QStringList args = QStringList{u"--import-audio"_s, music()} + more;
    if (nobody && ::geteuid() == 0) // as root every file is readable
        args = QStringList{u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s, program}
            + args;
        // (a sanitized build: bounded by the sanitizer's own limit, its shadow
        // needing more)
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    p.setChildProcessModifier([] {
        const rlimit limit{rlim_t(4) << 30, rlim_t(4) << 30};
        ::setrlimit(RLIMIT_AS, &limit);
    });
#endif
    p.start(args.first() == u"--reuid=65534" ? u"setpriv"_s : program, args);
    const bool ended = p.waitForFinished(30000);
    if (!ended)
        p.kill(), p.waitForFinished();
    return {ended && p.exitStatus() == QProcess::NormalExit, p.exitCode(),
            QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

void TestAudioImport::windowListsTicksAndAddsTheChosen()
{
    flac(music() + u"/new/3.flac"_s, u"新しいCD"_s, u"三曲目"_s, 3);
    flac(music() + u"/new/4.flac"_s, u"新しいCD"_s, u"四曲目"_s, 4);
    start();
    const QByteArray before = fileHash(m_folder->file(u"cdkaisou.db"_s));
    // cancelled with the duplicate taken as it is: nothing is added
    pick([](QDialog* list) {
        auto* albums = list->findChild<QTreeWidget*>(u"lstAlbums"_s);
        auto* choice = qobject_cast<QComboBox*>(albums->itemWidget(albums->topLevelItem(0), 3));
        choice->setCurrentText(u"そのまま追加"_s);
        list->findChild<QPushButton*>(u"cmdCancel"_s)->click();
    });
    QVERIFY(fileHash(m_folder->file(u"cdkaisou.db"_s)) == before && answeredTexts().isEmpty());
    QStringList listed;
    pick([&](QDialog* list) {
        auto* albums = list->findChild<QTreeWidget*>(u"lstAlbums"_s);
        for (int i = 0; i < albums->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = albums->topLevelItem(i);
            listed << item->text(0) + u'|' + item->text(1) + u'|' + item->text(2)
                    + (albums->itemWidget(item, 3) ? u"|同じCD名"_s : u""_s);
            if (item->text(0) == u"もう一枚")
                item->setCheckState(0, Qt::Unchecked); // not this one
        }
        MsgBoxSetNextAnswers({QMessageBox::Ok});
        list->findChild<QPushButton*>(u"cmdImport"_s)->click();
    });
    QCOMPARE(listed,
             (QStringList{u"既にあるCD|1|別の曲|同じCD名"_s,
                          u"新しいCD|4|一曲目 / 二曲目 / 三曲目"_s, u"もう一枚|1|三曲目"_s}));
    const QString said = answeredTexts().value(0);
    QVERIFY2(said.contains(u"CD 1枚・曲 4曲を取り込みました"_s) && said.contains(u"broken.flac"_s),
             qPrintable(said));
    // the duplicate passed by (its default), the unticked one left, the new one
    // added
    QCOMPARE(cdsStored() + readColumn(m_folder->path(), u"cdname"_s, u"CDID"_s),
             (QStringList{u"既にあるCD"_s, u"新しいCD"_s, u"5"_s, u"6"_s}));
    QCOMPARE(readColumn(m_folder->path(), u"kyoku"_s, u"曲ID"_s).join(u' '), u"9 10 11 12 13"_s);
    QCOMPARE(lblRcount(m_w, 3)->text(), u"2 / 2"_s);
    // the picture beside the music is the new CD's jacket
    const QColor middle = QImage(jacket::pictureOf(m_folder->path(), 6)).pixelColor(150, 150);
    QVERIFY(middle.red() > 200 && middle.green() < 60);
}

void TestAudioImport::commandLineAddsAndSays()
{
    Ran ran = run({});
    for (
        const QString& line :
        {u"追加しました：CDID 6「新しいCD」（2曲）"_s, u"追加しました：CDID 7「もう一枚」（1曲）"_s,
         u"飛ばしました（同じCD名がすでにあります）：「既にあるCD」"_s,
         u"CD 2枚・曲 3曲を追加しました。同じCD名のため飛ばしたCD 1枚、読めなかったファイル 1件。"_s})
        QVERIFY2(ran.status == 0 && ran.out.contains(line), qPrintable(ran.out));
    QCOMPARE(readColumn(m_folder->path(), u"cdname"_s, u"CDID"_s).join(u' '), u"5 6 7"_s);
    QVERIFY(QFileInfo::exists(jacket::pictureOf(m_folder->path(), 6)));
    // with duplicates allowed all three are added again
    QVERIFY(run({u"--allow-duplicates"_s}).status == 0 && cdsStored().size() == 6);
    ran = run({u"--collection"_s, m_folder->file(u"nowhere"_s)});
    QVERIFY(ran.status == 2 && ran.err.contains(u"使い方"_s));
    // a collection another Rondella holds is refused
    QLockFile held(m_folder->file(u"cdkaisou.db.lock"_s));
    QVERIFY(held.tryLock(0));
    ran = run({u"--collection"_s, m_folder->path()});
    QVERIFY2(ran.status == 1 && ran.err.contains(u"別の Rondella"_s) && cdsStored().size() == 6,
             qPrintable(ran.err));
    held.unlock();
    // a disk without room for the backup made before the first write, or for
    // the rows: refused, said so, nothing added
    const QString small = m_folder->file(u"small"_s), file = m_folder->file(u"cdkaisou.db"_s);
    const QString size = u"size=%1"_s.arg(QFileInfo(file).size() + 8192);
    if (!QDir().mkpath(small)
        || QProcess::execute(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, size, u"tmpfs"_s, small}))
        QSKIP("a small disk cannot be mounted here (needs root)");
    struct Unmount {
        QString path;
        ~Unmount() { QProcess::execute(u"umount"_s, {u"-l"_s, path}); }
    } unmount{small};
    QVERIFY(QFile::copy(file, small + u"/cdkaisou.db"_s));
    const QByteArray before = fileHash(small + u"/cdkaisou.db"_s);
    ran = run({u"--collection"_s, small});
    QVERIFY2(ran.status == 1 && ran.err.contains(u"何も追加していません"_s)
                 && fileHash(small + u"/cdkaisou.db"_s) == before,
             qPrintable(ran.err));
}

void TestAudioImport::commandLineNamesWhatItCannotRead_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("said");
    QTest::addColumn<int>("unreadable");
    const QString device = u"は読めません：通常のファイルではありません（デバイス）"_s;
    const QString fifo = u"は読めません：通常のファイルではありません（名前付きパイプ）"_s;
    const QString cover = u"cover.jpg」（ジャケット写真）"_s;
    QTest::newRow("cover linked to /dev/zero") << u"cover-zero"_s << cover + device << 2;
    QTest::newRow("cover a FIFO") << u"cover-fifo"_s << cover + fifo << 2;
    QTest::newRow("cover too large")
        << u"cover-large"_s << cover + u"は読めません：ファイルが大きすぎます"_s << 2;
    // read, but no whole picture: said so, never stored with its lower half grey
    QTest::newRow("cover cut in half")
        << u"cover-cut"_s
        << u"「h」のジャケット写真：画像として読めません（ファイルが途中で切れています）"_s << 1;
    QTest::newRow("music linked to /dev/zero") << u"flac-zero"_s << u"2.flac」"_s + device << 2;
    QTest::newRow("music a FIFO") << u"flac-fifo"_s << u"2.flac」"_s + fifo << 2;
    // TagLib would search all of it for an MP3 frame, for minutes
    QTest::newRow("an MP3 of nothing but zeros")
        << u"mp3-zeros"_s << u"2.mp3」は音楽ファイルとして読めません"_s << 2;
    QTest::newRow("music not the user's to read")
        << u"flac-denied"_s << u"2.flac」は読めません：読み取る権限がありません"_s << 2;
    QTest::newRow("folder not the user's to read")
        << u"folder-denied"_s << u"h/sub」の中を読めません：読み取る権限がありません"_s << 2;
    QTest::newRow("two folders of one ALBUM")
        << u"same-album"_s
        << u"同じ名前「新しいCD」のアルバムがほかにもあるため「新しいCD (2)」として取り込みます"_s
        << 1;
}

// Whatever lies among the music, the import ends soon, adds what it can
// read and names each file or folder it could not, saying why.
void TestAudioImport::commandLineNamesWhatItCannotRead()
{
    QFETCH(QString, kind);
    QFETCH(QString, said);
    QFETCH(int, unreadable);
    const QString h = music() + u"/h"_s;
    const QString album = kind == u"same-album" ? u"新しいCD"_s : u"h"_s;
    flac(h + u"/1.flac"_s, album, u"h1"_s, 1);
    const QString file = h + (kind.startsWith(u"cover"_s) ? u"/cover.jpg"_s : u"/2.flac"_s);
    if (kind.endsWith(u"zero"_s))
        QVERIFY(QFile::link(u"/dev/zero"_s, file));
    else if (kind.endsWith(u"fifo"_s))
        QCOMPARE(QProcess::execute(u"mkfifo"_s, {file}), 0);
    if (kind == u"cover-cut") {
        QVERIFY(red(file, "JPG") && QFile::resize(file, QFileInfo(file).size() / 2));
    } else if (kind == u"cover-large" || kind == u"mp3-zeros") {
        const QString big = kind == u"mp3-zeros" ? h + u"/2.mp3"_s : file;
        QVERIFY(QFile(big).open(QIODevice::WriteOnly)
                && QFile::resize(big, kind == u"mp3-zeros" ? 1 << 30 : 60 << 20));
    }
    const bool denied = kind.endsWith(u"denied"_s);
    if (denied) {
        const QString what = kind == u"flac-denied" ? file : h + u"/sub"_s;
        flac(kind == u"flac-denied" ? file : what + u"/1.flac"_s, u"h"_s, u"h2"_s, 2);
        QCOMPARE(QProcess::execute(u"chmod"_s, {u"-R"_s, u"a+rwX"_s, m_folder->path()}), 0);
        QCOMPARE(QProcess::execute(u"chmod"_s, {u"000"_s, what}), 0);
    }
    const Ran ran = run({u"--collection"_s, m_folder->path()}, denied);
    QVERIFY2(ran.ended && ran.status == 0 && ran.out.contains(said)
                 && ran.out.contains(u"読めなかったファイル %1件。"_s.arg(unreadable)),
             qPrintable(ran.out + ran.err));
    // each song's CD名
    QCOMPARE(readColumn(m_folder->path(), u"kyoku"_s, u"CD名"_s).join(u'|'),
             album == u"h" ? u"既にあるCD|h|新しいCD|新しいCD|もう一枚"_s
                           : u"既にあるCD|新しいCD|新しいCD (2)|新しいCD (2)|もう一枚"_s);
}

RONDELLA_TEST_MAIN(TestAudioImport)
#include "tst_audioimport.moc"
