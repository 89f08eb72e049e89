#pragma once
// Texture blocks keep pixels as red, green, blue (, alpha); device-independent
// bitmaps as blue, green, red (, alpha). Turning one into the other exchanges
// bytes 0 and 2 of every pixel, in either direction.
#include <cstdint>

// Copies pixelCount pixels of 3 or 4 bytes from source to target, exchanging
// bytes 0 and 2 of each. source may equal target (in place); other overlaps are not allowed.
void CopySwappingRedBlue(const uint8_t* source, uint8_t* target, uint64_t pixelCount, uint32_t bytesPerPixel);
