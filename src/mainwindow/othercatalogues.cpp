#include "othercatalogues.h"

#include "audiocommands.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/discogsimport.h"
#include "store/tellico.h"
#include "widgets/jacketbox.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <cstdio>

namespace {

// A part of the report: its heading and the first lines under it.
QString part(const QString& heading, const QStringList& lines)
{
    if (lines.isEmpty())
        return QString();
    QString text = QStringLiteral("\r\r%1\r").arg(heading) + lines.mid(0, 15).join(u'\r');
    if (lines.size() > 15)
        text += QStringLiteral("\r…ほか %1 件").arg(lines.size() - 15);
    return text;
}

} // namespace

void requirePictures(const QString& file, const QVector<tellico::Cd>& cds)
{
    QString last; // the discs of a set share one picture: read once
    for (const tellico::Cd& cd : cds) {
        if (cd.cover.isEmpty() || cd.coverName == last)
            continue;
        QString why;
        if (jacket::decodePicture(cd.cover, &why).isNull())
            throw DbError(DbError::TypeMismatch,
                          QStringLiteral("「%1」の画像「%2」は画像として読めません（%3）。\r"
                                         "何も取り込んでいません。")
                              .arg(QFileInfo(file).fileName(), cd.coverName, why));
        last = cd.coverName;
    }
}

QStringList storeJackets(const QString& collectionFolder, const QVector<tellico::Cd>& cds,
                         const QVector<qint64>& cdids)
{
    QVector<BroughtPicture> pictures;
    for (const tellico::Cd& cd : cds)
        pictures.append({cd.title, cd.cover});
    return storePictures(collectionFolder, pictures, cdids);
}

QString tellicoReport(const tellico::Found& found, const QStringList& jacketFailures)
{
    QString text = QStringLiteral("Tellico の項目 %1件から、CD %2枚・曲 %3曲・ジャケット写真 %4枚を"
                                  "取り込みました。")
                       .arg(found.entries)
                       .arg(found.cds.size())
                       .arg(found.songCount())
                       .arg(found.coverCount() - jacketFailures.size());
    text += part(QStringLiteral("CDではないため飛ばした項目："), found.skipped);
    text += part(QStringLiteral("取り込まなかった項目："), found.refused);
    text += part(QStringLiteral("置き場所のないフィールド（CDのメモに書きました）："),
                 found.unplaced);
    text += part(QStringLiteral("注意："), found.warnings + jacketFailures);
    return text;
}

int RunImportTellico(const QString& file, const QString& folder, bool allMedia)
{
    if (!QFileInfo(file).isFile() || !QFileInfo(folder).isDir()) {
        complain(QStringLiteral("使い方: rondella --import-tellico ファイル [--all-media] "
                                "[--collection コレクションのフォルダー]"));
        return 2;
    }
    return RunOnCollection(folder, [&](const QString& db) {
        // the file is read whole before the collection is opened: a refusal writes nothing
        tellico::Found found = tellico::read(file, tellico::Options{allMedia});
        requirePictures(file, found.cds);
        Connection cn(db);
        tellico::takeOwnTitles(found, tellico::storedTitles(cn));
        const QVector<qint64> cdids = tellico::add(cn, found.cds);
        for (qsizetype i = 0; i < cdids.size(); ++i)
            say(QStringLiteral("追加しました：CDID %1「%2」（%3曲）")
                    .arg(cdids.at(i))
                    .arg(found.cds.at(i).title)
                    .arg(found.cds.at(i).songs.size()));
        say(tellicoReport(found, storeJackets(folder, found.cds, cdids)));
        return found.cds.isEmpty() ? 1 : 0;
    });
}

int RunImportDiscogs(const QString& file, const QString& folder, const discogs::Options& options)
{
    if (!QFileInfo(file).isFile() || !QFileInfo(folder).isDir()) {
        complain(QStringLiteral("使い方: rondella --import-discogs CSVファイル [--all-media] "
                                "[--artist-songs] [--collection コレクションのフォルダー]"));
        return 2;
    }
    return RunOnCollection(folder, [&](const QString& collection) {
        // read and checked whole before the collection is opened: a refused
        // file makes not even the run's backup
        const QVector<discogs::Release> releases = discogs::readFile(file);
        Connection cn(collection);
        const discogs::Outcome outcome = discogs::add(cn, releases, options);
        for (const QString& line : outcome.added)
            say(QStringLiteral("追加しました：%1").arg(line));
        for (const QString& line : outcome.renamed)
            say(QStringLiteral("注意：%1").arg(line));
        for (const QString& line : outcome.skipped)
            say(QStringLiteral("飛ばしました：%1").arg(line));
        say(discogs::summary(outcome));
        return 0;
    });
}
