// Opening a 256 MiB model file in the window, from the command line to the
// first paint of texture 0 with the texture list shown, beside the
// command-line tool's `list` of the same file in the same run.
// Goal: the window within 1.3x of the tool.
//
// Run offscreen: QT_QPA_PLATFORM=offscreen bench_window_open [tavrel-cli [model-file-to-keep]]
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/MainFrame.h"
#include "app/TavrelApp.h"
#include "app/TavrelView.h"
#include "app/sample/ModelFile.h"
#include "doc/TavrelDoc.h"

namespace {

constexpr int kRuns = 5;

// Processor time, user and system, in milliseconds: of this process or of its finished children.
double CpuMs(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
        (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// 64 RGBA textures of 1024 x 1024: 256 MiB of pixels.
std::string WriteLargeModel(const std::string& path)
{
    std::vector<RawTexture> textures(64);
    for (size_t i = 0; i < textures.size(); ++i) {
        RawTexture& t = textures[i];
        t.width = t.height = 1024;
        t.format = 2;
        t.pixels.resize(size_t(1024) * 1024 * 4);
        for (size_t p = 0; p < t.pixels.size(); ++p)
            t.pixels[p] = uint8_t(p * 7 + i * 13 + (p >> 12));
    }
    if (!WriteModelFile(path, textures))
        return {};
    return path;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Milliseconds from starting the program's window to its first paint of an image.
double OpenInWindow(const std::string& path)
{
    CTavrelApp app;
    QElapsedTimer timer;
    timer.start();
    app.InitInstance(path);
    CTavrelDoc* doc = app.GetDocument();
    double elapsed = -1;
    struct PaintWatch : QObject {
        CTavrelDoc* doc;
        QElapsedTimer* timer;
        double* elapsed;
        bool eventFilter(QObject*, QEvent* event) override
        {
            const CDibImage* image = doc->GetActiveImage();
            if (event->type() == QEvent::Paint && *elapsed < 0 && !doc->IsBusy() && image && image->GetBitmapInfo())
                *elapsed = double(timer->nsecsElapsed()) / 1e6;
            return false;
        }
    } watch;
    watch.doc = doc;
    watch.timer = &timer;
    watch.elapsed = &elapsed;
    app.GetView()->viewport()->installEventFilter(&watch);
    while (elapsed < 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents, 50);
    return elapsed;
}

// Milliseconds from starting a program until it has written its first line
// (the tool: its listing; the window run: "painted") and its processor time.
std::pair<double, double> RunProcess(const QString& program, const QStringList& args)
{
    const double cpuBefore = CpuMs(RUSAGE_CHILDREN);
    QElapsedTimer timer;
    timer.start();
    QProcess process;
    process.start(program, args);
    process.waitForReadyRead(-1);
    const double elapsed = double(timer.nsecsElapsed()) / 1e6;
    process.waitForFinished(-1);
    if (process.exitCode() != 0)
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), process.readAllStandardError().constData());
    return {elapsed, CpuMs(RUSAGE_CHILDREN) - cpuBefore};
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    // One fresh window process, as from the command line; exits at its first paint.
    if (argc == 3 && std::string(argv[1]) == "--window-run") {
        OpenInWindow(argv[2]);
        std::printf("painted\n");
        std::fflush(stdout);
        std::_Exit(0);
    }
    const QString cli = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(TAVREL_CLI);
    QTemporaryDir dir;
    const std::string path =
        WriteLargeModel(argc > 2 ? std::string(argv[2]) : (dir.path() + "/large.nif").toStdString());
    if (path.empty()) {
        std::fprintf(stderr, "cannot write the model file\n");
        return 1;
    }
    const QString file = QString::fromStdString(path);
    RunProcess(cli, {"list", file});  // both read from the page cache from here on
    // On a shared machine the wall clock waits for other work too: the
    // processor time each side used is reported beside it.
    std::vector<double> window, tool, windowCpu, toolCpu;
    for (int run = 0; run < kRuns; ++run) {
        const auto [t, tc] = RunProcess(cli, {"list", file});
        const auto [w, wc] = RunProcess(QCoreApplication::applicationFilePath(), {"--window-run", file});
        tool.push_back(t);
        toolCpu.push_back(tc);
        window.push_back(w);
        windowCpu.push_back(wc);
    }
    const double w = Median(window), t = Median(tool), wc = Median(windowCpu), tc = Median(toolCpu);
    std::printf("256 MiB model file (64 RGBA textures of 1024 x 1024), median of %d runs of each program\n", kRuns);
    std::printf("  tavrel-cli list, start to listing:          %8.1f ms (%.2fx), processor %8.1f ms\n", t, 1.0, tc);
    std::printf("  window, start to first paint of texture 0:  %8.1f ms (%.2fx), processor %8.1f ms (%.2fx)\n", w,
        w / t, wc, wc / tc);
    return 0;
}
