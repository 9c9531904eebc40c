#include "htmlcatalogue.h"

#include "cdnotes.h"
#include "connection.h"
#include "fieldtext.h"
#include "findindex.h"
#include "tables.h"
#include "view.h"
#include "works.h"

#include <QLocale>

#include <cstdio>

namespace htmlcatalogue {

namespace {

// A text as a JSON string, also safe inside a script: U+2028 and U+2029
// end a line there.
void quote(QByteArray& out, QStringView text)
{
    out += '"';
    qsizetype plain = 0; // where the run of characters written as they are began
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        // a surrogate without its other half cannot be written as UTF-8
        const bool lone = QChar::isHighSurrogate(u)
            ? !(i + 1 < text.size() && text[i + 1].isLowSurrogate())
            : QChar::isLowSurrogate(u) && !(i > 0 && text[i - 1].isHighSurrogate());
        const bool escaped
            = u == u'"' || u == u'\\' || u < 0x20 || u == 0x2028 || u == 0x2029 || lone;
        if (!escaped)
            continue;
        out += text.mid(plain, i - plain).toUtf8();
        plain = i + 1;
        if (u == u'"' || u == u'\\') {
            out += '\\';
            out += char(u);
        } else if (u == u'\n') {
            out += "\\n";
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", unsigned(u));
            out += code;
        }
    }
    out += text.mid(plain).toUtf8();
    out += '"';
}

// The texts the page shows, each written once and named by its place: the
// composer of fifteen songs, a hall, a conductor are one entry each.
class Strings {
public:
    Strings() { idOf(QString()); }
    int idOf(const QString& text)
    {
        const auto it = m_ids.constFind(text);
        if (it != m_ids.constEnd())
            return *it;
        const int id = int(m_texts.size());
        m_ids.insert(text, id);
        m_texts << text;
        return id;
    }
    void write(QByteArray& out) const
    {
        out += '[';
        for (qsizetype i = 0; i < m_texts.size(); ++i) {
            if (i > 0)
                out += ',';
            quote(out, m_texts.at(i));
        }
        out += ']';
    }

private:
    QHash<QString, int> m_ids;
    QStringList m_texts;
};

// A field's value as the record panel shows it: prices in yen with
// separators, dates as yyyy/MM/dd, texts as typed.
QString shown(const Row& row, int column, const ColumnDef& def)
{
    if (row.isNull(column))
        return QString();
    if (def.money) {
        const QVariant v = row.value(column);
        return QLocale(QLocale::Japanese, QLocale::Japan).toString(qint64(v.toDouble()))
            + QStringLiteral("円");
    }
    if (def.field.type == FieldType::Date)
        return plainText(row.value(column));
    return row.text(column, def.field.type);
}

QString dateText(const QDate& d)
{
    return d.isValid() ? d.toString(QStringLiteral("yyyy/MM/dd")) : QString();
}

void numbers(QByteArray& out, const QVector<int>& list)
{
    out += '[';
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (i > 0)
            out += ',';
        out += QByteArray::number(list.at(i));
    }
    out += ']';
}

void captions(QByteArray& out, const TableDef& table, int skip)
{
    out += '[';
    bool first = true;
    for (int c = 0; c < table.columns().size(); ++c) {
        if (c == skip)
            continue;
        if (!first)
            out += ',';
        first = false;
        quote(out, table.columns().at(c).field.name);
    }
    out += ']';
}

} // namespace

QString thumbnailName(qint64 cdid)
{
    return QStringLiteral("jackets/%1.jpg").arg(cdid);
}

Contents read(Connection& cn)
{
    Contents c;
    c.cds = cn.read(cdnameTable().selectAll(), cdnameTable().fields());
    c.songs = cn.read(kyokuTable().selectAll(), kyokuTable().fields());
    c.notes = cdnotes::read(cn);
    c.loans = loans::out(cn);
    c.ratings = ratings::read(cn);
    c.joins = names::readJoins(cn);
    return c;
}

QVector<qint64> cdids(const Contents& contents)
{
    const int id = cdnameTable().indexOf(QStringLiteral("CDID"));
    QVector<qint64> out;
    QSet<qint64> seen;
    for (const RowPtr& cd : contents.cds)
        if (cd && !cd->isNull(id)) {
            const qint64 n = cd->value(id).toLongLong();
            if (!seen.contains(n)) {
                seen.insert(n);
                out << n;
            }
        }
    return out;
}

QByteArray dataScript(const Contents& contents, const QSet<qint64>& withJacket,
                      const QDateTime& written)
{
    const TableDef& cdTable = cdnameTable();
    const TableDef& songTable = kyokuTable();
    const int cdidColumn = cdTable.indexOf(QStringLiteral("CDID"));
    const int cdTitle = cdTable.indexOf(QStringLiteral("CD名"));
    const int songTitle = songTable.indexOf(QStringLiteral("CD名"));
    const View::ChapterIndex songsOf
        = View::chapterIndexOf(contents.songs, songTitle, FieldType::Text);

    std::vector<RowPtr> listed;
    for (const RowPtr& cd : contents.cds)
        if (cd)
            listed.push_back(cd);
    const Snapshot cds(listed);
    // What quick find looks through, made as quick find makes it.
    const FindIndex index(cds, contents.songs, contents.notes);
    QHash<QString, QVector<int>> cdsTitled; // for the works' recordings
    for (int i = 0; i < int(listed.size()); ++i)
        if (!listed[size_t(i)]->isNull(cdTitle))
            cdsTitled[foldKey(listed[size_t(i)]->text(cdTitle, FieldType::Text))] << i;

    Strings strings;
    QByteArray cdsText = "[";
    for (int i = 0; i < int(listed.size()); ++i) {
        const Row& cd = *listed[size_t(i)];
        if (i > 0)
            cdsText += ",\n";
        cdsText += "{\"f\":";
        QVector<int> fields;
        for (int c = 0; c < cdTable.columns().size(); ++c)
            fields << strings.idOf(shown(cd, c, cdTable.columns().at(c)));
        numbers(cdsText, fields);
        const bool numbered = !cd.isNull(cdidColumn);
        const qint64 cdid = numbered ? cd.value(cdidColumn).toLongLong() : 0;
        if (numbered)
            cdsText += ",\"id\":" + QByteArray::number(cdid);
        if (numbered && withJacket.contains(cdid)) {
            cdsText += ",\"j\":";
            quote(cdsText, thumbnailName(cdid));
        }
        if (numbered && contents.notes.contains(cdid))
            cdsText += ",\"n\":" + QByteArray::number(strings.idOf(contents.notes.value(cdid)));
        if (numbered && contents.ratings.cds.value(cdid) > 0)
            cdsText += ",\"r\":" + QByteArray::number(contents.ratings.cds.value(cdid));
        if (numbered && contents.loans.contains(cdid)) {
            const loans::Loan& loan = contents.loans[cdid];
            numbers(cdsText += ",\"l\":",
                    {strings.idOf(loan.to), strings.idOf(dateText(loan.lent)),
                     strings.idOf(dateText(loan.due))});
        }
        cdsText += ",\"s\":[";
        if (!cd.isNull(cdTitle)) {
            const auto it = songsOf.constFind(foldKey(cd.text(cdTitle, FieldType::Text)));
            QVector<int> above; // the song before's, as written
            if (it != songsOf.constEnd())
                for (size_t k = 0; k < it->size(); ++k) {
                    const Row& song = *contents.songs[size_t((*it)[k])];
                    QVector<int> values, cells;
                    for (int c = 0; c < songTable.columns().size(); ++c)
                        if (c != songTitle)
                            values << strings.idOf(shown(song, c, songTable.columns().at(c)));
                    // the conductor, the hall, the date of a CD's songs are
                    // mostly the song above's: -1 says so, in a third of the
                    // room (the page puts the value back as it reads them)
                    for (qsizetype c = 0; c < values.size(); ++c)
                        cells << (k > 0 && values[c] != 0 && values[c] == above[c] ? -1
                                                                                   : values[c]);
                    above = values;
                    if (k > 0)
                        cdsText += ',';
                    numbers(cdsText, cells);
                }
        }
        cdsText += "],\"k\":";
        QVector<int> texts;
        for (const quint32 t : index.textsOf(i))
            texts << int(t);
        numbers(cdsText, texts);
        cdsText += '}';
    }
    cdsText += ']';

    // The works, as the works window lists them: composer, work, recording.
    const works::Catalogue catalogue = works::gather(contents.songs, &contents.joins);
    QByteArray worksText = "[";
    for (qsizetype c = 0; c < catalogue.composers.size(); ++c) {
        const works::Composer& composer = catalogue.composers.at(c);
        if (c > 0)
            worksText += ",\n";
        worksText += "{\"c\":";
        quote(worksText, composer.name);
        worksText += ",\"w\":[";
        for (qsizetype w = 0; w < composer.works.size(); ++w) {
            const works::Work& work = composer.works.at(w);
            if (w > 0)
                worksText += ',';
            worksText += "{\"t\":";
            quote(worksText, work.title);
            if (!work.number.isNull()) {
                worksText += ",\"n\":";
                quote(worksText, work.number.text());
            }
            worksText += ",\"r\":[";
            const QVector<works::Shown> shownRecordings = catalogue.show(work);
            for (qsizetype r = 0; r < shownRecordings.size(); ++r) {
                const works::Shown& rec = shownRecordings.at(r);
                QStringList performers;
                for (const QString& p : {rec.conductor, rec.ensemble, rec.soloist})
                    if (!p.isEmpty())
                        performers << p;
                if (r > 0)
                    worksText += ',';
                worksText += "{\"cd\":";
                numbers(worksText, cdsTitled.value(foldKey(rec.cd)));
                numbers(worksText += ",\"p\":",
                        {strings.idOf(performers.join(QStringLiteral("、"))),
                         strings.idOf(rec.recorded),
                         strings.idOf(works::durationText(rec.totalSeconds()))});
                worksText += ",\"m\":" + QByteArray::number(rec.movements.size()) + '}';
            }
            worksText += "]}";
        }
        worksText += "]}";
    }
    worksText += ']';

    QByteArray out = "{\"version\":1,\"written\":";
    quote(out, written.toString(QStringLiteral("yyyy/MM/dd HH:mm")));
    out += ",\"cdFields\":";
    captions(out, cdTable, -1);
    out += ",\"songFields\":";
    captions(out, songTable, songTitle);
    // the texts looked through, one a line
    out += ",\n\"find\":";
    quote(out, QString::fromUtf8(QByteArray(index.text()).replace('\0', '\n')));
    out += ",\n\"groups\":{";
    bool first = true;
    for (auto it = contents.joins.constBegin(); it != contents.joins.constEnd(); ++it) {
        if (!first)
            out += ',';
        first = false;
        quote(out, it.key());
        out += ':';
        quote(out, it.value());
    }
    out += "},\n\"strings\":";
    strings.write(out);
    out += ",\n\"cds\":" + cdsText + ",\n\"works\":" + worksText + '}';
    // Handed to the page as JSON in a string: a browser reads a literal of
    // tens of megabytes as script many times slower than JSON.parse reads the
    // same (18 s against 2 s for 10,000 CDs in Chromium), and the page opens
    // that much sooner on a phone.
    QByteArray script = "// Rondella の HTML 目録のデータ（プログラムが書き出したもの）\n"
                        "window.rondellaCatalogue = JSON.parse('";
    script.reserve(out.size() + out.size() / 8 + 64);
    for (const char c : std::as_const(out)) {
        switch (c) {
        case '\\':
            script += "\\\\";
            break;
        case '\'':
            script += "\\'";
            break;
        case '\n':
            script += "\\n";
            break;
        case '\r':
            script += "\\r";
            break;
        default:
            script += c;
        }
    }
    script += "');\n";
    return script;
}

} // namespace htmlcatalogue
