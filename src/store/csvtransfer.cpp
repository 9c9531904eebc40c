#include "csvtransfer.h"

#include "connection.h"
#include "dberror.h"
#include "fieldtext.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QSaveFile>

#include <cmath>
#include <csv.h>

namespace csv {

namespace {

QByteArray quoted(const QString& text)
{
    QByteArray utf8 = text.toUtf8();
    if (!utf8.contains(',') && !utf8.contains('"') && !utf8.contains('\n') && !utf8.contains('\r'))
        return utf8;
    utf8.replace("\"", "\"\"");
    return '"' + utf8 + '"';
}

QString cellText(const QVariant& v, FieldType type)
{
    if (v.isNull() || !v.isValid())
        return QString();
    if (type == FieldType::Date) {
        if (v.typeId() == QMetaType::QDate)
            return v.toDate().toString(Qt::ISODate);
        if (v.typeId() == QMetaType::QDateTime)
            return dateTimeText(v.toDateTime());
    }
    if (v.typeId() == QMetaType::Double)
        return QLocale::c().toString(v.toDouble(), 'f', QLocale::FloatingPointShortest);
    return v.toString();
}

struct Parsed {
    QList<QStringList> records;
    QStringList current;
};

void onField(void* text, size_t length, void* data)
{
    auto* p = static_cast<Parsed*>(data);
    p->current << QString::fromUtf8(static_cast<const char*>(text), qsizetype(length));
}

void onRecord(int, void* data)
{
    auto* p = static_cast<Parsed*>(data);
    p->records << p->current;
    p->current.clear();
}

// A cell read back by the field's type: dates as YYYY-MM-DD (a time may
// follow), whole numbers only; an empty cell is NULL.
QVariant cellValue(const FieldDef& field, const QString& text)
{
    if (text.isEmpty())
        return QVariant();
    if (field.type == FieldType::Date) {
        static const QRegularExpression iso(
            QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})(?: (\\d{2}):(\\d{2}):(\\d{2}))?$"));
        const QRegularExpressionMatch m = iso.match(text);
        const QDate date = m.hasMatch()
            ? QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt())
            : QDate();
        if (!date.isValid())
            throw DbError(DbError::TypeMismatch,
                          QStringLiteral("%1「%2」は日付（YYYY-MM-DD）ではありません").arg(field.name, text));
        if (m.captured(4).isEmpty())
            return date;
        const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
        if (!time.isValid())
            throw DbError(DbError::TypeMismatch,
                          QStringLiteral("%1「%2」の時刻が正しくありません").arg(field.name, text));
        return QDateTime(date, time);
    }
    if (field.type == FieldType::Integer) {
        static const QRegularExpression whole(QStringLiteral("^-?\\d{1,18}$"));
        static const QRegularExpression decimal(QStringLiteral("^-?\\d{1,15}\\.\\d{1,4}$"));
        if (whole.match(text).hasMatch())
            return text.toLongLong();
        // a price with yen decimals, as the old database could hold, comes back as it went out
        if (field.name == u"購入価格" && decimal.match(text).hasMatch())
            return text.toDouble();
        throw DbError(DbError::TypeMismatch,
                      QStringLiteral("%1「%2」は整数ではありません").arg(field.name, text));
    }
    return text;
}

} // namespace

QByteArray write(const QVector<FieldDef>& fields, const QVector<QVector<QVariant>>& rows)
{
    QByteArray out("\xEF\xBB\xBF"); // a byte-order mark: spreadsheets then read UTF-8
    QList<QByteArray> cells;
    for (const FieldDef& f : fields)
        cells << quoted(f.name);
    out += cells.join(',') + "\r\n";
    for (const QVector<QVariant>& row : rows) {
        cells.clear();
        for (int i = 0; i < fields.size(); ++i)
            cells << quoted(cellText(row.value(i), fields.at(i).type));
        out += cells.join(',') + "\r\n";
    }
    return out;
}

QByteArray writeView(const View& view)
{
    QVector<QVector<QVariant>> rows;
    rows.reserve(view.recordCount());
    for (int r = 0; r < view.recordCount(); ++r) {
        QVector<QVariant> row(view.fieldCount());
        for (int c = 0; c < view.fieldCount(); ++c)
            row[c] = view.valueAt(r, c);
        rows << row;
    }
    return write(view.fields(), rows);
}

void save(const QString& path, const QByteArray& data)
{
    QSaveFile file(path); // the old file stays until the new one is whole
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        throw DbError(DbError::ProviderError,
                      QStringLiteral("ファイル「%1」に書き出せません。\r原因: %2").arg(path, file.errorString()));
}

QVector<QVector<QVariant>> read(const QByteArray& data, const QVector<FieldDef>& fields,
                                QList<Refusal>& refusals)
{
    QByteArray text = data;
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    Parsed parsed;
    csv_parser parser;
    csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI);
    const bool readable = csv_parse(&parser, text.constData(), size_t(text.size()), onField, onRecord, &parsed)
            == size_t(text.size())
        && csv_fini(&parser, onField, onRecord, &parsed) == 0;
    const QString error = QString::fromUtf8(csv_strerror(csv_error(&parser)));
    csv_free(&parser);
    if (!readable)
        throw DbError(DbError::BadArguments, QStringLiteral("CSVとして読めません（%1）").arg(error));
    if (parsed.records.isEmpty())
        throw DbError(DbError::BadArguments, QStringLiteral("見出しの行がありません"));
    const QStringList header = parsed.records.first();
    QVector<int> columnOf(fields.size(), -1);
    QStringList unknown;
    for (int c = 0; c < header.size(); ++c) {
        int found = -1;
        for (int f = 0; f < fields.size(); ++f)
            if (fields.at(f).name == header.at(c).trimmed())
                found = f;
        if (found < 0)
            unknown << header.at(c);
        else
            columnOf[found] = c;
    }
    if (!unknown.isEmpty())
        throw DbError(DbError::BadArguments,
                      QStringLiteral("知らない列があります: %1").arg(unknown.join(QStringLiteral("、"))));
    QVector<QVector<QVariant>> rows;
    rows.reserve(parsed.records.size() - 1);
    // csv's records count lines only where no value spans lines; count them
    int line = 1;
    for (qsizetype r = 1; r < parsed.records.size(); ++r) {
        const QStringList& record = parsed.records.at(r);
        line += 1;
        const int startLine = line;
        for (const QString& cell : record)
            line += int(cell.count(u'\n'));
        if (record.size() != header.size()) {
            refusals << Refusal{startLine, QStringLiteral("列の数が見出しと違います（%1 列）").arg(record.size())};
            continue;
        }
        QVector<QVariant> row(fields.size());
        try {
            for (int f = 0; f < fields.size(); ++f)
                if (columnOf[f] >= 0)
                    row[f] = cellValue(fields.at(f), record.at(columnOf[f]));
        } catch (const DbError& e) {
            refusals << Refusal{startLine, e.description()};
            continue;
        }
        rows << row;
    }
    return rows;
}

importer::Rows readFiles(const QString& cdFile, const QString& songFile)
{
    importer::Rows rows;
    QStringList problems;
    for (const auto& [path, fields, out] :
         {std::tuple{cdFile, &Connection::cdnameFields(), &rows.cds},
          std::tuple{songFile, &Connection::kyokuFields(), &rows.songs}}) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw DbError(DbError::ProviderError,
                          QStringLiteral("ファイル「%1」を読めません。").arg(path));
        QList<Refusal> refusals;
        try {
            *out = read(file.readAll(), *fields, refusals);
        } catch (const DbError& e) {
            throw DbError(e.number(), QStringLiteral("ファイル「%1」を取り込めません: %2")
                                          .arg(QFileInfo(path).fileName(), e.description()));
        }
        for (const Refusal& r : refusals)
            problems << QStringLiteral("%1 の %2 行目: %3").arg(QFileInfo(path).fileName()).arg(r.line).arg(r.reason);
    }
    if (!problems.isEmpty()) {
        QString list = problems.mid(0, 15).join(u'\r');
        if (problems.size() > 15)
            list += QStringLiteral("\r…ほか %1 行").arg(problems.size() - 15);
        throw DbError(DbError::TypeMismatch,
                      QStringLiteral("取り込めない行があるため、何も取り込みませんでした。\r%1").arg(list));
    }
    return rows;
}

} // namespace csv
