// tavrel-cli: the command-line front end over the same core as the window.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

#include "cli/CliOptions.h"
#include "cli/CliUiServices.h"
#include "cli/Commands.h"
#include "cli/Usage.h"
#include "platform/Exceptions.h"
#include "platform/SignalCleanup.h"

namespace {

int RunVerb(const CliOptions& options, CCliUiServices& ui)
{
    try {
        switch (options.verb) {
        case CliVerb::List: return RunList(options, ui);
        case CliVerb::Extract:
        case CliVerb::Convert: return RunExtract(options, ui);
        case CliVerb::Help:
        case CliVerb::Version: break;
        }
    } catch (const CUserException&) {
        // Already reported by whoever threw it.
    } catch (const CException& e) {
        e.ReportError();
    } catch (const std::bad_alloc&) {
        CMemoryException().ReportError();
    } catch (const std::exception& e) {
        ui.Report(std::string("tavrel-cli: ") + e.what());
    }
    return kExitFailure;
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
    const int status = RunVerb(options, ui);
    SetUiServices(nullptr);
    return FinishOutput(status);
}
