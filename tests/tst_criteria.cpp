#include "store/criteria.h"
#include "store/dberror.h"

#include "testsupport.h"

#include <QTest>

class TestCriteria : public QObject {
    Q_OBJECT
private slots:
    void clausesJoinedByAnd();
    void quotesInsideValues();
    void likePatterns_data();
    void likePatterns();
    void equalityIgnoresCaseButNotNull();
    void unreadableTexts_data();
    void unreadableTexts();
    void builtCriteriaMatchAsTheirText();
};

void TestCriteria::clausesJoinedByAnd()
{
    const Criteria c = Criteria::parse(QStringLiteral("作曲者名 = 'X' and 曲名 like '*Y*'"));
    QCOMPARE(c.clauses().size(), 2);
    QCOMPARE(c.clauses()[0].column, QStringLiteral("作曲者名"));
    QVERIFY(!c.clauses()[0].like);
    QCOMPARE(c.clauses()[0].value, QStringLiteral("X"));
    QCOMPARE(c.clauses()[1].column, QStringLiteral("曲名"));
    QVERIFY(c.clauses()[1].like);
    QCOMPARE(c.clauses()[1].value, QStringLiteral("*Y*"));
    // "and" inside a value is part of the value, and keywords ignore case
    const Criteria d
        = Criteria::parse(QStringLiteral("演奏団体 = 'Tom and Jerry' AND [CD名] LIKE 'a*'"));
    QCOMPARE(d.clauses().size(), 2);
    QCOMPARE(d.clauses()[0].value, QStringLiteral("Tom and Jerry"));
    QCOMPARE(d.clauses()[1].column, QStringLiteral("CD名"));
    QVERIFY(Criteria::parse(QStringLiteral("   ")).isEmpty());
}

void TestCriteria::quotesInsideValues()
{
    const QString composer = QStringLiteral("ダンディ (d'Indy)");
    const QString text = QStringLiteral("作曲者名 = '") + quoteCriteriaValue(composer) + u'\'';
    QCOMPARE(text, QStringLiteral("作曲者名 = 'ダンディ (d''Indy)'"));
    const Criteria c = Criteria::parse(text);
    QCOMPARE(c.clauses()[0].value, composer);
    QVERIFY(Criteria::matches(c.clauses()[0], composer, false));
    const Criteria lead = Criteria::parse(QStringLiteral("曲名 like '''Round*'"));
    QVERIFY(Criteria::matches(lead.clauses()[0], QStringLiteral("'Round Midnight"), false));
    QVERIFY(!Criteria::matches(lead.clauses()[0], QStringLiteral("Round Midnight"), false));
}

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
    QTest::newRow("non-BMP") << "*𠮷野*"
                             << "箏曲「𠮷野の春」" << true;
}

void TestCriteria::likePatterns()
{
    QFETCH(QString, pattern);
    QFETCH(QString, value);
    QFETCH(bool, match);
    const Criteria c = Criteria::parse(QStringLiteral("曲名 like '") + pattern + u'\'');
    QCOMPARE(Criteria::matches(c.clauses()[0], value, false), match);
}

void TestCriteria::equalityIgnoresCaseButNotNull()
{
    const Criteria c = Criteria::parse(QStringLiteral("演奏団体 = 'ensemble L''arpeggiata'"));
    QVERIFY(Criteria::matches(c.clauses()[0], QStringLiteral("Ensemble l'Arpeggiata"), false));
    QVERIFY(!Criteria::matches(c.clauses()[0], QStringLiteral("Ensemble l'Arpeggiata "), false));
    const Criteria any = Criteria::parse(QStringLiteral("曲名 like '*'"));
    QVERIFY(!Criteria::matches(any.clauses()[0], QString(), true));
}

void TestCriteria::unreadableTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("unclosed quote") << "作曲者名 = 'd'Indy'";
    QTest::newRow("no operator") << "作曲者名 'X'";
    QTest::newRow("unquoted word") << "作曲者名 = X";
    QTest::newRow("trailing and") << "作曲者名 = 'X' and ";
    QTest::newRow("missing joiner") << "作曲者名 = 'X' 曲名 = 'Y'";
    QTest::newRow("or is not offered") << "作曲者名 = 'X' or 曲名 = 'Y'";
    QTest::newRow("and glued to a word") << "作曲者名 = 'X' andy = 'Y'";
}

void TestCriteria::unreadableTexts()
{
    QFETCH(QString, text);
    try {
        Criteria::parse(text);
        QFAIL("no error raised");
    } catch (const DbError& e) {
        QCOMPARE(e.number(), int(DbError::BadArguments));
        QVERIFY2(e.description().contains(text), qPrintable(e.description()));
    }
}

// Criteria built clause by clause match what their text, read back, matches;
// the text doubles every quote, and a pattern keeps its asterisks.
void TestCriteria::builtCriteriaMatchAsTheirText()
{
    Criteria built;
    built.equals(QStringLiteral("作曲者名"), QStringLiteral("d'Indy"))
        .like(QStringLiteral("曲名"), QStringLiteral("*'運命' and*"));
    QCOMPARE(built.text(), QStringLiteral("作曲者名 = 'd''Indy' and 曲名 like '*''運命'' and*'"));
    const Criteria read = Criteria::parse(built.text());
    QCOMPARE(read.clauses().size(), 2);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(read.clauses()[i].column, built.clauses()[i].column);
        QCOMPARE(read.clauses()[i].value, built.clauses()[i].value);
        QCOMPARE(read.clauses()[i].like, built.clauses()[i].like);
    }
    const struct {
        const char* title;
        bool matches;
    } titles[] = {
        {"交響曲 '運命' and more", true},
        {"'運命' and", true},
        {"'運命' or", false},
        {"運命 and", false},
    };
    for (const auto& t : titles) {
        const QString title = QString::fromUtf8(t.title);
        QCOMPARE(Criteria::matches(built.clauses()[1], title, false), t.matches);
        QCOMPARE(Criteria::matches(read.clauses()[1], title, false), t.matches);
    }
    QVERIFY(Criteria::matches(built.clauses()[0], QStringLiteral("D'INDY"), false));
    QVERIFY(!Criteria::matches(built.clauses()[0], QStringLiteral("d'Ind"), false));
    QVERIFY(Criteria().text().isEmpty());
}

RONDELLA_TEST_GUILESS_MAIN(TestCriteria)
#include "tst_criteria.moc"
