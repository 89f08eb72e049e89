#pragma once
// Putting a folder of edited textures back into a model file in one pass. The
// files are named as exporting every texture names them, <stem>-<index>.<ext>
// (ext png, bmp or tga in any case; the stem is the model file's). Each one is
// checked as Replace checks a replacement; if any is refused nothing is
// written. Files whose pixels equal the texture's are left out, so a round
// trip without edits leaves the model file untouched.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class IProgress;

// WouldBeReplaced: accepted, but nothing was written (a dry run, or another file was refused).
enum class ImportStatus { Replaced, WouldBeReplaced, Unchanged, Ignored, Refused };

struct ImportLine {
    std::string strFileName;  // as found in the folder
    std::optional<uint32_t> nIndex;  // the texture it names; none for an ignored file
    ImportStatus status = ImportStatus::Ignored;
    std::string strReason;  // why it was refused
    bool bDepthChange = false;  // refused only because the change of bit depth was not accepted
};

struct ImportOptions {
    bool bBackup = false;  // copy the model file to its next free backup name just before writing
    bool bAcceptDepthChange = false;  // the answer to the bit-depth question
    bool bDryRun = false;  // check and report, write nothing
    // Runs after the backup, just before the first byte is written; what it throws stops the import.
    std::function<void()> beforeWrite{};
    // Told how far the import has come (in percent); its Cancel is looked at between files and
    // between the textures written, up to the moment the new model file takes the old one's place.
    IProgress* pProgress = nullptr;
};

struct ImportReport {
    std::vector<ImportLine> lines;  // by texture index, then the ignored files by name
    bool bWritten = false;  // the model file was rewritten
    std::string strBackupPath;  // where the backup went; empty when none was made
    std::string strError;  // empty when the import did all it was asked; else the text and the reason
    bool bCancelled = false;  // stopped by its progress: nothing was written, no backup left behind

    bool Succeeded() const { return strError.empty() && !bCancelled; }
};

ImportReport ImportTextures(const std::string& modelPath, const std::string& folder, const ImportOptions& options);

// What a checked import refused: nothing, only changes of bit depth (which
// the user may still accept), or something else.
enum class ImportRefusals { None, OnlyDepth, Other };
ImportRefusals ClassifyRefusals(const std::vector<ImportLine>& lines);

// The texture index named by a file name for a model file of this stem, or nothing.
std::optional<uint32_t> ImportIndexFromName(const std::string& fileName, const std::string& stem);
// "<index> <file name> <status>", the index "-" for an ignored file.
std::string FormatImportLine(const ImportLine& line);
