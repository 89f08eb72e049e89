#include "PngFiles.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstring>

namespace {

struct ByteSource {
    const std::vector<uint8_t>* bytes;
    size_t position;
};

void AppendBytes(png_structp png, png_bytep data, size_t length)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void TakeBytes(png_structp png, png_bytep data, size_t length)
{
    auto* source = static_cast<ByteSource*>(png_get_io_ptr(png));
    if (source->position + length > source->bytes->size())
        png_error(png, "Read Error");
    std::memcpy(data, source->bytes->data() + source->position, length);
    source->position += length;
}

void SetText(png_structp png, png_infop info, const PngText& text)
{
    png_text entry{};
    entry.compression = PNG_TEXT_COMPRESSION_NONE;
    entry.key = const_cast<char*>(text.key.c_str());
    entry.text = const_cast<char*>(text.value.c_str());
    entry.text_length = text.value.size();
    png_set_text(png, info, &entry, 1);
}

// libpng jumps back here on an error; only plain pointers live in this frame.
bool EncodeSteps(png_structp png, png_infop info, const PngImage* image, png_bytep* rows)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_IHDR(png, info, image->width, image->height, image->bitDepth, image->colorType,
                 image->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!image->palette.empty())
        png_set_PLTE(png, info, image->palette.data(), static_cast<int>(image->palette.size()));
    if (image->hasPhysicalSize)
        png_set_pHYs(png, info, image->xPerUnit, image->yPerUnit, image->unit);
    if (image->textBefore)
        SetText(png, info, *image->textBefore);
    png_write_info(png, info);
    png_write_image(png, rows);
    if (image->textAfter)
        SetText(png, info, *image->textAfter);
    png_write_end(png, info);
    return true;
}

bool DecodeSteps(png_structp png, png_infop info)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    return true;
}

}  // namespace

std::vector<uint8_t> EncodePng(const PngImage& image)
{
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, AppendBytes, nullptr);
    std::vector<png_bytep> rows;
    for (const auto& row : image.rows)
        rows.push_back(const_cast<png_bytep>(row.data()));
    const bool ok = EncodeSteps(png, info, &image, rows.data());
    png_destroy_write_struct(&png, &info);
    EXPECT_TRUE(ok) << "the test's PNG could not be made";
    return out;
}

bool DecodePng(const std::vector<uint8_t>& bytes, PngImage& image)
{
    ByteSource source{&bytes, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_read_fn(png, &source, TakeBytes);
    const bool ok = DecodeSteps(png, info);
    if (ok) {
        png_get_IHDR(png, info, &image.width, &image.height, &image.bitDepth, &image.colorType, nullptr, nullptr,
                     nullptr);
        const size_t rowBytes = png_get_rowbytes(png, info);
        png_bytepp rows = png_get_rows(png, info);
        // The unused low bits of a row's last byte hold no pixel: clear them.
        const uint64_t rowBits = uint64_t{image.width} * image.bitDepth * png_get_channels(png, info);
        const uint8_t lastByteMask = rowBits % 8 ? uint8_t(0xFF << (8 - rowBits % 8)) : uint8_t(0xFF);
        image.rows.clear();
        for (uint32_t i = 0; i < image.height; ++i) {
            image.rows.emplace_back(rows[i], rows[i] + rowBytes);
            image.rows.back().back() &= lastByteMask;
        }
        png_colorp palette = nullptr;
        int count = 0;
        image.palette.clear();
        if (png_get_PLTE(png, info, &palette, &count))
            image.palette.assign(palette, palette + count);
        png_color_8p bits = nullptr;
        image.significantBits.reset();
        if (png_get_sBIT(png, info, &bits))
            image.significantBits = *bits;
        image.hasPhysicalSize =
            png_get_pHYs(png, info, &image.xPerUnit, &image.yPerUnit, &image.unit) != 0;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return ok;
}
