// The main window: what it shows at the start and of an unusable file, the
// buttons and commands, the sorts and the reset, the grids' widths, the
// window's size and place.
#include "entry/frminputcd.h"
#include "mainui.h"
#include "store/batch.h"
#include "testsupport.h"
#include "widgets/settings.h"
#include "widgets/twips.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>

namespace {

const QString fifth = u"ベートーヴェン：交響曲第5番「運命」"_s;
const QString pathetique = u"チャイコフスキー：交響曲第6番「悲愴」"_s;

void clickRow(DataGrid* grid, int row)
{
    QTableView* table = grid->table();
    const QRect cell = table->visualRect(table->model()->index(row, 2));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
}

} // namespace

class TestMainWindow : public MainWindowTest {
    Q_OBJECT
private slots:
    void init();
    void startShowsAllDataMovesAndSorts();
    void unusableFileOpensWindowWithoutData_data();
    void unusableFileOpensWindowWithoutData();
    void columnWidths();
    void windowSizePlaceAndQuit();
    void undoFromTheMenuAndTheHistory();
    void starsByKeyAndSortedByTheirHeading();
    void lentFromTheMenuListedAndGivenBack();
    void wishesFoundBesideQuickFindAndBought();
    void batchOnTheRowsChosenWithCtrl();
    void duplicatesMergedAndKeptFromTheirWindow();
};

void TestMainWindow::init()
{
    MainWindowTest::init();
    writeCollection(m_folder->path(),
                    {cd(1, fifth,
                        {{u"購入価格"_s, 3000},
                         {u"購入年月日"_s, QDate(1989, 4, 15)},
                         {u"解説者"_s, u"石川道雄"_s}}),
                     cd(2, u"ブルックナー：交響曲第8番"_s, {{u"購入価格"_s, 1234567}}),
                     cd(3, pathetique, {{u"購入価格"_s, 0}})},
                    {song(fifth, 1, u"第1楽章"_s, {{u"作曲者名"_s, u"ベートーヴェン"_s}}),
                     song(fifth, 2, u"第2楽章"_s), song(fifth, 3, u"第3楽章"_s),
                     song(pathetique, 5, u"アダージョ"_s), song(pathetique, 4, u"ワルツ"_s)});
}

// The start shows all data, the first CD and its first song. The buttons
// move through the CDs and their songs and a click on a row makes it current;
// where there is nothing to move through, the user is told.
void TestMainWindow::startShowsAllDataMovesAndSorts()
{
    frmMain* w = start();
    QCOMPARE(db().strAppPath() + w->windowTitle(), m_folder->path() + u"Rondella"_s);
    QCOMPARE(shows(w), u"CDデータ | 曲データ | ALL | 左CDに含まれる曲 | 3 / 3 | 3 / 5"_s);
    QStringList panel;
    for (int i = 0; i < 22; ++i)
        panel << txtrs(w, i)->text();
    QCOMPARE(panel.join(u'|'),
             u"1|"_s + fifth
                 + u"||1989/04/15|\u00A53,000|石川道雄|||第1楽章|ベートーヴェン||||||||||||1"_s);
    // the grid groups a price without a sign
    QCOMPARE(DataGrid2(w)->text(1, 3) + u' ' + DataGrid2(w)->text(2, 3), u"1,234,567 0"_s);
    MessageBoxAnswerer answers;
    cmdNext(w)->click(); // CD 2 has no songs
    cmdRightSub(w)->click();
    QCOMPARE(answers.texts, QStringList{u"データがありません"_s});
    cmdLast(w)->click();
    cmdLastsub(w)->click();
    cmdLeftSub(w)->click();
    QCOMPARE(txtrs(w, 0)->text() + txtrs(w, 8)->text(), u"3ワルツ"_s); // 曲ID 4 before 5
    QAbstractItemModelTester tester(DataGrid1(w)->table()->model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    clickRow(DataGrid2(w), 0);
    clickRow(DataGrid1(w), 1);
    QCOMPARE(txtrs(w, 0)->text() + txtrs(w, 8)->text(), u"1第2楽章"_s);
    // the sort commands, named in the title
    trigger(w, u"mnuCDs"_s);
    QCOMPARE(w->windowTitle() + DataGrid2(w)->text(0, 1), u"Rondella(CD名順モード)"_s + pathetique);
    trigger(w, u"mnuKyokuS"_s); // the songs of the current CD, by title
    QCOMPARE(w->windowTitle() + DataGrid1(w)->text(0, 2),
             u"Rondella(CD名順＋曲名順モード)アダージョ"_s);
    trigger(w, u"mnuReset"_s);
    QCOMPARE(w->windowTitle() + DataGrid2(w)->text(0, 0), u"Rondella1"_s);
    QVERIFY(!mnuCDs(w)->isChecked() && !mnuKyokuS(w)->isChecked());
    trigger(w, u"mnuKyokuS"_s);
    QCOMPARE(w->windowTitle(), u"Rondella(曲名順モード)"_s);
}

void TestMainWindow::unusableFileOpensWindowWithoutData_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("cause");
    QTest::newRow("a letter") << "This is a letter."_ba
                              << u"データベースのファイルではありません"_s;
    QTest::newRow("empty file") << QByteArray() << u"テーブル「cdname」がありません"_s;
    // a real database whose header says there are more pages than the file holds
    StartupFolder other;
    writeCollection(other.path(), {cd(1, u"a"_s)}, {song(u"a"_s, 1, QString(5000, u'x'))});
    const QByteArray whole = bytesOf(other.file(u"cdkaisou.db"_s));
    QTest::newRow("cut short") << whole.left(whole.size() / 2 + 100) << u"壊れています"_s;
}

void TestMainWindow::unusableFileOpensWindowWithoutData()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, cause);
    const QString file = m_folder->file(u"cdkaisou.db"_s);
    QVERIFY(writeBytes(file, content));
    MessageBoxAnswerer answers;
    QVERIFY(start() && m_w->isVisible() && DataGrid2(m_w)->table()->model()->rowCount() == 0);
    QVERIFY2(answers.texts.size() == 1 && answers.texts[0].contains(file)
                 && answers.texts[0].contains(cause) && answers.titles[0] == u"Rondella",
             qPrintable(answers.texts.join(u'\n')));
    // Esc in quick find opens the file anew, and runs no search once the typing pauses
    typeKeys(named<QLineEdit>(m_w, u"txtQuickFind"_s), u"東芝"_s);
    QTest::keyClick(named<QLineEdit>(m_w, u"txtQuickFind"_s), Qt::Key_Escape);
    QTest::qWait(250);
    cmdNext(m_w)->click(); // nothing to move: a message, no crash
    closeMain(m_w); // asks nothing more, and leaves the file as it was
    QVERIFY2(answers.texts.size() == 3, qPrintable(answers.texts.join(u'\n')));
    QCOMPARE(bytesOf(file), content);
}

// A width the user drags stays for that grid and display state, across other
// rows, a reset and a restart, until 列幅を元に戻す gives the design back. In
// a wide window CD名 and 曲名 take what the other columns leave, and never
// less than their designed widths.
void TestMainWindow::columnWidths()
{
    frmMain* w = start();
    QHeaderView* cds = DataGrid2(w)->table()->horizontalHeader();
    QHeaderView* songs = DataGrid1(w)->table()->horizontalHeader();
    cds->resizeSection(3, 222); // as drags do
    songs->resizeSection(2, 77);
    cmdNext(w)->click();
    trigger(w, u"mnuReset"_s);
    QCOMPARE((QList<int>{cds->sectionSize(3), songs->sectionSize(2)}), (QList<int>{222, 77}));
    named<QAction>(songs, u"mnuColumnWidthReset"_s)->trigger();
    QCOMPARE(songs->sectionSize(2), twips(3240));
    closeMain(w);
    cds = DataGrid2(start())->table()->horizontalHeader();
    QCOMPARE(cds->sectionSize(3), 222);
    named<QAction>(cds, u"mnuColumnWidthReset"_s)->trigger();
    closeMain(m_w);
    w = start();
    QCOMPARE(DataGrid2(w)->table()->columnWidth(3), twips(1000));
    w->showNormal();
    w->resize(3000, 1000);
    QCoreApplication::processEvents();
    for (auto [grid, title, designed] :
         {std::tuple{DataGrid2(w), 1, 2000}, std::tuple{DataGrid1(w), 2, 3240}}) {
        QTableView* table = grid->table();
        QVERIFY(table->columnWidth(title) > twips(designed));
        QCOMPARE(table->horizontalHeader()->length(), table->viewport()->width());
    }
    QTableView* table = DataGrid2(w)->table();
    const int others = DataGrid2(w)->width() - table->columnWidth(1);
    for (int room = 20; room < twips(2000); room += 25) {
        DataGrid2(w)->resize(others + room, DataGrid2(w)->height());
        QCoreApplication::processEvents();
        QCOMPARE(table->columnWidth(1), twips(2000));
    }
}

// Maximised at the first start; smaller than the design the content scrolls;
// larger, the grids take the room and what stands below them moves down. 終了
// lets go of everything. Size and place come back at the next start; a place
// on no screen, or with too little of it on one to grab, gives the first start's.
void TestMainWindow::windowSizePlaceAndQuit()
{
    frmMain* w = start();
    QVERIFY(w->isMaximized() && w->screen()->availableGeometry().contains(w->frameGeometry()));
    auto* scroll = named<QScrollArea>(w, u"clientScroll"_s);
    w->showNormal();
    w->resize(600, 400);
    QTRY_VERIFY(scroll->verticalScrollBar()->maximum() > 0);
    w->resize(twips(15400) + 700, twips(10560) + 400 + w->menuBar()->height());
    QTRY_VERIFY(DataGrid1(w)->width() > twips(8190));
    const int songExtra = DataGrid1(w)->width() - twips(8190);
    const int extraH = DataGrid1(w)->height() - twips(4995);
    QVERIFY(extraH > 0 && extraH != songExtra && DataGrid2(w)->width() > twips(6330));
    QCOMPARE(cmdNext(w)->y() - extraH, twips(9480));
    QCOMPARE(scroll->verticalScrollBar()->maximum(), 0);
    w->setGeometry(40, 50, 700, 500);
    QCoreApplication::processEvents();
    trigger(w, u"mnuQuit"_s);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!m_w && !db().isOpen() && !db().cds() && !db().songs() && !db().songsOfCD());
    for (QWidget* top : QApplication::topLevelWidgets())
        QVERIFY2(!top->isVisible(), qPrintable(top->objectName()));
    QVERIFY(start()->geometry() == QRect(40, 50, 700, 500) && !m_w->isMaximized());
    const int right = QGuiApplication::primaryScreen()->availableGeometry().right();
    for (const QRect& place : {QRect(9000, 9000, 700, 500), QRect(right - 50, 50, 700, 500)}) {
        closeMain(m_w);
        userSettings()->setValue(u"window/geometry"_s, place);
        userSettings()->setValue(u"window/maximized"_s, false);
        QVERIFY(start()->isMaximized());
    }
}

// Ctrl+Z takes the last change back and the window shows what a closed
// entry form shows; the history lists it, and refuses to take it back twice.
void TestMainWindow::undoFromTheMenuAndTheHistory()
{
    frmMain* w = start();
    db().cds()->moveLast();
    db().DeleteCurrentCD(); // with its two songs
    QApplication::setActiveWindow(w); // the keys of the window's commands
    QTest::keyClick(cmdNext(w), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(lblRcount(w, 3)->text() + u' ' + lblRcount(w, 0)->text() + txtrs(w, 1)->text(),
             u"3 / 3 2 / 5"_s + pathetique);
    trigger(w, u"mnuHistory"_s);
    auto* grid = named<QTableWidget>(w, u"grdHistory"_s);
    QCOMPARE(grid->item(0, 1)->text() + grid->item(0, 3)->text(), u"CDの削除元に戻した"_s);
    MessageBoxAnswerer answers;
    QTest::mouseClick(named<QPushButton>(w, u"cmdUndoChange"_s), Qt::LeftButton);
    QCOMPARE(answers.texts, QStringList{u"その変更はすでに元に戻してあります。"_s});
    QApplication::setActiveWindow(w);
    QTest::keyClick(cmdNext(w), Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(lblRcount(w, 3)->text() + grid->item(0, 3)->text(), u"2 / 2"_s);
}

// The keys 0 to 5 give the grid's current row its stars, shown in the grid's
// last column; a click on that heading lists the most stars first.
void TestMainWindow::starsByKeyAndSortedByTheirHeading()
{
    frmMain* w = start();
    DataGrid* cds = DataGrid2(w);
    DataGrid* songs = DataGrid1(w);
    const int stars = cds->model()->outerColumn(u"評価"_s);
    clickRow(cds, 2);
    QTest::keyClick(cds->table(), Qt::Key_4);
    clickRow(cds, 0);
    QTest::keyClick(cds->table(), Qt::Key_2, Qt::KeypadModifier);
    clickRow(songs, 1);
    for (const Qt::Key key : {Qt::Key_5, Qt::Key_0, Qt::Key_3})
        QTest::keyClick(songs->table(), key);
    QTest::keyClick(songs->table(), Qt::Key_1, Qt::ShiftModifier); // not a rating
    const int songStars = songs->model()->outerColumn(u"評価"_s);
    QCOMPARE(cds->model()->headerData(stars, Qt::Horizontal).toString() + cds->text(0, stars) + u'|'
                 + cds->text(1, stars) + u'|' + cds->text(2, stars) + u'|'
                 + songs->text(1, songStars) + songs->text(0, songStars),
             u"評価★★||★★★★|★★★"_s);
    QHeaderView* heading = cds->table()->horizontalHeader();
    QTest::mouseClick(heading->viewport(), Qt::LeftButton, {},
                      QPoint(heading->sectionViewportPosition(stars) + 4, 4));
    const int title = cdnameTable().indexOf(u"CD名"_s);
    QCOMPARE(cds->text(0, title) + u'|' + cds->text(1, title) + u'|' + cds->text(2, title),
             pathetique + u'|' + fifth + u"|ブルックナー：交響曲第8番"_s);
}

// 貸す lends the CD the grid stands on, and the grid says to whom and how
// late in words; a CD out is refused in the form, which stays open with what
// was typed; the list puts the overdue first and gives one back.
void TestMainWindow::lentFromTheMenuListedAndGivenBack()
{
    frmMain* w = start();
    DataGrid* cds = DataGrid2(w);
    const QDate today = QDate::currentDate();
    db().Lend(loans::lending(3, u"佐藤"_s, today.addDays(-30), today.addDays(-2)));
    clickRow(cds, 0);
    QStringList said;
    for (const QString& who : {u"山田"_s, u"鈴木"_s}) {
        QTRY_VERIFY(!w->findChild<QDialog*>(u"frmLoan"_s)); // the last one gone
        trigger(w, u"mnuLend"_s);
        auto* form = named<QDialog>(w, u"frmLoan"_s);
        named<QLineEdit>(form, u"txtLoanTo"_s)->insert(who); // as typed: no keys for kanji
        MessageBoxAnswerer answers;
        QTest::mouseClick(named<QPushButton>(form, u"cmdLend"_s), Qt::LeftButton);
        said << answers.texts << QString::number(form->isVisible());
    }
    QCOMPARE(
        said,
        (QStringList{u"0"_s, u"このCDは 山田 さんに貸出中です（何も変更していません）"_s, u"1"_s}));
    const int out = cds->model()->outerColumn(u"貸出"_s);
    QCOMPARE(cds->model()->headerData(out, Qt::Horizontal).toString() + cds->text(0, out) + u'|'
                 + cds->text(1, out) + u'|' + cds->text(2, out),
             u"貸出山田||佐藤（2日遅れ）"_s);
    trigger(w, u"mnuLoans"_s);
    auto* list = named<QTableWidget>(w, u"grdLoans"_s);
    QCOMPARE(list->item(0, 0)->text() + list->item(0, 4)->text() + list->item(1, 1)->text(),
             pathetique + u"2日遅れ山田"_s);
    QTest::mouseClick(named<QPushButton>(w, u"cmdReturn"_s), Qt::LeftButton);
    QCOMPARE(list->rowCount() + cds->text(2, out).size(), 1);
    QCOMPARE(db().History().first().kind, u"返却"_s);
}

// Quick find says how many wishes its words find and opens them found; 買った
// takes the wish into the CD form filled in, and the wish goes once the CD is
// stored.
void TestMainWindow::wishesFoundBesideQuickFindAndBought()
{
    frmMain* w = start();
    db().AddWish(wishes::fromTexts({u"マーラー：交響曲第9番"_s,
                                    {},
                                    u"バーンスタイン"_s,
                                    u"UCCG-1234"_s,
                                    u"タワー渋谷"_s,
                                    u"2500"_s,
                                    u"帯付き"_s}));
    db().AddWish(wishes::fromTexts({u"ブルックナー：交響曲第7番"_s,
                                    u"ブルックナー"_s,
                                    u"バーンスタイン"_s,
                                    {},
                                    {},
                                    u"2500"_s}));
    typeKeys(named<QLineEdit>(w, u"txtQuickFind"_s), u"ばーんすたいん 9番"_s);
    auto* found = named<QToolButton>(w, u"cmdWishesFound"_s);
    QTRY_COMPARE(found->text(), u"欲しいもの 1件"_s);
    QVERIFY(found->isVisible());
    // the count follows a wish added while the words stay, and its undo
    db().AddWish(wishes::fromTexts({u"マーラー：交響曲第9番 (SACD)"_s, {}, u"バーンスタイン"_s}));
    QCOMPARE(found->text(), u"欲しいもの 2件"_s);
    db().Undo();
    QCOMPARE(found->text(), u"欲しいもの 1件"_s);
    QTest::mouseClick(found, Qt::LeftButton);
    auto* list = named<QTableWidget>(w, u"grdWishes"_s);
    QCOMPARE(list->rowCount(), 1);
    list->selectRow(0);
    QStringList filledIn;
    QTimer::singleShot(0, [&filledIn] {
        auto* form = qobject_cast<frmInputCD*>(QApplication::activeModalWidget());
        QVERIFY(form);
        for (int box : {1, 3, 4})
            filledIn << form->txtInput(box)->text();
        filledIn << form->txtMemo->toPlainText();
        form->cmdUpdate->click();
        form->cmdQuit->click();
    });
    MessageBoxAnswerer answers;
    QTest::mouseClick(named<QPushButton>(w, u"cmdBought"_s), Qt::LeftButton);
    QCOMPARE(
        filledIn,
        (QStringList{
            u"マーラー：交響曲第9番"_s, QDate::currentDate().toString(u"yyyy/MM/dd"_s), u"2500"_s,
            u"演奏者：バーンスタイン\n原盤番号：UCCG-1234\n見た場所：タワー渋谷\n帯付き"_s}));
    QCOMPARE(db().Notes().values(), QList<QString>{filledIn.last()});
    QCOMPARE(db().Wishes().size() + db().CDNameCount(u"マーラー：交響曲第9番"_s), 2);
    QCOMPARE(db().Wishes().first().title, u"ブルックナー：交響曲第7番"_s);
    // words no wish holds say so too: not owned, not wished for, one look
    auto* quickFind = named<QLineEdit>(w, u"txtQuickFind"_s);
    quickFind->clear();
    typeKeys(quickFind, u"ないもの"_s);
    QAction* shown = named<QAction>(w, u"cmdWishesFoundAction"_s);
    QTRY_VERIFY(shown->isVisible());
    QCOMPARE(found->text(), u"欲しいもの 0件"_s);
    // a CD already stored, corrected from that form, is not the one bought
    QTimer::singleShot(0, [] {
        auto* form = qobject_cast<frmInputCD*>(QApplication::activeModalWidget());
        QVERIFY(form);
        MessageBoxAnswerer yes(QMessageBox::Yes);
        form->cmdCancel->click();
        form->cmdFirst->click();
        form->cmdTeisei->click();
        form->txtInput(4)->setText(u"3000"_s);
        form->cmdUpdate->click();
        form->cmdQuit->click();
    });
    named<QLineEdit>(w, u"txtWishFind"_s)->clear();
    list->selectRow(0);
    QTest::mouseClick(named<QPushButton>(w, u"cmdBought"_s), Qt::LeftButton);
    QCOMPARE(readColumn(m_folder->path(), u"cdname"_s, u"購入価格"_s).value(0).toDouble(), 3000.0);
    QCOMPARE(db().Wishes().size(), 1);
}

// Songs chosen with Ctrl are what 一括変更 offers; its preview counts what
// changes, and the change is made once asked for.
void TestMainWindow::batchOnTheRowsChosenWithCtrl()
{
    frmMain* w = start();
    DataGrid* songs = DataGrid1(w);
    clickRow(songs, 0);
    QTableView* table = songs->table();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      table->visualRect(table->model()->index(2, 2)).center());
    QStringList shown;
    QTimer::singleShot(0, [&shown] {
        QWidget* form = QApplication::activeModalWidget();
        named<QComboBox>(form, u"cboBatchField"_s)->setCurrentText(u"演奏団体"_s);
        named<QLineEdit>(form, u"txtBatchValue"_s)->setText(u"BPO"_s);
        named<QPushButton>(form, u"cmdBatchPreview"_s)->click();
        shown << named<QRadioButton>(form, u"optBatchChosen"_s)->text()
              << named<QLabel>(form, u"lblBatchCount"_s)->text();
        MessageBoxAnswerer yes(QMessageBox::Yes);
        named<QPushButton>(form, u"cmdBatchApply"_s)->click();
        shown << yes.texts;
    });
    trigger(w, u"mnuBatch"_s);
    QCOMPARE(shown,
             (QStringList{u"選んだ行（2行）"_s, u"2行が変わります"_s,
                          u"曲の「演奏団体」を 2行 変更します。\nよろしいですか。"_s}));
    // the window then shows what it shows after an entry form closes
    QCOMPARE(readColumn(m_folder->path(), u"kyoku"_s, u"演奏団体"_s).join(u'|'),
             u"BPO|<null>|BPO|<null>|<null>"_s);
    // on the CD that was on show, not the last one
    cmdTop(w)->click();
    const QString shownCD = txtrs(w, 1)->text();
    const batch::Order order{u"録音会場"_s, false, {}, u"ムジークフェラインザール"_s};
    db().ApplyBatch(db().songs(), order.field, db().PlanBatch(db().songs(), {0, 1}, order));
    QCOMPARE(txtrs(w, 1)->text(), shownCD);
}

// The window lists a pair of one title in two spellings; merged, the grids
// lose the copy; taken back, the pair returns and is kept apart.
void TestMainWindow::duplicatesMergedAndKeptFromTheirWindow()
{
    frmMain* w = start();
    db().BeginCDEntry();
    db().cds()->addNew();
    db().cds()->setValue(u"CDID"_s, db().NewCDID());
    db().SaveCD({{1, u"ベートーベン：交響曲第５番「運命」"_s}}, false);
    trigger(w, u"mnuDuplicates"_s);
    const auto listed = [w] {
        auto* list = named<QTableWidget>(w, u"grdDuplicates"_s);
        QStringList rows{named<QLabel>(w, u"lblDuplicateCount"_s)->text()};
        for (int r = 0; r < list->rowCount(); ++r)
            rows << list->item(r, 0)->text() + list->item(r, 2)->text() + list->item(r, 3)->text()
                    + list->item(r, 5)->text() + list->item(r, 6)->text();
        return rows;
    };
    QCOMPARE(listed(), (QStringList{u"候補 1組"_s, u"1340題名"_s}));
    MessageBoxAnswerer yes(QMessageBox::Yes);
    // hidden (with its owner minimised) it finds them again once shown
    QTest::mouseClick(named<QPushButton>(w, u"cmdKeepBoth"_s), Qt::LeftButton);
    QCOMPARE(listed(), QStringList{u"候補 0組"_s});
    auto* window = named<QDialog>(w, u"frmDuplicates"_s);
    window->hide();
    db().Undo();
    window->show();
    QCOMPARE(listed(), (QStringList{u"候補 1組"_s, u"1340題名"_s}));
    yes.texts.clear();
    QTest::mouseClick(named<QPushButton>(w, u"cmdMergeIntoFirst"_s), Qt::LeftButton);
    QCOMPARE(yes.texts.value(1), u"統合しました（移した曲 0曲・同じ曲 0曲）。"_s);
    QCOMPARE(listed(), QStringList{u"候補 0組"_s});
    QCOMPARE(DataGrid2(w)->model()->rowCount(), 3);
    named<QDialog>(w, u"frmDuplicates"_s)->close(); // opened again, it finds them anew
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    trigger(w, u"mnuUndo"_s);
    trigger(w, u"mnuDuplicates"_s);
    QCOMPARE(listed().size() + DataGrid2(w)->model()->rowCount(), 2 + 4);
    QTest::mouseClick(named<QPushButton>(w, u"cmdKeepBoth"_s), Qt::LeftButton);
    QCOMPARE(listed(), QStringList{u"候補 0組"_s});
    QCOMPARE(readColumn(m_folder->path(), u"cdapart"_s, u"CDID2"_s), QStringList{u"4"_s});
}

RONDELLA_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
