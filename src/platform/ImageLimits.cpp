#include "platform/ImageLimits.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include "platform/Exceptions.h"
#include "platform/Format.h"

namespace {

ImageLimits& Limits()
{
    static ImageLimits limits = [] {
        ImageLimits fromEnvironment;
        const char* text = std::getenv(kImageBudgetVariable);
        if (const std::optional<uint64_t> mib = ParseImageBudgetMiB(text ? text : ""))
            fromEnvironment.nMaxImageBytes = *mib << 20;
        return fromEnvironment;
    }();
    return limits;
}

uint64_t MaxImageBytes(const ImageLimits& limits)
{
    return std::min(limits.nMaxImageBytes, kMaxBitmapImageBytes);
}

uint64_t ImageBytes(uint64_t width, uint64_t height, unsigned bitCount)
{
    // Sides beyond 2^32 are refused by the side limit before this matters.
    const uint64_t stride = (std::min<uint64_t>(width, UINT32_MAX) * bitCount + 31) / 32 * 4;
    return height != 0 && stride > UINT64_MAX / height ? UINT64_MAX : stride * height;
}

uint64_t MiBRoundedUp(uint64_t bytes)
{
    return bytes / (1u << 20) + (bytes % (1u << 20) != 0 ? 1 : 0);
}

}  // namespace

const ImageLimits& GetImageLimits()
{
    return Limits();
}

void SetImageLimits(const ImageLimits& limits)
{
    Limits() = limits;
}

void SetImageBudgetMiB(uint64_t mib)
{
    Limits().nMaxImageBytes = std::clamp<uint64_t>(mib, 1, kMaxImageBudgetMiB) << 20;
}

std::optional<uint64_t> ParseImageBudgetMiB(const std::string& text)
{
    uint64_t mib = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), mib);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || mib < 1 || mib > kMaxImageBudgetMiB)
        return std::nullopt;
    return mib;
}

bool ImageWithinLimits(uint64_t width, uint64_t height, unsigned bitCount, const ImageLimits& limits)
{
    if (width > limits.nMaxSide || height > limits.nMaxSide)
        return false;
    return ImageBytes(width, height, bitCount) <= MaxImageBytes(limits);
}

std::string ImageTooLargeText(uint64_t width, uint64_t height, unsigned bitCount, const ImageLimits& limits)
{
    const uint32_t side = limits.nMaxSide;
    if (width > side || height > side) {
        return FormatString("The image is too large to open (%llu x %llu; the limit is %u pixels a side).\nFile: %%s",
            static_cast<unsigned long long>(width), static_cast<unsigned long long>(height), side);
    }
    return FormatString("The image is too large to open (%llu x %llu, %llu MiB; the limit is %llu MiB).\nFile: %%s",
        static_cast<unsigned long long>(width), static_cast<unsigned long long>(height),
        static_cast<unsigned long long>(MiBRoundedUp(ImageBytes(width, height, bitCount))),
        static_cast<unsigned long long>(MaxImageBytes(limits) >> 20));
}

void CheckImageWithinLimits(
    uint64_t width, uint64_t height, unsigned bitCount, const std::string& path, const ImageLimits& limits)
{
    if (!ImageWithinLimits(width, height, bitCount, limits))
        ThrowRefusal(ImageTooLargeText(width, height, bitCount, limits).c_str(), path);
}
