#include "image/PngStages.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "platform/ImageLimits.h"

namespace {

// A chunk that needs more memory than this is dropped (or ends the read when it
// is critical): no chunk that the reader uses comes near it.
constexpr png_alloc_size_t kMaxChunkBytes = 1 << 20;
// Chunks of kinds that nothing reads are kept at most this many times.
constexpr png_uint_32 kMaxCachedChunks = 32;
// Ancillary chunks that nothing in the program reads: skipped, never stored.
constexpr png_byte kIgnoredChunks[] = "tEXt\0zTXt\0iTXt\0sPLT\0pCAL\0sCAL\0iCCP\0hIST\0eXIf\0tIME\0sTER\0";

void ReadError(png_structp png, png_const_charp message)
{
    auto* job = static_cast<PngReadJob*>(png_get_error_ptr(png));
    if (job)
        std::snprintf(job->errorText, sizeof job->errorText, "%s", message ? message : "");
    png_longjmp(png, 1);
}

// Warnings change nothing: the errors end the read.
void ReadWarning(png_structp, png_const_charp) { }

}  // namespace

png_structp PngCreateReader(PngReadJob* job)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, job, ReadError, ReadWarning);
    if (!png)
        return nullptr;
    png_set_user_limits(png, job->limits.nMaxSide, job->limits.nMaxSide);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    png_set_chunk_cache_max(png, kMaxCachedChunks);
    png_set_keep_unknown_chunks(
        png, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks, static_cast<int>((sizeof kIgnoredChunks - 1) / 5));
    return png;
}

bool PngReadHeader(PngReadJob* job)
{
    if (setjmp(png_jmpbuf(job->png)))
        return false;
    png_structp png = job->png;
    png_init_io(png, job->file);
    png_set_sig_bytes(png, 8);
    png_read_info(png, job->info);
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int depth = 0;
    int type = 0;
    int interlace = 0;
    png_get_IHDR(png, job->info, &width, &height, &depth, &type, &interlace, nullptr, nullptr);
    // Every transformation is asked for before the one update of the info:
    // libpng ignores those asked for later.
    const bool transparentColour = png_get_valid(png, job->info, PNG_INFO_tRNS) != 0;
    if (job->bKeepAlpha && ((type & PNG_COLOR_MASK_ALPHA) || transparentColour)) {
        if (transparentColour)
            png_set_tRNS_to_alpha(png);
        if (type == PNG_COLOR_TYPE_PALETTE)
            png_set_palette_to_rgb(png);
        if (!(type & PNG_COLOR_MASK_COLOR))
            png_set_gray_to_rgb(png);
        png_set_bgr(png);
    } else {
        if (type & PNG_COLOR_MASK_ALPHA)
            png_set_strip_alpha(png);
        if ((type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) && depth < 8)
            png_set_expand_gray_1_2_4_to_8(png);
        if (type == PNG_COLOR_TYPE_RGB || type == PNG_COLOR_TYPE_RGB_ALPHA)
            png_set_bgr(png);
    }
    png_set_strip_16(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, job->info);
    png_get_IHDR(
        png, job->info, &job->width, &job->height, &job->bitDepth, &job->colorType, &job->interlace, nullptr, nullptr);
    job->rowBytes = png_get_rowbytes(png, job->info);
    return true;
}

bool PngReadRows(PngReadJob* job, png_bytep* rows)
{
    if (setjmp(png_jmpbuf(job->png)))
        return false;
    png_read_image(job->png, rows);
    png_read_end(job->png, job->endInfo);
    return true;
}
