#include "store/criteria.h"

#include "testsupport.h"

#include <QTest>

class TestCriteria : public QObject {
    Q_OBJECT
private slots:
    // A like pattern's stars stand for any text, letter case aside; an anchored
    // head and tail never share a letter; an equality clause ignores letter case
    // but not a trailing space; a NULL matches nothing.
    void matches()
    {
        const struct {
            const char16_t* pattern;
            const char16_t* value;
            bool match;
        } likes[] = {
            {u"*悲愴*", u"交響曲第6番「悲愴」第1楽章", true},
            {u"*運命*", u"交響曲第6番「悲愴」", false},
            {u"交響曲*", u"交響曲第9番", true},
            {u"第9番*", u"交響曲第9番", false},
            {u"*第9番", u"交響曲第9番", true},
            {u"交響曲", u"交響曲第9番", false},
            {u"**", u"", true},
            {u"交響*番", u"交響曲第9番", true},
            {u"ab*ba", u"aba", false},
            {u"ラ*ラ", u"ラ", false},
            {u"*b*a*", u"xbyaz", true},
            {u"*a*b*", u"xbyaz", false},
            {u"*ラ*ラ*", u"ラルゴ", false},
            {u"*ラ*ラ*", u"ララバイ", true},
            {u"*midnight*", u"'Round Midnight", true},
            {u"'Round*", u"Round Midnight", false},
            {u"*𠮷野*", u"箏曲「𠮷野の春」", true},
        };
        for (const auto& row : likes) {
            const Criteria c = Criteria().like(u"曲名"_s, QString::fromUtf16(row.pattern));
            QVERIFY2(Criteria::matches(c.clauses()[0], QString::fromUtf16(row.value), false)
                         == row.match,
                     qPrintable(QString::fromUtf16(row.pattern) + u" / "_s
                                + QString::fromUtf16(row.value)));
        }
        const Criteria c = Criteria().equals(u"演奏団体"_s, u"ensemble L'arpeggiata"_s);
        QVERIFY(Criteria::matches(c.clauses()[0], u"Ensemble l'Arpeggiata"_s, false));
        QVERIFY(!Criteria::matches(c.clauses()[0], u"Ensemble l'Arpeggiata "_s, false));
        QVERIFY(
            !Criteria::matches(Criteria().like(u"曲名"_s, u"*"_s).clauses()[0], QString(), true));
    }

    // The text captions and reports show: every quote doubled, a pattern's
    // asterisks kept, clauses joined by "and".
    void textDoublesQuotes()
    {
        Criteria built;
        built.equals(u"作曲者名"_s, u"d'Indy"_s).like(u"曲名"_s, u"*'運命' and*"_s);
        QCOMPARE(built.text(), u"作曲者名 = 'd''Indy' and 曲名 like '*''運命'' and*'"_s);
        QVERIFY(Criteria().text().isEmpty());
    }
};

RONDELLA_TEST_GUILESS_MAIN(TestCriteria)
#include "tst_criteria.moc"
