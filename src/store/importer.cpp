#include "importer.h"

#include "cdnotes.h"
#include "history.h"
#include "loans.h"
#include "namegroups.h"
#include "ratings.h"
#include "wishes.h"

#include "connection.h"
#include "dberror.h"
#include "duplicates.h"
#include "findtext.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <cerrno>
#include <cstdio>
#include <limits>
#include <sys/resource.h>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace importer {

namespace {

constexpr int stopped = LegacyReader::Cancelled;

QString insertSql(const QString& table, const QVector<FieldDef>& fields)
{
    QStringList names, marks;
    for (const FieldDef& f : fields) {
        names << u'"' + f.name + u'"';
        marks << QStringLiteral("?");
    }
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(table, names.join(u", "), marks.join(u", "));
}

[[noreturn]] void fail(const QString& target, const QString& cause)
{
    throw DbError(
        DbError::ProviderError,
        QStringLiteral("コレクション「%1」に取り込めません。\r原因: %2").arg(target, cause));
}

// What the collection an import goes into holds already, as the rows of the
// extra tables are checked against it: nothing for a new one.
struct Present {
    QSet<qint64> ids[2]; // the CDIDs and the 曲IDs stored
    QSet<qint64> rated[2]; // those with stars
    QSet<qint64> noted; // the CDIDs with a note
    QHash<qint64, QString> out; // the CDs lent now, to whom
    names::Joins joins;
    duplicates::Apart apart;
};

Present presentIn(Connection& cn)
{
    Present present;
    for (const QVariant& v :
         cn.column(QStringLiteral("SELECT CDID FROM cdname WHERE CDID IS NOT NULL")))
        present.ids[0] << v.toLongLong();
    for (const QVariant& v :
         cn.column(QStringLiteral("SELECT 曲ID FROM kyoku WHERE 曲ID IS NOT NULL")))
        present.ids[1] << v.toLongLong();
    const ratings::Kept kept = ratings::read(cn);
    for (auto it = kept.cds.constBegin(); it != kept.cds.constEnd(); ++it)
        present.rated[0] << it.key();
    for (auto it = kept.songs.constBegin(); it != kept.songs.constEnd(); ++it)
        present.rated[1] << it.key();
    const QHash<qint64, QString> notes = cdnotes::read(cn);
    for (auto it = notes.constBegin(); it != notes.constEnd(); ++it)
        present.noted << it.key();
    const QHash<qint64, loans::Loan> out = loans::out(cn);
    for (auto it = out.constBegin(); it != out.constEnd(); ++it)
        present.out.insert(it.key(), it->to);
    present.joins = names::readJoins(cn);
    present.apart = duplicates::keptApart(cn);
    return present;
}

QDate dateOf(const QVariant& v)
{
    return v.typeId() == QMetaType::QDate ? v.toDate() : QDate();
}

// Checks the rows of the extra tables line by line, against `present` too
// when there is one.
class LineCheck {
public:
    LineCheck(const Rows& rows, const Present* present) : m_present(present)
    {
        for (const auto& row : rows.cds)
            if (!row.value(0).isNull())
                m_brought[0] << row.value(0).toLongLong();
        for (const auto& row : rows.songs)
            if (!row.value(1).isNull())
                m_brought[1] << row.value(1).toLongLong();
    }

    // Why the row on this line is refused, or an empty text.
    QString why(Extra which, const QVector<QVariant>& row, int line)
    {
        const QVector<FieldDef>& fields = extraTable(which).fields;
        // dates alone: these tables keep no time of day
        for (int f = 0; f < fields.size(); ++f)
            if (row.value(f).typeId() == QMetaType::QDateTime)
                return QStringLiteral("%1「%2」は日付だけで書いてください（YYYY-MM-DD）")
                    .arg(fields.at(f).name, dateTimeText(row.value(f).toDateTime()));
        switch (which) {
        case NameGroups:
            return group(row.value(0).toString(), row.value(1).toString(), line);
        case CdRatings:
        case SongRatings:
            return rating(which == CdRatings ? 0 : 1, fields.at(0).name, row);
        case Loans:
            return loan(row, line);
        case Wishes:
            return row.value(1).toString().trimmed().isEmpty()
                ? QStringLiteral("タイトルがありません")
                : QString();
        case KeptApart:
            return apart(row, line);
        case CdNotes:
            return note(row);
        }
        return QString();
    }

private:
    bool known(int of, qint64 id) const
    {
        return !m_present || m_brought[of].contains(id) || m_present->ids[of].contains(id);
    }

    QString group(const QString& spelling, const QString& name, int line)
    {
        const QString key = normalizedForFind(spelling);
        if (spelling.trimmed().isEmpty() || name.trimmed().isEmpty())
            return QStringLiteral("表記と名前のどちらも要ります");
        if (m_spellingAt.contains(key))
            return QStringLiteral("表記「%1」は %2 行目にもあります")
                .arg(spelling)
                .arg(m_spellingAt.value(key));
        // A join the collector made stays as it was made: a file that would
        // put the spelling in another group (or the same) is refused, not obeyed.
        if (m_present && m_present->joins.contains(key))
            return QStringLiteral("表記「%1」はすでに名前「%2」にまとめてあります")
                .arg(spelling, m_present->joins.value(key));
        m_spellingAt.insert(key, line);
        return QString();
    }

    QString rating(int of, const QString& key, const QVector<QVariant>& row) const
    {
        const qint64 id = row.value(0).toLongLong();
        const QVariant stars = row.value(1);
        if (row.value(0).isNull())
            return QStringLiteral("%1がありません").arg(key);
        if (stars.isNull() || stars.toLongLong() < 1 || stars.toLongLong() > 5)
            return QStringLiteral("評価「%1」は 1 から 5 までの星の数ではありません")
                .arg(stars.toString());
        if (!known(of, id))
            return QStringLiteral("%1 %2 は取り込む行にもコレクションにもありません")
                .arg(key)
                .arg(id);
        if (m_present && m_present->rated[of].contains(id))
            return QStringLiteral("%1 %2 にはすでに評価があります").arg(key).arg(id);
        return QString();
    }

    QString loan(const QVector<QVariant>& row, int line)
    {
        const qint64 cdid = row.value(1).toLongLong();
        loans::Loan loan = loans::lending(cdid, row.value(2).toString(), dateOf(row.value(3)),
                                          dateOf(row.value(4)));
        loan.returned = dateOf(row.value(5));
        if (row.value(1).isNull())
            return QStringLiteral("CDIDがありません");
        if (const QString why = loans::problem(loan); !why.isEmpty())
            return why;
        if (!known(0, cdid))
            return QStringLiteral("CDID %1 は取り込む行にもコレクションにもありません").arg(cdid);
        if (loan.returned.isValid())
            return QString();
        if (m_openAt.contains(cdid))
            return QStringLiteral("CDID %1 のCDは %2 行目でも貸出中です")
                .arg(cdid)
                .arg(m_openAt.value(cdid));
        if (m_present && m_present->out.contains(cdid))
            return QStringLiteral("CDID %1 のCDはいま %2 さんに貸出中です")
                .arg(cdid)
                .arg(m_present->out.value(cdid));
        m_openAt.insert(cdid, line);
        return QString();
    }

    // A blank note is no note: the table keeps none, and a file that brings
    // one says something other than it meant.
    QString note(const QVector<QVariant>& row) const
    {
        if (row.value(0).isNull())
            return QStringLiteral("CDIDがありません");
        const qint64 cdid = row.value(0).toLongLong();
        if (cdnotes::isBlank(row.value(1).toString()))
            return QStringLiteral("CDID %1 のメモが空です").arg(cdid);
        if (!known(0, cdid))
            return QStringLiteral("CDID %1 は取り込む行にもコレクションにもありません").arg(cdid);
        if (m_present && m_present->noted.contains(cdid))
            return QStringLiteral("CDID %1 にはすでにメモがあります").arg(cdid);
        return QString();
    }

    QString apart(const QVector<QVariant>& row, int line)
    {
        if (row.value(0).isNull() || row.value(1).isNull())
            return QStringLiteral("CDID1 と CDID2 のどちらも要ります");
        const qint64 a = row.value(0).toLongLong(), b = row.value(1).toLongLong();
        if (a >= b)
            return QStringLiteral("CDID1 は CDID2 より小さい番号です");
        for (const qint64 cdid : {a, b})
            if (!known(0, cdid))
                return QStringLiteral("CDID %1 は取り込む行にもコレクションにもありません")
                    .arg(cdid);
        if (m_apartAt.contains({a, b}))
            return QStringLiteral("同じ組が %1 行目にもあります").arg(m_apartAt.value({a, b}));
        if (m_present && m_present->apart.contains({a, b}))
            return QStringLiteral("CDID %1 と %2 の組はすでにあります").arg(a).arg(b);
        m_apartAt.insert({a, b}, line);
        return QString();
    }

    const Present* m_present;
    QHash<QPair<qint64, qint64>, int> m_apartAt; // the line of each pair kept apart
    QSet<qint64> m_brought[2]; // the CDIDs and 曲IDs of the rows coming in
    QHash<QString, int> m_spellingAt; // the line of each spelling, as quick find writes it
    QHash<qint64, int> m_openAt; // the line of each CD's loan still out
};

// The refused lines of the extra tables, "loan.csv の 3 行目: why".
QStringList check(const Rows& rows, const Present* present)
{
    LineCheck lines(rows, present);
    QStringList refused;
    for (int t = 0; t < ExtraCount; ++t) {
        const ExtraRows& extra = rows.extra[t];
        for (qsizetype r = 0; r < extra.rows.size(); ++r)
            if (const QString why = lines.why(Extra(t), extra.rows.at(r), extra.lines.value(r));
                !why.isEmpty())
                refused << QStringLiteral("%1 の %2 行目: %3")
                               .arg(extra.file)
                               .arg(extra.lines.value(r))
                               .arg(why);
    }
    return refused;
}

// The columns an extra table's rows are written to (its own number left to
// the table where it gives one anew), and the rows as written there: the
// tables keep the empty text, never NULL, and a wish without a date gets
// today's, as one added by hand does.
QVector<FieldDef> writtenFields(Extra which)
{
    const ExtraTable& table = extraTable(which);
    return table.fields.mid(table.renumbered ? 1 : 0);
}

QVector<QVector<QVariant>> writtenRows(Extra which, const Rows& rows)
{
    const QVector<FieldDef> fields = writtenFields(which);
    const qsizetype from = extraTable(which).renumbered ? 1 : 0;
    QVector<QVector<QVariant>> out;
    for (const QVector<QVariant>& row : rows.extra[which].rows) {
        QVector<QVariant> values = row.mid(from);
        values.resize(fields.size());
        for (int f = 0; f < fields.size(); ++f)
            if (values.at(f).isNull() && fields.at(f).type == FieldType::Text)
                values[f] = QStringLiteral("");
            else if (values.at(f).isNull() && !fields.at(f).nullable)
                values[f] = QDate::currentDate();
        out << values;
    }
    return out;
}

} // namespace

const ExtraTable& extraTable(Extra which)
{
    static const QVector<ExtraTable> tables = [] {
        const auto text = [](const QString& name) {
            return FieldDef{name, FieldType::Text, 255, false};
        };
        const auto number = [](const QString& name) {
            return FieldDef{name, FieldType::Integer, 4, false}; // read as an identifier
        };
        const auto date = [](const QString& name, bool nullable) {
            return FieldDef{name, FieldType::Date, 8, nullable};
        };
        const FieldDef stars{QStringLiteral("評価"), FieldType::Integer, 2, false};
        QVector<FieldDef> wish{number(QStringLiteral("欲しいID"))};
        for (const QString& name : wishes::fieldNames())
            wish << (name == u"価格"         ? wishes::priceField()
                         : name == u"追加日" ? date(name, false)
                                             : text(name));
        return QVector<ExtraTable>{
            {QStringLiteral("namegroup"),
             QStringLiteral("名前のまとめ"),
             {text(QStringLiteral("表記")), text(QStringLiteral("名前"))}},
            {ratings::tableName(ratings::Of::CD),
             QStringLiteral("評価"),
             {number(ratings::keyField(ratings::Of::CD)), stars}},
            {ratings::tableName(ratings::Of::Song),
             QStringLiteral("評価"),
             {number(ratings::keyField(ratings::Of::Song)), stars}},
            {QStringLiteral("loan"),
             QStringLiteral("貸出"),
             {number(QStringLiteral("貸出ID")), number(QStringLiteral("CDID")),
              text(QStringLiteral("相手")), date(QStringLiteral("貸出日"), false),
              date(QStringLiteral("返却予定日"), true), date(QStringLiteral("返却日"), true),
              text(QStringLiteral("メモ"))},
             true},
            {QStringLiteral("wish"), QStringLiteral("欲しいもの"), wish, true},
            {QStringLiteral("cdapart"),
             QStringLiteral("重複ではない組"),
             // the pair is the key, not its first CDID: no identifier of a row of its own
             {FieldDef{QStringLiteral("CDID1"), FieldType::Integer, 8, false},
              FieldDef{QStringLiteral("CDID2"), FieldType::Integer, 8, false}}},
            {cdnotes::tableName(),
             QStringLiteral("メモ"),
             {number(cdnotes::keyField()), text(QStringLiteral("メモ"))}},
        };
    }();
    return tables.at(which);
}

QStringList refusedLines(const Rows& rows)
{
    return check(rows, nullptr);
}

void refuseLines(const QStringList& refused)
{
    QString list = refused.mid(0, 15).join(u'\r');
    if (refused.size() > 15)
        list += QStringLiteral("\r…ほか %1 行").arg(refused.size() - 15);
    throw DbError(
        DbError::TypeMismatch,
        QStringLiteral("取り込めない行があるため、何も取り込みませんでした。\r%1").arg(list));
}

QString extrasText(const Rows& rows)
{
    QStringList kinds;
    QHash<QString, qsizetype> counts;
    for (int t = 0; t < ExtraCount; ++t) {
        const QString& what = extraTable(Extra(t)).what;
        if (rows.extra[t].rows.isEmpty())
            continue;
        if (!counts.contains(what))
            kinds << what;
        counts[what] += rows.extra[t].rows.size();
    }
    QStringList said;
    for (const QString& what : kinds)
        said << QStringLiteral("%1 %2件").arg(what).arg(counts.value(what));
    return said.join(u'・');
}

Rows readLegacyHere(const QString& mdbPath, const Progress& progress)
{
    LegacyReader reader(mdbPath);
    // A damaged definition may declare billions of rows: counted in 64 bits,
    // and the work told as at most what an int holds (the read refuses such
    // a table once its rows have run out).
    const qint64 declared = std::max<qint64>(0, reader.declaredRows(QStringLiteral("cdname")))
        + std::max<qint64>(0, reader.declaredRows(QStringLiteral("kyoku")));
    const int total = int(std::min<qint64>(declared, std::numeric_limits<int>::max()));
    Rows rows;
    rows.cds = reader.read(QStringLiteral("cdname"), Connection::cdnameFields(),
                           [&](int n) { return !progress || progress(n, total); });
    rows.songs = reader.read(QStringLiteral("kyoku"), Connection::kyokuFields(), [&](int n) {
        return !progress || progress(int(rows.cds.size()) + n, total);
    });
    return rows;
}

namespace {

// What the reading program sends, each a tag and its values in a QDataStream.
enum Message : quint8 { Progressed = 'P', TableRows = 'R', Refused = 'E', Finished = 'K' };
constexpr QDataStream::Version streamVersion = QDataStream::Qt_6_4;
// Longest silence of the reading program before it counts as hung.
constexpr int silenceLimitMs = 30000;
// More memory than any old database could need: a damaged length that makes
// libmdb allocate without end ends the reading program instead of the machine.
// A sanitizer's runtime reserves terabytes of address space for its shadow as
// the program starts, which no limit of address space or data lets through:
// the tests of that build give AddressSanitizer a limit of memory in use.
constexpr rlim_t readerMemoryLimit = rlim_t(2) << 30;

[[noreturn]] void readerFailed(const QString& mdbPath, const QString& cause)
{
    throw DbError(
        DbError::ProviderError,
        QStringLiteral("旧データベース「%1」を読み込めません。\r原因: %2").arg(mdbPath, cause));
}

} // namespace

int serveLegacyRead(const QString& mdbPath, QIODevice& out)
{
    // Each message is made whole, then written at once: the reader on the
    // other side waits for whole messages.
    bool written = true;
    auto send = [&](const auto&... values) {
        QByteArray message;
        QDataStream stream(&message, QIODevice::WriteOnly);
        stream.setVersion(streamVersion);
        (stream << ... << values);
        written = written && out.write(message) == message.size();
    };
    QElapsedTimer sinceSent;
    sinceSent.start();
    try {
        const Rows rows = readLegacyHere(mdbPath, [&](int done, int total) {
            if (sinceSent.elapsed() >= 50) {
                send(quint8(Progressed), qint32(done), qint32(total));
                sinceSent.restart();
            }
            return true;
        });
        send(quint8(TableRows), rows.cds);
        send(quint8(TableRows), rows.songs);
        send(quint8(Finished));
    } catch (const DbError& e) {
        send(quint8(Refused), qint32(e.number()), e.description());
    }
    return written ? 0 : 1;
}

QString legacyReaderProgram()
{
    const QString name = QStringLiteral("rondella-mdbread");
    const QDir programs(QCoreApplication::applicationDirPath());
    const QString beside = programs.filePath(name);
    if (QFileInfo(beside).isExecutable())
        return beside;
    // installed: a helper of the program's own, out of the users' PATH
    const QString installed
        = QDir::cleanPath(programs.filePath(QStringLiteral("../libexec/rondella/") + name));
    if (QFileInfo(installed).isExecutable())
        return installed;
#ifdef RONDELLA_MDBREAD
    // a program of the build tree (the tests, the benchmark) finds it where it was built
    if (QFileInfo(QStringLiteral(RONDELLA_MDBREAD)).isExecutable())
        return QStringLiteral(RONDELLA_MDBREAD);
#endif
    return beside;
}

Rows readLegacy(const QString& mdbPath, const Progress& progress)
{
    QProcess reader;
    reader.setProgram(legacyReaderProgram());
    reader.setArguments({mdbPath});
    reader.setStandardErrorFile(QProcess::nullDevice()); // libmdb's own warnings
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    reader.setChildProcessModifier([] {
        const rlimit limit{readerMemoryLimit, readerMemoryLimit};
        setrlimit(RLIMIT_AS, &limit);
    });
#endif
    reader.start(QIODevice::ReadOnly);
    if (!reader.waitForStarted(10000))
        readerFailed(mdbPath,
                     QStringLiteral("読み取り用のプログラム「%1」を起動できません（%2）")
                         .arg(reader.program(), reader.errorString()));
    auto stop = [&reader] {
        reader.kill();
        reader.waitForFinished(5000);
    };
    QDataStream stream(&reader);
    stream.setVersion(streamVersion);
    Rows rows;
    int tables = 0;
    int lastDone = 0, lastTotal = 0;
    bool finished = false;
    QElapsedTimer silence;
    silence.start();
    while (!finished) {
        stream.startTransaction();
        quint8 tag = 0;
        stream >> tag;
        if (tag == Progressed) {
            qint32 done = 0, total = 0;
            stream >> done >> total;
            if (stream.commitTransaction()) {
                lastDone = done;
                lastTotal = total;
            }
            if (stream.status() == QDataStream::Ok && progress && !progress(done, total)) {
                stop();
                throw DbError(stopped, QStringLiteral("取り込みを中止しました。"));
            }
        } else if (tag == TableRows) {
            QVector<QVector<QVariant>> table;
            stream >> table;
            if (stream.commitTransaction())
                (tables++ == 0 ? rows.cds : rows.songs) = std::move(table);
        } else if (tag == Refused) {
            qint32 number = 0;
            QString description;
            stream >> number >> description;
            if (stream.commitTransaction()) {
                stop();
                throw DbError(number, description);
            }
        } else if (tag == Finished) {
            finished = stream.commitTransaction();
        } else if (stream.status() == QDataStream::ReadPastEnd) {
            stream.rollbackTransaction();
        } else {
            stream.abortTransaction();
            stop();
            readerFailed(mdbPath, QStringLiteral("読み取り用のプログラムの応答が正しくありません"));
        }
        if (finished)
            break;
        if (stream.status() == QDataStream::Ok) {
            silence.restart(); // a whole message arrived: look for the next at once
            continue;
        }
        // Gone with no whole message left to read: what remains will never be completed.
        if (reader.state() == QProcess::NotRunning) {
            readerFailed(
                mdbPath,
                reader.exitStatus() == QProcess::CrashExit
                    ? QStringLiteral(
                        "読み取りの途中で異常終了しました（ファイルが壊れている可能性があります）")
                    : QStringLiteral("読み取りが途中で終わりました"));
        }
        if (silence.elapsed() > silenceLimitMs) {
            stop();
            readerFailed(
                mdbPath,
                QStringLiteral(
                    "読み取りが %1 秒以上進みません（ファイルが壊れている可能性があります）")
                    .arg(silenceLimitMs / 1000));
        }
        // between messages too, so that キャンセル answers while the reading is slow
        if (progress && !progress(lastDone, lastTotal)) {
            stop();
            throw DbError(stopped, QStringLiteral("取り込みを中止しました。"));
        }
        reader.waitForReadyRead(100);
    }
    reader.waitForFinished(5000);
    if (tables != 2)
        readerFailed(mdbPath, QStringLiteral("読み取り用のプログラムの応答が正しくありません"));
    // The reading program checked every row; what it sent must fit the two tables.
    for (const auto& [list, fields] : {std::pair{&rows.cds, &Connection::cdnameFields()},
                                       std::pair{&rows.songs, &Connection::kyokuFields()}})
        for (const QVector<QVariant>& row : *list)
            if (row.size() != fields->size())
                readerFailed(mdbPath,
                             QStringLiteral("読み取り用のプログラムの応答が正しくありません"));
    return rows;
}

void writeCollection(const QString& target, const Rows& rows, bool replace,
                     const Progress& progress)
{
    const QFileInfo info(target);
    if (!replace && info.exists())
        fail(target, QStringLiteral("同じ名前のファイルがすでにあります"));
    const Present nothing; // the new collection holds only what comes in
    if (const QStringList refused = check(rows, &nothing); !refused.isEmpty())
        refuseLines(refused);
    const QString temp = QStringLiteral("%1/.%2.import-%3")
                             .arg(info.absolutePath(), info.fileName())
                             .arg(QCoreApplication::applicationPid());
    QFile::remove(temp);
    const QString name = QStringLiteral("rondella-import");
    auto cleanUp = [&] {
        QSqlDatabase::removeDatabase(name);
        QFile::remove(temp);
        QFile::remove(temp + QStringLiteral("-journal"));
    };
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(temp);
        if (!db.open()) {
            error
                = sqliteCause(db.lastError()) + QStringLiteral("（%1）").arg(db.lastError().text());
        } else {
            QSqlQuery q(db);
            bool ok = q.exec(QStringLiteral("PRAGMA synchronous = FULL")) && db.transaction();
            for (const QString& sql : Connection::schemaStatements())
                ok = ok && q.exec(sql);
            std::vector<std::tuple<QString, QVector<FieldDef>, QVector<QVector<QVariant>>>> tables
                = {{QStringLiteral("cdname"), Connection::cdnameFields(), rows.cds},
                   {QStringLiteral("kyoku"), Connection::kyokuFields(), rows.songs}};
            for (int t = 0; t < ExtraCount; ++t)
                tables.emplace_back(extraTable(Extra(t)).name, writtenFields(Extra(t)),
                                    writtenRows(Extra(t), rows));
            int total = 0;
            for (const auto& table : tables)
                total += int(std::get<2>(table).size());
            int done = 0;
            for (const auto& [table, fields, list] : tables) {
                if (!ok)
                    break;
                ok = q.prepare(insertSql(table, fields));
                for (const QVector<QVariant>& row : list) {
                    for (int i = 0; i < fields.size() && ok; ++i)
                        q.addBindValue(toStored(row.value(i), fields.at(i).type));
                    ok = ok && q.exec();
                    if (!ok)
                        break;
                    if (progress && !progress(++done, total)) {
                        q = QSqlQuery();
                        db.rollback();
                        db.close();
                        db = QSqlDatabase();
                        cleanUp();
                        throw DbError(stopped, QStringLiteral("取り込みを中止しました。"));
                    }
                }
            }
            // COMMIT as a statement of its own: the driver's commit() drops
            // SQLite's error code, which tells a full disk from other failures
            if (ok)
                ok = q.exec(QStringLiteral("COMMIT"));
            // the new file is taken only once every row is in and the file is whole
            QStringList counts;
            if (ok
                && q.exec(QStringLiteral("SELECT (SELECT count(*) FROM cdname), "
                                         "(SELECT count(*) FROM kyoku)"))
                && q.next()) {
                ok = q.value(0).toInt() == rows.cds.size()
                    && q.value(1).toInt() == rows.songs.size();
                if (!ok)
                    error = QStringLiteral("書き込んだ行の数が合いません");
            }
            if (ok
                && !(q.exec(QStringLiteral("PRAGMA quick_check")) && q.next()
                     && q.value(0).toString() == u"ok")) {
                ok = false;
                error = QStringLiteral("書き込んだファイルの検査に通りません");
            }
            if (!ok && error.isEmpty()) {
                const QSqlError why = q.lastError().isValid() ? q.lastError() : db.lastError();
                error = sqliteCause(why)
                    + QStringLiteral("（%1）").arg(
                        why.databaseText().isEmpty() ? why.text() : why.databaseText());
            }
            q = QSqlQuery();
            if (!ok)
                db.rollback();
            db.close();
        }
    }
    if (!error.isEmpty()) {
        cleanUp();
        fail(target, error);
    }
    QSqlDatabase::removeDatabase(name);
    const QByteArray from = QFile::encodeName(temp);
    const QByteArray to = QFile::encodeName(target);
    // Without replace, link() takes the name only while it is free.
    const int done = replace ? std::rename(from.constData(), to.constData())
                             : ::link(from.constData(), to.constData());
    const int err = errno;
    if (done != 0) {
        QFile::remove(temp);
        fail(target,
             err == EEXIST ? QStringLiteral("同じ名前のファイルがすでにあります")
                           : QString::fromLocal8Bit(strerror(err)));
    }
    if (!replace)
        QFile::remove(temp);
}

void addToCollection(Connection& cn, const Rows& rows, const QString& kind)
{
    // checked before the transaction: a refused import makes not even the run's first backup
    const Present present = presentIn(cn);
    const QSet<qint64>&cdIds = present.ids[0], &songIds = present.ids[1];
    QStringList taken;
    for (const auto& row : rows.cds)
        if (!row.value(0).isNull() && cdIds.contains(row.value(0).toLongLong()))
            taken << QStringLiteral("CDID %1（%2）")
                         .arg(row.value(0).toString(), row.value(1).toString());
    for (const auto& row : rows.songs)
        if (!row.value(1).isNull() && songIds.contains(row.value(1).toLongLong()))
            taken << QStringLiteral("曲ID %1（%2）")
                         .arg(row.value(1).toString(), row.value(2).toString());
    if (!taken.isEmpty()) {
        QString list = taken.mid(0, 10).join(u'\r');
        if (taken.size() > 10)
            list += QStringLiteral("\r…ほか %1 件").arg(taken.size() - 10);
        throw DbError(DbError::ProviderError,
                      QStringLiteral("次の番号はすでに使われているため、取り込みませんでした（何も"
                                     "追加していません）。\r%1")
                          .arg(list));
    }
    if (const QStringList refused = check(rows, &present); !refused.isEmpty())
        refuseLines(refused);
    cn.transaction([&] {
        cn.insertRows(QStringLiteral("cdname"), Connection::cdnameFields(), rows.cds);
        cn.insertRows(QStringLiteral("kyoku"), Connection::kyokuFields(), rows.songs);
        for (int t = 0; t < ExtraCount; ++t)
            if (!rows.extra[t].rows.isEmpty())
                cn.insertRows(extraTable(Extra(t)).name, writtenFields(Extra(t)),
                              writtenRows(Extra(t), rows));
        history::fileImport(
            cn, kind, history::importNote(rows.cds.size(), rows.songs.size(), extrasText(rows)));
    });
}

} // namespace importer
