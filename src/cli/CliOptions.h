#pragma once
// What the command line asks for, and how the tool ends.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Exit status of the tool.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // the operation failed; its message is on standard error
inline constexpr int kExitUsage = 2;  // the command line was not understood

// The file formats the tool writes.
enum class OutputFormat { Bmp, Png, Tga };

enum class CliVerb { Help, Version, List, Extract, Convert, Import, Map, Replace, Alpha, Thumbnail };

struct CliOptions {
    CliVerb verb = CliVerb::Help;
    std::string strFile;  // FILE or IN
    std::vector<std::string> paths;  // list, extract --all, import: the files and folders given
    bool bManyFiles = false;  // more than one path, or a folder: the folder form of the verb
    std::string strOut;  // OUT of extract and convert
    std::string strAllDir;  // DIR of extract --all; empty otherwise
    uint32_t nIndex = 0;  // --index N
    OutputFormat format = OutputFormat::Png;  // --format, for --all
    uint32_t nJobs = 0;  // --jobs N, for --all; 0: one per processor
    bool bJson = false;  // list --json
    std::vector<uint32_t> cells;  // map --cells: the tile of each cell; empty: cell n shows tile n
    std::string strImportDir;  // DIR of import
    std::string strImage;  // IMAGE of replace
    uint8_t nAlpha = 255;  // LEVEL of alpha
    bool bBackup = false;  // --backup: a backup copy just before the write
    bool bYes = false;  // --yes: a change of bit depth is accepted
    bool bDryRun = false;  // import --dry-run
    std::optional<uint64_t> nMaxImageMiB;  // --max-image-mib N, any verb: the budget of one image's pixels
    bool bFollowLink = false;  // --follow-link: edit the file a model file links to
    bool bOverwrite = false;  // extract --all --overwrite: replace existing files that differ
    uint32_t nThumbnailSize = 128;  // thumbnail --size N

    bool ExtractsAll() const { return !strAllDir.empty(); }
};

// The result of parsing: the options, or the reason the command line was refused.
struct ParseResult {
    std::optional<CliOptions> options;
    std::string strError;
};

ParseResult ParseArguments(int argc, const char* const* argv);

// The output format named by a path's extension (any case), or nothing.
std::optional<OutputFormat> FormatFromPath(const std::string& path);
// The format named by the argument of --format, or nothing.
std::optional<OutputFormat> FormatFromName(const std::string& name);
// The file extension of a format, without the dot.
const char* FormatExtension(OutputFormat format);
// True when a path names a file kind the tool opens (by extension, any case).
bool IsReadableKind(const std::string& path);
