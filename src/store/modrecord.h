#pragma once

#include "connection.h"
#include "view.h"

#include <memory>

// The data context: the one open collection file, its two related views with
// their child views, the eight value lists, and the search state shared by
// every window.
namespace modRecord {

using ViewPtr = std::shared_ptr<View>;

extern QString strAppPath;
extern std::unique_ptr<Connection> cn;
extern ViewPtr rsCD;
extern ViewPtr rsKyokuSub;
extern ViewPtr rsKyoku;
extern ViewPtr rsCDSub;
extern ViewPtr rsSakkyoku;
extern ViewPtr rsHenkyoku;
extern ViewPtr rsShikisya;
extern ViewPtr rsEnsou;
extern ViewPtr rsHatubai;
extern ViewPtr rsBunya;
extern ViewPtr rsKaisetu;
extern ViewPtr rsSorisuto;
extern ViewPtr rsCDList;
extern QString strCriteria;

// The view itself; a view that was never created (the collection file could
// not be opened) raises an error instead.
View& need(const ViewPtr& view);

// Name of the collection file inside the start-up folder.
inline constexpr char16_t kDatabaseFile[] = u"cdkaisou.db";
QString databasePath();

// All four throw DbError; the caller's handler decides what to show.
void OpenDataContext();
void CloseDataContext();
void CreateRecordsets();
void OpenViews();

// A large collection is read in two steps: the first screen at once, the
// whole tables after it on a thread of their own. WaitForAllRows waits for
// them (behind the wait window, when one is set) and hands them to the views;
// views needing rows they do not yet hold call it themselves.
void WaitForAllRows();
bool AllRowsRead();
// `waiting` is called with true before a wait and false after it; `failed`
// when the whole tables could not be read or the file proved damaged (the
// views are then empty).
void SetReadingHooks(std::function<void(bool waiting)> waiting,
                     std::function<void(const DbError&)> failed);

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
const std::vector<ValueListDef>& valueLists();
// Closes and reopens one value list with its query.
void ReopenValueList(ViewPtr& list);

} // namespace modRecord
