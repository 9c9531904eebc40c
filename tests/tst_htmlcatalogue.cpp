// The HTML catalogue as a browser shows it: written by the program's command
// line, opened from the disk in a headless Chromium 360 px wide, typed into
// through the page. It finds what quick find finds for every row of the
// normalisation's shared table, shows each CD with what the collector looks
// for, fits the phone's width and loads nothing from outside its folder; an
// export refused or stopped leaves the catalogue that was there.
#include "mainui.h"
#include "reports/htmlexport.h"
#include "store/cdnotes.h"
#include "store/collection.h"
#include "store/connection.h"
#include "store/findtext.h"
#include "store/jacketfiles.h"
#include "store/loans.h"
#include "store/namegroups.h"
#include "store/ratings.h"
#include "testsupport.h"
#include "webdriver.h"

#include <QDirIterator>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>

namespace {

// The fields a row's stored text goes into, one after the other: every text
// field of a CD and of a song, and the CD's note.
const QStringList cdFields = {u"CD名"_s, u"解説者"_s, u"発売元"_s, u"キャビネット"_s, u"段"_s};
const QStringList songFields
    = {u"曲名"_s,     u"作曲者名"_s, u"編曲者名"_s,   u"指揮者名"_s, u"演奏団体"_s,
       u"ソリスト"_s, u"録音先"_s,   u"録音先番号"_s, u"録音時間"_s, u"録音年月日"_s,
       u"録音会場"_s, u"原盤番号"_s, u"分野"_s};

struct FindRow {
    QString typed, stored;
    bool found;
};

QList<FindRow> sharedRows()
{
    QList<FindRow> rows;
    for (const QStringList& cells : readTsv(QStringLiteral(FINDROWS)))
        if (cells.size() == 3)
            rows << FindRow{cells[0], cells[1], cells[2] == u"1"};
    return rows;
}

// The CDs the fixture adds to the rows' own, past them: one whole CD (a
// jacket, its place, a loan, stars, a note, songs of a work), a CD named by a
// joined spelling, and one with a title too long for a phone's line.
constexpr int wholeCD = 900, karajanCD = 901, longCD = 902;

} // namespace

class TestHtmlCatalogue : public MainWindowTest {
    Q_OBJECT
public:
    ~TestHtmlCatalogue() override;

private slots:
    void findsWhatQuickFindFinds();
    void showsEachCDWithItsSongsPlaceAndLoan();
    void fitsAPhoneAndLoadsNothingFromOutside();
    void writtenWholeOrNotAtAll();
    void writtenFromTheMenu();

private:
    // The collection and its catalogue, written once for the suite.
    bool prepare();
    WebDriver& browser();
    // Types into the page's search field and returns the CDIDs it lists,
    // every page of them, in order.
    QStringList pageFinds(const QString& typed);
    QStringList listed();
    // The CDIDs quick find finds for the text, in the list's order.
    QStringList quickFinds(const QString& typed);
    QUrl page(const QString& query = QString()) const;
    // Whether the script comes to return true within a few seconds.
    bool waitFor(const QString& script, const QJsonArray& arguments = {});

    std::unique_ptr<QTemporaryDir> m_work;
    QString m_collection, m_catalogue;
    std::unique_ptr<Collection> m_reference;
    std::unique_ptr<WebDriver> m_browser;
    QString m_why;
};

TestHtmlCatalogue::~TestHtmlCatalogue()
{
    m_browser.reset();
    m_reference.reset();
}

bool TestHtmlCatalogue::prepare()
{
    if (m_work)
        return m_why.isEmpty();
    m_work = std::make_unique<QTemporaryDir>();
    m_collection = m_work->filePath(u"collection"_s);
    m_catalogue = m_work->filePath(u"catalogue"_s);
    QDir().mkpath(m_collection);
    const QList<FindRow> rows = sharedRows();
    if (rows.size() < 40) {
        m_why = u"the shared rows cannot be read"_s;
        return false;
    }
    QVector<QVariantMap> cds, songs;
    QHash<int, QString> notes;
    const int places = int(cdFields.size() + songFields.size()) + 1;
    for (int i = 0; i < rows.size(); ++i) {
        const int id = i + 1, place = i % places;
        const QString title = place == 0 ? rows[i].stored : u"試料%1"_s.arg(id);
        if (place < cdFields.size()) {
            cds << cd(id, title, {{cdFields[place], rows[i].stored}});
        } else if (place < cdFields.size() + songFields.size()) {
            const QString field = songFields[place - int(cdFields.size())];
            cds << cd(id, title);
            songs << song(title, id, field == u"曲名" ? rows[i].stored : u"曲"_s,
                          {{field, rows[i].stored}});
        } else {
            cds << cd(id, title);
            notes.insert(id, rows[i].stored);
        }
    }
    const QString fifth = u"交響曲集 第1巻"_s;
    cds << cd(wholeCD, fifth,
              {{u"キャビネット"_s, u"B"_s},
               {u"段"_s, u"4"_s},
               {u"発売元"_s, u"東芝EMI"_s},
               {u"購入価格"_s, 2800}});
    for (int m = 1; m <= 2; ++m)
        songs << song(
            fifth, 900 + m, u"交響曲第5番 ハ短調 作品67 第%1楽章"_s.arg(m),
            {{u"作曲者名"_s, u"ベートーヴェン"_s}, {u"指揮者名"_s, u"フルトヴェングラー"_s}});
    // quotes, a backslash and an apostrophe, each of which could end the data's string
    cds << cd(karajanCD, u"管弦楽名曲集 \"アダージョ\" \\ 2 d'Indy"_s,
              {{u"解説者"_s, u"カラヤン"_s}});
    cds << cd(longCD, u"Symphonie_fantastique_épisode_de_la_vie_d_un_artiste_en_cinq_parties"_s);
    writeCollection(m_collection, cds, songs);
    {
        Connection cn(QDir(m_collection).filePath(u"cdkaisou.db"_s));
        for (auto it = notes.constBegin(); it != notes.constEnd(); ++it)
            cdnotes::write(cn, it.key(), it.value());
        cdnotes::write(cn, wholeCD, u"初期盤\n帯付き"_s);
        loans::lend(cn, loans::lending(wholeCD, u"山田"_s, QDate(2026, 11, 3), QDate(2026, 12, 1)));
        ratings::rate(cn, ratings::Of::CD, wholeCD, 4);
        names::join(cn, {u"カラヤン"_s, u"Karajan"_s}, u"カラヤン"_s);
    }
    QImage jacket(800, 600, QImage::Format_RGB32);
    jacket.fill(Qt::red);
    QDir().mkpath(QDir(m_collection).filePath(u"jacket"_s));
    jacket.save(jacket::pictureOf(m_collection, wholeCD), "JPEG");

    // the catalogue written by the command line, as a collector writes it
    QProcess program;
    program.start(QStringLiteral(RONDELLA_PROGRAM),
                  {u"--export-html"_s, m_catalogue, u"--collection"_s, m_collection});
    if (!program.waitForFinished(120000) || program.exitCode() != 0) {
        m_why = u"the export failed: "_s + QString::fromLocal8Bit(program.readAllStandardError());
        return false;
    }
    m_reference = std::make_unique<Collection>(m_collection);
    m_reference->OpenDataContext();
    m_reference->WaitForAllRows();
    return true;
}

WebDriver& TestHtmlCatalogue::browser()
{
    if (!m_browser)
        m_browser = std::make_unique<WebDriver>(360, 740);
    return *m_browser;
}

QUrl TestHtmlCatalogue::page(const QString& query) const
{
    QUrl url = QUrl::fromLocalFile(QDir(m_catalogue).filePath(u"index.html"_s));
    if (!query.isNull())
        url.setQuery(u"q="_s + QString::fromLatin1(QUrl::toPercentEncoding(query)));
    return url;
}

bool TestHtmlCatalogue::waitFor(const QString& script, const QJsonArray& arguments)
{
    for (int tries = 0; tries < 250; ++tries) {
        if (browser().run(script, arguments).toBool())
            return true;
        if (!browser().failure().isEmpty())
            return false; // a page that hangs answers no more
        QTest::qWait(20);
    }
    return false;
}

QStringList TestHtmlCatalogue::listed()
{
    // every page of the list, each drawn through its button
    for (int pages = 0; pages < 100; ++pages) {
        const bool more
            = browser().run(u"return !document.getElementById('more').hidden"_s).toBool();
        if (!more)
            break;
        browser().click(browser().element(u"#more"_s));
    }
    QStringList ids;
    for (const QJsonValue& v : browser()
                                   .run(u"return Array.from(document.querySelectorAll('#cds > "
                                        "li'), function (e) { return e.dataset.cdid; })"_s)
                                   .toArray())
        ids << v.toString();
    return ids;
}

QStringList TestHtmlCatalogue::pageFinds(const QString& typed)
{
    WebDriver& b = browser();
    if (!b.type(b.element(u"#q"_s), typed))
        return {u"typing failed: "_s + b.failure()};
    // the list says which text it answers: the typed one, once it has come
    if (waitFor(u"return document.getElementById('cds').getAttribute('data-q') === arguments[0]"_s,
                {typed}))
        return listed();
    return {u"the page never answered: "_s + b.failure()};
}

QStringList TestHtmlCatalogue::quickFinds(const QString& typed)
{
    const QStringList words = findWords(typed.simplified());
    const View& cds = need(m_reference->cds());
    QStringList ids;
    if (words.isEmpty()) {
        for (const RowPtr& row : cds.baseRows())
            ids << row->value(0).toString();
        return ids;
    }
    const auto found = m_reference->cdsMatching(words);
    for (const RowPtr& row : cds.baseRows())
        if (found->contains(row->rowid))
            ids << row->value(0).toString();
    return ids;
}

void TestHtmlCatalogue::findsWhatQuickFindFinds()
{
    QVERIFY2(prepare(), qPrintable(m_why));
    QVERIFY2(browser().failure().isEmpty(), qPrintable(browser().failure()));
    QVERIFY(browser().open(page()));
    const QList<FindRow> rows = sharedRows();
    for (int i = 0; i < rows.size(); ++i) {
        const QStringList shown = pageFinds(rows[i].typed);
        QCOMPARE(shown.join(u' '), quickFinds(rows[i].typed).join(u' '));
        // and the row's own CD as the table says
        QVERIFY2(shown.contains(QString::number(i + 1)) == rows[i].found,
                 qPrintable(rows[i].typed + u" / "_s + rows[i].stored));
    }
    // a joined spelling finds every spelling of its group; every word counts
    for (const QString& typed : {u"karajan"_s, u"ｶﾗﾔﾝ 管弦楽"_s, u"ベートーベン 東芝"_s,
                                 u"フルトヴェングラー 帯付き"_s, u"  "_s, QString()}) {
        const QStringList expected = quickFinds(typed);
        QVERIFY2(!typed.trimmed().isEmpty() ? !expected.isEmpty() && expected.size() < 10
                                            : expected.size() > 40,
                 qPrintable(typed));
        QCOMPARE(pageFinds(typed).join(u' '), expected.join(u' '));
    }
    // a search opened from its address, as a bookmark keeps it
    for (const QString& typed : {u"K.550"_s, u"ベートーヴェン 作品67"_s, u"1+1"_s}) {
        QVERIFY(browser().open(page(typed)));
        QCOMPARE(browser().run(u"return document.getElementById('q').value"_s).toString(), typed);
        QCOMPARE(listed().join(u' '), quickFinds(typed).join(u' '));
    }
}

void TestHtmlCatalogue::showsEachCDWithItsSongsPlaceAndLoan()
{
    QVERIFY2(prepare(), qPrintable(m_why));
    QVERIFY2(browser().failure().isEmpty(), qPrintable(browser().failure()));
    QVERIFY(browser().open(page()));
    QCOMPARE(pageFinds(u"東芝EMI"_s), QStringList{QString::number(wholeCD)});
    const QString item = QStringLiteral("#cds > li[data-cdid=\"%1\"]").arg(wholeCD);
    const QString text
        = browser()
              .run(u"return document.querySelector(arguments[0]).innerText"_s, {item})
              .toString();
    // its place, the loan with whom and since when, the note's lines, the
    // songs with their composer, the price as yen
    for (const QString& shown :
         {u"B"_s, u"4"_s, u"山田"_s, u"2026/11/03"_s, u"2026/12/01"_s, u"初期盤\n帯付き"_s,
          u"交響曲第5番 ハ短調 作品67 第2楽章"_s, u"ベートーヴェン"_s, u"2,800"_s})
        QVERIFY2(text.contains(shown), qPrintable(shown + u" in " + text));
    // each song with its own fields, also those it shares with the song above
    QCOMPARE(text.count(u"フルトヴェングラー"_s), 2);
    QCOMPARE(browser()
                 .run(u"return document.querySelectorAll(arguments[0] + ' .song').length"_s, {item})
                 .toInt(),
             2);
    // the jacket as a thumbnail of at most 300 px, shown from the folder
    const QImage thumbnail(
        QDir(m_catalogue).filePath(QStringLiteral("jackets/%1.jpg").arg(wholeCD)));
    QCOMPARE(thumbnail.size(), QSize(300, 225));
    QVERIFY(waitFor(u"var img = document.querySelector(arguments[0] + ' img');"
                    "return img.complete && img.naturalWidth === 300"_s,
                    {item}));
    // the works by composer, of the CDs found: the work's recording leads to its CD
    QVERIFY(browser().click(browser().element(u"#tabWorks"_s)));
    QCOMPARE(browser().run(u"return document.querySelectorAll('#works summary').length"_s).toInt(),
             1);
    const QString composer = u"//summary[starts-with(., 'ベートーヴェン')]"_s;
    QVERIFY(browser().click(browser().element(composer, u"xpath"_s)));
    QVERIFY(waitFor(u"return document.getElementById('works').innerText"
                    ".indexOf('交響曲第5番') >= 0"_s));
    QVERIFY(browser().click(browser().element(composer + u"/..//button"_s, u"xpath"_s)));
    QCOMPARE(listed(), QStringList{QString::number(wholeCD)});
}

void TestHtmlCatalogue::fitsAPhoneAndLoadsNothingFromOutside()
{
    QVERIFY2(prepare(), qPrintable(m_why));
    QVERIFY2(browser().failure().isEmpty(), qPrintable(browser().failure()));
    browser().requested(); // those of the pages before
    QVERIFY(browser().open(page()));
    QCOMPARE(pageFinds(QString()).size(), quickFinds(QString()).size());
    // every CD on show, the long title among them: nothing wider than the screen
    const QImage shot = QImage::fromData(browser().screenshot(), "PNG");
    QCOMPARE(shot.width(), 360);
    QCOMPARE(browser().run(u"return window.innerWidth"_s).toInt(), 360);
    QCOMPARE(browser().run(u"return document.documentElement.scrollWidth"_s).toInt(), 360);
    // the long title on the screen (the page lays out only the CDs shown),
    // and no text of it wider than its box, which would cut it off
    QCOMPARE(pageFinds(u"fantastique"_s), QStringList{QString::number(longCD)});
    QCOMPARE(browser().run(u"return document.documentElement.scrollWidth"_s).toInt(), 360);
    QCOMPARE(browser()
                 .run(u"return Array.from(document.querySelectorAll('body *'), function (e) {"
                      "  return e.clientWidth > 0 && e.scrollWidth > e.clientWidth + 1"
                      "    ? e.tagName + '.' + e.className : ''; }).filter(Boolean).join(' ')"_s)
                 .toString(),
             QString());
    QVERIFY(browser().click(browser().element(u"#tabWorks"_s)));
    QCOMPARE(browser().run(u"return document.documentElement.scrollWidth"_s).toInt(), 360);
    // every file the page asked for lies in its folder, the jacket on show among them
    QCOMPARE(pageFinds(u"東芝EMI"_s), QStringList{QString::number(wholeCD)});
    QVERIFY(waitFor(u"return document.querySelector('#cds img').complete"_s));
    const QString folder = QUrl::fromLocalFile(m_catalogue).toString() + u'/';
    const QStringList files = browser().requested();
    for (const QString& needed : {u"data.js"_s, u"rondella.js"_s, u"style.css"_s, u"jackets/"_s})
        QVERIFY2(files.join(u' ').contains(folder + needed), qPrintable(files.join(u' ')));
    for (const QString& url : files)
        QVERIFY2(url.startsWith(folder), qPrintable(url));
    // and no file of it names a place elsewhere
    QDirIterator written(m_catalogue, QDir::Files, QDirIterator::Subdirectories);
    int texts = 0;
    while (written.hasNext()) {
        const QString path = written.next();
        if (path.endsWith(u".jpg"_s))
            continue;
        ++texts;
        const QByteArray bytes = bytesOf(path);
        QVERIFY2(!bytes.contains("://") && !bytes.contains("@import"), qPrintable(path));
    }
    QCOMPARE(texts, 4);
}

// Written into a folder of its own, then given the target's name: what
// stops it (the collector's キャンセル, a refusal) leaves the target as it was.
void TestHtmlCatalogue::writtenWholeOrNotAtAll()
{
    QVERIFY2(prepare(), qPrintable(m_why));
    Connection cn(QDir(m_collection).filePath(u"cdkaisou.db"_s));
    const QString target = m_work->filePath(u"again"_s);
    htmlexport::write(cn, m_collection, target);
    const QByteArray before = fileHash(QDir(target).filePath(u"data.js"_s));
    QVERIFY(!before.isEmpty());
    // stopped halfway: the old catalogue stays whole, nothing is left beside it
    int asked = 0;
    const auto stopped = thrown([&] {
        htmlexport::write(cn, m_collection, target, [&](int done, int total) {
            ++asked; // キャンセル pressed once, halfway
            return done != total / 2;
        });
    });
    QVERIFY2(stopped.first != 0 && asked > 1, qPrintable(stopped.second));
    QCOMPARE(fileHash(QDir(target).filePath(u"data.js"_s)), before);
    const QStringList beside
        = QDir(m_work->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    QCOMPARE(beside.filter(u"again"_s), QStringList{u"again"_s});
    // what a cut-off run left is cleared by the next; the catalogue replaced whole
    QVERIFY(QDir().mkpath(m_work->filePath(u".again.part-AbC123/jackets"_s)));
    cdnotes::write(cn, 1, u"書き直した"_s);
    const htmlexport::Written again = htmlexport::write(cn, m_collection, target);
    QCOMPARE(again.jackets, 1);
    QVERIFY(bytesOf(QDir(target).filePath(u"data.js"_s)).contains("書き直した"));
    QCOMPARE(QDir(m_work->path())
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                 .filter(u"again"_s),
             QStringList{u"again"_s});
    // a folder of other files is never replaced, nor a file
    const QString other = m_work->filePath(u"documents"_s);
    QDir().mkpath(other);
    QVERIFY(writeBytes(QDir(other).filePath(u"letter.txt"_s), "dear"));
    QVERIFY(thrown([&] { htmlexport::write(cn, m_collection, other); }).first != 0);
    QCOMPARE(QDir(other).entryList(QDir::Files), QStringList{u"letter.txt"_s});
    QVERIFY(thrown([&] {
                htmlexport::write(cn, m_collection, QDir(other).filePath(u"letter.txt"_s));
            }).first
            != 0);
    QCOMPARE(bytesOf(QDir(other).filePath(u"letter.txt"_s)), QByteArray("dear"));
    // the command line says why, with its status
    QProcess program;
    program.start(QStringLiteral(RONDELLA_PROGRAM),
                  {u"--export-html"_s, other, u"--collection"_s, m_collection});
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitCode(), 1);
    QVERIFY(!QString::fromLocal8Bit(program.readAllStandardError()).isEmpty());
    program.start(QStringLiteral(RONDELLA_PROGRAM),
                  {u"--export-html"_s, m_work->filePath(u"none"_s), u"--collection"_s,
                   m_work->filePath(u"nowhere"_s)});
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitCode(), 2);
    QVERIFY(!QFileInfo::exists(m_work->filePath(u"none"_s)));
}

void TestHtmlCatalogue::writtenFromTheMenu()
{
    writeCollection(m_folder->path(), {cd(1, u"ひとつ"_s)}, {});
    QVERIFY(start());
    const QString target = m_folder->file(u"目録"_s);
    QVERIFY(QDir().mkpath(target));
    const QStringList said = triggerCommand(m_w, "mnuExportHtml", {target}, {QMessageBox::Ok});
    QVERIFY2(said.size() == 1 && said[0].contains(u"index.html"_s), qPrintable(said.join(u'|')));
    QVERIFY(bytesOf(QDir(target).filePath(u"data.js"_s)).contains("ひとつ"));
    QVERIFY(QFileInfo::exists(QDir(target).filePath(u"index.html"_s)));
}

RONDELLA_TEST_MAIN(TestHtmlCatalogue)
#include "tst_htmlcatalogue.moc"
