#pragma once
// Runs the built command-line tool with arguments and collects what it did.
#include <string>
#include <vector>

struct CliRun {
    int status = -1;      // exit status; -1 when it did not exit normally
    std::string out;      // standard output
    std::string err;      // standard error
};

// Runs tavrel-cli with the arguments; standard output and error go to files
// in workDir, standard input is /dev/null.
CliRun RunCli(const std::vector<std::string>& args, const std::string& workDir);

// Runs tavrel-cli with standard error on a pseudo-terminal; returns what
// appeared on the terminal.
CliRun RunCliOnTerminal(const std::vector<std::string>& args, const std::string& workDir);
