// The printed reports: what each print command prints and when it refuses,
// pages laid out without splitting a band or running into the footer, long
// texts broken into lines and cut at four, the preview and its PDF.
#include "mainui.h"
#include "mainwindow/frmmain.h"
#include "reports/bandedreport.h"
#include "reports/printcommands.h"
#include "reports/reportpreview.h"
#include "reports/textlines.h"
#include "store/collection.h"
#include "store/dberror.h"
#include "testsupport.h"
#include "widgets/msgbox.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QPdfWriter>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

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
QString pdfText(const BandedReport& report, const QString& file, bool landscape = false,
                const QString& mode = u"-layout"_s)
{
    {
        QPdfWriter pdf(file);
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4),
                                      landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                                      QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
        pdf.setResolution(300);
        report.print(&pdf);
    }
    return run(u"pdftotext"_s, {mode, file, u"-"_s});
}

// Every word pdftotext finds in a PDF, with its box in points, by page.
struct Word {
    QRectF box;
    QString text;
};
QVector<QVector<Word>> pdfWords(const QString& file)
{
    static const QRegularExpression tag(u"<page |<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" "
                                        u"xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"_s);
    QVector<QVector<Word>> pages;
    for (const auto& m : tag.globalMatch(run(u"pdftotext"_s, {u"-bbox"_s, file, u"-"_s}))) {
        if (m.captured(0) == u"<page ")
            pages.push_back({});
        else
            pages.last().push_back(
                {QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                        QPointF(m.captured(3).toDouble(), m.captured(4).toDouble())),
                 m.captured(5)});
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
                    return words[i].text + u" | "_s + words[k].text;
            }
    return QString();
}

// Whether the first word `value` stands below the first word `heading`,
// across some of its width.
bool under(const QVector<Word>& words, const QString& heading, const QString& value)
{
    QRectF h, v;
    for (const Word& w : words) {
        if (h.isNull() && w.text == heading)
            h = w.box;
        if (v.isNull() && w.text == value)
            v = w.box;
    }
    return !h.isNull() && !v.isNull() && v.top() > h.bottom() && v.left() < h.right()
        && v.right() > h.left();
}

// Rows of one text column, CD名, in memory.
std::shared_ptr<View> titles(const QStringList& values)
{
    auto view = std::make_shared<View>();
    view->appendField(u"CD名"_s, FieldType::Text, 400, true);
    view->openInMemory();
    for (const QString& value : values) {
        view->addNew();
        view->setValue(0, value);
        view->update();
    }
    return view;
}

// A text with every kind of space taken out, and the wave dash as pdftotext
// reads it back (the font draws ～ and 〜 with one glyph).
QString withoutSpaces(QString text)
{
    text.remove(QRegularExpression(u"\\s"_s, QRegularExpression::UseUnicodePropertiesOption));
    return text.replace(QChar(0xFF5E), QChar(0x301C));
}

} // namespace

class TestReports : public QObject {
    Q_OBJECT
private slots:
    void init() { m_folder = std::make_unique<StartupFolder>(); }
    void cleanup() { endTest(m_w, m_folder); }
    void eachReportPrintsWhatIsShown();
    void refusalsAndRebinding();
    void bandsNeverSplitNorMeetTheFooter();
    void pageSetupWithoutAPrinter();
    void linesBreakBetweenCharactersNeverInside();
    void textsBeyondFourLinesAreCut();
    void previewLaysOutWhileOpenAndWritesEveryPage();

private:
    // Runs a print command and closes its preview at once; returns the
    // preview's caption, or nothing when no preview opened.
    QString runAndClose(const QString& action);
    void search(int box, const QString& value);
    std::unique_ptr<StartupFolder> m_folder;
    QPointer<frmMain> m_w;
};

QString TestReports::runAndClose(const QString& action)
{
    QString caption;
    QTimer::singleShot(0, [&] {
        if (auto* preview = qobject_cast<ReportPreview*>(QApplication::activeModalWidget())) {
            caption = preview->windowTitle();
            preview->reject();
        }
    });
    m_w->findChild<QAction*>(action)->trigger();
    QCoreApplication::processEvents();
    return caption;
}

void TestReports::search(int box, const QString& value)
{
    m_w->findChild<QAction*>(u"mnuTyuu"_s)->trigger();
    for (int b : {0, 4, 10})
        Check1(m_w, b)->setChecked(b == box);
    if (box != 10)
        DataCombo1(m_w, box)->setText(value);
    cmdFilter(m_w)->click();
}

void TestReports::eachReportPrintsWhatIsShown()
{
    writeSample(m_folder->path());
    m_w = startMain();
    const QString songs = u"曲印刷（非検索時は全曲印刷）"_s;
    // the CDs with their songs: each CD, then its songs, then the next CD
    QCOMPARE(runAndClose(u"mnuPrv2"_s), u"CD＆曲印刷（リレーション）"_s);
    QString text = pdfText(DataReport2(), m_folder->file(u"cds.pdf"_s));
    QVERIFY2(text.contains(u"すべてのデータ表示"_s) && text.contains(u"本棚"_s), qPrintable(text));
    const qsizetype itsSong = text.indexOf(u"第4楽章"_s),
                    second = text.indexOf(u"ドビュッシー：牧神"_s);
    QVERIFY(text.indexOf(u"交響曲第9番"_s) < itsSong && itsSong < second
            && second < text.indexOf(u"牧神の午後"_s, second + 10));
    // prices as the window shows them
    QVERIFY2(text.contains(u"¥2,800"_s) && text.contains(u"¥1,234.5"_s)
                 && !text.contains(u"2800"_s),
             qPrintable(text));
    // during a CD search the song list prints the song view, which that search does not filter
    search(4, u"エラート"_s);
    QCOMPARE(runAndClose(u"mnuprv3"_s), songs);
    text = pdfText(DataReport3(), m_folder->file(u"songs.pdf"_s));
    QVERIFY(text.contains(u"第4楽章"_s) && text.contains(u"牧神の午後"_s)
            && text.contains(u"発売元 = 'エラート'"_s));
    QCOMPARE(DataGrid2(m_w)->dataSource(), db().cds());
    QCOMPARE(DataGrid1(m_w)->dataSource(), db().songsOfCD());
    // the songs of a search, each value under its heading
    search(0, u"ベートーヴェン"_s);
    QCOMPARE(runAndClose(u"mnuprv3"_s), songs);
    const QString file = m_folder->file(u"songs.pdf"_s);
    text = pdfText(DataReport3(), file);
    QVERIFY2(text.contains(u"作曲者名 = 'ベートーヴェン'"_s)
                 && text.contains(u"第4楽章「歓喜の歌」"_s) && !text.contains(u"牧神の午後"_s)
                 && text.contains(QString::number(QDate::currentDate().year()) + u"年"_s),
             qPrintable(text));
    const QVector<Word> words = pdfWords(file).value(0);
    QVERIFY(under(words, u"作曲者名"_s, u"ベートーヴェン"_s)
            && under(words, u"指揮者名"_s, u"指揮者A"_s)
            && under(words, u"ソリスト"_s, u"独奏者B"_s));
    QCOMPARE(DataGrid1(m_w)->dataSource(), db().songs()); // bound again to the unlinked view
    // the CD list of a song search, its count and page number in the footer
    QCOMPARE(runAndClose(u"mnuprv"_s), u"CD印刷（曲検索時のみ）"_s);
    text = pdfText(DataReport1(), m_folder->file(u"list.pdf"_s));
    QVERIFY2(text.contains(u"購入年月日"_s) && text.contains(QRegularExpression(u"1\\s*枚"_s))
                 && text.contains(QRegularExpression(u"[―—]\\s*1\\s*[―—]"_s)),
             qPrintable(text));
}

void TestReports::refusalsAndRebinding()
{
    writeSample(m_folder->path());
    m_w = startMain();
    const QString onlyInASongSearch = u"このコマンドは曲の検索中にしか使用できません。"_s;
    // the CD list outside a song search, or with 全曲表示 ticked but no list
    // built yet: refused, grids untouched
    for (bool ticked : {false, true}) {
        Check1(m_w, 10)->setChecked(ticked);
        MsgBoxSetNextAnswers({QMessageBox::Ok});
        QCOMPARE(runAndClose(u"mnuprv"_s), QString());
        QCOMPARE(MsgBoxTakeAnswered().size(), 1);
        QCOMPARE(DataGrid2(m_w)->dataSource(), db().cds());
    }
    Check1(m_w, 10)->setChecked(false);
    // during a song search the CDs-with-songs report asks first; Cancel does nothing
    search(0, u"ドビュッシー"_s);
    MsgBoxSetNextAnswers({QMessageBox::Cancel});
    QCOMPARE(runAndClose(u"mnuPrv2"_s), QString());
    QCOMPARE(answeredTexts(),
             QStringList{u"CD検索時ではないので、全CDが対象になりますが印刷しますか？"_s});
    QCOMPARE(DataGrid2(m_w)->dataSource(), db().cdList());
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    QCOMPARE(runAndClose(u"印刷プレビュー"_s),
             u"CD＆曲印刷（リレーション）"_s); // the toolbar button
    QCOMPARE(MsgBoxTakeAnswered().size(), 1);
    QCOMPARE(DataGrid1(m_w)->dataSource(), db().songs());
    search(4, u"エラート"_s); // in a CD search the CD list is refused
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    QCOMPARE(runAndClose(u"mnuprv"_s), QString());
    QCOMPARE(answeredTexts(), QStringList{onlyInASongSearch});
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
    writeSample(m_folder->path(), 60);
    db().OpenDataContext();
    BandedReport& report = DataReport2();
    report.setDataSource(db().cds());
    for (int pageHeight : {4000, 9000, 15000}) {
        int details = 0;
        for (const auto& page : report.layout(pageHeight)) {
            int footer = pageHeight, body = 0;
            for (const auto& placed : page) {
                QVERIFY(placed.top >= 0 && placed.top + placed.height <= pageHeight);
                if (report.bandAt(placed.band).kind == ReportBand::PageFooter)
                    footer = placed.top;
                else
                    body = std::max(body, placed.top + placed.height);
                details += placed.childRow >= 0;
            }
            QVERIFY(body <= footer);
        }
        QCOMPARE(details, 3 + 60 * 5);
    }
    db().CloseDataContext();
}

// With no printer installed the page set-up still sets paper and
// orientation on the printer the previews use.
void TestReports::pageSetupWithoutAPrinter()
{
    m_w = startMain();
    QCOMPARE(m_w->printer().outputFormat(), QPrinter::PdfFormat);
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog && dialog->objectName() == u"cmndPage");
        auto* paper = dialog->findChild<QComboBox*>(u"paper"_s);
        paper->setCurrentIndex(paper->findData(int(QPageSize::A3)));
        dialog->findChild<QComboBox*>(u"orientation"_s)->setCurrentIndex(1);
        dialog->accept();
    });
    m_w->findChild<QAction*>(u"mnuPage"_s)->trigger();
    QCOMPARE(m_w->printer().pageLayout().pageSize().id(), QPageSize::A3);
    QCOMPARE(m_w->printer().pageLayout().orientation(), QPageLayout::Landscape);
    m_w->printer().setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                             QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
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
    const QString movement = u"交響曲第5番「運命」、第1楽章。アレグロ・コン・ブリオ"_s;
    for (double width = 4 * em; width < 12 * em; width += em / 3) {
        const QStringList lines = check(movement, width);
        QVERIFY(lines.size() > 1 && lines.join(QString()) == movement);
        for (const QString& line : lines.mid(1))
            QVERIFY2(!line.startsWith(u'」') && !line.startsWith(u'、') && !line.startsWith(u'。'),
                     qPrintable(lines.join(u'|')));
    }
    // at spaces: each line a run of whole words
    const QString latin = u"Prélude à l'après-midi d'un faune"_s;
    const QStringList lines = check(latin, widths.of(u"Prélude à l'après"));
    QVERIFY(lines.size() > 1 && lines.join(u' ') == latin);
    for (const QString& line : lines)
        for (const QString& word : line.split(u' '))
            QVERIFY2(latin.split(u' ').contains(word), qPrintable(line));
    // a word wider than its box, with a character of two halves and an accented one
    const QString odd
        = u"Ensemble"_s + QString::fromUcs4(U"𠮷") + u"é"_s + u"Intercontemporain"_s.repeated(2);
    for (double width = 1.1 * em; width < 4 * em; width += em / 7)
        QCOMPARE(check(odd, width).join(QString()), odd);
    // at most four lines, the fourth cut with 「…」 once the text goes on; a
    // last line that fits exactly is not cut, nor the spaces a line ends in counted
    const QString endless = u"いろはにほへと "_s.repeated(30);
    const QStringList four = check(endless, 5 * em, 4);
    QVERIFY(four.size() == 4 && four[3].endsWith(u'…')
            && withoutSpaces(four.join(QString())).size() > 16);
    QVERIFY(withoutSpaces(endless).startsWith(withoutSpaces(four.join(QString()).chopped(1))));
    const std::tuple<QString, double, int, QStringList> rows[] = {
        {u"第1楽章\n第2楽章"_s, 20 * em, 4, {u"第1楽章"_s, u"第2楽章"_s}},
        {u"一\n二\n三\n四\n五"_s, 10 * em, 4, {u"一"_s, u"二"_s, u"三"_s, u"四…"_s}},
        {u"一\n二\n三\n四"_s, 10 * em, 4, {u"一"_s, u"二"_s, u"三"_s, u"四"_s}},
        {u"一\n"_s, 10 * em, 4, {u"一"_s}},
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
// with it. On a landscape page the long columns share the extra width: a
// title that wraps on a portrait page prints on one line across a landscape
// one, and every heading stays above its column.
void TestReports::textsBeyondFourLinesAreCut()
{
    const QString endless = u"とても長い曲名"_s.repeated(40) + u"最後の言葉"_s;
    const QString threeLines = u"ほどほどの長さの曲名"_s.repeated(3);
    const QString title = u"交響曲第5番 ハ短調 作品67「運命」 第1楽章 アレグロ"_s;
    const QString cdTitle = u"長い曲のCD"_s;
    writeCollection(
        m_folder->path(), {cd(1, cdTitle)},
        {song(cdTitle, 1, endless), song(cdTitle, 2, threeLines), song(cdTitle, 3, u"短い曲"_s),
         song(cdTitle, 4, title,
              {{u"作曲者名"_s, u"ベートーヴェン"_s}, {u"演奏団体"_s, u"ウィーン・フィル"_s}})});
    m_w = startMain();
    QCOMPARE(runAndClose(u"mnuprv3"_s), u"曲印刷（非検索時は全曲印刷）"_s);
    BandedReport& report = DataReport3();
    const QString file = m_folder->file(u"songs.pdf"_s);
    const QString text = withoutSpaces(pdfText(report, file, false, u"-raw"_s));
    QVERIFY2(!text.contains(u"最後の言葉"_s) && text.contains(u"とても長い曲名…"_s),
             qPrintable(text));
    QVERIFY(text.contains(threeLines) && text.contains(u"短い曲"_s));
    QCOMPARE(overlappingWords(pdfWords(file)), QString());
    QVector<int> heights;
    for (const auto& placed : report.layout(15000, report.designedWidth()).value(0))
        if (placed.row >= 0)
            heights << placed.height;
    QCOMPARE(heights.size(), 4);
    const int designed = report.band(u"section6"_s).height;
    QVERIFY(heights[2] == designed && heights[1] > designed && heights[1] < heights[0]);
    // four lines: three more line spacings than one
    const double spacing = (heights[0] - designed) / 3.0;
    QVERIFY(spacing > 150 && spacing < 300);
    const int more = qRound((heights[1] - designed) / spacing);
    QVERIFY(more >= 1 && more <= 2 && qAbs(heights[1] - designed - more * spacing) <= 1);
    // a box right below a text that grows is drawn below its last line
    ReportItem grown, below;
    grown.kind = ReportItem::Box, grown.field = u"CD名"_s, grown.width = below.width = 2000;
    below.top = 240, below.text = u"下の行"_s;
    BandedReport stacked(u"stacked"_s, {{ReportBand::Detail, u"detail"_s, 480, {grown, below}}});
    stacked.setDataSource(titles({threeLines}));
    pdfText(stacked, file);
    QCOMPARE(overlappingWords(pdfWords(file)), QString());
    const auto lineWith
        = [](const QString& pdf) { return pdf.split(u'\n').filter(u"作品67"_s).value(0); };
    QVERIFY2(!lineWith(pdfText(report, file)).contains(title), qPrintable(pdfText(report, file)));
    const QString wide = pdfText(report, file, true);
    QVERIFY2(lineWith(wide).contains(title), qPrintable(wide));
    const QVector<Word> words = pdfWords(file).value(0);
    QVERIFY(under(words, u"作曲者名"_s, u"ベートーヴェン"_s)
            && under(words, u"演奏団体"_s, u"ウィーン・フィル"_s));
}

// The first page is on show before the rest are laid out; they are laid out
// while the preview is open, the count saying so until it is whole, and a
// jump to the last page lays out what is left first. Its PDF holds exactly
// the pages it shows, or none when stopped.
void TestReports::previewLaysOutWhileOpenAndWritesEveryPage()
{
    writeSample(m_folder->path(), 1200); // more than one slice of laying out
    m_w = startMain();
    BandedReport& report = DataReport3();
    report.setDataSource(db().songs());
    assignSongFields(report, u"section6"_s, QString());
    {
        ReportPreview preview(report, &m_w->printer(), m_w);
        QVERIFY(!preview.allLaidOut());
        QCOMPARE(preview.wholePagesLaidOut(), 1); // the page on show, whole
        QVERIFY(!preview.findChild<QLabel*>(u"sheet"_s)->pixmap().isNull());
        QVERIFY(preview.findChild<QLabel*>(u"lblPageTotal"_s)->text().contains(u"以上"_s));
        QTRY_VERIFY_WITH_TIMEOUT(preview.allLaidOut(), 20000);
        const int pages = preview.findChild<QSpinBox*>(u"page"_s)->maximum();
        QCOMPARE(preview.findChild<QLabel*>(u"lblPageTotal"_s)->text(),
                 u"/ %1 ページ"_s.arg(pages));
        QVERIFY(pages > 10 && preview.pageCount() == pages);
    }
    ReportPreview preview(report, &m_w->printer(), m_w);
    QVERIFY(!preview.allLaidOut());
    preview.findChild<QPushButton*>(u"cmdLast"_s)->click();
    QVERIFY(preview.allLaidOut());
    QCOMPARE(preview.currentPage(), preview.pageCount() - 1);
    preview.findChild<QPushButton*>(u"cmdPrevious"_s)->click();
    QCOMPARE(preview.currentPage(), preview.pageCount() - 2);
    const int shown = preview.findChild<QLabel*>(u"sheet"_s)->pixmap().width();
    preview.findChild<QPushButton*>(u"cmdZoomIn"_s)->click();
    QVERIFY(preview.findChild<QLabel*>(u"sheet"_s)->pixmap().width() > shown);
    QVERIFY(
        !preview.findChild<QPushButton*>(u"cmdPrint"_s)->isVisibleTo(&preview)); // no printer here
    // the same pages as a layout made at once
    const QRect paint = m_w->printer().pageLayout().paintRectPixels(m_w->printer().resolution());
    const double perTwip = m_w->printer().resolution() / 1440.0;
    QCOMPARE(
        preview.pageCount(),
        int(report.layout(int(paint.height() / perTwip), int(paint.width() / perTwip)).size()));
    const QString file = m_folder->file(u"shown.pdf"_s);
    QVERIFY_THROWS_EXCEPTION(DbError,
                             preview.exportPdf(file, [](int done, int) { return done < 2; }));
    QCOMPARE(QDir(m_folder->path()).entryList({u"shown.pdf*"_s}), QStringList());
    int calls = 0;
    preview.exportPdf(file, [&calls](int, int) { return ++calls > 0; });
    QCOMPARE(calls, preview.pageCount());
    QVERIFY(
        run(u"pdfinfo"_s, {file}).contains(QRegularExpression(u"Pages:\\s+%1\\n"_s.arg(calls))));
    const QString all = run(u"pdftotext"_s, {u"-layout"_s, file, u"-"_s});
    QVERIFY(all.contains(u"曲 1202-5"_s)); // the last song, on the last page
    QVERIFY(all.contains(QRegularExpression(u"\\b%1\\s*\\f"_s.arg(calls))));
}

RONDELLA_TEST_MAIN(TestReports)
#include "tst_reports.moc"
