#pragma once

#include "view.h"

#include <QString>
#include <QVariant>
#include <QVector>

#include <functional>

// Reads the collection of the old program, a Jet 4 file, with libmdb; never
// writes to it. Values arrive as they were stored: NULL as null, the empty
// text as empty, dates with their time of day, currency with its decimals.
class LegacyReader {
public:
    // Throws DbError with a Japanese description when the file cannot be read.
    explicit LegacyReader(const QString& path);
    ~LegacyReader();
    LegacyReader(const LegacyReader&) = delete;
    LegacyReader& operator=(const LegacyReader&) = delete;

    // The number of rows the table's definition states; -1 without the table.
    qint64 declaredRows(const QString& table) const;

    // Every row of a table, its values in the order of `fields` (matched by
    // column name). `progress` is told each row read and may say stop (false),
    // which throws DbError. A table that cannot be read whole is refused:
    // the rows fetched must be the rows the definition states.
    using Progress = std::function<bool(int rowsRead)>;
    QVector<QVector<QVariant>> read(const QString& table, const QVector<FieldDef>& fields,
                                    const Progress& progress = {});

    static constexpr int Cancelled = 3059; // the user stopped the reading

private:
    struct Impl;
    Impl* d;
    QString m_path;
};

// A Jet date (days since 1899-12-30, the fraction the time of day) as a
// date and time; exact to the second for every date Jet can hold.
QDateTime jetDateTime(double days);
// Jet 4 text bytes: UTF-16LE, or the compressed form that begins FF FE.
QString jetText(const QByteArray& raw);
