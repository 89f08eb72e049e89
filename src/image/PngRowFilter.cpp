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

// A filter's prediction of a byte from its left (a), upper (b) and upper-left (c) neighbours.
template <uint8_t F> inline int Predict(int a, int b, int c)
{
    if constexpr (F == kSub)
        return a;
    else if constexpr (F == kUp)
        return b;
    else if constexpr (F == kAverage)
        return (a + b) >> 1;
    else if constexpr (F == kPaeth)
        return Paeth(a, b, c);
    else
        return 0;
}

// Calls fn(i, filtered byte i) for every byte of the row under filter F. The
// first pixel's bytes have no left neighbours: theirs count as zero. Each
// filter gets a plain loop of its own, which the compiler can vectorise.
template <uint8_t F, typename Fn>
inline void ForEachFiltered(const uint8_t* row, const uint8_t* prev, size_t n, size_t bpp, Fn fn)
{
    for (size_t i = 0; i < bpp; ++i)
        fn(i, static_cast<uint8_t>(row[i] - Predict<F>(0, prev[i], 0)));
    for (size_t i = bpp; i < n; ++i)
        fn(i, static_cast<uint8_t>(row[i] - Predict<F>(row[i - bpp], prev[i], prev[i - bpp])));
}

template <uint8_t F> uint32_t Measure(const uint8_t* row, const uint8_t* prev, size_t n, size_t bpp)
{
    uint32_t sum = 0;  // at most 128 a byte: rows of up to 32 MiB fit
    ForEachFiltered<F>(row, prev, n, bpp, [&](size_t, uint8_t v) { sum += Magnitude(v); });
    return sum;
}

template <uint8_t F> void Apply(const uint8_t* row, const uint8_t* prev, size_t n, size_t bpp, uint8_t* out)
{
    ForEachFiltered<F>(row, prev, n, bpp, [&](size_t i, uint8_t v) { out[i] = v; });
}

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
    const size_t bpp = m_nBpp < n ? m_nBpp : n;
    const uint32_t sums[5] = {Measure<kNone>(row, prev, n, bpp), Measure<kSub>(row, prev, n, bpp),
        Measure<kUp>(row, prev, n, bpp), Measure<kAverage>(row, prev, n, bpp), Measure<kPaeth>(row, prev, n, bpp)};
    uint8_t best = kNone;
    for (uint8_t f = kSub; f <= kPaeth; ++f) {
        if (sums[f] < sums[best])
            best = f;
    }
    out[0] = best;
    uint8_t* dst = out + 1;
    switch (best) {
    case kNone: std::memcpy(dst, row, n); break;
    case kSub: Apply<kSub>(row, prev, n, bpp, dst); break;
    case kUp: Apply<kUp>(row, prev, n, bpp, dst); break;
    case kAverage: Apply<kAverage>(row, prev, n, bpp, dst); break;
    default: Apply<kPaeth>(row, prev, n, bpp, dst); break;
    }
}
