// The window program: answers --help and --version, else shows the main
// window with the file named on the command line.
#include <QApplication>

#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/QuitOnSignal.h"
#include "app/TavrelApp.h"
#include "doc/TavrelDoc.h"

namespace {

std::vector<std::string> Arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

// Nonzero when the command line was answered without starting the window.
int AnswerInfo(const CommandLineInfo& info)
{
    switch (info.nAction) {
    case CommandLineInfo::Help:
        std::fputs(HelpText().c_str(), stdout);
        return 0;
    case CommandLineInfo::Version:
        std::fputs(VersionText().c_str(), stdout);
        return 0;
    case CommandLineInfo::Error:
        std::fprintf(stderr, "tavrel: %s\nTry 'tavrel --help' for more information.\n", info.strError.c_str());
        return 2;
    default:
        return -1;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    // Help and version need no display.
    if (const int code = AnswerInfo(ScanForInfoOptions(Arguments(argc, argv))); code >= 0)
        return code;

    QApplication application(argc, argv);
    QuitOnEndingSignals(application);
    const CommandLineInfo info = ParseCommandLine(Arguments(argc, argv));
    if (const int code = AnswerInfo(info); code >= 0)
        return code;

    CTavrelApp app;
    if (!app.InitInstance(info.strFileName))
        return 1;
    if (QuitWasRequested())   // while the first file was loading
        return 0;
    if (info.strFileName.empty())
        app.GetDocument()->CheckPrivateFolder();   // says so now when it is missing
    return application.exec();
}
