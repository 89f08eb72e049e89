#pragma once
// The one in-memory image type: a device-independent bitmap (info header,
// colour table or bit masks, bottom-up rows padded to 4 bytes) in one block,
// with the 14-byte header of the BMP file that the image would be written as.
// A record is built and loaded in one step; a failed load leaves it empty
// (GetBitmapInfo() returns nullptr). Records are never copied.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/BitmapTypes.h"

struct png_struct_def;
struct png_info_def;

// File kinds, as the document numbers them.
enum FileKind : int {
    kFileKindBmp = 0,
    kFileKindBmz = 1,
    kFileKindNif = 2,
    kFileKindPng = 3,
    kFileKindNone = 4,
    kFileKindTga = 5,
};

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
    char signature[18];   // "TRUEVISION-XFILE" "." NUL
};
#pragma pack(pop)
static_assert(sizeof(TgaHeader) == 18);
static_assert(sizeof(TgaFooter) == 26);

class CDibImage {
public:
    // Loads a BMP (kind 0), PNG (kind 3) or Targa (kind 5) file; any other kind loads nothing.
    CDibImage(const std::string& pszPath, int nKind);
    // Loads the texture at dwOffset of a model file (kind 2), or decompresses a
    // compressed bitmap (kind 1) into pszTempPath and reads it from there, or
    // loads a Targa file (kind 5).
    CDibImage(const std::string& pszPath, int nKind, const std::string& pszTempPath, uint64_t dwOffset);
    // An empty record of the given size and depth, rows zeroed (for images built in memory).
    CDibImage(int32_t width, int32_t height, uint16_t bitCount);
    ~CDibImage();
    CDibImage(const CDibImage&) = delete;
    CDibImage& operator=(const CDibImage&) = delete;

    // Queries; all but GetBitmapInfo are meaningful only when it is not null.
    BITMAPINFO* GetBitmapInfo() const { return m_pBitmapInfo; }
    uint8_t* GetBits() const { return m_pBits; }
    int32_t GetWidth() const { return m_pInfoHeader ? m_pInfoHeader->biWidth : 0; }
    int32_t GetHeight() const { return m_pInfoHeader ? m_pInfoHeader->biHeight : 0; }
    unsigned GetBitCount() const { return m_pInfoHeader ? m_pInfoHeader->biBitCount : 0u; }
    uint32_t GetImageSize() const { return m_pInfoHeader ? m_pInfoHeader->biSizeImage : 0u; }
    uint32_t GetFileSize() const { return m_fileHeader.bfSize; }
    uint32_t GetStride() const { return m_nStride; }
    const RGBQUAD* GetColorTable() const { return m_pColorTable; }

    // BMP and Targa.
    void ReadBmp(const std::string& path);
    void WriteBmp(const std::string& path);
    void WriteTga(const std::string& path);
    // Uncompressed and run-length true-colour Targa files of 24 and 32 bits.
    void ReadTga(const std::string& path);
    // PNG.
    void ReadPng(const std::string& path);
    void BuildDibFromPng();
    void LoadPngPalette();
    bool WritePng(const std::string& path);
    void WritePngFile(const std::string& path);
    // A raw texture of a model file.
    void ReadRawImage(const std::string& pszPath, uint64_t dwOffset);

    // Fields, public in the framework's manner: the commands and the tests read them.
    BITMAPFILEHEADER m_fileHeader{};
    BITMAPINFO* m_pBitmapInfo = nullptr;        // null: no image
    BITMAPINFOHEADER* m_pInfoHeader = nullptr;
    std::unique_ptr<uint8_t[]> m_hDib;          // the block: header, colour table, rows
    uint64_t m_nDibSize = 0;                    // bytes in m_hDib
    RGBQUAD* m_pColorTable = nullptr;
    uint8_t* m_pBits = nullptr;
    uint32_t m_nPaletteEntries = 0;
    uint32_t m_nColorTableBytes = 0;
    std::string m_strTextKey;
    std::unique_ptr<char[]> m_pTextValue;
    png_struct_def* m_pPng = nullptr;
    png_info_def* m_pPngInfo = nullptr;
    png_info_def* m_pPngEndInfo = nullptr;
    const void* m_pPngPalette = nullptr;        // png_color entries during a read
    uint32_t m_nPngWidth = 0;
    uint32_t m_nPngHeight = 0;
    int32_t m_nWriteFormat = 0;
    int32_t m_nPngBitDepth = 0;
    int32_t m_nPngColorType = 0;
    int32_t m_nPngInterlace = 0;
    uint32_t m_nStride = 0;
    const RGBQUAD* m_pWriteColorTable = nullptr;
    std::string m_strMessage;
    uint64_t m_nFileSize = 0;
    TgaHeader m_tgaHeader{};
    TgaFooter m_tgaFooter{};

    // Allocates a zeroed block of the given size as m_hDib; throws CMemoryException.
    uint8_t* AllocateBlock(uint64_t bytes);
    // Sets the pointers, stride and file header from the block's info header,
    // with the colour table of colorTableBytes right after it.
    void DeriveLayout(uint32_t colorTableBytes, uint32_t paletteEntries);

private:
    void SetDefaults();
    // Shows the message with the path (if the text has "%s") and throws CUserException.
    [[noreturn]] void Fail(const char* text, const std::string& path);
};
