#include "app/FolderJobsDialog.h"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QPointer>
#include <QProgressDialog>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "app/ExportAll.h"
#include "doc/DocTexts.h"
#include "doc/FolderJobs.h"
#include "doc/FolderWalk.h"
#include "platform/Format.h"

namespace {

constexpr char kExportFolderTitle[] = "Export Folder";
constexpr char kExportToTitle[] = "Export Folder: Write the Textures To";
constexpr char kImportFolderTitle[] = "Import Folder";
constexpr char kImportFromTitle[] = "Import Folder: Read the Textures From";

// Progress from the jobs' thread to the dialog on the window's, and its Cancel back.
class CDialogProgress final : public IFolderProgress {
public:
    CDialogProgress(QProgressDialog* dialog, std::shared_ptr<std::atomic<bool>> cancelled)
        : m_dialog(dialog)
        , m_cancelled(std::move(cancelled))
    {
    }
    void FileDone(const FolderFileOutcome& outcome, size_t done, size_t total) override
    {
        m_nTextures += outcome.nTextures;
        const QString label = QStringLiteral("%1 of %2 files, %3 textures").arg(done).arg(total).arg(m_nTextures);
        QMetaObject::invokeMethod(
            m_dialog,
            [dialog = m_dialog, done, total, label] {
                if (!dialog || dialog->wasCanceled())
                    return;
                dialog->setMaximum(int(std::min<size_t>(total, INT32_MAX)));
                dialog->setValue(int(std::min<size_t>(done, INT32_MAX)));
                dialog->setLabelText(label);
            },
            Qt::QueuedConnection);
    }
    bool Cancelled() override { return m_cancelled->load(); }

private:
    QPointer<QProgressDialog> m_dialog;
    std::shared_ptr<std::atomic<bool>> m_cancelled;
    uint32_t m_nTextures = 0;
};

struct JobResult {
    FolderWalk walk;
    FolderReport report;
    std::vector<std::string> messages;  // what was said on the jobs' own thread
};

using Job = std::function<FolderReport(const std::vector<FoundFile>&, IFolderProgress*)>;

// Runs the job on another thread over the files (searched for below root when
// files is null), the window kept responsive under a modal progress dialog.
JobResult RunWithProgress(
    QWidget* parent, const std::string& root, const std::vector<FoundFile>* files, const QString& label, const Job& job)
{
    QProgressDialog dialog(label, QStringLiteral("Cancel"), 0, 0, parent);
    dialog.setObjectName("FolderProgress");
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(0);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [cancelled] { cancelled->store(true); });
    CDialogProgress progress(&dialog, cancelled);
    QFutureWatcher<JobResult> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcher<JobResult>::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(QtConcurrent::run([&] {
        CQuietThreadUi quiet;
        JobResult result;
        if (files)
            result.walk.files = *files;
        else
            result.walk = FindReadableFiles({root});
        if (!cancelled->load())
            result.report = job(result.walk.files, &progress);
        else
            result.report.bCancelled = true;
        result.messages = std::move(quiet.m_messages);
        return result;
    }));
    dialog.show();
    loop.exec();
    return watcher.result();
}

// The report as the command-line tool gives it, after the paths that could not be searched.
std::string ReportText(const JobResult& result, bool import)
{
    std::string text;
    for (const std::string& error : result.walk.errors)
        text += error + "\n";
    for (const std::string& message : result.messages)
        text += message + "\n";
    if (result.report.bCancelled)
        text += "Cancelled.\n";
    return text + result.report.Text(import);
}

std::optional<std::pair<std::string, std::string>> ChooseFolders(
    const char* title, const char* secondTitle, const std::string& initialDir)
{
    const std::optional<std::string> root = Ui().ChooseFolder(title, initialDir);
    if (!root || root->empty())
        return std::nullopt;
    const std::optional<std::string> other = Ui().ChooseFolder(secondTitle, *root);
    if (!other || other->empty())
        return std::nullopt;
    return std::pair(*root, *other);
}

// True when every refusal of a checked import is only a change of bit depth.
bool OnlyDepthRefusals(const FolderReport& report)
{
    bool any = false;
    for (const FolderFileOutcome& file : report.files) {
        if (file.status == FolderFileStatus::Failed)
            return false;
        const ImportRefusals refusals = ClassifyRefusals(file.importLines);
        if (refusals == ImportRefusals::Other)
            return false;
        any = any || refusals == ImportRefusals::OnlyDepth;
    }
    return any;
}

}  // namespace

CQuietThreadUi::CQuietThreadUi()
    : m_previous(SetThreadUiServices(this))
{
}

CQuietThreadUi::~CQuietThreadUi()
{
    SetThreadUiServices(m_previous);
}

int CQuietThreadUi::MessageBox(const std::string& text, unsigned style)
{
    m_messages.push_back(text);
    return (style & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
}

void RunExportFolder(QWidget* parent, const std::string& initialDir)
{
    const auto folders = ChooseFolders(kExportFolderTitle, kExportToTitle, initialDir);
    if (!folders)
        return;
    FolderExportOptions options;
    options.strOut = folders->second;
    const QString label = QStringLiteral("Exporting the textures...");
    JobResult result = RunWithProgress(
        parent, folders->first, nullptr, label, [&](const std::vector<FoundFile>& files, IFolderProgress* progress) {
            return ExportFolder(files, options, progress);
        });

    // Files whose textures would replace different ones were left alone: one
    // question for all of them, then those files again.
    std::vector<FoundFile> refused;
    std::vector<size_t> at;
    size_t conflicts = 0;
    for (size_t i = 0; i < result.report.files.size(); ++i) {
        const FolderFileOutcome& file = result.report.files[i];
        if (file.status == FolderFileStatus::Refused) {
            refused.push_back(result.walk.files[i]);
            at.push_back(i);
            conflicts += file.conflicts.size();
        }
    }
    if (!refused.empty() && !result.report.bCancelled && ConfirmOverwrite(conflicts, options.strOut)) {
        options.bOverwrite = true;
        JobResult again = RunWithProgress(parent, folders->first, &refused, label,
            [&](const std::vector<FoundFile>& files, IFolderProgress* progress) {
                return ExportFolder(files, options, progress);
            });
        for (size_t j = 0; j < at.size() && j < again.report.files.size(); ++j)
            result.report.files[at[j]] = std::move(again.report.files[j]);
        result.report.bCancelled = again.report.bCancelled;
        result.messages.insert(result.messages.end(), again.messages.begin(), again.messages.end());
    }
    Ui().ShowReport(kExportFolderTitle, ReportText(result, false));
}

void RunImportFolder(QWidget* parent, const std::string& initialDir)
{
    const auto folders = ChooseFolders(kImportFolderTitle, kImportFromTitle, initialDir);
    if (!folders)
        return;
    FolderImportOptions options;
    options.strIn = folders->second;
    const QString label = QStringLiteral("Importing the textures...");
    const Job job = [&](const std::vector<FoundFile>& files, IFolderProgress* progress) {
        return ImportFolder(files, options, progress);
    };
    JobResult result = RunWithProgress(parent, folders->first, nullptr, label, job);
    // Refused only for changes of depth: the one question, then the same files again.
    if (result.report.bNothingWritten && !result.report.bCancelled && OnlyDepthRefusals(result.report) &&
        AfxMessageBox(kDepthQuestion, MB_YESNO | MB_ICONQUESTION) == IDYES) {
        options.import.bAcceptDepthChange = true;
        const std::vector<FoundFile> files = result.walk.files;
        std::vector<std::string> errors = std::move(result.walk.errors);
        result = RunWithProgress(parent, folders->first, &files, label, job);
        result.walk.errors = std::move(errors);
    }
    Ui().ShowReport(kImportFolderTitle, ReportText(result, true));
}
