#include "mainwindow/frmmain.h"
#include "mainwindow/msgbox.h"
#include "store/backup.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/importer.h"
#include "store/modrecord.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QSqlQuery>
#include <QTest>

using namespace modRecord;

namespace {

const QString fixtures = QStringLiteral(LEGACY_FIXTURES);

QByteArray fileHash(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// The TSV's rows, NULL as a null QString, escapes undone.
QList<QStringList> tsv(const QString& name)
{
    QFile f(fixtures + u'/' + name);
    f.open(QIODevice::ReadOnly);
    QList<QStringList> rows;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i].isEmpty())
            continue;
        QStringList cells;
        for (const QByteArray& cell : lines[i].split('\t')) {
            if (cell == "\\N") {
                cells << QString();
                continue;
            }
            QString text = QStringLiteral("");
            const QString raw = QString::fromUtf8(cell);
            for (qsizetype k = 0; k < raw.size(); ++k) {
                if (raw[k] == u'\\' && k + 1 < raw.size()) {
                    const QChar e = raw[++k];
                    text += e == u't' ? QChar(u'\t') : e == u'n' ? QChar(u'\n') : e == u'r' ? QChar(u'\r') : e;
                } else {
                    text += raw[k];
                }
            }
            cells << text;
        }
        rows << cells;
    }
    return rows;
}

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
    const QList<QStringList> truth = tsv(table + ".tsv");
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
                                    .arg(table).arg(r + 1).arg(fields[i].name, got, want)));
        }
        ++r;
    }
    QCOMPARE(r, int(truth.size()));
}

QStringList texts(const QList<MsgBoxRecord>& records)
{
    QStringList out;
    for (const MsgBoxRecord& r : records)
        out << r.text;
    return out;
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

private:
    std::unique_ptr<StartupFolder> m_folder;
    QPointer<frmMain> m_w;
};

void TestImport::init()
{
    m_folder = std::make_unique<StartupFolder>();
    strAppPath = m_folder->path();
}

void TestImport::cleanup()
{
    QCOMPARE(MsgBoxPendingAnswers(), 0);
    MsgBoxSetNextAnswers({});
    MsgBoxTakeAnswered();
    if (m_w)
        closeMain(m_w);
    m_folder.reset();
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
    QCOMPARE(m_w->lblRcount(3)->text(), QString("40 / 40"));
    QCOMPARE(rsKyoku->recordCount(), 400);
    closeMain(m_w);
    compareWithTruth(databasePath(), "cdname");
    compareWithTruth(databasePath(), "kyoku");
    QCOMPARE(fileHash(m_folder->file("cdkaisou.mdb")), before);
    // the yen decimals are shown as they are
    m_w = startMain();
    rsCD->setFilter("CDID = '15'");
    QCOMPARE(m_w->txtrs(4)->text(), QString("¥1,234.5"));
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
    const QByteArray before = fileHash(databasePath());
    try {
        const importer::Rows rows = importer::readLegacy(fixtures + u'/' + file);
        importer::writeCollection(databasePath(), rows, true);
        QFAIL("a damaged file was brought in");
    } catch (const DbError& e) {
        QVERIFY(e.description().contains(file));
    }
    QCOMPARE(fileHash(databasePath()), before);
    QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"cdkaisou.db"});
}

void TestImport::stoppedMidwayLeavesNoFile()
{
    const importer::Rows rows = importer::readLegacy(fixtures + "/cdkaisou.mdb");
    try {
        importer::writeCollection(databasePath(), rows, false,
                                  [](int done, int) { return done < 200; });
        QFAIL("not stopped");
    } catch (const DbError& e) {
        QCOMPARE(e.number(), LegacyReader::Cancelled);
    }
    QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    // and a target already taken is never replaced without being asked
    writeCollection(m_folder->path(), {cd(1, "いまのCD")}, {});
    const QByteArray before = fileHash(databasePath());
    QVERIFY_THROWS_EXCEPTION(DbError, importer::writeCollection(databasePath(), rows, false));
    QCOMPARE(fileHash(databasePath()), before);
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
    const QStringList said = texts(MsgBoxTakeAnswered());
    QCOMPARE(said.size(), 2);
    QVERIFY2(said[1].contains("CDID 1") && said[1].contains("曲ID 1"), qPrintable(said[1]));
    QCOMPARE(m_w->lblRcount(3)->text(), QString("2 / 2"));
    // replace: the collection becomes the old one, the previous one backed up
    pick();
    MsgBoxSetNextAnswers({QMessageBox::Yes});
    m_w->findChild<QAction*>("mnuImport")->trigger();
    QCOMPARE(MsgBoxTakeAnswered().size(), 1);
    QCOMPARE(m_w->lblRcount(3)->text(), QString("40 / 40"));
    QCOMPARE(backup::list(databasePath()).first().cds, 2);
}

QTEST_MAIN(TestImport)
#include "tst_import.moc"
