// The record panel's follower boxes, the counters and the eight navigation buttons.
#include "frmmain.h"

#include "store/collection.h"
#include "store/dberror.h"
#include "widgets/msgbox.h"
#include "widgets/sound.h"

#include <QCheckBox>
#include <QDir>
#include <QImageReader>
#include <QLabel>
#include <QRegularExpression>

namespace {

// The leading number of a text, rounded to a whole number; 0 when there is none.
qint64 leadingNumber(const QString& text)
{
    static const QRegularExpression number(QStringLiteral("^\\s*([-+]?(\\d+\\.?\\d*|\\.\\d+))"));
    const QRegularExpressionMatch m = number.match(text);
    return m.hasMatch() ? qRound64(m.captured(1).toDouble()) : 0;
}

QImage readPicture(const QString& path)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    return reader.read();
}

} // namespace

void frmMain::navigate(bool cdSide, View::Step move)
{
    MMCdialog->playSound();
    try {
        const bool unlinked = isUnlinked();
        View& view = need(cdSide ? (unlinked ? db.rsCDList : db.rsCD)
                                 : (unlinked ? db.rsKyoku : db.rsKyokuSub));
        view.step(move);
    } catch (const DbError& e) {
        MsgBox(e.number() == DbError::NoCurrentRow ? QStringLiteral("データがありません")
                                                   : e.description());
    }
}

void frmMain::txtrsDamie_Change()
{
    showJacket(txtrsDamie->text());
}

// In the unlinked view the record panel shows a CD of the CD list, which the
// follower box (bound to rsCD) does not follow: the picture follows the panel.
void frmMain::txtrs0_Change()
{
    if (db.rsCDList && txtrs(0)->dataSource() == db.rsCDList)
        showJacket(txtrs(0)->text());
}

void frmMain::showJacket(const QString& cdidText)
{
    const qint64 id = leadingNumber(cdidText);
    picCDphoto->clear();
    const QDir jacket(QDir(db.strAppPath).filePath(QStringLiteral("jacket")));
    QImage picture = readPicture(jacket.filePath(QString::number(id) + QStringLiteral(".jpg")));
    if (picture.isNull())
        picture = readPicture(jacket.filePath(QStringLiteral("damie.jpg")));
    if (picture.isNull())
        return; // no picture and no placeholder: the box stays empty
    const QSize room = picCDphoto->contentsRect().size();
    if (picture.width() > room.width() || picture.height() > room.height())
        picture = picture.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    picCDphoto->setPixmap(QPixmap::fromImage(picture));
}

void frmMain::txtrsSubDamie_Change()
{
    if (!db.cn)
        return; // no collection open: nothing to count
    try {
        switch (m_state) {
        case DisplayState::SongSearch:
            setCounter(0, need(db.rsKyoku).recordCount(), lngKyokuTotal);
            setCounter(3, need(db.rsCDList).recordCount(), lngCDTotal);
            DataGrid2->setCaption(QStringLiteral("右の曲を含むCD一覧（非連結）"));
            DataGrid1->setCaption(db.strCriteria);
            break;
        case DisplayState::CDSearch:
            setCounter(0, need(db.rsKyokuSub).recordCount(), lngKyokuTotal);
            setCounter(3, need(db.rsCD).recordCount(), lngCDTotal);
            DataGrid2->setCaption(db.strCriteria);
            DataGrid1->setCaption(QStringLiteral("左CDに含まれる曲"));
            break;
        case DisplayState::AllSongs:
            setCounter(0, lngKyokuTotal, lngKyokuTotal);
            // the CDs listed beside all songs, as after a song search
            if (db.rsCDList && db.rsCDList->isOpen())
                setCounter(3, db.rsCDList->recordCount(), lngCDTotal);
            DataGrid2->setCaption(QStringLiteral("ALL（非連結）"));
            DataGrid1->setCaption(QStringLiteral("ALL"));
            break;
        case DisplayState::AllData:
            setCounter(0, need(db.rsKyokuSub).recordCount(), lngKyokuTotal);
            setCounter(3, need(db.rsCD).recordCount(), lngCDTotal);
            DataGrid2->setCaption(QStringLiteral("ALL"));
            DataGrid1->setCaption(QStringLiteral("左CDに含まれる曲"));
            break;
        }
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}
