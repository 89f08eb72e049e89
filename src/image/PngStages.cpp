#include "image/PngStages.h"

#include <csetjmp>

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
    if (type & PNG_COLOR_MASK_ALPHA)
        png_set_strip_alpha(png);
    if ((type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) && depth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (type == PNG_COLOR_TYPE_RGB || type == PNG_COLOR_TYPE_RGB_ALPHA)
        png_set_bgr(png);
    png_set_strip_16(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, job->info);
    png_get_IHDR(png, job->info, &job->width, &job->height, &job->bitDepth, &job->colorType, &job->interlace,
                 nullptr, nullptr);
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
