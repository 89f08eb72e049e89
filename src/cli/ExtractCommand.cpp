#include <string>

#include "cli/BatchExtract.h"
#include "cli/CliUiServices.h"
#include "cli/Commands.h"
#include "cli/ImageSet.h"
#include "cli/ImageWriter.h"
#include "platform/Format.h"

namespace {

int ExtractOne(const CliOptions& options, const CImageSet& set, CCliUiServices& ui)
{
    const auto& entries = set.Entries();
    if (options.nIndex >= entries.size()) {
        ui.Report(FormatString("There is no image %u in %s: it holds %zu image%s.", options.nIndex,
            options.strFile.c_str(), entries.size(), entries.size() == 1 ? "" : "s"));
        return kExitFailure;
    }
    // Of a model file only the texture asked for is read.
    const ImageEntry& entry = entries[options.nIndex];
    const std::unique_ptr<CDibImage> texture = set.TexturesOnDemand() ? set.ReadTexture(entry) : nullptr;
    const CDibImage* image = set.TexturesOnDemand() ? texture.get() : entry.pImage;
    if (!image)
        return kExitFailure;  // its reader has said why
    const bool written = WriteImage(*image, options.strOut, *FormatFromPath(options.strOut));
    return written ? kExitSuccess : kExitFailure;
}

}  // namespace

int RunExtract(const CliOptions& options, CCliUiServices& ui)
{
    if (options.ExtractsAll() && options.bManyFiles)
        return RunExtractFolder(options, ui);
    CImageSet set;
    // A model file's textures are read when each is written: one at a time is held per thread.
    if (!OpenImages(set, options.strFile, ui, false))
        return kExitFailure;
    return options.ExtractsAll() ? ExtractAllImages(options, set, ui) : ExtractOne(options, set, ui);
}
