// The criteria panel and the searches it runs: the boxes and their frames,
// the refusals, song and CD searches, narrowing, all songs and the reset.
#include "mainui.h"
#include "mainwindow/frmmain.h"
#include "search/extract.h"
#include "store/collection.h"
#include "testsupport.h"

#include <QTableView>
#include <QTest>

namespace {

const QString fifth = u"ベートーヴェン：交響曲第5番「運命」"_s, indy = u"ダンディ：交響曲"_s;
const QString faune = u"ドビュッシー：牧神の午後への前奏曲 (Prélude à l'après-midi d'un faune)"_s;
const QString emptyBox = u"チェックしたところに、検索条件が指定されていません！"_s;
const QString noMatch = u"該当するレコードはありません"_s;

QStringList column(DataGrid* grid, int col)
{
    QStringList out;
    for (int r = 0; r < grid->table()->model()->rowCount(); ++r)
        out << grid->text(r, col);
    return out;
}

QVariantMap by(const QString& composer, const QString& genre = u"交響曲"_s)
{
    return {{u"作曲者名"_s, composer}, {u"分野"_s, genre}};
}

} // namespace

class TestSearch : public MainWindowTest {
    Q_OBJECT
private slots:
    void init();
    void openingAfresh();
    void everyBoxSwitchesFrames_data();
    void everyBoxSwitchesFrames();
    void refusalsLeaveTheWindowAsItWas();
    void songSearchThenCDSearch();
    void noMatchReturnsToAllData();
    void narrowing();
    void apostrophesAndCaseAreSearchedAsTyped();
    void allSongsDisplay();
    void resetRestoresAllData();
    void pictureButtonsAndEnter();
    void pendingEditIsRefused();
    void moreThan32767CDsInOneResult();
    void cdListHoldsEveryNamesakeOnceInSongOrder();

private:
    void open() { trigger(m_w, u"mnuTyuu"_s); }
    void tick(int box) { QTest::keyClick(Check1(m_w, box), Qt::Key_Space); }
    QLineEdit* input(int box) const;
    void search(const QList<std::pair<int, QString>>& boxes, bool fresh = true);
};

// CD 2 has a price and no songs of its genre, song 6 no CD.
void TestSearch::init()
{
    MainWindowTest::init();
    writeCollection(m_folder->path(),
                    {cd(1, fifth, {{u"発売元"_s, u"ポリドール"_s}, {u"キャビネット"_s, u"A"_s}}),
                     cd(2, faune, {{u"発売元"_s, u"東芝EMI"_s}, {u"購入価格"_s, 2800}}),
                     cd(3, indy, {{u"発売元"_s, u"ポリドール"_s}}),
                     cd(4, u"モンテヴェルディ：晩課"_s),
                     cd(5, u"ブルックナー：交響曲第8番"_s, {{u"発売元"_s, u"BMGビクター"_s}})},
                    {song(indy, 1, u"第1楽章"_s, by(u"ダンディ (d'Indy)"_s)),
                     song(fifth, 2, u"交響曲第5番 第1楽章"_s, by(u"ベートーヴェン"_s)),
                     song(fifth, 3, u"交響曲第5番 第2楽章"_s, by(u"ベートーヴェン"_s)),
                     song(faune, 4, u"牧神の午後への前奏曲"_s, by(u"ドビュッシー"_s, u"管弦楽"_s)),
                     song(u"モンテヴェルディ：晩課"_s, 5, u"ニシ・ドミヌス"_s,
                          {{u"作曲者名"_s, u"モンテヴェルディ"_s},
                           {u"演奏団体"_s, u"Ensemble l'Arpeggiata"_s}}),
                     song(u"消えたCD"_s, 6, u"交響曲第6番 第1楽章"_s, by(u"チャイコフスキー"_s)),
                     song(fifth, 7, u"交響曲第7番 第1楽章"_s, by(u"ベートーヴェン"_s)),
                     song(indy, 8, u"第2楽章"_s, by(u"ダンディ (d'Indy)"_s))});
    QVERIFY(start());
}

QLineEdit* TestSearch::input(int box) const
{
    const char* name = search::searchBoxes().at(size_t(box)).textName;
    return name ? named<QLineEdit>(m_w, QString::fromLatin1(name))
                : DataCombo1(m_w, box)->lineEdit();
}

// Ticks each box by the keyboard and types its value, as a user does (a title
// box opens as ** with the caret between), then presses the search picture.
void TestSearch::search(const QList<std::pair<int, QString>>& boxes, bool fresh)
{
    if (fresh)
        open();
    for (const auto& [box, text] : boxes) {
        tick(box);
        if (box != 10)
            typeKeys(input(box), text);
    }
    QTest::mouseClick(imgTyu(m_w), Qt::LeftButton);
}

void TestSearch::openingAfresh()
{
    tick(10);
    DataCombo1(m_w, 0)->setText(u"X"_s);
    open();
    for (int i = 0; i < 13; ++i)
        QVERIFY(!Check1(m_w, i)->isChecked());
    QVERIFY(FraCD(m_w)->isVisible() && FraKyoku(m_w)->isVisible() && !Label1(m_w)->isVisible());
    QCOMPARE(txtKyoku(m_w)->text() + txtCDmei(m_w)->text() + DataCombo1(m_w, 0)->text(), u"****"_s);
    QVERIFY(cmdFilter(m_w)->property("default").toBool());
    tick(3); // each list offers its own field's values
    QCOMPARE(DataCombo1(m_w, 3)->count(), 1);
    QCOMPARE(DataCombo1(m_w, 3)->itemText(0), u"Ensemble l'Arpeggiata"_s);
    QApplication::setActiveWindow(m_w);
    tick(7); // the title box takes the typing between its asterisks
    QVERIFY(Label1(m_w)->isVisible());
    QTest::keyClicks(txtKyoku(m_w), u"abc"_s);
    QCOMPARE(txtKyoku(m_w)->text(), u"*abc*"_s);
}

// Ticking any box of one frame hides the other frame and shows the box's
// input; unticking the last of the frame's boxes brings the other frame back;
// an unticked value stays, hidden, and comes back with the tick.
void TestSearch::everyBoxSwitchesFrames_data()
{
    QTest::addColumn<int>("box");
    QTest::addColumn<bool>("songFrame");
    for (int i : {0, 1, 2, 3, 5, 7, 8, 4, 6, 9, 11, 12})
        QTest::addRow("box %d", i) << i << search::searchBoxes().at(size_t(i)).songFrame;
}

void TestSearch::everyBoxSwitchesFrames()
{
    QFETCH(int, box);
    QFETCH(bool, songFrame);
    open();
    tick(box);
    QCOMPARE(FraKyoku(m_w)->isVisible(), songFrame);
    QCOMPARE(FraCD(m_w)->isVisible(), !songFrame);
    QVERIFY(input(box)->isVisible());
    input(box)->setText(u"A"_s);
    tick(box);
    QVERIFY(!input(box)->isVisible());
    QCOMPARE(FraKyoku(m_w)->isVisible(), !songFrame);
    QCOMPARE(FraCD(m_w)->isVisible(), songFrame);
    tick(box);
    QCOMPARE(input(box)->text(), u"A"_s);
}

// A refused search says why and leaves the panel open and the window as it
// was; the buttons go on moving the lists on show.
void TestSearch::refusalsLeaveTheWindowAsItWas()
{
    MessageBoxAnswerer answers;
    for (const auto& boxes : QList<QList<std::pair<int, QString>>>{
             {}, {{7, {}}}, {{0, {}}}, {{0, u"d'"_s}}, {{9, {}}}, {{12, {}}}, {{0, {}}, {7, {}}}})
        search(boxes);
    QCOMPARE(
        answers.texts,
        (QStringList{u"検索条件が指定されていません！"_s, u"曲名の検索条件が指定されていません！"_s,
                     emptyBox, noMatch, u"CD名の検索条件が指定されていません！"_s, emptyBox,
                     u"曲名の検索条件が指定されていません！"_s}));
    QVERIFY(picTyuu(m_w)->isVisible() && !isWaitShown());
    QTest::mouseClick(imgClose(m_w), Qt::LeftButton);
    QCOMPARE(shows(m_w), u"CDデータ | 曲データ | ALL | 左CDに含まれる曲 | 5 / 5 | 3 / 8"_s);
    cmdRightSub(m_w)->click();
    QCOMPARE(txtrs(m_w, 21)->text(), u"3"_s); // the second song of the first CD
    search({{0, u"ベートーヴェン"_s}}); // a refused CD search keeps a song search on show
    search({{9, {}}});
    QCOMPARE(answers.texts.size(), 8);
    QCOMPARE(m_w->displayState(), DisplayState::SongSearch);
}

// A song search lists the songs found, the first one on show, beside the
// CDs that hold them; a CD search after it marks the CD header alone.
void TestSearch::songSearchThenCDSearch()
{
    search({{0, u"ベートーヴェン"_s}, {7, u"第1楽章"_s}});
    const QString criteria = u"作曲者名 = 'ベートーヴェン' and 曲名 like '*第1楽章*'"_s;
    QCOMPARE(shows(m_w),
             u"CDデータ | 曲検索中 | 右の曲を含むCD一覧（非連結） | "_s + criteria
                 + u" | 1 / 5 | 2 / 8"_s);
    QVERIFY(!picTyuu(m_w)->isVisible() && DataGrid1(m_w)->isColumnVisible(0));
    QCOMPARE(DataGrid2(m_w)->dataSource(), db().cdList());
    QCOMPARE(txtrs(m_w, 1)->text(), fifth);
    QCOMPARE(txtrs(m_w, 8)->text(), u"交響曲第5番 第1楽章"_s);
    trigger(m_w, u"mnuCDs"_s); // sorts the CD list on show
    QCOMPARE(db().cdList()->sort() + db().cds()->sort(), u"CD名 asc"_s);
    QApplication::setActiveWindow(m_w);
    open();
    tick(0); // a song box ticked and unticked meanwhile changes nothing
    tick(0);
    search({{4, u"ポリドール"_s}}, false);
    QCOMPARE(shows(m_w),
             u"ＣＤ検索中 | 曲検索中 | 発売元 = 'ポリドール' | 左CDに含まれる曲 | 2 / 5 | 3 / 8"_s);
    QCOMPARE(column(DataGrid1(m_w), 2),
             (QStringList{u"交響曲第5番 第1楽章"_s, u"交響曲第5番 第2楽章"_s,
                          u"交響曲第7番 第1楽章"_s}));
    QVERIFY(!DataGrid1(m_w)->isColumnVisible(0));
    QTRY_VERIFY(cmdNext(m_w)->hasFocus());
    m_w->reset(); // the rebuild after an entry form shows all data
    QCOMPARE(shows(m_w), u"CDデータ | 曲データ | ALL | 左CDに含まれる曲 | 5 / 5 | 0 / 8"_s);
}

void TestSearch::noMatchReturnsToAllData()
{
    MessageBoxAnswerer answers;
    search({{11, u"Z"_s}});
    QCOMPARE(answers.texts, QStringList{noMatch});
    QCOMPARE(shows(m_w), u"CDデータ | 曲データ | ALL | 左CDに含まれる曲 | 5 / 5 | 3 / 8"_s);
    QVERIFY(picTyuu(m_w)->isVisible() && Check1(m_w, 11)->isChecked()); // to try again
    search({{0, u"バッハ"_s}});
    QCOMPARE(answers.texts.size(), 2);
    QVERIFY(!db().cdList());
    search({{0, u"チャイコフスキー"_s}}); // the song of a deleted CD is still found
    QCOMPARE(lblRcount(m_w, 3)->text(), u"0 / 5"_s);
    QCOMPARE(txtrs(m_w, 8)->text() + txtrs(m_w, 1)->text(), u"交響曲第6番 第1楽章"_s); // no CD
}

void TestSearch::narrowing()
{
    search({{5, u"交響曲"_s}});
    QCOMPARE(column(DataGrid2(m_w), 0), (QStringList{u"3"_s, u"1"_s})); // by first song
    trigger(m_w, u"mnuSibori"_s);
    QCOMPARE(DataCombo1(m_w, 5)->text(), u"交響曲"_s);
    search({{7, u"第1楽章"_s}}, false);
    const QString both = u"分野 = '交響曲' and 曲名 like '*第1楽章*'"_s;
    QCOMPARE(db().strCriteria(), both);
    QCOMPARE(db().songs()->recordCount(), 4);
    // a CD box ticked while only the song frame is up is unticked and ignored
    trigger(m_w, u"mnuSibori"_s);
    Check1(m_w, 4)->setChecked(true);
    DataCombo1(m_w, 4)->setText(u"東芝EMI"_s);
    search({}, false);
    QVERIFY(!Check1(m_w, 4)->isChecked());
    QCOMPARE(db().strCriteria(), both);
    QCOMPARE(db().songs()->recordCount(), 4);
}

void TestSearch::apostrophesAndCaseAreSearchedAsTyped()
{
    MessageBoxAnswerer answers;
    search({{0, u"ダンディ (d'Indy)"_s}});
    QCOMPARE(db().strCriteria(), u"作曲者名 = 'ダンディ (d''Indy)'"_s);
    QCOMPARE(db().songs()->recordCount(), 2);
    open();
    tick(3);
    DataCombo1(m_w, 3)->setText(u"ensemble l'arpeggiata"_s); // letter case aside
    search({}, false);
    QCOMPARE(db().songs()->recordCount(), 1);
    search({{9, u"l'après-midi"_s}});
    QCOMPARE(db().cds()->recordCount(), 1);
    QCOMPARE(txtrs(m_w, 1)->text(), faune);
    QCOMPARE(answers.texts, QStringList());
}

void TestSearch::allSongsDisplay()
{
    search({{10, {}}});
    QCOMPARE(shows(m_w), u"CDデータ | 曲検索中 | ALL（非連結） | ALL | 4 / 5 | 8 / 8"_s);
    QCOMPARE(column(DataGrid2(m_w), 0), (QStringList{u"3"_s, u"1"_s, u"2"_s, u"4"_s}));
    cmdLast(m_w)->click(); // the CD buttons move the CD list
    QCOMPARE(db().cdList()->position(), 3);
    QCOMPARE(db().cds()->position(), 0);
    // right after a song search it lists that search's songs again
    trigger(m_w, u"mnuReset"_s);
    search({{0, u"ドビュッシー"_s}});
    trigger(m_w, u"mnuSibori"_s);
    search({{10, {}}}, false);
    QCOMPARE(db().songs()->recordCount(), 1);
    QCOMPARE(column(DataGrid2(m_w), 0), QStringList{u"2"_s});
}

// リセット drops searches and sorts and reads the data again.
void TestSearch::resetRestoresAllData()
{
    search({{0, u"ベートーヴェン"_s}});
    trigger(m_w, u"mnuCDs"_s);
    trigger(m_w, u"mnuKyokuS"_s);
    QVERIFY(!db().songs()->sort().isEmpty());
    trigger(m_w, u"mnuSibori"_s);
    tick(10);
    writeCollection(m_folder->path(), {}, {song(fifth, 9, u"交響曲第5番 第3楽章"_s)});
    trigger(m_w, u"mnuReset"_s);
    QCOMPARE(shows(m_w), u"CDデータ | 曲データ | ALL | 左CDに含まれる曲 | 5 / 5 | 4 / 9"_s);
    QVERIFY(!db().cdList() && db().strCriteria().isEmpty() && !Check1(m_w, 10)->isChecked());
    QCOMPARE(DataGrid2(m_w)->dataSource(), db().cds());
    QCOMPARE(DataGrid1(m_w)->dataSource(), db().songsOfCD());
    QCOMPARE(m_w->windowTitle(), u"Rondella"_s);
    QVERIFY(db().cds()->sort().isEmpty() && db().songs()->sort().isEmpty());
    QVERIFY(db().songsOfCD()->sort().isEmpty() && !mnuKyokuS(m_w)->isChecked());
    QCOMPARE(db().songs()->valueAt(0, db().songs()->fieldIndex(u"曲ID"_s)).toString(), u"1"_s);
    // after an all-songs display straight after a reset, the CD list stays open
    search({{10, {}}});
    const ViewPtr list = db().cdList();
    trigger(m_w, u"mnuReset"_s);
    QVERIFY(db().cdList() == list && list->isOpen());
}

// 絞込抽出 runs the search twice; リセット clears the panel alone; CLOSE
// hides it, after which Enter no longer searches.
void TestSearch::pictureButtonsAndEnter()
{
    MessageBoxAnswerer answers;
    open();
    tick(0);
    QTest::mouseClick(imgSibori(m_w), Qt::LeftButton);
    QCOMPARE(answers.texts, (QStringList{emptyBox, emptyBox}));
    typeKeys(input(0), u"ドビュッシー"_s);
    QTest::mouseClick(imgClose(m_w), Qt::LeftButton);
    trigger(m_w, u"mnuSibori"_s);
    QTest::keyClick(input(0), Qt::Key_Return);
    QCOMPARE(m_w->displayState(), DisplayState::AllData);
    open();
    tick(0);
    typeKeys(input(0), u"ドビュッシー"_s);
    QTest::keyClick(input(0), Qt::Key_Return);
    QCOMPARE(db().songs()->recordCount(), 1);
    trigger(m_w, u"mnuSibori"_s);
    QTest::mouseClick(imgReset(m_w), Qt::LeftButton);
    QVERIFY(!Check1(m_w, 0)->isChecked());
    QCOMPARE(db().songs()->recordCount(), 1);
    MessageBoxAnswerer none; // closing after a search asks nothing and lets go of it all
    closeMain(m_w);
    QVERIFY(!m_w && !db().isOpen() && !db().cdList() && none.texts.isEmpty());
}

void TestSearch::pendingEditIsRefused()
{
    MessageBoxAnswerer answers;
    db().cds()->setValue(u"段"_s, u"9"_s);
    search({{4, u"ポリドール"_s}});
    QCOMPARE(answers.texts, QStringList{u"データの更新を解除してください！"_s});
    QVERIFY(!isWaitShown());
    db().cds()->cancelUpdate();
}

void TestSearch::moreThan32767CDsInOneResult()
{
    closeMain(m_w);
    QVector<QVariantMap> cds, songs;
    const int n = 33000;
    for (int i = 10; i < n; ++i) {
        cds << cd(i, u"CD %1"_s.arg(i));
        songs << song(u"CD %1"_s.arg(i), i, u"曲"_s, by(u"ブラームス"_s));
    }
    writeCollection(m_folder->path(), cds, songs);
    QVERIFY(start());
    search({{0, u"ブラームス"_s}});
    QCOMPARE(lblRcount(m_w, 3)->text(), u"%1 / %2"_s.arg(n - 10).arg(n - 5));
    db().cdList()->moveLast();
    QCOMPARE(db().cdList()->value(u"CDID"_s).toInt(), n - 1);
}

// Songs belong to a CD by its title: two CDs of one title both hold its
// songs. The list shows each CD once, in the order the songs are found.
void TestSearch::cdListHoldsEveryNamesakeOnceInSongOrder()
{
    closeMain(m_w);
    const QString bach = u"バッハ：ゴルトベルク変奏曲"_s, chopin = u"ショパン：夜想曲集"_s;
    writeCollection(m_folder->path(),
                    {cd(6, bach, {{u"購入価格"_s, 1800}}), cd(7, chopin), cd(8, bach)},
                    {song(chopin, 11, u"夜想曲第1番"_s, by({}, u"器楽"_s)),
                     song(bach, 12, u"アリア"_s, by({}, u"器楽"_s)),
                     song(chopin, 13, u"夜想曲第2番"_s, by({}, u"器楽"_s))});
    QVERIFY(start());
    search({{5, u"器楽"_s}});
    QCOMPARE(column(DataGrid2(m_w), 0), (QStringList{u"7"_s, u"6"_s, u"8"_s}));
    QCOMPARE(db().cdList()->valueAt(1, 3).toString(), u"1800"_s);
    trigger(m_w, u"mnuReset"_s); // and all songs list every CD that holds a song
    search({{10, {}}});
    QCOMPARE(column(DataGrid2(m_w), 0).size(), 7);
}

RONDELLA_TEST_MAIN(TestSearch)
#include "tst_search.moc"
