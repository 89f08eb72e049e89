#include "BmpBuilder.h"

#include <cstring>

namespace {

template <typename T>
void Put(std::vector<uint8_t>& out, T value)
{
    uint8_t bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    out.insert(out.end(), bytes, bytes + sizeof(T));
}

}  // namespace

std::vector<uint8_t> BuildBmp(const BmpSpec& s)
{
    const bool masksInHeader = s.headerSize >= 52;
    const size_t tableBytes = 4 * s.palette.size() + (masksInHeader ? 0 : 4 * s.masks.size());
    const uint32_t offBits = static_cast<uint32_t>(14 + s.headerSize + tableBytes + s.gap);
    std::vector<uint8_t> out;
    Put<uint16_t>(out, 0x4D42);
    Put<uint32_t>(out, s.fileSize.value_or(static_cast<uint32_t>(offBits + s.pixels.size())));
    Put<uint32_t>(out, 0);
    Put<uint32_t>(out, s.offBits.value_or(offBits));
    Put<uint32_t>(out, s.headerSize);
    Put<int32_t>(out, s.width);
    Put<int32_t>(out, s.height);
    Put<uint16_t>(out, 1);
    Put<uint16_t>(out, s.bitCount);
    Put<uint32_t>(out, s.compression);
    Put<uint32_t>(out, s.sizeImage);
    Put<int32_t>(out, s.xPelsPerMeter);
    Put<int32_t>(out, s.yPelsPerMeter);
    Put<uint32_t>(out, s.clrUsed);
    Put<uint32_t>(out, 0);
    std::vector<uint8_t> extra(s.headerSize > 40 ? s.headerSize - 40 : 0, 0);
    for (size_t i = 0; masksInHeader && i < s.masks.size() && 4 * i + 4 <= extra.size(); ++i)
        std::memcpy(extra.data() + 4 * i, &s.masks[i], 4);
    out.insert(out.end(), extra.begin(), extra.end());
    for (uint32_t i = 0; !masksInHeader && i < s.masks.size(); ++i)
        Put<uint32_t>(out, s.masks[i]);
    for (const RGBQUAD& q : s.palette)
        Put<RGBQUAD>(out, q);
    out.insert(out.end(), s.gap, 0xEE);
    out.insert(out.end(), s.pixels.begin(), s.pixels.end());
    out.insert(out.end(), s.trailer.begin(), s.trailer.end());
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
