#pragma once
// Turns the pixel rows of a record of any depth into 24-bit blue-green-red
// rows, for the writers whose formats cannot hold the record's own depth.
#include <cstdint>

#include "platform/BitmapTypes.h"

class CDibImage;

class CDibRowConverter {
public:
    // Sets up for the record's depth and layout. False for a depth that has no
    // conversion (anything but 1, 2, 4, 8, 16, 24 and 32 bits).
    bool Init(const CDibImage& image);
    // Converts one row of the record (at src) into width × 3 bytes at dst.
    void ConvertRow(const uint8_t* src, uint8_t* dst) const;

    // The red, green and blue masks of a 16 or 32-bit record: its bit fields,
    // or the default 5-5-5 and 8-8-8 layouts.
    static void GetMasks(const CDibImage& image, uint32_t masks[3]);
    // True when those masks are red, green and blue.
    static bool MasksAre(const CDibImage& image, uint32_t red, uint32_t green, uint32_t blue);

    // Rewrites a 32-bit record whose bit fields are not blue, green, red in
    // its bytes (red first, say) as blue, green, red and alpha bytes, alpha from
    // the header's alpha mask or else opaque, with masks to match. The commands
    // that put a record's bytes into a texture take every 32-bit record as that.
    // Other records are left as they are.
    static void MakePlainBgra(CDibImage& image);

private:
    struct Channel {
        uint32_t mask = 0;
        unsigned shift = 0;  // lowest bit of the mask
        unsigned bits = 0;  // span of the mask
    };
    static Channel MakeChannel(uint32_t mask);
    static uint8_t Extract(uint32_t value, const Channel& channel);

    unsigned m_nBitCount = 0;
    uint32_t m_nWidth = 0;
    const RGBQUAD* m_pPalette = nullptr;
    uint32_t m_nPaletteEntries = 0;
    Channel m_red, m_green, m_blue;
};
