#include <cstdio>

#include "cli/CliUiServices.h"
#include "cli/Commands.h"
#include "doc/TextureImport.h"

int RunImport(const CliOptions& options, CCliUiServices& ui)
{
    ImportOptions import;
    import.bBackup = options.bBackup;
    import.bAcceptDepthChange = options.bYes;
    import.bDryRun = options.bDryRun;
    ui.SetProgressLabel("Importing " + options.strImportDir);
    const ImportReport report = ImportTextures(options.strFile, options.strImportDir, import);
    for (const ImportLine& line : report.lines)
        std::printf("%s\n", FormatImportLine(line).c_str());
    if (!report.Succeeded()) {
        ui.Report(report.strError);
        return kExitFailure;
    }
    return kExitSuccess;
}
