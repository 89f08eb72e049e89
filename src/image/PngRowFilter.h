#pragma once
// PNG row filters (None, Sub, Up, Average, Paeth) and the choice between them.
#include <cstddef>
#include <cstdint>

class CPngRowFilter {
public:
    // rowBytes: packed bytes of a row; bytesPerPixel: the filters' distance to
    // the left neighbour (1 for depths under 8 bits). choose: pick a filter per
    // row; otherwise every row is stored unfiltered, as libpng does for palette
    // and low-depth images.
    CPngRowFilter(size_t rowBytes, unsigned bytesPerPixel, bool choose);

    // Writes the filter byte and rowBytes filtered bytes of row (prev: the row
    // above, all zero for the first) to out.
    void Filter(const uint8_t* row, const uint8_t* prev, uint8_t* out);

private:
    size_t m_nRowBytes;
    unsigned m_nBpp;
    bool m_bChoose;
};
