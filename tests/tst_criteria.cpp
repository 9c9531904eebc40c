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
        // pattern|value|...: the first nine pairs match
        const QStringList rows
            = (u"*悲愴*|交響曲第6番「悲愴」第1楽章|交響曲*|交響曲第9番|*第9番|交響曲第9番|"
               u"**||交響*番|交響曲第9番|*b*a*|xbyaz|*ラ*ラ*|ララバイ|"
               u"*midnight*|'Round Midnight|*𠮷野*|箏曲「𠮷野の春」|"
               u"*運命*|交響曲第6番「悲愴」|第9番*|交響曲第9番|交響曲|交響曲第9番|"
               u"ab*ba|aba|ラ*ラ|ラ|*a*b*|xbyaz|*ラ*ラ*|ラルゴ|'Round*|Round Midnight"_s)
                  .split(u'|');
        QString matched;
        for (qsizetype i = 0; i + 1 < rows.size(); i += 2)
            matched += QString::number(Criteria::matches(
                Criteria().like(u"曲名"_s, rows[i]).clauses()[0], rows[i + 1], false));
        const Criteria c = Criteria().equals(u"演奏団体"_s, u"ensemble L'arpeggiata"_s);
        for (const QString& value : {u"Ensemble l'Arpeggiata"_s, u"Ensemble l'Arpeggiata "_s})
            matched += QString::number(Criteria::matches(c.clauses()[0], value, false));
        matched += QString::number(
            Criteria::matches(Criteria().like(u"曲名"_s, u"*"_s).clauses()[0], QString(), true));
        QCOMPARE(matched, u"11111111100000000100"_s);
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
