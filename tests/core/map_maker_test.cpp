// The map of a large model file: which textures are offered, the toggle
// cycle of a cell, and the written bitmap compared with the tiles byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "BmpBuilder.h"
#include "FileSizeLimit.h"
#include "NifBuilder.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "doc/MapMaker.h"
#include "doc/TavrelDoc.h"

namespace {

// A model file of 20 tiles (RGB and RGBA, each its own pattern) among
// textures of other sizes, opened in a document.
struct MapModel {
    TempDir dir;
    ScriptedUi ui;
    CTavrelDoc doc;
    std::vector<std::vector<uint8_t>> tilePixels;  // block order: top row first, RGB(A)
    std::vector<uint32_t> tileFormats;

    MapModel()
    {
        NifBuilder nif;
        const auto tile = [&](uint32_t format) {
            tilePixels.push_back(NifBuilder::PatternPixels(256, 256, format, uint8_t(40 + 13 * tilePixels.size())));
            tileFormats.push_back(format);
            nif.Filler(5).Texture(256, 256, format, tilePixels.back());
        };
        nif.Texture(256, 128, 1, 1);
        for (int i = 0; i < 5; ++i)
            tile(i % 2 ? 2 : 1);
        nif.Filler(3).Texture(512, 512, 1, 2);
        nif.Texture(128, 256, 2, 3);
        for (int i = 5; i < 20; ++i)
            tile(i % 3 ? 1 : 2);
        // Height -256 as a file would store it: the reader refuses it.
        nif.Filler(7).Texture(256, 0xFFFFFF00u, 1, std::vector<uint8_t>(256 * 3, 9));
        nif.Save(dir.File("map.nif"));
        doc.LoadFile(dir.File("map.nif"));
    }
};

// The map file that the cells must give, worked out from the block pixels.
std::vector<uint8_t> ExpectedMapFile(const MapModel& model, const std::vector<int>& cellTiles)
{
    std::vector<uint8_t> rgb(1024 * 3072, 0);  // block order; empty cells black
    for (size_t y = 0; y < 1024; ++y)
        for (size_t x = 0; x < 1024; ++x)
            if (const int tile = cellTiles[y / 256 * 4 + x / 256]; tile >= 0)
                std::copy_n(&model.tilePixels[size_t(tile)][(y % 256 * 256 + x % 256) *
                                (model.tileFormats[size_t(tile)] == 1 ? 3 : 4)],
                    3, &rgb[(y * 1024 + x) * 3]);
    return BuildBmp({.width = 1024,
        .height = 1024,
        .sizeImage = 1024 * 3072,
        .pixels = NifBuilder::BlockToDib(rgb, 1024, 1024, 1)});
}

}  // namespace

TEST(MapMaker, OffersTheFirstSixteenTilesInFileOrderAndCyclesEachCell)
{
    MapModel model;
    const MapCandidates found = CollectMapCandidates(model.doc);
    const std::vector<const CDibImage*>& candidates = found.images;
    // Only the tiles were read, quietly; the unreadable texture speaks when it is shown.
    EXPECT_EQ(found.indices, (std::vector<uint32_t>{1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}));
    EXPECT_TRUE(model.ui.Texts().empty());
    ASSERT_TRUE(model.doc.SelectImage(model.doc.ImageCount() - 1));
    EXPECT_EQ(model.ui.Texts(), (std::vector<std::string>{"Error reading file.\nFile: " + model.dir.File("map.nif")}));
    ASSERT_EQ(candidates.size(), 16u);  // which and in what order: the written map's pixels

    // Sixteen candidates fill the cells in order (the dialog's test toggles them); with
    // fewer, the cells past the candidates start empty, and empty joins the cycle.
    CMapCells cells(candidates);
    EXPECT_EQ(cells.GetCellImage(7), candidates[7]);
    ASSERT_TRUE(cells.Toggle(15));  // after the last, the first: no empty step when all are there
    EXPECT_EQ(cells.GetCell(15), 0);
    CMapCells few({candidates[0], candidates[1], candidates[2]});
    std::vector<int> seen;
    for (int step = 0; step < 5; ++step, few.Toggle(1))
        seen.push_back(few.GetCell(1));
    EXPECT_EQ(seen, (std::vector<int>{1, 2, CMapCells::kEmpty, 0, 1}));
    EXPECT_EQ(few.GetCellImage(3), nullptr);
    few.Toggle(3);
    EXPECT_EQ(few.GetCell(3), 0);
    EXPECT_FALSE(few.SetCell(4, 3));

    // A model file that is not open offers nothing.
    EXPECT_TRUE(CollectMapCandidates(CTavrelDoc()).images.empty());
}

TEST(MapMaker, WrittenBitmapHoldsTheTilesOfEveryCellOrLeavesTheOldFile)
{
    MapModel model;
    const MapCandidates found = CollectMapCandidates(model.doc);
    const std::vector<const CDibImage*>& candidates = found.images;
    const std::string out = model.dir.File("out.bmp");

    CMapCells cells(candidates);
    cells.Toggle(5);
    cells.SetCell(15, 0);
    const std::vector<int> tiles = {0, 1, 2, 3, 4, 6, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0};
    ASSERT_TRUE(SaveMapBitmap(cells, out));
    EXPECT_EQ(ReadFileBytes(out), ExpectedMapFile(model, tiles));

    // Empty cells are black; a failed write leaves the earlier map whole and says why.
    CMapCells few({candidates[4], candidates[0]});
    {
        FileSizeLimit diskFull(1 << 20);
        EXPECT_FALSE(SaveMapBitmap(few, out));
    }
    EXPECT_EQ(ReadFileBytes(out), ExpectedMapFile(model, tiles));
    EXPECT_EQ(model.ui.m_messages.size(), 1u);  // the failed write's
    EXPECT_EQ(FileNames(model.dir.Path()), (std::vector<std::string>{"map.nif", "out.bmp"}));
    ASSERT_TRUE(SaveMapBitmap(few, out));
    EXPECT_EQ(
        ReadFileBytes(out), ExpectedMapFile(model, {4, 0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}));
}
