// map FILE OUT [--cells C0,...,C15]: sixteen 256 × 256 textures of a model
// file composed into one 1024 × 1024 map, as the window's Map Maker saves it.
#include <charconv>
#include <string_view>

#include "cli/CliUiServices.h"
#include "cli/Commands.h"
#include "cli/ImageSet.h"
#include "cli/ImageWriter.h"
#include "doc/MapMaker.h"
#include "doc/PathUtil.h"
#include "platform/Format.h"

namespace {

ParseResult Refuse(std::string reason)
{
    return ParseResult{std::nullopt, std::move(reason)};
}

// Sixteen numbers divided by commas, or nothing.
std::optional<std::vector<uint32_t>> ParseCells(std::string_view text)
{
    std::vector<uint32_t> cells;
    for (;;) {
        const size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        uint32_t value = 0;
        const auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), value);
        if (item.empty() || error != std::errc() || end != item.data() + item.size())
            return std::nullopt;
        cells.push_back(value);
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    if (cells.size() != kMapCellCount)
        return std::nullopt;
    return cells;
}

}  // namespace

ParseResult ParseMapArguments(int argc, const char* const* argv)
{
    CliOptions options;
    options.verb = CliVerb::Map;
    std::vector<std::string> positional;
    std::optional<std::string> cells;
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            positional.emplace_back(word);
        } else if (word == "--") {
            optionsEnded = true;
        } else if (word == "--help" || word == "-h") {
            return ParseResult{CliOptions{}, {}};
        } else if (word == "--cells") {
            if (cells)
                return Refuse("--cells is given twice");
            if (i + 1 >= argc)
                return Refuse("--cells needs a value");
            cells = argv[++i];
        } else {
            return Refuse("unknown option " + std::string(word));
        }
    }
    if (positional.size() != 2)
        return Refuse("map takes FILE and OUT");
    if (FileKindOfPath(positional[0]) != kFileKindNif)
        return Refuse(positional[0] + ": map reads a model file (.nif)");
    if (!FormatFromPath(positional[1]))
        return Refuse(positional[1] + ": the output must end in .bmp, .png or .tga");
    if (cells) {
        const std::optional<std::vector<uint32_t>> parsed = ParseCells(*cells);
        if (!parsed)
            return Refuse("--cells needs 16 numbers divided by commas");
        options.cells = *parsed;
    }
    options.strFile = positional[0];
    options.strOut = positional[1];
    return ParseResult{options, {}};
}

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
