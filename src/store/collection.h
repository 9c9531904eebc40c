#pragma once

#include "connection.h"
#include "fullread.h"
#include "view.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <future>
#include <memory>

class FindIndex;
#include <vector>

using ViewPtr = std::shared_ptr<View>;

// The view itself; a view that was never created (the collection file could
// not be opened) raises an error instead.
View& need(const ViewPtr& view);

// Name of the collection file inside its folder.
inline constexpr char16_t kDatabaseFile[] = u"cdkaisou.db";

// One collection: the file in its folder, its two related views with their
// child views, the eight value lists, and the search state every window
// shares. The main window owns one and hands it to the forms, the search and
// the reports; nothing of it lives anywhere else. The names are the design's:
// its module procedures are members here under the same names.
class Collection : public QObject {
    Q_OBJECT
public:
    explicit Collection(QString folder);
    ~Collection() override;
    Collection(const Collection&) = delete;
    Collection& operator=(const Collection&) = delete;

    QString strAppPath; // the collection folder
    std::unique_ptr<Connection> cn;
    ViewPtr rsCD;
    ViewPtr rsKyokuSub;
    ViewPtr rsKyoku;
    ViewPtr rsCDSub;
    ViewPtr rsSakkyoku;
    ViewPtr rsHenkyoku;
    ViewPtr rsShikisya;
    ViewPtr rsEnsou;
    ViewPtr rsHatubai;
    ViewPtr rsBunya;
    ViewPtr rsKaisetu;
    ViewPtr rsSorisuto;
    ViewPtr rsCDList;
    QString strCriteria;

    QString databasePath() const;
    // The open connection; raises DbError (3709) while the file is not open.
    Connection& connection() const;

    // All four throw DbError; the caller's handler decides what to show.
    void OpenDataContext();
    void CloseDataContext();
    void CreateRecordsets();
    void OpenViews();

    // A large collection is read in two steps: the first screen at once, the
    // whole tables after it on a thread of their own. WaitForAllRows waits for
    // them (behind the wait window, when one is set) and hands them to the
    // views; views needing rows they do not yet hold call it themselves.
    void WaitForAllRows();
    bool AllRowsRead() const;
    // `waiting` is called with true before a wait and false after it; `failed`
    // when the whole tables could not be read or the file proved damaged (the
    // views are then empty).
    void SetReadingHooks(std::function<void(bool waiting)> waiting,
                         std::function<void(const DbError&)> failed);

    // Forgets every row kept from earlier reads and every integrity check
    // made, so that the next opening reads and checks as a fresh program does.
    void forgetReadRows() { memory.clear(); }

    // Long work on the collection's file from a thread of its own (a CSV
    // export or addition) uses a connection of its own, made on that thread
    // from what ownConnection() gives here: it knows what this program knows
    // of the file's checks and its backup. Once the work is done,
    // learnFrom() keeps what that connection learned (a backup made).
    struct OwnConnection {
        QString path;
        Connection::Memory memory;
    };
    OwnConnection ownConnection() const;
    void learnFrom(const OwnConnection& own);

    // Quick find: the rowids of the CDs where every word (normalised) occurs
    // in a field of the CD or of one of its songs. Waits for every row, as
    // any command that needs them does.
    std::shared_ptr<const QSet<qint64>> cdsMatching(const QStringList& words);
    // What quick find looks through, as of the file now.
    const FindIndex& findIndex();

    qint64 GetMaxCDID();
    qint64 GetMaxKyokuID();
    // Whether a CD with this title is stored (compared as the database compares text).
    bool CDNameExists(const QString& title);
    // How many stored CDs bear this title, compared the same way.
    int CDNameCount(const QString& title);

    // The value list's column and query, for the lists the entry forms reopen.
    struct ValueListDef {
        ViewPtr* list;
        const char16_t* column;
        const char16_t* sql;
    };
    std::vector<ValueListDef> valueLists();
    // Closes and reopens one value list with its query.
    void ReopenValueList(ViewPtr& list);

private:
    struct Reading;
    View::Loader tableLoader(const QString& sql, const QVector<FieldDef>& fields);
    View::Loader valueListLoader(const QString& sql);
    View::Loader valueListAtOpening(std::shared_ptr<const Snapshot> rows, int column);
    void openValueLists(const std::shared_ptr<Snapshot>& cds,
                        const std::shared_ptr<Snapshot>& songs);
    void tellFailure(const DbError& error);
    void startReading(const QString& mark, std::vector<FullRead::Query> queries,
                      const ViewPtr& songsOfCD, const ViewPtr& cdsOfSong,
                      const std::shared_ptr<Snapshot>& cdsAtOpening,
                      const std::shared_ptr<Snapshot>& songsAtOpening);
    qint64 largest(const QString& sql);

    // Kept across the openings of this collection: a reopening of the file as
    // this program left it reads nothing again.
    Connection::Memory memory;
    std::shared_ptr<const FindIndex> findText; // as of findTextMark
    QString findTextMark;
    std::future<std::shared_ptr<const FindIndex>> findTextMaking; // as of findTextMakingMark
    QString findTextMakingMark;
    std::atomic<bool> findTextStop = false;
    void startFindIndex(const Snapshot& cds, const Snapshot& songs, const QString& mark);
    void stopFindIndex();
    std::unique_ptr<Reading> reading;
    int readingGeneration = 0;
    bool finishing = false;
    std::function<void(bool)> waitShown;
    std::function<void(const DbError&)> readingFailed;
};
