// The editing operations without a window: each row a replacement or a stamp,
// what it does to the model file, and that a refused edit makes no backup.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "BmpBuilder.h"
#include "NifBuilder.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "TgaBuilder.h"
#include "doc/CommandIds.h"
#include "doc/DocTexts.h"
#include "doc/EditOperations.h"
#include "doc/TavrelDoc.h"
#include "image/DibImage.h"
#include "platform/Backup.h"
#include "platform/CoreError.h"

namespace {

using Bytes = std::vector<uint8_t>;

// model.nif: texture 0 RGB 4 x 2, texture 1 RGBA 2 x 2.
struct Model {
    TempDir dir;
    std::string path = dir.File("model.nif");
    NifBuilder nif;
    Model()
    {
        nif.Filler(20).Texture(4, 2, 1, 1);
        nif.Filler(9).Texture(2, 2, 2, 2);
        nif.Filler(9).Save(path);
    }
};

Bytes Tga(uint16_t width, uint16_t height)
{
    return BuildTga({.width = width, .height = height, .pixels = Bytes(size_t{width} * height * 3, 0x33)});
}

EditOptions WithBackup()
{
    EditOptions options;
    options.bBackup = true;
    return options;
}

struct Row {
    const char* name;
    const char* file;  // the replacement's name; empty: a stamp of alpha 0x40
    Bytes bytes;
    uint32_t index;
    bool acceptDepth;  // every row's edit asks for a backup
    std::string error;  // empty: written
    std::function<void(Model&)> prepare = {};
};

void PrintTo(const Row& row, std::ostream* os)
{
    *os << row.name;
}

std::vector<Row> Rows()
{
    const Bytes rgb = BmpOfBlock(NifBuilder::PatternPixels(4, 2, 1, 5), 4, 2, 1);
    const Bytes rgba = BmpOfBlock(NifBuilder::PatternPixels(4, 2, 2, 6), 4, 2, 2);
    return {
        {"SameShapeBmp", "a.bmp", rgb, 0, false, ""},
        {"TargaOfTheTexturesSize", "a.tga", Tga(4, 2), 0, false, ""},
        {"TargaOfTheRightWidthButWrongHeight", "a.tga", Tga(4, 3), 0, false, kDimensionsDiffer},
        {"TargaOfAnotherWidth", "a.tga", Tga(5, 2), 0, false, kDimensionsDiffer},
        {"DepthChangeNotAccepted", "a.bmp", rgba, 0, false,
            "The bit depths of these two images differ (a 32-bit image for a 24-bit texture)."},
        {"DepthChangeAccepted", "a.bmp", rgba, 0, true, ""},
        {"NoSuchImage", "a.bmp", rgb, 9, false, "There is no image 9 in %s: it holds 2 images."},
        {"StampOfAnRgbTexture", "", {}, 0, false, kNotRgba},
        {"StampOfAnRgbaTexture", "", {}, 1, false, ""},
        {"ReadOnlyFile", "a.bmp", rgb, 0, false,
            "Error writing file.\nFile: %s\nThe file was not opened: it is not writable.",
            [](Model& m) { ::chmod(m.path.c_str(), 0444); }},
    };
}

struct EditOperation : ::testing::TestWithParam<Row> { };

}  // namespace

TEST_P(EditOperation, WritesOrRefusesAndBacksUpOnlyWhatIsWritten)
{
    const Row& row = GetParam();
    Model m;
    if (row.prepare)
        row.prepare(m);
    const Bytes before = ReadFileBytes(m.path);
    EditOptions options = WithBackup();
    options.bAcceptDepthChange = row.acceptDepth;
    std::string error;
    EditResult result;
    try {
        if (*row.file) {
            WriteFileBytes(m.dir.File(row.file), row.bytes);
            const std::unique_ptr<CDibImage> image = LoadReplacement(m.dir.File(row.file));
            ASSERT_TRUE(image);
            const bool targa = std::string(row.file).ends_with(".tga");
            result = ReplaceTexture(m.path, row.index, *image, targa, options);
        } else {
            result = StampTextureAlpha(m.path, row.index, 0x40, options);
        }
    } catch (const CCoreError& e) {
        error = e.GetErrorMessage();
    }
    std::string expected = row.error;
    if (const size_t at = expected.find("%s"); at != std::string::npos)
        expected.replace(at, 2, m.path);
    if (!expected.empty() && expected.find("not writable") != std::string::npos) {
        EXPECT_EQ(error.rfind("Error writing file.\nFile: " + m.path + "\n", 0), 0u) << error;
    } else {
        EXPECT_EQ(error, expected);
    }
    if (error.empty()) {
        EXPECT_NE(ReadFileBytes(m.path), before);
        EXPECT_EQ(result.strBackupPath, m.path + ".bak");
        EXPECT_EQ(ReadFileBytes(m.path + ".bak"), before);
        if (!*row.file) {
            EXPECT_EQ(ReadFileBytes(m.path), NifBuilder::Stamped(before, m.nif.TextureOffsets()[1], 16, 0x40));
        }
    } else {
        // A refused edit neither writes nor backs up.
        EXPECT_EQ(ReadFileBytes(m.path), before);
        EXPECT_FALSE(std::filesystem::exists(m.path + ".bak"));
    }
}

INSTANTIATE_TEST_SUITE_P(Edits, EditOperation, ::testing::ValuesIn(Rows()),
    [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

TEST(EditOperations, TwoEditsInARowKeepTheFirstBackup)
{
    Model m;
    const Bytes original = ReadFileBytes(m.path);
    EXPECT_EQ(StampTextureAlpha(m.path, 1, 1, WithBackup()).strBackupPath, m.path + ".bak");
    const Bytes once = ReadFileBytes(m.path);
    EXPECT_EQ(StampTextureAlpha(m.path, 1, 2, WithBackup()).strBackupPath, m.path + ".2.bak");
    EXPECT_EQ(ReadFileBytes(m.path + ".bak"), original);
    EXPECT_EQ(ReadFileBytes(m.path + ".2.bak"), once);
}

TEST(EditOperations, AfterAFollowedLinkTheLinkedFileIsBackedUpBesideItAndTheQuestionNamesIt)
{
    Model m;
    std::filesystem::create_directory(m.dir.File("textures"));
    const std::string wall = m.dir.File("textures/wall.nif");
    std::filesystem::rename(m.path, wall);
    const std::string house = m.dir.File("house.nif");
    NifBuilder link;
    link.Filler(8).Link("textures/wall.nif");
    link.Save(house);
    WriteFileBytes(house + ".bak", {7});  // a real backup of house.nif
    const Bytes before = ReadFileBytes(wall);

    ScriptedUi ui;
    CTavrelDoc doc;
    ui.AnswerNext(IDYES);  // follow the link
    ASSERT_EQ(doc.LoadFile(house), LoadResult::kLoaded);
    ASSERT_TRUE(doc.SelectImage(1));
    ui.ChooseAlpha(0x40);
    ui.AnswerNext(IDYES);  // make a backup
    EXPECT_TRUE(doc.MakeTransparent());
    EXPECT_EQ(ui.Texts().back(), "Would you like to make a backup of wall.nif?");
    EXPECT_EQ(ReadFileBytes(wall + ".bak"), before);
    EXPECT_EQ(ReadFileBytes(house + ".bak"), Bytes{7});
    EXPECT_EQ(ui.m_status.back(), "Backup copy: " + wall + ".bak");
}

TEST(EditOperations, AFollowLinkQuestionShowsWhereALinkOutsideTheFolderLeads)
{
    TempDir dir;
    std::filesystem::create_directory(dir.File("mod"));
    NifBuilder target;
    target.Filler(8).Texture(2, 2, 1, 3);
    target.Save(dir.File("victim.nif"));
    NifBuilder link;
    link.Filler(8).Link("..\\victim.nif");
    link.Save(dir.File("mod/link.nif"));
    ScriptedUi ui;
    CTavrelDoc doc;
    ui.AnswerNext(IDNO);
    doc.LoadFile(dir.File("mod/link.nif"));
    ASSERT_FALSE(ui.Texts().empty());
    EXPECT_EQ(ui.Texts().back(),
        kFollowLinkQuestion + std::string("..\\victim.nif") +
            "\nIt lies outside this file's folder: " + dir.File("mod/../victim.nif"));
}
