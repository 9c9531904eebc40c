// The extraction: turns the ticked fields of the criteria panel into one
// criteria text, filters the CD view or the song view with it and shows the
// result; the all-songs display lists the CDs of the songs on show.
#include "mainwindow/frmmain.h"
#include "mainwindow/msgbox.h"
#include "mainwindow/sound.h"
#include "mainwindow/startup.h"
#include "store/dberror.h"
#include "store/modrecord.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSet>

using namespace modRecord;

namespace {

struct CriterionDef {
    const char16_t* field;
    bool like;
};
// By Check1 index; entry 10 (全曲表示) has no criterion.
const CriterionDef criterionDefs[13] = {
    {u"作曲者名", false}, {u"編曲者名", false}, {u"指揮者名", false}, {u"演奏団体", false},
    {u"発売元", false},   {u"分野", false},     {u"解説者", false},   {u"曲名", true},
    {u"ソリスト", false}, {u"CD名", true},      {nullptr, false},     {u"キャビネット", false},
    {u"段", false},
};

// A stop with a message: the wait window closes, then the words are shown.
void refuse(const QString& words)
{
    UnloadWait();
    MsgBox(words);
}

// The CD list holds price and date as text: the text the grids show, or null.
QVariant asListText(const QVariant& v)
{
    if (v.isNull() || !v.isValid())
        return QVariant();
    return formatValue(v, DisplayFormat::None);
}

} // namespace

QString frmMain::criterionText(int index) const
{
    const CriterionDef& d = criterionDefs[index];
    if (!d.field)
        return QString();
    QString value;
    if (index == 7)
        value = txtKyoku->text();
    else if (index == 9)
        value = txtCDmei->text();
    else if (index == 11)
        value = txtKyabinet->text();
    else if (index == 12)
        value = txtDan->text();
    else
        value = DataCombo1(index)->text();
    // A quote inside the value is written twice, so d'Indy is searched for as typed.
    return QString::fromUtf16(d.field)
        + (d.like ? QStringLiteral(" like '") : QStringLiteral(" = '")) + quoteCriteriaValue(value)
        + u'\'';
}

void frmMain::cmdFilter_Click()
{
    try {
        if (!Check1(10)->isChecked()) {
            blnCDSearch = false;
            blnKyokuSearch = false;
            if (!FraCD->isHidden()) {
                untick({0, 1, 2, 3, 5, 7, 8});
                blnCDSearch = true;
            } else if (!FraKyoku->isHidden()) {
                untick({4, 6, 9, 11, 12});
                blnKyokuSearch = true;
            }
            ShowWait();
            QString criteria[13];
            for (int i = 0; i < 13; ++i)
                criteria[i] = criterionText(i);
            if (Check1(7)->isChecked() && criteria[7] == u"曲名 like '**'")
                return refuse(QStringLiteral("曲名の検索条件が指定されていません！"));
            if (Check1(9)->isChecked() && criteria[9] == u"CD名 like '**'")
                return refuse(QStringLiteral("CD名の検索条件が指定されていません！"));
            strCriteria.clear();
            for (int i = 0; i <= 12; ++i) {
                if (!Check1(i)->isChecked())
                    continue;
                strCriteria += criteria[i] + QStringLiteral(" and ");
                if (criteria[i].endsWith(QStringLiteral("''")))
                    return refuse(
                        QStringLiteral("チェックしたところに、検索条件が指定されていません！"));
            }
            if (strCriteria.isEmpty())
                return refuse(QStringLiteral("検索条件が指定されていません！"));
            strCriteria.chop(5);
            if (!blnKyokuSearch) {
                View& cds = need(rsCD);
                cds.setFilter(strCriteria);
                const int n = cds.recordCount();
                if (n == 0) {
                    refuse(QStringLiteral("該当するレコードはありません"));
                    mnuReset_Click();
                    return;
                }
                setCounter(3, n, lngCDTotal);
                setCounter(0, need(rsKyokuSub).recordCount(), lngKyokuTotal);
                BindRecordPanel();
                DataGrid1->setDataSource(nullptr);
                DataGrid2->setDataSource(nullptr);
                DataGrid1->setDataSource(rsKyokuSub);
                DataGrid2->setDataSource(rsCD);
                setForeColor(lblCDdata, Qt::red);
                lblCDdata->setText(QStringLiteral("ＣＤ検索中"));
                FormatKyokuGrid();
                FormatCDGrid();
                endExtraction();
                return;
            }
            need(rsKyoku).setFilter(strCriteria);
        }
        if (!buildCDList())
            return;
        showUnlinkedView();
        endExtraction();
    } catch (const DbError& e) {
        UnloadWait();
        MsgBox(e.number() == DbError::NotAllowedNow
                   ? QStringLiteral("データの更新を解除してください！")
                   : e.description());
    }
}

// Builds rsCDList from the CDs of the songs rsKyoku shows, in the order their
// first song occurs. Returns false when there is no song to list.
bool frmMain::buildCDList()
{
    rsCDList = std::make_shared<View>();
    View& list = *rsCDList;
    list.appendField(QStringLiteral("CDID"), FieldType::Integer, 5, false);
    list.appendField(QStringLiteral("CD名"), FieldType::Text, 100, false);
    for (const char16_t* name : {u"解説者", u"購入価格", u"購入年月日", u"発売元"})
        list.appendField(QString::fromUtf16(name), FieldType::Text, 50, true);
    list.appendField(QStringLiteral("キャビネット"), FieldType::Text, 20, true);
    list.appendField(QStringLiteral("段"), FieldType::Text, 10, true);
    list.openInMemory();

    View& songs = need(rsKyoku);
    const int n = songs.recordCount();
    if (n == 0) {
        refuse(QStringLiteral("該当するレコードはありません"));
        mnuReset_Click();
        return false;
    }
    // The CD of every listed song is read without moving the song view, and
    // a set remembers the CDs already listed, so a search that matches every
    // song of a large collection stays fast. A song whose CD no longer exists
    // stays in the song list and adds nothing here.
    QSet<qint64> listed;
    listed.reserve(4096);
    const int cdColumns = 8;
    for (int row = 0; row < n; ++row) {
        const QVector<QVariant>* cd = songs.firstChildRowAt(row);
        if (!cd)
            continue;
        const qint64 id = cd->at(0).toLongLong();
        if (listed.contains(id))
            continue;
        listed.insert(id);
        list.addNew();
        for (int c = 0; c < cdColumns; ++c)
            list.setValue(c, c == 0 ? cd->at(0) : asListText(cd->at(c)));
        list.update();
    }
    return true;
}

void frmMain::showUnlinkedView()
{
    if (rsCDList->recordCount() > 0)
        rsCDList->moveFirst();
    // The song on show is the first one found.
    if (need(rsKyoku).recordCount() > 0)
        rsKyoku->moveFirst();
    BindRecordPanelKyoku();
    DataGrid1->setDataSource(nullptr);
    DataGrid2->setDataSource(nullptr);
    DataGrid1->setDataSource(rsKyoku);
    DataGrid2->setDataSource(rsCDList);
    setForeColor(lblKyokudata, Qt::red);
    lblKyokudata->setText(QStringLiteral("曲検索中"));
    FormatCDGrid();
    FormatKyokuGridAll();
    Line3->setBorderStyle(1);
}

void frmMain::endExtraction()
{
    UnloadWait();
    picTyuu->hide();
    MMCdrop->playSound();
    LoadWait();
    cmdNext->setFocus();
}
