#include "startup.h"

#include "frmmain.h"
#include "secondary.h"
#include "store/modrecord.h"

#include <QApplication>
#include <QDir>
#include <QLocale>
#include <QPrinter>

namespace modRecord {

QPointer<frmMain> mainWindow;

namespace {
QPointer<frmWait> waitWindow;
}

void Main()
{
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    // However the program ends, the collection file is closed before Qt's
    // database layer goes away.
    static const QMetaObject::Connection closing
        = QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] { CloseDataContext(); });
    Q_UNUSED(closing);
    auto* window = new frmMain();
    mainWindow = window;
    strAppPath = QDir::currentPath();
    auto* splash = new SplashRecord();
    splash->show();
    splash->repaint();
    window->Form_Load();
    LoadWait();
    splash->close();
    window->showMaximized();
}

QPrinter& sharedPrinter()
{
    static QPrinter printer(QPrinter::HighResolution);
    return printer;
}

void LoadWait()
{
    if (!waitWindow)
        waitWindow = new frmWait();
}

void ShowWait()
{
    LoadWait();
    waitWindow->show();
    waitWindow->repaint();
}

void UnloadWait()
{
    if (waitWindow)
        waitWindow->close(); // deletes itself
}

bool isWaitShown()
{
    return waitWindow && waitWindow->isVisible();
}

} // namespace modRecord
