// The one normalisation quick find compares texts in, rule by rule, with the
// words that must stay apart.
#include "store/findtext.h"

#include "testsupport.h"

#include <QTest>

class TestFindText : public QObject {
    Q_OBJECT
private slots:
    void typedFindsStored();
    void wordsSplitAtEverySpace();
};

void TestFindText::typedFindsStored()
{
    // typed|stored: half-width katakana, full-width letters and digits, letter
    // case; hiragana as katakana; spaces and middle dots dropped; ヴ and its
    // syllables as the バ row.
    const QStringList found = {u"ｼﾞｬｽﾞ|ジャズ名演集"_s,
                               u"bach|ＢＡＣＨ：ミサ曲"_s,
                               u"第5番|交響曲第５番"_s,
                               u"ばっは|J.S.バッハ"_s,
                               u"ふぁうすと|ファウスト"_s,
                               u"石川道雄|石川　道雄"_s,
                               u"石川 道雄|石川道雄"_s,
                               u"ヨハンセバスティアン|ヨハン・セバスティアン"_s,
                               u"ヨハン・セバスティアン|ﾖﾊﾝ･ｾﾊﾞｽﾃｨｱﾝ"_s,
                               u"ベートーベン|ベートーヴェン"_s,
                               u"ビバルディ|ヴィヴァルディ：四季"_s,
                               u"ボルフ|ヴォルフ"_s,
                               u"ブルタバ|ヴルタヴァ"_s,
                               u"ゔぃばるでぃ|ヴィヴァルディ"_s,
                               u"ベーバー|ｳﾞｪｰﾊﾞｰ"_s};
    // apart stay long vowels, voicing, ウ and ヴ, small and large vowels
    const QStringList apart
        = {u"ベトベン|ベートーベン"_s, u"ハイードン|ハイドン"_s,   u"ハッハ|バッハ"_s,
           u"パッハ|バッハ"_s,         u"ウェーバー|ヴェーバー"_s, u"ヴイ|ビ"_s};
    for (const QString& row : found + apart) {
        const QString typed = normalizedForFind(row.section(u'|', 0, 0));
        const QString stored = normalizedForFind(row.section(u'|', 1));
        QVERIFY2(!typed.isEmpty() && stored.contains(typed) == found.contains(row),
                 qPrintable(row));
    }
}

void TestFindText::wordsSplitAtEverySpace()
{
    // (a catalogue number is a word of its own kind: see the works' tests)
    QCOMPARE(findWords(u"  バッハ　カンタータ\tWachet "_s),
             (QStringList{u"バッハ"_s, u"カンタータ"_s, u"wachet"_s}));
    QCOMPARE(findWords(u"　・ "_s), QStringList());
}

RONDELLA_TEST_GUILESS_MAIN(TestFindText)
#include "tst_findtext.moc"
