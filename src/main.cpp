#include <QApplication>

#include "mainwindow/startup.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (!Main())
        return 1;
    return app.exec();
}
