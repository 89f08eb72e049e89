#include "FuzzInput.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "doc/ShownRead.h"
#include "image/DibImage.h"
#include "platform/File.h"
#include "platform/ImageLimits.h"

namespace {

// make fuzz runs with -rss_limit_mb=512: an image within this budget, its
// record and a written copy fit under it, so only memory out of proportion
// to the budget is a finding.
const bool g_budgetSet = [] {
    SetImageBudgetMiB(128);
    return true;
}();

}  // namespace

std::string MemoryFileWith(const uint8_t* data, size_t size, int slot)
{
    static int fds[4] = {-1, -1, -1, -1};
    if (slot < 0 || slot >= 4)
        std::abort();
    if (fds[slot] < 0)
        fds[slot] = ::memfd_create("fuzz-input", MFD_CLOEXEC);
    if (fds[slot] < 0 || ::ftruncate(fds[slot], 0) != 0)
        std::abort();
    for (size_t done = 0; done < size;) {
        const ssize_t n = ::pwrite(fds[slot], data + done, size - done, static_cast<off_t>(done));
        if (n <= 0)
            std::abort();
        done += static_cast<size_t>(n);
    }
    return "/proc/self/fd/" + std::to_string(fds[slot]);
}

std::string WriteFuzzFile(const uint8_t* data, size_t size, const char* name)
{
    static const std::string dir = [] {
        const std::string folder = MakePrivateFolder("tavrel-fuzz-");
        if (folder.empty())
            std::abort();
        return folder + "/";
    }();
    const std::string path = dir + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    if (size > 0)
        std::fwrite(data, 1, size, f);
    std::fclose(f);
    return path;
}

void CheckShapeAgrees(const std::string& path, FileKind kind, const CDibImage& image)
{
    try {
        const DibShape shape = CDibImage::ReadShape(path, kind);
        if (image.GetBitmapInfo() &&
            (shape.width != image.GetWidth() || shape.height != image.GetHeight() ||
                shape.bitCount != image.GetBitCount()))
            __builtin_trap();
    } catch (...) {
        if (image.GetBitmapInfo())
            __builtin_trap();
    }
}

std::unique_ptr<CDibImage> ReadImage(const std::string& path, FileKind kind, uint64_t offset)
{
    std::unique_ptr<CDibImage> image = ReadQuietly(path, kind, offset);
    return image ? std::move(image) : CDibImage::CreateEmpty();
}
