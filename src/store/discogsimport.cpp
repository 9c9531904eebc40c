#include "discogsimport.h"

#include "cdnotes.h"
#include "csvtransfer.h"
#include "history.h"

#include "connection.h"
#include "dberror.h"
#include "identifiers.h"
#include "legacyreader.h"
#include "tables.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace discogs {

namespace {

// The columns by their place in columns().
enum Column {
    CatalogNo,
    Artist,
    Title,
    Label,
    Format,
    Rating,
    Released,
    ReleaseId,
    Folder,
    DateAdded,
    MediaCondition,
    SleeveCondition,
    Notes,
    ColumnCount
};

// Further columns of the collector's own fields begin so.
const QString collectionPrefix = QStringLiteral("Collection ");

[[noreturn]] void refuseFile(const QString& why)
{
    throw DbError(DbError::BadArguments, why);
}

// Date Added as Discogs writes it: YYYY-MM-DD, a time of day after it.
QVariant dateAdded(const QString& text, QString* why)
{
    if (text.trimmed().isEmpty())
        return QVariant();
    static const QRegularExpression form(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})(?:[ T](\\d{2}):(\\d{2}):(\\d{2}))?$"));
    const QRegularExpressionMatch m = form.match(text.trimmed());
    const QDate date = m.hasMatch()
        ? QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt())
        : QDate();
    const QTime time = m.captured(4).isEmpty()
        ? QTime(0, 0)
        : QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    if (!date.isValid() || !time.isValid()) {
        *why = QStringLiteral("Date Added「%1」は日付（YYYY-MM-DD）ではありません").arg(text);
        return QVariant();
    }
    // the time of day is kept as the column keeps one, never made up
    if (m.captured(4).isEmpty())
        return date;
    return QDateTime(date, time);
}

// The row on a record, or `why` it cannot be read.
Release releaseOf(const csv::Record& record, const QVector<int>& columnOf,
                  const QVector<std::pair<QString, int>>& more, QString* why)
{
    const auto cell = [&](Column c) { return record.cells.at(columnOf.at(c)); };
    Release r;
    r.line = record.line;
    r.catalog = cell(CatalogNo);
    r.artist = cell(Artist);
    r.title = cell(Title);
    r.label = cell(Label);
    r.format = cell(Format);
    r.releaseId = cell(ReleaseId).trimmed();
    r.folder = cell(Folder);
    r.mediaCondition = cell(MediaCondition);
    r.sleeveCondition = cell(SleeveCondition);
    r.notes = cell(Notes);
    for (const auto& [name, column] : more)
        r.more.append({name, record.cells.at(column)});
    if (r.title.trimmed().isEmpty()) {
        *why = QStringLiteral("Title（CD名）がありません");
        return r;
    }
    static const QRegularExpression stars(QStringLiteral("^[0-5]$"));
    const QString rating = cell(Rating).trimmed();
    if (!rating.isEmpty() && !stars.match(rating).hasMatch()) {
        *why = QStringLiteral("Rating「%1」は 0 から 5 までの星の数ではありません").arg(rating);
        return r;
    }
    r.rating = rating.toInt();
    static const QRegularExpression year(QStringLiteral("^\\d{1,4}$"));
    const QString released = cell(Released).trimmed();
    if (!released.isEmpty() && !year.match(released).hasMatch()) {
        *why = QStringLiteral("Released「%1」は年（0 は不明）ではありません").arg(released);
        return r;
    }
    r.year = released.toInt();
    static const QRegularExpression number(QStringLiteral("^\\d{1,12}$"));
    if (!r.releaseId.isEmpty() && !number.match(r.releaseId).hasMatch()) {
        *why = QStringLiteral("release_id「%1」は番号ではありません").arg(r.releaseId);
        return r;
    }
    r.added = dateAdded(cell(DateAdded), why);
    return r;
}

QString folded(const QString& title)
{
    return foldKey(title);
}

} // namespace

const QStringList& columns()
{
    static const QStringList names = {
        QStringLiteral("Catalog#"),
        QStringLiteral("Artist"),
        QStringLiteral("Title"),
        QStringLiteral("Label"),
        QStringLiteral("Format"),
        QStringLiteral("Rating"),
        QStringLiteral("Released"),
        QStringLiteral("release_id"),
        QStringLiteral("CollectionFolder"),
        QStringLiteral("Date Added"),
        QStringLiteral("Collection Media Condition"),
        QStringLiteral("Collection Sleeve Condition"),
        QStringLiteral("Collection Notes"),
    };
    return names;
}

QVector<Release> read(const QByteArray& data)
{
    const QList<csv::Record> records = csv::records(data);
    if (records.isEmpty())
        refuseFile(QStringLiteral("1 行目: 見出しの行がありません"));
    // bytes that are not UTF-8 anywhere: the file is not the export it claims to be
    QStringList refused;
    for (const csv::Record& record : records)
        if (record.invalidUtf8)
            refused
                << QStringLiteral("%1 行目: UTF-8 として読めない文字があります").arg(record.line);
    if (!refused.isEmpty())
        importer::refuseLines(refused);
    const csv::Record& head = records.first();
    QVector<int> columnOf(ColumnCount, -1);
    QVector<std::pair<QString, int>> more;
    QStringList unknown;
    for (int c = 0; c < head.cells.size(); ++c) {
        const QString name = head.cells.at(c).trimmed();
        const int known = int(columns().indexOf(name));
        const bool twice = known >= 0 ? columnOf.at(known) >= 0
                                      : std::any_of(more.cbegin(), more.cend(),
                                                    [&](const auto& m) { return m.first == name; });
        if (twice)
            refuseFile(
                QStringLiteral("%1 行目: 見出しに列「%2」が2回あります").arg(head.line).arg(name));
        if (known >= 0)
            columnOf[known] = c;
        else if (name.startsWith(collectionPrefix))
            more.append({name, c});
        else
            unknown << name;
    }
    QStringList missing;
    for (int k = 0; k < ColumnCount; ++k)
        if (columnOf.at(k) < 0)
            missing << columns().at(k);
    if (!missing.isEmpty() || !unknown.isEmpty())
        refuseFile(
            QStringLiteral("%1 行目: Discogs のコレクションの書き出しの見出しではありません（%2）")
                .arg(head.line)
                .arg(missing.isEmpty()
                         ? QStringLiteral("知らない列: %1").arg(unknown.join(QStringLiteral("、")))
                         : QStringLiteral("ない列: %1").arg(missing.join(QStringLiteral("、")))));
    QVector<Release> releases;
    for (qsizetype i = 1; i < records.size(); ++i) {
        const csv::Record& record = records.at(i);
        if (record.cells.size() != head.cells.size()) {
            refused << QStringLiteral("%1 行目: 列の数が見出しと違います（%2 列）")
                           .arg(record.line)
                           .arg(record.cells.size());
            continue;
        }
        QString why;
        const Release release = releaseOf(record, columnOf, more, &why);
        if (!why.isEmpty())
            refused << QStringLiteral("%1 行目: %2").arg(record.line).arg(why);
        else
            releases.append(release);
    }
    if (!refused.isEmpty())
        importer::refuseLines(refused);
    return releases;
}

QVector<Release> readFile(const QString& path)
{
    const QByteArray data = csv::contents(path);
    try {
        return read(data);
    } catch (const DbError& e) {
        throw DbError(e.number(),
                      QStringLiteral("ファイル「%1」を取り込めません: %2")
                          .arg(QFileInfo(path).fileName(), e.description()));
    }
}

bool hasCD(const QString& format)
{
    // Format lists the media and their descriptions ("2xCD, Album + DVD");
    // a medium is a CD when its name ends in CD (SACD, HDCD, SHM-CD,
    // Blu-spec CD...) or is a CD-R, never a DVD or a Video CD.
    static const QRegularExpression parts(QStringLiteral("\\s*(?:,|\\+)\\s*"));
    static const QRegularExpression count(QStringLiteral("^\\d+\\s*x\\s*"));
    static const QRegularExpression cd(QStringLiteral("(?:^|[\\s-])(?:SA|HD)?CD(?:R)?$"));
    for (QString part : format.split(parts, Qt::SkipEmptyParts)) {
        part.remove(count);
        if (cd.match(part.trimmed().toUpper()).hasMatch())
            return true;
    }
    return false;
}

QString withoutNumber(const QString& name)
{
    static const QRegularExpression number(QStringLiteral(" \\(\\d+\\)(?=, |$)"));
    return QString(name).remove(number);
}

QString noteOf(const Release& r, const Options& options)
{
    QStringList lines;
    const auto line = [&lines](const QString& name, const QString& value) {
        if (!value.trimmed().isEmpty())
            lines << name + u'：' + value.trimmed();
    };
    // with a song, the artist and the catalogue number are its columns
    if (!options.artistSongs) {
        line(QStringLiteral("アーティスト"), withoutNumber(r.artist));
        line(QStringLiteral("原盤番号"), r.catalog);
    }
    if (r.year > 0)
        line(QStringLiteral("発売年"), QString::number(r.year));
    if (r.format.trimmed() != u"CD")
        line(QStringLiteral("形態"), r.format);
    line(QStringLiteral("Discogs のフォルダー"), r.folder);
    line(QStringLiteral("Discogs のリリース番号"), r.releaseId);
    line(QStringLiteral("盤の状態"), r.mediaCondition);
    line(QStringLiteral("ジャケットの状態"), r.sleeveCondition);
    line(QStringLiteral("メモ"), r.notes);
    for (const auto& [name, value] : r.more)
        line(name, value);
    return lines.join(u'\n');
}

Outcome add(Connection& cn, const QVector<Release>& releases, const Options& options,
            const importer::Progress& progress)
{
    Outcome outcome;
    cn.transaction([&] {
        outcome = Outcome();
        // the rows that come in, each under the CD名 it takes
        QVector<std::pair<const Release*, QString>> coming;
        for (const Release& r : releases) {
            if (!options.allMedia && !hasCD(r.format)) {
                outcome.skipped << QStringLiteral("%1 行目「%2」: CDではありません（%3）")
                                       .arg(r.line)
                                       .arg(r.title, r.format);
                ++outcome.notCD;
                continue;
            }
            coming.append({&r, r.title});
        }
        // Songs belong to CDs by CD名: two CDs of one name would each show
        // the songs of both. A later row of a title takes one of its own.
        QSet<QString> titles, taken;
        for (const auto& [r, title] : coming)
            titles.insert(folded(title));
        for (auto& [r, title] : coming) {
            if (taken.contains(folded(title))) {
                QString own;
                for (int n = 2;
                     own.isEmpty() || titles.contains(folded(own)) || taken.contains(folded(own));
                     ++n)
                    own = QStringLiteral("%1 (%2)").arg(title).arg(n);
                outcome.renamed << QStringLiteral(
                                       "%1 行目「%2」: 同じタイトルの行がほかにもあるため「%3」と"
                                       "して取り込みます")
                                       .arg(r->line)
                                       .arg(title, own);
                title = own;
            }
            taken.insert(folded(title));
        }
        // a title stored already is passed by: the CD is there, or another of its name
        QSet<QString> stored;
        for (const QVariant& v : cn.column(QStringLiteral("SELECT CD名 FROM cdname")))
            if (!v.isNull())
                stored.insert(folded(v.toString()));
        IdentifierCounter cdid(identifiers::largestCDID(cn));
        IdentifierCounter songId(identifiers::largestKyokuID(cn));
        const TableDef& cds = cdnameTable();
        const TableDef& songs = kyokuTable();
        importer::Rows rows;
        importer::ExtraRows& stars = rows.extra[importer::CdRatings];
        importer::ExtraRows& notes = rows.extra[importer::CdNotes];
        for (qsizetype i = 0; i < coming.size(); ++i) {
            if (progress && !progress(int(i), int(coming.size())))
                throw DbError(LegacyReader::Cancelled, QString());
            const auto& [r, title] = coming.at(i);
            if (stored.contains(folded(title))) {
                outcome.skipped << QStringLiteral("%1 行目「%2」: 同じCD名のCDがすでにあります")
                                       .arg(r->line)
                                       .arg(title);
                ++outcome.stored;
                continue;
            }
            const qint64 id = cdid.take();
            QVector<QVariant> cd(cds.columns().size());
            cd[cds.indexOf(QStringLiteral("CDID"))] = id;
            cd[cds.indexOf(QStringLiteral("CD名"))] = title;
            if (!r->label.trimmed().isEmpty())
                cd[cds.indexOf(QStringLiteral("発売元"))] = withoutNumber(r->label);
            cd[cds.indexOf(QStringLiteral("購入年月日"))] = r->added;
            rows.cds.append(cd);
            if (options.artistSongs) {
                QVector<QVariant> song(songs.columns().size());
                song[songs.indexOf(QStringLiteral("CD名"))] = title;
                song[songs.indexOf(QStringLiteral("曲ID"))] = songId.take();
                song[songs.indexOf(QStringLiteral("曲名"))] = title;
                if (!r->artist.trimmed().isEmpty())
                    song[songs.indexOf(QStringLiteral("演奏団体"))] = withoutNumber(r->artist);
                if (!r->catalog.trimmed().isEmpty())
                    song[songs.indexOf(QStringLiteral("原盤番号"))] = r->catalog;
                rows.songs.append(song);
            }
            if (r->rating > 0) {
                stars.rows.append(QVector<QVariant>{id, r->rating});
                stars.lines.append(r->line);
            }
            if (const QString note = noteOf(*r, options); !note.isEmpty()) {
                notes.rows.append(QVector<QVariant>{id, note});
                notes.lines.append(r->line);
            }
            outcome.added << QStringLiteral("CDID %1「%2」").arg(id).arg(title);
        }
        if (rows.cds.isEmpty())
            return;
        cn.insertRows(cds.name(), cds.fields(), rows.cds);
        cn.insertRows(songs.name(), songs.fields(), rows.songs);
        for (const importer::Extra extra : {importer::CdRatings, importer::CdNotes}) {
            if (extra == importer::CdNotes && !notes.rows.isEmpty())
                cdnotes::requireTable(cn);
            const importer::ExtraTable& table = importer::extraTable(extra);
            if (!rows.extra[extra].rows.isEmpty())
                cn.insertRows(table.name, table.fields, rows.extra[extra].rows);
        }
        outcome.cds = int(rows.cds.size());
        outcome.songs = int(rows.songs.size());
        outcome.extras = importer::extrasText(rows);
        history::fileImport(
            cn, QStringLiteral("Discogs から取り込み"),
            history::importNote(rows.cds.size(), rows.songs.size(), outcome.extras));
        if (progress && !progress(int(coming.size()), int(coming.size())))
            throw DbError(LegacyReader::Cancelled, QString());
    });
    return outcome;
}

QString summary(const Outcome& outcome)
{
    QString text = QStringLiteral("CD %1枚・曲 %2曲%3を追加しました。")
                       .arg(outcome.cds)
                       .arg(outcome.songs)
                       .arg(outcome.extras.isEmpty() ? QString() : u"（" + outcome.extras + u"）");
    QStringList passed;
    if (outcome.notCD > 0)
        passed << QStringLiteral("CDではない %1 行").arg(outcome.notCD);
    if (outcome.stored > 0)
        passed << QStringLiteral("同じCD名のCDがすでにある %1 行").arg(outcome.stored);
    if (!passed.isEmpty())
        text += QStringLiteral("飛ばした行: %1。").arg(passed.join(QStringLiteral("、")));
    return text;
}

} // namespace discogs
