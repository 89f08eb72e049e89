#include "image/PixelOrder.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TAVREL_HAVE_SSSE3_PATH 1
#endif

namespace {

void CopySwappingScalar(const uint8_t* source, uint8_t* target, uint64_t pixelCount, uint32_t bytesPerPixel)
{
    for (uint64_t i = 0; i < pixelCount; ++i) {
        const uint8_t first = source[0];
        const uint8_t second = source[1];
        const uint8_t third = source[2];
        target[0] = third;
        target[1] = second;
        target[2] = first;
        if (bytesPerPixel == 4)
            target[3] = source[3];
        source += bytesPerPixel;
        target += bytesPerPixel;
    }
}

#ifdef TAVREL_HAVE_SSSE3_PATH
// Sixteen bytes at a time: four RGBA pixels, or five RGB pixels and one byte
// that is stored back unchanged and converted with the next group.
__attribute__((target("ssse3"))) void CopySwappingSsse3(
    const uint8_t* source, uint8_t* target, uint64_t pixelCount, uint32_t bytesPerPixel)
{
    const __m128i order = bytesPerPixel == 4 ? _mm_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15)
                                             : _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    const uint64_t pixelsPerStep = bytesPerPixel == 4 ? 4 : 5;
    const uint64_t bytesPerStep = pixelsPerStep * bytesPerPixel;
    // Every load and store must stay inside the pixels: keep 16 bytes in reach.
    uint64_t i = 0;
    while (pixelCount - i >= pixelsPerStep && (pixelCount - i) * bytesPerPixel >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target), _mm_shuffle_epi8(v, order));
        source += bytesPerStep;
        target += bytesPerStep;
        i += pixelsPerStep;
    }
    CopySwappingScalar(source, target, pixelCount - i, bytesPerPixel);
}

bool HaveSsse3()
{
    static const bool have = __builtin_cpu_supports("ssse3");
    return have;
}
#endif

}  // namespace

void CopySwappingRedBlue(const uint8_t* source, uint8_t* target, uint64_t pixelCount, uint32_t bytesPerPixel)
{
#ifdef TAVREL_HAVE_SSSE3_PATH
    if (HaveSsse3()) {
        CopySwappingSsse3(source, target, pixelCount, bytesPerPixel);
        return;
    }
#endif
    CopySwappingScalar(source, target, pixelCount, bytesPerPixel);
}
