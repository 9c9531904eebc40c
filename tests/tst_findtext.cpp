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
    const struct {
        const char* name;
        const char16_t *typed, *stored;
        bool found;
    } rows[] = {
        {"half-width katakana", u"ｼﾞｬｽﾞ", u"ジャズ名演集", true},
        {"full-width letters and case", u"bach", u"ＢＡＣＨ：ミサ曲", true},
        {"full-width digits", u"第5番", u"交響曲第５番", true},
        {"hiragana typed, katakana stored", u"ばっは", u"J.S.バッハ", true},
        {"full-width space inside a name", u"石川道雄", u"石川　道雄", true},
        {"space typed, none stored", u"石川 道雄", u"石川道雄", true},
        {"middle dot", u"ヨハンセバスティアン", u"ヨハン・セバスティアン", true},
        {"half-width middle dot", u"ヨハン・セバスティアン", u"ﾖﾊﾝ･ｾﾊﾞｽﾃｨｱﾝ", true},
        {"ヴェ as ベ", u"ベートーベン", u"ベートーヴェン", true},
        {"ヴィ and ヴァ", u"ビバルディ", u"ヴィヴァルディ：四季", true},
        {"ヴォ", u"ボルフ", u"ヴォルフ", true},
        {"ヴ alone as ブ", u"ブルタバ", u"ヴルタヴァ", true},
        {"hiragana ゔ", u"ゔぃばるでぃ", u"ヴィヴァルディ", true},
        {"small hiragana ぁ", u"ふぁうすと", u"ファウスト", true},
        {"half-width ｳﾞｪ", u"ベーバー", u"ｳﾞｪｰﾊﾞｰ", true},
        // what must stay apart
        {"long-vowel mark kept", u"ベトベン", u"ベートーベン", false},
        {"long-vowel mark not added", u"ハイードン", u"ハイドン", false},
        {"voiced and unvoiced", u"ハッハ", u"バッハ", false},
        {"voiced and semi-voiced", u"パッハ", u"バッハ", false},
        {"ウェ is not ヴェ", u"ウェーバー", u"ヴェーバー", false},
        {"small and large vowel", u"ヴイ", u"ビ", false},
    };
    for (const auto& r : rows)
        QTest::newRow(r.name) << QString::fromUtf16(r.typed) << QString::fromUtf16(r.stored)
                              << r.found;
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
    QCOMPARE(findWords(u"  バッハ　カンタータ\tBWV140 "_s),
             (QStringList{u"バッハ"_s, u"カンタータ"_s, u"bwv140"_s}));
    QCOMPARE(findWords(u"　・ "_s), QStringList());
}

RONDELLA_TEST_GUILESS_MAIN(TestFindText)
#include "tst_findtext.moc"
