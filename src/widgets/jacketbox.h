#pragma once

#include "store/jacketfiles.h"

#include <QImage>
#include <QLabel>

#include <functional>

#include <optional>

class QMimeData;

namespace jacket {

constexpr int longestSide = 1200;

// The picture in `bytes`, upright, read no larger than `longestSide`; a null
// image with *why saying in Japanese why when it is no picture, a damaged
// one or one cut off.
QImage decodePicture(const QByteArray& bytes, QString* why);
// The picture in an ordinary file of at most regularfile::pictureLimit, as
// decodePicture reads it, or a DbError in Japanese naming the file and why.
QImage readImage(const QString& path);
// The picture dropped or pasted: image data, or the first local file of
// picture; a null image when there is neither. A file that is not a
// picture throws as readImage does.
QImage imageFrom(const QMimeData* data);
// The picture as the CD's jacket is stored: JPEG, its longest side at most
// 1200 px. Throws DbError naming the CD's picture.
QByteArray jpegOf(const QString& collectionFolder, qint64 cdid, const QImage& image);
// Stores the picture as the CD's jacket, as jpegOf makes it, written whole
// through a temporary file; the picture it replaces goes to the trash first.
// Throws DbError.
Replaced storePicture(const QString& collectionFolder, qint64 cdid, const QImage& image);

} // namespace jacket

// The jacket picture of a CD, scaled into the box (the placeholder where the
// CD has none). Its context menu chooses a picture from a file, pastes one
// from the clipboard or deletes it; a picture dropped on it is taken too.
// Every change asks nothing and loses nothing: the picture replaced or
// deleted goes to the trash.
class JacketBox : public QLabel {
    Q_OBJECT
public:
    JacketBox(const QString& name, QWidget* parent);

    void setCollectionFolder(const QString& folder) { m_folder = folder; }
    // Who stores a picture (empty bytes: deletes it) so that it is a change of
    // the collection, taken back as the others; without one the files alone
    // change.
    using Keeper = std::function<void(qint64 cdid, const QByteArray& jpeg)>;
    void setKeeper(Keeper keeper) { m_keeper = std::move(keeper); }
    // The CD whose picture is shown; none while there is no stored CD (the
    // commands then say so).
    void showCD(std::optional<qint64> cdid);
    std::optional<qint64> cd() const { return m_cdid; }

    void chooseFile();
    void paste();
    void deletePicture();
    // Takes the picture as the CD's and shows it; a refusal is told.
    void takePicture(const QImage& image);

Q_SIGNALS:
    void pictureChanged(qint64 cdid);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool refusedWithoutCD() const;
    void showPicture();

    QString m_folder;
    Keeper m_keeper;
    std::optional<qint64> m_cdid;
};
