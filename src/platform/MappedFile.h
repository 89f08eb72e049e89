#pragma once
// A large file read without copying it: its bytes mapped read-only. A file
// that shrinks while mapped loses the pages past its new end, and touching one
// raises SIGBUS; reading a mapping under RunGuardingLostPages turns that into
// a failed read instead of the end of the process.
#include <cstddef>
#include <cstdint>
#include <string>

class CMappedFile {
public:
    CMappedFile() = default;
    ~CMappedFile();
    CMappedFile(const CMappedFile&) = delete;
    CMappedFile& operator=(const CMappedFile&) = delete;

    // Maps the first maxBytes of a regular file (all of it when shorter), its
    // pages entered at once. False, with nothing mapped, when it cannot be
    // (an empty file, a kind of file or a file system that does not map):
    // then it is to be read.
    bool Map(const std::string& path, uint64_t maxBytes);
    void Unmap();
    const uint8_t* Data() const { return m_pData; }
    size_t Size() const { return m_nSize; }

private:
    uint8_t* m_pData = nullptr;
    size_t m_nSize = 0;
};

// Calls read(context); false when it touched a page that a mapped file no
// longer has. A jump leaves read at that point: it must be plain code that
// allocates nothing, takes no lock and has no object with a destructor.
bool RunGuardingLostPages(void (*read)(void*), void* context);
