#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "cli/CliUiServices.h"
#include "cli/Commands.h"
#include "cli/ImageSet.h"
#include "cli/ImageWriter.h"
#include "doc/PathUtil.h"
#include "platform/Format.h"

namespace {

std::string JoinPath(const std::string& dir, const std::string& name)
{
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

int ExtractOne(const CliOptions& options, const CImageSet& set, CCliUiServices& ui)
{
    const auto& entries = set.Entries();
    if (options.nIndex >= entries.size()) {
        ui.Report(FormatString("There is no image %u in %s: it holds %zu image%s.", options.nIndex,
                               options.strFile.c_str(), entries.size(), entries.size() == 1 ? "" : "s"));
        return kExitFailure;
    }
    CDibImage* image = entries[options.nIndex].pImage;
    if (!image)
        return kExitFailure;   // its reader has said why
    const bool written = WriteImage(*image, options.strOut, *FormatFromPath(options.strOut));
    return written ? kExitSuccess : kExitFailure;
}

int ExtractAll(const CliOptions& options, const CImageSet& set, CCliUiServices& ui)
{
    std::error_code error;
    std::filesystem::create_directories(options.strAllDir, error);
    if (error) {
        ui.Report(FormatString("Cannot create the folder %s: %s.", options.strAllDir.c_str(),
                               error.message().c_str()));
        return kExitFailure;
    }
    const std::string stem = StemPart(options.strFile);
    const char* ext = FormatExtension(options.format);
    const auto& entries = set.Entries();
    bool allWritten = true;
    ui.SetProgressLabel("Writing " + options.strAllDir);
    for (size_t i = 0; i < entries.size(); ++i) {
        ui.ShowProgress(static_cast<int>(i * 100 / entries.size()));
        const ImageEntry& entry = entries[i];
        if (!entry.pImage) {
            allWritten = false;   // unreadable: its reader has said why; the others are still wanted
            continue;
        }
        const std::string path =
            JoinPath(options.strAllDir, FormatString("%s-%03u.%s", stem.c_str(), entry.nIndex, ext));
        if (!WriteImage(*entry.pImage, path, options.format))
            return kExitFailure;   // the next ones would fail the same way
    }
    ui.ShowProgress(-1);
    return allWritten ? kExitSuccess : kExitFailure;
}

}  // namespace

int RunExtract(const CliOptions& options, CCliUiServices& ui)
{
    CImageSet set;
    if (!OpenImages(set, options.strFile, ui))
        return kExitFailure;
    return options.ExtractsAll() ? ExtractAll(options, set, ui) : ExtractOne(options, set, ui);
}
