#pragma once

#include "store/view.h"

#include <QString>
#include <QVector>

#include <memory>
#include <optional>

// What the two grids show. All data and the CD search show the CDs with the
// songs of the current CD; the song search and the all-songs display show
// songs, beside the list of the CDs that hold them.
enum class DisplayState { AllData, CDSearch, SongSearch, AllSongs };

inline bool isUnlinkedState(DisplayState s)
{
    return s == DisplayState::SongSearch || s == DisplayState::AllSongs;
}

namespace search {

// One ticked box of the criteria panel: its index (as Check1) and its text.
struct Ticked {
    int index;
    QString value;
};

// The criteria text of the ticked boxes, in index order, joined by "and";
// or the words of the refusal when the boxes do not make a search.
struct CriteriaResult {
    QString criteria;
    QString refusal;
    bool refused() const { return !refusal.isEmpty(); }
};
CriteriaResult buildCriteria(const QVector<Ticked>& ticked);

// The field and the comparison behind one box; null field for 全曲表示.
const char16_t* criterionField(int index);

// The in-memory CD list of the unlinked view: every CD that holds a song the
// song view shows, each once, in the order of the songs; price and date as
// the text the grids show. A song of no stored CD adds nothing.
std::shared_ptr<View> buildCDList(const View& songs);

} // namespace search
