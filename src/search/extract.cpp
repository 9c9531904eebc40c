#include "extract.h"

#include "store/tables.h"
#include "widgets/databound.h"

#include <QSet>

namespace search {

namespace {

// The CD list holds price and date as text: the text the grids show, or null.
QVariant asListText(const QVariant& v)
{
    if (v.isNull() || !v.isValid())
        return QVariant();
    return formatValue(v, DisplayFormat::None);
}

} // namespace

const std::array<SearchBox, 13>& searchBoxes()
{
    using I = SearchInput;
    using C = Collection;
    static const std::array<SearchBox, 13> boxes = {{
        {0, u"作曲者名", false, true, I::List, 1185, nullptr, &C::rsSakkyoku},
        {1, u"編曲者名", false, true, I::List, 1710, nullptr, &C::rsHenkyoku},
        {2, u"指揮者名", false, true, I::List, 2250, nullptr, &C::rsShikisya},
        {3, u"演奏団体", false, true, I::List, 2790, nullptr, &C::rsEnsou},
        {4, u"発売元", false, false, I::List, 1275, nullptr, &C::rsHatubai},
        {5, u"分野", false, true, I::List, 3855, nullptr, &C::rsBunya},
        {6, u"解説者", false, false, I::List, 1920, nullptr, &C::rsKaisetu},
        {7, u"曲名", true, true, I::Text, 645, "txtKyoku", nullptr},
        {8, u"ソリスト", false, true, I::List, 3330, nullptr, &C::rsSorisuto},
        {9, u"CD名", true, false, I::Text, 630, "txtCDmei", nullptr},
        {10, u"全曲表示", false, true, I::None, 4335, nullptr, nullptr},
        {11, u"キャビネット", false, false, I::Text, 2550, "txtKyabinet", nullptr},
        {12, u"段", false, false, I::Text, 2790, "txtDan", nullptr},
    }};
    return boxes;
}

CriteriaResult buildCriteria(const QVector<Ticked>& ticked)
{
    auto refuse = [](const char16_t* words) {
        return CriteriaResult{Criteria(), QString(), QString::fromUtf16(words)};
    };
    // The title boxes open as "**": left like that they would match everything.
    for (const Ticked& t : ticked) {
        if (t.index == 7 && t.value == u"**")
            return refuse(u"曲名の検索条件が指定されていません！");
        if (t.index == 9 && t.value == u"**")
            return refuse(u"CD名の検索条件が指定されていません！");
    }
    Criteria criteria;
    for (const Ticked& t : ticked) {
        const SearchBox& box = searchBoxes().at(size_t(t.index));
        if (box.input == SearchInput::None)
            continue;
        // An empty box is refused; a value that merely ends in a quote (d') is not.
        if (t.value.isEmpty())
            return refuse(u"チェックしたところに、検索条件が指定されていません！");
        // The value is taken as typed: d'Indy is searched for as d'Indy.
        const QString field = QString::fromUtf16(box.caption);
        if (box.like)
            criteria.like(field, t.value);
        else
            criteria.equals(field, t.value);
    }
    if (criteria.isEmpty())
        return refuse(u"検索条件が指定されていません！");
    const QString text = criteria.text();
    return CriteriaResult{std::move(criteria), text, QString()};
}

std::shared_ptr<View> buildCDList(const View& songs)
{
    auto list = std::make_shared<View>();
    // The CDs' columns in stored order; price and date held as text.
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
    // same songs: both are listed.
    QSet<const Row*> listed;
    const int n = songs.recordCount();
    const int cdColumns = int(cdnameTable().columns().size());
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
