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
    // typed|stored|...: half-width katakana, full-width letters and digits, letter
    // case; hiragana as katakana; spaces and middle dots dropped; ヴ and its
    // syllables as the バ row. Then apart stay long vowels, voicing, ウ and ヴ,
    // small and large vowels.
    const QStringList rows
        = (u"ｼﾞｬｽﾞ|ジャズ名演集|bach|ＢＡＣＨ：ミサ曲|第5番|交響曲第５番|ばっは|J.S.バッハ|"
           u"ふぁうすと|ファウスト|石川道雄|石川　道雄|石川 道雄|石川道雄|"
           u"ヨハンセバスティアン|ヨハン・セバスティアン|ヨハン・セバスティアン|ﾖﾊﾝ･ｾﾊﾞｽﾃｨｱﾝ|"
           u"ベートーベン|ベートーヴェン|ビバルディ|ヴィヴァルディ：四季|ボルフ|ヴォルフ|"
           u"ブルタバ|ヴルタヴァ|ゔぃばるでぃ|ヴィヴァルディ|ベーバー|ｳﾞｪｰﾊﾞｰ|"
           u"ベトベン|ベートーベン|ハイードン|ハイドン|ハッハ|バッハ|パッハ|バッハ|"
           u"ウェーバー|ヴェーバー|ヴイ|ビ"_s)
              .split(u'|');
    QString found;
    for (qsizetype i = 0; i + 1 < rows.size(); i += 2) {
        const QString typed = normalizedForFind(rows[i]);
        found
            += QString::number(!typed.isEmpty() && normalizedForFind(rows[i + 1]).contains(typed));
    }
    QCOMPARE(found, u"111111111111111000000"_s);
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
