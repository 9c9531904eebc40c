#pragma once

#include "importer.h"
#include "view.h"

#include <QString>
#include <QStringList>

// Collections as CSV for spreadsheets and other programs: UTF-8 with a
// byte-order mark, RFC 4180 quoting, the column names as the header, dates as
// YYYY-MM-DD, NULL as an empty field.
class Connection;

namespace csv {

// One CSV text of rows given as values in the order of `fields`.
QByteArray write(const QVector<FieldDef>& fields, const QVector<QVector<QVariant>>& rows);
// The visible rows of a view, in its order.
QByteArray writeView(const View& view);
// The files exportCollection writes, each named after its table: cdname.csv
// and kyoku.csv, the extra tables an import brings along (namegroup.csv,
// cdrating.csv, ...), and history.csv.
const QStringList& exportFileNames();
// The whole collection into `folder` as those files: the CDs in CDID order,
// the songs in 曲ID order, the name groups (表記, 名前) by name, the stars,
// loans and wishes by their numbers, and the history's changes oldest first,
// one a row (日時, 種類, 内容, 状態 in words). A table the file lacks gives
// its header alone. Every file is written whole, or none is. Returns their
// paths in that order. Throws DbError.
QStringList exportCollection(Connection& cn, const QString& folder);
// Writes `data` to `path` whole or not at all. Throws DbError.
void save(const QString& path, const QByteArray& data);

// A refused line: its number (the header is line 1) and why.
struct Refusal {
    int line;
    QString reason;
};

// A record of a CSV text as read, with the line it starts on.
struct Record {
    QStringList cells;
    QList<bool> quotedEmpty; // an empty cell written "": the empty text, not NULL
    int line = 0;
    bool invalidUtf8 = false;
};
// The records of a CSV text, read strictly by libcsv: RFC 4180 quoting, the
// blanks around a value kept, a line of blanks alone between records holding
// none, lines counted by CR, LF or CR LF; a byte-order mark before the first
// is taken off. Throws DbError "3 行目: why" for a text that cannot be read
// as CSV, and for UTF-16, named as such.
QList<Record> records(const QByteArray& data);
// A file read whole, or DbError naming it.
QByteArray contents(const QString& path);

// Reads a CSV text into rows of `fields` (matched by the header's column
// names; a column missing from the header is NULL, an unknown one refuses
// the file). Every line is checked: `refusals` lists those a field cannot
// take. Throws DbError when the text cannot be read as CSV at all.
QVector<QVector<QVariant>> read(const QByteArray& data, const QVector<FieldDef>& fields,
                                QList<Refusal>& refusals);

// Reads the two files (CDs and songs) whole, and beside them, from the CDs'
// folder, the files of the extra tables that are there (not history.csv: an
// import is a change of its own); or throws DbError naming every refused
// line (up to a screenful) with its file, number and reason, what
// importer::refusedLines() refuses among them.
importer::Rows readFiles(const QString& cdFile, const QString& songFile);

} // namespace csv
