#include "platform/MappedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csetjmp>
#include <csignal>
#include <cstdint>
#include <mutex>

namespace {

// Where the guarded read of this thread jumps to; null outside one.
thread_local sigjmp_buf* volatile t_pLostPage = nullptr;
struct sigaction g_previousBusAction;

void OnBusError(int signal, siginfo_t* info, void* context)
{
    if (sigjmp_buf* jump = t_pLostPage) {
        t_pLostPage = nullptr;
        siglongjmp(*jump, 1);
    }
    // Not a guarded read: whoever handled the signal before does, or, by
    // default, the access repeats once this returns and ends the process.
    const struct sigaction& previous = g_previousBusAction;
    if ((previous.sa_flags & SA_SIGINFO) && previous.sa_sigaction) {
        previous.sa_sigaction(signal, info, context);
    } else if (!(previous.sa_flags & SA_SIGINFO) && previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        previous.sa_handler(signal);
    } else {
        struct sigaction fallback { };
        fallback.sa_handler = SIG_DFL;
        sigaction(SIGBUS, &fallback, nullptr);
    }
}

void InstallBusHandler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action { };
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, &g_previousBusAction);
    });
}

}  // namespace

CMappedFile::~CMappedFile()
{
    Unmap();
}

void CMappedFile::Unmap()
{
    if (m_pData)
        ::munmap(m_pData, m_nSize);
    m_pData = nullptr;
    m_nSize = 0;
}

bool CMappedFile::Map(const std::string& path, uint64_t maxBytes)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat status { };
    void* data = MAP_FAILED;
    uint64_t size = 0;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0) {
        size = std::min<uint64_t>(static_cast<uint64_t>(status.st_size), maxBytes);
        if (size > 0 && size <= SIZE_MAX)
            data = ::mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    }
    ::close(fd);
    if (data == MAP_FAILED)
        return false;
    InstallBusHandler();
    Unmap();
    m_pData = static_cast<uint8_t*>(data);
    m_nSize = static_cast<size_t>(size);
    return true;
}

bool RunGuardingLostPages(void (*read)(void*), void* context)
{
    InstallBusHandler();
    sigjmp_buf jump;
    // The mask is kept so that the jump out of the handler unblocks SIGBUS again.
    if (sigsetjmp(jump, 1) != 0)
        return false;
    t_pLostPage = &jump;
    read(context);
    t_pLostPage = nullptr;
    return true;
}
