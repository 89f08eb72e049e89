// Save As: the shown image written to a new file as a BMP, PNG or Targa file,
// the type chosen in the export dialog.
#include <optional>

#include "doc/ExportTypes.h"
#include "doc/PathUtil.h"
#include "doc/TavrelDoc.h"
#include "platform/Exceptions.h"
#include "platform/UiServices.h"

namespace {

// An empty texture (a side of 0) has nothing to save.
bool HoldsPixels(const CDibImage* image)
{
    return image && image->GetBitmapInfo() && image->GetBits() && image->GetWidth() > 0 && image->GetHeight() != 0;
}

}  // namespace

void CTavrelDoc::OnUpdateFileSaveAs(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(!IsBusy() && HoldsPixels(GetActiveImage()));
}

std::string CTavrelDoc::GetSaveAsDir() const
{
    return m_strSaveAsDir.empty() ? DirectoryPart(m_strFilePath) : m_strSaveAsDir;
}

void CTavrelDoc::OnFileSaveAs()
{
    if (IsBusy())
        return;
    CDibImage* image = GetActiveImage();
    if (!HoldsPixels(image))
        return;
    // Busy through the dialog and the write: no load may replace the record
    // meanwhile, and no second Save As may start.
    CBusyScope busy(*this);

    const std::vector<ExportTypeDef> types = ParseExportTypes(kExportTypeNames);
    FileDialogRequest request;
    request.bOpen = false;
    request.strTitle = kExportDialogTitle;
    request.strFilter = ExportFilter(types);
    request.strInitialDir = GetSaveAsDir();
    request.strInitialName = InitialExportName(types, {});
    request.nFilterIndex = PreselectedExportType(types, {});
    request.nFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    request.bRetypeExtension = true;
    const std::optional<FileDialogResult> chosen = Ui().FileDialog(request);
    if (!chosen || chosen->strPath.empty())
        return;

    // A typed extension of another type chooses that type; a name without one gets the type's.
    const TypedExportName target = ResolveTypedName(types, chosen->strPath, chosen->nFilterIndex);

    Ui().RepaintMainWindow();
    // The wait cursor ends before a failure is shown.
    const bool written = RunReportingFailure([&] {
        CWaitCursor wait;
        RunWrite(FileNamePart(target.strPath), image->GetBlockSize(), [&] {
            WriteExportFile(*image, target.strPath, static_cast<ExportType>(target.nTypeIndex), {});
        });
    });
    if (!written)
        return;
    // Only a file that was written counts: its name and folder are remembered.
    m_strFileName = FileNamePart(target.strPath);
    m_strSaveAsDir = DirectoryPart(target.strPath);
    UpdateAllViews();
}
