#pragma once

#include "dberror.h"
#include "row.h"
#include "view.h"

#include <QStringList>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

struct sqlite3;

// Reads whole tables of the collection on a thread of its own, over a
// read-only connection, while the window already shows the first screen;
// optionally checks the file's integrity first. The rows are those of the
// moment the reading began: the caller holds its own read lock until
// started() returns, so nobody writes in between.
class FullRead {
public:
    struct Query {
        QString sql;
        QVector<FieldDef> fields;
        int chapterColumn = -1; // the rows are also indexed by this column, for a child view
    };
    struct Result {
        std::vector<Snapshot> rows; // one per query, in order
        std::vector<View::ChapterIndex> chapters; // likewise; empty where none was asked for
        QStringList problems; // what the integrity check found, when it found anything
        std::optional<DbError> error; // the file could not be read
    };

    // `done` runs on the thread of `context` once the result is in.
    FullRead(const QString& path, bool checkIntegrity, std::vector<Query> queries,
             class QObject* context, std::function<void()> done);
    ~FullRead(); // stops the reading and waits for the thread
    FullRead(const FullRead&) = delete;
    FullRead& operator=(const FullRead&) = delete;

    // Waits until the reading thread holds its read lock (or has failed).
    void started();
    bool finished() const;
    // Waits for the result.
    const Result& result();

private:
    void run();

    QString m_path;
    bool m_check;
    std::vector<Query> m_queries;
    QObject* m_context;
    std::function<void()> m_done;
    Result m_result;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_started = false;
    bool m_finished = false;
    sqlite3* m_db = nullptr; // for stopping a read under way
    std::thread m_thread;
};
