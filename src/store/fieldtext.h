#pragma once

#include "view.h"

#include <QDate>
#include <QString>
#include <QVariant>

// What the user types into a field, read by the field's type. An empty (or
// blank) text is no value. A text the field cannot hold raises DbError
// (TypeMismatch) whose description names the field and the text.
QVariant valueFromText(const FieldDef& field, const QString& text);

// Dates typed as 02/1/31, 2002/1/31, 2002/01/31 or 2002-01-31; two-digit
// years 00-29 are 2000-2029, 30-99 are 1930-1999. Invalid QDate when not a date.
QDate parseTypedDate(const QString& text);

// The text a field's value shows in an entry box, the form it is read back in:
// dates as yy/M/d, numbers without separators.
QString entryText(const QVariant& value, FieldType type);

// A stored value as text without separators or currency: dates as yyyy/MM/dd,
// null as the empty text.
QString plainText(const QVariant& value);
