// Replace: the window's questions, in their order, around the replace operations.
#include <memory>

#include "doc/DocTexts.h"
#include "doc/EditOperations.h"
#include "doc/EditUndo.h"
#include "doc/PathUtil.h"
#include "doc/ShownRead.h"
#include "doc/TavrelDoc.h"
#include "platform/CoreError.h"
#include "platform/Format.h"
#include "platform/UiServices.h"

namespace {

// The file name without its extension, as the backup question names it.
std::string FileTitle(const std::string& path)
{
    const std::string name = FileNamePart(path);
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

// The fields of the texture a record was read from, as far as the record tells them.
RawTextureShape ShapeOfRecord(const CDibImage& record)
{
    return RawTextureShape{static_cast<uint32_t>(record.GetWidth()), static_cast<uint32_t>(record.GetHeight()),
        record.GetBitCount() == 24 ? 1u : 2u};
}

}  // namespace

void CTavrelDoc::OnUpdateEditReplaceImage(CCmdUI* pCmdUI)
{
    // Enabled only where it can act: a compressed bitmap or a texture that holds an image.
    const bool canAct = CompressedBitmapImage() || CurrentRawImage();
    pCmdUI->Enable(!IsBusy() && canAct);
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
    if (GetFileKind() == FileKind::Bmz) {
        if (!CompressedBitmapImage())
            return false;
        std::optional<ChosenReplacement> chosen = ChooseReplacement();
        return chosen && ReplaceInCompressedBitmap(*chosen);
    }
    if (CurrentRawImage()) {
        std::optional<ChosenReplacement> chosen = ChooseReplacement();
        return chosen && ReplaceRawImage(*chosen);
    }
    return false;
}

CDibImage* CTavrelDoc::CurrentRawImage() const
{
    const ModelFile* model = Model();
    if (!model)
        return nullptr;
    CDibImage* record = model->textures.Find(model->nCurrent);
    return record && record->GetBitmapInfo() ? record : nullptr;
}

std::optional<CTavrelDoc::ChosenReplacement> CTavrelDoc::ChooseReplacement()
{
    const std::string title = FileTitle(m_strFilePath);
    FileDialogRequest request;
    request.bOpen = true;
    request.strFilter = kReplaceFilter;
    request.strTitle = Model() ? FormatString(kReplaceTextureTitle, GetCurrentIndex()) : kReplaceImageTitle;
    // The folder last used for a replacement; the first time, where the user's textures usually lie.
    request.strInitialDir = DirectoryPart(m_strFilePath);
    request.strRememberAs = "Replace";
    request.nFlags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    const std::optional<FileDialogResult> dialog = Ui().FileDialog(request);
    if (!dialog || dialog->strPath.empty())
        return std::nullopt;
    const std::string& path = dialog->strPath;

    Ui().RepaintMainWindow();
    ChosenReplacement chosen;
    {
        CWaitCursor wait;
        try {
            chosen.image = LoadReplacement(path);
        } catch (const CCoreError& e) {
            e.ReportError();
            return std::nullopt;
        }
        chosen.bTarga = UpperExtension(FileNamePart(path)) == "TGA";
        if (chosen.image->GetBitCount() < 24) {
            ShowMessage(kBelow24Bits);
            return std::nullopt;
        }
    }
    // Asked now; the copy is made only once every check has passed, just before the write.
    const std::string question = FormatString(kBackupQuestion, title.c_str());
    chosen.bBackup = AfxMessageBox(question, MB_YESNO | MB_ICONQUESTION) == IDYES;
    return chosen;
}

bool CTavrelDoc::ReplaceInCompressedBitmap(const ChosenReplacement& chosen)
{
    bool written = false;
    {
        CWaitCursor wait;
        EditOptions options;
        options.bBackup = chosen.bBackup;
        try {
            std::unique_ptr<CEditUndoCapture> undo = BeginUndo({});
            if (undo)
                options.beforeWrite = undo->BeforeWrite();
            EditResult result;
            RunEdit([&] { result = ReplaceCompressedBitmapImage(m_strFilePath, *chosen.image, options); });
            ReportBackup(result.strBackupPath);
            written = true;
            EndUndo(std::move(undo), kReplaceImageTitle);
        } catch (const CCoreError& e) {
            e.ReportError();
        }
        // Show what the file holds now, whatever happened. The old record goes
        // first: the two are never held at once.
        if (OneImage* one = std::get_if<OneImage>(&m_file)) {
            one->image.reset();
            one->image = ReadShown(m_strFilePath, FileKind::Bmz);
        }
    }
    UpdateAllViews();
    return written;
}

bool CTavrelDoc::ReplaceRawImage(const ChosenReplacement& chosen)
{
    const CDibImage* current = CurrentRawImage();
    if (!current)
        return false;
    const RawTextureShape texture = ShapeOfRecord(*current);
    const ReplacementShape shape = ShapeOfReplacement(*chosen.image, chosen.bTarga);
    const ReplacementCheck check = CheckReplacement(texture, shape, AlphaRule::AskOnDepthChange);
    if (check.verdict == Verdict::SizeDiffers) {
        ShowMessage(kDimensionsDiffer);
        return false;
    }
    EditOptions options;
    options.bBackup = chosen.bBackup;
    if (check.verdict == Verdict::ConfirmDepth) {
        if (AfxMessageBox(kDepthQuestion, MB_YESNO | MB_ICONQUESTION) != IDYES)
            return false;
        options.bAcceptDepthChange = true;
    }
    if (check.Refused()) {
        ShowMessage(check.Text(texture, shape));
        return false;
    }
    const uint32_t index = GetCurrentIndex();
    options.expectedOffsets = GetRawImageOffsets();
    options.expectedShape = texture;
    bool written = false;
    int64_t shift = 0;
    {
        CWaitCursor wait;
        try {
            std::unique_ptr<CEditUndoCapture> undo = BeginUndo({index});
            if (undo)
                options.beforeWrite = undo->BeforeWrite();
            EditResult result;
            RunEdit([&] { result = ReplaceTexture(m_strFilePath, index, *chosen.image, chosen.bTarga, options); });
            ReportBackup(result.strBackupPath);
            shift = result.Shift();
            written = true;
            EndUndo(std::move(undo), FormatString(kReplaceTextureTitle, index));
        } catch (const CCoreError& e) {
            e.ReportError();
        }
        ReloadAfterWrite(shift);  // show what the file holds now
    }
    UpdateAllViews();
    return written;
}

void CTavrelDoc::ReportBackup(const std::string& backupPath)
{
    if (!backupPath.empty())
        Ui().ShowStatus(FormatString(kBackupMade, backupPath.c_str()));
}
