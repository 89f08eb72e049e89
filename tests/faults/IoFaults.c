// Loaded with LD_PRELOAD into a program under test: fails the Nth of the
// program's file system calls as a failing disk or a full one would.
//   TAVREL_FAULT_N       the call to fail, counting from 1; 0 or unset: only count
//   TAVREL_FAULT_ERROR   EIO, ENOSPC, EDQUOT or EINTR; SHORT (a write or read of
//                        half the bytes) or ZERO (a write or read of none)
//                        or KILL: the process is killed by SIGKILL before the call
//   TAVREL_FAULT_PERSIST 1: every counted call from the Nth on fails, not only the Nth
//   TAVREL_FAULT_REPORT  a file that gets, at exit, the number of calls counted
//                        and the name of the call that failed ("37 write"),
//                        then the names of all counted calls in order
// Calls on standard input, output and error are not counted: the program's
// messages must get out.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

enum Mode { kFail, kShort, kZero, kKill };

static long g_target;
static int g_persist;
static int g_errno = EIO;
static enum Mode g_mode = kFail;
static long g_count;
static const char* g_failed = "";
static char g_names[1 << 16];
static size_t g_namesUsed;

__attribute__((constructor)) static void Configure(void)
{
    static const struct {
        const char* name;
        int error;
        enum Mode mode;
    } kErrors[] = {{"EIO", EIO, kFail}, {"ENOSPC", ENOSPC, kFail}, {"EDQUOT", EDQUOT, kFail}, {"EINTR", EINTR, kFail},
        {"SHORT", EIO, kShort}, {"ZERO", EIO, kZero}, {"KILL", EIO, kKill}};
    const char* n = getenv("TAVREL_FAULT_N");
    const char* error = getenv("TAVREL_FAULT_ERROR");
    const char* persist = getenv("TAVREL_FAULT_PERSIST");
    g_target = n ? atol(n) : 0;
    g_persist = persist && strcmp(persist, "1") == 0;
    for (size_t i = 0; error && i < sizeof kErrors / sizeof kErrors[0]; ++i) {
        if (strcmp(error, kErrors[i].name) == 0) {
            g_errno = kErrors[i].error;
            g_mode = kErrors[i].mode;
        }
    }
}

__attribute__((destructor)) static void Report(void)
{
    const char* path = getenv("TAVREL_FAULT_REPORT");
    if (!path)
        return;
    FILE* f = fopen(path, "w");
    if (f) {
        fprintf(f, "%ld %s\n%.*s\n", g_count, *g_failed ? g_failed : "-", (int)g_namesUsed, g_names);
        fclose(f);
    }
}

// True when this call is to fail. Counting is not thread-safe by design:
// the programs under test write from one thread, and a race only shifts N.
static int Hit(const char* name, int fd)
{
    if (fd >= 0 && fd <= 2)
        return 0;
    const long n = __atomic_add_fetch(&g_count, 1, __ATOMIC_RELAXED);
    const size_t length = strlen(name);
    if (g_namesUsed + length + 1 < sizeof g_names) {
        memcpy(g_names + g_namesUsed, name, length);
        g_names[g_namesUsed + length] = ' ';
        g_namesUsed += length + 1;
    }
    if (g_target <= 0 || n < g_target || (n > g_target && !g_persist))
        return 0;
    if (n == g_target)
        g_failed = name;
    if (g_mode == kKill)
        raise(SIGKILL);
    return 1;
}

#define REAL(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

// A transfer counted as `label`: its short or zero variant, or the error.
#define TRANSFER(ret, fn, label, fd, count, params, args)                                                              \
    ret fn params                                                                                                      \
    {                                                                                                                  \
        if (Hit(label, fd)) {                                                                                          \
            if (g_mode == kZero)                                                                                       \
                return 0;                                                                                              \
            if (g_mode == kFail) {                                                                                     \
                errno = g_errno;                                                                                       \
                return -1;                                                                                             \
            }                                                                                                          \
            if ((count) > 1)                                                                                           \
                count /= 2;                                                                                            \
        }                                                                                                              \
        return REAL(fn) args;                                                                                          \
    }

TRANSFER(ssize_t, write, "write", fd, count, (int fd, const void* buf, size_t count), (fd, buf, count))
TRANSFER(ssize_t, pwrite, "pwrite", fd, count, (int fd, const void* buf, size_t count, off_t at), (fd, buf, count, at))
TRANSFER(ssize_t, pwrite64, "pwrite", fd, count, (int fd, const void* buf, size_t count, off64_t at),
    (fd, buf, count, at))
TRANSFER(ssize_t, read, "read", fd, count, (int fd, void* buf, size_t count), (fd, buf, count))
TRANSFER(ssize_t, pread, "pread", fd, count, (int fd, void* buf, size_t count, off_t at), (fd, buf, count, at))
TRANSFER(ssize_t, pread64, "pread", fd, count, (int fd, void* buf, size_t count, off64_t at), (fd, buf, count, at))
TRANSFER(ssize_t, copy_file_range, "copy_file_range", out, count,
    (int in, off64_t* inOff, int out, off64_t* outOff, size_t count, unsigned flags),
    (in, inOff, out, outOff, count, flags))

// Calls that either work or fail: an error (or, for SHORT and ZERO, EIO).
#define ALL_OR_NOTHING(fn, fd, params, args)                                                                           \
    int fn params                                                                                                      \
    {                                                                                                                  \
        if (Hit(#fn, fd)) {                                                                                            \
            errno = g_mode == kFail ? g_errno : EIO;                                                                   \
            return -1;                                                                                                 \
        }                                                                                                              \
        return REAL(fn) args;                                                                                          \
    }

ALL_OR_NOTHING(fsync, fd, (int fd), (fd))
ALL_OR_NOTHING(fdatasync, fd, (int fd), (fd))
ALL_OR_NOTHING(fchmod, fd, (int fd, mode_t mode), (fd, mode))
ALL_OR_NOTHING(fchown, fd, (int fd, uid_t owner, gid_t group), (fd, owner, group))
ALL_OR_NOTHING(rename, -1, (const char* from, const char* to), (from, to))
ALL_OR_NOTHING(renameat, -1, (int fromDir, const char* from, int toDir, const char* to), (fromDir, from, toDir, to))
ALL_OR_NOTHING(renameat2, -1, (int fromDir, const char* from, int toDir, const char* to, unsigned flags),
    (fromDir, from, toDir, to, flags))
ALL_OR_NOTHING(linkat, -1, (int fromDir, const char* from, int toDir, const char* to, int flags),
    (fromDir, from, toDir, to, flags))

int close(int fd)
{
    // A failed close still closes the descriptor, as on Linux.
    if (Hit("close", fd)) {
        REAL(close)(fd);
        errno = g_mode == kFail ? g_errno : EIO;
        return -1;
    }
    return REAL(close)(fd);
}
