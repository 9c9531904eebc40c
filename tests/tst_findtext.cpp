// The one normalisation quick find compares texts in, rule by rule, with the
// words that must stay apart.
#include "store/findtext.h"

#include "testsupport.h"

#include <QTest>

class TestFindText : public QObject {
    Q_OBJECT
private slots:
    void typedFindsStored_data();
    void typedFindsStored();
    void wordsSplitAtEverySpace();
};

void TestFindText::typedFindsStored_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("found");
    auto row = [](const char* name, const char* typed, const char* stored, bool found) {
        QTest::newRow(name) << QString::fromUtf8(typed) << QString::fromUtf8(stored) << found;
    };
    row("half-width katakana", "ｼﾞｬｽﾞ", "ジャズ名演集", true);
    row("full-width katakana found by half-width", "ジャズ", "ｼﾞｬｽﾞ名演集", true);
    row("full-width letters and case", "bach", "ＢＡＣＨ：ミサ曲", true);
    row("case folded", "KARAJAN", "Karajan", true);
    row("full-width digits", "第5番", "交響曲第５番", true);
    row("hiragana typed, katakana stored", "ばっは", "J.S.バッハ", true);
    row("katakana typed, hiragana stored", "カラヤン", "からやん", true);
    row("full-width space inside a name", "石川道雄", "石川　道雄", true);
    row("space typed, none stored", "石川 道雄", "石川道雄", true);
    row("middle dot", "ヨハンセバスティアン", "ヨハン・セバスティアン", true);
    row("half-width middle dot", "ヨハン・セバスティアン", "ﾖﾊﾝ･ｾﾊﾞｽﾃｨｱﾝ", true);
    row("ヴェ as ベ", "ベートーベン", "ベートーヴェン", true);
    row("ベ as ヴェ", "ベートーヴェン", "ベートーベン：交響曲第5番", true);
    row("ヴィ and ヴァ", "ビバルディ", "ヴィヴァルディ：四季", true);
    row("ヴォ", "ボルフ", "ヴォルフ", true);
    row("ヴ alone as ブ", "ブルタバ", "ヴルタヴァ", true);
    row("hiragana ゔ", "ゔぃばるでぃ", "ヴィヴァルディ", true);
    row("small hiragana ぁ", "ふぁうすと", "ファウスト", true);
    row("half-width ｳﾞｪ", "ベーバー", "ｳﾞｪｰﾊﾞｰ", true);
    // what must stay apart
    row("long-vowel mark kept", "ベトベン", "ベートーベン", false);
    row("long-vowel mark not added", "ハイードン", "ハイドン", false);
    row("voiced and unvoiced", "ハッハ", "バッハ", false);
    row("voiced and semi-voiced", "パッハ", "バッハ", false);
    row("ウェ is not ヴェ", "ウェーバー", "ヴェーバー", false);
    row("small and large vowel", "ヴイ", "ビ", false);
    row("a different name", "ブラームス", "ブルックナー", false);
}

void TestFindText::typedFindsStored()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(bool, found);
    const QString word = normalizedForFind(typed);
    QVERIFY(!word.isEmpty());
    QCOMPARE(normalizedForFind(stored).contains(word), found);
}

void TestFindText::wordsSplitAtEverySpace()
{
    QCOMPARE(findWords(QStringLiteral("  バッハ　カンタータ\tBWV140 ")),
             (QStringList{"バッハ", "カンタータ", "bwv140"}));
    QCOMPARE(findWords(QStringLiteral("　・ ")), QStringList());
    QCOMPARE(findWords(QStringLiteral("ベートーヴェン")), QStringList{"ベートーベン"});
}

RONDELLA_TEST_GUILESS_MAIN(TestFindText)
#include "tst_findtext.moc"
