// Jacket pictures set from within the program: from a file, the clipboard or
// a drop, on the main window and in the CD form; replaced and deleted
// pictures kept in the trash, the newest ten per CD; a file that is no
// picture refused with nothing changed.
#include "entry/frminputcd.h"
#include "mainui.h"
#include "mainwindow/frmmain.h"
#include "store/catalogue.h"
#include "store/collection.h"
#include "store/jacketfiles.h"
#include "testsupport.h"
#include "widgets/jacketbox.h"
#include "widgets/msgbox.h"

#include <QClipboard>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QImageReader>
#include <QMimeData>
#include <QTest>

namespace {

QImage solid(int w, int h, Qt::GlobalColor colour)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// The colour at the middle of the stored picture, and its size.
QColor middleOf(const QString& path, QSize* size = nullptr)
{
    QImageReader reader(path);
    const QImage image = reader.read();
    if (size)
        *size = image.size();
    return image.isNull() ? QColor() : image.pixelColor(image.width() / 2, image.height() / 2);
}

bool near(const QColor& a, Qt::GlobalColor b)
{
    const QColor c(b);
    return std::abs(a.red() - c.red()) < 40 && std::abs(a.green() - c.green()) < 40
        && std::abs(a.blue() - c.blue()) < 40;
}

void drop(QWidget* target, QMimeData* data)
{
    const QPoint middle = target->rect().center();
    QDragEnterEvent enter(middle, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent dropped(QPointF(middle), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropped);
}

} // namespace

class TestJacket : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void fromAFileScaledAndTheOriginalUntouched();
    void fromTheClipboardAndByADrop();
    void aFileThatIsNoPictureChangesNothing();
    void theTrashKeepsTheNewestTen();
    void deletingTheCdKeepsItsPicture();
    void theCdFormSetsTheJacketTheWindowShows();

private:
    JacketBox* box() { return named<JacketBox>(m_w, "picCDphoto"); }
    QString jacketOf(int cdid) { return jacket::pictureOf(m_folder->path(), cdid); }
    QStringList trash()
    {
        return QDir(jacket::trashFolder(m_folder->path())).entryList(QDir::Files, QDir::Name);
    }
    std::unique_ptr<StartupFolder> m_folder;
    QPointer<frmMain> m_w;
};

void TestJacket::init()
{
    m_folder = std::make_unique<StartupFolder>();
    writeCollection(m_folder->path(), {cd(1, "運命"), cd(2, "田園"), cd(12, "第九")}, {});
    m_w = startMain();
    QVERIFY(m_w);
    cmdTop(m_w)->click(); // CD 1 on show
    QCOMPARE(box()->cd(), std::optional<qint64>(1));
}

void TestJacket::cleanup()
{
    endTest(m_w, m_folder);
}

void TestJacket::fromAFileScaledAndTheOriginalUntouched()
{
    const QString original = m_folder->file("scan.png");
    QVERIFY(solid(2400, 1000, Qt::red).save(original));
    const QByteArray before = fileHash(original);
    QTimer::singleShot(0, [original] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->selectFile(original);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    box()->findChild<QAction*>("mnuJacketChoose")->trigger();
    QSize size;
    QVERIFY(near(middleOf(jacketOf(1), &size), Qt::red));
    QCOMPARE(size, QSize(1200, 500));
    QCOMPARE(QImageReader(jacketOf(1)).format(), QByteArray("jpeg"));
    QCOMPARE(fileHash(original), before);
    QVERIFY(!box()->pixmap().isNull());
    QVERIFY(near(box()->pixmap().toImage().pixelColor(10, box()->pixmap().height() / 2), Qt::red));
    QCOMPARE(trash(), QStringList()); // nothing was replaced
    QVERIFY(!QFileInfo::exists(jacketOf(1) + ".new"));
}

void TestJacket::fromTheClipboardAndByADrop()
{
    QApplication::clipboard()->setImage(solid(300, 300, Qt::blue));
    box()->findChild<QAction*>("mnuJacketPaste")->trigger();
    QVERIFY(near(middleOf(jacketOf(1)), Qt::blue));
    // a dropped file replaces it; the pasted picture goes to the trash
    QVERIFY(solid(200, 100, Qt::green).save(m_folder->file("dropped.bmp")));
    auto* files = new QMimeData;
    files->setUrls({QUrl::fromLocalFile(m_folder->file("dropped.bmp"))});
    drop(box(), files);
    QVERIFY(near(middleOf(jacketOf(1)), Qt::green));
    QCOMPARE(trash().size(), 1);
    QVERIFY(
        near(middleOf(jacket::trashFolder(m_folder->path()) + "/" + trash().first()), Qt::blue));
    // dropped picture data, on another CD
    cmdNext(m_w)->click();
    QCOMPARE(box()->cd(), std::optional<qint64>(2));
    auto* data = new QMimeData;
    data->setImageData(solid(100, 100, Qt::yellow));
    drop(box(), data);
    QVERIFY(near(middleOf(jacketOf(2)), Qt::yellow));
    QVERIFY(near(middleOf(jacketOf(1)), Qt::green));
    // 削除 keeps it in the trash
    box()->findChild<QAction*>("mnuJacketDelete")->trigger();
    QVERIFY(!QFileInfo::exists(jacketOf(2)));
    QCOMPARE(trash().size(), 2);
    QVERIFY(answeredTexts().isEmpty());
    delete files;
    delete data;
}

void TestJacket::aFileThatIsNoPictureChangesNothing()
{
    QDir().mkpath(m_folder->file("jacket"));
    QVERIFY(solid(100, 100, Qt::red).save(jacketOf(1), "JPG"));
    const QByteArray before = fileHash(jacketOf(1));
    QFile text(m_folder->file("notes.jpg"));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("これは写真ではありません");
    text.close();
    auto* files = new QMimeData;
    files->setUrls({QUrl::fromLocalFile(m_folder->file("notes.jpg"))});
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    drop(box(), files);
    const QString said = answeredTexts().value(0);
    QVERIFY2(said.contains("画像として読めません") && said.contains("notes.jpg"), qPrintable(said));
    QCOMPARE(fileHash(jacketOf(1)), before);
    QCOMPARE(trash(), QStringList());
    // an empty clipboard says so
    QApplication::clipboard()->clear();
    MsgBoxSetNextAnswers({QMessageBox::Ok});
    box()->findChild<QAction*>("mnuJacketPaste")->trigger();
    QVERIFY(answeredTexts().value(0).contains("クリップボードに画像がありません"));
    QCOMPARE(fileHash(jacketOf(1)), before);
    delete files;
}

void TestJacket::theTrashKeepsTheNewestTen()
{
    QDir().mkpath(m_folder->file("jacket"));
    QVERIFY(solid(50, 50, Qt::black).save(jacketOf(12), "JPG"));
    jacket::moveToTrash(m_folder->path(), 12); // another CD's, whose number begins with 1
    const Qt::GlobalColor colours[]
        = {Qt::red,      Qt::green,       Qt::blue,    Qt::cyan,      Qt::magenta,
           Qt::yellow,   Qt::gray,        Qt::darkRed, Qt::darkGreen, Qt::darkBlue,
           Qt::darkCyan, Qt::darkMagenta, Qt::white};
    for (Qt::GlobalColor c : colours)
        jacket::storePicture(m_folder->path(), 1, solid(40, 40, c));
    QVERIFY(near(middleOf(jacketOf(1)), Qt::white));
    QStringList ofOne = trash().filter(QRegularExpression("^1-"));
    QCOMPARE(ofOne.size(), 10);
    QCOMPARE(trash().filter(QRegularExpression("^12-")).size(), 1);
    // the oldest two went: the eleven replaced but red and green are kept
    QList<Qt::GlobalColor> kept;
    for (const QString& name : ofOne) {
        const QColor c = middleOf(jacket::trashFolder(m_folder->path()) + "/" + name);
        for (Qt::GlobalColor candidate : colours)
            if (near(c, candidate))
                kept << candidate;
    }
    QCOMPARE(kept.size(), 10);
    QVERIFY(!kept.contains(Qt::red) && !kept.contains(Qt::green) && !kept.contains(Qt::white));
    for (int i = 2; i < 12; ++i)
        QVERIFY2(kept.contains(colours[i]), qPrintable(QString::number(i)));
}

void TestJacket::deletingTheCdKeepsItsPicture()
{
    closeMain(m_w);
    QDir().mkpath(m_folder->file("jacket"));
    QVERIFY(solid(60, 60, Qt::red).save(jacketOf(2), "JPG"));
    QVERIFY(solid(60, 60, Qt::blue).save(jacketOf(1), "JPG"));
    db().OpenDataContext();
    View& cds = *db().cds();
    cds.moveFirst();
    cds.moveNext(); // CD 2
    catalogue::deleteCurrentCD(db().connection(), cds, *db().songsOfCD());
    QVERIFY(!QFileInfo::exists(jacketOf(2)));
    QCOMPARE(trash().size(), 1);
    QVERIFY(near(middleOf(jacket::trashFolder(m_folder->path()) + "/" + trash().first()), Qt::red));
    QVERIFY(QFileInfo::exists(jacketOf(1))); // the others stay
    db().CloseDataContext();
}

void TestJacket::theCdFormSetsTheJacketTheWindowShows()
{
    QTimer::singleShot(0, [this] {
        auto* form = qobject_cast<frmInputCD*>(QApplication::activeModalWidget());
        QVERIFY(form);
        form->cmdFirst->click();
        QCOMPARE(form->picJacket->cd(), std::optional<qint64>(1));
        form->picJacket->takePicture(solid(500, 500, Qt::magenta));
        // a CD being added has no jacket yet
        form->cmdAdd->click();
        QCOMPARE(form->picJacket->cd(), std::nullopt);
        form->cmdCancel->click();
        form->cmdQuit->click();
    });
    m_w->findChild<QAction*>("mnuCDinput")->trigger();
    QVERIFY(near(middleOf(jacketOf(1)), Qt::magenta));
    cmdTop(m_w)->click();
    QVERIFY(near(box()->pixmap().toImage().pixelColor(box()->pixmap().width() / 2,
                                                      box()->pixmap().height() / 2),
                 Qt::magenta));
}

RONDELLA_TEST_MAIN(TestJacket)
#include "tst_jacket.moc"
