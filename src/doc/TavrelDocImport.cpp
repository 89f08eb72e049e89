// Import Textures: a folder of edited textures back into the open model file.
#include <algorithm>

#include "doc/DocTexts.h"
#include "doc/EditUndo.h"
#include "doc/PathUtil.h"
#include "doc/Progress.h"
#include "doc/TavrelDoc.h"
#include "doc/TextureImport.h"
#include "platform/CoreError.h"
#include "platform/File.h"
#include "platform/Format.h"
#include "platform/UiServices.h"

namespace {

std::string ReportText(const ImportReport& report)
{
    std::string text;
    for (const ImportLine& line : report.lines)
        text += FormatImportLine(line) + "\n";
    if (report.lines.empty())
        text = std::string(kImportEmptyFolder) + "\n";
    if (!report.Succeeded())
        text += "\n" + report.strError + "\n";
    if (!report.strBackupPath.empty())
        text += "\n" + FormatString(kBackupMade, report.strBackupPath.c_str()) + "\n";
    return text;
}

// The import where the runner runs it, with its progress and Cancel.
ImportReport RunImport(
    const CTavrelDoc::WorkRunner& runner, const std::string& model, const std::string& folder, ImportOptions options)
{
    ImportReport report;
    const auto work = [&](IProgress& progress) {
        options.pProgress = &progress;
        report = ImportTextures(model, folder, options);
    };
    if (runner) {
        runner(kImportProgress, true, work);
    } else {
        CWaitCursor wait;
        IProgress here;
        work(here);
    }
    return report;
}

}  // namespace

void CTavrelDoc::OnUpdateFileImportTextures(CCmdUI* pCmdUI)
{
    const ModelFile* model = Model();
    pCmdUI->Enable(!IsBusy() && model && model->textures.Count() > 0);
}

void CTavrelDoc::OnFileImportTextures()
{
    const ModelFile* model = Model();
    if (IsBusy() || !model || model->textures.Count() == 0)
        return;
    const std::optional<std::string> folder = Ui().ChooseFolder(kImportTitle, DirectoryPart(m_strFilePath));
    if (!folder || folder->empty())
        return;
    CBusyScope busy(*this);
    Ui().RepaintMainWindow();

    // Checked first, so that the questions come before anything is written.
    ImportOptions options;
    options.bDryRun = true;
    ImportReport report = RunImport(m_workRunner, m_strFilePath, *folder, options);
    if (report.bCancelled)
        return;
    if (ClassifyRefusals(report.lines) == ImportRefusals::OnlyDepth &&
        AfxMessageBox(kDepthQuestion, MB_YESNO | MB_ICONQUESTION) == IDYES) {
        options.bAcceptDepthChange = true;
        report = RunImport(m_workRunner, m_strFilePath, *folder, options);
        if (report.bCancelled)
            return;
    }
    const bool anyToWrite = std::any_of(report.lines.begin(), report.lines.end(),
        [](const ImportLine& line) { return line.status == ImportStatus::WouldBeReplaced; });
    if (!report.Succeeded() || !anyToWrite) {
        Ui().ShowReport(kImportTitle, ReportText(report));
        return;
    }

    const std::string question = FormatString(kBackupQuestion, StemPart(m_strFilePath).c_str());
    options.bBackup = AfxMessageBox(question, MB_YESNO | MB_ICONQUESTION) == IDYES;
    options.bDryRun = false;
    {
        std::vector<uint32_t> changed;
        for (const ImportLine& line : report.lines)
            if (line.status == ImportStatus::WouldBeReplaced && line.nIndex)
                changed.push_back(*line.nIndex);
        std::unique_ptr<CEditUndoCapture> undo;
        try {
            undo = BeginUndo(changed);
        } catch (const CCoreError& e) {
            e.ReportError();
            return;
        }
        if (undo)
            options.beforeWrite = undo->BeforeWrite();
        report = RunImport(m_workRunner, m_strFilePath, *folder, options);
        if (report.bCancelled)
            return;  // nothing was written, and its undo record goes
        // Undo keeps only the textures it was told of; a folder that changed
        // since the check may have brought others, and then there is no undo.
        std::vector<uint32_t> replaced;
        for (const ImportLine& line : report.lines)
            if (line.status == ImportStatus::Replaced && line.nIndex)
                replaced.push_back(*line.nIndex);
        if (report.bWritten && replaced == changed)
            EndUndo(std::move(undo), kImportTitle);
        if (report.bWritten) {
            CWaitCursor wait;
            ReloadModelFile();
        }
    }
    Ui().ShowReport(kImportTitle, ReportText(report));
}

void CTavrelDoc::ReloadModelFile()
{
    ModelFile* model = Model();
    if (!model)
        return;
    const uint32_t shown = model->nCurrent;
    CFile file;
    if (!file.Open(m_strFilePath, CFile::modeRead)) {
        ShowMessage(FormatString(kReadError, FileNamePart(m_strFilePath).c_str()));
        return;
    }
    std::optional<TextureScan> scan = ScanTextures(file);
    if (!scan) {
        model->textures.Clear();  // no offsets that the file may no longer hold
        return;
    }
    file.Close();
    const size_t count = scan->offsets.size();
    LoadRawImages(m_strFilePath, std::move(*scan), shown < count ? shown : 0);
    UpdateAllViews();
}
