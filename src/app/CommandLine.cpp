#include "app/CommandLine.h"

namespace {

bool IsHelp(const std::string& arg)
{
    return arg == "-h" || arg == "--help";
}

bool IsVersion(const std::string& arg)
{
    return arg == "-v" || arg == "--version";
}

}  // namespace

CommandLineInfo ScanForInfoOptions(const std::vector<std::string>& args)
{
    CommandLineInfo info;
    for (const std::string& arg : args) {
        if (arg == "--")
            break;
        if (IsHelp(arg)) {
            info.nAction = CommandLineInfo::Help;
            return info;
        }
        if (IsVersion(arg)) {
            info.nAction = CommandLineInfo::Version;
            return info;
        }
    }
    return info;
}

CommandLineInfo ParseCommandLine(const std::vector<std::string>& args)
{
    CommandLineInfo info = ScanForInfoOptions(args);
    if (info.nAction != CommandLineInfo::Run)
        return info;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && arg == "--render-to") {
            if (i + 1 == args.size()) {
                info.nAction = CommandLineInfo::Error;
                info.strError = "--render-to needs a file name";
                return info;
            }
            info.strRenderTo = args[++i];
            continue;
        }
        if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            info.nAction = CommandLineInfo::Error;
            info.strError = "unknown option '" + arg + "'";
            return info;
        }
        if (!info.strFileName.empty()) {
            info.nAction = CommandLineInfo::Error;
            info.strError = "only one file can be opened at a time";
            return info;
        }
        info.strFileName = arg;
    }
    return info;
}

std::string HelpText()
{
    return "Usage: tavrel [options] [file]\n"
           "Shows the texture images of model files (.nif), compressed bitmaps (.bmz),\n"
           "PNG and BMP files, and opens the file given.\n"
           "\n"
           "Options:\n"
           "  -h, --help     Show this help and exit.\n"
           "  -v, --version  Show the version and exit.\n"
           "  --render-to FILE\n"
           "                 Draw the window with the file opened into FILE (PNG) and exit;\n"
           "                 with -platform offscreen this needs no display.\n"
           "\n"
           "The toolkit's own options, such as -platform and -style, are accepted too.\n";
}

std::string VersionText()
{
    return "tavrel 1.0\nLicensed under the MIT License.\n";
}
