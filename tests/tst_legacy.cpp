#include "store/importer.h"
#include "testsupport.h"

#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <QtEndian>

namespace {

const QString fixtures = QStringLiteral(LEGACY_FIXTURES);

// Where the fixture keeps the two tables' definitions: page 24 (cdname) and
// 26 (kyoku); in each, the row count at byte 16, the column count at 45 and
// the columns' 25-byte descriptors, their type first, from byte 63; in a
// descriptor, the column's number at byte 5, its number among the variable
// columns at 7, its flags at 15 (1: fixed), its offset in the fixed part at 21.
constexpr int pageSize = 4096, cdnameDef = 24 * pageSize, kyokuDef = 26 * pageSize;
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

QByteArray fixture(const QString& name = u"cdkaisou.mdb"_s)
{
    return bytesOf(fixtures + u'/' + name);
}

} // namespace

class TestLegacy : public QObject {
    Q_OBJECT
private slots:
    void jetDatesAndText()
    {
        QCOMPARE(jetDateTime(-363.0), QDateTime(QDate(1899, 1, 1), QTime(0, 0)));
        QCOMPARE(jetDateTime(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));
        QCOMPARE(jetDateTime(35266.78125), QDateTime(QDate(1996, 7, 20), QTime(18, 45)));
        QCOMPARE(jetText("\xFF\xFEPOCG-3521"_ba), u"POCG-3521"_s);
        QCOMPARE(jetText("\xFF\xFE\x41\0\x42\x30\0B"_ba), u"AあB"_s);
        // UTF-16 LE, uncompressed, with a surrogate pair
        QCOMPARE(jetText("\x42\xD8\xB7\xDF\xCE\x91"_ba), u"𠮷野"_s);
    }

    void damagedFilesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("cause");
        const QByteArray good = fixture();
        QVERIFY(good.size() == 59 * pageSize);
        auto with = [&good](int at, char value, QByteArray b = {}) {
            b = b.isEmpty() ? good : b;
            b[at] = value;
            return b;
        };
        auto type = [&](int def, int column, int at, char value) {
            return with(columnType(def, column) + at, value);
        };
        const auto cds = rowsOf(good, cdnameDef), songs = rowsOf(good, kyokuDef);
        QVERIFY(cds.size() == 40 && songs.size() == 400);
        const QString cdDef = u"cdname」の定義が壊れています"_s;
        auto row = [](const char* name, const QByteArray& bytes, const QString& cause) {
            QTest::newRow(name) << bytes << cause;
        };
        row("rows garbled", fixture(u"damaged-rows.mdb"_s), u"kyoku"_s);
        row("cut in half", fixture(u"damaged-truncated.mdb"_s), QString());
        // libmdb returns no column list and the old reader walked it anyway
        row("column count 200", with(cdnameDef + 45, char(200)), u"テーブル「cdname」"_s);
        row("column count 3", with(cdnameDef + 45, 3), u"テーブル「cdname」"_s);
        row("column count 65535", with(cdnameDef + 46, char(255), with(cdnameDef + 45, char(255))),
            cdDef);
        // a row's null mask (its last byte) says the identifier is missing: the
        // first row of cdname ends page 28, the first of kyoku page 31
        row("a CD without its CDID",
            with(28 * pageSize + 4095, char(good[28 * pageSize + 4095] & ~1)),
            u"cdname」の 1 行目に「CDID」がありません"_s);
        row("a song without its 曲ID",
            with(31 * pageSize + 4094, char(good[31 * pageSize + 4094] & ~2)),
            u"kyoku」の 1 行目に「曲ID」がありません"_s);
        // a price read as text gave hex, a title read as a number gave nonsense
        row("price column as text", type(cdnameDef, 3, 0, 10),
            u"購入価格」が通貨型ではありません"_s);
        row("date column as long", type(cdnameDef, 4, 0, 4),
            u"購入年月日」が日付/時刻型ではありません"_s);
        row("title column as long", type(kyokuDef, 2, 0, 4), u"曲名」がテキスト型ではありません"_s);
        row("id column as text", type(kyokuDef, 1, 0, 10), u"曲ID」が長整数型ではありません"_s);
        // a damaged column size: the texts stored are longer than the column holds
        row("title longer than its column", type(cdnameDef, 1, 23, 20),
            u"cdname」の 1 行目の「CD名」が列の長さ（10 文字）を超えています"_s);
        // 42 bytes, 22 characters
        row("title one character longer than its column", type(cdnameDef, 1, 23, 42),
            u"cdname」の 1 行目の「CD名」が列の長さ（21 文字）を超えています"_s);
        row("one byte short", good.left(good.size() - 1),
            u"ページの大きさ 4096 バイトの倍数ではありません"_s);
        row("100 bytes short", good.left(good.size() - 100), u"倍数ではありません"_s);
        row("whole pages missing", good.left(30 * pageSize), QString());
        row("one more row declared", with(cdnameDef + 16, 41),
            u"定義では 41 行、読めたのは 40 行"_s);
        row("row counts past 32 bits",
            with(cdnameDef + 19, char(0xff)).replace(cdnameDef + 16, 3, "\xff\xff\xff"),
            u"定義では 4294967295 行、読めたのは 40 行"_s);
        row("row counts that add past an int",
            with(cdnameDef + 19, 0x7f)
                .replace(cdnameDef + 16, 3, "\xff\xff\xff")
                .replace(kyokuDef + 16, 4, "\xff\xff\xff\x7f"),
            u"定義では 2147483647 行、読めたのは 40 行"_s);
        // Columns that disagree: libmdb read a column numbered past the rows'
        // columns (or past the variable ones) as NULL in every row, and a fixed
        // column wherever its offset pointed, into another's bytes.
        row("column number repeated", type(cdnameDef, 1, 5, 2),
            cdDef + u"（列「CD名」と列「解説者」の番号"_s);
        row("column number past the count", type(cdnameDef, 1, 5, 8),
            cdDef + u"（列「CD名」の番号 8 が列の数 8"_s);
        const QString overlap = u"列「購入価格」と列「購入年月日」の位置が重なっています"_s;
        row("fixed column onto the next one's start", type(cdnameDef, 3, 21, 5), overlap);
        row("fixed column onto the next one's end", type(cdnameDef, 3, 21, 19), overlap);
        row("fixed column past the fixed part", type(cdnameDef, 4, 21, 13),
            cdDef + u"（列「購入年月日」が 1 行目の固定長の部分に収まりません"_s);
        row("variable numbers with a gap", type(cdnameDef, 7, 7, 5),
            cdDef + u"（列「段」の可変長の番号 5 が飛んでいます"_s);
        row("variable number repeated", type(kyokuDef, 9, 7, 10),
            u"kyoku」の定義が壊れています（列「録音先番号」と列「録音年月日」の可変長の番号"_s);
        row("a column no row holds",
            with(columnType(cdnameDef, 7) + 21, 0x14, type(cdnameDef, 7, 15, 3)),
            cdDef + u"（列「段」がどの行にもありません"_s);
        // rows that disagree: one variable column fewer (its count just before
        // the null mask), values out of order or past the row's end (the
        // offsets before the count, the first value's start first)
        row("a row without a column", with(songs[0].second - 4, 13),
            u"kyoku」の 1 行目に列「分野」がありません"_s);
        row("a row's values out of order", with(cds[0].second - 7, 10),
            u"cdname」の 1 行目を読めません"_s);
        row("a row's value past its end", with(cds[0].second - 15, 96),
            u"cdname」の 1 行目を読めません"_s);
        row("a 曲ID twice", with(songs[1].first + 2, 1),
            u"kyoku」の「曲ID」1 が 1 行目と 2 行目にあります"_s);
        // every CD bought on the day after 9999-12-31, where its date is given
        QByteArray lastDay = good;
        const int dateAt
            = 2 + qFromLittleEndian<quint16>(good.constData() + columnType(cdnameDef, 4) + 21);
        const double day = qToLittleEndian(2958466.0);
        for (const auto& [start, end] : cds)
            lastDay.replace(start + dateAt, 8, reinterpret_cast<const char*>(&day), 8);
        row("a date past 9999-12-31", lastDay, u"「購入年月日」は日付ではありません"_s);
        row("empty file", QByteArray(), QString());
        row("not a database", QByteArray(8 * pageSize, 'x'), QString());
    }

    // Each damage the file can carry is refused, naming the file and the
    // cause, and nothing of it arrives as rows.
    void damagedFilesAreRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, cause);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"damaged.mdb"_s);
        QVERIFY(writeBytes(path, bytes));
        const auto [number, said] = thrown([&] { importer::readLegacy(path); });
        QVERIFY2(number != 0 && said.contains(path) && said.contains(cause), qPrintable(said));
        // the work told stays within its total however many rows the definitions claim
        bool counted = true;
        if (cause.contains(u"定義では"))
            QVERIFY_THROWS_EXCEPTION(DbError,
                                     importer::readLegacyHere(path, [&](int done, int all) {
                                         return counted = counted && 0 <= done && done <= all;
                                     }));
        QVERIFY(counted);
    }

    // A reader that cannot run, or crashes while it works (before it has read
    // anything, and with its rows half way through the pipe, larger than the
    // pipe holds) is a refusal naming the file, never the end of this process.
    void readerThatDiesIsARefusal()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(u"folder.mdb"_s)); // the reading program refuses it
        QVERIFY_THROWS_EXCEPTION(DbError, importer::readLegacy(dir.filePath(u"folder.mdb"_s)));
        const QString path = dir.filePath(u"cdkaisou.mdb"_s);
        QVERIFY(writeBytes(path, fixture()));
        // a sanitized reading program must die of the signal, not exit on it
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
            const QString said
                = thrown([&] {
                      importer::readLegacy(path, [&](int, int) {
                          if (++calls == killAt)
                              killed = QProcess::execute(
                                           u"pkill"_s,
                                           {u"-SEGV"_s, u"-f"_s, u"rondella-mdbread "_s + path})
                                  == 0;
                          return true;
                      });
                  }).second;
            QVERIFY2(said.isEmpty()
                         != (killed && said.contains(path) && said.contains(u"異常終了")),
                     qPrintable(said)); // or it was quicker than the signal
            crashes += !said.isEmpty();
        }
        QVERIFY2(crashes > 0, "the reading program always finished before it could be stopped");
    }
};

RONDELLA_TEST_GUILESS_MAIN(TestLegacy)
#include "tst_legacy.moc"
