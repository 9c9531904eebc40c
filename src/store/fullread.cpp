#include "fullread.h"

#include "connection.h"
#include "rowreader.h"

#include <QCoreApplication>
#include <QFile>
#include <QObject>
#include <QPointer>

#include <sqlite3.h>

FullRead::FullRead(const QString& path, bool checkIntegrity, std::vector<Query> queries,
                   QObject* context, std::function<void()> done)
    : m_path(path), m_check(checkIntegrity), m_queries(std::move(queries)), m_context(context),
      m_done(std::move(done))
{
    m_thread = std::thread([this] { run(); });
}

FullRead::~FullRead()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_db)
            sqlite3_interrupt(m_db);
    }
    m_thread.join();
}

void FullRead::started()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_started; });
}

bool FullRead::finished() const
{
    std::lock_guard lock(m_mutex);
    return m_finished;
}

const FullRead::Result& FullRead::result()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_finished; });
    return m_result;
}

void FullRead::run()
{
    Result result;
    sqlite3* db = nullptr;
    auto signalStarted = [this] {
        std::lock_guard lock(m_mutex);
        m_started = true;
        m_changed.notify_all();
    };
    try {
        const QByteArray name = QFile::encodeName(m_path);
        if (sqlite3_open_v2(name.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                            nullptr)
            != SQLITE_OK)
            throw rowreader::Failure{QSqlError(QString(), QString::fromUtf8(sqlite3_errmsg(db)),
                                               QSqlError::ConnectionError,
                                               QString::number(sqlite3_errcode(db)))};
        sqlite3_busy_timeout(db, 5000);
        {
            std::lock_guard lock(m_mutex);
            m_db = db;
        }
        // The read lock is taken by the first statement of the transaction.
        rowreader::scalar(db, QStringLiteral("BEGIN"));
        rowreader::scalar(db, QStringLiteral("SELECT COUNT(*) FROM sqlite_master"));
        signalStarted();
        if (m_check) {
            for (const QVariant& line : rowreader::column(db, QStringLiteral("PRAGMA quick_check")))
                result.problems.append(line.toString());
            if (result.problems == QStringList{QStringLiteral("ok")})
                result.problems.clear();
        }
        if (result.problems.isEmpty())
            for (const Query& q : m_queries) {
                result.rows.push_back(rowreader::read(db, q.sql, q.fields));
                result.chapters.push_back(
                    q.chapterColumn < 0 ? View::ChapterIndex()
                                        : View::chapterIndexOf(result.rows.back(), q.chapterColumn,
                                                               q.fields.at(q.chapterColumn).type));
            }
        rowreader::scalar(db, QStringLiteral("COMMIT"));
    } catch (const rowreader::Failure& f) {
        result.error = Connection::failure(m_path, QStringLiteral("読み込めません"), f.error);
        result.rows.clear();
    }
    {
        std::lock_guard lock(m_mutex);
        m_db = nullptr;
    }
    sqlite3_close(db);
    {
        std::lock_guard lock(m_mutex);
        m_result = std::move(result);
        m_started = true;
        m_finished = true;
        m_changed.notify_all();
    }
    if (m_context && m_done)
        QMetaObject::invokeMethod(m_context, m_done, Qt::QueuedConnection);
}
