#include "platform/HeldFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/File.h"

namespace {

std::string TempBase()
{
    const char* base = std::getenv("TMPDIR");
    return base && *base ? base : "/tmp";
}

// Deletes the named files in the folder and the folder; what else it holds keeps it.
void RemoveKnownFiles(const std::string& folder, const std::vector<std::string>& fileNames)
{
    for (const std::string& name : fileNames)
        ::unlink((folder + "/" + name).c_str());
    ::rmdir(folder.c_str());
}

// A lock on the folder itself; -1 when it cannot be had (at once, unless wait).
int LockFolder(const std::string& folder, bool wait)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Folders of this user and prefix that nobody holds any more.
void RemoveAbandoned(const std::string& base, const std::string& prefix, const std::vector<std::string>& fileNames)
{
    DIR* dir = ::opendir(base.c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string folder = base + "/" + name;
        struct stat status { };
        if (::lstat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != ::geteuid())
            continue;
        const int fd = LockFolder(folder, false);
        if (fd < 0)
            continue;  // held: its process is running
        RemoveKnownFiles(folder, fileNames);
        ::close(fd);
    }
    ::closedir(dir);
}

}  // namespace

CHeldFolder::CHeldFolder(const std::string& prefix, const std::vector<std::string>& fileNames)
    : m_fileNames(fileNames)
{
    const std::string base = TempBase();
    RemoveAbandoned(base, prefix, fileNames);
    // Another process's sweep may take a new folder before it is held: then make another.
    for (int attempt = 0; attempt < 8; ++attempt) {
        m_strPath = MakePrivateFolder(prefix, &m_nError);
        if (m_strPath.empty())
            return;
        m_nLock = LockFolder(m_strPath, true);
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
    RemoveKnownFiles(m_strPath, m_fileNames);
    ::close(m_nLock);
}
