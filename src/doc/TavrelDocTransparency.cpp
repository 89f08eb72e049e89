// Make Transparent: one alpha value, asked of the user, for every pixel of the
// shown RGBA texture, written into the model file in place.
#include "doc/PathUtil.h"
#include "doc/TavrelDoc.h"
#include "image/RawTexture.h"
#include "nif/TextureWriter.h"
#include "platform/Format.h"
#include "platform/UiServices.h"

namespace {

constexpr char kNotRgba[] = "Error: This image cannot be made transparent";
constexpr char kBackupQuestion[] = "Would you like to make a backup of %s?";

}  // namespace

void CTavrelDoc::OnUpdateEditMakeTransparent(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(!IsBusy() && m_nFileKind == kFileKindNif && !m_pRawImages.empty() && m_pRawImages[0]);
}

void CTavrelDoc::OnEditMakeTransparent()
{
    MakeTransparent();
}

bool CTavrelDoc::MakeTransparent()
{
    if (IsBusy() || m_nFileKind != kFileKindNif)
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
    if (AfxMessageBox(m_strMessage, MB_YESNO | MB_ICONQUESTION) == IDYES) {
        CWaitCursor wait;
        MakeBackupCopy(m_strFilePath, m_strBackupPath);
    }

    bool written = false;
    {
        CWaitCursor wait;
        RawTextureShape shape;
        if (CheckTexturesUnchanged(shape))
            written = StampAlpha(m_strFilePath, m_rawImageOffsets[m_nCurrentImage], *shape.PixelBytes(), *alpha, shape);
        // Read back, so that what is shown and saved is what the file holds.
        ReloadAfterWrite(0);
    }
    UpdateAllViews();
    return written;
}
