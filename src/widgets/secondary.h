#pragma once

#include <QDialog>
#include <QWidget>

class QLabel;

// The splash window shown while the main window loads; a click closes it.
class SplashRecord : public QWidget {
    Q_OBJECT
public:
    SplashRecord();

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// "Please wait" while long work runs.
class frmWait : public QWidget {
    Q_OBJECT
public:
    frmWait();
};

// The about box.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);
};

// The help page, shown inside the program so that it needs no desktop
// launcher; links inside the page and to its neighbours work here, links to
// the web go to the desktop's browser.
class frmHelp : public QDialog {
    Q_OBJECT
public:
    frmHelp(const QString& helpFile, QWidget* parent = nullptr);
};

// Places a window of the given client size: centred across the screen, its
// top edge the given number of twips below the top of the screen.
void placeOnScreen(QWidget* window, int topTwips);

// A drawn picture of a compact disc, for the splash and about windows.
QPixmap discPicture(int size);
