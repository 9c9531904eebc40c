#include <QApplication>

#include "mainwindow/startup.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    modRecord::Main();
    return app.exec();
}
