#include "nif/TextureScanner.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "image/RawTexture.h"
#include "platform/File.h"

namespace {

// Finds a name in bytes that arrive in pieces. A failed attempt consumes the
// byte that differed: it is not tried as the first byte of a new match, so
// "NNiRawImageData" holds no occurrence.
class CNameMatcher {
public:
    explicit CNameMatcher(std::string_view name)
        : m_name(name)
    {
    }

    // Bytes of data consumed up to and including the end of an occurrence, or
    // nothing when data holds none (then all of it was consumed).
    std::optional<size_t> Feed(const uint8_t* data, size_t size)
    {
        size_t i = 0;
        while (i < size) {
            if (m_matched == 0) {
                const void* first = std::memchr(data + i, m_name[0], size - i);
                if (!first)
                    return std::nullopt;
                i = static_cast<size_t>(static_cast<const uint8_t*>(first) - data) + 1;
                m_matched = 1;
            } else if (data[i++] == static_cast<uint8_t>(m_name[m_matched])) {
                ++m_matched;
            } else {
                m_matched = 0;
                continue;
            }
            if (m_matched == m_name.size()) {
                m_matched = 0;
                return i;
            }
        }
        return std::nullopt;
    }

    void Reset() { m_matched = 0; }

private:
    std::string_view m_name;
    size_t m_matched = 0;
};

// Small reads right after a jump, so that little of the pixels that were
// skipped is read; growing reads while the scan runs through other bytes.
constexpr size_t kFirstChunk = 4 * 1024;
constexpr size_t kLargestChunk = 1024 * 1024;

// Scans the file from the start for the name. At each occurrence onMatch gets
// the position just after it and returns where to go on scanning (never
// before that position), or nothing to stop.
template <typename OnMatch> void ScanForName(CFile& file, std::string_view name, OnMatch&& onMatch)
{
    const uint64_t length = file.GetLength();
    std::vector<uint8_t> buffer;
    CNameMatcher matcher(name);
    uint64_t pos = 0;
    size_t chunk = kFirstChunk;
    while (pos < length) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk, length - pos));
        if (buffer.size() < want)
            buffer.resize(want);
        file.Seek(static_cast<int64_t>(pos), CFile::begin);
        const size_t got = file.Read(buffer.data(), want);
        if (got == 0)
            return;  // the file became shorter while it was scanned
        size_t used = 0;
        bool jumped = false;
        while (used < got) {
            const std::optional<size_t> n = matcher.Feed(buffer.data() + used, got - used);
            if (!n)
                break;
            used += *n;
            const uint64_t end = pos + used;
            const std::optional<uint64_t> next = onMatch(end);
            if (!next)
                return;
            if (*next != end) {
                pos = *next;
                chunk = kFirstChunk;
                matcher.Reset();
                jumped = true;
                break;
            }
        }
        if (!jumped) {
            pos += got;
            chunk = std::min(chunk * 2, kLargestChunk);
        }
    }
}

constexpr std::string_view kRawName{kRawImageDataName};
constexpr std::string_view kLinkName{kImageLinkName};
// Bytes between a texture block's name and its width field.
constexpr uint64_t kBytesBeforeFields = 12;
// Bytes between a link block's name and the linked file's name.
constexpr uint64_t kBytesBeforeLinkName = 17;
// The link name is read from this many bytes, and its ".nif" must start within the first 40.
constexpr size_t kLinkReadBytes = 256;
constexpr size_t kLinkDotReach = 40;

}  // namespace

uint32_t ScanRawImageData(CFile& file, std::vector<uint64_t>& offsets)
{
    std::vector<RawTextureShape> shapes;
    return ScanRawImageData(file, offsets, shapes);
}

uint32_t ScanRawImageData(CFile& file, std::vector<uint64_t>& offsets, std::vector<RawTextureShape>& shapes)
{
    offsets.clear();
    shapes.clear();
    const uint64_t length = file.GetLength();
    ScanForName(file, kRawName, [&](uint64_t end) -> std::optional<uint64_t> {
        const uint64_t offset = end + kBytesBeforeFields;
        // The block is counted even when it is cut short; reading it reports that.
        offsets.push_back(offset);
        const std::optional<RawTextureShape> shape = ReadRawTextureShape(file, offset);
        shapes.push_back(shape.value_or(RawTextureShape{}));
        if (!shape)
            return std::nullopt;
        const uint64_t pixelsStart = offset + kRawFieldBytes;
        const std::optional<uint64_t> pixelBytes = shape->PixelBytes();
        // Pixels that would run past the end of the file end the scan.
        if (!pixelBytes || *pixelBytes > length - pixelsStart)
            return std::nullopt;
        return pixelsStart + *pixelBytes;
    });
    return static_cast<uint32_t>(offsets.size());
}

uint64_t ScanImageLink(CFile& file)
{
    uint64_t found = 0;
    ScanForName(file, kLinkName, [&](uint64_t end) -> std::optional<uint64_t> {
        found = end + kBytesBeforeLinkName;
        return std::nullopt;
    });
    if (found != 0)
        file.Seek(static_cast<int64_t>(found), CFile::begin);
    return found;
}

std::optional<std::string> ExtractLinkName(CFile& file, uint64_t position)
{
    if (position > static_cast<uint64_t>(INT64_MAX))
        return std::nullopt;
    char bytes[kLinkReadBytes];
    file.Seek(static_cast<int64_t>(position), CFile::begin);
    const size_t got = file.Read(bytes, sizeof bytes);
    // Bytes past the end of the file never match.
    auto is = [&](size_t i, char c) { return i < got && bytes[i] == c; };
    for (size_t i = 0; i < kLinkDotReach; ++i) {
        // The byte that differs is passed over, as in the name scanner.
        if (is(i, '.') && is(++i, 'n') && is(++i, 'i') && is(++i, 'f')) {
            const std::string name(bytes, i + 1);
            // A name with a zero byte cannot name a file.
            if (name.find('\0') != std::string::npos)
                return std::nullopt;
            return name;
        }
    }
    return std::nullopt;
}
