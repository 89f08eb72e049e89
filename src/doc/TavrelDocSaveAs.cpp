// Save As: the shown image written to a new file as a BMP, PNG or Targa file,
// the type chosen in the export dialog.
#include <new>
#include <optional>

#include "doc/ExportTypes.h"
#include "doc/PathUtil.h"
#include "doc/TavrelDoc.h"
#include "platform/Exceptions.h"
#include "platform/UiServices.h"

namespace {

bool HoldsPixels(const CDibImage* image)
{
    return image && image->GetBitmapInfo() && image->GetBits();
}

// The writer is chosen by the type alone, whatever extension the name has.
// Throws on failure; a CUserException's message has been shown already.
void WriteExportFile(CDibImage& image, const std::string& path, int nTypeIndex)
{
    switch (nTypeIndex) {
    case kExportBmp: image.WriteBmp(path); break;
    case kExportPng:
        if (!image.WritePng(path))
            AfxThrowUserException();   // reported by the writer
        break;
    case kExportTga: image.WriteTga(path); break;
    default: AfxThrowUserException();  // no such type: nothing is written
    }
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

    m_strFilter = kExportTypeNames;
    const std::vector<ExportTypeDef> types = ParseExportTypes(m_strFilter);
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

    Ui().RepaintMainWindow();
    try {
        CWaitCursor wait;
        WriteExportFile(*image, chosen->strPath, chosen->nFilterIndex);
    } catch (const CUserException&) {
        return;
    } catch (const CException& e) {
        e.ReportError();
        return;
    } catch (const std::bad_alloc&) {
        CMemoryException().ReportError();
        return;
    }
    // Only a file that was written counts: its name and folder are remembered.
    m_strFileName = FileNamePart(chosen->strPath);
    m_strSaveAsDir = DirectoryPart(chosen->strPath);
    UpdateAllViews();
}
