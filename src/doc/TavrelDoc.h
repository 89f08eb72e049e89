#pragma once
// The one document: the open file, its kind, the image records it owns, the
// texture offsets of an open model file and which texture is shown; and the
// commands that open files and step through textures.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "doc/CmdTarget.h"
#include "doc/DocObserver.h"
#include "doc/TextureCache.h"
#include "image/DibImage.h"
#include "image/FileKind.h"

class CEditUndoCapture;
class CEditUndoRecord;
class CFile;
class CHeldFolder;
class IProgress;
struct RawTextureShape;

// How a load ended, for callers that report what the window would leave unsaid.
enum class LoadResult {
    kLoaded,  // at least one image can be shown
    kFailedAndReported,  // nothing to show, and a message has said why
    kFailedSilently,  // nothing to show and nothing said (unknown file kind, declined link, busy)
};

class CTavrelDoc : public CCmdTarget {
public:
    CTavrelDoc();
    ~CTavrelDoc() override;
    CTavrelDoc(const CTavrelDoc&) = delete;
    CTavrelDoc& operator=(const CTavrelDoc&) = delete;

    // Views and frame.
    void AddObserver(IDocObserver* observer);
    void RemoveObserver(IDocObserver* observer);
    void UpdateAllViews(void* pSender = nullptr, long lHint = 0, void* pHint = nullptr);
    void SetTitle(const std::string& title);
    const std::string& GetTitle() const { return m_strTitle; }
    // The new-document processing: the document is emptied and gets a fresh title.
    bool OnNewDocument();

    // Open: the file dialog, then LoadFile.
    void OnFileOpen();
    // Loads a chosen file by its extension, as Open does after its dialog.
    // Used by the command line, drag and drop and the command-line tool.
    LoadResult LoadFile(const std::string& path);
    void OnNextImage();
    void OnPreviousImage();
    void OnUpdateNextPrevImage(CCmdUI* pCmdUI);
    void OnUpdateFileOpen(CCmdUI* pCmdUI);
    // Shows texture index of the open model file; false when there is none such.
    bool SelectImage(uint32_t index);

    // Replace: the pixels of a BMP, PNG or Targa file go into the shown texture
    // of a model file, or become the whole image of a compressed bitmap, in place.
    void OnEditReplaceImage();
    void OnUpdateEditReplaceImage(CCmdUI* pCmdUI);
    // The command's work; true when the file was written (and read back).
    bool ReplaceImage();

    // Make Transparent: one alpha value for every pixel of the shown RGBA texture.
    void OnEditMakeTransparent();
    void OnUpdateEditMakeTransparent(CCmdUI* pCmdUI);
    // The command's work; true when the file was written (and read back).
    bool MakeTransparent();
    // Save As: writes the shown image as a BMP, PNG or Targa file.
    void OnFileSaveAs();
    void OnUpdateFileSaveAs(CCmdUI* pCmdUI);
    // The folder the Save As dialog opens in: the one last saved to in this
    // run, else the shown file's.
    std::string GetSaveAsDir() const;
    // Import Textures: a folder of edited textures back into the open model file.
    void OnFileImportTextures();
    void OnUpdateFileImportTextures(CCmdUI* pCmdUI);

    // The record that the view shows and the commands work on, or null. A
    // model file's shown texture is read when it becomes the shown one.
    CDibImage* GetActiveImage() const;
    // The images of the open file: a model file's textures in file order, or
    // the one image of a bitmap, compressed bitmap, PNG or Targa file. A record may be
    // empty (its read failed) or null. A texture other than the shown one is
    // read when asked for and held in a small cache: its record lives until
    // a few other textures have been read.
    uint32_t ImageCount() const;
    CDibImage* ImageAt(uint32_t index) const;
    // A model file's texture without holding it: its fields, whether they
    // (and any read so far) let it be read, its record when the cache holds
    // it, or a record of the caller's own, read now (quietly: without showing
    // the reader's message). The version changes when the textures may have.
    const RawTextureShape* TextureShapeAt(uint32_t index) const;
    bool TextureLooksReadable(uint32_t index) const;
    CDibImage* HeldTextureAt(uint32_t index) const;
    std::unique_ptr<CDibImage> ReadTexture(uint32_t index) const;
    uint64_t TexturesVersion() const;
    // Bytes of the texture records held.
    uint64_t HeldTextureBytes() const;

    FileKind GetFileKind() const;
    // The open file; after a link was followed, the linked file.
    const std::string& GetFilePath() const { return m_strFilePath; }
    // The file chosen in Open, before any link was followed.
    const std::string& GetOpenedPath() const { return m_strOpenedPath; }
    // The name of the file chosen in Open, or of the file Save As wrote last.
    const std::string& GetFileName() const { return m_strFileName; }
    // The shown texture of the open model file; 0 for any other file.
    uint32_t GetCurrentIndex() const;
    // The texture offsets of the open model file, in file order; empty for any other file.
    const std::vector<uint64_t>& GetRawImageOffsets() const;
    // The model file opened last is longer than kLargeFileSize, even when
    // nothing of it could be shown (a linked file's length does not count).
    bool IsLargeFile() const;
    const std::string& GetLastDir() const { return m_strLastDir; }
    const std::string& GetTempDir() const { return m_strTempDir; }

    // Drops the records of the open model file's textures (their fields stay);
    // each is read again when next wanted.
    void ReleaseRawImages();

    static std::string GetCurrentDir();

    // False, after saying why, when the document has no private folder for its
    // temporary files (then it loads nothing).
    bool CheckPrivateFolder();
    // Model files: find the textures but read none (the caller reads each one
    // from m_strFilePath at its offset, when it wants it). For batch work.
    void SetReadTexturesOnDemand(bool bOnDemand) { m_bTexturesOnDemand = bOnDemand; }
    // What Open does with a model file that only links to another one: ask the
    // user (the window), follow it (reading tools), or stop (editing tools).
    enum class LinkPolicy { Ask, Follow, Refuse };
    void SetLinkPolicy(LinkPolicy policy) { m_linkPolicy = policy; }

    // Where the in-place edits hand what they changed, with the edit's name
    // ("Replace Texture 3"); without a sink no undo copies are kept.
    using UndoSink = std::function<void(std::unique_ptr<CEditUndoRecord>, const std::string& name)>;
    void SetUndoSink(UndoSink sink) { m_undoSink = std::move(sink); }
    // Starts keeping the old bytes of textures `indices` (or of the whole compressed
    // bitmap) of the open file; null without a sink. Throws CCoreError as a scan does.
    std::unique_ptr<CEditUndoCapture> BeginUndo(const std::vector<uint32_t>& indices);
    // After a successful write: the record goes to the sink.
    void EndUndo(std::unique_ptr<CEditUndoCapture> capture, const std::string& name);

    // Where long work (an import, a large read or write) runs, its progress and
    // Cancel given to it: the window's runs it on a worker under a progress
    // dialog (with a Cancel when the work can stop) and shows what it said there
    // afterwards. Without one it runs here and now, never cancelled.
    using WorkRunner = std::function<void(
        const std::string& label, bool bCancellable, const std::function<void(IProgress&)>& work)>;
    void SetWorkRunner(WorkRunner runner) { m_workRunner = std::move(runner); }

    // True while a load or a write is under way (the user interface may run
    // in between); commands that change the document are held off meanwhile.
    bool IsBusy() const { return m_nBusy > 0; }

    // A model file longer than this enables Create Map Bitmap.
    static constexpr uint64_t kLargeFileSize = 3000000;

    // Marks the document busy for its lifetime (also for work on it that runs elsewhere).
    class CBusyScope {
    public:
        explicit CBusyScope(CTavrelDoc& doc)
            : m_doc(doc)
        {
            m_doc.ChangeBusy(+1);
        }
        ~CBusyScope() { m_doc.ChangeBusy(-1); }
        CBusyScope(const CBusyScope&) = delete;
        CBusyScope& operator=(const CBusyScope&) = delete;

    private:
        CTavrelDoc& m_doc;
    };

private:
    // What is open: nothing, one image, or a model file's textures. Only the
    // open file's state exists; a load that shows nothing brings the one before back.
    struct NoFile {
        // A long model file that showed nothing still counts as one. No member
        // initialiser: with one, GCC cannot make the variant empty inside this
        // class. NoFile{} is false.
        bool bLargeFile;
    };
    struct OneImage {
        FileKind kind = FileKind::None;  // BMP, compressed bitmap, PNG or Targa
        std::unique_ptr<CDibImage> image;  // empty when its read failed
    };
    struct ModelFile {
        mutable CTextureCache textures;  // every texture's offset and fields, the records of a few
        uint32_t nCurrent = 0;  // the shown texture
        bool bLargeFile = false;
    };
    using OpenFile = std::variant<NoFile, OneImage, ModelFile>;
    ModelFile* Model() { return std::get_if<ModelFile>(&m_file); }
    const ModelFile* Model() const { return std::get_if<ModelFile>(&m_file); }
    // The open compressed bitmap's record when it holds an image, else null.
    CDibImage* CompressedBitmapImage() const;

    // What a scan of a model file found.
    struct TextureScan {
        std::vector<uint64_t> offsets;
        std::vector<RawTextureShape> shapes;  // the fields at those offsets
        uint64_t nLength = 0;  // of the file scanned
    };
    // The steps of opening a model file: its textures, or the file its link
    // names. Each ending tells the views when the load's outcome is to be shown.
    LoadResult LoadModelFile();
    LoadResult FollowImageLink(CFile& file);
    LoadResult LoadLinkedFile(const std::string& linkName);
    // Scans for texture blocks; a file error is reported and gives nothing.
    std::optional<TextureScan> ScanTextures(CFile& file);
    // Makes the scanned textures of the file at path the open model file and
    // shows texture `show` (the last one when there are fewer). The large-file
    // mark of what is open now (the file being loaded or reloaded) stays.
    void LoadRawImages(const std::string& path, TextureScan scan, uint32_t show = 0);
    // Makes index the shown texture of the open model file and reads it.
    // False when a read on the worker was cancelled: the shown texture stays.
    bool ShowTexture(uint32_t index);
    // Reads an image to be shown, its failure shown (a record without an
    // image). One of kWorkerReadBytes or more is read through the work runner,
    // so that the window stays responsive; null when that read was cancelled.
    std::unique_ptr<CDibImage> ReadForView(const std::string& path, FileKind kind, uint64_t offset, uint64_t bytes);
    static constexpr uint64_t kWorkerReadBytes = uint64_t{32} << 20;
    // Runs a write of `bytes`; one of kWorkerReadBytes or more goes through
    // the work runner, without a Cancel (a write is not stopped half-way), so
    // that the window keeps painting. What the write throws is thrown here.
    void RunWrite(const std::string& name, uint64_t bytes, const std::function<void()>& write);
    // RunWrite of an in-place edit of the open file.
    void RunEdit(const std::function<void()>& edit);
    // Scans the open model file again and reloads its textures, showing the same index.
    void ReloadModelFile();
    // Loads the scanned textures and shows them.
    LoadResult ShowRawImages(const std::string& path, TextureScan scan);
    // Shows the text, the title back to "Untitled"; the views keep what they show.
    LoadResult StopLoad(const std::string& text);
    // Shows "No image data found", the title back to "Untitled", and tells the views.
    LoadResult ShowNoImageData();
    void ShowMessage(const std::string& text);
    // What a load replaces, kept aside until the load is known to show something.
    struct OpenFileState {
        std::string strFilePath, strOpenedPath, strFileName, strTitle;
        OpenFile file;
    };
    // Moves the open file's state aside; nothing is open after it.
    OpenFileState TakeOpenFile();
    void RestoreOpenFile(OpenFileState& state);
    // Ends every load that got past the kind check: a load that shows no image
    // brings back the file shown before it, or else leaves an empty document
    // under "Untitled"; the views are always told, once.
    void FinishLoad(OpenFileState& previous);
    void ChangeBusy(int delta);

    // The record of the shown texture when it holds an image, else null.
    CDibImage* CurrentRawImage() const;
    // Replace's steps: the file dialog, the replacement's loading and first
    // check and the backup question; then the write, after the other questions.
    struct ChosenReplacement {
        std::unique_ptr<CDibImage> image;  // the replacement, owned by the command
        bool bTarga = false;
        bool bBackup = false;  // the backup question's answer
    };
    std::optional<ChosenReplacement> ChooseReplacement();
    bool ReplaceInCompressedBitmap(const ChosenReplacement& chosen);
    bool ReplaceRawImage(const ChosenReplacement& chosen);
    // Says where a backup went (nothing when none was made).
    void ReportBackup(const std::string& backupPath);
    // After a write: scans the file again and reads back what changed, keeping
    // the shown index. The textures after the shown one have moved by `shift` bytes.
    void ReloadAfterWrite(int64_t shift);

    std::unique_ptr<CHeldFolder> m_pTempFolder;
    std::string m_strTempDir;  // private folder for the temporary files, ending in '/'
    std::string m_strFilePath;
    std::string m_strOpenedPath;
    std::string m_strFileName;
    OpenFile m_file;
    std::string m_strLastDir;
    int m_nOpenFilterIndex = 1;  // the Open dialog's last chosen type, kept for the run

    std::string m_strTitle;
    std::string m_strTempDirError;  // why there is no private folder, or empty
    std::vector<IDocObserver*> m_observers;
    int m_nBusy = 0;
    bool m_bTexturesOnDemand = false;
    LinkPolicy m_linkPolicy = LinkPolicy::Ask;
    std::string m_strSaveAsDir;  // the folder last saved to; empty until then
    UndoSink m_undoSink;
    WorkRunner m_workRunner;
};
