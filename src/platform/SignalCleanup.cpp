#include "platform/SignalCleanup.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

namespace {

// Fixed storage: the handler may neither allocate nor take a lock.
struct CleanupSlot {
    std::atomic<int> state{0};  // 0 free, 1 being filled, 2 in force
    bool bFolder = false;
    char path[PATH_MAX] = {};
};

CleanupSlot g_slots[16];

void RemoveRegistered()
{
    for (bool folders : {false, true}) {
        for (CleanupSlot& slot : g_slots) {
            if (slot.state.load(std::memory_order_acquire) != 2 || slot.bFolder != folders)
                continue;
            if (folders)
                ::rmdir(slot.path);
            else
                ::unlink(slot.path);
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

}  // namespace

void RegisterCleanupPath(const std::string& path, bool bFolder)
{
    if (path.empty() || path.size() >= PATH_MAX)
        return;
    for (CleanupSlot& slot : g_slots) {
        int expected = 0;
        if (!slot.state.compare_exchange_strong(expected, 1, std::memory_order_acq_rel))
            continue;
        std::memcpy(slot.path, path.c_str(), path.size() + 1);
        slot.bFolder = bFolder;
        slot.state.store(2, std::memory_order_release);
        return;
    }
}

void UnregisterCleanupPath(const std::string& path)
{
    for (CleanupSlot& slot : g_slots) {
        if (slot.state.load(std::memory_order_acquire) == 2 && path == slot.path) {
            slot.state.store(0, std::memory_order_release);
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
