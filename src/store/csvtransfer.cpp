#include "csvtransfer.h"

#include "history.h"
#include "namegroups.h"
#include "wishes.h"

#include "connection.h"
#include "dberror.h"
#include "fieldtext.h"
#include "regularfile.h"
#include "tables.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QStringDecoder>

#include <algorithm>
#include <cmath>
#include <csv.h>

namespace csv {

namespace {

// Blanks (space, TAB) at either end of a text are quoted, so that a program
// that trims unquoted fields reads them as they are; libcsv reads an unquoted
// empty field as NULL, so the empty text is quoted too. Every text returns
// exactly as it went out.
QByteArray quoted(const QString& text, bool isText = true)
{
    QByteArray utf8 = text.toUtf8();
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    const bool plain = !(isText && utf8.isEmpty()) && !utf8.contains(',') && !utf8.contains('"')
        && !utf8.contains('\n') && !utf8.contains('\r')
        && (utf8.isEmpty() || (!blank(utf8.front()) && !blank(utf8.back())));
    if (plain)
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
    QList<Record> records;
    Record current;
    bool open = false; // a record has begun and not yet ended
    int line = 0; // the line being fed to the parser
    void begin()
    {
        if (!open) {
            open = true;
            current.line = line;
        }
    }
};

void onField(void* text, size_t length, void* data)
{
    auto* p = static_cast<Parsed*>(data);
    p->begin();
    // a U+FEFF at the start of a value is part of it: only the file's first is its mark
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    p->current.cells << utf8(QByteArrayView(static_cast<const char*>(text), qsizetype(length)));
    p->current.quotedEmpty << (text != nullptr && length == 0);
    p->current.invalidUtf8 = p->current.invalidUtf8 || utf8.hasError();
}

void onRecord(int, void* data)
{
    auto* p = static_cast<Parsed*>(data);
    p->begin();
    p->records << p->current;
    p->current = Record();
    p->open = false;
}

QString parseError(int code)
{
    switch (code) {
    case CSV_EPARSE:
        return QStringLiteral("引用符（\"）の使い方が正しくありません");
    case CSV_ENOMEM:
    case CSV_ETOOBIG:
        return QStringLiteral("値が大きすぎて読めません");
    default:
        return QStringLiteral("CSVとして読めません");
    }
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// No character is a blank to libcsv: left to itself it would drop the blanks
// at either end of an unquoted value without a word, and a value is read as
// it was written.
int noBlank(unsigned char)
{
    return 0;
}

// Where the line that begins at `from` ends: after its CR, LF or CR LF, as
// editors count lines whichever of them a file uses.
qsizetype lineEnd(const QByteArray& text, qsizetype from)
{
    for (qsizetype i = from; i < text.size(); ++i) {
        if (text.at(i) == '\n')
            return i + 1;
        if (text.at(i) == '\r')
            return i + 1 < text.size() && text.at(i + 1) == '\n' ? i + 2 : i + 1;
    }
    return text.size();
}

// Feeds the text to libcsv a line at a time, so that each record knows the
// line it starts on, blank lines and line breaks inside values included.
Parsed parse(const QByteArray& text)
{
    Parsed parsed;
    csv_parser parser;
    csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI | CSV_EMPTY_IS_NULL);
    csv_set_space_func(&parser, noBlank);
    auto refuse = [&](int line, const QString& why) {
        csv_free(&parser);
        throw DbError(DbError::BadArguments, QStringLiteral("%1 行目: %2").arg(line).arg(why));
    };
    qsizetype from = 0;
    while (from < text.size()) {
        const qsizetype end = lineEnd(text, from);
        ++parsed.line;
        const QByteArrayView line(text.constData() + from, end - from);
        if (!parsed.open) {
            // a line of blanks alone between records holds no record
            if (std::all_of(line.begin(), line.end(),
                            [](char c) { return isBlank(c) || c == '\r' || c == '\n'; })) {
                from = end;
                continue;
            }
            parsed.begin();
        }
        if (csv_parse(&parser, line.data(), size_t(line.size()), onField, onRecord, &parsed)
            != size_t(line.size()))
            refuse(parsed.line, parseError(csv_error(&parser)));
        from = end;
    }
    if (csv_fini(&parser, onField, onRecord, &parsed) != 0)
        refuse(parsed.current.line > 0 ? parsed.current.line : parsed.line,
               csv_error(&parser) == CSV_EPARSE ? QStringLiteral("引用符（\"）が閉じられていません")
                                                : parseError(csv_error(&parser)));
    csv_free(&parser);
    return parsed;
}

// The identifiers: whole numbers a 32-bit column of the old program can hold.
bool isIdentifier(const FieldDef& field)
{
    return field.type == FieldType::Integer && field.size == 4;
}

// The prices, the CDs' and the wishes', come back with their yen decimals.
bool takesDecimals(const FieldDef& field)
{
    return isMoney(field) || field == wishes::priceField();
}

// A cell read back by the field's type: dates as YYYY-MM-DD (a time may
// follow), whole numbers only; an empty cell is NULL.
QVariant cellValue(const FieldDef& field, QString text)
{
    if (field.type != FieldType::Text) {
        // blanks around a number or a date are no part of it
        const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
        qsizetype first = 0, last = text.size();
        while (first < last && blank(text.at(first)))
            ++first;
        while (last > first && blank(text.at(last - 1)))
            --last;
        text = text.sliced(first, last - first);
    }
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
            throw DbError(
                DbError::TypeMismatch,
                QStringLiteral("%1「%2」は日付（YYYY-MM-DD）ではありません").arg(field.name, text));
        if (m.captured(4).isEmpty())
            return date;
        const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
        if (!time.isValid())
            throw DbError(DbError::TypeMismatch,
                          QStringLiteral("%1「%2」の時刻が正しくありません").arg(field.name, text));
        return QDateTime(date, time);
    }
    if (isIdentifier(field)) {
        static const QRegularExpression digits(QStringLiteral("^\\d{1,10}$"));
        const qint64 id = digits.match(text).hasMatch() ? text.toLongLong() : 0;
        if (id < 1 || id > 2147483647)
            throw DbError(DbError::TypeMismatch,
                          QStringLiteral("%1「%2」は 1 から 2147483647 までの整数ではありません")
                              .arg(field.name, text));
        return id;
    }
    if (field.type == FieldType::Integer) {
        static const QRegularExpression whole(QStringLiteral("^-?\\d{1,18}$"));
        static const QRegularExpression decimal(QStringLiteral("^-?\\d{1,15}\\.\\d{1,4}$"));
        if (whole.match(text).hasMatch())
            return text.toLongLong();
        // a price with yen decimals, as the old database could hold, comes back as it went out
        if (takesDecimals(field) && decimal.match(text).hasMatch())
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
        for (int i = 0; i < fields.size(); ++i) {
            const QVariant& v = row.value(i);
            // NULL is an empty field; the empty text is written "", and comes back as such
            cells << (v.isNull() || !v.isValid() ? QByteArray()
                                                 : quoted(cellText(v, fields.at(i).type),
                                                          fields.at(i).type == FieldType::Text));
        }
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

const QStringList& exportFileNames()
{
    static const QStringList names = [] {
        QStringList list{QStringLiteral("cdname.csv"), QStringLiteral("kyoku.csv")};
        for (int t = 0; t < importer::ExtraCount; ++t)
            list << importer::extraTable(importer::Extra(t)).name + QStringLiteral(".csv");
        return list << QStringLiteral("history.csv");
    }();
    return names;
}

QStringList exportCollection(Connection& cn, const QString& folder)
{
    QList<QByteArray> texts;
    for (const auto& [table, fields] :
         {std::pair{QStringLiteral("cdname"), &Connection::cdnameFields()},
          std::pair{QStringLiteral("kyoku"), &Connection::kyokuFields()}}) {
        // the columns named from the table's one definition, the identifier first in order
        QStringList columns;
        QString identifier;
        for (const FieldDef& f : *fields) {
            columns << u'"' + f.name + u'"';
            if (identifier.isEmpty() && isIdentifier(f))
                identifier = u'"' + f.name + u'"';
        }
        const QString sql = QStringLiteral("SELECT rowid, %1 FROM %2 ORDER BY %3, rowid")
                                .arg(columns.join(QStringLiteral(", ")), table, identifier);
        QVector<QVector<QVariant>> rows;
        for (const RowPtr& row : cn.read(sql, *fields))
            rows << row->values();
        texts << write(*fields, rows);
    }
    for (int t = 0; t < importer::ExtraCount; ++t) {
        const importer::ExtraTable& table = importer::extraTable(importer::Extra(t));
        QVector<QVector<QVariant>> rows;
        if (t == importer::NameGroups) {
            rows = names::joinRows(cn);
        } else if (cn.hasTable(table.name)) {
            QStringList columns;
            for (const FieldDef& f : table.fields)
                columns << u'"' + f.name + u'"';
            QSqlQuery q = cn.query(QStringLiteral("書き出す表"),
                                   QStringLiteral("SELECT %1 FROM main.%2 ORDER BY 1")
                                       .arg(columns.join(QStringLiteral(", ")), table.name));
            while (q.next()) {
                QVector<QVariant> row;
                for (int c = 0; c < table.fields.size(); ++c)
                    row << (q.value(c).isNull() ? QVariant() : q.value(c));
                rows << row;
            }
        }
        texts << write(table.fields, rows);
    }
    // the history as the collector reads it, not the rows it keeps to undo each change
    QVector<QVector<QVariant>> changes;
    const QVector<history::Change> newestFirst = history::list(cn);
    for (auto it = newestFirst.rbegin(); it != newestFirst.rend(); ++it)
        changes << QVector<QVariant>{it->when, it->kind, it->touched,
                                     history::stateText(it->state)};
    const auto text = [](const char16_t* name) {
        return FieldDef{QString::fromUtf16(name), FieldType::Text, 255, false};
    };
    texts << write({FieldDef{QStringLiteral("日時"), FieldType::Date, 8, false}, text(u"種類"),
                    text(u"内容"), text(u"状態")},
                   changes);

    const QDir dir(folder);
    QStringList paths;
    QList<std::pair<QString, QByteArray>> files;
    for (int i = 0; i < exportFileNames().size(); ++i) {
        paths << dir.filePath(exportFileNames().at(i));
        files << std::pair{paths.last(), texts.at(i)};
    }
    QString why, failed;
    if (!regularfile::writeAll(files, &why, &failed))
        throw DbError(DbError::ProviderError,
                      QStringLiteral("ファイル「%1」に書き出せません（ほかのファイルも書き出して"
                                     "いません）。\r原因: %2")
                          .arg(failed, why));
    return paths;
}

void save(const QString& path, const QByteArray& data)
{
    QString why; // the old file stays until the new one is whole
    if (!regularfile::write(path, data, &why))
        throw DbError(DbError::ProviderError,
                      QStringLiteral("ファイル「%1」に書き出せません。\r原因: %2").arg(path, why));
}

namespace {

// read(), also telling the line of each row read; with `firstKey` the row's
// key is the first column when it is an identifier, and no other.
QVector<QVector<QVariant>> readTable(const QByteArray& data, const QVector<FieldDef>& fields,
                                     QList<Refusal>& refusals, QVector<int>* lines, bool firstKey)
{
    const QList<Record> parsed = records(data);
    if (parsed.isEmpty())
        throw DbError(DbError::BadArguments, QStringLiteral("見出しの行がありません"));
    const Record& head = parsed.first();
    if (head.invalidUtf8)
        throw DbError(DbError::BadArguments,
                      QStringLiteral("%1 行目: UTF-8 として読めない文字があります").arg(head.line));
    const QStringList& header = head.cells;
    QVector<int> columnOf(fields.size(), -1);
    QStringList unknown;
    for (int c = 0; c < header.size(); ++c) {
        int found = -1;
        for (int f = 0; f < fields.size(); ++f)
            if (fields.at(f).name == header.at(c).trimmed())
                found = f;
        if (found < 0) {
            unknown << header.at(c);
        } else if (columnOf[found] >= 0) {
            throw DbError(DbError::BadArguments,
                          QStringLiteral("見出しに列「%1」が2回あります（%2 列目と %3 列目）")
                              .arg(fields.at(found).name)
                              .arg(columnOf[found] + 1)
                              .arg(c + 1));
        } else {
            columnOf[found] = c;
        }
    }
    if (!unknown.isEmpty())
        throw DbError(
            DbError::BadArguments,
            QStringLiteral("知らない列があります: %1").arg(unknown.join(QStringLiteral("、"))));
    // The identifier of each row, and the line it was first seen on.
    int id = -1;
    for (int f = 0; f < (firstKey ? 1 : fields.size()) && id < 0; ++f)
        if (isIdentifier(fields.at(f)) && columnOf[f] >= 0)
            id = f;
    QHash<qint64, int> seen;
    QVector<QVector<QVariant>> rows;
    rows.reserve(parsed.size() - 1);
    for (qsizetype r = 1; r < parsed.size(); ++r) {
        const Record& record = parsed.at(r);
        if (record.invalidUtf8) {
            refusals << Refusal{record.line, QStringLiteral("UTF-8 として読めない文字があります")};
            continue;
        }
        if (record.cells.size() != header.size()) {
            refusals << Refusal{
                record.line,
                QStringLiteral("列の数が見出しと違います（%1 列）").arg(record.cells.size())};
            continue;
        }
        QVector<QVariant> row(fields.size());
        try {
            for (int f = 0; f < fields.size(); ++f) {
                const int c = columnOf[f];
                if (c < 0)
                    continue;
                row[f] = fields.at(f).type == FieldType::Text && record.quotedEmpty.at(c)
                    ? QVariant(QStringLiteral(""))
                    : cellValue(fields.at(f), record.cells.at(c));
            }
        } catch (const DbError& e) {
            refusals << Refusal{record.line, e.description()};
            continue;
        }
        if (id >= 0 && !row.at(id).isNull()) {
            const qint64 key = row.at(id).toLongLong();
            const auto first = seen.constFind(key);
            if (first != seen.constEnd()) {
                refusals << Refusal{record.line,
                                    QStringLiteral("%1 %2 は %3 行目にもあります")
                                        .arg(fields.at(id).name)
                                        .arg(key)
                                        .arg(*first)};
                continue;
            }
            seen.insert(key, record.line);
        }
        rows << row;
        if (lines)
            *lines << record.line;
    }
    return rows;
}

} // namespace

QByteArray contents(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw DbError(DbError::ProviderError,
                      QStringLiteral("ファイル「%1」を読めません。").arg(path));
    return file.readAll();
}

QList<Record> records(const QByteArray& data)
{
    // UTF-16 reads as nonsense in UTF-8, and libcsv would blame the quotes:
    // its mark, or a NUL byte in the header line (a column's name never holds
    // one; UTF-16 has one beside every ASCII letter), tells it.
    const QByteArrayView headLine(data.constData(), lineEnd(data, 0));
    if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF") || headLine.contains('\0'))
        throw DbError(DbError::BadArguments,
                      QStringLiteral("UTF-16 のファイルです。UTF-8 で保存してください"));
    QByteArray text = data;
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    return parse(text).records;
}

QVector<QVector<QVariant>> read(const QByteArray& data, const QVector<FieldDef>& fields,
                                QList<Refusal>& refusals)
{
    return readTable(data, fields, refusals, nullptr, false);
}

importer::Rows readFiles(const QString& cdFile, const QString& songFile)
{
    importer::Rows rows;
    QStringList problems;
    // Reads one file into `out`, its refusals named after it.
    auto readFile = [&](const QString& path, const QVector<FieldDef>& fields,
                        QVector<QVector<QVariant>>& out, QVector<int>* lines) {
        const QString name = QFileInfo(path).fileName();
        QList<Refusal> refusals;
        const QByteArray data = contents(path);
        try {
            out = readTable(data, fields, refusals, lines, lines != nullptr);
        } catch (const DbError& e) {
            throw DbError(
                e.number(),
                QStringLiteral("ファイル「%1」を取り込めません: %2").arg(name, e.description()));
        }
        for (const Refusal& r : refusals)
            problems << QStringLiteral("%1 の %2 行目: %3").arg(name).arg(r.line).arg(r.reason);
    };
    readFile(cdFile, Connection::cdnameFields(), rows.cds, nullptr);
    readFile(songFile, Connection::kyokuFields(), rows.songs, nullptr);
    const QDir folder = QFileInfo(cdFile).absoluteDir();
    for (int t = 0; t < importer::ExtraCount; ++t) {
        const importer::ExtraTable& table = importer::extraTable(importer::Extra(t));
        const QString path = folder.filePath(table.name + QStringLiteral(".csv"));
        if (!QFileInfo::exists(path))
            continue;
        importer::ExtraRows& extra = rows.extra[t];
        extra.file = QFileInfo(path).fileName();
        readFile(path, table.fields, extra.rows, &extra.lines);
    }
    problems << importer::refusedLines(rows);
    if (!problems.isEmpty())
        importer::refuseLines(problems);
    return rows;
}

} // namespace csv
