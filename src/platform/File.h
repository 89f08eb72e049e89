#pragma once
// A file object in the manner of the framework's: opened for reading, writing
// or creating, closed by its destructor. System-level failures of reading,
// writing and seeking raise CFileException; Open reports failure by its result.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/Exceptions.h"

// What identifies the version of a file that was read: a writer replaces the
// file only while it is still that version. The link count, mode and change
// time belong to it too: a hard link or a permission change made meanwhile
// would be undone by putting a new file in its place.
struct FileIdentity {
    bool bValid = false;
    uint64_t nDevice = 0;
    uint64_t nInode = 0;
    uint64_t nSize = 0;
    int64_t nModifiedSec = 0;
    int64_t nModifiedNsec = 0;
    uint64_t nLinks = 0;
    uint32_t nMode = 0;
    int64_t nChangedSec = 0;
    int64_t nChangedNsec = 0;

    bool operator==(const FileIdentity&) const = default;
};

class CFile {
public:
    enum OpenFlags : unsigned {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        modeCreate = 0x1000,  // create, or empty an existing file
        modeNoTruncate = 0x2000,  // with modeCreate: keep an existing file's bytes
    };
    enum SeekPosition { begin = 0, current = 1, end = 2 };

    CFile() = default;
    ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // False when the file cannot be opened; pError (if given) says why. Only
    // regular files are opened, and opening never waits (a FIFO is refused).
    bool Open(const std::string& path, unsigned flags, CFileException* pError = nullptr);
    bool IsOpen() const { return m_fd >= 0; }

    // Reads up to count bytes; fewer only at the end of the file.
    size_t Read(void* buffer, size_t count);
    // Writes all bytes or throws.
    void Write(const void* buffer, size_t count);
    // Returns the new position from the start. A position before the start throws.
    uint64_t Seek(int64_t offset, SeekPosition from);
    uint64_t SeekToBegin() { return Seek(0, begin); }
    uint64_t GetPosition() const;
    uint64_t GetLength() const;
    FileIdentity GetIdentity() const;
    // Writes the file's data through to the disk.
    void Flush();
    void Close();
    // Closes without raising; for clean-up paths.
    void Abort();

    int GetHandle() const { return m_fd; }
    const std::string& GetFilePath() const { return m_strFilePath; }

private:
    [[noreturn]] void ThrowErrno(int err) const;

    int m_fd = -1;
    std::string m_strFilePath;
};

// Writes a new version of a file and puts it in the file's place only when
// Commit succeeds, so the old file stays whole on any failure. The new version
// has no name until Commit where the file system allows (O_TMPFILE), so a
// process that dies leaves nothing; elsewhere it is a hidden, locked file
// named after the target, and the next write into that folder removes one
// whose writer is gone. A symbolic link stays a link: the file it names is written,
// and a link to a missing file creates that file. Targets that are not
// regular files, are not writable by the user, or have other hard links
// (which a replacement would split) are refused. The new version keeps the
// old one's owner, group and mode; the old file is locked (advisory) while
// the new one is written, and Commit refuses when it changed meanwhile.
class CSafeFileWriter {
public:
    CSafeFileWriter() = default;
    ~CSafeFileWriter();  // discards an uncommitted new version
    CSafeFileWriter(const CSafeFileWriter&) = delete;
    CSafeFileWriter& operator=(const CSafeFileWriter&) = delete;

    // False when the target is refused or the new version cannot be created.
    bool Open(const std::string& targetPath, CFileException* pError = nullptr);
    // Commit then also refuses unless the target is still this version (for
    // a writer that builds the new version from the old one's contents).
    void ExpectIdentity(const FileIdentity& identity) { m_expected = identity; }
    void Write(const void* buffer, size_t count);
    // What a writer put into GetHandle() itself (copy_file_range, say). Every
    // kWritebackStep bytes written, by Write or so, start going to disk at
    // once, so that the disk works while the copy goes on and Commit's flush
    // has less left to wait for.
    void Wrote(uint64_t count);
    static constexpr uint64_t kWritebackStep = uint64_t{32} << 20;
    // Flushes the new version to disk and puts it in the target's place. Throws on failure.
    void Commit();
    // Drops the new version; the target is untouched.
    void Discard();

    int GetHandle() const { return m_fd; }
    const std::string& GetTargetPath() const { return m_strTarget; }

    // Batch work that syncs its whole output once at the end (SyncFileSystemOf)
    // may leave out this writer's sync when its file did not exist before: a
    // crash can lose only such a new file, never a user's old one. A replaced
    // file keeps the full guarantee. Off by default.
    void DeferSyncIfNew(bool bDefer) { m_bDeferSyncIfNew = bDefer; }
    // False makes every new version a named file, as on file systems without
    // unnamed files (the tests' way to that path; TAVREL_NO_TMPFILE=1 too).
    static void SetUnnamedFilesAllowed(bool bAllowed);
    // True for the names new versions take (".house.nif.tavrel-Xy3kQ9").
    static bool IsTemporaryName(const std::string& name);

private:
    bool Fail(CFileException* pError, const CFileException& error);
    bool CreateNewVersion(const std::string& folder, unsigned mode, CFileException* pError);
    void PlaceNewVersion();
    void ReleaseLock();

    int m_fd = -1;
    int m_lockFd = -1;
    bool m_bUnnamed = false;  // made with O_TMPFILE: no name until Commit
    bool m_bTargetExists = false;
    bool m_bDeferSyncIfNew = false;
    uint64_t m_nNotStarted = 0;  // bytes written since writeback was last started
    FileIdentity m_expected;
    std::string m_strTarget;
    std::string m_strResolved;  // the file the target names after following links
    std::string m_strTemp;  // the new version's name, when it has one
};

// What Commits since the last call could not make sure of after the new
// version had its name (its folder's flush to disk failed), one message each
// with the file and the reason. The front ends show them after the work:
// the file is written, but a power loss may still undo it.
std::vector<std::string> TakeWriteWarnings();

// Writes everything of the file system that holds the folder through to the
// disk (after batch work with deferred syncs). 0, or the errno of the failure.
int SyncFileSystemOf(const std::string& folder);

// Opens a file for reading as a stdio stream, with CFile's rules (regular
// files only, never waiting); nullptr when refused, pError (if given) says why.
std::FILE* OpenReadStream(const std::string& path, CFileException* pError = nullptr);

// True when the file exists (and is not a folder).
bool FileExists(const std::string& path);
// Deletes a file; false when it could not be deleted.
bool DeleteFile(const std::string& path);
// Copies a file, replacing an existing destination whole; false on any failure.
bool CopyFile(const std::string& source, const std::string& destination);

// The folder for temporary files: $TMPDIR, or /tmp when it is unset or empty.
std::string TempFolderBase();
// Makes a new folder that only this process uses, under $TMPDIR (/tmp when
// unset), named prefix followed by random characters. Its path without a
// trailing '/', or empty when no folder could be made (pErr gets errno).
std::string MakePrivateFolder(const std::string& prefix, int* pErr = nullptr);
// Removes a folder and everything in it; errors are ignored.
void RemoveFolderTree(const std::string& path);
