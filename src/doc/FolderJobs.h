#pragma once
// The work of a folder: every file found below it exported, or imported back,
// several files at a time (one file per job, each streaming one texture at a
// time). Each file's messages are collected on its job and handed on with its
// outcome, in the order of the files, so that a report reads as if one job had
// done the work. Shared by `tavrel-cli` and the window's Export Folder and
// Import Folder.
#include <cstdint>
#include <string>
#include <vector>

#include "doc/ExportTypes.h"
#include "doc/FolderWalk.h"
#include "doc/Progress.h"
#include "doc/TextureImport.h"

enum class FolderFileStatus {
    Done,  // exported; or imported and written
    Unchanged,  // import: nothing to write for it
    Skipped,  // import: not a file that takes textures (a compressed bitmap, a link), or none named for it
    WouldBeWritten,  // import: accepted, not written (a dry run, or another file was refused)
    Refused,  // export: existing files differ (see conflicts); import: a texture file was refused
    Failed,
    NotReached,  // cancelled before it
};

struct FolderFileOutcome {
    std::string strPath;
    std::string strTarget;  // the folder its textures go to or come from
    FolderFileStatus status = FolderFileStatus::NotReached;
    std::vector<std::string> messages;  // what its readers and writers said, in order
    std::vector<std::string> conflicts;  // export: existing files that differ
    std::vector<ImportLine> importLines;  // import: the lines of its textures (ignored files left out)
    std::string strBackupPath;
    uint32_t nTextures = 0;  // exported or imported
    uint64_t nBytes = 0;  // of the files written (export) or the textures replaced (import)
};

struct FolderReport {
    std::vector<FolderFileOutcome> files;  // in the order of the files given
    bool bCancelled = false;
    bool bNothingWritten = false;  // import: refused before anything was written

    size_t Count(FolderFileStatus status) const;
    bool Succeeded() const;
    // "12 files: 10 exported, 2 failed; 340 textures, 81.2 MiB".
    std::string Summary(bool import) const;
    // Every file's line and messages, then the summary: the report the window shows.
    std::string Text(bool import) const;
};

// Advance counts the files; Cancelled, polled between files, stops the work after the files under way.
class IFolderProgress : public IProgress {
public:
    // On the calling thread, each file once its outcome is known, in order (before its Advance); done
    // counts the files so far.
    virtual void FileDone(const FolderFileOutcome& outcome, size_t done, size_t total)
    {
        (void)outcome;
        (void)done;
        (void)total;
    }
};

struct FolderExportOptions {
    std::string strOut;  // each file's textures go to OUT/<its subfolder>
    ExportType type = ExportType::PngAlpha;
    unsigned nJobs = 0;  // files at a time; 0: one per processor
    bool bOverwrite = false;  // replace existing files that differ
};

struct FolderImportOptions {
    std::string strIn;  // each file's textures come from IN/<its subfolder>
    unsigned nJobs = 0;
    ImportOptions import;  // for each file; bDryRun checks every file and writes none
};

// The folder a found file's textures go to below out.
std::string FolderTarget(const std::string& out, const FoundFile& file);
FolderReport ExportFolder(
    const std::vector<FoundFile>& files, const FolderExportOptions& options, IFolderProgress* progress = nullptr);
// Checks every model file first and writes nothing if any is refused or fails;
// then writes each changed one, each all-or-nothing.
FolderReport ImportFolder(
    const std::vector<FoundFile>& files, const FolderImportOptions& options, IFolderProgress* progress = nullptr);
// A file's one-line outcome: "a/b.nif: 12 textures exported".
std::string FormatFolderOutcome(const FolderFileOutcome& outcome, bool import);
