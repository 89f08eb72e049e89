// The window's textures read on demand: which records the cache holds within
// its bounds, that each holds its texture's pixels, that a failed read speaks
// once, and that a failed open brings back the file with its textures.
#include <gtest/gtest.h>

#include <cstring>

#include "NifBuilder.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "doc/TavrelDoc.h"
#include "doc/TextureCache.h"
#include "image/DibImage.h"
#include "nif/TextureScanner.h"
#include "platform/File.h"

namespace {

using Texts = std::vector<std::string>;

// Five 16 x 16 textures, the last of them cut short by the end of the file.
struct CutModel {
    TempDir dir;
    std::string path = dir.File("cut.nif");
    std::vector<uint64_t> offsets;
    std::vector<RawTextureShape> shapes;
    uint64_t length = 0;

    CutModel()
    {
        NifBuilder nif;
        for (uint8_t i = 0; i < 4; ++i)
            nif.Filler(3).Texture(16, 16, i % 2 ? 2 : 1, uint8_t(10 * i + 1));
        nif.Texture(16, 16, 1, std::vector<uint8_t>(100, 7));
        nif.Save(path);
        CFile file;
        file.Open(path, CFile::modeRead);
        ScanRawImageData(file, offsets, shapes);
        length = file.GetLength();
    }
};

// True when the record holds just what a read of the texture on its own gives.
bool HoldsTexture(const CDibImage* record, const CutModel& model, uint32_t index)
{
    const CDibImage direct(model.path, FileKind::Nif, model.offsets[index]);
    return record && record->GetBitmapInfo() && record->GetBlockSize() == direct.GetBlockSize() &&
        std::memcmp(record->GetBitmapInfo(), direct.GetBitmapInfo(), direct.GetBlockSize()) == 0;
}

}  // namespace

TEST(TextureCache, HoldsTheShownAndTheLatestWithinItsBoundsAndSpeaksOncePerFailure)
{
    CutModel model;
    ScriptedUi ui;
    const uint64_t oneRecord = CDibImage(model.path, FileKind::Nif, model.offsets[1]).GetBlockSize();
    struct Row {
        CTextureCache::Limits limits;
        std::vector<uint32_t> held;  // after reading 0 to 3 with 0 shown
    };
    const Row rows[] = {
        {{2, 1 << 20}, {0, 3}},  // by count
        {{8, oneRecord}, {0, 3}},  // by bytes: the newest stays, and the shown one
        {{8, 1 << 20}, {0, 1, 2, 3}},
    };
    for (const Row& row : rows) {
        CTextureCache cache(row.limits);
        cache.Reset(model.path, model.offsets, model.shapes, model.length);
        for (uint32_t i = 0; i < 4; ++i)
            EXPECT_TRUE(HoldsTexture(cache.Get(i, 0), model, i)) << i;
        for (uint32_t i = 0; i < 4; ++i) {
            const bool held = std::find(row.held.begin(), row.held.end(), i) != row.held.end();
            EXPECT_EQ(cache.Find(i) != nullptr, held) << i << " of " << row.limits.nRecords;
        }
        uint64_t bytes = 0;
        for (uint32_t i : row.held)
            bytes += CDibImage(model.path, FileKind::Nif, model.offsets[i]).GetBlockSize();
        EXPECT_EQ(cache.HeldBytes(), bytes);
    }

    CTextureCache cache({2, 1 << 20});
    cache.Reset(model.path, model.offsets, model.shapes, model.length);
    EXPECT_FALSE(cache.LooksReadable(4));
    EXPECT_EQ(cache.Read(4), nullptr);
    EXPECT_TRUE(ui.Texts().empty());
    for (uint32_t i : {4u, 0u, 1u, 2u, 4u})
        cache.Get(i, 0);
    EXPECT_EQ(ui.Texts(), Texts{"Error reading file.\nFile: " + model.path});
    EXPECT_FALSE(cache.Get(4, 0)->GetBitmapInfo());
}

TEST(TextureCache, TheDocumentReadsTheShownTextureAndKeepsItsFileWhenAnOpenFails)
{
    CutModel model;
    ScriptedUi ui;
    CTavrelDoc doc;
    ASSERT_EQ(doc.LoadFile(model.path), LoadResult::kLoaded);
    // Open reads the first texture only; the rows of the others come from their fields.
    EXPECT_TRUE(HoldsTexture(doc.GetActiveImage(), model, 0));
    EXPECT_EQ(doc.HeldTextureAt(1), nullptr);
    EXPECT_EQ(doc.ImageCount(), 5u);
    EXPECT_EQ(*doc.TextureShapeAt(3), (RawTextureShape{16, 16, 2}));
    EXPECT_TRUE(ui.Texts().empty());
    ASSERT_TRUE(doc.SelectImage(3));
    EXPECT_TRUE(HoldsTexture(doc.GetActiveImage(), model, 3));
    EXPECT_TRUE(HoldsTexture(doc.ImageAt(2), model, 2));
    EXPECT_TRUE(HoldsTexture(doc.ReadTexture(1).get(), model, 1));
    // The cut texture speaks when it is shown, once.
    doc.OnNextImage();
    EXPECT_EQ(doc.GetActiveImage()->GetBitmapInfo(), nullptr);
    doc.OnNextImage();
    doc.OnPreviousImage();
    EXPECT_EQ(ui.Texts(), Texts{"Error reading file.\nFile: " + model.path});

    // A file that cannot be opened leaves the model file, its textures still read as they were.
    doc.SelectImage(1);
    EXPECT_EQ(doc.LoadFile(model.dir.File("missing.nif")), LoadResult::kFailedAndReported);
    EXPECT_EQ(doc.GetFilePath(), model.path);
    EXPECT_TRUE(HoldsTexture(doc.GetActiveImage(), model, 1));
    doc.OnNextImage();
    EXPECT_TRUE(HoldsTexture(doc.GetActiveImage(), model, 2));
    // So does a picture whose read fails, and the load is not taken for a success.
    WriteFileBytes(model.dir.File("bad.png"), {1, 2, 3});
    EXPECT_EQ(doc.LoadFile(model.dir.File("bad.png")), LoadResult::kFailedAndReported);
    EXPECT_EQ(doc.GetRawImageOffsets(), model.offsets);
    EXPECT_TRUE(HoldsTexture(doc.GetActiveImage(), model, 2));
}
