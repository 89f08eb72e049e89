#include "image/Thumbnail.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "image/DibImage.h"
#include "image/DibRowConverter.h"
#include "image/PngEncoder.h"
#include "platform/CoreError.h"
#include "platform/Exceptions.h"

namespace {

// The source span each destination cell covers along one axis: cell i takes
// source pixels [first, first + weights.size()) with those weights (summing to 1).
struct Span {
    uint32_t first = 0;
    std::vector<double> weights;
};

std::vector<Span> Spans(uint32_t from, uint32_t to)
{
    std::vector<Span> spans(to);
    const double scale = static_cast<double>(from) / to;
    for (uint32_t i = 0; i < to; ++i) {
        const double begin = i * scale, end = (i + 1) * scale;
        Span& span = spans[i];
        span.first = static_cast<uint32_t>(begin);
        for (uint32_t s = span.first; s < from && s < end; ++s) {
            const double cover = std::min<double>(s + 1, end) - std::max<double>(s, begin);
            if (cover > 0)
                span.weights.push_back(cover / scale);
            else if (span.weights.empty())
                ++span.first;
        }
    }
    return spans;
}

bool AnyAlpha32(const CDibImage& image)
{
    const uint32_t width = static_cast<uint32_t>(image.GetWidth());
    const uint32_t rows = static_cast<uint32_t>(std::abs(image.GetHeight()));
    for (uint32_t y = 0; y < rows; ++y) {
        const uint8_t* row = image.GetBits() + uint64_t{y} * image.GetStride();
        for (uint32_t x = 0; x < width; ++x) {
            if (row[x * 4 + 3] != 0)
                return true;
        }
    }
    return false;
}

}  // namespace

void FitThumbnail(uint32_t width, uint32_t height, uint32_t size, uint32_t& outWidth, uint32_t& outHeight)
{
    outWidth = width;
    outHeight = height;
    if (width <= size && height <= size)
        return;
    if (width >= height) {
        outWidth = size;
        outHeight = static_cast<uint32_t>(std::max<uint64_t>(1, (uint64_t{height} * size + width / 2) / width));
    } else {
        outHeight = size;
        outWidth = static_cast<uint32_t>(std::max<uint64_t>(1, (uint64_t{width} * size + height / 2) / height));
    }
}

Thumbnail MakeThumbnail(const CDibImage& image, uint32_t size)
{
    const int32_t w = image.GetWidth(), h = image.GetHeight();
    if (!image.GetBits() || w <= 0 || h == 0 || size == 0)
        throw CCoreError("The image is empty: there is nothing to show.");
    const uint32_t width = static_cast<uint32_t>(w), height = static_cast<uint32_t>(std::abs(h));
    const bool bottomUp = h > 0;
    // A 32-bit record of plain blue, green, red, alpha bytes keeps its alpha; others go through the converter.
    const bool plain32 = image.GetBitCount() == 32 && CDibRowConverter::MasksAre(image, 0xFF0000, 0xFF00, 0xFF);
    const bool alpha = plain32 && AnyAlpha32(image);
    CDibRowConverter converter;
    if (!plain32 && !converter.Init(image))
        throw CCoreError("The image's depth cannot be shown.");

    Thumbnail thumb;
    FitThumbnail(width, height, size, thumb.width, thumb.height);
    thumb.bAlpha = alpha;
    const std::vector<Span> columns = Spans(width, thumb.width), rows = Spans(height, thumb.height);
    // Per destination row: alpha-weighted red, green, blue and alpha sums.
    std::vector<double> sums(size_t{thumb.width} * 4 * thumb.height, 0.0);
    std::vector<uint8_t> bgr(size_t{width} * 3);
    std::vector<double> line(size_t{thumb.width} * 4);
    uint32_t row = 0;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* src = image.GetBits() + uint64_t{bottomUp ? height - 1 - y : y} * image.GetStride();
        if (!plain32)
            converter.ConvertRow(src, bgr.data());
        std::fill(line.begin(), line.end(), 0.0);
        for (uint32_t x = 0; x < thumb.width; ++x) {
            const Span& span = columns[x];
            double* cell = &line[size_t{x} * 4];
            for (size_t k = 0; k < span.weights.size(); ++k) {
                const uint32_t s = span.first + static_cast<uint32_t>(k);
                const uint8_t* p = plain32 ? src + size_t{s} * 4 : &bgr[size_t{s} * 3];
                const double a = (alpha ? p[3] : 255) * span.weights[k];
                cell[0] += p[2] * a, cell[1] += p[1] * a, cell[2] += p[0] * a, cell[3] += a;
            }
        }
        // Each source row falls in at most two destination rows when shrinking (one when not).
        while (row + 1 < thumb.height && y >= rows[row].first + rows[row].weights.size())
            ++row;
        for (uint32_t r = row; r < thumb.height && rows[r].first <= y; ++r) {
            if (y >= rows[r].first + rows[r].weights.size())
                continue;
            const double weight = rows[r].weights[y - rows[r].first];
            double* out = &sums[size_t{r} * thumb.width * 4];
            for (size_t i = 0; i < line.size(); ++i)
                out[i] += line[i] * weight;
        }
    }
    const unsigned channels = alpha ? 4 : 3;
    thumb.pixels.resize(size_t{thumb.width} * thumb.height * channels);
    for (size_t p = 0; p < size_t{thumb.width} * thumb.height; ++p) {
        const double* s = &sums[p * 4];
        uint8_t* d = &thumb.pixels[p * channels];
        for (unsigned c = 0; c < 3; ++c)
            d[c] = s[3] > 0 ? static_cast<uint8_t>(std::lround(std::clamp(s[c] / s[3], 0.0, 255.0))) : 0;
        if (alpha)
            d[3] = static_cast<uint8_t>(std::lround(std::clamp(s[3], 0.0, 255.0)));
    }
    return thumb;
}

std::vector<uint8_t> ThumbnailPng(const Thumbnail& thumbnail)
{
    PngEncodeHeader header;
    header.width = thumbnail.width;
    header.height = thumbnail.height;
    header.colorType = thumbnail.bAlpha ? kPngColorRgba : kPngColorRgb;
    const size_t rowBytes = header.RowBytes();
    std::vector<uint8_t> bytes;
    EncodePng(
        header, [&](uint32_t y, uint8_t* row) { std::memcpy(row, &thumbnail.pixels[size_t{y} * rowBytes], rowBytes); },
        [&](const uint8_t* data, size_t size) { bytes.insert(bytes.end(), data, data + size); });
    return bytes;
}
