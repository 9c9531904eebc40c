// Works recognised from the titles as collectors type them: the catalogue
// numbers in every spelling, the movement parts cut off by each rule, and the
// works and recordings gathered, with the ones that must stay apart.
#include "mainui.h"
#include "mainwindow/frmmain.h"
#include "search/nameswindow.h"
#include "search/workswindow.h"
#include "store/collection.h"
#include "store/connection.h"
#include "store/csvtransfer.h"
#include "store/findtext.h"
#include "store/namegroups.h"
#include "store/statistics.h"
#include "store/tables.h"
#include "store/works.h"
#include "widgets/msgbox.h"

#include "testsupport.h"

#include <QListWidget>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include <numeric>

using namespace works;

class TestWorks : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void recognise_data();
    void recognise();
    void catalogueSpellings();
    void gatherWorksAndRecordings();
    void worksWindowShowsARecordingInTheMainWindow();
    void nameGroupsJoinSplitAndUnify();
    void namesWindowJoinsForQuickFindAndUnifies();
};

// Each title's work, movement, catalogue key and genre, joined by |.
void TestWorks::recognise_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("composer");
    QTest::addColumn<QString>("expected");
    auto row = [](const QString& title, const QString& expected, const QString& composer = {}) {
        QTest::newRow(qPrintable(title)) << title << composer << expected;
    };
    // 楽章 after an opus and a nickname
    row(u"交響曲第５番 ハ短調 作品67「運命」 第1楽章 アレグロ・コン・ブリオ"_s,
        u"交響曲第5番 ハ短調 作品67「運命」|第1楽章 アレグロ・コン・ブリオ|Op 67|symphony 5"_s);
    // kanji tens
    row(u"ピアノ協奏曲第二十番 ニ短調 第二楽章"_s,
        u"ピアノ協奏曲第二十番 ニ短調|第二楽章||piano concerto 20"_s);
    row(u"交響曲第5番「運命」：第2楽章"_s, u"交響曲第5番「運命」|第2楽章||symphony 5"_s);
    // a dance after the number and key, or after the key
    row(u"無伴奏チェロ組曲第1番 ト長調 BWV1007 プレリュード"_s,
        u"無伴奏チェロ組曲第1番 ト長調 BWV1007|プレリュード|BWV 1007|cello suite 1"_s);
    row(u"無伴奏チェロ組曲第2番 BWV 1008 ニ短調 サラバンド"_s,
        u"無伴奏チェロ組曲第2番 BWV 1008 ニ短調|サラバンド|BWV 1008|cello suite 2"_s);
    // parts in Roman numbers, and in Arabic ones after a dash
    row(u"交響曲第3番 変ホ長調 作品55「英雄」 II. 葬送行進曲"_s,
        u"交響曲第3番 変ホ長調 作品55「英雄」|II. 葬送行進曲|Op 55|symphony 3"_s);
    row(u"Die schöne Müllerin, D 795 - 1. Das Wandern"_s,
        u"Die schöne Müllerin, D 795|1. Das Wandern|D 795|"_s);
    row(u"String Quartet No. 4 in C minor, Op. 18 No. 4"_s,
        u"String Quartet No. 4 in C minor, Op. 18 No. 4||Op 18.4|string quartet 4"_s);
    row(u"弦楽四重奏曲第4番 作品18の4 第2楽章"_s,
        u"弦楽四重奏曲第4番 作品18の4|第2楽章|Op 18.4|string quartet 4"_s);
    row(u"Sinfonie Nr. 5 cis-Moll"_s, u"Sinfonie Nr. 5 cis-Moll|||symphony 5"_s);
    // Hob.'s colon is no movement's
    row(u"交響曲第94番 ト長調 Hob.I:94「驚愕」"_s,
        u"交響曲第94番 ト長調 Hob.I:94「驚愕」||Hob 1.94|symphony 94"_s);
    row(u"ピアノ・ソナタ 変ホ長調 Hob.XVI/52 3. Finale"_s,
        u"ピアノ・ソナタ 変ホ長調 Hob.XVI/52|3. Finale|Hob 16.52|"_s);
    row(u"Serenade in G major, K. 525 \"Eine kleine Nachtmusik\": I. Allegro"_s,
        u"Serenade in G major, K. 525 \"Eine kleine Nachtmusik\"|I. Allegro|K 525|"_s);
    row(u"四季 RV 269「春」 第1楽章"_s, u"四季 RV 269「春」|第1楽章|RV 269|"_s);
    row(u"交響曲第4番 変ホ長調 WAB 104「ロマンティック」"_s,
        u"交響曲第4番 変ホ長調 WAB 104「ロマンティック」||WAB 104|symphony 4"_s);
    // a word's end is no catalogue, a number alone no genre
    row(u"Band 5 und Kyrie 2"_s, u"Band 5 und Kyrie 2|||"_s);
    row(u"第5番"_s, u"第5番|||"_s);
    // numbered pieces and parts, and a movement alone
    row(u"交響詩「海」 第2曲 波の戯れ"_s, u"交響詩「海」|第2曲 波の戯れ||"_s);
    row(u"バレエ音楽「春の祭典」 第1部 大地礼讃"_s, u"バレエ音楽「春の祭典」|第1部 大地礼讃||"_s);
    row(u"II. Adagio"_s, u"|II. Adagio||"_s);
    // the composer's name before the work is dropped; another name is kept
    row(u"ブラームス：交響曲第1番 ハ短調 作品68 第4楽章"_s,
        u"交響曲第1番 ハ短調 作品68|第4楽章|Op 68|symphony 1"_s, u"ブラームス"_s);
    row(u"ブラームス：交響曲第1番"_s, u"ブラームス|交響曲第1番||"_s, u"シューマン"_s);
}

void TestWorks::recognise()
{
    QFETCH(QString, title);
    QFETCH(QString, composer);
    const Title t = works::recognise(title, composer);
    const QString key = t.number.isNull() ? QString() : t.number.key();
    QTEST(QStringList({t.work, t.movement, key, t.genre}).join(u'|'), "expected");
}

// Every spelling of a number is one key, and quick find finds every other by
// it; a different number never is.
void TestWorks::catalogueSpellings()
{
    QStringList keys;
    // the spellings of one number, the first as it is shown
    for (const QString& same :
         {u"K.550|KV 550|K550|K. 550|k550|ｋ５５０"_s,
          u"Op.18-4|作品18の4|Op. 18 No. 4|op.18, no.4|Opus 18 No. 4|OP 18/4"_s,
          u"BWV 1007|BWV1007|bwv 1007"_s, u"Hob.XVI:52|Hob. XVI/52|hob.16:52"_s}) {
        const QStringList spellings = same.split(u'|');
        keys << catalogueNumbers(spellings[0]).value(0).number.key();
        for (const QString& s : spellings) {
            const QVector<Found> found = catalogueNumbers(s);
            QVERIFY2(found.size() == 1, qPrintable(s));
            QCOMPARE(found[0].number.text() + u'/' + found[0].number.key(),
                     spellings[0] + u'/' + keys.last());
        }
    }
    for (const QString& other :
         {u"K.55"_s, u"作品18の5"_s, u"BWV 1008"_s, u"Hob.XVI:5"_s, u"D 550"_s})
        QVERIFY2(!keys.contains(catalogueNumbers(other).value(0).number.key()), qPrintable(other));
    // numerically: K.9 before K.55 before K.550, and the catalogue first
    const auto number = [](const QString& s) { return catalogueNumbers(s).value(0).number; };
    QVERIFY(lessThan(number(u"K.9"_s), number(u"K.55"_s)));
    QVERIFY(lessThan(number(u"K.55"_s), number(u"K.550"_s)));
    QVERIFY(!lessThan(number(u"K.550"_s), number(u"K.9"_s)));
    QVERIFY(lessThan(number(u"Op.18-4"_s), number(u"Op.18-5"_s)));
    QVERIFY(lessThan(number(u"BWV 9999"_s), number(u"K.1"_s)));
    // each catalogue's letters, and its number's key
    for (const QString& row :
         {u"Messiah, HWV 56 / HWV 56"_s, u"Liebestraum No. 3, S.541 / S 541"_s,
          u"Liebestraum LW A103 / LW 1.103"_s, u"Concerto, Sz.116 / Sz 116"_s,
          u"Dances BB 68 / BB 68"_s, u"エリーゼのために WoO 59 / WoO 59"_s,
          u"Zarathustra, TrV 176 / TrV 176"_s, u"月の光 L.75 / L 75"_s, u"Boléro, M. 81 / M 81"_s})
        QCOMPARE(number(row.section(u" / "_s, 0, 0)).key(), row.section(u" / "_s, 1));
    // (quick find's words against stored texts: the shared rows of tst_findtext)
}

void TestWorks::gatherWorksAndRecordings()
{
    // the times as collectors type them
    const std::pair<QString, int> rows[] = {
        {u"7:32"_s, 452},   {u"07:32"_s, 452},  {u"1:02:03"_s, 3723}, {u"7分32秒"_s, 452},
        {u"45秒"_s, 45},    {u"7'32\""_s, 452}, {u"７：３２"_s, 452}, {u"7:75"_s, -1},
        {u"1:75:00"_s, -1}, {u"abc"_s, -1},     {QString(), -1},
    };
    for (const auto& [typed, seconds] : rows)
        QVERIFY2(durationSeconds(typed) == seconds, qPrintable(typed));
    QCOMPARE(durationText(452) + u' ' + durationText(3723) + u' ' + durationText(5)
                 + durationText(-1),
             u"7:32 1:02:03 0:05"_s);
    std::vector<RowPtr> songs{nullptr}; // a row gone from the view
    auto add = [&songs](const QStringList& given) { // CD, composer, title, ensemble, time
        QVector<QVariant> values(kyokuTable().fields().size());
        const char16_t* fields[] = {u"CD名", u"作曲者名", u"曲名", u"演奏団体", u"録音時間"};
        for (int k = 0; k < given.size(); ++k)
            values[kyokuTable().indexOf(QString::fromUtf16(fields[k]))] = given[k];
        songs.push_back(Row::make(qint64(songs.size()), values));
    };
    for (int m = 1; m <= 4; ++m)
        add({u"運命"_s, u"ベートーヴェン"_s, u"交響曲第5番 ハ短調 作品67「運命」 第%1楽章"_s.arg(m),
             u"VPO"_s, u"%1:30"_s.arg(m + 5)});
    add({u"Beethoven 5"_s, u"ベートーベン"_s, u"Symphony No. 5, Op. 67: I. Allegro"_s, u"BPO"_s,
         u"7:20"_s});
    // only the genre and number: the opus other songs write beside them
    add({u"名曲集"_s, u"ベートーヴェン"_s, u"交響曲第5番 第1楽章"_s, u"N響"_s, u"8:00"_s});
    add({u"マーラー5"_s, u"マーラー"_s, u"交響曲第5番 嬰ハ短調 第1楽章"_s, u"CSO"_s, u"13:00"_s});
    const QString bach = u"J.S.バッハ"_s, cello = u"チェロ組曲"_s;
    add({cello, bach, u"無伴奏チェロ組曲第2番 ニ短調 BWV1008 プレリュード"_s, {}, u"4:00"_s});
    add({cello, bach, u"無伴奏チェロ組曲第1番 ト長調 BWV1007 プレリュード"_s, {}, u"2:30"_s});
    add({cello, bach, u"無伴奏チェロ組曲第1番 ト長調 BWV1007 アルマンド"_s, {}, u"abc"_s});
    add({u"モーツァルト"_s, u"モーツァルト"_s, u"交響曲第40番 ト短調 K.550 第1楽章"_s});
    // numbered pieces with no work named: the CD's own, named by it
    add({u"マタイ受難曲（抜粋）"_s, bach, u"第1曲 合唱"_s});
    add({u"マタイ受難曲（抜粋）"_s, bach, u"第39曲 アリア"_s});
    add({u"モーツァルト"_s, u"モーツァルト"_s, u"ヴァイオリン・ソナタ K.9 第1楽章"_s});
    // one CD, two performances of one quartet
    const QString beethoven = u"ベートーヴェン"_s, compared = u"聴き比べ"_s;
    add({compared, beethoven, u"弦楽四重奏曲第4番 作品18の4 第1楽章"_s, u"アルバン・ベルク"_s});
    add({compared, beethoven, u"弦楽四重奏曲第4番 Op.18-4 I. Allegro"_s, u"ブダペスト"_s});
    add({compared, beethoven, u"弦楽四重奏曲第5番 作品18の5 第1楽章"_s, u"ブダペスト"_s});

    const Catalogue gathered = gather(Snapshot(songs));
    // each composer with his recordings, then his works' numbers (or titles)
    // and recordings; ベートーヴェン and ベートーベン are one, named by the
    // commonest spelling; K.9 before K.550, the numbered works first
    QStringList described;
    for (const Composer& c : gathered.composers) {
        described << c.name + u':' + QString::number(c.recordings());
        for (const Work& w : c.works)
            described << (w.number.isNull() ? w.title : w.number.text()) + u'/'
                    + QString::number(w.recordings.size());
    }
    QCOMPARE(described.join(u' '),
             u"J.S.バッハ:3 BWV 1007/1 BWV 1008/1 マタイ受難曲（抜粋）/1 ベートーヴェン:6 "
             u"Op.18-4/2 Op.18-5/1 Op.67/3 マーラー:1 交響曲第5番 嬰ハ短調/1 モーツァルト:2 "
             u"K.9/1 K.550/1"_s);
    const QVector<Shown> fifths = gathered.show(gathered.composers[1].works[2]);
    QCOMPARE(fifths.size(), 3);
    QCOMPARE(fifths[0].rowids, (QVector<qint64>{1, 2, 3, 4}));
    QCOMPARE(fifths[0].movements.last(), u"第4楽章"_s);
    QCOMPARE(fifths[0].totalSeconds(), 6 * 60 + 30 + 7 * 60 + 30 + 8 * 60 + 30 + 9 * 60 + 30);
    QCOMPARE(fifths[1].ensemble + fifths[2].cd, u"BPO名曲集"_s);
    const Shown suite = gathered.show(gathered.composers[0].works[0]).first();
    QCOMPARE(gathered.composers[0].works[2].recordings[0].count, 2);
    QCOMPARE(suite.movements, (QStringList{u"プレリュード"_s, u"アルマンド"_s}));
    QCOMPARE(suite.seconds, (QVector<int>{150, -1}));
    QCOMPARE(suite.totalSeconds(), 150);
    // a work of many recordings, the songs of each apart from one another
    songs.assign(1, nullptr);
    for (int n = 0; n < 40; ++n)
        add({u"全集%1"_s.arg(n % 20), u"ハイドン"_s,
             u"交響曲第1番 Hob.I:1 第%1楽章"_s.arg(n / 20 + 1)});
    const Catalogue many = gather(Snapshot(songs));
    QCOMPARE(many.composers[0].works[0].recordings.size(), 20);
    for (const Recording& r : many.composers[0].works[0].recordings)
        QCOMPARE(r.count, 2);
    // a recording's songs in stored order, though others lie between them
    QCOMPARE(many.composers[0].works[0].songs.mid(2, 4), (QVector<int>{2, 22, 3, 23}));
    // a work of many spellings, past the few kept in a list: the commonest still wins
    songs.assign(1, nullptr);
    std::vector<int> spellings(17);
    std::iota(spellings.begin(), spellings.end(), 1);
    spellings.insert(spellings.end(), {1, 17, 17});
    for (int n : spellings)
        add({u"全集"_s, u"ハイドン"_s, u"交響曲第1番 Hob.I:1「朝%1」"_s.arg(n)});
    QCOMPARE(gather(Snapshot(songs)).composers[0].works[0].title, u"交響曲第1番 Hob.I:1「朝17」"_s);
    // コレクションの統計's 作品: the most recorded first, then the most songs
    const stats::Tab most
        = stats::count({}, cdnameTable().fields(), kyokuTable().fields(), {}, gathered).constLast();
    QStringList top;
    for (const stats::Line& l : most.lines.mid(0, 3))
        top << u"%1:%2/%3"_s.arg(l.name).arg(l.recordings).arg(l.songs);
    QCOMPARE(
        top.join(u' '),
        u"交響曲第5番 ハ短調 作品67「運命」:3/6 弦楽四重奏曲第4番 作品18の4:2/2 マタイ受難曲（抜粋）:1/2"_s);
}

// The works window on a collection, as the menu opens it: the grids, the
// filter typed, the movements side by side, and a recording double-clicked
// shown in the main window as a CD search of its CD with its songs marked.
void TestWorks::worksWindowShowsARecordingInTheMainWindow()
{
    auto folder = std::make_unique<StartupFolder>();
    // each song's CD, id, composer, title, ensemble and time
    QVector<QVariantMap> songs;
    for (const QString& s :
         {u"運命|1|ベートーヴェン|交響曲第5番 作品67 第1楽章|VPO|7:21"_s,
          u"運命|2|ベートーヴェン|交響曲第5番 作品67 第2楽章|VPO|9:52"_s,
          u"聴き比べ|3|ベートーヴェン|Symphony No. 5, Op. 67: I. Allegro|BPO|7:02"_s,
          u"聴き比べ|4|ベートーヴェン|Quartet No. 4, Op. 18 No. 4|ABQ|"_s,
          u"聴き比べ|6|ベートーヴェン|Sonata No. 8, Op. 13||"_s,
          u"モーツァルト|5|モーツァルト|交響曲第40番 K.550||"_s}) {
        const QStringList f = s.split(u'|');
        songs << song(f[0], f[1].toInt(), f[3],
                      {{u"作曲者名"_s, f[2]}, {u"演奏団体"_s, f[4]}, {u"録音時間"_s, f[5]}});
    }
    writeCollection(folder->path(),
                    {cd(1, u"運命"_s), cd(2, u"聴き比べ"_s), cd(3, u"モーツァルト"_s)}, songs);
    QPointer<frmMain> w = startMain();
    QVERIFY(w);
    named<QAction>(w, u"mnuWorks"_s)->trigger();
    auto* window = w->findChild<frmWorks*>(u"frmWorks"_s);
    QVERIFY(window);
    // a grid's column, its rows joined by |
    auto column = [window](const char16_t* grid, int c) {
        QAbstractItemModel* model
            = window->findChild<QTableView*>(QString::fromUtf16(grid))->model();
        QStringList out;
        for (int r = 0; r < model->rowCount(); ++r)
            out << model->index(r, c).data().toString();
        return out.join(u'|');
    };
    QCOMPARE(column(u"grdComposers", 0), u"ベートーヴェン|モーツァルト"_s);
    // in catalogue order, not by title; Op.67 of two recordings
    QCOMPARE(column(u"grdWorks", 1) + u'/' + column(u"grdWorks", 2),
             u"Op.13|Op.18-4|Op.67/1|1|2"_s);
    auto* works = window->findChild<QTableView*>(u"grdWorks"_s);
    works->setCurrentIndex(works->model()->index(2, 0));
    QCOMPARE(window->chosenWork()->number.text(), u"Op.67"_s);
    // three works; the recordings as SQL counts the composer's CDs and ensembles
    const QStringList recorded
        = sqlRows(db().databasePath(),
                  {u"SELECT COUNT(DISTINCT CD名 || '/' || IFNULL(演奏団体, '')) FROM "
                   u"kyoku WHERE 作曲者名 = 'ベートーヴェン'"_s});
    QCOMPARE(column(u"grdComposers", 1) + u'/' + column(u"grdComposers", 2),
             u"3|1/"_s + recorded.value(0) + u"|1"_s);
    // a heading clicked orders the works; the one chosen stays chosen
    works->sortByColumn(2, Qt::DescendingOrder);
    QCOMPARE(column(u"grdWorks", 1).left(6) + window->chosenWork()->number.text(),
             u"Op.67|Op.67"_s);
    works->sortByColumn(0, Qt::AscendingOrder);
    QCOMPARE(column(u"grdWorks", 1), u"Op.18-4|Op.13|Op.67"_s);
    works->sortByColumn(1, Qt::AscendingOrder);
    QCOMPARE(column(u"grdRecordings", 6), u"17:13|7:02"_s);
    // the movements as rows, each recording a column
    QCOMPARE(column(u"grdMovementTimes", 0) + u'/' + column(u"grdMovementTimes", 1),
             u"7:21|9:52/7:02|"_s);

    auto* filter = window->findChild<QLineEdit*>(u"txtWorkFilter"_s);
    QTest::keyClicks(filter, u"KV550"_s);
    QCOMPARE(column(u"grdComposers", 0), u"モーツァルト"_s);
    filter->clear();
    QTest::keyClicks(filter, u"op.18"_s);
    QCOMPARE(column(u"grdWorks", 1), u"Op.18-4"_s);
    filter->clear();

    works->setCurrentIndex(works->model()->index(2, 0));
    auto* recordings = window->findChild<QTableView*>(u"grdRecordings"_s);
    QSignalSpy chosen(window, &frmWorks::recordingChosen);
    const QRect cell = recordings->visualRect(recordings->model()->index(1, 0));
    // the view takes a double click on the row the press before it chose
    QTest::mousePress(recordings->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(recordings->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(u"%1 %2 %3"_s.arg(db().strCriteria())
                 .arg(db().cds()->recordCount())
                 .arg(db().cds()->value(u"CD名"_s).toString()),
             u"作品：交響曲第5番 作品67 1 聴き比べ"_s);
    // of the CD's three songs, the recording's is marked
    QTableView* songGrid = named<DataGrid>(w, u"DataGrid1"_s)->table();
    QStringList marks;
    for (int r = 0; r < songGrid->model()->rowCount(); ++r)
        marks << songGrid->model()->headerData(r, Qt::Vertical).toString();
    QCOMPARE(marks, (QStringList{u"●"_s, QString(), QString()}));
    endTest(w, folder);
}

// Spellings of one person: those quick find makes equal are one group from the
// start; the others are suggested, joined only when asked, kept in the file
// (and its backup), split again, and rewritten to one spelling.
void TestWorks::nameGroupsJoinSplitAndUnify()
{
    StartupFolder folder;
    auto bach = [](int id, const QString& cd, const QString& composer) {
        return song(cd, id, u"曲"_s, {{u"作曲者名"_s, composer}});
    };
    writeCollection(folder.path(),
                    {cd(1, u"A"_s), cd(2, u"B"_s), cd(3, u"C"_s, {{u"解説者"_s, u"吉田秀和"_s}})},
                    {bach(1, u"A"_s, u"J.S.バッハ"_s), bach(2, u"A"_s, u"J.S.バッハ"_s),
                     bach(3, u"B"_s, u"バッハ"_s), bach(4, u"C"_s, u"ﾊﾞｯﾊ"_s),
                     song(u"A"_s, 5, u"曲"_s, {{u"指揮者名"_s, u"カラヤン・ヘルベルト"_s}}),
                     song(u"B"_s, 6, u"曲"_s, {{u"指揮者名"_s, u"ヘルベルト・カラヤン"_s}})});
    db().OpenDataContext();
    Connection& cn = db().connection();
    auto groups = [&] {
        db().RequeryAll();
        const stats::Shown all = stats::shownIn(db(), true, false);
        return names::gather(all.songs, all.cds, names::readJoins(cn));
    };
    auto described = [](const QVector<names::Group>& gs) {
        QStringList out;
        for (const names::Group& g : gs) {
            out << u"%1:%2/%3("_s.arg(g.name).arg(g.songs).arg(g.cds);
            for (const names::Spelling& s : g.spellings)
                out.last() += s.text + (&s == &g.spellings.last() ? u')' : u',');
        }
        return out;
    };
    // コレクションの統計: a line per name group, its spellings named; the works
    // by their recordings (the songs without a composer are one work too)
    auto tab = [](const QString& title) {
        QStringList out;
        for (const stats::Tab& t : stats::countShown(db(), true, false))
            for (const stats::Line& l : t.lines)
                if (t.def.title == title)
                    out << u"%1%2:%3/%4(%5)"_s.arg(
                        l.name, l.composer, QString::number(l.songs),
                        QString::number(t.def.kind == stats::Kind::Works ? l.recordings : l.cds),
                        l.spellings.join(u','));
        return out;
    };
    QCOMPARE(tab(u"作曲者"_s).join(u' '),
             u"（未入力）:2/2() J.S.バッハ:2/1() バッハ:2/2(バッハ,ﾊﾞｯﾊ)"_s);
    QVector<names::Group> gs = groups();
    QCOMPARE(
        described(gs).join(u' '),
        u"J.S.バッハ:2/1(J.S.バッハ) カラヤン・ヘルベルト:1/1(カラヤン・ヘルベルト) "
        u"バッハ:2/2(バッハ,ﾊﾞｯﾊ) ヘルベルト・カラヤン:1/1(ヘルベルト・カラヤン) 吉田秀和:0/1(吉田秀和)"_s);
    QStringList suggested;
    for (const names::Suggestion& s : names::suggest(gs))
        suggested << gs[s.first].name + u'+' + gs[s.second].name;
    suggested.sort();
    QCOMPARE(suggested.join(u' '),
             u"J.S.バッハ+バッハ カラヤン・ヘルベルト+ヘルベルト・カラヤン"_s);

    db().JoinNames({u"J.S.バッハ"_s, u"バッハ"_s, u"ﾊﾞｯﾊ"_s}, u"J.S.バッハ"_s);
    gs = groups();
    QCOMPARE(described(gs).first(), u"J.S.バッハ:4/3(J.S.バッハ,バッハ,ﾊﾞｯﾊ)"_s);
    QCOMPARE(tab(u"作曲者"_s).first(), u"J.S.バッハ:4/3(J.S.バッハ,バッハ,ﾊﾞｯﾊ)"_s);
    QCOMPARE(tab(u"作品"_s), (QStringList{u"曲J.S.バッハ:4/3()"_s, u"曲（未入力）:2/2()"_s}));
    // and in the CSV export, beside the two tables
    const QString csvAt = csv::exportCollection(cn, folder.path()).at(2);
    QCOMPARE(QString::fromUtf8(bytesOf(csvAt)),
             u"表記,名前\r\nJ.S.バッハ,J.S.バッハ\r\nバッハ,J.S.バッハ\r\nﾊﾞｯﾊ,J.S.バッハ\r\n"_s);
    QVERIFY(gs.first().joined && names::suggest(gs).size() == 1);
    // kept in the file, and in its backup
    for (const QString& file : {db().databasePath(), cn.backupNow()}) {
        Connection other(file);
        QCOMPARE(names::groupName(names::readJoins(other), u"ﾊﾞｯﾊ"_s), u"J.S.バッハ"_s);
    }

    names::split(cn, u"ﾊﾞｯﾊ"_s); // and バッハ with it, which quick find reads alike
    QCOMPARE(described(groups()).first(), u"J.S.バッハ:2/1(J.S.バッハ)"_s);

    const names::Rewritten done
        = names::unify(cn, {u"J.S.バッハ"_s, u"バッハ"_s, u"ﾊﾞｯﾊ"_s}, u"J.S.バッハ"_s);
    QCOMPARE(std::pair(done.songs, done.cds), std::pair(2, 0));
    QCOMPARE(readColumn(folder.path(), u"kyoku"_s, u"作曲者名"_s).mid(0, 4),
             QStringList(4, u"J.S.バッハ"_s));
    db().CloseDataContext();
}

// 名前の整理 as the menu opens it: a suggestion joined by its button makes
// quick find find both spellings; この表記に統一 rewrites the other one.
void TestWorks::namesWindowJoinsForQuickFindAndUnifies()
{
    auto folder = std::make_unique<StartupFolder>();
    writeCollection(folder->path(), {cd(1, u"A"_s), cd(2, u"B"_s), cd(3, u"C"_s)},
                    {song(u"A"_s, 1, u"曲"_s, {{u"作曲者名"_s, u"J.S.バッハ"_s}}),
                     song(u"B"_s, 2, u"曲"_s, {{u"作曲者名"_s, u"バッハ"_s}}),
                     song(u"C"_s, 3, u"曲"_s, {{u"作曲者名"_s, u"マーラー"_s}})});
    QPointer<frmMain> w = startMain();
    QVERIFY(w);
    auto found = [&w](const QString& typed) {
        named<QLineEdit>(w, u"txtQuickFind"_s)->setText(typed);
        w->quickFind();
        return db().cds()->recordCount();
    };
    QCOMPARE(found(u"J.S.バッハ"_s), 1);
    named<QAction>(w, u"mnuNames"_s)->trigger();
    auto* window = w->findChild<frmNames*>(u"frmNames"_s);
    QVERIFY(window);
    QCOMPARE(window->groups().size(), 3);
    QCOMPARE(window->suggestions().size(), 1);
    auto* suggestions = window->findChild<QTableView*>(u"grdSuggestions"_s);
    suggestions->setCurrentIndex(suggestions->model()->index(0, 0));
    QTest::mouseClick(window->findChild<QPushButton*>(u"cmdJoin"_s), Qt::LeftButton);
    QCOMPARE(window->groups().size(), 2);
    QVERIFY(window->suggestions().isEmpty());
    QCOMPARE(found(u"J.S.バッハ"_s), 2);
    QCOMPARE(found(u"マーラー"_s), 1);
    named<QAction>(w, u"mnuWorks"_s)->trigger(); // the joined spellings: one composer
    QCOMPARE(w->findChild<QTableView*>(u"grdComposers"_s)->model()->rowCount(), 2);

    auto* spellings = window->findChild<QListWidget*>(u"lstSpellings"_s);
    spellings->setCurrentItem(
        spellings->findItems(u"J.S.バッハ（"_s, Qt::MatchStartsWith).value(0));
    MsgBoxSetNextAnswers({QMessageBox::Yes, QMessageBox::Ok});
    QTest::mouseClick(window->findChild<QPushButton*>(u"cmdUnify"_s), Qt::LeftButton);
    const QList<MsgBoxRecord> said = MsgBoxTakeAnswered();
    QCOMPARE(said.size(), 2);
    QCOMPARE(said[1].text, u"曲 1曲・CD 0枚の表記を「J.S.バッハ」に統一しました。"_s);
    QCOMPARE(readColumn(folder->path(), u"kyoku"_s, u"作曲者名"_s),
             (QStringList{u"J.S.バッハ"_s, u"J.S.バッハ"_s, u"マーラー"_s}));
    window->close();
    endTest(w, folder);
}

RONDELLA_TEST_MAIN(TestWorks)
#include "tst_works.moc"
