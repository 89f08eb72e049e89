// Any bytes given to the BMP or PNG reader (chosen when built): no crash, no
// access outside a buffer, every pixel row of a loaded image readable, and
// its headers read alone to its shape.
#include "FuzzInput.h"
#include "image/DibImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = MemoryFileWith(data, size);
    const auto record = ReadImage(path, FUZZ_FILE_KIND);
    const CDibImage& image = *record;
    CheckShapeAgrees(path, FUZZ_FILE_KIND, image);
    if (image.GetBitmapInfo()) {
        volatile uint8_t sink = 0;
        const uint64_t bytes = uint64_t(image.GetStride()) * uint64_t(image.GetHeight());
        for (uint64_t i = 0; i < bytes; i += 4093)
            sink = sink + image.GetBits()[i];
    }
    return 0;
}
