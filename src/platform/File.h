#pragma once
// A file object in the manner of the framework's: opened for reading, writing
// or creating, closed by its destructor. System-level failures of reading,
// writing and seeking raise CFileException; Open reports failure by its result.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Exceptions.h"

class CFile {
public:
    enum OpenFlags : unsigned {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        modeCreate = 0x1000,        // create, or empty an existing file
        modeNoTruncate = 0x2000,    // with modeCreate: keep an existing file's bytes
    };
    enum SeekPosition { begin = 0, current = 1, end = 2 };

    CFile() = default;
    ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // False when the file cannot be opened; pError (if given) says why.
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

// Writes a new version of a file next to it and puts it in the file's place
// only when Commit succeeds, so the old file stays whole on any failure.
// The new file keeps the old one's permissions.
class CSafeFileWriter {
public:
    CSafeFileWriter() = default;
    ~CSafeFileWriter();   // discards an uncommitted new version
    CSafeFileWriter(const CSafeFileWriter&) = delete;
    CSafeFileWriter& operator=(const CSafeFileWriter&) = delete;

    // False when the new version cannot be created (for example a read-only folder).
    bool Open(const std::string& targetPath, CFileException* pError = nullptr);
    void Write(const void* buffer, size_t count);
    // Flushes the new version to disk and renames it over the target. Throws on failure.
    void Commit();
    // Removes the new version; the target is untouched.
    void Discard();

    int GetHandle() const { return m_fd; }
    const std::string& GetTargetPath() const { return m_strTarget; }

    // Batch work that syncs its whole output once at the end (SyncFileSystemOf)
    // may leave out the per-file sync of files that did not exist before: a
    // crash can lose only such a new file, never a user's old one. Replaced
    // files keep the full guarantee. Process-wide; off by default.
    static void SetDeferNewFileSync(bool bDefer);

private:
    int m_fd = -1;
    bool m_bNewFile = false;   // the target did not exist when the new version was begun
    std::string m_strTarget;
    std::string m_strResolved;
    std::string m_strTemp;
};

// Writes everything of the file system that holds the folder through to the
// disk (after batch work with deferred syncs). 0, or the errno of the failure.
int SyncFileSystemOf(const std::string& folder);

// True when the file exists (and is not a folder).
bool FileExists(const std::string& path);
// Deletes a file; false when it could not be deleted.
bool DeleteFile(const std::string& path);
// Copies a file, replacing an existing destination whole; false on any failure.
bool CopyFile(const std::string& source, const std::string& destination);

// Makes a new folder that only this process uses, under $TMPDIR (else /tmp),
// named prefix followed by random characters. Its path without a trailing
// '/', or empty when no folder could be made.
std::string MakePrivateFolder(const std::string& prefix);
// Removes a folder and everything in it; errors are ignored.
void RemoveFolderTree(const std::string& path);
