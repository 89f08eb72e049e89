#pragma once
// Builds model files byte by byte for tests: embedded texture blocks (block
// name, 12 bytes, width, height, format, pixels), link blocks, and whatever
// lies between them. Corrupt blocks come from fields and pixels that disagree.
#include <cstdint>
#include <string>
#include <vector>

class NifBuilder {
public:
    NifBuilder& Filler(size_t count, uint8_t value = 0xEE) { return Raw(std::vector<uint8_t>(count, value)); }
    NifBuilder& Text(const std::string& text) { return Raw({text.begin(), text.end()}); }  // no terminator
    NifBuilder& Raw(const std::vector<uint8_t>& bytes)
    {
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        return *this;
    }
    NifBuilder& U32(uint32_t value);

    // A texture block with the given pixels (of any length), or with
    // PatternPixels(width, height, format, seed). Returns the position of the width field.
    uint64_t Texture(uint32_t width, uint32_t height, uint32_t format, const std::vector<uint8_t>& pixels);
    uint64_t Texture(uint32_t width, uint32_t height, uint32_t format, uint8_t seed = 0)
    {
        return Texture(width, height, format, PatternPixels(width, height, format, seed));
    }
    // A link block: "NiImage", 17 bytes, the name's bytes, then `after`. Returns the name's position.
    uint64_t Link(const std::string& name, const std::string& after = std::string(4, '\0'));

    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    // Offsets of the texture blocks added with Texture, in file order.
    const std::vector<uint64_t>& TextureOffsets() const { return m_offsets; }
    void Save(const std::string& path) const;

    // Pixels in block order (rows top to bottom, red, green, blue (, alpha)),
    // distinct enough that a misplaced byte shows.
    static std::vector<uint8_t> PatternPixels(uint32_t width, uint32_t height, uint32_t format, uint8_t seed = 0);
    // What an image record holds for block pixels: rows bottom to top,
    // blue, green, red (, alpha), each row padded with zeros to 4 bytes.
    static std::vector<uint8_t> BlockToDib(
        const std::vector<uint8_t>& pixels, uint32_t width, uint32_t height, uint32_t format);
    static uint32_t BytesPerPixel(uint32_t format) { return format == 1 ? 3 : 4; }
    // A model file with the block at offset (its fields, then oldPixelBytes) holding these fields and pixels instead.
    static std::vector<uint8_t> Spliced(std::vector<uint8_t> file, uint64_t offset, uint64_t oldPixelBytes,
        uint32_t width, uint32_t height, uint32_t format, const std::vector<uint8_t>& pixels);
    // A model file with the alpha of each RGBA pixel of the block at offset set to `alpha`.
    static std::vector<uint8_t> Stamped(std::vector<uint8_t> file, uint64_t offset, uint64_t pixelBytes, uint8_t alpha);

private:
    std::vector<uint8_t> m_bytes;
    std::vector<uint64_t> m_offsets;
};
