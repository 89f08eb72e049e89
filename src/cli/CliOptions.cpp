#include "cli/CliOptions.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string_view>
#include <vector>

#include "doc/FolderWalk.h"
#include "doc/MapMaker.h"
#include "doc/PathUtil.h"
#include "image/FileKind.h"
#include "platform/Format.h"
#include "platform/ImageLimits.h"

namespace {

// Options that take a value, and where they were seen.
struct RawOptions {
    std::optional<std::string> index;
    std::optional<std::string> all;
    std::optional<std::string> format;
    std::optional<std::string> jobs;
    std::optional<std::string> size;
    bool json = false;
    bool help = false;
    bool backup = false;
    bool yes = false;
    bool dryRun = false;
    bool followLink = false;
    bool overwrite = false;
    std::vector<std::string> positional;
};

// More threads than this only cost memory.
constexpr uint32_t kMaxJobs = 256;

// The options that only the verbs that change a file take.
bool HasEditOptions(const RawOptions& raw)
{
    return raw.backup || raw.yes || raw.dryRun || raw.followLink;
}

ParseResult Refuse(std::string reason)
{
    return ParseResult{std::nullopt, std::move(reason)};
}

// Splits the words after the verb into options and positional arguments.
// "--" ends the options, so file names that start with '-' can be given.
std::optional<std::string> Split(int argc, const char* const* argv, RawOptions& raw)
{
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            raw.positional.emplace_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
        } else if (word == "--help" || word == "-h") {
            raw.help = true;
        } else if (word == "--json") {
            if (raw.json)
                return "--json is given twice";
            raw.json = true;
        } else if (word == "--backup" || word == "--yes" || word == "--dry-run" || word == "--follow-link" ||
            word == "--overwrite") {
            bool& flag = word == "--backup" ? raw.backup
                : word == "--yes"           ? raw.yes
                : word == "--follow-link"   ? raw.followLink
                : word == "--dry-run"       ? raw.dryRun
                                            : raw.overwrite;
            if (flag)
                return std::string(word) + " is given twice";
            flag = true;
        } else if (word == "--index" || word == "--all" || word == "--format" || word == "--jobs" || word == "--size") {
            std::optional<std::string>& slot = word == "--index" ? raw.index
                : word == "--all"                                ? raw.all
                : word == "--jobs"                               ? raw.jobs
                : word == "--size"                               ? raw.size
                                                                 : raw.format;
            if (slot)
                return std::string(word) + " is given twice";
            if (i + 1 >= argc)
                return std::string(word) + " needs a value";
            slot = argv[++i];
        } else {
            return "unknown option " + std::string(word);
        }
    }
    return std::nullopt;
}

std::optional<uint32_t> ParseIndex(const std::string& text)
{
    uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

std::optional<std::string> CheckInput(const std::string& path)
{
    if (path.empty())
        return "the file name is empty";
    if (!IsReadableKind(path))
        return path + ": not a file kind the tool opens (.nif, .bmz, .png, .bmp or .tga)";
    return std::nullopt;
}

std::optional<std::string> CheckOutput(const std::string& path)
{
    if (!FormatFromPath(path))
        return path + ": the output must end in .bmp, .png or .tga";
    return std::nullopt;
}

// The files and folders of a verb that takes several; paths that are not folders must be of a kind the tool opens.
std::optional<std::string> TakePaths(const std::vector<std::string>& given, CliOptions& options)
{
    for (const std::string& path : given) {
        if (path.empty())
            return "the file name is empty";
        if (IsFolderPath(path))
            options.bManyFiles = true;
        else if (auto error = CheckInput(path))
            return error;
    }
    options.paths = given;
    options.bManyFiles = options.bManyFiles || given.size() > 1;
    options.strFile = given.empty() ? std::string() : given[0];
    return std::nullopt;
}

std::optional<uint32_t> ParseIndex(const std::string& text);

std::optional<std::string> ParseJobs(const RawOptions& raw, CliOptions& options)
{
    if (!raw.jobs)
        return std::nullopt;
    const std::optional<uint32_t> jobs = ParseIndex(*raw.jobs);
    if (!jobs || *jobs == 0 || *jobs > kMaxJobs)
        return "--jobs needs a number from 1 to " + std::to_string(kMaxJobs);
    options.nJobs = *jobs;
    return std::nullopt;
}

ParseResult ParseList(const RawOptions& raw)
{
    if (raw.index || raw.all || raw.format || raw.jobs || HasEditOptions(raw))
        return Refuse("list takes no option but --json");
    if (raw.positional.empty())
        return Refuse("list takes one FILE or more, or folders");
    CliOptions options;
    options.verb = CliVerb::List;
    if (auto error = TakePaths(raw.positional, options))
        return Refuse(*error);
    options.bJson = raw.json;
    return ParseResult{options, {}};
}

ParseResult ParseExtract(const RawOptions& raw)
{
    if (raw.json || HasEditOptions(raw))
        return Refuse("extract takes no option but --index, --all, --format, --jobs and --overwrite");
    CliOptions options;
    options.verb = CliVerb::Extract;
    if (raw.all) {
        if (raw.index)
            return Refuse("--index and --all cannot be given together");
        if (raw.all->empty())
            return Refuse("the folder name of --all is empty");
        if (raw.positional.empty())
            return Refuse("extract --all takes FILE (or several, or folders) and the folder DIR");
        if (auto error = TakePaths(raw.positional, options))
            return Refuse(*error);
        options.strAllDir = *raw.all;
        options.bOverwrite = raw.overwrite;
        if (raw.format) {
            const std::optional<OutputFormat> format = FormatFromName(*raw.format);
            if (!format)
                return Refuse("--format must be bmp, png or tga");
            options.format = *format;
        }
        if (auto error = ParseJobs(raw, options))
            return Refuse(*error);
        return ParseResult{options, {}};
    } else {
        if (raw.jobs)
            return Refuse("--jobs goes with --all");
        if (raw.overwrite)
            return Refuse("--overwrite goes with --all: OUT is always written");
        if (raw.format)
            return Refuse("--format goes with --all; otherwise OUT's extension chooses the format");
        if (raw.positional.size() != 2)
            return Refuse("extract takes FILE and OUT");
        if (raw.index) {
            const std::optional<uint32_t> index = ParseIndex(*raw.index);
            if (!index)
                return Refuse("--index needs a number from 0 up");
            options.nIndex = *index;
        }
        if (auto error = CheckOutput(raw.positional[1]))
            return Refuse(*error);
        options.strOut = raw.positional[1];
    }
    if (auto error = CheckInput(raw.positional[0]))
        return Refuse(*error);
    options.strFile = raw.positional[0];
    return ParseResult{options, {}};
}

ParseResult ParseConvert(const RawOptions& raw)
{
    if (raw.json || raw.index || raw.all || raw.format || raw.jobs || HasEditOptions(raw))
        return Refuse("convert takes no options");
    if (raw.positional.size() != 2)
        return Refuse("convert takes IN and OUT");
    if (auto error = CheckInput(raw.positional[0]))
        return Refuse(*error);
    if (auto error = CheckOutput(raw.positional[1]))
        return Refuse(*error);
    CliOptions options;
    options.verb = CliVerb::Convert;
    options.strFile = raw.positional[0];
    options.strOut = raw.positional[1];
    return ParseResult{options, {}};
}

// The options that replace and alpha share; `what` names the verb in refusals.
std::optional<std::string> ParseEditOptions(const RawOptions& raw, const char* what, CliOptions& options)
{
    if (raw.json || raw.all || raw.format || raw.dryRun)
        return std::string(what) + " takes only --index, --backup, --follow-link" +
            (options.verb == CliVerb::Replace ? " and --yes" : "");
    if (raw.index) {
        const std::optional<uint32_t> index = ParseIndex(*raw.index);
        if (!index)
            return std::string("--index needs a number from 0 up");
        options.nIndex = *index;
    }
    options.bBackup = raw.backup;
    options.bYes = raw.yes;
    options.bFollowLink = raw.followLink;
    return std::nullopt;
}

ParseResult ParseReplace(const RawOptions& raw)
{
    CliOptions options;
    options.verb = CliVerb::Replace;
    if (auto error = ParseEditOptions(raw, "replace", options))
        return Refuse(*error);
    if (raw.positional.size() != 2)
        return Refuse("replace takes FILE and IMAGE");
    const FileKind fileKind = FileKindOfPath(raw.positional[0]);
    if (fileKind != FileKind::Nif && fileKind != FileKind::Bmz)
        return Refuse(raw.positional[0] + ": replace writes into a model file (.nif) or a compressed bitmap (.bmz)");
    if (!FormatFromPath(raw.positional[1]))
        return Refuse(raw.positional[1] + ": the image must end in .bmp, .png or .tga");
    options.strFile = raw.positional[0];
    options.strImage = raw.positional[1];
    return ParseResult{options, {}};
}

ParseResult ParseAlpha(const RawOptions& raw)
{
    CliOptions options;
    options.verb = CliVerb::Alpha;
    if (raw.yes)
        return Refuse("alpha asks no bit-depth question: it does not take --yes");
    if (auto error = ParseEditOptions(raw, "alpha", options))
        return Refuse(*error);
    if (raw.positional.size() != 2)
        return Refuse("alpha takes FILE and LEVEL");
    if (FileKindOfPath(raw.positional[0]) != FileKind::Nif)
        return Refuse(raw.positional[0] + ": alpha writes into a model file (.nif)");
    const std::optional<uint32_t> level = ParseIndex(raw.positional[1]);
    if (!level || *level > 255)
        return Refuse("LEVEL must be a number from 0 (fully transparent) to 255 (opaque)");
    options.strFile = raw.positional[0];
    options.nAlpha = static_cast<uint8_t>(*level);
    return ParseResult{options, {}};
}

ParseResult ParseImport(const RawOptions& raw)
{
    if (raw.json || raw.index || raw.all || raw.format)
        return Refuse("import takes no options but --backup, --yes, --dry-run, --follow-link and --jobs");
    if (raw.positional.size() < 2)
        return Refuse("import takes FILE (or several, or folders) and DIR");
    CliOptions options;
    options.verb = CliVerb::Import;
    const std::vector<std::string> files(raw.positional.begin(), raw.positional.end() - 1);
    if (auto error = TakePaths(files, options))
        return Refuse(*error);
    if (!options.bManyFiles && FileKindOfPath(raw.positional[0]) != FileKind::Nif)
        return Refuse(raw.positional[0] + ": import puts textures into a model file (.nif)");
    if (options.bManyFiles && raw.followLink)
        return Refuse("--follow-link goes with one FILE: links found in folders are left alone");
    if (!options.bManyFiles && raw.jobs)
        return Refuse("--jobs goes with several files or folders");
    if (auto error = ParseJobs(raw, options))
        return Refuse(*error);
    if (raw.positional.back().empty())
        return Refuse("the folder name is empty");
    options.strImportDir = raw.positional.back();
    options.bBackup = raw.backup;
    options.bYes = raw.yes;
    options.bDryRun = raw.dryRun;
    options.bFollowLink = raw.followLink;
    return ParseResult{options, {}};
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

// The map verb has an option with a value of its own, so it reads its words itself.
ParseResult ParseMap(int argc, const char* const* argv)
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
    if (FileKindOfPath(positional[0]) != FileKind::Nif)
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

// The largest thumbnail: file managers ask for 128 to 1024.
constexpr uint32_t kMaxThumbnailSize = 4096;

ParseResult ParseThumbnail(const RawOptions& raw)
{
    if (raw.json || raw.index || raw.all || raw.format || raw.jobs || HasEditOptions(raw))
        return Refuse("thumbnail takes no option but --size");
    if (raw.positional.size() != 2)
        return Refuse("thumbnail takes FILE and OUT.png");
    if (auto error = CheckInput(raw.positional[0]))
        return Refuse(*error);
    if (FormatFromPath(raw.positional[1]) != OutputFormat::Png)
        return Refuse(raw.positional[1] + ": a thumbnail is a PNG file (.png)");
    CliOptions options;
    options.verb = CliVerb::Thumbnail;
    if (raw.size) {
        const std::optional<uint32_t> size = ParseIndex(*raw.size);
        if (!size || *size == 0 || *size > kMaxThumbnailSize)
            return Refuse("--size needs a number from 1 to " + std::to_string(kMaxThumbnailSize));
        options.nThumbnailSize = *size;
    }
    options.strFile = raw.positional[0];
    options.strOut = raw.positional[1];
    return ParseResult{options, {}};
}

}  // namespace

namespace {

// Takes --max-image-mib N (any verb, anywhere before "--") out of the words.
std::optional<std::string> TakeImageBudget(
    int argc, const char* const* argv, std::vector<const char*>& words, std::optional<uint64_t>& budget)
{
    bool optionsEnded = false;
    for (int i = 0; i < argc; ++i) {
        const std::string_view word = argv[i];
        optionsEnded = optionsEnded || (i >= 2 && word == "--");
        if (optionsEnded || i < 2 || word != "--max-image-mib") {
            words.push_back(argv[i]);
            continue;
        }
        if (budget)
            return "--max-image-mib is given twice";
        if (i + 1 >= argc)
            return "--max-image-mib needs a value";
        budget = ParseImageBudgetMiB(argv[++i]);
        if (!budget)
            return FormatString("--max-image-mib needs a number of MiB from 1 to %llu",
                static_cast<unsigned long long>(kMaxImageBudgetMiB));
    }
    return std::nullopt;
}

ParseResult ParseVerbArguments(int argc, const char* const* argv);

}  // namespace

ParseResult ParseArguments(int argc, const char* const* argv)
{
    std::vector<const char*> words;
    std::optional<uint64_t> budget;
    if (auto error = TakeImageBudget(argc, argv, words, budget))
        return Refuse(*error);
    ParseResult result = ParseVerbArguments(static_cast<int>(words.size()), words.data());
    if (result.options)
        result.options->nMaxImageMiB = budget;
    return result;
}

namespace {

ParseResult ParseVerbArguments(int argc, const char* const* argv)
{
    if (argc < 2)
        return Refuse("no command given");
    const std::string_view verb = argv[1];
    CliOptions options;
    if (verb == "--help" || verb == "-h" || verb == "help") {
        options.verb = CliVerb::Help;
        return ParseResult{options, {}};
    }
    if (verb == "--version") {
        options.verb = CliVerb::Version;
        return ParseResult{options, {}};
    }
    if (verb == "map")
        return ParseMap(argc, argv);
    if (verb != "list" && verb != "extract" && verb != "convert" && verb != "import" && verb != "replace" &&
        verb != "alpha" && verb != "thumbnail")
        return Refuse("unknown command " + std::string(verb));

    RawOptions raw;
    if (auto error = Split(argc, argv, raw))
        return Refuse(*error);
    if (raw.help)
        return ParseResult{options, {}};
    if (raw.overwrite && verb != "extract")
        return Refuse("--overwrite goes with extract --all");
    if (raw.size && verb != "thumbnail")
        return Refuse("--size goes with thumbnail");
    if (verb == "thumbnail")
        return ParseThumbnail(raw);
    if (verb == "list")
        return ParseList(raw);
    if (verb == "extract")
        return ParseExtract(raw);
    if (verb == "replace")
        return ParseReplace(raw);
    if (verb == "alpha")
        return ParseAlpha(raw);
    if (verb == "import")
        return ParseImport(raw);
    return ParseConvert(raw);
}

}  // namespace

std::optional<OutputFormat> FormatFromName(const std::string& name)
{
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    if (upper == "BMP")
        return OutputFormat::Bmp;
    if (upper == "PNG")
        return OutputFormat::Png;
    if (upper == "TGA")
        return OutputFormat::Tga;
    return std::nullopt;
}

std::optional<OutputFormat> FormatFromPath(const std::string& path)
{
    const std::string ext = UpperExtension(FileNamePart(path));
    if (ext.empty())
        return std::nullopt;
    return FormatFromName(ext);
}

const char* FormatExtension(OutputFormat format)
{
    switch (format) {
    case OutputFormat::Bmp: return "bmp";
    case OutputFormat::Tga: return "tga";
    case OutputFormat::Png: break;
    }
    return "png";
}

bool IsReadableKind(const std::string& path)
{
    return FileKindOfPath(path) != FileKind::None;
}
