#include "image/DibImage.h"

#include <cstring>
#include <new>

#include "image/ZlibFileCodec.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"
#include "platform/ImageLimits.h"
#include "platform/UiServices.h"

namespace {

// Runs a reader; a failure leaves the record empty and never escapes.
template <typename Reader>
void GuardedLoad(CDibImage& image, Reader&& reader)
{
    try {
        reader();
    } catch (const CUserException&) {
        image.m_pBitmapInfo = nullptr;   // the reader has shown its message
    } catch (const CException& e) {
        e.ReportError();
        image.m_pBitmapInfo = nullptr;
    } catch (const std::bad_alloc&) {
        CMemoryException().ReportError();
        image.m_pBitmapInfo = nullptr;
    }
    if (!image.m_pBitmapInfo)
        image.m_pInfoHeader = nullptr;
}

}  // namespace

CDibImage::CDibImage(const std::string& pszPath, int nKind)
{
    SetDefaults();
    if (nKind == kFileKindBmp) {
        GuardedLoad(*this, [&] { ReadBmp(pszPath); });
    } else if (nKind == kFileKindPng) {
        GuardedLoad(*this, [&] {
            ReadPng(pszPath);
            BuildDibFromPng();
        });
    }
}

CDibImage::CDibImage(const std::string& pszPath, int nKind, const std::string& pszTempPath, uint64_t dwOffset)
{
    SetDefaults();
    if (nKind == kFileKindNif) {
        GuardedLoad(*this, [&] { ReadRawImage(pszPath, dwOffset); });
    } else if (nKind == kFileKindBmz) {
        int result;
        std::string reason;
        {
            CZlibFileCodec codec;
            codec.m_bBitmapStream = true;
            result = codec.DecompressFile(pszPath, pszTempPath);
            reason = codec.m_strFileError;
        }
        if (result == 0)
            GuardedLoad(*this, [&] { ReadBmp(pszTempPath); });
        else if (result == kCodecImageTooLarge)
            AfxMessageBox(FormatString(kImageTooLarge, pszPath.c_str()), MB_OK);
        else   // a file that could not be read or written: say why, the data may be sound
            AfxMessageBox(reason.empty() ? "Error decompressing file" : "Error decompressing file\n" + reason, MB_OK);
    }
}

CDibImage::CDibImage(int32_t width, int32_t height, uint16_t bitCount)
{
    SetDefaults();
    if (width <= 0 || height <= 0)
        return;
    const uint32_t entries = bitCount <= 8 ? (1u << bitCount) : 0u;
    const uint64_t stride = DibStride(static_cast<uint64_t>(width), bitCount);
    const uint64_t bytes = sizeof(BITMAPINFOHEADER) + 4ull * entries + stride * static_cast<uint64_t>(height);
    if (stride * static_cast<uint64_t>(height) > 0xFFFFFFFFull - 2048)
        return;
    uint8_t* block = new (std::nothrow) uint8_t[bytes]();
    if (!block)
        return;
    m_hDib.reset(block);
    m_nDibSize = bytes;
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(block);
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = width;
    header->biHeight = height;
    header->biPlanes = 1;
    header->biBitCount = bitCount;
    header->biCompression = BI_RGB;
    header->biSizeImage = static_cast<uint32_t>(stride * static_cast<uint64_t>(height));
    header->biClrUsed = entries;
    DeriveLayout(4 * entries, entries);
}

CDibImage::~CDibImage() = default;

void CDibImage::SetDefaults()
{
    m_tgaHeader = TgaHeader{};
    m_tgaHeader.imageType = 2;
    m_tgaHeader.pixelDepth = 32;
    m_tgaFooter = TgaFooter{};
    std::memcpy(m_tgaFooter.signature, "TRUEVISION-XFILE.", 18);
}

uint8_t* CDibImage::AllocateBlock(uint64_t bytes)
{
    m_hDib.reset();
    m_nDibSize = 0;
    if (bytes == 0 || bytes > SIZE_MAX)
        AfxThrowMemoryException();
    uint8_t* block = new (std::nothrow) uint8_t[static_cast<size_t>(bytes)];
    if (!block)
        AfxThrowMemoryException();
    m_hDib.reset(block);
    m_nDibSize = bytes;
    return block;
}

void CDibImage::DeriveLayout(uint32_t colorTableBytes, uint32_t paletteEntries)
{
    uint8_t* block = m_hDib.get();
    m_pBitmapInfo = reinterpret_cast<BITMAPINFO*>(block);
    m_pInfoHeader = reinterpret_cast<BITMAPINFOHEADER*>(block);
    const BITMAPINFOHEADER& h = *m_pInfoHeader;
    m_nPaletteEntries = paletteEntries;
    m_nColorTableBytes = colorTableBytes;
    m_pColorTable = reinterpret_cast<RGBQUAD*>(block + h.biSize);
    m_pBits = block + h.biSize + colorTableBytes;
    m_nStride = static_cast<uint32_t>(DibStride(static_cast<uint32_t>(h.biWidth), h.biBitCount));
    m_fileHeader.bfType = kBitmapSignature;
    m_fileHeader.bfReserved1 = 0;
    m_fileHeader.bfReserved2 = 0;
    m_fileHeader.bfOffBits = static_cast<uint32_t>(sizeof(BITMAPFILEHEADER) + h.biSize + colorTableBytes);
    m_fileHeader.bfSize = static_cast<uint32_t>(static_cast<uint64_t>(h.biHeight) * m_nStride + m_fileHeader.bfOffBits);
}

void CDibImage::Fail(const char* text, const std::string& path)
{
    m_strMessage = std::strstr(text, "%s") ? FormatString(text, path.c_str()) : std::string(text);
    AfxMessageBox(m_strMessage, MB_OK);
    AfxThrowUserException();
}
