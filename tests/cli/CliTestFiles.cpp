#include "CliTestFiles.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstring>
#include <initializer_list>

#include "BmpBuilder.h"
#include "NifBuilder.h"
#include "PngFiles.h"
#include "TempDir.h"

namespace {

uint32_t GetU16(const std::vector<uint8_t>& in, size_t at)
{
    return in[at] | (in[at + 1] << 8);
}

uint32_t GetU32(const std::vector<uint8_t>& in, size_t at)
{
    return GetU16(in, at) | (GetU16(in, at + 2) << 16);
}

}  // namespace

Picture MakePicture(uint32_t width, uint32_t height, bool hasAlpha, uint32_t seed)
{
    Picture picture{width, height, hasAlpha, std::vector<uint8_t>(size_t(width) * height * 4)};
    uint32_t state = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < picture.rgba.size(); ++i) {
        state = state * 1103515245u + 12345u;
        picture.rgba[i] = static_cast<uint8_t>(state >> 16);
        if (!hasAlpha && i % 4 == 3)
            picture.rgba[i] = 255;
    }
    return picture;
}

namespace {

// The picture's pixels as rows of the given channels, top row first; order
// names the source channel of each output byte (for example {2, 1, 0} for BGR).
std::vector<std::vector<uint8_t>> Rows(const Picture& picture, std::initializer_list<int> order, bool bottomUp)
{
    std::vector<std::vector<uint8_t>> rows;
    for (uint32_t row = 0; row < picture.height; ++row) {
        const uint32_t y = bottomUp ? picture.height - 1 - row : row;
        std::vector<uint8_t> bytes;
        for (uint32_t x = 0; x < picture.width; ++x) {
            for (int channel : order)
                bytes.push_back(picture.At(x, y)[channel]);
        }
        rows.push_back(std::move(bytes));
    }
    return rows;
}

std::vector<uint8_t> Joined(const std::vector<std::vector<uint8_t>>& rows)
{
    std::vector<uint8_t> out;
    for (const auto& row : rows)
        out.insert(out.end(), row.begin(), row.end());
    return out;
}

}  // namespace

ModelFile BuildModelFile(const std::vector<Picture>& pictures)
{
    NifBuilder nif;
    nif.Text("Model file written by a test, version 1\n");
    for (const Picture& picture : pictures) {
        const auto rows = picture.hasAlpha ? Rows(picture, {0, 1, 2, 3}, false) : Rows(picture, {0, 1, 2}, false);
        nif.Texture(picture.width, picture.height, picture.hasAlpha ? 2 : 1, Joined(rows));
        nif.Text("NamedSource").Filler(9);
    }
    return ModelFile{nif.Bytes(), nif.TextureOffsets()};
}

std::vector<uint8_t> BuildLinkModelFile(const std::string& linkName)
{
    NifBuilder nif;
    nif.Text("Model file written by a test, version 1\n").Link(linkName, "\x01\x02 trailing bytes");
    return nif.Bytes();
}

std::vector<uint8_t> BuildBmp(const Picture& picture)
{
    BmpSpec spec;
    spec.width = static_cast<int32_t>(picture.width);
    spec.height = static_cast<int32_t>(picture.height);
    spec.bitCount = picture.hasAlpha ? 32 : 24;
    spec.xPelsPerMeter = spec.yPelsPerMeter = 2835;
    spec.pixels = PadRows(picture.hasAlpha ? Rows(picture, {2, 1, 0, 3}, true) : Rows(picture, {2, 1, 0}, true));
    return BuildBmp(spec);
}

std::vector<uint8_t> BuildBmz(const Picture& picture)
{
    const std::vector<uint8_t> bmp = BuildBmp(picture);
    uLongf packedSize = compressBound(bmp.size());
    std::vector<uint8_t> packed(packedSize);
    EXPECT_EQ(compress2(packed.data(), &packedSize, bmp.data(), bmp.size(), 6), Z_OK);
    packed.resize(packedSize);
    std::vector<uint8_t> out{0, 0, 0, 0, 1, 0};   // the size field is not read; the u16 is 1
    out.resize(40, 0);
    out.insert(out.end(), packed.begin(), packed.end());
    return out;
}

void WritePngFile(const std::string& path, const Picture& picture)
{
    PngImage image;
    image.width = picture.width;
    image.height = picture.height;
    image.colorType = picture.hasAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
    image.rows = picture.hasAlpha ? Rows(picture, {0, 1, 2, 3}, false) : Rows(picture, {0, 1, 2}, false);
    WriteFileBytes(path, EncodePng(image));
}

Picture ReadBmpPicture(const std::vector<uint8_t>& bytes)
{
    Picture picture;
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M')
        return picture;
    const uint32_t offBits = GetU32(bytes, 10);
    const int32_t width = static_cast<int32_t>(GetU32(bytes, 18));
    const int32_t height = static_cast<int32_t>(GetU32(bytes, 22));
    const uint32_t bits = GetU16(bytes, 28);
    if (width <= 0 || height == 0 || (bits != 24 && bits != 32) || GetU32(bytes, 30) != 0)
        return picture;
    const uint32_t rows = static_cast<uint32_t>(height < 0 ? -height : height);
    const uint32_t stride = (uint32_t(width) * bits + 31) / 32 * 4;
    if (bytes.size() < uint64_t(offBits) + uint64_t(stride) * rows)
        return picture;
    picture = Picture{uint32_t(width), rows, bits == 32, std::vector<uint8_t>(size_t(width) * rows * 4)};
    for (uint32_t y = 0; y < rows; ++y) {
        const uint32_t fileRow = height < 0 ? y : rows - 1 - y;
        const uint8_t* src = &bytes[offBits + size_t(fileRow) * stride];
        for (uint32_t x = 0; x < uint32_t(width); ++x, src += bits / 8) {
            uint8_t* dst = &picture.rgba[(size_t(y) * width + x) * 4];
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
            dst[3] = bits == 32 ? src[3] : 255;
        }
    }
    return picture;
}

Picture ReadPngPicture(const std::string& path)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return {};
    const bool hasAlpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    image.format = PNG_FORMAT_RGBA;
    Picture picture{image.width, image.height, hasAlpha, std::vector<uint8_t>(PNG_IMAGE_SIZE(image))};
    if (!png_image_finish_read(&image, nullptr, picture.rgba.data(), 0, nullptr))
        return {};
    return picture;
}

Picture ReadTgaPicture(const std::vector<uint8_t>& bytes)
{
    Picture picture;
    if (bytes.size() < 18 || bytes[2] != 2)
        return picture;
    const uint32_t width = GetU16(bytes, 12);
    const uint32_t height = GetU16(bytes, 14);
    const uint32_t bits = bytes[16];
    const bool topDown = (bytes[17] & 0x20) != 0;
    const size_t start = 18 + bytes[0];
    if ((bits != 24 && bits != 32) || bytes.size() < start + size_t(width) * height * (bits / 8))
        return picture;
    picture = Picture{width, height, bits == 32, std::vector<uint8_t>(size_t(width) * height * 4)};
    for (uint32_t row = 0; row < height; ++row) {
        const uint32_t y = topDown ? row : height - 1 - row;
        const uint8_t* src = &bytes[start + size_t(row) * width * (bits / 8)];
        for (uint32_t x = 0; x < width; ++x, src += bits / 8) {
            uint8_t* dst = &picture.rgba[(size_t(y) * width + x) * 4];
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
            dst[3] = bits == 32 ? src[3] : 255;
        }
    }
    return picture;
}

void ExpectSamePixels(const Picture& expected, const Picture& actual, bool compareAlpha, const std::string& what)
{
    ASSERT_EQ(actual.width, expected.width) << what;
    ASSERT_EQ(actual.height, expected.height) << what;
    for (uint32_t y = 0; y < expected.height; ++y) {
        for (uint32_t x = 0; x < expected.width; ++x) {
            const uint8_t* e = expected.At(x, y);
            const uint8_t* a = actual.At(x, y);
            const int channels = compareAlpha ? 4 : 3;
            if (std::memcmp(e, a, channels) != 0) {
                ADD_FAILURE() << what << ": pixel (" << x << ", " << y << ") is " << int(a[0]) << "," << int(a[1])
                              << "," << int(a[2]) << "," << int(a[3]) << " instead of " << int(e[0]) << ","
                              << int(e[1]) << "," << int(e[2]) << "," << int(e[3]);
                return;
            }
        }
    }
}
