#pragma once

#include <QObject>

#include <functional>

class Collection;
class Connection;
class QWidget;
namespace importer {
struct Rows;
}

// In a folder with only the old program's database (at start-up, and at
// リセット while no collection file is there): offers to bring it in.
enum class LegacyOffer {
    None, // nothing to offer
    Declined, // the user answered いいえ: a new empty collection is made
    Imported, // the collection was made from it
    Failed, // refused or stopped: no collection file, offered again next time
};
LegacyOffer offerLegacyImport(Collection& db);

// The ファイル menu's commands that bring a collection in, write it out or
// put a backup back, and the opening of the collection they all end in.
class FileCommands : public QObject {
    Q_OBJECT
public:
    // `reset` shows the collection again from its file; `showNoData` lets go of it.
    FileCommands(Collection& db, QWidget* window, std::function<void()> reset,
                 std::function<void()> showNoData);

    // Opens the data context; a damaged collection with a backup beside it
    // may be replaced by the newest backup, the damaged file kept aside.
    // Throws DbError.
    void openCollection();
    void mnuImport_Click();
    void mnuCsvImport_Click();
    void mnuCsvExport_Click();
    // `songsShown`: the window lists songs (a song search or all songs), not CDs.
    void mnuCsvExportShown_Click(bool songsShown);
    void mnuExportHtml_Click();
    void mnuRestore_Click();
    void mnuAudioImport_Click();
    void mnuImportTellico_Click();
    void mnuImportDiscogs_Click();

private:
    bool bringIn(const importer::Rows& rows, const QString& source, bool confirmIntoEmpty);
    void onOwnConnection(
        const QString& label,
        const std::function<void(Connection&, const std::function<bool(int, int)>&)>& work);

    Collection& db;
    QWidget* m_window;
    std::function<void()> m_reset;
    std::function<void()> m_showNoData;
};
