#include "entry/frminputcd.h"
#include "entry/frminputkyoku.h"
#include "mainui.h"
#include "mainwindow/frmmain.h"
#include "store/collection.h"
#include "store/connection.h"
#include "testsupport.h"
#include "widgets/databound.h"
#include "widgets/msgbox.h"
#include "widgets/twips.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCompleter>
#include <QDate>
#include <QDir>
#include <QKeyEvent>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>
#include <QToolBar>

namespace {

const QString indy = "ダンディ：フランス山人の歌による交響曲 (d'Indy)";
const QString fifth = "ベートーヴェン：交響曲第5番";
const QString bach = "バッハ：ゴルトベルク変奏曲";

void writeSample(const QString& folder)
{
    writeCollection(
        folder,
        {cd(1, fifth, {{"発売元", "ポリドール"}, {"購入価格", 2800}}),
         cd(2, indy, {{"発売元", "エラート"}}), cd(3, bach), cd(4, bach)},
        {song(fifth, 1, "第1楽章", {{"作曲者名", "ベートーヴェン"}, {"分野", "交響曲"}}),
         song(fifth, 2, "第2楽章", {{"作曲者名", "ベートーヴェン"}, {"分野", "交響曲"}}),
         song(indy, 3, "第1楽章", {{"作曲者名", "ダンディ"}}),
         song(fifth, 4, "第3楽章", {{"作曲者名", "ベートーヴェン"}}),
         song(bach, 5, "アリア", {{"作曲者名", "バッハ"}})});
}

// Every row of both tables as text, to compare the file before and after.
QStringList fileRows(const QString& folder)
{
    QStringList rows;
    for (const QString& table : {QStringLiteral("cdname"), QStringLiteral("kyoku")}) {
        const QVector<FieldDef>& fields
            = table == u"cdname" ? Connection::cdnameFields() : Connection::kyokuFields();
        QList<QStringList> columns;
        for (const FieldDef& f : fields)
            columns << readColumn(folder, table, f.name);
        for (int r = 0; r < columns.first().size(); ++r) {
            QStringList cells;
            for (const QStringList& c : columns)
                cells << c.at(r);
            rows << table + u':' + cells.join(u'|');
        }
    }
    return rows;
}

void type(QLineEdit* box, const QString& text)
{
    box->setText(text);
}

// The widget the tab key goes to from `w`.
QWidget* nextTabStop(QWidget* w)
{
    for (QWidget* n = w->nextInFocusChain(); n != w; n = n->nextInFocusChain())
        if ((n->focusPolicy() & Qt::TabFocus) && n->isVisibleTo(w->window()))
            return n;
    return nullptr;
}

} // namespace

class TestEntry : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void cdFormLayoutAndNames();
    void cdIdentifiersCountUpAndBack();
    void duplicateTitleQuestion();
    void typedDatesAndPrices();
    void refusedInputChangesNothing_data();
    void refusedInputChangesNothing();
    void saveRefusedWhileAnotherProgramWrites();
    void deleteCascadeAsksAndCounts();
    void deleteCascadeIsOneTransaction();
    void namesakeKeepsItsSongs();
    void correctedTitleTakesItsSongs();
    void addModeGuardsAndFrameClose();
    void listsOfferNewValuesAtOnce();
    void songCopyTakesEveryField();
    void songFormAddCopyAndSave();
    void songFormRefusals();
    void chooserFollowsTheGrid();
    void songDeleteMovesOn();
    void mainWindowShowsTheChanges();
    void cdChooserOffersTitlesContainingTheTyped();

private:
    void start();
    std::unique_ptr<StartupFolder> m_folder;
    QPointer<frmMain> m_w;
};

void TestEntry::init()
{
    m_folder = std::make_unique<StartupFolder>();
}

void TestEntry::start()
{
    m_w = startMain();
    QVERIFY(m_w);
}

void TestEntry::cleanup()
{
    endTest(m_w, m_folder);
}

void TestEntry::cdFormLayoutAndNames()
{
    writeSample(m_folder->path());
    start();
    frmInputCD form(m_w->db, m_w);
    QCOMPARE(form.windowTitle(), QString("CD登録"));
    QVERIFY(form.minimumWidth() >= twips(6210) && form.minimumHeight() >= twips(5820));
    const QStringList fields{"CDID",     "CD名",   "発売元",       "購入年月日",
                             "購入価格", "解説者", "キャビネット", "段"};
    for (int i = 0; i < 8; ++i) {
        QCOMPARE(form.findChild<QLabel*>(QString("lblFieldLabel(%1)").arg(i))->text(), fields[i]);
        QCOMPARE(form.txtInput(i)->dataField(), fields[i]);
        QVERIFY(!form.txtInput(i)->isReadOnly());
    }
    QCOMPARE(form.findChild<QLabel*>("Label1(0)")->text(), QString("(例：  02/1/31) "));
    QCOMPARE(form.cmdAdd->toolTip(), QString("入力の前にクリック"));
    QCOMPARE(form.cmdTeisei->toolTip(), QString("訂正したあとでクリック"));
    // browse mode on the last CD
    QCOMPARE(form.txtInput(0)->text(), QString("4"));
    QVERIFY(form.cmdAdd->isEnabled() && !form.cmdUpdate->isEnabled() && !form.cmdCancel->isEnabled()
            && form.cmdTeisei->isEnabled() && form.cmdDelete->isEnabled()
            && form.cmdNext->isEnabled());
    // the tab key runs from the last box to 確定
    QCOMPARE(nextTabStop(form.txtInput(7)), form.cmdUpdate);
    QCOMPARE(nextTabStop(form.cmdFirst), form.cmdTeisei);
    form.cmdFirst->click();
    QCOMPARE(form.txtInput(1)->text(), fifth);
    QCOMPARE(form.txtInput(4)->text(), QString("2800"));
    form.cmdPrevious->click(); // off the front: stays on the first
    QCOMPARE(form.txtInput(0)->text(), QString("1"));
    frmInputKyoku songs(m_w->db, m_w);
    QCOMPARE(songs.windowTitle(), QString("曲登録"));
    QVERIFY(songs.findChild<QComboBox*>("dcoCD名"));
    QCOMPARE(songs.txtrsSub(14)->dataField(), QString("分野"));
    QCOMPARE(songs.findChild<QLabel*>("lblFieldLabel(20)")->text(), QString("分野"));
    QVERIFY(songs.findChild<DataCombo*>("DataCombo1(5)"));
    QCOMPARE(nextTabStop(songs.txtrsSub(14)), songs.cmdMasterUpdate);
    QCOMPARE(songs.txtrsSub(1)->text(), QString("5"));
    QCOMPARE(songs.dcoCDName->currentText(), bach);
}

void TestEntry::cdIdentifiersCountUpAndBack()
{
    start(); // an empty collection
    {
        frmInputCD form(m_w->db, m_w);
        QVERIFY(form.cmdAdd->isEnabled());
        for (QPushButton* b :
             {form.cmdUpdate, form.cmdCancel, form.cmdTeisei, form.cmdDelete, form.cmdNext})
            QVERIFY(!b->isEnabled());
        form.cmdAdd->click();
        QCOMPARE(form.txtInput(0)->text(), QString("1"));
        QVERIFY(!form.cmdAdd->isEnabled() && form.cmdUpdate->isEnabled()
                && form.cmdCancel->isEnabled() && !form.cmdTeisei->isEnabled());
        form.cmdCancel->click(); // the very first CD given up: the form is empty again
        QVERIFY(form.cmdAdd->isEnabled() && !form.cmdTeisei->isEnabled()
                && !form.cmdDelete->isEnabled());
        QCOMPARE(form.lngLastCDID, 0);
        form.cmdAdd->click();
        QCOMPARE(form.txtInput(0)->text(), QString("1"));
        type(form.txtInput(1), indy);
        form.cmdUpdate->click();
        QCOMPARE(readColumn(m_folder->path(), "cdname", "CDID"), QStringList{"1"});
        QVERIFY(form.cmdAdd->isEnabled() && form.cmdDelete->isEnabled()
                && form.cmdNext->isEnabled());
        form.cmdAdd->click();
        QCOMPARE(form.txtInput(0)->text(), QString("2"));
        form.cmdCancel->click();
        QCOMPARE(form.txtInput(0)->text(), QString("1")); // back on the stored CD
        form.cmdAdd->click();
        QCOMPARE(form.txtInput(0)->text(), QString("2"));
        form.cmdCancel->click();
    }
    // identifiers past 32767 are handed out as they are
    writeCollection(m_folder->path(), {cd(40000, "大きな番号のCD")}, {});
    m_w->reset();
    frmInputCD form(m_w->db, m_w);
    QCOMPARE(form.lngLastCDID, 40000);
    form.cmdAdd->click();
    type(form.txtInput(1), "次のCD");
    form.cmdUpdate->click();
    QCOMPARE(readColumn(m_folder->path(), "cdname", "CDID").last(), QString("40001"));
}

void TestEntry::duplicateTitleQuestion()
{
    writeSample(m_folder->path());
    start();
    frmInputCD form(m_w->db, m_w);
    form.cmdAdd->click();
    type(form.txtInput(1), indy.toUpper()); // letter case does not make another title
    MsgBoxSetNextAnswers({QMessageBox::No});
    form.cmdUpdate->click();
    QCOMPARE(answeredTexts(),
             QStringList{"氏名が重複しています。\n\n同ＣＤ名として登録しますか？"});
    QVERIFY(form.inAddMode());
    QCOMPARE(readColumn(m_folder->path(), "cdname", "CDID").size(), 4);
    QCOMPARE(form.txtInput(1)->text(), indy.toUpper());
    MsgBoxSetNextAnswers({QMessageBox::Yes});
    form.cmdUpdate->click();
    QCOMPARE(MsgBoxTakeAnswered().size(), 1);
    QVERIFY(!form.inAddMode());
    QCOMPARE(readColumn(m_folder->path(), "cdname", "CD名").last(), indy.toUpper());
    // a correction asks nothing about duplicates
    type(form.txtInput(1), fifth);
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    form.cmdTeisei->click();
    QCOMPARE(answeredTexts(), QStringList{"訂正されました"});
}

void TestEntry::typedDatesAndPrices()
{
    writeSample(m_folder->path());
    start();
    frmInputCD form(m_w->db, m_w);
    const QStringList ways{"02/1/31", "2002/1/31", "2002/01/31", "2002-01-31", "２００２/１/３１"};
    for (const QString& typed : ways) {
        form.cmdAdd->click();
        type(form.txtInput(1), "日付 " + typed);
        type(form.txtInput(3), typed);
        type(form.txtInput(4), "５０００");
        form.cmdUpdate->click();
        QCOMPARE(MsgBoxTakeAnswered().size(), 0);
        QCOMPARE(readColumn(m_folder->path(), "cdname", "購入年月日").last(),
                 QString("2002-01-31"));
        QCOMPARE(readColumn(m_folder->path(), "cdname", "購入価格").last(), QString("5000"));
        QCOMPARE(form.txtInput(3)->text(), QString("02/1/31"));
    }
    // the century window, and dates it cannot write with two digits
    const std::pair<QString, QString> years[] = {{"29/12/31", "2029-12-31"},
                                                 {"30/1/1", "1930-01-01"},
                                                 {"99/4/1", "1999-04-01"},
                                                 {"1925/5/1", "1925-05-01"}};
    for (const auto& [typed, stored] : years) {
        type(form.txtInput(3), typed);
        MsgBoxSetNextAnswers({QMessageBox::Ok});
        form.cmdTeisei->click();
        MsgBoxTakeAnswered();
        QCOMPARE(readColumn(m_folder->path(), "cdname", "購入年月日").last(), stored);
    }
    QCOMPARE(form.txtInput(3)->text(), QString("1925/5/1")); // shown so that it reads back the same
    // an emptied box stores no value; an untouched one is not rewritten
    type(form.txtInput(3), "");
    type(form.txtInput(4), "");
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    form.cmdTeisei->click();
    MsgBoxTakeAnswered();
    QCOMPARE(readColumn(m_folder->path(), "cdname", "購入年月日").last(), QString("<null>"));
    QCOMPARE(readColumn(m_folder->path(), "cdname", "購入価格").last(), QString("<null>"));
    QCOMPARE(readColumn(m_folder->path(), "cdname", "解説者").last(), QString("<null>"));
}

void TestEntry::refusedInputChangesNothing_data()
{
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("field");
    QTest::newRow("month 13") << 3 << "02/13/45"
                              << "購入年月日";
    QTest::newRow("not a date") << 3 << "abc"
                                << "購入年月日";
    QTest::newRow("31 February") << 3 << "2002/2/31"
                                 << "購入年月日";
    QTest::newRow("price in words") << 4 << "五千"
                                    << "購入価格";
    QTest::newRow("price with a fraction") << 4 << "12.5"
                                           << "購入価格";
}

// Whether adding or correcting, a text the field cannot take stops the save:
// the message names the field and the text, the form keeps its mode and the
// typing, and the file and the counter are as they were.
void TestEntry::refusedInputChangesNothing()
{
    QFETCH(int, box);
    QFETCH(QString, typed);
    QFETCH(QString, field);
    writeSample(m_folder->path());
    start();
    const QStringList before = fileRows(m_folder->path());
    frmInputCD form(m_w->db, m_w);
    form.cmdAdd->click();
    type(form.txtInput(1), "新しいCD");
    type(form.txtInput(box), typed);
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    form.cmdUpdate->click();
    const QList<MsgBoxRecord> shown = MsgBoxTakeAnswered();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown[0].text.contains(field) && shown[0].text.contains(typed),
             qPrintable(shown[0].text));
    QVERIFY(form.inAddMode());
    QCOMPARE(form.lngLastCDID, 5);
    QCOMPARE(form.txtInput(box)->text(), typed);
    QCOMPARE(form.txtInput(1)->text(), QString("新しいCD"));
    QCOMPARE(form.txtInput(0)->text(), QString("5"));
    QCOMPARE(fileRows(m_folder->path()), before);
    form.cmdCancel->click();
    // a correction refused the same way
    form.cmdFirst->click();
    type(form.txtInput(2), "新しい発売元");
    type(form.txtInput(box), typed);
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    form.cmdTeisei->click();
    QCOMPARE(MsgBoxTakeAnswered().size(), 1);
    QCOMPARE(form.txtInput(box)->text(), typed);
    QCOMPARE(form.txtInput(2)->text(), QString("新しい発売元"));
    QCOMPARE(fileRows(m_folder->path()), before);
}

void TestEntry::saveRefusedWhileAnotherProgramWrites()
{
    writeSample(m_folder->path());
    start();
    const QStringList before = fileRows(m_folder->path());
    frmInputCD form(m_w->db, m_w);
    form.cmdAdd->click();
    type(form.txtInput(1), "ロック中に入力したCD");
    {
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other");
        other.setDatabaseName(m_folder->file("cdkaisou.db"));
        QVERIFY(other.open());
        QSqlQuery lock(other);
        QVERIFY(lock.exec("BEGIN IMMEDIATE"));
        MsgBoxSetNextAnswers({QMessageBox::Ok});
        form.cmdUpdate->click();
        const QList<MsgBoxRecord> shown = MsgBoxTakeAnswered();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].text.contains("使用中"), qPrintable(shown[0].text));
        QVERIFY(form.inAddMode());
        QCOMPARE(form.txtInput(1)->text(), QString("ロック中に入力したCD"));
        QVERIFY(lock.exec("ROLLBACK"));
        other.close();
    }
    QSqlDatabase::removeDatabase("other");
    QCOMPARE(fileRows(m_folder->path()), before);
    form.cmdUpdate->click(); // the lock is gone: the same typing is stored
    QCOMPARE(MsgBoxTakeAnswered().size(), 0);
    QCOMPARE(readColumn(m_folder->path(), "cdname", "CD名").last(),
             QString("ロック中に入力したCD"));
}

void TestEntry::deleteCascadeAsksAndCounts()
{
    writeSample(m_folder->path());
    start();
    frmInputCD form(m_w->db, m_w);
    form.cmdFirst->click(); // the fifth symphony, with three songs
    MsgBoxSetNextAnswers({QMessageBox::Yes, QMessageBox::Cancel});
    form.cmdDelete->click();
    const QList<MsgBoxRecord> asked = MsgBoxTakeAnswered();
    QCOMPARE(asked.size(), 2);
    QCOMPARE(asked[0].text, QString("表示中のCDを削除します。\nよろしいですか。"));
    QCOMPARE(asked[0].title, QString("削除"));
    QCOMPARE(asked[0].icon, QMessageBox::Question);
    QCOMPARE(asked[1].text,
             QString("削除しようとしているCDには曲が3曲含まれています。\n\n"
                     "CDを削除するとこれらの曲も削除されます。\n\n削除しますか？"));
    QCOMPARE(asked[1].buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(readColumn(m_folder->path(), "kyoku", "曲ID").size(), 5);
    MsgBoxSetNextAnswers({QMessageBox::No});
    form.cmdDelete->click();
    QCOMPARE(MsgBoxTakeAnswered().size(), 1);
    QCOMPARE(readColumn(m_folder->path(), "cdname", "CDID").size(), 4);
    MsgBoxSetNextAnswers({QMessageBox::Yes, QMessageBox::Ok});
    form.cmdDelete->click();
    QCOMPARE(MsgBoxTakeAnswered().size(), 2);
    QCOMPARE(readColumn(m_folder->path(), "cdname", "CDID"), (QStringList{"2", "3", "4"}));
    QCOMPARE(readColumn(m_folder->path(), "kyoku", "曲ID"), (QStringList{"3", "5"}));
    QCOMPARE(form.txtInput(0)->text(), QString("4")); // the last CD is shown
    // a CD without songs: asked once
    form.cmdFirst->click();
    QCOMPARE(form.txtInput(0)->text(), QString("2"));
    MsgBoxSetNextAnswers({QMessageBox::Yes, QMessageBox::Ok});
    form.cmdDelete->click();
    QCOMPARE(MsgBoxTakeAnswered().size(), 2); // d'Indy has one song
    MsgBoxSetNextAnswers({QMessageBox::Yes});
    form.cmdDelete->click(); // CD 4, a namesake of CD 3
    QCOMPARE(MsgBoxTakeAnswered().size(), 1);
    // the last CD of the collection is never deleted
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    form.cmdDelete->click();
    const QList<MsgBoxRecord> last = MsgBoxTakeAnswered();
    QCOMPARE(last.value(0).text, QString("このCDは削除できません。訂正してください！"));
    QCOMPARE(last.value(0).icon, QMessageBox::Critical);
    QCOMPARE(readColumn(m_folder->path(), "cdname", "CDID"), QStringList{"3"});
}

// A refusal half-way through the songs (here a trigger, as a full disk or a
// lost lock would) leaves the CD and every one of its songs in place.
void TestEntry::deleteCascadeIsOneTransaction()
{
    writeSample(m_folder->path());
    {
        Connection c(m_folder->file("cdkaisou.db"));
        c.column("CREATE TRIGGER keep4 BEFORE DELETE ON kyoku WHEN old.曲ID = 4 "
                 "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    }
    start();
    const QStringList before = fileRows(m_folder->path());
    frmInputCD form(m_w->db, m_w);
    form.cmdFirst->click();
    MsgBoxSetNextAnswers({QMessageBox::Yes, QMessageBox::Ok, QMessageBox::Ok});
    form.cmdDelete->click();
    const QList<MsgBoxRecord> shown = MsgBoxTakeAnswered();
    QCOMPARE(shown.size(), 3);
    QVERIFY2(shown[2].text.contains("refused"), qPrintable(shown[2].text));
    QCOMPARE(fileRows(m_folder->path()), before);
    QCOMPARE(form.txtInput(0)->text(), QString("1")); // still on the CD it tried to delete
    QCOMPARE(db().songsOfCD()->recordCount(), 3);
    QCOMPARE(db().cds()->recordCount(), 4);
}

void TestEntry::namesakeKeepsItsSongs()
{
    writeSample(m_folder->path());
    start();
    frmInputCD form(m_w->db, m_w);
    form.cmdLast->click();
    form.cmdPrevious->click();
    QCOMPARE(form.txtInput(0)->text(), QString("3"));
    MsgBoxSetNextAnswers({QMessageBox::Yes});
    form.cmdDelete->click();
    QCOMPARE(MsgBoxTakeAnswered().size(), 1); // no question about songs: CD 4 keeps them
    QCOMPARE(readColumn(m_folder->path(), "kyoku", "曲ID"), (QStringList{"1", "2", "3", "4", "5"}));
    QCOMPARE(readColumn(m_folder->path(), "cdname", "CDID"), (QStringList{"1", "2", "4"}));
}

void TestEntry::correctedTitleTakesItsSongs()
{
    writeSample(m_folder->path());
    start();
    frmInputCD form(m_w->db, m_w);
    form.cmdFirst->click();
    const QString renamed = "ベートーヴェン：交響曲第5番「運命」";
    type(form.txtInput(1), renamed);
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    form.cmdTeisei->click();
    QCOMPARE(answeredTexts(), QStringList{"訂正されました"});
    QCOMPARE(readColumn(m_folder->path(), "kyoku", "CD名"),
             (QStringList{renamed, renamed, indy, renamed, bach}));
    QCOMPARE(db().songsOfCD()->recordCount(), 3);
    // a title another CD still bears keeps its songs with that CD
    form.cmdLast->click();
    type(form.txtInput(1), "バッハ：パルティータ");
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    form.cmdTeisei->click();
    MsgBoxTakeAnswered();
    QCOMPARE(readColumn(m_folder->path(), "kyoku", "CD名").last(), bach);
    QCOMPARE(readColumn(m_folder->path(), "cdname", "CD名").last(),
             QString("バッハ：パルティータ"));
}

void TestEntry::addModeGuardsAndFrameClose()
{
    writeSample(m_folder->path());
    start();
    const QStringList before = fileRows(m_folder->path());
    auto* form = new frmInputCD(m_w->db, m_w);
    form->show();
    form->cmdAdd->click();
    type(form->txtInput(1), "途中のCD");
    const QString wait = "確定か、キャンセルをクリックしてからにしてください";
    MsgBoxSetNextAnswers({QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok});
    form->cmdNext->click();
    form->cmdDelete->click();
    form->cmdQuit->click();
    QCOMPARE(answeredTexts(), (QStringList{wait, wait, wait}));
    QCOMPARE(form->txtInput(1)->text(), QString("途中のCD"));
    QCOMPARE(form->txtInput(0)->text(), QString("5"));
    // closed by the window frame in add mode: nothing stored, the main window rebuilt
    QPointer<frmInputCD> guard(form);
    form->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!guard);
    QCOMPARE(fileRows(m_folder->path()), before);
    frmInputCD again(m_w->db, m_w);
    QCOMPARE(again.lngLastCDID, 4);
    QCOMPARE(MsgBoxTakeAnswered().size(), 0);
    // the song form refuses a close in add mode
    auto* songs = new frmInputKyoku(m_w->db, m_w);
    songs->show();
    songs->cmdMasterAdd->click();
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    songs->close();
    QCOMPARE(answeredTexts(), QStringList{wait});
    QVERIFY(songs->isVisible());
    songs->cmdMasterCancel->click();
    songs->close();
}

void TestEntry::listsOfferNewValuesAtOnce()
{
    writeSample(m_folder->path());
    start();
    frmInputCD form(m_w->db, m_w);
    form.show();
    form.cmdAdd->click();
    type(form.txtInput(1), "新譜");
    type(form.txtInput(2), "アルファ・クラシックス");
    form.cmdUpdate->click();
    form.dcoHatubai->showPopup();
    form.dcoHatubai->hidePopup();
    QVERIFY(form.dcoHatubai->findText("アルファ・クラシックス") >= 0);
    // a pick in the list is copied into its box; the box is what is stored
    form.dcoHatubai->setCurrentIndex(form.dcoHatubai->findText("エラート"));
    QCOMPARE(form.txtInput(2)->text(), QString("アルファ・クラシックス"));
    emit form.dcoHatubai->textActivated("エラート");
    QCOMPARE(form.txtInput(2)->text(), QString("エラート"));
    emit form.dcoKaisetu->textActivated("解説の人");
    QCOMPARE(form.txtInput(5)->text(), QString("解説の人"));
    frmInputKyoku songs(m_w->db, m_w);
    songs.show();
    songs.txtrsSub(3)->setText("ヒンデミット");
    songs.txtrsSub(14)->setText("室内楽");
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    songs.cmdTeisei->click();
    QCOMPARE(answeredTexts(), QStringList{"訂正されました"});
    songs.DataCombo1(0)->showPopup();
    songs.DataCombo1(0)->hidePopup();
    QVERIFY(songs.DataCombo1(0)->findText("ヒンデミット") >= 0);
    QVERIFY(db().valueList(Collection::ValueList::Bunya)->recordCount() > 0);
    QStringList genres;
    for (int r = 0; r < db().valueList(Collection::ValueList::Bunya)->recordCount(); ++r)
        genres << db().valueList(Collection::ValueList::Bunya)->valueAt(r, 0).toString();
    QVERIFY(genres.contains("室内楽"));
}

void TestEntry::songFormAddCopyAndSave()
{
    writeSample(m_folder->path());
    start();
    QApplication::clipboard()->setText("ユーザーのクリップボード");
    frmInputKyoku form(m_w->db, m_w);
    form.cmdNext->click(); // a stored song is shown: the copy refuses outside add mode
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    form.cmd1copy->click();
    QCOMPARE(MsgBoxTakeAnswered().size(), 1);
    form.cmdTop->click();
    form.cmdNext->click();
    form.cmdNext->click();
    form.cmdNext->click(); // 曲ID 4, of the fifth symphony
    QCOMPARE(form.dcoCDName->currentText(), fifth);
    form.cmdLast->click();
    form.cmdMasterAdd->click();
    QCOMPARE(form.txtrsSub(1)->text(), QString("6"));
    QCOMPARE(form.dcoCDName->currentText(), bach); // the CD of the song shown before
    QVERIFY(!form.cmdMasterAdd->isEnabled() && !form.cmdDelete->isEnabled()
            && !form.cmdTeisei->isEnabled());
    form.cmd1copy->click();
    QCOMPARE(form.txtrsSub(1)->text(), QString("6"));
    QCOMPARE(form.txtrsSub(2)->text(), QString("アリア"));
    QCOMPARE(form.txtrsSub(3)->text(), QString("バッハ"));
    QCOMPARE(QApplication::clipboard()->text(), QString("ユーザーのクリップボード"));
    type(form.txtrsSub(2), "第1変奏");
    form.cmdMasterUpdate->click();
    QCOMPARE(MsgBoxTakeAnswered().size(), 0);
    QCOMPARE(readColumn(m_folder->path(), "kyoku", "曲名").last(), QString("第1変奏"));
    QCOMPARE(readColumn(m_folder->path(), "kyoku", "作曲者名").last(), QString("バッハ"));
    QCOMPARE(readColumn(m_folder->path(), "kyoku", "CD名").last(), bach);
    QCOMPARE(readColumn(m_folder->path(), "kyoku", "曲ID").last(), QString("6"));
    QVERIFY(form.cmdMasterAdd->isEnabled() && form.cmdDelete->isEnabled());
    QCOMPARE(form.txtrsSub(1)->text(), QString("6")); // the new song, last, is shown
    // 追加 then キャンセル hands out the same number again
    form.cmdMasterAdd->click();
    form.cmdMasterCancel->click();
    form.cmdMasterAdd->click();
    QCOMPARE(form.txtrsSub(1)->text(), QString("7"));
    form.cmdMasterCancel->click();
    QCOMPARE(readColumn(m_folder->path(), "kyoku", "曲ID").size(), 6);
}

void TestEntry::songFormRefusals()
{
    writeSample(m_folder->path());
    start();
    const QStringList before = fileRows(m_folder->path());
    frmInputKyoku form(m_w->db, m_w);
    form.cmdMasterAdd->click();
    form.dcoCDName->setEditText("");
    MsgBoxSetNextAnswers({QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok});
    form.cmdMasterUpdate->click(); // chooser and title both empty: the CD is named
    form.dcoCDName->setEditText(fifth);
    form.cmdMasterUpdate->click();
    form.dcoCDName->setEditText("存在しないCD");
    type(form.txtrsSub(2), "新しい曲");
    form.cmdMasterUpdate->click();
    const QList<MsgBoxRecord> shown = MsgBoxTakeAnswered();
    QCOMPARE(shown.size(), 3);
    QCOMPARE(shown[0].text, QString("CD名が選択されていません！"));
    QCOMPARE(shown[0].icon, QMessageBox::Warning);
    QCOMPARE(shown[1].text, QString("曲名が入力されていません！"));
    QVERIFY(shown[2].text.contains("存在しないCD"));
    QVERIFY(form.inAddMode());
    QCOMPARE(fileRows(m_folder->path()), before);
    form.cmdMasterCancel->click();
    // 訂正 with an empty chooser; the last song is never deleted
    form.dcoCDName->setEditText("");
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    form.cmdTeisei->click();
    const QList<MsgBoxRecord> teisei = MsgBoxTakeAnswered();
    QCOMPARE(teisei.value(0).title, QString("エラー"));
    QCOMPARE(teisei.value(0).icon, QMessageBox::Critical);
    QCOMPARE(fileRows(m_folder->path()), before);
}

// A click in the grid moves the song view, and the chooser follows, so that
// 訂正 keeps the song on its own CD.
void TestEntry::chooserFollowsTheGrid()
{
    writeSample(m_folder->path());
    start();
    frmInputKyoku form(m_w->db, m_w);
    form.show();
    QTableView* table = form.dgdSub->table();
    const QModelIndex third = table->model()->index(2, 2);
    table->setCurrentIndex(third);
    QCOMPARE(form.txtrsSub(1)->text(), QString("3"));
    QCOMPARE(form.dcoCDName->currentText(), indy);
    type(form.txtrsSub(12), "サル・プレイエル");
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    form.cmdTeisei->click();
    MsgBoxTakeAnswered();
    QCOMPARE(readColumn(m_folder->path(), "kyoku", "CD名").at(2), indy);
    QCOMPARE(readColumn(m_folder->path(), "kyoku", "録音会場").at(2), QString("サル・プレイエル"));
    // moving a song to another CD on purpose
    form.dcoCDName->setEditText(bach);
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    form.cmdTeisei->click();
    MsgBoxTakeAnswered();
    QCOMPARE(readColumn(m_folder->path(), "kyoku", "CD名").at(2), bach);
}

void TestEntry::songDeleteMovesOn()
{
    writeSample(m_folder->path());
    start();
    frmInputKyoku form(m_w->db, m_w);
    form.cmdTop->click();
    form.cmdNext->click();
    MsgBoxSetNextAnswers({QMessageBox::Yes});
    form.cmdDelete->click();
    const QList<MsgBoxRecord> asked = MsgBoxTakeAnswered();
    QCOMPARE(asked.value(0).text, QString("表示中の曲を削除します。\nよろしいですか。"));
    QCOMPARE(readColumn(m_folder->path(), "kyoku", "曲ID"), (QStringList{"1", "3", "4", "5"}));
    QCOMPARE(form.txtrsSub(1)->text(), QString("3")); // the song that followed
    form.cmdLast->click();
    MsgBoxSetNextAnswers({QMessageBox::Yes});
    form.cmdDelete->click();
    MsgBoxTakeAnswered();
    QCOMPARE(form.txtrsSub(1)->text(), QString("4")); // the deleted one was last
}

// Through the menu, as a user: the form opens modally, and when it closes the
// main window shows what was entered.
void TestEntry::mainWindowShowsTheChanges()
{
    writeSample(m_folder->path());
    start();
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("4 / 4"));
    QVERIFY(m_w->findChild<QAction*>("mnuCDinput")->isEnabled());
    bool drove = false;
    QTimer::singleShot(0, [&] {
        auto* form = qobject_cast<frmInputCD*>(QApplication::activeModalWidget());
        QVERIFY(form);
        form->cmdAdd->click();
        type(form->txtInput(1), "メインに出るCD");
        form->cmdUpdate->click();
        drove = !form->inAddMode(); // a refused save is given up: the form closes, no hang
        form->cmdCancel->click();
        form->cmdQuit->click();
    });
    m_w->findChild<QAction*>("mnuCDinput")->trigger();
    QVERIFY(drove);
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("5 / 5"));
    QCOMPARE(txtrs(m_w, 1)->text(), QString("メインに出るCD"));
    drove = false;
    QTimer::singleShot(0, [&] {
        auto* form = qobject_cast<frmInputKyoku*>(QApplication::activeModalWidget());
        QVERIFY(form);
        form->cmdMasterAdd->click();
        form->dcoCDName->setEditText("メインに出るCD");
        type(form->txtrsSub(2), "新しい曲");
        form->cmdMasterUpdate->click();
        drove = !form->inAddMode();
        form->cmdMasterCancel->click();
        form->Command1->click();
    });
    auto* toolbar = m_w->findChild<QToolBar*>("tbToolBar");
    toolbar->findChild<QAction*>("変更")->trigger();
    QVERIFY(drove);
    QCOMPARE(lblRcount(m_w, 0)->text(), QString("1 / 6"));
    QCOMPARE(txtrs(m_w, 8)->text(), QString("新しい曲"));
}

// The copy of the song before takes every one of its fields, the last (分野)
// included; only the new 曲ID stays the new song's own.
void TestEntry::songCopyTakesEveryField()
{
    QVariantMap full;
    const QStringList names
        = {"作曲者名",   "編曲者名", "指揮者名",   "演奏団体", "ソリスト", "録音先",
           "録音先番号", "録音時間", "録音年月日", "録音会場", "原盤番号", "分野"};
    for (const QString& name : names)
        full.insert(name, QString(name + "の値"));
    writeCollection(m_folder->path(), {cd(1, bach)}, {song(bach, 1, "アリア", full)});
    start();
    frmInputKyoku form(m_w->db, m_w);
    form.cmdLast->click();
    form.cmdMasterAdd->click();
    form.cmd1copy->click();
    form.cmdMasterUpdate->click();
    QCOMPARE(MsgBoxTakeAnswered().size(), 0);
    QCOMPARE(readColumn(m_folder->path(), "kyoku", "曲ID"), (QStringList{"1", "2"}));
    for (const QString& column : QStringList{"CD名", "曲名"} + names) {
        const QStringList values = readColumn(m_folder->path(), "kyoku", column);
        QCOMPARE(values.size(), 2);
        QVERIFY2(values[1] == values[0], qPrintable(column + ": " + values[1]));
    }
}

// Typing part of a title into the song form's CD chooser offers every title
// that contains it, as quick find compares, in Japanese order; picking one
// chooses it.
void TestEntry::cdChooserOffersTitlesContainingTheTyped()
{
    const QString baroque = "ばろっく交響曲集";
    const QString dandy = "ダンディ：交響曲";
    writeCollection(m_folder->path(),
                    {cd(1, baroque), cd(2, fifth), cd(3, dandy), cd(4, "モーツァルト：レクイエム")},
                    {});
    start();
    frmInputKyoku form(m_w->db, m_w);
    form.show();
    auto* offers = form.findChild<QCompleter*>("dcoCD名_offers");
    QVERIFY(offers);
    auto type = [&](const QString& text) {
        QLineEdit* edit = form.dcoCDName->lineEdit();
        edit->clear();
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(edit, &press);
        }
        QStringList shown;
        for (int r = 0; r < offers->completionModel()->rowCount(); ++r)
            shown << offers->completionModel()->index(r, 0).data().toString();
        return shown;
    };
    // だ before ば before べ, though ば comes first by code
    QCOMPARE(type("交響曲"), (QStringList{dandy, baroque, fifth}));
    QCOMPARE(type("べーとーべん"), QStringList{fifth}); // ヴェ found as ベ, in hiragana
    QCOMPARE(type("ﾊﾞﾛｯｸ"), QStringList{baroque}); // half-width katakana
    QCOMPARE(type("ワーグナー"), QStringList{});
    type("交響曲");
    QAbstractItemView* popup = offers->popup();
    popup->setCurrentIndex(offers->completionModel()->index(1, 0));
    QTest::keyClick(popup, Qt::Key_Return);
    QCOMPARE(form.dcoCDName->currentText(), baroque);
    QCOMPARE(form.dcoCDName->currentIndex(), form.dcoCDName->findText(baroque));
}

RONDELLA_TEST_MAIN(TestEntry)
#include "tst_entry.moc"
