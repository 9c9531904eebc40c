#include "mainui.h"
#include "mainwindow/frmmain.h"
#include "store/backup.h"
#include "store/collection.h"
#include "store/connection.h"
#include "store/criteria.h"
#include "store/csvtransfer.h"
#include "store/dberror.h"
#include "store/importer.h"
#include "store/legacyreader.h"
#include "testsupport.h"
#include "widgets/longwork.h"
#include "widgets/msgbox.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QSqlQuery>
#include <QStringEncoder>
#include <QTest>
#include <QThread>

#include <atomic>

namespace {

const QString fixtures = QStringLiteral(LEGACY_FIXTURES);

// A stored value as the TSV writes it: dates with their time, currency with
// four decimals.
QString asTsv(const QVariant& v, const QString& column)
{
    if (v.isNull())
        return QString();
    if (column == u"購入価格")
        return QString::number(v.toDouble(), 'f', 4);
    if (column == u"購入年月日")
        return v.toString().size() == 10 ? v.toString() + " 00:00:00" : v.toString();
    return v.toString().isNull() ? QStringLiteral("") : v.toString();
}

// Every row of a table of the collection file, in stored order, against its TSV.
void compareWithTruth(const QString& collection, const QString& table)
{
    const QVector<FieldDef>& fields
        = table == u"cdname" ? Connection::cdnameFields() : Connection::kyokuFields();
    const QList<QStringList> truth = readTsv(fixtures + u'/' + table + ".tsv");
    Connection c(collection);
    QSqlQuery q(c.database());
    QVERIFY(q.exec("SELECT * FROM " + table + " ORDER BY rowid"));
    int r = 0;
    while (q.next()) {
        QVERIFY(r < truth.size());
        for (int i = 0; i < fields.size(); ++i) {
            const QString got = asTsv(q.value(fields[i].name), fields[i].name);
            const QString want = truth[r][i];
            QVERIFY2(got == want && got.isNull() == want.isNull(),
                     qPrintable(QString("%1 row %2 %3: [%4] against [%5]")
                                    .arg(table)
                                    .arg(r + 1)
                                    .arg(fields[i].name, got, want)));
        }
        ++r;
    }
    QCOMPARE(r, int(truth.size()));
}

QString query_text(const QString& file, const QString& sql)
{
    Connection c(file);
    const QVariantList values = c.column(sql);
    return values.isEmpty() ? QString() : values.first().toString();
}

} // namespace

class TestImport : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void offeredAtStartAndEveryValueArrives();
    void damagedFilesWriteNothing_data();
    void damagedFilesWriteNothing();
    void stoppedMidwayLeavesNoFile();
    void menuAddsOrReplaces();
    void csvRoundTrip();
    void csvLinesChecked_data();
    void csvLinesChecked();
    void exportOfWhatIsShown();
    void csvRoundTripIsByteExact();
    void wholeCollectionExportedInIdentifierOrder();
    void longWorkRunsBesideTheWindow();
    void csvImportAsksToReplaceOrAdd();
    void csvAdditionFirstThenTheWindowBackUpOnce();
    void startupImportOnAFullDiskLeavesNoCollection();

private:
    void writeOneCdCsv();
    void answerCsvDialogs();
    std::unique_ptr<StartupFolder> m_folder;
    QPointer<frmMain> m_w;
};

void TestImport::init()
{
    m_folder = std::make_unique<StartupFolder>();
}

void TestImport::cleanup()
{
    endTest(m_w, m_folder);
}

void TestImport::offeredAtStartAndEveryValueArrives()
{
    QVERIFY(QFile::copy(fixtures + "/cdkaisou.mdb", m_folder->file("cdkaisou.mdb")));
    const QByteArray before = fileHash(m_folder->file("cdkaisou.mdb"));
    MsgBoxSetNextAnswers({QMessageBox::Yes});
    m_w = startMain();
    QVERIFY(m_w);
    const QList<MsgBoxRecord> asked = MsgBoxTakeAnswered();
    QCOMPARE(asked.size(), 1);
    QVERIFY2(asked[0].text.contains("cdkaisou.mdb") && asked[0].text.contains("CD 40枚・曲 400曲"),
             qPrintable(asked[0].text));
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("40 / 40"));
    QCOMPARE(db().songs()->recordCount(), 400);
    closeMain(m_w);
    compareWithTruth(db().databasePath(), "cdname");
    compareWithTruth(db().databasePath(), "kyoku");
    QCOMPARE(fileHash(m_folder->file("cdkaisou.mdb")), before);
    // the yen decimals are shown as they are
    m_w = startMain();
    db().cds()->setFilter(Criteria().equals("CDID", "15"));
    QCOMPARE(txtrs(m_w, 4)->text(), QString("¥1,234.5"));
}

void TestImport::damagedFilesWriteNothing_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("rows garbled") << "damaged-rows.mdb";
    QTest::newRow("cut in half") << "damaged-truncated.mdb";
}

void TestImport::damagedFilesWriteNothing()
{
    QFETCH(QString, file);
    writeCollection(m_folder->path(), {cd(1, "いまのCD")}, {});
    const QByteArray before = fileHash(db().databasePath());
    try {
        const importer::Rows rows = importer::readLegacy(fixtures + u'/' + file);
        importer::writeCollection(db().databasePath(), rows, true);
        QFAIL("a damaged file was brought in");
    } catch (const DbError& e) {
        QVERIFY(e.description().contains(file));
    }
    QCOMPARE(fileHash(db().databasePath()), before);
    QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{"cdkaisou.db"});
}

void TestImport::stoppedMidwayLeavesNoFile()
{
    const importer::Rows rows = importer::readLegacy(fixtures + "/cdkaisou.mdb");
    try {
        importer::writeCollection(db().databasePath(), rows, false,
                                  [](int done, int) { return done < 200; });
        QFAIL("not stopped");
    } catch (const DbError& e) {
        QCOMPARE(e.number(), LegacyReader::Cancelled);
    }
    QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    // a target folder that cannot be written: refused, nothing left anywhere
    QFile blocker(m_folder->file("notafolder"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY_THROWS_EXCEPTION(
        DbError, importer::writeCollection(m_folder->file("notafolder/cdkaisou.db"), rows, false));
    QFile::remove(m_folder->file("notafolder"));
    QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    // and a target already taken is never replaced without being asked
    writeCollection(m_folder->path(), {cd(1, "いまのCD")}, {});
    const QByteArray before = fileHash(db().databasePath());
    QVERIFY_THROWS_EXCEPTION(DbError, importer::writeCollection(db().databasePath(), rows, false));
    QCOMPARE(fileHash(db().databasePath()), before);
}

void TestImport::menuAddsOrReplaces()
{
    writeCollection(m_folder->path(), {cd(1, "いまのCD"), cd(900, "番号の大きなCD")},
                    {song("いまのCD", 1, "いまの曲")});
    m_w = startMain();
    auto pick = [] {
        QTimer::singleShot(0, [] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->selectFile(fixtures + "/cdkaisou.mdb");
            QMetaObject::invokeMethod(dialog, "accept");
        });
    };
    // add: CDID 1 and 曲ID 1 are taken, so nothing is added, and they are named
    pick();
    MsgBoxSetNextAnswers({QMessageBox::No, QMessageBox::Ok});
    m_w->findChild<QAction*>("mnuImport")->trigger();
    const QStringList said = answeredTexts();
    QCOMPARE(said.size(), 2);
    QVERIFY2(said[1].contains("CDID 1") && said[1].contains("曲ID 1"), qPrintable(said[1]));
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("2 / 2"));
    // replace: the collection becomes the old one, the previous one backed up
    pick();
    MsgBoxSetNextAnswers({QMessageBox::Yes});
    m_w->findChild<QAction*>("mnuImport")->trigger();
    QCOMPARE(MsgBoxTakeAnswered().size(), 1);
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("40 / 40"));
    QCOMPARE(backup::list(db().databasePath()).first().cds, 2);
}

namespace {
// What CSV keeps of a value: NULL and the empty text apart, everything else.
QVariant asCsvKeeps(const QVariant& v)
{
    // a date at midnight is written as a date alone
    if (v.typeId() == QMetaType::QDateTime && v.toDateTime().time() == QTime(0, 0))
        return v.toDateTime().date();
    return v;
}
} // namespace

// The old collection out to CSV and back: every value the same, NULL and the
// empty text kept apart.
void TestImport::csvRoundTrip()
{
    const importer::Rows rows = importer::readLegacy(fixtures + "/cdkaisou.mdb");
    QList<csv::Refusal> refusals;
    const auto cds = csv::read(csv::write(Connection::cdnameFields(), rows.cds),
                               Connection::cdnameFields(), refusals);
    const auto songs = csv::read(csv::write(Connection::kyokuFields(), rows.songs),
                                 Connection::kyokuFields(), refusals);
    QCOMPARE(refusals.size(), 0);
    QCOMPARE(cds.size(), rows.cds.size());
    QCOMPARE(songs.size(), rows.songs.size());
    for (const auto& [got, want] : {std::pair{&cds, &rows.cds}, std::pair{&songs, &rows.songs}})
        for (qsizetype r = 0; r < want->size(); ++r)
            for (qsizetype c = 0; c < want->at(r).size(); ++c)
                QVERIFY2(got->at(r).at(c) == asCsvKeeps(want->at(r).at(c))
                             && got->at(r).at(c).isNull() == want->at(r).at(c).isNull(),
                         qPrintable(
                             QString("row %1 column %2: %3 against %4")
                                 .arg(r + 1)
                                 .arg(c)
                                 .arg(got->at(r).at(c).toString(), want->at(r).at(c).toString())));
    // and into an empty collection through the files, as the menu does
    csv::save(m_folder->file("cdname.csv"), csv::write(Connection::cdnameFields(), rows.cds));
    csv::save(m_folder->file("kyoku.csv"), csv::write(Connection::kyokuFields(), rows.songs));
    const importer::Rows back
        = csv::readFiles(m_folder->file("cdname.csv"), m_folder->file("kyoku.csv"));
    db().OpenDataContext();
    importer::addToCollection(db().connection(), back);
    db().CloseDataContext();
    db().OpenDataContext();
    QCOMPARE(db().cds()->recordCount(), 40);
    QCOMPARE(db().songs()->recordCount(), 400);
    db().songs()->setFilter(Criteria().equals("曲ID", "307"));
    QCOMPARE(db().songs()->value("曲名").toString(),
             QString("君と見た花火\r\n（シングル・ヴァージョン）"));
    db().cds()->setFilter(Criteria().equals("CDID", "28"));
    QCOMPARE(query_text(db().databasePath(), "SELECT 購入年月日 FROM cdname WHERE CDID = 28"),
             QString("1996-07-20 18:45:00"));
    db().CloseDataContext();
}

void TestImport::csvLinesChecked_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("refusal"); // empty: read whole
    QTest::addColumn<int>("rows");
    const QByteArray header = "CDID,CD名,解説者,購入価格,購入年月日,発売元,キャビネット,段\r\n";
    QTest::newRow("quote, comma and line break inside values")
        << header + "1,\"Take the \"\"A\"\" Train, live\",,3000,2002-01-31,\"a\r\nb\",A,1\r\n"
        << "" << 1;
    QTest::newRow("with a byte-order mark")
        << QByteArray("\xEF\xBB\xBF") + header + "1,CD,,,,,,\r\n"
        << "" << 1;
    QTest::newRow("a column missing: NULL") << QByteArray("CDID,CD名\r\n1,CD\r\n") << "" << 1;
    QTest::newRow("an unknown column named")
        << QByteArray("CDID,CD名,色\r\n1,CD,赤\r\n") << "色" << 0;
    QByteArray lines = header;
    for (int i = 2; i <= 6; ++i)
        lines += QByteArray::number(i) + ",CD" + QByteArray::number(i) + ",,,2002-01-0"
            + QByteArray::number(i) + ",,,\r\n";
    lines += "7,CD7,,,2002-13-45,,,\r\n8,CD8,,,,,,\r\n";
    QTest::newRow("a bad date on line 7") << lines << "7 行目" << 0;
    QTest::newRow("a price with words") << header + "1,CD,,五千,,,,\r\n"
                                        << "2 行目" << 0;
    QTest::newRow("an identifier past 2^32")
        << header + "4294967296,CD,,,,,,\r\n"
        << "2 行目: CDID「4294967296」は 1 から 2147483647" << 0;
    QTest::newRow("identifier 0") << header + "1,CD,,,,,,\r\n0,CD,,,,,,\r\n"
                                  << "3 行目: CDID「0」" << 0;
    QTest::newRow("identifier 2147483647 is taken") << header + "2147483647,CD,,,,,,\r\n"
                                                    << "" << 1;
    QTest::newRow("invalid UTF-8 on line 3")
        << header + "1,CD,,,,,,\r\n2,\xff\xfe\x43\x44,,,,,,\r\n"
        << "3 行目: UTF-8 として読めない文字" << 0;
    QTest::newRow("a column named twice") << QByteArray("CDID,CD名,解説者,CD名\r\n1,一,,二\r\n")
                                          << "列「CD名」が2回あります（2 列目と 4 列目）" << 0;
    QTest::newRow("one CDID on two lines") << header + "5,A,,,,,,\r\n6,B,,,,,,\r\n5,C,,,,,,\r\n"
                                           << "4 行目: CDID 5 は 2 行目にもあります" << 0;
    QTest::newRow("line numbers count blank lines")
        << header + "\r\n1,CD,,,,,,\r\n\r\n2,CD,,,,,,,余分\r\n"
        << "5 行目: 列の数が見出しと違います" << 0;
    QTest::newRow("line numbers count breaks inside values")
        << header + "1,\"a\r\nb\r\nc\",,,,,,\r\n2,CD,,,2002-02-30,,,\r\n"
        << "5 行目" << 0;
    QTest::newRow("a quote inside a plain value")
        << header + "1,CD,,,,,,\r\n2,C\"D,,,,,,\r\n"
        << "3 行目: 引用符（\"）の使い方が正しくありません" << 0;
    QTest::newRow("columns found by name in any order")
        << QByteArray("CD名,CDID\r\n二番目の列,7\r\n") << "" << 1;
    QTest::newRow("not CSV") << header + "1,\"unclosed,,,,,,\r\n"
                             << "2 行目: 引用符（\"）が閉じられていません" << 0;
    QTest::newRow("blanks and a mark inside values kept")
        << header + "1,  前後に空白 ,\t, 3000 , 2002-01-31 ,,,\r\n \t\r\n2,\xEF\xBB\xBF印,,,,,,\r\n"
        << "" << 2;
    QTest::newRow("a mark at a later line's start is no mark")
        << header + "1,CD,,,,,,\r\n\xEF\xBB\xBF\x32,CD,,,,,,\r\n"
        << "3 行目: CDID" << 0;
    QByteArray crOnly = lines;
    crOnly.replace("\r\n", "\r");
    QTest::newRow("CR alone ends a line") << crOnly << "7 行目" << 0;
    QTest::newRow("fifteen refusals, all named")
        << header + QByteArray("0,CD,,,,,,\r\n").repeated(15) << "16 行目" << 0;
    QStringEncoder le(QStringEncoder::Utf16LE), be(QStringEncoder::Utf16BE);
    const QString utf16 = "ファイル「cdname.csv」を取り込めません: UTF-16 のファイルです。UTF-8 "
                          "で保存してください";
    const QString cds = QString::fromUtf8(header + "1,CD,,,,,,\r\n");
    QTest::newRow("UTF-16 LE with its mark")
        << QByteArray("\xFF\xFE").append(le(u"解説者\r\n")) << utf16 << 0;
    QTest::newRow("UTF-16 BE with its mark")
        << QByteArray("\xFE\xFF").append(be(u"解説者")) << utf16 << 0;
    QTest::newRow("UTF-16 LE without a mark") << QByteArray(le(cds)) << utf16 << 0;
    QTest::newRow("UTF-16 BE without a mark") << QByteArray(be(cds)) << utf16 << 0;
}

void TestImport::csvLinesChecked()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, refusal);
    QFETCH(int, rows);
    const QString cdFile = m_folder->file("cdname.csv");
    const QString songFile = m_folder->file("kyoku.csv");
    csv::save(cdFile, text);
    csv::save(songFile, csv::write(Connection::kyokuFields(), {}));
    try {
        const importer::Rows read = csv::readFiles(cdFile, songFile);
        QVERIFY2(refusal.isEmpty(), "refusal expected");
        QCOMPARE(read.cds.size(), rows);
        if (QTest::currentDataTag() == QString("quote, comma and line break inside values")) {
            QCOMPARE(read.cds[0][1].toString(), QString("Take the \"A\" Train, live"));
            QCOMPARE(read.cds[0][5].toString(), QString("a\r\nb"));
            QCOMPARE(read.cds[0][4].toDate(), QDate(2002, 1, 31));
            QVERIFY(read.cds[0][2].isNull());
        }
        if (QTest::currentDataTag() == QString("blanks and a mark inside values kept")) {
            QCOMPARE(read.cds[0][1].toString(), QString("  前後に空白 "));
            QCOMPARE(read.cds[0][2].toString(), QString("\t"));
            QCOMPARE(read.cds[0][3], QVariant(qint64(3000)));
            QCOMPARE(read.cds[0][4].toDate(), QDate(2002, 1, 31));
            QCOMPARE(read.cds[1][1].toString(), QChar(0xFEFF) + QString("印"));
        }
        if (QTest::currentDataTag() == QString("a column missing: NULL"))
            QVERIFY(read.cds[0][3].isNull());
        if (QTest::currentDataTag() == QString("columns found by name in any order")) {
            QCOMPARE(read.cds[0][0], QVariant(qint64(7)));
            QCOMPARE(read.cds[0][1].toString(), QString("二番目の列"));
        }
    } catch (const DbError& e) {
        QVERIFY2(!refusal.isEmpty(), qPrintable(e.description()));
        QVERIFY2(e.description().contains(refusal), qPrintable(e.description()));
        QVERIFY(!e.description().contains("ほか 0 行"));
    }
}

// What the grids show, in their order: the found songs after a song search.
void TestImport::exportOfWhatIsShown()
{
    writeCollection(m_folder->path(), {cd(1, "CD, 一")},
                    {song("CD, 一", 3, "ラルゴ", {{"作曲者名", "ヘンデル"}}),
                     song("CD, 一", 1, "アリア", {{"作曲者名", "バッハ"}}),
                     song("CD, 一", 2, "ガヴォット", {{"作曲者名", "ヘンデル"}})});
    m_w = startMain();
    m_w->findChild<QAction*>("mnuTyuu")->trigger();
    Check1(m_w, 0)->setChecked(true);
    DataCombo1(m_w, 0)->setText("ヘンデル");
    cmdFilter(m_w)->click();
    m_w->findChild<QAction*>("mnuKyokuS")->trigger(); // ガヴォット before ラルゴ
    QTimer::singleShot(0, [this] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->selectFile(m_folder->file("shown.csv"));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    m_w->findChild<QAction*>("mnuCsvExportShown")->trigger();
    QFile f(m_folder->file("shown.csv"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    QVERIFY(lines[0].startsWith("\xEF\xBB\xBF"
                                "CD名,曲ID,曲名"));
    QVERIFY2(lines[1].startsWith("\"CD, 一\",2,ガヴォット,ヘンデル"), lines[1].constData());
    QVERIFY(lines[2].startsWith("\"CD, 一\",3,ラルゴ"));
    QCOMPARE(lines.size(), 4); // header, two songs, and the end of the last line
}

// Texts that libcsv would alter unquoted (blanks at either end, TAB, quotes,
// line breaks, NUL), and the empty text beside NULL: out and back unchanged,
// and written again to the same bytes.
void TestImport::csvRoundTripIsByteExact()
{
    const QStringList texts = {"  前に空白",
                               "後ろに空白  ",
                               "\tタブ\t",
                               "言う \"やあ\"",
                               "改行\r\nあり",
                               "LFだけ\n",
                               "𠮷野の春",
                               QString("NUL") + QChar(0) + "入り",
                               "=SUM(A1:A9)",
                               "a, b",
                               " ",
                               "",
                               "'89",
                               "普通の題",
                               QChar(0xFEFF) + QString("印から")};
    QVector<QVector<QVariant>> rows;
    for (int i = 0; i < texts.size(); ++i)
        rows << QVector<QVariant>{QVariant(qint64(i + 1)),
                                  QVariant(texts[i]),
                                  i % 2 ? QVariant() : QVariant(texts[i]),
                                  QVariant(qint64(1000 * i)),
                                  QVariant(),
                                  QVariant(QString("  " + texts[i])),
                                  QVariant(),
                                  QVariant()};
    const QByteArray out = csv::write(Connection::cdnameFields(), rows);
    QList<csv::Refusal> refusals;
    const auto back = csv::read(out, Connection::cdnameFields(), refusals);
    QCOMPARE(refusals.size(), 0);
    QVERIFY(out.contains("\"後ろに空白  \"")); // for a program that trims what is unquoted
    QCOMPARE(back.size(), rows.size());
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size(); ++c)
            QVERIFY2(back[r][c] == rows[r][c] && back[r][c].isNull() == rows[r][c].isNull(),
                     qPrintable(QString("row %1 column %2: [%3] against [%4]")
                                    .arg(r + 1)
                                    .arg(c)
                                    .arg(back[r][c].toString(), rows[r][c].toString())));
    QCOMPARE(csv::write(Connection::cdnameFields(), back), out);
}

// Both files of the whole collection, in identifier order whatever the order
// the rows were stored in, read back to the same rows.
void TestImport::wholeCollectionExportedInIdentifierOrder()
{
    writeCollection(m_folder->path(), {cd(45, "後のCD"), cd(3, "前のCD")},
                    {song("前のCD", 196, "第3楽章"), song("前のCD", 195, "第2楽章"),
                     song("後のCD", 1, "一", {{"分野", "交響曲"}})});
    db().OpenDataContext();
    csv::exportCollection(db().connection(), m_folder->file("cdname.csv"),
                          m_folder->file("kyoku.csv"));
    db().CloseDataContext();
    const importer::Rows back
        = csv::readFiles(m_folder->file("cdname.csv"), m_folder->file("kyoku.csv"));
    QStringList cds, songs;
    for (const auto& row : back.cds)
        cds << row[0].toString() + ":" + row[1].toString();
    for (const auto& row : back.songs)
        songs << row[1].toString() + ":" + row[2].toString() + ":" + row[14].toString();
    QCOMPARE(cds, (QStringList{"3:前のCD", "45:後のCD"}));
    QCOMPARE(songs, (QStringList{"1:一:交響曲", "195:第2楽章:", "196:第3楽章:"}));

    // the same from the menu, into a folder picked, while the window holds the file open
    QFile::remove(m_folder->file("cdname.csv"));
    QFile::remove(m_folder->file("kyoku.csv"));
    QVERIFY(QDir().mkpath(m_folder->file("out")));
    m_w = startMain();
    QTimer::singleShot(0, [this] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->setDirectory(m_folder->file("out"));
        dialog->selectFile(m_folder->file("out"));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    m_w->findChild<QAction*>("mnuCsvExport")->trigger();
    QVERIFY2(answeredTexts().value(0).startsWith("書き出しました。"),
             qPrintable(answeredTexts().join('|')));
    const importer::Rows fromMenu
        = csv::readFiles(m_folder->file("out/cdname.csv"), m_folder->file("out/kyoku.csv"));
    QCOMPARE(fromMenu.cds, back.cds);
    QCOMPARE(fromMenu.songs, back.songs);
}

// Long work runs on a thread of its own while the window's events go on; what
// it throws arrives here; キャンセル in its progress window stops it.
void TestImport::longWorkRunsBesideTheWindow()
{
    QThread* workThread = nullptr;
    std::atomic<bool> timerFired{false};
    QTimer::singleShot(0, [&] { timerFired = true; });
    runLongWork(nullptr, "作業中", [&](const LongWorkProgress&) {
        workThread = QThread::currentThread();
        for (int i = 0; i < 500 && !timerFired; ++i)
            QThread::msleep(2);
    });
    QVERIFY(workThread && workThread != QCoreApplication::instance()->thread());
    QVERIFY(timerFired); // the window's events ran while the work waited for them
    try {
        runLongWork(nullptr, "作業中", [](const LongWorkProgress&) {
            throw DbError(DbError::BadArguments, "仕事の中の失敗");
        });
        QFAIL("the work's failure was lost");
    } catch (const DbError& e) {
        QCOMPARE(e.number(), int(DbError::BadArguments));
        QCOMPARE(e.description(), QString("仕事の中の失敗"));
    }
    // キャンセル once the progress window shows
    QTimer press;
    press.setInterval(50);
    QObject::connect(&press, &QTimer::timeout, [] {
        if (auto* dialog = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget()))
            if (auto* button = dialog->findChild<QPushButton*>())
                button->click();
    });
    press.start();
    // the old database being written as a collection, slowly enough for the
    // window to show: stopped part-way, it leaves nothing behind
    const importer::Rows rows = importer::readLegacy(fixtures + "/cdkaisou.mdb");
    const int total = int(rows.cds.size() + rows.songs.size());
    QVERIFY(QDir().mkpath(m_folder->file("stopped")));
    const QString target = m_folder->file("stopped/cdkaisou.db");
    int steps = 0;
    try {
        runLongWork(nullptr, "作業中", [&](const LongWorkProgress& progress) {
            importer::writeCollection(target, rows, false, [&](int done, int all) {
                steps = done;
                QThread::msleep(20); // at most 9 s
                return progress(done, all);
            });
        });
        QFAIL("キャンセル did not stop the work");
    } catch (const DbError& e) {
        QCOMPARE(e.number(), int(LegacyReader::Cancelled));
    }
    QVERIFY(steps > 0 && steps < total);
    QCOMPARE(QDir(m_folder->file("stopped"))
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
}

// A CSV import into a collection that holds rows asks, as the old database's
// does: replace (after a backup) or add.
// cdname.csv with one CD (CDID 10, 来たCD) and an empty kyoku.csv, in the folder.
void TestImport::writeOneCdCsv()
{
    csv::save(
        m_folder->file("cdname.csv"),
        csv::write(Connection::cdnameFields(),
                   {{QVariant(qint64(10)), QVariant(QString("来たCD")), {}, {}, {}, {}, {}, {}}}));
    csv::save(m_folder->file("kyoku.csv"), csv::write(Connection::kyokuFields(), {}));
}

// Answers the CSV import's two file dialogs, one after the other, with the
// folder's cdname.csv and kyoku.csv.
void TestImport::answerCsvDialogs()
{
    QTimer::singleShot(0, [this] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->selectFile(m_folder->file("cdname.csv"));
        QMetaObject::invokeMethod(dialog, "accept");
        QTimer::singleShot(0, [this] {
            auto* second = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(second);
            second->selectFile(m_folder->file("kyoku.csv"));
            QMetaObject::invokeMethod(second, "accept");
        });
    });
}

void TestImport::csvImportAsksToReplaceOrAdd()
{
    writeCollection(m_folder->path(), {cd(1, "いまのCD"), cd(2, "もう一枚")}, {});
    writeOneCdCsv();
    m_w = startMain();
    // a write in the window first: this run's backup is made then
    {
        const int before = backup::list(db().databasePath()).size();
        db().connection().transaction([] {
            db().connection().insertRow(
                "cdname", Connection::cdnameFields(),
                {QVariant(qint64(3)), QVariant(QString("三枚目")), {}, {}, {}, {}, {}, {}});
        });
        QCOMPARE(backup::list(db().databasePath()).size(), before + 1);
    }
    m_w->reset();
    // add: the CD joins the three
    answerCsvDialogs();
    MsgBoxSetNextAnswers({QMessageBox::No, QMessageBox::Ok});
    m_w->findChild<QAction*>("mnuCsvImport")->trigger();
    QStringList said = answeredTexts();
    QCOMPARE(said.size(), 2);
    QVERIFY2(said[0].contains("置き換えますか") && said[0].contains("1 枚のCD"),
             qPrintable(said[0]));
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("4 / 4"));
    // the addition, on a connection of its own, knew of this run's backup: no second one
    QCOMPARE(backup::list(db().databasePath()).size(), 1);
    QCOMPARE(backup::list(db().databasePath()).first().cds, 2);
    // and the window's next write knows of it too
    db().connection().transaction([] {
        db().connection().insertRow(
            "cdname", Connection::cdnameFields(),
            {QVariant(qint64(4)), QVariant(QString("四枚目")), {}, {}, {}, {}, {}, {}});
    });
    QCOMPARE(backup::list(db().databasePath()).size(), 1);
    m_w->reset();
    // replace: only the CSV's CD is left, the three backed up
    answerCsvDialogs();
    MsgBoxSetNextAnswers({QMessageBox::Yes, QMessageBox::Ok});
    m_w->findChild<QAction*>("mnuCsvImport")->trigger();
    said = answeredTexts();
    QCOMPARE(said.size(), 2);
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("1 / 1"));
    QCOMPARE(txtrs(m_w, 1)->text(), QString("来たCD"));
    QCOMPARE(backup::list(db().databasePath()).first().cds, 5);
}

// The addition on its own connection as this run's first write: its backup
// is the run's one, and the window's next write makes none.
void TestImport::csvAdditionFirstThenTheWindowBackUpOnce()
{
    writeCollection(m_folder->path(), {cd(1, "いまのCD")}, {});
    writeOneCdCsv();
    m_w = startMain();
    answerCsvDialogs();
    MsgBoxSetNextAnswers({QMessageBox::No, QMessageBox::Ok});
    m_w->findChild<QAction*>("mnuCsvImport")->trigger();
    QCOMPARE(answeredTexts().size(), 2);
    QCOMPARE(backup::list(db().databasePath()).size(), 1);
    db().connection().transaction([] {
        db().connection().insertRow(
            "cdname", Connection::cdnameFields(),
            {QVariant(qint64(11)), QVariant(QString("次のCD")), {}, {}, {}, {}, {}, {}});
    });
    QCOMPARE(backup::list(db().databasePath()).size(), 1);
    QCOMPARE(readColumn(m_folder->path(), "cdname", "CDID"), (QStringList{"1", "10", "11"}));
}

// The start-up import on a disk that fills up: said in Japanese, no
// collection file made (so the import is offered again), nothing half-done
// left; once there is room, リセット offers it again and it arrives whole.
void TestImport::startupImportOnAFullDiskLeavesNoCollection()
{
    const QString small = m_folder->file("small");
    QVERIFY(QDir().mkpath(small));
    // room for the old database and a little more, not for the collection made from it
    if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=300k", "tmpfs", small}) != 0)
        QSKIP("a small disk cannot be mounted here (needs root)");
    struct Unmount {
        QString path, back;
        ~Unmount()
        {
            QDir::setCurrent(back);
            QProcess::execute("umount", {"-l", path});
        }
    } unmount{small, m_folder->path()};
    QDir::setCurrent(small);
    QVERIFY(QFile::copy(fixtures + "/cdkaisou.mdb", QDir(small).filePath("cdkaisou.mdb")));
    MsgBoxSetNextAnswers({QMessageBox::Yes, QMessageBox::Ok});
    m_w = startMain();
    QVERIFY(m_w);
    QStringList said = answeredTexts();
    QCOMPARE(said.size(), 2);
    QVERIFY2(said[1].contains("ディスクがいっぱいです"), qPrintable(said[1]));
    QVERIFY(!db().isOpen());
    QCOMPARE(QDir(small).entryList(QDir::Files | QDir::Hidden),
             QStringList({"cdkaisou.db.lock", "cdkaisou.mdb"}));
    QCOMPARE(QProcess::execute("mount", {"-o", "remount,size=4m", small}), 0);
    MsgBoxSetNextAnswers({QMessageBox::Yes});
    m_w->findChild<QAction*>("mnuReset")->trigger();
    said = answeredTexts();
    QCOMPARE(said.size(), 1);
    QVERIFY2(said[0].contains("CD 40枚・曲 400曲"), qPrintable(said[0]));
    QCOMPARE(lblRcount(m_w, 3)->text(), QString("40 / 40"));
    closeMain(m_w);
    db().CloseDataContext();
}

RONDELLA_TEST_MAIN(TestImport)
#include "tst_import.moc"
