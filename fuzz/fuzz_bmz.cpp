// Any bytes as a compressed bitmap: decompression, then the BMP reader.
#include "FuzzInput.h"
#include "image/DibImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = WriteFuzzInput(data, size, "input.bmz");
    const std::string temp = path + ".dbp";
    CDibImage image(path, kFileKindBmz, temp, 0);
    return 0;
}
