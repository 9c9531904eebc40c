#include "modrecord.h"

#include "dberror.h"

#include <QCollator>
#include <QDir>
#include <QLocale>
#include <QSet>

#include <algorithm>

namespace modRecord {

QString strAppPath;
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

namespace {

const QString cdSql = QStringLiteral(
    "SELECT rowid, CDID, CD名, 解説者, 購入価格, 購入年月日, 発売元 ,キャビネット,段 "
    "FROM cdname ORDER BY CDID ASC, rowid ASC");
const QString kyokuSql = QStringLiteral(
    "SELECT rowid, CD名, 曲ID, 曲名, 作曲者名, 編曲者名, 指揮者名, 演奏団体, ソリスト, 録音先, "
    "録音先番号, 録音時間, 録音年月日, 録音会場 ,原盤番号, 分野 FROM kyoku ORDER BY 曲ID ASC, "
    "rowid ASC");

View::Loader tableLoader(const QString& sql, const QVector<FieldDef>& fields)
{
    return [sql, fields] {
        if (!cn)
            throw DbError(3709, QStringLiteral("データベースに接続されていません。"));
        // The two whole tables follow this program's own writes in the rows
        // read before, so a reopening after an entry form reads nothing again.
        Connection::Patchable patchable;
        if (sql == cdSql)
            patchable = {QStringLiteral("cdname"), 0};
        else if (sql == kyokuSql)
            patchable = {QStringLiteral("kyoku"), 1};
        return cn->read(sql, fields, patchable);
    };
}

Snapshot valueRows(QStringList values)
{
    std::stable_sort(values.begin(), values.end(), japaneseCollator());
    Snapshot rows;
    rows.reserve(size_t(values.size()));
    for (const QString& value : std::as_const(values))
        rows.push_back(Row::make(-1, {value}));
    return rows;
}

// A value list: the distinct non-empty values of one column, in Japanese order.
View::Loader valueListLoader(const QString& sql)
{
    return [sql] {
        if (!cn)
            throw DbError(3709, QStringLiteral("データベースに接続されていません。"));
        QStringList values;
        for (const QVariant& v : cn->column(sql))
            if (!v.isNull() && !v.toString().isEmpty())
                values.append(v.toString());
        return valueRows(values);
    };
}

// The list as it stood when the data context opened, taken from the rows the
// views read then; it is worked out only when somebody first looks at it.
View::Loader valueListAtOpening(std::shared_ptr<const Snapshot> rows, int column)
{
    return [rows, column] {
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

int columnIndex(const QVector<FieldDef>& fields, const QString& name)
{
    for (int i = 0; i < fields.size(); ++i)
        if (fields.at(i).name == name)
            return i;
    return -1;
}

void openValueList(ViewPtr& list, const ValueListDef& def, View::Loader loader)
{
    list->openDeferred({FieldDef{QString::fromUtf16(def.column), FieldType::Text, 255, true}},
                       std::move(loader));
}

} // namespace

View& need(const ViewPtr& view)
{
    if (!view)
        throw DbError(91, QStringLiteral("コレクションのデータベースが開かれていません。"));
    return *view;
}

QString databasePath()
{
    return QDir(strAppPath).filePath(QString::fromUtf16(kDatabaseFile));
}

const std::vector<ValueListDef>& valueLists()
{
    // In the order the lists are opened.
    static const std::vector<ValueListDef> lists = {
        {&rsSakkyoku, u"作曲者名", u"select distinct 作曲者名 from kyoku order by 作曲者名 ASC"},
        {&rsHenkyoku, u"編曲者名", u"select distinct 編曲者名 from kyoku ORDER BY 編曲者名 ASC"},
        {&rsShikisya, u"指揮者名", u"select distinct 指揮者名 from kyoku ORDER BY 指揮者名 ASC"},
        {&rsEnsou, u"演奏団体", u"select distinct 演奏団体 from kyoku ORDER BY 演奏団体 ASC"},
        {&rsSorisuto, u"ソリスト", u"select distinct ソリスト from kyoku ORDER BY ソリスト ASC"},
        {&rsHatubai, u"発売元", u"select distinct 発売元 from cdname ORDER BY 発売元 ASC"},
        {&rsBunya, u"分野", u"select distinct 分野 from kyoku ORDER BY 分野 ASC"},
        {&rsKaisetu, u"解説者", u"select distinct 解説者 from cdname ORDER BY 解説者 ASC"},
    };
    return lists;
}

void CreateRecordsets()
{
    rsCD = std::make_shared<View>();
    rsKyoku = std::make_shared<View>();
    for (ViewPtr* list : {&rsSakkyoku, &rsHenkyoku, &rsShikisya, &rsEnsou, &rsHatubai, &rsBunya,
                          &rsKaisetu, &rsSorisuto})
        *list = std::make_shared<View>();
}

void OpenViews()
{
    const QString cdname = QStringLiteral("cdname");
    const QString kyoku = QStringLiteral("kyoku");
    const QString title = QStringLiteral("CD名");

    auto songsOfCD = std::make_shared<View>();
    songsOfCD->open(Connection::kyokuFields(), tableLoader(kyokuSql, Connection::kyokuFields()),
                    cn.get(), kyoku);
    rsCD->open(Connection::cdnameFields(), tableLoader(cdSql, Connection::cdnameFields()), cn.get(),
               cdname);
    rsCD->relateChild(songsOfCD, QStringLiteral("kyokusub"), title, title);

    auto cdsOfSong = std::make_shared<View>();
    cdsOfSong->open(Connection::cdnameFields(), tableLoader(cdSql, Connection::cdnameFields()),
                    cn.get(), cdname);
    rsKyoku->open(Connection::kyokuFields(), tableLoader(kyokuSql, Connection::kyokuFields()),
                  cn.get(), kyoku);
    rsKyoku->relateChild(cdsOfSong, QStringLiteral("cdnamesub"), title, title);

    // cache hits: the rows the views have just read
    const auto cdsAtOpening
        = std::make_shared<const Snapshot>(cn->read(cdSql, Connection::cdnameFields()));
    const auto songsAtOpening
        = std::make_shared<const Snapshot>(cn->read(kyokuSql, Connection::kyokuFields()));
    for (const ValueListDef& def : valueLists()) {
        const QString column = QString::fromUtf16(def.column);
        const int ofSong = columnIndex(Connection::kyokuFields(), column);
        openValueList(*def.list, def,
                      ofSong >= 0
                          ? valueListAtOpening(songsAtOpening, ofSong)
                          : valueListAtOpening(cdsAtOpening,
                                               columnIndex(Connection::cdnameFields(), column)));
    }
}

void OpenDataContext()
{
    cn = std::make_unique<Connection>(databasePath());
    CreateRecordsets();
    OpenViews();
    // Child views exist even for an empty collection: they are simply empty.
    rsKyokuSub = rsCD->childView(QStringLiteral("kyokusub"));
    rsCDSub = rsKyoku->childView(QStringLiteral("cdnamesub"));
}

void CloseDataContext()
{
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

void ReopenValueList(ViewPtr& list)
{
    for (const ValueListDef& def : valueLists()) {
        if (def.list != &list)
            continue;
        list->close();
        openValueList(list, def, valueListLoader(QString::fromUtf16(def.sql)));
        return;
    }
}

namespace {
int largest(const QString& sql)
{
    if (!cn)
        throw DbError(3709, QStringLiteral("データベースに接続されていません。"));
    const QVariantList values = cn->column(sql);
    return values.isEmpty() || values.first().isNull() ? 0 : values.first().toInt();
}
} // namespace

int GetMaxCDID()
{
    return largest(QStringLiteral("SELECT MAX(CDID) FROM cdname"));
}

int GetMaxKyokuID()
{
    return largest(QStringLiteral("SELECT MAX(曲ID) FROM kyoku"));
}

bool CDNameExists(const QString& title)
{
    return CDNameCount(title) > 0;
}

int CDNameCount(const QString& title)
{
    if (!cn)
        throw DbError(3709, QStringLiteral("データベースに接続されていません。"));
    // The title is compared as songs are related to CDs: ignoring letter case
    // in every script, not only in ASCII as SQLite's NOCASE does. Nothing the
    // user typed becomes part of the query text.
    const QString key = foldKey(title);
    const QVariantList titles = cn->column(QStringLiteral("SELECT CD名 FROM cdname"));
    return int(std::count_if(titles.cbegin(), titles.cend(), [&key](const QVariant& v) {
        return !v.isNull() && foldKey(v.toString()) == key;
    }));
}

} // namespace modRecord
