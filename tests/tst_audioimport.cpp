// Bringing ripped albums in from the window (ファイル → 音楽ファイルから取り込み...)
// and from the command line (rondella --import-audio).
#include "mainui.h"
#include "mainwindow/frmmain.h"
#include "store/collection.h"
#include "store/jacketfiles.h"
#include "testsupport.h"
#include "widgets/msgbox.h"

#include <QBuffer>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QImageReader>
#include <QLockFile>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/tpropertymap.h>

#include <sys/resource.h>
#include <unistd.h>

namespace {

void flac(const QString& path, const QString& album, const QString& title, int track,
          const QByteArray& cover = {})
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QCOMPARE(QProcess::execute("sox", {"-n", "-r", "8000", "-c", "1", path, "trim", "0", "1"}), 0);
    const QByteArray name = QFile::encodeName(path);
    TagLib::FLAC::File file(name.constData());
    TagLib::PropertyMap map;
    map.insert("ALBUM", TagLib::String(album.toStdString(), TagLib::String::UTF8));
    map.insert("TITLE", TagLib::String(title.toStdString(), TagLib::String::UTF8));
    map.insert("TRACKNUMBER", TagLib::String(std::to_string(track)));
    file.setProperties(map);
    if (!cover.isEmpty()) {
        auto* picture = new TagLib::FLAC::Picture;
        picture->setType(TagLib::FLAC::Picture::FrontCover);
        picture->setData(TagLib::ByteVector(cover.constData(), uint(cover.size())));
        file.addPicture(picture);
    }
    QVERIFY(file.save());
}

QByteArray redPng(const char* format = "PNG")
{
    QImage image(300, 300, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

} // namespace

class TestAudioImport : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void windowListsTicksAndAddsTheChosen();
    void windowCancelAddsNothing();
    void commandLineAddsAndSays();
    void commandLineRefusesAHeldCollection();
    void commandLineOnAFullDiskAddsNothing();
    void commandLineNamesWhatItCannotRead_data();
    void commandLineNamesWhatItCannotRead();

private:
    // Picks the folder in the folder dialog, then lets `choose` work the list.
    void pick(const QString& folder, std::function<void(QDialog*)> choose);
    QString music() { return m_folder->file("music"); }
    std::unique_ptr<StartupFolder> m_folder;
    QPointer<frmMain> m_w;
};

void TestAudioImport::init()
{
    m_folder = std::make_unique<StartupFolder>();
    writeCollection(m_folder->path(), {cd(5, "既にあるCD")}, {song("既にあるCD", 9, "既にある曲")});
    flac(music() + "/new/1.flac", "新しいCD", "一曲目", 1, redPng());
    flac(music() + "/new/2.flac", "新しいCD", "二曲目", 2);
    flac(music() + "/dup/1.flac", "既にあるCD", "別の曲", 1);
    flac(music() + "/other/1.flac", "もう一枚", "三曲目", 1);
    QFile broken(music() + "/other/broken.flac");
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("not audio");
}

void TestAudioImport::cleanup()
{
    endTest(m_w, m_folder);
}

void TestAudioImport::pick(const QString& folder, std::function<void(QDialog*)> choose)
{
    QTimer::singleShot(0, [folder, choose] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->setDirectory(folder);
        dialog->selectFile(folder);
        // the list comes up once the files are read
        QTimer::singleShot(0, [choose] {
            QTRY_VERIFY(QApplication::activeModalWidget()
                        && QApplication::activeModalWidget()->objectName() == "frmAudioImport");
            choose(static_cast<QDialog*>(QApplication::activeModalWidget()));
        });
        QMetaObject::invokeMethod(dialog, "accept");
    });
}

void TestAudioImport::windowListsTicksAndAddsTheChosen()
{
    m_w = startMain();
    QStringList listed, marked;
    pick(music(), [&](QDialog* list) {
        auto* albums = list->findChild<QTreeWidget*>("lstAlbums");
        for (int i = 0; i < albums->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = albums->topLevelItem(i);
            listed << item->text(0) + "|" + item->text(1) + "|" + item->text(2);
            if (albums->itemWidget(item, 3))
                marked << item->text(0);
            if (item->text(0) == "もう一枚")
                item->setCheckState(0, Qt::Unchecked); // not this one
        }
        list->findChild<QPushButton*>("cmdImport")->click();
    });
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    m_w->findChild<QAction*>("mnuAudioImport")->trigger();
    QCOMPARE(
        listed,
        (QStringList{"既にあるCD|1|別の曲", "新しいCD|2|一曲目 / 二曲目", "もう一枚|1|三曲目"}));
    QCOMPARE(marked, QStringList{"既にあるCD"});
    const QString said = answeredTexts().value(0);
    QVERIFY2(said.contains("CD 1枚・曲 2曲を取り込みました") && said.contains("broken.flac"),
             qPrintable(said));
    // the duplicate passed by (its default), the unticked one left, the new one added
    QCOMPARE(readColumn(m_folder->path(), "cdname", "CD名"),
             (QStringList{"既にあるCD", "新しいCD"}));
    QCOMPARE(readColumn(m_folder->path(), "cdname", "CDID"), (QStringList{"5", "6"}));
    QCOMPARE(readColumn(m_folder->path(), "kyoku", "曲ID"), (QStringList{"9", "10", "11"}));
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("2 / 2"));
    // the embedded cover is the new CD's jacket
    QImageReader jacket(jacket::pictureOf(m_folder->path(), 6));
    QCOMPARE(jacket.format(), QByteArray("jpeg"));
    const QImage picture = jacket.read();
    QVERIFY(picture.pixelColor(150, 150).red() > 200 && picture.pixelColor(150, 150).green() < 60);
}

void TestAudioImport::windowCancelAddsNothing()
{
    m_w = startMain();
    const QByteArray before = fileHash(m_folder->file("cdkaisou.db"));
    pick(music(), [](QDialog* list) {
        auto* albums = list->findChild<QTreeWidget*>("lstAlbums");
        // the duplicate taken as it is: it would be added, but nothing is
        auto* choice = qobject_cast<QComboBox*>(albums->itemWidget(albums->topLevelItem(0), 3));
        choice->setCurrentText("そのまま追加");
        list->findChild<QPushButton*>("cmdCancel")->click();
    });
    m_w->findChild<QAction*>("mnuAudioImport")->trigger();
    QCOMPARE(readColumn(m_folder->path(), "cdname", "CD名"), QStringList{"既にあるCD"});
    QCOMPARE(fileHash(m_folder->file("cdkaisou.db")), before);
    QVERIFY(answeredTexts().isEmpty());
}

void TestAudioImport::commandLineAddsAndSays()
{
    auto run = [this](const QStringList& args, QString* out, QString* err) {
        QProcess program;
        program.setWorkingDirectory(m_folder->path());
        program.start(RONDELLA_PROGRAM, QStringList{"--import-audio", music()} + args);
        program.waitForFinished(60000);
        *out = QString::fromLocal8Bit(program.readAllStandardOutput());
        *err = QString::fromLocal8Bit(program.readAllStandardError());
        return program.exitCode();
    };
    QString out, err;
    QCOMPARE(run({}, &out, &err), 0);
    QVERIFY2(out.contains("追加しました：CDID 6「新しいCD」（2曲）")
                 && out.contains("追加しました：CDID 7「もう一枚」（1曲）")
                 && out.contains("飛ばしました（同じCD名がすでにあります）：「既にあるCD」")
                 && out.contains("CD 2枚・曲 3曲を追加しました。同じCD名のため飛ばしたCD 1枚、"
                                 "読めなかったファイル 1件。"),
             qPrintable(out));
    QCOMPARE(readColumn(m_folder->path(), "cdname", "CDID"), (QStringList{"5", "6", "7"}));
    QVERIFY(QFileInfo::exists(jacket::pictureOf(m_folder->path(), 6)));
    // a second run with duplicates allowed adds all three again
    QCOMPARE(run({"--allow-duplicates"}, &out, &err), 0);
    QCOMPARE(readColumn(m_folder->path(), "cdname", "CDID").size(), 6);
    // arguments it does not understand
    QCOMPARE(run({"--collection", m_folder->file("nowhere")}, &out, &err), 2);
    QVERIFY(err.contains("使い方"));
}

void TestAudioImport::commandLineRefusesAHeldCollection()
{
    QLockFile held(m_folder->file("cdkaisou.db.lock"));
    QVERIFY(held.tryLock(0));
    QProcess program;
    program.start(RONDELLA_PROGRAM, {"--import-audio", music(), "--collection", m_folder->path()});
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitCode(), 1);
    QVERIFY(QString::fromLocal8Bit(program.readAllStandardError()).contains("別の Rondella"));
    QCOMPARE(readColumn(m_folder->path(), "cdname", "CD名"), QStringList{"既にあるCD"});
}

// A disk without room for the backup made before the first write, or for
// the rows: refused, said so, nothing added.
void TestAudioImport::commandLineOnAFullDiskAddsNothing()
{
    const QString small = m_folder->file("small");
    QVERIFY(QDir().mkpath(small));
    if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=256k", "tmpfs", small}) != 0)
        QSKIP("a small disk cannot be mounted here (needs root)");
    struct Unmount {
        QString path;
        ~Unmount() { QProcess::execute("umount", {"-l", path}); }
    } unmount{small};
    QVERIFY(QFile::copy(m_folder->file("cdkaisou.db"), small + "/cdkaisou.db"));
    // fill what is left but a little
    QFile filler(small + "/filler");
    QVERIFY(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size() && filler.flush()) { }
    filler.close();
    QFile::resize(small + "/filler", filler.size() - 2048);
    const QByteArray before = fileHash(small + "/cdkaisou.db");
    QProcess program;
    program.start(RONDELLA_PROGRAM, {"--import-audio", music(), "--collection", small});
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitCode(), 1);
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    QVERIFY2(err.contains("何も追加していません"), qPrintable(err));
    QCOMPARE(fileHash(small + "/cdkaisou.db"), before);
}

void TestAudioImport::commandLineNamesWhatItCannotRead_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("said");
    QTest::addColumn<int>("unreadable");
    QTest::addColumn<QStringList>("songsOf"); // each song's CD名
    const QStringList h{"既にあるCD", "h", "新しいCD", "新しいCD", "もう一枚"};
    const QString device
        = "（ジャケット写真）は読めません：通常のファイルではありません（デバイス）";
    QTest::newRow("cover linked to /dev/zero") << "cover-zero"
                                               << "cover.jpg」" + device << 2 << h;
    QTest::newRow("cover a FIFO")
        << "cover-fifo"
        << "cover."
           "jpg」（ジャケット写真）は読めません：通常のファイルではありません（名前付きパイプ）"
        << 2 << h;
    QTest::newRow("cover too large")
        << "cover-large"
        << "cover.jpg」（ジャケット写真）は読めません：ファイルが大きすぎます" << 2 << h;
    // read, but no whole picture: said so, never stored with its lower half grey
    QTest::newRow("cover cut in half") << "cover-cut"
                                       << "「h」のジャケット写真：" << 1 << h;
    QTest::newRow("music linked to /dev/zero")
        << "flac-zero"
        << "2.flac」は読めません：通常のファイルではありません（デバイス）" << 2 << h;
    QTest::newRow("music a FIFO")
        << "flac-fifo"
        << "2.flac」は読めません：通常のファイルではありません（名前付きパイプ）" << 2 << h;
    // TagLib would search all of it for an MP3 frame, for minutes
    QTest::newRow("an MP3 of nothing but zeros")
        << "mp3-zeros"
        << "2.mp3」は音楽ファイルとして読めません" << 2 << h;
    QTest::newRow("music not the user's to read")
        << "flac-denied"
        << "2.flac」は読めません：読み取る権限がありません" << 2 << h;
    QTest::newRow("folder not the user's to read")
        << "folder-denied"
        << "h/sub」の中を読めません：読み取る権限がありません" << 2 << h;
    QTest::newRow("two folders of one ALBUM")
        << "same-album"
        << "同じ名前「新しいCD」のアルバムがほかにもあるため「新しいCD (2)」として取り込みます" << 1
        << QStringList{"既にあるCD", "新しいCD", "新しいCD (2)", "新しいCD (2)", "もう一枚"};
}

// Whatever lies among the music, the import ends soon, adds what it can
// read and names each file or folder it could not, saying why.
void TestAudioImport::commandLineNamesWhatItCannotRead()
{
    QFETCH(QString, kind);
    QFETCH(QString, said);
    QFETCH(int, unreadable);
    QFETCH(QStringList, songsOf);
    const QString h = music() + "/h";
    flac(h + "/1.flac", kind == "same-album" ? "新しいCD" : "h", "h1", 1);
    if (kind.startsWith("cover") || kind == "flac-zero" || kind == "flac-fifo") {
        const QString file = h + (kind.startsWith("cover") ? "/cover.jpg" : "/2.flac");
        if (kind.endsWith("zero"))
            QVERIFY(QFile::link("/dev/zero", file));
        else if (kind.endsWith("fifo"))
            QCOMPARE(QProcess::execute("mkfifo", {file}), 0);
        else if (kind.endsWith("cut")) {
            QFile cut(file);
            QVERIFY(cut.open(QIODevice::WriteOnly));
            const QByteArray jpeg = redPng("JPEG");
            cut.write(jpeg.left(jpeg.size() / 2));
        } else
            QCOMPARE(QProcess::execute("truncate", {"-s", "60M", file}), 0);
    }
    if (kind == "mp3-zeros")
        QCOMPARE(QProcess::execute("truncate", {"-s", "1G", h + "/2.mp3"}), 0);
    QString denied;
    if (kind == "flac-denied") {
        flac(h + "/2.flac", "h", "h2", 2);
        denied = h + "/2.flac";
    } else if (kind == "folder-denied") {
        flac(h + "/sub/1.flac", "sub", "s1", 1);
        denied = h + "/sub";
    }
    QProcess program;
    QStringList args{"--import-audio", music(), "--collection", m_folder->path()};
    if (!denied.isEmpty()) {
        // as root every file is readable: a user of no rights runs it
        QCOMPARE(QProcess::execute("chmod", {"-R", "a+rwX", m_folder->path()}), 0);
        QCOMPARE(QProcess::execute("chmod", {"000", denied}), 0);
        if (::geteuid() == 0)
            args = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", RONDELLA_PROGRAM}
                + args;
    }
    // reading a device without end fails the test, not the machine (a
    // sanitized build: by the sanitizer's own limit, its shadow needing more)
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    program.setChildProcessModifier([] {
        const rlimit limit{rlim_t(4) << 30, rlim_t(4) << 30};
        ::setrlimit(RLIMIT_AS, &limit);
    });
#endif
    program.start(args.first() == "--reuid=65534" ? QString("setpriv") : QString(RONDELLA_PROGRAM),
                  args);
    if (!program.waitForFinished(30000)) {
        program.kill();
        program.waitForFinished();
        QFAIL("the import did not end");
    }
    const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
    QVERIFY2(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0,
             qPrintable(out + QString::fromLocal8Bit(program.readAllStandardError())));
    QVERIFY2(out.contains(said), qPrintable(out));
    if (kind == "cover-cut")
        QVERIFY2(out.contains("ファイルが途中で切れています"), qPrintable(out));
    QVERIFY2(out.contains(QString("読めなかったファイル %1件。").arg(unreadable)), qPrintable(out));
    QCOMPARE(readColumn(m_folder->path(), "kyoku", "CD名"), songsOf);
}

RONDELLA_TEST_MAIN(TestAudioImport)
#include "tst_audioimport.moc"
