#pragma once

class QComboBox;

// While the user types into an editable list, offers the list's entries that
// contain what was typed, compared as quick find compares (full- and
// half-width, case, kana, spaces, ヴ), in Japanese order. Picking one puts it
// into the box, as picking it from the list does.
void offerEntriesContainingTyped(QComboBox* combo);
