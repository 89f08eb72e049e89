#include "app/sample/ModelFile.h"

#include <cstdio>
#include <cstring>

namespace {

void PutText(std::vector<uint8_t>& out, const char* text)
{
    out.insert(out.end(), text, text + std::strlen(text));
}

void PutU32(std::vector<uint8_t>& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

std::vector<uint8_t> BuildModelFile(const std::vector<RawTexture>& textures)
{
    std::vector<uint8_t> out;
    PutText(out, "Tavrel sample model file\n");
    out.insert(out.end(), 16, 0);
    for (size_t i = 0; i < textures.size(); ++i) {
        const RawTexture& texture = textures[i];
        // Some bytes of another block, which the reader passes over.
        PutText(out, "other block");
        PutU32(out, static_cast<uint32_t>(i));
        out.insert(out.end(), 10, 0x11);
        PutText(out, "NiRawImageData");
        // Twelve bytes the reader skips.
        PutU32(out, static_cast<uint32_t>(i));
        PutU32(out, 0);
        PutU32(out, 0);
        PutU32(out, texture.width);
        PutU32(out, texture.height);
        PutU32(out, texture.format);
        out.insert(out.end(), texture.pixels.begin(), texture.pixels.end());
    }
    PutText(out, "end of sample\n");
    return out;
}

bool WriteModelFile(const std::string& path, const std::vector<RawTexture>& textures)
{
    const std::vector<uint8_t> bytes = BuildModelFile(textures);
    const std::string temporary = path + ".part";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        std::remove(temporary.c_str());
        return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}
