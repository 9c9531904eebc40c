#include "store/connection.h"
#include "store/dberror.h"
#include "store/legacyreader.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QTest>

namespace {

const QString fixtures = QStringLiteral(LEGACY_FIXTURES);

// A value as the TSV writes it: currency with four decimals.
QString tsvText(const QVariant& v, bool currency)
{
    if (v.isNull() || !v.isValid())
        return QString();
    if (currency)
        return QString::number(v.toDouble(), 'f', 4);
    switch (v.typeId()) {
    case QMetaType::QDateTime:
        return v.toDateTime().toString("yyyy-MM-dd HH:mm:ss");
    case QMetaType::Double:
        return QString::number(v.toDouble(), 'f', 4);
    default:
        return v.toString();
    }
}

} // namespace

class TestLegacy : public QObject {
    Q_OBJECT
private slots:
    void everyValueArrivesExactly_data();
    void everyValueArrivesExactly();
    void damagedFilesAreRefused_data();
    void damagedFilesAreRefused();
    void jetDatesAndText();
};

void TestLegacy::everyValueArrivesExactly_data()
{
    QTest::addColumn<QString>("table");
    QTest::newRow("cdname") << "cdname";
    QTest::newRow("kyoku") << "kyoku";
}

// Every row, value by value, against the ground truth: NULL against "",
// dates with their time, yen decimals, CR LF, TAB, backslash, quotes,
// half-width kana, the date before 1900 and the character outside the BMP.
void TestLegacy::everyValueArrivesExactly()
{
    QFETCH(QString, table);
    QStringList header;
    const QList<QStringList> truth = readTsv(fixtures + u'/' + table + ".tsv", &header);
    QVERIFY2(!truth.isEmpty(), qPrintable(fixtures));
    QVector<FieldDef> fields;
    for (const QString& name : header)
        fields << FieldDef{name, FieldType::Text, 0, true};
    const QString mdb = fixtures + "/cdkaisou.mdb";
    const QByteArray before = fileHash(mdb);
    LegacyReader reader(mdb);
    QCOMPARE(reader.declaredRows(table), int(truth.size()));
    int progressCalls = 0;
    const auto rows = reader.read(table, fields, [&](int) { return ++progressCalls > 0; });
    QCOMPARE(rows.size(), truth.size());
    QCOMPARE(progressCalls, int(truth.size()));
    for (qsizetype r = 0; r < rows.size(); ++r)
        for (qsizetype c = 0; c < header.size(); ++c) {
            const QString got = tsvText(rows[r][c], header[c] == "購入価格");
            const QString want = truth[r][c];
            QVERIFY2(got == want && got.isNull() == want.isNull(),
                     qPrintable(QString("%1 row %2 %3: got [%4]%5 want [%6]%7")
                                    .arg(table).arg(r + 1).arg(header[c], got,
                                         got.isNull() ? "(NULL)" : "", want,
                                         want.isNull() ? "(NULL)" : "")));
        }
    QCOMPARE(fileHash(mdb), before); // read, never written
}

void TestLegacy::damagedFilesAreRefused_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("cause");
    QTest::newRow("rows garbled") << "damaged-rows.mdb" << "kyoku";
    QTest::newRow("cut in half") << "damaged-truncated.mdb" << "";
}

void TestLegacy::damagedFilesAreRefused()
{
    QFETCH(QString, file);
    QFETCH(QString, cause);
    const QString mdb = fixtures + u'/' + file;
    const QByteArray before = fileHash(mdb);
    try {
        LegacyReader reader(mdb);
        QStringList header;
        for (const QString& table : {QStringLiteral("cdname"), QStringLiteral("kyoku")}) {
            readTsv(fixtures + u'/' + table + ".tsv", &header);
            QVector<FieldDef> fields;
            for (const QString& name : header)
                fields << FieldDef{name, FieldType::Text, 0, true};
            reader.read(table, fields);
        }
        QFAIL("a damaged file was read as whole");
    } catch (const DbError& e) {
        QVERIFY2(e.description().contains(cause), qPrintable(e.description()));
        QVERIFY2(e.description().contains(file), qPrintable(e.description()));
    }
    QCOMPARE(fileHash(mdb), before);
}

void TestLegacy::jetDatesAndText()
{
    QCOMPARE(jetDateTime(-363.0), QDateTime(QDate(1899, 1, 1), QTime(0, 0)));
    QCOMPARE(jetDateTime(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));
    QCOMPARE(jetDateTime(35266.78125), QDateTime(QDate(1996, 7, 20), QTime(18, 45)));
    QCOMPARE(jetText(QByteArray("\xFF\xFEPOCG-3521", 11)), QString("POCG-3521"));
    QCOMPARE(jetText(QByteArray("\xFF\xFE" "A\0\x42\x30\0B", 8)), QString("Aあ") + "B");
    const QString yoshi = "𠮷野";
    QCOMPARE(jetText(QByteArray(reinterpret_cast<const char*>(yoshi.utf16()), yoshi.size() * 2)), yoshi);
}

QTEST_GUILESS_MAIN(TestLegacy)
#include "tst_legacy.moc"
