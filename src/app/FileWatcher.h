#pragma once
// Watches the open file for changes made by other programs. Editors and
// tools often replace a file by writing a new one and renaming it over the
// old, which ends a watch on the file itself, so its folder is watched too.
// A change is reported once the writes have settled, and only when the file
// is no longer the version the window last read or wrote itself.
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

#include "platform/File.h"

class CFileWatcher : public QObject {
    Q_OBJECT
public:
    explicit CFileWatcher(QObject* parent = nullptr);

    // Watches the file (none when empty) and takes it as it is now as known.
    void Watch(const QString& path);
    const QString& GetPath() const { return m_path; }
    // The file as it is now is what the window knows (it has just read or written it).
    void AcceptCurrent();
    // Compares the file with the known version and reports a difference. A
    // file that is missing (between an editor's delete and rename, say) is
    // not a change: it is looked at again when it reappears.
    void Check();

    // Quiet time after the last notification before the file is looked at.
    static constexpr int kSettleMs = 200;

signals:
    // Another program changed the file; the new version is now the known one.
    void Changed();

private:
    void OnNotified();

    QFileSystemWatcher m_watcher;
    QTimer m_settle;
    QString m_path;
    FileIdentity m_known;
};

// The identity of the file at the path now; invalid when it cannot be looked at.
FileIdentity CurrentIdentity(const QString& path);
