// The window program: answers --help and --version, else shows the main
// window with the file named on the command line.
#include <QApplication>
#include <QFile>

#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/MainFrame.h"
#include "app/QuitOnSignal.h"
#include "app/TavrelApp.h"
#include "doc/TavrelDoc.h"
#include "platform/UiServices.h"

namespace {

std::vector<std::string> Arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

// Nonzero when the command line was answered without starting the window.
int AnswerInfo(const CommandLineInfo& info)
{
    switch (info.nAction) {
    case CommandLineInfo::Help: std::fputs(HelpText().c_str(), stdout); return 0;
    case CommandLineInfo::Version: std::fputs(VersionText().c_str(), stdout); return 0;
    case CommandLineInfo::Error:
        std::fprintf(stderr, "tavrel: %s\nTry 'tavrel --help' for more information.\n", info.strError.c_str());
        return 2;
    default: return -1;
    }
}

// Messages go to standard error and questions are answered No, so that
// drawing the window offscreen never waits for a click.
class ConsoleUi : public IUiServices {
public:
    int MessageBox(const std::string& text, unsigned style) override
    {
        std::fprintf(stderr, "tavrel: %s\n", text.c_str());
        return (style & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
    }
};

// Opens the file, draws the window into a picture and saves it: what the
// program shows, for a machine without a display.
int RenderWindow(const CommandLineInfo& info)
{
    ConsoleUi ui;
    CTavrelApp app(&ui);
    if (!app.InitInstance())
        return 1;
    if (!info.strFileName.empty())
        app.GetDocument()->LoadFile(info.strFileName);
    // The Textures dock makes its thumbnails one at a time from the event
    // loop; a few passes let the visible ones be drawn in the picture too.
    for (int pass = 0; pass < 64; ++pass)
        QCoreApplication::processEvents();
    const QString path = QFile::decodeName(info.strRenderTo.c_str());
    if (!app.GetMainFrame()->grab().save(path, "PNG")) {
        std::fprintf(stderr, "tavrel: cannot write %s\n", info.strRenderTo.c_str());
        return 1;
    }
    return 0;
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

    if (!info.strRenderTo.empty())
        return RenderWindow(info);
    CTavrelApp app;
    if (!app.InitInstance(info.strFileName))
        return 1;
    if (QuitWasRequested())  // while the first file was loading
        return 0;
    if (info.strFileName.empty())
        app.GetDocument()->CheckPrivateFolder();  // says so now when it is missing
    return application.exec();
}
