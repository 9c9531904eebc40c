#include "mainui.h"
#include "mainwindow/frmmain.h"
#include "mainwindow/startup.h"
#include "search/extract.h"
#include "store/collection.h"
#include "store/criteria.h"
#include "testsupport.h"
#include "widgets/msgbox.h"
#include "widgets/sound.h"
#include "widgets/twips.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTest>
#include <QToolBar>

namespace {

const QString fifth = "ベートーヴェン：交響曲第5番「運命」";
const QString faune = "ドビュッシー：牧神の午後への前奏曲 (Prélude à l'après-midi d'un faune)";
const QString indy = "ダンディ：フランス山人の歌による交響曲";
const QString early = "モンテヴェルディ：聖母マリアの夕べの祈り";

void writeSample(const QString& folder)
{
    writeCollection(
        folder,
        {cd(1, fifth,
            {{"発売元", "ポリドール"}, {"解説者", "石川道雄"}, {"キャビネット", "A"}, {"段", "1"}}),
         cd(2, faune, {{"発売元", "東芝EMI"}, {"購入価格", 2800}}),
         cd(3, indy, {{"発売元", "ポリドール"}, {"キャビネット", "B"}}),
         cd(4, early, {{"発売元", "BMGビクター"}}),
         cd(5, "ブルックナー：交響曲第8番（2枚組）", {{"発売元", "ポリドール"}})},
        {song(indy, 1, "第1楽章", {{"作曲者名", "ダンディ (d'Indy)"}, {"分野", "交響曲"}}),
         song(fifth, 2, "交響曲第5番 第1楽章",
              {{"作曲者名", "ベートーヴェン"}, {"分野", "交響曲"}}),
         song(fifth, 3, "交響曲第5番 第2楽章",
              {{"作曲者名", "ベートーヴェン"}, {"分野", "交響曲"}}),
         song(faune, 4, "牧神の午後への前奏曲", {{"作曲者名", "ドビュッシー"}}),
         song(early, 5, "ニシ・ドミヌス",
              {{"作曲者名", "モンテヴェルディ"}, {"演奏団体", "Ensemble l'Arpeggiata"}}),
         song("チャイコフスキー：交響曲第6番「悲愴」", 6, "交響曲第6番 第1楽章",
              {{"作曲者名", "チャイコフスキー"}, {"分野", "交響曲"}}),
         song(fifth, 7, "交響曲第7番 第1楽章",
              {{"作曲者名", "ベートーヴェン"}, {"分野", "交響曲"}}),
         song(indy, 8, "第2楽章", {{"作曲者名", "ダンディ (d'Indy)"}, {"分野", "交響曲"}})});
}

QStringList column(DataGrid* grid, int col)
{
    QStringList out;
    for (int r = 0; r < grid->table()->model()->rowCount(); ++r)
        out << grid->text(r, col);
    return out;
}

} // namespace

class TestSearch : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void openingAfresh();
    void frameSwitching();
    void titleBoxCaretBetweenAsterisks();
    void refusals();
    void songSearch();
    void cdSearch();
    void noMatchReturnsToAllData();
    void narrowing();
    void apostrophesAreSearchedLiterally();
    void orphanSongsStayListed();
    void allSongsDisplay();
    void resetRestoresAllData();
    void headersFollowEachSearch();
    void imageButtons();
    void enterOnlyWhileDefault();
    void pendingEditIsRefused();
    void toolbarAndMenuSound();
    void unloadAfterSearchResetsFirst();
    void jacketFollowsTheCDList();
    void moreThan32767CDsInOneResult();
    void everyBoxSwitchesFrames_data();
    void everyBoxSwitchesFrames();
    void refusedSearchLeavesTheWindowAsItWas();
    void cdListHoldsEveryNamesakeOnceInSongOrder();
    void resetClearsTheSongSort();
    void criteriaFromTickedBoxes();

private:
    void tick(int i) { Check1(m_w, i)->setChecked(true); }
    void open() { m_w->findChild<QAction*>("mnuTyuu")->trigger(); }
    std::unique_ptr<StartupFolder> m_folder;
    QPointer<frmMain> m_w;
};

void TestSearch::init()
{
    m_folder = std::make_unique<StartupFolder>();
    writeSample(m_folder->path());
    m_w = startMain();
    QVERIFY(m_w);
}

void TestSearch::cleanup()
{
    if (m_w)
        closeMain(m_w);
    m_folder.reset();
}

void TestSearch::openingAfresh()
{
    const int sounds = MMCdialog(m_w)->timesPlayed();
    tick(10);
    DataCombo1(m_w, 0)->setText("X");
    open();
    QVERIFY(picTyuu(m_w)->isVisible());
    QVERIFY(MMCdialog(m_w)->timesPlayed() > sounds);
    for (int i = 0; i < 13; ++i)
        QVERIFY(!Check1(m_w, i)->isChecked());
    QVERIFY(FraCD(m_w)->isVisible() && FraKyoku(m_w)->isVisible());
    QVERIFY(!txtKyoku(m_w)->isVisible() && !DataCombo1(m_w, 0)->isVisible()
            && !Label1(m_w)->isVisible());
    QCOMPARE(txtKyoku(m_w)->text(), QString("**"));
    QCOMPARE(txtCDmei(m_w)->text(), QString("**"));
    QCOMPARE(DataCombo1(m_w, 0)->text(), QString());
    QVERIFY(cmdFilter(m_w)->property("default").toBool());
    const int screenWidth = QGuiApplication::primaryScreen()->geometry().width();
    QCOMPARE(picTyuu(m_w)->pos(), QPoint((screenWidth - picTyuu(m_w)->width()) / 2, twips(15)));
    QCOMPARE(picTyuu(m_w)->size(), QSize(twips(9615), twips(7335)));
    QCOMPARE(Check1(m_w, 10)->palette().color(QPalette::WindowText), QColor(Qt::red));
    QVERIFY(!m_w->findChild<DataCombo*>("DataCombo1(7)"));
    // the combos offer the value lists once shown; a typed value not in the list is kept
    tick(0);
    QCOMPARE(DataCombo1(m_w, 0)->count(), 5);
    QVERIFY(DataCombo1(m_w, 0)->isEditable());
    open();
    tick(4);
    QCOMPARE(DataCombo1(m_w, 4)->itemText(0), QString("BMGビクター"));
    QCOMPARE(DataCombo1(m_w, 4)->count(), 3);
    open();
    tick(3); // each box offers its own field's values
    QVERIFY(DataCombo1(m_w, 3)->findText("Ensemble l'Arpeggiata") >= 0);
}

void TestSearch::frameSwitching()
{
    open();
    tick(0);
    QVERIFY(!FraCD(m_w)->isVisible() && FraKyoku(m_w)->isVisible());
    QVERIFY(DataCombo1(m_w, 0)->isVisible());
    Check1(m_w, 0)->setChecked(false);
    QVERIFY(FraCD(m_w)->isVisible() && !FraKyoku(m_w)->isVisible());
    QVERIFY(!DataCombo1(m_w, 0)->isVisible());
    open();
    tick(4);
    QVERIFY(FraCD(m_w)->isVisible() && !FraKyoku(m_w)->isVisible());
    Check1(m_w, 4)->setChecked(false);
    QVERIFY(!FraCD(m_w)->isVisible() && FraKyoku(m_w)->isVisible());
    open();
    tick(10);
    tick(8);
    QVERIFY(!Check1(m_w, 8)->isChecked());
    QVERIFY(!DataCombo1(m_w, 8)->isVisible());
    QVERIFY(!FraCD(m_w)->isVisible());
    // an unticked value stays, hidden, and comes back with the tick
    open();
    tick(11);
    txtKyabinet(m_w)->setText("A");
    Check1(m_w, 11)->setChecked(false);
    QVERIFY(!txtKyabinet(m_w)->isVisible());
    tick(11);
    QCOMPARE(txtKyabinet(m_w)->text(), QString("A"));
}

void TestSearch::titleBoxCaretBetweenAsterisks()
{
    QApplication::setActiveWindow(m_w);
    open();
    tick(7);
    QVERIFY(Label1(m_w)->isVisible());
    QVERIFY(txtKyoku(m_w)->isVisible());
    QCOMPARE(txtKyoku(m_w)->cursorPosition(), 1);
    QTest::keyClicks(txtKyoku(m_w), "abc");
    QCOMPARE(txtKyoku(m_w)->text(), QString("*abc*"));
}

void TestSearch::refusals()
{
    MessageBoxAnswerer answers;
    const ViewPtr cds = db().cds();
    open();
    cmdFilter(m_w)->click();
    tick(7);
    cmdFilter(m_w)->click();
    txtKyoku(m_w)->clear();
    cmdFilter(m_w)->click();
    Check1(m_w, 7)->setChecked(false);
    tick(0);
    cmdFilter(m_w)->click();
    DataCombo1(m_w, 0)->setText("d'");
    cmdFilter(m_w)->click();
    open();
    tick(9);
    cmdFilter(m_w)->click();
    QCOMPARE(answers.texts,
             (QStringList{"検索条件が指定されていません！", "曲名の検索条件が指定されていません！",
                          "チェックしたところに、検索条件が指定されていません！",
                          "チェックしたところに、検索条件が指定されていません！",
                          // d' is a value, searched for as typed: no composer is called so
                          "該当するレコードはありません", "CD名の検索条件が指定されていません！"}));
    QCOMPARE(answers.titles.value(0), QString("Rondella"));
    QVERIFY(picTyuu(m_w)->isVisible()); // the panel stays open as it was
    QVERIFY(!isWaitShown());
    QCOMPARE(db().cds()->recordCount(), 5);
    QCOMPARE(DataGrid2(m_w)->caption(), QString("ALL"));
}

void TestSearch::songSearch()
{
    open();
    tick(0);
    DataCombo1(m_w, 0)->setText("ベートーヴェン");
    tick(7);
    txtKyoku(m_w)->setText("*第1楽章*");
    const int drops = MMCdrop(m_w)->timesPlayed();
    cmdFilter(m_w)->click();
    QCOMPARE(db().strCriteria(), QString("作曲者名 = 'ベートーヴェン' and 曲名 like '*第1楽章*'"));
    QVERIFY(m_w->blnKyokuSearch() && !m_w->blnCDSearch());
    QCOMPARE(db().songs()->recordCount(), 2);
    QCOMPARE(DataGrid1(m_w)->caption(), db().strCriteria());
    QCOMPARE(DataGrid2(m_w)->caption(), QString("右の曲を含むCD一覧（非連結）"));
    QCOMPARE(lblKyokudata(m_w)->text(), QString("曲検索中"));
    QCOMPARE(lblKyokudata(m_w)->palette().color(QPalette::WindowText), QColor(Qt::red));
    QCOMPARE(Line3(m_w)->borderStyle(), 1);
    QVERIFY(!picTyuu(m_w)->isVisible());
    QCOMPARE(MMCdrop(m_w)->timesPlayed(), drops + 1);
    QCOMPARE(DataGrid1(m_w)->dataSource(), db().songs());
    QCOMPARE(DataGrid2(m_w)->dataSource(), db().cdList());
    QVERIFY(DataGrid1(m_w)->isColumnVisible(0)); // the CD of each song is shown
    QCOMPARE(column(DataGrid2(m_w), 1), QStringList{fifth});
    QCOMPARE(lblRcount(m_w, 0)->text(), QString("2 / 8"));
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("1 / 5"));
    QCOMPARE(txtrs(m_w, 1)->text(), fifth);
    QCOMPARE(txtrs(m_w, 8)->text(), QString("交響曲第5番 第1楽章"));
    // the CD list's buttons walk the CDs; the song list stays
    cmdNext(m_w)->click();
    QCOMPARE(db().songs()->recordCount(), 2);
    // "CD名順" sorts the CD list in the unlinked view
    m_w->findChild<QAction*>("mnuCDs")->trigger();
    QCOMPARE(db().cdList()->sort(), QString("CD名 asc"));
    QCOMPARE(db().cds()->sort(), QString());
}

void TestSearch::cdSearch()
{
    QApplication::setActiveWindow(m_w);
    open();
    tick(4);
    DataCombo1(m_w, 4)->setText("ポリドール");
    tick(0); // a song box ticked meanwhile is ignored by a CD search once the CD frame is in use
    Check1(m_w, 0)->setChecked(false);
    tick(4);
    cmdFilter(m_w)->click();
    QCOMPARE(db().strCriteria(), QString("発売元 = 'ポリドール'"));
    QVERIFY(m_w->blnCDSearch() && !m_w->blnKyokuSearch());
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("3 / 5"));
    QCOMPARE(DataGrid2(m_w)->caption(), db().strCriteria());
    QCOMPARE(DataGrid1(m_w)->caption(), QString("左CDに含まれる曲"));
    QCOMPARE(lblCDdata(m_w)->text(), QString("ＣＤ検索中"));
    QCOMPARE(txtrs(m_w, 1)->text(), fifth);
    QCOMPARE(column(DataGrid1(m_w), 2),
             (QStringList{"交響曲第5番 第1楽章", "交響曲第5番 第2楽章", "交響曲第7番 第1楽章"}));
    QCOMPARE(lblRcount(m_w, 0)->text(), QString("3 / 8"));
    QVERIFY(!DataGrid1(m_w)->isColumnVisible(0));
    QTRY_VERIFY(cmdNext(m_w)->hasFocus());
}

void TestSearch::noMatchReturnsToAllData()
{
    MessageBoxAnswerer answers;
    open();
    tick(11);
    txtKyabinet(m_w)->setText("Z");
    cmdFilter(m_w)->click();
    QCOMPARE(answers.texts, QStringList{"該当するレコードはありません"});
    QCOMPARE(db().cds()->recordCount(), 5);
    QCOMPARE(db().cds()->filter(), QString());
    QCOMPARE(DataGrid2(m_w)->caption(), QString("ALL"));
    QCOMPARE(lblCDdata(m_w)->text(), QString("CDデータ"));
    QVERIFY(!m_w->blnCDSearch());
    QVERIFY(picTyuu(m_w)->isVisible());
    QVERIFY(Check1(m_w, 11)->isChecked());
    QCOMPARE(txtKyabinet(m_w)->text(), QString("Z"));
    // the same for a song search
    open();
    tick(0);
    DataCombo1(m_w, 0)->setText("バッハ");
    cmdFilter(m_w)->click();
    QCOMPARE(answers.texts.size(), 2);
    QCOMPARE(db().songs()->recordCount(), 8);
    QVERIFY(!db().cdList());
}

void TestSearch::narrowing()
{
    open();
    tick(5);
    DataCombo1(m_w, 5)->setText("交響曲");
    cmdFilter(m_w)->click();
    QCOMPARE(db().songs()->recordCount(), 6);
    QCOMPARE(column(DataGrid2(m_w), 0),
             (QStringList{"3", "1"})); // by first song; the orphan adds none
    m_w->findChild<QAction*>("mnuSibori")->trigger();
    QVERIFY(picTyuu(m_w)->isVisible());
    QVERIFY(Check1(m_w, 5)->isChecked());
    QCOMPARE(DataCombo1(m_w, 5)->text(), QString("交響曲"));
    tick(7);
    txtKyoku(m_w)->setText("*第1楽章*");
    cmdFilter(m_w)->click();
    QCOMPARE(db().strCriteria(), QString("分野 = '交響曲' and 曲名 like '*第1楽章*'"));
    QCOMPARE(db().songs()->recordCount(), 4);
    QCOMPARE(lblRcount(m_w, 0)->text(), QString("4 / 8"));
    // a CD box ticked while only the song frame is up is unticked and ignored
    m_w->findChild<QAction*>("mnuSibori")->trigger();
    tick(4);
    DataCombo1(m_w, 4)->setText("東芝EMI");
    QVERIFY(!FraCD(m_w)->isVisible());
    cmdFilter(m_w)->click();
    QVERIFY(!Check1(m_w, 4)->isChecked());
    QCOMPARE(db().strCriteria(), QString("分野 = '交響曲' and 曲名 like '*第1楽章*'"));
    QCOMPARE(db().songs()->recordCount(), 4);
}

void TestSearch::apostrophesAreSearchedLiterally()
{
    MessageBoxAnswerer answers;
    open();
    tick(0);
    DataCombo1(m_w, 0)->setText("ダンディ (d'Indy)");
    cmdFilter(m_w)->click();
    QCOMPARE(db().strCriteria(), QString("作曲者名 = 'ダンディ (d''Indy)'"));
    QCOMPARE(db().songs()->recordCount(), 2);
    QCOMPARE(DataGrid1(m_w)->caption(), db().strCriteria());
    m_w->findChild<QAction*>("mnuTyuu")->trigger();
    tick(3);
    DataCombo1(m_w, 3)->setText("ensemble l'arpeggiata");
    cmdFilter(m_w)->click();
    QCOMPARE(db().songs()->recordCount(), 1);
    open();
    tick(9);
    txtCDmei(m_w)->setText("*l'après-midi*");
    cmdFilter(m_w)->click();
    QCOMPARE(db().cds()->recordCount(), 1);
    QCOMPARE(txtrs(m_w, 1)->text(), faune);
    QCOMPARE(answers.texts, QStringList());
}

void TestSearch::orphanSongsStayListed()
{
    MessageBoxAnswerer answers;
    open();
    tick(0);
    DataCombo1(m_w, 0)->setText("チャイコフスキー");
    cmdFilter(m_w)->click();
    QCOMPARE(answers.texts, QStringList());
    QCOMPARE(db().songs()->recordCount(), 1); // the song of a deleted CD is still found
    QCOMPARE(db().cdList()->recordCount(), 0);
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("0 / 5"));
    QCOMPARE(txtrs(m_w, 8)->text(), QString("交響曲第6番 第1楽章"));
    QCOMPARE(txtrs(m_w, 1)->text(), QString());
}

void TestSearch::allSongsDisplay()
{
    open();
    tick(10);
    cmdFilter(m_w)->click();
    QVERIFY(!m_w->blnKyokuSearch() && !m_w->blnCDSearch());
    QCOMPARE(db().strCriteria(), QString());
    QCOMPARE(db().songs()->recordCount(), 8);
    QCOMPARE(column(DataGrid2(m_w), 0),
             (QStringList{"3", "1", "2", "4"})); // in the order songs occur
    QCOMPARE(DataGrid2(m_w)->caption(), QString("ALL（非連結）"));
    QCOMPARE(DataGrid1(m_w)->caption(), QString("ALL"));
    QCOMPARE(lblRcount(m_w, 0)->text(), QString("8 / 8"));
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("4 / 5"));
    QCOMPARE(lblKyokudata(m_w)->text(), QString("曲検索中"));
    // the unlinked test holds through the caption: the CD buttons move the CD list
    cmdLast(m_w)->click();
    QCOMPARE(db().cdList()->position(), 3);
    QCOMPARE(db().cds()->position(), 0);
    // right after a song search it lists that search's songs again
    m_w->findChild<QAction*>("mnuReset")->trigger();
    open();
    tick(0);
    DataCombo1(m_w, 0)->setText("ドビュッシー");
    cmdFilter(m_w)->click();
    m_w->findChild<QAction*>("mnuSibori")->trigger();
    tick(10);
    cmdFilter(m_w)->click();
    QCOMPARE(db().songs()->recordCount(), 1);
    QCOMPARE(column(DataGrid2(m_w), 0), QStringList{"2"});
}

// A CD search after a song search marks the CD header and leaves the song
// header and the rule as the song search left them; the window's rebuild
// (after an entry form) returns both headers and the rule to all data.
void TestSearch::headersFollowEachSearch()
{
    open();
    tick(0);
    DataCombo1(m_w, 0)->setText("ベートーヴェン");
    cmdFilter(m_w)->click();
    QCOMPARE(m_w->displayState(), DisplayState::SongSearch);
    QCOMPARE(Line3(m_w)->borderStyle(), 1);
    m_w->findChild<QAction*>("mnuTyuu")->trigger();
    tick(9);
    txtCDmei(m_w)->setText("*交響曲*");
    cmdFilter(m_w)->click();
    QCOMPARE(m_w->displayState(), DisplayState::CDSearch);
    QCOMPARE(lblCDdata(m_w)->text(), QString("ＣＤ検索中"));
    QCOMPARE(lblCDdata(m_w)->palette().color(QPalette::WindowText), QColor(Qt::red));
    QCOMPARE(lblKyokudata(m_w)->text(), QString("曲検索中"));
    QCOMPARE(Line3(m_w)->borderStyle(), 1);
    QCOMPARE(DataGrid2(m_w)->caption(), QString("CD名 like '*交響曲*'"));
    QCOMPARE(DataGrid2(m_w)->dataSource(), db().cds());
    m_w->reset();
    QCOMPARE(m_w->displayState(), DisplayState::AllData);
    QCOMPARE(lblCDdata(m_w)->text(), QString("CDデータ"));
    QCOMPARE(lblKyokudata(m_w)->text(), QString("曲データ"));
    QCOMPARE(lblKyokudata(m_w)->palette().color(QPalette::WindowText), QColor(Qt::blue));
    QCOMPARE(Line3(m_w)->borderStyle(), 3);
    QCOMPARE(DataGrid2(m_w)->caption(), QString("ALL"));
}

void TestSearch::resetRestoresAllData()
{
    open();
    tick(0);
    DataCombo1(m_w, 0)->setText("ベートーヴェン");
    cmdFilter(m_w)->click();
    m_w->findChild<QAction*>("mnuCDs")->trigger();
    m_w->findChild<QAction*>("mnuSibori")->trigger();
    tick(10);
    QVERIFY(!Check1(m_w, 0)->isChecked());
    writeCollection(m_folder->path(), {}, {song(fifth, 9, "交響曲第5番 第3楽章")});
    m_w->findChild<QAction*>("mnuReset")->trigger();
    QVERIFY(!db().cdList());
    QCOMPARE(db().strCriteria(), QString());
    QVERIFY(!m_w->blnCDSearch() && !m_w->blnKyokuSearch());
    QVERIFY(!Check1(m_w, 10)->isChecked());
    QVERIFY(FraCD(m_w)->isVisible()
            && !FraKyoku(m_w)->isVisible()); // nothing of the song frame ticked
    QCOMPARE(Line3(m_w)->borderStyle(), 3);
    QCOMPARE(DataGrid2(m_w)->dataSource(), db().cds());
    QCOMPARE(DataGrid1(m_w)->dataSource(), db().songsOfCD());
    QCOMPARE(DataGrid2(m_w)->caption(), QString("ALL"));
    QCOMPARE(DataGrid1(m_w)->caption(), QString("左CDに含まれる曲"));
    QCOMPARE(lblKyokudata(m_w)->text(), QString("曲データ"));
    QCOMPARE(lblKyokudata(m_w)->palette().color(QPalette::WindowText), QColor(Qt::blue));
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("5 / 5"));
    QCOMPARE(lblRcount(m_w, 0)->text(), QString("4 / 9")); // requeried: the new song is there
    QCOMPARE(m_w->windowTitle(), QString("Rondella"));
    QVERIFY(!DataGrid1(m_w)->isColumnVisible(0));
    // after an all-songs display straight after a reset, the CD list stays open
    m_w->findChild<QAction*>("mnuTyuu")->trigger();
    tick(10);
    cmdFilter(m_w)->click();
    const ViewPtr list = db().cdList();
    m_w->findChild<QAction*>("mnuReset")->trigger();
    QVERIFY(db().cdList() == list && list->isOpen());
    QCOMPARE(DataGrid2(m_w)->caption(), QString("ALL"));
}

void TestSearch::imageButtons()
{
    MessageBoxAnswerer answers;
    open();
    tick(0);
    QTest::mouseClick(imgSibori(m_w), Qt::LeftButton);
    QCOMPARE(answers.texts,
             (QStringList{"チェックしたところに、検索条件が指定されていません！",
                          "チェックしたところに、検索条件が指定されていません！"}));
    DataCombo1(m_w, 0)->setText("ドビュッシー");
    QTest::mouseClick(imgTyu(m_w), Qt::LeftButton);
    QCOMPARE(db().songs()->recordCount(), 1);
    m_w->findChild<QAction*>("mnuSibori")->trigger();
    QTest::mouseClick(imgReset(m_w), Qt::LeftButton); // clears the panel only
    QVERIFY(!Check1(m_w, 0)->isChecked());
    QCOMPARE(db().songs()->recordCount(), 1);
    QTest::mouseClick(imgClose(m_w), Qt::LeftButton);
    QVERIFY(!picTyuu(m_w)->isVisible());
    QVERIFY(!cmdFilter(m_w)->property("default").toBool());
    QVERIFY(imgTyu(m_w)->geometry().intersected(imgSibori(m_w)->geometry()).isEmpty());
}

void TestSearch::enterOnlyWhileDefault()
{
    open();
    tick(0);
    DataCombo1(m_w, 0)->setText("ドビュッシー");
    QTest::mouseClick(imgClose(m_w), Qt::LeftButton);
    m_w->findChild<QAction*>("mnuSibori")->trigger();
    QTest::keyClick(DataCombo1(m_w, 0)->lineEdit(), Qt::Key_Return);
    QVERIFY(!m_w->blnKyokuSearch());
    QCOMPARE(db().songs()->recordCount(), 8);
    open();
    tick(0);
    DataCombo1(m_w, 0)->setText("ドビュッシー");
    QTest::keyClick(DataCombo1(m_w, 0)->lineEdit(), Qt::Key_Return);
    QVERIFY(m_w->blnKyokuSearch());
    QCOMPARE(db().songs()->recordCount(), 1);
}

void TestSearch::pendingEditIsRefused()
{
    MessageBoxAnswerer answers;
    db().cds()->setValue("段", "9");
    open();
    tick(4);
    DataCombo1(m_w, 4)->setText("ポリドール");
    cmdFilter(m_w)->click();
    QCOMPARE(answers.texts, QStringList{"データの更新を解除してください！"});
    QVERIFY(!isWaitShown());
    db().cds()->cancelUpdate();
}

void TestSearch::toolbarAndMenuSound()
{
    const int sounds = MMCdialog(m_w)->timesPlayed();
    emit m_w->findChild<QMenu*>("mnuSearch")->aboutToShow();
    QCOMPARE(MMCdialog(m_w)->timesPlayed(), sounds + 1);
    tbToolBar(m_w)->findChild<QAction*>("抽出")->trigger();
    QVERIFY(picTyuu(m_w)->isVisible());
    tick(12);
    txtDan(m_w)->setText("1");
    cmdFilter(m_w)->click();
    QCOMPARE(db().cds()->recordCount(), 1);
    tbToolBar(m_w)->findChild<QAction*>("絞り込み抽出")->trigger();
    QVERIFY(picTyuu(m_w)->isVisible() && Check1(m_w, 12)->isChecked());
    tbToolBar(m_w)->findChild<QAction*>("リセット")->trigger();
    QCOMPARE(db().cds()->recordCount(), 5);
}

void TestSearch::unloadAfterSearchResetsFirst()
{
    open();
    tick(0);
    DataCombo1(m_w, 0)->setText("ドビュッシー");
    cmdFilter(m_w)->click();
    QVERIFY(m_w->blnKyokuSearch());
    QPointer<frmMain> w = m_w;
    MessageBoxAnswerer answers;
    closeMain(m_w);
    QVERIFY(!w);
    QVERIFY(!db().isOpen() && !db().cdList());
    QCOMPARE(answers.texts, QStringList());
}

void TestSearch::jacketFollowsTheCDList()
{
    QDir(m_folder->path()).mkdir("jacket");
    QImage wide(60, 30, QImage::Format_RGB32);
    wide.fill(Qt::red);
    QVERIFY(wide.save(m_folder->file("jacket/3.jpg"), "JPG"));
    QImage tall(30, 60, QImage::Format_RGB32);
    tall.fill(Qt::blue);
    QVERIFY(tall.save(m_folder->file("jacket/1.jpg"), "JPG"));
    open();
    tick(5);
    DataCombo1(m_w, 5)->setText("交響曲");
    cmdFilter(m_w)->click();
    QCOMPARE(txtrs(m_w, 0)->text(), QString("3"));
    QCOMPARE(picCDphoto(m_w)->pixmap().size(), QSize(60, 30));
    cmdNext(m_w)->click();
    QCOMPARE(txtrs(m_w, 0)->text(), QString("1"));
    QCOMPARE(picCDphoto(m_w)->pixmap().size(), QSize(30, 60));
}

void TestSearch::moreThan32767CDsInOneResult()
{
    closeMain(m_w);
    m_folder.reset(); // gives the current folder back before the next one takes it
    m_folder = std::make_unique<StartupFolder>();
    QVector<QVariantMap> cds, songs;
    const int n = 33000;
    for (int i = 1; i <= n; ++i) {
        const QString title = QString("CD %1").arg(i);
        cds << cd(i, title);
        songs << song(title, i, QString("曲 %1").arg(i), {{"分野", "交響曲"}});
    }
    writeCollection(m_folder->path(), cds, songs);
    m_w = startMain();
    MessageBoxAnswerer answers;
    open();
    tick(5);
    DataCombo1(m_w, 5)->setText("交響曲");
    cmdFilter(m_w)->click();
    QCOMPARE(answers.texts, QStringList());
    QCOMPARE(db().cdList()->recordCount(), n);
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("33000 / 33000"));
    db().cdList()->moveLast();
    QCOMPARE(db().cdList()->value("CDID").toInt(), n);
}

// Ticking any box of one frame hides the other frame and shows the box's
// input; unticking the last of the frame's boxes brings the other frame back.
void TestSearch::everyBoxSwitchesFrames_data()
{
    QTest::addColumn<int>("box");
    QTest::addColumn<bool>("songFrame");
    for (int i : {0, 1, 2, 3, 5, 7, 8})
        QTest::addRow("song box %d", i) << i << true;
    for (int i : {4, 6, 9, 11, 12})
        QTest::addRow("CD box %d", i) << i << false;
}

void TestSearch::everyBoxSwitchesFrames()
{
    QFETCH(int, box);
    QFETCH(bool, songFrame);
    open();
    tick(box);
    QCOMPARE(FraKyoku(m_w)->isVisible(), songFrame);
    QCOMPARE(FraCD(m_w)->isVisible(), !songFrame);
    QWidget* input = box == 7 ? txtKyoku(m_w)
        : box == 9            ? txtCDmei(m_w)
        : box == 11           ? txtKyabinet(m_w)
        : box == 12           ? static_cast<QWidget*>(txtDan(m_w))
                              : DataCombo1(m_w, box);
    QVERIFY(input->isVisible());
    Check1(m_w, box)->setChecked(false);
    QVERIFY(!input->isVisible());
    QCOMPARE(FraKyoku(m_w)->isVisible(), !songFrame);
    QCOMPARE(FraCD(m_w)->isVisible(), songFrame);
}

// A ticked box left empty, then CLOSE: the window goes on showing all data,
// and both "＞" buttons move the lists they show.
void TestSearch::refusedSearchLeavesTheWindowAsItWas()
{
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    open();
    tick(0); // 作曲者名, song frame, left empty
    cmdFilter(m_w)->click();
    QCOMPARE(MsgBoxTakeAnswered().value(0).text,
             QString("チェックしたところに、検索条件が指定されていません！"));
    imgClose(m_w)->clicked();
    QCOMPARE(m_w->displayState(), DisplayState::AllData);
    QVERIFY(!m_w->blnKyokuSearch() && !m_w->blnCDSearch());
    QCOMPARE(DataGrid2(m_w)->dataSource(), db().cds());
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    cmdNext(m_w)->click();
    QCOMPARE(MsgBoxTakeAnswered().size(), 0);
    QCOMPARE(MsgBoxPendingAnswers(), 1);
    MsgBoxSetNextAnswers({});
    QCOMPARE(db().cds()->position(), 1);
    cmdTop(m_w)->click();
    cmdRightSub(m_w)->click();
    QCOMPARE(txtrs(m_w, 21)->text(), QString("3")); // the second song of the first CD
    // a CD search refused in the same way keeps a song search on show
    open();
    tick(0);
    DataCombo1(m_w, 0)->setText("ベートーヴェン");
    cmdFilter(m_w)->click();
    QCOMPARE(m_w->displayState(), DisplayState::SongSearch);
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    open();
    tick(9);
    cmdFilter(m_w)->click(); // CD名 left as "**"
    QCOMPARE(MsgBoxTakeAnswered().value(0).text, QString("CD名の検索条件が指定されていません！"));
    QCOMPARE(m_w->displayState(), DisplayState::SongSearch);
    QCOMPARE(DataGrid1(m_w)->dataSource(), db().songs());
}

// Songs belong to a CD by its title: two CDs of one title both hold its
// songs. The list shows each CD once, in the order the songs are found, and
// a song of no CD adds nothing.
void TestSearch::cdListHoldsEveryNamesakeOnceInSongOrder()
{
    closeMain(m_w);
    const QString bach = "バッハ：ゴルトベルク変奏曲";
    writeCollection(m_folder->path(),
                    {cd(6, bach, {{"購入価格", 1800}}), cd(7, "ショパン：夜想曲集"), cd(8, bach)},
                    {song("消えたCD", 10, "孤児の曲", {{"分野", "器楽"}}),
                     song("ショパン：夜想曲集", 11, "夜想曲第1番", {{"分野", "器楽"}}),
                     song(bach, 12, "アリア", {{"分野", "器楽"}}),
                     song("ショパン：夜想曲集", 13, "夜想曲第2番", {{"分野", "器楽"}}),
                     song("ショパン：夜想曲集", 14, "夜想曲第3番", {{"分野", "器楽"}})});
    m_w = startMain();
    db().songs()->setFilter(Criteria().equals("分野", "器楽"));
    db().ListCDsOfSongs();
    const ViewPtr list = db().cdList();
    QStringList ids;
    for (int r = 0; r < list->recordCount(); ++r)
        ids << list->valueAt(r, 0).toString();
    QCOMPARE(ids, (QStringList{"7", "6", "8"}));
    QCOMPARE(list->valueAt(1, 3).toString(), QString("1800"));
    // the window shows the same list after a song search
    open();
    tick(5);
    DataCombo1(m_w, 5)->setText("器楽");
    cmdFilter(m_w)->click();
    QCOMPARE(column(DataGrid2(m_w), 0), (QStringList{"7", "6", "8"}));
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("3 / 8"));
    // and the all-songs display after a reset lists every CD that holds a song
    m_w->findChild<QAction*>("mnuReset")->trigger();
    open();
    tick(10);
    cmdFilter(m_w)->click();
    QCOMPARE(m_w->displayState(), DisplayState::AllSongs);
    QCOMPARE(column(DataGrid2(m_w), 0).size(), 7);
    QVERIFY(column(DataGrid2(m_w), 0).contains("8"));
}

void TestSearch::resetClearsTheSongSort()
{
    open();
    tick(10);
    cmdFilter(m_w)->click();
    m_w->findChild<QAction*>("mnuKyokuS")->trigger();
    QVERIFY(!db().songs()->sort().isEmpty());
    m_w->findChild<QAction*>("mnuReset")->trigger();
    QVERIFY(db().songs()->sort().isEmpty());
    QVERIFY(db().songsOfCD()->sort().isEmpty());
    QVERIFY(!mnuKyokuS(m_w)->isChecked());
    QStringList ids;
    for (int r = 0; r < db().songs()->recordCount(); ++r)
        ids << db().songs()->valueAt(r, db().songs()->fieldIndex("曲ID")).toString();
    QCOMPARE(ids, (QStringList{"1", "2", "3", "4", "5", "6", "7", "8"}));
}

// The criteria text alone, without a window: boxes in index order, quotes
// doubled, and the refusals in the order the panel gives them.
void TestSearch::criteriaFromTickedBoxes()
{
    using search::buildCriteria;
    QCOMPARE(buildCriteria({{7, "*第9番*"}, {0, "ダンディ (d'Indy)"}}).text,
             QString("曲名 like '*第9番*' and 作曲者名 = 'ダンディ (d''Indy)'"));
    QCOMPARE(buildCriteria({{0, "d'"}}).text, QString("作曲者名 = 'd'''"));
    QCOMPARE(buildCriteria({{0, ""}, {7, "**"}}).refusal,
             QString("曲名の検索条件が指定されていません！"));
    QCOMPARE(buildCriteria({{9, "**"}}).refusal, QString("CD名の検索条件が指定されていません！"));
    QCOMPARE(buildCriteria({{4, "東芝EMI"}, {12, ""}}).refusal,
             QString("チェックしたところに、検索条件が指定されていません！"));
    QCOMPARE(buildCriteria({}).refusal, QString("検索条件が指定されていません！"));
    QCOMPARE(buildCriteria({{10, ""}}).refusal, QString("検索条件が指定されていません！"));
    // the text the view reads back finds the composer with the apostrophe
    db().songs()->setFilter(buildCriteria({{0, "ダンディ (d'Indy)"}}).criteria);
    QCOMPARE(db().songs()->filter(), QString("作曲者名 = 'ダンディ (d''Indy)'"));
    QCOMPARE(db().songs()->recordCount(), 2);
}

RONDELLA_TEST_MAIN(TestSearch)
#include "tst_search.moc"
