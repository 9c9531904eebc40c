// The main window: what it shows at the start and of an unusable file, the
// buttons and commands, the sorts and the reset, the grids' widths, the
// window's size and place, and the questions and windows it opens.
#include "entry/cdnamedup.h"
#include "mainui.h"
#include "mainwindow/frmmain.h"
#include "store/collection.h"
#include "testsupport.h"
#include "widgets/twips.h"

#include <QAbstractItemModelTester>
#include <QDate>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QTableView>
#include <QTest>
#include <QTextBrowser>

namespace {

const QString fifth = u"ベートーヴェン：交響曲第5番「運命」"_s;
const QString pathetique = u"チャイコフスキー：交響曲第6番「悲愴」"_s;

// The width of each visible column of the grid, with -1 for a hidden one.
QString widths(const QTableView* table)
{
    QStringList out;
    for (int c = 0; c < table->model()->columnCount(); ++c)
        out << QString::number(table->isColumnHidden(c) ? -1 : table->columnWidth(c));
    return out.join(u' ');
}

void keepPlace(const QRect& place)
{
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, u"Rondella"_s, u"Rondella"_s);
    settings.setValue(u"window/geometry"_s, place);
    settings.setValue(u"window/maximized"_s, false);
}

} // namespace

class TestMainWindow : public MainWindowTest {
    Q_OBJECT
private slots:
    void init();
    void startShowsAllData();
    void unusableFileOpensWindowWithoutData_data();
    void unusableFileOpensWindowWithoutData();
    void emptyCollection();
    void buttonsAndGridClicksMove();
    void toolbarButtonsRunTheirCommands();
    void jacketPictures();
    void sortCommandsAndTitles();
    void resetLeavesLastCDAndSong();
    void titleColumnsTakeTheRoom();
    void draggedWidthsAreKeptUntilPutBack();
    void windowGrowsAndScrolls();
    void theWindowKeepsItsPlace();
    void helpAndQtTextsInJapanese();
    void unloadClosesEverything();
    void duplicateTitleQuestion();
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

void TestMainWindow::startShowsAllData()
{
    frmMain* w = start();
    QVERIFY(w);
    QCOMPARE(db().strAppPath(), m_folder->path());
    QCOMPARE(w->windowTitle(), u"Rondella"_s);
    QCOMPARE(DataGrid2(w)->caption(), u"ALL"_s);
    QCOMPARE(DataGrid1(w)->caption(), u"左CDに含まれる曲"_s);
    QCOMPARE(lblRcount(w, 3)->text(), u"3 / 3"_s);
    QCOMPARE(lblRcount(w, 0)->text(), u"3 / 5"_s);
    QVERIFY(!picTyuu(w)->isVisible() && !isWaitShown());
    // the record panel shows the first CD and its first song, read-only
    const QStringList shown = {u"1"_s, fifth, {}, u"1989/04/15"_s, u"\u00A53,000"_s, u"石川道雄"_s};
    for (int i = 0; i < 22; ++i) {
        if (i < shown.size())
            QCOMPARE(txtrs(w, i)->text(), shown[i]);
        QVERIFY(txtrs(w, i)->isReadOnly());
        QCOMPARE(txtrs(w, i)->dataField(), lblFieldLabel(w, i)->text());
    }
    QCOMPARE(txtrs(w, 8)->text(), u"第1楽章"_s);
    QCOMPARE(txtrs(w, 9)->text(), u"ベートーヴェン"_s);
    // the CD grid: the price grouped without a sign, the date as a date
    QCOMPARE(DataGrid2(w)->text(1, 3), u"1,234,567"_s);
    QCOMPARE(DataGrid2(w)->text(2, 3), u"0"_s);
    QCOMPARE(DataGrid2(w)->text(0, 4), u"1989/04/15"_s);
    QCOMPARE(DataGrid2(w)->table()->columnWidth(5), twips(1400));
    // the song grid hides CD名 and 曲ID while it shows one CD's songs
    QCOMPARE(widths(DataGrid1(w)->table()).left(6), u"-1 -1 "_s);
    QCOMPARE(DataGrid1(w)->table()->columnWidth(3), twips(1620));
}

void TestMainWindow::unusableFileOpensWindowWithoutData_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("cause");
    QTest::newRow("a letter") << "This is a letter, not a collection."_ba
                              << u"データベースのファイルではありません"_s;
    QTest::newRow("empty file") << QByteArray() << u"テーブル「cdname」がありません"_s;
    // a real database whose header says there are more pages than the file holds
    StartupFolder other;
    writeCollection(other.path(), {cd(1, u"a"_s)}, {song(u"a"_s, 1, QString(5000, u'x'))});
    QFile f(other.file(u"cdkaisou.db"_s));
    f.open(QIODevice::ReadOnly);
    QTest::newRow("cut short") << f.read(f.size() / 2 + 100) << u"壊れています"_s;
}

void TestMainWindow::unusableFileOpensWindowWithoutData()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, cause);
    QFile f(m_folder->file(u"cdkaisou.db"_s));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
    f.close();
    MessageBoxAnswerer answers;
    frmMain* w = start();
    QVERIFY(w && w->isVisible());
    QCOMPARE(answers.texts.size(), 1);
    QVERIFY(answers.texts[0].contains(f.fileName()));
    QVERIFY2(answers.texts[0].contains(cause), qPrintable(answers.texts[0]));
    QCOMPARE(answers.titles[0], u"Rondella"_s);
    QCOMPARE(answers.icons[0], QMessageBox::NoIcon);
    QCOMPARE(DataGrid2(w)->table()->model()->rowCount(), 0);
    cmdNext(w)->click(); // nothing to move: a message, no crash
    QCOMPARE(answers.texts.size(), 2);
    closeMain(w);
    QCOMPARE(answers.texts.size(), 2); // closing a window without data asks nothing more
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), content);
}

void TestMainWindow::emptyCollection()
{
    QFile::remove(m_folder->file(u"cdkaisou.db"_s));
    MessageBoxAnswerer answers;
    frmMain* w = start();
    QVERIFY(QFile::exists(m_folder->file(u"cdkaisou.db"_s)));
    QCOMPARE(lblRcount(w, 3)->text(), u"0 / 0"_s);
    QCOMPARE(lblRcount(w, 0)->text(), u"0 / 0"_s);
    QCOMPARE(txtrs(w, 1)->text(), QString());
    w->reset(); // the rebuild passes over the missing rows
    QCOMPARE(answers.texts, QStringList());
    cmdLast(w)->click();
    cmdTopsub(w)->click();
    QCOMPARE(answers.texts, (QStringList{u"データがありません"_s, u"データがありません"_s}));
}

void TestMainWindow::buttonsAndGridClicksMove()
{
    MessageBoxAnswerer answers;
    frmMain* w = start();
    cmdNext(w)->click(); // CD 2 has no songs
    QCOMPARE(txtrs(w, 0)->text(), u"2"_s);
    QCOMPARE(lblRcount(w, 0)->text(), u"0 / 5"_s);
    QCOMPARE(txtrs(w, 8)->text(), QString());
    cmdRightSub(w)->click();
    QCOMPARE(answers.texts, QStringList{u"データがありません"_s});
    cmdLast(w)->click();
    cmdNext(w)->click(); // stays on the last CD without a message
    QCOMPARE(txtrs(w, 0)->text(), u"3"_s);
    QCOMPARE(txtrs(w, 8)->text(), u"ワルツ"_s); // 曲ID 4 comes first
    cmdLastsub(w)->click();
    cmdRightSub(w)->click();
    QCOMPARE(txtrs(w, 21)->text(), u"5"_s);
    cmdLeftSub(w)->click();
    cmdLeftSub(w)->click();
    QCOMPARE(txtrs(w, 21)->text(), u"4"_s);
    cmdTop(w)->click();
    cmdPrevious(w)->click();
    QCOMPARE(txtrs(w, 0)->text(), u"1"_s);
    QCOMPARE(answers.texts.size(), 1);
    QCOMPARE(DataGrid2(w)->table()->selectionModel()->currentIndex().row(), 0);
    // a click on a row makes it current; the models stay sound through it
    QAbstractItemModelTester songsTester(DataGrid1(w)->table()->model(),
                                         QAbstractItemModelTester::FailureReportingMode::QtTest);
    QTableView* cds = DataGrid2(w)->table();
    QTest::mouseClick(cds->viewport(), Qt::LeftButton, {},
                      cds->visualRect(cds->model()->index(2, 1)).center());
    QCOMPARE(txtrs(w, 0)->text(), u"3"_s);
    QTableView* songs = DataGrid1(w)->table();
    QTest::mouseClick(songs->viewport(), Qt::LeftButton, {},
                      songs->visualRect(songs->model()->index(1, 2)).center());
    QCOMPARE(txtrs(w, 8)->text(), u"アダージョ"_s);
}

// Each toolbar button runs the command its tip names: the window it opens, or
// the state it leaves, tells which.
void TestMainWindow::toolbarButtonsRunTheirCommands()
{
    frmMain* w = start();
    auto press = [w](const QString& button) {
        QString opened;
        QTimer::singleShot(0, [&opened] {
            if (QWidget* dialog = QApplication::activeModalWidget()) {
                opened = dialog->objectName() + u'|' + dialog->windowTitle();
                dialog->close();
            }
        });
        named<QAction>(tbToolBar(w), button)->trigger();
        QCoreApplication::processEvents();
        return opened;
    };
    QVERIFY(press(u"追加"_s).startsWith(u"frmInputCD|"_s));
    QVERIFY(press(u"変更"_s).startsWith(u"frmInputKyoku|"_s));
    QVERIFY(press(u"印刷プレビュー"_s).endsWith(u"|CD＆曲印刷（リレーション）"_s));
    // 抽出 opens the panel cleared; 絞り込み抽出 reopens it as it was left
    Check1(w, 4)->setChecked(true);
    press(u"抽出"_s);
    QVERIFY(picTyuu(w)->isVisible() && !Check1(w, 4)->isChecked());
    Check1(w, 6)->setChecked(true);
    DataCombo1(w, 6)->setText(u"石川道雄"_s);
    picTyuu(w)->hide();
    press(u"絞り込み抽出"_s);
    QVERIFY(picTyuu(w)->isVisible() && Check1(w, 6)->isChecked());
    cmdFilter(w)->click();
    QCOMPARE(w->displayState(), DisplayState::CDSearch);
    press(u"リセット"_s);
    QCOMPARE(w->displayState(), DisplayState::AllData);
}

// A picture is scaled down to fit keeping its shape; an unreadable one gives
// the placeholder; without either the box is empty; none says a word.
void TestMainWindow::jacketPictures()
{
    QDir(m_folder->path()).mkdir(u"jacket"_s);
    for (auto [name, size] :
         {std::pair{"1", QSize(100, 80)}, std::pair{"2", QSize(60, 3000)},
          std::pair{"3", QSize(4000, 2000)}, std::pair{"damie", QSize(50, 50)}}) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::red);
        QVERIFY(
            image.save(m_folder->file(u"jacket/%1.jpg"_s.arg(QString::fromLatin1(name))), "JPG"));
    }
    QFile broken(m_folder->file(u"jacket/4.jpg"_s));
    QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("not a picture") > 0);
    broken.close();
    MessageBoxAnswerer answers;
    frmMain* w = start();
    QCOMPARE(picCDphoto(w)->pixmap().size(), QSize(100, 80));
    const QSize room = picCDphoto(w)->contentsRect().size();
    cmdNext(w)->click(); // narrow but too tall: scaled down by its height
    const QSize tall = picCDphoto(w)->pixmap().size();
    QVERIFY(tall.height() == room.height() && qAbs(tall.width() - room.height() / 50) <= 1);
    cmdNext(w)->click();
    const QSize shown = picCDphoto(w)->pixmap().size();
    QVERIFY(shown.width() <= room.width() && shown.height() <= room.height());
    QVERIFY(qAbs(shown.width() - 2 * shown.height()) <= 2);
    writeCollection(m_folder->path(), {cd(4, u"壊れた写真のCD"_s)}, {});
    w->reset(); // shows the newest CD
    QCOMPARE(picCDphoto(w)->pixmap().size(), QSize(50, 50));
    QFile::remove(m_folder->file(u"jacket/damie.jpg"_s));
    cmdTop(w)->click();
    cmdLast(w)->click();
    QVERIFY(picCDphoto(w)->pixmap().isNull());
    QCOMPARE(answers.texts, QStringList());
}

void TestMainWindow::sortCommandsAndTitles()
{
    frmMain* w = start();
    trigger(w, u"mnuCDs"_s);
    QCOMPARE(w->windowTitle(), u"Rondella(CD名順モード)"_s);
    QCOMPARE(DataGrid2(w)->text(0, 1), pathetique);
    QCOMPARE(DataGrid2(w)->text(2, 1), fifth);
    trigger(w, u"mnuKyokuS"_s);
    QCOMPARE(w->windowTitle(), u"Rondella(CD名順＋曲名順モード)"_s);
    QCOMPARE(DataGrid1(w)->text(0, 2), u"アダージョ"_s); // the songs of the current CD, by title
    trigger(w, u"mnuCDs"_s);
    QCOMPARE(w->windowTitle(), u"Rondella(CD名順＋曲名順モード)"_s);
    trigger(w, u"mnuReset"_s);
    QCOMPARE(w->windowTitle(), u"Rondella"_s);
    QCOMPARE(DataGrid2(w)->text(0, 0), u"1"_s);
    QVERIFY(!mnuCDs(w)->isChecked() && !mnuKyokuS(w)->isChecked());
    trigger(w, u"mnuKyokuS"_s);
    QCOMPARE(w->windowTitle(), u"Rondella(曲名順モード)"_s);
}

void TestMainWindow::resetLeavesLastCDAndSong()
{
    frmMain* w = start();
    const ViewPtr before = db().cds();
    writeCollection(m_folder->path(), {cd(4, u"新しいCD"_s)}, {song(pathetique, 6, u"終楽章"_s)});
    trigger(w, u"mnuCDs"_s);
    picTyuu(w)->show();
    w->reset();
    QVERIFY(db().cds() != before && !picTyuu(w)->isVisible());
    QCOMPARE(txtrs(w, 0)->text(), u"4"_s); // the CD with the highest CDID, no songs
    QCOMPARE(lblRcount(w, 3)->text(), u"4 / 4"_s);
    QCOMPARE(lblRcount(w, 0)->text(), u"0 / 6"_s);
    QCOMPARE(w->windowTitle(), u"Rondella"_s);
    QCOMPARE(DataGrid2(w)->table()->selectionModel()->currentIndex().row(), 3);
    writeCollection(m_folder->path(), {cd(5, pathetique)}, {});
    w->reset(); // with songs on the last CD, the last song is current
    QCOMPARE(txtrs(w, 0)->text(), u"5"_s);
    QCOMPARE(txtrs(w, 21)->text(), u"6"_s);
}

// In a wide window CD名 and 曲名 take what the other columns leave; where that
// is less than their design, they keep their designed widths.
void TestMainWindow::titleColumnsTakeTheRoom()
{
    frmMain* w = start();
    QCOMPARE(DataGrid2(w)->table()->columnWidth(1), twips(2000));
    w->showNormal();
    w->resize(3000, 1000);
    QCoreApplication::processEvents();
    for (auto [grid, title] : {std::pair{DataGrid2(w), 1}, std::pair{DataGrid1(w), 2}}) {
        QTableView* table = grid->table();
        int sum = 0;
        for (int c = 0; c < table->model()->columnCount(); ++c)
            sum += table->isColumnHidden(c) ? 0 : table->columnWidth(c);
        QVERIFY2(std::abs(sum - table->viewport()->width()) <= 1, qPrintable(widths(table)));
        QVERIFY(table->columnWidth(title) > twips(title == 1 ? 2000 : 3240));
    }
    QTableView* cds = DataGrid2(w)->table();
    QCOMPARE(cds->columnWidth(5), twips(1400)); // the others as designed
    const int others = cds->viewport()->width() - cds->columnWidth(1);
    const int frame = DataGrid2(w)->width() - cds->viewport()->width();
    for (int room = 20; room < twips(2000); room += 25) {
        DataGrid2(w)->resize(frame + others + room, DataGrid2(w)->height());
        QCoreApplication::processEvents();
        QCOMPARE(cds->columnWidth(1), twips(2000));
    }
}

// A width the user drags stays for that grid and display state: across other
// rows, a search, a reset and a restart; 列幅を元に戻す gives the designed
// width back, for good.
void TestMainWindow::draggedWidthsAreKeptUntilPutBack()
{
    frmMain* w = start();
    DataGrid2(w)->table()->horizontalHeader()->resizeSection(3, 222); // as a drag does
    QHeaderView* songs = DataGrid1(w)->table()->horizontalHeader();
    songs->resizeSection(2, 77);
    cmdNext(w)->click(); // other songs come in
    cmdPrevious(w)->click();
    QCOMPARE(songs->sectionSize(2), 77);
    Check1(w, 6)->setChecked(true);
    DataCombo1(w, 6)->setText(u"石川道雄"_s);
    cmdFilter(w)->click(); // a CD search shows its own widths
    QCOMPARE(DataGrid2(w)->table()->columnWidth(3), twips(1000));
    trigger(w, u"mnuReset"_s);
    QCOMPARE(DataGrid2(w)->table()->columnWidth(3), 222);
    QCOMPARE(songs->sectionSize(2), 77);
    named<QAction>(songs, u"mnuColumnWidthReset"_s)->trigger();
    QCOMPARE(songs->sectionSize(2), twips(3240));
    closeMain(w);
    w = start();
    QCOMPARE(DataGrid2(w)->table()->columnWidth(3), 222);
    named<QAction>(DataGrid2(w)->table()->horizontalHeader(), u"mnuColumnWidthReset"_s)->trigger();
    closeMain(w);
    w = start();
    QCOMPARE(DataGrid2(w)->table()->columnWidth(3), twips(1000));
}

// Smaller than the design the content keeps its size and scrolls; larger, the
// grids and the long boxes take the room, shared by the panels, and what
// stands below them moves down.
void TestMainWindow::windowGrowsAndScrolls()
{
    frmMain* w = start();
    QVERIFY(w->screen()->availableGeometry().contains(w->frameGeometry()));
    auto* scroll = named<QScrollArea>(w, u"clientScroll"_s);
    w->showNormal();
    w->resize(1024 * 2 / 3, 700 * 2 / 3);
    QTRY_VERIFY(scroll->verticalScrollBar()->maximum() > 0);
    QVERIFY(scroll->horizontalScrollBar()->maximum() > 0);
    QCOMPARE(DataGrid1(w)->geometry(), twipsRect(255, 4395, 8190, 4995));
    w->resize(twips(15400) + 700, twips(10560) + 400 + w->menuBar()->height());
    QTRY_VERIFY(DataGrid1(w)->width() > twips(8190));
    const int cdExtra = DataGrid2(w)->width() - twips(6330);
    const int songExtra = DataGrid1(w)->width() - twips(8190);
    const int extraH = DataGrid1(w)->height() - twips(4995);
    QVERIFY2(qAbs(cdExtra * 8625 - songExtra * 6525) <= 2 * 15150,
             qPrintable(u"%1 %2"_s.arg(cdExtra).arg(songExtra)));
    QCOMPARE(cdExtra + songExtra, named<QWidget>(w, u"clientArea"_s)->width() - twips(15400));
    QVERIFY(extraH > 0 && extraH != cdExtra && extraH != songExtra);
    QCOMPARE(txtrs(w, 1)->width(), twips(2625) + cdExtra);
    QCOMPARE(txtrs(w, 9)->width(), twips(3330)); // short boxes keep their size
    QCOMPARE(txtrs(w, 14)->x(), twips(5850) + songExtra);
    QCOMPARE(cmdNext(w)->y(), twips(9480) + extraH);
    QCOMPARE(cmdRightSub(w)->y(), cmdNext(w)->y());
    QCOMPARE(scroll->verticalScrollBar()->maximum(), 0);
}

// Size, place and maximised state come back at the next start; a place on no
// screen, or with too little of it on one to grab, gives the designed start.
void TestMainWindow::theWindowKeepsItsPlace()
{
    frmMain* w = start();
    QVERIFY(w->isMaximized()); // the first start
    w->showNormal();
    w->setGeometry(40, 50, 700, 500);
    QCoreApplication::processEvents();
    closeMain(w);
    w = start();
    QVERIFY(!w->isMaximized());
    QCOMPARE(w->geometry(), QRect(40, 50, 700, 500));
    closeMain(w);
    keepPlace(QRect(9000, 9000, 700, 500));
    QVERIFY(start()->isMaximized());
    closeMain(m_w);
    keepPlace(
        QRect(QGuiApplication::primaryScreen()->availableGeometry().right() - 50, 50, 700, 500));
    QVERIFY(start()->isMaximized());
}

void TestMainWindow::helpAndQtTextsInJapanese()
{
    QFile::copy(QFINDTESTDATA("../resources/help.html"), m_folder->file(u"help.html"_s));
    frmMain* w = start();
    QCOMPARE(QDialogButtonBox(QDialogButtonBox::Cancel).button(QDialogButtonBox::Cancel)->text(),
             u"キャンセル"_s);
    // help opens inside the program, on the shipped page; asked again, the same window
    trigger(w, u"mnuhelp2"_s);
    trigger(w, u"mnuhelp2"_s);
    QCOMPARE(w->findChildren<QDialog*>(u"frmHelp"_s).size(), 1);
    auto* page = named<QTextBrowser>(w, u"txtHelp"_s);
    QVERIFY(page->isVisible() && page->toPlainText().contains(u"Rondella ヘルプ"_s));
    QCOMPARE(page->source(), QUrl::fromLocalFile(m_folder->file(u"help.html"_s)));
    page->setSource(QUrl(u"#search"_s)); // a link inside the page moves within it
    QVERIFY(page->toPlainText().contains(u"検索のしかた"_s));
}

void TestMainWindow::unloadClosesEverything()
{
    frmMain* w = start();
    trigger(w, u"mnuCDs"_s);
    trigger(w, u"mnuQuit"_s);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!m_w);
    QVERIFY(!db().isOpen());
    QVERIFY(!db().cds() && !db().songs() && !db().songsOfCD() && !db().cdsOfSong());
    for (QWidget* top : QApplication::topLevelWidgets())
        QVERIFY2(!top->isVisible(), qPrintable(top->objectName()));
}

// A title already in the collection is asked about: Yes saves it as it is,
// No keeps the form on the title to change it.
void TestMainWindow::duplicateTitleQuestion()
{
    const QString faune
        = u"ドビュッシー：牧神の午後への前奏曲 (Prélude à l'après-midi d'un faune)"_s;
    writeCollection(m_folder->path(), {cd(4, faune)}, {});
    start();
    QWidget form;
    auto* title = new QLineEdit(u"新しいCD"_s, &form);
    auto* other = new QLineEdit(&form);
    form.show();
    QApplication::setActiveWindow(&form);
    other->setFocus();
    MessageBoxAnswerer answers(QMessageBox::Yes);
    QVERIFY(!CheckCDNameDup(db(), title));
    QCOMPARE(answers.texts, QStringList());
    title->setText(faune);
    QVERIFY(!CheckCDNameDup(db(), title));
    QCOMPARE(answers.texts,
             QStringList{u"氏名が重複しています。\n\n同ＣＤ名として登録しますか？"_s});
    QCOMPARE(answers.icons, QList<QMessageBox::Icon>{QMessageBox::Information});
    answers.setAnswer(QMessageBox::No);
    QVERIFY(CheckCDNameDup(db(), title));
    QCOMPARE(answers.texts.size(), 2);
    QCOMPARE(form.focusWidget(), title);
    QCOMPARE(title->text(), faune);
}

RONDELLA_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
