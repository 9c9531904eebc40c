#include "batch.h"

#include "catalogue.h"
#include "connection.h"
#include "dberror.h"
#include "fieldtext.h"

namespace batch {

namespace {

[[noreturn]] void refuse(const QString& why)
{
    throw DbError(DbError::BadArguments, why + QStringLiteral("（何も変更していません）"));
}

bool isSongs(const View& view)
{
    return view.fieldIndex(QStringLiteral("曲ID")) >= 0;
}

QString rowName(const View& view, int row)
{
    const QString title = isSongs(view) ? QStringLiteral("曲名") : QStringLiteral("CD名");
    return view.valueAt(row, view.fieldIndex(title)).toString();
}

} // namespace

QStringList changeableFields(const View& view)
{
    QStringList names;
    const QString key = isSongs(view) ? QStringLiteral("曲ID") : QStringLiteral("CDID");
    for (const FieldDef& f : view.fields())
        if (f.name != key && f.name != u"CD名")
            names << f.name;
    return names;
}

QVector<Change> plan(const View& view, const QVector<int>& rows, const Order& order)
{
    const int column = view.fieldIndex(order.field);
    if (column < 0 || !changeableFields(view).contains(order.field))
        refuse(QStringLiteral("「%1」は一括変更できない項目です").arg(order.field));
    const FieldDef& field = view.field(column);
    if (order.replace && order.find.isEmpty())
        refuse(QStringLiteral("置き換える文字を入力してください"));
    if (order.replace && field.type != FieldType::Text)
        refuse(QStringLiteral("%1は文字の項目ではないため、置き換えできません").arg(field.name));
    // a value set is the same for every row: checked once, before any row
    QVariant set;
    if (!order.replace)
        set = valueFromText(field, order.value);
    QVector<Change> changes;
    for (const int row : rows) {
        const Row* stored = view.rowAt(row);
        if (!stored)
            continue;
        const QVariant before = view.valueAt(row, column);
        QVariant after = set;
        if (order.replace) {
            QString text = before.toString();
            text.replace(order.find, order.value);
            after = text.isEmpty() ? QVariant() : QVariant(text);
        }
        if (plainText(before) == plainText(after))
            continue;
        if (field.name == u"曲名") {
            if (const QString refusal = catalogue::songTitleRefusal(after.toString());
                !refusal.isEmpty())
                refuse(QStringLiteral("曲「%1」: %2").arg(rowName(view, row), refusal));
        }
        changes << Change{stored->rowid, rowName(view, row), before, after};
    }
    return changes;
}

void apply(Connection& cn, const View& view, const QString& field, const QVector<Change>& changes)
{
    const int column = view.fieldIndex(field);
    if (column < 0 || !changeableFields(view).contains(field))
        refuse(QStringLiteral("「%1」は一括変更できない項目です").arg(field));
    QVector<bool> changed(view.fieldCount(), false);
    changed[column] = true;
    QVector<QVariant> values(view.fieldCount());
    cn.transaction([&] {
        for (const Change& c : changes) {
            values[column] = c.after;
            cn.updateRow(view.table(), view.fields(), values, changed, c.rowid);
        }
    });
}

} // namespace batch
