#pragma once

#include "batch.h"
#include "catalogue.h"
#include "cdnotes.h"
#include "connection.h"
#include "criteria.h"
#include "duplicates.h"
#include "fullread.h"
#include "history.h"
#include "identifiers.h"
#include "loans.h"
#include "namegroups.h"
#include "ratings.h"
#include "view.h"
#include "wishes.h"
#include "works.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <optional>

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

    // The collection folder.
    const QString& strAppPath() const { return m_strAppPath; }
    // The search on show as captions and reports name it; empty for all data
    // and for all songs.
    const QString& strCriteria() const { return m_strCriteria; }
    // Whether the collection file is open (a refused start leaves it closed).
    bool isOpen() const { return bool(cn); }

    // The views the windows show, bind to, move through and sort. They are the
    // collection's: only its operations below open, filter, relink or replace
    // them.
    const ViewPtr& cds() const { return rsCD; } // cdname, linked to its songs
    const ViewPtr& songsOfCD() const { return rsKyokuSub; } // the current CD's songs
    const ViewPtr& songs() const { return rsKyoku; } // kyoku, linked to its CDs
    const ViewPtr& cdsOfSong() const { return rsCDSub; } // the current song's CDs
    const ViewPtr& cdList() const { return rsCDList; } // the CDs of the songs listed

    // The eight value lists, in the order they are opened.
    enum class ValueList { Sakkyoku, Henkyoku, Shikisya, Ensou, Sorisuto, Hatubai, Bunya, Kaisetu };
    const ViewPtr& valueList(ValueList which) const;
    // Closes and reopens one value list with its query.
    void ReopenValueList(ValueList which);

    // The searches. Each filters its view and names the search in strCriteria.
    void SearchSongs(Criteria criteria, const QString& text);
    // Returns how many CDs were found.
    int SearchCDs(Criteria criteria, const QString& text);
    // Quick find: the CDs where every word occurs in a field of the CD or of
    // one of its songs; the label names the search.
    void FindCDs(const QStringList& words, const QString& label);
    // The CDs bearing these titles (compared as songs are related to CDs),
    // shown as a CD search named by the label: a recording's CDs.
    void FindCDsTitled(const QStringList& titles, const QString& label);
    // The CDs that hold a song the song view lists, each once, in the order
    // of the songs, as the unlinked view shows them beside the songs.
    void ListCDsOfSongs();
    void DropCDList();
    // Back to all data, in the steps the window runs one by one: the sorts
    // go first (dropping the filters and reading again with a sort still set
    // would sort every song on the way), then the filters, the rows read
    // again, the child views linked to the new rows, the search's name.
    void ClearSorts();
    void ClearFilters();
    void RequeryAll();
    void RelinkChildViews();
    void ClearCriteria() { m_strCriteria.clear(); }

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
    // The numbers of the rows an entry form adds: an opening form begins
    // counting from the largest stored; an addition given up gives its
    // number back. Each returns the last number handed out.
    qint64 BeginCDEntry();
    qint64 BeginKyokuEntry();
    qint64 NewCDID() { return m_cdCounter.take(); }
    qint64 GiveBackCDID(qint64 id) { return m_cdCounter.giveBack(id); }
    qint64 NewKyokuID() { return m_kyokuCounter.take(); }
    qint64 GiveBackKyokuID(qint64 id) { return m_kyokuCounter.giveBack(id); }
    // The changes the entry forms make, each one transaction under the
    // catalogue's rules, on the row the CD view or the song view stands on
    // (one being added, or one stored). Each tells what it changed once it is
    // stored; a refusal throws DbError and changes nothing.
    // With a note, the CD's note is stored in the same transaction, as the
    // CD form's メモ is saved with the CD (a blank one takes it away).
    void SaveCD(const std::vector<catalogue::FieldChange>& changes, bool correction,
                const std::optional<QString>& note = std::nullopt);
    void DeleteCurrentCD(); // with the songs that go with it
    void SaveKyoku(const QString& cdTitle, const std::vector<catalogue::FieldChange>& changes);
    void DeleteCurrentKyoku();
    // The CD's jacket picture replaced by these JPEG bytes, or deleted when
    // they are empty: one change in the history, the picture it replaces
    // kept in the trash. Throws DbError, the picture then as it was.
    void ChangeJacket(qint64 cdid, const QByteArray& jpeg);
    // Whether the CD view, or the song view, holds a row being added.
    bool AddingCD() const;
    bool AddingKyoku() const;

    // The name groups the collector made (read once, again after each change).
    const names::Joins& NameJoins();
    // Every spelling of the word's name group, when the word is one of them
    // (as quick find writes it); the word alone otherwise.
    QStringList SpellingsOf(const QString& word);
    // The collector's changes to the name groups, each one transaction;
    // unifying rewrites the stored spellings and reads the views again.
    void JoinNames(const QStringList& spellings, const QString& name);
    void SplitName(const QString& spelling);
    names::Rewritten UnifyNames(const QStringList& spellings, const QString& chosen);
    // The changes made to the collection, newest first. 元に戻す takes back
    // the newest change still done (or the one given), やり直し does again
    // the one taken back last; each refused, with nothing written, when a
    // row it touched was changed since.
    QVector<history::Change> History();
    bool CanUndo();
    bool CanRedo();
    void Undo(qint64 change = -1);
    void Redo();
    // 一括変更: what the order makes of these rows of the view (indexes among
    // its visible rows), and those changes written, one transaction and one
    // change in the history; see batch.h.
    QVector<batch::Change> PlanBatch(const ViewPtr& view, const QVector<int>& rows,
                                     const batch::Order& order);
    void ApplyBatch(const ViewPtr& view, const QString& field,
                    const QVector<batch::Change>& changes);
    // The stars given to CDs and songs (read once, again after each change),
    // and a CD's (by its CDID) or a song's (by its 曲ID) given anew: 0 takes
    // them away. One change in the history.
    const ratings::Kept& Ratings();
    void Rate(ratings::Of which, qint64 id, int stars);
    // The CDID or 曲ID of a row of the view, as ratings are keyed.
    static std::optional<qint64> RatedId(ratings::Of which, const Row& row, const View& view);
    // The view's rows, the most stars first, the unrated last, then by title.
    void SortByRating(const ViewPtr& view, ratings::Of which);
    // The notes on CDs, by CDID (read once, again after each change), a CD's
    // note (empty for none), and a CD's note given anew: a blank text takes
    // it away. One change in the history; a CDID no CD bears is refused.
    const QHash<qint64, QString>& Notes();
    QString Note(qint64 cdid);
    void SetNote(qint64 cdid, const QString& text);
    // The CDs lent and not yet back, by CDID (read once, again after each
    // change); a CD's loans, newest first; a CD lent and given back, each one
    // change in the history, refused with DbError and nothing written when
    // the loan's rules say no (see loans.h).
    const QHash<qint64, loans::Loan>& Loans();
    QVector<loans::Loan> LoanHistory(qint64 cdid);
    void Lend(const loans::Loan& loan);
    void GiveBack(qint64 cdid, const QDate& on);
    // The wish list, newest first (read once, again after each change); a
    // wish added, saved or removed, each one change in the history.
    const QVector<wishes::Wish>& Wishes();
    qint64 AddWish(const wishes::Wish& wish);
    void SaveWish(const wishes::Wish& wish);
    void RemoveWish(qint64 id);
    // 重複の候補: the pairs of CDs likely one, among every CD and song (see
    // duplicates.h); a pair kept apart; one CD merged into another, one
    // change in the history after which the views are read again.
    QVector<duplicates::Pair> Duplicates();
    void KeepApart(qint64 a, qint64 b);
    duplicates::Merged MergeCDs(qint64 into, qint64 from);
    // Every work recorded in the collection, its composers by their name
    // groups: gathered once, and again after a change.
    std::shared_ptr<const works::Catalogue> Works();

    // Whether a CD with this title is stored (compared as the database compares text).
    bool CDNameExists(const QString& title);
    // How many stored CDs bear this title, compared the same way.
    int CDNameCount(const QString& title);

    // The value list's column and query.
    struct ValueListDef {
        ValueList which;
        const char16_t* column;
        const char16_t* sql;
    };
    static const std::vector<ValueListDef>& valueLists();

Q_SIGNALS:
    // A command waits for the rows still being read: true before the wait,
    // false after it, so that a window can show that it waits.
    void waitingForRows(bool waiting);
    // The whole tables could not be read, or the file proved damaged, while
    // the window was in use: the views are then empty. Told once the command
    // that waited is over.
    void readingFailed(const DbError& error);
    // A CD was added, corrected or deleted, and with it maybe its songs: the
    // song view may hold rows the file no longer has, and any value list may
    // have changed.
    void cdChanged(qint64 cdid);
    // A song was added, corrected or deleted.
    void songsChanged(qint64 kyokuId);
    // The name groups changed; after a unification, the stored names too.
    void namesChanged();
    // A change was taken back or done again: the views were read again.
    void changeTakenBack(const QVariant& cdid, const QVariant& songId);
    // Many rows were changed at once: the views are to be read again.
    void rowsChanged();
    // Stars were given or taken away.
    void ratingChanged(ratings::Of which, qint64 id);
    // A CD's note was given, changed or taken away.
    void noteChanged(qint64 cdid);
    // A CD was lent or given back.
    void loanChanged(qint64 cdid);
    // The wish list changed.
    void wishesChanged();

private:
    QString m_strAppPath;
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
    QString m_strCriteria;
    ViewPtr& listOf(ValueList which);

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
    std::optional<names::Joins> m_joins;
    std::optional<ratings::Kept> m_ratings;
    std::optional<QHash<qint64, QString>> m_notes;
    std::optional<QHash<qint64, loans::Loan>> m_loans;
    std::optional<QVector<wishes::Wish>> m_wishes;
    QString m_changeKind; // what the next change is, when its rows do not say
    void changeAs(const QString& kind, const std::function<void()>& work);
    void forgetKept();
    IdentifierCounter m_cdCounter;
    IdentifierCounter m_kyokuCounter;

    // Kept across the openings of this collection: a reopening of the file as
    // this program left it reads nothing again.
    Connection::Memory memory;
    std::shared_ptr<const FindIndex> findText; // as of findTextMark
    QString findTextMark;
    using SharedWorks = std::shared_ptr<const works::Catalogue>;
    SharedWorks worksFound; // as of worksMark
    QString worksMark;
    // Quick find's text, then the works, made beside the window once every
    // row is in, as of findTextMakingMark: the text is ready before the works.
    std::future<std::shared_ptr<const FindIndex>> findTextMaking;
    std::future<SharedWorks> worksMaking; // null when given up
    QString findTextMakingMark;
    std::atomic<bool> findTextStop = false;
    void startFindIndex(const Snapshot& cds, const Snapshot& songs, const QString& mark);
    void stopFindIndex();
    std::unique_ptr<Reading> reading;
    int readingGeneration = 0;
    bool finishing = false;
};
