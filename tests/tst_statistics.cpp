#include "mainui.h"
#include "mainwindow/frmmain.h"
#include "reports/statisticswindow.h"
#include "store/collection.h"
#include "store/csvtransfer.h"
#include "store/statistics.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCollator>
#include <QFileDialog>
#include <QHeaderView>
#include <QImage>
#include <QProcess>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTableView>
#include <QTest>

#include <sys/fsuid.h>
#include <sys/stat.h>

namespace {

// 30 CDs, two of one title; composers enough for a その他, with a tie at the
// cut between two names whose Japanese order is not their code order; blank
// and missing values everywhere a tab counts.
void writeSample(const QString& folder)
{
    QVector<QVariantMap> cds, songs;
    const QVariant labels[] = {"ポリドール", "エラート", "ポリドール", QVariant(), "", "デッカ"};
    const QVariant dates[]
        = {QDate(1989, 4, 15), QDate(1990, 1, 2), QDate(1989, 12, 31),  QVariant(), "",
           "昭和の終わり頃",   QDate(2001, 5, 5), "2001-05-06 10:30:00"};
    const QVariant prices[] = {3000, 2800, QVariant(), 1234.5, 2000};
    const QVariant cabinets[] = {"A", "B", "a", QVariant(), "本棚"};
    const QVariant shelves[] = {"1", "2", "10", QVariant(), ""};
    QStringList titles;
    for (int i = 0; i < 30; ++i) {
        const QString title = i >= 28 ? QString("同じ題のCD") : QString("CD %1").arg(i + 1);
        titles << title;
        cds << cd(i + 1, title,
                  {{"発売元", labels[i % 6]},
                   {"購入年月日", dates[i % 8]},
                   {"購入価格", prices[i % 5]},
                   {"キャビネット", cabinets[i % 5]},
                   {"段", shelves[(i / 5) % 5]}});
    }
    // composers with the songs they have: 18 names of 40 songs down to 23,
    // the blank ones together 30, then a tie of 10 at the cut, then the rest
    QVector<std::pair<QVariant, int>> composers;
    for (int k = 0; k < 18; ++k)
        composers.push_back({QString("作曲家%1").arg(QChar(u'あ' + k * 2)), 40 - k});
    composers.push_back({QVariant(), 20});
    composers.push_back({"", 6});
    composers.push_back({" ", 4});
    composers.push_back({"Zelenka", 10});
    composers.push_back({"d'Indy", 10});
    composers.push_back({"Albéniz", 5});
    composers.push_back({"ヴォーン・ウィリアムズ", 3});
    const QVariant genres[] = {"交響曲", "協奏曲", QVariant(), "", "室内楽", "交響曲", "歌劇"};
    const QVariant ensembles[]
        = {"ベルリン・フィルハーモニー管弦楽団", QVariant(), "ウィーン・フィル", ""};
    int id = 1;
    for (const auto& [composer, count] : composers)
        for (int n = 0; n < count; ++n, ++id) {
            // spread so that songs and CDs counts differ; a few songs on no CD
            const QString title
                = id % 97 == 0 ? QString("どのCDにもない曲のCD") : titles[(id * 7) % 30];
            songs << song(title, id, QString("曲%1").arg(id),
                          {{"作曲者名", composer},
                           {"分野", genres[id % 7]},
                           {"指揮者名", QString("指揮者%1").arg(id % 23)},
                           {"演奏団体", ensembles[id % 4]}});
        }
    writeCollection(folder, cds, songs);
}

// What a scope counts, as SQL: the CDs and songs on show.
struct Scope {
    QString cds; // WHERE of the CDs
    QString songs; // WHERE of the songs
    QVariantList bound; // values bound to the ? of both, in order
};

QString nameSql(const QString& column)
{
    return QString("CASE WHEN %1 IS NULL OR TRIM(%1) = '' THEN '（未入力）' ELSE %1 END")
        .arg(column);
}

class Counter {
public:
    Counter(const QString& path, Scope scope) : m_scope(std::move(scope))
    {
        m_db = QSqlDatabase::addDatabase("QSQLITE", "check");
        m_db.setDatabaseName(path);
        m_db.open();
    }
    ~Counter()
    {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase("check");
    }
    // Rows of a query over `cds` and `songs` (the scope's rows, rowid as id).
    QList<QVariantList> rows(const QString& select, const QVariantList& more = {})
    {
        QSqlQuery q(m_db);
        const QString with = QString("WITH cds AS (SELECT rowid AS id, * FROM cdname WHERE %1), "
                                     "songs AS (SELECT rowid AS id, * FROM kyoku WHERE %2) ")
                                 .arg(m_scope.cds, m_scope.songs);
        if (!q.prepare(with + select))
            qWarning() << "query refused:" << select;
        for (const QVariant& v : m_scope.bound + more)
            q.addBindValue(v);
        QList<QVariantList> out;
        if (!q.exec())
            qWarning() << "query failed:" << select;
        while (q.next()) {
            QVariantList row;
            for (int i = 0; i < q.record().count(); ++i)
                row << q.value(i);
            out << row;
        }
        return out;
    }

private:
    QSqlDatabase m_db;
    Scope m_scope;
};

const stats::Line* lineNamed(const stats::Tab& tab, const QString& name,
                             const QString& shelf = QString())
{
    for (const stats::Line& line : tab.lines)
        if (line.name == name && line.shelf == shelf)
            return &line;
    return nullptr;
}

QString pdftotext(const QString& file)
{
    QProcess p;
    p.start("pdftotext", {file, "-"});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Files are opened as an unprivileged user while it lives, on this thread
// alone: root passes every permission check.
struct AsTestUser {
    AsTestUser()
    {
        ::setfsgid(65534);
        ::setfsuid(65534);
    }
    ~AsTestUser()
    {
        ::setfsuid(0);
        ::setfsgid(0);
    }
};

} // namespace

class TestStatistics : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void everyCountAsSqlGroupsIt_data();
    void everyCountAsSqlGroupsIt();
    void blanksAndOddDatesHaveHeadingsOfTheirOwn();
    void tablesSortInJapaneseOrder();
    void chartsAndTablesAreSaved();
    void refusedSavesSayWhy_data();
    void refusedSavesSayWhy();

private:
    frmStatistics* openStatistics();
    std::unique_ptr<StartupFolder> m_folder;
    QPointer<frmMain> m_w;
};

void TestStatistics::init()
{
    m_folder = std::make_unique<StartupFolder>();
    writeSample(m_folder->path());
}

void TestStatistics::cleanup()
{
    endTest(m_w, m_folder);
}

frmStatistics* TestStatistics::openStatistics()
{
    m_w->findChild<QAction*>("mnuStatistics")->trigger();
    auto* window = m_w->findChild<frmStatistics*>("frmStatistics");
    if (window)
        window->setAttribute(Qt::WA_DeleteOnClose, false); // read after the test closes it
    return window;
}

void TestStatistics::everyCountAsSqlGroupsIt_data()
{
    QTest::addColumn<int>("box"); // the search box ticked; -1 for all data
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("cdWhere");
    QTest::addColumn<QString>("songWhere");
    QTest::addColumn<QString>("caption");
    const QString songsOfCDs = "CD名 IN (SELECT CD名 FROM cds)";
    // all data: every song, on a CD or not
    QTest::newRow("all data") << -1 << QString() << "1"
                              << "1"
                              << "すべてのデータ";
    QTest::newRow("CD search") << 4 << "ポリドール"
                               << "発売元 = ?" << songsOfCDs << "発売元 = 'ポリドール'";
    QTest::newRow("song search") << 0 << "d'Indy"
                                 << "CD名 IN (SELECT CD名 FROM kyoku WHERE 作曲者名 = ?)"
                                 << "作曲者名 = ?"
                                 << "作曲者名 = 'd''Indy'";
}

// Each tab's lines against SQL GROUP BY on the same file: the names shown
// and their counts, その他 as the rest together, purchases per year with
// their running total, places of storage.
void TestStatistics::everyCountAsSqlGroupsIt()
{
    QFETCH(int, box);
    QFETCH(QString, value);
    QFETCH(QString, cdWhere);
    QFETCH(QString, songWhere);
    QFETCH(QString, caption);
    m_w = startMain();
    QVariantList bound;
    if (box >= 0) {
        m_w->findChild<QAction*>("mnuTyuu")->trigger();
        Check1(m_w, box)->setChecked(true);
        DataCombo1(m_w, box)->setText(value);
        cmdFilter(m_w)->click();
        bound = box == 4 ? QVariantList{value} : QVariantList{value, value};
    }
    frmStatistics* window = openStatistics();
    QVERIFY(window);
    QVERIFY2(window->windowTitle().contains(caption), qPrintable(window->windowTitle()));
    Counter sql(db().databasePath(), {cdWhere, songWhere, bound});
    QCOMPARE(window->tabCount(), 7);
    int othersSeen = 0;
    for (int t = 0; t < window->tabCount(); ++t) {
        const stats::Tab& tab = window->tab(t);
        QVERIFY(!tab.lines.isEmpty());
        switch (tab.def.kind) {
        case stats::Kind::SongNames: {
            const QString name = nameSql("s." + tab.def.field);
            const auto groups
                = sql.rows(QString("SELECT %1 AS name, COUNT(DISTINCT c.id), COUNT(DISTINCT s.id) "
                                   "FROM songs s LEFT JOIN cds c ON c.CD名 = s.CD名 GROUP BY name")
                               .arg(name));
            QHash<QString, QVariantList> byName;
            for (const auto& g : groups)
                byName.insert(g[0].toString(), g);
            QStringList shownNames;
            qint64 smallestShown = LLONG_MAX;
            for (const stats::Line& line : tab.lines) {
                if (line.rest)
                    continue;
                QVERIFY2(byName.contains(line.name), qPrintable(tab.def.title + ": " + line.name));
                QCOMPARE(line.cds, byName[line.name][1].toLongLong());
                QCOMPARE(line.songs, byName[line.name][2].toLongLong());
                shownNames << line.name;
                smallestShown = std::min(smallestShown, line.songs);
            }
            QCOMPARE(shownNames.size(), std::min<qsizetype>(stats::Largest, groups.size()));
            if (groups.size() <= stats::Largest) {
                QVERIFY(!tab.lines.last().rest);
                break;
            }
            ++othersSeen;
            // the rest: every other name, none larger than those shown
            const stats::Line& rest = tab.lines.last();
            QVERIFY(rest.rest);
            QCOMPARE(rest.name, QString("その他"));
            qint64 restSongs = 0;
            for (const auto& g : groups)
                if (!shownNames.contains(g[0].toString())) {
                    restSongs += g[2].toLongLong();
                    QVERIFY(g[2].toLongLong() <= smallestShown);
                }
            QCOMPARE(rest.songs, restSongs);
            QStringList marks(shownNames.size(), "?");
            QVariantList names;
            for (const QString& n : shownNames)
                names << n;
            const auto restCDs = sql.rows(
                QString("SELECT COUNT(DISTINCT c.id) FROM songs s JOIN cds c ON c.CD名 = s.CD名 "
                        "WHERE %1 NOT IN (%2)")
                    .arg(name, marks.join(',')),
                names);
            QCOMPARE(rest.cds, restCDs.value(0).value(0).toLongLong());
            break;
        }
        case stats::Kind::CDNames: {
            const auto groups
                = sql.rows(QString("SELECT %1 AS name, COUNT(*) FROM cds GROUP BY name")
                               .arg(nameSql(tab.def.field)));
            QCOMPARE(tab.lines.size(), groups.size()); // fewer than 20 labels
            for (const auto& g : groups) {
                const stats::Line* line = lineNamed(tab, g[0].toString());
                QVERIFY2(line, qPrintable(g[0].toString()));
                QCOMPARE(line->cds, g[1].toLongLong());
            }
            break;
        }
        case stats::Kind::Purchases: {
            const QString date = "substr(購入年月日, 1, 10)";
            const auto groups = sql.rows(
                QString("SELECT CASE WHEN 購入年月日 IS NULL OR TRIM(購入年月日) = '' THEN "
                        "'（未入力）' WHEN date(%1) = %1 THEN strftime('%Y', %1) ELSE "
                        "'（日付不明）' END AS year, COUNT(*), TOTAL(購入価格) FROM cds GROUP BY "
                        "year")
                    .arg(date));
            QCOMPARE(tab.lines.size(), groups.size());
            for (const auto& g : groups) {
                const stats::Line* line = lineNamed(tab, g[0].toString());
                QVERIFY2(line, qPrintable(g[0].toString()));
                QCOMPARE(line->cds, g[1].toLongLong());
                QCOMPARE(line->spent, g[2].toDouble());
            }
            // years in order, then the odd dates, then none; the running total adds up
            double total = 0;
            QVector<int> order;
            for (const stats::Line& line : tab.lines) {
                total += line.spent;
                QCOMPARE(line.runningTotal, total);
                order << (line.name == "（未入力）"         ? 9999 + 2
                              : line.name == "（日付不明）" ? 9999 + 1
                                                            : line.name.toInt());
            }
            QVERIFY(std::is_sorted(order.begin(), order.end()));
            QCOMPARE(total, sql.rows("SELECT TOTAL(購入価格) FROM cds")[0][0].toDouble());
            break;
        }
        case stats::Kind::Storage: {
            const auto groups = sql.rows(QString("SELECT %1 AS cabinet, %2 AS shelf, COUNT(*) "
                                                 "FROM cds GROUP BY cabinet, shelf")
                                             .arg(nameSql("キャビネット"), nameSql("段")));
            QCOMPARE(tab.lines.size(), groups.size());
            for (const auto& g : groups) {
                const stats::Line* line = lineNamed(tab, g[0].toString(), g[1].toString());
                QVERIFY2(line, qPrintable(g[0].toString() + "/" + g[1].toString()));
                QCOMPARE(line->cds, g[2].toLongLong());
            }
            QCOMPARE(tab.lines.last().name, QString("（未入力）")); // what was not entered last
            break;
        }
        }
    }
    // all data has more than 20 composers and conductors
    if (box < 0)
        QCOMPARE(othersSeen, 2);
}

// A value not entered (NULL, empty or blank) is counted under 「（未入力）」
// and a date that is none under 「（日付不明）」, each once, never dropped.
void TestStatistics::blanksAndOddDatesHaveHeadingsOfTheirOwn()
{
    m_w = startMain();
    frmStatistics* window = openStatistics();
    QVERIFY(window);
    auto count = [&](int tab, const QString& name, const QString& shelf = QString()) {
        const stats::Line* line = lineNamed(window->tab(tab), name, shelf);
        return line ? std::max(line->cds, line->songs) : -1;
    };
    QCOMPARE(count(0, "（未入力）"), 30); // NULL, "" and " " together
    QCOMPARE(count(0, ""), -1);
    QCOMPARE(count(0, " "), -1);
    QCOMPARE(count(2, "（未入力）"), 10);
    QCOMPARE(count(5, "（未入力）"), 8);
    QCOMPARE(count(5, "（日付不明）"), 4);
    QCOMPARE(count(5, "2001"), 6); // a date with a time of day is a date
    QCOMPARE(count(5, "1989"), 8);
    QVERIFY(count(1, "（未入力）") > 0);
    QVERIFY(count(4, "（未入力）") > 0);
    qint64 unshelved = 0;
    for (const stats::Line& line : window->tab(6).lines)
        if (line.name == "（未入力）")
            unshelved += line.cds;
    QCOMPARE(unshelved, 6);
    // nothing lost: every CD counted once in each tab of CDs
    for (int tab : {2, 5, 6}) {
        qint64 cds = 0;
        for (const stats::Line& line : window->tab(tab).lines)
            cds += line.cds;
        QCOMPARE(cds, 30);
    }
}

// The first twenty by size, a tie broken in Japanese order (d'Indy before
// Zelenka, which code order reverses); a header click sorts names in
// Japanese order, numbers read as numbers, and counts as numbers.
void TestStatistics::tablesSortInJapaneseOrder()
{
    m_w = startMain();
    frmStatistics* window = openStatistics();
    QVERIFY(window);
    const stats::Tab& composers = window->tab(0);
    QCOMPARE(composers.lines.size(), stats::Largest + 1);
    QCOMPARE(composers.lines[stats::Largest - 1].name, QString("d'Indy"));
    QVERIFY(!lineNamed(composers, "Zelenka"));
    auto* table = window->findChild<QTableView*>("grdStatistics(3)"); // conductors
    QVERIFY(table);
    auto column = [&table](int c) {
        QStringList out;
        for (int r = 0; r < table->model()->rowCount(); ++r)
            out << table->model()->index(r, c).data().toString();
        return out;
    };
    QCOMPARE(column(0).last(), QString("その他"));
    table->horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
    QStringList names = column(0);
    QCOMPARE(names.last(), QString("その他"));
    names.removeLast();
    QVector<int> numbers;
    for (const QString& name : names)
        numbers << QStringView(name).mid(3).toInt(); // 指揮者2 before 指揮者10
    QVERIFY2(std::is_sorted(numbers.begin(), numbers.end()), qPrintable(names.join(' ')));
    QVERIFY(numbers.size() == 20 && numbers.first() < numbers.last());
    // money as numbers, not as the texts ¥11,000 before ¥3,000
    table = window->findChild<QTableView*>("grdStatistics(5)");
    table->horizontalHeader()->setSortIndicator(2, Qt::AscendingOrder);
    QVector<double> spent;
    for (QString n : column(2))
        spent << n.remove(QRegularExpression("[¥,]")).toDouble();
    QVERIFY2(std::is_sorted(spent.begin(), spent.end()), qPrintable(column(2).join(' ')));
    QVERIFY(spent.first() < 10000 && spent.last() >= 10000);
}

// The table's CSV read back value by value; the charts as PNG and as a PDF
// page; a file that cannot be written refused with nothing left.
void TestStatistics::chartsAndTablesAreSaved()
{
    m_w = startMain();
    frmStatistics* window = openStatistics();
    QVERIFY(window);
    for (int t : {0, 5, 6}) {
        const QString file = m_folder->file(QString("table%1.csv").arg(t));
        window->saveTable(t, file);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QList<csv::Refusal> refusals;
        const auto back = csv::read(f.readAll(), window->tableFields(t), refusals);
        QVERIFY(refusals.isEmpty());
        QCOMPARE(back.size(), window->tab(t).lines.size());
        for (int r = 0; r < back.size(); ++r) {
            const stats::Line& line = window->tab(t).lines[r];
            const QVector<QVariant>& row = back[r];
            QCOMPARE(row[0].toString(), line.name);
            if (t == 0) {
                QCOMPARE(row[1].toLongLong(), line.cds);
                QCOMPARE(row[2].toLongLong(), line.songs);
            } else if (t == 5) {
                QCOMPARE(row[1].toLongLong(), line.cds);
                QCOMPARE(row[2].toString().toDouble(), line.spent);
                QCOMPARE(row[3].toString().toDouble(), line.runningTotal);
            } else {
                QCOMPARE(row[1].toString(), line.shelf);
                QCOMPARE(row[2].toLongLong(), line.cds);
            }
        }
    }
    // through the button and its file dialog
    QTimer::singleShot(0, [this] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->selectFile(m_folder->file("chosen"));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    window->findChild<QPushButton*>("cmdSaveTable")->click();
    QFile chosen(m_folder->file("chosen.csv"));
    QVERIFY(chosen.open(QIODevice::ReadOnly));
    QFile first(m_folder->file("table0.csv"));
    QVERIFY(first.open(QIODevice::ReadOnly));
    QCOMPARE(chosen.readAll(), first.readAll());

    const QString png = m_folder->file("composers.png");
    window->saveChart(0, png);
    QImage picture(png);
    QCOMPARE(picture.size(), QSize(1000, 1200));
    QSet<QRgb> colours;
    for (int y = 0; y < picture.height(); y += 7)
        for (int x = 0; x < picture.width(); x += 7)
            colours.insert(picture.pixel(x, y));
    QVERIFY(colours.size() > 10); // bars, a pie and words, not a blank page
    const QString pdf = m_folder->file("purchases.pdf");
    window->saveChart(5, pdf);
    const QString words = pdftotext(pdf);
    QVERIFY2(words.contains("年ごとの購入金額と累計") && words.contains("1989"), qPrintable(words));
    QVERIFY_THROWS_EXCEPTION(DbError, window->saveChart(0, m_folder->file("no/such/folder.png")));
    QVERIFY_THROWS_EXCEPTION(DbError, window->saveTable(0, m_folder->file("no/such/folder.csv")));
    QVERIFY(!QFile::exists(m_folder->file("no")));
}

void TestStatistics::refusedSavesSayWhy_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("cause");
    QTest::newRow("no such folder") << "missing"
                                    << "no/such/folder"
                                    << "フォルダがありません";
    QTest::newRow("a file as its folder") << "file"
                                          << "plain/saved"
                                          << "途中にフォルダでないものがあります";
    QTest::newRow("no permission") << "locked"
                                   << "saved"
                                   << "書き込む権限がありません";
    QTest::newRow("a FIFO") << "fifo"
                            << "saved"
                            << "通常のファイルではありません（名前付きパイプ）";
}

// The chart and the table alike: the cause in Japanese, and what was there
// left as it was.
void TestStatistics::refusedSavesSayWhy()
{
    QFETCH(QString, kind);
    QFETCH(QString, name);
    QFETCH(QString, cause);
    m_w = startMain();
    frmStatistics* window = openStatistics();
    QVERIFY(window);
    for (const char* ending : {".png", ".pdf", ".csv"}) {
        const QString path = m_folder->file(name + ending);
        if (kind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        if (kind == "file")
            window->saveTable(0, m_folder->file("plain"));
        QString said;
        try {
            std::optional<AsTestUser> user;
            if (kind == "locked")
                user.emplace();
            if (QLatin1String(ending) == QLatin1String(".csv"))
                window->saveTable(0, path);
            else
                window->saveChart(0, path);
        } catch (const DbError& e) {
            said = e.description();
        }
        QCOMPARE(said, "ファイル「" + path + "」に書き出せません。\r原因: " + cause);
        QCOMPARE(QFileInfo(path).isFile(), false);
        QCOMPARE(QFileInfo(path).exists(), kind == "fifo");
    }
}

RONDELLA_TEST_MAIN(TestStatistics)
#include "tst_statistics.moc"
