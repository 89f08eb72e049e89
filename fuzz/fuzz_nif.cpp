// Any bytes as a model file: scanning, then reading every texture found.
#include <vector>

#include "FuzzInput.h"
#include "image/DibImage.h"
#include "nif/TextureScanner.h"
#include "platform/File.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = MemoryFileWith(data, size);
    CFile file;
    if (!file.Open(path, CFile::modeRead))
        return 0;
    std::vector<uint64_t> offsets;
    ScanRawImageData(file, offsets);
    if (offsets.empty()) {
        const uint64_t link = ScanImageLink(file);
        if (link != 0)
            ExtractLinkName(file, link);
    }
    file.Close();
    for (uint64_t offset : offsets)
        ReadImage(path, FileKind::Nif, offset);
    return 0;
}
