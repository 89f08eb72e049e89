#include "app/WorkerDialog.h"

#include <QApplication>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QProgressDialog>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <climits>
#include <exception>

#include "doc/ThreadMessages.h"
#include "platform/Exceptions.h"

CDialogProgress::CDialogProgress(QProgressDialog* dialog)
    : m_dialog(dialog)
{
}

void CDialogProgress::Advance(uint64_t done, uint64_t total)
{
    // The bar counts in ints: a large total is scaled down.
    const uint64_t scale = total / INT_MAX + 1;
    QMetaObject::invokeMethod(
        m_dialog,
        [dialog = m_dialog, done = int(done / scale), total = int(total / scale)] {
            if (!dialog || dialog->wasCanceled())
                return;
            dialog->setMaximum(total);
            dialog->setValue(std::min(done, total));
        },
        Qt::QueuedConnection);
}

void CDialogProgress::SetLabel(const QString& text)
{
    QMetaObject::invokeMethod(
        m_dialog,
        [dialog = m_dialog, text] {
            if (dialog && !dialog->wasCanceled())
                dialog->setLabelText(text);
        },
        Qt::QueuedConnection);
}

std::vector<std::string> RunOffWindowThread(
    QWidget* parent, const QString& label, const std::function<void(CDialogProgress&)>& work, bool cancellable)
{
    QProgressDialog dialog(label, QStringLiteral("Cancel"), 0, 0, parent);
    if (!cancellable)
        dialog.setCancelButton(nullptr);
    dialog.setObjectName("WorkProgress");
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(0);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    CDialogProgress progress(&dialog);
    QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [&progress] { progress.Cancel(); });
    // Shown first: a Cancel as it appears stops the work before its first step.
    dialog.show();
    QFutureWatcher<std::vector<std::string>> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(QtConcurrent::run([&] {
        std::vector<std::string> said;
        CThreadMessages messages(said);
        // Nothing may leave the worker: what the work did not catch is said.
        try {
            work(progress);
        } catch (const CException& e) {
            said.push_back(e.GetErrorMessage());
        } catch (const std::exception& e) {
            said.push_back(e.what());
        }
        return said;
    }));
    if (!watcher.isFinished())
        loop.exec();
    return watcher.result();
}

void RunOnWindowThread(const std::function<void()>& fn)
{
    if (QThread::currentThread() == qApp->thread())
        fn();
    else
        QMetaObject::invokeMethod(qApp, fn, Qt::BlockingQueuedConnection);
}
