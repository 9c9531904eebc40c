#include "audiochoice.h"

#include "store/audioimport.h"
#include "store/tables.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
const QString addAsItIs = QStringLiteral("そのまま追加");
const QString passBy = QStringLiteral("飛ばす");
} // namespace

AudioChoiceDialog::AudioChoiceDialog(const QVector<audio::Album>& albums,
                                     const std::function<bool(const QString&)>& stored,
                                     QWidget* parent)
    : QDialog(parent), lstAlbums(new QTreeWidget(this))
{
    setObjectName(QStringLiteral("frmAudioImport"));
    setWindowTitle(QStringLiteral("音楽ファイルから取り込み"));
    lstAlbums->setObjectName(QStringLiteral("lstAlbums"));
    lstAlbums->setRootIsDecorated(false);
    lstAlbums->setHeaderLabels({QStringLiteral("CD名"), QStringLiteral("曲数"),
                                QStringLiteral("最初の曲"), QStringLiteral("同じCD名")});
    const int title = kyokuTable().indexOf(QStringLiteral("曲名"));
    for (const audio::Album& album : albums) {
        auto* item = new QTreeWidgetItem(lstAlbums);
        item->setText(0, album.title);
        item->setCheckState(0, Qt::Checked);
        item->setText(1, QString::number(album.tracks.size()));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        QStringList first;
        for (int i = 0; i < album.tracks.size() && i < 3; ++i)
            first << audio::songRow(album.tracks.at(i), album.title, 0).value(title).toString();
        item->setText(2, first.join(QStringLiteral(" / ")));
        if (stored(album.title)) {
            auto* choice = new QComboBox(lstAlbums);
            choice->setObjectName(QStringLiteral("cboDuplicate"));
            choice->addItems({passBy, addAsItIs});
            lstAlbums->setItemWidget(item, 3, choice);
        }
    }
    lstAlbums->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    auto* note = new QLabel(
        QStringLiteral("%1件のアルバムが見つかりました。取り込むものにチェックを付けてください。")
            .arg(albums.size()),
        this);
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
    layout->addWidget(lstAlbums, 1);
    layout->addWidget(buttons);
    resize(900, 500);
}

QVector<int> AudioChoiceDialog::chosen() const
{
    QVector<int> indexes;
    for (int i = 0; i < lstAlbums->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = lstAlbums->topLevelItem(i);
        if (item->checkState(0) != Qt::Checked)
            continue;
        auto* duplicate = qobject_cast<QComboBox*>(lstAlbums->itemWidget(item, 3));
        if (duplicate && duplicate->currentText() != addAsItIs)
            continue;
        indexes << i;
    }
    return indexes;
}
