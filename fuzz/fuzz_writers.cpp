// Any bytes as a model file given to the in-place writers, the only code that
// writes into users' files: texture 0 is read, written back over itself and
// read again (it must come back the same), then its alpha is stamped and read
// again (every alpha must be the stamp). Writes that are refused are fine;
// a write that reports success must have written exactly that.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "FuzzInput.h"
#include "image/DibImage.h"
#include "image/RawTexture.h"
#include "nif/TextureScanner.h"
#include "nif/TextureWriter.h"
#include "platform/CoreError.h"
#include "platform/File.h"

namespace {

constexpr uint8_t kStamp = 0x5A;

bool FirstTexture(const std::string& path, uint64_t& offset, RawTextureShape& shape)
{
    CFile file;
    if (!file.Open(path, CFile::modeRead))
        return false;
    std::vector<uint64_t> offsets;
    std::vector<RawTextureShape> shapes;
    try {
        ScanRawImageData(file, offsets, shapes);
    } catch (const CFileException&) {
        return false;
    }
    if (offsets.empty())
        return false;
    offset = offsets[0];
    shape = shapes[0];
    return true;
}

// True when the write completed; a refusal is an answer, not a finding.
template <typename Write> bool Written(Write&& write)
{
    try {
        write();
        return true;
    } catch (const CCoreError&) {
        return false;
    }
}

std::vector<uint8_t> Rows(const CDibImage& image)
{
    const uint8_t* bits = image.GetBits();
    return std::vector<uint8_t>(bits, bits + uint64_t(image.GetStride()) * uint64_t(image.GetHeight()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = WriteFuzzFile(data, size, "model.nif");
    uint64_t offset = 0;
    RawTextureShape shape;
    if (!FirstTexture(path, offset, shape))
        return 0;
    const std::optional<uint64_t> oldBytes = shape.PixelBytes();
    std::vector<uint8_t> original;
    {
        const auto record = ReadImage(path, FileKind::Nif, offset);
        const CDibImage& image = *record;
        if (image.GetBitmapInfo() && oldBytes) {
            original = Rows(image);
            std::vector<uint8_t> pixels = original;
            const uint32_t width = uint32_t(image.GetWidth()), height = uint32_t(image.GetHeight());
            const uint64_t bytes = ConvertDibToRawPixels(pixels.data(), width, height, image.GetBitCount());
            const uint32_t format = image.GetBitCount() == 32 ? 2 : 1;
            if (bytes > 0 && Written([&] {
                    SpliceRawImageBlock(path, offset, *oldBytes, width, height, format, pixels.data(), bytes, shape);
                })) {
                const auto back = ReadImage(path, FileKind::Nif, offset);
                if (!back->GetBitmapInfo() || Rows(*back) != original)
                    std::abort();  // a write reported as done changed the texture
            }
        }
    }
    if (!FirstTexture(path, offset, shape) || !shape.PixelBytes())
        return 0;
    const bool readable = ReadImage(path, FileKind::Nif, offset)->GetBitmapInfo() != nullptr;
    if (Written([&] { StampAlpha(path, offset, *shape.PixelBytes(), kStamp, shape); }) && readable) {
        const auto back = ReadImage(path, FileKind::Nif, offset);
        if (!back->GetBitmapInfo() || back->GetBitCount() != 32)
            std::abort();
        const std::vector<uint8_t> rows = Rows(*back);
        for (size_t i = 3; i < rows.size(); i += 4)
            if (rows[i] != kStamp)
                std::abort();  // an alpha byte the stamp missed
    }
    return 0;
}
