#include <QApplication>

#include "mainwindow/commandline.h"
#include "mainwindow/startup.h"

int main(int argc, char* argv[])
{
    // A command from the terminal needs no screen.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // Arguments not understood are refused before anything opens, a screen
    // included: a start from a terminal without one hears why.
    if (!refuseArguments(arguments).isEmpty())
        return 2;
    if (isCommandLine(arguments)) {
        QCoreApplication app(argc, argv);
        return RunCommandLine(app.arguments());
    }
    QApplication app(argc, argv);
    // Qt's own options (-platform, -style...) are taken out of what Main reads.
    if (!Main(app.arguments()))
        return 1;
    return app.exec();
}
