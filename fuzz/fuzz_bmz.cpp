// Any bytes as a compressed bitmap: decompression, then the BMP reader; and
// its headers alone, inflated without the rest, read to the same shape.
#include "FuzzInput.h"
#include "image/DibImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = MemoryFileWith(data, size, 0);
    CheckShapeAgrees(path, FileKind::Bmz, *ReadImage(path, FileKind::Bmz));
    return 0;
}
