#include "platform/Backup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/CoreError.h"
#include "platform/Format.h"
#include "platform/PathParts.h"

namespace {

constexpr char kBackupFailed[] = "Cannot make the backup copy %s.";
constexpr char kFolderReadOnly[] = "The folder is marked read-only.";
constexpr char kNoFreeName[] = "Every backup name up to %s is taken.";
constexpr unsigned kMaxBackups = 9999;

[[noreturn]] void Fail(const std::string& name, const std::string& reason)
{
    throw CCoreError(FormatString(kBackupFailed, name.c_str()), reason, CCoreError::Kind::System);
}

[[noreturn]] void FailErrno(const std::string& name, int err)
{
    Fail(name, std::strerror(err));
}

// Closes a descriptor on every path.
struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

void CopyAll(int from, int to, const std::string& name)
{
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = ::read(from, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            FailErrno(name, errno);
        if (n == 0)
            return;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(to, buffer.data() + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                FailErrno(name, w < 0 ? errno : ENOSPC);
            done += w;
        }
    }
}

}  // namespace

std::string BackupName(const std::string& path, unsigned n)
{
    return n <= 1 ? path + ".bak" : path + "." + std::to_string(n) + ".bak";
}

std::string MakeBackup(const std::string& path)
{
    const std::string first = BackupName(path, 1);
    Fd source;
    source.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (source.fd < 0)
        FailErrno(first, errno);
    struct stat st { };
    if (::fstat(source.fd, &st) != 0)
        FailErrno(first, errno);
    if (!S_ISREG(st.st_mode))
        FailErrno(first, EINVAL);

    const std::string folder = FolderPart(path);
    struct stat dir { };
    if (::stat(folder.c_str(), &dir) != 0)
        FailErrno(first, errno);
    // Write bits count even for the administrator, whom access() lets through.
    if ((dir.st_mode & 0222) == 0)
        Fail(first, kFolderReadOnly);
    if (::access(folder.c_str(), W_OK) != 0)
        FailErrno(first, errno);

    for (unsigned n = 1; n <= kMaxBackups; ++n) {
        const std::string name = BackupName(path, n);
        struct stat taken { };
        if (::lstat(name.c_str(), &taken) == 0)
            continue;  // whatever it is, it stays as it is
        if (errno != ENOENT)
            FailErrno(name, errno);
        Fd copy;
        copy.fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, st.st_mode & 0666);
        if (copy.fd < 0 && errno == EEXIST)
            continue;  // made meanwhile by someone else
        if (copy.fd < 0)
            FailErrno(name, errno);
        try {
            CopyAll(source.fd, copy.fd, name);
            if (::fsync(copy.fd) != 0)
                FailErrno(name, errno);
            const int fd = copy.fd;
            copy.fd = -1;
            if (::close(fd) != 0)
                FailErrno(name, errno);
        } catch (...) {
            ::unlink(name.c_str());  // made by this call: a partial copy is no backup
            throw;
        }
        // The copy's name reaches the disk too.
        Fd folderFd;
        folderFd.fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folderFd.fd >= 0)
            ::fsync(folderFd.fd);
        return name;
    }
    Fail(first, FormatString(kNoFreeName, BackupName(path, kMaxBackups).c_str()));
}
