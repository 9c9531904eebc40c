// The program's start and nothing after it: Main in the current folder, then
// the process ends without running the event loop, as a test process does.
#include "mainwindow/startup.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    return Main() ? 0 : 1;
}
