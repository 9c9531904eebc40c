// Jacket pictures set from within the program: from a file, the clipboard or
// a drop; replaced and deleted
// pictures kept in the trash, the newest ten per CD; a file that is no
// picture refused with nothing changed.
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
#include <QTest>
#include <QtEndian>

#include <cstring>
#include <fcntl.h>
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

// What a refusal gives as its cause: the text after the last name in 「」.
QString causeIn(const QString& said)
{
    return said.mid(said.lastIndexOf(u'」') + 1);
}

// What the work's DbError says; empty when it throws none.
QString refusal(const std::function<void()>& work)
{
    try {
        work();
    } catch (const DbError& e) {
        return e.description();
    }
    return QString();
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
    void cleanup() { endTest(m_w, m_folder); }
    void fromAFileTheClipboardAndADrop();
    void refusedFilesChangeNothing_data();
    void refusedFilesChangeNothing();
    void aCameraPhotoComesInScaledAndUpright_data();
    void aCameraPhotoComesInScaledAndUpright();
    void aPictureNotStoredSaysWhy();
    void theTrashKeepsTheNewestTen();

private:
    JacketBox* box() { return named<JacketBox>(m_w, u"picCDphoto"_s); }
    void act(const char* name) { box()->findChild<QAction*>(QLatin1String(name))->trigger(); }
    QString jacketOf(int cdid) { return jacket::pictureOf(m_folder->path(), cdid); }
    QStringList trash()
    {
        return QDir(jacket::trashFolder(m_folder->path())).entryList(QDir::Files, QDir::Name);
    }
    QImage trashed(int i)
    {
        return QImage(jacket::trashFolder(m_folder->path()) + u'/' + trash()[i]);
    }
    // CD 1's jacket made red; its bytes
    QByteArray redJacket()
    {
        QDir().mkpath(m_folder->file(u"jacket"_s));
        return solid(100, 100, Qt::red).save(jacketOf(1), "JPG") ? fileHash(jacketOf(1))
                                                                 : QByteArray();
    }
    std::unique_ptr<StartupFolder> m_folder;
    QPointer<frmMain> m_w;
};

void TestJacket::init()
{
    m_folder = std::make_unique<StartupFolder>();
    writeCollection(m_folder->path(), {cd(1, u"運命"_s), cd(2, u"田園"_s), cd(12, u"第九"_s)}, {});
    m_w = startMain();
    QVERIFY(m_w);
    cmdTop(m_w)->click(); // CD 1 on show
    QCOMPARE(box()->cd(), std::optional<qint64>(1));
}

void TestJacket::fromAFileTheClipboardAndADrop()
{
    // chosen in the file dialog: scaled, stored as JPEG, the original untouched
    const QString original = m_folder->file(u"scan.png"_s);
    QVERIFY(solid(2400, 1000, Qt::red).save(original));
    const QByteArray before = fileHash(original);
    QTimer::singleShot(0, [original] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->selectFile(original);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    act("mnuJacketChoose");
    QCOMPARE(QImage(jacketOf(1)).size(), QSize(1200, 500));
    QVERIFY(shows(QImage(jacketOf(1)), Qt::red));
    QCOMPARE(QImageReader(jacketOf(1)).format(), "jpeg"_ba);
    QCOMPARE(fileHash(original), before);
    QVERIFY(shows(box()->pixmap().toImage(), Qt::red));
    QCOMPARE(trash(), QStringList()); // nothing was replaced
    QVERIFY(!QFileInfo::exists(jacketOf(1) + u".new"_s));
    // pasted, it replaces the chosen one, which goes to the trash
    QApplication::clipboard()->setImage(solid(300, 300, Qt::blue));
    act("mnuJacketPaste");
    QVERIFY(shows(QImage(jacketOf(1)), Qt::blue));
    QVERIFY(trash().size() == 1 && shows(trashed(0), Qt::red));
    // a dropped file; dropped picture data, on another CD
    QVERIFY(solid(200, 100, Qt::green).save(m_folder->file(u"dropped.bmp"_s)));
    drop(box(), {QUrl::fromLocalFile(m_folder->file(u"dropped.bmp"_s))});
    QVERIFY(shows(QImage(jacketOf(1)), Qt::green));
    cmdNext(m_w)->click();
    QCOMPARE(box()->cd(), std::optional<qint64>(2));
    drop(box(), {}, solid(100, 100, Qt::yellow));
    QVERIFY(shows(QImage(jacketOf(2)), Qt::yellow) && shows(QImage(jacketOf(1)), Qt::green));
    // 削除 keeps it in the trash
    act("mnuJacketDelete");
    QVERIFY(!QFileInfo::exists(jacketOf(2)));
    QCOMPARE(trash().size(), 3);
    QVERIFY(answeredTexts().isEmpty());
    // an empty clipboard says so
    QApplication::clipboard()->clear();
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    act("mnuJacketPaste");
    QVERIFY(answeredTexts().value(0).contains(u"クリップボードに画像がありません"_s));
    QCOMPARE(trash().size(), 3);
}

void TestJacket::refusedFilesChangeNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("cut"); // bytes cut off a picture's end; 0: half of them
    QTest::addColumn<QString>("cause");
    const QString cut = u"途中で切れています"_s;
    QTest::newRow("FIFO") << u"fifo"_s << 0 << u"名前付きパイプ"_s;
    QTest::newRow("link to a device") << u"device"_s << 0 << u"デバイス"_s;
    QTest::newRow("over the limit") << u"large"_s << 0 << u"大きすぎます"_s;
    QTest::newRow("text") << u"text"_s << 0 << u"画像の形式が分かりません"_s;
    QTest::newRow("JPEG cut in half") << u"jpeg"_s << 0 << cut;
    QTest::newRow("JPEG short of a byte") << u"jpeg"_s << 1 << cut;
    QTest::newRow("JPEG with a thumbnail, cut") << u"thumbed"_s << 0 << cut;
    QTest::newRow("BMP short of a byte") << u"bmp"_s << 1 << cut;
    QTest::newRow("PNG cut in half") << u"png"_s << 0 << u"画像のデータが壊れています"_s;
}

// Not read at all, or read and found no whole picture: the jacket stays as
// it was, the cause is told in Japanese, and nothing holds the window.
void TestJacket::refusedFilesChangeNothing()
{
    QFETCH(QString, kind);
    QFETCH(int, cut);
    QFETCH(QString, cause);
    const QByteArray before = redJacket();
    const QString path = m_folder->file(u"photo.jpg"_s);
    // BMP rows of 1203 bytes and one of padding
    QByteArray bytes = encoded(noise(401, 300), kind == u"thumbed" ? "jpeg" : kind.toLatin1());
    if (kind == u"thumbed") { // a whole small JPEG in a segment of its own, as Exif keeps one
        const QByteArray thumb = encoded(solid(16, 16, Qt::red), "jpeg");
        QByteArray segment("\xFF\xE2\0\0", 4);
        qToBigEndian(quint16(thumb.size() + 2), segment.data() + 2);
        bytes.insert(2, segment + thumb);
    }
    if (kind == u"fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == u"device")
        QVERIFY(QFile::link(u"/dev/zero"_s, path));
    else if (kind == u"large")
        QVERIFY(writeFile(path, {}) && QFile::resize(path, 60 * 1024 * 1024));
    else
        QVERIFY(writeFile(path,
                          kind == u"text" ? "写真ではありません"_ba
                                          : bytes.chopped(cut ? cut : bytes.size() / 2)));
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    QElapsedTimer clock;
    clock.start();
    {
        const auto unblocking = unblocker(path);
        drop(box(), {QUrl::fromLocalFile(path)});
    }
    QVERIFY(clock.elapsed() < 4000);
    const QString said = answeredTexts().value(0);
    QVERIFY2(
        said.contains(u"「"_s + QDir::toNativeSeparators(path) + u"」は画像として読めません。"_s)
            && said.endsWith(u"。ジャケット写真は変えていません。"_s),
        qPrintable(said));
    QVERIFY2(causeIn(said).contains(cause)
                 && !causeIn(said).contains(QRegularExpression(u"[A-Za-z]{3,}"_s)),
             qPrintable(said));
    QCOMPARE(fileHash(jacketOf(1)), before);
    QCOMPARE(trash(), QStringList());
    if (kind == u"fifo") { // nor does one in the jacket folder hold the window
        QCOMPARE(::mkfifo(QFile::encodeName(jacketOf(2)).constData(), 0600), 0);
        clock.restart();
        {
            const auto unblocking = unblocker(jacketOf(2));
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
    const QSize camera(8000, 6000), upright(900, 1200), square(1200, 1200);
    QTest::newRow("JPEG turned right") << "jpeg"_ba << camera << 6 << upright << true;
    QTest::newRow("JPEG turned left") << "jpeg"_ba << camera << 8 << upright << false;
    // a gigabyte and more when read whole
    QTest::newRow("JPEG read scaled") << "jpeg"_ba << QSize(17000, 17000) << 0 << square << true;
    // more than Qt reads unless it is let to
    QTest::newRow("BMP read whole") << "bmp"_ba << QSize(12000, 12000) << 0 << square << true;
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
    const QString path = m_folder->file(u"camera."_s + QString::fromLatin1(format));
    QVERIFY(writeFile(path, cameraPhoto(format, photo, orientation)));
    box()->takePicture(jacket::readImage(path));
    const QImage stored(jacketOf(1));
    QCOMPARE(stored.size(), size);
    QCOMPARE(qGray(stored.pixel(20, 20)) < 100, darkTopLeft);
    QCOMPARE(qGray(stored.pixel(size.width() - 20, size.height() - 20)) < 100, !darkTopLeft);
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
        said = refusal([&] { jacket::storePicture(m_folder->path(), 1, noise(1200, 1200)); });
        left = fileHash(jacketOf(1)) == before ? QDir(folder).entryList(QDir::Files).join(u' ')
                                               : u"changed"_s;
    }).join();
    if (!mounted)
        QSKIP("no disk of its own can be made here");
    QVERIFY2(said.startsWith(u"ジャケット写真「"_s + QDir::toNativeSeparators(jacketOf(1))
                             + u"」を書き込めません。\r原因: ディスクに空きがありません"_s),
             qPrintable(said));
    QCOMPARE(left, u"1.jpg"_s);
    said = refusal([&] { jacket::storePicture(m_folder->path(), 2, QImage()); });
    QCOMPARE(causeIn(said), u"を書き込めません。\r原因: 画像が空です"_s);
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
    QCOMPARE(QImage(jacketOf(1)).width(), 52);
    QCOMPARE(trash().filter(QRegularExpression(u"^12-"_s)).size(), 1);
    QList<int> kept;
    for (int i = 0; i < trash().size(); ++i)
        if (trash()[i].startsWith(u"1-"_s))
            kept << trashed(i).width();
    std::sort(kept.begin(), kept.end());
    QCOMPARE(kept, (QList<int>{42, 43, 44, 45, 46, 47, 48, 49, 50, 51}));
    QVERIFY(solid(60, 60, Qt::red).save(jacketOf(2), "JPG"));
    db().OpenDataContext();
    View& cds = *db().cds();
    cds.moveFirst();
    cds.moveNext(); // CD 2
    catalogue::deleteCurrentCD(db().connection(), cds, *db().songsOfCD());
    QVERIFY(!QFileInfo::exists(jacketOf(2)) && QFileInfo::exists(jacketOf(1)));
    QCOMPARE(trash().filter(QRegularExpression(u"^2-"_s)).size(), 1);
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
