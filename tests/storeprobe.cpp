// A second program on a collection, for the tests: opens (or creates) it,
//   storeprobe open <folder>
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
    const QString mode = QString::fromLocal8Bit(argv[1]), folder = QString::fromLocal8Bit(argv[2]);
    if (mode == u"lock") {
        const FolderLock held = lockCollectionFolder(folder);
        std::puts(held.lock ? "locked" : held.refusal.toUtf8().constData());
        return 0;
    }
    try {
        Connection cn(QDir(folder).filePath(QStringLiteral("cdkaisou.db")));
        std::puts("ok");
        return 0;
    } catch (const DbError& e) {
        std::printf("error %s\n", e.what());
        return 1;
    }
}
