#include "platform/SignalCleanup.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

namespace {

// The handler may neither allocate nor take a lock: it walks a list that only
// ever grows, of slots allocated beforehand, each in force or free for reuse.
struct CleanupSlot {
    std::atomic<int> state{0};  // 0 free, 1 being filled, 2 in force
    bool bFolder = false;
    char path[PATH_MAX] = {};
    CleanupSlot* next = nullptr;
};

std::atomic<CleanupSlot*> g_head{nullptr};

void RemoveRegistered()
{
    for (bool folders : {false, true}) {
        for (CleanupSlot* slot = g_head.load(std::memory_order_acquire); slot; slot = slot->next) {
            if (slot->state.load(std::memory_order_acquire) != 2 || slot->bFolder != folders)
                continue;
            if (folders)
                ::rmdir(slot->path);
            else
                ::unlink(slot->path);
        }
    }
}

void OnEndingSignal(int signal)
{
    const int savedErrno = errno;
    RemoveRegistered();
    // End by the same signal, so the caller sees how the process ended.
    std::signal(signal, SIG_DFL);
    ::raise(signal);
    errno = savedErrno;
}

// A free slot taken for filling (state 1): a released one, or a new one at the head.
CleanupSlot* TakeSlot()
{
    for (CleanupSlot* slot = g_head.load(std::memory_order_acquire); slot; slot = slot->next) {
        int expected = 0;
        if (slot->state.compare_exchange_strong(expected, 1, std::memory_order_acq_rel))
            return slot;
    }
    auto* slot = new CleanupSlot;  // kept for the process's life, for reuse
    slot->state.store(1, std::memory_order_relaxed);
    CleanupSlot* head = g_head.load(std::memory_order_acquire);
    do {
        slot->next = head;
    } while (!g_head.compare_exchange_weak(head, slot, std::memory_order_acq_rel, std::memory_order_acquire));
    return slot;
}

}  // namespace

void RegisterCleanupPath(const std::string& path, bool bFolder)
{
    if (path.empty() || path.size() >= PATH_MAX)
        return;
    CleanupSlot* slot = TakeSlot();
    std::memcpy(slot->path, path.c_str(), path.size() + 1);
    slot->bFolder = bFolder;
    slot->state.store(2, std::memory_order_release);
}

void UnregisterCleanupPath(const std::string& path)
{
    for (CleanupSlot* slot = g_head.load(std::memory_order_acquire); slot; slot = slot->next) {
        if (slot->state.load(std::memory_order_acquire) == 2 && path == slot->path) {
            slot->state.store(0, std::memory_order_release);
            return;
        }
    }
}

void InstallSignalCleanup()
{
    struct sigaction action { };
    action.sa_handler = OnEndingSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&action.sa_mask, signal);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    std::signal(SIGXFSZ, SIG_IGN);
}
