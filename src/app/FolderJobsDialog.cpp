#include "app/FolderJobsDialog.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "app/ExportAll.h"
#include "app/WorkerDialog.h"
#include "doc/DocTexts.h"
#include "doc/FolderJobs.h"
#include "doc/FolderWalk.h"
#include "platform/Format.h"
#include "platform/UiServices.h"

namespace {

constexpr char kExportFolderTitle[] = "Export Folder";
constexpr char kExportToTitle[] = "Export Folder: Write the Textures To";
constexpr char kImportFolderTitle[] = "Import Folder";
constexpr char kImportFromTitle[] = "Import Folder: Read the Textures From";

// The files done, counted above the dialog's bar, and its Cancel.
class CFolderProgress final : public IFolderProgress {
public:
    explicit CFolderProgress(CDialogProgress& dialog)
        : m_dialog(dialog)
    {
    }
    void FileDone(const FolderFileOutcome& outcome, size_t done, size_t total) override
    {
        m_nTextures += outcome.nTextures;
        m_dialog.SetLabel(QStringLiteral("%1 of %2 files, %3 textures").arg(done).arg(total).arg(m_nTextures));
    }
    void Advance(uint64_t done, uint64_t total) override { m_dialog.Advance(done, total); }
    bool Cancelled() override { return m_dialog.Cancelled(); }

private:
    CDialogProgress& m_dialog;
    uint32_t m_nTextures = 0;
};

struct JobResult {
    FolderWalk walk;
    FolderReport report;
    std::vector<std::string> messages;  // what was said on the jobs' own thread
};

using Job = std::function<FolderReport(const std::vector<FoundFile>&, IFolderProgress*)>;

// Runs the job off the window's thread over the files (searched for below
// root when files is null).
JobResult RunWithProgress(
    QWidget* parent, const std::string& root, const std::vector<FoundFile>* files, const QString& label, const Job& job)
{
    JobResult result;
    result.messages = RunOffWindowThread(parent, label, [&](CDialogProgress& dialog) {
        CFolderProgress progress(dialog);
        if (files)
            result.walk.files = *files;
        else
            result.walk = FindReadableFiles({root});
        if (!dialog.Cancelled())
            result.report = job(result.walk.files, &progress);
        else
            result.report.bCancelled = true;
    });
    return result;
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

void RunExportFolder(QWidget* parent, const std::string& initialDir)
{
    const auto folders = ChooseFolders(kExportFolderTitle, kExportToTitle, initialDir);
    if (!folders)
        return;
    FolderExportOptions options;
    options.strOut = folders->second;
    const QString label = QStringLiteral("Exporting the textures...");
    const Job job = [&](const std::vector<FoundFile>& files, IFolderProgress* progress) {
        return ExportFolder(files, options, progress);
    };
    JobResult result = RunWithProgress(parent, folders->first, nullptr, label, job);

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
        JobResult again = RunWithProgress(parent, folders->first, &refused, label, job);
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
    const QString label = QString::fromLatin1(kImportProgress);
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
