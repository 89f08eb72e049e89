// tavrel-cli: the command-line front end over the same core as the window.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "cli/CliOptions.h"
#include "cli/CliUiServices.h"
#include "cli/Commands.h"
#include "cli/Usage.h"
#include "platform/Exceptions.h"
#include "platform/File.h"
#include "platform/ImageLimits.h"
#include "platform/SignalCleanup.h"
#include "platform/UiServices.h"

namespace {

int RunVerb(const CliOptions& options, CCliUiServices& ui)
{
    int status = kExitFailure;
    try {
        RunReportingFailure([&] {
            switch (options.verb) {
            case CliVerb::List: status = RunList(options, ui); break;
            case CliVerb::Extract:
            case CliVerb::Convert: status = RunExtract(options, ui); break;
            case CliVerb::Map: status = RunMap(options, ui); break;
            case CliVerb::Replace: status = RunReplace(options, ui); break;
            case CliVerb::Alpha: status = RunAlpha(options, ui); break;
            case CliVerb::Import: status = RunImport(options, ui); break;
            case CliVerb::Thumbnail: status = RunThumbnail(options, ui); break;
            case CliVerb::Help:
            case CliVerb::Version: break;
            }
        });
    } catch (const std::exception& e) {
        ui.Report(std::string("tavrel-cli: ") + e.what());
        status = kExitFailure;
    }
    return status;
}

// Standard output may be a full disk or a closed pipe: a listing cut short is a failure.
int FinishOutput(int status)
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "tavrel-cli: cannot write to standard output: %s\n", std::strerror(errno));
        return kExitFailure;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    const ParseResult parsed = ParseArguments(argc, argv);
    if (!parsed.options) {
        std::fprintf(stderr, "tavrel-cli: %s\n%s", parsed.strError.c_str(), kUsageText);
        return kExitUsage;
    }
    const CliOptions& options = *parsed.options;
    // A budget the user set and mistyped is not silently the default.
    const char* budget = std::getenv(kImageBudgetVariable);
    if (budget && !ParseImageBudgetMiB(budget)) {
        std::fprintf(stderr, "tavrel-cli: %s needs a number of MiB from 1 to %llu\n", kImageBudgetVariable,
            static_cast<unsigned long long>(kMaxImageBudgetMiB));
        return kExitUsage;
    }
    if (options.nMaxImageMiB)
        SetImageBudgetMiB(*options.nMaxImageMiB);
    if (options.verb == CliVerb::Help) {
        std::fputs(kHelpText, stdout);
        return FinishOutput(kExitSuccess);
    }
    if (options.verb == CliVerb::Version) {
        std::fputs(VersionText(), stdout);
        return FinishOutput(kExitSuccess);
    }

    // Interrupted runs leave no temporary files; a file-size limit is a write error.
    InstallSignalCleanup();
    CCliUiServices ui(stderr, ::isatty(STDERR_FILENO) == 1);
    SetUiServices(&ui);
    int status = RunVerb(options, ui);
    // Written, but not surely lasting: said, and a failure to a script.
    for (const std::string& warning : TakeWriteWarnings()) {
        ui.Report(warning);
        status = kExitFailure;
    }
    SetUiServices(nullptr);
    return FinishOutput(status);
}
