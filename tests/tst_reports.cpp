#include "mainui.h"
#include "mainwindow/frmmain.h"
#include "mainwindow/startup.h"
#include "reports/bandedreport.h"
#include "reports/printcommands.h"
#include "reports/reportpreview.h"
#include "reports/textlines.h"
#include "store/collection.h"
#include "store/dberror.h"
#include "store/importer.h"
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
#include <QSpinBox>
#include <QTest>

namespace {

const QString ninth = "ベートーヴェン：交響曲第9番「合唱」";
const QString faune = "ドビュッシー：牧神の午後への前奏曲 (Prélude à l'après-midi d'un faune)";

void writeSample(const QString& folder, int extraCDs = 0)
{
    QVector<QVariantMap> cds{cd(1, ninth, {{"発売元", "ポリドール"}, {"購入価格", 2800}}),
                             cd(2, faune, {{"発売元", "エラート"}, {"購入価格", 1234.5}})};
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

QString pdftotext(const QStringList& arguments)
{
    QProcess p;
    p.start("pdftotext", arguments);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Renders a report as the preview draws it, to PDF, and returns its text.
QString pdfText(const BandedReport& report, const QString& file,
                QPageLayout::Orientation orientation = QPageLayout::Portrait,
                const QString& mode = "-layout")
{
    {
        QPdfWriter pdf(file);
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), orientation,
                                      QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
        pdf.setResolution(300);
        report.print(&pdf);
    }
    return pdftotext({mode, file, "-"});
}

// Every word pdftotext finds in a PDF, with its box in points, by page.
struct Word {
    QRectF box;
    QString text;
};
QVector<QVector<Word>> pdfWords(const QString& file)
{
    const QString html = pdftotext({"-bbox", file, "-"});
    QVector<QVector<Word>> pages;
    static const QRegularExpression tag(
        "<page |<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" "
        "yMax=\"([\\d.]+)\">([^<]*)</word>");
    for (auto it = tag.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(0) == "<page ") {
            pages.push_back({});
            continue;
        }
        const QPointF topLeft(m.captured(1).toDouble(), m.captured(2).toDouble());
        const QPointF bottomRight(m.captured(3).toDouble(), m.captured(4).toDouble());
        pages.last().push_back({QRectF(topLeft, bottomRight), m.captured(5)});
    }
    return pages;
}

// Two words drawn over each other, as "first | second"; empty when none are.
QString overlappingWords(const QVector<QVector<Word>>& pages)
{
    for (const auto& words : pages)
        for (int i = 0; i < words.size(); ++i)
            for (int k = i + 1; k < words.size(); ++k) {
                const QRectF both = words[i].box.intersected(words[k].box);
                if (both.width() > 0.5 && both.height() > 0.5)
                    return words[i].text + " | " + words[k].text;
            }
    return QString();
}

// A text with every kind of space taken out, and the wave dash as pdftotext
// reads it back (the font draws ～ and 〜 with one glyph).
QString withoutSpaces(QString text)
{
    static const QRegularExpression space("\\s", QRegularExpression::UseUnicodePropertiesOption);
    text.remove(space);
    text.replace(QChar(0xFF5E), QChar(0x301C));
    return text;
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
    void linesBreakBetweenCharactersNeverInside();
    void longTextsPrintWhole();
    void textsBeyondFourLinesAreCut();
    void widerPaperWidensTheLongColumns();
    void previewTurnsPagesAndWritesThemAll();
    void previewOpensBeforeEveryPageIsLaidOut();

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
    QCOMPARE(DataGrid1(m_w)->dataSource(), db().songs());
    QCOMPARE(DataGrid2(m_w)->dataSource(), db().cdList());
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
    QVERIFY(text.contains("ポリドール"));
    // prices as the window shows them
    QVERIFY2(text.contains("¥2,800") && text.contains("¥1,234.5") && !text.contains("2800"),
             qPrintable(text));
    QCOMPARE(DataGrid2(m_w)->dataSource(), db().cds());
    QCOMPARE(DataGrid1(m_w)->dataSource(), db().songsOfCD());
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
    QCOMPARE(DataGrid2(m_w)->dataSource(), db().cds());
    QCOMPARE(DataGrid1(m_w)->dataSource(), db().songsOfCD());
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
    QCOMPARE(DataGrid2(m_w)->dataSource(), db().cdList()); // the all-songs display's grids again
    QCOMPARE(DataGrid1(m_w)->dataSource(), db().songs());
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
    QCOMPARE(DataGrid2(m_w)->dataSource(), db().cds());
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
    QCOMPARE(DataGrid2(m_w)->dataSource(), db().cdList());
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    QCOMPARE(runAndClose("印刷プレビュー"),
             QString("CD＆曲印刷（リレーション）")); // the toolbar button
    QCOMPARE(MsgBoxTakeAnswered().size(), 1);
    QCOMPARE(DataGrid1(m_w)->dataSource(), db().songs());
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
    report.setDataSource(db().cds());
    for (int pageHeight : {4000, 9000, 15000}) {
        const auto pages = report.layout(pageHeight);
        QVERIFY(pages.size() > 1);
        int details = 0;
        for (const auto& page : pages)
            for (const auto& placed : page) {
                QVERIFY(placed.top >= 0);
                QCOMPARE(placed.height, report.bandAt(placed.band).height); // no long texts here
                QVERIFY2(placed.top + placed.height <= pageHeight,
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
    report.setDataSource(db().songs());
    assignSongFields(report, "section6", QString());
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

// Lines fit their box, and together give back the text: broken at spaces in
// Latin text, between Japanese characters but never before a closing
// bracket or a comma, a word wider than the box between two characters,
// never inside a character of two halves or with its accent.
void TestReports::linesBreakBetweenCharactersNeverInside()
{
    QFont font("IPAPGothic");
    font.setPointSizeF(9);
    const CharacterWidths widths(font);
    const double em = widths.of(u"あ");
    QVERIFY(em > 100 && em < 250); // 9 points: 180 twips
    QStringList bad; // lines wider than their box, or starting inside a character
    auto check = [&](const QString& text, double width, int maxLines = 100) {
        const QStringList lines = textLines(text, widths, width, maxLines);
        for (const QString& line : lines)
            if (widths.of(line) > width || line.isEmpty() || line.front().isLowSurrogate()
                || line.front().category() == QChar::Mark_NonSpacing)
                bad << line;
        return lines;
    };
    const QString movement = "交響曲第5番「運命」、第1楽章。アレグロ・コン・ブリオ";
    for (double width = 4 * em; width < 12 * em; width += em / 3) {
        const QStringList lines = check(movement, width);
        QCOMPARE(lines.join(QString()), movement);
        QVERIFY(lines.size() > 1);
        for (const QString& line : lines.mid(1))
            QVERIFY2(!line.startsWith("」") && !line.startsWith("、") && !line.startsWith("。"),
                     qPrintable(lines.join('|')));
    }
    // at spaces: each line a run of whole words
    const QString faune = "Prélude à l'après-midi d'un faune";
    const QStringList words = faune.split(' ');
    const QStringList lines = check(faune, widths.of(u"Prélude à l'après"));
    QVERIFY(lines.size() > 1);
    QCOMPARE(lines.join(' '), faune);
    for (const QString& line : lines)
        for (const QString& word : line.split(' '))
            QVERIFY2(words.contains(word), qPrintable(line));
    // a word wider than its box, with a character of two halves and an accented one
    const QString odd = QString("Ensemble") + QString::fromUcs4(U"𠮷") + "é"
        + QString("Intercontemporain").repeated(2);
    for (double width = 1.1 * em; width < 4 * em; width += em / 7)
        QCOMPARE(check(odd, width).join(QString()), odd);
    // a line feed starts a new line
    QCOMPARE(check("第1楽章\n第2楽章", 20 * em), (QStringList{"第1楽章", "第2楽章"}));
    // at most four lines, the fourth cut with 「…」
    const QString endless = QString("いろはにほへと ").repeated(30);
    const QStringList four = check(endless, 5 * em, 4);
    QCOMPARE(four.size(), 4);
    QVERIFY(four[3].endsWith("…"));
    QVERIFY(withoutSpaces(endless).startsWith(withoutSpaces(four.join(QString()).chopped(1))));
    QVERIFY(withoutSpaces(four.join(QString())).size()
            > 4 * 4); // the lines are used, not cut short
    QCOMPARE(check("一\n二\n三\n四\n五", 10 * em, 4), (QStringList{"一", "二", "三", "四…"}));
    QCOMPARE(check("一\n二\n三\n四", 10 * em, 4), (QStringList{"一", "二", "三", "四"}));
    QCOMPARE(check(QString(), 10 * em), QStringList());
    QCOMPARE(bad.join("|"), QString());
}

// The old database brought in, printed as CDs with their songs: every long
// value lies whole in the PDF, in the order of the rows, and no text is drawn
// over another.
void TestReports::longTextsPrintWhole()
{
    importer::writeCollection(db().databasePath(),
                              importer::readLegacy(LEGACY_FIXTURES "/cdkaisou.mdb"), false);
    m_w = startMain();
    QCOMPARE(runAndClose("mnuPrv2"), QString("CD＆曲印刷（リレーション）"));
    const QString file = m_folder->file("cds.pdf");
    const QString text = withoutSpaces(pdfText(DataReport2(), file, QPageLayout::Portrait, "-raw"));
    QCOMPARE(overlappingWords(pdfWords(file)), QString());
    // the long values, in the report's order
    const auto& cds = db().cds();
    const int songTitle = db().songsOfCD()->fieldIndex("曲名");
    const int ensemble = db().songsOfCD()->fieldIndex("演奏団体");
    qsizetype at = 0;
    int whole = 0, cut = 0;
    auto find = [&](const QString& value) {
        const QString wanted = withoutSpaces(value);
        if (wanted.size() < 16)
            return;
        const qsizetype found = text.indexOf(wanted, at);
        if (found >= 0) {
            at = found + wanted.size();
            ++whole;
            return;
        }
        // more than four lines: the beginning, then 「…」
        qsizetype shown = wanted.size() - 1;
        while (shown > 0 && text.indexOf(wanted.left(shown) + "…", at) < 0)
            --shown;
        QVERIFY2(shown >= 40, qPrintable("not found whole: " + value));
        at = text.indexOf(wanted.left(shown) + "…", at) + shown;
        ++cut;
    };
    for (int row = 0; row < cds->recordCount(); ++row) {
        find(cds->valueAt(row, cds->fieldIndex("CD名")).toString());
        for (const auto* song : cds->childRowsAt(row)) {
            find(song->value(songTitle).toString());
            find(song->value(ensemble).toString());
        }
    }
    QVERIFY2(whole > 100, qPrintable(QString::number(whole)));
}

// A text of more than four lines ends its fourth with 「…」; the band grows
// by three lines and no further, and never splits across pages.
void TestReports::textsBeyondFourLinesAreCut()
{
    const QString endless = QString("とても長い曲名").repeated(40) + "最後の言葉";
    const QString threeLines = QString("ほどほどの長さの曲名").repeated(3);
    writeCollection(m_folder->path(), {cd(1, "長い曲のCD")},
                    {song("長い曲のCD", 1, endless), song("長い曲のCD", 2, threeLines),
                     song("長い曲のCD", 3, "短い曲")});
    m_w = startMain();
    QCOMPARE(runAndClose("mnuprv3"), QString("曲印刷（非検索時は全曲印刷）"));
    BandedReport& report = DataReport3();
    const QString file = m_folder->file("songs.pdf");
    const QString text = withoutSpaces(pdfText(report, file, QPageLayout::Portrait, "-raw"));
    QVERIFY2(!text.contains("最後の言葉") && text.contains("とても長い曲名…"), qPrintable(text));
    QVERIFY(text.contains(threeLines) && text.contains("短い曲"));
    QCOMPARE(overlappingWords(pdfWords(file)), QString());
    QVector<int> heights;
    for (const auto& placed : report.layout(15000, report.designedWidth()).value(0))
        if (placed.row >= 0)
            heights << placed.height;
    QCOMPARE(heights.size(), 3);
    const int designed = report.band("section6").height;
    QCOMPARE(heights[2], designed);
    QVERIFY(heights[1] > designed && heights[1] < heights[0]);
    // four lines: three more line spacings than one, as many as a text of any greater length
    const double spacing = (heights[0] - designed) / 3.0;
    QVERIFY(spacing > 150 && spacing < 300);
    const int more = qRound((heights[1] - designed) / spacing);
    QVERIFY(more >= 1 && more <= 2 && qAbs(heights[1] - designed - more * spacing) <= 1);
    // on a page barely taller than the bands, each goes whole onto a page of its own
    const auto pages = report.layout(heights[0] + 900 + 345 + 444, report.designedWidth());
    for (const auto& page : pages)
        for (const auto& placed : page)
            QVERIFY(placed.top + placed.height <= heights[0] + 900 + 345 + 444);
}

// On a landscape page the song title, CD title and ensemble columns share
// the extra width in proportion to their designed widths; the others keep
// theirs and move along. A title that wraps on a portrait page prints on one
// line across a landscape one.
void TestReports::widerPaperWidensTheLongColumns()
{
    const QString title = "交響曲第5番 ハ短調 作品67「運命」 第1楽章 アレグロ";
    writeCollection(m_folder->path(), {cd(1, "運命")},
                    {song("運命", 1, title, {{"作曲者名", "ベートーヴェン"}})});
    m_w = startMain();
    QCOMPARE(runAndClose("mnuprv3"), QString("曲印刷（非検索時は全曲印刷）"));
    BandedReport& report = DataReport3();
    const int designed = report.designedWidth();
    auto span = [&](const char* name, int width) {
        return report.spanOn(report.control("section6", name), width);
    };
    // no wider than designed: exactly the designed columns
    QCOMPARE(span("text2", designed).width, 2655);
    QCOMPARE(span("text2", designed - 500).width, 2655);
    const int landscape = 16000;
    const int extra = landscape - designed;
    const double titleShare = extra * 2655.0 / (2655 + 2265);
    QVERIFY(qAbs(span("text2", landscape).width - (2655 + titleShare)) <= 1);
    QVERIFY(qAbs(span("text6", landscape).width - (2265 + extra - titleShare)) <= 1);
    for (const char* other : {"text1", "text3", "text4", "text5"})
        QCOMPARE(span(other, landscape).width, report.control("section6", other).width);
    QCOMPARE(span("text1", landscape).left, 45);
    QVERIFY(qAbs(span("text3", landscape).left - (3540 + titleShare)) <= 1);
    QVERIFY(qAbs(span("text6", landscape).left + span("text6", landscape).width - landscape) <= 1);
    // the heading moves with its column
    int headingLeft = -1;
    for (const auto& item : report.band("section2").items)
        if (item.text == "作曲者名")
            headingLeft = report.spanOn(item, landscape).left;
    QVERIFY(qAbs(headingLeft - (3615 + titleShare)) <= 1);
    // printed: one line across landscape, two in portrait
    const auto lineWith = [](const QString& text, const QString& part) {
        return text.split('\n').filter(part).value(0);
    };
    const QString wide = pdfText(report, m_folder->file("wide.pdf"), QPageLayout::Landscape);
    QVERIFY2(lineWith(wide, "作品67").contains(title), qPrintable(wide));
    const QString narrow = pdfText(report, m_folder->file("narrow.pdf"));
    QVERIFY2(!lineWith(narrow, "作品67").contains(title), qPrintable(narrow));
}

// The first page is on show before the rest are laid out; they are laid out
// while the preview is open, the count saying so until it is whole, and a
// jump to the last page lays out what is left first.
void TestReports::previewOpensBeforeEveryPageIsLaidOut()
{
    writeSample(m_folder->path(), 1200); // more than one slice of laying out

    m_w = startMain();
    BandedReport& report = DataReport3();
    report.setDataSource(db().songs());
    assignSongFields(report, "section6", QString());
    {
        ReportPreview preview(report, &m_w->printer(), m_w);
        QVERIFY(!preview.allLaidOut());
        QCOMPARE(preview.wholePagesLaidOut(), 1); // the page on show, whole
        QVERIFY(!preview.findChild<QLabel*>("sheet")->pixmap().isNull());
        QVERIFY(preview.findChild<QLabel*>("lblPageTotal")->text().contains("以上"));
        QTRY_VERIFY_WITH_TIMEOUT(preview.allLaidOut(), 20000);
        const int pages = preview.findChild<QSpinBox*>("page")->maximum();
        QCOMPARE(preview.findChild<QLabel*>("lblPageTotal")->text(),
                 QString("/ %1 ページ").arg(pages));
        QVERIFY(pages > 10);
        QCOMPARE(preview.pageCount(), pages);
    }
    ReportPreview preview(report, &m_w->printer(), m_w);
    QVERIFY(!preview.allLaidOut());
    preview.findChild<QPushButton*>("cmdLast")->click();
    QVERIFY(preview.allLaidOut());
    QCOMPARE(preview.currentPage(), preview.pageCount() - 1);
    // the same pages as a layout made at once
    const QRect paint = m_w->printer().pageLayout().paintRectPixels(m_w->printer().resolution());
    const double perTwip = m_w->printer().resolution() / 1440.0;
    QCOMPARE(
        preview.pageCount(),
        int(report.layout(int(paint.height() / perTwip), int(paint.width() / perTwip)).size()));
}

RONDELLA_TEST_MAIN(TestReports)
#include "tst_reports.moc"
