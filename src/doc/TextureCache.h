#pragma once
// The textures of the open model file as the window holds them: the fields of
// every one (from the scan) and the records of a few, read when first asked
// for and dropped, least recently used first, beyond a count and a byte
// bound. The shown texture is never dropped; a texture whose read failed
// keeps its empty record, so its reader's message is shown once per file.
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "image/RawTexture.h"

class CDibImage;

class CTextureCache {
public:
    struct Limits {
        size_t nRecords = 8;
        uint64_t nBytes = uint64_t{64} << 20;
    };

    CTextureCache();
    explicit CTextureCache(Limits limits);
    ~CTextureCache();
    CTextureCache(CTextureCache&&) noexcept;
    CTextureCache& operator=(CTextureCache&&) noexcept;

    // A file's textures as a scan found them; every record goes.
    void Reset(
        std::string path, std::vector<uint64_t> offsets, std::vector<RawTextureShape> shapes, uint64_t fileLength);
    // The same file after a write that copied every texture but `changed` byte
    // for byte: the other records stay, that one is read again when asked for.
    void Moved(
        std::vector<uint64_t> offsets, std::vector<RawTextureShape> shapes, uint64_t fileLength, uint32_t changed);
    // Drops every record; the fields stay.
    void Release();
    // Drops every record and the fields.
    void Clear();

    uint32_t Count() const { return static_cast<uint32_t>(m_offsets.size()); }
    const std::string& Path() const { return m_strPath; }
    const std::vector<uint64_t>& Offsets() const { return m_offsets; }
    // The fields of a texture; null past the end.
    const RawTextureShape* Shape(uint32_t index) const;
    // False when the fields alone show that the texture cannot be read, or
    // when its read has failed.
    bool LooksReadable(uint32_t index) const;
    // The record when it is held, else null; nothing is read.
    CDibImage* Find(uint32_t index) const;
    // The record, read when it is not held (a failure is shown by its reader).
    // `pinned` is never dropped to make room. Null past the end.
    CDibImage* Get(uint32_t index, uint32_t pinned);
    // Holds a record read elsewhere (a failed read: one without an image) as
    // texture index's, as Get would have; returns it.
    CDibImage* Adopt(uint32_t index, std::unique_ptr<CDibImage> record, uint32_t pinned);
    // A record of its own, read now, quietly: null when the read fails.
    std::unique_ptr<CDibImage> Read(uint32_t index) const;
    // Bytes of the records held.
    uint64_t HeldBytes() const { return m_nHeldBytes; }
    // Changes whenever the fields may have, or a texture's pixels (not when
    // records are merely read or dropped).
    uint64_t Version() const { return m_nVersion; }

private:
    struct Held {
        uint32_t nIndex;
        std::unique_ptr<CDibImage> record;
    };
    std::list<Held>::iterator Locate(uint32_t index) const;
    void Trim(uint32_t pinned);

    Limits m_limits;
    std::string m_strPath;
    std::vector<uint64_t> m_offsets;
    std::vector<RawTextureShape> m_shapes;
    uint64_t m_nFileLength = 0;
    mutable std::list<Held> m_held;  // most recently used first
    std::vector<bool> m_failed;  // the read failed: the empty record is kept
    uint64_t m_nHeldBytes = 0;
    uint64_t m_nVersion = 0;
};
