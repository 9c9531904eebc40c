#include "extract.h"

namespace search {

const std::array<SearchBox, 13>& searchBoxes()
{
    using I = SearchInput;
    using L = Collection::ValueList;
    constexpr std::nullopt_t none = std::nullopt;
    static const std::array<SearchBox, 13> boxes = {{
        {0, u"作曲者名", false, true, I::List, 1185, nullptr, L::Sakkyoku},
        {1, u"編曲者名", false, true, I::List, 1710, nullptr, L::Henkyoku},
        {2, u"指揮者名", false, true, I::List, 2250, nullptr, L::Shikisya},
        {3, u"演奏団体", false, true, I::List, 2790, nullptr, L::Ensou},
        {4, u"発売元", false, false, I::List, 1275, nullptr, L::Hatubai},
        {5, u"分野", false, true, I::List, 3855, nullptr, L::Bunya},
        {6, u"解説者", false, false, I::List, 1920, nullptr, L::Kaisetu},
        {7, u"曲名", true, true, I::Text, 645, "txtKyoku", none},
        {8, u"ソリスト", false, true, I::List, 3330, nullptr, L::Sorisuto},
        {9, u"CD名", true, false, I::Text, 630, "txtCDmei", none},
        {10, u"全曲表示", false, true, I::None, 4335, nullptr, none},
        {11, u"キャビネット", false, false, I::Text, 2550, "txtKyabinet", none},
        {12, u"段", false, false, I::Text, 2790, "txtDan", none},
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

} // namespace search
