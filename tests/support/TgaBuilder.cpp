#include "TgaBuilder.h"

#include <algorithm>
#include <cstring>

namespace {

// Repeat packets for runs of equal pixels, literal packets for the rest, 128 pixels at most each.
std::vector<uint8_t> RunLengthCode(const std::vector<uint8_t>& pixels, size_t bpp)
{
    std::vector<uint8_t> out;
    const size_t count = pixels.size() / bpp;
    auto same = [&](size_t a, size_t b) { return std::memcmp(&pixels[a * bpp], &pixels[b * bpp], bpp) == 0; };
    for (size_t i = 0; i < count;) {
        size_t run = 1;
        while (i + run < count && run < 128 && same(i, i + run))
            ++run;
        if (run > 1) {
            out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
            out.insert(out.end(), pixels.begin() + long(i * bpp), pixels.begin() + long((i + 1) * bpp));
        } else {
            size_t literal = 1;
            while (i + literal < count && literal < 128 &&
                !(i + literal + 1 < count && same(i + literal, i + literal + 1)))
                ++literal;
            out.push_back(static_cast<uint8_t>(literal - 1));
            out.insert(out.end(), pixels.begin() + long(i * bpp), pixels.begin() + long((i + literal) * bpp));
            run = literal;
        }
        i += run;
    }
    return out;
}

}  // namespace

std::vector<uint8_t> BuildTga(const TgaFileParts& p)
{
    std::vector<uint8_t> out = {static_cast<uint8_t>(p.id.size()), p.colorMapType, p.imageType, 0, 0,
        static_cast<uint8_t>(p.mapEntries), static_cast<uint8_t>(p.mapEntries >> 8),
        static_cast<uint8_t>(p.colorMapType ? 24 : 0), 0, 0, 0, 0, static_cast<uint8_t>(p.width),
        static_cast<uint8_t>(p.width >> 8), static_cast<uint8_t>(p.height), static_cast<uint8_t>(p.height >> 8),
        p.depth, p.descriptor};
    out.insert(out.end(), p.id.begin(), p.id.end());
    out.insert(out.end(), size_t{p.mapEntries} * 3, 0x5A);
    const std::vector<uint8_t> data = p.imageType == 10 ? RunLengthCode(p.pixels, std::max(1, p.depth / 8)) : p.pixels;
    out.insert(out.end(), data.begin(), data.end());
    return out;
}
