// The history of changes: every kind of change taken back and done again,
// against the file's rows; refusals that leave everything as it was; the
// history kept in the file.
#include "store/catalogue.h"
#include "store/collection.h"
#include "store/connection.h"
#include "store/duplicates.h"
#include "store/fieldtext.h"
#include "store/findtext.h"
#include "store/history.h"
#include "store/importer.h"
#include "store/statistics.h"
#include "store/tables.h"
#include "testsupport.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// Every row of the collection's tables as stored, types included.
QString fileRows()
{
    QStringList all;
    for (const QString& table :
         {u"cdname"_s, u"kyoku"_s, u"namegroup"_s, u"cdrating"_s, u"kyokurating"_s, u"loan"_s,
          u"wish"_s, u"cdapart"_s, u"cdnote"_s}) {
        QStringList quoted;
        for (const QString& c : sqlRows(db().databasePath(),
                                        {u"SELECT name FROM pragma_table_info('%1')"_s.arg(table)}))
            quoted << u"quote(\"%1\")"_s.arg(c);
        all << sqlRows(
            db().databasePath(),
            {u"SELECT rowid, %1 FROM %2 ORDER BY rowid"_s.arg(quoted.join(u", "), table)});
    }
    // and the CDs' pictures, by their bytes
    const QDir jackets(QFileInfo(db().databasePath()).absolutePath() + u"/jacket"_s);
    for (const QString& name : jackets.entryList({u"*.jpg"_s}, QDir::Files, QDir::Name))
        all << name + u' ' + QString::fromUtf8(bytesOf(jackets.filePath(name)));
    return all.join(u'\n');
}

int column(const TableDef& table, const char16_t* name)
{
    return table.indexOf(QString::fromUtf16(name));
}

void addCD(const QString& title, const std::optional<QString>& note = std::nullopt)
{
    db().BeginCDEntry();
    db().cds()->addNew();
    db().cds()->setValue(u"CDID"_s, db().NewCDID());
    db().SaveCD({{column(cdnameTable(), u"CD名"), title}}, false, note);
}

void addSong(const QString& cdTitle, const QString& title)
{
    db().BeginKyokuEntry();
    db().songs()->addNew();
    db().songs()->setValue(u"曲ID"_s, db().NewKyokuID());
    db().SaveKyoku(cdTitle, {{column(kyokuTable(), u"曲名"), title}});
}

// Moves the CD view to the CD of this title.
void toCD(const QString& title)
{
    View& cds = *db().cds();
    for (cds.moveFirst(); cds.value(u"CD名"_s).toString() != title; cds.moveNext())
        QVERIFY(!cds.eof());
}

void toSong(const QString& title)
{
    View& songs = *db().songs();
    for (songs.moveFirst(); songs.value(u"曲名"_s).toString() != title; songs.moveNext())
        QVERIFY(!songs.eof());
}

QString refusalOf(const std::function<void()>& f)
{
    return thrown(f).second;
}

} // namespace

class TestHistory : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_folder = std::make_unique<StartupFolder>();
        writeCollection(m_folder->path(), {cd(1, u"運命"_s), cd(2, u"田園"_s)},
                        {song(u"運命"_s, 1, u"第1楽章"_s, {{u"作曲者名"_s, u"ベートーヴェン"_s}}),
                         song(u"運命"_s, 2, u"第2楽章 𠮷"_s,
                              {{u"作曲者名"_s, u"Beethoven"_s}, {u"編曲者名"_s, u"Beethoven"_s}}),
                         song(u"田園"_s, 3, u"嵐"_s, {{u"作曲者名"_s, u"ベートーヴェン"_s}})});
        db().OpenDataContext();
    }
    void cleanup()
    {
        db().CloseDataContext();
        m_folder.reset();
    }

    // Each change, taken back, leaves the file's rows as before it; done
    // again, as after it. The history names each by its kind.
    void everyKindOfChangeUndoneAndRedone()
    {
        const std::pair<QString, std::function<void()>> changes[] = {
            // stars the deletion of 田園 below takes along
            {u"評価"_s, [] { db().Rate(ratings::Of::CD, 2, 4); }},
            {u"評価"_s, [] { db().Rate(ratings::Of::Song, 3, 5); }},
            {u"貸出"_s, [] { db().Lend(loans::lending(2, u"山田"_s, QDate(2026, 1, 5))); }},
            {u"返却"_s, [] { db().GiveBack(2, QDate(2026, 1, 6)); }},
            {u"貸出"_s, [] { db().Lend(loans::lending(2, u"佐藤"_s, QDate(2026, 2, 1))); }},
            {u"欲しいもの"_s, [] { db().AddWish(wishes::fromTexts({u"第九"_s})); }},
            {u"重複ではない"_s, [] { db().KeepApart(2, 1); }},
            // a note the deletion of 田園 takes along; one given anew; blanks take one away
            {u"メモ"_s, [] { db().SetNote(2, u"帯付き\n初回盤 's"_s); }},
            {u"メモ"_s, [] { db().SetNote(1, u"傷あり"_s); }},
            {u"メモ"_s, [] { db().SetNote(1, u"盤面に傷"_s); }},
            {u"メモ"_s, [] { db().SetNote(1, u" \n　\t"_s); }},
            {u"CDの追加"_s, [] { addCD(u"合唱"_s, u"合唱のメモ"_s); }},
            {u"ジャケットの設定"_s, [] { db().ChangeJacket(1, "first"); }},
            {u"ジャケットの設定"_s, [] { db().ChangeJacket(1, "second"); }},
            {u"ジャケットの削除"_s, [] { db().ChangeJacket(1, {}); }},
            {u"ジャケットの設定"_s, [] { db().ChangeJacket(2, "pastoral"); }},
            {u"CDの修正"_s, // the songs follow the title; the note is saved with them
             [] {
                 toCD(u"運命"_s);
                 db().SaveCD({{column(cdnameTable(), u"CD名"), u"運命 's"_s}}, true, u"再発盤"_s);
             }},
            {u"メモ"_s, // the form saved with nothing changed but the note
             [] {
                 toCD(u"合唱"_s);
                 db().SaveCD({}, true, u"合唱のメモ\n2行目"_s);
             }},
            {u"CDの削除"_s, // with its songs
             [] {
                 toCD(u"田園"_s);
                 db().DeleteCurrentCD();
             }},
            {u"曲の追加"_s, [] { addSong(u"運命 's"_s, u"第3楽章"_s); }},
            {u"曲の修正"_s,
             [] {
                 toSong(u"第1楽章"_s);
                 db().SaveKyoku(u"運命 's"_s, {{column(kyokuTable(), u"演奏団体"), u"VPO"_s}});
             }},
            {u"曲の削除"_s,
             [] {
                 toSong(u"第1楽章"_s);
                 db().DeleteCurrentKyoku();
             }},
            {u"名前の結合"_s,
             [] {
                 db().JoinNames({u"ベートーヴェン"_s, u"Beethoven"_s}, u"ベートーヴェン"_s);
             }},
            {u"名前の統一"_s,
             [] {
                 db().UnifyNames({u"ベートーヴェン"_s, u"Beethoven"_s}, u"ベートーヴェン"_s);
             }},
            // a spelling joined anew replaces the row of its old group
            {u"名前の結合"_s, [] { db().JoinNames({u"Beethoven"_s}, u"ベートホーフェン"_s); }},
        };
        QStringList kinds;
        for (const auto& [kind, change] : changes) {
            const QString before = fileRows();
            change();
            const QString after = fileRows();
            QVERIFY2(after != before, qPrintable(kind));
            QCOMPARE(db().History().value(0).kind, kind);
            db().Undo();
            QVERIFY2(fileRows() == before, qPrintable(kind + u"\n" + fileRows() + u"\n" + before));
            db().Redo();
            QVERIFY2(fileRows() == after, qPrintable(kind));
            QVERIFY2(!db().CanRedo() && db().CanUndo(), qPrintable(kind));
            kinds.prepend(kind);
        }
        // the views follow the file; 田園 took its stars, its song's and its loans along
        QCOMPARE(db().songs()->recordCount(), 2);
        QVERIFY(db().Ratings().cds.isEmpty() && db().Ratings().songs.isEmpty());
        QVERIFY(db().Loans().isEmpty() && db().LoanHistory(2).isEmpty());
        QCOMPARE(sqlRows(db().databasePath(), {u"SELECT count(*) FROM cdapart"_s}),
                 QStringList{u"0"_s});
        QVERIFY(!fileRows().contains(u"2.jpg"_s)); // in the trash
        QCOMPARE(db().Notes(),
                 (QHash<qint64, QString>{{1, u"再発盤"_s}, {3, u"合唱のメモ\n2行目"_s}}));
        // kept in the file, as a reopening finds it
        db().CloseDataContext();
        db().OpenDataContext();
        QStringList kept;
        for (const history::Change& c : db().History())
            kept << c.kind;
        QCOMPARE(kept, kinds);
        QCOMPARE(db().History().value(kinds.indexOf(u"重複ではない"_s)).touched,
                 u"CD 1 と CD 2 の組"_s);
        QCOMPARE(db().History().value(1).touched, u"曲「第2楽章 𠮷」（CD「運命 's」）"_s);
    }

    // Taken back, a change tells the CD and song it touched, for the window to show.
    void anUndoTellsTheCDAndSongItTouched()
    {
        QSignalSpy told(&db(), &Collection::changeTakenBack);
        toSong(u"第1楽章"_s);
        const qint64 song = db().songs()->value(u"曲ID"_s).toLongLong();
        db().SaveKyoku(u"運命"_s, {{column(kyokuTable(), u"演奏団体"), u"VPO"_s}});
        db().Undo();
        db().Rate(ratings::Of::CD, 2, 3);
        db().Undo();
        db().Redo();
        QStringList keys;
        for (const QVariantList& args : told)
            keys << u"%1/%2"_s.arg(args.value(0).toString(), args.value(1).toString());
        QCOMPARE(keys, (QStringList{u"1/%1"_s.arg(song), u"2/"_s, u"2/"_s}));
    }

    // A save whose change cannot be filed is no save: the file and the views
    // stay as they were, for a correction and for a CD added.
    void aSaveThatCannotBeFiledLeavesTheViewsAsTheFile()
    {
        db().connection().query(u"テスト"_s,
                                u"CREATE TEMP TRIGGER refused BEFORE INSERT ON main.history "
                                u"BEGIN SELECT RAISE(ABORT, 'disk I/O error'); END"_s);
        const QString before = fileRows();
        toCD(u"運命"_s);
        QVERIFY(!refusalOf([] {
                     db().SaveCD({{column(cdnameTable(), u"発売元"), u"DG"_s}}, true);
                 }).isEmpty());
        QCOMPARE(db().cds()->value(u"CD名"_s).toString(), u"運命"_s);
        QVERIFY(db().cds()->value(u"発売元"_s).toString() != u"DG"_s);
        QVERIFY(!refusalOf([] { addCD(u"合唱"_s); }).isEmpty());
        QCOMPARE(fileRows(), before);
        QCOMPARE(db().cds()->value(u"CD名"_s).toString(), u"合唱"_s); // still being added
        db().cds()->cancelUpdate();
        QStringList titles;
        for (int i = 0; i < db().cds()->recordCount(); ++i)
            titles << db().cds()->valueAt(i, db().cds()->fieldIndex(u"CD名"_s)).toString();
        QCOMPARE(titles.join(u"/"), u"運命/田園"_s);
        toSong(u"第1楽章"_s);
        QVERIFY(!refusalOf([] {
                     db().SaveKyoku(u"運命"_s, {{column(kyokuTable(), u"演奏団体"), u"VPO"_s}});
                 }).isEmpty());
        QVERIFY(db().songs()->value(u"演奏団体"_s).toString() != u"VPO"_s);
        QCOMPARE(fileRows(), before);
        db().connection().query(u"テスト"_s, u"DROP TRIGGER temp.refused"_s);
    }

    // A change whose rows were changed since is refused, naming the row, and
    // nothing is written; undoing again, or redoing what was done, is refused.
    void refusalsLeaveEverythingAsItWas()
    {
        toSong(u"第1楽章"_s);
        db().SaveKyoku(u"運命"_s, {{column(kyokuTable(), u"演奏団体"), u"VPO"_s}});
        const qint64 first = db().History().first().id;
        toCD(u"田園"_s);
        db().SaveCD({{column(cdnameTable(), u"発売元"), u"DG"_s}}, true);
        toSong(u"第1楽章"_s);
        db().SaveKyoku(u"運命"_s, {{column(kyokuTable(), u"演奏団体"), u"BPO"_s}});
        const QString now = fileRows();
        QCOMPARE(refusalOf([first] { db().Undo(first); }),
                 u"この変更のあとで曲「第1楽章」（CD「運命」）が変わっているため、元に戻せません（"
                 u"何も変更していません）。"_s);
        QCOMPARE(fileRows(), now);
        // an older change of other rows is taken back alone
        db().Undo(db().History().at(1).id);
        QVERIFY(!fileRows().contains(u"'DG'"_s) && fileRows().contains(u"'BPO'"_s));
        QCOMPARE(errorOf([] { db().Undo(db().History().at(1).id); }), int(DbError::NotAllowedNow));
        // a new change ends what could be done again
        QVERIFY(db().CanRedo());
        addCD(u"合唱"_s);
        QVERIFY(!db().CanRedo());
        QCOMPARE(refusalOf([] { db().Redo(); }), u"やり直せる変更はありません。"_s);

        // a picture changed since by another program, or one no longer in the trash
        db().ChangeJacket(1, "kept");
        db().ChangeJacket(1, "new");
        const QString jacket = m_folder->file(u"jacket/1.jpg"_s);
        QVERIFY(writeBytes(jacket, "theirs"));
        const QString pictures = fileRows();
        QCOMPARE(
            refusalOf([] { db().Undo(); }),
            u"この変更のあとでCD 1 のジャケット写真が変わっているため、元に戻せません（何も変更"
            u"していません）。"_s);
        QVERIFY(writeBytes(jacket, "new"));
        QDir trash(m_folder->file(u"jacket/.trash"_s));
        for (const QString& name : trash.entryList(QDir::Files))
            QVERIFY(trash.remove(name));
        QVERIFY(refusalOf([] { db().Undo(); })
                    .startsWith(
                        u"CD 1 のジャケット写真の前の画像が保管用フォルダーに残っていないため"_s));
        QCOMPARE(fileRows(), QString(pictures).replace(u"theirs"_s, u"new"_s));
    }

    // Kept in the file and its backups, the newest 2,000; an import is one
    // change that says how to take it back, and 元に戻す stops at it.
    void keptInTheFileAndImportsAreOneChange()
    {
        db().CloseDataContext();
        sqlRows(
            m_folder->file(u"cdkaisou.db"_s),
            {u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
             u"INSERT INTO history (日時, 種類, 内容, 状態) SELECT '', '古い変更', '', 0 FROM n"_s});
        db().OpenDataContext();
        importer::Rows rows;
        rows.cds << QVector<QVariant>(Connection::cdnameFields().size());
        rows.cds[0][column(cdnameTable(), u"CDID")] = 9;
        rows.cds[0][column(cdnameTable(), u"CD名")] = u"取り込んだCD"_s;
        importer::addToCollection(db().connection(), rows);
        const history::Change imported = db().History().value(0);
        QCOMPARE(imported.kind + imported.touched.left(13), u"取り込みCD 1枚・曲 0曲を追加"_s);
        QCOMPARE(refusalOf([] { db().Undo(); }).left(17), u"取り込みは一件ずつ元に戻せません。"_s);
        const QString backup = db().connection().backupNow();
        QCOMPARE(
            sqlRows(
                backup,
                {u"SELECT count(*), min(id), (SELECT 種類 FROM history ORDER BY id DESC LIMIT 1) FROM history"_s}),
            QStringList{u"2000|2|取り込み"_s});
    }

    // Stars sort the most first and the unrated last, whichever way the rows
    // stood; the statistics count them; a number past five is refused.
    void ratingsSortedAndCounted()
    {
        addCD(u"合唱"_s);
        db().Rate(ratings::Of::CD, 1, 2);
        db().Rate(ratings::Of::CD, 3, 5);
        db().Rate(ratings::Of::CD, 2, 3);
        db().Rate(ratings::Of::CD, 2, 1); // given anew
        db().Rate(ratings::Of::Song, 2, 4);
        QCOMPARE(refusalOf([] { db().Rate(ratings::Of::CD, 1, 6); }).left(8), u"評価は 1 から"_s);
        // no stars for a number nothing bears, that a CD or song given it later would inherit
        QCOMPARE(refusalOf([] { db().Rate(ratings::Of::CD, 4, 3); }), u"CDID 4 のCDはありません"_s);
        QCOMPARE(refusalOf([] { db().Rate(ratings::Of::Song, 99, 3); }),
                 u"曲ID 99 の曲はありません"_s);
        QCOMPARE(db().Ratings().of(ratings::Of::CD, 1), 2);
        db().Rate(ratings::Of::CD, 3, 0); // taken away
        db().SortByRating(db().cds(), ratings::Of::CD);
        const View& cds = *db().cds();
        QStringList order;
        for (int i = 0; i < cds.recordCount(); ++i)
            order << cds.valueAt(i, cds.fieldIndex(u"CD名"_s)).toString();
        QCOMPARE(order, (QStringList{u"運命"_s, u"田園"_s, u"合唱"_s}));
        const QVector<stats::Tab> tabs = stats::countShown(db(), true, false);
        const stats::Tab tab = *std::find_if(tabs.begin(), tabs.end(), [](const stats::Tab& t) {
            return t.def.kind == stats::Kind::Ratings;
        });
        QStringList lines;
        for (const stats::Line& l : tab.lines)
            lines << u"%1 %2 %3"_s.arg(l.name).arg(l.cds).arg(l.songs);
        QCOMPARE(lines,
                 (QStringList{u"★★★★★ 0 0"_s, u"★★★★ 0 1"_s, u"★★★ 0 0"_s, u"★★ 1 0"_s, u"★ 1 0"_s,
                              u"（評価なし） 1 2"_s}));
        toCD(u"運命"_s);
        db().DeleteCurrentCD();
        QCOMPARE(db().Ratings().cds.keys(), QList<qint64>{2});
    }

    // A note is kept as typed, line breaks and all, and blanks are none: a
    // blank note for a CD without one changes nothing. A note of no CD is
    // refused, nothing written; a CD given another number takes its note.
    void notesKeptRefusedAndRenumbered()
    {
        const QString note = u"帯付き \"初回\"\r\n2枚目に傷 𠮷"_s;
        QCOMPARE(db().Note(1), QString()); // read before the note is given
        db().SetNote(1, note);
        QCOMPARE(db().Note(1), note);
        QCOMPARE(db().History().first().touched, u"CD 1 のメモ"_s);
        const qsizetype changes = db().History().size();
        const QString before = fileRows();
        for (const auto& [cdid, text, refusal] :
             {std::tuple{qint64(9), u"x"_s, u"CDID 9 のCDはありません（何も変更していません）"_s},
              {qint64(2), u"\u3000\n"_s, QString()},
              {qint64(9), QString(), QString()}})
            QCOMPARE(refusalOf([cdid = cdid, text = text] { db().SetNote(cdid, text); }), refusal);
        QCOMPARE(fileRows(), before);
        QCOMPARE(db().History().size(), changes);
        toCD(u"運命"_s);
        db().SaveCD({{column(cdnameTable(), u"CDID"), 7}}, true, db().Note(1));
        QCOMPARE(db().Notes(), (QHash<qint64, QString>{{7, note}}));
        db().Undo();
        QCOMPARE(db().Notes(), (QHash<qint64, QString>{{1, note}}));
    }

    // A CD is lent once at a time, by a name, due no earlier than lent, and
    // comes back no earlier; the list puts the most overdue first and those
    // without a date due last; a CD's loans stay on record, newest first.
    void loansRefusedListedAndKept()
    {
        const QDate today = QDate::currentDate();
        QVERIFY(db().Loans().isEmpty()); // read before the loans below
        for (const QString& title : {u"合唱"_s, u"第九"_s, u"四季"_s})
            addCD(title);
        db().Lend(loans::lending(3, u"鈴木"_s, today.addDays(-40))); // none due
        db().Lend(loans::lending(5, u"高橋"_s, today.addDays(-50))); // none due, lent earlier
        db().Lend(loans::lending(4, u"田中"_s, today.addDays(-1), today.addDays(3))); // not yet due
        db().Lend(loans::lending(2, u"佐藤"_s, today.addDays(-9), today.addDays(-2)));
        db().Lend(loans::lending(1, u"山田"_s, today.addDays(-30), today.addDays(-5), u"箱なし"_s));
        QCOMPARE(db().History().first().touched, u"CD 1 の貸出（山田）"_s);
        const QString before = fileRows();
        for (const auto& [loan, refusal] :
             {std::pair{loans::lending(1, u"田中"_s, today), u"このCDは 山田 さんに貸出中です"_s},
              {loans::lending(9, u"田中"_s, today), u"CDID 9 のCDはありません"_s},
              {loans::lending(9, u" "_s, today), u"貸す相手を入力してください"_s},
              {loans::lending(9, u"田中"_s, today, today.addDays(-1)),
               u"返却予定日が貸出日より前です"_s}})
            QCOMPARE(refusalOf([&loan = loan] { db().Lend(loan); }),
                     refusal + u"（何も変更していません）"_s);
        QCOMPARE(refusalOf([&] { db().GiveBack(2, today.addDays(-10)); }).left(7),
                 u"返却日が貸出日"_s);
        QCOMPARE(refusalOf([&] { db().GiveBack(9, today); }).left(10), u"このCDは貸出中では"_s);
        QCOMPARE(fileRows(), before);
        QStringList order;
        for (const loans::Loan& l : loans::inListOrder(db().Loans(), today))
            order << u"%1 %2 %3"_s.arg(l.title, l.to).arg(l.daysOverdue(today));
        QCOMPARE(order,
                 (QStringList{u"運命 山田 5"_s, u"田園 佐藤 2"_s, u"第九 田中 0"_s,
                              u"四季 高橋 0"_s, u"合唱 鈴木 0"_s}));
        // back, lent again and back another day: each loan keeps its own return
        db().GiveBack(1, today);
        db().Lend(loans::lending(1, u"田中"_s, today, today.addDays(3)));
        db().GiveBack(1, today.addDays(1));
        QStringList kept;
        for (const loans::Loan& l : db().LoanHistory(1))
            kept << l.to + l.returned.toString(Qt::ISODate) + l.note;
        QCOMPARE(kept,
                 (QStringList{u"田中"_s + today.addDays(1).toString(Qt::ISODate),
                              u"山田"_s + today.toString(Qt::ISODate) + u"箱なし"_s}));
        // a CD out that is deleted is out no more, at once
        QVERIFY(db().Loans().contains(2));
        toCD(u"田園"_s);
        db().DeleteCurrentCD();
        QVERIFY(!db().Loans().contains(2) && db().Loans().contains(3));
    }

    // Wishes are found as quick find finds (widths, kana, ヴ, catalogue
    // numbers), each word in some field but never across two; the newest
    // are listed first; a price that is no number, or no title, is refused.
    void wishesFoundAndRefused()
    {
        const QStringList wished[]
            = {{u"交響曲第40番"_s, u"モーツァルト"_s, u"ワルター"_s, u"K.550"_s, u"石丸電気"_s,
                u"1500"_s, u""_s, u"2026/01/02"_s},
               {u"ＡＢ"_s, u"CD"_s, {}, {}, {}, {}, u"ヴィヴァルディ"_s, u"2026/03/04"_s},
               {u"四季"_s, {}, u"イ・ムジチ"_s, {}, {}, {}, {}, u"2026/02/03"_s}};
        for (const QStringList& texts : wished)
            db().AddWish(wishes::fromTexts(texts));
        QStringList newestFirst;
        for (const wishes::Wish& w : db().Wishes())
            newestFirst << w.title;
        QCOMPARE(newestFirst, (QStringList{u"ＡＢ"_s, u"四季"_s, u"交響曲第40番"_s}));
        QCOMPARE(wishes::textsOf(db().Wishes().last()), wished[0]);
        const std::pair<QString, QString> finds[] = {{u"kv 550 わるたー"_s, u"交響曲第40番"_s},
                                                     {u"K.55"_s, u""_s},
                                                     {u"ab"_s, u"ＡＢ"_s},
                                                     {u"BC"_s, u""_s},
                                                     {u"ビバルディ"_s, u"ＡＢ"_s},
                                                     {u"ｲﾑｼﾞﾁ 四季"_s, u"四季"_s}};
        for (const auto& [typed, title] : finds) {
            QStringList found;
            for (const wishes::Wish& w : wishes::matching(db().Wishes(), findWords(typed)))
                found << w.title;
            QCOMPARE(found.join(u','), title);
        }
        const QString before = fileRows();
        QCOMPARE(refusalOf([] {
                     wishes::fromTexts({u"x"_s, {}, {}, {}, {}, u"千円"_s});
                 }).left(4),
                 u"価格に「"_s);
        wishes::Wish untitled = db().Wishes().last();
        untitled.title = u" "_s;
        const std::function<void()> untitledChanges[]
            = {[] { db().AddWish(wishes::fromTexts({u" "_s})); },
               [&untitled] { db().SaveWish(untitled); }};
        for (const auto& change : untitledChanges)
            QCOMPARE(refusalOf(change), u"タイトルを入力してください（何も変更していません）"_s);
        QCOMPARE(fileRows(), before);
        // saved field by field; a change taken back is gone from the list at once
        wishes::Wish saved = db().Wishes().last();
        saved.price = 1800;
        saved.note = u"帯付き"_s;
        db().SaveWish(saved);
        QCOMPARE(wishes::textsOf(db().Wishes().last()).mid(5, 2),
                 (QStringList{u"1800"_s, u"帯付き"_s}));
        db().Undo();
        db().Undo();
        QCOMPARE(db().Wishes().size(), 2);
    }

    // A batch change reaches the rows a search lists and no other; a text is
    // replaced inside with surrogate pairs and quotes kept; a value the forms
    // would refuse refuses the batch, nothing written; one undo takes it back.
    void batchOnASearchResultUndoneAtOnce()
    {
        const QString before = fileRows();
        db().SearchSongs(Criteria().equals(u"作曲者名"_s, u"ベートーヴェン"_s), u"作曲者名"_s);
        const ViewPtr& listed = db().songs();
        QCOMPARE(listed->recordCount(), 2);
        const auto changesOf
            = [&listed](const batch::Order& order, const QVector<int>& rows = {0, 1}) {
                  QStringList done;
                  for (const batch::Change& c : db().PlanBatch(listed, rows, order))
                      done << c.row + u':' + plainText(c.after);
                  return done;
              };
        const batch::Order vpo{u"演奏団体"_s, false, {}, u"ウィーン・フィル"_s};
        db().ApplyBatch(listed, vpo.field, db().PlanBatch(listed, {0, 1}, vpo));
        QCOMPARE(changesOf(vpo), QStringList{}); // nothing left to change
        const batch::Order whole{u"演奏団体"_s, true, u"フィル"_s, u"フィルハーモニー 's \"𠮷\""_s};
        QCOMPARE(changesOf(whole, {1}), QStringList{u"嵐:ウィーン・フィルハーモニー 's \"𠮷\""_s});
        db().ApplyBatch(listed, whole.field, db().PlanBatch(listed, {0, 1}, whole));
        const QStringList stored
            = sqlRows(db().databasePath(),
                      {u"SELECT 曲名 || '=' || ifnull(演奏団体, '') FROM kyoku ORDER BY 曲ID"_s});
        QCOMPARE(stored,
                 (QStringList{u"第1楽章=ウィーン・フィルハーモニー 's \"𠮷\""_s, u"第2楽章 𠮷="_s,
                              u"嵐=ウィーン・フィルハーモニー 's \"𠮷\""_s}));
        const QString done = fileRows();
        // the CDs' dates and prices are checked as the CD form checks them
        const std::tuple<ViewPtr, batch::Order, QString> refused[] = {
            {db().cds(),
             {u"購入年月日"_s, false, {}, u"2026/13/40"_s},
             u"購入年月日に「2026/13/40」"_s},
            {db().cds(), {u"購入価格"_s, false, {}, u"千円"_s}, u"購入価格に「千円」"_s},
            {db().cds(), {u"CD名"_s, false, {}, u"x"_s}, u"「CD名」は一括変更できない項目です"_s},
            {listed, {u"曲名"_s, true, u"嵐"_s, {}}, u"曲「嵐」: 曲名が入力されていません！"_s},
            {listed, {u"曲ID"_s, false, {}, u"1"_s}, u"「曲ID」は一括変更できない項目です"_s},
            {listed, {u"演奏団体"_s, true, {}, u"x"_s}, u"置き換える文字を入力してください"_s}};
        for (const auto& [view, order, refusal] : refused)
            QVERIFY2(refusalOf([&view = view, &order = order] {
                         db().PlanBatch(view, {0, 1}, order);
                     }).startsWith(refusal),
                     qPrintable(refusal));
        QCOMPARE(fileRows(), done);
        QCOMPARE(db().History().first().kind, u"一括変更"_s);
        db().Undo();
        db().Undo();
        QCOMPARE(fileRows(), before);
    }

    // Each rule finds its pair and not its near miss; a pair kept apart is
    // not proposed again; a merge keeps every song once, fills the kept CD's
    // empty fields, takes the stars, the loan and the jacket along, and is
    // taken back as one change.
    void duplicatesFoundByEachRuleAndMerged()
    {
        db().CloseDataContext();
        const auto by = [](const QString& conductor, const QString& field = {},
                           const QString& value = {}) {
            QVariantMap fields{{u"作曲者名"_s, u"ベートーヴェン"_s}, {u"指揮者名"_s, conductor}};
            if (!field.isEmpty())
                fields.insert(field, value);
            return fields;
        };
        const QString op67 = u"交響曲第5番 ハ短調 Op.67 第%1楽章"_s, ninth = u"運命 クライバー"_s;
        QVector<QVariantMap> cds
            = {cd(1, u"ブラームス：交響曲第１番"_s), cd(2, u"ブラームス:交響曲第1番"_s),
               cd(3, u"ブラームス：交響曲第2番"_s), cd(4, u"四季"_s),
               cd(5, u"ヴィヴァルディ"_s, {{u"発売元"_s, u"フィリップス"_s}}), cd(6, u"夏"_s),
               cd(7, u"カラヤンの運命"_s, {{u"発売元"_s, u"EMI"_s}}),
               cd(8, u"運命 1962"_s, {{u"発売元"_s, u"DG"_s}, {u"解説者"_s, u"吉田"_s}}),
               cd(9, ninth), cd(10, ninth),
               // one work by one conductor, each with a soloist of its own
               cd(11, u"運命 A"_s), cd(12, u"運命 B"_s)};
        QVector<QVariantMap> songs = {
            // 「なし」 is no number
            song(u"ブラームス：交響曲第１番"_s, 1, u"第1楽章"_s,
                 by(u"ベーム"_s, u"原盤番号"_s, u"なし"_s)),
            song(u"ブラームス:交響曲第1番"_s, 2, u"第1楽章"_s, by(u"カラヤン"_s)),
            song(u"四季"_s, 3, u"春"_s, {{u"原盤番号"_s, u"POCG-1234"_s}}),
            song(u"ヴィヴァルディ"_s, 4, u"Spring"_s, {{u"原盤番号"_s, u"ｐｏｃｇ1234"_s}}),
            song(u"夏"_s, 5, u"夏"_s, {{u"原盤番号"_s, u"POCG-1235"_s}}),
            song(u"カラヤンの運命"_s, 6, op67.arg(1), by(u"カラヤン"_s, u"原盤番号"_s, u"なし"_s)),
            song(u"カラヤンの運命"_s, 7, op67.arg(2), by(u"カラヤン"_s)),
            song(u"運命 1962"_s, 8, op67.arg(2), by(u"カラヤン"_s)),
            song(u"運命 1962"_s, 9, op67.arg(1),
                 by(u"カラヤン"_s, u"録音会場"_s, u"イエス・キリスト教会"_s)),
            song(u"運命 1962"_s, 10, op67.arg(3), by(u"カラヤン"_s)), // one work still
            song(u"運命 1962"_s, 13, op67.arg(1), by(u"カラヤン"_s)), // twice: one moves
            // a number only one title group holds proposes no pair
            song(ninth, 11, op67.arg(1), by(u"クライバー"_s, u"原盤番号"_s, u"X-1"_s)),
            song(ninth, 12, op67.arg(2), by(u"クライバー"_s)),
            song(u"運命 A"_s, 14, op67.arg(1), by(u"カラヤン"_s, u"ソリスト"_s, u"甲"_s)),
            song(u"運命 B"_s, 15, op67.arg(1), by(u"カラヤン"_s, u"ソリスト"_s, u"乙"_s))};
        // a box's number on each of its discs: six are proposed, seven are not
        for (int disc = 1; disc <= 7; ++disc) {
            cds << cd(20 + disc, u"箱 %1"_s.arg(disc));
            songs << song(u"箱 %1"_s.arg(disc), 20 + disc, u"曲 %1"_s.arg(disc),
                          {{u"原盤番号"_s, u"BOX-7"_s}});
            if (disc < 7)
                songs << song(u"箱 %1"_s.arg(disc), 40 + disc, u"曲 %1b"_s.arg(disc),
                              {{u"原盤番号"_s, u"BOX-6"_s}});
        }
        writeCollection(m_folder->path(), cds, songs);
        db().OpenDataContext();
        const auto proposed = [] {
            QStringList pairs;
            int boxed = 0;
            for (const duplicates::Pair& p : db().Duplicates()) {
                if (p.number == u"BOX-6"_s && p.rules == duplicates::SameNumber)
                    ++boxed;
                else
                    pairs << u"%1-%2 %3 %4 %5"_s.arg(p.first)
                                 .arg(p.second)
                                 .arg(duplicates::rulesText(p.rules), p.number)
                                 .arg(p.firstSongs * 10 + p.secondSongs);
            }
            return pairs << QString::number(boxed);
        };
        QCOMPARE(proposed(),
                 (QStringList{u"1-2 題名  11"_s, u"4-5 原盤番号 POCG-1234 11"_s,
                              u"7-8 曲と演奏者  24"_s, u"9-10 題名・曲と演奏者  22"_s, u"15"_s}));
        db().KeepApart(2, 1);
        db().CloseDataContext();
        db().OpenDataContext();
        QCOMPARE(proposed().first(), u"4-5 原盤番号 POCG-1234 11"_s);

        db().Rate(ratings::Of::CD, 8, 4);
        db().Rate(ratings::Of::Song, 8, 5); // 8's second movement
        db().Rate(ratings::Of::Song, 6, 2); // 7's first keeps its own
        db().Rate(ratings::Of::Song, 9, 1);
        db().Lend(loans::lending(8, u"山田"_s, QDate(2026, 1, 5)));
        db().Lend(loans::lending(10, u"佐藤"_s, QDate(2026, 1, 5)));
        db().SetNote(7, u"EMI盤"_s);
        db().SetNote(8, u"DG盤\n帯付き"_s);
        db().SetNote(10, u"クライバーの運命"_s);
        const QDir jackets(m_folder->path() + u"/jacket"_s);
        QVERIFY(QDir().mkpath(jackets.path()));
        for (const int id : {7, 8, 10})
            QVERIFY(writeBytes(jackets.filePath(u"%1.jpg"_s.arg(id)), QByteArray::number(id)));
        const QString before = fileRows();
        db().Lend(loans::lending(9, u"田中"_s, QDate(2026, 1, 5)));
        for (const auto& [into, from, refusal] :
             {std::tuple{7, 7, u"同じCDどうしは統合できません"_s},
              {7, 9, u"「運命 クライバー」という題名のCDがほかにもあり"_s},
              {10, 9, u"2枚とも貸出中です"_s},
              {7, 99, u"CDID 99 のCDはありません"_s}})
            QVERIFY2(refusalOf([into = into, from = from] {
                         db().MergeCDs(into, from);
                     }).startsWith(refusal),
                     qPrintable(refusal));
        db().Undo(); // the loan of 9
        QCOMPARE(fileRows(), before);

        const duplicates::Merged merged = db().MergeCDs(7, 8);
        QCOMPARE(merged.moved * 10 + merged.same, 22);
        QCOMPARE(db().History().first().kind, u"重複の統合"_s);
        const QString kyoku = u"SELECT CD名 || ':' || 曲ID || ':' || ifnull(録音会場, '') FROM "
                              "kyoku WHERE 曲ID IN (6, 7, 8, 9, 10, 13) ORDER BY 曲ID"_s;
        QCOMPARE(sqlRows(db().databasePath(), {kyoku}),
                 (QStringList{u"カラヤンの運命:6:イエス・キリスト教会"_s, u"カラヤンの運命:7:"_s,
                              u"カラヤンの運命:10:"_s, u"カラヤンの運命:13:"_s}));
        QCOMPARE(
            sqlRows(db().databasePath(), {u"SELECT 発売元 || 解説者 FROM cdname WHERE CDID = 7"_s}),
            QStringList{u"EMI吉田"_s});
        QCOMPARE(db().Ratings().cds, (QHash<qint64, int>{{7, 4}}));
        QCOMPARE(db().Ratings().songs, (QHash<qint64, int>{{6, 2}, {7, 5}}));
        QCOMPARE(db().Loans().value(7).to, u"山田"_s);
        QCOMPARE(
            db().Notes(),
            (QHash<qint64, QString>{{7, u"EMI盤\nDG盤\n帯付き"_s}, {10, u"クライバーの運命"_s}}));
        QCOMPARE(bytesOf(jackets.filePath(u"7.jpg"_s)), "7");
        QVERIFY(!QFileInfo::exists(jackets.filePath(u"8.jpg"_s)));
        QCOMPARE(QDir(jackets.filePath(u".trash"_s)).entryList({u"8-*"_s}).size(), 1);
        // one title for both: the songs are already the kept CD's
        QCOMPARE(db().MergeCDs(9, 10).moved, 0);
        QCOMPARE(db().Loans().value(9).to, u"佐藤"_s);
        QVERIFY(bytesOf(jackets.filePath(u"9.jpg"_s)) == "10"
                && !QFileInfo::exists(jackets.filePath(u"10.jpg"_s)));
        QCOMPARE(db().Note(9), u"クライバーの運命"_s); // the kept CD had none
        QCOMPARE(proposed(), (QStringList{u"4-5 原盤番号 POCG-1234 11"_s, u"15"_s}));
        db().Undo();
        db().Undo();
        QCOMPARE(fileRows(), before);
    }

private:
    std::unique_ptr<StartupFolder> m_folder;
};

RONDELLA_TEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"
