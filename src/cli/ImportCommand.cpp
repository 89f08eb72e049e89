// import: the command line's flags become the import's options.
#include <cstdio>

#include "cli/CliUiServices.h"
#include "cli/Commands.h"
#include "doc/TextureImport.h"
#include "platform/CoreError.h"

int RunImport(const CliOptions& options, CCliUiServices& ui)
{
    if (options.bManyFiles)
        return RunImportFolder(options, ui);
    std::string path;
    try {
        path = EditTarget(options);
    } catch (const CCoreError& e) {
        ui.Report(e.GetErrorMessage());
        return kExitFailure;
    }
    ImportOptions import;
    import.bBackup = options.bBackup;
    import.bAcceptDepthChange = options.bYes;
    import.bDryRun = options.bDryRun;
    ui.SetProgressLabel("Importing " + options.strImportDir);
    const ImportReport report = ImportTextures(path, options.strImportDir, import);
    for (const ImportLine& line : report.lines)
        std::printf("%s\n", FormatImportLine(line).c_str());
    if (!report.strBackupPath.empty())
        std::printf("backup: %s\n", report.strBackupPath.c_str());
    if (!report.Succeeded()) {
        ui.Report(report.strError);
        return kExitFailure;
    }
    return kExitSuccess;
}
