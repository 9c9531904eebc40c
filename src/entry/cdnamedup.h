#pragma once

class Collection;
class QLineEdit;

// The duplicate-title rule for a new CD: when a CD of the title typed in the
// box is stored, asks whether to store another. Returns false when the CD
// may be stored, true when it must not (the title box then has the focus,
// its text as typed). Throws DbError.
bool CheckCDNameDup(Collection& db, QLineEdit* title);
