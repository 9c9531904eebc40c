#pragma once

class QWidget;

// A window's size, place and maximised state, kept in the user's settings
// between runs.
namespace windowplace {

// Shows the window where it was kept and returns true; returns false (and
// shows nothing) when none was kept or the place is on no screen now.
bool showAsKept(QWidget* window);
// Keeps the place it has when not maximised, and whether it is.
void keep(const QWidget* window);

} // namespace windowplace
