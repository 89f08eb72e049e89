// thumbnail: a file's first image, scaled down, as a PNG file for file managers.
// Of a model file only the first texture is read.
#include <memory>

#include "cli/CliUiServices.h"
#include "cli/Commands.h"
#include "cli/ImageSet.h"
#include "image/Thumbnail.h"
#include "platform/Exceptions.h"
#include "platform/File.h"

int RunThumbnail(const CliOptions& options, CCliUiServices& ui)
{
    CImageSet set;
    if (!OpenImages(set, options.strFile, ui, false))
        return kExitFailure;
    const ImageEntry& first = set.Entries().front();
    const std::unique_ptr<CDibImage> texture = set.TexturesOnDemand() ? set.ReadTexture(first) : nullptr;
    const CDibImage* image = set.TexturesOnDemand() ? texture.get() : first.pImage;
    if (!image)
        return kExitFailure;  // its reader has said why
    const bool written = RunReportingFailure([&] {
        const std::vector<uint8_t> png = ThumbnailPng(MakeThumbnail(*image, options.nThumbnailSize));
        CSafeFileWriter out;
        CFileException error;
        if (!out.Open(options.strOut, &error))
            throw error;
        out.Write(png.data(), png.size());
        out.Commit();
    });
    return written ? kExitSuccess : kExitFailure;
}
