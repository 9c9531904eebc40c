#pragma once

#include "store/dberror.h"

#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QVariantMap>
#include <QVector>
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
    ~StartupFolder();
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

// Answers every modal message box that opens while it lives, pressing the
// given button, and records what each box said.
class MessageBoxAnswerer : public QObject {
    Q_OBJECT
public:
    explicit MessageBoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok);
    ~MessageBoxAnswerer() override;
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

template <typename T> T* child(QObject* parent, const QString& name)
{
    return parent->findChild<T*>(name);
}

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

#define RONDELLA_TEST_MAIN(TestObject)                                                             \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        QApplication app(argc, argv);                                                              \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestObject tc;                                                                             \
        return execEachAlone(&tc, argc, argv);                                                     \
    }

#define RONDELLA_TEST_GUILESS_MAIN(TestObject)                                                     \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        QCoreApplication app(argc, argv);                                                          \
        TestObject tc;                                                                             \
        return execEachAlone(&tc, argc, argv);                                                     \
    }
