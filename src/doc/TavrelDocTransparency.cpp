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
    if (IsBusy() || !Model())
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
    const std::string question = FormatString(kBackupQuestion, FileNamePart(m_strFilePath).c_str());
    EditOptions options;
    options.bBackup = AfxMessageBox(question, MB_YESNO | MB_ICONQUESTION) == IDYES;
    options.expectedOffsets = GetRawImageOffsets();
    options.expectedShape =
        RawTextureShape{static_cast<uint32_t>(current->GetWidth()), static_cast<uint32_t>(current->GetHeight()), 2};

    const uint32_t index = GetCurrentIndex();
    bool written = false;
    {
        CWaitCursor wait;
        try {
            std::unique_ptr<CEditUndoCapture> undo = BeginUndo({index});
            if (undo)
                options.beforeWrite = undo->BeforeWrite();
            EditResult result;
            RunEdit([&] { result = StampTextureAlpha(m_strFilePath, index, *alpha, options); });
            ReportBackup(result.strBackupPath);
            written = true;
            EndUndo(std::move(undo), FormatString(kMakeTransparentName, index));
        } catch (const CCoreError& e) {
            e.ReportError();
        }
        // Read back, so that what is shown and saved is what the file holds.
        ReloadAfterWrite(0);
    }
    UpdateAllViews();
    return written;
}
