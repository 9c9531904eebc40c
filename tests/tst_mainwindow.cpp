#include "entry/cdnamedup.h"
#include "mainui.h"
#include "mainwindow/frmmain.h"
#include "mainwindow/startup.h"
#include "store/collection.h"
#include "testsupport.h"
#include "widgets/secondary.h"
#include "widgets/sound.h"
#include "widgets/twips.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QDate>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QTableView>
#include <QTest>
#include <QTextBrowser>
#include <QToolBar>
#include <QUrl>

namespace {

void writeSample(const QString& folder)
{
    writeCollection(
        folder,
        {cd(1, "ベートーヴェン：交響曲第5番「運命」",
            {{"購入価格", 3000}, {"購入年月日", QDate(1989, 4, 15)}, {"解説者", "石川道雄"}}),
         cd(2, "ブルックナー：交響曲第8番", {{"購入価格", 1234567}}),
         cd(3, "チャイコフスキー：交響曲第6番「悲愴」", {{"購入価格", 0}})},
        {song("ベートーヴェン：交響曲第5番「運命」", 1, "第1楽章",
              {{"作曲者名", "ベートーヴェン"}}),
         song("ベートーヴェン：交響曲第5番「運命」", 2, "第2楽章"),
         song("ベートーヴェン：交響曲第5番「運命」", 3, "第3楽章"),
         song("チャイコフスキー：交響曲第6番「悲愴」", 5, "アダージョ"),
         song("チャイコフスキー：交響曲第6番「悲愴」", 4, "ワルツ")});
}

QImage solidImage(int w, int h, Qt::GlobalColor colour)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

void click(QPushButton* button)
{
    QVERIFY(button);
    button->click();
}

} // namespace

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void startupShowsAllData();
    void menuBarAndToolbar();
    void toolbarButtonsRunTheirCommands();
    void panelsAndGridLayouts();
    void unusableFileOpensWindowWithoutData_data();
    void unusableFileOpensWindowWithoutData();
    void emptyCollection();
    void navigationButtons();
    void gridClickMovesCurrentRow();
    void jacketPictures();
    void countersHoldFiveDigits();
    void windowGrowsAndScrolls();
    void draggedColumnWidthStaysUntilPutBack();
    void japaneseThroughout();
    void sortCommandsAndTitles();
    void resetLeavesLastCDAndSong();
    void sounds();
    void titleColumnsTakeTheRoom();
    void draggedWidthsAreKept();
    void theWindowKeepsItsPlace();
    void aboutBoxReturnsFocus();
    void unloadClosesEverything();
    void pageSetupUsesTheSharedPrinter();
    void duplicateTitleQuestion();

private:
    frmMain* start();
    std::unique_ptr<StartupFolder> m_folder;
    QPointer<frmMain> m_window;
};

void TestMainWindow::init()
{
    m_folder = std::make_unique<StartupFolder>();
}

void TestMainWindow::cleanup()
{
    if (m_window)
        closeMain(m_window);
    m_folder.reset();
}

frmMain* TestMainWindow::start()
{
    m_window = startMain();
    return m_window;
}

void TestMainWindow::startupShowsAllData()
{
    writeSample(m_folder->path());
    frmMain* w = start();
    QVERIFY(w);
    QCOMPARE(db().strAppPath(), m_folder->path());
    QCOMPARE(w->windowTitle(), QString("Rondella"));
    QCOMPARE(DataGrid2(w)->caption(), QString("ALL"));
    QCOMPARE(DataGrid1(w)->caption(), QString("左CDに含まれる曲"));
    QCOMPARE(lblCDdata(w)->text(), QString("CDデータ"));
    QCOMPARE(lblKyokudata(w)->text(), QString("曲データ"));
    QCOMPARE(lblCDdata(w)->palette().color(QPalette::WindowText), QColor(Qt::blue));
    QCOMPARE(lblRcount(w, 3)->text(), QString("3 / 3"));
    QCOMPARE(lblRcount(w, 0)->text(), QString("3 / 5"));
    QCOMPARE(w->lngCDTotal(), 3);
    QCOMPARE(w->lngKyokuTotal(), 5);
    QVERIFY(!picTyuu(w)->isVisible());
    // the record panel shows the first CD and its first song, read-only
    QCOMPARE(txtrs(w, 0)->text(), QString("1"));
    QCOMPARE(txtrs(w, 1)->text(), QString("ベートーヴェン：交響曲第5番「運命」"));
    QCOMPARE(txtrs(w, 3)->text(), QString("1989/04/15"));
    QCOMPARE(txtrs(w, 4)->text(), QString("\u00A53,000"));
    QCOMPARE(txtrs(w, 5)->text(), QString("石川道雄"));
    QCOMPARE(txtrs(w, 8)->text(), QString("第1楽章"));
    QCOMPARE(txtrs(w, 9)->text(), QString("ベートーヴェン"));
    QCOMPARE(txtrs(w, 21)->text(), QString("1"));
    for (int i = 0; i < 22; ++i) {
        QVERIFY(txtrs(w, i)->isReadOnly());
        QCOMPARE(txtrs(w, i)->dataField(), lblFieldLabel(w, i)->text());
    }
    // the splash is gone; the wait window is loaded but hidden
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->objectName() == "SplashRecord")
            QVERIFY(!top->isVisible());
        if (top->objectName() == "frmWait")
            QVERIFY(!top->isVisible());
    }
}

void TestMainWindow::menuBarAndToolbar()
{
    frmMain* w = start();
    QStringList names, captions;
    for (QAction* a : w->menuBar()->actions()) {
        names << a->objectName();
        captions << a->text();
    }
    QCOMPARE(names,
             (QStringList{"mnuFile", "mnukara", "mnuEdit", "mnuKara2", "mnuSearch", "mnukara5",
                          "mnuSort", "mnukara4", "mnuReset", "mnukara3", "mnuhelp"}));
    QCOMPARE(captions,
             (QStringList{"ファイル(&F)", "", "データ登録(&I)", "", "検索(&P)", "", "ソート(&S)",
                          "", "リセット(&R)", "", "ヘルプ(&H)"}));
    auto items = [w](const char* menu) {
        QStringList out;
        for (QAction* a : w->findChild<QMenu*>(menu)->actions())
            out << (a->isSeparator() ? QString("-") : a->objectName() + "=" + a->text());
        return out;
    };
    QCOMPARE(
        items("mnuFile"),
        (QStringList{"mnuPage=ページ設定", "mnuprint2=印刷プレビュー",
                     "mnuImport=旧データベースの取り込み...", "mnuCsvImport=CSVから取り込み...",
                     "mnuAudioImport=音楽ファイルから取り込み...",
                     "mnuCsvExport=CSVへ書き出し（全データ）...",
                     "mnuCsvExportShown=CSVへ書き出し（表示中の一覧）...",
                     "mnuRestore=バックアップから復元...", "-", "mnuQuit=終了"}));
    QCOMPARE(
        items("mnuprint2"),
        (QStringList{"mnuPrv2=CD＆曲印刷（リレーション）", "mnuprv3=曲印刷（非検索時は全曲印刷）",
                     "mnuprv=CD印刷（曲検索時のみ）"}));
    QCOMPARE(items("mnuEdit"), (QStringList{"mnuCDinput=ＣＤ登録", "mnuInputkyoku=曲登録"}));
    QCOMPARE(items("mnuSearch"),
             (QStringList{"mnuTyuu=検索", "mnuSibori=絞り込み検索", "-",
                          "mnuStatistics=コレクションの統計..."}));
    QCOMPARE(items("mnuSort"), (QStringList{"mnuCDs=CD名順", "mnuKyokuS=曲名順"}));
    QCOMPARE(items("mnuhelp"), (QStringList{"mnuhelp2=ヘルプ", "mnuVer=バージョン情報"}));

    // the ten designed positions, then the quick find field
    QList<QAction*> actions = tbToolBar(w)->actions();
    QCOMPARE(actions.takeLast()->objectName(), QString("txtQuickFindAction"));
    QStringList positions;
    for (QAction* a : actions)
        positions << (a->isSeparator() ? QString("|") : a->objectName() + "=" + a->toolTip());
    QCOMPARE(positions,
             (QStringList{"印刷プレビュー=CD＆曲印刷（リレーション）のみのプレビュー", "|",
                          "抽出=検索をします", "絞り込み抽出=絞り込み検索をします", "|",
                          "追加=CDの追加・変更・削除をします", "変更=曲の追加・変更・削除をします",
                          "|", "|", "リセット=リセットします"}));
    for (QAction* a : actions)
        QVERIFY(a->isSeparator() || (a->text().isEmpty() && !a->icon().isNull()));
}

// Each toolbar button runs the command its tip names: the window it opens, or
// the state it leaves, tells which.
void TestMainWindow::toolbarButtonsRunTheirCommands()
{
    writeSample(m_folder->path());
    frmMain* w = start();
    auto press = [w](const char* key) {
        QString opened;
        QTimer::singleShot(0, [&opened] {
            if (QWidget* dialog = QApplication::activeModalWidget()) {
                opened = dialog->objectName() + "|" + dialog->windowTitle();
                dialog->close();
            }
        });
        tbToolBar(w)->findChild<QAction*>(key)->trigger();
        QCoreApplication::processEvents();
        return opened;
    };
    QVERIFY(press("追加").startsWith("frmInputCD|"));
    QVERIFY(press("変更").startsWith("frmInputKyoku|"));
    QVERIFY(press("印刷プレビュー").endsWith("|CD＆曲印刷（リレーション）"));
    // 抽出 opens the panel cleared; 絞り込み抽出 reopens it as it was left
    Check1(w, 4)->setChecked(true);
    press("抽出");
    QVERIFY(picTyuu(w)->isVisible());
    QVERIFY(!Check1(w, 4)->isChecked());
    Check1(w, 6)->setChecked(true);
    DataCombo1(w, 6)->setText("石川道雄");
    picTyuu(w)->hide();
    press("絞り込み抽出");
    QVERIFY(picTyuu(w)->isVisible());
    QVERIFY(Check1(w, 6)->isChecked());
    cmdFilter(w)->click();
    QCOMPARE(w->displayState(), DisplayState::CDSearch);
    press("リセット");
    QCOMPARE(w->displayState(), DisplayState::AllData);
    QCOMPARE(lblCDdata(w)->text(), QString("CDデータ"));
}

void TestMainWindow::panelsAndGridLayouts()
{
    writeSample(m_folder->path());
    frmMain* w = start();
    QCOMPARE(picCD(w)->geometry(), twipsRect(60, 360, 6525, 10110));
    QCOMPARE(picKyoku(w)->geometry(), twipsRect(6645, 360, 8625, 10095));
    QCOMPARE(DataGrid2(w)->geometry(), twipsRect(75, 4395, 6330, 4995));
    QCOMPARE(txtrs(w, 21)->geometry(), twipsRect(1200, 945, 630, 330));
    QCOMPARE(DataGrid2(w)->table()->palette().color(QPalette::Base), QColor(0xFF, 0xFF, 0xC0));
    QCOMPARE(DataGrid1(w)->table()->palette().color(QPalette::Base), QColor(0xC0, 0xFF, 0xFF));
    // CD grid: widths, grouped and centred price, centred id and date
    QCOMPARE(DataGrid2(w)->table()->columnWidth(1), twips(2000));
    QCOMPARE(DataGrid2(w)->table()->columnWidth(5), twips(1400));
    QCOMPARE(DataGrid2(w)->text(1, 3), QString("1,234,567"));
    QCOMPARE(DataGrid2(w)->text(2, 3), QString("0"));
    QCOMPARE(DataGrid2(w)->text(0, 4), QString("1989/04/15"));
    const QAbstractItemModel* cds = DataGrid2(w)->table()->model();
    QVERIFY(cds->index(0, 3).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignHCenter);
    QVERIFY(
        !(cds->index(0, 1).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignHCenter));
    QCOMPARE(cds->headerData(6, Qt::Horizontal).toString(), QString("キャビネット"));
    // song grid: CD名 and 曲ID hidden, the rest at their widths, kept across CD moves
    QVERIFY(!DataGrid1(w)->isColumnVisible(0));
    QVERIFY(!DataGrid1(w)->isColumnVisible(1));
    QVERIFY(DataGrid1(w)->isColumnVisible(2));
    QCOMPARE(DataGrid1(w)->table()->columnWidth(2), twips(3240));
    cmdNext(w)->click();
    cmdNext(w)->click();
    QVERIFY(!DataGrid1(w)->isColumnVisible(0));
    QCOMPARE(DataGrid1(w)->table()->columnWidth(6), twips(2500));
    // all songs: CD名 shown at its width
    Check1(w, 10)->setChecked(true);
    cmdFilter(w)->click();
    QVERIFY(DataGrid1(w)->isColumnVisible(0));
    QVERIFY(!DataGrid1(w)->isColumnVisible(1));
    QCOMPARE(DataGrid1(w)->table()->columnWidth(0), twips(1740));
}

void TestMainWindow::unusableFileOpensWindowWithoutData_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("cause");
    QTest::newRow("a letter") << QByteArray("This is a letter, not a collection.")
                              << "データベースのファイルではありません";
    QTest::newRow("empty file") << QByteArray() << "テーブル「cdname」がありません";
    // a real database whose header says there are more pages than the file holds
    QByteArray cut;
    {
        StartupFolder other;
        writeCollection(other.path(), {cd(1, "a")}, {song("a", 1, QString(5000, u'x'))});
        QFile f(other.file("cdkaisou.db"));
        f.open(QIODevice::ReadOnly);
        cut = f.readAll();
        cut.truncate(cut.size() / 2 + 100);
    }
    QTest::newRow("cut short") << cut << "壊れています";
}

void TestMainWindow::unusableFileOpensWindowWithoutData()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, cause);
    QFile f(m_folder->file("cdkaisou.db"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();
    MessageBoxAnswerer answers;
    frmMain* w = start();
    QVERIFY(w && w->isVisible());
    QCOMPARE(answers.texts.size(), 1);
    QVERIFY(answers.texts[0].contains(m_folder->file("cdkaisou.db")));
    QVERIFY2(answers.texts[0].contains(cause), qPrintable(answers.texts[0]));
    QCOMPARE(answers.titles[0], QString("Rondella"));
    QCOMPARE(answers.icons[0], QMessageBox::NoIcon);
    QCOMPARE(DataGrid2(w)->table()->model()->rowCount(), 0);
    cmdNext(w)->click(); // nothing to move: a message, no crash
    QCOMPARE(answers.texts.size(), 2);
    closeMain(w);
    QCOMPARE(answers.texts.size(), 2); // closing a window without data asks nothing more
    QFile again(m_folder->file("cdkaisou.db"));
    QVERIFY(again.open(QIODevice::ReadOnly));
    QCOMPARE(again.readAll(), content);
}

void TestMainWindow::emptyCollection()
{
    MessageBoxAnswerer answers;
    frmMain* w = start();
    QVERIFY(QFile::exists(m_folder->file("cdkaisou.db")));
    QCOMPARE(answers.texts, QStringList());
    QCOMPARE(lblRcount(w, 3)->text(), QString("0 / 0"));
    QCOMPARE(lblRcount(w, 0)->text(), QString("0 / 0"));
    QCOMPARE(DataGrid2(w)->table()->model()->rowCount(), 0);
    QCOMPARE(DataGrid1(w)->table()->model()->rowCount(), 0);
    for (int i = 0; i < 22; ++i)
        QCOMPARE(txtrs(w, i)->text(), QString());
    w->reset();
    QCOMPARE(answers.texts, QStringList()); // the rebuild passes over the missing rows
    cmdLast(w)->click();
    cmdTopsub(w)->click();
    QCOMPARE(answers.texts, (QStringList{"データがありません", "データがありません"}));
}

void TestMainWindow::navigationButtons()
{
    writeSample(m_folder->path());
    MessageBoxAnswerer answers;
    frmMain* w = start();
    const int played = MMCdialog(w)->timesPlayed();
    click(cmdNext(w)); // CD 2 has no songs
    QCOMPARE(txtrs(w, 0)->text(), QString("2"));
    QCOMPARE(DataGrid1(w)->table()->model()->rowCount(), 0);
    QCOMPARE(lblRcount(w, 0)->text(), QString("0 / 5"));
    QCOMPARE(txtrs(w, 8)->text(), QString());
    QCOMPARE(MMCdialog(w)->timesPlayed(), played + 1);
    click(cmdRightSub(w));
    QCOMPARE(answers.texts, QStringList{"データがありません"});
    click(cmdLast(w));
    click(cmdNext(w)); // stays on the last CD without a message
    QCOMPARE(txtrs(w, 0)->text(), QString("3"));
    QCOMPARE(answers.texts.size(), 1);
    QCOMPARE(lblRcount(w, 0)->text(), QString("2 / 5"));
    QCOMPARE(txtrs(w, 8)->text(), QString("ワルツ")); // 曲ID 4 comes first
    click(cmdLastsub(w));
    QCOMPARE(txtrs(w, 21)->text(), QString("5"));
    click(cmdRightSub(w));
    QCOMPARE(txtrs(w, 21)->text(), QString("5"));
    click(cmdLeftSub(w));
    click(cmdLeftSub(w));
    QCOMPARE(txtrs(w, 21)->text(), QString("4"));
    click(cmdTop(w));
    click(cmdPrevious(w));
    QCOMPARE(txtrs(w, 0)->text(), QString("1"));
    QCOMPARE(answers.texts.size(), 1);
    QCOMPARE(DataGrid2(w)->table()->selectionModel()->currentIndex().row(), 0);
}

void TestMainWindow::gridClickMovesCurrentRow()
{
    writeSample(m_folder->path());
    frmMain* w = start();
    // the grid models stay consistent through every reset a CD move causes
    QAbstractItemModelTester songsTester(DataGrid1(w)->table()->model(),
                                         QAbstractItemModelTester::FailureReportingMode::QtTest);
    QAbstractItemModelTester cdsTester(DataGrid2(w)->table()->model(),
                                       QAbstractItemModelTester::FailureReportingMode::QtTest);
    QTableView* cds = DataGrid2(w)->table();
    const QRect cell = cds->visualRect(cds->model()->index(2, 1));
    QTest::mouseClick(cds->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(db().cds()->position(), 2);
    QCOMPARE(txtrs(w, 0)->text(), QString("3"));
    QCOMPARE(DataGrid1(w)->table()->model()->rowCount(), 2);
    QCOMPARE(lblRcount(w, 0)->text(), QString("2 / 5"));
    QTableView* songs = DataGrid1(w)->table();
    QTest::mouseClick(songs->viewport(), Qt::LeftButton, {},
                      songs->visualRect(songs->model()->index(1, 2)).center());
    QCOMPARE(txtrs(w, 8)->text(), QString("アダージョ"));
    w->findChild<QAction*>("mnuKyokuS")->trigger();
    w->findChild<QAction*>("mnuReset")->trigger();
    w->reset();
    QCOMPARE(songs->model()->rowCount(), 2);
}

void TestMainWindow::jacketPictures()
{
    writeSample(m_folder->path());
    QDir(m_folder->path()).mkdir("jacket");
    QVERIFY(solidImage(100, 80, Qt::red).save(m_folder->file("jacket/1.jpg"), "JPG"));
    QVERIFY(solidImage(4000, 2000, Qt::green).save(m_folder->file("jacket/3.jpg"), "JPG"));
    QVERIFY(solidImage(50, 50, Qt::blue).save(m_folder->file("jacket/damie.jpg"), "JPG"));
    // narrow but too tall: scaled down by its height alone
    QVERIFY(solidImage(60, 3000, Qt::yellow).save(m_folder->file("jacket/2.jpg"), "JPG"));
    QFile broken(m_folder->file("jacket/4.jpg"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("not a picture");
    broken.close();
    MessageBoxAnswerer answers;
    frmMain* w = start();
    QCOMPARE(picCDphoto(w)->pixmap().size(), QSize(100, 80));
    const QSize room = picCDphoto(w)->contentsRect().size();
    cmdNext(w)->click();
    const QSize tall = picCDphoto(w)->pixmap().size();
    QCOMPARE(tall.height(), room.height());
    QVERIFY(qAbs(tall.width() - room.height() / 50) <= 1);
    cmdNext(w)->click(); // a large picture is scaled down to fit, keeping its shape
    const QSize shown = picCDphoto(w)->pixmap().size();
    QVERIFY(shown.width() <= room.width() && shown.height() <= room.height());
    QVERIFY(qAbs(shown.width() - 2 * shown.height()) <= 2);
    writeCollection(m_folder->path(), {cd(4, "壊れた写真のCD")}, {});
    w->reset(); // the newest CD: an unreadable picture gives the placeholder
    QCOMPARE(txtrs(w, 0)->text(), QString("4"));
    QCOMPARE(picCDphoto(w)->pixmap().size(), QSize(50, 50));
    QFile::remove(m_folder->file("jacket/damie.jpg"));
    cmdTop(w)->click();
    cmdLast(w)->click(); // neither picture nor placeholder: empty and silent
    QVERIFY(picCDphoto(w)->pixmap().isNull());
    QCOMPARE(answers.texts, QStringList());
}

void TestMainWindow::sortCommandsAndTitles()
{
    writeSample(m_folder->path());
    frmMain* w = start();
    const int drops = MMCdrop(w)->timesPlayed();
    w->findChild<QAction*>("mnuCDs")->trigger();
    QCOMPARE(w->windowTitle(), QString("Rondella(CD名順モード)"));
    QCOMPARE(DataGrid2(w)->text(0, 1), QString("チャイコフスキー：交響曲第6番「悲愴」"));
    QCOMPARE(DataGrid2(w)->text(2, 1), QString("ベートーヴェン：交響曲第5番「運命」"));
    QCOMPARE(MMCdrop(w)->timesPlayed(), drops + 1);
    w->findChild<QAction*>("mnuKyokuS")->trigger();
    QCOMPARE(w->windowTitle(), QString("Rondella(CD名順＋曲名順モード)"));
    QCOMPARE(DataGrid1(w)->text(0, 2),
             QString("アダージョ")); // the songs of the current CD, by title
    w->findChild<QAction*>("mnuCDs")->trigger();
    QCOMPARE(w->windowTitle(), QString("Rondella(CD名順＋曲名順モード)"));
    QVERIFY(mnuCDs(w)->isChecked() && mnuKyokuS(w)->isChecked());
    w->findChild<QAction*>("mnuReset")->trigger();
    QCOMPARE(w->windowTitle(), QString("Rondella"));
    QCOMPARE(DataGrid2(w)->text(0, 0), QString("1"));
    QVERIFY(!mnuCDs(w)->isChecked() && !mnuKyokuS(w)->isChecked());
    mnuKyokuS(w)->setChecked(true);
    w->ShowModeTitle();
    QCOMPARE(w->windowTitle(), QString("Rondella(曲名順モード)"));
}

void TestMainWindow::resetLeavesLastCDAndSong()
{
    writeSample(m_folder->path());
    frmMain* w = start();
    const ViewPtr before = db().cds();
    writeCollection(m_folder->path(), {cd(4, "新しいCD")},
                    {song("チャイコフスキー：交響曲第6番「悲愴」", 6, "終楽章")});
    w->findChild<QAction*>("mnuCDs")->trigger();
    picTyuu(w)->show();
    w->reset();
    QVERIFY(db().cds() != before);
    QVERIFY(!picTyuu(w)->isVisible());
    QCOMPARE(txtrs(w, 0)->text(), QString("4")); // the CD with the highest CDID, no songs
    QCOMPARE(lblRcount(w, 3)->text(), QString("4 / 4"));
    QCOMPARE(lblRcount(w, 0)->text(), QString("0 / 6"));
    QCOMPARE(w->windowTitle(), QString("Rondella"));
    QCOMPARE(DataGrid2(w)->caption(), QString("ALL"));
    QCOMPARE(DataGrid2(w)->table()->selectionModel()->currentIndex().row(), 3);
    // with songs on the last CD, the last song is current
    writeCollection(m_folder->path(), {cd(5, "チャイコフスキー：交響曲第6番「悲愴」")}, {});
    w->reset();
    QCOMPARE(txtrs(w, 0)->text(), QString("5"));
    QCOMPARE(txtrs(w, 21)->text(), QString("6"));
    QCOMPARE(lblRcount(w, 0)->text(), QString("3 / 6"));
}

// The dialog sound answers opening a menu, the criteria panel, ticking a box
// and moving; the drop sound ends a search. A sound whose file is missing is
// silent and says nothing.
void TestMainWindow::sounds()
{
    writeSample(m_folder->path());
    QFile::copy(QFINDTESTDATA("../resources/dialog.WAV"), m_folder->file("dialog.WAV"));
    frmMain* w = start();
    QCOMPARE(MMCdialog(w)->fileName(), m_folder->file("dialog.WAV"));
    QVERIFY(MMCdialog(w)->isAudible());
    QVERIFY(!MMCdrop(w)->isAudible()); // no drop.WAV
    auto dialogs = [w] { return MMCdialog(w)->timesPlayed(); };
    int before = dialogs();
    w->findChild<QAction*>("mnuTyuu")->trigger();
    QCOMPARE(dialogs(), before + 1);
    Check1(w, 4)->setChecked(true);
    QCOMPARE(dialogs(), before + 2);
    Check1(w, 4)->setChecked(false); // unticking is silent
    QCOMPARE(dialogs(), before + 2);
    cmdRightSub(w)->click();
    QCOMPARE(dialogs(), before + 3);
    cmdNext(w)->click();
    QCOMPARE(dialogs(), before + 4);
    const int drops = MMCdrop(w)->timesPlayed();
    Check1(w, 10)->setChecked(true);
    cmdFilter(w)->click();
    QCOMPARE(w->displayState(), DisplayState::AllSongs);
    QCOMPARE(MMCdrop(w)->timesPlayed(), drops + 1);
    QVERIFY(answeredTexts().isEmpty());
}

// In a wide window CD名 and 曲名 take what the other columns leave; at the
// designed size they keep their designed widths.
void TestMainWindow::titleColumnsTakeTheRoom()
{
    writeSample(m_folder->path());
    frmMain* w = start();
    QCOMPARE(DataGrid2(w)->table()->columnWidth(1), twips(2000));
    w->showNormal();
    w->resize(3000, 1000);
    QCoreApplication::processEvents();
    for (auto [grid, title] : {std::pair{DataGrid2(w), 1}, std::pair{DataGrid1(w), 2}}) {
        QTableView* table = grid->table();
        int sum = 0;
        for (int c = 0; c < table->model()->columnCount(); ++c)
            if (!table->isColumnHidden(c))
                sum += table->columnWidth(c);
        QStringList widths;
        for (int c = 0; c < table->model()->columnCount(); ++c)
            widths << QString::number(table->isColumnHidden(c) ? -1 : table->columnWidth(c));
        QVERIFY2(std::abs(sum - table->viewport()->width()) <= 1,
                 qPrintable(QString("%1 of %2: %3")
                                .arg(sum)
                                .arg(table->viewport()->width())
                                .arg(widths.join(' '))));
        QVERIFY(table->columnWidth(title) > twips(title == 1 ? 2000 : 3240));
    }
    QCOMPARE(DataGrid2(w)->table()->columnWidth(5), twips(1400)); // the others as designed
    // and where the others leave less than its design, CD名 keeps its designed width
    QTableView* cds = DataGrid2(w)->table();
    int others = 0;
    for (int c = 0; c < cds->model()->columnCount(); ++c)
        if (c != 1 && !cds->isColumnHidden(c))
            others += cds->columnWidth(c);
    const int frame = DataGrid2(w)->width() - cds->viewport()->width();
    for (int room = 20; room < twips(2000); room += 25) {
        DataGrid2(w)->resize(frame + others + room, DataGrid2(w)->height());
        QCoreApplication::processEvents();
        QCOMPARE(cds->columnWidth(1), twips(2000));
    }
}

// A width the user drags stays for that grid and display state: across a
// search, a reset and a restart; 列幅を元に戻す gives the designed width back.
void TestMainWindow::draggedWidthsAreKept()
{
    writeSample(m_folder->path());
    frmMain* w = start();
    QHeaderView* header = DataGrid2(w)->table()->horizontalHeader();
    header->resizeSection(3, 222); // as a drag does
    QCOMPARE(DataGrid2(w)->table()->columnWidth(3), 222);
    // a CD search shows its own widths; the reset brings the dragged one back
    w->findChild<QAction*>("mnuTyuu")->trigger();
    Check1(w, 6)->setChecked(true);
    DataCombo1(w, 6)->setText("石川道雄");
    cmdFilter(w)->click();
    QCOMPARE(w->displayState(), DisplayState::CDSearch);
    QCOMPARE(DataGrid2(w)->table()->columnWidth(3), twips(1000));
    w->findChild<QAction*>("mnuReset")->trigger();
    QCOMPARE(DataGrid2(w)->table()->columnWidth(3), 222);
    closeMain(w);
    w = start();
    QCOMPARE(DataGrid2(w)->table()->columnWidth(3), 222);
    QCOMPARE(DataGrid1(w)->table()->columnWidth(3), twips(1620)); // the other grid untouched
    DataGrid2(w)
        ->table()
        ->horizontalHeader()
        ->findChild<QAction*>("mnuColumnWidthReset")
        ->trigger();
    QCOMPARE(DataGrid2(w)->table()->columnWidth(3), twips(1000));
    closeMain(w);
    w = start();
    QCOMPARE(DataGrid2(w)->table()->columnWidth(3), twips(1000));
}

// Size, place and maximised state come back at the next start; a place on no
// screen gives the designed start.
void TestMainWindow::theWindowKeepsItsPlace()
{
    writeSample(m_folder->path());
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
    {
        QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Rondella", "Rondella");
        settings.setValue("window/geometry", QRect(9000, 9000, 700, 500));
        settings.setValue("window/maximized", false);
    }
    w = start();
    QVERIFY(w->isMaximized());
    QVERIFY(QGuiApplication::primaryScreen()->geometry().intersects(w->geometry()));
    closeMain(w);
    { // only a sliver of its width on the screen: too little to grab
        QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Rondella", "Rondella");
        const int right = QGuiApplication::primaryScreen()->availableGeometry().right();
        settings.setValue("window/geometry", QRect(right - 50, 50, 700, 500));
        settings.setValue("window/maximized", false);
    }
    QVERIFY(start()->isMaximized());
}

void TestMainWindow::aboutBoxReturnsFocus()
{
    frmMain* w = start();
    QApplication::setActiveWindow(w);
    QString title;
    QTimer::singleShot(50, [&title] {
        auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(about);
        title = about->windowTitle();
        about->findChild<QPushButton*>("cmdOK")->click();
    });
    const int drops = MMCdrop(w)->timesPlayed();
    w->findChild<QAction*>("mnuVer")->trigger();
    QCOMPARE(title, QString("ﾊﾞｰｼﾞｮﾝ情報"));
    QCOMPARE(MMCdrop(w)->timesPlayed(), drops + 1);
    QApplication::setActiveWindow(w);
    QTRY_VERIFY(cmdNext(w)->hasFocus());
}

void TestMainWindow::unloadClosesEverything()
{
    writeSample(m_folder->path());
    frmMain* w = start();
    w->findChild<QAction*>("mnuCDs")->trigger();
    QPointer<frmMain> guard(w);
    w->findChild<QAction*>("mnuQuit")->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!guard);
    QVERIFY(!db().isOpen());
    QVERIFY(!db().cds() && !db().songs() && !db().songsOfCD() && !db().cdsOfSong());
    for (QWidget* top : QApplication::topLevelWidgets())
        QVERIFY2(!top->isVisible(), qPrintable(top->objectName()));
}

void TestMainWindow::pageSetupUsesTheSharedPrinter()
{
    frmMain* w = start();
    QString name;
    QTimer::singleShot(50, [&name] {
        QWidget* dialog = QApplication::activeModalWidget();
        QVERIFY(dialog);
        name = dialog->objectName();
        static_cast<QDialog*>(dialog)->reject();
    });
    w->findChild<QAction*>("mnuPage")->trigger();
    QCOMPARE(name, QString("cmndPage"));
}

void TestMainWindow::duplicateTitleQuestion()
{
    const QString faune = "ドビュッシー：牧神の午後への前奏曲 (Prélude à l'après-midi d'un faune)";
    writeCollection(m_folder->path(), {cd(1, faune)}, {});
    start();
    QWidget form;
    auto* title = new QLineEdit(&form);
    auto* other = new QLineEdit(&form);
    form.show();
    QApplication::setActiveWindow(&form);
    other->setFocus();
    title->setText("新しいCD");
    {
        MessageBoxAnswerer answers;
        QVERIFY(!CheckCDNameDup(db(), title));
        QCOMPARE(answers.texts, QStringList());
    }
    title->setText(faune);
    {
        MessageBoxAnswerer answers(QMessageBox::Yes);
        QVERIFY(!CheckCDNameDup(db(), title));
        QCOMPARE(answers.texts,
                 QStringList{"氏名が重複しています。\n\n同ＣＤ名として登録しますか？"});
        QCOMPARE(answers.icons, QList<QMessageBox::Icon>{QMessageBox::Information});
        QCOMPARE(answers.titles, QStringList{"Rondella"});
    }
    {
        MessageBoxAnswerer answers(QMessageBox::No);
        QVERIFY(CheckCDNameDup(db(), title));
        QCOMPARE(answers.texts.size(), 1);
        QCOMPARE(form.focusWidget(), title);
        QCOMPARE(title->text(), faune);
    }
}

// The largest count shows whole, right-aligned against its unit as designed.
void TestMainWindow::countersHoldFiveDigits()
{
    writeSample(m_folder->path());
    frmMain* w = start();
    for (auto [index, designedRight] : {std::pair{0, 7065 + 870}, std::pair{3, 4845 + 1050}}) {
        QLabel* counter = lblRcount(w, index);
        counter->setText("99999 / 99999");
        QVERIFY2(counter->fontMetrics().horizontalAdvance(counter->text())
                     <= counter->contentsRect().width(),
                 qPrintable(QString::number(counter->width())));
        QCOMPARE(counter->geometry().right() + 1, twips(designedRight));
        QVERIFY(counter->alignment() & Qt::AlignRight);
    }
}

void TestMainWindow::windowGrowsAndScrolls()
{
    writeSample(m_folder->path());
    frmMain* w = start();
    const QRect screen = w->screen()->availableGeometry();
    QVERIFY(screen.contains(w->frameGeometry())); // maximised on a screen smaller than the design
    auto* scroll = w->findChild<QScrollArea*>("clientScroll");
    QVERIFY(scroll);
    // smaller than the design: the content keeps its size and scrolls
    w->showNormal();
    w->resize(1024 * 2 / 3, 700 * 2 / 3);
    QTRY_VERIFY(scroll->verticalScrollBar()->maximum() > 0);
    QVERIFY(scroll->horizontalScrollBar()->maximum() > 0);
    QCOMPARE(DataGrid1(w)->geometry(), twipsRect(255, 4395, 8190, 4995));
    scroll->ensureWidgetVisible(cmdLastsub(w));
    const QRect shown(cmdLastsub(w)->mapTo(scroll->viewport(), QPoint(0, 0)),
                      cmdLastsub(w)->size());
    QVERIFY(scroll->viewport()->rect().contains(shown));
    // larger: the grids and the long boxes take the room, shared by the panels
    w->resize(twips(15400) + 700, twips(10560) + 400 + w->menuBar()->height());
    QTRY_VERIFY(DataGrid1(w)->width() > twips(8190));
    const int cdExtra = DataGrid2(w)->width() - twips(6330);
    const int songExtra = DataGrid1(w)->width() - twips(8190);
    QVERIFY2(qAbs(cdExtra * 8625 - songExtra * 6525) <= 2 * 15150,
             qPrintable(QString("%1 %2").arg(cdExtra).arg(songExtra)));
    QCOMPARE(cdExtra + songExtra, w->findChild<QWidget*>("clientArea")->width() - twips(15400));
    const int extraH = DataGrid1(w)->height() - twips(4995);
    QVERIFY(extraH > 0);
    QCOMPARE(DataGrid2(w)->height(), twips(4995) + extraH);
    QCOMPARE(txtrs(w, 1)->width(), twips(2625) + cdExtra);
    QCOMPARE(txtrs(w, 8)->width(), twips(3330) + songExtra);
    QCOMPARE(txtrs(w, 14)->x(), twips(5850) + songExtra);
    QCOMPARE(txtrs(w, 9)->width(), twips(3330)); // short boxes keep their size
    QCOMPARE(picCDphoto(w)->x(), twips(4260) + cdExtra);
    QCOMPARE(cmdNext(w)->y(), twips(9480) + extraH);
    QVERIFY(DataGrid1(w)->geometry().bottom() < cmdRightSub(w)->y());
    QCOMPARE(picKyoku(w)->x(), picCD(w)->geometry().right() + 1 + twips(60));
    QCOMPARE(lblRcount(w, 0)->geometry().right() + 1, twips(7935) + songExtra);
    QCOMPARE(scroll->verticalScrollBar()->maximum(), 0);
}

void TestMainWindow::draggedColumnWidthStaysUntilPutBack()
{
    writeSample(m_folder->path());
    frmMain* w = start();
    QHeaderView* header = DataGrid1(w)->table()->horizontalHeader();
    QCOMPARE(header->sectionSize(2), twips(3240));
    header->resizeSection(2, 77); // as a drag of the column's edge does
    cmdNext(w)->click(); // another CD: other songs come in
    cmdPrevious(w)->click();
    QCOMPARE(header->sectionSize(2), 77);
    QCOMPARE(DataGrid1(w)->table()->model()->rowCount(), 3);
    // kept across the reset too, until the header's 列幅を元に戻す
    w->findChild<QAction*>("mnuReset")->trigger();
    QCOMPARE(header->sectionSize(2), 77);
    header->findChild<QAction*>("mnuColumnWidthReset")->trigger();
    QCOMPARE(header->sectionSize(2), twips(3240));
}

void TestMainWindow::japaneseThroughout()
{
    QFile::copy(QFINDTESTDATA("../resources/help.html"), m_folder->file("help.html"));
    frmMain* w = start();
    // Qt's own buttons and menus
    QCOMPARE(QDialogButtonBox(QDialogButtonBox::Cancel).button(QDialogButtonBox::Cancel)->text(),
             QString("キャンセル"));
    QCOMPARE(QCoreApplication::translate("QWidgetTextControl", "&Copy"), QString("コピー(&C)"));
    // the about box says what the program is, in Japanese
    frmAbout about(w);
    const QString description = about.findChild<QLabel*>("lblDescription")->text();
    QVERIFY(!description.contains(QRegularExpression("[a-z]"))); // no English words
    QVERIFY(description.contains("CD"));
    // a character the IPA fonts lack still has a glyph, from the font named behind them
    QVERIFY(QFontMetrics(QApplication::font()).inFontUcs4(0x20BB7));
    QVERIFY(QApplication::font().families().contains("Noto Sans CJK JP"));
    QVERIFY(QFontDatabase::families().contains("Noto Sans CJK JP"));
    // help opens inside the program, on the shipped page
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    w->findChild<QAction*>("mnuhelp2")->trigger();
    QDesktopServices::unsetUrlHandler("file");
    QCOMPARE(catcher.urls.size(), 0);
    auto* help = w->findChild<QDialog*>("frmHelp");
    QVERIFY(help && help->isVisible());
    auto* page = help->findChild<QTextBrowser*>("txtHelp");
    QVERIFY(page->toPlainText().contains("Rondella ヘルプ"));
    // a link inside the page moves within it
    const QUrl source = page->source();
    QCOMPARE(source, QUrl::fromLocalFile(m_folder->file("help.html")));
    page->setSource(QUrl("#search"));
    QVERIFY(page->toPlainText().contains("検索のしかた"));
    w->findChild<QAction*>("mnuhelp2")->trigger(); // asked again: the same window
    QCOMPARE(w->findChildren<QDialog*>("frmHelp").size(), 1);
}

RONDELLA_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
