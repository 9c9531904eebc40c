#pragma once

#include "store/collection.h"
#include "store/criteria.h"
#include "store/view.h"

#include <QString>
#include <QVector>

#include <array>

#include <memory>
#include <optional>

namespace search {

// What a search box takes its value in: one of the value list's entries, a
// typed text, or nothing (全曲表示 is a switch).
enum class SearchInput { List, Text, None };

// One box of the criteria panel, once: which field it searches and how, where
// it stands and what the user types into.
struct SearchBox {
    int index; // as Check1(index)
    const char16_t* caption; // the field searched, or 全曲表示
    bool like; // matched as a pattern ("*" any run of characters), not whole
    bool songFrame; // in 曲検索; otherwise in CD検索
    SearchInput input;
    int top; // twips in its frame
    const char* textName; // the object name of a typed input
    std::optional<Collection::ValueList> list; // the value list a list input offers
};
// The thirteen boxes, by index.
const std::array<SearchBox, 13>& searchBoxes();

// One ticked box of the criteria panel: its index (as Check1) and its text.
struct Ticked {
    int index;
    QString value;
};

// The criteria of the ticked boxes, in index order, joined by "and", with
// their text as captions and reports show it; or the words of the refusal
// when the boxes do not make a search.
struct CriteriaResult {
    Criteria criteria;
    QString text;
    QString refusal;
    bool refused() const { return !refusal.isEmpty(); }
};
CriteriaResult buildCriteria(const QVector<Ticked>& ticked);

} // namespace search
