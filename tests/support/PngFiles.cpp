#include "PngFiles.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <csetjmp>
#include <cstdio>

namespace {

// libpng jumps back here on an error: the steps must hold no object with a destructor.
template <typename Steps> bool Guarded(png_structp png, const Steps& steps)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    steps();
    return true;
}

}  // namespace

std::vector<uint8_t> EncodePng(const PngImage& image)
{
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, size_t length) {
            auto* bytes = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
            bytes->insert(bytes->end(), data, data + length);
        },
        nullptr);
    std::vector<png_bytep> rows;
    for (const auto& row : image.rows)
        rows.push_back(const_cast<png_bytep>(row.data()));
    const bool ok = Guarded(png, [&] {
        png_set_IHDR(png, info, image.width, image.height, image.bitDepth, image.colorType,
            image.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
            PNG_FILTER_TYPE_DEFAULT);
        if (!image.palette.empty())
            png_set_PLTE(png, info, reinterpret_cast<png_const_colorp>(image.palette.data()),
                static_cast<int>(image.palette.size() / 3));
        if (!image.paletteAlpha.empty())
            png_set_tRNS(png, info, image.paletteAlpha.data(), static_cast<int>(image.paletteAlpha.size()), nullptr);
        if (image.hasPhysicalSize)
            png_set_pHYs(png, info, image.xPerUnit, image.yPerUnit, image.unit);
        png_set_rows(png, info, rows.data());
        png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    });
    png_destroy_write_struct(&png, &info);
    EXPECT_TRUE(ok) << "the test's PNG could not be made";
    return out;
}

bool DecodePng(const std::vector<uint8_t>& bytes, PngImage& image)
{
    FILE* file = fmemopen(const_cast<uint8_t*>(bytes.data()), bytes.size(), "rb");
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    const bool ok = Guarded(png, [&] { png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr); });
    if (ok) {
        png_get_IHDR(
            png, info, &image.width, &image.height, &image.bitDepth, &image.colorType, nullptr, nullptr, nullptr);
        png_bytepp rows = png_get_rows(png, info);
        // libpng leaves the unused low bits of a row's last byte as its buffer held them: clear them.
        const uint64_t rowBits = uint64_t{image.width} * image.bitDepth * png_get_channels(png, info);
        const uint8_t lastByteMask = rowBits % 8 ? uint8_t(0xFF << (8 - rowBits % 8)) : uint8_t(0xFF);
        for (uint32_t i = 0; i < image.height; ++i) {
            image.rows.emplace_back(rows[i], rows[i] + png_get_rowbytes(png, info));
            image.rows.back().back() &= lastByteMask;
        }
        png_colorp palette = nullptr;
        int count = 0;
        png_get_PLTE(png, info, &palette, &count);
        const auto* entries = reinterpret_cast<const uint8_t*>(palette);
        image.palette.assign(entries, entries + 3 * count);
        png_color_8p bits = nullptr;
        if (png_get_sBIT(png, info, &bits))
            image.significantBits = {bits->red, bits->green, bits->blue};
        image.hasPhysicalSize = png_get_pHYs(png, info, &image.xPerUnit, &image.yPerUnit, &image.unit) != 0;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return ok;
}

std::vector<uint8_t> WithDeclaredSides(std::vector<uint8_t> png, uint32_t width, uint32_t height)
{
    for (int i = 0; i < 4; ++i) {
        png[16 + i] = uint8_t(width >> (24 - 8 * i));
        png[20 + i] = uint8_t(height >> (24 - 8 * i));
    }
    for (uint32_t i = 0, crc = uint32_t(crc32(0, png.data() + 12, 17)); i < 4; ++i)
        png[29 + i] = uint8_t(crc >> (24 - 8 * i));
    return png;
}
