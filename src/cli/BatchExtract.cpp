#include "cli/BatchExtract.h"

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "cli/CliUiServices.h"
#include "cli/ImageSet.h"
#include "cli/ImageWriter.h"
#include "doc/PathUtil.h"
#include "image/PngEncoder.h"
#include "platform/Exceptions.h"
#include "platform/File.h"
#include "platform/Format.h"
#include "platform/PathParts.h"

namespace {

using Message = std::pair<std::string, unsigned>;

// The platform services of a worker thread: keeps the messages of the image at
// hand, to be shown in order by the main thread; answers as the tool's own do.
class CCollectingUi final : public IUiServices {
public:
    int MessageBox(const std::string& text, unsigned style) override
    {
        m_messages.emplace_back(text, style);
        return (style & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
    }

    std::vector<Message> Take() { return std::exchange(m_messages, {}); }

private:
    std::vector<Message> m_messages;
};

enum class State { Pending, Written, Unreadable, Failed, Skipped };

struct Outcome {
    State state = State::Pending;
    std::vector<Message> messages;
};

std::string JoinPath(const std::string& dir, const std::string& name)
{
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

class CBatch {
public:
    CBatch(const CliOptions& options, const CImageSet& set)
        : m_options(options)
        , m_set(set)
        , m_outcomes(set.Entries().size())
        , m_strStem(StemPart(options.strFile))
    {
    }

    void Work()
    {
        CCollectingUi collect;
        IUiServices* previous = SetThreadUiServices(&collect);
        const auto& entries = m_set.Entries();
        for (;;) {
            const size_t i = m_next.fetch_add(1);
            if (i >= entries.size())
                break;
            // Work claimed after a failure is not done: every such image comes after the failed one.
            const State state = m_bStop.load() ? State::Skipped : GuardedWriteOne(entries[i]);
            std::lock_guard<std::mutex> lock(m_mutex);
            m_outcomes[i] = {state, collect.Take()};
            if (state == State::Failed)
                m_bStop = true;
            m_ready.notify_all();
        }
        SetThreadUiServices(previous);
    }

    // Waits for the outcome of image i.
    Outcome Next(size_t i)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_ready.wait(lock, [&] { return m_outcomes[i].state != State::Pending; });
        return std::move(m_outcomes[i]);
    }

    bool FolderMade() const { return m_bFolderMade; }

private:
    // Nothing may leave a worker thread: what the writers do not catch ends the work with its report.
    State GuardedWriteOne(const ImageEntry& entry)
    {
        try {
            return WriteOne(entry);
        } catch (const CException& e) {
            e.ReportError();
        } catch (const std::bad_alloc&) {
            CMemoryException().ReportError();
        } catch (const std::exception& e) {
            AfxMessageBox(std::string("tavrel-cli: ") + e.what(), MB_OK);
        }
        return State::Failed;
    }

    State WriteOne(const ImageEntry& entry)
    {
        std::unique_ptr<CDibImage> owned;
        CDibImage* image = entry.pImage;
        if (m_set.TexturesOnDemand()) {
            owned = m_set.ReadTexture(entry);
            image = owned.get();
        }
        if (!image)
            return State::Unreadable;  // its reader has said why; the others are still wanted
        if (!MakeFolder())
            return State::Failed;
        const std::string path = JoinPath(
            m_options.strAllDir, NumberedImageName(m_options.strFile, entry.nIndex, FormatExtension(m_options.format)));
        return WriteImage(*image, path, m_options.format) ? State::Written : State::Failed;
    }

    // The folder is made when the first image is to be written, so that a file
    // with nothing readable leaves no folder behind.
    bool MakeFolder()
    {
        std::lock_guard<std::mutex> lock(m_folderMutex);
        if (!m_bFolderTried) {
            m_bFolderTried = true;
            std::error_code error;
            std::filesystem::create_directories(m_options.strAllDir, error);
            if (error)
                m_strFolderError = FormatString(
                    "Cannot create the folder %s: %s.", m_options.strAllDir.c_str(), error.message().c_str());
            else
                m_bFolderMade = true;
        }
        if (!m_bFolderMade)
            AfxMessageBox(m_strFolderError, MB_OK);
        return m_bFolderMade;
    }

    const CliOptions& m_options;
    const CImageSet& m_set;
    std::vector<Outcome> m_outcomes;
    const std::string m_strStem;
    std::atomic<size_t> m_next{0};
    std::atomic<bool> m_bStop{false};
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::mutex m_folderMutex;
    bool m_bFolderTried = false;
    bool m_bFolderMade = false;
    std::string m_strFolderError;
};

// Defers the per-file sync of new files for its lifetime.
class CDeferredSync {
public:
    CDeferredSync() { CSafeFileWriter::SetDeferNewFileSync(true); }
    ~CDeferredSync() { CSafeFileWriter::SetDeferNewFileSync(false); }
    CDeferredSync(const CDeferredSync&) = delete;
    CDeferredSync& operator=(const CDeferredSync&) = delete;
};

}  // namespace

int ExtractAllImages(const CliOptions& options, const CImageSet& set, CCliUiServices& ui)
{
    const size_t count = set.Entries().size();
    if (count == 0)
        return kExitFailure;
    size_t jobs = options.nJobs != 0 ? options.nJobs : std::max(1u, std::thread::hardware_concurrency());
    jobs = std::min(jobs, count);
    // Several jobs keep the cores busy already: each PNG is compressed on its job's thread alone.
    if (jobs > 1)
        SetPngEncoderThreads(1);

    CDeferredSync deferred;
    CBatch batch(options, set);
    std::vector<std::thread> workers;
    workers.reserve(jobs);
    for (size_t i = 0; i < jobs; ++i)
        workers.emplace_back([&batch] { batch.Work(); });

    ui.SetProgressLabel("Writing " + options.strAllDir);
    bool allWritten = true;
    bool failed = false;
    for (size_t i = 0; i < count && !failed; ++i) {
        ui.ShowProgress(static_cast<int>(i * 100 / count));
        const Outcome outcome = batch.Next(i);
        for (const Message& message : outcome.messages)
            ui.MessageBox(message.first, message.second);
        if (outcome.state == State::Unreadable)
            allWritten = false;
        // A failed write ends the work: the next ones would fail the same way.
        failed = outcome.state == State::Failed || outcome.state == State::Skipped;
    }
    for (std::thread& worker : workers)
        worker.join();
    ui.ShowProgress(-1);

    // One sync for every new file written without its own.
    if (batch.FolderMade()) {
        if (const int err = SyncFileSystemOf(options.strAllDir); err != 0) {
            ui.Report(
                FormatString("Cannot write the folder %s to disk: %s.", options.strAllDir.c_str(), std::strerror(err)));
            return kExitFailure;
        }
    }
    return !failed && allWritten ? kExitSuccess : kExitFailure;
}
