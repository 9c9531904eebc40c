// Quick find in the main window: every field of a CD and of its songs, the
// words together, shown as a CD search, cleared by Esc, the reset command and
// an extraction.
#include "mainui.h"
#include "mainwindow/frmmain.h"
#include "store/collection.h"
#include "testsupport.h"

#include <QAction>
#include <QKeyEvent>
#include <QTableView>
#include <QTest>

namespace {

const QString fifth = QStringLiteral("ベートーヴェン：交響曲第5番");
const QString mass = QStringLiteral("バッハ：ロ短調ミサ曲");

// Each rule shows on its own CD: a word only in a song field (カラヤン), only
// in a CD field (東芝EMI), a spelling apart (ベートーベン), two CDs of one title
// (the mass, whose soloist is 石川　道雄), a CD without songs.
void writeShelf(const QString& folder)
{
    writeCollection(
        folder,
        {cd(1, fifth, {{"発売元", "東芝EMI"}}), cd(2, mass, {{"発売元", "DG"}}),
         cd(3, mass, {{"解説者", "吉田秀和"}}), cd(4, "ｼﾞｬｽﾞ名演集"),
         cd(5, "ブラームス：交響曲第1番", {{"発売元", "東芝EMI"}})},
        {song(fifth, 1, "第1楽章", {{"作曲者名", "ベートーヴェン"}, {"指揮者名", "カラヤン"}}),
         song(fifth, 2, "第2楽章", {{"作曲者名", "ベートーヴェン"}}),
         song(mass, 3, "キリエ", {{"作曲者名", "J.S.バッハ"}, {"ソリスト", "石川　道雄"}}),
         song(mass, 4, "グローリア", {{"作曲者名", "J.S.バッハ"}})});
}

} // namespace

class TestQuickFind : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void everyFieldOfACdAndItsSongs();
    void wordsMustAllOccur();
    void captionCountersAndMarkedSongs();
    void escResetAndExtractionClearIt();

private:
    QStringList find(const QString& typed);
    std::unique_ptr<StartupFolder> m_folder;
    QPointer<frmMain> m_w;
};

void TestQuickFind::init()
{
    m_folder = std::make_unique<StartupFolder>();
    writeShelf(m_folder->path());
    m_w = startMain();
    QVERIFY(m_w);
}

void TestQuickFind::cleanup()
{
    endTest(m_w, m_folder);
}

// Types the text as a user does and returns the CDIDs the CD grid then lists.
QStringList TestQuickFind::find(const QString& typed)
{
    QLineEdit* field = named<QLineEdit>(m_w, "txtQuickFind");
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    for (const QChar c : typed) { // one key at a time, as typed (keyClicks knows ASCII only)
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(field, &press);
    }
    // applied once the typing pauses
    QTest::qWait(200);
    QStringList ids;
    const View& cds = *db().cds();
    for (int r = 0; r < cds.recordCount(); ++r)
        ids << cds.valueAt(r, 0).toString();
    return ids;
}

void TestQuickFind::everyFieldOfACdAndItsSongs()
{
    QCOMPARE(find("カラヤン"), QStringList{"1"}); // a song's conductor
    QCOMPARE(m_w->displayState(), DisplayState::CDSearch);
    QCOMPARE(find("東芝"), (QStringList{"1", "5"})); // a CD's label
    QCOMPARE(find("ベートーベン"), QStringList{"1"}); // ヴェ typed as ベ
    QCOMPARE(find("石川道雄"), (QStringList{"2", "3"})); // the songs of both CDs of one title
    QCOMPARE(find("吉田"), QStringList{"3"}); // only the second of the two
    QCOMPARE(find("じゃず"), QStringList{"4"}); // hiragana, and half-width stored
    QCOMPARE(find("ワーグナー"), QStringList{});
    QCOMPARE(m_w->displayState(), DisplayState::CDSearch);
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("0 / 5"));
    QVERIFY(answeredTexts().isEmpty()); // typing is never interrupted by a box
}

void TestQuickFind::wordsMustAllOccur()
{
    QCOMPARE(find("ベートーヴェン 東芝EMI"), QStringList{"1"}); // a song field and a CD field
    QCOMPARE(find("バッハ　東芝"), QStringList{});
    QCOMPARE(find("交響曲 東芝"), (QStringList{"1", "5"}));
    QCOMPARE(find("交響曲 第1楽章"), QStringList{"1"});
}

void TestQuickFind::captionCountersAndMarkedSongs()
{
    QCOMPARE(find("キリエ"), (QStringList{"2", "3"}));
    QCOMPARE(DataGrid2(m_w)->caption(), QString("すべての項目：キリエ"));
    QCOMPARE(db().strCriteria(), QString("すべての項目：キリエ"));
    QCOMPARE(lblCDdata(m_w)->text(), QString("ＣＤ検索中"));
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("2 / 5"));
    QCOMPARE(lblRcount(m_w, 0)->text(), QString("2 / 4"));
    // the song that holds the word is bold and marked in its row header; the other is not
    QAbstractItemModel* songs = DataGrid1(m_w)->table()->model();
    QCOMPARE(songs->rowCount(), 2);
    QVERIFY(songs->index(0, 2).data(Qt::FontRole).value<QFont>().bold());
    QVERIFY(!songs->index(1, 2).data(Qt::FontRole).value<QFont>().bold());
    QCOMPARE(songs->headerData(0, Qt::Vertical).toString(), QString("●"));
    QCOMPARE(songs->headerData(1, Qt::Vertical).toString(), QString());
    // navigation stays within the found CDs
    cmdLast(m_w)->click();
    QCOMPARE(txtrs(m_w, 0)->text(), QString("3"));
    // and the sort orders the found CDs only, as after a CD search
    QCOMPARE(find("交響曲"), (QStringList{"1", "5"}));
    m_w->findChild<QAction*>("mnuCDs")->trigger();
    QCOMPARE(db().cds()->recordCount(), 2);
    QCOMPARE(db().cds()->valueAt(0, 0).toString(), QString("5")); // ブ before ベ
    QCOMPARE(DataGrid2(m_w)->caption(), QString("すべての項目：交響曲"));
}

void TestQuickFind::escResetAndExtractionClearIt()
{
    QLineEdit* field = named<QLineEdit>(m_w, "txtQuickFind");
    QCOMPARE(field->placeholderText(), QString("すべての項目から探す"));
    find("東芝");
    QTest::keyClick(field, Qt::Key_Escape);
    QCOMPARE(m_w->displayState(), DisplayState::AllData);
    QCOMPARE(field->text(), QString());
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("5 / 5"));
    // emptying the field is the reset command
    find("東芝");
    QCOMPARE(find(""), (QStringList{"1", "2", "3", "4", "5"}));
    QCOMPARE(m_w->displayState(), DisplayState::AllData);
    // the reset command empties it, and so does an extraction
    find("東芝");
    m_w->findChild<QAction*>("mnuReset")->trigger();
    QCOMPARE(field->text(), QString());
    find("東芝");
    Check1(m_w, 10)->setChecked(true);
    cmdFilter(m_w)->click();
    QCOMPARE(field->text(), QString());
    QCOMPARE(m_w->displayState(), DisplayState::AllSongs);
    QCOMPARE(DataGrid1(m_w)->table()->model()->headerData(0, Qt::Vertical).toString(), QString());
    // Ctrl+F brings the typing to the field
    QApplication::setActiveWindow(m_w);
    cmdNext(m_w)->setFocus();
    QTest::keyClick(cmdNext(m_w), Qt::Key_F, Qt::ControlModifier);
    QVERIFY(field->hasFocus());
}

RONDELLA_TEST_MAIN(TestQuickFind)
#include "tst_quickfind.moc"
