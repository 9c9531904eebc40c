// Bringing the old program's collection in: at start-up when only the old
// file is there, and from the ファイル menu into any collection.
#include "frmmain.h"

#include "msgbox.h"
#include "startup.h"
#include "store/dberror.h"
#include "store/importer.h"
#include "store/modrecord.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QProgressDialog>

using namespace modRecord;

namespace {

// A progress window with a cancel button, for reading and writing alike.
class ImportProgress {
public:
    explicit ImportProgress(QWidget* parent)
        : m_dialog(QStringLiteral("旧データベースを取り込んでいます..."), QStringLiteral("キャンセル"),
                   0, 100, parent)
    {
        m_dialog.setObjectName(QStringLiteral("frmImportProgress"));
        m_dialog.setWindowTitle(QStringLiteral("Rondella"));
        m_dialog.setWindowModality(Qt::ApplicationModal);
        m_dialog.setMinimumDuration(400);
    }
    importer::Progress callback()
    {
        return [this](int done, int total) {
            m_dialog.setMaximum(std::max(total, 1));
            m_dialog.setValue(std::min(done, std::max(total, 1)));
            QCoreApplication::processEvents();
            return !m_dialog.wasCanceled();
        };
    }
    QProgressDialog& dialog() { return m_dialog; }

private:
    QProgressDialog m_dialog;
};

} // namespace

namespace modRecord {
bool offerLegacyImport();
}

bool modRecord::offerLegacyImport()
{
    const QDir folder(strAppPath);
    const QString mdb = folder.filePath(QStringLiteral("cdkaisou.mdb"));
    if (QFileInfo::exists(databasePath()) || !QFileInfo::exists(mdb))
        return false;
    int cds = -1, songs = -1;
    try {
        LegacyReader reader(mdb);
        cds = reader.declaredRows(QStringLiteral("cdname"));
        songs = reader.declaredRows(QStringLiteral("kyoku"));
    } catch (const DbError& e) {
        MsgBox(e.description());
        return false;
    }
    if (MsgBox(QStringLiteral("旧データベース「%1」があります（CD %2枚・曲 %3曲）。\r"
                              "このコレクションに取り込みますか？\r（旧データベースは変更しません）")
                   .arg(mdb)
                   .arg(cds)
                   .arg(songs),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::Question)
        != QMessageBox::Yes)
        return false;
    try {
        ImportProgress progress(nullptr);
        const importer::Rows rows = importer::readLegacy(mdb, progress.callback());
        importer::writeCollection(databasePath(), rows, false, progress.callback());
    } catch (const DbError& e) {
        MsgBox(e.description());
        return false;
    }
    return true;
}

void frmMain::mnuImport_Click()
{
    const QString mdb = QFileDialog::getOpenFileName(
        this, QStringLiteral("旧データベースの取り込み"), strAppPath,
        QStringLiteral("旧データベース (*.mdb);;すべてのファイル (*)"));
    if (mdb.isEmpty())
        return;
    try {
        ImportProgress progress(this);
        const importer::Rows rows = importer::readLegacy(mdb, progress.callback());
        const bool hasRows = cn && ((rsCD && rsCD->isOpen() && rsCD->recordCount() > 0)
                                    || (rsKyoku && rsKyoku->isOpen() && rsKyoku->recordCount() > 0));
        bool replace = true;
        if (hasRows) {
            const auto answer = MsgBox(
                QStringLiteral("このコレクションにはすでにデータがあります。\r"
                               "取り込む %1 枚のCDと %2 曲で、いまのデータを置き換えますか？\r\r"
                               "はい：置き換える（いまのデータはバックアップします）\r"
                               "いいえ：いまのデータに追加する")
                    .arg(rows.cds.size())
                    .arg(rows.songs.size()),
                QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Question);
            if (answer == QMessageBox::Cancel)
                return;
            replace = answer == QMessageBox::Yes;
        }
        if (replace) {
            if (cn)
                cn->backupNow();
            showNoData();
            importer::writeCollection(databasePath(), rows, true, progress.callback());
        } else {
            if (!cn)
                throw DbError(3709, QStringLiteral("コレクションのデータベースが開かれていません。"));
            importer::addToCollection(*cn, rows);
        }
    } catch (const DbError& e) {
        if (e.number() != LegacyReader::Cancelled || !e.description().isEmpty())
            MsgBox(e.description());
    }
    reset();
}
