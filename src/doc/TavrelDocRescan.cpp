// The texture offsets after a write into the open model file: taken anew,
// when a block of another size has moved the later ones. (The write itself
// checks them against a fresh scan, so none goes through a stale offset.)
#include <algorithm>

#include "doc/DocTexts.h"
#include "doc/TavrelDoc.h"
#include "image/RawTexture.h"
#include "nif/TextureScanner.h"
#include "platform/File.h"
#include "platform/Format.h"
#include "platform/PathParts.h"
#include "platform/UiServices.h"

namespace {

// Scans the file; false when it cannot be opened or read.
bool Rescan(
    const std::string& path, std::vector<uint64_t>& offsets, std::vector<RawTextureShape>& shapes, uint64_t& length)
{
    try {
        CFile file;
        if (!file.Open(path, CFile::modeRead))
            return false;
        ScanRawImageData(file, offsets, shapes);
        length = file.GetLength();
        return true;
    } catch (const CFileException&) {
        return false;
    }
}

}  // namespace

void CTavrelDoc::ReloadAfterWrite(int64_t shift)
{
    ModelFile* model = Model();
    if (!model)
        return;
    const uint32_t shown = model->nCurrent;
    const std::vector<uint64_t>& before = model->textures.Offsets();
    TextureScan scan;
    if (!Rescan(m_strFilePath, scan.offsets, scan.shapes, scan.nLength) || scan.offsets.empty()) {
        // The file is gone or holds no texture now: nothing of it may be shown.
        m_file = NoFile{IsLargeFile()};
        // The model file, not the name that Save As wrote last.
        ShowMessage(FormatString(kReadError, FileNamePart(m_strFilePath).c_str()));
        return;
    }
    const size_t count = scan.offsets.size();
    bool onlyShownChanged = count == before.size() && shown < count;
    for (size_t i = 0; onlyShownChanged && i < count; ++i) {
        const uint64_t expected = before[i] + static_cast<uint64_t>(i > shown ? shift : 0);
        onlyShownChanged = scan.offsets[i] == expected;
    }
    if (!onlyShownChanged) {
        LoadRawImages(m_strFilePath, std::move(scan), shown);
        return;
    }
    // The other textures were copied byte for byte: their records still hold
    // what the file holds. Only the shown one is read again.
    model->textures.Moved(std::move(scan.offsets), std::move(scan.shapes), scan.nLength, shown);
    ShowTexture(shown);
}
