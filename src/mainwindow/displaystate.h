#pragma once

// What the two grids show. All data and the CD search show the CDs with the
// songs of the current CD; the song search and the all-songs display show
// songs, beside the list of the CDs that hold them.
enum class DisplayState { AllData, CDSearch, SongSearch, AllSongs };

inline bool isUnlinkedState(DisplayState s)
{
    return s == DisplayState::SongSearch || s == DisplayState::AllSongs;
}
