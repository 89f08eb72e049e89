#include "image/PngRowFilter.h"

#include <cstdlib>
#include <cstring>

namespace {

enum : uint8_t { kNone = 0, kSub = 1, kUp = 2, kAverage = 3, kPaeth = 4 };

// The usual measure of how well a filtered row will compress: bytes taken as
// signed, summed by size.
inline unsigned Magnitude(uint8_t v)
{
    return v < 128 ? v : 256u - v;
}

inline uint8_t Paeth(int a, int b, int c)
{
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// The filtered byte x of each filter, given its left (a), upper (b) and upper-left (c) neighbours.
struct Filtered {
    uint8_t sub, up, average, paeth;
    Filtered(int x, int a, int b, int c)
        : sub(static_cast<uint8_t>(x - a))
        , up(static_cast<uint8_t>(x - b))
        , average(static_cast<uint8_t>(x - ((a + b) >> 1)))
        , paeth(static_cast<uint8_t>(x - Paeth(a, b, c)))
    {
    }
};

}  // namespace

CPngRowFilter::CPngRowFilter(size_t rowBytes, unsigned bytesPerPixel, bool choose)
    : m_nRowBytes(rowBytes)
    , m_nBpp(bytesPerPixel)
    , m_bChoose(choose)
{
}

void CPngRowFilter::Filter(const uint8_t* row, const uint8_t* prev, uint8_t* out)
{
    const size_t n = m_nRowBytes;
    if (!m_bChoose) {
        out[0] = kNone;
        std::memcpy(out + 1, row, n);
        return;
    }
    // Bytes of the first pixel have no left neighbours: theirs count as zero.
    const size_t bpp = m_nBpp < n ? m_nBpp : n;
    const auto left = [&](size_t i) { return i >= bpp ? row[i - bpp] : 0; };
    const auto upperLeft = [&](size_t i) { return i >= bpp ? prev[i - bpp] : 0; };

    // Each filter's measure in one pass that stores nothing; then the chosen filter's bytes.
    uint64_t sums[5] = {};
    for (size_t i = 0; i < n; ++i) {
        const Filtered f(row[i], left(i), prev[i], upperLeft(i));
        sums[kNone] += Magnitude(row[i]);
        sums[kSub] += Magnitude(f.sub);
        sums[kUp] += Magnitude(f.up);
        sums[kAverage] += Magnitude(f.average);
        sums[kPaeth] += Magnitude(f.paeth);
    }
    uint8_t best = kNone;
    for (uint8_t f = kSub; f <= kPaeth; ++f) {
        if (sums[f] < sums[best])
            best = f;
    }
    out[0] = best;
    uint8_t* dst = out + 1;
    switch (best) {
    case kNone: std::memcpy(dst, row, n); break;
    case kSub:
        for (size_t i = 0; i < n; ++i)
            dst[i] = static_cast<uint8_t>(row[i] - left(i));
        break;
    case kUp:
        for (size_t i = 0; i < n; ++i)
            dst[i] = static_cast<uint8_t>(row[i] - prev[i]);
        break;
    case kAverage:
        for (size_t i = 0; i < n; ++i)
            dst[i] = static_cast<uint8_t>(row[i] - ((left(i) + prev[i]) >> 1));
        break;
    default:
        for (size_t i = 0; i < n; ++i)
            dst[i] = static_cast<uint8_t>(row[i] - Paeth(left(i), prev[i], upperLeft(i)));
        break;
    }
}
