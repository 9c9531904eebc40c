// A second program on a collection, for the tests: opens (or creates) it, or
// writes to it without end until it is killed.
//   storeprobe open <folder>
//   storeprobe write <folder>
// or takes the folder's lock as the program does, and says "locked" or why not:
//   storeprobe lock <folder>
#include "store/connection.h"
#include "store/dberror.h"
#include "store/folderlock.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const QString mode = QString::fromLocal8Bit(argv[1]);
    const QString path
        = QDir(QString::fromLocal8Bit(argv[2])).filePath(QStringLiteral("cdkaisou.db"));
    if (mode == u"lock") {
        const FolderLock held = lockCollectionFolder(QString::fromLocal8Bit(argv[2]));
        std::puts(held.lock ? "locked" : held.refusal.toUtf8().constData());
        return 0;
    }
    try {
        Connection cn(path);
        if (mode == u"open") {
            std::puts("ok");
            return 0;
        }
        // Each CD comes with three songs in one transaction; every fifth round
        // deletes an earlier CD with its songs in one transaction. A line is
        // printed only once its transaction is committed.
        const QVector<FieldDef>& cdFields = Connection::cdnameFields();
        const QVector<FieldDef>& songFields = Connection::kyokuFields();
        for (int id = 1;; ++id) {
            const QString title = QStringLiteral("CD %1").arg(id);
            cn.transaction([&] {
                QVector<QVariant> cd(cdFields.size());
                cd[0] = id;
                cd[1] = title;
                cn.insertRow(QStringLiteral("cdname"), cdFields, cd);
                for (int k = 0; k < 3; ++k) {
                    QVector<QVariant> song(songFields.size());
                    song[0] = title;
                    song[1] = id * 10 + k;
                    song[2] = QStringLiteral("曲 %1").arg(k);
                    cn.insertRow(QStringLiteral("kyoku"), songFields, song);
                }
            });
            std::printf("added %d\n", id);
            std::fflush(stdout);
            if (id % 5 == 0) {
                const int gone = id - 3;
                cn.transaction([&] {
                    cn.column(QStringLiteral("DELETE FROM kyoku WHERE CD名 = ?"),
                              {QStringLiteral("CD %1").arg(gone)});
                    cn.column(QStringLiteral("DELETE FROM cdname WHERE CDID = ?"), {gone});
                });
                std::printf("deleted %d\n", gone);
                std::fflush(stdout);
            }
        }
    } catch (const DbError& e) {
        std::printf("error %s\n", e.what());
        return 1;
    }
}
