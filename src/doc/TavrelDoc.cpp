#include "doc/TavrelDoc.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "doc/CommandIds.h"
#include "doc/DocTexts.h"
#include "doc/EditOperations.h"
#include "doc/PathUtil.h"
#include "nif/TextureScanner.h"
#include "platform/File.h"
#include "platform/Format.h"
#include "platform/HeldFolder.h"
#include "platform/SignalCleanup.h"
#include "platform/UiServices.h"

namespace {

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
    ReleaseRawImages();
    ReleaseBmpImage();
    ReleaseBmzImage();
    ReleasePngImage();
    ReleaseTgaImage();
    m_textures.Clear();
    m_rawImageOffsets.clear();
    m_rawShapes.clear();
    m_nRawImageCount = 0;
    m_nCurrentImage = 0;
    m_nFileKind = FileKind::None;
    m_bLargeFile = false;
    m_strFilePath.clear();
    m_strOpenedPath.clear();
    m_strFileName.clear();
    m_strFileExt.clear();
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

CDibImage* CTavrelDoc::GetActiveImage() const
{
    if (m_nFileKind == FileKind::Nif)
        return m_textures.Find(m_nCurrentImage);
    return ImageAt(0);
}

uint32_t CTavrelDoc::ImageCount() const
{
    switch (m_nFileKind) {
    case FileKind::Nif: return m_bTexturesOnDemand ? 0 : m_textures.Count();
    case FileKind::Bmp:
    case FileKind::Bmz:
    case FileKind::Png:
    case FileKind::Tga: return 1;
    default: return 0;
    }
}

CDibImage* CTavrelDoc::ImageAt(uint32_t index) const
{
    if (m_nFileKind == FileKind::Nif) {
        if (m_bTexturesOnDemand)
            return nullptr;
        return index == m_nCurrentImage ? m_textures.Find(index) : m_textures.Get(index, m_nCurrentImage);
    }
    if (index != 0)
        return nullptr;
    return GetSlotImage(m_nFileKind);
}

const RawTextureShape* CTavrelDoc::TextureShapeAt(uint32_t index) const
{
    return m_nFileKind == FileKind::Nif ? m_textures.Shape(index) : nullptr;
}

bool CTavrelDoc::TextureLooksReadable(uint32_t index) const
{
    return m_nFileKind == FileKind::Nif && m_textures.LooksReadable(index);
}

CDibImage* CTavrelDoc::HeldTextureAt(uint32_t index) const
{
    return m_nFileKind == FileKind::Nif ? m_textures.Find(index) : nullptr;
}

std::unique_ptr<CDibImage> CTavrelDoc::ReadTexture(uint32_t index, bool bQuiet) const
{
    return m_nFileKind == FileKind::Nif ? m_textures.Read(index, bQuiet) : nullptr;
}

CDibImage* CTavrelDoc::GetSlotImage(FileKind nKind) const
{
    switch (nKind) {
    case FileKind::Bmp: return m_pBmpImage.get();
    case FileKind::Bmz: return m_pBmzImage.get();
    case FileKind::Png: return m_pPngImage.get();
    case FileKind::Tga: return m_pTgaImage.get();
    default: return nullptr;
    }
}

void CTavrelDoc::OnUpdateFileOpen(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(!IsBusy());
}

void CTavrelDoc::OnFileOpen()
{
    if (IsBusy())
        return;
    m_strFilter = OpenFileFilter();
    FileDialogRequest request;
    request.bOpen = true;
    request.strFilter = m_strFilter;
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
    OpenFileState previous = TakeOpenFile(kind);

    m_strLastDir = DirectoryPart(path);
    m_strFilePath = path;
    m_strOpenedPath = path;
    m_strFileName = FileNamePart(path);
    m_strFileExt = UpperExtension(m_strFileName);
    SetTitle(m_strFileName);

    m_bLargeFile = false;
    m_nFileKind = FileKind::None;
    m_nCurrentImage = 0;

    // Draw what the closed dialog uncovered before the load keeps the program busy.
    Ui().RepaintMainWindow();
    CWaitCursor wait;

    if (kind == FileKind::Bmp) {
        m_nFileKind = FileKind::Bmp;
        ReleaseBmpImage();
        m_pBmpImage = std::make_unique<CDibImage>(m_strFilePath, FileKind::Bmp);
    } else if (kind == FileKind::Png) {
        m_nFileKind = FileKind::Png;
        ReleasePngImage();
        m_pPngImage = std::make_unique<CDibImage>(m_strFilePath, FileKind::Png);
    } else if (kind == FileKind::Bmz) {
        m_nFileKind = FileKind::Bmz;
        ReleaseBmzImage();
        m_pBmzImage = std::make_unique<CDibImage>(m_strFilePath, FileKind::Bmz, 0);
    } else if (kind == FileKind::Tga) {
        m_nFileKind = FileKind::Tga;
        ReleaseTgaImage();
        m_pTgaImage = std::make_unique<CDibImage>(m_strFilePath, FileKind::Tga);
    } else {
        const LoadResult result = LoadModelFile();
        FinishLoad(previous);
        return result;
    }
    FinishLoad(previous);
    const CDibImage* image = GetActiveImage();
    return image && image->GetBitmapInfo() ? LoadResult::kLoaded : LoadResult::kFailedAndReported;
}

std::unique_ptr<CDibImage>* CTavrelDoc::SlotFor(FileKind nKind)
{
    switch (nKind) {
    case FileKind::Bmp: return &m_pBmpImage;
    case FileKind::Bmz: return &m_pBmzImage;
    case FileKind::Png: return &m_pPngImage;
    case FileKind::Tga: return &m_pTgaImage;
    default: return nullptr;
    }
}

CTavrelDoc::OpenFileState CTavrelDoc::TakeOpenFile(FileKind nLoadingKind)
{
    OpenFileState state;
    state.strFilePath = m_strFilePath;
    state.strOpenedPath = m_strOpenedPath;
    state.strFileName = m_strFileName;
    state.strFileExt = m_strFileExt;
    state.strTitle = m_strTitle;
    state.nFileKind = m_nFileKind;
    state.nCurrentImage = m_nCurrentImage;
    state.nRawImageCount = m_nRawImageCount;
    state.bLargeFile = m_bLargeFile;
    state.rawImageOffsets = std::move(m_rawImageOffsets);
    state.rawShapes = std::move(m_rawShapes);
    state.nModelLength = m_nModelLength;
    state.textures = std::move(m_textures);
    m_rawImageOffsets.clear();
    m_rawShapes.clear();
    m_textures = CTextureCache();
    m_nRawImageCount = 0;
    if (std::unique_ptr<CDibImage>* slot = SlotFor(nLoadingKind)) {
        state.slotImage = std::move(*slot);
        state.nSlotKind = nLoadingKind;
    }
    return state;
}

void CTavrelDoc::RestoreOpenFile(OpenFileState& state)
{
    m_strFilePath = state.strFilePath;
    m_strOpenedPath = state.strOpenedPath;
    m_strFileName = state.strFileName;
    m_strFileExt = state.strFileExt;
    m_nFileKind = state.nFileKind;
    m_nCurrentImage = state.nCurrentImage;
    m_nRawImageCount = state.nRawImageCount;
    m_bLargeFile = state.bLargeFile;
    m_rawImageOffsets = std::move(state.rawImageOffsets);
    m_rawShapes = std::move(state.rawShapes);
    m_nModelLength = state.nModelLength;
    m_textures = std::move(state.textures);
    if (std::unique_ptr<CDibImage>* slot = SlotFor(state.nSlotKind))
        *slot = std::move(state.slotImage);
    SetTitle(state.strTitle);
}

void CTavrelDoc::FinishLoad(OpenFileState& previous)
{
    // A model file's textures stay even when one of them is unreadable.
    const bool texturesHeld = m_nFileKind == FileKind::Nif && m_nRawImageCount > 0;
    const CDibImage* image = GetActiveImage();
    if (!texturesHeld && (!image || !image->GetBitmapInfo())) {
        if (previous.nFileKind != FileKind::None) {
            // A failed open leaves the file that was shown before it.
            RestoreOpenFile(previous);
        } else {
            m_nFileKind = FileKind::None;
            m_nCurrentImage = 0;
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
    if (!ScanInto(file))
        return LoadResult::kFailedAndReported;
    if (file.GetLength() > kLargeFileSize)
        m_bLargeFile = true;
    if (m_nRawImageCount == 0)
        return FollowImageLink(file);
    file.Close();
    return ShowRawImages(m_strFilePath);
}

LoadResult CTavrelDoc::FollowImageLink(CFile& file)
{
    uint64_t position = 0;
    std::optional<std::string> linkName;
    try {
        position = FindImageLink(&file);
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
    if (!ScanInto(linked))
        return LoadResult::kFailedAndReported;
    SetTitle(linkName);
    linked.Close();
    if (m_nRawImageCount == 0)
        return ShowNoImageData();
    return ShowRawImages(m_strFilePath);
}

LoadResult CTavrelDoc::ShowRawImages(const std::string& path)
{
    LoadRawImages(path);
    if (m_bTexturesOnDemand)
        return m_nRawImageCount > 0 ? LoadResult::kLoaded : LoadResult::kFailedSilently;
    // Only the shown texture has been read; the others count by their fields.
    if (const CDibImage* shown = GetActiveImage(); shown && shown->GetBitmapInfo())
        return LoadResult::kLoaded;
    for (uint32_t i = 1; i < m_nRawImageCount; ++i) {
        if (m_textures.LooksReadable(i))
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

bool CTavrelDoc::ScanInto(CFile& file)
{
    try {
        m_nRawImageCount = ScanRawImageData(file, m_rawImageOffsets, m_rawShapes);
        m_nModelLength = file.GetLength();
        return true;
    } catch (const CFileException& e) {
        // Leave no offsets that the slots do not match.
        m_rawImageOffsets.clear();
        m_rawShapes.clear();
        m_nRawImageCount = 0;
        m_textures.Clear();
        e.ReportError();
        SetTitle(kUntitled);
        return false;
    }
}

void CTavrelDoc::LoadRawImages(const std::string& path, uint32_t show)
{
    m_textures.Reset(path, m_rawImageOffsets, m_rawShapes, m_nModelLength);
    m_nRawImageCount = m_textures.Count();
    m_nFileKind = FileKind::Nif;
    m_nCurrentImage = 0;
    // The window reads the shown texture now and the others when they are wanted.
    if (m_nRawImageCount == 0 || m_bTexturesOnDemand)
        return;
    Ui().ShowProgress(50);  // the textures are found
    ShowTexture(std::min(show, m_nRawImageCount - 1));
    Ui().ShowProgress(100);
    Ui().ShowProgress(-1);
}

void CTavrelDoc::ShowTexture(uint32_t index)
{
    m_nCurrentImage = index;
    if (!m_bTexturesOnDemand)
        m_textures.Get(index, index);
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
    m_strMessage = text;
    AfxMessageBox(m_strMessage, MB_OK);
}

void CTavrelDoc::OnNextImage()
{
    if (IsBusy() || m_nFileKind != FileKind::Nif || m_nRawImageCount == 0)
        return;
    ShowTexture(m_nCurrentImage + 1 >= m_nRawImageCount ? 0 : m_nCurrentImage + 1);
    UpdateAllViews();
}

void CTavrelDoc::OnPreviousImage()
{
    if (IsBusy() || m_nFileKind != FileKind::Nif || m_nRawImageCount == 0)
        return;
    ShowTexture(m_nCurrentImage == 0 ? m_nRawImageCount - 1 : m_nCurrentImage - 1);
    UpdateAllViews();
}

bool CTavrelDoc::SelectImage(uint32_t index)
{
    if (IsBusy() || m_nFileKind != FileKind::Nif || index >= m_nRawImageCount)
        return false;
    ShowTexture(index);
    UpdateAllViews();
    return true;
}

void CTavrelDoc::OnUpdateNextPrevImage(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(!IsBusy() && m_nFileKind == FileKind::Nif && m_nRawImageCount >= 2);
}

uint32_t CTavrelDoc::FindRawImageData(CFile* pFile)
{
    m_nModelLength = pFile->GetLength();
    return ScanRawImageData(*pFile, m_rawImageOffsets, m_rawShapes);
}

uint64_t CTavrelDoc::FindImageLink(CFile* pFile)
{
    return ScanImageLink(*pFile);
}

void CTavrelDoc::ReleaseRawImages()
{
    m_textures.Release();
}

void CTavrelDoc::ReleaseBmpImage()
{
    m_pBmpImage.reset();
}
void CTavrelDoc::ReleaseBmzImage()
{
    m_pBmzImage.reset();
}
void CTavrelDoc::ReleasePngImage()
{
    m_pPngImage.reset();
}
void CTavrelDoc::ReleaseTgaImage()
{
    m_pTgaImage.reset();
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
