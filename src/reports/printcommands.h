#pragma once

#include <QObject>

#include <functional>

class BandedReport;
class Collection;
class MMControl;
class QPrinter;
class QWidget;

// Gives the boxes of a layout's band the CD fields (the CD list, the CDs
// with their songs) or the song fields (`member`: the view of child rows
// they come from, or none) they print, with the formats the window shows.
void assignCDFields(BandedReport& report, const QString& band);
void assignSongFields(BandedReport& report, const QString& band, const QString& member);

// The ファイル menu's print previews.
class PrintCommands : public QObject {
    Q_OBJECT
public:
    // `rebind` binds the grids again once a preview closes: the report's
    // views were moved through while it was drawn.
    PrintCommands(Collection& db, QPrinter& printer, MMControl* dialogSound, QWidget* window,
                  std::function<void()> rebind);

    // The CD list beside the songs shown; refused unless `songsShown`.
    void mnuprv_Click(bool songsShown);
    // CDs with their songs; after a `songSearch` it asks first, as every CD is printed.
    void mnuPrv2_Click(bool songSearch);
    // The songs of the song view.
    void mnuprv3_Click();

private:
    void previewReport(BandedReport& report, const QString& criteriaLabel, const QString& caption);

    Collection& db;
    QPrinter& m_printer;
    MMControl* m_dialogSound;
    QWidget* m_window;
    std::function<void()> m_rebind;
};
