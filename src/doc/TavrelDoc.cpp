#include "doc/TavrelDoc.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <utility>

#include "doc/CommandIds.h"
#include "doc/DocTexts.h"
#include "doc/EditOperations.h"
#include "doc/PathUtil.h"
#include "doc/Progress.h"
#include "doc/ShownRead.h"
#include "nif/TextureScanner.h"
#include "platform/File.h"
#include "platform/Format.h"
#include "platform/HeldFolder.h"
#include "platform/SignalCleanup.h"
#include "platform/UiServices.h"

namespace {

// The bytes an image file's pixels take, from its headers; 0 when they cannot
// be read (the read itself then says why).
uint64_t ImageBytesOf(const std::string& path, FileKind kind)
{
    try {
        const DibShape shape = CDibImage::ReadShape(path, kind);
        const auto side = [](int32_t v) { return static_cast<uint64_t>(std::abs(int64_t{v})); };
        return side(shape.width) * side(shape.height) * shape.bitCount / 8;
    } catch (const CException&) {
    } catch (const std::bad_alloc&) {
    }
    return 0;
}

constexpr char kUnsupportedKind[] =
    "%s cannot be opened: only model files (.nif), compressed bitmaps (.bmz), PNG, BMP and Targa files can be.";
constexpr char kUntitled[] = "Untitled";
constexpr char kNoPrivateFolder[] =
    "Cannot create a folder for temporary files in %s: %s.\nNo file can be opened until that is possible.";

}  // namespace

CTavrelDoc::CTavrelDoc()
{
    // Temporary files go to a folder of the process's own, so that two
    // running copies never share them and an installed program's folder is never written.
    // Without that folder the document refuses to load anything: the paths
    // stay empty, never names in the current folder, whose files are the user's.
    // A folder left by a copy that was killed goes now, with the temporary
    // files that earlier versions kept there.
    m_pTempFolder = std::make_unique<CHeldFolder>("tavrel-", std::vector<std::string>{"temp.dbp", "temp.dbz"});
    m_strTempDir = m_pTempFolder->Path();
    const int err = m_pTempFolder->Error();
    if (!m_strTempDir.empty()) {
        RegisterCleanupPath(m_strTempDir, true);
        m_strTempDir += '/';
    } else {
        m_strTempDirError = FormatString(kNoPrivateFolder, TempFolderBase().c_str(), std::strerror(err));
    }
    m_strLastDir = GetCurrentDir();
    m_strTitle = kUntitled;

    MapCommand(
        ID_FILE_OPEN, [this] { OnFileOpen(); }, [this](CCmdUI* ui) { OnUpdateFileOpen(ui); });
    MapCommand(
        ID_VIEW_NEXT_IMAGE, [this] { OnNextImage(); }, [this](CCmdUI* ui) { OnUpdateNextPrevImage(ui); });
    MapCommand(
        ID_VIEW_PREVIOUS_IMAGE, [this] { OnPreviousImage(); }, [this](CCmdUI* ui) { OnUpdateNextPrevImage(ui); });
    MapCommand(
        ID_EDIT_REPLACE_IMAGE, [this] { OnEditReplaceImage(); }, [this](CCmdUI* ui) { OnUpdateEditReplaceImage(ui); });
    MapCommand(
        ID_EDIT_MAKE_TRANSPARENT, [this] { OnEditMakeTransparent(); },
        [this](CCmdUI* ui) { OnUpdateEditMakeTransparent(ui); });
    MapCommand(
        ID_FILE_SAVE_AS, [this] { OnFileSaveAs(); }, [this](CCmdUI* ui) { OnUpdateFileSaveAs(ui); });
    MapCommand(
        ID_FILE_IMPORT_TEXTURES, [this] { OnFileImportTextures(); },
        [this](CCmdUI* ui) { OnUpdateFileImportTextures(ui); });
}

CTavrelDoc::~CTavrelDoc()
{
    if (m_strTempDir.empty())
        return;
    m_pTempFolder.reset();  // the folder goes
    UnregisterCleanupPath(m_strTempDir.substr(0, m_strTempDir.size() - 1));
}

void CTavrelDoc::AddObserver(IDocObserver* observer)
{
    if (observer && std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
        m_observers.push_back(observer);
}

void CTavrelDoc::RemoveObserver(IDocObserver* observer)
{
    m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), observer), m_observers.end());
}

void CTavrelDoc::UpdateAllViews(void* pSender, long lHint, void* pHint)
{
    for (IDocObserver* observer : std::vector<IDocObserver*>(m_observers))
        observer->OnUpdate(pSender, lHint, pHint);
}

void CTavrelDoc::SetTitle(const std::string& title)
{
    m_strTitle = title;
    for (IDocObserver* observer : std::vector<IDocObserver*>(m_observers))
        observer->OnTitleChanged(title);
}

bool CTavrelDoc::OnNewDocument()
{
    if (IsBusy())
        return false;
    m_file = NoFile{};
    m_strFilePath.clear();
    m_strOpenedPath.clear();
    m_strFileName.clear();
    SetTitle(kUntitled);
    UpdateAllViews();
    return true;
}

void CTavrelDoc::ChangeBusy(int delta)
{
    const bool wasBusy = IsBusy();
    m_nBusy += delta;
    if (wasBusy != IsBusy()) {
        for (IDocObserver* observer : std::vector<IDocObserver*>(m_observers))
            observer->OnBusyChanged(IsBusy());
    }
}

FileKind CTavrelDoc::GetFileKind() const
{
    if (Model())
        return FileKind::Nif;
    if (const OneImage* one = std::get_if<OneImage>(&m_file))
        return one->kind;
    return FileKind::None;
}

uint32_t CTavrelDoc::GetCurrentIndex() const
{
    const ModelFile* model = Model();
    return model ? model->nCurrent : 0;
}

const std::vector<uint64_t>& CTavrelDoc::GetRawImageOffsets() const
{
    static const std::vector<uint64_t> none;
    const ModelFile* model = Model();
    return model ? model->textures.Offsets() : none;
}

bool CTavrelDoc::IsLargeFile() const
{
    if (const NoFile* nothing = std::get_if<NoFile>(&m_file))
        return nothing->bLargeFile;
    const ModelFile* model = Model();
    return model && model->bLargeFile;
}

uint64_t CTavrelDoc::TexturesVersion() const
{
    const ModelFile* model = Model();
    return model ? model->textures.Version() : 0;
}

uint64_t CTavrelDoc::HeldTextureBytes() const
{
    const ModelFile* model = Model();
    return model ? model->textures.HeldBytes() : 0;
}

CDibImage* CTavrelDoc::GetActiveImage() const
{
    if (const ModelFile* model = Model())
        return model->textures.Find(model->nCurrent);
    return ImageAt(0);
}

uint32_t CTavrelDoc::ImageCount() const
{
    if (const ModelFile* model = Model())
        return m_bTexturesOnDemand ? 0 : model->textures.Count();
    return std::holds_alternative<OneImage>(m_file) ? 1 : 0;
}

CDibImage* CTavrelDoc::ImageAt(uint32_t index) const
{
    if (const ModelFile* model = Model()) {
        if (m_bTexturesOnDemand)
            return nullptr;
        return index == model->nCurrent ? model->textures.Find(index) : model->textures.Get(index, model->nCurrent);
    }
    const OneImage* one = std::get_if<OneImage>(&m_file);
    return one && index == 0 ? one->image.get() : nullptr;
}

CDibImage* CTavrelDoc::CompressedBitmapImage() const
{
    const OneImage* one = std::get_if<OneImage>(&m_file);
    return one && one->kind == FileKind::Bmz && one->image && one->image->GetBitmapInfo() ? one->image.get() : nullptr;
}

const RawTextureShape* CTavrelDoc::TextureShapeAt(uint32_t index) const
{
    const ModelFile* model = Model();
    return model ? model->textures.Shape(index) : nullptr;
}

bool CTavrelDoc::TextureLooksReadable(uint32_t index) const
{
    const ModelFile* model = Model();
    return model && model->textures.LooksReadable(index);
}

CDibImage* CTavrelDoc::HeldTextureAt(uint32_t index) const
{
    const ModelFile* model = Model();
    return model ? model->textures.Find(index) : nullptr;
}

std::unique_ptr<CDibImage> CTavrelDoc::ReadTexture(uint32_t index) const
{
    const ModelFile* model = Model();
    return model ? model->textures.Read(index) : nullptr;
}

void CTavrelDoc::OnUpdateFileOpen(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(!IsBusy());
}

void CTavrelDoc::OnFileOpen()
{
    if (IsBusy())
        return;
    FileDialogRequest request;
    request.bOpen = true;
    request.strFilter = OpenFileFilter();
    request.strInitialDir = m_strLastDir;
    request.nFlags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    request.nFilterIndex = m_nOpenFilterIndex;
    request.strRememberAs = "Open";
    const std::optional<FileDialogResult> chosen = Ui().FileDialog(request);
    if (!chosen || chosen->strPath.empty())
        return;
    m_nOpenFilterIndex = chosen->nFilterIndex;
    LoadFile(chosen->strPath);
}

LoadResult CTavrelDoc::LoadFile(const std::string& path)
{
    if (IsBusy())
        return LoadResult::kFailedSilently;
    // A kind that cannot be shown is refused before anything changes, so the
    // title never names a file the view does not show.
    const FileKind kind = FileKindOfPath(path);
    if (kind == FileKind::None) {
        ShowMessage(FormatString(kUnsupportedKind, FileNamePart(path).c_str()));
        return LoadResult::kFailedAndReported;
    }
    if (!CheckPrivateFolder())
        return LoadResult::kFailedAndReported;
    CBusyScope busy(*this);
    OpenFileState previous = TakeOpenFile();

    m_strLastDir = DirectoryPart(path);
    m_strFilePath = path;
    m_strOpenedPath = path;
    m_strFileName = FileNamePart(path);
    SetTitle(m_strFileName);

    // Draw what the closed dialog uncovered before the load keeps the program busy.
    Ui().RepaintMainWindow();
    CWaitCursor wait;

    if (kind == FileKind::Nif) {
        const LoadResult result = LoadModelFile();
        FinishLoad(previous);
        return result;
    }
    // A failure is shown, and leaves a record without an image.
    // Only a window, which has a worker, looks at the headers first.
    const uint64_t bytes = m_workRunner ? ImageBytesOf(m_strFilePath, kind) : 0;
    std::unique_ptr<CDibImage> image = ReadForView(m_strFilePath, kind, 0, bytes);
    if (!image) {  // cancelled: the file shown before comes back
        FinishLoad(previous);
        return LoadResult::kFailedSilently;
    }
    // Judged before a failure brings the previous file back, whose image is not this one.
    const bool loaded = image->GetBitmapInfo() != nullptr;
    m_file = OneImage{kind, std::move(image)};
    FinishLoad(previous);
    return loaded ? LoadResult::kLoaded : LoadResult::kFailedAndReported;
}

CTavrelDoc::OpenFileState CTavrelDoc::TakeOpenFile()
{
    OpenFileState state;
    state.strFilePath = m_strFilePath;
    state.strOpenedPath = m_strOpenedPath;
    state.strFileName = m_strFileName;
    state.strTitle = m_strTitle;
    state.file = std::exchange(m_file, NoFile{});
    return state;
}

void CTavrelDoc::RestoreOpenFile(OpenFileState& state)
{
    m_strFilePath = state.strFilePath;
    m_strOpenedPath = state.strOpenedPath;
    m_strFileName = state.strFileName;
    m_file = std::move(state.file);
    SetTitle(state.strTitle);
}

void CTavrelDoc::FinishLoad(OpenFileState& previous)
{
    // A model file's textures stay even when one of them is unreadable.
    const ModelFile* model = Model();
    const bool texturesHeld = model && model->textures.Count() > 0;
    const CDibImage* image = GetActiveImage();
    if (!texturesHeld && (!image || !image->GetBitmapInfo())) {
        if (!std::holds_alternative<NoFile>(previous.file)) {
            // A failed open leaves the file that was shown before it.
            RestoreOpenFile(previous);
        } else {
            m_file = NoFile{IsLargeFile()};
            SetTitle(kUntitled);
        }
    }
    UpdateAllViews();
}

LoadResult CTavrelDoc::LoadModelFile()
{
    CFile file;
    if (!file.Open(m_strFilePath, CFile::modeRead))
        return StopLoad(FormatString(kReadError, m_strFileName.c_str()));
    std::optional<TextureScan> scan = ScanTextures(file);
    if (!scan)
        return LoadResult::kFailedAndReported;
    // Marked even when nothing of the file can be shown; a linked file's length does not count.
    m_file = NoFile{file.GetLength() > kLargeFileSize};
    if (scan->offsets.empty())
        return FollowImageLink(file);
    file.Close();
    return ShowRawImages(m_strFilePath, std::move(*scan));
}

LoadResult CTavrelDoc::FollowImageLink(CFile& file)
{
    uint64_t position = 0;
    std::optional<std::string> linkName;
    try {
        position = ScanImageLink(file);
        if (position != 0)
            linkName = ExtractLinkName(file, position);
    } catch (const CFileException& e) {
        e.ReportError();
        SetTitle(kUntitled);
        return LoadResult::kFailedAndReported;
    }
    file.Close();
    if (position == 0)
        return StopLoad(FormatString("No image data found in file: %s", m_strFileName.c_str()));
    if (!linkName)
        return ShowNoImageData();

    const std::string folder = FolderPart(m_strFilePath);
    m_strFilePath = ResolveLinkedPath(DirectoryPart(m_strFilePath), *linkName);
    std::string question = kFollowLinkQuestion + *linkName;
    // A name with "..", '\\' or a leading '/' may lead anywhere: the user sees where.
    if (LinkLeavesFolder(folder, m_strFilePath))
        question += FormatString(kLinkLeavesFolder, m_strFilePath.c_str());
    if (m_linkPolicy == LinkPolicy::Refuse ||
        (m_linkPolicy == LinkPolicy::Ask && AfxMessageBox(question, MB_YESNO | MB_ICONQUESTION) != IDYES)) {
        SetTitle(kUntitled);
        return LoadResult::kFailedSilently;
    }
    return LoadLinkedFile(*linkName);
}

LoadResult CTavrelDoc::LoadLinkedFile(const std::string& linkName)
{
    CFile linked;
    if (!linked.Open(m_strFilePath, CFile::modeRead))
        return StopLoad("Error reading file");
    std::optional<TextureScan> scan = ScanTextures(linked);
    if (!scan)
        return LoadResult::kFailedAndReported;
    SetTitle(linkName);
    linked.Close();
    if (scan->offsets.empty())
        return ShowNoImageData();
    return ShowRawImages(m_strFilePath, std::move(*scan));
}

LoadResult CTavrelDoc::ShowRawImages(const std::string& path, TextureScan scan)
{
    LoadRawImages(path, std::move(scan));
    const CTextureCache& textures = Model()->textures;
    if (m_bTexturesOnDemand)
        return textures.Count() > 0 ? LoadResult::kLoaded : LoadResult::kFailedSilently;
    // Only the shown texture has been read; the others count by their fields.
    if (const CDibImage* shown = GetActiveImage(); shown && shown->GetBitmapInfo())
        return LoadResult::kLoaded;
    for (uint32_t i = 1; i < textures.Count(); ++i) {
        if (textures.LooksReadable(i))
            return LoadResult::kLoaded;
    }
    return LoadResult::kFailedAndReported;  // the shown texture's reader has said why
}

LoadResult CTavrelDoc::StopLoad(const std::string& text)
{
    ShowMessage(text);
    SetTitle(kUntitled);
    return LoadResult::kFailedAndReported;
}

LoadResult CTavrelDoc::ShowNoImageData()
{
    ShowMessage("No image data found");
    SetTitle(kUntitled);
    return LoadResult::kFailedAndReported;
}

std::optional<CTavrelDoc::TextureScan> CTavrelDoc::ScanTextures(CFile& file)
{
    try {
        TextureScan scan;
        ScanRawImageData(file, scan.offsets, scan.shapes);
        scan.nLength = file.GetLength();
        return scan;
    } catch (const CFileException& e) {
        e.ReportError();
        SetTitle(kUntitled);
        return std::nullopt;
    }
}

void CTavrelDoc::LoadRawImages(const std::string& path, TextureScan scan, uint32_t show)
{
    ModelFile model;
    model.bLargeFile = IsLargeFile();
    model.textures.Reset(path, std::move(scan.offsets), std::move(scan.shapes), scan.nLength);
    const uint32_t count = model.textures.Count();
    m_file = std::move(model);
    // The window reads the shown texture now and the others when they are wanted.
    if (count == 0 || m_bTexturesOnDemand)
        return;
    Ui().ShowProgress(50);  // the textures are found
    ShowTexture(std::min(show, count - 1));
    Ui().ShowProgress(100);
    Ui().ShowProgress(-1);
}

bool CTavrelDoc::ShowTexture(uint32_t index)
{
    ModelFile* model = Model();
    CTextureCache& textures = model->textures;
    if (!m_bTexturesOnDemand && !textures.Find(index) && index < textures.Count()) {
        const std::optional<uint64_t> bytes = textures.Shape(index)->PixelBytes();
        CBusyScope busy(*this);
        std::unique_ptr<CDibImage> record =
            ReadForView(textures.Path(), FileKind::Nif, textures.Offsets()[index], bytes.value_or(0));
        if (!record)
            return false;
        textures.Adopt(index, std::move(record), index);
    }
    model->nCurrent = index;
    return true;
}

void CTavrelDoc::RunEdit(const std::function<void()>& edit)
{
    struct stat st { };
    RunWrite(m_strFileName, ::stat(m_strFilePath.c_str(), &st) == 0 ? uint64_t(st.st_size) : 0, edit);
}

void CTavrelDoc::RunWrite(const std::string& name, uint64_t bytes, const std::function<void()>& write)
{
    if (!m_workRunner || bytes < kWorkerReadBytes) {
        write();
        return;
    }
    std::exception_ptr error;
    m_workRunner(FormatString(kWritingImage, name.c_str()), false, [&](IProgress&) {
        try {
            write();
        } catch (...) {
            error = std::current_exception();
        }
    });
    if (error)
        std::rethrow_exception(error);
}

std::unique_ptr<CDibImage> CTavrelDoc::ReadForView(
    const std::string& path, FileKind kind, uint64_t offset, uint64_t bytes)
{
    if (!m_workRunner || bytes < kWorkerReadBytes)
        return ReadShown(path, kind, offset);
    std::unique_ptr<CDibImage> image;
    // On the worker, what the reader says is kept and shown after the read.
    m_workRunner(FormatString(kReadingImage, FileNamePart(path).c_str()), true, [&](IProgress& progress) {
        image = ReadShown(path, kind, offset);
        if (progress.Cancelled())
            image.reset();
    });
    return image;
}

bool CTavrelDoc::CheckPrivateFolder()
{
    if (m_strTempDirError.empty())
        return true;
    ShowMessage(m_strTempDirError);
    return false;
}

void CTavrelDoc::ShowMessage(const std::string& text)
{
    AfxMessageBox(text, MB_OK);
}

void CTavrelDoc::OnNextImage()
{
    const ModelFile* model = Model();
    if (IsBusy() || !model || model->textures.Count() == 0)
        return;
    const uint32_t count = model->textures.Count();
    ShowTexture(model->nCurrent + 1 >= count ? 0 : model->nCurrent + 1);
    UpdateAllViews();
}

void CTavrelDoc::OnPreviousImage()
{
    const ModelFile* model = Model();
    if (IsBusy() || !model || model->textures.Count() == 0)
        return;
    ShowTexture(model->nCurrent == 0 ? model->textures.Count() - 1 : model->nCurrent - 1);
    UpdateAllViews();
}

bool CTavrelDoc::SelectImage(uint32_t index)
{
    const ModelFile* model = Model();
    if (IsBusy() || !model || index >= model->textures.Count())
        return false;
    ShowTexture(index);
    UpdateAllViews();
    return true;
}

void CTavrelDoc::OnUpdateNextPrevImage(CCmdUI* pCmdUI)
{
    const ModelFile* model = Model();
    pCmdUI->Enable(!IsBusy() && model && model->textures.Count() >= 2);
}

void CTavrelDoc::ReleaseRawImages()
{
    if (ModelFile* model = Model())
        model->textures.Release();
}

std::string CTavrelDoc::GetCurrentDir()
{
    char buffer[PATH_MAX];
    if (!::getcwd(buffer, sizeof buffer))
        return "./";
    std::string dir = buffer;
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}
