// Replace: a BMP, PNG or Targa file's pixels go into the open file in place,
// after the user was offered a backup copy, and are read back from the file.
#include <memory>

#include "doc/PathUtil.h"
#include "doc/TavrelDoc.h"
#include "image/DibRowConverter.h"
#include "image/RawTexture.h"
#include "nif/TextureWriter.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"
#include "platform/UiServices.h"

namespace {

constexpr char kReplaceFilter[] =
    "Windows Bitmap (*.bmp)|*.bmp|Portable Network Graphics (*.png)|*.png|Truevision Targa (*.tga)|*.tga||";
constexpr char kUnknownKind[] =
    "Only Windows Bitmap, Portable Network Graphics and Truevision Targa files can replace an image.\nFile: %s";
constexpr char kBelow24Bits[] = "Only 24-bit and 32-bit images are supported";
constexpr char kBackupQuestion[] = "Would you like to make a backup of %s?";
constexpr char kDepthQuestion[] = "The bit depths of these two images differ, do you wish to continue?";
constexpr char kDimensionsDiffer[] = "Error: The replacement image's dimensions are different from the original!";
constexpr char kUnknownDepth[] = "Hmmm, somethin' ain't right!";

// The file name without its extension, as the backup question names it.
std::string FileTitle(const std::string& path)
{
    const std::string name = FileNamePart(path);
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

bool HoldsImage(const std::unique_ptr<CDibImage>& record)
{
    return record && record->GetBitmapInfo();
}

}  // namespace

void CTavrelDoc::OnUpdateEditReplaceImage(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(
        !IsBusy() && m_nFileKind != kFileKindBmp && m_nFileKind != kFileKindPng && m_nFileKind != kFileKindNone);
}

void CTavrelDoc::OnEditReplaceImage()
{
    ReplaceImage();
}

bool CTavrelDoc::ReplaceImage()
{
    if (IsBusy())
        return false;
    CBusyScope busy(*this);
    if (m_nFileKind == kFileKindBmz)
        return HoldsImage(m_pBmzImage) && ChooseReplacement() && ReplaceInCompressedBitmap();
    if (m_nFileKind == kFileKindNif) {
        if (!CurrentRawImage() || !ChooseReplacement())
            return false;
        return m_pReplaceInfo ? ReplaceRawImageFromBitmap() : ReplaceRawImageFromTarga();
    }
    return false;
}

CDibImage* CTavrelDoc::CurrentRawImage() const
{
    if (m_nFileKind != kFileKindNif || m_nCurrentImage >= m_pRawImages.size())
        return nullptr;
    const std::unique_ptr<CDibImage>& record = m_pRawImages[m_nCurrentImage];
    return HoldsImage(record) ? record.get() : nullptr;
}

bool CTavrelDoc::ChooseReplacement()
{
    // Nothing of an earlier choice may be used again.
    m_pReplacement = nullptr;
    m_pReplaceInfo = nullptr;
    m_pReplaceBits = nullptr;
    m_nReplaceFileSize = 0;

    const std::string title = FileTitle(m_strFilePath);
    m_strFilter = kReplaceFilter;
    FileDialogRequest request;
    request.bOpen = true;
    request.strFilter = m_strFilter;
    request.strInitialDir = DirectoryPart(m_strFilePath);  // where the user's textures usually lie
    request.nFlags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    const std::optional<FileDialogResult> chosen = Ui().FileDialog(request);
    if (!chosen || chosen->strPath.empty())
        return false;
    const std::string& path = chosen->strPath;
    const std::string ext = UpperExtension(FileNamePart(path));

    Ui().RepaintMainWindow();
    {
        CWaitCursor wait;
        std::unique_ptr<CDibImage>* slot = nullptr;
        int kind = kFileKindNone;
        if (ext == "BMP") {
            slot = &m_pBmpImage;
            kind = kFileKindBmp;
        } else if (ext == "PNG") {
            slot = &m_pPngImage;
            kind = kFileKindPng;
        } else if (ext == "TGA") {
            slot = &m_pTgaImage;
            kind = kFileKindTga;
        } else {
            ShowMessage(FormatString(kUnknownKind, path.c_str()));
            return false;
        }
        slot->reset();
        *slot = std::make_unique<CDibImage>(path, kind);
        CDibImage& replacement = **slot;
        if (!replacement.GetBitmapInfo())
            return false;  // its reader has said why
        if (replacement.GetBitCount() < 24) {
            ShowMessage(kBelow24Bits);
            slot->reset();
            return false;
        }
        CDibRowConverter::MakePlainBgra(replacement);
        m_pReplacement = &replacement;
        m_pReplaceInfo = kind == kFileKindTga ? nullptr : replacement.GetBitmapInfo();
        m_pReplaceBits = replacement.GetBits();
        m_nReplaceFileSize = replacement.GetFileSize();
    }

    m_strMessage = FormatString(kBackupQuestion, title.c_str());
    if (AfxMessageBox(m_strMessage, MB_YESNO | MB_ICONQUESTION) == IDYES) {
        CWaitCursor wait;
        MakeBackupCopy(m_strFilePath, m_strBackupPath);
    }
    return true;
}

bool CTavrelDoc::ReplaceInCompressedBitmap()
{
    if (!m_pReplacement)
        return false;
    bool written = false;
    {
        CWaitCursor wait;
        // Whichever file it came from, the replacement is packed as the BMP file it makes.
        RunReportingFailure([&] { written = WriteCompressedBitmapFile(m_strFilePath, *m_pReplacement); });
        // Show what the file holds now, whatever happened.
        ReleaseBmzImage();
        m_pBmzImage = std::make_unique<CDibImage>(m_strFilePath, kFileKindBmz, 0);
    }
    UpdateAllViews();
    return written;
}

bool CTavrelDoc::DepthAccepted(const CDibImage& current)
{
    if (current.GetBitCount() == m_pReplacement->GetBitCount())
        return true;
    m_strMessage = kDepthQuestion;
    if (AfxMessageBox(m_strMessage, MB_YESNO | MB_ICONQUESTION) == IDYES)
        return true;
    m_pReplacement = nullptr;
    return false;
}

bool CTavrelDoc::ReplaceRawImageFromBitmap()
{
    const CDibImage* current = CurrentRawImage();
    if (!current || !m_pReplacement)
        return false;
    if (!DepthAccepted(*current)) {
        ReleaseBmpImage();
        ReleasePngImage();
        return false;
    }
    return WriteReplacement();
}

bool CTavrelDoc::ReplaceRawImageFromTarga()
{
    const CDibImage* current = CurrentRawImage();
    if (!current || !m_pReplacement)
        return false;
    if (current->GetWidth() != m_pReplacement->GetWidth() || current->GetHeight() != m_pReplacement->GetHeight()) {
        m_pReplacement = nullptr;
        ShowMessage(kDimensionsDiffer);
        ReleaseTgaImage();
        return false;
    }
    if (!DepthAccepted(*current)) {
        ReleaseTgaImage();
        return false;
    }
    return WriteReplacement();
}

bool CTavrelDoc::WriteReplacement()
{
    CDibImage& replacement = *m_pReplacement;
    const unsigned bitCount = replacement.GetBitCount();
    const int32_t width = replacement.GetWidth();
    const int32_t height = replacement.GetHeight();
    bool written = false;
    int64_t shift = 0;
    {
        CWaitCursor wait;
        // Every reader turns top-down rows bottom-up, so a record is never stored otherwise.
        if ((bitCount != 24 && bitCount != 32) || width <= 0 || height <= 0) {
            ShowMessage(kUnknownDepth);
            return false;
        }
        RawTextureShape old;
        if (!CheckTexturesUnchanged(old)) {
            ReloadAfterWrite(0);  // show what the file holds now
            UpdateAllViews();
            return false;
        }
        const uint32_t format = bitCount == 24 ? 1 : 2;
        // In place: the record's rows become the block's (top-down, unpadded, red first).
        const uint64_t bytes = ConvertDibToRawPixels(
            replacement.GetBits(), static_cast<uint32_t>(width), static_cast<uint32_t>(height), bitCount);
        const uint64_t oldBytes = *old.PixelBytes();
        written = SpliceRawImageBlock(m_strFilePath, m_rawImageOffsets[m_nCurrentImage], oldBytes,
            static_cast<uint32_t>(width), static_cast<uint32_t>(height), format, replacement.GetBits(), bytes, old);
        // Its pixels are no image any more: nothing may take it for one.
        m_pReplacement = nullptr;
        m_pReplaceInfo = nullptr;
        m_pReplaceBits = nullptr;
        if (written)
            shift = static_cast<int64_t>(bytes) - static_cast<int64_t>(oldBytes);
        ReloadAfterWrite(shift);
    }
    UpdateAllViews();
    return written;
}
