#pragma once
// The one place that says how large an image the program takes. Every reader
// refuses a larger one at once, before it allocates or inflates anything, so
// a small hostile file cannot take the memory or the disk. The budget takes
// every real texture and map; TAVREL_MAX_IMAGE_MIB (and the command-line
// tool's --max-image-mib) sets another.
#include <cstdint>
#include <optional>
#include <string>

// The pixel rows of one image, in MiB, unless told otherwise.
inline constexpr uint64_t kDefaultImageBudgetMiB = 1024;
// The bitmap form that every image is held in counts its file size in 32
// bits: no budget goes past this (32768 × 32768 at 24 bits).
inline constexpr uint64_t kMaxBitmapImageBytes = 0xFFFFFFFFull - 14 - 40 - 1024;
// The largest budget that can be asked for, in MiB.
inline constexpr uint64_t kMaxImageBudgetMiB = kMaxBitmapImageBytes >> 20;
inline constexpr char kImageBudgetVariable[] = "TAVREL_MAX_IMAGE_MIB";

struct ImageLimits {
    // Width or height in pixels.
    uint32_t nMaxSide = 131072;
    // Bytes of one image's pixel rows at the depth it is held in.
    uint64_t nMaxImageBytes = kDefaultImageBudgetMiB << 20;
    // Bytes a compressed bitmap may expand to (a whole bitmap file).
    uint64_t nMaxInflatedBytes = 0xFFFFFFFFull;
};

// Without figures, where they are not known (a compressed stream's verdict).
inline constexpr char kImageTooLarge[] = "The image is too large to open.\nFile: %s";

// The process's limits, which a read uses unless it is given its own: the
// defaults, with the budget of TAVREL_MAX_IMAGE_MIB when it holds a valid number.
const ImageLimits& GetImageLimits();
// Replaces the limits in force (the tests make them small).
void SetImageLimits(const ImageLimits& limits);
// Sets the budget of one image's pixels in MiB (1 to kMaxImageBudgetMiB).
void SetImageBudgetMiB(uint64_t mib);
// A budget in MiB as written by a user: a whole number from 1 to kMaxImageBudgetMiB.
std::optional<uint64_t> ParseImageBudgetMiB(const std::string& text);

// True when an image of this size and depth is within the limits.
bool ImageWithinLimits(
    uint64_t width, uint64_t height, unsigned bitCount, const ImageLimits& limits = GetImageLimits());
// The refusal of an image outside the limits, with its figures and "%s" for
// the file: "The image is too large to open (30000 x 30000, 3434 MiB; the
// limit is 1024 MiB).\nFile: %s".
std::string ImageTooLargeText(
    uint64_t width, uint64_t height, unsigned bitCount, const ImageLimits& limits = GetImageLimits());
// Throws that refusal (a CUserException) unless the image is within the limits.
void CheckImageWithinLimits(uint64_t width, uint64_t height, unsigned bitCount, const std::string& path,
    const ImageLimits& limits = GetImageLimits());
