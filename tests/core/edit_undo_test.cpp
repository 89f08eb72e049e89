// Undo and redo of in-place edits: each row an edit, then undo gives the
// original bytes (every later texture back at its offset), redo the edited
// ones; a file changed by another program is left alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "BmpBuilder.h"
#include "NifBuilder.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "doc/DocTexts.h"
#include "doc/EditOperations.h"
#include "doc/EditUndo.h"
#include "doc/TextureImport.h"
#include "image/DibImage.h"
#include "platform/CoreError.h"
#include "platform/Format.h"
#include "platform/PathParts.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Row {
    const char* name;
    bool bmz;
    std::vector<uint32_t> indices;  // the textures the edit changes
    // Runs the edit with the capture's hook.
    std::function<void(TempDir&, const std::string&, EditOptions&)> edit;
};

std::unique_ptr<CDibImage> Image(TempDir& dir, uint32_t width, uint32_t height, uint32_t format, uint8_t seed)
{
    const std::string path = dir.File("in-" + std::to_string(seed) + ".bmp");
    WriteFileBytes(path, BmpOfBlock(NifBuilder::PatternPixels(width, height, format, seed), width, height, format));
    return LoadReplacement(path);
}

std::vector<Row> Rows()
{
    return {
        {"LargerTextureMovesTheLaterOnes", false, {0},
            [](TempDir& d, const std::string& p, EditOptions& o) {
                ReplaceTexture(p, 0, *Image(d, 9, 7, 1, 40), false, o);
            }},
        {"SmallerMiddleTexture", false, {1},
            [](TempDir& d, const std::string& p, EditOptions& o) {
                ReplaceTexture(p, 1, *Image(d, 1, 1, 2, 41), false, o);
            }},
        // An edit of the same size, in place (a replacement of that size is the same block to the capture).
        {"StampedAlpha", false, {1},
            [](TempDir&, const std::string& p, EditOptions& o) { StampTextureAlpha(p, 1, 9, o); }},
        {"ImportOfTwoTextures", false, {0, 2},
            [](TempDir& d, const std::string& p, EditOptions& o) {
                const std::string folder = d.File("import");
                std::filesystem::create_directory(folder);
                WriteFileBytes(folder + "/model-000.bmp", BmpOfBlock(NifBuilder::PatternPixels(3, 3, 1, 43), 3, 3, 1));
                WriteFileBytes(folder + "/model-002.bmp", BmpOfBlock(NifBuilder::PatternPixels(6, 2, 1, 44), 6, 2, 1));
                ImportOptions options;
                options.beforeWrite = o.beforeWrite;
                ASSERT_TRUE(ImportTextures(p, folder, options).bWritten);
            }},
        {"CompressedBitmap", true, {},
            [](TempDir& d, const std::string& p, EditOptions& o) {
                ReplaceCompressedBitmapImage(p, *Image(d, 12, 5, 1, 45), o);
            }},
    };
}

struct EditUndo : ::testing::TestWithParam<Row> {
    TempDir dir;
    std::string store = dir.File("store");
    std::string path;
    void SetUp() override
    {
        std::filesystem::create_directory(store);
        if (GetParam().bmz) {
            path = dir.File("model.bmz");
            WriteFileBytes(path, BuildBmz(BmpOfBlock(NifBuilder::PatternPixels(5, 3, 1, 1), 5, 3, 1)));
            return;
        }
        path = dir.File("model.nif");
        NifBuilder nif;
        nif.Filler(20).Texture(4, 2, 1, 1);
        nif.Filler(9).Texture(8, 4, 2, 2);
        nif.Filler(5).Texture(2, 2, 1, 3);
        nif.Filler(9).Save(path);
    }
    std::unique_ptr<CEditUndoRecord> Edit()
    {
        CEditUndoCapture capture(store, path, GetParam().indices, GetParam().bmz);
        EditOptions options;
        options.beforeWrite = capture.BeforeWrite();
        GetParam().edit(dir, path, options);
        return capture.Finish();
    }
};

void PrintTo(const Row& row, std::ostream* os)
{
    *os << row.name;
}

}  // namespace

TEST_P(EditUndo, UndoGivesTheOriginalBytesAndRedoTheEditedOnes)
{
    ScriptedUi ui;
    const Bytes original = ReadFileBytes(path);
    std::unique_ptr<CEditUndoRecord> record;
    try {
        record = Edit();
    } catch (const CCoreError& e) {
        FAIL() << e.GetErrorMessage();
    }
    ASSERT_TRUE(record);
    const Bytes edited = ReadFileBytes(path);
    ASSERT_NE(edited, original);
    for (int round = 0; round < 2; ++round) {
        RestoreEdit(*record, UndoDirection::Undo);
        ASSERT_EQ(ReadFileBytes(path), original);
        EXPECT_THROW(RestoreEdit(*record, UndoDirection::Undo), CCoreError);
        RestoreEdit(*record, UndoDirection::Redo);
        ASSERT_EQ(ReadFileBytes(path), edited);
    }
    // Only what the edit changed is kept.
    const uint64_t kept = std::filesystem::file_size(record->strOldStore);
    EXPECT_LT(kept, original.size() - (GetParam().bmz ? -1 : 40));
    EXPECT_TRUE(ui.Texts().empty());
}

TEST_P(EditUndo, IsRefusedAfterAnOutsideChangeAndLeavesTheFileAlone)
{
    ScriptedUi ui;
    const std::unique_ptr<CEditUndoRecord> record = Edit();
    ASSERT_TRUE(record);
    Bytes outside = ReadFileBytes(path);
    outside.back() ^= 0xFF;  // same length, in place
    WriteFileBytes(path, outside);
    try {
        RestoreEdit(*record, UndoDirection::Undo);
        FAIL() << "restored over another program's change";
    } catch (const CCoreError& e) {
        EXPECT_EQ(e.GetErrorMessage(), FormatString(kUndoRefused, FileNamePart(path).c_str()));
    }
    EXPECT_EQ(ReadFileBytes(path), outside);
    // The store goes with its record.
    const std::string old = record->strOldStore;
    const_cast<std::unique_ptr<CEditUndoRecord>&>(record).reset();
    EXPECT_FALSE(std::filesystem::exists(old));
}

INSTANTIATE_TEST_SUITE_P(
    Edits, EditUndo, ::testing::ValuesIn(Rows()), [](const auto& info) { return std::string(info.param.name); });

TEST(EditUndoCapture, AFileChangedBetweenScanAndWriteIsNotWritten)
{
    ScriptedUi ui;
    TempDir dir;
    const std::string path = dir.File("m.nif");
    NifBuilder nif;
    nif.Filler(20).Texture(4, 2, 2, 1);
    nif.Filler(9).Save(path);
    CEditUndoCapture capture(dir.Path(), path, {0});
    Bytes changed = ReadFileBytes(path);
    changed.push_back(0);
    WriteFileBytes(path, changed);
    EditOptions options;
    options.beforeWrite = capture.BeforeWrite();
    EXPECT_THROW(StampTextureAlpha(path, 0, 1, options), CCoreError);
    EXPECT_EQ(ReadFileBytes(path), changed);
    EXPECT_FALSE(capture.Finish());
}
