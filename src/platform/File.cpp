#include "platform/File.h"

#include "platform/SignalCleanup.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

namespace {

std::string DirectoryOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string NameOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void WriteAll(int fd, const void* buffer, size_t count, const std::string& path)
{
    const auto* p = static_cast<const uint8_t*>(buffer);
    while (count > 0) {
        const size_t step = count > (1u << 30) ? (1u << 30) : count;
        const ssize_t n = ::write(fd, p, step);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw CFileException::FromErrno(errno, path);
        }
        if (n == 0)
            throw CFileException(CFileException::diskFull, ENOSPC, path);
        p += n;
        count -= static_cast<size_t>(n);
    }
}

constexpr char kNotRegular[] = "it is not a regular file";
constexpr char kHardLinked[] = "it has other hard links, which replacing it would split";
constexpr char kNoWritePermission[] = "it is not writable";
constexpr char kOwnerNotKept[] = "its owner and group could not be kept";
constexpr char kInUse[] = "another program is writing it";
constexpr char kChanged[] = "it was changed by another program while it was being written";
constexpr char kLinkedMeanwhile[] = "another hard link to it was made while it was being written";
constexpr char kModeChanged[] = "its permissions were changed while it was being written";
constexpr char kRemoved[] = "it was removed or renamed by another program while it was being written";
constexpr char kAppeared[] = "another program created it while it was being written";
constexpr int kMaxLinkHops = 40;

FileIdentity IdentityOf(const struct stat& st)
{
    return FileIdentity{true, static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
        static_cast<uint64_t>(st.st_size), static_cast<int64_t>(st.st_mtim.tv_sec),
        static_cast<int64_t>(st.st_mtim.tv_nsec), static_cast<uint64_t>(st.st_nlink), static_cast<uint32_t>(st.st_mode),
        static_cast<int64_t>(st.st_ctim.tv_sec), static_cast<int64_t>(st.st_ctim.tv_nsec)};
}

// Why the file now found under the target's name is not the version that was
// read, or nullptr when it still is.
const char* ChangeSince(const FileIdentity& was, const FileIdentity& now)
{
    if (!was.bValid || !now.bValid || was.nDevice != now.nDevice || was.nInode != now.nInode)
        return kRemoved;
    if (was.nLinks != now.nLinks)
        return kLinkedMeanwhile;
    if (was.nMode != now.nMode)
        return kModeChanged;
    return was == now ? nullptr : kChanged;
}

// Follows symbolic links to the path of the file they finally name, which
// need not exist (a link to a missing file). False, with errno set, on a loop
// or an unreadable link.
bool FollowLinks(const std::string& path, std::string& result)
{
    std::string current = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat st { };
        if (::lstat(current.c_str(), &st) != 0) {
            if (errno != ENOENT)
                return false;
            result = current;
            return true;
        }
        if (!S_ISLNK(st.st_mode)) {
            result = current;
            return true;
        }
        std::vector<char> target(PATH_MAX + 1);
        const ssize_t n = ::readlink(current.c_str(), target.data(), target.size() - 1);
        if (n < 0)
            return false;
        const std::string next(target.data(), static_cast<size_t>(n));
        if (!next.empty() && next[0] == '/') {
            current = next;
        } else {
            current = DirectoryOf(current);
            current += '/';
            current += next;
        }
    }
    errno = ELOOP;
    return false;
}

// A name for the new version in the target's folder that says what it is: a
// dot, up to 32 bytes of the target's name (never cutting a UTF-8 character),
// the marker and six random characters: ".house.nif.tavrel-Xy3kQ9". Short
// enough for every file system's name limit.
constexpr char kTempMarker[] = ".tavrel-";
constexpr size_t kTempRandomChars = 6;
constexpr size_t kTempPrefixBytes = 32;

std::string TemporaryName(const std::string& name)
{
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    uint8_t random[kTempRandomChars] = {};
    if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
        const uint64_t seed = static_cast<uint64_t>(::getpid()) * 0x9E3779B97F4A7C15ull ^
            static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&name));
        std::memcpy(random, &seed, sizeof random);
    }
    size_t prefix = std::min(name.size(), kTempPrefixBytes);
    while (prefix > 0 && prefix < name.size() && (static_cast<uint8_t>(name[prefix]) & 0xC0) == 0x80)
        --prefix;
    std::string out = "." + name.substr(0, prefix) + kTempMarker;
    for (const uint8_t r : random)
        out += kChars[r % (sizeof kChars - 1)];
    return out;
}

bool IsTemporaryName(const std::string& name)
{
    const size_t tail = sizeof kTempMarker - 1 + kTempRandomChars;
    if (name.size() < 1 + tail || name[0] != '.' ||
        name.compare(name.size() - tail, sizeof kTempMarker - 1, kTempMarker) != 0)
        return false;
    return std::all_of(
        name.end() - kTempRandomChars, name.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

// Removes the new versions that writers killed before their commit left in a
// folder. A writer holds a lock on its new version until it is named or
// dropped, so one whose lock can be taken has no writer any more. Each folder
// is swept once per process: a batch writing thousands of files into one
// folder reads it once.
void SweepStaleTemporaries(const std::string& folder)
{
    static std::mutex mutex;
    static std::set<std::string> swept;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!swept.insert(folder).second)
            return;
    }
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return;
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (!IsTemporaryName(name))
            continue;
        const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat opened { };
        struct stat named { };
        // Only a regular file whose writer is gone, and still the file of that name.
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(dirFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_ino == opened.st_ino &&
            named.st_dev == opened.st_dev)
            ::unlinkat(dirFd, name.c_str(), 0);
        ::close(fd);
    }
    ::closedir(dir);
}

// The file systems of FAT, many FUSE and network mounts have no unnamed
// files; TAVREL_NO_TMPFILE=1 (or the tests' setter) takes that path everywhere.
std::atomic<int> g_unnamedFiles{-1};  // -1: not yet decided

bool UnnamedFilesAllowed()
{
    int allowed = g_unnamedFiles.load(std::memory_order_relaxed);
    if (allowed < 0) {
        const char* off = std::getenv("TAVREL_NO_TMPFILE");
        allowed = off && *off && std::strcmp(off, "0") != 0 ? 0 : 1;
        g_unnamedFiles.store(allowed, std::memory_order_relaxed);
    }
    return allowed == 1;
}

bool HasProcFileLinks()
{
    return ::access("/proc/self/fd", X_OK) == 0;
}

// 0, or the errno of a failed flush of the folder's entries. A folder that
// cannot be opened for reading, or whose file system has no such flush
// (EINVAL), cannot be made safer and is not reported.
int SyncDirectory(const std::string& dir)
{
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    int err = 0;
    while (::fsync(fd) != 0) {
        err = errno;
        if (err != EINTR)
            break;
        err = 0;
    }
    ::close(fd);
    return err == EINVAL ? 0 : err;
}

constexpr char kFolderNotFlushed[] =
    "The file was written, but its folder could not be flushed to disk: a power loss may still undo the write.";

std::mutex g_warningsMutex;
std::vector<std::string> g_warnings;

}  // namespace

CFile::~CFile()
{
    Abort();
}

bool CFile::Open(const std::string& path, unsigned flags, CFileException* pError)
{
    Abort();
    // Never wait in open(): a FIFO or a device would block until another side appears.
    int oflags = O_CLOEXEC | O_NONBLOCK;
    if (flags & modeReadWrite)
        oflags |= O_RDWR;
    else if (flags & modeWrite)
        oflags |= O_WRONLY;
    else
        oflags |= O_RDONLY;
    if (flags & modeCreate) {
        oflags |= O_CREAT;
        if (!(flags & modeNoTruncate))
            oflags |= O_TRUNC;
    }
    const int fd = ::open(path.c_str(), oflags, 0666);
    if (fd < 0) {
        if (pError)
            *pError = CFileException::FromErrno(errno, path);
        return false;
    }
    struct stat st { };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const bool folder = S_ISDIR(st.st_mode);
        ::close(fd);
        if (pError)
            *pError = folder ? CFileException(CFileException::invalidFile, EISDIR, path)
                             : CFileException::Refusal(CFileException::invalidFile, kNotRegular, path);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_fd = fd;
    m_strFilePath = path;
    return true;
}

size_t CFile::Read(void* buffer, size_t count)
{
    auto* p = static_cast<uint8_t*>(buffer);
    size_t total = 0;
    while (total < count) {
        const size_t step = (count - total) > (1u << 30) ? (1u << 30) : (count - total);
        const ssize_t n = ::read(m_fd, p + total, step);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ThrowErrno(errno);
        }
        if (n == 0)
            break;
        total += static_cast<size_t>(n);
    }
    return total;
}

void CFile::Write(const void* buffer, size_t count)
{
    if (m_fd < 0)
        ThrowErrno(EBADF);
    WriteAll(m_fd, buffer, count, m_strFilePath);
}

uint64_t CFile::Seek(int64_t offset, SeekPosition from)
{
    const int whence = from == begin ? SEEK_SET : from == current ? SEEK_CUR : SEEK_END;
    const off_t pos = ::lseek(m_fd, static_cast<off_t>(offset), whence);
    if (pos < 0)
        ThrowErrno(errno);
    return static_cast<uint64_t>(pos);
}

uint64_t CFile::GetPosition() const
{
    const off_t pos = ::lseek(m_fd, 0, SEEK_CUR);
    if (pos < 0)
        ThrowErrno(errno);
    return static_cast<uint64_t>(pos);
}

uint64_t CFile::GetLength() const
{
    struct stat st { };
    if (::fstat(m_fd, &st) != 0)
        ThrowErrno(errno);
    return static_cast<uint64_t>(st.st_size);
}

FileIdentity CFile::GetIdentity() const
{
    struct stat st { };
    if (::fstat(m_fd, &st) != 0)
        ThrowErrno(errno);
    return IdentityOf(st);
}

void CFile::Flush()
{
    if (m_fd >= 0 && ::fsync(m_fd) != 0 && errno != EINVAL)
        ThrowErrno(errno);
}

void CFile::Close()
{
    if (m_fd < 0)
        return;
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && errno != EINTR)
        throw CFileException::FromErrno(errno, m_strFilePath);
}

void CFile::Abort()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

void CFile::ThrowErrno(int err) const
{
    throw CFileException::FromErrno(err, m_strFilePath);
}

CSafeFileWriter::~CSafeFileWriter()
{
    Discard();
}

bool CSafeFileWriter::Fail(CFileException* pError, const CFileException& error)
{
    Discard();
    if (pError)
        *pError = error;
    return false;
}

bool CSafeFileWriter::Open(const std::string& targetPath, CFileException* pError)
{
    Discard();
    m_strTarget = targetPath;
    m_expected = FileIdentity{};
    if (!FollowLinks(targetPath, m_strResolved))
        return Fail(pError, CFileException::FromErrno(errno, targetPath));

    struct stat st { };
    m_bTargetExists = ::stat(m_strResolved.c_str(), &st) == 0;
    if (!m_bTargetExists && errno != ENOENT)
        return Fail(pError, CFileException::FromErrno(errno, targetPath));
    unsigned mode;
    if (m_bTargetExists) {
        // Only a regular file is ever replaced: never a device, a FIFO or a folder.
        if (!S_ISREG(st.st_mode))
            return Fail(pError, CFileException::Refusal(CFileException::invalidFile, kNotRegular, targetPath));
        // Write bits count even for the administrator, whom access() lets through.
        if ((st.st_mode & 0222) == 0 || ::access(m_strResolved.c_str(), W_OK) != 0)
            return Fail(pError, CFileException::Refusal(CFileException::accessDenied, kNoWritePermission, targetPath));
        if (st.st_nlink > 1)
            return Fail(pError, CFileException::Refusal(CFileException::sharingViolation, kHardLinked, targetPath));
        m_lockFd = ::open(m_strResolved.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (m_lockFd >= 0 && ::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            if (err == EWOULDBLOCK)
                return Fail(pError, CFileException::Refusal(CFileException::lockViolation, kInUse, targetPath));
        }
        m_expected = IdentityOf(st);
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (!CreateNewVersion(DirectoryOf(m_strResolved), mode, pError))
        return false;
    if (m_bTargetExists) {
        // Owner and group first: changing them clears the setuid and setgid bits.
        if ((st.st_uid != ::geteuid() || st.st_gid != ::getegid()) && ::fchown(m_fd, st.st_uid, st.st_gid) != 0)
            return Fail(pError, CFileException::Refusal(CFileException::accessDenied, kOwnerNotKept, targetPath));
        if (::fchmod(m_fd, mode) != 0)
            return Fail(pError, CFileException::FromErrno(errno, targetPath));
    }
    return true;
}

bool CSafeFileWriter::CreateNewVersion(const std::string& folder, unsigned mode, CFileException* pError)
{
    SweepStaleTemporaries(folder);
    // A file without a name vanishes with the process, however it ends.
    if (UnnamedFilesAllowed() && HasProcFileLinks()) {
        const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        if (fd >= 0) {
            m_fd = fd;
            m_bUnnamed = true;
            // Held until the commit: the name it gets just before the rename is then not stale.
            ::flock(fd, LOCK_EX | LOCK_NB);
            return true;
        }
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return Fail(pError, CFileException::FromErrno(errno, m_strTarget));
    }
    // File systems without unnamed files: a recognisable hidden name next to
    // the target, locked while it is written so that a later write can tell
    // one left by a killed writer.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temp = folder + "/" + TemporaryName(NameOf(m_strResolved));
        const int fd = ::open(temp.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, mode);
        if (fd >= 0) {
            m_fd = fd;
            m_strTemp = temp;
            RegisterCleanupPath(temp);
            ::flock(fd, LOCK_EX | LOCK_NB);
            return true;
        }
        if (errno != EEXIST)
            return Fail(pError, CFileException::FromErrno(errno, m_strTarget));
    }
    return Fail(pError, CFileException::FromErrno(EEXIST, m_strTarget));
}

void CSafeFileWriter::Write(const void* buffer, size_t count)
{
    if (m_fd < 0)
        throw CFileException(CFileException::genericException, EBADF, m_strTarget);
    WriteAll(m_fd, buffer, count, m_strTarget);
    Wrote(count);
}

void CSafeFileWriter::Wrote(uint64_t count)
{
    m_nNotStarted += count;
    if (m_fd < 0 || m_nNotStarted < kWritebackStep)
        return;
    m_nNotStarted = 0;
    // Only a start: the pages already going to disk are not waited for. Commit still syncs the whole file.
    ::sync_file_range(m_fd, 0, 0, SYNC_FILE_RANGE_WRITE);
}

void CSafeFileWriter::Commit()
{
    if (m_fd < 0)
        throw CFileException(CFileException::genericException, EBADF, m_strTarget);
    const bool deferSync = !m_bTargetExists && m_bDeferSyncIfNew;
    try {
        if (!deferSync && ::fsync(m_fd) != 0)
            throw CFileException::FromErrno(errno, m_strTarget);
        // The old file must still be the version that was read and locked.
        struct stat st { };
        const bool exists = ::stat(m_strResolved.c_str(), &st) == 0;
        if (m_bTargetExists) {
            const char* change = ChangeSince(m_expected, exists ? IdentityOf(st) : FileIdentity{});
            if (change)
                throw CFileException::Refusal(CFileException::sharingViolation, change, m_strTarget);
        }
        if (!m_bTargetExists && exists)
            throw CFileException::Refusal(CFileException::sharingViolation, kAppeared, m_strTarget);
        PlaceNewVersion();
    } catch (...) {
        Discard();
        throw;
    }
    Discard();  // closes the file and the lock; the new version has its name now
    if (deferSync)
        return;
    if (const int err = SyncDirectory(DirectoryOf(m_strResolved))) {
        const std::lock_guard<std::mutex> lock(g_warningsMutex);
        g_warnings.push_back(std::string(kFolderNotFlushed) + "\nFile: " + m_strTarget + "\n" + std::strerror(err));
    }
}

std::vector<std::string> TakeWriteWarnings()
{
    const std::lock_guard<std::mutex> lock(g_warningsMutex);
    return std::exchange(g_warnings, {});
}

void CSafeFileWriter::SetUnnamedFilesAllowed(bool bAllowed)
{
    g_unnamedFiles.store(bAllowed ? 1 : 0, std::memory_order_relaxed);
}

bool CSafeFileWriter::IsTemporaryName(const std::string& name)
{
    return ::IsTemporaryName(name);
}

int SyncFileSystemOf(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int err = ::syncfs(fd) == 0 ? 0 : errno;
    ::close(fd);
    return err;
}

// Gives the new version the target's name: a new file is linked in without
// replacing anything that appeared meanwhile; an existing one is replaced
// in one rename.
void CSafeFileWriter::PlaceNewVersion()
{
    const std::string folder = DirectoryOf(m_strResolved);
    if (m_bUnnamed) {
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
        if (!m_bTargetExists) {
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, m_strResolved.c_str(), AT_SYMLINK_FOLLOW) != 0) {
                if (errno == EEXIST)
                    throw CFileException::Refusal(CFileException::sharingViolation, kAppeared, m_strTarget);
                throw CFileException::FromErrno(errno, m_strTarget);
            }
            return;
        }
        for (int attempt = 0;; ++attempt) {
            const std::string temp = folder + "/" + TemporaryName(NameOf(m_strResolved));
            RegisterCleanupPath(temp);
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                m_strTemp = temp;
                break;
            }
            UnregisterCleanupPath(temp);
            if (errno != EEXIST || attempt == 100)
                throw CFileException::FromErrno(errno, m_strTarget);
        }
    }
    const unsigned flags = m_bTargetExists ? 0u : RENAME_NOREPLACE;
    int result = ::renameat2(AT_FDCWD, m_strTemp.c_str(), AT_FDCWD, m_strResolved.c_str(), flags);
    if (result != 0 && errno == EINVAL && flags != 0)
        result = ::rename(m_strTemp.c_str(), m_strResolved.c_str());
    if (result != 0) {
        const int err = errno;
        if (err == EEXIST)
            throw CFileException::Refusal(CFileException::sharingViolation, kAppeared, m_strTarget);
        throw CFileException::FromErrno(err, m_strTarget);
    }
    UnregisterCleanupPath(m_strTemp);
    m_strTemp.clear();
}

void CSafeFileWriter::ReleaseLock()
{
    if (m_lockFd >= 0) {
        ::close(m_lockFd);
        m_lockFd = -1;
    }
}

void CSafeFileWriter::Discard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_strTemp.empty()) {
        ::unlink(m_strTemp.c_str());
        UnregisterCleanupPath(m_strTemp);
        m_strTemp.clear();
    }
    m_bUnnamed = false;
    ReleaseLock();
}

std::FILE* OpenReadStream(const std::string& path, CFileException* pError)
{
    CFile file;
    if (!file.Open(path, CFile::modeRead, pError))
        return nullptr;
    const int fd = ::dup(file.GetHandle());
    std::FILE* stream = fd >= 0 ? ::fdopen(fd, "rb") : nullptr;
    if (!stream) {
        if (pError)
            *pError = CFileException::FromErrno(errno, path);
        if (fd >= 0)
            ::close(fd);
    }
    return stream;
}

bool FileExists(const std::string& path)
{
    struct stat st { };
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DeleteFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0;
}

bool CopyFile(const std::string& source, const std::string& destination)
{
    try {
        CFile in;
        if (!in.Open(source, CFile::modeRead))
            return false;
        CSafeFileWriter out;
        if (!out.Open(destination))
            return false;
        std::vector<uint8_t> buffer(1 << 20);
        for (;;) {
            const size_t n = in.Read(buffer.data(), buffer.size());
            if (n == 0)
                break;
            out.Write(buffer.data(), n);
        }
        out.Commit();
        return true;
    } catch (const CFileException&) {
        return false;
    }
}

std::string TempFolderBase()
{
    const char* base = std::getenv("TMPDIR");
    return base && *base ? base : "/tmp";
}

std::string MakePrivateFolder(const std::string& prefix, int* pErr)
{
    std::string pattern = TempFolderBase() + "/" + prefix + "XXXXXX";
    if (::mkdtemp(pattern.data()))
        return pattern;
    if (pErr)
        *pErr = errno;
    return {};
}

void RemoveFolderTree(const std::string& path)
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}
