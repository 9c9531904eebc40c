#pragma once

#include <QDialog>

class QCheckBox;

// What the collector chooses before rows of another catalogue come in:
// whether the rows that are no CD come too (CD以外も取り込む), and whether
// each CD gets a song standing for it with the artist as its 演奏団体.
class OtherImportDialog : public QDialog {
    Q_OBJECT
public:
    // `title` names the catalogue; `said` tells what the file holds.
    OtherImportDialog(const QString& title, const QString& said, QWidget* parent);
    // Hides the second tick, for a catalogue whose entries hold their songs.
    void offerArtistSongs(bool offered);
    bool allMedia() const;
    bool artistSongs() const;

private:
    QCheckBox* chkAllMedia;
    QCheckBox* chkArtistSong;
};
