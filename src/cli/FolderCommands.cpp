// The folder forms of extract --all and import: the core's folder jobs, with
// progress on standard error and the report on standard output.
#include <cstdio>

#include "cli/CliUiServices.h"
#include "cli/Commands.h"
#include "doc/FolderJobs.h"
#include "platform/Format.h"

namespace {

// Files done / total, textures and MiB on the progress line; each file's
// messages on standard error as it is done, in the order of the files.
class CFolderCliProgress final : public IFolderProgress {
public:
    CFolderCliProgress(CCliUiServices& ui, bool import, bool printLines)
        : m_ui(ui)
        , m_bImport(import)
        , m_bPrintLines(printLines)
    {
    }
    void FileDone(const FolderFileOutcome& outcome, size_t done, size_t total) override
    {
        m_nTextures += outcome.nTextures;
        m_nBytes += outcome.nBytes;
        if (m_bPrintLines && outcome.status != FolderFileStatus::Skipped &&
            outcome.status != FolderFileStatus::Unchanged) {
            m_ui.ShowProgress(-1);
            std::printf("%s\n", FormatFolderOutcome(outcome, m_bImport).c_str());
            for (const ImportLine& line : outcome.importLines) {
                if (line.status != ImportStatus::Unchanged)
                    std::printf("  %s\n", FormatImportLine(line).c_str());
            }
            if (!outcome.strBackupPath.empty())
                std::printf("  backup: %s\n", outcome.strBackupPath.c_str());
            std::fflush(stdout);
        }
        for (const std::string& message : outcome.messages)
            m_ui.Report(outcome.strPath + ": " + message);
        if (outcome.status == FolderFileStatus::Refused && !m_bImport) {
            std::string text = OverwriteQuestionFor(outcome);
            for (const std::string& path : outcome.conflicts)
                text += "\n  " + path;
            m_ui.Report(text);
        }
        m_ui.SetProgressLabel(
            FormatString("%zu/%zu files, %u textures, %.1f MiB", done, total, m_nTextures, m_nBytes / 1048576.0));
        m_ui.ShowProgress(static_cast<int>(done * 100 / total));
    }

private:
    static std::string OverwriteQuestionFor(const FolderFileOutcome& outcome)
    {
        return FormatString("%zu file%s in %s would be overwritten: nothing was written for %s; give --overwrite to "
                            "replace them:",
            outcome.conflicts.size(), outcome.conflicts.size() == 1 ? "" : "s", outcome.strTarget.c_str(),
            outcome.strPath.c_str());
    }

    CCliUiServices& m_ui;
    bool m_bImport;
    bool m_bPrintLines;
    uint32_t m_nTextures = 0;
    uint64_t m_nBytes = 0;
};

ExportType TypeOf(OutputFormat format)
{
    switch (format) {
    case OutputFormat::Bmp: return ExportType::Bmp;
    case OutputFormat::Tga: return ExportType::Tga;
    default: return ExportType::PngAlpha;
    }
}

// The files below the paths; false (after saying why) when a path could not be searched.
bool FindFiles(const CliOptions& options, CCliUiServices& ui, std::vector<FoundFile>& files)
{
    FolderWalk walk = FindReadableFiles(options.paths);
    for (const std::string& error : walk.errors)
        ui.Report(error);
    files = std::move(walk.files);
    return walk.errors.empty();
}

int Finish(const FolderReport& report, bool searched, bool import, CCliUiServices& ui)
{
    ui.ShowProgress(-1);
    if (report.bNothingWritten)
        ui.Report("Nothing was written: a file was refused or failed its check.");
    std::printf("%s\n", report.Summary(import).c_str());
    return searched && report.Succeeded() ? kExitSuccess : kExitFailure;
}

}  // namespace

int RunExtractFolder(const CliOptions& options, CCliUiServices& ui)
{
    std::vector<FoundFile> files;
    const bool searched = FindFiles(options, ui, files);
    FolderExportOptions folder;
    folder.strOut = options.strAllDir;
    folder.type = TypeOf(options.format);
    folder.nJobs = options.nJobs;
    folder.bOverwrite = options.bOverwrite;
    CFolderCliProgress progress(ui, false, false);
    ui.SetProgressLabel("Writing " + options.strAllDir);
    return Finish(ExportFolder(files, folder, &progress), searched, false, ui);
}

int RunImportFolder(const CliOptions& options, CCliUiServices& ui)
{
    std::vector<FoundFile> files;
    if (!FindFiles(options, ui, files)) {
        ui.Report("Nothing was written.");
        return kExitFailure;
    }
    FolderImportOptions folder;
    folder.strIn = options.strImportDir;
    folder.nJobs = options.nJobs;
    folder.import.bBackup = options.bBackup;
    folder.import.bAcceptDepthChange = options.bYes;
    folder.import.bDryRun = options.bDryRun;
    CFolderCliProgress progress(ui, true, true);
    ui.SetProgressLabel("Importing " + options.strImportDir);
    return Finish(ImportFolder(files, folder, &progress), true, true, ui);
}
