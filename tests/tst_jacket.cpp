// Jacket pictures set from within the program: from a file, the clipboard or
// a drop, on the main window and in the CD form; replaced and deleted
// pictures kept in the trash, the newest ten per CD; a file that is no
// picture refused with nothing changed.
#include "entry/frminputcd.h"
#include "mainui.h"
#include "mainwindow/frmmain.h"
#include "store/catalogue.h"
#include "store/collection.h"
#include "store/dberror.h"
#include "store/jacketfiles.h"
#include "testsupport.h"
#include "widgets/jacketbox.h"
#include "widgets/msgbox.h"

#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QImageReader>
#include <QImageWriter>
#include <QMimeData>
#include <QPainter>
#include <QTest>
#include <QtEndian>

#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sched.h>
#include <stop_token>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QImage solid(int w, int h, Qt::GlobalColor colour)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// The colour at the middle of the stored picture, and its size.
QColor middleOf(const QString& path, QSize* size = nullptr)
{
    QImageReader reader(path);
    const QImage image = reader.read();
    if (size)
        *size = image.size();
    return image.isNull() ? QColor() : image.pixelColor(image.width() / 2, image.height() / 2);
}

bool near(const QColor& a, Qt::GlobalColor b)
{
    const QColor c(b);
    return std::abs(a.red() - c.red()) < 40 && std::abs(a.green() - c.green()) < 40
        && std::abs(a.blue() - c.blue()) < 40;
}

void drop(QWidget* target, QMimeData* data)
{
    const QPoint middle = target->rect().center();
    QDragEnterEvent enter(middle, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent dropped(QPointF(middle), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropped);
}

// What a refusal gives as its cause: the text after the last name in 「」.
QString causeIn(const QString& said)
{
    return said.mid(said.lastIndexOf(u'」') + 1);
}

// Opens a FIFO for writing after five seconds unless it ends first: a read
// blocked on the FIFO then goes on, and the test fails instead of hanging.
struct Unblocker {
    explicit Unblocker(const QString& fifo)
        : thread([name = QFile::encodeName(fifo)](std::stop_token stop) {
              std::mutex mutex;
              std::unique_lock lock(mutex);
              if (!std::condition_variable_any().wait_for(lock, stop, std::chrono::seconds(5),
                                                          [] { return false; })
                  && !stop.stop_requested())
                  ::close(::open(name.constData(), O_WRONLY | O_NONBLOCK));
          })
    {
    }
    std::jthread thread;
};

// The picture in the format's bytes.
QByteArray encoded(const QImage& image, const char* format)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(image);
    return buffer.data();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QImage noise(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x * 7919 % 256, y * 104729 % 256, (x * y) % 251));
    return image;
}

// A photo of a camera's size, its left half dark and its right half light
// as stored, in colour (a JPEG read whole takes four bytes a pixel); a JPEG
// says how it is to be turned in an Exif orientation.
QByteArray cameraPhoto(const char* format, QSize size, int orientation)
{
    if (QByteArray(format) == "bmp") { // run-length coded: small, but read whole
        QByteArray rows;
        for (int y = 0; y < size.height(); ++y) {
            for (char colour : {0, 1})
                for (int left = size.width() / 2; left > 0; left -= 255)
                    rows += char(std::min(left, 255)) + QByteArray(1, colour);
            rows += QByteArray(2, '\0'); // end of the row
        }
        QByteArray bmp(62, '\0');
        auto put = [&bmp](int at, quint32 value) { qToLittleEndian(value, bmp.data() + at); };
        bmp[0] = 'B', bmp[1] = 'M', put(10, 62), put(14, 40), put(18, size.width());
        put(22, size.height()), put(26, 1 | 8 << 16), put(30, 1), put(46, 2), put(58, 0xFFFFC8);
        return bmp + rows + QByteArray("\0\1", 2);
    }
    QImage photo(size, QImage::Format_Indexed8);
    photo.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 200)});
    for (int y = 0; y < size.height(); ++y) {
        std::memset(photo.scanLine(y), 0, size.width() / 2);
        std::memset(photo.scanLine(y) + size.width() / 2, 1, size.width() - size.width() / 2);
    }
    QByteArray bytes = encoded(photo, format);
    if (orientation) {
        QByteArray exif("\xFF\xE1\0\x22"
                        "Exif\0\0MM\0\x2A\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\0\0\0\0\0\0\0",
                        36);
        exif[29] = char(orientation);
        bytes.insert(2, exif);
    }
    return bytes;
}

} // namespace

class TestJacket : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void fromAFileScaledAndTheOriginalUntouched();
    void fromTheClipboardAndByADrop();
    void aFileThatIsNoPictureChangesNothing();
    void refusedFilesChangeNothing_data();
    void refusedFilesChangeNothing();
    void aCameraPhotoComesInScaledAndUpright_data();
    void aCameraPhotoComesInScaledAndUpright();
    void aPictureNotStoredSaysWhy();
    void theTrashKeepsTheNewestTen();
    void deletingTheCdKeepsItsPicture();
    void theCdFormSetsTheJacketTheWindowShows();

private:
    JacketBox* box() { return named<JacketBox>(m_w, "picCDphoto"); }
    QString jacketOf(int cdid) { return jacket::pictureOf(m_folder->path(), cdid); }
    QStringList trash()
    {
        return QDir(jacket::trashFolder(m_folder->path())).entryList(QDir::Files, QDir::Name);
    }
    std::unique_ptr<StartupFolder> m_folder;
    QPointer<frmMain> m_w;
};

void TestJacket::init()
{
    m_folder = std::make_unique<StartupFolder>();
    writeCollection(m_folder->path(), {cd(1, "運命"), cd(2, "田園"), cd(12, "第九")}, {});
    m_w = startMain();
    QVERIFY(m_w);
    cmdTop(m_w)->click(); // CD 1 on show
    QCOMPARE(box()->cd(), std::optional<qint64>(1));
}

void TestJacket::cleanup()
{
    endTest(m_w, m_folder);
}

void TestJacket::fromAFileScaledAndTheOriginalUntouched()
{
    const QString original = m_folder->file("scan.png");
    QVERIFY(solid(2400, 1000, Qt::red).save(original));
    const QByteArray before = fileHash(original);
    QTimer::singleShot(0, [original] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->selectFile(original);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    box()->findChild<QAction*>("mnuJacketChoose")->trigger();
    QSize size;
    QVERIFY(near(middleOf(jacketOf(1), &size), Qt::red));
    QCOMPARE(size, QSize(1200, 500));
    QCOMPARE(QImageReader(jacketOf(1)).format(), QByteArray("jpeg"));
    QCOMPARE(fileHash(original), before);
    QVERIFY(!box()->pixmap().isNull());
    QVERIFY(near(box()->pixmap().toImage().pixelColor(10, box()->pixmap().height() / 2), Qt::red));
    QCOMPARE(trash(), QStringList()); // nothing was replaced
    QVERIFY(!QFileInfo::exists(jacketOf(1) + ".new"));
}

void TestJacket::fromTheClipboardAndByADrop()
{
    QApplication::clipboard()->setImage(solid(300, 300, Qt::blue));
    box()->findChild<QAction*>("mnuJacketPaste")->trigger();
    QVERIFY(near(middleOf(jacketOf(1)), Qt::blue));
    // a dropped file replaces it; the pasted picture goes to the trash
    QVERIFY(solid(200, 100, Qt::green).save(m_folder->file("dropped.bmp")));
    auto* files = new QMimeData;
    files->setUrls({QUrl::fromLocalFile(m_folder->file("dropped.bmp"))});
    drop(box(), files);
    QVERIFY(near(middleOf(jacketOf(1)), Qt::green));
    QCOMPARE(trash().size(), 1);
    QVERIFY(
        near(middleOf(jacket::trashFolder(m_folder->path()) + "/" + trash().first()), Qt::blue));
    // dropped picture data, on another CD
    cmdNext(m_w)->click();
    QCOMPARE(box()->cd(), std::optional<qint64>(2));
    auto* data = new QMimeData;
    data->setImageData(solid(100, 100, Qt::yellow));
    drop(box(), data);
    QVERIFY(near(middleOf(jacketOf(2)), Qt::yellow));
    QVERIFY(near(middleOf(jacketOf(1)), Qt::green));
    // 削除 keeps it in the trash
    box()->findChild<QAction*>("mnuJacketDelete")->trigger();
    QVERIFY(!QFileInfo::exists(jacketOf(2)));
    QCOMPARE(trash().size(), 2);
    QVERIFY(answeredTexts().isEmpty());
    delete files;
    delete data;
}

void TestJacket::aFileThatIsNoPictureChangesNothing()
{
    QDir().mkpath(m_folder->file("jacket"));
    QVERIFY(solid(100, 100, Qt::red).save(jacketOf(1), "JPG"));
    const QByteArray before = fileHash(jacketOf(1));
    QFile text(m_folder->file("notes.jpg"));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("これは写真ではありません");
    text.close();
    auto* files = new QMimeData;
    files->setUrls({QUrl::fromLocalFile(m_folder->file("notes.jpg"))});
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    drop(box(), files);
    const QString said = answeredTexts().value(0);
    QVERIFY2(said.contains("画像として読めません") && said.contains("notes.jpg"), qPrintable(said));
    QCOMPARE(fileHash(jacketOf(1)), before);
    QCOMPARE(trash(), QStringList());
    // an empty clipboard says so
    QApplication::clipboard()->clear();
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    box()->findChild<QAction*>("mnuJacketPaste")->trigger();
    QVERIFY(answeredTexts().value(0).contains("クリップボードに画像がありません"));
    QCOMPARE(fileHash(jacketOf(1)), before);
    delete files;
}

void TestJacket::refusedFilesChangeNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("cut"); // bytes cut off a picture's end; 0: half of them
    QTest::addColumn<QString>("cause");
    QTest::newRow("FIFO") << "fifo" << 0 << "名前付きパイプ";
    QTest::newRow("link to a device") << "device" << 0 << "デバイス";
    QTest::newRow("over the limit") << "large" << 0 << "大きすぎます";
    QTest::newRow("text") << "text" << 0 << "画像の形式が分かりません";
    QTest::newRow("JPEG cut in half") << "jpeg" << 0 << "途中で切れています";
    QTest::newRow("JPEG short of a byte") << "jpeg" << 1 << "途中で切れています";
    QTest::newRow("JPEG with a thumbnail, cut") << "thumbed" << 0 << "途中で切れています";
    QTest::newRow("BMP short of a byte") << "bmp" << 1 << "途中で切れています";
    QTest::newRow("PNG cut in half") << "png" << 0 << "画像のデータが壊れています";
}

// Not read at all, or read and found no whole picture: the jacket stays as
// it was, and the cause is told in Japanese.
void TestJacket::refusedFilesChangeNothing()
{
    QFETCH(QString, kind);
    QFETCH(int, cut);
    QFETCH(QString, cause);
    QDir().mkpath(m_folder->file("jacket"));
    QVERIFY(solid(100, 100, Qt::red).save(jacketOf(1), "JPG"));
    const QByteArray before = fileHash(jacketOf(1));
    const QString path = m_folder->file("photo.jpg");
    // BMP rows of 1203 bytes and one of padding
    QByteArray bytes = encoded(noise(401, 300), kind == "thumbed" ? "jpeg" : kind.toLatin1());
    if (kind == "thumbed") { // a whole small JPEG in a segment of its own, as Exif keeps one
        const QByteArray thumb = encoded(solid(16, 16, Qt::red), "jpeg");
        QByteArray segment("\xFF\xE2\0\0", 4);
        qToBigEndian(quint16(thumb.size() + 2), segment.data() + 2);
        bytes.insert(2, segment + thumb);
    }
    if (kind == "fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == "device")
        QVERIFY(QFile::link("/dev/zero", path));
    else if (kind == "large")
        QVERIFY(writeFile(path, "") && QFile::resize(path, 60 * 1024 * 1024));
    else
        QVERIFY(writeFile(path,
                          kind == "text" ? QByteArray("写真ではありません")
                                         : bytes.chopped(cut ? cut : bytes.size() / 2)));
    auto* files = new QMimeData;
    files->setUrls({QUrl::fromLocalFile(path)});
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    QElapsedTimer clock;
    clock.start();
    {
        Unblocker unblocker(path);
        drop(box(), files);
    }
    QVERIFY(clock.elapsed() < 4000);
    delete files;
    const QString said = answeredTexts().value(0);
    QVERIFY2(said.contains("「" + QDir::toNativeSeparators(path) + "」は画像として読めません。")
                 && said.endsWith("。ジャケット写真は変えていません。"),
             qPrintable(said));
    QVERIFY2(causeIn(said).contains(cause)
                 && !causeIn(said).contains(QRegularExpression("[A-Za-z]{3,}")),
             qPrintable(said));
    QCOMPARE(fileHash(jacketOf(1)), before);
    QCOMPARE(trash(), QStringList());
    if (kind == "fifo") { // nor does one in the jacket folder hold the window
        QCOMPARE(::mkfifo(QFile::encodeName(jacketOf(2)).constData(), 0600), 0);
        clock.restart();
        {
            Unblocker unblocker(jacketOf(2));
            cmdNext(m_w)->click();
        }
        QVERIFY(clock.elapsed() < 4000);
        QCOMPARE(box()->cd(), std::optional<qint64>(2));
    }
}

void TestJacket::aCameraPhotoComesInScaledAndUpright_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("photo");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("darkTopLeft");
    const QSize camera(8000, 6000);
    QTest::newRow("JPEG turned right")
        << QByteArray("jpeg") << camera << 6 << QSize(900, 1200) << true;
    QTest::newRow("JPEG turned left")
        << QByteArray("jpeg") << camera << 8 << QSize(900, 1200) << false;
    // a gigabyte and more when read whole
    QTest::newRow("JPEG read scaled")
        << QByteArray("jpeg") << QSize(17000, 17000) << 0 << QSize(1200, 1200) << true;
    // more than Qt reads unless it is let to
    QTest::newRow("BMP read whole")
        << QByteArray("bmp") << QSize(12000, 12000) << 0 << QSize(1200, 1200) << true;
}

// A photo as large as cameras make comes in, scaled to the stored size and
// turned as its Exif says.
void TestJacket::aCameraPhotoComesInScaledAndUpright()
{
    QFETCH(QByteArray, format);
    QFETCH(QSize, photo);
    QFETCH(int, orientation);
    QFETCH(QSize, size);
    QFETCH(bool, darkTopLeft);
    const QString path = m_folder->file("camera." + QString::fromLatin1(format));
    QVERIFY(writeFile(path, cameraPhoto(format, photo, orientation)));
    box()->takePicture(jacket::readImage(path));
    const QImage stored(jacketOf(1));
    QCOMPARE(stored.size(), size);
    QCOMPARE(near(stored.pixelColor(20, 20), Qt::black), darkTopLeft);
    QCOMPARE(near(stored.pixelColor(size.width() - 20, size.height() - 20), Qt::black),
             !darkTopLeft);
}

// A full disk keeps the old picture; an empty picture is none to store.
void TestJacket::aPictureNotStoredSaysWhy()
{
    const QString folder = m_folder->file("jacket");
    QDir().mkpath(folder);
    QString said, left;
    bool mounted = false;
    // the jacket folder on a small disk of its own, seen by this thread alone
    std::thread([&] {
        if (::unshare(CLONE_NEWNS) != 0
            || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=64k") != 0)
            return;
        mounted = true;
        jacket::storePicture(m_folder->path(), 1, solid(100, 100, Qt::red));
        const QByteArray before = fileHash(jacketOf(1));
        try {
            jacket::storePicture(m_folder->path(), 1, noise(1200, 1200));
        } catch (const DbError& e) {
            said = e.description();
        }
        left = fileHash(jacketOf(1)) == before ? QDir(folder).entryList(QDir::Files).join(' ')
                                               : "changed";
    }).join();
    if (!mounted)
        QSKIP("no disk of its own can be made here");
    QVERIFY2(said.startsWith("ジャケット写真「" + QDir::toNativeSeparators(jacketOf(1))
                             + "」を書き込めません。\r原因: ディスクに空きがありません"),
             qPrintable(said));
    QCOMPARE(left, "1.jpg");
    said.clear();
    try {
        jacket::storePicture(m_folder->path(), 2, QImage());
    } catch (const DbError& e) {
        said = e.description();
    }
    QCOMPARE(causeIn(said), "を書き込めません。\r原因: 画像が空です");
}

void TestJacket::theTrashKeepsTheNewestTen()
{
    QDir().mkpath(m_folder->file("jacket"));
    QVERIFY(solid(50, 50, Qt::black).save(jacketOf(12), "JPG"));
    jacket::moveToTrash(m_folder->path(), 12); // another CD's, whose number begins with 1
    const Qt::GlobalColor colours[]
        = {Qt::red,      Qt::green,       Qt::blue,    Qt::cyan,      Qt::magenta,
           Qt::yellow,   Qt::gray,        Qt::darkRed, Qt::darkGreen, Qt::darkBlue,
           Qt::darkCyan, Qt::darkMagenta, Qt::white};
    for (Qt::GlobalColor c : colours)
        jacket::storePicture(m_folder->path(), 1, solid(40, 40, c));
    QVERIFY(near(middleOf(jacketOf(1)), Qt::white));
    QStringList ofOne = trash().filter(QRegularExpression("^1-"));
    QCOMPARE(ofOne.size(), 10);
    QCOMPARE(trash().filter(QRegularExpression("^12-")).size(), 1);
    // the oldest two went: the eleven replaced but red and green are kept
    QList<Qt::GlobalColor> kept;
    for (const QString& name : ofOne) {
        const QColor c = middleOf(jacket::trashFolder(m_folder->path()) + "/" + name);
        for (Qt::GlobalColor candidate : colours)
            if (near(c, candidate))
                kept << candidate;
    }
    QCOMPARE(kept.size(), 10);
    QVERIFY(!kept.contains(Qt::red) && !kept.contains(Qt::green) && !kept.contains(Qt::white));
    for (int i = 2; i < 12; ++i)
        QVERIFY2(kept.contains(colours[i]), qPrintable(QString::number(i)));
}

void TestJacket::deletingTheCdKeepsItsPicture()
{
    closeMain(m_w);
    QDir().mkpath(m_folder->file("jacket"));
    QVERIFY(solid(60, 60, Qt::red).save(jacketOf(2), "JPG"));
    QVERIFY(solid(60, 60, Qt::blue).save(jacketOf(1), "JPG"));
    db().OpenDataContext();
    View& cds = *db().cds();
    cds.moveFirst();
    cds.moveNext(); // CD 2
    catalogue::deleteCurrentCD(db().connection(), cds, *db().songsOfCD());
    QVERIFY(!QFileInfo::exists(jacketOf(2)));
    QCOMPARE(trash().size(), 1);
    QVERIFY(near(middleOf(jacket::trashFolder(m_folder->path()) + "/" + trash().first()), Qt::red));
    QVERIFY(QFileInfo::exists(jacketOf(1))); // the others stay
    // a second CD of number 1, as an old database may hold: the picture stays for it
    db().connection().transaction([] {
        db().connection().insertRow("cdname", Connection::cdnameFields(),
                                    {1, "同じ番号のCD", {}, {}, {}, {}, {}, {}});
    });
    cds.requery();
    cds.moveFirst();
    catalogue::deleteCurrentCD(db().connection(), cds, *db().songsOfCD());
    QVERIFY(QFileInfo::exists(jacketOf(1)));
    db().CloseDataContext();
}

void TestJacket::theCdFormSetsTheJacketTheWindowShows()
{
    QTimer::singleShot(0, [this] {
        auto* form = qobject_cast<frmInputCD*>(QApplication::activeModalWidget());
        QVERIFY(form);
        form->cmdFirst->click();
        QCOMPARE(form->picJacket->cd(), std::optional<qint64>(1));
        form->picJacket->takePicture(solid(500, 500, Qt::magenta));
        // a CD being added has no jacket yet
        form->cmdAdd->click();
        QCOMPARE(form->picJacket->cd(), std::nullopt);
        form->cmdCancel->click();
        form->cmdQuit->click();
    });
    m_w->findChild<QAction*>("mnuCDinput")->trigger();
    QVERIFY(near(middleOf(jacketOf(1)), Qt::magenta));
    cmdTop(m_w)->click();
    QVERIFY(near(box()->pixmap().toImage().pixelColor(box()->pixmap().width() / 2,
                                                      box()->pixmap().height() / 2),
                 Qt::magenta));
}

RONDELLA_TEST_MAIN(TestJacket)
#include "tst_jacket.moc"
