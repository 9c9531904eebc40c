// The criteria panel and the searches it runs: the boxes and their frames,
// the refusals, song and CD searches, narrowing, all songs and the reset.
#include "mainui.h"
#include "search/extract.h"
#include "testsupport.h"

namespace {

const QString fifth = u"ベートーヴェン：交響曲第5番「運命」"_s, indy = u"ダンディ：交響曲"_s;
const QString faune = u"ドビュッシー：牧神の午後への前奏曲 (Prélude à l'après-midi d'un faune)"_s;
const QString emptyBox = u"チェックしたところに、検索条件が指定されていません！"_s;
const QString noMatch = u"該当するレコードはありません"_s;

QVariantMap by(const QString& composer, const QString& genre = u"交響曲"_s)
{
    return {{u"作曲者名"_s, composer}, {u"分野"_s, genre}};
}

} // namespace

class TestSearch : public MainWindowTest {
    Q_OBJECT
private slots:
    void init();
    void everyBoxSwitchesFrames();
    void refusalsLeaveTheWindowAsItWas();
    void songCDAndAllSongsSearches();
    void narrowingAndValuesAsTyped();
    void pictureButtonsAndEnter();

private:
    void open() { trigger(m_w, u"mnuTyuu"_s); }
    void tick(int box) { QTest::keyClick(Check1(m_w, box), Qt::Key_Space); }
    QLineEdit* input(int box) const;
    void search(const QList<std::pair<int, QString>>& boxes, bool fresh = true);
};

// CDs 3 and 6 share a title and so its songs; song 6 has no CD.
void TestSearch::init()
{
    MainWindowTest::init();
    writeCollection(
        m_folder->path(),
        {cd(1, fifth, {{u"発売元"_s, u"ポリドール"_s}, {u"キャビネット"_s, u"A"_s}}),
         cd(2, faune, {{u"発売元"_s, u"東芝EMI"_s}, {u"購入価格"_s, 2800}}),
         cd(3, indy, {{u"発売元"_s, u"ポリドール"_s}}), cd(4, u"モンテヴェルディ：晩課"_s),
         cd(5, u"ブルックナー：交響曲第8番"_s, {{u"発売元"_s, u"BMGビクター"_s}}), cd(6, indy)},
        {song(indy, 1, u"第1楽章"_s, by(u"ダンディ (d'Indy)"_s)),
         song(fifth, 2, u"交響曲第5番 第1楽章"_s, by(u"ベートーヴェン"_s)),
         song(fifth, 3, u"交響曲第5番 第2楽章"_s, by(u"ベートーヴェン"_s)),
         song(faune, 4, u"牧神の午後への前奏曲"_s, by(u"ドビュッシー"_s, u"管弦楽"_s)),
         song(
             u"モンテヴェルディ：晩課"_s, 5, u"ニシ・ドミヌス"_s,
             {{u"作曲者名"_s, u"モンテヴェルディ"_s}, {u"演奏団体"_s, u"Ensemble l'Arpeggiata"_s}}),
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
// box opens as ** with the caret between), then presses Enter, or the search
// picture where nothing was typed into.
void TestSearch::search(const QList<std::pair<int, QString>>& boxes, bool fresh)
{
    if (fresh)
        open();
    QLineEdit* last = nullptr;
    for (const auto& [box, text] : boxes) {
        tick(box);
        if (box != 10)
            typeKeys(last = input(box), text);
    }
    if (last)
        QTest::keyClick(last, Qt::Key_Return);
    else
        QTest::mouseClick(imgTyu(m_w), Qt::LeftButton);
}

// Ticking any box of one frame hides the other frame and shows the box's
// input; unticking the last of the frame's boxes brings the other frame back;
// an unticked value stays, hidden, and comes back with the tick.
void TestSearch::everyBoxSwitchesFrames()
{
    open();
    for (int box : {0, 1, 2, 3, 5, 7, 8, 4, 6, 9, 11, 12}) {
        const bool songFrame = search::searchBoxes().at(size_t(box)).songFrame;
        const QByteArray row = QByteArray::number(box);
        tick(box);
        QVERIFY2(input(box)->isVisible() && FraKyoku(m_w)->isVisible() == songFrame
                     && FraCD(m_w)->isVisible() == !songFrame,
                 row);
        input(box)->setText(u"A"_s);
        tick(box);
        QVERIFY2(!input(box)->isVisible() && FraKyoku(m_w)->isVisible() == !songFrame
                     && FraCD(m_w)->isVisible() == songFrame,
                 row);
        tick(box);
        QCOMPARE(input(box)->text(), u"A"_s);
        tick(box); // as it was for the next box
    }
}

// A refused search says why and leaves the window as it was, the panel open
// to try again; one that finds nothing shows all data.
void TestSearch::refusalsLeaveTheWindowAsItWas()
{
    MessageBoxAnswerer answers;
    for (const auto& boxes : QList<QList<std::pair<int, QString>>>{
             {}, {{9, {}}}, {{0, {}}, {7, {}}}, {{12, {}}}, {{11, u"Z"_s}}, {{0, u"d'"_s}}})
        search(boxes);
    db().cds()->setValue(u"段"_s, u"9"_s); // an edit not saved
    search({{4, u"ポリドール"_s}});
    db().cds()->cancelUpdate();
    QCOMPARE(
        answers.texts,
        (QStringList{u"検索条件が指定されていません！"_s, u"CD名の検索条件が指定されていません！"_s,
                     u"曲名の検索条件が指定されていません！"_s, emptyBox, noMatch, noMatch,
                     u"データの更新を解除してください！"_s}));
    QVERIFY(picTyuu(m_w)->isVisible() && Check1(m_w, 4)->isChecked() && !isWaitShown());
    QCOMPARE(shows(m_w), u"CDデータ | 曲データ | ALL | 左CDに含まれる曲 | 6 / 6 | 3 / 8"_s);
    search({{0, u"ベートーヴェン"_s}}); // a refused CD search keeps a song search on show
    search({{9, {}}});
    QVERIFY(answers.texts.size() == 8 && m_w->displayState() == DisplayState::SongSearch);
}

// A song search lists the songs found, the first one on show, beside the
// CDs that hold them; a CD search after it marks the CD header alone.
void TestSearch::songCDAndAllSongsSearches()
{
    search({{0, u"ベートーヴェン"_s}, {7, u"第1楽章"_s}});
    QCOMPARE(
        shows(m_w),
        u"CDデータ | 曲検索中 | 右の曲を含むCD一覧（非連結） | 作曲者名 = 'ベートーヴェン' and 曲名 like '*第1楽章*' | 1 / 6 | 2 / 8"_s);
    QVERIFY(!picTyuu(m_w)->isVisible() && DataGrid1(m_w)->isColumnVisible(0));
    QCOMPARE(txtrs(m_w, 1)->text() + u'|' + txtrs(m_w, 8)->text(),
             fifth + u"|交響曲第5番 第1楽章"_s);
    trigger(m_w, u"mnuCDs"_s); // sorts the CD list on show alone
    QCOMPARE(db().cdList()->sort() + db().cds()->sort(), u"CD名 asc"_s);
    search({{4, u"ポリドール"_s}});
    QCOMPARE(shows(m_w),
             u"ＣＤ検索中 | 曲検索中 | 発売元 = 'ポリドール' | 左CDに含まれる曲 | 2 / 6 | 3 / 8"_s);
    m_w->reset(); // the rebuild after an entry form shows all data
    QCOMPARE(shows(m_w), u"CDデータ | 曲データ | ALL | 左CDに含まれる曲 | 6 / 6 | 2 / 8"_s);
    search({{0, u"チャイコフスキー"_s}}); // the song of a deleted CD is still found
    QCOMPARE(lblRcount(m_w, 3)->text() + txtrs(m_w, 8)->text() + txtrs(m_w, 1)->text(),
             u"0 / 6交響曲第6番 第1楽章"_s);
    // All songs beside every CD that holds one, in the order the songs come, the
    // CD buttons moving that list; right after a song search, its songs alone.
    // リセット then drops searches and sorts and reads the data again.
    trigger(m_w, u"mnuReset"_s);
    search({{10, {}}});
    QCOMPARE(shows(m_w), u"CDデータ | 曲検索中 | ALL（非連結） | ALL | 5 / 6 | 8 / 8"_s);
    QCOMPARE(column(DataGrid2(m_w), 0), u"3|6|1|2|4"_s);
    cmdLast(m_w)->click();
    QCOMPARE(db().cdList()->position() * 10 + db().cds()->position(), 40);
    const ViewPtr list = db().cdList(); // straight after a reset the CD list stays open
    trigger(m_w, u"mnuReset"_s);
    QVERIFY(db().cdList() == list && list->isOpen());
    search({{0, u"ベートーヴェン"_s}});
    trigger(m_w, u"mnuSibori"_s);
    search({{10, {}}}, false);
    QCOMPARE(column(DataGrid2(m_w), 0), u"1"_s);
    search({{0, u"ベートーヴェン"_s}});
    trigger(m_w, u"mnuCDs"_s);
    trigger(m_w, u"mnuKyokuS"_s);
    trigger(m_w, u"mnuSibori"_s);
    tick(10);
    writeCollection(m_folder->path(), {}, {song(fifth, 9, u"交響曲第5番 第3楽章"_s)});
    trigger(m_w, u"mnuReset"_s);
    QCOMPARE(shows(m_w), u"CDデータ | 曲データ | ALL | 左CDに含まれる曲 | 6 / 6 | 4 / 9"_s);
    QVERIFY(!db().cdList() && db().strCriteria().isEmpty() && !Check1(m_w, 10)->isChecked()
            && db().cds()->sort().isEmpty() && db().songs()->sort().isEmpty());
    QCOMPARE(DataGrid1(m_w)->dataSource(), db().songsOfCD());
}

// Narrowing adds to the criteria; a CD box ticked while only the song frame
// is up is unticked and ignored. Values are searched as typed, quotes and
// all, letter case aside.
void TestSearch::narrowingAndValuesAsTyped()
{
    search({{5, u"交響曲"_s}});
    QCOMPARE(column(DataGrid2(m_w), 0), u"3|6|1"_s); // by first song, each CD once
    trigger(m_w, u"mnuSibori"_s);
    search({{7, u"第1楽章"_s}}, false);
    QCOMPARE(db().strCriteria(), u"分野 = '交響曲' and 曲名 like '*第1楽章*'"_s);
    trigger(m_w, u"mnuSibori"_s);
    Check1(m_w, 4)->setChecked(true);
    DataCombo1(m_w, 4)->setText(u"東芝EMI"_s);
    search({}, false);
    QVERIFY(!Check1(m_w, 4)->isChecked());
    QCOMPARE(db().strCriteria() + column(DataGrid1(m_w), 3),
             u"分野 = '交響曲' and 曲名 like '*第1楽章*'"_s
                 + u"ダンディ (d'Indy)|ベートーヴェン|チャイコフスキー|ベートーヴェン"_s);
    search({{0, u"ダンディ (d'Indy)"_s}});
    QCOMPARE(db().strCriteria() + QString::number(db().songs()->recordCount()),
             u"作曲者名 = 'ダンディ (d''Indy)'2"_s);
    open();
    tick(3);
    DataCombo1(m_w, 3)->setText(u"ensemble l'arpeggiata"_s);
    search({}, false);
    QCOMPARE(db().songs()->recordCount(), 1);
    search({{9, u"l'après-midi"_s}});
    QCOMPARE(column(DataGrid2(m_w), 1), faune);
}

// 絞込抽出 runs the search twice; リセット clears the panel alone; CLOSE
// hides it, after which Enter no longer searches; closing the window after a
// search asks nothing and lets go of it all.
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
    search({{0, u"ドビュッシー"_s}});
    trigger(m_w, u"mnuSibori"_s);
    tick(10);
    txtCDmei(m_w)->setText(u"X"_s);
    QTest::mouseClick(imgReset(m_w), Qt::LeftButton); // the panel as 検索 opens it
    for (int i = 0; i < 13; ++i)
        QVERIFY(!Check1(m_w, i)->isChecked());
    QVERIFY(FraCD(m_w)->isVisible() && FraKyoku(m_w)->isVisible() && !Label1(m_w)->isVisible());
    QCOMPARE(txtKyoku(m_w)->text() + txtCDmei(m_w)->text() + input(0)->text(), u"****"_s);
    QVERIFY(cmdFilter(m_w)->property("default").toBool() && db().songs()->recordCount() == 1);
    tick(3); // each list offers its own field's values
    QCOMPARE(DataCombo1(m_w, 3)->itemText(0) + QString::number(DataCombo1(m_w, 3)->count()),
             u"Ensemble l'Arpeggiata1"_s);
    closeMain(m_w);
    QVERIFY(!m_w && !db().isOpen() && !db().cdList() && answers.texts.size() == 2);
}

RONDELLA_TEST_MAIN(TestSearch)
#include "tst_search.moc"
