#include "store/connection.h"
#include "store/dberror.h"
#include "store/importer.h"
#include "store/legacyreader.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

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
    void damagedDefinitionsAreRefused_data();
    void damagedDefinitionsAreRefused();
    void readerThatDiesIsARefusal();
    void mutatedCopiesAreRefusedOrWhole();
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
    // the reader requires each column's Jet type: the collection's own definitions
    const QVector<FieldDef>& fields
        = table == "cdname" ? Connection::cdnameFields() : Connection::kyokuFields();
    QCOMPARE(fields.size(), header.size());
    for (qsizetype c = 0; c < header.size(); ++c)
        QCOMPARE(fields.at(c).name, header.at(c));
    const QString mdb = fixtures + "/cdkaisou.mdb";
    const QByteArray before = fileHash(mdb);
    LegacyReader reader(mdb);
    QCOMPARE(reader.declaredRows(table), qint64(truth.size()));
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
                                    .arg(table)
                                    .arg(r + 1)
                                    .arg(header[c], got, got.isNull() ? "(NULL)" : "", want,
                                         want.isNull() ? "(NULL)" : "")));
        }
    QCOMPARE(fileHash(mdb), before); // read, never written
}

void TestLegacy::damagedFilesAreRefused_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("cause");
    QTest::newRow("rows garbled") << "damaged-rows.mdb"
                                  << "kyoku";
    QTest::newRow("cut in half") << "damaged-truncated.mdb"
                                 << "";
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
            reader.read(table,
                        table == "cdname" ? Connection::cdnameFields() : Connection::kyokuFields());
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
    QCOMPARE(jetText(QByteArray("\xFF\xFE"
                                "A\0\x42\x30\0B",
                                8)),
             QString("Aあ") + "B");
    const QString yoshi = "𠮷野";
    QCOMPARE(jetText(QByteArray(reinterpret_cast<const char*>(yoshi.utf16()), yoshi.size() * 2)),
             yoshi);
}

namespace {

constexpr int pageSize = 4096;
// Where the fixture keeps the two tables' definitions: page 24 (cdname) and
// 26 (kyoku); in each, the row count at byte 16, the column count at 45 and
// the columns' 25-byte descriptors, their type first, from byte 63; in a
// descriptor, the column's number at byte 5, its number among the variable
// columns at 7, its flags at 15 (1: fixed), its offset in the fixed part at 21.
constexpr int cdnameDef = 24 * pageSize;
constexpr int kyokuDef = 26 * pageSize;
int columnType(int def, int column)
{
    return def + 63 + 25 * column;
}

// Where each row of a table lies in the file, [start, end), in the order
// libmdb reads them: the data pages that name the table's definition page,
// each listing its rows' starts from byte 14, the row count at 12.
QVector<std::pair<int, int>> rowsOf(const QByteArray& file, int definition)
{
    QVector<std::pair<int, int>> rows;
    for (int page = 0; page < file.size() / pageSize; ++page) {
        const char* p = file.constData() + page * pageSize;
        if (p[0] != 1 || qFromLittleEndian<quint32>(p + 4) != quint32(definition / pageSize))
            continue;
        for (int r = 0, end = pageSize; r < qFromLittleEndian<quint16>(p + 12); ++r) {
            const int start = qFromLittleEndian<quint16>(p + 14 + 2 * r) & 0x1fff;
            rows.push_back({page * pageSize + start, page * pageSize + end});
            end = start;
        }
    }
    return rows;
}

QByteArray fixture()
{
    QFile f(fixtures + "/cdkaisou.mdb");
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString writeCopy(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return QString();
    return path;
}

bool hasType(const QVariant& v, const FieldDef& field)
{
    if (v.isNull())
        return true;
    switch (field.type) {
    case FieldType::Text:
        return v.typeId() == QMetaType::QString;
    case FieldType::Date:
        return v.typeId() == QMetaType::QDateTime && v.toDateTime().isValid();
    case FieldType::Integer:
        return v.typeId() == QMetaType::LongLong
            || (field.size == 8 && v.typeId() == QMetaType::Double);
    }
    return false;
}

} // namespace

void TestLegacy::damagedDefinitionsAreRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("cause");
    const QByteArray good = fixture();
    QVERIFY(good.size() == 59 * pageSize);
    auto with = [&good](int at, char value) {
        QByteArray b = good;
        b[at] = value;
        return b;
    };
    const auto cds = rowsOf(good, cdnameDef), songs = rowsOf(good, kyokuDef);
    QVERIFY(cds.size() == 40 && songs.size() == 400);
    // libmdb returns no column list and the old reader walked it anyway
    QTest::newRow("column count 200") << with(cdnameDef + 45, char(200)) << "テーブル「cdname」";
    QTest::newRow("column count 3") << with(cdnameDef + 45, 3) << "テーブル「cdname」";
    QTest::newRow("column count 65535")
        << with(cdnameDef + 46, char(255)).replace(cdnameDef + 45, 1, "\xff")
        << "cdname」の定義が壊れています";
    // a row's null mask (its last byte) says the identifier is missing: the
    // first row of cdname ends page 28, the first of kyoku page 31
    QTest::newRow("a CD without its CDID")
        << with(28 * pageSize + 4095, char(good[28 * pageSize + 4095] & ~1))
        << "cdname」の 1 行目に「CDID」がありません";
    QTest::newRow("a song without its 曲ID")
        << with(31 * pageSize + 4094, char(good[31 * pageSize + 4094] & ~2))
        << "kyoku」の 1 行目に「曲ID」がありません";
    // a price read as text gave hex, a title read as a number gave nonsense
    QTest::newRow("price column as text")
        << with(columnType(cdnameDef, 3), 10) << "購入価格」が通貨型ではありません";
    QTest::newRow("date column as long")
        << with(columnType(cdnameDef, 4), 4) << "購入年月日」が日付/時刻型ではありません";
    QTest::newRow("title column as long")
        << with(columnType(kyokuDef, 2), 4) << "曲名」がテキスト型ではありません";
    QTest::newRow("id column as text")
        << with(columnType(kyokuDef, 1), 10) << "曲ID」が長整数型ではありません";
    // libmdb reads a page's missing end as zeros: NULL identifiers, lost values
    // a damaged column size: the texts stored are longer than the column holds
    QTest::newRow("title longer than its column")
        << with(columnType(cdnameDef, 1) + 23, 20)
        << "cdname」の 1 行目の「CD名」が列の長さ（10 文字）を超えています";
    QTest::newRow("title one character longer than its column") // 42 bytes, 22 characters
        << with(columnType(cdnameDef, 1) + 23, 42)
        << "cdname」の 1 行目の「CD名」が列の長さ（21 文字）を超えています";
    QTest::newRow("one byte short")
        << good.left(good.size() - 1) << "ページの大きさ 4096 バイトの倍数ではありません";
    QTest::newRow("100 bytes short") << good.left(good.size() - 100) << "倍数ではありません";
    QTest::newRow("whole pages missing") << good.left(30 * pageSize) << "";
    QTest::newRow("one more row declared")
        << with(cdnameDef + 16, 41) << "定義では 41 行、読めたのは 40 行";
    QTest::newRow("row counts past 32 bits")
        << with(cdnameDef + 19, char(0xff)).replace(cdnameDef + 16, 3, "\xff\xff\xff")
        << "定義では 4294967295 行、読めたのは 40 行";
    QTest::newRow("row counts that add past an int")
        << with(cdnameDef + 19, 0x7f)
               .replace(cdnameDef + 16, 3, "\xff\xff\xff")
               .replace(kyokuDef + 16, 4, "\xff\xff\xff\x7f")
        << "定義では 2147483647 行、読めたのは 40 行";
    // Columns that disagree: libmdb read a column numbered past the rows'
    // columns (or past the variable ones) as NULL in every row, and a fixed
    // column wherever its offset pointed, into another's bytes.
    QTest::newRow("column number repeated")
        << with(columnType(cdnameDef, 1) + 5, 2)
        << "cdname」の定義が壊れています（列「CD名」と列「解説者」の番号";
    QTest::newRow("column number past the count")
        << with(columnType(cdnameDef, 1) + 5, 8)
        << "cdname」の定義が壊れています（列「CD名」の番号 8 が列の数 8";
    QTest::newRow("fixed column onto the next one's start")
        << with(columnType(cdnameDef, 3) + 21, 5)
        << "列「購入価格」と列「購入年月日」の位置が重なっています";
    QTest::newRow("fixed column onto the next one's end")
        << with(columnType(cdnameDef, 3) + 21, 19)
        << "列「購入価格」と列「購入年月日」の位置が重なっています";
    QTest::newRow("fixed column past the fixed part")
        << with(columnType(cdnameDef, 4) + 21, 13)
        << "cdname」の定義が壊れています（列「購入年月日」が 1 行目の固定長の部分に収まりません";
    QTest::newRow("variable numbers with a gap")
        << with(columnType(cdnameDef, 7) + 7, 5)
        << "cdname」の定義が壊れています（列「段」の可変長の番号 5 が飛んでいます";
    QTest::newRow("variable number repeated")
        << with(columnType(kyokuDef, 9) + 7, 10)
        << "kyoku」の定義が壊れています（列「録音先番号」と列「録音年月日」の可変長の番号";
    QTest::newRow("a column no row holds")
        << with(columnType(cdnameDef, 7) + 15, 3).replace(columnType(cdnameDef, 7) + 21, 1, "\x14")
        << "cdname」の定義が壊れています（列「段」がどの行にもありません";
    // rows that disagree: one variable column fewer (its count just before
    // the null mask), values out of order or past the row's end (the
    // offsets before the count, the first value's start first)
    QTest::newRow("a row without a column")
        << with(songs[0].second - 4, 13) << "kyoku」の 1 行目に列「分野」がありません";
    QTest::newRow("a row's values out of order")
        << with(cds[0].second - 1 - 4 - 2 * 1, 10) << "cdname」の 1 行目を読めません";
    QTest::newRow("a row's value past its end")
        << with(cds[0].second - 1 - 4 - 2 * 5, 96) << "cdname」の 1 行目を読めません";
    QTest::newRow("a 曲ID twice") << with(songs[1].first + 2, 1)
                                  << "kyoku」の「曲ID」1 が 1 行目と 2 行目にあります";
    QTest::newRow("empty file") << QByteArray() << "";
    QTest::newRow("not a database") << QByteArray(8 * pageSize, 'x') << "";
}

// Each damage the definition can carry is refused, naming the file and the
// cause, and nothing of it arrives as rows.
void TestLegacy::damagedDefinitionsAreRefused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, cause);
    QTemporaryDir dir;
    const QString path = writeCopy(dir, "damaged.mdb", bytes);
    QVERIFY(!path.isEmpty());
    try {
        importer::readLegacy(path);
        QFAIL("a damaged file was read as whole");
    } catch (const DbError& e) {
        QVERIFY2(e.description().contains(path), qPrintable(e.description()));
        QVERIFY2(e.description().contains(cause), qPrintable(e.description()));
    }
    // Rows libmdb reads well, read here too: the work told stays within its
    // total however many rows the definitions claim.
    if (cause.contains(u"定義では")) {
        bool counted = true;
        QVERIFY_THROWS_EXCEPTION(DbError, importer::readLegacyHere(path, [&](int done, int total) {
                                     counted = counted && 0 <= done && done <= total;
                                     return true;
                                 }));
        QVERIFY(counted);
    }
}

// A reader that cannot run (a crash ends it the same way: no answer at all)
// is a refusal naming the file, never the end of this process.
void TestLegacy::readerThatDiesIsARefusal()
{
    QTemporaryDir dir;
    // a folder in place of the file: the reading program refuses it itself
    QVERIFY(QDir(dir.path()).mkdir("folder.mdb"));
    QVERIFY_THROWS_EXCEPTION(DbError, importer::readLegacy(dir.filePath("folder.mdb")));
    // The reading program crashing while it works, at several moments: before
    // it has read anything, and while its rows are half way through the pipe
    // (they are larger than the pipe holds, so it waits for us to read).
    const QString path = writeCopy(dir, "cdkaisou.mdb", fixture());
    // A sanitized reading program would catch the signal and end by exit: its
    // runtime leaves the signal alone, so that the reader dies of it.
    const QByteArray asan = qgetenv("ASAN_OPTIONS"), tsan = qgetenv("TSAN_OPTIONS");
    qputenv("ASAN_OPTIONS", asan + ":handle_segv=0");
    qputenv("TSAN_OPTIONS", tsan + ":handle_segv=0");
    const auto restore = qScopeGuard([&] {
        qputenv("ASAN_OPTIONS", asan);
        qputenv("TSAN_OPTIONS", tsan);
    });
    int crashes = 0;
    for (int killAt = 1; killAt <= 6; ++killAt) {
        int calls = 0;
        bool killed = false;
        try {
            importer::readLegacy(path, [&](int, int) {
                if (++calls == killAt)
                    killed = QProcess::execute("pkill", {"-SEGV", "-f", "rondella-mdbread " + path})
                        == 0;
                return true;
            });
        } catch (const DbError& e) {
            QVERIFY(killed);
            QVERIFY2(e.description().contains(path), qPrintable(e.description()));
            QVERIFY2(e.description().contains("異常終了"), qPrintable(e.description()));
            ++crashes;
            continue;
        }
        QVERIFY(!killed); // it was quicker than the signal
    }
    QVERIFY2(crashes > 0, "the reading program always finished before it could be stopped");
}

// A few hundred damaged copies (bytes flipped anywhere, in the header and the
// table definitions, pages zeroed, cut at page and other offsets, random
// bytes): each is refused, or gives the good file's rows, every value of its
// column's type, every identifier there and once, no column emptied, and the
// good file's values wherever the damage spared the pages of rows. The test
// process never crashes.
void TestLegacy::mutatedCopiesAreRefusedOrWhole()
{
    const QByteArray good = fixture();
    QVERIFY(!good.isEmpty());
    const importer::Rows truth = importer::readLegacy(fixtures + "/cdkaisou.mdb");
    QTemporaryDir dir;
    // A column NULL in every row of a sound file is taken as it is: 段, the
    // last bit of each cdname row's null mask, cleared in every row.
    QByteArray shelfless = good;
    for (const auto& [start, end] : rowsOf(good, cdnameDef))
        shelfless[end - 1] = char(shelfless[end - 1] & 0x7f);
    importer::Rows blank = truth;
    for (QVector<QVariant>& row : blank.cds)
        row[7] = QVariant();
    const importer::Rows taken = importer::readLegacy(writeCopy(dir, "shelfless.mdb", shelfless));
    QVERIFY(taken.cds == blank.cds && taken.songs == truth.songs);
    QRandomGenerator random(20261207);
    const int pages = int(good.size() / pageSize);
    int refused = 0, whole = 0;
    QStringList causes;
    for (int n = 0; n < 300; ++n) {
        QByteArray bytes = good;
        const int kind = n % 6;
        const int page = kind == 1 ? 0 : kind == 2 ? (n % 12 < 6 ? 24 : 26) : random.bounded(pages);
        switch (kind) {
        case 0: // a few bytes flipped anywhere
        case 1: // in the file's header
        case 2: // in a table's definition
            for (int k = 0, flips = 1 + random.bounded(4); k < flips; ++k) {
                const int at = page * pageSize + random.bounded(kind == 2 ? 400 : pageSize);
                bytes[at] = char(bytes[at] ^ (1 << random.bounded(8)));
            }
            break;
        case 3: // a page zeroed
            bytes.replace(page * pageSize, pageSize, QByteArray(pageSize, '\0'));
            break;
        case 4: // cut short, at a page or anywhere
            bytes.truncate(n % 12 < 6 ? page * pageSize : random.bounded(good.size()));
            break;
        case 5: // a page of random bytes
            for (int i = 0; i < pageSize; ++i)
                bytes[page * pageSize + i] = char(random.bounded(256));
            break;
        }
        const QString path = writeCopy(dir, QString("m%1.mdb").arg(n), bytes);
        QVERIFY(!path.isEmpty());
        importer::Rows rows;
        try {
            rows = importer::readLegacy(path);
        } catch (const DbError& e) {
            QVERIFY2(e.description().contains(path), qPrintable(e.description()));
            ++refused;
            causes << e.description().section(QStringLiteral("原因: "), 1).left(24);
            continue;
        }
        ++whole;
        const QString what = QString("copy %1 (kind %2, page %3)").arg(n).arg(kind).arg(page);
        QVERIFY2(rows.cds.size() == truth.cds.size(), qPrintable(what));
        QVERIFY2(rows.songs.size() == truth.songs.size(), qPrintable(what));
        // Damage that spared the pages of rows cannot change a value: any
        // difference there is a value taken from the wrong bytes.
        const bool rowsSpared = kind == 4 || good[page * pageSize] != 1;
        for (const auto& [list, want, fields, id] :
             {std::tuple{&rows.cds, &truth.cds, &Connection::cdnameFields(), 0},
              std::tuple{&rows.songs, &truth.songs, &Connection::kyokuFields(), 1}}) {
            QSet<qint64> ids;
            QVector<bool> wantValues(fields->size()), gotValues(fields->size());
            for (qsizetype r = 0; r < list->size(); ++r) {
                const QVector<QVariant>& row = list->at(r);
                QVERIFY2(row.size() == fields->size(), qPrintable(what));
                QVERIFY2(!row.at(id).isNull(), qPrintable(what + ": a row without its identifier"));
                QVERIFY2(!ids.contains(row.at(id).toLongLong()),
                         qPrintable(what + ": identifier repeated: " + row.at(id).toString()));
                ids << row.at(id).toLongLong();
                for (int c = 0; c < row.size(); ++c) {
                    QVERIFY2(hasType(row.at(c), fields->at(c)),
                             qPrintable(what + ": " + fields->at(c).name + " = "
                                        + row.at(c).toString()));
                    QVERIFY2(!rowsSpared || row.at(c) == want->at(r).at(c),
                             qPrintable(what + ": " + fields->at(c).name + " = "
                                        + row.at(c).toString() + " for "
                                        + want->at(r).at(c).toString()));
                    wantValues[c] = wantValues[c] || !want->at(r).at(c).isNull();
                    gotValues[c] = gotValues[c] || !row.at(c).isNull();
                }
            }
            for (int c = 0; c < fields->size(); ++c)
                QVERIFY2(gotValues[c] || !wantValues[c],
                         qPrintable(what + ": " + fields->at(c).name + " NULL in every row"));
        }
    }
    causes.removeDuplicates();
    qInfo("%d refused, %d read whole; causes: %s", refused, whole, qPrintable(causes.join(" | ")));
    // the mutations reach both outcomes, or they test nothing
    QVERIFY(refused >= 100);
    QVERIFY(whole >= 10);
}

RONDELLA_TEST_GUILESS_MAIN(TestLegacy)
#include "tst_legacy.moc"
