#pragma once

// Start-up: sets the locale, Qt's Japanese texts and the fonts, locks the
// collection folder (the current folder), shows the splash while the main
// window loads, and returns once the main window is shown. Returns false
// when the program is to end at once (another Rondella has the collection
// open, or its folder cannot be locked).
bool Main();
