#pragma once
// The one in-memory image type: a device-independent bitmap (info header,
// colour table or bit masks, bottom-up rows padded to 4 bytes) in one block,
// with the 14-byte header of the BMP file that the image would be written as.
// A record is built and loaded in one step: a constructor that returns holds
// an image, a failed read throws (a CUserException with the reader's text, a
// CFileException with the system's reason, or a CMemoryException) and shows
// nothing. Records are never copied.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/FileKind.h"
#include "platform/BitmapTypes.h"
#include "platform/ImageLimits.h"

#pragma pack(push, 1)
struct TgaHeader {
    uint8_t idLength;
    uint8_t colorMapType;
    uint8_t imageType;
    uint8_t colorMapSpec[5];
    uint16_t xOrigin;
    uint16_t yOrigin;
    uint16_t width;
    uint16_t height;
    uint8_t pixelDepth;
    uint8_t imageDescriptor;
};
struct TgaFooter {
    uint32_t extensionOffset;
    uint32_t developerOffset;
    char signature[18];  // "TRUEVISION-XFILE" "." NUL
};
#pragma pack(pop)
static_assert(sizeof(TgaHeader) == 18);
static_assert(sizeof(TgaFooter) == 26);

struct BmpLayout;

// Whether PNG reading and writing carry an alpha channel. The plain PNG
// reader and writer drop it; the program's own exports and Import keep it.
enum class PngAlpha { Drop, Keep };

// How a writer writes: the threads a PNG's encoding may use (0: one per
// hardware thread; 1 when the caller keeps every core busy with writes of its
// own; the file is the same for any), and whether a new file may go without
// its own sync because the batch it belongs to syncs its folder at the end.
struct ImageWriteOptions {
    unsigned nPngThreads = 0;
    bool bDeferSyncIfNew = false;
};

// What a file's headers say of the record its reader would build.
struct DibShape {
    int32_t width = 0;
    int32_t height = 0;
    unsigned bitCount = 0;
};

class CDibImage {
public:
    // Loads a BMP (kind 0), PNG (kind 3) or Targa (kind 5) file; any other kind is refused.
    // With PngAlpha::Keep a PNG with an alpha channel or a transparent colour
    // (tRNS) becomes a 32-bit record with its alpha; other PNGs read as without.
    // Each read takes the limits it is given (by default the process's).
    CDibImage(const std::string& path, FileKind kind, PngAlpha pngAlpha = PngAlpha::Drop,
        const ImageLimits& limits = GetImageLimits());
    // Loads the texture at offset of a model file (kind 2), or a compressed
    // bitmap (kind 1, inflated in memory), or a Targa file (kind 5); any other kind is refused.
    CDibImage(const std::string& path, FileKind kind, uint64_t offset, const ImageLimits& limits = GetImageLimits());
    ~CDibImage();
    CDibImage(const CDibImage&) = delete;
    CDibImage& operator=(const CDibImage&) = delete;

    // Queries; all but GetBitmapInfo are meaningful only when it is not null
    // (a record made by CreateBlank24 or read always has an image).
    // GetBitmapInfo is also the start of the block; the commands change pixels
    // in place through GetBits and never reallocate the block.
    BITMAPINFO* GetBitmapInfo() const { return m_pBitmapInfo; }
    uint8_t* GetBits() const { return m_pBits; }
    int32_t GetWidth() const { return m_pInfoHeader ? m_pInfoHeader->biWidth : 0; }
    int32_t GetHeight() const { return m_pInfoHeader ? m_pInfoHeader->biHeight : 0; }
    unsigned GetBitCount() const { return m_pInfoHeader ? m_pInfoHeader->biBitCount : 0u; }
    uint32_t GetImageSize() const { return m_pInfoHeader ? m_pInfoHeader->biSizeImage : 0u; }
    uint32_t GetFileSize() const { return m_fileHeader.bfSize; }
    uint32_t GetStride() const { return m_nStride; }
    const RGBQUAD* GetColorTable() const { return m_pColorTable; }
    const BITMAPFILEHEADER& GetFileHeader() const { return m_fileHeader; }
    // Bytes in the block (header, colour table, rows); 0 when there is none.
    uint64_t GetBlockSize() const { return m_hDib ? m_nDibSize : 0; }
    uint32_t GetPaletteEntries() const { return m_nPaletteEntries; }
    // Bytes between the info header and the rows: the palette, or three masks.
    uint32_t GetColorTableBytes() const { return m_nColorTableBytes; }
    // The Targa header template, as a Targa reader fills it.
    const TgaHeader& GetTgaHeader() const { return m_tgaHeader; }
    // The first text entry after a PNG file's image data; empty when none.
    const std::string& GetTextKey() const { return m_strTextKey; }
    // What its reader noticed of an image it did read (a texture of an unknown
    // format, kept as its bytes stand); empty when nothing.
    const std::string& GetNotice() const { return m_strNotice; }
    const char* GetTextValue() const { return m_pTextValue ? m_pTextValue.get() : ""; }

    // A record made in memory rather than read: 24 bits per pixel, every row
    // black. Throws CMemoryException.
    static std::unique_ptr<CDibImage> CreateBlank24(int32_t width, int32_t height);
    // A record without an image: what a document keeps for a read that failed,
    // so that the failure is known (and not shown again).
    static std::unique_ptr<CDibImage> CreateEmpty();

    // The shape of the image in a BMP, compressed bitmap, PNG or Targa file,
    // from its headers alone, checked as its reader checks them (a compressed
    // bitmap's stream is inflated only as far as its headers). Damage past the
    // headers goes unseen. Throws the reader's refusal, as a CUserException.
    static DibShape ReadShape(const std::string& path, FileKind kind, const ImageLimits& limits = GetImageLimits());

    // Writers: refusals and failed writes leave by an exception (a
    // CUserException with the text to show, or a CFileException).
    void WriteBmp(const std::string& path, const ImageWriteOptions& options = {}) const;
    void WriteTga(const std::string& path, const ImageWriteOptions& options = {}) const;
    // PngAlpha::Keep writes a 32-bit record as 8-bit RGBA with its alpha as
    // held, unless every alpha byte is 0 (a bitmap that leaves the fourth byte
    // unused), which would write an invisible picture: that goes out as RGB.
    void WritePngFile(
        const std::string& path, PngAlpha alpha = PngAlpha::Drop, const ImageWriteOptions& options = {}) const;

private:
    friend class DibBuilder;  // the tests' records built in memory

    CDibImage();
    void SetDefaults();

    // Readers, run by the constructors on an empty record. Each throws a
    // CUserException with its text on a refusal.
    void ReadBmp(const std::string& path);
    // A bitmap file held in memory; path names it in messages.
    void ReadBmpFromMemory(const uint8_t* bytes, uint64_t size, const std::string& path);
    // Inflates a compressed bitmap into the block and reads the bitmap from there.
    void ReadBmz(const std::string& path);
    // Reads the bitmap file of size bytes that lies `at` bytes into m_hDib, in place where it can.
    void AdoptBmpBlock(uint64_t at, uint64_t size, const std::string& path);
    template <typename Source>
    void ReadBmpBlock(
        Source& source, const std::vector<uint8_t>& header, const BmpLayout& layout, const std::string& path);
    void FinishBmpBlock(const std::vector<uint8_t>& header, const BmpLayout& layout);
    // Uncompressed and run-length true-colour Targa files of 24 and 32 bits.
    void ReadTga(const std::string& path);
    void ReadPng(const std::string& path, PngAlpha alpha = PngAlpha::Drop);
    void BuildDibFromPng(uint32_t width, uint32_t height, uint16_t bitCount, bool grey);
    void ReadRawImage(const std::string& path, uint64_t offset);
    static DibShape ReadBmpShape(const std::string& path, const ImageLimits& limits);
    // From a bitmap file's first bytes, for a file of fileSize bytes.
    static DibShape ReadBmpShape(
        const uint8_t* bytes, size_t size, uint64_t fileSize, const std::string& path, const ImageLimits& limits);
    static DibShape ReadBmzShape(const std::string& path, const ImageLimits& limits);
    static DibShape ReadPngShape(const std::string& path, const ImageLimits& limits);
    static DibShape ReadTgaShape(const std::string& path, const ImageLimits& limits);

    uint8_t* Block() const { return m_hDib.get() + m_nBlockOffset; }
    // Allocates a block of the given size as m_hDib; throws CMemoryException.
    uint8_t* AllocateBlock(uint64_t bytes);
    // Sets the pointers, stride and file header from the block's info header,
    // with the colour table of colorTableBytes right after it.
    void DeriveLayout(uint32_t colorTableBytes, uint32_t paletteEntries);
    // Throws a CUserException with the text, the path put in where it has "%s".
    [[noreturn]] static void Fail(const char* text, const std::string& path);

    BITMAPFILEHEADER m_fileHeader{};
    BITMAPINFO* m_pBitmapInfo = nullptr;  // null: no image
    BITMAPINFOHEADER* m_pInfoHeader = nullptr;
    std::unique_ptr<uint8_t[]> m_hDib;  // holds the block: header, colour table, rows
    uint64_t m_nBlockOffset = 0;  // where the block starts in m_hDib
    uint64_t m_nDibSize = 0;  // bytes in the block
    RGBQUAD* m_pColorTable = nullptr;
    uint8_t* m_pBits = nullptr;
    uint32_t m_nPaletteEntries = 0;
    uint32_t m_nColorTableBytes = 0;
    std::string m_strTextKey;
    std::string m_strNotice;
    std::unique_ptr<char[]> m_pTextValue;
    uint32_t m_nStride = 0;
    ImageLimits m_limits;  // of the read that made the record
    TgaHeader m_tgaHeader{};
    TgaFooter m_tgaFooter{};
};
