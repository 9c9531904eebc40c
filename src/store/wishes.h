#pragma once

#include "view.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

class Connection;

// The wish list (欲しいもの): recordings the collector wants, in a table of
// its own, found with quick find's matching so that "do I own it, or did I
// note it?" is one look.
namespace wishes {

struct Wish {
    qint64 id = 0; // 欲しいID, once stored
    QString title; // タイトル
    QString composer; // 作曲者
    QString performers; // 演奏者
    QString number; // 原盤番号
    QString seenAt; // 見た場所
    std::optional<double> price; // 価格, in yen (as the CDs' prices, decimals kept)
    QString note; // メモ
    QDate added; // 追加日
};

// The fields as the window's columns name them, in its order.
const QStringList& fieldNames();
// A wish's texts in that order (the price as typed digits, the date as
// yyyy/MM/dd), and a wish from such texts: the price read as the CD form
// reads one, refused with DbError when it is no number.
QStringList textsOf(const Wish& wish);
Wish fromTexts(const QStringList& texts);
// What a wish bought says that the CD's own fields do not hold (composer,
// performers, catalogue number, where it was seen, its note), as the CD's
// note: one line each, named, the empty ones left out.
QString cdNoteOf(const Wish& wish);
// The price column, read and written as the CDs' price (yen decimals kept).
FieldDef priceField();

const QStringList& tableStatements();

// Every wish, the newest first; none where the file has no table for them.
QVector<Wish> read(Connection& cn);
// Each one transaction; a wish without a title is refused, nothing written.
// Adding returns its number; a wish added without a date gets today's.
qint64 add(Connection& cn, Wish wish);
void save(Connection& cn, const Wish& wish);
void remove(Connection& cn, qint64 id);
// The wishes where every word (as findWords gives them) occurs in one of
// their fields, compared as quick find compares.
QVector<Wish> matching(const QVector<Wish>& all, const QStringList& words);

} // namespace wishes
