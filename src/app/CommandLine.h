#pragma once
// The program's command line: an optional file to open, --help and --version.
#include <string>
#include <vector>

struct CommandLineInfo {
    enum Action { Run, Help, Version, Error };
    Action nAction = Run;
    std::string strFileName;  // the file to open, or empty
    std::string strError;  // for Error: what was wrong
    std::string strRenderTo;  // --render-to: draw the window into this PNG file and exit
};

// Looks only for --help and --version, before the toolkit takes its own
// options out of the command line; every other argument is passed over.
CommandLineInfo ScanForInfoOptions(const std::vector<std::string>& args);
// Parses the arguments that are left for the program (without the program name).
CommandLineInfo ParseCommandLine(const std::vector<std::string>& args);

std::string HelpText();
std::string VersionText();
