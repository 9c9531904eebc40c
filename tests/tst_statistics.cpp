// コレクションの統計: what each tab counts, in which order, for all data and
// for a search; tables and charts saved, or refused saying why.
#include "mainui.h"
#include "reports/statisticswindow.h"
#include "store/csvtransfer.h"
#include "store/statistics.h"
#include "testsupport.h"

#include <QFileDialog>
#include <QTabWidget>

#include <sys/fsuid.h>
#include <sys/stat.h>

namespace {

// Six CDs with blank and missing values everywhere a tab counts. Composers:
// eighteen of three songs on three CDs, the first with one more on no CD; the
// three not entered (NULL, empty, blank) together; at the cut a tie of two
// whose Japanese order is not their code order, d'Indy's both on one CD, and
// after it Zelenka's two and Albéniz's one, all on CD2. Twenty conductors.
void writeSample(const QString& folder)
{
    const QVariant labels[]
        = {u"ポリドール"_s, u""_s, {}, u"ポリドール"_s, u"エラート"_s, u"エラート"_s};
    const QVariant dates[] = {QDate(1989, 4, 15),       u"昭和の頃"_s,     {},
                              u"2001-05-06 10:30:00"_s, QDate(1990, 1, 2), u""_s};
    const QVariant prices[] = {3000, 2000, {}, 1234.5, 2800, 11000};
    const QVariant cabinets[] = {u"A"_s, {}, u"B"_s, u"本棚"_s, u""_s, u"A"_s};
    const QVariant shelves[] = {u"1"_s, {}, u"2"_s, u"2"_s, u" "_s, u"2"_s};
    QVector<QVariantMap> cds, songs;
    for (int i = 0; i < 6; ++i)
        cds << cd(i + 1, u"CD%1"_s.arg(i + 1),
                  {{u"発売元"_s, labels[i]},
                   {u"購入年月日"_s, dates[i]},
                   {u"購入価格"_s, prices[i]},
                   {u"キャビネット"_s, cabinets[i]},
                   {u"段"_s, shelves[i]}});
    QVector<std::pair<QVariant, QString>> made; // composer, CD
    for (int k = 0; k < 18; ++k)
        for (int n = 0; n < 3; ++n)
            made.push_back(
                {QString(u"作曲家"_s + QChar(u'あ' + 2 * k)), u"CD%1"_s.arg((k + n) % 6 + 1)});
    made += {{u"作曲家あ"_s, u"どのCDにもない"_s},
             {{}, u"CD1"_s},
             {u""_s, u"CD2"_s},
             {u" "_s, u"CD3"_s},
             {u"d'Indy"_s, u"CD1"_s},
             {u"d'Indy"_s, u"CD1"_s},
             {u"Zelenka"_s, u"CD2"_s},
             {u"Zelenka"_s, u"CD2"_s},
             {u"Albéniz"_s, u"CD2"_s}};
    for (int i = 0; i < made.size(); ++i)
        songs << song(made[i].second, i + 1, u"曲%1"_s.arg(i + 1),
                      {{u"作曲者名"_s, made[i].first},
                       {u"指揮者名"_s, u"指揮者%1"_s.arg(i % 20 + 1)},
                       {u"分野"_s, i == 0 ? QVariant(u" "_s) : QVariant()}});
    writeCollection(folder, cds, songs);
}

// A tab's lines as "name[/shelf] CDs songs [spent running total]|...".
QString linesOf(const stats::Tab& tab)
{
    QStringList out;
    for (const stats::Line& l : tab.lines)
        out << l.name + (tab.def.kind == stats::Kind::Storage ? u'/' + l.shelf : QString())
                + u" %1"_s.arg(l.cds)
                + (tab.def.kind == stats::Kind::SongNames ? u" %1"_s.arg(l.songs) : QString())
                + (tab.def.kind == stats::Kind::Purchases
                       ? u" %1 %2"_s.arg(l.spent).arg(l.runningTotal)
                       : QString());
    return out.join(u'|');
}

// Files are opened as an unprivileged user while it lives, on this thread
// alone: root passes every permission check.
struct AsTestUser {
    AsTestUser() { ::setfsgid(65534), ::setfsuid(65534); }
    ~AsTestUser() { ::setfsuid(0), ::setfsgid(0); }
};

} // namespace

class TestStatistics : public MainWindowTest {
    Q_OBJECT
private slots:
    void init();
    void countsOfAllDataAndOfASearch();
    void chartsAndTablesAreSaved();
    void refusedSavesSayWhy_data();
    void refusedSavesSayWhy();

private:
    frmStatistics* open();
};

void TestStatistics::init()
{
    MainWindowTest::init();
    writeSample(m_folder->path());
    start();
}

frmStatistics* TestStatistics::open()
{
    trigger(m_w, u"mnuStatistics"_s);
    auto* window = m_w->findChild<frmStatistics*>(u"frmStatistics"_s);
    if (window)
        window->setAttribute(Qt::WA_DeleteOnClose, false); // read after the test closes it
    return window;
}

// The twenty largest by songs and then その他 with the CDs it holds once
// each; names not entered under 「（未入力）」, years in order, then the odd
// dates, then none; cabinets in order, none last. A search counts the songs
// of its CDs alone.
void TestStatistics::countsOfAllDataAndOfASearch()
{
    frmStatistics* all = open();
    QVERIFY(all && all->windowTitle().contains(u"すべてのデータ"_s));
    const stats::Tab& composers = all->tab(0);
    QCOMPARE(composers.lines.size(), stats::Largest + 1);
    QCOMPARE(linesOf({composers.def, composers.lines.mid(19)}), u"d'Indy 1 2|その他 1 3"_s);
    QVERIFY2(linesOf(composers).contains(u"作曲家あ 3 4|"_s)
                 && linesOf(composers).contains(u"|（未入力） 3 3|"_s),
             qPrintable(linesOf(composers)));
    QCOMPARE(all->tab(3).lines.size(), 20); // twenty conductors: no その他
    QCOMPARE(linesOf(all->tab(1)).count(u'|'), 0); // a 分野 of one blank is （未入力） too
    QVERIFY2(linesOf(all->tab(2)).contains(u"（未入力） 2"_s), qPrintable(linesOf(all->tab(2))));
    QCOMPARE(linesOf(all->tab(5)),
             u"1989 1 3000 3000|1990 1 2800 5800|2001 1 1234.5 7034.5|"
             u"（日付不明） 1 2000 9034.5|（未入力） 2 11000 20034.5"_s);
    QCOMPARE(linesOf(all->tab(6)), u"A/1 1|A/2 1|B/2 1|本棚/2 1|（未入力）/（未入力） 2"_s);
    delete all; // the next window is found in its place
    trigger(m_w, u"mnuTyuu"_s);
    Check1(m_w, 4)->setChecked(true);
    DataCombo1(m_w, 4)->setText(u"ポリドール"_s);
    cmdFilter(m_w)->click();
    frmStatistics* search = open();
    QVERIFY(search && search->windowTitle().contains(u"発売元 = 'ポリドール'"_s));
    QVERIFY2(linesOf(search->tab(0)).startsWith(u"d'Indy 1 2|"_s)
                 && linesOf(search->tab(0)).contains(u"作曲家あ 1 1"_s),
             qPrintable(linesOf(search->tab(0))));
    QCOMPARE(linesOf(search->tab(5)), u"1989 1 3000 3000|2001 1 1234.5 4234.5"_s);
    // every song a work of its own: the search's works are its songs' alone
    qint64 recorded = 0, sung = 0;
    for (const stats::Line& l : search->tab(int(stats::tabs().size()) - 1).lines)
        recorded += l.recordings;
    for (const stats::Line& l : search->tab(0).lines)
        sung += l.songs;
    QCOMPARE(recorded, sung);
}

// The table's CSV read back value by value, also through the button and its
// file dialog; the charts as PNG and as a PDF page. A header click sorts names
// in Japanese order, numbers in them read as numbers (指揮者2 before
// 指揮者10), and money as numbers, not as the texts ¥11,000 before ¥3,000.
void TestStatistics::chartsAndTablesAreSaved()
{
    frmStatistics* window = open();
    QVERIFY(window);
    QStringList read;
    for (int t : {5, 6}) {
        const QString file = m_folder->file(u"table%1.csv"_s.arg(t));
        window->saveTable(t, file);
        QList<csv::Refusal> refusals;
        for (const QVector<QVariant>& row :
             csv::read(bytesOf(file), window->tableFields(t), refusals))
            read << QVariant(QVariantList(row.begin(), row.end())).toStringList().join(u',');
        QVERIFY(refusals.isEmpty());
    }
    QCOMPARE(read.join(u'|'),
             u"1989,1,3000,3000|1990,1,2800,5800|2001,1,1234.5,7034.5|"
             u"（日付不明）,1,2000,9034.5|（未入力）,2,11000,20034.5|"
             u"A,1,1|A,2,1|B,2,1|本棚,2,1|（未入力）,（未入力）,2"_s);
    QTimer::singleShot(0, [this] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->selectFile(m_folder->file(u"chosen"_s));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    window->findChild<QTabWidget*>()->setCurrentIndex(5);
    window->findChild<QPushButton*>(u"cmdSaveTable"_s)->click();
    QCOMPARE(fileHash(m_folder->file(u"chosen.csv"_s)), fileHash(m_folder->file(u"table5.csv"_s)));
    // the charts as a picture with bars, a pie and words, not a blank page, and as a PDF
    const QString png = m_folder->file(u"composers.png"_s), pdf = m_folder->file(u"5.pdf"_s);
    window->saveChart(0, png);
    window->saveChart(5, pdf);
    const QImage picture(png);
    QSet<QRgb> colours;
    for (int i = 0; i < picture.width() * picture.height(); i += 53)
        colours.insert(picture.pixel(i % picture.width(), i / picture.width()));
    QVERIFY(colours.size() > 10);
    QVERIFY(bytesOf(pdf).startsWith("%PDF-"));
    auto column = [window](int tab, int c) {
        auto* table = window->findChild<QTableView*>(u"grdStatistics(%1)"_s.arg(tab));
        table->horizontalHeader()->setSortIndicator(c, Qt::AscendingOrder);
        QStringList out;
        for (int r = 0; r < table->model()->rowCount(); ++r)
            out << table->model()->index(r, c).data().toString();
        return out.join(u' ');
    };
    QString conductors;
    for (int i = 1; i <= 20; ++i)
        conductors += u"指揮者%1 "_s.arg(i);
    QCOMPARE(column(3, 0), conductors.trimmed());
    QCOMPARE(column(5, 2), u"¥1,234.5 ¥2,000 ¥2,800 ¥3,000 ¥11,000"_s);
}

// Each row's tag says what stands in the way.
void TestStatistics::refusedSavesSayWhy_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("cause");
    QTest::newRow("missing") << u"no/such/folder"_s << u"フォルダがありません"_s;
    QTest::newRow("file") << u"plain/saved"_s << u"途中にフォルダでないものがあります"_s;
    QTest::newRow("locked") << u"saved"_s << u"書き込む権限がありません"_s;
    QTest::newRow("fifo") << u"saved"_s << u"通常のファイルではありません（名前付きパイプ）"_s;
}

// The chart and the table alike: the cause in Japanese, and what was there
// left as it was.
void TestStatistics::refusedSavesSayWhy()
{
    const QString kind = QString::fromLatin1(QTest::currentDataTag());
    QFETCH(QString, name);
    QFETCH(QString, cause);
    frmStatistics* window = open();
    QVERIFY(window);
    if (kind == u"file")
        window->saveTable(0, m_folder->file(u"plain"_s));
    for (const QString& ending : {u".png"_s, u".pdf"_s, u".csv"_s}) {
        const QString path = m_folder->file(name + ending);
        if (kind == u"fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        QString said;
        try {
            std::optional<AsTestUser> user;
            if (kind == u"locked")
                user.emplace();
            ending == u".csv" ? window->saveTable(0, path) : window->saveChart(0, path);
        } catch (const DbError& e) {
            said = e.description();
        }
        QCOMPARE(said, u"ファイル「"_s + path + u"」に書き出せません。\r原因: "_s + cause);
        QCOMPARE(std::pair(QFileInfo(path).exists(), QFileInfo(path).isFile()),
                 std::pair(kind == u"fifo", false));
    }
}

RONDELLA_TEST_MAIN(TestStatistics)
#include "tst_statistics.moc"
