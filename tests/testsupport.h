#pragma once

#include "store/dberror.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPointer>

#include <QTemporaryDir>
#include <QTimer>
#include <QVariantMap>
#include <QVector>
#include <functional>
#include <memory>

// Tests write texts as u"…"_s, as the program is built with no implicit
// conversion from plain literals.
using namespace Qt::StringLiterals;

class Collection;
class frmMain;

// The collection a test works on: the main window's while one is shown,
// otherwise one of the test's own for the current folder.
Collection& db();
// Closes and forgets the test's own collection.
void dropOwnCollection();

// A fresh start-up folder that is the current folder while the test runs;
// the user's settings live in it too.
class StartupFolder {
public:
    StartupFolder();
    ~StartupFolder() { QDir::setCurrent(m_previous); }
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// Rows for a collection written straight into cdkaisou.db.
QVariantMap cd(int id, const QString& title, const QVariantMap& more = {});
QVariantMap song(const QString& cdTitle, int id, const QString& title,
                 const QVariantMap& more = {});
void writeCollection(const QString& folder, const QVector<QVariantMap>& cds,
                     const QVector<QVariantMap>& songs);
// Reads one column of a table straight from the file, in rowid order.
QStringList readColumn(const QString& folder, const QString& table, const QString& column);

// SHA-256 of a file's bytes; empty when it cannot be read.
QByteArray fileHash(const QString& path);

// The texts of the boxes answered in advance since the last call.
QStringList answeredTexts();

// A ground-truth table: UTF-8, TAB-separated, a header line, \N for NULL
// (a null QString), backslash escapes for backslash, TAB, LF and CR.
QList<QStringList> readTsv(const QString& path, QStringList* header = nullptr);

// Runs statements on a connection of its own to a database file: the rows of
// the last one, their values joined by "|"; a statement that fails gives
// "failed: " and the statement.
QStringList sqlRows(const QString& file, const QStringList& statements);
// A file's bytes, empty where it cannot be read; and a file written whole.
QByteArray bytesOf(const QString& path);
bool writeBytes(const QString& path, const QByteArray& bytes);
// The number and description of the DbError the work throws; 0 where it throws none.
std::pair<int, QString> thrown(const std::function<void()>& work);
// The identifier of a process that has ended.
qint64 endedProcessId();

// Answers every modal message box that opens while it lives, pressing the
// given button, and records what each box said.
class MessageBoxAnswerer : public QObject {
    Q_OBJECT
public:
    explicit MessageBoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok);
    QStringList texts;
    QStringList titles;
    QList<QMessageBox::Icon> icons;
    void setAnswer(QMessageBox::StandardButton a) { m_answer = a; }

private:
    void poll();
    QTimer m_timer;
    QMessageBox::StandardButton m_answer;
};

// Ends a test that may have opened the main window: answers given in advance
// and never asked for are dropped (and fail the test, after the rest is
// undone), the window closes, the data context and the folder go.
void endTest(QPointer<frmMain>& window, std::unique_ptr<StartupFolder>& folder);

// Calls Main in the current folder and returns the main window it showed.
frmMain* startMain();
// Closes the main window as the user would and lets it unload.
void closeMain(frmMain* w);

// Triggers a command of a window, the file dialogs it opens answered one
// after the other with these files, its boxes with these answers: what the
// boxes said.
QStringList triggerCommand(QObject* window, const char* name, const QStringList& files = {},
                           const QList<QMessageBox::StandardButton>& answers = {});
// Answers the next modal dialog of this objectName when it shows (the poll
// lives as long as `owner`).
void whenModalShown(QObject* owner, const QString& name,
                    const std::function<void(QDialog*)>& answer);
// Picks the first item of the next input dialog's list, noting what it showed.
void pickFirstItem(QString* shown);

// Types the text into the widget one key at a time, as a keyboard does
// (QTest::keyClicks knows Latin-1 alone).
void typeKeys(QWidget* widget, const QString& text);

// The fixture of a suite on the main window: each test function starts in a
// fresh start-up folder and ends as endTest ends it. A suite's own init() or
// cleanup() calls these first.
class MainWindowTest : public QObject {
    Q_OBJECT
protected:
    // Shows the main window on the folder's collection.
    frmMain* start();
    std::unique_ptr<StartupFolder> m_folder;
    QPointer<frmMain> m_w;
protected slots:
    void init();
    void cleanup();
};

// The number of the DbError that f raises; 0 when it raises none.
template <typename F> int errorOf(F&& f)
{
    try {
        f();
    } catch (const DbError& e) {
        return e.number();
    }
    return 0;
}

// Runs each test function of `tests` on its own, so that an exception escaping
// one (a DbError, say) fails that function alone and the rest still run; the
// fixture's cleanup() is called after it. With test functions named on the
// command line, runs them as QtTest does. Returns the number of failures.
int execEachAlone(QObject* tests, int argc, char** argv);

#define RONDELLA_TEST_MAIN_OF(Application, TestObject, ...)                                        \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        Application app(argc, argv);                                                               \
        __VA_ARGS__;                                                                               \
        TestObject tc;                                                                             \
        return execEachAlone(&tc, argc, argv);                                                     \
    }
#define RONDELLA_TEST_MAIN(TestObject)                                                             \
    RONDELLA_TEST_MAIN_OF(QApplication, TestObject, app.setAttribute(Qt::AA_Use96Dpi, true))
#define RONDELLA_TEST_GUILESS_MAIN(TestObject) RONDELLA_TEST_MAIN_OF(QCoreApplication, TestObject)
