#include "nif/TextureScanner.h"

#include "platform/File.h"

// Placeholder until the scanner lands.
uint32_t ScanRawImageData(CFile&, std::vector<uint64_t>& offsets) { offsets.clear(); return 0; }
uint64_t ScanImageLink(CFile&) { return 0; }
std::optional<std::string> ExtractLinkName(CFile&, uint64_t) { return std::nullopt; }
