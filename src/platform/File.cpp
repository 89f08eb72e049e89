#include "platform/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
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

std::atomic<bool> g_bDeferNewFileSync{false};

void SyncDirectory(const std::string& dir)
{
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

CFile::~CFile()
{
    Abort();
}

bool CFile::Open(const std::string& path, unsigned flags, CFileException* pError)
{
    Abort();
    int oflags = O_CLOEXEC;
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
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        if (pError)
            *pError = CFileException(CFileException::invalidFile, EISDIR, path);
        return false;
    }
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
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        ThrowErrno(errno);
    return static_cast<uint64_t>(st.st_size);
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

bool CSafeFileWriter::Open(const std::string& targetPath, CFileException* pError)
{
    Discard();
    m_strTarget = targetPath;
    // Write through a link to the file it names, so the link stays a link.
    m_strResolved = targetPath;
    char resolved[PATH_MAX];
    if (::realpath(targetPath.c_str(), resolved) != nullptr)
        m_strResolved = resolved;
    std::string pattern = DirectoryOf(m_strResolved) + "/." + NameOf(m_strResolved) + ".XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
    if (fd < 0) {
        if (pError)
            *pError = CFileException::FromErrno(errno, targetPath);
        return false;
    }
    m_fd = fd;
    m_strTemp = buffer.data();
    struct stat existing {};
    m_bNewFile = ::lstat(m_strResolved.c_str(), &existing) != 0 && errno == ENOENT;
    // The new version takes the old file's permissions, or the usual ones for a new file.
    struct stat st {};
    mode_t mode;
    if (::stat(targetPath.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(m_fd, mode);
    return true;
}

void CSafeFileWriter::Write(const void* buffer, size_t count)
{
    if (m_fd < 0)
        throw CFileException(CFileException::genericException, EBADF, m_strTarget);
    WriteAll(m_fd, buffer, count, m_strTarget);
}

void CSafeFileWriter::Commit()
{
    if (m_fd < 0)
        throw CFileException(CFileException::genericException, EBADF, m_strTarget);
    const bool deferSync = m_bNewFile && g_bDeferNewFileSync.load(std::memory_order_relaxed);
    if (!deferSync && ::fsync(m_fd) != 0) {
        const int err = errno;
        Discard();
        throw CFileException::FromErrno(err, m_strTarget);
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(m_strTemp.c_str());
        m_strTemp.clear();
        throw CFileException::FromErrno(err, m_strTarget);
    }
    const std::string& target = m_strResolved;
    if (::rename(m_strTemp.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(m_strTemp.c_str());
        m_strTemp.clear();
        throw CFileException::FromErrno(err, m_strTarget);
    }
    m_strTemp.clear();
    if (!deferSync)
        SyncDirectory(DirectoryOf(target));
}

void CSafeFileWriter::SetDeferNewFileSync(bool bDefer)
{
    g_bDeferNewFileSync.store(bDefer, std::memory_order_relaxed);
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

void CSafeFileWriter::Discard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_strTemp.empty()) {
        ::unlink(m_strTemp.c_str());
        m_strTemp.clear();
    }
}

bool FileExists(const std::string& path)
{
    struct stat st {};
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

std::string MakePrivateFolder(const std::string& prefix)
{
    const char* base = std::getenv("TMPDIR");
    for (const char* root : {base && *base ? base : "/tmp", "/tmp"}) {
        std::string pattern = std::string(root) + "/" + prefix + "XXXXXX";
        if (::mkdtemp(pattern.data()))
            return pattern;
    }
    return {};
}

void RemoveFolderTree(const std::string& path)
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}
