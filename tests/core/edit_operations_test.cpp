// Replace and Make Transparent, through the document (headless) and as the typed operations the tool calls: the
// bytes each writes into a generated model file or compressed bitmap, what is read back, the backups, and every
// refusal and failed write leaving the file as it was with no backup.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "BmpBuilder.h"
#include "DocProbe.h"
#include "NifBuilder.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "TgaBuilder.h"
#include "doc/CommandIds.h"
#include "doc/DocTexts.h"
#include "doc/TavrelDoc.h"
#include "platform/Backup.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Texts = std::vector<std::string>;

constexpr char kBackupHouse[] = "Would you like to make a backup of house?";

// A replacement image: block-order pixels (top row first, red first), format 1 RGB or 2 RGBA, and its files.
struct Picture {
    uint32_t width, height, format;
    uint8_t seed;
    Bytes pixels = NifBuilder::PatternPixels(width, height, format, seed);

    Bytes Bmp(bool topDown = false) const { return BmpOfBlock(pixels, width, height, format, topDown); }
    Bytes TopDownRunLengthTga() const
    {
        Bytes bgr = pixels;
        for (size_t i = 0; i < bgr.size(); i += NifBuilder::BytesPerPixel(format))
            std::swap(bgr[i], bgr[i + 2]);
        const uint16_t w = uint16_t(width), h = uint16_t(height);
        const uint8_t depth = format == 1 ? 24 : 32;
        return BuildTga({.width = w, .height = h, .depth = depth, .imageType = 10, .descriptor = 0x20, .pixels = bgr});
    }
};

// The model file with the block at offset (of oldPixels bytes) holding the picture instead.
Bytes Spliced(const Bytes& file, uint64_t offset, uint64_t oldPixels, const Picture& p)
{
    return NifBuilder::Spliced(file, offset, oldPixels, p.width, p.height, p.format, p.pixels);
}

Bytes Rows(const CDibImage* image)
{
    return image && image->GetBits() ? Bytes(image->GetBits(), image->GetBits() + image->GetImageSize()) : Bytes{};
}

// house.nif: an RGB texture, an RGBA one of odd width, an RGB one of odd width, a 2 x 2 RGBA one.
struct EditTest : ::testing::Test {
    TempDir dir;
    ScriptedUi ui;
    CTavrelDoc doc;
    std::string path = dir.File("house.nif");
    NifBuilder nif;
    const Picture textures[4] = {Picture{4, 2, 1, 1}, Picture{3, 3, 2, 2}, Picture{5, 3, 1, 3}, Picture{2, 2, 2, 4}};

    EditTest()
    {
        nif.Filler(11);
        for (const Picture& t : textures)
            nif.Filler(9).Texture(t.width, t.height, t.format, t.pixels);
        nif.Filler(9).Save(path);
        ui.ChooseFile(path);
        RouteCommand({&doc}, ID_FILE_OPEN);
        ui.m_messages.clear();
    }
    uint64_t Offset(size_t i) const { return nif.TextureOffsets()[i]; }
    uint64_t PixelBytes(size_t i) const { return textures[i].pixels.size(); }
    bool Enabled(unsigned id) { return CommandEnabled(doc, id); }
    // Runs Replace on texture index with a file of these bytes or, with no name, Make Transparent choosing
    // `alpha`; the questions get `answers` in turn, and `meanwhile` runs just before the command.
    bool Edit(uint32_t index, const std::string& name, const Bytes& file, const std::vector<int>& answers,
        std::optional<uint8_t> alpha = {}, const std::function<void()>& meanwhile = {})
    {
        EXPECT_TRUE(doc.SelectImage(index));
        if (name.empty()) {
            ui.ChooseAlpha(alpha);
        } else {
            WriteFileBytes(dir.File(name), file);
            ui.ChooseFile(dir.File(name));
        }
        for (int answer : answers)
            ui.AnswerNext(answer);
        if (meanwhile)
            meanwhile();
        return name.empty() ? doc.MakeTransparent() : doc.ReplaceImage();
    }
};

}  // namespace

TEST_F(EditTest, ReplacementsOfEveryKindWriteExactlyTheTextureAndAreReadBack)
{
    const Picture oddWidth = Picture{5, 3, 1, 51}, rgba = Picture{3, 3, 2, 52};
    const struct {
        const char* what;
        uint32_t index;
        std::string name;
        Bytes file;
        Picture written;
    } cases[] = {
        {"top-down BMP of an odd width", 2, "odd.BMP", oddWidth.Bmp(true), oddWidth},
        {"run-length top-down Targa with alpha", 1, "alpha.tga", rgba.TopDownRunLengthTga(), rgba},
    };
    unsigned backups = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes old = ReadFileBytes(path);
        ui.m_messages.clear();
        ui.m_dialogs.clear();
        EXPECT_TRUE(Edit(c.index, c.name, c.file, {IDYES}));
        EXPECT_EQ(ReadFileBytes(path), Spliced(old, Offset(c.index), PixelBytes(c.index), c.written));
        // Each backup takes the next free name: the first one keeps the original.
        EXPECT_EQ(ReadFileBytes(BackupName(path, ++backups)), old);
        EXPECT_EQ(ui.Texts(), Texts{kBackupHouse});
        EXPECT_EQ(ui.m_status.back(), "Backup copy: " + BackupName(path, backups));
        EXPECT_EQ(ui.m_dialogs.at(0).strInitialDir, dir.Path() + "/");
        if (!c.name.empty()) {
            EXPECT_EQ(ui.m_dialogs.at(0).strTitle, "Replace Texture " + std::to_string(c.index));
        }
        // The file's texture, read back, is shown at the same index.
        EXPECT_EQ(doc.GetCurrentIndex(), c.index);
        EXPECT_EQ(Rows(doc.GetActiveImage()),
            NifBuilder::BlockToDib(c.written.pixels, c.written.width, c.written.height, c.written.format));
    }
    EXPECT_EQ(ui.m_nWaitDepth, 0);
}

TEST_F(EditTest, AGrownTextureMovesTheLaterOnesAndLaterReplacementsAndStampsStillHitTheirBytes)
{
    const Picture larger = Picture{9, 7, 2, 60}, later = Picture{5, 3, 1, 61};
    const Bytes old = ReadFileBytes(path);
    // An RGBA picture for an RGB texture: the depth question, answered Yes.
    EXPECT_TRUE(Edit(0, "larger.bmp", larger.Bmp(), {IDNO, IDYES}));
    EXPECT_EQ(ui.Texts(), (Texts{kBackupHouse, kDepthQuestion}));
    Bytes expected = Spliced(old, Offset(0), PixelBytes(0), larger);
    EXPECT_EQ(ReadFileBytes(path), expected);
    EXPECT_FALSE(std::filesystem::exists(path + ".bak"));
    const int64_t shift = int64_t(larger.pixels.size()) - int64_t(PixelBytes(0));
    std::vector<uint64_t> moved = nif.TextureOffsets();
    for (size_t i = 1; i < 4; ++i)
        moved[i] += shift;
    EXPECT_EQ(doc.GetRawImageOffsets(), moved);

    EXPECT_TRUE(Edit(2, "later.bmp", later.Bmp(), {IDNO}));
    expected = Spliced(expected, Offset(2) + shift, PixelBytes(2), later);
    EXPECT_EQ(ReadFileBytes(path), expected);

    const Bytes beforeStamp = expected;
    ui.m_messages.clear();
    EXPECT_TRUE(Edit(3, "", {}, {IDYES}, 0x40));
    EXPECT_EQ(ui.Texts(), (Texts{"(transparency level)", "Would you like to make a backup of house.nif?"}));
    expected = NifBuilder::Stamped(expected, Offset(3) + shift, PixelBytes(3), 0x40);
    EXPECT_EQ(ReadFileBytes(path), expected);
    EXPECT_EQ(ReadFileBytes(path + ".bak"), beforeStamp);
    // The record holds the new alpha, so Save As would write it.
    const Bytes rows = Rows(doc.GetActiveImage());
    ASSERT_EQ(rows.size(), 16u);
    for (size_t i = 3; i < rows.size(); i += 4)
        EXPECT_EQ(rows[i], 0x40);
}

TEST_F(EditTest, RefusalsAndFailedWritesLeaveTheFileAsItWas)
{
    const std::string writeError = "Error writing file.\nFile: " + path + "\nThe file was changed since it was read.";
    const Picture p = Picture{4, 2, 1, 70};
    // Another program put a byte in front since the file was read.
    const auto grownElsewhere = [&] {
        Bytes file = ReadFileBytes(path);
        file.insert(file.begin(), 7);
        WriteFileBytes(path, file);
    };
    // A full disk or a read-only folder is the writers' own test; here the document must pass on what it knows of the file.
    const struct Case {
        const char* what;
        std::string name;  // none: Make Transparent
        Bytes file;
        std::vector<int> answers;
        Texts texts;
        std::function<void()> prepare = {};
        uint32_t index = 0;
    } cases[] = {
        {"8-bit BMP", "grey.bmp",
            BuildBmp(
                {.width = 4, .height = 2, .bitCount = 8, .clrUsed = 1, .palette = {{0, 0, 0, 0}}, .pixels = Bytes(8)}),
            {}, {"Only 24-bit and 32-bit images are supported"}},
        {"depths differ, No", "deep.bmp", Picture{4, 2, 2, 71}.Bmp(), {IDNO, IDNO}, {kBackupHouse, kDepthQuestion}},
        {"Targa of other dimensions", "small.tga", Picture{2, 2, 1, 72}.TopDownRunLengthTga(), {IDNO},
            {kBackupHouse, "Error: The replacement image's dimensions are different from the original!"}},
        {"unknown extension", "picture.jpg", p.Bmp(), {},
            {"Only Windows Bitmap, Portable Network Graphics and Truevision Targa files can replace an image.\nFile: " +
                dir.File("picture.jpg")}},
        // The only PNG here: its reader's refusal shows that Replace picked it.
        {"unreadable replacement", "broken.png", Bytes(30, 1), {},
            {"Not a recognised PNG format file.\nFile: " + dir.File("broken.png")}},
        {"the file changed since it was read", "p.bmp", Picture{3, 3, 2, 73}.Bmp(), {IDNO}, {kBackupHouse, writeError},
            grownElsewhere, 1},
        // An RGB texture learns only after the level was chosen that it takes none.
        {"stamp: an RGB texture", "", {}, {}, {"(transparency level)", "Error: This image cannot be made transparent"}},
        {"stamp: the file changed since it was read", "", {}, {IDNO},
            {"(transparency level)", "Would you like to make a backup of house.nif?", writeError}, grownElsewhere, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        nif.Save(path);
        ui.ChooseFile(path);
        RouteCommand({&doc}, ID_FILE_OPEN);
        ui.m_messages.clear();
        Bytes before;
        EXPECT_FALSE(Edit(c.index, c.name, c.file, c.answers, 9, [&] {
            if (c.prepare)
                c.prepare();
            before = ReadFileBytes(path);
        }));
        EXPECT_EQ(ui.Texts(), c.texts);
        EXPECT_EQ(ReadFileBytes(path), before);
        EXPECT_FALSE(std::filesystem::exists(path + ".bak"));
        EXPECT_EQ(doc.GetCurrentIndex(), c.index);
    }
    // A cancelled dialog or transparency question changes nothing and shows nothing more.
    const Bytes before = ReadFileBytes(path);
    ui.m_messages.clear();
    ui.CancelNextDialog();
    EXPECT_FALSE(doc.ReplaceImage());
    EXPECT_FALSE(Edit(3, "", {}, {}));
    EXPECT_EQ(ui.Texts(), Texts{"(transparency level)"});
    EXPECT_EQ(ReadFileBytes(path), before);
}

TEST_F(EditTest, ACompressedBitmapTakesATargasPixels)
{
    const Picture p = Picture{6, 5, 2, 80};
    const Bytes dibRows = NifBuilder::BlockToDib(p.pixels, p.width, p.height, p.format);
    const Bytes bmp = BuildBmp({.width = 2, .height = 2, .pixels = Bytes(16, 7)});
    const std::string bmzPath = dir.File("map.bmz");
    WriteFileBytes(bmzPath, BuildBmz(bmp, NifBuilder().U32(uint32_t(bmp.size())).U32(0x55).Bytes()));
    ui.ChooseFile(bmzPath);
    RouteCommand({&doc}, ID_FILE_OPEN);
    ui.m_messages.clear();
    ui.m_dialogs.clear();

    WriteFileBytes(dir.File("p.tga"), p.TopDownRunLengthTga());
    ui.ChooseFile(dir.File("p.tga"));
    ui.AnswerNext(IDNO);
    RouteCommand({&doc}, ID_EDIT_REPLACE_IMAGE);
    EXPECT_EQ(ui.Texts(), Texts{"Would you like to make a backup of map?"});
    EXPECT_EQ(ui.m_dialogs.size(), 1u);  // Replace's own

    // The header: the BMP file's size, the old value at offset 4; the image: the Targa's.
    const Bytes file = ReadFileBytes(bmzPath);
    const uint32_t bmpSize = 54 + uint32_t(dibRows.size());
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 8), NifBuilder().U32(bmpSize).U32(0x55).Bytes());
    EXPECT_EQ(Rows(doc.GetActiveImage()), dibRows);
}

TEST_F(EditTest, AfterAFollowedLinkTheLinkedFileIsBackedUpBesideItAndTheQuestionNamesIt)
{
    std::filesystem::create_directory(dir.File("textures"));
    const std::string wall = dir.File("textures/wall.nif");
    std::filesystem::rename(path, wall);
    NifBuilder link;
    link.Filler(8).Link("textures/wall.nif");
    link.Save(path);
    WriteFileBytes(path + ".bak", {7});  // a real backup of house.nif
    const Bytes before = ReadFileBytes(wall);

    ui.AnswerNext(IDYES);  // follow the link
    ASSERT_EQ(doc.LoadFile(path), LoadResult::kLoaded);
    EXPECT_TRUE(Edit(1, "", {}, {IDYES}, 0x40));
    EXPECT_EQ(ui.Texts().back(), "Would you like to make a backup of wall.nif?");
    EXPECT_EQ(ReadFileBytes(wall + ".bak"), before);
    EXPECT_EQ(ReadFileBytes(path + ".bak"), Bytes{7});
    EXPECT_EQ(ui.m_status.back(), "Backup copy: " + wall + ".bak");
}

TEST_F(EditTest, AFollowLinkQuestionShowsWhereALinkOutsideTheFolderLeads)
{
    std::filesystem::create_directory(dir.File("mod"));
    NifBuilder link;
    link.Filler(8).Link("..\\house.nif");
    link.Save(dir.File("mod/link.nif"));
    ui.AnswerNext(IDNO);
    doc.LoadFile(dir.File("mod/link.nif"));
    ASSERT_FALSE(ui.Texts().empty());
    EXPECT_EQ(ui.Texts().back(),
        kFollowLinkQuestion + std::string("..\\house.nif") +
            "\nIt lies outside this file's folder: " + dir.File("mod/../house.nif"));
}
