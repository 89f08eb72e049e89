// Opening a 256 MiB and a 1 GiB model file in the window, from the command
// line to the first paint of texture 0 with the texture list shown, beside the
// command-line tool's `extract FILE x.bmp --index 0` of the same file in the
// same run; with the window process's peak memory and the time to step to the
// next texture and paint it. Goals: at most 3x the tool, under 100 MiB, under 30 ms.
//
// Run offscreen: QT_QPA_PLATFORM=offscreen bench_window_open [tavrel-cli [model-file-to-keep]]
// `bench_window_open --paint-run FILE` opens FILE and exits at its first
// paint, for timing the whole process from outside.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/MainFrame.h"
#include "app/TavrelApp.h"
#include "app/TavrelView.h"
#include "app/sample/ModelFile.h"
#include "doc/TavrelDoc.h"

namespace {

constexpr int kRuns = 9;

// Processor time, user and system, in milliseconds: of this process or of its finished children.
double CpuMs(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
        (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// RGBA textures of 1024 x 1024, 4 MiB each.
std::string WriteLargeModel(const std::string& path, size_t count)
{
    std::vector<RawTexture> textures(count);
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

// This process's processor time, all threads, in milliseconds.
double ProcessCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Milliseconds from starting the program's window to its first paint of an
// image; prints "painted" and the processor time so far then. Without
// stepMs it returns there.
double OpenInWindow(const std::string& path, double* stepMs)
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
    // One pass at a time: what the paint itself posts (the list's pictures)
    // comes after it, as under the program's own event loop.
    while (elapsed < 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
    std::printf("painted %f\n", ProcessCpuMs());
    std::fflush(stdout);
    if (!stepMs)
        return elapsed;
    // Stepping: the next texture read and painted, a few times.
    std::vector<double> steps;
    for (int i = 0; i < 5; ++i) {
        elapsed = -1;
        timer.restart();
        doc->OnNextImage();
        app.GetView()->viewport()->repaint();
        steps.push_back(elapsed);
    }
    *stepMs = Median(steps);
    return elapsed;
}

struct Run {
    double ms = 0;  // start to the first line written (the window) or to the end (the tool)
    double cpuMs = 0;
    QByteArray out;
};

Run RunProcess(const QString& program, const QStringList& args, bool untilFirstLine)
{
    const double cpuBefore = CpuMs(RUSAGE_CHILDREN);
    QElapsedTimer timer;
    timer.start();
    QProcess process;
    process.start(program, args);
    if (untilFirstLine)
        process.waitForReadyRead(-1);
    else
        process.waitForFinished(-1);
    Run run;
    run.ms = double(timer.nsecsElapsed()) / 1e6;
    process.waitForFinished(-1);
    if (process.exitCode() != 0)
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), process.readAllStandardError().constData());
    run.cpuMs = CpuMs(RUSAGE_CHILDREN) - cpuBefore;
    run.out = process.readAllStandardOutput();
    return run;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    // One fresh window process, as from the command line: prints the time to
    // its first paint, the step time and its peak memory, then exits.
    if (argc == 3 && std::string(argv[1]) == "--paint-run") {
        OpenInWindow(argv[2], nullptr);
        return 0;
    }
    if (argc == 3 && std::string(argv[1]) == "--window-run") {
        double step = 0;
        OpenInWindow(argv[2], &step);
        // The peak of this program alone: unlike getrusage's, it does not go
        // back past exec to the benchmark that started it.
        long peakKb = 0;
        if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
            char line[256];
            while (std::fgets(line, sizeof line, status))
                if (std::sscanf(line, "VmHWM: %ld", &peakKb) == 1)
                    break;
            std::fclose(status);
        }
        std::printf("%f %ld\n", step, peakKb);
        std::fflush(stdout);
        std::_Exit(0);
    }
    const QString cli = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(TAVREL_CLI);
    QTemporaryDir dir;
    // A path given after the tool keeps the last model file written there.
    const QString model = argc > 2 ? QString::fromLocal8Bit(argv[2]) : dir.path() + "/large.nif";
    for (const size_t count : {size_t(64), size_t(256)}) {
        const std::string path = WriteLargeModel(model.toStdString(), count);
        if (path.empty()) {
            std::fprintf(stderr, "cannot write the model file\n");
            return 1;
        }
        const QString file = QString::fromStdString(path);
        const QString bmp = dir.path() + "/x.bmp";
        RunProcess(cli, {"extract", file, bmp, "--index", "0"}, false);  // the file in the page cache
        std::vector<double> window, tool, windowCpu, toolCpu, step, rss;
        for (int run = 0; run < kRuns; ++run) {
            QFile::remove(bmp);
            const Run t = RunProcess(cli, {"extract", file, bmp, "--index", "0"}, false);
            const Run w = RunProcess(QCoreApplication::applicationFilePath(), {"--window-run", file}, true);
            double paintCpuMs = 0, stepMs = 0;
            long rssKb = 0;
            std::sscanf(w.out.constData(), "painted %lf\n%lf %ld", &paintCpuMs, &stepMs, &rssKb);
            tool.push_back(t.ms);
            toolCpu.push_back(t.cpuMs);
            window.push_back(w.ms);
            windowCpu.push_back(paintCpuMs);
            step.push_back(stepMs);
            rss.push_back(double(rssKb) / 1024);
        }
        const double w = Median(window), t = Median(tool), wc = Median(windowCpu), tc = Median(toolCpu);
        std::printf("%zu MiB model file (%zu RGBA textures of 1024 x 1024), median of %d runs of each program\n",
            count * 4, count, kRuns);
        std::printf(
            "  tavrel-cli extract --index 0, whole run:     %8.1f ms (%.2fx), processor %8.1f ms\n", t, 1.0, tc);
        std::printf("  window, start to first paint of texture 0:  %8.1f ms (%.2fx), processor %8.1f ms (%.2fx)\n", w,
            w / t, wc, wc / tc);
        std::printf("  window: peak memory %.1f MiB; step to the next texture and paint it %.1f ms\n", Median(rss),
            Median(step));
        if (argc <= 2 || count != 256)
            QFile::remove(file);
    }
    return 0;
}
