#include "doc/ExportImages.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

#include "doc/PathUtil.h"
#include "doc/ThreadMessages.h"
#include "image/DibImage.h"
#include "platform/Exceptions.h"
#include "platform/File.h"
#include "platform/Format.h"
#include "platform/HeldFolder.h"
#include "platform/UiServices.h"

namespace {

constexpr char kEmptyImage[] = "Image %u is empty (%d x %d) and was not exported.";
constexpr char kNoFolder[] = "Cannot create the folder %s: %s.";
constexpr char kNoSync[] = "Cannot write the folder %s to disk: %s.";
constexpr char kNoScratch[] = "Cannot make a folder for temporary files: %s.";
constexpr std::chrono::milliseconds kCancelPoll{50};

// Runs fn(worker, i) on `jobs` threads (worker 0 to jobs - 1) for each i of
// `indices`, claimed in order.
void RunOnWorkers(const std::vector<uint32_t>& indices, size_t jobs, const std::function<void(size_t, uint32_t)>& fn)
{
    std::atomic<size_t> next{0};
    const auto work = [&](size_t worker) {
        for (;;) {
            const size_t at = next.fetch_add(1);
            if (at >= indices.size())
                return;
            fn(worker, indices[at]);
        }
    };
    std::vector<std::thread> workers;
    for (size_t i = 1; i < jobs; ++i)
        workers.emplace_back(work, i);
    work(0);
    for (std::thread& worker : workers)
        worker.join();
}

bool SameBytes(const std::string& a, const std::string& b)
{
    CFile fa;
    CFile fb;
    if (!fa.Open(a, CFile::modeRead) || !fb.Open(b, CFile::modeRead) || fa.GetLength() != fb.GetLength())
        return false;
    std::vector<uint8_t> ba(1 << 16);
    std::vector<uint8_t> bb(1 << 16);
    for (;;) {
        const size_t na = fa.Read(ba.data(), ba.size());
        const size_t nb = fb.Read(bb.data(), bb.size());
        if (na != nb || std::memcmp(ba.data(), bb.data(), na) != 0)
            return false;
        if (na == 0)
            return true;
    }
}

bool IsEmpty(const CDibImage& image)
{
    return image.GetWidth() == 0 || image.GetHeight() == 0 || !image.GetBits();
}

class CExport {
public:
    CExport(const IExportSource& source, const ExportOptions& options, IExportProgress* progress)
        : m_source(source)
        , m_options(options)
        , m_pProgress(progress)
    {
        const uint32_t count = source.Count();
        m_report.images.resize(count);
        m_final.assign(count, false);
        for (uint32_t i = 0; i < count; ++i) {
            m_report.images[i].nIndex = i;
            m_report.images[i].strPath = ExportPath(options, i);
        }
        const size_t jobs = options.nJobs != 0 ? options.nJobs : std::max(1u, std::thread::hardware_concurrency());
        m_nJobs = std::max<size_t>(1, std::min<size_t>(jobs, count));
    }

    ExportReport Run()
    {
        if (m_report.images.empty())
            return std::move(m_report);
        if (!CompareExisting())
            return std::move(m_report);
        WriteAll();
        if (m_bFolderMade) {
            // One sync for every new file written without its own.
            if (const int err = SyncFileSystemOf(m_options.strFolder); err != 0 && m_report.strError.empty())
                m_report.strError = FormatString(kNoSync, m_options.strFolder.c_str(), std::strerror(err));
        }
        return std::move(m_report);
    }

private:
    // Reads image i; null (status set, final) when it is unreadable or empty.
    const CDibImage* Read(uint32_t i, std::unique_ptr<CDibImage>& owned, CThreadMessages& collect)
    {
        const CDibImage* image = nullptr;
        try {
            image = m_source.Image(i, owned);
        } catch (const CException& e) {
            AfxMessageBox(e.GetErrorMessage(), MB_OK);
        } catch (const std::bad_alloc&) {
            AfxMessageBox(CMemoryException().GetErrorMessage(), MB_OK);
        } catch (const std::exception& e) {
            AfxMessageBox(e.what(), MB_OK);
        }
        if (!image || !image->GetBitmapInfo()) {
            Finish(i, ExportStatus::Unreadable, collect);
            return nullptr;
        }
        // What its reader noticed of an image read for the export (a notice, not a failure).
        if (owned && !image->GetNotice().empty())
            AfxMessageBox(image->GetNotice(), MB_OK);
        if (IsEmpty(*image)) {
            AfxMessageBox(
                FormatString(kEmptyImage, i, image->GetWidth(), std::abs(image->GetHeight())), MB_OK);
            Finish(i, ExportStatus::Empty, collect);
            return nullptr;
        }
        return image;
    }

    void Finish(uint32_t i, ExportStatus status, CThreadMessages& collect)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ExportedImage& item = m_report.images[i];
        item.status = status;
        std::vector<std::string> said = collect.Take();
        item.messages.insert(item.messages.end(), said.begin(), said.end());
        m_final[i] = true;
        m_ready.notify_all();
    }

    // Writes the image to path; false after the failure was collected. Nothing
    // may leave a worker: what the writers do not catch is reported here. When
    // several jobs run, each PNG stays on its job's thread.
    bool Write(const CDibImage& image, const std::string& path, ExportType type) const
    {
        try {
            return RunReportingFailure(
                // New files are synced once, with their folder, at the end.
                [&] { WriteExportFile(image, path, type, {.nPngThreads = m_nJobs > 1 ? 1 : m_options.nPngThreads, .bDeferSyncIfNew = true}); });
        } catch (const std::exception& e) {
            AfxMessageBox(e.what(), MB_OK);
            return false;
        }
    }

    // Images whose file exists are made in a scratch folder and compared: the
    // same bytes are final (Unchanged), others are conflicts. False when the
    // export ends here (refused, or no scratch folder).
    bool CompareExisting()
    {
        std::vector<uint32_t> existing;
        for (const ExportedImage& item : m_report.images) {
            std::error_code error;
            if (std::filesystem::exists(std::filesystem::symlink_status(item.strPath, error)))
                existing.push_back(item.nIndex);
        }
        if (existing.empty())
            return true;
        std::vector<std::string> scratchNames;
        for (size_t j = 0; j < m_nJobs; ++j)
            scratchNames.push_back(FormatString("image-%zu", j));
        CHeldFolder scratch("tavrel-export-", scratchNames);
        if (scratch.Path().empty()) {
            m_report.strError = FormatString(kNoScratch, std::strerror(scratch.Error()));
            return false;
        }
        std::vector<bool> conflict(m_report.images.size(), false);
        RunOnWorkers(existing, m_nJobs, [&](size_t worker, uint32_t i) {
            CThreadMessages collect;
            std::unique_ptr<CDibImage> owned;
            const CDibImage* image = Read(i, owned, collect);
            if (!image)
                return;
            const std::string made = scratch.Path() + "/" + scratchNames[worker];
            if (Write(*image, made, m_options.type) && SameBytes(made, m_report.images[i].strPath)) {
                Finish(i, ExportStatus::Unchanged, collect);
            } else {
                // A file that cannot be made here fails again when written, and says why then.
                collect.Take();
                std::lock_guard<std::mutex> lock(m_mutex);
                conflict[i] = true;
            }
            DeleteFile(made);
        });
        for (uint32_t i : existing) {
            if (conflict[i])
                m_report.conflicts.push_back(m_report.images[i].strPath);
        }
        if (m_report.conflicts.empty() || m_options.bOverwrite)
            return true;
        PollCancel(-1);  // a cancelled export asks nothing
        if (m_report.bCancelled || (m_pProgress && m_pProgress->ConfirmOverwrite(m_report.conflicts)))
            return true;
        m_report.bRefused = true;
        return false;
    }

    // Writes every image not yet final; the outcomes are handed on in index
    // order. A failed write stops the images after it (they would fail the
    // same way); those before it are still finished and reported.
    void WriteAll()
    {
        std::vector<uint32_t> todo;
        for (uint32_t i = 0; i < m_final.size(); ++i) {
            if (!m_final[i])
                todo.push_back(i);
        }
        PollCancel(-1);
        std::thread runner([&] {
            RunOnWorkers(todo, m_nJobs, [&](size_t, uint32_t i) {
                CThreadMessages collect;
                if (Stopped(i)) {
                    Finish(i, ExportStatus::NotReached, collect);
                    return;
                }
                std::unique_ptr<CDibImage> owned;
                const CDibImage* image = Read(i, owned, collect);
                if (!image)
                    return;
                if (Stopped(i)) {  // cancelled while it was read
                    Finish(i, ExportStatus::NotReached, collect);
                    return;
                }
                if (!MakeFolder()) {
                    StopAfter(i);
                    Finish(i, ExportStatus::Failed, collect);
                    return;
                }
                if (Write(*image, m_report.images[i].strPath, m_options.type)) {
                    Finish(i, ExportStatus::Written, collect);
                } else {
                    StopAfter(i);
                    Finish(i, ExportStatus::Failed, collect);
                }
            });
        });
        const uint32_t count = static_cast<uint32_t>(m_report.images.size());
        for (uint32_t i = 0; i < count; ++i) {
            // A large image takes a while: Cancel is looked at meanwhile, and stops those not begun.
            std::unique_lock<std::mutex> lock(m_mutex);
            while (!m_ready.wait_for(lock, kCancelPoll, [&] { return bool(m_final[i]); })) {
                lock.unlock();
                PollCancel(int64_t{i} - 1);
                lock.lock();
            }
            lock.unlock();
            if (m_pProgress) {
                m_pProgress->ImageDone(m_report.images[i], count);
                m_pProgress->Advance(uint64_t{i} + 1, count);
                PollCancel(i);
            }
        }
        runner.join();
    }

    // Images after `i` (-1: every one) are not to be written.
    void StopAfter(int64_t i)
    {
        int64_t current = m_nStopAfter.load();
        while (i < current && !m_nStopAfter.compare_exchange_weak(current, i)) { }
    }
    bool Stopped(uint32_t i) const { return int64_t{i} > m_nStopAfter.load(); }

    // On the calling thread: when the user has cancelled (and nothing else stopped the export), stops the
    // images after `after`.
    void PollCancel(int64_t after)
    {
        if (m_pProgress && m_nStopAfter.load() == kNoStop && m_pProgress->Cancelled()) {
            m_report.bCancelled = true;
            StopAfter(after);
        }
    }

    // The folder is made when the first image is to be written, so that a
    // file with nothing readable leaves no folder behind.
    bool MakeFolder()
    {
        std::lock_guard<std::mutex> lock(m_folderMutex);
        if (!m_bFolderTried) {
            m_bFolderTried = true;
            std::error_code error;
            std::filesystem::create_directories(m_options.strFolder, error);
            if (error)
                m_strFolderError = FormatString(kNoFolder, m_options.strFolder.c_str(), error.message().c_str());
            else
                m_bFolderMade = true;
        }
        if (!m_bFolderMade)
            AfxMessageBox(m_strFolderError, MB_OK);
        return m_bFolderMade;
    }

    const IExportSource& m_source;
    const ExportOptions& m_options;
    IExportProgress* m_pProgress;
    ExportReport m_report;
    std::vector<bool> m_final;  // guarded by m_mutex once workers run
    size_t m_nJobs = 1;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    static constexpr int64_t kNoStop = INT64_MAX;
    std::atomic<int64_t> m_nStopAfter{kNoStop};  // images after this one are not written
    std::mutex m_folderMutex;
    bool m_bFolderTried = false;
    bool m_bFolderMade = false;
    std::string m_strFolderError;
};

}  // namespace

bool ExportReport::Complete() const
{
    if (bRefused || bCancelled || !strError.empty())
        return false;
    return std::all_of(images.begin(), images.end(), [](const ExportedImage& item) {
        return item.status == ExportStatus::Written || item.status == ExportStatus::Unchanged ||
            item.status == ExportStatus::Empty;
    });
}

std::string ExportPath(const ExportOptions& options, uint32_t index)
{
    const std::string& dir = options.strFolder;
    const std::string name = NumberedImageName(options.strNamePath, index, ExportTypeExtension(options.type));
    return dir.empty() || dir.back() == '/' ? dir + name : dir + "/" + name;
}

std::string OverwriteQuestion(size_t count, const std::string& folder)
{
    return FormatString("%zu file%s in %s would be overwritten: %s from the image%s being exported.", count,
        count == 1 ? "" : "s", folder.c_str(), count == 1 ? "it differs" : "they differ", count == 1 ? "" : "s");
}

ExportReport ExportImages(const IExportSource& source, const ExportOptions& options, IExportProgress* progress)
{
    return CExport(source, options, progress).Run();
}
