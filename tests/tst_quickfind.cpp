// Quick find in the main window: every field of a CD and of its songs, the
// words together, shown as a CD search, cleared by Esc, the reset command and
// an extraction.
#include "mainui.h"
#include "mainwindow/frmmain.h"
#include "store/collection.h"
#include "testsupport.h"

#include <QTableView>
#include <QTest>

class TestQuickFind : public MainWindowTest {
    Q_OBJECT
private slots:
    void init();
    void everyWordInAnyFieldOfACdOrItsSongs_data();
    void everyWordInAnyFieldOfACdOrItsSongs();
    void captionCountersAndMarkedSongs();
    void escResetAndExtractionClearIt();

private:
    QLineEdit* field() const { return named<QLineEdit>(m_w, u"txtQuickFind"_s); }
    QStringList find(const QString& typed);
};

const QString fifth = u"ベートーヴェン：交響曲第5番"_s;
const QString mass = u"バッハ：ロ短調ミサ曲"_s;

// Each rule shows on its own CD: a word only in a song field (カラヤン), only
// in a CD field (東芝EMI), a spelling apart (ベートーベン), two CDs of one title
// (the mass, whose soloist is 石川　道雄), a CD without songs.
void TestQuickFind::init()
{
    MainWindowTest::init();
    writeCollection(m_folder->path(),
                    {cd(1, fifth, {{u"発売元"_s, u"東芝EMI"_s}}),
                     cd(2, mass, {{u"発売元"_s, u"DG"_s}}),
                     cd(3, mass, {{u"解説者"_s, u"吉田秀和"_s}}), cd(4, u"ｼﾞｬｽﾞ名演集"_s),
                     cd(5, u"ブラームス：交響曲第1番"_s, {{u"発売元"_s, u"東芝EMI"_s}})},
                    {song(fifth, 1, u"第1楽章"_s,
                          {{u"作曲者名"_s, u"ベートーヴェン"_s}, {u"指揮者名"_s, u"カラヤン"_s}}),
                     song(fifth, 2, u"第2楽章"_s, {{u"作曲者名"_s, u"ベートーヴェン"_s}}),
                     song(mass, 3, u"キリエ"_s,
                          {{u"作曲者名"_s, u"J.S.バッハ"_s}, {u"ソリスト"_s, u"石川　道雄"_s}}),
                     song(mass, 4, u"グローリア"_s, {{u"作曲者名"_s, u"J.S.バッハ"_s}})});
    QVERIFY(start());
}

// Types the text over the field's as a user does, then Return, and returns
// the CDIDs the CD grid lists once the typing has paused.
QStringList TestQuickFind::find(const QString& typed)
{
    field()->setFocus();
    QTest::keyClick(field(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field(), Qt::Key_Backspace);
    typeKeys(field(), typed);
    QTest::keyClick(field(), Qt::Key_Return);
    QTest::qWait(250);
    QStringList ids;
    for (int r = 0; r < db().cds()->recordCount(); ++r)
        ids << db().cds()->valueAt(r, 0).toString();
    return ids;
}

void TestQuickFind::everyWordInAnyFieldOfACdOrItsSongs_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("found");
    QTest::newRow("a song's conductor") << u"カラヤン"_s << QStringList{u"1"_s};
    QTest::newRow("a CD's label") << u"東芝"_s << QStringList{u"1"_s, u"5"_s};
    QTest::newRow("ヴェ typed as ベ") << u"ベートーベン"_s << QStringList{u"1"_s};
    QTest::newRow("both CDs of one title") << u"石川道雄"_s << QStringList{u"2"_s, u"3"_s};
    QTest::newRow("the second of them alone") << u"吉田"_s << QStringList{u"3"_s};
    QTest::newRow("a CD's own title, half-width") << u"じゃず"_s << QStringList{u"4"_s};
    QTest::newRow("nowhere") << u"ワーグナー"_s << QStringList{};
    QTest::newRow("a song field and a CD field")
        << u"ベートーヴェン 東芝EMI"_s << QStringList{u"1"_s};
    QTest::newRow("one word missing") << u"バッハ　東芝"_s << QStringList{};
    QTest::newRow("both in CD fields") << u"交響曲 東芝"_s << QStringList{u"1"_s, u"5"_s};
    QTest::newRow("a title and a song") << u"交響曲 第1楽章"_s << QStringList{u"1"_s};
}

void TestQuickFind::everyWordInAnyFieldOfACdOrItsSongs()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, found);
    QCOMPARE(find(typed), found);
    QCOMPARE(m_w->displayState(), DisplayState::CDSearch);
    QCOMPARE(lblRcount(m_w, 3)->text(), u"%1 / 5"_s.arg(found.size()));
    QVERIFY(answeredTexts().isEmpty()); // typing is never interrupted by a box
}

void TestQuickFind::captionCountersAndMarkedSongs()
{
    QCOMPARE(find(u"キリエ"_s), (QStringList{u"2"_s, u"3"_s}));
    QCOMPARE(DataGrid2(m_w)->caption(), u"すべての項目：キリエ"_s);
    QCOMPARE(db().strCriteria(), u"すべての項目：キリエ"_s);
    QCOMPARE(lblCDdata(m_w)->text(), u"ＣＤ検索中"_s);
    QCOMPARE(lblRcount(m_w, 0)->text(), u"2 / 4"_s);
    // the song that holds the word is bold and marked in its row header; the other is not
    QAbstractItemModel* songs = DataGrid1(m_w)->table()->model();
    QCOMPARE(songs->rowCount(), 2);
    QVERIFY(songs->index(0, 2).data(Qt::FontRole).value<QFont>().bold());
    QVERIFY(!songs->index(1, 2).data(Qt::FontRole).value<QFont>().bold());
    QCOMPARE(songs->headerData(0, Qt::Vertical).toString(), u"●"_s);
    QCOMPARE(songs->headerData(1, Qt::Vertical).toString(), QString());
    cmdLast(m_w)->click(); // navigation stays within the found CDs
    QCOMPARE(txtrs(m_w, 0)->text(), u"3"_s);
    // the sort orders the found CDs only, as after a CD search
    QCOMPARE(find(u"交響曲"_s), (QStringList{u"1"_s, u"5"_s}));
    trigger(m_w, u"mnuCDs"_s);
    QCOMPARE(db().cds()->recordCount(), 2);
    QCOMPARE(db().cds()->valueAt(0, 0).toString(), u"5"_s); // ブ before ベ
    QCOMPARE(DataGrid2(m_w)->caption(), u"すべての項目：交響曲"_s);
}

void TestQuickFind::escResetAndExtractionClearIt()
{
    QCOMPARE(field()->placeholderText(), u"すべての項目から探す"_s);
    find(u"東芝"_s);
    QTest::keyClick(field(), Qt::Key_Escape);
    QCOMPARE(m_w->displayState(), DisplayState::AllData);
    QCOMPARE(field()->text(), QString());
    QCOMPARE(lblRcount(m_w, 3)->text(), u"5 / 5"_s);
    // Esc before the typing pauses: the search never runs
    typeKeys(field(), u"東芝"_s);
    QTest::keyClick(field(), Qt::Key_Escape);
    QTest::qWait(250);
    QCOMPARE(m_w->displayState(), DisplayState::AllData);
    // emptying the field is the reset command
    find(u"東芝"_s);
    QCOMPARE(find(QString()), (QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s}));
    QCOMPARE(m_w->displayState(), DisplayState::AllData);
    // the reset command empties it, and so does an extraction
    find(u"東芝"_s);
    trigger(m_w, u"mnuReset"_s);
    QCOMPARE(field()->text(), QString());
    find(u"東芝"_s);
    Check1(m_w, 10)->setChecked(true);
    cmdFilter(m_w)->click();
    QCOMPARE(field()->text(), QString());
    QCOMPARE(m_w->displayState(), DisplayState::AllSongs);
    QCOMPARE(DataGrid1(m_w)->table()->model()->headerData(0, Qt::Vertical).toString(), QString());
    // Ctrl+F brings the typing to the field
    QApplication::setActiveWindow(m_w);
    cmdNext(m_w)->setFocus();
    QTest::keyClick(cmdNext(m_w), Qt::Key_F, Qt::ControlModifier);
    QVERIFY(field()->hasFocus());
}

RONDELLA_TEST_MAIN(TestQuickFind)
#include "tst_quickfind.moc"
