#pragma once
// The libpng calls of the PNG reader, in stages that each set
// libpng's own recovery point. A libpng error jumps back to the stage, which
// returns false; the caller then reports the failure and throws. The stages
// are plain C-style functions: no object with a destructor lives in a frame
// that the jump could skip, and no C++ exception passes through libpng.
#include <png.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform/ImageLimits.h"

struct PngReadJob {
    FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_infop endInfo = nullptr;
    // The image header once the transformations are applied.
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colorType = 0;
    int interlace = 0;
    size_t rowBytes = 0;
    // What the read may take; set before the reader is made.
    ImageLimits limits;
    // libpng's text for the error that ended a stage; never printed.
    char errorText[128] = {};
    // Set before PngReadHeader: an alpha channel or a transparent colour is
    // kept, the image then widened to 8-bit blue-green-red-alpha.
    bool bKeepAlpha = false;
};

// Creates the read structure with libpng's messages kept to the job (nothing
// is printed), the image limits as libpng's own, a bound on what one chunk may
// allocate and on how many chunks are kept, and the chunks that nothing uses
// (texts, suggested palettes, profiles, calibrations) skipped unread.
png_structp PngCreateReader(PngReadJob* job);

// Reads the signature-less start of the file up to the image data, asks for
// the transformations (alpha and 16-bit samples stripped, 1, 2 and 4-bit grey
// widened to 8 bits, colour in blue-green-red order) and fetches the header.
// With bKeepAlpha, an image with alpha or a transparent colour comes as
// colour type RGB_ALPHA instead.
bool PngReadHeader(PngReadJob* job);
// Reads every row (interlacing resolved) into rows[0] (top) to rows[height - 1],
// then the chunks after the image data into the end info.
bool PngReadRows(PngReadJob* job, png_bytep* rows);
