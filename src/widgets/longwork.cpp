#include "longwork.h"

#include <QEvent>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QProgressDialog>
#include <QPromise>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent>

#include <exception>

namespace {

// Ends the event loop the window waits in once the progress window shows, so
// that it is entered again taking the user's input: before the window shows
// nothing may be clicked; once it shows, it is modal and only its キャンセル
// can be.
class ShownWatch : public QObject {
public:
    ShownWatch(QWidget* dialog, QEventLoop*& loop) : m_loop(loop)
    {
        dialog->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Show && m_loop)
            m_loop->quit();
        return false;
    }

private:
    QEventLoop*& m_loop;
};

} // namespace

void runLongWork(QWidget* parent, const QString& label,
                 const std::function<void(const LongWorkProgress&)>& work)
{
    QProgressDialog dialog(label, QStringLiteral("キャンセル"), 0, 100, parent);
    dialog.setObjectName(QStringLiteral("frmLongWork"));
    dialog.setWindowTitle(QStringLiteral("Rondella"));
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setMinimumDuration(400);
    dialog.setAutoReset(false);
    dialog.setAutoClose(false);
    dialog.setValue(0);

    std::exception_ptr failure;
    QFutureWatcher<void> watcher;
    // its button, Esc, or its frame closed
    QObject::connect(&dialog, &QProgressDialog::canceled, &watcher, &QFutureWatcher<void>::cancel);
    dialog.setMaximum(1000);
    // The work tells its progress as the count done of a total that may
    // change between its steps (and start again from nought): the window
    // hears of each new thousandth, in its own thread.
    QProgressDialog* shownIn = &dialog;
    // A thread of its own, not one of Qt's shared pool: Qt converts and draws
    // images on that pool's threads, which an import of minutes would hold,
    // and the work's thread begins and ends with the work.
    QThreadPool pool;
    pool.setMaxThreadCount(1);
    const QFuture<void> future
        = QtConcurrent::run(&pool, [&work, &failure, shownIn](QPromise<void>& promise) {
              int told = -1;
              const LongWorkProgress progress = [&promise, &told, shownIn](int done, int total) {
                  const int permille = total > 0
                      ? int(std::clamp(qint64(done) * 1000 / total, qint64(0), qint64(1000)))
                      : 0;
                  if (permille != told) {
                      told = permille;
                      QMetaObject::invokeMethod(
                          shownIn, [shownIn, permille] { shownIn->setValue(permille); },
                          Qt::QueuedConnection);
                  }
                  return !promise.isCanceled();
              };
              try {
                  work(progress);
              } catch (...) {
                  failure = std::current_exception();
              }
          });
    watcher.setFuture(future);
    // Work quicker than a blink ends before the window's events run at all.
    for (int i = 0; i < 20 && !future.isFinished(); ++i)
        QThread::msleep(1);

    QEventLoop* waiting = nullptr;
    ShownWatch shown(&dialog, waiting);
    // The future's own state, not the watcher's: the watcher hears of the end
    // only through an event, which a loop further up the stack may take.
    while (!future.isFinished()) {
        QEventLoop loop;
        QObject::connect(&watcher, &QFutureWatcher<void>::finished, &loop, &QEventLoop::quit);
        waiting = &loop;
        // the work may have ended before the loop could hear of it
        if (!future.isFinished())
            loop.exec(dialog.isVisible() ? QEventLoop::AllEvents
                                         : QEventLoop::ExcludeUserInputEvents);
        waiting = nullptr;
    }
    dialog.close();
    if (failure)
        std::rethrow_exception(failure);
}
