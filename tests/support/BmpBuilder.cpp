#include "BmpBuilder.h"

#include <algorithm>
#include <cstring>

#include <zlib.h>

#include "NifBuilder.h"

std::vector<uint8_t> BuildBmp(const BmpFileParts& s)
{
    std::vector<uint8_t> header(s.headerSize, 0), table(s.headerSize >= 52 ? 0 : 4 * s.masks.size());
    const BITMAPINFOHEADER info{s.headerSize, s.width, s.height, 1, s.bitCount, s.compression, s.sizeImage,
        s.xPelsPerMeter, s.yPelsPerMeter, s.clrUsed, 0};
    std::memcpy(header.data(), &info, sizeof info);
    std::copy_n(reinterpret_cast<const uint8_t*>(s.masks.data()), 4 * s.masks.size(),
        s.headerSize >= 52 ? header.begin() + 40 : table.begin());
    const auto* palette = reinterpret_cast<const uint8_t*>(s.palette.data());
    table.insert(table.end(), palette, palette + 4 * s.palette.size());
    table.insert(table.end(), s.gap, 0xEE);
    const auto offBits = static_cast<uint32_t>(14 + header.size() + table.size());
    const uint32_t fields[3] = {
        s.fileSize.value_or(static_cast<uint32_t>(offBits + s.pixels.size())), 0, s.offBits.value_or(offBits)};
    std::vector<uint8_t> out = {'B', 'M'};
    out.insert(out.end(), reinterpret_cast<const uint8_t*>(fields), reinterpret_cast<const uint8_t*>(fields + 3));
    for (const auto& part : {header, table, s.pixels, s.trailer})
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

std::vector<uint8_t> PadRows(const std::vector<std::vector<uint8_t>>& rows)
{
    std::vector<uint8_t> out;
    for (const auto& row : rows) {
        out.insert(out.end(), row.begin(), row.end());
        out.insert(out.end(), (4 - row.size() % 4) % 4, 0);
    }
    return out;
}

std::vector<uint8_t> BuildBmz(const std::vector<uint8_t>& bmp, std::vector<uint8_t> header)
{
    header.resize(40, 0);
    uLongf size = compressBound(bmp.size());
    header.resize(40 + size);
    compress2(&header[40], &size, bmp.data(), bmp.size(), 6);
    header.resize(40 + size);
    return header;
}

std::vector<uint8_t> BmpOfBlock(
    const std::vector<uint8_t>& pixels, uint32_t width, uint32_t height, uint32_t format, bool topDown)
{
    std::vector<uint8_t> rows = NifBuilder::BlockToDib(pixels, width, height, format), flipped;
    const size_t stride = rows.size() / std::max(height, 1u);
    for (size_t r = height; topDown && r-- > 0;)
        flipped.insert(flipped.end(), rows.begin() + long(r * stride), rows.begin() + long((r + 1) * stride));
    return BuildBmp({.width = int32_t(width),
        .height = topDown ? -int32_t(height) : int32_t(height),
        .bitCount = uint16_t(format == 1 ? 24 : 32),
        .sizeImage = uint32_t(rows.size()),
        .pixels = topDown ? flipped : rows});
}
