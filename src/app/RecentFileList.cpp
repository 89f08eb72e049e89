#include "app/RecentFileList.h"

#include <QFileInfo>
#include <QSettings>

namespace {

constexpr char kSection[] = "Recent File List";

QString EntryKey(int index)
{
    return QStringLiteral("%1/File%2").arg(QLatin1String(kSection)).arg(index + 1);
}

}  // namespace

CRecentFileList::CRecentFileList(int nSize)
    : m_nSize(nSize)
{
}

void CRecentFileList::ReadList()
{
    QSettings settings;
    m_files.clear();
    for (int i = 0; i < m_nSize; ++i) {
        const QString path = settings.value(EntryKey(i)).toString();
        if (!path.isEmpty())
            m_files.push_back(path);
    }
}

void CRecentFileList::WriteList() const
{
    QSettings settings;
    settings.remove(QLatin1String(kSection));
    for (int i = 0; i < m_files.size(); ++i)
        settings.setValue(EntryKey(i), m_files[i]);
}

void CRecentFileList::Add(const QString& path)
{
    const QString full = QFileInfo(path).absoluteFilePath();
    if (!m_files.isEmpty() && m_files.front() == full)
        return;
    m_files.removeAll(full);
    m_files.push_front(full);
    while (m_files.size() > m_nSize)
        m_files.pop_back();
    WriteList();
}

void CRecentFileList::Remove(const QString& path)
{
    if (m_files.removeAll(path) > 0)
        WriteList();
}
