#pragma once
// Long work of the window on a worker thread, under a window-modal progress
// dialog: the window keeps painting while it runs, the work polls the
// dialog's Cancel through IProgress, and what it says through Ui() there is
// kept and handed back, to be shown on the window's thread.
#include <QPointer>
#include <QString>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "doc/Progress.h"

class QProgressDialog;
class QWidget;

// The dialog as the work sees it: every call may come from the worker.
class CDialogProgress final : public IProgress {
public:
    explicit CDialogProgress(QProgressDialog* dialog);
    void Advance(uint64_t done, uint64_t total) override;
    bool Cancelled() override { return m_bCancelled.load(); }
    void Cancel() { m_bCancelled = true; }
    // A new text above the bar.
    void SetLabel(const QString& text);

private:
    QPointer<QProgressDialog> m_dialog;
    std::atomic<bool> m_bCancelled{false};
};

// Runs work on a worker while the window waits under the dialog, shown
// before the work starts (without a Cancel button unless cancellable);
// returns what the work said there.
std::vector<std::string> RunOffWindowThread(QWidget* parent, const QString& label,
    const std::function<void(CDialogProgress&)>& work, bool cancellable = true);
// From the worker: runs fn on the window's thread (a question) and waits for it.
void RunOnWindowThread(const std::function<void()>& fn);
