// Import Textures: a folder of edited textures back into the open model file.
#include <algorithm>

#include "doc/DocTexts.h"
#include "doc/EditUndo.h"
#include "doc/PathUtil.h"
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

}  // namespace

void CTavrelDoc::OnUpdateFileImportTextures(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(!IsBusy() && m_nFileKind == FileKind::Nif && m_nRawImageCount > 0);
}

void CTavrelDoc::OnFileImportTextures()
{
    if (IsBusy() || m_nFileKind != FileKind::Nif || m_nRawImageCount == 0)
        return;
    const std::optional<std::string> folder = Ui().ChooseFolder(kImportTitle, DirectoryPart(m_strFilePath));
    if (!folder || folder->empty())
        return;
    CBusyScope busy(*this);
    Ui().RepaintMainWindow();

    // Checked first, so that the questions come before anything is written.
    ImportOptions options;
    options.bDryRun = true;
    ImportReport report;
    {
        CWaitCursor wait;
        report = ImportTextures(m_strFilePath, *folder, options);
    }
    if (ClassifyRefusals(report.lines) == ImportRefusals::OnlyDepth &&
        AfxMessageBox(kDepthQuestion, MB_YESNO | MB_ICONQUESTION) == IDYES) {
        options.bAcceptDepthChange = true;
        CWaitCursor wait;
        report = ImportTextures(m_strFilePath, *folder, options);
    }
    const bool anyToWrite = std::any_of(report.lines.begin(), report.lines.end(),
        [](const ImportLine& line) { return line.status == ImportStatus::WouldBeReplaced; });
    if (!report.Succeeded() || !anyToWrite) {
        Ui().ShowReport(kImportTitle, ReportText(report));
        return;
    }

    m_strMessage = FormatString(kBackupQuestion, StemPart(m_strFilePath).c_str());
    options.bBackup = AfxMessageBox(m_strMessage, MB_YESNO | MB_ICONQUESTION) == IDYES;
    options.bDryRun = false;
    {
        CWaitCursor wait;
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
        report = ImportTextures(m_strFilePath, *folder, options);
        // Undo keeps only the textures it was told of; a folder that changed
        // since the check may have brought others, and then there is no undo.
        std::vector<uint32_t> replaced;
        for (const ImportLine& line : report.lines)
            if (line.status == ImportStatus::Replaced && line.nIndex)
                replaced.push_back(*line.nIndex);
        if (report.bWritten && replaced == changed)
            EndUndo(std::move(undo), kImportTitle);
        if (report.bWritten)
            ReloadModelFile();
    }
    Ui().ShowReport(kImportTitle, ReportText(report));
}

void CTavrelDoc::ReloadModelFile()
{
    const uint32_t shown = m_nCurrentImage;
    CFile file;
    if (!file.Open(m_strFilePath, CFile::modeRead)) {
        ShowMessage(FormatString(kReadError, FileNamePart(m_strFilePath).c_str()));
        return;
    }
    if (!ScanInto(file))
        return;
    file.Close();
    LoadRawImages(m_strFilePath, shown < m_nRawImageCount ? shown : 0);
    UpdateAllViews();
}
