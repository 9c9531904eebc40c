#include "fieldtext.h"

#include "dberror.h"

#include <QRegularExpression>

namespace {

// Full-width digits and signs, typed through the input method, read as their
// ASCII forms; nothing else of the text changes meaning.
QString normalised(const QString& text)
{
    return text.normalized(QString::NormalizationForm_KC).trimmed();
}

[[noreturn]] void refuse(const FieldDef& field, const QString& text, const QString& hint)
{
    throw DbError(DbError::TypeMismatch,
                  QStringLiteral("%1に「%2」は入力できません。\r%3").arg(field.name, text, hint));
}

} // namespace

QDate parseTypedDate(const QString& text)
{
    static const QRegularExpression form(
        QStringLiteral("^(\\d{2}|\\d{4})([/-])(\\d{1,2})\\2(\\d{1,2})$"));
    const QRegularExpressionMatch m = form.match(normalised(text));
    if (!m.hasMatch())
        return QDate();
    int year = m.captured(1).toInt();
    if (m.captured(1).size() == 2)
        year += year < 30 ? 2000 : 1900;
    return QDate(year, m.captured(3).toInt(), m.captured(4).toInt());
}

QVariant valueFromText(const FieldDef& field, const QString& text)
{
    if (text.trimmed().isEmpty())
        return QVariant();
    switch (field.type) {
    case FieldType::Text:
        return text;
    case FieldType::Date: {
        const QDate date = parseTypedDate(text);
        if (!date.isValid())
            refuse(field, text,
                   QStringLiteral("日付は 02/1/31 や 2002/1/31 のように入力してください。"));
        return date;
    }
    case FieldType::Integer: {
        static const QRegularExpression whole(
            QStringLiteral("^[+-]?\\d{1,3}(,\\d{3})*$|^[+-]?\\d+$"));
        QString digits = normalised(text);
        if (!whole.match(digits).hasMatch())
            refuse(field, text, QStringLiteral("整数（例: 5000）で入力してください。"));
        digits.remove(u',');
        bool ok = false;
        const qlonglong n = digits.toLongLong(&ok);
        const qlonglong limit = field.size <= 4 ? 2147483647LL : 999999999999999LL;
        if (!ok || n > limit || n < -limit)
            refuse(field, text, QStringLiteral("数が大きすぎます。"));
        return n;
    }
    }
    return text;
}

QString entryText(const QVariant& value, FieldType type)
{
    if (value.isNull() || !value.isValid())
        return QString();
    if (type == FieldType::Date && value.typeId() == QMetaType::QDate) {
        // Two digits read back as 1930-2029: other years show all four, so
        // that a date shown and saved again never moves by a century.
        const QDate date = value.toDate();
        const bool twoDigits = date.year() >= 1930 && date.year() <= 2029;
        return date.toString(twoDigits ? QStringLiteral("yy/M/d") : QStringLiteral("yyyy/M/d"));
    }
    return value.toString();
}

QString plainText(const QVariant& value)
{
    if (value.isNull() || !value.isValid())
        return QString();
    if (value.typeId() == QMetaType::QDate)
        return value.toDate().toString(QStringLiteral("yyyy/MM/dd"));
    return value.toString();
}
