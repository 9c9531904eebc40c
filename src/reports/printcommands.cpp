// The three print previews: each checks what the window shows, feeds its
// layout the view on show with the criteria, shows the preview on the
// window's printer, then has the grids bound again.
#include "printcommands.h"

#include "reports/bandedreport.h"
#include "reports/reportpreview.h"
#include "store/collection.h"
#include "store/dberror.h"
#include "store/tables.h"
#include "widgets/msgbox.h"
#include "widgets/sound.h"
#include "widgets/twips.h"

#include <QPrinter>
#include <QScreen>
#include <QWidget>

namespace {

// A box shows its column's values as the record panel does (prices as
// ¥3,000), and the columns of long texts take the room a wider page gives.
void assign(ReportItem& box, const ColumnDef& column)
{
    box.field = column.field.name;
    box.format = displayFormat(column.boxFormat);
    static const QStringList wide{QStringLiteral("CD名"), QStringLiteral("曲名"),
                                  QStringLiteral("演奏団体")};
    box.wide = wide.contains(column.field.name);
}

} // namespace

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
        assign(report.control(band, QString::fromLatin1(name)),
               cdnameTable().column(QString::fromUtf16(field)));
}

void assignSongFields(BandedReport& report, const QString& band, const QString& member)
{
    const char16_t* fields[]
        = {u"曲ID", u"曲名", u"作曲者名", u"指揮者名", u"ソリスト", u"演奏団体"};
    for (int i = 0; i < 6; ++i) {
        ReportItem& box = report.control(band, QStringLiteral("text%1").arg(i + 1));
        box.member = member;
        assign(box, kyokuTable().column(QString::fromUtf16(fields[i])));
    }
}

PrintCommands::PrintCommands(Collection& collection, QPrinter& printer, MMControl* dialogSound,
                             QWidget* window, std::function<void()> rebind)
    : QObject(window), db(collection), m_printer(printer), m_dialogSound(dialogSound),
      m_window(window), m_rebind(std::move(rebind))
{
}

// Writes the criteria into the report's header, shows the preview, and binds
// the grids again once it closes.
void PrintCommands::previewReport(BandedReport& report, const QString& criteriaLabel,
                                  const QString& caption)
{
    report.control(QStringLiteral("section4"), criteriaLabel).text
        = db.strCriteria().isEmpty() ? QStringLiteral("すべてのデータ表示") : db.strCriteria();
    ReportPreview preview(report, &m_printer, m_window);
    preview.setWindowTitle(caption);
    const QScreen* screen = m_window->screen();
    const QRect room = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    preview.setGeometry((room.width() - twips(12855)) / 2, m_window->y() + twips(600), twips(12855),
                        twips(9000));
    preview.exec();
    m_rebind();
}

void PrintCommands::mnuprv_Click(bool songsShown)
{
    if (!songsShown) {
        MsgBox(QStringLiteral("このコマンドは曲の検索中にしか使用できません。"), QMessageBox::Ok,
               QMessageBox::Warning);
        return;
    }
    if (!db.cdList() || !db.cdList()->isOpen()) {
        MsgBox(QStringLiteral(
                   "印刷するCDの一覧がまだありません。先に曲の検索か全曲表示をしてください。"),
               QMessageBox::Ok, QMessageBox::Warning);
        return;
    }
    m_dialogSound->playSound();
    try {
        BandedReport& report = DataReport1();
        report.setDataSource(db.cdList());
        assignCDFields(report, QStringLiteral("section1"));
        previewReport(report, QStringLiteral("label6"), QStringLiteral("CD印刷（曲検索時のみ）"));
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}

void PrintCommands::mnuPrv2_Click(bool songSearch)
{
    if (songSearch
        && MsgBox(QStringLiteral("CD検索時ではないので、全CDが対象になりますが印刷しますか？"),
                  QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Warning)
            != QMessageBox::Ok)
        return;
    try {
        BandedReport& report = DataReport2();
        report.setDataSource(db.cds());
        assignCDFields(report, QStringLiteral("rsrptkyoku_Header"));
        assignSongFields(report, QStringLiteral("rptkyokuSub_Detail"), QStringLiteral("kyokusub"));
        previewReport(report, QStringLiteral("lblcriteria"),
                      QStringLiteral("CD＆曲印刷（リレーション）"));
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}

void PrintCommands::mnuprv3_Click()
{
    m_dialogSound->playSound();
    try {
        BandedReport& report = DataReport3();
        report.setDataSource(db.songs());
        assignSongFields(report, QStringLiteral("section6"), QString());
        previewReport(report, QStringLiteral("lblcriteria"),
                      QStringLiteral("曲印刷（非検索時は全曲印刷）"));
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}
