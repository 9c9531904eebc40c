// The three print previews: each checks the display state, feeds its layout
// the view on show with the criteria, shows the preview on the shared
// printer, then binds the grids again.
#include "mainwindow/frmmain.h"
#include "mainwindow/startup.h"
#include "reports/bandedreport.h"
#include "reports/reportpreview.h"
#include "store/collection.h"
#include "store/dberror.h"
#include "widgets/msgbox.h"
#include "widgets/sound.h"
#include "widgets/twips.h"

#include <QCheckBox>
#include <QPrinter>
#include <QScreen>

namespace {

void assignCDFields(BandedReport& report, const QString& band)
{
    const std::pair<const char*, const char16_t*> fields[] = {{"txtID", u"CDID"},
                                                              {"txtkyokumei", u"CD名"},
                                                              {"txtsakkyoku", u"発売元"},
                                                              {"txtshikisya", u"購入年月日"},
                                                              {"txtensou", u"購入価格"},
                                                              {"txtkaisetu", u"解説者"},
                                                              {"txtsorisuto", u"キャビネット"},
                                                              {"txtrokuon", u"段"}};
    for (const auto& [name, field] : fields)
        report.control(band, QString::fromLatin1(name)).field = QString::fromUtf16(field);
}

void assignSongFields(BandedReport& report, const QString& band, const QString& member)
{
    const char16_t* fields[]
        = {u"曲ID", u"曲名", u"作曲者名", u"指揮者名", u"ソリスト", u"演奏団体"};
    for (int i = 0; i < 6; ++i) {
        ReportItem& box = report.control(band, QStringLiteral("text%1").arg(i + 1));
        box.member = member;
        box.field = QString::fromUtf16(fields[i]);
    }
}

} // namespace

// Writes the criteria into the report's header, shows the preview, and binds
// the grids again once it closes.
void frmMain::previewReport(BandedReport& report, const QString& criteriaLabel,
                            const QString& caption)
{
    report.control(QStringLiteral("section4"), criteriaLabel).text
        = db.strCriteria.isEmpty() ? QStringLiteral("すべてのデータ表示") : db.strCriteria;
    ReportPreview preview(report, &sharedPrinter(), this);
    preview.setWindowTitle(caption);
    const QRect screen = this->screen() ? this->screen()->geometry() : QRect(0, 0, 1024, 768);
    preview.setGeometry((screen.width() - twips(12855)) / 2, y() + twips(600), twips(12855),
                        twips(9000));
    preview.exec();
    rebindAfterPrint();
}

void frmMain::rebindAfterPrint()
{
    if (Check1(10)->isChecked() || blnKyokuSearch()) {
        DataGrid1->setDataSource(db.rsKyoku);
        DataGrid2->setDataSource(db.rsCDList);
    } else {
        DataGrid1->setDataSource(db.rsKyokuSub);
        DataGrid2->setDataSource(db.rsCD);
    }
    FormatKyokuGrid();
    FormatCDGrid();
}

void frmMain::mnuprv_Click()
{
    if (!Check1(10)->isChecked() && !blnKyokuSearch()) {
        MsgBox(QStringLiteral("このコマンドは曲の検索中にしか使用できません。"), QMessageBox::Ok,
               QMessageBox::Warning);
        return;
    }
    if (!db.rsCDList || !db.rsCDList->isOpen()) {
        MsgBox(QStringLiteral(
                   "印刷するCDの一覧がまだありません。先に曲の検索か全曲表示をしてください。"),
               QMessageBox::Ok, QMessageBox::Warning);
        return;
    }
    MMCdialog->playSound();
    try {
        BandedReport& report = DataReport1();
        report.setDataSource(db.rsCDList);
        assignCDFields(report, QStringLiteral("section1"));
        previewReport(report, QStringLiteral("label6"), QStringLiteral("CD印刷（曲検索時のみ）"));
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}

void frmMain::mnuPrv2_Click()
{
    if (blnKyokuSearch() && !blnCDSearch()
        && MsgBox(QStringLiteral("CD検索時ではないので、全CDが対象になりますが印刷しますか？"),
                  QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Warning)
            != QMessageBox::Ok)
        return;
    try {
        BandedReport& report = DataReport2();
        report.setDataSource(db.rsCD);
        assignCDFields(report, QStringLiteral("rsrptkyoku_Header"));
        assignSongFields(report, QStringLiteral("rptkyokuSub_Detail"), QStringLiteral("kyokusub"));
        previewReport(report, QStringLiteral("lblcriteria"),
                      QStringLiteral("CD＆曲印刷（リレーション）"));
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}

void frmMain::mnuprv3_Click()
{
    MMCdialog->playSound();
    try {
        BandedReport& report = DataReport3();
        report.setDataSource(db.rsKyoku);
        assignSongFields(report, QStringLiteral("section6"), QString());
        previewReport(report, QStringLiteral("lblcriteria"),
                      QStringLiteral("曲印刷（非検索時は全曲印刷）"));
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}
