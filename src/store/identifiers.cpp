#include "identifiers.h"

#include "connection.h"

namespace identifiers {

namespace {

qint64 largest(Connection& cn, const QString& sql)
{
    const QVariantList values = cn.column(sql);
    return values.isEmpty() || values.first().isNull() ? 0 : values.first().toLongLong();
}

} // namespace

qint64 largestCDID(Connection& cn)
{
    return largest(cn, QStringLiteral("SELECT MAX(CDID) FROM cdname"));
}

qint64 largestKyokuID(Connection& cn)
{
    return largest(cn, QStringLiteral("SELECT MAX(曲ID) FROM kyoku"));
}

} // namespace identifiers
