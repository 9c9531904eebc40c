#pragma once

#include "view.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

class Connection;

// One field of many rows changed at once (一括変更): set to one value, or a
// text replaced inside it, on rows of the CD or song view. The new values are
// checked as the entry forms check what is typed.
namespace batch {

struct Order {
    QString field;
    bool replace = false; // false: the field set to `value`
    QString find; // replace: the text replaced (every occurrence, letter case kept)
    QString value;
};

struct Change {
    qint64 rowid;
    QString row; // how the collector knows the row: its 曲名 or CD名
    QVariant before, after;
};

// The fields a batch may change in the view: all but its identifier and the
// CD名 that ties songs to their CDs.
QStringList changeableFields(const View& view);
// What the order makes of these rows (indexes among the view's visible rows):
// the rows whose value changes, in the order given. Refused with DbError,
// naming the row, when a new value is not one the field can take.
QVector<Change> plan(const View& view, const QVector<int>& rows, const Order& order);
// Writes the planned values into the view's table in one transaction.
void apply(Connection& cn, const View& view, const QString& field, const QVector<Change>& changes);

} // namespace batch
