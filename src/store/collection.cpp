#include "collection.h"
#include "tables.h"

#include "catalogue.h"
#include "fieldtext.h"
#include "findindex.h"
#include "identifiers.h"

#include "dberror.h"
#include "fullread.h"
#include "rowreader.h"
#include "titlelookup.h"

#include <QCoreApplication>

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QScopedValueRollback>
#include <QSet>

#include <algorithm>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <optional>

namespace {

const QString cdColumns = cdnameTable().columnList();
const QString kyokuColumns = kyokuTable().columnList();
const QString cdSql = cdnameTable().selectAll();
const QString kyokuSql = kyokuTable().selectAll();

Snapshot valueRows(QStringList values)
{
    std::stable_sort(values.begin(), values.end(), japaneseCollator());
    std::vector<RowPtr> rows;
    rows.reserve(size_t(values.size()));
    for (const QString& value : std::as_const(values))
        rows.push_back(Row::make(-1, {value}));
    return Snapshot(std::move(rows));
}

int columnIndex(const QVector<FieldDef>& fields, const QString& name)
{
    for (int i = 0; i < fields.size(); ++i)
        if (fields.at(i).name == name)
            return i;
    return -1;
}

void openValueList(ViewPtr& list, const Collection::ValueListDef& def, View::Loader loader)
{
    list->openDeferred({FieldDef{QString::fromUtf16(def.column), FieldType::Text, 255, true}},
                       std::move(loader));
}

} // namespace

View::Loader Collection::tableLoader(const QString& sql, const QVector<FieldDef>& fields)
{
    return [this, sql, fields] {
        // The two whole tables follow this program's own writes in the rows
        // read before, so a reopening after an entry form reads nothing again.
        Connection::Patchable patchable;
        if (sql == cdSql)
            patchable = {QStringLiteral("cdname"), 0};
        else if (sql == kyokuSql)
            patchable = {QStringLiteral("kyoku"), 1};
        return connection().read(sql, fields, patchable);
    };
}

// A value list: the distinct non-empty values of one column, in Japanese order.
View::Loader Collection::valueListLoader(const QString& sql)
{
    return [this, sql] {
        QStringList values;
        for (const QVariant& v : connection().column(sql))
            if (!v.isNull() && !v.toString().isEmpty())
                values.append(v.toString());
        return valueRows(values);
    };
}

// The list as it stood when the data context opened, taken from the rows the
// views read then; it is worked out only when somebody first looks at it,
// after every row is in.
View::Loader Collection::valueListAtOpening(std::shared_ptr<const Snapshot> rows, int column)
{
    return [this, rows, column] {
        WaitForAllRows();
        QSet<QString> seen;
        QStringList values;
        for (const RowPtr& row : *rows) {
            if (row->isNull(column))
                continue;
            const QString text = row->value(column).toString();
            if (!text.isEmpty() && !seen.contains(text)) {
                seen.insert(text);
                values.append(text);
            }
        }
        return valueRows(values);
    };
}

Collection::Collection(QString folder) : m_strAppPath(std::move(folder)) { }

Collection::~Collection()
{
    CloseDataContext();
    stopFindIndex();
}

Connection& Collection::connection() const
{
    if (!cn)
        throw DbError(3709, QStringLiteral("データベースに接続されていません。"));
    return *cn;
}

View& need(const ViewPtr& view)
{
    if (!view)
        throw DbError(91, QStringLiteral("コレクションのデータベースが開かれていません。"));
    return *view;
}

QString Collection::databasePath() const
{
    return QDir(m_strAppPath).filePath(QString::fromUtf16(kDatabaseFile));
}

const std::vector<Collection::ValueListDef>& Collection::valueLists()
{
    using L = ValueList;
    // In the order the lists are opened.
    static const std::vector<ValueListDef> lists = {
        {L::Sakkyoku, u"作曲者名", u"select distinct 作曲者名 from kyoku order by 作曲者名 ASC"},
        {L::Henkyoku, u"編曲者名", u"select distinct 編曲者名 from kyoku ORDER BY 編曲者名 ASC"},
        {L::Shikisya, u"指揮者名", u"select distinct 指揮者名 from kyoku ORDER BY 指揮者名 ASC"},
        {L::Ensou, u"演奏団体", u"select distinct 演奏団体 from kyoku ORDER BY 演奏団体 ASC"},
        {L::Sorisuto, u"ソリスト", u"select distinct ソリスト from kyoku ORDER BY ソリスト ASC"},
        {L::Hatubai, u"発売元", u"select distinct 発売元 from cdname ORDER BY 発売元 ASC"},
        {L::Bunya, u"分野", u"select distinct 分野 from kyoku ORDER BY 分野 ASC"},
        {L::Kaisetu, u"解説者", u"select distinct 解説者 from cdname ORDER BY 解説者 ASC"},
    };
    return lists;
}

ViewPtr& Collection::listOf(ValueList which)
{
    switch (which) {
    case ValueList::Sakkyoku:
        return rsSakkyoku;
    case ValueList::Henkyoku:
        return rsHenkyoku;
    case ValueList::Shikisya:
        return rsShikisya;
    case ValueList::Ensou:
        return rsEnsou;
    case ValueList::Sorisuto:
        return rsSorisuto;
    case ValueList::Hatubai:
        return rsHatubai;
    case ValueList::Bunya:
        return rsBunya;
    case ValueList::Kaisetu:
        break;
    }
    return rsKaisetu;
}

const ViewPtr& Collection::valueList(ValueList which) const
{
    return const_cast<Collection*>(this)->listOf(which);
}

void Collection::CreateRecordsets()
{
    rsCD = std::make_shared<View>();
    rsKyoku = std::make_shared<View>();
    for (ViewPtr* list : {&rsSakkyoku, &rsHenkyoku, &rsShikisya, &rsEnsou, &rsHatubai, &rsBunya,
                          &rsKaisetu, &rsSorisuto})
        *list = std::make_shared<View>();
}

namespace {

// Below this many rows in both tables everything is read at once: the
// first screen is as quick either way.
constexpr int ReadAfterFirstScreenFrom = 20000;
// Rows of the parent views read for the first screen: more than a grid shows.
constexpr int FirstRows = 200;

const Connection::Patchable cdPatch{QStringLiteral("cdname"), 0};
const Connection::Patchable kyokuPatch{QStringLiteral("kyoku"), 1};

} // namespace

// The two tables still being read after the first screen, with the views
// that wait for them.
struct Collection::Reading {
    std::unique_ptr<FullRead> read;
    QString mark;
    bool checking = false;
    ViewPtr songsOfCD, cdsOfSong;
    std::shared_ptr<Snapshot> cdsAtOpening, songsAtOpening;
    int generation = 0;
};
namespace {

// A first screen that cannot be read: a damaged file says so, so that a
// backup can be offered.
DbError readFailure(const Connection& cn, const rowreader::Failure& f)
{
    return Connection::failure(cn.path(), QStringLiteral("読み込めません"), f.error);
}

// Ends the read transaction the first screen was read in, however it ends.
class ReadTransaction {
public:
    explicit ReadTransaction(sqlite3* h) : m_h(h) { rowreader::scalar(h, QStringLiteral("BEGIN")); }
    ~ReadTransaction()
    {
        try {
            rowreader::scalar(m_h, QStringLiteral("COMMIT"));
        } catch (const rowreader::Failure&) {
        }
    }
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;

private:
    sqlite3* m_h;
};

} // namespace

void Collection::openValueLists(const std::shared_ptr<Snapshot>& cds,
                                const std::shared_ptr<Snapshot>& songs)
{
    for (const ValueListDef& def : valueLists()) {
        const QString column = QString::fromUtf16(def.column);
        const int ofSong = columnIndex(Connection::kyokuFields(), column);
        openValueList(
            listOf(def.which), def,
            ofSong >= 0 ? valueListAtOpening(songs, ofSong)
                        : valueListAtOpening(cds, columnIndex(Connection::cdnameFields(), column)));
    }
}

// The window hears of a failed reading once the command that waited is over.
void Collection::tellFailure(const DbError& error)
{
    QMetaObject::invokeMethod(
        this, [this, error] { Q_EMIT readingFailed(error); }, Qt::QueuedConnection);
}

// Starts the thread that reads the whole tables (none: it only checks the
// file) and waits until it holds its read lock. The caller still holds its
// own, so nobody can write between the first screen and the whole tables.
void Collection::startReading(const QString& mark, std::vector<FullRead::Query> queries,
                              const ViewPtr& songsOfCD, const ViewPtr& cdsOfSong,
                              const std::shared_ptr<Snapshot>& cdsAtOpening,
                              const std::shared_ptr<Snapshot>& songsAtOpening)
{
    auto pending = std::make_unique<Reading>();
    pending->mark = mark;
    pending->checking = cn->integrityPending();
    pending->songsOfCD = songsOfCD;
    pending->cdsOfSong = cdsOfSong;
    pending->cdsAtOpening = cdsAtOpening;
    pending->songsAtOpening = songsAtOpening;
    pending->generation = ++readingGeneration;
    const int generation = pending->generation;
    pending->read = std::make_unique<FullRead>(cn->path(), pending->checking, std::move(queries),
                                               this, [this, generation] {
                                                   // in: handed over now, while nobody waits
                                                   if (reading && reading->generation == generation)
                                                       WaitForAllRows();
                                               });
    pending->read->started();
    reading = std::move(pending);
    cn->setCheckWaiter([this] { WaitForAllRows(); });
}

bool Collection::AllRowsRead() const
{
    return !reading;
}

void Collection::WaitForAllRows()
{
    if (!reading || finishing)
        return;
    const QScopedValueRollback<bool> guard(finishing, true);
    const bool shown = !reading->read->finished();
    if (shown)
        Q_EMIT waitingForRows(true);
    FullRead::Result result = reading->read->result();
    if (shown)
        Q_EMIT waitingForRows(false);
    const std::unique_ptr<Reading> done = std::move(reading);
    done->read.reset();
    std::optional<DbError> failure = result.error;
    QStringList problems = result.problems;
    // a damaged page met while reading, where the check was not due
    if (problems.isEmpty() && failure && failure->number() == DbError::Damaged)
        problems = QStringList{failure->description()};
    if (done->checking || !problems.isEmpty())
        cn->integrityChecked(done->mark, problems);
    if (!problems.isEmpty())
        failure = cn->damage();
    if (!done->songsOfCD) { // only the check: the views hold every row already
        if (failure)
            tellFailure(*failure);
        return;
    }
    const Snapshot none;
    const Snapshot& cds = failure ? none : result.rows.at(0);
    const Snapshot& songs = failure ? none : result.rows.at(1);
    if (!failure)
        startFindIndex(cds, songs, done->mark);
    if (!failure) {
        cn->keepRead(cdSql, Connection::cdnameFields(), cdPatch, cds, done->mark);
        cn->keepRead(kyokuSql, Connection::kyokuFields(), kyokuPatch, songs, done->mark);
    }
    *done->cdsAtOpening = cds;
    *done->songsAtOpening = songs;
    // Every view holds its rows before any grid hears of them; the child
    // views are told first, so that their parents can move them at once.
    const ViewPtr views[] = {done->songsOfCD, done->cdsOfSong, rsCD, rsKyoku};
    for (const ViewPtr& v : views)
        v->beginAllRows();
    done->songsOfCD->setAllRows(songs, failure ? nullptr : &result.chapters.at(1));
    done->cdsOfSong->setAllRows(cds, failure ? nullptr : &result.chapters.at(0));
    rsCD->setAllRows(cds);
    rsKyoku->setAllRows(songs);
    for (const ViewPtr& v : views)
        v->endAllRows();
    if (failure)
        tellFailure(*failure);
}

void Collection::OpenViews()
{
    const QString cdname = QStringLiteral("cdname");
    const QString kyoku = QStringLiteral("kyoku");
    const QString title = QStringLiteral("CD名");
    const auto cdFields = Connection::cdnameFields();
    const auto kyokuFields = Connection::kyokuFields();
    auto cdsAtOpening = std::make_shared<Snapshot>();
    auto songsAtOpening = std::make_shared<Snapshot>();
    auto songsOfCD = std::make_shared<View>();
    auto cdsOfSong = std::make_shared<View>();

    reading.reset();
    sqlite3* h = rowreader::handleOf(cn->database());
    std::optional<ReadTransaction> lock;
    qint64 cds = 0, songs = 0;
    QString mark;
    try {
        lock.emplace(h);
        cds = rowreader::scalar(h, QStringLiteral("SELECT COUNT(*) FROM cdname")).toLongLong();
        songs = rowreader::scalar(h, QStringLiteral("SELECT COUNT(*) FROM kyoku")).toLongLong();
        mark = cn->currentMark();
        if (cds + songs < ReadAfterFirstScreenFrom && cn->integrityPending()) {
            QStringList problems;
            for (const QVariant& line : rowreader::column(h, QStringLiteral("PRAGMA quick_check")))
                problems.append(line.toString());
            if (problems == QStringList{QStringLiteral("ok")})
                problems.clear();
            cn->integrityChecked(mark, problems);
            if (!problems.isEmpty())
                throw cn->damage();
        }
    } catch (const rowreader::Failure& f) {
        lock.reset();
        throw readFailure(*cn, f);
    }

    // Rows read before and unchanged since are at hand at once; a check
    // still due runs on a thread of its own.
    const bool kept = cn->isKept(cdSql) && cn->isKept(kyokuSql);
    if (cds + songs < ReadAfterFirstScreenFrom || kept) {
        if (cn->integrityPending())
            startReading(mark, {}, nullptr, nullptr, cdsAtOpening, songsAtOpening);
        lock.reset();
        songsOfCD->open(kyokuFields, tableLoader(kyokuSql, kyokuFields), cn.get(), kyoku);
        rsCD->open(cdFields, tableLoader(cdSql, cdFields), cn.get(), cdname);
        rsCD->relateChild(songsOfCD, QStringLiteral("kyokusub"), title, title);
        cdsOfSong->open(cdFields, tableLoader(cdSql, cdFields), cn.get(), cdname);
        rsKyoku->open(kyokuFields, tableLoader(kyokuSql, kyokuFields), cn.get(), kyoku);
        rsKyoku->relateChild(cdsOfSong, QStringLiteral("cdnamesub"), title, title);
        // cache hits: the rows the views have just read
        *cdsAtOpening = cn->read(cdSql, cdFields);
        *songsAtOpening = cn->read(kyokuSql, kyokuFields);
        openValueLists(cdsAtOpening, songsAtOpening);
        return;
    }

    // A large collection: the first screen (the first CDs, the songs of the
    // first CD, the first songs and the CDs of the first song, both counts)
    // is read now; the whole tables, and the integrity check where one is
    // due, on a thread of their own.
    Snapshot firstCDs, firstSongsOfCD, firstSongs, firstCDsOfSong;
    try {
        const QString limit = QStringLiteral(" LIMIT %1").arg(FirstRows);
        firstCDs = rowreader::read(h, cdSql + limit, cdFields);
        firstSongs = rowreader::read(h, kyokuSql + limit, kyokuFields);
        if (!firstCDs.empty() && !firstCDs.front()->isNull(1))
            firstSongsOfCD
                = titlelookup::rowsTitled(h, kyoku, kyokuColumns, kyokuTable().order(), kyokuFields,
                                          firstCDs.front()->value(1).toString());
        if (!firstSongs.empty() && !firstSongs.front()->isNull(0))
            firstCDsOfSong
                = titlelookup::rowsTitled(h, cdname, cdColumns, cdnameTable().order(), cdFields,
                                          firstSongs.front()->value(0).toString());
    } catch (const rowreader::Failure& f) {
        lock.reset();
        throw readFailure(*cn, f);
    }
    // each table indexed by title on the thread, for the other's child view
    startReading(mark, {{cdSql, cdFields, 1}, {kyokuSql, kyokuFields, 0}}, songsOfCD, cdsOfSong,
                 cdsAtOpening, songsAtOpening);
    lock.reset();

    const auto finish = [this] { WaitForAllRows(); };
    songsOfCD->openProvisional(kyokuFields, tableLoader(kyokuSql, kyokuFields), cn.get(), kyoku,
                               firstSongsOfCD, -1, finish);
    rsCD->openProvisional(cdFields, tableLoader(cdSql, cdFields), cn.get(), cdname, firstCDs,
                          int(cds), finish);
    rsCD->relateChild(songsOfCD, QStringLiteral("kyokusub"), title, title);
    cdsOfSong->openProvisional(cdFields, tableLoader(cdSql, cdFields), cn.get(), cdname,
                               firstCDsOfSong, -1, finish);
    rsKyoku->openProvisional(kyokuFields, tableLoader(kyokuSql, kyokuFields), cn.get(), kyoku,
                             firstSongs, int(songs), finish);
    rsKyoku->relateChild(cdsOfSong, QStringLiteral("cdnamesub"), title, title);
    openValueLists(cdsAtOpening, songsAtOpening);
}

void Collection::OpenDataContext()
{
    cn = std::make_unique<Connection>(databasePath(), Connection::Check::Later, &memory);
    // Every change this program makes through the collection's connection
    // is one change in the history; a file that cannot keep it keeps none.
    try {
        history::startLogging(*cn);
        ratings::startFollowing(*cn);
        cdnotes::startFollowing(*cn);
        loans::startFollowing(*cn);
        duplicates::startFollowing(*cn);
    } catch (const DbError&) {
    }
    cn->setBeforeCommit([this] { history::fileChange(*cn, std::exchange(m_changeKind, {})); });
    CreateRecordsets();
    try {
        OpenViews();
    } catch (...) {
        CloseDataContext(); // a refused opening leaves nothing open behind it
        throw;
    }
    // Child views exist even for an empty collection: they are simply empty.
    rsKyokuSub = rsCD->childView(QStringLiteral("kyokusub"));
    rsCDSub = rsKyoku->childView(QStringLiteral("cdnamesub"));
}

void Collection::CloseDataContext()
{
    m_joins.reset();
    m_ratings.reset();
    m_notes.reset();
    m_loans.reset();
    m_wishes.reset();
    worksFound.reset(); // another file may come next, and the works are large
    reading.reset(); // stops the reading thread
    for (ViewPtr* list : {&rsSakkyoku, &rsHenkyoku, &rsShikisya, &rsEnsou, &rsHatubai, &rsBunya,
                          &rsKaisetu, &rsSorisuto})
        if (*list)
            (*list)->close();
    for (ViewPtr* view : {&rsKyokuSub, &rsCD, &rsCDSub, &rsKyoku})
        if (*view)
            (*view)->close();
    for (ViewPtr* view : {&rsSakkyoku, &rsHenkyoku, &rsShikisya, &rsEnsou, &rsHatubai, &rsBunya,
                          &rsKaisetu, &rsSorisuto, &rsKyokuSub, &rsCD, &rsCDSub, &rsKyoku})
        view->reset();
    cn.reset();
}

void Collection::ReopenValueList(ValueList which)
{
    for (const ValueListDef& def : valueLists()) {
        if (def.which != which)
            continue;
        ViewPtr& list = listOf(which);
        need(list).close();
        openValueList(list, def, valueListLoader(QString::fromUtf16(def.sql)));
        return;
    }
}

void Collection::SearchSongs(Criteria criteria, const QString& text)
{
    need(rsKyoku).setFilter(std::move(criteria));
    m_strCriteria = text;
}

int Collection::SearchCDs(Criteria criteria, const QString& text)
{
    View& cds = need(rsCD);
    cds.setFilter(std::move(criteria));
    m_strCriteria = text;
    return cds.recordCount();
}

void Collection::FindCDs(const QStringList& words, const QString& label)
{
    need(rsCD).setFilter(Criteria().rowsAmong(cdsMatching(words), label));
    m_strCriteria = label;
}

void Collection::FindCDsTitled(const QStringList& titles, const QString& label)
{
    WaitForAllRows();
    View& cds = need(rsCD);
    QSet<QString> wanted;
    for (const QString& t : titles)
        wanted.insert(foldKey(t));
    const int title = cds.fieldIndex(QStringLiteral("CD名"));
    auto rowids = std::make_shared<QSet<qint64>>();
    for (const RowPtr& row : cds.baseRows())
        if (row && !row->isNull(title)
            && wanted.contains(foldKey(row->text(title, cds.field(title).type))))
            rowids->insert(row->rowid);
    cds.setFilter(Criteria().rowsAmong(rowids, label));
    m_strCriteria = label;
}

void Collection::ClearSorts()
{
    need(rsCD).setSort(QString());
    need(rsKyokuSub).setSort(QString());
    need(rsKyoku).setSort(QString());
}

void Collection::ClearFilters()
{
    need(rsCD).setFilter(Criteria());
    need(rsKyoku).setFilter(Criteria());
}

void Collection::RequeryAll()
{
    need(rsCD).requery();
    need(rsKyoku).requery();
}

void Collection::RelinkChildViews()
{
    rsKyokuSub = need(rsCD).childView(QStringLiteral("kyokusub"));
    rsCDSub = need(rsKyoku).childView(QStringLiteral("cdnamesub"));
}

void Collection::DropCDList()
{
    if (rsCDList)
        rsCDList->close();
    rsCDList.reset();
}

void Collection::ListCDsOfSongs()
{
    const View& songs = need(rsKyoku);
    auto list = std::make_shared<View>();
    // The CDs' columns in stored order; price and date held as the text the
    // grids show.
    for (const ColumnDef& c : cdnameTable().columns()) {
        const QString& name = c.field.name;
        if (name == u"CDID")
            list->appendField(name, FieldType::Integer, 5, false);
        else if (name == u"CD名")
            list->appendField(name, FieldType::Text, 100, false);
        else
            list->appendField(name, FieldType::Text,
                              c.field.type == FieldType::Text ? c.field.size : 50, true);
    }
    list->openInMemory();

    // The CDs of every listed song are read without moving the song view, and
    // a set remembers the CDs already listed, so a search that matches every
    // song of a large collection stays fast. Two CDs of one title hold the
    // same songs: both are listed. A song of no stored CD adds nothing.
    QSet<const Row*> listed;
    const int n = songs.recordCount();
    const int cdColumns = int(cdnameTable().columns().size());
    for (int row = 0; row < n; ++row) {
        for (const Row* cd : songs.childRowsAt(row)) {
            if (listed.contains(cd))
                continue;
            listed.insert(cd);
            list->addNew();
            for (int c = 0; c < cdColumns; ++c) {
                const QVariant v = cd->value(c);
                list->setValue(c,
                               c == 0 || v.isNull() || !v.isValid() ? v : QVariant(plainText(v)));
            }
            list->update();
        }
    }
    if (list->recordCount() > 0)
        list->moveFirst();
    rsCDList = std::move(list);
}

namespace {

// Memory freed by the reading and by quick find's text, handed back before
// the works are gathered: the peak of a large collection is what the rows,
// the text and the gathering hold at once, not what they held one by one.
void handBackFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

} // namespace

// Quick find's text, then the works, are made beside the window once every
// row is in, so that the first keystroke finds the text ready and the works
// window opens at once.
void Collection::startFindIndex(const Snapshot& cds, const Snapshot& songs, const QString& mark)
{
    stopFindIndex();
    // Name groups that cannot be read now leave the works to the first
    // asking, which then says why.
    std::optional<names::Joins> joins;
    try {
        joins = NameJoins();
    } catch (const DbError&) {
    }
    // The notes are read here, on the connection's thread; notes that cannot
    // be read now leave the text to the first quick find, which says why.
    QHash<qint64, QString> notes;
    try {
        notes = cdnotes::read(connection());
    } catch (const DbError&) {
        return;
    }
    auto text = std::make_shared<std::promise<std::shared_ptr<const FindIndex>>>();
    findTextMaking = text->get_future();
    worksMaking = std::async(std::launch::async, [=, this]() -> SharedWorks {
        try {
            text->set_value(std::make_shared<const FindIndex>(cds, songs, notes, &findTextStop));
        } catch (...) {
            text->set_exception(std::current_exception());
            return nullptr;
        }
        if (findTextStop || !joins)
            return nullptr;
        handBackFreedMemory();
        auto found = std::make_shared<const works::Catalogue>(
            works::gather(songs, &*joins, &findTextStop));
        handBackFreedMemory();
        return findTextStop ? nullptr : found;
    });
    findTextMakingMark = mark;
}

void Collection::stopFindIndex()
{
    if (!worksMaking.valid())
        return;
    findTextStop = true;
    worksMaking.wait();
    worksMaking = {};
    findTextMaking = {};
    findTextStop = false;
}

const FindIndex& Collection::findIndex()
{
    WaitForAllRows();
    if (findTextMaking.valid()) {
        const bool wait
            = findTextMaking.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
        if (wait)
            Q_EMIT waitingForRows(true);
        findText = findTextMaking.get();
        findTextMark = findTextMakingMark;
        if (wait)
            Q_EMIT waitingForRows(false);
    }
    const QString mark = connection().currentMark();
    if (!findText || mark.isEmpty() || findTextMark != mark) {
        findText = std::make_shared<const FindIndex>(
            need(rsCD).baseRows(), need(rsKyoku).baseRows(), cdnotes::read(connection()));
        findTextMark = mark;
    }
    return *findText;
}

// A word that is one spelling of a name group finds every spelling of it.
std::shared_ptr<const QSet<qint64>> Collection::cdsMatching(const QStringList& words)
{
    const FindIndex& index = findIndex();
    std::optional<QSet<qint64>> found;
    for (const QString& word : words) {
        QSet<qint64> ofWord;
        for (const QString& spelling : SpellingsOf(word))
            ofWord.unite(index.cdsWithAll({spelling}));
        found = found ? found->intersect(ofWord) : ofWord;
    }
    return std::make_shared<const QSet<qint64>>(found.value_or(QSet<qint64>()));
}

const names::Joins& Collection::NameJoins()
{
    if (!m_joins)
        m_joins = names::readJoins(connection());
    return *m_joins;
}

QStringList Collection::SpellingsOf(const QString& word)
{
    const names::Joins& joins = NameJoins();
    const auto group = joins.constFind(word);
    if (group == joins.constEnd())
        return {word};
    QStringList spellings;
    for (auto it = joins.constBegin(); it != joins.constEnd(); ++it)
        if (it.value() == *group)
            spellings << it.key();
    return spellings;
}

// The change the work writes is filed in the history under this kind; a
// refused one leaves no kind behind for the next change.
void Collection::changeAs(const QString& kind, const std::function<void()>& work)
{
    m_changeKind = kind;
    try {
        work();
    } catch (...) {
        m_changeKind.clear();
        throw;
    }
    m_changeKind.clear();
}

void Collection::JoinNames(const QStringList& spellings, const QString& name)
{
    m_joins.reset();
    changeAs(QStringLiteral("名前の結合"), [&] { names::join(connection(), spellings, name); });
    Q_EMIT namesChanged();
}

void Collection::SplitName(const QString& spelling)
{
    m_joins.reset();
    changeAs(QStringLiteral("名前の分割"), [&] { names::split(connection(), spelling); });
    Q_EMIT namesChanged();
}

names::Rewritten Collection::UnifyNames(const QStringList& spellings, const QString& chosen)
{
    names::Rewritten done;
    changeAs(QStringLiteral("名前の統一"),
             [&] { done = names::unify(connection(), spellings, chosen); });
    RequeryAll();
    for (const ValueListDef& list : valueLists())
        ReopenValueList(list.which);
    Q_EMIT namesChanged();
    return done;
}

QVector<history::Change> Collection::History()
{
    return history::list(connection());
}

bool Collection::CanUndo()
{
    return history::toUndo(connection()) >= 0;
}

bool Collection::CanRedo()
{
    return history::toRedo(connection()) >= 0;
}

void Collection::Undo(qint64 change)
{
    const qint64 id = change >= 0 ? change : history::toUndo(connection());
    if (id < 0)
        throw DbError(DbError::NotAllowedNow, QStringLiteral("元に戻せる変更はありません。"));
    history::undo(connection(), id);
    forgetKept();
    const history::Touched touched = history::touched(connection(), id);
    Q_EMIT changeTakenBack(touched.cdid, touched.songId);
}

// What was read of the tables beside the design's: a change of many rows
// may have touched any of them.
void Collection::forgetKept()
{
    m_joins.reset();
    m_ratings.reset();
    m_notes.reset();
    m_loans.reset();
    m_wishes.reset();
}

QVector<batch::Change> Collection::PlanBatch(const ViewPtr& view, const QVector<int>& rows,
                                             const batch::Order& order)
{
    return batch::plan(need(view), rows, order);
}

void Collection::ApplyBatch(const ViewPtr& view, const QString& field,
                            const QVector<batch::Change>& changes)
{
    if (changes.isEmpty())
        return;
    changeAs(QStringLiteral("一括変更"),
             [&] { batch::apply(connection(), need(view), field, changes); });
    forgetKept();
    // the views keep their searches and show the new values, as after a unification
    RequeryAll();
    for (const ValueListDef& list : valueLists())
        ReopenValueList(list.which);
    Q_EMIT rowsChanged();
}

QVector<duplicates::Pair> Collection::Duplicates()
{
    const SharedWorks works = Works(); // waits for every row
    return duplicates::find(need(rsCD).baseRows(), need(rsKyoku).baseRows(), *works,
                            duplicates::keptApart(connection()));
}

void Collection::KeepApart(qint64 a, qint64 b)
{
    changeAs(QStringLiteral("重複ではない"), [&] { duplicates::keepApart(connection(), a, b); });
}

duplicates::Merged Collection::MergeCDs(qint64 into, qint64 from)
{
    WaitForAllRows();
    // the rows as they stand, held while the views follow the writes
    const Snapshot cds = need(rsCD).baseRows(), songs = need(rsKyoku).baseRows();
    duplicates::Merged merged;
    changeAs(QStringLiteral("重複の統合"),
             [&] { merged = duplicates::merge(connection(), cds, songs, into, from); });
    forgetKept();
    RequeryAll();
    for (const ValueListDef& list : valueLists())
        ReopenValueList(list.which);
    Q_EMIT rowsChanged();
    return merged;
}

void Collection::Redo()
{
    const qint64 id = history::toRedo(connection());
    if (id < 0)
        throw DbError(DbError::NotAllowedNow, QStringLiteral("やり直せる変更はありません。"));
    history::redo(connection(), id);
    forgetKept();
    const history::Touched touched = history::touched(connection(), id);
    Q_EMIT changeTakenBack(touched.cdid, touched.songId);
}

// Gathered beside the window after quick find's text (waited for here if
// not yet done), and again at the first asking after the file changed.
Collection::SharedWorks Collection::Works()
{
    WaitForAllRows();
    if (worksMaking.valid()) {
        const bool wait
            = worksMaking.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
        if (wait)
            Q_EMIT waitingForRows(true);
        if (SharedWorks made = worksMaking.get()) {
            worksFound = std::move(made);
            worksMark = findTextMakingMark;
        }
        if (wait)
            Q_EMIT waitingForRows(false);
    }
    const QString mark = connection().currentMark();
    if (!worksFound || mark.isEmpty() || worksMark != mark) {
        worksFound = std::make_shared<const works::Catalogue>(
            works::gather(need(rsKyoku).baseRows(), &NameJoins()));
        worksMark = mark;
    }
    return worksFound;
}

Collection::OwnConnection Collection::ownConnection() const
{
    OwnConnection own{databasePath(), {}};
    own.memory.checked = memory.checked;
    own.memory.damaged = memory.damaged;
    own.memory.backedUp = memory.backedUp;
    return own;
}

void Collection::learnFrom(const OwnConnection& own)
{
    memory.backedUp.unite(own.memory.backedUp);
    for (auto it = own.memory.damaged.begin(); it != own.memory.damaged.end(); ++it)
        memory.damaged.insert(it.key(), it.value());
}

qint64 Collection::GetMaxCDID()
{
    return identifiers::largestCDID(connection());
}

qint64 Collection::GetMaxKyokuID()
{
    return identifiers::largestKyokuID(connection());
}

qint64 Collection::BeginCDEntry()
{
    m_cdCounter = IdentifierCounter(GetMaxCDID());
    return m_cdCounter.last();
}

qint64 Collection::BeginKyokuEntry()
{
    m_kyokuCounter = IdentifierCounter(GetMaxKyokuID());
    return m_kyokuCounter.last();
}

bool Collection::CDNameExists(const QString& title)
{
    return CDNameCount(title) > 0;
}

int Collection::CDNameCount(const QString& title)
{
    return catalogue::titleCount(connection(), title);
}

namespace {

std::optional<qint64> currentId(const View& view, const QString& column)
{
    if (!view.hasCurrent())
        return std::nullopt;
    const QVariant id = view.value(column);
    return id.isNull() ? std::nullopt : std::optional<qint64>(id.toLongLong());
}

} // namespace

void Collection::SaveCD(const std::vector<catalogue::FieldChange>& changes, bool correction,
                        const std::optional<QString>& note)
{
    View& cds = need(rsCD);
    const std::optional<qint64> before
        = AddingCD() ? std::nullopt : currentId(cds, QStringLiteral("CDID"));
    std::function<void()> alongside;
    if (note) {
        // The note's refusals come before anything is written: the view
        // already holds the CD once it is written.
        const int cdidColumn = cds.fieldIndex(QStringLiteral("CDID"));
        QVariant after = cds.hasCurrent() ? cds.value(cdidColumn) : QVariant();
        for (const catalogue::FieldChange& c : changes)
            if (c.column == cdidColumn)
                after = c.value;
        if (!cdnotes::isBlank(*note) && after.isNull())
            throw DbError(
                DbError::BadArguments,
                QStringLiteral("CDIDのないCDにはメモを付けられません（何も変更していません）"));
        if (!cdnotes::isBlank(*note))
            cdnotes::requireTable(connection());
        alongside = [&] {
            Connection& c = connection();
            const std::optional<qint64> cdid = currentId(cds, QStringLiteral("CDID"));
            // a CD given another number takes its note along, unless another
            // CD still bears the old number
            if (before && before != cdid
                && c.column(QStringLiteral("SELECT count(*) FROM cdname WHERE CDID = ?"), {*before})
                        .value(0)
                        .toLongLong()
                    == 0)
                cdnotes::write(c, *before, QString());
            if (cdid)
                cdnotes::write(c, *cdid, *note);
        };
    }
    catalogue::saveCD(connection(), cds, need(rsKyokuSub), changes, correction, alongside);
    m_notes.reset();
    const qint64 cdid = currentId(cds, QStringLiteral("CDID")).value_or(0);
    if (note)
        Q_EMIT noteChanged(cdid);
    Q_EMIT cdChanged(cdid);
}

void Collection::DeleteCurrentCD()
{
    View& cds = need(rsCD);
    const std::optional<qint64> cdid = currentId(cds, QStringLiteral("CDID"));
    catalogue::deleteCurrentCD(connection(), cds, need(rsKyokuSub));
    m_ratings.reset();
    m_notes.reset();
    m_loans.reset();
    Q_EMIT cdChanged(cdid.value_or(0));
}

void Collection::ChangeJacket(qint64 cdid, const QByteArray& jpeg)
{
    const QString folder = QFileInfo(connection().path()).absolutePath();
    jacket::Replaced done;
    try {
        changeAs(jpeg.isEmpty() ? QStringLiteral("ジャケットの削除")
                                : QStringLiteral("ジャケットの設定"),
                 [&] {
                     connection().transaction([&] {
                         done = jpeg.isEmpty() ? jacket::remove(folder, cdid)
                                               : jacket::replace(folder, cdid, jpeg);
                         history::noteJacket(connection(), done);
                     });
                 });
    } catch (const DbError&) {
        jacket::putBack(folder, done); // the change that could not be filed is none
        throw;
    }
}

void Collection::SaveKyoku(const QString& cdTitle,
                           const std::vector<catalogue::FieldChange>& changes)
{
    View& songs = need(rsKyoku);
    catalogue::saveSong(connection(), songs, cdTitle, changes);
    Q_EMIT songsChanged(currentId(songs, QStringLiteral("曲ID")).value_or(0));
}

void Collection::DeleteCurrentKyoku()
{
    View& songs = need(rsKyoku);
    const std::optional<qint64> id = currentId(songs, QStringLiteral("曲ID"));
    catalogue::deleteCurrentSong(connection(), songs);
    m_ratings.reset();
    Q_EMIT songsChanged(id.value_or(0));
}

bool Collection::AddingCD() const
{
    return rsCD && rsCD->isOpen() && rsCD->editMode() == View::EditMode::Add;
}

bool Collection::AddingKyoku() const
{
    return rsKyoku && rsKyoku->isOpen() && rsKyoku->editMode() == View::EditMode::Add;
}

const ratings::Kept& Collection::Ratings()
{
    if (!m_ratings)
        m_ratings = cn ? ratings::read(*cn) : ratings::Kept{};
    return *m_ratings;
}

void Collection::Rate(ratings::Of which, qint64 id, int stars)
{
    changeAs(QStringLiteral("評価"), [&] { ratings::rate(connection(), which, id, stars); });
    m_ratings.reset();
    Q_EMIT ratingChanged(which, id);
}

std::optional<qint64> Collection::RatedId(ratings::Of which, const Row& row, const View& view)
{
    const int column = view.fieldIndex(ratings::keyField(which));
    if (column < 0 || row.isNull(column))
        return std::nullopt;
    return row.value(column).toLongLong();
}

const QHash<qint64, QString>& Collection::Notes()
{
    if (!m_notes)
        m_notes = cn ? cdnotes::read(*cn) : QHash<qint64, QString>{};
    return *m_notes;
}

QString Collection::Note(qint64 cdid)
{
    return Notes().value(cdid);
}

void Collection::SetNote(qint64 cdid, const QString& text)
{
    changeAs(QStringLiteral("メモ"), [&] { cdnotes::write(connection(), cdid, text); });
    m_notes.reset();
    Q_EMIT noteChanged(cdid);
}

const QHash<qint64, loans::Loan>& Collection::Loans()
{
    if (!m_loans)
        m_loans = cn ? loans::out(*cn) : QHash<qint64, loans::Loan>{};
    return *m_loans;
}

QVector<loans::Loan> Collection::LoanHistory(qint64 cdid)
{
    return loans::historyOf(connection(), cdid);
}

void Collection::Lend(const loans::Loan& loan)
{
    changeAs(QStringLiteral("貸出"), [&] { loans::lend(connection(), loan); });
    m_loans.reset();
    Q_EMIT loanChanged(loan.cdid);
}

void Collection::GiveBack(qint64 cdid, const QDate& on)
{
    changeAs(QStringLiteral("返却"), [&] { loans::giveBack(connection(), cdid, on); });
    m_loans.reset();
    Q_EMIT loanChanged(cdid);
}

const QVector<wishes::Wish>& Collection::Wishes()
{
    if (!m_wishes)
        m_wishes = cn ? wishes::read(*cn) : QVector<wishes::Wish>{};
    return *m_wishes;
}

qint64 Collection::AddWish(const wishes::Wish& wish)
{
    qint64 id = 0;
    changeAs(QStringLiteral("欲しいもの"), [&] { id = wishes::add(connection(), wish); });
    m_wishes.reset();
    Q_EMIT wishesChanged();
    return id;
}

void Collection::SaveWish(const wishes::Wish& wish)
{
    changeAs(QStringLiteral("欲しいもの"), [&] { wishes::save(connection(), wish); });
    m_wishes.reset();
    Q_EMIT wishesChanged();
}

void Collection::RemoveWish(qint64 id)
{
    changeAs(QStringLiteral("欲しいもの"), [&] { wishes::remove(connection(), id); });
    m_wishes.reset();
    Q_EMIT wishesChanged();
}

void Collection::SortByRating(const ViewPtr& view, ratings::Of which)
{
    View& v = need(view);
    const QString title
        = which == ratings::Of::CD ? QStringLiteral("CD名") : QStringLiteral("曲名");
    v.setOuterKey(QStringLiteral("評価"),
                  [this, &v, which](const Row& row) -> std::optional<double> {
                      const std::optional<qint64> id = RatedId(which, row, v);
                      const int stars = id ? Ratings().of(which, *id) : 0;
                      return stars > 0 ? std::optional<double>(stars) : std::nullopt;
                  });
    v.setSort(QStringLiteral("評価 DESC, ") + title);
}
