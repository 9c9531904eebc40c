#include "tellico.h"

#include "catalogue.h"
#include "connection.h"
#include "dberror.h"
#include "fieldtext.h"
#include "identifiers.h"
#include "tables.h"
#include "view.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <zip.h>

#include <memory>

namespace tellico {

namespace {

// Tellico numbers its collection types; only its music collections hold CDs.
constexpr int MusicType = 4;
// What a file may hold at most: a collection's XML, and one picture.
constexpr qint64 MaxXml = 128LL << 20;
constexpr qint64 MaxPicture = 64LL << 20;

[[noreturn]] void refuse(const QString& path, const QString& why)
{
    throw DbError(DbError::TypeMismatch,
                  QStringLiteral("「%1」は Tellico のファイルとして読めません：%2\r"
                                 "何も取り込んでいません。")
                      .arg(QFileInfo(path).fileName(), why));
}

QString typeName(int type)
{
    static const QHash<int, QString> names{
        {1, QStringLiteral("カスタム")},  {2, QStringLiteral("本")},
        {3, QStringLiteral("ビデオ")},    {5, QStringLiteral("文献")},
        {6, QStringLiteral("コミック")},  {7, QStringLiteral("ワイン")},
        {8, QStringLiteral("コイン")},    {9, QStringLiteral("切手")},
        {10, QStringLiteral("カード")},   {11, QStringLiteral("ゲーム")},
        {12, QStringLiteral("ファイル")}, {13, QStringLiteral("ボードゲーム")},
    };
    return names.value(type, QStringLiteral("種類 %1").arg(type));
}

// A name inside the ZIP that stays inside the folder it is unpacked into:
// no root, no drive, no step up.
bool insideFolder(const QString& name)
{
    if (name.isEmpty() || name.startsWith(u'/') || name.startsWith(u'\\')
        || (name.size() > 1 && name.at(1) == u':'))
        return false;
    const QStringList steps = name.split(QRegularExpression(QStringLiteral("[/\\\\]")));
    return !steps.contains(QStringLiteral(".."));
}

// The ZIP of a .tc file, read through libzip.
class Zip {
public:
    explicit Zip(const QString& path) : m_path(path)
    {
        int error = 0;
        m_zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
        if (!m_zip) {
            zip_error_t e;
            zip_error_init_with_code(&e, error);
            const QString why = QString::fromLocal8Bit(zip_error_strerror(&e));
            zip_error_fini(&e);
            refuse(path, QStringLiteral("ZIP として開けません（%1）").arg(why));
        }
        const zip_int64_t count = zip_get_num_entries(m_zip, 0);
        for (zip_int64_t i = 0; i < count; ++i) {
            const char* raw = zip_get_name(m_zip, zip_uint64_t(i), ZIP_FL_ENC_GUESS);
            const QString name = raw ? QString::fromUtf8(raw) : QString();
            if (!insideFolder(name))
                refuse(path,
                       QStringLiteral("ZIP の中の「%1」は、取り出すフォルダーの外を指しています")
                           .arg(name));
            m_names.insert(name, i);
        }
    }
    ~Zip() { zip_discard(m_zip); }
    Zip(const Zip&) = delete;
    Zip& operator=(const Zip&) = delete;

    bool has(const QString& name) const { return m_names.contains(name); }

    QByteArray read(const QString& name, qint64 limit) const
    {
        const zip_uint64_t index = zip_uint64_t(m_names.value(name));
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(m_zip, index, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
            refuse(m_path, QStringLiteral("「%1」の大きさが読めません").arg(name));
        if (qint64(st.size) > limit)
            refuse(m_path,
                   QStringLiteral("「%1」が大きすぎます（%2 バイト）").arg(name).arg(st.size));
        std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> file(zip_fopen_index(m_zip, index, 0),
                                                               zip_fclose);
        if (!file)
            refuse(m_path,
                   QStringLiteral("「%1」を取り出せません（%2）")
                       .arg(name, QString::fromLocal8Bit(zip_strerror(m_zip))));
        QByteArray bytes(qsizetype(st.size), Qt::Uninitialized);
        qint64 got = 0;
        while (got < bytes.size()) {
            const zip_int64_t n
                = zip_fread(file.get(), bytes.data() + got, zip_uint64_t(bytes.size() - got));
            if (n <= 0)
                break;
            got += n;
        }
        // a size the directory understates, or a stream that breaks off
        char more;
        if (got != bytes.size() || zip_fread(file.get(), &more, 1) != 0)
            refuse(m_path, QStringLiteral("「%1」が壊れています").arg(name));
        return bytes;
    }

private:
    QString m_path;
    zip_t* m_zip = nullptr;
    QHash<QString, zip_int64_t> m_names;
};

// One element of an entry as read: its text, or the elements inside it.
struct Node {
    QString name;
    QString text;
    QVector<Node> children;
};

// The fields an entry carries: each a list of values, a table's rows with
// their columns split.
struct Entry {
    QString id;
    QHash<QString, QStringList> values;
    QHash<QString, QVector<QStringList>> tables;
    QStringList order; // the fields in the order first met
};

void addValue(Entry& entry, const QString& field, const QString& value)
{
    if (!entry.values.contains(field) && !entry.tables.contains(field))
        entry.order << field;
    entry.values[field] << value;
}

void addRow(Entry& entry, const QString& field, const QStringList& columns)
{
    if (!entry.values.contains(field) && !entry.tables.contains(field))
        entry.order << field;
    entry.tables[field] << columns;
}

bool isTableField(const QString& field)
{
    static const QRegularExpression track(QStringLiteral("^track\\d*$"));
    return track.match(field).hasMatch();
}

// A track written in the older way, its columns joined by "::".
QStringList columnsOf(const QString& text)
{
    return text.split(QStringLiteral("::"));
}

void takeField(Entry& entry, const Node& node)
{
    if (node.children.isEmpty()) {
        if (isTableField(node.name))
            addRow(entry, node.name, columnsOf(node.text));
        else
            addValue(entry, node.name, node.text);
        return;
    }
    // A date field: <pur_date><year>2003</year><month>4</month><day>5</day>,
    // as yyyy-MM-dd (an unknown part empty, as Tellico writes it in text).
    if (std::all_of(node.children.begin(), node.children.end(), [](const Node& part) {
            return part.name == u"year" || part.name == u"month" || part.name == u"day";
        })) {
        QString parts[3];
        for (const Node& part : node.children)
            parts[part.name == u"year" ? 0 : part.name == u"month" ? 1 : 2] = part.text.trimmed();
        addValue(entry, node.name, QStringList(std::begin(parts), std::end(parts)).join(u'-'));
        return;
    }
    // <artists><artist>…</artist>…</artists>, <tracks><track><column>…
    for (const Node& value : node.children) {
        if (!value.children.isEmpty()) {
            QStringList columns;
            for (const Node& column : value.children)
                columns << column.text;
            addRow(entry, value.name, columns);
        } else if (isTableField(value.name)) {
            addRow(entry, value.name, columnsOf(value.text));
        } else {
            addValue(entry, value.name, value.text);
        }
    }
}

class XmlReader {
public:
    XmlReader(const QString& path, const QByteArray& xml) : m_path(path), m_xml(xml) { }

    struct Image {
        QByteArray bytes; // decoded from base64; empty when the XML only names it
    };

    int type = 0;
    QVector<Entry> entries;
    QHash<QString, QString> fieldTitles; // the collection's own fields, by name
    QHash<QString, Image> images;
    QHash<QString, QVector<loans::Loan>> loansOf; // by entry id

    void read()
    {
        bool collection = false;
        while (!m_xml.atEnd()) {
            const QXmlStreamReader::TokenType t = m_xml.readNext();
            checkToken(t);
            if (t != QXmlStreamReader::StartElement)
                continue;
            const QStringView name = m_xml.name();
            if (depth == 0 && name != u"tellico" && name != u"bookcase")
                fail(QStringLiteral("Tellico の XML ではありません（最初の要素が「%1」です）")
                         .arg(name.toString()));
            if (depth == 0) {
                ++depth;
                continue;
            }
            if (name == u"collection" && !collection) {
                collection = true;
                type = m_xml.attributes().value(QLatin1String("type")).toInt();
                if (type != MusicType)
                    throw DbError(
                        DbError::TypeMismatch,
                        QStringLiteral("「%1」は Tellico の%2のコレクションです。取り込めるのは"
                                       "音楽のコレクションだけです。何も取り込んでいません。")
                            .arg(QFileInfo(m_path).fileName(), typeName(type)));
                readCollection();
            } else {
                skip();
            }
        }
        if (m_xml.hasError())
            fail(QStringLiteral("XML として正しくありません（%1 行目：%2）")
                     .arg(m_xml.lineNumber())
                     .arg(m_xml.errorString()));
        if (!collection)
            fail(QStringLiteral("コレクションがありません"));
    }

private:
    [[noreturn]] void fail(const QString& why) { refuse(m_path, why); }

    // Tellico names its DTD, and never declares entities: a declaration, or
    // an entity that is not XML's own, would be read from outside the file.
    void checkToken(QXmlStreamReader::TokenType t)
    {
        if (t == QXmlStreamReader::DTD) {
            const QString system = m_xml.dtdSystemId().toString();
            const bool known = system.isEmpty()
                || system.startsWith(QStringLiteral("http://periapsis.org/tellico/dtd/"))
                || system.startsWith(QStringLiteral("http://periapsis.org/bookcase/dtd/"))
                || system.startsWith(QStringLiteral("http://www.periapsis.org/tellico/dtd/"));
            if (!known)
                fail(QStringLiteral("文書型定義がファイルの外「%1」を指しています").arg(system));
            if (!m_xml.entityDeclarations().isEmpty() || !m_xml.notationDeclarations().isEmpty())
                fail(QStringLiteral("文書型定義に実体の宣言があります"));
            // any other internal subset: Tellico writes none, and its defaults
            // would give elements attributes the file does not hold
            if (m_xml.text().contains(u'['))
                fail(QStringLiteral("文書型定義にファイルの中の宣言があります"));
        } else if (t == QXmlStreamReader::EntityReference) {
            fail(QStringLiteral("ファイルの外を指す実体「%1」があります")
                     .arg(m_xml.name().toString()));
        }
    }

    QXmlStreamReader::TokenType next()
    {
        const QXmlStreamReader::TokenType t = m_xml.readNext();
        checkToken(t);
        return t;
    }

    void skip()
    {
        for (int level = 1; level > 0 && !m_xml.atEnd();) {
            const QXmlStreamReader::TokenType t = next();
            if (t == QXmlStreamReader::StartElement)
                ++level;
            else if (t == QXmlStreamReader::EndElement)
                --level;
        }
    }

    // The element begun, whole: its text or its elements, three levels deep
    // at most (a table's column), deeper ones refused.
    Node node(int level)
    {
        Node n{m_xml.name().toString(), QString(), {}};
        while (!m_xml.atEnd()) {
            const QXmlStreamReader::TokenType t = next();
            if (t == QXmlStreamReader::Characters)
                n.text += m_xml.text();
            else if (t == QXmlStreamReader::EndElement)
                break;
            else if (t == QXmlStreamReader::StartElement) {
                if (level >= 3)
                    fail(QStringLiteral("項目の「%1」の入れ子が深すぎます").arg(n.name));
                n.children << node(level + 1);
            }
        }
        if (!n.children.isEmpty())
            n.text.clear(); // the spaces between the elements
        return n;
    }

    // Calls `take` at each element inside the one begun, up to its end; each
    // call reads its element whole.
    template <typename Take> void eachChild(Take take)
    {
        while (!m_xml.atEnd()) {
            const QXmlStreamReader::TokenType t = next();
            if (t == QXmlStreamReader::EndElement)
                return;
            if (t == QXmlStreamReader::StartElement)
                take();
        }
    }

    void readCollection()
    {
        eachChild([this] {
            const QStringView name = m_xml.name();
            if (name == u"fields")
                readFields();
            else if (name == u"entry")
                readEntry();
            else if (name == u"images")
                readImages();
            else if (name == u"borrowers")
                readBorrowers();
            else
                skip();
        });
    }

    void readFields()
    {
        eachChild([this] {
            const QString name = m_xml.attributes().value(QLatin1String("name")).toString();
            const QString title = m_xml.attributes().value(QLatin1String("title")).toString();
            if (!name.isEmpty() && !title.isEmpty())
                fieldTitles.insert(name, title);
            skip();
        });
    }

    void readEntry()
    {
        Entry entry;
        entry.id = m_xml.attributes().value(QLatin1String("id")).toString();
        eachChild([&] { takeField(entry, node(1)); });
        entries << entry;
    }

    void readImages()
    {
        eachChild([this] {
            const QString id = m_xml.attributes().value(QLatin1String("id")).toString();
            const QString text = m_xml.readElementText(QXmlStreamReader::SkipChildElements);
            const QByteArray data = text.trimmed().toLatin1();
            const auto decoded
                = QByteArray::fromBase64Encoding(data, QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded)
                fail(QStringLiteral("画像「%1」の base64 が正しくありません").arg(id));
            images.insert(id, Image{*decoded});
        });
    }

    void readBorrowers()
    {
        QString to;
        int level = 0;
        while (!m_xml.atEnd()) {
            const QXmlStreamReader::TokenType t = next();
            if (t == QXmlStreamReader::EndElement) {
                if (level-- == 0)
                    return;
                continue;
            }
            if (t != QXmlStreamReader::StartElement)
                continue;
            ++level;
            const auto a = m_xml.attributes();
            if (m_xml.name() == u"borrower") {
                to = a.value(QLatin1String("name")).toString();
            } else if (m_xml.name() == u"loan") {
                loans::Loan loan;
                loan.to = to;
                loan.lent
                    = QDate::fromString(a.value(QLatin1String("loanDate")).toString(), Qt::ISODate);
                loan.due
                    = QDate::fromString(a.value(QLatin1String("dueDate")).toString(), Qt::ISODate);
                loan.note = m_xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
                --level; // readElementText ended the loan
                loansOf[a.value(QLatin1String("entryRef")).toString()] << loan;
            }
        }
    }

    QString m_path;
    QXmlStreamReader m_xml;
    int depth = 0;
};

// The fields an entry becomes a CD by; the others go to its note.
bool placed(const QString& field)
{
    static const QSet<QString> fields{
        QStringLiteral("title"),    QStringLiteral("artist"),    QStringLiteral("label"),
        QStringLiteral("year"),     QStringLiteral("genre"),     QStringLiteral("medium"),
        QStringLiteral("rating"),   QStringLiteral("pur_price"), QStringLiteral("pur_date"),
        QStringLiteral("comments"), QStringLiteral("cover"),     QStringLiteral("composer"),
    };
    return fields.contains(field) || isTableField(field);
}

// Fields that say how Tellico keeps the entry, not what it is: listed, never
// written into the note. (A loan comes from the borrowers.)
bool bookkeeping(const QString& field)
{
    return field == u"cdate" || field == u"mdate" || field == u"loaned" || field == u"id";
}

bool isCd(const QString& medium)
{
    static const QSet<QString> cds{
        QString(),
        QStringLiteral("compactdisc"),
        QStringLiteral("cd"),
        QStringLiteral("コンパクトディスク"),
        QStringLiteral("sacd"),
    };
    QString key = medium.normalized(QString::NormalizationForm_KC).toLower();
    key.remove(QRegularExpression(QStringLiteral("[\\s・]")));
    return cds.contains(key);
}

QString joinedOnce(const QStringList& values)
{
    QStringList kept;
    QSet<QString> seen;
    for (const QString& v : values) {
        const QString t = v.trimmed();
        if (!t.isEmpty() && !seen.contains(foldKey(t))) {
            seen.insert(foldKey(t));
            kept << t;
        }
    }
    return kept.join(u'、');
}

// The comments as text: Tellico keeps them as HTML paragraphs.
QString commentText(QString text)
{
    text.replace(
        QRegularExpression(QStringLiteral("<br\\s*/?>"), QRegularExpression::CaseInsensitiveOption),
        QStringLiteral("\n"));
    text.remove(
        QRegularExpression(QStringLiteral("</?p>"), QRegularExpression::CaseInsensitiveOption));
    return text.trimmed();
}

} // namespace

std::optional<qint64> priceOf(const QString& text)
{
    QString digits;
    for (QChar c : text.normalized(QString::NormalizationForm_KC))
        if (c.isDigit() || c == u'.' || c == u',' || c == u'-')
            digits += c;
    static const QRegularExpression form(QStringLiteral("^\\d+([.,]\\d+)*$"));
    if (!form.match(digits).hasMatch())
        return std::nullopt;
    // The decimal mark is the last separator when the other kind comes
    // before it, or when it is alone and not followed by three digits.
    const qsizetype last = std::max(digits.lastIndexOf(u'.'), digits.lastIndexOf(u','));
    bool decimal = false;
    if (last >= 0) {
        const QChar mark = digits.at(last);
        const QChar other = mark == u'.' ? u',' : u'.';
        const bool alone = digits.count(mark) == 1;
        decimal = digits.left(last).contains(other)
            || (alone && !digits.contains(other) && digits.size() - last - 1 != 3);
    }
    QString whole = decimal ? digits.left(last) : digits;
    whole.remove(u'.').remove(u',');
    const QString fraction = decimal ? digits.mid(last + 1) : QString();
    bool ok = false;
    qint64 yen = whole.toLongLong(&ok);
    if (!ok || yen > std::numeric_limits<qint32>::max())
        return std::nullopt;
    if (!fraction.isEmpty() && fraction.at(0) >= u'5')
        ++yen;
    return yen;
}

namespace {

struct Mapping {
    const QString& path;
    const Options& options;
    const QHash<QString, QString>& titles;
    Found& found;
    QHash<QString, int> unplaced; // by field, how many entries
    QStringList unplacedOrder;

    QString fieldTitle(const QString& field) const
    {
        const QString t = titles.value(field);
        return t.isEmpty() || t == field ? field : QStringLiteral("%1（%2）").arg(t, field);
    }

    void take(const Entry& e, const XmlReader& xml,
              const std::function<QByteArray(const QString&)>& picture)
    {
        const QString title = e.values.value(QStringLiteral("title")).value(0).trimmed();
        const QString named = QStringLiteral("「%1」（項目 %2）").arg(title, e.id);
        if (title.isEmpty()) {
            found.refused << QStringLiteral("項目 %1：タイトルがありません").arg(e.id);
            return;
        }
        const QString medium = joinedOnce(e.values.value(QStringLiteral("medium")));
        if (!isCd(medium) && !options.allMedia) {
            found.skipped << QStringLiteral("%1：CDではありません（%2）").arg(named, medium);
            return;
        }
        QStringList note;
        if (!isCd(medium))
            note << QStringLiteral("媒体：%1").arg(medium);
        std::optional<qint64> price;
        const QString priceText = e.values.value(QStringLiteral("pur_price")).value(0).trimmed();
        if (!priceText.isEmpty()) {
            price = priceOf(priceText);
            if (!price) {
                found.refused
                    << QStringLiteral("%1：購入価格「%2」は数ではありません").arg(named, priceText);
                return;
            }
            static const QRegularExpression yen(QStringLiteral("^[\\d,\\s¥￥円]+$"));
            if (!yen.match(priceText).hasMatch())
                note << QStringLiteral("購入価格（元の書き方）：%1").arg(priceText);
        }
        const QString dateText = e.values.value(QStringLiteral("pur_date")).value(0).trimmed();
        const QDate bought = parseTypedDate(dateText);
        if (!dateText.isEmpty() && !bought.isValid())
            note << QStringLiteral("購入年月日：%1").arg(dateText);
        const QString yearText = e.values.value(QStringLiteral("year")).value(0).trimmed();
        static const QRegularExpression yearForm(QStringLiteral("^\\d{4}$"));
        const bool year = yearForm.match(yearText).hasMatch();
        if (!yearText.isEmpty() && !year)
            note << QStringLiteral("年：%1").arg(yearText);
        const QString rating = e.values.value(QStringLiteral("rating")).value(0).trimmed();
        const int stars = rating.toInt();
        if (!rating.isEmpty() && (stars < 1 || stars > 5))
            note << QStringLiteral("評価：%1").arg(rating);
        const QString comments
            = commentText(e.values.value(QStringLiteral("comments")).join(u'\n'));
        for (const QString& field : e.order) {
            if (placed(field))
                continue;
            const QString text = joinedOnce(e.values.value(field));
            QStringList rows;
            for (const QStringList& r : e.tables.value(field))
                rows << r.join(QStringLiteral(" / "));
            const QString value = text.isEmpty() ? rows.join(u'\n') : text;
            if (value.isEmpty())
                continue;
            if (!unplaced.contains(field))
                unplacedOrder << field;
            ++unplaced[field];
            if (!bookkeeping(field))
                note << QStringLiteral("%1：%2").arg(titles.value(field, field), value);
        }
        if (!comments.isEmpty())
            note << comments;

        QByteArray cover;
        QString coverName = e.values.value(QStringLiteral("cover")).value(0).trimmed();
        if (!coverName.isEmpty()) {
            if (!insideFolder(coverName))
                refuse(path,
                       QStringLiteral("画像の名前「%1」がフォルダーの外を指しています")
                           .arg(coverName));
            cover = picture(coverName);
        }

        // the album's artists, the songs' performers where a track names none
        const QString artist = joinedOnce(e.values.value(QStringLiteral("artist")));
        const QString composer = joinedOnce(e.values.value(QStringLiteral("composer")));
        const QString genre = joinedOnce(e.values.value(QStringLiteral("genre")));
        QVector<int> discs{1};
        for (auto t = e.tables.cbegin(); t != e.tables.cend(); ++t) {
            const int disc = t.key().mid(5).toInt();
            if (disc > 1 && !t.value().isEmpty())
                discs << disc;
        }
        std::sort(discs.begin(), discs.end());
        const TableDef& cdTable = cdnameTable();
        const TableDef& songTable = kyokuTable();
        QVector<loans::Loan> lent;
        for (const loans::Loan& loan : xml.loansOf.value(e.id)) {
            const QString why = loans::problem(loan);
            if (!why.isEmpty() || !lent.isEmpty()) {
                note << QStringLiteral("貸出：%1（%2）%3")
                            .arg(loan.to, loan.lent.toString(QStringLiteral("yyyy/MM/dd")),
                                 loan.note);
                found.warnings << QStringLiteral(
                                      "%1の貸出「%2」は貸出として取り込めないため、メモに"
                                      "書きました")
                                      .arg(named, loan.to);
            } else {
                lent << loan;
            }
        }
        for (int disc : discs) {
            Cd cd;
            cd.entry = named;
            cd.title
                = discs.size() > 1 ? QStringLiteral("%1 (Disc %2)").arg(title).arg(disc) : title;
            cd.row = QVector<QVariant>(cdTable.columns().size());
            cd.row[cdTable.indexOf(QStringLiteral("CD名"))] = cd.title;
            if (const QString label = joinedOnce(e.values.value(QStringLiteral("label")));
                !label.isEmpty())
                cd.row[cdTable.indexOf(QStringLiteral("発売元"))] = label;
            // a set's price once, on its first disc: the statistics add prices up
            if (price && disc == discs.first())
                cd.row[cdTable.indexOf(QStringLiteral("購入価格"))] = *price;
            if (bought.isValid())
                cd.row[cdTable.indexOf(QStringLiteral("購入年月日"))] = bought;
            const QString field
                = disc == 1 ? QStringLiteral("track") : QStringLiteral("track%1").arg(disc);
            for (const QStringList& columns : e.tables.value(field)) {
                if (columns.join(QString()).trimmed().isEmpty())
                    continue;
                QVector<QVariant> song(songTable.columns().size());
                const auto set = [&](const char16_t* column, const QString& value) {
                    if (!value.trimmed().isEmpty())
                        song[songTable.indexOf(QString::fromUtf16(column))] = value.trimmed();
                };
                set(u"CD名", cd.title);
                set(u"曲名", columns.value(0));
                const QString performer
                    = columns.value(1).trimmed().isEmpty() ? artist : columns.value(1).trimmed();
                if (composer.isEmpty() || foldKey(performer) != foldKey(composer))
                    set(u"演奏団体", performer);
                set(u"作曲者名", composer);
                set(u"録音時間", columns.value(2));
                if (year)
                    set(u"録音年月日", yearText);
                set(u"分野", genre);
                cd.songs << song;
            }
            cd.stars = stars >= 1 && stars <= 5 ? stars : 0;
            cd.loans = lent;
            QStringList own = note;
            if (price && disc != discs.first())
                own.prepend(QStringLiteral("購入価格は「%1」に記録しています")
                                .arg(QStringLiteral("%1 (Disc %2)").arg(title).arg(discs.first())));
            cd.note = own.join(u'\n');
            cd.cover = cover;
            cd.coverName = coverName;
            found.cds << cd;
        }
    }
};

} // namespace

int Found::songCount() const
{
    int n = 0;
    for (const Cd& cd : cds)
        n += int(cd.songs.size());
    return n;
}

int Found::coverCount() const
{
    return int(
        std::count_if(cds.begin(), cds.end(), [](const Cd& cd) { return !cd.cover.isEmpty(); }));
}

bool looksLikePicture(const QByteArray& b)
{
    return b.startsWith("\xFF\xD8\xFF") || b.startsWith("\x89PNG\r\n\x1A\n")
        || b.startsWith("GIF87a") || b.startsWith("GIF89a") || (b.startsWith("BM") && b.size() > 14)
        || (b.startsWith("RIFF") && b.mid(8, 4) == "WEBP");
}

Found read(const QString& path, const Options& options)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        refuse(path, file.errorString());
    const QByteArray head = file.peek(4);
    std::unique_ptr<Zip> zip;
    QByteArray xml;
    if (head.startsWith("PK")) {
        file.close();
        zip = std::make_unique<Zip>(path);
        const QString inside = zip->has(QStringLiteral("tellico.xml"))
            ? QStringLiteral("tellico.xml")
            : zip->has(QStringLiteral("bookcase.xml")) ? QStringLiteral("bookcase.xml")
                                                       : QString();
        if (inside.isEmpty())
            refuse(path, QStringLiteral("ZIP の中に tellico.xml がありません"));
        xml = zip->read(inside, MaxXml);
    } else {
        if (file.size() > MaxXml)
            refuse(path, QStringLiteral("大きすぎます"));
        xml = file.readAll();
        const QByteArray start = xml.left(64).trimmed();
        if (!start.startsWith("<") && !start.startsWith("\xEF\xBB\xBF<"))
            refuse(path, QStringLiteral("ZIP でも XML でもありません"));
    }
    XmlReader reader(path, xml);
    reader.read();

    Found found;
    found.entries = int(reader.entries.size());
    const auto picture = [&](const QString& name) {
        QByteArray bytes;
        const QString inImages = QStringLiteral("images/") + name;
        if (zip && zip->has(inImages))
            bytes = zip->read(inImages, MaxPicture);
        else
            bytes = reader.images.value(name).bytes;
        if (bytes.isEmpty())
            return bytes; // named, not held: the CD comes without its jacket
        if (!looksLikePicture(bytes))
            refuse(path, QStringLiteral("画像「%1」は画像ではありません").arg(name));
        return bytes;
    };
    Mapping mapping{path, options, reader.fieldTitles, found, {}, {}};
    for (const Entry& e : reader.entries)
        mapping.take(e, reader, picture);
    for (const QString& field : mapping.unplacedOrder)
        found.unplaced << QStringLiteral("%1：%2件")
                              .arg(mapping.fieldTitle(field))
                              .arg(mapping.unplaced.value(field));
    for (Cd& cd : found.cds)
        if (cd.coverName.isEmpty() == false && cd.cover.isEmpty())
            found.warnings << QStringLiteral("%1のジャケット写真「%2」がファイルにありません")
                                  .arg(cd.entry, cd.coverName);
    return found;
}

void takeOwnTitles(Found& found, const QSet<QString>& storedTitles)
{
    QSet<QString> taken = storedTitles;
    for (Cd& cd : found.cds) {
        const QString title = cd.title;
        for (int n = 2; taken.contains(foldKey(cd.title)); ++n)
            cd.title = QStringLiteral("%1 (%2)").arg(title).arg(n);
        if (cd.title != title) {
            found.warnings << QStringLiteral(
                                  "%1は、同じCD名「%2」のCDがあるため「%3」として取り込みます")
                                  .arg(cd.entry, title, cd.title);
            cd.row[cdnameTable().indexOf(QStringLiteral("CD名"))] = cd.title;
            for (auto& song : cd.songs)
                song[kyokuTable().indexOf(QStringLiteral("CD名"))] = cd.title;
        }
        taken.insert(foldKey(cd.title));
    }
}

QSet<QString> storedTitles(Connection& cn)
{
    QSet<QString> keys;
    for (const QVariant& v : cn.column(QStringLiteral("SELECT CD名 FROM cdname")))
        if (!v.isNull())
            keys.insert(foldKey(v.toString()));
    return keys;
}

importer::Rows rowsOf(const QVector<Cd>& cds, qint64 lastCdid, qint64 lastSongId)
{
    importer::Rows rows;
    IdentifierCounter cdid(lastCdid), songId(lastSongId);
    qint64 loanId = 0;
    const int cdidColumn = cdnameTable().indexOf(QStringLiteral("CDID"));
    const int songIdColumn = kyokuTable().indexOf(QStringLiteral("曲ID"));
    for (const Cd& cd : cds) {
        const qint64 id = cdid.take();
        QVector<QVariant> row = cd.row;
        row[cdidColumn] = id;
        rows.cds << row;
        for (QVector<QVariant> song : cd.songs) {
            song[songIdColumn] = songId.take();
            rows.songs << song;
        }
        if (cd.stars > 0)
            rows.extra[importer::CdRatings].rows << QVector<QVariant>{id, cd.stars};
        for (const loans::Loan& loan : cd.loans)
            rows.extra[importer::Loans].rows
                << QVector<QVariant>{++loanId,
                                     id,
                                     loan.to,
                                     loan.lent,
                                     loan.due.isValid() ? QVariant(loan.due) : QVariant(),
                                     QVariant(),
                                     loan.note.isEmpty() ? QVariant() : QVariant(loan.note)};
        if (!cd.note.trimmed().isEmpty())
            rows.extra[importer::CdNotes].rows << QVector<QVariant>{id, cd.note};
    }
    for (auto& extra : rows.extra)
        for (int i = 0; i < extra.rows.size(); ++i)
            extra.lines << i + 1;
    return rows;
}

QVector<qint64> add(Connection& cn, const QVector<Cd>& cds)
{
    if (cds.isEmpty())
        return {}; // nothing to add: not even a change in the history
    const qint64 lastCdid = identifiers::largestCDID(cn);
    const importer::Rows rows = rowsOf(cds, lastCdid, identifiers::largestKyokuID(cn));
    importer::addToCollection(cn, rows, QStringLiteral("Tellico から取り込み"));
    QVector<qint64> given;
    for (qsizetype i = 0; i < cds.size(); ++i)
        given << lastCdid + 1 + i;
    return given;
}

} // namespace tellico
