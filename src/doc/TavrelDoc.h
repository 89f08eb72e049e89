#pragma once
// The one document: the open file, its kind, the image records it owns, the
// texture offsets of an open model file and which texture is shown; and the
// commands that open files and step through textures.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "doc/CmdTarget.h"
#include "doc/DocObserver.h"
#include "image/DibImage.h"

class CFile;

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
    // The framework's new-document processing: a fresh title, nothing else.
    bool OnNewDocument();

    // Open: the file dialog, then LoadFile.
    void OnFileOpen();
    // Loads a chosen file by its extension, as Open does after its dialog.
    // Used by the command line, drag and drop and the command-line tool.
    void LoadFile(const std::string& path);
    void OnNextImage();
    void OnPreviousImage();
    void OnUpdateNextPrevImage(CCmdUI* pCmdUI);
    void OnUpdateFileOpen(CCmdUI* pCmdUI);

    // The record that the view shows and the commands work on, or null.
    CDibImage* GetActiveImage() const;

    uint32_t FindRawImageData(CFile* pFile);
    uint64_t FindImageLink(CFile* pFile);

    void ReleaseRawImages();
    void ReleaseCurrentRawImage();
    void ReleaseBmpImage();
    void ReleaseBmzImage();
    void ReleasePngImage();
    void ReleaseTgaImage();

    static std::string GetCurrentDir();

    // False, after saying why, when the document has no private folder for its
    // temporary files (then it loads nothing).
    bool CheckPrivateFolder();

    // True while a load or a write is under way (the user interface may run
    // in between); commands that change the document are held off meanwhile.
    bool IsBusy() const { return m_nBusy > 0; }

    // Fields, public in the framework's manner.
    std::string m_strModuleDir;             // the program's own folder, ending in '/'
    std::string m_strTempDir;               // private folder for the temporary files, ending in '/'
    std::string m_strFilePath;
    std::string m_strTempBitmapPath;
    std::string m_strTempCompressedPath;
    std::string m_strBackupPath;
    std::string m_strFileName;
    std::string m_strFileExt;
    std::string m_strFilter;
    std::string m_strMessage;
    std::vector<uint64_t> m_rawImageOffsets;
    BITMAPINFO* m_pReplaceInfo = nullptr;
    bool m_bLargeFile = false;
    uint8_t* m_pReplaceBits = nullptr;
    std::vector<std::unique_ptr<CDibImage>> m_pRawImages;   // one per texture, no fixed limit
    std::unique_ptr<CDibImage> m_pBmpImage;
    std::unique_ptr<CDibImage> m_pBmzImage;
    std::unique_ptr<CDibImage> m_pPngImage;
    std::unique_ptr<CDibImage> m_pTgaImage;
    uint32_t m_nRawImageCount = 0;
    uint32_t m_nCurrentImage = 0;
    uint32_t m_nReplaceFileSize = 0;
    std::string m_strLastDir;
    uint32_t m_nFileKind = kFileKindNone;

    // A model file longer than this enables Create Map Bitmap.
    static constexpr uint64_t kLargeFileSize = 3000000;

protected:
    // Marks the document busy for its lifetime.
    class CBusyScope {
    public:
        explicit CBusyScope(CTavrelDoc& doc) : m_doc(doc) { ++m_doc.m_nBusy; }
        ~CBusyScope() { --m_doc.m_nBusy; }
        CBusyScope(const CBusyScope&) = delete;
        CBusyScope& operator=(const CBusyScope&) = delete;
    private:
        CTavrelDoc& m_doc;
    };

private:
    // False when the load stopped early, before the views are to be told.
    bool LoadModelFile();
    // Scans for texture blocks; a file error is reported and leaves no textures.
    bool ScanInto(CFile& file);
    void LoadRawImages(const std::string& path);
    void ShowMessage(const std::string& text);

    std::string m_strTitle;
    std::string m_strTempDirError;   // why there is no private folder, or empty
    std::vector<IDocObserver*> m_observers;
    int m_nBusy = 0;
};
