// The printed reports: what each print command prints and when it refuses,
// pages laid out without splitting a band or running into the footer, long
// texts broken into lines and cut at four, the preview and its PDF.
#include "mainui.h"
#include "reports/printcommands.h"
#include "reports/reportpreview.h"
#include "reports/textlines.h"
#include "testsupport.h"
#include "widgets/msgbox.h"

#include <QComboBox>
#include <QPdfWriter>
#include <QProcess>

namespace {

const QString ninth = u"ベートーヴェン：交響曲第9番「合唱」"_s;
const QString faune = u"ドビュッシー：牧神の午後への前奏曲"_s;

void writeSample(const QString& folder, int extraCDs = 0)
{
    QVector<QVariantMap> cds{cd(1, ninth, {{u"発売元"_s, u"ポリドール"_s}, {u"購入価格"_s, 2800}}),
                             cd(2, faune,
                                {{u"発売元"_s, u"エラート"_s},
                                 {u"購入価格"_s, 1234.5},
                                 {u"キャビネット"_s, u"本棚"_s},
                                 {u"段"_s, u"三段目"_s}})};
    QVector<QVariantMap> songs{
        song(ninth, 1, u"第1楽章"_s,
             {{u"作曲者名"_s, u"ベートーヴェン"_s},
              {u"指揮者名"_s, u"指揮者A"_s},
              {u"ソリスト"_s, u"独奏者B"_s}}),
        song(ninth, 2, u"第4楽章「歓喜の歌」"_s, {{u"作曲者名"_s, u"ベートーヴェン"_s}}),
        song(faune, 3, u"牧神の午後"_s, {{u"作曲者名"_s, u"ドビュッシー"_s}})};
    for (int i = 3; i < extraCDs + 3; ++i) {
        cds << cd(i, u"追加のCD %1"_s.arg(i));
        for (int k = 1; k <= 5; ++k)
            songs << song(u"追加のCD %1"_s.arg(i), 100 + i * 5 + k, u"曲 %1-%2"_s.arg(i).arg(k));
    }
    writeCollection(folder, cds, songs);
}

QString run(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.start(program, arguments);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Draws the report as the preview does into a PDF and returns its text.
QString pdfText(const BandedReport& report, const QString& file, const QString& mode = u"-layout"_s)
{
    {
        QPdfWriter pdf(file);
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
        pdf.setResolution(300);
        report.print(&pdf);
    }
    return run(u"pdftotext"_s, {mode, file, u"-"_s});
}

// Two words pdftotext finds drawn over each other on a page of a PDF, as
// "first | second"; empty when none are.
QString overlappingWords(const QString& file)
{
    static const QRegularExpression tag(u"<page |<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" "
                                        u"xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"_s);
    QVector<std::pair<QRectF, QString>> page;
    for (const auto& m : tag.globalMatch(run(u"pdftotext"_s, {u"-bbox"_s, file, u"-"_s}))) {
        auto at = [&m](int i) { return m.captured(i).toDouble(); };
        const QRectF box(QPointF(at(1), at(2)), QPointF(at(3), at(4)));
        if (m.captured(0) == u"<page ")
            page.clear();
        for (const auto& [other, text] : page)
            if (const QRectF both = box.intersected(other);
                both.width() > 0.5 && both.height() > 0.5)
                return text + u" | "_s + m.captured(5);
        page.push_back({box, m.captured(5)});
    }
    return QString();
}

// Rows of one text column, CD名, in memory.
std::shared_ptr<View> titles(const QStringList& values)
{
    auto view = std::make_shared<View>();
    view->appendField(u"CD名"_s, FieldType::Text, 400, true);
    view->openInMemory();
    for (const QString& value : values)
        view->addNew(), view->setValue(0, value), view->update();
    return view;
}

} // namespace

class TestReports : public MainWindowTest {
    Q_OBJECT
private slots:
    void eachReportPrintsWhatIsShown();
    void bandsNeverSplitNorMeetTheFooter();
    void linesBreakBetweenCharactersNeverInside();
    void textsBeyondFourLinesAreCut();
    void previewLaysOutWhileOpenAndWritesEveryPage();

private:
    // Runs a print command, its boxes answered so, and closes its preview at
    // once; returns the preview's caption (empty when none opened), then what
    // each box said, joined by "|".
    QString runAndClose(const QString& action,
                        const QList<QMessageBox::StandardButton>& answers = {});
    void search(int box, const QString& value);
};

QString TestReports::runAndClose(const QString& action,
                                 const QList<QMessageBox::StandardButton>& answers)
{
    MsgBoxSetNextAnswers(answers);
    QString caption;
    QTimer::singleShot(0, [&] {
        if (auto* preview = qobject_cast<ReportPreview*>(QApplication::activeModalWidget())) {
            caption = preview->windowTitle();
            preview->reject();
        }
    });
    trigger(m_w, action);
    QCoreApplication::processEvents();
    return (QStringList{caption} + answeredTexts()).join(u'|');
}

void TestReports::search(int box, const QString& value)
{
    trigger(m_w, u"mnuTyuu"_s);
    for (int b : {0, 4, 10})
        Check1(m_w, b)->setChecked(b == box);
    DataCombo1(m_w, box)->setText(value);
    cmdFilter(m_w)->click();
}

// Each print command prints what the window shows, or refuses saying why,
// the grids bound as before once its preview closes; the page set-up sets
// paper and orientation with no printer installed.
void TestReports::eachReportPrintsWhatIsShown()
{
    writeSample(m_folder->path());
    start();
    // the CD list outside a song search, or with 全曲表示 ticked but no list built yet
    const QString onlyInASongSearch = u"|このコマンドは曲の検索中にしか使用できません。"_s;
    QCOMPARE(runAndClose(u"mnuprv"_s, {QMessageBox::Ok}), onlyInASongSearch);
    Check1(m_w, 10)->setChecked(true);
    QCOMPARE(runAndClose(u"mnuprv"_s, {QMessageBox::Ok}),
             u"|印刷するCDの一覧がまだありません。先に曲の検索か全曲表示をしてください。"_s);
    Check1(m_w, 10)->setChecked(false);
    // the CDs with their songs: each CD, then its songs, then the next CD
    QCOMPARE(runAndClose(u"mnuPrv2"_s), u"CD＆曲印刷（リレーション）"_s);
    QString text = pdfText(DataReport2(), m_folder->file(u"cds.pdf"_s));
    const qsizetype itsSong = text.indexOf(u"第4楽章"_s),
                    second = text.indexOf(u"ドビュッシー：牧神"_s);
    QVERIFY(text.indexOf(u"交響曲第9番"_s) < itsSong && itsSong < second
            && second < text.indexOf(u"牧神の午後"_s, second + 10));
    // prices as the window shows them
    QVERIFY2(text.contains(u"すべてのデータ表示"_s) && text.contains(u"本棚"_s)
                 && text.contains(u"¥2,800"_s) && text.contains(u"¥1,234.5"_s),
             qPrintable(text));
    // during a CD search the song list prints the song view, which that search
    // does not filter, and the CD list is refused
    const QString songs = u"曲印刷（非検索時は全曲印刷）"_s;
    search(4, u"エラート"_s);
    QCOMPARE(runAndClose(u"mnuprv3"_s), songs);
    text = pdfText(DataReport3(), m_folder->file(u"songs.pdf"_s));
    QVERIFY(text.contains(u"第4楽章"_s) && text.contains(u"牧神の午後"_s)
            && text.contains(u"発売元 = 'エラート'"_s));
    QCOMPARE(DataGrid1(m_w)->dataSource(), db().songsOfCD());
    QCOMPARE(runAndClose(u"mnuprv"_s, {QMessageBox::Ok}), onlyInASongSearch);
    // the songs of a search, the values in the order of their headings
    search(0, u"ベートーヴェン"_s);
    QCOMPARE(runAndClose(u"mnuprv3"_s), songs);
    text = pdfText(DataReport3(), m_folder->file(u"songs.pdf"_s));
    const QString row = text.split(u'\n').filter(u"第1楽章"_s).value(0);
    QVERIFY2(text.contains(u"作曲者名 = 'ベートーヴェン'"_s)
                 && text.contains(u"第4楽章「歓喜の歌」"_s) && !text.contains(u"牧神の午後"_s)
                 && text.contains(QString::number(QDate::currentDate().year()) + u"年"_s)
                 && row.indexOf(u"ベートーヴェン"_s) < row.indexOf(u"指揮者A"_s)
                 && row.indexOf(u"指揮者A"_s) < row.indexOf(u"独奏者B"_s),
             qPrintable(text));
    // then the CDs with their songs ask first: Cancel prints nothing
    const QString ask = u"|CD検索時ではないので、全CDが対象になりますが印刷しますか？"_s;
    QCOMPARE(runAndClose(u"mnuPrv2"_s, {QMessageBox::Cancel}), ask);
    QCOMPARE(runAndClose(u"印刷プレビュー"_s, {QMessageBox::Ok}), // the toolbar's
             u"CD＆曲印刷（リレーション）"_s + ask);
    QCOMPARE(DataGrid1(m_w)->dataSource(), db().songs()); // bound again to the unlinked view
    // the CD list of a song search, its count and page number in the footer
    QCOMPARE(runAndClose(u"mnuprv"_s), u"CD印刷（曲検索時のみ）"_s);
    text = pdfText(DataReport1(), m_folder->file(u"list.pdf"_s));
    QVERIFY2(text.contains(u"購入年月日"_s) && text.contains(QRegularExpression(u"1\\s*枚"_s))
                 && text.contains(QRegularExpression(u"[―—]\\s*1\\s*[―—]"_s)),
             qPrintable(text));
    QCOMPARE(m_w->printer().outputFormat(), QPrinter::PdfFormat);
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog && dialog->objectName() == u"cmndPage");
        auto* paper = dialog->findChild<QComboBox*>(u"paper"_s);
        paper->setCurrentIndex(paper->findData(int(QPageSize::A3)));
        dialog->findChild<QComboBox*>(u"orientation"_s)->setCurrentIndex(1);
        dialog->accept();
    });
    trigger(m_w, u"mnuPage"_s);
    QCOMPARE(m_w->printer().pageLayout().pageSize().id(), QPageSize::A3);
    QCOMPARE(m_w->printer().pageLayout().orientation(), QPageLayout::Landscape);
}

// A band lies whole on one page, above the page footer, and every row is
// there once; one that fits exactly stays on the page.
void TestReports::bandsNeverSplitNorMeetTheFooter()
{
    // page header 100, details of 200, page footer 100 on a page of 600: two
    // details fill the body exactly
    BandedReport exact(u"exact"_s,
                       {{ReportBand::PageHeader, u"head"_s, 100, {}},
                        {ReportBand::Detail, u"detail"_s, 200, {}},
                        {ReportBand::PageFooter, u"foot"_s, 100, {}}});
    exact.setDataSource(titles({u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s}));
    QVector<int> perPage;
    for (const auto& page : exact.layout(600)) {
        perPage << 0;
        for (const auto& placed : page)
            perPage.last() += exact.bandAt(placed.band).kind == ReportBand::Detail;
    }
    QCOMPARE(perPage, (QVector<int>{2, 2, 1}));
    QCOMPARE(exact.layout(599).size(), 5); // one twip less and only one fits
    // a CD and its songs, page after page: every row there once, no band over the footer
    writeSample(m_folder->path(), 60);
    db().OpenDataContext();
    BandedReport& report = DataReport2();
    report.setDataSource(db().cds());
    int details = 0;
    for (const auto& page : report.layout(9000)) {
        int footer = 9000, body = 0;
        for (const auto& placed : page) {
            if (report.bandAt(placed.band).kind == ReportBand::PageFooter)
                footer = placed.top;
            else
                body = std::max(body, placed.top + placed.height);
            details += placed.childRow >= 0;
        }
        QVERIFY(body <= footer);
    }
    QCOMPARE(details, 3 + 60 * 5);
    db().CloseDataContext();
}

// Lines fit their box, and together give back the text: broken at spaces in
// Latin text, between Japanese characters but never before a closing
// bracket or a comma, a word wider than the box between two characters,
// never inside a character of two halves or with its accent.
void TestReports::linesBreakBetweenCharactersNeverInside()
{
    QFont font(u"IPAPGothic"_s);
    font.setPointSizeF(9);
    const CharacterWidths widths(font);
    const double em = widths.of(u"あ");
    QStringList bad; // lines wider than their box, or starting inside a character
    auto check = [&](const QString& text, double width, int maxLines = 100) {
        const QStringList lines = textLines(text, widths, width, maxLines);
        for (const QString& line : lines)
            if (widths.of(line) > width || line.isEmpty() || line.front().isLowSurrogate()
                || line.front().category() == QChar::Mark_NonSpacing)
                bad << line;
        return lines;
    };
    const QString movement = u"交響曲第5番「運命」、第1楽章。アレグロ・コン・ブリオ"_s;
    for (double width = 4 * em; width < 12 * em; width += em / 3) {
        QString lines = check(movement, width).join(u'|');
        QVERIFY2(lines.contains(u'|')
                     && lines.remove(QRegularExpression(u"\\|(?![」、。])"_s)) == movement,
                 qPrintable(lines));
    }
    // at spaces: lines of whole words
    const QString latin = u"Prélude à l'après-midi d'un faune"_s;
    const QStringList lines = check(latin, widths.of(u"Prélude à l'après"));
    QVERIFY(lines.size() > 1 && lines.join(u' ') == latin);
    // a word wider than its box, with a character of two halves and an accented one
    const QString odd
        = u"Ensemble"_s + QString::fromUcs4(U"𠮷") + u"é"_s + u"Intercontemporain"_s.repeated(2);
    for (double width = 1.1 * em; width < 4 * em; width += em / 7)
        QCOMPARE(check(odd, width).join(QString()), odd);
    // at most four lines, the fourth cut with 「…」 once the text goes on; a
    // last line that fits exactly is not cut, nor the spaces a line ends in counted
    const std::tuple<QString, double, int, QStringList> rows[] = {
        {u"第1楽章\n第2楽章"_s, 20 * em, 4, {u"第1楽章"_s, u"第2楽章"_s}},
        {u"一\n二\n三\n四\n五"_s, 10 * em, 4, {u"一"_s, u"二"_s, u"三"_s, u"四…"_s}},
        {u"一\n二\n三\n四"_s, 10 * em, 4, {u"一"_s, u"二"_s, u"三"_s, u"四"_s}},
        {u"一\n"_s, 10 * em, 4, {u"一"_s}},
        {u"一\r\n\n二"_s, 10 * em, 4, {u"一"_s, QString(), u"二"_s}},
        {u"ああああ"_s, 2 * em, 2, {u"ああ"_s, u"ああ"_s}},
        {u"ab cd"_s, widths.of(u"ab"), 4, {u"ab"_s, u"cd"_s}},
        {QString(), 10 * em, 4, {}},
    };
    for (const auto& [text, width, maxLines, want] : rows)
        QCOMPARE(check(text, width, maxLines), want);
    QCOMPARE(bad.join(u'|'), QString());
}

// A text of more than four lines ends its fourth with 「…」; the band grows
// by three lines and no further; what stands below a grown text moves down
// with it.
void TestReports::textsBeyondFourLinesAreCut()
{
    const QString endless = u"とても長い曲名"_s.repeated(40) + u"最後の言葉"_s;
    const QString threeLines = u"ほどほどの長さの曲名"_s.repeated(3);
    const QString cdTitle = u"長い曲のCD"_s;
    writeCollection(
        m_folder->path(), {cd(1, cdTitle)},
        {song(cdTitle, 1, endless), song(cdTitle, 2, threeLines), song(cdTitle, 3, u"短い曲"_s)});
    start();
    QCOMPARE(runAndClose(u"mnuprv3"_s), u"曲印刷（非検索時は全曲印刷）"_s);
    BandedReport& report = DataReport3();
    const QString file = m_folder->file(u"songs.pdf"_s);
    // with every kind of space taken out
    const QString text
        = pdfText(report, file, u"-raw"_s)
              .remove(QRegularExpression(u"\\s"_s, QRegularExpression::UseUnicodePropertiesOption));
    QVERIFY2(!text.contains(u"最後の言葉"_s) && text.contains(u"とても長い曲名…"_s),
             qPrintable(text));
    QVERIFY(text.contains(threeLines) && text.contains(u"短い曲"_s));
    QCOMPARE(overlappingWords(file), QString());
    QVector<int> heights;
    for (const auto& placed : report.layout(15000, report.designedWidth()).value(0))
        if (placed.row >= 0)
            heights << placed.height;
    QCOMPARE(heights.size(), 3);
    // four lines: three more line spacings than one; the three lines one or two more
    const int designed = report.band(u"section6"_s).height;
    const double spacing = (heights[0] - designed) / 3.0;
    const int more = qRound((heights[1] - designed) / spacing);
    QVERIFY(heights[2] == designed && spacing > 150 && spacing < 300 && more >= 1 && more <= 2
            && qAbs(heights[1] - designed - more * spacing) <= 1);
    // a box right below a text that grows is drawn below its last line
    ReportItem grown, below;
    grown.kind = ReportItem::Box, grown.field = u"CD名"_s, grown.width = below.width = 2000;
    below.top = 240, below.text = u"下の行"_s;
    BandedReport stacked(u"stacked"_s, {{ReportBand::Detail, u"detail"_s, 480, {grown, below}}});
    stacked.setDataSource(titles({threeLines}));
    pdfText(stacked, file);
    QCOMPARE(overlappingWords(file), QString());
}

// The first page is on show before the rest are laid out, the count saying
// so until they are, while the preview is open; a jump to the last page lays
// out what is left first. Its PDF holds exactly the pages it shows, or none
// when stopped.
void TestReports::previewLaysOutWhileOpenAndWritesEveryPage()
{
    writeSample(m_folder->path(), 1200); // more than one slice of laying out
    start();
    BandedReport& report = DataReport3();
    report.setDataSource(db().songs());
    assignSongFields(report, u"section6"_s, QString());
    {
        ReportPreview preview(report, &m_w->printer(), m_w);
        auto* total = preview.findChild<QLabel*>(u"lblPageTotal"_s);
        QVERIFY(!preview.allLaidOut() && preview.wholePagesLaidOut() == 1
                && total->text().contains(u"以上"_s));
        QTRY_VERIFY_WITH_TIMEOUT(preview.allLaidOut(), 20000);
        QCOMPARE(total->text(), u"/ %1 ページ"_s.arg(preview.pageCount()));
    }
    ReportPreview preview(report, &m_w->printer(), m_w);
    preview.findChild<QPushButton*>(u"cmdLast"_s)->click();
    QVERIFY(preview.allLaidOut() && preview.currentPage() == preview.pageCount() - 1);
    const QString file = m_folder->file(u"shown.pdf"_s);
    QVERIFY_THROWS_EXCEPTION(DbError,
                             preview.exportPdf(file, [](int done, int) { return done < 2; }));
    QCOMPARE(QDir(m_folder->path()).entryList({u"shown.pdf*"_s}), QStringList());
    int calls = 0;
    preview.exportPdf(file, [&calls](int, int) { return ++calls > 0; });
    const QString all = run(u"pdftotext"_s, {u"-layout"_s, file, u"-"_s});
    QVERIFY(calls == preview.pageCount() && calls > 10 && all.count(u'\f') == calls);
    QVERIFY(all.contains(u"曲 1202-5"_s)); // the last song, on the last page
}

RONDELLA_TEST_MAIN(TestReports)
#include "tst_reports.moc"
