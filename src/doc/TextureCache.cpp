#include "doc/TextureCache.h"

#include <algorithm>
#include <atomic>

#include "doc/ShownRead.h"
#include "image/DibImage.h"
#include "platform/ImageLimits.h"

namespace {

// Versions are drawn from one counter, so that no two caches (the open file's
// and the one kept aside while another opens) ever share one.
uint64_t NextVersion()
{
    static std::atomic<uint64_t> counter{0};
    return ++counter;
}

}  // namespace

CTextureCache::CTextureCache() = default;

CTextureCache::CTextureCache(Limits limits)
    : m_limits(limits)
{
}

CTextureCache::~CTextureCache() = default;
CTextureCache::CTextureCache(CTextureCache&&) noexcept = default;
CTextureCache& CTextureCache::operator=(CTextureCache&&) noexcept = default;

void CTextureCache::Reset(
    std::string path, std::vector<uint64_t> offsets, std::vector<RawTextureShape> shapes, uint64_t fileLength)
{
    m_strPath = std::move(path);
    m_offsets = std::move(offsets);
    m_shapes = std::move(shapes);
    m_shapes.resize(m_offsets.size());
    m_nFileLength = fileLength;
    Release();
    m_nVersion = NextVersion();
}

void CTextureCache::Moved(
    std::vector<uint64_t> offsets, std::vector<RawTextureShape> shapes, uint64_t fileLength, uint32_t changed)
{
    m_offsets = std::move(offsets);
    m_shapes = std::move(shapes);
    m_shapes.resize(m_offsets.size());
    m_nFileLength = fileLength;
    m_failed.resize(m_offsets.size());
    if (changed < m_failed.size())
        m_failed[changed] = false;
    const auto it = Locate(changed);
    if (it != m_held.end()) {
        m_nHeldBytes -= it->record->GetBlockSize();
        m_held.erase(it);
    }
    m_nVersion = NextVersion();
}

void CTextureCache::Release()
{
    m_held.clear();
    m_failed.assign(m_offsets.size(), false);
    m_nHeldBytes = 0;
}

void CTextureCache::Clear()
{
    m_strPath.clear();
    m_offsets.clear();
    m_shapes.clear();
    m_nFileLength = 0;
    Release();
    m_nVersion = NextVersion();
}

const RawTextureShape* CTextureCache::Shape(uint32_t index) const
{
    return index < m_shapes.size() ? &m_shapes[index] : nullptr;
}

bool CTextureCache::LooksReadable(uint32_t index) const
{
    const RawTextureShape* shape = Shape(index);
    if (!shape || m_failed[index])
        return false;
    return RawTextureReadable(*shape, m_offsets[index], m_nFileLength) &&
        ImageWithinLimits(shape->width, shape->height, RawRecordBitCount(shape->format));
}

std::list<CTextureCache::Held>::iterator CTextureCache::Locate(uint32_t index) const
{
    const auto it = std::find_if(m_held.begin(), m_held.end(), [index](const Held& h) { return h.nIndex == index; });
    if (it != m_held.end() && it != m_held.begin())
        m_held.splice(m_held.begin(), m_held, it);  // used now
    return it;
}

CDibImage* CTextureCache::Find(uint32_t index) const
{
    const auto it = Locate(index);
    return it == m_held.end() ? nullptr : it->record.get();
}

CDibImage* CTextureCache::Get(uint32_t index, uint32_t pinned)
{
    if (index >= m_offsets.size())
        return nullptr;
    if (CDibImage* held = Find(index))
        return held;
    return Adopt(index, ReadShown(m_strPath, FileKind::Nif, m_offsets[index]), pinned);
}

CDibImage* CTextureCache::Adopt(uint32_t index, std::unique_ptr<CDibImage> record, uint32_t pinned)
{
    if (!record->GetBitmapInfo())
        m_failed[index] = true;
    m_nHeldBytes += record->GetBlockSize();
    m_held.push_front(Held{index, std::move(record)});
    Trim(pinned);
    return m_held.front().record.get();
}

void CTextureCache::Trim(uint32_t pinned)
{
    // The newest record always stays, however large: it is the one asked for.
    size_t records = 0;
    for (const Held& h : m_held)
        records += h.record->GetBitmapInfo() ? 1 : 0;
    for (auto it = std::prev(m_held.end());
         it != m_held.begin() && (records > m_limits.nRecords || m_nHeldBytes > m_limits.nBytes);) {
        const auto victim = it--;
        // A failed read keeps its empty record: its message is not shown again.
        if (victim->nIndex == pinned || !victim->record->GetBitmapInfo())
            continue;
        m_nHeldBytes -= victim->record->GetBlockSize();
        --records;
        m_held.erase(victim);
    }
}

std::unique_ptr<CDibImage> CTextureCache::Read(uint32_t index) const
{
    if (index >= m_offsets.size())
        return nullptr;
    return ReadQuietly(m_strPath, FileKind::Nif, m_offsets[index]);
}
