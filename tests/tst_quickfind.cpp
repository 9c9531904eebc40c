// Quick find in the main window: every field of a CD and of its songs, the
// words together, shown as a CD search, cleared by Esc, the reset command and
// an extraction.
#include "mainui.h"
#include "store/findindex.h"
#include "store/findtext.h"
#include "testsupport.h"

class TestQuickFind : public MainWindowTest {
    Q_OBJECT
private slots:
    void init();
    void everyWordInAnyFieldOfACdOrItsSongs();

private:
    QLineEdit* field() const { return named<QLineEdit>(m_w, u"txtQuickFind"_s); }
    QString find(const QString& typed);
};

// Each rule shows on its own CD: a word only in a song field (カラヤン), only
// in a CD field (東芝EMI), a spelling apart (ベートーベン), two CDs of one title
// (the mass, whose soloist is 石川　道雄), a CD without songs, a word only in
// a CD's note (ＢＯＸ, in full width).
void TestQuickFind::init()
{
    MainWindowTest::init();
    const QString fifth = u"ベートーヴェン：交響曲第5番"_s, mass = u"バッハ：ロ短調ミサ曲"_s;
    const QVariantMap bach{{u"作曲者名"_s, u"J.S.バッハ"_s}}, toshiba{{u"発売元"_s, u"東芝EMI"_s}};
    writeCollection(m_folder->path(),
                    {cd(1, fifth, toshiba), cd(2, mass, {{u"発売元"_s, u"DG"_s}}),
                     cd(3, mass, {{u"解説者"_s, u"吉田秀和"_s}}), cd(4, u"ｼﾞｬｽﾞ名演集"_s),
                     cd(5, u"ブラームス：交響曲第1番"_s, toshiba)},
                    {song(fifth, 1, u"第1楽章"_s,
                          {{u"作曲者名"_s, u"ベートーヴェン"_s}, {u"指揮者名"_s, u"カラヤン"_s}}),
                     song(fifth, 2, u"第2楽章"_s, {{u"作曲者名"_s, u"ベートーヴェン"_s}}),
                     song(mass, 3, u"キリエ"_s, {{u"ソリスト"_s, u"石川　道雄"_s}}),
                     song(mass, 4, u"グローリア"_s, bach)});
    QCOMPARE(
        sqlRows(db().databasePath(), {u"INSERT INTO cdnote VALUES (5, 'ＢＯＸ入り\nﾗｲｳﾞ録音')"_s}),
        QStringList());
    QVERIFY(start());
}

// Types the text over the field's as a user does, then Return, and returns
// the CDIDs the CD grid lists once the typing has paused.
QString TestQuickFind::find(const QString& typed)
{
    QTest::keyClick(field(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field(), Qt::Key_Backspace);
    typeKeys(field(), typed);
    QTest::keyClick(field(), Qt::Key_Return);
    QTest::qWait(250);
    return column(DataGrid2(m_w), 0);
}

void TestQuickFind::everyWordInAnyFieldOfACdOrItsSongs()
{
    const std::pair<const char16_t*, const char16_t*> rows[]
        = {{u"カラヤン", u"1"},       {u"東芝", u"1|5"},
           {u"ベートーベン", u"1"},   {u"石川道雄", u"2|3"},
           {u"吉田", u"3"},           {u"じゃず", u"4"},
           {u"ワーグナー", u""},      {u"ベートーヴェン 東芝EMI", u"1"},
           {u"バッハ　東芝", u""},    {u"交響曲 東芝", u"1|5"},
           {u"交響曲 第1楽章", u"1"}, {u"box", u"5"},
           {u"らいぶ 東芝", u"5"},    {u"入りライブ", u"5"}, // the lines of a note as one text
           {u"ライブ 第1楽章", u""}};
    for (const auto& row : rows) {
        const QString typed = QString::fromUtf16(row.first), found = find(typed);
        QVERIFY2(found == QString::fromUtf16(row.second), qPrintable(typed + u": "_s + found));
        QCOMPARE(m_w->displayState(), DisplayState::CDSearch);
    }
    QVERIFY(answeredTexts().isEmpty()); // typing is never interrupted by a box
    // the index looks for every word also when given them together
    QVERIFY(db().findIndex().cdsWithAll(findWords(u"バッハ 東芝"_s)).isEmpty());
    // a note given, changed or taken away is found as it is now
    db().SetNote(2, u"ミサの名盤"_s);
    QCOMPARE(find(u"名盤"_s), u"2"_s);
    db().SetNote(5, QString());
    QCOMPARE(find(u"box"_s), QString());
    // the caption and counters, the songs that hold the word marked
    QCOMPARE(find(u"キリエ"_s), u"2|3"_s);
    QCOMPARE(shows(m_w),
             u"ＣＤ検索中 | 曲データ | すべての項目：キリエ | 左CDに含まれる曲 | 2 / 5 | 2 / 4"_s);
    // the song that holds the word is bold and marked in its row header; the other is not
    QAbstractItemModel* songs = DataGrid1(m_w)->table()->model();
    auto marked = [songs](int row) -> QString {
        return songs->headerData(row, Qt::Vertical).toString()
            + (songs->index(row, 2).data(Qt::FontRole).value<QFont>().bold() ? u"bold"_s : u""_s);
    };
    QCOMPARE(marked(0) + u'|' + marked(1), u"●bold|"_s);
    cmdLast(m_w)->click(); // navigation stays within the found CDs
    QCOMPARE(txtrs(m_w, 0)->text(), u"3"_s);
    QCOMPARE(find(u"交響曲"_s), u"1|5"_s); // the sort orders the found CDs only
    trigger(m_w, u"mnuCDs"_s);
    QCOMPARE(db().cds()->valueAt(0, 0).toString() + db().cds()->valueAt(1, 0).toString(), u"51"_s);
    // Esc, emptying the field, the reset command and an extraction end it
    QTest::keyClick(field(), Qt::Key_Escape);
    QCOMPARE(field()->text() + lblRcount(m_w, 3)->text(), u"5 / 5"_s);
    find(u"東芝"_s);
    QCOMPARE(find(QString()), u"1|2|3|4|5"_s);
    QCOMPARE(m_w->displayState(), DisplayState::AllData);
    find(u"東芝"_s);
    trigger(m_w, u"mnuReset"_s);
    QCOMPARE(field()->text(), QString());
    find(u"東芝"_s);
    Check1(m_w, 10)->setChecked(true);
    cmdFilter(m_w)->click();
    QCOMPARE(field()->text(), QString());
    QCOMPARE(DataGrid1(m_w)->table()->model()->headerData(0, Qt::Vertical).toString(), QString());
    QApplication::setActiveWindow(m_w); // Ctrl+F brings the typing to the field
    cmdNext(m_w)->setFocus();
    QTest::keyClick(cmdNext(m_w), Qt::Key_F, Qt::ControlModifier);
    QVERIFY(field()->hasFocus());
}

RONDELLA_TEST_MAIN(TestQuickFind)
#include "tst_quickfind.moc"
