#include "store/criteria.h"

#include "testsupport.h"

#include <QTest>

class TestCriteria : public QObject {
    Q_OBJECT
private slots:
    void likePatterns_data();
    void likePatterns();
    void equalityIgnoresCaseButNotNull();
    void textDoublesQuotes();
};

void TestCriteria::likePatterns_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("match");
    QTest::newRow("contains") << "*悲愴*"
                              << "交響曲第6番「悲愴」第1楽章" << true;
    QTest::newRow("contains, absent") << "*運命*"
                                      << "交響曲第6番「悲愴」" << false;
    QTest::newRow("starts with") << "交響曲*"
                                 << "交響曲第9番" << true;
    QTest::newRow("starts with, elsewhere") << "第9番*"
                                            << "交響曲第9番" << false;
    QTest::newRow("ends with") << "*第9番"
                               << "交響曲第9番" << true;
    QTest::newRow("exact") << "交響曲第9番"
                           << "交響曲第9番" << true;
    QTest::newRow("exact, longer value") << "交響曲"
                                         << "交響曲第9番" << false;
    QTest::newRow("two stars match all") << "**"
                                         << "" << true;
    QTest::newRow("inner star") << "交響*番"
                                << "交響曲第9番" << true;
    QTest::newRow("inner star, overlap") << "ab*ba"
                                         << "aba" << false;
    QTest::newRow("pieces in order") << "*b*a*"
                                     << "xbyaz" << true;
    QTest::newRow("pieces out of order") << "*a*b*"
                                         << "xbyaz" << false;
    QTest::newRow("letter case") << "*midnight*"
                                 << "'Round Midnight" << true;
    QTest::newRow("repeated piece needs two") << "*ラ*ラ*"
                                              << "ラルゴ" << false;
    QTest::newRow("repeated piece, two there") << "*ラ*ラ*"
                                               << "ララバイ" << true;
    QTest::newRow("anchored ends share no letter") << "ラ*ラ"
                                                   << "ラ" << false;
    QTest::newRow("a quote leads") << "'Round*"
                                   << "'Round Midnight" << true;
    QTest::newRow("a quote leads, absent") << "'Round*"
                                           << "Round Midnight" << false;
    QTest::newRow("non-BMP") << "*𠮷野*"
                             << "箏曲「𠮷野の春」" << true;
}

void TestCriteria::likePatterns()
{
    QFETCH(QString, pattern);
    QFETCH(QString, value);
    QFETCH(bool, match);
    const Criteria c = Criteria().like(QStringLiteral("曲名"), pattern);
    QCOMPARE(Criteria::matches(c.clauses()[0], value, false), match);
}

void TestCriteria::equalityIgnoresCaseButNotNull()
{
    const Criteria c
        = Criteria().equals(QStringLiteral("演奏団体"), QStringLiteral("ensemble L'arpeggiata"));
    QVERIFY(Criteria::matches(c.clauses()[0], QStringLiteral("Ensemble l'Arpeggiata"), false));
    QVERIFY(!Criteria::matches(c.clauses()[0], QStringLiteral("Ensemble l'Arpeggiata "), false));
    const Criteria any = Criteria().like(QStringLiteral("曲名"), QStringLiteral("*"));
    QVERIFY(!Criteria::matches(any.clauses()[0], QString(), true));
}

// The text captions and reports show: every quote doubled, a pattern's
// asterisks kept, clauses joined by "and".
void TestCriteria::textDoublesQuotes()
{
    Criteria built;
    built.equals(QStringLiteral("作曲者名"), QStringLiteral("d'Indy"))
        .like(QStringLiteral("曲名"), QStringLiteral("*'運命' and*"));
    QCOMPARE(built.text(), QStringLiteral("作曲者名 = 'd''Indy' and 曲名 like '*''運命'' and*'"));
    QVERIFY(Criteria().text().isEmpty());
}

RONDELLA_TEST_GUILESS_MAIN(TestCriteria)
#include "tst_criteria.moc"
