#include "jacketbox.h"

#include "msgbox.h"
#include "store/dberror.h"
#include "store/jacketfiles.h"

#include <QAction>
#include <QApplication>
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
#include <QSaveFile>

namespace jacket {

QImage readImage(const QString& path)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    if (image.isNull())
        throw DbError(
            DbError::TypeMismatch,
            QStringLiteral("「%1」は画像として読めません（%2）。ジャケット写真は変えていません。")
                .arg(QDir::toNativeSeparators(path), reader.errorString()));
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

void storePicture(const QString& collectionFolder, qint64 cdid, const QImage& image)
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
    const QString path = pictureOf(collectionFolder, cdid);
    QDir().mkpath(QFileInfo(path).absolutePath());
    // The new picture is written whole beside the old one before anything moves.
    const QString fresh = path + QStringLiteral(".new");
    {
        QSaveFile file(fresh);
        QImageWriter writer(&file, "jpeg");
        writer.setQuality(90);
        if (!file.open(QIODevice::WriteOnly) || !writer.write(picture) || !file.commit())
            throw DbError(DbError::ProviderError,
                          QStringLiteral("ジャケット写真「%1」を書き込めません。\r原因: %2")
                              .arg(QDir::toNativeSeparators(path),
                                   file.error() != QFileDevice::NoError ? file.errorString()
                                                                        : writer.errorString()));
    }
    try {
        moveToTrash(collectionFolder, cdid);
    } catch (const DbError&) {
        QFile::remove(fresh);
        throw;
    }
    if (!QFile::rename(fresh, path)) {
        QFile::remove(fresh);
        throw DbError(
            DbError::ProviderError,
            QStringLiteral("ジャケット写真「%1」を置けません。前の写真は「%2」にあります。")
                .arg(QDir::toNativeSeparators(path),
                     QDir::toNativeSeparators(trashFolder(collectionFolder))));
    }
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
    QImage picture;
    if (m_cdid) {
        QImageReader reader(jacket::pictureOf(m_folder, *m_cdid));
        reader.setAutoTransform(true);
        picture = reader.read();
    }
    if (picture.isNull()) {
        QImageReader reader(jacketFolder.filePath(QStringLiteral("damie.jpg")));
        picture = reader.read();
    }
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
        jacket::storePicture(m_folder, *m_cdid, image);
    } catch (const DbError& e) {
        MsgBox(e.description());
        return;
    }
    showPicture();
    emit pictureChanged(*m_cdid);
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
        if (jacket::moveToTrash(m_folder, *m_cdid).isEmpty())
            return; // no picture: nothing to delete
    } catch (const DbError& e) {
        MsgBox(e.description());
        return;
    }
    showPicture();
    emit pictureChanged(*m_cdid);
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
