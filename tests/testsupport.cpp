#include "testsupport.h"

#include "mainwindow/frmmain.h"
#include "mainwindow/startup.h"
#include "store/collection.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "widgets/msgbox.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QMetaMethod>
#include <QPointer>
#include <QProcess>
#include <QSettings>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <cstdio>

StartupFolder::StartupFolder() : m_previous(QDir::currentPath())
{
    QDir::setCurrent(m_dir.path());
    // What the program remembers for its user stays inside the folder, never
    // in the user's own configuration.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.filePath(u"settings"_s));
}

QVariantMap cd(int id, const QString& title, const QVariantMap& more)
{
    QVariantMap row = more;
    row.insert({{u"CDID"_s, id}, {u"CD名"_s, title}});
    return row;
}

QVariantMap song(const QString& cdTitle, int id, const QString& title, const QVariantMap& more)
{
    QVariantMap row = more;
    row.insert({{u"CD名"_s, cdTitle}, {u"曲ID"_s, id}, {u"曲名"_s, title}});
    return row;
}

static void insertRows(QSqlDatabase db, const QString& table, const QVector<FieldDef>& fields,
                       const QVector<QVariantMap>& rows)
{
    QStringList names;
    for (const FieldDef& f : fields)
        names << f.name;
    QSqlQuery q(db);
    q.prepare(u"INSERT INTO %1 (%2) VALUES (%3)"_s.arg(
        table, names.join(u','), QStringList(names.size(), u"?"_s).join(u',')));
    for (const QVariantMap& row : rows) {
        for (const FieldDef& f : fields)
            q.addBindValue(toStored(row.value(f.name), f.type));
        if (!q.exec())
            qFatal("insert failed");
    }
}

void writeCollection(const QString& folder, const QVector<QVariantMap>& cds,
                     const QVector<QVariantMap>& songs)
{
    Connection c(QDir(folder).filePath(u"cdkaisou.db"_s));
    QSqlDatabase db = c.database();
    db.transaction();
    insertRows(db, u"cdname"_s, Connection::cdnameFields(), cds);
    insertRows(db, u"kyoku"_s, Connection::kyokuFields(), songs);
    db.commit();
}

QStringList readColumn(const QString& folder, const QString& table, const QString& column)
{
    Connection c(QDir(folder).filePath(u"cdkaisou.db"_s));
    QStringList out;
    for (const QVariant& v :
         c.column(u"SELECT \"%1\" FROM \"%2\" ORDER BY rowid"_s.arg(column, table)))
        out << (v.isNull() ? u"<null>"_s : v.toString());
    return out;
}

MessageBoxAnswerer::MessageBoxAnswerer(QMessageBox::StandardButton answer) : m_answer(answer)
{
    connect(&m_timer, &QTimer::timeout, this, &MessageBoxAnswerer::poll);
    m_timer.start(10);
}

void MessageBoxAnswerer::poll()
{
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible() || box->property("answered").toBool())
        return;
    box->setProperty("answered", true);
    texts << box->text();
    titles << box->windowTitle();
    icons << box->icon();
    (box->button(m_answer) ? box->button(m_answer) : box->buttons().value(0))->click();
}

QByteArray fileHash(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly)
        ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
        : QByteArray();
}

QStringList sqlRows(const QString& file, const QStringList& statements)
{
    QStringList out;
    {
        QSqlDatabase db
            = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("sqlRows"));
        db.setDatabaseName(file);
        const bool open = db.open();
        QSqlQuery q(db);
        for (const QString& s : statements)
            if (!open || !q.exec(s))
                out << QStringLiteral("failed: ") + s;
        while (q.next()) {
            QStringList values;
            for (int c = 0; c < q.record().count(); ++c)
                values << q.value(c).toString();
            out << values.join(u'|');
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("sqlRows"));
    return out;
}

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

std::pair<int, QString> thrown(const std::function<void()>& work)
{
    try {
        work();
    } catch (const DbError& e) {
        return {e.number(), e.description()};
    }
    return {0, QString()};
}

qint64 endedProcessId()
{
    QProcess gone;
    gone.start(QStringLiteral("true"));
    gone.waitForFinished();
    return gone.processId() ? gone.processId() : 999999;
}

namespace {
void answerFileDialogs(const QStringList& files)
{
    if (files.isEmpty())
        return;
    QTimer::singleShot(0, [files] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->setDirectory(QFileInfo(files.first()).path());
        dialog->selectFile(files.first());
        QMetaObject::invokeMethod(dialog, "accept");
        answerFileDialogs(files.mid(1));
    });
}
} // namespace

QStringList triggerCommand(QObject* window, const char* name, const QStringList& files,
                           const QList<QMessageBox::StandardButton>& answers)
{
    answerFileDialogs(files);
    MsgBoxSetNextAnswers(answers);
    window->findChild<QAction*>(QString::fromLatin1(name))->trigger();
    return answeredTexts();
}

void pickFirstItem(QString* shown)
{
    QTimer::singleShot(0, [shown] {
        auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        *shown = dialog->comboBoxItems().value(0);
        dialog->setTextValue(*shown);
        dialog->accept();
    });
}

QStringList answeredTexts()
{
    QStringList out;
    for (const MsgBoxRecord& r : MsgBoxTakeAnswered())
        out << r.text;
    return out;
}

QList<QStringList> readTsv(const QString& path, QStringList* header)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QList<QStringList> rows;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].isEmpty())
            continue;
        QStringList cells;
        for (const QByteArray& cell : lines[i].split('\t')) {
            const QString raw = QString::fromUtf8(cell);
            QString text = cell == "\\N" ? QString() : u""_s; // NULL, or empty but not NULL
            for (qsizetype k = 0; !text.isNull() && k < raw.size(); ++k) {
                const QChar e = raw[k] == u'\\' && k + 1 < raw.size() ? raw[++k] : QChar();
                text += e.isNull() ? raw[k]
                    : e == u't'    ? QChar(u'\t')
                    : e == u'n'    ? QChar(u'\n')
                    : e == u'r'    ? QChar(u'\r')
                                   : e;
            }
            cells << text;
        }
        if (i > 0)
            rows << cells;
        else if (header)
            *header = cells;
    }
    return rows;
}

// The test's own collection, for tests that work on the data without a window.
static std::unique_ptr<Collection> ownCollection;

static frmMain* shownMain()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == u"frmMain" && w->isVisible())
            return qobject_cast<frmMain*>(w);
    return nullptr;
}

Collection& db()
{
    if (frmMain* w = shownMain())
        return w->db;
    if (!ownCollection || ownCollection->strAppPath() != QDir::currentPath())
        ownCollection = std::make_unique<Collection>(QDir::currentPath());
    return *ownCollection;
}

void dropOwnCollection()
{
    ownCollection.reset();
}

void endTest(QPointer<frmMain>& window, std::unique_ptr<StartupFolder>& folder)
{
    const int unused = MsgBoxPendingAnswers();
    MsgBoxSetNextAnswers({});
    MsgBoxTakeAnswered();
    if (window)
        closeMain(window);
    dropOwnCollection();
    folder.reset();
    QCOMPARE(unused, 0);
}

frmMain* startMain()
{
    // The program opens the collection itself, as a user's start does.
    dropOwnCollection();
    Main();
    return shownMain();
}

void closeMain(frmMain* w)
{
    w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QTest::qWait(1);
}

// A box nobody answers would hold a failing test until ctest's time-out: after
// a few seconds it is answered with its first button, and said so, so that the
// test goes on to fail on what it checks.
static void startUnansweredBoxGuard()
{
    // a test of the store alone runs a QCoreApplication, which shows no boxes
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    auto* guard = new QTimer(QCoreApplication::instance());
    QObject::connect(guard, &QTimer::timeout, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || box->buttons().isEmpty())
            return;
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        if (!box->property("firstSeen").isValid())
            box->setProperty("firstSeen", now);
        if (now - box->property("firstSeen").toLongLong() < 3000)
            return;
        qWarning("unanswered message box closed: %s", qPrintable(box->text()));
        box->buttons().constFirst()->click();
    });
    guard->start(250);
}

Q_COREAPP_STARTUP_FUNCTION(startUnansweredBoxGuard)

int execEachAlone(QObject* tests, int argc, char** argv)
{
    // Options or names given: QtTest's own run, as asked.
    if (argc > 1)
        return QTest::qExec(tests, argc, argv);
    static const QStringList fixture
        = {u"init"_s, u"cleanup"_s, u"initTestCase"_s, u"cleanupTestCase"_s};
    const QMetaObject* meta = tests->metaObject();
    int failures = 0;
    for (int m = meta->methodOffset(); m < meta->methodCount(); ++m) {
        const QMetaMethod method = meta->method(m);
        const QString name = QString::fromLatin1(method.name());
        if (method.methodType() != QMetaMethod::Slot || method.access() != QMetaMethod::Private
            || method.parameterCount() != 0 || name.endsWith(u"_data"_s) || fixture.contains(name))
            continue;
        // Each run's crash handler takes the one before as its own to pass a
        // crash on to: a crash would then go round the handlers and never end.
        for (int fatal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
            std::signal(fatal, SIG_DFL);
        try {
            failures += QTest::qExec(tests, {QString::fromLocal8Bit(argv[0]), name});
        } catch (...) {
            // QtTest has reported the function as failed; what it left behind goes
            ++failures;
            std::fprintf(stderr, "%s threw: it failed, and the tests after it still run\n",
                         qPrintable(name));
            if (meta->indexOfSlot("cleanup()") >= 0)
                QMetaObject::invokeMethod(tests, "cleanup", Qt::DirectConnection);
        }
    }
    return failures;
}

void typeKeys(QWidget* widget, const QString& text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

frmMain* MainWindowTest::start()
{
    return m_w = startMain();
}

void MainWindowTest::init()
{
    m_folder = std::make_unique<StartupFolder>();
}

void MainWindowTest::cleanup()
{
    endTest(m_w, m_folder);
}

bool isWaitShown()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->inherits("frmWait") && w->isVisible())
            return true;
    return false;
}

void whenModalShown(QObject* owner, const QString& name,
                    const std::function<void(QDialog*)>& answer)
{
    auto* poll = new QTimer(owner);
    QObject::connect(poll, &QTimer::timeout, owner, [poll, name, answer] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal->objectName() != name || !modal->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        answer(static_cast<QDialog*>(modal));
    });
    poll->start(10);
}
