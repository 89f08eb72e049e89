#include "doc/FolderJobs.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

#include "doc/DocExportSource.h"
#include "doc/EditOperations.h"
#include "doc/ExportImages.h"
#include "doc/TavrelDoc.h"
#include "doc/ThreadMessages.h"
#include "image/DibImage.h"
#include "image/FileKind.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"
#include "platform/PathParts.h"
#include "platform/UiServices.h"

namespace {

using FileWork = std::function<void(size_t, FolderFileOutcome&)>;

// Runs work for each file on up to `jobs` threads, claimed in order; hands the
// outcomes to progress in order on the calling thread.
void RunFiles(const std::vector<FoundFile>& files, unsigned jobs, const FileWork& work, IFolderProgress* progress,
    FolderReport& report)
{
    const size_t count = files.size();
    report.files.resize(count);
    std::vector<bool> ready(count, false);
    std::mutex mutex;
    std::condition_variable readyChanged;
    std::atomic<size_t> next{0};
    std::atomic<bool> stop{false};
    const auto worker = [&] {
        for (;;) {
            const size_t i = next.fetch_add(1);
            if (i >= count)
                return;
            FolderFileOutcome outcome;
            outcome.strPath = files[i].strPath;
            if (!stop.load()) {
                CThreadMessages said(outcome.messages);  // its readers' and writers' words go to its outcome
                try {
                    work(i, outcome);
                } catch (const CException& e) {
                    outcome.messages.push_back(e.GetErrorMessage());
                    outcome.status = FolderFileStatus::Failed;
                } catch (const std::exception& e) {
                    outcome.messages.push_back(e.what());
                    outcome.status = FolderFileStatus::Failed;
                }
            }
            std::lock_guard<std::mutex> lock(mutex);
            report.files[i] = std::move(outcome);
            ready[i] = true;
            readyChanged.notify_all();
        }
    };
    const size_t threads =
        std::min<size_t>(count, jobs != 0 ? jobs : std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::thread> pool;
    for (size_t t = 0; t < threads; ++t)
        pool.emplace_back(worker);
    for (size_t i = 0; i < count; ++i) {
        std::unique_lock<std::mutex> lock(mutex);
        readyChanged.wait(lock, [&] { return ready[i]; });
        const FolderFileOutcome& outcome = report.files[i];
        lock.unlock();
        if (!progress)
            continue;
        progress->FileDone(outcome, i + 1, count);
        progress->Advance(i + 1, count);
        if (!stop.load() && progress->Cancelled()) {
            stop = true;
            report.bCancelled = true;
        }
    }
    for (std::thread& thread : pool)
        thread.join();
}

unsigned JobsFor(size_t files, unsigned jobs)
{
    return files == 1 ? jobs : 1;  // one file alone may use the jobs on its images; several files share them
}

uint64_t FileSize(const std::string& path)
{
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

void ExportOne(const FoundFile& file, const FolderExportOptions& options, unsigned imageJobs, FolderFileOutcome& out)
{
    out.strTarget = FolderTarget(options.strOut, file);
    CTavrelDoc doc;
    doc.SetReadTexturesOnDemand(true);
    doc.SetLinkPolicy(CTavrelDoc::LinkPolicy::Follow);
    const LoadResult loaded = doc.LoadFile(file.strPath);
    const CDocExportSource source(doc);
    if (source.Count() == 0) {
        if (loaded != LoadResult::kFailedAndReported)
            out.messages.push_back("No image could be read from " + file.strPath);
        out.status = FolderFileStatus::Failed;
        return;
    }
    ExportOptions exportOptions;
    exportOptions.strFolder = out.strTarget;
    exportOptions.strNamePath = file.strPath;
    exportOptions.type = options.type;
    exportOptions.nJobs = imageJobs;
    exportOptions.nPngThreads = imageJobs == 1 ? 1 : 0;  // files side by side keep a PNG to one thread
    exportOptions.bOverwrite = options.bOverwrite;
    const ExportReport report = ExportImages(source, exportOptions);
    for (const ExportedImage& image : report.images) {
        out.messages.insert(out.messages.end(), image.messages.begin(), image.messages.end());
        if (image.status == ExportStatus::Written || image.status == ExportStatus::Unchanged) {
            ++out.nTextures;
            out.nBytes += image.status == ExportStatus::Written ? FileSize(image.strPath) : 0;
        }
    }
    if (!report.strError.empty())
        out.messages.push_back(report.strError);
    out.conflicts = report.conflicts;
    out.status = report.bRefused ? FolderFileStatus::Refused
        : report.Complete()      ? FolderFileStatus::Done
                                 : FolderFileStatus::Failed;
}

// True when the folder holds a file named for one of the model file's textures.
bool NamesAnyTexture(const std::string& folder, const std::string& modelPath)
{
    const std::string stem = FileNamePart(modelPath).substr(0, FileNamePart(modelPath).rfind('.'));
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (ImportIndexFromName(it->path().filename().string(), stem))
            return true;
    }
    return false;
}

void ImportOne(const FoundFile& file, const FolderImportOptions& options, FolderFileOutcome& out)
{
    out.strTarget = FolderTarget(options.strIn, file);
    out.status = FolderFileStatus::Skipped;
    if (FileKindOfPath(file.strPath) != FileKind::Nif || !NamesAnyTexture(out.strTarget, file.strPath))
        return;
    uint64_t length = 0;
    const std::vector<ScannedTexture> textures = ScanModelTextures(file.strPath, length);
    if (textures.empty())
        return;  // a link, or no textures: nothing of its own to put back
    const ImportReport report = ImportTextures(file.strPath, out.strTarget, options.import);
    bool any = false;
    for (const ImportLine& line : report.lines) {
        if (!line.nIndex)
            continue;  // other files' textures share the folder
        out.importLines.push_back(line);
        if (line.status == ImportStatus::Replaced || line.status == ImportStatus::WouldBeReplaced) {
            any = true;
            ++out.nTextures;
            if (*line.nIndex < textures.size())
                out.nBytes += textures[*line.nIndex].pixelBytes.value_or(0);
        }
    }
    out.strBackupPath = report.strBackupPath;
    const bool refused = std::any_of(out.importLines.begin(), out.importLines.end(),
        [](const ImportLine& line) { return line.status == ImportStatus::Refused; });
    if (refused) {
        out.status = FolderFileStatus::Refused;
    } else if (!report.Succeeded()) {
        out.messages.push_back(report.strError);
        out.status = FolderFileStatus::Failed;  // also when written but its read-back failed
    } else if (report.bWritten) {
        out.status = FolderFileStatus::Done;
    } else {
        out.status = any ? FolderFileStatus::WouldBeWritten : FolderFileStatus::Unchanged;
    }
}

}  // namespace

std::string FolderTarget(const std::string& out, const FoundFile& file)
{
    if (file.strSubfolder.empty())
        return out;
    return out.empty() || out.back() == '/' ? out + file.strSubfolder : out + "/" + file.strSubfolder;
}

FolderReport ExportFolder(
    const std::vector<FoundFile>& files, const FolderExportOptions& options, IFolderProgress* progress)
{
    FolderReport report;
    const unsigned imageJobs = JobsFor(files.size(), options.nJobs);
    RunFiles(
        files, options.nJobs, [&](size_t i, FolderFileOutcome& out) { ExportOne(files[i], options, imageJobs, out); },
        progress, report);
    return report;
}

FolderReport ImportFolder(
    const std::vector<FoundFile>& files, const FolderImportOptions& options, IFolderProgress* progress)
{
    // First every file is checked; nothing is written unless all are accepted.
    FolderImportOptions check = options;
    check.import.bDryRun = true;
    FolderReport checked;
    RunFiles(
        files, options.nJobs, [&](size_t i, FolderFileOutcome& out) { ImportOne(files[i], check, out); }, nullptr,
        checked);
    const bool refused = std::any_of(checked.files.begin(), checked.files.end(), [](const FolderFileOutcome& file) {
        return file.status == FolderFileStatus::Refused || file.status == FolderFileStatus::Failed;
    });
    const auto deliver = [&] {
        for (size_t i = 0; progress && i < files.size(); ++i) {
            progress->FileDone(checked.files[i], i + 1, files.size());
            progress->Advance(i + 1, files.size());
        }
    };
    if (options.import.bDryRun || refused || checked.bCancelled) {
        checked.bNothingWritten = refused;
        deliver();
        return checked;
    }
    std::vector<FoundFile> changed;
    std::vector<size_t> at;
    for (size_t i = 0; i < files.size(); ++i) {
        if (checked.files[i].status == FolderFileStatus::WouldBeWritten) {
            changed.push_back(files[i]);
            at.push_back(i);
        }
    }
    FolderReport written;
    RunFiles(
        changed, options.nJobs, [&](size_t i, FolderFileOutcome& out) { ImportOne(changed[i], options, out); }, nullptr,
        written);
    for (size_t j = 0; j < at.size(); ++j)
        checked.files[at[j]] = std::move(written.files[j]);
    deliver();
    return checked;
}

size_t FolderReport::Count(FolderFileStatus status) const
{
    return static_cast<size_t>(std::count_if(
        files.begin(), files.end(), [status](const FolderFileOutcome& file) { return file.status == status; }));
}

bool FolderReport::Succeeded() const
{
    return !bCancelled && !bNothingWritten && Count(FolderFileStatus::Failed) == 0 &&
        Count(FolderFileStatus::Refused) == 0 && Count(FolderFileStatus::NotReached) == 0;
}

std::string FolderReport::Summary(bool import) const
{
    uint32_t textures = 0;
    uint64_t bytes = 0;
    for (const FolderFileOutcome& file : files) {
        textures += file.nTextures;
        bytes += file.nBytes;
    }
    std::string text = FormatString("%zu file%s: %zu %s", files.size(), files.size() == 1 ? "" : "s",
        Count(FolderFileStatus::Done), import ? "written" : "exported");
    const std::pair<FolderFileStatus, const char*> others[] = {
        {FolderFileStatus::WouldBeWritten, "would be written"},
        {FolderFileStatus::Unchanged, "unchanged"},
        {FolderFileStatus::Skipped, "skipped"},
        {FolderFileStatus::Refused, "refused"},
        {FolderFileStatus::Failed, "failed"},
        {FolderFileStatus::NotReached, "not reached"},
    };
    for (const auto& [status, name] : others) {
        if (const size_t n = Count(status))
            text += FormatString(", %zu %s", n, name);
    }
    text += FormatString("; %u texture%s, %.1f MiB", textures, textures == 1 ? "" : "s", bytes / 1048576.0);
    if (bNothingWritten)
        text += "; nothing was written";
    return text;
}

std::string FormatFolderOutcome(const FolderFileOutcome& outcome, bool import)
{
    const std::string textures = FormatString("%u texture%s", outcome.nTextures, outcome.nTextures == 1 ? "" : "s");
    switch (outcome.status) {
    case FolderFileStatus::Done:
        return outcome.strPath + ": " + textures +
            (import ? " imported, written" : " exported to " + outcome.strTarget);
    case FolderFileStatus::Unchanged: return outcome.strPath + ": unchanged";
    case FolderFileStatus::Skipped: return outcome.strPath + ": skipped";
    case FolderFileStatus::WouldBeWritten:
        return outcome.strPath + ": " + textures + " would be imported (not written)";
    case FolderFileStatus::Refused:
        return outcome.strPath + (import ? ": refused" : ": existing files differ; nothing written for it");
    case FolderFileStatus::Failed: return outcome.strPath + ": failed";
    case FolderFileStatus::NotReached: break;
    }
    return outcome.strPath + ": not reached";
}

std::string FolderReport::Text(bool import) const
{
    std::string text;
    for (const FolderFileOutcome& file : files) {
        if (file.status == FolderFileStatus::Skipped || file.status == FolderFileStatus::Unchanged)
            continue;
        text += FormatFolderOutcome(file, import) + "\n";
        for (const ImportLine& line : file.importLines) {
            if (line.status != ImportStatus::Unchanged)
                text += "  " + FormatImportLine(line) + "\n";
        }
        for (const std::string& path : file.conflicts)
            text += "  differs: " + path + "\n";
        for (const std::string& message : file.messages)
            text += "  " + message + "\n";
        if (!file.strBackupPath.empty())
            text += "  backup: " + file.strBackupPath + "\n";
    }
    return text + Summary(import) + "\n";
}
