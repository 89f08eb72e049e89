#pragma once
// A private folder that its process holds a lock on while it lives, so that
// the folder of a process that was killed (and so could not remove it) can be
// told from one in use and removed by the next process that makes one.
#include <string>
#include <vector>

class CHeldFolder {
public:
    // Removes the folders of this prefix whose holder has ended (only the
    // named files are deleted: a folder holding anything else stays), then
    // makes a new one, as MakePrivateFolder does, and holds it.
    CHeldFolder(const std::string& prefix, const std::vector<std::string>& fileNames);
    // Deletes the named files and the folder, then lets go of it.
    ~CHeldFolder();
    CHeldFolder(const CHeldFolder&) = delete;
    CHeldFolder& operator=(const CHeldFolder&) = delete;

    // The folder without a trailing '/'; empty when none could be made.
    const std::string& Path() const { return m_strPath; }
    // errno of the failure when there is no folder.
    int Error() const { return m_nError; }

private:
    std::string m_strPath;
    std::vector<std::string> m_fileNames;
    int m_nLock = -1;
    int m_nError = 0;
};
