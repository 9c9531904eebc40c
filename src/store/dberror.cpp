#include "dberror.h"

DbError::DbError(int number, QString description)
    : m_number(number), m_description(std::move(description)), m_utf8(m_description.toUtf8())
{
}

DbError DbError::noCurrentRow()
{
    return DbError(
        NoCurrentRow,
        QStringLiteral("BOF と EOF のいずれかが True になっているか、または現在のレコードが"
                       "削除されています。要求された操作には、現在のレコードが必要です。"));
}

DbError DbError::notAllowedNow()
{
    return DbError(NotAllowedNow,
                   QStringLiteral("この操作は、このコンテキストでは許可されていません。"
                                  "編集中のレコードを確定するか取り消してください。"));
}
