#include "startup.h"

#include "commandline.h"
#include "frmmain.h"
#include "store/backup.h"
#include "store/collection.h"
#include "store/collectionfolder.h"
#include "store/folderlock.h"
#include "widgets/msgbox.h"
#include "widgets/secondary.h"
#include "widgets/settings.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QLockFile>
#include <QPrinter>
#include <QScreen>
#include <QThread>
#include <QTranslator>

#include <cstdio>

namespace {

// Qt's own texts (page set-up, OK/Cancel, a text box's context menu) in Japanese.
void loadQtTranslations()
{
    static QTranslator* qtTranslator = nullptr;
    if (qtTranslator)
        return;
    qtTranslator = new QTranslator(qApp);
    if (qtTranslator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qt"),
                           QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtTranslator);
}

// The Japanese Gothic first; a font covering JIS X 0213 behind it for the
// characters the first lacks (𠮷 among them).
void setJapaneseFont()
{
    QFont font = QApplication::font();
    QStringList families{QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")};
    for (const QString& f : font.families())
        if (!families.contains(f))
            families << f;
    font.setFamilies(families);
    QApplication::setFont(font);
}

} // namespace

namespace {

// A lock held as long as the object lives. Made a child of the application,
// it is let go of when the application ends, even by a process (a test, a
// script) that never runs the event loop and never closes the window.
class HeldLock : public QObject {
public:
    explicit HeldLock(std::unique_ptr<QLockFile> lock) : QObject(qApp), m_lock(std::move(lock)) { }

private:
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace

bool Main(const QStringList& arguments)
{
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    loadQtTranslations();
    setJapaneseFont();
    const QString lastFolderKey = QStringLiteral("collection/lastFolder");
    const StartFolder start
        = startFolderOf(arguments, userSettings()->value(lastFolderKey).toString());
    QString refusal = start.refusal;
    if (refusal.isEmpty() && !start.folder.isEmpty()) {
        refusal = collectionfolder::prepare(start.folder);
        if (refusal.isEmpty())
            QDir::setCurrent(start.folder);
    }
    if (!refusal.isEmpty()) {
        // said on the terminal too, for a start from one
        std::fprintf(stderr, "%s\n", refusal.toLocal8Bit().constData());
        MsgBox(refusal, QMessageBox::Ok, QMessageBox::Critical);
        return false;
    }
    userSettings()->setValue(lastFolderKey, QDir::currentPath());
    auto collection = std::make_unique<Collection>(QDir::currentPath());
    FolderLock held = lockCollectionFolder(collection->strAppPath());
    if (!held.refusal.isEmpty()) {
        MsgBox(held.refusal, QMessageBox::Ok,
               held.inUse ? QMessageBox::Information : QMessageBox::Critical);
        return false;
    }
    std::unique_ptr<QLockFile> lock = std::move(held.lock);
    backup::removeLeftovers(collection->databasePath());
    auto* window
        = new frmMain(std::move(collection), lock ? new HeldLock(std::move(lock)) : nullptr);
    // However the program ends, the collection file is closed before Qt's
    // database layer goes away.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, window,
                     [window] { window->db.CloseDataContext(); });
    auto* splash = new SplashRecord();
    splash->show();
    splash->repaint();
    window->Form_Load();
    window->LoadWait();
    splash->close();
    window->showInItsPlace();
    return true;
}
