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

// The rows are the shared table the HTML catalogue's page is tested by too
// (typed, stored, whether the typed words find the stored text): width,
// case, kana, spaces and dots, ヴ and its syllables, catalogue numbers and
// accents; then what must stay apart.
void TestFindText::typedFindsStored()
{
    QStringList header;
    const QList<QStringList> rows = readTsv(QStringLiteral(FINDROWS), &header);
    QCOMPARE(header, (QStringList{u"typed"_s, u"stored"_s, u"found"_s}));
    QVERIFY(rows.size() >= 40);
    for (const QStringList& row : rows) {
        QCOMPARE(row.size(), 3);
        const QStringList words = findWords(row[0]);
        const QString text = findableText(row[1]);
        bool found = !words.isEmpty();
        for (const QString& word : words)
            found = found && text.contains(word);
        QVERIFY2(found == (row[2] == u"1"), qPrintable(row.join(u" / "_s)));
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
