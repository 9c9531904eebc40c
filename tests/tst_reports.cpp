#include "mainui.h"
#include "mainwindow/frmmain.h"
#include "mainwindow/startup.h"
#include "reports/bandedreport.h"
#include "reports/reportpreview.h"
#include "store/collection.h"
#include "store/dberror.h"
#include "testsupport.h"
#include "widgets/msgbox.h"
#include "widgets/sound.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QTest>

namespace {

const QString ninth = "ベートーヴェン：交響曲第9番「合唱」";
const QString faune = "ドビュッシー：牧神の午後への前奏曲 (Prélude à l'après-midi d'un faune)";

void writeSample(const QString& folder, int extraCDs = 0)
{
    QVector<QVariantMap> cds{cd(1, ninth, {{"発売元", "ポリドール"}, {"購入価格", 2800}}),
                             cd(2, faune, {{"発売元", "エラート"}})};
    QVector<QVariantMap> songs{
        song(ninth, 1, "第1楽章", {{"作曲者名", "ベートーヴェン"}, {"指揮者名", "指揮者A"}}),
        song(ninth, 2, "第4楽章「歓喜の歌」", {{"作曲者名", "ベートーヴェン"}}),
        song(faune, 3, "牧神の午後への前奏曲", {{"作曲者名", "ドビュッシー"}})};
    for (int i = 0; i < extraCDs; ++i) {
        const QString title = QString("追加のCD %1").arg(i + 3);
        cds << cd(i + 3, title);
        for (int k = 0; k < 5; ++k)
            songs << song(title, 100 + i * 5 + k, QString("曲 %1-%2").arg(i + 3).arg(k + 1));
    }
    writeCollection(folder, cds, songs);
}

// Renders a report as the preview draws it, to PDF, and returns its text.
QString pdfText(const BandedReport& report, const QString& file)
{
    {
        QPdfWriter pdf(file);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setResolution(300);
        report.print(&pdf);
    }
    QProcess p;
    p.start("pdftotext", {"-layout", file, "-"});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TestReports : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void songListAfterASearch();
    void cdsWithTheirSongs();
    void cdListOfASongSearch();
    void refusalsAndRebinding();
    void bandsNeverSplit();
    void bandThatFitsExactlyStaysOnThePage();
    void pageSetupWithoutAPrinter();
    void previewTurnsPagesAndWritesThemAll();

private:
    // Runs a print command and closes its preview at once; returns the
    // preview's caption, or nothing when no preview opened.
    QString runAndClose(const char* action);
    std::unique_ptr<StartupFolder> m_folder;
    QPointer<frmMain> m_w;
};

void TestReports::init()
{
    m_folder = std::make_unique<StartupFolder>();
}

void TestReports::cleanup()
{
    endTest(m_w, m_folder);
}

QString TestReports::runAndClose(const char* action)
{
    QString caption;
    QTimer::singleShot(0, [&] {
        auto* preview = qobject_cast<ReportPreview*>(QApplication::activeModalWidget());
        if (!preview)
            return;
        caption = preview->windowTitle();
        preview->reject();
    });
    m_w->findChild<QAction*>(action)->trigger();
    QCoreApplication::processEvents();
    return caption;
}

void TestReports::songListAfterASearch()
{
    writeSample(m_folder->path());
    m_w = startMain();
    m_w->findChild<QAction*>("mnuTyuu")->trigger();
    Check1(m_w, 0)->setChecked(true);
    DataCombo1(m_w, 0)->setText("ベートーヴェン");
    cmdFilter(m_w)->click();
    QCOMPARE(runAndClose("mnuprv3"), QString("曲印刷（非検索時は全曲印刷）"));
    const QString text = pdfText(DataReport3(), m_folder->file("songs.pdf"));
    QVERIFY2(text.contains("Rondella") && text.contains("作曲者名") && text.contains("指揮者名"),
             qPrintable(text));
    QVERIFY(text.contains("作曲者名 = 'ベートーヴェン'")); // the criteria line
    QVERIFY(text.contains("第4楽章「歓喜の歌」"));
    QVERIFY(text.contains("指揮者A"));
    // each value under its heading: the composer's column before the conductor's
    const QString line = text.split('\n').filter("指揮者A").value(0);
    QVERIFY2(line.indexOf("ベートーヴェン") >= 0
                 && line.indexOf("ベートーヴェン") < line.indexOf("指揮者A"),
             qPrintable(line));
    QVERIFY(!text.contains("牧神の午後への前奏曲")); // printed as filtered
    QVERIFY(text.contains(QString::number(QDate::currentDate().year()) + "年"));
    // grids bound again to the unlinked view
    QCOMPARE(DataGrid1(m_w)->dataSource(), db().rsKyoku);
    QCOMPARE(DataGrid2(m_w)->dataSource(), db().rsCDList);
}

void TestReports::cdsWithTheirSongs()
{
    writeSample(m_folder->path());
    m_w = startMain();
    QCOMPARE(runAndClose("mnuPrv2"), QString("CD＆曲印刷（リレーション）"));
    const QString text = pdfText(DataReport2(), m_folder->file("cds.pdf"));
    QVERIFY2(text.contains("すべてのデータ表示"), qPrintable(text));
    // each CD, then its songs, then the next CD
    const qsizetype first = text.indexOf("ベートーヴェン：交響曲第9番");
    const qsizetype song = text.indexOf("第4楽章");
    const qsizetype second = text.indexOf("ドビュッシー：牧神");
    const qsizetype itsSong = text.indexOf("牧神の午後への前奏曲", second + 10);
    QVERIFY(first >= 0 && first < song && song < second && second < itsSong);
    QVERIFY(text.contains("ポリドール") && text.contains("2800"));
    QCOMPARE(DataGrid2(m_w)->dataSource(), db().rsCD);
    QCOMPARE(DataGrid1(m_w)->dataSource(), db().rsKyokuSub);
    QCOMPARE(DataReport2().control("rsRptKyoku_header", "TXTKYOKUMEI").field, QString("CD名"));
    // the CD report plays no sound; the song list does, and during a CD search
    // it prints the song view, which that search does not filter
    const int sounds = MMCdialog(m_w)->timesPlayed();
    runAndClose("mnuPrv2");
    QCOMPARE(MMCdialog(m_w)->timesPlayed(), sounds);
    m_w->findChild<QAction*>("mnuTyuu")->trigger();
    Check1(m_w, 4)->setChecked(true);
    DataCombo1(m_w, 4)->setText("エラート");
    cmdFilter(m_w)->click();
    QVERIFY(m_w->blnCDSearch());
    const int before = MMCdialog(m_w)->timesPlayed();
    QCOMPARE(runAndClose("mnuprv3"), QString("曲印刷（非検索時は全曲印刷）"));
    QVERIFY(MMCdialog(m_w)->timesPlayed() > before);
    const QString songs = pdfText(DataReport3(), m_folder->file("songs.pdf"));
    QVERIFY(songs.contains("第4楽章") && songs.contains("牧神の午後への前奏曲"));
    QVERIFY(songs.contains("発売元 = 'エラート'"));
    QCOMPARE(DataGrid2(m_w)->dataSource(), db().rsCD);
    QCOMPARE(DataGrid1(m_w)->dataSource(), db().rsKyokuSub);
}

void TestReports::cdListOfASongSearch()
{
    writeSample(m_folder->path());
    m_w = startMain();
    m_w->findChild<QAction*>("mnuTyuu")->trigger();
    Check1(m_w, 10)->setChecked(true);
    cmdFilter(m_w)->click();
    QCOMPARE(runAndClose("mnuprv"), QString("CD印刷（曲検索時のみ）"));
    const QString text = pdfText(DataReport1(), m_folder->file("list.pdf"));
    QVERIFY2(text.contains("すべてのデータ表示") && text.contains("購入年月日"), qPrintable(text));
    QVERIFY(text.contains(QRegularExpression("2\\s*枚"))); // the row count in the report footer
    QVERIFY(text.contains(
        QRegularExpression("[―—]\\s*1\\s*[―—]"))); // the page number, as pdftotext reads the bars
    QCOMPARE(DataGrid2(m_w)->dataSource(), db().rsCDList); // the all-songs display's grids again
    QCOMPARE(DataGrid1(m_w)->dataSource(), db().rsKyoku);
}

void TestReports::refusalsAndRebinding()
{
    writeSample(m_folder->path());
    m_w = startMain();
    // the CD list outside a song search: refused, nothing shown
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    QCOMPARE(runAndClose("mnuprv"), QString());
    QCOMPARE(answeredTexts(), QStringList{"このコマンドは曲の検索中にしか使用できません。"});
    // 全曲表示 ticked but no list built yet: said so, grids untouched
    Check1(m_w, 10)->setChecked(true);
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    QCOMPARE(runAndClose("mnuprv"), QString());
    QCOMPARE(MsgBoxTakeAnswered().size(), 1);
    QCOMPARE(DataGrid2(m_w)->dataSource(), db().rsCD);
    Check1(m_w, 10)->setChecked(false);
    // during a song search the CDs-with-songs report asks first; Cancel does nothing
    m_w->findChild<QAction*>("mnuTyuu")->trigger();
    Check1(m_w, 0)->setChecked(true);
    DataCombo1(m_w, 0)->setText("ドビュッシー");
    cmdFilter(m_w)->click();
    MsgBoxSetNextAnswers({QMessageBox::Cancel});
    QCOMPARE(runAndClose("mnuPrv2"), QString());
    QCOMPARE(answeredTexts(),
             QStringList{"CD検索時ではないので、全CDが対象になりますが印刷しますか？"});
    QCOMPARE(DataGrid2(m_w)->dataSource(), db().rsCDList);
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    QCOMPARE(runAndClose("印刷プレビュー"),
             QString("CD＆曲印刷（リレーション）")); // the toolbar button
    QCOMPARE(MsgBoxTakeAnswered().size(), 1);
    QCOMPARE(DataGrid1(m_w)->dataSource(), db().rsKyoku);
    // the CD list of a song search is printed; in a CD search it is refused
    QCOMPARE(runAndClose("mnuprv"), QString("CD印刷（曲検索時のみ）"));
    m_w->findChild<QAction*>("mnuTyuu")->trigger();
    Check1(m_w, 4)->setChecked(true);
    DataCombo1(m_w, 4)->setText("エラート");
    cmdFilter(m_w)->click();
    QCOMPARE(m_w->displayState(), DisplayState::CDSearch);
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    QCOMPARE(runAndClose("mnuprv"), QString());
    QCOMPARE(answeredTexts(), QStringList{"このコマンドは曲の検索中にしか使用できません。"});
}

// Whatever the page height, a band lies whole on one page, the page footer
// at the foot of each page, and every row is there once.
void TestReports::bandsNeverSplit()
{
    writeSample(m_folder->path(), 60);
    db().OpenDataContext();
    BandedReport& report = DataReport2();
    report.setDataSource(db().rsCD);
    for (int pageHeight : {4000, 9000, 15000}) {
        const auto pages = report.layout(pageHeight);
        QVERIFY(pages.size() > 1);
        int details = 0;
        for (const auto& page : pages)
            for (const auto& placed : page) {
                QVERIFY(placed.top >= 0);
                QVERIFY2(placed.top + report.bandAt(placed.band).height <= pageHeight,
                         qPrintable(report.bandAt(placed.band).name));
                if (placed.childRow >= 0)
                    ++details;
            }
        QCOMPARE(details, 3 + 60 * 5);
    }
    db().CloseDataContext();
}

// Page header 100, details of 200, page footer 100 on a page of 600: two
// details fill the body exactly and both stay on the page.
void TestReports::bandThatFitsExactlyStaysOnThePage()
{
    auto rows = std::make_shared<View>();
    rows->appendField("CD名", FieldType::Text, 100, true);
    rows->openInMemory();
    for (int i = 1; i <= 5; ++i) {
        rows->addNew();
        rows->setValue(0, QString("CD%1").arg(i));
        rows->update();
    }
    BandedReport report("exact",
                        {{ReportBand::PageHeader, "head", 100, {}},
                         {ReportBand::Detail, "detail", 200, {}},
                         {ReportBand::PageFooter, "foot", 100, {}}});
    report.setDataSource(rows);
    QVector<int> perPage;
    for (const auto& page : report.layout(600)) {
        int details = 0;
        for (const auto& placed : page)
            details += report.bandAt(placed.band).kind == ReportBand::Detail;
        perPage << details;
    }
    QCOMPARE(perPage, (QVector<int>{2, 2, 1}));
    // one twip less and only one fits
    QCOMPARE(report.layout(599).size(), 5);
}

// With no printer installed the page set-up still sets paper and
// orientation on the printer the previews use.
void TestReports::pageSetupWithoutAPrinter()
{
    m_w = startMain();
    QCOMPARE(m_w->printer().outputFormat(), QPrinter::PdfFormat);
    QString name;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        name = dialog->objectName();
        auto* paper = dialog->findChild<QComboBox*>("paper");
        paper->setCurrentIndex(paper->findData(int(QPageSize::A3)));
        auto* orientation = dialog->findChild<QComboBox*>("orientation");
        orientation->setCurrentIndex(1);
        dialog->accept();
    });
    m_w->findChild<QAction*>("mnuPage")->trigger();
    QCOMPARE(name, QString("cmndPage"));
    QCOMPARE(m_w->printer().pageLayout().pageSize().id(), QPageSize::A3);
    QCOMPARE(m_w->printer().pageLayout().orientation(), QPageLayout::Landscape);
    m_w->printer().setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                             QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
}

// The preview draws the page on show; its PDF holds exactly the pages it shows.
void TestReports::previewTurnsPagesAndWritesThemAll()
{
    writeSample(m_folder->path(), 60);
    m_w = startMain();
    BandedReport& report = DataReport3();
    report.setDataSource(db().rsKyoku);
    const char* fields[] = {"曲ID", "曲名", "作曲者名", "指揮者名", "ソリスト", "演奏団体"};
    for (int i = 0; i < 6; ++i) {
        ReportItem& box = report.control("section6", QString("text%1").arg(i + 1));
        box.member.clear();
        box.field = fields[i];
    }
    ReportPreview preview(report, &m_w->printer(), m_w);
    QVERIFY(preview.pageCount() >= 3);
    QVERIFY(!preview.findChild<QLabel*>("sheet")->pixmap().isNull());
    preview.findChild<QPushButton*>("cmdLast")->click();
    QCOMPARE(preview.currentPage(), preview.pageCount() - 1);
    preview.findChild<QPushButton*>("cmdPrevious")->click();
    QCOMPARE(preview.currentPage(), preview.pageCount() - 2);
    const QSize before = preview.findChild<QLabel*>("sheet")->pixmap().size();
    preview.findChild<QPushButton*>("cmdZoomIn")->click();
    QVERIFY(preview.findChild<QLabel*>("sheet")->pixmap().width() > before.width());
    QVERIFY(!preview.findChild<QPushButton*>("cmdPrint")->isVisibleTo(&preview)); // no printer here
    const QString file = m_folder->file("shown.pdf");
    // stopped after two pages: no file at all
    try {
        preview.exportPdf(file, [](int done, int) { return done < 2; });
        QFAIL("not stopped");
    } catch (const DbError&) {
    }
    QCOMPARE(QDir(m_folder->path()).entryList({"shown.pdf*"}), QStringList());
    int calls = 0;
    preview.exportPdf(file, [&calls](int, int) { return ++calls > 0; });
    QCOMPARE(calls, preview.pageCount());
    QProcess info;
    info.start("pdfinfo", {file});
    info.waitForFinished(30000);
    const QString pages = QString::fromUtf8(info.readAllStandardOutput());
    QVERIFY2(
        pages.contains(QRegularExpression(QString("Pages:\\s+%1\\n").arg(preview.pageCount()))),
        qPrintable(pages));
    QProcess text;
    text.start("pdftotext", {"-layout", file, "-"});
    text.waitForFinished(30000);
    const QString all = QString::fromUtf8(text.readAllStandardOutput());
    QVERIFY(all.contains("曲 62-5")); // the last song, on the last page
    QVERIFY(all.contains(QRegularExpression(QString("\\b%1\\s*\\f").arg(preview.pageCount()))));
}

RONDELLA_TEST_MAIN(TestReports)
#include "tst_reports.moc"
