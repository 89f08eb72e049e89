#pragma once
// The most recently opened files, newest first, kept in the settings.
#include <QStringList>

class CRecentFileList {
public:
    explicit CRecentFileList(int nSize);

    void ReadList();
    void WriteList() const;
    // Puts the path first; an entry for the same file moves up, the oldest drops off.
    void Add(const QString& path);
    // Takes a path off the list (one that no longer exists, say).
    void Remove(const QString& path);
    const QStringList& Files() const { return m_files; }

private:
    int m_nSize;
    QStringList m_files;
};
