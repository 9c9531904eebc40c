#pragma once

#include "search/extract.h"

#include <QFrame>

#include <array>
#include <initializer_list>

class Collection;
class DataCombo;
class ImageButton;
class MMControl;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The criteria panel: thirteen ticked boxes in two frames (曲検索 and CD検索),
// the rules that switch between the frames, and the picture buttons. What a
// search does with the ticked boxes is the main window's.
class SearchPanel : public QFrame {
    Q_OBJECT
public:
    // `dialogSound` is played as the panel opens and as a box is ticked.
    SearchPanel(MMControl* dialogSound, QWidget* parent);

    // What the extraction is asked for: all songs, or a search in the frame
    // in use with the boxes ticked there (the other frame's ticks dropped).
    struct Request {
        bool allSongs = false;
        bool songSearch = false; // in 曲検索; otherwise in CD検索
        QVector<search::Ticked> ticked;
    };
    Request takeRequest();

    // Binds each list input to its value list; one list that fails is told
    // and leaves the others bound.
    void SetcmbList(Collection& db);
    // Opens the panel with every box unticked and every value cleared.
    void openFresh();
    // Opens the panel as it was left.
    void reopen();
    // Hides the panel; Enter no longer searches.
    void closePanel();
    bool allSongsTicked() const;
    void untickAllSongs();

Q_SIGNALS:
    // cmdFilter was pressed (by Enter, the 抽出 picture or the button).
    void filterClicked();
    // The CLOSE picture was clicked.
    void closeClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createFrames();
    void createButtons();
    void createInputs();
    void Check1_Click(int Index);
    void setCmdFilterDefault(bool isDefault);
    bool anyTicked(std::initializer_list<int> boxes) const;
    void untick(std::initializer_list<int> boxes);
    QCheckBox* Check1(int i) const { return m_check1.at(size_t(i)); }
    QWidget* input(int i) const { return m_input.at(size_t(i)); }
    QString criterionValue(int index) const;

    MMControl* m_dialogSound;
    std::array<QCheckBox*, 13> m_check1{};
    std::array<QWidget*, 13> m_input{}; // a DataCombo or a QLineEdit; none for 全曲表示
    QGroupBox* FraKyoku = nullptr;
    QGroupBox* FraCD = nullptr;
    QPushButton* cmdFilter = nullptr;
    QLabel* Label1 = nullptr;
    bool m_cmdFilterDefault = false;
};
