#include "otherimportchoice.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

OtherImportDialog::OtherImportDialog(const QString& title, const QString& said, QWidget* parent)
    : QDialog(parent), chkAllMedia(new QCheckBox(QStringLiteral("CD以外も取り込む"), this)),
      chkArtistSong(new QCheckBox(QStringLiteral("アーティストを曲として追加"), this))
{
    setObjectName(QStringLiteral("frmOtherImport"));
    setWindowTitle(title);
    chkAllMedia->setObjectName(QStringLiteral("chkAllMedia"));
    chkAllMedia->setToolTip(
        QStringLiteral("レコードやカセットなども、その形態をメモに書いて取り込みます"));
    chkArtistSong->setObjectName(QStringLiteral("chkArtistSong"));
    chkArtistSong->setToolTip(QStringLiteral(
        "CDごとに曲を一つ作り、アーティストを演奏団体に、原盤番号をその曲に入れます"));
    auto* note = new QLabel(said, this);
    note->setObjectName(QStringLiteral("lblOtherImport"));
    note->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* import
        = buttons->addButton(QStringLiteral("取り込む"), QDialogButtonBox::AcceptRole);
    import->setObjectName(QStringLiteral("cmdImport"));
    QPushButton* cancel
        = buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(note);
    layout->addWidget(chkAllMedia);
    layout->addWidget(chkArtistSong);
    layout->addWidget(buttons);
}

void OtherImportDialog::offerArtistSongs(bool offered)
{
    chkArtistSong->setVisible(offered);
    if (!offered)
        chkArtistSong->setChecked(false);
}

bool OtherImportDialog::allMedia() const
{
    return chkAllMedia->isChecked();
}

bool OtherImportDialog::artistSongs() const
{
    return chkArtistSong->isChecked();
}
