#include "platform/HeldFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "platform/File.h"

namespace {

// Deletes the named files in the folder (open as folderFd).
void RemoveKnownFiles(int folderFd, const std::vector<std::string>& fileNames)
{
    for (const std::string& name : fileNames)
        ::unlinkat(folderFd, name.c_str(), 0);
}

// Deletes the new versions that a writer killed before its commit left in
// the folder: its holder, their only writer, has ended.
void RemoveNewVersions(int folderFd)
{
    const int fd = ::dup(folderFd);
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (CSafeFileWriter::IsTemporaryName(entry->d_name))
            ::unlinkat(folderFd, entry->d_name, 0);
    }
    ::closedir(dir);
}

// A lock on the folder itself; -1 when it cannot be had (at once, unless wait).
int LockFolder(int baseFd, const char* name, bool wait)
{
    const int fd = ::openat(baseFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Folders of this user and prefix that nobody holds any more; what else one
// holds keeps it.
void RemoveAbandoned(const std::string& base, const std::string& prefix, const std::vector<std::string>& fileNames)
{
    DIR* dir = ::opendir(base.c_str());
    if (!dir)
        return;
    const int baseFd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.size() != prefix.size() + 6 || !name.starts_with(prefix))
            continue;
        struct stat status { };
        if (::fstatat(baseFd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(status.st_mode) ||
            status.st_uid != ::geteuid())
            continue;
        const int fd = LockFolder(baseFd, entry->d_name, false);
        if (fd < 0)
            continue;  // held: its process is running
        RemoveKnownFiles(fd, fileNames);
        RemoveNewVersions(fd);
        ::unlinkat(baseFd, entry->d_name, AT_REMOVEDIR);
        ::close(fd);
    }
    ::closedir(dir);
}

}  // namespace

CHeldFolder::CHeldFolder(const std::string& prefix, const std::vector<std::string>& fileNames)
    : m_fileNames(fileNames)
{
    const std::string base = TempFolderBase();
    RemoveAbandoned(base, prefix, fileNames);
    // Another process's sweep may take a new folder before it is held: then make another.
    for (int attempt = 0; attempt < 8; ++attempt) {
        m_strPath = MakePrivateFolder(prefix, &m_nError);
        if (m_strPath.empty())
            return;
        m_nLock = LockFolder(AT_FDCWD, m_strPath.c_str(), true);
        struct stat status { };
        if (m_nLock >= 0 && ::fstat(m_nLock, &status) == 0 && status.st_nlink > 0)
            return;
        if (m_nLock >= 0)
            ::close(m_nLock);
        m_nLock = -1;
        ::rmdir(m_strPath.c_str());
    }
    m_strPath.clear();
    m_nError = EAGAIN;
}

CHeldFolder::~CHeldFolder()
{
    if (m_strPath.empty())
        return;
    RemoveKnownFiles(m_nLock, m_fileNames);
    ::rmdir(m_strPath.c_str());
    ::close(m_nLock);
}
