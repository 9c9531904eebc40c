#include "longwork.h"

#include <QCoreApplication>
#include <QProgressDialog>
#include <QThread>

#include <atomic>
#include <exception>
#include <memory>

void runLongWork(QWidget* parent, const QString& label,
                 const std::function<void(const LongWorkProgress&)>& work)
{
    std::atomic<int> done{0}, total{0};
    std::atomic<bool> cancelled{false};
    std::exception_ptr failure;
    const LongWorkProgress progress = [&](int d, int t) {
        done = d;
        total = t;
        return !cancelled.load();
    };
    std::unique_ptr<QThread> thread(QThread::create([&] {
        try {
            work(progress);
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    QProgressDialog dialog(label, QStringLiteral("キャンセル"), 0, 100, parent);
    dialog.setObjectName(QStringLiteral("frmLongWork"));
    dialog.setWindowTitle(QStringLiteral("Rondella"));
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setMinimumDuration(400);
    dialog.setAutoReset(false);
    dialog.setAutoClose(false);
    thread->start();
    dialog.setValue(0);
    while (!thread->wait(20)) {
        if (dialog.wasCanceled()) // its button, Esc, or its frame closed
            cancelled = true;
        dialog.setMaximum(std::max(total.load(), 1));
        dialog.setValue(std::min(done.load(), dialog.maximum()));
        // Before the window shows nothing may be clicked; once it shows, it is
        // modal and only its キャンセル can be.
        QCoreApplication::processEvents(dialog.isVisible() ? QEventLoop::AllEvents
                                                           : QEventLoop::ExcludeUserInputEvents);
    }
    dialog.close();
    if (failure)
        std::rethrow_exception(failure);
}
