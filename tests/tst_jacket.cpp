// Jacket pictures set from within the program: from a file, the clipboard or
// a drop; replaced and deleted pictures kept in the trash, the newest ten per
// CD; a file that is no picture refused with nothing changed.
#include "mainui.h"
#include "store/jacketfiles.h"
#include "testsupport.h"
#include "widgets/jacketbox.h"
#include "widgets/msgbox.h"

#include <QBuffer>
#include <QClipboard>
#include <QImageWriter>
#include <QMimeData>
#include <QtEndian>

#include <fcntl.h>
#include <sched.h>
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

// Whether the picture is of that colour at its middle.
bool shows(const QImage& image, Qt::GlobalColor colour)
{
    const QColor a = image.pixelColor(image.width() / 2, image.height() / 2), c(colour);
    return !image.isNull()
        && qAbs(a.red() - c.red()) + qAbs(a.green() - c.green()) + qAbs(a.blue() - c.blue()) < 100;
}

void drop(QWidget* target, const QList<QUrl>& files, const QImage& image = {})
{
    QMimeData data;
    data.setUrls(files);
    if (!image.isNull())
        data.setImageData(image);
    const QPoint middle = target->rect().center();
    QDragEnterEvent enter(middle, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent dropped(QPointF(middle), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropped);
}

// Opens the FIFO for writing after five seconds unless stopped first: a
// read blocked on it then goes on, and the test fails instead of hanging.
std::jthread unblocker(const QString& fifo)
{
    return std::jthread([name = QFile::encodeName(fifo)](std::stop_token stop) {
        for (int i = 0; i < 50 && !stop.stop_requested(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!stop.stop_requested())
            ::close(::open(name.constData(), O_WRONLY | O_NONBLOCK));
    });
}

QByteArray encoded(const QImage& image, const char* format)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(image);
    return buffer.data();
}

QImage noise(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x * 7919 % 256, y * 104729 % 256, (x * y) % 251));
    return image;
}

// A JPEG of a camera's size, its left half dark and its right half light as
// stored (read whole it takes four bytes a pixel), saying in its Exif how it
// is to be turned.
QByteArray cameraPhoto(QSize size, int orientation)
{
    QImage photo(size, QImage::Format_Indexed8);
    photo.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 200)});
    for (int y = 0; y < size.height(); ++y) {
        std::memset(photo.scanLine(y), 0, size.width() / 2);
        std::memset(photo.scanLine(y) + size.width() / 2, 1, size.width() - size.width() / 2);
    }
    QByteArray bytes = encoded(photo, "jpeg");
    QByteArray exif("\xFF\xE1\0\x22"
                    "Exif\0\0MM\0\x2A\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\0\0\0\0\0\0\0",
                    36);
    exif[29] = char(orientation);
    return bytes.insert(2, exif);
}

} // namespace

class TestJacket : public MainWindowTest {
    Q_OBJECT
private slots:
    void init();
    void fromAFileTheClipboardAndADrop();
    void refusedFilesChangeNothing_data();
    void refusedFilesChangeNothing();
    void aCameraPhotoComesInScaledAndUpright();
    void aPictureNotStoredSaysWhy();
    void theTrashKeepsTheNewestTen();

private:
    JacketBox* box() { return named<JacketBox>(m_w, u"picCDphoto"_s); }
    void act(const char* name) { box()->findChild<QAction*>(QLatin1String(name))->trigger(); }
    QString jacketOf(int cdid) { return jacket::pictureOf(m_folder->path(), cdid); }
    QString trashed(int i = -1) // the trash's names; the i-th
    {
        const QDir trash(jacket::trashFolder(m_folder->path()));
        const QStringList names = trash.entryList(QDir::Files, QDir::Name);
        return i < 0 ? names.join(u' ') : trash.filePath(names.value(i));
    }
    // CD 1's jacket made red; its bytes
    QByteArray redJacket()
    {
        QDir().mkpath(m_folder->file(u"jacket"_s));
        return solid(100, 100, Qt::red).save(jacketOf(1), "JPG") ? fileHash(jacketOf(1))
                                                                 : QByteArray();
    }
};

void TestJacket::init()
{
    MainWindowTest::init();
    writeCollection(m_folder->path(), {cd(1, u"運命"_s), cd(2, u"田園"_s), cd(12, u"第九"_s)}, {});
    QVERIFY(start());
    cmdTop(m_w)->click(); // CD 1 on show
    QCOMPARE(box()->cd(), std::optional<qint64>(1));
}

void TestJacket::fromAFileTheClipboardAndADrop()
{
    // chosen in the file dialog: scaled in its proportions, and on show
    const QString original = m_folder->file(u"scan.png"_s);
    QVERIFY(solid(2400, 1000, Qt::red).save(original));
    QVERIFY(triggerCommand(box(), "mnuJacketChoose", {original}).isEmpty());
    QCOMPARE(QImage(jacketOf(1)).size(), QSize(1200, 500));
    QVERIFY(shows(box()->pixmap().toImage(), Qt::red));
    // pasted, scaled too, it replaces the chosen one, which goes to the trash
    QApplication::clipboard()->setImage(solid(1000, 2400, Qt::blue));
    act("mnuJacketPaste");
    QCOMPARE(QImage(jacketOf(1)).size(), QSize(500, 1200));
    QVERIFY(shows(QImage(jacketOf(1)), Qt::blue) && shows(QImage(trashed(0)), Qt::red));
    // a dropped file (a whole BMP); dropped picture data, on another CD
    QVERIFY(solid(200, 100, Qt::green).save(m_folder->file(u"dropped.bmp"_s)));
    drop(box(), {QUrl::fromLocalFile(m_folder->file(u"dropped.bmp"_s))});
    QVERIFY(shows(QImage(jacketOf(1)), Qt::green));
    cmdNext(m_w)->click();
    drop(box(), {}, solid(100, 100, Qt::yellow));
    QVERIFY(shows(QImage(jacketOf(2)), Qt::yellow) && shows(QImage(jacketOf(1)), Qt::green));
    act("mnuJacketDelete"); // kept in the trash
    QVERIFY(!QFileInfo::exists(jacketOf(2)) && shows(QImage(trashed(2)), Qt::yellow));
    // each is a change of the history: taken back, the picture is on show again
    QCOMPARE(db().History().value(0).kind, u"ジャケットの削除"_s);
    trigger(m_w, u"mnuUndo"_s);
    QVERIFY2(shows(QImage(jacketOf(2)), Qt::yellow), qPrintable(answeredTexts().join(u"/")));
    QVERIFY2(shows(box()->pixmap().toImage(), Qt::yellow),
             qPrintable(QString::number(box()->cd().value_or(-1))));
    QVERIFY(answeredTexts().isEmpty());
    QApplication::clipboard()->clear();
    QCOMPARE(triggerCommand(box(), "mnuJacketPaste", {}, {QMessageBox::Ok}),
             QStringList{u"クリップボードに画像がありません。"_s});
}

void TestJacket::refusedFilesChangeNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("cause");
    const QString cut = u"途中で切れています"_s;
    QTest::newRow("FIFO") << u"fifo"_s << u"名前付きパイプ"_s;
    QTest::newRow("link to a device") << u"device"_s << u"デバイス"_s;
    QTest::newRow("over the limit") << u"large"_s << u"大きすぎます"_s;
    QTest::newRow("text") << u"text"_s << u"画像の形式が分かりません"_s;
    QTest::newRow("JPEG short of a byte") << u"jpeg"_s << cut;
    QTest::newRow("JPEG with a thumbnail, cut") << u"thumbed"_s << cut;
    QTest::newRow("BMP short of a byte") << u"bmp"_s << cut;
    QTest::newRow("PNG cut in half") << u"png"_s << u"画像のデータが壊れています"_s;
}

// Not read at all, or read and found no whole picture: the jacket stays as
// it was, the cause is told in Japanese, and nothing holds the window.
void TestJacket::refusedFilesChangeNothing()
{
    QFETCH(QString, kind);
    QFETCH(QString, cause);
    const QByteArray before = redJacket();
    const QString path = m_folder->file(u"photo.jpg"_s);
    // BMP rows of 1203 bytes and one of padding
    QByteArray bytes = encoded(noise(401, 300), kind == u"thumbed" ? "jpeg" : kind.toLatin1());
    if (kind == u"thumbed") { // a whole small JPEG in a segment of its own, as Exif keeps one
        const QByteArray thumb = encoded(solid(16, 16, Qt::red), "jpeg");
        QByteArray segment("\xFF\xE2\0\0", 4);
        qToBigEndian(quint16(thumb.size() + 2), segment.data() + 2);
        bytes = bytes.insert(2, segment + thumb).chopped(bytes.size() / 2);
    }
    if (kind == u"fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == u"device")
        QVERIFY(QFile::link(u"/dev/zero"_s, path));
    else if (kind == u"large")
        QVERIFY(writeBytes(path, {}) && QFile::resize(path, 60 * 1024 * 1024));
    else
        QVERIFY(writeBytes(path,
                           kind == u"text"      ? "写真ではありません"_ba
                               : kind == u"png" ? bytes.chopped(bytes.size() / 2)
                                                : bytes.chopped(1)));
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    QElapsedTimer clock;
    clock.start();
    {
        const auto unblocking = unblocker(path);
        drop(box(), {QUrl::fromLocalFile(path)});
    }
    QVERIFY(clock.elapsed() < 4000);
    const QString said = answeredTexts().value(0), why = said.mid(said.lastIndexOf(u'」') + 1);
    QVERIFY2(
        said.contains(u"「"_s + QDir::toNativeSeparators(path) + u"」は画像として読めません。"_s)
            && said.endsWith(u"。ジャケット写真は変えていません。"_s) && why.contains(cause)
            && !why.contains(QRegularExpression(u"[A-Za-z]{3,}"_s)),
        qPrintable(said));
    QCOMPARE(fileHash(jacketOf(1)), before);
    QCOMPARE(trashed(), QString());
    if (kind == u"fifo") { // nor does one in the jacket folder hold the window
        QCOMPARE(::mkfifo(QFile::encodeName(jacketOf(2)).constData(), 0600), 0);
        clock.restart();
        const auto unblocking = unblocker(jacketOf(2));
        cmdNext(m_w)->click();
        QVERIFY(clock.elapsed() < 4000);
    }
}

// A photo as large as cameras make comes in, scaled to the stored size and
// turned as its Exif says.
void TestJacket::aCameraPhotoComesInScaledAndUpright()
{
    const QSize camera(8000, 6000), upright(900, 1200);
    // the photo, its Exif orientation, the size stored, whether its top left is dark
    const std::tuple<QSize, int, QSize, bool> rows[] = {
        {camera, 6, upright, true}, // turned right
        {camera, 8, upright, false}, // turned left
        {QSize(17000, 17000), 1, QSize(1200, 1200), true}, // a gigabyte and more read whole
    };
    const QString path = m_folder->file(u"camera.jpg"_s);
    for (const auto& [photo, orientation, size, darkTopLeft] : rows) {
        QVERIFY(writeBytes(path, cameraPhoto(photo, orientation)));
        box()->takePicture(jacket::readImage(path));
        const QImage stored(jacketOf(1));
        const bool topLeft = qGray(stored.pixel(20, 20)) < 100,
                   bottomRight = qGray(stored.pixel(size.width() - 20, size.height() - 20)) < 100;
        QVERIFY2(stored.size() == size && topLeft == darkTopLeft && bottomRight != darkTopLeft,
                 qPrintable(u"orientation %1"_s.arg(orientation)));
    }
}

// A full disk keeps the old picture; an empty picture is none to store.
void TestJacket::aPictureNotStoredSaysWhy()
{
    const QString folder = m_folder->file(u"jacket"_s);
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
        const QByteArray before = redJacket();
        said = thrown([&] { jacket::storePicture(m_folder->path(), 1, noise(1200, 1200)); }).second;
        left = fileHash(jacketOf(1)) == before ? QDir(folder).entryList(QDir::Files).join(u' ')
                                               : u"changed"_s;
    }).join();
    if (!mounted)
        QSKIP("no disk of its own can be made here");
    QVERIFY2(said.endsWith(u"」を書き込めません。\r原因: ディスクに空きがありません"_s),
             qPrintable(said));
    QCOMPARE(left, u"1.jpg"_s);
    said = thrown([&] { jacket::storePicture(m_folder->path(), 2, QImage()); }).second;
    QVERIFY2(said.endsWith(u"」を書き込めません。\r原因: 画像が空です"_s), qPrintable(said));
}

// Replaced pictures kept in the trash, the newest ten per CD; a CD deleted
// takes its picture there, unless another CD bears its number.
void TestJacket::theTrashKeepsTheNewestTen()
{
    closeMain(m_w);
    QDir().mkpath(m_folder->file(u"jacket"_s));
    QVERIFY(solid(50, 50, Qt::black).save(jacketOf(12), "JPG"));
    jacket::moveToTrash(m_folder->path(), 12); // another CD's, whose number begins with 1
    // thirteen pictures told by their widths: of the twelve replaced, the oldest two go
    for (int width = 40; width <= 52; ++width)
        jacket::storePicture(m_folder->path(), 1, solid(width, 40, Qt::red));
    QList<int> kept; // with CD 12's, 50 wide
    for (int i = 0; i < 11; ++i)
        kept << QImage(trashed(i)).width();
    std::sort(kept.begin(), kept.end());
    QCOMPARE(kept, (QList<int>{42, 43, 44, 45, 46, 47, 48, 49, 50, 50, 51}));
    QCOMPARE(QImage(jacketOf(1)).width(), 52);
    QVERIFY(solid(60, 60, Qt::red).save(jacketOf(2), "JPG"));
    db().OpenDataContext();
    View& cds = *db().cds();
    cds.moveFirst();
    cds.moveNext(); // CD 2
    catalogue::deleteCurrentCD(db().connection(), cds, *db().songsOfCD());
    QVERIFY(!QFileInfo::exists(jacketOf(2)) && trashed().contains(u" 2-"_s));
    // a second CD of number 1, as an old database may hold: the picture stays for it
    db().connection().transaction([] {
        db().connection().insertRow(u"cdname"_s, Connection::cdnameFields(),
                                    {1, u"同じ番号のCD"_s, {}, {}, {}, {}, {}, {}});
    });
    cds.requery();
    cds.moveFirst();
    catalogue::deleteCurrentCD(db().connection(), cds, *db().songsOfCD());
    QVERIFY(QFileInfo::exists(jacketOf(1)));
    db().CloseDataContext();
}

RONDELLA_TEST_MAIN(TestJacket)
#include "tst_jacket.moc"
