#include "platform/ImageLimits.h"

namespace {

ImageLimits g_limits;

}  // namespace

const ImageLimits& GetImageLimits()
{
    return g_limits;
}

void SetImageLimits(const ImageLimits& limits)
{
    g_limits = limits;
}

bool ImageWithinLimits(uint64_t width, uint64_t height, unsigned bitCount)
{
    if (width > g_limits.nMaxSide || height > g_limits.nMaxSide)
        return false;
    const uint64_t stride = (width * bitCount + 31) / 32 * 4;
    return stride * height <= g_limits.nMaxImageBytes;
}
