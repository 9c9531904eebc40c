#include "jacketbox.h"

#include "msgbox.h"
#include "store/dberror.h"
#include "store/jacketfiles.h"
#include "store/regularfile.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QMimeData>
#include <QPainter>
#include <QtEndian>

namespace jacket {

namespace {

// What reading one picture may take: the largest photo a camera makes (two
// hundred million pixels, four bytes each) comes in at full size where its
// format cannot be read scaled; a file claiming more is refused.
constexpr int pictureMemoryMB = 1024;

QString readerCause(QImageReader::ImageReaderError error)
{
    switch (error) {
    case QImageReader::UnsupportedFormatError:
        return QStringLiteral("画像の形式が分かりません");
    case QImageReader::InvalidDataError:
        return QStringLiteral("画像のデータが壊れています");
    default:
        return QStringLiteral("画像のデータを読み取れません");
    }
}

QString writerCause(QImageWriter::ImageWriterError error)
{
    switch (error) {
    case QImageWriter::InvalidImageError:
        return QStringLiteral("画像が空です");
    case QImageWriter::UnsupportedFormatError:
        return QStringLiteral("JPEG で書き出せません");
    default:
        return QStringLiteral("JPEG に変換できません");
    }
}

// Whether a JPEG reaches its end marker. Qt's reader fills in what a
// cut-off file lacks and reports no error; the end marker is what only a
// whole file has. Segments are passed by their lengths (an embedded
// thumbnail's end marker is no end); coded data holds no marker but
// restarts, FF 00 standing for a coded FF; data after the end (a phone's
// motion photo) is no concern.
bool wholeJpeg(const QByteArray& bytes)
{
    const auto* d = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 2; i + 1 < n;) {
        const uchar marker = d[i + 1];
        if (d[i] != 0xFF || marker == 0xFF) // coded data, or fill before a marker
            ++i;
        else if (marker == 0xD9)
            return true;
        else if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            i += 2;
        else if (i + 3 < n)
            i += 2 + ((qsizetype(d[i + 2]) << 8) | d[i + 3]);
        else
            return false;
    }
    return false;
}

// Whether an uncompressed BMP holds every row its header promises: Qt's
// reader leaves missing rows blank and reports no error. Run-length BMPs
// and the old OS/2 header are not measured.
bool wholeBmp(const QByteArray& bytes)
{
    if (bytes.size() < 34)
        return false;
    auto u32 = [&bytes](int at) { return qFromLittleEndian<quint32>(bytes.constData() + at); };
    const quint32 compression = u32(30);
    if (u32(14) < 40 || (compression != 0 && compression != 3 && compression != 6))
        return true;
    const qint64 width = std::abs(qint64(qint32(u32(18))));
    const qint64 height = std::abs(qint64(qint32(u32(22))));
    const qint64 bits = qFromLittleEndian<quint16>(bytes.constData() + 28);
    const qint64 row = (width * bits + 31) / 32 * 4;
    return qint64(u32(10)) + row * height <= bytes.size();
}

} // namespace

QImage decodePicture(const QByteArray& bytes, QString* why)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    QImageReader::setAllocationLimit(pictureMemoryMB); // Qt has one limit for all its readers
    // Read no larger than it is stored: a camera's photo is scaled while it
    // is read, in the orientation it is stored in, and then turned upright.
    const QSize stored = reader.size();
    if (stored.isValid() && std::max(stored.width(), stored.height()) > longestSide)
        reader.setScaledSize(
            stored.scaled(longestSide, longestSide, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    const QByteArray format = reader.format();
    QImage image = reader.read();
    if (image.isNull()) {
        *why = readerCause(reader.error());
        return QImage();
    }
    if ((format == "jpeg" && !wholeJpeg(bytes)) || (format == "bmp" && !wholeBmp(bytes))) {
        *why = QStringLiteral("ファイルが途中で切れています");
        return QImage();
    }
    return image;
}

QImage readImage(const QString& path)
{
    QString why;
    const QByteArray bytes = regularfile::read(path, regularfile::pictureLimit, &why);
    const QImage image = bytes.isNull() ? QImage() : decodePicture(bytes, &why);
    if (image.isNull())
        throw DbError(
            DbError::TypeMismatch,
            QStringLiteral("「%1」は画像として読めません。%2。ジャケット写真は変えていません。")
                .arg(QDir::toNativeSeparators(path), why));
    return image;
}

QImage imageFrom(const QMimeData* data)
{
    if (!data)
        return QImage();
    if (data->hasImage()) {
        const QImage image = qvariant_cast<QImage>(data->imageData());
        if (!image.isNull())
            return image;
    }
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            return readImage(url.toLocalFile());
    return QImage();
}

QByteArray jpegOf(const QString& collectionFolder, qint64 cdid, const QImage& image)
{
    QImage picture = image;
    if (std::max(picture.width(), picture.height()) > longestSide)
        picture = picture.scaled(longestSide, longestSide, Qt::KeepAspectRatio,
                                 Qt::SmoothTransformation);
    if (picture.hasAlphaChannel()) { // JPEG has none: transparent parts on white
        QImage flat(picture.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter(&flat).drawImage(0, 0, picture);
        picture = flat;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(90);
    if (!writer.write(picture))
        throw DbError(DbError::ProviderError,
                      QStringLiteral("ジャケット写真「%1」を書き込めません。\r原因: %2")
                          .arg(QDir::toNativeSeparators(pictureOf(collectionFolder, cdid)),
                               writerCause(writer.error())));
    return bytes;
}

Replaced storePicture(const QString& collectionFolder, qint64 cdid, const QImage& image)
{
    return replace(collectionFolder, cdid, jpegOf(collectionFolder, cdid, image));
}

} // namespace jacket

JacketBox::JacketBox(const QString& name, QWidget* parent) : QLabel(parent)
{
    setObjectName(name);
    setAlignment(Qt::AlignCenter);
    setFrameShape(QFrame::Box);
    setAcceptDrops(true);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    const std::tuple<const char*, const char16_t*, void (JacketBox::*)()> commands[] = {
        {"mnuJacketChoose", u"画像を選ぶ...", &JacketBox::chooseFile},
        {"mnuJacketPaste", u"画像を貼り付け", &JacketBox::paste},
        {"mnuJacketDelete", u"画像を削除", &JacketBox::deletePicture},
    };
    for (const auto& [action, caption, command] : commands) {
        auto* item = new QAction(QString::fromUtf16(caption), this);
        item->setObjectName(QString::fromLatin1(action));
        connect(item, &QAction::triggered, this, command);
        addAction(item);
    }
}

void JacketBox::showCD(std::optional<qint64> cdid)
{
    m_cdid = cdid;
    showPicture();
}

void JacketBox::showPicture()
{
    clear();
    const QDir jacketFolder(QDir(m_folder).filePath(QStringLiteral("jacket")));
    // Read as a picture from outside is: a FIFO or a device put in the
    // folder must not hold the window.
    auto stored = [](const QString& path) {
        QString why;
        const QByteArray bytes = regularfile::read(path, regularfile::pictureLimit, &why);
        return bytes.isNull() ? QImage() : jacket::decodePicture(bytes, &why);
    };
    QImage picture;
    if (m_cdid)
        picture = stored(jacket::pictureOf(m_folder, *m_cdid));
    if (picture.isNull())
        picture = stored(jacketFolder.filePath(QStringLiteral("damie.jpg")));
    if (picture.isNull())
        return; // no picture and no placeholder: the box stays empty
    const QSize room = contentsRect().size();
    if (picture.width() > room.width() || picture.height() > room.height())
        picture = picture.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    setPixmap(QPixmap::fromImage(picture));
}

bool JacketBox::refusedWithoutCD() const
{
    if (m_cdid)
        return false;
    MsgBox(QStringLiteral("ジャケット写真は、CDを登録してから入れてください。"));
    return true;
}

void JacketBox::takePicture(const QImage& image)
{
    if (refusedWithoutCD())
        return;
    try {
        const QByteArray jpeg = jacket::jpegOf(m_folder, *m_cdid, image);
        if (m_keeper)
            m_keeper(*m_cdid, jpeg);
        else
            jacket::replace(m_folder, *m_cdid, jpeg);
    } catch (const DbError& e) {
        MsgBox(e.description());
        return;
    }
    showPicture();
    Q_EMIT pictureChanged(*m_cdid);
}

void JacketBox::chooseFile()
{
    if (refusedWithoutCD())
        return;
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("ジャケット写真を選ぶ"), m_folder,
        QStringLiteral("画像 (*.jpg *.jpeg *.png *.bmp *.gif *.webp *.tif *.tiff);;"
                       "すべてのファイル (*)"));
    if (path.isEmpty())
        return;
    try {
        takePicture(jacket::readImage(path));
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}

void JacketBox::paste()
{
    if (refusedWithoutCD())
        return;
    try {
        const QImage image = jacket::imageFrom(QApplication::clipboard()->mimeData());
        if (image.isNull()) {
            MsgBox(QStringLiteral("クリップボードに画像がありません。"));
            return;
        }
        takePicture(image);
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}

void JacketBox::deletePicture()
{
    if (refusedWithoutCD())
        return;
    try {
        if (!QFileInfo::exists(jacket::pictureOf(m_folder, *m_cdid)))
            return; // no picture: nothing to delete
        if (m_keeper)
            m_keeper(*m_cdid, QByteArray());
        else
            jacket::moveToTrash(m_folder, *m_cdid);
    } catch (const DbError& e) {
        MsgBox(e.description());
        return;
    }
    showPicture();
    Q_EMIT pictureChanged(*m_cdid);
}

void JacketBox::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasImage() || event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void JacketBox::dropEvent(QDropEvent* event)
{
    try {
        const QImage image = jacket::imageFrom(event->mimeData());
        if (image.isNull()) {
            MsgBox(QStringLiteral(
                "落とされたものは画像ではありません。ジャケット写真は変えていません。"));
            return;
        }
        event->acceptProposedAction();
        takePicture(image);
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}
