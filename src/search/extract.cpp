#include "extract.h"

#include "widgets/databound.h"

#include <QSet>

namespace search {

namespace {

struct CriterionDef {
    const char16_t* field;
    bool like;
};
// By Check1 index; entry 10 (全曲表示) has no criterion.
const CriterionDef criterionDefs[13] = {
    {u"作曲者名", false}, {u"編曲者名", false}, {u"指揮者名", false}, {u"演奏団体", false},
    {u"発売元", false},   {u"分野", false},     {u"解説者", false},   {u"曲名", true},
    {u"ソリスト", false}, {u"CD名", true},      {nullptr, false},     {u"キャビネット", false},
    {u"段", false},
};

// The CD list holds price and date as text: the text the grids show, or null.
QVariant asListText(const QVariant& v)
{
    if (v.isNull() || !v.isValid())
        return QVariant();
    return formatValue(v, DisplayFormat::None);
}

} // namespace

const char16_t* criterionField(int index)
{
    return index >= 0 && index < 13 ? criterionDefs[index].field : nullptr;
}

CriteriaResult buildCriteria(const QVector<Ticked>& ticked)
{
    auto refuse = [](const char16_t* words) {
        return CriteriaResult{QString(), QString::fromUtf16(words)};
    };
    // The title boxes open as "**": left like that they would match everything.
    for (const Ticked& t : ticked) {
        if (t.index == 7 && t.value == u"**")
            return refuse(u"曲名の検索条件が指定されていません！");
        if (t.index == 9 && t.value == u"**")
            return refuse(u"CD名の検索条件が指定されていません！");
    }
    QStringList clauses;
    for (const Ticked& t : ticked) {
        const CriterionDef& d = criterionDefs[t.index];
        if (!d.field)
            continue;
        // An empty box is refused; a value that merely ends in a quote (d') is not.
        if (t.value.isEmpty())
            return refuse(u"チェックしたところに、検索条件が指定されていません！");
        // A quote inside the value is written twice, so d'Indy is searched for as typed.
        clauses << QString::fromUtf16(d.field)
                + (d.like ? QStringLiteral(" like '") : QStringLiteral(" = '"))
                + quoteCriteriaValue(t.value) + u'\'';
    }
    if (clauses.isEmpty())
        return refuse(u"検索条件が指定されていません！");
    return CriteriaResult{clauses.join(QStringLiteral(" and ")), QString()};
}

std::shared_ptr<View> buildCDList(const View& songs)
{
    auto list = std::make_shared<View>();
    list->appendField(QStringLiteral("CDID"), FieldType::Integer, 5, false);
    list->appendField(QStringLiteral("CD名"), FieldType::Text, 100, false);
    for (const char16_t* name : {u"解説者", u"購入価格", u"購入年月日", u"発売元"})
        list->appendField(QString::fromUtf16(name), FieldType::Text, 50, true);
    list->appendField(QStringLiteral("キャビネット"), FieldType::Text, 20, true);
    list->appendField(QStringLiteral("段"), FieldType::Text, 10, true);
    list->openInMemory();

    // The CDs of every listed song are read without moving the song view, and
    // a set remembers the CDs already listed, so a search that matches every
    // song of a large collection stays fast. Two CDs of one title hold the
    // same songs: both are listed.
    QSet<const Row*> listed;
    const int n = songs.recordCount();
    const int cdColumns = 8;
    for (int row = 0; row < n; ++row) {
        for (const Row* cd : songs.childRowsAt(row)) {
            if (listed.contains(cd))
                continue;
            listed.insert(cd);
            list->addNew();
            for (int c = 0; c < cdColumns; ++c)
                list->setValue(c, c == 0 ? cd->value(0) : asListText(cd->value(c)));
            list->update();
        }
    }
    if (list->recordCount() > 0)
        list->moveFirst();
    return list;
}

} // namespace search
