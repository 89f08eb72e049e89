#include "image/PngRowFilter.h"

#include <cstdlib>
#include <cstring>

namespace {

enum : uint8_t { kNone = 0, kSub = 1, kUp = 2, kAverage = 3, kPaeth = 4 };

// The usual measure of how well a filtered row will compress: bytes taken as
// signed, summed by size.
uint64_t SumOfMagnitudes(const uint8_t* p, size_t n)
{
    uint64_t sum = 0;
    for (size_t i = 0; i < n; ++i) {
        // The size of the byte read as a signed value.
        sum += p[i] < 128 ? p[i] : 256u - p[i];
    }
    return sum;
}

inline uint8_t Paeth(int a, int b, int c)
{
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

}  // namespace

CPngRowFilter::CPngRowFilter(size_t rowBytes, unsigned bytesPerPixel, bool choose)
    : m_nRowBytes(rowBytes)
    , m_nBpp(bytesPerPixel)
    , m_bChoose(choose)
{
    if (choose)
        m_scratch.reset(new uint8_t[4 * rowBytes]);
}

void CPngRowFilter::Filter(const uint8_t* row, const uint8_t* prev, uint8_t* out)
{
    const size_t n = m_nRowBytes;
    if (!m_bChoose) {
        out[0] = kNone;
        std::memcpy(out + 1, row, n);
        return;
    }
    uint8_t* sub = m_scratch.get();
    uint8_t* up = sub + n;
    uint8_t* avg = up + n;
    uint8_t* paeth = avg + n;
    const size_t bpp = m_nBpp < n ? m_nBpp : n;
    for (size_t i = 0; i < bpp; ++i) {
        sub[i] = row[i];
        up[i] = static_cast<uint8_t>(row[i] - prev[i]);
        avg[i] = static_cast<uint8_t>(row[i] - (prev[i] >> 1));
        paeth[i] = static_cast<uint8_t>(row[i] - prev[i]);
    }
    for (size_t i = bpp; i < n; ++i) {
        const int a = row[i - bpp];
        const int b = prev[i];
        const int c = prev[i - bpp];
        sub[i] = static_cast<uint8_t>(row[i] - a);
        up[i] = static_cast<uint8_t>(row[i] - b);
        avg[i] = static_cast<uint8_t>(row[i] - ((a + b) >> 1));
        paeth[i] = static_cast<uint8_t>(row[i] - Paeth(a, b, c));
    }
    const uint8_t* candidates[5] = {row, sub, up, avg, paeth};
    uint8_t best = kNone;
    uint64_t bestSum = SumOfMagnitudes(row, n);
    for (uint8_t f = kSub; f <= kPaeth; ++f) {
        const uint64_t sum = SumOfMagnitudes(candidates[f], n);
        if (sum < bestSum) {
            bestSum = sum;
            best = f;
        }
    }
    out[0] = best;
    std::memcpy(out + 1, candidates[best], n);
}
