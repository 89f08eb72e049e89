// The texture offsets around a write into the open model file: checked against
// a fresh scan before it, so no write goes through an offset that no longer
// points at its texture (also when another program changed the file), and
// taken anew after it, when a block of another size has moved the later ones.
#include <algorithm>

#include "doc/TavrelDoc.h"
#include "image/RawTexture.h"
#include "nif/TextureScanner.h"
#include "platform/File.h"
#include "platform/Format.h"
#include "platform/UiServices.h"

namespace {

constexpr char kWriteError[] = "Error writing file.\nFile: %s";
constexpr char kReadError[] = "Error reading file: %s";

// True when the fields describe the texture that the record was read from.
bool Describes(const RawTextureShape& shape, const CDibImage& record)
{
    const unsigned bitCount = shape.format == 1 ? 24 : 32;
    return static_cast<int64_t>(shape.width) == record.GetWidth() &&
        static_cast<int64_t>(shape.height) == record.GetHeight() && bitCount == record.GetBitCount();
}

// Scans the file; false when it cannot be opened or read.
bool Rescan(const std::string& path, std::vector<uint64_t>& offsets, std::vector<RawTextureShape>& shapes)
{
    try {
        CFile file;
        if (!file.Open(path, CFile::modeRead))
            return false;
        ScanRawImageData(file, offsets, shapes);
        return true;
    } catch (const CFileException&) {
        return false;
    }
}

}  // namespace

bool CTavrelDoc::CheckTexturesUnchanged(RawTextureShape& current)
{
    std::vector<uint64_t> offsets;
    std::vector<RawTextureShape> shapes;
    const CDibImage* record = CurrentRawImage();
    if (record && Rescan(m_strFilePath, offsets, shapes) && offsets == m_rawImageOffsets &&
        m_nCurrentImage < shapes.size() && Describes(shapes[m_nCurrentImage], *record)) {
        current = shapes[m_nCurrentImage];
        return true;
    }
    ShowMessage(FormatString(kWriteError, m_strFilePath.c_str()));
    return false;
}

void CTavrelDoc::ReloadAfterWrite(int64_t shift)
{
    const uint32_t shown = m_nCurrentImage;
    const std::vector<uint64_t> before = m_rawImageOffsets;
    std::vector<RawTextureShape> shapes;
    if (!Rescan(m_strFilePath, m_rawImageOffsets, shapes) || m_rawImageOffsets.empty()) {
        // The file is gone or holds no texture now: nothing of it may be shown.
        m_rawImageOffsets.clear();
        ReleaseRawImages();
        m_nRawImageCount = 0;
        m_nCurrentImage = 0;
        m_nFileKind = kFileKindNone;
        ShowMessage(FormatString(kReadError, m_strFileName.c_str()));
        return;
    }
    const size_t count = m_rawImageOffsets.size();
    bool onlyShownChanged = count == before.size() && count == m_pRawImages.size() && shown < count;
    for (size_t i = 0; onlyShownChanged && i < count; ++i) {
        const uint64_t expected = before[i] + static_cast<uint64_t>(i > shown ? shift : 0);
        onlyShownChanged = m_rawImageOffsets[i] == expected;
    }
    if (!onlyShownChanged) {
        LoadRawImages(m_strFilePath);
        m_nCurrentImage = std::min<uint32_t>(shown, m_nRawImageCount - 1);
        return;
    }
    // The other textures were copied byte for byte: their records still hold
    // what the file holds. Only the shown one is read again.
    m_pRawImages[shown].reset();
    m_pRawImages[shown] =
        std::make_unique<CDibImage>(m_strFilePath, kFileKindNif, m_rawImageOffsets[shown]);
    m_nRawImageCount = static_cast<uint32_t>(count);
}
