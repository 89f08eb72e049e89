#include "image/DibImage.h"

#include <cstring>
#include <new>

#include "image/BmzCodec.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"
#include "platform/HugePages.h"
#include "platform/ImageLimits.h"
#include "platform/MappedFile.h"

namespace {

// The most a bitmap's headers and colour table take at the start of its file.
constexpr size_t kBitmapStartBytes = sizeof(BITMAPFILEHEADER) + 1024 + 1024;
// Where an inflated bitmap file starts in its allocation: its block then starts 16 bytes in.
constexpr uint64_t kBmzFileAt = 16 - sizeof(BITMAPFILEHEADER);
// A caller that asked for a kind no reader of that constructor takes.
constexpr char kNotAnImageKind[] = "This kind of file cannot be read as an image.\nFile: %s";

std::string DecompressFailureText(BmzResult result, const std::string& reason, const std::string& path)
{
    if (result == BmzResult::kTooLarge)
        return FormatString(kImageTooLarge, path.c_str());
    // A file that could not be read or written: say why, the data may be sound.
    return reason.empty() ? "Error decompressing file" : "Error decompressing file\n" + reason;
}

}  // namespace

CDibImage::CDibImage()
{
    SetDefaults();
}

CDibImage::CDibImage(const std::string& path, FileKind kind, PngAlpha pngAlpha, const ImageLimits& limits)
    : m_limits(limits)
{
    SetDefaults();
    if (kind == FileKind::Bmp)
        ReadBmp(path);
    else if (kind == FileKind::Png)
        ReadPng(path, pngAlpha);
    else if (kind == FileKind::Tga)
        ReadTga(path);
    else
        Fail(kNotAnImageKind, path);
}

CDibImage::CDibImage(const std::string& path, FileKind kind, uint64_t offset, const ImageLimits& limits)
    : m_limits(limits)
{
    SetDefaults();
    if (kind == FileKind::Nif)
        ReadRawImage(path, offset);
    else if (kind == FileKind::Bmz)
        ReadBmz(path);
    else if (kind == FileKind::Tga)
        ReadTga(path);
    else
        Fail(kNotAnImageKind, path);
}

void CDibImage::ReadBmz(const std::string& path)
{
    // The headers first: they bound the output before anything large is read or allocated.
    BitmapStreamStart start;
    BmzResult result = InflateBitmapStart(path, kBitmapHeaderBytes, start, m_limits);
    // The compressed bytes are mapped, not copied, where the file allows it.
    CMappedFile mapped;
    ByteBuffer file;
    if (result == BmzResult::kOk && !mapped.Map(path, start.FileBytesNeeded()))
        result = ReadFileStart(path, start.FileBytesNeeded(), file, start.reason);
    uint64_t produced = 0;
    if (result == BmzResult::kOk) {
        // The bitmap file goes kBmzFileAt bytes in, so that the block after its
        // 14-byte file header starts as aligned as a block of its own.
        const uint64_t bound = start.InflatedBound();
        uint8_t* bytes = AllocateBlock(kBmzFileAt + bound);
        const uint8_t* in = mapped.Data() ? mapped.Data() : file.bytes.get();
        const size_t inBytes = mapped.Data() ? mapped.Size() : file.size;
        result = InflateBmzStream(in, inBytes, bytes + kBmzFileAt, bound, produced);
    }
    file = ByteBuffer{};
    mapped.Unmap();
    if (result != BmzResult::kOk)
        AfxThrowUserException(DecompressFailureText(result, start.reason, path));
    AdoptBmpBlock(kBmzFileAt, produced, path);
}

CDibImage::~CDibImage() = default;

DibShape CDibImage::ReadShape(const std::string& path, FileKind kind, const ImageLimits& limits)
{
    switch (kind) {
    case FileKind::Bmp: return ReadBmpShape(path, limits);
    case FileKind::Bmz: return ReadBmzShape(path, limits);
    case FileKind::Png: return ReadPngShape(path, limits);
    case FileKind::Tga: return ReadTgaShape(path, limits);
    default: return {};
    }
}

DibShape CDibImage::ReadBmzShape(const std::string& path, const ImageLimits& limits)
{
    BitmapStreamStart start;
    const BmzResult result = InflateBitmapStart(path, kBitmapStartBytes, start, limits);
    if (result != BmzResult::kOk)
        AfxThrowUserException(DecompressFailureText(result, start.reason, path));
    return ReadBmpShape(start.bytes.data(), start.bytes.size(), start.declaredSize, path, limits);
}

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
    m_nBlockOffset = 0;
    m_nDibSize = 0;
    if (bytes == 0 || bytes > SIZE_MAX)
        AfxThrowMemoryException();
    uint8_t* block = new (std::nothrow) uint8_t[static_cast<size_t>(bytes)];
    if (!block)
        AfxThrowMemoryException();
    AdviseHugePages(block, static_cast<size_t>(bytes));
    m_hDib.reset(block);
    m_nDibSize = bytes;
    return block;
}

void CDibImage::DeriveLayout(uint32_t colorTableBytes, uint32_t paletteEntries)
{
    uint8_t* block = Block();
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
    ThrowRefusal(text, path);
}
