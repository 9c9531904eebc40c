// Reads the old program's database for Rondella in a process of its own, so
// that a file that makes libmdb crash or hang cannot take the window with it.
// Sends the rows on standard output; Rondella starts it, never a user.
#include "store/importer.h"

#include <QFile>
#include <QString>

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: rondella-mdbread FILE.mdb\n", stderr);
        return 2;
    }
    // libmdb prints some of its complaints on standard output: they go to
    // standard error, and the rows leave on a descriptor of their own.
    const int rows = dup(STDOUT_FILENO);
    if (rows < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return 1;
    QFile out;
    if (!out.open(rows, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle))
        return 1;
    const int status = importer::serveLegacyRead(QFile::decodeName(argv[1]), out);
    return out.flush() ? status : 1;
}
