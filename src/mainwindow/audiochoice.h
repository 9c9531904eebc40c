#pragma once

#include <QDialog>

#include <functional>

class QTreeWidget;
namespace audio {
struct Album;
}

// The albums found under a folder, each with a tick, its CD名, its song count
// and its first songs; an album whose CD名 is already stored is marked, with
// the choice to add it as it is or pass it by.
class AudioChoiceDialog : public QDialog {
    Q_OBJECT
public:
    AudioChoiceDialog(const QVector<audio::Album>& albums,
                      const std::function<bool(const QString& title)>& stored, QWidget* parent);
    // The indexes of the albums to add, in order.
    QVector<int> chosen() const;

private:
    QTreeWidget* lstAlbums;
};
