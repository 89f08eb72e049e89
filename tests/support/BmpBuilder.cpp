#include "BmpBuilder.h"

#include <algorithm>
#include <cstring>

namespace {

void Append(std::vector<uint8_t>& out, const void* data, size_t size)
{
    const auto* p = static_cast<const uint8_t*>(data);
    out.insert(out.end(), p, p + size);
}

}  // namespace

std::vector<uint8_t> BuildBmp(const BmpSpec& s)
{
    std::vector<uint8_t> header(s.headerSize, 0);
    const BITMAPINFOHEADER info{s.headerSize, s.width,         s.height,        1,         s.bitCount, s.compression,
                                s.sizeImage,  s.xPelsPerMeter, s.yPelsPerMeter, s.clrUsed, 0};
    std::memcpy(header.data(), &info, sizeof info);
    std::vector<uint8_t> masks;
    std::vector<uint8_t> table;
    Append(masks, s.masks.data(), 4 * s.masks.size());
    if (s.headerSize >= 52)
        std::copy(masks.begin(), masks.end(), header.begin() + 40);
    else
        table = masks;
    Append(table, s.palette.data(), 4 * s.palette.size());
    table.insert(table.end(), s.gap, 0xEE);
    const auto offBits = static_cast<uint32_t>(14 + header.size() + table.size());
    const uint32_t fields[3] = {s.fileSize.value_or(static_cast<uint32_t>(offBits + s.pixels.size())), 0,
                                s.offBits.value_or(offBits)};
    std::vector<uint8_t> out = {'B', 'M'};
    Append(out, fields, sizeof fields);
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
