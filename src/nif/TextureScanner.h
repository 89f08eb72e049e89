#pragma once
// Finding texture blocks and texture links in a model file by their names.
// The file is never interpreted beyond the names and the three fields of a
// texture block; pixel bytes are skipped, never scanned.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CFile;
struct RawTextureShape;

// The name that starts an embedded texture block, and the one of a link block.
inline constexpr char kRawImageDataName[] = "NiRawImageData";
inline constexpr char kImageLinkName[] = "NiImage";

// Empties offsets, scans the whole open file and appends the position of the
// width field of every embedded texture, in file order. Returns the count.
uint32_t ScanRawImageData(CFile& file, std::vector<uint64_t>& offsets);
// The same, also giving the width, height and format stored at each offset
// (all 0 for a block cut off before its fields), for the writers' check that
// a block is still the one that was read.
uint32_t ScanRawImageData(CFile& file, std::vector<uint64_t>& offsets, std::vector<RawTextureShape>& shapes);
// The position 17 bytes after the first link block name, or 0 when there is none.
uint64_t ScanImageLink(CFile& file);
// The linked file's name at a position found by ScanImageLink: the bytes up to
// and including the first ".nif" that starts within 40 bytes. Nothing when
// there is no such name.
std::optional<std::string> ExtractLinkName(CFile& file, uint64_t position);
