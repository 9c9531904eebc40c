#include "startup.h"

#include "frmmain.h"
#include "store/backup.h"
#include "store/collection.h"
#include "widgets/msgbox.h"
#include "widgets/secondary.h"

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

// One Rondella per collection folder: a second one on the same folder would
// write the same file behind the first one's back. A lock left by a program
// that crashed or was killed is stale and is taken over.
bool lockCollection(const QString& folder, std::unique_ptr<QLockFile>& held)
{
    const QString path
        = QDir(folder).filePath(QString::fromUtf16(kDatabaseFile) + QStringLiteral(".lock"));
    if (QFileInfo(path).isDir()) {
        MsgBox(
            QStringLiteral("コレクションを開けません。\rロック用のファイル「%"
                           "1」の名前でフォルダーがあります。\r"
                           "そのフォルダーを移動するか名前を変えてから、もう一度起動してください。")
                .arg(QDir::toNativeSeparators(path)),
            QMessageBox::Ok, QMessageBox::Critical);
        return false;
    }
    auto lock = std::make_unique<QLockFile>(path);
    lock->setStaleLockTime(0);
    bool locked = lock->tryLock(0);
    qint64 pid = 0;
    QString host, program;
    if (!locked && lock->error() == QLockFile::LockFailedError
        && !lock->getLockInfo(&pid, &host, &program)) {
        // A lock file that says nothing readable (a power cut right after it
        // was made leaves it empty) is held only while its maker keeps it
        // open; a Rondella writing it this very moment gets a second to finish.
        if (QFileInfo(path).size() == 0
            && QFileInfo(path).lastModified().msecsTo(QDateTime::currentDateTime()) < 1000)
            QThread::sleep(1);
        locked = lock->tryLock(0)
            || (!lock->getLockInfo(&pid, &host, &program) && lock->removeStaleLockFile()
                && lock->tryLock(0));
    }
    if (!locked) {
        if (lock->error() == QLockFile::LockFailedError) {
            QString holder;
            if (pid > 0)
                holder = QStringLiteral("\r（コンピューター「%1」のプロセス %2%3）")
                             .arg(host)
                             .arg(pid)
                             .arg(program.isEmpty() ? QString() : QStringLiteral("・") + program);
            MsgBox(
                QStringLiteral("このフォルダーのコレクションは、別の Rondella で開かれています。\r"
                               "（%1）%2\r開いている Rondella をお使いください。")
                    .arg(QDir::toNativeSeparators(folder), holder),
                QMessageBox::Ok, QMessageBox::Information);
            return false;
        }
        // A folder where no lock can be written (read-only): nothing can be
        // written there either, so there is nothing to guard.
        return true;
    }
    held = std::move(lock);
    return true;
}

} // namespace

bool Main()
{
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    loadQtTranslations();
    setJapaneseFont();
    auto collection = std::make_unique<Collection>(QDir::currentPath());
    std::unique_ptr<QLockFile> lock;
    if (!lockCollection(collection->strAppPath, lock))
        return false;
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
