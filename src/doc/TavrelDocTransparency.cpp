// Make Transparent: the window's questions around the alpha operation.
#include "doc/DocTexts.h"
#include "doc/EditOperations.h"
#include "doc/EditUndo.h"
#include "doc/PathUtil.h"
#include "doc/TavrelDoc.h"
#include "platform/CoreError.h"
#include "platform/Format.h"
#include "platform/UiServices.h"

void CTavrelDoc::OnUpdateEditMakeTransparent(CCmdUI* pCmdUI)
{
    // Only a texture with an alpha byte can take a level.
    const CDibImage* current = CurrentRawImage();
    pCmdUI->Enable(!IsBusy() && current && current->GetBitCount() == 32);
}

void CTavrelDoc::OnEditMakeTransparent()
{
    MakeTransparent();
}

bool CTavrelDoc::MakeTransparent()
{
    if (IsBusy() || m_nFileKind != FileKind::Nif)
        return false;
    CBusyScope busy(*this);
    const std::optional<uint8_t> alpha = Ui().AskTransparencyLevel();
    if (!alpha)
        return false;
    // The level is chosen first; only then is the texture found unable to take it.
    const CDibImage* current = CurrentRawImage();
    if (!current)
        return false;
    if (current->GetBitCount() != 32) {
        ShowMessage(kNotRgba);
        return false;
    }
    // This question names the file with its extension.
    m_strMessage = FormatString(kBackupQuestion, FileNamePart(m_strFilePath).c_str());
    EditOptions options;
    options.bBackup = AfxMessageBox(m_strMessage, MB_YESNO | MB_ICONQUESTION) == IDYES;
    options.expectedOffsets = m_rawImageOffsets;
    options.expectedShape =
        RawTextureShape{static_cast<uint32_t>(current->GetWidth()), static_cast<uint32_t>(current->GetHeight()), 2};

    bool written = false;
    {
        CWaitCursor wait;
        try {
            std::unique_ptr<CEditUndoCapture> undo = BeginUndo({m_nCurrentImage});
            if (undo)
                options.beforeWrite = undo->BeforeWrite();
            ReportBackup(StampTextureAlpha(m_strFilePath, m_nCurrentImage, *alpha, options).strBackupPath);
            written = true;
            EndUndo(std::move(undo), FormatString(kMakeTransparentName, m_nCurrentImage));
        } catch (const CCoreError& e) {
            e.ReportError();
        }
        // Read back, so that what is shown and saved is what the file holds.
        ReloadAfterWrite(0);
    }
    UpdateAllViews();
    return written;
}
