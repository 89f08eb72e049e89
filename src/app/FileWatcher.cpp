#include "app/FileWatcher.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

FileIdentity CurrentIdentity(const QString& path)
{
    struct stat st { };
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return FileIdentity{true, uint64_t(st.st_dev), uint64_t(st.st_ino), uint64_t(st.st_size),
        int64_t(st.st_mtim.tv_sec), int64_t(st.st_mtim.tv_nsec)};
}

CFileWatcher::CFileWatcher(QObject* parent)
    : QObject(parent)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &CFileWatcher::Check);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &CFileWatcher::OnNotified);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &CFileWatcher::OnNotified);
}

void CFileWatcher::Watch(const QString& path)
{
    m_settle.stop();
    if (!m_watcher.files().isEmpty())
        m_watcher.removePaths(m_watcher.files());
    if (!m_watcher.directories().isEmpty())
        m_watcher.removePaths(m_watcher.directories());
    m_path = path;
    m_known = CurrentIdentity(path);
    if (path.isEmpty())
        return;
    m_watcher.addPath(QFileInfo(path).absolutePath());
    m_watcher.addPath(path);
}

void CFileWatcher::AcceptCurrent()
{
    m_known = CurrentIdentity(m_path);
}

void CFileWatcher::OnNotified()
{
    // A renamed-over file is a new one: watch it again.
    if (!m_path.isEmpty() && !m_watcher.files().contains(m_path) && QFileInfo::exists(m_path))
        m_watcher.addPath(m_path);
    m_settle.start();
}

void CFileWatcher::Check()
{
    const FileIdentity now = CurrentIdentity(m_path);
    if (!now.bValid || now == m_known)
        return;
    m_known = now;
    emit Changed();
}
