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
    const char* n = getenv("TAVREL_FAULT_N");
    const char* error = getenv("TAVREL_FAULT_ERROR");
    const char* persist = getenv("TAVREL_FAULT_PERSIST");
    g_target = n ? atol(n) : 0;
    g_persist = persist && strcmp(persist, "1") == 0;
    if (!error || strcmp(error, "EIO") == 0)
        g_errno = EIO;
    else if (strcmp(error, "ENOSPC") == 0)
        g_errno = ENOSPC;
    else if (strcmp(error, "EDQUOT") == 0)
        g_errno = EDQUOT;
    else if (strcmp(error, "EINTR") == 0)
        g_errno = EINTR;
    else if (strcmp(error, "SHORT") == 0)
        g_mode = kShort;
    else if (strcmp(error, "ZERO") == 0)
        g_mode = kZero;
    else if (strcmp(error, "KILL") == 0)
        g_mode = kKill;
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

// The short or zero variants of a transfer, or the error.
#define TRANSFER(name, fd, count, call)                                                                                \
    do {                                                                                                               \
        if (Hit(name, fd)) {                                                                                           \
            if (g_mode == kZero)                                                                                       \
                return 0;                                                                                              \
            if (g_mode != kFail && (count) > 1) {                                                                      \
                count = (count) / 2;                                                                                   \
                return call;                                                                                           \
            }                                                                                                          \
            if (g_mode == kFail) {                                                                                     \
                errno = g_errno;                                                                                       \
                return -1;                                                                                             \
            }                                                                                                          \
        }                                                                                                              \
        return call;                                                                                                   \
    } while (0)

ssize_t write(int fd, const void* buf, size_t count)
{
    TRANSFER("write", fd, count, REAL(write)(fd, buf, count));
}

ssize_t pwrite(int fd, const void* buf, size_t count, off_t offset)
{
    TRANSFER("pwrite", fd, count, REAL(pwrite)(fd, buf, count, offset));
}

ssize_t pwrite64(int fd, const void* buf, size_t count, off64_t offset)
{
    TRANSFER("pwrite", fd, count, REAL(pwrite64)(fd, buf, count, offset));
}

ssize_t read(int fd, void* buf, size_t count)
{
    TRANSFER("read", fd, count, REAL(read)(fd, buf, count));
}

ssize_t pread(int fd, void* buf, size_t count, off_t offset)
{
    TRANSFER("pread", fd, count, REAL(pread)(fd, buf, count, offset));
}

ssize_t pread64(int fd, void* buf, size_t count, off64_t offset)
{
    TRANSFER("pread", fd, count, REAL(pread64)(fd, buf, count, offset));
}

ssize_t copy_file_range(int in, off64_t* inOff, int out, off64_t* outOff, size_t count, unsigned flags)
{
    TRANSFER("copy_file_range", out, count, REAL(copy_file_range)(in, inOff, out, outOff, count, flags));
}

// Calls that either work or fail: an error (or, for SHORT and ZERO, EIO).
#define ALL_OR_NOTHING(name, fd, call)                                                                                 \
    do {                                                                                                               \
        if (Hit(name, fd)) {                                                                                           \
            errno = g_mode == kFail ? g_errno : EIO;                                                                   \
            return -1;                                                                                                 \
        }                                                                                                              \
        return call;                                                                                                   \
    } while (0)

int fsync(int fd)
{
    ALL_OR_NOTHING("fsync", fd, REAL(fsync)(fd));
}

int fdatasync(int fd)
{
    ALL_OR_NOTHING("fdatasync", fd, REAL(fdatasync)(fd));
}

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

int fchmod(int fd, mode_t mode)
{
    ALL_OR_NOTHING("fchmod", fd, REAL(fchmod)(fd, mode));
}

int fchown(int fd, uid_t owner, gid_t group)
{
    ALL_OR_NOTHING("fchown", fd, REAL(fchown)(fd, owner, group));
}

int rename(const char* from, const char* to)
{
    ALL_OR_NOTHING("rename", -1, REAL(rename)(from, to));
}

int renameat(int fromDir, const char* from, int toDir, const char* to)
{
    ALL_OR_NOTHING("renameat", -1, REAL(renameat)(fromDir, from, toDir, to));
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags)
{
    ALL_OR_NOTHING("renameat2", -1, REAL(renameat2)(fromDir, from, toDir, to, flags));
}

int linkat(int fromDir, const char* from, int toDir, const char* to, int flags)
{
    ALL_OR_NOTHING("linkat", -1, REAL(linkat)(fromDir, from, toDir, to, flags));
}
