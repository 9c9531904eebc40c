#pragma once

class Collection;
class QWidget;

// The duplicate-title rule for a new CD: reads the title from the form's
// txtInput(1); when a CD of that title is stored, asks whether to store
// another. Returns false when the CD may be stored, true when it must not
// (the title box then has the focus, its text as typed). Throws DbError.
bool CheckCDNameDup(Collection& db, QWidget* form);
