// map FILE OUT [--cells C0,...,C15]: sixteen 256 × 256 textures of a model
// file composed into one 1024 × 1024 map, as the window's Map Maker saves it.
#include "cli/CliUiServices.h"
#include "cli/Commands.h"
#include "cli/ImageSet.h"
#include "cli/ImageWriter.h"
#include "doc/MapMaker.h"
#include "doc/PathUtil.h"
#include "platform/Format.h"

int RunMap(const CliOptions& options, CCliUiServices& ui)
{
    CImageSet set;
    if (!OpenImages(set, options.strFile, ui))
        return kExitFailure;
    std::vector<const CDibImage*> images;
    for (const ImageEntry& entry : set.Entries()) {
        // A texture that could not be read (its reader has said why) would
        // shift every later tile into another cell: no map is better than a wrong one.
        if (!entry.pImage) {
            ui.Report(FormatString(
                "Texture %u of %s could not be read; no map was written.", entry.nIndex, options.strFile.c_str()));
            return kExitFailure;
        }
        images.push_back(entry.pImage);
    }
    const std::vector<const CDibImage*> candidates = CollectMapCandidates(images);
    const size_t count = candidates.size();
    if (count < kMapCellCount) {
        ui.Report(FormatString("%s holds %zu image%s of 256 * 256; a map needs 16.", options.strFile.c_str(), count,
            count == 1 ? "" : "s"));
        return kExitFailure;
    }
    CMapCells cells(candidates);
    for (size_t n = 0; n < options.cells.size(); ++n) {
        if (options.cells[n] >= count) {
            ui.Report(FormatString("Cell %zu asks for image %u, but there are %zu images of 256 * 256 to choose "
                                   "from (0 to %zu).",
                n, options.cells[n], count, count - 1));
            return kExitFailure;
        }
        cells.SetCell(static_cast<int>(n), static_cast<int>(options.cells[n]));
    }
    const std::unique_ptr<CDibImage> map = ComposeMap(cells);
    return WriteImage(*map, options.strOut, *FormatFromPath(options.strOut)) ? kExitSuccess : kExitFailure;
}
